#pragma once
// The upload list of an upload dialog: copies of chosen waypoints or track logs, each linked to
// the item it came from so that a new GPS name reaches the group too. An entry whose item has
// left its group (deleted, cut, group closed) is dropped, so no link ever dangles.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/GeoPosition.h"
#include "gps/GpsTransfer.h"

class CMarkerPoint;
class CTrackLog;
class CTrekData;
class CTrekGroupList;

class CGpsUploadList {
 public:
  /// `kind`: 1 waypoints, 3 track logs.
  CGpsUploadList(CTrekGroupList& groups, std::int32_t kind);
  ~CGpsUploadList();
  CGpsUploadList(const CGpsUploadList&) = delete;
  CGpsUploadList& operator=(const CGpsUploadList&) = delete;

  [[nodiscard]] std::int32_t Kind() const { return m_kind; }
  [[nodiscard]] bool IsWaypoints() const;
  [[nodiscard]] int Count() const { return static_cast<int>(m_entries.size()); }
  [[nodiscard]] static std::vector<std::string> ColumnTitles(std::int32_t kind);
  /// Waypoints: name, GPS name, latitude, longitude, altitude; track logs: name, GPS name,
  /// points, start, end (UTF-8).
  [[nodiscard]] std::vector<std::string> RowTexts(int row, Datum datum) const;
  /// The entry's GPS name fails IsValidGpsName: shown greyed, sent all the same.
  [[nodiscard]] bool IsGreyed(int row) const;
  [[nodiscard]] std::string GpsName(int row) const;  ///< UTF-8

  /// Whether "リストに追加" has something to take: a selected item of the kind, or a
  /// selected group of the kind.
  [[nodiscard]] bool CanAddSelection() const;
  /// Appends the selected item, or every item of the selected group in list order. Returns
  /// the number of entries appended.
  int AddSelection();
  void Remove(int row);
  void Clear() { m_entries.clear(); }
  /// Drops the entries whose item is no longer in its group, or whose group was closed.
  /// Returns how many were dropped.
  int DropDangling();

  /// A new GPS name for the entry and its item (checked through the group list, which shows
  /// the refusals); the item's group becomes modified. False when refused.
  bool SetGpsName(int row, std::string_view utf8);
  [[nodiscard]] std::int32_t SendAsActiveLog(int row) const;
  void SetSendAsActiveLog(int row, std::int32_t flag);

  /// A group holding copies of the entries in list order, for the transfer.
  [[nodiscard]] std::unique_ptr<CTrekData> Snapshot() const;
  /// Sends the entries in list order; true when complete.
  bool Upload(const SGpsPort& port, IGpsProgress& progress) const;

 private:
  struct SEntry {
    std::unique_ptr<CMarkerPoint> waypoint;  ///< the copy (waypoint lists)
    std::unique_ptr<CTrackLog> trackLog;     ///< the copy (track log lists)
    const CTrekData* group = nullptr;        ///< the source's group
    const void* source = nullptr;            ///< the source item in that group
  };
  [[nodiscard]] bool linked(const SEntry& e) const;
  void append(const CTrekData& group, const CMarkerPoint* point, const CTrackLog* log);

  CTrekGroupList& m_groups;
  std::int32_t m_kind;
  std::vector<SEntry> m_entries;
};
