#include "geodesy/DmsAngle.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// The divisions by 60 and 3600 are multiplications by these (the nearest doubles to 1/60 and
// 1/3600); whole multiples still come out exact.
constexpr double kPerMinute = 0.016666666666666666;
constexpr double kPerDegree = 0.0002777777777777778;

// CP932 "度", "分", "秒".
constexpr const char* kDegreeMark = "\x93\x78";
constexpr const char* kMinuteMark = "\x95\xAA";
constexpr const char* kSecondMark = "\x95\x62";

template <class... Args>
std::string format(const char* fmt, Args... args) {
  const int n = std::snprintf(nullptr, 0, fmt, args...);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, args...);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

struct SRounded {
  std::int32_t degrees;
  std::int32_t minutes;
  double seconds;
};

// Rounds the total to the nearest hundredth of a second, then splits it again, so the
// seconds can never read 60.00.
SRounded roundForDisplay(double totalSeconds) {
  const double t = std::floor((totalSeconds + 0.005) * 100.0) * 0.01;
  const std::int32_t d = geodesy::truncToInt32(t * kPerDegree);
  const double rest = t - static_cast<double>(d) * 3600.0;
  const std::int32_t m = geodesy::truncToInt32(rest * kPerMinute);
  return {d, m, rest - static_cast<double>(m) * 60.0};
}

}  // namespace

namespace geodesy {

std::int32_t truncToInt32(double v) {
  if (std::isnan(v)) return 0;
  constexpr double kMax = static_cast<double>(std::numeric_limits<std::int32_t>::max());
  constexpr double kMin = static_cast<double>(std::numeric_limits<std::int32_t>::min());
  if (v >= kMax) return std::numeric_limits<std::int32_t>::max();
  if (v <= kMin) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

}  // namespace geodesy

double DmsAngle::TotalSeconds() const {
  return static_cast<double>(degrees) * 3600.0 + static_cast<double>(minutes) * 60.0 + seconds;
}

double DmsAngle::ToDegrees() const {
  return static_cast<double>(minutes) * kPerMinute + seconds * kPerDegree + static_cast<double>(degrees);
}

DmsAngle DmsAngle::FromTotalSeconds(double s) {
  DmsAngle a;
  a.degrees = geodesy::truncToInt32(s * kPerDegree);
  const double rest = s - static_cast<double>(a.degrees) * 3600.0;
  a.minutes = geodesy::truncToInt32(rest * kPerMinute);
  a.seconds = rest - static_cast<double>(a.minutes) * 60.0;
  return a;
}

DmsAngle DmsAngle::FromDegrees(double x) {
  DmsAngle a;
  a.degrees = geodesy::truncToInt32(x);
  const double r = (x - static_cast<double>(a.degrees)) * 60.0;
  a.minutes = geodesy::truncToInt32(r);
  a.seconds = (r - static_cast<double>(a.minutes)) * 60.0;
  return a;
}

DmsAngle DmsAngle::Add(const DmsAngle& a, const DmsAngle& b) {
  return FromTotalSeconds(a.TotalSeconds() + b.TotalSeconds());
}

DmsAngle DmsAngle::Subtract(const DmsAngle& a, const DmsAngle& b) {
  return FromTotalSeconds(a.TotalSeconds() - b.TotalSeconds());
}

double DmsAngle::Ratio(const DmsAngle& a, const DmsAngle& b) {
  const double denominator = b.TotalSeconds();
  return denominator > 0.0 ? a.TotalSeconds() / denominator : 0.0;
}

DmsAngle DmsAngle::DivideBy(const DmsAngle& a, double k) {
  if (!(k > 0.0)) return a;  // also refuses NaN
  return FromTotalSeconds(a.TotalSeconds() / k);
}

DmsAngle DmsAngle::MultiplyBy(const DmsAngle& a, double k) { return FromTotalSeconds(a.TotalSeconds() * k); }

bool DmsAngle::IsValid(std::int32_t kind) const {
  if (degrees < 0 || degrees > 180) return false;
  if (minutes < 0 || minutes > 59) return false;
  if (!(seconds >= 0.0) || seconds >= 60.0) return false;  // NaN is invalid too
  const double s = TotalSeconds();
  switch (kind) {
    case kAngleLatitude: return s >= 82800.0 && s <= 180000.0;
    case kAngleLongitude: return s >= 432000.0 && s <= 554400.0;
    default: return true;
  }
}

SDmsFields DmsAngle::FormatFields() const {
  const SRounded r = roundForDisplay(TotalSeconds());
  return {format("%d", r.degrees), format("%d", r.minutes), format("%.2f", r.seconds)};
}

std::string DmsAngle::FormatText() const {
  const SRounded r = roundForDisplay(TotalSeconds());
  return format("%d%s%d%s%.2f%s", r.degrees, kDegreeMark, r.minutes, kMinuteMark, r.seconds, kSecondMark);
}
