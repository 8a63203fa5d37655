#pragma once
// The scale shown in the "スケール" tool bar: a 397 x 23 strip with the graduated bar.
#include <QWidget>

#include "display/ScaleBar.h"

class CScaleBarWnd : public QWidget {
  Q_OBJECT
 public:
  explicit CScaleBarWnd(QWidget* parent = nullptr);

  const ScaleBar& Painter() const { return m_bar; }
  QSize sizeHint() const override { return {397, 23}; }

 public slots:
  void SetRatio(double ratioX, double ratioY);
  void SetSeries(int series);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  ScaleBar m_bar;
};
