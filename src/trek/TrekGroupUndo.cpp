// The undo stack of CTrekGroupList: recording edits, undo and redo, removing the entries of a
// closed group, and the track log window's session.
#include <QSignalBlocker>
#include <algorithm>

#include "trek/CTrekGroupList.h"
#include "trek/TrekUndo.h"

CTrekGroupList::CTrekGroupList() { m_undo.setUndoLimit(kUndoLimit); }

trek::SKeptSelection CTrekGroupList::keptSelection() const {
  trek::SKeptSelection k;
  k.group = Group(m_selection.groupIndex);
  if (!k.group) return k;
  k.kind = m_selection.kind;
  k.waypoint = m_selection.waypoint;
  k.trackLog = m_selection.trackLog;
  k.route = m_selection.route;
  k.pointIndex = m_selection.pointIndex;
  return k;
}

void CTrekGroupList::restoreSelection(const trek::SKeptSelection& kept, const CTrekData* fallback) {
  STrekSelection s;
  s.groupIndex = IndexOf(kept.group);
  s.kind = kept.kind;
  s.waypoint = kept.waypoint;
  s.trackLog = kept.trackLog;
  s.route = kept.route;
  s.pointIndex = kept.pointIndex;
  const CTrekData* g = Group(s.groupIndex);
  bool valid = g != nullptr;
  if (valid) {
    switch (s.kind) {
      case kTrekWaypointGroup:
      case kTrekTrackLogGroup:
      case kTrekRouteGroup: valid = g->Kind() == s.kind; break;
      case kTrekRoute: valid = contains(s.groupIndex, s.route); break;
      case kTrekRoutePoint:
        valid = contains(s.groupIndex, s.route) && s.pointIndex >= 0 &&
                static_cast<std::size_t>(s.pointIndex) < s.route->points.size();
        break;
      case kTrekWaypoint: valid = contains(s.groupIndex, s.waypoint); break;
      case kTrekTrackLog: valid = contains(s.groupIndex, s.trackLog); break;
      case kTrekTrackPoint:
        valid = contains(s.groupIndex, s.trackLog) && s.pointIndex >= 0 &&
                static_cast<std::size_t>(s.pointIndex) < s.trackLog->Points().size();
        break;
      default: valid = false;
    }
  }
  if (!valid) {
    s = {};
    // Nothing was selected then: nothing is now. What is gone gives way to its group.
    if (const int index = IndexOf(fallback); index >= 0 && kept.group) {
      s.groupIndex = index;
      s.kind = fallback->Kind();
    }
  }
  m_selection = s;
}

CTrekEditScope* CTrekGroupList::scopeFor(const CTrekData& group) const {
  for (CTrekEditScope* s = m_edit; s; s = s->m_previous)
    if (s->m_group == &group) return s;
  return nullptr;
}

void CTrekGroupList::Discard(CTrekData& group, std::unique_ptr<CMarkerPoint> point) {
  if (CTrekEditScope* s = scopeFor(group)) s->m_removedWaypoints.push_back(std::move(point));
}

void CTrekGroupList::Discard(CTrekData& group, std::unique_ptr<CTrackLog> log) {
  if (CTrekEditScope* s = scopeFor(group)) s->m_removedTrackLogs.push_back(std::move(log));
}

void CTrekGroupList::Discard(CTrekData& group, std::unique_ptr<CRoute> route) {
  if (CTrekEditScope* s = scopeFor(group)) s->m_removedRoutes.push_back(std::move(route));
}

void CTrekGroupList::finishEdit(CTrekEditScope& scope) {
  std::unique_ptr<trek::SGroupChange> change = scope.takeChange();
  if (!change) return;
  auto entry = std::make_unique<CTrekUndoEntry>(*this, scope.m_text);
  entry->m_change = std::move(change);
  entry->m_selectionBefore = scope.m_selection;
  entry->m_selectionAfter = keptSelection();
  if (scope.m_sessionEdit && m_session.group == scope.m_group) entry->m_session = m_session.id;
  m_undo.push(entry.release());  // its first redo does nothing: the edit is made already
}

