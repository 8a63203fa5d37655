#include "display/TrekOverlay.h"

#include <QFont>
#include <QFontMetrics>
#include <QLineF>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <string_view>

#include "display/SegmentClip.h"
#include "geodesy/SheetFrame.h"
#include "platform/Codepage.h"

namespace {

using trek_overlay::clampCoordinate;

std::int32_t trunc32(double v) { return geodesy::truncToInt32(v); }

QPoint markPoint(const TrackMark& m) { return QPoint(m.x, m.y); }

QRect waypointHitRect(std::int32_t x, std::int32_t y) { return QRect(x - 4, y - 20, 28, 24); }

// A label pushed past the region's top or left edge (moved up or left for the bottom and right
// edges, or drawn above its point) goes below or right of its point, where it starts inside.
void keepRightAndBelow(QRect& box, QPoint pos) {
  if (box.top() < 0) box.moveTop(pos.y());
  if (box.left() < 0) box.moveLeft(pos.x());
}

TrekLabelMeasure measureWith(const QFontMetrics& metrics) {
  return [&metrics](const std::string& text) {
    const QString s = QString::fromStdString(platform::cp932::toUtf8Lossy(text));
    return QSize(metrics.horizontalAdvance(s), metrics.height());
  };
}

// The flag, one character per pixel: pole, light, mid and dark banner, shadow, transparent.
constexpr std::string_view kFlagRows[TrekOverlay::kIconHeight] = {
    "RR..................",  //
    "RRLLLLLLLLLLLLLL....",  //
    "RRLLLLLLLLLLLLLLS...",  //
    "RRMMMMMMMMMMMMMMS...",  //
    "RRMMMMMMMMMMMMMMS...",  //
    "RRMMMMMMMMMMMMMMS...",  //
    "RRMMMMMMMMMMMMMMS...",  //
    "RRDDDDDDDDDDDDDDS...",  //
    "RRDDDDDDDDDDDDDDS...",  //
    "RRSSSSSSSSSSSSSSS...",  //
    "RRS.................",  //
    "RRS.................",  //
    "RRS.................",  //
    "RRS.................",  //
    "RRS.................",  //
    "RRS.................",  //
};

QRgb flagColour(char c) {
  switch (c) {
    case 'R': return qRgba(128, 0, 0, 255);
    case 'L': return qRgba(255, 150, 255, 255);
    case 'M': return qRgba(230, 0, 230, 255);
    case 'D': return qRgba(150, 0, 150, 255);
    case 'S': return qRgba(128, 128, 128, 255);
    default: return qRgba(0, 0, 0, 0);
  }
}

}  // namespace

TrekOverlay::TrekOverlay() = default;
TrekOverlay::~TrekOverlay() = default;

// ---- cache

void TrekOverlay::Clear() {
  m_waypoints.clear();
  m_tracks.clear();
}

void TrekOverlay::Rebuild(const CTrekGroupList::GroupList& groups, const SheetFrame& frame) {
  Clear();
  for (std::size_t i = 0; i < groups.size(); ++i) {
    if (groups[i]) appendGroup(*groups[i], static_cast<int>(i), frame);
  }
}

void TrekOverlay::Rebuild(const CTrekGroupList::GroupList& groups, const SheetFrame& frame, double ratio) {
  SheetFrame scaled = frame;
  scaled.SetScale(ratio, ratio);
  Rebuild(groups, scaled);
}

void TrekOverlay::appendGroup(const CTrekData& group, int groupIndex, const SheetFrame& frame) {
  if (group.Kind() == CTrekData::kWaypointGroup) {
    for (const auto& wp : group.Waypoints()) {
      if (!wp) continue;
      const auto px = frame.GeoToPixel(wp->latitude, wp->longitude, Datum::Wgs84);
      if (!px || !px->onFrame) continue;
      WaypointMark mark;
      mark.x = clampCoordinate(px->x);
      mark.y = clampCoordinate(px->y);
      mark.name = wp->name;
      mark.hit = waypointHitRect(mark.x, mark.y);
      mark.groupIndex = groupIndex;
      mark.waypoint = wp.get();
      m_waypoints.push_back(std::move(mark));
    }
    return;
  }
  if (group.Kind() != CTrekData::kTrackLogGroup) return;
  const std::size_t firstNew = m_tracks.size();
  for (const auto& log : group.TrackLogs()) {
    if (!log) continue;
    const std::vector<CTrackPoint>& points = log->Points();
    const bool onSheet = std::any_of(points.begin(), points.end(), [&frame](const CTrackPoint& p) {
      return frame.Contains(p.latitude, p.longitude, Datum::Wgs84);
    });
    if (!onSheet) continue;
    auto line = std::make_unique<TrackPolyline>();
    line->name = log->name;
    line->groupIndex = groupIndex;
    line->trackLog = log.get();
    line->points.resize(points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
      const auto px = frame.GeoToPixel(points[k].latitude, points[k].longitude, Datum::Wgs84);
      if (px) line->points[k] = {clampCoordinate(px->x), clampCoordinate(px->y)};
    }
    m_tracks.push_back(std::move(line));
  }
  for (std::size_t t = firstNew; t < m_tracks.size(); ++t) {
    TrackPolyline& line = *m_tracks[t];
    line.index.Build(line.points);
    line.regionValid = line.points.size() >= 2;
  }
}

