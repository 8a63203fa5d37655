#include "mosaic/ReducedCopy.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <system_error>

#include "maps/SheetImage.h"
#include "platform/FileLookup.h"

#if defined(__GNUC__) && !defined(__clang__)
// The block sums are written for the vectoriser, which -O2 runs only in its cheapest mode.
#pragma GCC optimize("O3")
#endif

namespace mosaic {

namespace {

// ---- averaging ----

// A colour spread into three 21-bit fields (red, green, blue), so one 64-bit add sums all three
// channels. A field holds the sum of 8,224 pixels of 255: a whole 64 x 64 block fits.
constexpr int kFieldBits = 21;
constexpr std::uint64_t kFieldMask = (std::uint64_t{1} << kFieldBits) - 1;
constexpr std::uint64_t spread(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (std::uint64_t{r} << (2 * kFieldBits)) | (std::uint64_t{g} << kFieldBits) | b;
}

// Rounding division (v + n/2) / n for v < 2^21 and n <= 4096 as a multiply and shift: with
// m = ceil(2^k / n) and k = 22 + ceil(log2 n) the quotient is exact for numerators below 2^22.
struct SRoundingDivider {
  std::uint64_t half = 0;
  std::uint64_t multiplier = 1;
  int shift = 0;
  explicit SRoundingDivider(std::uint32_t n) : half(n / 2) {
    int bits = 0;
    while ((std::uint32_t{1} << bits) < n) ++bits;
    shift = 22 + bits;
    multiplier = ((std::uint64_t{1} << shift) + n - 1) / n;
  }
  std::uint32_t operator()(std::uint64_t v) const { return static_cast<std::uint32_t>(((v + half) * multiplier) >> shift); }
};

std::uint32_t averagePixel(std::uint64_t sum, const SRoundingDivider& divide) {
  return 0xFF000000u | (divide(sum >> (2 * kFieldBits)) << 16) | (divide((sum >> kFieldBits) & kFieldMask) << 8) |
         divide(sum & kFieldMask);
}

// One row of a copy from the block sums (cleared for the next band of rows). `side` pixels make a
// block's width, `rows` the rows of this band; the last block has `lastColumns`. With `carry` the
// sums also go into the next coarser copy, one of its blocks for every eight of these.
void emitRow(std::uint64_t* sums, int width, int side, int lastColumns, int rows, std::uint32_t* out,
             std::uint64_t* carry) {
  const SRoundingDivider inner(static_cast<std::uint32_t>(side * rows));
  const SRoundingDivider last(static_cast<std::uint32_t>(lastColumns * rows));
  for (int x = 0; x + 1 < width; ++x) out[x] = averagePixel(sums[x], inner);
  out[width - 1] = averagePixel(sums[width - 1], last);
  if (carry) {
    for (int x = 0; x < width; ++x) carry[x / 8] += sums[x];
  }
  std::fill(sums, sums + width, std::uint64_t{0});
}

// Adds one 8-bit sheet row into the sums of its 8-pixel blocks. `lut8` holds eight times each
// colour: map sheets are mostly runs of one value, which then take one look-up for 8 pixels.
void addRow8(const std::uint8_t* s, int width, const std::uint64_t* lut, const std::uint64_t* lut8,
             std::uint64_t* sums) {
  const int whole = width / 8;
  for (int bx = 0; bx < whole; ++bx) {
    const std::uint8_t* p = s + 8 * bx;
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if (word == (word & 0xFF) * 0x0101010101010101ull) {
      sums[bx] += lut8[p[0]];
      continue;
    }
    sums[bx] += lut[p[0]] + lut[p[1]] + lut[p[2]] + lut[p[3]] + lut[p[4]] + lut[p[5]] + lut[p[6]] + lut[p[7]];
  }
  for (int x = 8 * whole; x < width; ++x) sums[whole] += lut[s[x]];
}

// The same for a 24-bit row (blue, green, red per pixel).
void addRow24(const std::uint8_t* s, int width, std::uint64_t* sums) {
  const int whole = width / 8;
  for (int bx = 0; bx < whole; ++bx) {
    std::uint64_t sum = 0;
    for (int k = 0; k < 8; ++k, s += 3) sum += spread(s[2], s[1], s[0]);
    sums[bx] += sum;
  }
  for (int x = 8 * whole; x < width; ++x, s += 3) sums[whole] += spread(s[2], s[1], s[0]);
}

int blocks(int pixels, int side) { return (pixels + side - 1) / side; }

// ---- file format ----
//
// Little-endian throughout:
//   "VantoriaReducedCopy", u32 version,
//   key: u32 path length, path bytes, u64 file size, i64 modification time, u64 colour hash,
//   u32 width and u32 height of the eighth, then of the sixty-fourth,
//   u32 compressed length, the zlib stream of both copies' RGB bytes (rows top-down, eighth first),
//   u32 CRC-32 of everything before it.

constexpr char kSignature[] = "VantoriaReducedCopy";
constexpr std::size_t kSignatureBytes = sizeof kSignature - 1;
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kMaxPathBytes = 65536;
constexpr int kMaxEighthSide = kMaxReducedSheetSide / 8;
constexpr int kMaxSixtyFourthSide = kMaxReducedSheetSide / 64;
// Fixed fields besides the path: signature, version, path length, key, four sizes, compressed
// length, CRC.
constexpr std::size_t kFixedBytes = kSignatureBytes + 4 + 4 + 24 + 16 + 4 + 4;

class CWriter {
 public:
  explicit CWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
  void bytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    m_out.insert(m_out.end(), b, b + n);
  }
  void u32(std::uint32_t v) { little(v, 4); }
  void u64(std::uint64_t v) { little(v, 8); }

