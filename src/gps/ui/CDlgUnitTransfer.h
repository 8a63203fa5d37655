#pragma once
// The dialogs of Garmin units mounted as folders: "USB機器から読み込む" lists what a unit holds
// and adds chosen items to open groups as a serial download does; "USB機器へ書き込む" writes
// chosen groups (and custom maps) to a unit. Both follow units as they are plugged in and out;
// reading a unit runs on a worker thread.
#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>

#include "gps/GarminUnitWatcher.h"
#include "gps/UnitDownloadSession.h"
#include "gps/UnitUpload.h"

class CTrekGroupList;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace gpsui {
/// Fills `box` with the watcher's units, keeping the chosen one chosen; the label says when
/// there is none.
void FillUnits(QComboBox& box, QLabel& status, const gps::CGarminUnitWatcher& watcher);
/// The chosen unit, null when none.
[[nodiscard]] const gps::SGarminUnit* ChosenUnit(const QComboBox& box, const gps::CGarminUnitWatcher& watcher);
}  // namespace gpsui

class CDlgUnitDownload : public QDialog {
  Q_OBJECT
 public:
  CDlgUnitDownload(CTrekGroupList& groups, gps::CGarminUnitWatcher::Scan scan, QWidget* parent = nullptr);
  ~CDlgUnitDownload() override;

  void setNewGroupHandler(std::function<void(std::int32_t kind)> handler) { m_newGroup = std::move(handler); }
  [[nodiscard]] CUnitDownloadSession& session() { return m_session; }
  [[nodiscard]] gps::CGarminUnitWatcher& watcher() { return m_watcher; }
  /// True while a unit is being read.
  [[nodiscard]] bool reading() const { return m_reading; }
  void refreshRows();
  void refreshGroups();

 public slots:
  void reject() override;

 private:
  void readUnit();
  void contentsRead(std::shared_ptr<gps::SUnitContents> contents);
  void addRows();
  void undo();
  void updateButtons();

  CTrekGroupList& m_groups;
  CUnitDownloadSession m_session;
  gps::CGarminUnitWatcher m_watcher;
  std::function<void(std::int32_t)> m_newGroup;
  QComboBox* m_units = nullptr;
  QLabel* m_status = nullptr;
  QPushButton* m_read = nullptr;
  QTreeWidget* m_rows = nullptr;
  QComboBox* m_waypointGroup = nullptr;
  QComboBox* m_trackGroup = nullptr;
  QPushButton* m_add = nullptr;
  QPushButton* m_undo = nullptr;
  bool m_reading = false;
  std::shared_ptr<std::atomic<bool>> m_stop;  ///< shared with the reading worker
};

class CDlgUnitUpload : public QDialog {
  Q_OBJECT
 public:
  CDlgUnitUpload(CTrekGroupList& groups, gps::CGarminUnitWatcher::Scan scan, QWidget* parent = nullptr);
  ~CDlgUnitUpload() override;

  [[nodiscard]] gps::CGarminUnitWatcher& watcher() { return m_watcher; }
  /// The groups' rows again (the selected group checked at first).
  void refreshGroups();
  /// What the last write did.
  [[nodiscard]] const gps::SUnitUploadOutcome* lastOutcome() const { return m_outcome.get(); }

 private:
  void write();
  void writeCustomMap();
  void updateButtons();

  CTrekGroupList& m_groups;
  gps::CGarminUnitWatcher m_watcher;
  QComboBox* m_units = nullptr;
  QLabel* m_status = nullptr;
  QTreeWidget* m_groupList = nullptr;
  QPushButton* m_write = nullptr;
  QPushButton* m_map = nullptr;
  std::unique_ptr<gps::SUnitUploadOutcome> m_outcome;
};
