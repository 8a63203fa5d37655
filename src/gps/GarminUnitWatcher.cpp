#include "gps/GarminUnitWatcher.h"

#include <QMetaObject>
#include <QCoreApplication>
#include <QThreadPool>

namespace gps {

bool SameUnits(const std::vector<SGarminUnit>& a, const std::vector<SGarminUnit>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const SGarminUnit& x = a[i];
    const SGarminUnit& y = b[i];
    if (x.name != y.name || x.root != y.root || x.kind != y.kind || x.model != y.model || x.readOnly != y.readOnly)
      return false;
  }
  return true;
}

CGarminUnitWatcher::CGarminUnitWatcher(Scan scan, QObject* parent)
    : QObject(parent), m_scan(scan ? std::move(scan) : Scan(&FindMountedGarminUnits)),
      m_alive(std::make_shared<std::atomic<bool>>(true)) {
  connect(&m_timer, &QTimer::timeout, this, &CGarminUnitWatcher::refresh);
}

CGarminUnitWatcher::~CGarminUnitWatcher() { m_alive->store(false); }

void CGarminUnitWatcher::start(int intervalMs) {
  refresh();
  if (intervalMs > 0) m_timer.start(intervalMs);
}

void CGarminUnitWatcher::stop() { m_timer.stop(); }

void CGarminUnitWatcher::refresh() {
  if (m_running) {
    m_again = true;
    return;
  }
  m_running = true;
  // The result comes back through the application object, which outlives the watcher; the
  // flag, read on the user-interface thread only after the watcher's destructor could have run
  // there, tells whether the watcher is still there.
  CGarminUnitWatcher* self = this;
  auto alive = m_alive;
  Scan scan = m_scan;
  QThreadPool::globalInstance()->start([self, alive, scan] {
    std::vector<SGarminUnit> units = scan();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !alive->load()) return;
    QMetaObject::invokeMethod(
        app,
        [self, alive, units = std::move(units)]() mutable {
          if (alive->load()) self->finished(std::move(units));
        },
        Qt::QueuedConnection);
  });
}

void CGarminUnitWatcher::finished(std::vector<SGarminUnit> units) {
  m_running = false;
  const bool changed = !m_ready || !SameUnits(units, m_units);
  m_units = std::move(units);
  m_ready = true;
  if (changed) emit unitsChanged();
  if (m_again) {
    m_again = false;
    refresh();
  }
}

}  // namespace gps
