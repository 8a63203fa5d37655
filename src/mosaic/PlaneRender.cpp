#include "mosaic/PlaneRender.h"

#include <QRegion>

#include <algorithm>
#include <cmath>

#include "maps/SheetImage.h"

namespace mosaic {

namespace {

void fill(QImage& to, const QRect& rect, const QPoint& toOrigin, std::uint32_t colour) {
  const QRect r = rect.translated(-toOrigin) & to.rect();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(to.scanLine(y)) + r.left();
    std::fill(line, line + r.width(), colour);
  }
}

void hatch(QImage& to, const QRect& rect, const QPoint& toOrigin) {
  const QRect r = rect.translated(-toOrigin) & to.rect();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(to.scanLine(y));
    const int py = y + toOrigin.y();
    for (int x = r.left(); x <= r.right(); ++x) {
      // Diagonal stripes fixed to the plane, so that neighbouring boxes continue them.
      const int d = ((x + toOrigin.x() + py) % 14 + 14) % 14;
      line[x] = d < 3 ? kHatchDark : kHatchLight;
    }
  }
}

// The rows of a source: the decoded sheet or a reduced copy, through one pixel fetch.
struct SSource {
  const SheetImage* sheet = nullptr;
  const QImage* reduced = nullptr;
  const std::array<std::uint32_t, 256>* palette = nullptr;
  int width = 0;
  int height = 0;
  int bits = 32;
  double scale = 1.0;  // source pixels per sheet pixel
  double originX = 0;  // sheet pixel of the source's pixel (0, 0) (a reduced copy starts at the frame)
  double originY = 0;
  // Source pixels that show the map: inside the frame, never its neat line or collar.
  int xLo = 0, xHi = 0, yLo = 0, yHi = 0;
  [[nodiscard]] double X(double imageX) const { return (imageX - originX) * scale; }
  [[nodiscard]] double Y(double imageY) const { return (imageY - originY) * scale; }

  [[nodiscard]] const std::uint8_t* row(int y) const {
    return sheet ? sheet->scanLine(y) : reduced->constScanLine(y);
  }
  [[nodiscard]] std::uint32_t pixel(const std::uint8_t* r, int x) const {
    switch (bits) {
      case 8: return (*palette)[r[x]];
      case 24: {
        const std::uint8_t* p = r + 3 * x;
        return 0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
      }
      default: return reinterpret_cast<const std::uint32_t*>(r)[x] | 0xFF000000u;
    }
  }
};

bool sourceOf(const SRenderSheet& s, const std::array<std::uint32_t, 256>* palette, SSource& out) {
  const SSheetPlacement& p = s.placement;
  if (s.sheet && !s.sheet->isNull()) {
    const int bits = s.sheet->bitCount();
    if ((bits != 8 || !palette) && bits != 24) return false;
    out.sheet = s.sheet;
    out.width = s.sheet->width();
    out.height = s.sheet->height();
    out.bits = bits;
    out.palette = palette;
    out.scale = 1.0;
    if (out.width <= 0 || out.height <= 0) return false;
    // The frame's pixels where the catalogue's corners are believable, else the whole image.
    const bool frameX = p.x0 >= 0 && p.x1 > p.x0 && p.x1 <= out.width;
    const bool frameY = p.y0 >= 0 && p.y1 > p.y0 && p.y1 <= out.height;
    out.xLo = frameX ? p.x0 : 0;
    out.xHi = frameX ? p.x1 - 1 : out.width - 1;
    out.yLo = frameY ? p.y0 : 0;
    out.yHi = frameY ? p.y1 - 1 : out.height - 1;
    return true;
  }
  if (s.reduced && !s.reduced->isNull() && s.reduction > 0 &&
      (s.reduced->format() == QImage::Format_RGB32 || s.reduced->format() == QImage::Format_ARGB32)) {
    out.reduced = s.reduced;
    out.width = s.reduced->width();
    out.height = s.reduced->height();
    out.bits = 32;
    out.scale = 1.0 / s.reduction;
    out.originX = s.reducedFromFrame ? p.x0 : 0;
    out.originY = s.reducedFromFrame ? p.y0 : 0;
    out.xLo = 0;
    out.xHi = out.width - 1;
    out.yLo = 0;
    out.yHi = out.height - 1;
    return true;
  }
  return false;
}

