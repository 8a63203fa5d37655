#include "maps/ui/IndexGrid.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "maps/SheetCatalogue.h"
#include "platform/Codepage.h"

namespace {

QColor rgb(unsigned colorRef) { return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF)); }

/// Top and left edges in one colour, bottom and right in the other.
void drawEdges(QPainter& p, const QRect& r, unsigned topLeft, unsigned bottomRight) {
  p.setPen(rgb(topLeft));
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(rgb(bottomRight));
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

IndexGrid::IndexGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("indexGrid"));
  setFrameShape(QFrame::NoFrame);
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  m_font = QFont(QStringLiteral("ＭＳ Ｐゴシック"));
  m_font.setPixelSize(12);
  m_font.setWeight(QFont::Normal);
  m_font.setStyleStrategy(QFont::PreferQuality);
  // Once the user scrolls, the grid stays where it was put.
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()})
    connect(bar, &QAbstractSlider::actionTriggered, this, [this] { m_revealPending = false; });
  compose();
}

QSize IndexGrid::CanvasSize(int series) { return series == 2 ? QSize(307, 145) : QSize(544, 256); }

QRect IndexGrid::CellRect(int series, int slot) {
  const int row = slot / 8;
  const int column = slot % 8;
  if (series == 2) return QRect(34 * column, 113 - 16 * row, kCellWidth, kCellHeight);
  return QRect(68 * column, 224 - 32 * row, kCellWidth, kCellHeight);
}

QStringList IndexGrid::SplitLabel(const QString& name, const QFontMetrics& metrics) {
  if (metrics.horizontalAdvance(name) < kCellWidth) return {name};
  qsizetype cut = 0;
  while (cut < name.size()) {
    // A character outside the basic plane is one character of two code units.
    const qsizetype next = cut + (name.at(cut).isHighSurrogate() && cut + 1 < name.size() ? 2 : 1);
    if (cut > 0 && metrics.horizontalAdvance(name.left(next)) > kCellWidth) break;
    cut = next;
  }
  return {name.left(cut), name.mid(cut)};
}

bool IndexGrid::holdsSheet(int slot) const {
  if (!m_catalogue) return false;
  const SheetSlot* s = m_catalogue->slot(m_area, slot);
  return s && !s->empty();
}

QString IndexGrid::sheetName(int slot) const {
  const SheetSlot* s = m_catalogue ? m_catalogue->slot(m_area, slot) : nullptr;
  return s ? QString::fromStdString(platform::cp932::toUtf8Lossy(s->sheetName)) : QString();
}

int IndexGrid::SlotAt(const QPoint& canvasPoint) const {
  for (int slot = 0; slot < kSlots; ++slot)
    if (holdsSheet(slot) && CellRect(m_series, slot).contains(canvasPoint)) return slot;
  return -1;
}

void IndexGrid::resetCells() { m_hover = m_pressed = m_selected = m_lastSent = -1; }

void IndexGrid::Fill(const SheetCatalogue* catalogue, int series) {
  m_catalogue = catalogue;
  m_series = series;
  m_canvasSize = CanvasSize(series);
  m_area = catalogue && catalogue->areaCount() > 0 ? 0 : -1;
  resetCells();
  updateScrollBars();
  compose();
  revealSheets();
}

void IndexGrid::Clear() {
  m_catalogue = nullptr;
  m_series = -1;
  m_area = -1;
  resetCells();
  compose();
}

void IndexGrid::ShowArea(int index) {
  m_area = m_catalogue && index >= 0 && index < m_catalogue->areaCount() ? index : -1;
  resetCells();
  compose();
  revealSheets();
}

void IndexGrid::SelectSheet(int area, int slot) {
  ShowArea(area);
  if (slot < 0 || slot >= kSlots) return;
  m_pressed = m_selected = m_lastSent = slot;
  compose();
  const QRect cell = CellRect(m_series, slot);
  if (!QRect(toCanvas(QPoint(0, 0)), viewport()->size()).contains(cell)) {
    reveal(cell);
    m_revealPending = false;
  }
}

void IndexGrid::revealSheets() {
  QRect sheets;
  for (int slot = 0; slot < kSlots; ++slot)
    if (holdsSheet(slot)) sheets |= CellRect(m_series, slot);
  m_revealPending = !sheets.isEmpty();
  if (m_revealPending) reveal(sheets);
}

void IndexGrid::reveal(const QRect& canvasRect) {
  const QSize client = viewport()->size();
  auto start = [](int from, int extent, int clientExtent) {
    return extent <= clientExtent ? from + extent / 2 - clientExtent / 2 : from;
  };
  // The scroll bars clamp to their ranges.
  horizontalScrollBar()->setValue(start(canvasRect.left(), canvasRect.width(), client.width()));
  verticalScrollBar()->setValue(start(canvasRect.top(), canvasRect.height(), client.height()));
}

