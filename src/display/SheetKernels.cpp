#include "display/SheetKernels.h"

#include <algorithm>
#include <atomic>

#include "platform/SystemMemory.h"

#if defined(__GNUC__) && defined(__x86_64__)
#define VANTORIA_WIDE_KERNELS 1
#if defined(__clang__)
#include <immintrin.h>
#else
// GCC 12 takes the intrinsics' deliberately undefined pass-through operands for uninitialised values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif
#define VANTORIA_WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#define VANTORIA_AVX2 __attribute__((target("avx2")))
#endif

namespace sheetkernels {

namespace {

bool processorHas(EKernel kernel) {
#if defined(VANTORIA_WIDE_KERNELS)
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  static const bool avx512 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi");
  }();
  switch (kernel) {
    case EKernel::Portable: return true;
    case EKernel::Avx2: return avx2;
    case EKernel::Avx512: return avx512;
  }
  return false;
#else
  return kernel == EKernel::Portable;
#endif
}

EKernel bestKernel() {
  if (processorHas(EKernel::Avx512)) return EKernel::Avx512;
  if (processorHas(EKernel::Avx2)) return EKernel::Avx2;
  return EKernel::Portable;
}

// The chosen set (made on first use: other files' static initialisers may ask for it).
std::atomic<EKernel>& chosenKernel() {
  static std::atomic<EKernel> kernel{bestKernel()};
  return kernel;
}

std::uint64_t bytesInRow(std::int64_t base, int srcWidth) {
  const std::int64_t n = std::clamp<std::int64_t>(srcWidth - base, 0, 64);
  return n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// AVX2 nearest blocks: 8 pixels, each half (4 pixels) picked from 16 sheet bytes at its base.
constexpr int kAvx2NearestPixels = 8;
constexpr int kAvx2HalfPixels = 4;
constexpr int kAvx2HalfBytes = 16;

bool planNearestAvx2(const std::int32_t* xmap, int srcWidth, int dw, SNearestPlan& plan) {
  // Whole blocks whose 16-byte reads stay inside the row (the columns rise).
  int blocks = 0;
  while ((blocks + 1) * kAvx2NearestPixels <= dw &&
         std::int64_t{xmap[blocks * kAvx2NearestPixels + kAvx2HalfPixels]} + kAvx2HalfBytes <= srcWidth)
    ++blocks;
  if (blocks == 0) return false;
  plan.pattern.assign(static_cast<std::size_t>(blocks) * 32, 0x80);
  plan.base.assign(static_cast<std::size_t>(blocks) * 2, 0);
  plan.loadMask.clear();
  for (int b = 0; b < blocks; ++b) {
    for (int half = 0; half < 2; ++half) {
      const int d0 = b * kAvx2NearestPixels + half * kAvx2HalfPixels;
      const std::int32_t base = xmap[d0];
      if (xmap[d0 + kAvx2HalfPixels - 1] - base >= kAvx2HalfBytes) return false;
      plan.base[static_cast<std::size_t>(b) * 2 + half] = base;
      // Each pixel's index byte at the bottom of its 32-bit lane, zeros above it: the table gather's index.
      for (int j = 0; j < kAvx2HalfPixels; ++j)
        plan.pattern[static_cast<std::size_t>(b) * 32 + half * 16 + 4 * j] = static_cast<std::uint8_t>(xmap[d0 + j] - base);
    }
  }
  plan.blocks = blocks;
  return true;
}

}  // namespace

bool KernelAvailable(EKernel kernel) { return processorHas(kernel); }

namespace {
std::atomic<std::int64_t>& chosenStreamBytes() {
  static std::atomic<std::int64_t> bytes{0};
  return bytes;
}
}  // namespace

std::int64_t StreamBytes() {
  if (const std::int64_t chosen = chosenStreamBytes().load(std::memory_order_relaxed); chosen > 0) return chosen;
  static const std::int64_t own = [] {
    constexpr std::int64_t kLeast = std::int64_t{4} << 20;
    const std::uint64_t cache = platform::lastLevelCacheBytes();
    return cache > (std::uint64_t{1} << 40) ? kLeast : std::max(kLeast, static_cast<std::int64_t>(cache / 4));
  }();
  return own;
}

void SetStreamBytes(std::int64_t bytes) { chosenStreamBytes().store(std::max<std::int64_t>(bytes, 0), std::memory_order_relaxed); }

EKernel ActiveKernel() { return chosenKernel().load(std::memory_order_relaxed); }

EKernel BestKernel() { return bestKernel(); }

bool SetKernel(EKernel kernel) {
  if (!processorHas(kernel)) return false;
  chosenKernel().store(kernel, std::memory_order_relaxed);
  return true;
}

void SplitByNibbles(SChannelTables& tables) {
  tables.byNibbles = false;
  bool splits = true;
  for (int h = 0; h < 16 && splits; ++h) {
    bool same = true, likeLow = true;
    for (int l = 0; l < 16; ++l)
      for (int c = 0; c < 3; ++c) {
        const std::uint8_t v = tables.channel[c][16 * h + l];
        same = same && v == tables.channel[c][16 * h];
        likeLow = likeLow && v == tables.channel[c][l];
      }
    // The low nibble's own row is its colours; a row of one colour takes it from the high nibble.
    const bool fromHigh = h > 0 && same && !likeLow;
    tables.fromHigh[h] = fromHigh ? 0xFF : 0x00;
    for (int c = 0; c < 3; ++c) {
      tables.high[c][h] = tables.channel[c][16 * h];
      tables.low[c][h] = tables.channel[c][h];
    }
    splits = fromHigh || likeLow;
  }
  tables.byNibbles = splits;
  tables.bySlots = false;
  if (!splits) return;
  // The colours the nibbles give, numbered in order of first use.
  int colours = 0;
  const auto slotOf = [&](int index) -> int {
    const std::uint32_t rgb = 0xFF000000u | (std::uint32_t{tables.channel[0][index]} << 16) |
                              (std::uint32_t{tables.channel[1][index]} << 8) | tables.channel[2][index];
    for (int i = 0; i < colours; ++i)
      if (tables.slotColour[i] == rgb) return i;
    if (colours == 16) return -1;
    tables.slotColour[colours] = rgb;
    return colours++;
  };
  for (int n = 0; n < 16; ++n) {
    const int low = slotOf(n), high = slotOf(16 * n);
    if (low < 0 || high < 0) return;
    tables.slotLow[n] = static_cast<std::uint8_t>(low);
    tables.slotHigh[n] = static_cast<std::uint8_t>(high);
  }
  for (int i = colours; i < 16; ++i) tables.slotColour[i] = 0xFF000000u;
  tables.bySlots = true;
}

namespace {

// AVX2 area blocks: 8 pixels, each half (4 pixels of up to 4 taps) picked from 16 sheet bytes.
constexpr int kAvx2AreaPixels = 8;
constexpr int kAvx2AreaHalfBytes = 16;

bool planAreaAvx2(const std::int32_t* first, const std::uint32_t* weights, int taps, int srcWidth, int dw,
                  SAreaPlan& plan) {
  if (taps > 4) return false;
  const int blocks = (dw + kAvx2AreaPixels - 1) / kAvx2AreaPixels;
  plan.taps = 4;
  plan.pattern.assign(static_cast<std::size_t>(blocks) * 64, 0x80);
  plan.weights.assign(static_cast<std::size_t>(blocks) * 32, 0);
  plan.base.assign(static_cast<std::size_t>(blocks) * 2, 0);
  plan.loadMask.assign(static_cast<std::size_t>(blocks) * 2, 0);
  for (int b = 0; b < blocks; ++b) {
    for (int half = 0; half < 2; ++half) {
      const int d0 = b * kAvx2AreaPixels + 4 * half;
      if (d0 >= dw) continue;
      const std::int32_t base = first[d0];
      const std::size_t at = static_cast<std::size_t>(b) * 2 + static_cast<std::size_t>(half);
      plan.base[at] = base;
      plan.loadMask[at] = static_cast<std::uint64_t>(std::clamp<std::int64_t>(srcWidth - base, 0, kAvx2AreaHalfBytes));
      for (int j = 0; j < 4 && d0 + j < dw; ++j) {
        const int d = d0 + j;
        for (int k = 0; k < taps; ++k) {
          const std::uint32_t weight = weights[static_cast<std::size_t>(d) * static_cast<std::size_t>(taps) + k];
          if (weight == 0) continue;
          const std::int64_t offset = std::int64_t{first[d]} + k - base;
          if (weight > 32767 || offset < 0 || offset >= kAvx2AreaHalfBytes || first[d] + k >= srcWidth) return false;
          // Taps 0 and 1 of the half's four pixels go to the first shuffle, 2 and 3 to the
          // second, a pixel's pair in two neighbouring 16-bit lanes: one multiply-add of each
          // gives every pixel's pair in its own 32-bit lane.
          const int shuffle = k / 2;
          const int lane = 2 * j + k % 2;  // 16-bit lane within the half
          plan.pattern[static_cast<std::size_t>(b) * 64 + static_cast<std::size_t>(shuffle) * 32 +
                       static_cast<std::size_t>(half) * 16 + static_cast<std::size_t>(lane) * 2] =
              static_cast<std::uint8_t>(offset);
          plan.weights[static_cast<std::size_t>(b) * 32 + static_cast<std::size_t>(shuffle) * 16 +
                       static_cast<std::size_t>(half) * 8 + static_cast<std::size_t>(lane)] =
              static_cast<std::int16_t>(weight);
        }
      }
    }
  }
  plan.blocks = blocks;
  return true;
}

}  // namespace

bool PlanArea(const std::int32_t* first, const std::uint32_t* weights, int taps, int srcWidth, int dw,
              const SChannelTables& tables, SAreaPlan& plan) {
  plan.blocks = 0;
  plan.kernel = ActiveKernel();
  if (taps < 1 || dw <= 0) return false;
  if (plan.kernel == EKernel::Avx2) return tables.bySlots && planAreaAvx2(first, weights, taps, srcWidth, dw, plan);
  if (plan.kernel != EKernel::Avx512 || taps > 8) return false;
  const int t = taps <= 4 ? 4 : 8;
  const int per = 64 / t;
  const int blocks = (dw + per - 1) / per;
  plan.taps = t;
  plan.pattern.assign(static_cast<std::size_t>(blocks) * 64, 0);
  plan.weights.assign(static_cast<std::size_t>(blocks) * 64, 0);
  plan.base.assign(static_cast<std::size_t>(blocks), 0);
  plan.loadMask.assign(static_cast<std::size_t>(blocks), 0);
  for (int b = 0; b < blocks; ++b) {
    const int d0 = b * per;
    const std::int32_t base = first[d0];
    plan.base[static_cast<std::size_t>(b)] = base;
    plan.loadMask[static_cast<std::size_t>(b)] = bytesInRow(base, srcWidth);
    std::uint8_t* pattern = &plan.pattern[static_cast<std::size_t>(b) * 64];
    std::int16_t* w = &plan.weights[static_cast<std::size_t>(b) * 64];
    for (int j = 0; j < per && d0 + j < dw; ++j) {
      const int d = d0 + j;
      for (int k = 0; k < taps; ++k) {
        const std::uint32_t weight = weights[static_cast<std::size_t>(d) * static_cast<std::size_t>(taps) + k];
        if (weight == 0) continue;
        const std::int64_t offset = std::int64_t{first[d]} + k - base;
        if (weight > 32767 || offset < 0 || offset > 63 || first[d] + k >= srcWidth) return false;
        // Four taps of a pixel in one 32-bit lane (the first four of eight in the lower half
        // of the register, the other four in the upper): two multiply-adds of the lanes' even
        // and odd bytes then give each pixel's sum in its own lane.
        const int at = (k / 4) * 32 + 4 * j + k % 4;
        pattern[at] = static_cast<std::uint8_t>(offset);
        w[(at & 1) * 32 + at / 2] = static_cast<std::int16_t>(weight);
      }
    }
  }
  plan.blocks = blocks;
  return true;
}

bool PlanNearest(const std::int32_t* xmap, int srcWidth, int dw, SNearestPlan& plan) {
  plan.blocks = 0;
  plan.kernel = ActiveKernel();
  if (plan.kernel == EKernel::Portable) return false;
  if (plan.kernel == EKernel::Avx2) return dw >= kAvx2NearestPixels && planNearestAvx2(xmap, srcWidth, dw, plan);
  if (dw < 64) return false;
  const int blocks = dw / 64;
  plan.pattern.assign(static_cast<std::size_t>(blocks) * 64, 0);
  plan.base.assign(static_cast<std::size_t>(blocks) * 4, 0);
  plan.loadMask.assign(static_cast<std::size_t>(blocks) * 4, 0);
  for (int b = 0; b < blocks; ++b) {
    const int d0 = b * 64;
    for (int q = 0; q < 4; ++q) {
      const std::int32_t base = xmap[d0 + 16 * q];
      if (xmap[d0 + 16 * q + 15] - base > 63) return false;
      plan.base[static_cast<std::size_t>(b) * 4 + q] = base;
      plan.loadMask[static_cast<std::size_t>(b) * 4 + q] = bytesInRow(base, srcWidth);
    }
    // Byte p of the gathered indices becomes the pixel that the byte and word interleaves put it
    // in: 128-bit lane p / 16 of output register (p % 16) / 4, so the registers come out in order.
    for (int p = 0; p < 64; ++p) {
      const int lane = p / 16, q = (p % 16) / 4;
      const int d = d0 + 16 * q + 4 * lane + p % 4;
      plan.pattern[static_cast<std::size_t>(b) * 64 + p] =
          static_cast<std::uint8_t>(xmap[d] - plan.base[static_cast<std::size_t>(b) * 4 + q]);
    }
  }
  plan.blocks = blocks;
  return true;
}

#if defined(VANTORIA_WIDE_KERNELS)

namespace {

struct STables {
  __m512i t[3][4];
};

VANTORIA_WIDE inline void loadTables(const SChannelTables& tables, STables& out) {
  for (int c = 0; c < 3; ++c)
    for (int q = 0; q < 4; ++q) out.t[c][q] = _mm512_load_si512(tables.channel[c] + 64 * q);
}

// 64 table lookups of one channel: two 128-entry permutes, chosen by the index's top bit.
VANTORIA_WIDE inline __m512i lookup(const __m512i (&t)[4], __m512i index, __mmask64 upper) {
  const __m512i low = _mm512_permutex2var_epi8(t[0], index, t[1]);
  const __m512i high = _mm512_permutex2var_epi8(t[2], index, t[3]);
  return _mm512_mask_blend_epi8(upper, low, high);
}

constexpr int kPrefetchAhead = 512;

template <int Taps>
VANTORIA_WIDE void areaRowsWide(const std::uint8_t* const* rows, const std::uint8_t* const* ahead, int count,
                                const SChannelTables& tables, const SAreaPlan& plan, int dw,
                                std::uint32_t* const* planes) {
  constexpr int kPer = 64 / Taps;
  STables tb;
  loadTables(tables, tb);
  const __m512i lowBytes = _mm512_set1_epi16(0x00FF);
  const std::uint8_t* pattern = plan.pattern.data();
  const std::int16_t* weights = plan.weights.data();
  for (int b = 0; b < plan.blocks; ++b, pattern += 64, weights += 64) {
    const __m512i pick = _mm512_loadu_si512(pattern);
    const __m512i evenWeights = _mm512_loadu_si512(weights);
    const __m512i oddWeights = _mm512_loadu_si512(weights + 32);
    const std::int32_t base = plan.base[static_cast<std::size_t>(b)];
    const __mmask64 inRow = plan.loadMask[static_cast<std::size_t>(b)];
    const int d0 = b * kPer;
    const int left = std::min(kPer, dw - d0);
    const __mmask16 store = static_cast<__mmask16>((1u << left) - 1);
    for (int r = 0; r < count; ++r) {
      // The rows come from memory once each: ask for them well ahead of their use.
      _mm_prefetch(reinterpret_cast<const char*>(rows[r] + base + kPrefetchAhead), _MM_HINT_T0);
      if (ahead[r] != nullptr) _mm_prefetch(reinterpret_cast<const char*>(ahead[r] + base), _MM_HINT_T1);
      const __m512i bytes = _mm512_maskz_loadu_epi8(inRow, rows[r] + base);
      const __m512i index = _mm512_permutexvar_epi8(pick, bytes);
      const __mmask64 upper = _mm512_movepi8_mask(index);
      std::uint32_t* out = planes[r] + d0;
      for (int c = 0; c < 3; ++c, out += dw) {
        const __m512i colour = lookup(tb.t[c], index, upper);
        const __m512i even = _mm512_and_si512(colour, lowBytes);
        const __m512i odd = _mm512_srli_epi16(colour, 8);
        __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(even, evenWeights), _mm512_madd_epi16(odd, oddWeights));
        if constexpr (Taps == 8) sum = _mm512_add_epi32(sum, _mm512_shuffle_i64x2(sum, sum, 0x4E));
        _mm512_mask_storeu_epi32(out, store, sum);
      }
    }
  }
}

template <bool Stream>
VANTORIA_WIDE void nearestRowWide(const std::uint8_t* row, const std::uint8_t* ahead, const SChannelTables& tables,
                                  const SNearestPlan& plan, std::uint32_t* d) {
  STables tb;
  loadTables(tables, tb);
  const __m512i opaque = _mm512_set1_epi8(static_cast<char>(0xFF));
  const std::uint8_t* pattern = plan.pattern.data();
  const std::int32_t* base = plan.base.data();
  const std::uint64_t* inRow = plan.loadMask.data();
  for (int b = 0; b < plan.blocks; ++b, pattern += 64, base += 4, inRow += 4, d += 64) {
    const __m512i pick = _mm512_loadu_si512(pattern);
    __m512i index = _mm512_setzero_si512();
    for (int q = 0; q < 4; ++q) {
      if (ahead != nullptr) _mm_prefetch(reinterpret_cast<const char*>(ahead + base[q]), _MM_HINT_T0);
      const __m512i bytes = _mm512_maskz_loadu_epi8(inRow[q], row + base[q]);
      index = _mm512_mask_permutexvar_epi8(index, _cvtu64_mask64(0x000F000F000F000Full << (4 * q)), pick, bytes);
    }
    const __mmask64 upper = _mm512_movepi8_mask(index);
    const __m512i red = lookup(tb.t[0], index, upper);
    const __m512i green = lookup(tb.t[1], index, upper);
    const __m512i blue = lookup(tb.t[2], index, upper);
    const __m512i bgLow = _mm512_unpacklo_epi8(blue, green), bgHigh = _mm512_unpackhi_epi8(blue, green);
    const __m512i raLow = _mm512_unpacklo_epi8(red, opaque), raHigh = _mm512_unpackhi_epi8(red, opaque);
    const __m512i p0 = _mm512_unpacklo_epi16(bgLow, raLow), p1 = _mm512_unpackhi_epi16(bgLow, raLow);
    const __m512i p2 = _mm512_unpacklo_epi16(bgHigh, raHigh), p3 = _mm512_unpackhi_epi16(bgHigh, raHigh);
    if constexpr (Stream) {  // whole cache lines
      _mm512_stream_si512(reinterpret_cast<__m512i*>(d), p0);
      _mm512_stream_si512(reinterpret_cast<__m512i*>(d + 16), p1);
      _mm512_stream_si512(reinterpret_cast<__m512i*>(d + 32), p2);
      _mm512_stream_si512(reinterpret_cast<__m512i*>(d + 48), p3);
    } else {
      _mm512_storeu_si512(d, p0);
      _mm512_storeu_si512(d + 16, p1);
      _mm512_storeu_si512(d + 32, p2);
      _mm512_storeu_si512(d + 48, p3);
    }
  }
}

// Eight quotients from the lower or upper half of `sums`: trunc((sum + 0.5) x reciprocal).
VANTORIA_WIDE inline __m256i quotients(__m256i sums, __m512d half, __m512d reciprocal) {
  return _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_add_pd(_mm512_cvtepi32_pd(sums), half), reciprocal));
}

