// Reduced copies: the block averages against a brute-force average, the kept file's round trip,
// and spoilt files of every kind reading as damaged or foreign, never as other pixels.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <array>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <vector>

#include <zlib.h>

#include "common/SmallDisk.h"
#include "common/TestUtil.h"
#include "maps/SheetImage.h"
#include "mosaic/ReducedCopy.h"

namespace fs = std::filesystem;
using mosaic::EReducedRead;
using mosaic::SReducedCopies;
using mosaic::SReducedKey;

namespace {

enum class EFill { Random, White, Stripes };

// A sheet of the given size with pixels from a fixed seed (or all 255, or alternating 0/255 columns).
SheetImage makeSheet(int width, int height, int bitCount, EFill fill = EFill::Random, unsigned seed = 1) {
  SheetImage sheet;
  EXPECT_TRUE(CreatePackedBitmap(sheet, width, height, bitCount));
  std::mt19937 rng(seed);
  const int bytes = width * (bitCount / 8);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = sheet.scanLine(y);
    for (int i = 0; i < bytes; ++i) {
      switch (fill) {
        case EFill::Random: row[i] = static_cast<std::uint8_t>(rng()); break;
        case EFill::White: row[i] = 255; break;
        case EFill::Stripes: row[i] = (i / (bitCount / 8)) % 2 ? 255 : 0; break;
      }
    }
  }
  return sheet;
}

std::vector<std::uint8_t> makeColourTable(unsigned seed) {
  std::vector<std::uint8_t> table(1024);
  std::mt19937 rng(seed);
  for (auto& b : table) b = static_cast<std::uint8_t>(rng());
  table[255 * 4] = table[255 * 4 + 1] = table[255 * 4 + 2] = 255;  // index 255 white, 0 black
  table[0] = table[1] = table[2] = 0;
  return table;
}

// The average of one block, straight from the definition.
QRgb bruteAverage(const SheetImage& sheet, std::span<const std::uint8_t> table, int x0, int y0, int side) {
  std::uint64_t sum[3] = {0, 0, 0};
  std::uint64_t n = 0;
  for (int y = y0; y < std::min(y0 + side, sheet.height()); ++y) {
    for (int x = x0; x < std::min(x0 + side, sheet.width()); ++x) {
      const std::uint8_t* p = sheet.bitCount() == 8 ? &table[4 * std::size_t{sheet.scanLine(y)[x]}] : sheet.scanLine(y) + 3 * x;
      for (int c = 0; c < 3; ++c) sum[c] += p[c];  // blue, green, red
      ++n;
    }
  }
  auto channel = [&](int c) { return static_cast<int>((sum[c] + n / 2) / n); };
  return qRgb(channel(2), channel(1), channel(0));
}

void expectAverages(const SheetImage& sheet, std::span<const std::uint8_t> table, const QImage& copy, int side) {
  ASSERT_EQ(copy.format(), QImage::Format_RGB32);
  ASSERT_EQ(copy.width(), (sheet.width() + side - 1) / side);
  ASSERT_EQ(copy.height(), (sheet.height() + side - 1) / side);
  int wrong = 0;
  for (int y = 0; y < copy.height(); ++y) {
    for (int x = 0; x < copy.width(); ++x) {
      const QRgb want = bruteAverage(sheet, table, x * side, y * side, side);
      const QRgb got = copy.pixel(x, y);
      if (got != want && ++wrong <= 3) ADD_FAILURE() << "block " << x << "," << y << " of " << side << ": " << std::hex << got << " want " << want;
    }
  }
  EXPECT_EQ(wrong, 0);
}

SReducedKey sampleKey() { return {"/maps/tokyo/nf543950.tif", 17'654'321, 1'700'000'000'123'456'789, 0x0123456789abcdefull}; }

// The kept file of a small random sheet: pixels that do not compress away.
std::vector<std::uint8_t> sampleFile(SReducedCopies* copies = nullptr, int width = 300, int height = 200) {
  const SheetImage sheet = makeSheet(width, height, 24);
  const SReducedCopies made = mosaic::BuildReducedCopies(sheet, {});
  if (copies) *copies = made;
  return mosaic::encodeReducedCopies(sampleKey(), made);
}

