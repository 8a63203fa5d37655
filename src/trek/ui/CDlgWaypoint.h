#pragma once
// The modeless waypoint window, in two modes: "ウェイポイントの追加" adds a new waypoint to the
// selected group, "ウェイポイントの編集" changes the selected waypoint. While it is shown the
// trek data is locked, so the selection stays on what the window works on.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"
#include "trek/TrekEditing.h"

class CMarkerPoint;
class CTrekGroupList;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

class CDlgWaypoint : public QDialog {
  Q_OBJECT
 public:
  enum class EMode { Add, Edit };

  CDlgWaypoint(CTrekGroupList& list, EMode mode, QWidget* parent = nullptr);
  ~CDlgWaypoint() override;

  [[nodiscard]] EMode mode() const { return m_mode; }
  /// The remembered "MarkerDatum" (not owned): read when the window opens, written on OK.
  /// Null starts with Tokyo and remembers nothing.
  void setMarkerDatumSetting(std::int32_t* setting) { m_markerDatum = setting; }
  /// Called with every new or edited waypoint before it is stored, to record the sheet it
  /// lies on when a sheet is open.
  void setSheetAssigner(std::function<void(CMarkerPoint&)> assign) { m_assign = std::move(assign); }
  /// Replaces how the edit mode applies checked input (the map view adds its own questions);
  /// true closes the window. By default the selected waypoint is changed.
  void setEditHandler(std::function<bool(const trek::SWaypointInput&)> handler) { m_editHandler = std::move(handler); }

  /// Empties the fields (add) or fills them from the selected waypoint (edit), and chooses the
  /// remembered datum. Called by show.
  void Reset();
  /// A position chosen on the map, given in `datum`, shown in the window's chosen datum.
  void SetPosition(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum);
  /// The fields as typed; while the six coordinate fields hold what the window put there, the
  /// unrounded position comes with them.
  [[nodiscard]] trek::SWaypointInput Input() const;
  [[nodiscard]] Datum ChosenDatum() const;
  /// Reads the grid reference field (UTM or MGRS) into the six angle fields; a reference that
  /// cannot be read is refused with a message. True when the field held a position (or
  /// nothing new).
  bool TakeGridReference();

 signals:
  /// OK stored the waypoint and the window closed.
  void completed();
  /// The window was closed without storing.
  void cancelled();

 public slots:
  void accept() override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void setFields(const trek::SWaypointInput& in);
  /// Shows a WGS-84 position in the chosen datum and remembers it unrounded.
  void showPosition(const trek::SPositionWgs84& position);
  /// The other datum was chosen: the fields' position is shown in it, so the point stays put.
  void datumChosen();
  [[nodiscard]] bool positionUntouched() const;
  void finish(bool ok);
  bool eventFilter(QObject* watched, QEvent* event) override;

  CTrekGroupList& m_list;
  EMode m_mode;
  std::int32_t* m_markerDatum = nullptr;
  std::function<void(CMarkerPoint&)> m_assign;
  std::function<bool(const trek::SWaypointInput&)> m_editHandler;
  QRadioButton* m_wgs84 = nullptr;
  QRadioButton* m_tokyo = nullptr;
  QLineEdit* m_lat[3] = {};
  QLineEdit* m_lon[3] = {};
  QLineEdit* m_grid = nullptr;
  QString m_gridTaken;  ///< the grid field's text last read (shown in the angle fields unless refused)
  bool m_gridRefused = false;  ///< ... and it could not be read
  QLineEdit* m_name = nullptr;
  QLineEdit* m_gpsName = nullptr;
  QLineEdit* m_desc1 = nullptr;
  QLineEdit* m_desc2 = nullptr;
  QPlainTextEdit* m_comment = nullptr;
  Datum m_fieldsDatum = Datum::Tokyo;  ///< the datum the coordinate fields are in
  std::optional<trek::SPositionWgs84> m_shown;  ///< the position last put into the fields
  QString m_shownTexts[6];                      ///< ... and the texts it was shown as
  bool m_locking = false;  ///< this window holds the trek data lock
};
