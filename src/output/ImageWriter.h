#pragma once
// The map image files: uncompressed 24-bit Windows bitmaps and 24-bit PNG. Every writer to a
// path writes beside the target and renames into place, so a failure leaves a previous file
// under that name whole; the device forms serve tests and other destinations.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

class CBgrImage;
class QIODevice;

/// Called after every row written with the share of the rows done so far (row / height, ending
/// at 1). Runs inside the encoder: it must not throw.
using WriteProgress = std::function<void(double fraction)>;

/// A Windows bitmap: the 14-byte file header, a 40-byte information header (24 bits, no
/// compression, no resolution, no colour table) and the rows bottom-up, each padded to 4 bytes.
/// False for an empty picture or when the file cannot be written.
[[nodiscard]] bool WriteBmp(const std::filesystem::path& path, const CBgrImage& image,
                            const WriteProgress& progress = {});
[[nodiscard]] bool WriteBmp(QIODevice& device, const CBgrImage& image, const WriteProgress& progress = {});

/// A PNG through libpng: 8-bit RGB, not interlaced, the Sub filter on every row, zlib's default
/// level, and no chunks besides IHDR, IDAT and IEND. False for an empty picture, on any libpng
/// error (such as a side above its limit of 1,000,000 pixels) or when the file cannot be written.
[[nodiscard]] bool WritePng(const std::filesystem::path& path, const CBgrImage& image,
                            const WriteProgress& progress = {});
[[nodiscard]] bool WritePng(QIODevice& device, const CBgrImage& image, const WriteProgress& progress = {});

/// Rows for WritePngRows, top-down, 8 bits a channel as they lie in memory: 24-bit blue, green,
/// red, or 32-bit 0xAARRGGBB words (the alpha written, or the word's top byte dropped).
enum class EPngRows { Bgr24, Xrgb32, Argb32 };
struct SPngRows {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  const std::uint8_t* const* rows = nullptr;
  EPngRows layout = EPngRows::Bgr24;
  bool subFilter = true;  ///< the Sub filter on every row; otherwise none
  int level = -1;         ///< zlib's level; -1 for its default
};
/// Receives the encoded bytes; false stops the encoder.
using PngSink = std::function<bool(const std::uint8_t* data, std::size_t bytes)>;
/// A PNG through libpng (RGB, or RGBA for Argb32; not interlaced; no chunks besides IHDR, IDAT and
/// IEND). False on any libpng error (such as a side above its limit of 1,000,000 pixels) or when
/// `sink` refuses the bytes.
[[nodiscard]] bool WritePngRows(const SPngRows& rows, const PngSink& sink, const WriteProgress& progress = {});

/// A packed device-independent bitmap as held in memory (information header, colour table,
/// rows) behind a 14-byte file header whose pixel offset is 14 + `pixelOffset`. False when the
/// block is shorter than 40 bytes or `pixelOffset`, larger than 4 GiB, or cannot be written.
[[nodiscard]] bool WritePackedBitmap(const std::filesystem::path& path, std::span<const std::uint8_t> block,
                                     std::size_t pixelOffset);