void putU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
// Recomputes the closing CRC so that only the change under test is wrong.
void resealCrc(std::vector<std::uint8_t>& bytes) {
  putU32(bytes, bytes.size() - 4, static_cast<std::uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size() - 4))));
}

// Offsets of the fields behind the signature (19 bytes) and version in a file of sampleKey().
constexpr std::size_t kVersionAt = 19;
constexpr std::size_t kSizesAt = 19 + 4 + 4 + 24 /*path*/ + 24;
constexpr std::size_t kPackedLengthAt = kSizesAt + 16;

// Decodes, checking that `out` keeps its sentinel whenever the result is not Ok.
EReducedRead decodeKeepingOut(std::span<const std::uint8_t> bytes, const SReducedKey& key = sampleKey()) {
  SReducedCopies out{QImage(1, 1, QImage::Format_RGB32), QImage()};
  out.eighth.fill(0xFF123456u);
  const qint64 before = out.eighth.cacheKey();
  const EReducedRead r = mosaic::decodeReducedCopies(bytes, key, out);
  if (r != EReducedRead::Ok) {
    EXPECT_EQ(out.eighth.cacheKey(), before) << "out changed on a failed read";
    EXPECT_TRUE(out.sixtyFourth.isNull());
  }
  return r;
}

}  // namespace

TEST(ReducedCopy, AveragesEqualABruteForceAverage) {
  const struct {
    const char* name;
    int width, height, bitCount;
    EFill fill;
  } kCases[] = {
      {"one pixel", 1, 1, 8, EFill::Random},
      {"below one block", 7, 5, 24, EFill::Random},
      {"one block of 8", 8, 8, 8, EFill::Random},
      {"partial 8 blocks", 9, 17, 8, EFill::Random},
      {"partial 8 blocks 24-bit", 13, 11, 24, EFill::Random},
      {"one block of 64", 64, 64, 8, EFill::Random},
      {"partial 64 blocks", 65, 63, 8, EFill::Random},
      {"several 64 blocks with edges", 200, 131, 8, EFill::Random},
      {"several 64 blocks 24-bit", 129, 130, 24, EFill::Random},
      {"white fills every sum", 192, 128, 8, EFill::White},
      {"white 24-bit with edges", 130, 66, 24, EFill::White},
      {"half and half rounds up", 66, 3, 8, EFill::Stripes},
      {"one row", 300, 1, 24, EFill::Stripes},
      {"one column", 1, 150, 8, EFill::Random},
  };
  const std::vector<std::uint8_t> table = makeColourTable(7);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const SheetImage sheet = makeSheet(c.width, c.height, c.bitCount, c.fill);
    const SReducedCopies copies = mosaic::BuildReducedCopies(sheet, table);
    expectAverages(sheet, table, copies.eighth, 8);
    expectAverages(sheet, table, copies.sixtyFourth, 64);
  }
}

TEST(ReducedCopy, HalfwayRoundsUpAndColoursComeFromTheTable) {
  // Columns alternate black and white: every full 8 block is 127.5 -> 128.
  const std::vector<std::uint8_t> table = makeColourTable(3);
  const SheetImage sheet = makeSheet(16, 8, 8, EFill::Stripes);
  const SReducedCopies copies = mosaic::BuildReducedCopies(sheet, table);
  ASSERT_EQ(copies.eighth.size(), QSize(2, 1));
  EXPECT_EQ(copies.eighth.pixel(0, 0), qRgb(128, 128, 128));
  EXPECT_EQ(copies.sixtyFourth.pixel(0, 0), qRgb(128, 128, 128));
}

