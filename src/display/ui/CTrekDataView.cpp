#include "display/ui/CTrekDataView.h"

#include <QGuiApplication>
#include <algorithm>
#include <QHeaderView>
#include <QTableWidget>
#include <QTextEdit>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "display/ui/TrekFigures.h"
#include "geodesy/DmsAngle.h"
#include "platform/Codepage.h"
#include "trek/CTrekGroupList.h"
#include "trek/RouteFigures.h"
#include "trek/TrackStatistics.h"
#include "trek/TrekEditing.h"

namespace {

using namespace trek_figures;

QString text(const std::string& cp932) { return QString::fromStdString(platform::cp932::toUtf8Lossy(cp932)); }

QString angleText(const DmsAngle& a) {
  const SDmsFields f = a.FormatFields();
  return QString::fromStdString(f.degrees + "度" + f.minutes + "分" + f.seconds + "秒");
}

QString dateTime(const TrekTime& t) {
  std::string date, time;
  t.FormatDateAndTime(date, time);
  return text(date) + QLatin1Char(' ') + text(time);
}

QString extremeText(const std::optional<trek::SAltitudeExtreme>& e, const CTrackLog& log) {
  if (!e) return kAbsent;
  return QString::asprintf("%.1fm (", e->altitude) + QString::fromStdString(log.Points()[e->index].Label()) +
         QLatin1Char(')');
}

}  // namespace

CTrekDataView::CTrekDataView(CVantoriaDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
  setObjectName(QStringLiteral("trekView"));
  m_table = new QTableWidget(kRows, 2, this);
  m_table->setObjectName(QStringLiteral("trekViewTable"));
  m_table->horizontalHeader()->setVisible(false);
  m_table->verticalHeader()->setVisible(false);
  m_table->setShowGrid(true);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < 2; ++c) m_table->setItem(r, c, new QTableWidgetItem);
  m_comment = new QTextEdit(this);
  m_comment->setObjectName(QStringLiteral("trekViewComment"));
  m_comment->setReadOnly(true);
  m_comment->setAcceptRichText(false);

  const auto follow = [this] { Show(m_doc.TrekGroups().Selection()); };
  // A waypoint chosen with Ctrl held, after another one, shows the pair.
  connect(&m_doc, &CVantoriaDoc::selectionChanged, this, [this] {
    const CMarkerPoint* before = m_lastWaypoint;
    Show(m_doc.TrekGroups().Selection());
    const CMarkerPoint* now = m_doc.TrekGroups().SelectedWaypoint();
    if (!before || !now || before == now || m_lastWaypoint != now ||
        !(QGuiApplication::keyboardModifiers() & Qt::ControlModifier))
      return;
    // The earlier waypoint may have gone meanwhile (cut or deleted): only one still held counts.
    for (int g = 0; g < m_doc.TrekGroups().Count(); ++g)
      for (const auto& w : m_doc.TrekGroups().Group(g)->Waypoints())
        if (w.get() == before) return ShowWaypointPair(*before, *now);
  });
  // Edits, renumbering and renaming change what the selected item shows.
  connect(&m_doc, &CVantoriaDoc::trekDataChanged, this, [this, follow] {
    m_stats.Invalidate();
    follow();
  });
  Clear();
}

int CTrekDataView::displayDatum() const { return m_settings ? m_settings->dispDatum : 1; }

void CTrekDataView::setRows(const QString (&labels)[kRows], const QString (&values)[kRows]) {
  m_table->setRowCount(kRows);
  setEnabled(true);
  m_table->setEnabled(true);
  for (int r = 0; r < kRows; ++r) {
    m_table->item(r, 0)->setText(labels[r]);
    m_table->item(r, 1)->setText(values[r]);
    m_table->item(r, 1)->setToolTip(values[r]);
  }
  m_table->resizeColumnToContents(0);
  m_table->resizeColumnToContents(1);
}

void CTrekDataView::appendRows(const std::vector<std::pair<QString, QString>>& rows) {
  for (const auto& [label, value] : rows) {
    const int r = m_table->rowCount();
    m_table->insertRow(r);
    m_table->setItem(r, 0, new QTableWidgetItem(label));
    auto* item = new QTableWidgetItem(value);
    item->setToolTip(value);
    m_table->setItem(r, 1, item);
  }
  m_table->resizeColumnToContents(0);
  m_table->resizeColumnToContents(1);
  layoutChildren();
}

