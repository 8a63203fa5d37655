// The four transfers end to end: the real termios port on one side of a pseudo-terminal, the
// simulated receiver on the other.
#include <gtest/gtest.h>

#include <QMetaObject>
#include <QProgressBar>
#include <QLabel>
#include <QPushButton>

#include <cfloat>
#include <chrono>
#include <cstring>
#include <functional>

#include "CReceiverSimulator.h"
#include "geodesy/DatumConverter.h"
#include "gps/GpsRecords.h"
#include "gps/GpsTransfer.h"
#include "gps/ui/CDlgGpsProgress.h"
#include "platform/IPrompt.h"
#include "platform/IProfileStore.h"
#include "trek/CTrekData.h"

using Bytes = std::vector<std::uint8_t>;
using gpstest::CReceiverSimulator;
using gpstest::EFault;
using gpstest::SSimConfig;
using gpstest::SSimPacket;

namespace {

/// Long enough that the simulator always answers in time on a busy machine, short enough that
/// the cases which end by a time-out stay quick.
constexpr platform::SSerialTimeouts kFast{1000, 1};
/// A transfer that fails by time-out waits one read time-out; this bound only catches one that
/// never ends, so a busy or sanitized run cannot trip it.
constexpr long kHangMs = 30000;

class CRecordingProgress : public IGpsProgress {
 public:
  void Show(const std::string& activity) override {
    shown.push_back(activity);
    visible = true;
  }
  bool Update(double fraction) override {
    fractions.push_back(fraction);
    return cancelAfter < 0 || static_cast<int>(fractions.size()) <= cancelAfter;
  }
  void Hide() override {
    ++hides;
    visible = false;
  }
  std::vector<std::string> shown;
  std::vector<double> fractions;
  int hides = 0;
  bool visible = false;
  int cancelAfter = -1;  ///< number of updates answered "go on" before the cancel
};

class GpsTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setPrompt(&m_prompt);
    platform::setProfile(&m_profile);
    m_saved = GpsLink::DefaultTimeouts();
    GpsLink::SetDefaultTimeouts(kFast);
  }
  void TearDown() override {
    GpsLink::SetDefaultTimeouts(m_saved);
    platform::setProfile(nullptr);
    platform::setPrompt(nullptr);
  }

  /// Runs one transfer against the simulator and checks what every transfer must do.
  bool run(CReceiverSimulator& sim, const std::function<bool(const SGpsPort&)>& transfer) {
    m_profile.writeString("SerialPorts", "COM2", sim.devicePath());
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = transfer(SGpsPort(2));
    m_elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(gpstest::openDescriptorsOf(sim.devicePath(), sim.slaveFd()), 0) << "port left open";
    EXPECT_FALSE(progress.visible) << "progress window left up";
    EXPECT_EQ(m_prompt.requests().size(), 1u);
    sim.stop();
    return ok;
  }
  std::string message() const { return m_prompt.texts().empty() ? "" : m_prompt.texts().back(); }
  platform::EPromptIcon icon() const { return m_prompt.requests().back().icon; }

  CRecordingProgress progress;
  long m_elapsedMs = 0;
  platform::CScriptedPrompt m_prompt;
  platform::CMemoryProfile m_profile;
  platform::SSerialTimeouts m_saved;
};

SSimPacket waypoint(std::int32_t lat, std::int32_t lon, float alt, std::uint16_t symbol, const std::string& ident) {
  return {35, gps::encodeWaypoint({symbol, lat, lon, alt, ident})};
}
SSimPacket header(std::uint8_t display, std::uint8_t color, const std::string& ident) {
  return {99, gps::encodeTrackHeader({display, color, ident})};
}
SSimPacket point(std::int32_t lat, std::int32_t lon, std::uint32_t time, float alt, bool first) {
  return {34, gps::encodeTrackPoint({lat, lon, time, alt, first})};
}

std::vector<SSimPacket> threeWaypoints() {
  return {waypoint(0x19101010, 0x63101010, 123.5f, 0x10, "SUMMIT"),
          waypoint(0x19000000, 0x63000000, -4.0f, 18, std::string("\x8E\x52\x8F\xAC\x89\xAE", 6)),
          waypoint(0x18FFFFFF, 0x62FFFFFF, 1e25f, 8, std::string(16, '\x10'))};
}

