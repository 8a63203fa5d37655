// Map library speed, each against a floor measured in the same run:
//  - reading a 4,600 x 3,700 LZW palette sheet into the packed bitmap vs a bare libtiff loop that
//    only decodes the strips (Sheet/Ratio reports read/bare from interleaved runs);
//  - finding the sheet under a position in the last of 100 areas x 64 sheets vs reading the
//    catalogue file once.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "maps/SheetCatalogue.h"
#include "maps/SheetImage.h"
#include "platform/FileLookup.h"

namespace {

constexpr std::uint32_t kHeight = 3700;

QTemporaryDir& workDir() {
  static QTemporaryDir dir;
  return dir;
}

std::filesystem::path workPath(const char* name) { return std::filesystem::path(workDir().path().toStdString()) / name; }

// A palette sheet with map-like content: flat ground, contour lines, a few roads and water.
// 4,600 pixels make unpadded rows in one-row strips; 4,587 (as the generated sample sheets)
// need a pad byte and come in strips of 16 rows.
std::filesystem::path sheetPath(std::uint32_t kWidth) {
  static std::map<std::uint32_t, std::filesystem::path> made;
  if (made.count(kWidth)) return made[kWidth];
  return made[kWidth] = [kWidth] {
    const std::filesystem::path p = workPath(("sheet" + std::to_string(kWidth) + ".tif").c_str());
    TIFF* tif = TIFFOpen(p.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kWidth % 4 ? 16u : TIFFDefaultStripSize(tif, 0));
    std::vector<std::uint16_t> map(256);
    for (int i = 0; i < 256; ++i) map[i] = static_cast<std::uint16_t>(i * 257);
    TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    std::vector<std::uint8_t> line(kWidth);
    std::vector<double> prev(kWidth, 0.0);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      for (std::uint32_t x = 0; x < kWidth; ++x) {
        const double h = 40 * std::sin(x * 0.0021) + 35 * std::cos(y * 0.0027) + 20 * std::sin((x + 2 * y) * 0.0013);
        std::uint8_t v = 0;
        if (std::floor(h / 2.5) != std::floor((x ? prev[x - 1] : h) / 2.5)) v |= 1;  // contour
        if (h < -60) v |= 4;                                                            // water
        if ((x + y / 3) % 700 < 4 || (y + x / 5) % 900 < 5) v |= 16;                    // roads
        prev[x] = h;
        line[x] = v;
      }
      TIFFWriteScanline(tif, line.data(), y, 0);
    }
    TIFFClose(tif);
    return p;
  }();
}

// The floor: open, decode every strip into one reused buffer, close.
void bareStripLoop(const std::filesystem::path& path, std::vector<std::uint8_t>& buf) {
  TIFF* tif = TIFFOpen(path.c_str(), "rm");
  std::uint32_t h = 0, rps = 0;
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
  const tmsize_t line = TIFFScanlineSize(tif);
  if (buf.size() < static_cast<std::size_t>(TIFFStripSize(tif))) buf.resize(static_cast<std::size_t>(TIFFStripSize(tif)));
  for (std::uint32_t r = 0; r < h; r += rps) {
    const std::uint32_t n = std::min(rps, h - r);
    TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, r, 0), buf.data(), tmsize_t(n) * line);
  }
  TIFFClose(tif);
  benchmark::DoNotOptimize(buf.data());
}

void BM_SheetBareStripLoop(benchmark::State& state) {
  const auto path = sheetPath(static_cast<std::uint32_t>(state.range(0)));
  std::vector<std::uint8_t> buf;
  for (auto _ : state) bareStripLoop(path, buf);
}
BENCHMARK(BM_SheetBareStripLoop)->Arg(4600)->Arg(4587)->ArgName("width")->Unit(benchmark::kMillisecond);

