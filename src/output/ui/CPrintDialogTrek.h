#pragma once
// The print settings dialog "地形図の印刷": printer, magnification (typed, fitted to the paper or
// the view's), print range, pages and the seven items printed on every page, with the page grid
// drawn in a small paper view. Writes "PrintSettings" whenever it closes.
#include <QDialog>

class CPrintJob;
class CPrintPaperView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CPrintDialogTrek : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kBadMagnificationText =
      "印刷倍率の数値が正しくないか、設定可能な範囲を超えています。\r\n5%～500%または、1:500,000～1:1,000のいずれかを指定してください。";
  static constexpr const char* kBadPageRangeText = "印刷ページの指定が正しくありません。\r\nもう一度正しい数値を入力してください。";

  explicit CPrintDialogTrek(CPrintJob& job, QWidget* parent = nullptr);
  ~CPrintDialogTrek() override;

  /// Whether the open trek data hold track log groups and waypoint groups.
  void SetTrekKinds(bool trackLogs, bool waypoints);
  /// Enable rules of the combo box, the overlay check boxes and the page edits.
  void UpdateEnabling();

  void accept() override;
  void done(int result) override;

 private:
  void readControls();
  /// Writes "PrintSettings" once, however the dialog ends.
  void saveSettings();
  void writeControls();
  /// "用紙枚数": the pages of the range as typed when it is valid, else of the whole range.
  void showSheetCount();
  /// Scale by mode, page grid (resetting the page range), printer information and paper view.
  void recompute();
  void showPrinterInfo();
  void magnificationEdited(const QString& text);
  void magnificationFocusLost();
  void printerChosen(int index);
  void printerSetup();
  void preview();
  /// Parses the combo box text; false (with message A) when it is invalid.
  bool validateMagnification();
  bool eventFilter(QObject* watched, QEvent* event) override;

  CPrintJob& m_job;
  bool m_trackLogs = false;
  bool m_waypoints = false;
  bool m_setUp = false;
  bool m_saved = false;
  QComboBox* m_printer = nullptr;
  QLabel* m_status = nullptr;
  QLabel* m_location = nullptr;
  QLabel* m_comment = nullptr;
  QLabel* m_paper = nullptr;
  QLabel* m_orientation = nullptr;
  QLabel* m_sheets = nullptr;
  QRadioButton* m_modes[3] = {};
  QComboBox* m_magnification = nullptr;
  QRadioButton* m_rangeAll = nullptr;
  QRadioButton* m_rangeSelection = nullptr;
  QRadioButton* m_pagesAll = nullptr;
  QRadioButton* m_pagesSome = nullptr;
  QLineEdit* m_from = nullptr;
  QLineEdit* m_to = nullptr;
  QLabel* m_fromLabel = nullptr;
  QLabel* m_toLabel = nullptr;
  QCheckBox* m_options[10] = {};
  CPrintPaperView* m_paperView = nullptr;
};
