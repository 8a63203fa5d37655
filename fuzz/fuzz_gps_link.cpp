// libFuzzer target: the receiver link's frame reader and record decoders on arbitrary bytes.
// The bytes are read as a stream of frames, once from memory and once through a link whose
// port hands them out (the product request first, as every transfer starts). Every packet read
// is framed again and must read back the same; every record decoded is encoded again and must
// agree with the bytes it came from wherever the record's layout is fixed.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "geodesy/DatumConverter.h"
#include "gps/GpsLink.h"
#include "gps/GpsPacket.h"
#include "gps/GpsRecords.h"
#include "gps/GpsTransfer.h"
#include "trek/TrekTime.h"

namespace {

using Span = std::span<const std::uint8_t>;

/// The most bytes one frame may take: DLE, a stuffed id and size, 255 stuffed data bytes, a
/// stuffed checksum, DLE, ETX, with room for a doubled trailer DLE.
constexpr std::size_t kMaxFrameBytes = 5 + 2 * 258;

void require(bool condition) {
  if (!condition) std::abort();
}

bool sameBytes(Span a, std::size_t aAt, Span b, std::size_t bAt, std::size_t n) {
  return std::memcmp(a.data() + aAt, b.data() + bAt, n) == 0;
}

bool sameFloat(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

/// What a download does with the fields, so a value no receiver sends cannot misbehave there.
void convertPosition(std::int32_t latitude, std::int32_t longitude) {
  const DmsAngle lat = DatumConverter::SemicirclesToAngle(latitude);
  const DmsAngle lon = DatumConverter::SemicirclesToAngle(longitude);
  (void)DatumConverter::AngleToSemicircles(lat);
  (void)DatumConverter::AngleToSemicircles(lon);
}

void checkWaypoint(Span data) {
  const auto r = gps::decodeWaypoint(data);
  require(r.has_value() == (data.size() >= gps::kWaypointFixedSize));
  if (!r) return;
  require(r->ident.find('\0') == std::string::npos);
  const std::vector<std::uint8_t> out = gps::encodeWaypoint(*r);
  require(out.size() >= gps::kWaypointFixedSize + 1 && out.size() <= gps::kMaxPacketData);
  require(sameBytes(out, 4, data, 4, 2));    // symbol
  require(sameBytes(out, 24, data, 24, 12));  // latitude, longitude, altitude
  const auto again = gps::decodeWaypoint(out);
  require(again.has_value());
  require(again->symbol == r->symbol && again->latitude == r->latitude && again->longitude == r->longitude);
  require(sameFloat(again->altitude, r->altitude));
  require(again->ident == gps::truncateIdent(r->ident, gps::kMaxWaypointIdent));
  convertPosition(r->latitude, r->longitude);
  (void)static_cast<double>(r->altitude);
}

void checkTrackHeader(Span data) {
  const auto r = gps::decodeTrackHeader(data);
  require(r.has_value() == (data.size() >= 2));
  if (!r) return;
  const std::vector<std::uint8_t> out = gps::encodeTrackHeader(*r);
  require(out.size() <= gps::kMaxPacketData);
  require(sameBytes(out, 0, data, 0, 2));  // display, colour
  const auto again = gps::decodeTrackHeader(out);
  require(again.has_value());
  require(again->display == r->display && again->color == r->color);
  require(again->ident == gps::truncateIdent(r->ident, gps::kMaxTrackIdent));
}

void checkTrackPoint(Span data) {
  const auto r = gps::decodeTrackPoint(data);
  require(r.has_value() == (data.size() >= gps::kTrackPointSize));
  if (!r) return;
  const std::vector<std::uint8_t> out = gps::encodeTrackPoint(*r);
  require(out.size() == gps::kTrackPointSize);
  require(sameBytes(out, 0, data, 0, 16));  // latitude, longitude, time, altitude
  require(out[20] == (data[20] != 0 ? 1 : 0));
  const auto again = gps::decodeTrackPoint(out);
  require(again.has_value());
  require(again->latitude == r->latitude && again->longitude == r->longitude && again->time == r->time);
  require(sameFloat(again->altitude, r->altitude) && again->newTrack == r->newTrack);
  convertPosition(r->latitude, r->longitude);
  (void)TrekTime::FromReceiverSeconds(static_cast<std::int32_t>(r->time));
}

void checkRecords(Span data) {
  checkWaypoint(data);
  checkTrackHeader(data);
  checkTrackPoint(data);
}

/// A packet that was read: framed again it reads back the same, and its records re-encode.
void checkPacket(const gps::SPacket& packet) {
  require(packet.data.size() <= gps::kMaxPacketData);
  const std::vector<std::uint8_t> wire = gps::encodeFrame(packet.id, packet.data);
  const gps::SDecoded again = gps::decodeFrame(wire);
  require(again.error == gps::EFrameError::None);
  require(again.consumed == wire.size());
  require(again.packet.id == packet.id && again.packet.data == packet.data);
  checkRecords(packet.data);
}

/// The input as a byte stream: hands out what is left, accepts every write.
class CMemoryPort : public platform::ISerialPort {
 public:
  explicit CMemoryPort(Span bytes) : m_bytes(bytes) {}
  bool open(const std::string&, const platform::SSerialLine&, const platform::SSerialTimeouts&) override {
    return m_open = true;
  }
  void close() override { m_open = false; }
  bool isOpen() const override { return m_open; }
  std::size_t read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, m_bytes.size() - m_pos);
    if (n > 0) std::memcpy(buffer, m_bytes.data() + m_pos, n);
    m_pos += n;
    return n;
  }
  std::size_t write(const std::uint8_t*, std::size_t size) override { return size; }
  bool bytesWaiting() const override { return m_pos < m_bytes.size(); }
  std::size_t position() const { return m_pos; }

