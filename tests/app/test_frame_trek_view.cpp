// The trek data view docked in the main window as the user sees it at 1600 x 1000: a track
// log's figures below its six rows do not fit the dock, so the table scrolls to every row while
// the rows keep their height.
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>

#include "app/CVantoriaDoc.h"
#include "app/ui/CMainFrame.h"
#include "display/ui/CTrekDataView.h"
#include "FrameFixture.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"

namespace {

using TrekViewDock = apptest::FrameFixture;

std::string trackFile(int points) {
  CTrekData g;
  g.SetKind(kTrekTrackLogGroup);
  g.SetGroupName("Tracks");
  auto log = std::make_unique<CTrackLog>();
  log->name = "Ridge";
  for (int i = 0; i < points; ++i) {
    CTrackPoint pt;
    pt.number = i;
    pt.altitude = 500.0 + 40.0 * i;
    pt.SetTime(TrekTime(700000 + 90 * i));
    pt.SetPosition(DmsAngle(35, 20, 8.0 * i), DmsAngle(138, 40, 5.0 * i), Datum::Wgs84);
    log->AppendPoint(pt);
  }
  g.AppendTrackLog(std::move(log));
  return WriteTrekBytes(g);
}

TEST_F(TrekViewDock, EveryRowOfATrackLogIsReachableAndKeepsItsHeight) {
  const auto file = put("ridge.ptd", trackFile(5));
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.resize(1600, 1000);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  ASSERT_EQ(doc.TrekGroups().OpenTrekFile(file), 1);
  CTrekData* group = doc.TrekGroups().Group(0);
  ASSERT_TRUE(doc.TrekGroups().Select({kTrekTrackLog, 0, nullptr, group->TrackLogs()[0].get(), -1}));
  QTest::qWait(50);

  auto* view = frame.findChild<CTrekDataView*>(QStringLiteral("trekView"));
  ASSERT_NE(view, nullptr);
  QTableWidget* table = view->table();
  ASSERT_EQ(view->rowCount(), CTrekDataView::kRows + 9);
  ASSERT_EQ(view->label(CTrekDataView::kRows + 8), QStringLiteral("最低点"));
  const int rowHeight = table->verticalHeader()->defaultSectionSize();
  ASSERT_LT(view->height(), rowHeight * view->rowCount()) << "the dock is too short for all rows; the case needs that";

  EXPECT_LE(table->geometry().bottom(), view->rect().bottom()) << "the table ends inside the window";
  EXPECT_GT(table->verticalScrollBar()->maximum(), 0);
  for (int r = 0; r < view->rowCount(); ++r) {
    SCOPED_TRACE(view->label(r).toStdString());
    EXPECT_EQ(table->rowHeight(r), rowHeight);
    table->scrollToItem(table->item(r, 0));
    const QRect cell = table->visualItemRect(table->item(r, 0));
    EXPECT_TRUE(table->viewport()->rect().contains(cell)) << "row " << r << " shown whole after scrolling to it";
  }

  // A track point's six rows fit again: no scrolling, and the rows are the same height.
  ASSERT_TRUE(doc.TrekGroups().Select({kTrekTrackPoint, 0, nullptr, group->TrackLogs()[0].get(), 2}));
  EXPECT_EQ(view->rowCount(), CTrekDataView::kRows);
  EXPECT_EQ(table->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(table->rowHeight(CTrekDataView::kRows - 1), rowHeight);
  EXPECT_GE(view->commentBox()->geometry().top(), table->geometry().bottom());
}

}  // namespace