TEST(ReducedCopy, UnsupportedSheetsGiveNullCopies) {
  const std::vector<std::uint8_t> table = makeColourTable(1);
  const std::vector<std::uint8_t> shortTable(1023);
  const struct {
    const char* name;
    int width, height, bitCount;
    std::span<const std::uint8_t> table;
    bool null;
  } kCases[] = {
      {"null sheet", 0, 0, 0, table, true},
      {"1-bit", 16, 16, 1, table, true},
      {"4-bit", 16, 16, 4, table, true},
      {"8-bit with a short table", 16, 16, 8, shortTable, true},
      {"empty 8-bit", 0, 5, 8, table, true},
      {"wider than any sheet", mosaic::kMaxReducedSheetSide + 1, 1, 8, table, true},
      {"widest sheet", mosaic::kMaxReducedSheetSide, 1, 8, table, false},
      {"24-bit needs no table", 16, 16, 24, {}, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SheetImage sheet;
    if (c.bitCount > 0) {
      ASSERT_TRUE(CreatePackedBitmap(sheet, c.width, c.height, c.bitCount));
    }
    const SReducedCopies copies = mosaic::BuildReducedCopies(sheet, c.table);
    EXPECT_EQ(copies.eighth.isNull(), c.null);
    EXPECT_EQ(copies.sixtyFourth.isNull(), c.null);
  }
}

TEST(ReducedCopy, ColourTableHashIsFnv1aOfTheTable) {
  EXPECT_EQ(mosaic::ColourTableHash({}), 0xcbf29ce484222325ull);
  const std::uint8_t a[] = {'a'};
  EXPECT_EQ(mosaic::ColourTableHash(a), 0xaf63dc4c8601ec8cull);
  std::vector<std::uint8_t> table = makeColourTable(5);
  const std::uint64_t h = mosaic::ColourTableHash(table);
  table.push_back(9);  // bytes past the table do not count
  EXPECT_EQ(mosaic::ColourTableHash(table), h);
  table[1023] ^= 1;
  EXPECT_NE(mosaic::ColourTableHash(table), h);
}

TEST(ReducedCopy, KeyFollowsTheSheetFile) {
  QTemporaryDir dir;
  const fs::path root = fs::path(dir.path().toStdString());
  const fs::path sheet = root / "maps" / "sheet.tif";
  testutil::writeFile(sheet, "12345");
  const auto key = mosaic::ReducedKeyFor(root / "maps" / ".." / "maps" / "sheet.tif", 42);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->sheetPath, fs::absolute(sheet).generic_string());
  EXPECT_EQ(key->fileSize, 5u);
  EXPECT_EQ(key->colourHash, 42u);
  EXPECT_EQ(key->modifiedNs, std::chrono::duration_cast<std::chrono::nanoseconds>(fs::last_write_time(sheet).time_since_epoch()).count());

  fs::last_write_time(sheet, fs::last_write_time(sheet) - std::chrono::hours(1));
  const auto touched = mosaic::ReducedKeyFor(sheet, 42);
  ASSERT_TRUE(touched);
  EXPECT_EQ(key->modifiedNs - touched->modifiedNs, std::int64_t{3600} * 1'000'000'000);
  testutil::writeFile(sheet, "123456");
  EXPECT_EQ(mosaic::ReducedKeyFor(sheet, 42)->fileSize, 6u);

  EXPECT_FALSE(mosaic::ReducedKeyFor(root / "missing.tif", 42));
  EXPECT_FALSE(mosaic::ReducedKeyFor(root / "maps", 42)) << "a folder is no sheet";
}

TEST(ReducedCopy, CopyPathNamesEveryKeyApart) {
  const SReducedKey base = sampleKey();
  const fs::path p = mosaic::ReducedCopyPath("/cache", base);
  EXPECT_EQ(p.parent_path(), fs::path("/cache/reduced"));
  const std::string name = p.filename().string();
  ASSERT_EQ(name.size(), 20u);
  EXPECT_EQ(name.substr(16), ".vrc");
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), 16u);
  EXPECT_EQ(mosaic::ReducedCopyPath("/cache", sampleKey()), p);

  std::vector<SReducedKey> others(4, base);
  others[0].sheetPath += "x";
  others[1].fileSize += 1;
  others[2].modifiedNs += 1;
  others[3].colourHash ^= 1;
  for (const SReducedKey& k : others) EXPECT_NE(mosaic::ReducedCopyPath("/cache", k), p);
}

