#include "display/ScaledSheetBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>
#include <span>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "display/MapColourScheme.h"
#include "display/SheetKernels.h"
#include "maps/SheetImage.h"

#if defined(__GNUC__) && !defined(__clang__)
// The resampling loops are written for the vectoriser, which -O2 runs only in its cheapest mode.
#pragma GCC optimize("O3")
#endif
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
// Also built for AVX2 (eight 32-bit lanes), picked at load time on processors that have it.
#define VANTORIA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VANTORIA_VECTOR_CLONES
#endif

// The vector kernels' share of a render (plans left empty when they do not apply), kept between
// renders with the rest of the bitmap's memory.
struct ScaledSheetBitmap::SWidePlans {
  sheetkernels::SChannelTables tables;
  sheetkernels::SAreaPlan area;
  sheetkernels::SNearestPlan nearest[16];  // by the pixels a row has before its first cache line boundary
};

namespace {

using SWidePlans = ScaledSheetBitmap::SWidePlans;

// The sheet's pixel rows as the resamplers read them (top-down addressing over bottom-up rows).
struct SSourceRows {
  const std::uint8_t* bottom = nullptr;
  std::ptrdiff_t stride = 0;
  int width = 0;
  int height = 0;
  const std::uint8_t* row(int y) const { return bottom + static_cast<std::ptrdiff_t>(height - 1 - y) * stride; }
};

// A colour spread into three 21-bit fields (red, green, blue) so one 64-bit multiply-add weighs
// all three channels at once.
constexpr int kFieldBits = 21;
constexpr std::uint64_t kFieldMask = (std::uint64_t{1} << kFieldBits) - 1;
constexpr std::uint64_t spread(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (std::uint64_t{r} << (2 * kFieldBits)) | (std::uint64_t{g} << kFieldBits) | b;
}

// Area coverage of one axis: destination pixel x covers source pixels first[x] .. first[x]+taps-1
// with integer weights (overlap lengths in units of 1/dst source pixel, reduced by the common
// divisor); every destination pixel's weights add up to `total`.
struct SAxisTaps {
  int taps = 0;
  std::vector<std::int32_t> first;
  std::vector<std::uint32_t> weights;  // taps per destination pixel
  std::uint32_t total = 0;
};

// The same coverage of a shrinking axis walked left to right. A destination pixel takes the pixel
// its left edge falls in (the remainder of what its left neighbour took of it), then whole pixels
// (weight `unit`, premultiplied in the colour table), then its share of the pixel its right edge
// falls in. The whole-pixel count is `whole` or `whole` - 1: the last whole tap is masked, so the
// loop has no branch. Columns from `fastEnd` on (where the taps could pass the row end) are
// weighed through the plain taps.
struct SStripColumn {
  std::int32_t boundary;    // pixel holding the right edge
  std::uint32_t edgeWeight;  // its share in this column
  std::uint64_t lastMask;   // all ones when the last whole tap counts
};
constexpr int kMaxWhole = 8;
struct SStripColumns {
  bool usable = false;
  int whole = 0;
  int fastEnd = 0;
  std::uint32_t unit = 0;
  std::vector<SStripColumn> columns;
};

void buildStripColumns(int src, int dst, SStripColumns& strip) {
  strip.usable = false;
  strip.columns.clear();
  if (dst >= src || dst <= 0) return;
  const std::int64_t g = std::gcd(src, dst);
  if (src / g > 8223) return;  // the exact weights would overflow a colour field
  strip.unit = static_cast<std::uint32_t>(dst / g);
  std::int64_t most = 0, least = kMaxWhole;
  std::int64_t previous = 0;
  for (std::int64_t x = 0; x < dst; ++x) {
    const std::int64_t end = (x + 1) * src / dst;
    const std::int64_t whole = end - previous - 1;
    most = std::max(most, whole);
    least = std::min(least, whole);
    previous = end;
  }
  if (most >= kMaxWhole || least < most - 1 || least < 0) return;
  strip.whole = static_cast<int>(most);
  strip.columns.reserve(static_cast<std::size_t>(dst));
  previous = 0;
  strip.fastEnd = 0;
  bool fast = true;
  for (std::int64_t x = 0; x < dst; ++x) {
    const std::int64_t hi = (x + 1) * src;
    const std::int64_t end = hi / dst;
    if (fast && end < src && previous + most < src)
      strip.fastEnd = static_cast<int>(x + 1);
    else
      fast = false;
    strip.columns.push_back(SStripColumn{static_cast<std::int32_t>(std::min<std::int64_t>(end, src - 1)),
                                         static_cast<std::uint32_t>((hi - end * dst) / g),
                                         end - previous - 1 == most ? ~std::uint64_t{0} : 0});
    previous = end;
  }
  strip.usable = true;
}

// Largest per-axis weight total for which 255 x total fits a 21-bit field.
constexpr std::uint32_t kMaxExactTotal = static_cast<std::uint32_t>(kFieldMask / 255);

void buildTaps(int src, int dst, SAxisTaps& t) {
  const std::int64_t g = std::gcd(src, dst);
  int taps = 1;
  for (std::int64_t x = 0; x < dst; ++x) {
    const std::int64_t i0 = x * src / dst;
    const std::int64_t i1 = ((x + 1) * src - 1) / dst;
    taps = std::max(taps, static_cast<int>(i1 - i0 + 1));
  }
  taps = std::min(taps, src);
  t.taps = taps;
  t.first.assign(static_cast<std::size_t>(dst), 0);
  t.weights.assign(static_cast<std::size_t>(dst) * static_cast<std::size_t>(taps), 0);
  std::uint32_t total = static_cast<std::uint32_t>(src / g);
  const bool rescale = total > kMaxExactTotal;
  // Very wide axes with no common divisor: weights scaled to 4096 in all (no longer exact).
  const std::uint32_t scaledTotal = 4096;
  for (std::int64_t x = 0; x < dst; ++x) {
    const std::int64_t lo = x * src;
    const std::int64_t hi = (x + 1) * src;
    const std::int64_t firstIndex = std::min<std::int64_t>(lo / dst, src - taps);
    t.first[static_cast<std::size_t>(x)] = static_cast<std::int32_t>(firstIndex);
    std::uint32_t* w = &t.weights[static_cast<std::size_t>(x) * static_cast<std::size_t>(taps)];
    std::uint32_t sum = 0;
    int biggest = 0;
    for (int k = 0; k < taps; ++k) {
      const std::int64_t i = firstIndex + k;
      const std::int64_t overlap = std::min((i + 1) * dst, hi) - std::max(i * dst, lo);
      std::uint64_t v = overlap > 0 ? static_cast<std::uint64_t>(overlap / g) : 0;
      if (rescale) v = v * scaledTotal / total;
      w[k] = static_cast<std::uint32_t>(v);
      sum += w[k];
      if (w[k] > w[biggest]) biggest = k;
    }
    if (rescale) w[biggest] += scaledTotal - sum;
  }
  t.total = rescale ? scaledTotal : total;
}

// Exact rounding division by a constant: q = floor((n + d/2) / d) for n + d/2 < 2^31, done as a
// multiply and shift (the multiplier is one bit wider than n, so the product stays in 64 bits).
struct SDivider {
  std::uint64_t divisor = 1;
  std::uint64_t half = 0;
  std::uint64_t multiplier = 0;
  int shift = 0;
  bool exact = false;  // false: plain division (products beyond the fast range)
  // Accumulators fit 32 bits: the planar path, dividing through a double reciprocal. With
  // n + d/2 below 2^31 the quotient's fraction keeps 0.5/d away from an integer after adding 0.5,
  // far more than the product's rounding error, so the truncated result is exact.
  bool fast = false;
  double reciprocal = 0.0;
  explicit SDivider(std::uint64_t d) : divisor(d), half(d / 2) {
    fast = d * 256 < (std::uint64_t{1} << 31);
    reciprocal = 1.0 / static_cast<double>(d);
    constexpr int kBits = 31;
    if (d * 256 < (std::uint64_t{1} << kBits)) {
      int l = 0;
      while ((std::uint64_t{1} << l) < d) ++l;
      shift = kBits + l;
      multiplier = ((std::uint64_t{1} << shift) + d - 1) / d;
      exact = true;
    }
  }
  std::uint32_t operator()(std::uint64_t n) const {
    return static_cast<std::uint32_t>(exact ? ((n + half) * multiplier) >> shift : (n + half) / divisor);
  }
};

struct SColourLuts {
  std::uint32_t rgb[256];
  std::uint64_t spread[256];
  std::uint64_t spreadUnit[256];  // spread x the weight of a wholly covered pixel
};

// Several source rows at once: they share the column words and the loop around them.
constexpr int kStripRows = 4;
template <int Whole, int Rows>
void stripRowsPass(const std::uint8_t* const* rows, const SColourLuts& lut, const SStripColumns& strip,
                   std::uint64_t* const* outs) {
  // The colour of the pixel holding the previous right edge: this column's left edge pixel, of
  // which it takes what the previous column left.
  std::uint64_t edge[Rows];
  const std::uint8_t* s[Rows];
  std::uint64_t* out[Rows];
  for (int r = 0; r < Rows; ++r) {
    s[r] = rows[r];
    out[r] = outs[r];
    edge[r] = lut.spread[s[r][0]];
  }
  std::int32_t left = 0;
  std::uint64_t rest = strip.unit;
  const SStripColumn* c = strip.columns.data();
  const int fastEnd = strip.fastEnd;
  for (int x = 0; x < fastEnd; ++x, ++c) {
    const std::uint64_t lastMask = c->lastMask;
    const std::uint64_t edgeWeight = c->edgeWeight;
    const std::int32_t boundary = c->boundary;
    for (int r = 0; r < Rows; ++r) {
      const std::uint8_t* p = s[r] + left;
      std::uint64_t acc = edge[r] * rest;
      for (int k = 1; k < Whole; ++k) acc += lut.spreadUnit[p[k]];
      if constexpr (Whole > 0) acc += lut.spreadUnit[p[Whole]] & lastMask;
      edge[r] = lut.spread[s[r][boundary]];
      out[r][x] = acc + edge[r] * edgeWeight;
    }
    rest = strip.unit - edgeWeight;
    left = boundary;
  }
}

using StripRowsFn = void (*)(const std::uint8_t* const*, const SColourLuts&, const SStripColumns&,
                             std::uint64_t* const*);
template <int Rows>
StripRowsFn pickStripRows(int whole) {
  switch (whole) {
    case 0: return stripRowsPass<0, Rows>;
    case 1: return stripRowsPass<1, Rows>;
    case 2: return stripRowsPass<2, Rows>;
    case 3: return stripRowsPass<3, Rows>;
    case 4: return stripRowsPass<4, Rows>;
    case 5: return stripRowsPass<5, Rows>;
    case 6: return stripRowsPass<6, Rows>;
    default: return stripRowsPass<7, Rows>;
  }
}

// Columns from `first` on through the plain taps (8-bit rows).
void tapsFrom(const std::uint8_t* s, const SColourLuts& lut, const SAxisTaps& tx, int first, int dw,
              std::uint64_t* out) {
  for (int x = first; x < dw; ++x) {
    const std::uint8_t* p = s + tx.first[static_cast<std::size_t>(x)];
    const std::uint32_t* w = &tx.weights[static_cast<std::size_t>(x) * static_cast<std::size_t>(tx.taps)];
    std::uint64_t acc = 0;
    for (int k = 0; k < tx.taps; ++k) acc += lut.spread[p[k]] * w[k];
    out[x] = acc;
  }
}

// ---- nearest pixel ----

// One row of the 8-bit nearest copy. A copy larger than the caches is written around them
// (four pixels per store, the destination line never read in first).
void nearestRow8(const std::uint8_t* s, const SColourLuts& lut, const std::int32_t* xmap, int dw, bool stream,
                 std::uint32_t* d) {
  int x = 0;
#if defined(__SSE2__)
  if (stream) {
    for (; x < dw && (reinterpret_cast<std::uintptr_t>(d + x) & 15) != 0; ++x) d[x] = lut.rgb[s[xmap[x]]];
    for (; x + 4 <= dw; x += 4) {
      const __m128i v = _mm_set_epi32(static_cast<int>(lut.rgb[s[xmap[x + 3]]]), static_cast<int>(lut.rgb[s[xmap[x + 2]]]),
                                      static_cast<int>(lut.rgb[s[xmap[x + 1]]]), static_cast<int>(lut.rgb[s[xmap[x]]]));
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + x), v);
    }
  }
