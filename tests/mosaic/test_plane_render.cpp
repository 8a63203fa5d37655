// The plane's pixels: which sheet each shows, seams between sheets and between rendered boxes,
// and the pixels of a sheet against its own one-sheet render.
#include <gtest/gtest.h>

#include <set>

#include "display/MapColourScheme.h"
#include "display/ScaledSheetBitmap.h"
#include "geodesy/DatumConverter.h"
#include "mosaic/MapCollection.h"
#include "mosaic/PlaneRender.h"
#include "mosaic/ReducedCopy.h"
#include "mosaic/MosaicFixtures.h"

using namespace mosaic;

namespace {

QImage render(const mosaicfix::SGrid& g, double ratio, const QRect& box, bool average,
              const std::array<std::uint32_t, 256>& palette) {
  QImage out(box.size(), QImage::Format_RGB32);
  out.fill(0xFF123456u);
  SPlaneRenderJob job{&g.plane, ratio, box, &palette, average};
  RenderPlaneBox(job, g.sheets, out, box.topLeft());
  return out;
}

std::uint32_t at(const QImage& image, int x, int y) { return reinterpret_cast<const std::uint32_t*>(image.constScanLine(y))[x]; }

}  // namespace

TEST(PlaneRender, AtTheSheetPixelEachPlanePixelIsItsSheetsPixelExactlyOnce) {
  // 3 x 2 sheets of 90 x 60 frame pixels, frames 5 pixels inside their images (the collar).
  const mosaicfix::SGrid g = mosaicfix::makeGrid(3, 2, 90, 60, 5, 4);
  ASSERT_EQ(g.sheets.size(), 6u);
  const auto palette = mosaicfix::greyRamp();
  const QRect box(0, 0, g.plane.width, g.plane.height);
  const QImage out = render(g, 1.0, box, false, palette);
  std::vector<int> seen(6 * 90 * 60, 0);
  for (int y = 0; y < box.height(); ++y) {
    for (int x = 0; x < box.width(); ++x) {
      const int sc = x / g.w - 1, sr = g.rows - y / g.h;  // sheet column and row (from the south)
      if (sc < 0 || sc >= g.cols || sr < 0 || sr >= g.rows) {
        ASSERT_EQ(at(out, x, y), kEmptyColour) << x << "," << y;
        continue;
      }
      const int k = sr * g.cols + sc;
      const int ix = x % g.w, iy = y % g.h;  // frame pixel of that sheet
      ASSERT_EQ(at(out, x, y), palette[mosaicfix::value(k, g.x0 + ix, g.y0 + iy)]) << x << "," << y;
      ++seen[static_cast<std::size_t>((k * 60 + iy) * 90 + ix)];
    }
  }
  for (const int n : seen) ASSERT_EQ(n, 1);
}

TEST(PlaneRender, ASheetsPixelsEqualItsOwnRenderAtOneToOne) {
  mosaicfix::SGrid g = mosaicfix::makeGrid(2, 2, 80, 50, 6, 3);
  // The palette the one-sheet view builds for the default colours.
  std::array<std::uint8_t, 1024> table{};
  BuildLayerPalette(MapColourScheme{}, 1, table);
  const auto palette = PaletteColours(table);
  for (std::size_t k = 0; k < g.sheets.size(); ++k) {
    ScaledSheetBitmap own;
    own.setSource(g.images[k].get());
    ASSERT_EQ(own.Render(1.0, 1, ScaledSheetBitmap::EResample::Nearest), QSize(g.w + 2 * g.x0, g.h + 2 * g.y0));
    const QImage& sheet = own.Surface();
    const int sc = static_cast<int>(k) % 2, sr = static_cast<int>(k) / 2;
    const QRect frame((sc + 1) * g.w, (g.rows - sr) * g.h, g.w, g.h);
    const QImage out = render(g, 1.0, frame, false, palette);
    for (int y = 0; y < g.h; ++y)
      for (int x = 0; x < g.w; ++x)
        ASSERT_EQ(at(out, x, y) | 0xFF000000u, at(sheet, g.x0 + x, g.y0 + y) | 0xFF000000u) << k << ":" << x << "," << y;
  }
}

