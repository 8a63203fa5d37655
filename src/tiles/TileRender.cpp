#include "tiles/TileRender.h"

#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

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

// Bilinear blend with weights of 0..256: red with blue, then green, two channels at a time.
inline std::uint32_t blend(const std::array<std::uint32_t, 4>& c, std::uint32_t wx, std::uint32_t wy) {
  const auto mix = [](std::uint32_t p, std::uint32_t q, std::uint32_t w) {
    const std::uint32_t rb = (((p & 0x00FF00FFu) * (256 - w) + (q & 0x00FF00FFu) * w + 0x00800080u) >> 8) & 0x00FF00FFu;
    const std::uint32_t g = (((p & 0x0000FF00u) * (256 - w) + (q & 0x0000FF00u) * w + 0x00008000u) >> 8) & 0x0000FF00u;
    return rb | g;
  };
  return 0xFF000000u | mix(mix(c[0], c[1], wx), mix(c[2], c[3], wx), wy);
}

// Whether any of `count` pixels is `colour`: blocks of 16 without a branch a pixel, which the
// compiler turns into vector compares, and a branch a block.
bool holdsColour(const std::uint32_t* pixels, std::size_t count, std::uint32_t colour) {
  constexpr std::size_t kBlock = 16;
  std::size_t i = 0;
  for (; i + kBlock <= count; i += kBlock) {
    std::uint32_t found = 0;
    for (std::size_t k = 0; k < kBlock; ++k) found |= pixels[i + k] == colour ? 1u : 0u;
    if (found != 0) return true;
  }
  for (; i < count; ++i)
    if (pixels[i] == colour) return true;
  return false;
}

// One output pixel sampled from `src` (sw x sh) at `sx`, `sy` (plane pixel units, pixel k's
// centre at k): 8-bit bilinear weights; an empty neighbour takes the nearest pixel's colour, and
// an empty nearest pixel leaves the output pixel without data (false).
inline bool samplePixel(const std::uint32_t* src, int sw, int sh, double sx, double sy, std::uint32_t& out) {
  const double cx = std::clamp(sx, 0.0, sw - 1.0), cy = std::clamp(sy, 0.0, sh - 1.0);
  const int x0 = std::min(static_cast<int>(cx), sw - 2), y0 = std::min(static_cast<int>(cy), sh - 2);
  const std::uint32_t wx = static_cast<std::uint32_t>(std::min((cx - x0) * 65536.0, 65535.0) + 128) >> 8;
  const std::uint32_t wy = static_cast<std::uint32_t>(std::min((cy - y0) * 65536.0, 65535.0) + 128) >> 8;
  const std::uint32_t* r0 = src + static_cast<std::ptrdiff_t>(y0) * sw + x0;
  const std::uint32_t* r1 = r0 + sw;
  std::array<std::uint32_t, 4> px{r0[0], r0[1], r1[0], r1[1]};
  const std::uint32_t nearest = px[(wy >= 128 ? 2 : 0) + (wx >= 128 ? 1 : 0)];
  if (nearest == mosaic::kEmptyColour) return false;
  for (std::uint32_t& p : px)
    if (p == mosaic::kEmptyColour) p = nearest;
  out = blend(px, wx, wy);
  return true;
}

