#include "gps/ui/CDlgGpsDownload.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gps/GpsDialogTexts.h"
#include "gps/ui/CDlgGpsProgress.h"
#include "trek/CTrekGroupList.h"

using gpsui::q;

CDlgGpsDownload::CDlgGpsDownload(CTrekGroupList& groups, std::int32_t kind, QWidget* parent)
    : QDialog(parent), m_groups(groups), m_session(groups, kind) {
  const bool wp = m_session.IsWaypoints();
  setObjectName(wp ? QStringLiteral("dlgDownloadWaypoints") : QStringLiteral("dlgDownloadTracks"));
  setWindowTitle(q(wp ? gpstext::kDownloadWaypointsCaption : gpstext::kDownloadTracksCaption));
  setModal(true);

  m_port = gpsui::MakePortRow(this, wp, wp ? "ダウンロード開始" : "ダウンロード開始(&D)", "downloadButton");
  if (m_port.wgs84) connect(m_port.wgs84, &QRadioButton::toggled, this, &CDlgGpsDownload::refreshRows);

  m_rows = gpsui::MakeList(CGpsDownloadSession::ColumnTitles(kind), QStringLiteral("downloadList"), this);
  m_rows->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_rows->setMinimumSize(520, 180);
  auto* rowsLabel = new QLabel(QStringLiteral("ダウンロードリスト(&L)"), this);
  rowsLabel->setBuddy(m_rows);
  m_selectAll = gpsui::MakeButton("すべて選択(&S)", "selectAllButton", this);
  m_clear = gpsui::MakeButton("クリア(&C)", "clearButton", this);
  auto* rowButtons = new QVBoxLayout;
  rowButtons->addWidget(m_selectAll);
  rowButtons->addWidget(m_clear);
  rowButtons->addStretch(1);
  auto* rowsBox = new QHBoxLayout;
  rowsBox->addWidget(m_rows, 1);
  rowsBox->addLayout(rowButtons);

  QPushButton* add = gpsui::MakeButton("追加(&A)　↓", "addButton", this);
  m_undo = gpsui::MakeButton("元に戻す(&U)", "undoButton", this);
  auto* addRow = new QHBoxLayout;
  addRow->addStretch(1);
  addRow->addWidget(add);
  addRow->addWidget(m_undo);
  addRow->addStretch(1);

  m_groupList = gpsui::MakeList({wp ? "ウェイポイントファイル" : "トラックログファイル", wp ? "ポイント数" : "トラック数"},
                                QStringLiteral("groupList"), this);
  m_groupList->setSelectionMode(QAbstractItemView::SingleSelection);
  m_groupList->setMinimumHeight(110);
  auto* groupLabel = new QLabel(wp ? QStringLiteral("ウェイポイントファイル(&F)") : QStringLiteral("トラックログファイル(&G)"), this);
  groupLabel->setBuddy(m_groupList);
  QPushButton* newGroup = gpsui::MakeButton(wp ? "新規ポイントファイル(&N)" : "新規トラックログファイル(&N)", "newGroupButton", this);
  QPushButton* open = gpsui::MakeButton(wp ? "ポイントファイルを開く(&G)" : "トラックログファイルを開く(&O)", "openGroupButton", this);
  auto* groupButtons = new QVBoxLayout;
  groupButtons->addWidget(newGroup);
  groupButtons->addWidget(open);
  groupButtons->addStretch(1);
  auto* groupBox = new QHBoxLayout;
  groupBox->addWidget(m_groupList, 1);
  groupBox->addLayout(groupButtons);

  QPushButton* close = gpsui::MakeButton("終了", "closeButton", this);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(close);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(m_port.layout);
  lay->addWidget(rowsLabel);
  lay->addLayout(rowsBox, 1);
  lay->addLayout(addRow);
  lay->addWidget(groupLabel);
  lay->addLayout(groupBox);
  lay->addLayout(bottom);

  m_progress = gpsui::MakeProgressWindow(this);

  connect(m_port.start, &QPushButton::clicked, this, &CDlgGpsDownload::download);
  connect(m_selectAll, &QPushButton::clicked, m_rows, &QTreeWidget::selectAll);
  connect(m_clear, &QPushButton::clicked, this, [this] {
    m_session.Clear();
    refreshRows();
  });
  connect(add, &QPushButton::clicked, this, &CDlgGpsDownload::addRows);
  connect(m_undo, &QPushButton::clicked, this, &CDlgGpsDownload::undo);
  connect(newGroup, &QPushButton::clicked, this, [this] {
    if (m_newGroup) m_newGroup();
    refreshGroups();
  });
  connect(open, &QPushButton::clicked, this, [this] {
    if (m_openFiles) m_openFiles();
    refreshGroups();
  });
  connect(close, &QPushButton::clicked, this, &CDlgGpsDownload::reject);
  updateButtons();
}

