// The canvas's fast paths against plain reference versions kept here (random sheets, ratios and
// rectangles with fixed seeds), and painting in device pixels on a 2x screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "common/TestUtil.h"
#include "display/CMapCanvas.h"
#include "display/ScaledSheetBitmap.h"
#include "display/SheetKernels.h"
#include "display/ui/CVantoriaView.h"
#include "maps/SheetImage.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

SheetImage randomSheet(std::mt19937& rng, int width, int height, int bitCount) {
  SheetImage image;
  EXPECT_TRUE(CreatePackedBitmap(image, width, height, bitCount));
  const int bytes = width * bitCount / 8;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* line = image.scanLine(y);
    // Runs of equal values as a map has, with single odd pixels between them.
    std::uint8_t value = static_cast<std::uint8_t>(rng());
    for (int i = 0; i < bytes; ++i) {
      if (rng() % 4 == 0) value = static_cast<std::uint8_t>(rng());
      line[i] = value;
    }
  }
  return image;
}

// 0xRRGGBB of a sheet pixel (top-down rows) through the colour table the render left behind.
std::uint32_t colourAt(const SheetImage& image, int x, int y) {
  const std::uint8_t* line = image.scanLine(y);
  if (image.bitCount() == 24) {
    const std::uint8_t* p = line + 3 * x;
    return std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
  }
  const int index = line[x];
  if (index >= image.colourCount()) return 0;
  const std::uint8_t* e = image.colourTable() + 4 * index;
  return std::uint32_t{e[2]} << 16 | std::uint32_t{e[1]} << 8 | e[0];
}

// Area average written out: every source pixel weighted by its overlap with the destination
// pixel (in 1/dw by 1/dh units), rounded half up.
QImage referenceAreaAverage(const SheetImage& image, int dw, int dh) {
  const std::int64_t sw = image.width(), sh = image.height();
  QImage out(dw, dh, QImage::Format_RGB32);
  for (std::int64_t y = 0; y < dh; ++y) {
    for (std::int64_t x = 0; x < dw; ++x) {
      std::uint64_t sum[3] = {0, 0, 0};
      for (std::int64_t j = y * sh / dh; j * dh < (y + 1) * sh; ++j) {
        const std::int64_t oy = std::min((j + 1) * dh, (y + 1) * sh) - std::max(j * dh, y * sh);
        for (std::int64_t i = x * sw / dw; i * dw < (x + 1) * sw; ++i) {
          const std::int64_t ox = std::min((i + 1) * dw, (x + 1) * sw) - std::max(i * dw, x * sw);
          const std::uint32_t c = colourAt(image, static_cast<int>(i), static_cast<int>(j));
          for (int k = 0; k < 3; ++k) sum[k] += static_cast<std::uint64_t>(ox * oy) * ((c >> (16 - 8 * k)) & 0xFF);
        }
      }
      const std::uint64_t total = static_cast<std::uint64_t>(sw * sh);
      std::uint32_t pixel = 0xFF000000u;
      for (int k = 0; k < 3; ++k)
        pixel |= static_cast<std::uint32_t>((2 * sum[k] + total) / (2 * total)) << (16 - 8 * k);
      out.setPixel(static_cast<int>(x), static_cast<int>(y), pixel);
    }
  }
  return out;
}

QImage referenceNearest(const SheetImage& image, int dw, int dh) {
  const std::int64_t sw = image.width(), sh = image.height();
  QImage out(dw, dh, QImage::Format_RGB32);
  for (std::int64_t y = 0; y < dh; ++y)
    for (std::int64_t x = 0; x < dw; ++x)
      out.setPixel(static_cast<int>(x), static_cast<int>(y),
                   0xFF000000u | colourAt(image, static_cast<int>((2 * x + 1) * sw / (2 * dw)),
                                          static_cast<int>((2 * y + 1) * sh / (2 * dh))));
  return out;
}

// First differing pixel, for a readable failure.
std::string firstDifference(const QImage& got, const QImage& want) {
  if (got.size() != want.size()) return "size differs";
  for (int y = 0; y < want.height(); ++y)
    for (int x = 0; x < want.width(); ++x)
      if (got.pixel(x, y) != want.pixel(x, y))
        return "at " + std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(got.pixel(x, y)) +
               " != " + std::to_string(want.pixel(x, y));
  return {};
}

class CanvasPathsTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setProfile(&m_profile); }
  void TearDown() override {
    sheetkernels::SetKernel(sheetkernels::BestKernel());
    platform::setProfile(nullptr);
  }
  platform::CMemoryProfile m_profile;
};

using sheetkernels::EKernel;

const char* kernelName(EKernel kernel) {
  switch (kernel) {
    case EKernel::Portable: return "Portable";
    case EKernel::Avx2: return "Avx2";
    case EKernel::Avx512: return "Avx512";
  }
  return "?";
}

// The renders run through every kernel set: the portable loops and each vector set the processor
// has (the others are skipped).
class CanvasKernelsTest : public CanvasPathsTest, public ::testing::WithParamInterface<EKernel> {
 protected:
  void SetUp() override {
    CanvasPathsTest::SetUp();
    if (!sheetkernels::SetKernel(GetParam())) GTEST_SKIP() << kernelName(GetParam()) << " not on this processor";
  }
};
INSTANTIATE_TEST_SUITE_P(Kernels, CanvasKernelsTest, ::testing::Values(EKernel::Portable, EKernel::Avx2, EKernel::Avx512),
                         [](const ::testing::TestParamInfo<EKernel>& kernel) { return kernelName(kernel.param); });

TEST_P(CanvasKernelsTest, RendersMatchThePlainReferenceOnRandomSheets) {
  std::mt19937 rng(20261208);
  // One bitmap for every case: its memory and per-worker buffers carry over between renders.
  ScaledSheetBitmap bitmap;
  for (int round = 0; round < 64; ++round) {
    const int bitCount = round % 3 == 2 ? 24 : 8;
    const int width = 1 + static_cast<int>(rng() % (round < 8 ? 40 : 640));
    const int height = 1 + static_cast<int>(rng() % (round < 8 ? 40 : 480));
    // Ratios from a fifteenth (more than eight whole pixels a column) to 1, some of them simple.
    static constexpr double kSimple[] = {0.5, 0.25, 1.0 / 3.0, 0.75, 1.0};
    const double ratio = round % 4 == 0 ? kSimple[(round / 4) % 5] : 0.066 + (rng() % 100000) / 100000.0 * 0.934;
    const int threads = 1 + round % 2;
    SheetImage image = randomSheet(rng, width, height, bitCount);
    bitmap.setSource(&image);
    bitmap.setThreadCount(threads);
    for (const auto mode : {ScaledSheetBitmap::EResample::AreaAverage, ScaledSheetBitmap::EResample::Nearest}) {
      const QSize size = bitmap.Render(ratio, 1 + round % 2, mode);
      SCOPED_TRACE(testing::Message() << "round " << round << ": " << width << "x" << height << "x" << bitCount
                                      << " at " << ratio << " -> " << size.width() << "x" << size.height()
                                      << (mode == ScaledSheetBitmap::EResample::Nearest ? " nearest" : " area"));
      ASSERT_EQ(size, ScaledSheetBitmap::ScaledSize(width, height, ratio));
      if (size.isEmpty()) continue;
      const QImage want = mode == ScaledSheetBitmap::EResample::Nearest
                              ? referenceNearest(image, size.width(), size.height())
                              : referenceAreaAverage(image, size.width(), size.height());
      ASSERT_EQ(firstDifference(bitmap.Surface(), want), "");
    }
  }
}

// A copy large enough to be written past the caches, over two workers.
TEST_P(CanvasKernelsTest, LargeNearestCopyMatchesTheReference) {
  std::mt19937 rng(11);
  SheetImage image = randomSheet(rng, 2603, 2001, 8);
  ScaledSheetBitmap bitmap;
  bitmap.setSource(&image);
  bitmap.setThreadCount(2);
  for (const double ratio : {1.0, 0.9, 0.37788}) {
    const QSize size = bitmap.Render(ratio, 2, ScaledSheetBitmap::EResample::Nearest);
    ASSERT_FALSE(size.isEmpty());
    EXPECT_EQ(firstDifference(bitmap.Surface(), referenceNearest(image, size.width(), size.height())), "") << ratio;
  }
}

