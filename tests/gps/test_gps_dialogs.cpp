// The transfer dialogs driven like a user would, against the simulated receiver on a
// pseudo-terminal: downloads into groups with the duplicate question and undo, uploads of
// upload lists with greyed GPS names, send methods, cancel, no port, and source items that go
// away while an upload dialog is open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <functional>

#include "CReceiverSimulator.h"
#include "gps/GpsDialogTexts.h"
#include "gps/GpsDownloadSession.h"
#include "gps/GpsRecords.h"
#include "gps/GpsUploadList.h"
#include "gps/ui/CDlgGpsDownload.h"
#include "gps/ui/CDlgGpsName.h"
#include "gps/ui/CDlgGpsProgress.h"
#include "gps/ui/CDlgGpsUpload.h"
#include "gps/ui/CDlgTrackSendMethod.h"
#include "platform/Codepage.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"

using gpstest::CReceiverSimulator;
using gpstest::SSimConfig;
using gpstest::SSimPacket;
using platform::EPromptAnswer;

namespace {

constexpr platform::SSerialTimeouts kFast{300, 1};

SSimPacket waypoint(std::int32_t lat, std::int32_t lon, float alt, const std::string& ident) {
  return {35, gps::encodeWaypoint({18, lat, lon, alt, ident})};
}
SSimPacket header(const std::string& ident) { return {99, gps::encodeTrackHeader({1, 255, ident})}; }
SSimPacket point(std::int32_t lat, std::int32_t lon, std::uint32_t time, bool first) {
  return {34, gps::encodeTrackPoint({lat, lon, time, 0.0f, first})};
}

std::unique_ptr<CMarkerPoint> makeWaypoint(const std::string& name, const std::string& gpsName, double latSec) {
  auto p = std::make_unique<CMarkerPoint>();
  p->name = name;
  p->gpsName = gpsName;
  p->SetPosition(DmsAngle::FromTotalSeconds(latSec), DmsAngle::FromTotalSeconds(139.0 * 3600), Datum::Wgs84);
  return p;
}

std::unique_ptr<CTrackLog> makeTrackLog(const std::string& name, int points, double latSec) {
  auto log = std::make_unique<CTrackLog>();
  log->name = name;
  log->gpsName = name;
  for (int i = 0; i < points; ++i) {
    CTrackPoint p;
    p.SetPosition(DmsAngle::FromTotalSeconds(latSec + i), DmsAngle::FromTotalSeconds(139.0 * 3600), Datum::Wgs84);
    p.number = i;
    log->AppendPoint(p);
  }
  return log;
}

/// Forwards the group list's changes to whatever the test wants told.
class CListener : public ITrekGroupListener {
 public:
  void trekDataChanged() override {
    if (onData) onData();
  }
  std::function<void()> onData;
};

QStringList rowTexts(const QTreeWidget* list, int row) {
  QStringList out;
  const QTreeWidgetItem* item = list->topLevelItem(row);
  for (int c = 0; item && c < list->columnCount(); ++c) out << item->text(c);
  return out;
}

/// Runs `action` on the next modal dialog of type T once it is up (the test's own click waits
/// for it in exec()).
template <class T>
void onModal(std::function<void(T&)> action) {
  QTimer::singleShot(0, [action] {
    auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    action(*dlg);
  });
}

class GpsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setPrompt(&m_prompt);
    platform::setProfile(&m_profile);
    m_saved = GpsLink::DefaultTimeouts();
    GpsLink::SetDefaultTimeouts(kFast);
    for (int n = 1; n <= 4; ++n) m_profile.writeString("SerialPorts", "COM" + std::to_string(n), "/nonexistent/tty" + std::to_string(n));
    m_list.setListener(&m_listener);
  }
  void TearDown() override {
    GpsLink::SetDefaultTimeouts(m_saved);
    platform::setProfile(nullptr);
    platform::setPrompt(nullptr);
  }
  /// Puts the receiver behind COM2.
  void plug(const CReceiverSimulator& sim) { m_profile.writeString("SerialPorts", "COM2", sim.devicePath()); }
  int addGroup(std::int32_t kind, const std::string& name) {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(kind);
    g->SetGroupName(name);
    return m_list.AppendGroup(std::move(g));
  }
  static void click(QWidget& dlg, const char* button) {
    auto* b = dlg.findChild<QPushButton*>(button);
    ASSERT_NE(b, nullptr) << button;
    ASSERT_TRUE(b->isEnabled()) << button;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  static void selectRows(QTreeWidget* list, std::initializer_list<int> rows) {
    list->clearSelection();
    for (int r : rows) list->topLevelItem(r)->setSelected(true);
  }
  static void chooseGroup(QWidget& dlg, int row) {
    auto* groups = dlg.findChild<QTreeWidget*>("groupList");
    groups->setCurrentItem(groups->topLevelItem(row));
  }
  std::string lastMessage() const { return m_prompt.texts().empty() ? "" : m_prompt.texts().back(); }

  platform::CScriptedPrompt m_prompt;
  platform::CMemoryProfile m_profile;
  platform::SSerialTimeouts m_saved;
  CTrekGroupList m_list;
  CListener m_listener;
  std::int32_t m_commPort = 2;
  std::int32_t m_datum = 0;
};

