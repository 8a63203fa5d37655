// Reading and writing a track log file of 1,000,000 points against a plain fread/fwrite of the
// same bytes in the same run. Read the times as ratios to the peer; the memory counters give the
// largest heap in use during the operation over the size of the model it builds.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "platform/FileLookup.h"
#include "trek/CTrekData.h"
#include "trek/TrekFile.h"

// Heap accounting through the global allocation functions (sized deallocation keeps it exact).
namespace {
std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};

void* counted(std::size_t n) {
  void* p = std::malloc(n + 16);
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = n;
  const std::size_t now = g_inUse.fetch_add(n) + n;
  std::size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(p) + 16;
}
void uncounted(void* p) {
  if (p == nullptr) return;
  char* base = static_cast<char*>(p) - 16;
  g_inUse.fetch_sub(*reinterpret_cast<std::size_t*>(base));
  std::free(base);
}
}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }

namespace {

constexpr int kPoints = 1000000;

struct SFixture {
  QTemporaryDir dir;
  std::filesystem::path file;
  std::filesystem::path out;
  std::unique_ptr<CTrekData> group;
  std::string bytes;
  std::size_t modelBytes = 0;

  SFixture() {
    group = std::make_unique<CTrekData>();
    group->SetKind(CTrekData::kTrackLogGroup);
    group->SetGroupName("bench");
    auto log = std::make_unique<CTrackLog>();
    log->name = "one million";
    log->Points().reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
      CTrackPoint p;
      p.number = i;
      p.altitude = 500.0 + (i % 1000) * 0.1;
      p.latitude = DmsAngle::FromTotalSeconds(36 * 3600.0 + i * 0.001);
      p.longitude = DmsAngle::FromTotalSeconds(138 * 3600.0 + i * 0.0013);
      p.time = TrekTime(1057352400 + i);
      log->AppendPoint(p);
    }
    group->AppendTrackLog(std::move(log));
    modelBytes = sizeof(CTrekData) + sizeof(CTrackLog) + kPoints * sizeof(CTrackPoint);
    bytes = WriteTrekBytes(*group);
    file = std::filesystem::path(dir.path().toStdString()) / "million.ptd";
    out = std::filesystem::path(dir.path().toStdString()) / "written.ptd";
    std::FILE* f = std::fopen(file.string().c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
};

SFixture& fixture() {
  static SFixture f;
  return f;
}

void report(benchmark::State& state, std::size_t peakBytes) {
  const SFixture& f = fixture();
  state.counters["fileMB"] = static_cast<double>(f.bytes.size()) / 1e6;
  state.counters["modelMB"] = static_cast<double>(f.modelBytes) / 1e6;
  state.counters["peakMB"] = static_cast<double>(peakBytes) / 1e6;
  state.counters["peakOverModel"] = static_cast<double>(peakBytes) / static_cast<double>(f.modelBytes);
}

void BM_ReadTrekFile(benchmark::State& state) {
  SFixture& f = fixture();
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = g_inUse.load();
    g_peak.store(base);
    STrekReadResult r = ReadTrekFile(f.file);
    peak = std::max(peak, g_peak.load() - base);
    if (!r.ok() || r.group->TrackLogs()[0]->Points().size() != kPoints) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(r);
  }
  report(state, peak);
}

void BM_PeerFread(benchmark::State& state) {
  SFixture& f = fixture();
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = g_inUse.load();
    g_peak.store(base);
    std::FILE* in = std::fopen(f.file.string().c_str(), "rb");
    std::vector<char> buf(f.bytes.size());
    const std::size_t got = std::fread(buf.data(), 1, buf.size(), in);
    std::fclose(in);
    if (got != buf.size()) state.SkipWithError("fread failed");
    peak = std::max(peak, g_peak.load() - base);
    benchmark::DoNotOptimize(buf.data());
  }
  report(state, peak);
}

void BM_WriteTrekFile(benchmark::State& state) {
  SFixture& f = fixture();
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = g_inUse.load();
    g_peak.store(base);
    const STrekWriteResult r = WriteTrekFileAtomic(f.out, *f.group);
    peak = std::max(peak, g_peak.load() - base);
    if (!r.ok()) state.SkipWithError("write failed");
  }
  report(state, peak);
}

void BM_PeerFwrite(benchmark::State& state) {
  SFixture& f = fixture();
  for (auto _ : state) {
    std::FILE* o = std::fopen(f.out.string().c_str(), "wb");
    const std::size_t put = std::fwrite(f.bytes.data(), 1, f.bytes.size(), o);
    if (std::fclose(o) != 0 || put != f.bytes.size()) state.SkipWithError("fwrite failed");
  }
  report(state, 0);
}

}  // namespace

BENCHMARK(BM_PeerFread)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ReadTrekFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PeerFwrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WriteTrekFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