VANTORIA_WIDE inline __m512i channelQuotients(__m512i sums, __m512d half, __m512d reciprocal) {
  const __m256i low = quotients(_mm512_castsi512_si256(sums), half, reciprocal);
  const __m256i high = quotients(_mm512_extracti64x4_epi64(sums, 1), half, reciprocal);
  return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

template <int N>
VANTORIA_WIDE void weighRowsWide(const std::uint32_t* const* rows, const std::uint32_t* weights, std::uint32_t half,
                                 double reciprocal, int dw, std::uint32_t* out) {
  const __m512d pointFive = _mm512_set1_pd(0.5);
  const __m512d by = _mm512_set1_pd(reciprocal);
  const __m512i start = _mm512_set1_epi32(static_cast<int>(half));
  const __m512i opaque = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
  __m512i w[N];
  for (int k = 0; k < N; ++k) w[k] = _mm512_set1_epi32(static_cast<int>(weights[k]));
  const std::ptrdiff_t plane = dw;
  for (int x = 0; x < dw; x += 16) {
    const __mmask16 lanes = static_cast<__mmask16>(dw - x >= 16 ? 0xFFFFu : (1u << (dw - x)) - 1);
    __m512i sum[3] = {start, start, start};
    for (int k = 0; k < N; ++k) {
      const std::uint32_t* p = rows[k] + x;
      sum[0] = _mm512_add_epi32(sum[0], _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(lanes, p), w[k]));
      sum[1] = _mm512_add_epi32(sum[1], _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(lanes, p + plane), w[k]));
      sum[2] = _mm512_add_epi32(sum[2], _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(lanes, p + 2 * plane), w[k]));
    }
    const __m512i pixel = _mm512_or_si512(
        _mm512_or_si512(opaque, _mm512_slli_epi32(channelQuotients(sum[0], pointFive, by), 16)),
        _mm512_or_si512(_mm512_slli_epi32(channelQuotients(sum[1], pointFive, by), 8),
                        channelQuotients(sum[2], pointFive, by)));
    _mm512_mask_storeu_epi32(out + x, lanes, pixel);
  }
}