#else
  (void)stream;
#endif
  for (; x < dw; ++x) d[x] = lut.rgb[s[xmap[x]]];
}

// Renders of at least this size bypass the caches when written (and at least 8 MiB).
std::int64_t renderStreamBytes() { return std::max(std::int64_t{8} << 20, sheetkernels::StreamBytes()); }

template <int Bytes>
void nearestRows(const SSourceRows& src, const SColourLuts& lut, const std::int32_t* xmap, int dw, int dh, int y0,
                 int y1, std::uint32_t* out, const SWidePlans& wide) {
  const bool stream = std::int64_t{dw} * dh * 4 >= renderStreamBytes();
  for (int y = y0; y < y1; ++y) {
    const int sy = static_cast<int>((std::int64_t{2} * y + 1) * src.height / (std::int64_t{2} * dh));
    const std::uint8_t* s = src.row(sy);
    std::uint32_t* d = out + static_cast<std::ptrdiff_t>(y) * dw;
    if constexpr (Bytes == 1) {
      if (wide.nearest[0].blocks > 0) {
        // Pixels up to the row's first cache line boundary, then the kernel planned from there.
        const int head = static_cast<int>(((64 - (reinterpret_cast<std::uintptr_t>(d) & 63)) & 63) / 4);
        const sheetkernels::SNearestPlan& plan = wide.nearest[head];
        const int done = plan.blocks > 0 ? head + plan.pixels() : 0;
        for (int x = 0; x < head && x < done; ++x) d[x] = lut.rgb[s[xmap[x]]];
        const std::uint8_t* ahead =
            y + 1 < y1 ? src.row(static_cast<int>((std::int64_t{2} * (y + 1) + 1) * src.height / (std::int64_t{2} * dh)))
                       : nullptr;
        if (plan.blocks > 0) sheetkernels::NearestRow(s, ahead, wide.tables, plan, d + head, stream);
        for (int x = done; x < dw; ++x) d[x] = lut.rgb[s[xmap[x]]];
      } else if (dw == src.width) {
        for (int x = 0; x < dw; ++x) d[x] = lut.rgb[s[x]];
      } else {
        nearestRow8(s, lut, xmap, dw, stream, d);
      }
    } else {
      for (int x = 0; x < dw; ++x) {
        const std::uint8_t* p = s + xmap[x];
        d[x] = 0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
      }
    }
  }
#if defined(__SSE2__)
  if (stream) _mm_sfence();
#endif
  if (stream && wide.nearest[0].blocks > 0) sheetkernels::StreamFence();
}