Bytes raw(std::initializer_list<int> b) {
  Bytes out;
  for (int v : b) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

bool hasFrame(const std::vector<gpstest::SHostFrame>& frames, const Bytes& wire) {
  for (const auto& f : frames) {
    if (f.raw == wire) return true;
  }
  return false;
}

}  // namespace

TEST_F(GpsTransferTest, DownloadWaypointsLandInTheGroup) {
  SSimConfig cfg;
  cfg.waypoints = threeWaypoints();
  CReceiverSimulator sim(cfg);
  CTrekData group;
  group.SetKind(CTrekData::kWaypointGroup);
  EXPECT_TRUE(run(sim, [&](const SGpsPort& p) { return DownloadWaypoints(group, p, progress); }));
  EXPECT_EQ(message(), gpstext::kReceived);
  EXPECT_EQ(icon(), platform::EPromptIcon::Information);
  EXPECT_EQ(progress.shown, std::vector<std::string>{gpstext::kDownloadingWaypoints});
  EXPECT_EQ(progress.fractions, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
  EXPECT_EQ(progress.hides, 1);
  EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();

  ASSERT_EQ(group.Waypoints().size(), 3u);
  const CMarkerPoint& a = *group.Waypoints()[0];
  EXPECT_EQ(a.name, "SUMMIT");
  EXPECT_EQ(a.gpsName, "SUMMIT");
  EXPECT_EQ(a.symbol, -16);
  EXPECT_EQ(a.altitude, 123.5);
  EXPECT_EQ(a.latitude.TotalSeconds(), DatumConverter::SemicirclesToAngle(0x19101010).TotalSeconds());
  EXPECT_EQ(a.longitude.TotalSeconds(), DatumConverter::SemicirclesToAngle(0x63101010).TotalSeconds());
  EXPECT_EQ(group.Waypoints()[1]->name, std::string("\x8E\x52\x8F\xAC\x89\xAE", 6));
  EXPECT_EQ(group.Waypoints()[1]->symbol, -18);
  EXPECT_EQ(group.Waypoints()[2]->name, std::string(16, '\x10'));
  EXPECT_EQ(group.Waypoints()[2]->altitude, static_cast<double>(1e25f));

  const auto frames = sim.hostFrames();
  EXPECT_TRUE(hasFrame(frames, raw({0x10, 0xFE, 0x02, 0x00, 0x00, 0x00, 0x10, 0x03}))) << "product request";
  EXPECT_TRUE(hasFrame(frames, raw({0x10, 0x0A, 0x02, 0x07, 0x00, 0xED, 0x10, 0x03}))) << "transfer waypoints";
  EXPECT_TRUE(hasFrame(frames, raw({0x10, 0x06, 0x02, 0x23, 0x00, 0xD5, 0x10, 0x03}))) << "waypoint ack";
  EXPECT_EQ(frames.back().raw, raw({0x10, 0x06, 0x02, 0x0C, 0x00, 0xEC, 0x10, 0x03})) << "complete ack";
  EXPECT_FALSE(sim.abortSeen());
}

TEST_F(GpsTransferTest, DownloadTrackLogsSplitsTheActiveLogIntoSegments) {
  SSimConfig cfg;
  const std::uint32_t t1 = 0x12345678;
  cfg.tracks = {
      point(1, 1, 0, 0.0f, false),  // before any track: dropped
      header(1, 255, "ACTIVE LOG"),
      point(0x19000000, 0x63000000, t1, 10.0f, true),
      point(0x19000010, 0x63000010, t1 + 16, 11.0f, false),
      {0x55, {1, 2, 3}},  // unknown to the program: ignored, not acknowledged
      point(0x19000100, 0x63000100, gps::kNoTime, 12.0f, true),
      header(0, 5, "THIRTEEN CHRS"),  // a 16-byte (DLE) size
      point(0x19101010, 0x63101010, 16, 16.0f, true),
  };
  CReceiverSimulator sim(cfg);
  CTrekData group;
  group.SetKind(CTrekData::kTrackLogGroup);
  EXPECT_TRUE(run(sim, [&](const SGpsPort& p) { return DownloadTrackLogs(group, p, progress); }));
  EXPECT_EQ(message(), gpstext::kReceived);
  EXPECT_EQ(progress.shown, std::vector<std::string>{gpstext::kDownloadingTracks});
  ASSERT_EQ(progress.fractions.size(), 9u);
  EXPECT_DOUBLE_EQ(progress.fractions[0], 1.0 / 8.0);
  EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();

  const auto& logs = group.TrackLogs();
  ASSERT_EQ(logs.size(), 3u);
  const struct {
    const char* name;
    std::int32_t display;
    std::uint8_t color;
    std::size_t points;
  } kWant[] = {{"ACTIVE LOG 000", 1, 255, 2}, {"ACTIVE LOG 001", 1, 255, 1}, {"THIRTEEN CHRS", 0, 5, 1}};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(kWant[i].name);
    EXPECT_EQ(logs[i]->name, kWant[i].name);
    EXPECT_EQ(logs[i]->gpsName, kWant[i].name);
    EXPECT_EQ(logs[i]->display, kWant[i].display);
    EXPECT_EQ(logs[i]->color, kWant[i].color);
    ASSERT_EQ(logs[i]->Points().size(), kWant[i].points);
    for (std::size_t k = 0; k < kWant[i].points; ++k) EXPECT_EQ(logs[i]->Points()[k].number, static_cast<int>(k));
  }
  const CTrackPoint& p0 = logs[0]->Points()[0];
  EXPECT_EQ(p0.time, TrekTime::FromReceiverSeconds(static_cast<std::int32_t>(t1)));
  EXPECT_EQ(p0.altitude, 10.0);
  EXPECT_EQ(p0.latitude.TotalSeconds(), DatumConverter::SemicirclesToAngle(0x19000000).TotalSeconds());
  EXPECT_FALSE(logs[1]->Points()[0].time.HasTime());
  EXPECT_EQ(logs[2]->Points()[0].longitude.TotalSeconds(), DatumConverter::SemicirclesToAngle(0x63101010).TotalSeconds());
}

