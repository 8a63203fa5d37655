// The renderer on its worker threads: placeholders, then tiles; unreadable sheets; dropped work;
// the cache budget; reduced copies for zoomed-out views.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <filesystem>
#include <set>

#include "common/TestUtil.h"
#include "display/SheetKernels.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"

using namespace mosaic;
namespace fs = std::filesystem;

namespace {

// Lets the queued hand-overs of the workers through until the renderer has nothing left to do.
void settle(CMosaicRenderer& r) {
  QElapsedTimer t;
  t.start();
  do {
    r.WaitForIdle();
    QCoreApplication::processEvents();
  } while (r.pendingTiles() > 0 && t.elapsed() < 60000);
  QCoreApplication::processEvents();
}

struct SSample {
  CMapCollection collection;
  CMosaicRenderer renderer;
  explicit SSample(const fs::path& folder = testutil::sampleDir() / "map25000") {
    EXPECT_TRUE(collection.AddFolder(folder));
    renderer.setSeries(collection.sheets(MapSeries::Scale25000), collection.plane(MapSeries::Scale25000));
  }
  // The display box around a sheet corner shared by four sheets (the middle sheet's north-west).
  [[nodiscard]] QRect aroundMiddle(double ratio, int w, int h) const {
    const SCollectionSheet& middle =
        collection.sheets(MapSeries::Scale25000)[static_cast<std::size_t>(collection.FindMesh(MapSeries::Scale25000, "543847"))];
    const SMapPlane& plane = collection.plane(MapSeries::Scale25000);
    const int cx = static_cast<int>(plane.ColumnOf(middle.frame.west, ratio));
    const int cy = static_cast<int>(plane.RowOf(middle.frame.north, ratio));
    return {cx - w / 2, cy - h / 2, w, h};
  }
};

QImage compose(CMosaicRenderer& r, const QRect& box, double ratio) {
  QImage out(box.size(), QImage::Format_RGB32);
  out.fill(0xFF123456u);
  r.Compose(out, box, box.topLeft(), ratio);
  return out;
}

QImage renderNow(CMosaicRenderer& r, const QRect& box, double ratio) {
  QImage out(box.size(), QImage::Format_RGB32);
  out.fill(0xFF123456u);
  r.RenderNow(out, box, box.topLeft(), ratio);
  return out;
}

int countColour(const QImage& image, std::uint32_t colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour;
  return n;
}

}  // namespace

TEST(MosaicRenderer, ShowsPlaceholdersAtOnceThenTheRenderedTiles) {
  for (const int quality : {0, 1}) {
    SSample s;
    SMapRenderSettings settings;
    settings.dispQuality = quality;
    s.renderer.setRenderSettings(settings);
    const double ratio = 0.5;
    const QRect box = s.aroundMiddle(ratio, 900, 700);
    QSignalSpy ready(&s.renderer, &CMosaicRenderer::tilesReady);
    const QImage first = compose(s.renderer, box, ratio);
    // Nothing decoded yet: light grey with the sheets' names, and the tiles asked for.
    EXPECT_GT(countColour(first, kEmptyColour), box.width() * box.height() / 2);
    EXPECT_GT(s.renderer.pendingTiles(), 0);
    settle(s.renderer);
    EXPECT_GE(ready.count(), 1);
    const QImage second = compose(s.renderer, box, ratio);
    EXPECT_EQ(s.renderer.pendingTiles(), 0);
    EXPECT_EQ(countColour(second, kEmptyColour), 0);
    EXPECT_EQ(second, renderNow(s.renderer, box, ratio)) << "quality " << quality;
    // Four sheets meet there; each was read once.
    EXPECT_EQ(s.renderer.decodeCount(), 4);
  }
}

TEST(MosaicRenderer, ComposedTilesMatchTheSynchronousRenderAtEverySize) {
  // Below and above the size where a compose writes past the caches, and through each kernel set
  // the processor has (the portable one: the plain copy every other processor runs).
  using sheetkernels::EKernel;
  const EKernel best = sheetkernels::BestKernel();
  struct SCase {
    QSize size;
    EKernel kernel;
  };
  const SCase cases[] = {{{900, 700}, best},
                         {{1920, 1080}, EKernel::Portable},
                         {{1920, 1080}, EKernel::Avx2},
                         {{1920, 1080}, EKernel::Avx512},
                         {{2600, 1700}, best}};
  SSample s;
  const double ratio = 0.5;
  for (const SCase& c : cases) {
    if (!sheetkernels::SetKernel(c.kernel)) continue;
    const QRect box = s.aroundMiddle(ratio, c.size.width(), c.size.height());
    (void)compose(s.renderer, box, ratio);
    settle(s.renderer);
    const QImage composed = compose(s.renderer, box, ratio);
    EXPECT_EQ(s.renderer.pendingTiles(), 0);
    EXPECT_EQ(composed, renderNow(s.renderer, box, ratio))
        << c.size.width() << " x " << c.size.height() << " kernel " << static_cast<int>(c.kernel);
  }
  sheetkernels::SetKernel(best);
}

