#include "gps/ui/CDlgGpsUpload.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "gps/GpsDialogTexts.h"
#include "gps/ui/CDlgGpsName.h"
#include "gps/ui/CDlgGpsProgress.h"
#include "gps/ui/CDlgTrackSendMethod.h"
#include "trek/CTrekData.h"
#include "trek/CTrekGroupList.h"

using gpsui::q;

CDlgGpsUpload::CDlgGpsUpload(CTrekGroupList& groups, std::int32_t kind, QWidget* parent)
    : QDialog(parent), m_groups(groups), m_list(groups, kind) {
  const bool wp = m_list.IsWaypoints();
  setObjectName(wp ? QStringLiteral("dlgUploadWaypoints") : QStringLiteral("dlgUploadTracks"));
  setWindowTitle(q(wp ? gpstext::kUploadWaypointsCaption : gpstext::kUploadTracksCaption));
  setModal(false);

  m_port = gpsui::MakePortRow(this, wp);
  if (m_port.wgs84) connect(m_port.wgs84, &QRadioButton::toggled, this, &CDlgGpsUpload::refreshRows);

  m_rows = gpsui::MakeList(CGpsUploadList::ColumnTitles(kind), QStringLiteral("uploadList"), this);
  m_rows->setSelectionMode(QAbstractItemView::SingleSelection);
  m_rows->setMinimumSize(560, 180);
  auto* rowsLabel = new QLabel(QStringLiteral("アップロードリスト(&L)"), this);
  rowsLabel->setBuddy(m_rows);

  m_add = gpsui::MakeButton("リストに追加(&A)", "addButton", this);
  m_gpsName = gpsui::MakeButton(wp ? "GPS用ﾎﾟｲﾝﾄ名の編集(&N)..." : "GPS用トラック名の編集(&N)...", "gpsNameButton", this);
  if (!wp) m_method = gpsui::MakeButton("送信方法(&T)...", "sendMethodButton", this);
  m_remove = gpsui::MakeButton("削除(&D)", "removeButton", this);
  m_clear = gpsui::MakeButton("クリア(&C)", "clearButton", this);
  auto* side = new QVBoxLayout;
  side->addWidget(m_add);
  side->addSpacing(8);
  side->addWidget(m_gpsName);
  if (m_method) side->addWidget(m_method);
  side->addSpacing(8);
  side->addWidget(m_remove);
  side->addWidget(m_clear);
  side->addStretch(1);
  auto* middle = new QHBoxLayout;
  middle->addWidget(m_rows, 1);
  middle->addLayout(side);

  auto* hint = new QLabel(q(wp ? gpstext::kHintWaypoints : gpstext::kHintTracks), this);
  hint->setObjectName(QStringLiteral("hintText"));
  m_greyNote = new QLabel(q(wp ? gpstext::kGreyWaypoints : gpstext::kGreyTracks), this);
  m_greyNote->setObjectName(QStringLiteral("greyNote"));
  m_greyNote->setWordWrap(true);
  QPalette warn = m_greyNote->palette();
  warn.setColor(QPalette::WindowText, QColor(160, 0, 0));
  m_greyNote->setPalette(warn);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(m_port.layout);
  lay->addWidget(rowsLabel);
  lay->addLayout(middle, 1);
  if (!wp) {
    auto* legend = new QGridLayout;
    const bool kinds[] = {true, false};
    for (int i = 0; i < 2; ++i) {
      auto* icon = new QLabel(this);
      icon->setPixmap(gpsui::SendMethodIcon(kinds[i]).pixmap(16, 16));
      auto* text = new QLabel(q(kinds[i] ? gpstext::kLegendActive : gpstext::kLegendSaved), this);
      text->setObjectName(kinds[i] ? QStringLiteral("legendActive") : QStringLiteral("legendSaved"));
      legend->addWidget(icon, i, 0);
      legend->addWidget(text, i, 1);
    }
    legend->setColumnStretch(1, 1);
    lay->addLayout(legend);
  }
  lay->addWidget(hint);
  lay->addWidget(m_greyNote);

  m_start = gpsui::MakeButton("アップロード開始(&U)", "uploadButton", this);
  QPushButton* close = gpsui::MakeButton("終了", "closeButton", this);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(m_start);
  bottom->addWidget(close);
  lay->addLayout(bottom);

  m_progress = gpsui::MakeProgressWindow(this);

  connect(m_add, &QPushButton::clicked, this, [this] {
    if (m_list.AddSelection() > 0) refreshRows();
  });
  connect(m_gpsName, &QPushButton::clicked, this, &CDlgGpsUpload::editGpsName);
  if (m_method) connect(m_method, &QPushButton::clicked, this, &CDlgGpsUpload::editSendMethod);
  connect(m_remove, &QPushButton::clicked, this, [this] {
    m_list.Remove(currentRow());
    refreshRows();
  });
  connect(m_clear, &QPushButton::clicked, this, [this] {
    m_list.Clear();
    refreshRows();
  });
  connect(m_start, &QPushButton::clicked, this, &CDlgGpsUpload::upload);
  connect(close, &QPushButton::clicked, this, &CDlgGpsUpload::reject);
  connect(m_rows, &QTreeWidget::itemSelectionChanged, this, &CDlgGpsUpload::updateButtons);
  connect(m_rows, &QTreeWidget::itemDoubleClicked, this, &CDlgGpsUpload::editGpsName);
  refreshRows();
}

