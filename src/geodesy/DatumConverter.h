#pragma once
// Tokyo <-> WGS-84 by a three-parameter geocentric shift, and the GPS receiver's angle unit.
#include <cstdint>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"

/// A converted latitude, longitude and ellipsoidal height (metres).
struct SDatumShiftResult {
  DmsAngle latitude;
  DmsAngle longitude;
  double height = 0.0;
};

namespace geodesy {
/// The Tokyo datum's ellipsoid, Bessel 1841: semi-major axis [m] and flattening.
inline constexpr double kBesselSemiMajorM = 6377397.155;
inline constexpr double kBesselFlattening = 0.00334277318;
/// Geocentric translation Tokyo -> WGS-84 [m] (x, y, z); the reverse shift is its negation.
inline constexpr double kTokyoToWgs84ShiftM[3] = {-147.54, 507.26, 680.47};
}  // namespace geodesy

/// Stateless; construct on the stack where needed (the operations are also static).
class DatumConverter {
 public:
  /// One closed-form pass (no iteration): there and back differs slightly from the start.
  [[nodiscard]] static SDatumShiftResult TokyoToWgs84(const DmsAngle& latitude, const DmsAngle& longitude,
                                                      double height);
  [[nodiscard]] static SDatumShiftResult Wgs84ToTokyo(const DmsAngle& latitude, const DmsAngle& longitude,
                                                      double height);

  /// The position in datum `target` (height 0): an unchanged copy when it is already there,
  /// TokyoToWgs84 for a WGS-84 target, Wgs84ToTokyo for a Tokyo target. An unknown target
  /// gives an unchanged copy.
  [[nodiscard]] static GeoPosition Convert(const GeoPosition& position, Datum target);

  /// GPS unit (2^31 = 180 degrees) to an angle, split with FromDegrees.
  [[nodiscard]] static DmsAngle SemicirclesToAngle(std::int32_t value);
  /// Angle to the GPS unit, truncated toward zero (saturating at the 32-bit range).
  [[nodiscard]] static std::int32_t AngleToSemicircles(const DmsAngle& angle);
};
