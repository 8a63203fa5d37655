#pragma once
// A map sheet held as a packed device-independent bitmap: a 40-byte information header, the
// colour table (blue, green, red, 0 per entry) and the pixel rows bottom-up, all in one block.
// The block is kept between sheets: reading the next sheet reuses its memory when it fits.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

/// The bitmap information header as it lies at the start of the block (little-endian fields).
struct SBitmapInfoHeader {
  std::uint32_t size = 40;  ///< 40, or 12 for the old core header
  std::int32_t width = 0;
  std::int32_t height = 0;  ///< positive: rows run bottom-up
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;  ///< width x bit count x height / 8 (ignores row padding)
  std::int32_t xPelsPerMeter = 2834;
  std::int32_t yPelsPerMeter = 2834;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;
};
static_assert(sizeof(SBitmapInfoHeader) == 40);

/// Entries in the colour table: clrUsed when set, else 2/16/256 for 1/4/8 bits, 0 otherwise.
[[nodiscard]] std::uint32_t ColourCount(const SBitmapInfoHeader& header);
/// Bytes of the colour table (3 per entry after an old 12-byte header, 4 otherwise).
[[nodiscard]] std::uint32_t ColourTableSize(const SBitmapInfoHeader& header);

/// Largest pixel area a bitmap may take; anything above is refused before allocating.
inline constexpr std::uint64_t kMaxBitmapBytes = std::uint64_t{1} << 30;

class SheetImage {
 public:
  SheetImage() = default;

  /// True when no bitmap is held (never created, cleared, or the last read failed).
  [[nodiscard]] bool isNull() const { return m_size == 0; }
  /// Drops the bitmap but keeps the memory for the next one.
  void clear() { m_size = 0; }
  /// Gives the memory back as well.
  void release();

  [[nodiscard]] SBitmapInfoHeader header() const;
  [[nodiscard]] int width() const;
  [[nodiscard]] int height() const;
  [[nodiscard]] int bitCount() const;
  /// Bytes per pixel row in the block, padded to a multiple of 4.
  [[nodiscard]] int stride() const;

  /// Colour table entries (0 for a 24-bit bitmap); each entry is blue, green, red, 0.
  [[nodiscard]] int colourCount() const;
  [[nodiscard]] std::uint8_t* colourTable();
  [[nodiscard]] const std::uint8_t* colourTable() const;

  /// The first pixel row in memory, which is the bottom row of the image.
  [[nodiscard]] std::uint8_t* bits();
  [[nodiscard]] const std::uint8_t* bits() const;
  /// Image row `y` counted from the top (0 = top row); nullptr when out of range.
  [[nodiscard]] std::uint8_t* scanLine(int y);
  [[nodiscard]] const std::uint8_t* scanLine(int y) const;

  /// The whole packed block: header, colour table, rows.
  [[nodiscard]] const std::uint8_t* data() const { return isNull() ? nullptr : m_block.data(); }
  [[nodiscard]] std::uint8_t* data() { return isNull() ? nullptr : m_block.data(); }
  [[nodiscard]] std::size_t size() const { return m_size; }
  /// Bytes of memory held for this bitmap and the next ones.
  [[nodiscard]] std::size_t capacity() const { return m_block.capacity(); }

  /// Offset of the pixel rows from the start of the block.
  [[nodiscard]] std::size_t pixelOffset() const;

 private:
  friend struct SSheetImageAccess;
  std::vector<std::uint8_t> m_block;  ///< at least m_size bytes; kept between bitmaps
  std::size_t m_size = 0;             ///< bytes of the current bitmap, 0 when null
};

/// Makes `image` a zero-filled bitmap of the given size, reusing its memory; the requested bit
/// count is stored as 1, 4, 8 or 24 (the smallest that holds it; above 24 it is refused). False
/// (and `image` null) for negative sizes, a bitmap above kMaxBitmapBytes, or when memory runs out.
[[nodiscard]] bool CreatePackedBitmap(SheetImage& image, int width, int height, int bitCount);

enum class ESheetImageError { None, Open, NotTiff, Unsupported, TooLarge, NoMemory, Decode };

struct SSheetImageStatus {
  ESheetImageError error = ESheetImageError::None;
  std::string detail;  ///< why it failed, with libtiff's own messages (UTF-8/ASCII, one line)
  [[nodiscard]] bool ok() const { return error == ESheetImageError::None; }
};

/// Called after each strip with the fraction of rows done (0..1).
using SheetProgress = std::function<void(float)>;

/// Reads a sheet TIFF (8-bit palette or grey, or 24-bit RGB) into `image`, reusing its memory.
/// On failure `image` is null and the status says why; libtiff's messages never reach stderr.
[[nodiscard]] SSheetImageStatus ReadSheetImage(const std::filesystem::path& path, SheetImage& image,
                                               const SheetProgress& progress = {});
/// The same from TIFF bytes in memory.
[[nodiscard]] SSheetImageStatus ReadSheetImage(std::span<const std::uint8_t> tiff, SheetImage& image,
                                               const SheetProgress& progress = {});

/// The same with the strips decoded on `threads` threads at once (this one among them, never more
/// than there are strips), each with its own libtiff handle on the bytes; same pixels and the
/// same status (the first failed strip in strip order). `progress` is called on this thread only.
/// With `threads` <= 1, and for tiled images, one strip of the whole image or codecs that take
/// memory as they decode (JPEG, ZSTD, ...), it is the one-thread read above.
[[nodiscard]] SSheetImageStatus ReadSheetImage(std::span<const std::uint8_t> tiff, SheetImage& image,
                                               const SheetProgress& progress, int threads);
/// The file read into memory once (kept between reads), then as above. A file that cannot be read
/// whole, or is above kMaxBitmapBytes, is read by the one-thread reader, with its statuses.
[[nodiscard]] SSheetImageStatus ReadSheetImage(const std::filesystem::path& path, SheetImage& image,
                                               const SheetProgress& progress, int threads);
