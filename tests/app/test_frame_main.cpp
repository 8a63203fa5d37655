#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <utility>

#include "app/CVantoriaDoc.h"
#include "app/Resources.h"
#include "app/ui/CDlgOpenIndex.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "FrameFixture.h"
#include "test_doc_fixture.h"

namespace {

using FrameTest = apptest::FrameFixture;

TEST_F(FrameTest, CommandLineOpensTheMapIndex) {
  std::filesystem::path index = testutil::sampleDir() / "map25000" / "index.csv";
  if (!std::filesystem::exists(index)) index = apptest::writeMapTree(root());
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index.string())}, false));
  ASSERT_NE(app.Doc(), nullptr);
  EXPECT_FALSE(app.Doc()->Catalogue().empty());
  EXPECT_EQ(app.Doc()->Series(), MapSeries::Scale25000);
  ASSERT_EQ(app.Doc()->RecentList().size(), 1);
  EXPECT_EQ(CRecentIndexList::PathOf(app.Doc()->RecentList().entries()[0]), index.string());
  EXPECT_EQ(app.Frame()->windowTitle(), QStringLiteral("Vantoria"));
  // The recent entry appears in the file menu.
  QAction* recent = app.Frame()->Action(cmd::RecentFirst);
  ASSERT_NE(recent, nullptr);
  EXPECT_TRUE(recent->text().startsWith(QStringLiteral("&1 ")));

  // Loading a sheet titles the window and brings the status pane back to "レディ".
  int slot = 0;
  while (slot < 63 && app.Doc()->Catalogue().slot(0, slot)->empty()) ++slot;
  app.Doc()->LoadSheet(0, slot);
  EXPECT_TRUE(app.Frame()->windowTitle().startsWith(QStringLiteral("  [ ")));
  EXPECT_TRUE(app.Frame()->windowTitle().endsWith(QStringLiteral(" ) - Vantoria")));
  EXPECT_EQ(app.Frame()->PaneText(0), QStringLiteral("レディ"));
  EXPECT_EQ(app.Frame()->Progress(), nullptr) << "the progress bar is removed after loading";
}

TEST_F(FrameTest, RelativeCommandLinePathsAreRememberedAbsolute) {
  const std::filesystem::path index = apptest::writeMapTree(root());
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(index.parent_path().parent_path().string())));
  CVantoriaApp app;
  const bool opened = app.InitInstance(
      {QStringLiteral("vantoria"),
       QString::fromStdString((index.parent_path().filename() / index.filename()).string())},
      false);
  QDir::setCurrent(previous);
  ASSERT_TRUE(opened);
  ASSERT_EQ(app.Doc()->RecentList().size(), 1);
  EXPECT_EQ(CRecentIndexList::PathOf(app.Doc()->RecentList().entries()[0]), index.string());
}

TEST_F(FrameTest, CommandLineWithAFolderThatIsNoMapRunsWithoutAnIndex) {
  CVantoriaApp app;
  EXPECT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString((root() / "index.csv").string())}, false));
  EXPECT_TRUE(app.Doc()->Catalogue().empty());
  EXPECT_EQ(m_prompt.requests().size(), 1u) << "the user is told";
}

TEST_F(FrameTest, ProgressBarSitsLeftOfTheDatumPaneWhileLoading) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  emit doc.progressBegin(QStringLiteral("地形図を読み込んでいます..."));
  emit doc.progressStep(42);
  ASSERT_NE(frame.Progress(), nullptr);
  EXPECT_EQ(frame.Progress()->value(), 42);
  EXPECT_EQ(frame.Progress()->width(), 200);
  frame.resize(1200, 600);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  const QWidget* datumPane = frame.statusBar()->findChild<QLabel*>(QStringLiteral("pane1"));
  EXPECT_LT(frame.Progress()->geometry().right(), datumPane->geometry().left());
  EXPECT_EQ(frame.PaneText(0), QStringLiteral("地形図を読み込んでいます..."));
  emit doc.progressEnd();
  EXPECT_EQ(frame.Progress(), nullptr);
  EXPECT_EQ(frame.PaneText(0), QStringLiteral("レディ"));
  // Every pane stays visible after the bar goes, and a second load shows the bar again.
  for (const char* name : {"pane1", "pane2", "pane3"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(frame.statusBar()->findChild<QLabel*>(QString::fromLatin1(name))->isVisible());
  }
  emit doc.progressBegin(QStringLiteral("地形図を読み込んでいます..."));
  ASSERT_NE(frame.Progress(), nullptr);
  EXPECT_TRUE(frame.Progress()->isVisible());
  EXPECT_LT(frame.Progress()->geometry().right(), datumPane->geometry().left());
  emit doc.progressEnd();
  EXPECT_TRUE(datumPane->isVisible());
}

