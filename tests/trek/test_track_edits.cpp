// Track log edits over shaped logs: split at either end and inside, join out of time order,
// range deletion at the ends, reversal, and thinning's error bound with its kept end points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "trek/TrackEdits.h"

using trek::ETrackEditError;

namespace {

// A log of `n` points walking east along 35°N, `stepSeconds` of longitude apart; point i is
// lifted north by `bump(i)` seconds of latitude. Numbers start at `firstNumber`.
CTrackLog shapedLog(int n, double stepSeconds, double (*bump)(int), std::int32_t firstNumber = 0,
                    std::int32_t firstTime = 1000) {
  CTrackLog log;
  log.name = "Walk";
  log.gpsName = "WALK";
  log.color = 3;
  for (int i = 0; i < n; ++i) {
    CTrackPoint p;
    p.number = firstNumber + i;
    p.altitude = 500.0 + i;
    p.time = TrekTime(firstTime < 0 ? -1 : firstTime + 10 * i);
    p.SetPosition(DmsAngle::FromDegrees(35.0 + (bump ? bump(i) : 0.0) / 3600.0),
                  DmsAngle::FromDegrees(139.0 + i * stepSeconds / 3600.0), Datum::Wgs84);
    log.AppendPoint(p);
  }
  return log;
}

double flat(int) { return 0.0; }
double zigzag(int i) { return (i % 2) ? 1.0 : 0.0; }  // about 31 m north on every other point
double tent(int i) { return 10.0 - 2.0 * std::abs(i - 5); }  // up to about 309 m and down again

std::vector<std::int32_t> numbers(const CTrackLog& log) {
  std::vector<std::int32_t> out;
  for (const auto& p : log.Points()) out.push_back(p.number);
  return out;
}

std::vector<double> altitudes(const CTrackLog& log) {
  std::vector<double> out;
  for (const auto& p : log.Points()) out.push_back(p.altitude);
  return out;
}

TEST(TrackEdits, SplitAtTheFirstMiddleAndLastPoint) {
  const struct {
    const char* name;
    std::size_t at;
    ETrackEditError error;
    std::size_t firstCount, secondCount;
  } kCases[] = {
      {"first point", 0, ETrackEditError::SplitAtEnd, 6, 0},
      {"second point", 1, ETrackEditError::None, 2, 5},
      {"middle", 3, ETrackEditError::None, 4, 3},
      {"one before last", 4, ETrackEditError::None, 5, 2},
      {"last point", 5, ETrackEditError::SplitAtEnd, 6, 0},
      {"beyond", 6, ETrackEditError::NoSuchPoint, 6, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CTrackLog log = shapedLog(6, 10.0, flat, 7);
    const CTrackLog before = log;
    trek::SSplitResult r = trek::SplitTrackLog(log, c.at);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(log.Points().size(), c.firstCount);
    if (c.error != ETrackEditError::None) {
      EXPECT_EQ(log, before);
      EXPECT_FALSE(r.second);
      continue;
    }
    ASSERT_TRUE(r.second);
    EXPECT_EQ(r.second->Points().size(), c.secondCount);
    // The split point ends the first log and starts the second.
    EXPECT_EQ(log.Points().back().latitude.ToDegrees(), r.second->Points().front().latitude.ToDegrees());
    EXPECT_EQ(log.Points().back().time, before.Points()[c.at].time);
    EXPECT_EQ(r.second->Points().front().time, before.Points()[c.at].time);
    EXPECT_EQ(r.second->Points().front().number, 0);
    EXPECT_EQ(r.second->Points().back().number, static_cast<std::int32_t>(c.secondCount - 1));
    EXPECT_EQ(log.Points().front().number, 7);  // the first part keeps its numbers
    EXPECT_EQ(r.second->name, "Walk (2)");
    EXPECT_EQ(r.second->gpsName, "WALK");
    EXPECT_EQ(r.second->color, 3);
  }
}

TEST(TrackEdits, JoinOrdersByFirstTimeOrAsGiven) {
  CTrackLog late = shapedLog(2, 10.0, flat, 0, 5000);
  late.name = "late";
  CTrackLog early = shapedLog(3, 10.0, flat, 0, 1000);
  early.name = "early";
  CTrackLog untimed = shapedLog(1, 10.0, flat, 0, -1);
  untimed.name = "untimed";
  CTrackLog middle = shapedLog(2, 10.0, flat, 0, 3000);
  middle.name = "middle";
  // The first point has no time, a later one does: the first time found counts.
  middle.Points()[0].time = TrekTime(-1);
  const std::vector<const CTrackLog*> logs = {&late, &untimed, &early, &middle};
  const struct {
    const char* name;
    trek::EJoinOrder order;
    std::vector<std::size_t> want;
  } kCases[] = {
      {"by time, untimed last", trek::EJoinOrder::ByTime, {2, 3, 0, 1}},
      {"as given", trek::EJoinOrder::AsGiven, {0, 1, 2, 3}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto order = trek::JoinOrder(logs, c.order);
    EXPECT_EQ(order, c.want);
    const CTrackLog joined = trek::JoinTrackLogs(logs, order);
    EXPECT_EQ(joined.Points().size(), 8u);
    EXPECT_EQ(joined.name, logs[c.want[0]]->name);
    EXPECT_EQ(numbers(joined), (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  }
  EXPECT_EQ(trek::CheckJoin(std::vector<const CTrackLog*>{&late}), ETrackEditError::TooFewLogs);
  EXPECT_EQ(trek::CheckJoin(std::vector<const CTrackLog*>{&late, &early, &late}), ETrackEditError::SameLogTwice);
  EXPECT_EQ(trek::CheckJoin(logs), ETrackEditError::None);
}

TEST(TrackEdits, DeleteRangesAtTheEndsAndInside) {
  const struct {
    const char* name;
    std::size_t from, to;
    ETrackEditError error;
    std::vector<double> altitudes;
    std::vector<std::int32_t> numbers;
  } kCases[] = {
      {"head", 0, 1, ETrackEditError::None, {502, 503, 504, 505}, {0, 1, 2, 3}},
      {"tail", 3, 5, ETrackEditError::None, {500, 501, 502}, {0, 1, 2}},
      {"one point inside", 2, 2, ETrackEditError::None, {500, 501, 503, 504, 505}, {0, 1, 2, 3, 4}},
      {"inside", 1, 4, ETrackEditError::None, {500, 505}, {0, 1}},
      {"every point", 0, 5, ETrackEditError::WholeLog, {500, 501, 502, 503, 504, 505}, {0, 1, 2, 3, 4, 5}},
      {"reversed range", 3, 2, ETrackEditError::EmptyRange, {500, 501, 502, 503, 504, 505}, {0, 1, 2, 3, 4, 5}},
      {"beyond", 4, 6, ETrackEditError::NoSuchPoint, {500, 501, 502, 503, 504, 505}, {0, 1, 2, 3, 4, 5}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CTrackLog log = shapedLog(6, 10.0, flat);
    EXPECT_EQ(trek::DeleteTrackPoints(log, c.from, c.to), c.error);
    EXPECT_EQ(altitudes(log), c.altitudes);
    EXPECT_EQ(numbers(log), c.numbers);
  }
  // Numbers at the bottom of their range stay there instead of wrapping.
  CTrackLog low = shapedLog(4, 10.0, flat, std::numeric_limits<std::int32_t>::min());
  ASSERT_EQ(trek::DeleteTrackPoints(low, 0, 1), ETrackEditError::None);
  EXPECT_EQ(numbers(low), (std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::min() + 1}));
}

TEST(TrackEdits, ReverseTwiceGivesThePointsBackRenumbered) {
  CTrackLog log = shapedLog(5, 10.0, zigzag, 40);
  const CTrackLog before = log;
  trek::ReverseTrackLog(log);
  EXPECT_EQ(altitudes(log), (std::vector<double>{504, 503, 502, 501, 500}));
  EXPECT_EQ(numbers(log), (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
  trek::ReverseTrackLog(log);
  EXPECT_EQ(altitudes(log), altitudes(before));
}

// Largest distance of any point from the polyline of the kept ones, measured here independently
// with the same ground plane: the bound the plan reports must hold.
double measuredError(const CTrackLog& log, const std::vector<std::size_t>& kept) {
  const auto xy = [&](std::size_t i) {
    const double rad = 3.14159265358979323846 / 180.0;
    const auto& p = log.Points()[i];
    return std::pair<double, double>{p.longitude.ToDegrees() * rad * 6371008.8 * std::cos(35.0 * rad),
                                     p.latitude.ToDegrees() * rad * 6371008.8};
  };
  double worst = 0.0;
  for (std::size_t k = 0; k + 1 < kept.size(); ++k) {
    const auto [ax, ay] = xy(kept[k]);
    const auto [bx, by] = xy(kept[k + 1]);
    for (std::size_t i = kept[k] + 1; i < kept[k + 1]; ++i) {
      const auto [px, py] = xy(i);
      const double dx = bx - ax, dy = by - ay;
      const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
      worst = std::max(worst, std::hypot(px - ax - t * dx, py - ay - t * dy));
    }
  }
  return worst;
}

TEST(TrackEdits, ThinningKeepsTheEndsAndHoldsItsErrorBound) {
  const struct {
    const char* name;
    int points;
    double (*shape)(int);
    std::optional<std::size_t> count;
    double tolerance;
    std::size_t wantKept;       // exact where the shape decides it
    double wantErrorAtMost;     // the reported bound
  } kCases[] = {
      {"straight line to 2 points", 20, flat, 5u, 0.0, 2, 0.001},
      {"straight line by tolerance", 20, flat, std::nullopt, 0.5, 2, 0.001},
      {"tent by tolerance 1 m", 11, tent, std::nullopt, 1.0, 3, 0.001},
      {"tent to 2 points", 11, tent, 2u, 0.0, 2, 310.0},
      {"zigzag to 10 points", 40, zigzag, 10u, 0.0, 10, 31.0},
      {"zigzag, tolerance above its height", 40, zigzag, std::nullopt, 40.0, 2, 40.0},
      {"zigzag, tolerance below its height", 40, zigzag, std::nullopt, 10.0, 40, 0.0},
      {"more points asked than there are", 5, zigzag, 50u, 0.0, 5, 0.0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CTrackLog log = shapedLog(c.points, 10.0, c.shape, 100);
    const trek::SThinPlan plan = c.count ? trek::PlanThinToCount(log.Points(), *c.count)
                                         : trek::PlanThinToTolerance(log.Points(), c.tolerance);
    ASSERT_EQ(plan.error, ETrackEditError::None);
    EXPECT_EQ(plan.kept.size(), c.wantKept);
    ASSERT_GE(plan.kept.size(), 2u);
    EXPECT_EQ(plan.kept.front(), 0u);
    EXPECT_EQ(plan.kept.back(), std::size_t(c.points - 1));
    EXPECT_LE(plan.maxErrorMetres, c.wantErrorAtMost);
    if (!c.count) {
      EXPECT_LE(plan.maxErrorMetres, c.tolerance);
    }
    EXPECT_NEAR(measuredError(log, plan.kept), plan.maxErrorMetres, 0.05);
    trek::ApplyThin(log, plan);
    EXPECT_EQ(log.Points().size(), plan.kept.size());
    EXPECT_EQ(log.Points().front().altitude, 500.0);
    EXPECT_EQ(log.Points().back().altitude, 500.0 + c.points - 1);
    // Numbers close up as deleting points does.
    for (std::size_t i = 0; i < log.Points().size(); ++i) EXPECT_EQ(log.Points()[i].number, 100 + std::int32_t(i));
  }
}

TEST(TrackEdits, ThinningRefusesTargetsThatMeanNothing) {
  const CTrackLog log = shapedLog(10, 10.0, zigzag);
  EXPECT_EQ(trek::PlanThinToCount(log.Points(), 1).error, ETrackEditError::BadThinTarget);
  EXPECT_EQ(trek::PlanThinToCount(log.Points(), 0).error, ETrackEditError::BadThinTarget);
  EXPECT_EQ(trek::PlanThinToTolerance(log.Points(), -1.0).error, ETrackEditError::BadThinTarget);
  EXPECT_EQ(trek::PlanThinToTolerance(log.Points(), std::nan("")).error, ETrackEditError::BadThinTarget);
  EXPECT_EQ(trek::PlanThinToTolerance(log.Points(), HUGE_VAL).error, ETrackEditError::BadThinTarget);
  // One point and no point at all are left as they are.
  const CTrackLog one = shapedLog(1, 10.0, flat);
  EXPECT_EQ(trek::PlanThinToCount(one.Points(), 2).kept, (std::vector<std::size_t>{0}));
  EXPECT_TRUE(trek::PlanThinToCount(std::span<const CTrackPoint>{}, 2).kept.empty());
}

}  // namespace
