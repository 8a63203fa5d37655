#include "app/TrekCommands.h"

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"
#include "trek/GpxFile.h"
#include "trek/SheetAssignment.h"
#include "trek/TrekSort.h"

CTrekCommands::CTrekCommands(CVantoriaDoc& doc, AppSettings* settings) : m_doc(doc), m_settings(settings) {}

int CTrekCommands::OpenTrekFiles(std::int32_t kind) {
  auto& profile = platform::profile();
  platform::SFileDialogRequest request;
  request.title = kOpenTitle;
  request.multiSelect = true;
  request.filter = kind == kTrekWaypointGroup ? kFilterWaypoints : kind == kTrekTrackLogGroup ? kFilterTrackLogs : kFilterAll;
  if (kind != kTrekWaypointGroup && kind != kTrekTrackLogGroup) {
    // A stored index beyond the three filters falls back to the first.
    const std::int32_t index = profile.readInt("Settings", "TkDOpenDlg_Filter", 0);
    request.filterIndex = index >= 0 && index <= 3 ? index : 0;
  }
  request.initialDir = platform::pathFromUtf8(profile.readString("FileDlgSettings", "LoadPoint", "C:\\"));
  const platform::SFileDialogResult result = platform::fileDialog().run(request);
  if (!result.accepted || result.paths.empty()) return 0;

  CTrekGroupList& list = m_doc.TrekGroups();
  const int before = list.Count();
  for (const auto& path : result.paths) {
    if (list.OpenTrekFile(path) == 0) platform::prompt().error(CTrekGroupList::OpenFailedText(path));
  }
  const int added = list.Count() - before;
  afterGroupsAdded(before);

  profile.writeString("FileDlgSettings", "LoadPoint", platform::pathToUtf8(result.paths.back().parent_path()));
  if (kind != kTrekWaypointGroup && kind != kTrekTrackLogGroup)
    profile.writeInt("Settings", "TkDOpenDlg_Filter", result.filterIndex);
  return added;
}

void CTrekCommands::afterGroupsAdded(int before) {
  CTrekGroupList& list = m_doc.TrekGroups();
  if (list.Count() <= before) return;
  // Waypoints of the new groups that lie on the sheet on screen learn its name.
  if (m_doc.HasSheet()) {
    if (const auto area = m_doc.CurrentArea()) {
      const CatalogueArea& a = m_doc.Catalogue().areas()[std::size_t(*area)];
      for (int i = before; i < list.Count(); ++i)
        AssignSheetToGroup(*list.Group(i), m_doc.CurrentSheet(), a, m_doc.SheetSeries());
    }
  }
  list.NotifyDataChanged();
}

int CTrekCommands::ImportGpxFiles() {
  auto& profile = platform::profile();
  platform::SFileDialogRequest request;
  request.title = kGpxOpenTitle;
  request.multiSelect = true;
  request.filter = kFilterGpx;
  request.initialDir = platform::pathFromUtf8(profile.readString("FileDlgSettings", "LoadPoint", "C:\\"));
  const platform::SFileDialogResult result = platform::fileDialog().run(request);
  if (!result.accepted || result.paths.empty()) return 0;

  CTrekGroupList& list = m_doc.TrekGroups();
  const int before = list.Count();
  for (const auto& path : result.paths) {
    SGpxReadResult r = ReadGpxFile(path);
    if (!r.ok()) {
      platform::prompt().error(r.error);
      continue;
    }
    if (r.waypoints) list.AppendGroup(std::move(r.waypoints));
    if (r.tracks) list.AppendGroup(std::move(r.tracks));
    if (r.routes) list.AppendGroup(std::move(r.routes));
    if (!r.notice.empty()) platform::prompt().warn(r.notice, r.noticeDetails);
  }
  afterGroupsAdded(before);
  profile.writeString("FileDlgSettings", "LoadPoint", platform::pathToUtf8(result.paths.back().parent_path()));
  return list.Count() - before;
}

bool CTrekCommands::ExportSelectedGpx() {
  const CTrekData* group = m_doc.TrekGroups().SelectedGroup();
  if (!group) return false;
  auto& profile = platform::profile();
  platform::SFileDialogRequest request;
  request.title = kGpxSaveTitle;
  request.save = true;
  request.overwritePrompt = true;
  request.filter = kFilterGpx;
  request.defaultExt = "gpx";
  request.initialDir = platform::pathFromUtf8(profile.readString("FileDlgSettings", "LoadPoint", "C:\\"));
  request.initialName = platform::cp932::toUtf8Lossy(group->GroupName()) + ".gpx";
  const platform::SFileDialogResult result = platform::fileDialog().run(request);
  if (!result.accepted || result.paths.empty()) return false;
  const STrekWriteResult w = WriteGpxFileAtomic(result.paths.front(), *group);
  if (!w.ok()) {
    platform::prompt().error(w.message);
    return false;
  }
  profile.writeString("FileDlgSettings", "LoadPoint", platform::pathToUtf8(result.paths.front().parent_path()));
  return true;
}