TEST(PlaneRender, BordersNeitherLoseNorDoubleAColumnOrRowAtAnyRatio) {
  const mosaicfix::SGrid g = mosaicfix::makeGrid(3, 3, 120, 80, 0, 0);
  for (const double ratio : {0.02, 0.1, 0.15, 0.37788, 0.5, 0.999, 1.0, 1.5, 2.0, 3.7, 5.0}) {
    const int width = g.plane.WidthAt(ratio), height = g.plane.HeightAt(ratio);
    // Columns: the sheets of one row of the grid own disjoint ranges that leave no gap between
    // the first sheet's west edge and the last one's east edge.
    std::vector<int> owner(static_cast<std::size_t>(width), -1);
    for (int c = 0; c < g.cols; ++c) {
      const SFrameSeconds& f = g.placements[static_cast<std::size_t>(c)].frame;
      const SOwnedRange r = OwnedColumns(g.plane, ratio, f.west, f.east, 0, width);
      for (int x = r.first; x < r.last; ++x) {
        ASSERT_EQ(owner[static_cast<std::size_t>(x)], -1) << "ratio " << ratio << " column " << x << " doubled";
        owner[static_cast<std::size_t>(x)] = c;
        const double lon = g.plane.LongitudeAt(x + 0.5, ratio);
        ASSERT_TRUE(f.west <= lon && lon < f.east) << ratio << " " << x;
      }
    }
    int first = -1, last = -1;
    for (int x = 0; x < width; ++x)
      if (owner[static_cast<std::size_t>(x)] >= 0) (first < 0 ? first : last) = x, last = x;
    for (int x = first; x <= last; ++x) ASSERT_GE(owner[static_cast<std::size_t>(x)], 0) << ratio << " gap at " << x;
    // Rows likewise, down one column of the grid.
    std::vector<int> rowOwner(static_cast<std::size_t>(height), -1);
    for (int r = 0; r < g.rows; ++r) {
      const SFrameSeconds& f = g.placements[static_cast<std::size_t>(r * g.cols)].frame;
      const SOwnedRange o = OwnedRows(g.plane, ratio, f.north, f.south, 0, height);
      for (int y = o.first; y < o.last; ++y) {
        ASSERT_EQ(rowOwner[static_cast<std::size_t>(y)], -1) << "ratio " << ratio << " row " << y << " doubled";
        rowOwner[static_cast<std::size_t>(y)] = r;
        const double lat = g.plane.LatitudeAt(y + 0.5, ratio);
        ASSERT_TRUE(f.south <= lat && lat < f.north) << ratio << " " << y;
      }
    }
    first = last = -1;
    for (int y = 0; y < height; ++y)
      if (rowOwner[static_cast<std::size_t>(y)] >= 0) (first < 0 ? first : last) = y, last = y;
    for (int y = first; y <= last; ++y) ASSERT_GE(rowOwner[static_cast<std::size_t>(y)], 0) << ratio << " gap at " << y;
  }
}

TEST(PlaneRender, BoxesRenderedApartMeetWithoutSeams) {
  const mosaicfix::SGrid g = mosaicfix::makeGrid(2, 2, 150, 100, 3, 3);
  const auto palette = mosaicfix::greyRamp();
  for (const bool average : {false, true}) {
    for (const double ratio : {0.37788, 0.7, 1.0, 2.0}) {
      const QRect whole(0, 0, g.plane.WidthAt(ratio), g.plane.HeightAt(ratio));
      const QImage full = render(g, ratio, whole, average, palette);
      // The same picture from boxes of 37 x 23 pixels.
      QImage pieces(whole.size(), QImage::Format_RGB32);
      for (int y = 0; y < whole.height(); y += 23)
        for (int x = 0; x < whole.width(); x += 37) {
          SPlaneRenderJob job{&g.plane, ratio, QRect(x, y, 37, 23), &palette, average};
          RenderPlaneBox(job, g.sheets, pieces, QPoint(0, 0));
        }
      ASSERT_EQ(full, pieces) << "ratio " << ratio << " average " << average;
    }
  }
}

