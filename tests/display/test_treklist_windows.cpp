// The trek data list and view driven like a user would: files opened through the open dialog,
// nodes clicked in the tree, properties read in the view, sort commands, the track log window
// deleting a point, and closing with unsaved changes.
#include <QAction>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "app/TrekCommands.h"
#include "common/TestUtil.h"
#include "display/ui/CTrekDataList.h"
#include "display/ui/CTrekDataView.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"
#include "trek/ui/CDlgTrackLog.h"
#include "trek/ui/CDlgWaypoint.h"

namespace fs = std::filesystem;
using platform::EPromptAnswer;

namespace {

std::string sjis(const char* utf8) { return platform::cp932::fromUtf8(utf8).text; }

// Waypoints: a peak at exactly 35°0'0" N 139°0'0" E (WGS-84), a hut and a pass, in that file order.
std::unique_ptr<CTrekData> waypointGroup() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(kTrekWaypointGroup);
  g->SetGroupName(sjis("山行"));
  const struct { const char* name; int latSec; } rows[] = {{"Peak", 0}, {"Hut", 30}, {"Pass", 45}};
  for (const auto& r : rows) {
    auto p = std::make_unique<CMarkerPoint>();
    p->name = r.name;
    p->SetPosition(DmsAngle(35, 0, r.latSec), DmsAngle(139, 0, 0.0), Datum::Wgs84);
    g->AppendWaypoint(std::move(p));
  }
  g->Waypoints()[0]->sheetName25000 = sjis("丹沢山");
  g->Waypoints()[0]->comment = "summit\r\ncairn";
  return g;
}

// Track logs: "Zeta" starts later than "Alpha" but comes first in the file; Alpha has three
// points with altitudes 100, 200, 300 m.
std::unique_ptr<CTrekData> trackGroup() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(kTrekTrackLogGroup);
  g->SetGroupName("Tracks");
  const struct { const char* name; std::int32_t start; int points; } logs[] = {{"Zeta", 1000000, 2}, {"Alpha", 500000, 3}};
  for (const auto& l : logs) {
    auto log = std::make_unique<CTrackLog>();
    log->name = l.name;
    for (int i = 0; i < l.points; ++i) {
      CTrackPoint pt;
      pt.number = i;
      pt.altitude = 100.0 * (i + 1);
      pt.SetTime(TrekTime(l.start + 60 * i));
      pt.SetPosition(DmsAngle(35, 1, 10.0 * i), DmsAngle(139, 1, 0.0), Datum::Wgs84);
      log->AppendPoint(pt);
    }
    g->AppendTrackLog(std::move(log));
  }
  return g;
}

class TrekWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&profile);
    platform::setPrompt(&prompt);
    platform::setFileDialog(&files);
    settings.setSaveOnDestroy(false);
    list.setSettings(&settings);
    view.setSettings(&settings);
    list.resize(300, 600);
    list.show();
    view.resize(300, 400);
    view.show();
    ASSERT_TRUE(dir.isValid());
    wpPath = fs::path(dir.path().toStdString()) / "walk.pmd";
    tkPath = fs::path(dir.path().toStdString()) / "tracks.ptd";
    testutil::writeFile(wpPath, WriteTrekBytes(*waypointGroup()));
    testutil::writeFile(tkPath, WriteTrekBytes(*trackGroup()));
  }
  void TearDown() override {
    platform::setFileDialog(nullptr);
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }

  void openBoth() {
    files.push({true, {wpPath, tkPath}, 0, ""});
    ASSERT_EQ(commands.OpenTrekFiles(0), 2);
  }
  QTreeWidget* tree() const { return list.tree(); }
  QTreeWidgetItem* node(int group, int child = -1, int point = -1) const {
    QTreeWidgetItem* n = tree()->topLevelItem(group);
    if (n && child >= 0) n = n->child(child);
    if (n && point >= 0) {
      n->setExpanded(true);
      n = n->child(point);
    }
    return n;
  }
  void click(QTreeWidgetItem* item) const {
    ASSERT_TRUE(item);
    tree()->scrollToItem(item);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(item).center());
  }
  QStringList childTexts(int group) const {
    QStringList out;
    for (int i = 0; i < node(group)->childCount(); ++i) out << node(group)->child(i)->text(0);
    return out;
  }

  QTemporaryDir dir;
  fs::path wpPath, tkPath;
  platform::CMemoryProfile profile;
  platform::CScriptedPrompt prompt;
  platform::CScriptedFileDialog files;
  AppSettings settings;
  CVantoriaDoc doc;
  CTrekCommands commands{doc, &settings};
  CTrekDataList list{doc};
  CTrekDataView view{doc};
};

