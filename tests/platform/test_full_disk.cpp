// Every writer of the program on a disk that runs out at each page of the new file, under a
// file-size limit, and two writers racing for one new name: a success leaves exactly the new
// files, a failure says so in one line and leaves every earlier file byte for byte.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/SmallDisk.h"
#include "common/TestUtil.h"

namespace fs = std::filesystem;

namespace {

fs::path sample(const std::string& relative) { return testutil::sampleDir() / relative; }

struct SWriter {
  const char* name;
  /// The files the command writes, the first named by OUT; the others beside it.
  std::vector<std::string> outputs;
  /// What lies there before (empty: nothing); the settings profile is the command's input too.
  std::vector<std::string> old;
  std::function<std::vector<std::string>(const fs::path& dir)> args;
  bool deterministic = true;
};

std::vector<SWriter> writers() {
  const std::string index = sample("map25000/index.csv").string();
  return {
      {"trek file converted onto itself", {"peaks.pmd"}, {testutil::readFile(sample("treks/peaks.pmd"))},
       [](const fs::path& d) {
         return std::vector<std::string>{"trek", "convert", (d / "peaks.pmd").string(), (d / "peaks.pmd").string(),
                                         "--force"};
       }},
      {"track log file", {"walk.ptd"}, {"an older track log file"},
       [](const fs::path& d) {
         return std::vector<std::string>{"trek", "convert", sample("treks/tracks.ptd").string(),
                                         (d / "walk.ptd").string(), "--force"};
       }},
      {"GPX file", {"walk.gpx"}, {"<gpx>older</gpx>"},
       [](const fs::path& d) {
         return std::vector<std::string>{"trek", "convert", sample("treks/tracks.ptd").string(),
                                         (d / "walk.gpx").string(), "--force"};
       }},
      {"PNG with world file and .prj", {"map.png", "map.pgw", "map.prj"}, {"old picture", "old world", ""},
       [index](const fs::path& d) {
         return std::vector<std::string>{"export", index, "543940", "--rect", "1000,1000,1300,1200",
                                         "-o", (d / "map.png").string(), "--force"};
       }},
      {"BMP with world file and .prj", {"map.bmp", "map.bpw", "map.prj"}, {"old picture", "", "old projection"},
       [index](const fs::path& d) {
         return std::vector<std::string>{"export", index, "543940", "--rect", "1000,1000,1200,1150",
                                         "-o", (d / "map.bmp").string(), "--force"};
       }},
      {"rendered PNG", {"view.png"}, {"old view"},
       [](const fs::path& d) {
         return std::vector<std::string>{"render", sample("map25000/5439/543940.tif").string(), "--ratio", "0.5",
                                         "--rect", "0,0,200,160", "-o", (d / "view.png").string(), "--force"};
       }},
      {"PDF", {"print.pdf"}, {"%PDF-1.4 an older print"},
       [index](const fs::path& d) {
         return std::vector<std::string>{"print", index, "543940", "--selection", "1000,1000,1200,1200",
                                         "--dpi", "150", "--options", "0", "-o", (d / "print.pdf").string(), "--force"};
       },
       false},
      {"settings profile", {"profile.ini"}, {"[ViewSettings]\n25000Color_2=12345\n"},
       [](const fs::path& d) {
         return std::vector<std::string>{"--profile", (d / "profile.ini").string(), "settings", "set",
                                         "25000Color_1", "0x123456"};
       }},
  };
}

void placeOld(const SWriter& w, const fs::path& dir) {
  for (std::size_t i = 0; i < w.outputs.size(); ++i)
    if (!w.old[i].empty()) testutil::writeFile(dir / w.outputs[i], w.old[i]);
}

std::string listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    // The settings store keeps a lock file beside the profile.
    if (e.path().filename() != ".filler" && e.path().extension() != ".lock") names.insert(e.path().filename().string());
  std::string s;
  for (const std::string& n : names) s += n + " ";
  return s;
}

bool isWholePdf(const std::string& bytes) {
  return bytes.rfind("%PDF-", 0) == 0 && bytes.find("%%EOF", bytes.size() > 16 ? bytes.size() - 16 : 0) != std::string::npos;
}

struct SExpected {
  std::vector<std::string> bytes;
  std::string names;
  std::int64_t newBytes = 0;
};

