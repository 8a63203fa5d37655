// Routes in the map view: drawing one point by point, dragging its points, and putting a point
// into a leg by dragging the handle halfway along it. Every finished change is one undo entry
// of the group list; the route being drawn is the view's own until it ends.
#include <QMouseEvent>
#include <cstdlib>

#include "app/CVantoriaDoc.h"
#include "display/ui/CVantoriaView.h"
#include "display/ui/TrekEditController.h"
#include "trek/TrackStatistics.h"
#include "trek/TrekEditing.h"

namespace {
// A press that moves less than this (map pixels) is a click.
constexpr int kDragSlop = 3;
}  // namespace

void CVantoriaView::rebuildRoutes() {
  if (m_frameReady && hasMap()) m_routes.Rebuild(m_doc.TrekGroups().Groups(), m_frame);
  else m_routes.Clear();
  m_routeDrag = {};
}

void CVantoriaView::BeginRoute() {
  if (!m_frameReady || !hasMap()) return;
  setTool(ETool::None);
  m_routes.BeginDraft();
  viewport()->setCursor(Qt::CrossCursor);
  m_cursorId = 0;
  setFocus();
  viewport()->update();
}

void CVantoriaView::CancelRoute() {
  if (!m_routes.drafting()) return;
  m_routes.EndDraft();
  updateCursor(viewport()->mapFromGlobal(QCursor::pos()));
  viewport()->update();
}

void CVantoriaView::FinishRoute() {
  if (!m_routes.drafting()) return;
  const std::vector<GeoPosition> positions = m_routes.draftPositions();
  CancelRoute();
  if (positions.size() < 2) return;  // a route runs between two points at least
  CTrekGroupList& list = m_doc.TrekGroups();
  int g = list.SelectedGroupIndex();
  if (!list.Group(g) || list.Group(g)->Kind() != CTrekData::kRouteGroup) {
    g = -1;
    for (int i = 0; i < list.Count() && g < 0; ++i)
      if (list.Group(i)->Kind() == CTrekData::kRouteGroup) g = i;
  }
  if (g < 0) g = list.NewGroup(CTrekData::kRouteGroup, "ルート");
  if (g < 0) return;
  auto route = std::make_unique<CRoute>();
  const std::size_t n = list.Group(g)->Routes().size();
  route->number = static_cast<std::int32_t>(n);
  route->name = trek::ToModelText("ルート" + std::to_string(n + 1));
  for (std::size_t i = 0; i < positions.size(); ++i) {
    CMarkerPoint p;
    p.name = std::to_string(i + 1);
    p.altitude = trek::kNoAltitude;
    p.SetPosition(positions[i].latitude, positions[i].longitude, Datum::Wgs84);
    (void)m_doc.AssignSheetOf(p);
    route->points.push_back(std::move(p));
  }
  (void)list.AddRoute(g, std::move(route));
}

bool CVantoriaView::routePress(const QPoint& v) {
  if (m_routes.drafting()) {
    const std::optional<GeoPosition> g = m_frame.PixelToGeo(v.x(), v.y(), Datum::Wgs84);
    if (g) {
      m_routes.AddDraftPoint(v, *g);
      invalidateLogical(m_routes.DraftBounds());
    }
    return true;
  }
  if (m_editing->openWindow() != CTrekEditController::EWindow::None || m_doc.TrekGroups().IsLocked()) return false;
  const CRouteOverlay::SHit hit = m_routes.HitTest(v, m_doc.TrekGroups().Selection());
  if (!hit.valid()) return false;
  m_routeDrag = hit;
  m_routeDragAt = v;
  m_routeDragMoved = false;
  m_routeInserting = false;
  return true;
}

bool CVantoriaView::routeMove(const QPoint& v) {
  if (m_routes.drafting()) {
    const QRect before = m_routes.DraftBounds();
    m_routes.SetDraftCursor(v);
    invalidateLogical(before | m_routes.DraftBounds());
    return true;
  }
  if (!m_routeDrag.valid()) return false;
  const QPoint d = v - m_routeDragAt;
  if (!m_routeDragMoved && std::abs(d.x()) <= kDragSlop && std::abs(d.y()) <= kDragSlop) return true;
  if (!m_routeDragMoved && m_routeDrag.midpoint) {
    // The handle becomes a point of its own, which the drag then moves.
    m_routes.MovePreview(m_routeDrag, v);
    m_routeDrag.point += 1;
    m_routeDrag.midpoint = false;
    m_routeDragMoved = true;
    m_routeInserting = true;
  } else {
    m_routeDragMoved = true;
    m_routes.MovePreview(m_routeDrag, v);
  }
  viewport()->update();
  return true;
}

bool CVantoriaView::routeRelease(const QPoint& v) {
  if (m_routes.drafting()) return true;
  if (!m_routeDrag.valid()) return false;
  const CRouteOverlay::SHit hit = m_routeDrag;
  m_routeDrag = {};
  const bool inserted = m_routeInserting;
  m_routeInserting = false;
  CTrekGroupList& list = m_doc.TrekGroups();
  if (!m_routeDragMoved) {
    // A click selects the point (or, on a handle, the route).
    STrekSelection s;
    s.groupIndex = hit.group;
    s.route = hit.route;
    s.kind = hit.midpoint ? kTrekRoute : kTrekRoutePoint;
    s.pointIndex = hit.midpoint ? -1 : hit.point;
    (void)list.Select(s);
    return true;
  }
  const std::optional<GeoPosition> g = m_frame.PixelToGeo(v.x(), v.y(), Datum::Wgs84);
  bool done = false;
  if (g && inserted) {
    CMarkerPoint p;
    p.name = std::to_string(hit.point + 1);
    p.altitude = trek::kNoAltitude;
    p.SetPosition(g->latitude, g->longitude, Datum::Wgs84);
    (void)m_doc.AssignSheetOf(p);
    done = list.InsertRoutePoint(hit.group, *hit.route, std::size_t(hit.point), p);
  } else if (g) {
    done = list.MoveRoutePoint(hit.group, *hit.route, std::size_t(hit.point), g->latitude, g->longitude, Datum::Wgs84);
  }
  // Refused or off the map: the routes are drawn as they are.
  if (!done) RebuildOverlay(true);
  return true;
}

bool CVantoriaView::routeKey(int key) {
  if (!m_routes.drafting()) return false;
  switch (key) {
    case Qt::Key_Backspace: {
      const QRect before = m_routes.DraftBounds();
      (void)m_routes.RemoveLastDraftPoint();
      invalidateLogical(before);
      return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter: FinishRoute(); return true;
    case Qt::Key_Escape: CancelRoute(); return true;
    default: return false;
  }
}

void CVantoriaView::mouseDoubleClickEvent(QMouseEvent* event) {
  // The double click's first press has put the last point down already; where the double click
  // came alone, it puts it down here.
  if (m_routes.drafting() && event->button() == Qt::LeftButton) {
    const QPoint v = logical(event->position().toPoint());
    const auto& placed = m_routes.draftPoints();
    const bool there = !placed.empty() && std::abs(placed.back().x() - v.x()) <= kDragSlop &&
                       std::abs(placed.back().y() - v.y()) <= kDragSlop;
    if (!there) (void)routePress(v);
    FinishRoute();
    return;
  }
  QAbstractScrollArea::mouseDoubleClickEvent(event);
}