TEST_F(GpsDialogTest, DownloadedWaypointsAreAddedUndoneAndAskedAboutAsDuplicates) {
  SSimConfig cfg;
  cfg.waypoints = {waypoint(0x19101010, 0x63101010, 123.5f, "SUMMIT"), waypoint(0x19000000, 0x63000000, -4.0f, "HUT"),
                   waypoint(0x18F00000, 0x62F00000, 1.0e25f, "PASS")};
  CReceiverSimulator sim(cfg);
  plug(sim);
  addGroup(CTrekData::kTrackLogGroup, "tracks");
  const int a = addGroup(CTrekData::kWaypointGroup, "A");
  const int b = addGroup(CTrekData::kWaypointGroup, "B");
  int refreshes = 0;
  m_listener.onData = [&] { ++refreshes; };

  CDlgGpsDownload dlg(m_list, CTrekData::kWaypointGroup);
  dlg.setSettings({&m_commPort, &m_datum});
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), "ウェイポイントのダウンロード");
  EXPECT_TRUE(dlg.isModal());
  auto* ports = dlg.findChild<QComboBox*>("portList");
  ASSERT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->currentText(), QString::fromStdString("COM2 (" + sim.devicePath() + ")"));
  EXPECT_EQ(dlg.findChild<QPushButton*>("downloadButton")->text(), "ダウンロード開始");
  EXPECT_FALSE(dlg.findChild<QPushButton*>("selectAllButton")->isEnabled());
  EXPECT_FALSE(dlg.findChild<QPushButton*>("clearButton")->isEnabled());
  auto* groups = dlg.findChild<QTreeWidget*>("groupList");
  ASSERT_EQ(groups->topLevelItemCount(), 2) << "waypoint groups only";
  EXPECT_EQ(rowTexts(groups, 0), (QStringList{"A", "0points"}));

  click(dlg, "downloadButton");
  EXPECT_EQ(lastMessage(), gpstext::kReceived);
  sim.stop();
  auto* rows = dlg.findChild<QTreeWidget*>("downloadList");
  ASSERT_EQ(rows->topLevelItemCount(), 3);
  EXPECT_EQ(rows->headerItem()->text(0), "ポイント名");
  EXPECT_EQ(rows->headerItem()->text(3), "高度");
  const CMarkerPoint& first = *dlg.session().DownloadList().Waypoints()[0];
  EXPECT_EQ(rowTexts(rows, 0), (QStringList{"SUMMIT", "北緯 " + QString::fromStdString(platform::cp932::toUtf8Lossy(first.latitude.FormatText())),
                                            "東経 " + QString::fromStdString(platform::cp932::toUtf8Lossy(first.longitude.FormatText())),
                                            "123.5 m"}));
  EXPECT_EQ(rowTexts(rows, 1)[3], "-4.0 m");
  EXPECT_EQ(rowTexts(rows, 2)[3], "―") << "the receiver's no-altitude value";

  // Two rows to A, one to B: the groups show them at once, counted in the group list.
  selectRows(rows, {0, 1});
  chooseGroup(dlg, 0);
  const int before = refreshes;
  click(dlg, "addButton");
  EXPECT_GE(refreshes - before, 2) << "each addition refreshes the map and the lists";
  selectRows(rows, {2});
  chooseGroup(dlg, 1);
  click(dlg, "addButton");
  EXPECT_EQ(m_list.Group(a)->Waypoints().size(), 2u);
  EXPECT_EQ(m_list.Group(b)->Waypoints().size(), 1u);
  EXPECT_EQ(rowTexts(groups, 0), (QStringList{"A", "2points"}));
  EXPECT_EQ(m_list.Group(a)->Waypoints()[1]->name, "HUT");
  EXPECT_TRUE(m_prompt.requests().size() == 1) << "no duplicate question yet";

  // Undo: Cancel keeps everything, OK takes the additions out of both groups.
  m_prompt.push(EPromptAnswer::Cancel);
  click(dlg, "undoButton");
  EXPECT_EQ(lastMessage(), gpstext::kUndoWaypoints);
  EXPECT_EQ(m_prompt.requests().back().buttons, platform::EPromptButtons::OkCancel);
  EXPECT_EQ(m_list.Group(a)->Waypoints().size(), 2u);
  m_prompt.push(EPromptAnswer::Ok);
  click(dlg, "undoButton");
  EXPECT_TRUE(m_list.Group(a)->Waypoints().empty());
  EXPECT_TRUE(m_list.Group(b)->Waypoints().empty());
  EXPECT_EQ(rowTexts(groups, 1), (QStringList{"B", "0points"}));
  EXPECT_FALSE(dlg.findChild<QPushButton*>("undoButton")->isEnabled());
  // Both presses of the add button and the take-back per group are edits of the main window's history.
  EXPECT_EQ(m_list.UndoStack().count(), 4);
  EXPECT_EQ(m_list.UndoName(), "受信したウェイポイントの取り消し");
  ASSERT_TRUE(m_list.Undo());
  ASSERT_TRUE(m_list.Undo());
  EXPECT_EQ(m_list.Group(a)->Waypoints().size(), 2u);
  EXPECT_EQ(m_list.Group(b)->Waypoints().size(), 1u);
  EXPECT_EQ(m_list.UndoName(), "GPSから受信したウェイポイントの追加");
  ASSERT_TRUE(m_list.Redo());
  ASSERT_TRUE(m_list.Redo());
  EXPECT_TRUE(m_list.Group(a)->Waypoints().empty());
  EXPECT_TRUE(m_list.Group(b)->Waypoints().empty());

  // Added again, then the same row once more: the duplicate question, answered No.
  selectRows(rows, {0});
  chooseGroup(dlg, 0);
  click(dlg, "addButton");
  m_prompt.push(EPromptAnswer::No);
  click(dlg, "addButton");
  EXPECT_EQ(lastMessage(), "このポイントグループには、同じ経緯度のポイント [SUMMIT] が既に存在します。\r\n"
                           "ここにポイント [SUMMIT] を追加しますか?");
  EXPECT_EQ(m_list.Group(a)->Waypoints().size(), 1u);
  EXPECT_EQ(dlg.session().AdditionCount(), 1u);

  // Nothing is added without a chosen group.
  groups->clearSelection();
  click(dlg, "addButton");
  EXPECT_EQ(m_list.Group(a)->Waypoints().size(), 1u);

  // "すべて選択" and "クリア".
  click(dlg, "selectAllButton");
  EXPECT_EQ(rows->selectedItems().size(), 3);
  click(dlg, "clearButton");
  EXPECT_EQ(rows->topLevelItemCount(), 0);
  EXPECT_EQ(m_list.Group(a)->Waypoints().size(), 1u) << "added copies stay";
}