CDlgGpsDownload::~CDlgGpsDownload() = default;

void CDlgGpsDownload::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  gpsui::ShowStoredDatum(m_port, m_settings);
  refreshRows();
  refreshGroups();
  gpsui::FillPorts(*m_port.ports, gpsui::StoredPort(m_settings));
}

void CDlgGpsDownload::refreshRows() {
  m_rows->clear();
  const Datum datum = gpsui::ShownDatum(m_port);
  QList<QTreeWidgetItem*> items;
  for (int r = 0; r < m_session.RowCount(); ++r) {
    QStringList texts;
    for (const auto& t : m_session.RowTexts(r, datum)) texts << q(t);
    auto* item = new QTreeWidgetItem(texts);
    item->setData(0, Qt::UserRole, r);
    items << item;
  }
  m_rows->addTopLevelItems(items);
  gpsui::FitColumns(*m_rows);
  updateButtons();
}

void CDlgGpsDownload::refreshGroups() {
  // The chosen group stays chosen; at first it is the document's selected group if it fits.
  int chosen = -1;
  if (QTreeWidgetItem* cur = m_groupList->currentItem(); cur && cur->isSelected())
    chosen = cur->data(0, Qt::UserRole).toInt();
  else if (m_groupList->topLevelItemCount() == 0)
    chosen = m_groups.SelectedGroupIndex();
  m_groupList->clear();
  QTreeWidgetItem* select = nullptr;
  for (const gps::SGroupRow& row : m_session.GroupRows()) {
    auto* item = new QTreeWidgetItem(QStringList{q(row.name), q(row.count)});
    item->setData(0, Qt::UserRole, row.groupIndex);
    m_groupList->addTopLevelItem(item);
    if (row.groupIndex == chosen) select = item;
  }
  if (!select && m_groupList->topLevelItemCount() > 0) select = m_groupList->topLevelItem(0);
  if (select) m_groupList->setCurrentItem(select);
  gpsui::FitColumns(*m_groupList);
}

void CDlgGpsDownload::updateButtons() {
  const bool rows = m_session.RowCount() > 0;
  m_selectAll->setEnabled(rows);
  m_clear->setEnabled(rows);
  m_undo->setEnabled(m_session.AdditionCount() > 0);
}

void CDlgGpsDownload::download() {
  if (m_transferring) return;
  m_transferring = true;
  (void)m_session.Download(SGpsPort(gpsui::ChosenPort(*m_port.ports)), *m_progress);
  m_transferring = false;
  // What arrived before a failure or a cancel is kept and shown too.
  refreshRows();
}

void CDlgGpsDownload::addRows() {
  std::vector<int> rows;
  for (int i = 0; i < m_rows->topLevelItemCount(); ++i)
    if (m_rows->topLevelItem(i)->isSelected()) rows.push_back(i);
  QTreeWidgetItem* group = m_groupList->currentItem();
  if (rows.empty() || !group || !group->isSelected()) return;
  (void)m_session.Add(rows, group->data(0, Qt::UserRole).toInt());
  refreshGroups();
  updateButtons();
}

void CDlgGpsDownload::undo() {
  if (m_session.Undo()) refreshGroups();
  updateButtons();
}

void CDlgGpsDownload::reject() {
  if (m_transferring) return;
  gpsui::StoreSettings(m_settings, m_port);
  QDialog::reject();
}
