// Printing the whole sample sheet 543836 (4,587 x 3,746, 8-bit) at 1:25,000 on A4 at 600 dpi to
// PDF, with the sample trek data: 3 x 2 pages, the sheet rendered once per run. Peer in the same
// run: rendering the sheet alone at 100 % (the floor a print pays before its first page). Read the
// results as ratios. Counters: pages, the rendered copy's size and how much the process's peak
// resident memory (VmHWM) grew over the print runs.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "display/ScaledSheetBitmap.h"
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

void BM_PrintSheetToPdf(benchmark::State& state) {
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
  state.counters["pdfMiB"] = double(std::filesystem::file_size(target.path)) / (1024.0 * 1024.0);
}
BENCHMARK(BM_PrintSheetToPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

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