void CTrekDataView::ShowWaypoint(const CMarkerPoint& point) {
  m_lastWaypoint = &point;
  const bool tokyo = displayDatum() == 1;
  DmsAngle lat, lon;
  point.GetPosition(lat, lon, tokyo ? Datum::Tokyo : Datum::Wgs84);
  QString sheets;
  if (!point.sheetName25000.empty()) sheets += QStringLiteral("1/25000[") + text(point.sheetName25000) + QStringLiteral("] ");
  if (!point.sheetName50000.empty()) sheets += QStringLiteral("1/50000[") + text(point.sheetName50000) + QStringLiteral("]");
  const QString labels[kRows] = {QStringLiteral("ポイント名"),
                                 tokyo ? QStringLiteral("北緯(Tokyo)") : QStringLiteral("北緯(WGS-84)"),
                                 tokyo ? QStringLiteral("東経(Tokyo)") : QStringLiteral("東経(WGS-84)"),
                                 QStringLiteral("地形図名"), QStringLiteral("説明1"), QStringLiteral("説明2")};
  const QString values[kRows] = {text(point.name), angleText(lat), angleText(lon),
                                 sheets, text(point.description1), text(point.description2)};
  setRows(labels, values);
  m_comment->setPlainText(QString::fromStdString(trek::CommentToShown(platform::cp932::toUtf8Lossy(point.comment))));
  m_comment->setEnabled(true);
  layoutChildren();
}

void CTrekDataView::ShowTrackLog(const CTrackLog& log) {
  const auto& pts = log.Points();
  const QString labels[kRows] = {QStringLiteral("トラックログ名"), QStringLiteral("開始日時"), QStringLiteral("終了日時"),
                                 QStringLiteral("説明1"), QStringLiteral("説明2"), QString()};
  const QString values[kRows] = {text(log.name), pts.empty() ? QString() : dateTime(pts.front().GetTime()),
                                 pts.empty() ? QString() : dateTime(pts.back().GetTime()),
                                 text(log.description1), text(log.description2), QString()};
  setRows(labels, values);
  trek::STrackStatsOptions options;
  if (m_settings) options.pauseSeconds = m_settings->pauseSeconds;
  const trek::STrackStatistics& st = m_stats.Get(log, options);
  appendRows({{QStringLiteral("距離"), lengthText(st.lengthMetres)},
              {QStringLiteral("所要時間"), durationText(st.totalSeconds)},
              {QStringLiteral("移動時間"), durationText(st.movingSeconds)},
              {QStringLiteral("平均速度"), speedText(st.averageSpeed)},
              {QStringLiteral("移動速度"), speedText(st.movingSpeed)},
              {QStringLiteral("累積標高(登り)"), climbText(st.ascentMetres)},
              {QStringLiteral("累積標高(下り)"), climbText(st.descentMetres)},
              {QStringLiteral("最高点"), extremeText(st.highest, log)},
              {QStringLiteral("最低点"), extremeText(st.lowest, log)}});
  m_comment->clear();
  m_comment->setEnabled(false);
  layoutChildren();
}

void CTrekDataView::ShowRoute(const CRoute& route) {
  trek::SWalkingPace pace;
  if (m_settings) {
    pace.flatMetresPerHour = m_settings->routeFlatMetresPerHour;
    pace.climbMetresPerHour = m_settings->routeClimbMetresPerHour;
  }
  const trek::SRouteFigures f = trek::RouteFigures(route, pace);
  const QString labels[kRows] = {QStringLiteral("ルート名"), QStringLiteral("ポイント数"), QStringLiteral("距離"),
                                 QStringLiteral("累積標高(登り)"), QStringLiteral("累積標高(下り)"),
                                 QStringLiteral("歩行時間(目安)")};
  const QString values[kRows] = {text(route.name), QString::number(route.points.size()), lengthText(f.lengthMetres),
                                 climbText(f.ascentMetres), climbText(f.descentMetres),
                                 QString::fromStdString(trek::WalkingTimeText(f.walkingMinutes))};
  setRows(labels, values);
  // The estimate's rule, with the paces in use.
  appendRows({{QStringLiteral("歩行時間の計算"),
               QStringLiteral("平地 %1 km/時 + 登り %2 m/時")
                   .arg(pace.flatMetresPerHour / 1000.0, 0, 'g', 3)
                   .arg(pace.climbMetresPerHour, 0, 'f', 0)}});
  m_comment->clear();
  m_comment->setEnabled(false);
  layoutChildren();
}

