#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <climits>
#include <limits>
#include <optional>

#include "display/Magnification.h"
#include "display/SelectionFrame.h"

namespace {

TEST(Magnification, CodeToRatio) {
  const struct {
    const char* name;
    MagnificationCode code;
    int series;
    int dpi;
    double want;
  } kCases[] = {
      {"percent", 37, 1, 96, 0.37},
      {"percent ignores series and dpi", 250, 2, 120, 2.5},
      {"zero is one to one", 0, 1, 96, 1.0},
      {"1:25000 on a 1:25000 sheet", -25000, 1, 96, 9447.0 / 25000},
      {"1:25000 on a 1:50000 sheet", -25000, 2, 96, 18895.0 / 25000},
      {"scale without a sheet", -25000, -1, 96, 3779.0 / 25000},
      {"1:2500 at 120 dpi", -2500, 1, 120, 11810.0 / 2500},
      {"1:100000 on a 1:50000 sheet", -100000, 2, 96, 18895.0 / 100000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_DOUBLE_EQ(MagnificationToRatio(c.code, c.series, c.dpi), c.want);
  }
}

TEST(Magnification, MapScalesUseTheScreensRealDensityWhereItIsKnown) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* name;
    double physical, logical;
    double wantDpi;
    double want25000;  // ratio of 1:25,000 on a 1:25,000 sheet
  } kCases[] = {
      {"24 inch full HD", 91.79, 96, 91.79, 9032.0 / 25000},
      {"laptop at 100 %", 157.35, 96, 157.35, 15485.0 / 25000},
      {"2x screen (device-independent pixels)", 81.6, 96, 81.6, 8030.0 / 25000},
      {"system says 96 because it knows nothing better", 96, 96, 96, 9447.0 / 25000},
      {"no size reported (zero)", 0, 96, 96, 9447.0 / 25000},
      {"no size reported (infinite)", inf, 96, 96, 9447.0 / 25000},
      {"no size reported (not a number)", nan, 120, 120, 11810.0 / 25000},
      {"made-up size: a wall", 12, 96, 96, 9447.0 / 25000},
      {"made-up size: a stamp", 900, 96, 96, 9447.0 / 25000},
      {"no logical density either", 0, 0, 96, 9447.0 / 25000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const double dpi = MapScaleDpi(c.physical, c.logical);
    EXPECT_DOUBLE_EQ(dpi, c.wantDpi);
    EXPECT_DOUBLE_EQ(MagnificationToRatio(-25000, 1, dpi), c.want25000);
  }
}

TEST(Magnification, RememberedCodesOutsideTheUsableRangeAreRefused) {
  const struct {
    MagnificationCode code;
    bool usable;
  } kCases[] = {{100, true},    {0, true},        {1600, true},   {1601, false},      {-2500, true},
                {-100, true},   {-99, false},     {-1, false},    {-10'000'000, true}, {-10'000'001, false},
                {INT_MIN, false}, {INT_MAX, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(IsUsableMagnification(c.code), c.usable);
  }
}

TEST(Magnification, ZoomSteps) {
  const struct {
    const char* name;
    double ratio;
    bool in;
    std::optional<int> want;
  } kCases[] = {
      {"37 % in", 0.37, true, 50},
      {"37 % out", 0.37, false, 25},
      {"a map scale between steps", 9447.0 / 25000, true, 50},
      {"100 % in", 1.0, true, 125},
      {"100 % out", 1.0, false, 75},
      {"a ratio just under a step counts as it", 0.2499999, true, 50},
      {"500 % in stays", 5.0, true, std::nullopt},
      {"above 500 % in stays", 7.5, true, std::nullopt},
      {"above 500 % out", 7.5, false, 500},
      {"10 % out stays", 0.1, false, std::nullopt},
      {"below 10 % out stays", 0.05, false, std::nullopt},
      {"below 10 % in", 0.05, true, 10},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NextZoomStep(c.ratio, c.in), c.want);
  }
}

TEST(Magnification, RectangleZoom) {
  const struct {
    const char* name;
    QSize client;
    QRect rect;
    int percent;
    QPoint centre;
  } kCases[] = {
      {"tiny rectangle is capped at 500", {800, 600}, {100, 200, 10, 10}, 500, {105, 205}},
      {"width limits", {800, 600}, {0, 0, 1600, 100}, 50, {800, 50}},
      {"height limits", {800, 600}, {0, 0, 100, 2400}, 25, {50, 1200}},
      {"truncates", {800, 600}, {0, 0, 3000, 10}, 26, {1500, 5}},
      {"odd size halves down", {100, 100}, {1, 1, 3, 3}, 500, {2, 2}},
      {"a click without a drag", {800, 600}, {40, 40, 0, 0}, 500, {40, 40}},
      {"a line: the other axis decides", {800, 600}, {0, 0, 0, 1200}, 50, {0, 600}},
      {"never 0, which would mean 100 %", {50, 50}, {0, 0, 9000, 9000}, 1, {4500, 4500}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const SRectangleZoom z = RectangleZoom(c.client, c.rect);
    EXPECT_EQ(z.percent, c.percent);
    EXPECT_EQ(z.centre, c.centre);
  }
}

TEST(Magnification, CentringAndVisibleCentre) {
  const struct {
    const char* name;
    int viewCentre, client, map, scroll;
  } kCentre[] = {
      {"middle", 1000, 400, 4000, 800},
      {"near the start goes to 0", 100, 400, 4000, 0},
      {"client as wide as the map", 1000, 4000, 4000, 0},
      {"client wider than the map", 1000, 5000, 4000, 0},
      {"odd client halves down", 1000, 401, 4000, 800},
  };
  for (const auto& c : kCentre) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CentredScroll(c.viewCentre, c.client, c.map), c.scroll);
  }
  const struct {
    const char* name;
    int scroll, client, map;
    double ratio;
    int want;
  } kVisible[] = {
      {"scrolled", 300, 400, 4000, 1.0, 500},
      {"scaled down", 300, 400, 4000, 0.5, 1000},
      {"client larger: middle of the map", 0, 4000, 1000, 0.5, 1000},
      {"truncates", 0, 101, 4000, 3.0, 16},
  };
  for (const auto& c : kVisible) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VisibleCentre(c.scroll, c.client, c.map, c.ratio), c.want);
  }
}

