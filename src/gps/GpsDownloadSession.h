#pragma once
// What a download dialog keeps while it is open: the download list the transfer fills, the
// rows it shows, the groups items can be added to, and the record of every addition so that
// they can all be taken back. No widgets; questions go through platform::prompt().
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "geodesy/GeoPosition.h"
#include "gps/GpsTransfer.h"
#include "trek/CTrekData.h"

class CMarkerPoint;
class CTrackLog;
class CTrekGroupList;

namespace gps {

/// Row texts (UTF-8) of a waypoint: name, "北緯 ..." and "東経 ..." in `datum`, "<alt> m" or "―"
/// when the point has no altitude.
[[nodiscard]] std::vector<std::string> WaypointRowTexts(const CMarkerPoint& point, Datum datum);
/// Row texts of a track log: name, number of points, start and end time (empty without time).
[[nodiscard]] std::vector<std::string> TrackLogRowTexts(const CTrackLog& log);

/// One row of the group list: a group of the dialog's kind.
struct SGroupRow {
  int groupIndex = -1;
  std::string name;   ///< UTF-8
  std::string count;  ///< "%dpoints" or "%dtracks"
};

}  // namespace gps

class CGpsDownloadSession {
 public:
  /// `kind`: 1 waypoints, 3 track logs (the kind of the groups it adds to).
  CGpsDownloadSession(CTrekGroupList& groups, std::int32_t kind);
  CGpsDownloadSession(const CGpsDownloadSession&) = delete;
  CGpsDownloadSession& operator=(const CGpsDownloadSession&) = delete;

  [[nodiscard]] std::int32_t Kind() const { return m_kind; }
  [[nodiscard]] bool IsWaypoints() const { return m_kind == CTrekData::kWaypointGroup; }
  /// The received items, in arrival order.
  [[nodiscard]] const CTrekData& DownloadList() const { return m_download; }
  [[nodiscard]] int RowCount() const;
  [[nodiscard]] std::vector<std::string> RowTexts(int row, Datum datum) const;
  [[nodiscard]] static std::vector<std::string> ColumnTitles(std::int32_t kind);

  /// Runs the transfer into the download list (which keeps what it had); true when complete.
  bool Download(const SGpsPort& port, IGpsProgress& progress);
  /// Empties the download list.
  void Clear();
  /// The download list to fill from another source than a receiver (a unit's files).
  [[nodiscard]] CTrekData& MutableDownloadList() { return m_download; }

  /// The open groups of the dialog's kind, in document order.
  [[nodiscard]] std::vector<gps::SGroupRow> GroupRows() const;
  /// Copies of the given rows added to group `groupIndex` (with the duplicate question each);
  /// every item actually added is recorded. Returns how many were added; nothing happens
  /// without rows or for a group of the other kind.
  int Add(const std::vector<int>& rows, int groupIndex);
  [[nodiscard]] std::size_t AdditionCount() const { return m_record.size(); }
  /// Asks whether every recorded addition is to be taken back; OK removes the items from
  /// their groups (which become modified) and empties the record. True when undone.
  bool Undo();
  /// Takes every recorded addition back without asking (the caller has asked).
  void TakeBack();

 private:
  struct SAddition {
    const CTrekData* group;
    const void* item;  ///< the CMarkerPoint or CTrackLog the group owns
  };

  CTrekGroupList& m_groups;
  std::int32_t m_kind;
  CTrekData m_download;
  std::vector<SAddition> m_record;
};
