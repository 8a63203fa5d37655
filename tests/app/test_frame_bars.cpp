#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "display/ScaleBar.h"
#include "display/ui/CPopTextWnd.h"
#include "display/ui/CZoomBar.h"

namespace {

TEST(ZoomBarTest, SixteenEntriesWithTheirCodes) {
  CZoomBar bar(QStringLiteral("ズーム"));
  QComboBox* combo = bar.combo();
  const std::pair<QString, int> kWant[] = {
      {"10%", 10},         {"25%", 25},         {"50%", 50},           {"75%", 75},
      {"100%", 100},       {"125%", 125},       {"150%", 150},         {"200%", 200},
      {"300%", 300},       {"500%", 500},       {"1:2500", -2500},     {"1:5000", -5000},
      {"1:10000", -10000}, {"1:25000", -25000}, {"1:50000", -50000},   {"1:100000", -100000}};
  ASSERT_EQ(combo->count(), 16);
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(combo->itemText(i), kWant[i].first);
    EXPECT_EQ(combo->itemData(i).toInt(), kWant[i].second);
  }
}

// The list is wide enough for its longest entry in whatever face and size the box gets.
TEST(ZoomBarTest, ListIsWideEnoughForItsLongestEntry) {
  for (const int px : {9, 13, 18, 26}) {
    SCOPED_TRACE(px);
    CZoomBar bar(QStringLiteral("ズーム"));
    QFont f = bar.combo()->font();
    f.setPixelSize(px);
    bar.combo()->setFont(f);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    const QLineEdit* edit = bar.combo()->lineEdit();
    int longest = 0;
    for (int i = 0; i < bar.combo()->count(); ++i)
      longest = std::max(longest, edit->fontMetrics().horizontalAdvance(bar.combo()->itemText(i)));
    const QMargins m = edit->textMargins();
    EXPECT_GE(edit->width() - m.left() - m.right() - 4, longest);
    bar.hide();
  }
}

