#pragma once
// What a planned route adds up to: its length along the WGS-84 ellipsoid, the climb when its
// points hold altitudes, and a walking time from both. The time is
//   hours = length / flat pace + ascent / climb pace
// with 4 km per hour on the flat and 600 m of ascent per hour by default (profile "Settings":
// "RouteFlatPace" and "RouteClimbPace", in metres per hour); descents add nothing.
#include <cstdint>
#include <optional>
#include <string>

#include "trek/CRoute.h"

namespace trek {

struct SWalkingPace {
  double flatMetresPerHour = 4000.0;
  double climbMetresPerHour = 600.0;
};

struct SRouteFigures {
  double lengthMetres = 0.0;
  std::optional<double> ascentMetres;   ///< none unless two points or more hold altitudes
  std::optional<double> descentMetres;
  double walkingMinutes = 0.0;
};

/// Altitude a route point holds: not a receiver's "none" and not the placeholder of a waypoint
/// converted from an old file.
[[nodiscard]] bool RoutePointHasAltitude(const CMarkerPoint& p);
[[nodiscard]] SRouteFigures RouteFigures(const CRoute& route, const SWalkingPace& pace);
/// "3時間25分" for a walking time (rounded to the minute).
[[nodiscard]] std::string WalkingTimeText(double minutes);

}  // namespace trek
