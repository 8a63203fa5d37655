#pragma once
// Menu and tool bar command identifiers, and the interface through which the frame routes a
// command to the view, the document, itself and the application, in that order.

namespace cmd {
enum : int {
  // document and application
  OpenIndex = 57601,
  Undo = 57643,
  Redo = 57644,
  Print = 57607,
  PrintSetup = 57606,
  Exit = 57665,
  RecentFirst = 57616,  ///< recent map indexes: RecentFirst + k
  RecentLast = 57631,
  SheetProperties = 32839,
  GotoWaypoint = 32833,
  GotoTrackPoint = 32864,
  OpenTrek = 32853,
  NewWaypointFile = 32851,
  NewTrackFile = 32852,
  SaveTrek = 32791,
  SaveTrekAs = 32792,
  CloseTrek = 32793,
  RenameGroup = 32823,
  CopyWaypoint = 32830,
  CutWaypoint = 32832,
  PasteWaypoint = 32822,
  DeleteWaypoint = 32841,
  CopyTrack = 32861,
  CutTrack = 32862,
  PasteTrack = 32863,
  DeleteTrack = 32865,
  DownloadWaypoints = 32844,
  DownloadTracks = 32846,
  UploadWaypoints = 32845,
  UploadTracks = 32867,
  ImportGpx = 32870,
  ExportGpx = 32871,
  SortWaypointsNone = 200,
  SortWaypointsByName = 201,
  SortTracksNone = 202,
  SortTracksByName = 203,
  SortTracksByTime = 204,
  Settings = 32850,
  Help = 57670,
  ReadMe = 32849,
  About = 57664,
  // map view
  RangeSelect = 32774,
  ClearSelection = 32778,
  SaveMapImage = 32806,
  ZoomIn = 32810,
  ZoomOut = 32816,
  ZoomRect = 32817,
  ShowWaypoints = 32789,
  ShowTracks = 32866,
  AddWaypoint = 32786,
  EditWaypoint = 32797,
  EditTrack = 32857,
  // frame
  BarMain = 32779,
  BarTrek = 32840,
  BarZoom = 32780,
  BarScale = 32781,
  BarIndex = 32836,
  BarTrekList = 32837,
  BarTrekView = 32838,
  BarElevation = 32880,
  BarStatus = 59393,
  WideView = 32819,
  // the seamless map
  OpenMapFolder = 32890,
  Seamless = 32891,
  FitTrack = 32892,
  SwitchSeries = 32893,
  PrintTrack = 32894,
  // track log edits
  SplitTrack = 32940,
  JoinTracks = 32941,
  DeleteTrackRange = 32942,
  ReverseTrack = 32943,
  ThinTrack = 32944,
  Search = 32950,
  // routes
  DrawRoute = 32960,
  DeleteRoute = 32961,
  DeleteRoutePoint = 32962,
  NewRouteFile = 32963,
  UploadRoutes = 32964,
  DownloadRoutes = 32965,
  // grids and bearings
  UtmGrid = 32897,
  Graticule = 32898,
  MagneticNorth = 32899,
  // Garmin units mounted as folders
  DownloadUnit = 32970,
  UploadUnit = 32971,
  ExportTiles = 32980,
};
}  // namespace cmd

/// Enable and check state of a command, filled by the target that knows it.
struct SCommandState {
  bool enabled = true;
  bool checked = false;
};

class ICommandTarget {
 public:
  virtual ~ICommandTarget() = default;
  /// True when this target handled the command.
  virtual bool onCommand(int id) = 0;
  /// True when this target knows the command; `state` is then filled.
  virtual bool onUpdateCommand(int id, SCommandState& state) const = 0;
};
