// Editing operations of CTrekGroupList: new groups, adding with the duplicate questions,
// deleting, the two clipboards, renaming, and the editing windows' OK actions.
#include <algorithm>
#include <limits>

#include "platform/Codepage.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"

using platform::EPromptAnswer;
using platform::EPromptButtons;
using platform::EPromptIcon;
using platform::cp932::toUtf8Lossy;

namespace {

bool askYesNo(const std::string& text) {
  return platform::prompt().ask({text, EPromptIcon::Question, EPromptButtons::YesNo, {}, "Vantoria"}) ==
         EPromptAnswer::Yes;
}

bool askDelete(const std::string& text) {
  return platform::prompt().ask(
             {text, EPromptIcon::Question, EPromptButtons::OkCancel, EPromptAnswer::Cancel, "Vantoria"}) ==
         EPromptAnswer::Ok;
}

// Removes the owned `item` from `list`; false when it is not there.
template <class T>
bool eraseOwned(std::vector<std::unique_ptr<T>>& list, const T* item) {
  const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == item; });
  if (!item || it == list.end()) return false;
  list.erase(it);
  return true;
}

}  // namespace

void CTrekGroupList::afterItemAdded(CTrekData& group, const STrekSelection& added, bool refresh, bool keepSelection) {
  markModified(group);
  if (refresh) NotifyDataChanged();
  // An editing window works on the selected item; the selection must not leave it.
  if (!keepSelection && !m_hold.waypoint && !m_hold.trackLog) setSelection(added);
}

void CTrekGroupList::afterItemRemoved(CTrekData& group) {
  markModified(group);
  STrekSelection s;
  s.kind = group.Kind();
  s.groupIndex = m_selection.groupIndex;
  m_selection = s;
  NotifyDataChanged();
  notifySelection();
}

int CTrekGroupList::NewGroup(std::int32_t kind, std::string_view nameUtf8) {
  if (kind != CTrekData::kWaypointGroup && kind != CTrekData::kTrackLogGroup) return -1;
  if (!trek::ReportInputProblem(trek::CheckNewGroupName(nameUtf8))) return -1;
  auto group = std::make_unique<CTrekData>();
  group->SetKind(kind);
  group->SetGroupName(trek::ToModelText(nameUtf8));
  group->SetModified(1);
  return AppendGroup(std::move(group));
}

CMarkerPoint* CTrekGroupList::AddWaypoint(int groupIndex, std::unique_ptr<CMarkerPoint>&& point, bool refresh,
                                          bool keepSelection) {
  CTrekData* group = Group(groupIndex);
  if (!group || !point || group->Kind() != CTrekData::kWaypointGroup) return nullptr;
  if (const CMarkerPoint* dup = FindDuplicateWaypoint(*point, *group)) {
    if (!askYesNo("このポイントグループには、同じ経緯度のポイント [" + toUtf8Lossy(dup->name) +
                  "] が既に存在します。\r\nここにポイント [" + toUtf8Lossy(point->name) + "] を追加しますか?")) {
      return nullptr;
    }
  }
  CMarkerPoint* added = point.get();
  group->AppendWaypoint(std::move(point));
  STrekSelection s;
  s.kind = kTrekWaypoint;
  s.groupIndex = groupIndex;
  s.waypoint = added;
  afterItemAdded(*group, s, refresh, keepSelection);
  return added;
}

CTrackLog* CTrekGroupList::AddTrackLog(int groupIndex, std::unique_ptr<CTrackLog>&& log, bool refresh,
                                       bool keepSelection) {
  CTrekData* group = Group(groupIndex);
  if (!group || !log || group->Kind() != CTrekData::kTrackLogGroup) return nullptr;
  if (const CTrackLog* dup = FindDuplicateTrackLog(*log, *group)) {
    if (!askYesNo("このトレックデータグループには、同じトラックデータ [" + toUtf8Lossy(dup->name) +
                  "] が既に存在します。\r\nここにトラックデータ [" + toUtf8Lossy(log->name) + "] を追加しますか?")) {
      return nullptr;
    }
  }
  CTrackLog* added = log.get();
  group->AppendTrackLog(std::move(log));
  STrekSelection s;
  s.kind = kTrekTrackLog;
  s.groupIndex = groupIndex;
  s.trackLog = added;
  afterItemAdded(*group, s, refresh, keepSelection);
  return added;
}

void CTrekGroupList::removeSelectedWaypoint() {
  CTrekData* group = SelectedGroup();
  if (group && CanRemoveSelectedWaypoint() && eraseOwned(group->Waypoints(), SelectedWaypoint()))
    afterItemRemoved(*group);
}

void CTrekGroupList::removeSelectedTrackLog() {
  CTrekData* group = SelectedGroup();
  if (group && CanRemoveSelectedTrackLog() && eraseOwned(group->TrackLogs(), SelectedTrackLog()))
    afterItemRemoved(*group);
}

