#include "display/ui/TrekOverlayLayer.h"

#include "app/CVantoriaDoc.h"
#include "platform/Codepage.h"

namespace {
QString fromCp932(const std::string& text) { return QString::fromStdString(platform::cp932::toUtf8Lossy(text)); }
}  // namespace

CTrekOverlayLayer::CTrekOverlayLayer(CVantoriaDoc& doc, std::function<QSize()> mapSize)
    : m_doc(doc), m_mapSize(std::move(mapSize)) {}

void CTrekOverlayLayer::rebuild(const SheetFrame& frame, double ratio) {
  m_overlay.Rebuild(m_doc.TrekGroups().Groups(), frame, ratio);
}

void CTrekOverlayLayer::paint(QPainter& painter, EMapOverlay which, const QRect& clip) {
  // The view decides whether a layer is shown; the selection is looked up in the cache here so
  // that it always matches the document's.
  STrekPaintState state;
  state.selection = m_overlay.Locate(m_doc.TrekGroups().Selection());
  state.mapSize = m_mapSize ? m_mapSize() : QSize();
  m_overlay.Paint(painter, which, clip, state);
}

STrekHover CTrekOverlayLayer::hover(const QPoint& logical, bool waypointsShown, bool tracksShown) const {
  const STrekOverlaySelection selected = m_overlay.Locate(m_doc.TrekGroups().Selection());
  STrekHover h;
  h.hit = m_overlay.HitTest(logical, {waypointsShown, tracksShown, selected.track});
  switch (h.hit.kind) {
    case ETrekHitKind::Waypoint: h.lines << fromCp932(m_overlay.Waypoint(h.hit.index)->name); break;
    case ETrekHitKind::TrackLog: h.lines << fromCp932(m_overlay.Track(h.hit.index)->name); break;
    case ETrekHitKind::TrackPoint: {
      const TrackPolyline* line = m_overlay.Track(h.hit.index);
      const auto& points = line->trackLog->Points();
      if (h.hit.point < static_cast<int>(points.size())) {
        h.lines << fromCp932(line->name) << fromCp932(points[static_cast<std::size_t>(h.hit.point)].Label());
      }
      break;
    }
    case ETrekHitKind::None: break;
  }
  return h;
}

void CTrekOverlayLayer::select(const STrekHit& hit) {
  STrekSelection request;
  request.groupIndex = hit.group;
  switch (hit.kind) {
    case ETrekHitKind::Waypoint:
      request.kind = kTrekWaypoint;
      request.waypoint = const_cast<CMarkerPoint*>(m_overlay.Waypoint(hit.index)->waypoint);
      break;
    case ETrekHitKind::TrackLog:
    case ETrekHitKind::TrackPoint:
      request.kind = hit.kind == ETrekHitKind::TrackLog ? kTrekTrackLog : kTrekTrackPoint;
      request.trackLog = const_cast<CTrackLog*>(m_overlay.Track(hit.index)->trackLog);
      request.pointIndex = hit.kind == ETrekHitKind::TrackPoint ? hit.point : -1;
      break;
    case ETrekHitKind::None: return;
  }
  if (request == m_doc.TrekGroups().Selection()) return;
  (void)m_doc.TrekGroups().Select(request);
}

QRect CTrekOverlayLayer::itemRect(const STrekHit& hit) const {
  switch (hit.kind) {
    case ETrekHitKind::Waypoint: return m_overlay.WaypointRect(hit.index);
    case ETrekHitKind::TrackLog: return m_overlay.TrackRegion(hit.index);
    case ETrekHitKind::TrackPoint: return m_overlay.TrackPointRect(hit.index, hit.point);
    case ETrekHitKind::None: break;
  }
  return {};
}
