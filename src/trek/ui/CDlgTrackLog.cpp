#include "trek/ui/CDlgTrackLog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "platform/Codepage.h"
#include "trek/CTrekGroupList.h"
#include "trek/ui/TrekWindowPosition.h"

CDlgTrackLog::CDlgTrackLog(CTrekGroupList& list, QWidget* parent) : QDialog(parent), m_list(list) {
  setObjectName(QStringLiteral("dlgEditTrackLog"));
  setWindowTitle(QStringLiteral("トラックログの編集"));
  setModal(false);

  auto* form = new QGridLayout;
  const auto row = [&](int r, const QString& label, QLineEdit*& edit, const char* name) {
    edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    auto* l = new QLabel(label, this);
    l->setBuddy(edit);
    form->addWidget(l, r, 0);
    form->addWidget(edit, r, 1);
  };
  row(0, QStringLiteral("トラックログの名前(&N)"), m_name, "nameEdit");
  row(1, QStringLiteral("GPS表示名(&G)"), m_gpsName, "gpsNameEdit");
  row(2, QStringLiteral("説明&１"), m_desc1, "desc1Edit");
  row(3, QStringLiteral("説明&２"), m_desc2, "desc2Edit");

  m_deletePoint = new QPushButton(QStringLiteral("選択ポイントを削除(&D)..."), this);
  m_deletePoint->setObjectName(QStringLiteral("deletePointButton"));
  m_deletePoint->setAutoDefault(false);
  connect(m_deletePoint, &QPushButton::clicked, this, [this] { (void)DeleteSelectedPoint(); });

  auto* hint = new QLabel(QStringLiteral("トラックポイントをマウスでドラッグすると、トラックポイントを移動することが出来ます。"), this);
  hint->setObjectName(QStringLiteral("hintText"));
  hint->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("buttons"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgTrackLog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CDlgTrackLog::reject);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(form);
  lay->addWidget(m_deletePoint, 0, Qt::AlignLeft);
  lay->addWidget(hint);
  lay->addWidget(buttons);
}

CDlgTrackLog::~CDlgTrackLog() {
  if (!m_editing) return;
  m_list.EndTrackLogSession(true);
  m_list.SetTrackLogEditing(false);
  m_list.ReleaseHold();
}

void CDlgTrackLog::Reset() {
  const CTrackLog* log = m_list.SelectedTrackLog();
  const auto q = [](const std::string& cp932) { return QString::fromStdString(platform::cp932::toUtf8Lossy(cp932)); };
  m_name->setText(log ? q(log->name) : QString());
  m_gpsName->setText(log ? q(log->gpsName) : QString());
  m_desc1->setText(log ? q(log->description1) : QString());
  m_desc2->setText(log ? q(log->description2) : QString());
}

trek::STrackLogInput CDlgTrackLog::Input() const {
  return {m_name->text().toStdString(), m_gpsName->text().toStdString(), m_desc1->text().toStdString(),
          m_desc2->text().toStdString()};
}

bool CDlgTrackLog::DeleteSelectedPoint() {
  if (m_list.Selection().kind != kTrekTrackPoint) return false;
  return m_list.DeleteSelectedTrackPoint();
}

void CDlgTrackLog::accept() {
  if (!m_list.EditSelectedTrackLog(Input())) return;
  finish(true);
}

void CDlgTrackLog::reject() { finish(false); }

void CDlgTrackLog::finish(bool ok) {
  trek::SaveWindowPosition(*this);
  // Cancel takes back the points moved and deleted while the window was open.
  m_list.EndTrackLogSession(ok);
  QDialog::done(ok ? QDialog::Accepted : QDialog::Rejected);
  if (ok) emit completed();
  else emit cancelled();
}

void CDlgTrackLog::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    Reset();
    trek::RestoreWindowPosition(*this);
    m_list.SetTrackLogEditing(true);
    m_list.HoldSelection(true);
    m_list.BeginTrackLogSession();
    m_editing = true;
  }
  QDialog::showEvent(event);
}

void CDlgTrackLog::hideEvent(QHideEvent* event) {
  if (!event->spontaneous() && m_editing) {
    m_list.EndTrackLogSession(true);  // a no-op after finish
    m_list.SetTrackLogEditing(false);
    m_list.ReleaseHold();
    m_editing = false;
  }
  QDialog::hideEvent(event);
}
