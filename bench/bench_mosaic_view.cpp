// The seamless map as the view uses it, each row beside a peer measured in the same run, so read
// the results as ratios:
//  1. BM_SeamlessPaint against BM_OneSheetPaint: one 1,920 x 1,080 paint while panning inside
//     what is cached, the seamless window across a sheet border (ratio in hundred-thousandths;
//     `stream` 0 writes past the caches as this processor is set to, 1 from 4 MiB on, 2 never).
//     Run with --benchmark_enable_random_interleaving=true so that drift falls on all rows alike.
//  2. BM_SeamlessJump against BM_PeerDecodeFourSheets: a jump to an uncached place at 1:25,000 on
//     a 96 dpi screen where the window touches 4 sheets, until the picture is complete; counters
//     give the longest user-interface call and the longest gap between its loop iterations.
//     BM_SeamlessJumpRenderNow is the renderer's synchronous path to the same picture (one decode
//     task a sheet), for comparison.
//  3. On a generated 10 x 10 collection at ratio 0.02: BM_CollectionRepaint once reduced copies
//     exist, and BM_BuildReducedCopies of all 100 sheets against BM_PeerDecodeCollection (100
//     decodes divided by the worker count).
//  4. BM_PanMemory: a pan over all 100 sheets at ratio 1 with a 512 MiB cache; peak resident
//     memory and the cache's peak as counters. The process's peak is reset before the pan where
//     the system allows it, but memory the earlier rows left mapped still counts: for the figure
//     of the pan alone run it in a process of its own, --benchmark_filter=BM_PanMemory.
// BM_PeerParallelism tells how many of the two cores the run really had (the machine is shared);
// all_cpu_ms counters give the CPU time of every thread beside the wall time.
// The 10 x 10 collection is generated once into /tmp/vantoria-bench-c10 (about 73 s, 48 MB) and
// reused while it is there.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "display/CMapCanvas.h"
#include "display/Magnification.h"
#include "display/ScaledSheetBitmap.h"
#include "BenchKernels.h"
#include "display/SheetKernels.h"
#include "platform/SystemMemory.h"
#include "maps/SheetImage.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"

using namespace mosaic;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr QSize kWindow(1920, 1080);
constexpr int kWorkers = 2;
constexpr MapSeries kSeries = MapSeries::Scale25000;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the whole process (every thread) per iteration, as a counter: beside the wall time
// it tells how busy the two cores were.
class CProcessCpu {
 public:
  explicit CProcessCpu(benchmark::State& state) : m_state(state), m_start(std::clock()) {}
  ~CProcessCpu() {
    if (m_state.iterations() == 0) return;
    m_state.counters["all_cpu_ms"] = 1000.0 * static_cast<double>(std::clock() - m_start) / CLOCKS_PER_SEC /
                                     static_cast<double>(m_state.iterations());
  }
  CProcessCpu(const CProcessCpu&) = delete;
  CProcessCpu& operator=(const CProcessCpu&) = delete;

 private:
  benchmark::State& m_state;
  std::clock_t m_start;
};

fs::path sampleDir() { return fs::path(VANTORIA_BINARY_DIR) / "sample"; }

// ---- collections ----

struct SCollection {
  CMapCollection collection;
  std::string error;  // why it could not be opened; empty when it is there
  [[nodiscard]] const std::vector<SCollectionSheet>& sheets() const { return collection.sheets(kSeries); }
  [[nodiscard]] const SMapPlane& plane() const { return collection.plane(kSeries); }
};

// The 3 x 3 sample sheets of 1:25,000.
SCollection& sample() {
  static SCollection s = [] {
    SCollection c;
    const fs::path folder = sampleDir() / "map25000";
    if (!c.collection.AddFolder(folder) || c.collection.sheets(kSeries).size() < 4)
      c.error = std::string("sample map data missing in ") + folder.string() + " (build vantoria_sample_data)";
    return c;
  }();
  return s;
}

