// Printing the seamless map: the true scale at the printed area's middle, pages cut across sheet
// borders without a lost or doubled row, the header's sheet names, and the page grid of a track
// log print against a brute-force count.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>

#include "common/TestUtil.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"
#include "output/PlanePrint.h"
#include "output/PrintInfo.h"
#include "output/PrintPageRenderer.h"
#include "platform/Codepage.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekGroupList.h"

namespace {

QString utf8(const char* s) { return QString::fromUtf8(s); }

/// The sample map data's 1:25,000 sheets as a seamless map, with its renderer.
struct SSampleMosaic {
  mosaic::CMapCollection collection;
  std::unique_ptr<mosaic::CMosaicRenderer> renderer;
  print::SPlaneSource source;
  bool open() {
    if (!collection.AddFolder(testutil::sampleDir() / "map25000")) return false;
    renderer = std::make_unique<mosaic::CMosaicRenderer>();
    renderer->setRenderSettings(SMapRenderSettings{});
    renderer->setSeries(collection.sheets(MapSeries::Scale25000), collection.plane(MapSeries::Scale25000));
    source.renderer = renderer.get();
    source.plane = collection.plane(MapSeries::Scale25000);
    source.sheets = &collection.sheets(MapSeries::Scale25000);
    return source.valid();
  }
  /// The plane pixels (ratio 1) of a Tokyo box given in d, m, s.
  [[nodiscard]] QRect area(double s, double w, double n, double e) const {
    return print::PlaneAreaOf(source.plane, {n, s, w, e});
  }
};

double sec(int d, int m, double s) { return d * 3600.0 + m * 60.0 + s; }

}  // namespace

TEST(PlanePrint, OneKilometreAt25000IsFortyMillimetresAtEveryLatitude) {
  // A plane whose pixels are square at 36N: away from it a pixel covers less or more ground
  // across, and a 1:25,000 print must follow the ground, not the pixel.
  mosaic::SCollectionSheet a, b;
  a.frame = {sec(35, 40, 0), sec(35, 35, 0), sec(138, 0, 0), sec(138, 7, 30)};
  b.frame = {sec(36, 25, 0), sec(36, 20, 0), sec(138, 0, 0), sec(138, 7, 30)};
  const mosaic::SMapPlane plane = mosaic::PlaneFor({a, b}, MapSeries::Scale25000);
  const struct {
    const char* name;
    double latitude;
  } kRows[] = {{"south edge", sec(35, 36, 0)}, {"middle", sec(36, 0, 0)}, {"north edge", sec(36, 24, 0)}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const int y = static_cast<int>(plane.RowOf(row.latitude, 1.0));
    const QRect area(100, y - 200, 400, 400);
    const print::SLocalMetres local = print::LocalMetres(plane, area);
    PrintInfo info;
    info.magnificationMode = print::EMagnificationMode::Specified;
    info.magnification = -25000;
    print::SPrintContext c;
    c.dpi = {600, 600, 96, 96};
    c.page = QSize(4724, 6780);
    c.area = area.size();
    c.series = 1;
    c.groundAcross = local.factorAcross();
    c.groundDown = local.factorDown();
    ASSERT_TRUE(print::RecomputeScale(info, c));
    const double wantPx = 40.0 / 25.4 * 600;  // 40 mm at 600 dpi
    const double acrossPx = 1000.0 / local.across * info.scaleX;
    const double downPx = 1000.0 / local.down * info.scaleY;
    EXPECT_NEAR(acrossPx / wantPx, 1.0, 0.002);
    EXPECT_NEAR(downPx / wantPx, 1.0, 0.002);
  }
  // The nominal pixel alone misses by more than that at the edges: the rule is needed.
  const print::SLocalMetres north = print::LocalMetres(plane, QRect(0, 0, 10, 10));
  EXPECT_GT(std::abs(north.factorAcross() - 1.0), 0.002);
}

TEST(PlanePrint, SheetNamesText) {
  const struct {
    const char* name;
    int others;
    const char* want;
  } kRows[] = {{"鷹ノ巣山", 0, "[ 鷹ノ巣山 ]"}, {"鷹ノ巣山", 1, "[ 鷹ノ巣山 ] ほか 1 面"}, {"柚ノ木", 3, "[ 柚ノ木 ] ほか 3 面"}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.want);
    EXPECT_EQ(CPrintPageRenderer::SheetNamesText(platform::cp932::fromUtf8(r.name).text, r.others), utf8(r.want));
  }
}

