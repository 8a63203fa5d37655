// The trek data in the whole main window, as a user works with it: saving under a new name, the
// editing windows next to the commands that would take their item away, the keys of the tree and
// the map, double clicks in the tree, the map's context menu and the tree's state across changes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "app/CVantoriaDoc.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "display/ui/CTrekDataList.h"
#include "display/ui/CVantoriaView.h"
#include "display/ui/TrekEditController.h"
#include "platform/FileLookup.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"
#include "trek/ui/CDlgTrackLog.h"
#include "trek/ui/CDlgWaypoint.h"
#include "FrameFixture.h"

namespace fs = std::filesystem;
using platform::EPromptAnswer;
using EWindow = CTrekEditController::EWindow;

namespace {

constexpr int kSlot543836 = 30;
constexpr int kSlot543837 = 31;  // the sheet east of it

class FrameTrekTest : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(FrameFixture::SetUp());
    const fs::path index = testutil::sampleDir() / "map25000" / "index.csv";
    if (!fs::exists(index)) GTEST_SKIP() << "sample data not built";
    ASSERT_TRUE(m_app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index.string())}, true));
    m_frame = m_app.Frame();
    m_doc = m_app.Doc();
    m_frame->resize(1400, 900);
    // A point in the middle of the eastern sheet, for the go-to across sheets.
    m_doc->LoadSheet(0, kSlot543837);
    ASSERT_TRUE(view()->hasMap());
    const GeoPosition east = inside(view()->mapSize().width() / 2, view()->mapSize().height() / 2);
    m_doc->LoadSheet(0, kSlot543836);
    view()->horizontalScrollBar()->setValue(0);
    view()->verticalScrollBar()->setValue(0);

    auto wps = std::make_unique<CTrekData>();
    wps->SetKind(CTrekData::kWaypointGroup);
    wps->SetGroupName("peaks");
    const struct { const char* name; GeoPosition at; } points[] = {{"peak", inside(300, 200)}, {"far", east}};
    for (const auto& p : points) {
      auto wp = std::make_unique<CMarkerPoint>();
      wp->name = p.name;
      wp->SetPosition(p.at.latitude, p.at.longitude, Datum::Wgs84);
      wps->AppendWaypoint(std::move(wp));
    }
    auto tracks = std::make_unique<CTrekData>();
    tracks->SetKind(CTrekData::kTrackLogGroup);
    tracks->SetGroupName("tracks");
    const struct { const char* name; std::vector<QPoint> at; } logs[] = {
        {"ridge", {{200, 400}, {500, 400}, {600, 300}}},
        {"valley", std::vector<QPoint>(200, QPoint(100, 500))},
    };
    for (const auto& l : logs) {
      auto log = std::make_unique<CTrackLog>();
      log->name = l.name;
      for (std::size_t i = 0; i < l.at.size(); ++i) {
        CTrackPoint tp;
        const GeoPosition g = inside(l.at[i].x(), l.at[i].y());
        tp.SetPosition(g.latitude, g.longitude, Datum::Wgs84);
        tp.number = std::int32_t(i);
        log->AppendPoint(tp);
      }
      tracks->AppendTrackLog(std::move(log));
    }
    m_peaksPath = root() / "peaks.pmd";
    m_tracksPath = root() / "tracks.ptd";
    testutil::writeFile(m_peaksPath, WriteTrekBytes(*wps));
    testutil::writeFile(m_tracksPath, WriteTrekBytes(*tracks));
    ASSERT_EQ(list().OpenTrekFile(m_peaksPath), 1);
    ASSERT_EQ(list().OpenTrekFile(m_tracksPath), 1);
    m_frame->UpdateCommandUI();
  }
  CVantoriaView* view() const { return m_frame->MapView(); }
  CTrekGroupList& list() const { return m_doc->TrekGroups(); }
  QTreeWidget* tree() const { return m_frame->TrekList()->tree(); }
  QWidget* vp() const { return view()->viewport(); }
  QPoint client(QPoint logical) const { return logical - view()->scrollPosition(); }
  /// A WGS-84 position inside a logical pixel of the sheet on screen.
  GeoPosition inside(int x, int y) const {
    const SheetFrame& f = view()->frame();
    GeoPosition g = *f.PixelToGeo(x, y, Datum::Wgs84);
    g.latitude = DmsAngle::Subtract(g.latitude, DmsAngle::DivideBy(f.latitudeStep(Datum::Wgs84), 2.0));
    g.longitude = DmsAngle::Add(g.longitude, DmsAngle::DivideBy(f.longitudeStep(Datum::Wgs84), 2.0));
    return g;
  }
  QTreeWidgetItem* node(int group, int child = -1, int point = -1) const {
    QTreeWidgetItem* n = tree()->topLevelItem(group);
    if (n && child >= 0) n = n->child(child);
    if (n && point >= 0) n = n->child(point);
    return n;
  }
  void click(QTreeWidgetItem* item) const {
    ASSERT_TRUE(item);
    tree()->scrollToItem(item);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(item).center());
  }
  void command(int id) const {
    m_frame->UpdateCommandUI();
    QAction* a = m_frame->Action(id);
    ASSERT_TRUE(a && a->isEnabled()) << id;
    a->trigger();
  }
  bool enabled(int id) const {
    m_frame->UpdateCommandUI();
    return m_frame->Action(id)->isEnabled();
  }
  void moveTo(QPoint logical) const {
    QMouseEvent ev(QEvent::MouseMove, QPointF(client(logical)), vp()->mapToGlobal(QPointF(client(logical))),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vp(), &ev);
  }
  /// The window's shortcuts answer while it is the active one.
  void activateFrame() const {
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
  }
  static void pressOk(QDialog* dlg) {
    ASSERT_TRUE(dlg);
    QTest::mouseClick(dlg->findChild<QDialogButtonBox*>(QStringLiteral("buttons"))->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
  }
  CTrekData& peaks() const { return *list().Group(0); }
  CTrekData& tracks() const { return *list().Group(1); }

  CVantoriaApp m_app;
  CMainFrame* m_frame = nullptr;
  CVantoriaDoc* m_doc = nullptr;
  fs::path m_peaksPath, m_tracksPath;
};

