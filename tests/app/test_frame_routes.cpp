// Planning in the main window: drawing a route with clicks, Backspace and a double click, moving
// and inserting its points by dragging, each an undo step; and the track log edits from the
// menus (split at the selected point, thinning through its window).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QDialogButtonBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <memory>

#include "FrameFixture.h"
#include "app/CVantoriaDoc.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "platform/Codepage.h"
#include "trek/ui/CDlgTrackEdits.h"

namespace fs = std::filesystem;

namespace {

class FrameRoutes : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    if (!fs::exists(testutil::sampleCollectionDir())) GTEST_SKIP() << "sample data not built";
    m_app = std::make_unique<CVantoriaApp>();
    ASSERT_TRUE(m_app->InitInstance({QStringLiteral("vantoria")}, false));
    m_app->Frame()->resize(1000, 760);
    m_app->Frame()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_app->Frame()));
    ASSERT_TRUE(doc().OpenMapFolder(testutil::sampleCollectionDir()));
    const auto found = doc().Search("黒沢");
    ASSERT_EQ(found.size(), 1u);
    ASSERT_TRUE(doc().GotoSearchResult(found.front()));
    QApplication::processEvents();
  }
  void TearDown() override {
    m_app.reset();
    FrameFixture::TearDown();
  }
  CVantoriaDoc& doc() { return *m_app->Doc(); }
  CVantoriaView& view() { return *m_app->Frame()->MapView(); }
  void trigger(int id) {
    QAction* a = m_app->Frame()->Action(id);
    ASSERT_NE(a, nullptr);
    m_app->Frame()->UpdateCommandUI();
    ASSERT_TRUE(a->isEnabled()) << id;
    a->trigger();
  }
  void click(QPoint at) { QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at); }
  std::unique_ptr<CVantoriaApp> m_app;
};

TEST_F(FrameRoutes, DrawARouteThenMoveAndInsertPointsWithUndo) {
  trigger(cmd::DrawRoute);
  ASSERT_TRUE(view().DrawingRoute());
  click({200, 200});
  click({320, 260});
  click({420, 240});
  QTest::keyClick(view().viewport(), Qt::Key_Backspace);  // the third point goes again
  click({460, 330});
  QTest::mouseDClick(view().viewport(), Qt::LeftButton, {}, QPoint(560, 380));
  EXPECT_FALSE(view().DrawingRoute());

  CTrekGroupList& list = doc().TrekGroups();
  ASSERT_EQ(list.Count(), 1);
  const CTrekData& group = *list.Group(0);
  EXPECT_EQ(group.Kind(), CTrekData::kRouteGroup);
  EXPECT_EQ(platform::cp932::toUtf8Lossy(group.GroupName()), "ルート");
  ASSERT_EQ(group.Routes().size(), 1u);
  CRoute& route = *group.Routes()[0];
  ASSERT_EQ(route.points.size(), 4u);
  EXPECT_EQ(list.SelectedRoute(), &route);
  EXPECT_EQ(list.UndoName(), "ルートの作成");
  // Points lie where they were clicked.
  const auto& lines = view().routeOverlay().lines();
  ASSERT_EQ(lines.size(), 1u);
  const QPoint origin = view().scrollPosition();
  // (to a pixel: positions go to the ground and back)
  EXPECT_LE((lines[0].points[2] - origin - QPoint(460, 330)).manhattanLength(), 2);
  EXPECT_TRUE(route.points[0].sheetName25000 == platform::cp932::fromUtf8("黒沢").text);

  // Drag point 2 somewhere else.
  const DmsAngle before = route.points[1].latitude;
  QTest::mousePress(view().viewport(), Qt::LeftButton, {}, QPoint(320, 260));
  QTest::mouseMove(view().viewport(), QPoint(330, 300));
  QTest::mouseMove(view().viewport(), QPoint(340, 320));
  QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, QPoint(340, 320));
  EXPECT_NE(route.points[1].latitude.TotalSeconds(), before.TotalSeconds());
  EXPECT_EQ(list.UndoName(), "ルートポイントの移動");

  // Drag the handle halfway along the first leg (the route is selected): a new point there.
  const QPoint a = view().routeOverlay().lines()[0].points[0] - origin;
  const QPoint b = view().routeOverlay().lines()[0].points[1] - origin;
  const QPoint mid((a.x() + b.x()) / 2, (a.y() + b.y()) / 2);
  QTest::mousePress(view().viewport(), Qt::LeftButton, {}, mid);
  QTest::mouseMove(view().viewport(), mid + QPoint(10, -20));
  QTest::mouseMove(view().viewport(), mid + QPoint(20, -40));
  QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, mid + QPoint(20, -40));
  ASSERT_EQ(route.points.size(), 5u);
  EXPECT_EQ(list.UndoName(), "ルートポイントの挿入");

  trigger(cmd::Undo);
  EXPECT_EQ(route.points.size(), 4u);
  trigger(cmd::Undo);
  EXPECT_EQ(route.points[1].latitude.TotalSeconds(), before.TotalSeconds());
  trigger(cmd::Undo);
  EXPECT_TRUE(group.Routes().empty());
  trigger(cmd::Redo);
  EXPECT_EQ(group.Routes().size(), 1u);
  EXPECT_TRUE(m_prompt.texts().empty());
}

