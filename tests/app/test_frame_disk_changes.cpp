// Trek files written by another program while they are open here (vantoria-cli converting
// into them, an editor): the running program notices, asks once per change, and never writes
// over such a change without asking.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/CVantoriaDoc.h"
#include "app/TrekCommands.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "FrameFixture.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"

namespace {

using platform::EPromptAnswer;
using platform::EPromptButtons;
using platform::EPromptIcon;

std::unique_ptr<CTrekData> waypoints(const char* groupName, std::initializer_list<const char*> names) {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(kTrekWaypointGroup);
  g->SetGroupName(groupName);
  int i = 0;
  for (const char* name : names) {
    auto p = std::make_unique<CMarkerPoint>();
    p->name = name;
    p->SetPosition(DmsAngle(35, 10, 5.0 * i), DmsAngle(139, 5, 0.0), Datum::Wgs84);
    g->AppendWaypoint(std::move(p));
    ++i;
  }
  return g;
}

enum class EWrite { Rename, InPlace, SameBytes };

/// How another program writes: vantoria-cli through a temporary file renamed over the old one,
/// an editor truncating and writing the same file.
void writeElsewhere(const std::filesystem::path& path, EWrite how, const CTrekData& group) {
  switch (how) {
    case EWrite::Rename:
      ASSERT_TRUE(WriteTrekFileAtomic(path, group).ok());
      return;
    case EWrite::InPlace: {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      const std::string bytes = WriteTrekBytes(group);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      return;
    }
    case EWrite::SameBytes: {
      const std::string bytes = testutil::readFile(path);
      ASSERT_TRUE(WriteFileAtomic(path, [&](QIODevice& d) { return d.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()); }).ok());
      return;
    }
  }
}

class DiskChangeTest : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    apptest::FrameFixture::SetUp();
    m_file = put("walk.pmd", WriteTrekBytes(*waypoints("Walk", {"Peak", "Hut"})));
    ASSERT_TRUE(m_app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(m_file.string())}, false));
    ASSERT_EQ(groups().Count(), 1);
    ASSERT_TRUE(m_prompt.requests().empty());
  }
  CTrekGroupList& groups() { return m_app.Doc()->TrekGroups(); }
  CTrekData& group() { return *groups().Group(0); }
  std::string changedText() const { return m_file.string() + "は他のプログラムによって変更されました。読み込み直しますか?"; }
  std::string overwriteText() const { return m_file.string() + "は他のプログラムによって変更されています。上書きしますか?"; }
  /// Lets the watcher's report arrive and settle; true when a question came meanwhile.
  bool waitForQuestion(std::size_t before) {
    QTest::qWait(50);
    for (int i = 0; i < 60 && m_prompt.requests().size() == before; ++i) QTest::qWait(50);
    return m_prompt.requests().size() > before;
  }
  std::string firstName() { return group().Waypoints().empty() ? std::string() : group().Waypoints()[0]->name; }

  std::filesystem::path m_file;
  CVantoriaApp m_app;
};

TEST_F(DiskChangeTest, ChangeIsAskedAboutOnceAndDoneAsAnswered) {
  const auto theirs = waypoints("Theirs", {"Col", "Tarn", "Ridge"});
  const struct {
    const char* name;
    EWrite how;
    EPromptAnswer answer;
    bool asked;
    const char* firstAfter;  // first waypoint of the group afterwards
    bool modifiedAfter;
  } kCases[] = {
      {"renamed over, Yes: read again", EWrite::Rename, EPromptAnswer::Yes, true, "Col", false},
      {"renamed over, No: this version kept", EWrite::Rename, EPromptAnswer::No, true, "Peak", true},
      {"written in place, Yes", EWrite::InPlace, EPromptAnswer::Yes, true, "Col", false},
      {"written in place, No", EWrite::InPlace, EPromptAnswer::No, true, "Peak", true},
      {"the same bytes again: no change", EWrite::SameBytes, EPromptAnswer::Yes, false, "Peak", false},
  };
  const std::string ours = WriteTrekBytes(*waypoints("Walk", {"Peak", "Hut"}));
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // Back to the state after opening: the program's version on disk and in the group.
    testutil::writeFile(m_file, ours);
    ASSERT_TRUE(groups().ReloadGroup(0));
    QTest::qWait(300);
    m_prompt.clear();

    m_prompt.push(c.answer);
    writeElsewhere(m_file, c.how, *theirs);
    ASSERT_EQ(waitForQuestion(0), c.asked);
    if (c.asked) {
      const platform::SPromptRequest& r = m_prompt.requests()[0];
      EXPECT_EQ(r.text, changedText());
      EXPECT_EQ(r.icon, EPromptIcon::Question);
      EXPECT_EQ(r.buttons, EPromptButtons::YesNo);
      EXPECT_EQ(r.caption, "Vantoria");
    }
    EXPECT_EQ(firstName(), c.firstAfter);
    EXPECT_EQ(group().IsModified(), c.modifiedAfter ? 1 : 0);
    // Once per change: nothing more while the file stays as it is, read again or not.
    QTest::qWait(400);
    EXPECT_EQ(m_prompt.requests().size(), c.asked ? 1u : 0u);
    EXPECT_TRUE(m_app.Doc()->WatchedTrekFiles().contains(QString::fromStdString(m_file.string())))
        << "still watched after the file was replaced";
  }
}

