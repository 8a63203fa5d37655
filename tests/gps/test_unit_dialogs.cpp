// The unit dialogs driven like a user would, offscreen, against fake units: the unit list
// follows units coming and going, a unit's items are read off the user-interface thread and
// added to groups with the duplicate question and undo, and groups are written back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <memory>
#include <mutex>

#include "FakeUnit.h"
#include "gps/GarminUnit.h"
#include "gps/ui/CDlgUnitTransfer.h"
#include "platform/IPrompt.h"
#include "trek/CMarkerPoint.h"
#include "trek/CRoute.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekGroupList.h"
#include "trek/GpxFile.h"

namespace fs = std::filesystem;

namespace {

/// Units the dialogs see: the test plugs them in and out. The state is shared with the scans,
/// which may still run on a worker after the test's dialog is gone.
struct SFakeMounts {
  struct SState {
    std::mutex lock;
    std::vector<gps::SVolumeCandidate> volumes;
  };
  std::shared_ptr<SState> state = std::make_shared<SState>();
  gps::CGarminUnitWatcher::Scan scan() const {
    return [state = state] {
      std::lock_guard<std::mutex> g(state->lock);
      return gps::FindGarminUnits(state->volumes);
    };
  }
  void plug(const fs::path& root, const std::string& name) {
    std::lock_guard<std::mutex> g(state->lock);
    state->volumes.push_back({root, name, gps::EUnitKind::Storage, false});
  }
  void unplugAll() {
    std::lock_guard<std::mutex> g(state->lock);
    state->volumes.clear();
  }
};

/// With VANTORIA_SHOT_DIR set, the dialog as it looks now, as a PNG there (for the manual).
void shoot(QWidget& w, const char* name) {
  const QByteArray dir = qgetenv("VANTORIA_SHOT_DIR");
  if (!dir.isEmpty()) w.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

template <class T> T* child(QWidget& w, const char* name) {
  T* c = w.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(c, nullptr) << name;
  return c;
}

}  // namespace

TEST(UnitDialogs, DownloadFollowsUnitsAndAddsWithUndo) {
  QTemporaryDir dir;
  const fs::path base(dir.path().toStdString());
  unittest::makeEtrex(base / "etrex");
  unittest::makeGpsmap(base / "gpsmap");
  SFakeMounts mounts;
  CTrekGroupList groups;
  const int wg = groups.NewGroup(CTrekData::kWaypointGroup, "Points");
  const int tg = groups.NewGroup(CTrekData::kTrackLogGroup, "Walks");
  platform::CScriptedPrompt prompt;
  platform::setPrompt(&prompt);

  CDlgUnitDownload dlg(groups, mounts.scan());
  dlg.show();
  auto* units = child<QComboBox>(dlg, "unitList");
  auto* read = child<QPushButton>(dlg, "readButton");
  auto* status = child<QLabel>(dlg, "unitStatus");
  QTRY_VERIFY(dlg.watcher().ready());
  EXPECT_EQ(units->count(), 0);
  EXPECT_FALSE(read->isEnabled());
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("接続されたGarmin機器が見つかりません")));

  // Plugged in while the dialog is open: the list follows.
  mounts.plug(base / "etrex", "GARMIN");
  mounts.plug(base / "gpsmap", "");
  dlg.watcher().refresh();
  QTRY_COMPARE(units->count(), 2);
  EXPECT_TRUE(units->itemText(0).startsWith(QStringLiteral("eTrex 30")));
  EXPECT_TRUE(read->isEnabled());

  QTest::mouseClick(read, Qt::LeftButton);
  QTRY_VERIFY(!dlg.reading());
  auto* rows = child<QTreeWidget>(dlg, "itemList");
  ASSERT_EQ(rows->topLevelItemCount(), 7);  // 5 waypoints, then 2 track logs
  EXPECT_EQ(rows->topLevelItem(5)->text(1), QStringLiteral("Current 1"));
  EXPECT_EQ(rows->topLevelItem(5)->text(2), QStringLiteral("30"));
  EXPECT_EQ(rows->topLevelItem(5)->text(5), QStringLiteral("Garmin/GPX/Current/Current.gpx"));
  EXPECT_EQ(status->text(), QStringLiteral("3 個のGPXファイルを読み込みました。"));

  shoot(dlg, "usb-download.png");
  // Today's track and one waypoint go into the open groups.
  rows->topLevelItem(0)->setSelected(true);
  rows->topLevelItem(5)->setSelected(true);
  QTest::mouseClick(child<QPushButton>(dlg, "addButton"), Qt::LeftButton);
  ASSERT_EQ(groups.Group(wg)->Waypoints().size(), 1u);
  ASSERT_EQ(groups.Group(tg)->TrackLogs().size(), 1u);
  EXPECT_EQ(groups.Group(tg)->TrackLogs()[0]->Points().size(), 30u);
  EXPECT_TRUE(groups.Group(tg)->IsModified());

  // Taking them back asks once.
  prompt.clear();
  prompt.push(platform::EPromptAnswer::Ok);
  QTest::mouseClick(child<QPushButton>(dlg, "undoButton"), Qt::LeftButton);
  ASSERT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(prompt.requests()[0].text, "機器から読み込んだ項目の追加をすべて元に戻しますか?");
  EXPECT_TRUE(groups.Group(wg)->Waypoints().empty());
  EXPECT_TRUE(groups.Group(tg)->TrackLogs().empty());

  // Unplugged: gone from the list.
  mounts.unplugAll();
  dlg.watcher().refresh();
  QTRY_COMPARE(units->count(), 0);
  dlg.reject();
  platform::setPrompt(nullptr);
}

