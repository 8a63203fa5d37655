#include "display/ui/CElevationProfileWnd.h"

#include <QAreaSeries>
#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QStackedWidget>
#include <QStyleHints>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <span>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "display/ui/TrekFigures.h"
#include "platform/Codepage.h"
#include "trek/CTrackLog.h"
#include "trek/TrackStatistics.h"

namespace {

const QColor kLineColour(0x8B, 0x45, 0x13);
const QColor kFillColour(0xD2, 0xB4, 0x8C, 0xA0);
const QColor kHoverColour(0x00, 0x60, 0xFF);
const QColor kSelectedColour(0xB3, 0x3E, 0x4E);  // the map's highlight colour
const QColor kRangeColour(0x00, 0x60, 0xFF, 0x38);

// A step of 1, 2 or 5 times a power of ten giving about `ticks` intervals over `span`.
double niceStep(double span, int ticks) {
  if (!(span > 0.0)) return 1.0;
  const double raw = span / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / power;
  return (f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0) * power;
}

QString decimalsFormat(double step) {
  if (step >= 1.0) return QStringLiteral("%.0f");
  if (step >= 0.1) return QStringLiteral("%.1f");
  return QStringLiteral("%.2f");
}

}  // namespace

// The plot: passes the mouse on to the window.
class CElevationProfileWnd::CChartView : public QChartView {
 public:
  CChartView(QChart* chart, CElevationProfileWnd& owner) : QChartView(chart), m_owner(owner) {
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setRubberBand(QChartView::NoRubberBand);
  }

 protected:
  void mouseMoveEvent(QMouseEvent* e) override {
    m_owner.mouseMoved(e->position().toPoint(), e->buttons() & Qt::LeftButton);
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) m_owner.mousePressed(e->position().toPoint());
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) m_owner.mouseReleased(e->position().toPoint());
  }
  bool viewportEvent(QEvent* e) override {
    if (e->type() == QEvent::Leave) m_owner.mouseLeft();
    return QChartView::viewportEvent(e);
  }

 private:
  CElevationProfileWnd& m_owner;
};

CElevationProfileWnd::CElevationProfileWnd(CVantoriaDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
  setObjectName(QStringLiteral("elevationProfile"));
  setFocusPolicy(Qt::ClickFocus);

  m_byDistance = new QToolButton(this);
  m_byDistance->setObjectName(QStringLiteral("profileByDistance"));
  m_byDistance->setText(QStringLiteral("距離"));
  m_byDistance->setToolTip(QStringLiteral("標高を距離に沿って表示します"));
  m_byTime = new QToolButton(this);
  m_byTime->setObjectName(QStringLiteral("profileByTime"));
  m_byTime->setText(QStringLiteral("時刻"));
  m_byTime->setToolTip(QStringLiteral("標高を時刻に沿って表示します"));
  m_axisButtons = new QButtonGroup(this);
  m_axisButtons->setExclusive(true);
  for (QToolButton* b : {m_byDistance, m_byTime}) {
    b->setCheckable(true);
    b->setAutoRaise(true);
    m_axisButtons->addButton(b);
  }
  m_byDistance->setChecked(true);
  connect(m_byDistance, &QToolButton::clicked, this, [this] { setAxis(trek::EProfileAxis::Distance); });
  connect(m_byTime, &QToolButton::clicked, this, [this] { setAxis(trek::EProfileAxis::Time); });

  m_title = new QLabel(this);
  m_title->setObjectName(QStringLiteral("profileTitle"));
  m_readout = new QLabel(this);
  m_readout->setObjectName(QStringLiteral("profileReadout"));
  m_readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  m_chart = new QChart;
  m_chart->legend()->hide();
  m_chart->setMargins(QMargins(4, 4, 8, 4));
  m_chart->setBackgroundRoundness(0);
  m_chartView = new CChartView(m_chart, *this);
  m_chartView->setObjectName(QStringLiteral("profileChart"));
  m_chartView->setRenderHint(QPainter::Antialiasing);
  m_chartView->setMinimumSize(200, 110);
  connect(m_chart, &QChart::plotAreaChanged, this, &CElevationProfileWnd::plotAreaChanged);

  m_empty = new QLabel(this);
  m_empty->setObjectName(QStringLiteral("profileEmpty"));
  m_empty->setAlignment(Qt::AlignCenter);
  m_empty->setWordWrap(true);
  m_empty->setEnabled(false);

  m_stack = new QStackedWidget(this);
  m_stack->addWidget(m_chartView);
  m_stack->addWidget(m_empty);

  m_rangeLabel = new QLabel(this);
  m_rangeLabel->setObjectName(QStringLiteral("profileRangeStats"));
  m_rangeLabel->setWordWrap(true);
  m_rangeLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_rangeLabel->hide();

  auto* top = new QHBoxLayout;
  top->setContentsMargins(0, 0, 0, 0);
  top->addWidget(m_byDistance);
  top->addWidget(m_byTime);
  top->addSpacing(8);
  top->addWidget(m_title, 1);
  top->addWidget(m_readout);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  layout->addLayout(top);
  layout->addWidget(m_stack, 1);
  layout->addWidget(m_rangeLabel);

  connect(&m_doc, &CVantoriaDoc::selectionChanged, this, &CElevationProfileWnd::follow);
  connect(&m_doc, &CVantoriaDoc::trekDataChanged, this, [this] {
    // An edit may change the shown log in place: compute it again.
    m_dirty = true;
    follow();
  });
  follow();
}

