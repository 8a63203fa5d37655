#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSlot543836 = 30;  // row digit 3, column digit 6 of area 5438

void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent ev(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

void drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
  sendMouse(w, QEvent::MouseButtonPress, from, button, button);
  sendMouse(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button);
  sendMouse(w, QEvent::MouseMove, to, Qt::NoButton, button);
  sendMouse(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    m_settings.setSaveOnDestroy(false);
    const fs::path index = testutil::sampleDir() / "map25000" / "index.csv";
    if (!fs::exists(index)) GTEST_SKIP() << "sample data not built";
  }
  void TearDown() override {
    m_view.reset();
    m_doc.reset();
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }

  /// A shown 800 x 600 view on sheet 543836 (1:25,000) or 543824 (1:50,000, slot 20).
  CVantoriaView& open(const char* series = "map25000", int slot = kSlot543836) {
    m_doc = std::make_unique<CVantoriaDoc>();
    m_view = std::make_unique<CVantoriaView>(*m_doc);
    m_view->setSettings(&m_settings);
    m_view->resize(800, 600);
    m_view->show();
    EXPECT_TRUE(m_doc->OpenIndexFile(testutil::sampleDir() / series / "index.csv"));
    m_doc->LoadSheet(0, slot);
    return *m_view;
  }
  QWidget* port() const { return m_view->viewport(); }

  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
  AppSettings m_settings;
  std::unique_ptr<CVantoriaDoc> m_doc;
  std::unique_ptr<CVantoriaView> m_view;
};

TEST_F(ViewTest, StatusBarShowsThePositionUnderTheMouse) {
  // The frame corner pixels of sheet 543836 are (48, 24) and (4539, 3722); its frame runs from
  // 36°20' N 138°45' E to 36°15' N 138°52'30" E, widened by 0.01".
  const struct {
    const char* name;
    MagnificationCode code;
    QPoint client;
    const char* latitude;
    const char* longitude;
  } kCases[] = {
      {"north-west corner at 100 %", 100, {48, 24}, "北緯 36度20分0.01秒", "東経 138度44分59.99秒"},
      {"north-west corner at 50 %", 50, {24, 12}, "北緯 36度20分0.01秒", "東経 138度44分59.99秒"},
      {"north-west corner at 200 %", 200, {96, 48}, "北緯 36度20分0.01秒", "東経 138度44分59.99秒"},
  };
  CVantoriaView& view = open();
  m_settings.dispDatum = 1;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    view.SetMagnification(c.code, QPoint(0, 0));
    ASSERT_EQ(view.scrollPosition(), QPoint(0, 0));
    QSignalSpy spy(&view, &CVantoriaView::paneTextChanged);
    sendMouse(port(), QEvent::MouseMove, c.client, Qt::NoButton, Qt::NoButton);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(0).at(1).toString(), QStringLiteral("測地系 Tokyo"));
    EXPECT_EQ(spy.at(1).at(1).toString(), QString::fromUtf8(c.latitude));
    EXPECT_EQ(spy.at(2).at(1).toString(), QString::fromUtf8(c.longitude));
  }

  // In WGS-84 the same pixel reads differently; an unknown datum leaves the panes alone.
  view.SetMagnification(100, QPoint(0, 0));
  m_settings.dispDatum = 0;
  const QStringList wgs = view.PositionTexts({48, 24});
  ASSERT_EQ(wgs.size(), 3);
  EXPECT_EQ(wgs[0], QStringLiteral("測地系 WGS-84/JGD2000"));
  EXPECT_NE(wgs[1], QStringLiteral("北緯 36度20分0.01秒"));
  // A change of datum reads the last point out again, without the mouse moving.
  m_settings.dispDatum = 1;
  sendMouse(port(), QEvent::MouseMove, {48, 24}, Qt::NoButton, Qt::NoButton);
  m_settings.dispDatum = 0;
  QSignalSpy again(&view, &CVantoriaView::paneTextChanged);
  view.RefreshPositionPanes();
  ASSERT_EQ(again.count(), 3);
  EXPECT_EQ(again.at(0).at(1).toString(), wgs[0]);
  EXPECT_EQ(again.at(1).at(1).toString(), wgs[1]);
  m_settings.dispDatum = 2;
  QSignalSpy spy(&view, &CVantoriaView::paneTextChanged);
  sendMouse(port(), QEvent::MouseMove, {48, 24}, Qt::NoButton, Qt::NoButton);
  view.RefreshPositionPanes();
  EXPECT_EQ(spy.count(), 0);
}