TEST(ReducedCopy, RoundTripThroughTheCacheFolder) {
  QTemporaryDir dir;
  const fs::path cache = fs::path(dir.path().toStdString()) / "cache";
  const std::vector<std::uint8_t> table = makeColourTable(11);
  const SReducedKey key = sampleKey();
  const fs::path file = mosaic::ReducedCopyPath(cache, key);
  SReducedCopies read;
  EXPECT_EQ(mosaic::ReadReducedCopies(file, key, read), EReducedRead::Missing);

  for (const auto& [w, h, bits] : {std::array{70, 200, 8}, std::array{1, 1, 24}, std::array{513, 64, 24}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h << "x" << bits);
    const SReducedCopies copies = mosaic::BuildReducedCopies(makeSheet(w, h, bits), table);
    const platform::SFileWriteResult written = mosaic::WriteReducedCopies(file, key, copies);
    ASSERT_TRUE(written.ok) << written.reason;
    std::string detail = "stale";
    ASSERT_EQ(mosaic::ReadReducedCopies(file, key, read, &detail), EReducedRead::Ok) << detail;
    EXPECT_EQ(read.eighth, copies.eighth);
    EXPECT_EQ(read.sixtyFourth, copies.sixtyFourth);
    EXPECT_EQ(read.eighth.format(), QImage::Format_RGB32);
    EXPECT_TRUE(detail.empty());
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1)
      << "one file, no temporary left";
}

TEST(ReducedCopy, WriterRefusesCopiesTheReaderWouldRefuse) {
  QTemporaryDir dir;
  const fs::path file = fs::path(dir.path().toStdString()) / "reduced" / "copy.vrc";
  SReducedCopies good;
  const std::vector<std::uint8_t> before = sampleFile(&good);
  ASSERT_TRUE(mosaic::WriteReducedCopies(file, sampleKey(), good).ok);
  const std::string kept = testutil::readFile(file);

  SReducedKey longPath = sampleKey();
  longPath.sheetPath.assign(65537, 'p');
  const auto sized = [](int w8, int h8, int w64, int h64) {
    return SReducedCopies{QImage(w8, h8, QImage::Format_RGB32), QImage(w64, h64, QImage::Format_RGB32)};
  };
  const struct {
    const char* name;
    SReducedKey key;
    SReducedCopies copies;
  } kCases[] = {
      {"null copies", sampleKey(), SReducedCopies{}},
      {"no sixty-fourth", sampleKey(), SReducedCopies{good.eighth, QImage()}},
      {"sizes of two sheets", sampleKey(), sized(19, 12, 2, 1)},
      {"larger than any sheet", sampleKey(), sized(4097, 1, 513, 1)},
      {"path too long", longPath, good},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const platform::SFileWriteResult r = mosaic::WriteReducedCopies(file, c.key, c.copies);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_EQ(testutil::readFile(file), kept) << "the previous file stays whole";
  }
  // The largest copies a sheet can have are written and read back.
  SReducedCopies largest = sized(4096, 4096, 512, 512);
  largest.eighth.fill(0xFF204060u);
  largest.sixtyFourth.fill(0xFF605040u);
  ASSERT_TRUE(mosaic::WriteReducedCopies(file, sampleKey(), largest).ok);
  SReducedCopies read;
  ASSERT_EQ(mosaic::ReadReducedCopies(file, sampleKey(), read), EReducedRead::Ok);
  EXPECT_EQ(read.eighth, largest.eighth);
  EXPECT_EQ(read.sixtyFourth, largest.sixtyFourth);
}

TEST(ReducedCopy, EverySingleByteFlipIsCaught) {
  const std::vector<std::uint8_t> file = sampleFile();
  ASSERT_GT(file.size(), 1000u);
  ASSERT_EQ(decodeKeepingOut(file), EReducedRead::Ok);
  // Each byte with a low, a high and every bit flipped; all 255 changes at a few offsets
  // (signature, path, sizes, zlib header, pixels, CRC).
  for (std::size_t at = 0; at < file.size(); ++at) {
    const bool everyValue = at == 0 || at == 30 || at == kSizesAt || at == kPackedLengthAt + 4 ||
                            at == file.size() / 2 || at == file.size() - 1;
    for (unsigned x = 1; x < 256; ++x) {
      if (!everyValue && x != 0x01 && x != 0x80 && x != 0xFF) continue;
      std::vector<std::uint8_t> spoilt = file;
      spoilt[at] ^= static_cast<std::uint8_t>(x);
      const EReducedRead r = decodeKeepingOut(spoilt);
      if (r == EReducedRead::Ok) ADD_FAILURE() << "flip " << x << " at " << at << " read as Ok";
      // Only the version field may make a whole file of another version.
      if (r == EReducedRead::Foreign && (at < kVersionAt || at >= kVersionAt + 4))
        ADD_FAILURE() << "flip " << x << " at " << at << " read as Foreign";
    }
  }
}

