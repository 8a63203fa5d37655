// Routes to and from the simulated receiver: A200 (header and points) and A201 (with links),
// the records as they travel, the names points are sent under, and receivers without routes.
#include <gtest/gtest.h>

#include <functional>

#include "CReceiverSimulator.h"
#include "geodesy/DatumConverter.h"
#include "gps/GpsRecords.h"
#include "gps/GpsTransfer.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekData.h"

using gpstest::CReceiverSimulator;
using gpstest::SSimConfig;
using gpstest::SSimPacket;

namespace {

constexpr platform::SSerialTimeouts kFast{1000, 1};

class CQuietProgress : public IGpsProgress {
 public:
  void Show(const std::string& activity) override { shown.push_back(activity); }
  bool Update(double fraction) override {
    fractions.push_back(fraction);
    return true;
  }
  void Hide() override {}
  std::vector<std::string> shown;
  std::vector<double> fractions;
};

class GpsRoutes : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setPrompt(&prompt);
    platform::setProfile(&profile);
    saved = GpsLink::DefaultTimeouts();
    GpsLink::SetDefaultTimeouts(kFast);
  }
  void TearDown() override {
    GpsLink::SetDefaultTimeouts(saved);
    platform::setProfile(nullptr);
    platform::setPrompt(nullptr);
  }
  bool run(CReceiverSimulator& sim, const std::function<bool(const SGpsPort&)>& transfer) {
    profile.writeString("SerialPorts", "COM3", sim.devicePath());
    const bool ok = transfer(SGpsPort(3));
    sim.stop();
    EXPECT_EQ(gpstest::openDescriptorsOf(sim.devicePath(), sim.slaveFd()), 0) << "port left open";
    return ok;
  }
  platform::CScriptedPrompt prompt;
  platform::CMemoryProfile profile;
  platform::SSerialTimeouts saved;
  CQuietProgress progress;
};

CMarkerPoint routePoint(const char* gpsName, double latSeconds, double altitude) {
  CMarkerPoint p;
  p.name = gpsName;
  p.gpsName = gpsName;
  p.altitude = altitude;
  p.SetPosition(DmsAngle(36, 20, latSeconds), DmsAngle(138, 55, 0.0), Datum::Wgs84);
  return p;
}

std::unique_ptr<CTrekData> planned() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kRouteGroup);
  auto r = std::make_unique<CRoute>();
  r->number = 3;
  r->name = "ridge walk";
  r->gpsName = "RIDGE WALK";
  r->points = {routePoint("START", 0.0, 800.0), routePoint("", 30.0, 1200.0), routePoint("HUT", 60.0, 1500.0)};
  g->AppendRoute(std::move(r));
  auto second = std::make_unique<CRoute>();
  second->number = 4;
  second->name = "川沿い";  // not a GPS name: the header's comment stays empty
  second->points = {routePoint("A", 90.0, 700.0)};
  g->AppendRoute(std::move(second));
  return g;
}

std::vector<std::uint8_t> ids(const std::vector<gpstest::SHostFrame>& frames) {
  std::vector<std::uint8_t> out;
  for (const auto& f : frames) out.push_back(f.id);
  return out;
}

TEST_F(GpsRoutes, UploadUnderA200AndA201) {
  const struct {
    const char* name;
    std::vector<std::pair<char, std::uint16_t>> caps;
    std::vector<std::uint8_t> records;
  } kCases[] = {
      {"A200: headers and points", {{'L', 1}, {'A', 10}, {'A', 100}, {'D', 108}, {'A', 200}, {'D', 201}, {'D', 108}},
       {29, 30, 30, 30, 29, 30}},
      {"A201: links between points",
       {{'L', 1}, {'A', 10}, {'A', 100}, {'D', 108}, {'A', 201}, {'D', 201}, {'D', 108}, {'D', 210}},
       {29, 30, 98, 30, 98, 30, 29, 30}},
  };
  const auto group = planned();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    prompt.clear();
    SSimConfig cfg;
    cfg.capabilities = c.caps;
    CReceiverSimulator sim(cfg);
    EXPECT_TRUE(run(sim, [&](const SGpsPort& p) { return UploadRoutes(*group, p, progress); }));
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{gpstext::kSent});
    EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();
    const auto up = sim.uploads();
    EXPECT_EQ(ids(up), c.records);
    EXPECT_EQ(sim.announced(), c.records.size());
    EXPECT_FALSE(sim.abortSeen());
    ASSERT_GE(up.size(), 2u);
    // The header: number 3, the GPS name as a 20-byte comment.
    const auto h = gps::decodeRouteHeader(up[0].data);
    ASSERT_TRUE(h);
    EXPECT_EQ(up[0].data.size(), 21u);
    EXPECT_EQ(h->number, 3);
    EXPECT_EQ(h->comment, "RIDGE WALK");
    // The points go under their GPS names; one without takes its place in the route.
    std::vector<std::string> idents;
    for (const auto& f : up)
      if (f.id == 30) idents.push_back(gps::decodeWaypoint(f.data)->ident);
    EXPECT_EQ(idents, (std::vector<std::string>{"START", "R03P002", "HUT", "A"}));
    const auto last = gps::decodeRouteHeader(up[up.size() - 2].data);
    EXPECT_EQ(last->number, 4);
    EXPECT_EQ(last->comment, "");
  }
  EXPECT_EQ(progress.shown.front(), gpstext::kUploadingRoutes);
}

