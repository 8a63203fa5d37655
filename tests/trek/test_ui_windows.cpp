// The trek editing windows driven through their fields and buttons: adding with the duplicate
// question, refused input, editing in the Tokyo datum, the track log texts, the group name
// windows and the remembered window position.
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/Codepage.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"
#include "trek/ui/CDlgGroupName.h"
#include "trek/ui/CDlgTrackLog.h"
#include "trek/ui/CDlgWaypoint.h"

using platform::EPromptAnswer;

namespace {

class TrekEditWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&profile);
    platform::setPrompt(&prompt);
    // A waypoint group with the peak at 35°0'0" N 139°0'0" E (WGS-84) and a track log group.
    auto wp = std::make_unique<CTrekData>();
    wp->SetKind(kTrekWaypointGroup);
    wp->SetGroupName("Walk");
    auto peak = std::make_unique<CMarkerPoint>();
    peak->name = "Peak";
    peak->SetPosition(DmsAngle(35, 0, 0.0), DmsAngle(139, 0, 0.0), Datum::Wgs84);
    wp->AppendWaypoint(std::move(peak));
    list.AppendGroup(std::move(wp));
    auto tk = std::make_unique<CTrekData>();
    tk->SetKind(kTrekTrackLogGroup);
    tk->SetGroupName("Tracks");
    auto log = std::make_unique<CTrackLog>();
    log->name = "Ridge";
    tk->AppendTrackLog(std::move(log));
    list.AppendGroup(std::move(tk));
  }
  void TearDown() override {
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }

  static void type(QWidget& dlg, const char* name, const QString& text) {
    auto* edit = dlg.findChild<QLineEdit*>(name);
    ASSERT_TRUE(edit) << name;
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  static void typePosition(QWidget& dlg, const QStringList& six) {
    const char* names[] = {"latDeg", "latMin", "latSec", "lonDeg", "lonMin", "lonSec"};
    for (int i = 0; i < 6; ++i) type(dlg, names[i], six[i]);
  }
  static void ok(QWidget& dlg) {
    QTest::mouseClick(dlg.findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok), Qt::LeftButton);
  }
  CMarkerPoint& peak() { return *list.Group(0)->Waypoints()[0]; }

  platform::CMemoryProfile profile;
  platform::CScriptedPrompt prompt;
  CTrekGroupList list;
};

TEST_F(TrekEditWindows, AddWindowAsksAboutTheDuplicateAndStaysOpenOnNo) {
  ASSERT_TRUE(list.Select({kTrekNone, 0, nullptr, nullptr, -1}));
  std::int32_t markerDatum = 1;
  CDlgWaypoint dlg(list, CDlgWaypoint::EMode::Add);
  dlg.setMarkerDatumSetting(&markerDatum);
  int assigned = 0;
  dlg.setSheetAssigner([&](CMarkerPoint&) { ++assigned; });
  QSignalSpy completed(&dlg, &CDlgWaypoint::completed);
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("ウェイポイントの追加"));
  EXPECT_TRUE(dlg.findChild<QRadioButton*>("datumTokyo")->isChecked());
  EXPECT_TRUE(list.IsLocked());

  QTest::mouseClick(dlg.findChild<QRadioButton*>("datumWgs84"), Qt::LeftButton);
  typePosition(dlg, {"35", "0", "0", "139", "0", "0"});
  type(dlg, "nameEdit", "Twin");

  prompt.push(EPromptAnswer::No);
  ok(dlg);
  ASSERT_EQ(prompt.texts().size(), 1u);
  EXPECT_EQ(prompt.texts()[0],
            "このポイントグループには、同じ経緯度のポイント [Peak] が既に存在します。\r\nここにポイント [Twin] を追加しますか?");
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(list.Group(0)->Waypoints().size(), 1u);
  EXPECT_EQ(completed.count(), 0);

  prompt.push(EPromptAnswer::Yes);
  ok(dlg);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(completed.count(), 1);
  ASSERT_EQ(list.Group(0)->Waypoints().size(), 2u);
  const CMarkerPoint& twin = *list.Group(0)->Waypoints()[1];
  EXPECT_EQ(twin.name, "Twin");
  EXPECT_TRUE(twin.latitude == DmsAngle(35, 0, 0.0));
  EXPECT_EQ(list.SelectedWaypoint(), &twin);
  EXPECT_TRUE(list.Group(0)->IsModified());
  EXPECT_EQ(assigned, 2);
  EXPECT_EQ(markerDatum, 0);
  EXPECT_FALSE(list.IsLocked());
  EXPECT_TRUE(profile.contains("Wnd_Pos", "Dlg_Add/EditPoint_left"));

  // The next window starts in the datum chosen last.
  CDlgWaypoint next(list, CDlgWaypoint::EMode::Add);
  next.setMarkerDatumSetting(&markerDatum);
  next.show();
  EXPECT_TRUE(next.findChild<QRadioButton*>("datumWgs84")->isChecked());
}