const WaypointMark* TrekOverlay::Waypoint(int index) const {
  return index >= 0 && index < WaypointCount() ? &m_waypoints[static_cast<std::size_t>(index)] : nullptr;
}

const TrackPolyline* TrekOverlay::Track(int index) const {
  return index >= 0 && index < TrackCount() ? m_tracks[static_cast<std::size_t>(index)].get() : nullptr;
}

// ---- hit tests

int TrekOverlay::HitWaypoint(QPoint p) const {
  for (std::size_t i = 0; i < m_waypoints.size(); ++i) {
    if (m_waypoints[i].hit.contains(p)) return static_cast<int>(i);
  }
  return -1;
}

int TrekOverlay::HitTrack(QPoint p) const {
  for (std::size_t i = 0; i < m_tracks.size(); ++i) {
    const TrackPolyline& line = *m_tracks[i];
    if (line.regionValid && line.index.HitSegments(line.points, p)) return static_cast<int>(i);
  }
  return -1;
}

int TrekOverlay::HitTrackPoint(int trackIndex, QPoint p) const {
  const TrackPolyline* line = Track(trackIndex);
  return line ? line->index.HitPoint(line->points, p) : -1;
}

STrekHit TrekOverlay::HitTest(QPoint p, const STrekHitOptions& options) const {
  if (options.trackLogsShown) {
    if (const TrackPolyline* line = Track(options.selectedTrack)) {
      const int point = line->index.HitPoint(line->points, p);
      if (point >= 0) return {ETrekHitKind::TrackPoint, line->groupIndex, options.selectedTrack, point};
    }
  }
  if (options.waypointsShown) {
    const int w = HitWaypoint(p);
    if (w >= 0) return {ETrekHitKind::Waypoint, m_waypoints[static_cast<std::size_t>(w)].groupIndex, w, -1};
  }
  if (options.trackLogsShown) {
    const int t = HitTrack(p);
    if (t >= 0) return {ETrekHitKind::TrackLog, m_tracks[static_cast<std::size_t>(t)]->groupIndex, t, -1};
  }
  return {};
}

// ---- lookups

int TrekOverlay::FindWaypoint(int groupIndex, const CMarkerPoint* waypoint) const {
  if (!waypoint) return -1;
  for (std::size_t i = 0; i < m_waypoints.size(); ++i) {
    if (m_waypoints[i].groupIndex == groupIndex && m_waypoints[i].waypoint == waypoint) return static_cast<int>(i);
  }
  return -1;
}

int TrekOverlay::FindTrack(int groupIndex, const CTrackLog* trackLog) const {
  if (!trackLog) return -1;
  for (std::size_t i = 0; i < m_tracks.size(); ++i) {
    if (m_tracks[i]->groupIndex == groupIndex && m_tracks[i]->trackLog == trackLog) return static_cast<int>(i);
  }
  return -1;
}

int TrekOverlay::FindTrackPoint(int trackIndex, int pointIndex) const {
  const TrackPolyline* line = Track(trackIndex);
  if (!line || pointIndex < 0 || pointIndex >= static_cast<int>(line->points.size())) return -1;
  return pointIndex;
}

