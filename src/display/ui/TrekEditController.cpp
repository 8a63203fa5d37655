#include "display/ui/TrekEditController.h"

#include <QWidget>

#include "app/CVantoriaDoc.h"
#include "platform/Codepage.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"
#include "trek/SheetAssignment.h"
#include "trek/ui/CDlgTrackLog.h"
#include "trek/ui/CDlgWaypoint.h"

CTrekEditController::CTrekEditController(CVantoriaDoc& doc, QWidget* owner)
    : QObject(owner), m_doc(doc), m_owner(owner) {}

CTrekEditController::~CTrekEditController() = default;

void CTrekEditController::setMarkerDatumSetting(std::int32_t* setting) {
  m_markerDatum = setting;
  for (CDlgWaypoint* w : {m_add, m_edit})
    if (w) w->setMarkerDatumSetting(setting);
}

CTrekEditController::EWindow CTrekEditController::openWindow() const {
  if (m_add && m_add->isVisible()) return EWindow::AddWaypoint;
  if (m_edit && m_edit->isVisible()) return EWindow::EditWaypoint;
  if (m_track && m_track->isVisible()) return EWindow::TrackLog;
  return EWindow::None;
}

bool CTrekEditController::busy() const {
  const CTrekGroupList& list = m_doc.TrekGroups();
  return openWindow() != EWindow::None || list.IsLocked() || list.IsTrackLogEditing() || (m_busyProbe && m_busyProbe());
}

bool CTrekEditController::canOpen(EWindow which) const {
  if (busy()) return false;
  const std::int32_t kind = m_doc.TrekGroups().Selection().kind;
  switch (which) {
    case EWindow::AddWaypoint: return kind == kTrekWaypointGroup || kind == kTrekWaypoint;
    case EWindow::EditWaypoint: return kind == kTrekWaypoint;
    case EWindow::TrackLog: return kind == kTrekTrackLog || kind == kTrekTrackPoint;
    case EWindow::None: break;
  }
  return false;
}

CDlgWaypoint* CTrekEditController::makeWaypointWindow(bool add) {
  auto* w = new CDlgWaypoint(m_doc.TrekGroups(), add ? CDlgWaypoint::EMode::Add : CDlgWaypoint::EMode::Edit, m_owner);
  w->setMarkerDatumSetting(m_markerDatum);
  w->setSheetAssigner([this](CMarkerPoint& p) { assignSheet(p); });
  if (!add) {
    w->setEditHandler([this](const trek::SWaypointInput& in) { return completeEdit(in); });
    // Either way the cached icon may have been dragged away from the stored position.
    connect(w, &CDlgWaypoint::completed, this, &CTrekEditController::rebuildRequested);
    connect(w, &CDlgWaypoint::cancelled, this, &CTrekEditController::rebuildRequested);
  }
  return w;
}

bool CTrekEditController::open(EWindow which) {
  if (!canOpen(which)) return false;
  QDialog* w = nullptr;
  switch (which) {
    case EWindow::AddWaypoint:
      if (!m_add) m_add = makeWaypointWindow(true);
      w = m_add;
      break;
    case EWindow::EditWaypoint:
      if (!m_edit) m_edit = makeWaypointWindow(false);
      w = m_edit;
      break;
    case EWindow::TrackLog:
      if (!m_track) {
        m_track = new CDlgTrackLog(m_doc.TrekGroups(), m_owner);
        connect(m_track, &CDlgTrackLog::completed, this, [this] { trackLogClosed(true); });
        connect(m_track, &CDlgTrackLog::cancelled, this, [this] { trackLogClosed(false); });
      }
      m_editedLog = m_doc.TrekGroups().SelectedTrackLog();
      m_editedGroup = m_doc.TrekGroups().SelectedGroupIndex();
      w = m_track;
      break;
    case EWindow::None: return false;
  }
  // The windows lock the trek data themselves while shown.
  w->show();
  w->raise();
  return true;
}

bool CTrekEditController::setWaypointPosition(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum) {
  const EWindow open = openWindow();
  if (open != EWindow::AddWaypoint && open != EWindow::EditWaypoint) return false;
  (open == EWindow::AddWaypoint ? m_add : m_edit)->SetPosition(latitude, longitude, datum);
  return true;
}

bool CTrekEditController::moveSelectedTrackPoint(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum) {
  if (openWindow() != EWindow::TrackLog) return false;
  CTrekGroupList& list = m_doc.TrekGroups();
  if (!list.SelectedTrackPoint() || list.SelectedTrackLog() != m_editedLog) return false;
  return list.MoveSelectedTrackPoint(latitude, longitude, datum);
}

void CTrekEditController::assignSheet(CMarkerPoint& point) const { (void)m_doc.AssignSheetOf(point); }

bool CTrekEditController::completeEdit(const trek::SWaypointInput& input) {
  CTrekGroupList& list = m_doc.TrekGroups();
  CMarkerPoint* point = list.SelectedWaypoint();
  const CTrekData* group = list.SelectedGroup();
  if (!point || !group) return false;
  // The duplicate test needs the edited position on the point itself (so that it is not found
  // as its own duplicate); it is put back until the answer is known.
  const CMarkerPoint before = *point;
  trek::ApplyWaypointInput(*point, input);
  const CMarkerPoint* duplicate = FindDuplicateWaypoint(*point, *group);
  *point = before;
  if (duplicate) {
    const std::string text = "このポイントグループには、同じ経緯度のポイント [" +
                             platform::cp932::toUtf8Lossy(duplicate->name) +
                             "] が既に存在します。\r\nこのまま編集を完了しますか?";
    if (platform::prompt().ask({text, platform::EPromptIcon::Question, platform::EPromptButtons::YesNo, {},
                                "Vantoria"}) != platform::EPromptAnswer::Yes)
      return false;
  }
  // The sheet names belong to the same edit, so one undo takes both back.
  if (!list.EditSelectedWaypoint(input, [this](CMarkerPoint& p) { assignSheet(p); })) return false;
  list.NotifyDataChanged();
  return true;
}

void CTrekEditController::trackLogClosed(bool ok) {
  CTrekGroupList& list = m_doc.TrekGroups();
  if (ok) {
    emit rebuildRequested();
  } else if (m_editedLog && list.Group(m_editedGroup)) {
    STrekSelection s;
    s.kind = kTrekTrackLog;
    s.groupIndex = m_editedGroup;
    s.trackLog = m_editedLog;
    (void)list.Select(s);  // refused when the log went away meanwhile
    list.NotifyDataChanged();
  }
  m_editedLog = nullptr;
  m_editedGroup = -1;
}
