// Elevation profile: plotted points over distance and time, thinning for the screen, lookups from
// the plot, and the statistics kept between uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "trek/CTrackLog.h"
#include "trek/ElevationProfile.h"
#include "trek/TrackStatsCache.h"

namespace {

using trek::EProfileAxis;
using trek::EProfileEmpty;
using trek::SProfilePoint;

constexpr double kNone = 1.0e25;  // receiver's "no altitude"
constexpr std::int32_t kT0 = 1'200'000'000;

// A point with a time and an altitude; the profile takes its distances from the caller.
CTrackPoint at(std::int32_t time, double altitude) {
  CTrackPoint p;
  p.time = TrekTime(time);
  p.altitude = altitude;
  return p;
}

std::vector<double> evenDistances(std::size_t n, double step) {
  std::vector<double> d(n);
  for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<double>(i) * step;
  return d;
}

// Plotted points as (track index, gap before) pairs.
std::vector<std::pair<std::size_t, bool>> shape(const std::vector<SProfilePoint>& points) {
  std::vector<std::pair<std::size_t, bool>> out;
  for (const auto& p : points) out.emplace_back(p.index, p.gapBefore);
  return out;
}

TEST(ElevationProfile, PlottedPointsGapsAndEmptyStates) {
  const struct {
    const char* name;
    std::vector<CTrackPoint> points;
    EProfileAxis axis;
    EProfileEmpty empty;
    std::vector<std::pair<std::size_t, bool>> plotted;
  } cases[] = {
      {"no points", {}, EProfileAxis::Distance, EProfileEmpty::NoPoints, {}},
      {"no altitude anywhere", {at(kT0, kNone), at(kT0 + 1, NAN)}, EProfileAxis::Distance, EProfileEmpty::NoAltitude, {}},
      {"no altitude, over time", {at(kT0, kNone)}, EProfileAxis::Time, EProfileEmpty::NoAltitude, {}},
      {"altitudes without times, over time", {at(-1, 100), at(-1, 120)}, EProfileAxis::Time, EProfileEmpty::NoTime, {}},
      {"altitudes without times, over distance", {at(-1, 100), at(-1, 120)}, EProfileAxis::Distance, EProfileEmpty::None,
       {{0, false}, {1, false}}},
      {"missing altitude breaks the line",
       {at(kT0, 100), at(kT0 + 1, kNone), at(kT0 + 2, kNone), at(kT0 + 3, 130), at(kT0 + 4, 140)},
       EProfileAxis::Distance, EProfileEmpty::None, {{0, false}, {3, true}, {4, false}}},
      {"leading points without altitude are no break", {at(kT0, kNone), at(kT0 + 1, 100), at(kT0 + 2, 110)},
       EProfileAxis::Distance, EProfileEmpty::None, {{1, false}, {2, false}}},
      {"over time a point without time breaks the line", {at(kT0, 100), at(-1, 105), at(kT0 + 2, 110)},
       EProfileAxis::Time, EProfileEmpty::None, {{0, false}, {2, true}}},
      {"over time a clock running back is left out", {at(kT0, 100), at(kT0 + 10, 105), at(kT0 + 5, 107), at(kT0 + 20, 110)},
       EProfileAxis::Time, EProfileEmpty::None, {{0, false}, {1, false}, {3, true}}},
      {"over time equal times stay", {at(kT0, 100), at(kT0, 101)}, EProfileAxis::Time, EProfileEmpty::None,
       {{0, false}, {1, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> d = evenDistances(c.points.size(), 10.0);
    const trek::SElevationProfile p = trek::buildElevationProfile(c.points, d, c.axis);
    EXPECT_EQ(p.empty, c.empty);
    EXPECT_EQ(shape(p.points), c.plotted);
  }
}

TEST(ElevationProfile, AxisRangesAndValues) {
  const std::vector<CTrackPoint> points = {at(kT0 + 60, kNone), at(kT0 + 120, 850.5), at(kT0 + 180, 1020.0),
                                           at(kT0 + 240, 990.0), at(kT0 + 300, kNone)};
  const std::vector<double> d = {0.0, 250.0, 700.0, 1100.0, 1500.0};

  const trek::SElevationProfile byDistance = trek::buildElevationProfile(points, d, EProfileAxis::Distance);
  // Along the way the axis spans the whole walk, stretches without altitude included.
  EXPECT_EQ(byDistance.xMin, 0.0);
  EXPECT_EQ(byDistance.xMax, 1500.0);
  EXPECT_EQ(byDistance.lengthMetres, 1500.0);
  EXPECT_EQ(byDistance.altitudeMin, 850.5);
  EXPECT_EQ(byDistance.altitudeMax, 1020.0);
  ASSERT_EQ(byDistance.points.size(), 3u);
  EXPECT_EQ(byDistance.points[1], (SProfilePoint{700.0, 1020.0, 2, false}));

  const trek::SElevationProfile byTime = trek::buildElevationProfile(points, d, EProfileAxis::Time);
  EXPECT_EQ(byTime.xMin, kT0 + 120.0);
  EXPECT_EQ(byTime.xMax, kT0 + 240.0);
  EXPECT_EQ(byTime.points[2], (SProfilePoint{kT0 + 240.0, 990.0, 3, false}));
}

// A log of `n` points whose altitude follows a wave with one spike up and one spike down.
std::vector<SProfilePoint> wave(std::size_t n, std::size_t spikeUp, std::size_t spikeDown) {
  std::vector<SProfilePoint> v(n);
  for (std::size_t i = 0; i < n; ++i) {
    double alt = 1000.0 + 200.0 * std::sin(static_cast<double>(i) / 5000.0) + static_cast<double>(i % 7);
    if (i == spikeUp) alt = 2500.0;
    if (i == spikeDown) alt = 10.0;
    v[i] = SProfilePoint{static_cast<double>(i) * 3.0, alt, i, false};
  }
  return v;
}

TEST(ElevationProfile, ThinningKeepsExtremesWithinFourPointsPerColumn) {
  const struct {
    const char* name;
    std::size_t n;
    int columns;
  } cases[] = {
      {"100,000 points on 800 columns", 100'000, 800},
      {"100,000 points on one column", 100'000, 1},
      {"1,000 points on 997 columns", 1'000, 997},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<SProfilePoint> all = wave(c.n, c.n / 3, c.n / 3 + 17);
    const auto out = trek::decimateProfile(all, all.front().x, all.back().x, c.columns);
    EXPECT_LE(out.size(), static_cast<std::size_t>(c.columns) * 4);
    EXPECT_EQ(out.front().index, 0u);
    EXPECT_EQ(out.back().index, c.n - 1);
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](auto& a, auto& b) { return a.index < b.index; }));
    // The highest and lowest point of every column survive, the spikes among them.
    const double width = all.back().x - all.front().x;
    std::vector<double> lo(static_cast<std::size_t>(c.columns), 1e9), hi(static_cast<std::size_t>(c.columns), -1e9);
    std::vector<double> keptLo = lo, keptHi = hi;
    const auto column = [&](double x) {
      return std::min(c.columns - 1, static_cast<int>(std::floor(x / width * c.columns)));
    };
    for (const auto& p : all) {
      auto k = static_cast<std::size_t>(column(p.x));
      lo[k] = std::min(lo[k], p.altitude);
      hi[k] = std::max(hi[k], p.altitude);
    }
    for (const auto& p : out) {
      auto k = static_cast<std::size_t>(column(p.x));
      keptLo[k] = std::min(keptLo[k], p.altitude);
      keptHi[k] = std::max(keptHi[k], p.altitude);
    }
    EXPECT_EQ(keptLo, lo);
    EXPECT_EQ(keptHi, hi);
  }
  // Few points pass unchanged.
  const std::vector<SProfilePoint> few = wave(50, 10, 20);
  EXPECT_EQ(trek::decimateProfile(few, 0.0, few.back().x, 800), few);
}

TEST(ElevationProfile, ThinningKeepsOnlyVisibleBreaks) {
  // 10,000 points 1 m apart on 100 columns (100 m each).
  std::vector<SProfilePoint> all = wave(10'000, 1, 2);
  for (auto& p : all) p.x = static_cast<double>(p.index);
  const struct {
    const char* name;
    std::size_t from, to;  // points [from, to) have no altitude: removed, the next one breaks
    bool kept;
  } cases[] = {
      {"a break 300 m wide", 4'000, 4'300, true},
      {"a break 2 m wide", 4'000, 4'001, false},
      {"a break 150 m wide across two columns", 5'050, 5'199, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<SProfilePoint> plotted;
    for (const auto& p : all) {
      if (p.index >= c.from && p.index < c.to) continue;
      plotted.push_back(p);
      plotted.back().gapBefore = p.index == c.to;
    }
    const auto out = trek::decimateProfile(plotted, 0.0, 9'999.0, 100);
    const auto breaks = std::count_if(out.begin(), out.end(), [](auto& p) { return p.gapBefore; });
    EXPECT_EQ(breaks, c.kept ? 1 : 0);
    if (c.kept) {
      const auto it = std::find_if(out.begin(), out.end(), [](auto& p) { return p.gapBefore; });
      EXPECT_EQ(it->index, c.to);
      EXPECT_EQ(std::prev(it)->index, c.from - 1);
    }
  }
}

TEST(ElevationProfile, LookupsFromThePlot) {
  const std::vector<SProfilePoint> pts = {
      {0.0, 100, 0, false}, {10.0, 110, 2, false}, {10.0, 111, 3, false}, {30.0, 120, 5, false}, {60.0, 90, 9, true}};
  const struct {
    const char* name;
    double x;
    std::size_t nearest;
  } nearest[] = {
      {"before the start", -50.0, 0}, {"on the first", 0.0, 0},     {"nearer the first", 4.9, 0},
      {"half way: the earlier", 5.0, 0}, {"shared x: the first of them", 10.0, 1}, {"just past shared x", 12.0, 1},
      {"nearer the later", 21.0, 3}, {"beyond the end", 1e9, 4},
  };
  for (const auto& c : nearest) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(trek::nearestProfilePoint(pts, c.x), c.nearest);
  }
  EXPECT_EQ(trek::nearestProfilePoint({}, 3.0), std::nullopt);

  const struct {
    const char* name;
    double x0, x1;
    std::optional<trek::SProfileRange> range;
  } ranges[] = {
      {"ends near points", 8.0, 33.0, trek::SProfileRange{2, 5}},
      {"dragged leftwards", 33.0, 8.0, trek::SProfileRange{2, 5}},
      {"beyond both ends", -1.0, 100.0, trek::SProfileRange{0, 9}},
      {"ends on points", 10.0, 30.0, trek::SProfileRange{2, 5}},
      {"within one point's reach", 28.0, 31.0, trek::SProfileRange{5, 5}},
  };
  for (const auto& c : ranges) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(trek::profileRange(pts, c.x0, c.x1), c.range);
  }
  EXPECT_EQ(trek::profileRange({}, 0.0, 1.0), std::nullopt);
}

TEST(TrackStatsCache, ComputesOncePerLogUntilItChanges) {
  CTrackLog a, b;
  for (int i = 0; i < 3; ++i) {
    CTrackPoint p = at(kT0 + i * 10, 100.0 + i * 10);
    p.latitude = DmsAngle::FromDegrees(36.0 + i * 0.001);
    p.longitude = DmsAngle::FromDegrees(139.0);
    a.AppendPoint(p);
    b.AppendPoint(p);
  }
  trek::CTrackStatsCache cache;
  const trek::STrackStatsOptions options;
  const double length = cache.Get(a, options).lengthMetres;
  EXPECT_GT(length, 200.0);
  const struct {
    const char* name;
    std::function<void()> step;
    std::size_t computations;
  } steps[] = {
      {"the same log again", [&] { (void)cache.Get(a, options); }, 1},
      {"another log", [&] { (void)cache.Get(b, options); }, 2},
      {"both again", [&] { (void)cache.Get(a, options), (void)cache.Get(b, options); }, 2},
      {"another pause threshold", [&] { (void)cache.Get(a, trek::STrackStatsOptions{10}); }, 3},
      {"a point appended", [&] { a.AppendPoint(a.Points().back()), (void)cache.Get(a, trek::STrackStatsOptions{10}); }, 4},
      {"invalidated", [&] { cache.Invalidate(), (void)cache.Get(b, options); }, 5},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    s.step();
    EXPECT_EQ(cache.computations(), s.computations);
  }
  // An edit in place is seen after Invalidate(), as the windows do on every change of the data.
  a.Points()[1].altitude = 500.0;
  cache.Invalidate();
  EXPECT_EQ(cache.Get(a, trek::STrackStatsOptions{10}).highest->altitude, 500.0);
}

}  // namespace