TEST_F(FrameTrekTest, SaveAsThenSaveWritesTheNewFileAndLeavesTheOldOne) {
  const std::string before = testutil::readFile(m_peaksPath);
  click(node(0));
  m_dialog.pushPath(root() / "peaks-2024");
  command(cmd::SaveTrekAs);
  const fs::path copy = root() / "peaks-2024.pmd";
  EXPECT_EQ(peaks().FilePath(), platform::pathToUtf8(copy));
  // The tree tells the group by its file.
  EXPECT_EQ(node(0)->toolTip(0), QString::fromStdString(platform::pathToUtf8(copy)));

  click(node(0, 0));
  command(cmd::EditWaypoint);
  CDlgWaypoint* dlg = view()->trekEditing().editWindow();
  ASSERT_TRUE(dlg && dlg->isVisible());
  auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("nameEdit"));
  name->clear();
  QTest::keyClicks(name, "summit");
  pressOk(dlg);
  EXPECT_EQ(peaks().IsModified(), 1);
  command(cmd::SaveTrek);
  EXPECT_EQ(m_dialog.requests().size(), 1u) << "saved without asking where";
  EXPECT_EQ(peaks().IsModified(), 0);
  EXPECT_EQ(ReadTrekFile(copy).group->Waypoints()[0]->name, "summit");
  EXPECT_EQ(testutil::readFile(m_peaksPath), before);
}

