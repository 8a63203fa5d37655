#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <vector>

#include "app/AppSettings.h"
#include "display/CMapCanvas.h"
#include "display/MapColourScheme.h"
#include "display/ScaledSheetBitmap.h"
#include "maps/SheetImage.h"
#include "platform/IProfileStore.h"
#include "common/TestUtil.h"

#include <QTemporaryDir>
#include <filesystem>

namespace {

// Rows given top-down as the picture reads; 8-bit values or 24-bit 0xRRGGBB.
SheetImage makeSheet(int bitCount, const std::vector<std::vector<std::uint32_t>>& rows) {
  SheetImage image;
  const int h = static_cast<int>(rows.size());
  const int w = static_cast<int>(rows.front().size());
  EXPECT_TRUE(CreatePackedBitmap(image, w, h, bitCount));
  for (int y = 0; y < h; ++y) {
    std::uint8_t* line = image.scanLine(y);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
      if (bitCount == 8) {
        line[x] = static_cast<std::uint8_t>(v);
      } else {
        line[3 * x] = static_cast<std::uint8_t>(v);
        line[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        line[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
      }
    }
  }
  return image;
}

std::uint32_t rgbAt(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }

// Slot k gets colour 0x0k0k0k (COLORREF), so a table entry names its slot.
MapColourScheme slotScheme(std::initializer_list<int> hiddenSlots) {
  MapColourScheme scheme;
  for (std::size_t k = 0; k < scheme.colours.size(); ++k) scheme.colours[k] = static_cast<std::uint32_t>(0x010101 * k);
  for (const int slot : hiddenSlots) scheme.hidden[static_cast<std::size_t>(slot - 1)] = true;
  return scheme;
}

class CanvasTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setProfile(&m_profile); }
  void TearDown() override { platform::setProfile(nullptr); }
  platform::CMemoryProfile m_profile;
};

TEST(LayerPalette, HighestShownBitDecides) {
  const struct {
    const char* name;
    int series;
    std::initializer_list<int> hidden;
    int value;
    int slot;
  } kCases[] = {
      {"background", 1, {}, 0x00, 0},
      {"25000 bit 0 national roads", 1, {}, 0x01, 8},
      {"25000 bit 1 water", 1, {}, 0x02, 5},
      {"25000 bits 0+1 water wins", 1, {}, 0x03, 5},
      {"25000 bit 2 settlements", 1, {}, 0x04, 6},
      {"25000 bit 3 contours", 1, {}, 0x08, 3},
      {"25000 bit 4 shorelines", 1, {}, 0x10, 4},
      {"25000 bit 5 roads", 1, {}, 0x20, 7},
      {"25000 bit 6 lettering background", 1, {}, 0x40, 1},
      {"bit 7 lettering", 1, {}, 0x80, 2},
      {"all bits lettering", 1, {}, 0xFF, 2},
      {"50000 bit 0 settlements", 2, {}, 0x01, 6},
      {"50000 bit 1 national roads", 2, {}, 0x02, 8},
      {"50000 bit 2 water", 2, {}, 0x04, 5},
      {"50000 bits 0+1", 2, {}, 0x03, 8},
      {"50000 bits 0+2", 2, {}, 0x05, 5},
      {"other series uses 25000 order", 0, {}, 0x01, 8},
      {"0xFF lettering hidden", 1, {2}, 0xFF, 1},
      {"0xFF both lettering layers hidden", 1, {1, 2}, 0xFF, 7},
      {"0xFF all hidden", 1, {1, 2, 3, 4, 5, 6, 7, 8}, 0xFF, 0},
      {"50000 0xFF all hidden", 2, {1, 2, 3, 4, 5, 6, 7, 8}, 0xFF, 0},
      {"hidden lower layer falls through", 1, {5}, 0x03, 8},
      {"both low layers hidden", 1, {5, 8}, 0x03, 0},
      {"25000 hiding slot 8 hides bit 0", 1, {8}, 0x01, 0},
      {"50000 hiding slot 8 keeps bit 0", 2, {8}, 0x01, 6},
      {"50000 hiding slot 8 hides bit 1", 2, {8}, 0x02, 0},
      {"lettering background hidden, bit 0 shows", 1, {1}, 0x41, 8},
      {"unrelated hidden layer", 1, {3}, 0x30, 7},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> table(1024, 0xAB);
    BuildLayerPalette(slotScheme(c.hidden), c.series, table);
    const std::uint8_t* e = &table[static_cast<std::size_t>(c.value) * 4];
    EXPECT_EQ(e[0], c.slot);
    EXPECT_EQ(e[1], c.slot);
    EXPECT_EQ(e[2], c.slot);
    EXPECT_EQ(e[3], 0xAB) << "reserved byte must stay";
  }
}