CDlgGpsUpload::~CDlgGpsUpload() = default;

void CDlgGpsUpload::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  gpsui::ShowStoredDatum(m_port, m_settings);
  trekDataChanged();
  gpsui::FillPorts(*m_port.ports, gpsui::StoredPort(m_settings));
}

int CDlgGpsUpload::currentRow() const {
  const QTreeWidgetItem* item = m_rows->currentItem();
  return item && item->isSelected() ? m_rows->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
}

void CDlgGpsUpload::refreshRows() {
  const int keep = currentRow();
  m_rows->clear();
  const Datum datum = gpsui::ShownDatum(m_port);
  const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
  bool anyGrey = false;
  QList<QTreeWidgetItem*> items;
  for (int r = 0; r < m_list.Count(); ++r) {
    QStringList texts;
    for (const auto& t : m_list.RowTexts(r, datum)) texts << q(t);
    auto* item = new QTreeWidgetItem(texts);
    if (!m_list.IsWaypoints()) item->setIcon(0, gpsui::SendMethodIcon(m_list.SendAsActiveLog(r) != 0));
    if (m_list.IsGreyed(r)) {
      anyGrey = true;
      for (int c = 0; c < texts.size(); ++c) item->setForeground(c, grey);
    }
    items << item;
  }
  m_rows->addTopLevelItems(items);
  if (keep >= 0 && keep < m_rows->topLevelItemCount()) m_rows->setCurrentItem(m_rows->topLevelItem(keep));
  gpsui::FitColumns(*m_rows);
  m_greyNote->setVisible(anyGrey);
  updateButtons();
}

void CDlgGpsUpload::updateButtons() {
  const bool row = currentRow() >= 0;
  m_add->setEnabled(m_list.CanAddSelection());
  m_gpsName->setEnabled(row);
  if (m_method) m_method->setEnabled(row);
  m_remove->setEnabled(row);
  m_clear->setEnabled(m_list.Count() > 0);
  m_start->setEnabled(m_list.Count() > 0);
}

void CDlgGpsUpload::trekDataChanged() {
  (void)m_list.DropDangling();
  refreshRows();
}

void CDlgGpsUpload::selectionChanged() { updateButtons(); }

void CDlgGpsUpload::editGpsName() {
  const int row = currentRow();
  if (row < 0 || m_transferring) return;
  CDlgGpsName dlg(m_list.IsWaypoints() ? CTrekData::kWaypointGroup : CTrekData::kTrackLogGroup, m_list.GpsName(row),
                  [this, row](const std::string& name) { return m_list.SetGpsName(row, name); }, this);
  if (dlg.exec() != QDialog::Accepted) return;
  // The group is modified now: the trek windows show it (and this list refills from the signal).
  m_groups.NotifyDataChanged();
  refreshRows();
}

void CDlgGpsUpload::editSendMethod() {
  const int row = currentRow();
  if (row < 0 || m_transferring || m_list.IsWaypoints()) return;
  CDlgTrackSendMethod dlg(m_list.SendAsActiveLog(row), this);
  if (dlg.exec() != QDialog::Accepted) return;
  m_list.SetSendAsActiveLog(row, dlg.sendAsActiveLog());
  refreshRows();
}

void CDlgGpsUpload::upload() {
  if (m_transferring || m_list.Count() == 0) return;
  m_transferring = true;
  (void)m_list.Upload(SGpsPort(gpsui::ChosenPort(*m_port.ports)), *m_progress);
  m_transferring = false;
}

void CDlgGpsUpload::reject() {
  if (m_transferring) return;
  gpsui::StoreSettings(m_settings, m_port);
  // The list lives only while the dialog is open.
  m_list.Clear();
  refreshRows();
  hide();
  emit closed();
}

void CDlgGpsUpload::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}
