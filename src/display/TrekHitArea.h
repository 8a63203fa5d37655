#pragma once
// Hit geometry of a track log on the map: the widened quadrilateral of each segment, the
// pixel rule that decides which pixels it covers, and a box hierarchy over the segments in
// track order that answers "is this pixel on the line" without scanning every segment.
#include <QPoint>
#include <QRect>
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

/// A track point in map pixels at the overlay's ratio. The point's identity is its index in
/// the track log, which is also its index among the marks.
struct TrackMark {
  std::int32_t x = 0;
  std::int32_t y = 0;
  /// (x - 5, y - 5) to (x + 5, y + 5), right and bottom edges excluded.
  [[nodiscard]] QRect hitRect() const { return QRect(x - 5, y - 5, 10, 10); }
  bool operator==(const TrackMark&) const = default;
};

namespace trek_overlay {

/// Cached pixel positions are held within +-kCoordinateLimit so that every product of the hit
/// arithmetic fits 64 bits. Only nonsense positions (tens of thousands of sheets away) are cut.
inline constexpr std::int32_t kCoordinateLimit = 1 << 28;
[[nodiscard]] std::int32_t clampCoordinate(std::int32_t v);

/// Half the width of a track log's hit band, which also extends beyond both ends of a segment.
inline constexpr int kHitHalfWidth = 7;
/// No vertex of a segment's quadrilateral lies further than this from the nearer end, in x or y.
inline constexpr int kQuadReach = 9;

/// The hit quadrilateral of one segment, a convex parallelogram with integer corners.
struct SSegmentQuad {
  std::array<QPoint, 4> corners;
  bool operator==(const SSegmentQuad&) const = default;
};

/// Quadrilateral of the segment from `a` (point k) to `b` (point k + 1): the segment widened by
/// 7 pixels on each side and extended by 7 pixels beyond both ends, with the offsets along and
/// across it truncated to whole pixels. A zero-length segment gives a 14 x 14 square.
[[nodiscard]] SSegmentQuad SegmentQuad(QPoint a, QPoint b);

/// Whether the quadrilateral covers pixel `p`: the pixel's point lies inside, or on an edge
/// whose interior lies to its right (a left edge) or below it (a top edge). Pixels on right and
/// bottom edges belong to the neighbouring area, so a 14 x 14 square covers 14 x 14 pixels.
[[nodiscard]] bool QuadContains(const SSegmentQuad& quad, QPoint p);

/// Boxes over consecutive track points: leaves of kLeafSegments segments, each level above
/// grouping kFanOut boxes of the level below. Tracks are recorded as a walk, so neighbouring
/// segments lie together and a query opens only the boxes near the mouse.
class CTrackHitIndex {
 public:
  static constexpr int kLeafSegments = 16;
  static constexpr int kFanOut = 16;

  /// Indexes `points` (one box covers even a single point). An empty track clears the index.
  void Build(std::span<const TrackMark> points);
  void Clear();

  /// Whether `p` is covered by the quadrilateral of any segment (false below two points).
  [[nodiscard]] bool HitSegments(std::span<const TrackMark> points, QPoint p) const;
  /// The first point, in track order, whose hit rectangle holds `p`; -1 for none.
  [[nodiscard]] int HitPoint(std::span<const TrackMark> points, QPoint p) const;
  /// Grows the boxes holding point `index` to its current position (after it was moved).
  void PointMoved(std::span<const TrackMark> points, int index);
  /// Calls `visit(first, last)` for each run of consecutive points, in order, whose leaf box
  /// widened by `margin` meets `area`; a run covers the segments from `first` to `last`.
  template <class Visit>
  void ForEachLeafIn(const QRect& area, int margin, Visit&& visit) const;

  /// Bounding rectangle of every point, right and bottom edges excluded; empty when unbuilt.
  [[nodiscard]] QRect Bounds() const;

 private:
  struct SBox {
    std::int32_t minX, minY, maxX, maxY;
    void add(std::int32_t x, std::int32_t y);
    [[nodiscard]] bool meets(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                             std::int64_t margin) const;
  };
  /// Visits leaves meeting the inclusive query box in order; stops when `leaf` returns true.
  template <class Leaf>
  bool visitLeaves(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, std::int64_t margin,
                   Leaf&& leaf) const;
  [[nodiscard]] int leafCount() const { return m_levels.empty() ? 0 : static_cast<int>(m_levels[0].size()); }
  [[nodiscard]] int leafFirst(int leaf) const { return leaf * kLeafSegments; }
  [[nodiscard]] int leafLast(int leaf) const;

  std::vector<std::vector<SBox>> m_levels;  ///< [0]: leaves; back(): a single root box
  int m_pointCount = 0;
};

template <class Leaf>
bool CTrackHitIndex::visitLeaves(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                                 std::int64_t margin, Leaf&& leaf) const {
  if (m_levels.empty()) return false;
  // Depth-first in track order with an explicit stack of (level, box).
  struct SItem {
    int level;
    int box;
  };
  SItem stack[64 * kFanOut];
  int top = 0;
  const int root = static_cast<int>(m_levels.size()) - 1;
  for (int b = static_cast<int>(m_levels[static_cast<std::size_t>(root)].size()) - 1; b >= 0; --b)
    stack[top++] = {root, b};
  while (top > 0) {
    const SItem item = stack[--top];
    const SBox& box = m_levels[static_cast<std::size_t>(item.level)][static_cast<std::size_t>(item.box)];
    if (!box.meets(x0, y0, x1, y1, margin)) continue;
    if (item.level == 0) {
      if (leaf(item.box)) return true;
      continue;
    }
    const auto& below = m_levels[static_cast<std::size_t>(item.level - 1)];
    const int first = item.box * kFanOut;
    const int last = std::min(first + kFanOut, static_cast<int>(below.size())) - 1;
    for (int b = last; b >= first; --b) stack[top++] = {item.level - 1, b};
  }
  return false;
}

template <class Visit>
void CTrackHitIndex::ForEachLeafIn(const QRect& area, int margin, Visit&& visit) const {
  if (area.isEmpty()) return;
  // Consecutive leaves are merged into one run so that a caller drawing lines keeps its joins.
  int runFirst = -1;
  int runLast = -1;
  visitLeaves(area.left(), area.top(), area.right(), area.bottom(), margin, [&](int leaf) {
    const int first = leafFirst(leaf);
    const int last = leafLast(leaf);
    if (runFirst >= 0 && first == runLast) {
      runLast = last;
    } else {
      if (runFirst >= 0) visit(runFirst, runLast);
      runFirst = first;
      runLast = last;
    }
    return false;
  });
  if (runFirst >= 0) visit(runFirst, runLast);
}

}  // namespace trek_overlay