TEST_F(FrameTest, FarOffScreenPositionComesBackAtOrigin) {
  const QRect desktop(0, 0, 1600, 1000);
  const QSize size(500, 800);
  const struct {
    const char* name;
    QPoint pos;
    QPoint want;
  } kCases[] = {
      {"on screen", {100, 50}, {100, 50}},
      {"mostly off to the left but reachable", {-449, 10}, {-449, 10}},
      {"too far left", {-451, 10}, {0, 0}},
      {"right edge minus 50", {1550, 10}, {0, 0}},
      {"just inside the right margin", {1549, 10}, {1549, 10}},
      {"above the screen", {100, -1}, {0, 0}},
      {"bottom margin", {100, 950}, {0, 0}},
      {"far away", {30000, 30000}, {0, 0}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CMainFrame::ReachablePosition(c.pos, size, desktop), c.want);
  }

  // Through the profile.
  m_profile.writeString("Wnd_Pos", "showCmd", "Normal");
  m_profile.writeInt("Wnd_Pos", "left_p", -20000);
  m_profile.writeInt("Wnd_Pos", "top_p", 40);
  m_profile.writeInt("Wnd_Pos", "xw", 640);
  m_profile.writeInt("Wnd_Pos", "yw", 480);
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.RestorePlacement();
  EXPECT_EQ(frame.pos(), QPoint(0, 0));
  EXPECT_EQ(frame.size(), QSize(640, 480));
}

TEST_F(FrameTest, PlacementIsWrittenOnClose) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.resize(700, 500);
  frame.move(30, 40);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  frame.close();
  EXPECT_EQ(m_profile.readString("Wnd_Pos", "showCmd", ""), "Normal");
  EXPECT_EQ(m_profile.readInt("Wnd_Pos", "xw", 0), 700);
  EXPECT_EQ(m_profile.readInt("Wnd_Pos", "yw", 0), 500);
  EXPECT_TRUE(m_profile.readBinary("BarState", "Layout").has_value());
}

TEST_F(FrameTest, DockingLayoutIsRestoredOnlyForVersion200) {
  {
    CVantoriaDoc doc;
    CMainFrame frame(doc);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.RouteCommand(cmd::BarTrek);
    frame.RouteCommand(cmd::BarTrekList);
    frame.close();
  }
  for (const int version : {100, 200}) {
    SCOPED_TRACE(version);
    m_profile.writeInt("Vantoria", "Version", version);
    CVantoriaDoc doc;
    CMainFrame frame(doc);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_EQ(frame.ToolBar(cmd::BarTrek)->isVisible(), version != 200);
    EXPECT_EQ(frame.TrekListDock()->isVisible(), version != 200);
    EXPECT_TRUE(frame.IndexDock()->isVisible());
    frame.hide();
  }
}

TEST_F(FrameTest, FirstRunDocksToolWindowsLeftAndToolBarsOnTop) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.resize(1200, 900);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  const QDockWidget* docks[] = {frame.IndexDock(), frame.TrekListDock(), frame.TrekViewDock()};
  const char* titles[] = {"地形図インデックス", "トレックデータリスト", "トレックデータビュー"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(titles[i]);
    EXPECT_EQ(docks[i]->windowTitle(), QString::fromUtf8(titles[i]));
    EXPECT_EQ(frame.dockWidgetArea(const_cast<QDockWidget*>(docks[i])), Qt::LeftDockWidgetArea);
    if (i > 0) {
      EXPECT_GT(docks[i]->y(), docks[i - 1]->y()) << "one above another";
    }
  }
  EXPECT_FALSE(frame.TrekListDock()->widget()->isEnabled());
  EXPECT_FALSE(frame.TrekViewDock()->widget()->isEnabled());
  const char* barTitles[] = {"メイン", "トレックデータ", "ズーム", "スケール"};
  const int barIds[] = {cmd::BarMain, cmd::BarTrek, cmd::BarZoom, cmd::BarScale};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(barTitles[i]);
    EXPECT_EQ(frame.ToolBar(barIds[i])->windowTitle(), QString::fromUtf8(barTitles[i]));
    EXPECT_EQ(frame.toolBarArea(frame.ToolBar(barIds[i])), Qt::TopToolBarArea);
  }
  frame.hide();
}

