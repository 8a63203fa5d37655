// MBTiles of the whole 3 x 3 sample collection at zoom 15 on two threads: tiles per second of the
// export, against a peer in the same run, rounds interleaved (VANTORIA_BENCH_ROUNDS, default 2);
// read the results as ratios, printed at the end over all rounds.
//
// The peer is the plain way to cut web tiles from a seamless map: for each tile it renders the
// full-resolution crop of the mosaic covering the tile's box (the plane at ratio 1, through the
// same renderer and its cache, so each sheet is decoded once per run as in the export), scales
// it to 256 x 256 with QImage::scaled(Smooth), encodes it with the same encoder and settings (PNG,
// or JPEG at the same quality; a tile without empty pixels as opaque) and writes it into the same
// MBTiles writer, in plan order, on a pool of two threads. It crops the Tokyo-datum box of the
// tile without the datum warp, which only spares it work. Rendering one full-resolution image of
// the nine sheets first would need about 1.4 GB and is not what either of them does.
//
// Peak memory: BM_OursPeakMemory runs one export in a child process of this program (started
// with --peak-child) and reports its VmHWM against the VmRSS it had before the export, next to
// the seamless map's cache budget, the bound being that budget plus 64 MiB.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <string>

#include "display/MapColourScheme.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"
#include "mosaic/SheetCache.h"
#include "tiles/TileEncode.h"
#include "tiles/TileExport.h"
#include "tiles/TileRender.h"
#include "tiles/TileWriters.h"

namespace {

constexpr int kZoom = 15;
constexpr int kThreads = 2;
constexpr int kJpegQuality = 85;

struct SSample {
  mosaic::CMapCollection collection;
  tiles::SExportPlan plan;
};

const SSample& sample() {
  static SSample* s = [] {
    auto* out = new SSample;
    const std::filesystem::path dir = std::filesystem::path(VANTORIA_BINARY_DIR) / "sample" / "collection";
    if (out->collection.AddTree(dir) == 0) {
      std::fprintf(stderr, "sample collection missing (build vantoria_sample_data): %s\n", dir.string().c_str());
      std::abort();
    }
    tiles::SExportArea area;
    area.box = tiles::CollectionBox(out->collection, MapSeries::Scale25000);
    tiles::SExportOptions o;
    o.minZoom = o.maxZoom = kZoom;
    out->plan = tiles::PlanExport(area, out->collection, MapSeries::Scale25000, o);
    if (!out->plan.error.empty()) std::abort();
    return out;
  }();
  return *s;
}

const std::filesystem::path& outDir() {
  static QTemporaryDir dir;
  static const std::filesystem::path path = dir.path().toStdString();
  return path;
}

tiles::SExportOptions exportOptions(bool jpeg) {
  tiles::SExportOptions o;
  o.minZoom = o.maxZoom = kZoom;
  o.image = jpeg ? tiles::EImageFormat::Jpeg : tiles::EImageFormat::Png;
  o.jpegQuality = kJpegQuality;
  o.threads = kThreads;
  o.name = "bench";
  return o;
}

std::map<std::string, double>& rates() {
  static std::map<std::string, double> r;
  return r;
}

double secondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// ---- ours ----

void oursRound(benchmark::State& state, bool jpeg) {
  const SSample& s = sample();
  const std::filesystem::path file = outDir() / (jpeg ? "ours-jpeg.mbtiles" : "ours.mbtiles");
  double seconds = 0;
  long long tiles = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const tiles::SExportResult r = tiles::RunExport(s.plan, s.collection, MapSeries::Scale25000, SMapRenderSettings{},
                                                    exportOptions(jpeg), file, true);
    const double t = secondsSince(start);
    if (!r.ok) state.SkipWithError(r.error.c_str());
    state.SetIterationTime(t);
    seconds += t;
    tiles += static_cast<long long>(s.plan.tiles.size());
  }
  state.counters["tiles_per_s"] = tiles / seconds;
  state.counters["tiles"] = static_cast<double>(s.plan.tiles.size());
  rates()[jpeg ? "ours jpeg" : "ours png"] += tiles / seconds;
}

// ---- the peer ----

std::string encodePeer(const QImage& image, bool jpeg) {
  return tiles::EncodeTile(image, jpeg ? tiles::EImageFormat::Jpeg : tiles::EImageFormat::Png, kJpegQuality);
}

