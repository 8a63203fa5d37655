#include "tiles/TileRender.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "geodesy/DatumConverter.h"
#include "mosaic/MosaicRenderer.h"
#include "mosaic/PlaneRender.h"

namespace tiles {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEquatorMetres = 40075016.685578488;  // 2 pi x 6378137
constexpr int kGrid = 8;                                // intervals of the exact grid a side
constexpr double kMaxMercatorLatitude = 85.05112877980659;

double mercatorY(double latitude) {
  const double phi = std::clamp(latitude, -kMaxMercatorLatitude, kMaxMercatorLatitude) * kPi / 180.0;
  return std::log(std::tan(kPi / 4 + phi / 2));
}
double latitudeOfMercator(double y) { return (2 * std::atan(std::exp(y)) - kPi / 2) * 180.0 / kPi; }

struct SPlanePoint {
  double column = 0;
  double row = 0;
};

std::uint32_t blend(const std::array<std::uint32_t, 4>& c, double fx, double fy) {
  std::uint32_t out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const double top = ((c[0] >> shift) & 0xFF) * (1 - fx) + ((c[1] >> shift) & 0xFF) * fx;
    const double bottom = ((c[2] >> shift) & 0xFF) * (1 - fx) + ((c[3] >> shift) & 0xFF) * fx;
    const double v = top * (1 - fy) + bottom * fy;
    out |= static_cast<std::uint32_t>(std::clamp(v + 0.5, 0.0, 255.0)) << shift;
  }
  return out;
}

}  // namespace

double TileLongitude(int x, int zoom) { return x / std::ldexp(1.0, zoom) * 360.0 - 180.0; }

double TileLatitude(int y, int zoom) { return latitudeOfMercator(kPi * (1 - 2 * y / std::ldexp(1.0, zoom))); }

SGeoBox TileBox(int zoom, int x, int y) {
  return {TileLatitude(y + 1, zoom), TileLongitude(x, zoom), TileLatitude(y, zoom), TileLongitude(x + 1, zoom)};
}

STileRange TilesMeeting(const SGeoBox& box, int zoom) {
  STileRange r;
  r.zoom = zoom;
  if (!box.valid() || zoom < 0 || zoom > kMaxZoom) return r;
  const double n = std::ldexp(1.0, zoom);
  const auto column = [&](double lon) { return (lon + 180.0) / 360.0 * n; };
  const auto row = [&](double lat) { return (1 - mercatorY(lat) / kPi) / 2 * n; };
  const int last = static_cast<int>(n) - 1;
  // A box edge on a tile edge does not reach into the next tile.
  r.x0 = std::clamp(static_cast<int>(std::floor(column(box.west))), 0, last);
  r.x1 = std::clamp(static_cast<int>(std::ceil(column(box.east))) - 1, 0, last);
  r.y0 = std::clamp(static_cast<int>(std::floor(row(box.north))), 0, last);
  r.y1 = std::clamp(static_cast<int>(std::ceil(row(box.south))) - 1, 0, last);
  return r;
}

double TilePixelMetres(int zoom, double latitude) {
  return kEquatorMetres * std::cos(latitude * kPi / 180.0) / std::ldexp(static_cast<double>(kTileSize), zoom);
}

int NativeZoom(MapSeries series, double latitude) {
  // The finest level that does not magnify the sheets: its pixels are no smaller than theirs.
  const double pixel = mosaic::NominalPixelMetres(series);
  int best = 0;
  for (int z = 1; z <= kMaxZoom; ++z)
    if (TilePixelMetres(z, latitude) >= pixel) best = z;
  return best;
}

mosaic::SFrameSeconds TokyoBoxOf(const SGeoBox& box) {
  mosaic::SFrameSeconds f{};
  bool first = true;
  for (int i = 0; i <= kGrid; ++i)
    for (int j = 0; j <= kGrid; ++j) {
      if (i != 0 && i != kGrid && j != 0 && j != kGrid) continue;
      const double lat = box.south + (box.north - box.south) * i / kGrid;
      const double lon = box.west + (box.east - box.west) * j / kGrid;
      const SDatumShiftResult t = DatumConverter::Wgs84ToTokyo(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), 0);
      const double s = t.latitude.TotalSeconds();
      const double w = t.longitude.TotalSeconds();
      if (first) f = {s, w, s, w}, first = false;
      f.north = std::max(f.north, s), f.south = std::min(f.south, s);
      f.east = std::max(f.east, w), f.west = std::min(f.west, w);
    }
  return f;
}

