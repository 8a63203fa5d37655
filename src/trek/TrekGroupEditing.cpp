// Editing operations of CTrekGroupList: new groups, adding with the duplicate questions,
// deleting, the two clipboards, renaming, and the editing windows' OK actions.
#include <algorithm>
#include <limits>
#include <optional>

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

// Takes the owned `item` out of `list`; null when it is not there.
template <class T>
std::unique_ptr<T> takeOwned(std::vector<std::unique_ptr<T>>& list, const T* item) {
  const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == item; });
  if (!item || it == list.end()) return nullptr;
  std::unique_ptr<T> taken = std::move(*it);
  list.erase(it);
  return taken;
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
  if (kind != CTrekData::kWaypointGroup && kind != CTrekData::kTrackLogGroup && kind != CTrekData::kRouteGroup)
    return -1;
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
  CTrekEditScope edit(*this, *group, "ウェイポイントの追加");
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
  CTrekEditScope edit(*this, *group, "トラックログの追加");
  CTrackLog* added = log.get();
  group->AppendTrackLog(std::move(log));
  STrekSelection s;
  s.kind = kTrekTrackLog;
  s.groupIndex = groupIndex;
  s.trackLog = added;
  afterItemAdded(*group, s, refresh, keepSelection);
  return added;
}

void CTrekGroupList::removeSelectedWaypoint(const char* editName) {
  CTrekData* group = SelectedGroup();
  if (!group || !CanRemoveSelectedWaypoint()) return;
  CTrekEditScope edit(*this, *group, editName);
  std::unique_ptr<CMarkerPoint> taken = takeOwned(group->Waypoints(), SelectedWaypoint());
  if (!taken) return;
  Discard(*group, std::move(taken));
  afterItemRemoved(*group);
}

void CTrekGroupList::removeSelectedTrackLog(const char* editName) {
  CTrekData* group = SelectedGroup();
  if (!group || !CanRemoveSelectedTrackLog()) return;
  CTrekEditScope edit(*this, *group, editName);
  std::unique_ptr<CTrackLog> taken = takeOwned(group->TrackLogs(), SelectedTrackLog());
  if (!taken) return;
  Discard(*group, std::move(taken));
  afterItemRemoved(*group);
}

bool CTrekGroupList::DeleteWaypoint() {
  const CMarkerPoint* point = SelectedWaypoint();
  if (!point || !SelectedGroup() || !CanRemoveSelectedWaypoint()) return false;
  if (!askDelete("ポイント [" + toUtf8Lossy(point->name) + "] を削除しますか?  ")) return false;
  removeSelectedWaypoint("ウェイポイントの削除");
  return true;
}

bool CTrekGroupList::DeleteTrackLog() {
  const CTrackLog* log = SelectedTrackLog();
  if (!log || !SelectedGroup() || !CanRemoveSelectedTrackLog()) return false;
  if (!askDelete("トラックログ[" + toUtf8Lossy(log->name) + "] を削除しますか?  ")) return false;
  removeSelectedTrackLog("トラックログの削除");
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
  removeSelectedWaypoint("ウェイポイントの切り取り");
}

bool CTrekGroupList::PasteWaypoint() {
  if (!m_waypointClipboard) return false;
  CTrekData* group = SelectedGroup();
  std::optional<CTrekEditScope> edit;
  if (group) edit.emplace(*this, *group, "ウェイポイントの貼り付け");
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
  removeSelectedTrackLog("トラックログの切り取り");
}

bool CTrekGroupList::PasteTrackLog() {
  if (!m_trackLogClipboard) return false;
  CTrekData* group = SelectedGroup();
  std::optional<CTrekEditScope> edit;
  if (group) edit.emplace(*this, *group, "トラックログの貼り付け");
  auto copy = std::make_unique<CTrackLog>(*m_trackLogClipboard);
  return AddTrackLog(m_selection.groupIndex, std::move(copy), true, false) != nullptr;
}

