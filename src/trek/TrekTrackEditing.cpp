// Track log edits of CTrekGroupList: split, join, delete a range, reverse and thin, each one
// undo entry named after the edit.
#include <algorithm>

#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"

namespace {

bool refused(trek::ETrackEditError error) {
  if (error == trek::ETrackEditError::None) return false;
  platform::prompt().warn(trek::TrackEditErrorText(error));
  return true;
}

}  // namespace

bool CTrekGroupList::CanEditTrackLogs(int groupIndex) const {
  const CTrekData* group = Group(groupIndex);
  return group && group->Kind() == CTrekData::kTrackLogGroup && group != m_hold.group && !m_locked &&
         !m_trackLogEditing && !InTrackLogSession();
}

bool CTrekGroupList::SplitSelectedTrackLog() {
  const int groupIndex = m_selection.groupIndex;
  CTrekData* group = SelectedGroup();
  CTrackLog* log = SelectedTrackLog();
  if (!group || !log || !SelectedTrackPoint() || !CanEditTrackLogs(groupIndex)) return false;
  CTrekEditScope edit(*this, *group, trek::kSplitUndoText);
  edit.Touch(log);
  trek::SSplitResult r = trek::SplitTrackLog(*log, static_cast<std::size_t>(m_selection.pointIndex));
  if (refused(r.error)) return false;
  auto& logs = group->TrackLogs();
  const auto at = std::find_if(logs.begin(), logs.end(), [&](const auto& p) { return p.get() == log; });
  CTrackLog* second = r.second.get();
  logs.insert(at + 1, std::move(r.second));
  finishTrackLogEdit(*group, groupIndex, second);
  return true;
}

bool CTrekGroupList::JoinTrackLogs(int groupIndex, const std::vector<CTrackLog*>& logs, trek::EJoinOrder order) {
  CTrekData* group = Group(groupIndex);
  if (!group || !CanEditTrackLogs(groupIndex)) return false;
  for (const CTrackLog* l : logs)
    if (!contains(groupIndex, l)) return false;
  std::vector<const CTrackLog*> given(logs.begin(), logs.end());
  if (refused(trek::CheckJoin(given))) return false;
  const std::vector<std::size_t> sequence = trek::JoinOrder(given, order);
  CTrackLog* target = logs[sequence.front()];
  CTrekEditScope edit(*this, *group, trek::kJoinUndoText);
  edit.Touch(target);
  CTrackLog joined = trek::JoinTrackLogs(given, sequence);
  *target = std::move(joined);
  auto& list = group->TrackLogs();
  for (CTrackLog* l : logs) {
    if (l == target) continue;
    const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == l; });
    std::unique_ptr<CTrackLog> taken = std::move(*it);
    list.erase(it);
    Discard(*group, std::move(taken));
  }
  finishTrackLogEdit(*group, groupIndex, target);
  return true;
}

bool CTrekGroupList::DeleteSelectedTrackPoints(std::size_t from, std::size_t to) {
  const int groupIndex = m_selection.groupIndex;
  CTrekData* group = SelectedGroup();
  CTrackLog* log = SelectedTrackLog();
  if (!group || !log || !CanEditTrackLogs(groupIndex)) return false;
  CTrekEditScope edit(*this, *group, trek::kDeleteRangeUndoText);
  edit.Touch(log);
  if (refused(trek::DeleteTrackPoints(*log, from, to))) return false;
  finishTrackLogEdit(*group, groupIndex, log);
  return true;
}

bool CTrekGroupList::ReverseSelectedTrackLog() {
  CTrekData* group = SelectedGroup();
  CTrackLog* log = SelectedTrackLog();
  if (!group || !log || !CanEditTrackLogs(m_selection.groupIndex)) return false;
  CTrekEditScope edit(*this, *group, trek::kReverseUndoText);
  edit.Touch(log);
  trek::ReverseTrackLog(*log);
  // The selected point follows its point to the other end.
  if (m_selection.kind == kTrekTrackPoint && m_selection.pointIndex >= 0)
    m_selection.pointIndex = static_cast<int>(log->Points().size()) - 1 - m_selection.pointIndex;
  markModified(*group);
  NotifyDataChanged();
  notifySelection();
  return true;
}

bool CTrekGroupList::ThinSelectedTrackLog(const trek::SThinPlan& plan) {
  const int groupIndex = m_selection.groupIndex;
  CTrekData* group = SelectedGroup();
  CTrackLog* log = SelectedTrackLog();
  if (!group || !log || !CanEditTrackLogs(groupIndex)) return false;
  if (refused(plan.error)) return false;
  const std::size_t n = log->Points().size();
  // A plan made for other points (the log changed meanwhile) is refused.
  if (!plan.kept.empty() && (plan.kept.back() >= n || plan.kept.front() != 0 || plan.kept.back() != n - 1 ||
                             !std::is_sorted(plan.kept.begin(), plan.kept.end())))
    return false;
  if (plan.kept.empty() && n != 0) return false;
  if (plan.kept.size() == n) return true;  // nothing to drop: no entry
  CTrekEditScope edit(*this, *group, trek::kThinUndoText);
  edit.Touch(log);
  trek::ApplyThin(*log, plan);
  finishTrackLogEdit(*group, groupIndex, log);
  return true;
}

void CTrekGroupList::finishTrackLogEdit(CTrekData& group, int groupIndex, CTrackLog* log) {
  markModified(group);
  STrekSelection s;
  s.kind = kTrekTrackLog;
  s.groupIndex = groupIndex;
  s.trackLog = log;
  m_selection = s;
  NotifyDataChanged();
  notifySelection();
}
