#include "display/TrekHitArea.h"

#include <cmath>
#include <utility>

namespace trek_overlay {

std::int32_t clampCoordinate(std::int32_t v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); }

SSegmentQuad SegmentQuad(QPoint a, QPoint b) {
  // The end with the smaller x comes first; for equal x the segment's own order is kept.
  if (b.x() < a.x()) std::swap(a, b);
  const int x1 = a.x(), y1 = a.y(), x2 = b.x(), y2 = b.y();
  const int dx = std::abs(x2 - x1);
  const int dy = std::abs(y2 - y1);
  int h = 0;  // offset along the segment
  int l = 0;  // offset across it
  if (dx == 0) {
    l = kHitHalfWidth;
  } else if (dy == 0) {
    h = kHitHalfWidth;
  } else {
    const double theta = std::atan(static_cast<double>(dy) / static_cast<double>(dx));
    h = static_cast<int>(kHitHalfWidth * std::cos(theta));
    l = static_cast<int>(kHitHalfWidth * std::sin(theta));
  }
  if (y2 >= y1) {
    return {{QPoint(x1 - h - l, y1 + h - l), QPoint(x2 + h - l, y2 + l + h), QPoint(x2 + h + l, y2 + l - h),
             QPoint(x1 + l - h, y1 - l - h)}};
  }
  return {{QPoint(x1 + l - h, y1 + l + h), QPoint(x2 + h + l, y2 - l + h), QPoint(x2 + h - l, y2 - l - h),
           QPoint(x1 - h - l, y1 + l - h)}};
}

bool QuadContains(const SSegmentQuad& quad, QPoint p) {
  const auto& c = quad.corners;
  std::int64_t area2 = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const QPoint& u = c[i];
    const QPoint& v = c[(i + 1) % 4];
    area2 += std::int64_t{u.x()} * v.y() - std::int64_t{v.x()} * u.y();
  }
  if (area2 == 0) return false;
  const std::int64_t orientation = area2 > 0 ? 1 : -1;
  for (std::size_t i = 0; i < 4; ++i) {
    const QPoint& from = c[i];
    const QPoint& to = c[(i + 1) % 4];
    const std::int64_t ex = std::int64_t{to.x()} - from.x();
    const std::int64_t ey = std::int64_t{to.y()} - from.y();
    // Positive on the interior side of the edge's line.
    const std::int64_t side =
        orientation * (ex * (std::int64_t{p.y()} - from.y()) - ey * (std::int64_t{p.x()} - from.x()));
    if (side > 0) continue;
    if (side < 0) return false;
    // On the edge's line: the pixel belongs to the area whose interior lies to its right,
    // or, for a horizontal edge, below it.
    const std::int64_t inwardX = -orientation * ey;
    const std::int64_t inwardY = orientation * ex;
    if (!(inwardX > 0 || (inwardX == 0 && inwardY > 0))) return false;
  }
  return true;
}

// ---- CTrackHitIndex ----

void CTrackHitIndex::SBox::add(std::int32_t x, std::int32_t y) {
  minX = std::min(minX, x);
  minY = std::min(minY, y);
  maxX = std::max(maxX, x);
  maxY = std::max(maxY, y);
}

bool CTrackHitIndex::SBox::meets(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                                 std::int64_t margin) const {
  return minX - margin <= x1 && maxX + margin >= x0 && minY - margin <= y1 && maxY + margin >= y0;
}

int CTrackHitIndex::leafLast(int leaf) const { return std::min(leaf * kLeafSegments + kLeafSegments, m_pointCount - 1); }

void CTrackHitIndex::Clear() {
  m_levels.clear();
  m_pointCount = 0;
}

