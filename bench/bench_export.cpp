// Map image export of a whole 1:25,000 sample sheet (4,582 x 3,746) against plain writers of the
// same bytes: PNG against libpng called directly with the same filter and level, BMP against one
// fwrite of the finished file. Read the results as ratios to the peer of the same run; the
// counters give the memory the export holds besides the sheet rendered at 100 %.
#include <benchmark/benchmark.h>
#include <png.h>

#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/AppSettings.h"
#include "display/ScaledSheetBitmap.h"
#include "display/TrekOverlay.h"
#include "output/CBgrImage.h"
#include "output/ImageWriter.h"
#include "output/MapImageExport.h"
#include "output/PrintableSheet.h"

namespace {

struct SSample {
  CPrintableSheet sheet;
  ScaledSheetBitmap bitmap;
  TrekOverlay overlay;
  CBgrImage picture;  // the sheet without overlays, as the writers get it
};

SSample& sample() {
  static SSample* s = [] {
    auto* out = new SSample;
    const std::filesystem::path dir = std::filesystem::path(VANTORIA_BINARY_DIR) / "sample";
    std::string why;
    if (!out->sheet.Open(dir / "map25000" / "index.csv", "543940", why)) {
      std::fprintf(stderr, "sample sheet missing (build vantoria_sample_data): %s\n", why.c_str());
      std::abort();
    }
    (void)out->sheet.AddTrekFile(dir / "treks" / "peaks.pmd");
    (void)out->sheet.AddTrekFile(dir / "treks" / "tracks.ptd");
    out->bitmap.setSource(&out->sheet.image());
    out->bitmap.Render(1.0, 1, ScaledSheetBitmap::EResample::Nearest);
    out->overlay.Rebuild(out->sheet.treks().Groups(), out->sheet.frame(), 1.0);
    const QRect whole(QPoint(0, 0), out->bitmap.Size());
    if (!map_export::RenderMapImage(out->bitmap.Surface(), whole, nullptr, 0, out->picture)) std::abort();
    return out;
  }();
  return *s;
}

const std::filesystem::path& outDir() {
  static QTemporaryDir dir;
  static const std::filesystem::path path = dir.path().toStdString();
  return path;
}

void bytesCounter(benchmark::State& state, const std::filesystem::path& file) {
  std::error_code ec;
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file, ec)) / 1e6;
}

// ---- PNG ----

void BM_WritePng(benchmark::State& state) {
  const CBgrImage& picture = sample().picture;
  const std::filesystem::path file = outDir() / "ours.png";
  for (auto _ : state) {
    if (!WritePng(file, picture, [](double) {})) state.SkipWithError("write failed");
  }
  bytesCounter(state, file);
}
BENCHMARK(BM_WritePng)->Unit(benchmark::kMillisecond)->UseRealTime();

// libpng straight to a C stream: 8-bit RGB, Sub on every row, default level, rows blue first.
void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}

bool libpngWrite(const char* path, const CBgrImage& picture, std::vector<png_bytep>& rows) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width()), static_cast<png_uint_32>(picture.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

void BM_PeerLibpng(benchmark::State& state) {
  const CBgrImage& picture = sample().picture;
  std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height()));
  for (int y = 0; y < picture.height(); ++y)
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(picture.scanLine(y));
  const std::filesystem::path file = outDir() / "peer.png";
  for (auto _ : state) {
    if (!libpngWrite(file.c_str(), picture, rows)) state.SkipWithError("write failed");
  }
  bytesCounter(state, file);
}
BENCHMARK(BM_PeerLibpng)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- BMP ----

void BM_WriteBmp(benchmark::State& state) {
  const CBgrImage& picture = sample().picture;
  const std::filesystem::path file = outDir() / "ours.bmp";
  for (auto _ : state) {
    if (!WriteBmp(file, picture, [](double) {})) state.SkipWithError("write failed");
  }
  bytesCounter(state, file);
}
BENCHMARK(BM_WriteBmp)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeerFwrite(benchmark::State& state) {
  const CBgrImage& picture = sample().picture;
  // The finished file, headers and rows, in one block.
  std::vector<std::uint8_t> bytes(54);
  bytes[0] = 'B';
  bytes[1] = 'M';
  bytes.insert(bytes.end(), picture.bits().begin(), picture.bits().end());
  const std::filesystem::path file = outDir() / "peer.bmp";
  for (auto _ : state) {
    FILE* f = std::fopen(file.c_str(), "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!f || std::fclose(f) != 0 || !ok) state.SkipWithError("write failed");
  }
  bytesCounter(state, file);
}
BENCHMARK(BM_PeerFwrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// What replacing a file whole costs by itself: the same block in one write through QSaveFile
// (a file beside the target, flushed to disk, renamed over it).
void BM_PeerSaveFileBlock(benchmark::State& state) {
  const CBgrImage& picture = sample().picture;
  std::vector<char> bytes(54);
  bytes.insert(bytes.end(), picture.bits().begin(), picture.bits().end());
  const QString file = QString::fromStdString((outDir() / "block.bmp").string());
  for (auto _ : state) {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) ||
        !out.commit())
      state.SkipWithError("write failed");
  }
}
BENCHMARK(BM_PeerSaveFileBlock)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the whole export: bands with every overlay, then the writer ----

void BM_ExportSheet(benchmark::State& state) {
  SSample& s = sample();
  const bool png = state.range(0) == 0;
  const std::int32_t options = static_cast<std::int32_t>(state.range(1));
  const QRect whole(QPoint(0, 0), s.bitmap.Size());
  const std::filesystem::path file = outDir() / (png ? "export.png" : "export.bmp");
  for (auto _ : state) {
    CBgrImage picture;
    if (!map_export::RenderMapImage(s.bitmap.Surface(), whole, options ? &s.overlay : nullptr, options, picture) ||
        !map_export::WriteMapImage(file, png ? ImageFormat::Png : ImageFormat::Bmp, picture, std::nullopt))
      state.SkipWithError("export failed");
  }
  // Held besides the 100 % sheet: one band surface (only with overlays) and the 24-bit picture.
  const double band = options ? 4.0 * whole.width() * std::min(map_export::kBandRows, whole.height()) : 0.0;
  state.counters["band_MB"] = band / 1e6;
  state.counters["picture_MB"] = static_cast<double>(CBgrImage::Stride(whole.width())) * whole.height() / 1e6;
  bytesCounter(state, file);
}
BENCHMARK(BM_ExportSheet)
    ->Args({0, 0})->Args({0, 15})->Args({1, 0})->Args({1, 15})
    ->ArgNames({"bmp", "options"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Labels need fonts: a GUI application on the offscreen platform.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
