// GPX files through the trek data menu: reading one into new groups (with its notice) and
// writing the selected group out, with the dialogs scripted.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/CVantoriaDoc.h"
#include "app/Commands.h"
#include "app/ui/CMainFrame.h"
#include "trek/CTrekGroupList.h"
#include "trek/GpxFile.h"
#include "FrameFixture.h"

namespace {

using FrameGpxTest = apptest::FrameFixture;

QAction* menuEntry(CMainFrame& frame, const QString& menuTitle, const QString& text) {
  for (QAction* top : frame.menuBar()->actions()) {
    if (top->text() != menuTitle || !top->menu()) continue;
    for (QAction* a : top->menu()->actions()) {
      if (a->text() == text) return a;
    }
  }
  return nullptr;
}

}  // namespace

TEST_F(FrameGpxTest, MenuEntriesReadAndWriteGpxFiles) {
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.InstallTrekCommands(nullptr);
  QAction* import = menuEntry(frame, QStringLiteral("トレックデータ(&G)"), QStringLiteral("GPXファイルを読み込む..."));
  QAction* exportTo = menuEntry(frame, QStringLiteral("トレックデータ(&G)"), QStringLiteral("GPXファイルに書き出す..."));
  ASSERT_TRUE(import && exportTo);
  frame.UpdateCommandUI();
  EXPECT_TRUE(import->isEnabled());
  EXPECT_FALSE(exportTo->isEnabled());  // no group selected

  std::string longName;
  for (int i = 0; i < 300; ++i) longName += "長";
  const auto gpx = put("hike.gpx",
                       "<gpx version=\"1.1\" creator=\"phone\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
                       "<wpt lat=\"35.36\" lon=\"138.72\"><name>Summit ⛰</name></wpt>"
                       "<wpt lat=\"35.37\" lon=\"138.73\"><name>" + longName + "</name></wpt>"
                       "<trk><name>Morning</name><trkseg><trkpt lat=\"35.3\" lon=\"138.7\">"
                       "<time>2024-05-01T22:00:00Z</time></trkpt></trkseg></trk></gpx>");
  const auto broken = put("broken.gpx", "<gpx><wpt></gpx>");
  m_dialog.push({true, {gpx, broken}, 0, {}});
  import->trigger();
  ASSERT_EQ(m_dialog.requests().size(), 1u);
  EXPECT_EQ(m_dialog.requests()[0].filter, "GPXファイル(*.gpx)|*.gpx||");
  EXPECT_TRUE(m_dialog.requests()[0].multiSelect);
  CTrekGroupList& list = doc.TrekGroups();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Group(0)->Kind(), CTrekData::kWaypointGroup);
  EXPECT_EQ(list.Group(1)->Kind(), CTrekData::kTrackLogGroup);
  EXPECT_EQ(list.Group(0)->GroupName(), "hike");
  EXPECT_EQ(list.Group(1)->TrackLogs()[0]->name, "Morning");
  // The notice of the good file, then the refusal of the broken one: the file's turn decides.
  const std::vector<std::string> texts = m_prompt.texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find("ウェイポイント「Summit ⛰」"), std::string::npos) << texts[0];
  // The long name is cut in the message; the details behind "詳細" hold what the group keeps of it.
  const std::string shown = longName.substr(0, 40 * std::string("長").size());
  const std::string kept = longName.substr(0, 255 * std::string("長").size());
  EXPECT_NE(texts[0].find("ウェイポイント「" + shown + "…」"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[0].find(shown + "長"), std::string::npos);
  EXPECT_EQ(m_prompt.requests()[0].icon, platform::EPromptIcon::Warning);
  EXPECT_NE(m_prompt.requests()[0].details.find("ウェイポイント「" + kept + "…」"), std::string::npos);
  EXPECT_TRUE(m_prompt.requests()[1].details.empty());
  EXPECT_NE(texts[1].find(broken.string() + " はGPXファイルとして読み込めません。"), std::string::npos) << texts[1];

  ASSERT_TRUE(list.Select({kTrekTrackLogGroup, 1, nullptr, nullptr, -1}));
  frame.UpdateCommandUI();
  EXPECT_TRUE(exportTo->isEnabled());
  const auto out = path("out.gpx");
  m_dialog.pushPath(out);
  exportTo->trigger();
  ASSERT_EQ(m_dialog.requests().size(), 2u);
  EXPECT_TRUE(m_dialog.requests()[1].save);
  EXPECT_EQ(m_dialog.requests()[1].initialName, "hike.gpx");
  const SGpxReadResult back = ReadGpxFile(out);
  ASSERT_TRUE(back.ok()) << back.error;
  ASSERT_TRUE(back.tracks);
  EXPECT_FALSE(back.waypoints);
  EXPECT_EQ(back.tracks->TrackLogs()[0]->Points()[0].time, list.Group(1)->TrackLogs()[0]->Points()[0].time);
  EXPECT_EQ(list.Group(1)->IsModified(), 1);  // a GPX copy is not the group's own file

  // A folder that cannot be written is reported and nothing else changes.
  m_dialog.pushPath(out / "sub.gpx");
  exportTo->trigger();
  ASSERT_EQ(m_prompt.texts().size(), 3u);
  EXPECT_EQ(m_prompt.texts()[2].rfind("ファイル [ " + (out / "sub.gpx").string() + " ] を保存できませんでした。", 0), 0u);
}
