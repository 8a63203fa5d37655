#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <iostream>

#include "common/TestUtil.h"
#include "maps/MapFixtures.h"
#include "maps/SheetImage.h"

namespace {

using mapfix::STiffLayout;

std::filesystem::path tempPath(const QTemporaryDir& dir, const char* name) {
  return std::filesystem::path(dir.path().toStdString()) / name;
}

std::vector<std::uint16_t> ramp(std::uint32_t scale, std::uint32_t offset) {
  std::vector<std::uint16_t> v(256);
  for (std::uint32_t i = 0; i < 256; ++i) v[i] = static_cast<std::uint16_t>(((i + offset) & 0xff) * scale);
  return v;
}

TEST(SheetImage, ReadsStripImagesBottomUp) {
  const struct {
    const char* name;
    STiffLayout tiff;
    int bitCount;
    int stride;
  } kCases[] = {
      {"8-bit palette, strips of 3", {8, 7, 1, 8, PHOTOMETRIC_PALETTE, 3, COMPRESSION_NONE, {}, {}, {}}, 8, 8},
      {"padded width 4003", {4003, 5, 1, 8, PHOTOMETRIC_PALETTE, 2, COMPRESSION_LZW, {}, {}, {}}, 8, 4004},
      {"width 5 pads 3 bytes", {5, 4, 1, 8, PHOTOMETRIC_MINISBLACK, 1, COMPRESSION_NONE, {}, {}, {}}, 8, 8},
      {"rows per strip above height", {16, 5, 1, 8, PHOTOMETRIC_MINISWHITE, 64, COMPRESSION_PACKBITS, {}, {}, {}}, 8, 16},
      {"24-bit RGB, odd width", {7, 6, 3, 8, PHOTOMETRIC_RGB, 4, COMPRESSION_LZW, {}, {}, {}}, 24, 24},
      {"24-bit RGB, one strip", {4, 3, 3, 8, PHOTOMETRIC_RGB, 3, COMPRESSION_NONE, {}, {}, {}}, 24, 12},
      {"Deflate, padded width", {4003, 5, 1, 8, PHOTOMETRIC_PALETTE, 2, COMPRESSION_ADOBE_DEFLATE, {}, {}, {}}, 8, 4004},
      // Codecs without a bounded expansion take memory strip by strip and turn the rows over.
      {"ZSTD palette, strips of 5", {41, 23, 1, 8, PHOTOMETRIC_PALETTE, 5, COMPRESSION_ZSTD, {}, {}, {}}, 8, 44},
      {"LZMA RGB", {7, 6, 3, 8, PHOTOMETRIC_RGB, 4, COMPRESSION_LZMA, {}, {}, {}}, 24, 24},
      {"ZSTD grey, one strip of 4.3 MB", {2401, 1800, 1, 8, PHOTOMETRIC_MINISBLACK, 1800, COMPRESSION_ZSTD, {}, {}, {}}, 8, 2404},
      {"ZSTD RGB, one strip of 4.5 MB", {1500, 1000, 3, 8, PHOTOMETRIC_RGB, 1000, COMPRESSION_ZSTD, {}, {}, {}}, 24, 4500},
  };
  QTemporaryDir tmp;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (!TIFFIsCODECConfigured(c.tiff.compression)) {
      std::cout << "libtiff without codec " << c.tiff.compression << ": " << c.name << " not read\n";
      continue;
    }
    const auto path = tempPath(tmp, "t.tif");
    ASSERT_TRUE(mapfix::writeTiff(path, c.tiff));
    SheetImage img;
    std::vector<float> progress;
    const SSheetImageStatus st = ReadSheetImage(path, img, [&](float f) { progress.push_back(f); });
    ASSERT_TRUE(st.ok()) << st.detail;
    const SBitmapInfoHeader h = img.header();
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, int(c.tiff.width));
    EXPECT_EQ(h.height, int(c.tiff.height));
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bitCount, c.bitCount);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.sizeImage, c.tiff.width * c.bitCount * c.tiff.height / 8);
    EXPECT_EQ(h.xPelsPerMeter, 2834);
    EXPECT_EQ(h.clrUsed, 0u);
    EXPECT_EQ(img.stride(), c.stride);
    EXPECT_EQ(img.colourCount(), c.bitCount == 8 ? 256 : 0);
    EXPECT_EQ(img.size(), 40 + 4 * std::size_t(img.colourCount()) + std::size_t(c.stride) * c.tiff.height);
    const int bpp = c.bitCount / 8;
    for (std::uint32_t y = 0; y < c.tiff.height; ++y) {
      // Image row y lies (height - 1 - y) strides past the first row in memory.
      const std::uint8_t* row = img.bits() + std::size_t(c.tiff.height - 1 - y) * std::size_t(c.stride);
      ASSERT_EQ(row, img.scanLine(int(y)));
      for (std::uint32_t x = 0; x < c.tiff.width; ++x)
        for (int s = 0; s < bpp; ++s)  // RGB arrives as blue, green, red
          ASSERT_EQ(row[x * bpp + s], mapfix::patternByte(x, y, bpp == 3 ? 2 - s : s)) << x << "," << y;
      for (int pad = int(c.tiff.width) * bpp; pad < c.stride; ++pad) ASSERT_EQ(row[pad], 0) << "pad at row " << y;
    }
    // One call per strip with the fraction of rows before it.
    const std::uint32_t rps = std::min(c.tiff.rowsPerStrip, c.tiff.height);
    ASSERT_EQ(progress.size(), (c.tiff.height + rps - 1) / rps);
    for (std::size_t i = 0; i < progress.size(); ++i) EXPECT_FLOAT_EQ(progress[i], float(i * rps) / float(c.tiff.height));
  }
}

