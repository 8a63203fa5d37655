#include "maps/SheetImage.h"

#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "platform/FileLookup.h"

namespace {

constexpr std::size_t kHeaderBytes = 40;

void putU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void putU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t getU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t getU32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

void writeHeader(std::uint8_t* p, const SBitmapInfoHeader& h) {
  putU32(p + 0, h.size);
  putU32(p + 4, static_cast<std::uint32_t>(h.width));
  putU32(p + 8, static_cast<std::uint32_t>(h.height));
  putU16(p + 12, h.planes);
  putU16(p + 14, h.bitCount);
  putU32(p + 16, h.compression);
  putU32(p + 20, h.sizeImage);
  putU32(p + 24, static_cast<std::uint32_t>(h.xPelsPerMeter));
  putU32(p + 28, static_cast<std::uint32_t>(h.yPelsPerMeter));
  putU32(p + 32, h.clrUsed);
  putU32(p + 36, h.clrImportant);
}

std::uint64_t strideFor(std::uint64_t width, std::uint64_t bitCount) { return ((width * bitCount + 31) / 32) * 4; }

}  // namespace

std::uint32_t ColourCount(const SBitmapInfoHeader& header) {
  if (header.clrUsed != 0) return header.clrUsed;
  switch (header.bitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

std::uint32_t ColourTableSize(const SBitmapInfoHeader& header) {
  return ColourCount(header) * (header.size == 12 ? 3u : 4u);
}

void SheetImage::release() {
  m_size = 0;
  std::vector<std::uint8_t>().swap(m_block);
}

SBitmapInfoHeader SheetImage::header() const {
  SBitmapInfoHeader h;
  if (isNull()) return h;
  const std::uint8_t* p = m_block.data();
  h.size = getU32(p + 0);
  h.width = static_cast<std::int32_t>(getU32(p + 4));
  h.height = static_cast<std::int32_t>(getU32(p + 8));
  h.planes = getU16(p + 12);
  h.bitCount = getU16(p + 14);
  h.compression = getU32(p + 16);
  h.sizeImage = getU32(p + 20);
  h.xPelsPerMeter = static_cast<std::int32_t>(getU32(p + 24));
  h.yPelsPerMeter = static_cast<std::int32_t>(getU32(p + 28));
  h.clrUsed = getU32(p + 32);
  h.clrImportant = getU32(p + 36);
  return h;
}

int SheetImage::width() const { return isNull() ? 0 : static_cast<int>(getU32(m_block.data() + 4)); }
int SheetImage::height() const { return isNull() ? 0 : static_cast<int>(getU32(m_block.data() + 8)); }
int SheetImage::bitCount() const { return isNull() ? 0 : getU16(m_block.data() + 14); }
int SheetImage::stride() const {
  return static_cast<int>(strideFor(static_cast<std::uint64_t>(std::max(width(), 0)),
                                    static_cast<std::uint64_t>(bitCount())));
}
int SheetImage::colourCount() const { return isNull() ? 0 : static_cast<int>(ColourCount(header())); }

std::size_t SheetImage::pixelOffset() const {
  return isNull() ? 0 : kHeaderBytes + ColourTableSize(header());
}

std::uint8_t* SheetImage::colourTable() { return isNull() ? nullptr : m_block.data() + kHeaderBytes; }
const std::uint8_t* SheetImage::colourTable() const { return isNull() ? nullptr : m_block.data() + kHeaderBytes; }
std::uint8_t* SheetImage::bits() { return isNull() ? nullptr : m_block.data() + pixelOffset(); }
const std::uint8_t* SheetImage::bits() const { return isNull() ? nullptr : m_block.data() + pixelOffset(); }

std::uint8_t* SheetImage::scanLine(int y) {
  const int h = height();
  if (isNull() || y < 0 || y >= h) return nullptr;
  return bits() + static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(stride());
}
const std::uint8_t* SheetImage::scanLine(int y) const { return const_cast<SheetImage*>(this)->scanLine(y); }

struct SSheetImageAccess {
  // With `zeroRows` false the pixel rows keep whatever the reused block held (the reader
  // overwrites every row); header, colour table and row padding are always cleared.
  static bool create(SheetImage& image, int width, int height, int bitCount, bool zeroRows);
  // The block of a null image, at least `bytes` long (growing keeps what it holds); nullptr when
  // memory runs out. For a reader that takes memory only as fast as the data turns out real.
  static std::uint8_t* grow(SheetImage& image, std::size_t bytes) {
    image.m_size = 0;
    try {
      if (image.m_block.size() < bytes) image.m_block.resize(bytes);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    return image.m_block.data();
  }
};

bool CreatePackedBitmap(SheetImage& image, int width, int height, int bitCount) {
  return SSheetImageAccess::create(image, width, height, bitCount, true);
}

bool SSheetImageAccess::create(SheetImage& image, int width, int height, int bitCount, bool zeroRows) {
  image.m_size = 0;
  if (width < 0 || height < 0) return false;
  std::uint16_t bits = 0;
  if (bitCount <= 1) bits = 1;
  else if (bitCount <= 4) bits = 4;
  else if (bitCount <= 8) bits = 8;
  else if (bitCount < 25) bits = 24;
  else return false;

  SBitmapInfoHeader h;
  h.width = width;
  h.height = height;
  h.bitCount = bits;
  // The stored size ignores row padding, as the format's writers always did; nothing here
  // sizes memory by it.
  h.sizeImage = static_cast<std::uint32_t>(std::uint64_t(width) * bits * std::uint64_t(height) / 8);
  const std::uint64_t stride = strideFor(std::uint64_t(width), bits);
  const std::uint64_t pixels = stride * std::uint64_t(height);
  if (pixels > kMaxBitmapBytes) return false;
  const std::size_t table = ColourTableSize(h);
  const std::size_t total = kHeaderBytes + table + static_cast<std::size_t>(pixels);
  try {
    // Growing zero-fills only the new bytes; a reused block gets its header, table and row
    // padding cleared below, and its rows are rewritten by the caller.
    if (image.m_block.size() < total) image.m_block.resize(total);
  } catch (const std::bad_alloc&) {
    return false;
  }
  image.m_size = total;
  std::uint8_t* p = image.m_block.data();
  writeHeader(p, h);
  std::memset(p + kHeaderBytes, 0, table);
  if (zeroRows) {
    std::memset(p + kHeaderBytes + table, 0, static_cast<std::size_t>(pixels));
    return true;
  }
  const std::uint64_t used = (std::uint64_t(width) * bits + 7) / 8;
  if (used < stride) {
    std::uint8_t* row = p + kHeaderBytes + table;
    for (int y = 0; y < height; ++y, row += stride) std::memset(row + used, 0, static_cast<std::size_t>(stride - used));
  }
  return true;
}

namespace {

// Collects libtiff's messages for one handle instead of letting them reach stderr.
struct SMessageSink {
  std::string text;
  static int handler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* sink = static_cast<SMessageSink*>(user);
    if (sink->text.size() > 2000) return 1;  // a broken file can repeat a message per row
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    if (!sink->text.empty()) sink->text += "; ";
    if (module && *module) {
      sink->text += module;
      sink->text += ": ";
    }
    for (const char* c = buf; *c; ++c) sink->text += (*c == '\n' || *c == '\r') ? ' ' : *c;
    return 1;
  }
};

struct SMemoryFile {
  std::span<const std::uint8_t> bytes;
  std::uint64_t pos = 0;

  static tmsize_t read(thandle_t h, void* buf, tmsize_t size) {
    auto* f = static_cast<SMemoryFile*>(h);
    if (size <= 0 || f->pos >= f->bytes.size()) return 0;
    const std::uint64_t n = std::min<std::uint64_t>(std::uint64_t(size), f->bytes.size() - f->pos);
    std::memcpy(buf, f->bytes.data() + f->pos, static_cast<std::size_t>(n));
    f->pos += n;
    return static_cast<tmsize_t>(n);
  }
  static tmsize_t write(thandle_t, void*, tmsize_t) { return -1; }
  static toff_t seek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<SMemoryFile*>(h);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = f->pos;
    else if (whence == SEEK_END) base = f->bytes.size();
    const std::uint64_t target = base + off;
    if (target < base) return static_cast<toff_t>(-1);
    f->pos = target;
    return target;
  }
  static int close(thandle_t) { return 0; }
  static toff_t size(thandle_t h) { return static_cast<SMemoryFile*>(h)->bytes.size(); }
  static int map(thandle_t h, void** base, toff_t* psize) {
    auto* f = static_cast<SMemoryFile*>(h);
    *base = const_cast<std::uint8_t*>(f->bytes.data());
    *psize = f->bytes.size();
    return 1;
  }
  static void unmap(thandle_t, void*, toff_t) {}
};

struct STiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
struct SOptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

SSheetImageStatus failure(SheetImage& image, ESheetImageError error, std::string detail, const SMessageSink& sink) {
  image.clear();
  if (!sink.text.empty()) detail += " (" + sink.text + ")";
  return {error, std::move(detail)};
}

// The strip buffer is kept between reads, as the bitmap is.
std::vector<std::uint8_t>& stripBuffer() {
  thread_local std::vector<std::uint8_t> buffer;
  return buffer;
}

// Most bytes of image one byte of a strip can decode to, for the codecs where that is bounded;
// 0 for the others (JPEG, ZSTD, LZMA, WebP, ...), whose images take memory as they decode.
std::uint64_t maxExpansion(std::uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE: return 1;
    // Two bytes repeat one byte at most 128 times.
    case COMPRESSION_PACKBITS: return 64;
    // The longest match, 258 bytes, costs at least two bits.
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE: return 1032;
    // A code has 12 bits at the most and stands for 3,839 bytes at the most: each of the 3,838
    // table entries after the 258 fixed codes is at most one byte longer than those before it.
    case COMPRESSION_LZW: return 2560;
    default: return 0;
  }
}

// Above this a bitmap is taken only when the file's strip bytes, each counted once, can decode
// to the whole image (strips sharing bytes are legal but no sheet has them).
constexpr std::uint64_t kCheckedBitmapBytes = std::uint64_t{64} << 20;
// A strip of a codec without a bound is first decoded this far, then twice as far as it really
// gave, and so on.
constexpr std::uint64_t kProbeBytes = std::uint64_t{4} << 20;

// Whether the strips can hold the rows they must give, before any memory is taken for them: each
// strip's bytes (within the file) times the codec's expansion must reach its rows, and for a
// large image the distinct bytes of all strips must reach the whole image. Without a known
// expansion only a large image whose strips share bytes is refused.
bool stripsCanHold(TIFF* tif, std::uint64_t expansion, std::uint64_t fileBytes, std::uint64_t height,
                   std::uint64_t rps, std::uint64_t lineBytes, std::string& why) {
  std::uint64_t* offsets = nullptr;
  std::uint64_t* counts = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) || !TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) ||
      !offsets || !counts) {
    why = "no strip offsets or byte counts";
    return false;
  }
  const std::uint32_t strips = TIFFNumberOfStrips(tif);
  const bool large = height * lineBytes > kCheckedBitmapBytes;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;  // [begin, end) of the strips used
  std::uint64_t total = 0;
  for (std::uint64_t r = 0; r < height; r += rps) {
    const std::uint32_t s = TIFFComputeStrip(tif, static_cast<std::uint32_t>(r), 0);
    const std::uint64_t need = std::min(rps, height - r) * lineBytes;
    if (s >= strips) {
      why = "no strip for row " + std::to_string(r);
      return false;
    }
    const std::uint64_t room = offsets[s] < fileBytes ? fileBytes - offsets[s] : 0;
    // Uncompressed strips are read whole from their offset, whatever their byte count says.
    const std::uint64_t held = std::min(expansion == 1 ? need : counts[s], room);
    if (expansion != 0 && held * expansion < need) {
      why = "the strip at row " + std::to_string(r) + " holds " + std::to_string(held) + " bytes for " +
            std::to_string(need) + " bytes of image";
      return false;
    }
    if (large) ranges.emplace_back(offsets[s], offsets[s] + held);
    total += held;
  }
  if (!large) return true;
  std::sort(ranges.begin(), ranges.end());
  std::uint64_t distinct = 0, end = 0;
  for (const auto& [begin, stop] : ranges) {
    if (stop <= end) continue;
    distinct += stop - std::max(begin, end);
    end = stop;
  }
  if (expansion == 0 && distinct < total) {
    why = "the strips of a large image share their bytes";
    return false;
  }
  if (expansion != 0 && distinct * expansion < height * lineBytes) {
    why = "the file's " + std::to_string(distinct) + " bytes of strips cannot hold an image of " +
          std::to_string(height * lineBytes) + " bytes";
    return false;
  }
  return true;
}