// Generates the 10 x 10 collection unless it is there already. Empty, or why there is none.
std::string ensureLargeCollection(const fs::path& dir) {
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return {};
  fs::path tool = fs::path(VANTORIA_BINARY_DIR) / "tools" / "mapgen" / "vantoria-mapgen";
  if (!fs::exists(tool, ec)) tool += ".exe";
  if (!fs::exists(tool, ec)) return "the map generator is missing (build vantoria-mapgen): no 10 x 10 collection";
  // Written beside the final folder and renamed, so an interrupted run leaves nothing reused.
  fs::path partial = dir;
  partial += ".part";
  fs::remove_all(partial, ec);
  std::fprintf(stderr, "bench_mosaic_view: generating the 10 x 10 collection in %s (about a minute)\n",
               dir.string().c_str());
  QProcess gen;
  gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  gen.setStandardOutputFile(QProcess::nullDevice());
  gen.start(QString::fromStdString(tool.string()),
            {"--collection", "10x10", "--folders", "4", "--out", QString::fromStdString(partial.string())});
  if (!gen.waitForFinished(15 * 60 * 1000) || gen.exitStatus() != QProcess::NormalExit || gen.exitCode() != 0) {
    gen.kill();
    gen.waitForFinished();
    return "the map generator failed: no 10 x 10 collection";
  }
  fs::rename(partial, dir, ec);
  if (ec) return std::string("cannot move the generated collection to ") + dir.string() + ": " + ec.message();
  return {};
}

SCollection& largeCollection() {
  static SCollection s = [] {
    SCollection c;
    const fs::path dir = fs::temp_directory_path() / "vantoria-bench-c10";
    c.error = ensureLargeCollection(dir);
    if (c.error.empty() && (c.collection.AddTree(dir) == 0 || c.collection.sheets(kSeries).size() != 100))
      c.error = std::string("the collection in ") + dir.string() + " is not 10 x 10 sheets: remove it to have it made again";
    return c;
  }();
  return s;
}

// A window of `size` display pixels at `ratio` centred on the sheet corner nearest the middle of
// the plane, so that it crosses sheet borders.
QRect aroundCorner(const SCollection& c, double ratio, QSize size) {
  const SMapPlane& plane = c.plane();
  const double midX = plane.WidthAt(ratio) / 2.0, midY = plane.HeightAt(ratio) / 2.0;
  double bestX = midX, bestY = midY, best = -1;
  for (const SCollectionSheet& s : c.sheets()) {
    const double x = plane.ColumnOf(s.frame.west, ratio), y = plane.RowOf(s.frame.north, ratio);
    const double d = std::hypot(x - midX, y - midY);
    if (best < 0 || d < best) best = d, bestX = x, bestY = y;
  }
  return {static_cast<int>(bestX) - size.width() / 2, static_cast<int>(bestY) - size.height() / 2, size.width(),
          size.height()};
}

// Display pixels of the sheets' frames at `ratio` (the plane less its margin).
QRect sheetArea(const SCollection& c, double ratio) {
  QRect all;
  for (const SCollectionSheet& s : c.sheets()) {
    const SMapPlane& p = c.plane();
    const QRect r(QPoint(static_cast<int>(p.ColumnOf(s.frame.west, ratio)), static_cast<int>(p.RowOf(s.frame.north, ratio))),
                  QPoint(static_cast<int>(p.ColumnOf(s.frame.east, ratio)) - 1,
                         static_cast<int>(p.RowOf(s.frame.south, ratio)) - 1));
    all |= r;
  }
  return all;
}

// A renderer as the view sets one up (`decodeThreads` 0: as many as the processor has).
std::unique_ptr<CMosaicRenderer> makeRenderer(const SCollection& c, int decodeThreads = 0) {
  auto r = std::make_unique<CMosaicRenderer>();
  r->setThreadCount(kWorkers);
  r->setDecodeThreads(decodeThreads > 0 ? decodeThreads : std::max(1, QThread::idealThreadCount()));
  r->setSeries(c.sheets(), c.plane());
  return r;
}