// Samples again, each on its own, the pixels of `picture` whose plane neighbourhood (through the
// affine `toSource`, output pixel centres to plane positions) holds an empty plane pixel; those
// without data become `noData`. Returns how many did.
long long resampleAtEmpty(QImage& picture, const std::uint32_t* src, int sw, int sh, const QTransform& toSource,
                          std::uint32_t noData) {
  if (sw < 2 || sh < 2) return 0;
  // Where each plane row's empty pixels lie.
  std::vector<int> emptyFrom(static_cast<std::size_t>(sh), sw), emptyTo(static_cast<std::size_t>(sh), -1);
  for (int y = 0; y < sh; ++y) {
    const std::uint32_t* row = src + static_cast<std::ptrdiff_t>(y) * sw;
    if (!holdsColour(row, static_cast<std::size_t>(sw), mosaic::kEmptyColour)) continue;
    int a = 0, b = sw - 1;
    while (row[a] != mosaic::kEmptyColour) ++a;
    while (row[b] != mosaic::kEmptyColour) --b;
    emptyFrom[static_cast<std::size_t>(y)] = a, emptyTo[static_cast<std::size_t>(y)] = b;
  }
  const int width = picture.width(), height = picture.height();
  long long blank = 0;
  for (int y = 0; y < height; ++y) {
    // The plane positions of the row's first and last pixel centres (pixel k's centre at k).
    const QPointF first = toSource.map(QPointF(0.5, y + 0.5)) - QPointF(0.5, 0.5);
    const QPointF last = toSource.map(QPointF(width - 0.5, y + 0.5)) - QPointF(0.5, 0.5);
    const int r0 = std::clamp(static_cast<int>(std::floor(std::min(first.y(), last.y()))) - 1, 0, sh - 1);
    const int r1 = std::clamp(static_cast<int>(std::floor(std::max(first.y(), last.y()))) + 2, 0, sh - 1);
    int from = sw, to = -1;
    for (int r = r0; r <= r1; ++r) {
      from = std::min(from, emptyFrom[static_cast<std::size_t>(r)]);
      to = std::max(to, emptyTo[static_cast<std::size_t>(r)]);
    }
    if (to < 0) continue;
    // The columns rise along the row: the output pixels reading plane columns from - 1 .. to + 1.
    const double perPixel = (last.x() - first.x()) / std::max(1, width - 1);
    const int x0 = perPixel > 0 ? std::clamp(static_cast<int>(std::floor((from - 2 - first.x()) / perPixel)), 0, width) : 0;
    const int x1 = perPixel > 0 ? std::clamp(static_cast<int>(std::ceil((to + 1 - first.x()) / perPixel)) + 1, 0, width) : width;
    auto* line = reinterpret_cast<std::uint32_t*>(picture.scanLine(y));
    for (int x = x0; x < x1; ++x) {
      const QPointF at = toSource.map(QPointF(x + 0.5, y + 0.5)) - QPointF(0.5, 0.5);
      if (!samplePixel(src, sw, sh, at.x(), at.y(), line[x])) {
        line[x] = noData;
        ++blank;
      }
    }
  }
  return blank;
}

// A picture of the size and format: `recycled` where it fits and nothing else shares it.
QImage pictureOf(int width, int height, QImage::Format format, QImage recycled) {
  if (recycled.width() == width && recycled.height() == height && recycled.depth() == 32 && recycled.isDetached() &&
      (recycled.format() == format || recycled.reinterpretAsFormat(format)))
    return recycled;
  return QImage(width, height, format);
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
      if (first) f = {s, s, w, w}, first = false;  // north, south, west, east
      f.north = std::max(f.north, s), f.south = std::min(f.south, s);
      f.east = std::max(f.east, w), f.west = std::min(f.west, w);
    }
  return f;
}

