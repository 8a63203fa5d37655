#pragma once
// The open trek data groups in list order, the current trek selection, the two internal
// clipboards, and every operation on them: opening, saving and closing trek files, and
// editing waypoints and track logs. No widgets: questions and messages go through
// platform::prompt() and platform::fileDialog(), changes are told to one listener, which the
// document forwards as signals.
#include <QUndoStack>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekData.h"
#include "trek/TrekEditing.h"
#include "trek/TrekFileIdentity.h"
#include "trek/TrackEdits.h"
#include "trek/TrekUndo.h"

/// Kinds of a trek selection (also the list window's item kinds).
enum ETrekItemKind : std::int32_t {
  kTrekNone = 0,           ///< nothing; in a request from a group node: the group's own kind
  kTrekWaypointGroup = 1,
  kTrekTrackLog = 2,
  kTrekTrackLogGroup = 3,
  kTrekTrackPoint = 4,
  kTrekWaypoint = 5,
  kTrekRouteGroup = 6,
  kTrekRoute = 7,
  kTrekRoutePoint = 8,
};

/// The current trek selection. Waypoints and track logs are owned by their group and keep
/// their address while they exist; track points are held by value in their log, so a point is
/// named by its index.
struct STrekSelection {
  std::int32_t kind = kTrekNone;
  int groupIndex = -1;                 ///< -1: none
  CMarkerPoint* waypoint = nullptr;    ///< kind 5
  CTrackLog* trackLog = nullptr;       ///< kinds 2 and 4
  int pointIndex = -1;                 ///< kind 4: index into trackLog->Points(); kind 8: into route->points
  CRoute* route = nullptr;             ///< kinds 7 and 8
  bool operator==(const STrekSelection&) const = default;
};

/// Receives the changes of a CTrekGroupList.
class ITrekGroupListener {
 public:
  virtual ~ITrekGroupListener() = default;
  /// Groups or items were added, removed or renamed: refill the list, redraw the map.
  virtual void trekDataChanged() {}
  /// The current selection changed (after trekDataChanged when both happen).
  virtual void trekSelectionChanged(const STrekSelection& selection) { (void)selection; }
  /// The group was written to its file (its `modified` is now 0).
  virtual void trekGroupSaved(const CTrekData& group) { (void)group; }
};

class CTrekGroupList {
 public:
  using GroupList = std::vector<std::unique_ptr<CTrekData>>;

  CTrekGroupList();
  CTrekGroupList(const CTrekGroupList&) = delete;
  CTrekGroupList& operator=(const CTrekGroupList&) = delete;

  /// The one listener (not owned; null for none).
  void setListener(ITrekGroupListener* listener) { m_listener = listener; }

  // --- groups
  [[nodiscard]] const GroupList& Groups() const { return m_groups; }
  [[nodiscard]] int Count() const { return static_cast<int>(m_groups.size()); }
  /// The group at `index`, or null when out of range.
  [[nodiscard]] CTrekData* Group(int index);
  [[nodiscard]] const CTrekData* Group(int index) const;
  /// Index of a group of this list, -1 when it is not one.
  [[nodiscard]] int IndexOf(const CTrekData* group) const;
  /// Appends a group (the list takes it) and tells the listener; returns its index.
  int AppendGroup(std::unique_ptr<CTrekData> group);
  /// Tells the listener that groups changed (after additions made without refresh).
  void NotifyDataChanged();

  // --- selection
  [[nodiscard]] const STrekSelection& Selection() const { return m_selection; }
  /// Index of the group the selection lies in, -1 when none.
  [[nodiscard]] int SelectedGroupIndex() const { return m_selection.groupIndex; }
  [[nodiscard]] CTrekData* SelectedGroup() { return Group(m_selection.groupIndex); }
  [[nodiscard]] CMarkerPoint* SelectedWaypoint() const;
  [[nodiscard]] CTrackLog* SelectedTrackLog() const;
  /// The selected track point (kind 4), null otherwise. Valid until its log changes.
  [[nodiscard]] CTrackPoint* SelectedTrackPoint() const;
  /// The selected route (kinds 7 and 8), null otherwise.
  [[nodiscard]] CRoute* SelectedRoute() const;

