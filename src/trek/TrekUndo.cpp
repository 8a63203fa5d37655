#include "trek/TrekUndo.h"

#include <algorithm>
#include <limits>

#include "trek/CTrekGroupList.h"

namespace trek {

namespace {

bool sameAngle(const DmsAngle& a, const DmsAngle& b) {
  return a.degrees == b.degrees && a.minutes == b.minutes && a.seconds == b.seconds;
}

// Equal in everything but the number, which deleting a point shifts for all that follow.
bool samePointButNumber(const CTrackPoint& a, const CTrackPoint& b) {
  return a.reserved == b.reserved && a.altitude == b.altitude && sameAngle(a.latitude, b.latitude) &&
         sameAngle(a.longitude, b.longitude) && a.time == b.time;
}

}  // namespace

template <class T>
SOrderChange<T> orderChangeOf(const std::vector<T*>& before, const std::vector<T*>& after) {
  SOrderChange<T> c;
  const std::size_t n = std::min(before.size(), after.size());
  while (c.head < n && before[c.head] == after[c.head]) ++c.head;
  while (c.tail < n - c.head && before[before.size() - 1 - c.tail] == after[after.size() - 1 - c.tail]) ++c.tail;
  c.before.assign(before.begin() + std::ptrdiff_t(c.head), before.end() - std::ptrdiff_t(c.tail));
  c.after.assign(after.begin() + std::ptrdiff_t(c.head), after.end() - std::ptrdiff_t(c.tail));
  return c;
}

namespace {

template <class T>
bool orderFits(const SOrderChange<T>& c, const std::vector<std::unique_ptr<T>>& list, bool toBefore) {
  const std::vector<T*>& now = toBefore ? c.after : c.before;
  if (list.size() != c.head + now.size() + c.tail) return false;
  for (std::size_t i = 0; i < now.size(); ++i)
    if (list[c.head + i].get() != now[i]) return false;
  return true;
}

// Replaces the middle of `list` by the items the other side names, taken from the middle and
// from `parked`; what leaves the list is parked.
template <class T>
void applyOrder(const SOrderChange<T>& c, std::vector<std::unique_ptr<T>>& list,
                std::vector<std::unique_ptr<T>>& parked, bool toBefore) {
  if (c.Empty()) return;
  const std::vector<T*>& target = toBefore ? c.before : c.after;
  const std::size_t middle = (toBefore ? c.after : c.before).size();
  const auto first = list.begin() + std::ptrdiff_t(c.head);
  for (auto it = first; it != first + std::ptrdiff_t(middle); ++it) parked.push_back(std::move(*it));
  list.erase(first, first + std::ptrdiff_t(middle));
  std::vector<std::unique_ptr<T>> placed;
  placed.reserve(target.size());
  for (T* item : target) {
    const auto it = std::find_if(parked.begin(), parked.end(), [&](const auto& p) { return p.get() == item; });
    placed.push_back(std::move(*it));  // always there: Fits was checked first
    parked.erase(it);
  }
  list.insert(list.begin() + std::ptrdiff_t(c.head), std::make_move_iterator(placed.begin()),
              std::make_move_iterator(placed.end()));
}

template <class T>
bool parkedOrListed(const T* item, const std::vector<std::unique_ptr<T>>& list,
                    const std::vector<std::unique_ptr<T>>& parked) {
  const auto same = [&](const auto& p) { return p.get() == item; };
  return std::any_of(list.begin(), list.end(), same) || std::any_of(parked.begin(), parked.end(), same);
}

}  // namespace

STrackLogHeader STrackLogHeader::Of(const CTrackLog& log) {
  STrackLogHeader h;
  h.name = log.name;
  h.gpsName = log.gpsName;
  h.description1 = log.description1;
  h.description2 = log.description2;
  h.color = log.color;
  h.reserved = log.reserved;
  h.display = log.display;
  h.reserved2 = log.reserved2;
  h.sendAsActiveLog = log.SendAsActiveLog();
  return h;
}

void STrackLogHeader::ApplyTo(CTrackLog& log) const {
  log.name = name;
  log.gpsName = gpsName;
  log.description1 = description1;
  log.description2 = description2;
  log.color = color;
  log.reserved = reserved;
  log.display = display;
  log.reserved2 = reserved2;
  log.SetSendAsActiveLog(sendAsActiveLog);
}

SPointsChange SPointsChange::Between(const std::vector<CTrackPoint>& before, const std::vector<CTrackPoint>& after) {
  SPointsChange c;
  const std::size_t n = std::min(before.size(), after.size());
  while (c.head < n && before[c.head] == after[c.head]) ++c.head;
  while (c.tail < n - c.head &&
         samePointButNumber(before[before.size() - 1 - c.tail], after[after.size() - 1 - c.tail]))
    ++c.tail;
  c.before.assign(before.begin() + std::ptrdiff_t(c.head), before.end() - std::ptrdiff_t(c.tail));
  c.after.assign(after.begin() + std::ptrdiff_t(c.head), after.end() - std::ptrdiff_t(c.tail));
  bool uniform = true;
  for (std::size_t k = 0; k < c.tail; ++k) {
    const std::int64_t shift = std::int64_t{after[after.size() - c.tail + k].number} -
                               std::int64_t{before[before.size() - c.tail + k].number};
    if (k == 0) c.tailShift = shift;
    uniform = uniform && shift == c.tailShift;
  }
  if (!uniform) {
    // Numbers held at the end of their range did not move with the rest: keep them all.
    c.tailShift = 0;
    for (std::size_t k = 0; k < c.tail; ++k) {
      c.tailBefore.push_back(before[before.size() - c.tail + k].number);
      c.tailAfter.push_back(after[after.size() - c.tail + k].number);
    }
  }
  return c;
}

bool SPointsChange::Empty() const {
  return before.empty() && after.empty() && tailShift == 0 && tailBefore == tailAfter;
}

bool SPointsChange::Fits(const std::vector<CTrackPoint>& points, bool toBefore) const {
  return points.size() == head + (toBefore ? after.size() : before.size()) + tail;
}

void SPointsChange::Apply(std::vector<CTrackPoint>& points, bool toBefore) const {
  const std::vector<CTrackPoint>& target = toBefore ? before : after;
  const std::size_t middle = (toBefore ? after : before).size();
  const auto first = points.begin() + std::ptrdiff_t(head);
  if (middle == target.size()) {
    std::copy(target.begin(), target.end(), first);
  } else {
    points.erase(first, first + std::ptrdiff_t(middle));
    points.insert(points.begin() + std::ptrdiff_t(head), target.begin(), target.end());
  }
  const std::size_t tailStart = points.size() - tail;
  if (!tailBefore.empty()) {
    const std::vector<std::int32_t>& numbers = toBefore ? tailBefore : tailAfter;
    for (std::size_t k = 0; k < tail; ++k) points[tailStart + k].number = numbers[k];
  } else if (tailShift != 0) {
    const std::int64_t shift = toBefore ? -tailShift : tailShift;
    for (std::size_t k = 0; k < tail; ++k)
      points[tailStart + k].number = static_cast<std::int32_t>(points[tailStart + k].number + shift);
  }
}

bool SGroupChange::Empty() const {
  return !nameChanged && waypointOrder.Empty() && trackLogOrder.Empty() && routeOrder.Empty() && waypoints.empty() &&
         trackLogs.empty() && routes.empty();
}

bool SGroupChange::Fits(bool toBefore) const {
  if (!group) return false;
  if (!orderFits(waypointOrder, group->Waypoints(), toBefore) ||
      !orderFits(trackLogOrder, group->TrackLogs(), toBefore) || !orderFits(routeOrder, group->Routes(), toBefore))
    return false;
  for (const auto& r : routes)
    if (!parkedOrListed(r.item, group->Routes(), parkedRoutes)) return false;
  for (const auto& w : waypoints)
    if (!parkedOrListed(w.item, group->Waypoints(), parkedWaypoints)) return false;
  for (const auto& t : trackLogs) {
    if (!parkedOrListed(t.item, group->TrackLogs(), parkedTrackLogs)) return false;
    if (!t.points.Fits(t.item->Points(), toBefore)) return false;
  }
  return true;
}

void SGroupChange::Apply(bool toBefore) {
  if (nameChanged) group->SetGroupName(toBefore ? nameBefore : nameAfter);
  applyOrder(waypointOrder, group->Waypoints(), parkedWaypoints, toBefore);
  applyOrder(trackLogOrder, group->TrackLogs(), parkedTrackLogs, toBefore);
  applyOrder(routeOrder, group->Routes(), parkedRoutes, toBefore);
  for (const auto& r : routes) *r.item = toBefore ? r.before : r.after;
  for (const auto& w : waypoints) *w.item = toBefore ? w.before : w.after;
  for (const auto& t : trackLogs) {
    (toBefore ? t.before : t.after).ApplyTo(*t.item);
    t.points.Apply(t.item->Points(), toBefore);
  }
  // Undoing is a change too: the file no longer holds what the group holds.
  group->SetModified(1);
}

}  // namespace trek

