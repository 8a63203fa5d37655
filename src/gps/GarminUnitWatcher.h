#pragma once
// Keeps the list of mounted Garmin units up to date while a dialog shows it: the volumes are
// looked at every few seconds on a worker thread (an MTP folder may take seconds to answer), and
// `unitsChanged` tells when units came or went. The user-interface thread never waits for it.
#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "gps/GarminUnit.h"

namespace gps {

class CGarminUnitWatcher : public QObject {
  Q_OBJECT
 public:
  using Scan = std::function<std::vector<SGarminUnit>()>;
  /// `scan` lists the units (FindMountedGarminUnits when empty); it runs on a worker thread.
  explicit CGarminUnitWatcher(Scan scan = {}, QObject* parent = nullptr);
  ~CGarminUnitWatcher() override;

  /// Looks now and then every `intervalMs` (0: only now).
  void start(int intervalMs = 2000);
  void stop();
  /// The units of the last look that has finished.
  [[nodiscard]] const std::vector<SGarminUnit>& units() const { return m_units; }
  /// True once a look has finished.
  [[nodiscard]] bool ready() const { return m_ready; }
  /// Looks again now (a look that runs already is let finish first).
  void refresh();

 signals:
  /// The list differs from the previous one (the first finished look always signals).
  void unitsChanged();

 private:
  void finished(std::vector<SGarminUnit> units);

  Scan m_scan;
  QTimer m_timer;
  std::vector<SGarminUnit> m_units;
  bool m_ready = false;
  bool m_running = false;
  bool m_again = false;
  /// Shared with the workers: cleared when the watcher goes, so a late result is dropped.
  std::shared_ptr<std::atomic<bool>> m_alive;
};

/// The units compared by what the lists show (name, root, kind, model, read-only).
[[nodiscard]] bool SameUnits(const std::vector<SGarminUnit>& a, const std::vector<SGarminUnit>& b);

}  // namespace gps
