// vantoria-cli trek stats on a track log file made here.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "trek/CTrekData.h"
#include "trek/TrekFile.h"

namespace {

CTrackPoint at(double lonDeg, std::int32_t time, double altitude) {
  CTrackPoint p;
  p.latitude = DmsAngle::FromDegrees(0.0);
  p.longitude = DmsAngle::FromDegrees(lonDeg);
  p.time = TrekTime(time);
  p.altitude = altitude;
  return p;
}

}  // namespace

TEST(TrekCli, StatsPerTrackLog) {
  const QTemporaryDir dir;
  const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "walk.ptd";
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("g");
  auto timed = std::make_unique<CTrackLog>();
  timed->name = "timed";
  // 0.01 degree of equator each (1113.19 m); the second interval (1200 s) is longer than the pause.
  timed->AppendPoint(at(0.00, 1000, 100.0));
  timed->AppendPoint(at(0.01, 1600, 130.0));
  timed->AppendPoint(at(0.02, 2800, 110.0));
  auto bare = std::make_unique<CTrackLog>();
  bare->name = "bare";
  bare->AppendPoint(at(0.00, -1, 1.0e25));
  bare->AppendPoint(at(0.01, -1, 1.0e25));
  g.AppendTrackLog(std::move(timed));
  g.AppendTrackLog(std::move(bare));
  ASSERT_TRUE(WriteTrekFileAtomic(file, g).ok());

  const testutil::SRunResult r = testutil::runCli({"trek", "stats", file.string(), "--pause", "900"});
  ASSERT_EQ(r.status, 0) << r.err;
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
  EXPECT_EQ(o["pauseSeconds"].toInt(), 900);
  const QJsonArray logs = o["trackLogs"].toArray();
  ASSERT_EQ(logs.size(), 2);

  const QJsonObject a = logs[0].toObject();
  EXPECT_EQ(a["name"].toString(), "timed");
  EXPECT_NEAR(a["lengthMetres"].toDouble(), 2226.39, 0.01);
  EXPECT_EQ(a["totalSeconds"].toInt(), 1800);
  EXPECT_EQ(a["movingSeconds"].toInt(), 600);
  EXPECT_NEAR(a["movingSpeedKmh"].toDouble(), 1113.195 / 600 * 3.6, 1e-3);
  EXPECT_DOUBLE_EQ(a["ascentMetres"].toDouble(), 30.0);
  EXPECT_DOUBLE_EQ(a["descentMetres"].toDouble(), 20.0);
  EXPECT_EQ(a["highest"].toObject()["index"].toInt(), 1);
  EXPECT_EQ(a["lowest"].toObject()["altitude"].toDouble(), 100.0);

  const QJsonObject b = logs[1].toObject();
  EXPECT_GT(b["lengthMetres"].toDouble(), 1000.0);
  for (const char* absent : {"totalSeconds", "movingSeconds", "averageSpeedKmh", "movingSpeedKmh", "ascentMetres",
                             "descentMetres", "highest", "lowest"})
    EXPECT_TRUE(b[absent].isNull()) << absent;

  struct Bad {
    std::vector<std::string> args;
    const char* message;
  };
  const Bad bad[] = {{{"trek", "stats"}, "expected FILE"},
                     {{"trek", "stats", file.string(), "--pause", "0"}, "--pause takes"},
                     {{"trek", "stats", file.string(), "--pause", "9x"}, "--pause takes"},
                     {{"trek", "stats", (file.parent_path() / "missing.ptd").string()}, "missing.ptd"}};
  for (const auto& c : bad) {
    const testutil::SRunResult f = testutil::runCli(c.args);
    EXPECT_EQ(f.status, 1) << c.message;
    EXPECT_NE(f.err.find(c.message), std::string::npos) << f.err;
  }
}