bool CTrekCommands::SaveSelected() {
  CTrekData* group = m_doc.TrekGroups().SelectedGroup();
  return group && m_doc.TrekGroups().SaveGroup(*group);
}

bool CTrekCommands::SaveSelectedAs() {
  CTrekData* group = m_doc.TrekGroups().SelectedGroup();
  return group && m_doc.TrekGroups().SaveGroupAs(*group);
}

bool CTrekCommands::CloseSelected() { return m_doc.TrekGroups().CloseSelectedGroup(); }

std::int32_t CTrekCommands::WaypointSort() const { return m_settings ? m_settings->sortWaypoints : m_sortWaypoints; }
std::int32_t CTrekCommands::TrackLogSort() const { return m_settings ? m_settings->sortTracks : m_sortTracks; }

CTrekCommands::~CTrekCommands() { m_doc.TrekGroups().DropUndoEntries(this); }

void CTrekCommands::applyWaypointSort(std::int32_t mode) {
  (m_settings ? m_settings->sortWaypoints : m_sortWaypoints) = mode;
  platform::profile().writeInt("Settings", "Sort_Wp", mode);
  m_doc.TrekGroups().NotifyDataChanged();
}

void CTrekCommands::applyTrackLogSort(std::int32_t mode) {
  (m_settings ? m_settings->sortTracks : m_sortTracks) = mode;
  platform::profile().writeInt("Settings", "Sort_Tk", mode);
  m_doc.TrekGroups().NotifyDataChanged();
}

void CTrekCommands::SetWaypointSort(std::int32_t mode) {
  const std::int32_t before = WaypointSort();
  applyWaypointSort(mode);
  if (before == mode) return;
  m_doc.TrekGroups().PushUndoAction(
      "ウェイポイントの並べ替え", [this, before] { applyWaypointSort(before); }, [this, mode] { applyWaypointSort(mode); },
      this);
}

void CTrekCommands::SetTrackLogSort(std::int32_t mode) {
  const std::int32_t before = TrackLogSort();
  applyTrackLogSort(mode);
  if (before == mode) return;
  m_doc.TrekGroups().PushUndoAction(
      "トラックログの並べ替え", [this, before] { applyTrackLogSort(before); }, [this, mode] { applyTrackLogSort(mode); },
      this);
}

bool CTrekCommands::onCommand(int id) {
  CTrekGroupList& list = m_doc.TrekGroups();
  switch (id) {
    case cmd::OpenTrek: OpenTrekFiles(0); return true;
    case cmd::NewWaypointFile:
    case cmd::NewTrackFile:
      if (m_newGroupDialog) m_newGroupDialog(id == cmd::NewWaypointFile ? kTrekWaypointGroup : kTrekTrackLogGroup);
      return true;
    case cmd::SaveTrek: SaveSelected(); return true;
    case cmd::SaveTrekAs: SaveSelectedAs(); return true;
    case cmd::CloseTrek: CloseSelected(); return true;
    case cmd::ImportGpx: ImportGpxFiles(); return true;
    case cmd::ExportGpx: ExportSelectedGpx(); return true;
    case cmd::RenameGroup:
      if (m_renameDialog && list.SelectedGroup()) m_renameDialog(list.SelectedGroupIndex());
      return true;
    case cmd::CopyWaypoint: list.CopyWaypoint(); return true;
    case cmd::CutWaypoint: list.CutWaypoint(); return true;
    case cmd::PasteWaypoint: list.PasteWaypoint(); return true;
    case cmd::DeleteWaypoint: list.DeleteWaypoint(); return true;
    case cmd::CopyTrack: list.CopyTrackLog(); return true;
    case cmd::CutTrack: list.CutTrackLog(); return true;
    case cmd::PasteTrack: list.PasteTrackLog(); return true;
    case cmd::DeleteTrack: list.DeleteTrackLog(); return true;
    case cmd::NewRouteFile:
      if (m_newGroupDialog) m_newGroupDialog(kTrekRouteGroup);
      return true;
    case cmd::DeleteRoute: list.DeleteRoute(); return true;
    case cmd::DeleteRoutePoint:
      if (CRoute* r = list.SelectedRoute(); r && list.Selection().kind == kTrekRoutePoint)
        list.DeleteRoutePoint(list.SelectedGroupIndex(), *r, std::size_t(list.Selection().pointIndex));
      return true;
    case cmd::SplitTrack: list.SplitSelectedTrackLog(); return true;
    case cmd::ReverseTrack: list.ReverseSelectedTrackLog(); return true;
    case cmd::JoinTracks: case cmd::DeleteTrackRange: case cmd::ThinTrack:
      if (m_trackEditDialog) m_trackEditDialog(id);
      return true;
    case cmd::SortWaypointsNone: SetWaypointSort(kSortNone); return true;
    case cmd::SortWaypointsByName: SetWaypointSort(kSortByName); return true;
    case cmd::SortTracksNone: SetTrackLogSort(kSortNone); return true;
    case cmd::SortTracksByName: SetTrackLogSort(kSortByName); return true;
    case cmd::SortTracksByTime: SetTrackLogSort(kSortByTime); return true;
    default: return false;
  }
}

