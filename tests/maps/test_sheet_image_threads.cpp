// A sheet decoded on several threads gives the block and the status of the one-thread read.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <thread>

#include "common/TestUtil.h"
#include "maps/MapFixtures.h"
#include "maps/SheetImage.h"

namespace {

using mapfix::STiffLayout;

constexpr int kThreadCounts[] = {1, 2, 3, 8};

std::filesystem::path tempPath(const QTemporaryDir& dir, const char* name) {
  return std::filesystem::path(dir.path().toStdString()) / name;
}

std::span<const std::uint8_t> bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The whole packed block of a read, or the status when it failed.
struct SDecoded {
  SSheetImageStatus status;
  std::string block;
};

// Reads into `image` (as a caller reusing one image would), after scribbling over what it
// held, so that a row no thread writes shows. Progress must stay on this thread and never fall.
SDecoded decodeWith(SheetImage& image, const std::function<SSheetImageStatus(const SheetProgress&)>& read) {
  if (!image.isNull()) std::memset(image.bits(), 0xCD, image.size() - image.pixelOffset());
  const std::thread::id caller = std::this_thread::get_id();
  float last = 0;
  bool offThread = false, fell = false, outside = false;
  SDecoded out;
  out.status = read([&](float f) {
    offThread |= std::this_thread::get_id() != caller;
    fell |= f < last;
    outside |= f < 0 || f > 1;
    last = f;
  });
  EXPECT_FALSE(offThread) << "progress called from another thread";
  EXPECT_FALSE(fell) << "progress went back";
  EXPECT_FALSE(outside) << "progress outside 0..1";
  EXPECT_EQ(out.status.ok(), !image.isNull());
  if (!image.isNull()) out.block.assign(reinterpret_cast<const char*>(image.data()), image.size());
  return out;
}

// Every thread count, from the file and from its bytes, against the one-thread read of the file.
void expectSameForEveryThreadCount(const std::filesystem::path& path) {
  const std::string file = testutil::readFile(path);
  SheetImage image;
  const SDecoded want = decodeWith(image, [&](const SheetProgress& p) { return ReadSheetImage(path, image, p); });
  for (const int threads : kThreadCounts) {
    SCOPED_TRACE(threads);
    const SDecoded fromBytes =
        decodeWith(image, [&](const SheetProgress& p) { return ReadSheetImage(bytes(file), image, p, threads); });
    const SDecoded fromFile = decodeWith(image, [&](const SheetProgress& p) { return ReadSheetImage(path, image, p, threads); });
    for (const SDecoded* got : {&fromBytes, &fromFile}) {
      EXPECT_EQ(got->status.error, want.status.error) << got->status.detail;
      EXPECT_EQ(got->status.detail, want.status.detail);
      ASSERT_EQ(got->block.size(), want.block.size());
      // Not EXPECT_EQ on the strings: a mismatch would print megabytes.
      const auto diff = std::mismatch(got->block.begin(), got->block.end(), want.block.begin());
      EXPECT_TRUE(diff.first == got->block.end()) << "blocks differ at byte " << (diff.first - got->block.begin());
    }
  }
}

TEST(SheetImageThreads, SampleSheetsDecodeAlikeOnAnyThreadCount) {
  std::vector<std::filesystem::path> sheets;
  for (const char* series : {"map25000", "map50000"}) {
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(testutil::sampleDir() / series, ec))
      if (e.path().extension() == ".tif" || e.path().extension() == ".TIF") sheets.push_back(e.path());
  }
  ASSERT_FALSE(sheets.empty()) << "no sample sheets in " << testutil::sampleDir();
  std::sort(sheets.begin(), sheets.end());
  // Two sheets of each series are enough to meet their strip layout; all of them take long under
  // the sanitizers.
  for (const std::size_t i : {std::size_t{0}, std::size_t{1}, sheets.size() / 2, sheets.size() / 2 + 1}) {
    if (i >= sheets.size()) continue;
    SCOPED_TRACE(sheets[i].string());
    expectSameForEveryThreadCount(sheets[i]);
  }
}

