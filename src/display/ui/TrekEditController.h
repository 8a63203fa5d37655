#pragma once
// The map view's three trek editing windows: adding a waypoint, editing the selected waypoint
// and editing the selected track log. Each window is made on first use and kept; at most one is
// open. The controller opens them for the view's commands, passes positions chosen on the map
// into them, and applies the view's own rules when they close.
#include <QObject>
#include <cstdint>
#include <functional>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"
#include "trek/TrekEditing.h"

class CDlgTrackLog;
class CDlgWaypoint;
class CMarkerPoint;
class CTrackLog;
class CVantoriaDoc;
class QWidget;

class CTrekEditController : public QObject {
  Q_OBJECT
 public:
  enum class EWindow { None, AddWaypoint, EditWaypoint, TrackLog };

  /// `owner` parents the windows (the map view).
  CTrekEditController(CVantoriaDoc& doc, QWidget* owner);
  ~CTrekEditController() override;

  /// The remembered datum of the waypoint windows (not owned; null for none).
  void setMarkerDatumSetting(std::int32_t* setting);

  [[nodiscard]] EWindow openWindow() const;
  [[nodiscard]] bool waypointWindowOpen() const {
    const EWindow w = openWindow();
    return w == EWindow::AddWaypoint || w == EWindow::EditWaypoint;
  }
  /// An editing window is open, or the trek data is held by another window.
  [[nodiscard]] bool busy() const;
  /// Tells whether another window of the view (an upload window) holds the trek data too.
  void setBusyProbe(std::function<bool()> probe) { m_busyProbe = std::move(probe); }

  /// The add, edit and track log commands. Opening does nothing while busy or when the
  /// selection does not fit; returns whether a window opened.
  [[nodiscard]] bool canOpen(EWindow which) const;
  bool open(EWindow which);

  /// A position chosen on the map for the open waypoint window; false when none is open.
  bool setWaypointPosition(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum);
  /// The selected track point dragged to a new position while the track log window is open:
  /// the point takes it and its group becomes modified. False when nothing was moved.
  bool moveSelectedTrackPoint(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum);

  /// The windows, null until first used.
  [[nodiscard]] CDlgWaypoint* addWindow() const { return m_add; }
  [[nodiscard]] CDlgWaypoint* editWindow() const { return m_edit; }
  [[nodiscard]] CDlgTrackLog* trackLogWindow() const { return m_track; }

  /// Records the open sheet on a waypoint when it lies on it.
  void assignSheet(CMarkerPoint& point) const;

 signals:
  /// The map must rebuild its overlay from the trek data (the cached marks were moved).
  void rebuildRequested();

 private:
  bool completeEdit(const trek::SWaypointInput& input);
  void trackLogClosed(bool ok);
  CDlgWaypoint* makeWaypointWindow(bool add);

  CVantoriaDoc& m_doc;
  QWidget* m_owner;
  std::int32_t* m_markerDatum = nullptr;
  std::function<bool()> m_busyProbe;
  CDlgWaypoint* m_add = nullptr;  ///< children of the owner
  CDlgWaypoint* m_edit = nullptr;
  CDlgTrackLog* m_track = nullptr;
  CTrackLog* m_editedLog = nullptr;  ///< the log the track log window was opened for
  int m_editedGroup = -1;
};
