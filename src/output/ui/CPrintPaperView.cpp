#include "output/ui/CPrintPaperView.h"

#include <QPainter>

namespace {
QColor fromColorRef(std::uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
}  // namespace

CPrintPaperView::CPrintPaperView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("paperView"));
  setMinimumSize(160, 160);
}

void CPrintPaperView::SetLayout(const print::SPageLayout& layout, const print::SDpi& dpi) {
  m_layout = layout;
  m_dpi = dpi;
  update();
}

void CPrintPaperView::ClearLayout() {
  m_layout.reset();
  update();
}

void CPrintPaperView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), fromColorRef(0xF7F7F7));
  if (!m_layout) return;
  const auto g = print::PaperViewGeometry(size(), *m_layout, m_dpi);
  if (!g) return;
  const int w = g->page.width();
  const int h = g->page.height();
  const int m = g->margin;
  for (int row = 0; row < m_layout->pagesDown; ++row) {
    for (int col = 0; col < m_layout->pagesAcross; ++col) {
      const QRect page(g->origin.x() + col * (w + 3), g->origin.y() + row * (h + 3), w, h);
      p.fillRect(QRect(page.right() + 1, page.top() + 2, 2, h), fromColorRef(0xC3C3C3));
      p.fillRect(QRect(page.left() + 2, page.bottom() + 1, w, 2), fromColorRef(0xC3C3C3));
      p.fillRect(page, Qt::white);
      const int pw = col == m_layout->pagesAcross - 1 ? g->usedLastColumn : w - 2 * m;
      const int ph = row == m_layout->pagesDown - 1 ? g->usedLastRow : h - 2 * m;
      const QRect printed(page.left() + m, page.top() + m, pw, ph);
      p.fillRect(printed, fromColorRef(0xE8DAC7));
      p.setPen(fromColorRef(0xEC9D68));
      p.drawRect(printed.adjusted(0, 0, -1, -1));
      p.setPen(Qt::black);
      p.drawRect(page.adjusted(0, 0, -1, -1));
    }
  }
}