// ---- SelectionFrame

SelectionFrame frameWith(const QRect& sheet, double ratio = 1.0, QSize map = {1000, 800}) {
  SelectionFrame f;
  f.SetMap(map, ratio);
  f.SetSelection(sheet, true);
  return f;
}

TEST(SelectionFrame, BandBecomesNormalisedSelection) {
  const struct {
    const char* name;
    QPoint from, to;
    double ratio;
    bool started;
    QRect want;  // empty: no selection
  } kCases[] = {
      {"down right", {10, 20}, {110, 70}, 1.0, true, {10, 20, 100, 50}},
      {"up left", {110, 70}, {10, 20}, 1.0, true, {10, 20, 100, 50}},
      {"at half size in sheet pixels", {10, 20}, {110, 70}, 0.5, true, {20, 40, 200, 100}},
      {"clamped to the map", {900, 700}, {5000, 5000}, 1.0, true, {900, 700, 100, 100}},
      {"a click selects nothing", {50, 50}, {50, 50}, 1.0, true, {}},
      {"a flat band selects nothing", {50, 50}, {150, 50}, 1.0, true, {}},
      {"on the map's far edge starts", {1000, 800}, {900, 700}, 1.0, true, {900, 700, 100, 100}},
      {"outside the map does not start", {1001, 10}, {10, 10}, 1.0, false, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SelectionFrame f;
    f.SetMap({1000, 800}, c.ratio);
    if (c.ratio != 1.0) f.SetMap({int(1000 * c.ratio), int(800 * c.ratio)}, c.ratio);
    ASSERT_EQ(f.BeginBand(c.from), c.started);
    if (!c.started) {
      EXPECT_FALSE(f.banding());
      continue;
    }
    f.MoveBand(c.to);
    const QRect got = f.EndBand();
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(f.exists(), !c.want.isEmpty());
    EXPECT_EQ(f.handlesShown(), !c.want.isEmpty());
  }
}

TEST(SelectionFrame, HandlesSitOnCornersAndMidpointsAndFollowTheRatio) {
  SelectionFrame f = frameWith({100, 200, 300, 400});
  const QPoint centres[8] = {{100, 200}, {250, 200}, {400, 200}, {400, 400}, {400, 600}, {250, 600}, {100, 600}, {100, 400}};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f.handles()[std::size_t(i)], QRect(centres[i] - QPoint(4, 4), QSize(8, 8)));
  }
  // A new magnification: the same sheet rectangle, handles at the new view positions.
  f.SetMap({2000, 1600}, 2.0);
  EXPECT_EQ(f.selection(), QRect(100, 200, 300, 400));
  EXPECT_EQ(f.handles()[4], QRect(QPoint(800, 1200) - QPoint(4, 4), QSize(8, 8)));
  EXPECT_EQ(f.ToView(f.selection()), QRect(200, 400, 600, 800));
}