// Reads strip `s` (`want` bytes) into the memory `place(bytes)` makes room for, asking for room
// only as fast as the data turns out to be there. -1 when the read fails, -2 without memory.
template <class Place>
tmsize_t readProved(TIFF* tif, std::uint32_t s, std::uint64_t want, const Place& place) {
  std::uint64_t ask = std::min(want, kProbeBytes);
  for (;;) {
    std::uint8_t* dst = place(ask);
    if (!dst) return -2;
    // A shorter size decodes the strip's first bytes only; each probe decodes from the start.
    const tmsize_t got = TIFFReadEncodedStrip(tif, s, dst, static_cast<tmsize_t>(ask));
    if (got < 0 || static_cast<std::uint64_t>(got) < ask || ask == want) return got;
    ask = std::min(want, ask * 2);
  }
}

// `n` rows of `rowBytes` packed at `rows` spread to `stride` bytes each, padding zeroed.
void spreadRows(std::uint8_t* rows, std::uint64_t n, std::size_t rowBytes, std::size_t stride) {
  if (stride == rowBytes) return;
  for (std::uint64_t k = n; k-- > 1;) {
    std::uint8_t* row = rows + static_cast<std::size_t>(k) * stride;
    std::memmove(row, rows + static_cast<std::size_t>(k) * rowBytes, rowBytes);
    std::memset(row + rowBytes, 0, stride - rowBytes);
  }
  if (n != 0) std::memset(rows + rowBytes, 0, stride - rowBytes);
}

