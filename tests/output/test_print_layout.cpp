// Print arithmetic: magnification texts, scale factors, fitting, page grid, page positions,
// page source rectangles, page ranges, printer states and the paper view's thumbnails.
#include <gtest/gtest.h>

#include "output/PrintInfo.h"
#include "output/PrintLayout.h"
#include "platform/IProfileStore.h"

using namespace print;

namespace {

constexpr SDpi kDpi600{600, 600, 96, 96};

TEST(PrintMagnification, ParsesPercentagesAndMapScales) {
  const struct {
    const char* text;
    MagnificationCode want;
  } kCases[] = {
      {"1:25000", -25000},   {"1:25,000", -25000}, {"100%", 100},       {"100", 100},
      {"5%", 5},             {"500%", 500},        {"1:1,000", -1000},  {"1:500,000", -500000},
      {"1:25,000%", -25000},  // the "%" ends the number in the map-scale form
      {"1:2500%0", -2500},    // ... and anything after it is ignored
      {"1:999%", 0},          // ... and then the range decides
      {"1:500", 0},          {"4%", 0},            {"501%", 0},         {"1:600,000", 0},
      {"2:25000", 0},        {"1::25000", 0},      {"", 0},             {"25000:1", 0},
      {"1:", 0},             {"100 %", 0},         {"-100", 0},         {"1:99999999999999", 0},
      {"1,00", 0},            // no colon: the comma ends the number (1)
      {"%150", 150},          // every "%" is dropped in the percentage form
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParsePrintMagnification(c.text), c.want);
  }
}

TEST(PrintMagnification, CanonicalAndPlainTexts) {
  const struct {
    MagnificationCode code;
    const char* canonical;
    const char* plain;
  } kCases[] = {
      {150, "150%", "150%"},           {5, "5%", "5%"},
      {-1000, "1:1,000", "1:1000"},    {-2500, "1:2,500", "1:2500"},
      {-25000, "1:25,000", "1:25000"}, {-500000, "1:500,000", "1:500000"},
      {-999, "1:999", "1:999"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(PrintMagnificationText(c.code), c.canonical);
    EXPECT_EQ(PlainMagnificationText(c.code), c.plain);
  }
  // Every entry of the combo box list parses, and prints back the same.
  for (const std::string& choice : MagnificationChoices()) {
    SCOPED_TRACE(choice);
    EXPECT_EQ(PrintMagnificationText(ParsePrintMagnification(choice)), choice);
  }
  EXPECT_EQ(MagnificationChoices().size(), 16u);
}

TEST(PrintScale, FactorsKeepTheScreenSize) {
  const auto s = ComputeScaleFactors(kDpi600, 0.37788);
  ASSERT_TRUE(s);
  EXPECT_DOUBLE_EQ(s->scaleX, 600.0 / 96 * 0.37788);
  EXPECT_DOUBLE_EQ(s->scaleY, 0.37788 * 600 / 96);
  EXPECT_FALSE(ComputeScaleFactors({600, 0, 96, 96}, 1.0));
  EXPECT_FALSE(ComputeScaleFactors({600, 600, 0, 96}, 1.0));

  // 1:25,000 is 1 km on 40 mm of paper at any printer resolution (2.5 m per sheet pixel).
  for (const int dpi : {300, 360, 600, 720, 1200}) {
    SCOPED_TRACE(dpi);
    const double ratio = MagnificationToRatio(-25000, 1, 96);
    const auto f = ComputeScaleFactors({dpi, dpi, 96, 96}, ratio);
    ASSERT_TRUE(f);
    const double mmPerKm = 400 * f->scaleX / dpi * 25.4;
    EXPECT_NEAR(mmPerKm, 40.0, 0.02);
    const double mmPer2Km50 = 400 * ComputeScaleFactors({dpi, dpi, 96, 96}, MagnificationToRatio(-50000, 2, 96))->scaleX / dpi * 25.4;
    EXPECT_NEAR(mmPer2Km50, 40.0, 0.02);
  }
}

TEST(PrintScale, HeaderBandAndFit) {
  const struct {
    const char* name;
    PrintOptionFlags options;
    double dpiRatio;
    int want;
  } kBands[] = {
      {"no header items: the gap", 0, 6.25, 25},
      {"overlays only: the gap", kOptTrackLines | kOptWaypointIcons, 6.25, 25},
      {"scale bar", kOptScaleBar, 6.25, 175},
      {"page number only", kOptPageNumber, 3.125, 87},
      {"screen resolution", kOptAll, 1.0, 28},
  };
  for (const auto& c : kBands) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PageMapTop(c.options, c.dpiRatio), c.want);
  }

  // A selection wider than tall on a portrait page: one page, the width decides.
  const QSize page(4724, 6783);
  const auto fit = FitToPaper(kDpi600, page, QSize(1000, 400), kOptAll);
  ASSERT_TRUE(fit);
  EXPECT_DOUBLE_EQ(fit->scale.scaleX, 4.724);
  EXPECT_DOUBLE_EQ(fit->scale.scaleY, 4.724);
  EXPECT_DOUBLE_EQ(fit->ratio, 96 * 4.724 / 600);
  PrintInfo info;
  info.options = kOptAll;
  info.magnificationMode = EMagnificationMode::FitToPaper;
  SPrintContext ctx{kDpi600, page, QSize(1000, 400), 1, 100};
  ASSERT_TRUE(RecomputeScale(info, ctx));
  EXPECT_EQ(info.magnification, 75);  // trunc(75.584)
  ASSERT_TRUE(RecomputePageLayout(info, ctx));
  EXPECT_EQ(info.pagesAcross, 1);
  EXPECT_EQ(info.pagesDown, 1);

  // Taller than wide, and without header items: the page height below the gap decides, and the
  // map still fits on one page.
  for (const PrintOptionFlags options : {PrintOptionFlags{0}, PrintOptionFlags{kOptAll}}) {
    SCOPED_TRACE(options);
    info.options = options;
    ctx.area = QSize(300, 3000);
    ASSERT_TRUE(RecomputeScale(info, ctx));
    EXPECT_DOUBLE_EQ(info.scaleY, double(page.height() - PageMapTop(options, 6.25)) / 3000);
    ASSERT_TRUE(RecomputePageLayout(info, ctx));
    EXPECT_EQ(info.maxPage, 1u);
  }
  EXPECT_FALSE(FitToPaper(kDpi600, QSize(100, 20), QSize(10, 10), kOptAll));  // no room below the header
  EXPECT_FALSE(FitToPaper({600, 600, 96, 0}, page, QSize(10, 10), 0));
}

