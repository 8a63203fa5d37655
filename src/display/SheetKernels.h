#pragma once
// Wide-vector kernels of the sheet resamplers for processors with byte permutes across a 64-byte
// register (and the x86-64 build of GCC or Clang that can make them). They give the same integers
// as the portable loops in ScaledSheetBitmap.cpp, which every other processor runs.
#include <cstdint>
#include <vector>

namespace sheetkernels {

/// One byte table a colour channel (red, green, blue), indexed by the sheet's palette index.
struct SChannelTables {
  alignas(64) std::uint8_t channel[3][256];
};

/// True when the processor has the kernels and they are not switched off.
[[nodiscard]] bool WideAvailable();
/// Switches the kernels off (tests and measurements reaching the portable loops) or back on.
void SetWideAllowed(bool allowed);

/// The horizontal area average of 8-bit rows cut into blocks of destination pixels: a block of
/// 64 / `taps` pixels reads 64 sheet bytes from `base` and picks `taps` of them for each pixel.
struct SAreaPlan {
  int taps = 0;      ///< 4 or 8 (missing taps have weight 0)
  int blocks = 0;
  std::vector<std::uint8_t> pattern;    ///< 64 byte offsets a block, a pixel's taps in fours
  std::vector<std::int16_t> weights;    ///< 64 a block: those of the even bytes of `pattern`, then the odd
  std::vector<std::int32_t> base;       ///< first sheet column a block reads
  std::vector<std::uint64_t> loadMask;  ///< which of those 64 bytes lie inside the row
};
/// Plans the columns of one render from the axis taps (first column and `taps` weights per
/// destination pixel). False when the taps do not fit the kernel (too many, weights beyond
/// 16 bits, a block reaching further than 64 bytes) or the processor lacks it.
bool PlanArea(const std::int32_t* first, const std::uint32_t* weights, int taps, int srcWidth, int dw,
              SAreaPlan& plan);
/// Reduces `count` sheet rows (1 to 4). Row r's sums go to planes[r]: red at [0, dw), green at
/// [dw, 2 dw), blue at [2 dw, 3 dw), each the weighted sum of the row's channel bytes. ahead[r]
/// (null for none) is a row the next call will read, fetched into the caches meanwhile.
void AreaRows(const std::uint8_t* const* rows, const std::uint8_t* const* ahead, int count,
              const SChannelTables& tables, const SAreaPlan& plan, int dw, std::uint32_t* const* planes);

/// One destination row of the area average from `n` horizontally reduced rows (planes as
/// AreaRows leaves them) and their weights: quotient = trunc((sum + half + 0.5) x reciprocal) in
/// double precision, per channel, assembled into opaque RGB32. For sums + half below 2^31. False,
/// writing nothing, where the processor lacks the kernel or n is not 1 to 8.
bool WeighRows(const std::uint32_t* const* rows, const std::uint32_t* weights, int n, std::uint32_t half,
               double reciprocal, int dw, std::uint32_t* out);

/// The nearest-pixel copy of 8-bit rows in blocks of 64 destination pixels, each quarter reading
/// 64 sheet bytes from its own base.
struct SNearestPlan {
  int blocks = 0;  ///< destination pixels [0, 64 x blocks) go through the kernel
  std::vector<std::uint8_t> pattern;    ///< 64 byte offsets a block, in the order the pixels are built
  std::vector<std::int32_t> base;       ///< 4 a block
  std::vector<std::uint64_t> loadMask;  ///< 4 a block
};
/// Plans from the source column of every destination pixel. False when even a quarter block
/// spans more than 64 sheet bytes (ratios below about a quarter) or the processor lacks it.
bool PlanNearest(const std::int32_t* xmap, int srcWidth, int dw, SNearestPlan& plan);
/// Writes pixels [0, 64 x blocks) of one destination row as opaque RGB32; with `stream` and `d`
/// on a 64-byte boundary the row is written past the caches (the caller fences once at the end).
/// `ahead` (null for none) is the row the next call reads, fetched into the caches meanwhile.
void NearestRow(const std::uint8_t* row, const std::uint8_t* ahead, const SChannelTables& tables,
                const SNearestPlan& plan, std::uint32_t* d, bool stream);
/// Orders the stores written with `stream` before what follows.
void StreamFence();

/// d[i] = s[xs[i]] for i < count, for rising xs below `sourceWidth` (fastest when it rises by at
/// most one a pixel: a stretch). False, writing nothing, where the processor lacks the kernel.
bool StretchRow(std::uint32_t* d, const std::uint32_t* s, int sourceWidth, const std::int32_t* xs, int count);

/// Copies `count` pixels past the caches, a whole cache line per store (false, copying nothing,
/// where the processor lacks it); the caller fences once at the end.
bool StreamCopy(std::uint32_t* d, const std::uint32_t* s, int count);

}  // namespace sheetkernels