// Composes until the picture is complete: a Compose that finds every tile rendered. The UI thread
// goes round a loop as an event loop would: processEvents, a Compose whenever tiles arrived, a
// millisecond's sleep.
struct SUiLoop {
  double elapsedMs = 0;  // first Compose to the complete picture
  double longestCallMs = 0;  // longest single Compose or processEvents
  double longestGapMs = 0;   // longest time from one loop iteration's start to the next's
  int composes = 0;
  bool complete = false;
};

SUiLoop composeUntilComplete(CMosaicRenderer& r, QImage& to, const QRect& box, double ratio, double timeoutMs = 120000) {
  SUiLoop loop;
  bool arrived = false;
  const QMetaObject::Connection c = QObject::connect(&r, &CMosaicRenderer::tilesReady, [&arrived] { arrived = true; });
  auto timed = [&loop](auto&& call) {
    const Clock::time_point t = Clock::now();
    call();
    loop.longestCallMs = std::max(loop.longestCallMs, msSince(t));
  };
  const Clock::time_point start = Clock::now();
  auto compose = [&] {
    timed([&] { r.Compose(to, box, box.topLeft(), ratio); });
    ++loop.composes;
    // Every tile was there when nothing was asked for.
    if (r.pendingTiles() == 0) loop.complete = true;
  };
  compose();
  Clock::time_point previous = Clock::now();
  while (!loop.complete && msSince(start) < timeoutMs) {
    const Clock::time_point now = Clock::now();
    loop.longestGapMs = std::max(loop.longestGapMs, std::chrono::duration<double, std::milli>(now - previous).count());
    previous = now;
    timed([] { QCoreApplication::processEvents(); });
    if (arrived) {
      arrived = false;
      compose();
    } else if (r.pendingTiles() == 0) {
      compose();  // the last arrival's signal may be on its way; asking again costs a copy
    }
    if (!loop.complete) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  loop.elapsedMs = msSince(start);
  QObject::disconnect(c);
  return loop;
}

// ---- the cores this run really had ----

// A fixed piece of arithmetic (about 10 ms on these machines).
std::uint64_t spin(std::uint64_t seed) {
  for (int i = 0; i < 20000000; ++i) seed = seed * 6364136223846793005ull + 1442695040888963407ull;
  return seed;
}

// The same work on one thread, then split over two: cores_available near 2 says both cores were
// free, near 1 that other work on the machine had one of them. The threaded rows' wall times
// against their one-thread peers read in that light.
void BM_PeerParallelism(benchmark::State& state) {
  double one = 0, two = 0;
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    benchmark::DoNotOptimize(spin(1));
    benchmark::DoNotOptimize(spin(2));
    one += msSince(start);
    start = Clock::now();
    std::uint64_t other = 0;
    std::thread helper([&other] { other = spin(2); });
    benchmark::DoNotOptimize(spin(1));
    helper.join();
    benchmark::DoNotOptimize(other);
    two += msSince(start);
  }
  state.counters["cores_available"] = two > 0 ? one / two : 0;
}
BENCHMARK(BM_PeerParallelism)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);

// ---- 1. paint while panning inside what is cached ----

constexpr int kPan = 48;  // pixels the origin swings either way

double ratioOf(const benchmark::State& state) { return static_cast<double>(state.range(0)) / 100000.0; }

// The origin of paint `i`: a back-and-forth pan around `base`, kept inside `room` (the scroll
// positions the map allows).
QPoint panOrigin(const QPoint& base, std::int64_t i, const QRect& room) {
  const int phase = static_cast<int>(i % (4 * kPan));
  const int d = phase < 2 * kPan ? phase - kPan : 3 * kPan - phase;
  return {std::clamp(base.x() + d, room.left(), std::max(room.left(), room.right())),
          std::clamp(base.y() + d / 2, room.top(), std::max(room.top(), room.bottom()))};
}

// Scroll positions of a window on a map of `map` pixels (0 along an axis where it fits).
QRect scrollRoom(const QSize& map) {
  return {0, 0, std::max(0, map.width() - kWindow.width()) + 1, std::max(0, map.height() - kWindow.height()) + 1};
}

using bench::CKernels;
using bench::CStreaming;

