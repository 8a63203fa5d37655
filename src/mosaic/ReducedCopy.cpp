#include "mosaic/ReducedCopy.h"

#include <vector>

#include "maps/SheetImage.h"

namespace mosaic {

namespace {
QImage reduce(const SheetImage& sheet, std::span<const std::uint8_t> table, int f) {
  const int w = sheet.width(), h = sheet.height();
  const int rw = (w + f - 1) / f, rh = (h + f - 1) / f;
  QImage out(rw, rh, QImage::Format_RGB32);
  std::vector<std::uint64_t> sums(static_cast<std::size_t>(rw) * 4);
  for (int by = 0; by < rh; ++by) {
    std::fill(sums.begin(), sums.end(), 0);
    for (int y = by * f; y < std::min(h, by * f + f); ++y) {
      const std::uint8_t* row = sheet.scanLine(y);
      for (int x = 0; x < w; ++x) {
        std::uint8_t b, g, r;
        if (sheet.bitCount() == 8) {
          b = table[4 * row[x]];
          g = table[4 * row[x] + 1];
          r = table[4 * row[x] + 2];
        } else {
          b = row[3 * x];
          g = row[3 * x + 1];
          r = row[3 * x + 2];
        }
        std::uint64_t* s = &sums[static_cast<std::size_t>(x / f) * 4];
        s[0] += r;
        s[1] += g;
        s[2] += b;
        s[3] += 1;
      }
    }
    auto* d = reinterpret_cast<std::uint32_t*>(out.scanLine(by));
    for (int bx = 0; bx < rw; ++bx) {
      const std::uint64_t* s = &sums[static_cast<std::size_t>(bx) * 4];
      const std::uint64_t n = s[3] ? s[3] : 1;
      d[bx] = 0xFF000000u | static_cast<std::uint32_t>(((s[0] + n / 2) / n) << 16) |
              static_cast<std::uint32_t>(((s[1] + n / 2) / n) << 8) | static_cast<std::uint32_t>((s[2] + n / 2) / n);
    }
  }
  return out;
}
}  // namespace

SReducedCopies BuildReducedCopies(const SheetImage& sheet, std::span<const std::uint8_t> table) {
  if (sheet.isNull() || (sheet.bitCount() != 8 && sheet.bitCount() != 24) || table.size() < 1024) return {};
  return {reduce(sheet, table, 8), reduce(sheet, table, 64)};
}

std::uint64_t ColourTableHash(std::span<const std::uint8_t> table) {
  std::uint64_t h = 1469598103934665603ull;
  for (const std::uint8_t b : table) h = (h ^ b) * 1099511628211ull;
  return h;
}

std::optional<SReducedKey> ReducedKeyFor(const std::filesystem::path&, std::uint64_t) { return std::nullopt; }
std::filesystem::path ReducedCopyPath(const std::filesystem::path& folder, const SReducedKey&) { return folder; }
platform::SFileWriteResult WriteReducedCopies(const std::filesystem::path&, const SReducedKey&, const SReducedCopies&) {
  return {};
}
EReducedRead ReadReducedCopies(const std::filesystem::path&, const SReducedKey&, SReducedCopies&, std::string*) {
  return EReducedRead::Missing;
}

}  // namespace mosaic
