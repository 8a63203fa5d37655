#include "display/RouteOverlay.h"

#include <QFont>
#include <QPainter>
#include <algorithm>

#include "geodesy/SheetFrame.h"

namespace {

const QColor kLine(0xC0, 0x00, 0xC0);
const QColor kSelected(0xFF, 0x70, 0x00);

bool near(const QPoint& a, const QPoint& b, int r) {
  const QPoint d = a - b;
  return d.x() * d.x() + d.y() * d.y() <= r * r;
}

QPoint halfway(const QPoint& a, const QPoint& b) { return QPoint((a.x() + b.x()) / 2, (a.y() + b.y()) / 2); }

void drawLine(QPainter& p, const std::vector<QPoint>& pts, const QPoint& origin, const QColor& colour, bool numbers,
              bool handles) {
  if (pts.empty()) return;
  p.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  for (std::size_t i = 1; i < pts.size(); ++i) p.drawLine(pts[i - 1] - origin, pts[i] - origin);
  if (handles) {
    p.setPen(QPen(colour, 1));
    p.setBrush(Qt::white);
    for (std::size_t i = 1; i < pts.size(); ++i) p.drawRect(QRect(halfway(pts[i - 1], pts[i]) - origin - QPoint(3, 3), QSize(7, 7)));
  }
  if (!numbers) return;
  QFont f = p.font();
  f.setPixelSize(10);
  f.setBold(true);
  p.setFont(f);
  const int r = CRouteOverlay::kPointRadius;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const QRect box(pts[i] - origin - QPoint(r, r), QSize(2 * r + 1, 2 * r + 1));
    p.setPen(QPen(colour, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(box);
    p.setPen(Qt::black);
    p.drawText(box, Qt::AlignCenter, QString::number(i + 1));
  }
}

}  // namespace

void CRouteOverlay::Rebuild(const CTrekGroupList::GroupList& groups, const SheetFrame& frame) {
  m_lines.clear();
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (const auto& r : groups[g]->Routes()) {
      SRouteLine line;
      line.group = static_cast<int>(g);
      line.route = r.get();
      bool seen = false;
      for (const CMarkerPoint& p : r->points) {
        const auto px = frame.GeoToPixel(p.latitude, p.longitude, Datum::Wgs84);
        line.points.push_back(px ? QPoint(px->x, px->y) : QPoint());
        seen = seen || (px && px->onFrame);
      }
      // A route is drawn when a point of it lies on the map shown; its legs may leave it.
      if (seen) m_lines.push_back(std::move(line));
    }
  }
}

bool CRouteOverlay::isSelected(const SRouteLine& l, const STrekSelection& s) const {
  return (s.kind == kTrekRoute || s.kind == kTrekRoutePoint) && s.route == l.route && s.groupIndex == l.group;
}

void CRouteOverlay::Paint(QPainter& painter, const QPoint& origin, const STrekSelection& selection) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const SRouteLine* selected = nullptr;
  for (const SRouteLine& l : m_lines) {
    if (isSelected(l, selection)) selected = &l;
    else drawLine(painter, l.points, origin, kLine, true, false);
  }
  if (selected) drawLine(painter, selected->points, origin, kSelected, true, true);
  if (m_drafting && !m_draft.empty()) {
    std::vector<QPoint> pts = m_draft;
    painter.setPen(QPen(kSelected, 2, Qt::DashLine));
    painter.drawLine(pts.back() - origin, m_cursor - origin);
    drawLine(painter, pts, origin, kSelected, true, false);
  }
  painter.restore();
}

CRouteOverlay::SHit CRouteOverlay::HitTest(const QPoint& map, const STrekSelection& selection) const {
  // The selected route lies on top.
  std::vector<const SRouteLine*> order;
  for (const SRouteLine& l : m_lines)
    if (isSelected(l, selection)) order.insert(order.begin(), &l);
    else order.push_back(&l);
  for (const SRouteLine* l : order) {
    for (std::size_t i = l->points.size(); i-- > 0;)
      if (near(map, l->points[i], kPointRadius)) return {l->group, l->route, static_cast<int>(i), false};
  }
  if (!order.empty() && isSelected(*order.front(), selection)) {
    const SRouteLine& l = *order.front();
    for (std::size_t i = 1; i < l.points.size(); ++i)
      if (near(map, halfway(l.points[i - 1], l.points[i]), 5)) return {l.group, l.route, static_cast<int>(i - 1), true};
  }
  return {};
}

void CRouteOverlay::MovePreview(const SHit& hit, const QPoint& map) {
  for (SRouteLine& l : m_lines) {
    if (l.route != hit.route || hit.point < 0 || std::size_t(hit.point) >= l.points.size()) continue;
    if (hit.midpoint) {
      // The new point shows at once; further moves move it.
      l.points.insert(l.points.begin() + hit.point + 1, map);
      return;
    }
    l.points[std::size_t(hit.point)] = map;
  }
}

void CRouteOverlay::BeginDraft() {
  m_drafting = true;
  m_draft.clear();
  m_draftGeo.clear();
}

void CRouteOverlay::AddDraftPoint(const QPoint& map, const GeoPosition& wgs84) {
  m_draft.push_back(map);
  m_draftGeo.push_back(wgs84);
  m_cursor = map;
}

bool CRouteOverlay::RemoveLastDraftPoint() {
  if (m_draft.empty()) return false;
  m_draft.pop_back();
  m_draftGeo.pop_back();
  return true;
}

void CRouteOverlay::EndDraft() {
  m_drafting = false;
  m_draft.clear();
  m_draftGeo.clear();
}

QRect CRouteOverlay::DraftBounds() const {
  QRect r;
  for (const QPoint& p : m_draft) r |= QRect(p, QSize(1, 1));
  r |= QRect(m_cursor, QSize(1, 1));
  return r.adjusted(-kPointRadius - 4, -kPointRadius - 4, kPointRadius + 4, kPointRadius + 4);
}
