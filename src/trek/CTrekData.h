#pragma once
// A trek data group: one trek file's worth of waypoints (kind 1, ".pmd") or track logs
// (kind 3, ".ptd"). The group owns its items; items are copied between groups, never shared.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trek/CMarkerPoint.h"
#include "trek/CRoute.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekObject.h"

class CTrekData : public CTrekObject {
 public:
  static const STrekClass kRuntimeClass;  ///< "CTrekData", schema 3

  static constexpr std::int32_t kWaypointGroup = 1;
  static constexpr std::int32_t kTrackLogGroup = 3;
  /// Routes (".prd"): the same layout with the route list after `kind`, written only for them.
  static constexpr std::int32_t kRouteGroup = 6;
  /// The signature every trek file starts with (27 bytes).
  static constexpr const char* kSignature = "Vantoria25000 PointDataFile";
  /// The format version written.
  static constexpr std::int32_t kFileVersion = 3;

  using WaypointList = std::vector<std::unique_ptr<CMarkerPoint>>;
  using TrackLogList = std::vector<std::unique_ptr<CTrackLog>>;
  using RouteList = std::vector<std::unique_ptr<CRoute>>;

  CTrekData() = default;
  CTrekData(const CTrekData&) = delete;
  CTrekData& operator=(const CTrekData&) = delete;
  ~CTrekData() override = default;

  const STrekClass& GetRuntimeClass() const override { return kRuntimeClass; }
  /// Writes the version 3 layout. Reading checks signature and version and, for versions 1
  /// and 2, asks the two conversion questions through platform::prompt(); the outcome is in
  /// LoadSucceeded(), the archive's error and ReadOutcome().
  void Serialize(CTrekArchive& ar) override;

  /// Full path of the group's file (the platform's 8-bit path form, UTF-8 on Linux, once set
  /// by opening); empty for a group not opened from a file. Stored in files byte for byte.
  [[nodiscard]] const std::string& FilePath() const { return m_filePath; }
  void SetFilePath(std::string path) { m_filePath = std::move(path); }
  /// CP932 bytes.
  [[nodiscard]] const std::string& GroupName() const { return m_groupName; }
  void SetGroupName(std::string name) { m_groupName = std::move(name); }
  /// 1 = waypoints, 3 = track logs; 0 in a new group until its creator sets it.
  [[nodiscard]] std::int32_t Kind() const { return m_kind; }
  void SetKind(std::int32_t kind) { m_kind = kind; }

  [[nodiscard]] const WaypointList& Waypoints() const { return m_waypoints; }
  [[nodiscard]] WaypointList& Waypoints() { return m_waypoints; }
  [[nodiscard]] const TrackLogList& TrackLogs() const { return m_trackLogs; }
  [[nodiscard]] TrackLogList& TrackLogs() { return m_trackLogs; }
  /// Takes ownership; appends at the end of the list. Does not touch `modified`.
  void AppendWaypoint(std::unique_ptr<CMarkerPoint> point) { m_waypoints.push_back(std::move(point)); }
  void AppendTrackLog(std::unique_ptr<CTrackLog> log) { m_trackLogs.push_back(std::move(log)); }
  /// Used when `kind` is 6; empty otherwise.
  [[nodiscard]] const RouteList& Routes() const { return m_routes; }
  [[nodiscard]] RouteList& Routes() { return m_routes; }
  void AppendRoute(std::unique_ptr<CRoute> route) { m_routes.push_back(std::move(route)); }

  /// 1 when reading produced a usable group.
  [[nodiscard]] std::int32_t LoadSucceeded() const { return m_loadSucceeded; }
  void SetLoadSucceeded(std::int32_t flag) { m_loadSucceeded = flag; }
  /// 1 when the group differs from its file.
  [[nodiscard]] std::int32_t IsModified() const { return m_modified; }
  void SetModified(std::int32_t flag) { m_modified = flag; }

  /// Empties both strings and the lists and clears both flags; `kind` stays.
  void Clear();

  /// What the last read decided, beyond the archive's own errors.
  enum class EReadOutcome {
    None,               ///< not read yet, or read fine
    NotTrekFile,        ///< wrong signature, or a version below 1
    NewerVersion,       ///< version above 3
    ConversionRefused,  ///< an old version and the user declined a question
    BadContent,         ///< a kind other than 1, 3 or 6, or items that do not match the kind
  };
  [[nodiscard]] EReadOutcome ReadOutcome() const { return m_readOutcome; }
  /// The version number found by the last read (0 before any).
  [[nodiscard]] std::int32_t ReadVersion() const { return m_readVersion; }

  /// Same content: strings, kind, flags and every item, compared exactly.
  [[nodiscard]] bool SameContent(const CTrekData& o) const;

 private:
  // Fields in their declared order.
  std::string m_filePath;
  std::string m_groupName;
  std::int32_t m_kind = 0;
  WaypointList m_waypoints;
  TrackLogList m_trackLogs;
  RouteList m_routes;
  std::int32_t m_loadSucceeded = 0;
  std::int32_t m_modified = 0;

  EReadOutcome m_readOutcome = EReadOutcome::None;
  std::int32_t m_readVersion = 0;
};
