// The elevation profile of a 100,000-point track log as the profile window makes it when the log
// is selected (geodesic distances, plotted points, then thinned to 1,000 pixel columns) and when
// the window is resized or switched between distance and time (points and thinning only), against the least any plot of the whole log costs:
// copying every point into the list of chart points. Read the times as ratios to that peer.
#include <benchmark/benchmark.h>

#include <QList>
#include <QPointF>
#include <cmath>
#include <vector>

#include "trek/CTrackLog.h"
#include "trek/ElevationProfile.h"
#include "trek/TrackStatistics.h"

namespace {

constexpr int kPoints = 100'000;
constexpr int kColumns = 1'000;

// A walk north-east from 35.5 N 139 E, a point every 5 s, climbing and falling with a metre of
// receiver noise and a stretch without altitudes.
struct SWalk {
  std::vector<CTrackPoint> points;
  std::vector<double> distances;
};
const SWalk& walk() {
  static const SWalk w = [] {
    SWalk made;
    made.points.reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
      CTrackPoint p;
      p.number = i;
      p.latitude = DmsAngle::FromDegrees(35.5 + i * 4.0e-5);
      p.longitude = DmsAngle::FromDegrees(139.0 + i * 3.0e-5);
      p.altitude = (i / 1000) % 37 == 5 ? 1.0e25 : 800.0 + 300.0 * std::sin(i * 1.0e-3) + (i % 13) / 6.0;
      p.time = TrekTime(1'100'000'000 + 5 * i);
      made.points.push_back(p);
    }
    made.distances.resize(made.points.size());
    trek::cumulativeDistances(made.points, made.distances);
    return made;
  }();
  return w;
}

void BM_ProfileSelected(benchmark::State& state) {
  const SWalk& w = walk();
  std::vector<double> distances(w.points.size());
  for (auto _ : state) {
    // The geodesic distances are computed once per log, when it is selected or edited.
    trek::cumulativeDistances(w.points, distances);
    const trek::SElevationProfile p = trek::buildElevationProfile(w.points, distances, trek::EProfileAxis::Distance);
    auto drawn = trek::decimateProfile(p.points, p.xMin, p.xMax, kColumns);
    benchmark::DoNotOptimize(drawn.data());
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_ProfileSelected)->Unit(benchmark::kMillisecond);

void BM_ProfileRedrawn(benchmark::State& state) {
  const SWalk& w = walk();
  for (auto _ : state) {
    const trek::SElevationProfile p = trek::buildElevationProfile(w.points, w.distances, trek::EProfileAxis::Distance);
    auto drawn = trek::decimateProfile(p.points, p.xMin, p.xMax, kColumns);
    benchmark::DoNotOptimize(drawn.data());
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_ProfileRedrawn)->Unit(benchmark::kMillisecond);

// Peer: every point handed to the chart as it is.
void BM_PeerCopyAllPoints(benchmark::State& state) {
  const SWalk& w = walk();
  for (auto _ : state) {
    QList<QPointF> all;
    all.reserve(kPoints);
    for (std::size_t i = 0; i < w.points.size(); ++i) all.push_back(QPointF(w.distances[i], w.points[i].altitude));
    benchmark::DoNotOptimize(all.data());
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_PeerCopyAllPoints)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
