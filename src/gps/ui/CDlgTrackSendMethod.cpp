#include "gps/ui/CDlgTrackSendMethod.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gps/GpsDialogTexts.h"
#include "gps/ui/GpsDialogParts.h"

CDlgTrackSendMethod::CDlgTrackSendMethod(std::int32_t sendAsActiveLog, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("dlgTrackSendMethod"));
  setWindowTitle(QString::fromUtf8(gpstext::kSendMethodCaption));
  m_saved = new QRadioButton(QString::fromUtf8(gpstext::kSendSaved), this);
  m_saved->setObjectName(QStringLiteral("sendSaved"));
  m_active = new QRadioButton(QString::fromUtf8(gpstext::kSendActive), this);
  m_active->setObjectName(QStringLiteral("sendActive"));
  (sendAsActiveLog ? m_active : m_saved)->setChecked(true);

  auto* grid = new QGridLayout;
  const struct {
    QRadioButton* button;
    bool active;
    const char* note;
    const char* name;
  } rows[] = {{m_saved, false, gpstext::kNoteSaved, "noteSaved"}, {m_active, true, gpstext::kNoteActive, "noteActive"}};
  int r = 0;
  for (const auto& row : rows) {
    auto* icon = new QLabel(this);
    icon->setPixmap(gpsui::SendMethodIcon(row.active).pixmap(16, 16));
    auto* note = new QLabel(QString::fromUtf8(row.note), this);
    note->setObjectName(QString::fromLatin1(row.name));
    note->setIndent(24);
    grid->addWidget(icon, r, 0);
    grid->addWidget(row.button, r, 1);
    grid->addWidget(note, r + 1, 1);
    grid->setRowMinimumHeight(r + 2, 8);
    r += 3;
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("buttons"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* lay = new QVBoxLayout(this);
  lay->addLayout(grid);
  lay->addWidget(buttons);
}

std::int32_t CDlgTrackSendMethod::sendAsActiveLog() const { return m_active->isChecked() ? 1 : 0; }