TEST(PlanePrint, PageBoxesTileThePrintAreaAtEveryScale) {
  // Pages of a print area cut at any scale: their boxes at the rendering ratio cover the area's
  // box once, so no row or column is lost or doubled at a page seam.
  const QRect area(-37, 1203, 2411, 1777);
  const struct {
    const char* name;
    double scale;
    QSize mapArea;
  } kRows[] = {{"1:25,000 at 600 dpi", 2.3622, QSize(4488, 6500)},
               {"reduced", 0.37, QSize(300, 411)},
               {"at one", 1.0, QSize(700, 500)},
               {"odd scale", 1.7311, QSize(1013, 977)}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    const print::SScale scale{r.scale, r.scale};
    const auto layout = print::ComputePageLayout(r.mapArea + QSize(0, 30), area.size(), scale, 0, 1.0);
    ASSERT_TRUE(layout);
    const double rs = std::min(1.0, r.scale);
    const QRect whole = print::ScaledBox(area, rs);
    std::vector<int> covered(static_cast<std::size_t>(whole.width()) * whole.height(), 0);
    const QSize map(layout->pageWidth, layout->pageHeight - layout->mapTop);
    for (int page = 1; page <= layout->pageCount(); ++page) {
      const QRect src = print::PageSourceRect(area, scale, map, print::PagePosition(page, layout->pagesAcross));
      const QRect box = print::ScaledBox(src, rs);
      for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
          ASSERT_TRUE(whole.contains(x, y)) << page;
          ++covered[static_cast<std::size_t>(y - whole.top()) * whole.width() + (x - whole.left())];
        }
    }
    EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), static_cast<long>(covered.size()));
  }
}

TEST(PlanePrint, PagesAcrossSheetBordersShowTheSeamlessMap) {
  SSampleMosaic m;
  if (!m.open()) GTEST_SKIP() << "sample data not built";
  // Around the point where four sample sheets meet (36N25', 138E52'30").
  const QRect area = m.area(sec(36, 24, 0), sec(138, 51, 30), sec(36, 26, 0), sec(138, 53, 30));
  ASSERT_FALSE(area.isEmpty());
  // Printed at 100 % on a printer as dense as the screen: one printer pixel per plane pixel, on
  // pages cutting the area 3 x 3 (seams through the sheet borders and beside them).
  const int pageW = area.width() / 3 + 7, mapH = area.height() / 3 + 5;
  PrintInfo info;
  info.magnificationMode = print::EMagnificationMode::Specified;
  info.magnification = 100;
  info.options = print::kOptSheetName;
  info.printSelection = true;
  print::SPrintContext c;
  c.dpi = {96, 96, 96, 96};
  c.area = area.size();
  c.page = QSize(pageW, mapH + print::PageMapTop(info.options, 1.0));
  ASSERT_TRUE(print::RecomputeScale(info, c));
  ASSERT_TRUE(print::RecomputePageLayout(info, c));
  ASSERT_EQ(info.pagesAcross, 3);
  ASSERT_EQ(info.pagesDown, 3);
  SPrintSheet sheet;
  sheet.plane = &m.source;
  sheet.series = 1;
  sheet.selection = area;
  CPrintPageRenderer renderer;
  ASSERT_TRUE(renderer.BeginPrinting(info, sheet));
  info.drawRect = QRect(0, 0, info.pageWidth, info.pageHeight);

  QImage whole(area.size(), QImage::Format_RGB32);
  m.renderer->RenderNow(whole, area, area.topLeft(), 1.0);
  QImage assembled(area.size(), QImage::Format_RGB32);
  assembled.fill(Qt::magenta);
  for (std::uint32_t p = 1; p <= info.maxPage; ++p) {
    SCOPED_TRACE(p);
    info.currentPage = p;
    QImage page(info.pageWidth, info.pageHeight, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
      QPainter painter(&page);
      renderer.PrintPage(painter, info);
    }
    const QRect box = renderer.PageMapBox(info, p);
    ASSERT_FALSE(box.isEmpty());
    QPainter into(&assembled);
    into.setCompositionMode(QPainter::CompositionMode_Source);
    into.drawImage(box.topLeft() - area.topLeft(), page, QRect(QPoint(0, info.mapTop), box.size()));
  }
  int differing = 0;
  for (int y = 0; y < area.height(); ++y)
    for (int x = 0; x < area.width(); ++x) differing += assembled.pixel(x, y) != whole.pixel(x, y);
  EXPECT_EQ(differing, 0);

  // The middle page shows all four sheets; the north-west one is named first.
  info.currentPage = 5;
  const QString names = renderer.PageSheetNames(info, 5);
  const std::vector<int> shown = print::SheetsShown(m.source.plane, *m.source.sheets, area);
  ASSERT_EQ(shown.size(), 4u);
  const mosaic::SCollectionSheet& first = (*m.source.sheets)[static_cast<std::size_t>(shown.front())];
  EXPECT_EQ(first.record.meshCode, "543856");
  EXPECT_EQ(names, CPrintPageRenderer::SheetNamesText(first.record.sheetName, 3));
  // The first page lies on one sheet only.
  EXPECT_EQ(renderer.PageSheetNames(info, 1).indexOf(utf8("ほか")), -1);
  renderer.EndPrinting();
}