TEST_F(GpsTransferTest, ActiveLogSegmentNamesAndTheShortenedName) {
  const struct {
    int segment;
    const char* want;
  } kSegments[] = {{0, "ACTIVE LOG 000"}, {9, "ACTIVE LOG 009"}, {10, "ACTIVE LOG 010"},
                   {999, "ACTIVE LOG 999"}, {1000, "ACTIVE LOG "}, {-1, "ACTIVE LOG "}};
  for (const auto& c : kSegments) EXPECT_EQ(ActiveLogSegmentName("ACTIVE LOG", c.segment), c.want) << c.segment;
  const struct {
    const char* in;
    const char* want;
  } kNames[] = {{"ACTIVE LOG 002", "ACTV LOG 002"},
                {"MY ACTIVE LOG", "MY ACTIVE LOG"},
                {"ACTIVE LOG/ACTIVE LOG", "ACTV LOG/ACTV LOG"},
                {"ACTIVE LO", "ACTIVE LO"},
                {"active log 1", "active log 1"},
                // "\x83" + "A" is one two-byte character, not the start of the name.
                {"ACTIVE LOG\x83" "ACTIVE LOG", "ACTV LOG\x83" "ACTIVE LOG"}};
  for (const auto& c : kNames) EXPECT_EQ(SavedTrackIdentifier(c.in), c.want) << c.in;
}

TEST_F(GpsTransferTest, CapabilityChecks) {
  const std::vector<SGpsCapability> caps{{'L', 1}, {'A', 10}, {'A', 100}, {'D', 110}, {'A', 301}, {'T', 1}, {'D', 310}};
  const struct {
    char tag;
    int number;
    int data;
    bool want;
  } kCases[] = {{'L', 1, 0, true},    {'A', 10, 0, true},   {'A', 100, 108, false}, {'A', 100, 110, true},
                {'A', 301, 310, true}, {'A', 300, 310, false}, {'D', 110, 0, true},  {'L', 2, 0, false},
                {'A', 301, 110, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(1, c.tag) + std::to_string(c.number) + "/" + std::to_string(c.data));
    EXPECT_EQ(Supports(caps, c.tag, c.number, c.data), c.want);
  }
}