  /// A selection made in the tree or on the map. Ignored while an editing window locks the
  /// trek data; while a track log is edited only that log and its points may be chosen. Kind 0
  /// becomes the group's own kind. A request naming an item that is not in the group, or a
  /// point beyond its log, is refused. Returns whether the selection was taken.
  bool Select(const STrekSelection& request);
  /// Selects nothing (not subject to the locks).
  void ClearSelection();

  /// Set while a waypoint window is open: the tree and the map cannot change the selection.
  void SetLocked(bool locked) { m_locked = locked; }
  [[nodiscard]] bool IsLocked() const { return m_locked; }
  /// Set while the track log window is open.
  void SetTrackLogEditing(bool editing) { m_trackLogEditing = editing; }
  [[nodiscard]] bool IsTrackLogEditing() const { return m_trackLogEditing; }

  /// What an open editing window works on. While held, the group cannot be closed and the item
  /// cannot be deleted or cut, so the window can always be completed; items added meanwhile
  /// (paste, download) leave the selection on the held item.
  struct SHold {
    const CTrekData* group = nullptr;
    const CMarkerPoint* waypoint = nullptr;
    const CTrackLog* trackLog = nullptr;
  };
  /// Holds the selected group and, with `item`, the selected waypoint or track log.
  void HoldSelection(bool item);
  void ReleaseHold() { m_hold = {}; }
  [[nodiscard]] const SHold& Held() const { return m_hold; }
  /// The selected group exists and is not held.
  [[nodiscard]] bool CanCloseSelectedGroup() const;
  /// A waypoint / track log is selected and not held.
  [[nodiscard]] bool CanRemoveSelectedWaypoint() const;
  [[nodiscard]] bool CanRemoveSelectedTrackLog() const;

  // --- files
  /// 1 = opened, or already open and reported; 0 = not opened (the caller reports it with
  /// OpenFailedText). A corrupt file is reported here and nothing is added. A converted old
  /// file is rewritten in the current version before this returns; the old file stays in
  /// place until the new one is complete.
  [[nodiscard]] int OpenTrekFile(const std::filesystem::path& path);
  /// "ファイル [ path ] を開く事ができませんでした。"
  [[nodiscard]] static std::string OpenFailedText(const std::filesystem::path& path);
  /// Writes the group to `path` (never in place: the previous file stays whole until the new
  /// one is complete) and clears `modified`. On failure tells the user, keeps `modified` and
  /// returns false. `filePath` is not changed here (see SaveGroupAs).
  bool SaveTrekFile(const std::filesystem::path& path, CTrekData& group);
  /// The save dialog with the overwrite question; empty when cancelled or for a group of no
  /// known kind. The kind's extension replaces the file name's own (from its last "."), so a
  /// folder name with a "." is never cut.
  [[nodiscard]] std::filesystem::path AskSavePath(const CTrekData& group);
  /// AskSavePath, then SaveTrekFile. Once written, the chosen file is the group's own:
  /// `filePath` names it (and the file records it), so a later save or close writes there and
  /// the file the group came from is left as it is. False when cancelled or the save failed
  /// (`filePath` then stays as it was).
  bool SaveGroupAs(CTrekData& group);
  /// Saves to the group's own file when it exists, otherwise as SaveGroupAs.
  bool SaveGroup(CTrekData& group);
  /// The save question for a modified group; false when the user cancelled, or answered Yes
  /// and the group could not be saved (it must not be closed then). A group without a file
  /// asks for a path and keeps it as in SaveGroupAs.
  bool ConfirmClose(CTrekData& group);
  /// ConfirmClose on the selected group, then removes it and selects nothing. False when
  /// nothing was closed, or the group is held by an editing window.
  bool CloseSelectedGroup();
  /// ConfirmClose for each group in list order; false at the first that may not close.
  bool ConfirmCloseAll();