// An index within [lo, hi].
int clampIndex(double v, int lo, int hi) {
  if (!(v > lo)) return lo;
  if (v >= hi) return hi;
  return static_cast<int>(v);
}

}  // namespace

SOwnedRange OwnedColumns(const SMapPlane& plane, double ratio, double west, double east, int from, int to) {
  // The first column whose centre lies at or east of a longitude.
  auto firstAtOrEast = [&](double lon) {
    const double guess = std::ceil(plane.ColumnOf(lon, ratio) - 0.5);
    if (!(guess > from)) return from;
    if (!(guess < to)) return to;
    int c = static_cast<int>(guess);
    while (c > from && plane.LongitudeAt(c - 0.5, ratio) >= lon) --c;
    while (c < to && plane.LongitudeAt(c + 0.5, ratio) < lon) ++c;
    return c;
  };
  return {firstAtOrEast(west), std::max(firstAtOrEast(west), firstAtOrEast(east))};
}

SOwnedRange OwnedRows(const SMapPlane& plane, double ratio, double north, double south, int from, int to) {
  // The first row whose centre lies south of a latitude.
  auto firstSouthOf = [&](double lat) {
    const double guess = std::floor(plane.RowOf(lat, ratio) - 0.5) + 1;
    if (!(guess > from)) return from;
    if (!(guess < to)) return to;
    int r = static_cast<int>(guess);
    while (r > from && plane.LatitudeAt(r - 0.5, ratio) < lat) --r;
    while (r < to && plane.LatitudeAt(r + 0.5, ratio) >= lat) ++r;
    return r;
  };
  return {firstSouthOf(north), std::max(firstSouthOf(north), firstSouthOf(south))};
}

SFrameSeconds BoxSeconds(const SMapPlane& plane, double ratio, const QRect& box) {
  return {plane.LatitudeAt(box.top(), ratio), plane.LatitudeAt(box.bottom() + 1.0, ratio),
          plane.LongitudeAt(box.left(), ratio), plane.LongitudeAt(box.right() + 1.0, ratio)};
}

std::array<std::uint32_t, 256> PaletteColours(std::span<const std::uint8_t> bgrx) {
  std::array<std::uint32_t, 256> out{};
  for (std::size_t i = 0; i < 256 && 4 * i + 2 < bgrx.size(); ++i)
    out[i] = 0xFF000000u | (std::uint32_t{bgrx[4 * i + 2]} << 16) | (std::uint32_t{bgrx[4 * i + 1]} << 8) |
             bgrx[4 * i];
  return out;
}