 private:
  void little(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) m_out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  std::vector<std::uint8_t>& m_out;
};

class CReader {
 public:
  explicit CReader(std::span<const std::uint8_t> in) : m_in(in) {}
  [[nodiscard]] bool has(std::size_t n) const { return m_in.size() - m_pos >= n; }
  [[nodiscard]] std::size_t left() const { return m_in.size() - m_pos; }
  [[nodiscard]] std::size_t position() const { return m_pos; }
  // Callers check has() first.
  std::span<const std::uint8_t> take(std::size_t n) {
    const auto s = m_in.subspan(m_pos, n);
    m_pos += n;
    return s;
  }
  std::uint32_t u32() { return static_cast<std::uint32_t>(little(4)); }
  std::uint64_t u64() { return little(8); }

 private:
  std::uint64_t little(int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= std::uint64_t{m_in[m_pos + static_cast<std::size_t>(i)]} << (8 * i);
    m_pos += static_cast<std::size_t>(n);
    return v;
  }
  std::span<const std::uint8_t> m_in;
  std::size_t m_pos = 0;
};

void writeKey(CWriter& w, const SReducedKey& key) {
  w.u32(static_cast<std::uint32_t>(key.sheetPath.size()));
  w.bytes(key.sheetPath.data(), key.sheetPath.size());
  w.u64(key.fileSize);
  w.u64(static_cast<std::uint64_t>(key.modifiedNs));
  w.u64(key.colourHash);
}

std::uint64_t fnv1a(std::span<const std::uint8_t> bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (const std::uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  return h;
}

std::uint32_t crcOf(std::span<const std::uint8_t> bytes) {
  // zlib takes lengths of 32 bits; files here stay far below.
  return static_cast<std::uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// Raw pixel bytes of both copies of the largest sheet.
std::uint64_t maxRawBytes() {
  return (std::uint64_t{kMaxEighthSide} * kMaxEighthSide + std::uint64_t{kMaxSixtyFourthSide} * kMaxSixtyFourthSide) * 3;
}

std::uint64_t maxFileBytes() {
  return kFixedBytes + kMaxPathBytes + compressBound(static_cast<uLong>(maxRawBytes()));
}

// Sizes a pair of copies of one sheet can have.
bool plausibleSizes(int w8, int h8, int w64, int h64) {
  return w8 >= 1 && h8 >= 1 && w8 <= kMaxEighthSide && h8 <= kMaxEighthSide && w64 == blocks(w8, 8) &&
         h64 == blocks(h8, 8);
}

EReducedRead fail(EReducedRead why, std::string* detail, const char* text) {
  if (detail) *detail = text;
  return why;
}

// Inflates exactly the rows of `image` (RGB bytes) from the stream.
bool inflateInto(z_stream& zs, QImage& image, std::vector<std::uint8_t>& row) {
  const int w = image.width();
  row.resize(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < image.height(); ++y) {
    zs.next_out = row.data();
    zs.avail_out = static_cast<uInt>(row.size());
    while (zs.avail_out > 0) {
      const int rc = inflate(&zs, Z_NO_FLUSH);
      if (rc == Z_STREAM_END && zs.avail_out > 0) return false;  // ends early
      if (rc != Z_OK && rc != Z_STREAM_END) return false;
    }
    auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
    const std::uint8_t* p = row.data();
    for (int x = 0; x < w; ++x, p += 3)
      out[x] = 0xFF000000u | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
  return true;
}

}  // namespace

// ---- building ----

SReducedCopies BuildReducedCopies(const SheetImage& sheet, std::span<const std::uint8_t> colourTable,
                                  const QRect& area) {
  if (sheet.isNull()) return {};
  const int bitCount = sheet.bitCount();
  // The part of the sheet reduced: the area asked for within the image, else the whole image.
  const QRect part = area.isNull() ? QRect(0, 0, sheet.width(), sheet.height())
                                   : area & QRect(0, 0, sheet.width(), sheet.height());
  if (part.isEmpty()) return {};
  const int w = part.width();
  const int h = part.height();
  if ((bitCount != 8 && bitCount != 24) || w <= 0 || h <= 0 || w > kMaxReducedSheetSide || h > kMaxReducedSheetSide)
    return {};
  if (bitCount == 8 && colourTable.size() < 1024) return {};

  std::array<std::uint64_t, 256> lut{}, lut8{};
  if (bitCount == 8) {
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint8_t* e = colourTable.data() + 4 * i;
      lut[i] = spread(e[2], e[1], e[0]);
      lut8[i] = 8 * lut[i];
    }
  }

  const int w8 = blocks(w, 8), h8 = blocks(h, 8);
  const int w64 = blocks(w, 64), h64 = blocks(h, 64);
  SReducedCopies copies{QImage(w8, h8, QImage::Format_RGB32), QImage(w64, h64, QImage::Format_RGB32)};
  if (copies.eighth.isNull() || copies.sixtyFourth.isNull()) return {};
  std::vector<std::uint64_t> sums8(static_cast<std::size_t>(w8)), sums64(static_cast<std::size_t>(w64));
  const int last8 = w - 8 * (w8 - 1), last64 = w - 64 * (w64 - 1);

  const std::uint8_t* bottom = sheet.bits();
  const std::ptrdiff_t stride = sheet.stride();
  const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(part.left()) * (bitCount / 8);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* s =
        bottom + static_cast<std::ptrdiff_t>(sheet.height() - 1 - (part.top() + y)) * stride + first;
    if (bitCount == 8)
      addRow8(s, w, lut.data(), lut8.data(), sums8.data());
    else
      addRow24(s, w, sums8.data());
    const bool lastRow = y + 1 == h;
    if (y % 8 == 7 || lastRow) {
      emitRow(sums8.data(), w8, 8, last8, y % 8 + 1, reinterpret_cast<std::uint32_t*>(copies.eighth.scanLine(y / 8)),
              sums64.data());
    }
    if (y % 64 == 63 || lastRow) {
      emitRow(sums64.data(), w64, 64, last64, y % 64 + 1,
              reinterpret_cast<std::uint32_t*>(copies.sixtyFourth.scanLine(y / 64)), nullptr);
    }
  }
  return copies;
}

std::uint64_t ColourTableHash(std::span<const std::uint8_t> colourTable) {
  return fnv1a(colourTable.first(std::min<std::size_t>(colourTable.size(), 1024)));
}

// ---- keys and names ----

std::optional<SReducedKey> ReducedKeyFor(const std::filesystem::path& sheet, std::uint64_t colourHash) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(sheet, ec);
  if (ec) return std::nullopt;
  if (!std::filesystem::is_regular_file(absolute, ec) || ec) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(absolute, ec);
  if (ec) return std::nullopt;
  const auto modified = std::filesystem::last_write_time(absolute, ec);
  if (ec) return std::nullopt;
  SReducedKey key;
  const std::u8string generic = absolute.lexically_normal().generic_u8string();
  key.sheetPath.assign(generic.begin(), generic.end());
  key.fileSize = size;
  key.modifiedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count();
  key.colourHash = colourHash;
  return key;
}