TEST_F(FrameTest, BarCommandsToggleAndCheck) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  for (const int id : {cmd::BarMain, cmd::BarTrek, cmd::BarZoom, cmd::BarScale, cmd::BarIndex, cmd::BarTrekList,
                       cmd::BarTrekView, cmd::BarStatus}) {
    SCOPED_TRACE(id);
    QAction* a = frame.Action(id);
    ASSERT_NE(a, nullptr);
    frame.UpdateCommandUI();
    EXPECT_TRUE(a->isChecked());
    a->trigger();
    EXPECT_FALSE(a->isChecked());
    a->trigger();
    EXPECT_TRUE(a->isChecked());
  }
  frame.hide();
}

TEST_F(FrameTest, WideViewHidesAndRestoresTheToolWindows) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.resize(1200, 900);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  frame.RouteCommand(cmd::BarTrekView);  // hidden before wide view: stays hidden after
  ASSERT_FALSE(frame.TrekViewDock()->isVisible());

  frame.RouteCommand(cmd::WideView);
  frame.UpdateCommandUI();
  EXPECT_TRUE(frame.IsWideView());
  EXPECT_TRUE(frame.Action(cmd::WideView)->isChecked());
  for (const QDockWidget* d : {frame.IndexDock(), frame.TrekListDock(), frame.TrekViewDock()}) EXPECT_FALSE(d->isVisible());

  frame.RouteCommand(cmd::WideView);
  EXPECT_FALSE(frame.IsWideView());
  EXPECT_TRUE(frame.IndexDock()->isVisible());
  EXPECT_TRUE(frame.TrekListDock()->isVisible());
  EXPECT_FALSE(frame.TrekViewDock()->isVisible());

  // Closing in wide view saves the layout with the tool windows shown again.
  frame.RouteCommand(cmd::WideView);
  frame.close();
  m_profile.writeInt("Vantoria", "Version", 200);
  CMainFrame next(doc);
  next.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&next));
  EXPECT_TRUE(next.IndexDock()->isVisible());
  EXPECT_TRUE(next.TrekListDock()->isVisible());
  EXPECT_FALSE(next.IsWideView());
  next.hide();
}

TEST_F(FrameTest, MenuTextsAndEnableRules) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.UpdateCommandUI();
  const struct {
    int id;
    const char* text;
    bool enabled;
  } kCases[] = {
      {cmd::OpenIndex, "地形図インデックスを開く(&O)...", true},
      {cmd::SheetProperties, "地形図のプロパティ(&D)...", false},
      {cmd::GotoWaypoint, "選択ポイントへ移動(&J)", false},
      {cmd::GotoTrackPoint, "選択トラックへ移動(&J)", false},
      {cmd::WideView, "ワイドビューモード(&W)", true},
      {cmd::BarTrek, "ポイント(&T)", true},
      {cmd::ShowWaypoints, "ウェイポイントの表示(&F)", true},
      {cmd::RangeSelect, "範囲選択(&S)", false},  // needs an open sheet
      {cmd::DeleteTrack, "トラックログの削除(&D)", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    QAction* a = frame.Action(c.id);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(), QString::fromUtf8(c.text));
    EXPECT_EQ(a->isEnabled(), c.enabled);
  }
  EXPECT_EQ(frame.Action(cmd::OpenIndex)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  // With no recent map the list shows its disabled placeholder.
  bool placeholder = false;
  for (QAction* a : frame.RecentMenu()->actions())
    if (a->text() == QStringLiteral("最近開いた地形図")) placeholder = !a->isEnabled();
  EXPECT_TRUE(placeholder);
}