// ---- AVX2: 32-byte registers; the area average's palette lookups are nibble shuffles, the
// nearest copy's a gather from the packed RGB32 table ----

// floor(n / d) by a multiply and a shift, exact for n below 256 d and d below 2^23: with
// m = ceil(2^k / d) and 2^k >= 256 d^2, n m / 2^k exceeds n / d by less than 1 / d.
struct SIntegerDivision {
  std::uint32_t divisor = 1;
  std::uint32_t multiplier = 256;
  int shift = 8;
  explicit SIntegerDivision(std::uint32_t d) : divisor(d), shift(0) {
    const std::uint64_t square = std::uint64_t{d} * d * 256;
    while ((std::uint64_t{1} << shift) < square) ++shift;
    multiplier = static_cast<std::uint32_t>(((std::uint64_t{1} << shift) + d - 1) / d);
  }
};

// A render weighs every destination row by the same divisor: each thread keeps the last one.
const SIntegerDivision& divisionBy(std::uint32_t d) {
  thread_local SIntegerDivision last(1);
  if (last.divisor != d) last = SIntegerDivision(d);
  return last;
}

// Eight quotients floor(n / d) of 32-bit lanes below 256 d.
[[gnu::always_inline]] VANTORIA_AVX2 inline __m256i quotientsAvx2(__m256i n, __m256i multiplier, __m128i shift) {
  const __m256i even = _mm256_srl_epi64(_mm256_mul_epu32(n, multiplier), shift);
  const __m256i odd = _mm256_srl_epi64(_mm256_mul_epu32(_mm256_srli_epi64(n, 32), multiplier), shift);
  return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

// Eight 32-bit lanes from `p` (a named type: a lambda without captures would also convert to a
// plain function returning a vector, which the baseline flags cannot call).
struct SWholeLoad {
  [[gnu::always_inline]] VANTORIA_AVX2 __m256i operator()(const std::uint32_t* p) const {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
};

template <int N>
VANTORIA_AVX2 void weighRowsAvx2(const std::uint32_t* const* rows, const std::uint32_t* weights, std::uint32_t half,
                                 std::uint32_t divisor, int dw, std::uint32_t* out) {
  const SIntegerDivision& division = divisionBy(divisor);
  const __m256i by = _mm256_set1_epi32(static_cast<int>(division.multiplier));
  const __m128i shift = _mm_cvtsi32_si128(division.shift);
  const __m256i start = _mm256_set1_epi32(static_cast<int>(half));
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  __m256i w[N];
  for (int k = 0; k < N; ++k) w[k] = _mm256_set1_epi32(static_cast<int>(weights[k]));
  const std::ptrdiff_t plane = dw;
  // Eight pixels from x on, their sums read through `load` (whole registers, or masked at the end).
  const auto pixelsAt = [&](int x, auto load) VANTORIA_AVX2 {
    __m256i red = start, green = start, blue = start;
    for (int k = 0; k < N; ++k) {
      const std::uint32_t* p = rows[k] + x;
      red = _mm256_add_epi32(red, _mm256_mullo_epi32(load(p), w[k]));
      green = _mm256_add_epi32(green, _mm256_mullo_epi32(load(p + plane), w[k]));
      blue = _mm256_add_epi32(blue, _mm256_mullo_epi32(load(p + 2 * plane), w[k]));
    }
    return _mm256_or_si256(
        _mm256_or_si256(opaque, _mm256_slli_epi32(quotientsAvx2(red, by, shift), 16)),
        _mm256_or_si256(_mm256_slli_epi32(quotientsAvx2(green, by, shift), 8), quotientsAvx2(blue, by, shift)));
  };
  int x = 0;
  for (; x + 8 <= dw; x += 8)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                        pixelsAt(x, SWholeLoad{}));
  if (x < dw) {
    const __m256i mask = _mm256_cmpgt_epi32(_mm256_set1_epi32(dw - x), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    _mm256_maskstore_epi32(reinterpret_cast<int*>(out + x), mask,
                           pixelsAt(x, [mask](const std::uint32_t* p) VANTORIA_AVX2 {
                             return _mm256_maskload_epi32(reinterpret_cast<const int*>(p), mask);
                           }));
  }
}

// Eight pixels' colours from their palette indices (the low byte of each 32-bit lane): the slot
// of each index's nibbles, then its colour from two registers of eight.
[[gnu::always_inline]] VANTORIA_AVX2 inline __m256i slotColoursAvx2(__m256i index, __m256i slotLow, __m256i slotHigh,
                                                                     __m256i fromHigh, __m256i colours0,
                                                                     __m256i colours1) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i lo = _mm256_and_si256(index, nibble);
  const __m256i hi = _mm256_and_si256(_mm256_srli_epi32(index, 4), nibble);
  // The upper bytes of each lane pick table entry 0; only the lowest four bits count below.
  const __m256i slot = _mm256_blendv_epi8(_mm256_shuffle_epi8(slotLow, lo), _mm256_shuffle_epi8(slotHigh, hi),
                                          _mm256_shuffle_epi8(fromHigh, hi));
  const __m256 first = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(colours0, slot));
  const __m256 second = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(colours1, slot));
  return _mm256_castps_si256(_mm256_blendv_ps(first, second, _mm256_castsi256_ps(_mm256_slli_epi32(slot, 28))));
}

