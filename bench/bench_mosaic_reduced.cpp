// Building a sheet's reduced copies (1/8 and 1/64) against a plain copy of the sheet's rows
// measured in the same run: BM_ReducedRatio reports build / copy from interleaved runs.
// A generated 4,600 x 3,700 sheet, 8-bit with map-like content or noise, or 24-bit noise.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "display/MapColourScheme.h"
#include "maps/SheetImage.h"
#include "mosaic/ReducedCopy.h"

namespace {

constexpr int kWidth = 4600;
constexpr int kHeight = 3700;

enum EContent { kMapLike = 0, kNoise = 1, kNoise24 = 2 };

const SheetImage& sheet(int content) {
  static SheetImage sheets[3];
  SheetImage& s = sheets[content];
  if (!s.isNull()) return s;
  if (!CreatePackedBitmap(s, kWidth, kHeight, content == kNoise24 ? 24 : 8)) return s;
  std::mt19937 rng(5);
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = s.scanLine(y);
    if (content != kMapLike) {
      for (int i = 0; i < s.stride(); ++i) row[i] = static_cast<std::uint8_t>(rng());
      continue;
    }
    // Flat ground, contour lines, roads and water, as the sheets have them.
    double prev = 0;
    for (int x = 0; x < kWidth; ++x) {
      const double h = 40 * std::sin(x * 0.0021) + 35 * std::cos(y * 0.0027) + 20 * std::sin((x + 2 * y) * 0.0013);
      std::uint8_t v = 0;
      if (x > 0 && std::floor(h / 2.5) != std::floor(prev / 2.5)) v |= 1;
      if (h < -60) v |= 4;
      if ((x + y / 3) % 700 < 4 || (y + x / 5) % 900 < 5) v |= 16;
      prev = h;
      row[x] = v;
    }
  }
  return s;
}

std::vector<std::uint8_t> colourTable() {
  std::vector<std::uint8_t> table(1024);
  BuildLayerPalette(MapColourScheme{}, 1, table);
  return table;
}

void peerRowCopy(const SheetImage& s, std::vector<std::uint8_t>& buffer) {
  const std::size_t bytes = static_cast<std::size_t>(s.stride()) * static_cast<std::size_t>(s.height());
  std::memcpy(buffer.data(), s.bits(), bytes);
  benchmark::DoNotOptimize(buffer.data());
  benchmark::ClobberMemory();
}

std::vector<std::uint8_t> rowBuffer(const SheetImage& s) {
  // Touched once here, so the copy measures bandwidth and not fresh pages.
  return std::vector<std::uint8_t>(static_cast<std::size_t>(s.stride()) * static_cast<std::size_t>(s.height()), 1);
}

void BM_BuildReducedCopies(benchmark::State& state) {
  const SheetImage& s = sheet(static_cast<int>(state.range(0)));
  const std::vector<std::uint8_t> table = colourTable();
  for (auto _ : state) {
    const mosaic::SReducedCopies copies = mosaic::BuildReducedCopies(s, table);
    if (copies.eighth.isNull()) state.SkipWithError("no copies");
    benchmark::DoNotOptimize(copies.eighth.constBits());
  }
}
BENCHMARK(BM_BuildReducedCopies)->Arg(kMapLike)->Arg(kNoise)->Arg(kNoise24)->ArgName("content")->Unit(benchmark::kMillisecond);

void BM_PeerRowCopy(benchmark::State& state) {
  const SheetImage& s = sheet(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> buffer = rowBuffer(s);
  for (auto _ : state) peerRowCopy(s, buffer);
}
BENCHMARK(BM_PeerRowCopy)->Arg(kMapLike)->Arg(kNoise24)->ArgName("content")->Unit(benchmark::kMillisecond);

// Both in turn within each iteration, so drift hits both alike; "ratio" is build / copy.
void BM_ReducedRatio(benchmark::State& state) {
  using clock = std::chrono::steady_clock;
  const SheetImage& s = sheet(static_cast<int>(state.range(0)));
  const std::vector<std::uint8_t> table = colourTable();
  std::vector<std::uint8_t> buffer = rowBuffer(s);
  double copy = 0, build = 0;
  for (auto _ : state) {
    const auto t0 = clock::now();
    peerRowCopy(s, buffer);
    const auto t1 = clock::now();
    const mosaic::SReducedCopies copies = mosaic::BuildReducedCopies(s, table);
    benchmark::DoNotOptimize(copies.eighth.constBits());
    const auto t2 = clock::now();
    copy += std::chrono::duration<double, std::milli>(t1 - t0).count();
    build += std::chrono::duration<double, std::milli>(t2 - t1).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["copy_ms"] = copy / n;
  state.counters["build_ms"] = build / n;
  state.counters["ratio"] = copy > 0 ? build / copy : 0;
}
BENCHMARK(BM_ReducedRatio)->Arg(kMapLike)->Arg(kNoise)->Arg(kNoise24)->ArgName("content")->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