void reverseRows(std::uint8_t* rows, std::uint64_t n, std::size_t stride, std::vector<std::uint8_t>& spare) {
  spare.resize(stride);
  for (std::uint64_t k = 0; k < n / 2; ++k) {
    std::uint8_t* a = rows + static_cast<std::size_t>(k) * stride;
    std::uint8_t* b = rows + static_cast<std::size_t>(n - 1 - k) * stride;
    std::memcpy(spare.data(), a, stride);
    std::memcpy(a, b, stride);
    std::memcpy(b, spare.data(), stride);
  }
}

// What the checks found out about a sheet, and where its rows go in the block.
struct SSheetLayout {
  std::uint32_t width = 0, height = 0;
  std::uint64_t p = 1;          // bytes per pixel: 1 or 3
  std::uint64_t lineBytes = 0;  // bytes of one decoded row
  std::uint64_t rps = 1;        // rows per strip
  std::uint64_t stripBytes = 0;
  std::size_t rowBytes = 0, stride = 0;
  std::size_t pixelOffset = 0;  // where the rows start in the block, known before the bitmap is made
  bool palette = false;
  // A codec without a bounded expansion: the bitmap grows strip by strip with its rows top-down.
  bool lazy = false;
  std::uint8_t table[256 * 4] = {};