void BM_SeamlessPaint(benchmark::State& state) {
  SCollection& s = sample();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  const CKernels kernels(state.range(1));
  const CStreaming streaming(state.range(2));
  const double ratio = ratioOf(state);
  // A renderer of its own each run: nothing of it stays in memory for the rows after this one.
  const std::unique_ptr<CMosaicRenderer> renderer = makeRenderer(s);
  const QSize map(s.plane().WidthAt(ratio), s.plane().HeightAt(ratio));
  const QRect room = scrollRoom(map);
  const QRect window = aroundCorner(s, ratio, kWindow);
  const QPoint base(std::clamp(window.left(), room.left(), room.right()),
                    std::clamp(window.top(), room.top(), room.bottom()));
  // Everything the pan shows rendered first (the paint box is up to 2 pixels wider above 1).
  const QRect cached = QRect(base, kWindow).adjusted(-kPan - 8, -kPan - 8, kPan + 8, kPan + 8);
  QImage warm(cached.size(), QImage::Format_RGB32);
  if (!composeUntilComplete(*renderer, warm, cached, ratio).complete)
    return state.SkipWithError("the tiles of the pan were not rendered in time");
  CMapCanvas canvas;
  canvas.setComposer([&](QImage& to, const QRect& box, const QPoint& toOrigin,
                         double deviceRatio) { renderer->Compose(to, box, toOrigin, deviceRatio); },
                     ratio, map);
  canvas.Recreate(kWindow.width(), kWindow.height());
  QImage screen(kWindow, QImage::Format_RGB32);
  QPainter painter(&screen);
  const std::size_t entries = renderer->cache().count();
  std::int64_t i = 0;
  for (auto _ : state) {
    const QPoint origin = panOrigin(base, i++, room);
    canvas.PaintMap(painter, QRect(origin, kWindow), origin);
    benchmark::ClobberMemory();
  }
  // A tile asked for during the pan would be a new entry by now.
  renderer->WaitForIdle();
  QCoreApplication::processEvents();
  if (renderer->cache().count() != entries) state.SkipWithError("the pan left the cached tiles");
}

// The one-sheet view at the same ratio: the sheet copy rendered for it, painted the same way.
void BM_OneSheetPaint(benchmark::State& state) {
  SCollection& s = sample();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  const CKernels kernels(state.range(1));
  const CStreaming streaming(state.range(2));
  const double ratio = ratioOf(state);
  static SheetImage sheet;
  if (sheet.isNull()) {
    const QRect window = aroundCorner(s, 1.0, QSize(2, 2));
    const int index = s.collection.SheetAt(kSeries, s.plane().LatitudeAt(window.bottom() + 0.5, 1.0),
                                           s.plane().LongitudeAt(window.right() + 0.5, 1.0));
    if (index < 0 || !ReadSheetImage(s.sheets()[static_cast<std::size_t>(index)].image, sheet).ok())
      return state.SkipWithError("the sample sheet does not read");
  }
  CMapCanvas canvas;
  canvas.setSheet(&sheet, 1);
  canvas.render(ratio);
  canvas.Recreate(kWindow.width(), kWindow.height());
  const QRect room = scrollRoom(canvas.mapSize());
  const QPoint base((room.left() + room.right()) / 2, (room.top() + room.bottom()) / 2);
  QImage screen(kWindow, QImage::Format_RGB32);
  QPainter painter(&screen);
  std::int64_t i = 0;
  for (auto _ : state) {
    const QPoint origin = panOrigin(base, i++, room);
    canvas.PaintMap(painter, QRect(origin, kWindow), origin);
    benchmark::ClobberMemory();
  }
}

void paintRatios(benchmark::internal::Benchmark* b) {
  for (const long r : {10000L, 37788L, 100000L, 200000L})
    for (const std::int64_t k : bench::KernelsHere())
      for (const std::int64_t stream : {0, 1, 2}) b->Args({r, k, stream});
  b->ArgNames({"ratio_e5", "kernel", "stream"})->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_SeamlessPaint)->Apply(paintRatios);
BENCHMARK(BM_OneSheetPaint)->Apply(paintRatios);

