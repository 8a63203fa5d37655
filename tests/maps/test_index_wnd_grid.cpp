#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <filesystem>
#include <string>

#include "app/CVantoriaDoc.h"
#include "common/TestUtil.h"
#include "maps/SheetCatalogue.h"
#include "maps/ui/IndexGrid.h"
#include "maps/ui/IndexPanel.h"
#include "platform/Codepage.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

namespace fs = std::filesystem;

std::string sjis(const char* utf8) { return platform::cp932::fromUtf8(utf8).text; }

/// Area "5438" with sheets in the given slots (named "S<slot>"), area "5439" without any.
SheetCatalogue catalogueWith(std::initializer_list<int> sheets) {
  std::string kanri = "code,name,reading\r\n";
  for (const int s : sheets) {
    const std::string mesh = "5438" + std::to_string(s / 8) + std::to_string(s % 8);
    kanri += mesh + ",S" + std::to_string(s) + ",x\r\n";
  }
  SheetCatalogue c;
  c.Build("/nowhere", sjis("5438,東の地域\r\n5439,空の地域\r\n"), kanri);
  return c;
}

void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons();
  QMouseEvent ev(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

void click(IndexGrid& grid, QPoint canvas) {
  const QPoint at = canvas - QPoint(grid.horizontalScrollBar()->value(), grid.verticalScrollBar()->value());
  mouse(grid.viewport(), QEvent::MouseMove, at);
  mouse(grid.viewport(), QEvent::MouseButtonPress, at, Qt::LeftButton);
  mouse(grid.viewport(), QEvent::MouseButtonRelease, at, Qt::LeftButton);
}

QPoint inside(int series, int slot) { return IndexGrid::CellRect(series, slot).topLeft() + QPoint(5, 5); }

QRgb rgbOf(int r, int g, int b) { return qRgb(r, g, b); }

class IndexGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_grid.resize(600, 300);
    m_grid.show();
  }
  QRgb at(const QPoint& p) const { return m_grid.picture().pixel(p); }
  IndexGrid m_grid;
};

TEST_F(IndexGridTest, CellColoursFollowTheirState) {
  const SheetCatalogue cat = catalogueWith({0, 9, 30});
  m_grid.Fill(&cat, 1);
  const QRgb grey = rgbOf(226, 226, 226), blue = rgbOf(137, 172, 210), light = rgbOf(191, 228, 255),
             shadow = rgbOf(68, 94, 113), sunken = rgbOf(210, 233, 247);
  const QRect c9 = IndexGrid::CellRect(1, 9);
  const QRect c30 = IndexGrid::CellRect(1, 30);

  const struct {
    const char* name;
    QPoint pixel;
    QRgb want;
  } kPlain[] = {
      {"sheet cell", inside(1, 0), blue},
      {"empty cell", inside(1, 1), grey},
      {"gap between cells", QPoint(67, 230), grey},
      {"canvas bottom edge", QPoint(100, 255), rgbOf(255, 255, 255)},
      {"canvas right edge", QPoint(543, 10), rgbOf(255, 255, 255)},
  };
  for (const auto& c : kPlain) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(at(c.pixel), c.want);
  }

  // Hover raises slot 9; a press on slot 30 sinks it.
  mouse(m_grid.viewport(), QEvent::MouseMove, inside(1, 9));
  EXPECT_EQ(m_grid.hoverCell(), 9);
  EXPECT_EQ(at(c9.topLeft() + QPoint(3, 0)), light);
  EXPECT_EQ(at(c9.topLeft() + QPoint(0, 3)), light);
  EXPECT_EQ(at(c9.bottomRight() - QPoint(3, 0)), shadow);
  EXPECT_EQ(at(c9.bottomRight() - QPoint(0, 3)), shadow);
  EXPECT_EQ(at(c9.topLeft() + QPoint(3, 3)), blue);

  click(m_grid, inside(1, 30));
  EXPECT_EQ(at(c30.topLeft() + QPoint(3, 0)), shadow);
  EXPECT_EQ(at(c30.bottomRight() - QPoint(3, 0)), light);
  EXPECT_EQ(at(c30.topLeft() + QPoint(3, 3)), sunken);
  EXPECT_EQ(at(c9.topLeft() + QPoint(3, 0)), blue) << "hover left slot 9";

  // Leaving the window drops the hover.
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(m_grid.viewport(), &leave);
  EXPECT_EQ(m_grid.hoverCell(), -1);
}

