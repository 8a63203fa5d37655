// Desktop integration: a second start handing its files to the running program, the files of a
// command line sorted into map index and trek data, and the help files found from an installed
// program's folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <future>

#include "app/CVantoriaDoc.h"
#include "app/ProgramFiles.h"
#include "app/SingleInstance.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "FrameFixture.h"

namespace {

QByteArray header(quint32 n) {
  QByteArray b("VANTORIA-OPEN-1\n");
  for (const int shift : {24, 16, 8, 0}) b += static_cast<char>((n >> shift) & 0xFF);
  return b;
}

TEST(HandOverBytes, ReadBackOrRefused) {
  const QStringList names = {QStringLiteral("/home/yama/地図/index.csv"), QStringLiteral("/tmp/a b.ptd"), QString()};
  const QByteArray good = EncodeHandOver(names);
  const struct {
    const char* name;
    QByteArray bytes;
    EHandOverDecode want;
    QStringList files;
  } kCases[] = {
      {"whole", good, EHandOverDecode::Done, names},
      {"no files (only the window)", EncodeHandOver({}), EHandOverDecode::Done, {}},
      {"first bytes of the signature", good.left(5), EHandOverDecode::Incomplete, {}},
      {"no length yet", good.left(17), EHandOverDecode::Incomplete, {}},
      {"payload still coming", good.chopped(3), EHandOverDecode::Incomplete, {}},
      {"another program's bytes", QByteArray("GET / HTTP/1.0\r\n\r\n"), EHandOverDecode::Bad, {}},
      {"more than announced", good + "x", EHandOverDecode::Bad, {}},
      {"length above the limit", header(kMaxHandOverBytes + 1u), EHandOverDecode::Bad, {}},
      {"length 0xFFFFFFFF", header(0xFFFFFFFFu), EHandOverDecode::Bad, {}},
      {"name not ended", header(3) + "abc", EHandOverDecode::Bad, {}},
      {"not UTF-8", header(3) + QByteArray("\xff\xfe", 2) + '\0', EHandOverDecode::Bad, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    QStringList files = {QStringLiteral("left over")};
    EXPECT_EQ(DecodeHandOver(c.bytes, files), c.want);
    if (c.want == EHandOverDecode::Done) EXPECT_EQ(files, c.files);
    else EXPECT_TRUE(files.isEmpty());
  }
}

// A server and a second start in one process: the second start blocks on its socket, so it
// runs on another thread while this one runs the server's events.
class InstanceChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  QString name() const { return m_dir.filePath(QStringLiteral("instance")); }
  bool handOverFromAnotherThread(const QStringList& files, QStringList* received, CInstanceChannel& server) {
    QSignalSpy spy(&server, &CInstanceChannel::filesReceived);
    auto result = std::async(std::launch::async, [this, files] {
      CInstanceChannel second(name());
      return second.HandOver(files, 5000);
    });
    QElapsedTimer t;
    t.start();
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && t.elapsed() < 20000)
      QTest::qWait(10);
    const bool ok = result.get();
    if (received && !spy.isEmpty()) *received = spy.takeFirst().at(0).toStringList();
    return ok;
  }

  QTemporaryDir m_dir;
};

TEST_F(InstanceChannelTest, SecondStartHandsItsFilesToTheRunningProgram) {
  CInstanceChannel running(name());
  ASSERT_TRUE(running.Listen());
  QStringList got;
  const QString relative = QStringLiteral("treks/tracks.ptd");
  ASSERT_TRUE(handOverFromAnotherThread({QStringLiteral("/data/map25000/index.csv"), relative}, &got, running));
  EXPECT_EQ(got, QStringList({QStringLiteral("/data/map25000/index.csv"), QDir::current().absoluteFilePath(relative)}))
      << "names are made absolute by the second start, whose working folder the first does not know";
  // A start without files only asks for the window.
  got = {QStringLiteral("x")};
  ASSERT_TRUE(handOverFromAnotherThread({}, &got, running));
  EXPECT_TRUE(got.isEmpty());
}

TEST_F(InstanceChannelTest, NoRunningProgramMeansStartingNormally) {
  CInstanceChannel second(name());
  EXPECT_FALSE(second.HandOver({QStringLiteral("/a.pmd")}, 5000));
}

TEST_F(InstanceChannelTest, StaleSocketIsReplacedAndALiveOneIsNot) {
  // A program that ended without removing its socket left a file under the name.
  {
    QFile stale(name());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  }
  CInstanceChannel running(name());
  ASSERT_TRUE(running.Listen()) << "a stale socket never stops the program from serving";
  // Another start that could not hand over (it timed out, say) does not take the live name.
  CInstanceChannel other(name());
  EXPECT_FALSE(other.Listen());
  EXPECT_TRUE(running.IsListening());
  QStringList got;
  EXPECT_TRUE(handOverFromAnotherThread({QStringLiteral("/x/peaks.pmd")}, &got, running));
  EXPECT_EQ(got, QStringList{QStringLiteral("/x/peaks.pmd")});
}

