#pragma once
// Latitudes and longitudes as degrees, minutes and seconds. All arithmetic and every
// comparison works on the total seconds (degrees x 3600 + minutes x 60 + seconds).
#include <cstdint>
#include <string>

/// The three display texts of an angle, rounded to 0.01 second ("%d", "%d", "%.2f").
struct SDmsFields {
  std::string degrees;
  std::string minutes;
  std::string seconds;
};

/// Which range `DmsAngle::IsValid` checks.
enum EAngleKind : std::int32_t { kAngleLatitude = 0, kAngleLongitude = 1 };

class DmsAngle {
 public:
  DmsAngle() = default;
  /// Sets the three fields as given; nothing is normalised.
  DmsAngle(std::int32_t d, std::int32_t m, double s) : degrees(d), minutes(m), seconds(s) {}
  virtual ~DmsAngle() = default;
  DmsAngle(const DmsAngle&) = default;
  DmsAngle& operator=(const DmsAngle&) = default;

  /// degrees x 3600 + minutes x 60 + seconds.
  [[nodiscard]] double TotalSeconds() const;
  /// Decimal degrees.
  [[nodiscard]] double ToDegrees() const;

  /// Normalised angle from total seconds; each field truncated toward zero.
  [[nodiscard]] static DmsAngle FromTotalSeconds(double s);
  /// Normalised angle from decimal degrees; each field truncated toward zero, so a negative
  /// value makes all three fields negative or zero.
  [[nodiscard]] static DmsAngle FromDegrees(double x);

  [[nodiscard]] static DmsAngle Add(const DmsAngle& a, const DmsAngle& b);
  [[nodiscard]] static DmsAngle Subtract(const DmsAngle& a, const DmsAngle& b);
  /// a / b in total seconds; 0.0 unless b is greater than 0.
  [[nodiscard]] static double Ratio(const DmsAngle& a, const DmsAngle& b);
  /// a / k; an unchanged copy of a when k <= 0.
  [[nodiscard]] static DmsAngle DivideBy(const DmsAngle& a, double k);
  [[nodiscard]] static DmsAngle MultiplyBy(const DmsAngle& a, double k);

  /// Field ranges, then 23..50 degrees for a latitude (kind 0) or 120..154 degrees for a
  /// longitude (kind 1), both inclusive; any other kind checks the fields only.
  [[nodiscard]] bool IsValid(std::int32_t kind) const;

  /// Degrees, minutes and seconds texts after rounding the total to 0.01 second, so the
  /// seconds never read 60.00.
  [[nodiscard]] SDmsFields FormatFields() const;
  /// "<d>度<m>分<s.ss>秒" in CP932 bytes, rounded as FormatFields.
  [[nodiscard]] std::string FormatText() const;

  bool operator<(const DmsAngle& o) const { return TotalSeconds() < o.TotalSeconds(); }
  bool operator<=(const DmsAngle& o) const { return TotalSeconds() <= o.TotalSeconds(); }
  bool operator>(const DmsAngle& o) const { return TotalSeconds() > o.TotalSeconds(); }
  bool operator>=(const DmsAngle& o) const { return TotalSeconds() >= o.TotalSeconds(); }
  /// Exact equality of the total seconds.
  bool operator==(const DmsAngle& o) const { return TotalSeconds() == o.TotalSeconds(); }

  std::int32_t degrees = 0;  ///< carries the sign of a negative angle
  std::int32_t minutes = 0;  ///< 0..59 when normalised
  double seconds = 0.0;      ///< 0 <= s < 60 when normalised
};

namespace geodesy {
/// Truncates toward zero into a 32-bit integer, saturating at the range ends; NaN gives 0.
[[nodiscard]] std::int32_t truncToInt32(double v);
}  // namespace geodesy
