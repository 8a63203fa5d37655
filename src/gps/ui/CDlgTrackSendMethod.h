#pragma once
// "トラックログの送信方法設定": whether an upload entry goes to the receiver as a saved track (0)
// or as part of its active log (1).
#include <QDialog>
#include <cstdint>

class QRadioButton;

class CDlgTrackSendMethod : public QDialog {
  Q_OBJECT
 public:
  CDlgTrackSendMethod(std::int32_t sendAsActiveLog, QWidget* parent = nullptr);
  /// The choice: 0 saved track, 1 active log.
  [[nodiscard]] std::int32_t sendAsActiveLog() const;

 private:
  QRadioButton* m_saved = nullptr;
  QRadioButton* m_active = nullptr;
};
