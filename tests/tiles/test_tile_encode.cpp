// The stored tile images: PNG decodes to exactly the picture (opaque pictures as RGB, the others
// as RGBA), JPEG is baseline; and a picture drawn into a recycled one equals a fresh one, while a
// picture something else still holds is never drawn over.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <string>

#include "common/TestUtil.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"
#include "tiles/TileEncode.h"
#include "tiles/TileRender.h"

namespace {

QImage pattern(int w, int h, QImage::Format format, bool holes) {
  QImage image(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int alpha = holes && (x + y) % 5 == 0 ? (x % 3 == 0 ? 0 : 128) : 255;
      image.setPixel(x, y, qRgba((x * 37) & 0xFF, (y * 91) & 0xFF, (x ^ y) & 0xFF, alpha));
    }
  return image.convertToFormat(format);
}

TEST(TileEncode, PngHoldsEveryPixelExactly) {
  struct SCase {
    const char* name;
    int w, h;
    QImage::Format format;
    bool holes;
    int colourType;  // in IHDR: 2 RGB, 6 RGBA
  };
  const SCase cases[] = {
      {"opaque tile", 256, 256, QImage::Format_RGB32, false, 2},
      {"tile with empty pixels", 256, 256, QImage::Format_ARGB32, true, 6},
      {"premultiplied input", 64, 48, QImage::Format_ARGB32_Premultiplied, true, 6},
      {"another format", 33, 7, QImage::Format_RGB888, false, 2},
      {"one pixel", 1, 1, QImage::Format_RGB32, false, 2},
      {"custom-map picture", 1024, 3, QImage::Format_RGB32, false, 2},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QImage picture = pattern(c.w, c.h, c.format, c.holes);
    const std::string bytes = tiles::EncodeTile(picture, tiles::EImageFormat::Png, 85);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(bytes[25])), c.colourType);
    QImage back = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "PNG");
    ASSERT_EQ(back.size(), picture.size());
    const QImage::Format compare = c.colourType == 6 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    back = back.convertToFormat(compare);
    const QImage want = picture.convertToFormat(compare);
    int wrong = 0;
    for (int y = 0; y < want.height(); ++y)
      for (int x = 0; x < want.width(); ++x) wrong += back.pixel(x, y) != want.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(wrong, 0);
  }
  EXPECT_TRUE(tiles::EncodeTile(QImage(), tiles::EImageFormat::Png, 85).empty());
  EXPECT_TRUE(tiles::EncodeTile(QImage(), tiles::EImageFormat::Jpeg, 85).empty());
}

TEST(TileEncode, JpegIsBaselineAndCloseToThePicture) {
  for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Grayscale8}) {
    SCOPED_TRACE(static_cast<int>(format));
    QImage picture(64, 64, format);
    picture.fill(QColor(40, 120, 200));
    const std::string bytes = tiles::EncodeTile(picture, tiles::EImageFormat::Jpeg, 90);
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
    EXPECT_NE(bytes.find("\xFF\xC0"), std::string::npos) << "baseline frame";
    EXPECT_EQ(bytes.find("\xFF\xC2"), std::string::npos) << "no progressive frame";
    const QImage back = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "JPG");
    ASSERT_EQ(back.size(), picture.size());
    const QRgb want = picture.convertToFormat(QImage::Format_RGB32).pixel(32, 32), got = back.pixel(32, 32);
    EXPECT_LE(std::abs(qRed(got) - qRed(want)) + std::abs(qGreen(got) - qGreen(want)) + std::abs(qBlue(got) - qBlue(want)), 12);
  }
}

TEST(TileRender, RecycledPicturesMatchFreshOnesAndSharedOnesStayWhole) {
  mosaic::CMapCollection col;
  ASSERT_GT(col.AddTree(testutil::sampleCollectionDir()), 0u);
  const mosaic::SMapPlane& plane = col.plane(MapSeries::Scale25000);
  mosaic::CMosaicRenderer renderer;
  renderer.setSeries(col.sheets(MapSeries::Scale25000), plane);
  const tiles::SGeoBox all = tiles::CollectionBox(col, MapSeries::Scale25000);
  // One box inside the maps (drawn through the straight transform) and one over their edge
  // (every pixel on its own, some left empty).
  const double w = (all.east - all.west) / 20, h = (all.north - all.south) / 20;
  const tiles::SGeoBox boxes[] = {
      {all.south + 8 * h, all.west + 8 * w, all.south + 9 * h, all.west + 9 * w},
      {all.south - h / 2, all.west - w / 2, all.south + h / 2, all.west + w / 2},
  };
  for (const tiles::SGeoBox& box : boxes) {
    const tiles::SGroundPicture fresh = tiles::RenderGround({&renderer, plane}, box, 256, 256, true, 0u);
    ASSERT_TRUE(fresh.hasData);
    struct SCase {
      const char* name;
      QImage recycled;
      bool shared;
    };
    QImage stale(256, 256, QImage::Format_ARGB32);
    stale.fill(0xFF123456u);
    QImage other(100, 256, QImage::Format_ARGB32);
    other.fill(0xFF123456u);
    SCase cases[] = {{"same size", stale.copy(), false},
                     {"opaque left over", stale.copy().convertToFormat(QImage::Format_RGB32), false},
                     {"other size", other, false},
                     {"shared", stale, true}};
    for (SCase& c : cases) {
      SCOPED_TRACE(c.name);
      const QImage keep = c.shared ? c.recycled : QImage();
      const tiles::SGroundPicture again = tiles::RenderGround({&renderer, plane}, box, 256, 256, true, 0u, c.recycled);
      EXPECT_EQ(again.complete, fresh.complete);
      EXPECT_EQ(again.image.convertToFormat(QImage::Format_ARGB32), fresh.image.convertToFormat(QImage::Format_ARGB32));
      if (c.shared) {
        EXPECT_EQ(keep.pixel(10, 10), 0xFF123456u);
      }
    }
  }
}

}  // namespace
