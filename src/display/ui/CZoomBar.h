#pragma once
// The zoom tool bar: a drop-down list of magnifications followed by the zoom commands.
#include <QToolBar>
#include <optional>

class QComboBox;

class CZoomBar : public QToolBar {
  Q_OBJECT
 public:
  explicit CZoomBar(const QString& title, QWidget* parent = nullptr);

  /// Shows a magnification code: "125%" for a percentage, "1:25000" for a map scale.
  void SetText(int code);
  static QString FormatCode(int code);
  /// The code a typed text stands for: a percentage ("37%", "37") or a map scale ("1:12500",
  /// "1/12500", thousands separators allowed) that the view can show; none for anything else.
  static std::optional<int> ParseText(const QString& text);
  QComboBox* combo() const { return m_combo; }

  /// The sixteen entries with their magnification codes.
  static const std::pair<const char*, int> kEntries[16];

 signals:
  /// An entry was chosen from the list, or a magnification typed and confirmed.
  void magnificationChosen(int code);

 private:
  void finishEdit();

  QComboBox* m_combo;
  bool m_finishingEdit = false;
  int m_current = 0;  ///< the code on show; 0 before the view has said
};
