#include "gps/ui/CDlgUnitTransfer.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QThreadPool>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gps/ui/GpsDialogParts.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"

using gpsui::q;

namespace gpsui {

void FillUnits(QComboBox& box, QLabel& status, const gps::CGarminUnitWatcher& watcher) {
  const QString chosen = box.currentData().toString();
  box.clear();
  for (const gps::SGarminUnit& u : watcher.units()) {
    QString text = q(u.name);
    if (!u.model.empty() && u.model != u.name) text += QStringLiteral(" - ") + q(u.model);
    text += QStringLiteral(" (") + q(platform::pathToUtf8(u.root)) + QStringLiteral(")");
    if (u.kind == gps::EUnitKind::Mtp) text += QStringLiteral(" [MTP]");
    box.addItem(text, q(platform::pathToUtf8(u.root)));
  }
  const int row = box.findData(chosen);
  if (row >= 0) box.setCurrentIndex(row);
  if (!watcher.ready()) status.setText(QStringLiteral("機器を探しています..."));
  else if (watcher.units().empty()) status.setText(q(unittext::kNoUnit));
  else status.clear();
}

const gps::SGarminUnit* ChosenUnit(const QComboBox& box, const gps::CGarminUnitWatcher& watcher) {
  if (box.currentIndex() < 0) return nullptr;
  const std::string root = box.currentData().toString().toStdString();
  for (const gps::SGarminUnit& u : watcher.units())
    if (platform::pathToUtf8(u.root) == root) return &u;
  return nullptr;
}

}  // namespace gpsui

namespace {

QComboBox* unitRow(QWidget* parent, QHBoxLayout*& layout, QLabel*& status) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QStringLiteral("unitList"));
  box->setMinimumWidth(360);
  auto* label = new QLabel(QStringLiteral("機器(&D)"), parent);
  label->setBuddy(box);
  layout = new QHBoxLayout;
  layout->addWidget(label);
  layout->addWidget(box, 1);
  status = new QLabel(parent);
  status->setObjectName(QStringLiteral("unitStatus"));
  status->setWordWrap(true);
  return box;
}

void fillGroupBox(QComboBox& box, const std::vector<gps::SGroupRow>& rows, int preferred) {
  const QVariant chosen = box.currentIndex() >= 0 ? box.currentData() : QVariant(preferred);
  box.clear();
  for (const gps::SGroupRow& r : rows) box.addItem(q(r.name) + QStringLiteral(" (") + q(r.count) + QStringLiteral(")"), r.groupIndex);
  const int row = box.findData(chosen);
  box.setCurrentIndex(row >= 0 ? row : (box.count() > 0 ? 0 : -1));
}

}  // namespace