TEST(SheetImage, ConvertsColourMaps) {
  const struct {
    const char* name;
    std::vector<std::uint16_t> red, green, blue;
    std::uint8_t wantRed1, wantGreen1, wantBlue1, wantRed255;
  } kCases[] = {
      // Any entry of 256 or more makes every map 16-bit: v x 255 / 65535.
      {"16-bit maps", ramp(257, 0), ramp(256, 0), ramp(1, 0), 1, 0, 0, 255},
      {"one wide entry among small ones", ramp(1, 0), ramp(1, 0), [] { auto v = ramp(1, 0); v[200] = 256; return v; }(), 0, 0, 0, 0},
      // Values below 256 are taken as they are.
      {"8-bit maps", ramp(1, 0), ramp(1, 1), ramp(1, 2), 1, 2, 3, 255},
  };
  QTemporaryDir tmp;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    STiffLayout layout;
    layout.red = c.red;
    layout.green = c.green;
    layout.blue = c.blue;
    const auto path = tempPath(tmp, "p.tif");
    ASSERT_TRUE(mapfix::writeTiff(path, layout));
    SheetImage img;
    ASSERT_TRUE(ReadSheetImage(path, img).ok());
    const std::uint8_t* t = img.colourTable();
    EXPECT_EQ(t[4 * 1 + 0], c.wantBlue1);
    EXPECT_EQ(t[4 * 1 + 1], c.wantGreen1);
    EXPECT_EQ(t[4 * 1 + 2], c.wantRed1);
    EXPECT_EQ(t[4 * 255 + 2], c.wantRed255);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(t[4 * i + 3], 0);
  }
  // A grey image keeps an all-zero table, even in a block that held a palette before.
  SheetImage img;
  STiffLayout pal;
  pal.red = pal.green = pal.blue = ramp(257, 3);
  ASSERT_TRUE(mapfix::writeTiff(tempPath(tmp, "pal.tif"), pal));
  ASSERT_TRUE(ReadSheetImage(tempPath(tmp, "pal.tif"), img).ok());
  STiffLayout grey;
  grey.photometric = PHOTOMETRIC_MINISBLACK;
  ASSERT_TRUE(mapfix::writeTiff(tempPath(tmp, "grey.tif"), grey));
  ASSERT_TRUE(ReadSheetImage(tempPath(tmp, "grey.tif"), img).ok());
  for (int i = 0; i < 256 * 4; ++i) ASSERT_EQ(img.colourTable()[i], 0);
}