TEST_F(TrekEditWindows, RefusedInputKeepsTheWindowOpen) {
  ASSERT_TRUE(list.Select({kTrekNone, 0, nullptr, nullptr, -1}));
  const struct { const char* name; QStringList position; const char* pointName; std::string message; } cases[] = {
      {"latitude below 23", {"22", "59", "59", "139", "0", "0"}, "A", "正しい経緯度を入力してください。"},
      {"longitude above 154", {"35", "0", "0", "154", "0", "1"}, "A", "正しい経緯度を入力してください。"},
      {"minutes 60", {"35", "60", "0", "139", "0", "0"}, "A", "正しい経緯度を入力してください。"},
      {"no name", {"35", "0", "0", "139", "0", "0"}, "", "ポイント名を入力して下さい"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    prompt.clear();
    CDlgWaypoint dlg(list, CDlgWaypoint::EMode::Add);
    dlg.show();
    typePosition(dlg, c.position);
    type(dlg, "nameEdit", QString::fromUtf8(c.pointName));
    ok(dlg);
    ASSERT_EQ(prompt.texts().size(), 1u);
    EXPECT_EQ(prompt.texts()[0], c.message);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(list.Group(0)->Waypoints().size(), 1u);
  }

  // No waypoint group chosen: nothing is added and the window stays.
  ASSERT_TRUE(list.Select({kTrekNone, 1, nullptr, nullptr, -1}));
  prompt.clear();
  CDlgWaypoint dlg(list, CDlgWaypoint::EMode::Add);
  dlg.show();
  typePosition(dlg, {"36", "0", "0", "139", "0", "0"});
  type(dlg, "nameEdit", "B");
  ok(dlg);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_TRUE(prompt.texts().empty());
}

TEST_F(TrekEditWindows, EditWindowShowsTheChosenDatumAndMovesThePoint) {
  ASSERT_TRUE(list.Select({kTrekWaypoint, 0, &peak(), nullptr, -1}));
  std::int32_t markerDatum = 1;
  CDlgWaypoint dlg(list, CDlgWaypoint::EMode::Edit);
  dlg.setMarkerDatumSetting(&markerDatum);
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("ウェイポイントの編集"));
  DmsAngle tLat, tLon;
  peak().GetPosition(tLat, tLon, Datum::Tokyo);
  EXPECT_EQ(dlg.findChild<QLineEdit*>("latSec")->text().toStdString(), tLat.FormatFields().seconds);
  EXPECT_EQ(dlg.findChild<QLineEdit*>("lonMin")->text().toStdString(), tLon.FormatFields().minutes);
  EXPECT_EQ(dlg.findChild<QLineEdit*>("nameEdit")->text(), QStringLiteral("Peak"));

  // A position picked on the map in WGS-84 arrives in the window's Tokyo fields.
  dlg.SetPosition(DmsAngle(36, 0, 0.0), DmsAngle(138, 0, 0.0), Datum::Wgs84);
  dlg.findChild<QLineEdit*>("nameEdit")->setText(QStringLiteral("北岳"));  // typed through an input method
  QTest::keyClicks(dlg.findChild<QPlainTextEdit*>("commentEdit"), "snow");
  ok(dlg);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(peak().name, platform::cp932::fromUtf8("北岳").text);
  EXPECT_EQ(peak().comment, "snow");
  EXPECT_NEAR(peak().latitude.TotalSeconds(), DmsAngle(36, 0, 0.0).TotalSeconds(), 0.01);
  EXPECT_NEAR(peak().longitude.TotalSeconds(), DmsAngle(138, 0, 0.0).TotalSeconds(), 0.01);
  EXPECT_TRUE(list.Group(0)->IsModified());
  EXPECT_EQ(list.Group(0)->Waypoints().size(), 1u);
}

