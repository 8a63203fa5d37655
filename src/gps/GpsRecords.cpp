#include "gps/GpsRecords.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/Codepage.h"

namespace gps {

namespace {

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}
void putFloat(std::vector<std::uint8_t>& out, float f) { putU32(out, std::bit_cast<std::uint32_t>(f)); }

std::uint32_t getU32(std::span<const std::uint8_t> d, std::size_t at) {
  return std::uint32_t{d[at]} | std::uint32_t{d[at + 1]} << 8 | std::uint32_t{d[at + 2]} << 16 |
         std::uint32_t{d[at + 3]} << 24;
}
std::uint16_t getU16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}
float getFloat(std::span<const std::uint8_t> d, std::size_t at) { return std::bit_cast<float>(getU32(d, at)); }

std::string firstString(std::span<const std::uint8_t> d, std::size_t from) {
  if (from >= d.size()) return {};
  const auto begin = d.begin() + static_cast<std::ptrdiff_t>(from);
  const auto end = std::find(begin, d.end(), std::uint8_t{0});
  return std::string(begin, end);
}

void putIdent(std::vector<std::uint8_t>& out, const std::string& ident, std::size_t maxBytes) {
  const std::string cut = truncateIdent(ident, maxBytes);
  // A zero byte inside would end the identifier on the receiver; stop there already.
  const std::size_t n = std::min(cut.size(), cut.find('\0'));
  out.insert(out.end(), cut.begin(), cut.begin() + static_cast<std::ptrdiff_t>(n));
  out.push_back(0);
}

}  // namespace

std::string truncateIdent(const std::string& text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t step = platform::cp932::isLeadByte(static_cast<std::uint8_t>(text[end])) ? 2 : 1;
    if (end + step > maxBytes) break;
    end += step;
  }
  return text.substr(0, end);
}

std::vector<std::uint8_t> encodeWaypoint(const SWaypointRecord& r) {
  std::vector<std::uint8_t> out;
  out.reserve(kWaypointFixedSize + r.ident.size() + 1);
  out.push_back(0);     // class: user waypoint
  out.push_back(255);   // colour: the receiver's default
  out.push_back(0);     // display option
  out.push_back(0x60);  // attributes
  putU16(out, r.symbol);
  out.insert(out.end(), 6, 0x00);  // subclass
  out.insert(out.end(), 12, 0xFF);
  putU32(out, static_cast<std::uint32_t>(r.latitude));
  putU32(out, static_cast<std::uint32_t>(r.longitude));
  putFloat(out, r.altitude);
  putFloat(out, 0.0f);  // depth
  putFloat(out, 0.0f);  // proximity
  out.insert(out.end(), 4, ' ');  // state and country codes
  putIdent(out, r.ident, kMaxWaypointIdent);
  return out;
}

std::optional<SWaypointRecord> decodeWaypoint(std::span<const std::uint8_t> d) {
  if (d.size() < kWaypointFixedSize) return std::nullopt;
  SWaypointRecord r;
  r.symbol = getU16(d, 4);
  r.latitude = static_cast<std::int32_t>(getU32(d, 24));
  r.longitude = static_cast<std::int32_t>(getU32(d, 28));
  r.altitude = getFloat(d, 32);
  r.ident = firstString(d, kWaypointFixedSize);
  return r;
}

std::vector<std::uint8_t> encodeTrackHeader(const STrackHeaderRecord& r) {
  std::vector<std::uint8_t> out{r.display, r.color};
  putIdent(out, r.ident, kMaxTrackIdent);
  return out;
}

std::optional<STrackHeaderRecord> decodeTrackHeader(std::span<const std::uint8_t> d) {
  if (d.size() < 2) return std::nullopt;
  return STrackHeaderRecord{d[0], d[1], firstString(d, 2)};
}

std::vector<std::uint8_t> encodeTrackPoint(const STrackPointRecord& r) {
  std::vector<std::uint8_t> out;
  out.reserve(kTrackPointSize);
  putU32(out, static_cast<std::uint32_t>(r.latitude));
  putU32(out, static_cast<std::uint32_t>(r.longitude));
  putU32(out, r.time);
  putFloat(out, r.altitude);
  putFloat(out, 0.0f);  // depth
  out.push_back(r.newTrack ? 1 : 0);
  return out;
}

std::optional<STrackPointRecord> decodeTrackPoint(std::span<const std::uint8_t> d) {
  if (d.size() < kTrackPointSize) return std::nullopt;
  STrackPointRecord r;
  r.latitude = static_cast<std::int32_t>(getU32(d, 0));
  r.longitude = static_cast<std::int32_t>(getU32(d, 4));
  r.time = getU32(d, 8);
  r.altitude = getFloat(d, 12);
  r.newTrack = d[20] != 0;
  return r;
}

std::vector<std::uint8_t> encodeRouteHeader(const SRouteHeaderRecord& r) {
  std::vector<std::uint8_t> out{r.number};
  std::string comment = truncateIdent(r.comment, kRouteCommentSize);
  comment = comment.substr(0, comment.find('\0'));
  comment.resize(kRouteCommentSize, ' ');
  out.insert(out.end(), comment.begin(), comment.end());
  return out;
}

std::optional<SRouteHeaderRecord> decodeRouteHeader(std::span<const std::uint8_t> d) {
  if (d.empty()) return std::nullopt;
  SRouteHeaderRecord r;
  r.number = d[0];
  const std::size_t end = std::min(d.size(), 1 + kRouteCommentSize);
  for (std::size_t i = 1; i < end && d[i] != 0; ++i) r.comment.push_back(static_cast<char>(d[i]));
  while (!r.comment.empty() && r.comment.back() == ' ') r.comment.pop_back();
  // Two-byte characters may have been cut by the receiver's fixed width: keep whole ones only.
  for (std::size_t i = 0; i < r.comment.size();) {
    const std::size_t step = platform::cp932::isLeadByte(static_cast<std::uint8_t>(r.comment[i])) ? 2 : 1;
    if (i + step > r.comment.size()) {
      r.comment.resize(i);
      break;
    }
    i += step;
  }
  return r;
}

std::vector<std::uint8_t> encodeRouteLink() {
  std::vector<std::uint8_t> out;
  putU16(out, 3);
  for (int i = 0; i < 6; ++i) out.push_back(0);
  for (int i = 0; i < 12; ++i) out.push_back(0xFF);
  out.push_back(0);
  return out;
}

}  // namespace gps
