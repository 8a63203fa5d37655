// Saving trek data on a full disk through the real frame: the save says so, the file on disk
// stays as it was, and the group stays modified so that closing still offers it.
#include <gtest/gtest.h>

#include <filesystem>

#include "FrameFixture.h"
#include "app/CVantoriaDoc.h"
#include "app/TrekCommands.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/SmallDisk.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"
#include "trek/test_file_bytes.h"

namespace {

using platform::EPromptAnswer;

std::unique_ptr<CTrekData> waypoints(int count) {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(kTrekWaypointGroup);
  g->SetGroupName("Peaks");
  for (int i = 0; i < count; ++i) {
    auto p = std::make_unique<CMarkerPoint>();
    p->name = "Peak" + std::to_string(i);
    p->SetPosition(DmsAngle(35, 10, 2.0 * i), DmsAngle(139, 5, 0.0), Datum::Wgs84);
    g->AppendWaypoint(std::move(p));
  }
  return g;
}

// A version 2 waypoint file of two waypoints, which opening converts and writes again.
std::string oldVersionFile() {
  trektest::CBytes b;
  b.header(2).str("old").str("C:\\old.pmd").word(2).newClass("CMarkerPoint", 2);
  for (const char* name : {"a", "b"}) {
    b.i32(139).i32(45).f32(0.0f).i32(35).i32(40).f32(0.0f).i32(533946);
    b.str("sheet25").str("sheet50").str("area").str(name).str("dir").str("comment").str("d1").str("d2").i32(-7);
    if (name[0] == 'a') b.word(0x8001);
  }
  return b.str();
}

class FullDiskFrameTest : public apptest::FrameFixture {
 protected:
  CTrekGroupList& groups() { return m_app.Doc()->TrekGroups(); }
  std::string failedText(const std::filesystem::path& file) const {
    return "トレックデータファイル [ " + file.string() + " ] を保存できませんでした。\r\n"
           "書き込みの途中でエラーが発生しました。ディスクの空き容量を確認して下さい。\r\n元のファイルは変更されていません。";
  }
  CVantoriaApp m_app;
};

TEST_F(FullDiskFrameTest, SaveOnAFullDiskKeepsTheFileAndTheEdit) {
  testutil::CSmallDisk disk(256 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::filesystem::path file = disk.root() / "peaks.pmd";
  testutil::writeFile(file, WriteTrekBytes(*waypoints(300)));
  const std::string before = testutil::readFile(file);
  ASSERT_TRUE(m_app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(file.string())}, false));
  ASSERT_EQ(groups().Count(), 1);
  CTrekData& group = *groups().Group(0);
  ASSERT_TRUE(groups().Select({kTrekWaypoint, 0, group.Waypoints()[0].get(), nullptr, -1}));
  m_prompt.push(EPromptAnswer::Ok);  // delete it?
  ASSERT_TRUE(groups().DeleteWaypoint());
  ASSERT_EQ(group.IsModified(), 1);

  // Room for a few pages of the new file but not all of it, then none at all.
  for (const std::int64_t pages : {2, 0}) {
    SCOPED_TRACE(pages);
    disk.leaveFree(pages);
    const std::size_t asked = m_prompt.requests().size();
    EXPECT_FALSE(m_app.Frame()->TrekCommands()->SaveSelected());
    ASSERT_EQ(m_prompt.requests().size(), asked + 1);
    EXPECT_EQ(m_prompt.requests().back().text, failedText(file));
    EXPECT_EQ(m_prompt.requests().back().icon, platform::EPromptIcon::Error);
    EXPECT_TRUE(testutil::readFile(file) == before) << "the file on disk is untouched";
    EXPECT_EQ(disk.listing(), "peaks.pmd") << "no temporary file is left";
    EXPECT_EQ(group.IsModified(), 1) << "the edit is still unsaved";
    disk.unfill();
  }

  // Closing offers the group again; with room the save goes through.
  m_prompt.push(EPromptAnswer::Cancel);
  EXPECT_FALSE(m_app.Frame()->close());
  EXPECT_EQ(m_prompt.requests().back().text, "トレックデータファイル[Peaks]は変更されています。\r\n保存しますか?");
  EXPECT_TRUE(m_app.Frame()->TrekCommands()->SaveSelected());
  EXPECT_EQ(group.IsModified(), 0);
  EXPECT_EQ(ReadTrekFile(file).group->Waypoints().size(), 299u);
}

TEST_F(FullDiskFrameTest, ConvertingAnOldFileOnAFullDiskKeepsTheOriginal) {
  testutil::CSmallDisk disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::filesystem::path file = disk.root() / "old.pmd";
  testutil::writeFile(file, oldVersionFile());
  const std::string before = testutil::readFile(file);
  disk.leaveFree(0);
  // Convert? Yes. Tokyo datum? Yes.
  m_prompt.push(EPromptAnswer::Yes);
  m_prompt.push(EPromptAnswer::Yes);
  ASSERT_TRUE(m_app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(file.string())}, false));
  ASSERT_EQ(groups().Count(), 1);
  EXPECT_TRUE(testutil::readFile(file) == before) << "the original stays whole";
  EXPECT_EQ(groups().Group(0)->IsModified(), 1) << "the conversion is still to be saved";
  ASSERT_FALSE(m_prompt.requests().empty());
  EXPECT_EQ(m_prompt.requests().back().icon, platform::EPromptIcon::Error);
  EXPECT_NE(m_prompt.requests().back().text.find("を保存できませんでした。"), std::string::npos);
  disk.unfill();
}

}  // namespace