// Which column layouts each vector set's plans take: the usual display ratios, and never taps,
// weights or palettes they cannot hold (the portable loops run then).
TEST(SheetKernels, PlansTakeTheUsualRatiosAndRefuseTheRest) {
  struct SAreaCase {
    const char* name;
    std::vector<std::int32_t> first;
    std::vector<std::uint32_t> weights;
    int taps, srcWidth, dw;
    bool avx2, avx512;  // planned
    bool layered = true;  // a palette that splits by nibbles, as the layer palettes do
  };
  // Four-tap pixels two columns apart, the last block one pixel.
  std::vector<std::int32_t> twoApart(33);
  for (int x = 0; x < 33; ++x) twoApart[static_cast<std::size_t>(x)] = 2 * x;
  const SAreaCase areaCases[] = {
      {"three taps (padded to four), last pixel at the row end", {0, 1, 2}, {2, 1, 0, 1, 2, 0, 2, 1, 0}, 3, 4, 3, true, true},
      {"four taps, a tail block of one pixel", twoApart, std::vector<std::uint32_t>(132, 1), 4, 68, 33, true, true},
      {"eight taps", {0, 7}, std::vector<std::uint32_t>(16, 1), 8, 15, 2, false, true},
      {"more taps than the kernel holds", {0}, std::vector<std::uint32_t>(9, 1), 9, 9, 1, false, false},
      {"a weight beyond 15 bits", {0}, {40000, 1}, 2, 2, 1, false, false},
      {"the largest 15-bit weight", {0}, {32767, 1}, 2, 2, 1, true, true},
      {"a block of four-tap pixels spread over more than 64 bytes", {0, 70}, {1, 1, 0, 0, 1, 1, 0, 0}, 4, 80, 2, false, false},
      {"a tap past the row end", {0}, {1, 1, 1, 1}, 4, 3, 1, false, false},
      {"four pixels of four taps over 17 bytes", {0, 4, 8, 13}, std::vector<std::uint32_t>(16, 1), 4, 20, 4, false, true},
      {"four pixels of four taps over 16 bytes", {0, 4, 8, 12}, std::vector<std::uint32_t>(16, 1), 4, 20, 4, true, true},
      {"a palette that does not split by nibbles", {0, 1, 2}, {2, 1, 0, 1, 2, 0, 2, 1, 0}, 3, 4, 3, false, true, false},
  };
  struct SNearestCase {
    const char* name;
    int step, srcWidth, dw;
    int avx2Pixels, avx512Pixels;  // 0: refused
  };
  const SNearestCase nearestCases[] = {
      {"a third", 3, 600, 200, 192, 192},
      {"a fifth: a quarter block spans 75 bytes, a half block 15", 5, 1000, 200, 200, 0},
      {"a sixth: a half block spans 18 bytes", 6, 1200, 200, 0, 0},
      {"the last columns' reads pass the row end", 1, 203, 203, 184, 192},
      {"fewer pixels than a block", 1, 7, 7, 0, 0},
  };
  for (const EKernel kernel : {EKernel::Avx2, EKernel::Avx512}) {
    if (!sheetkernels::SetKernel(kernel)) continue;
    SCOPED_TRACE(kernelName(kernel));
    for (const SAreaCase& c : areaCases) {
      SCOPED_TRACE(c.name);
      const bool want = kernel == EKernel::Avx512 ? c.avx512 : c.avx2;
      sheetkernels::SChannelTables tables{};
      for (int i = 0; i < 256; ++i)
        for (int ch = 0; ch < 3; ++ch) tables.channel[ch][i] = static_cast<std::uint8_t>(c.layered ? i >> 4 : i);
      sheetkernels::SplitByNibbles(tables);
      EXPECT_EQ(tables.byNibbles, c.layered);
      sheetkernels::SAreaPlan plan;
      EXPECT_EQ(sheetkernels::PlanArea(c.first.data(), c.weights.data(), c.taps, c.srcWidth, c.dw, tables, plan), want);
      EXPECT_EQ(plan.blocks > 0, want);
    }
    for (const SNearestCase& c : nearestCases) {
      SCOPED_TRACE(c.name);
      std::vector<std::int32_t> xmap(static_cast<std::size_t>(c.dw));
      for (int x = 0; x < c.dw; ++x) xmap[static_cast<std::size_t>(x)] = x * c.step;
      const int want = kernel == EKernel::Avx2 ? c.avx2Pixels : c.avx512Pixels;
      sheetkernels::SNearestPlan plan;
      EXPECT_EQ(sheetkernels::PlanNearest(xmap.data(), c.srcWidth, c.dw, plan), want > 0);
      EXPECT_EQ(plan.pixels(), want);
    }
  }
  // The portable loops plan nothing.
  ASSERT_TRUE(sheetkernels::SetKernel(EKernel::Portable));
  sheetkernels::SAreaPlan area;
  sheetkernels::SChannelTables tables{};
  sheetkernels::SplitByNibbles(tables);
  EXPECT_FALSE(sheetkernels::PlanArea(areaCases[0].first.data(), areaCases[0].weights.data(), 3, 4, 3, tables, area));
  std::vector<std::int32_t> xmap(200);
  for (int x = 0; x < 200; ++x) xmap[static_cast<std::size_t>(x)] = x * 3;
  sheetkernels::SNearestPlan nearest;
  EXPECT_FALSE(sheetkernels::PlanNearest(xmap.data(), 600, 200, nearest));
  sheetkernels::SetKernel(sheetkernels::BestKernel());
}