TEST_F(TrekWindows, OpenDialogRemembersFolderAndFilterAndReportsUnreadableFiles) {
  profile.writeInt("Settings", "TkDOpenDlg_Filter", 1);
  const fs::path broken = fs::path(dir.path().toStdString()) / "broken.pmd";
  testutil::writeFile(broken, std::string("not a trek file"));
  files.push({true, {wpPath, broken, tkPath}, 2, ""});
  EXPECT_EQ(commands.OpenTrekFiles(0), 2);

  ASSERT_EQ(files.requests().size(), 1u);
  const auto& req = files.requests()[0];
  EXPECT_EQ(req.title, "トレックデータファイルを開く");
  EXPECT_TRUE(req.multiSelect);
  EXPECT_EQ(req.filterIndex, 1);
  EXPECT_EQ(req.filter, CTrekCommands::kFilterAll);
  EXPECT_EQ(profile.readString("FileDlgSettings", "LoadPoint", ""), platform::pathToUtf8(tkPath.parent_path()));
  EXPECT_EQ(profile.readInt("Settings", "TkDOpenDlg_Filter", -1), 2);
  // The reader's own message comes first, then the one naming the file.
  ASSERT_FALSE(prompt.texts().empty());
  EXPECT_EQ(prompt.texts().back(), CTrekGroupList::OpenFailedText(broken));

  ASSERT_EQ(tree()->topLevelItemCount(), 2);
  EXPECT_EQ(node(0)->text(0), QStringLiteral("山行 (3points)"));
  EXPECT_EQ(node(1)->text(0), QStringLiteral("Tracks (2tracks)"));
  EXPECT_EQ(node(1, 1)->text(0), QStringLiteral("Alpha (3points)"));
  EXPECT_EQ(node(1, 1, 2)->text(0), QStringLiteral("No.2"));

  // One-kind dialogs neither read nor write the filter index.
  files.pushCancel();
  EXPECT_EQ(commands.OpenTrekFiles(kTrekTrackLogGroup), 0);
  EXPECT_EQ(files.requests().back().filter, CTrekCommands::kFilterTrackLogs);
  EXPECT_EQ(files.requests().back().filterIndex, 0);
}