bool CTrekGroupList::DeleteWaypoint() {
  const CMarkerPoint* point = SelectedWaypoint();
  if (!point || !SelectedGroup() || !CanRemoveSelectedWaypoint()) return false;
  if (!askDelete("ポイント [" + toUtf8Lossy(point->name) + "] を削除しますか?  ")) return false;
  removeSelectedWaypoint();
  return true;
}

bool CTrekGroupList::DeleteTrackLog() {
  const CTrackLog* log = SelectedTrackLog();
  if (!log || !SelectedGroup() || !CanRemoveSelectedTrackLog()) return false;
  if (!askDelete("トラックログ[" + toUtf8Lossy(log->name) + "] を削除しますか?  ")) return false;
  removeSelectedTrackLog();
  return true;
}

void CTrekGroupList::CopyWaypoint() {
  const CMarkerPoint* point = SelectedWaypoint();
  if (!point) return;
  m_waypointClipboard = std::make_unique<CMarkerPoint>(*point);
}

void CTrekGroupList::CutWaypoint() {
  if (!CanRemoveSelectedWaypoint()) return;
  CopyWaypoint();
  removeSelectedWaypoint();
}

bool CTrekGroupList::PasteWaypoint() {
  if (!m_waypointClipboard) return false;
  auto copy = std::make_unique<CMarkerPoint>(*m_waypointClipboard);
  return AddWaypoint(m_selection.groupIndex, std::move(copy), true, false) != nullptr;
}

void CTrekGroupList::CopyTrackLog() {
  const CTrackLog* log = SelectedTrackLog();
  if (!log) return;
  m_trackLogClipboard = std::make_unique<CTrackLog>(*log);
}

void CTrekGroupList::CutTrackLog() {
  if (!CanRemoveSelectedTrackLog()) return;
  CopyTrackLog();
  removeSelectedTrackLog();
}

bool CTrekGroupList::PasteTrackLog() {
  if (!m_trackLogClipboard) return false;
  auto copy = std::make_unique<CTrackLog>(*m_trackLogClipboard);
  return AddTrackLog(m_selection.groupIndex, std::move(copy), true, false) != nullptr;
}

bool CTrekGroupList::RenameGroup(int groupIndex, std::string_view nameUtf8) {
  CTrekData* group = Group(groupIndex);
  if (!group) return false;
  if (!trek::ReportInputProblem(trek::CheckGroupRename(nameUtf8))) return false;
  group->SetGroupName(trek::ToModelText(nameUtf8));
  markModified(*group);
  NotifyDataChanged();
  return true;
}

bool CTrekGroupList::EditSelectedWaypoint(const trek::SWaypointInput& input) {
  CMarkerPoint* point = SelectedWaypoint();
  CTrekData* group = SelectedGroup();
  if (!point || !group) return false;
  if (!trek::ReportInputProblem(trek::CheckWaypointInput(input))) return false;
  trek::ApplyWaypointInput(*point, input);
  markModified(*group);
  NotifyDataChanged();
  return true;
}

bool CTrekGroupList::EditSelectedTrackLog(const trek::STrackLogInput& input) {
  CTrackLog* log = SelectedTrackLog();
  CTrekData* group = SelectedGroup();
  if (!log || !group) return false;
  if (!trek::ReportInputProblem(trek::CheckTrackLogInput(input))) return false;
  trek::ApplyTrackLogInput(*log, input);
  markModified(*group);
  NotifyDataChanged();
  return true;
}

bool CTrekGroupList::DeleteSelectedTrackPoint() {
  CTrekData* group = SelectedGroup();
  CTrackLog* log = SelectedTrackLog();
  if (!group || !log || !SelectedTrackPoint()) return false;
  auto& points = log->Points();
  const auto at = static_cast<std::size_t>(m_selection.pointIndex);
  for (std::size_t i = at; i < points.size(); ++i) {
    // Numbers come from files; never step below the smallest value.
    if (points[i].number > std::numeric_limits<std::int32_t>::min()) --points[i].number;
  }
  points.erase(points.begin() + static_cast<std::ptrdiff_t>(at));
  markModified(*group);
  STrekSelection s;
  s.kind = kTrekTrackLog;
  s.groupIndex = m_selection.groupIndex;
  s.trackLog = log;
  m_selection = s;
  NotifyDataChanged();
  notifySelection();
  return true;
}

bool CTrekGroupList::SetWaypointGpsName(int groupIndex, CMarkerPoint& point, std::string_view nameUtf8) {
  if (!contains(groupIndex, &point)) return false;
  if (!trek::ReportInputProblem(trek::CheckGpsNameEdit(nameUtf8, trek::kMaxWaypointGpsName))) return false;
  point.gpsName = trek::ToModelText(nameUtf8);
  markModified(*Group(groupIndex));
  return true;
}

bool CTrekGroupList::SetTrackLogGpsName(int groupIndex, CTrackLog& log, std::string_view nameUtf8) {
  if (!contains(groupIndex, &log)) return false;
  if (!trek::ReportInputProblem(trek::CheckGpsNameEdit(nameUtf8, trek::kMaxTrackLogGpsName))) return false;
  log.gpsName = trek::ToModelText(nameUtf8);
  markModified(*Group(groupIndex));
  return true;
}
