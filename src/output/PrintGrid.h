#pragma once
// Grid lines on printed pages: the UTM grid, the graticule and magnetic-north lines 4 cm apart on
// the paper, each page labelled inside its own map part, and the declination for the header.
#include <QRect>
#include <string>

#include "display/GridOverlay.h"
#include "geodesy/SheetFrame.h"
#include "output/PrintInfo.h"

class QPainter;

namespace print {

/// Printer dots per inch across: the record's, else the screen's 96 times the ratio.
[[nodiscard]] double PrinterDpi(const PrintInfo& info);
/// The look of the lines on paper: the colours and datum of `base`, the spacings of the print's
/// scale on `printerFrame` (the sheet's frame in printer pixels), lines about 0.15 mm wide.
[[nodiscard]] SGridOverlayOptions PrintGridOptions(const SGridOverlayOptions& base, const SheetFrame& printerFrame,
                                                   const PrintInfo& info);
/// Draws the lines of `options` (the option bits pick them) over one page's map part: `src` its
/// source in sheet pixels, `dest` where it lies in printer pixels of the painter.
void DrawPageGrid(QPainter& painter, const SheetFrame& printerFrame, const SGridOverlayOptions& options,
                  PrintOptionFlags bits, const PrintInfo& info, const QRect& src, const QRect& dest);
/// The declination in the middle of `sourceRect` (sheet pixels of `unitFrame`, the frame at scale
/// 1) on a date (decimal year): "磁針方位 西偏 7°20′ (2026年)" (UTF-8), and the degrees.
struct SPrintDeclination {
  std::string text;
  double degrees = 0.0;
};
[[nodiscard]] SPrintDeclination PrintDeclination(const SheetFrame& unitFrame, const QRect& sourceRect, double decimalYear);

}  // namespace print