namespace {

/// Fewest pages of a page grid, over both orientations and every offset of the grid in steps of
/// one pixel, that cover a box.
int bruteForcePages(QSize bounds, QSize portrait, QSize landscape) {
  int best = std::numeric_limits<int>::max();
  for (const QSize page : {portrait, landscape}) {
    for (int ox = 0; ox < page.width(); ox += std::max(1, page.width() / 97)) {
      for (int oy = 0; oy < page.height(); oy += std::max(1, page.height() / 97)) {
        // Pages whose cells meet [0, w) x [0, h) with the grid starting at -ox, -oy.
        const int across = (bounds.width() + ox + page.width() - 1) / page.width();
        const int down = (bounds.height() + oy + page.height() - 1) / page.height();
        best = std::min(best, across * down);
      }
    }
  }
  return best;
}

}  // namespace

TEST(PlanePrint, TrackPrintNeedsTheFewestPages) {
  const QSize portrait(4488, 6500), landscape(6780, 4210);
  const struct {
    const char* name;
    QSize bounds;  // printer pixels at scale 1
    bool landscape;
  } kRows[] = {
      {"fits one portrait page", {4000, 6000}, false},
      {"wide: one landscape page", {6000, 4000}, true},
      {"wide and tall: 2 x 2 landscape = 4, portrait 2 x 2 = 4", {8000, 8000}, false},
      {"just wider than portrait", {4500, 3000}, true},
      {"long north-south", {3000, 12900}, false},
      {"long east-west", {13500, 3000}, true},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    const auto plan = print::PlanTrackPrint(QRect(QPoint(10, 20), r.bounds), portrait, landscape, 1.0, 1.0);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->pageCount(), bruteForcePages(r.bounds, portrait, landscape));
    EXPECT_EQ(plan->landscape, r.landscape);
    // The grid covers the log and is centred on it, and lays out into exactly that grid.
    EXPECT_TRUE(plan->area.contains(plan->bounds));
    const int westGap = plan->bounds.left() - plan->area.left();
    const int eastGap = plan->area.right() - plan->bounds.right();
    EXPECT_LE(std::abs(westGap - eastGap), 1);
    const QSize map = plan->landscape ? landscape : portrait;
    const auto layout = print::ComputePageLayout(map + QSize(0, 4), plan->area.size(), {1.0, 1.0}, 0, 1.0);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->pagesAcross, plan->pagesAcross);
    EXPECT_EQ(layout->pagesDown, plan->pagesDown);
  }
}

