#pragma once
// The receiver's record layouts as plain values: waypoint (type 108), track header (type 310),
// track point (type 301), route header (type 201) and route link (type 210). Little-endian; angles in semicircles (2^31 = 180 degrees).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gps {

/// Longest identifiers that still fit a one-byte packet size.
inline constexpr std::size_t kMaxWaypointIdent = 206;
inline constexpr std::size_t kMaxTrackIdent = 252;
inline constexpr std::size_t kWaypointFixedSize = 48;
inline constexpr std::size_t kTrackPointSize = 21;
inline constexpr std::uint32_t kNoTime = 0xFFFFFFFFu;

struct SWaypointRecord {
  std::uint16_t symbol = 18;
  std::int32_t latitude = 0;   ///< semicircles
  std::int32_t longitude = 0;  ///< semicircles
  float altitude = 0.0f;       ///< metres
  std::string ident;           ///< code page 932 bytes
};

struct STrackHeaderRecord {
  std::uint8_t display = 1;
  std::uint8_t color = 255;
  std::string ident;
};

struct STrackPointRecord {
  std::int32_t latitude = 0;
  std::int32_t longitude = 0;
  std::uint32_t time = kNoTime;  ///< seconds since the receiver's epoch
  float altitude = 0.0f;
  bool newTrack = false;
};

/// Route header: the route number and a comment of at most 20 bytes (space padded on the wire).
inline constexpr std::size_t kRouteCommentSize = 20;
struct SRouteHeaderRecord {
  std::uint8_t number = 0;
  std::string comment;
};

/// Cuts a code page 932 string to at most `maxBytes` without splitting a two-byte character.
[[nodiscard]] std::string truncateIdent(const std::string& text, std::size_t maxBytes);

/// The record as the program sends it: fixed fields, the identifier (cut to 206 bytes), one zero.
[[nodiscard]] std::vector<std::uint8_t> encodeWaypoint(const SWaypointRecord& record);
/// None when the data is shorter than the fixed part. The identifier is the first
/// zero-terminated string from offset 48 (or all remaining bytes when unterminated).
[[nodiscard]] std::optional<SWaypointRecord> decodeWaypoint(std::span<const std::uint8_t> data);

[[nodiscard]] std::vector<std::uint8_t> encodeTrackHeader(const STrackHeaderRecord& record);
/// None when shorter than the two flag bytes.
[[nodiscard]] std::optional<STrackHeaderRecord> decodeTrackHeader(std::span<const std::uint8_t> data);

[[nodiscard]] std::vector<std::uint8_t> encodeTrackPoint(const STrackPointRecord& record);
/// None when shorter than 21 bytes.
[[nodiscard]] std::optional<STrackPointRecord> decodeTrackPoint(std::span<const std::uint8_t> data);

/// 21 bytes: the number, then the comment cut to 20 bytes and padded with spaces.
[[nodiscard]] std::vector<std::uint8_t> encodeRouteHeader(const SRouteHeaderRecord& record);
/// None when empty. The comment ends at the first zero byte or at 20 bytes; trailing spaces go.
[[nodiscard]] std::optional<SRouteHeaderRecord> decodeRouteHeader(std::span<const std::uint8_t> data);
/// A direct link between two route points (class 3, no identifier).
[[nodiscard]] std::vector<std::uint8_t> encodeRouteLink();

}  // namespace gps
