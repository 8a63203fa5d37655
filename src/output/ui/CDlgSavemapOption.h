#pragma once
// "地形図の保存オプション": which trek overlays and grid lines a saved map image carries. A kind of
// trek data that is not open cannot be chosen, and a name only together with its line or icon.
#include <QDialog>
#include <cstdint>

class QCheckBox;

class CDlgSavemapOption : public QDialog {
  Q_OBJECT
 public:
  /// `options`: the stored ExportOptionFlags; `trackLogs` / `waypoints`: whether the open trek
  /// data hold a group of that kind.
  CDlgSavemapOption(std::int32_t options, bool trackLogs, bool waypoints, QWidget* parent = nullptr);
  /// The flags built from the check boxes.
  [[nodiscard]] std::int32_t options() const;

 private:
  void updateEnabling();

  bool m_trackLogs = false;
  bool m_waypoints = false;
  QCheckBox* m_trackLines = nullptr;
  QCheckBox* m_trackNames = nullptr;
  QCheckBox* m_waypointIcons = nullptr;
  QCheckBox* m_waypointNames = nullptr;
  QCheckBox* m_utmGrid = nullptr;
  QCheckBox* m_graticule = nullptr;
  QCheckBox* m_magneticNorth = nullptr;
};
