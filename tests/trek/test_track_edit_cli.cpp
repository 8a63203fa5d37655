// vantoria-cli trek split, join, trim, reverse and thin on a track log file made here: the
// logs written, their point counts, and refusals that leave no file.
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

std::unique_ptr<CTrackLog> log(const std::string& name, int points, std::int32_t firstTime) {
  auto l = std::make_unique<CTrackLog>();
  l->name = name;
  for (int i = 0; i < points; ++i) {
    CTrackPoint p;
    p.number = i;
    p.time = TrekTime(firstTime + 60 * i);
    // East along 35°N with every third point 60 m north.
    p.SetPosition(DmsAngle::FromDegrees(35.0 + (i % 3 == 1 ? 60.0 / 111000.0 : 0.0)),
                  DmsAngle::FromDegrees(139.0 + i * 0.001), Datum::Wgs84);
    l->AppendPoint(p);
  }
  return l;
}

struct SLogOut {
  std::string name;
  int points;
};

TEST(TrekEditCli, EachEditWritesItsLogs) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  const std::filesystem::path in = root / "day.ptd";
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("day");
  g.AppendTrackLog(log("afternoon", 10, 50000));
  g.AppendTrackLog(log("morning", 6, 10000));
  g.AppendTrackLog(log("evening", 4, 90000));
  ASSERT_TRUE(WriteTrekFileAtomic(in, g).ok());

  const struct {
    const char* name;
    std::vector<std::string> args;  // after "trek"; FILE and -o OUT are added
    std::vector<SLogOut> logs;
    bool reportsError;
  } kCases[] = {
      {"split in the middle", {"split", "@", "0", "4"}, {{"afternoon", 5}, {"afternoon (2)", 6}, {"morning", 6}, {"evening", 4}}, false},
      {"join in time order", {"join", "@", "0,1"}, {{"morning", 16}, {"evening", 4}}, false},
      {"join as given", {"join", "@", "0,1", "--as-given"}, {{"afternoon", 16}, {"evening", 4}}, false},
      {"join three", {"join", "@", "2,0,1"}, {{"morning", 20}}, false},
      {"trim the head", {"trim", "@", "0", "0-2"}, {{"afternoon", 7}, {"morning", 6}, {"evening", 4}}, false},
      {"trim one point", {"trim", "@", "1", "5"}, {{"afternoon", 10}, {"morning", 5}, {"evening", 4}}, false},
      {"reverse", {"reverse", "@", "2"}, {{"afternoon", 10}, {"morning", 6}, {"evening", 4}}, false},
      {"thin to 4 points", {"thin", "@", "0", "--points", "4"}, {{"afternoon", 4}, {"morning", 6}, {"evening", 4}}, true},
      {"thin by a wide tolerance", {"thin", "@", "0", "--tolerance", "100"}, {{"afternoon", 2}, {"morning", 6}, {"evening", 4}}, true},
  };
  int n = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path out = root / ("out" + std::to_string(n++) + ".ptd");
    std::vector<std::string> args{"trek"};
    for (const std::string& a : c.args) args.push_back(a == "@" ? in.string() : a);
    args.insert(args.end(), {"-o", out.string()});
    const testutil::SRunResult r = testutil::runCli(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const QJsonArray logs = o["trackLogs"].toArray();
    ASSERT_EQ(logs.size(), qsizetype(c.logs.size()));
    const STrekReadResult back = ReadTrekFile(out);
    ASSERT_TRUE(back.ok());
    for (std::size_t i = 0; i < c.logs.size(); ++i) {
      EXPECT_EQ(logs[qsizetype(i)].toObject()["name"].toString().toStdString(), c.logs[i].name);
      EXPECT_EQ(logs[qsizetype(i)].toObject()["pointCount"].toInt(), c.logs[i].points);
      EXPECT_EQ(back.group->TrackLogs()[i]->Points().size(), std::size_t(c.logs[i].points));
    }
    EXPECT_EQ(o.contains("maxErrorMetres"), c.reportsError);
    if (c.reportsError) {
      EXPECT_LE(o["maxErrorMetres"].toDouble(), 100.0);
    }
  }
}

TEST(TrekEditCli, RefusalsWriteNothing) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  const std::filesystem::path in = root / "day.ptd";
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("day");
  g.AppendTrackLog(log("only", 5, 0));
  ASSERT_TRUE(WriteTrekFileAtomic(in, g).ok());
  const std::filesystem::path out = root / "out.ptd";
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* says;
  } kCases[] = {
      {"split at the first point", {"split", "@", "0", "0"}, "最初と最後"},
      {"split at the last point", {"split", "@", "0", "4"}, "最初と最後"},
      {"no such log", {"reverse", "@", "3"}, "no track log 3"},
      {"join one log", {"join", "@", "0"}, "2つ以上"},
      {"join a log twice", {"join", "@", "0,0"}, "2回"},
      {"trim everything", {"trim", "@", "0", "0-4"}, "すべてのポイント"},
      {"trim backwards", {"trim", "@", "0", "3-1"}, "始めが終わり"},
      {"thin to one point", {"thin", "@", "0", "--points", "1"}, "2以上"},
      {"thin with both targets", {"thin", "@", "0", "--points", "3", "--tolerance", "5"}, "expected"},
      {"thin with a bad tolerance", {"thin", "@", "0", "--tolerance", "5m"}, "metres"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"trek"};
    for (const std::string& a : c.args) args.push_back(a == "@" ? in.string() : a);
    args.insert(args.end(), {"-o", out.string()});
    const testutil::SRunResult r = testutil::runCli(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  // A waypoint file has no logs to edit.
  CTrekData w;
  w.SetKind(CTrekData::kWaypointGroup);
  w.SetGroupName("w");
  ASSERT_TRUE(WriteTrekFileAtomic(root / "w.pmd", w).ok());
  const testutil::SRunResult r = testutil::runCli({"trek", "reverse", (root / "w.pmd").string(), "0", "-o", out.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("holds no track logs"), std::string::npos);
}

}  // namespace