STrekOverlaySelection TrekOverlay::Locate(const STrekSelection& selection) const {
  STrekOverlaySelection found;
  switch (selection.kind) {
    case kTrekWaypoint: found.waypoint = FindWaypoint(selection.groupIndex, selection.waypoint); break;
    case kTrekTrackLog: found.track = FindTrack(selection.groupIndex, selection.trackLog); break;
    case kTrekTrackPoint:
      found.track = FindTrack(selection.groupIndex, selection.trackLog);
      found.point = FindTrackPoint(found.track, selection.pointIndex);
      break;
    default: break;
  }
  return found;
}

// ---- editing support

void TrekOverlay::MoveWaypoint(int index, int x, int y) {
  if (!Waypoint(index)) return;
  WaypointMark& m = m_waypoints[static_cast<std::size_t>(index)];
  m.x = clampCoordinate(x);
  m.y = clampCoordinate(y);
  m.hit = waypointHitRect(m.x, m.y);
}

void TrekOverlay::MoveTrackPoint(int trackIndex, int pointIndex, int x, int y) {
  if (FindTrackPoint(trackIndex, pointIndex) < 0) return;
  TrackPolyline& line = *m_tracks[static_cast<std::size_t>(trackIndex)];
  line.points[static_cast<std::size_t>(pointIndex)] = {clampCoordinate(x), clampCoordinate(y)};
  line.index.PointMoved(line.points, pointIndex);
}

QRect TrekOverlay::NeighbourBounds(int trackIndex, std::span<const int> pointIndexes) const {
  const TrackPolyline* line = Track(trackIndex);
  if (!line || line->points.empty() || pointIndexes.empty()) return {};
  const int last = static_cast<int>(line->points.size()) - 1;
  QRect bounds;
  for (const int i : pointIndexes) bounds |= line->points[static_cast<std::size_t>(std::clamp(i, 0, last))].hitRect();
  return bounds;
}

QRect TrekOverlay::WaypointRect(int index) const {
  const WaypointMark* m = Waypoint(index);
  return m ? m->hit : QRect();
}

QRect TrekOverlay::TrackPointRect(int trackIndex, int pointIndex) const {
  if (FindTrackPoint(trackIndex, pointIndex) < 0) return {};
  return m_tracks[static_cast<std::size_t>(trackIndex)]->points[static_cast<std::size_t>(pointIndex)].hitRect();
}

QRect TrekOverlay::TrackRegion(int index) const {
  const TrackPolyline* line = Track(index);
  if (!line || !line->regionValid) return {};
  const int reach = trek_overlay::kQuadReach;
  return line->index.Bounds().adjusted(-reach, -reach, reach + 1, reach + 1);
}

// ---- screen drawing

void TrekOverlay::Paint(QPainter& painter, EMapOverlay which, const QRect& clip, const STrekPaintState& state) const {
  switch (which) {
    case EMapOverlay::TrackLogLines:
      if (state.trackLogsShown) DrawTrackLines(painter, state.mapSize, clip);
      break;
    case EMapOverlay::WaypointIcons:
      if (state.waypointsShown) DrawWaypointIcons(painter);
      break;
    case EMapOverlay::SelectedWaypoint: DrawWaypointHighlight(painter, state.selection.waypoint); break;
    case EMapOverlay::SelectedTrackLog: DrawTrackPoints(painter, state.selection.track, clip); break;
    case EMapOverlay::SelectedTrackPoint:
      DrawTrackPointHighlight(painter, state.selection.track, state.selection.point);
      break;
    case EMapOverlay::RangeSelection:
    case EMapOverlay::ZoomBand: break;
  }
}

