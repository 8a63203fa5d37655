#include "trek/TrackStatistics.h"

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <vector>

#include "trek/CTrackLog.h"

namespace trek {

namespace {

// Receivers write 1.0e25 for "no altitude"; anything this large is not a height on Earth.
constexpr double kNoAltitudeMagnitude = 1.0e24;

double distanceBetween(const GeographicLib::Geodesic& g, const CTrackPoint& a, const CTrackPoint& b) {
  double s12 = 0.0;
  g.Inverse(a.latitude.ToDegrees(), a.longitude.ToDegrees(), b.latitude.ToDegrees(), b.longitude.ToDegrees(), s12);
  return std::isfinite(s12) ? s12 : 0.0;
}

}  // namespace

bool isKnownAltitude(double metres) { return std::isfinite(metres) && std::fabs(metres) < kNoAltitudeMagnitude; }

bool hasAltitude(const CTrackPoint& p) { return isKnownAltitude(p.altitude); }

SClimb climbWithHysteresis(std::span<const double> altitudes, double hysteresis) {
  SClimb climb;
  if (altitudes.empty()) return climb;
  // `ref` is the last turning point once a direction is known (it then follows the track in that
  // direction), or the first altitude while none is.
  double ref = altitudes.front();
  int direction = 0;  // +1 climbing, -1 descending, 0 not yet known
  for (const double alt : altitudes.subspan(1)) {
    if (direction >= 0 && alt > ref && (direction > 0 || alt - ref >= hysteresis)) {
      climb.ascent += alt - ref;
      ref = alt;
      direction = 1;
    } else if (direction <= 0 && alt < ref && (direction < 0 || ref - alt >= hysteresis)) {
      climb.descent += ref - alt;
      ref = alt;
      direction = -1;
    } else if (direction > 0 && ref - alt >= hysteresis) {
      climb.descent += ref - alt;
      ref = alt;
      direction = -1;
    } else if (direction < 0 && alt - ref >= hysteresis) {
      climb.ascent += alt - ref;
      ref = alt;
      direction = 1;
    }
  }
  return climb;
}

SGeodesicLeg geodesicLeg(double lat1, double lon1, double lat2, double lon2) {
  double s12 = 0.0;
  double azi1 = 0.0;
  double azi2 = 0.0;
  GeographicLib::Geodesic::WGS84().Inverse(lat1, lon1, lat2, lon2, s12, azi1, azi2);
  SGeodesicLeg leg;
  leg.distanceMetres = s12;
  leg.bearingDegrees = azi1 < 0.0 ? azi1 + 360.0 : azi1;
  if (leg.bearingDegrees >= 360.0) leg.bearingDegrees = 0.0;
  return leg;
}

void cumulativeDistances(std::span<const CTrackPoint> points, std::span<double> out) {
  const auto& g = GeographicLib::Geodesic::WGS84();
  double sum = 0.0;
  for (std::size_t i = 0; i < points.size() && i < out.size(); ++i) {
    if (i > 0) sum += distanceBetween(g, points[i - 1], points[i]);
    out[i] = sum;
  }
}

STrackStatistics computeTrackStatistics(std::span<const CTrackPoint> points, const STrackStatsOptions& options) {
  STrackStatistics st;
  st.pointCount = points.size();
  if (points.empty()) return st;

  const auto& g = GeographicLib::Geodesic::WGS84();
  double length = 0.0;
  // Timed points: the last one seen, with the distance along the track up to it.
  std::optional<std::size_t> firstTimed;
  std::size_t lastTimed = 0;
  double firstTimedAt = 0.0;
  double lastTimedAt = 0.0;
  std::int64_t moving = 0;
  double movingLength = 0.0;
  std::vector<double> altitudes;
  altitudes.reserve(points.size());

  for (std::size_t i = 0; i < points.size(); ++i) {
    const CTrackPoint& p = points[i];
    if (i > 0) length += distanceBetween(g, points[i - 1], p);
    if (p.time.HasTime()) {
      if (!firstTimed) {
        firstTimed = i;
        firstTimedAt = length;
      } else {
        const std::int64_t dt = std::int64_t{p.time.Count()} - points[lastTimed].time.Count();
        const double dist = length - lastTimedAt;
        // A clock that stands still or runs backwards adds no time; a long gap is a pause.
        if (dt > 0 && dt <= options.pauseSeconds && dist / static_cast<double>(dt) >= kMinMovingSpeed) {
          moving += dt;
          movingLength += dist;
        }
      }
      lastTimed = i;
      lastTimedAt = length;
    }
    if (hasAltitude(p)) {
      if (!st.highest || p.altitude > st.highest->altitude) st.highest = SAltitudeExtreme{p.altitude, i};
      if (!st.lowest || p.altitude < st.lowest->altitude) st.lowest = SAltitudeExtreme{p.altitude, i};
      altitudes.push_back(p.altitude);
    }
  }
  st.lengthMetres = length;

  if (firstTimed && lastTimed > *firstTimed) {
    const std::int64_t total = std::int64_t{points[lastTimed].time.Count()} - points[*firstTimed].time.Count();
    if (total >= 0) {
      st.totalSeconds = total;
      st.movingSeconds = moving;
      if (total > 0) st.averageSpeed = (lastTimedAt - firstTimedAt) / static_cast<double>(total);
      if (moving > 0) st.movingSpeed = movingLength / static_cast<double>(moving);
    }
  }
  if (!altitudes.empty()) {
    const SClimb climb = climbWithHysteresis(altitudes, kClimbHysteresisMetres);
    st.ascentMetres = climb.ascent;
    st.descentMetres = climb.descent;
  }
  return st;
}

STrackStatistics computeTrackStatistics(const CTrackLog& log, const STrackStatsOptions& options) {
  return computeTrackStatistics(std::span<const CTrackPoint>(log.Points()), options);
}

}  // namespace trek