TEST(GpsRowTexts, AltitudesThatAreNoHeightShowADash) {
  const struct {
    const char* name;
    double altitude;
    const char* text;
  } kCases[] = {
      {"a height", 3190.54, "3190.5 m"},
      {"sea level", 0.0, "0.0 m"},
      {"below sea level", -4.0, "-4.0 m"},
      {"no altitude as a double", 1.0e25, "―"},
      {"no altitude as the receiver's float", static_cast<double>(1.0e25f), "―"},
      {"negative no altitude", -1.0e25, "―"},
      {"converted from an older file", 100000.0, "―"},
      {"just below the converted value", 99999.9, "99999.9 m"},
      {"not a number", std::nan(""), "―"},
      {"infinite", HUGE_VAL, "―"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CMarkerPoint p;
    p.altitude = c.altitude;
    EXPECT_EQ(gps::WaypointRowTexts(p, Datum::Wgs84).at(3), c.text);
  }
}

TEST_F(GpsDialogTest, DatumChoiceChangesTheTextsNotTheValuesAndIsStoredOnClose) {
  SSimConfig cfg;
  cfg.waypoints = {waypoint(0x19101010, 0x63101010, 1.0f, "SUMMIT")};
  CReceiverSimulator sim(cfg);
  plug(sim);
  m_datum = 0;
  CDlgGpsDownload dlg(m_list, CTrekData::kWaypointGroup);
  dlg.setSettings({&m_commPort, &m_datum});
  dlg.show();
  EXPECT_TRUE(dlg.findChild<QRadioButton*>("datumWgs84")->isChecked());
  click(dlg, "downloadButton");
  sim.stop();
  const CMarkerPoint& p = *dlg.session().DownloadList().Waypoints()[0];
  const CMarkerPoint stored = p;
  auto* rows = dlg.findChild<QTreeWidget*>("downloadList");
  const QStringList wgs = rowTexts(rows, 0);

  auto* tokyo = dlg.findChild<QRadioButton*>("datumTokyo");
  EXPECT_EQ(tokyo->text(), "&tokyoで表示");
  QTest::mouseClick(tokyo, Qt::LeftButton);
  const QStringList shown = rowTexts(rows, 0);
  DmsAngle lat, lon;
  p.GetPosition(lat, lon, Datum::Tokyo);
  EXPECT_EQ(shown[1], "北緯 " + QString::fromStdString(platform::cp932::toUtf8Lossy(lat.FormatText())));
  EXPECT_EQ(shown[2], "東経 " + QString::fromStdString(platform::cp932::toUtf8Lossy(lon.FormatText())));
  EXPECT_NE(shown[1], wgs[1]);
  EXPECT_NE(shown[2], wgs[2]);
  EXPECT_TRUE(p == stored) << "the stored WGS-84 values did not move";

  click(dlg, "closeButton");
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(m_datum, 1);
  EXPECT_EQ(m_commPort, 2);
  EXPECT_EQ(m_profile.readInt("Settings", "GPSCommDatum", -9), 1);
  EXPECT_EQ(m_profile.readInt("Settings", "CommPort", -9), 2);
}

TEST_F(GpsDialogTest, DownloadedTrackLogsShowStartAndEndTimes) {
  const std::uint32_t t0 = 0x20000000;
  SSimConfig cfg;
  cfg.tracks = {header("ACTIVE LOG"), point(0x19000000, 0x63000000, t0, true),
                point(0x19000010, 0x63000010, t0 + 3600, false), header("NO TIME"),
                point(0x19000100, 0x63000100, gps::kNoTime, true), point(0x19000200, 0x63000200, gps::kNoTime, false)};
  CReceiverSimulator sim(cfg);
  plug(sim);
  const int g = addGroup(CTrekData::kTrackLogGroup, "T");
  CDlgGpsDownload dlg(m_list, CTrekData::kTrackLogGroup);
  dlg.setSettings({&m_commPort, &m_datum});
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), "トラックログのダウンロード");
  EXPECT_EQ(dlg.findChild<QPushButton*>("downloadButton")->text(), "ダウンロード開始(&D)");
  EXPECT_EQ(dlg.findChild<QRadioButton*>("datumTokyo"), nullptr);
  click(dlg, "downloadButton");
  sim.stop();
  EXPECT_EQ(lastMessage(), gpstext::kReceived);
  auto* rows = dlg.findChild<QTreeWidget*>("downloadList");
  ASSERT_EQ(rows->topLevelItemCount(), 2);
  const auto fmt = [](std::uint32_t s) {
    return QString::fromStdString(
        platform::cp932::toUtf8Lossy(TrekTime::FromReceiverSeconds(static_cast<std::int32_t>(s)).FormatShort()));
  };
  EXPECT_EQ(rowTexts(rows, 0), (QStringList{"ACTIVE LOG 000", "2", fmt(t0), fmt(t0 + 3600)}));
  EXPECT_FALSE(fmt(t0).isEmpty());
  EXPECT_EQ(rowTexts(rows, 1), (QStringList{"NO TIME", "2", "", ""}));

  selectRows(rows, {0, 1});
  chooseGroup(dlg, 0);
  click(dlg, "addButton");
  EXPECT_EQ(m_list.Group(g)->TrackLogs().size(), 2u);
  EXPECT_EQ(rowTexts(dlg.findChild<QTreeWidget*>("groupList"), 0), (QStringList{"T", "2tracks"}));
  EXPECT_TRUE(m_list.Group(g)->IsModified());
  m_prompt.push(EPromptAnswer::Ok);
  click(dlg, "undoButton");
  EXPECT_EQ(lastMessage(), gpstext::kUndoTracks);
  EXPECT_TRUE(m_list.Group(g)->TrackLogs().empty());
}

