#pragma once
// The World Magnetic Model: its coefficient file (the published ".COF" text) and the field it
// gives at a place and date, for the magnetic-north lines and the declination in print headers.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace geodesy {

/// The geomagnetic field at one place: angles in degrees, intensities in nanotesla.
struct SMagneticField {
  double declinationDeg = 0.0;  ///< magnetic north's bearing from true north, east positive
  double inclinationDeg = 0.0;  ///< dip below the horizontal, down positive
  double northNT = 0.0;         ///< X
  double eastNT = 0.0;          ///< Y
  double downNT = 0.0;          ///< Z
  double horizontalNT = 0.0;    ///< H
  double totalNT = 0.0;         ///< F
};

enum class ECofError { None, Header, Row, Degree, Missing };

/// A spherical-harmonic main field with a linear secular variation (Schmidt semi-normalised
/// Gauss coefficients about a sphere of 6,371.2 km).
class CMagneticModel {
 public:
  /// Reads a coefficient file: the header "epoch name release-date", then rows "n m g h gdot
  /// hdot" up to a row of 9s or the end. Any bytes give a model or an error, never more than
  /// degree 30.
  [[nodiscard]] static std::optional<CMagneticModel> FromCof(std::string_view text, ECofError* error = nullptr);

  [[nodiscard]] const std::string& name() const { return m_name; }          ///< "WMM-2025"
  [[nodiscard]] const std::string& releaseDate() const { return m_release; }  ///< as the header has it
  [[nodiscard]] double epoch() const { return m_epoch; }
  [[nodiscard]] int degree() const { return m_degree; }
  /// The five years from the epoch the model is made for.
  [[nodiscard]] bool covers(double decimalYear) const { return decimalYear >= m_epoch && decimalYear < m_epoch + 5.0; }

  /// The field at a WGS-84 position (degrees, height above the ellipsoid in metres) on a
  /// date as a decimal year; the secular variation runs on linearly outside the model's years.
  [[nodiscard]] SMagneticField Field(double latitudeDeg, double longitudeDeg, double heightM,
                                     double decimalYear) const;
  [[nodiscard]] double Declination(double latitudeDeg, double longitudeDeg, double decimalYear) const {
    return Field(latitudeDeg, longitudeDeg, 0.0, decimalYear).declinationDeg;
  }

 private:
  std::string m_name;
  std::string m_release;
  double m_epoch = 0.0;
  int m_degree = 0;
  // Column-major by order, as the spherical-harmonic sums take them; the sine sets leave out
  // order 0.
  std::vector<double> m_c, m_s, m_cRate, m_sRate;
};

/// The World Magnetic Model 2025 compiled into the program.
[[nodiscard]] const CMagneticModel& Wmm2025();

/// The decimal year of a calendar date (2026-07-02 is about 2026.5).
[[nodiscard]] double DecimalYear(int year, int month, int day);
/// Today's date as a decimal year (the system clock, local time).
[[nodiscard]] double DecimalYearToday();

/// "西偏 7°20′" or "東偏 0°05′" (UTF-8): the declination rounded to whole minutes; 0 reads "偏差 0°00′".
[[nodiscard]] std::string DeclinationText(double declinationDeg);
/// The print header's line: "磁針方位 西偏 7°20′ (2026年)" (UTF-8).
[[nodiscard]] std::string DeclinationHeaderText(double declinationDeg, int year);

}  // namespace geodesy