void TrekOverlay::drawLines(QPainter& painter, const QRect& visible, QPoint offset, int penWidth) const {
  if (visible.isEmpty() || m_tracks.empty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  // Pens up to 2 pixels are drawn as a 1-pixel line stamped at each pixel of a square of that
  // width: the same pixels as a round 2-pixel pen, without the cost of stroking a wide outline
  // (a long track zoomed out draws several times faster).
  static constexpr QPoint kOneStamp[] = {{0, 0}};
  static constexpr QPoint kTwoStamps[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  std::span<const QPoint> stamps = kOneStamp;
  QPen pen(Colour(kTrackColour));
  if (penWidth <= 2) {
    pen.setWidth(1);
    pen.setCosmetic(true);
    if (penWidth == 2) stamps = kTwoStamps;
  } else {
    pen.setWidth(penWidth);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
  }
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  const int margin = std::max(penWidth, 1) + 1;
  const QRect cull = visible.adjusted(-margin, -margin, margin, margin);
  // Runs stay joined; an end far outside is cut back first, so the painter never sees
  // coordinates far beyond the surface.
  const QRect safe = cull.adjusted(-256, -256, 256, 256);
  const QRectF safeF(safe);
  QPolygon run;
  auto flush = [&] {
    if (run.size() >= 2) {
      for (const QPoint& s : stamps) painter.drawPolyline(run.translated(s));
    }
    run.clear();
  };
  for (const auto& trackPtr : m_tracks) {
    const TrackPolyline& line = *trackPtr;
    if (line.points.size() < 2) continue;
    line.index.ForEachLeafIn(cull, 0, [&](int first, int last) {
      for (int k = first; k < last; ++k) {
        const TrackMark& a = line.points[static_cast<std::size_t>(k)];
        const TrackMark& b = line.points[static_cast<std::size_t>(k) + 1];
        const QRect box = QRect(markPoint(a), markPoint(b)).normalized();
        if (!box.intersects(cull)) {
          flush();
          continue;
        }
        if (safe.contains(markPoint(a)) && safe.contains(markPoint(b))) {
          if (run.isEmpty()) run.append(markPoint(a) - offset);
          // Zoomed out, many points share a pixel; a zero-length piece adds nothing.
          if (run.size() < 2 || run.last() != markPoint(b) - offset) run.append(markPoint(b) - offset);
          continue;
        }
        flush();
        QPointF from(a.x, a.y);
        QPointF to(b.x, b.y);
        if (!ClipSegment(from, to, safeF)) continue;
        for (const QPoint& s : stamps) painter.drawLine(QLineF(from - QPointF(offset - s), to - QPointF(offset - s)));
      }
      flush();
    });
  }
  painter.restore();
}

void TrekOverlay::DrawTrackLines(QPainter& painter, const QSize& mapSize, const QRect& clip) const {
  const QRect map(QPoint(0, 0), mapSize);
  const QRect visible = clip & map;
  if (visible.isEmpty()) return;
  painter.save();
  painter.setClipRect(map, Qt::IntersectClip);
  drawLines(painter, visible, QPoint(0, 0), 2);
  painter.restore();
}

void TrekOverlay::DrawWaypointIcons(QPainter& painter) const {
  const QImage& icon = FlagIcon();
  const QRect clip = painter.hasClipping() ? painter.clipBoundingRect().toAlignedRect() : QRect();
  for (const WaypointMark& m : m_waypoints) {
    const QRect box(m.x, m.y - kIconHeight, kIconWidth, kIconHeight);
    if (clip.isValid() && !clip.intersects(box)) continue;
    painter.drawImage(box.topLeft(), icon);
  }
}

void TrekOverlay::drawOutline(QPainter& painter, const QRect& rect) const {
  if (rect.isEmpty()) return;
  const QColor c = Colour(kHighlightColour);
  painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), c);
  painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), c);
  painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), c);
  painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), c);
}

void TrekOverlay::DrawWaypointHighlight(QPainter& painter, int index) const {
  drawOutline(painter, WaypointRect(index));
}

void TrekOverlay::DrawTrackPoints(QPainter& painter, int trackIndex, const QRect& clip) const {
  const TrackPolyline* line = Track(trackIndex);
  if (!line || line->points.empty()) return;
  const QColor colour = Colour(kTrackPointColour);
  line->index.ForEachLeafIn(clip, 2, [&](int first, int last) {
    for (int i = first; i <= last; ++i) {
      const TrackMark& m = line->points[static_cast<std::size_t>(i)];
      const QRect square(m.x - 2, m.y - 2, 4, 4);
      if (square.intersects(clip)) painter.fillRect(square, colour);
    }
  });
}

void TrekOverlay::DrawTrackPointHighlight(QPainter& painter, int trackIndex, int pointIndex) const {
  drawOutline(painter, TrackPointRect(trackIndex, pointIndex));
}

// ---- labels

QRect TrekOverlay::PlaceWaypointLabel(QPoint pos, QSize text, QSize region, int iconHeight) {
  QRect box(pos, text);
  if (box.x() + box.width() > region.width()) box.moveLeft(region.width() - box.width());
  if (box.y() + box.height() > region.height()) box.moveTop(pos.y() - iconHeight - box.height());
  keepRightAndBelow(box, pos);
  return box;
}

