#pragma once
// The small modeless window a transfer shows: activity text, bar, percentage and "中止".
#include <QDialog>

#include "gps/GpsTransfer.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CDlgGpsProgress : public QDialog, public IGpsProgress {
  Q_OBJECT
 public:
  explicit CDlgGpsProgress(QWidget* owner = nullptr);

  void Show(const std::string& activity) override;
  /// Bar and text show trunc(fraction x 100) as "<n> %"; false once "中止" was pressed.
  [[nodiscard]] bool Update(double fraction) override;
  void Hide() override;

  [[nodiscard]] bool CancelRequested() const { return m_cancelled; }

 protected:
  void reject() override;  // Esc and the close box count as "中止"

 private:
  QLabel* m_activity;
  QProgressBar* m_bar;
  QLabel* m_percent;
  QPushButton* m_cancel;
  bool m_cancelled = false;
};