template <bool Stream>
VANTORIA_AVX2 void nearestSlotsAvx2(const std::uint8_t* row, const std::uint8_t* ahead, const SChannelTables& tables,
                                    const SNearestPlan& plan, std::uint32_t* d) {
  const __m256i slotLow = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(tables.slotLow)));
  const __m256i slotHigh = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(tables.slotHigh)));
  const __m256i fromHigh = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(tables.fromHigh)));
  const __m256i colours0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.slotColour));
  const __m256i colours1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.slotColour + 8));
  const std::uint8_t* pattern = plan.pattern.data();
  const std::int32_t* base = plan.base.data();
  for (int b = 0; b < plan.blocks; ++b, pattern += 32, base += 2, d += kAvx2NearestPixels) {
    if (ahead != nullptr && (b & 1) == 0) _mm_prefetch(reinterpret_cast<const char*>(ahead + base[0]), _MM_HINT_T0);
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + base[0]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + base[1])), 1);
    const __m256i index = _mm256_shuffle_epi8(bytes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pattern)));
    const __m256i pixels = slotColoursAvx2(index, slotLow, slotHigh, fromHigh, colours0, colours1);
    if constexpr (Stream)
      _mm256_stream_si256(reinterpret_cast<__m256i*>(d), pixels);
    else
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), pixels);
  }
}

