#pragma once
// Exchange of trek groups with GPX files. Reading takes GPX 1.0 and 1.1 (waypoints and route
// points become waypoints, each track segment a track log); writing produces GPX 1.1. Times are
// UTC on the GPX side and receiver seconds in the model; positions are WGS-84 on both sides.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "trek/CTrekData.h"
#include "trek/TrekFile.h"

namespace gpx {

/// Largest file read (bytes).
inline constexpr std::size_t kMaxFileBytes = 64u * 1024u * 1024u;
/// Largest number of elements read from one file.
inline constexpr std::size_t kMaxElements = 4u * 1024u * 1024u;
/// Characters kept of a group name (as the new group dialog allows).
inline constexpr std::size_t kMaxGroupNameChars = 30;
/// Characters kept of a waypoint comment (as the waypoint dialog allows).
inline constexpr std::size_t kMaxCommentChars = 5000;
/// Characters kept of a name or a description.
inline constexpr std::size_t kMaxNameChars = 255;
/// 1989-12-31 00:00:00 UTC, the receiver epoch, in seconds since 1970-01-01 00:00:00 UTC.
inline constexpr long long kReceiverEpochUnix = 631065600;

}  // namespace gpx

struct SGpxReadResult {
  std::unique_ptr<CTrekData> waypoints;  ///< kind 1, or null when the file holds none
  std::unique_ptr<CTrekData> tracks;     ///< kind 3, or null when the file holds none
  std::string error;   ///< UTF-8; the file was refused (both groups null)
  std::string notice;  ///< UTF-8; one message naming what was replaced, cut or skipped; empty when nothing
  [[nodiscard]] bool ok() const { return error.empty(); }
};

/// Reads GPX bytes. `displayName` stands for the file in messages; its stem names the groups
/// when the file gives no name. The groups are new (no file path) and modified.
[[nodiscard]] SGpxReadResult ReadGpxBytes(std::string_view bytes, const std::string& displayName);
/// Reads a GPX file of at most gpx::kMaxFileBytes.
[[nodiscard]] SGpxReadResult ReadGpxFile(const std::filesystem::path& path);

/// The group as a GPX 1.1 document in UTF-8.
[[nodiscard]] std::string WriteGpxBytes(const CTrekData& group);
/// Writes the group as GPX 1.1 through a temporary file; a failure leaves the previous file whole.
[[nodiscard]] STrekWriteResult WriteGpxFileAtomic(const std::filesystem::path& path, const CTrekData& group,
                                                  platform::EReplace mode = platform::EReplace::Replace);
