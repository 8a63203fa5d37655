#include "output/ui/CPrintPreviewWnd.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace preview {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t p = std::int64_t{a} * b;
  const std::int64_t half = std::abs(std::int64_t{c}) / 2;
  const bool negative = (p < 0) != (c < 0);
  const std::int64_t q = (std::abs(p) + half) / std::abs(std::int64_t{c});
  const std::int64_t r = negative ? -q : q;
  return static_cast<int>(std::clamp<std::int64_t>(r, INT32_MIN, INT32_MAX));
}

SPreviewRatio ZoomRatio(SPreviewRatio zoomOut, int state) {
  const int a = zoomOut.num;
  const int b = zoomOut.den;
  switch (state) {
    case 1: return {(a < b ? a + b : 3 * a - b) / 2, b};
    case 2: return a < b ? SPreviewRatio{1, 1} : SPreviewRatio{2 * a - b, b};
    default: return zoomOut;
  }
}

SPreviewRatio FitRatio(QSize page, QSize box) {
  if (page.width() <= 0 || page.height() <= 0) return {1, 1};
  if (MulDiv(page.width(), box.height(), page.height()) > box.width()) return {std::max(1, box.width()), page.width()};
  return {std::max(1, box.height()), page.height()};
}

void DrawPage(QPainter& painter, const QRect& paperRect, QPointF scale, const SPreviewPaper& paper,
              const CPrintPageRenderer& renderer, PrintInfo& info) {
  painter.save();
  painter.setClipRect(paperRect);
  // The printable area begins at the printer's printing offset from the paper's corner.
  painter.translate(paperRect.left() + paper.printable.x() * scale.x(), paperRect.top() + paper.printable.y() * scale.y());
  painter.scale(scale.x(), scale.y());
  // Reduced, the printer's thin lines would fall between screen pixels.
  if (scale.x() < 1.0 || scale.y() < 1.0) painter.setRenderHint(QPainter::Antialiasing, true);
  renderer.PrintPage(painter, info);
  painter.restore();
}

}  // namespace preview

using preview::MulDiv;

CPrintPreviewWnd::CPrintPreviewWnd(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("previewWnd"));
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setBackgroundRole(QPalette::Mid);
  viewport()->setAutoFillBackground(true);
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &CPrintPreviewWnd::pageScrolled);
}

CPrintPreviewWnd::~CPrintPreviewWnd() = default;

bool CPrintPreviewWnd::Start(const PrintInfo& info, std::shared_ptr<const CPrintPageRenderer> renderer,
                             const SPreviewPaper& paper, int pagesShown) {
  if (info.maxPage < info.minPage || info.maxPage == 0 || !renderer) return false;
  m_info = info;
  m_info.fromPage = m_info.minPage;
  m_info.toPage = m_info.maxPage;
  m_info.skipDialog = true;
  m_info.continuePrinting = true;
  m_info.drawRect = QRect(0, 0, info.pageWidth, info.pageHeight);
  m_renderer = std::move(renderer);
  m_paper = paper;
  m_pagesShown = std::clamp(pagesShown, 1, 2);
  m_pagesShownSaved = m_pagesShown;
  m_zoomState = 0;
  m_started = true;
  updateScrollRanges();
  SetCurrentPage(1, true);
  return true;
}

bool CPrintPreviewWnd::pageBarShown() const {
  return m_info.maxPage <= 0x7FFF && m_info.maxPage - m_info.minPage <= 0x7FFF && m_info.maxPage != m_info.minPage;
}

void CPrintPreviewWnd::updateScrollRanges() {
  m_settingBars = true;
  QScrollBar* v = verticalScrollBar();
  QScrollBar* h = horizontalScrollBar();
  if (m_zoomState == 0) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (pageBarShown()) {
      setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      v->setRange(minPage(), maxPage());
      v->setPageStep(1);
      v->setSingleStep(1);
      v->setValue(m_currentPage);
    } else {
      setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
  } else {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    const QRect& r = m_pages[0].rect;
    const QSize client = viewport()->size();
    v->setPageStep(std::max(1, client.height()));
    v->setSingleStep(1);
    v->setRange(0, std::max(0, r.bottom() + 1 + 16 - client.height()));
    h->setPageStep(std::max(1, client.width()));
    h->setSingleStep(1);
    h->setRange(0, std::max(0, r.right() + 1 + 16 - client.width()));
  }
  m_settingBars = false;
}

void CPrintPreviewWnd::SetCurrentPage(int page, bool clearCache) {
  m_currentPage = std::clamp(page, minPage(), std::max(minPage(), maxPage()));
  if (m_zoomState == 0 && pageBarShown()) {
    m_settingBars = true;
    verticalScrollBar()->setValue(m_currentPage);
    m_settingBars = false;
  }
  if (clearCache)
    for (SPageEntry& e : m_pages) e.computed = false;
  const int second = m_pagesShown == 2 && maxPage() >= m_currentPage + 1 ? m_currentPage + 1 : -1;
  emit pageChanged(maxPage(), m_currentPage, second, m_pagesShown);
  viewport()->update();
}