TEST(SheetImage, ReusesTheBlockAndClearsStaleBytes) {
  QTemporaryDir tmp;
  STiffLayout big{64, 40, 1, 8, PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_NONE, {}, {}, {}};
  STiffLayout small{5, 3, 1, 8, PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_NONE, {}, {}, {}};
  ASSERT_TRUE(mapfix::writeTiff(tempPath(tmp, "big.tif"), big, [](auto, auto, auto) { return std::uint8_t{0xAB}; }));
  ASSERT_TRUE(mapfix::writeTiff(tempPath(tmp, "small.tif"), small));
  SheetImage img;
  ASSERT_TRUE(ReadSheetImage(tempPath(tmp, "big.tif"), img).ok());
  const std::uint8_t* block = img.data();
  ASSERT_TRUE(ReadSheetImage(tempPath(tmp, "small.tif"), img).ok());
  EXPECT_EQ(img.data(), block);
  EXPECT_EQ(img.width(), 5);
  for (int y = 0; y < 3; ++y)
    for (int pad = 5; pad < 8; ++pad) EXPECT_EQ(img.scanLine(y)[pad], 0);
  // A failed read leaves no image behind.
  const auto bad = tempPath(tmp, "bad.tif");
  testutil::writeFile(bad, "II*\0garbage");
  EXPECT_FALSE(ReadSheetImage(bad, img).ok());
  EXPECT_TRUE(img.isNull());
  EXPECT_EQ(img.bits(), nullptr);
  EXPECT_EQ(img.scanLine(0), nullptr);
}

// Hand-made TIFFs: tag sets that writers rarely produce.
std::string greyTiff(std::uint32_t width, std::uint32_t height, std::vector<mapfix::SIfdEntry> more,
                     const std::string& data, std::uint16_t bits = 8) {
  std::vector<mapfix::SIfdEntry> e = {{256, 4, {width}}, {257, 4, {height}}, {258, 3, {bits}}, {259, 3, {1}},
                                      {262, 3, {1}},     {273, 4, {0}},
                                      {279, 4, {static_cast<std::uint32_t>(data.size())}}};
  for (auto& m : more) {
    const auto same = std::find_if(e.begin(), e.end(), [&](const auto& x) { return x.tag == m.tag; });
    if (same != e.end()) *same = m;
    else e.push_back(m);
  }
  std::sort(e.begin(), e.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
  return mapfix::handTiff(e, data);
}

std::span<const std::uint8_t> bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(SheetImage, MissingOrHugeRowsPerStripIsOneStrip) {
  const std::string pixels = "abcdefghijkl";  // 4 x 3
  const struct {
    const char* name;
    std::vector<mapfix::SIfdEntry> more;
  } kCases[] = {
      {"no RowsPerStrip tag", {}},
      {"RowsPerStrip 2^32 - 1", {{278, 4, {0xffffffffu}}}},
      {"RowsPerStrip above the height", {{278, 4, {7}}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string tiff = greyTiff(4, 3, c.more, pixels);
    SheetImage img;
    int calls = 0;
    const SSheetImageStatus st = ReadSheetImage(bytes(tiff), img, [&](float) { ++calls; });
    ASSERT_TRUE(st.ok()) << st.detail;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(img.scanLine(0)), 4), "abcd");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(img.bits()), 4), "ijkl");
  }
}