TEST(ZoomBarTest, SetTextFormatsPercentagesAndScales) {
  CZoomBar bar(QStringLiteral("ズーム"));
  const struct {
    int code;
    const char* text;
  } kCases[] = {{125, "125%"}, {37, "37%"}, {-10000, "1:10000"}, {-1000000, "1:1000000"}, {500, "500%"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    bar.SetText(c.code);
    EXPECT_EQ(bar.combo()->currentText(), QString::fromLatin1(c.text));
  }
}

TEST(ZoomBarTest, TypedTextsThatAreZooms) {
  const struct {
    const char* text;
    std::optional<int> code;
  } kCases[] = {
      {"37%", 37},           {"37", 37},           {" 150 % ", 150},        {"１２５％", 125},
      {"1600%", 1600},       {"1%", 1},            {"1:25000", -25000},     {"1/12500", -12500},
      {"1:25,000", -25000},  {"1：50000", -50000}, {"1:100", -100},         {"1:10000000", -10000000},
      {"0%", std::nullopt},  {"1601%", std::nullopt}, {"25000", std::nullopt}, {"-50%", std::nullopt},
      {"12.5%", std::nullopt}, {"1:99", std::nullopt}, {"1:10000001", std::nullopt}, {"1:", std::nullopt},
      {"1:2,5000", std::nullopt}, {"2:25000", std::nullopt}, {"abc", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CZoomBar::ParseText(QString::fromUtf8(c.text)), c.code);
  }
}

TEST(ZoomBarTest, TypedZoomIsSentOnceOrTheShownZoomComesBack) {
  CZoomBar bar(QStringLiteral("ズーム"));
  bar.show();
  bar.SetText(100);
  QSignalSpy chosen(&bar, &CZoomBar::magnificationChosen);
  QLineEdit* edit = bar.combo()->lineEdit();
  const struct {
    const char* typed;
    int sent;  // 0: nothing sent
    const char* shown;
  } kCases[] = {
      {"50%", 50, "50%"},  // a listed text counts once, not twice
      {"50", 0, "50%"},    // the zoom on show already
      {"zoom", 0, "50%"},
      {"1:12,500", -12500, "1:12500"},
      {"", 0, "1:12500"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    chosen.clear();
    edit->clear();
    QTest::keyClicks(edit, QString::fromUtf8(c.typed));
    QTest::keyClick(edit, Qt::Key_Return);
    if (c.sent == 0) {
      EXPECT_EQ(chosen.count(), 0);
    } else {
      ASSERT_EQ(chosen.count(), 1);
      EXPECT_EQ(chosen[0][0].toInt(), c.sent);
    }
    EXPECT_EQ(bar.combo()->currentText(), QString::fromUtf8(c.shown));
  }
  // Choosing an entry sends its code.
  chosen.clear();
  emit bar.combo()->activated(13);
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen[0][0].toInt(), -25000);
}

ScaleBar windowBar(int width, double ratio, bool centred = true) {
  ScaleBar b;
  if (centred) {
    b.SetRatio(ratio, ratio);
    b.ConfigureForWindow(QRect(0, 0, width, 23));
  } else {
    b.ConfigureForPrint(width / 400.0, ratio, ratio);
  }
  return b;
}

TEST(ScaleBarTest, ChoosesTheFirstRowThatFits) {
  const struct {
    const char* name;
    int width;
    double ratio;
    int series;
    bool centred;
    bool visible;
    int lengthM, tenth, x0;
    const char* middle;
    const char* end;
  } kCases[] = {
      // 5000 m would need 755 pixels, 2000 m needs 302.
      {"1:25000 at 0.37788", 397, 0.37788, 1, true, true, 2000, 30, 48, "1.0km", "2.0km"},
      {"printed page, factor 1", 400, 0.37788, 1, false, true, 2000, 30, 0, "1.0km", "2.0km"},
      {"printed page, factor 6.25", 2500, 2.3618, 1, false, true, 2000, 188, 0, "1.0km", "2.0km"},
      {"wide window", 800, 0.37788, 1, true, true, 5000, 75, 25, "2.5km", "5.0km"},
      {"1:50000 at 1.0", 397, 1.0, 2, true, true, 1000, 20, 98, "500m", "1000m"},
      {"1:25000 at 5.0", 397, 5.0, 1, true, true, 100, 20, 98, "50m", "100m"},
      {"row condition is strict", 200, 1.0, 2, true, true, 500, 10, 50, "250m", "500m"},
      {"narrower than 100 m", 199, 5.0, 1, true, false, 0, 0, 0, "", ""},
      {"unknown series", 397, 1.0, 3, true, false, 0, 0, 0, "", ""},
      {"ratio unset", 397, -1.0, 1, true, false, 0, 0, 0, "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const ScaleBar b = windowBar(c.width, c.ratio, c.centred);
    const ScaleBar::SLayout l = b.Layout(c.series);
    EXPECT_EQ(l.visible, c.visible);
    if (!c.visible) continue;
    EXPECT_EQ(l.lengthM, c.lengthM);
    EXPECT_EQ(l.tenth, c.tenth);
    EXPECT_EQ(l.x0, c.x0);
    EXPECT_STREQ(l.middleLabel, c.middle);
    EXPECT_STREQ(l.endLabel, c.end);
  }
}

TEST(ScaleBarTest, DrawsSegmentsOutlineAndReturnsItsRectangle) {
  const ScaleBar b = windowBar(397, 0.37788);
  QImage img(397, 23, QImage::Format_RGB32);
  img.fill(QColor(238, 238, 238));
  QPainter p(&img);
  const QRect drawn = b.Draw(p, 1);
  p.end();
  const int x0 = 48, t = 30, y = 23 - 5;
  EXPECT_EQ(drawn.left(), x0);
  EXPECT_EQ(drawn.right() + 1, x0 + 10 * t);
  EXPECT_EQ(drawn.bottom() + 1, y + 4);
  EXPECT_LT(drawn.top(), y);
  const QRgb bar = qRgb(0, 85, 221), gap = qRgb(255, 255, 255), back = qRgb(238, 238, 238);
  const struct {
    const char* name;
    int x, y;
    QRgb colour;
  } kPixels[] = {
      {"first segment is a gap", x0 + t / 2, y + 1, gap},   {"second is the bar colour", x0 + t + t / 2, y + 1, bar},
      {"fifth is a gap", x0 + 4 * t + t / 2, y + 2, gap},   {"right half is solid", x0 + 7 * t, y + 1, bar},
      {"top outline over the left half", x0 + t / 2, y, bar}, {"left outline", x0, y + 1, bar},
      {"bottom outline", x0 + t / 2, y + 3, bar},           {"nothing right of the bar", x0 + 10 * t, y + 1, back},
      {"nothing below the bar", x0 + 7 * t, y + 4, back},
  };
  for (const auto& c : kPixels) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(img.pixel(c.x, c.y), c.colour);
  }

  ScaleBar unset;
  unset.Configure(QRect(0, 0, 397, 23), 4, -1.0, -1.0, true, 0xFFFFFF, 0xDD5500, -11, QStringLiteral("x"));
  QPainter p2(&img);
  EXPECT_TRUE(unset.Draw(p2, 1).isEmpty());
}

TEST(PopTextTest, FadeTowardsWhite) {
  const struct {
    int v, want;
  } kCases[] = {{0, 178}, {255, 254}, {100, 208}, {10, 181}, {128, 216}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.v);
    EXPECT_EQ(CPopTextWnd::FadeChannel(c.v), c.want);
  }
  QImage src(2, 1, QImage::Format_RGB32);
  src.setPixel(0, 0, qRgb(0, 100, 255));
  src.setPixel(1, 0, qRgb(30, 60, 90));
  const QImage out = CPopTextWnd::FadeToWhite(src);
  EXPECT_EQ(out.pixel(0, 0), qRgb(178, 208, 254));
  EXPECT_EQ(out.pixel(1, 0), qRgb(187, 196, 205));
}