TEST(SelectionFrame, HitTest) {
  const SelectionFrame f = frameWith({100, 100, 200, 100});
  const struct {
    QPoint at;
    int want;
  } kCases[] = {{{100, 100}, 0}, {{96, 96}, 0}, {{95, 95}, SelectionFrame::kNoHit}, {{200, 100}, 1}, {{300, 103}, 2},
                {{303, 150}, 3}, {{300, 200}, 4}, {{200, 200}, 5}, {{100, 200}, 6}, {{100, 150}, 7},
                {{150, 150}, SelectionFrame::kInside}, {{50, 50}, SelectionFrame::kNoHit}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.at.x() << "," << c.at.y());
    EXPECT_EQ(f.HitTest(c.at), c.want);
  }
}

TEST(SelectionFrame, DraggingHandlesAndMoving) {
  const struct {
    const char* name;
    int hit;
    QPoint from, to;
    QRect want;
  } kCases[] = {
      {"top-left", 0, {100, 100}, {90, 80}, {90, 80, 210, 120}},
      {"top", 1, {200, 100}, {999, 130}, {100, 130, 200, 70}},
      {"top-right", 2, {300, 100}, {310, 90}, {100, 90, 210, 110}},
      {"right", 3, {300, 150}, {350, 0}, {100, 100, 250, 100}},
      {"bottom-right", 4, {300, 200}, {320, 230}, {100, 100, 220, 130}},
      {"bottom", 5, {200, 200}, {0, 190}, {100, 100, 200, 90}},
      {"bottom-left", 6, {100, 200}, {50, 260}, {50, 100, 250, 160}},
      {"left", 7, {100, 150}, {120, 150}, {120, 100, 180, 100}},
      {"left past right turns over", 7, {100, 150}, {350, 150}, {300, 100, 50, 100}},
      {"top past bottom turns over", 1, {200, 100}, {200, 260}, {100, 200, 200, 60}},
      {"resize clamps to the map", 4, {300, 200}, {5000, 5000}, {100, 100, 900, 700}},
      {"resize clamps at the origin", 0, {100, 100}, {-50, -70}, {0, 0, 300, 200}},
      {"move", SelectionFrame::kInside, {150, 150}, {170, 120}, {120, 70, 200, 100}},
      {"move keeps its size at the edge", SelectionFrame::kInside, {150, 150}, {2000, 2000}, {800, 700, 200, 100}},
      {"move keeps its size at the origin", SelectionFrame::kInside, {150, 150}, {-500, 0}, {0, 0, 200, 100}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SelectionFrame f = frameWith({100, 100, 200, 100});
    ASSERT_TRUE(f.BeginDrag(c.hit, c.from));
    f.Drag(c.to);
    EXPECT_EQ(f.dragged(), c.want);
    EXPECT_EQ(f.selection(), QRect(100, 100, 200, 100)) << "the selection changes only at the end";
    f.EndDrag();
    EXPECT_EQ(f.selection(), c.want);
    EXPECT_TRUE(f.handlesShown());
  }
}

TEST(SelectionFrame, TurnedOverHandleKeepsFollowingTheMouse) {
  SelectionFrame f = frameWith({100, 100, 200, 100});
  ASSERT_TRUE(f.BeginDrag(7, {100, 150}));
  f.Drag({350, 150});  // the left edge crosses the right one: now it is the right edge
  EXPECT_EQ(f.dragHandle(), 3);
  f.Drag({400, 150});
  EXPECT_EQ(f.dragged(), QRect(300, 100, 100, 100));
}

TEST(SelectionFrame, DragInSheetPixelsAtOtherRatios) {
  SelectionFrame f;
  f.SetMap({500, 400}, 0.5);
  f.SetSelection({100, 100, 200, 100}, true);
  ASSERT_TRUE(f.BeginDrag(SelectionFrame::kInside, {75, 75}));
  f.Drag({85, 80});  // 10 and 5 view pixels are 20 and 10 sheet pixels
  f.EndDrag();
  EXPECT_EQ(f.selection(), QRect(120, 110, 200, 100));
}

TEST(SelectionFrame, InvertedOutlinesTouchEachPixelOnce) {
  QImage image(20, 20, QImage::Format_RGB32);
  image.fill(QColor(10, 20, 30));
  {
    QPainter p(&image);
    SelectionFrame::InvertFrame(p, QRect(2, 3, 10, 8), 2);
  }
  const QRgb plain = qRgb(10, 20, 30);
  const QRgb inverted = qRgb(245, 235, 225);
  const struct {
    QPoint at;
    QRgb want;
  } kCases[] = {{{2, 3}, inverted},  {{11, 3}, inverted}, {{3, 4}, inverted},   {{11, 10}, inverted},
                {{4, 5}, plain},     {{9, 8}, plain},     {{1, 3}, plain},      {{12, 3}, plain},
                {{2, 10}, inverted}, {{2, 11}, plain},    {{10, 9}, inverted},  {{6, 4}, inverted}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.at.x() << "," << c.at.y());
    EXPECT_EQ(image.pixel(c.at) & 0xFFFFFFu, c.want & 0xFFFFFFu);
  }
  // Drawing the same outline again restores the picture.
  {
    QPainter p(&image);
    SelectionFrame::InvertFrame(p, QRect(2, 3, 10, 8), 2);
  }
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(image.pixel(x, y) & 0xFFFFFFu, plain & 0xFFFFFFu) << x << "," << y;
}

TEST(SelectionFrame, PaintDrawsFrameAndHandles) {
  QImage image(100, 100, QImage::Format_RGB32);
  image.fill(Qt::white);
  const SelectionFrame f = frameWith({20, 20, 40, 40}, 1.0, {100, 100});
  {
    QPainter p(&image);
    f.Paint(p);
  }
  EXPECT_EQ(image.pixel(30, 20) & 0xFFFFFFu, 0u) << "outline inverted to black";
  EXPECT_EQ(image.pixel(30, 21) & 0xFFFFFFu, 0u) << "two pixels thick";
  EXPECT_EQ(image.pixel(30, 22) & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_EQ(image.pixel(20, 20) & 0xFFFFFFu, 0xBC4866u) << "handle colour R 188, G 72, B 102";
  EXPECT_EQ(image.pixel(40, 40) & 0xFFFFFFu, 0xFFFFFFu) << "inside untouched";
  EXPECT_TRUE(f.Bounds().contains(QRect(16, 16, 48, 48)));
}

}  // namespace
