// Recovery copies of unsaved trek edits: when they are written and removed, two instances on one
// folder, damaged copies, a full disk, and the start-up offer with its three answers.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/CVantoriaDoc.h"
#include "app/FrameFixture.h"
#include "app/RecoveryManager.h"
#include "app/RecoveryOffer.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/SmallDisk.h"
#include "common/TestUtil.h"
#include "platform/FileLookup.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "app/RecoveryFixture.h"
#include "trek/RecoveryFile.h"
#include "trek/TrekFile.h"

namespace fs = std::filesystem;
using platform::EPromptAnswer;
using recoverytest::SInstance;
using recoverytest::waypoint;

namespace {

/// The names in a folder (files only), sorted.
std::set<std::string> names(const fs::path& folder) {
  std::set<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec))
    if (e.is_regular_file()) out.insert(e.path().filename().string());
  return out;
}

std::size_t countCopies(const fs::path& folder) {
  std::size_t n = 0;
  for (const std::string& name : names(folder)) n += fs::path(name).extension() == ".vrc";
  return n;
}

// Public: the table's actions reach into it.
class Recovery : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    root = platform::pathFromUtf8(tmp.path().toStdString());
    folder = root / "recovery";
    platform::setPrompt(&prompt);
    platform::setProfile(&profile);
    // The group's file: four waypoints.
    CTrekData g;
    g.SetKind(CTrekData::kWaypointGroup);
    g.SetGroupName("Walk");
    for (int i = 0; i < 4; ++i) g.AppendWaypoint(waypoint("P" + std::to_string(i), i * 7.0));
    trekFile = root / "walk.pmd";
    // As the program saves it: the file records its own path.
    g.SetFilePath(platform::pathToUtf8(trekFile));
    ASSERT_TRUE(WriteTrekFileAtomic(trekFile, g).ok());
  }
  void TearDown() override {
    platform::setProfile(nullptr);
    platform::setPrompt(nullptr);
  }
  /// An instance that has the trek file open and its copies started.
  std::unique_ptr<SInstance> start() {
    auto in = std::make_unique<SInstance>(folder);
    EXPECT_TRUE(in->manager->Start());
    EXPECT_EQ(in->list.OpenTrekFile(trekFile), 1);
    return in;
  }
  /// Adds a waypoint as the user does, each at a place of its own.
  void edit(SInstance& in, const std::string& name) {
    ASSERT_NE(in.list.AddWaypoint(0, waypoint(name, 30.0 + 0.25 * m_edits++), true, false), nullptr);
  }
  int m_edits = 0;

  QTemporaryDir tmp;
  fs::path root, folder, trekFile;
  platform::CScriptedPrompt prompt;
  platform::CMemoryProfile profile;
};