TEST(PrintLayout, PageCountsAtTheEdge) {
  const struct {
    std::int64_t total, page;
    int want;
  } kCounts[] = {{0, 100, 1}, {99, 100, 1}, {100, 100, 1}, {101, 100, 2}, {200, 100, 2}, {201, 100, 3}, {5, 0, 1}};
  for (const auto& c : kCounts) {
    SCOPED_TRACE(c.total);
    EXPECT_EQ(PageCount(c.total, c.page), c.want);
  }

  // totalWidth equal to the page width is one page across; one printer pixel more is two.
  const SScale one{1.0, 1.0};
  const auto exact = ComputePageLayout(QSize(1000, 1000), QSize(1000, 500), one, 0, 1.0);
  ASSERT_TRUE(exact);
  EXPECT_EQ(exact->totalWidth, 1000);
  EXPECT_EQ(exact->pagesAcross, 1);
  const auto more = ComputePageLayout(QSize(1000, 1000), QSize(1001, 500), one, 0, 1.0);
  ASSERT_TRUE(more);
  EXPECT_EQ(more->pagesAcross, 2);

  // Rows count the map each page holds below its own header band.
  const auto rows = ComputePageLayout(QSize(1000, 1000), QSize(100, 1944), one, kOptAll, 1.0);
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->mapTop, 28);
  EXPECT_EQ(rows->pagesDown, 2);  // 2 x 972 = 1944
  EXPECT_EQ(rows->totalHeight, 1944 + 2 * 28);
  const auto rows3 = ComputePageLayout(QSize(1000, 1000), QSize(100, 1945), one, kOptAll, 1.0);
  ASSERT_TRUE(rows3);
  EXPECT_EQ(rows3->pagesDown, 3);

  EXPECT_FALSE(ComputePageLayout(QSize(1000, 20), QSize(10, 10), one, kOptAll, 1.0));
  EXPECT_FALSE(ComputePageLayout(QSize(10, 10), QSize(1000000, 1000000), {10.0, 10.0}, 0, 1.0));  // absurd grid
}

TEST(PrintLayout, PagePositionsAndSourceRectangles) {
  const struct {
    int page, across;
    SPagePosition want;
  } kPositions[] = {{1, 3, {1, 1}}, {3, 3, {1, 3}}, {4, 3, {2, 1}}, {6, 3, {2, 3}}, {7, 3, {3, 1}}, {5, 1, {5, 1}}};
  for (const auto& c : kPositions) {
    SCOPED_TRACE(c.page);
    EXPECT_EQ(PagePosition(c.page, c.across), c.want);
  }

  // A 2 x 2 print of a 1000 x 700 area at 1.5: pages meet without overlap and stop at the area.
  const QRect area(100, 50, 1000, 700);
  const SScale s{1.5, 1.5};
  const QSize map(900, 600);
  const QRect p1 = PageSourceRect(area, s, map, {1, 1});
  const QRect p2 = PageSourceRect(area, s, map, {1, 2});
  const QRect p3 = PageSourceRect(area, s, map, {2, 1});
  const QRect p4 = PageSourceRect(area, s, map, {2, 2});
  EXPECT_EQ(p1, QRect(100, 50, 600, 400));
  EXPECT_EQ(p2, QRect(700, 50, 400, 400));  // the rest of the width only
  EXPECT_EQ(p3, QRect(100, 450, 600, 300));
  EXPECT_EQ(p4, QRect(700, 450, 400, 300));
  EXPECT_EQ(p1.united(p2).united(p3).united(p4), area);

  // Uneven factors: every column starts where the one before ended, none past the right edge.
  const SScale odd{2.36175, 2.36175};
  const QRect sheet(0, 0, 4587, 3746);
  const int across = PageCount(static_cast<std::int64_t>(4587 * 2.36175), 4724);
  int expectLeft = 0;
  for (int c = 1; c <= across; ++c) {
    const QRect r = PageSourceRect(sheet, odd, QSize(4724, 6608), {1, c});
    EXPECT_EQ(r.left(), expectLeft);
    EXPECT_LE(r.left() + r.width(), 4587);
    EXPECT_FALSE(r.isEmpty());
    expectLeft = r.left() + r.width();
  }
  EXPECT_GE(expectLeft, 4586);
}

