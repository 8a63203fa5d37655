#pragma once
// The search window ("検索"): one box whose results follow what is typed, over the waypoints and
// track logs of the open groups and the sheets of the open map folders. Enter or a double click
// goes to the chosen result (the first when none is chosen). Modeless; it stays open.
#include <QDialog>
#include <vector>

#include "app/MapSearch.h"

class CVantoriaDoc;
class QLabel;
class QLineEdit;
class QListWidget;

class CDlgSearch : public QDialog {
  Q_OBJECT
 public:
  explicit CDlgSearch(CVantoriaDoc& doc, QWidget* parent = nullptr);
  [[nodiscard]] QLineEdit* searchEdit() const { return m_edit; }
  [[nodiscard]] QListWidget* resultList() const { return m_list; }
  [[nodiscard]] const std::vector<search::SResult>& results() const { return m_results; }
  /// Runs the search again (the open data changed).
  void refresh();
  /// Goes to result `row`; false when nothing was shown.
  bool goTo(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  CVantoriaDoc& m_doc;
  QLineEdit* m_edit = nullptr;
  QListWidget* m_list = nullptr;
  QLabel* m_count = nullptr;
  std::vector<search::SResult> m_results;
};
