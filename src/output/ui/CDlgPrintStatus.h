#pragma once
// The progress window of a print run: the document, the printer, the page being printed and a
// cancel button. At most one exists; the page loop reaches it through Current().
#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;

class CDlgPrintStatus : public QDialog {
  Q_OBJECT
 public:
  explicit CDlgPrintStatus(QWidget* parent = nullptr);
  ~CDlgPrintStatus() override;

  /// Printer line: firstText + " " + printer + "に"; document line: "地図画像" + title + "を出力しています。".
  void SetTexts(const QString& printerName, const QString& firstText, const QString& documentTitle);
  /// Shows "n/mページ" and the share done; false once the user cancelled.
  bool Update(int pageNumber, int pageCount);
  [[nodiscard]] bool continuePrinting() const { return s_continue; }

  /// The window of the run in progress, or null.
  static CDlgPrintStatus* Current() { return s_current; }

 private:
  void cancel();

  static CDlgPrintStatus* s_current;
  static bool s_continue;
  QLabel* m_document = nullptr;
  QLabel* m_printer = nullptr;
  QLabel* m_page = nullptr;
  QProgressBar* m_progress = nullptr;
};
