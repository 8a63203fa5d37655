#pragma once
// The GPX files of a mounted Garmin unit: what it holds (read through the GPX reader) and new
// files written to it, never over a file that is there. No widgets; questions are the caller's.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gps/GarminUnit.h"
#include "trek/CTrekData.h"

class CTrackLog;

namespace gps {

/// GPX files looked at per unit folder; a folder with more is read in name order up to this.
inline constexpr std::size_t kMaxUnitFilesPerFolder = 2000;

/// One GPX file of the unit.
struct SUnitGpxFile {
  std::filesystem::path path;
  std::string relative;       ///< below the unit's root, '/'-separated, UTF-8
  std::int64_t modified = 0;  ///< seconds since 1970-01-01 UTC, 0 when unknown
  std::size_t waypoints = 0;
  std::size_t trackLogs = 0;
  std::size_t trackPoints = 0;
  std::string error;  ///< UTF-8; the file was not read
};

/// What the unit holds: its files and every waypoint and track log of them (each item's
/// comment untouched; the group names are the unit's name).
struct SUnitContents {
  std::vector<SUnitGpxFile> files;
  std::unique_ptr<CTrekData> waypoints = std::make_unique<CTrekData>();  ///< kind 1
  std::unique_ptr<CTrekData> tracks = std::make_unique<CTrekData>();     ///< kind 3
};

/// The GPX files of the unit's folders (no sub-folders), each once, Current first.
[[nodiscard]] std::vector<std::filesystem::path> ListUnitGpxFiles(const SGarminUnit& unit);
/// Reads them. `progress` gets 0..1 after each file and stops the reading by returning false
/// (what was read is kept).
[[nodiscard]] SUnitContents ReadUnitContents(const SGarminUnit& unit,
                                             const std::function<bool(double)>& progress = {});

/// The track logs of `group` with more points than `limit`, by index.
[[nodiscard]] std::vector<std::size_t> LongTrackLogs(const CTrekData& group, std::size_t limit);

/// What is done with a log longer than the unit takes.
enum class ELongLog { Keep, Thin, Split };

/// Splits the log into consecutive logs of at most `limit` points (at least 2 each; the point
/// where one ends starts the next, so no leg goes missing), named "<name>-1", "<name>-2"...
/// within the receivers' name length.
[[nodiscard]] std::vector<CTrackLog> SplitTrackLog(const CTrackLog& log, std::size_t limit);
/// A copy of `group` fit for the unit: long logs thinned (Douglas-Peucker on the ground to the
/// limit, first and last points kept) or split as `how` says.
[[nodiscard]] std::unique_ptr<CTrekData> PrepareForUnit(const CTrekData& group, std::size_t limit, ELongLog how);

/// The file stem a group's GPX file gets on a unit: the group name (UTF-8) with characters that
/// file systems refuse replaced by '_', at most 64 characters; "Vantoria" when nothing is left.
[[nodiscard]] std::string UnitFileStem(const std::string& groupNameUtf8);

struct SUnitWriteResult {
  bool ok = false;
  std::filesystem::path path;  ///< the file written
  std::string message;         ///< UTF-8, for a message box; empty when ok
};
/// Writes `group` as a new GPX file into the unit's upload folder, named after the group with
/// "_2", "_3"... when a file of that name is there (never replacing one). The file appears whole
/// or not at all: written beside and renamed; on an MTP unit, where a rename may fail, it is
/// written under its name and read back, and removed again when it differs.
[[nodiscard]] SUnitWriteResult WriteGroupToUnit(const SGarminUnit& unit, const CTrekData& group);

/// Copies a KMZ file into the unit's custom-map folder under its own name (numbered when one
/// is there), refusing it when the unit lacks the space or the map has more images than the
/// unit shows.
[[nodiscard]] SUnitWriteResult CopyCustomMapToUnit(const SGarminUnit& unit, const std::filesystem::path& kmz);
/// Images (.jpg/.jpeg entries) in a KMZ's zip directory; -1 when it is no zip file.
[[nodiscard]] long long CountKmzImages(const std::filesystem::path& kmz);

/// The message after writing (UTF-8): where it went and that the unit is to be ejected before
/// it is unplugged.
[[nodiscard]] std::string UnitWrittenMessage(const SGarminUnit& unit, const std::vector<std::filesystem::path>& files);

}  // namespace gps