TEST(SheetImageThreads, GeneratedSheetsDecodeAlikeOnAnyThreadCount) {
  const struct {
    const char* name;
    STiffLayout tiff;
    std::uint16_t predictor;
  } kCases[] = {
      {"one strip", {300, 41, 1, 8, PHOTOMETRIC_PALETTE, 41, COMPRESSION_LZW, {}, {}, {}}, PREDICTOR_NONE},
      {"many strips", {301, 160, 1, 8, PHOTOMETRIC_PALETTE, 4, COMPRESSION_LZW, {}, {}, {}}, PREDICTOR_NONE},
      {"rows per strip not dividing the height", {257, 103, 1, 8, PHOTOMETRIC_PALETTE, 10, COMPRESSION_LZW, {}, {}, {}},
       PREDICTOR_NONE},
      {"two strips, eight threads", {64, 9, 1, 8, PHOTOMETRIC_PALETTE, 5, COMPRESSION_NONE, {}, {}, {}}, PREDICTOR_NONE},
      {"one-row strips", {33, 50, 1, 8, PHOTOMETRIC_PALETTE, 1, COMPRESSION_PACKBITS, {}, {}, {}}, PREDICTOR_NONE},
      {"grey", {203, 77, 1, 8, PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_LZW, {}, {}, {}}, PREDICTOR_NONE},
      {"grey, white is zero", {40, 30, 1, 8, PHOTOMETRIC_MINISWHITE, 7, COMPRESSION_NONE, {}, {}, {}}, PREDICTOR_NONE},
      {"24-bit RGB", {101, 66, 3, 8, PHOTOMETRIC_RGB, 6, COMPRESSION_LZW, {}, {}, {}}, PREDICTOR_NONE},
      {"24-bit RGB, uncompressed", {7, 20, 3, 8, PHOTOMETRIC_RGB, 3, COMPRESSION_NONE, {}, {}, {}}, PREDICTOR_NONE},
      {"LZW with predictor", {250, 90, 1, 8, PHOTOMETRIC_PALETTE, 8, COMPRESSION_LZW, {}, {}, {}}, PREDICTOR_HORIZONTAL},
      {"RGB LZW with predictor", {97, 45, 3, 8, PHOTOMETRIC_RGB, 4, COMPRESSION_LZW, {}, {}, {}}, PREDICTOR_HORIZONTAL},
      {"Deflate with predictor", {129, 70, 1, 8, PHOTOMETRIC_MINISBLACK, 9, COMPRESSION_ADOBE_DEFLATE, {}, {}, {}},
       PREDICTOR_HORIZONTAL},
      // Codecs without a bounded expansion stay on one thread.
      {"ZSTD", {41, 23, 1, 8, PHOTOMETRIC_PALETTE, 5, COMPRESSION_ZSTD, {}, {}, {}}, PREDICTOR_NONE},
      // Refused alike.
      {"16 bits", {16, 8, 1, 16, PHOTOMETRIC_MINISBLACK, 2, COMPRESSION_NONE, {}, {}, {}}, PREDICTOR_NONE},
  };
  QTemporaryDir tmp;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (!TIFFIsCODECConfigured(c.tiff.compression)) {
      std::cout << "libtiff without codec " << c.tiff.compression << ": " << c.name << " not read\n";
      continue;
    }
    const auto path = tempPath(tmp, "t.tif");
    ASSERT_TRUE(mapfix::writeTiff(path, c.tiff, mapfix::patternByte, c.predictor));
    expectSameForEveryThreadCount(path);
  }
}

// ---- failures

// The raw (still compressed) strips of a libtiff-written grey image.
std::vector<std::string> rawStrips(const std::filesystem::path& path) {
  std::vector<std::string> out;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return out;
  for (std::uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
    std::string raw(static_cast<std::size_t>(TIFFRawStripSize(tif, s)), '\0');
    if (TIFFReadRawStrip(tif, s, raw.data(), static_cast<tmsize_t>(raw.size())) != tmsize_t(raw.size())) raw.clear();
    out.push_back(std::move(raw));
  }
  TIFFClose(tif);
  return out;
}