TEST(MosaicRenderer, TheSynchronousRenderTellsWhetherSheetsCoverTheBox) {
  SSample s;
  const SMapPlane& plane = s.collection.plane(MapSeries::Scale25000);
  struct SCase {
    const char* name;
    double ratio;
    QRect box;
    bool covered;
  };
  const SCase cases[] = {
      {"across the corner of four sheets", 0.5, s.aroundMiddle(0.5, 600, 400), true},
      {"the same at the sheets' own size", 1.0, s.aroundMiddle(1.0, 300, 200), true},
      {"over the north-west edge of the maps", 0.5, QRect(-50, -40, 300, 200), false},
      {"past the south-east corner", 0.25, QRect(plane.WidthAt(0.25) - 100, plane.HeightAt(0.25) - 80, 200, 160), false},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.name);
    QImage out(c.box.size(), QImage::Format_RGB32);
    EXPECT_EQ(s.renderer.RenderNow(out, c.box, c.box.topLeft(), c.ratio), c.covered);
    EXPECT_EQ(countColour(out, kEmptyColour) == 0, c.covered);
  }
  // A picture smaller than the box: the box is not all drawn.
  QImage small(100, 100, QImage::Format_RGB32);
  const QRect box = s.aroundMiddle(0.5, 600, 400);
  EXPECT_FALSE(s.renderer.RenderNow(small, box, box.topLeft(), 0.5));
}

TEST(MosaicRenderer, AnUnreadableSheetIsHatchedAndNamedWithItsReason) {
  QTemporaryDir tmp;
  const fs::path copy = fs::path(tmp.path().toStdString()) / "map25000";
  fs::copy(testutil::sampleDir() / "map25000", copy, fs::copy_options::recursive);
  SSample s(copy);
  const auto& sheets = s.collection.sheets(MapSeries::Scale25000);
  const int broken = s.collection.FindMesh(MapSeries::Scale25000, "543847");
  testutil::writeFile(sheets[static_cast<std::size_t>(broken)].image, "II*\0not a sheet at all");
  QSignalSpy failed(&s.renderer, &CMosaicRenderer::sheetFailed);
  const double ratio = 0.25;
  const QRect box = s.aroundMiddle(ratio, 1200, 900);
  (void)compose(s.renderer, box, ratio);
  settle(s.renderer);
  const QImage out = compose(s.renderer, box, ratio);
  ASSERT_EQ(failed.count(), 1);
  EXPECT_EQ(failed.at(0).at(0).toInt(), broken);
  ASSERT_TRUE(s.renderer.FailureOf(broken));
  EXPECT_FALSE(s.renderer.FailureOf(broken)->empty());
  EXPECT_FALSE(s.renderer.FailureOf(broken - 1));
  EXPECT_GT(countColour(out, kHatchDark), 1000);
  // Asked again, the sheet is not read again.
  const int decodes = s.renderer.decodeCount();
  (void)compose(s.renderer, box.translated(40, 40), ratio);
  settle(s.renderer);
  EXPECT_EQ(s.renderer.decodeCount(), decodes);
}

TEST(MosaicRenderer, WorkForPlacesPannedAwayFromIsDropped) {
  SSample s;
  s.renderer.setThreadCount(1);
  const double ratio = 1.0;
  const SMapPlane plane = s.renderer.plane();
  // A wide box over the whole north row of sheets, then at once a small one in the far south.
  const QRect wide(0, 0, plane.width, 3 * CMosaicRenderer::kTileSize);
  QImage big(wide.size(), QImage::Format_RGB32);
  s.renderer.Compose(big, wide, wide.topLeft(), ratio);
  const int askedFirst = s.renderer.pendingTiles();
  ASSERT_GT(askedFirst, 20);
  const QRect south(plane.width / 2, plane.height - 2 * CMosaicRenderer::kTileSize, 300, 300);
  (void)compose(s.renderer, south, ratio);
  // At most the tile a worker had begun is left of the first request.
  EXPECT_LE(s.renderer.pendingTiles(), 1 + 4);
  settle(s.renderer);
  EXPECT_LE(s.renderer.decodeCount(), 3);
}