QRect TrekOverlay::PlaceTrackLabel(QPoint pos, QPoint direction, QSize text, QSize region) {
  const bool above = (direction.x() > 0 && direction.y() > 0) || (direction.x() < 0 && direction.y() < 0);
  QRect box(pos, text);
  if (above) box.moveTop(pos.y() - text.height());
  if (box.x() + box.width() > region.width()) box.translate(-text.width(), above ? text.height() : -text.height());
  if (box.y() + box.height() > region.height()) box.moveTop(pos.y() - text.height());
  keepRightAndBelow(box, pos);
  return box;
}

QRect TrekOverlay::ScaleRegion(const QRect& region, double r) {
  const std::int32_t left = trunc32(region.x() * r);
  const std::int32_t top = trunc32(region.y() * r);
  const std::int32_t right = trunc32((static_cast<double>(region.x()) + region.width()) * r);
  const std::int32_t bottom = trunc32((static_cast<double>(region.y()) + region.height()) * r);
  return QRect(left, top, right - left, bottom - top);
}

std::vector<STrekLabel> TrekOverlay::waypointLabels(const QRect& area, const QRect& out, int above, QPoint shift,
                                                    const TrekLabelMeasure& measure) const {
  std::vector<STrekLabel> labels;
  for (const WaypointMark& m : m_waypoints) {
    const QPoint pos(m.x, m.y);
    if (!area.contains(pos)) continue;
    QRect box = PlaceWaypointLabel(pos - out.topLeft(), measure(m.name), out.size(), above);
    box.translate(shift);
    labels.push_back({box.adjusted(-1, -1, 1, 1), m.name});
  }
  return labels;
}

std::vector<STrekLabel> TrekOverlay::trackLabels(const QRect& out, QPoint shift,
                                                 const TrekLabelMeasure& measure) const {
  std::vector<STrekLabel> labels;
  for (const auto& trackPtr : m_tracks) {
    const std::vector<TrackMark>& points = trackPtr->points;
    const auto first = std::find_if(points.begin(), points.end(),
                                    [&out](const TrackMark& m) { return out.contains(markPoint(m)); });
    if (first == points.end()) continue;
    const std::size_t i = static_cast<std::size_t>(first - points.begin());
    QPoint direction;
    if (i + 1 < points.size()) {
      direction = markPoint(points[i + 1]) - markPoint(points[i]);
    } else if (i > 0) {
      direction = markPoint(points[i]) - markPoint(points[i - 1]);
    }
    QRect box = PlaceTrackLabel(markPoint(points[i]) - out.topLeft(), direction, measure(trackPtr->name), out.size());
    box.translate(shift);
    labels.push_back({box.adjusted(-1, -1, 1, 1), trackPtr->name});
  }
  return labels;
}