// ---- area average ----

template <int Bytes, int Taps>
void horizontalPass(const std::uint8_t* s, const SColourLuts& lut, const SAxisTaps& tx, int dw, int taps,
                    std::uint64_t* out) {
  const int n = Taps > 0 ? Taps : taps;
  const std::int32_t* first = tx.first.data();
  const std::uint32_t* w = tx.weights.data();
  for (int x = 0; x < dw; ++x, w += n) {
    std::uint64_t acc = 0;
    if constexpr (Bytes == 1) {
      const std::uint8_t* p = s + first[x];
      for (int k = 0; k < n; ++k) acc += lut.spread[p[k]] * w[k];
    } else {
      const std::uint8_t* p = s + static_cast<std::ptrdiff_t>(first[x]) * 3;
      for (int k = 0; k < n; ++k, p += 3) acc += spread(p[2], p[1], p[0]) * w[k];
    }
    out[x] = acc;
  }
}

using HorizontalFn = void (*)(const std::uint8_t*, const SColourLuts&, const SAxisTaps&, int, int, std::uint64_t*);

template <int Bytes>
HorizontalFn pickHorizontal(int taps) {
  switch (taps) {
    case 1: return horizontalPass<Bytes, 1>;
    case 2: return horizontalPass<Bytes, 2>;
    case 3: return horizontalPass<Bytes, 3>;
    case 4: return horizontalPass<Bytes, 4>;
    case 5: return horizontalPass<Bytes, 5>;
    case 6: return horizontalPass<Bytes, 6>;
    case 7: return horizontalPass<Bytes, 7>;
    case 8: return horizontalPass<Bytes, 8>;
    default: return horizontalPass<Bytes, 0>;
  }
}

}  // namespace

