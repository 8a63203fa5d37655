#include "geodesy/DatumConverter.h"

#include <cmath>

namespace {

constexpr double kDegToRad = 0.017453292519943295;
constexpr double kSecondsPerRadian = 206264.80624709636;
constexpr double kPi = 3.141592653589793;

struct SEllipsoid {
  double a;  ///< semi-major axis [m]
  double f;  ///< flattening
};
constexpr SEllipsoid kWgs84{6378137.0, 0.0033528106647478};
constexpr SEllipsoid kBessel{geodesy::kBesselSemiMajorM, geodesy::kBesselFlattening};

constexpr double kShiftX = geodesy::kTokyoToWgs84ShiftM[0];
constexpr double kShiftY = geodesy::kTokyoToWgs84ShiftM[1];
constexpr double kShiftZ = geodesy::kTokyoToWgs84ShiftM[2];

double toRadians(const DmsAngle& a) {
  return ((a.seconds / 60.0 + static_cast<double>(a.minutes)) / 60.0 + static_cast<double>(a.degrees)) * kDegToRad;
}

// Sign on the degrees only; minutes and seconds are never negative.
DmsAngle fromRadians(double angle) {
  const double s = std::fabs(angle) * kSecondsPerRadian;
  const double totalMinutes = std::floor(s / 60.0);
  const std::int32_t m = geodesy::truncToInt32(totalMinutes);
  const std::int32_t d = m / 60;
  DmsAngle out;
  out.minutes = m - 60 * d;
  out.seconds = s - 60.0 * static_cast<double>(m);
  out.degrees = angle < 0.0 ? -d : d;
  return out;
}

SDatumShiftResult shift(const DmsAngle& latitude, const DmsAngle& longitude, double h, const SEllipsoid& from,
                        const SEllipsoid& to, double sign) {
  // Geodetic to geocentric on the source ellipsoid.
  const double phi = toRadians(latitude);
  const double lambda = toRadians(longitude);
  const double e2s = from.f * (2.0 - from.f);
  const double sinPhi = std::sin(phi);
  const double n = from.a / std::sqrt(1.0 - e2s * sinPhi * sinPhi);
  double x = (n + h) * std::cos(phi) * std::cos(lambda);
  double y = (n + h) * std::cos(phi) * std::sin(lambda);
  double z = (n * (1.0 - e2s) + h) * sinPhi;

  x += sign * kShiftX;
  y += sign * kShiftY;
  z += sign * kShiftZ;

  // Back to geodetic on the target ellipsoid, Bowring's closed form.
  const double a = to.a;
  const double b = a * (1.0 - to.f);
  const double p = std::sqrt(x * x + y * y);
  const double theta = std::atan(z * a / (p * b));
  const double e2 = (a * a - b * b) / (a * a);
  const double ep2 = (a * a - b * b) / (b * b);
  const double sinT = std::sin(theta);
  const double cosT = std::cos(theta);
  const double phiOut = std::atan((z + ep2 * b * sinT * sinT * sinT) / (p - e2 * a * cosT * cosT * cosT));
  // East longitude for geocentric X < 0, i.e. 90..270 degrees east: all of the accepted area.
  const double lambdaOut = std::atan(y / x) + kPi;
  const double sinOut = std::sin(phiOut);
  const double hOut = p / std::cos(phiOut) - a / std::sqrt(1.0 - e2 * sinOut * sinOut);

  return {fromRadians(phiOut), fromRadians(lambdaOut), hOut};
}

}  // namespace

SDatumShiftResult DatumConverter::TokyoToWgs84(const DmsAngle& latitude, const DmsAngle& longitude,
                                               double height) {
  return shift(latitude, longitude, height, kBessel, kWgs84, 1.0);
}

SDatumShiftResult DatumConverter::Wgs84ToTokyo(const DmsAngle& latitude, const DmsAngle& longitude,
                                               double height) {
  return shift(latitude, longitude, height, kWgs84, kBessel, -1.0);
}

GeoPosition DatumConverter::Convert(const GeoPosition& position, Datum target) {
  if (position.datum == target) return position;
  SDatumShiftResult r;
  if (target == Datum::Wgs84) {
    r = TokyoToWgs84(position.latitude, position.longitude, 0.0);
  } else if (target == Datum::Tokyo) {
    r = Wgs84ToTokyo(position.latitude, position.longitude, 0.0);
  } else {
    return position;
  }
  return {r.latitude, r.longitude, target};
}

DmsAngle DatumConverter::SemicirclesToAngle(std::int32_t value) {
  return DmsAngle::FromDegrees(static_cast<double>(value) * 180.0 / 2147483648.0);
}

std::int32_t DatumConverter::AngleToSemicircles(const DmsAngle& angle) {
  return geodesy::truncToInt32(2147483648.0 * (1.0 / 180.0) * angle.ToDegrees());
}