SGroundPicture RenderGround(const SGroundSource& source, const SGeoBox& box, int width, int height, bool mercator,
                            std::uint32_t noData, QImage recycled) {
  SGroundPicture out;
  const bool transparent = (noData >> 24) != 0xFF;
  out.image = pictureOf(width, height, transparent ? QImage::Format_ARGB32 : QImage::Format_RGB32, std::move(recycled));
  if (out.image.isNull() || !box.valid() || !source.renderer || source.plane.empty()) return out;
  out.image.fill(noData);
  const mosaic::SMapPlane& plane = source.plane;

  // Plane pixels per output pixel: the output's ground size against the plane's at the middle.
  const double midLat = (box.north + box.south) / 2;
  const double outMetres = kEquatorMetres * std::cos(midLat * kPi / 180.0) * (box.east - box.west) / 360.0 / width;
  const double fitting = std::clamp(plane.MetresAcross(midLat * 3600.0) / outMetres, 1e-4, 16.0);
  // Down to half the sheets' resolution the pixels are sampled from the sheets' own (a bilinear
  // sample then reaches every sheet pixel, and the plane is copied rather than averaged);
  // coarser pictures sample an area-averaged plane at their own resolution.
  const double ratio = fitting >= 0.5 && fitting <= 1.0 ? 1.0 : fitting;

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
  // The plane's pixels under the picture, in a buffer each thread keeps from picture to picture:
  // fresh pages cost more than drawing them.
  thread_local std::vector<std::uint32_t> planeBuffer;
  const std::size_t planePixels = static_cast<std::size_t>(area.width()) * static_cast<std::size_t>(area.height());
  if (planeBuffer.size() < planePixels) planeBuffer.resize(planePixels);
  QImage src(reinterpret_cast<uchar*>(planeBuffer.data()), area.width(), area.height(),
             static_cast<qsizetype>(area.width()) * 4, QImage::Format_RGB32);
  if (src.isNull()) return out;
  const bool covered = source.renderer->RenderNow(src, area, area.topLeft(), ratio);

  // Over one picture the warp is affine to far below a pixel (Web Mercator and the datum shift
  // bend slowly): where no sheet edge is in reach, Qt's bilinear transform draws it. Otherwise,
  // or where it bends more, every pixel is sampled on its own below.
  {
    const SPlanePoint& p00 = grid[0];
    const SPlanePoint& p10 = grid[kGrid];
    const SPlanePoint& p01 = grid[static_cast<std::size_t>(kGrid * (kGrid + 1))];
    const double ac = (p10.column - p00.column) / width, br = (p01.row - p00.row) / height;
    double bc = (p01.column - p00.column) / height, ar = (p10.row - p00.row) / width;
    // The datum shift barely turns the plane (about a fortieth of a pixel across a tile): where
    // the turn stays that small, the transform is taken as a plain scale, which Qt draws on its
    // quicker path. The bend below counts what that leaves out.
    if (std::abs(bc) * height + std::abs(ar) * width < 0.05) bc = ar = 0;
    double bend = 0;
    for (int gy = 0; gy <= kGrid; ++gy)
      for (int gx = 0; gx <= kGrid; ++gx) {
        const double u = static_cast<double>(gx) * width / kGrid, v = static_cast<double>(gy) * height / kGrid;
        const SPlanePoint& g = grid[static_cast<std::size_t>(gy * (kGrid + 1) + gx)];
        bend = std::max({bend, std::abs(p00.column + ac * u + bc * v - g.column), std::abs(p00.row + ar * u + br * v - g.row)});
      }
    const bool empty = !covered && holdsColour(planeBuffer.data(), planePixels, mosaic::kEmptyColour);
    // Output pixels to pixels of `src`; the painter draws `src` through the inverse.
    const QTransform toSource(ac, ar, bc, br, p00.column - area.left(), p00.row - area.top());
    bool invertible = false;
    const QTransform toOutput = toSource.inverted(&invertible);
    if (bend < 0.05 && invertible && ac > 0) {
      // Drawn opaque (Qt's opaque path is the quick one); pixels without map data are set after.
      (void)out.image.reinterpretAsFormat(QImage::Format_RGB32);
      QPainter painter(&out.image);
      painter.setCompositionMode(QPainter::CompositionMode_Source);
      painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
      painter.setTransform(toOutput);
      painter.drawImage(QPointF(0, 0), src);
      painter.end();
      out.hasData = out.complete = true;
      if (!empty) return out;
      // At the edge of the maps: the pixels whose four plane pixels hold an empty one are
      // sampled again on their own, as the exact path below samples every pixel.
      const long long blank = resampleAtEmpty(out.image, planeBuffer.data(), area.width(), area.height(), toSource, noData);
      out.complete = blank == 0;
      out.hasData = blank < static_cast<long long>(width) * height;
      if (!out.complete && (noData >> 24) != 0xFF) (void)out.image.reinterpretAsFormat(QImage::Format_ARGB32);
      return out;
    }
  }

  const int sw = src.width();
  const int sh = src.height();
  const uchar* bits = src.constBits();
  const qsizetype stride = src.bytesPerLine();
  bool complete = true;
  constexpr double kOne = 65536.0;  // plane positions in 16.16 fixed point
  // Within a cell of the grid a row's plane positions step evenly: each cell's start and step
  // come from its corners, and the pixels are blended with 8-bit weights.
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(out.image.scanLine(y));
    const double gyf = (y + 0.5) / height * kGrid;
    const int gy = std::min(static_cast<int>(gyf), kGrid - 1);
    const double ty = gyf - gy;
    for (int gx = 0; gx < kGrid; ++gx) {
      const int xBegin = (gx * width + kGrid - 1) / kGrid;  // pixels whose centres fall in the cell
      const int xEnd = std::min(width, ((gx + 1) * width + kGrid - 1) / kGrid);
      if (xBegin >= xEnd) continue;
      const SPlanePoint& a = grid[static_cast<std::size_t>(gy * (kGrid + 1) + gx)];
      const SPlanePoint& b = grid[static_cast<std::size_t>(gy * (kGrid + 1) + gx + 1)];
      const SPlanePoint& c = grid[static_cast<std::size_t>((gy + 1) * (kGrid + 1) + gx)];
      const SPlanePoint& d = grid[static_cast<std::size_t>((gy + 1) * (kGrid + 1) + gx + 1)];
      const double leftC = a.column * (1 - ty) + c.column * ty, rightC = b.column * (1 - ty) + d.column * ty;
      const double leftR = a.row * (1 - ty) + c.row * ty, rightR = b.row * (1 - ty) + d.row * ty;
      // Pixel k of the plane covers [k, k + 1): its centre is k + 0.5.
      const double perPixel = static_cast<double>(kGrid) / width;
      const double tx0 = (xBegin + 0.5) / width * kGrid - gx;
      const double sx0 = leftC + (rightC - leftC) * tx0 - area.left() - 0.5;
      const double sy0 = leftR + (rightR - leftR) * tx0 - area.top() - 0.5;
      // The area holds the whole grid with two pixels to spare: positions stay inside it.
      std::int64_t fx = std::llround(std::clamp(sx0, 0.0, sw - 1.0) * kOne);
      std::int64_t fy = std::llround(std::clamp(sy0, 0.0, sh - 1.0) * kOne);
      const std::int64_t stepX = std::llround((rightC - leftC) * perPixel * kOne);
      const std::int64_t stepY = std::llround((rightR - leftR) * perPixel * kOne);
      const std::int64_t maxX = static_cast<std::int64_t>(sw - 2) << 16, maxY = static_cast<std::int64_t>(sh - 2) << 16;
      for (int x = xBegin; x < xEnd; ++x, fx += stepX, fy += stepY) {
        const std::int64_t cx = std::clamp<std::int64_t>(fx, 0, maxX + 0xFFFF);
        const std::int64_t cy = std::clamp<std::int64_t>(fy, 0, maxY + 0xFFFF);
        const int x0 = static_cast<int>(std::min(cx >> 16, maxX >> 16));
        const int y0 = static_cast<int>(std::min(cy >> 16, maxY >> 16));
        const std::uint32_t wx = static_cast<std::uint32_t>(std::min<std::int64_t>(cx - (static_cast<std::int64_t>(x0) << 16), 0xFFFF) + 128) >> 8;
        const std::uint32_t wy = static_cast<std::uint32_t>(std::min<std::int64_t>(cy - (static_cast<std::int64_t>(y0) << 16), 0xFFFF) + 128) >> 8;
        const auto* r0 = reinterpret_cast<const std::uint32_t*>(bits + y0 * stride) + x0;
        const auto* r1 = reinterpret_cast<const std::uint32_t*>(bits + (y0 + 1) * stride) + x0;
        std::array<std::uint32_t, 4> px{r0[0], r0[1], r1[0], r1[1]};
        const std::uint32_t nearest = px[(wy >= 128 ? 2 : 0) + (wx >= 128 ? 1 : 0)];
        if (nearest == mosaic::kEmptyColour) {
          complete = false;
          continue;
        }
        for (std::uint32_t& p : px)
          if (p == mosaic::kEmptyColour) p = nearest;
        line[x] = blend(px, wx, wy);
        out.hasData = true;
      }
    }
  }
  out.complete = out.hasData && complete;
  return out;
}

