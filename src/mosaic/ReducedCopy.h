#pragma once
// Reduced copies of a sheet (provisional: in memory only until the on-disk store lands).
#include <QImage>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "platform/AtomicFile.h"

class SheetImage;

namespace mosaic {

struct SReducedCopies {
  QImage eighth;
  QImage sixtyFourth;
};
[[nodiscard]] SReducedCopies BuildReducedCopies(const SheetImage& sheet, std::span<const std::uint8_t> colourTable);
[[nodiscard]] std::uint64_t ColourTableHash(std::span<const std::uint8_t> colourTable);
struct SReducedKey {
  std::string sheetPath;
  std::uint64_t fileSize = 0;
  std::int64_t modifiedNs = 0;
  std::uint64_t colourHash = 0;
  bool operator==(const SReducedKey&) const = default;
};
[[nodiscard]] std::optional<SReducedKey> ReducedKeyFor(const std::filesystem::path& sheet, std::uint64_t colourHash);
[[nodiscard]] std::filesystem::path ReducedCopyPath(const std::filesystem::path& cacheFolder, const SReducedKey& key);
[[nodiscard]] platform::SFileWriteResult WriteReducedCopies(const std::filesystem::path& file, const SReducedKey& key,
                                                            const SReducedCopies& copies);
enum class EReducedRead { Ok, Missing, Damaged, Foreign };
[[nodiscard]] EReducedRead ReadReducedCopies(const std::filesystem::path& file, const SReducedKey& key,
                                             SReducedCopies& out, std::string* detail = nullptr);

}  // namespace mosaic