SGroundPicture RenderGround(const SGroundSource& source, const SGeoBox& box, int width, int height, bool mercator,
                            std::uint32_t noData) {
  SGroundPicture out;
  const bool transparent = (noData >> 24) != 0xFF;
  out.image = QImage(width, height, transparent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (out.image.isNull() || !box.valid() || !source.renderer || source.plane.empty()) return out;
  out.image.fill(noData);
  const mosaic::SMapPlane& plane = source.plane;

  // Plane pixels per output pixel: the output's ground size against the plane's at the middle.
  const double midLat = (box.north + box.south) / 2;
  const double outMetres = kEquatorMetres * std::cos(midLat * kPi / 180.0) * (box.east - box.west) / 360.0 / width;
  const double ratio = std::clamp(plane.MetresAcross(midLat * 3600.0) / outMetres, 1e-4, 16.0);

  // The exact shift on the grid, in display pixels of the plane at `ratio`.
  std::array<SPlanePoint, (kGrid + 1) * (kGrid + 1)> grid{};
  const double yNorth = mercatorY(box.north);
  const double ySouth = mercatorY(box.south);
  double minC = 1e300, maxC = -1e300, minR = 1e300, maxR = -1e300;
  for (int gy = 0; gy <= kGrid; ++gy)
    for (int gx = 0; gx <= kGrid; ++gx) {
      const double fy = static_cast<double>(gy) / kGrid;
      const double lat = mercator ? latitudeOfMercator(yNorth + (ySouth - yNorth) * fy) : box.north + (box.south - box.north) * fy;
      const double lon = box.west + (box.east - box.west) * gx / kGrid;
      const SDatumShiftResult t = DatumConverter::Wgs84ToTokyo(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), 0);
      SPlanePoint& p = grid[static_cast<std::size_t>(gy * (kGrid + 1) + gx)];
      p.column = plane.ColumnOf(t.longitude.TotalSeconds(), ratio);
      p.row = plane.RowOf(t.latitude.TotalSeconds(), ratio);
      minC = std::min(minC, p.column), maxC = std::max(maxC, p.column);
      minR = std::min(minR, p.row), maxR = std::max(maxR, p.row);
    }
  if (!(maxC - minC < 65536) || !(maxR - minR < 65536) || std::abs(minC) > 1e9 || std::abs(minR) > 1e9) return out;
  const QRect area(static_cast<int>(std::floor(minC)) - 2, static_cast<int>(std::floor(minR)) - 2,
                   static_cast<int>(std::ceil(maxC) - std::floor(minC)) + 4,
                   static_cast<int>(std::ceil(maxR) - std::floor(minR)) + 4);
  QImage src(area.size(), QImage::Format_RGB32);
  if (src.isNull()) return out;
  source.renderer->RenderNow(src, area, area.topLeft(), ratio);

  const int sw = src.width();
  const int sh = src.height();
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(out.image.scanLine(y));
    const double gyf = (y + 0.5) / height * kGrid;
    const int gy = std::min(static_cast<int>(gyf), kGrid - 1);
    const double ty = gyf - gy;
    for (int x = 0; x < width; ++x) {
      const double gxf = (x + 0.5) / width * kGrid;
      const int gx = std::min(static_cast<int>(gxf), kGrid - 1);
      const double tx = gxf - gx;
      const SPlanePoint& a = grid[static_cast<std::size_t>(gy * (kGrid + 1) + gx)];
      const SPlanePoint& b = grid[static_cast<std::size_t>(gy * (kGrid + 1) + gx + 1)];
      const SPlanePoint& c = grid[static_cast<std::size_t>((gy + 1) * (kGrid + 1) + gx)];
      const SPlanePoint& d = grid[static_cast<std::size_t>((gy + 1) * (kGrid + 1) + gx + 1)];
      const double col = (a.column * (1 - tx) + b.column * tx) * (1 - ty) + (c.column * (1 - tx) + d.column * tx) * ty;
      const double row = (a.row * (1 - tx) + b.row * tx) * (1 - ty) + (c.row * (1 - tx) + d.row * tx) * ty;
      // Pixel k of the plane covers [k, k + 1): its centre is k + 0.5.
      const double sx = col - area.left() - 0.5;
      const double sy = row - area.top() - 0.5;
      const int x0 = std::clamp(static_cast<int>(std::floor(sx)), 0, sw - 2);
      const int y0 = std::clamp(static_cast<int>(std::floor(sy)), 0, sh - 2);
      const double fx = std::clamp(sx - x0, 0.0, 1.0);
      const double fy = std::clamp(sy - y0, 0.0, 1.0);
      const auto* r0 = reinterpret_cast<const std::uint32_t*>(src.constScanLine(y0));
      const auto* r1 = reinterpret_cast<const std::uint32_t*>(src.constScanLine(y0 + 1));
      std::array<std::uint32_t, 4> px{r0[x0], r0[x0 + 1], r1[x0], r1[x0 + 1]};
      const std::uint32_t nearest = px[(fy >= 0.5 ? 2 : 0) + (fx >= 0.5 ? 1 : 0)];
      if (nearest == mosaic::kEmptyColour) continue;
      for (std::uint32_t& p : px)
        if (p == mosaic::kEmptyColour) p = nearest;
      line[x] = blend(px, fx, fy);
      out.hasData = true;
    }
  }
  return out;
}

}  // namespace tiles