CElevationProfileWnd::~CElevationProfileWnd() {
  // The plot calls back into this window: it goes first, while the window is still whole.
  disconnect(m_chart, nullptr, this, nullptr);
  delete m_chartView;
}

void CElevationProfileWnd::setAxis(trek::EProfileAxis axis) {
  (axis == trek::EProfileAxis::Distance ? m_byDistance : m_byTime)->setChecked(true);
  if (axis == m_axis) return;
  m_axis = axis;
  clearRange();
  rebuild();
}

void CElevationProfileWnd::follow() {
  const STrekSelection& sel = m_doc.TrekGroups().Selection();
  const CTrackLog* log = sel.kind == kTrekTrackLog || sel.kind == kTrekTrackPoint ? sel.trackLog : nullptr;
  // Only a log its group still holds is read: the whole log is walked below.
  const CTrekData* group = log ? m_doc.TrekGroups().Group(sel.groupIndex) : nullptr;
  if (log && (!group || std::none_of(group->TrackLogs().begin(), group->TrackLogs().end(),
                                     [log](const auto& held) { return held.get() == log; })))
    log = nullptr;
  m_groupIndex = log ? sel.groupIndex : -1;
  if (log != m_log) {
    m_log = log;
    m_dirty = true;
  }
  if (m_dirty) {
    // Hidden, the window keeps only the fact that it must compute again when shown.
    if (!isVisible()) {
      m_profile = {};
      m_hovered.reset();
      m_range.reset();
      return;
    }
    rebuild();
  }
  updateSelectedPoint();
}

void CElevationProfileWnd::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_dirty) follow();
}

void CElevationProfileWnd::rebuild() {
  setHovered(std::nullopt);
  clearRange();
  if (!m_log) {
    m_distances.clear();
    m_profile = {};
    m_dirty = false;
    m_title->clear();
    showEmpty(QStringLiteral("トラックログを選択すると、その標高グラフを表示します。"));
    return;
  }
  const auto& points = m_log->Points();
  if (m_dirty || m_distances.size() != points.size()) {
    m_distances.assign(points.size(), 0.0);
    trek::cumulativeDistances(points, m_distances);
    m_dirty = false;
  }
  m_profile = trek::buildElevationProfile(points, m_distances, m_axis);
  m_title->setText(QString::fromStdString(platform::cp932::toUtf8Lossy(m_log->name)));
  switch (m_profile.empty) {
    case trek::EProfileEmpty::NoPoints:
      showEmpty(QStringLiteral("このトラックログにはポイントがありません。"));
      return;
    case trek::EProfileEmpty::NoAltitude:
      showEmpty(QStringLiteral("このトラックログには高度の記録がありません。"));
      return;
    case trek::EProfileEmpty::NoTime:
      showEmpty(QStringLiteral("このトラックログには時刻の記録がありません。「距離」に切り替えると表示できます。"));
      return;
    case trek::EProfileEmpty::None: break;
  }
  m_kilometres = m_profile.xMax >= 1000.0;
  m_stack->setCurrentWidget(m_chartView);
  setUpChart();
}