/// The command's result in an ordinary folder.
SExpected reference(const SWriter& w) {
  QTemporaryDir dir;
  const fs::path root(dir.path().toStdString());
  placeOld(w, root);
  const auto run = testutil::runCli(w.args(root));
  EXPECT_EQ(run.status, 0) << run.err;
  SExpected e;
  for (const std::string& name : w.outputs) {
    e.bytes.push_back(testutil::readFile(root / name));
    e.newBytes += static_cast<std::int64_t>(e.bytes.back().size());
  }
  e.names = listing(root);
  return e;
}

/// Checks one run: the new files whole, or a one-line failure with the old files untouched.
void checkOutcome(const SWriter& w, const SExpected& expected, const fs::path& dir, const testutil::SRunResult& run,
                  const std::string& oldNames) {
  if (run.status == 0) {
    EXPECT_EQ(listing(dir), expected.names);
    for (std::size_t i = 0; i < w.outputs.size(); ++i) {
      const std::string now = testutil::readFile(dir / w.outputs[i]);
      if (w.deterministic) {
        EXPECT_TRUE(now == expected.bytes[i]) << w.outputs[i] << " is not the new file";
      } else {
        EXPECT_TRUE(isWholePdf(now)) << w.outputs[i] << " is cut";
      }
    }
    return;
  }
  EXPECT_EQ(run.status, 1) << "a failure must exit 1, not end otherwise";
  // One line of the program's own (Qt may add its notes about the environment).
  int lines = 0;
  for (std::size_t at = run.err.find("vantoria-cli: "); at != std::string::npos; at = run.err.find("vantoria-cli: ", at + 1))
    ++lines;
  EXPECT_EQ(lines, 1) << run.err;
  EXPECT_TRUE(run.err.find("cannot write") != std::string::npos || run.err.find("cannot be written") != std::string::npos)
      << run.err;
  EXPECT_EQ(listing(dir), oldNames) << "no new file, no temporary file";
  for (std::size_t i = 0; i < w.outputs.size(); ++i) {
    if (!w.old[i].empty()) {
      EXPECT_TRUE(testutil::readFile(dir / w.outputs[i]) == w.old[i]) << w.outputs[i] << " changed";
    }
  }
}

/// Free space to try, in pages: every page across the new file's end, a stride across the rest.
std::vector<std::int64_t> freePages(std::int64_t needPages) {
  std::set<std::int64_t> pages;
  const std::int64_t stride = std::max<std::int64_t>(1, needPages / 24);
  for (std::int64_t p = 0; p <= needPages + 1; p += stride) pages.insert(p);
  for (std::int64_t p = std::max<std::int64_t>(0, needPages - 6); p <= needPages + 1; ++p) pages.insert(p);
  return {pages.rbegin(), pages.rend()};
}

}  // namespace