void BM_ReadSheetImage(benchmark::State& state) {
  const auto path = sheetPath(static_cast<std::uint32_t>(state.range(0)));
  SheetImage image;
  for (auto _ : state) {
    if (!ReadSheetImage(path, image).ok()) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_ReadSheetImage)->Arg(4600)->Arg(4587)->ArgName("width")->Unit(benchmark::kMillisecond);

// Both in turn within each iteration, so drift hits both alike; "ratio" is read / bare.
void BM_SheetRatio(benchmark::State& state) {
  using clock = std::chrono::steady_clock;
  const auto path = sheetPath(static_cast<std::uint32_t>(state.range(0)));
  SheetImage image;
  std::vector<std::uint8_t> buf;
  double bare = 0, read = 0;
  for (auto _ : state) {
    const auto t0 = clock::now();
    bareStripLoop(path, buf);
    const auto t1 = clock::now();
    if (!ReadSheetImage(path, image).ok()) state.SkipWithError("read failed");
    const auto t2 = clock::now();
    bare += std::chrono::duration<double, std::milli>(t1 - t0).count();
    read += std::chrono::duration<double, std::milli>(t2 - t1).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["bare_ms"] = bare / n;
  state.counters["read_ms"] = read / n;
  state.counters["ratio"] = bare > 0 ? read / bare : 0;
}
BENCHMARK(BM_SheetRatio)->Arg(4600)->Arg(4587)->ArgName("width")->Unit(benchmark::kMillisecond)->MinTime(3.0);

// 100 areas of 64 sheets each (5' x 7'30" in the Tokyo datum), written as map data files.
std::string dms(int total) {
  return std::to_string(total / 3600) + "," + std::to_string(total / 60 % 60) + "," + std::to_string(total % 60);
}

const std::filesystem::path& catalogueDir() {
  static const std::filesystem::path dir = [] {
    std::string index, kanri = "mesh,name,second,code,no,a,b,c,d,e,f,pub";
    for (int a = 0; a < 100; ++a) {
      const int lat = 36 + a / 10, lon = 30 + a % 10;
      const std::string area = std::to_string(lat) + std::to_string(lon);
      index += area + ",area " + area + "\r\n";
      for (int slot = 0; slot < 64; ++slot) {
        const int row = slot / 8, col = slot % 8;
        const int south = lat * 2400 + row * 300, north = south + 300;
        const int west = (lon + 100) * 3600 + col * 450, east = west + 450;
        std::string r = area + std::to_string(row) + std::to_string(col) + ",sheet,second,NI-54-25-8-1,1,a,b,c,d,e,f,pub";
        const int la[4] = {north, south, south, north}, lo[4] = {west, west, east, east};
        for (int c = 0; c < 4; ++c) r.append(",").append(dms(la[c])).append(",").append(dms(lo[c]));
        r += ",0,0,0,0,0,0,0,0,100,120,100,3820,4700,3820,4700,120,0,0,0,0,0,0,0";
        kanri.append("\r\n").append(r);
      }
    }
    kanri += "\r\n";
    const std::filesystem::path d = workPath("catalogue");
    std::filesystem::create_directories(d);
    std::ofstream(d / "index.csv", std::ios::binary) << index;
    std::ofstream(d / "kanri.csv", std::ios::binary) << kanri;
    return d;
  }();
  return dir;
}

void BM_FindSheetContaining(benchmark::State& state) {
  SheetCatalogue catalogue;
  if (!catalogue.OpenCatalogue(catalogueDir())) {
    state.SkipWithError("catalogue");
    return;
  }
  // Inside the last sheet of the last area (4539 77).
  const DmsAngle lat = DmsAngle::FromTotalSeconds(45 * 2400 + 7 * 300 + 150);
  const DmsAngle lon = DmsAngle::FromTotalSeconds(139 * 3600 + 7 * 450 + 200);
  const Datum datum = static_cast<Datum>(state.range(0));
  for (auto _ : state) {
    const SSheetLocation at = catalogue.FindSheetContaining(lat, lon, datum);
    if (datum == Datum::Tokyo && (!at.found || at.areaIndex != 99 || at.slotIndex != 63))
      state.SkipWithError("wrong sheet");
    benchmark::DoNotOptimize(at);
  }
}
BENCHMARK(BM_FindSheetContaining)->Arg(1)->Arg(0)->ArgName("datum")->Unit(benchmark::kMillisecond);

// The floor of a search: reading the catalogue file once.
void BM_ReadCatalogueFile(benchmark::State& state) {
  const auto path = catalogueDir() / "kanri.csv";
  for (auto _ : state) benchmark::DoNotOptimize(platform::readWholeFile(path, std::size_t{64} << 20));
}
BENCHMARK(BM_ReadCatalogueFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
