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
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <future>

#include "app/CVantoriaDoc.h"
#include "app/ProgramFiles.h"
#include "app/SingleInstance.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "FrameFixture.h"

namespace {

/// Runs events until `done` holds or `ms` have passed; whether it holds. (The QTRY_ macros
/// leave the test on a time-out without telling GoogleTest.)
bool waitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QTest::qWait(10);
  return done();
}

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
  ASSERT_TRUE(waitFor([&] { return rogue.state() == QLocalSocket::UnconnectedState; }));
  EXPECT_TRUE(spy.isEmpty());
  QStringList got;
  EXPECT_TRUE(handOverFromAnotherThread({QStringLiteral("/y.ptd")}, &got, running));
  EXPECT_EQ(got, QStringList{QStringLiteral("/y.ptd")});
}

TEST_F(InstanceChannelTest, ConnectionsBeyondTheLimitAreRefused) {
  CInstanceChannel running(name());
  ASSERT_TRUE(running.Listen());
  // Programs that connect and send nothing each hold a connection until its time-out.
  std::vector<std::unique_ptr<QLocalSocket>> idle;
  for (int i = 0; i < 9; ++i) {
    idle.push_back(std::make_unique<QLocalSocket>());
    idle.back()->connectToServer(name());
    ASSERT_TRUE(idle.back()->waitForConnected(2000)) << i;
    QTest::qWait(20);
  }
  ASSERT_TRUE(waitFor([&] { return idle.back()->state() == QLocalSocket::UnconnectedState; }));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(idle[std::size_t(i)]->state(), QLocalSocket::ConnectedState) << i;
  idle.clear();
  QTest::qWait(100);
  QStringList got;
  EXPECT_TRUE(handOverFromAnotherThread({QStringLiteral("/z.pmd")}, &got, running)) << "served again once they are gone";
  EXPECT_EQ(got, QStringList{QStringLiteral("/z.pmd")});
}