// The quotients of the weighed rows, against the portable formula trunc((sum + 0.5) / d) in
// double precision: at every boundary of a quotient, for divisors from 1 to the largest the
// 32-bit accumulators take, in a row whose last pixels fill a register only partly.
TEST(SheetKernels, WeighedRowsDivideAsThePortableLoop) {
  const std::uint32_t divisors[] = {1, 2, 3, 7, 255, 869u * 1150u, 3000001, (1u << 23) - 1};
  for (const EKernel kernel : {EKernel::Avx2, EKernel::Avx512}) {
    if (!sheetkernels::SetKernel(kernel)) continue;
    SCOPED_TRACE(kernelName(kernel));
    for (const std::uint32_t d : divisors) {
      SCOPED_TRACE(d);
      const std::uint32_t half = d / 2;
      // Sums just below, at and above each quotient's first value, up to the largest (255).
      std::vector<std::uint32_t> sums;
      for (std::uint64_t q = 0; q < 256; q += (q < 4 || q > 250) ? 1 : 37)
        for (const std::int64_t off : {-1, 0, 1}) {
          const std::int64_t v = static_cast<std::int64_t>(q * d) + off - half;
          if (v >= 0 && static_cast<std::uint64_t>(v) + half < 256ull * d) sums.push_back(static_cast<std::uint32_t>(v));
        }
      sums.push_back(255u * d + (d - 1) - half);
      const int dw = static_cast<int>(sums.size());
      // Red, green and blue planes: the sums, then the same shifted by one pixel.
      std::vector<std::uint32_t> planes(static_cast<std::size_t>(dw) * 3);
      for (int i = 0; i < dw; ++i)
        for (int c = 0; c < 3; ++c) planes[static_cast<std::size_t>(c * dw + i)] = sums[static_cast<std::size_t>((i + c) % dw)];
      const std::uint32_t* rows[1] = {planes.data()};
      const std::uint32_t weights[1] = {1};
      std::vector<std::uint32_t> out(static_cast<std::size_t>(dw), 0);
      const double reciprocal = 1.0 / d;
      ASSERT_TRUE(sheetkernels::WeighRows(rows, weights, 1, half, d, reciprocal, dw, out.data()));
      int wrong = 0;
      for (int i = 0; i < dw; ++i) {
        std::uint32_t want = 0xFF000000u;
        for (int c = 0; c < 3; ++c) {
          const double a = static_cast<double>(planes[static_cast<std::size_t>(c * dw + i)] + half);
          want |= static_cast<std::uint32_t>(static_cast<std::int32_t>((a + 0.5) * reciprocal)) << (16 - 8 * c);
        }
        wrong += out[static_cast<std::size_t>(i)] != want ? 1 : 0;
      }
      EXPECT_EQ(wrong, 0);
    }
  }
  sheetkernels::SetKernel(sheetkernels::BestKernel());
}