TEST_F(ViewTest, ZoomSteps) {
  const struct {
    const char* name;
    MagnificationCode start;
    bool in;
    MagnificationCode want;
    bool shown;  // the zoom bar is told
  } kCases[] = {
      {"37 % in", 37, true, 50, true},     {"37 % out", 37, false, 25, true},
      {"500 % in stays", 500, true, 500, false}, {"10 % out stays", 10, false, 10, false},
      {"a map scale goes to a step", -25000, true, 50, true},
  };
  CVantoriaView& view = open();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    view.SetMagnification(c.start);
    QSignalSpy shown(&view, &CVantoriaView::magnificationShown);
    view.ZoomStep(c.in);
    EXPECT_EQ(view.magnification(), c.want);
    ASSERT_EQ(shown.count(), c.shown ? 1 : 0);
    if (c.shown) {
      EXPECT_EQ(shown.at(0).at(0).toInt(), c.want);
    }
  }
}

TEST_F(ViewTest, ZoomingKeepsTheCentreAndSizesTheScrollRange) {
  CVantoriaView& view = open();
  const QSize client = port()->size();
  view.ZoomToRectangle(QRect(2000, 1500, 10, 10));
  EXPECT_EQ(view.magnification(), 500);
  EXPECT_DOUBLE_EQ(view.ratio(), 5.0);
  EXPECT_EQ(view.mapSize(), QSize(4587 * 5, 3746 * 5));
  EXPECT_EQ(view.scrollPosition(), QPoint(2005 * 5 - client.width() / 2, 1505 * 5 - client.height() / 2));
  EXPECT_EQ(view.horizontalScrollBar()->maximum(), 4587 * 5 - client.width());

  // Zooming out around the visible centre keeps it there.
  view.SetMagnification(50);
  EXPECT_EQ(view.mapSize(), QSize(2293, 1873));
  EXPECT_EQ(view.scrollPosition(), QPoint(1002 - client.width() / 2, 752 - client.height() / 2));

  // At 10 % the map is smaller than the window: nothing to scroll.
  view.SetMagnification(10);
  EXPECT_EQ(view.scrollPosition(), QPoint(0, 0));
  EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
}