// Per-worker buffers of the area average: horizontally reduced source rows and the accumulator of
// one destination row.
struct ScaledSheetBitmap::SScratch {
  std::vector<std::uint64_t> rows[4];  // two for the wide path, four for the fast path's batches
  int rowIndex[2] = {-1, -1};
  std::vector<std::uint64_t> acc;
  std::vector<std::uint32_t> planes;  // ring of reduced rows as red, green, blue planes (fast path)
  std::vector<int> planeIndex;        // the source row each ring slot holds
  std::vector<std::uint32_t> accPlanes;  // red, green, blue accumulators (fast path)
};

namespace {

void areaRows(const SSourceRows& src, int bytes, const SColourLuts& lut, const SAxisTaps& tx,
              const SStripColumns& strip, const SAxisTaps& ty, const SDivider& divide, int dw, int y0, int y1,
              std::uint32_t* out, ScaledSheetBitmap::SScratch& scratch,
              const SWidePlans& wide);

// The weighted sum of up to four reduced rows (plus the rounding half) in one sweep.
constexpr int kMaxFusedTaps = 4;
template <int N>
[[gnu::always_inline]] inline void weighRows(const std::uint32_t* const* rows, const std::uint32_t* weights,
                                             std::size_t n, std::uint32_t half, std::uint32_t* __restrict acc) {
  const std::uint32_t* __restrict h[N];
  std::uint32_t wt[N];
  for (int k = 0; k < N; ++k) {
    h[k] = rows[k];
    wt[k] = weights[k];
  }
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t a = half;
    for (int k = 0; k < N; ++k) a += h[k][i] * wt[k];
    acc[i] = a;
  }
}

