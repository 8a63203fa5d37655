#include <gtest/gtest.h>

#include <QPoint>
#include <QRect>
#include <algorithm>
#include <random>
#include <vector>

#include "display/TrekHitArea.h"
#include "display/TrekOverlay.h"
#include "test_overlay_fixture.h"

namespace {

using overlay_test::CPixelSheet;
using trek_overlay::CTrackHitIndex;
using trek_overlay::QuadContains;
using trek_overlay::SegmentQuad;

// Reference: the pixels a polygon region holds, by scan lines. On scan line y an edge from
// (xa, ya) to (xb, yb) counts when min(ya, yb) <= y < max(ya, yb) and crosses at the exact x;
// crossings are paired left to right (alternate filling) and a pair fills ceil(x0) <= x < ceil(x1).
std::int64_t ceilDiv(std::int64_t num, std::int64_t den) {
  if (den < 0) {
    num = -num;
    den = -den;
  }
  return num >= 0 ? (num + den - 1) / den : -((-num) / den);
}

void rasterise(const trek_overlay::SSegmentQuad& quad, const QRect& window, std::vector<char>& covered) {
  for (int y = window.top(); y <= window.bottom(); ++y) {
    std::vector<std::int64_t> xs;
    for (std::size_t i = 0; i < 4; ++i) {
      const QPoint a = quad.corners[i];
      const QPoint b = quad.corners[(i + 1) % 4];
      if (a.y() == b.y()) continue;
      if (y < std::min(a.y(), b.y()) || y >= std::max(a.y(), b.y())) continue;
      xs.push_back(a.x() + ceilDiv(std::int64_t{y - a.y()} * (b.x() - a.x()), b.y() - a.y()));
    }
    std::sort(xs.begin(), xs.end());
    for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
      for (std::int64_t x = std::max<std::int64_t>(xs[k], window.left());
           x < std::min<std::int64_t>(xs[k + 1], window.right() + 1); ++x) {
        covered[static_cast<std::size_t>((y - window.top()) * window.width() + (x - window.left()))] = 1;
      }
    }
  }
}

std::vector<char> regionOf(const std::vector<TrackMark>& points, const QRect& window) {
  std::vector<char> covered(static_cast<std::size_t>(window.width() * window.height()), 0);
  for (std::size_t k = 0; k + 1 < points.size(); ++k) {
    rasterise(SegmentQuad(QPoint(points[k].x, points[k].y), QPoint(points[k + 1].x, points[k + 1].y)), window,
              covered);
  }
  return covered;
}

