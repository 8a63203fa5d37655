#include "display/ui/GpsWindowHost.h"

#include <QWidget>
#include <algorithm>
#include <memory>

#include "app/CVantoriaDoc.h"
#include "app/TrekCommands.h"
#include "display/ui/TrekEditController.h"
#include "gps/ui/CDlgGpsDownload.h"
#include "gps/ui/CDlgGpsProgress.h"
#include "gps/ui/CDlgGpsUpload.h"
#include "gps/ui/CDlgUnitTransfer.h"
#include "gps/ui/GpsDialogParts.h"
#include "gps/GpsTransfer.h"
#include "trek/TrekEditing.h"
#include "trek/CTrekGroupList.h"
#include "trek/ui/CDlgGroupName.h"
#include "trek/ui/TrekWindowPosition.h"

CGpsWindowHost::CGpsWindowHost(CVantoriaDoc& doc, CTrekEditController& editing, QWidget* owner)
    : QObject(owner), m_doc(doc), m_editing(editing), m_owner(owner) {}

CGpsWindowHost::~CGpsWindowHost() = default;

CDlgGpsUpload* CGpsWindowHost::uploadWindow(std::int32_t kind) const {
  return kind == CTrekData::kWaypointGroup ? m_uploadWaypoints : m_uploadTracks;
}

CDlgGpsUpload* CGpsWindowHost::openUploadWindow() const {
  for (CDlgGpsUpload* w : {m_uploadWaypoints, m_uploadTracks})
    if (w && w->isVisible()) return w;
  return nullptr;
}

bool CGpsWindowHost::canDownload() const {
  // The editing windows work on the selection, which additions must not move under them.
  const CTrekGroupList& list = m_doc.TrekGroups();
  return !m_download && !m_unitDialog && m_editing.openWindow() == CTrekEditController::EWindow::None && !list.IsLocked() &&
         !list.IsTrackLogEditing();
}

bool CGpsWindowHost::canUpload() const { return !m_download && !m_unitDialog && !m_editing.busy(); }

void CGpsWindowHost::runDownload(std::int32_t kind) {
  if (!canDownload()) return;
  CDlgGpsDownload dlg(m_doc.TrekGroups(), kind, m_owner);
  dlg.setSettings(m_settings);
  dlg.setNewGroupHandler([this, kind, &dlg] {
    std::unique_ptr<CDlgGroupName> name(CDlgGroupName::NewGroup(m_doc.TrekGroups(), kind, &dlg));
    name->exec();
  });
  dlg.setOpenFilesHandler([this, kind] {
    CTrekCommands open(m_doc, nullptr);
    (void)open.OpenTrekFiles(kind);
  });
  m_download = &dlg;
  dlg.exec();
  m_download = nullptr;
  m_doc.TrekGroups().NotifyDataChanged();
}

void CGpsWindowHost::runUnitDownload() {
  if (!canDownload()) return;
  CDlgUnitDownload dlg(m_doc.TrekGroups(), m_unitScan, m_owner);
  dlg.setNewGroupHandler([this, &dlg](std::int32_t kind) {
    std::unique_ptr<CDlgGroupName> name(CDlgGroupName::NewGroup(m_doc.TrekGroups(), kind, &dlg));
    name->exec();
  });
  m_unitDialog = &dlg;
  dlg.exec();
  m_unitDialog = nullptr;
  m_doc.TrekGroups().NotifyDataChanged();
}

void CGpsWindowHost::runUnitUpload() {
  if (!canUpload()) return;
  CDlgUnitUpload dlg(m_doc.TrekGroups(), m_unitScan, m_owner);
  m_unitDialog = &dlg;
  dlg.exec();
  m_unitDialog = nullptr;
}

bool CGpsWindowHost::openUpload(std::int32_t kind) {
  if (!canUpload()) return false;
  CDlgGpsUpload*& w = kind == CTrekData::kWaypointGroup ? m_uploadWaypoints : m_uploadTracks;
  if (!w) {
    w = new CDlgGpsUpload(m_doc.TrekGroups(), kind, m_owner);
    CDlgGpsUpload* window = w;
    connect(&m_doc, &CVantoriaDoc::trekDataChanged, window, [window] {
      if (window->isVisible()) window->trekDataChanged();
    });
    connect(&m_doc, &CVantoriaDoc::selectionChanged, window, [window] {
      if (window->isVisible()) window->selectionChanged();
    });
    connect(window, &CDlgGpsUpload::closed, this, [this, window] { uploadClosed(window); });
  }
  w->setSettings(m_settings);
  w->adjustSize();
  trek::RestoreWindowPosition(*w);
  w->show();
  w->raise();
  return true;
}

void CGpsWindowHost::uploadClosed(CDlgGpsUpload* window) { trek::SaveWindowPosition(*window); }

void CGpsWindowHost::transferRoutes(bool upload) {
  CTrekGroupList& list = m_doc.TrekGroups();
  // Routes go on the port last chosen in a transfer window.
  const int port = std::max(1, gpsui::StoredPort(m_settings));
  CDlgGpsProgress progress(m_owner);
  if (upload) {
    const CTrekData* group = list.SelectedGroup();
    if (group && group->Kind() == CTrekData::kRouteGroup) (void)UploadRoutes(*group, SGpsPort(port), progress);
    return;
  }
  auto group = std::make_unique<CTrekData>();
  group->SetKind(CTrekData::kRouteGroup);
  group->SetGroupName(trek::ToModelText("GPSルート"));
  group->SetModified(1);
  (void)DownloadRoutes(*group, SGpsPort(port), progress);
  // What arrived before a failure or a cancel is kept, as with waypoints and track logs.
  if (!group->Routes().empty()) list.AppendGroup(std::move(group));
}

bool CGpsWindowHost::onCommand(int id) {
  switch (id) {
    case cmd::DownloadWaypoints: runDownload(CTrekData::kWaypointGroup); return true;
    case cmd::DownloadTracks: runDownload(CTrekData::kTrackLogGroup); return true;
    case cmd::UploadWaypoints: (void)openUpload(CTrekData::kWaypointGroup); return true;
    case cmd::UploadTracks: (void)openUpload(CTrekData::kTrackLogGroup); return true;
    case cmd::UploadRoutes: transferRoutes(true); return true;
    case cmd::DownloadRoutes: if (canDownload()) transferRoutes(false); return true;
    case cmd::DownloadUnit: runUnitDownload(); return true;
    case cmd::UploadUnit: runUnitUpload(); return true;
    default: return false;
  }
}

bool CGpsWindowHost::onUpdateCommand(int id, SCommandState& state) const {
  switch (id) {
    case cmd::DownloadWaypoints:
    case cmd::DownloadTracks:
    case cmd::DownloadUnit: state.enabled = canDownload(); return true;
    case cmd::UploadWaypoints:
    case cmd::UploadTracks: state.enabled = canUpload(); return true;
    case cmd::UploadUnit: state.enabled = canUpload() && !openUploadWindow(); return true;
    case cmd::DownloadRoutes: state.enabled = canDownload(); return true;
    case cmd::UploadRoutes: {
      const CTrekData* group = m_doc.TrekGroups().Group(m_doc.TrekGroups().SelectedGroupIndex());
      state.enabled = canUpload() && group && group->Kind() == CTrekData::kRouteGroup && !group->Routes().empty();
      return true;
    }
    default: return false;
  }
}