TEST(LayerPalette, ColourBytesAreBlueGreenRed) {
  MapColourScheme scheme;
  scheme.colours[0] = 0x123456;  // COLORREF: red 0x56, green 0x34, blue 0x12
  std::vector<std::uint8_t> table(1024, 0);
  BuildLayerPalette(scheme, 1, table);
  EXPECT_EQ(table[0], 0x12);
  EXPECT_EQ(table[1], 0x34);
  EXPECT_EQ(table[2], 0x56);
  std::vector<std::uint8_t> shortTable(1020, 7);
  BuildLayerPalette(scheme, 1, shortTable);  // refused, untouched
  EXPECT_EQ(shortTable[0], 7);
}

TEST(ScaledSheetBitmap, SizesTruncate) {
  const struct {
    int w, h;
    double ratio;
    int dw, dh;
  } kCases[] = {
      {4600, 3700, 0.37788, 1738, 1398}, {4600, 3700, 1.0, 4600, 3700}, {4600, 3700, 0.1, 460, 370},
      {5, 5, 0.99, 4, 4},                {3, 3, 0.7, 2, 2},            {7, 3, 0.5, 3, 1},
      {10, 10, 0.05, 0, 0},              {10, 10, 0.0, 0, 0},          {10, 10, -0.5, 0, 0},
      {10, 10, std::nan(""), 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << " at " << c.ratio);
    EXPECT_EQ(ScaledSheetBitmap::ScaledSize(c.w, c.h, c.ratio), QSize(c.dw, c.dh));
  }
}

TEST(ScaledSheetBitmap, QualityRule) {
  using E = ScaledSheetBitmap::EResample;
  const struct {
    int quality;
    double ratio;
    E want;
  } kCases[] = {
      {1, 0.15, E::Nearest}, {1, 0.1501, E::AreaAverage}, {1, 0.5, E::AreaAverage}, {1, 0.999, E::AreaAverage},
      {1, 1.0, E::Nearest},  {1, 2.0, E::Nearest},        {0, 0.5, E::Nearest},     {1, 0.1, E::Nearest},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << "quality " << c.quality << " ratio " << c.ratio);
    EXPECT_EQ(ScaledSheetBitmap::ResampleFor(c.quality, c.ratio), c.want);
  }
}

