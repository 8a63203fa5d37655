#include "app/Resources.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "app/Commands.h"

static void initResources() {
  // The resource file is compiled into a static library, so it must be registered by hand.
  static const bool done = [] {
    Q_INIT_RESOURCE(vantoria);
    return true;
  }();
  (void)done;
}

namespace {

QPixmap renderSvg(const QString& path, int logicalSize, qreal dpr) {
  QSvgRenderer renderer(path);
  const int px = qRound(logicalSize * dpr);
  QPixmap pm(px, px);
  pm.fill(Qt::transparent);
  if (!renderer.isValid()) return pm;
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  renderer.render(&p);
  p.end();
  pm.setDevicePixelRatio(dpr);
  return pm;
}

QIcon iconFromSvg(const QString& path, int logicalSize) {
  initResources();
  QIcon icon;
  for (qreal dpr : {1.0, 2.0}) icon.addPixmap(renderSvg(path, logicalSize, dpr));
  return icon;
}

struct SCursorSource {
  int id;
  const char* file;
  int hotX, hotY;  // in the 32 x 32 design grid
};

constexpr SCursorSource kCursors[] = {
    {139, "cur139_hand_grab", 15, 16},  {140, "cur140_hand_open", 15, 16},
    {149, "cur149_trackpoint", 1, 1},   {178, "cur178_zoom_in", 12, 12},
    {179, "cur179_zoom_out", 12, 12},   {180, "cur180_zoom_rect", 8, 8},
    {189, "cur189_track", 1, 1},        {190, "cur190_waypoint", 1, 1},
};

}  // namespace

QCursor VantoriaCursor(int id) {
  qreal dpr = 1.0;
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) dpr = app->devicePixelRatio();
  return VantoriaCursor(id, dpr);
}

QCursor VantoriaCursor(int id, qreal devicePixelRatio) {
  initResources();
  for (const auto& c : kCursors) {
    if (c.id != id) continue;
    const qreal dpr = devicePixelRatio >= 1.5 ? 2.0 : 1.0;
    const QPixmap pm = renderSvg(QStringLiteral(":/vantoria/cursors/%1.svg").arg(QLatin1String(c.file)), 32, dpr);
    return QCursor(pm, c.hotX, c.hotY);
  }
  return QCursor(Qt::ArrowCursor);
}

QIcon VantoriaIcon(int commandId) {
  static const QHash<int, const char*> kFiles = {
      {cmd::OpenIndex, "open_index"},        {cmd::Print, "print"},
      {cmd::RangeSelect, "range_select"},    {cmd::ClearSelection, "clear_selection"},
      {cmd::OpenTrek, "open_trek"},          {cmd::AddWaypoint, "add_waypoint"},
      {cmd::EditWaypoint, "edit_waypoint"},  {cmd::DeleteWaypoint, "delete_waypoint"},
      {cmd::EditTrack, "edit_track"},        {cmd::DeleteTrack, "delete_track"},
      {cmd::ZoomIn, "zoom_in"},              {cmd::ZoomOut, "zoom_out"},
      {cmd::ZoomRect, "zoom_rect"},          {cmd::ShowWaypoints, "show_waypoints"},
      {cmd::ShowTracks, "show_tracks"},      {cmd::WideView, "wide_view"},
      {cmd::Undo, "undo"},                   {cmd::Redo, "redo"},
      {cmd::Seamless, "seamless"},           {cmd::OpenMapFolder, "open_folder"},
  };
  const auto it = kFiles.find(commandId);
  if (it == kFiles.end()) return {};
  return iconFromSvg(QStringLiteral(":/vantoria/icons/%1.svg").arg(QLatin1String(it.value())), 16);
}

QIcon VantoriaAppIcon() {
  initResources();
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(renderSvg(QStringLiteral(":/vantoria/icons/app.svg"), size, 1.0));
  return icon;
}