// Compares the index with the reference on every pixel of the window; returns the first mismatch.
::testing::AssertionResult sameAsRegion(const std::vector<TrackMark>& points, const CTrackHitIndex& index,
                                        const QRect& window) {
  const std::vector<char> want = regionOf(points, window);
  for (int y = window.top(); y <= window.bottom(); ++y) {
    for (int x = window.left(); x <= window.right(); ++x) {
      const bool expected = want[static_cast<std::size_t>((y - window.top()) * window.width() + (x - window.left()))];
      if (index.HitSegments(points, QPoint(x, y)) != expected) {
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") expected " << expected;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

QRect coveredBounds(const trek_overlay::SSegmentQuad& quad, const QRect& window) {
  QRect bounds;
  for (int y = window.top(); y <= window.bottom(); ++y)
    for (int x = window.left(); x <= window.right(); ++x)
      if (QuadContains(quad, QPoint(x, y))) bounds |= QRect(x, y, 1, 1);
  return bounds;
}

int coveredCount(const trek_overlay::SSegmentQuad& quad, const QRect& window) {
  int n = 0;
  for (int y = window.top(); y <= window.bottom(); ++y)
    for (int x = window.left(); x <= window.right(); ++x) n += QuadContains(quad, QPoint(x, y)) ? 1 : 0;
  return n;
}

TEST(SegmentHitArea, AxisSegmentsAreWidenedAndExtendedBySeven) {
  const struct {
    const char* name;
    QPoint a, b;
    QRect want;  // exactly the pixels covered
  } kCases[] = {
      {"zero length", {50, 50}, {50, 50}, QRect(43, 43, 14, 14)},
      {"vertical downwards", {50, 40}, {50, 60}, QRect(43, 33, 14, 34)},
      {"vertical upwards", {50, 60}, {50, 40}, QRect(43, 33, 14, 34)},
      {"horizontal rightwards", {40, 50}, {60, 50}, QRect(33, 43, 34, 14)},
      {"horizontal leftwards", {60, 50}, {40, 50}, QRect(33, 43, 34, 14)},
      {"one pixel down", {50, 50}, {50, 51}, QRect(43, 43, 14, 15)},
  };
  const QRect window(0, 0, 100, 100);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto quad = SegmentQuad(c.a, c.b);
    EXPECT_EQ(coveredBounds(quad, window), c.want);
    EXPECT_EQ(coveredCount(quad, window), c.want.width() * c.want.height());  // a full rectangle
  }
}

TEST(SegmentHitArea, DiagonalSegmentsDoNotDependOnDirection) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(20, 80);
  const QRect window(0, 0, 100, 100);
  for (int n = 0; n < 200; ++n) {
    const QPoint a(coord(rng), coord(rng));
    const QPoint b(coord(rng), coord(rng));
    SCOPED_TRACE(testing::Message() << "(" << a.x() << "," << a.y() << ")-(" << b.x() << "," << b.y() << ")");
    const auto forward = SegmentQuad(a, b);
    const auto backward = SegmentQuad(b, a);
    bool reachesBoth = QuadContains(forward, a) && QuadContains(forward, b);
    EXPECT_TRUE(reachesBoth);
    for (int y = 0; y < 100; ++y) {
      for (int x = 0; x < 100; ++x) {
        const QPoint p(x, y);
        ASSERT_EQ(QuadContains(forward, p), QuadContains(backward, p)) << x << "," << y;
        // Nothing further than the widened band reaches (7 * sqrt(2) < 10).
        if (QuadContains(forward, p)) {
          const double vx = b.x() - a.x(), vy = b.y() - a.y();
          const double len2 = vx * vx + vy * vy;
          const double t = len2 == 0 ? 0 : std::clamp(((x - a.x()) * vx + (y - a.y()) * vy) / len2, 0.0, 1.0);
          const double dx = x - (a.x() + t * vx), dy = y - (a.y() + t * vy);
          ASSERT_LT(dx * dx + dy * dy, 100.0) << x << "," << y;
        }
      }
    }
    (void)window;
  }
}

TEST(SegmentHitArea, IndexAnswersLikeTheRegionUnion) {
  const struct {
    const char* name;
    std::vector<TrackMark> points;
  } kCases[] = {
      {"single segment", {{30, 30}, {70, 55}}},
      {"repeated points", {{40, 40}, {40, 40}, {40, 40}, {60, 45}}},
      {"zigzag", {{10, 10}, {30, 80}, {50, 10}, {70, 80}, {90, 10}}},
      {"crossing itself", {{10, 50}, {90, 50}, {50, 10}, {50, 90}, {12, 12}}},
      {"steep and shallow", {{50, 0}, {51, 99}, {52, 0}, {99, 3}, {0, 4}}},
      {"leaves the window", {{-500, 30}, {50, 50}, {60, 2000}, {-3000, -4000}}},
      {"far ends at the limit", {{-(1 << 28), 40}, {50, 50}, {1 << 28, 1 << 28}}},
  };
  const QRect window(-10, -10, 120, 120);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CTrackHitIndex index;
    index.Build(c.points);
    EXPECT_TRUE(sameAsRegion(c.points, index, window));
  }
}

TEST(SegmentHitArea, RandomTracksAnswerLikeTheRegionUnion) {
  std::mt19937 rng(20261208);
  const QRect window(0, 0, 90, 90);
  for (int n = 0; n < 60; ++n) {
    // Walks of varied length and step, some with long jumps, so boxes span several leaves.
    std::uniform_int_distribution<int> count(2, 120);
    std::uniform_int_distribution<int> step(-(1 + n % 25), 1 + n % 25);
    std::vector<TrackMark> points(static_cast<std::size_t>(count(rng)));
    TrackMark at{45, 45};
    for (auto& p : points) {
      at.x = std::clamp(at.x + step(rng), -20, 110);
      at.y = std::clamp(at.y + step(rng), -20, 110);
      p = at;
    }
    SCOPED_TRACE(testing::Message() << "track " << n << " of " << points.size() << " points");
    CTrackHitIndex index;
    index.Build(points);
    ASSERT_TRUE(sameAsRegion(points, index, window));
  }
}

TEST(TrackHitIndex, MovedPointsStayFindable) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> coord(0, 400);
  std::vector<TrackMark> points(300);
  for (std::size_t i = 0; i < points.size(); ++i) points[i] = {static_cast<int>(i), 200 + static_cast<int>(i % 7)};
  CTrackHitIndex index;
  index.Build(points);
  // Move points across leaf boundaries (multiples of the leaf size included) far from their leaves.
  for (const int i : {0, 15, 16, 17, 32, 150, 298, 299}) {
    points[static_cast<std::size_t>(i)] = {coord(rng), coord(rng)};
    index.PointMoved(points, i);
  }
  std::uniform_int_distribution<int> probe(-10, 410);
  for (int n = 0; n < 3000; ++n) {
    const QPoint p(probe(rng), probe(rng));
    int first = -1;
    for (std::size_t i = 0; i < points.size() && first < 0; ++i)
      if (points[i].hitRect().contains(p)) first = static_cast<int>(i);
    ASSERT_EQ(index.HitPoint(points, p), first) << p.x() << "," << p.y();
  }
  EXPECT_TRUE(sameAsRegion(points, index, QRect(-10, -10, 420, 420)));
}

