// The user-interface thread's longest pause while the recovery copy of a 1,000,000-point track
// log is written (target: under 16 ms), against the peers of saving the same group on that
// thread and of a plain copy of the log there, in the same run. The reported time is the mean of
// each copy's longest pause (manual time); `copy_ms` is how long the copy took to reach the disk.
// The copy's turns are budgeted at 4 ms of work: on a loaded machine a turn's wall time is longer.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "app/RecoveryManager.h"
#include "platform/FileLookup.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"

namespace {

constexpr int kPoints = 1000000;

class CManualClock : public IRecoveryClock {
 public:
  std::int64_t nowMs() override { return m_now; }
  std::int64_t wallMs() override { return 1'765'000'000'000 + m_now; }
  void wakeIn(std::int64_t delayMs, std::function<void()> wake) override {
    m_due = delayMs < 0 ? -1 : m_now + delayMs;
    m_wake = std::move(wake);
  }
  /// Moves to the wake-up time; false when none is asked.
  bool runDue() {
    if (m_due < 0) return false;
    m_now = m_due;
    m_due = -1;
    m_wake();
    return true;
  }
  std::int64_t m_now = 0;
  std::int64_t m_due = -1;
  std::function<void()> m_wake;
};

struct SFixture {
  QTemporaryDir dir;
  std::filesystem::path root;
  CTrekGroupList list;
  SFixture() {
    root = platform::pathFromUtf8(dir.path().toStdString());
    auto g = std::make_unique<CTrekData>();
    g->SetKind(CTrekData::kTrackLogGroup);
    g->SetGroupName("Long");
    g->SetFilePath(platform::pathToUtf8(root / "long.ptd"));
    g->SetModified(1);
    auto log = std::make_unique<CTrackLog>();
    log->name = "day";
    log->Points().resize(kPoints);
    for (int i = 0; i < kPoints; ++i) {
      CTrackPoint& p = log->Points()[std::size_t(i)];
      p.number = i;
      p.altitude = 500.0 + (i % 1000) * 0.5;
      p.time = TrekTime(1000000 + i);
      p.SetPosition(DmsAngle(35, 40, (i % 3600) * 0.01), DmsAngle(139, 45, (i % 2400) * 0.02), Datum::Wgs84);
    }
    g->AppendTrackLog(std::move(log));
    list.AppendGroup(std::move(g));
  }
  CTrekData& group() { return *list.Group(0); }
};

SFixture& fixture() {
  static SFixture f;
  return f;
}

/// One copy: the timer's pass and every outcome handled on this thread, each timed; returns the
/// longest of them (seconds) and the whole copy's time in `copyMs`.
double copyOnce(CRecoveryManager& manager, CManualClock& clock, SFixture& f, int round, double& copyMs) {
  // A change the copy must carry.
  f.group().TrackLogs()[0]->Points()[std::size_t(round % kPoints)].altitude += 1.0;
  manager.NoteChange();
  QElapsedTimer whole;
  whole.start();
  double longest = 0;
  const auto timed = [&longest](const std::function<void()>& slice) {
    const auto t0 = std::chrono::steady_clock::now();
    slice();
    longest = std::max(longest, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  };
  timed([&] { (void)clock.runDue(); });
  const int before = manager.CopiesWritten();
  // The event loop: the copy's turns and the worker's outcomes, each turn timed.
  while (manager.CopiesWritten() == before) {
    timed([&] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  copyMs = double(whole.nsecsElapsed()) / 1e6;
  return longest;
}

/// A manager of its own each round: the snapshot's memory is new every time (the first copy).
void BM_RecoveryFirstCopyUiPause(benchmark::State& state) {
  SFixture& f = fixture();
  double copyMs = 0;
  int round = 0;
  for (auto _ : state) {
    QTemporaryDir folder;
    CManualClock clock;
    CRecoveryManager manager(f.list, platform::pathFromUtf8(folder.path().toStdString()));
    manager.setClock(&clock);
    manager.Start();
    state.SetIterationTime(copyOnce(manager, clock, f, round++, copyMs));
    manager.Shutdown();
  }
  state.counters["copy_ms"] = copyMs;
}

/// One manager: later copies reuse the snapshot.
void BM_RecoveryLaterCopyUiPause(benchmark::State& state) {
  SFixture& f = fixture();
  QTemporaryDir folder;
  CManualClock clock;
  CRecoveryManager manager(f.list, platform::pathFromUtf8(folder.path().toStdString()));
  manager.setClock(&clock);
  manager.Start();
  double copyMs = 0;
  int round = 0;
  (void)copyOnce(manager, clock, f, round++, copyMs);
  for (auto _ : state) state.SetIterationTime(copyOnce(manager, clock, f, round++, copyMs));
  state.counters["copy_ms"] = copyMs;
  manager.Shutdown();
}

/// Peer: the same group saved on the user-interface thread (what a copy without the worker costs).
void BM_PeerSaveOnUiThread(benchmark::State& state) {
  SFixture& f = fixture();
  const std::filesystem::path out = f.root / "peer.ptd";
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(WriteTrekFileAtomic(out, f.group()).ok());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
}

/// Peer: a plain copy of the log on the user-interface thread into new memory.
void BM_PeerPlainCopyOnUiThread(benchmark::State& state) {
  SFixture& f = fixture();
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    CTrackLog copy(*f.group().TrackLogs()[0]);
    benchmark::DoNotOptimize(copy.Points().data());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
}

}  // namespace

// Interleaved: peers and ours in one run, as the measurements drift between runs.
BENCHMARK(BM_PeerSaveOnUiThread)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecoveryFirstCopyUiPause)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PeerPlainCopyOnUiThread)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RecoveryLaterCopyUiPause)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
