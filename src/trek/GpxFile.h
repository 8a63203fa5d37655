#pragma once
// Exchange of trek groups with GPX files. Reading takes GPX 1.0 and 1.1 (waypoints become
// waypoints, each route a route, each track segment a track log); writing produces GPX 1.1. Times are
// UTC on the GPX side and receiver seconds in the model; positions are WGS-84 on both sides.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "trek/CTrekData.h"
#include "trek/TrekFile.h"
#include "trek/TrekTime.h"

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
inline constexpr long long kReceiverEpochUnix = TrekTime::kReceiverEpoch;
/// Elevations (metres) a point may have; a point outside is left out.
inline constexpr double kMinElevation = -500.0;
inline constexpr double kMaxElevation = 9000.0;
/// Items named in a notice per list, and characters of a name shown there.
inline constexpr std::size_t kNoticeItems = 20;
inline constexpr std::size_t kNoticeNameChars = 40;
/// Items kept per list for the details of a notice (their names cut to kMaxNameChars).
inline constexpr std::size_t kDetailItems = 1000;

}  // namespace gpx

/// What reading replaced, cut or left out, by kind, so that a caller that keeps one kind only
/// tells only about that kind.
struct SGpxNotes {
  enum EList { kReplaced, kCut };
  enum EOwner { kGroup, kWaypoint, kTrack };
  struct SItem {
    EList list = kReplaced;
    EOwner owner = kGroup;
    std::string name;  ///< UTF-8 as in the file, at most gpx::kMaxNameChars characters; empty for the group
    bool longer = false;  ///< the file's name was longer than `name`
  };
  std::string fileName;             ///< UTF-8, as given to the reader
  std::vector<SItem> items;         ///< at most gpx::kDetailItems per list
  std::size_t listed[2][3] = {};    ///< items per list and owner, kept or not
  std::size_t badPositions[2] = {}; ///< points left out for their position: [0] waypoints, [1] track points
  std::size_t badElevations[2] = {};
  std::size_t badTimes = 0;         ///< track points whose time is no date
  std::size_t timesOutOfRange = 0;  ///< track points timed outside the receiver's range
};

/// A notice for a message box: `text` names at most gpx::kNoticeItems items per list with names
/// cut to gpx::kNoticeNameChars; `details` is the longer list when `text` left something out.
struct SGpxNotice {
  std::string text;     ///< UTF-8; empty when there is nothing to tell
  std::string details;  ///< UTF-8; empty when `text` is complete
};
/// The notice about the waypoints, the tracks or both (the group name counts for either).
[[nodiscard]] SGpxNotice GpxNotice(const SGpxNotes& notes, bool waypoints, bool tracks);

struct SGpxReadResult {
  std::unique_ptr<CTrekData> waypoints;  ///< kind 1, or null when the file holds none
  std::unique_ptr<CTrekData> tracks;     ///< kind 3, or null when the file holds none
  std::unique_ptr<CTrekData> routes;     ///< kind 6, or null when the file holds none
  std::string error;   ///< UTF-8; the file was refused (both groups null)
  std::string notice;  ///< UTF-8; GpxNotice(notes, true, true).text
  std::string noticeDetails;  ///< UTF-8; GpxNotice(notes, true, true).details
  SGpxNotes notes;
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
