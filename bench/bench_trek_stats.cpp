// Statistics of a 1,000,000-point track log against a plain loop that only sums the geodesic
// distances between its points (GeographicLib's Inverse, the same calls the statistics make).
// Read the time as a ratio to the peer; the target for the whole log is under 100 ms.
#include <benchmark/benchmark.h>

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <memory>

#include "trek/CTrackLog.h"
#include "trek/TrackStatistics.h"

namespace {

// A walk north-east from 35.5 N 139 E: a point every 5 s, about 6 m apart, climbing and falling
// over a few hundred metres with a metre of receiver noise, and a pause now and then.
const CTrackLog& walk() {
  static const std::unique_ptr<CTrackLog> log = [] {
    auto made = std::make_unique<CTrackLog>();
    CTrackLog& l = *made;
    l.Points().reserve(1'000'000);
    std::int32_t t = 1'100'000'000;
    for (int i = 0; i < 1'000'000; ++i) {
      CTrackPoint p;
      p.number = i;
      p.latitude = DmsAngle::FromDegrees(35.5 + i * 4.0e-5 + 1.0e-5 * std::sin(i * 0.01));
      p.longitude = DmsAngle::FromDegrees(139.0 + i * 3.0e-5);
      p.altitude = 800.0 + 300.0 * std::sin(i * 1.0e-3) + static_cast<double>((std::int64_t{i} * 7919) % 13) / 6.0 - 1.0;
      t += (i % 5000 == 0) ? 900 : 5;
      p.time = TrekTime(t);
      l.AppendPoint(p);
    }
    return made;
  }();
  return *log;
}

void BM_TrackStatistics(benchmark::State& state) {
  const CTrackLog& log = walk();
  for (auto _ : state) {
    const trek::STrackStatistics st = trek::computeTrackStatistics(log);
    benchmark::DoNotOptimize(st.lengthMetres);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(log.Points().size()));
}
BENCHMARK(BM_TrackStatistics)->Unit(benchmark::kMillisecond);

void BM_PeerGeodesicSum(benchmark::State& state) {
  const CTrackLog& log = walk();
  const auto& pts = log.Points();
  const auto& g = GeographicLib::Geodesic::WGS84();
  for (auto _ : state) {
    double sum = 0.0;
    for (std::size_t i = 1; i < pts.size(); ++i) {
      double s12 = 0.0;
      g.Inverse(pts[i - 1].latitude.ToDegrees(), pts[i - 1].longitude.ToDegrees(), pts[i].latitude.ToDegrees(),
                pts[i].longitude.ToDegrees(), s12);
      sum += s12;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pts.size()));
}
BENCHMARK(BM_PeerGeodesicSum)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
