// Framing, record layouts, the termios port and the link over a pseudo-terminal.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CReceiverSimulator.h"
#include "gps/GpsLink.h"
#include "gps/GpsPacket.h"
#include "gps/GpsRecords.h"
#include "platform/CSerialPort.h"
#include "platform/IProfileStore.h"

using Bytes = std::vector<std::uint8_t>;

namespace {

/// Long enough that the simulator always answers in time on a busy machine, short enough that
/// the cases which end by a time-out stay quick.
constexpr platform::SSerialTimeouts kFast{1000, 1};
/// Bound of a step that must not wait for a time-out: only a hang or a wait of the wrong
/// time-out comes near it, never a busy or sanitized run.
constexpr int kHangMs = 20000;

long msSince(std::chrono::steady_clock::time_point t0) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
}

/// Installs a profile and the fast time-outs for one test.
struct SLinkEnv {
  platform::CMemoryProfile profile;
  platform::SSerialTimeouts saved = GpsLink::DefaultTimeouts();
  SLinkEnv() {
    platform::setProfile(&profile);
    GpsLink::SetDefaultTimeouts(kFast);
  }
  ~SLinkEnv() {
    GpsLink::SetDefaultTimeouts(saved);
    platform::setProfile(nullptr);
  }
};

/// A byte stream from memory: reads hand out the script, writes are kept.
class CScriptPort : public platform::ISerialPort {
 public:
  explicit CScriptPort(Bytes in, Bytes* written = nullptr) : m_in(std::move(in)), m_written(written) {}
  bool open(const std::string&, const platform::SSerialLine&, const platform::SSerialTimeouts&) override {
    return m_open = true;
  }
  void close() override { m_open = false; }
  bool isOpen() const override { return m_open; }
  std::size_t read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, m_in.size() - m_pos);
    if (n > 0) std::memcpy(buffer, m_in.data() + m_pos, n);
    m_pos += n;
    return n;
  }
  std::size_t write(const std::uint8_t* buffer, std::size_t size) override {
    if (m_written) m_written->insert(m_written->end(), buffer, buffer + size);
    return size;
  }
  bool bytesWaiting() const override { return m_pos < m_in.size(); }

 private:
  Bytes m_in;
  std::size_t m_pos = 0;
  Bytes* m_written;
  bool m_open = false;
};

/// The real port, counting the reads that came back short: each one waited out a time-out.
class CTimeoutCountingPort : public platform::CSerialPort {
 public:
  std::size_t read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t got = platform::CSerialPort::read(buffer, size);
    if (got < size) ++timeouts;
    return got;
  }
  int timeouts = 0;
};

}  // namespace