TEST_F(GpsDialogTest, CancelMidDownloadKeepsWhatArrived) {
  SSimConfig cfg;
  for (int i = 0; i < 20; ++i) cfg.waypoints.push_back(waypoint(0x19000000 + i * 4096, 0x63000000, 0.0f, std::string("W").append(std::to_string(i))));
  CReceiverSimulator sim(cfg);
  plug(sim);
  CDlgGpsDownload dlg(m_list, CTrekData::kWaypointGroup);
  dlg.setSettings({&m_commPort, &m_datum});
  dlg.show();
  CDlgGpsProgress* progress = dlg.progressWindow();
  auto* bar = progress->findChild<QProgressBar*>("progressBar");
  auto* cancel = progress->findChild<QPushButton*>("cancelButton");
  bool visibleDuring = false;
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) {
    visibleDuring = visibleDuring || progress->isVisible();
    if (v >= 40 && !progress->CancelRequested()) QTest::mouseClick(cancel, Qt::LeftButton);
  });
  click(dlg, "downloadButton");
  sim.stop();
  EXPECT_TRUE(visibleDuring);
  EXPECT_FALSE(progress->isVisible());
  EXPECT_EQ(lastMessage(), gpstext::kCancelled);
  EXPECT_TRUE(sim.abortSeen());
  const int arrived = dlg.session().RowCount();
  EXPECT_GE(arrived, 7);
  EXPECT_LT(arrived, 20);
  EXPECT_EQ(dlg.findChild<QTreeWidget*>("downloadList")->topLevelItemCount(), arrived);
}