TEST(HandOverQueue, KeepsAtMostItsFilesAndBytesAndCountsTheRest) {
  const auto names = [](int count, qsizetype length) {
    QStringList out;
    for (int i = 0; i < count; ++i) out.append(QStringLiteral("/t/%1.pmd").arg(i).leftJustified(length, QLatin1Char('x')));
    return out;
  };
  const struct {
    const char* name;
    QStringList add;
    int kept;
    int dropped;
    qsizetype longestKept;
  } kCases[] = {
      {"a few names", names(3, 20), 3, 0, 20},
      {"150 names: 64 kept", names(150, 20), CHandOverQueue::kMaxFiles, 150 - CHandOverQueue::kMaxFiles, 20},
      {"names of 3,000 characters: 43 fit 256 KiB", names(50, 3000), 43, 7, 3000},
      {"a name of 1 MB: kept cut, still refused", names(1, 1 << 20), 1, 0, CHandOverQueue::kMaxNameLength + 1},
      {"window only", {}, 0, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CHandOverQueue q;
    // In pieces, as hand-overs come one after another.
    for (const QString& n : c.add) q.Add({n});
    EXPECT_LE(q.bytes(), CHandOverQueue::kMaxBytes);
    const CHandOverQueue::STaken taken = q.Take();
    EXPECT_EQ(taken.files.size(), c.kept);
    EXPECT_EQ(taken.dropped, c.dropped);
    qsizetype longest = 0;
    for (const QString& f : taken.files) longest = std::max(longest, f.size());
    EXPECT_EQ(longest, c.longestKept);
    EXPECT_EQ(q.size(), 0);
    EXPECT_EQ(q.Take().dropped, 0) << "counted once";
  }
}

TEST(FailedFiles, OneMessageNamesThemCut) {
  const QString longName = QStringLiteral("/very/long/") + QString(500, QLatin1Char('d')) + QStringLiteral("/walk.pmd");
  const QString cut = CutName(longName);
  EXPECT_EQ(cut.size(), 120);
  EXPECT_TRUE(cut.startsWith(QStringLiteral("/very/long/")));
  EXPECT_TRUE(cut.endsWith(QStringLiteral("/walk.pmd")));
  EXPECT_TRUE(cut.contains(QChar(0x2026)));
  EXPECT_EQ(CutName(QStringLiteral("/a.pmd")), QStringLiteral("/a.pmd"));

  QStringList many;
  for (int i = 0; i < 23; ++i) many.append(QStringLiteral("/f%1.pmd").arg(i));
  const struct {
    const char* name;
    QStringList failed;
    int dropped;
    std::string want;
  } kCases[] = {
      {"two names", {"/a.pmd", "/b/index.csv"}, 0, "次のファイルを開く事ができませんでした。\r\n/a.pmd\r\n/b/index.csv"},
      {"dropped only", {}, 86, "一度に渡されたファイルが多すぎるため、86 個のファイルを開きませんでした。"},
      {"a long name and dropped", {longName}, 2,
       "次のファイルを開く事ができませんでした。\r\n" + cut.toStdString() +
           "\r\n一度に渡されたファイルが多すぎるため、2 個のファイルを開きませんでした。"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FilesFailedText(c.failed, c.dropped), c.want);
  }
  const std::string listed = FilesFailedText(many, 0);
  EXPECT_NE(listed.find("/f19.pmd"), std::string::npos);
  EXPECT_EQ(listed.find("/f20.pmd"), std::string::npos);
  EXPECT_TRUE(listed.ends_with("\r\nほか 3 個のファイル"));
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
      {"a GPX file is trek data, not the index", {"walk.GPX", "m/index.csv"}, "m/index.csv", {"walk.GPX"}},
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
  ASSERT_TRUE(waitFor([&] { return app.Doc()->TrekGroups().Count() == 2; }));
  EXPECT_FALSE(app.Doc()->Catalogue().empty());
  EXPECT_TRUE(app.Frame()->isVisible()) << "the window comes to the front";
  EXPECT_TRUE(m_prompt.requests().empty());
}

TEST_F(HandedOverFilesTest, AFloodWhileADialogIsOpenEndsInOneMessage) {
  const auto index = testutil::sampleDir() / "map25000" / "index.csv";
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index.string())}, false));
  ASSERT_FALSE(app.Doc()->Catalogue().empty());
  QDialog dialog(app.Frame());
  dialog.setModal(true);
  dialog.show();
  ASSERT_TRUE(QApplication::activeModalWidget());
  // 150 hand-overs of one missing file each, and one of a name of 1 MB that is no trek file.
  for (int i = 0; i < 150; ++i) app.OpenHandedOverFiles({QString::fromStdString(path("gone").string()) + QStringLiteral("/%1.ptd").arg(i)});
  app.OpenHandedOverFiles({QStringLiteral("/") + QString(1 << 20, QLatin1Char('n'))});
  QTest::qWait(400);
  EXPECT_TRUE(m_prompt.requests().empty());
  dialog.close();
  ASSERT_TRUE(waitFor([&] { return !m_prompt.requests().empty(); }));
  QTest::qWait(400);
  ASSERT_EQ(m_prompt.requests().size(), 1u) << "one message, not one per name";
  const platform::SPromptRequest& r = m_prompt.requests()[0];
  EXPECT_EQ(r.icon, platform::EPromptIcon::Error);
  EXPECT_TRUE(r.text.starts_with("次のファイルを開く事ができませんでした。\r\n" + path("gone").string() + "/0.ptd\r\n"));
  EXPECT_TRUE(r.text.ends_with("\r\nほか 44 個のファイル\r\n一度に渡されたファイルが多すぎるため、87 個のファイルを開きませんでした。"));
  EXPECT_LT(r.text.size(), 8000u);
  EXPECT_FALSE(app.Doc()->Catalogue().empty()) << "the open map index stays";
}