template <bool Stream>
VANTORIA_AVX2 void nearestRowAvx2(const std::uint8_t* row, const std::uint8_t* ahead, const SChannelTables& tables,
                                  const SNearestPlan& plan, std::uint32_t* d) {
  // A gather costs several times the slot lookups on processors of this kind.
  if (tables.bySlots) return nearestSlotsAvx2<Stream>(row, ahead, tables, plan, d);
  const int* rgb = reinterpret_cast<const int*>(tables.rgb);
  const std::uint8_t* pattern = plan.pattern.data();
  const std::int32_t* base = plan.base.data();
  for (int b = 0; b < plan.blocks; ++b, pattern += 32, base += 2, d += kAvx2NearestPixels) {
    if (ahead != nullptr && (b & 1) == 0) _mm_prefetch(reinterpret_cast<const char*>(ahead + base[0]), _MM_HINT_T0);
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + base[0]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + base[1])), 1);
    const __m256i index = _mm256_shuffle_epi8(bytes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pattern)));
    const __m256i pixels = _mm256_i32gather_epi32(rgb, index, 4);
    if constexpr (Stream)
      _mm256_stream_si256(reinterpret_cast<__m256i*>(d), pixels);
    else
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), pixels);
  }
}

VANTORIA_AVX2 void areaRowsAvx2(const std::uint8_t* const* rows, const std::uint8_t* const* ahead, int count,
                                const SChannelTables& tables, const SAreaPlan& plan, int dw,
                                std::uint32_t* const* planes) {
  const auto table = [](const std::uint8_t* t) { return reinterpret_cast<const __m128i*>(t); };
  const __m256i slotLow = _mm256_broadcastsi128_si256(_mm_load_si128(table(tables.slotLow)));
  const __m256i slotHigh = _mm256_broadcastsi128_si256(_mm_load_si128(table(tables.slotHigh)));
  const __m256i fromHigh = _mm256_broadcastsi128_si256(_mm_load_si128(table(tables.fromHigh)));
  // Each slot's red, green and blue byte (16 of them a register half).
  alignas(16) std::uint8_t channels[3][16];
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 3; ++c) channels[c][i] = static_cast<std::uint8_t>(tables.slotColour[i] >> (16 - 8 * c));
  const __m256i red = _mm256_broadcastsi128_si256(_mm_load_si128(table(channels[0])));
  const __m256i green = _mm256_broadcastsi128_si256(_mm_load_si128(table(channels[1])));
  const __m256i blue = _mm256_broadcastsi128_si256(_mm_load_si128(table(channels[2])));
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const std::ptrdiff_t plane = dw;
  const std::uint8_t* pattern = plan.pattern.data();
  const std::int16_t* weights = plan.weights.data();
  const std::int32_t* base = plan.base.data();
  const std::uint64_t* have = plan.loadMask.data();
  for (int b = 0; b < plan.blocks; ++b, pattern += 64, weights += 32, base += 2, have += 2) {
    const __m256i pickA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pattern));
    const __m256i pickB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pattern + 32));
    const __m256i weightA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights));
    const __m256i weightB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 16));
    const bool whole = have[0] >= 16 && have[1] >= 16;
    const int d0 = b * kAvx2AreaPixels;
    const int left = dw - d0;
    for (int r = 0; r < count; ++r) {
      const std::uint8_t* row = rows[r];
      if (ahead[r] != nullptr && (b & 3) == 0) _mm_prefetch(reinterpret_cast<const char*>(ahead[r] + base[0]), _MM_HINT_T1);
      __m256i bytes;
      if (whole) {
        bytes = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + base[0]))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + base[1])), 1);
      } else {
        // The row's last bytes, zeros past its end (no tap reads them).
        alignas(32) std::uint8_t tail[32] = {};
        for (int half = 0; half < 2; ++half)
          for (std::uint64_t i = 0; i < have[half]; ++i)
            tail[16 * half + static_cast<int>(i)] = row[base[half] + static_cast<std::int32_t>(i)];
        bytes = _mm256_load_si256(reinterpret_cast<const __m256i*>(tail));
      }
      const __m256i lo = _mm256_and_si256(bytes, nibble);
      const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble);
      const __m256i slot = _mm256_blendv_epi8(_mm256_shuffle_epi8(slotLow, lo), _mm256_shuffle_epi8(slotHigh, hi),
                                              _mm256_shuffle_epi8(fromHigh, hi));
      // Taps 0 and 1, then 2 and 3, of each pixel summed in its own 32-bit lane: pixels 0..3 of
      // each half in order.
      const auto sums = [&](__m256i channel) VANTORIA_AVX2 {
        const __m256i colour = _mm256_shuffle_epi8(channel, slot);
        return _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(colour, pickA), weightA),
                                _mm256_madd_epi16(_mm256_shuffle_epi8(colour, pickB), weightB));
      };
      const __m256i r0 = sums(red), g0 = sums(green), b0 = sums(blue);
      std::uint32_t* out = planes[r] + d0;
      if (left >= kAvx2AreaPixels) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), r0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + plane), g0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * plane), b0);
      } else {
        const __m256i store = _mm256_cmpgt_epi32(_mm256_set1_epi32(left), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        _mm256_maskstore_epi32(reinterpret_cast<int*>(out), store, r0);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(out + plane), store, g0);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(out + 2 * plane), store, b0);
      }
    }
  }
}

