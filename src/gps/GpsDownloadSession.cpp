#include "gps/GpsDownloadSession.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "gps/GpsDialogTexts.h"
#include "platform/Codepage.h"
#include "platform/IPrompt.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrackStatistics.h"

using platform::cp932::toUtf8Lossy;

namespace gps {

namespace {
constexpr double kConvertedWaypointAltitude = 100000.0;
}  // namespace

std::vector<std::string> WaypointRowTexts(const CMarkerPoint& point, Datum datum) {
  DmsAngle lat;
  DmsAngle lon;
  point.GetPosition(lat, lon, datum);
  // The receivers' "no altitude" and the 100000 of waypoints converted from older files are no
  // heights.
  std::string altitude = "―";
  if (trek::isKnownAltitude(point.altitude) && point.altitude != kConvertedWaypointAltitude) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", point.altitude);
    altitude = std::string(text) + " m";
  }
  return {toUtf8Lossy(point.name), "北緯 " + toUtf8Lossy(lat.FormatText()), "東経 " + toUtf8Lossy(lon.FormatText()),
          altitude};
}

std::vector<std::string> TrackLogRowTexts(const CTrackLog& log) {
  const auto& points = log.Points();
  std::string start;
  std::string end;
  if (!points.empty()) {
    start = toUtf8Lossy(points.front().time.FormatShort());
    end = toUtf8Lossy(points.back().time.FormatShort());
  }
  return {toUtf8Lossy(log.name), std::to_string(points.size()), start, end};
}

}  // namespace gps

CGpsDownloadSession::CGpsDownloadSession(CTrekGroupList& groups, std::int32_t kind) : m_groups(groups), m_kind(kind) {
  m_download.SetKind(kind);
}

int CGpsDownloadSession::RowCount() const {
  return static_cast<int>(IsWaypoints() ? m_download.Waypoints().size() : m_download.TrackLogs().size());
}

std::vector<std::string> CGpsDownloadSession::RowTexts(int row, Datum datum) const {
  if (row < 0 || row >= RowCount()) return {};
  const auto i = static_cast<std::size_t>(row);
  return IsWaypoints() ? gps::WaypointRowTexts(*m_download.Waypoints()[i], datum)
                       : gps::TrackLogRowTexts(*m_download.TrackLogs()[i]);
}

std::vector<std::string> CGpsDownloadSession::ColumnTitles(std::int32_t kind) {
  if (kind == CTrekData::kWaypointGroup) return {"ポイント名", "緯度", "経度", "高度"};
  return {"トラックログ名", "ポイント数", "開始日時", "終了日時"};
}

bool CGpsDownloadSession::Download(const SGpsPort& port, IGpsProgress& progress) {
  return IsWaypoints() ? DownloadWaypoints(m_download, port, progress) : DownloadTrackLogs(m_download, port, progress);
}

void CGpsDownloadSession::Clear() {
  m_download.Waypoints().clear();
  m_download.TrackLogs().clear();
}

std::vector<gps::SGroupRow> CGpsDownloadSession::GroupRows() const {
  std::vector<gps::SGroupRow> rows;
  for (int i = 0; i < m_groups.Count(); ++i) {
    const CTrekData* g = m_groups.Group(i);
    if (g->Kind() != m_kind) continue;
    const std::size_t n = IsWaypoints() ? g->Waypoints().size() : g->TrackLogs().size();
    rows.push_back({i, toUtf8Lossy(g->GroupName()), std::to_string(n) + (IsWaypoints() ? "points" : "tracks")});
  }
  return rows;
}

int CGpsDownloadSession::Add(const std::vector<int>& rows, int groupIndex) {
  CTrekData* group = m_groups.Group(groupIndex);
  if (rows.empty() || !group || group->Kind() != m_kind) return 0;
  // All that one press of the add button brings is one edit.
  CTrekEditScope edit(m_groups, *group,
                      IsWaypoints() ? "GPSから受信したウェイポイントの追加" : "GPSから受信したトラックログの追加");
  int added = 0;
  for (int row : rows) {
    if (row < 0 || row >= RowCount()) continue;
    const auto i = static_cast<std::size_t>(row);
    const void* item = nullptr;
    // The map and the lists show each item as soon as it is in the group; the selection stays.
    if (IsWaypoints())
      item = m_groups.AddWaypoint(groupIndex, std::make_unique<CMarkerPoint>(*m_download.Waypoints()[i]), true, true);
    else
      item = m_groups.AddTrackLog(groupIndex, std::make_unique<CTrackLog>(*m_download.TrackLogs()[i]), true, true);
    if (!item) continue;
    m_record.push_back({group, item});
    ++added;
  }
  return added;
}

bool CGpsDownloadSession::Undo() {
  const platform::SPromptRequest question{IsWaypoints() ? gpstext::kUndoWaypoints : gpstext::kUndoTracks,
                                          platform::EPromptIcon::Question, platform::EPromptButtons::OkCancel,
                                          {}, "Vantoria"};
  if (platform::prompt().ask(question) != platform::EPromptAnswer::Ok) return false;
  TakeBack();
  return true;
}

void CGpsDownloadSession::TakeBack() {
  const STrekSelection& sel = m_groups.Selection();
  bool selectionGone = false;
  const char* editName = IsWaypoints() ? "受信したウェイポイントの取り消し" : "受信したトラックログの取り消し";
  // One edit per group, so that the main window can bring the items back.
  std::vector<const CTrekData*> groups;
  for (const SAddition& a : m_record)
    if (std::find(groups.begin(), groups.end(), a.group) == groups.end()) groups.push_back(a.group);
  for (const CTrekData* g : groups) {
    // Items are looked up again: a group may have been closed meanwhile.
    CTrekData* group = m_groups.Group(m_groups.IndexOf(g));
    if (!group) continue;
    CTrekEditScope edit(m_groups, *group, editName);
    bool removed = false;
    for (const SAddition& a : m_record) {
      if (a.group != g) continue;
      if (IsWaypoints()) {
        auto& list = group->Waypoints();
        const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == a.item; });
        if (it == list.end()) continue;
        selectionGone = selectionGone || sel.waypoint == it->get();
        std::unique_ptr<CMarkerPoint> taken = std::move(*it);
        list.erase(it);
        m_groups.Discard(*group, std::move(taken));
      } else {
        auto& list = group->TrackLogs();
        const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == a.item; });
        if (it == list.end()) continue;
        selectionGone = selectionGone || sel.trackLog == it->get();
        std::unique_ptr<CTrackLog> taken = std::move(*it);
        list.erase(it);
        m_groups.Discard(*group, std::move(taken));
      }
      removed = true;
    }
    if (removed) group->SetModified(1);
  }
  m_record.clear();
  if (selectionGone) m_groups.ClearSelection();
  m_groups.NotifyDataChanged();
}
