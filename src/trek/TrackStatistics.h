#pragma once
// What a walk adds up to: length along the WGS-84 ellipsoid, times, speeds, climb and the
// extremes of altitude, for a whole track log or any run of its points. Figures that need a
// time or an altitude the points do not hold are absent (std::nullopt), never zero.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "trek/CTrackPoint.h"

class CTrackLog;

namespace trek {

/// A change of altitude counts toward ascent or descent only once the track has moved this far
/// (metres) against its current direction; smaller wiggles are taken for receiver noise.
inline constexpr double kClimbHysteresisMetres = 5.0;
/// Default of the pause threshold (seconds).
inline constexpr std::int32_t kDefaultPauseSeconds = 60;
/// An interval slower than this (metres per second, 0.5 km/h) counts as standing still.
inline constexpr double kMinMovingSpeed = 0.5 / 3.6;

struct STrackStatsOptions {
  /// An interval between two consecutive timed points longer than this is a pause (the
  /// receiver stopped recording, or the walker rested); it counts toward the total time only.
  std::int32_t pauseSeconds = kDefaultPauseSeconds;
};

/// One end of the altitude range: the value and the index of its first point in the run.
struct SAltitudeExtreme {
  double altitude = 0.0;
  std::size_t index = 0;
};

struct STrackStatistics {
  std::size_t pointCount = 0;
  double lengthMetres = 0.0;                   ///< geodesic length through every point
  std::optional<std::int64_t> totalSeconds;     ///< first to last timed point
  std::optional<std::int64_t> movingSeconds;    ///< sum of intervals that are not pauses
  std::optional<double> averageSpeed;           ///< m/s: length of the timed part / total time
  std::optional<double> movingSpeed;            ///< m/s: length while moving / moving time
  std::optional<double> ascentMetres;           ///< with kClimbHysteresisMetres
  std::optional<double> descentMetres;
  std::optional<SAltitudeExtreme> highest;
  std::optional<SAltitudeExtreme> lowest;
};

/// What receivers send for "no altitude" (metres).
inline constexpr double kNoAltitude = 1.0e25;

/// True when the value is a height: receivers mark a missing one with a huge value (1.0e25),
/// and converted data may hold NaN.
[[nodiscard]] bool isKnownAltitude(double metres);
/// True when the point carries an altitude (isKnownAltitude of it).
[[nodiscard]] bool hasAltitude(const CTrackPoint& p);

/// Statistics of a run of points in recording order.
[[nodiscard]] STrackStatistics computeTrackStatistics(std::span<const CTrackPoint> points,
                                                      const STrackStatsOptions& options = {});
[[nodiscard]] STrackStatistics computeTrackStatistics(const CTrackLog& log, const STrackStatsOptions& options = {});

/// Ascent and descent of an altitude sequence with the given hysteresis (metres).
struct SClimb {
  double ascent = 0.0;
  double descent = 0.0;
};
[[nodiscard]] SClimb climbWithHysteresis(std::span<const double> altitudes, double hysteresis);

/// Geodesic between two WGS-84 positions (decimal degrees): distance in metres and the initial
/// bearing in degrees clockwise from true north, 0 <= bearing < 360.
struct SGeodesicLeg {
  double distanceMetres = 0.0;
  double bearingDegrees = 0.0;
};
[[nodiscard]] SGeodesicLeg geodesicLeg(double lat1, double lon1, double lat2, double lon2);

/// Cumulative distance (metres) from the first point to each point; same size as `points`.
void cumulativeDistances(std::span<const CTrackPoint> points, std::span<double> out);

}  // namespace trek
