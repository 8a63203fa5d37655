#include "output/ImageWriter.h"

#include <png.h>

#include <QIODevice>
#include <QtGlobal>
#include <QString>
#include <algorithm>
#include <array>
#include <csetjmp>
#include <vector>

#include "output/CBgrImage.h"
#include "platform/AtomicFile.h"

namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;

template <std::size_t N>
void putLe(std::array<std::uint8_t, N>& bytes, std::size_t at, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool writeAll(QIODevice& device, const void* data, std::size_t bytes) {
  return device.write(static_cast<const char*>(data), static_cast<qint64>(bytes)) == static_cast<qint64>(bytes);
}

// "BM", the size of the whole file, two reserved words, the offset of the pixel rows.
std::array<std::uint8_t, kFileHeaderBytes> fileHeader(std::uint64_t fileSize, std::uint64_t pixelOffset) {
  std::array<std::uint8_t, kFileHeaderBytes> head{'B', 'M'};
  putLe(head, 2, fileSize, 4);
  putLe(head, 10, pixelOffset, 4);
  return head;
}

// Writes beside the target and renames into place only when every byte reached the disk.
template <typename Write>
bool saveAtomically(const std::filesystem::path& path, Write&& write) {
  platform::CAtomicFile file(path);
  if (!file.open()) return false;
  if (!write(static_cast<QIODevice&>(file))) {
    file.discard();
    return false;
  }
  return file.commit();
}

// ---- PNG ----

struct SPngSink {
  const PngSink* write = nullptr;
  const WriteProgress* progress = nullptr;
  png_uint_32 height = 0;
};

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<SPngSink*>(png_get_io_ptr(png));
  if (!(*sink->write)(data, length)) png_error(png, "write failed");
}
void pngFlush(png_structp) {}
void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}
void pngRowWritten(png_structp png, png_uint_32 row, int) {
  const auto* sink = static_cast<const SPngSink*>(png_get_io_ptr(png));
  if (*sink->progress) (*sink->progress)(static_cast<double>(row) / sink->height);
}

// Only plain data lives in this frame: libpng leaves it with longjmp on errors.
bool writePngRows(SPngSink* sink, const SPngRows* rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, pngWrite, pngFlush);
  png_set_write_status_fn(png, pngRowWritten);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, rows->subFilter ? PNG_FILTER_SUB : PNG_FILTER_NONE);
  if (rows->level >= 0) png_set_compression_level(png, rows->level);
  const bool alpha = rows->layout == EPngRows::Argb32;
  png_set_IHDR(png, info, rows->width, rows->height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // 0xAARRGGBB words lie blue first in memory on little-endian processors.
  const bool words = rows->layout != EPngRows::Bgr24;
  if (!words || Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
    png_set_bgr(png);
    if (words && !alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
  } else if (alpha) {
    png_set_swap_alpha(png);
  } else {
    png_set_filler(png, 0, PNG_FILLER_BEFORE);
  }
  png_write_image(png, const_cast<png_bytepp>(rows->rows));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WriteBmp(QIODevice& device, const CBgrImage& image, const WriteProgress& progress) {
  if (image.isNull()) return false;
  const std::span<const std::uint8_t> bits = image.bits();
  const std::uint64_t offset = kFileHeaderBytes + kInfoHeaderBytes;
  const auto head = fileHeader(offset + bits.size(), offset);
  std::array<std::uint8_t, kInfoHeaderBytes> info{};
  putLe(info, 0, kInfoHeaderBytes, 4);
  putLe(info, 4, static_cast<std::uint32_t>(image.width()), 4);
  putLe(info, 8, static_cast<std::uint32_t>(image.height()), 4);  // positive: bottom-up
  putLe(info, 12, 1, 2);                                          // planes
  putLe(info, 14, 24, 2);                                         // bits per pixel
  putLe(info, 20, bits.size(), 4);                                // image size; the rest stays 0
  if (!writeAll(device, head.data(), head.size()) || !writeAll(device, info.data(), info.size())) return false;
  const auto stride = static_cast<std::size_t>(image.stride());
  const int height = image.height();
  // The rows lie in file order already: about 1 MB per write, each row reported once written.
  const int chunk = static_cast<int>(std::max<std::size_t>(1, (std::size_t{1} << 20) / stride));
  for (int first = 0; first < height; first += chunk) {
    const int rows = std::min(chunk, height - first);
    if (!writeAll(device, bits.data() + static_cast<std::size_t>(first) * stride, static_cast<std::size_t>(rows) * stride))
      return false;
    if (progress)
      for (int i = first; i < first + rows; ++i) progress(static_cast<double>(i + 1) / height);
  }
  return true;
}

bool WriteBmp(const std::filesystem::path& path, const CBgrImage& image, const WriteProgress& progress) {
  if (image.isNull()) return false;
  return saveAtomically(path, [&](QIODevice& device) { return WriteBmp(device, image, progress); });
}

bool WritePngRows(const SPngRows& rows, const PngSink& sink, const WriteProgress& progress) {
  if (rows.width == 0 || rows.height == 0 || !rows.rows) return false;
  SPngSink state{&sink, &progress, rows.height};
  return writePngRows(&state, &rows);
}

bool WritePng(QIODevice& device, const CBgrImage& image, const WriteProgress& progress) {
  if (image.isNull()) return false;
  // Row pointers top-down into the bottom-up rows; libpng only reads through them.
  const int height = image.height();
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) rows[static_cast<std::size_t>(y)] = image.scanLine(y);
  SPngRows layout;
  layout.width = static_cast<std::uint32_t>(image.width());
  layout.height = static_cast<std::uint32_t>(height);
  layout.rows = rows.data();
  return WritePngRows(layout, [&](const std::uint8_t* data, std::size_t bytes) { return writeAll(device, data, bytes); },
                      progress);
}

bool WritePng(const std::filesystem::path& path, const CBgrImage& image, const WriteProgress& progress) {
  if (image.isNull()) return false;
  return saveAtomically(path, [&](QIODevice& device) { return WritePng(device, image, progress); });
}

bool WritePackedBitmap(const std::filesystem::path& path, std::span<const std::uint8_t> block,
                       std::size_t pixelOffset) {
  const std::uint64_t fileSize = std::uint64_t{kFileHeaderBytes} + block.size();
  if (block.size() < kInfoHeaderBytes || pixelOffset > block.size() || fileSize > 0xFFFFFFFFu) return false;
  const auto head = fileHeader(fileSize, kFileHeaderBytes + pixelOffset);
  return saveAtomically(path, [&](QIODevice& device) {
    return writeAll(device, head.data(), head.size()) && writeAll(device, block.data(), block.size());
  });
}