// Planar 32-bit version for accumulators below 2^31 (every practical ratio of a map sheet): plain
// loops over contiguous arrays that the compiler turns into vector code.
VANTORIA_VECTOR_CLONES void areaRowsFast(const SSourceRows& src, int bytes, const SColourLuts& lut,
                                         const SAxisTaps& tx, const SStripColumns& strip, const SAxisTaps& ty,
                                         const SDivider& divide, int dw, int y0, int y1, std::uint32_t* out,
                                         ScaledSheetBitmap::SScratch& scratch, const SWidePlans& wide) {
  const std::size_t w = static_cast<std::size_t>(dw);
  for (auto& r : scratch.rows) r.resize(w);
  // Room for every row of one destination row plus the batch that completes it.
  const int ring = ty.taps + kStripRows;
  scratch.planes.resize(w * 3 * static_cast<std::size_t>(ring));
  scratch.planeIndex.assign(static_cast<std::size_t>(ring), -1);
  auto slotOf = [&](int j) { return scratch.planes.data() + static_cast<std::size_t>(j % ring) * w * 3; };
  scratch.accPlanes.resize(w * 3);
  const HorizontalFn horizontal = bytes == 1 ? pickHorizontal<1>(tx.taps) : pickHorizontal<3>(tx.taps);
  const StripRowsFn stripBatch = pickStripRows<kStripRows>(strip.whole);
  const StripRowsFn stripOne = pickStripRows<1>(strip.whole);
  const bool batches = bytes == 1 && strip.usable;
  auto unpack = [&](const std::uint64_t* packed, std::uint32_t* r) {
    std::uint32_t* g = r + w;
    std::uint32_t* b = g + w;
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint64_t v = packed[x];
      r[x] = static_cast<std::uint32_t>(v >> (2 * kFieldBits));
      g[x] = static_cast<std::uint32_t>((v >> kFieldBits) & kFieldMask);
      b[x] = static_cast<std::uint32_t>(v & kFieldMask);
    }
  };
  // The reduced source row j. Rows are asked for in rising order and each batch starts at the
  // first row not made yet, so a batch only replaces rows below the current destination row's.
  // One past the last sheet row this worker reads.
  const int y1Rows = y1 > y0 ? std::min(src.height, ty.first[static_cast<std::size_t>(y1 - 1)] + ty.taps) : 0;
  auto reducedRow = [&](int j) -> const std::uint32_t* {
    if (scratch.planeIndex[static_cast<std::size_t>(j % ring)] == j) return slotOf(j);
    if (wide.area.blocks > 0) {
      const std::uint8_t* rows[kStripRows] = {};
      const std::uint8_t* ahead[kStripRows] = {};
      std::uint32_t* planes[kStripRows] = {};
      const int count = std::min(kStripRows, src.height - j);
      for (int r = 0; r < count; ++r) {
        rows[r] = src.row(j + r);
        if (j + r + kStripRows < y1Rows) ahead[r] = src.row(j + r + kStripRows);
        planes[r] = slotOf(j + r);
      }
      sheetkernels::AreaRows(rows, ahead, count, wide.tables, wide.area, dw, planes);
      for (int r = 0; r < count; ++r) scratch.planeIndex[static_cast<std::size_t>((j + r) % ring)] = j + r;
      return slotOf(j);
    }
    const std::uint8_t* rows[kStripRows];
    std::uint64_t* packed[kStripRows];
    const int count = batches ? std::min(kStripRows, src.height - j) : 1;
    for (int r = 0; r < kStripRows; ++r) {
      rows[r] = src.row(std::min(j + r, src.height - 1));
      packed[r] = scratch.rows[r].data();
    }
    if (count == kStripRows)
      stripBatch(rows, lut, strip, packed);
    else if (batches)
      for (int r = 0; r < count; ++r) stripOne(rows + r, lut, strip, packed + r);
    if (batches)
      for (int r = 0; r < count; ++r) tapsFrom(rows[r], lut, tx, strip.fastEnd, dw, packed[r]);
    else
      horizontal(rows[0], lut, tx, dw, tx.taps, packed[0]);
    for (int r = 0; r < count; ++r) {
      unpack(packed[r], slotOf(j + r));
      scratch.planeIndex[static_cast<std::size_t>((j + r) % ring)] = j + r;
    }
    return slotOf(j);
  };
  std::uint32_t* acc = scratch.accPlanes.data();
  const std::size_t n = w * 3;
  const double reciprocal = divide.reciprocal;
  const std::uint32_t half = static_cast<std::uint32_t>(divide.half);
  const std::uint32_t divisor = static_cast<std::uint32_t>(divide.divisor);
  constexpr int kMaxWideTaps = 8;
  const bool wideWeigh = sheetkernels::WideAvailable();
  for (int y = y0; y < y1; ++y) {
    const std::int32_t firstRow = ty.first[static_cast<std::size_t>(y)];
    const std::uint32_t* wy = &ty.weights[static_cast<std::size_t>(y) * static_cast<std::size_t>(ty.taps)];
    // Every row first (a later batch never replaces an earlier row of the same destination row).
    int nonzero = 0;
    for (int k = 0; k < ty.taps; ++k) {
      if (wy[k] == 0) continue;
      reducedRow(firstRow + k);
      ++nonzero;
    }
    // The rows that count and their weights, where few enough to be summed in one sweep.
    const std::uint32_t* h[kMaxWideTaps] = {};
    std::uint32_t weights[kMaxWideTaps] = {};
    if (nonzero <= kMaxWideTaps) {
      int used = 0;
      for (int k = 0; k < ty.taps; ++k) {
        if (wy[k] == 0) continue;
        h[used] = slotOf(firstRow + k);
        weights[used++] = wy[k];
      }
    }
    std::uint32_t* const row = out + static_cast<std::ptrdiff_t>(y) * dw;
    if (wideWeigh && nonzero <= kMaxWideTaps && sheetkernels::WeighRows(h, weights, nonzero, half, divisor, reciprocal, dw, row))
      continue;
    if (nonzero <= kMaxFusedTaps) {
      switch (nonzero) {
        case 1: weighRows<1>(h, weights, n, half, acc); break;
        case 2: weighRows<2>(h, weights, n, half, acc); break;
        case 3: weighRows<3>(h, weights, n, half, acc); break;
        default: weighRows<4>(h, weights, n, half, acc); break;
      }
    } else {
      bool started = false;
      for (int k = 0; k < ty.taps; ++k) {
        const std::uint32_t weight = wy[k];
        if (weight == 0) continue;
        const std::uint32_t* hk = slotOf(firstRow + k);
        if (!started) {
          for (std::size_t i = 0; i < n; ++i) acc[i] = hk[i] * weight + half;
          started = true;
        } else {
          for (std::size_t i = 0; i < n; ++i) acc[i] += hk[i] * weight;
        }
      }
    }
    // Quotients, interleaved into pixels.
    auto quotient = [reciprocal](std::uint32_t a) {
      return static_cast<std::uint32_t>(
          static_cast<std::int32_t>((static_cast<double>(static_cast<std::int32_t>(a)) + 0.5) * reciprocal));
    };
    std::uint32_t* __restrict d = row;
    const std::uint32_t* __restrict r = acc;
    const std::uint32_t* __restrict g = acc + w;
    const std::uint32_t* __restrict b = acc + 2 * w;
    for (std::size_t x = 0; x < w; ++x)
      d[x] = 0xFF000000u | (quotient(r[x]) << 16) | (quotient(g[x]) << 8) | quotient(b[x]);
  }
}

}  // namespace