bool CTrekGroupList::RenameGroup(int groupIndex, std::string_view nameUtf8) {
  CTrekData* group = Group(groupIndex);
  if (!group) return false;
  if (!trek::ReportInputProblem(trek::CheckGroupRename(nameUtf8))) return false;
  CTrekEditScope edit(*this, *group, "グループ名の変更");
  group->SetGroupName(trek::ToModelText(nameUtf8));
  markModified(*group);
  NotifyDataChanged();
  return true;
}

bool CTrekGroupList::EditSelectedWaypoint(const trek::SWaypointInput& input,
                                          const std::function<void(CMarkerPoint&)>& afterApply) {
  CMarkerPoint* point = SelectedWaypoint();
  CTrekData* group = SelectedGroup();
  if (!point || !group) return false;
  if (!trek::ReportInputProblem(trek::CheckWaypointInput(input))) return false;
  CTrekEditScope edit(*this, *group, "ウェイポイントの編集");
  edit.Touch(point);
  const CMarkerPoint before = *point;
  trek::ApplyWaypointInput(*point, input);
  if (afterApply) afterApply(*point);
  // A point only dragged to another place is named as a move.
  CMarkerPoint moved = before;
  moved.latitude = point->latitude;
  moved.longitude = point->longitude;
  if (!(moved == before)) {
    // Sheet names follow the position; they do not make it more than a move.
    moved.meshCode = point->meshCode;
    moved.sheetName25000 = point->sheetName25000;
    moved.sheetName50000 = point->sheetName50000;
    moved.areaName = point->areaName;
    moved.indexDirectory = point->indexDirectory;
    if (moved == *point) edit.SetText("ウェイポイントの移動");
  }
  markModified(*group);
  NotifyDataChanged();
  return true;
}

bool CTrekGroupList::EditSelectedTrackLog(const trek::STrackLogInput& input) {
  CTrackLog* log = SelectedTrackLog();
  CTrekData* group = SelectedGroup();
  if (!log || !group) return false;
  if (!trek::ReportInputProblem(trek::CheckTrackLogInput(input))) return false;
  CTrekEditScope edit(*this, *group, "トラックログの編集");
  edit.Touch(log);
  trek::ApplyTrackLogInput(*log, input);
  markModified(*group);
  NotifyDataChanged();
  return true;
}

bool CTrekGroupList::DeleteSelectedTrackPoint() {
  CTrekData* group = SelectedGroup();
  CTrackLog* log = SelectedTrackLog();
  if (!group || !log || !SelectedTrackPoint()) return false;
  CTrekEditScope edit(*this, *group, "トラックポイントの削除");
  edit.Touch(log);
  edit.m_sessionEdit = true;
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
  CTrekEditScope edit(*this, *Group(groupIndex), "GPS表示名の変更");
  edit.Touch(&point);
  point.gpsName = trek::ToModelText(nameUtf8);
  markModified(*Group(groupIndex));
  return true;
}

bool CTrekGroupList::SetTrackLogGpsName(int groupIndex, CTrackLog& log, std::string_view nameUtf8) {
  if (!contains(groupIndex, &log)) return false;
  if (!trek::ReportInputProblem(trek::CheckGpsNameEdit(nameUtf8, trek::kMaxTrackLogGpsName))) return false;
  CTrekEditScope edit(*this, *Group(groupIndex), "GPS表示名の変更");
  edit.Touch(&log);
  log.gpsName = trek::ToModelText(nameUtf8);
  markModified(*Group(groupIndex));
  return true;
}

bool CTrekGroupList::MoveSelectedTrackPoint(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum) {
  CTrekData* group = SelectedGroup();
  CTrackLog* log = SelectedTrackLog();
  CTrackPoint* point = SelectedTrackPoint();
  if (!group || !log || !point) return false;
  CTrekEditScope edit(*this, *group, "トラックポイントの移動");
  edit.Touch(log);
  edit.m_sessionEdit = true;
  point->SetPosition(latitude, longitude, datum);
  markModified(*group);
  NotifyDataChanged();
  return true;
}