  [[nodiscard]] std::uint32_t strips() const { return static_cast<std::uint32_t>((height + rps - 1) / rps); }
  // 8-bit rows decode straight into the bitmap: the strip lands on the memory rows it ends up
  // in, is spread to the padded stride and turned upside down there while still in cache, which
  // saves a pass over the whole image.
  [[nodiscard]] bool direct() const { return p == 1; }
};

// Checks the image and its strips and fills `layout`; on failure `image` is null and the status
// says why. `fileBytes` is the size of the whole file: no strip can hold more than that.
SSheetImageStatus inspect(TIFF* tif, std::uint64_t fileBytes, SheetImage& image, const SMessageSink& sink,
                          SSheetLayout& layout) {
  std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
  std::uint16_t bitsPerSample = 1, photometric = 0, samples = 1, planar = PLANARCONFIG_CONTIG;
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
    return failure(image, ESheetImageError::Unsupported, "no photometric interpretation", sink);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);

  if (width == 0 || width > 0x7fffffffu || height > 0x7fffffffu)
    return failure(image, ESheetImageError::Unsupported, "image size " + std::to_string(width) + " x " +
                                                             std::to_string(height) + " cannot be shown", sink);
  if (TIFFIsTiled(tif)) return failure(image, ESheetImageError::Unsupported, "tiled images are not read", sink);
  if (bitsPerSample != 8)
    return failure(image, ESheetImageError::Unsupported,
                   std::to_string(bitsPerSample) + " bits per sample (only 8 are read)", sink);
  const std::uint64_t lineBytes = static_cast<std::uint64_t>(TIFFScanlineSize64(tif));
  const std::uint64_t p = lineBytes / width;
  const bool grey = (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK) && samples == 1;
  const bool palette = photometric == PHOTOMETRIC_PALETTE && samples == 1;
  const bool rgb = photometric == PHOTOMETRIC_RGB && samples == 3 && planar == PLANARCONFIG_CONTIG;
  if (!((grey || palette) && p == 1) && !(rgb && p == 3))
    return failure(image, ESheetImageError::Unsupported,
                   "photometric " + std::to_string(photometric) + " with " + std::to_string(samples) +
                       " samples per pixel (8-bit palette or grey, or 24-bit RGB are read)", sink);

  const std::uint64_t stride = strideFor(width, p * 8);
  if (stride * height > kMaxBitmapBytes)
    return failure(image, ESheetImageError::TooLarge,
                   "image " + std::to_string(width) + " x " + std::to_string(height) + " is larger than 1 GiB", sink);
  // A missing tag reads as 2^32 - 1 and a zero would never advance: both mean one strip.
  const std::uint64_t rps = (rowsPerStrip == 0 || rowsPerStrip > height) ? std::max<std::uint32_t>(height, 1)
                                                                          : rowsPerStrip;
  const std::uint64_t stripBytes = rps * lineBytes;
  if (stripBytes > kMaxBitmapBytes)
    return failure(image, ESheetImageError::TooLarge, "strip larger than 1 GiB", sink);

  // Nothing is allocated for the image before the file shows it holds the data: for a codec with
  // a bounded expansion by its strips' sizes, otherwise by decoding (the bitmap then grows strip
  // by strip with its rows top-down, and is turned over at the end).
  const std::uint64_t expansion = maxExpansion(compression);
  std::string why;
  if (!stripsCanHold(tif, expansion, fileBytes, height, rps, lineBytes, why))
    return failure(image, ESheetImageError::Decode, why, sink);

  if (palette) {
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
      return failure(image, ESheetImageError::Decode, "palette image without a colour map", sink);
    constexpr int kEntries = 256;
    bool wide = false;
    for (int i = 0; i < kEntries && !wide; ++i) wide = red[i] >= 256 || green[i] >= 256 || blue[i] >= 256;
    const auto component = [wide](std::uint16_t v) {
      return static_cast<std::uint8_t>(wide ? std::uint32_t{v} * 255 / 65535 : (v & 0xff));
    };
    for (int i = kEntries - 1; i >= 0; --i) {
      layout.table[4 * i + 0] = component(blue[i]);
      layout.table[4 * i + 1] = component(green[i]);
      layout.table[4 * i + 2] = component(red[i]);
      layout.table[4 * i + 3] = 0;
    }
  }
  layout.width = width;
  layout.height = height;
  layout.p = p;
  layout.lineBytes = lineBytes;
  layout.rps = rps;
  layout.stripBytes = stripBytes;
  layout.rowBytes = static_cast<std::size_t>(p * width);
  layout.stride = static_cast<std::size_t>(stride);
  layout.pixelOffset = kHeaderBytes + (p == 1 ? sizeof layout.table : 0);
  layout.palette = palette;
  layout.lazy = expansion == 0;
  return {};
}

