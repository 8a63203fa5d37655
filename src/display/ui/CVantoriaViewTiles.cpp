// The map view's "地図を書き出す": which boxes the dialog may export (the range selection and the
// window's area, in WGS-84) and the track log selected.
#include <QScrollBar>
#include <algorithm>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "display/ui/CVantoriaView.h"
#include "geodesy/DatumConverter.h"
#include "tiles/ui/CDlgExportTiles.h"
#include "trek/CTrekGroupList.h"

namespace {

/// The WGS-84 box of map pixels `r` through `frame` (its corners shifted one by one).
std::optional<tiles::SGeoBox> boxOf(const SheetFrame& frame, const QRect& r) {
  if (r.isEmpty()) return std::nullopt;
  std::optional<tiles::SGeoBox> box;
  for (const QPoint& p : {r.topLeft(), r.topRight() + QPoint(1, 0), r.bottomLeft() + QPoint(0, 1),
                          r.bottomRight() + QPoint(1, 1)}) {
    const std::optional<GeoPosition> g = frame.PixelToGeo(p.x(), p.y(), Datum::Wgs84);
    if (!g) return std::nullopt;
    const double lat = g->latitude.ToDegrees(), lon = g->longitude.ToDegrees();
    if (!box) box = tiles::SGeoBox{lat, lon, lat, lon};
    box->south = std::min(box->south, lat), box->north = std::max(box->north, lat);
    box->west = std::min(box->west, lon), box->east = std::max(box->east, lon);
  }
  return box;
}

}  // namespace

void CVantoriaView::exportTiles() {
  const std::vector<MapSeries> present = m_doc.Collection().seriesPresent();
  if (present.empty()) return;
  STileExportInput in;
  in.collection = &m_doc.Collection();
  in.series = m_seamless && m_seamlessSeries != MapSeries::Unknown ? m_seamlessSeries
              : std::find(present.begin(), present.end(), m_doc.Series()) != present.end() ? m_doc.Series()
                                                                                             : present.front();
  if (m_frameReady && hasMap()) {
    const QRect mapRect(QPoint(0, 0), m_mapSize);
    if (m_selection.exists()) in.selection = boxOf(m_frame, m_selection.selection() & mapRect);
    in.window = boxOf(m_frame, QRect(scrollPosition(), viewport()->size()) & mapRect);
  }
  in.track = m_doc.TrekGroups().SelectedTrackLog();
  in.render = m_settings ? m_settings->mapRenderSettings() : SMapRenderSettings{};
  in.treks = &m_doc.TrekGroups().Groups();
  const SGridOverlayOptions view = gridOptions();
  in.gridLook = tiles::TileGridLook(static_cast<std::int32_t>(view.utmColour), static_cast<std::int32_t>(view.graticuleColour),
                                    static_cast<std::int32_t>(view.magneticColour), view.graticuleDatum == Datum::Wgs84,
                                    in.series);
  CDlgExportTiles dlg(std::move(in), this);
  dlg.exec();
}