TEST(SheetImage, RefusesBadInput) {
  QTemporaryDir tmp;
  const auto lzw = tempPath(tmp, "lzw.tif");
  ASSERT_TRUE(mapfix::writeTiff(lzw, {300, 200, 1, 8, PHOTOMETRIC_PALETTE, 16, COMPRESSION_LZW, {}, {}, {}}));
  const std::string whole = testutil::readFile(lzw);
  const auto bits = [&](std::uint16_t b, std::uint16_t photometric) {
    const auto p = tempPath(tmp, "bits.tif");
    EXPECT_TRUE(mapfix::writeTiff(p, {16, 4, 1, b, photometric, 4, COMPRESSION_NONE, {}, {}, {}}));
    return testutil::readFile(p);
  };
  const auto rgba = [&] {
    const auto p = tempPath(tmp, "rgba.tif");
    EXPECT_TRUE(mapfix::writeTiff(p, {4, 4, 4, 8, PHOTOMETRIC_RGB, 4, COMPRESSION_NONE, {}, {}, {}}));
    return testutil::readFile(p);
  };
  const struct {
    const char* name;
    std::string data;
    ESheetImageError want;
  } kCases[] = {
      {"empty", "", ESheetImageError::NotTiff},
      {"text", "this is not an image at all", ESheetImageError::NotTiff},
      {"header only", std::string("II*\0\x08\0\0\0", 8), ESheetImageError::Open},
      {"truncated file", whole.substr(0, whole.size() / 3), ESheetImageError::Open},
      {"corrupt LZW strip", greyTiff(4, 3, {{259, 3, {5}}}, std::string(12, '\xff')), ESheetImageError::Decode},
      {"1 bit", bits(1, PHOTOMETRIC_MINISBLACK), ESheetImageError::Unsupported},
      {"4 bits", bits(4, PHOTOMETRIC_PALETTE), ESheetImageError::Unsupported},
      {"16 bits", bits(16, PHOTOMETRIC_MINISBLACK), ESheetImageError::Unsupported},
      {"32 bits", bits(32, PHOTOMETRIC_MINISBLACK), ESheetImageError::Unsupported},
      {"RGBA", rgba(), ESheetImageError::Unsupported},
      {"bitmap above 1 GiB", greyTiff(40000, 40000, {{278, 4, {1}}}, "x"), ESheetImageError::TooLarge},
      {"900 MB in one strip from one byte", greyTiff(30000, 30000, {}, "x"), ESheetImageError::Decode},
      {"large bitmap from a few bytes", greyTiff(20000, 20000, {{278, 4, {20000}}}, "xyz"), ESheetImageError::Decode},
      {"strip data beyond the file", greyTiff(40, 30, {{279, 4, {100000}}}, "ab"), ESheetImageError::Decode},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SheetImage img;
    testing::internal::CaptureStderr();
    const SSheetImageStatus st = ReadSheetImage(bytes(c.data), img);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(st.error, c.want) << st.detail;
    EXPECT_FALSE(st.detail.empty());
    EXPECT_EQ(st.detail.find('\n'), std::string::npos);
    EXPECT_TRUE(img.isNull());
    EXPECT_EQ(err, "") << "libtiff wrote to stderr";
  }
  SheetImage img;
  const SSheetImageStatus missing = ReadSheetImage(tempPath(tmp, "absent.tif"), img);
  EXPECT_EQ(missing.error, ESheetImageError::Open);
  EXPECT_NE(missing.detail.find("absent.tif"), std::string::npos) << missing.detail;
}

// ---- images larger than their strips can hold

// A strip image with the given strip offsets (from the start of `data`) and byte counts.
std::string stripTiff(std::uint32_t width, std::uint32_t height, std::uint16_t samples, std::uint16_t compression,
                      std::uint32_t rowsPerStrip, std::vector<std::uint32_t> offsets, std::vector<std::uint32_t> counts,
                      const std::string& data) {
  const std::uint32_t photometric = samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  return mapfix::handTiff({{256, 4, {width}},
                           {257, 4, {height}},
                           {258, 3, std::vector<std::uint32_t>(samples, 8)},
                           {259, 3, {compression}},
                           {262, 3, {photometric}},
                           {273, 4, std::move(offsets)},
                           {277, 3, {samples}},
                           {278, 4, {rowsPerStrip}},
                           {279, 4, std::move(counts)}},
                          data);
}

std::vector<std::uint32_t> repeated(std::size_t n, std::uint32_t v) { return std::vector<std::uint32_t>(n, v); }

// The compressed bytes of a one-strip constant image made by libtiff; empty without the codec.
std::string rawStrip(const QTemporaryDir& dir, std::uint32_t width, std::uint32_t height, std::uint16_t compression) {
  if (!TIFFIsCODECConfigured(compression)) return {};
  const auto path = tempPath(dir, "raw.tif");
  if (!mapfix::writeTiff(path, {width, height, 1, 8, PHOTOMETRIC_MINISBLACK, height, compression, {}, {}, {}},
                         [](auto, auto, auto) { return std::uint8_t{7}; }))
    return {};
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return {};
  std::string raw(static_cast<std::size_t>(TIFFRawStripSize(tif, 0)), '\0');
  if (TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size())) != tmsize_t(raw.size())) raw.clear();
  TIFFClose(tif);
  return raw;
}

