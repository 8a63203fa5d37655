#pragma once
// The document's trek data commands: opening, saving and closing trek files, the waypoint and
// track log clipboards, deleting, renaming, new groups and the sort orders of the trek list.
// The rules themselves live in CTrekGroupList; this class adds the dialogs' requests, the
// remembered folders and filters, and the enable rules of the menu entries.
#include <cstdint>
#include <functional>

#include "app/Commands.h"

class AppSettings;
class CVantoriaDoc;

class CTrekCommands : public ICommandTarget {
 public:
  static constexpr const char* kOpenTitle = "トレックデータファイルを開く";
  static constexpr const char* kFilterAll =
      "トレックデータファイル(*.pmd *.ptd *.prd)|*.pmd;*.ptd;*.prd|ウェイポイントファイル(*.pmd)|*.pmd|"
      "トラックログファイル(*.ptd)|*.ptd|ルートファイル(*.prd)|*.prd||";
  static constexpr const char* kFilterWaypoints = "ウェイポイントファイル(*.pmd)|*.pmd||";
  static constexpr const char* kFilterTrackLogs = "トラックログファイル(*.ptd)|*.ptd||";
  static constexpr const char* kGpxOpenTitle = "GPXファイルを読み込む";
  static constexpr const char* kGpxSaveTitle = "GPXファイルに書き出す";
  static constexpr const char* kFilterGpx = "GPXファイル(*.gpx)|*.gpx||";

  /// `settings` holds the sort modes (not owned; null keeps them in this object only).
  CTrekCommands(CVantoriaDoc& doc, AppSettings* settings);
  /// Takes its sort-order entries off the undo stack.
  ~CTrekCommands() override;
  CTrekCommands(const CTrekCommands&) = delete;
  CTrekCommands& operator=(const CTrekCommands&) = delete;
  void setSettings(AppSettings* settings) { m_settings = settings; }

  /// The windows that ask for a group name. Each shows its dialog and applies the name through
  /// the group list itself; the new-group one gets the kind (1 or 3), the rename one the index.
  void setNewGroupDialog(std::function<void(std::int32_t kind)> dialog) { m_newGroupDialog = std::move(dialog); }
  void setRenameDialog(std::function<void(int groupIndex)> dialog) { m_renameDialog = std::move(dialog); }
  /// The windows of the track log edits that ask first (join, range deletion, thinning); gets
  /// the command id.
  void setTrackEditDialog(std::function<void(int id)> dialog) { m_trackEditDialog = std::move(dialog); }

  /// The open dialog for `kind` (0 all kinds, 1 waypoints, 3 track logs), then every chosen file
  /// in turn; a file that cannot be opened is reported and the rest still open. Returns the
  /// number of groups added.
  int OpenTrekFiles(std::int32_t kind = 0);
  /// Save, save as and close of the selected group; false when nothing was done.
  bool SaveSelected();
  bool SaveSelectedAs();
  bool CloseSelected();
  /// The open dialog for GPX files, then every chosen file in turn: its waypoints and routes
  /// become a new waypoint group, its tracks a new track log group. What could not be kept as
  /// it was is shown in one message per file. Returns the number of groups added.
  int ImportGpxFiles();
  /// Writes the selected group as a GPX file chosen in a save dialog; the group stays as it was
  /// (still modified when it was). False when nothing was written.
  bool ExportSelectedGpx();
  /// Sets "Sort_Wp" (-1 none, 0 by name) / "Sort_Tk" (-1 none, 0 by name, 1 by time) and has
  /// the trek list filled again; a change of order is an undo entry.
  void SetWaypointSort(std::int32_t mode);
  void SetTrackLogSort(std::int32_t mode);
  [[nodiscard]] std::int32_t WaypointSort() const;
  [[nodiscard]] std::int32_t TrackLogSort() const;

  bool onCommand(int id) override;
  bool onUpdateCommand(int id, SCommandState& state) const override;

 private:
  void afterGroupsAdded(int before);
  void applyWaypointSort(std::int32_t mode);
  void applyTrackLogSort(std::int32_t mode);

  CVantoriaDoc& m_doc;
  AppSettings* m_settings;
  std::int32_t m_sortWaypoints = -1;  ///< used without settings
  std::int32_t m_sortTracks = -1;
  std::function<void(std::int32_t)> m_newGroupDialog;
  std::function<void(int)> m_renameDialog;
  std::function<void(int)> m_trackEditDialog;
};