// Whole cache lines only (two stores each): a line written partly past the caches and partly
// through them costs far more than either.
VANTORIA_AVX2 void streamCopyAvx2(std::uint32_t* d, const std::uint32_t* s, int count) {
  int x = 0;
  for (; x < count && (reinterpret_cast<std::uintptr_t>(d + x) & 63) != 0; ++x) d[x] = s[x];
  for (; x + 16 <= count; x += 16) {
    _mm256_stream_si256(reinterpret_cast<__m256i*>(d + x), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x)));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(d + x + 8),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x + 8)));
  }
  for (; x < count; ++x) d[x] = s[x];
}

VANTORIA_AVX2 void stretchRowAvx2(std::uint32_t* d, const std::uint32_t* s, int sourceWidth, const std::int32_t* xs,
                                  int count) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const std::int32_t base = xs[i];
    if (xs[i + 7] - base > 7) {  // shrinking here: not one register of source pixels
      for (int k = i; k < i + 8; ++k) d[k] = s[xs[k]];
      continue;
    }
    const __m256i pick =
        _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(xs + i)), _mm256_set1_epi32(base));
    const int have = std::min(8, sourceWidth - base);
    const __m256i pixels =
        have == 8 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + base))
                  : _mm256_maskload_epi32(reinterpret_cast<const int*>(s + base),
                                          _mm256_cmpgt_epi32(_mm256_set1_epi32(have), lanes));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_permutevar8x32_epi32(pixels, pick));
  }
  for (; i < count; ++i) d[i] = s[xs[i]];
}

}  // namespace

