#include "geodesy/GridReference.h"

#include <GeographicLib/MGRS.hpp>
#include <GeographicLib/UTMUPS.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

namespace geodesy {
namespace {

using GeographicLib::MGRS;
using GeographicLib::UTMUPS;

constexpr const char* kBands = "CDEFGHJKLMNPQRSTUVWX";  // 8 degrees each from 80 S; X is 12

char bandOf(double latitudeDeg) {
  if (!(latitudeDeg >= -80.0 && latitudeDeg <= 84.0)) return 0;
  const int i = std::min(19, static_cast<int>(std::floor((latitudeDeg + 80.0) / 8.0)));
  return kBands[i];
}

bool isBand(char c) { return c != 0 && std::string_view(kBands).find(c) != std::string_view::npos; }

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// A UTM coordinate as typed: digits with an optional decimal fraction.
std::optional<double> metres(std::string_view s) {
  const std::size_t dot = s.find('.');
  const std::string_view whole = s.substr(0, dot);
  if (!allDigits(whole) || whole.size() > 8) return std::nullopt;
  if (dot != std::string_view::npos && dot + 1 < s.size() && !allDigits(s.substr(dot + 1))) return std::nullopt;
  return std::strtod(std::string(s).c_str(), nullptr);
}

std::vector<std::string> tokens(std::string_view text) {
  std::vector<std::string> out;
  std::string cur;
  for (const char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!cur.empty()) out.push_back(std::move(cur));
      cur.clear();
    } else {
      cur.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
  if (!cur.empty()) out.push_back(std::move(cur));
  return out;
}

SGridParse fail(EGridError e) {
  SGridParse out;
  out.error = e;
  return out;
}

SGridParse located(double lat, double lon, int digits) {
  if (lat < 0.0 || lon < 0.0) return fail(EGridError::NotNorthEast);
  SGridParse out;
  out.position = SLatLon{lat, lon};
  out.digits = digits;
  return out;
}

// "54S 385123 3945678" and its variants; none when the text is not of that form.
std::optional<SGridParse> parseUtm(const std::vector<std::string>& t) {
  if (t.size() < 3 || t.size() > 4) return std::nullopt;
  const std::optional<double> e = metres(t[t.size() - 2]);
  const std::optional<double> n = metres(t[t.size() - 1]);
  if (!e || !n) return std::nullopt;
  const std::string head = t.size() == 4 ? t[0] + t[1] : t[0];
  std::size_t digits = 0;
  while (digits < head.size() && std::isdigit(static_cast<unsigned char>(head[digits]))) ++digits;
  if (digits == 0 || digits > 2 || head.size() > digits + 1) return std::nullopt;
  const int zone = std::atoi(head.substr(0, digits).c_str());
  const char letter = head.size() > digits ? head[digits] : 0;
  if (zone < 1 || zone > 60) return fail(EGridError::Zone);
  if (letter != 0 && !isBand(letter)) return fail(EGridError::Band);
  if (letter != 0 && letter < 'N') return fail(EGridError::NotNorthEast);
  if (*e < 100000.0 || *e >= 900000.0 || *n >= 9400000.0) return fail(EGridError::Range);
  const std::optional<SLatLon> p = FromUtm(zone, true, *e, *n);
  if (!p) return fail(EGridError::Range);
  // N names the northern hemisphere as often as band N; any other letter is a band to check.
  if (letter != 0 && letter != 'N' && bandOf(p->latitude) != letter) return fail(EGridError::Range);
  return located(p->latitude, p->longitude, 0);
}

SGridParse parseMgrs(const std::vector<std::string>& t) {
  std::string s;
  for (const std::string& part : t) s += part;
  std::size_t i = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  if (i == 0 || i > 2) return fail(EGridError::Syntax);
  const int zone = std::atoi(s.substr(0, i).c_str());
  if (zone < 1 || zone > 60) return fail(EGridError::Zone);
  if (i + 3 > s.size()) return fail(EGridError::Syntax);
  const char band = s[i];
  if (!std::isalpha(static_cast<unsigned char>(band))) return fail(EGridError::Syntax);
  if (!isBand(band)) return fail(EGridError::Band);
  const char col = s[i + 1];
  const char row = s[i + 2];
  if (!std::isalpha(static_cast<unsigned char>(col)) || !std::isalpha(static_cast<unsigned char>(row)))
    return fail(EGridError::Syntax);
  const std::string rest = s.substr(i + 3);
  if (!rest.empty() && !allDigits(rest)) return fail(EGridError::Syntax);
  if (rest.size() % 2 != 0 || rest.size() > 10) return fail(EGridError::Digits);
  // Columns run A..Z without I and O in three sets of eight by zone; rows A..V without I, O.
  static constexpr const char* kColumnSets[3] = {"ABCDEFGH", "JKLMNPQR", "STUVWXYZ"};
  if (std::string_view(kColumnSets[(zone - 1) % 3]).find(col) == std::string_view::npos ||
      std::string_view("ABCDEFGHJKLMNPQRSTUV").find(row) == std::string_view::npos)
    return fail(EGridError::Square);
  if (band < 'N') return fail(EGridError::NotNorthEast);
  int z = 0;
  bool north = true;
  double x = 0.0;
  double y = 0.0;
  int prec = 0;
  try {
    MGRS::Reverse(s, z, north, x, y, prec, true);
  } catch (const std::exception&) {
    // The letters exist but the square lies outside the band (or the zone's reach).
    return fail(EGridError::Range);
  }
  const std::optional<SLatLon> p = FromUtm(z, north, x, y);
  if (!p) return fail(EGridError::Range);
  return located(p->latitude, p->longitude, static_cast<int>(rest.size() / 2));
}

}  // namespace

std::optional<SUtmPosition> ToUtm(double latitudeDeg, double longitudeDeg) {
  if (!(latitudeDeg >= -80.0 && latitudeDeg <= 84.0) || !std::isfinite(longitudeDeg)) return std::nullopt;
  try {
    const int zone = UTMUPS::StandardZone(latitudeDeg, longitudeDeg);
    return ToUtmInZone(latitudeDeg, longitudeDeg, zone);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<SUtmPosition> ToUtmInZone(double latitudeDeg, double longitudeDeg, std::int32_t zone) {
  if (zone < 1 || zone > 60 || !(latitudeDeg >= -80.5 && latitudeDeg <= 84.5) || !std::isfinite(longitudeDeg))
    return std::nullopt;
  SUtmPosition out;
  try {
    int z = 0;
    double gamma = 0.0;
    double k = 0.0;
    UTMUPS::Forward(latitudeDeg, longitudeDeg, z, out.north, out.easting, out.northing, gamma, k, zone);
    out.zone = z;
    out.convergenceDeg = gamma;
  } catch (const std::exception&) {
    return std::nullopt;
  }
  out.band = bandOf(latitudeDeg);
  return out;
}

std::optional<SLatLon> FromUtm(std::int32_t zone, bool north, double easting, double northing) {
  if (zone < 1 || zone > 60 || !std::isfinite(easting) || !std::isfinite(northing)) return std::nullopt;
  try {
    SLatLon out;
    double gamma = 0.0;
    double k = 0.0;
    UTMUPS::Reverse(zone, north, easting, northing, out.latitude, out.longitude, gamma, k);
    return out;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::int32_t UtmZoneOfLongitude(double longitudeDeg) {
  const double lon = std::fmod(std::fmod(longitudeDeg + 180.0, 360.0) + 360.0, 360.0);
  return std::min(60, static_cast<std::int32_t>(std::floor(lon / 6.0)) + 1);
}

double UtmZoneWestDeg(std::int32_t zone) { return (zone - 1) * 6.0 - 180.0; }

std::string FormatUtm(const SUtmPosition& utm) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d%c %ld %ld", utm.zone, utm.band ? utm.band : (utm.north ? 'N' : 'S'),
                static_cast<long>(std::floor(utm.easting)), static_cast<long>(std::floor(utm.northing)));
  return buf;
}

std::string FormatMgrs(double latitudeDeg, double longitudeDeg, int digits) {
  const std::optional<SUtmPosition> utm = ToUtm(latitudeDeg, longitudeDeg);
  if (!utm) return {};
  std::string s;
  try {
    MGRS::Forward(utm->zone, utm->north, utm->easting, utm->northing, latitudeDeg, std::clamp(digits, 0, 5), s);
  } catch (const std::exception&) {
    return {};
  }
  // "54SUE1234567890" -> "54S UE 12345 67890"
  std::size_t i = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  if (s.size() < i + 3) return {};
  std::string out = s.substr(0, i + 1);
  out += ' ';
  out += s.substr(i + 1, 2);
  const std::string num = s.substr(i + 3);
  if (!num.empty()) {
    out += ' ';
    out += num.substr(0, num.size() / 2);
    out += ' ';
    out += num.substr(num.size() / 2);
  }
  return out;
}

std::string FormatDecimalDegrees(double degrees) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", degrees);
  return buf;
}

SGridParse ParseGridReference(std::string_view text) {
  if (text.size() > 200) return fail(EGridError::Syntax);
  const std::vector<std::string> t = tokens(text);
  if (t.empty()) return fail(EGridError::Empty);
  if (std::optional<SGridParse> utm = parseUtm(t)) return *utm;
  return parseMgrs(t);
}

std::optional<SGridTexts> GridPositionTexts(double latitudeDeg, double longitudeDeg, EPosFormat format) {
  if (format == EPosFormat::Utm) {
    const std::optional<SUtmPosition> utm = ToUtm(latitudeDeg, longitudeDeg);
    if (!utm) return std::nullopt;
    char first[48];
    char second[32];
    std::snprintf(first, sizeof first, "UTM %d%c %ldE", utm->zone, utm->band, static_cast<long>(std::floor(utm->easting)));
    std::snprintf(second, sizeof second, "%ldN", static_cast<long>(std::floor(utm->northing)));
    return SGridTexts{first, second};
  }
  if (format == EPosFormat::Mgrs) {
    const std::string mgrs = FormatMgrs(latitudeDeg, longitudeDeg, 5);
    if (mgrs.empty()) return std::nullopt;
    return SGridTexts{"MGRS " + mgrs, {}};
  }
  return std::nullopt;
}

}  // namespace geodesy
