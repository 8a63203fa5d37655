#pragma once
// Text in map data, trek files and every model string is code page 932 (Shift-JIS with the
// vendor extensions). The user interface speaks UTF-8; these functions are the only bridge.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::cp932 {

/// Result of a conversion. `invalid` counts the byte sequences that had no mapping; each of
/// them was replaced by a visible marker ("\xEF\xBF\xBD" in UTF-8, "?" in CP932).
struct SConversion {
  std::string text;
  std::size_t invalid = 0;
  [[nodiscard]] bool ok() const { return invalid == 0; }
};

[[nodiscard]] SConversion toUtf8(std::string_view cp932);
[[nodiscard]] SConversion fromUtf8(std::string_view utf8);

/// Convenience forms for display: the replaced text only.
[[nodiscard]] std::string toUtf8Lossy(std::string_view cp932);

/// True when `utf8` has an exact CP932 form (so a typed text can be stored unchanged).
[[nodiscard]] bool representable(std::string_view utf8);

/// Lead byte of a two-byte CP932 character.
[[nodiscard]] constexpr bool isLeadByte(std::uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

/// Multibyte-aware search: the first position >= from where `needle` starts on a character
/// boundary of `hay`, or npos.
[[nodiscard]] std::size_t find(std::string_view hay, std::string_view needle, std::size_t from = 0);

}  // namespace platform::cp932