TEST(PopTextTest, PlacementKeepsThePopUpOnScreen) {
  const QRect screen(0, 0, 1600, 1000);
  const std::vector<QSize> two = {{80, 13}, {50, 15}};  // widest 80, row height 15 + 4
  const struct {
    const char* name;
    QPoint mouse;
    QRect window;
  } kCases[] = {
      {"below right of the mouse", {100, 100}, QRect(100, 125, 88, 38)},
      {"lower right corner: above and left", {1590, 990}, QRect(1600 - 88, 990 - 38 - 12, 88, 38)},
      {"right edge only", {1550, 100}, QRect(1512, 125, 88, 38)},
      {"just fits", {1512, 962 - 25}, QRect(1512, 962, 88, 38)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto place = CPopTextWnd::Place(c.mouse, two, screen);
    EXPECT_EQ(place.window, c.window);
    ASSERT_EQ(place.lines.size(), 2u);
    EXPECT_EQ(place.lines[1], QRect(0, 19, 88, 19));
  }
  EXPECT_TRUE(CPopTextWnd::Place({0, 0}, {}, screen).window.isNull());
}

TEST(PopTextTest, ShowingWhileVisibleKeepsTheOldText) {
  QWidget owner;
  owner.resize(400, 300);
  owner.show();
  CPopTextWnd pop(&owner);
  pop.Show({10, 10}, {QStringLiteral("三角点")}, 0);
  ASSERT_TRUE(pop.isVisible());
  pop.Show({20, 20}, {QStringLiteral("別の名前"), QStringLiteral("No.2")}, 2);
  EXPECT_EQ(pop.lines(), QStringList{QStringLiteral("三角点")});
  EXPECT_EQ(pop.kind(), 0);
  pop.Hide();
  EXPECT_FALSE(pop.isVisible());
  pop.Show({20, 20}, {QStringLiteral("別の名前"), QStringLiteral("No.2")}, 2);
  EXPECT_EQ(pop.lines().size(), 2);
  const QImage shot = pop.grab().toImage();
  EXPECT_EQ(shot.pixel(0, 0), qRgb(0x16, 0x88, 0xF8)) << "track point border";
  pop.Hide();
}

}  // namespace