TEST(PrintLayout, PageRangeCheck) {
  const struct {
    const char* from;
    const char* to;
    bool ok;
  } kRanges[] = {{"1", "6", true}, {"2", "2", true}, {"2", "1", false}, {"0", "3", false}, {"1", "7", false},
                 {"", "3", false}, {"1", "", false}, {"1a", "3", false}, {"-1", "3", false}, {"01", "06", true}};
  for (const auto& c : kRanges) {
    SCOPED_TRACE(std::string(c.from) + ".." + c.to);
    EXPECT_EQ(CheckPageRange(c.from, c.to, 1, 6).has_value(), c.ok);
  }
}

TEST(PrintLayout, PrinterStatusTexts) {
  const struct {
    std::uint32_t status;
    const char* want;
  } kStatus[] = {{0x8, "用紙詰り"},       {0x10, "用紙切れ"},   {0x80, "オフライン状態"}, {0x200, "ビジー状態"},
                 {0x400, "印刷処理中"},   {0x4000, "印刷処理中"}, {0x2, "印刷不可能"},    {0x1000000, "印刷不可能"},
                 {0x18, "準備完了"},      {0, "準備完了"},       {0x20000, "準備完了"}};
  for (const auto& c : kStatus) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(PrinterStatusText(c.status), c.want);
  }
  EXPECT_EQ(PrinterStatusFromCups(3, {}), 0u);
  EXPECT_EQ(PrinterStatusFromCups(4, {"none"}), 0x400u);
  EXPECT_EQ(PrinterStatusFromCups(3, {"media-empty-error"}), 0x10u);
  EXPECT_EQ(PrinterStatusFromCups(5, {"media-jam-error"}), 0x8u);
  EXPECT_EQ(PrinterStatusFromCups(5, {"paused"}), 0x2u);
  EXPECT_EQ(PrinterStatusFromCups(3, {"offline-report"}), 0x80u);
}

TEST(PrintLayout, PaperViewThumbnails) {
  SPageLayout layout{4724, 6783, 175, 10833, 9195, 3, 2};
  const auto g = PaperViewGeometry(QSize(200, 150), layout, kDpi600);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->page.height(), (150 - 6 - 10) / 2);  // the height limits a 3 x 2 grid in this box
  EXPECT_EQ(g->page.width(), int(4724.0 / 6783 * g->page.height()));
  EXPECT_EQ(g->margin, 2);
  EXPECT_GT(g->usedLastColumn, 0);
  EXPECT_LT(g->usedLastColumn, g->page.width() - 2 * g->margin);
  EXPECT_EQ(g->origin.x(), (200 - (g->page.width() + 3) * 3 + 3) / 2);
  EXPECT_FALSE(PaperViewGeometry(QSize(0, 10), layout, kDpi600));
}

TEST(PrintSettings, ReadAndWrittenUnderPrintSettings) {
  platform::CMemoryProfile profile;
  platform::setProfile(&profile);
  SPrintSettings def = LoadPrintSettings();
  EXPECT_EQ(def.magnification, 100);
  EXPECT_EQ(def.mode, EMagnificationMode::CurrentView);
  EXPECT_EQ(def.options, 7u);
  SavePrintSettings({-25000, EMagnificationMode::Specified, 127});
  EXPECT_EQ(profile.readInt("PrintSettings", "Magni", 0), -25000);
  EXPECT_EQ(profile.readInt("PrintSettings", "MagniSetting", 9), 0);
  EXPECT_EQ(profile.readInt("PrintSettings", "OptionSettings", 0), 127);
  profile.writeInt("PrintSettings", "MagniSetting", 7);
  profile.writeInt("PrintSettings", "OptionSettings", 1024);  // beyond the grid lines' bits
  profile.writeInt("PrintSettings", "Magni", 0);
  const SPrintSettings bad = LoadPrintSettings();
  EXPECT_EQ(bad.mode, EMagnificationMode::CurrentView);
  EXPECT_EQ(bad.options, 7u);
  EXPECT_EQ(bad.magnification, 100);
  // The UTM grid, graticule and magnetic-north bits are remembered with the others.
  profile.writeInt("PrintSettings", "OptionSettings", 300);
  EXPECT_EQ(LoadPrintSettings().options, 300u);
  platform::setProfile(nullptr);
}

}  // namespace
