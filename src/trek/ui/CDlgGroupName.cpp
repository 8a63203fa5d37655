#include "trek/ui/CDlgGroupName.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Codepage.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekEditing.h"

CDlgGroupName* CDlgGroupName::NewGroup(CTrekGroupList& list, std::int32_t kind, QWidget* parent) {
  return new CDlgGroupName(list, false, kind, parent);
}

CDlgGroupName* CDlgGroupName::Rename(CTrekGroupList& list, int groupIndex, QWidget* parent) {
  return new CDlgGroupName(list, true, groupIndex, parent);
}

CDlgGroupName::CDlgGroupName(CTrekGroupList& list, bool rename, std::int32_t kindOrIndex, QWidget* parent)
    : QDialog(parent), m_list(list), m_rename(rename), m_kindOrIndex(kindOrIndex) {
  setObjectName(rename ? QStringLiteral("dlgRenameGroup") : QStringLiteral("dlgNewGroup"));
  setWindowTitle(rename ? QStringLiteral("グループ名の変更") : QStringLiteral("新規トレックデータグループ"));
  auto* label = new QLabel(rename ? QStringLiteral("新しいグループ名を入力して下さい")
                                  : QStringLiteral("グループ名を入力してください"),
                           this);
  m_edit = new QLineEdit(this);
  m_edit->setObjectName(QStringLiteral("nameEdit"));
  label->setBuddy(m_edit);
  if (rename) {
    if (const CTrekData* g = list.Group(kindOrIndex))
      m_edit->setText(QString::fromStdString(platform::cp932::toUtf8Lossy(g->GroupName())));
  } else {
    m_edit->setMaxLength(int(trek::kMaxGroupName));
  }
  m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  m_buttons->setObjectName(QStringLiteral("buttons"));
  connect(m_buttons, &QDialogButtonBox::accepted, this, &CDlgGroupName::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &CDlgGroupName::reject);
  if (!rename) connect(m_edit, &QLineEdit::textChanged, this, &CDlgGroupName::updateOk);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(label);
  lay->addWidget(m_edit);
  lay->addWidget(m_buttons);
  updateOk();
}

void CDlgGroupName::updateOk() {
  // The new-group window accepts only a name with something besides leading white space.
  const bool enabled = m_rename || trek::GroupNameEntered(m_edit->text().toStdString());
  m_buttons->button(QDialogButtonBox::Ok)->setEnabled(enabled);
}

void CDlgGroupName::accept() {
  const std::string name = m_edit->text().toStdString();
  if (m_rename) {
    if (!m_list.RenameGroup(m_kindOrIndex, name)) return;
    m_result = m_kindOrIndex;
  } else {
    if (!trek::GroupNameEntered(name)) return;
    m_result = m_list.NewGroup(m_kindOrIndex, name);
    if (m_result < 0) return;
  }
  QDialog::accept();
}