TEST_F(TrekEditWindows, SwitchingTheDatumKeepsThePointWhereItIs) {
  // Seconds with more places than the fields show.
  const DmsAngle lat(35, 21, 12.345678), lon(138, 43, 38.765432);
  peak().SetPosition(lat, lon, Datum::Wgs84);
  CMarkerPoint typedTokyo;  // 35°40'0" N 139°45'0" E typed in the Tokyo datum
  typedTokyo.SetPosition(DmsAngle(35, 40, 0.0), DmsAngle(139, 45, 0.0), Datum::Tokyo);
  const struct {
    const char* name;
    std::int32_t opensWith;  // "MarkerDatum"
    bool typeTokyo;          // type a Tokyo position before switching
    int clicks;              // datum buttons clicked, alternating
    const CMarkerPoint* want;
  } kCases[] = {
      {"Tokyo to WGS-84", 1, false, 1, &peak()},
      {"WGS-84 to Tokyo", 0, false, 1, &peak()},
      {"back and forth", 1, false, 5, &peak()},
      {"typed in Tokyo, then WGS-84", 1, true, 1, &typedTokyo},
      {"typed in Tokyo, there and back", 1, true, 2, &typedTokyo},
  };
  const DmsAngle wantLat[] = {lat, lat, lat, typedTokyo.latitude, typedTokyo.latitude};
  const DmsAngle wantLon[] = {lon, lon, lon, typedTokyo.longitude, typedTokyo.longitude};
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const auto& c = kCases[i];
    SCOPED_TRACE(c.name);
    peak().SetPosition(lat, lon, Datum::Wgs84);
    ASSERT_TRUE(list.Select({kTrekWaypoint, 0, &peak(), nullptr, -1}));
    std::int32_t markerDatum = c.opensWith;
    CDlgWaypoint dlg(list, CDlgWaypoint::EMode::Edit);
    dlg.setMarkerDatumSetting(&markerDatum);
    dlg.show();
    if (c.typeTokyo) typePosition(dlg, {"35", "40", "0", "139", "45", "0"});
    Datum chosen = c.opensWith == 0 ? Datum::Wgs84 : Datum::Tokyo;
    for (int k = 0; k < c.clicks; ++k) {
      chosen = chosen == Datum::Wgs84 ? Datum::Tokyo : Datum::Wgs84;
      QTest::mouseClick(dlg.findChild<QRadioButton*>(chosen == Datum::Wgs84 ? "datumWgs84" : "datumTokyo"),
                        Qt::LeftButton);
    }
    // The fields show the same point in the datum now chosen.
    DmsAngle shownLat, shownLon;
    CMarkerPoint probe;
    probe.SetPosition(wantLat[i], wantLon[i], Datum::Wgs84);
    probe.GetPosition(shownLat, shownLon, chosen);
    EXPECT_EQ(dlg.findChild<QLineEdit*>("latSec")->text().toStdString(), shownLat.FormatFields().seconds);
    EXPECT_EQ(dlg.findChild<QLineEdit*>("lonSec")->text().toStdString(), shownLon.FormatFields().seconds);
    ok(dlg);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(markerDatum, static_cast<std::int32_t>(chosen));
    EXPECT_NEAR(peak().latitude.TotalSeconds(), wantLat[i].TotalSeconds(), 0.001);
    EXPECT_NEAR(peak().longitude.TotalSeconds(), wantLon[i].TotalSeconds(), 0.001);
  }

  // Fields that hold no position yet are left as they are.
  ASSERT_TRUE(list.Select({kTrekNone, 0}));
  CDlgWaypoint add(list, CDlgWaypoint::EMode::Add);
  add.show();
  type(add, "latDeg", "35");
  QTest::mouseClick(add.findChild<QRadioButton*>("datumWgs84"), Qt::LeftButton);
  EXPECT_EQ(add.findChild<QLineEdit*>("latDeg")->text(), QStringLiteral("35"));
  EXPECT_EQ(add.findChild<QLineEdit*>("latMin")->text(), QString());
  add.reject();
}