TEST(ReducedCopy, TruncatedOrExtendedFilesAreDamaged) {
  const std::vector<std::uint8_t> file = sampleFile();
  for (std::size_t length = 0; length < file.size(); ++length) {
    const std::span<const std::uint8_t> cut(file.data(), length);
    if (decodeKeepingOut(cut) != EReducedRead::Damaged) ADD_FAILURE() << "truncated to " << length;
  }
  for (const std::size_t extra : {1u, 3u, 4u, 100u}) {
    for (const std::uint8_t fill : {0x00, 0xA5}) {
      std::vector<std::uint8_t> longer = file;
      longer.insert(longer.end(), extra, fill);
      EXPECT_EQ(decodeKeepingOut(longer), EReducedRead::Damaged) << extra << " bytes appended";
      resealCrc(longer);
      EXPECT_EQ(decodeKeepingOut(longer), EReducedRead::Damaged) << extra << " bytes appended, CRC resealed";
    }
  }
}

TEST(ReducedCopy, WellSealedButWrongFilesAreDamagedOrForeign) {
  const std::vector<std::uint8_t> file = sampleFile();  // 300 x 200: eighth 38 x 25, sixty-fourth 5 x 4
  using Patch = std::function<void(std::vector<std::uint8_t>&)>;
  const struct {
    const char* name;
    Patch patch;
    EReducedRead want;
  } kCases[] = {
      {"wrong signature", [](auto& b) { b[0] = 'v'; }, EReducedRead::Damaged},
      {"other version", [](auto& b) { putU32(b, kVersionAt, 2); }, EReducedRead::Foreign},
      {"version zero", [](auto& b) { putU32(b, kVersionAt, 0); }, EReducedRead::Foreign},
      {"path length past the end", [](auto& b) { putU32(b, 23, 0x7FFFFFFF); }, EReducedRead::Damaged},
      {"path length a little long", [](auto& b) { putU32(b, 23, 25); }, EReducedRead::Damaged},
      {"zero width", [](auto& b) { putU32(b, kSizesAt, 0); }, EReducedRead::Damaged},
      {"huge height", [](auto& b) { putU32(b, kSizesAt + 4, 0xFFFFFFFF); }, EReducedRead::Damaged},
      {"sizes of two sheets", [](auto& b) { putU32(b, kSizesAt + 8, 4); }, EReducedRead::Damaged},
      {"pixels fewer than the sizes", [](auto& b) { putU32(b, kSizesAt, 39); }, EReducedRead::Damaged},
      {"pixels more than the sizes", [](auto& b) { putU32(b, kSizesAt, 37); }, EReducedRead::Damaged},
      {"compressed length short", [](auto& b) { putU32(b, kPackedLengthAt, static_cast<std::uint32_t>(b.size() - kPackedLengthAt - 9)); }, EReducedRead::Damaged},
      {"zlib stream cut short", [](auto& b) {
         const std::size_t packed = b.size() - kPackedLengthAt - 8;
         b.erase(b.begin() + static_cast<std::ptrdiff_t>(kPackedLengthAt + 4 + packed / 2), b.end() - 4);
         putU32(b, kPackedLengthAt, static_cast<std::uint32_t>(b.size() - kPackedLengthAt - 8));
       }, EReducedRead::Damaged},
      {"bytes after the zlib stream", [](auto& b) {
         b.insert(b.end() - 4, {1, 2, 3});
         putU32(b, kPackedLengthAt, static_cast<std::uint32_t>(b.size() - kPackedLengthAt - 8));
       }, EReducedRead::Damaged},
      {"pixels not zlib", [](auto& b) { std::fill(b.begin() + kPackedLengthAt + 4, b.end() - 4, 0x55); }, EReducedRead::Damaged},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> spoilt = file;
    c.patch(spoilt);
    resealCrc(spoilt);
    std::string detail;
    SReducedCopies out;
    EXPECT_EQ(decodeKeepingOut(spoilt), c.want);
    (void)mosaic::decodeReducedCopies(spoilt, sampleKey(), out, &detail);
    EXPECT_FALSE(detail.empty());
  }
}

