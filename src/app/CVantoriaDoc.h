#pragma once
// The single document: the open map catalogue, the sheet on screen (its catalogue row and image)
// and the open trek data. Windows listen to its signals; it never touches a widget.
#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "app/MapSearch.h"
#include "app/RecentIndexList.h"
#include "maps/SheetCatalogue.h"
#include "maps/SheetImage.h"
#include "maps/SheetRecord.h"
#include "mosaic/MapCollection.h"
#include "trek/CTrekGroupList.h"

/// What the open dialog shows beside the file list for a chosen "index.csv" (UTF-8).
struct SIndexPreview {
  std::string areaNames;   ///< "[ name ] " per line of "index.csv"
  std::string seriesText;  ///< "数値地図 25000 (地図画像)", "数値地図 50000 (地図画像)" or empty
  MapSeries series = MapSeries::Unknown;
};
[[nodiscard]] SIndexPreview PreviewIndexFile(const std::filesystem::path& indexCsv);

/// One row of the sheet properties dialog: label and value (UTF-8).
struct SSheetPropertyRow {
  std::string label;
  std::string value;
};
[[nodiscard]] std::vector<SSheetPropertyRow> SheetPropertyRows(const SheetRecord& record, MapSeries series);

class CVantoriaDoc : public QObject, public ICommandTarget {
  Q_OBJECT
 public:
  static constexpr const char* kIndexDialogTitle = "数値地図を開く";
  static constexpr const char* kIndexDialogFilter = "数値地図インデックスファイル(index.csv)|index.csv||";

  explicit CVantoriaDoc(QObject* parent = nullptr);
  ~CVantoriaDoc() override;

  // --- map data
  /// Opens the catalogue whose "index.csv" is at `path`; false (nothing shown) when the folder
  /// lacks "index.csv" or "kanri.csv".
  [[nodiscard]] bool OpenIndexFile(const std::filesystem::path& path);
  /// The open-map-index command: dialog, open, remember the folder and add a recent entry.
  void OnOpenIndex();
  /// What the command does after the dialog (and the command line): open, and on success
  /// remember it; on failure tell the user why.
  bool OpenIndexFromDialog(const std::filesystem::path& path);
  /// As OpenIndexFromDialog, but a map index that does not open leaves the one that was open:
  /// for names given from outside (the command line, a second start), where a wrong name must
  /// not close what the user has open.
  bool OpenIndexKeepingOpen(const std::filesystem::path& path);
  /// The message for a map index that cannot be opened: the file and the reason (UTF-8).
  [[nodiscard]] static std::string IndexOpenFailedText(const std::filesystem::path& path);
  /// The message for a sheet image that cannot be read: the file and the reason (UTF-8).
  [[nodiscard]] static std::string SheetImageFailedText(const std::filesystem::path& path,
                                                        const SSheetImageStatus& status);
  /// Opens recent entry `index`; an entry that no longer opens is removed.
  bool OpenRecent(int index);

  // --- map folders and the seamless map
  static constexpr const char* kFolderDialogTitle = "地図フォルダを開く";
  /// The open map folders: the folder of an opened index.csv, or every map data tree at or below
  /// an opened folder.
  [[nodiscard]] const mosaic::CMapCollection& Collection() const { return m_collection; }
  /// Opens every map data tree at or below `root` (replacing what was open); false, leaving what
  /// was open, when none is found.
  [[nodiscard]] bool OpenMapFolder(const std::filesystem::path& root);
  /// The open-folder command: dialog, open, remember the folder and add a recent entry; tells
  /// the user when the folder holds no map data.
  void OnOpenMapFolder();
  bool OpenMapFolderFromDialog(const std::filesystem::path& root);
  /// The message for a folder without map data (UTF-8).
  [[nodiscard]] static std::string MapFolderFailedText(const std::filesystem::path& root);
  /// The folder whose areas the map index window shows (index in Collection().folders()).
  [[nodiscard]] int CurrentFolder() const { return m_currentFolder; }
  /// Shows another open folder's areas in the map index window.
  void SetCurrentFolder(int folder);
  /// Whether the view shows the seamless map (the view says so).
  void setSeamless(bool on) { m_seamless = on; }
  [[nodiscard]] bool Seamless() const { return m_seamless; }
  /// In the seamless view the sheet under the view's centre is the current sheet (index in
  /// Collection().sheets(series); -1 for none): title, map index window and properties follow.
  void SetCentreSheet(MapSeries series, int sheet);
  [[nodiscard]] int CentreSheet() const { return m_seamless ? m_centreSheet : -1; }
  /// Records on a waypoint the sheet it lies on: the sheet shown, or in the seamless view the
  /// collection's sheet under it. False when it lies on none.
  bool AssignSheetOf(CMarkerPoint& point) const;
  /// Folders where the current sheet was found again (its copies not used), for its properties.
  [[nodiscard]] const std::vector<std::filesystem::path>& CurrentSheetDuplicates() const { return m_duplicates; }

