// `vantoria-cli coords`: a position to UTM, MGRS, both datums and the declination, and a grid
// reference back to angles.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "common/TestUtil.h"

namespace {

QJsonObject json(const testutil::SRunResult& r) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
}

TEST(CoordsCli, PositionsAndReferences) {
  const testutil::SRunResult tokyoStation =
      testutil::runCli({"coords", "35.681236", "139.767125", "--date", "2026-01-01"});
  ASSERT_EQ(tokyoStation.status, 0) << tokyoStation.err;
  const QJsonObject o = json(tokyoStation);
  EXPECT_EQ(o["mgrs"].toString(), QStringLiteral("54S UE 88435 49293"));
  const QJsonObject utm = o["utm"].toObject();
  EXPECT_EQ(utm["zone"].toInt(), 54);
  EXPECT_EQ(utm["hemisphere"].toString(), QStringLiteral("N"));
  EXPECT_NEAR(utm["easting"].toDouble(), 388435.687, 0.01);
  EXPECT_NEAR(utm["northing"].toDouble(), 3949293.978, 0.01);
  EXPECT_NEAR(o["wgs84"].toObject()["latitude"].toDouble(), 35.681236, 1e-9);
  // Tokyo datum figures here: about 11.6" less latitude and 11.6" more longitude.
  EXPECT_NEAR(o["tokyo"].toObject()["latitude"].toDouble(), 35.681236 - 11.6 / 3600.0, 3e-4);
  EXPECT_NEAR(o["tokyo"].toObject()["longitude"].toDouble(), 139.767125 + 11.6 / 3600.0, 3e-4);
  const QJsonObject d = o["declination"].toObject();
  EXPECT_EQ(d["model"].toString(), QStringLiteral("WMM-2025"));
  EXPECT_EQ(d["date"].toString(), QStringLiteral("2026-01-01"));
  EXPECT_TRUE(d["withinModel"].toBool());
  EXPECT_LT(d["degrees"].toDouble(), -7.0);
  EXPECT_TRUE(d["text"].toString().startsWith(QStringLiteral("西偏 7°")));

  // The same place given in the Tokyo datum moves by the datum shift.
  const testutil::SRunResult tokyo = testutil::runCli({"coords", "35.681236", "139.767125", "--datum", "tokyo"});
  ASSERT_EQ(tokyo.status, 0) << tokyo.err;
  EXPECT_NE(json(tokyo)["mgrs"].toString(), QStringLiteral("54S UE 88435 49293"));

  const testutil::SRunResult back = testutil::runCli({"coords", "--grid", "54S UE 88435 49293"});
  ASSERT_EQ(back.status, 0) << back.err;
  const QJsonObject b = json(back);
  EXPECT_EQ(b["digits"].toInt(), 5);
  EXPECT_EQ(b["mgrs"].toString(), QStringLiteral("54S UE 88435 49293"));
  EXPECT_NEAR(b["wgs84"].toObject()["latitude"].toDouble(), 35.681236, 2e-5);
  EXPECT_NEAR(b["wgs84"].toObject()["longitude"].toDouble(), 139.767125, 2e-5);

  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* message;
  } kRefused[] = {
      {"bad reference", {"coords", "--grid", "54SUE123"}, "as many easting as northing digits"},
      {"grid and datum", {"coords", "--grid", "54SUE1234", "--datum", "tokyo"}, "--datum does not apply"},
      {"no position", {"coords"}, "expected LAT and LON"},
      {"bad latitude", {"coords", "95", "139"}, "latitude '95'"},
      {"bad datum", {"coords", "35", "139", "--datum", "jgd2011"}, "unknown datum"},
      {"bad date", {"coords", "35", "139", "--date", "2026-13-01"}, "--date"},
  };
  for (const auto& c : kRefused) {
    SCOPED_TRACE(c.name);
    const testutil::SRunResult r = testutil::runCli(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

}  // namespace
