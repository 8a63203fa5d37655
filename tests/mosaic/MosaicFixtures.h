#pragma once
// Planes and sheets made by code for the seamless map tests: sheets whose frames lie on the
// plane's pixel grid, so that at ratio 1 every plane pixel is one sheet pixel.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "maps/SheetImage.h"
#include "mosaic/MapCollection.h"
#include "mosaic/PlaneRender.h"

namespace mosaicfix {

/// A grid of `cols` x `rows` sheets of 450" x 300" (7'30" x 5'), each `w` x `h` frame pixels with
/// the frame at (x0, y0) in an image of (w + 2 x0) x (h + 2 y0) pixels, south-west corner at
/// (36N, 138E), and a plane with one sheet of margin whose pixel is the sheets' pixel.
struct SGrid {
  mosaic::SMapPlane plane;
  std::vector<mosaic::SSheetPlacement> placements;
  std::vector<std::unique_ptr<SheetImage>> images;
  std::vector<mosaic::SRenderSheet> sheets;
  int cols = 0, rows = 0, w = 0, h = 0, x0 = 0, y0 = 0;
};

/// Pixel value of sheet `k` at image pixel (x, y): different across every border.
inline std::uint8_t value(int k, int x, int y) { return static_cast<std::uint8_t>((k * 37 + x * 3 + y * 7) & 0xFF); }

inline SGrid makeGrid(int cols, int rows, int w, int h, int x0, int y0) {
  SGrid g;
  g.cols = cols, g.rows = rows, g.w = w, g.h = h, g.x0 = x0, g.y0 = y0;
  const double south0 = 36 * 3600.0, west0 = 138 * 3600.0;
  g.plane.series = MapSeries::Scale25000;
  g.plane.latStep = 300.0 / h;
  g.plane.lonStep = 450.0 / w;
  g.plane.north = south0 + 300.0 * (rows + 1);
  g.plane.west = west0 - 450.0;
  g.plane.width = w * (cols + 2);
  g.plane.height = h * (rows + 2);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const int k = r * cols + c;
      mosaic::SSheetPlacement p;
      p.frame = {south0 + 300.0 * (r + 1), south0 + 300.0 * r, west0 + 450.0 * c, west0 + 450.0 * (c + 1)};
      p.widened = {p.frame.north + 0.01, p.frame.south - 0.01, p.frame.west - 0.01, p.frame.east + 0.01};
      p.x0 = x0, p.y0 = y0, p.x1 = x0 + w, p.y1 = y0 + h;
      auto image = std::make_unique<SheetImage>();
      if (!CreatePackedBitmap(*image, w + 2 * x0, h + 2 * y0, 8)) return {};
      for (int y = 0; y < image->height(); ++y) {
        std::uint8_t* line = image->scanLine(y);
        for (int x = 0; x < image->width(); ++x) line[x] = value(k, x, y);
      }
      mosaic::SRenderSheet s;
      s.placement = p;
      s.state = mosaic::ESheetState::Ready;
      s.sheet = image.get();
      g.placements.push_back(p);
      g.sheets.push_back(s);
      g.images.push_back(std::move(image));
    }
  }
  return g;
}

/// Palette where value v shows as 0xFF00vv00 | v.
inline std::array<std::uint32_t, 256> greyRamp() {
  std::array<std::uint32_t, 256> p{};
  for (std::uint32_t v = 0; v < 256; ++v) p[v] = 0xFF000000u | (v << 8) | v;
  return p;
}

}  // namespace mosaicfix
