#include "gps/ui/GpsDialogParts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "gps/GpsDialogTexts.h"
#include "gps/GpsPortList.h"
#include "gps/ui/CDlgGpsProgress.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace gpsui {

void FillPorts(QComboBox& box, int commPort) {
  box.clear();
  const std::vector<SGpsPortItem> items = ScanGpsPorts();
  if (items.empty()) {
    platform::prompt().warn(gpstext::kNoPort);
    return;
  }
  for (const SGpsPortItem& item : items) box.addItem(q(item.text), item.number);
  const int row = GpsPortRow(items, commPort);
  box.setCurrentIndex(row >= 0 ? row : 0);
}

int ChosenPort(const QComboBox& box) { return box.currentIndex() < 0 ? 0 : box.currentData().toInt(); }

int StoredPort(const SGpsSettings& settings) {
  return settings.commPort ? *settings.commPort : platform::profile().readInt("Settings", "CommPort", -1);
}

int StoredDatum(const SGpsSettings& settings) {
  const int d = settings.gpsCommDatum ? *settings.gpsCommDatum : platform::profile().readInt("Settings", "GPSCommDatum", 1);
  return d == 0 ? 0 : 1;
}

void StoreSettings(const SGpsSettings& settings, int port, int datum) {
  auto& profile = platform::profile();
  if (port > 0) {
    if (settings.commPort) *settings.commPort = port;
    profile.writeInt("Settings", "CommPort", port);
  }
  if (datum >= 0) {
    if (settings.gpsCommDatum) *settings.gpsCommDatum = datum;
    profile.writeInt("Settings", "GPSCommDatum", datum);
  }
}

QPushButton* MakeButton(const char* text, const char* name, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

SPortRow MakePortRow(QWidget* parent, bool datumOptions, const char* startText, const char* startName) {
  SPortRow row;
  row.ports = new QComboBox(parent);
  row.ports->setObjectName(QStringLiteral("portList"));
  row.ports->setMinimumContentsLength(18);
  auto* label = new QLabel(QStringLiteral("通信ポート(&P)"), parent);
  label->setBuddy(row.ports);
  if (startText) row.start = MakeButton(startText, startName, parent);
  row.layout = new QHBoxLayout;
  row.layout->addWidget(label);
  row.layout->addWidget(row.ports);
  if (row.start) row.layout->addWidget(row.start);
  row.layout->addStretch(1);
  if (datumOptions) {
    row.wgs84 = new QRadioButton(QStringLiteral("&WGS-84/JGD2000で表示"), parent);
    row.wgs84->setObjectName(QStringLiteral("datumWgs84"));
    row.tokyo = new QRadioButton(QStringLiteral("&tokyoで表示"), parent);
    row.tokyo->setObjectName(QStringLiteral("datumTokyo"));
    row.layout->addWidget(row.wgs84);
    row.layout->addWidget(row.tokyo);
  }
  return row;
}

void ShowStoredDatum(const SPortRow& row, const SGpsSettings& settings) {
  if (row.wgs84) (StoredDatum(settings) == 0 ? row.wgs84 : row.tokyo)->setChecked(true);
}

Datum ShownDatum(const SPortRow& row) { return row.wgs84 && row.wgs84->isChecked() ? Datum::Wgs84 : Datum::Tokyo; }

void StoreSettings(const SGpsSettings& settings, const SPortRow& row) {
  StoreSettings(settings, ChosenPort(*row.ports), row.wgs84 ? (row.wgs84->isChecked() ? 0 : 1) : -1);
}

CDlgGpsProgress* MakeProgressWindow(QWidget* parent) {
  auto* progress = new CDlgGpsProgress(parent);
  progress->setObjectName(QStringLiteral("gpsProgress"));
  progress->setWindowModality(Qt::ApplicationModal);
  return progress;
}

QTreeWidget* MakeList(const std::vector<std::string>& titles, const QString& name, QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(name);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  QStringList headers;
  for (const auto& t : titles) headers << q(t);
  list->setHeaderLabels(headers);
  list->header()->setStretchLastSection(false);
  FitColumns(*list);
  return list;
}

void FitColumns(QTreeWidget& list) {
  for (int c = 0; c < list.columnCount(); ++c) {
    list.resizeColumnToContents(c);
    list.setColumnWidth(c, std::max(list.columnWidth(c) + 12, 70));
  }
}

QIcon SendMethodIcon(bool activeLog) {
  // A track drawn as a zigzag: red and solid for the active log, blue with a flag for a saved track.
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor colour = activeLog ? QColor(208, 32, 32) : QColor(32, 64, 200);
  p.setPen(QPen(colour, 2));
  const QPointF zig[] = {{1, 14}, {5, 8}, {9, 12}, {14, 3}};
  p.drawPolyline(zig, 4);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  if (activeLog) {
    p.drawEllipse(QPointF(14, 3), 2.5, 2.5);
  } else {
    p.drawRect(QRectF(1, 1, 2, 7));
    p.drawPolygon(QPolygonF({QPointF(3, 1), QPointF(8, 3), QPointF(3, 5)}));
  }
  return QIcon(pm);
}

}  // namespace gpsui