TEST(RecoverySchedule, QuietTimeAfterTheLastEditButNeverLaterThanTheLongestDelay) {
  const struct {
    const char* name;
    std::vector<std::int64_t> edits;
    std::optional<std::int64_t> due;
  } kCases[] = {
      {"nothing edited", {}, std::nullopt},
      {"one edit", {1000}, 4000},
      {"a burst waits for its end", {0, 1000, 2500}, 5500},
      {"a pause longer than the quiet time", {0, 5000}, 8000},
      {"editing on and on: the longest delay", {0, 2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 20000,
                                                  22000, 24000, 26000, 28000, 29000},
       30000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CRecoverySchedule s;
    for (const std::int64_t t : c.edits) s.noteEdit(t);
    EXPECT_EQ(s.due(), c.due);
  }
  // A pass takes what was pending; the next edit starts a new delay.
  CRecoverySchedule s;
  s.noteEdit(0);
  s.noteEdit(29000);
  s.taken();
  EXPECT_FALSE(s.due());
  s.noteEdit(31000);
  EXPECT_EQ(s.due(), 34000);
}

TEST_F(Recovery, CopyIsWrittenTheQuietTimeAfterTheLastEditAsTheSaveWouldWriteIt) {
  auto in = start();
  edit(*in, "New");
  in->advance(2999);
  EXPECT_EQ(countCopies(folder), 0u);
  in->advance(1);
  const fs::path copy = in->manager->CopyPath(*in->list.Group(0));
  ASSERT_FALSE(copy.empty());
  const trek::SRecoveryRead r = trek::ReadRecoveryFile(copy);
  ASSERT_TRUE(r.ok()) << r.reason;
  EXPECT_EQ(r.body, WriteTrekBytes(*in->list.Group(0)));
  EXPECT_EQ(r.header.owner, in->manager->OwnerId());
  EXPECT_EQ(r.header.filePath, platform::pathToUtf8(trekFile));
  EXPECT_EQ(r.header.groupName, "Walk");
  EXPECT_EQ(r.header.waypoints, 5u);
  EXPECT_EQ(r.header.savedAtMs, in->clock.wallMs());
  // Only the copy and the instance's lock: the temporary file went with the rename.
  EXPECT_EQ(names(folder), (std::set<std::string>{copy.filename().string(), in->manager->OwnerId() + ".lock"}));

  // Nothing changed since: not written again.
  in->list.NotifyDataChanged();
  in->advance(5000);
  EXPECT_EQ(in->manager->CopiesWritten(), 1);
}

TEST_F(Recovery, EditingOnAndOnIsCopiedAtLeastEveryThirtySeconds) {
  auto in = start();
  std::vector<std::int64_t> copiedAt;
  QObject::connect(in->manager.get(), &CRecoveryManager::copyWritten, [&] { copiedAt.push_back(in->clock.nowMs()); });
  // One edit a second for 65 s: never a quiet time.
  for (int i = 0; i < 65; ++i) {
    std::string name = "E";  // appended: GCC 12 at -O3 warns falsely about "E" + string
    name += std::to_string(i);
    edit(*in, name);
    in->advance(1000);
  }
  for (int i = 0; i < 10; ++i) in->advance(1000);
  // At 30 s and 60 s (the first edit after a copy starts the next delay), then the quiet time
  // after the last edit.
  EXPECT_EQ(copiedAt, (std::vector<std::int64_t>{30000, 60000, 67000}));
  const trek::SRecoveryRead r = trek::ReadRecoveryFile(in->manager->CopyPath(*in->list.Group(0)));
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.body, WriteTrekBytes(*in->list.Group(0)));
}

TEST_F(Recovery, CopyGoesWhenNothingIsLeftToRecover) {
  const struct {
    const char* name;
    std::function<void(Recovery&, SInstance&)> act;
  } kCases[] = {
      {"saved", [](Recovery&, SInstance& in) { EXPECT_TRUE(in.list.SaveGroup(*in.list.Group(0))); }},
      {"closed without saving (いいえ)",
       [](Recovery& t, SInstance& in) {
         t.prompt.push(EPromptAnswer::No);
         ASSERT_TRUE(in.list.Select({kTrekWaypointGroup, 0, nullptr, nullptr, -1}));
         EXPECT_TRUE(in.list.CloseSelectedGroup());
       }},
      {"undone back to the saved state",
       [](Recovery&, SInstance& in) {
         EXPECT_TRUE(in.list.Undo());
         EXPECT_TRUE(in.list.Undo());
         EXPECT_TRUE(in.list.Group(0)->IsModified());  // as undo leaves it; only the copy goes
         in.advance(3000);
       }},
      {"clean exit", [](Recovery&, SInstance& in) { in.manager->Shutdown(); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder);
    prompt.clear();
    auto in = start();
    edit(*in, "A");
    edit(*in, "BB");
    in->advance(3000);
    ASSERT_EQ(countCopies(folder), 1u);
    c.act(*this, *in);
    in->manager->WaitIdle();
    EXPECT_EQ(countCopies(folder), 0u);
    if (std::string(c.name) == "clean exit") {
      EXPECT_TRUE(names(folder).empty());
    }
  }
}

TEST_F(Recovery, UndoingPartWayKeepsACopyOfWhatIsLeft) {
  auto in = start();
  edit(*in, "A");
  edit(*in, "BB");
  in->advance(3000);
  EXPECT_TRUE(in->list.Undo());
  in->advance(3000);
  const trek::SRecoveryRead r = trek::ReadRecoveryFile(in->manager->CopyPath(*in->list.Group(0)));
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.header.waypoints, 5u);
  EXPECT_EQ(in->manager->CopiesWritten(), 2);
}

