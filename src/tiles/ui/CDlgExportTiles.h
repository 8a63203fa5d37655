#pragma once
// "地図を書き出す": the seamless map as MBTiles for phone apps and GIS programs or as a custom map
// for Garmin units. The user picks what (the range selection, the window's area, a track log's
// corridor or every open sheet), the format and its settings; the dialog shows how many tiles or
// images that makes before anything is written, then writes with a cancellable progress window.
#include <QDialog>
#include <optional>

#include "display/MapColourScheme.h"
#include "tiles/TileExport.h"

class QButtonGroup;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

/// What the dialog may export.
struct STileExportInput {
  const mosaic::CMapCollection* collection = nullptr;
  MapSeries series = MapSeries::Scale25000;
  std::optional<tiles::SGeoBox> selection;  ///< the range selection (WGS-84)
  std::optional<tiles::SGeoBox> window;     ///< the window's area
  const CTrackLog* track = nullptr;         ///< the selected track log
  SMapRenderSettings render;
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
  QLabel* m_estimate = nullptr;
  QPushButton* m_write = nullptr;
};