ScaledSheetBitmap::ScaledSheetBitmap() = default;
ScaledSheetBitmap::~ScaledSheetBitmap() = default;

ScaledSheetBitmap::EResample ScaledSheetBitmap::ResampleFor(int dispQuality, double ratio) {
  return dispQuality == 1 && ratio > 0.15 && ratio < 1.0 ? EResample::AreaAverage : EResample::Nearest;
}

QSize ScaledSheetBitmap::ScaledSize(int width, int height, double ratio) {
  if (!(ratio > 0.0) || !std::isfinite(ratio) || width <= 0 || height <= 0) return {0, 0};
  const double w = std::trunc(width * ratio);
  const double h = std::trunc(height * ratio);
  if (w > 1e9 || h > 1e9) return {0, 0};
  return {static_cast<int>(w), static_cast<int>(h)};
}

void ScaledSheetBitmap::Release() {
  m_surface = QImage();
  m_memory.reset();
  m_ready = false;
  m_size = QSize(0, 0);
  m_scratch.clear();
  m_wide.reset();
}

bool ScaledSheetBitmap::ensureCapacity(std::int64_t pixels) {
  return m_memory.reserve(static_cast<std::size_t>(pixels) * 4);
}

QSize ScaledSheetBitmap::Render(double ratio, int series) {
  return Render(ratio, series, ResampleFor(m_settings.dispQuality, ratio));
}

