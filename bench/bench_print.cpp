// Printing the whole sample sheet 543836 (4,587 x 3,746, 8-bit) at 1:25,000 on A4 at 600 dpi to
// PDF, with the sample trek data: 3 x 2 pages, the sheet rendered once per run. Peer in the same
// run: rendering the sheet alone at 100 % (the floor a print pays before its first page). Read the
// results as ratios. Counters: pages, the rendered copy's size and how much the process's peak
// resident memory (VmHWM) grew over the print runs.
//
// The seamless walk: a box of one sheet's size centred where four sample sheets meet (36N25',
// 138E52'30"), printed the same way through the mosaic renderer in bands, against the one-sheet
// print of as many pages (BM_PrintWalkToPdf / BM_PrintSheetToPdf; target 1.3x or less, and the
// extra peak memory under 1.5x). Each print's peak is measured from a reset of the high-water
// mark (/proc/self/clear_refs). /1: the four sheets already decoded in the renderer's cache, as
// the seamless view holds them (the one-sheet print's sheet is read before it too); /0: decoding
// them within the run (and the decoded sheets counted in its peak).
#include <benchmark/benchmark.h>

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "display/ScaledSheetBitmap.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"
#include "output/PlanePrint.h"
#include "output/PrintRun.h"
#include "output/PrintableSheet.h"

namespace {

std::filesystem::path sample() { return std::filesystem::path(VANTORIA_BINARY_DIR) / "sample"; }

double peakResidentMiB();
double g_loadedPeakMiB = 0;  ///< peak after the sheet was read, before any print

CPrintableSheet& sheet() {
  static CPrintableSheet* s = [] {
    auto* out = new CPrintableSheet;
    std::string why;
    if (!out->Open(sample() / "map25000" / "index.csv", "543836", why)) {
      std::fprintf(stderr, "bench_print: %s; build vantoria_sample_data first\n", why.c_str());
      std::exit(1);
    }
    (void)out->AddTrekFile(sample() / "treks" / "peaks.pmd");
    (void)out->AddTrekFile(sample() / "treks" / "tracks.ptd");
    g_loadedPeakMiB = peakResidentMiB();
    return out;
  }();
  return *s;
}

/// Peak resident memory of the process so far, in MiB (0 where the kernel does not tell).
double peakResidentMiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
  }
  return 0;
}

/// Resident memory now, in MiB; the high-water mark starts again from it.
double resetPeakMiB() {
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
  }
  return 0;
}

