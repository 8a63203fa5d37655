// Track statistics: geodesic lengths, times and pauses, climb with hysteresis, missing values.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "trek/CTrackLog.h"
#include "trek/TrackStatistics.h"

namespace {

constexpr double kA = 6378137.0;             // WGS-84 semi-major axis
constexpr double kF = 1.0 / 298.257223563;   // WGS-84 flattening
constexpr double kNone = 1.0e25;             // receiver's "no altitude"

// Meridian arc length between two latitudes, by Simpson's rule over the meridian's radius of
// curvature: an independent check of the geodesic library along a meridian.
double meridianArc(double lat1Deg, double lat2Deg) {
  const double e2 = kF * (2.0 - kF);
  const auto radius = [&](double phi) {
    const double s = std::sin(phi);
    return kA * (1.0 - e2) / std::pow(1.0 - e2 * s * s, 1.5);
  };
  const int n = 2000;
  const double p1 = lat1Deg * std::numbers::pi / 180.0, p2 = lat2Deg * std::numbers::pi / 180.0;
  const double h = (p2 - p1) / n;
  double sum = radius(p1) + radius(p2);
  for (int i = 1; i < n; ++i) sum += radius(p1 + i * h) * (i % 2 ? 4.0 : 2.0);
  return sum * h / 3.0;
}

CTrackPoint point(double latDeg, double lonDeg, std::int32_t time = -1, double altitude = kNone) {
  CTrackPoint p;
  p.latitude = DmsAngle::FromDegrees(latDeg);
  p.longitude = DmsAngle::FromDegrees(lonDeg);
  p.time = TrekTime(time);
  p.altitude = altitude;
  return p;
}

TEST(TrackStatistics, GeodesicLengths) {
  const double equatorDegree = kA * std::numbers::pi / 180.0;
  struct Case {
    const char* name;
    std::vector<CTrackPoint> points;
    double expected;
    double tolerance;
  };
  const std::vector<Case> cases = {
      // Against the integral of the meridian's curvature, to a millimetre.
      {"one degree of meridian at 36N", {point(35.5, 139.0), point(36.5, 139.0)}, meridianArc(35.5, 36.5), 1e-3},
      {"three points along the equator", {point(0, 0), point(0, 1), point(0, 3)}, 3.0 * equatorDegree, 1e-3},
      {"there and back", {point(0, 0), point(0, 1), point(0, 0)}, 2.0 * equatorDegree, 1e-3},
      {"equator then meridian", {point(0, 10), point(0, 11), point(1, 11)}, equatorDegree + meridianArc(0, 1), 1e-3},
      {"one point", {point(36, 139)}, 0.0, 0.0},
      {"repeated point", {point(36, 139), point(36, 139)}, 0.0, 0.0},
  };
  for (const auto& c : cases) {
    const auto st = trek::computeTrackStatistics(c.points);
    EXPECT_NEAR(st.lengthMetres, c.expected, c.tolerance) << c.name;
    EXPECT_EQ(st.pointCount, c.points.size()) << c.name;
  }
}

TEST(TrackStatistics, GeodesicLegBearing) {
  struct Case {
    double lat1, lon1, lat2, lon2, bearing;
  };
  const Case cases[] = {{0, 0, 1, 0, 0.0}, {0, 0, 0, 1, 90.0}, {1, 0, 0, 0, 180.0}, {0, 1, 0, 0, 270.0}};
  for (const auto& c : cases) {
    const auto leg = trek::geodesicLeg(c.lat1, c.lon1, c.lat2, c.lon2);
    EXPECT_NEAR(leg.bearingDegrees, c.bearing, 1e-9) << c.lat2 << "," << c.lon2;
    EXPECT_GT(leg.distanceMetres, 110000.0);
  }
}

TEST(TrackStatistics, TimesPausesAndSpeeds) {
  const double d1 = kA * std::numbers::pi / 180.0 * 0.01;  // 0.01 degree of equator, ~1113 m
  struct Case {
    const char* name;
    std::vector<CTrackPoint> points;
    std::int32_t pauseSeconds;
    std::optional<std::int64_t> total, moving;
    std::optional<double> average, movingSpeed;
  };
  const std::vector<Case> cases = {
      {"all moving", {point(0, 0, 1000), point(0, 0.01, 1600), point(0, 0.03, 2800)}, 3600, 1800, 1800,
       3 * d1 / 1800, 3 * d1 / 1800},
      {"long gap is a pause", {point(0, 0, 1000), point(0, 0.01, 1600), point(0, 0.03, 2800)}, 900, 1800, 600,
       3 * d1 / 1800, d1 / 600},
      {"standing still", {point(0, 0, 1000), point(0, 0.01, 1600), point(0, 0.01, 1660)}, 3600, 660, 600,
       d1 / 660, d1 / 600},
      {"no times", {point(0, 0), point(0, 0.01), point(0, 0.02)}, 60, std::nullopt, std::nullopt, std::nullopt,
       std::nullopt},
      {"one timed point", {point(0, 0, 1000), point(0, 0.01), point(0, 0.02)}, 60, std::nullopt, std::nullopt,
       std::nullopt, std::nullopt},
      // The untimed middle point lies inside the interval of its timed neighbours.
      {"untimed point inside", {point(0, 0, 1000), point(0, 0.01), point(0, 0.02, 1600)}, 3600, 600, 600,
       2 * d1 / 600, 2 * d1 / 600},
      // Only the stretch between the timed points counts toward the average speed.
      {"untimed ends", {point(0, 0), point(0, 0.01, 1000), point(0, 0.02, 1600), point(0, 0.05)}, 3600, 600, 600,
       d1 / 600, d1 / 600},
      {"clock running backwards", {point(0, 0, 2000), point(0, 0.01, 1000)}, 3600, std::nullopt, std::nullopt,
       std::nullopt, std::nullopt},
      {"same time twice", {point(0, 0, 1000), point(0, 0.01, 1000)}, 3600, 0, 0, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    trek::STrackStatsOptions options;
    options.pauseSeconds = c.pauseSeconds;
    const auto st = trek::computeTrackStatistics(c.points, options);
    EXPECT_EQ(st.totalSeconds, c.total) << c.name;
    EXPECT_EQ(st.movingSeconds, c.moving) << c.name;
    ASSERT_EQ(st.averageSpeed.has_value(), c.average.has_value()) << c.name;
    if (c.average) {
      EXPECT_NEAR(*st.averageSpeed, *c.average, 1e-4) << c.name;
    }
    ASSERT_EQ(st.movingSpeed.has_value(), c.movingSpeed.has_value()) << c.name;
    if (c.movingSpeed) {
      EXPECT_NEAR(*st.movingSpeed, *c.movingSpeed, 1e-4) << c.name;
    }
  }
}

TEST(TrackStatistics, ClimbHysteresis) {
  struct Case {
    const char* name;
    std::vector<double> altitudes;
    double hysteresis, ascent, descent;
  };
  const std::vector<Case> cases = {
      {"empty", {}, 5, 0, 0},
      {"steady climb counts in full", {100, 101, 102, 103, 104, 105, 106, 107}, 5, 7, 0},
      {"noise below the threshold", {100, 103, 101, 104, 102, 99, 101}, 5, 0, 0},
      {"dip below the threshold on a climb", {100, 110, 107, 120, 90}, 5, 20, 30},
      {"dip at the threshold turns", {100, 110, 105, 120}, 5, 25, 5},
      {"without hysteresis noise counts", {0, 1, 0, 1, 0}, 0, 2, 2},
      {"descent first", {500, 490, 492, 470, 480}, 5, 10, 30},
  };
  for (const auto& c : cases) {
    const auto climb = trek::climbWithHysteresis(c.altitudes, c.hysteresis);
    EXPECT_DOUBLE_EQ(climb.ascent, c.ascent) << c.name;
    EXPECT_DOUBLE_EQ(climb.descent, c.descent) << c.name;
  }
}

TEST(TrackStatistics, NoisyClimbIsNotInflated) {
  // 500 m up over 1000 points with +-2 m of alternating receiver noise.
  std::vector<CTrackPoint> points;
  for (int i = 0; i < 1000; ++i)
    points.push_back(point(36.0 + i * 1e-4, 139.0, 1000 + 5 * i, 1000.0 + i * 0.5 + (i % 2 ? 2.0 : -2.0)));
  const auto st = trek::computeTrackStatistics(points);
  ASSERT_TRUE(st.ascentMetres && st.descentMetres);
  EXPECT_NEAR(*st.ascentMetres, 500.0, 4.0);
  EXPECT_DOUBLE_EQ(*st.descentMetres, 0.0);
  std::vector<double> alts;
  for (const auto& p : points) alts.push_back(p.altitude);
  EXPECT_GT(trek::climbWithHysteresis(alts, 0.0).ascent, 2000.0);  // what the noise would add without it
}

TEST(TrackStatistics, MissingAltitudes) {
  const double nan = std::nan("");
  struct Case {
    const char* name;
    std::vector<double> altitudes;
    std::optional<double> ascent, highest, lowest;
    std::size_t highestIndex, lowestIndex;
  };
  const std::vector<Case> cases = {
      {"all present", {100, 150, 90}, 50, 150, 90, 1, 2},
      {"missing ones skipped", {100, kNone, 150, nan, 90}, 50, 150, 90, 2, 4},
      {"first of equal extremes", {120, 120, 80, 80}, 0, 120, 80, 0, 2},
      {"none present", {kNone, nan, -kNone}, std::nullopt, std::nullopt, std::nullopt, 0, 0},
      {"sea level is an altitude", {0, 0}, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    CTrackLog log;
    for (std::size_t i = 0; i < c.altitudes.size(); ++i)
      log.AppendPoint(point(36.0, 139.0 + 0.001 * static_cast<double>(i), -1, c.altitudes[i]));
    const auto st = trek::computeTrackStatistics(log);
    EXPECT_EQ(st.ascentMetres, c.ascent) << c.name;
    EXPECT_EQ(st.descentMetres.has_value(), c.ascent.has_value()) << c.name;
    ASSERT_EQ(st.highest.has_value(), c.highest.has_value()) << c.name;
    ASSERT_EQ(st.lowest.has_value(), c.lowest.has_value()) << c.name;
    if (c.highest) {
      EXPECT_EQ(st.highest->altitude, *c.highest) << c.name;
      EXPECT_EQ(st.highest->index, c.highestIndex) << c.name;
      EXPECT_EQ(st.lowest->altitude, *c.lowest) << c.name;
      EXPECT_EQ(st.lowest->index, c.lowestIndex) << c.name;
    }
  }
}

}  // namespace