TEST(ReducedCopy, CopiesOfOtherKeysAreForeign) {
  SReducedCopies copies;
  (void)sampleFile(&copies);
  std::vector<SReducedKey> others(6, sampleKey());
  others[0].sheetPath = "/maps/tokyo/nf543951.tif";
  others[1].sheetPath = "/maps/tokyo/nf543950.tif/";
  others[2].fileSize += 1;
  others[3].modifiedNs -= 1;
  others[4].colourHash ^= std::uint64_t{1} << 63;
  others[5].sheetPath.clear();
  for (const SReducedKey& other : others) {
    SCOPED_TRACE(other.sheetPath + " " + std::to_string(other.fileSize) + " " + std::to_string(other.modifiedNs));
    EXPECT_EQ(decodeKeepingOut(mosaic::encodeReducedCopies(other, copies)), EReducedRead::Foreign);
    EXPECT_EQ(decodeKeepingOut(mosaic::encodeReducedCopies(sampleKey(), copies), other), EReducedRead::Foreign);
  }
}

TEST(ReducedCopy, FilesThatAreNoCopiesAreDamaged) {
  QTemporaryDir dir;
  const fs::path root = fs::path(dir.path().toStdString());
  const std::vector<std::uint8_t> good = sampleFile();
  testutil::writeFile(root / "empty.vrc", "");
  testutil::writeFile(root / "truncated.vrc", std::string(good.begin(), good.begin() + 100));
  fs::create_directories(root / "folder.vrc");
  {
    std::ofstream(root / "huge.vrc", std::ios::binary) << "VantoriaReducedCopy";
    fs::resize_file(root / "huge.vrc", std::uint64_t{80} << 20);  // sparse: above any copy
  }
  for (const char* name : {"empty.vrc", "truncated.vrc", "folder.vrc", "huge.vrc"}) {
    SCOPED_TRACE(name);
    SReducedCopies out;
    std::string detail;
    EXPECT_EQ(mosaic::ReadReducedCopies(root / name, sampleKey(), out, &detail), EReducedRead::Damaged);
    EXPECT_TRUE(out.eighth.isNull());
    EXPECT_FALSE(detail.empty());
  }
}

TEST(ReducedCopy, AFullDiskKeepsThePreviousCopy) {
  testutil::CSmallDisk disk(256 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  const fs::path file = mosaic::ReducedCopyPath(disk.root(), sampleKey());
  SReducedCopies small, large;
  (void)sampleFile(&small, 8, 8);
  const std::vector<std::uint8_t> largeBytes = sampleFile(&large, 1000, 1000);  // about 30 KB
  ASSERT_GT(largeBytes.size(), 6u * testutil::CSmallDisk::kPage);
  ASSERT_TRUE(mosaic::WriteReducedCopies(file, sampleKey(), small).ok);
  const std::string before = testutil::readFile(file);
  for (const std::int64_t pages : {0, 1, 3, 5}) {
    SCOPED_TRACE(pages);
    disk.leaveFree(pages);
    const platform::SFileWriteResult r = mosaic::WriteReducedCopies(file, sampleKey(), large);
    disk.unfill();
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_EQ(testutil::readFile(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
  }
  ASSERT_TRUE(mosaic::WriteReducedCopies(file, sampleKey(), large).ok);
  SReducedCopies read;
  EXPECT_EQ(mosaic::ReadReducedCopies(file, sampleKey(), read), EReducedRead::Ok);
  EXPECT_EQ(read.eighth, large.eighth);
}