TEST(SheetImage, RefusesImagesTheirStripsCannotHoldBeforeTakingMemory) {
  QTemporaryDir tmp;
  const std::string junk(1686, '\x5a');
  const std::string zstd16 = rawStrip(tmp, 30000, 16, COMPRESSION_ZSTD);
  std::vector<std::uint32_t> sequential(10);
  for (std::uint32_t i = 0; i < 10; ++i) sequential[i] = 100 * i;
  // A tiled image: 64 tiles of 4096 x 4096 on the same bytes.
  std::string tiled = mapfix::handTiff({{256, 4, {32000}}, {257, 4, {32000}}, {258, 3, {8}}, {259, 3, {5}},
                                        {262, 3, {1}}, {322, 4, {4096}}, {323, 4, {4096}}, {324, 4, repeated(64, 8)},
                                        {325, 4, repeated(64, 1686)}},
                                       junk);
  const struct {
    const char* name;
    std::string tiff;
    ESheetImageError want;
    const char* why;  ///< part of the status detail (and of the command's error)
  } kCases[] = {
      {"uncompressed, strips reaching past the file",
       stripTiff(32000, 32000, 1, COMPRESSION_NONE, 128, repeated(250, 0), repeated(250, 4096000), junk),
       ESheetImageError::Decode, "bytes for 4096000 bytes"},
      {"uncompressed, 8,200 strips on the same row of bytes",
       stripTiff(8200, 8200, 1, COMPRESSION_NONE, 1, repeated(8200, 0), repeated(8200, 8200), std::string(8200, 'r')),
       ESheetImageError::Decode, "8200 bytes of strips cannot hold"},
      {"LZW, 250 strips on the same 1,686 bytes",
       stripTiff(32000, 32000, 1, COMPRESSION_LZW, 128, repeated(250, 0), repeated(250, 1686), junk),
       ESheetImageError::Decode, "1686 bytes of strips cannot hold an image of 1024000000"},
      {"LZW, one strip counted far beyond the file",
       stripTiff(20000, 20000, 1, COMPRESSION_LZW, 20000, {0}, {0xffffffffu}, junk), ESheetImageError::Decode,
       "holds"},
      {"PackBits, ten short strips",
       stripTiff(10000, 10000, 1, COMPRESSION_PACKBITS, 1000, sequential, repeated(10, 100), std::string(1000, 'p')),
       ESheetImageError::Decode, "holds 100 bytes for 10000000"},
      {"Deflate, one strip", stripTiff(30000, 30000, 1, COMPRESSION_ADOBE_DEFLATE, 30000, {0}, {1686}, junk),
       ESheetImageError::Decode, "holds 1686 bytes"},
      {"Deflate RGB, 1,125 strips on the same bytes",
       stripTiff(18000, 18000, 3, COMPRESSION_DEFLATE, 16, repeated(1125, 0), repeated(1125, 1686), junk),
       ESheetImageError::Decode, "cannot hold"},
      {"ZSTD, 16 real rows for 30,000",
       stripTiff(30000, 30000, 1, COMPRESSION_ZSTD, 30000, {0}, {std::uint32_t(zstd16.size())}, zstd16),
       ESheetImageError::Decode, "strip at row 0"},
      {"ZSTD, 1,875 strips on the same real rows",
       stripTiff(30000, 30000, 1, COMPRESSION_ZSTD, 16, repeated(1875, 0), repeated(1875, std::uint32_t(zstd16.size())),
                 zstd16),
       ESheetImageError::Decode, "share their bytes"},
      {"tiled", tiled, ESheetImageError::Unsupported, "tiled"},
  };
  // The read in a child process whose address space is far below the declared images.
#if defined(__SANITIZE_ADDRESS__)
  const bool limited = false;  // the sanitizer reserves terabytes of address space
#elif defined(__has_feature)
  const bool limited = !__has_feature(address_sanitizer);
#else
  const bool limited = true;
#endif
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.name[0] == 'Z' && zstd16.empty()) {
      std::cout << "libtiff without ZSTD: " << c.name << " not read\n";
      continue;
    }
    ASSERT_LT(c.tiff.size(), 80000u);
    SheetImage img;
    const SSheetImageStatus st = ReadSheetImage(bytes(c.tiff), img);
    EXPECT_EQ(st.error, c.want) << st.detail;
    EXPECT_NE(st.detail.find(c.why), std::string::npos) << st.detail;
    EXPECT_TRUE(img.isNull());
    EXPECT_LE(img.capacity(), std::size_t{8} << 20) << "memory taken for the bitmap";

    if (!limited) continue;
    const auto path = tempPath(tmp, "huge.tif");
    testutil::writeFile(path, c.tiff);
    QProcess child;
    child.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("ulimit -v 600000 && exec \"$0\" sheet-bmp \"$1\" \"$2\""),
                 QString::fromStdString(testutil::cliPath().string()), QString::fromStdString(path.string()),
                 QString::fromStdString(tempPath(tmp, "huge.bmp").string())});
    ASSERT_TRUE(child.waitForFinished(120000));
    const std::string err = child.readAllStandardError().toStdString();
    EXPECT_EQ(child.exitCode(), 1) << err;
    EXPECT_NE(err.find(c.why), std::string::npos) << err;
    EXPECT_EQ(err.find("no memory"), std::string::npos) << err;
  }
}