QSize ScaledSheetBitmap::Render(double ratio, int series, EResample mode) {
  m_surface = QImage();
  m_ready = false;
  m_size = QSize(0, 0);
  if (!m_source || m_source->isNull()) return {0, 0};
  SheetImage& image = *m_source;
  const int bitCount = image.bitCount();
  if (bitCount != 8 && bitCount != 24) return {0, 0};
  const int sw = image.width();
  const int sh = image.height();
  m_sourceSize = QSize(sw, sh);
  const QSize scaled = ScaledSize(sw, sh, ratio);
  if (scaled.isEmpty()) {
    // A ratio so small that a side truncates to nothing: an empty copy. An invalid ratio keeps nothing.
    m_ready = ratio > 0.0 && std::isfinite(ratio);
    m_size = m_ready ? scaled : QSize(0, 0);
    return m_size;
  }
  const int dw = scaled.width();
  const int dh = scaled.height();
  const std::int64_t pixels = std::int64_t{dw} * dh;
  if (pixels > kMaxPixels || !ensureCapacity(pixels)) return {0, 0};

  SColourLuts lut{};
  if (bitCount == 8) {
    const MapColourScheme& scheme = m_settings.scheme(series);
    const int entries = std::min(image.colourCount(), 256);
    std::span<std::uint8_t> table(image.colourTable(), static_cast<std::size_t>(entries) * 4);
    BuildLayerPalette(scheme, series, table);
    for (int i = 0; i < entries; ++i) {
      const std::uint8_t* e = table.data() + i * 4;
      lut.rgb[i] = 0xFF000000u | (std::uint32_t{e[2]} << 16) | (std::uint32_t{e[1]} << 8) | e[0];
      lut.spread[i] = spread(e[2], e[1], e[0]);
    }
    for (int i = entries; i < 256; ++i) lut.rgb[i] = 0xFF000000u;
  }

  SSourceRows src{image.bits(), image.stride(), sw, sh};
  std::uint32_t* out = static_cast<std::uint32_t*>(m_memory.data());
  const int bytes = bitCount / 8;
  const int threads = m_threads;
  if (static_cast<int>(m_scratch.size()) < threads) m_scratch.resize(static_cast<std::size_t>(threads));

  // Splits the destination rows between the workers; the calling thread takes the first half.
  auto runSplit = [&](bool parallel, auto&& work) {
    if (!parallel) {
      work(0, dh, 0);
      return;
    }
    const int mid = dh / 2;
    std::thread helper;
    try {
      helper = std::thread([&] { work(mid, dh, 1); });
    } catch (const std::system_error&) {
      work(0, dh, 0);  // no thread to be had: do it all here
      return;
    }
    work(0, mid, 0);
    helper.join();
  };

  if (!m_wide) m_wide = std::make_unique<SWidePlans>();
  SWidePlans* const wide = m_wide.get();
  wide->area.blocks = 0;
  for (auto& plan : wide->nearest) plan.blocks = 0;
  const bool wideKernels = bitCount == 8 && sheetkernels::WideAvailable();
  if (wideKernels) {
    for (int i = 0; i < 256; ++i) {
      for (int c = 0; c < 3; ++c) wide->tables.channel[c][i] = static_cast<std::uint8_t>(lut.rgb[i] >> (16 - 8 * c));
      wide->tables.rgb[i] = lut.rgb[i];
    }
    sheetkernels::SplitByNibbles(wide->tables);
  }

  if (mode == EResample::Nearest) {
    std::vector<std::int32_t> xmap(static_cast<std::size_t>(dw));
    for (int x = 0; x < dw; ++x)
      xmap[static_cast<std::size_t>(x)] =
          static_cast<std::int32_t>((std::int64_t{2} * x + 1) * sw / (std::int64_t{2} * dw)) * bytes;
    if (wideKernels && sheetkernels::PlanNearest(xmap.data(), sw, dw, wide->nearest[0])) {
      for (int head = 1; head < 16; ++head)
        sheetkernels::PlanNearest(xmap.data() + head, sw, dw - head, wide->nearest[head]);
    }
    const bool parallel = threads > 1 && pixels >= (std::int64_t{1} << 18) && dh >= 2;
    runSplit(parallel, [&](int y0, int y1, int) {
      if (bytes == 1)
        nearestRows<1>(src, lut, xmap.data(), dw, dh, y0, y1, out, *wide);
      else
        nearestRows<3>(src, lut, xmap.data(), dw, dh, y0, y1, out, *wide);
    });
  } else {
    SAxisTaps tx, ty;
    SStripColumns strip;
    buildTaps(sw, dw, tx);
    buildTaps(sh, dh, ty);
    buildStripColumns(sw, dw, strip);
    for (int i = 0; i < 256; ++i) lut.spreadUnit[i] = lut.spread[i] * strip.unit;
    if (wideKernels) sheetkernels::PlanArea(tx.first.data(), tx.weights.data(), tx.taps, sw, dw, wide->tables, wide->area);
    const SDivider divide(std::uint64_t{tx.total} * ty.total);
    const bool parallel = threads > 1 && std::int64_t{sw} * sh >= (std::int64_t{1} << 19) && dh >= 2;
    runSplit(parallel, [&](int y0, int y1, int worker) {
      areaRows(src, bytes, lut, tx, strip, ty, divide, dw, y0, y1, out, m_scratch[static_cast<std::size_t>(worker)],
               *wide);
    });
  }

  m_surface = QImage(reinterpret_cast<const uchar*>(out), dw, dh, dw * 4, QImage::Format_RGB32);
  m_size = QSize(dw, dh);
  m_ready = true;
  return m_size;
}

