// The map view's grid lines: UTM grid, graticule and magnetic north over either kind of map.
#include <QPainter>

#include "app/AppSettings.h"
#include "display/ui/CVantoriaView.h"
#include "geodesy/MagneticDeclination.h"
#include "platform/IProfileStore.h"

namespace {
constexpr const char* kSection = "ViewSettings";
}  // namespace

void CVantoriaView::SetGridShown(EGrid grid, bool shown) {
  bool& flag = grid == EGrid::Utm ? m_showUtmGrid : grid == EGrid::Graticule ? m_showGraticule : m_showMagNorth;
  if (flag == shown) return;
  flag = shown;
  const char* key = grid == EGrid::Utm ? "UtmGrid" : grid == EGrid::Graticule ? "Graticule" : "MagNorth";
  platform::profile().writeInt(kSection, key, shown ? 1 : 0);
  RefreshGrid();
}

bool CVantoriaView::gridShown(EGrid grid) const {
  return grid == EGrid::Utm ? m_showUtmGrid : grid == EGrid::Graticule ? m_showGraticule : m_showMagNorth;
}

void CVantoriaView::RefreshGrid() {
  m_gridDirty = true;
  viewport()->update();
}

SGridOverlayOptions CVantoriaView::gridOptions() const {
  SGridOverlayOptions o;
  o.utm = m_showUtmGrid;
  o.graticule = m_showGraticule;
  o.magneticNorth = m_showMagNorth;
  if (m_settings) {
    o.utmColour = static_cast<std::uint32_t>(m_settings->gridColour);
    o.graticuleColour = static_cast<std::uint32_t>(m_settings->graticuleColour);
    o.magneticColour = static_cast<std::uint32_t>(m_settings->magNorthColour);
  }
  const Datum datum = m_settings && m_settings->dispDatum == 0 ? Datum::Wgs84 : Datum::Tokyo;
  o.graticuleDatum = datum;
  o.utmSpacingM = UtmSpacingForRatio(m_ratio);
  o.graticuleSpacingSec = GraticuleSpacingFor(m_frame.latitudeStep(datum).TotalSeconds(), m_ratio);
  // Lines 4 cm apart on a paper map of the series' own scale.
  o.magneticSpacingM = 0.04 * (series() == 2 ? 50000.0 : 25000.0);
  o.decimalYear = geodesy::DecimalYearToday();
  o.labelPixelSize = std::max(9, fontMetrics().height() - 2);
  o.labelPictures = true;
  return o;
}

bool CVantoriaView::prepareGrid() {
  if ((!m_showUtmGrid && !m_showGraticule && !m_showMagNorth) || !m_frameReady || !hasMap()) {
    m_grid = {};
    m_gridArea = {};
    return false;
  }
  // The labels keep to the map where it is smaller than the window.
  const QRect area = QRect(scrollPosition(), viewport()->size()).intersected(QRect(QPoint(0, 0), m_mapSize));
  if (area.isEmpty()) return false;
  if (m_gridDirty || area != m_gridArea || m_ratio != m_gridRatio) {
    m_grid.Build(m_frame, area, gridOptions());
    m_gridArea = area;
    m_gridRatio = m_ratio;
    m_gridDirty = false;
  }
  return !m_grid.empty();
}

MapPixelPainter CVantoriaView::gridPixels(QPainter& painter) const {
  // Written into the map as it is composed, under the trek overlays: a stroke through the
  // painter costs a call a pixel, a store here.
  if (m_grid.empty() || !m_grid.PaintsDirect() || !m_canvas.PaintsPixels(painter)) return {};
  return [this](QImage& picture, const QPoint& offset, const QRect& clip) { (void)m_grid.PaintDirect(picture, offset, clip); };
}
