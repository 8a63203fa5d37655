#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <memory>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "display/ui/TrekEditController.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/ui/CDlgTrackLog.h"
#include "trek/ui/CDlgWaypoint.h"
#include "SampleViewFixture.h"

namespace {

using platform::EPromptAnswer;
using EWindow = CTrekEditController::EWindow;

class TrekEditingInView : public CSampleViewTest {
 protected:
  void configureView(CVantoriaView& view) override { view.setMarkerDatumSetting(&m_markerDatum); }
  void SetUp() override {
    CSampleViewTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    addTrekData({QPoint(200, 400), QPoint(500, 400), QPoint(600, 300)});
  }
  void clickAt(QPoint logical) {
    moveTo(logical);
    QTest::mouseClick(vp(), Qt::LeftButton, {}, client(logical));
  }
  void dragFrom(QPoint from, QPoint to) {
    moveTo(from);
    QTest::mousePress(vp(), Qt::LeftButton, {}, client(from));
    const QPoint mid = (from + to) / 2;
    QTest::mouseMove(vp(), client(mid));
    QTest::mouseMove(vp(), client(to));
    QTest::mouseRelease(vp(), Qt::LeftButton, {}, client(to));
  }
  void rightClickAt(QPoint logical) {
    moveTo(logical);
    QTest::mouseClick(vp(), Qt::RightButton, {}, client(logical));
  }
  static void pressButton(QDialog* dlg, QDialogButtonBox::StandardButton which) {
    auto* box = dlg->findChild<QDialogButtonBox*>(QStringLiteral("buttons"));
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(which), Qt::LeftButton);
  }
  static void typeName(QDialog* dlg, const QString& name) {
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("nameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->clear();
    QTest::keyClicks(edit, name);
  }
  bool enabled(int id) const {
    SCommandState state;
    EXPECT_TRUE(m_view->onUpdateCommand(id, state));
    return state.enabled;
  }
  // Tokyo position of a logical pixel's top-left corner, as the view reads it.
  GeoPosition tokyoAt(QPoint p) const { return *m_view->frame().PixelToGeo(p.x(), p.y(), Datum::Tokyo); }
  static void expectNear(const CMarkerPoint& point, const GeoPosition& tokyo) {
    DmsAngle lat, lon;
    point.GetPosition(lat, lon, Datum::Tokyo);
    // The window shows seconds to two places.
    EXPECT_NEAR(lat.TotalSeconds(), tokyo.latitude.TotalSeconds(), 0.006);
    EXPECT_NEAR(lon.TotalSeconds(), tokyo.longitude.TotalSeconds(), 0.006);
  }
  CTrekData& waypoints() const { return *m_doc->TrekGroups().Group(0); }
  CTrekData& tracks() const { return *m_doc->TrekGroups().Group(1); }

  const QPoint m_flag = m_peak + QPoint(5, -5);  ///< on the flag of the peak
  std::int32_t m_markerDatum = 1;
};

TEST_F(TrekEditingInView, CommandRulesFollowSelectionAndOpenWindow) {
  struct Row {
    const char* name;
    QPoint click;  ///< logical point clicked first; (-1, -1) selects nothing
    bool add, edit, track;
  };
  const Row rows[] = {
      {"nothing", {-1, -1}, false, false, false},
      {"waypoint", m_flag, true, true, false},
      {"track log", {350, 404}, false, false, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    m_doc->TrekGroups().ClearSelection();
    if (r.click.x() >= 0) clickAt(r.click);
    EXPECT_EQ(enabled(cmd::AddWaypoint), r.add);
    EXPECT_EQ(enabled(cmd::EditWaypoint), r.edit);
    EXPECT_EQ(enabled(cmd::EditTrack), r.track);
  }
  // One window at a time: while the track log window is open nothing else opens.
  ASSERT_TRUE(m_view->onCommand(cmd::EditTrack));
  EXPECT_EQ(m_view->trekEditing().openWindow(), EWindow::TrackLog);
  EXPECT_FALSE(enabled(cmd::EditTrack));
  pressButton(m_view->trekEditing().trackLogWindow(), QDialogButtonBox::Cancel);
  EXPECT_EQ(m_view->trekEditing().openWindow(), EWindow::None);
  EXPECT_FALSE(m_doc->TrekGroups().IsTrackLogEditing());
  EXPECT_EQ(m_doc->TrekGroups().Selection().kind, kTrekTrackLog);
  EXPECT_TRUE(enabled(cmd::EditTrack));
}

TEST_F(TrekEditingInView, DraggedWaypointTakesItsPlaceOnOkOnly) {
  const QPoint delta(60, 40);
  for (const bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    m_doc->TrekGroups().ClearSelection();
    clickAt(m_flag);
    ASSERT_EQ(m_doc->TrekGroups().Selection().kind, kTrekWaypoint);
    const CMarkerPoint before = *waypoints().Waypoints()[0];
    ASSERT_TRUE(m_view->onCommand(cmd::EditWaypoint));
    CDlgWaypoint* dlg = m_view->trekEditing().editWindow();
    ASSERT_TRUE(dlg && dlg->isVisible());
    EXPECT_FALSE(enabled(cmd::AddWaypoint));

    const trek::SWaypointInput shown = dlg->Input();
    dragFrom(m_flag, m_flag + delta);
    // The icon moved with the mouse and the window shows the new position...
    moveTo(m_flag + delta);
    EXPECT_EQ(m_view->hoveredTrekItem().kind, ETrekHitKind::Waypoint);
    EXPECT_NE(dlg->Input().latSeconds, shown.latSeconds);
    // ...while the waypoint itself waits for OK.
    EXPECT_EQ(*waypoints().Waypoints()[0], before);

    pressButton(dlg, ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(m_doc->TrekGroups().IsLocked());
    const CMarkerPoint& now = *waypoints().Waypoints()[0];
    if (ok) {
      expectNear(now, tokyoAt(m_peak + delta));
      EXPECT_EQ(now.meshCode, 543836);  // the open sheet is recorded on it
      EXPECT_EQ(waypoints().IsModified(), 1);
    } else {
      EXPECT_EQ(now, before);
      EXPECT_EQ(waypoints().IsModified(), 0);
    }
    // The map is rebuilt from the stored position.
    moveTo(m_flag + delta);
    EXPECT_EQ(m_view->hoveredTrekItem().kind, ok ? ETrekHitKind::Waypoint : ETrekHitKind::None);
    moveTo(m_flag);
    EXPECT_EQ(m_view->hoveredTrekItem().kind, ok ? ETrekHitKind::None : ETrekHitKind::Waypoint);
  }
  EXPECT_TRUE(m_prompt.texts().empty());
}

TEST_F(TrekEditingInView, RightClickedPositionsAndDuplicateQuestions) {
  const QPoint spot(450, 250);
  clickAt(m_flag);
  // A first point at the right-clicked spot.
  ASSERT_TRUE(m_view->onCommand(cmd::AddWaypoint));
  CDlgWaypoint* add = m_view->trekEditing().addWindow();
  ASSERT_TRUE(add && add->isVisible());
  rightClickAt(spot);
  typeName(add, QStringLiteral("A"));
  pressButton(add, QDialogButtonBox::Ok);
  ASSERT_FALSE(add->isVisible());
  ASSERT_EQ(waypoints().Waypoints().size(), 2u);
  expectNear(*waypoints().Waypoints()[1], tokyoAt(spot));
  EXPECT_EQ(m_markerDatum, 1);

  // A second one at the same spot: No keeps the window open and adds nothing, Yes adds it.
  ASSERT_TRUE(m_view->onCommand(cmd::AddWaypoint));
  rightClickAt(spot);
  typeName(add, QStringLiteral("B"));
  m_prompt.push(EPromptAnswer::No);
  pressButton(add, QDialogButtonBox::Ok);
  EXPECT_TRUE(add->isVisible());
  EXPECT_EQ(waypoints().Waypoints().size(), 2u);
  m_prompt.push(EPromptAnswer::Yes);
  pressButton(add, QDialogButtonBox::Ok);
  EXPECT_FALSE(add->isVisible());
  EXPECT_EQ(waypoints().Waypoints().size(), 3u);
  const std::string addQuestion =
      "このポイントグループには、同じ経緯度のポイント [A] が既に存在します。\r\nここにポイント [B] を追加しますか?";
  ASSERT_EQ(m_prompt.texts().size(), 2u);
  EXPECT_EQ(m_prompt.texts()[0], addQuestion);
  EXPECT_EQ(m_prompt.texts()[1], addQuestion);

  // Editing the peak onto that spot asks its own question; No leaves the peak where it was.
  m_doc->TrekGroups().ClearSelection();
  clickAt(m_flag);
  ASSERT_EQ(m_doc->TrekGroups().SelectedWaypoint(), waypoints().Waypoints()[0].get());
  const CMarkerPoint peak = *waypoints().Waypoints()[0];
  ASSERT_TRUE(m_view->onCommand(cmd::EditWaypoint));
  CDlgWaypoint* edit = m_view->trekEditing().editWindow();
  rightClickAt(spot);
  m_prompt.push(EPromptAnswer::No);
  pressButton(edit, QDialogButtonBox::Ok);
  EXPECT_TRUE(edit->isVisible());
  EXPECT_EQ(*waypoints().Waypoints()[0], peak);
  m_prompt.push(EPromptAnswer::Yes);
  pressButton(edit, QDialogButtonBox::Ok);
  EXPECT_FALSE(edit->isVisible());
  expectNear(*waypoints().Waypoints()[0], tokyoAt(spot));
  ASSERT_EQ(m_prompt.texts().size(), 4u);
  EXPECT_EQ(m_prompt.texts()[2],
            "このポイントグループには、同じ経緯度のポイント [A] が既に存在します。\r\nこのまま編集を完了しますか?");
}

TEST_F(TrekEditingInView, DraggedTrackPointIsStoredWhileItsWindowIsOpen) {
  const QPoint from(500, 400), to(520, 460);
  clickAt({350, 404});
  ASSERT_TRUE(m_view->onCommand(cmd::EditTrack));
  dragFrom(from, to);
  const STrekSelection& sel = m_doc->TrekGroups().Selection();
  EXPECT_EQ(sel.kind, kTrekTrackPoint);
  EXPECT_EQ(sel.pointIndex, 1);
  const CTrackPoint& moved = tracks().TrackLogs()[0]->Points()[1];
  DmsAngle lat, lon;
  moved.GetPosition(lat, lon, Datum::Wgs84);
  const GeoPosition want = *m_view->frame().PixelToGeo(to.x(), to.y(), Datum::Wgs84);
  EXPECT_DOUBLE_EQ(lat.TotalSeconds(), want.latitude.TotalSeconds());
  EXPECT_DOUBLE_EQ(lon.TotalSeconds(), want.longitude.TotalSeconds());
  EXPECT_EQ(tracks().IsModified(), 1);
  // The rebuilt map has the point at its new place, still selected.
  moveTo(to);
  EXPECT_EQ(m_view->hoveredTrekItem().kind, ETrekHitKind::TrackPoint);
  EXPECT_EQ(m_view->hoveredTrekItem().point, 1);

  // Without the window a drag pans and moves nothing.
  pressButton(m_view->trekEditing().trackLogWindow(), QDialogButtonBox::Ok);
  const CTrackPoint kept = tracks().TrackLogs()[0]->Points()[1];
  dragFrom(to, to + QPoint(30, 0));
  EXPECT_TRUE(tracks().TrackLogs()[0]->Points()[1] == kept);
}

TEST_F(TrekEditingInView, FunctionKeysHideAndShowTrekData) {
  const struct {
    const char* name;
    Qt::Key key;
    int command;
    QPoint probe;       ///< hovered while shown
    QPoint pixel;       ///< drawn while shown
    QRgb colour;
    ETrekHitKind kind;
  } rows[] = {
      {"F5 waypoints", Qt::Key_F5, cmd::ShowWaypoints, m_flag, m_peak - QPoint(0, 1), qRgb(128, 0, 0),
       ETrekHitKind::Waypoint},
      {"F6 track logs", Qt::Key_F6, cmd::ShowTracks, {350, 404}, {350, 400}, qRgb(198, 0, 79), ETrekHitKind::TrackLog},
  };
  m_view->setFocus();
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    moveTo(r.probe);
    ASSERT_EQ(m_view->hoveredTrekItem().kind, r.kind);
    QTest::keyClick(m_view.get(), r.key);
    SCommandState state;
    ASSERT_TRUE(m_view->onUpdateCommand(r.command, state));
    EXPECT_FALSE(state.checked);
    // Hidden at once: the item under the mouse is no longer hovered, nor drawn, nor found.
    EXPECT_EQ(m_view->hoveredTrekItem().kind, ETrekHitKind::None);
    EXPECT_NE(vp()->grab().toImage().pixel(client(r.pixel)), r.colour);
    moveTo(r.probe + QPoint(1, 0));
    EXPECT_EQ(m_view->hoveredTrekItem().kind, ETrekHitKind::None);

    QTest::keyClick(m_view.get(), r.key);
    ASSERT_TRUE(m_view->onUpdateCommand(r.command, state));
    EXPECT_TRUE(state.checked);
    EXPECT_EQ(vp()->grab().toImage().pixel(client(r.pixel)), r.colour);
    moveTo(r.probe);
    EXPECT_EQ(m_view->hoveredTrekItem().kind, r.kind);
  }
}

}  // namespace