TEST(PlaneRender, NeitherCollarNorNeatLineShowsAlongTheBorders) {
  // Even map inside every frame (value 10), a neat line just outside it (value 250) and the
  // collar beyond (value 200): no pixel of the plane may show anything but the map.
  mosaicfix::SGrid g = mosaicfix::makeGrid(3, 2, 160, 96, 13, 11);
  for (auto& image : g.images)
    for (int y = 0; y < image->height(); ++y) {
      std::uint8_t* line = image->scanLine(y);
      for (int x = 0; x < image->width(); ++x) {
        const bool inside = x >= g.x0 && x < g.x0 + g.w && y >= g.y0 && y < g.y0 + g.h;
        const bool onLine = x >= g.x0 - 2 && x < g.x0 + g.w + 2 && y >= g.y0 - 2 && y < g.y0 + g.h + 2;
        line[x] = inside ? 10 : onLine ? 250 : 200;
      }
    }
  std::array<std::uint8_t, 1024> table{};
  const auto palette = mosaicfix::greyRamp();
  for (std::size_t i = 0; i < 256; ++i) {
    table[4 * i] = static_cast<std::uint8_t>(palette[i] & 0xFF);
    table[4 * i + 1] = static_cast<std::uint8_t>((palette[i] >> 8) & 0xFF);
    table[4 * i + 2] = static_cast<std::uint8_t>((palette[i] >> 16) & 0xFF);
  }
  std::vector<SReducedCopies> reduced;
  for (std::size_t k = 0; k < g.images.size(); ++k)
    reduced.push_back(BuildReducedCopies(*g.images[k], table, QRect(g.x0, g.y0, g.w, g.h)));
  const SFrameSeconds all{g.placements.back().frame.north, g.placements.front().frame.south,
                          g.placements.front().frame.west, g.placements.back().frame.east};
  struct SCase {
    double ratio;
    bool average;
    int reduction;  // 1: the sheets themselves
  };
  for (const SCase c : {SCase{0.16, true, 1}, SCase{0.37788, true, 1}, SCase{0.5, true, 1}, SCase{0.9, true, 1},
                        SCase{0.37788, false, 1}, SCase{1.0, false, 1}, SCase{2.5, false, 1}, SCase{0.1, true, 8},
                        SCase{0.1, false, 8}, SCase{0.05, true, 8}, SCase{0.01, false, 64}}) {
    for (std::size_t k = 0; k < g.sheets.size(); ++k) {
      g.sheets[k].sheet = c.reduction == 1 ? g.images[k].get() : nullptr;
      g.sheets[k].reduced = c.reduction == 8 ? &reduced[k].eighth : c.reduction == 64 ? &reduced[k].sixtyFourth : nullptr;
      g.sheets[k].reduction = c.reduction;
      g.sheets[k].reducedFromFrame = true;
    }
    const QRect box(0, 0, g.plane.WidthAt(c.ratio), g.plane.HeightAt(c.ratio));
    const QImage out = render(g, c.ratio, box, c.average, palette);
    const SOwnedRange cols = OwnedColumns(g.plane, c.ratio, all.west, all.east, 0, box.width());
    const SOwnedRange rows = OwnedRows(g.plane, c.ratio, all.north, all.south, 0, box.height());
    ASSERT_LT(cols.first, cols.last);
    for (int y = rows.first; y < rows.last; ++y)
      for (int x = cols.first; x < cols.last; ++x)
        ASSERT_EQ(at(out, x, y), palette[10]) << c.ratio << "/" << c.reduction << " " << x << "," << y;
  }
}

TEST(PlaneRender, LoadingSheetsStayGreyAndUnreadableOnesAreHatched) {
  mosaicfix::SGrid g = mosaicfix::makeGrid(2, 1, 60, 40, 0, 0);
  g.sheets[0].state = ESheetState::Loading;
  g.sheets[0].sheet = nullptr;
  g.sheets[1].state = ESheetState::Failed;
  g.sheets[1].sheet = nullptr;
  const auto palette = mosaicfix::greyRamp();
  const QImage out = render(g, 1.0, QRect(0, 0, g.plane.width, g.plane.height), false, palette);
  std::set<std::uint32_t> loading, failed;
  for (int y = g.h; y < 2 * g.h; ++y)
    for (int x = 0; x < g.w; ++x) {
      loading.insert(at(out, g.w + x, y));
      failed.insert(at(out, 2 * g.w + x, y));
    }
  EXPECT_EQ(loading, (std::set<std::uint32_t>{kEmptyColour}));
  EXPECT_EQ(failed, (std::set<std::uint32_t>{kHatchLight, kHatchDark}));
}

TEST(PlaneRender, ReducedCopiesStandInForTheirSheets) {
  // A reduced copy of 1/8 drawn at ratio 1/8 shows one copy pixel per display pixel.
  mosaicfix::SGrid g = mosaicfix::makeGrid(1, 1, 64, 48, 0, 0);
  QImage reduced(8, 6, QImage::Format_RGB32);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) reduced.setPixel(x, y, 0xFF000000u | static_cast<std::uint32_t>(x * 16 + y));
  g.sheets[0].sheet = nullptr;
  g.sheets[0].reduced = &reduced;
  g.sheets[0].reduction = 8;
  g.sheets[0].reducedFromFrame = true;
  const auto palette = mosaicfix::greyRamp();
  const QRect frame(1 * 64 / 8, 1 * 48 / 8, 8, 6);
  const QImage out = render(g, 1.0 / 8, frame, false, palette);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(at(out, x, y), reduced.pixel(x, y)) << x << "," << y;
}

