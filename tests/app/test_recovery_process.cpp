// A real process edits a trek group, waits for its recovery copy and is killed with SIGKILL; the
// copy it leaves restores to exactly the bytes a save at that moment writes (a control run saves
// after the same edits). The program under test is this test binary run as RecoveryChild.Run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/RecoveryFixture.h"
#include "app/RecoveryManager.h"
#include "app/RecoveryOffer.h"
#include "common/TestUtil.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "trek/RecoveryFile.h"
#include "trek/TrekFile.h"

namespace fs = std::filesystem;

namespace {

std::string env(const char* name) { return qEnvironmentVariable(name).toStdString(); }

int envInt(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok ? v : fallback;
}

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

/// The edits of a run: five waypoints and a new group name.
void editAsTheUserDoes(CTrekGroupList& list, int first, int count) {
  for (int i = first; i < first + count; ++i)
    (void)list.AddWaypoint(0, recoverytest::waypoint("W" + std::to_string(i), 30.0 + 0.5 * i), true, false);
}

}  // namespace

// Does nothing unless started by the tests below (or scripts/recovery-kill-demo.sh) with
// VANTORIA_RECOVERY_CHILD set: "save" edits and saves to VANTORIA_RECOVERY_SAVE; "copy" edits,
// waits for the copy, says "COPIED <file>" and waits to be killed; "edit" edits on and on, one
// waypoint every VANTORIA_RECOVERY_EDIT_MS, saying "EDIT <n> <ms>" and "COPY <waypoints> <ms>".
TEST(RecoveryChild, Run) {
  const std::string mode = env("VANTORIA_RECOVERY_CHILD");
  if (mode.empty()) GTEST_SKIP() << "run as a child process of the recovery tests";
  platform::CScriptedPrompt prompt;
  platform::setPrompt(&prompt);
  recoverytest::SInstance in(platform::pathFromUtf8(env("VANTORIA_RECOVERY_DIR")), false);
  SRecoveryTiming timing;
  timing.quietMs = envInt("VANTORIA_RECOVERY_QUIET_MS", 3000);
  timing.maxDelayMs = envInt("VANTORIA_RECOVERY_MAX_MS", 30000);
  in.manager->setTiming(timing);
  if (mode != "save") {
    ASSERT_TRUE(in.manager->Start());
  }
  const fs::path file = platform::pathFromUtf8(env("VANTORIA_RECOVERY_FILE"));
  if (!fs::exists(file)) {
    // The script's run starts from a group of three waypoints, as the tests do.
    CTrekData g;
    g.SetKind(CTrekData::kWaypointGroup);
    g.SetGroupName("Walk");
    g.SetFilePath(platform::pathToUtf8(file));
    for (int i = 0; i < 3; ++i) g.AppendWaypoint(recoverytest::waypoint("P" + std::to_string(i), i * 5.0));
    ASSERT_TRUE(WriteTrekFileAtomic(file, g).ok());
  }
  ASSERT_EQ(in.list.OpenTrekFile(file), 1);

  if (mode == "save" || mode == "copy") {
    editAsTheUserDoes(in.list, 0, 5);
    ASSERT_TRUE(in.list.RenameGroup(0, "Walk2"));
  }
  if (mode == "save") {
    ASSERT_TRUE(in.list.SaveTrekFile(platform::pathFromUtf8(env("VANTORIA_RECOVERY_SAVE")), *in.list.Group(0)));
    say("SAVED");
    std::_Exit(0);
  }
  QElapsedTimer clock;
  clock.start();
  QObject::connect(in.manager.get(), &CRecoveryManager::copyWritten, [&](const QString& copy) {
    if (mode == "copy") say("COPIED " + copy.toStdString());
    else say("COPY " + std::to_string(trek::ReadRecoveryFile(platform::pathFromUtf8(copy.toStdString())).header.waypoints) +
             " " + std::to_string(clock.elapsed()));
  });
  QTimer editing;
  int n = 0;
  if (mode == "edit") {
    QObject::connect(&editing, &QTimer::timeout, [&] {
      editAsTheUserDoes(in.list, n, 1);
      say("EDIT " + std::to_string(++n) + " " + std::to_string(clock.elapsed()));
    });
    editing.start(envInt("VANTORIA_RECOVERY_EDIT_MS", 250));
  }
  // Until killed; a child left behind ends by itself.
  QEventLoop loop;
  QTimer::singleShot(envInt("VANTORIA_RECOVERY_LIFE_MS", 120000), &loop, &QEventLoop::quit);
  loop.exec();
  std::_Exit(3);
}