void IndexGrid::compose() {
  // In device pixels, so that the names stay sharp on a high-density screen.
  const qreal dpr = devicePixelRatioF();
  const QSize pixels = (QSizeF(m_canvasSize) * dpr).toSize();
  if (m_picture.size() != pixels || m_picture.devicePixelRatio() != dpr) {
    m_picture = QImage(pixels, QImage::Format_RGB32);
    m_picture.setDevicePixelRatio(dpr);
  }
  QPainter p(&m_picture);
  const int w = m_canvasSize.width();
  const int h = m_canvasSize.height();
  p.fillRect(0, 0, w, h, rgb(kBackground));
  p.setPen(Qt::white);
  p.drawLine(0, h - 1, w - 1, h - 1);
  p.drawLine(w - 1, 0, w - 1, h - 1);
  for (int slot = 0; slot < kSlots; ++slot)
    if (holdsSheet(slot)) p.fillRect(CellRect(m_series, slot), rgb(kSheetCell));
  if (m_hover >= 0) drawEdges(p, CellRect(m_series, m_hover), kLight, kShadow);
  for (const int slot : {m_pressed, m_selected}) {
    if (slot < 0) continue;
    const QRect r = CellRect(m_series, slot);
    p.fillRect(r, rgb(kSunkenFill));
    drawEdges(p, r, kShadow, kLight);
  }
  p.setFont(m_font);
  p.setPen(Qt::black);
  const QFontMetrics fm(m_font);
  for (int slot = 0; slot < kSlots && m_catalogue; ++slot) {
    const QString name = sheetName(slot);
    if (name.isEmpty()) continue;
    const QRect cell = CellRect(m_series, slot);
    const QStringList lines = SplitLabel(name, fm);
    if (lines.size() == 1) {
      p.drawText(cell, Qt::AlignCenter | Qt::TextDontClip, name);
      continue;
    }
    const int lh = fm.height();
    const int top = cell.top() + (cell.height() - (2 * lh + 2)) / 2;
    p.drawText(QRect(cell.left(), top, cell.width(), lh), Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip,
               lines.at(0));
    p.drawText(QRect(cell.left(), top + lh + 2, cell.width(), lh), Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip,
               lines.at(1));
  }
  p.end();
  viewport()->update();
}

void IndexGrid::updateScrollBars() {
  const QSize client = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, m_canvasSize.width() - client.width()));
  verticalScrollBar()->setRange(0, std::max(0, m_canvasSize.height() - client.height()));
  horizontalScrollBar()->setPageStep(std::max(1, client.width()));
  verticalScrollBar()->setPageStep(std::max(1, client.height()));
  horizontalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setSingleStep(1);
}

QPoint IndexGrid::toCanvas(const QPoint& client) const {
  return client + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void IndexGrid::paintEvent(QPaintEvent* event) {
  if (m_picture.devicePixelRatio() != devicePixelRatioF()) compose();  // moved to another screen
  QPainter p(viewport());
  const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
  // Beyond the canvas the window shows its own background.
  p.fillRect(event->rect(), palette().color(QPalette::Window));
  p.drawImage(-offset, m_picture);
}

void IndexGrid::resizeEvent(QResizeEvent*) {
  updateScrollBars();
  if (m_revealPending) revealSheets();
}

void IndexGrid::scrollContentsBy(int, int) { viewport()->update(); }

void IndexGrid::setHover(int slot) {
  if (slot == m_hover) return;
  m_hover = slot;
  compose();
}

void IndexGrid::mouseMoveEvent(QMouseEvent* event) {
  const QPoint c = toCanvas(event->position().toPoint());
  setHover(QRect(QPoint(0, 0), m_canvasSize).contains(c) ? SlotAt(c) : -1);
}

void IndexGrid::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // The press itself may be the first the grid hears of the pointer.
  mouseMoveEvent(event);
  if (m_hover < 0) return;
  m_pressed = m_hover;
  m_selected = -1;
  compose();
}

void IndexGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  mouseMoveEvent(event);
  if (m_hover < 0 || m_pressed < 0 || m_pressed == m_lastSent) return;
  m_selected = m_pressed;
  m_lastSent = m_pressed;
  compose();
  emit sheetChosen(m_area, m_pressed);
}

bool IndexGrid::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Leave) setHover(-1);
  if (event->type() == QEvent::Wheel) m_revealPending = false;
  return QAbstractScrollArea::viewportEvent(event);
}
