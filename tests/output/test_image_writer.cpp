#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "output/CBgrImage.h"
#include "output/ImageWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Red, green and blue that name the pixel: red = 10 x + 1, green = 10 y + 2, blue = 200 - x - y.
QRgb patternAt(int x, int y) { return qRgb(10 * x + 1, 10 * y + 2, 200 - x - y); }

CBgrImage patternImage(int width, int height) {
  CBgrImage image;
  EXPECT_TRUE(image.Allocate(width, height));
  QImage source(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) source.setPixel(x, y, patternAt(x, y));
  image.CopyFrom(source, source.rect());
  return image;
}

Bytes bytesOf(const QByteArray& data) { return Bytes(data.begin(), data.end()); }

std::uint32_t be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct SPngChunks {
  std::vector<std::string> types;
  Bytes ihdr;
  Bytes idat;  // all IDAT data joined
};

SPngChunks pngChunks(const Bytes& file) {
  SPngChunks out;
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_GE(file.size(), 8u);
  if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return out;
  std::size_t at = 8;
  while (at + 12 <= file.size()) {
    const std::uint32_t length = be32(&file[at]);
    const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
    out.types.push_back(type);
    if (at + 12 + length > file.size()) break;
    const Bytes data(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                     file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    if (type == "IHDR") out.ihdr = data;
    if (type == "IDAT") out.idat.insert(out.idat.end(), data.begin(), data.end());
    at += 12 + length;
  }
  return out;
}

Bytes inflateAll(const Bytes& compressed, std::size_t expected) {
  Bytes out(expected + 1);
  uLongf length = static_cast<uLongf>(out.size());
  if (uncompress(out.data(), &length, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK) return {};
  out.resize(length);
  return out;
}

TEST(BgrImage, StrideAndAllocation) {
  const struct {
    int width, height;
    bool ok;
    int stride;
  } kCases[] = {
      {1, 1, true, 4},     {2, 3, true, 8},     {3, 1, true, 12},   {4, 2, true, 12},
      {5, 1, true, 16},    {8, 1, true, 24},    {0, 5, false, 0},   {5, 0, false, 0},
      {-1, 1, false, 0},   {100000, 20000, false, 0},  // rows beyond what a bitmap file can hold
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    if (c.ok) {
      EXPECT_EQ(CBgrImage::Stride(c.width), c.stride);
    }
    CBgrImage image;
    EXPECT_EQ(image.Allocate(c.width, c.height), c.ok);
    EXPECT_EQ(image.isNull(), !c.ok);
    EXPECT_EQ(image.stride(), c.stride);
    EXPECT_EQ(image.bits().size(), c.ok ? static_cast<std::size_t>(c.stride * c.height) : 0u);
    for (const std::uint8_t b : image.bits()) ASSERT_EQ(b, 0);
  }
}

TEST(BgrImage, CopyFromPlacesPixelsBottomUp) {
  QImage source(4, 3, QImage::Format_RGB32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) source.setPixel(x, y, patternAt(x, y));
  const struct {
    const char* name;
    QImage::Format format;
    QRect area;
    int top;
    QPoint from;  // source pixel of picture pixel (0, 0) at row `top`
  } kCases[] = {
      {"whole", QImage::Format_RGB32, QRect(0, 0, 4, 3), 0, {0, 0}},
      {"inner area to row 1", QImage::Format_RGB32, QRect(1, 1, 2, 2), 1, {1, 1}},
      {"area beyond the source", QImage::Format_RGB32, QRect(2, 1, 4, 4), 0, {2, 1}},
      {"area above and left of the source", QImage::Format_RGB32, QRect(-1, -1, 3, 3), 0, {-1, -1}},
      {"rows beyond the picture", QImage::Format_RGB32, QRect(0, 0, 4, 3), 2, {0, 0}},
      {"other pixel format", QImage::Format_RGB888, QRect(1, 0, 3, 2), 1, {1, 0}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CBgrImage image;
    ASSERT_TRUE(image.Allocate(4, 3));
    image.CopyFrom(source.convertToFormat(c.format), c.area, c.top);
    for (int y = 0; y < 3; ++y) {
      // Row y from the top lies at memory row height - 1 - y.
      const std::uint8_t* row = image.bits().data() + static_cast<std::size_t>(2 - y) * 12;
      ASSERT_EQ(row, image.scanLine(y));
      for (int x = 0; x < 4; ++x) {
        const QPoint s(c.from.x() + x, c.from.y() + y - c.top);
        const bool copied = y >= c.top && x < c.area.width() && y - c.top < c.area.height() && source.rect().contains(s);
        const QRgb want = copied ? patternAt(s.x(), s.y()) : qRgb(0, 0, 0);
        EXPECT_EQ(row[3 * x], qBlue(want)) << x << "," << y;
        EXPECT_EQ(row[3 * x + 1], qGreen(want)) << x << "," << y;
        EXPECT_EQ(row[3 * x + 2], qRed(want)) << x << "," << y;
      }
    }
  }
}

TEST(ImageWriter, BmpBytesExact) {
  // 14-byte file header, 40-byte information header, then the rows bottom-up with zero padding.
  const struct {
    const char* name;
    int width, height;
    Bytes want;
  } kCases[] = {
      {"1x1 padded to 4",
       1,
       1,
       {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  //
        40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 4, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
        200, 2, 1, 0}},
      {"2x2: bottom row first, 2 padding bytes",
       2,
       2,
       {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  //
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
        199, 12, 1, 198, 12, 11, 0, 0,                     // row y = 1
        200, 2, 1, 199, 2, 11, 0, 0}},                     // row y = 0
      {"3x1: 9 bytes padded to 12",
       3,
       1,
       {'B', 'M', 66, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  //
        40, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 12, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
        200, 2, 1, 199, 2, 11, 198, 2, 21, 0, 0, 0}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteBmp(buffer, patternImage(c.width, c.height)));
    EXPECT_EQ(bytesOf(data), c.want);
  }
}

TEST(ImageWriter, PngReadsBackWithSubFilterRows) {
  const struct {
    int width, height;
  } kCases[] = {{1, 1}, {2, 3}, {5, 4}, {33, 7}, {130, 2}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WritePng(buffer, patternImage(c.width, c.height)));
    const Bytes file = bytesOf(data);

    // Only IHDR, IDAT and IEND; 8-bit RGB, deflate, adaptive filtering, no interlace.
    const SPngChunks chunks = pngChunks(file);
    ASSERT_GE(chunks.types.size(), 3u);
    EXPECT_EQ(chunks.types.front(), "IHDR");
    EXPECT_EQ(chunks.types.back(), "IEND");
    for (std::size_t i = 1; i + 1 < chunks.types.size(); ++i) EXPECT_EQ(chunks.types[i], "IDAT");
    ASSERT_EQ(chunks.ihdr.size(), 13u);
    EXPECT_EQ(be32(&chunks.ihdr[0]), static_cast<std::uint32_t>(c.width));
    EXPECT_EQ(be32(&chunks.ihdr[4]), static_cast<std::uint32_t>(c.height));
    EXPECT_EQ(Bytes(chunks.ihdr.begin() + 8, chunks.ihdr.end()), (Bytes{8, 2, 0, 0, 0}));

    // Every row of the image data starts with filter type 1 (Sub); on rows of one pixel, where
    // Sub changes nothing, libpng writes type 0 (None).
    const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(c.width);
    const Bytes raw = inflateAll(chunks.idat, rowBytes * static_cast<std::size_t>(c.height));
    ASSERT_EQ(raw.size(), rowBytes * static_cast<std::size_t>(c.height));
    const int filter = c.width == 1 ? 0 : 1;
    for (int y = 0; y < c.height; ++y) EXPECT_EQ(raw[static_cast<std::size_t>(y) * rowBytes], filter) << "row " << y;

    // libpng reads back the pixels, top row first, red-green-blue.
    png_image read{};
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&read, file.data(), file.size())) << read.message;
    read.format = PNG_FORMAT_RGB;
    Bytes pixels(PNG_IMAGE_SIZE(read));
    ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr)) << read.message;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width) + static_cast<std::size_t>(x)) * 3];
        const QRgb want = patternAt(x, y);
        ASSERT_EQ(qRgb(p[0], p[1], p[2]), want) << x << "," << y;
      }
  }
}