TEST(UnitDialogs, UploadWritesCheckedGroupsAndTellsToEject) {
  QTemporaryDir dir;
  const fs::path base(dir.path().toStdString());
  unittest::makeEtrex(base / "etrex");
  SFakeMounts mounts;
  mounts.plug(base / "etrex", "GARMIN");
  CTrekGroupList groups;
  const int tg = groups.NewGroup(CTrekData::kTrackLogGroup, "Hut walk");
  groups.AddTrackLog(tg, std::move(unittest::trackGroup("x", 1, 12)->TrackLogs()[0]), false, false);
  (void)groups.NewGroup(CTrekData::kWaypointGroup, "Peaks");
  const int rg = groups.NewGroup(CTrekData::kRouteGroup, "Plan");
  {
    auto route = std::make_unique<CRoute>();
    route->name = "Ridge";
    for (int i = 0; i < 3; ++i) {
      CMarkerPoint p;
      p.name = "P" + std::to_string(i);
      p.SetPosition(DmsAngle::FromDegrees(35.3 + 0.01 * i), DmsAngle::FromDegrees(138.7), Datum::Wgs84);
      route->points.push_back(p);
    }
    groups.Group(rg)->Routes().push_back(std::move(route));
  }
  platform::CScriptedPrompt prompt;
  platform::setPrompt(&prompt);

  CDlgUnitUpload dlg(groups, mounts.scan());
  dlg.show();
  auto* list = child<QTreeWidget>(dlg, "groupList");
  auto* write = child<QPushButton>(dlg, "writeButton");
  QTRY_VERIFY(dlg.watcher().ready());
  ASSERT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(list->topLevelItem(2)->text(1), QStringLiteral("ルート"));
  for (int i = 0; i < 3; ++i) list->topLevelItem(i)->setCheckState(0, Qt::Checked);
  QTRY_VERIFY(write->isEnabled());
  shoot(dlg, "usb-upload.png");
  QTest::mouseClick(write, Qt::LeftButton);
  ASSERT_NE(dlg.lastOutcome(), nullptr);
  ASSERT_TRUE(dlg.lastOutcome()->ok()) << dlg.lastOutcome()->error;
  EXPECT_EQ(fs::path(dlg.lastOutcome()->written[0]).filename(), "Hut walk.gpx");
  EXPECT_EQ(fs::path(dlg.lastOutcome()->written[1]).filename(), "Peaks.gpx");
  ASSERT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(prompt.requests()[0].text,
            "機器「eTrex 30」へ書き込みました:\r\n  Garmin/GPX/Hut walk.gpx\r\n  Garmin/GPX/Peaks.gpx\r\n"
            "  Garmin/GPX/Plan.gpx\r\n\r\n"
            "ケーブルを抜く前に、機器の取り出し（アンマウント）を行って下さい。");
  const SGpxReadResult back = ReadGpxFile(base / "etrex" / "Garmin" / "GPX" / "Hut walk.gpx");
  ASSERT_TRUE(back.tracks);
  EXPECT_EQ(back.tracks->TrackLogs()[0]->Points().size(), 12u);
  const SGpxReadResult plan = ReadGpxFile(base / "etrex" / "Garmin" / "GPX" / "Plan.gpx");
  ASSERT_TRUE(plan.routes);
  ASSERT_EQ(plan.routes->Routes().size(), 1u);
  EXPECT_EQ(plan.routes->Routes()[0]->points.size(), 3u);
  dlg.reject();
  platform::setPrompt(nullptr);
}