namespace {

void areaRows(const SSourceRows& src, int bytes, const SColourLuts& lut, const SAxisTaps& tx,
              const SStripColumns& strip, const SAxisTaps& ty, const SDivider& divide, int dw, int y0, int y1,
              std::uint32_t* out, ScaledSheetBitmap::SScratch& scratch,
              const SWidePlans& wide) {
  const std::size_t w = static_cast<std::size_t>(dw);
  if (divide.fast) {
    areaRowsFast(src, bytes, lut, tx, strip, ty, divide, dw, y0, y1, out, scratch, wide);
    return;
  }
  for (auto& r : scratch.rows) r.resize(w);
  scratch.rowIndex[0] = scratch.rowIndex[1] = -1;
  scratch.acc.resize(w * 3);
  const HorizontalFn horizontal = bytes == 1 ? pickHorizontal<1>(tx.taps) : pickHorizontal<3>(tx.taps);
  int recent = 0;
  // The reduced source row j, computed once even when two destination rows share it.
  auto reducedRow = [&](int j) -> const std::uint64_t* {
    for (int slot = 0; slot < 2; ++slot) {
      if (scratch.rowIndex[slot] == j) {
        recent = slot;
        return scratch.rows[slot].data();
      }
    }
    const int slot = 1 - recent;
    horizontal(src.row(j), lut, tx, dw, tx.taps, scratch.rows[slot].data());
    scratch.rowIndex[slot] = j;
    recent = slot;
    return scratch.rows[slot].data();
  };

  std::uint64_t* acc = scratch.acc.data();
  for (int y = y0; y < y1; ++y) {
    const std::int32_t firstRow = ty.first[static_cast<std::size_t>(y)];
    const std::uint32_t* wy = &ty.weights[static_cast<std::size_t>(y) * static_cast<std::size_t>(ty.taps)];
    bool started = false;
    for (int k = 0; k < ty.taps; ++k) {
      const std::uint64_t weight = wy[k];
      if (weight == 0) continue;
      const std::uint64_t* h = reducedRow(firstRow + k);
      if (!started) {
        for (std::size_t x = 0; x < w; ++x) {
          const std::uint64_t v = h[x];
          acc[3 * x] = (v >> (2 * kFieldBits)) * weight;
          acc[3 * x + 1] = ((v >> kFieldBits) & kFieldMask) * weight;
          acc[3 * x + 2] = (v & kFieldMask) * weight;
        }
        started = true;
      } else {
        for (std::size_t x = 0; x < w; ++x) {
          const std::uint64_t v = h[x];
          acc[3 * x] += (v >> (2 * kFieldBits)) * weight;
          acc[3 * x + 1] += ((v >> kFieldBits) & kFieldMask) * weight;
          acc[3 * x + 2] += (v & kFieldMask) * weight;
        }
      }
    }
    std::uint32_t* d = out + static_cast<std::ptrdiff_t>(y) * dw;
    for (std::size_t x = 0; x < w; ++x) {
      d[x] = 0xFF000000u | (divide(acc[3 * x]) << 16) | (divide(acc[3 * x + 1]) << 8) | divide(acc[3 * x + 2]);
    }
  }
}

}  // namespace