namespace {

class RecoveryProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    root = platform::pathFromUtf8(tmp.path().toStdString());
    folder = root / "recovery";
    trekFile = root / "walk.pmd";
    CTrekData g;
    g.SetKind(CTrekData::kWaypointGroup);
    g.SetGroupName("Walk");
    g.SetFilePath(platform::pathToUtf8(trekFile));
    for (int i = 0; i < 3; ++i) g.AppendWaypoint(recoverytest::waypoint("P" + std::to_string(i), i * 5.0));
    ASSERT_TRUE(WriteTrekFileAtomic(trekFile, g).ok());
  }
  void startChild(QProcess& p, const std::string& mode, const fs::path& save = {}) {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("VANTORIA_RECOVERY_CHILD", QString::fromStdString(mode));
    e.insert("VANTORIA_RECOVERY_DIR", QString::fromStdString(platform::pathToUtf8(folder)));
    e.insert("VANTORIA_RECOVERY_FILE", QString::fromStdString(platform::pathToUtf8(trekFile)));
    e.insert("VANTORIA_RECOVERY_SAVE", QString::fromStdString(platform::pathToUtf8(save)));
    e.insert("VANTORIA_RECOVERY_QUIET_MS", "300");
    e.insert("VANTORIA_RECOVERY_LIFE_MS", "60000");
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=RecoveryChild.Run"});
    ASSERT_TRUE(p.waitForStarted(10000));
  }
  /// The first stdout line starting with `marker`, waiting up to `ms`.
  static std::string waitForLine(QProcess& p, const std::string& marker, int ms) {
    QElapsedTimer t;
    t.start();
    std::string seen;
    while (t.elapsed() < ms) {
      while (p.canReadLine()) {
        const std::string line = p.readLine().trimmed().toStdString();
        if (line.rfind(marker, 0) == 0) return line;
      }
      if (p.state() == QProcess::NotRunning) break;
      p.waitForReadyRead(200);
    }
    return {};
  }

  QTemporaryDir tmp;
  fs::path root, folder, trekFile;
};

TEST_F(RecoveryProcess, KillMinusNineAfterTheCopyLosesNoneOfIt) {
  // Control run: the same edits, saved.
  const fs::path control = root / "control.pmd";
  {
    QProcess p;
    startChild(p, "save", control);
    ASSERT_FALSE(waitForLine(p, "SAVED", 60000).empty()) << p.readAllStandardError().toStdString();
    ASSERT_TRUE(p.waitForFinished(10000));
  }
  const std::string saved = testutil::readFile(control);
  ASSERT_FALSE(saved.empty());

  QProcess child;
  startChild(child, "copy");
  const std::string copied = waitForLine(child, "COPIED ", 60000);
  ASSERT_FALSE(copied.empty()) << child.readAllStandardError().toStdString();
  const fs::path copy = platform::pathFromUtf8(copied.substr(7));
  const std::string id = copy.stem().string();

  // While it runs the copy is its own: not offered, and listed as owned by a running program.
  EXPECT_TRUE(ScanRecoveryFolder(folder, "p0-tester", true).copies.empty());
  testutil::SRunResult listed = testutil::runCli({"recovery", "list", "--dir", platform::pathToUtf8(folder)});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("\"ownerRunning\": true"), std::string::npos) << listed.out;

  child.kill();  // SIGKILL
  ASSERT_TRUE(child.waitForFinished(10000));
  EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

  listed = testutil::runCli({"recovery", "list", "--dir", platform::pathToUtf8(folder)});
  ASSERT_EQ(listed.status, 0) << listed.err;
  for (const char* want : {"\"ownerRunning\": false", "\"damaged\": false", "\"groupName\": \"Walk2\"", "\"waypoints\": 8"})
    EXPECT_NE(listed.out.find(want), std::string::npos) << want << "\n" << listed.out;
  EXPECT_NE(listed.out.find("\"id\": \"" + id + "\""), std::string::npos) << listed.out;

  // Restored without a display: the bytes of the control save.
  const fs::path out = root / "restored.pmd";
  const testutil::SRunResult restored =
      testutil::runCli({"recovery", "restore", id, "-o", platform::pathToUtf8(out), "--dir", platform::pathToUtf8(folder)});
  ASSERT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(testutil::readFile(out), saved);
  // Not over an existing file without --force.
  EXPECT_NE(testutil::runCli({"recovery", "restore", id, "-o", platform::pathToUtf8(out), "--dir",
                              platform::pathToUtf8(folder)})
                .status,
            0);

  // The next start offers it; restored, it is the edited group, modified and tied to its file.
  platform::CScriptedPrompt prompt;
  platform::setPrompt(&prompt);
  CTrekGroupList list;
  SRecoveryScan scan = ScanRecoveryFolder(folder, "p0-tester", true);
  ASSERT_EQ(scan.copies.size(), 1u);
  prompt.push(platform::EPromptAnswer::Yes);
  EXPECT_EQ(OfferRecovery(list, nullptr, std::move(scan)), 1);
  platform::setPrompt(nullptr);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(WriteTrekBytes(*list.Group(0)), saved);
  EXPECT_TRUE(list.Group(0)->IsModified());
  EXPECT_EQ(list.Group(0)->FilePath(), platform::pathToUtf8(trekFile));
}

}  // namespace
