// Undo and redo in the main window: the edit menu and tool bar entries with the name of the edit,
// enabled only when there is one to act on, Ctrl+Z / Ctrl+Y restoring the trek files' exact bytes
// with the tree following, and the history held while an editing window is open.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <filesystem>

#include "app/CVantoriaDoc.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "display/ui/CTrekDataList.h"
#include "display/ui/CVantoriaView.h"
#include "display/ui/TrekEditController.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"
#include "trek/ui/CDlgTrackLog.h"
#include "FrameFixture.h"

namespace fs = std::filesystem;
using platform::EPromptAnswer;

namespace {

class FrameUndoTest : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(FrameFixture::SetUp());
    ASSERT_TRUE(m_app.InitInstance({QStringLiteral("vantoria")}, true));
    m_frame = m_app.Frame();
    m_doc = m_app.Doc();
    auto wps = std::make_unique<CTrekData>();
    wps->SetKind(CTrekData::kWaypointGroup);
    wps->SetGroupName("peaks");
    for (int i = 0; i < 3; ++i) {
      auto wp = std::make_unique<CMarkerPoint>();
      wp->name = "peak" + std::to_string(i);
      wp->SetPosition(DmsAngle(35, 30, 10.0 * i), DmsAngle(139, 30, 0.0), Datum::Wgs84);
      wps->AppendWaypoint(std::move(wp));
    }
    auto tracks = std::make_unique<CTrekData>();
    tracks->SetKind(CTrekData::kTrackLogGroup);
    tracks->SetGroupName("tracks");
    auto log = std::make_unique<CTrackLog>();
    log->name = "ridge";
    for (int i = 0; i < 5; ++i) {
      CTrackPoint tp;
      tp.number = i;
      tp.SetPosition(DmsAngle(35, 31, i * 2.0), DmsAngle(139, 31, i * 3.0), Datum::Wgs84);
      log->AppendPoint(tp);
    }
    tracks->AppendTrackLog(std::move(log));
    const fs::path peaks = root() / "peaks.pmd";
    const fs::path tracksPath = root() / "tracks.ptd";
    testutil::writeFile(peaks, WriteTrekBytes(*wps));
    testutil::writeFile(tracksPath, WriteTrekBytes(*tracks));
    ASSERT_EQ(list().OpenTrekFile(peaks), 1);
    ASSERT_EQ(list().OpenTrekFile(tracksPath), 1);
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    m_frame->UpdateCommandUI();
  }
  CTrekGroupList& list() const { return m_doc->TrekGroups(); }
  QTreeWidget* tree() const { return m_frame->TrekList()->tree(); }
  QAction* action(int id) const { return m_frame->Action(id); }
  std::string bytes(int group) const { return WriteTrekBytes(*list().Group(group)); }
  void selectWaypoint(int index) {
    STrekSelection s;
    s.kind = kTrekWaypoint;
    s.groupIndex = 0;
    s.waypoint = list().Group(0)->Waypoints()[std::size_t(index)].get();
    ASSERT_TRUE(list().Select(s));
  }
  void key(int k) { QTest::keyClick(m_frame, Qt::Key(k), Qt::ControlModifier); }

  CVantoriaApp m_app;
  CMainFrame* m_frame = nullptr;
  CVantoriaDoc* m_doc = nullptr;
};

