#include "display/ui/CPopTextWnd.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>

CPopTextWnd::CPopTextWnd(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_owner(owner) {
  setObjectName(QStringLiteral("popText"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setCursor(Qt::ArrowCursor);
  m_font = QFont(QStringLiteral("ＭＳ　Ｐゴシック"));
  m_font.setPixelSize(13);
  m_font.setWeight(QFont::DemiBold);
  m_font.setStyleStrategy(QFont::PreferDefault);
}

std::uint32_t CPopTextWnd::BorderColour(int kind) {
  switch (kind) {
    case 0: return 0x1E90FF;
    case 2: return 0xF88816;
    default: return 0x888888;
  }
}

CPopTextWnd::SPlacement CPopTextWnd::Place(const QPoint& screenPoint, const std::vector<QSize>& lineSizes,
                                           const QRect& screen) {
  SPlacement out;
  if (lineSizes.empty()) return out;
  int w = 0, h = 0;
  for (const QSize& s : lineSizes) {
    w = std::max(w, s.width());
    h = std::max(h, s.height());
  }
  const int rowHeight = h + 4;
  const int n = int(lineSizes.size());
  const int screenRight = screen.x() + screen.width();
  const int screenBottom = screen.y() + screen.height();
  int x = screenPoint.x();
  if (x + w + 8 > screenRight) x = screenRight - w - 8;
  int y = screenPoint.y() + 25;
  if (y + n * rowHeight > screenBottom) y = screenPoint.y() - n * rowHeight - 12;
  out.window = QRect(x, y, w + 8, n * rowHeight);
  for (int i = 0; i < n; ++i) out.lines.emplace_back(0, i * rowHeight, w + 8, rowHeight);
  return out;
}

QImage CPopTextWnd::FadeToWhite(const QImage& source) {
  QImage img = source.convertToFormat(QImage::Format_RGB32);
  std::uint8_t table[256];
  for (int v = 0; v < 256; ++v) table[v] = std::uint8_t(FadeChannel(v));
  for (int y = 0; y < img.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      const QRgb c = row[x];
      row[x] = qRgb(table[qRed(c)], table[qGreen(c)], table[qBlue(c)]);
    }
  }
  return img;
}

QImage CPopTextWnd::grabBeneath(const QRect& screenRect) const {
  // The screen itself where the platform allows it; otherwise what the owner's window shows there.
  QScreen* screen = QGuiApplication::screenAt(screenRect.center());
  if (!screen && m_owner) screen = m_owner->screen();
  if (screen) {
    const QRect geo = screen->geometry();
    const QPixmap pm = screen->grabWindow(0, screenRect.x() - geo.x(), screenRect.y() - geo.y(),
                                          screenRect.width(), screenRect.height());
    if (!pm.isNull() && pm.width() >= screenRect.width() && pm.height() >= screenRect.height())
      return pm.toImage().scaled(screenRect.size());
  }
  QImage img(screenRect.size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  if (m_owner) {
    QWidget* top = m_owner->window();
    const QRect inTop(top->mapFromGlobal(screenRect.topLeft()), screenRect.size());
    const QPixmap pm = top->grab(inTop.intersected(top->rect()));
    QPainter p(&img);
    p.drawPixmap(inTop.intersected(top->rect()).topLeft() - inTop.topLeft(), pm);
  }
  return img;
}

void CPopTextWnd::Show(const QPoint& point, const QStringList& lines, int kind) {
  if (isVisible()) return;
  const QPoint screenPoint = m_owner ? m_owner->mapToGlobal(point) : point;
  m_lines = lines;
  m_kind = kind;
  if (lines.isEmpty()) return;
  const QFontMetrics fm(m_font);
  std::vector<QSize> sizes;
  for (const QString& line : lines) sizes.emplace_back(fm.horizontalAdvance(line), fm.height());
  QScreen* screen = QGuiApplication::screenAt(screenPoint);
  if (!screen && m_owner) screen = m_owner->screen();
  const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 1 << 20, 1 << 20);
  const SPlacement place = Place(screenPoint, sizes, screenRect);
  m_lineRects = place.lines;
  m_background = FadeToWhite(grabBeneath(place.window));
  setGeometry(place.window);
  show();
  raise();
  update();
}

void CPopTextWnd::Hide() {
  if (isVisible()) hide();
}

void CPopTextWnd::paintEvent(QPaintEvent*) {
  QImage buffer(size(), QImage::Format_RGB32);
  QPainter p(&buffer);
  if (m_background.size() == size()) p.drawImage(0, 0, m_background);
  else buffer.fill(QColor(254, 254, 254));
  const std::uint32_t c = BorderColour(m_kind);
  p.setPen(QPen(QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)), 0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(0, 0, width() - 1, height() - 1);
  for (std::size_t i = 1; i < m_lineRects.size(); ++i) {
    const QRect& r = m_lineRects[i];
    p.drawLine(r.left() + 5, r.top(), r.right() - 5, r.top());
  }
  p.setFont(m_font);
  p.setPen(Qt::black);
  for (std::size_t i = 0; i < m_lineRects.size() && int(i) < m_lines.size(); ++i) {
    const QRect r = m_lineRects[i].adjusted(4, 0, 0, 0);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, m_lines[int(i)]);
  }
  p.end();
  QPainter(this).drawImage(0, 0, buffer);
}