using DeviceWriter = bool (*)(QIODevice&, const CBgrImage&, const WriteProgress&);
using PathWriter = bool (*)(const std::filesystem::path&, const CBgrImage&, const WriteProgress&);
const struct {
  const char* name;
  DeviceWriter toDevice;
  PathWriter toPath;
} kWriters[] = {{"bmp", WriteBmp, WriteBmp}, {"png", WritePng, WritePng}};

TEST(ImageWriter, ProgressAfterEveryRow) {
  for (const auto& w : kWriters) {
    SCOPED_TRACE(w.name);
    std::vector<double> seen;
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(w.toDevice(buffer, patternImage(3, 5), [&](double f) { seen.push_back(f); }));
    EXPECT_EQ(seen, (std::vector<double>{0.2, 0.4, 0.6, 0.8, 1.0}));
  }
}

TEST(ImageWriter, RefusedBytesFailTheWrite) {
  // The device gives up at several points: in the headers, in the rows, at the very end.
  const CBgrImage image = patternImage(40, 30);
  for (const auto& w : kWriters) {
    QByteArray whole;
    QBuffer buffer(&whole);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(w.toDevice(buffer, image, {}));
    for (const qint64 limit : {qint64{0}, qint64{10}, qint64{60}, qint64{whole.size() / 2}, qint64{whole.size() - 1}}) {
      SCOPED_TRACE(testing::Message() << w.name << " accepting " << limit << " of " << whole.size());
      testutil::CFullDevice device(limit);
      EXPECT_FALSE(w.toDevice(device, image, {}));
    }
  }
}

