#pragma once
// Reduced copies of a sheet (1/8 and 1/64 of each side) for the zoomed-out seamless map, built
// once from the decoded sheet and kept in the user's cache folder. A kept file holds the key it
// was made for (the sheet file's path, size, modification time and the colours), so a copy of
// another sheet, of a sheet changed since or of other colours reads as foreign; anything damaged
// reads as such and is rebuilt by the caller. No threads here: the caller runs it on its workers.
#include <QImage>
#include <QRect>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"

class SheetImage;

namespace mosaic {

/// Largest sheet side a reduced copy is made of (and so the largest copy a file may claim).
inline constexpr int kMaxReducedSheetSide = 32768;

/// Both copies, opaque RGB32. `eighth` averages 8 x 8 blocks of the recoloured sheet, `sixtyFourth`
/// 64 x 64 blocks (exactly, not from the rounded eighth); blocks start at the top left, and the
/// partial blocks at the right and bottom edges average the pixels they have.
struct SReducedCopies {
  QImage eighth;
  QImage sixtyFourth;
};

/// Averages an 8-bit sheet through `colourTable` (256 entries of blue, green, red, reserved; at
/// least 1024 bytes) or a 24-bit sheet as it is, rounding each channel to nearest. Null images for
/// a null sheet, other bit counts, a short colour table or a side above kMaxReducedSheetSide.
/// `area` (image pixels; null for the whole image) limits the copies to a part of the sheet, its
/// top-left pixel the first of the first block: a sheet's frame, so that no collar or neat line
/// is averaged into the pixels along its edges.
[[nodiscard]] SReducedCopies BuildReducedCopies(const SheetImage& sheet, std::span<const std::uint8_t> colourTable,
                                                const QRect& area = {});

/// FNV-1a 64 of the colour table's 1024 bytes (fewer when it is shorter): copies hold colours, so
/// each colour scheme has its own.
[[nodiscard]] std::uint64_t ColourTableHash(std::span<const std::uint8_t> colourTable);

/// What a kept copy was made from.
struct SReducedKey {
  std::string sheetPath;  ///< the sheet file's absolute path, UTF-8, generic form
  std::uint64_t fileSize = 0;
  std::int64_t modifiedNs = 0;  ///< modification time, nanoseconds on the file system's clock
  std::uint64_t colourHash = 0;
  bool operator==(const SReducedKey&) const = default;
};

/// The key of a sheet file as it is now; none when the file cannot be looked at or is no
/// regular file.
[[nodiscard]] std::optional<SReducedKey> ReducedKeyFor(const std::filesystem::path& sheet, std::uint64_t colourHash);

/// cacheFolder / "reduced" / (16 hex digits of a hash of the whole key) + ".vrc".
[[nodiscard]] std::filesystem::path ReducedCopyPath(const std::filesystem::path& cacheFolder, const SReducedKey& key);

/// Writes both copies with their key, creating the folder; a failed write leaves a previous file
/// whole. Refuses copies that the reader would refuse (null, not the sizes of one sheet's copies,
/// larger than a sheet of kMaxReducedSheetSide makes, or a key path above 64 KiB).
[[nodiscard]] platform::SFileWriteResult WriteReducedCopies(const std::filesystem::path& file, const SReducedKey& key,
                                                            const SReducedCopies& copies);

enum class EReducedRead {
  Ok,
  Missing,  ///< no file there
  Damaged,  ///< unreadable, not such a file, truncated, spoilt or with bytes after the end
  Foreign,  ///< whole, but of another key or another version of the format
};

/// Reads the copies kept for `key`; `out` is untouched unless Ok. `detail` (ASCII) says why not.
[[nodiscard]] EReducedRead ReadReducedCopies(const std::filesystem::path& file, const SReducedKey& key,
                                             SReducedCopies& out, std::string* detail = nullptr);

/// The file's bytes for the copies; empty with `reason` set when they would be refused.
[[nodiscard]] std::vector<std::uint8_t> encodeReducedCopies(const SReducedKey& key, const SReducedCopies& copies,
                                                            std::string* reason = nullptr);
/// The reader on bytes in memory (never Missing).
[[nodiscard]] EReducedRead decodeReducedCopies(std::span<const std::uint8_t> bytes, const SReducedKey& key,
                                               SReducedCopies& out, std::string* detail = nullptr);

}  // namespace mosaic