void CTrekDataView::ShowTrackPoint(const CTrackPoint& point) {
  const bool tokyo = displayDatum() == 1;
  DmsAngle lat, lon;
  point.GetPosition(lat, lon, tokyo ? Datum::Tokyo : Datum::Wgs84);
  std::string date, time;
  point.GetTime().FormatDateAndTime(date, time);
  const QString labels[kRows] = {QStringLiteral("ポイントNO."), QStringLiteral("日付"), QStringLiteral("時刻"),
                                 tokyo ? QStringLiteral("北緯(Tokyo)") : QStringLiteral("北緯(WGS-84)"),
                                 tokyo ? QStringLiteral("東経(Tokyo)") : QStringLiteral("東経(WGS-84)"),
                                 QStringLiteral("高度")};
  const QString values[kRows] = {QString::fromStdString(point.Label()), text(date), text(time),
                                 angleText(lat), angleText(lon),
                                 trek::hasAltitude(point) ? QString::asprintf("%.1fm", point.altitude) : kAbsent};
  setRows(labels, values);
  m_comment->clear();
  m_comment->setEnabled(false);
  layoutChildren();
}

void CTrekDataView::ShowWaypointPair(const CMarkerPoint& from, const CMarkerPoint& to) {
  ShowWaypoint(to);
  const trek::SGeodesicLeg leg = trek::geodesicLeg(from.latitude.ToDegrees(), from.longitude.ToDegrees(),
                                                   to.latitude.ToDegrees(), to.longitude.ToDegrees());
  appendRows({{QStringLiteral("基点"), text(from.name)},
              {QStringLiteral("2点間の距離"), lengthText(leg.distanceMetres)},
              {QStringLiteral("2点間の方位"), QString::asprintf("%.1f°", leg.bearingDegrees)}});
}

void CTrekDataView::Show(const STrekSelection& sel) {
  const CTrekGroupList& list = m_doc.TrekGroups();
  if (sel.kind != kTrekWaypoint) m_lastWaypoint = nullptr;
  if (sel.groupIndex < 0) {
    Clear();
    return;
  }
  switch (sel.kind) {
    case kTrekWaypoint:
      if (const CMarkerPoint* p = list.SelectedWaypoint()) ShowWaypoint(*p);
      else Clear();
      return;
    case kTrekTrackLog:
      if (const CTrackLog* l = list.SelectedTrackLog()) ShowTrackLog(*l);
      else Clear();
      return;
    case kTrekTrackPoint:
      if (const CTrackPoint* p = list.SelectedTrackPoint()) ShowTrackPoint(*p);
      else Clear();
      return;
    case kTrekRoute:
      if (const CRoute* r = list.SelectedRoute()) ShowRoute(*r);
      else Clear();
      return;
    case kTrekRoutePoint:
      if (const CRoute* r = list.SelectedRoute();
          r && sel.pointIndex >= 0 && std::size_t(sel.pointIndex) < r->points.size()) {
        const CMarkerPoint& p = r->points[std::size_t(sel.pointIndex)];
        if (sel.pointIndex > 0) ShowWaypointPair(r->points[std::size_t(sel.pointIndex) - 1], p);
        else ShowWaypoint(p);
      } else {
        Clear();
      }
      return;
    default:
      // A group node names no item.
      Clear();
      return;
  }
}

void CTrekDataView::Clear() {
  m_table->setRowCount(kRows);
  m_lastWaypoint = nullptr;
  for (int r = 0; r < kRows; ++r) {
    m_table->item(r, 0)->setText(QString());
    m_table->item(r, 1)->setText(QString());
    m_table->item(r, 1)->setToolTip(QString());
  }
  m_table->setEnabled(false);
  m_table->setColumnWidth(1, 0);
  m_comment->clear();
  m_comment->setEnabled(false);
  setEnabled(false);
  layoutChildren();
}

int CTrekDataView::rowCount() const { return m_table->rowCount(); }
QString CTrekDataView::label(int row) const {
  return row >= 0 && row < m_table->rowCount() ? m_table->item(row, 0)->text() : QString();
}
QString CTrekDataView::value(int row) const {
  return row >= 0 && row < m_table->rowCount() ? m_table->item(row, 1)->text() : QString();
}

void CTrekDataView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutChildren();
}

void CTrekDataView::layoutChildren() {
  const int rowHeight = m_table->rowHeight(0);
  const int wanted = rowHeight * m_table->rowCount() + 22;
  // More rows than the window holds (a track log's figures in a short dock): the table takes
  // the room there is and scrolls, rows keep their height. A waypoint's comment keeps three
  // lines below it; for the other kinds the box is empty.
  const int commentMin = m_comment->isEnabled() ? m_comment->fontMetrics().lineSpacing() * 3 + 2 * m_comment->frameWidth() : 0;
  const int tableHeight = std::min(wanted, std::max(height() - 3 - commentMin, rowHeight + 22));
  m_table->setGeometry(0, 0, std::max(0, width() - 2), tableHeight);
  const int top = tableHeight + 3;
  m_comment->setGeometry(0, top, std::max(0, width() - 2), std::max(0, height() - top));
}
