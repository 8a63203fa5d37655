#pragma once
// The zoom tool bar: a drop-down list of magnifications followed by the zoom commands.
#include <QToolBar>

class QComboBox;

class CZoomBar : public QToolBar {
  Q_OBJECT
 public:
  explicit CZoomBar(const QString& title, QWidget* parent = nullptr);

  /// Shows a magnification code: "125%" for a percentage, "1:25000" for a map scale.
  void SetText(int code);
  static QString FormatCode(int code);
  QComboBox* combo() const { return m_combo; }

  /// The sixteen entries with their magnification codes.
  static const std::pair<const char*, int> kEntries[16];

 signals:
  /// An entry was chosen from the list (typed text is never acted upon).
  void magnificationChosen(int code);

 private:
  QComboBox* m_combo;
  bool m_finishingEdit = false;
};