// ---- the overlay on a sheet

class OverlayHit : public ::testing::Test {
 protected:
  void SetUp() override {
    CTrekData& wps = m_sheet.addGroup(CTrekData::kWaypointGroup);
    m_sheet.addWaypoint(wps, "peak", {100, 100});    // hit box (96, 80) - (124, 104)
    m_sheet.addWaypoint(wps, "hut", {110, 100});     // overlaps the peak's box
    m_sheet.addWaypoint(wps, "outside", {-30, 50});  // west of the sheet
    CTrekData& tracks = m_sheet.addGroup(CTrekData::kTrackLogGroup);
    m_sheet.addTrack(tracks, "ridge", {{50, 95}, {110, 95}, {200, 95}});
    m_sheet.addTrack(tracks, "lone", {{300, 300}});
    m_sheet.addTrack(tracks, "around", {{-50, -50}, {4050, 3050}});  // crosses, never on the sheet
    m_sheet.addTrack(tracks, "returns", {{-100, 500}, {100, 500}, {-100, 600}, {100, 600}});
    m_overlay.Rebuild(m_sheet.groups(), m_sheet.frame());
  }
  CPixelSheet m_sheet;
  TrekOverlay m_overlay;
};

TEST_F(OverlayHit, CacheHoldsWhatTouchesTheSheet) {
  ASSERT_EQ(m_overlay.WaypointCount(), 2);
  EXPECT_EQ(m_overlay.Waypoint(0)->name, "peak");
  EXPECT_EQ(m_overlay.Waypoint(1)->name, "hut");
  EXPECT_EQ(m_overlay.Waypoint(0)->hit, QRect(QPoint(96, 80), QPoint(123, 103)));
  ASSERT_EQ(m_overlay.TrackCount(), 3);
  EXPECT_EQ(m_overlay.Track(0)->name, "ridge");
  EXPECT_EQ(m_overlay.Track(1)->name, "lone");
  EXPECT_FALSE(m_overlay.Track(1)->regionValid);
  EXPECT_EQ(m_overlay.Track(2)->name, "returns");
  EXPECT_EQ(m_overlay.Track(2)->points.size(), 4u);  // off-sheet points kept
  EXPECT_EQ(m_overlay.Track(2)->points[0], (TrackMark{-100, 500}));
  EXPECT_EQ(m_overlay.Track(2)->groupIndex, 1);
  EXPECT_EQ(m_overlay.HitTrack({2000, 1500}), -1);  // the line of "around" is not there

  // At another ratio every position scales.
  TrekOverlay half;
  half.Rebuild(m_sheet.groups(), m_sheet.frame(), 0.5);
  ASSERT_EQ(half.WaypointCount(), 2);
  EXPECT_EQ(half.Waypoint(0)->x, 50);
  EXPECT_EQ(half.Track(0)->points[2], (TrackMark{100, 47}));
}