TEST_F(TrekEditWindows, TypedCommentIsStoredWithCrlfAndShownWithLf) {
  ASSERT_TRUE(list.Select({kTrekWaypoint, 0, &peak(), nullptr, -1}));
  CDlgWaypoint dlg(list, CDlgWaypoint::EMode::Edit);
  dlg.show();
  auto* comment = dlg.findChild<QPlainTextEdit*>("commentEdit");
  QTest::keyClicks(comment, "north ridge");
  QTest::keyClick(comment, Qt::Key_Return);
  QTest::keyClicks(comment, "snow");
  ok(dlg);
  EXPECT_EQ(peak().comment, "north ridge\r\nsnow");
  dlg.show();
  EXPECT_EQ(comment->toPlainText(), QStringLiteral("north ridge\nsnow"));
  ok(dlg);
  EXPECT_EQ(peak().comment, "north ridge\r\nsnow");
}

TEST_F(TrekEditWindows, TrackLogWindowWritesItsTexts) {
  CTrackLog* ridge = list.Group(1)->TrackLogs()[0].get();
  ASSERT_TRUE(list.Select({kTrekTrackLog, 1, nullptr, ridge, -1}));
  CDlgTrackLog dlg(list);
  QSignalSpy completed(&dlg, &CDlgTrackLog::completed);
  dlg.show();
  EXPECT_TRUE(list.IsTrackLogEditing());
  EXPECT_EQ(dlg.findChild<QLineEdit*>("nameEdit")->text(), QStringLiteral("Ridge"));
  type(dlg, "nameEdit", "Ridge walk");
  type(dlg, "gpsNameEdit", "RIDGE");
  type(dlg, "desc1Edit", "one");
  type(dlg, "desc2Edit", "two");
  ok(dlg);
  EXPECT_EQ(completed.count(), 1);
  EXPECT_EQ(ridge->name, "Ridge walk");
  EXPECT_EQ(ridge->gpsName, "RIDGE");
  EXPECT_EQ(ridge->description2, "two");
  EXPECT_TRUE(list.Group(1)->IsModified());
  EXPECT_FALSE(list.IsTrackLogEditing());
}

TEST_F(TrekEditWindows, GroupNameWindows) {
  std::unique_ptr<CDlgGroupName> created(CDlgGroupName::NewGroup(list, kTrekTrackLogGroup));
  created->show();
  QPushButton* okButton = created->findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok);
  const struct { const char* typed; bool enabled; } rows[] = {{"", false}, {"   ", false}, {" x", true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.typed);
    created->nameEdit()->setText(QString::fromUtf8(r.typed));
    EXPECT_EQ(okButton->isEnabled(), r.enabled);
  }
  created->nameEdit()->setText(QStringLiteral("秋の山"));
  QTest::mouseClick(okButton, Qt::LeftButton);
  EXPECT_EQ(created->result(), QDialog::Accepted);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(created->resultGroup(), 2);
  EXPECT_EQ(list.Group(2)->Kind(), kTrekTrackLogGroup);
  EXPECT_EQ(list.Group(2)->GroupName(), platform::cp932::fromUtf8("秋の山").text);
  EXPECT_TRUE(list.Group(2)->IsModified());

  std::unique_ptr<CDlgGroupName> rename(CDlgGroupName::Rename(list, 0));
  rename->show();
  EXPECT_EQ(rename->nameEdit()->text(), QStringLiteral("Walk"));
  rename->nameEdit()->clear();
  QTest::mouseClick(rename->findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok), Qt::LeftButton);
  ASSERT_EQ(prompt.texts().size(), 1u);
  EXPECT_EQ(prompt.texts()[0], "グループ名を入力して下さい。　");
  EXPECT_TRUE(rename->isVisible());
  QTest::keyClicks(rename->nameEdit(), "Hike");
  QTest::mouseClick(rename->findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok), Qt::LeftButton);
  EXPECT_FALSE(rename->isVisible());
  EXPECT_EQ(list.Group(0)->GroupName(), "Hike");
}

TEST_F(TrekEditWindows, RememberedPositionOutOfReachFallsBackToTheCorner) {
  const struct { const char* name; int left, top; QPoint want; } cases[] = {
      {"reachable", 40, 60, QPoint(40, 60)},
      {"far right", 100000, 60, QPoint(0, 0)},
      {"above", 40, -500, QPoint(0, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    profile.writeInt("Wnd_Pos", "Dlg_Add/EditPoint_left", c.left);
    profile.writeInt("Wnd_Pos", "Dlg_Add/EditPoint_top", c.top);
    CDlgTrackLog dlg(list);
    dlg.show();
    EXPECT_EQ(dlg.pos(), c.want);
    dlg.reject();
  }
}

}  // namespace