TEST_F(ViewTest, ZoomTools) {
  CVantoriaView& view = open();
  view.SetMagnification(100, QPoint(0, 0));

  // Right click with the zoom-in tool: next step, centred on the clicked sheet pixel.
  ASSERT_TRUE(view.onCommand(cmd::ZoomIn));
  sendMouse(port(), QEvent::MouseButtonPress, {400, 300}, Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(view.magnification(), 125);
  EXPECT_EQ(view.scrollPosition(), QPoint(500 - port()->width() / 2, 375 - port()->height() / 2));
  ASSERT_TRUE(view.onCommand(cmd::ZoomOut));
  EXPECT_EQ(view.tool(), CVantoriaView::ETool::ZoomOut) << "one tool at a time";
  sendMouse(port(), QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(view.magnification(), 100);

  // Dragging a 10 x 10 rectangle with the zoom-to-rectangle tool gives 500 % and leaves the tool.
  view.SetMagnification(100, QPoint(0, 0));
  ASSERT_TRUE(view.onCommand(cmd::ZoomRect));
  drag(port(), {100, 100}, {110, 110});
  EXPECT_EQ(view.magnification(), 500);
  EXPECT_EQ(view.tool(), CVantoriaView::ETool::None);

  // A band started off the map leaves the tool without zooming.
  view.SetMagnification(10);
  ASSERT_TRUE(view.onCommand(cmd::ZoomRect));
  drag(port(), {700, 500}, {720, 520});
  EXPECT_EQ(view.magnification(), 10);
  EXPECT_EQ(view.tool(), CVantoriaView::ETool::None);
}

TEST_F(ViewTest, RangeSelectionSurvivesMagnificationChanges) {
  CVantoriaView& view = open();
  view.SetMagnification(100, QPoint(0, 0));
  SCommandState st;
  ASSERT_TRUE(view.onUpdateCommand(cmd::ClearSelection, st));
  EXPECT_FALSE(st.enabled);

  ASSERT_TRUE(view.onCommand(cmd::RangeSelect));
  drag(port(), {300, 200}, {100, 100});
  EXPECT_EQ(view.rangeSelection().selection(), QRect(100, 100, 200, 100));
  EXPECT_TRUE(view.rangeSelection().handlesShown());

  view.SetMagnification(50, QPoint(0, 0));
  EXPECT_EQ(view.rangeSelection().selection(), QRect(100, 100, 200, 100));
  EXPECT_EQ(view.rangeSelection().handles()[4].center(), QPoint(150, 100) - QPoint(1, 1));
  view.SetMagnification(-25000, QPoint(0, 0));
  EXPECT_EQ(view.rangeSelection().selection(), QRect(100, 100, 200, 100));

  // Moving it by its inside at 50 %: 10 view pixels are 20 sheet pixels.
  view.SetMagnification(50, QPoint(0, 0));
  drag(port(), {100, 75}, {110, 75});
  EXPECT_EQ(view.rangeSelection().selection(), QRect(120, 100, 200, 100));

  ASSERT_TRUE(view.onUpdateCommand(cmd::ClearSelection, st));
  EXPECT_TRUE(st.enabled);
  ASSERT_TRUE(view.onCommand(cmd::ClearSelection));
  EXPECT_FALSE(view.rangeSelection().exists());
}

TEST_F(ViewTest, PanningByDragging) {
  const struct {
    const char* name;
    MagnificationCode code;
    QPoint start;
    QPoint drag;
    QPoint want;
  } kCases[] = {
      {"follows the mouse", 100, {1000, 1000}, {-50, -30}, {1050, 1030}},
      {"both ways", 100, {1000, 1000}, {70, 40}, {930, 960}},
      {"stops at the start", 100, {10, 10}, {70, 40}, {0, 0}},
      {"map smaller than the window stays", 10, {0, 0}, {-50, -30}, {0, 0}},
  };
  CVantoriaView& view = open();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    view.SetMagnification(c.code);
    view.horizontalScrollBar()->setValue(c.start.x());
    view.verticalScrollBar()->setValue(c.start.y());
    QSignalSpy panes(&view, &CVantoriaView::paneTextChanged);
    drag(port(), {400, 300}, QPoint(400, 300) + c.drag);
    EXPECT_EQ(view.scrollPosition(), c.want);
    EXPECT_EQ(panes.count(), 0) << "no read-out while panning";
  }
}

TEST_F(ViewTest, PaintShowsTheScaledSheetAndInvertedOutlines) {
  CVantoriaView& view = open();
  const struct {
    const char* name;
    MagnificationCode code;
  } kCases[] = {{"copy at 50 %", 50}, {"copy at 100 %", 100}, {"stretch at 200 %", 200}, {"stretch at 300 %", 300}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    view.SetMagnification(c.code, QPoint(1000, 800));
    const QImage shot = port()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage& copy = view.canvas().bitmap().Surface();
    const QPoint scroll = view.scrollPosition();
    for (const QPoint client : {QPoint(0, 0), QPoint(17, 5), QPoint(333, 222), QPoint(port()->width() - 1, 100)}) {
      const QPoint v = client + scroll;
      // Up to 100 % the copy is at display size; above, each sheet pixel covers ratio x ratio.
      const QPoint src = c.code <= 100 ? v : QPoint(ViewToSheet(v.x(), view.ratio()), ViewToSheet(v.y(), view.ratio()));
      EXPECT_EQ(shot.pixel(client), copy.pixel(src)) << client.x() << "," << client.y();
    }
  }

  // A selection outline inverts the map under it.
  view.SetMagnification(100, QPoint(0, 0));
  ASSERT_TRUE(view.onCommand(cmd::RangeSelect));
  drag(port(), {100, 100}, {300, 200});
  const QImage shot = port()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage& copy = view.canvas().bitmap().Surface();
  EXPECT_EQ(shot.pixel(150, 100) & 0xFFFFFFu, ~copy.pixel(150, 100) & 0xFFFFFFu);
  EXPECT_EQ(shot.pixel(150, 101) & 0xFFFFFFu, ~copy.pixel(150, 101) & 0xFFFFFFu);
  EXPECT_EQ(shot.pixel(150, 150), copy.pixel(150, 150));
}

TEST_F(ViewTest, CommandRulesAndTools) {
  m_doc = std::make_unique<CVantoriaDoc>();
  m_view = std::make_unique<CVantoriaView>(*m_doc);
  SCommandState st;
  for (const int id : {cmd::RangeSelect, cmd::ZoomIn, cmd::ZoomOut, cmd::ZoomRect}) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(m_view->onUpdateCommand(id, st));
    EXPECT_FALSE(st.enabled) << "needs an open sheet";
  }
  EXPECT_FALSE(m_view->onUpdateCommand(cmd::Print, st)) << "nobody prints yet";
  m_view.reset();

  CVantoriaView& view = open();
  const struct {
    int command;
    CVantoriaView::ETool want;
  } kSteps[] = {{cmd::RangeSelect, CVantoriaView::ETool::RangeSelect}, {cmd::ZoomIn, CVantoriaView::ETool::ZoomIn},
                {cmd::ZoomIn, CVantoriaView::ETool::None},            {cmd::ZoomRect, CVantoriaView::ETool::ZoomRect},
                {cmd::ZoomOut, CVantoriaView::ETool::ZoomOut},        {cmd::ZoomOut, CVantoriaView::ETool::None}};
  for (const auto& s : kSteps) {
    SCOPED_TRACE(s.command);
    ASSERT_TRUE(view.onCommand(s.command));
    EXPECT_EQ(view.tool(), s.want);
    for (const int id : {cmd::RangeSelect, cmd::ZoomIn, cmd::ZoomOut, cmd::ZoomRect}) {
      ASSERT_TRUE(view.onUpdateCommand(id, st));
      EXPECT_TRUE(st.enabled);
      EXPECT_EQ(st.checked, id == s.command && s.want != CVantoriaView::ETool::None);
    }
  }
  for (const int id : {cmd::ShowWaypoints, cmd::ShowTracks}) {
    ASSERT_TRUE(view.onUpdateCommand(id, st));
    EXPECT_TRUE(st.checked);
    ASSERT_TRUE(view.onCommand(id));
    ASSERT_TRUE(view.onUpdateCommand(id, st));
    EXPECT_FALSE(st.checked);
  }
  QSignalSpy printed(&view, &CVantoriaView::printRequested);
  ASSERT_TRUE(view.onUpdateCommand(cmd::Print, st));
  EXPECT_TRUE(st.enabled);
  EXPECT_TRUE(view.onCommand(cmd::Print));
  EXPECT_EQ(printed.count(), 1);
}

