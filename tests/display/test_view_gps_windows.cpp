// The map view hosting the GPS windows: the four commands, one window at a time with the
// editing windows, the remembered position, and upload entries following the document.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "app/CVantoriaDoc.h"
#include "display/ui/CVantoriaView.h"
#include "display/ui/GpsWindowHost.h"
#include "display/ui/TrekEditController.h"
#include "gps/GpsDialogTexts.h"
#include "gps/ui/CDlgGpsDownload.h"
#include "gps/ui/CDlgGpsUpload.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"

namespace {

using EWindow = CTrekEditController::EWindow;

class GpsWindowsInView : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    // No receiver anywhere: the port lists stay empty.
    for (int n = 1; n <= 4; ++n) m_profile.writeString("SerialPorts", "COM" + std::to_string(n), "/nonexistent/tty");
    m_doc = std::make_unique<CVantoriaDoc>();
    m_view = std::make_unique<CVantoriaView>(*m_doc);
    m_view->gpsWindows().setSettings(&m_commPort, &m_datum);
    m_view->resize(400, 300);
    m_view->show();
    CTrekGroupList& list = m_doc->TrekGroups();
    for (const char* name : {"W", "X"}) {
      auto g = std::make_unique<CTrekData>();
      g->SetKind(CTrekData::kWaypointGroup);
      g->SetGroupName(name);
      for (int i = 0; i < 2; ++i) {
        auto p = std::make_unique<CMarkerPoint>();
        p->name = std::string(name) + std::to_string(i);
        p->gpsName = p->name;
        p->SetPosition(DmsAngle::FromTotalSeconds(35.0 * 3600 + i), DmsAngle::FromTotalSeconds(139.0 * 3600), Datum::Wgs84);
        g->AppendWaypoint(std::move(p));
      }
      list.AppendGroup(std::move(g));
    }
  }
  void TearDown() override {
    m_view.reset();
    m_doc.reset();
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }
  bool enabled(int id) const {
    SCommandState state;
    EXPECT_TRUE(m_view->onUpdateCommand(id, state)) << id;
    return state.enabled;
  }
  CGpsWindowHost& host() const { return m_view->gpsWindows(); }

  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
  std::unique_ptr<CVantoriaDoc> m_doc;
  std::unique_ptr<CVantoriaView> m_view;
  std::int32_t m_commPort = -1;
  std::int32_t m_datum = 1;
};

TEST_F(GpsWindowsInView, UploadWindowsOpenOneAtATimeWithTheEditingWindows) {
  EXPECT_TRUE(enabled(cmd::UploadWaypoints));
  EXPECT_TRUE(enabled(cmd::UploadTracks));
  EXPECT_TRUE(enabled(cmd::DownloadWaypoints));
  m_profile.writeInt("Wnd_Pos", "Dlg_Add/EditPoint_left", 30);
  m_profile.writeInt("Wnd_Pos", "Dlg_Add/EditPoint_top", 20);

  ASSERT_TRUE(m_view->onCommand(cmd::UploadWaypoints));
  CDlgGpsUpload* up = host().openUploadWindow();
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up, host().uploadWindow(CTrekData::kWaypointGroup));
  EXPECT_EQ(up->windowTitle().toStdString(), gpstext::kUploadWaypointsCaption);
  EXPECT_EQ(m_prompt.texts().back(), gpstext::kNoPort);
  // While it is open: no second upload window, no editing window; downloads still run.
  for (int id : {cmd::UploadWaypoints, cmd::UploadTracks, cmd::AddWaypoint})
    EXPECT_FALSE(enabled(id)) << id;
  EXPECT_TRUE(enabled(cmd::DownloadTracks));
  EXPECT_TRUE(m_doc->TrekGroups().Select({kTrekWaypointGroup, 0}));
  EXPECT_FALSE(m_view->trekEditing().open(EWindow::AddWaypoint));
  EXPECT_FALSE(host().openUpload(CTrekData::kTrackLogGroup));

  // The move and the close: the position is kept under the editing windows' name.
  up->move(m_view->mapToGlobal(QPoint(55, 44)));
  QTest::mouseClick(up->findChild<QPushButton*>("closeButton"), Qt::LeftButton);
  EXPECT_EQ(host().openUploadWindow(), nullptr);
  EXPECT_NE(m_profile.readInt("Wnd_Pos", "Dlg_Add/EditPoint_left", 30), 30);
  EXPECT_TRUE(enabled(cmd::AddWaypoint));
  EXPECT_TRUE(enabled(cmd::UploadTracks));

  // With an editing window open the upload commands wait.
  ASSERT_TRUE(m_view->trekEditing().open(EWindow::AddWaypoint));
  EXPECT_FALSE(enabled(cmd::UploadWaypoints));
  EXPECT_FALSE(enabled(cmd::DownloadWaypoints));
  EXPECT_FALSE(host().openUpload(CTrekData::kWaypointGroup));
}