// --- entries

CTrekUndoEntry::CTrekUndoEntry(CTrekGroupList& list, const std::string& textUtf8)
    : QUndoCommand(QString::fromStdString(textUtf8)), m_list(list) {}

std::unique_ptr<CTrekUndoEntry> CTrekUndoEntry::takeOver() {
  auto e = std::make_unique<CTrekUndoEntry>(m_list, text().toStdString());
  e->m_change = std::move(m_change);
  e->m_selectionBefore = m_selectionBefore;
  e->m_selectionAfter = m_selectionAfter;
  e->m_undoAction = std::move(m_undoAction);
  e->m_redoAction = std::move(m_redoAction);
  e->m_owner = m_owner;
  e->m_session = m_session;
  e->m_done = m_done;
  return e;
}

void CTrekUndoEntry::forgetGroup(const CTrekData* group) {
  for (trek::SKeptSelection* s : {&m_selectionBefore, &m_selectionAfter})
    if (s->group == group) *s = {};
}

void CTrekUndoEntry::undo() {
  if (!m_silent) apply(true);
  m_done = false;
}

void CTrekUndoEntry::redo() {
  // The first redo comes from the push, after the edit itself was made.
  if (!m_silent && !m_done) apply(false);
  m_done = true;
}

void CTrekUndoEntry::apply(bool toBefore) {
  if (m_change) {
    m_change->Apply(toBefore);
    m_list.restoreSelection(toBefore ? m_selectionBefore : m_selectionAfter, m_change->group);
    m_list.NotifyDataChanged();
    m_list.notifySelection();
    return;
  }
  const auto& action = toBefore ? m_undoAction : m_redoAction;
  if (action) action();
}

