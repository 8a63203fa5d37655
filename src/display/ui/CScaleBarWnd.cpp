#include "display/ui/CScaleBarWnd.h"

#include <QPainter>

CScaleBarWnd::CScaleBarWnd(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("scaleBar"));
  setFixedSize(397, 23);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setToolTip(QStringLiteral("スケール"));
  setStatusTip(QStringLiteral("地形図の縮尺を表示します"));
  // Blank until the view gives it a ratio.
  m_bar.ConfigureForWindow(rect());
}

void CScaleBarWnd::SetRatio(double ratioX, double ratioY) {
  m_bar.SetRatio(ratioX, ratioY);
  update();
}

void CScaleBarWnd::SetSeries(int series) {
  m_bar.SetSeries(series);
  update();
}

void CScaleBarWnd::resizeEvent(QResizeEvent*) { m_bar.SetArea(rect()); }

void CScaleBarWnd::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(238, 238, 238));
  m_bar.Draw(p, m_bar.Series());
}