TEST_F(HandedOverFilesTest, OnlyRegularFilesOpenAndAFailureClosesNothing) {
  const auto index = testutil::sampleDir() / "map25000" / "index.csv";
  const auto treks = testutil::sampleDir() / "treks";
  // FIFOs in place of a trek file and of a map index: opening either would wait for a writer.
  std::filesystem::create_directories(path("pipes"));
  const auto fifoTrek = path("pipes") / "peaks.pmd";
  const auto fifoIndex = path("pipes") / "index.csv";
  for (const auto& fifo : {fifoTrek, fifoIndex})
    if (QProcess::execute(QStringLiteral("mkfifo"), {QString::fromStdString(fifo.string())}) != 0)
      GTEST_SKIP() << "no mkfifo here";
  testutil::writeFile(path("pipes") / "kanri.csv", "");
  std::filesystem::create_directories(path("pipes2"));
  testutil::writeFile(path("pipes2") / "index.csv", "5339,東京\r\n");
  if (QProcess::execute(QStringLiteral("mkfifo"), {QString::fromStdString((path("pipes2") / "kanri.csv").string())}) != 0)
    GTEST_SKIP() << "no mkfifo here";
  put("notes.txt", "not trek data");

  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index.string()),
                                QString::fromStdString((treks / "tracks.ptd").string())}, false));
  ASSERT_EQ(app.Doc()->TrekGroups().Count(), 1);
  const auto directory = app.Doc()->Catalogue().directory();
  ASSERT_FALSE(directory.empty());

  const QString trekPipe = QString::fromStdString(fifoTrek.string());
  const QString indexPipe = QString::fromStdString(fifoIndex.string());
  const QString notes = QString::fromStdString(path("notes.txt").string());
  const QString hugeName = QStringLiteral("/") + QString(1 << 20, QLatin1Char('n'));
  const struct {
    const char* name;
    QStringList files;
    std::string message;
  } kCases[] = {
      {"a FIFO named as a map index", {indexPipe}, CVantoriaDoc::IndexOpenFailedText(fifoIndex)},
      {"a FIFO named as trek data", {trekPipe}, CTrekGroupList::OpenFailedText(fifoTrek)},
      {"a file that is no trek data, taken for a map index", {notes}, CVantoriaDoc::IndexOpenFailedText(path("notes.txt"))},
      {"a folder", {QString::fromStdString(path("pipes").string())}, CVantoriaDoc::IndexOpenFailedText(path("pipes"))},
      {"a name of 1 MB: listed cut", {hugeName}, FilesFailedText({hugeName}, 0)},
      // Opened in the program's order: the map index first, then the trek data.
      {"all of them", {trekPipe, indexPipe, notes}, FilesFailedText({indexPipe, trekPipe, notes}, 0)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    m_prompt.clear();
    app.OpenHandedOverFiles(c.files);
    ASSERT_TRUE(waitFor([&] { return !m_prompt.requests().empty(); }));
    QTest::qWait(50);
    ASSERT_EQ(m_prompt.requests().size(), 1u);
    EXPECT_EQ(m_prompt.requests()[0].text, c.message);
    EXPECT_EQ(app.Doc()->Catalogue().directory(), directory) << "the map index that was open stays";
    EXPECT_EQ(app.Doc()->TrekGroups().Count(), 1);
  }

  // A map index whose catalogue is a FIFO: the FIFO is never opened, and the index opens
  // without the sheets' rows, as with an unreadable catalogue.
  m_prompt.clear();
  app.OpenHandedOverFiles({QString::fromStdString((path("pipes2") / "index.csv").string())});
  ASSERT_TRUE(waitFor([&] { return app.Doc()->Catalogue().directory() == path("pipes2") || !m_prompt.requests().empty(); }));
  EXPECT_EQ(app.Doc()->Catalogue().directory(), path("pipes2"));
}

}  // namespace
