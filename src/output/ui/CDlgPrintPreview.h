#pragma once
// The print preview "印刷プレビュー": page buttons, zoom, one or two pages, the page texts, and
// the pages themselves in a CPrintPreviewWnd below the buttons.
#include <QDialog>
#include <functional>
#include <memory>

#include "output/ui/CPrintPreviewWnd.h"

class QLabel;
class QPushButton;

class CDlgPrintPreview : public QDialog {
  Q_OBJECT
 public:
  /// The dialog's result when the user chose to print from the preview.
  static constexpr int kPrintResult = 2;

  /// `pagesShown`: the remembered page count; `pagesChosen` is told each new choice.
  CDlgPrintPreview(const PrintInfo& info, std::shared_ptr<const CPrintPageRenderer> renderer, const SPreviewPaper& paper,
                   int pagesShown, std::function<void(int)> pagesChosen, QWidget* parent = nullptr);
  ~CDlgPrintPreview() override;

  /// False when there was nothing to preview (the dialog then closes at once when run).
  [[nodiscard]] bool started() const { return m_started; }
  [[nodiscard]] CPrintPreviewWnd& window() const { return *m_wnd; }
  int exec() override;

 private:
  void pageChanged(int maxPage, int first, int second, int pagesShown);
  void updateButtons();

  CPrintPreviewWnd* m_wnd = nullptr;
  QPushButton* m_prev = nullptr;
  QPushButton* m_next = nullptr;
  QPushButton* m_toggle = nullptr;
  QPushButton* m_zoomIn = nullptr;
  QPushButton* m_zoomOut = nullptr;
  QPushButton* m_print = nullptr;
  QPushButton* m_close = nullptr;
  QLabel* m_current = nullptr;
  QLabel* m_total = nullptr;
  std::function<void(int)> m_pagesChosen;
  bool m_started = false;
};
