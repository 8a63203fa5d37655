// The map canvas against the image library's own scaling and drawing, on a generated
// 4,600 x 3,700 8-bit sheet. Read the results as ratios to the peer of the same row. The paint
// rows' `stream` is 0 for pictures written past the caches as this processor is set to, 1 for
// every picture from 4 MiB on, 2 for none. Random interleaving
// (--benchmark_enable_random_interleaving=true) spreads the machine's drift over all rows.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QThreadPool>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <vector>

#include "display/CMapCanvas.h"
#include "display/ScaledSheetBitmap.h"
#include "BenchKernels.h"
#include "display/SheetKernels.h"
#include "platform/SystemMemory.h"
#include "maps/SheetImage.h"

namespace {

constexpr int kWidth = 4600;
constexpr int kHeight = 3700;
constexpr double kQualityRatio = 0.37788;

// A sheet with map-like structure: mostly background, contour bands, roads, water and lettering.
SheetImage& sheet() {
  static SheetImage image = [] {
    SheetImage s;
    if (!CreatePackedBitmap(s, kWidth, kHeight, 8)) std::abort();
    std::uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* line = s.scanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        std::uint8_t v = 0;
        if (((x + y / 3) % 37) < 2) v |= 0x08;                // contours
        if (std::abs((x - 2 * y) % 211) < 3) v |= 0x20;        // roads
        if ((x / 97 + y / 89) % 5 == 0) v |= 0x02;             // water
        if ((x % 400) < 60 && (y % 300) < 20) v |= 0xC0;       // lettering with its background
        if ((seed >> 28) == 0) v |= 0x04;                      // scattered symbols
        line[x] = v;
      }
    }
    return s;
  }();
  return image;
}

// The peers' source: the recoloured sheet as RGB32 (made once, not measured).
const QImage& rgbSheet() {
  static QImage image = [] {
    ScaledSheetBitmap b;
    b.setSource(&sheet());
    b.Render(1.0, 1, ScaledSheetBitmap::EResample::Nearest);
    return b.Surface().copy();
  }();
  return image;
}

// CPU time of the whole process (every thread) per iteration: the peers spread some work over a
// thread pool, and on a busy machine wall time says little.
class CProcessCpu {
 public:
  explicit CProcessCpu(benchmark::State& state) : m_state(state), m_start(std::clock()) {}
  ~CProcessCpu() {
    if (m_state.iterations() == 0) return;
    m_state.counters["all_cpu_ms"] = 1000.0 * static_cast<double>(std::clock() - m_start) / CLOCKS_PER_SEC /
                                     static_cast<double>(m_state.iterations());
  }

 private:
  benchmark::State& m_state;
  std::clock_t m_start;
};

QSize scaledSize(double ratio) { return ScaledSheetBitmap::ScaledSize(kWidth, kHeight, ratio); }

// ---- quality render at the 1:25,000 scale on a 96 dpi screen ----

using bench::CKernels;
using bench::CStreaming;


void BM_QualityRender(benchmark::State& state) {
  static ScaledSheetBitmap bitmap;  // kept across runs as the view keeps it
  const CKernels kernels(state.range(1));
  bitmap.setSource(&sheet());
  bitmap.setThreadCount(static_cast<int>(state.range(0)));
  CProcessCpu cpu(state);
  for (auto _ : state) benchmark::DoNotOptimize(bitmap.Render(kQualityRatio, 1, ScaledSheetBitmap::EResample::AreaAverage));
}
void qualityArgs(benchmark::internal::Benchmark* b) {
  for (const std::int64_t k : bench::KernelsHere()) b->Args({1, k});
  b->Args({2, static_cast<std::int64_t>(sheetkernels::BestKernel())});
  b->ArgNames({"threads", "kernel"})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_QualityRender)->Apply(qualityArgs);