TEST_F(GpsRoutes, DownloadMakesRoutesInOrder) {
  SSimConfig cfg;
  const auto wpt = [](std::int32_t lat, const char* ident) {
    return SSimPacket{30, gps::encodeWaypoint({18, lat, 0x62000000, 1000.0f, ident})};
  };
  cfg.routes = {{29, gps::encodeRouteHeader({1, "LAKE LOOP"})},
                wpt(0x19000000, "P1"),
                {98, gps::encodeRouteLink()},
                wpt(0x19000100, "P2"),
                {29, gps::encodeRouteHeader({2, ""})},
                wpt(0x19000200, "P3")};
  CReceiverSimulator sim(cfg);
  CTrekData group;
  group.SetKind(CTrekData::kRouteGroup);
  EXPECT_TRUE(run(sim, [&](const SGpsPort& p) { return DownloadRoutes(group, p, progress); }));
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{gpstext::kReceived});
  EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();
  ASSERT_EQ(group.Routes().size(), 2u);
  const CRoute& a = *group.Routes()[0];
  EXPECT_EQ(a.name, "LAKE LOOP");
  EXPECT_EQ(a.number, 1);
  ASSERT_EQ(a.points.size(), 2u);
  EXPECT_EQ(a.points[1].name, "P2");
  EXPECT_EQ(DatumConverter::AngleToSemicircles(a.points[1].latitude), 0x19000100);
  EXPECT_EQ(group.Routes()[1]->name, "ROUTE 2");
  EXPECT_EQ(group.Routes()[1]->points.size(), 1u);
}

TEST_F(GpsRoutes, ReceiversWithoutRoutesAreUnsupported) {
  SSimConfig cfg;
  cfg.capabilities = {{'L', 1}, {'A', 10}, {'A', 100}, {'D', 108}, {'A', 200}, {'D', 202}};
  CReceiverSimulator sim(cfg);
  const auto group = planned();
  EXPECT_FALSE(run(sim, [&](const SGpsPort& p) { return UploadRoutes(*group, p, progress); }));
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{gpstext::kUnsupported});
  EXPECT_TRUE(sim.uploads().empty());
}

TEST(GpsRouteRecords, HeaderCommentsAreCutAndPadded) {
  const struct {
    const char* name;
    std::string comment;
    std::string back;
  } kRows[] = {
      {"short", "PASS", "PASS"},
      {"exactly 20", std::string(20, 'X'), std::string(20, 'X')},
      {"longer", std::string(25, 'Y'), std::string(20, 'Y')},
      {"a two-byte character across the edge", std::string(19, 'Z') + "\x8E\x52", std::string(19, 'Z')},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    const auto bytes = gps::encodeRouteHeader({7, r.comment});
    EXPECT_EQ(bytes.size(), 21u);
    EXPECT_EQ(gps::decodeRouteHeader(bytes)->comment, r.back);
  }
  EXPECT_FALSE(gps::decodeRouteHeader({}));
  // A receiver's header cut inside a two-byte character keeps the whole ones.
  std::vector<std::uint8_t> cut{1, 'A', 0x8E};
  EXPECT_EQ(gps::decodeRouteHeader(cut)->comment, "A");
}

}  // namespace