TEST_F(GpsDialogTest, NoPortAvailableWarnsAndTransfersFailToOpen) {
  CDlgGpsDownload dlg(m_list, CTrekData::kWaypointGroup);
  dlg.show();
  EXPECT_EQ(lastMessage(), gpstext::kNoPort);
  EXPECT_EQ(m_prompt.requests().back().icon, platform::EPromptIcon::Warning);
  EXPECT_EQ(dlg.findChild<QComboBox*>("portList")->count(), 0);
  click(dlg, "downloadButton");
  EXPECT_EQ(lastMessage(), gpstext::kOpenFailed);
  // Closing without a port keeps the remembered one.
  m_profile.writeInt("Settings", "CommPort", 3);
  click(dlg, "closeButton");
  EXPECT_EQ(m_profile.readInt("Settings", "CommPort", -1), 3);

  const int g = addGroup(CTrekData::kWaypointGroup, "W");
  m_list.Group(g)->AppendWaypoint(makeWaypoint("P", "P", 35.0 * 3600));
  CDlgGpsUpload up(m_list, CTrekData::kWaypointGroup);
  up.show();
  EXPECT_EQ(lastMessage(), gpstext::kNoPort);
  EXPECT_TRUE(m_list.Select({kTrekWaypointGroup, g}));
  up.selectionChanged();
  click(up, "addButton");
  click(up, "uploadButton");
  EXPECT_EQ(lastMessage(), gpstext::kOpenFailed);
}