TEST_F(FrameRoutes, ARouteOverSheetBordersInTheSeamlessView) {
  trigger(cmd::Seamless);
  view().SetMagnification(10);  // a sheet of the sample collection is about 450 pixels wide
  QApplication::processEvents();
  trigger(cmd::DrawRoute);
  const QSize vp = view().viewport()->size();
  click({vp.width() / 10, vp.height() * 6 / 10});
  click({vp.width() / 2, vp.height() * 7 / 10});
  click({vp.width() * 9 / 10, vp.height() * 8 / 10});
  QTest::keyClick(view().viewport(), Qt::Key_Return);
  const CTrekGroupList& list = doc().TrekGroups();
  ASSERT_EQ(list.Count(), 1);
  ASSERT_EQ(list.Group(0)->Routes().size(), 1u);
  const CRoute& route = *list.Group(0)->Routes()[0];
  ASSERT_EQ(route.points.size(), 3u);
  // Each point knows the sheet it lies on: the route runs over more than one.
  EXPECT_FALSE(route.points.front().sheetName25000.empty());
  EXPECT_NE(route.points.front().meshCode, route.points.back().meshCode);
  if (const QString dir = qEnvironmentVariable("VANTORIA_SHOT_DIR"); !dir.isEmpty())
    view().viewport()->grab().save(dir + QStringLiteral("/route-seamless.png"));
}

TEST_F(FrameRoutes, EscapeDropsTheRouteAndOnePointMakesNone) {
  trigger(cmd::DrawRoute);
  click({200, 200});
  QTest::keyClick(view().viewport(), Qt::Key_Escape);
  EXPECT_FALSE(view().DrawingRoute());
  trigger(cmd::DrawRoute);
  click({250, 200});
  QTest::keyClick(view().viewport(), Qt::Key_Return);
  EXPECT_EQ(doc().TrekGroups().Count(), 0);
}

std::unique_ptr<CTrekData> yesterday() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kTrackLogGroup);
  g->SetGroupName("walks");
  auto log = std::make_unique<CTrackLog>();
  log->name = "yesterday";
  for (int i = 0; i < 40; ++i) {
    CTrackPoint p;
    p.number = i;
    p.time = TrekTime(100000 + 60 * i);
    p.SetPosition(DmsAngle(36, 27, 10.0 + i * 2.0 + (i % 2) * 0.5), DmsAngle(138, 55, 0.0 + i * 3.0), Datum::Tokyo);
    log->AppendPoint(p);
  }
  g->AppendTrackLog(std::move(log));
  return g;
}

TEST_F(FrameRoutes, SplitAtTheHutAndThinThroughTheMenus) {
  CTrekGroupList& list = doc().TrekGroups();
  list.AppendGroup(yesterday());
  STrekSelection s;
  s.groupIndex = 0;
  s.kind = kTrekTrackPoint;
  s.trackLog = list.Group(0)->TrackLogs()[0].get();
  s.pointIndex = 25;  // the hut
  ASSERT_TRUE(list.Select(s));
  trigger(cmd::SplitTrack);
  ASSERT_EQ(list.Group(0)->TrackLogs().size(), 2u);
  EXPECT_EQ(list.Group(0)->TrackLogs()[0]->Points().size(), 26u);
  EXPECT_EQ(list.Group(0)->TrackLogs()[1]->Points().size(), 15u);
  EXPECT_EQ(m_app->Frame()->Action(cmd::Undo)->text(), QStringLiteral("トラックログの分割を元に戻す(&U)"));

  // The second half is selected: thin it to 5 points, the window telling the result first.
  trigger(cmd::ThinTrack);
  auto* dlg = m_app->Frame()->findChild<CDlgThinTrack*>(QStringLiteral("dlgThinTrack"));
  ASSERT_NE(dlg, nullptr);
  dlg->byCount()->setChecked(true);
  dlg->countBox()->setValue(5);
  EXPECT_TRUE(dlg->resultLabel()->text().startsWith(QStringLiteral("15 ポイント → 5 ポイント"))) << dlg->resultLabel()->text().toStdString();
  QTest::mouseClick(dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
  EXPECT_EQ(list.Group(0)->TrackLogs()[1]->Points().size(), 5u);
  EXPECT_EQ(list.UndoName(), "トラックログの間引き");
  trigger(cmd::Undo);
  EXPECT_EQ(list.Group(0)->TrackLogs()[1]->Points().size(), 15u);
}

}  // namespace
