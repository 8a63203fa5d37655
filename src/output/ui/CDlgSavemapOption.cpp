#include "output/ui/CDlgSavemapOption.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "output/MapImageExport.h"

CDlgSavemapOption::CDlgSavemapOption(std::int32_t options, bool trackLogs, bool waypoints, QWidget* parent)
    : QDialog(parent), m_trackLogs(trackLogs), m_waypoints(waypoints) {
  setObjectName(QStringLiteral("dlgSavemapOption"));
  setWindowTitle(QStringLiteral("地形図の保存オプション"));
  const std::int32_t bits = map_export::EffectiveOptions(options);
  auto* lay = new QVBoxLayout(this);
  auto box = [&](const char* text, const char* name, bool checked) {
    auto* b = new QCheckBox(QString::fromUtf8(text), this);
    b->setObjectName(QString::fromLatin1(name));
    b->setChecked(checked);
    connect(b, &QCheckBox::toggled, this, &CDlgSavemapOption::updateEnabling);
    lay->addWidget(b);
    return b;
  };
  m_trackLines = box("トラックログラインを出力(&T)", "trackLines", bits & kExportTrackLines);
  m_trackNames = box("トラックログ名を出力(&K)", "trackNames", bits & kExportTrackNames);
  m_waypointIcons = box("ウェイポイントアイコンを出力(&W)", "waypointIcons", bits & kExportWaypointIcons);
  m_waypointNames = box("ウェイポイント名を出力(&Y)", "waypointNames", bits & kExportWaypointNames);
  lay->addSpacing(4);
  m_utmGrid = box("UTMグリッド(&U)", "utmGrid", bits & kExportUtmGrid);
  m_graticule = box("緯度経度線(&L)", "graticule", bits & kExportGraticule);
  m_magneticNorth = box("磁北線(&N)", "magneticNorth", bits & kExportMagneticNorth);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("buttons"));
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  lay->addSpacing(8);
  lay->addWidget(buttons);
  updateEnabling();
}

void CDlgSavemapOption::updateEnabling() {
  m_trackLines->setEnabled(m_trackLogs);
  m_trackNames->setEnabled(m_trackLogs && m_trackLines->isChecked());
  m_waypointIcons->setEnabled(m_waypoints);
  m_waypointNames->setEnabled(m_waypoints && m_waypointIcons->isChecked());
}

std::int32_t CDlgSavemapOption::options() const {
  return map_export::OptionsFromChecks(m_trackLines->isChecked(), m_trackNames->isChecked(),
                                       m_waypointIcons->isChecked(), m_waypointNames->isChecked()) |
         (m_utmGrid->isChecked() ? kExportUtmGrid : 0) | (m_graticule->isChecked() ? kExportGraticule : 0) |
         (m_magneticNorth->isChecked() ? kExportMagneticNorth : 0);
}
