// Route groups: their files round-trip and leave the other kinds' bytes as they were, GPX
// routes both ways, the figures of a route, and vantoria-cli trek show / convert for them.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "platform/Codepage.h"
#include "trek/CTrekData.h"
#include "trek/GpxFile.h"
#include "trek/RouteFigures.h"
#include "trek/TrekFile.h"

namespace {

std::string cp932(const char* utf8) { return platform::cp932::fromUtf8(utf8).text; }

CMarkerPoint at(double latDeg, double lonDeg, double altitude, const char* name = "p") {
  CMarkerPoint p;
  p.name = cp932(name);
  p.altitude = altitude;
  p.SetPosition(DmsAngle::FromDegrees(latDeg), DmsAngle::FromDegrees(lonDeg), Datum::Wgs84);
  return p;
}

std::unique_ptr<CTrekData> routeGroup() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kRouteGroup);
  g->SetGroupName(cp932("計画"));
  auto r = std::make_unique<CRoute>();
  r->name = cp932("尾根道");
  r->gpsName = "RIDGE";
  r->number = 2;
  r->description1 = "d1";
  r->description2 = "d2";
  r->reserved = 77;
  r->points = {at(36.4, 138.9, 800.0, "登山口"), at(36.41, 138.91, 1400.0, "分岐"), at(36.42, 138.9, 1300.0, "山頂")};
  r->points[1].comment = "line\r\nnext";
  g->AppendRoute(std::move(r));
  g->AppendRoute(std::make_unique<CRoute>());  // an empty route survives too
  return g;
}

TEST(RouteFile, RoundTripsAndLeavesTheOtherKindsAsTheyWere) {
  const auto g = routeGroup();
  const std::string bytes = WriteTrekBytes(*g);
  const STrekReadResult back = ReadTrekBytes(bytes, "plan.prd");
  ASSERT_TRUE(back.ok()) << back.message;
  EXPECT_EQ(back.group->Kind(), CTrekData::kRouteGroup);
  ASSERT_EQ(back.group->Routes().size(), 2u);
  EXPECT_EQ(*back.group->Routes()[0], *g->Routes()[0]);
  EXPECT_EQ(*back.group->Routes()[1], *g->Routes()[1]);
  EXPECT_EQ(WriteTrekBytes(*back.group), bytes);
  // Same signature and version as every trek file; the route list follows the kind.
  EXPECT_EQ(bytes.substr(0, 28), "\x1b" "Vantoria25000 PointDataFile");
  EXPECT_EQ(bytes.substr(28, 4), std::string("\x03\x00\x00\x00", 4));

  // An empty track log group is still the 43 bytes it always was.
  CTrekData tracks;
  tracks.SetKind(CTrekData::kTrackLogGroup);
  tracks.SetGroupName("A");
  EXPECT_EQ(WriteTrekBytes(tracks).size(), 43u);

  const struct {
    const char* name;
    std::string bytes;
    ETrekReadStatus status;
  } kBad[] = {
      {"routes cut short", bytes.substr(0, bytes.size() - 5), ETrekReadStatus::EndOfData},
      {"a route inside a waypoint list", [] {
         CTrekData w;
         w.SetKind(CTrekData::kRouteGroup);
         w.AppendRoute(std::make_unique<CRoute>());
         const std::string b = WriteTrekBytes(w);
         // Empty name and path: the waypoint count is at 34, the route count at 42 and the
         // route element after it. Put the element in the waypoint list of a kind 1 group.
         // Padded so that the count fits the bytes left: the class record is what is refused.
         return b.substr(0, 34) + b.substr(42, 2) + b.substr(44) + std::string("\x00\x00", 2) +
                std::string("\x01\x00\x00\x00", 4) + std::string(64, '\0');
       }(), ETrekReadStatus::UnexpectedObject},
  };
  for (const auto& c : kBad) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadTrekBytes(c.bytes, "bad.prd").status, c.status);
  }
}

TEST(RouteGpx, RoutesBothWays) {
  const auto g = routeGroup();
  const std::string xml = WriteGpxBytes(*g);
  EXPECT_NE(xml.find("<rte>"), std::string::npos);
  EXPECT_NE(xml.find("<number>2</number>"), std::string::npos);
  const SGpxReadResult r = ReadGpxBytes(xml, "plan.gpx");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_FALSE(r.waypoints);
  ASSERT_TRUE(r.routes);
  ASSERT_EQ(r.routes->Routes().size(), 1u);  // a route without points has nothing to write
  const CRoute& back = *r.routes->Routes()[0];
  const CRoute& sent = *g->Routes()[0];
  EXPECT_EQ(back.name, sent.name);
  EXPECT_EQ(back.number, 2);
  EXPECT_EQ(back.description1, "d1");
  EXPECT_EQ(back.description2, "d2");
  ASSERT_EQ(back.points.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back.points[i].name, sent.points[i].name);
    EXPECT_NEAR(back.points[i].latitude.ToDegrees(), sent.points[i].latitude.ToDegrees(), 1e-9);
    EXPECT_DOUBLE_EQ(back.points[i].altitude, sent.points[i].altitude);
  }
  EXPECT_EQ(back.points[1].comment, "line\r\nnext");
}

