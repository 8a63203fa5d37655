// vantoria-cli gps against the simulated receiver.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "CReceiverSimulator.h"
#include "common/TestUtil.h"
#include "gps/GpsRecords.h"
#include "gps/GpsTransfer.h"
#include "platform/IPrompt.h"
#include "trek/TrekFile.h"

using gpstest::CReceiverSimulator;
using gpstest::SSimConfig;

namespace {

SSimConfig receiverWithData() {
  SSimConfig cfg;
  cfg.waypoints = {{35, gps::encodeWaypoint({18, 0x19101010, 0x63101010, 12.0f, "TOP"})},
                   {35, gps::encodeWaypoint({8, 0x19000000, 0x63000000, 3.0f, "CAMP"})}};
  cfg.tracks = {{99, gps::encodeTrackHeader({1, 255, "ACTIVE LOG"})},
                {34, gps::encodeTrackPoint({0x19000000, 0x63000000, 100, 1.0f, true})},
                {34, gps::encodeTrackPoint({0x19000100, 0x63000100, 160, 2.0f, false})}};
  return cfg;
}

bool contains(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

}  // namespace

TEST(GpsCli, InfoDownloadAndUploadOverThePty) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString();

  {
    CReceiverSimulator sim(receiverWithData());
    const auto r = testutil::runCli({"gps", "info", "--device", sim.devicePath()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "\"productId\": 260")) << r.out;
    EXPECT_TRUE(contains(r.out, "\"softwareVersion\": 330")) << r.out;
    EXPECT_TRUE(contains(r.out, "Simulated Receiver Software Version 3.30")) << r.out;
    EXPECT_TRUE(contains(r.out, "\"D108\"")) << r.out;
    EXPECT_TRUE(contains(r.out, "\"waypoints\": true")) << r.out;
  }

  // Waypoints through a port name that the profile maps to the pty.
  const std::string wpt = base + "/wpt.pmd";
  {
    CReceiverSimulator sim(receiverWithData());
    const std::string ini = base + "/profile.ini";
    testutil::writeFile(ini, "[SerialPorts]\nCOM3=" + sim.devicePath() + "\n");
    const auto r = testutil::runCli({"--profile", ini, "gps", "download", "waypoints", "--port", "com3", "-o", wpt});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, gpstext::kDownloadingWaypoints)) << r.err;
    EXPECT_TRUE(contains(r.err, "100 %")) << r.err;
    EXPECT_TRUE(contains(r.err, gpstext::kReceived)) << r.err;
    const auto read = ReadTrekFile(wpt);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.group->Kind(), CTrekData::kWaypointGroup);
    ASSERT_EQ(read.group->Waypoints().size(), 2u);
    EXPECT_EQ(read.group->Waypoints()[1]->gpsName, "CAMP");
    EXPECT_EQ(read.group->Waypoints()[1]->symbol, -8);

    const auto again = testutil::runCli({"gps", "download", "waypoints", "--device", sim.devicePath(), "-o", wpt});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(contains(again.err, "--force")) << again.err;
  }

  const std::string trk = base + "/trk.ptd";
  {
    CReceiverSimulator sim(receiverWithData());
    const auto r = testutil::runCli({"gps", "download", "tracks", "--device", sim.devicePath(), "-o", trk});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto read = ReadTrekFile(trk);
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read.group->TrackLogs().size(), 1u);
    EXPECT_EQ(read.group->TrackLogs()[0]->name, "ACTIVE LOG 000");
    EXPECT_EQ(read.group->TrackLogs()[0]->Points().size(), 2u);
  }

  // What came down goes back up byte for byte.
  {
    CReceiverSimulator sim(receiverWithData());
    const auto r = testutil::runCli({"gps", "upload", wpt, "--device", sim.devicePath()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, gpstext::kSent)) << r.err;
    sim.stop();
    const auto up = sim.uploads();
    ASSERT_EQ(up.size(), 2u);
    EXPECT_EQ(up[0].data, gps::encodeWaypoint({18, 0x19101010, 0x63101010, 12.0f, "TOP"}));
    EXPECT_EQ(up[1].data, gps::encodeWaypoint({8, 0x19000000, 0x63000000, 3.0f, "CAMP"}));
    EXPECT_TRUE(sim.problems().empty());
  }
  {
    CReceiverSimulator sim(receiverWithData());
    const auto r = testutil::runCli({"gps", "upload", trk, "--device", sim.devicePath(), "--active-log"});
    EXPECT_EQ(r.status, 0) << r.err;
    sim.stop();
    const auto up = sim.uploads();
    ASSERT_EQ(up.size(), 3u);
    // Sent as the active log, not under its downloaded segment name.
    EXPECT_EQ(up[0].data, gps::encodeTrackHeader({1, 255, "ACTIVE LOG"}));
    EXPECT_EQ(up[2].data, gps::encodeTrackPoint({0x19000100, 0x63000100, 160, 2.0f, false}));
  }
}

TEST(GpsCli, FailuresExitNonZeroWithTheMessage) {
  QTemporaryDir dir;
  const std::string out = dir.path().toStdString() + "/x.pmd";
  SSimConfig noD108;
  noD108.capabilities = {{'L', 1}, {'A', 10}, {'A', 100}, {'D', 110}};
  CReceiverSimulator sim(noD108);
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string err;
  } kCases[] = {
      {"unsupported receiver", {"gps", "download", "waypoints", "--device", sim.devicePath(), "-o", out}, gpstext::kUnsupported},
      {"no such device", {"gps", "download", "tracks", "--device", "/nonexistent/tty", "-o", out}, gpstext::kOpenFailed},
      {"bad port name", {"gps", "info", "--port", "COM7"}, "COM1..COM4"},
      {"port and device", {"gps", "info", "--port", "COM1", "--device", "/dev/null"}, "either"},
      {"unknown kind", {"gps", "download", "areas", "--device", "/dev/null", "-o", out}, "waypoints, tracks or routes"},
      {"missing file", {"gps", "upload", out, "--device", sim.devicePath()}, "x.pmd"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto r = testutil::runCli(c.args);
    EXPECT_EQ(r.status, 1);
    std::string err = r.err;
    EXPECT_TRUE(contains(err, std::string(c.err).substr(0, c.err.find("\r\n")))) << err;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}