bool createBitmap(SheetImage& image, const SSheetLayout& layout) {
  if (!SSheetImageAccess::create(image, static_cast<int>(layout.width), static_cast<int>(layout.height),
                                 static_cast<int>(layout.p * 8), false))
    return false;
  if (layout.palette) std::memcpy(image.colourTable(), layout.table, sizeof layout.table);
  return true;
}

// Memory for a strip of 24-bit rows, which are turned to blue, green, red on their way to the
// bitmap; 8-bit rows need none.
bool fitStripBuffer(const SSheetLayout& layout, std::vector<std::uint8_t>& strip) {
  try {
    if (strip.size() < layout.stripBytes && !layout.direct()) strip.resize(static_cast<std::size_t>(layout.stripBytes));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Why the read of the strip at row `r` that gave `got` of `want` bytes failed; empty when it did not.
std::string stripFault(tmsize_t got, std::uint64_t want, std::uint64_t r) {
  if (got < 0) return "strip at row " + std::to_string(r) + " cannot be read";
  if (static_cast<std::uint64_t>(got) < want) return "strip at row " + std::to_string(r) + " is short";
  return {};
}

// Lays the `n` decoded rows of one strip out at `target`, the first of the memory rows they take:
// from `strip` for 24-bit rows, in place for 8-bit ones. `topDown` while the bitmap grows lazily.
void placeStrip(const SSheetLayout& layout, std::uint8_t* target, const std::uint8_t* strip, std::uint64_t n,
                bool topDown, std::vector<std::uint8_t>& swapRow) {
  if (layout.direct()) {
    spreadRows(target, n, layout.rowBytes, layout.stride);
    if (!topDown) reverseRows(target, n, layout.stride, swapRow);
    return;
  }
  const std::uint8_t* src = strip;
  for (std::uint64_t k = 0; k < n; ++k, src += layout.lineBytes) {
    std::uint8_t* dst = target + static_cast<std::size_t>(topDown ? k : n - 1 - k) * layout.stride;
    for (std::size_t x = 0; x < layout.rowBytes; x += 3) {
      dst[x] = src[x + 2];
      dst[x + 1] = src[x + 1];
      dst[x + 2] = src[x];
    }
  }
}

// Decodes the strip at row `r` into its rows of the bitmap `block` (made before, not lazy); the
// reason when it fails. Strips touch only their own rows, so several may decode at once.
std::string readStrip(TIFF* tif, const SSheetLayout& layout, std::uint64_t r, std::uint8_t* block,
                      std::vector<std::uint8_t>& strip, std::vector<std::uint8_t>& swapRow) {
  const std::uint64_t n = std::min<std::uint64_t>(layout.rps, layout.height - r);
  const std::uint64_t want = n * layout.lineBytes;
  const std::uint32_t s = TIFFComputeStrip(tif, static_cast<std::uint32_t>(r), 0);
  // Image row r + k goes to memory row height - 1 - (r + k).
  std::uint8_t* const target = block + layout.pixelOffset + static_cast<std::size_t>(layout.height - r - n) * layout.stride;
  const tmsize_t got =
      TIFFReadEncodedStrip(tif, s, layout.direct() ? target : strip.data(), static_cast<tmsize_t>(want));
  std::string why = stripFault(got, want, r);
  if (why.empty()) placeStrip(layout, target, strip.data(), n, false, swapRow);
  return why;
}

// Sheets use small strips; an odd file with one huge strip should not pin that memory.
void trimStripBuffer(std::vector<std::uint8_t>& strip) {
  if (strip.capacity() > (std::size_t{16} << 20)) std::vector<std::uint8_t>().swap(strip);
}

// The strips one after another on the calling thread.
SSheetImageStatus decodeStrips(TIFF* tif, const SSheetLayout& layout, SheetImage& image, const SheetProgress& progress,
                               const SMessageSink& sink) {
  const bool lazy = layout.lazy;
  const std::uint64_t height = layout.height;
  if (!lazy && !createBitmap(image, layout))
    return failure(image, ESheetImageError::NoMemory, "no memory for the bitmap", sink);
  std::vector<std::uint8_t>& strip = stripBuffer();
  if (!lazy && !fitStripBuffer(layout, strip))
    return failure(image, ESheetImageError::NoMemory, "no memory for a strip", sink);

  const std::size_t dstStride = layout.stride;
  std::vector<std::uint8_t> swapRow;
  for (std::uint64_t r = 0; r < height; r += layout.rps) {
    if (!lazy) {
      const std::string why = readStrip(tif, layout, r, image.data(), strip, swapRow);
      if (!why.empty()) return failure(image, ESheetImageError::Decode, why, sink);
    } else {
      const std::uint64_t n = std::min<std::uint64_t>(layout.rps, height - r);
      const std::uint64_t want = n * layout.lineBytes;
      const std::uint32_t s = TIFFComputeStrip(tif, static_cast<std::uint32_t>(r), 0);
      // Image row r + k goes to memory row r + k while the bitmap grows.
      const std::size_t at = layout.pixelOffset + static_cast<std::size_t>(r) * dstStride;
      tmsize_t got = 0;
      if (layout.direct()) {
        got = readProved(tif, s, want, [&](std::uint64_t ask) {
          std::uint8_t* block = SSheetImageAccess::grow(image, at + static_cast<std::size_t>(ask));
          return block ? block + at : nullptr;
        });
      } else {
        got = readProved(tif, s, want, [&](std::uint64_t ask) -> std::uint8_t* {
          try {
            if (strip.size() < ask) strip.resize(static_cast<std::size_t>(ask));
          } catch (const std::bad_alloc&) {
            return nullptr;
          }
          return strip.data();
        });
      }
      if (got == -2) return failure(image, ESheetImageError::NoMemory, "no memory for the image", sink);
      const std::string why = stripFault(got, want, r);
      if (!why.empty()) return failure(image, ESheetImageError::Decode, why, sink);
      std::uint8_t* const block = SSheetImageAccess::grow(image, at + static_cast<std::size_t>(n) * dstStride);
      if (!block) return failure(image, ESheetImageError::NoMemory, "no memory for the image", sink);
      placeStrip(layout, block + at, strip.data(), n, true, swapRow);
    }
    if (progress) progress(static_cast<float>(static_cast<double>(r) / static_cast<double>(height)));
  }
  if (lazy) {
    if (!createBitmap(image, layout)) return failure(image, ESheetImageError::NoMemory, "no memory for the bitmap", sink);
    reverseRows(image.bits(), height, dstStride, swapRow);
  }
  trimStripBuffer(strip);
  return {};
}

SSheetImageStatus decode(TIFF* tif, std::uint64_t fileBytes, SheetImage& image, const SheetProgress& progress,
                         const SMessageSink& sink) {
  SSheetLayout layout;
  SSheetImageStatus st = inspect(tif, fileBytes, image, sink, layout);
  if (!st.ok()) return st;
  return decodeStrips(tif, layout, image, progress, sink);
}

std::unique_ptr<TIFFOpenOptions, SOptionsFree> makeOptions(SMessageSink& sink) {
  std::unique_ptr<TIFFOpenOptions, SOptionsFree> opts(TIFFOpenOptionsAlloc());
  if (!opts) return opts;
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), static_cast<tmsize_t>(kMaxBitmapBytes));
  // The handlers belong to the handle, so threads decoding at once each keep their own messages
  // and none reach libtiff's process-wide handlers (which write to stderr).
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), &SMessageSink::handler, &sink);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), &SMessageSink::handler, &sink);
  return opts;
}