CDlgUnitDownload::CDlgUnitDownload(CTrekGroupList& groups, gps::CGarminUnitWatcher::Scan scan, QWidget* parent)
    : QDialog(parent), m_groups(groups), m_session(groups), m_watcher(std::move(scan)),
      m_stop(std::make_shared<std::atomic<bool>>(false)) {
  setObjectName(QStringLiteral("dlgUnitDownload"));
  setWindowTitle(q(unittext::kDownloadCaption));
  setModal(true);

  QHBoxLayout* top = nullptr;
  m_units = unitRow(this, top, m_status);
  m_read = gpsui::MakeButton("読み込み(&R)", "readButton", this);
  top->addWidget(m_read);

  m_rows = gpsui::MakeList(CUnitDownloadSession::ColumnTitles(), QStringLiteral("itemList"), this);
  m_rows->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_rows->setMinimumSize(640, 220);
  auto* rowsLabel = new QLabel(QStringLiteral("機器のウェイポイントとトラックログ(&L)"), this);
  rowsLabel->setBuddy(m_rows);
  QPushButton* selectAll = gpsui::MakeButton("すべて選択(&S)", "selectAllButton", this);

  m_waypointGroup = new QComboBox(this);
  m_waypointGroup->setObjectName(QStringLiteral("waypointGroup"));
  m_trackGroup = new QComboBox(this);
  m_trackGroup->setObjectName(QStringLiteral("trackGroup"));
  QPushButton* newWaypoints = gpsui::MakeButton("新規(&N)", "newWaypointGroupButton", this);
  QPushButton* newTracks = gpsui::MakeButton("新規(&E)", "newTrackGroupButton", this);
  auto* targets = new QGridLayout;
  auto* wl = new QLabel(QStringLiteral("ウェイポイントの追加先(&W)"), this);
  wl->setBuddy(m_waypointGroup);
  auto* tl = new QLabel(QStringLiteral("トラックログの追加先(&T)"), this);
  tl->setBuddy(m_trackGroup);
  targets->addWidget(wl, 0, 0);
  targets->addWidget(m_waypointGroup, 0, 1);
  targets->addWidget(newWaypoints, 0, 2);
  targets->addWidget(tl, 1, 0);
  targets->addWidget(m_trackGroup, 1, 1);
  targets->addWidget(newTracks, 1, 2);
  targets->setColumnStretch(1, 1);

  m_add = gpsui::MakeButton("追加(&A)　↓", "addButton", this);
  m_undo = gpsui::MakeButton("元に戻す(&U)", "undoButton", this);
  QPushButton* close = gpsui::MakeButton("終了", "closeButton", this);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(selectAll);
  bottom->addStretch(1);
  bottom->addWidget(m_add);
  bottom->addWidget(m_undo);
  bottom->addStretch(1);
  bottom->addWidget(close);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(top);
  lay->addWidget(m_status);
  lay->addWidget(rowsLabel);
  lay->addWidget(m_rows, 1);
  lay->addLayout(targets);
  lay->addLayout(bottom);

  connect(&m_watcher, &gps::CGarminUnitWatcher::unitsChanged, this, [this] {
    gpsui::FillUnits(*m_units, *m_status, m_watcher);
    updateButtons();
  });
  connect(m_units, &QComboBox::currentIndexChanged, this, [this] { updateButtons(); });
  connect(m_read, &QPushButton::clicked, this, &CDlgUnitDownload::readUnit);
  connect(selectAll, &QPushButton::clicked, m_rows, &QTreeWidget::selectAll);
  connect(m_rows, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
  connect(m_add, &QPushButton::clicked, this, &CDlgUnitDownload::addRows);
  connect(m_undo, &QPushButton::clicked, this, &CDlgUnitDownload::undo);
  connect(newWaypoints, &QPushButton::clicked, this, [this] {
    if (m_newGroup) m_newGroup(CTrekData::kWaypointGroup);
    refreshGroups();
  });
  connect(newTracks, &QPushButton::clicked, this, [this] {
    if (m_newGroup) m_newGroup(CTrekData::kTrackLogGroup);
    refreshGroups();
  });
  connect(close, &QPushButton::clicked, this, &CDlgUnitDownload::reject);

  gpsui::FillUnits(*m_units, *m_status, m_watcher);
  refreshGroups();
  updateButtons();
  m_watcher.start();
}

CDlgUnitDownload::~CDlgUnitDownload() { m_stop->store(true); }

void CDlgUnitDownload::refreshRows() {
  m_rows->clear();
  QList<QTreeWidgetItem*> items;
  for (int r = 0; r < m_session.RowCount(); ++r) {
    QStringList texts;
    for (const auto& t : m_session.RowTexts(r, Datum::Wgs84)) texts << q(t);
    auto* item = new QTreeWidgetItem(texts);
    item->setData(0, Qt::UserRole, r);
    items << item;
  }
  m_rows->addTopLevelItems(items);
  gpsui::FitColumns(*m_rows);
  updateButtons();
}

void CDlgUnitDownload::refreshGroups() {
  fillGroupBox(*m_waypointGroup, m_session.GroupRows(CTrekData::kWaypointGroup), m_groups.SelectedGroupIndex());
  fillGroupBox(*m_trackGroup, m_session.GroupRows(CTrekData::kTrackLogGroup), m_groups.SelectedGroupIndex());
  updateButtons();
}

void CDlgUnitDownload::updateButtons() {
  m_read->setEnabled(!m_reading && gpsui::ChosenUnit(*m_units, m_watcher));
  m_units->setEnabled(!m_reading);
  m_add->setEnabled(!m_rows->selectedItems().isEmpty());
  m_undo->setEnabled(m_session.AdditionCount() > 0);
}

void CDlgUnitDownload::readUnit() {
  const gps::SGarminUnit* chosen = gpsui::ChosenUnit(*m_units, m_watcher);
  if (!chosen || m_reading) return;
  m_reading = true;
  m_status->setText(QStringLiteral("「") + q(chosen->name) + QStringLiteral("」を読み込んでいます..."));
  updateButtons();
  // The unit is read on a worker: a slow MTP folder never stops the dialog. The answer comes
  // back through the application object, which outlives the dialog.
  const gps::SGarminUnit unit = *chosen;
  CDlgUnitDownload* self = this;
  auto stop = m_stop;
  QThreadPool::globalInstance()->start([self, stop, unit] {
    auto contents = std::make_shared<gps::SUnitContents>(
        gps::ReadUnitContents(unit, [stop](double) { return !stop->load(); }));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || stop->load()) return;
    QMetaObject::invokeMethod(
        app, [self, stop, contents] {
          if (!stop->load()) self->contentsRead(contents);
        },
        Qt::QueuedConnection);
  });
}