void CElevationProfileWnd::showEmpty(const QString& text) {
  m_empty->setText(text);
  m_stack->setCurrentWidget(m_empty);
  m_chart->removeAllSeries();
  m_lineSeries.clear();
  m_hoverDot = nullptr;
  m_hoverLine = nullptr;
  m_selectedDot = nullptr;
  m_rangeShade = nullptr;
  m_drawnPoints = 0;
  m_columns = 0;
}

QWidget* CElevationProfileWnd::plotViewport() const { return m_chartView->viewport(); }

QString CElevationProfileWnd::emptyText() const {
  return m_stack->currentWidget() == m_empty ? m_empty->text() : QString();
}

double CElevationProfileWnd::plotX(double x) const {
  if (m_profile.axis == trek::EProfileAxis::Time) return x * 1000.0;  // the time axis counts milliseconds
  return m_kilometres ? x / 1000.0 : x;
}

double CElevationProfileWnd::profileX(double x) const {
  if (m_profile.axis == trek::EProfileAxis::Time) return x / 1000.0;
  return m_kilometres ? x * 1000.0 : x;
}

void CElevationProfileWnd::setUpChart() {
  m_chart->removeAllSeries();
  m_lineSeries.clear();
  for (QAbstractAxis* a : m_chart->axes()) {
    m_chart->removeAxis(a);
    delete a;
  }

  double xLo = m_profile.xMin;
  double xHi = m_profile.xMax;
  if (!(xHi > xLo)) {
    // One place only: give the axis some width around it.
    const double pad = m_profile.axis == trek::EProfileAxis::Time ? 60.0 : 10.0;
    xLo -= pad;
    xHi += pad;
  }
  QAbstractAxis* xAxis = nullptr;
  if (m_profile.axis == trek::EProfileAxis::Time) {
    auto* t = new QDateTimeAxis;
    t->setFormat(QStringLiteral("H:mm"));
    t->setTickCount(6);
    t->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(plotX(xLo))),
                QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(plotX(xHi))));
    xAxis = t;
  } else {
    auto* v = new QValueAxis;
    v->setRange(plotX(xLo), plotX(xHi));
    const double step = niceStep(plotX(xHi) - plotX(xLo), 6);
    v->setTickType(QValueAxis::TicksDynamic);
    v->setTickAnchor(0.0);
    v->setTickInterval(step);
    v->setLabelFormat(decimalsFormat(step) + (m_kilometres ? QStringLiteral(" km") : QStringLiteral(" m")));
    xAxis = v;
  }
  auto* yAxis = new QValueAxis;
  const double span = m_profile.altitudeMax - m_profile.altitudeMin;
  const double pad = std::max(span * 0.05, 5.0);
  yAxis->setRange(m_profile.altitudeMin - pad, m_profile.altitudeMax + pad);
  yAxis->applyNiceNumbers();
  m_niceTicks = yAxis->tickCount();
  yAxis->setLabelFormat(QStringLiteral("%.0f m"));
  // Units sit in the labels, so the plot keeps its height in a low window.
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  for (QAbstractAxis* a : {xAxis, static_cast<QAbstractAxis*>(yAxis)}) {
    a->setLabelsFont(small);
    a->setTruncateLabels(false);  // a short figure cut to "..." tells nothing
  }

  // The stretch shade, the cursor line and the two dots stay across refills of the line.
  m_rangeShade = new QAreaSeries(new QLineSeries, new QLineSeries);
  m_rangeShade->upperSeries()->setParent(m_rangeShade);
  m_rangeShade->lowerSeries()->setParent(m_rangeShade);
  m_rangeShade->setColor(kRangeColour);
  m_rangeShade->setBorderColor(Qt::transparent);
  m_hoverLine = new QLineSeries;
  m_hoverLine->setPen(QPen(kHoverColour, 1, Qt::DashLine));
  m_selectedDot = new QScatterSeries;
  m_selectedDot->setMarkerSize(10);
  m_selectedDot->setColor(kSelectedColour);
  m_selectedDot->setBorderColor(Qt::white);
  m_hoverDot = new QScatterSeries;
  m_hoverDot->setMarkerSize(9);
  m_hoverDot->setColor(kHoverColour);
  m_hoverDot->setBorderColor(Qt::white);
  m_chart->addAxis(xAxis, Qt::AlignBottom);
  m_chart->addAxis(yAxis, Qt::AlignLeft);
  m_columns = 0;
  fillSeries();
  updateSelectedPoint();
}

