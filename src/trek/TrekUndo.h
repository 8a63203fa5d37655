#pragma once
// Undo and redo of trek edits. An entry records what one edit changed in one group: the group
// name, the order of its waypoints or track logs (by identity), the values of the items the edit
// touched (a track log's points only between the head and tail that stayed the same), and the
// selection before and after. Items an edit takes out of a group live on in its entry, so that
// undoing puts the very same object back and nothing that points at it is left dangling.
#include <QUndoCommand>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekData.h"

class CTrekGroupList;
struct STrekSelection;

namespace trek {

/// A track log's fields other than its points.
struct STrackLogHeader {
  std::string name, gpsName, description1, description2;
  std::uint8_t color = 255;
  std::int32_t reserved = 0, display = 1, reserved2 = 1, sendAsActiveLog = 0;
  static STrackLogHeader Of(const CTrackLog& log);
  void ApplyTo(CTrackLog& log) const;
  bool operator==(const STrackLogHeader&) const = default;
};

/// How a point list changed: the points between a head and a tail that stayed, and how the
/// tail's numbers moved (deleting a point numbers the ones after it one lower).
struct SPointsChange {
  std::size_t head = 0;
  std::size_t tail = 0;
  std::vector<CTrackPoint> before, after;  ///< between head and tail
  std::int64_t tailShift = 0;              ///< after minus before, for every tail point
  std::vector<std::int32_t> tailBefore, tailAfter;  ///< tail numbers when the shift is not one value
  [[nodiscard]] static SPointsChange Between(const std::vector<CTrackPoint>& before,
                                             const std::vector<CTrackPoint>& after);
  [[nodiscard]] bool Empty() const;
  /// `points` holds the other state's number of points.
  [[nodiscard]] bool Fits(const std::vector<CTrackPoint>& points, bool toBefore) const;
  void Apply(std::vector<CTrackPoint>& points, bool toBefore) const;
};

/// How a list of owned items changed order or membership, by identity, between a common head
/// and tail.
template <class T>
struct SOrderChange {
  std::size_t head = 0;
  std::size_t tail = 0;
  std::vector<T*> before, after;
  [[nodiscard]] bool Empty() const { return before.empty() && after.empty(); }
};

/// Everything one edit changed in one group.
struct SGroupChange {
  CTrekData* group = nullptr;
  bool nameChanged = false;
  std::string nameBefore, nameAfter;
  SOrderChange<CMarkerPoint> waypointOrder;
  SOrderChange<CTrackLog> trackLogOrder;
  SOrderChange<CRoute> routeOrder;
  struct SRouteValue {
    CRoute* item;
    CRoute before, after;
  };
  std::vector<SRouteValue> routes;
  struct SWaypointValue {
    CMarkerPoint* item;
    CMarkerPoint before, after;
  };
  struct STrackLogValue {
    CTrackLog* item;
    STrackLogHeader before, after;
    SPointsChange points;
  };
  std::vector<SWaypointValue> waypoints;
  std::vector<STrackLogValue> trackLogs;
  /// Items out of the group in the state it is in now.
  std::vector<std::unique_ptr<CMarkerPoint>> parkedWaypoints;
  std::vector<std::unique_ptr<CTrackLog>> parkedTrackLogs;
  std::vector<std::unique_ptr<CRoute>> parkedRoutes;

  [[nodiscard]] bool Empty() const;
  /// The group is in the state the other side of this change left it in.
  [[nodiscard]] bool Fits(bool toBefore) const;
  /// Puts the group in the state before (or after) the change.
  void Apply(bool toBefore);
};

/// A selection kept by an entry: the group by identity, as indexes shift when groups close.
struct SKeptSelection {
  const CTrekData* group = nullptr;
  std::int32_t kind = 0;
  CMarkerPoint* waypoint = nullptr;
  CTrackLog* trackLog = nullptr;
  int pointIndex = -1;
  CRoute* route = nullptr;
};

}  // namespace trek

/// One entry of the trek undo stack: a group change, or a pair of actions that change no group
/// (the list's sort order).
class CTrekUndoEntry : public QUndoCommand {
 public:
  CTrekUndoEntry(CTrekGroupList& list, const std::string& textUtf8);

  /// The group this entry changes, null for none.
  [[nodiscard]] const CTrekData* group() const { return m_change ? m_change->group : nullptr; }
  [[nodiscard]] const void* owner() const { return m_owner; }
  [[nodiscard]] int session() const { return m_session; }
  /// The group is in the state this entry's undo (or redo) expects.
  [[nodiscard]] bool fits(bool toBefore) const { return !m_change || m_change->Fits(toBefore); }
  /// A new entry with this one's content, which is left empty; for rebuilding the stack.
  [[nodiscard]] std::unique_ptr<CTrekUndoEntry> takeOver();
  /// Forgets selections that lie in `group`.
  void forgetGroup(const CTrekData* group);
  /// While set, undo and redo only note the state (the stack is being rebuilt).
  void setSilent(bool silent) { m_silent = silent; }

  void undo() override;
  void redo() override;

 private:
  friend class CTrekGroupList;
  void apply(bool toBefore);

  CTrekGroupList& m_list;
  std::unique_ptr<trek::SGroupChange> m_change;
  trek::SKeptSelection m_selectionBefore, m_selectionAfter;
  std::function<void()> m_undoAction, m_redoAction;
  const void* m_owner = nullptr;
  int m_session = 0;
  bool m_done = true;  ///< pushed after the edit was made: the stack's first redo does nothing
  bool m_silent = false;
};

/// Makes everything changed in one group, from its construction to its end, one undo entry
/// named `textUtf8` ("ウェイポイントの削除"). Items the edit touches in place are named with
/// Touch before they change; items it removes are handed to CTrekGroupList::Discard. A scope
/// opened while another is open for the same group joins it.
class CTrekEditScope {
 public:
  CTrekEditScope(CTrekGroupList& list, CTrekData& group, std::string textUtf8);
  ~CTrekEditScope();
  CTrekEditScope(const CTrekEditScope&) = delete;
  CTrekEditScope& operator=(const CTrekEditScope&) = delete;

  void Touch(CMarkerPoint* point);
  void Touch(CTrackLog* log);
  void Touch(CRoute* route);
  /// The entry's name, when it is known only once the edit is done.
  void SetText(std::string textUtf8);

 private:
  friend class CTrekGroupList;
  /// What changed since the scope began; null when nothing did.
  [[nodiscard]] std::unique_ptr<trek::SGroupChange> takeChange();

  CTrekGroupList& m_list;
  CTrekData* m_group;
  CTrekEditScope* m_outer = nullptr;     ///< the scope this one joined
  CTrekEditScope* m_previous = nullptr;  ///< the scope open (for another group) before this one
  bool m_sessionEdit = false;            ///< a point edit of the track log window
  std::string m_text;
  std::string m_name;
  std::vector<CMarkerPoint*> m_waypointOrder;
  std::vector<CTrackLog*> m_trackLogOrder;
  std::vector<CRoute*> m_routeOrder;
  std::vector<std::pair<CRoute*, CRoute>> m_routes;
  std::vector<std::unique_ptr<CRoute>> m_removedRoutes;
  std::vector<std::pair<CMarkerPoint*, CMarkerPoint>> m_waypoints;
  std::vector<std::pair<CTrackLog*, CTrackLog>> m_trackLogs;
  std::vector<std::unique_ptr<CMarkerPoint>> m_removedWaypoints;
  std::vector<std::unique_ptr<CTrackLog>> m_removedTrackLogs;
  trek::SKeptSelection m_selection;
};