TEST(SheetImage, ReadsLargeImagesTheirStripsHold) {
  // 67 MB of bitmap, above the size from which the strips are counted against the whole image.
  QTemporaryDir tmp;
  const auto path = tempPath(tmp, "large.tif");
  const auto pixel = [](std::uint32_t x, std::uint32_t y, std::uint32_t) { return std::uint8_t((x / 64) ^ (y / 64)); };
  ASSERT_TRUE(mapfix::writeTiff(path, {8190, 8200, 1, 8, PHOTOMETRIC_PALETTE, 16, COMPRESSION_LZW, {}, {}, {}}, pixel));
  SheetImage img;
  const SSheetImageStatus st = ReadSheetImage(path, img);
  ASSERT_TRUE(st.ok()) << st.detail;
  EXPECT_EQ(img.stride(), 8192);
  for (const int y : {0, 15, 16, 4099, 8199})
    for (const int x : {0, 63, 64, 8189}) ASSERT_EQ(img.scanLine(y)[x], pixel(x, y, 0)) << x << "," << y;
}

TEST(SheetImage, CreatesPackedBitmaps) {
  const struct {
    int requested, stored, colours;
  } kCases[] = {{0, 1, 2}, {1, 1, 2}, {2, 4, 16}, {4, 4, 16}, {5, 8, 256}, {8, 8, 256}, {16, 24, 0}, {24, 24, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.requested);
    SheetImage img;
    ASSERT_TRUE(CreatePackedBitmap(img, 13, 3, c.requested));
    EXPECT_EQ(img.bitCount(), c.stored);
    EXPECT_EQ(img.colourCount(), c.colours);
    EXPECT_EQ(img.stride(), (13 * c.stored + 31) / 32 * 4);
    EXPECT_EQ(img.pixelOffset(), 40u + 4u * std::size_t(c.colours));
    EXPECT_EQ(img.header().sizeImage, 13u * std::uint32_t(c.stored) * 3u / 8u);
  }
  SheetImage img;
  EXPECT_FALSE(CreatePackedBitmap(img, 4, 4, 32));
  EXPECT_FALSE(CreatePackedBitmap(img, -1, 4, 8));
  EXPECT_FALSE(CreatePackedBitmap(img, 70000, 70000, 24));
  EXPECT_TRUE(img.isNull());
  ASSERT_TRUE(CreatePackedBitmap(img, 4, 0, 8));  // header and colour table only
  EXPECT_EQ(img.size(), 40u + 1024u);

  SBitmapInfoHeader h;
  h.bitCount = 8;
  h.clrUsed = 20;
  EXPECT_EQ(ColourCount(h), 20u);
  EXPECT_EQ(ColourTableSize(h), 80u);
  h.size = 12;  // the old header has 3-byte entries
  EXPECT_EQ(ColourTableSize(h), 60u);
}

}  // namespace