TEST_F(Recovery, TwoInstancesNeverTakeEachOthersCopies) {
  auto a = start();
  SInstance b(folder);
  ASSERT_TRUE(b.manager->Start());
  edit(*a, "FromA");
  a->advance(3000);
  const std::string control = WriteTrekBytes(*a->list.Group(0));
  ASSERT_EQ(countCopies(folder), 1u);

  // A runs: B sees nothing to offer.
  EXPECT_TRUE(ScanRecoveryFolder(folder, b.manager->OwnerId(), true).copies.empty());
  // A ends without its clean exit (the manager goes as in a crash): now B is offered its copy.
  a.reset();
  SRecoveryScan scan = ScanRecoveryFolder(folder, b.manager->OwnerId(), true);
  ASSERT_EQ(scan.copies.size(), 1u);
  EXPECT_EQ(scan.copies[0].read.body, control);
  // While B deals with it, a third instance starting does not offer it too.
  EXPECT_TRUE(ScanRecoveryFolder(folder, "p0-third", true).copies.empty());

  prompt.push(EPromptAnswer::Yes);
  EXPECT_EQ(OfferRecovery(b.list, b.manager.get(), std::move(scan)), 1);
  b.manager->WaitIdle();
  ASSERT_EQ(b.list.Count(), 1);
  CTrekData& restored = *b.list.Group(0);
  EXPECT_TRUE(restored.IsModified());
  EXPECT_EQ(restored.FilePath(), platform::pathToUtf8(trekFile));
  EXPECT_EQ(WriteTrekBytes(restored), control);
  // The copy is B's now: A's file is gone.
  ASSERT_EQ(countCopies(folder), 1u);
  EXPECT_EQ(RecoveryOwnerOf(b.manager->CopyPath(restored)), b.manager->OwnerId());
  // "上書き保存" writes where the user meant, and the copy goes.
  EXPECT_TRUE(b.list.SaveGroup(restored));
  b.manager->WaitIdle();
  EXPECT_EQ(testutil::readFile(trekFile), control);
  EXPECT_EQ(countCopies(folder), 0u);
  b.manager->Shutdown();
  EXPECT_TRUE(names(folder).empty());
}

TEST_F(Recovery, OfferAnswers) {
  const struct {
    const char* name;
    EPromptAnswer answer;
    int groups;
    std::size_t copiesLeft;
    bool offeredAgain;
  } kCases[] = {
      {"復元", EPromptAnswer::Yes, 1, 1, false},
      {"破棄", EPromptAnswer::No, 0, 0, false},
      {"後で", EPromptAnswer::Cancel, 0, 1, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder);
    prompt.clear();
    {
      auto ended = start();
      edit(*ended, "Lost");
      ended->advance(3000);
    }
    SInstance next(folder);
    ASSERT_TRUE(next.manager->Start());
    prompt.push(c.answer);
    EXPECT_EQ(OfferRecovery(next.list, next.manager.get(), ScanRecoveryFolder(folder, next.manager->OwnerId(), true)),
              c.groups);
    next.manager->WaitIdle();
    ASSERT_EQ(prompt.requests().size(), 1u);
    const platform::SPromptRequest& asked = prompt.requests()[0];
    EXPECT_EQ(asked.buttonTexts, (std::vector<std::string>{"復元", "破棄", "後で"}));
    EXPECT_EQ(asked.buttons, platform::EPromptButtons::YesNoCancel);
    EXPECT_NE(asked.text.find("[ Walk ]  " + platform::pathToUtf8(trekFile)), std::string::npos) << asked.text;
    EXPECT_NE(asked.text.find("ウェイポイント 5 個"), std::string::npos) << asked.text;
    EXPECT_EQ(next.list.Count(), c.groups);
    EXPECT_EQ(countCopies(folder), c.copiesLeft);
    EXPECT_EQ(ScanRecoveryFolder(folder, next.manager->OwnerId(), true).copies.size(), c.offeredAgain ? 1u : 0u);
  }
}

