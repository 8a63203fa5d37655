#pragma once
// The modeless upload dialogs, "ウェイポイントのアップロード" and "トラックログのアップロード":
// the user fills the upload list from the current selection (in the trek data list or on the
// map) while the dialog stays open, corrects GPS names, chooses how track logs are sent, and
// sends the list. The owner tells the dialog when the trek data or the selection changed.
#include <QDialog>
#include <cstdint>

#include "gps/GpsUploadList.h"
#include "gps/ui/GpsDialogParts.h"

class CDlgGpsProgress;
class CTrekGroupList;
class QLabel;
class QPushButton;
class QTreeWidget;

class CDlgGpsUpload : public QDialog {
  Q_OBJECT
 public:
  /// `kind`: 1 waypoints, 3 track logs.
  CDlgGpsUpload(CTrekGroupList& groups, std::int32_t kind, QWidget* parent = nullptr);
  ~CDlgGpsUpload() override;

  void setSettings(const gpsui::SGpsSettings& settings) { m_settings = settings; }
  [[nodiscard]] CGpsUploadList& uploadList() { return m_list; }
  [[nodiscard]] CDlgGpsProgress* progressWindow() const { return m_progress; }
  [[nodiscard]] bool transferring() const { return m_transferring; }

  /// Fills the upload list widget again.
  void refreshRows();

 public slots:
  /// Groups or items changed: entries whose item went away leave the list.
  void trekDataChanged();
  /// The selection changed: "リストに追加" follows it.
  void selectionChanged();
  /// "終了", Esc and the close box: stores the settings and hides (not while a transfer runs).
  void reject() override;

 signals:
  /// The dialog was closed by the user.
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  [[nodiscard]] int currentRow() const;
  void editGpsName();
  void editSendMethod();
  void upload();
  void updateButtons();

  CTrekGroupList& m_groups;
  CGpsUploadList m_list;
  gpsui::SGpsSettings m_settings;
  gpsui::SPortRow m_port;
  QTreeWidget* m_rows = nullptr;
  QLabel* m_greyNote = nullptr;
  QPushButton* m_add = nullptr;
  QPushButton* m_gpsName = nullptr;
  QPushButton* m_method = nullptr;  ///< track log dialog only
  QPushButton* m_remove = nullptr;
  QPushButton* m_clear = nullptr;
  QPushButton* m_start = nullptr;
  CDlgGpsProgress* m_progress = nullptr;
  bool m_transferring = false;
};