TEST_F(FrameTest, FurtherTargetsGetTheCommandsNobodyBeforeThemKnows) {
  struct CFake : ICommandTarget {
    std::vector<int> run;
    bool onCommand(int id) override {
      if (id != cmd::DeleteTrack && id != cmd::OpenIndex) return false;
      run.push_back(id);
      return true;
    }
    bool onUpdateCommand(int id, SCommandState& st) const override {
      if (id != cmd::DeleteTrack && id != cmd::OpenIndex) return false;
      st.enabled = true;
      return true;
    }
  } fake;
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.AddCommandTarget(&fake);
  frame.UpdateCommandUI();
  EXPECT_TRUE(frame.Action(cmd::DeleteTrack)->isEnabled());
  frame.Action(cmd::DeleteTrack)->trigger();
  m_dialog.pushCancel();
  frame.Action(cmd::OpenIndex)->trigger();  // the document comes first
  EXPECT_EQ(fake.run, std::vector<int>{cmd::DeleteTrack});
  EXPECT_EQ(m_dialog.requests().size(), 1u);
}

TEST_F(FrameTest, StatusBarPanesAreWideEnoughForTheirTexts) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.resize(1400, 800);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  frame.SetPaneText(1, QStringLiteral("測地系 WGS-84/JGD2000"));
  frame.SetPaneText(2, QStringLiteral("北緯 35度40分12.34秒"));
  frame.SetPaneText(3, QStringLiteral("東経 139度45分56.78秒"));
  for (int pane = 1; pane <= 3; ++pane) {
    SCOPED_TRACE(pane);
    auto* label = frame.statusBar()->findChild<QLabel*>(QStringLiteral("pane%1").arg(pane));
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
  }
  frame.hide();
}

TEST_F(FrameTest, OpenDialogPreviewFollowsTheChosenFile) {
  const auto index = apptest::writeMapTree(root(), 2);
  CDlgOpenIndex dlg(nullptr, m_dir.path());
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("数値地図を開く"));
  dlg.show();
  auto* name = dlg.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(name, nullptr);
  name->setText(QStringLiteral("index.csv"));
  EXPECT_EQ(dlg.AreaNames()->text(), QStringLiteral("[ 東京 ] [ 宇都宮 ] "));
  EXPECT_EQ(dlg.SeriesText()->text(), QStringLiteral("数値地図 50000 (地図画像)"));
  name->setText(QStringLiteral("5339"));  // a folder
  EXPECT_TRUE(dlg.AreaNames()->text().isEmpty());
  EXPECT_TRUE(dlg.SeriesText()->text().isEmpty());
  dlg.hide();
}

TEST(ResourcesTest, CursorsAndIconsAreDrawnAtBothScales) {
  for (const int id : {139, 140, 149, 178, 179, 180, 189, 190}) {
    SCOPED_TRACE(id);
    const QCursor c = VantoriaCursor(id);
    EXPECT_EQ(c.shape(), Qt::BitmapCursor);
    const QImage img = c.pixmap().toImage();
    ASSERT_FALSE(img.isNull());
    // Something opaque near the hot spot region: the SVG was found and drawn.
    int opaque = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) opaque += qAlpha(img.pixel(x, y)) > 128;
    EXPECT_GT(opaque, 40);
  }
  EXPECT_EQ(VantoriaCursor(1).shape(), Qt::ArrowCursor);
  // On a 2x screen (and a 1.5x one, which Qt rounds the same way) the 2x drawing.
  for (const auto& [dpr, pixels] : {std::pair{1.0, 32}, std::pair{1.25, 32}, std::pair{1.5, 64}, std::pair{2.0, 64}}) {
    SCOPED_TRACE(dpr);
    const QCursor c = VantoriaCursor(178, dpr);
    EXPECT_EQ(c.pixmap().size(), QSize(pixels, pixels));
    EXPECT_EQ(c.pixmap().deviceIndependentSize(), QSizeF(32, 32));
    EXPECT_EQ(c.hotSpot(), QPoint(12, 12));
  }
  for (const int id : {cmd::OpenIndex, cmd::Print, cmd::ZoomIn, cmd::WideView, cmd::DeleteTrack}) {
    SCOPED_TRACE(id);
    const QIcon icon = VantoriaIcon(id);
    EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
  }
}

}  // namespace
