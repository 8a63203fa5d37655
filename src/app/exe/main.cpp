// vantoria: the map viewer. `vantoria [PATH/index.csv] [trek files...]` opens those files at
// start-up, or hands them to the program already running.
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "app/SingleInstance.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  // Matches the installed desktop entry, whose icon and name the desktop then shows.
  QGuiApplication::setDesktopFileName(QStringLiteral("vantoria"));

  // One program per user: a second start (files double-clicked one after another) hands its
  // files to the running one and ends. Without a server (a socket of another user in the way,
  // say) the program runs on alone.
  const QStringList files = QApplication::arguments().mid(1);
  CInstanceChannel channel(CInstanceChannel::DefaultServerName());
  if (channel.HandOver(files)) return 0;

  // Listening before start-up, so that a start meanwhile finds this program; what it hands
  // over waits until start-up and its messages are done.
  CVantoriaApp app;
  QObject::connect(&channel, &CInstanceChannel::filesReceived, &app, &CVantoriaApp::OpenHandedOverFiles);
  (void)channel.Listen();
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