TEST_F(IndexGridTest, OverlappingCellsPickTheLowerSlotWithASheet) {
  // In the 1:50,000 layout slots 0, 1, 8 and 9 share the square from (34, 113) to (66, 127).
  const struct {
    const char* name;
    std::initializer_list<int> sheets;
    QPoint canvas;
    int want;
  } kCases[] = {
      {"all four", {0, 1, 8, 9}, {40, 120}, 0},
      {"slot 0 empty", {1, 8, 9}, {40, 120}, 1},
      {"only the upper row", {8, 9}, {40, 120}, 8},
      {"only slot 9", {9}, {40, 120}, 9},
      {"outside slot 0 vertically", {0, 1, 8, 9}, {40, 100}, 8},
      {"nothing there", {}, {40, 120}, -1},
      {"beyond the last column", {7}, {270, 120}, 7},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const SheetCatalogue cat = catalogueWith(c.sheets);
    m_grid.Fill(&cat, 2);
    EXPECT_EQ(m_grid.SlotAt(c.canvas), c.want);
    m_grid.Clear();
  }
  EXPECT_EQ(IndexGrid::CanvasSize(2), QSize(307, 145));
  EXPECT_EQ(IndexGrid::CanvasSize(1), QSize(544, 256));
}

TEST_F(IndexGridTest, ClicksAskForASheetOnce) {
  const SheetCatalogue cat = catalogueWith({3, 4, 60});
  m_grid.Fill(&cat, 1);
  QSignalSpy chosen(&m_grid, &IndexGrid::sheetChosen);

  click(m_grid, inside(1, 3));
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen.at(0).at(0).toInt(), 0);
  EXPECT_EQ(chosen.at(0).at(1).toInt(), 3);
  EXPECT_EQ(m_grid.selectedCell(), 3);

  click(m_grid, inside(1, 3));
  EXPECT_EQ(chosen.count(), 1) << "the sheet already loaded from here";
  click(m_grid, inside(1, 5));
  EXPECT_EQ(chosen.count(), 1) << "an empty cell";
  click(m_grid, inside(1, 60));
  ASSERT_EQ(chosen.count(), 2);
  EXPECT_EQ(chosen.at(1).at(1).toInt(), 60);

  // A press that began off any cell asks for nothing when released over one.
  mouse(m_grid.viewport(), QEvent::MouseMove, inside(1, 5));
  m_grid.ShowArea(0);
  mouse(m_grid.viewport(), QEvent::MouseButtonPress, inside(1, 5), Qt::LeftButton);
  mouse(m_grid.viewport(), QEvent::MouseMove, inside(1, 4));
  mouse(m_grid.viewport(), QEvent::MouseButtonRelease, inside(1, 4), Qt::LeftButton);
  EXPECT_EQ(chosen.count(), 2);

  // Another area forgets the selection; after SelectSheet the marked cell does not reload.
  m_grid.ShowArea(1);
  EXPECT_EQ(m_grid.selectedCell(), -1);
  click(m_grid, inside(1, 3));
  EXPECT_EQ(chosen.count(), 2) << "area 1 has no sheets";
  EXPECT_EQ(m_grid.picture().pixel(inside(1, 3)), qRgb(226, 226, 226));
  m_grid.SelectSheet(0, 4);
  EXPECT_EQ(m_grid.area(), 0);
  EXPECT_EQ(m_grid.selectedCell(), 4);
  click(m_grid, inside(1, 4));
  EXPECT_EQ(chosen.count(), 2);
}

TEST_F(IndexGridTest, ScrollsWhenSmallerThanTheCanvas) {
  const SheetCatalogue cat = catalogueWith({63});
  m_grid.Fill(&cat, 1);
  m_grid.resize(200, 100);
  QApplication::processEvents();
  const QSize client = m_grid.viewport()->size();
  EXPECT_EQ(m_grid.horizontalScrollBar()->maximum(), 544 - client.width());
  EXPECT_EQ(m_grid.verticalScrollBar()->maximum(), 256 - client.height());
  EXPECT_EQ(m_grid.horizontalScrollBar()->pageStep(), client.width());
  // The area's only sheet lies at the far corner: the grid scrolls it into view.
  const QPoint scroll(m_grid.horizontalScrollBar()->value(), m_grid.verticalScrollBar()->value());
  EXPECT_TRUE(QRect(scroll, client).contains(IndexGrid::CellRect(1, 63))) << scroll.x() << "," << scroll.y();
  m_grid.horizontalScrollBar()->setValue(400);
  m_grid.verticalScrollBar()->setValue(0);
  QSignalSpy chosen(&m_grid, &IndexGrid::sheetChosen);
  click(m_grid, inside(1, 63));  // slot 63 is top right: (476, 0)
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen.at(0).at(1).toInt(), 63);
}