void BM_PrintSheetToPdf(benchmark::State& state) {
  const double before = resetPeakMiB();
  QTemporaryDir dir;
  CPrintableSheet& s = sheet();
  const SPrintSheet printSheet = s.PrintSheet(SMapRenderSettings{});
  print::SPdfTarget target;
  target.path = std::filesystem::path(dir.filePath(QStringLiteral("sheet.pdf")).toStdString());
  target.dpi = 600;
  int pages = 0;
  std::int64_t rendered = 0;
  for (auto _ : state) {
    PrintInfo info;
    info.magnificationMode = print::EMagnificationMode::Specified;
    info.magnification = -25000;
    info.options = print::kOptAll;
    const print::SPdfReport report = print::PrintToPdf(printSheet, info, target);
    if (!report.ok) state.SkipWithError(report.error.c_str());
    pages = report.run.pagesPrinted;
    rendered = report.renderedBytes;
  }
  state.counters["pages"] = pages;
  state.counters["renderedMiB"] = double(rendered) / (1024.0 * 1024.0);
  // The print runs first in this program: the growth of the peak is what printing added.
  state.counters["extraPeakMiB"] = peakResidentMiB() - g_loadedPeakMiB;
  state.counters["runPeakMiB"] = peakResidentMiB() - before;
  state.counters["pdfMiB"] = double(std::filesystem::file_size(target.path)) / (1024.0 * 1024.0);
}
BENCHMARK(BM_PrintSheetToPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

/// The sample map folder as the seamless view holds it: the sheets decoded in the renderer's
/// cache, as they are while the view shows them (the one-sheet print has its sheet read too).
struct SWalkMap {
  mosaic::CMapCollection collection;
  mosaic::CMosaicRenderer renderer;
  print::SPlaneSource source;
};
SWalkMap* walkMap(bool warm) {
  static SWalkMap* m = [] {
    auto* out = new SWalkMap;
    if (!out->collection.AddFolder(sample() / "map25000")) return static_cast<SWalkMap*>(nullptr);
    out->renderer.setRenderSettings(SMapRenderSettings{});
    out->renderer.setSeries(out->collection.sheets(MapSeries::Scale25000), out->collection.plane(MapSeries::Scale25000));
    out->source.renderer = &out->renderer;
    out->source.plane = out->collection.plane(MapSeries::Scale25000);
    out->source.sheets = &out->collection.sheets(MapSeries::Scale25000);
    return out;
  }();
  if (m && !warm) m->renderer.cache().Clear();
  return m;
}

// state.range(0): 1 with the sheets already decoded (as in the view), 0 decoding them in the run.
void BM_PrintWalkToPdf(benchmark::State& state) {
  (void)sheet();  // the same trek files and process state as the one-sheet print
  const bool warm = state.range(0) != 0;
  SWalkMap* map = walkMap(warm);
  if (!map) {
    state.SkipWithError("no sample map data");
    return;
  }
  const print::SPlaneSource& source = map->source;
  const double north = 36 * 3600 + 25 * 60 + 150, south = north - 300;
  const double west = 138 * 3600 + 52 * 60 + 30 - 225, east = west + 450;
  const SheetFrame frame = source.plane.Frame(1.0);
  SPrintSheet printSheet;
  printSheet.plane = &source;
  printSheet.series = 1;
  printSheet.frame = &frame;
  printSheet.groups = &sheet().treks().Groups();
  printSheet.selection = print::PlaneAreaOf(source.plane, {north, south, west, east});
  QTemporaryDir dir;
  print::SPdfTarget target;
  target.path = std::filesystem::path(dir.filePath(QStringLiteral("walk.pdf")).toStdString());
  target.dpi = 600;
  if (warm) {
    // The four sheets read once, as the view has them.
    QImage probe(8, 8, QImage::Format_RGB32);
    const QRect area = printSheet.selection;
    for (const QPoint corner : {area.topLeft(), area.topRight(), area.bottomLeft(), area.bottomRight()})
      map->renderer.RenderNow(probe, QRect(corner, QSize(8, 8)), corner, 1.0);
  }
  const double before = resetPeakMiB();
  int pages = 0;
  std::size_t sheets = 0;
  std::int64_t band = 0;
  for (auto _ : state) {
    PrintInfo info;
    info.magnificationMode = print::EMagnificationMode::Specified;
    info.magnification = -25000;
    info.options = print::kOptAll;
    info.printSelection = true;
    const print::SPdfReport report = print::PrintToPdf(printSheet, info, target);
    if (!report.ok) state.SkipWithError(report.error.c_str());
    pages = report.run.pagesPrinted;
    sheets = report.sheets.size();
    band = report.renderedBytes;
    if (!warm) map->renderer.cache().Clear();
  }
  state.counters["pages"] = pages;
  state.counters["sheets"] = static_cast<double>(sheets);
  state.counters["bandMiB"] = double(band) / (1024.0 * 1024.0);
  state.counters["runPeakMiB"] = peakResidentMiB() - before;
  state.counters["pdfMiB"] = double(std::filesystem::file_size(target.path)) / (1024.0 * 1024.0);
}
BENCHMARK(BM_PrintWalkToPdf)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeerRenderSheet(benchmark::State& state) {
  ScaledSheetBitmap bitmap;
  bitmap.setSource(&sheet().image());
  for (auto _ : state) benchmark::DoNotOptimize(bitmap.Render(1.0, 1));
}
BENCHMARK(BM_PeerRenderSheet)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  print::InstallPrintFontSubstitutes();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