bool WeighRows(const std::uint32_t* const* rows, const std::uint32_t* weights, int n, std::uint32_t half,
               std::uint32_t divisor, double reciprocal, int dw, std::uint32_t* out) {
  if (ActiveKernel() == EKernel::Avx2) {
    if (divisor == 0 || divisor >= (1u << 23)) return false;
    switch (n) {
      case 1: weighRowsAvx2<1>(rows, weights, half, divisor, dw, out); return true;
      case 2: weighRowsAvx2<2>(rows, weights, half, divisor, dw, out); return true;
      case 3: weighRowsAvx2<3>(rows, weights, half, divisor, dw, out); return true;
      case 4: weighRowsAvx2<4>(rows, weights, half, divisor, dw, out); return true;
      case 5: weighRowsAvx2<5>(rows, weights, half, divisor, dw, out); return true;
      case 6: weighRowsAvx2<6>(rows, weights, half, divisor, dw, out); return true;
      case 7: weighRowsAvx2<7>(rows, weights, half, divisor, dw, out); return true;
      case 8: weighRowsAvx2<8>(rows, weights, half, divisor, dw, out); return true;
      default: return false;
    }
  }
  if (ActiveKernel() != EKernel::Avx512) return false;
  switch (n) {
    case 1: weighRowsWide<1>(rows, weights, half, reciprocal, dw, out); return true;
    case 2: weighRowsWide<2>(rows, weights, half, reciprocal, dw, out); return true;
    case 3: weighRowsWide<3>(rows, weights, half, reciprocal, dw, out); return true;
    case 4: weighRowsWide<4>(rows, weights, half, reciprocal, dw, out); return true;
    case 5: weighRowsWide<5>(rows, weights, half, reciprocal, dw, out); return true;
    case 6: weighRowsWide<6>(rows, weights, half, reciprocal, dw, out); return true;
    case 7: weighRowsWide<7>(rows, weights, half, reciprocal, dw, out); return true;
    case 8: weighRowsWide<8>(rows, weights, half, reciprocal, dw, out); return true;
    default: return false;
  }
}

