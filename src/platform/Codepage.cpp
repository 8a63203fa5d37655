#include "platform/Codepage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <mutex>

namespace platform::cp932 {
namespace {

// glibc knows the Microsoft variant as "CP932"; it maps 0x5C to the yen sign only in
// SHIFT_JIS, which is why that name is not used.
class CIconv {
 public:
  CIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~CIconv() {
    if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
  }
  CIconv(const CIconv&) = delete;
  CIconv& operator=(const CIconv&) = delete;

  SConversion run(std::string_view in, std::string_view replacement, bool twoByteSkip) {
    SConversion out;
    if (m_cd == reinterpret_cast<iconv_t>(-1)) {
      out.text.assign(in);
      out.invalid = in.size();
      return out;
    }
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    out.text.reserve(in.size() * 3 / 2 + 8);
    char buffer[1024];
    auto* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t rc = iconv(m_cd, &src, &left, &dst, &room);
      out.text.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (truncated sequence at the end): replace and skip one character.
      ++out.invalid;
      out.text.append(replacement);
      std::size_t skip = 1;
      if (twoByteSkip && left >= 2 && isLeadByte(static_cast<std::uint8_t>(*src))) skip = 2;
      else if (!twoByteSkip) {
        // UTF-8: skip the whole (possibly malformed) sequence.
        const auto b = static_cast<std::uint8_t>(*src);
        skip = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        std::size_t k = 1;
        while (k < skip && k < left && (static_cast<std::uint8_t>(src[k]) & 0xC0) == 0x80) ++k;
        skip = k;
      }
      if (skip > left) skip = left;
      src += skip;
      left -= skip;
      iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t m_cd;
};

std::mutex& mutex() {
  static std::mutex m;
  return m;
}

/// Plain ASCII reads the same in both code pages and needs no conversion (the common case for
/// numbers and mesh codes).
bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<std::uint8_t>(c) < 0x80; });
}

}  // namespace

SConversion toUtf8(std::string_view cp932) {
  if (isAscii(cp932)) return {std::string(cp932), 0};
  std::lock_guard lock(mutex());
  static CIconv conv("UTF-8", "CP932");
  return conv.run(cp932, "\xEF\xBF\xBD", true);
}

SConversion fromUtf8(std::string_view utf8) {
  if (isAscii(utf8)) return {std::string(utf8), 0};
  std::lock_guard lock(mutex());
  static CIconv conv("CP932", "UTF-8");
  return conv.run(utf8, "?", false);
}

std::string toUtf8Lossy(std::string_view cp932) { return toUtf8(cp932).text; }

bool representable(std::string_view utf8) { return fromUtf8(utf8).ok(); }

std::size_t find(std::string_view hay, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  std::size_t i = 0;
  while (i < hay.size()) {
    if (i >= from && hay.size() - i >= needle.size() && hay.compare(i, needle.size(), needle) == 0)
      return i;
    i += (isLeadByte(static_cast<std::uint8_t>(hay[i])) && i + 1 < hay.size()) ? 2 : 1;
  }
  return std::string_view::npos;
}

}  // namespace platform::cp932
