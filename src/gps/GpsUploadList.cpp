#include "gps/GpsUploadList.h"

#include <algorithm>

#include "gps/GpsDownloadSession.h"
#include "platform/Codepage.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekData.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekEditing.h"

using platform::cp932::toUtf8Lossy;

CGpsUploadList::CGpsUploadList(CTrekGroupList& groups, std::int32_t kind) : m_groups(groups), m_kind(kind) {}

CGpsUploadList::~CGpsUploadList() = default;

bool CGpsUploadList::IsWaypoints() const { return m_kind == CTrekData::kWaypointGroup; }

std::vector<std::string> CGpsUploadList::ColumnTitles(std::int32_t kind) {
  if (kind == CTrekData::kWaypointGroup) return {"ポイント名", "GPS用のﾎﾟｲﾝﾄ名", "緯度", "経度", "高度"};
  return {"トラックログ名", "GPS表示名", "ﾎﾟｲﾝﾄ数", "開始日時", "終了日時"};
}

std::vector<std::string> CGpsUploadList::RowTexts(int row, Datum datum) const {
  if (row < 0 || row >= Count()) return {};
  const SEntry& e = m_entries[static_cast<std::size_t>(row)];
  std::vector<std::string> texts =
      e.waypoint ? gps::WaypointRowTexts(*e.waypoint, datum) : gps::TrackLogRowTexts(*e.trackLog);
  texts.insert(texts.begin() + 1, GpsName(row));
  return texts;
}

std::string CGpsUploadList::GpsName(int row) const {
  if (row < 0 || row >= Count()) return {};
  const SEntry& e = m_entries[static_cast<std::size_t>(row)];
  return toUtf8Lossy(e.waypoint ? e.waypoint->gpsName : e.trackLog->gpsName);
}

bool CGpsUploadList::IsGreyed(int row) const {
  if (row < 0 || row >= Count()) return false;
  const SEntry& e = m_entries[static_cast<std::size_t>(row)];
  return !IsValidGpsName(e.waypoint ? e.waypoint->gpsName : e.trackLog->gpsName);
}

bool CGpsUploadList::CanAddSelection() const {
  const STrekSelection& sel = m_groups.Selection();
  const CTrekData* group = m_groups.Group(sel.groupIndex);
  if (!group || group->Kind() != m_kind) return false;
  if (IsWaypoints()) return sel.kind == kTrekWaypoint ? m_groups.SelectedWaypoint() != nullptr : sel.kind == kTrekWaypointGroup;
  if (sel.kind == kTrekTrackLog || sel.kind == kTrekTrackPoint) return m_groups.SelectedTrackLog() != nullptr;
  return sel.kind == kTrekTrackLogGroup;
}

void CGpsUploadList::append(const CTrekData& group, const CMarkerPoint* point, const CTrackLog* log) {
  SEntry e;
  e.group = &group;
  if (point) {
    e.waypoint = std::make_unique<CMarkerPoint>(*point);
    e.source = point;
  } else {
    e.trackLog = std::make_unique<CTrackLog>(*log);
    e.source = log;
  }
  m_entries.push_back(std::move(e));
}

int CGpsUploadList::AddSelection() {
  if (!CanAddSelection()) return 0;
  const STrekSelection& sel = m_groups.Selection();
  const CTrekData& group = *m_groups.Group(sel.groupIndex);
  const int before = Count();
  if (const CMarkerPoint* p = IsWaypoints() ? m_groups.SelectedWaypoint() : nullptr) {
    append(group, p, nullptr);
  } else if (const CTrackLog* l = IsWaypoints() ? nullptr : m_groups.SelectedTrackLog()) {
    append(group, nullptr, l);
  } else if (IsWaypoints()) {
    for (const auto& w : group.Waypoints()) append(group, w.get(), nullptr);
  } else {
    for (const auto& t : group.TrackLogs()) append(group, nullptr, t.get());
  }
  return Count() - before;
}

void CGpsUploadList::Remove(int row) {
  if (row >= 0 && row < Count()) m_entries.erase(m_entries.begin() + row);
}

bool CGpsUploadList::linked(const SEntry& e) const {
  const CTrekData* group = m_groups.Group(m_groups.IndexOf(e.group));
  if (!group) return false;
  const auto same = [&](const auto& p) { return static_cast<const void*>(p.get()) == e.source; };
  return e.waypoint ? std::any_of(group->Waypoints().begin(), group->Waypoints().end(), same)
                    : std::any_of(group->TrackLogs().begin(), group->TrackLogs().end(), same);
}

int CGpsUploadList::DropDangling() {
  const auto before = m_entries.size();
  std::erase_if(m_entries, [this](const SEntry& e) { return !linked(e); });
  return static_cast<int>(before - m_entries.size());
}

bool CGpsUploadList::SetGpsName(int row, std::string_view utf8) {
  if (row < 0 || row >= Count()) return false;
  SEntry& e = m_entries[static_cast<std::size_t>(row)];
  if (!linked(e)) return false;
  const int groupIndex = m_groups.IndexOf(e.group);
  CTrekData* group = m_groups.Group(groupIndex);
  bool ok = false;
  std::string stored;
  if (e.waypoint) {
    for (auto& w : group->Waypoints()) {
      if (w.get() != e.source) continue;
      ok = m_groups.SetWaypointGpsName(groupIndex, *w, utf8);
      stored = w->gpsName;
    }
  } else {
    for (auto& t : group->TrackLogs()) {
      if (t.get() != e.source) continue;
      ok = m_groups.SetTrackLogGpsName(groupIndex, *t, utf8);
      stored = t->gpsName;
    }
  }
  if (!ok) return false;
  // Every entry of the same item shows the new name.
  for (SEntry& other : m_entries) {
    if (other.source != e.source) continue;
    (other.waypoint ? other.waypoint->gpsName : other.trackLog->gpsName) = stored;
  }
  return true;
}

std::int32_t CGpsUploadList::SendAsActiveLog(int row) const {
  if (row < 0 || row >= Count()) return 0;
  const SEntry& e = m_entries[static_cast<std::size_t>(row)];
  return e.trackLog ? e.trackLog->SendAsActiveLog() : 0;
}

void CGpsUploadList::SetSendAsActiveLog(int row, std::int32_t flag) {
  if (row < 0 || row >= Count()) return;
  SEntry& e = m_entries[static_cast<std::size_t>(row)];
  if (e.trackLog) e.trackLog->SetSendAsActiveLog(flag ? 1 : 0);
}

std::unique_ptr<CTrekData> CGpsUploadList::Snapshot() const {
  auto group = std::make_unique<CTrekData>();
  group->SetKind(m_kind);
  for (const SEntry& e : m_entries) {
    if (e.waypoint) group->AppendWaypoint(std::make_unique<CMarkerPoint>(*e.waypoint));
    if (e.trackLog) group->AppendTrackLog(std::make_unique<CTrackLog>(*e.trackLog));
  }
  return group;
}

bool CGpsUploadList::Upload(const SGpsPort& port, IGpsProgress& progress) const {
  // The transfer sends copies: nothing the user does meanwhile can pull an item from under it.
  const std::unique_ptr<CTrekData> group = Snapshot();
  return IsWaypoints() ? UploadWaypoints(*group, port, progress) : UploadTrackLogs(*group, port, progress);
}