// A grey LZW image with its directory before the strips, so that cutting the file short cuts
// strips and leaves the tags whole.
std::string directoryFirstTiff(std::uint32_t width, std::uint32_t height, std::uint32_t rowsPerStrip,
                               const std::vector<std::string>& strips) {
  std::string out;
  const auto u16 = [&](std::uint32_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>((v >> 8) & 0xff));
  };
  const auto u32 = [&](std::uint32_t v) {
    u16(v & 0xffff);
    u16(v >> 16);
  };
  const std::uint32_t n = static_cast<std::uint32_t>(strips.size());
  constexpr std::uint32_t kEntries = 8;
  const std::uint32_t arrays = 8 + 2 + 12 * kEntries + 4;  // the offsets, then the byte counts
  std::uint32_t at = arrays + 8 * n;
  out = "II*";
  out.push_back('\0');
  u32(8);
  u16(kEntries);
  const auto entry = [&](std::uint32_t tag, std::uint32_t type, std::uint32_t count, std::uint32_t value) {
    u16(tag);
    u16(type);
    u32(count);
    if (type == 3 && count == 1) {
      u16(value);
      u16(0);
    } else {
      u32(value);
    }
  };
  entry(256, 4, 1, width);
  entry(257, 4, 1, height);
  entry(258, 3, 1, 8);
  entry(259, 3, 1, COMPRESSION_LZW);
  entry(262, 3, 1, PHOTOMETRIC_MINISBLACK);
  entry(273, 4, n, n == 1 ? at : arrays);
  entry(278, 4, 1, rowsPerStrip);
  entry(279, 4, n, n == 1 ? static_cast<std::uint32_t>(strips[0].size()) : arrays + 4 * n);
  u32(0);
  for (const std::string& s : strips) {
    u32(at);
    at += static_cast<std::uint32_t>(s.size());
  }
  for (const std::string& s : strips) u32(static_cast<std::uint32_t>(s.size()));
  for (const std::string& s : strips) out += s;
  return out;
}

// The statuses of reads on every thread count, with nothing written to stderr.
void expectSameFailureForEveryThreadCount(const std::string& tiff, ESheetImageError want, const std::string& why) {
  std::string first;
  for (const int threads : kThreadCounts) {
    SCOPED_TRACE(threads);
    SheetImage image;
    ASSERT_TRUE(CreatePackedBitmap(image, 8, 8, 8));  // a failed read leaves no image behind
    testing::internal::CaptureStderr();
    const SSheetImageStatus st = ReadSheetImage(bytes(tiff), image, {}, threads);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "libtiff wrote to stderr";
    EXPECT_EQ(st.error, want) << st.detail;
    EXPECT_NE(st.detail.find(why), std::string::npos) << st.detail;
    EXPECT_TRUE(image.isNull());
    if (threads == 1) first = st.detail;
    else EXPECT_EQ(st.detail, first);
  }
}

