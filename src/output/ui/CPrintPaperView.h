#pragma once
// The print dialog's small picture of the page grid: every page as a thumbnail with the part the
// map covers.
#include <QWidget>
#include <optional>

#include "output/PrintLayout.h"

class CPrintPaperView : public QWidget {
  Q_OBJECT
 public:
  explicit CPrintPaperView(QWidget* parent = nullptr);
  void SetLayout(const print::SPageLayout& layout, const print::SDpi& dpi);
  void ClearLayout();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<print::SPageLayout> m_layout;
  print::SDpi m_dpi;
};
