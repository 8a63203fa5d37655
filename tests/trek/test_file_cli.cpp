// vantoria-cli trek show / convert on files made here.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "test_file_bytes.h"
#include "trek/CTrekData.h"
#include "trek/TrekFile.h"

using trektest::CBytes;

namespace {

QJsonObject parse(const std::string& out) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
  return doc.object();
}

std::string oldWaypointFile() {
  CBytes b;
  b.header(2).str("\x8b\x8c").str("").word(1).newClass("CMarkerPoint", 2);  // group 旧
  b.i32(139).i32(45).f32(0.0f).i32(35).i32(40).f32(0.0f).i32(0);
  for (int i = 0; i < 8; ++i) b.str(i == 3 ? "\x8e\x52" : "");  // name 山
  b.i32(0);
  return b.str();
}

}  // namespace

TEST(TrekCli, ShowPrintsEveryField) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("\x8e\x52\x8d\x73");  // 山行
  auto log = std::make_unique<CTrackLog>();
  log->name = "\x82\xa0";  // あ
  log->color = 3;
  CTrackPoint p;
  p.number = 7;
  p.altitude = 1234.5;
  p.latitude = DmsAngle(36, 20, 1.5);
  p.longitude = DmsAngle(138, 45, 30.0);
  p.time = TrekTime(1057363500);
  log->AppendPoint(p);
  p.time = TrekTime(-1);
  log->AppendPoint(p);
  g.AppendTrackLog(std::move(log));
  const std::filesystem::path file = root / "t.ptd";
  ASSERT_TRUE(WriteTrekFileAtomic(file, g).ok());

  const testutil::SRunResult r = testutil::runCli({"trek", "show", file.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const QJsonObject o = parse(r.out);
  EXPECT_EQ(o["groupName"].toString(), QString::fromUtf8("山行"));
  EXPECT_EQ(o["version"].toInt(), 3);
  EXPECT_FALSE(o["old"].toBool());
  const QJsonObject l = o["trackLogs"].toArray()[0].toObject();
  EXPECT_EQ(l["name"].toString(), QString::fromUtf8("あ"));
  EXPECT_EQ(l["color"].toInt(), 3);
  EXPECT_EQ(l["display"].toInt(), 1);
  const QJsonObject pt = l["points"].toArray()[0].toObject();
  EXPECT_EQ(pt["label"].toString(), "No.7");
  EXPECT_DOUBLE_EQ(pt["latitude"].toObject()["decimal"].toDouble(), 36 + 20 / 60.0 + 1.5 / 3600.0);
  EXPECT_EQ(pt["latitude"].toObject()["minutes"].toInt(), 20);
  EXPECT_DOUBLE_EQ(pt["altitude"].toDouble(), 1234.5);
  EXPECT_EQ(pt["time"].toObject()["count"].toInt(), 1057363500);
  EXPECT_TRUE(pt["time"].toObject()["iso8601"].toString().startsWith("2003-07-0"));
  EXPECT_TRUE(l["points"].toArray()[1].toObject()["time"].toObject()["iso8601"].isNull());
}

TEST(TrekCli, OldFilesAreShownAndConvertedWithoutTouchingTheInput) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  const std::filesystem::path old = root / "old.pmd";
  testutil::writeFile(old, oldWaypointFile());

  const testutil::SRunResult show = testutil::runCli({"trek", "show", old.string()});
  ASSERT_EQ(show.status, 0) << show.err;
  const QJsonObject o = parse(show.out);
  EXPECT_TRUE(o["old"].toBool());
  EXPECT_EQ(o["version"].toInt(), 2);
  EXPECT_FALSE(o["note"].toString().isEmpty());
  const QJsonObject w = o["waypoints"].toArray()[0].toObject();
  EXPECT_EQ(w["altitude"].toDouble(), 100000.0);
  EXPECT_EQ(w["latitude"].toObject()["text"].toString(), QString::fromUtf8("35度40分11.65秒"));
  EXPECT_EQ(testutil::readFile(old), oldWaypointFile());

  const std::filesystem::path out = root / "new.pmd";
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
  } kSteps[] = {
      {"convert", {"trek", "convert", old.string(), out.string()}, 0},
      {"refuse to overwrite", {"trek", "convert", old.string(), out.string()}, 1},
      {"overwrite with --force", {"trek", "convert", old.string(), out.string(), "--force"}, 0},
      {"missing input", {"trek", "convert", (root / "none.pmd").string(), (root / "x.pmd").string()}, 1},
  };
  for (const auto& s : kSteps) {
    SCOPED_TRACE(s.name);
    const testutil::SRunResult r = testutil::runCli(s.args);
    EXPECT_EQ(r.status, s.status) << r.err;
    if (s.status == 0) {
      // Both questions were answered Yes, and said so.
      std::size_t answered = 0;
      for (std::size_t at = 0; (at = r.err.find("answered Yes", at)) != std::string::npos; ++at) ++answered;
      EXPECT_EQ(answered, 2u) << r.err;
    }
  }
  EXPECT_EQ(testutil::readFile(old), oldWaypointFile());
  const STrekReadResult v3 = ReadTrekFile(out);
  ASSERT_TRUE(v3.ok());
  EXPECT_EQ(v3.version, 3);
  EXPECT_EQ(v3.group->Waypoints()[0]->name, "\x8e\x52");

  // A file cut short is refused with the reader's message.
  const std::filesystem::path cut = root / "cut.pmd";
  testutil::writeFile(cut, oldWaypointFile().substr(0, 40));
  const testutil::SRunResult bad = testutil::runCli({"trek", "show", cut.string()});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("の末尾以降にアクセスしようとしました。"), std::string::npos) << bad.err;
}
