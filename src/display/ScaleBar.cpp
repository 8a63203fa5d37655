#include "display/ScaleBar.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace {

QColor fromColorRef(std::uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

struct SScaleRow {
  int lengthM;
  const char* middle;
  const char* end;
};

constexpr SScaleRow kRows[] = {
    {5000, "2.5km", "5.0km"}, {2000, "1.0km", "2.0km"}, {1000, "500m", "1000m"},
    {500, "250m", "500m"},    {200, "100m", "200m"},    {100, "50m", "100m"},
};

}  // namespace

void ScaleBar::Configure(const QRect& area, int barHeight, double ratioX, double ratioY, bool centred,
                         std::uint32_t gapColour, std::uint32_t barColour, int fontHeight, const QString& faceName) {
  m_area = area;
  m_barHeight = barHeight;
  m_ratioX = ratioX;
  m_ratioY = ratioY;
  m_centred = centred;
  m_gapColour = gapColour;
  m_barColour = barColour;
  // A negative height is the character height in device pixels.
  m_font = QFont(faceName);
  m_font.setPixelSize(std::max(1, std::abs(fontHeight)));
  m_font.setWeight(QFont::Normal);
  m_font.setStyleStrategy(QFont::PreferQuality);
}

void ScaleBar::ConfigureForWindow(const QRect& clientArea) {
  Configure(clientArea, 4, m_ratioX, m_ratioY, true, 0xFFFFFF, 0xDD5500, -11, QStringLiteral("ＭＳ Ｐゴシック"));
}

void ScaleBar::ConfigureForPrint(double s, double ratioX, double ratioY) {
  Configure(QRect(0, 0, int(400 * s), int(24 * s)), int(4 * s), ratioX, ratioY, false, 0xFFFFFF, 0x777777,
            int(-12 * s), QStringLiteral("ＭＳ Ｐゴシック"));
}

ScaleBar::SLayout ScaleBar::Layout(int series) const {
  SLayout out;
  if (m_ratioX < 0.0 || m_ratioY < 0.0) return out;
  double metresPerPixel = 0.0;
  if (series == 1) metresPerPixel = 2.5;
  else if (series == 2) metresPerPixel = 5.0;
  else return out;
  const int w = m_area.width();
  const double r = m_ratioX;
  for (const auto& row : kRows) {
    if (w > r * row.lengthM / metresPerPixel) {
      out.visible = true;
      out.lengthM = row.lengthM;
      out.middleLabel = row.middle;
      out.endLabel = row.end;
      out.tenth = int(row.lengthM / metresPerPixel * 0.1 * r);
      out.x0 = m_area.left() + (m_centred ? int((w - 10 * out.tenth) * 0.5) : 0);
      return out;
    }
  }
  return out;
}

QRect ScaleBar::Draw(QPainter& painter, int series) const {
  const SLayout l = Layout(series);
  if (!l.visible) return {};
  const int t = l.tenth;
  const int x0 = l.x0;
  const int h = m_barHeight;

  painter.save();
  painter.setFont(m_font);
  const QFontMetrics fm(m_font, painter.device());
  const QString zero = QStringLiteral("0");
  const QString middle = QString::fromLatin1(l.middleLabel);
  const QString end = QString::fromLatin1(l.endLabel);

  const int y = m_area.bottom() + 1 - (h + 1);  // QRect::bottom() is inclusive
  const int ytext = y - fm.height();
  painter.setPen(Qt::black);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.drawText(x0, ytext - 1 + fm.ascent(), zero);
  painter.drawText(x0 + 5 * t - fm.horizontalAdvance(middle) / 2, ytext - 1 + fm.ascent(), middle);
  painter.drawText(x0 + 10 * t - fm.horizontalAdvance(end), y - fm.height() - 1 + fm.ascent(), end);

  const QColor gap = fromColorRef(m_gapColour);
  const QColor bar = fromColorRef(m_barColour);
  for (int i = 0; i < 5; ++i) painter.fillRect(QRect(x0 + i * t, y, t, h), (i % 2 == 0) ? gap : bar);
  painter.fillRect(QRect(x0 + 5 * t, y, 5 * t, h), bar);

  // Outline: top edge of the left half, the left end and the bottom edge, each line without its
  // last pixel.
  painter.fillRect(QRect(x0 + 1, y, 5 * t, 1), bar);
  painter.fillRect(QRect(x0, y, 1, h - 1), bar);
  painter.fillRect(QRect(x0, y + h - 1, 10 * t, 1), bar);
  painter.restore();
  return QRect(QPoint(x0, ytext), QPoint(x0 + 10 * t - 1, y + h - 1));
}