TEST(IndexGridLabel, LongNamesTakeTwoLines) {
  const QFontMetrics fm(IndexGrid(nullptr).labelFont());
  for (const char* utf8 : {"柚ノ木", "S1", "南アルプス市白根町", "西上州荒船山及び周辺", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"}) {
    const QString name = QString::fromUtf8(utf8);
    SCOPED_TRACE(utf8);
    const QStringList lines = IndexGrid::SplitLabel(name, fm);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.join(QString()), name);
    if (fm.horizontalAdvance(name) < IndexGrid::kCellWidth) {
      EXPECT_EQ(lines.size(), 1);
      continue;
    }
    ASSERT_EQ(lines.size(), 2);
    EXPECT_LE(fm.horizontalAdvance(lines[0]), IndexGrid::kCellWidth);
    EXPECT_GT(fm.horizontalAdvance(lines[0] + lines[1].left(1)), IndexGrid::kCellWidth) << "the first line is full";
  }
}

// ---- the panel on the sample data, through the document

class IndexPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    if (!fs::exists(testutil::sampleDir() / "map25000" / "index.csv")) GTEST_SKIP() << "sample data not built";
  }
  void TearDown() override {
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }
  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
};

TEST_F(IndexPanelTest, ClickingACellLoadsTheSheet) {
  CVantoriaDoc doc;
  IndexPanel panel(doc);
  panel.resize(600, 320);
  panel.show();
  ASSERT_TRUE(doc.OpenIndexFile(testutil::sampleDir() / "map25000" / "index.csv"));
  ASSERT_EQ(panel.areaList()->count(), 2);
  EXPECT_EQ(panel.areaList()->itemText(0), QStringLiteral("朝霧"));
  EXPECT_EQ(panel.areaList()->currentIndex(), 0);
  EXPECT_EQ(panel.grid()->series(), 1);

  click(*panel.grid(), inside(1, 30));  // mesh 543836
  EXPECT_TRUE(doc.HasSheet());
  EXPECT_EQ(doc.Title(), QStringLiteral("  [ 朝霧 ]   柚ノ木 ( ゆのき )"));
  EXPECT_EQ(doc.Image().width(), 4587);

  // Choosing the other area shows it with nothing selected.
  panel.areaList()->setCurrentIndex(1);
  emit panel.areaList()->activated(1);
  EXPECT_EQ(panel.grid()->area(), 1);
  EXPECT_EQ(panel.grid()->selectedCell(), -1);

  // A search result marks its area and cell.
  doc.SelectAndLoadSheet(0, 31);
  EXPECT_EQ(panel.areaList()->currentIndex(), 0);
  EXPECT_EQ(panel.grid()->selectedCell(), 31);
  EXPECT_EQ(doc.CurrentArea(), 0);

  // Another map index: the 1:50,000 layout.
  ASSERT_TRUE(doc.OpenIndexFile(testutil::sampleDir() / "map50000" / "index.csv"));
  EXPECT_EQ(panel.grid()->series(), 2);
  EXPECT_EQ(panel.grid()->picture().size(), QSize(307, 145));
  EXPECT_EQ(panel.grid()->selectedCell(), -1);
  click(*panel.grid(), inside(2, 20));  // mesh 543824
  EXPECT_TRUE(doc.Title().startsWith(QStringLiteral("  [ ")));
  EXPECT_EQ(doc.CurrentArea(), 0);

  // A folder that is no map index empties the window.
  EXPECT_FALSE(doc.OpenIndexFile(fs::path("/nonexistent/index.csv")));
  EXPECT_EQ(panel.areaList()->count(), 0);
  EXPECT_EQ(panel.grid()->series(), -1);
}

}  // namespace