TEST_F(FrameUndoTest, EditMenuAndToolBarCarryUndoAndRedo) {
  QMenu* edit = m_frame->menuBar()->findChild<QMenu*>(QStringLiteral("editMenu"));
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->title(), QStringLiteral("編集(&E)"));
  // Undo and redo, then (after a separator) the search.
  ASSERT_EQ(edit->actions().size(), 4);
  EXPECT_EQ(edit->actions()[0], action(cmd::Undo));
  EXPECT_EQ(edit->actions()[1], action(cmd::Redo));
  EXPECT_TRUE(edit->actions()[2]->isSeparator());
  EXPECT_EQ(edit->actions()[3], action(cmd::Search));
  EXPECT_EQ(action(cmd::Undo)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
  EXPECT_EQ(action(cmd::Redo)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Y")));
  QToolBar* bar = m_frame->ToolBar(cmd::BarTrek);
  ASSERT_TRUE(bar);
  EXPECT_TRUE(bar->actions().contains(action(cmd::Undo)));
  EXPECT_TRUE(bar->actions().contains(action(cmd::Redo)));
  EXPECT_FALSE(action(cmd::Undo)->icon().isNull());
  EXPECT_FALSE(action(cmd::Redo)->icon().isNull());
  // Opening files is no edit.
  EXPECT_FALSE(action(cmd::Undo)->isEnabled());
  EXPECT_FALSE(action(cmd::Redo)->isEnabled());
  EXPECT_EQ(action(cmd::Undo)->text(), QStringLiteral("元に戻す(&U)"));
  EXPECT_EQ(action(cmd::Redo)->text(), QStringLiteral("やり直し(&R)"));
}

TEST_F(FrameUndoTest, ControlZAndControlYNameTheEditAndRestoreTheExactFile) {
  const std::string original = bytes(0);
  selectWaypoint(1);
  m_prompt.push(EPromptAnswer::Ok);
  action(cmd::DeleteWaypoint)->trigger();
  ASSERT_EQ(list().Group(0)->Waypoints().size(), 2u);
  const std::string deleted = bytes(0);
  m_frame->UpdateCommandUI();
  EXPECT_TRUE(action(cmd::Undo)->isEnabled());
  EXPECT_FALSE(action(cmd::Redo)->isEnabled());
  EXPECT_EQ(action(cmd::Undo)->text(), QStringLiteral("ウェイポイントの削除を元に戻す(&U)"));
  EXPECT_EQ(action(cmd::Undo)->toolTip(), QStringLiteral("ウェイポイントの削除を元に戻す"));

  key(Qt::Key_Z);
  EXPECT_EQ(bytes(0), original);
  EXPECT_EQ(list().Group(0)->IsModified(), 1);
  EXPECT_EQ(tree()->topLevelItem(0)->childCount(), 3);  // the tree shows it again
  EXPECT_EQ(list().Selection().kind, kTrekWaypoint);    // and it is selected, as before the delete
  EXPECT_FALSE(action(cmd::Undo)->isEnabled());
  EXPECT_TRUE(action(cmd::Redo)->isEnabled());
  EXPECT_EQ(action(cmd::Undo)->text(), QStringLiteral("元に戻す(&U)"));
  EXPECT_EQ(action(cmd::Redo)->text(), QStringLiteral("ウェイポイントの削除をやり直す(&R)"));

  key(Qt::Key_Y);
  EXPECT_EQ(bytes(0), deleted);
  EXPECT_EQ(tree()->topLevelItem(0)->childCount(), 2);
  EXPECT_TRUE(action(cmd::Undo)->isEnabled());
  EXPECT_FALSE(action(cmd::Redo)->isEnabled());
}

TEST_F(FrameUndoTest, SortOrderChangesUndoWithoutTouchingTheGroups) {
  action(cmd::SortWaypointsByName)->trigger();
  m_frame->UpdateCommandUI();
  EXPECT_TRUE(action(cmd::SortWaypointsByName)->isChecked());
  EXPECT_EQ(action(cmd::Undo)->text(), QStringLiteral("ウェイポイントの並べ替えを元に戻す(&U)"));
  key(Qt::Key_Z);
  EXPECT_TRUE(action(cmd::SortWaypointsNone)->isChecked());
  EXPECT_EQ(list().Group(0)->IsModified(), 0);
  key(Qt::Key_Y);
  EXPECT_TRUE(action(cmd::SortWaypointsByName)->isChecked());
}

TEST_F(FrameUndoTest, NothingIsUndoneWhileAnEditingWindowIsOpen) {
  STrekSelection s;
  s.kind = kTrekTrackLog;
  s.groupIndex = 1;
  s.trackLog = list().Group(1)->TrackLogs()[0].get();
  ASSERT_TRUE(list().Select(s));
  ASSERT_TRUE(list().RenameGroup(0, "summits"));
  const std::string before = bytes(1);
  m_frame->UpdateCommandUI();
  ASSERT_TRUE(action(cmd::Undo)->isEnabled());

  CTrekEditController& editing = m_frame->MapView()->trekEditing();
  ASSERT_TRUE(editing.open(CTrekEditController::EWindow::TrackLog));
  CDlgTrackLog* dlg = editing.trackLogWindow();
  ASSERT_TRUE(dlg && dlg->isVisible());
  s.kind = kTrekTrackPoint;
  s.pointIndex = 2;
  ASSERT_TRUE(list().Select(s));
  ASSERT_TRUE(editing.moveSelectedTrackPoint(DmsAngle(35, 40, 0.0), DmsAngle(139, 40, 0.0), Datum::Wgs84));
  s.pointIndex = 0;
  ASSERT_TRUE(list().Select(s));
  QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("deletePointButton")), Qt::LeftButton);
  ASSERT_EQ(list().Group(1)->TrackLogs()[0]->Points().size(), 4u);
  m_frame->UpdateCommandUI();
  EXPECT_FALSE(action(cmd::Undo)->isEnabled());
  EXPECT_FALSE(list().Undo());

  // Cancel takes back the window's point edits; the rename from before stays undoable.
  QTest::mouseClick(dlg->findChild<QDialogButtonBox*>(QStringLiteral("buttons"))->button(QDialogButtonBox::Cancel),
                    Qt::LeftButton);
  EXPECT_EQ(bytes(1), before);
  m_frame->UpdateCommandUI();
  EXPECT_TRUE(action(cmd::Undo)->isEnabled());
  EXPECT_EQ(action(cmd::Undo)->text(), QStringLiteral("グループ名の変更を元に戻す(&U)"));
  EXPECT_EQ(tree()->topLevelItem(1)->child(0)->childCount(), 5);
}

}  // namespace