// Weight totals too large for the 32-bit accumulators (coprime sides), split over two workers.
TEST_F(CanvasPathsTest, WideDivisorsAndTwoWorkersMatchTheReference) {
  std::mt19937 rng(7);
  SheetImage image = randomSheet(rng, 3001, 2801, 8);
  ScaledSheetBitmap bitmap;
  bitmap.setSource(&image);
  bitmap.setThreadCount(2);
  const double ratio = 0.3709;
  const QSize size = bitmap.Render(ratio, 1, ScaledSheetBitmap::EResample::AreaAverage);
  ASSERT_EQ(size, QSize(1113, 1038));
  EXPECT_EQ(firstDifference(bitmap.Surface(), referenceAreaAverage(image, size.width(), size.height())), "");
  ASSERT_EQ(bitmap.Render(ratio, 1, ScaledSheetBitmap::EResample::Nearest), size);
  EXPECT_EQ(firstDifference(bitmap.Surface(), referenceNearest(image, size.width(), size.height())), "");
}

TEST_P(CanvasKernelsTest, StretchMatchesThePlainReference) {
  std::mt19937 rng(99);
  constexpr std::uint32_t kUntouched = 0xFF123456u;
  for (int round = 0; round < 200; ++round) {
    QImage sheet(1 + static_cast<int>(rng() % 50), 1 + static_cast<int>(rng() % 50), QImage::Format_RGB32);
    for (int y = 0; y < sheet.height(); ++y)
      for (int x = 0; x < sheet.width(); ++x) sheet.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
    static constexpr double kSimple[] = {2.0, 3.0, 5.0, 1.5};
    const double ratio = round % 3 == 0 ? kSimple[(round / 3) % 4] : 1.0 + (rng() % 100000) / 100000.0 * 8.0;
    QImage to(1 + static_cast<int>(rng() % 120), 1 + static_cast<int>(rng() % 120), QImage::Format_RGB32);
    to.fill(kUntouched);
    const QPoint origin(static_cast<int>(rng() % 200) - 20, static_cast<int>(rng() % 200) - 20);
    const QRect box(origin.x() + static_cast<int>(rng() % 140) - 10, origin.y() + static_cast<int>(rng() % 140) - 10,
                    static_cast<int>(rng() % 130), static_cast<int>(rng() % 130));
    SCOPED_TRACE(testing::Message() << "round " << round << ": ratio " << ratio);
    CMapCanvas::StretchMap(sheet, ratio, box, to, origin);
    for (int y = 0; y < to.height(); ++y) {
      for (int x = 0; x < to.width(); ++x) {
        const QPoint logical(x + origin.x(), y + origin.y());
        std::uint32_t want = kUntouched;
        if (box.contains(logical) && logical.x() >= 0 && logical.y() >= 0) {
          const int sx = static_cast<int>(std::floor(logical.x() / ratio));
          const int sy = static_cast<int>(std::floor(logical.y() / ratio));
          if (sx < sheet.width() && sy < sheet.height()) want = sheet.pixel(sx, sy);
        }
        ASSERT_EQ(to.pixel(x, y), want) << x << "," << y;
      }
    }
  }
}

// ---- device pixels ----

TEST_F(CanvasPathsTest, TwiceDenseTargetGetsOneSheetPixelPerDevicePixel) {
  std::mt19937 rng(3);
  SheetImage image = randomSheet(rng, 12, 10, 24);
  CMapCanvas canvas;
  canvas.setSheet(&image, 1);
  canvas.setDevicePixelRatio(2.0);
  ASSERT_TRUE(canvas.Recreate(5, 4));
  ASSERT_EQ(canvas.backBuffer().image().size(), QSize(10, 8));
  const QPoint origin(1, 2);  // scrolled: device (2, 4) at the top-left corner
  const struct {
    double ratio;  // logical pixels per sheet pixel
    QSize logicalMap;
    int devicePerSheet;
  } kCases[] = {{0.5, QSize(6, 5), 1}, {1.0, QSize(12, 10), 2}, {0.25, QSize(3, 2), 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.ratio);
    canvas.render(c.ratio);
    EXPECT_EQ(canvas.mapSize(), c.logicalMap);
    QImage target(10, 8, QImage::Format_RGB32);
    target.setDevicePixelRatio(2.0);
    target.fill(Qt::black);
    bool overlaysRan = false;
    {
      QPainter p(&target);
      canvas.PaintMap(p, QRect(origin, QSize(5, 4)), origin, [&](QPainter& op, EMapOverlay which, const QRect&) {
        if (which != EMapOverlay::ZoomBand) return;
        overlaysRan = true;
        op.fillRect(QRect(3, 3, 1, 1), QColor(0, 0, 255));  // logical: client (2, 1)
      });
    }
    EXPECT_TRUE(overlaysRan);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 10; ++x) {
        std::uint32_t want;
        if (x / 2 == 2 && y / 2 == 1) {
          want = 0x0000FF;  // a logical pixel of overlay is 2 x 2 device pixels
        } else if (c.devicePerSheet == 0) {
          // A quarter: device ratio 1/2, the nearest copy's pixel of device (x + 2, y + 4).
          const int dx = x + 2, dy = y + 4;
          want = dx < 6 && dy < 5 ? colourAt(image, (2 * dx + 1) * 12 / 12, (2 * dy + 1) * 10 / 10) : 0xFFFFFF;
        } else {
          const int sx = (x + 2) / c.devicePerSheet, sy = (y + 4) / c.devicePerSheet;
          want = sx < 12 && sy < 10 ? colourAt(image, sx, sy) : 0xFFFFFF;
        }
        ASSERT_EQ(target.pixel(x, y) & 0xFFFFFFu, want) << x << "," << y;
      }
    }
  }
}

