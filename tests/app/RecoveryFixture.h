#pragma once
// Helpers for the recovery tests: a clock moved by hand, a group list forwarding its changes to a
// recovery manager as the document does, and trek items.
#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/RecoveryManager.h"
#include "trek/CTrekGroupList.h"

namespace recoverytest {

class CFakeClock : public IRecoveryClock {
 public:
  std::int64_t nowMs() override { return m_now; }
  std::int64_t wallMs() override { return 1'765'000'000'000 + m_now; }
  void wakeIn(std::int64_t delayMs, std::function<void()> wake) override {
    if (delayMs < 0) {
      m_wakeAt.reset();
      return;
    }
    m_wakeAt = m_now + delayMs;
    m_wake = std::move(wake);
  }
  /// Moves the time on, running each wake-up at its time.
  void advance(std::int64_t ms) {
    const std::int64_t target = m_now + ms;
    while (m_wakeAt && *m_wakeAt <= target) {
      m_now = *m_wakeAt;
      m_wakeAt.reset();
      const auto wake = m_wake;
      wake();
    }
    m_now = target;
  }
  [[nodiscard]] std::optional<std::int64_t> wakeAt() const { return m_wakeAt; }

 private:
  std::int64_t m_now = 0;
  std::optional<std::int64_t> m_wakeAt;
  std::function<void()> m_wake;
};

/// One program instance: its groups and its copies.
struct SInstance : ITrekGroupListener {
  explicit SInstance(const std::filesystem::path& folder, bool useFakeClock = true) {
    list.setListener(this);
    manager = std::make_unique<CRecoveryManager>(list, folder);
    if (useFakeClock) manager->setClock(&clock);
  }
  ~SInstance() override { list.setListener(nullptr); }
  void trekDataChanged() override {
    if (manager) manager->NoteChange();
  }
  void trekGroupSaved(const CTrekData&) override {
    if (manager) manager->NoteSaved();
  }
  /// Runs the clock on and lets the worker finish.
  void advance(std::int64_t ms) {
    clock.advance(ms);
    manager->WaitIdle();
  }

  CFakeClock clock;
  CTrekGroupList list;
  std::unique_ptr<CRecoveryManager> manager;
};

inline std::unique_ptr<CMarkerPoint> waypoint(const std::string& name, double latSeconds) {
  auto p = std::make_unique<CMarkerPoint>();
  p->name = name;
  p->comment = "comment";
  p->SetPosition(DmsAngle(35, 40, latSeconds), DmsAngle(139, 45, 0.5), Datum::Wgs84);
  return p;
}

inline std::unique_ptr<CTrackLog> trackLog(const std::string& name, int points) {
  auto log = std::make_unique<CTrackLog>();
  log->name = name;
  log->Points().reserve(static_cast<std::size_t>(points));
  for (int i = 0; i < points; ++i) {
    CTrackPoint p;
    p.number = i;
    p.altitude = 100.0 + i;
    p.time = TrekTime(1000000 + i * 10);
    p.SetPosition(DmsAngle(35, 41, (i % 3000) * 0.02), DmsAngle(139, 46, (i % 2000) * 0.03), Datum::Wgs84);
    log->AppendPoint(p);
  }
  return log;
}

}  // namespace recoverytest