SSheetImageStatus openFailure(SheetImage& image, const SMessageSink& sink, const char* what) {
  // libtiff says "Not a TIFF" for a bad signature; anything else is an open failure.
  const bool notTiff = sink.text.find("Not a TIFF") != std::string::npos ||
                       sink.text.find("Cannot read TIFF header") != std::string::npos;
  return failure(image, notTiff ? ESheetImageError::NotTiff : ESheetImageError::Open,
                 notTiff ? std::string("not a TIFF file") : std::string(what), sink);
}

// A libtiff handle on TIFF bytes in memory with its own messages; `tif` is null when the open
// failed. Neither copied nor moved: libtiff keeps pointers to the file and the sink.
struct SMemoryTiff {
  SMessageSink sink;
  SMemoryFile file;
  std::unique_ptr<TIFFOpenOptions, SOptionsFree> opts;
  std::unique_ptr<TIFF, STiffCloser> tif;

  SMemoryTiff(const char* name, std::span<const std::uint8_t> bytes) : file{bytes, 0}, opts(makeOptions(sink)) {
    if (opts)
      tif.reset(TIFFClientOpenExt(name, "r", &file, &SMemoryFile::read, &SMemoryFile::write, &SMemoryFile::seek,
                                  &SMemoryFile::close, &SMemoryFile::size, &SMemoryFile::map, &SMemoryFile::unmap,
                                  opts.get()));
  }
  SMemoryTiff(const SMemoryTiff&) = delete;
  SMemoryTiff& operator=(const SMemoryTiff&) = delete;
};

