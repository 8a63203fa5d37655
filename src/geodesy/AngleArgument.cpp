#include "geodesy/AngleArgument.h"

#include <charconv>
#include <cstdint>

namespace {

// Digits with at most one '.', or digits only when `integer`; never empty, never a sign.
bool plainNumber(std::string_view s, bool integer) {
  if (s.empty() || s.size() > 32) return false;
  bool digit = false;
  bool point = false;
  for (const char c : s) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !integer && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

std::optional<double> toDouble(std::string_view s) {
  if (!plainNumber(s, false)) return std::nullopt;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<std::int32_t> toInt(std::string_view s) {
  if (!plainNumber(s, true)) return std::nullopt;
  std::int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

}  // namespace

std::optional<DmsAngle> ParseAngleArgument(std::string_view text) {
  const std::size_t c1 = text.find(':');
  if (c1 == std::string_view::npos) {
    const std::optional<double> deg = toDouble(text);
    if (!deg || *deg > 180.0) return std::nullopt;
    return DmsAngle::FromDegrees(*deg);
  }
  const std::size_t c2 = text.find(':', c1 + 1);
  if (c2 == std::string_view::npos || text.find(':', c2 + 1) != std::string_view::npos) return std::nullopt;
  const std::optional<std::int32_t> d = toInt(text.substr(0, c1));
  const std::optional<std::int32_t> m = toInt(text.substr(c1 + 1, c2 - c1 - 1));
  const std::optional<double> s = toDouble(text.substr(c2 + 1));
  if (!d || !m || !s || *d > 180 || *m > 59 || *s >= 60.0) return std::nullopt;
  return DmsAngle(*d, *m, *s);
}
