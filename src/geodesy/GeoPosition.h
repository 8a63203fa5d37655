#pragma once
// A position (north latitude, east longitude) tagged with its geodetic datum.
#include <cstdint>
#include <string>

#include "geodesy/DmsAngle.h"

/// Geodetic datum, also stored in the profile and in files. Values other than these two may
/// arrive from outside data; operations taking a Datum refuse them.
enum class Datum : std::int32_t {
  Wgs84 = 0,  ///< WGS-84, also standing for JGD2000
  Tokyo = 1,  ///< Tokyo datum on the Bessel 1841 ellipsoid
};

/// True for the two datums the system knows.
[[nodiscard]] constexpr bool IsKnownDatum(Datum d) { return d == Datum::Wgs84 || d == Datum::Tokyo; }

/// "測地系 WGS-84/JGD2000" or "測地系 Tokyo" in CP932 bytes; empty for an unknown value.
[[nodiscard]] std::string DatumDisplayText(Datum d);

struct GeoPosition {
  DmsAngle latitude;
  DmsAngle longitude;
  Datum datum = Datum::Wgs84;
};
