// vantoria: the map viewer. `vantoria [PATH/index.csv]` opens that map index at start-up.
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  CVantoriaApp app;
  if (!app.InitInstance(QApplication::arguments())) return 1;

  // Development aid: VANTORIA_SCREENSHOT=file.png saves the screen after start-up and quits.
  const QByteArray shot = qgetenv("VANTORIA_SCREENSHOT");
  if (!shot.isEmpty()) {
    QTimer::singleShot(1500, [&] {
      QPixmap pm;
      if (QScreen* s = QGuiApplication::primaryScreen()) pm = s->grabWindow(0);
      if (pm.isNull() && app.Frame()) pm = app.Frame()->grab();
      pm.save(QString::fromLocal8Bit(shot));
      app.Frame()->close();
      QApplication::quit();
    });
  }
  return QApplication::exec();
}