TEST_F(InstanceChannelTest, ForeignBytesAreDroppedAndTheServerGoesOn) {
  CInstanceChannel running(name());
  ASSERT_TRUE(running.Listen());
  QSignalSpy spy(&running, &CInstanceChannel::filesReceived);
  QLocalSocket rogue;
  rogue.connectToServer(name());
  ASSERT_TRUE(rogue.waitForConnected(2000));
  rogue.write(header(0xFFFFFFF0u) + QByteArray(64, 'a'));
  rogue.flush();
  QTRY_COMPARE_WITH_TIMEOUT(rogue.state(), QLocalSocket::UnconnectedState, 5000);
  EXPECT_TRUE(spy.isEmpty());
  QStringList got;
  EXPECT_TRUE(handOverFromAnotherThread({QStringLiteral("/y.ptd")}, &got, running));
  EXPECT_EQ(got, QStringList{QStringLiteral("/y.ptd")});
}

TEST(CommandLineFiles, TrekFilesByTheirExtensionTheFirstOtherIsTheIndex) {
  const struct {
    const char* name;
    QStringList files;
    QString index;
    QStringList treks;
  } kCases[] = {
      {"index then treks", {"m/index.csv", "a.pmd", "b.ptd"}, "m/index.csv", {"a.pmd", "b.ptd"}},
      {"a double-clicked track log", {"b.ptd"}, "", {"b.ptd"}},
      {"treks before the index", {"A.PMD", "m/index.csv"}, "m/index.csv", {"A.PMD"}},
      {"a second index is tried as trek data", {"1/index.csv", "2/index.csv"}, "1/index.csv", {"2/index.csv"}},
      {"extension only in the folder", {"x.ptd/index.csv"}, "x.ptd/index.csv", {}},
      {"empty names skipped", {"", "c.Ptd"}, "", {"c.Ptd"}},
      {"nothing", {}, "", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const SCommandLineFiles got = SortCommandLineFiles(c.files);
    EXPECT_EQ(got.index, c.index);
    EXPECT_EQ(got.trekFiles, c.treks);
  }
}

TEST(HelpFiles, FoundBesideTheProgramOrInTheInstalledDataFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString root = dir.path();
  const auto put = [&](const QString& rel) {
    QDir().mkpath(QFileInfo(root + '/' + rel).path());
    QFile f(root + '/' + rel);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  };
  put(QStringLiteral("build/app/Vantoria.html"));
  put(QStringLiteral("usr/share/vantoria/doc/Vantoria.html"));
  put(QStringLiteral("usr/share/vantoria/doc/ReadMe.txt"));
  QDir().mkpath(root + QStringLiteral("/usr/bin"));
  QDir().mkpath(root + QStringLiteral("/opt/bin"));
  const struct {
    const char* name;
    QString programDir;
    QString want;
  } kCases[] = {
      {"build folder: beside the program", root + "/build/app", root + "/build/app"},
      {"installed: the data folder", root + "/usr/bin", root + "/usr/share/vantoria/doc"},
      {"installed, folder given with a slash", root + "/usr/bin/", root + "/usr/share/vantoria/doc"},
      {"nowhere: the program's folder (the window says what is missing)", root + "/opt/bin", root + "/opt/bin"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindHelpDir(c.programDir), c.want);
  }
}

using HandedOverFilesTest = apptest::FrameFixture;

TEST_F(HandedOverFilesTest, OpenAsOnTheCommandLineOnceNoDialogIsOpen) {
  const auto treks = testutil::sampleDir() / "treks";
  CVantoriaApp app;
  // A double-clicked track log alone: trek data, not a map index.
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString((treks / "tracks.ptd").string())}, false));
  EXPECT_TRUE(m_prompt.requests().empty());
  EXPECT_EQ(app.Doc()->TrekGroups().Count(), 1);
  EXPECT_TRUE(app.Doc()->Catalogue().empty());

  // While a dialog of the program is open the handed-over files wait.
  QDialog dialog(app.Frame());
  dialog.setModal(true);
  dialog.show();
  ASSERT_TRUE(QApplication::activeModalWidget());
  app.OpenHandedOverFiles({QString::fromStdString((treks / "peaks.pmd").string()),
                           QString::fromStdString((testutil::sampleDir() / "map25000" / "index.csv").string())});
  QTest::qWait(400);
  EXPECT_EQ(app.Doc()->TrekGroups().Count(), 1);
  dialog.close();
  QTRY_COMPARE_WITH_TIMEOUT(app.Doc()->TrekGroups().Count(), 2, 5000);
  EXPECT_FALSE(app.Doc()->Catalogue().empty());
  EXPECT_TRUE(app.Frame()->isVisible()) << "the window comes to the front";
  EXPECT_TRUE(m_prompt.requests().empty());
}

}  // namespace