// ---- the plane's georeference

TEST(MapPlaneFrame, PixelsAndPositionsRoundTripAcrossThePlane) {
  const mosaicfix::SGrid g = mosaicfix::makeGrid(3, 3, 450, 300, 0, 0);
  for (const double ratio : {0.1, 1.0, 2.5}) {
    const SheetFrame frame = g.plane.Frame(ratio);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {451, 299}, {1349, 901}, {1800, 1200}, {17, 1499}}) {
      const int px = static_cast<int>(x * ratio), py = static_cast<int>(y * ratio);
      const std::optional<GeoPosition> tokyo = frame.PixelToGeo(px, py, Datum::Tokyo);
      ASSERT_TRUE(tokyo);
      const std::optional<SFramePixel> back = frame.GeoToPixel(tokyo->latitude, tokyo->longitude, Datum::Tokyo);
      ASSERT_TRUE(back);
      EXPECT_NEAR(back->x, px, 1) << ratio;
      EXPECT_NEAR(back->y, py, 1) << ratio;
      // WGS-84 positions are shifted point by point: the plane's pixel of a WGS-84 position is
      // that of its own Tokyo position.
      const std::optional<GeoPosition> wgs = frame.PixelToGeo(px, py, Datum::Wgs84);
      ASSERT_TRUE(wgs);
      const GeoPosition exact = DatumConverter::Convert(*tokyo, Datum::Wgs84);
      EXPECT_NEAR(wgs->latitude.TotalSeconds(), exact.latitude.TotalSeconds(), 1e-9);
      EXPECT_NEAR(wgs->longitude.TotalSeconds(), exact.longitude.TotalSeconds(), 1e-9);
      const GeoPosition viaTokyo = DatumConverter::Convert(*wgs, Datum::Tokyo);
      const std::optional<SFramePixel> fromWgs = frame.GeoToPixel(wgs->latitude, wgs->longitude, Datum::Wgs84);
      const std::optional<SFramePixel> fromTokyo = frame.GeoToPixel(viaTokyo.latitude, viaTokyo.longitude, Datum::Tokyo);
      ASSERT_TRUE(fromWgs && fromTokyo);
      EXPECT_EQ(fromWgs->x, fromTokyo->x);
      EXPECT_EQ(fromWgs->y, fromTokyo->y);
      // Unscaled plane pixels, whatever the scale, in either datum.
      for (const Datum d : {Datum::Tokyo, Datum::Wgs84}) {
        const GeoPosition& at = d == Datum::Tokyo ? *tokyo : *wgs;
        const std::optional<SFramePixel> unscaled = frame.GeoToImagePixel(at.latitude, at.longitude, d);
        ASSERT_TRUE(unscaled);
        EXPECT_NEAR(unscaled->x, px / ratio, 1 / ratio + 1) << ratio;
        EXPECT_NEAR(unscaled->y, py / ratio, 1 / ratio + 1) << ratio;
      }
    }
  }
}

TEST(MapPlaneFrame, NominalPixelIsSquareOnTheGroundAtTheMiddleLatitude) {
  std::vector<SCollectionSheet> sheets(2);
  sheets[0].frame = {36 * 3600.0 + 300, 36 * 3600.0, 138 * 3600.0, 138 * 3600.0 + 450};
  sheets[1].frame = {36 * 3600.0 + 600, 36 * 3600.0 + 300, 138 * 3600.0 + 450, 138 * 3600.0 + 900};
  for (const MapSeries series : {MapSeries::Scale25000, MapSeries::Scale50000}) {
    const SMapPlane plane = PlaneFor(sheets, series);
    const double middle = 36 * 3600.0 + 300;
    EXPECT_NEAR(plane.MetresAcross(middle), NominalPixelMetres(series), 1e-9);
    EXPECT_NEAR(plane.MetresDown(middle), NominalPixelMetres(series), 1e-9);
    // Half a sheet of margin on every side.
    EXPECT_DOUBLE_EQ(plane.north, 36 * 3600.0 + 750);
    EXPECT_DOUBLE_EQ(plane.west, 138 * 3600.0 - 225);
    EXPECT_NEAR(plane.height * plane.latStep, 900, plane.latStep);
  }
}