  // --- files written by other programs
  /// "<path>は他のプログラムによって変更されました。読み込み直しますか?"
  [[nodiscard]] static std::string ChangedOnDiskText(const std::filesystem::path& path);
  /// "<path>は他のプログラムによって変更されています。上書きしますか?", asked by SaveTrekFile
  /// before it writes over a group's file that is no longer what the group last read or wrote
  /// (No: nothing is written and the group stays modified).
  [[nodiscard]] static std::string OverwriteChangedText(const std::filesystem::path& path);
  enum class EDiskCheck {
    Unchanged,  ///< the file holds what the group last read or wrote, or the user has been asked about it
    Changed,    ///< another program wrote it: asked (ChangedOnDiskText) and done as answered
    Missing,    ///< the file is gone: the group is marked modified, so closing offers to save it
    Busy,       ///< changed, but an editing window works on the group: look again later
  };
  /// Looks at the file of group `groupIndex`. When another program has changed it since this
  /// program last read or wrote it, asks once for that change: Yes reads the file again in
  /// place of the group (its unsaved changes go, as chosen), No keeps this program's version
  /// and marks it modified.
  EDiskCheck CheckFileOnDisk(int groupIndex);
  /// Reads the group's file again into the group (same place in the list; its edits leave the
  /// undo history). False, the group kept and marked modified, when the file does not read
  /// (told to the user) or an editing window works on the group.
  bool ReloadGroup(int groupIndex);
  /// What the group's own file held when this program last read or wrote it; none for a group
  /// without a file of its own.
  [[nodiscard]] std::optional<trek::SFileIdentity> SavedIdentity(const CTrekData& group) const;

  // --- editing
  /// A new empty group of kind 1 or 3 named `nameUtf8` (checked: messages shown on refusal),
  /// marked modified and appended. Returns its index or -1.
  int NewGroup(std::int32_t kind, std::string_view nameUtf8);
  /// Adds the waypoint to a waypoint group after the duplicate question. On success the group
  /// owns the point (`point` is emptied) and it is returned; otherwise null and the caller still
  /// owns `point`. With `refresh` the listener is told; without `keepSelection` the new point
  /// becomes the selection.
  CMarkerPoint* AddWaypoint(int groupIndex, std::unique_ptr<CMarkerPoint>&& point, bool refresh, bool keepSelection);
  /// As AddWaypoint, for track logs and track log groups.
  CTrackLog* AddTrackLog(int groupIndex, std::unique_ptr<CTrackLog>&& log, bool refresh, bool keepSelection);

  /// Asks, then removes the selected waypoint / track log; the group becomes the selection.
  /// Nothing happens to a held item (nor to it by cutting).
  bool DeleteWaypoint();
  bool DeleteTrackLog();

  void CopyWaypoint();
  void CutWaypoint();
  /// A new copy of the clipboard's waypoint added to the selected group; the clipboard keeps it.
  bool PasteWaypoint();
  void CopyTrackLog();
  void CutTrackLog();
  bool PasteTrackLog();
  [[nodiscard]] const CMarkerPoint* WaypointClipboard() const { return m_waypointClipboard.get(); }
  [[nodiscard]] const CTrackLog* TrackLogClipboard() const { return m_trackLogClipboard.get(); }

  /// Renames a group; an empty or unstorable name is refused with its message (false).
  bool RenameGroup(int groupIndex, std::string_view nameUtf8);

  /// The waypoint window's OK in edit mode: checks (messages shown on refusal), then the
  /// position and texts of the selected waypoint; its group becomes modified. `afterApply`
  /// (the sheet names) runs on the point within the same edit.
  bool EditSelectedWaypoint(const trek::SWaypointInput& input,
                            const std::function<void(CMarkerPoint&)>& afterApply = {});
  /// The track log window's OK: the four texts of the selected track log.
  bool EditSelectedTrackLog(const trek::STrackLogInput& input);
  /// Removes the selected track point from its log; the points after it are numbered one
  /// lower and the log becomes the selection. False without a selected track point.
  bool DeleteSelectedTrackPoint();
  /// The GPS name window's OK for a waypoint or track log of group `groupIndex`: checked
  /// (messages shown on refusal), stored, the group marked modified.
  bool SetWaypointGpsName(int groupIndex, CMarkerPoint& point, std::string_view nameUtf8);
  bool SetTrackLogGpsName(int groupIndex, CTrackLog& log, std::string_view nameUtf8);
  /// The selected track point dragged on the map while the track log window is open.
  bool MoveSelectedTrackPoint(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum);