TEST_F(OverlayHit, PriorityIsTrackPointThenWaypointThenTrackLog) {
  const struct {
    const char* name;
    QPoint at;
    STrekHitOptions options;
    STrekHit want;
  } kCases[] = {
      {"point of the selected track under a flag", {110, 95}, {true, true, 0}, {ETrekHitKind::TrackPoint, 1, 0, 1}},
      {"flag over the line", {110, 95}, {true, true, -1}, {ETrekHitKind::Waypoint, 0, 0, -1}},
      {"line under a hidden flag", {110, 95}, {false, true, -1}, {ETrekHitKind::TrackLog, 1, 0, -1}},
      {"hidden tracks: flag only", {110, 95}, {true, false, 0}, {ETrekHitKind::Waypoint, 0, 0, -1}},
      {"hidden tracks: no line", {150, 95}, {true, false, -1}, {}},
      {"line away from the flags", {150, 95}, {true, true, -1}, {ETrekHitKind::TrackLog, 1, 0, -1}},
      {"line end extension", {206, 101}, {true, true, -1}, {ETrekHitKind::TrackLog, 1, 0, -1}},
      {"beyond the extension", {207, 95}, {true, true, -1}, {}},
      {"earlier flag wins", {112, 85}, {true, true, -1}, {ETrekHitKind::Waypoint, 0, 0, -1}},
      {"only the later flag", {130, 85}, {true, true, -1}, {ETrekHitKind::Waypoint, 0, 1, -1}},
      {"last point of the selected track", {204, 99}, {true, true, 0}, {ETrekHitKind::TrackPoint, 1, 0, 2}},
      {"points of another track are not hit", {300, 300}, {true, true, 0}, {}},
      {"single point track: by its point", {300, 300}, {true, true, 1}, {ETrekHitKind::TrackPoint, 1, 1, 0}},
      {"re-entering track", {0, 550}, {true, true, -1}, {ETrekHitKind::TrackLog, 1, 2, -1}},
      {"nothing", {1000, 1000}, {true, true, 0}, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(m_overlay.HitTest(c.at, c.options), c.want);
  }
}

TEST_F(OverlayHit, SelectionAndEditingLookups) {
  const CTrekData& wps = *m_sheet.groups()[0];
  const CTrekData& tracks = *m_sheet.groups()[1];
  const struct {
    const char* name;
    STrekSelection selection;
    STrekOverlaySelection want;
  } kCases[] = {
      {"waypoint", {kTrekWaypoint, 0, wps.Waypoints()[1].get(), nullptr, -1}, {1, -1, -1}},
      {"waypoint off the sheet", {kTrekWaypoint, 0, wps.Waypoints()[2].get(), nullptr, -1}, {}},
      {"waypoint under another group", {kTrekWaypoint, 1, wps.Waypoints()[0].get(), nullptr, -1}, {}},
      {"track log", {kTrekTrackLog, 1, nullptr, tracks.TrackLogs()[3].get(), -1}, {-1, 2, -1}},
      {"track log never on the sheet", {kTrekTrackLog, 1, nullptr, tracks.TrackLogs()[2].get(), -1}, {}},
      {"track point", {kTrekTrackPoint, 1, nullptr, tracks.TrackLogs()[0].get(), 2}, {-1, 0, 2}},
      {"track point beyond the log", {kTrekTrackPoint, 1, nullptr, tracks.TrackLogs()[0].get(), 3}, {-1, 0, -1}},
      {"group", {kTrekWaypointGroup, 0, nullptr, nullptr, -1}, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(m_overlay.Locate(c.selection), c.want);
  }

  m_overlay.MoveTrackPoint(0, 1, 150, 400);
  EXPECT_EQ(m_overlay.HitTrackPoint(0, {152, 403}), 1);
  EXPECT_EQ(m_overlay.HitTrack({100, 247}), 0);  // the line area follows the moved point
  const int neighbours[] = {0, 1, 2, 3};  // 3 is clamped to the last point
  EXPECT_EQ(m_overlay.NeighbourBounds(0, neighbours), QRect(QPoint(45, 90), QPoint(204, 404)));
  EXPECT_TRUE(m_overlay.TrackRegion(0).contains(QRect(QPoint(41, 86), QPoint(208, 408))));
  EXPECT_TRUE(m_overlay.TrackRegion(1).isEmpty());
  m_overlay.MoveWaypoint(0, 500, 500);
  EXPECT_EQ(m_overlay.WaypointRect(0), QRect(QPoint(496, 480), QPoint(523, 503)));
  EXPECT_EQ(m_overlay.HitWaypoint({500, 490}), 0);
  EXPECT_TRUE(m_overlay.WaypointRect(7).isEmpty());
  EXPECT_TRUE(m_overlay.NeighbourBounds(9, neighbours).isEmpty());
}

}  // namespace