std::filesystem::path ReducedCopyPath(const std::filesystem::path& cacheFolder, const SReducedKey& key) {
  std::vector<std::uint8_t> bytes;
  CWriter w(bytes);
  writeKey(w, key);
  const std::uint64_t hash = fnv1a(bytes);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name(16, '0');
  for (int i = 0; i < 16; ++i) name[static_cast<std::size_t>(i)] = kHex[(hash >> (60 - 4 * i)) & 15];
  name += ".vrc";
  return cacheFolder / "reduced" / name;
}

// ---- writing ----

std::vector<std::uint8_t> encodeReducedCopies(const SReducedKey& key, const SReducedCopies& copies,
                                              std::string* reason) {
  auto refuse = [reason](const char* why) {
    if (reason) *reason = why;
    return std::vector<std::uint8_t>{};
  };
  if (copies.eighth.isNull() || copies.sixtyFourth.isNull()) return refuse("no reduced copies");
  if (!plausibleSizes(copies.eighth.width(), copies.eighth.height(), copies.sixtyFourth.width(),
                      copies.sixtyFourth.height()))
    return refuse("the reduced copies are not the sizes of one sheet's copies");
  if (key.sheetPath.size() > kMaxPathBytes) return refuse("the sheet path is too long");

  const QImage images[2] = {copies.eighth.convertToFormat(QImage::Format_RGB32),
                            copies.sixtyFourth.convertToFormat(QImage::Format_RGB32)};
  std::vector<std::uint8_t> raw;
  raw.reserve(static_cast<std::size_t>(images[0].width()) * images[0].height() * 3 +
              static_cast<std::size_t>(images[1].width()) * images[1].height() * 3);
  for (const QImage& image : images) {
    for (int y = 0; y < image.height(); ++y) {
      const auto* p = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x) {
        raw.push_back(static_cast<std::uint8_t>(p[x] >> 16));
        raw.push_back(static_cast<std::uint8_t>(p[x] >> 8));
        raw.push_back(static_cast<std::uint8_t>(p[x]));
      }
    }
  }
  uLongf packedBytes = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(packedBytes);
  if (compress2(packed.data(), &packedBytes, raw.data(), static_cast<uLong>(raw.size()), 1) != Z_OK)
    return refuse("the pixels could not be compressed");

  std::vector<std::uint8_t> out;
  out.reserve(kFixedBytes + key.sheetPath.size() + packedBytes);
  CWriter w(out);
  w.bytes(kSignature, kSignatureBytes);
  w.u32(kVersion);
  writeKey(w, key);
  for (const QImage& image : images) {
    w.u32(static_cast<std::uint32_t>(image.width()));
    w.u32(static_cast<std::uint32_t>(image.height()));
  }
  w.u32(static_cast<std::uint32_t>(packedBytes));
  w.bytes(packed.data(), packedBytes);
  w.u32(crcOf(out));
  return out;
}