TEST(GpsPacket, EncodesCommandPacketsByteExact) {
  const struct {
    const char* name;
    std::uint8_t id;
    Bytes data;
    Bytes wire;
  } kCases[] = {
      {"ack of a waypoint", 6, {0x23, 0x00}, {0x10, 0x06, 0x02, 0x23, 0x00, 0xD5, 0x10, 0x03}},
      {"transfer waypoints", 10, {0x07, 0x00}, {0x10, 0x0A, 0x02, 0x07, 0x00, 0xED, 0x10, 0x03}},
      {"product request", 254, {0x00, 0x00}, {0x10, 0xFE, 0x02, 0x00, 0x00, 0x00, 0x10, 0x03}},
      {"complete after waypoints", 12, {0x07, 0x00}, {0x10, 0x0C, 0x02, 0x07, 0x00, 0xEB, 0x10, 0x03}},
      {"DLE in the data is doubled", 6, {0x10, 0x00}, {0x10, 0x06, 0x02, 0x10, 0x10, 0x00, 0xE8, 0x10, 0x03}},
      {"DLE as checksum is doubled", 6, {0xE8, 0x00}, {0x10, 0x06, 0x02, 0xE8, 0x00, 0x10, 0x10, 0x10, 0x03}},
      {"DLE as id is doubled", 0x10, {}, {0x10, 0x10, 0x10, 0x00, 0xF0, 0x10, 0x03}},
      {"empty packet", 12, {}, {0x10, 0x0C, 0x00, 0xF4, 0x10, 0x03}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(gps::encodeFrame(c.id, c.data), c.wire);
    // The simulator's own encoder agrees, so it can judge what the program sends.
    EXPECT_EQ(gpstest::CReceiverSimulator::frame(c.id, c.data), c.wire);
  }
}

TEST(GpsPacket, SizeByteOfDleIsStuffedBothWays) {
  const Bytes data(16, 0x41);
  const Bytes wire = gps::encodeFrame(34, data);
  ASSERT_GE(wire.size(), 4u);
  EXPECT_EQ((Bytes{wire.begin(), wire.begin() + 4}), (Bytes{0x10, 34, 0x10, 0x10}));
  const auto d = gps::decodeFrame(wire);
  EXPECT_EQ(d.error, gps::EFrameError::None);
  EXPECT_EQ(d.packet.id, 34);
  EXPECT_EQ(d.packet.data, data);
  EXPECT_EQ(d.consumed, wire.size());
}

TEST(GpsPacket, DecodesAndRejects) {
  const struct {
    const char* name;
    Bytes in;
    gps::EFrameError want;
    Bytes data;
  } kCases[] = {
      {"ack", {0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03}, gps::EFrameError::None, {0x0A, 0x00}},
      {"stuffed data byte", {0x10, 0x06, 0x02, 0x10, 0x10, 0x00, 0xE8, 0x10, 0x03}, gps::EFrameError::None, {0x10, 0x00}},
      {"stuffed checksum", {0x10, 0x06, 0x02, 0xE8, 0x00, 0x10, 0x10, 0x10, 0x03}, gps::EFrameError::None, {0xE8, 0x00}},
      {"bad checksum", {0x10, 0x06, 0x02, 0x0A, 0x00, 0xEF, 0x10, 0x03}, gps::EFrameError::BadChecksum, {}},
      {"no leading DLE", {0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03, 0x00}, gps::EFrameError::NoLeadingDle, {}},
      {"size DLE not doubled", {0x10, 0x06, 0x10, 0x00}, gps::EFrameError::BadSize, {}},
      {"ETX missing", {0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x04}, gps::EFrameError::BadTrailer, {}},
      {"trailer DLE missing", {0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x11, 0x03}, gps::EFrameError::BadTrailer, {}},
      {"DLE pair past the end", {0x10, 0x06, 0x00, 0xFA, 0x10, 0x10, 0x10, 0x03}, gps::EFrameError::Overrun, {}},
      {"doubled trailer DLE is taken", {0x10, 0x06, 0x00, 0xFA, 0x10, 0x10, 0x03}, gps::EFrameError::None, {}},
      {"stuffed id", {0x10, 0x10, 0x10, 0x01, 0x07, 0xE8, 0x10, 0x03}, gps::EFrameError::None, {0x07}},
      {"id DLE not doubled", {0x10, 0x10, 0x01, 0x07, 0xE8, 0x10, 0x03}, gps::EFrameError::BadSize, {}},
      {"DLE with a stranger overruns", {0x10, 0x06, 0x00, 0xFA, 0x03, 0x10, 0x05}, gps::EFrameError::Overrun, {}},
      {"stops mid-packet", {0x10, 0x06, 0x02, 0x0A}, gps::EFrameError::Timeout, {}},
      {"stops after a DLE", {0x10, 0x06, 0x02, 0x10}, gps::EFrameError::Timeout, {}},
      {"nothing", {}, gps::EFrameError::Timeout, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto d = gps::decodeFrame(c.in);
    EXPECT_EQ(d.error, c.want);
    if (c.want == gps::EFrameError::None) {
      EXPECT_EQ(d.packet.data, c.data);
    }
    EXPECT_LE(d.consumed, c.in.size());
  }
}

TEST(GpsPacket, EveryPacketRoundTripsAndEndlessDleIsBounded) {
  // All ids and sizes with DLE-heavy contents survive the trip; a stream of nothing but DLE
  // bytes is refused after a bounded read.
  for (int size : {0, 1, 2, 15, 16, 17, 200, 255}) {
    for (int id : {6, 0x10, 35, 255}) {
      Bytes data(static_cast<std::size_t>(size));
      for (std::size_t i = 0; i < data.size(); ++i) data[i] = (i % 3 == 0) ? 0x10 : static_cast<std::uint8_t>(i);
      const auto d = gps::decodeFrame(gps::encodeFrame(static_cast<std::uint8_t>(id), data));
      ASSERT_EQ(d.error, gps::EFrameError::None) << size << " " << id;
      EXPECT_EQ(d.packet.data, data);
    }
  }
  const Bytes flood(100000, 0x10);
  const auto d = gps::decodeFrame(flood);
  EXPECT_NE(d.error, gps::EFrameError::None);
  EXPECT_LE(d.consumed, 5u + 2u * 258u);
  // Data beyond one packet cannot be framed: it is cut, never wrapped into a wrong size byte.
  const auto big = gps::decodeFrame(gps::encodeFrame(35, Bytes(300, 1)));
  EXPECT_EQ(big.packet.data.size(), 255u);
}

TEST(GpsRecords, WaypointLayout) {
  gps::SWaypointRecord r;
  r.symbol = 18;
  r.latitude = 0x10203040;
  r.longitude = -2;
  r.altitude = 1.5f;
  r.ident = "PEAK";
  const Bytes b = gps::encodeWaypoint(r);
  ASSERT_EQ(b.size(), 49u + 4u);
  const Bytes head{0, 255, 0, 0x60, 18, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 12), head);
  EXPECT_EQ(Bytes(b.begin() + 12, b.begin() + 24), Bytes(12, 0xFF));
  EXPECT_EQ(Bytes(b.begin() + 24, b.begin() + 32), (Bytes{0x40, 0x30, 0x20, 0x10, 0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(b.begin() + 32, b.begin() + 36), (Bytes{0x00, 0x00, 0xC0, 0x3F}));
  EXPECT_EQ(Bytes(b.begin() + 36, b.begin() + 44), Bytes(8, 0));
  EXPECT_EQ(Bytes(b.begin() + 44, b.end()), (Bytes{' ', ' ', ' ', ' ', 'P', 'E', 'A', 'K', 0}));

  const auto back = gps::decodeWaypoint(b);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->symbol, 18);
  EXPECT_EQ(back->latitude, r.latitude);
  EXPECT_EQ(back->longitude, r.longitude);
  EXPECT_EQ(back->altitude, 1.5f);
  EXPECT_EQ(back->ident, "PEAK");
}

TEST(GpsRecords, DecodingToleratesShortAndOddRecords) {
  Bytes wp = gps::encodeWaypoint({8, 1, 2, 0.0f, "A"});
  const struct {
    const char* name;
    Bytes data;
    bool ok;
    std::string ident;
  } kCases[] = {
      {"too short for the fixed part", Bytes(47, 0), false, ""},
      {"fixed part only", Bytes(48, 0), true, ""},
      {"unterminated identifier", [] { Bytes b(48, 0); b.push_back('X'); b.push_back('Y'); return b; }(), true, "XY"},
      {"comment after the identifier", [&] { Bytes b = wp; b.push_back('C'); b.push_back(0); return b; }(), true, "A"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto r = gps::decodeWaypoint(c.data);
    ASSERT_EQ(r.has_value(), c.ok);
    if (r) {
      EXPECT_EQ(r->ident, c.ident);
    }
  }
  EXPECT_FALSE(gps::decodeTrackPoint(Bytes(20, 0)));
  EXPECT_FALSE(gps::decodeTrackHeader(Bytes(1, 0)));
  const auto h = gps::decodeTrackHeader(Bytes{0, 7});
  ASSERT_TRUE(h);
  EXPECT_EQ(h->color, 7);
  EXPECT_EQ(h->ident, "");
}

TEST(GpsRecords, TrackLayouts) {
  const Bytes h = gps::encodeTrackHeader({1, 255, "ACTIVE LOG"});
  EXPECT_EQ(h, (Bytes{1, 255, 'A', 'C', 'T', 'I', 'V', 'E', ' ', 'L', 'O', 'G', 0}));
  gps::STrackPointRecord p{0x01020304, 0x10101010, gps::kNoTime, 2.0f, true};
  const Bytes b = gps::encodeTrackPoint(p);
  EXPECT_EQ(b, (Bytes{4, 3, 2, 1, 0x10, 0x10, 0x10, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x40, 0, 0, 0, 0, 1}));
  const auto back = gps::decodeTrackPoint(b);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->time, gps::kNoTime);
  EXPECT_TRUE(back->newTrack);
  EXPECT_EQ(back->longitude, 0x10101010);
}

TEST(GpsRecords, LongIdentifiersAreCutToFit) {
  const std::string kanji = "\x8E\x52";  // one two-byte character
  const struct {
    const char* name;
    std::string ident;
    std::size_t limit;
    std::size_t want;
  } kCases[] = {
      {"short name", "ABC", 206, 3},
      {"exactly the limit", std::string(206, 'A'), 206, 206},
      {"one byte over", std::string(207, 'A'), 206, 206},
      {"two-byte character across the limit", std::string(205, 'A') + kanji, 206, 205},
      {"all two-byte", [&] { std::string s; for (int i = 0; i < 200; ++i) s += kanji; return s; }(), 252, 252},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(gps::truncateIdent(c.ident, c.limit).size(), c.want);
  }
  // The records stay within one packet.
  EXPECT_EQ(gps::encodeWaypoint({18, 0, 0, 0.0f, std::string(400, 'W')}).size(), 255u);
  EXPECT_EQ(gps::encodeTrackHeader({1, 255, std::string(400, 'T')}).size(), 255u);
}

TEST(GpsLinkScript, ExpectAckChecksIdSizeAndValue) {
  const struct {
    const char* name;
    Bytes wire;
    bool ok;
  } kCases[] = {
      {"right ack", gps::encodeFrame(6, Bytes{35, 0}), true},
      {"ack of another id", gps::encodeFrame(6, Bytes{34, 0}), false},
      {"high byte set", gps::encodeFrame(6, Bytes{35, 1}), false},
      {"one byte ack", gps::encodeFrame(6, Bytes{35}), false},
      {"four byte ack", gps::encodeFrame(6, Bytes{35, 0, 0, 0}), false},
      {"negative acknowledgement", gps::encodeFrame(21, Bytes{35, 0}), false},
      {"garbage", Bytes{0x55, 0xAA, 0x10}, false},
      {"nothing", Bytes{}, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    GpsLink link(std::make_unique<CScriptPort>(c.wire));
    ASSERT_TRUE(link.OpenDevice("script"));
    EXPECT_EQ(link.ExpectAck(35), c.ok);
  }
}

TEST(GpsLinkScript, SendsCommandAndDataPackets) {
  Bytes written;
  GpsLink link(std::make_unique<CScriptPort>(Bytes{}, &written));
  link.SendAck(35);  // not open: nothing goes out
  EXPECT_TRUE(written.empty());
  ASSERT_TRUE(link.OpenDevice("script"));
  EXPECT_TRUE(link.SendAck(35));
  EXPECT_TRUE(link.SendCommandPacket(10, 7, 0));
  link.SendPacket(27, Bytes{0x2C, 0x01});
  EXPECT_EQ(written, (Bytes{0x10, 0x06, 0x02, 0x23, 0x00, 0xD5, 0x10, 0x03,  //
                            0x10, 0x0A, 0x02, 0x07, 0x00, 0xED, 0x10, 0x03,  //
                            0x10, 0x1B, 0x02, 0x2C, 0x01, 0xB6, 0x10, 0x03}));
}

TEST(SerialPort, ConfiguresTheLineAndHoldsItExclusively) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  platform::CSerialPort port;
  ASSERT_TRUE(port.open(name, {9600, 8, 0, 0}, kFast));
  termios t{};
  ASSERT_EQ(::tcgetattr(slave, &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), speed_t{B9600});
  EXPECT_EQ(::cfgetispeed(&t), speed_t{B9600});
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  int excl = 0;
  ASSERT_EQ(::ioctl(slave, TIOCGEXCL, &excl), 0);
  EXPECT_EQ(excl, 1);

  // Another holder cannot open it; once closed it can.
  platform::CSerialPort other;
  EXPECT_FALSE(other.open(name, {9600, 8, 0, 0}, kFast));
  port.close();
  ASSERT_EQ(::ioctl(slave, TIOCGEXCL, &excl), 0);
  EXPECT_EQ(excl, 0);
  EXPECT_TRUE(other.open(name, {4800, 8, 0, 0}, kFast));
  other.close();
  EXPECT_FALSE(other.open(name, {12345, 8, 0, 0}, kFast)) << "a speed the line cannot do";
  EXPECT_FALSE(other.open("/nonexistent/tty", {9600, 8, 0, 0}, kFast));
  EXPECT_FALSE(other.open("/dev/null", {9600, 8, 0, 0}, kFast)) << "not a terminal";
  EXPECT_EQ(gpstest::openDescriptorsOf(name, slave), 0);
  ::close(master);
  ::close(slave);
}

TEST(SerialPort, ReadsWithTimeouts) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  platform::CSerialPort port;
  ASSERT_TRUE(port.open(name, {9600, 8, 0, 0}, {150, 1}));
  EXPECT_FALSE(port.bytesWaiting());
  const std::uint8_t out[3] = {1, 0x10, 3};
  ASSERT_EQ(::write(master, out, 3), 3);
  std::uint8_t in[8] = {};
  for (int i = 0; i < 100 && !port.bytesWaiting(); ++i) ::usleep(1000);
  EXPECT_TRUE(port.bytesWaiting());
  EXPECT_EQ(port.read(in, 3), 3u);
  EXPECT_EQ(in[1], 0x10);

  // Asking for more than arrives returns what came, after the time-out (150 + 8 ms). A busy
  // machine can only make the wait longer, so the wait is bounded from below.
  ASSERT_EQ(::write(master, out, 2), 2);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.read(in, 8), 2u);
  EXPECT_GE(msSince(t0), 140);

  EXPECT_EQ(port.write(out, 3), 3u);
  EXPECT_EQ(::read(master, in, 8), 3);
  port.close();
  ::close(master);
  ::close(slave);
}

