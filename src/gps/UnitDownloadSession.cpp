#include "gps/UnitDownloadSession.h"

#include "platform/IPrompt.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"

CUnitDownloadSession::CUnitDownloadSession(CTrekGroupList& groups)
    : m_waypoints(groups, CTrekData::kWaypointGroup), m_tracks(groups, CTrekData::kTrackLogGroup) {}

void CUnitDownloadSession::SetContents(gps::SUnitContents contents) {
  m_waypoints.Clear();
  m_tracks.Clear();
  m_waypointFiles.clear();
  m_trackFiles.clear();
  m_files = std::move(contents.files);
  // Items arrive file by file, in the order of Files().
  std::size_t w = 0;
  std::size_t t = 0;
  for (const gps::SUnitGpxFile& f : m_files) {
    for (std::size_t i = 0; i < f.waypoints && w < contents.waypoints->Waypoints().size(); ++i, ++w) {
      m_waypoints.MutableDownloadList().Waypoints().push_back(std::move(contents.waypoints->Waypoints()[w]));
      m_waypointFiles.push_back(f.relative);
    }
    for (std::size_t i = 0; i < f.trackLogs && t < contents.tracks->TrackLogs().size(); ++i, ++t) {
      m_tracks.MutableDownloadList().TrackLogs().push_back(std::move(contents.tracks->TrackLogs()[t]));
      m_trackFiles.push_back(f.relative);
    }
  }
}

int CUnitDownloadSession::RowCount() const { return m_waypoints.RowCount() + m_tracks.RowCount(); }

bool CUnitDownloadSession::IsWaypointRow(int row) const { return row >= 0 && row < m_waypoints.RowCount(); }

std::vector<std::string> CUnitDownloadSession::RowTexts(int row, Datum datum) const {
  if (row < 0 || row >= RowCount()) return {};
  if (IsWaypointRow(row)) {
    const std::vector<std::string> w = m_waypoints.RowTexts(row, datum);  // name, lat, lon, altitude
    return {unittext::kWaypoint, w[0], "―", w[1], w[2], m_waypointFiles[static_cast<std::size_t>(row)]};
  }
  const int t = row - m_waypoints.RowCount();
  const std::vector<std::string> l = m_tracks.RowTexts(t, datum);  // name, points, start, end
  return {unittext::kTrackLog, l[0], l[1], l[2], l[3], m_trackFiles[static_cast<std::size_t>(t)]};
}

std::vector<std::string> CUnitDownloadSession::ColumnTitles() {
  return {"種類", "名前", "ポイント数", "開始日時 / 緯度", "終了日時 / 経度", "ファイル"};
}

std::vector<gps::SGroupRow> CUnitDownloadSession::GroupRows(std::int32_t kind) const {
  return kind == CTrekData::kWaypointGroup ? m_waypoints.GroupRows() : m_tracks.GroupRows();
}

int CUnitDownloadSession::Add(const std::vector<int>& rows, int waypointGroup, int trackGroup) {
  std::vector<int> w;
  std::vector<int> t;
  for (int r : rows) {
    if (r < 0 || r >= RowCount()) continue;
    if (IsWaypointRow(r)) w.push_back(r);
    else t.push_back(r - m_waypoints.RowCount());
  }
  int added = 0;
  if (!w.empty() && waypointGroup >= 0) added += m_waypoints.Add(w, waypointGroup);
  if (!t.empty() && trackGroup >= 0) added += m_tracks.Add(t, trackGroup);
  return added;
}

std::size_t CUnitDownloadSession::AdditionCount() const { return m_waypoints.AdditionCount() + m_tracks.AdditionCount(); }

bool CUnitDownloadSession::Undo() {
  if (AdditionCount() == 0) return false;
  const platform::SPromptRequest question{unittext::kUndo, platform::EPromptIcon::Question,
                                          platform::EPromptButtons::OkCancel, {}, "Vantoria"};
  if (platform::prompt().ask(question) != platform::EPromptAnswer::Ok) return false;
  if (m_waypoints.AdditionCount() > 0) m_waypoints.TakeBack();
  if (m_tracks.AdditionCount() > 0) m_tracks.TakeBack();
  return true;
}
