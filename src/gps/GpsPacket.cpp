#include "gps/GpsPacket.h"

#include <algorithm>
#include <array>

namespace gps {

std::uint8_t frameChecksum(std::uint8_t id, std::span<const std::uint8_t> data) {
  unsigned sum = id + static_cast<unsigned>(data.size());
  for (std::uint8_t b : data) sum += b;
  return static_cast<std::uint8_t>(0x100u - (sum & 0xFFu));
}

std::vector<std::uint8_t> encodeFrame(std::uint8_t id, std::span<const std::uint8_t> data) {
  data = data.first(std::min(data.size(), kMaxPacketData));
  std::vector<std::uint8_t> out;
  out.reserve(2 * data.size() + 10);
  auto put = [&out](std::uint8_t b) {
    out.push_back(b);
    if (b == kDle) out.push_back(b);
  };
  out.push_back(kDle);
  put(id);
  put(static_cast<std::uint8_t>(data.size()));
  for (std::uint8_t b : data) put(b);
  put(frameChecksum(id, data));
  out.push_back(kDle);
  out.push_back(kEtx);
  return out;
}

EFrameError readFrame(const ByteReader& read, SPacket& out) {
  std::array<std::uint8_t, 3> head{};
  if (read(head.data(), 3) != 3) return EFrameError::Timeout;
  if (head[0] != kDle) return EFrameError::NoLeadingDle;
  const std::uint8_t id = head[1];
  std::uint8_t size = head[2];
  if (id == kDle) {
    // A stuffed id: the third byte was its second DLE, the size follows.
    if (size != kDle) return EFrameError::BadSize;
    if (read(&size, 1) != 1) return EFrameError::Timeout;
  }
  if (size == kDle) {
    std::uint8_t again = 0;
    if (read(&again, 1) != 1) return EFrameError::Timeout;
    if (again != kDle) return EFrameError::BadSize;
  }
  // Logical bytes: data, checksum, DLE, ETX.
  const std::size_t total = std::size_t{size} + 3;
  std::vector<std::uint8_t> logical;
  logical.reserve(total);
  while (logical.size() < total) {
    std::uint8_t b = 0;
    if (read(&b, 1) != 1) return EFrameError::Timeout;
    if (b != kDle) {
      logical.push_back(b);
      continue;
    }
    std::uint8_t next = 0;
    if (read(&next, 1) != 1) return EFrameError::Timeout;
    logical.push_back(kDle);
    if (next == kDle) continue;
    if (logical.size() >= total) return EFrameError::Overrun;
    logical.push_back(next);
  }
  unsigned sum = id + size;
  for (std::size_t i = 0; i <= size; ++i) sum += logical[i];
  if ((sum & 0xFFu) != 0) return EFrameError::BadChecksum;
  if (logical[total - 2] != kDle || logical[total - 1] != kEtx) return EFrameError::BadTrailer;
  out.id = id;
  out.data.assign(logical.begin(), logical.begin() + size);
  return EFrameError::None;
}

SDecoded decodeFrame(std::span<const std::uint8_t> bytes) {
  SDecoded result;
  std::size_t pos = 0;
  const ByteReader reader = [&](std::uint8_t* buffer, std::size_t n) {
    const std::size_t take = std::min(n, bytes.size() - pos);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(pos), take, buffer);
    pos += take;
    return take;
  };
  result.error = readFrame(reader, result.packet);
  result.consumed = pos;
  return result;
}

}  // namespace gps
