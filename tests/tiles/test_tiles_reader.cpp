// The CLI's MBTiles of the sample read back by a reader of another make: a short Python script
// using only sqlite3 and Pillow (tests/tiles/mbtiles_reader.py) checks the metadata, the tile
// rows against Web Mercator arithmetic of its own and that every image decodes as 256 x 256.
// Skipped where no Python 3 with Pillow is installed.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <optional>

#include "common/TestUtil.h"

namespace fs = std::filesystem;

namespace {

/// A Python 3 that has sqlite3 and Pillow, or none.
std::optional<QString> pythonWithPillow() {
  for (const char* candidate : {"python3", "/usr/bin/python3", "python"}) {
    QProcess p;
    p.start(QString::fromLatin1(candidate), {QStringLiteral("-c"), QStringLiteral("import sqlite3, PIL.Image")});
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
      return QString::fromLatin1(candidate);
  }
  return std::nullopt;
}

}  // namespace

TEST(MbtilesReader, AReaderOfAnotherMakeAgreesWithTheFile) {
  static const std::optional<QString> python = pythonWithPillow();
  if (!python) GTEST_SKIP() << "no Python 3 with sqlite3 and Pillow";
  const QString script = QStringLiteral(VANTORIA_SOURCE_DIR "/tests/tiles/mbtiles_reader.py");
  QTemporaryDir dir;
  const fs::path base(dir.path().toStdString());
  const std::string maps = testutil::sampleCollectionDir().string();
  const std::string tracks = (testutil::sampleDir() / "treks" / "tracks.ptd").string();
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* zoom;
    const char* format;
  } kRows[] = {
      {"PNG with every overlay", {"--png", "--trek", tracks, "--options", "127"}, "11-13", "png"},
      {"JPEG without overlays", {"--jpeg", "80", "--options", "0"}, "12-13", "jpg"},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    const fs::path out = base / (std::string(r.format) + ".mbtiles");
    std::vector<std::string> args = {"tiles", maps, "--all", "--format", "mbtiles", "--zoom", r.zoom, "-o", out.string()};
    args.insert(args.end(), r.args.begin(), r.args.end());
    const testutil::SRunResult cli = testutil::runCli(args);
    ASSERT_EQ(cli.status, 0) << cli.err;
    QProcess reader;
    reader.start(*python, {script, QStringLiteral("check"), QString::fromStdString(out.string()), QStringLiteral("--zoom"),
                           QString::fromLatin1(r.zoom)});
    ASSERT_TRUE(reader.waitForFinished(120000));
    const std::string report = reader.readAllStandardOutput().toStdString();
    EXPECT_EQ(reader.exitCode(), 0) << report << reader.readAllStandardError().toStdString();
    EXPECT_NE(report.find("\"errors\": []"), std::string::npos) << report;
    EXPECT_NE(report.find(std::string("\"format\": \"") + r.format + "\""), std::string::npos) << report;
    // As many tiles as the CLI says it wrote.
    const std::size_t at = cli.out.find("\"tiles\": ");
    ASSERT_NE(at, std::string::npos) << cli.out;
    const std::string count = cli.out.substr(at + 9, cli.out.find_first_not_of("0123456789", at + 9) - at - 9);
    EXPECT_NE(report.find((std::string("\"tiles\": ") += count) += ","), std::string::npos) << report << " against " << count;
  }
}
