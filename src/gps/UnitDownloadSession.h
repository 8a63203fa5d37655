#pragma once
// What the "USB機器から読み込む" dialog keeps: the unit's waypoints and track logs in one list
// (waypoints first), each with the file it came from, added to open groups exactly as a serial
// download adds them (the duplicate question, one edit per press, every addition recorded and
// taken back together). No widgets; questions go through platform::prompt().
#include <string>
#include <vector>

#include "geodesy/GeoPosition.h"
#include "gps/GpsDownloadSession.h"
#include "gps/UnitFiles.h"

namespace unittext {
inline constexpr const char* kDownloadCaption = "USB機器から読み込む";
inline constexpr const char* kUploadCaption = "USB機器へ書き込む";
inline constexpr const char* kNoUnit =
    "接続されたGarmin機器が見つかりません。\r\n機器をUSBで接続し、マスストレージ (またはMTP) として認識されるまでお待ち下さい。";
inline constexpr const char* kUndo = "機器から読み込んだ項目の追加をすべて元に戻しますか?";
inline constexpr const char* kWaypoint = "ウェイポイント";
inline constexpr const char* kTrackLog = "トラックログ";
inline constexpr const char* kRoute = "ルート";
}  // namespace unittext

class CUnitDownloadSession {
 public:
  explicit CUnitDownloadSession(CTrekGroupList& groups);
  CUnitDownloadSession(const CUnitDownloadSession&) = delete;
  CUnitDownloadSession& operator=(const CUnitDownloadSession&) = delete;

  /// Replaces the list with what a unit holds (the additions made so far stay recorded).
  void SetContents(gps::SUnitContents contents);
  [[nodiscard]] const std::vector<gps::SUnitGpxFile>& Files() const { return m_files; }
  [[nodiscard]] int RowCount() const;
  [[nodiscard]] bool IsWaypointRow(int row) const;
  /// Kind, name, points ("―" for a waypoint), start, end (a waypoint: its position), file.
  [[nodiscard]] std::vector<std::string> RowTexts(int row, Datum datum) const;
  [[nodiscard]] static std::vector<std::string> ColumnTitles();

  /// The open groups of a kind (1 waypoints, 3 track logs).
  [[nodiscard]] std::vector<gps::SGroupRow> GroupRows(std::int32_t kind) const;
  /// Adds the rows' waypoints to `waypointGroup` and track logs to `trackGroup` (an index of the
  /// document's groups; -1 adds none of that kind). Returns how many were added.
  int Add(const std::vector<int>& rows, int waypointGroup, int trackGroup);
  [[nodiscard]] std::size_t AdditionCount() const;
  /// Asks once whether every addition is to be taken back; true when it was.
  bool Undo();

 private:
  CGpsDownloadSession m_waypoints;
  CGpsDownloadSession m_tracks;
  std::vector<std::string> m_waypointFiles;  ///< per waypoint row, the file it came from
  std::vector<std::string> m_trackFiles;
  std::vector<gps::SUnitGpxFile> m_files;
};