// The floor of a paint at ratio <= 1: one unscaled copy of a window's pixels.
void BM_PeerViewportCopy(benchmark::State& state) {
  QImage viewport(kWindow, QImage::Format_RGB32);
  viewport.fill(0xFF808080u);
  QImage screen(kWindow, QImage::Format_RGB32);
  QPainter painter(&screen);
  for (auto _ : state) {
    painter.drawImage(0, 0, viewport);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PeerViewportCopy)->Unit(benchmark::kMicrosecond);

// ---- 2. a jump to an uncached place at 1:25,000 ----

double jumpRatio() { return MagnificationToRatio(-25000, 1, 96.0); }

// Sheets the jump's window touches.
std::vector<int> jumpSheets(const SCollection& s) {
  const double ratio = jumpRatio();
  return s.collection.SheetsIn(kSeries, BoxSeconds(s.plane(), ratio, aroundCorner(s, ratio, kWindow)));
}

void BM_SeamlessJump(benchmark::State& state) {
  SCollection& s = sample();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  if (jumpSheets(s).size() != 4) return state.SkipWithError("the jump's window does not touch 4 sheets");
  const double ratio = jumpRatio();
  const QRect window = aroundCorner(s, ratio, kWindow);
  QImage screen(kWindow, QImage::Format_RGB32);
  double longestCall = 0, longestGap = 0, composes = 0;
  const CProcessCpu cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    auto renderer = makeRenderer(s, static_cast<int>(state.range(0)));
    state.ResumeTiming();
    const SUiLoop loop = composeUntilComplete(*renderer, screen, window, ratio);
    if (!loop.complete) return state.SkipWithError("the picture was not complete in time");
    state.SetIterationTime(loop.elapsedMs / 1000.0);
    longestCall = std::max(longestCall, loop.longestCallMs);
    longestGap = std::max(longestGap, loop.longestGapMs);
    composes += loop.composes;
    state.PauseTiming();
    renderer.reset();
    state.ResumeTiming();
  }
  state.counters["ui_call_max_ms"] = longestCall;
  state.counters["ui_gap_max_ms"] = longestGap;
  state.counters["composes"] = benchmark::Counter(composes, benchmark::Counter::kAvgIterations);
}
// decode_threads 0 as the view sets it (the processor's count); 1 for comparison.
BENCHMARK(BM_SeamlessJump)
    ->Arg(0)->Arg(1)
    ->ArgName("decode_threads")
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The renderer's synchronous way to the same picture, for comparison: every sheet of the window
// decoded at once on the workers (one task a sheet), then one render on this thread.
void BM_SeamlessJumpRenderNow(benchmark::State& state) {
  SCollection& s = sample();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  const double ratio = jumpRatio();
  const QRect window = aroundCorner(s, ratio, kWindow);
  QImage screen(kWindow, QImage::Format_RGB32);
  const CProcessCpu cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    auto renderer = makeRenderer(s);
    state.ResumeTiming();
    const Clock::time_point start = Clock::now();
    renderer->RenderNow(screen, window, window.topLeft(), ratio);
    state.SetIterationTime(msSince(start) / 1000.0);
    state.PauseTiming();
    renderer.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SeamlessJumpRenderNow)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);

// The one-sheet way to the same pixels: the 4 sheets decoded one after the other, each rendered
// at the ratio. `fresh` 1 gives every decode and copy new memory as the renderer does (0: the
// buffers are reused, as the one-sheet view reuses them).
void BM_PeerDecodeFourSheets(benchmark::State& state) {
  SCollection& s = sample();
  if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
  const std::vector<int> sheets = jumpSheets(s);
  if (sheets.size() != 4) return state.SkipWithError("the jump's window does not touch 4 sheets");
  const bool fresh = state.range(0) != 0;
  const double ratio = jumpRatio();
  auto image = std::make_unique<SheetImage>();
  auto bitmap = std::make_unique<ScaledSheetBitmap>();
  const CProcessCpu cpu(state);
  for (auto _ : state) {
    for (const int i : sheets) {
      if (fresh) {
        image = std::make_unique<SheetImage>();
        bitmap = std::make_unique<ScaledSheetBitmap>();
      }
      if (!ReadSheetImage(s.sheets()[static_cast<std::size_t>(i)].image, *image).ok())
        return state.SkipWithError("a sample sheet does not read");
      bitmap->setSource(image.get());
      benchmark::DoNotOptimize(bitmap->Render(ratio, 1));
    }
  }
}
BENCHMARK(BM_PeerDecodeFourSheets)->Arg(0)->Arg(1)->ArgName("fresh")->Iterations(4)->UseRealTime()->Unit(benchmark::kMillisecond);