TEST(RouteFigures, LengthAscentAndWalkingTime) {
  const struct {
    const char* name;
    std::vector<CMarkerPoint> points;
    trek::SWalkingPace pace;
    double length;
    std::optional<double> ascent;
    double minutes;
  } kRows[] = {
      // 0.036 degrees of latitude at 36° N is very nearly 4 km.
      {"flat 4 km at 4 km/h", {at(36.0, 139.0, 500), at(36.036, 139.0, 500)}, {}, 3996.0, 0.0, 59.94},
      {"600 m up adds an hour", {at(36.0, 139.0, 500), at(36.018, 139.0, 1100), at(36.036, 139.0, 800)}, {}, 3996.0,
       600.0, 119.94},
      {"no altitudes: time from the length", {at(36.0, 139.0, 1e25), at(36.036, 139.0, 1e25)}, {}, 3996.0,
       std::nullopt, 59.94},
      {"a converted placeholder is no altitude", {at(36.0, 139.0, 100000.0), at(36.036, 139.0, 700)}, {}, 3996.0,
       std::nullopt, 59.94},
      {"own pace", {at(36.0, 139.0, 0), at(36.036, 139.0, 300)}, {2000.0, 300.0}, 3996.0, 300.0, 179.88},
      {"one point", {at(36.0, 139.0, 0)}, {}, 0.0, std::nullopt, 0.0},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    CRoute route;
    route.points = r.points;
    const trek::SRouteFigures f = trek::RouteFigures(route, r.pace);
    EXPECT_NEAR(f.lengthMetres, r.length, 2.0);
    EXPECT_EQ(f.ascentMetres.has_value(), r.ascent.has_value());
    if (r.ascent) {
      EXPECT_DOUBLE_EQ(*f.ascentMetres, *r.ascent);
    }
    EXPECT_NEAR(f.walkingMinutes, r.minutes, 0.1);
  }
  EXPECT_EQ(trek::WalkingTimeText(205.4), "3時間25分");
  EXPECT_EQ(trek::WalkingTimeText(59.6), "1時間0分");
}

TEST(RouteCli, ShowAndConvert) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  const auto prd = root / "plan.prd";
  ASSERT_TRUE(WriteTrekFileAtomic(prd, *routeGroup()).ok());
  const testutil::SRunResult show = testutil::runCli({"trek", "show", prd.string()});
  ASSERT_EQ(show.status, 0) << show.err;
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(show.out)).object();
  EXPECT_EQ(o["kindName"].toString(), "routes");
  const QJsonArray routes = o["routes"].toArray();
  ASSERT_EQ(routes.size(), 2);
  EXPECT_EQ(routes[0].toObject()["pointCount"].toInt(), 3);
  EXPECT_DOUBLE_EQ(routes[0].toObject()["ascentMetres"].toDouble(), 600.0);
  EXPECT_GT(routes[0].toObject()["walkingMinutes"].toDouble(), 60.0);

  const auto gpx = root / "plan.gpx";
  const testutil::SRunResult toGpx = testutil::runCli({"trek", "convert", prd.string(), gpx.string()});
  ASSERT_EQ(toGpx.status, 0) << toGpx.err;
  const auto again = root / "again.prd";
  const testutil::SRunResult back = testutil::runCli({"trek", "convert", gpx.string(), again.string()});
  ASSERT_EQ(back.status, 0) << back.err;
  const STrekReadResult r = ReadTrekFile(again);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.group->Routes().size(), 1u);
  EXPECT_EQ(r.group->Routes()[0]->points.size(), 3u);
  // A GPX file without routes makes no route file.
  CTrekData w;
  w.SetKind(CTrekData::kWaypointGroup);
  w.AppendWaypoint(std::make_unique<CMarkerPoint>(at(36, 139, 0)));
  ASSERT_TRUE(WriteGpxFileAtomic(root / "w.gpx", w).ok());
  const testutil::SRunResult none = testutil::runCli({"trek", "convert", (root / "w.gpx").string(), (root / "w.prd").string()});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("holds no routes"), std::string::npos);
}

}  // namespace