TEST(PlanePrint, SampleTracksOnTheFewestA4Pages) {
  SSampleMosaic m;
  if (!m.open()) GTEST_SKIP() << "sample data not built";
  CTrekGroupList treks;
  ASSERT_GT(treks.OpenTrekFile(testutil::sampleDir() / "treks" / "tracks.ptd"), 0);
  const SheetFrame frame = m.source.plane.Frame(1.0);
  // A4 at 600 dpi with 5 mm margins, header band of 28 screen pixels: map part of a page.
  const QSize portrait(4724, 6780 - 175), landscape(6780, 4724 - 175);
  PrintInfo info;
  info.magnificationMode = print::EMagnificationMode::Specified;
  info.magnification = -25000;
  int logs = 0;
  for (const auto& group : treks.Groups()) {
    for (const auto& log : group->TrackLogs()) {
      SCOPED_TRACE(platform::cp932::toUtf8Lossy(log->name));
      const QRect raw = print::TrackBounds(*log, frame, 0, 0);
      ASSERT_FALSE(raw.isEmpty());
      print::SPrintContext c;
      c.dpi = {600, 600, 96, 96};
      c.area = raw.size();
      const print::SLocalMetres local = print::LocalMetres(m.source.plane, raw);
      c.groundAcross = local.factorAcross();
      c.groundDown = local.factorDown();
      ASSERT_TRUE(print::RecomputeScale(info, c));
      const double margin = 5.0 / 25.4 * 600;
      const QRect bounds = print::TrackBounds(*log, frame, margin / info.scaleX, margin / info.scaleY);
      const auto plan = print::PlanTrackPrint(bounds, portrait, landscape, info.scaleX, info.scaleY);
      ASSERT_TRUE(plan);
      const QSize printed(static_cast<int>(std::ceil(bounds.width() * info.scaleX)),
                          static_cast<int>(std::ceil(bounds.height() * info.scaleY)));
      EXPECT_EQ(plan->pageCount(), bruteForcePages(printed, portrait, landscape));
      ++logs;
    }
  }
  EXPECT_EQ(logs, 2);
}

TEST(PlanePrint, PreviewDrawsTheSeamlessPageAtItsShownSize) {
  SSampleMosaic m;
  if (!m.open()) GTEST_SKIP() << "sample data not built";
  const QRect area = m.area(sec(36, 24, 0), sec(138, 51, 30), sec(36, 26, 0), sec(138, 53, 30));
  PrintInfo info;
  info.magnificationMode = print::EMagnificationMode::Specified;
  info.magnification = -25000;
  info.options = 0;
  info.printSelection = true;
  print::SPrintContext c;
  c.dpi = {600, 600, 96, 96};
  c.area = area.size();
  c.page = QSize(4724, 6780);
  const print::SLocalMetres local = print::LocalMetres(m.source.plane, area);
  c.groundAcross = local.factorAcross();
  c.groundDown = local.factorDown();
  ASSERT_TRUE(print::RecomputeScale(info, c));
  ASSERT_TRUE(print::RecomputePageLayout(info, c));
  SPrintSheet sheet;
  sheet.plane = &m.source;
  sheet.selection = area;
  CPrintPageRenderer renderer;
  ASSERT_TRUE(renderer.BeginPrinting(info, sheet));
  info.drawRect = QRect(0, 0, info.pageWidth, info.pageHeight);
  info.currentPage = 1;
  // A preview a tenth of the printed size: the map is rendered at about that size, not at print
  // resolution, and fills its part of the page.
  const double shown = 0.1;
  QImage page(static_cast<int>(info.pageWidth * shown) + 1, static_cast<int>(info.pageHeight * shown) + 1,
              QImage::Format_RGB32);
  page.fill(Qt::magenta);
  {
    QPainter painter(&page);
    painter.scale(shown, shown);
    renderer.PrintPage(painter, info);
  }
  const QRect box = renderer.PageMapBox(info, 1);
  ASSERT_FALSE(box.isEmpty());
  EXPECT_LE(renderer.memoryBytes(), std::int64_t{4} * (box.width() / 3) * print::kPlaneBandRows);
  const QRect mapShown(1, static_cast<int>(info.mapTop * shown) + 1,
                       static_cast<int>(box.width() * info.scaleX / info.sourceScale * shown) - 2,
                       static_cast<int>(box.height() * info.scaleY / info.sourceScale * shown) - 2);
  int magenta = 0;
  for (int y = mapShown.top(); y <= mapShown.bottom() && y < page.height(); ++y)
    for (int x = mapShown.left(); x <= mapShown.right() && x < page.width(); ++x) magenta += page.pixel(x, y) == qRgb(255, 0, 255);
  EXPECT_EQ(magenta, 0);
  renderer.EndPrinting();
}
