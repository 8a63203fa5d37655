#include "display/Magnification.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kInchesPerMetre = 39.37007874015748;

/// trunc() into int, saturating instead of overflowing.
int truncToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= double(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (v <= double(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

}  // namespace

double MagnificationToRatio(MagnificationCode code, int series, double dpiX) {
  if (code > 0) return code * 0.01;
  if (code == 0) return 1.0;
  const double n = -static_cast<double>(code);
  const auto pixelsPerMetre = static_cast<std::int64_t>(dpiX * kInchesPerMetre);
  const double groundPerPixel = series == 1 ? 2.5 : series == 2 ? 5.0 : 1.0;
  const auto numerator = static_cast<std::int64_t>(static_cast<double>(pixelsPerMetre) * groundPerPixel);
  return static_cast<double>(numerator) / n;
}

double MapScaleDpi(double physicalDpi, double logicalDpi) {
  if (!(logicalDpi > 0 && std::isfinite(logicalDpi))) logicalDpi = 96;
  if (std::isfinite(physicalDpi) && physicalDpi >= logicalDpi / 4 && physicalDpi <= logicalDpi * 4) return physicalDpi;
  return logicalDpi;
}

bool IsUsableMagnification(MagnificationCode code) {
  if (code >= 0) return code <= 1600;
  return code <= -100 && code >= -10'000'000;
}

std::optional<int> NextZoomStep(double ratio, bool zoomIn) {
  const int p = truncToInt((ratio + 0.001) * 100);
  if (zoomIn) {
    for (const int step : kZoomSteps)
      if (step > p) return step;
  } else {
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
      if (*it < p) return *it;
  }
  return std::nullopt;
}

std::optional<int> NextSeamlessZoomStep(double ratio, bool zoomIn) {
  const int p = truncToInt((ratio + 0.0001) * 100);
  if (zoomIn) {
    for (const int step : kSeamlessZoomSteps)
      if (step > p) return step;
    return NextZoomStep(ratio, true);
  }
  if (const std::optional<int> step = NextZoomStep(ratio, false)) return step;
  for (auto it = std::rbegin(kSeamlessZoomSteps); it != std::rend(kSeamlessZoomSteps); ++it)
    if (*it < p) return *it;
  return std::nullopt;
}

SRectangleZoom RectangleZoom(const QSize& client, const QRect& rect) {
  // A zero extent fits any number of times: only the other axis limits (or the cap).
  const double inf = std::numeric_limits<double>::infinity();
  const double fx = rect.width() > 0 ? double(client.width()) / rect.width() : inf;
  const double fy = rect.height() > 0 ? double(client.height()) / rect.height() : inf;
  const double percent = std::min(fx, fy) * 100;
  SRectangleZoom out;
  out.percent = percent >= kMaxRectangleZoom ? kMaxRectangleZoom : std::max(1, truncToInt(percent));
  out.centre = QPoint(rect.left() + rect.width() / 2, rect.top() + rect.height() / 2);
  return out;
}

int CentredScroll(int viewCentre, int clientExtent, int mapExtent) {
  if (clientExtent >= mapExtent) return 0;
  const int v = viewCentre - clientExtent / 2;
  return v < 0 ? 0 : v;
}

int VisibleCentre(int scroll, int clientExtent, int mapExtent, double ratio) {
  const int view = clientExtent >= mapExtent ? mapExtent / 2 : scroll + clientExtent / 2;
  return ViewToSheet(view, ratio);
}

int SheetToView(int sheet, double ratio) { return truncToInt(sheet * ratio); }

int ViewToSheet(int view, double ratio) { return ratio > 0 ? truncToInt(view / ratio) : 0; }
