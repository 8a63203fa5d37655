#include "output/PlanePrint.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geodesy/SheetFrame.h"
#include "mosaic/PlaneRender.h"
#include "output/PrintInfo.h"
#include "trek/CTrackLog.h"

namespace print {

namespace {

int clampInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 1e9) return 1000000000;
  if (v <= -1e9) return -1000000000;
  return static_cast<int>(v);
}

int pagesFor(double extent, int page) {
  if (page <= 0 || !(extent > 0)) return 1;
  const double n = std::ceil(extent / page - 1e-9);
  return n < 1 ? 1 : n > 0xFFFF ? 0xFFFF : static_cast<int>(n);
}

}  // namespace

SLocalMetres LocalMetres(const mosaic::SMapPlane& plane, const QRect& area) {
  SLocalMetres m;
  if (plane.empty() || area.isEmpty()) return m;
  const double middleRow = area.top() + area.height() / 2.0;
  const double latitude = plane.north - middleRow * plane.latStep;
  m.across = plane.MetresAcross(latitude);
  m.down = plane.MetresDown(latitude);
  m.nominal = mosaic::NominalPixelMetres(plane.series);
  return m;
}

std::vector<int> SheetsShown(const mosaic::SMapPlane& plane, const std::vector<mosaic::SCollectionSheet>& sheets,
                             const QRect& area) {
  std::vector<int> out;
  if (plane.empty() || area.isEmpty()) return out;
  const mosaic::SFrameSeconds box = mosaic::BoxSeconds(plane, 1.0, area);
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const mosaic::SCollectionSheet& s = sheets[i];
    if (s.frame.Intersects(box)) out.push_back(static_cast<int>(i));
  }
  std::sort(out.begin(), out.end(), [&sheets](int a, int b) {
    const mosaic::SFrameSeconds& fa = sheets[static_cast<std::size_t>(a)].frame;
    const mosaic::SFrameSeconds& fb = sheets[static_cast<std::size_t>(b)].frame;
    if (fa.north != fb.north) return fa.north > fb.north;
    return fa.west < fb.west;
  });
  return out;
}

std::vector<std::string> MeshCodesShown(const mosaic::SMapPlane& plane,
                                        const std::vector<mosaic::SCollectionSheet>& sheets, const QRect& area) {
  std::vector<std::string> codes;
  for (const int i : SheetsShown(plane, sheets, area)) codes.push_back(sheets[static_cast<std::size_t>(i)].record.meshCode);
  return codes;
}

QRect PlaneAreaOf(const mosaic::SMapPlane& plane, const mosaic::SFrameSeconds& box) {
  if (plane.empty() || !(box.north > box.south) || !(box.east > box.west)) return {};
  // The same ownership as the renderer's: a pixel belongs to the box its centre lies in.
  const double left = std::ceil(plane.ColumnOf(box.west, 1.0) - 0.5);
  const double right = std::ceil(plane.ColumnOf(box.east, 1.0) - 0.5);
  const double top = std::floor(plane.RowOf(box.north, 1.0) - 0.5) + 1;
  const double bottom = std::floor(plane.RowOf(box.south, 1.0) - 0.5) + 1;
  if (!(right > left) || !(bottom > top)) return {};
  if (std::abs(left) > 1e8 || std::abs(top) > 1e8 || right - left > 1e8 || bottom - top > 1e8) return {};
  return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
               static_cast<int>(bottom - top));
}