TEST(ImageWriter, FailedWriteKeepsThePreviousFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const CBgrImage good = patternImage(3, 2);
  CBgrImage tooWideForPng;
  ASSERT_TRUE(tooWideForPng.Allocate(1000001, 1));
  const struct {
    const char* name;
    PathWriter writer;
    const CBgrImage* image;
    bool ok;
  } kCases[] = {
      {"bmp of an empty picture", WriteBmp, nullptr, false},
      {"png of an empty picture", WritePng, nullptr, false},
      {"png wider than libpng allows", WritePng, &tooWideForPng, false},
      {"bmp replaces", WriteBmp, &good, true},
      {"png replaces", WritePng, &good, true},
  };
  const CBgrImage empty;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / "map.img";
    testutil::writeFile(path, "previous picture");
    EXPECT_EQ(c.writer(path, c.image ? *c.image : empty, {}), c.ok);
    const std::string now = testutil::readFile(path);
    if (c.ok) {
      EXPECT_NE(now, "previous picture");
    } else {
      EXPECT_EQ(now, "previous picture");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left behind";
  }
  EXPECT_FALSE(WriteBmp(std::filesystem::path(dir.path().toStdString()) / "missing" / "map.bmp", good));
}

TEST(ImageWriter, PackedBitmapBehindFileHeader) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / "sheet.bmp";
  Bytes block(40 + 8 + 4, 0);  // header, two colour table entries, one row of a 1-pixel 8-bit bitmap
  block[0] = 40;
  block[48] = 1;
  const struct {
    const char* name;
    std::size_t blockBytes;
    std::size_t pixelOffset;
    bool ok;
  } kCases[] = {
      {"header, colours, row", block.size(), 48, true},
      {"shorter than a header", 39, 0, false},
      {"rows past the block", block.size(), block.size() + 1, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path);
    EXPECT_EQ(WritePackedBitmap(path, std::span(block.data(), c.blockBytes), c.pixelOffset), c.ok);
    EXPECT_EQ(std::filesystem::exists(path), c.ok);
  }
  ASSERT_TRUE(WritePackedBitmap(path, block, 48));
  Bytes want = {'B', 'M', 66, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0};
  want.insert(want.end(), block.begin(), block.end());
  const std::string written = testutil::readFile(path);
  EXPECT_EQ(Bytes(written.begin(), written.end()), want);
}

}  // namespace