TEST_F(TrekWindows, WaypointChosenInTreeIsShownInTheDisplayDatum) {
  openBoth();
  const CMarkerPoint& peak = *doc.TrekGroups().Group(0)->Waypoints()[0];
  DmsAngle tLat, tLon;
  peak.GetPosition(tLat, tLon, Datum::Tokyo);
  const auto dms = [](const DmsAngle& a) {
    const SDmsFields f = a.FormatFields();
    return QString::fromStdString(f.degrees + "度" + f.minutes + "分" + f.seconds + "秒");
  };
  const struct { const char* name; int datum; QString lat, lon, latLabel, lonLabel; } cases[] = {
      {"Tokyo", 1, dms(tLat), dms(tLon), QStringLiteral("北緯(Tokyo)"), QStringLiteral("東経(Tokyo)")},
      {"WGS-84", 0, QStringLiteral("35度0分0.00秒"), QStringLiteral("139度0分0.00秒"), QStringLiteral("北緯(WGS-84)"),
       QStringLiteral("東経(WGS-84)")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings.dispDatum = c.datum;
    click(node(0, 1));  // Hut, then the peak: the view follows each choice
    click(node(0, 0));
    EXPECT_EQ(doc.TrekGroups().Selection().kind, kTrekWaypoint);
    EXPECT_EQ(doc.TrekGroups().SelectedWaypoint(), &peak);
    EXPECT_TRUE(view.table()->isEnabled());
    EXPECT_EQ(view.label(0), QStringLiteral("ポイント名"));
    EXPECT_EQ(view.value(0), QStringLiteral("Peak"));
    EXPECT_EQ(view.label(1), c.latLabel);
    EXPECT_EQ(view.label(2), c.lonLabel);
    EXPECT_EQ(view.value(1), c.lat);
    EXPECT_EQ(view.value(2), c.lon);
    EXPECT_EQ(view.value(3), QStringLiteral("1/25000[丹沢山] "));
    EXPECT_EQ(view.commentBox()->toPlainText(), QStringLiteral("summit\ncairn"));
    EXPECT_TRUE(view.commentBox()->isEnabled());
  }
  EXPECT_NE(tLat.TotalSeconds(), DmsAngle(35, 0, 0.0).TotalSeconds());

  // A group node names no item: the view empties.
  click(node(1));
  EXPECT_EQ(doc.TrekGroups().Selection().kind, kTrekTrackLogGroup);
  EXPECT_FALSE(view.table()->isEnabled());
  EXPECT_EQ(view.value(0), QString());
}

TEST_F(TrekWindows, TrackRowsAndSelectionFromElsewhereExpandTheLog) {
  openBoth();
  CTrackLog* alpha = doc.TrekGroups().Group(1)->TrackLogs()[1].get();
  ASSERT_TRUE(doc.TrekGroups().Select({kTrekTrackPoint, 1, nullptr, alpha, 2}));
  QTreeWidgetItem* logNode = node(1, 1);
  EXPECT_TRUE(logNode->isExpanded());
  EXPECT_EQ(tree()->currentItem(), logNode->child(2));
  const QString want[][2] = {{"ポイントNO.", "No.2"}, {"日付", ""}, {"時刻", ""}, {"北緯(Tokyo)", ""}, {"東経(Tokyo)", ""}, {"高度", "300.0m"}};
  for (int r = 0; r < CTrekDataView::kRows; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(view.label(r), want[r][0]);
    if (!want[r][1].isEmpty()) {
      EXPECT_EQ(view.value(r), want[r][1]);
    }
  }
  std::string date, time;
  alpha->Points()[2].GetTime().FormatDateAndTime(date, time);
  EXPECT_EQ(view.value(1), QString::fromStdString(platform::cp932::toUtf8Lossy(date)));

  click(logNode);
  EXPECT_EQ(view.label(1), QStringLiteral("開始日時"));
  EXPECT_EQ(view.label(5), QString());
  alpha->Points()[0].GetTime().FormatDateAndTime(date, time);
  EXPECT_EQ(view.value(1), QString::fromStdString(platform::cp932::toUtf8Lossy(date + " " + time)));
}

TEST_F(TrekWindows, SortCommandsReorderTheChildren) {
  openBoth();
  const struct { const char* name; int command; int group; QStringList want; } cases[] = {
      {"tracks by time", cmd::SortTracksByTime, 1, {"Alpha (3points)", "Zeta (2points)"}},
      {"tracks by name", cmd::SortTracksByName, 1, {"Alpha (3points)", "Zeta (2points)"}},
      {"tracks in file order", cmd::SortTracksNone, 1, {"Zeta (2points)", "Alpha (3points)"}},
      {"waypoints by name", cmd::SortWaypointsByName, 0, {"Hut", "Pass", "Peak"}},
      {"waypoints in file order", cmd::SortWaypointsNone, 0, {"Peak", "Hut", "Pass"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(commands.onCommand(c.command));
    EXPECT_EQ(childTexts(c.group), c.want);
    SCommandState st;
    ASSERT_TRUE(commands.onUpdateCommand(c.command, st));
    EXPECT_TRUE(st.checked);
  }
  // Time order is by the first point, not the name: rename so that name and time disagree.
  doc.TrekGroups().Group(1)->TrackLogs()[0]->name = "Able";
  ASSERT_TRUE(commands.onCommand(cmd::SortTracksByTime));
  EXPECT_EQ(childTexts(1), (QStringList{"Alpha (3points)", "Able (2points)"}));
  EXPECT_EQ(profile.readInt("Settings", "Sort_Tk", 9), 1);
}

TEST_F(TrekWindows, TrackLogWindowDeletesThePointAndTheViewShowsTheNewNumbers) {
  openBoth();
  click(node(1, 1));  // Alpha
  CDlgTrackLog dlg(doc.TrekGroups());
  dlg.show();
  EXPECT_TRUE(doc.TrekGroups().IsTrackLogEditing());

  // Only Alpha and its points can be chosen now.
  click(node(1, 0));
  click(node(1));
  EXPECT_EQ(doc.TrekGroups().SelectedTrackLog()->name, "Alpha");
  click(node(1, 1, 1));
  ASSERT_EQ(doc.TrekGroups().Selection().kind, kTrekTrackPoint);
  EXPECT_EQ(view.value(0), QStringLiteral("No.1"));
  EXPECT_EQ(view.value(5), QStringLiteral("200.0m"));

  QTest::mouseClick(dlg.findChild<QPushButton*>("deletePointButton"), Qt::LeftButton);
  EXPECT_EQ(doc.TrekGroups().Selection().kind, kTrekTrackLog);
  EXPECT_EQ(view.label(0), QStringLiteral("トラックログ名"));
  EXPECT_EQ(node(1, 1)->text(0), QStringLiteral("Alpha (2points)"));
  EXPECT_TRUE(doc.TrekGroups().Group(1)->IsModified());

  // The former third point is now No.1.
  click(node(1, 1, 1));
  EXPECT_EQ(view.value(0), QStringLiteral("No.1"));
  EXPECT_EQ(view.value(5), QStringLiteral("300.0m"));
  EXPECT_EQ(node(1, 1, 1)->text(0), QStringLiteral("No.1"));

  // Without a chosen point the button does nothing.
  click(node(1, 1));
  QTest::mouseClick(dlg.findChild<QPushButton*>("deletePointButton"), Qt::LeftButton);
  EXPECT_EQ(doc.TrekGroups().Group(1)->TrackLogs()[1]->Points().size(), 2u);
  dlg.reject();
  EXPECT_FALSE(doc.TrekGroups().IsTrackLogEditing());
}

TEST_F(TrekWindows, OpenWaypointWindowHoldsTheTree) {
  openBoth();
  click(node(0, 0));
  CDlgWaypoint dlg(doc.TrekGroups(), CDlgWaypoint::EMode::Edit);
  dlg.show();
  click(node(0, 2));
  QTest::keyClick(tree(), Qt::Key_Down);
  EXPECT_EQ(doc.TrekGroups().SelectedWaypoint()->name, "Peak");
  EXPECT_EQ(tree()->currentItem(), node(0, 0));
  dlg.reject();
  click(node(0, 2));
  EXPECT_EQ(doc.TrekGroups().SelectedWaypoint()->name, "Pass");
}

TEST_F(TrekWindows, ContextMenuFollowsTheSelectionKind) {
  openBoth();
  std::map<int, QAction*> actions;
  list.setCommandLookup([&](int id) {
    QAction*& a = actions[id];
    if (!a) a = new QAction(QString::number(id), &list);
    return a;
  });
  const struct { const char* name; QTreeWidgetItem* item; QString menu; int firstCommand; } cases[] = {
      {"waypoint group", node(0), "trekMenu153", cmd::EditWaypoint},
      {"waypoint", node(0, 1), "trekMenu153", cmd::EditWaypoint},
      {"track log", node(1, 0), "trekMenu191", cmd::EditTrack},
      {"track point", node(1, 0, 1), "trekMenu191", cmd::EditTrack},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    click(c.item);
    // The right button itself does not move the selection.
    const QTreeWidgetItem* before = tree()->currentItem();
    QTest::mousePress(tree()->viewport(), Qt::RightButton, {}, tree()->visualItemRect(node(0, 2)).center());
    EXPECT_EQ(tree()->currentItem(), before);
    QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5), tree()->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(tree()->viewport(), &ev);
    ASSERT_TRUE(list.contextMenu());
    EXPECT_EQ(list.contextMenu()->objectName(), c.menu);
    EXPECT_EQ(list.contextMenu()->actions().value(0), actions[c.firstCommand]);
    list.contextMenu()->hide();
  }
}

TEST_F(TrekWindows, ClosingWithUnsavedChangesCanBeCancelled) {
  openBoth();
  click(node(0, 1));
  ASSERT_TRUE(commands.onCommand(cmd::CutWaypoint));
  ASSERT_TRUE(doc.TrekGroups().Group(0)->IsModified());

  prompt.push(EPromptAnswer::Cancel);
  EXPECT_FALSE(doc.CanCloseFrame());
  EXPECT_EQ(doc.TrekGroups().Count(), 2);
  ASSERT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(prompt.requests()[0].buttons, platform::EPromptButtons::YesNoCancel);

  // The close command on the group: Cancel keeps it, No closes it unsaved.
  click(node(0));
  prompt.push(EPromptAnswer::Cancel);
  EXPECT_FALSE(commands.CloseSelected());
  EXPECT_EQ(tree()->topLevelItemCount(), 2);
  click(node(0));
  prompt.push(EPromptAnswer::No);
  EXPECT_TRUE(commands.CloseSelected());
  EXPECT_EQ(tree()->topLevelItemCount(), 1);
  EXPECT_EQ(doc.TrekGroups().Selection().groupIndex, -1);
  EXPECT_FALSE(view.table()->isEnabled());
}

TEST_F(TrekWindows, CommandsAreEnabledByTheSelection) {
  openBoth();
  struct SRow { const char* name; int command; bool enabled; };
  const auto check = [&](const std::vector<SRow>& rows) {
    for (const auto& r : rows) {
      SCOPED_TRACE(r.name);
      SCommandState st;
      ASSERT_TRUE(commands.onUpdateCommand(r.command, st));
      EXPECT_EQ(st.enabled, r.enabled);
    }
  };
  check({{"save, no group", cmd::SaveTrek, false}, {"rename, no group", cmd::RenameGroup, false},
         {"open", cmd::OpenTrek, true}});
  click(node(0, 0));
  check({{"save", cmd::SaveTrek, true}, {"copy waypoint", cmd::CopyWaypoint, true},
         {"paste waypoint, empty clipboard", cmd::PasteWaypoint, false}, {"copy track", cmd::CopyTrack, false}});
  ASSERT_TRUE(commands.onCommand(cmd::CopyWaypoint));
  check({{"paste waypoint", cmd::PasteWaypoint, true}});
  click(node(1));
  check({{"paste waypoint into track group", cmd::PasteWaypoint, false}, {"delete track, group", cmd::DeleteTrack, false}});
}

}  // namespace

TEST_F(TrekWindows, TrackLogStatisticsRowsAndAbsentFigures) {
  openBoth();
  click(node(1, 1));  // Alpha: 20" of meridian at 35 N in two minutes, 100 m to 300 m
  const QString want[][2] = {{"距離", "616m"},           {"所要時間", "2分0秒"},       {"移動時間", "2分0秒"},
                             {"平均速度", "18.5km/h"},   {"移動速度", "18.5km/h"},     {"累積標高(登り)", "200m"},
                             {"累積標高(下り)", "0m"},   {"最高点", "300.0m (No.2)"}, {"最低点", "100.0m (No.0)"}};
  ASSERT_EQ(view.rowCount(), CTrekDataView::kRows + 9);
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(view.label(CTrekDataView::kRows + i), want[i][0]);
    EXPECT_EQ(view.value(CTrekDataView::kRows + i), want[i][1]);
  }

  // Without times and altitudes only the length remains; a pause threshold below the interval
  // leaves no moving time.
  CTrackLog* alpha = doc.TrekGroups().Group(1)->TrackLogs()[1].get();
  CTrackLog bare = *alpha;
  for (auto& p : bare.Points()) {
    p.time = TrekTime(-1);
    p.altitude = 1.0e25;
  }
  view.ShowTrackLog(bare);
  EXPECT_EQ(view.value(CTrekDataView::kRows), QStringLiteral("616m"));
  for (int i = 1; i < 9; ++i) EXPECT_EQ(view.value(CTrekDataView::kRows + i), QStringLiteral("\u2015")) << i;
  settings.pauseSeconds = 30;
  view.ShowTrackLog(*alpha);
  EXPECT_EQ(view.value(CTrekDataView::kRows + 2), QStringLiteral("0秒"));
  EXPECT_EQ(view.value(CTrekDataView::kRows + 4), QStringLiteral("\u2015"));

  // A track point shows its six rows only, and "―" for the receivers' no-altitude value.
  click(node(1, 1, 0));
  EXPECT_EQ(view.rowCount(), CTrekDataView::kRows);
  view.ShowTrackPoint(bare.Points()[0]);
  EXPECT_EQ(view.value(5), QStringLiteral("\u2015"));
}

