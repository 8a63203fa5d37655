#pragma once
// "地図を書き出す": the seamless map as MBTiles for phone apps and GIS programs or as a custom map
// for Garmin units. The user picks what (the range selection, the window's area, a track log's
// corridor or every open sheet), the format and its settings; the dialog shows how many tiles or
// images that makes before anything is written, then writes with a cancellable progress window.
#include <QDialog>
#include <optional>

#include "display/MapColourScheme.h"
#include "tiles/TileExport.h"
#include "trek/CTrekGroupList.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

/// What the dialog may export. The overlay check boxes start from and are remembered in the
/// profile ("Settings"/"ExportTilesOption").
struct STileExportInput {
  const mosaic::CMapCollection* collection = nullptr;
  MapSeries series = MapSeries::Scale25000;
  std::optional<tiles::SGeoBox> selection;  ///< the range selection (WGS-84)
  std::optional<tiles::SGeoBox> window;     ///< the window's area
  const CTrackLog* track = nullptr;         ///< the selected track log
  SMapRenderSettings render;
  const CTrekGroupList::GroupList* treks = nullptr;  ///< the trek data the view has open
  SGridOverlayOptions gridLook;                      ///< colours and datum of the grid lines
};

class CDlgExportTiles : public QDialog {
  Q_OBJECT
 public:
  explicit CDlgExportTiles(STileExportInput input, QWidget* parent = nullptr);

  /// The area, options and plan the controls stand for now.
  [[nodiscard]] tiles::SExportArea area() const;
  [[nodiscard]] tiles::SExportOptions options() const;
  [[nodiscard]] const tiles::SExportPlan& plan() const { return m_plan; }
  /// The estimate line under the controls.
  [[nodiscard]] QString estimateText() const;
  /// Asks for the file and writes it; the outcome of the last write.
  void exportNow();
  [[nodiscard]] const std::optional<tiles::SExportResult>& lastResult() const { return m_result; }

 private:
  void replan();
  [[nodiscard]] std::int32_t overlayBits() const;

  STileExportInput m_in;
  tiles::SExportPlan m_plan;
  std::optional<tiles::SExportResult> m_result;
  QButtonGroup* m_areas = nullptr;
  QDoubleSpinBox* m_corridor = nullptr;
  QComboBox* m_format = nullptr;
  QSpinBox* m_minZoom = nullptr;
  QSpinBox* m_maxZoom = nullptr;
  QComboBox* m_image = nullptr;
  QSpinBox* m_quality = nullptr;
  QDoubleSpinBox* m_metres = nullptr;
  QComboBox* m_limit = nullptr;
  QCheckBox* m_trackLines = nullptr;
  QCheckBox* m_trackNames = nullptr;
  QCheckBox* m_waypointIcons = nullptr;
  QCheckBox* m_waypointNames = nullptr;
  QCheckBox* m_utmGrid = nullptr;
  QCheckBox* m_graticule = nullptr;
  QCheckBox* m_magneticNorth = nullptr;
  bool m_hasWaypoints = false;
  bool m_hasTrackLogs = false;
  QLabel* m_estimate = nullptr;
  QPushButton* m_write = nullptr;
};
