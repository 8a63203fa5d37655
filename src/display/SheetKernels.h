#pragma once
// Vector kernels of the sheet resamplers, chosen at run time: one set for processors with byte
// permutes across a 64-byte register (AVX-512 VBMI), one for 32-byte registers (AVX2: the area
// average through nibble tables, the nearest copy through gathers, the stretch and the streaming
// copy), on the x86-64 build of GCC or Clang that can make them. They give the same integers as
// the portable loops in ScaledSheetBitmap.cpp, which every other processor runs.
#include <cstdint>
#include <vector>

namespace sheetkernels {

/// The kernel sets, from the plainest.
enum class EKernel { Portable, Avx2, Avx512 };

/// True when the processor (and this build) can run `kernel`; Portable always.
[[nodiscard]] bool KernelAvailable(EKernel kernel);
/// The set the kernels below use: the best available one unless SetKernel chose another.
[[nodiscard]] EKernel ActiveKernel();
/// Chooses the set (tests and measurements reaching each one); false, changing nothing, when the
/// processor lacks it.
bool SetKernel(EKernel kernel);
/// The best set the processor has.
[[nodiscard]] EKernel BestKernel();
/// True when a vector set is active (the plans below may then take a render).
[[nodiscard]] inline bool WideAvailable() { return ActiveKernel() != EKernel::Portable; }

/// The palette as the kernels look it up, indexed by the sheet's palette index: one byte table a
/// colour channel (red, green, blue), and the opaque RGB32 pixel.
struct SChannelTables {
  alignas(64) std::uint8_t channel[3][256];
  alignas(64) std::uint32_t rgb[256];
  /// The same palette by the index's two nibbles, where it splits so (as a layer palette does:
  /// the highest layer bit shown decides): for each high nibble h, either every index 16 h + l
  /// has colour high[.][h] (fromHigh[h] = 0xFF), or each has the colour of index l, low[.][l]
  /// (fromHigh[h] = 0). Set by SplitByNibbles; `byNibbles` tells whether the palette splits.
  bool byNibbles = false;
  alignas(16) std::uint8_t low[3][16];
  alignas(16) std::uint8_t high[3][16];
  alignas(16) std::uint8_t fromHigh[16];
  /// Where the split palette has at most 16 colours (a layer palette has 9): each nibble's colour
  /// as a number into `slotColour` (opaque RGB32), and `bySlots`.
  bool bySlots = false;
  alignas(16) std::uint8_t slotLow[16];
  alignas(16) std::uint8_t slotHigh[16];
  alignas(32) std::uint32_t slotColour[16];
};
/// Fills the nibble and slot tables of `tables` from its channel tables (and `byNibbles`, `bySlots`).
void SplitByNibbles(SChannelTables& tables);

/// The horizontal area average of 8-bit rows cut into blocks of destination pixels. AVX-512: a
/// block of 64 / `taps` pixels reads 64 sheet bytes from `base` and picks `taps` of them for
/// each pixel. AVX2: a block of 8 pixels, each half (4 pixels of up to 4 taps) reading 16 sheet
/// bytes from its own base; the colours come from the slot tables, 32 sheet bytes at a time.
struct SAreaPlan {
  EKernel kernel = EKernel::Portable;  ///< the set the plan was made for
  int taps = 0;      ///< 4 or 8 (missing taps have weight 0)
  int blocks = 0;
  /// AVX-512: 64 byte offsets a block, a pixel's taps in fours. AVX2: 64 a block, two shuffles
  /// of 32 that put taps 0, 1 and then taps 2, 3 of each pixel into neighbouring 16-bit lanes.
  std::vector<std::uint8_t> pattern;
  /// AVX-512: 64 a block, those of the even bytes of `pattern`, then the odd. AVX2: 32 a block,
  /// one for each 16-bit lane of the two shuffles.
  std::vector<std::int16_t> weights;
  std::vector<std::int32_t> base;       ///< first sheet column a block (AVX2: a half block) reads
  std::vector<std::uint64_t> loadMask;  ///< which of those 64 bytes lie inside the row (AVX2: how many of 16)
};
/// Plans the columns of one render from the axis taps (first column and `taps` weights per
/// destination pixel). False when the taps do not fit the kernel (too many: 8, AVX2 4; weights
/// beyond 15 bits; a block reaching further than 64 bytes, AVX2 a half block further than 16),
/// when AVX2 has a palette without slots (see SChannelTables), or when no vector set is active.
bool PlanArea(const std::int32_t* first, const std::uint32_t* weights, int taps, int srcWidth, int dw,
              const SChannelTables& tables, SAreaPlan& plan);
/// Reduces `count` sheet rows (1 to 4). Row r's sums go to planes[r]: red at [0, dw), green at
/// [dw, 2 dw), blue at [2 dw, 3 dw), each the weighted sum of the row's channel bytes. ahead[r]
/// (null for none) is a row the next call will read, fetched into the caches meanwhile.
void AreaRows(const std::uint8_t* const* rows, const std::uint8_t* const* ahead, int count,
              const SChannelTables& tables, const SAreaPlan& plan, int dw, std::uint32_t* const* planes);

/// One destination row of the area average from `n` horizontally reduced rows (planes as
/// AreaRows leaves them) and their weights: quotient = trunc((sum + half + 0.5) x reciprocal) in
/// double precision, per channel, assembled into opaque RGB32. With sum + half below 256 x
/// `divisor` (every area average: a quotient is a colour byte) and `divisor` below 2^23 that is
/// floor((sum + half) / divisor) exactly, which the AVX2 rows compute in integers. False,
/// writing nothing, where no vector set is active or n is not 1 to 8.
bool WeighRows(const std::uint32_t* const* rows, const std::uint32_t* weights, int n, std::uint32_t half,
               std::uint32_t divisor, double reciprocal, int dw, std::uint32_t* out);

/// The nearest-pixel copy of 8-bit rows. AVX-512: blocks of 64 destination pixels, each quarter
/// reading 64 sheet bytes from its own base. AVX2: blocks of 8 pixels, each half reading 16 sheet
/// bytes from its own base, the pixels' colours looked up through the slot tables (gathered from
/// the RGB32 table where the palette has no slots).
struct SNearestPlan {
  EKernel kernel = EKernel::Portable;  ///< the set the plan was made for
  int blocks = 0;  ///< destination pixels [0, pixels()) go through the kernel
  std::vector<std::uint8_t> pattern;    ///< 64 (AVX2: 32) byte offsets a block, in the order the pixels are built
  std::vector<std::int32_t> base;       ///< 4 (AVX2: 2) a block
  std::vector<std::uint64_t> loadMask;  ///< 4 a block (AVX-512)
  /// Destination pixels a row's kernel call writes.
  [[nodiscard]] int pixels() const { return blocks * (kernel == EKernel::Avx2 ? 8 : 64); }
};
/// Plans from the source column of every destination pixel for the active set. False when even a
/// quarter block (AVX2: half block) spans more than 64 (16) sheet bytes, ratios below about a
/// quarter (a fifth), when AVX2 has not one block whose reads stay inside the row, or no vector
/// set is active.
bool PlanNearest(const std::int32_t* xmap, int srcWidth, int dw, SNearestPlan& plan);
/// Writes pixels [0, plan.pixels()) of one destination row as opaque RGB32; with `stream` and `d`
/// on a 64-byte boundary the row is written past the caches (the caller fences once at the end).
/// `ahead` (null for none) is the row the next call reads, fetched into the caches meanwhile.
void NearestRow(const std::uint8_t* row, const std::uint8_t* ahead, const SChannelTables& tables,
                const SNearestPlan& plan, std::uint32_t* d, bool stream);
/// Orders the stores written with `stream` before what follows.
void StreamFence();

/// d[i] = s[xs[i]] for i < count, for rising xs below `sourceWidth` (fastest when it rises by at
/// most one a pixel: a stretch). False, writing nothing, where the processor lacks the kernel.
bool StretchRow(std::uint32_t* d, const std::uint32_t* s, int sourceWidth, const std::int32_t* xs, int count);

/// Pictures of at least this many bytes are written past the caches (the caller's choice, with the
/// kernels' `stream`): a quarter of the processor's last-level cache, and at least 4 MiB (4 MiB
/// where the size is unknown). A smaller picture stays in the cache, where the one who reads it
/// next (the next paint, the window system) finds it; a larger one would push out what they read.
[[nodiscard]] std::int64_t StreamBytes();
/// Sets that size (tests and measurements); 0 goes back to the processor's own.
void SetStreamBytes(std::int64_t bytes);

/// Copies `count` pixels past the caches, a whole cache line per store (false, copying nothing,
/// where the processor lacks it); the caller fences once at the end.
bool StreamCopy(std::uint32_t* d, const std::uint32_t* s, int count);

}  // namespace sheetkernels