// The argument caps the library's global thread pool (it spreads smooth scaling over it).
void BM_PeerScaledSmooth(benchmark::State& state) {
  const QImage& src = rgbSheet();
  const QSize size = scaledSize(kQualityRatio);
  QThreadPool* pool = QThreadPool::globalInstance();
  const int saved = pool->maxThreadCount();
  pool->setMaxThreadCount(static_cast<int>(state.range(0)));
  {
    CProcessCpu cpu(state);
    for (auto _ : state) benchmark::DoNotOptimize(src.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  }
  pool->setMaxThreadCount(saved);
}
BENCHMARK(BM_PeerScaledSmooth)->Arg(1)->Arg(2)->ArgName("pool")->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- speed renders; the argument is the ratio in thousandths ----

void BM_SpeedRender(benchmark::State& state) {
  static ScaledSheetBitmap bitmap;
  const CKernels kernels(state.range(2));
  bitmap.setSource(&sheet());
  bitmap.setThreadCount(static_cast<int>(state.range(1)));
  const double ratio = static_cast<double>(state.range(0)) / 100000.0;
  CProcessCpu cpu(state);
  for (auto _ : state) benchmark::DoNotOptimize(bitmap.Render(ratio, 1, ScaledSheetBitmap::EResample::Nearest));
}

void BM_PeerScaledFast(benchmark::State& state) {
  const QImage& src = rgbSheet();
  const QSize size = scaledSize(static_cast<double>(state.range(0)) / 100000.0);
  CProcessCpu cpu(state);
  for (auto _ : state) benchmark::DoNotOptimize(src.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

void speedArgs(benchmark::internal::Benchmark* b) {
  const auto best = static_cast<std::int64_t>(sheetkernels::BestKernel());
  for (const long r : {10000L, 25000L, 37788L, 50000L, 75000L, 100000L}) {
    for (const std::int64_t k : bench::KernelsHere()) b->Args({r, 1, k});
    b->Args({r, 2, best});
  }
  b->ArgNames({"ratio_e5", "threads", "kernel"})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_SpeedRender)->Apply(speedArgs);
BENCHMARK(BM_PeerScaledFast)
    ->ArgName("ratio_e5")
    ->Arg(10000)->Arg(25000)->Arg(37788)->Arg(50000)->Arg(75000)->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- one paint of a 1,920 x 1,080 clip box; the argument is the ratio in tenths ----

void BM_Paint(benchmark::State& state) {
  const double ratio = static_cast<double>(state.range(0)) / 10.0;
  const CKernels kernels(state.range(1));
  const CStreaming streaming(state.range(2));
  static CMapCanvas canvas;
  canvas.setSheet(&sheet(), 1);
  canvas.render(ratio);
  canvas.Recreate(1920, 1080);
  QImage screen(1920, 1080, QImage::Format_RGB32);
  const QPoint origin(200, 300);  // scrolled into the sheet
  const QRect clip(origin, QSize(1920, 1080));
  QPainter painter(&screen);
  CProcessCpu cpu(state);
  for (auto _ : state) {
    canvas.PaintMap(painter, clip, origin);
    benchmark::ClobberMemory();
  }
}
void paintArgs(benchmark::internal::Benchmark* b) {
  for (const long r : {5L, 10L, 20L, 50L})
    for (const std::int64_t k : bench::KernelsHere())
      for (const std::int64_t stream : {0, 1, 2}) b->Args({r, k, stream});
  b->ArgNames({"ratio_e1", "kernel", "stream"})->Unit(benchmark::kMicrosecond)->UseRealTime();
}
BENCHMARK(BM_Paint)->Apply(paintArgs);

// The same stretch drawn straight onto the screen image by the painter.
void BM_PeerDrawImage(benchmark::State& state) {
  const double ratio = static_cast<double>(state.range(0)) / 10.0;
  const QImage& src = rgbSheet();
  QImage screen(1920, 1080, QImage::Format_RGB32);
  const QRectF source(200 / ratio, 300 / ratio, 1920 / ratio, 1080 / ratio);
  QPainter painter(&screen);
  CProcessCpu cpu(state);
  for (auto _ : state) {
    painter.drawImage(QRectF(0, 0, 1920, 1080), src, source);
    benchmark::ClobberMemory();
  }
}
// The floor of a paint at ratio <= 1: one unscaled copy of a viewport onto the screen image (a
// paint makes two: scaled copy to back buffer, back buffer to screen).
void BM_PeerViewportCopy(benchmark::State& state) {
  const QImage viewport = rgbSheet().copy(200, 300, 1920, 1080);
  QImage screen(1920, 1080, QImage::Format_RGB32);
  QPainter painter(&screen);
  CProcessCpu cpu(state);
  for (auto _ : state) {
    painter.drawImage(0, 0, viewport);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PeerViewportCopy)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK(BM_PeerDrawImage)->ArgName("ratio_e1")->Arg(20)->Arg(50)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  std::fprintf(stderr, "last-level cache %llu KiB: pictures from %lld KiB on are written past the caches\n",
               static_cast<unsigned long long>(platform::lastLevelCacheBytes() >> 10),
               static_cast<long long>(sheetkernels::StreamBytes() >> 10));
  benchmark::Initialize(&argc, argv);
  sheet();
  rgbSheet();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
