#pragma once
// The GPS transfer windows as the map view hosts them: the two modal download dialogs, run by
// their commands, and the two modeless upload dialogs, made on first use and kept. An upload
// window counts as an open editing window: only one of them is open at a time, and none
// while a waypoint or track log window is open.
#include <QObject>
#include <cstdint>

#include "app/Commands.h"
#include "gps/GarminUnitWatcher.h"
#include "gps/ui/GpsDialogParts.h"

class CDlgGpsDownload;
class CDlgGpsUpload;
class CTrekEditController;
class CVantoriaDoc;
class QDialog;
class QWidget;

class CGpsWindowHost : public QObject, public ICommandTarget {
  Q_OBJECT
 public:
  /// `owner` parents the windows (the map view); `editing` holds the view's editing windows.
  CGpsWindowHost(CVantoriaDoc& doc, CTrekEditController& editing, QWidget* owner);
  ~CGpsWindowHost() override;

  /// "CommPort" and "GPSCommDatum" of the running program (not owned).
  void setSettings(std::int32_t* commPort, std::int32_t* gpsCommDatum) { m_settings = {commPort, gpsCommDatum}; }

  /// The open upload window, null when none is.
  [[nodiscard]] CDlgGpsUpload* openUploadWindow() const;
  /// The upload windows (null until first used) and the download dialog while it runs.
  [[nodiscard]] CDlgGpsUpload* uploadWindow(std::int32_t kind) const;
  [[nodiscard]] CDlgGpsDownload* downloadDialog() const { return m_download; }

  /// Runs the modal download dialog of `kind` (1 waypoints, 3 track logs).
  void runDownload(std::int32_t kind);
  /// Opens the upload window of `kind`; false when another window is open.
  bool openUpload(std::int32_t kind);
  [[nodiscard]] bool canDownload() const;
  /// Runs "USB機器から読み込む" / "USB機器へ書き込む" (modal).
  void runUnitDownload();
  void runUnitUpload();
  /// How the unit dialogs look for units (the mounted volumes when empty); for tests.
  void setUnitScan(gps::CGarminUnitWatcher::Scan scan) { m_unitScan = std::move(scan); }
  /// The unit dialog while it runs, null otherwise.
  [[nodiscard]] QDialog* unitDialog() const { return m_unitDialog; }
  [[nodiscard]] bool canUpload() const;

  bool onCommand(int id) override;
  bool onUpdateCommand(int id, SCommandState& state) const override;

 private:
  void uploadClosed(CDlgGpsUpload* window);
  /// Sends the selected route group, or receives the receiver's routes into a new group.
  void transferRoutes(bool upload);

  CVantoriaDoc& m_doc;
  CTrekEditController& m_editing;
  QWidget* m_owner;
  gpsui::SGpsSettings m_settings;
  CDlgGpsUpload* m_uploadWaypoints = nullptr;  ///< children of the owner
  CDlgGpsUpload* m_uploadTracks = nullptr;
  CDlgGpsDownload* m_download = nullptr;  ///< while the dialog runs
  QDialog* m_unitDialog = nullptr;         ///< while a unit dialog runs
  gps::CGarminUnitWatcher::Scan m_unitScan;
};