  // --- track log edits: each is one undo entry; a refusal is told to the user
  /// No editing window works on group `groupIndex`, which is a track log group: its logs may be
  /// split, joined, trimmed, reversed and thinned.
  [[nodiscard]] bool CanEditTrackLogs(int groupIndex) const;
  /// Splits the selected track log at the selected track point (trek::SplitTrackLog); the new
  /// log follows it in the group and becomes the selection.
  bool SplitSelectedTrackLog();
  /// Joins `logs` of group `groupIndex` in `order` into the first of them in that order, which
  /// keeps its place in the group; the others leave the group. The joined log is selected.
  bool JoinTrackLogs(int groupIndex, const std::vector<CTrackLog*>& logs, trek::EJoinOrder order);
  /// Deletes points `from` to `to` (both included) of the selected track log.
  bool DeleteSelectedTrackPoints(std::size_t from, std::size_t to);
  /// Reverses the selected track log.
  bool ReverseSelectedTrackLog();
  /// Keeps the points `plan` names of the selected track log (a plan made for its points).
  bool ThinSelectedTrackLog(const trek::SThinPlan& plan);

  // --- routes: each change is one undo entry
  /// Adds a route to route group `groupIndex` ("ルートの作成") and selects it; null for another kind.
  CRoute* AddRoute(int groupIndex, std::unique_ptr<CRoute> route);
  /// Asks "ルート [name] を削除しますか?  ", then removes the selected route.
  bool DeleteRoute();
  /// Moves point `index` of `route` (in group `groupIndex`) to a position in `datum`.
  bool MoveRoutePoint(int groupIndex, CRoute& route, std::size_t index, const DmsAngle& latitude,
                      const DmsAngle& longitude, Datum datum);
  /// Puts a point into `route` before point `index` (at the end for the size).
  bool InsertRoutePoint(int groupIndex, CRoute& route, std::size_t index, const CMarkerPoint& point);
  /// Takes point `index` out of `route`; a route keeps at least one point.
  bool DeleteRoutePoint(int groupIndex, CRoute& route, std::size_t index);

  // --- undo
  /// Entries the stack keeps; older ones are forgotten.
  static constexpr int kUndoLimit = 100;
  /// Every edit of the open groups, one entry each. Opening, saving and closing files are not
  /// entries; closing a group removes its entries.
  [[nodiscard]] QUndoStack& UndoStack() { return m_undo; }
  [[nodiscard]] const QUndoStack& UndoStack() const { return m_undo; }
  /// There is an entry to undo / redo and no editing window works on the trek data.
  [[nodiscard]] bool CanUndo() const;
  [[nodiscard]] bool CanRedo() const;
  /// Takes back / makes again the next edit: the group gets the exact content it had, stays
  /// modified, the selection returns to where it was, and the listener is told. Should the data
  /// no longer be what the entry expects, the whole history is dropped instead.
  bool Undo();
  bool Redo();
  /// Name of the edit Undo / Redo would act on (UTF-8, "ウェイポイントの移動"); empty for none.
  [[nodiscard]] std::string UndoName() const;
  [[nodiscard]] std::string RedoName() const;
  /// An entry that changes no group (the trek list's sort order): the stack runs `undo` and,
  /// from the second time on, `redo`. `owner` names it for DropUndoEntries.
  void PushUndoAction(const std::string& textUtf8, std::function<void()> undo, std::function<void()> redo,
                      const void* owner);
  /// Removes the entries pushed by `owner` (when it goes away).
  void DropUndoEntries(const void* owner);
  /// An item an edit removed from `group`: the open edit scope keeps it for undo; without one
  /// it is destroyed.
  void Discard(CTrekData& group, std::unique_ptr<CMarkerPoint> point);
  void Discard(CTrekData& group, std::unique_ptr<CTrackLog> log);
  void Discard(CTrekData& group, std::unique_ptr<CRoute> route);