// The strips of one sheet, handed out to the threads decoding it one at a time.
struct SStripQueue {
  static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

  SStripQueue(const SSheetLayout& sheet, std::uint8_t* bitmap) : layout(sheet), block(bitmap), strips(sheet.strips()) {}

  const SSheetLayout& layout;
  std::uint8_t* block;
  std::uint32_t strips;
  std::atomic<std::uint32_t> next{0};
  std::atomic<std::uint64_t> rowsDone{0};
  // The first failed strip in strip order: strips after it are no longer taken, those before it
  // still are, since one of them may fail too and come first.
  std::atomic<std::uint32_t> firstFailed{kNone};
  std::mutex mutex;
  std::string why;       // of firstFailed
  std::string messages;  // libtiff's, while decoding firstFailed

  // Decodes strips until none is left; `afterStrip` runs after each on the thread that decoded it.
  template <class After>
  void drain(TIFF* tif, SMessageSink& sink, std::vector<std::uint8_t>& strip, const After& afterStrip) {
    std::vector<std::uint8_t> swapRow;
    for (;;) {
      const std::uint32_t i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= strips || i > firstFailed.load(std::memory_order_relaxed)) return;
      const std::uint64_t r = std::uint64_t{i} * layout.rps;
      sink.text.clear();
      std::string fault = readStrip(tif, layout, r, block, strip, swapRow);
      if (!fault.empty()) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (i < firstFailed.load(std::memory_order_relaxed)) {
          firstFailed.store(i, std::memory_order_relaxed);
          why = std::move(fault);
          messages = sink.text;
        }
        return;
      }
      rowsDone.fetch_add(std::min<std::uint64_t>(layout.rps, layout.height - r), std::memory_order_relaxed);
      afterStrip();
    }
  }
};

// Together the helper threads' strip buffers (24-bit rows) stay within this; fewer threads else.
constexpr std::uint64_t kThreadStripBytes = std::uint64_t{64} << 20;