// ---- 3. the 10 x 10 collection at ratio 0.02 ----

constexpr double kOverviewRatio = 0.02;

fs::path reducedFolder(const char* name) { return fs::temp_directory_path() / name; }

// A renderer whose reduced copies are all built (on disk in a folder kept between runs, and in
// its cache), with the overview's tiles rendered.
std::unique_ptr<CMosaicRenderer> overviewRenderer(std::string& error) {
  SCollection& c = largeCollection();
  if (!c.error.empty()) {
    error = c.error;
    return nullptr;
  }
  auto renderer = makeRenderer(c);
  renderer->setReducedFolder(reducedFolder("vantoria-bench-c10-reduced"));
  QImage screen(kWindow, QImage::Format_RGB32);
  if (!composeUntilComplete(*renderer, screen, QRect(QPoint(0, 0), kWindow), kOverviewRatio).complete) {
    error = "the overview was not complete in time";
    return nullptr;
  }
  return renderer;
}

// `from` 0: the tiles are rendered (a paint only copies them); 1: the reduced copies are in memory
// and the tiles are rendered again (the zoom changed to here); 2: a new renderer finds the reduced
// copies on disk (a new session).
void BM_CollectionRepaint(benchmark::State& state) {
  std::string error;
  const std::unique_ptr<CMosaicRenderer> owner = overviewRenderer(error);
  if (!owner) return state.SkipWithError(error.c_str());
  CMosaicRenderer* warm = owner.get();
  const QRect window(QPoint(0, 0), kWindow);  // the whole collection fits: no scrolling
  QImage screen(kWindow, QImage::Format_RGB32);
  const int from = static_cast<int>(state.range(0));
  double longestCall = 0;
  const CProcessCpu cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<CMosaicRenderer> fresh;
    CMosaicRenderer* r = warm;
    if (from == 1) warm->cache().RemovePrefix("t:");
    if (from == 2) {
      fresh = makeRenderer(largeCollection());
      fresh->setReducedFolder(reducedFolder("vantoria-bench-c10-reduced"));
      r = fresh.get();
    }
    state.ResumeTiming();
    const SUiLoop loop = composeUntilComplete(*r, screen, window, kOverviewRatio);
    if (!loop.complete) return state.SkipWithError("the overview was not complete in time");
    state.SetIterationTime(loop.elapsedMs / 1000.0);
    longestCall = std::max(longestCall, loop.longestCallMs);
    if (from == 2 && r->decodeCount() != 0) return state.SkipWithError("a sheet was decoded: the reduced copies are not on disk");
    state.PauseTiming();
    fresh.reset();
    state.ResumeTiming();
  }
  state.counters["ui_call_max_ms"] = longestCall;
}
BENCHMARK(BM_CollectionRepaint)->Arg(0)->Arg(1)->Arg(2)->ArgName("from")->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BuildReducedCopies(benchmark::State& state) {
  SCollection& c = largeCollection();
  if (!c.error.empty()) return state.SkipWithError(c.error.c_str());
  const fs::path folder = reducedFolder("vantoria-bench-c10-build");
  const QRect all(0, 0, c.plane().WidthAt(kOverviewRatio), c.plane().HeightAt(kOverviewRatio));
  QImage picture(all.size(), QImage::Format_RGB32);
  int decodes = 0;
  const CProcessCpu cpu(state);
  for (auto _ : state) {
    state.PauseTiming();
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
    auto r = makeRenderer(c);
    r->setReducedFolder(folder);
    state.ResumeTiming();
    const SUiLoop loop = composeUntilComplete(*r, picture, all, kOverviewRatio);
    if (!loop.complete) return state.SkipWithError("the reduced copies were not built in time");
    state.SetIterationTime(loop.elapsedMs / 1000.0);
    decodes = r->decodeCount();
    state.PauseTiming();
    r.reset();
    state.ResumeTiming();
  }
  state.counters["decodes"] = decodes;
}
BENCHMARK(BM_BuildReducedCopies)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// 100 decodes one after the other, the time divided by the renderer's worker count: what the
// decodes alone would take spread perfectly over the workers.
void BM_PeerDecodeCollection(benchmark::State& state) {
  SCollection& c = largeCollection();
  if (!c.error.empty()) return state.SkipWithError(c.error.c_str());
  SheetImage image;
  const CProcessCpu cpu(state);
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (const SCollectionSheet& s : c.sheets())
      if (!ReadSheetImage(s.image, image).ok()) return state.SkipWithError("a sheet of the collection does not read");
    state.SetIterationTime(msSince(start) / 1000.0 / kWorkers);
  }
  state.counters["workers"] = kWorkers;
}
BENCHMARK(BM_PeerDecodeCollection)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// ---- 4. memory of a pan over the whole collection ----