  /// Makes the given sheet current; ignored for an area or slot out of range or an empty slot.
  /// A sheet whose image cannot be read is reported and not shown: afterwards no sheet is
  /// current.
  void LoadSheet(int area, int slot);
  /// Runs a map image export with the wait cursor and the progress bar showing "地形図をファイルに
  /// 保存しています..."; `save` reports the share done (0..1, above 1 counts as 1). Returns what
  /// `save` returns.
  using ImageSave = std::function<bool(const std::function<void(double fraction)>& progress)>;
  bool SaveMapImage(const ImageSave& save);
  /// Marks the sheet in the map index window, then loads it.
  void SelectAndLoadSheet(int area, int slot);
  /// Shows a Tokyo-datum position: centres it when the current sheet holds it, otherwise loads
  /// the first sheet of the catalogue that does; tells the user when none does.
  /// False when no sheet holds it.
  bool GotoPosition(const DmsAngle& latitude, const DmsAngle& longitude, bool trackPoint);

  [[nodiscard]] const SheetCatalogue& Catalogue() const { return m_catalogue; }
  [[nodiscard]] MapSeries Series() const { return m_series; }
  [[nodiscard]] const SheetImage& Image() const { return m_image; }
  [[nodiscard]] SheetImage& Image() { return m_image; }
  [[nodiscard]] const SheetRecord& CurrentSheet() const { return m_sheet; }
  /// Series of the sheet on screen (the catalogue may have been replaced since).
  [[nodiscard]] MapSeries SheetSeries() const { return m_sheetSeries; }
  [[nodiscard]] bool HasSheet() const { return m_hasSheet; }
  /// A current sheet with its catalogue row: the loaded one, or in the seamless view the one
  /// under the view's centre.
  [[nodiscard]] bool HasCurrentSheet() const { return m_hasSheet || (m_seamless && m_centreSheet >= 0); }
  /// Index of the area whose sheet is on screen, in the open catalogue; none when no sheet was
  /// loaded from it.
  [[nodiscard]] std::optional<int> CurrentArea() const;
  /// "  [ area ]   name ( second name )" while a sheet is shown (UTF-8), else empty.
  [[nodiscard]] QString Title() const { return m_title; }

  [[nodiscard]] CRecentIndexList& RecentList() { return m_recent; }
  [[nodiscard]] const CRecentIndexList& RecentList() const { return m_recent; }

  /// Replaces the open dialog (the application installs one with a preview panel). It gets the
  /// request the command would pass to platform::fileDialog().
  using IndexDialog = std::function<std::optional<std::filesystem::path>(const std::string& initialDir)>;
  void setIndexDialog(IndexDialog dialog) { m_indexDialog = std::move(dialog); }

  /// The open trek data groups with the current selection and the clipboards.
  [[nodiscard]] CTrekGroupList& TrekGroups() { return m_trek; }
  [[nodiscard]] const CTrekGroupList& TrekGroups() const { return m_trek; }
  /// Kind of the current trek selection (ETrekItemKind), 0 for none.
  [[nodiscard]] int SelectionKind() const { return m_trek.Selection().kind; }
  /// The go-to commands: show the sheet holding the selected waypoint / track point.
  bool GotoSelectedWaypoint();
  bool GotoSelectedTrackPoint();
  /// Search over the open groups and map folders (search::Find), and going to a result: a
  /// waypoint or track log becomes the selection (a log by its first point) and its sheet is
  /// shown; a sheet is loaded, or scrolled to in the seamless view. False when nothing is shown.
  [[nodiscard]] std::vector<search::SResult> Search(std::string_view queryUtf8) const;
  bool GotoSearchResult(const search::SResult& result);
  /// Menu texts of the undo and redo commands, naming the edit they act on:
  /// "ウェイポイントの移動を元に戻す(&U)", "トラックポイントの削除をやり直す(&R)"; "元に戻す(&U)" and
  /// "やり直し(&R)" when there is none.
  [[nodiscard]] QString UndoCommandText() const;
  [[nodiscard]] QString RedoCommandText() const;
  /// Asked before the application ends: offers every modified group for saving; false keeps
  /// the application running.
  [[nodiscard]] bool CanCloseFrame() {
    m_closeConfirmed = m_trek.ConfirmCloseAll();
    return m_closeConfirmed;
  }
  /// The last CanCloseFrame said yes: every modified group was saved or given up by the user.
  [[nodiscard]] bool CloseConfirmed() const { return m_closeConfirmed; }