SGroundPicture RenderPlanePicture(const SGroundSource& source, const QRect& box, double ratio, std::uint32_t noData,
                                  QImage recycled) {
  SGroundPicture out;
  out.image = pictureOf(box.width(), box.height(), QImage::Format_RGB32, std::move(recycled));
  if (out.image.isNull() || !source.renderer || source.plane.empty() || !(ratio > 0)) return out;
  const bool covered = source.renderer->RenderNow(out.image, box, box.topLeft(), ratio);
  auto* pixels = reinterpret_cast<std::uint32_t*>(out.image.bits());
  const std::size_t count = static_cast<std::size_t>(box.width()) * static_cast<std::size_t>(box.height());
  const bool empty = !covered && holdsColour(pixels, count, mosaic::kEmptyColour);
  out.hasData = !empty || std::any_of(pixels, pixels + count, [](std::uint32_t p) { return p != mosaic::kEmptyColour; });
  out.complete = !empty;
  if (empty && noData != mosaic::kEmptyColour) {
    if ((noData >> 24) != 0xFF) (void)out.image.reinterpretAsFormat(QImage::Format_ARGB32);
    for (std::size_t i = 0; i < count; ++i)
      if (pixels[i] == mosaic::kEmptyColour) pixels[i] = noData;
  }
  return out;
}

}  // namespace tiles