TEST_F(GpsDialogTest, WaypointUploadSendsGreyedNamesAndTakesNewGpsNames) {
  CReceiverSimulator sim;
  plug(sim);
  const int g = addGroup(CTrekData::kWaypointGroup, "W");
  const std::string fuji("\x95\x78\x8E\x6D", 4);  // two CP932 characters
  m_list.Group(g)->AppendWaypoint(makeWaypoint("Peak", "PEAK 1", 35.0 * 3600));
  m_list.Group(g)->AppendWaypoint(makeWaypoint(fuji, fuji, 35.1 * 3600));
  m_list.Group(g)->AppendWaypoint(makeWaypoint("Hut", "hut-2", 35.2 * 3600));
  m_list.Group(g)->SetModified(0);

  CDlgGpsUpload dlg(m_list, CTrekData::kWaypointGroup);
  dlg.setSettings({&m_commPort, &m_datum});
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), "ウェイポイントのアップロード");
  EXPECT_FALSE(dlg.isModal());
  EXPECT_EQ(dlg.findChild<QLabel*>("hintText")->text().toStdString(), gpstext::kHintWaypoints);
  EXPECT_FALSE(dlg.findChild<QPushButton*>("addButton")->isEnabled()) << "nothing selected";
  EXPECT_TRUE(m_list.Select({kTrekWaypointGroup, g}));
  dlg.selectionChanged();
  click(dlg, "addButton");
  auto* rows = dlg.findChild<QTreeWidget*>("uploadList");
  ASSERT_EQ(rows->topLevelItemCount(), 3);
  EXPECT_EQ(rows->headerItem()->text(1), "GPS用のﾎﾟｲﾝﾄ名");
  EXPECT_EQ(rowTexts(rows, 0).mid(0, 2), (QStringList{"Peak", "PEAK 1"}));
  const QColor normal = rows->topLevelItem(0)->foreground(0).color();
  const QColor grey = rows->topLevelItem(1)->foreground(0).color();
  EXPECT_NE(normal, grey);
  EXPECT_EQ(grey, dlg.palette().color(QPalette::Disabled, QPalette::Text));
  EXPECT_FALSE(dlg.uploadList().IsGreyed(2)) << "lower case passes the check";
  auto* note = dlg.findChild<QLabel*>("greyNote");
  EXPECT_FALSE(note->isHidden());
  EXPECT_EQ(note->text().toStdString(), gpstext::kGreyWaypoints);

  click(dlg, "uploadButton");
  EXPECT_EQ(lastMessage(), gpstext::kSent);
  sim.stop();
  EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();
  EXPECT_EQ(sim.announced(), 3);
  const auto up = sim.uploads();
  ASSERT_EQ(up.size(), 3u);
  const auto ident = [](const gpstest::SHostFrame& f) { return gps::decodeWaypoint(f.data)->ident; };
  EXPECT_EQ(ident(up[0]), "PEAK 1");
  EXPECT_EQ(ident(up[1]), fuji) << "greyed entries are sent as they are";
  EXPECT_EQ(ident(up[2]), "hut-2");

  // The GPS name window: its texts, the 10-character limit, and the name reaching the group.
  rows->setCurrentItem(rows->topLevelItem(1));
  onModal<CDlgGpsName>([](CDlgGpsName& name) {
    EXPECT_EQ(name.windowTitle(), "GPS用ポイント名の変更");
    EXPECT_EQ(name.findChild<QLabel*>("promptText")->text(), "GPS上で使用するポイント名を入力して下さい");
    EXPECT_EQ(name.findChild<QLabel*>("charsText")->text(), "使用可能な文字 : A～Z 0～9 + - 半角スペース");
    EXPECT_EQ(name.findChild<QLabel*>("maxText")->text(), "最大文字数 : 半角10文字");
    name.nameEdit()->clear();
    QTest::keyClicks(name.nameEdit(), "MT FUJI 3776");
    EXPECT_EQ(name.nameEdit()->text(), "MT FUJI 37");
    name.accept();
  });
  click(dlg, "gpsNameButton");
  EXPECT_EQ(m_list.Group(g)->Waypoints()[1]->gpsName, "MT FUJI 37");
  EXPECT_TRUE(m_list.Group(g)->IsModified());
  EXPECT_EQ(rowTexts(rows, 1)[1], "MT FUJI 37");
  EXPECT_FALSE(dlg.uploadList().IsGreyed(1));
  EXPECT_TRUE(note->isHidden());
  EXPECT_EQ(rows->topLevelItem(1)->foreground(0).color(), normal);
}

