#pragma once
// The modeless "トラックログの編集" window for the selected track log: its four texts, and a
// button that deletes the track point selected on the map. While it is shown only that track
// log and its points can be selected.
#include <QDialog>
#include <functional>

#include "trek/TrekEditing.h"

class CTrekGroupList;
class QLineEdit;
class QPushButton;

class CDlgTrackLog : public QDialog {
  Q_OBJECT
 public:
  explicit CDlgTrackLog(CTrekGroupList& list, QWidget* parent = nullptr);
  ~CDlgTrackLog() override;

  /// Fills the fields from the selected track log. Called by show.
  void Reset();
  [[nodiscard]] trek::STrackLogInput Input() const;
  /// The delete button: removes the selected track point of the edited log; false without one.
  bool DeleteSelectedPoint();

 signals:
  void completed();
  void cancelled();

 public slots:
  void accept() override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void finish(bool ok);

  CTrekGroupList& m_list;
  QLineEdit* m_name = nullptr;
  QLineEdit* m_gpsName = nullptr;
  QLineEdit* m_desc1 = nullptr;
  QLineEdit* m_desc2 = nullptr;
  QPushButton* m_deletePoint = nullptr;
  bool m_editing = false;  ///< this window holds the track-log editing state
};
