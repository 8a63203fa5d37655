#pragma once
// The recoloured copy of the open sheet at the display ratio (never above 100 %: larger ratios are
// stretched from the 100 % copy while painting). One instance per view; its pixel memory is kept
// and reused across renders and sheets.
#include <QImage>
#include <QSize>
#include <cstdint>
#include <memory>
#include <vector>

#include "display/MapColourScheme.h"
#include "platform/LargeBuffer.h"

class SheetImage;

class ScaledSheetBitmap {
 public:
  enum class EResample { Nearest, AreaAverage };
  struct SScratch;  ///< per-worker buffers, kept between renders
  struct SWidePlans;  ///< the wide-vector kernels' tables and plans

  ScaledSheetBitmap();
  ~ScaledSheetBitmap();
  ScaledSheetBitmap(const ScaledSheetBitmap&) = delete;
  ScaledSheetBitmap& operator=(const ScaledSheetBitmap&) = delete;

  /// The sheet to render (not owned; null for none). Its colour table is rewritten by Render().
  void setSource(SheetImage* image) { m_source = image; }
  [[nodiscard]] SheetImage* source() const { return m_source; }
  /// Colours, hidden layers and display quality of the following renders (the built-in
  /// defaults until set).
  void setRenderSettings(const SMapRenderSettings& settings) { m_settings = settings; }
  [[nodiscard]] const SMapRenderSettings& renderSettings() const { return m_settings; }
  /// Worker threads for large renders (1 or 2); the call stays synchronous.
  void setThreadCount(int threads) { m_threads = threads < 2 ? 1 : 2; }

  /// Renders the whole sheet at `ratio` with the palette of `series` (2 = 1:50,000, else
  /// 1:25,000). Size is trunc(source size x ratio). Returns (0, 0), keeping nothing, when there is
  /// no image (or one that cannot be shown: bit counts other than 8 and 24, or a ratio that is
  /// not a positive number or would make an unreasonably large copy).
  QSize Render(double ratio, int series);
  /// The same with the resampling chosen by the caller (print and export, and measurements).
  QSize Render(double ratio, int series, EResample mode);

  [[nodiscard]] QSize Size() const { return m_ready ? m_size : QSize(0, 0); }
  /// The rendered copy (RGB32, opaque), sharing this object's memory: valid until the next
  /// Render() or Release(). Null before a successful render.
  [[nodiscard]] const QImage& Surface() const { return m_surface; }
  [[nodiscard]] bool isReady() const { return m_ready; }
  [[nodiscard]] QSize sourceSize() const { return m_sourceSize; }
  /// Forgets the rendered copy and gives its memory back.
  void Release();

  /// Area averaging applies for display quality 1 and 0.15 < ratio < 1; nearest pixel otherwise.
  [[nodiscard]] static EResample ResampleFor(int dispQuality, double ratio);
  /// trunc(width x ratio), trunc(height x ratio); (0, 0) for a ratio that is not a positive number.
  [[nodiscard]] static QSize ScaledSize(int width, int height, double ratio);

  /// Most pixels a rendered copy may have (1 GiB of RGB32).
  static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;

 private:
  bool ensureCapacity(std::int64_t pixels);

  SheetImage* m_source = nullptr;
  SMapRenderSettings m_settings;
  int m_threads = 2;
  bool m_ready = false;
  QSize m_size;
  QSize m_sourceSize;
  platform::CLargeBuffer m_memory;
  QImage m_surface;
  std::vector<SScratch> m_scratch;  // per worker, kept between renders
  std::unique_ptr<SWidePlans> m_wide;
};