SSheetImageStatus readOnThreads(const char* name, std::span<const std::uint8_t> tiff, SheetImage& image,
                                const SheetProgress& progress, int threads, const char* openWhat) {
  SMemoryTiff main(name, tiff);
  if (!main.opts) return failure(image, ESheetImageError::NoMemory, "no memory", main.sink);
  if (!main.tif) return openFailure(image, main.sink, openWhat);
  TIFF* const tif = main.tif.get();
  SSheetLayout layout;
  if (SSheetImageStatus st = inspect(tif, tiff.size(), image, main.sink, layout); !st.ok()) return st;

  std::uint64_t count = std::min<std::uint64_t>(static_cast<std::uint64_t>(threads), layout.strips());
  if (!layout.direct()) count = std::min(count, std::max<std::uint64_t>(1, kThreadStripBytes / layout.stripBytes));
  // Codecs that take memory as they decode go strip by strip; so does an image of one strip.
  if (layout.lazy || count < 2) return decodeStrips(tif, layout, image, progress, main.sink);

  if (!createBitmap(image, layout)) return failure(image, ESheetImageError::NoMemory, "no memory for the bitmap", main.sink);
  std::vector<std::uint8_t>& strip = stripBuffer();
  if (!fitStripBuffer(layout, strip)) return failure(image, ESheetImageError::NoMemory, "no memory for a strip", main.sink);

  SStripQueue queue(layout, image.data());
  // Each helper opens its own handle on the same bytes. One that cannot (no memory for the handle
  // or its strip buffer, no thread) takes no strips: this thread decodes whatever is left.
  const auto help = [&queue, &layout, name, tiff] {
    SMemoryTiff own(name, tiff);
    std::vector<std::uint8_t> buffer;
    if (!own.tif || !fitStripBuffer(layout, buffer)) return;
    queue.drain(own.tif.get(), own.sink, buffer, [] {});
  };
  std::vector<std::thread> helpers;
  try {
    helpers.reserve(static_cast<std::size_t>(count - 1));
    for (std::uint64_t t = 1; t < count; ++t) helpers.emplace_back(help);
  } catch (const std::exception&) {
    // As many helpers as could be started.
  }
  // The open's messages stay for a failure's detail, as the one-thread read keeps them.
  const std::string openMessages = main.sink.text;
  // Progress is reported from this thread only, after each strip it decoded itself.
  const double height = layout.height;
  queue.drain(tif, main.sink, strip, [&] {
    if (progress) progress(static_cast<float>(static_cast<double>(queue.rowsDone.load(std::memory_order_relaxed)) / height));
  });
  for (std::thread& t : helpers) t.join();
  trimStripBuffer(strip);

  if (queue.firstFailed.load() == SStripQueue::kNone) return {};
  SMessageSink messages;
  messages.text = openMessages;
  if (!messages.text.empty() && !queue.messages.empty()) messages.text += "; ";
  messages.text += queue.messages;
  return failure(image, ESheetImageError::Decode, queue.why, messages);
}

// The file's bytes for a read on several threads, kept between reads as the strip buffer is.
std::vector<std::uint8_t>& fileBuffer() {
  thread_local std::vector<std::uint8_t> buffer;
  return buffer;
}

}  // namespace

SSheetImageStatus ReadSheetImage(const std::filesystem::path& path, SheetImage& image, const SheetProgress& progress) {
  SMessageSink sink;
  auto opts = makeOptions(sink);
  if (!opts) return failure(image, ESheetImageError::NoMemory, "no memory", sink);
  // "m": read through the file rather than a memory mapping, which is faster for these files.
#ifdef _WIN32
  std::unique_ptr<TIFF, STiffCloser> tif(TIFFOpenWExt(path.c_str(), "rm", opts.get()));
#else
  std::unique_ptr<TIFF, STiffCloser> tif(TIFFOpenExt(path.c_str(), "rm", opts.get()));
#endif
  if (!tif) return openFailure(image, sink, "cannot open the file");
  std::error_code ec;
  const std::uintmax_t fileBytes = std::filesystem::file_size(path, ec);
  return decode(tif.get(), ec ? 0 : fileBytes, image, progress, sink);
}

SSheetImageStatus ReadSheetImage(std::span<const std::uint8_t> tiff, SheetImage& image, const SheetProgress& progress) {
  SMemoryTiff t("memory", tiff);
  if (!t.opts) return failure(image, ESheetImageError::NoMemory, "no memory", t.sink);
  if (!t.tif) return openFailure(image, t.sink, "cannot open the data");
  return decode(t.tif.get(), tiff.size(), image, progress, t.sink);
}

SSheetImageStatus ReadSheetImage(std::span<const std::uint8_t> tiff, SheetImage& image, const SheetProgress& progress,
                                 int threads) {
  if (threads <= 1) return ReadSheetImage(tiff, image, progress);
  return readOnThreads("memory", tiff, image, progress, threads, "cannot open the data");
}

SSheetImageStatus ReadSheetImage(const std::filesystem::path& path, SheetImage& image, const SheetProgress& progress,
                                 int threads) {
  if (threads <= 1) return ReadSheetImage(path, image, progress);
  std::vector<std::uint8_t>& bytes = fileBuffer();
  // A file that cannot be read whole (missing, not a regular file, above the largest bitmap) goes
  // through the one-thread reader, which says why as it always has.
  if (!platform::readWholeFile(path, static_cast<std::size_t>(kMaxBitmapBytes), bytes))
    return ReadSheetImage(path, image, progress);
  // Named by its path, libtiff's messages read as those of the file opened directly.
  const std::string name = path.string();
  SSheetImageStatus st = readOnThreads(name.c_str(), bytes, image, progress, threads, "cannot open the file");
  if (bytes.capacity() > (std::size_t{64} << 20)) std::vector<std::uint8_t>().swap(bytes);
  return st;
}