void CTrackHitIndex::Build(std::span<const TrackMark> points) {
  Clear();
  if (points.empty()) return;
  m_pointCount = static_cast<int>(points.size());
  const int leaves = std::max(1, (m_pointCount - 1 + kLeafSegments - 1) / kLeafSegments);
  std::vector<SBox> level(static_cast<std::size_t>(leaves));
  for (int b = 0; b < leaves; ++b) {
    const int first = leafFirst(b);
    const int last = leafLast(b);
    const TrackMark& f = points[static_cast<std::size_t>(first)];
    SBox box{f.x, f.y, f.x, f.y};
    for (int i = first + 1; i <= last; ++i) box.add(points[static_cast<std::size_t>(i)].x, points[static_cast<std::size_t>(i)].y);
    level[static_cast<std::size_t>(b)] = box;
  }
  m_levels.push_back(std::move(level));
  while (m_levels.back().size() > 1) {
    const std::vector<SBox>& below = m_levels.back();
    std::vector<SBox> above((below.size() + kFanOut - 1) / kFanOut);
    for (std::size_t b = 0; b < above.size(); ++b) {
      const std::size_t first = b * kFanOut;
      const std::size_t last = std::min(first + kFanOut, below.size());
      SBox box = below[first];
      for (std::size_t i = first + 1; i < last; ++i) {
        box.add(below[i].minX, below[i].minY);
        box.add(below[i].maxX, below[i].maxY);
      }
      above[b] = box;
    }
    m_levels.push_back(std::move(above));
  }
}

bool CTrackHitIndex::HitSegments(std::span<const TrackMark> points, QPoint p) const {
  if (m_pointCount < 2 || static_cast<int>(points.size()) != m_pointCount) return false;
  const std::int32_t px = p.x();
  const std::int32_t py = p.y();
  return visitLeaves(px, py, px, py, kQuadReach, [&](int leaf) {
    const int last = leafLast(leaf);
    for (int k = leafFirst(leaf); k < last; ++k) {
      const TrackMark& a = points[static_cast<std::size_t>(k)];
      const TrackMark& b = points[static_cast<std::size_t>(k) + 1];
      if (std::int64_t{px} < std::int64_t{std::min(a.x, b.x)} - kQuadReach ||
          std::int64_t{px} > std::int64_t{std::max(a.x, b.x)} + kQuadReach ||
          std::int64_t{py} < std::int64_t{std::min(a.y, b.y)} - kQuadReach ||
          std::int64_t{py} > std::int64_t{std::max(a.y, b.y)} + kQuadReach)
        continue;
      if (QuadContains(SegmentQuad(QPoint(a.x, a.y), QPoint(b.x, b.y)), p)) return true;
    }
    return false;
  });
}

int CTrackHitIndex::HitPoint(std::span<const TrackMark> points, QPoint p) const {
  if (m_pointCount < 1 || static_cast<int>(points.size()) != m_pointCount) return -1;
  int found = -1;
  visitLeaves(p.x(), p.y(), p.x(), p.y(), 5, [&](int leaf) {
    const int last = leafLast(leaf);
    for (int i = leafFirst(leaf); i <= last; ++i) {
      if (points[static_cast<std::size_t>(i)].hitRect().contains(p)) {
        found = i;
        return true;
      }
    }
    return false;
  });
  return found;
}

void CTrackHitIndex::PointMoved(std::span<const TrackMark> points, int index) {
  if (index < 0 || index >= m_pointCount || static_cast<int>(points.size()) != m_pointCount) return;
  const TrackMark& m = points[static_cast<std::size_t>(index)];
  const int candidates[2] = {index / kLeafSegments, index / kLeafSegments - 1};
  for (const int leaf : candidates) {
    if (leaf < 0 || leaf >= leafCount() || index < leafFirst(leaf) || index > leafLast(leaf)) continue;
    int box = leaf;
    for (auto& level : m_levels) {
      level[static_cast<std::size_t>(box)].add(m.x, m.y);
      box /= kFanOut;
    }
  }
}

QRect CTrackHitIndex::Bounds() const {
  if (m_levels.empty()) return {};
  const SBox& b = m_levels.back().front();
  return QRect(QPoint(b.minX, b.minY), QPoint(b.maxX, b.maxY));
}

}  // namespace trek_overlay
