#pragma once
// Reading the map data's text files: Shift-JIS, "," between columns with no quoting, "\r\n"
// (or a lone "\n") between lines. Separators are matched character by character, so the second
// byte of a double-byte character never counts as one. A NUL ends the text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Codepage.h"

struct SheetRecord;
enum class MapSeries : std::int32_t;

namespace maps::text {

/// The text up to its first NUL.
[[nodiscard]] inline std::string_view clipAtNul(std::string_view s) {
  const std::size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

/// Width in bytes of the character starting at `i`.
[[nodiscard]] inline std::size_t charWidth(std::string_view s, std::size_t i) {
  return (platform::cp932::isLeadByte(static_cast<std::uint8_t>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

/// Position of the first `c` (a single-byte character) at or after `from`, on a character
/// boundary; npos when there is none. `from` must itself be a character boundary.
[[nodiscard]] inline std::size_t findChar(std::string_view s, char c, std::size_t from = 0) {
  for (std::size_t i = from; i < s.size(); i += charWidth(s, i))
    if (s[i] == c) return i;
  return std::string_view::npos;
}

/// Walks the lines of a text. A line ends at "\r\n" or at a lone "\n" (copies whose line ends
/// were converted on the way); a lone "\r" stays in the line. A last line without a line end is
/// a line; nothing after a final line end is not.
class CLineReader {
 public:
  explicit CLineReader(std::string_view text) : m_text(text) {}
  /// The next line without its line end; false at the end of the text.
  bool next(std::string_view& line) {
    if (m_pos >= m_text.size()) return false;
    const std::size_t start = m_pos;
    for (std::size_t i = start; i < m_text.size(); i += charWidth(m_text, i)) {
      if (m_text[i] == '\r' && i + 1 < m_text.size() && m_text[i + 1] == '\n') {
        line = m_text.substr(start, i - start);
        m_pos = i + 2;
        return true;
      }
      if (m_text[i] == '\n') {
        line = m_text.substr(start, i - start);
        m_pos = i + 1;
        return true;
      }
    }
    line = m_text.substr(start);
    m_pos = m_text.size();
    return true;
  }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
};

/// Splits a line at "," into at most `max` columns (the last one keeps any further commas out:
/// it ends at the next ","). Returns the number of columns found.
inline std::size_t splitColumns(std::string_view line, std::string_view* out, std::size_t max) {
  std::size_t n = 0, start = 0;
  while (n < max) {
    const std::size_t comma = findChar(line, ',', start);
    if (comma == std::string_view::npos) {
      out[n++] = line.substr(start);
      break;
    }
    out[n++] = line.substr(start, comma - start);
    start = comma + 1;
  }
  return n;
}

/// C atoi: leading blanks, an optional sign, then digits; anything else reads as 0. Values
/// beyond the 32-bit range saturate.
[[nodiscard]] inline std::int32_t atoi32(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > std::int64_t{1} << 31) v = std::int64_t{1} << 31;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  return static_cast<std::int32_t>(v);
}

}  // namespace maps::text

namespace maps {
/// Fills `record` from one catalogue row of the given series; false when the row has too few
/// columns (the fields before the shortfall keep their new values) or the series is unknown.
[[nodiscard]] bool parseSheetRow(std::string_view row, MapSeries series, SheetRecord& record);
}  // namespace maps