platform::SFileWriteResult WriteReducedCopies(const std::filesystem::path& file, const SReducedKey& key,
                                              const SReducedCopies& copies) {
  platform::SFileWriteResult result;
  result.path = platform::pathToUtf8(file);
  const std::vector<std::uint8_t> bytes = encodeReducedCopies(key, copies, &result.reason);
  if (bytes.empty()) return result;
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) {
    result.reason = ec.message();
    return result;
  }
  platform::CAtomicFile out(file);
  if (!out.open()) return out.result();
  const qint64 written = out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  if (written != static_cast<qint64>(bytes.size()) && !out.failed()) out.fail("the file could not be written");
  if (out.failed() || !out.sync()) {
    result = out.result();
    out.discard();
    return result;
  }
  (void)out.commit(platform::EReplace::Replace);
  return out.result();
}

// ---- reading ----

EReducedRead decodeReducedCopies(std::span<const std::uint8_t> bytes, const SReducedKey& key, SReducedCopies& out,
                                 std::string* detail) {
  using E = EReducedRead;
  CReader r(bytes);
  if (!r.has(kSignatureBytes + 4)) return fail(E::Damaged, detail, "too short for a reduced copy");
  const auto signature = r.take(kSignatureBytes);
  if (std::memcmp(signature.data(), kSignature, kSignatureBytes) != 0)
    return fail(E::Damaged, detail, "not a reduced copy");
  if (r.u32() != kVersion) return fail(E::Foreign, detail, "another version of the reduced copy format");
  if (bytes.size() < kFixedBytes) return fail(E::Damaged, detail, "truncated");
  if (bytes.size() > maxFileBytes()) return fail(E::Damaged, detail, "larger than any reduced copy");
  const std::span<const std::uint8_t> covered = bytes.first(bytes.size() - 4);
  CReader tail(bytes.last(4));
  if (tail.u32() != crcOf(covered)) return fail(E::Damaged, detail, "checksum mismatch");

  SReducedKey stored;
  const std::uint32_t pathBytes = r.u32();
  if (pathBytes > kMaxPathBytes || !r.has(std::size_t{pathBytes} + 24 + 16 + 4 + 4))
    return fail(E::Damaged, detail, "bad path length");
  const auto path = r.take(pathBytes);
  stored.sheetPath.assign(path.begin(), path.end());
  stored.fileSize = r.u64();
  stored.modifiedNs = static_cast<std::int64_t>(r.u64());
  stored.colourHash = r.u64();
  const std::uint32_t sizes[4] = {r.u32(), r.u32(), r.u32(), r.u32()};
  for (const std::uint32_t s : sizes) {
    if (s > static_cast<std::uint32_t>(kMaxEighthSide)) return fail(E::Damaged, detail, "copy too large");
  }
  const int w8 = static_cast<int>(sizes[0]), h8 = static_cast<int>(sizes[1]);
  const int w64 = static_cast<int>(sizes[2]), h64 = static_cast<int>(sizes[3]);
  if (!plausibleSizes(w8, h8, w64, h64)) return fail(E::Damaged, detail, "implausible copy sizes");
  const std::uint32_t packedBytes = r.u32();
  if (packedBytes != r.left() - 4) return fail(E::Damaged, detail, "pixel data length mismatch");
  if (!(stored == key)) return fail(E::Foreign, detail, "made for another sheet, file state or colours");

  SReducedCopies copies{QImage(w8, h8, QImage::Format_RGB32), QImage(w64, h64, QImage::Format_RGB32)};
  if (copies.eighth.isNull() || copies.sixtyFourth.isNull()) return fail(E::Damaged, detail, "out of memory");
  const auto packed = r.take(packedBytes);
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return fail(E::Damaged, detail, "zlib could not start");
  zs.next_in = const_cast<Bytef*>(packed.data());
  zs.avail_in = packedBytes;
  std::vector<std::uint8_t> row;
  bool whole = inflateInto(zs, copies.eighth, row) && inflateInto(zs, copies.sixtyFourth, row);
  if (whole) {
    // The stream must end right here, with all of its bytes used.
    std::uint8_t spare = 0;
    zs.next_out = &spare;
    zs.avail_out = 1;
    whole = inflate(&zs, Z_NO_FLUSH) == Z_STREAM_END && zs.avail_out == 1 && zs.avail_in == 0;
  }
  inflateEnd(&zs);
  if (!whole) return fail(E::Damaged, detail, "bad pixel data");
  out = std::move(copies);
  if (detail) detail->clear();
  return E::Ok;
}

EReducedRead ReadReducedCopies(const std::filesystem::path& file, const SReducedKey& key, SReducedCopies& out,
                               std::string* detail) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) return fail(EReducedRead::Missing, detail, "no file");
  if (ec || status.type() != std::filesystem::file_type::regular)
    return fail(EReducedRead::Damaged, detail, "not a regular file");
  const std::optional<std::string> bytes = platform::readWholeFile(file, static_cast<std::size_t>(maxFileBytes()));
  if (!bytes) return fail(EReducedRead::Damaged, detail, "unreadable or larger than any reduced copy");
  return decodeReducedCopies(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()), key, out,
      detail);
}

}  // namespace mosaic