void TrekOverlay::DrawLabelBoxes(QPainter& painter, const std::vector<STrekLabel>& labels, bool centred) {
  const QColor outline = Colour(kLabelOutlineColour);
  const int flags = Qt::AlignVCenter | (centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::TextSingleLine |
                    Qt::TextDontClip;
  for (const STrekLabel& label : labels) {
    const QRect& b = label.box;
    painter.fillRect(b, Qt::white);
    painter.fillRect(QRect(b.left(), b.top(), b.width(), 1), outline);
    painter.fillRect(QRect(b.left(), b.bottom(), b.width(), 1), outline);
    painter.fillRect(QRect(b.left(), b.top(), 1, b.height()), outline);
    painter.fillRect(QRect(b.right(), b.top(), 1, b.height()), outline);
    painter.setPen(Qt::black);
    painter.drawText(b, flags, QString::fromStdString(platform::cp932::toUtf8Lossy(label.text)));
  }
}

// ---- image export

void TrekOverlay::DrawWaypointIcons(QPainter& painter, const QRect& band) const {
  const QRect area = band.adjusted(-16, -16, 16, 16);
  const QImage& icon = FlagIcon();
  for (const WaypointMark& m : m_waypoints) {
    if (area.contains(QPoint(m.x, m.y))) painter.drawImage(QPoint(m.x, m.y - kIconHeight) - band.topLeft(), icon);
  }
}

void TrekOverlay::DrawTrackLines(QPainter& painter, const QRect& band) const {
  drawLines(painter, QRect(band.topLeft(), band.size()), band.topLeft(), 2);
}

std::vector<STrekLabel> TrekOverlay::ExportWaypointLabels(const QRect& band, const QRect& region,
                                                          const TrekLabelMeasure& measure) const {
  return waypointLabels(band.adjusted(-16, -16, 16, 16), region, kIconHeight, region.topLeft() - band.topLeft(),
                        measure);
}

std::vector<STrekLabel> TrekOverlay::ExportTrackLabels(const QRect& band, const QRect& region,
                                                       const TrekLabelMeasure& measure) const {
  return trackLabels(region, region.topLeft() - band.topLeft(), measure);
}

void TrekOverlay::DrawWaypointLabels(QPainter& painter, const QRect& band, const QRect& region) const {
  painter.save();
  const QFont font = LabelFont(kExportLabelHeight);
  painter.setFont(font);
  const QFontMetrics metrics(font, painter.device());
  DrawLabelBoxes(painter, ExportWaypointLabels(band, region, measureWith(metrics)), false);
  painter.restore();
}

void TrekOverlay::DrawTrackLabels(QPainter& painter, const QRect& band, const QRect& region) const {
  painter.save();
  const QFont font = LabelFont(kExportLabelHeight);
  painter.setFont(font);
  const QFontMetrics metrics(font, painter.device());
  DrawLabelBoxes(painter, ExportTrackLabels(band, region, measureWith(metrics)), false);
  painter.restore();
}

// ---- printing

void TrekOverlay::DrawWaypointIcons(QPainter& painter, const QRect& region, double sx, double r, int dy) const {
  const QRect scaled = ScaleRegion(region, r);
  const int reach = trunc32(16.0 * r);
  const QRect area = scaled.adjusted(-reach, -reach, reach, reach);
  const int w = trunc32(kIconWidth * sx);
  const int h = trunc32(kIconHeight * sx);
  if (w <= 0 || h <= 0) return;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  const QImage& icon = FlagIcon();
  for (const WaypointMark& m : m_waypoints) {
    if (!area.contains(QPoint(m.x, m.y))) continue;
    painter.drawImage(QRect(m.x - scaled.x(), m.y - scaled.y() + dy - h, w, h), icon);
  }
  painter.restore();
}

void TrekOverlay::DrawTrackLines(QPainter& painter, const QRect& region, double sx, double r, int dy) const {
  const QRect scaled = ScaleRegion(region, r);
  drawLines(painter, scaled, QPoint(scaled.x(), scaled.y() - dy), trunc32(2.0 * sx));
}

std::vector<STrekLabel> TrekOverlay::PrintLabels(const QRect& region, double r, int dy, int kind,
                                                 const TrekLabelMeasure& measure) const {
  const QRect scaled = ScaleRegion(region, r);
  if (kind == kTrekWaypoint) {
    const int reach = trunc32(16.0 * r);
    return waypointLabels(scaled.adjusted(-reach, -reach, reach, reach), scaled, reach, QPoint(0, dy), measure);
  }
  if (kind == kTrekTrackLog) return trackLabels(scaled, QPoint(0, dy), measure);
  return {};
}

void TrekOverlay::DrawLabels(QPainter& painter, const QRect& region, double sx, double sy, double r, int dy,
                             int kind) const {
  (void)sx;  // the character height follows the vertical factor only
  painter.save();
  const QFont font = LabelFont(trunc32(9.0 * sy));
  painter.setFont(font);
  const QFontMetrics metrics(font, painter.device());
  DrawLabelBoxes(painter, PrintLabels(region, r, dy, kind, measureWith(metrics)), true);
  painter.restore();
}

// ---- resources

const QImage& TrekOverlay::FlagIcon() {
  static const QImage icon = [] {
    QImage image(kIconWidth, kIconHeight, QImage::Format_ARGB32);
    for (int y = 0; y < kIconHeight; ++y) {
      const std::string_view row = kFlagRows[y];
      for (int x = 0; x < kIconWidth; ++x) {
        image.setPixel(x, y, flagColour(x < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(x)] : '.'));
      }
    }
    return image;
  }();
  return icon;
}

QFont TrekOverlay::LabelFont(int pixels) {
  QFont font(QStringLiteral("ＭＳ　Ｐゴシック"));
  font.setPixelSize(std::max(pixels, 1));
  font.setWeight(QFont::Normal);
  font.setStyleStrategy(QFont::PreferQuality);
  return font;
}

QColor TrekOverlay::Colour(std::uint32_t colorref) {
  return QColor(static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
                static_cast<int>((colorref >> 16) & 0xFF));
}
