#include "gps/ui/CDlgGpsProgress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CDlgGpsProgress::CDlgGpsProgress(QWidget* owner)
    : QDialog(owner),
      m_activity(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_percent(new QLabel(this)),
      m_cancel(new QPushButton(QStringLiteral("中止"), this)) {
  setWindowTitle(QStringLiteral("Vantoria"));
  setModal(false);
  m_activity->setObjectName(QStringLiteral("activityLabel"));
  m_bar->setObjectName(QStringLiteral("progressBar"));
  m_bar->setRange(0, 100);
  m_bar->setValue(0);
  m_bar->setTextVisible(false);
  m_percent->setObjectName(QStringLiteral("percentLabel"));
  m_percent->setText(QStringLiteral("0 %"));
  m_percent->setMinimumWidth(m_percent->fontMetrics().horizontalAdvance(QStringLiteral("100 %")));
  m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  m_cancel->setObjectName(QStringLiteral("cancelButton"));
  connect(m_cancel, &QPushButton::clicked, this, [this] { m_cancelled = true; });

  auto* barRow = new QHBoxLayout;
  barRow->addWidget(m_bar, 1);
  barRow->addWidget(m_percent);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  buttonRow->addWidget(m_cancel);
  buttonRow->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_activity);
  layout->addLayout(barRow);
  layout->addLayout(buttonRow);
  setMinimumWidth(360);
}

void CDlgGpsProgress::Show(const std::string& activity) {
  m_cancelled = false;
  m_activity->setText(QString::fromStdString(activity));
  m_bar->setValue(0);
  m_percent->setText(QStringLiteral("0 %"));
  show();
  raise();
}

bool CDlgGpsProgress::Update(double fraction) {
  double percent = fraction * 100.0;
  if (!(percent >= 0.0)) percent = 0.0;  // also NaN
  if (percent > 100.0) percent = 100.0;
  const int value = static_cast<int>(percent);
  m_bar->setValue(value);
  m_percent->setText(QStringLiteral("%1 %").arg(value));
  return !m_cancelled;
}

void CDlgGpsProgress::Hide() { hide(); }

void CDlgGpsProgress::reject() { m_cancelled = true; }