TEST(FullDisk, EveryWriterKeepsTheOldFilesWhenTheDiskRunsOut) {
  testutil::CSmallDisk probe(256 * 1024);
  if (!probe.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  for (const SWriter& w : writers()) {
    SCOPED_TRACE(w.name);
    const SExpected expected = reference(w);
    std::int64_t oldBytes = 0;
    for (const std::string& o : w.old) oldBytes += static_cast<std::int64_t>(o.size());
    // Each file takes whole pages; temporary and old copies live side by side until the rename.
    const std::int64_t needPages =
        (expected.newBytes + oldBytes) / testutil::CSmallDisk::kPage + 2 * static_cast<std::int64_t>(w.outputs.size());
    testutil::CSmallDisk disk((needPages + 32) * testutil::CSmallDisk::kPage);
    ASSERT_TRUE(disk.mounted());
    bool sawFailure = false, sawSuccess = false;
    for (const std::int64_t pages : freePages(needPages)) {
      SCOPED_TRACE(::testing::Message() << pages << " pages free");
      for (const std::string& name : w.outputs) fs::remove(disk.root() / name);
      disk.unfill();
      placeOld(w, disk.root());
      const std::string oldNames = listing(disk.root());
      disk.leaveFree(pages);
      const auto run = testutil::runCli(w.args(disk.root()));
      disk.unfill();
      checkOutcome(w, expected, disk.root(), run, oldNames);
      (run.status == 0 ? sawSuccess : sawFailure) = true;
    }
    EXPECT_TRUE(sawSuccess) << "with room for old and new the write succeeds";
    EXPECT_TRUE(sawFailure) << "without room it fails";
  }
}

TEST(FullDisk, EveryWriterKeepsTheOldFilesUnderAFileSizeLimit) {
  // No trap for SIGXFSZ here: the program itself must turn the limit into a failed write.
  for (const SWriter& w : writers()) {
    SCOPED_TRACE(w.name);
    const SExpected expected = reference(w);
    const std::int64_t largest = static_cast<std::int64_t>(
        std::max_element(expected.bytes.begin(), expected.bytes.end(), [](auto& a, auto& b) { return a.size() < b.size(); })
            ->size());
    std::set<std::int64_t> limits = {0, 1, largest / 1024, std::max<std::int64_t>(0, largest / 512 - 1)};
    for (const std::int64_t blocks : limits) {
      SCOPED_TRACE(::testing::Message() << "ulimit -f " << blocks);
      QTemporaryDir dir;
      const fs::path root(dir.path().toStdString());
      placeOld(w, root);
      const std::string oldNames = listing(root);
      QStringList args = {QStringLiteral("-c"), QStringLiteral("ulimit -f %1; exec \"$0\" \"$@\"").arg(std::max<std::int64_t>(0, blocks)),
                          QString::fromStdString(testutil::cliPath().string())};
      for (const std::string& a : w.args(root)) args << QString::fromStdString(a);
      QProcess p;
      p.start(QStringLiteral("/bin/sh"), args);
      ASSERT_TRUE(p.waitForFinished(120000));
      testutil::SRunResult run;
      run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
      run.err = p.readAllStandardError().toStdString();
      // The settings profile is small enough to fit under most limits.
      if (largest > (blocks * 512)) {
        EXPECT_NE(run.status, 0) << "a file above the limit cannot be complete";
      }
      checkOutcome(w, expected, root, run, oldNames);
    }
  }
}

TEST(FullDisk, TwoConvertsIntoOneNewNameNeverReplaceEachOther) {
  QTemporaryDir dir;
  const fs::path root(dir.path().toStdString());
  int bothSucceeded = 0;
  std::string results[2];
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const fs::path out = root / ("race" + std::to_string(round) + ".ptd");
    // Different content from each side, so a replaced result shows.
    const std::string sources[] = {sample("treks/tracks.ptd").string(), (root / "other.ptd").string()};
    if (round == 0) {
      const auto made = testutil::runCli({"trek", "convert", sample("treks/tracks.ptd").string(), (root / "other.gpx").string()});
      ASSERT_EQ(made.status, 0) << made.err;
      ASSERT_EQ(testutil::runCli({"trek", "convert", (root / "other.gpx").string(), sources[1]}).status, 0);
      for (int i = 0; i < 2; ++i) {
        const fs::path ref = root / ("reference" + std::to_string(i) + ".ptd");
        ASSERT_EQ(testutil::runCli({"trek", "convert", sources[i], ref.string()}).status, 0);
        results[i] = testutil::readFile(ref);
      }
    }
    QProcess a, b;
    const QString cli = QString::fromStdString(testutil::cliPath().string());
    a.start(cli, {QStringLiteral("trek"), QStringLiteral("convert"), QString::fromStdString(sources[0]),
                  QString::fromStdString(out.string())});
    b.start(cli, {QStringLiteral("trek"), QStringLiteral("convert"), QString::fromStdString(sources[1]),
                  QString::fromStdString(out.string())});
    ASSERT_TRUE(a.waitForFinished(60000) && b.waitForFinished(60000));
    const int okCount = (a.exitCode() == 0) + (b.exitCode() == 0);
    bothSucceeded += okCount == 2;
    ASSERT_EQ(okCount, 1) << "exactly one convert makes the file";
    const QByteArray err = (a.exitCode() == 0 ? b : a).readAllStandardError();
    EXPECT_NE(err.indexOf("exists (use --force to overwrite)"), -1) << err.toStdString();
    EXPECT_TRUE(testutil::readFile(out) == results[a.exitCode() == 0 ? 0 : 1]) << "the file is the winner's";
  }
  EXPECT_EQ(bothSucceeded, 0);
}