TEST_F(TrekWindows, WaypointPairChosenWithCtrlShowsDistanceAndBearing) {
  openBoth();
  click(node(0, 1));  // Hut, 30" north of Peak
  ASSERT_EQ(doc.TrekGroups().Selection().kind, kTrekWaypoint);
  QTreeWidgetItem* peak = node(0, 0);
  QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::ControlModifier, tree()->visualItemRect(peak).center());
  ASSERT_EQ(doc.TrekGroups().SelectedWaypoint(), doc.TrekGroups().Group(0)->Waypoints()[0].get());
  EXPECT_EQ(view.value(0), QStringLiteral("Peak"));
  // After the waypoint's own rows and its grid references (UTM, MGRS).
  ASSERT_EQ(view.rowCount(), CTrekDataView::kRows + 5);
  EXPECT_EQ(view.label(6), QStringLiteral("UTM"));
  EXPECT_EQ(view.label(7), QStringLiteral("MGRS"));
  EXPECT_EQ(view.label(8), QStringLiteral("基点"));
  EXPECT_EQ(view.value(8), QStringLiteral("Hut"));
  EXPECT_EQ(view.label(9), QStringLiteral("2点間の距離"));
  EXPECT_EQ(view.value(9), QStringLiteral("925m"));
  EXPECT_EQ(view.label(10), QStringLiteral("2点間の方位"));
  EXPECT_EQ(view.value(10), QStringLiteral("180.0°"));

  // Without Ctrl the next waypoint is shown alone.
  click(node(0, 2));
  EXPECT_EQ(view.rowCount(), CTrekDataView::kRows + 2);
}