void CDlgUnitDownload::contentsRead(std::shared_ptr<gps::SUnitContents> contents) {
  m_reading = false;
  std::size_t failedFiles = 0;
  for (const auto& f : contents->files) failedFiles += f.error.empty() ? 0 : 1;
  const std::size_t files = contents->files.size();
  m_session.SetContents(std::move(*contents));
  QString text = QStringLiteral("%1 個のGPXファイルを読み込みました。").arg(files);
  if (failedFiles > 0) text += QStringLiteral(" (%1 個は読めませんでした)").arg(failedFiles);
  m_status->setText(text);
  refreshRows();
}

void CDlgUnitDownload::addRows() {
  std::vector<int> rows;
  for (int i = 0; i < m_rows->topLevelItemCount(); ++i)
    if (m_rows->topLevelItem(i)->isSelected()) rows.push_back(m_rows->topLevelItem(i)->data(0, Qt::UserRole).toInt());
  const int wg = m_waypointGroup->currentIndex() >= 0 ? m_waypointGroup->currentData().toInt() : -1;
  const int tg = m_trackGroup->currentIndex() >= 0 ? m_trackGroup->currentData().toInt() : -1;
  bool needWaypoints = false;
  bool needTracks = false;
  for (int r : rows) (m_session.IsWaypointRow(r) ? needWaypoints : needTracks) = true;
  if ((needWaypoints && wg < 0) || (needTracks && tg < 0)) {
    platform::prompt().warn(needWaypoints && wg < 0 ? "ウェイポイントの追加先のグループがありません。[新規]で作成して下さい。"
                                                    : "トラックログの追加先のグループがありません。[新規]で作成して下さい。");
  }
  (void)m_session.Add(rows, wg, tg);
  refreshGroups();
}

void CDlgUnitDownload::undo() {
  if (m_session.Undo()) refreshGroups();
  updateButtons();
}

void CDlgUnitDownload::reject() {
  m_stop->store(true);
  m_watcher.stop();
  QDialog::reject();
}

CDlgUnitUpload::CDlgUnitUpload(CTrekGroupList& groups, gps::CGarminUnitWatcher::Scan scan, QWidget* parent)
    : QDialog(parent), m_groups(groups), m_watcher(std::move(scan)) {
  setObjectName(QStringLiteral("dlgUnitUpload"));
  setWindowTitle(q(unittext::kUploadCaption));
  setModal(true);

  QHBoxLayout* top = nullptr;
  m_units = unitRow(this, top, m_status);

  m_groupList = gpsui::MakeList({"グループ", "種類", "項目数"}, QStringLiteral("groupList"), this);
  m_groupList->setMinimumSize(480, 160);
  auto* groupLabel = new QLabel(QStringLiteral("書き込むグループ(&G) (グループごとに新しいGPXファイルになります)"), this);
  groupLabel->setBuddy(m_groupList);

  m_write = gpsui::MakeButton("書き込み(&W)", "writeButton", this);
  m_map = gpsui::MakeButton("カスタムマップ(&M)...", "customMapButton", this);
  QPushButton* close = gpsui::MakeButton("終了", "closeButton", this);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(m_write);
  bottom->addWidget(m_map);
  bottom->addStretch(1);
  bottom->addWidget(close);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(top);
  lay->addWidget(m_status);
  lay->addWidget(groupLabel);
  lay->addWidget(m_groupList, 1);
  lay->addLayout(bottom);

  connect(&m_watcher, &gps::CGarminUnitWatcher::unitsChanged, this, [this] {
    gpsui::FillUnits(*m_units, *m_status, m_watcher);
    updateButtons();
  });
  connect(m_units, &QComboBox::currentIndexChanged, this, [this] { updateButtons(); });
  connect(m_groupList, &QTreeWidget::itemChanged, this, [this] { updateButtons(); });
  connect(m_write, &QPushButton::clicked, this, &CDlgUnitUpload::write);
  connect(m_map, &QPushButton::clicked, this, &CDlgUnitUpload::writeCustomMap);
  connect(close, &QPushButton::clicked, this, [this] {
    m_watcher.stop();
    reject();
  });
  gpsui::FillUnits(*m_units, *m_status, m_watcher);
  refreshGroups();
  m_watcher.start();
}

