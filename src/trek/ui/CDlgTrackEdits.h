#pragma once
// The windows of the track log edits that need a choice: which logs to join and in what order,
// which points to delete, and how far to thin (showing the new count and the shape error before
// anything changes). Each applies its edit through the group list on OK.
#include <QDialog>
#include <cstddef>

#include "trek/TrackEdits.h"

class CTrekGroupList;
class QCheckBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QRadioButton;
class QSpinBox;

/// "トラックログの結合": the logs of a group with a check box each, in the order they are joined
/// unless "時刻順に結合する" is on; 上へ / 下へ move the current row.
class CDlgJoinTracks : public QDialog {
  Q_OBJECT
 public:
  CDlgJoinTracks(CTrekGroupList& list, int groupIndex, QWidget* parent = nullptr);
  [[nodiscard]] QListWidget* logList() const { return m_logs; }
  [[nodiscard]] QCheckBox* byTime() const { return m_byTime; }
  /// Moves the current row one up (-1) or down (+1).
  void moveCurrent(int step);
 public slots:
  void accept() override;

 private:
  CTrekGroupList& m_list;
  int m_group;
  QListWidget* m_logs = nullptr;
  QCheckBox* m_byTime = nullptr;
};

/// "トラックポイントの範囲削除": the first and last point to delete, both included.
class CDlgPointRange : public QDialog {
  Q_OBJECT
 public:
  /// Starts at `from`..`to` (points of the selected track log).
  CDlgPointRange(CTrekGroupList& list, std::size_t from, std::size_t to, QWidget* parent = nullptr);
  [[nodiscard]] QSpinBox* fromBox() const { return m_from; }
  [[nodiscard]] QSpinBox* toBox() const { return m_to; }
 public slots:
  void accept() override;

 private:
  CTrekGroupList& m_list;
  QSpinBox* m_from = nullptr;
  QSpinBox* m_to = nullptr;
};

/// "トラックログの間引き": to a number of points or within a tolerance in metres; the line below
/// tells the result of the current choice.
class CDlgThinTrack : public QDialog {
  Q_OBJECT
 public:
  explicit CDlgThinTrack(CTrekGroupList& list, QWidget* parent = nullptr);
  [[nodiscard]] QRadioButton* byCount() const { return m_byCount; }
  [[nodiscard]] QRadioButton* byTolerance() const { return m_byTolerance; }
  [[nodiscard]] QSpinBox* countBox() const { return m_count; }
  [[nodiscard]] QDoubleSpinBox* toleranceBox() const { return m_tolerance; }
  [[nodiscard]] QLabel* resultLabel() const { return m_result; }
  [[nodiscard]] const trek::SThinPlan& plan() const { return m_plan; }
 public slots:
  void accept() override;

 private:
  void replan();

  CTrekGroupList& m_list;
  std::size_t m_points = 0;
  trek::SThinPlan m_plan;
  QRadioButton* m_byCount = nullptr;
  QRadioButton* m_byTolerance = nullptr;
  QSpinBox* m_count = nullptr;
  QDoubleSpinBox* m_tolerance = nullptr;
  QLabel* m_result = nullptr;
  QDialogButtonBox* m_buttons = nullptr;
};
