#include "gps/ui/CDlgGpsName.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gps/GpsDialogTexts.h"
#include "trek/CTrekData.h"
#include "trek/TrekEditing.h"

CDlgGpsName::CDlgGpsName(std::int32_t kind, const std::string& current, std::function<bool(const std::string&)> apply,
                         QWidget* parent)
    : QDialog(parent), m_apply(std::move(apply)) {
  const bool wp = kind == CTrekData::kWaypointGroup;
  const std::size_t max = wp ? trek::kMaxWaypointGpsName : trek::kMaxTrackLogGpsName;
  setObjectName(QStringLiteral("dlgGpsName"));
  setWindowTitle(QString::fromUtf8(wp ? gpstext::kGpsNameWaypointCaption : gpstext::kGpsNameTrackCaption));
  auto* label = new QLabel(QString::fromUtf8(wp ? gpstext::kGpsNameWaypointLabel : gpstext::kGpsNameTrackLabel), this);
  label->setObjectName(QStringLiteral("promptText"));
  m_edit = new QLineEdit(this);
  m_edit->setObjectName(QStringLiteral("nameEdit"));
  m_edit->setMaxLength(static_cast<int>(max));
  m_edit->setText(QString::fromStdString(current));
  m_edit->selectAll();
  label->setBuddy(m_edit);
  auto* chars = new QLabel(QString::fromUtf8(trek::kGpsNameCharsText), this);
  chars->setObjectName(QStringLiteral("charsText"));
  auto* length = new QLabel(QString::fromStdString(trek::GpsNameMaxText(max)), this);
  length->setObjectName(QStringLiteral("maxText"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("buttons"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgGpsName::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CDlgGpsName::reject);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(label);
  lay->addWidget(m_edit);
  lay->addWidget(chars);
  lay->addWidget(length);
  lay->addWidget(buttons);
  setMinimumWidth(320);
}

void CDlgGpsName::accept() {
  if (m_apply && !m_apply(m_edit->text().toStdString())) return;
  QDialog::accept();
}