bool RenderPlaneBox(const SPlaneRenderJob& job, std::span<const SRenderSheet> sheets, QImage& to,
                    const QPoint& toOrigin) {
  if (!job.plane || to.isNull() || to.depth() != 32 || !(job.ratio > 0)) return false;
  const QRect box = job.box & QRect(toOrigin, to.size());
  if (box.isEmpty()) return false;
  fill(to, box, toOrigin, kEmptyColour);
  // The frames own their pixels without overlap where they adjoin; where two overlap, the union
  // still tells what is drawn.
  QRegion drawn;
  const SMapPlane& plane = *job.plane;
  const double ratio = job.ratio;
  const int left = box.left(), right = box.right() + 1;
  const int top = box.top(), bottom = box.bottom() + 1;
  std::vector<std::int32_t> xa, xb, ya, yb;
  std::vector<std::uint32_t> sums;
  for (const SRenderSheet& s : sheets) {
    const SSheetPlacement& p = s.placement;
    const SOwnedRange cols = OwnedColumns(plane, ratio, p.frame.west, p.frame.east, left, right);
    const SOwnedRange rows = OwnedRows(plane, ratio, p.frame.north, p.frame.south, top, bottom);
    if (cols.first >= cols.last || rows.first >= rows.last) continue;
    const QRect owned(cols.first, rows.first, cols.last - cols.first, rows.last - rows.first);
    SSource src;
    if (s.state == ESheetState::Failed) {
      hatch(to, owned, toOrigin);
      drawn += owned;
      continue;
    }
    if (!sourceOf(s, job.palette, src)) continue;  // loading: stays grey
    drawn += owned;
    const int n = cols.last - cols.first;
    const int m = rows.last - rows.first;
    // Source pixel spans of each display column and row: the pixels whose centres the display
    // pixel covers (at least one), or for the nearest pixel the one under its centre.
    xa.assign(static_cast<std::size_t>(n), 0);
    xb.assign(static_cast<std::size_t>(n), 0);
    ya.assign(static_cast<std::size_t>(m), 0);
    yb.assign(static_cast<std::size_t>(m), 0);
    const bool average = job.areaAverage;
    // One axis: the source pixels whose centres display pixel [edge0, edge1) covers (at least
    // one), or the one under its centre.
    auto span = [average](double edge0, double centre, double edge1, int lo, int hi, std::int32_t& a,
                          std::int32_t& b) {
      if (average) {
        a = clampIndex(std::floor(edge0 + 0.5), lo, hi);
        b = std::max(clampIndex(std::floor(edge1 + 0.5), lo, hi + 1), a + 1);
      } else {
        a = clampIndex(centre, lo, hi);
      }
    };
    for (int i = 0; i < n; ++i) {
      const double c = cols.first + i;
      const auto x = [&](double col) { return src.X(p.ImageX(plane.LongitudeAt(col, ratio))); };
      span(x(c), x(c + 0.5), x(c + 1), src.xLo, src.xHi, xa[static_cast<std::size_t>(i)], xb[static_cast<std::size_t>(i)]);
    }
    for (int j = 0; j < m; ++j) {
      const double r = rows.first + j;
      const auto y = [&](double row) { return src.Y(p.ImageY(plane.LatitudeAt(row, ratio))); };
      span(y(r), y(r + 0.5), y(r + 1), src.yLo, src.yHi, ya[static_cast<std::size_t>(j)], yb[static_cast<std::size_t>(j)]);
    }
    const int dx = cols.first - toOrigin.x();
    if (!average) {
      int previous = -1;
      const std::uint32_t* previousLine = nullptr;
      for (int j = 0; j < m; ++j) {
        auto* d = reinterpret_cast<std::uint32_t*>(to.scanLine(rows.first + j - toOrigin.y())) + dx;
        const int sy = ya[static_cast<std::size_t>(j)];
        if (sy == previous && previousLine) {
          std::copy(previousLine, previousLine + n, d);
          continue;
        }
        const std::uint8_t* line = src.row(sy);
        for (int i = 0; i < n; ++i) d[i] = src.pixel(line, xa[static_cast<std::size_t>(i)]);
        previous = sy;
        previousLine = d;
      }
      continue;
    }
    sums.assign(static_cast<std::size_t>(n) * 4, 0);
    for (int j = 0; j < m; ++j) {
      std::fill(sums.begin(), sums.end(), 0u);
      for (int sy = ya[static_cast<std::size_t>(j)]; sy < yb[static_cast<std::size_t>(j)]; ++sy) {
        const std::uint8_t* line = src.row(sy);
        for (int i = 0; i < n; ++i) {
          std::uint32_t* acc = &sums[static_cast<std::size_t>(i) * 4];
          for (int sx = xa[static_cast<std::size_t>(i)]; sx < xb[static_cast<std::size_t>(i)]; ++sx) {
            const std::uint32_t v = src.pixel(line, sx);
            acc[0] += (v >> 16) & 0xFF;
            acc[1] += (v >> 8) & 0xFF;
            acc[2] += v & 0xFF;
            acc[3] += 1;
          }
        }
      }
      auto* d = reinterpret_cast<std::uint32_t*>(to.scanLine(rows.first + j - toOrigin.y())) + dx;
      for (int i = 0; i < n; ++i) {
        const std::uint32_t* acc = &sums[static_cast<std::size_t>(i) * 4];
        const std::uint32_t count = acc[3] ? acc[3] : 1;
        const std::uint32_t half = count / 2;
        d[i] = 0xFF000000u | (((acc[0] + half) / count) << 16) | (((acc[1] + half) / count) << 8) |
               ((acc[2] + half) / count);
      }
    }
  }
  return drawn == QRegion(box);
}

}  // namespace mosaic