TEST_F(CanvasTest, AreaAverageUsesExactCoverage) {
  // 3x3 -> 2x2: each destination pixel takes 2/3 and 1/3 of a source pixel on each axis.
  const struct {
    const char* name;
    int bits;
    std::vector<std::vector<std::uint32_t>> rows;
    double ratio;
    std::vector<std::uint32_t> want;  // row-major
  } kCases[] = {
      {"checkerboard is mid-grey", 8,
       {{0, 128, 0, 128}, {128, 0, 128, 0}, {0, 128, 0, 128}, {128, 0, 128, 0}},
       0.5,
       {0x808080, 0x808080, 0x808080, 0x808080}},
      {"3x3 red ramp", 24,
       {{0x000000, 0x090000, 0x120000}, {0x1B0000, 0x240000, 0x2D0000}, {0x360000, 0x3F0000, 0x480000}},
       0.7,
       {0x0C0000, 0x180000, 0x300000, 0x3C0000}},
      {"3x3 corner weights round", 24,
       {{0x00FF00, 0x000064, 0}, {0, 0, 0}, {0, 0, 0x0000FF}},
       0.7,
       {0x007116, 0x000016, 0x000000, 0x000071}},
      {"3x3 through the palette", 8,
       {{128, 0, 0}, {0, 0, 0}, {0, 0, 0}},
       0.7,
       {0x8E8E8E, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SheetImage image = makeSheet(c.bits, c.rows);
    ScaledSheetBitmap bitmap;
    bitmap.setSource(&image);
    const QSize size = bitmap.Render(c.ratio, 1, ScaledSheetBitmap::EResample::AreaAverage);
    ASSERT_EQ(size.width() * size.height(), static_cast<int>(c.want.size()));
    for (int i = 0; i < static_cast<int>(c.want.size()); ++i)
      EXPECT_EQ(rgbAt(bitmap.Surface(), i % size.width(), i / size.width()), c.want[static_cast<std::size_t>(i)])
          << "pixel " << i;
  }
}

TEST_F(CanvasTest, NearestSamplesPixelCentres) {
  // Red = 10 x column, green = 10 x row: each output pixel names the source pixel it took.
  std::vector<std::vector<std::uint32_t>> rows(10, std::vector<std::uint32_t>(10));
  for (std::uint32_t y = 0; y < 10; ++y)
    for (std::uint32_t x = 0; x < 10; ++x) rows[y][x] = (10 * x) << 16 | (10 * y) << 8;
  SheetImage image = makeSheet(24, rows);
  const struct {
    double ratio;
    std::vector<int> picks;
  } kCases[] = {
      {0.3, {1, 5, 8}},
      {0.5, {1, 3, 5, 7, 9}},
      {0.25, {2, 7}},
      {1.0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.ratio);
    ScaledSheetBitmap bitmap;
    bitmap.setSource(&image);
    const QSize size = bitmap.Render(c.ratio, 1, ScaledSheetBitmap::EResample::Nearest);
    ASSERT_EQ(size, QSize(static_cast<int>(c.picks.size()), static_cast<int>(c.picks.size())));
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x)
        EXPECT_EQ(rgbAt(bitmap.Surface(), x, y),
                  static_cast<std::uint32_t>(10 * c.picks[static_cast<std::size_t>(x)]) << 16 |
                      static_cast<std::uint32_t>(10 * c.picks[static_cast<std::size_t>(y)]) << 8)
            << x << "," << y;
  }
}

TEST_F(CanvasTest, RenderUsesSettingsAndSeries) {
  AppSettings settings;
  settings.setSaveOnDestroy(false);
  settings.colours25[8] = 0x0000FF;  // national roads red in 1:25,000
  settings.colours50[6] = 0x00FF00;  // settlements green in 1:50,000
  settings.hidden50[7] = 1;          // ... and national roads hidden there
  SheetImage image = makeSheet(8, {{1, 2}, {0, 3}});
  ScaledSheetBitmap bitmap;
  bitmap.setSource(&image);
  bitmap.setRenderSettings(settings.mapRenderSettings());
  const struct {
    int series;
    std::uint32_t want[4];
  } kCases[] = {
      {1, {0xFF0000, 0xA0C9F4, 0xFFFFFF, 0xA0C9F4}},
      {2, {0x00FF00, 0xFFFFFF, 0xFFFFFF, 0x00FF00}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.series);
    ASSERT_EQ(bitmap.Render(1.0, c.series), QSize(2, 2));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(rgbAt(bitmap.Surface(), i % 2, i / 2), c.want[i]) << i;
  }
  // The palette stays in the sheet's own colour table.
  EXPECT_EQ(image.colourTable()[1 * 4 + 1], 0xFF);
}

TEST_F(CanvasTest, RenderWithoutImageKeepsNothing) {
  ScaledSheetBitmap bitmap;
  EXPECT_EQ(bitmap.Render(0.5, 1), QSize(0, 0));
  SheetImage empty;
  bitmap.setSource(&empty);
  EXPECT_EQ(bitmap.Render(0.5, 1), QSize(0, 0));
  EXPECT_FALSE(bitmap.isReady());
  SheetImage mono;
  ASSERT_TRUE(CreatePackedBitmap(mono, 8, 8, 1));
  bitmap.setSource(&mono);
  EXPECT_EQ(bitmap.Render(0.5, 1), QSize(0, 0));
}

TEST_F(CanvasTest, TwoWorkersMatchOne) {
  // Large enough for the parallel split; odd sizes to put the split off any symmetry.
  std::vector<std::vector<std::uint32_t>> rows(301, std::vector<std::uint32_t>(1777));
  for (std::size_t y = 0; y < rows.size(); ++y)
    for (std::size_t x = 0; x < rows[y].size(); ++x) rows[y][x] = static_cast<std::uint32_t>((x * 7 + y * 13) ^ (x >> 3));
  SheetImage image = makeSheet(8, rows);
  for (const auto mode : {ScaledSheetBitmap::EResample::Nearest, ScaledSheetBitmap::EResample::AreaAverage}) {
    ScaledSheetBitmap one, two;
    one.setSource(&image);
    two.setSource(&image);
    one.setThreadCount(1);
    two.setThreadCount(2);
    ASSERT_FALSE(one.Render(0.95, 2, mode).isEmpty());
    ASSERT_FALSE(two.Render(0.95, 2, mode).isEmpty());
    EXPECT_EQ(one.Surface(), two.Surface());
  }
}

TEST_F(CanvasTest, PaletteImageAveragesLikeItsTrueColourTwin) {
  // The 8-bit path takes shortcuts (whole pixels premultiplied, columns grouped by shape); the
  // 24-bit path weighs every tap. Both must give the same exact averages.
  std::vector<std::vector<std::uint32_t>> indexed(97, std::vector<std::uint32_t>(211));
  std::uint32_t seed = 7;
  for (auto& row : indexed)
    for (auto& v : row) v = (seed = seed * 1103515245u + 12345u) >> 24;
  SheetImage palette = makeSheet(8, indexed);
  ScaledSheetBitmap probe;
  probe.setSource(&palette);
  probe.Render(1.0, 1, ScaledSheetBitmap::EResample::Nearest);
  std::vector<std::vector<std::uint32_t>> rgb(indexed.size(), std::vector<std::uint32_t>(indexed[0].size()));
  for (std::size_t y = 0; y < rgb.size(); ++y)
    for (std::size_t x = 0; x < rgb[y].size(); ++x)
      rgb[y][x] = rgbAt(probe.Surface(), static_cast<int>(x), static_cast<int>(y));
  SheetImage trueColour = makeSheet(24, rgb);
  for (const double ratio : {0.16, 0.25, 0.37788, 0.5, 0.61, 0.75, 0.999}) {
    SCOPED_TRACE(ratio);
    ScaledSheetBitmap a, b;
    a.setSource(&palette);
    b.setSource(&trueColour);
    ASSERT_FALSE(a.Render(ratio, 1, ScaledSheetBitmap::EResample::AreaAverage).isEmpty());
    ASSERT_FALSE(b.Render(ratio, 1, ScaledSheetBitmap::EResample::AreaAverage).isEmpty());
    EXPECT_EQ(a.Surface(), b.Surface());
  }
}

TEST(MapCanvas, PaintBoxWidensAboveOne) {
  const struct {
    double ratio;
    QRect clip, want;
  } kCases[] = {
      {0.5, QRect(10, 10, 5, 5), QRect(10, 10, 5, 5)},
      {1.0, QRect(10, 10, 5, 5), QRect(10, 10, 5, 5)},
      {2.0, QRect(10, 10, 5, 5), QRect(8, 8, 9, 9)},
      {5.0, QRect(0, 0, 1, 1), QRect(-2, -2, 5, 5)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.ratio);
    EXPECT_EQ(CMapCanvas::PaintBox(c.clip, c.ratio), c.want);
  }
}

TEST_F(CanvasTest, StretchShowsEachSheetPixelAsABlock) {
  SheetImage image = makeSheet(24, {{0x010000, 0x020000, 0x030000}, {0x040000, 0x050000, 0x060000}});
  for (const double ratio : {2.0, 3.0, 2.5}) {
    SCOPED_TRACE(ratio);
    CMapCanvas canvas;
    canvas.setSheet(&image, 1);
    ASSERT_EQ(canvas.render(ratio), QSize(3, 2));  // the 100 % copy
    const QSize map = canvas.mapSize();
    ASSERT_TRUE(canvas.Recreate(map.width() + 3, map.height() + 3));
    QImage whole(map.width() + 3, map.height() + 3, QImage::Format_RGB32);
    whole.fill(Qt::black);
    {
      QPainter p(&whole);
      canvas.PaintMap(p, whole.rect(), QPoint(0, 0));
    }
    // Repainted in one-pixel strips, the picture must be the same (no seams).
    QImage strips(whole.size(), QImage::Format_RGB32);
    strips.fill(Qt::black);
    for (int x = 0; x < strips.width(); ++x) {
      QPainter p(&strips);
      p.setClipRect(QRect(x, 0, 1, strips.height()));
      canvas.PaintMap(p, QRect(x, 0, 1, strips.height()), QPoint(0, 0));
    }
    for (int y = 0; y < whole.height(); ++y) {
      for (int x = 0; x < whole.width(); ++x) {
        const int sx = static_cast<int>(x / ratio), sy = static_cast<int>(y / ratio);
        const std::uint32_t want = sx < 3 && sy < 2 ? static_cast<std::uint32_t>(1 + sx + 3 * sy) << 16 : 0xFFFFFFu;
        EXPECT_EQ(rgbAt(whole, x, y), want) << x << "," << y;
        EXPECT_EQ(rgbAt(strips, x, y), want) << "strip " << x << "," << y;
      }
    }
  }
}

TEST_F(CanvasTest, PaintCopiesScrolledClipAndRunsOverlaysInOrder) {
  std::vector<std::vector<std::uint32_t>> rows(8, std::vector<std::uint32_t>(8));
  for (std::uint32_t y = 0; y < 8; ++y)
    for (std::uint32_t x = 0; x < 8; ++x) rows[y][x] = x << 16 | y << 8;
  SheetImage image = makeSheet(24, rows);
  CMapCanvas canvas;
  canvas.setSheet(&image, 1);
  canvas.render(1.0);
  ASSERT_TRUE(canvas.Recreate(6, 6));
  QImage target(6, 6, QImage::Format_RGB32);
  target.fill(Qt::black);
  std::vector<EMapOverlay> order;
  {
    QPainter p(&target);
    // Scrolled to (4, 4): the client shows logical (4..9, 4..9), the map ends at 7.
    canvas.PaintMap(p, QRect(4, 4, 6, 6), QPoint(4, 4), [&](QPainter& op, EMapOverlay which, const QRect&) {
      order.push_back(which);
      if (which == EMapOverlay::ZoomBand) op.fillRect(QRect(5, 5, 1, 1), QColor(0, 0, 255));
    });
  }
  EXPECT_EQ(order, std::vector<EMapOverlay>(std::begin(kOverlayOrder), std::end(kOverlayOrder)));
  EXPECT_EQ(rgbAt(target, 0, 0), 0x040400u);
  EXPECT_EQ(rgbAt(target, 3, 2), 0x070600u);
  EXPECT_EQ(rgbAt(target, 1, 1), 0x0000FFu) << "overlay drawn in logical coordinates";
  EXPECT_EQ(rgbAt(target, 4, 0), 0xFFFFFFu) << "beyond the map is white";
  EXPECT_EQ(rgbAt(target, 0, 5), 0xFFFFFFu);
}

TEST_F(CanvasTest, UnrenderedAndSuspendedPaints) {
  CMapCanvas canvas;
  canvas.setWindowColour(QColor(10, 20, 30));
  ASSERT_TRUE(canvas.Recreate(4, 4));
  QImage target(4, 4, QImage::Format_RGB32);
  target.fill(Qt::black);
  {
    QPainter p(&target);
    canvas.PaintMap(p, QRect(0, 0, 4, 4), QPoint(0, 0));
  }
  EXPECT_EQ(rgbAt(target, 2, 2), 0x0A141Eu) << "window colour before the first render";

  SheetImage image = makeSheet(8, {{128, 128, 128, 128}, {128, 128, 128, 128}, {0, 0, 0, 0}, {0, 0, 0, 0}});
  canvas.setSheet(&image, 1);
  canvas.render(1.0);
  {
    QPainter p(&target);
    canvas.PaintMap(p, QRect(0, 0, 4, 4), QPoint(0, 0));
  }
  EXPECT_EQ(rgbAt(target, 0, 0), 0x000000u);
  canvas.setPaintingSuspended(true);
  canvas.setSheet(nullptr, 1);
  canvas.render(1.0);  // nothing to render, but the last picture stays
  target.fill(Qt::red);
  {
    QPainter p(&target);
    canvas.PaintMap(p, QRect(0, 0, 4, 4), QPoint(0, 0));
  }
  EXPECT_EQ(rgbAt(target, 0, 0), 0x000000u);
  EXPECT_EQ(rgbAt(target, 0, 3), 0xFFFFFFu);
}

TEST_F(CanvasTest, RefreshColoursOnlyForTheOpenSeries) {
  AppSettings settings;
  settings.setSaveOnDestroy(false);
  SheetImage image = makeSheet(8, {{1}});
  CMapCanvas canvas;
  canvas.setRenderSettings(settings.mapRenderSettings());
  canvas.setSheet(&image, 1);
  canvas.render(2.0);
  EXPECT_EQ(canvas.bitmap().Size(), QSize(1, 1)) << "above 1 the copy is the 100 % image";
  const struct {
    int series;
    bool renders;
  } kCases[] = {{2, false}, {1, true}, {-1, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.series);
    settings.colours25[8] = settings.colours25[8] + 1;
    settings.colours50[6] = settings.colours50[6] + 1;
    canvas.setRenderSettings(settings.mapRenderSettings());
    const QRgb before = canvas.bitmap().Surface().pixel(0, 0);
    EXPECT_EQ(canvas.RefreshColours(c.series), c.renders);
    EXPECT_EQ(canvas.bitmap().Surface().pixel(0, 0) != before, c.renders);
  }
}

TEST(RenderCommand, WritesSampleSheetsAsPng) {
  std::filesystem::path sheets[2];
  for (const auto& entry : std::filesystem::recursive_directory_iterator(testutil::sampleDir(),
                                                                       std::filesystem::directory_options::skip_permission_denied)) {
    if (entry.path().extension() != ".tif") continue;
    const int series = entry.path().string().find("50000") != std::string::npos ? 1 : 0;
    if (sheets[series].empty()) sheets[series] = entry.path();
  }
  if (sheets[0].empty() || sheets[1].empty()) GTEST_SKIP() << "no sample sheets";
  QTemporaryDir dir;
  const struct {
    int series;
    const char* ratio;
    bool quality;
    const char* rect;
    QSize rectSize;
  } kCases[] = {{1, "0.378", true, nullptr, {}},
                {1, "0.25", false, nullptr, {}},
                {2, "0.378", false, nullptr, {}},
                {2, "0.5", true, "10,20,110,70", {100, 50}},
                {1, "3.0", false, "300,300,360,345", {60, 45}}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.series << " " << c.ratio << (c.quality ? " quality" : ""));
    SheetImage image;
    ASSERT_TRUE(ReadSheetImage(sheets[c.series - 1], image).ok());
    const std::string out = dir.filePath("out.png").toStdString();
    std::vector<std::string> args = {"--profile", dir.filePath("empty.ini").toStdString(), "render", sheets[c.series - 1].string(), "--series", std::to_string(c.series),
                                     "--ratio", c.ratio, "-o", out, "--force"};
    if (c.quality) args.push_back("--quality");
    if (c.rect) {
      args.push_back("--rect");
      args.push_back(c.rect);
    }
    const auto run = testutil::runCli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const QImage png(QString::fromStdString(out));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), c.rect ? c.rectSize : ScaledSheetBitmap::ScaledSize(image.width(), image.height(), std::stod(c.ratio)));
    const double ratio = std::stod(c.ratio);
    if (ratio <= 1.0) {
      // The file holds exactly the rendered pixels, channels in their places.
      ScaledSheetBitmap bitmap;
      bitmap.setSource(&image);
      bitmap.Render(ratio, c.series,
                    c.quality ? ScaledSheetBitmap::EResample::AreaAverage : ScaledSheetBitmap::EResample::Nearest);
      const QRect area = c.rect ? QRect(QPoint(10, 20), c.rectSize) : QRect(QPoint(0, 0), bitmap.Size());
      EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), bitmap.Surface().copy(area));
    }
  }
  const auto bad = testutil::runCli({"render", sheets[0].string(), "--ratio", "0", "-o", dir.filePath("x.png").toStdString()});
  EXPECT_NE(bad.status, 0);
  const auto missing = testutil::runCli({"render", "/nonexistent.tif", "--ratio", "1", "-o", dir.filePath("x.png").toStdString()});
  EXPECT_NE(missing.status, 0);
}

}  // namespace
