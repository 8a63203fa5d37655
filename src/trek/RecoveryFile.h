#pragma once
// Recovery copies of modified trek groups: a small header (who wrote the copy, when, the
// group's file path, name and item counts) followed by the group in the trek file format,
// exactly the bytes a save of the group would write.
//
// Layout, little-endian: the 8 bytes "VNTRRCVR", version (u32, 1), the owner (string), the
// writing process id (i64), the time of the copy (i64, ms since 1970 UTC), kind (i32), waypoint
// and track log counts (u32 each), track point count (u64), the file path (string, the group's
// `filePath` bytes), the group name (string, CP932), the body's length (u64) and its SHA-256
// (32 bytes), then the body. A string is a u32 length and its bytes.
#include <QByteArray>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "trek/CTrekData.h"

class QIODevice;

namespace trek {

inline constexpr std::uint32_t kRecoveryVersion = 1;
/// Extension of a recovery copy.
inline constexpr const char* kRecoveryExtension = ".vrc";

struct SRecoveryHeader {
  std::string owner;           ///< id of the program instance that wrote the copy (ASCII)
  std::int64_t processId = 0;  ///< its process, for the user's eyes
  std::int64_t savedAtMs = 0;  ///< when the group was copied, ms since 1970 UTC
  std::int32_t kind = 0;
  std::uint32_t waypoints = 0;
  std::uint32_t trackLogs = 0;
  std::uint64_t trackPoints = 0;
  std::string filePath;   ///< the group's file as the group names it; empty for a new group
  std::string groupName;  ///< CP932
  bool operator==(const SRecoveryHeader&) const = default;
};

/// Fills the counts, kind, path and name from a group.
void DescribeGroup(const CTrekData& group, SRecoveryHeader& header);

/// Writes header and body; false when the device refused bytes.
[[nodiscard]] bool WriteRecoveryDevice(QIODevice& device, const SRecoveryHeader& header, std::string_view body);
/// The whole copy as bytes.
[[nodiscard]] std::string RecoveryBytes(const SRecoveryHeader& header, std::string_view body);

enum class ERecoveryStatus {
  Ok,
  OpenFailed,       ///< the file cannot be read
  NotRecoveryCopy,  ///< no signature
  NewerVersion,     ///< written by a newer program
  Truncated,        ///< the data end before the header or body does
  BadHeader,        ///< a field out of its range, or bytes after the body
  BadChecksum,      ///< the body is not what was written
  BadContent,       ///< the body is no readable trek group of the current version
};

struct SRecoveryRead {
  ERecoveryStatus status = ERecoveryStatus::OpenFailed;
  SRecoveryHeader header;
  std::string body;                  ///< the trek file bytes (Ok only)
  std::unique_ptr<CTrekData> group;  ///< read from the body (Ok only); `modified` as stored: 0
  std::string reason;                ///< what is wrong, one line (UTF-8)
  [[nodiscard]] bool ok() const { return status == ERecoveryStatus::Ok; }
};

/// Reads and checks a copy from bytes: header, checksum and the group in the body. Never asks
/// anything (a body of an older trek version is refused, not converted).
[[nodiscard]] SRecoveryRead ReadRecoveryBytes(std::string_view bytes);
/// The same from a file; a file larger than `maxBytes` is refused unread.
[[nodiscard]] SRecoveryRead ReadRecoveryFile(const std::filesystem::path& path,
                                             std::uint64_t maxBytes = std::uint64_t{4} << 30);

/// One line for a status (UTF-8).
[[nodiscard]] std::string RecoveryStatusText(ERecoveryStatus status);

}  // namespace trek
