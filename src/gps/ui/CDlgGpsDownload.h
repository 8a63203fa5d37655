#pragma once
// The modal download dialogs, "ウェイポイントのダウンロード" and "トラックログのダウンロード":
// the receiver's items land in the download list first; the user then adds chosen rows to an
// open (or new) group, and may take every addition back while the dialog is open.
#include <QDialog>
#include <cstdint>
#include <functional>

#include "gps/GpsDownloadSession.h"
#include "gps/ui/GpsDialogParts.h"

class CDlgGpsProgress;
class CTrekGroupList;
class QPushButton;
class QTreeWidget;

class CDlgGpsDownload : public QDialog {
  Q_OBJECT
 public:
  /// `kind`: 1 waypoints, 3 track logs.
  CDlgGpsDownload(CTrekGroupList& groups, std::int32_t kind, QWidget* parent = nullptr);
  ~CDlgGpsDownload() override;

  void setSettings(const gpsui::SGpsSettings& settings) { m_settings = settings; }
  /// The new-group and open-file commands of the program for this kind; each may add groups.
  void setNewGroupHandler(std::function<void()> handler) { m_newGroup = std::move(handler); }
  void setOpenFilesHandler(std::function<void()> handler) { m_openFiles = std::move(handler); }

  [[nodiscard]] CGpsDownloadSession& session() { return m_session; }
  [[nodiscard]] CDlgGpsProgress* progressWindow() const { return m_progress; }
  /// Fills the download list and the group list again.
  void refreshRows();
  void refreshGroups();

 public slots:
  /// "終了", Esc and the close box: stores the settings and closes (not while a transfer runs).
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void download();
  void addRows();
  void undo();
  void updateButtons();

  CTrekGroupList& m_groups;
  CGpsDownloadSession m_session;
  gpsui::SGpsSettings m_settings;
  std::function<void()> m_newGroup;
  std::function<void()> m_openFiles;
  gpsui::SPortRow m_port;
  QTreeWidget* m_rows = nullptr;
  QTreeWidget* m_groupList = nullptr;
  QPushButton* m_selectAll = nullptr;
  QPushButton* m_clear = nullptr;
  QPushButton* m_undo = nullptr;
  CDlgGpsProgress* m_progress = nullptr;
  bool m_transferring = false;
};
