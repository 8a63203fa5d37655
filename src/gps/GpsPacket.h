#pragma once
// Framing of the receiver's link protocol: DLE, id, size, data, checksum, DLE, ETX, with every
// DLE from the id through the checksum doubled. Pure functions; the port is elsewhere.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace gps {

inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kEtx = 0x03;

/// Packet ids.
namespace pid {
inline constexpr std::uint8_t kAck = 6;
inline constexpr std::uint8_t kCommand = 10;
inline constexpr std::uint8_t kTransferComplete = 12;
inline constexpr std::uint8_t kNak = 21;
inline constexpr std::uint8_t kRecords = 27;
inline constexpr std::uint8_t kRouteHeader = 29;
inline constexpr std::uint8_t kRouteWaypoint = 30;
inline constexpr std::uint8_t kRouteLink = 98;
inline constexpr std::uint8_t kTrackPoint = 34;
inline constexpr std::uint8_t kWaypoint = 35;
inline constexpr std::uint8_t kTrackHeader = 99;
inline constexpr std::uint8_t kCapabilities = 253;
inline constexpr std::uint8_t kProductRequest = 254;
inline constexpr std::uint8_t kProductData = 255;
}  // namespace pid

/// Command numbers carried by a command packet.
namespace cmd {
inline constexpr std::uint8_t kTransferRoutes = 4;
inline constexpr std::uint8_t kTransferTracks = 6;
inline constexpr std::uint8_t kTransferWaypoints = 7;
}  // namespace cmd

inline constexpr std::size_t kMaxPacketData = 255;

/// Two's complement of the 8-bit sum of id, size and data.
[[nodiscard]] std::uint8_t frameChecksum(std::uint8_t id, std::span<const std::uint8_t> data);

/// The bytes on the wire. Data beyond 255 bytes cannot be framed and is cut off.
[[nodiscard]] std::vector<std::uint8_t> encodeFrame(std::uint8_t id, std::span<const std::uint8_t> data);

enum class EFrameError {
  None,
  Timeout,       ///< the byte source delivered fewer bytes than asked for
  NoLeadingDle,  ///< the first byte is not DLE
  BadSize,       ///< an id or size byte of DLE not followed by a second DLE
  Overrun,       ///< an unstuffed DLE pair runs past the end of the frame
  BadChecksum,
  BadTrailer,    ///< no DLE ETX after the checksum
};

struct SPacket {
  std::uint8_t id = 0;
  std::vector<std::uint8_t> data;
};

/// Reads `n` bytes into the buffer and returns how many arrived (fewer means time-out).
using ByteReader = std::function<std::size_t(std::uint8_t* buffer, std::size_t n)>;

/// Reads one frame the way the link does on the port: three bytes (DLE, id, size), a second
/// DLE after an id or a size of DLE, then the data, checksum and DLE ETX one byte at a time. Never asks
/// for more than 5 + 2 x 258 bytes; the first short read ends it.
[[nodiscard]] EFrameError readFrame(const ByteReader& read, SPacket& out);

struct SDecoded {
  EFrameError error = EFrameError::None;
  SPacket packet;
  std::size_t consumed = 0;  ///< bytes the frame took from the input
};
/// readFrame over a buffer: running out of bytes is a Timeout.
[[nodiscard]] SDecoded decodeFrame(std::span<const std::uint8_t> bytes);

}  // namespace gps