TEST_F(Recovery, DamagedCopiesAreNamedKeptAsideAndNeverOffered) {
  // A good copy of an ended instance, then each damage of it.
  CTrekData g;
  g.SetKind(CTrekData::kWaypointGroup);
  g.SetGroupName("Walk");
  g.AppendWaypoint(waypoint("P", 1.0));
  trek::SRecoveryHeader h;
  h.owner = "p1-dead";
  trek::DescribeGroup(g, h);
  const std::string good = trek::RecoveryBytes(h, WriteTrekBytes(g));
  const std::size_t bodyAt = good.size() - WriteTrekBytes(g).size();
  std::string oldBody = WriteTrekBytes(g);
  oldBody[28] = 2;  // trek version 2 would ask the conversion questions
  const std::string oldVersion = trek::RecoveryBytes(h, oldBody);
  std::string newer = good;
  newer[8] = 2;
  std::string flipped = good;
  flipped[bodyAt + 40] ^= 0x01;

  const struct {
    const char* name;
    std::string bytes;
    trek::ERecoveryStatus want;
  } kCases[] = {
      {"empty file", "", trek::ERecoveryStatus::NotRecoveryCopy},
      {"not a copy", "Vantoria25000 PointDataFile", trek::ERecoveryStatus::NotRecoveryCopy},
      {"newer version", newer, trek::ERecoveryStatus::NewerVersion},
      {"cut in the header", good.substr(0, 30), trek::ERecoveryStatus::Truncated},
      {"cut in the body", good.substr(0, bodyAt + 10), trek::ERecoveryStatus::Truncated},
      {"a body byte changed", flipped, trek::ERecoveryStatus::BadChecksum},
      {"bytes after the body", good + "x", trek::ERecoveryStatus::BadHeader},
      {"an older trek version", oldVersion, trek::ERecoveryStatus::BadContent},
  };
  ASSERT_TRUE(trek::ReadRecoveryBytes(good).ok());
  fs::create_directories(folder);
  std::vector<std::string> written;
  int n = 1;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(trek::ReadRecoveryBytes(c.bytes).status, c.want);
    const std::string name = "p1-dead-" + std::to_string(n++) + ".vrc";
    testutil::writeFile(folder / name, c.bytes);
    written.push_back(name);
  }
  // Every cut of a good copy is refused, none crashes or asks.
  for (std::size_t len = 0; len < good.size(); ++len) ASSERT_FALSE(trek::ReadRecoveryBytes(good.substr(0, len)).ok());

  SInstance next(folder);
  ASSERT_TRUE(next.manager->Start());
  EXPECT_EQ(OfferRecovery(next.list, next.manager.get(), ScanRecoveryFolder(folder, next.manager->OwnerId(), true)), 0);
  // One warning, no question: nothing readable is left to offer.
  ASSERT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(prompt.requests()[0].icon, platform::EPromptIcon::Warning);
  const std::string& text = prompt.requests()[0].text;
  for (const std::string& name : written) EXPECT_NE(text.find(name), std::string::npos) << name;
  EXPECT_NE(text.find(platform::pathToUtf8(folder / "damaged")), std::string::npos);
  std::set<std::string> want(written.begin(), written.end());
  EXPECT_EQ(names(folder / "damaged"), want);
  EXPECT_EQ(countCopies(folder), 0u);
  // Kept aside, they are not reported at the next start.
  prompt.clear();
  EXPECT_EQ(OfferRecovery(next.list, next.manager.get(), ScanRecoveryFolder(folder, next.manager->OwnerId(), true)), 0);
  EXPECT_TRUE(prompt.requests().empty());
}

TEST_F(Recovery, AnEditBetweenTwoTurnsOfALargeCopyBeginsItAgain) {
  SInstance in(folder);
  in.manager->setTiming({3000, 30000, 0});  // one piece of a log a turn
  ASSERT_TRUE(in.manager->Start());
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kTrackLogGroup);
  g->SetGroupName("Tracks");
  g->SetModified(1);
  g->AppendTrackLog(recoverytest::trackLog("Ridge", 50000));
  in.list.AppendGroup(std::move(g));
  in.clock.advance(3000);
  // The worker makes the snapshot's memory ready; its outcome starts the first turn.
  QElapsedTimer waited;
  waited.start();
  while (!in.manager->CopyInProgress() && waited.elapsed() < 10000)
    QCoreApplication::sendPostedEvents(in.manager.get(), QEvent::MetaCall);
  ASSERT_TRUE(in.manager->CopyInProgress());
  // A change to a piece already copied, between two turns.
  in.list.Group(0)->TrackLogs()[0]->Points()[10].altitude = -5.0;
  in.manager->NoteChange();
  in.manager->WaitIdle();
  const trek::SRecoveryRead r = trek::ReadRecoveryFile(in.manager->CopyPath(*in.list.Group(0)));
  ASSERT_TRUE(r.ok());
  // Compared whole, not printed: a failure would print megabytes.
  EXPECT_TRUE(r.body == WriteTrekBytes(*in.list.Group(0))) << "the copy lacks the change";
  EXPECT_EQ(in.manager->CopiesWritten(), 1) << "the broken-off copy is never written";
  in.manager->Shutdown();
}

