// The elevation profile dock in the main frame: its command, wide view, and the map marker it
// drives in the frame's view.
#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QTest>
#include <filesystem>

#include "app/CVantoriaDoc.h"
#include "FrameFixture.h"
#include "app/ui/CMainFrame.h"
#include "common/TestUtil.h"
#include "display/ui/CElevationProfileWnd.h"
#include "display/ui/CVantoriaView.h"

namespace {

using FrameProfile = apptest::FrameFixture;

TEST_F(FrameProfile, DockBelowTheMapShownAndHiddenLikeTheOtherToolWindows) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.resize(1200, 900);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  QDockWidget* dock = frame.ProfileDock();
  ASSERT_NE(dock, nullptr);
  EXPECT_EQ(dock->windowTitle(), QStringLiteral("標高グラフ"));
  EXPECT_EQ(frame.dockWidgetArea(dock), Qt::BottomDockWidgetArea);
  EXPECT_TRUE(dock->isVisible());
  EXPECT_EQ(frame.Action(cmd::BarElevation)->text(), QStringLiteral("標高グラフ(&E)"));

  frame.Action(cmd::BarElevation)->trigger();
  EXPECT_FALSE(dock->isVisible());
  EXPECT_FALSE(frame.Action(cmd::BarElevation)->isChecked());
  frame.Action(cmd::BarElevation)->trigger();
  EXPECT_TRUE(dock->isVisible());
  EXPECT_TRUE(frame.Action(cmd::BarElevation)->isChecked());

  // Wide view hides it with the others and shows it again as it was.
  frame.RouteCommand(cmd::WideView);
  EXPECT_FALSE(dock->isVisible());
  frame.RouteCommand(cmd::WideView);
  EXPECT_TRUE(dock->isVisible());
  frame.hide();
}

TEST_F(FrameProfile, ProfileMarkerReachesTheMapView) {
  const std::filesystem::path index = testutil::sampleDir() / "map25000" / "index.csv";
  if (!std::filesystem::exists(index)) GTEST_SKIP() << "sample data not built";
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.resize(1200, 900);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  ASSERT_TRUE(doc.OpenIndexFile(index));
  doc.LoadSheet(0, 30);
  CVantoriaView* view = frame.MapView();
  ASSERT_TRUE(view->hasMap()) << testing::PrintToString(m_prompt.texts());

  const std::optional<GeoPosition> g = view->frame().PixelToGeo(250, 150, Datum::Wgs84);
  ASSERT_TRUE(g);
  emit frame.ProfileWindow()->markerMoved(g->latitude, g->longitude);
  const std::optional<QPoint> marker = view->profileMarkerPixel();
  ASSERT_TRUE(marker);
  EXPECT_LE((*marker - QPoint(250, 150)).manhattanLength(), 2);
  emit frame.ProfileWindow()->markerCleared();
  EXPECT_EQ(view->profileMarkerPixel(), std::nullopt);
  frame.hide();
}

}  // namespace
