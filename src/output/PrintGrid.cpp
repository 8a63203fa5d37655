#include "output/PrintGrid.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "geodesy/MagneticDeclination.h"

namespace print {

namespace {
int trunc32(double v) {
  if (!(v == v) || std::abs(v) > 2e9) return 0;
  return static_cast<int>(v);
}
constexpr double kSecondToM = 6371000.0 * 3.14159265358979323846 / (180.0 * 3600.0);
}  // namespace

double PrinterDpi(const PrintInfo& info) { return info.printerDpiX > 0.0 ? info.printerDpiX : 96.0 * info.dpiRatioX; }

SGridOverlayOptions PrintGridOptions(const SGridOverlayOptions& base, const SheetFrame& printerFrame,
                                     const PrintInfo& info) {
  SGridOverlayOptions o = base;
  const double dpi = PrinterDpi(info);
  const double ratio = info.dpiRatioX > 0.0 ? info.scaleX / info.dpiRatioX : 1.0;
  o.utmSpacingM = UtmSpacingForRatio(ratio);
  o.graticuleSpacingSec = GraticuleSpacingFor(printerFrame.latitudeStep(o.graticuleDatum).TotalSeconds(), ratio,
                                              60.0 * std::max(1.0, info.dpiRatioX));
  // 4 cm of paper in ground metres at the print's scale.
  const double paperPixels = 0.04 / 0.0254 * dpi;
  o.magneticSpacingM = paperPixels * printerFrame.latitudeStep(Datum::Wgs84).TotalSeconds() * kSecondToM;
  o.lineWidth = std::max(1.0, 0.15 / 25.4 * dpi);
  o.labelPixelSize = std::max(8, trunc32(11 * info.dpiRatioX));
  return o;
}

void DrawPageGrid(QPainter& painter, const SheetFrame& printerFrame, const SGridOverlayOptions& options,
                  PrintOptionFlags bits, const PrintInfo& info, const QRect& src, const QRect& dest) {
  if (!(bits & kOptGridMask) || src.isEmpty() || dest.isEmpty() || info.scaleX <= 0.0) return;
  SGridOverlayOptions o = options;
  o.utm = (bits & kOptUtmGrid) != 0;
  o.graticule = (bits & kOptGraticule) != 0;
  o.magneticNorth = (bits & kOptMagneticNorth) != 0;
  // The frame is in horizontal printer pixels on both axes; the painter stretches the vertical
  // one when the printer's resolutions differ, as for the trek overlays.
  const double stretch = info.scaleY / info.scaleX;
  const QRect area(trunc32(src.left() * info.scaleX), trunc32(src.top() * info.scaleX), dest.width(),
                   trunc32(dest.height() / stretch));
  CGridOverlay grid;
  grid.Build(printerFrame, area, o);
  painter.save();
  painter.setClipRect(dest);
  painter.translate(dest.left(), dest.top());
  painter.scale(1.0, stretch);
  grid.Paint(painter, -QPointF(area.topLeft()));
  painter.restore();
}

SPrintDeclination PrintDeclination(const SheetFrame& unitFrame, const QRect& sourceRect, double decimalYear) {
  SPrintDeclination out;
  const QPoint c = sourceRect.center();
  const std::optional<GeoPosition> g = unitFrame.PixelToGeo(c.x(), c.y(), Datum::Wgs84);
  if (!g) return out;
  out.degrees = geodesy::Wmm2025().Declination(g->latitude.ToDegrees(), g->longitude.ToDegrees(),
                                               decimalYear);
  out.text = geodesy::DeclinationHeaderText(out.degrees, static_cast<int>(std::floor(decimalYear)));
  return out;
}

}  // namespace print