bool CTrekCommands::onUpdateCommand(int id, SCommandState& state) const {
  const CTrekGroupList& list = m_doc.TrekGroups();
  const STrekSelection& sel = list.Selection();
  const CTrekData* group = list.Group(sel.groupIndex);
  const bool waypoint = sel.kind == kTrekWaypoint && list.SelectedWaypoint();
  const bool trackLog = sel.kind == kTrekTrackLog && list.SelectedTrackLog();
  switch (id) {
    case cmd::DeleteRoute:
      state.enabled = list.SelectedRoute() && !list.IsLocked() && group != list.Held().group;
      return true;
    case cmd::DeleteRoutePoint:
      state.enabled = sel.kind == kTrekRoutePoint && list.SelectedRoute() && list.SelectedRoute()->points.size() > 1 &&
                      !list.IsLocked();
      return true;
    case cmd::OpenTrek: case cmd::NewWaypointFile: case cmd::NewTrackFile: case cmd::NewRouteFile: case cmd::ImportGpx:
      state.enabled = true;
      return true;
    case cmd::SaveTrek: case cmd::SaveTrekAs: case cmd::RenameGroup: case cmd::ExportGpx:
      state.enabled = group != nullptr;
      return true;
    // An open editing window keeps its group and item.
    case cmd::CloseTrek:
      state.enabled = list.CanCloseSelectedGroup();
      return true;
    case cmd::CopyWaypoint:
      state.enabled = waypoint;
      return true;
    case cmd::CutWaypoint: case cmd::DeleteWaypoint:
      state.enabled = waypoint && list.CanRemoveSelectedWaypoint();
      return true;
    case cmd::PasteWaypoint:
      state.enabled = group && group->Kind() == kTrekWaypointGroup && list.WaypointClipboard();
      return true;
    case cmd::CopyTrack:
      state.enabled = trackLog;
      return true;
    case cmd::CutTrack: case cmd::DeleteTrack:
      state.enabled = trackLog && list.CanRemoveSelectedTrackLog();
      return true;
    case cmd::PasteTrack:
      state.enabled = group && group->Kind() == kTrekTrackLogGroup && list.TrackLogClipboard();
      return true;
    case cmd::SplitTrack:
      state.enabled = sel.kind == kTrekTrackPoint && list.SelectedTrackPoint() && list.CanEditTrackLogs(sel.groupIndex);
      return true;
    case cmd::ReverseTrack: case cmd::DeleteTrackRange: case cmd::ThinTrack:
      state.enabled = (sel.kind == kTrekTrackLog || sel.kind == kTrekTrackPoint) && list.SelectedTrackLog() &&
                      list.CanEditTrackLogs(sel.groupIndex);
      return true;
    case cmd::JoinTracks:
      state.enabled = group && group->TrackLogs().size() >= 2 && list.CanEditTrackLogs(sel.groupIndex);
      return true;
    case cmd::SortWaypointsNone: case cmd::SortWaypointsByName:
      state.checked = WaypointSort() == (id == cmd::SortWaypointsNone ? kSortNone : kSortByName);
      return true;
    case cmd::SortTracksNone: case cmd::SortTracksByName: case cmd::SortTracksByTime:
      state.checked = TrackLogSort() == (id == cmd::SortTracksNone ? kSortNone : id == cmd::SortTracksByName ? kSortByName : kSortByTime);
      return true;
    default:
      return false;
  }
}