TEST(SerialPort, ReadEndsAtOnceWhenTheFarEndHangsUp) {
  // With a time-out far beyond the bound, a read that waited it out instead of seeing the
  // hang-up cannot pass, however slow the machine.
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  platform::CSerialPort port;
  ASSERT_TRUE(port.open(name, {9600, 8, 0, 0}, {3 * kHangMs, 0}));
  ::close(master);
  std::uint8_t in[8] = {};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.read(in, 4), 0u);
  EXPECT_LT(msSince(t0), kHangMs);
  port.close();
  ::close(slave);
}

TEST(GpsLinkPty, PortNamesMapThroughTheProfile) {
  SLinkEnv env;
  gpstest::CReceiverSimulator sim;
  EXPECT_EQ(platform::serialDevicePath(1), "/dev/ttyUSB0");
  EXPECT_EQ(platform::serialDevicePath(4), "/dev/ttyUSB3");
  EXPECT_EQ(platform::serialDevicePath(5), "");
  env.profile.writeString("SerialPorts", "COM1", sim.devicePath());
  env.profile.writeString("SerialPorts", "COM2", "/nonexistent/tty");
  env.profile.writeString("SerialPorts", "COM3", sim.devicePath());
  env.profile.writeString("SerialPorts", "COM4", "/nonexistent/tty4");

  const struct {
    int asked;
    int opened;
  } kCases[] = {{0, 1}, {5, 1}, {-3, 1}, {1, 1}, {3, 3}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.asked);
    GpsLink link;
    link.SetLineParameters(9600, 8, 0, 0);
    ASSERT_TRUE(link.Open(c.asked));
    EXPECT_EQ(link.PortNumber(), c.opened);
    GpsLink second;
    EXPECT_FALSE(second.Open(c.opened)) << "held by the first link";
  }
  GpsLink failing;
  EXPECT_FALSE(failing.Open(2));

  GpsLink scan;
  EXPECT_EQ(scan.ScanPorts(), 2);
  EXPECT_EQ(scan.FirstAvailablePort(), 1);
  EXPECT_TRUE(scan.IsPortAvailable(1));
  EXPECT_FALSE(scan.IsPortAvailable(2));
  EXPECT_TRUE(scan.IsPortAvailable(3));
  EXPECT_FALSE(scan.IsPortAvailable(4));
  EXPECT_FALSE(scan.IsOpen());
  EXPECT_EQ(gpstest::openDescriptorsOf(sim.devicePath(), sim.slaveFd()), 0);

  // A new link starts at 38400 baud; the line speed is fixed while open.
  GpsLink held;
  ASSERT_TRUE(held.OpenDevice(sim.devicePath()));
  termios t{};
  ASSERT_EQ(::tcgetattr(sim.slaveFd(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), speed_t{B38400});
  held.SetLineParameters(9600, 8, 0, 0);
  held.Close();
  ASSERT_TRUE(held.OpenDevice(sim.devicePath()));
  ASSERT_EQ(::tcgetattr(sim.slaveFd(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), speed_t{B38400});
}

TEST(GpsLinkPty, ReceivesFromTheSimulatorAndFailsWithinTheTimeout) {
  SLinkEnv env;
  const struct {
    const char* name;
    gpstest::EFault fault;
    bool ok;
  } kCases[] = {
      {"clean", gpstest::EFault::None, true},
      {"silence mid-packet", gpstest::EFault::SilenceMidPacket, false},
      {"bad checksum", gpstest::EFault::BadChecksum, false},
      {"garbage", gpstest::EFault::Garbage, false},
      {"endless DLE", gpstest::EFault::Endless, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    gpstest::SSimConfig cfg;
    cfg.fault = c.fault;
    cfg.faultAt = 1;  // the product data, after the acknowledgement
    gpstest::CReceiverSimulator sim(cfg);
    auto owned = std::make_unique<CTimeoutCountingPort>();
    const CTimeoutCountingPort& port = *owned;
    GpsLink link(std::move(owned));
    link.SetLineParameters(9600, 8, 0, 0);
    ASSERT_TRUE(link.OpenDevice(sim.devicePath()));
    ASSERT_TRUE(link.SendCommandPacket(254, 0, 0));
    ASSERT_TRUE(link.ExpectAck(254));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(link.ReceivePacket(), c.ok);
    EXPECT_LT(msSince(t0), kHangMs);
    // The read gives up at the first time-out: one wait for a silent line, none otherwise.
    EXPECT_EQ(port.timeouts, c.fault == gpstest::EFault::SilenceMidPacket ? 1 : 0);
    if (c.ok) {
      EXPECT_EQ(link.PacketId(), 255);
      ASSERT_GE(link.PacketData().size(), 4u);
      EXPECT_EQ(link.PacketData()[0], 0x04);
    } else {
      EXPECT_TRUE(link.PacketData().empty());
    }
    link.Close();
    sim.stop();
    EXPECT_TRUE(sim.problems().empty()) << sim.problems().front();
  }
}