CDlgUnitUpload::~CDlgUnitUpload() = default;

void CDlgUnitUpload::refreshGroups() {
  m_groupList->clear();
  for (int i = 0; i < m_groups.Count(); ++i) {
    const CTrekData* g = m_groups.Group(i);
    const bool wp = g->Kind() == CTrekData::kWaypointGroup;
    const bool route = g->Kind() == CTrekData::kRouteGroup;
    const std::size_t n = wp ? g->Waypoints().size() : route ? g->Routes().size() : g->TrackLogs().size();
    auto* item = new QTreeWidgetItem(QStringList{q(platform::cp932::toUtf8Lossy(g->GroupName())),
                                                 q(wp ? unittext::kWaypoint : route ? unittext::kRoute : unittext::kTrackLog),
                                                 QString::number(n)});
    item->setData(0, Qt::UserRole, i);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, i == m_groups.SelectedGroupIndex() ? Qt::Checked : Qt::Unchecked);
    m_groupList->addTopLevelItem(item);
  }
  gpsui::FitColumns(*m_groupList);
  updateButtons();
}

void CDlgUnitUpload::updateButtons() {
  bool any = false;
  for (int i = 0; i < m_groupList->topLevelItemCount(); ++i) any = any || m_groupList->topLevelItem(i)->checkState(0) == Qt::Checked;
  const bool unit = gpsui::ChosenUnit(*m_units, m_watcher) != nullptr;
  m_write->setEnabled(unit && any);
  m_map->setEnabled(unit);
}

void CDlgUnitUpload::write() {
  const gps::SGarminUnit* unit = gpsui::ChosenUnit(*m_units, m_watcher);
  if (!unit) return;
  std::vector<const CTrekData*> chosen;
  for (int i = 0; i < m_groupList->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = m_groupList->topLevelItem(i);
    if (item->checkState(0) != Qt::Checked) continue;
    if (const CTrekData* g = m_groups.Group(item->data(0, Qt::UserRole).toInt())) chosen.push_back(g);
  }
  if (chosen.empty()) return;
  const gps::SGarminUnit copy = *unit;  // the watcher may replace its list while messages show
  m_outcome = std::make_unique<gps::SUnitUploadOutcome>(gps::UploadGroupsToUnit(copy, chosen));
  m_watcher.refresh();
}

void CDlgUnitUpload::writeCustomMap() {
  const gps::SGarminUnit* unit = gpsui::ChosenUnit(*m_units, m_watcher);
  if (!unit) return;
  const gps::SGarminUnit copy = *unit;
  platform::SFileDialogRequest request;
  request.title = "機器へ書き込むカスタムマップ";
  request.filter = "カスタムマップ (*.kmz)|*.kmz||";
  request.defaultExt = "kmz";
  const platform::SFileDialogResult chosen = platform::fileDialog().run(request);
  if (!chosen.accepted || chosen.paths.empty()) return;
  const gps::SUnitWriteResult w = gps::CopyCustomMapToUnit(copy, chosen.paths.front());
  if (!w.ok) {
    platform::prompt().ask({w.message, platform::EPromptIcon::Warning, platform::EPromptButtons::Ok, {}, "Vantoria"});
    return;
  }
  platform::prompt().ask({gps::UnitWrittenMessage(copy, {w.path}), platform::EPromptIcon::Information,
                          platform::EPromptButtons::Ok, {}, "Vantoria"});
  m_watcher.refresh();
}
