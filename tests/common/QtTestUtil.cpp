#include "common/QtTestUtil.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace testutil {

void whenModal(const char* name, std::function<void(QWidget&)> act) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, name, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || w->objectName() != QLatin1String(name)) return;
    timer->stop();
    timer->deleteLater();
    act(*w);
  });
  timer->start();
}

}  // namespace testutil