void CElevationProfileWnd::fillSeries() {
  if (m_profile.points.empty() || m_chart->axes().size() < 2) return;
  const QRectF plot = m_chart->plotArea();
  // Before the first layout the plot has no size yet: the view's width is near enough.
  const int columns = std::max(1, plot.width() >= 16.0 ? static_cast<int>(plot.width()) : m_chartView->width());
  if (columns == m_columns) return;
  m_columns = columns;
  for (QAbstractSeries* s : m_lineSeries) {
    m_chart->removeSeries(s);
    delete s;
  }
  m_lineSeries.clear();
  // Series are drawn in the order they were added: the cursor series go back on top afterwards.
  const QAbstractSeries* const cursor[] = {m_rangeShade, m_hoverLine, m_selectedDot, m_hoverDot};
  for (const QAbstractSeries* c : cursor)
    if (m_chart->series().contains(const_cast<QAbstractSeries*>(c))) m_chart->removeSeries(const_cast<QAbstractSeries*>(c));

  const std::vector<trek::SProfilePoint> drawn =
      trek::decimateProfile(m_profile.points, m_profile.xMin, m_profile.xMax, columns);
  m_drawnPoints = drawn.size();
  QAbstractAxis* xAxis = m_chart->axes(Qt::Horizontal).value(0);
  QAbstractAxis* yAxis = m_chart->axes(Qt::Vertical).value(0);
  // One filled line per stretch between breaks.
  QList<QPointF> run;
  const auto flush = [&] {
    if (run.isEmpty()) return;
    auto* upper = new QLineSeries;
    upper->replace(run);
    auto* area = new QAreaSeries(upper);
    upper->setParent(area);
    area->setPen(QPen(kLineColour, 1.5));
    area->setBrush(kFillColour);
    m_chart->addSeries(area);
    area->attachAxis(xAxis);
    area->attachAxis(yAxis);
    m_lineSeries.push_back(area);
    run.clear();
  };
  for (const trek::SProfilePoint& p : drawn) {
    if (p.gapBefore) flush();
    run.push_back(QPointF(plotX(p.x), p.altitude));
  }
  flush();
  for (const QAbstractSeries* c : cursor) {
    auto* series = const_cast<QAbstractSeries*>(c);
    m_chart->addSeries(series);
    series->attachAxis(xAxis);
    series->attachAxis(yAxis);
  }
}

void CElevationProfileWnd::plotAreaChanged() {
  // A narrower or wider plot wants the line thinned again; a change of a few pixels does not.
  const int width = static_cast<int>(m_chart->plotArea().width());
  if (m_columns > 0 && std::abs(width - m_columns) >= 8) fillSeries();
  fitAltitudeTicks();
  if (m_hovered) setHovered(m_hovered);
}

void CElevationProfileWnd::fitAltitudeTicks() {
  // A low window leaves too little room between altitude ticks for their labels, which the chart
  // would then cut to "..."; fewer ticks keep every label whole.
  auto* y = qobject_cast<QValueAxis*>(m_chart->axes(Qt::Vertical).value(0));
  if (!y) return;
  const int labelHeight = QFontMetrics(y->labelsFont()).height() + 4;
  const int fit = static_cast<int>(m_chart->plotArea().height()) / labelHeight + 1;
  const int ticks = std::clamp(fit, 2, std::max(2, m_niceTicks));
  if (y->tickCount() != ticks) y->setTickCount(ticks);
}

QPoint CElevationProfileWnd::viewportPointOf(std::size_t profileIndex) const {
  if (profileIndex >= m_profile.points.size() || !m_hoverDot) return {};
  const trek::SProfilePoint& p = m_profile.points[profileIndex];
  const QPointF inChart = m_chart->mapToPosition(QPointF(plotX(p.x), p.altitude), m_hoverDot);
  return m_chartView->mapFromScene(m_chart->mapToScene(inChart));
}

