// The trek overlay with a 200,000-point track log recorded on one 4,600 x 3,700 pixel sheet:
// rebuilding the cache against the bare position conversion it cannot avoid, and hovering
// (one hit test per mouse move, the selected track's points included) against scanning every
// segment. Read the results as ratios to the peer of the same row.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "display/TrekHitArea.h"
#include "display/TrekOverlay.h"
#include "geodesy/SheetFrame.h"
#include "trek/CTrekData.h"

namespace {

constexpr int kWidth = 4600;
constexpr int kHeight = 3700;
constexpr int kPoints = 200000;

const SheetFrame& frame() {
  static const SheetFrame f = [] {
    SheetFrame s;
    s.Setup(DmsAngle(35, 40, 0), DmsAngle(139, 0, 0), DmsAngle(35, 35, 0), DmsAngle(139, 7, 30), 0, 0, kWidth,
            kHeight, 1.0, 1.0, Datum::Tokyo);
    return s;
  }();
  return f;
}

// A walk like a day's recording: small steps with a slowly turning heading, kept on the sheet,
// crossing its own path many times.
const CTrekGroupList::GroupList& groups() {
  static const CTrekGroupList::GroupList list = [] {
    CTrekGroupList::GroupList g;
    auto group = std::make_unique<CTrekData>();
    group->SetKind(CTrekData::kTrackLogGroup);
    auto log = std::make_unique<CTrackLog>();
    log->name = "walk";
    log->Points().reserve(kPoints);
    std::mt19937 rng(4242);
    std::normal_distribution<double> turn(0.0, 0.25);
    std::uniform_real_distribution<double> step(0.5, 3.0);
    double x = kWidth / 2.0, y = kHeight / 2.0, heading = 0.0;
    for (int i = 0; i < kPoints; ++i) {
      heading += turn(rng);
      x += step(rng) * std::cos(heading);
      y += step(rng) * std::sin(heading);
      if (x < 10 || x > kWidth - 10) {
        heading = std::numbers::pi - heading;
        x = std::clamp(x, 10.0, kWidth - 10.0);
      }
      if (y < 10 || y > kHeight - 10) {
        heading = -heading;
        y = std::clamp(y, 10.0, kHeight - 10.0);
      }
      const GeoPosition p = *frame().PixelToGeo(static_cast<int>(x), static_cast<int>(y), Datum::Wgs84);
      CTrackPoint tp;
      tp.SetPosition(p.latitude, p.longitude, Datum::Wgs84);
      tp.number = i;
      log->AppendPoint(tp);
    }
    group->AppendTrackLog(std::move(log));
    g.push_back(std::move(group));
    return g;
  }();
  return list;
}

const TrekOverlay& builtOverlay() {
  static const std::unique_ptr<TrekOverlay> overlay = [] {
    auto o = std::make_unique<TrekOverlay>();
    o->Rebuild(groups(), frame());
    return o;
  }();
  return *overlay;
}

// Mouse positions: half of them near the track (where boxes overlap most), half anywhere.
const std::vector<QPoint>& mousePath() {
  static const std::vector<QPoint> path = [] {
    std::vector<QPoint> p;
    std::mt19937 rng(77);
    const auto& points = builtOverlay().Track(0)->points;
    std::uniform_int_distribution<std::size_t> pick(0, points.size() - 1);
    std::uniform_int_distribution<int> jitter(-12, 12);
    std::uniform_int_distribution<int> anyX(0, kWidth - 1), anyY(0, kHeight - 1);
    for (int i = 0; i < 4096; ++i) {
      if (i % 2 == 0) {
        const TrackMark& m = points[pick(rng)];
        p.emplace_back(m.x + jitter(rng), m.y + jitter(rng));
      } else {
        p.emplace_back(anyX(rng), anyY(rng));
      }
    }
    return p;
  }();
  return path;
}

void BM_Rebuild(benchmark::State& state) {
  groups();
  TrekOverlay overlay;
  for (auto _ : state) {
    overlay.Rebuild(groups(), frame());
    benchmark::DoNotOptimize(overlay.TrackCount());
  }
  state.counters["points"] = static_cast<double>(overlay.Track(0)->points.size());
}

// Peer: the first-point test and one conversion per point into a kept buffer, nothing else.
void BM_PeerConvertOnly(benchmark::State& state) {
  const auto& points = groups()[0]->TrackLogs()[0]->Points();
  std::vector<TrackMark> out(points.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(frame().Contains(points[0].latitude, points[0].longitude, Datum::Wgs84));
    for (std::size_t k = 0; k < points.size(); ++k) {
      const auto px = frame().GeoToPixel(points[k].latitude, points[k].longitude, Datum::Wgs84);
      out[k] = {px->x, px->y};
    }
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_Hover(benchmark::State& state) {
  const TrekOverlay& overlay = builtOverlay();
  const auto& path = mousePath();
  const STrekHitOptions options{true, true, 0};
  std::size_t i = 0;
  int hits = 0;
  for (auto _ : state) {
    const STrekHit hit = overlay.HitTest(path[i++ % path.size()], options);
    hits += hit.kind != ETrekHitKind::None;
    benchmark::DoNotOptimize(hit);
  }
  state.counters["hit_share"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}

// Peer: every point's box, then every segment's quadrilateral (after a box check), in order.
void BM_PeerHoverScan(benchmark::State& state) {
  const auto& points = builtOverlay().Track(0)->points;
  const auto& path = mousePath();
  std::size_t i = 0;
  for (auto _ : state) {
    const QPoint p = path[i++ % path.size()];
    int found = -1;
    for (std::size_t k = 0; k < points.size() && found < 0; ++k)
      if (points[k].hitRect().contains(p)) found = static_cast<int>(k);
    bool onLine = false;
    for (std::size_t k = 0; found < 0 && !onLine && k + 1 < points.size(); ++k) {
      const TrackMark& a = points[k];
      const TrackMark& b = points[k + 1];
      if (p.x() < std::min(a.x, b.x) - 9 || p.x() > std::max(a.x, b.x) + 9 || p.y() < std::min(a.y, b.y) - 9 ||
          p.y() > std::max(a.y, b.y) + 9)
        continue;
      onLine = trek_overlay::QuadContains(trek_overlay::SegmentQuad({a.x, a.y}, {b.x, b.y}), p);
    }
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(onLine);
  }
}

// Painting the whole track zoomed out (the sheet at 35 % fills a 1,610 x 1,295 view) into an
// RGB32 back buffer, against one polyline of every point drawn with the same pen.
constexpr double kZoomedOut = 0.35;

const TrekOverlay& zoomedOutOverlay() {
  static const std::unique_ptr<TrekOverlay> overlay = [] {
    auto o = std::make_unique<TrekOverlay>();
    o->Rebuild(groups(), frame(), kZoomedOut);
    return o;
  }();
  return *overlay;
}

QImage& backBuffer() {
  static QImage image(static_cast<int>(kWidth * kZoomedOut), static_cast<int>(kHeight * kZoomedOut),
                      QImage::Format_RGB32);
  return image;
}

void BM_PaintTrackLines(benchmark::State& state) {
  const TrekOverlay& overlay = zoomedOutOverlay();
  QImage& image = backBuffer();
  for (auto _ : state) {
    QPainter painter(&image);
    overlay.DrawTrackLines(painter, image.size(), image.rect());
  }
}

void BM_PeerPaintPolyline(benchmark::State& state) {
  const auto& points = zoomedOutOverlay().Track(0)->points;
  QPolygon polygon;
  for (const TrackMark& m : points) polygon.append(QPoint(m.x, m.y));
  QImage& image = backBuffer();
  QPen pen(TrekOverlay::Colour(TrekOverlay::kTrackColour), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  for (auto _ : state) {
    QPainter painter(&image);
    painter.setPen(pen);
    painter.drawPolyline(polygon);
  }
}

}  // namespace

BENCHMARK(BM_PeerPaintPolyline)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintTrackLines)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PeerConvertOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PeerHoverScan)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Hover)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