QRect ScaledBox(const QRect& area, double ratio) {
  const int left = clampInt(std::floor(ratio * area.left()));
  const int top = clampInt(std::floor(ratio * area.top()));
  const int right = clampInt(std::floor(ratio * (area.left() + area.width())));
  const int bottom = clampInt(std::floor(ratio * (area.top() + area.height())));
  return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

QRect TrackBounds(const CTrackLog& log, const SheetFrame& frame, double marginAcross, double marginDown) {
  double x0 = std::numeric_limits<double>::max(), y0 = x0, x1 = -x0, y1 = -x0;
  for (const CTrackPoint& p : log.Points()) {
    const std::optional<SFramePixel> px = frame.GeoToImagePixel(p.latitude, p.longitude, Datum::Wgs84);
    if (!px) continue;
    x0 = std::min<double>(x0, px->x);
    y0 = std::min<double>(y0, px->y);
    x1 = std::max<double>(x1, px->x);
    y1 = std::max<double>(y1, px->y);
  }
  if (x1 < x0) return {};
  const int left = clampInt(std::floor(x0 - marginAcross));
  const int top = clampInt(std::floor(y0 - marginDown));
  const int right = clampInt(std::ceil(x1 + 1 + marginAcross));
  const int bottom = clampInt(std::ceil(y1 + 1 + marginDown));
  return QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
}

std::optional<STrackPrintPlan> PlanTrackPrint(const QRect& bounds, QSize portraitMap, QSize landscapeMap,
                                              double scaleX, double scaleY) {
  if (bounds.isEmpty() || portraitMap.isEmpty() || landscapeMap.isEmpty() || !(scaleX > 0) || !(scaleY > 0))
    return std::nullopt;
  const double w = bounds.width() * scaleX;
  const double h = bounds.height() * scaleY;
  STrackPrintPlan plan;
  const int portrait = pagesFor(w, portraitMap.width()) * pagesFor(h, portraitMap.height());
  const int landscape = pagesFor(w, landscapeMap.width()) * pagesFor(h, landscapeMap.height());
  // Portrait on a tie: the paper as it usually lies in the printer.
  plan.landscape = landscape < portrait;
  const QSize map = plan.landscape ? landscapeMap : portraitMap;
  plan.pagesAcross = pagesFor(w, map.width());
  plan.pagesDown = pagesFor(h, map.height());
  plan.bounds = bounds;
  // The grid's extent in map pixels, a little short of the last page's edge so that rounding
  // never asks for one page more; the log in its middle.
  const int gridW = std::max(bounds.width(), clampInt(std::floor(plan.pagesAcross * double(map.width()) / scaleX)));
  const int gridH = std::max(bounds.height(), clampInt(std::floor(plan.pagesDown * double(map.height()) / scaleY)));
  plan.area = QRect(bounds.left() - (gridW - bounds.width()) / 2, bounds.top() - (gridH - bounds.height()) / 2, gridW,
                    gridH);
  return plan;
}

std::optional<STrackPrint> PlanTrackLogPrint(const CTrackLog& log, const SheetFrame& frame,
                                             const mosaic::SMapPlane* plane, const SDpi& dpi, QSize portraitPage,
                                             QSize landscapePage, PrintOptionFlags options, int series) {
  if (!dpi.valid()) return std::nullopt;
  const QRect raw = TrackBounds(log, frame, 0, 0);
  if (raw.isEmpty()) return std::nullopt;
  PrintInfo info;
  info.magnificationMode = EMagnificationMode::Specified;
  info.magnification = kTrackMagnification;
  SPrintContext c;
  c.dpi = dpi;
  c.area = raw.size();
  c.series = series;
  if (plane) {
    const SLocalMetres local = LocalMetres(*plane, raw);
    c.groundAcross = local.factorAcross();
    c.groundDown = local.factorDown();
  }
  if (!RecomputeScale(info, c)) return std::nullopt;
  const double marginX = kTrackMarginMm / 25.4 * dpi.printerX / info.scaleX;
  const double marginY = kTrackMarginMm / 25.4 * dpi.printerY / info.scaleY;
  const QRect bounds = TrackBounds(log, frame, marginX, marginY);
  const int mapTop = PageMapTop(options, dpi.ratioY());
  const auto plan = PlanTrackPrint(bounds, portraitPage - QSize(0, mapTop), landscapePage - QSize(0, mapTop),
                                   info.scaleX, info.scaleY);
  if (!plan) return std::nullopt;
  return STrackPrint{*plan, info.scale()};
}

}  // namespace print
