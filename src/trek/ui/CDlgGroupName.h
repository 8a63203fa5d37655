#pragma once
// The two group-name windows: "新規トレックデータグループ" creates an empty group of a kind,
// "グループ名の変更" renames a group. Both apply the name through the group list, whose checks
// show their messages; a refused name keeps the window open.
#include <QDialog>
#include <cstdint>

class CTrekGroupList;
class QDialogButtonBox;
class QLineEdit;

class CDlgGroupName : public QDialog {
  Q_OBJECT
 public:
  /// The new-group window for kind 1 (waypoints) or 3 (track logs).
  static CDlgGroupName* NewGroup(CTrekGroupList& list, std::int32_t kind, QWidget* parent = nullptr);
  /// The rename window for group `groupIndex`, filled with its name.
  static CDlgGroupName* Rename(CTrekGroupList& list, int groupIndex, QWidget* parent = nullptr);

  /// Index of the group made or renamed after OK, -1 before.
  [[nodiscard]] int resultGroup() const { return m_result; }
  [[nodiscard]] QLineEdit* nameEdit() const { return m_edit; }

 public slots:
  void accept() override;

 private:
  CDlgGroupName(CTrekGroupList& list, bool rename, std::int32_t kindOrIndex, QWidget* parent);
  void updateOk();

  CTrekGroupList& m_list;
  bool m_rename;
  std::int32_t m_kindOrIndex;
  int m_result = -1;
  QLineEdit* m_edit = nullptr;
  QDialogButtonBox* m_buttons = nullptr;
};