TEST_F(GpsWindowsInView, UploadEntriesFollowTheDocument) {
  CTrekGroupList& list = m_doc->TrekGroups();
  ASSERT_TRUE(host().openUpload(CTrekData::kWaypointGroup));
  CDlgGpsUpload* up = host().openUploadWindow();
  auto* add = up->findChild<QPushButton*>("addButton");
  EXPECT_FALSE(add->isEnabled());
  // A selection made elsewhere reaches the window through the document.
  STrekSelection one;
  one.kind = kTrekWaypoint;
  one.groupIndex = 1;
  one.waypoint = list.Group(1)->Waypoints()[1].get();
  ASSERT_TRUE(list.Select(one));
  EXPECT_TRUE(add->isEnabled());
  QTest::mouseClick(add, Qt::LeftButton);
  ASSERT_TRUE(list.Select({kTrekWaypointGroup, 0}));
  QTest::mouseClick(add, Qt::LeftButton);
  auto* rows = up->findChild<QTreeWidget*>("uploadList");
  ASSERT_EQ(rows->topLevelItemCount(), 3);

  // Deleting a listed item and closing a listed group take their entries out.
  STrekSelection first;
  first.kind = kTrekWaypoint;
  first.groupIndex = 0;
  first.waypoint = list.Group(0)->Waypoints()[0].get();
  ASSERT_TRUE(list.Select(first));
  m_prompt.push(platform::EPromptAnswer::Ok);
  ASSERT_TRUE(list.DeleteWaypoint());
  ASSERT_EQ(rows->topLevelItemCount(), 2);
  EXPECT_EQ(rows->topLevelItem(0)->text(0), "X1");
  EXPECT_EQ(rows->topLevelItem(1)->text(0), "W1");
  ASSERT_TRUE(list.Select({kTrekWaypointGroup, 1}));
  list.Group(1)->SetModified(0);
  ASSERT_TRUE(list.CloseSelectedGroup());
  ASSERT_EQ(rows->topLevelItemCount(), 1);
  EXPECT_EQ(rows->topLevelItem(0)->text(0), "W1");
}

TEST_F(GpsWindowsInView, DownloadCommandRunsItsModalDialogAndStoresTheSettings) {
  m_commPort = 3;
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<CDlgGpsDownload*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    seen = true;
    EXPECT_EQ(dlg, host().downloadDialog());
    EXPECT_EQ(dlg->windowTitle().toStdString(), gpstext::kDownloadTracksCaption);
    auto* groups = dlg->findChild<QTreeWidget*>("groupList");
    EXPECT_EQ(groups->topLevelItemCount(), 0) << "no track log group is open";
    EXPECT_EQ(dlg->findChild<QComboBox*>("portList")->count(), 0);
    QTest::mouseClick(dlg->findChild<QPushButton*>("closeButton"), Qt::LeftButton);
  });
  ASSERT_TRUE(m_view->onCommand(cmd::DownloadTracks));
  EXPECT_TRUE(seen);
  EXPECT_EQ(host().downloadDialog(), nullptr);
  EXPECT_EQ(m_prompt.texts().back(), gpstext::kNoPort);
  EXPECT_EQ(m_commPort, 3) << "without a port the remembered one stays";
  EXPECT_FALSE(m_profile.contains("Settings", "GPSCommDatum")) << "the track log dialog has no datum choice";
}

}  // namespace