// A line of /proc/self/status in KiB ("VmHWM", "VmRSS"); 0 where there is none.
double statusKiB(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) != 0) continue;
    try {
      return std::stod(line.substr(field.size() + 1));
    } catch (...) {
      return 0;
    }
  }
  return 0;
}

// Starts the process's peak resident memory again from the present one where the system allows it.
bool resetPeakResident() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

constexpr std::size_t kPanBudget = std::size_t{512} << 20;
constexpr int kPanStep = 600;

void BM_PanMemory(benchmark::State& state) {
  SCollection& c = largeCollection();
  if (!c.error.empty()) return state.SkipWithError(c.error.c_str());
  const double ratio = 1.0;
  const QRect area = sheetArea(c, ratio);
  // Rows a window's height apart, so that every part of every sheet is shown once.
  std::vector<QRect> path;
  bool east = true;
  for (int y = area.top(); y < area.bottom(); y += kWindow.height()) {
    std::vector<QRect> row;
    for (int x = area.left(); x < area.right(); x += kPanStep) row.emplace_back(QPoint(x, y), kWindow);
    if (!east) std::reverse(row.begin(), row.end());
    path.insert(path.end(), row.begin(), row.end());
    east = !east;
  }
  QImage screen(kWindow, QImage::Format_RGB32);
  double rssBefore = 0, cachePeak = 0, decodes = 0, longestCall = 0, reset = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto r = makeRenderer(c);
    r->setCacheBudget(kPanBudget);
    reset = resetPeakResident() ? 1 : 0;
    rssBefore = statusKiB("VmRSS");
    state.ResumeTiming();
    for (const QRect& window : path) {
      const SUiLoop loop = composeUntilComplete(*r, screen, window, ratio);
      if (!loop.complete) return state.SkipWithError("a window of the pan was not complete in time");
      longestCall = std::max(longestCall, loop.longestCallMs);
    }
    cachePeak = static_cast<double>(r->cache().peakBytes());
    decodes = r->decodeCount();
    state.PauseTiming();
    r.reset();
    state.ResumeTiming();
  }
  state.counters["rss_peak_mib"] = statusKiB("VmHWM") / 1024.0;
  state.counters["rss_before_mib"] = rssBefore / 1024.0;
  state.counters["peak_reset"] = reset;
  state.counters["cache_peak_mib"] = cachePeak / 1048576.0;
  state.counters["decodes"] = decodes;
  state.counters["windows"] = static_cast<double>(path.size());
  state.counters["ui_call_max_ms"] = longestCall;
}
BENCHMARK(BM_PanMemory)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  std::fprintf(stderr, "last-level cache %llu KiB: pictures from %lld KiB on are written past the caches\n",
               static_cast<unsigned long long>(platform::lastLevelCacheBytes() >> 10),
               static_cast<long long>(sheetkernels::StreamBytes() >> 10));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