TEST_F(GpsTransferTest, UploadWaypointsArriveByteExact) {
  CTrekData group;
  group.SetKind(CTrekData::kWaypointGroup);
  const struct {
    std::int32_t symbol;
    std::string gpsName;
    double altitude;
    std::uint16_t wantSymbol;
    std::size_t wantIdent;
  } kPoints[] = {
      {0, "HUT", 1234.5, 18, 3},
      {-8, "SPRING", -1.0, 8, 6},
      {5, std::string(300, 'N'), 1e300, 18, 206},
      {-16, std::string("\x10\x10", 2), 0.0, 16, 2},
  };
  for (const auto& p : kPoints) {
    auto m = std::make_unique<CMarkerPoint>();
    m->symbol = p.symbol;
    m->gpsName = p.gpsName;
    m->name = "ignored";
    m->altitude = p.altitude;
    m->SetPosition(DmsAngle(35, 16, 12.5), DmsAngle(137, 41, 0.25), Datum::Wgs84);
    group.AppendWaypoint(std::move(m));
  }
  CReceiverSimulator sim;
  EXPECT_TRUE(run(sim, [&](const SGpsPort& p) { return UploadWaypoints(group, p, progress); }));
  EXPECT_EQ(message(), gpstext::kSent);
  EXPECT_EQ(progress.shown, std::vector<std::string>{gpstext::kUploadingWaypoints});
  EXPECT_EQ(progress.fractions, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
  EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();
  EXPECT_EQ(sim.announced(), 4);

  const auto up = sim.uploads();
  ASSERT_EQ(up.size(), 4u);
  const std::int32_t lat = DatumConverter::AngleToSemicircles(DmsAngle(35, 16, 12.5));
  for (std::size_t i = 0; i < up.size(); ++i) {
    SCOPED_TRACE(i);
    const Bytes& d = up[i].data;
    ASSERT_EQ(d.size(), 49 + kPoints[i].wantIdent);
    EXPECT_EQ(up[i].id, 35);
    EXPECT_EQ(d[4] | d[5] << 8, kPoints[i].wantSymbol);
    EXPECT_EQ(static_cast<std::int32_t>(d[24] | d[25] << 8 | d[26] << 16 | static_cast<std::uint32_t>(d[27]) << 24), lat);
    EXPECT_EQ(std::string(d.begin() + 48, d.end() - 1), kPoints[i].gpsName.substr(0, kPoints[i].wantIdent));
    EXPECT_EQ(d.back(), 0);
  }
  // Altitude narrowed to float, clamped where a float cannot hold it.
  float alt = 0;
  std::memcpy(&alt, up[0].data.data() + 32, 4);
  EXPECT_EQ(alt, 1234.5f);
  std::memcpy(&alt, up[2].data.data() + 32, 4);
  EXPECT_EQ(alt, FLT_MAX);
  // The frames carry the records with every DLE doubled (the simulator checks the stuffing).
  EXPECT_EQ(up[3].raw.size() - up[3].data.size(), 6u + 2u /*two DLE in the name*/ + 1u /*size*/);
  EXPECT_TRUE(hasFrame(sim.hostFrames(), raw({0x10, 0x0C, 0x02, 0x07, 0x00, 0xEB, 0x10, 0x03}))) << "complete";
}

TEST_F(GpsTransferTest, UploadAnnouncesLargeCounts) {
  CTrekData group;
  for (int i = 0; i < 300; ++i) {
    auto m = std::make_unique<CMarkerPoint>();
    m->gpsName = std::string("P").append(std::to_string(i));
    group.AppendWaypoint(std::move(m));
  }
  CReceiverSimulator sim;
  EXPECT_TRUE(run(sim, [&](const SGpsPort& p) { return UploadWaypoints(group, p, progress); }));
  EXPECT_TRUE(hasFrame(sim.hostFrames(), raw({0x10, 0x1B, 0x02, 0x2C, 0x01, 0xB6, 0x10, 0x03})));
  EXPECT_EQ(sim.uploads().size(), 300u);
  EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();
}

TEST_F(GpsTransferTest, UploadTrackLogsSavedThenActive) {
  CTrekData group;
  group.SetKind(CTrekData::kTrackLogGroup);
  auto addLog = [&](const std::string& gpsName, int points, bool active, std::int32_t display) {
    auto log = std::make_unique<CTrackLog>();
    log->gpsName = gpsName;
    log->name = "local name";
    log->display = display;
    log->color = 3;
    log->SetSendAsActiveLog(active ? 1 : 0);
    for (int i = 0; i < points; ++i) {
      CTrackPoint p;
      p.SetPosition(DmsAngle(35, 0, i), DmsAngle(138, 0, 0), Datum::Wgs84);
      p.SetTime(i == 0 ? TrekTime(-1) : TrekTime::FromReceiverSeconds(1000 + i));
      p.altitude = 100 + i;
      log->AppendPoint(p);
    }
    group.AppendTrackLog(std::move(log));
  };
  addLog("MORNING", 1, true, 1);
  addLog("ACTIVE LOG 002", 2, false, 0);
  addLog("AFTERNOON", 2, true, 1);
  addLog("MY ACTIVE LOG", 1, false, 1);
  CReceiverSimulator sim;
  EXPECT_TRUE(run(sim, [&](const SGpsPort& p) { return UploadTrackLogs(group, p, progress); }));
  EXPECT_EQ(message(), gpstext::kSent);
  EXPECT_EQ(progress.shown, std::vector<std::string>{gpstext::kUploadingTracks});
  EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();

  const auto up = sim.uploads();
  const struct {
    std::uint8_t id;
    Bytes start;  // leading bytes of the record
    int newTrack;  // track points: the new-track flag
  } kWant[] = {
      {99, raw({0, 255, 'A', 'C', 'T', 'V', ' ', 'L', 'O', 'G', ' ', '0', '0', '2', 0}), -1},
      {34, {}, 1}, {34, {}, 0},
      {99, raw({1, 255, 'M', 'Y', ' ', 'A', 'C', 'T', 'I', 'V', 'E', ' ', 'L', 'O', 'G', 0}), -1},
      {34, {}, 1},
      {99, raw({1, 255, 'A', 'C', 'T', 'I', 'V', 'E', ' ', 'L', 'O', 'G', 0}), -1},
      {34, {}, 1},                // MORNING
      {34, {}, 1}, {34, {}, 0},   // AFTERNOON
  };
  ASSERT_EQ(up.size(), std::size(kWant));
  // Every record that is sent is announced: the active logs share one header.
  EXPECT_EQ(sim.announced(), std::size(kWant));
  for (std::size_t i = 0; i < up.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(up[i].id, kWant[i].id);
    if (kWant[i].id == 99) {
      EXPECT_EQ(up[i].data, kWant[i].start);
    } else {
      ASSERT_EQ(up[i].data.size(), 21u);
      EXPECT_EQ(up[i].data[20], kWant[i].newTrack);
    }
  }
  // A point without time goes out as all bits set; the others count from the receiver's epoch.
  EXPECT_EQ(Bytes(up[1].data.begin() + 8, up[1].data.begin() + 12), raw({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(up[2].data.begin() + 8, up[2].data.begin() + 12), raw({0xE9, 0x03, 0, 0}));
  EXPECT_TRUE(hasFrame(sim.hostFrames(), raw({0x10, 0x0C, 0x02, 0x06, 0x00, 0xEC, 0x10, 0x03}))) << "complete";
  EXPECT_DOUBLE_EQ(progress.fractions.back(), 1.0);
}

TEST_F(GpsTransferTest, FaultsEndInTheRightMessageWithinTheTimeout) {
  enum EWhich { kDownWp, kDownTk, kUpWp, kUpTk };
  const std::vector<std::pair<char, std::uint16_t>> noD108{{'L', 1}, {'A', 10}, {'A', 100}, {'D', 110},
                                                          {'A', 301}, {'D', 310}};
  struct SCase {
    const char* name;
    EWhich which;
    EFault fault;
    int faultAt;
    const char* want;
    std::size_t keptItems;  // downloads: items in the group afterwards
    bool abort;             // a transfer-complete packet was sent to end early
    std::vector<std::pair<char, std::uint16_t>> caps = {};
    std::optional<std::uint16_t> announced = {};
    int cancelAfter = -1;
  };
  const SCase kCases[] = {
      {"no capability array", kDownWp, EFault::None, 0, gpstext::kFailed, 0, true, {{'-', 0}}},
      {"capabilities without D108 after A100", kDownWp, EFault::None, 0, gpstext::kUnsupported, 0, false, noD108},
      {"no D310 for tracks", kUpTk, EFault::None, 0, gpstext::kUnsupported, 0, false, {{'L', 1}, {'A', 10}, {'A', 301}}},
      {"NAK of the product request", kDownWp, EFault::Nak, 0, gpstext::kFailed, 0, true},
      {"NAK of the transfer command", kDownTk, EFault::Nak, 1, gpstext::kFailed, 0, true},
      {"NAK of the second waypoint", kUpWp, EFault::Nak, 3, gpstext::kFailed, 0, true},
      {"NAK of a track point", kUpTk, EFault::Nak, 3, gpstext::kFailed, 0, true},
      {"bad checksum on the product data", kUpWp, EFault::BadChecksum, 1, gpstext::kFailed, 0, true},
      {"bad checksum on the third waypoint", kDownWp, EFault::BadChecksum, 7, gpstext::kFailed, 2, true},
      {"silence inside the records packet", kDownWp, EFault::SilenceMidPacket, 4, gpstext::kFailed, 0, true},
      {"silence inside the second waypoint", kDownWp, EFault::SilenceMidPacket, 6, gpstext::kFailed, 1, true},
      {"silence inside the second track", kDownTk, EFault::SilenceMidPacket, 7, gpstext::kFailed, 1, true},
      {"silence instead of an upload ack", kUpTk, EFault::SilenceMidPacket, 5, gpstext::kFailed, 0, true},
      {"garbage for the product data", kDownTk, EFault::Garbage, 1, gpstext::kFailed, 0, true},
      {"garbage for the second waypoint", kDownWp, EFault::Garbage, 6, gpstext::kFailed, 1, true},
      {"endless DLE bytes after a waypoint", kDownWp, EFault::Endless, 6, gpstext::kFailed, 1, true},
      {"more records than announced", kDownWp, EFault::None, 0, gpstext::kFailed, 1, true, {}, 1},
      {"zero records", kDownWp, EFault::None, 0, gpstext::kReceived, 3, false, {}, 0},
      {"cancel during a waypoint download", kDownWp, EFault::None, 0, gpstext::kCancelled, 1, true, {}, {}, 1},
      {"cancel during a track download", kDownTk, EFault::None, 0, gpstext::kCancelled, 2, true, {}, {}, 3},
      {"cancel at the first upload", kUpWp, EFault::None, 0, gpstext::kCancelled, 0, true, {}, {}, 0},
      {"cancel during a track upload", kUpTk, EFault::None, 0, gpstext::kCancelled, 0, true, {}, {}, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    m_prompt.clear();
    progress = CRecordingProgress{};
    progress.cancelAfter = c.cancelAfter;
    SSimConfig cfg;
    cfg.fault = c.fault;
    cfg.faultAt = c.faultAt;
    if (!c.caps.empty()) cfg.capabilities = c.caps;
    if (c.caps.size() == 1 && c.caps[0].first == '-') cfg.capabilities.clear();
    cfg.announcedCount = c.announced;
    cfg.waypoints = threeWaypoints();
    cfg.tracks = {header(1, 255, "ACTIVE LOG"), point(1, 2, 3, 4, true), point(1, 2, 3, 4, true),
                  point(1, 2, 3, 4, false)};
    if (c.announced == 0) cfg.waypoints.clear();
    CReceiverSimulator sim(cfg);

    CTrekData group;
    if (c.which == kUpWp) {
      for (int i = 0; i < 3; ++i) group.AppendWaypoint(std::make_unique<CMarkerPoint>());
    }
    if (c.which == kUpTk) {
      auto log = std::make_unique<CTrackLog>();
      for (int i = 0; i < 3; ++i) log->AppendPoint(CTrackPoint());
      group.AppendTrackLog(std::move(log));
    }
    const bool ok = run(sim, [&](const SGpsPort& p) {
      switch (c.which) {
        case kDownWp: return DownloadWaypoints(group, p, progress);
        case kDownTk: return DownloadTrackLogs(group, p, progress);
        case kUpWp: return UploadWaypoints(group, p, progress);
        case kUpTk: return UploadTrackLogs(group, p, progress);
      }
      return false;
    });
    EXPECT_EQ(ok, std::string(c.want) == gpstext::kReceived || std::string(c.want) == gpstext::kSent);
    EXPECT_EQ(message(), c.want);
    const bool info = std::string(c.want) == gpstext::kCancelled || std::string(c.want) == gpstext::kReceived;
    EXPECT_EQ(icon(), info ? platform::EPromptIcon::Information : platform::EPromptIcon::Error);
    EXPECT_LT(m_elapsedMs, kHangMs);
    EXPECT_EQ(progress.hides, 1);
    if (c.which == kDownWp) {
      EXPECT_EQ(group.Waypoints().size(), c.announced == 0 ? 0 : c.keptItems);
    }
    if (c.which == kDownTk) {
      EXPECT_EQ(group.TrackLogs().size(), c.keptItems);
    }
    EXPECT_EQ(sim.abortSeen(), c.abort);
    if (c.abort) {
      const std::uint8_t command = (c.which == kDownWp || c.which == kUpWp) ? 7 : 6;
      EXPECT_EQ(sim.hostFrames().back().data, (Bytes{command, 0}));
    }
    const bool faulty = c.fault != EFault::None || c.caps.size() == 1;
    if (!faulty) {
      EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();
    }
  }
}

TEST_F(GpsTransferTest, OpenFailureSendsNothingAndShowsNoWindow) {
  CTrekData group;
  m_profile.writeString("SerialPorts", "COM3", "/nonexistent/ttyUSB9");
  EXPECT_FALSE(DownloadWaypoints(group, SGpsPort(3), progress));
  EXPECT_FALSE(UploadTrackLogs(group, SGpsPort("/dev/null"), progress));
  EXPECT_EQ(m_prompt.texts(), (std::vector<std::string>{gpstext::kOpenFailed, gpstext::kOpenFailed}));
  EXPECT_EQ(m_prompt.requests().front().icon, platform::EPromptIcon::Error);
  EXPECT_EQ(m_prompt.requests().front().caption, "Vantoria");
  EXPECT_TRUE(progress.shown.empty());
  EXPECT_EQ(progress.hides, 0);

  // A port another holder has open is refused the same way.
  CReceiverSimulator sim;
  GpsLink holder;
  ASSERT_TRUE(holder.OpenDevice(sim.devicePath()));
  EXPECT_FALSE(DownloadTrackLogs(group, SGpsPort(sim.devicePath()), progress));
  EXPECT_EQ(m_prompt.texts().back(), gpstext::kOpenFailed);
  EXPECT_TRUE(sim.hostFrames().empty());
}

TEST_F(GpsTransferTest, ProgressWindowShowsPercentAndItsButtonCancels) {
  CDlgGpsProgress dlg;
  dlg.Show(gpstext::kDownloadingWaypoints);
  EXPECT_EQ(dlg.windowTitle(), "Vantoria");
  EXPECT_EQ(dlg.findChild<QLabel*>("activityLabel")->text(), QString::fromUtf8(gpstext::kDownloadingWaypoints));
  auto* bar = dlg.findChild<QProgressBar*>("progressBar");
  auto* percent = dlg.findChild<QLabel*>("percentLabel");
  auto* button = dlg.findChild<QPushButton*>("cancelButton");
  EXPECT_EQ(button->text(), "中止");
  const struct {
    double fraction;
    int value;
  } kSteps[] = {{0.0, 0}, {1.0 / 3.0, 33}, {0.999, 99}, {1.0, 100}, {1.5, 100}, {-0.2, 0}};
  for (const auto& s : kSteps) {
    SCOPED_TRACE(s.fraction);
    EXPECT_TRUE(dlg.Update(s.fraction));
    EXPECT_EQ(bar->value(), s.value);
    EXPECT_EQ(percent->text(), QString::number(s.value) + " %");
  }
  dlg.Hide();
  EXPECT_FALSE(dlg.isVisible());

  // End to end: the button is pressed while the transfer runs; one round of events between
  // packets lets the press through and the download stops with the cancel message.
  SSimConfig cfg;
  cfg.waypoints = threeWaypoints();
  CReceiverSimulator sim(cfg);
  m_profile.writeString("SerialPorts", "COM1", sim.devicePath());
  QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
  CTrekData group;
  EXPECT_FALSE(DownloadWaypoints(group, SGpsPort(1), dlg));
  EXPECT_EQ(m_prompt.texts().back(), gpstext::kCancelled);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_TRUE(dlg.CancelRequested());
  sim.stop();
  EXPECT_TRUE(sim.abortSeen());
}