  /// The track log window keeps the selected log as it was when it opened. Ending without
  /// `keep` gives the log back its points (moves and deletions made meanwhile are taken back,
  /// and their entries removed); with `keep` they stay, each its own entry.
  void BeginTrackLogSession();
  void EndTrackLogSession(bool keep);
  [[nodiscard]] bool InTrackLogSession() const { return m_session.log != nullptr; }

 private:
  friend class CTrekEditScope;
  friend class CTrekUndoEntry;
  void finishEdit(CTrekEditScope& scope);
  [[nodiscard]] trek::SKeptSelection keptSelection() const;
  /// Selects what `kept` names when it is still there, else `fallback` as a group.
  void restoreSelection(const trek::SKeptSelection& kept, const CTrekData* fallback);
  /// Rebuilds the stack without the entries `drop` names; the others keep their order and state.
  void removeEntries(const std::function<bool(const CTrekUndoEntry&)>& drop);
  [[nodiscard]] CTrekUndoEntry* entryAt(int index) const;
  [[nodiscard]] CTrekEditScope* scopeFor(const CTrekData& group) const;
  bool step(bool undo);

  void setSelection(const STrekSelection& selection);
  void notifySelection();
  void markModified(CTrekData& group);
  /// After an edit of one log: the group modified, the log selected, the listeners told.
  void finishTrackLogEdit(CTrekData& group, int groupIndex, CTrackLog* log);
  [[nodiscard]] bool contains(int groupIndex, const CMarkerPoint* point) const;
  [[nodiscard]] bool contains(int groupIndex, const CTrackLog* log) const;
  [[nodiscard]] bool contains(int groupIndex, const CRoute* route) const;
  /// Removes the selected item as the edit `editName` (its undo entry).
  void removeSelectedWaypoint(const char* editName);
  void removeSelectedTrackLog(const char* editName);
  /// After an item joined `group`: modified, refresh when asked, and the item selected unless kept.
  void afterItemAdded(CTrekData& group, const STrekSelection& added, bool refresh, bool keepSelection);
  /// After the selected item left `group`: modified, the group selected, listeners told.
  void afterItemRemoved(CTrekData& group);
  /// Writes the group to a path the user chose and makes that its file.
  bool saveAsOwnFile(const std::filesystem::path& path, CTrekData& group);

  /// Whether a save over `path` may go ahead: asks when it is the group's file and another
  /// program has changed it since.
  bool confirmOverwrite(const std::filesystem::path& path, const CTrekData& group);
  /// An editing window or an edit works on the group: it cannot be replaced now.
  [[nodiscard]] bool inUse(const CTrekData& group) const;

  GroupList m_groups;
  /// Per group with a file: its path and what the file held when this program last read or
  /// wrote it, and the later content the user was already asked about.
  struct SDiskRecord {
    std::string path;
    trek::SFileIdentity known;
    std::optional<trek::SFileIdentity> asked;
  };
  std::unordered_map<const CTrekData*, SDiskRecord> m_disk;
  STrekSelection m_selection;
  std::unique_ptr<CMarkerPoint> m_waypointClipboard;
  std::unique_ptr<CTrackLog> m_trackLogClipboard;
  bool m_locked = false;
  bool m_trackLogEditing = false;
  SHold m_hold;
  ITrekGroupListener* m_listener = nullptr;
  QUndoStack m_undo;
  CTrekEditScope* m_edit = nullptr;  ///< the innermost open edit scope
  struct STrackLogSession {
    int id = 0;
    const CTrekData* group = nullptr;
    CTrackLog* log = nullptr;
    CTrackLog copy;  ///< the log as it was when the window opened
  } m_session;
  int m_nextSession = 1;
};
