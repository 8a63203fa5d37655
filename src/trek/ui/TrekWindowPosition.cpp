#include "trek/ui/TrekWindowPosition.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include "platform/IProfileStore.h"

namespace trek {

void RestoreWindowPosition(QWidget& window, const std::string& name) {
  const auto& profile = platform::profile();
  const QPoint stored(profile.readInt("Wnd_Pos", name + "_left", 0), profile.readInt("Wnd_Pos", name + "_top", 0));
  QWidget* parent = window.parentWidget();
  const auto toScreen = [parent](QPoint p) { return parent ? parent->mapToGlobal(p) : p; };
  QPoint corner = toScreen(stored);
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect desk = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  const QRect reachable(QPoint(desk.left() - window.width() + 50, desk.top()),
                        QPoint(desk.right() - 50, desk.bottom() - 50));
  if (!reachable.contains(corner)) corner = toScreen(QPoint(0, 0));
  window.move(corner);
}

void SaveWindowPosition(const QWidget& window, const std::string& name) {
  const QWidget* parent = window.parentWidget();
  const QPoint corner = parent ? parent->mapFromGlobal(window.frameGeometry().topLeft()) : window.frameGeometry().topLeft();
  auto& profile = platform::profile();
  profile.writeInt("Wnd_Pos", name + "_left", corner.x());
  profile.writeInt("Wnd_Pos", name + "_top", corner.y());
}

}  // namespace trek