void AreaRows(const std::uint8_t* const* rows, const std::uint8_t* const* ahead, int count,
              const SChannelTables& tables, const SAreaPlan& plan, int dw, std::uint32_t* const* planes) {
  if (plan.blocks <= 0) return;
  if (plan.kernel == EKernel::Avx2)
    areaRowsAvx2(rows, ahead, count, tables, plan, dw, planes);
  else if (plan.taps == 4)
    areaRowsWide<4>(rows, ahead, count, tables, plan, dw, planes);
  else
    areaRowsWide<8>(rows, ahead, count, tables, plan, dw, planes);
}

void NearestRow(const std::uint8_t* row, const std::uint8_t* ahead, const SChannelTables& tables,
                const SNearestPlan& plan, std::uint32_t* d, bool stream) {
  if (plan.blocks <= 0) return;
  if (plan.kernel == EKernel::Avx2) {
    if (stream && (reinterpret_cast<std::uintptr_t>(d) & 31) == 0)
      nearestRowAvx2<true>(row, ahead, tables, plan, d);
    else
      nearestRowAvx2<false>(row, ahead, tables, plan, d);
  } else if (stream && (reinterpret_cast<std::uintptr_t>(d) & 63) == 0)
    nearestRowWide<true>(row, ahead, tables, plan, d);
  else
    nearestRowWide<false>(row, ahead, tables, plan, d);
}

void StreamFence() { _mm_sfence(); }

namespace {

VANTORIA_WIDE void streamCopyWide(std::uint32_t* d, const std::uint32_t* s, int count) {
  int x = 0;
  for (; x < count && (reinterpret_cast<std::uintptr_t>(d + x) & 63) != 0; ++x) d[x] = s[x];
  for (; x + 16 <= count; x += 16) _mm512_stream_si512(reinterpret_cast<__m512i*>(d + x), _mm512_loadu_si512(s + x));
  for (; x < count; ++x) d[x] = s[x];
}

VANTORIA_WIDE void stretchRowWide(std::uint32_t* d, const std::uint32_t* s, int sourceWidth, const std::int32_t* xs,
                                  int count) {
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const std::int32_t base = xs[i];
    if (xs[i + 15] - base > 15) {  // shrinking here: not one register of source pixels
      for (int k = i; k < i + 16; ++k) d[k] = s[xs[k]];
      continue;
    }
    const __m512i pick = _mm512_sub_epi32(_mm512_loadu_si512(xs + i), _mm512_set1_epi32(base));
    const int have = std::min(16, sourceWidth - base);
    const __m512i pixels = _mm512_maskz_loadu_epi32(static_cast<__mmask16>((1u << have) - 1), s + base);
    _mm512_storeu_si512(d + i, _mm512_permutexvar_epi32(pick, pixels));
  }
  for (; i < count; ++i) d[i] = s[xs[i]];
}

}  // namespace

bool StretchRow(std::uint32_t* d, const std::uint32_t* s, int sourceWidth, const std::int32_t* xs, int count) {
  switch (ActiveKernel()) {
    case EKernel::Avx512: stretchRowWide(d, s, sourceWidth, xs, count); return true;
    case EKernel::Avx2: stretchRowAvx2(d, s, sourceWidth, xs, count); return true;
    case EKernel::Portable: break;
  }
  return false;
}

bool StreamCopy(std::uint32_t* d, const std::uint32_t* s, int count) {
  switch (ActiveKernel()) {
    case EKernel::Avx512: streamCopyWide(d, s, count); return true;
    case EKernel::Avx2: streamCopyAvx2(d, s, count); return true;
    case EKernel::Portable: break;
  }
  return false;
}

#else

// Never planned on this build: the callers keep to their own loops.
void AreaRows(const std::uint8_t* const*, const std::uint8_t* const*, int, const SChannelTables&, const SAreaPlan&, int,
              std::uint32_t* const*) {}
void NearestRow(const std::uint8_t*, const std::uint8_t*, const SChannelTables&, const SNearestPlan&, std::uint32_t*,
                bool) {}
void StreamFence() {}
bool StreamCopy(std::uint32_t*, const std::uint32_t*, int) { return false; }
bool WeighRows(const std::uint32_t* const*, const std::uint32_t*, int, std::uint32_t, std::uint32_t, double, int,
               std::uint32_t*) {
  return false;
}
bool StretchRow(std::uint32_t*, const std::uint32_t*, int, const std::int32_t*, int) { return false; }

#endif

}  // namespace sheetkernels