  /// The files of the open groups are watched: shortly after another program changes one, the
  /// user is asked once whether to read it again (CTrekGroupList::CheckFileOnDisk). This runs
  /// that look now for the files reported changed.
  void CheckChangedTrekFiles();
  /// While this says no (a dialog or menu of the program is open), the look waits.
  void setCanAsk(std::function<bool()> canAsk) { m_canAsk = std::move(canAsk); }
  /// The files watched (absolute paths).
  [[nodiscard]] QStringList WatchedTrekFiles() const { return m_watcher.files(); }

  bool onCommand(int id) override;
  bool onUpdateCommand(int id, SCommandState& state) const override;

 signals:
  /// The catalogue was emptied (map index window: Clear) / filled (Fill).
  void catalogueCleared();
  void catalogueOpened();
  /// Mark a sheet in the map index window (SelectSheet).
  void selectSheetRequested(int area, int slot);
  /// A sheet was loaded: the view sets up its frame and redraws.
  void sheetOpened();
  /// Centre the view on a position (datum: 0 WGS-84, 1 Tokyo).
  void centreRequested(const DmsAngle& latitude, const DmsAngle& longitude, int datum);
  void titleChanged(const QString& title);
  void recentListChanged();
  /// Open trek data or the selection in it changed.
  void trekDataChanged();
  void selectionChanged();
  /// A group was written to its file.
  void trekGroupSaved();
  /// Progress of a long operation: begin with a status text, steps 0..100, end.
  void progressBegin(const QString& text);
  void progressStep(int percent);
  void progressEnd();
  /// The sheet properties dialog should be shown for the current sheet.
  void sheetPropertiesRequested();
  /// The seamless view should show a sheet of the collection (chosen in the map index window).
  void seamlessSheetRequested(int series, int sheet);
  /// The open map folders changed.
  void collectionChanged();

 private:
  /// Forwards the trek group list's changes as signals.
  class CTrekListener : public ITrekGroupListener {
   public:
    explicit CTrekListener(CVantoriaDoc& doc) : m_doc(doc) {}
    void trekDataChanged() override {
      m_doc.watchTrekFiles();
      emit m_doc.trekDataChanged();
    }
    void trekSelectionChanged(const STrekSelection&) override { emit m_doc.selectionChanged(); }
    void trekGroupSaved(const CTrekData&) override { emit m_doc.trekGroupSaved(); }

   private:
    CVantoriaDoc& m_doc;
  };

  /// Watches the files of the open groups, and no others; a file replaced by a rename is
  /// watched again here.
  void watchTrekFiles();
  /// After a map index opened: its folder for the next dialog, and a recent entry.
  void rememberOpenedIndex(const std::filesystem::path& path);
  void onTrekFileChanged(const QString& path);

  /// Shows folder `folder` of the collection in the map index window.
  void showFolder(int folder);
  void rememberOpenedFolder(const std::filesystem::path& root);

  SheetCatalogue m_catalogue;
  mosaic::CMapCollection m_collection;
  int m_currentFolder = -1;
  bool m_seamless = false;
  int m_centreSheet = -1;
  std::vector<std::filesystem::path> m_duplicates;
  MapSeries m_series = MapSeries::Unknown;
  SheetImage m_image;
  SheetRecord m_sheet;
  MapSeries m_sheetSeries = MapSeries::Unknown;
  bool m_hasSheet = false;
  int m_currentArea = -1;
  QString m_title;
  CRecentIndexList m_recent;
  IndexDialog m_indexDialog;
  CTrekGroupList m_trek;
  CTrekListener m_trekListener{*this};
  QFileSystemWatcher m_watcher;
  /// Changes come in bursts (a file written in pieces, a rename): looked at once they settle.
  QTimer m_checkTimer;
  QSet<QString> m_changedFiles;
  std::function<bool()> m_canAsk;
  bool m_checking = false;
  bool m_closeConfirmed = false;
};
