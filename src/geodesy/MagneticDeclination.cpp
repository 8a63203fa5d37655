#include "geodesy/MagneticDeclination.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/SphericalHarmonic1.hpp>

#include <QDate>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <sstream>

namespace geodesy {

extern const std::string_view kWmm2025Cof;

namespace {

constexpr double kReferenceRadiusM = 6371200.0;
constexpr int kMaxDegree = 30;
constexpr std::size_t kMaxRows = 2000;

// Index of (n, m) in a column-major cosine set of degree `degree`.
std::size_t cosIndex(int degree, int n, int m) {
  return static_cast<std::size_t>(m * degree - m * (m - 1) / 2 + n);
}

struct SRow {
  int n, m;
  double g, h, gRate, hRate;
};

// Reads whitespace-separated numbers of one line; false on anything else.
bool numbers(const std::string& line, std::vector<double>& out) {
  out.clear();
  const char* p = line.c_str();
  while (*p) {
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    if (!*p) break;
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p || !std::isfinite(v)) return false;
    out.push_back(v);
    p = end;
    if (*p && *p != ' ' && *p != '\t' && *p != '\r') return false;
  }
  return true;
}

}  // namespace

std::optional<CMagneticModel> CMagneticModel::FromCof(std::string_view text, ECofError* error) {
  const auto failWith = [error](ECofError e) -> std::optional<CMagneticModel> {
    if (error) *error = e;
    return std::nullopt;
  };
  if (error) *error = ECofError::None;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size() && lines.size() <= kMaxRows + 1) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.empty()) return failWith(ECofError::Header);

  CMagneticModel model;
  {
    std::istringstream head(lines[0]);
    std::string epoch;
    if (!(head >> epoch >> model.m_name >> model.m_release)) return failWith(ECofError::Header);
    char* end = nullptr;
    model.m_epoch = std::strtod(epoch.c_str(), &end);
    if (*end != 0 || !(model.m_epoch > 1900.0 && model.m_epoch < 2200.0)) return failWith(ECofError::Header);
  }
  std::vector<SRow> rows;
  std::vector<double> v;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("9999", 0) == 0) break;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (rows.size() >= kMaxRows) return failWith(ECofError::Row);
    if (!numbers(line, v) || v.size() != 6) return failWith(ECofError::Row);
    const int n = static_cast<int>(v[0]);
    const int m = static_cast<int>(v[1]);
    if (v[0] != n || v[1] != m || n < 1 || n > kMaxDegree || m < 0 || m > n) return failWith(ECofError::Degree);
    rows.push_back({n, m, v[2], v[3], v[4], v[5]});
    model.m_degree = std::max(model.m_degree, n);
  }
  if (rows.empty()) return failWith(ECofError::Missing);
  const int degree = model.m_degree;
  const std::size_t cSize = static_cast<std::size_t>((degree + 1) * (degree + 2) / 2);
  const std::size_t sSize = cSize - static_cast<std::size_t>(degree + 1);
  model.m_c.assign(cSize, 0.0);
  model.m_cRate.assign(cSize, 0.0);
  model.m_s.assign(sSize, 0.0);
  model.m_sRate.assign(sSize, 0.0);
  std::vector<bool> seen(cSize, false);
  for (const SRow& r : rows) {
    const std::size_t k = cosIndex(degree, r.n, r.m);
    if (seen[k]) return failWith(ECofError::Degree);
    seen[k] = true;
    model.m_c[k] = r.g;
    model.m_cRate[k] = r.gRate;
    if (r.m > 0) {
      model.m_s[k - static_cast<std::size_t>(degree + 1)] = r.h;
      model.m_sRate[k - static_cast<std::size_t>(degree + 1)] = r.hRate;
    }
  }
  // Every term up to the degree must be there: a gap is a damaged file, not a zero.
  for (int n = 1; n <= degree; ++n)
    for (int m = 0; m <= n; ++m)
      if (!seen[cosIndex(degree, n, m)]) return failWith(ECofError::Missing);
  return model;
}

SMagneticField CMagneticModel::Field(double latitudeDeg, double longitudeDeg, double heightM,
                                     double decimalYear) const {
  SMagneticField f;
  if (m_degree == 0 || !std::isfinite(latitudeDeg) || !std::isfinite(longitudeDeg) || !std::isfinite(heightM) ||
      !std::isfinite(decimalYear))
    return f;
  const GeographicLib::Geocentric& earth = GeographicLib::Geocentric::WGS84();
  double x = 0.0, y = 0.0, z = 0.0;
  std::vector<double> rot(9);
  earth.Forward(std::clamp(latitudeDeg, -90.0, 90.0), longitudeDeg, heightM, x, y, z, rot);
  // The sums keep references to the coefficient sets, which live as long as the model.
  const GeographicLib::SphericalHarmonic1 harm(m_c, m_s, m_degree, m_cRate, m_sRate, m_degree, kReferenceRadiusM,
                                               GeographicLib::SphericalHarmonic1::SCHMIDT);
  double gx = 0.0, gy = 0.0, gz = 0.0;
  harm(decimalYear - m_epoch, x, y, z, gx, gy, gz);
  // B = -grad(a V): geocentric components, then east, north, up through the local frame.
  gx *= -kReferenceRadiusM;
  gy *= -kReferenceRadiusM;
  gz *= -kReferenceRadiusM;
  const double east = rot[0] * gx + rot[3] * gy + rot[6] * gz;
  const double north = rot[1] * gx + rot[4] * gy + rot[7] * gz;
  const double up = rot[2] * gx + rot[5] * gy + rot[8] * gz;
  constexpr double kDeg = 180.0 / 3.14159265358979323846;
  f.northNT = north;
  f.eastNT = east;
  f.downNT = -up;
  f.horizontalNT = std::hypot(north, east);
  f.totalNT = std::hypot(f.horizontalNT, up);
  f.declinationDeg = std::atan2(east, north) * kDeg;
  f.inclinationDeg = std::atan2(-up, f.horizontalNT) * kDeg;
  return f;
}

const CMagneticModel& Wmm2025() {
  static const CMagneticModel model = [] {
    std::optional<CMagneticModel> m = CMagneticModel::FromCof(kWmm2025Cof);
    return m ? *m : CMagneticModel{};
  }();
  return model;
}

double DecimalYear(int year, int month, int day) {
  const QDate date(year, month, day);
  if (!date.isValid()) return year;
  return year + (date.dayOfYear() - 1) / static_cast<double>(date.daysInYear());
}

double DecimalYearToday() {
  const QDate today = QDate::currentDate();
  return DecimalYear(today.year(), today.month(), today.day());
}

std::string DeclinationText(double declinationDeg) {
  if (!std::isfinite(declinationDeg)) return {};
  const long minutes = std::lround(std::fabs(declinationDeg) * 60.0);
  char buf[64];
  const char* side = minutes == 0 ? "偏差" : declinationDeg < 0 ? "西偏" : "東偏";
  std::snprintf(buf, sizeof buf, "%s %ld°%02ld′", side, minutes / 60, minutes % 60);
  return buf;
}

std::string DeclinationHeaderText(double declinationDeg, int year) {
  std::string out = "磁針方位 ";
  out += DeclinationText(declinationDeg);
  out += " (";
  out += std::to_string(year);
  out += "年)";
  return out;
}

}  // namespace geodesy