// The view on a screen with two device pixels per logical pixel. The screen density is fixed when
// the application starts, so the test runs itself again with QT_SCALE_FACTOR=2.
TEST(ViewDevicePixels, HundredPercentShowsOneSheetPixelPerDevicePixel) {
  const std::filesystem::path index = testutil::sampleDir() / "map25000" / "index.csv";
  if (!std::filesystem::exists(index)) GTEST_SKIP() << "sample data not built";
  if (qApp->devicePixelRatio() != 2.0) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=ViewDevicePixels.HundredPercentShowsOneSheetPixelPerDevicePixel")});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QByteArray out = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    return;
  }
  platform::CMemoryProfile profile;
  platform::CScriptedPrompt prompt;
  platform::setProfile(&profile);
  platform::setPrompt(&prompt);
  AppSettings settings;
  settings.setSaveOnDestroy(false);
  {
    CVantoriaDoc doc;
    CVantoriaView view(doc);
    view.setSettings(&settings);
    view.setFrameShape(QFrame::NoFrame);
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(doc.OpenIndexFile(index));
    doc.LoadSheet(0, 30);  // 543836, 4,587 x 3,746
    ASSERT_TRUE(view.hasMap());
    view.SetMagnification(100, QPoint(1000, 800));
    QApplication::processEvents();
    EXPECT_EQ(view.ratio(), 0.5) << "logical pixels per sheet pixel";
    EXPECT_EQ(view.mapSize(), QSize(4587 / 2, 3746 / 2));
    // The scaled copy is the whole sheet at 100 %, one sheet pixel per device pixel.
    const QImage& sheet = view.canvas().bitmap().Surface();
    ASSERT_EQ(sheet.size(), QSize(4587, 3746));
    const QPoint scroll = view.scrollPosition();
    const QSize client = view.viewport()->size();
    // The mouse names the sheet pixel under it; the scroll range covers the map in logical pixels.
    EXPECT_EQ(view.SheetPixelAt(QPoint(10, 7)), 2 * (scroll + QPoint(10, 7)));
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 4587 / 2 - client.width());

    const QImage shot = view.viewport()->grab().toImage();
    ASSERT_EQ(shot.devicePixelRatio(), 2.0);
    ASSERT_EQ(shot.size(), client * 2);
    for (int y = 0; y < shot.height(); y += 3)
      for (int x = 0; x < shot.width(); x += 3)
        ASSERT_EQ(shot.pixel(x, y) & 0xFFFFFFu, sheet.pixel(2 * scroll.x() + x, 2 * scroll.y() + y) & 0xFFFFFFu)
            << x << "," << y;

    // Zooming in a step from 100 % goes on in device pixels (the next step of the list).
    view.ZoomStep(true);
    EXPECT_EQ(view.ratio() * 2.0, view.magnification() / 100.0);
    EXPECT_GT(view.magnification(), 100);
  }
  platform::setPrompt(nullptr);
  platform::setProfile(nullptr);
}

}  // namespace