TEST_F(ViewTest, RemembersTheMagnification) {
  const struct {
    const char* name;
    int stored;
    MagnificationCode want;
  } kCases[] = {{"a percentage", 250, 250}, {"a map scale", -25000, -25000}, {"absurd", 99999999, 100}, {"zero", 0, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    m_profile.writeInt("ViewSettings", "DispMagni", c.stored);
    CVantoriaView& view = open();
    EXPECT_EQ(view.magnification(), c.want);
    view.SetMagnification(75);
    m_view.reset();
    EXPECT_EQ(m_profile.readInt("ViewSettings", "DispMagni", 0), 75);
  }
  // A view that was never shown or used does not overwrite the remembered value.
  m_profile.writeInt("ViewSettings", "DispMagni", 300);
  m_doc = std::make_unique<CVantoriaDoc>();
  m_view = std::make_unique<CVantoriaView>(*m_doc);
  m_view.reset();
  EXPECT_EQ(m_profile.readInt("ViewSettings", "DispMagni", 0), 300);
}

TEST_F(ViewTest, MapScaleFollowsTheSeriesOfTheOpenSheet) {
  m_profile.writeInt("ViewSettings", "DispMagni", -25000);
  CVantoriaView& view = open();
  const double dpi = view.mapScaleDpi();
  EXPECT_DOUBLE_EQ(view.ratio(), MagnificationToRatio(-25000, 1, dpi));
  ASSERT_TRUE(m_doc->OpenIndexFile(testutil::sampleDir() / "map50000" / "index.csv"));
  m_doc->LoadSheet(0, 20);
  EXPECT_DOUBLE_EQ(view.ratio(), MagnificationToRatio(-25000, 2, dpi));
  EXPECT_EQ(view.magnification(), -25000);
}

TEST_F(ViewTest, SheetWithoutAPictureShowsNoPositions) {
  CVantoriaView& view = open();
  ASSERT_TRUE(view.hasMap());
  ASSERT_FALSE(view.PositionTexts({10, 10}).isEmpty());
  // The same catalogue without the image files.
  QTemporaryDir dir;
  const fs::path root(dir.path().toStdString());
  for (const char* f : {"index.csv", "kanri.csv"})
    fs::copy_file(testutil::sampleDir() / "map25000" / f, root / f);
  fs::create_directories(root / "5438");
  ASSERT_TRUE(m_doc->OpenIndexFile(root / "index.csv"));
  m_doc->LoadSheet(0, kSlot543836);
  EXPECT_FALSE(m_doc->HasSheet()) << "a sheet whose image cannot be read is not shown";
  EXPECT_FALSE(view.hasMap());
  EXPECT_TRUE(view.PositionTexts({10, 10}).isEmpty()) << "no position of the previous sheet";
  SCommandState st;
  ASSERT_TRUE(view.onUpdateCommand(cmd::RangeSelect, st));
  EXPECT_FALSE(st.enabled);
}

}  // namespace