void CPrintPreviewWnd::computePage(int index) {
  SPageEntry& e = m_pages[index];
  const QSize client = viewport()->size();
  const int availW = client.width();
  const int availH = client.height();
  m_gap = (availW - 8) / 2;
  const QSize box(m_pagesShown == 2 ? (availW - 24) / 2 : availW - 16, availH - 16);
  e.paperScreen = QSize(MulDiv(m_paper.paper.width(), m_paper.screenDpiX, m_paper.printerDpiX),
                        MulDiv(m_paper.paper.height(), m_paper.screenDpiY, m_paper.printerDpiY));
  e.zoomOut = preview::FitRatio(e.paperScreen, box);
  e.ratio = preview::ZoomRatio(e.zoomOut, m_zoomState);
  const int right = MulDiv(e.paperScreen.width(), e.ratio.num, e.ratio.den) + 11;
  const int bottom = MulDiv(e.paperScreen.height(), e.ratio.num, e.ratio.den) + 11;
  e.rect = QRect(QPoint(8, 8), QPoint(right - 1, bottom - 1));
  if (m_zoomState == 0) {
    e.rect.translate((box.width() + 8 - right) / 2 - 1, (box.height() + 8 - bottom) / 2 - 1);
    if (index == 1) e.rect.translate(m_gap, 0);
  } else {
    updateScrollRanges();
  }
  e.computed = true;
}

QRect CPrintPreviewWnd::pageRect(int index) const {
  const_cast<CPrintPreviewWnd*>(this)->computePageIfNeeded(index);
  return m_pages[index].rect;
}

SPreviewRatio CPrintPreviewWnd::ratio(int index) const {
  const_cast<CPrintPreviewWnd*>(this)->computePageIfNeeded(index);
  return m_pages[index].ratio;
}

QPointF CPrintPreviewWnd::drawScale(int index) const {
  const SPreviewRatio r = ratio(index);
  const double k = double(r.num) / r.den;
  return {k * m_paper.screenDpiX / m_paper.printerDpiX, k * m_paper.screenDpiY / m_paper.printerDpiY};
}

void CPrintPreviewWnd::computePageIfNeeded(int index) {
  if (!m_pages[index].computed) computePage(index);
}

void CPrintPreviewWnd::SetZoomState(int state) {
  state = std::clamp(state, 0, 2);
  if (state == m_zoomState) return;
  m_zoomState = state;
  if (state > 0) {
    m_pagesShown = 1;
    SetCurrentPage(m_currentPage, false);
    m_pages[0].computed = false;
    computePage(0);
    m_settingBars = true;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    m_settingBars = false;
  } else {
    m_pagesShown = m_pagesShownSaved;
    updateScrollRanges();
    SetCurrentPage(m_currentPage, true);
  }
  viewport()->update();
}

void CPrintPreviewWnd::TogglePages() {
  m_pagesShown = 3 - m_pagesShown;
  m_pagesShownSaved = m_pagesShown;
  SetCurrentPage(m_currentPage, true);
}

void CPrintPreviewWnd::pageScrolled(int action) {
  if (m_zoomState != 0 || !pageBarShown()) return;
  QScrollBar* v = verticalScrollBar();
  const int jump = (maxPage() - minPage() + 9) / 10;
  if (action == QAbstractSlider::SliderPageStepAdd) v->setSliderPosition(std::min(maxPage(), m_currentPage + jump));
  if (action == QAbstractSlider::SliderPageStepSub) v->setSliderPosition(std::max(minPage(), m_currentPage - jump));
}

void CPrintPreviewWnd::scrollContentsBy(int /*dx*/, int /*dy*/) {
  if (m_settingBars || !m_started) return;
  if (m_zoomState == 0) {
    if (verticalScrollBar()->value() != m_currentPage) SetCurrentPage(verticalScrollBar()->value(), true);
    return;
  }
  viewport()->update();
}

void CPrintPreviewWnd::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (!m_started) return;
  if (m_zoomState == 0) {
    for (SPageEntry& e : m_pages) e.computed = false;
  } else {
    computePage(0);
  }
}

void CPrintPreviewWnd::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(viewport());
  if (!m_started) return;
  for (int i = 0; i < m_pagesShown; ++i) {
    computePageIfNeeded(i);
    QRect r = m_pages[i].rect;
    if (m_zoomState != 0) r.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    // The paper: a frame, a shadow along the right and bottom edges, white inside.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 2));
    painter.drawRect(r.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(palette().color(QPalette::Dark), 3));
    painter.drawLine(r.right() + 2, r.top() + 3, r.right() + 2, r.bottom() + 2);
    painter.drawLine(r.left() + 3, r.bottom() + 2, r.right() + 2, r.bottom() + 2);
    const QRect paper(QPoint(r.left() + 1, r.top() + 1), QPoint(r.right() - 2, r.bottom() - 2));
    painter.fillRect(paper, Qt::white);

    const int page = m_currentPage + i;
    if (!m_info.continuePrinting || page > maxPage()) {
      if (i == 0 && m_currentPage > 1) SetCurrentPage(m_currentPage - 1, true);
      return;
    }
    m_info.currentPage = static_cast<std::uint32_t>(page);
    preview::DrawPage(painter, paper, drawScale(i), m_paper, *m_renderer, m_info);
  }
}