TEST_F(GpsDialogTest, TrackLogSetToTheActiveLogIsSentUnderItsHeader) {
  CReceiverSimulator sim;
  plug(sim);
  const int g = addGroup(CTrekData::kTrackLogGroup, "T");
  m_list.Group(g)->AppendTrackLog(makeTrackLog("SAVED ONE", 2, 35.0 * 3600));
  m_list.Group(g)->AppendTrackLog(makeTrackLog("WALK", 3, 35.5 * 3600));
  m_list.Group(g)->TrackLogs()[1]->gpsName = "";  // no GPS name: greyed

  CDlgGpsUpload dlg(m_list, CTrekData::kTrackLogGroup);
  dlg.setSettings({&m_commPort, &m_datum});
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), "トラックログのアップロード");
  EXPECT_EQ(dlg.findChild<QLabel*>("legendActive")->text().toStdString(), gpstext::kLegendActive);
  EXPECT_EQ(dlg.findChild<QLabel*>("legendSaved")->text().toStdString(), gpstext::kLegendSaved);
  EXPECT_EQ(dlg.findChild<QLabel*>("greyNote")->text().toStdString(), gpstext::kGreyTracks);
  // One log chosen on its own, then the whole group: three entries.
  STrekSelection one;
  one.kind = kTrekTrackLog;
  one.groupIndex = g;
  one.trackLog = m_list.Group(g)->TrackLogs()[1].get();
  ASSERT_TRUE(m_list.Select(one));
  dlg.selectionChanged();
  click(dlg, "addButton");
  auto* rows = dlg.findChild<QTreeWidget*>("uploadList");
  EXPECT_EQ(rowTexts(rows, 0).mid(0, 3), (QStringList{"WALK", "", "3"}));
  EXPECT_FALSE(dlg.findChild<QPushButton*>("removeButton")->isEnabled()) << "no row chosen";
  rows->setCurrentItem(rows->topLevelItem(0));
  click(dlg, "removeButton");
  EXPECT_EQ(rows->topLevelItemCount(), 0);
  ASSERT_TRUE(m_list.Select(one));
  dlg.selectionChanged();
  click(dlg, "addButton");
  ASSERT_TRUE(m_list.Select({kTrekTrackLogGroup, g}));
  dlg.selectionChanged();
  click(dlg, "addButton");
  ASSERT_EQ(rows->topLevelItemCount(), 3);

  // The first entry (WALK) goes as the active log, chosen in the send method window.
  rows->setCurrentItem(rows->topLevelItem(0));
  onModal<CDlgTrackSendMethod>([](CDlgTrackSendMethod& m) {
    EXPECT_EQ(m.windowTitle(), "トラックログの送信方法設定");
    EXPECT_TRUE(m.findChild<QRadioButton*>("sendSaved")->isChecked());
    EXPECT_EQ(m.findChild<QLabel*>("noteSaved")->text().toStdString(), gpstext::kNoteSaved);
    EXPECT_EQ(m.findChild<QLabel*>("noteActive")->text().toStdString(), gpstext::kNoteActive);
    QTest::mouseClick(m.findChild<QRadioButton*>("sendActive"), Qt::LeftButton);
    m.accept();
  });
  click(dlg, "sendMethodButton");
  EXPECT_EQ(dlg.uploadList().SendAsActiveLog(0), 1);
  EXPECT_EQ(m_list.Group(g)->TrackLogs()[1]->SendAsActiveLog(), 0) << "the choice belongs to the entry";
  // The last entry (also WALK) stays a saved track.
  rows->setCurrentItem(rows->topLevelItem(2));
  click(dlg, "removeButton");

  click(dlg, "uploadButton");
  EXPECT_EQ(lastMessage(), gpstext::kSent);
  sim.stop();
  EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();
  EXPECT_EQ(sim.announced(), 1 + 1 + 2 + 3);
  const auto up = sim.uploads();
  ASSERT_EQ(up.size(), 7u);
  EXPECT_EQ(up[0].id, 99);
  EXPECT_EQ(gps::decodeTrackHeader(up[0].data)->ident, "SAVED ONE");
  EXPECT_EQ(up[3].id, 99);
  const auto active = gps::decodeTrackHeader(up[3].data);
  EXPECT_EQ(active->ident, "ACTIVE LOG");
  EXPECT_EQ(active->display, 1);
  EXPECT_TRUE(gps::decodeTrackPoint(up[4].data)->newTrack);
  EXPECT_FALSE(gps::decodeTrackPoint(up[5].data)->newTrack);
}

