#include "display/SelectionFrame.h"

#include <QColor>
#include <QPainter>
#include <algorithm>
#include <utility>

#include "display/Magnification.h"

namespace {

/// Edges with exclusive right and bottom, as the drag arithmetic wants them.
struct SEdges {
  int left, top, right, bottom;
};

SEdges edgesOf(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
QRect rectOf(const SEdges& e) { return QRect(e.left, e.top, e.right - e.left, e.bottom - e.top); }

QRect spanning(const QPoint& a, const QPoint& b) {
  return rectOf({std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()), std::max(a.y(), b.y())});
}

QColor fromColorRef(unsigned c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

}  // namespace

void SelectionFrame::SetMap(const QSize& mapSize, double ratio) {
  m_mapSize = mapSize;
  m_ratio = ratio > 0 ? ratio : 1.0;
  if (m_handlesShown) computeHandles();
}

QRect SelectionFrame::mapRect() const {
  return QRect(0, 0, ViewToSheet(m_mapSize.width(), m_ratio), ViewToSheet(m_mapSize.height(), m_ratio));
}

QPoint SelectionFrame::toSheet(const QPoint& view) const {
  return {ViewToSheet(view.x(), m_ratio), ViewToSheet(view.y(), m_ratio)};
}

QRect SelectionFrame::ToView(const QRect& sheet) const {
  const SEdges e = edgesOf(sheet);
  return rectOf({SheetToView(e.left, m_ratio), SheetToView(e.top, m_ratio), SheetToView(e.right, m_ratio),
                 SheetToView(e.bottom, m_ratio)});
}

void SelectionFrame::SetSelection(const QRect& sheetRect, bool showHandles) {
  const QRect r = sheetRect.normalized();
  m_exists = r.width() > 0 && r.height() > 0;
  m_rect = m_exists ? r : QRect();
  m_handlesShown = m_exists && showHandles;
  if (m_handlesShown) computeHandles();
}

void SelectionFrame::Clear() {
  m_exists = false;
  m_rect = QRect();
  m_handlesShown = false;
  m_banding = m_moving = m_resizing = false;
}

void SelectionFrame::computeHandles() {
  const SEdges v = edgesOf(ToView(m_rect));
  const int cx = (v.left + v.right) / 2;
  const int cy = (v.top + v.bottom) / 2;
  const QPoint centres[8] = {{v.left, v.top},     {cx, v.top},         {v.right, v.top}, {v.right, cy},
                             {v.right, v.bottom}, {cx, v.bottom},      {v.left, v.bottom}, {v.left, cy}};
  for (std::size_t i = 0; i < 8; ++i)
    m_handles[i] = QRect(centres[i].x() - kHandleSize / 2, centres[i].y() - kHandleSize / 2, kHandleSize, kHandleSize);
}

int SelectionFrame::HitTest(const QPoint& view) const {
  if (m_handlesShown) {
    for (std::size_t i = 0; i < 8; ++i)
      if (m_handles[i].contains(view)) return int(i);
  }
  if (m_exists && ToView(m_rect).contains(view)) return kInside;
  return kNoHit;
}

bool SelectionFrame::BeginBand(const QPoint& view) {
  if (view.x() < 0 || view.y() < 0 || view.x() > m_mapSize.width() || view.y() > m_mapSize.height()) return false;
  m_handlesShown = false;
  m_moving = m_resizing = false;
  m_bandStart = m_bandEnd = toSheet(view);
  m_banding = true;
  return true;
}

void SelectionFrame::MoveBand(const QPoint& view) {
  if (!m_banding) return;
  // The free corner stays on the map.
  const QRect map = mapRect();
  const QPoint p = toSheet(view);
  m_bandEnd = QPoint(std::clamp(p.x(), 0, map.width()), std::clamp(p.y(), 0, map.height()));
}

QRect SelectionFrame::band() const { return spanning(m_bandStart, m_bandEnd); }

QRect SelectionFrame::EndBand() {
  if (!m_banding) return selection();
  m_banding = false;
  SetSelection(band(), true);
  return selection();
}

bool SelectionFrame::BeginDrag(int hit, const QPoint& view) {
  if (!m_exists || hit < 0 || hit > kInside) return false;
  m_work = m_rect;
  m_handle = hit;
  m_moving = hit == kInside;
  m_resizing = !m_moving;
  m_last = toSheet(view);
  return true;
}

void SelectionFrame::Drag(const QPoint& view) {
  if (!dragging()) return;
  const QPoint p = toSheet(view);
  const int dx = p.x() - m_last.x();
  const int dy = p.y() - m_last.y();
  m_last = p;
  const QRect map = mapRect();
  SEdges e = edgesOf(m_work);
  if (m_moving) {
    // A moved selection keeps its size and stays on the map.
    const int w = std::min(e.right - e.left, map.width());
    const int h = std::min(e.bottom - e.top, map.height());
    e.left = std::clamp(e.left + dx, 0, map.width() - w);
    e.top = std::clamp(e.top + dy, 0, map.height() - h);
    m_work = QRect(e.left, e.top, w, h);
    return;
  }
  switch (m_handle) {
    case 0: e.left += dx; e.top += dy; break;
    case 1: e.top += dy; break;
    case 2: e.top += dy; e.right += dx; break;
    case 3: e.right += dx; break;
    case 4: e.right += dx; e.bottom += dy; break;
    case 5: e.bottom += dy; break;
    case 6: e.bottom += dy; e.left += dx; break;
    case 7: e.left += dx; break;
    default: break;
  }
  // Dragged across the opposite edge: the rectangle turns over, and so does the handle, which
  // keeps following the mouse.
  if (e.left > e.right) {
    std::swap(e.left, e.right);
    static constexpr int kMirrorX[8] = {2, 1, 0, 7, 6, 5, 4, 3};
    m_handle = kMirrorX[m_handle];
  }
  if (e.top > e.bottom) {
    std::swap(e.top, e.bottom);
    static constexpr int kMirrorY[8] = {6, 5, 4, 3, 2, 1, 0, 7};
    m_handle = kMirrorY[m_handle];
  }
  e.left = std::max(e.left, 0);
  e.top = std::max(e.top, 0);
  e.right = std::min(e.right, map.width());
  e.bottom = std::min(e.bottom, map.height());
  m_work = rectOf({e.left, e.top, std::max(e.left, e.right), std::max(e.top, e.bottom)});
}

void SelectionFrame::EndDrag() {
  if (!dragging()) return;
  m_moving = m_resizing = false;
  m_handle = kNoHit;
  // A rectangle squeezed to nothing keeps the previous selection.
  if (m_work.width() > 0 && m_work.height() > 0) m_rect = m_work;
  m_handlesShown = true;
  computeHandles();
}

QRect SelectionFrame::Bounds() const {
  QRect r;
  if (m_banding) r |= ToView(band());
  if (m_exists) r |= ToView(m_rect);
  if (m_handlesShown)
    for (const QRect& h : m_handles) r |= h;
  if (dragging()) r |= ToView(m_work);
  return r.isNull() ? r : r.adjusted(-5, -5, 5, 5);
}

void SelectionFrame::InvertFrame(QPainter& painter, const QRect& rect, int thickness) {
  if (rect.width() <= 0 || rect.height() <= 0 || thickness <= 0) return;
  const QPainter::CompositionMode old = painter.compositionMode();
  painter.setCompositionMode(QPainter::RasterOp_NotDestination);
  const int x = rect.x(), y = rect.y(), w = rect.width(), h = rect.height();
  if (w <= 2 * thickness || h <= 2 * thickness) {
    painter.fillRect(rect, Qt::black);
  } else {
    // Four strips that do not overlap, so no pixel is inverted twice.
    painter.fillRect(QRect(x, y, w, thickness), Qt::black);
    painter.fillRect(QRect(x, y + h - thickness, w, thickness), Qt::black);
    painter.fillRect(QRect(x, y + thickness, thickness, h - 2 * thickness), Qt::black);
    painter.fillRect(QRect(x + w - thickness, y + thickness, thickness, h - 2 * thickness), Qt::black);
  }
  painter.setCompositionMode(old);
}

void SelectionFrame::PaintBand(QPainter& painter) const {
  if (m_banding) InvertFrame(painter, ToView(band()), 1);
}

void SelectionFrame::Paint(QPainter& painter) const {
  PaintBand(painter);
  if (m_exists) InvertFrame(painter, ToView(m_rect), 2);
  if (m_handlesShown && !dragging()) {
    const QColor fill = fromColorRef(kHandleColour);
    for (const QRect& h : m_handles) painter.fillRect(h, fill);
  }
  if (dragging()) InvertFrame(painter, ToView(m_work), 1);
}