std::optional<double> CElevationProfileWnd::profileXAt(const QPoint& pos, bool clamp) const {
  if (m_profile.points.empty() || !m_hoverDot) return std::nullopt;
  const QPointF inChart = m_chart->mapFromScene(m_chartView->mapToScene(pos));
  const QRectF plot = m_chart->plotArea();
  // A few pixels of slack, so the first and last point can be reached at the plot's edges.
  if (!plot.adjusted(-3, -3, 3, 3).contains(inChart) && !clamp) return std::nullopt;
  const QPointF at(std::clamp(inChart.x(), plot.left(), plot.right()), plot.center().y());
  return profileX(m_chart->mapToValue(at, m_hoverDot).x());
}

void CElevationProfileWnd::setHovered(std::optional<std::size_t> index) {
  m_hovered = index;
  if (!index || *index >= m_profile.points.size() || !m_log) {
    m_hovered.reset();
    if (m_hoverDot) m_hoverDot->clear();
    if (m_hoverLine) m_hoverLine->clear();
    m_readout->clear();
    emit markerCleared();
    return;
  }
  const trek::SProfilePoint& p = m_profile.points[*index];
  const QPointF at(plotX(p.x), p.altitude);
  m_hoverDot->replace(QList<QPointF>{at});
  if (auto* y = qobject_cast<QValueAxis*>(m_chart->axes(Qt::Vertical).value(0)))
    m_hoverLine->replace(QList<QPointF>{QPointF(at.x(), y->min()), QPointF(at.x(), y->max())});
  m_readout->setText(readoutText());
  const CTrackPoint& tp = m_log->Points()[p.index];
  emit markerMoved(tp.latitude, tp.longitude);
}

QString CElevationProfileWnd::readoutText() const {
  if (!m_hovered || !m_log || *m_hovered >= m_profile.points.size()) return {};
  const trek::SProfilePoint& p = m_profile.points[*m_hovered];
  const CTrackPoint& tp = m_log->Points()[p.index];
  QString text = QString::fromStdString(tp.Label()) + QStringLiteral("  ") +
                 trek_figures::lengthText(p.index < m_distances.size() ? m_distances[p.index] : 0.0) +
                 QStringLiteral("  ") + QString::asprintf("%.1fm", p.altitude);
  if (tp.time.HasTime())
    text += QStringLiteral("  ") + QDateTime::fromSecsSinceEpoch(tp.time.Count()).toString(QStringLiteral("H:mm:ss"));
  return text;
}

void CElevationProfileWnd::mouseMoved(const QPoint& pos, bool leftDown) {
  if (leftDown && m_pressAt) {
    if (!m_dragging && (pos - *m_pressAt).manhattanLength() >= QGuiApplication::styleHints()->startDragDistance())
      m_dragging = true;
    if (m_dragging) {
      if (const std::optional<double> x = profileXAt(pos, true)) {
        m_rangeX0 = m_pressX;
        m_rangeX1 = *x;
        m_range = trek::profileRange(m_profile.points, m_rangeX0, m_rangeX1);
        updateRangeShade();
      }
    }
  }
  const std::optional<double> x = profileXAt(pos, m_dragging);
  if (!x) {
    if (m_hovered) setHovered(std::nullopt);
    return;
  }
  const std::optional<std::size_t> nearest = trek::nearestProfilePoint(m_profile.points, *x);
  if (nearest != m_hovered) setHovered(nearest);
}

void CElevationProfileWnd::mousePressed(const QPoint& pos) {
  const std::optional<double> x = profileXAt(pos, false);
  if (!x) return;
  setFocus(Qt::MouseFocusReason);
  m_pressAt = pos;
  m_pressX = *x;
  m_dragging = false;
}

void CElevationProfileWnd::mouseReleased(const QPoint& pos) {
  if (!m_pressAt) return;
  m_pressAt.reset();
  if (m_dragging) {
    m_dragging = false;
    if (!m_range) clearRange();
    else updateRangeShade();
    return;
  }
  // A click: that track point becomes the selection, as if chosen in the tree.
  clearRange();
  const std::optional<double> x = profileXAt(pos, false);
  const std::optional<std::size_t> nearest = x ? trek::nearestProfilePoint(m_profile.points, *x) : std::nullopt;
  if (!nearest || !m_log || m_groupIndex < 0) return;
  STrekSelection request;
  request.kind = kTrekTrackPoint;
  request.groupIndex = m_groupIndex;
  request.trackLog = const_cast<CTrackLog*>(m_log);
  request.pointIndex = static_cast<int>(m_profile.points[*nearest].index);
  if (request == m_doc.TrekGroups().Selection()) return;
  (void)m_doc.TrekGroups().Select(request);
}