TEST_F(Recovery, AFullDiskKeepsTheEarlierCopyWhole) {
  testutil::CSmallDisk disk(2 * 1024 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here";
  folder = disk.root() / "recovery";
  SInstance in(folder);
  ASSERT_TRUE(in.manager->Start());
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kTrackLogGroup);
  g->SetGroupName("Tracks");
  g->SetModified(1);
  // Large enough for the worker to make the snapshot's memory ready first.
  g->AppendTrackLog(recoverytest::trackLog("Ridge", 5000));
  in.list.AppendGroup(std::move(g));
  in.advance(3000);
  const fs::path copy = in.manager->CopyPath(*in.list.Group(0));
  ASSERT_FALSE(copy.empty());
  const std::string earlier = testutil::readFile(copy);
  ASSERT_TRUE(trek::ReadRecoveryBytes(earlier).ok());
  EXPECT_TRUE(trek::ReadRecoveryBytes(earlier).body == WriteTrekBytes(*in.list.Group(0)));

  QSignalSpy failed(in.manager.get(), &CRecoveryManager::copyFailed);
  disk.leaveFree(4);
  in.list.Group(0)->AppendTrackLog(recoverytest::trackLog("Valley", 5000));
  in.list.NotifyDataChanged();
  in.advance(3000);
  EXPECT_EQ(failed.count(), 1);
  EXPECT_TRUE(testutil::readFile(copy) == earlier) << "the earlier copy changed";
  EXPECT_EQ(countCopies(folder), 1u);
  EXPECT_EQ(names(folder).size(), 2u) << "no temporary file left";

  // Room again: the next try writes it.
  disk.unfill();
  in.advance(30000);
  const trek::SRecoveryRead r = trek::ReadRecoveryFile(copy);
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r.body == WriteTrekBytes(*in.list.Group(0)));
  in.manager->Shutdown();
}

using RecoveryApp = apptest::FrameFixture;

TEST_F(RecoveryApp, TheProgramOffersTheCopiesAndLeavesNoneAtACleanExit) {
  const fs::path folder = root() / "recovery";
  const fs::path file = root() / "walk.pmd";
  CTrekData g;
  g.SetKind(CTrekData::kWaypointGroup);
  g.SetGroupName("Walk");
  g.SetFilePath(platform::pathToUtf8(file));
  g.AppendWaypoint(waypoint("P", 1.0));
  ASSERT_TRUE(WriteTrekFileAtomic(file, g).ok());
  {
    // An instance that ended with an edit not saved.
    SInstance ended(folder);
    ASSERT_TRUE(ended.manager->Start());
    ASSERT_EQ(ended.list.OpenTrekFile(file), 1);
    ASSERT_NE(ended.list.AddWaypoint(0, waypoint("Q", 9.0), true, false), nullptr);
    ended.advance(3000);
  }
  ASSERT_EQ(countCopies(folder), 1u);
  {
    CVantoriaApp app;
    app.SetRecoveryFolder(QString::fromStdString(platform::pathToUtf8(folder)));
    m_prompt.push(EPromptAnswer::Yes);  // 復元
    ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria")}, false));
    ASSERT_EQ(m_prompt.requests().size(), 1u);
    EXPECT_EQ(m_prompt.requests()[0].buttonTexts, (std::vector<std::string>{"復元", "破棄", "後で"}));
    ASSERT_EQ(app.Doc()->TrekGroups().Count(), 1);
    const CTrekData& restored = *app.Doc()->TrekGroups().Group(0);
    EXPECT_TRUE(restored.IsModified());
    EXPECT_EQ(restored.FilePath(), platform::pathToUtf8(file));
    EXPECT_EQ(restored.Waypoints().size(), 2u);
    ASSERT_TRUE(app.Recovery());
    app.Recovery()->WaitIdle();
    ASSERT_EQ(countCopies(folder), 1u);
    EXPECT_EQ(RecoveryOwnerOf(app.Recovery()->CopyPath(restored)), app.Recovery()->OwnerId());
    // Closing: "いいえ" at the save question, and the program ends.
    m_prompt.push(EPromptAnswer::No);
    app.Frame()->close();
    EXPECT_TRUE(app.Doc()->CloseConfirmed());
  }
  EXPECT_TRUE(names(folder).empty());
}

}  // namespace