TEST(SheetImageThreads, ACorruptStripFailsAlikeOnAnyThreadCount) {
  QTemporaryDir tmp;
  const auto path = tempPath(tmp, "grey.tif");
  // 12 strips of 8 rows.
  ASSERT_TRUE(mapfix::writeTiff(path, {120, 96, 1, 8, PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_LZW, {}, {}, {}}));
  const std::vector<std::string> good = rawStrips(path);
  ASSERT_EQ(good.size(), 12u);
  const auto spoilt = [&](std::initializer_list<std::size_t> bad) {
    std::vector<std::string> strips = good;
    // All ones are codes the table cannot have yet.
    for (const std::size_t s : bad) strips[s].assign(strips[s].size(), '\xff');
    return directoryFirstTiff(120, 96, 8, strips);
  };
  // The hand-made file itself reads.
  SheetImage image;
  ASSERT_TRUE(ReadSheetImage(bytes(spoilt({})), image, {}, 3).ok());
  const struct {
    const char* name;
    std::string tiff;
    const char* why;
  } kCases[] = {
      {"first strip", spoilt({0}), "strip at row 0 cannot be read"},
      {"a middle strip", spoilt({5}), "strip at row 40 cannot be read"},
      {"last strip", spoilt({11}), "strip at row 88 cannot be read"},
      // The first in strip order, whichever thread meets its failure first.
      {"two strips", spoilt({9, 2}), "strip at row 16 cannot be read"},
      {"every other strip", spoilt({1, 3, 5, 7, 9, 11}), "strip at row 8 cannot be read"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    expectSameFailureForEveryThreadCount(c.tiff, ESheetImageError::Decode, c.why);
  }
}

TEST(SheetImageThreads, ATruncatedFileFailsAlikeOnAnyThreadCount) {
  QTemporaryDir tmp;
  const auto path = tempPath(tmp, "grey.tif");
  ASSERT_TRUE(mapfix::writeTiff(path, {120, 96, 1, 8, PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_LZW, {}, {}, {}}));
  const std::string libtiffs = testutil::readFile(path);  // its directory comes last
  const std::vector<std::string> strips = rawStrips(path);
  ASSERT_EQ(strips.size(), 12u);
  const std::string whole = directoryFirstTiff(120, 96, 8, strips);
  std::size_t sixth = whole.size();  // where the seventh strip starts
  for (std::size_t s = 6; s < strips.size(); ++s) sixth -= strips[s].size();
  const struct {
    const char* name;
    std::string tiff;
    ESheetImageError want;
    const char* why;
  } kCases[] = {
      {"in the last strip", whole.substr(0, whole.size() - 1), ESheetImageError::Decode, "strip at row 88"},
      // Refused before decoding: the strips after it lie beyond the end.
      {"in the seventh strip", whole.substr(0, sixth + 3), ESheetImageError::Decode, "strip at row 56 holds 0 bytes"},
      {"after the tags", whole.substr(0, sixth - strips[5].size() - strips[4].size()), ESheetImageError::Decode,
       "strip at row 32"},
      {"in the directory", whole.substr(0, 40), ESheetImageError::Open, "cannot open"},
      {"directory cut off", libtiffs.substr(0, libtiffs.size() / 2), ESheetImageError::Open, "cannot open"},
      {"header only", whole.substr(0, 8), ESheetImageError::Open, "cannot open"},
      {"half a header", whole.substr(0, 3), ESheetImageError::NotTiff, "not a TIFF"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    expectSameFailureForEveryThreadCount(c.tiff, c.want, c.why);
  }
}

TEST(SheetImageThreads, FilesThatCannotBeReadFailAsOnOneThread) {
  QTemporaryDir tmp;
  const auto text = tempPath(tmp, "text.tif");
  testutil::writeFile(text, "this is not an image at all");
  const auto empty = tempPath(tmp, "empty.tif");
  testutil::writeFile(empty, "");
  const auto folder = tempPath(tmp, "folder.tif");
  std::filesystem::create_directory(folder);
  const struct {
    const char* name;
    std::filesystem::path path;
    ESheetImageError want;
  } kCases[] = {
      {"missing", tempPath(tmp, "absent.tif"), ESheetImageError::Open},
      // Opens, but gives no bytes.
      {"a folder", folder, ESheetImageError::NotTiff},
      {"text", text, ESheetImageError::NotTiff},
      {"empty", empty, ESheetImageError::NotTiff},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SheetImage image;
    testing::internal::CaptureStderr();
    const SSheetImageStatus one = ReadSheetImage(c.path, image);
    const SSheetImageStatus two = ReadSheetImage(c.path, image, {}, 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(one.error, c.want) << one.detail;
    EXPECT_EQ(two.error, c.want) << two.detail;
    EXPECT_EQ(two.detail, one.detail);
    EXPECT_NE(two.detail.find(c.path.filename().string()), std::string::npos) << two.detail;
    EXPECT_TRUE(image.isNull());
  }
}

}  // namespace