TEST(MosaicRenderer, TheCacheKeepsToItsBudgetWhilePanningOverEverySheet) {
  SSample s;
  const std::size_t budget = std::size_t{96} << 20;
  s.renderer.setCacheBudget(budget);
  const double ratio = 1.0;
  const SMapPlane plane = s.renderer.plane();
  for (int y = 0; y < plane.height; y += 2400) {
    for (int x = 0; x < plane.width; x += 3000) {
      (void)compose(s.renderer, QRect(x, y, 1280, 800), ratio);
      settle(s.renderer);
      ASSERT_LE(s.renderer.cache().bytes(), budget);
    }
  }
  EXPECT_LE(s.renderer.cache().peakBytes(), budget);
  EXPECT_GT(s.renderer.decodeCount(), 9);  // sheets had to be read again after they were dropped
}

TEST(MosaicRenderer, ZoomedOutViewsDrawFromReducedCopies) {
  SSample s;
  const double ratio = 0.05;
  const SMapPlane plane = s.renderer.plane();
  const QRect all(0, 0, plane.WidthAt(ratio), plane.HeightAt(ratio));
  (void)compose(s.renderer, all, ratio);
  settle(s.renderer);
  const QImage out = compose(s.renderer, all, ratio);
  EXPECT_EQ(s.renderer.decodeCount(), 9);
  // Every sheet's pixels are there, and the margin is grey.
  EXPECT_EQ(out.pixel(0, 0), kEmptyColour);
  for (const SCollectionSheet& sheet : s.collection.sheets(MapSeries::Scale25000)) {
    const int x = static_cast<int>(plane.ColumnOf((sheet.frame.west + sheet.frame.east) / 2, ratio));
    const int y = static_cast<int>(plane.RowOf((sheet.frame.north + sheet.frame.south) / 2, ratio));
    EXPECT_NE(out.pixel(x, y), kEmptyColour) << sheet.record.meshCode;
  }
  // A view zoomed in after that shows the reduced copies while the sheets load.
  CMosaicRenderer& r = s.renderer;
  r.cache().RemovePrefix("s:");
  const QRect box = s.aroundMiddle(0.5, 600, 400);
  const QImage meanwhile = compose(r, box, 0.5);
  // (A few map pixels may average to the same grey.)
  EXPECT_LT(countColour(meanwhile, kEmptyColour), box.width() * box.height() / 200);
  EXPECT_GT(r.pendingTiles(), 0);
  settle(r);
}

TEST(MosaicRenderer, ReducedCopiesOnDiskAreUsedAndADamagedOneIsRebuilt) {
  QTemporaryDir tmp;
  const fs::path cache = fs::path(tmp.path().toStdString()) / "cache";
  const double ratio = 0.05;
  auto whole = [&](CMosaicRenderer& r) {
    const SMapPlane plane = r.plane();
    const QRect all(0, 0, plane.WidthAt(ratio), plane.HeightAt(ratio));
    (void)compose(r, all, ratio);
    settle(r);
    return compose(r, all, ratio);
  };
  QImage first;
  {
    SSample s;
    s.renderer.setReducedFolder(cache);
    first = whole(s.renderer);
    EXPECT_EQ(s.renderer.decodeCount(), 9);
  }
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(cache))
    if (e.is_regular_file()) files.push_back(e.path());
  ASSERT_EQ(files.size(), 9u);
  // Spoil one copy: flip a byte in its middle.
  std::string bytes = testutil::readFile(files[3]);
  bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x5A);
  testutil::writeFile(files[3], bytes);
  {
    SSample s;
    s.renderer.setReducedFolder(cache);
    EXPECT_EQ(whole(s.renderer), first);
    // Only the spoilt one was made again from its sheet.
    EXPECT_EQ(s.renderer.decodeCount(), 1);
  }
  EXPECT_NE(testutil::readFile(files[3]), bytes);
  {
    SSample s;
    s.renderer.setReducedFolder(cache);
    EXPECT_EQ(whole(s.renderer), first);
    EXPECT_EQ(s.renderer.decodeCount(), 0);
  }
}