TEST_F(GpsDialogTest, EntriesWhoseItemGoesAwayLeaveTheUploadList) {
  const int g = addGroup(CTrekData::kWaypointGroup, "W");
  const int h = addGroup(CTrekData::kWaypointGroup, "X");
  for (int i = 0; i < 3; ++i) m_list.Group(g)->AppendWaypoint(makeWaypoint("P" + std::to_string(i), "P", 35.0 * 3600 + i));
  m_list.Group(h)->AppendWaypoint(makeWaypoint("Q", "Q", 36.0 * 3600));
  CDlgGpsUpload dlg(m_list, CTrekData::kWaypointGroup);
  m_listener.onData = [&] { dlg.trekDataChanged(); };
  dlg.show();
  for (int group : {g, h}) {
    ASSERT_TRUE(m_list.Select({kTrekWaypointGroup, group}));
    dlg.selectionChanged();
    click(dlg, "addButton");
  }
  auto* rows = dlg.findChild<QTreeWidget*>("uploadList");
  ASSERT_EQ(rows->topLevelItemCount(), 4);

  const auto selectWaypoint = [&](int group, int index) {
    STrekSelection s;
    s.kind = kTrekWaypoint;
    s.groupIndex = group;
    s.waypoint = m_list.Group(group)->Waypoints()[static_cast<std::size_t>(index)].get();
    ASSERT_TRUE(m_list.Select(s));
  };
  // Deleted (after the question), cut, and a whole group closed.
  selectWaypoint(g, 1);
  m_prompt.push(EPromptAnswer::Ok);
  ASSERT_TRUE(m_list.DeleteWaypoint());
  EXPECT_EQ(rows->topLevelItemCount(), 3);
  EXPECT_EQ(rowTexts(rows, 1)[0], "P2");
  selectWaypoint(g, 0);
  m_list.CutWaypoint();
  EXPECT_EQ(rows->topLevelItemCount(), 2);
  // A paste adds a new item: it is not the cut one and does not come back into the list.
  ASSERT_TRUE(m_list.Select({kTrekWaypointGroup, g}));
  ASSERT_TRUE(m_list.PasteWaypoint());
  EXPECT_EQ(rows->topLevelItemCount(), 2);
  ASSERT_TRUE(m_list.Select({kTrekWaypointGroup, h}));
  m_list.Group(h)->SetModified(0);
  ASSERT_TRUE(m_list.CloseSelectedGroup());
  ASSERT_EQ(rows->topLevelItemCount(), 1);
  EXPECT_EQ(rowTexts(rows, 0)[0], "P2");

  // The GPS name of a remaining entry still reaches its item.
  rows->setCurrentItem(rows->topLevelItem(0));
  EXPECT_TRUE(dlg.uploadList().SetGpsName(0, "NEW"));
  EXPECT_EQ(m_list.Group(g)->Waypoints()[0]->gpsName, "NEW");

  // Closing empties the list; the settings are kept.
  click(dlg, "closeButton");
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.uploadList().Count(), 0);
}

TEST_F(GpsDialogTest, WhatAddToListTakesFromEachSelection) {
  const int wg = addGroup(CTrekData::kWaypointGroup, "W");
  const int tg = addGroup(CTrekData::kTrackLogGroup, "T");
  m_list.Group(wg)->AppendWaypoint(makeWaypoint("A", "A", 35.0 * 3600));
  m_list.Group(wg)->AppendWaypoint(makeWaypoint("B", "B", 35.1 * 3600));
  m_list.Group(tg)->AppendTrackLog(makeTrackLog("L", 2, 35.0 * 3600));
  m_list.Group(tg)->AppendTrackLog(makeTrackLog("M", 2, 35.5 * 3600));
  STrekSelection wp{kTrekWaypoint, wg, m_list.Group(wg)->Waypoints()[1].get(), nullptr, -1};
  STrekSelection log{kTrekTrackLog, tg, nullptr, m_list.Group(tg)->TrackLogs()[0].get(), -1};
  STrekSelection pt{kTrekTrackPoint, tg, nullptr, m_list.Group(tg)->TrackLogs()[1].get(), 1};
  const struct {
    const char* name;
    STrekSelection selection;
    int waypoints;  ///< entries a waypoint list takes
    int tracks;     ///< entries a track log list takes
  } kCases[] = {
      {"nothing", {}, 0, 0},
      {"waypoint group", {kTrekWaypointGroup, wg}, 2, 0},
      {"waypoint", wp, 1, 0},
      {"track log group", {kTrekTrackLogGroup, tg}, 0, 2},
      {"track log", log, 0, 1},
      {"track point", pt, 0, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    m_list.ClearSelection();
    if (c.selection.kind != kTrekNone) {
      ASSERT_TRUE(m_list.Select(c.selection));
    }
    CGpsUploadList waypoints(m_list, CTrekData::kWaypointGroup);
    CGpsUploadList tracks(m_list, CTrekData::kTrackLogGroup);
    EXPECT_EQ(waypoints.CanAddSelection(), c.waypoints > 0);
    EXPECT_EQ(tracks.CanAddSelection(), c.tracks > 0);
    EXPECT_EQ(waypoints.AddSelection(), c.waypoints);
    EXPECT_EQ(tracks.AddSelection(), c.tracks);
  }
  // The chosen point's log, not the point: "M" with both its points.
  m_list.ClearSelection();
  ASSERT_TRUE(m_list.Select(pt));
  CGpsUploadList tracks(m_list, CTrekData::kTrackLogGroup);
  ASSERT_EQ(tracks.AddSelection(), 1);
  EXPECT_EQ(tracks.RowTexts(0, Datum::Wgs84)[0], "M");
  EXPECT_EQ(tracks.RowTexts(0, Datum::Wgs84)[2], "2");
}

}  // namespace
