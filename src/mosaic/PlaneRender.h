#pragma once
// Rendering a box of the plane from the sheets that lie in it: each display pixel shows the sheet
// that owns the position of its centre (north and east edges excluded), resampled through that
// sheet's own frame corners, so adjoining sheets meet without a gap or a doubled row. Pure
// function of its inputs: safe on any thread.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "mosaic/MapCollection.h"

class SheetImage;

namespace mosaic {

/// Where no sheet is, and where a sheet is still being read.
inline constexpr std::uint32_t kEmptyColour = 0xFFD4D4D4u;
/// The two colours of the hatching over a sheet that cannot be read.
inline constexpr std::uint32_t kHatchLight = 0xFFE6E6E6u;
inline constexpr std::uint32_t kHatchDark = 0xFF9A9A9Au;

enum class ESheetState { Ready, Loading, Failed };

/// One sheet as a render sees it.
struct SRenderSheet {
  SSheetPlacement placement;
  ESheetState state = ESheetState::Loading;
  /// The decoded sheet (8-bit with `palette`, or 24-bit), or a reduced copy (RGB32) standing for
  /// the sheet at 1 / `reduction` of its pixels. Neither for a sheet loading or failed.
  const SheetImage* sheet = nullptr;
  const QImage* reduced = nullptr;
  int reduction = 1;
  /// The reduced copy starts at the frame's north-west pixel (else at the image's).
  bool reducedFromFrame = true;
};

struct SPlaneRenderJob {
  const SMapPlane* plane = nullptr;
  double ratio = 1.0;  ///< display (device) pixels per plane pixel
  QRect box;           ///< display pixels of the plane at `ratio` to render
  /// 256 opaque RGB32 colours for the sheets' pixel values (the series' layer palette).
  const std::array<std::uint32_t, 256>* palette = nullptr;
  /// Area averaging (each display pixel the mean of the sheet pixels whose centres it covers)
  /// rather than the nearest pixel.
  bool areaAverage = false;
};

/// Renders `job.box` onto `to`, whose pixel (0, 0) shows display pixel `toOrigin` of the plane.
/// Pixels of `to` outside the image are skipped. Only pixels inside a sheet's frame are read (its
/// neat line and collar never show), also at the frame's edges. True when sheets drew every
/// pixel of the box (none left empty or waiting for its sheet).
bool RenderPlaneBox(const SPlaneRenderJob& job, std::span<const SRenderSheet> sheets, QImage& to,
                    const QPoint& toOrigin);

/// Display columns [first, last) at `ratio` whose centres lie in [west, east) (seconds), and rows
/// [first, last) whose centres lie in [south, north): the pixels a frame owns, clipped to the box.
struct SOwnedRange {
  int first = 0;
  int last = 0;
};
[[nodiscard]] SOwnedRange OwnedColumns(const SMapPlane& plane, double ratio, double west, double east, int from,
                                       int to);
[[nodiscard]] SOwnedRange OwnedRows(const SMapPlane& plane, double ratio, double north, double south, int from,
                                    int to);

/// The plane box (seconds) covered by display pixels `box` at `ratio`.
[[nodiscard]] SFrameSeconds BoxSeconds(const SMapPlane& plane, double ratio, const QRect& box);

/// The 256-entry colour table of a series' layer palette as opaque RGB32.
[[nodiscard]] std::array<std::uint32_t, 256> PaletteColours(std::span<const std::uint8_t> bgrxTable);

}  // namespace mosaic