TEST_F(FrameTrekTest, EditingWindowsCannotBeStranded) {
  const struct {
    const char* name;
    int group, child;   // the node selected first
    int open;           // the command opening the window
    EWindow window;
    int deleteCommand, cutCommand;
    bool removable;     // the selected item may still go (adding works on the group only)
  } kCases[] = {
      {"editing a waypoint", 0, 0, cmd::EditWaypoint, EWindow::EditWaypoint, cmd::DeleteWaypoint, cmd::CutWaypoint, false},
      {"editing a track log", 1, 0, cmd::EditTrack, EWindow::TrackLog, cmd::DeleteTrack, cmd::CutTrack, false},
      {"adding a waypoint", 0, 0, cmd::AddWaypoint, EWindow::AddWaypoint, cmd::DeleteWaypoint, cmd::CutWaypoint, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    click(node(c.group, c.child));
    command(c.open);
    ASSERT_EQ(view()->trekEditing().openWindow(), c.window);
    EXPECT_FALSE(enabled(cmd::CloseTrek));
    EXPECT_EQ(enabled(c.deleteCommand), c.removable);
    EXPECT_EQ(enabled(c.cutCommand), c.removable);
    if (!c.removable) {
      activateFrame();
      // Neither the keys of the tree nor those of the map take the item away.
      const std::size_t waypoints = peaks().Waypoints().size(), logs = tracks().TrackLogs().size();
      for (QWidget* w : {static_cast<QWidget*>(tree()), static_cast<QWidget*>(view())}) {
        w->setFocus();
        QTest::keyClick(w, Qt::Key_Delete);
        QTest::keyClick(w, Qt::Key_X, Qt::ControlModifier);
      }
      EXPECT_TRUE(m_prompt.requests().empty());
      EXPECT_EQ(peaks().Waypoints().size(), waypoints);
      EXPECT_EQ(tracks().TrackLogs().size(), logs);
    }
    // The window completes.
    QDialog* dlg = c.window == EWindow::TrackLog ? static_cast<QDialog*>(view()->trekEditing().trackLogWindow())
                   : c.window == EWindow::EditWaypoint ? static_cast<QDialog*>(view()->trekEditing().editWindow())
                                                       : static_cast<QDialog*>(view()->trekEditing().addWindow());
    if (c.window == EWindow::AddWaypoint) {
      const GeoPosition g = inside(450, 250);
      ASSERT_TRUE(view()->trekEditing().setWaypointPosition(g.latitude, g.longitude, Datum::Wgs84));
      QTest::keyClicks(dlg->findChild<QLineEdit*>(QStringLiteral("nameEdit")), "hut");
    }
    pressOk(dlg);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(view()->trekEditing().openWindow(), EWindow::None);
    EXPECT_TRUE(enabled(cmd::CloseTrek));
    if (c.window == EWindow::AddWaypoint) {
      EXPECT_EQ(peaks().Waypoints().size(), 3u);
    }
    list().Group(c.group)->SetModified(0);
  }
}

TEST_F(FrameTrekTest, KeysActOnTheSelectedWaypointOrTrackLog) {
  const struct {
    const char* name;
    int group;
    const char* question;  // asked by Delete
  } kCases[] = {
      {"waypoint", 0, "ポイント [peak] を削除しますか?  "},
      {"track log", 1, "トラックログ[ridge] を削除しますか?  "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CTrekData& g = *list().Group(c.group);
    const auto count = [&] { return c.group == 0 ? g.Waypoints().size() : g.TrackLogs().size(); };
    const std::size_t before = count();
    activateFrame();
    click(node(c.group, 0));
    tree()->setFocus();
    QTest::keyClick(tree(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(c.group == 0 ? list().WaypointClipboard() != nullptr : list().TrackLogClipboard() != nullptr);

    // Delete asks as the menu does; on the map as in the tree.
    m_prompt.clear();
    m_prompt.push(EPromptAnswer::Cancel);
    QTest::keyClick(tree(), Qt::Key_Delete);
    view()->setFocus();
    m_prompt.push(EPromptAnswer::Cancel);
    QTest::keyClick(view(), Qt::Key_Delete);
    ASSERT_EQ(m_prompt.texts().size(), 2u);
    EXPECT_EQ(m_prompt.texts()[0], c.question);
    EXPECT_EQ(m_prompt.texts()[1], c.question);
    EXPECT_EQ(count(), before);

    tree()->setFocus();
    QTest::keyClick(tree(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(count(), before - 1);
    EXPECT_EQ(list().Selection().kind, g.Kind());  // the group is left selected
    QTest::keyClick(tree(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(count(), before);
    EXPECT_EQ(m_prompt.texts().size(), 2u);  // pasted without a question
  }
}

TEST_F(FrameTrekTest, ControlPlusAndMinusZoomOneStep) {
  ASSERT_EQ(view()->magnification(), 100);
  activateFrame();
  view()->setFocus();
  const struct { const char* name; Qt::Key key; Qt::KeyboardModifiers mods; int want; } kKeys[] = {
      {"Ctrl++", Qt::Key_Plus, Qt::ControlModifier, 125},
      {"Ctrl+= (the same key unshifted)", Qt::Key_Equal, Qt::ControlModifier, 150},
      {"Ctrl+-", Qt::Key_Minus, Qt::ControlModifier, 125},
      {"Ctrl+- again", Qt::Key_Minus, Qt::ControlModifier, 100},
  };
  for (const auto& k : kKeys) {
    SCOPED_TRACE(k.name);
    QTest::keyClick(view(), k.key, k.mods);
    EXPECT_EQ(view()->magnification(), k.want);
  }
  // From the tree as well: the keys belong to the window.
  tree()->setFocus();
  QTest::keyClick(tree(), Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(view()->magnification(), 75);
}

TEST_F(FrameTrekTest, DoubleClickGoesToTheItemAcrossSheets) {
  const std::string here = m_doc->CurrentSheet().meshCode;
  ASSERT_EQ(here, "543836");
  const struct { const char* name; int group, child, point; const char* sheet; } kCases[] = {
      {"waypoint on the next sheet", 0, 1, -1, "543837"},
      {"track point back on the first", 1, 0, 1, "543836"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.point >= 0) node(c.group, c.child)->setExpanded(true);
    QTreeWidgetItem* item = node(c.group, c.child, c.point);
    ASSERT_TRUE(item);
    tree()->scrollToItem(item);
    const QPoint at = tree()->visualItemRect(item).center();
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(m_doc->CurrentSheet().meshCode, c.sheet);
  }
  EXPECT_TRUE(m_prompt.requests().empty());
}

TEST_F(FrameTrekTest, MapMenuAddsAWaypointAtTheClickedPosition) {
  click(node(0, 0));
  const QPoint at(420, 260);
  QTimer::singleShot(50, [] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    QAction* add = menu->findChild<QAction*>(QStringLiteral("cmd_%1").arg(cmd::AddWaypoint));
    if (!add) {
      for (QAction* a : menu->actions())
        if (a->objectName() == QStringLiteral("cmd_%1").arg(cmd::AddWaypoint)) add = a;
    }
    ASSERT_TRUE(add);
    menu->setActiveAction(add);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  QContextMenuEvent ev(QContextMenuEvent::Mouse, client(at), vp()->mapToGlobal(client(at)));
  QApplication::sendEvent(vp(), &ev);

  CDlgWaypoint* dlg = view()->trekEditing().addWindow();
  ASSERT_TRUE(dlg && dlg->isVisible());
  CMarkerPoint probe;
  const GeoPosition g = *view()->frame().PixelToGeo(at.x(), at.y(), Datum::Tokyo);
  probe.SetPosition(g.latitude, g.longitude, Datum::Tokyo);
  const trek::SWaypointInput want = trek::WaypointInputFrom(probe, dlg->ChosenDatum());
  const trek::SWaypointInput shown = dlg->Input();
  EXPECT_EQ(shown.latDegrees + " " + shown.latMinutes + " " + shown.latSeconds,
            want.latDegrees + " " + want.latMinutes + " " + want.latSeconds);
  EXPECT_EQ(shown.lonDegrees + " " + shown.lonMinutes + " " + shown.lonSeconds,
            want.lonDegrees + " " + want.lonMinutes + " " + want.lonSeconds);
  dlg->reject();

  // The menu command itself, from the main menu, opens with empty fields.
  command(cmd::AddWaypoint);
  EXPECT_TRUE(dlg->Input().latDegrees.empty());
  dlg->reject();
}

TEST_F(FrameTrekTest, TreeKeepsItsStateAcrossChanges) {
  // The user closes the waypoint group and opens the ridge.
  node(0)->setExpanded(false);
  node(1, 0)->setExpanded(true);
  click(node(1, 0));
  command(cmd::EditTrack);

  // A track point dragged on the map refills the tree.
  const QPoint from(500, 400), to(520, 440);
  moveTo(from);
  QTest::mousePress(vp(), Qt::LeftButton, {}, client(from));
  moveTo((from + to) / 2);
  moveTo(to);
  QTest::mouseRelease(vp(), Qt::LeftButton, {}, client(to));
  ASSERT_EQ(tracks().IsModified(), 1) << "the point was dragged";
  EXPECT_FALSE(node(0)->isExpanded());
  EXPECT_TRUE(node(1)->isExpanded());
  EXPECT_TRUE(node(1, 0)->isExpanded());
  EXPECT_FALSE(node(1, 1)->isExpanded());
  EXPECT_EQ(tree()->currentItem(), node(1, 0, 1));
  pressOk(view()->trekEditing().trackLogWindow());

  // Deep in a long log, the scroll position and the current point stay.
  node(1, 1)->setExpanded(true);
  click(node(1, 1, 150));
  const int scrolled = tree()->verticalScrollBar()->value();
  ASSERT_GT(scrolled, 0);
  list().NotifyDataChanged();
  EXPECT_EQ(tree()->verticalScrollBar()->value(), scrolled);
  EXPECT_EQ(tree()->currentItem(), node(1, 1, 150));
  EXPECT_TRUE(node(1, 1)->isExpanded());

  // Group nodes carry their file as a tip; a new group has none yet.
  EXPECT_EQ(node(0)->toolTip(0), QString::fromStdString(platform::pathToUtf8(m_peaksPath)));
  EXPECT_EQ(node(1)->toolTip(0), QString::fromStdString(platform::pathToUtf8(m_tracksPath)));
  ASSERT_EQ(list().NewGroup(CTrekData::kWaypointGroup, "peaks"), 2);
  EXPECT_EQ(node(2)->toolTip(0), QStringLiteral("（未保存）"));
  EXPECT_TRUE(node(2)->isExpanded());  // new groups come open
  EXPECT_FALSE(node(0)->isExpanded());
}

}  // namespace