void CTrekGroupList::PushUndoAction(const std::string& textUtf8, std::function<void()> undo,
                                    std::function<void()> redo, const void* owner) {
  auto entry = std::make_unique<CTrekUndoEntry>(*this, textUtf8);
  entry->m_undoAction = std::move(undo);
  entry->m_redoAction = std::move(redo);
  entry->m_owner = owner;
  m_undo.push(entry.release());
}

CTrekUndoEntry* CTrekGroupList::entryAt(int index) const {
  // Every entry is pushed here, so every command of the stack is one.
  return static_cast<CTrekUndoEntry*>(const_cast<QUndoCommand*>(m_undo.command(index)));
}

bool CTrekGroupList::CanUndo() const {
  return m_undo.canUndo() && !m_locked && !m_trackLogEditing && !m_hold.group && !m_edit;
}

bool CTrekGroupList::CanRedo() const {
  return m_undo.canRedo() && !m_locked && !m_trackLogEditing && !m_hold.group && !m_edit;
}

bool CTrekGroupList::step(bool undo) {
  if (undo ? !CanUndo() : !CanRedo()) return false;
  const CTrekUndoEntry* entry = entryAt(undo ? m_undo.index() - 1 : m_undo.index());
  if (!entry || !entry->fits(undo)) {
    // The data was changed behind the stack's back: its entries can no longer be trusted.
    m_undo.clear();
    return false;
  }
  if (undo) m_undo.undo();
  else m_undo.redo();
  return true;
}

bool CTrekGroupList::Undo() { return step(true); }
bool CTrekGroupList::Redo() { return step(false); }

std::string CTrekGroupList::UndoName() const { return m_undo.canUndo() ? m_undo.undoText().toStdString() : std::string(); }
std::string CTrekGroupList::RedoName() const { return m_undo.canRedo() ? m_undo.redoText().toStdString() : std::string(); }

void CTrekGroupList::removeEntries(const std::function<bool(const CTrekUndoEntry&)>& drop) {
  const int count = m_undo.count();
  const int index = m_undo.index();
  bool any = false;
  for (int i = 0; i < count && !any; ++i) any = drop(*entryAt(i));
  if (!any) return;
  std::vector<std::unique_ptr<CTrekUndoEntry>> kept;
  int keptIndex = 0;
  for (int i = 0; i < count; ++i) {
    CTrekUndoEntry* e = entryAt(i);
    if (drop(*e)) continue;
    kept.push_back(e->takeOver());
    if (i < index) ++keptIndex;
  }
  {
    // Entries are put back as they stand: no undo or redo runs while the stack is rebuilt, and
    // the steps in between are nobody's business.
    const QSignalBlocker quiet(&m_undo);
    m_undo.clear();
    std::vector<CTrekUndoEntry*> placed;
    for (auto& e : kept) {
      e->setSilent(true);
      placed.push_back(e.get());
      m_undo.push(e.release());
    }
    m_undo.setIndex(keptIndex);
    for (CTrekUndoEntry* e : placed) e->setSilent(false);
  }
  emit m_undo.indexChanged(m_undo.index());
}

void CTrekGroupList::DropUndoEntries(const void* owner) {
  if (!owner) return;
  removeEntries([owner](const CTrekUndoEntry& e) { return e.owner() == owner; });
}

void CTrekGroupList::BeginTrackLogSession() {
  CTrackLog* log = SelectedTrackLog();
  m_session = {};
  if (!log) return;
  m_session.id = m_nextSession++;
  m_session.group = SelectedGroup();
  m_session.log = log;
  m_session.copy = *log;
}

void CTrekGroupList::EndTrackLogSession(bool keep) {
  if (!m_session.log) return;
  const int id = m_session.id;
  CTrekData* group = Group(IndexOf(m_session.group));
  if (!keep && group) {
    const bool changed = !(m_session.log->Points() == m_session.copy.Points());
    m_session.log->Points() = std::move(m_session.copy.Points());
    removeEntries([id](const CTrekUndoEntry& e) { return e.session() == id; });
    if (changed) {
      STrekSelection s;
      s.kind = kTrekTrackLog;
      s.groupIndex = IndexOf(group);
      s.trackLog = m_session.log;
      m_selection = s;
      NotifyDataChanged();
      notifySelection();
    }
  }
  m_session = {};
}
