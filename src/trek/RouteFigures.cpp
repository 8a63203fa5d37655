#include "trek/RouteFigures.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "trek/TrackStatistics.h"

namespace trek {

namespace {
constexpr double kConvertedAltitude = 100000.0;
}

bool RoutePointHasAltitude(const CMarkerPoint& p) { return isKnownAltitude(p.altitude) && p.altitude != kConvertedAltitude; }

SRouteFigures RouteFigures(const CRoute& route, const SWalkingPace& pace) {
  SRouteFigures f;
  const auto& pts = route.points;
  for (std::size_t i = 1; i < pts.size(); ++i) {
    f.lengthMetres += geodesicLeg(pts[i - 1].latitude.ToDegrees(), pts[i - 1].longitude.ToDegrees(),
                                  pts[i].latitude.ToDegrees(), pts[i].longitude.ToDegrees())
                          .distanceMetres;
  }
  // Points without an altitude are passed over: the climb runs between those that have one.
  std::optional<double> last;
  double up = 0.0, down = 0.0;
  int known = 0;
  for (const CMarkerPoint& p : pts) {
    if (!RoutePointHasAltitude(p)) continue;
    ++known;
    if (last) {
      const double d = p.altitude - *last;
      (d > 0 ? up : down) += std::abs(d);
    }
    last = p.altitude;
  }
  if (known >= 2) {
    f.ascentMetres = up;
    f.descentMetres = down;
  }
  const double flat = pace.flatMetresPerHour > 0 ? pace.flatMetresPerHour : 4000.0;
  const double climb = pace.climbMetresPerHour > 0 ? pace.climbMetresPerHour : 600.0;
  f.walkingMinutes = 60.0 * (f.lengthMetres / flat + f.ascentMetres.value_or(0.0) / climb);
  return f;
}

std::string WalkingTimeText(double minutes) {
  const long long m = std::llround(std::max(0.0, minutes));
  return std::to_string(m / 60) + "時間" + std::to_string(m % 60) + "分";
}

}  // namespace trek