// --- scopes

CTrekEditScope::CTrekEditScope(CTrekGroupList& list, CTrekData& group, std::string textUtf8)
    : m_list(list), m_group(&group), m_text(std::move(textUtf8)) {
  if (CTrekEditScope* outer = list.scopeFor(group)) {
    m_outer = outer;
    return;
  }
  m_name = group.GroupName();
  for (const auto& w : group.Waypoints()) m_waypointOrder.push_back(w.get());
  for (const auto& t : group.TrackLogs()) m_trackLogOrder.push_back(t.get());
  for (const auto& r : group.Routes()) m_routeOrder.push_back(r.get());
  m_selection = list.keptSelection();
  m_previous = list.m_edit;
  list.m_edit = this;
}

CTrekEditScope::~CTrekEditScope() {
  if (m_outer) return;
  m_list.m_edit = m_previous;
  m_list.finishEdit(*this);
}

void CTrekEditScope::Touch(CMarkerPoint* point) {
  if (m_outer) return m_outer->Touch(point);
  if (!point || std::any_of(m_waypoints.begin(), m_waypoints.end(), [&](const auto& w) { return w.first == point; }))
    return;
  m_waypoints.emplace_back(point, *point);
}

void CTrekEditScope::Touch(CTrackLog* log) {
  if (m_outer) return m_outer->Touch(log);
  if (!log || std::any_of(m_trackLogs.begin(), m_trackLogs.end(), [&](const auto& t) { return t.first == log; }))
    return;
  m_trackLogs.emplace_back(log, *log);
}

void CTrekEditScope::Touch(CRoute* route) {
  if (m_outer) return m_outer->Touch(route);
  if (!route || std::any_of(m_routes.begin(), m_routes.end(), [&](const auto& r) { return r.first == route; })) return;
  m_routes.emplace_back(route, *route);
}

void CTrekEditScope::SetText(std::string textUtf8) {
  if (m_outer) return;
  m_text = std::move(textUtf8);
}

std::unique_ptr<trek::SGroupChange> CTrekEditScope::takeChange() {
  auto c = std::make_unique<trek::SGroupChange>();
  CTrekData& g = *m_group;
  c->group = m_group;
  if (g.GroupName() != m_name) {
    c->nameChanged = true;
    c->nameBefore = m_name;
    c->nameAfter = g.GroupName();
  }
  std::vector<CMarkerPoint*> waypoints;
  for (const auto& w : g.Waypoints()) waypoints.push_back(w.get());
  std::vector<CTrackLog*> trackLogs;
  for (const auto& t : g.TrackLogs()) trackLogs.push_back(t.get());
  c->waypointOrder = trek::orderChangeOf(m_waypointOrder, waypoints);
  c->trackLogOrder = trek::orderChangeOf(m_trackLogOrder, trackLogs);
  std::vector<CRoute*> routes;
  for (const auto& r : g.Routes()) routes.push_back(r.get());
  c->routeOrder = trek::orderChangeOf(m_routeOrder, routes);
  for (auto& [item, before] : m_routes) {
    if (*item == before) continue;
    c->routes.push_back({item, std::move(before), *item});
  }
  c->parkedRoutes = std::move(m_removedRoutes);
  for (auto& [item, before] : m_waypoints) {
    if (*item == before) continue;
    c->waypoints.push_back({item, std::move(before), *item});
  }
  for (auto& [item, before] : m_trackLogs) {
    trek::SGroupChange::STrackLogValue v{item, trek::STrackLogHeader::Of(before), trek::STrackLogHeader::Of(*item),
                                         trek::SPointsChange::Between(before.Points(), item->Points())};
    if (v.before == v.after && v.points.Empty()) continue;
    c->trackLogs.push_back(std::move(v));
  }
  c->parkedWaypoints = std::move(m_removedWaypoints);
  c->parkedTrackLogs = std::move(m_removedTrackLogs);
  if (c->Empty()) return nullptr;
  return c;
}
