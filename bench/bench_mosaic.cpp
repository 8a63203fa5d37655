// Decoding one sample sheet (LZW, 8-bit palette) from memory on one and two threads, against a
// plain one-thread libtiff strip loop over the same bytes. Read the results as ratios to the peer
// (BM_PeerStripLoop) of the same run; BM_DecodeSheetRatio interleaves the two in each iteration,
// so that drift hits both alike.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "maps/SheetImage.h"
#include "platform/FileLookup.h"

namespace {

// A 1:25,000 sample sheet (build vantoria_sample_data first), read into memory once.
const std::string& sheetBytes() {
  static const std::string bytes = [] {
    const std::filesystem::path path =
        std::filesystem::path(VANTORIA_BINARY_DIR) / "sample" / "map25000" / "5438" / "543836.tif";
    auto data = platform::readWholeFile(path, std::size_t{256} << 20);
    if (!data) {
      std::fprintf(stderr, "sample sheet missing (build vantoria_sample_data): %s\n", path.string().c_str());
      std::abort();
    }
    return *data;
  }();
  return bytes;
}

std::span<const std::uint8_t> sheetSpan() {
  const std::string& s = sheetBytes();
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The bytes as a libtiff client file, mapped as the reader maps them.
struct SMemory {
  std::span<const std::uint8_t> bytes;
  std::uint64_t pos = 0;
  static tmsize_t read(thandle_t h, void* buf, tmsize_t size) {
    auto* m = static_cast<SMemory*>(h);
    const std::uint64_t n = m->pos >= m->bytes.size() ? 0 : std::min<std::uint64_t>(std::uint64_t(size), m->bytes.size() - m->pos);
    std::memcpy(buf, m->bytes.data() + m->pos, static_cast<std::size_t>(n));
    m->pos += n;
    return static_cast<tmsize_t>(n);
  }
  static tmsize_t write(thandle_t, void*, tmsize_t) { return -1; }
  static toff_t seek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<SMemory*>(h);
    m->pos = (whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->bytes.size() : 0) + off;
    return m->pos;
  }
  static int close(thandle_t) { return 0; }
  static toff_t size(thandle_t h) { return static_cast<SMemory*>(h)->bytes.size(); }
  static int map(thandle_t h, void** base, toff_t* psize) {
    auto* m = static_cast<SMemory*>(h);
    *base = const_cast<std::uint8_t*>(m->bytes.data());
    *psize = m->bytes.size();
    return 1;
  }
  static void unmap(thandle_t, void*, toff_t) {}
};

// The peer: open, decode every strip into one reused buffer, close.
bool peerStripLoop(std::vector<std::uint8_t>& buf) {
  SMemory file{sheetSpan(), 0};
  TIFF* tif = TIFFClientOpen("memory", "r", &file, &SMemory::read, &SMemory::write, &SMemory::seek, &SMemory::close,
                             &SMemory::size, &SMemory::map, &SMemory::unmap);
  if (!tif) return false;
  std::uint32_t h = 0, rps = 0;
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
  rps = std::clamp<std::uint32_t>(rps, 1, std::max<std::uint32_t>(h, 1));
  const tmsize_t line = TIFFScanlineSize(tif);
  if (buf.size() < static_cast<std::size_t>(TIFFStripSize(tif))) buf.resize(static_cast<std::size_t>(TIFFStripSize(tif)));
  bool ok = true;
  for (std::uint32_t r = 0; r < h; r += rps) {
    const std::uint32_t n = std::min(rps, h - r);
    ok &= TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, r, 0), buf.data(), tmsize_t(n) * line) >= 0;
  }
  TIFFClose(tif);
  benchmark::DoNotOptimize(buf.data());
  return ok;
}

void BM_PeerStripLoop(benchmark::State& state) {
  std::vector<std::uint8_t> buf;
  for (auto _ : state)
    if (!peerStripLoop(buf)) state.SkipWithError("peer read failed");
}
BENCHMARK(BM_PeerStripLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeSheet(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  SheetImage image;  // reused, as a map reuses its sheet images
  for (auto _ : state) {
    if (!ReadSheetImage(sheetSpan(), image, {}, threads).ok()) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_DecodeSheet)->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();

// Both in turn within each iteration; "ratio" is decode / peer.
void BM_DecodeSheetRatio(benchmark::State& state) {
  using clock = std::chrono::steady_clock;
  const int threads = static_cast<int>(state.range(0));
  SheetImage image;
  std::vector<std::uint8_t> buf;
  double peer = 0, decode = 0;
  for (auto _ : state) {
    const auto t0 = clock::now();
    if (!peerStripLoop(buf)) state.SkipWithError("peer read failed");
    const auto t1 = clock::now();
    if (!ReadSheetImage(sheetSpan(), image, {}, threads).ok()) state.SkipWithError("read failed");
    const auto t2 = clock::now();
    peer += std::chrono::duration<double, std::milli>(t1 - t0).count();
    decode += std::chrono::duration<double, std::milli>(t2 - t1).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["peer_ms"] = peer / n;
  state.counters["decode_ms"] = decode / n;
  state.counters["ratio"] = peer > 0 ? decode / peer : 0;
}
BENCHMARK(BM_DecodeSheetRatio)->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  sheetBytes();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