void peerRound(benchmark::State& state, bool jpeg) {
  const SSample& s = sample();
  const std::filesystem::path file = outDir() / (jpeg ? "peer-jpeg.mbtiles" : "peer.mbtiles");
  const mosaic::SMapPlane& plane = s.collection.plane(MapSeries::Scale25000);
  double seconds = 0;
  long long tiles = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::error_code ec;
    std::filesystem::remove(file, ec);
    mosaic::CMosaicRenderer renderer;
    SMapRenderSettings settings;
    settings.dispQuality = 1;
    renderer.setRenderSettings(settings);
    renderer.setSeries(s.collection.sheets(MapSeries::Scale25000), plane);
    tiles::CMbtilesWriter db;
    if (!db.Open(file)) state.SkipWithError("cannot open the peer's file");
    QThreadPool pool;
    pool.setMaxThreadCount(kThreads);
    std::deque<std::pair<const tiles::SPlannedTile*, std::future<std::string>>> inFlight;
    const auto drain = [&] {
      auto [t, f] = std::move(inFlight.front());
      inFlight.pop_front();
      const std::string bytes = f.get();
      if (!bytes.empty() && !db.AddTile(t->zoom, t->x, t->y, bytes)) state.SkipWithError("peer write failed");
    };
    for (const tiles::SPlannedTile& t : s.plan.tiles) {
      auto promise = std::make_shared<std::promise<std::string>>();
      inFlight.emplace_back(&t, promise->get_future());
      pool.start([promise, &t, &renderer, &plane, jpeg] {
        // The full-resolution crop under the tile's box.
        const mosaic::SFrameSeconds f = tiles::TokyoBoxOf(t.box);
        const int left = static_cast<int>(std::floor(plane.ColumnOf(f.west, 1.0)));
        const int right = static_cast<int>(std::ceil(plane.ColumnOf(f.east, 1.0)));
        const int top = static_cast<int>(std::floor(plane.RowOf(f.north, 1.0)));
        const int bottom = static_cast<int>(std::ceil(plane.RowOf(f.south, 1.0)));
        const QRect area(left, top, std::max(1, right - left), std::max(1, bottom - top));
        QImage crop(area.size(), QImage::Format_RGB32);
        crop.fill(mosaic::kEmptyColour);
        renderer.RenderNow(crop, area, area.topLeft(), 1.0);
        QImage scaled = crop.scaled(tiles::kTileSize, tiles::kTileSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        // The export's rule: empty pixels transparent in PNG; a tile without any stays opaque.
        bool empty = false, any = false;
        for (int y = 0; y < scaled.height(); ++y) {
          auto* line = reinterpret_cast<std::uint32_t*>(scaled.scanLine(y));
          for (int x = 0; x < scaled.width(); ++x) {
            const bool e = (line[x] & 0xFFFFFFu) == (mosaic::kEmptyColour & 0xFFFFFFu);
            empty = empty || e;
            any = any || !e;
          }
        }
        if (!any) {
          promise->set_value({});
          return;
        }
        if (empty && !jpeg) {
          scaled = scaled.convertToFormat(QImage::Format_ARGB32);
          for (int y = 0; y < scaled.height(); ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(scaled.scanLine(y));
            for (int x = 0; x < scaled.width(); ++x)
              if ((line[x] & 0xFFFFFFu) == (mosaic::kEmptyColour & 0xFFFFFFu)) line[x] = 0;
          }
        }
        promise->set_value(encodePeer(scaled, jpeg));
      });
      while (static_cast<int>(inFlight.size()) > kThreads * 4) drain();
    }
    while (!inFlight.empty()) drain();
    pool.waitForDone();
    if (!db.Finish()) state.SkipWithError("peer finish failed");
    const double t = secondsSince(start);
    state.SetIterationTime(t);
    seconds += t;
    tiles += static_cast<long long>(s.plan.tiles.size());
  }
  state.counters["tiles_per_s"] = tiles / seconds;
  state.counters["tiles"] = static_cast<double>(s.plan.tiles.size());
  rates()[jpeg ? "peer jpeg" : "peer png"] += tiles / seconds;
}

// ---- peak memory, in a child process ----

double statusMiB(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024.0;
  return 0;
}

int peakChild() {
  const SSample& s = sample();
  const double before = statusMiB("VmRSS");
  const tiles::SExportResult r = tiles::RunExport(s.plan, s.collection, MapSeries::Scale25000, SMapRenderSettings{},
                                                  exportOptions(false), outDir() / "peak.mbtiles", true);
  mosaic::CMosaicRenderer probe;
  std::printf("%.1f %.1f %.1f %d\n", before, statusMiB("VmHWM"), static_cast<double>(probe.cacheBudget()) / 1048576.0,
              r.ok ? 1 : 0);
  return r.ok ? 0 : 1;
}

void BM_OursPeakMemory(benchmark::State& state) {
  double before = 0, peak = 0, budget = 0;
  for (auto _ : state) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak-child")});
    if (!child.waitForFinished(30 * 60 * 1000) || child.exitCode() != 0) {
      state.SkipWithError("the child export failed");
      break;
    }
    int ok = 0;
    if (std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %lf %d", &before, &peak, &budget, &ok) != 4 || !ok)
      state.SkipWithError("the child reported nothing");
  }
  state.counters["rss_before_mib"] = before;
  state.counters["rss_peak_mib"] = peak;
  state.counters["export_peak_mib"] = peak - before;
  state.counters["cache_budget_mib"] = budget;
  state.counters["bound_mib"] = budget + 64;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--peak-child") return peakChild();
  (void)sample();
  // Rounds interleaved: ours, the peer, ours, the peer... so that drift falls on both alike.
  const int rounds = std::max(1, qEnvironmentVariableIntValue("VANTORIA_BENCH_ROUNDS") > 0
                                     ? qEnvironmentVariableIntValue("VANTORIA_BENCH_ROUNDS")
                                     : 2);
  for (int round = 0; round < rounds; ++round)
    for (const bool jpeg : {false, true}) {
      const std::string suffix = std::string(jpeg ? "jpeg" : "png") + "/round:" + std::to_string(round);
      benchmark::RegisterBenchmark((std::string("BM_OursMbtiles/") += suffix).c_str(), [jpeg](benchmark::State& st) { oursRound(st, jpeg); })
          ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((std::string("BM_PeerCropScaled/") += suffix).c_str(), [jpeg](benchmark::State& st) { peerRound(st, jpeg); })
          ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
  benchmark::RegisterBenchmark("BM_OursPeakMemory", BM_OursPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* kind : {"png", "jpeg"}) {
    const double ours = rates()[std::string("ours ") + kind], peer = rates()[std::string("peer ") + kind];
    if (ours > 0 && peer > 0)
      std::fprintf(stderr, "%s: ours %.1f tiles/s, peer %.1f tiles/s over %d rounds: ratio %.2f\n", kind, ours / rounds,
                   peer / rounds, rounds, ours / peer);
  }
  return 0;
}