void CElevationProfileWnd::mouseLeft() {
  if (m_hovered) setHovered(std::nullopt);
}

void CElevationProfileWnd::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && m_range) {
    clearRange();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CElevationProfileWnd::updateSelectedPoint() {
  if (!m_selectedDot) return;
  m_selectedDot->clear();
  const STrekSelection& sel = m_doc.TrekGroups().Selection();
  if (sel.kind != kTrekTrackPoint || sel.trackLog != m_log || sel.pointIndex < 0) return;
  // The plotted point of that track point, if it has one.
  const auto it = std::lower_bound(m_profile.points.begin(), m_profile.points.end(), std::size_t(sel.pointIndex),
                                   [](const trek::SProfilePoint& p, std::size_t i) { return p.index < i; });
  if (it == m_profile.points.end() || it->index != std::size_t(sel.pointIndex)) return;
  m_selectedDot->replace(QList<QPointF>{QPointF(plotX(it->x), it->altitude)});
}

void CElevationProfileWnd::clearRange() {
  m_range.reset();
  m_dragging = false;
  updateRangeShade();
}

void CElevationProfileWnd::updateRangeShade() {
  if (m_rangeShade) {
    auto* y = qobject_cast<QValueAxis*>(m_chart->axes(Qt::Vertical).value(0));
    if (m_range && y) {
      const double x0 = plotX(std::min(m_rangeX0, m_rangeX1));
      const double x1 = plotX(std::max(m_rangeX0, m_rangeX1));
      m_rangeShade->upperSeries()->replace(QList<QPointF>{QPointF(x0, y->max()), QPointF(x1, y->max())});
      m_rangeShade->lowerSeries()->replace(QList<QPointF>{QPointF(x0, y->min()), QPointF(x1, y->min())});
    } else {
      m_rangeShade->upperSeries()->clear();
      m_rangeShade->lowerSeries()->clear();
    }
  }
  m_rangeText = rangeFigures();
  m_rangeLabel->setText(m_rangeText);
  m_rangeLabel->setVisible(!m_rangeText.isEmpty());
}

QString CElevationProfileWnd::rangeFigures() const {
  if (!m_range || !m_log || m_range->last >= m_log->Points().size()) return {};
  using namespace trek_figures;
  const auto& points = m_log->Points();
  const QString head = QStringLiteral("区間 ") + QString::fromStdString(points[m_range->first].Label()) +
                       QStringLiteral(" - ") + QString::fromStdString(points[m_range->last].Label());
  // While the mouse still moves only the ends; the figures of a long stretch take a moment.
  if (m_dragging) return head;
  trek::STrackStatsOptions options;
  if (m_settings) options.pauseSeconds = m_settings->pauseSeconds;
  const std::span<const CTrackPoint> run(points.data() + m_range->first, m_range->last - m_range->first + 1);
  const trek::STrackStatistics st = trek::computeTrackStatistics(run, options);
  const auto extreme = [&](const std::optional<trek::SAltitudeExtreme>& e) {
    return e ? QString::asprintf("%.1fm", e->altitude) : kAbsent;
  };
  return head + QStringLiteral("  距離 ") + lengthText(st.lengthMetres) +
         QStringLiteral("  所要時間 ") + durationText(st.totalSeconds) + QStringLiteral("  移動時間 ") +
         durationText(st.movingSeconds) + QStringLiteral("  平均速度 ") + speedText(st.averageSpeed) +
         QStringLiteral("\n累積標高(登り) ") + climbText(st.ascentMetres) + QStringLiteral("  累積標高(下り) ") +
         climbText(st.descentMetres) + QStringLiteral("  最高点 ") + extreme(st.highest) + QStringLiteral("  最低点 ") +
         extreme(st.lowest);
}