 private:
  Span m_bytes;
  std::size_t m_pos = 0;
  bool m_open = false;
};

void readThroughLink(Span bytes) {
  auto owned = std::make_unique<CMemoryPort>(bytes);
  CMemoryPort& port = *owned;
  GpsLink link(std::move(owned));
  require(link.OpenDevice("fuzz"));

  const auto product = RequestProduct(link);
  if (product) {
    // The capability list is the last packet read: three bytes an entry, nothing left over.
    const auto& caps = link.PacketData();
    require(caps.size() == 3 * product->capabilities.size());
    for (std::size_t i = 0; i < product->capabilities.size(); ++i) {
      const SGpsCapability& c = product->capabilities[i];
      require(static_cast<std::uint8_t>(c.tag) == caps[3 * i]);
      require((c.number & 0xFF) == caps[3 * i + 1] && (c.number >> 8) == caps[3 * i + 2]);
    }
    for (const std::string& text : product->descriptions) require(text.find('\0') == std::string::npos);
    (void)Supports(product->capabilities, 'A', 100, 108);
    (void)Supports(product->capabilities, 'A', 301, 310);
  }
  for (;;) {
    const std::size_t before = port.position();
    const bool ok = link.ReceivePacket();
    require(port.position() - before <= kMaxFrameBytes);
    if (ok) {
      checkPacket({link.PacketId(), link.PacketData()});
    } else {
      require(link.PacketData().empty());
      // A failed read has taken at least one byte, so the stream ends.
      if (link.LastError() == gps::EFrameError::Timeout) break;
      require(port.position() > before);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Span bytes(data, size);
  checkRecords(bytes);

  for (std::size_t pos = 0; pos < bytes.size();) {
    const gps::SDecoded d = gps::decodeFrame(bytes.subspan(pos));
    require(d.consumed <= bytes.size() - pos && d.consumed <= kMaxFrameBytes);
    if (d.error == gps::EFrameError::None) checkPacket(d.packet);
    pos += std::max<std::size_t>(d.consumed, 1);
  }

  readThroughLink(bytes);
  return 0;
}