TEST_F(DiskChangeTest, EveryLaterChangeIsAskedAgain) {
  for (const char* name : {"First", "Second", "Third"}) {
    SCOPED_TRACE(name);
    const std::size_t before = m_prompt.requests().size();
    m_prompt.push(EPromptAnswer::Yes);
    writeElsewhere(m_file, EWrite::Rename, *waypoints("Theirs", {name}));
    ASSERT_TRUE(waitForQuestion(before));
    EXPECT_EQ(m_prompt.requests().back().text, changedText());
    EXPECT_EQ(firstName(), name);
  }
}

TEST_F(DiskChangeTest, KeptVersionIsOfferedOnClosingAndSavedOverTheirs) {
  m_prompt.push(EPromptAnswer::No);
  writeElsewhere(m_file, EWrite::Rename, *waypoints("Theirs", {"Col"}));
  ASSERT_TRUE(waitForQuestion(0));
  ASSERT_EQ(group().IsModified(), 1);
  // Closing asks to save; the user already chose this version, so it is written without a
  // second question.
  m_prompt.push(EPromptAnswer::Yes);
  EXPECT_TRUE(m_app.Frame()->close());
  ASSERT_EQ(m_prompt.requests().size(), 2u);
  EXPECT_EQ(m_prompt.requests()[1].text, "トレックデータファイル[Walk]は変更されています。\r\n保存しますか?");
  const STrekReadResult onDisk = ReadTrekFile(m_file);
  ASSERT_TRUE(onDisk.ok());
  EXPECT_EQ(onDisk.group->Waypoints()[0]->name, "Peak");
}

TEST_F(DiskChangeTest, SavingOverAChangeTheWatcherHasNotToldIsAsked) {
  ASSERT_TRUE(groups().Select({kTrekWaypointGroup, 0, nullptr, nullptr, -1}));
  ASSERT_TRUE(groups().RenameGroup(0, "Edited"));
  // Written and saved over before any event is handled: only the check at saving sees it.
  const auto theirs = waypoints("Theirs", {"Col"});
  writeElsewhere(m_file, EWrite::Rename, *theirs);
  const std::string theirBytes = testutil::readFile(m_file);

  m_prompt.push(EPromptAnswer::No);
  EXPECT_FALSE(m_app.Frame()->TrekCommands()->SaveSelected());
  ASSERT_EQ(m_prompt.requests().size(), 1u);
  const platform::SPromptRequest& r = m_prompt.requests()[0];
  EXPECT_EQ(r.text, overwriteText());
  EXPECT_EQ(r.icon, EPromptIcon::Question);
  EXPECT_EQ(r.buttons, EPromptButtons::YesNo);
  EXPECT_EQ(testutil::readFile(m_file), theirBytes) << "No writes nothing";
  EXPECT_EQ(group().IsModified(), 1);

  // Closing offers to save, and saving asks again; No keeps the program running.
  m_prompt.push(EPromptAnswer::Yes);
  m_prompt.push(EPromptAnswer::No);
  EXPECT_FALSE(m_app.Frame()->close());
  ASSERT_EQ(m_prompt.requests().size(), 3u);
  EXPECT_EQ(m_prompt.requests()[2].text, overwriteText());
  EXPECT_EQ(testutil::readFile(m_file), theirBytes);

  m_prompt.push(EPromptAnswer::Yes);
  EXPECT_TRUE(m_app.Frame()->TrekCommands()->SaveSelected());
  EXPECT_EQ(group().IsModified(), 0);
  EXPECT_EQ(ReadTrekFile(m_file).group->GroupName(), "Edited");
  // The watcher's late reports of both writes find the program's own bytes: nothing to ask.
  EXPECT_FALSE(waitForQuestion(4));
  EXPECT_EQ(m_prompt.requests().size(), 4u);
}

TEST_F(DiskChangeTest, OwnSavesAreNoChangeAndAGoneFileIsOfferedOnClosing) {
  ASSERT_TRUE(groups().Select({kTrekWaypointGroup, 0, nullptr, nullptr, -1}));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(groups().RenameGroup(0, "Edit" + std::to_string(i)));
    ASSERT_TRUE(m_app.Frame()->TrekCommands()->SaveSelected());
    QTest::qWait(200);
  }
  EXPECT_FALSE(waitForQuestion(0)) << "the program's own saves are no change";
  std::filesystem::remove(m_file);
  QTest::qWait(400);
  EXPECT_TRUE(m_prompt.requests().empty());
  EXPECT_EQ(group().IsModified(), 1) << "only the program holds the group now";
  m_prompt.push(EPromptAnswer::Cancel);
  EXPECT_FALSE(m_app.Frame()->close());
  ASSERT_EQ(m_prompt.requests().size(), 1u);
  EXPECT_EQ(m_prompt.requests()[0].text, "トレックデータファイル[Edit2]は変更されています。\r\n保存しますか?");
}

TEST_F(DiskChangeTest, QuestionWaitsForTheEditingWindowOnTheGroup) {
  // A waypoint window works on the first waypoint: the group cannot be replaced under it.
  ASSERT_TRUE(groups().Select({kTrekWaypoint, 0, group().Waypoints()[0].get(), nullptr, -1}));
  groups().HoldSelection(true);
  m_prompt.push(EPromptAnswer::Yes);
  writeElsewhere(m_file, EWrite::Rename, *waypoints("Theirs", {"Col"}));
  QTest::qWait(800);
  EXPECT_TRUE(m_prompt.requests().empty());
  EXPECT_EQ(firstName(), "Peak");
  groups().ReleaseHold();
  ASSERT_TRUE(waitForQuestion(0));
  EXPECT_EQ(m_prompt.requests()[0].text, changedText());
  EXPECT_EQ(firstName(), "Col");
  EXPECT_EQ(groups().Selection().kind, kTrekWaypointGroup) << "the selection falls back to the group read again";
}

}  // namespace
