#include "trek/ui/CDlgTrackEdits.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/Codepage.h"
#include "trek/CTrekGroupList.h"

namespace {

constexpr int kLogRole = Qt::UserRole + 1;

QDialogButtonBox* okCancel(QDialog* dlg) {
  auto* b = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
  b->setObjectName(QStringLiteral("buttons"));
  QObject::connect(b, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
  QObject::connect(b, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
  return b;
}

}  // namespace

// --- join

CDlgJoinTracks::CDlgJoinTracks(CTrekGroupList& list, int groupIndex, QWidget* parent)
    : QDialog(parent), m_list(list), m_group(groupIndex) {
  setObjectName(QStringLiteral("dlgJoinTracks"));
  setWindowTitle(QStringLiteral("トラックログの結合"));
  auto* label = new QLabel(QStringLiteral("結合するトラックログを選んでください"), this);
  m_logs = new QListWidget(this);
  m_logs->setObjectName(QStringLiteral("logList"));
  const CTrackLog* selected = list.SelectedTrackLog();
  if (const CTrekData* g = list.Group(groupIndex)) {
    for (const auto& l : g->TrackLogs()) {
      const QString text = QStringLiteral("%1 (%2ポイント)")
                               .arg(QString::fromStdString(platform::cp932::toUtf8Lossy(l->name)))
                               .arg(l->Points().size());
      auto* item = new QListWidgetItem(text, m_logs);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(l.get() == selected ? Qt::Checked : Qt::Unchecked);
      item->setData(kLogRole, QVariant::fromValue(static_cast<void*>(l.get())));
    }
  }
  m_byTime = new QCheckBox(QStringLiteral("時刻順に結合する(&T)"), this);
  m_byTime->setObjectName(QStringLiteral("byTime"));
  m_byTime->setChecked(true);
  auto* up = new QPushButton(QStringLiteral("上へ(&U)"), this);
  up->setObjectName(QStringLiteral("upButton"));
  auto* down = new QPushButton(QStringLiteral("下へ(&D)"), this);
  down->setObjectName(QStringLiteral("downButton"));
  connect(up, &QPushButton::clicked, this, [this] { moveCurrent(-1); });
  connect(down, &QPushButton::clicked, this, [this] { moveCurrent(1); });
  connect(m_byTime, &QCheckBox::toggled, this, [up, down](bool on) {
    up->setEnabled(!on);
    down->setEnabled(!on);
  });
  up->setEnabled(false);
  down->setEnabled(false);
  auto* moves = new QHBoxLayout;
  moves->addWidget(m_byTime);
  moves->addStretch();
  moves->addWidget(up);
  moves->addWidget(down);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(label);
  lay->addWidget(m_logs);
  lay->addLayout(moves);
  lay->addWidget(okCancel(this));
}

void CDlgJoinTracks::moveCurrent(int step) {
  const int row = m_logs->currentRow();
  const int to = row + step;
  if (row < 0 || to < 0 || to >= m_logs->count()) return;
  QListWidgetItem* item = m_logs->takeItem(row);
  m_logs->insertItem(to, item);
  m_logs->setCurrentRow(to);
}

void CDlgJoinTracks::accept() {
  std::vector<CTrackLog*> logs;
  for (int i = 0; i < m_logs->count(); ++i) {
    const QListWidgetItem* item = m_logs->item(i);
    if (item->checkState() == Qt::Checked) logs.push_back(static_cast<CTrackLog*>(item->data(kLogRole).value<void*>()));
  }
  if (!m_list.JoinTrackLogs(m_group, logs, m_byTime->isChecked() ? trek::EJoinOrder::ByTime : trek::EJoinOrder::AsGiven))
    return;
  QDialog::accept();
}

// --- range

CDlgPointRange::CDlgPointRange(CTrekGroupList& list, std::size_t from, std::size_t to, QWidget* parent)
    : QDialog(parent), m_list(list) {
  setObjectName(QStringLiteral("dlgPointRange"));
  setWindowTitle(QStringLiteral("トラックポイントの範囲削除"));
  const CTrackLog* log = list.SelectedTrackLog();
  const int last = log && !log->Points().empty() ? static_cast<int>(log->Points().size()) - 1 : 0;
  auto box = [&](const char* name, std::size_t value) {
    auto* b = new QSpinBox(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setRange(0, last);
    b->setValue(static_cast<int>(std::min<std::size_t>(value, std::size_t(last))));
    return b;
  };
  m_from = box("fromBox", from);
  m_to = box("toBox", to);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("最初のポイント(&F)"), m_from);
  form->addRow(QStringLiteral("最後のポイント(&L)"), m_to);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(new QLabel(QStringLiteral("削除するポイントの範囲を番号 (先頭が0) で指定してください"), this));
  lay->addLayout(form);
  lay->addWidget(okCancel(this));
}

void CDlgPointRange::accept() {
  if (!m_list.DeleteSelectedTrackPoints(std::size_t(m_from->value()), std::size_t(m_to->value()))) return;
  QDialog::accept();
}

// --- thin

CDlgThinTrack::CDlgThinTrack(CTrekGroupList& list, QWidget* parent) : QDialog(parent), m_list(list) {
  setObjectName(QStringLiteral("dlgThinTrack"));
  setWindowTitle(QStringLiteral("トラックログの間引き"));
  if (const CTrackLog* log = list.SelectedTrackLog()) m_points = log->Points().size();
  m_byCount = new QRadioButton(QStringLiteral("ポイント数(&N)"), this);
  m_byCount->setObjectName(QStringLiteral("byCount"));
  m_byTolerance = new QRadioButton(QStringLiteral("許容誤差(&E)"), this);
  m_byTolerance->setObjectName(QStringLiteral("byTolerance"));
  m_count = new QSpinBox(this);
  m_count->setObjectName(QStringLiteral("countBox"));
  m_count->setRange(2, static_cast<int>(std::max<std::size_t>(2, std::min<std::size_t>(m_points, 99999999))));
  m_count->setValue(static_cast<int>(std::max<std::size_t>(2, m_points / 2)));
  m_tolerance = new QDoubleSpinBox(this);
  m_tolerance->setObjectName(QStringLiteral("toleranceBox"));
  m_tolerance->setRange(0.0, 100000.0);
  m_tolerance->setDecimals(1);
  m_tolerance->setSuffix(QStringLiteral(" m"));
  m_tolerance->setValue(5.0);
  m_byTolerance->setChecked(true);
  m_result = new QLabel(this);
  m_result->setObjectName(QStringLiteral("resultLabel"));
  auto* grid = new QFormLayout;
  grid->addRow(m_byCount, m_count);
  grid->addRow(m_byTolerance, m_tolerance);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(new QLabel(QStringLiteral("最初と最後のポイントは残ります"), this));
  lay->addLayout(grid);
  lay->addWidget(m_result);
  m_buttons = okCancel(this);
  lay->addWidget(m_buttons);
  connect(m_byCount, &QRadioButton::toggled, this, &CDlgThinTrack::replan);
  connect(m_count, &QSpinBox::valueChanged, this, &CDlgThinTrack::replan);
  connect(m_tolerance, &QDoubleSpinBox::valueChanged, this, &CDlgThinTrack::replan);
  replan();
}

void CDlgThinTrack::replan() {
  const CTrackLog* log = m_list.SelectedTrackLog();
  m_count->setEnabled(m_byCount->isChecked());
  m_tolerance->setEnabled(m_byTolerance->isChecked());
  if (!log) {
    m_plan = {};
    m_result->clear();
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    return;
  }
  m_plan = m_byCount->isChecked() ? trek::PlanThinToCount(log->Points(), std::size_t(m_count->value()))
                                  : trek::PlanThinToTolerance(log->Points(), m_tolerance->value());
  m_result->setText(QStringLiteral("%1 ポイント → %2 ポイント　最大誤差 %3 m")
                        .arg(m_points)
                        .arg(m_plan.kept.size())
                        .arg(m_plan.maxErrorMetres, 0, 'f', 1));
  m_buttons->button(QDialogButtonBox::Ok)->setEnabled(m_plan.kept.size() < m_points);
}

void CDlgThinTrack::accept() {
  if (!m_list.ThinSelectedTrackLog(m_plan)) return;
  QDialog::accept();
}
