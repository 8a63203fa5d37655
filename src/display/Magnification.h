#pragma once
// Magnification codes and the arithmetic of the view's zoom commands: ratios, the right-click
// zoom steps, zooming to a dragged rectangle and centring the scroll position. No widgets.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <optional>

/// > 0 a percentage, < 0 minus the denominator N of the map scale 1:N, 0 the ratio 1.0.
using MagnificationCode = std::int32_t;

/// Display pixels per sheet-image pixel for `code`. A map scale depends on the screen's
/// horizontal pixels per inch and on the series (1 = 1:25,000: 2.5 ground metres per sheet
/// pixel, 2 = 1:50,000: 5 m, anything else 1 m).
[[nodiscard]] double MagnificationToRatio(MagnificationCode code, int series, double dpiX);

/// The horizontal pixels per inch a map scale on screen is measured with, both densities in
/// the same (device-independent) pixels: the screen's real density where the system reports a
/// believable one (within a factor of 4 of the logical density), so that 1:N on a monitor
/// that tells its size is true size; the logical density otherwise (no size reported, or a
/// made-up one).
[[nodiscard]] double MapScaleDpi(double physicalDpi, double logicalDpi);

/// False for codes that would give absurd sizes (a remembered value from outside): percentages
/// above 1,600 and map scales outside 1:100 .. 1:10,000,000.
[[nodiscard]] bool IsUsableMagnification(MagnificationCode code);

/// The right-click zoom steps, in percent.
inline constexpr int kZoomSteps[] = {10, 25, 50, 75, 100, 125, 150, 200, 300, 500};
/// Largest percentage zooming to a rectangle gives.
inline constexpr int kMaxRectangleZoom = 500;

/// The step after `ratio` in the zoom direction; none beyond the ends of the list.
[[nodiscard]] std::optional<int> NextZoomStep(double ratio, bool zoomIn);
/// The seamless map's steps: those of the list, and 5, 2 and 1 % below it for a collection of
/// many sheets.
inline constexpr int kSeamlessZoomSteps[] = {1, 2, 5};
[[nodiscard]] std::optional<int> NextSeamlessZoomStep(double ratio, bool zoomIn);

struct SRectangleZoom {
  int percent = 0;
  QPoint centre;  ///< sheet pixels
};
/// The percentage that fits `rect` (sheet pixels) into the client area, at most 500 and at
/// least 1, and the rectangle's centre.
[[nodiscard]] SRectangleZoom RectangleZoom(const QSize& client, const QRect& rect);

/// Scroll position along one axis that shows view pixel `viewCentre` in the middle of the
/// client; 0 when that would be negative or when the client is at least as large as the map.
[[nodiscard]] int CentredScroll(int viewCentre, int clientExtent, int mapExtent);

/// The sheet pixel in the middle of the visible area along one axis.
[[nodiscard]] int VisibleCentre(int scroll, int clientExtent, int mapExtent, double ratio);

/// trunc(sheet x ratio) and trunc(view / ratio): the view's two conversions.
[[nodiscard]] int SheetToView(int sheet, double ratio);
[[nodiscard]] int ViewToSheet(int view, double ratio);
