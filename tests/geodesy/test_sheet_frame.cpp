#include "geodesy/SheetFrame.h"

#include <gtest/gtest.h>

#include "geodesy/DatumConverter.h"

namespace {

const DmsAngle kNorth(35, 40, 0.0);
const DmsAngle kWest(139, 37, 30.0);
const DmsAngle kSouth(35, 35, 0.0);
const DmsAngle kEast(139, 45, 0.0);
const DmsAngle kEps(0, 0, 0.01);
constexpr std::int32_t kX0 = 120, kY0 = 100, kX1 = 4120, kY1 = 3700;

SheetFrame tokyoSheet(double scale) {
  SheetFrame f;
  f.Setup(kNorth, kWest, kSouth, kEast, kX0, kY0, kX1, kY1, scale, scale, Datum::Tokyo);
  return f;
}

double secs(const DmsAngle& a) { return a.TotalSeconds(); }

TEST(SheetFrame, NewFrameIsEmptyWithUnitScale) {
  const SheetFrame f;
  EXPECT_EQ(f.scaleX(), 1.0);
  EXPECT_EQ(f.scaleY(), 1.0);
  EXPECT_EQ(f.x1(), 0);
  EXPECT_EQ(secs(f.northWest(Datum::Wgs84).latitude), 0.0);
  EXPECT_FALSE(f.Contains(DmsAngle(), DmsAngle(), Datum::Tokyo));
}

TEST(SheetFrame, SetupWidensByOneHundredthAndConvertsTheCorners) {
  const SheetFrame f = tokyoSheet(1.0);
  EXPECT_NEAR(secs(f.northWest(Datum::Tokyo).latitude), secs(kNorth) + 0.01, 1e-9);
  EXPECT_NEAR(secs(f.northWest(Datum::Tokyo).longitude), secs(kWest) - 0.01, 1e-9);
  EXPECT_NEAR(secs(f.southEast(Datum::Tokyo).latitude), secs(kSouth) - 0.01, 1e-9);
  EXPECT_NEAR(secs(f.southEast(Datum::Tokyo).longitude), secs(kEast) + 0.01, 1e-9);
  EXPECT_EQ(f.northWest(Datum::Tokyo).datum, Datum::Tokyo);
  EXPECT_EQ(f.southEast(Datum::Wgs84).datum, Datum::Wgs84);

  // The WGS-84 set is the conversion of the widened corners, not widened again.
  const SDatumShiftResult nw = DatumConverter::TokyoToWgs84(f.northWest(Datum::Tokyo).latitude,
                                                            f.northWest(Datum::Tokyo).longitude, 0.0);
  EXPECT_NEAR(secs(f.northWest(Datum::Wgs84).latitude), secs(nw.latitude), 1e-9);
  EXPECT_NEAR(secs(f.northWest(Datum::Wgs84).longitude), secs(nw.longitude), 1e-9);

  // Steps: widened span over the pixel span, then over the scale.
  EXPECT_NEAR(secs(f.longitudeStep(Datum::Tokyo)), 450.02 / 4000.0, 1e-12);
  EXPECT_NEAR(secs(f.latitudeStep(Datum::Tokyo)), 300.02 / 3600.0, 1e-12);
  SheetFrame zoomed = f;
  zoomed.SetScale(0.5, 4.0);
  EXPECT_NEAR(secs(zoomed.longitudeStep(Datum::Tokyo)), 450.02 / 4000.0 / 0.5, 1e-12);
  EXPECT_NEAR(secs(zoomed.latitudeStep(Datum::Wgs84)), secs(f.latitudeStep(Datum::Wgs84)) / 4.0, 1e-12);
}

TEST(SheetFrame, SetupInWgs84FillsTheTokyoSet) {
  const SDatumShiftResult nw = DatumConverter::TokyoToWgs84(kNorth, kWest, 0.0);
  const SDatumShiftResult se = DatumConverter::TokyoToWgs84(kSouth, kEast, 0.0);
  SheetFrame f;
  f.Setup(nw.latitude, nw.longitude, se.latitude, se.longitude, kX0, kY0, kX1, kY1, 1.0, 1.0, Datum::Wgs84);
  EXPECT_NEAR(secs(f.northWest(Datum::Wgs84).latitude), secs(nw.latitude) + 0.01, 1e-9);
  EXPECT_NEAR(secs(f.northWest(Datum::Tokyo).latitude), secs(kNorth) + 0.01, 0.001);
  EXPECT_NEAR(secs(f.southEast(Datum::Tokyo).longitude), secs(kEast) + 0.01, 0.001);
}

TEST(SheetFrame, EdgesOfTheThreeTests) {
  const SheetFrame f = tokyoSheet(1.0);
  const DmsAngle midLat(35, 37, 30.0);
  const DmsAngle midLon(139, 41, 15.0);
  const struct {
    const char* name;
    DmsAngle lat, lon;
    bool pixel, image, contains;
  } kCases[] = {
      {"centre", midLat, midLon, true, true, true},
      {"catalogue north line", kNorth, midLon, true, true, true},
      {"widened north edge", DmsAngle::Add(kNorth, kEps), midLon, true, false, false},
      {"beyond widened north", DmsAngle(35, 40, 0.02), midLon, false, false, false},
      {"catalogue south line", kSouth, midLon, true, true, true},
      {"widened south edge", DmsAngle::Subtract(kSouth, kEps), midLon, true, true, true},
      {"beyond widened south", DmsAngle(35, 34, 59.98), midLon, false, false, false},
      {"catalogue east line", midLat, kEast, true, true, true},
      {"widened east edge", midLat, DmsAngle::Add(kEast, kEps), true, false, false},
      {"widened west edge", midLat, DmsAngle::Subtract(kWest, kEps), true, true, true},
      {"beyond widened west", midLat, DmsAngle(139, 37, 29.98), false, false, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(f.GeoToPixel(c.lat, c.lon, Datum::Tokyo)->onFrame, c.pixel);
    EXPECT_EQ(f.GeoToImagePixel(c.lat, c.lon, Datum::Tokyo)->onFrame, c.image);
    EXPECT_EQ(f.Contains(c.lat, c.lon, Datum::Tokyo), c.contains);
  }
}

TEST(SheetFrame, CornerPixelAndOffFramePositions) {
  for (const double scale : {1.0, 1.5, 0.378}) {
    SCOPED_TRACE(scale);
    const SheetFrame f = tokyoSheet(scale);
    const GeoPosition& nw = f.northWest(Datum::Tokyo);
    const SFramePixel p = *f.GeoToPixel(nw.latitude, nw.longitude, Datum::Tokyo);
    EXPECT_EQ(p.x, static_cast<std::int32_t>(kX0 * scale));
    EXPECT_EQ(p.y, static_cast<std::int32_t>(kY0 * scale));
    EXPECT_TRUE(p.onFrame);
    if (kX0 * scale == p.x && kY0 * scale == p.y) {
      const GeoPosition back = *f.PixelToGeo(p.x, p.y, Datum::Tokyo);
      EXPECT_NEAR(secs(back.latitude), secs(nw.latitude), 1e-9);
      EXPECT_NEAR(secs(back.longitude), secs(nw.longitude), 1e-9);
      EXPECT_EQ(back.datum, Datum::Tokyo);
    }
    // West of the frame: the pixel still comes back, left of the frame, with a false test.
    const SFramePixel west = *f.GeoToPixel(DmsAngle(35, 37, 30.0), DmsAngle(139, 36, 0.0), Datum::Tokyo);
    EXPECT_LT(west.x, kX0 * scale);
    EXPECT_FALSE(west.onFrame);
  }
}

TEST(SheetFrame, PixelAndPositionMapBothWays) {
  for (const double scale : {1.0, 2.0, 0.5}) {
    const SheetFrame f = tokyoSheet(scale);
    for (const Datum datum : {Datum::Tokyo, Datum::Wgs84}) {
      SCOPED_TRACE(testing::Message() << "scale " << scale << " datum " << static_cast<int>(datum));
      for (std::int32_t x = 70; x < 9000; x += 997) {
        for (std::int32_t y = 60; y < 8000; y += 1231) {
          // Pixel -> position -> pixel (truncation may fall one short on the boundary).
          const GeoPosition g = *f.PixelToGeo(x, y, datum);
          const SFramePixel p = *f.GeoToPixel(g.latitude, g.longitude, datum);
          EXPECT_LE(std::abs(p.x - x), 1);
          EXPECT_LE(std::abs(p.y - y), 1);
          // A position inside a pixel maps to that pixel.
          const SFramePixel q = *f.GeoToPixel(DmsAngle::Subtract(g.latitude, DmsAngle::MultiplyBy(f.latitudeStep(datum), 0.5)),
                                              DmsAngle::Add(g.longitude, DmsAngle::MultiplyBy(f.longitudeStep(datum), 0.5)),
                                              datum);
          EXPECT_EQ(q.x, x);
          EXPECT_EQ(q.y, y);
          // The image pixel ignores the scale.
          const SFramePixel img = *f.GeoToImagePixel(g.latitude, g.longitude, datum);
          EXPECT_NEAR(img.x, x / scale, 1.0);
          EXPECT_NEAR(img.y, y / scale, 1.0);
        }
      }
    }
  }
}

TEST(SheetFrame, DatumsAgreeOnThePixel) {
  const SheetFrame f = tokyoSheet(1.0);
  const DmsAngle lat(35, 38, 12.5);
  const DmsAngle lon(139, 40, 3.25);
  const SDatumShiftResult w = DatumConverter::TokyoToWgs84(lat, lon, 0.0);
  const SFramePixel t = *f.GeoToImagePixel(lat, lon, Datum::Tokyo);
  const SFramePixel g = *f.GeoToImagePixel(w.latitude, w.longitude, Datum::Wgs84);
  EXPECT_LE(std::abs(t.x - g.x), 1);
  EXPECT_LE(std::abs(t.y - g.y), 1);
  EXPECT_TRUE(g.onFrame);
  const SGeoText text = *f.PixelToGeoText(t.x, t.y, Datum::Wgs84);
  const GeoPosition pos = *f.PixelToGeo(t.x, t.y, Datum::Wgs84);
  EXPECT_EQ(text.latitude, pos.latitude.FormatText());
  EXPECT_EQ(text.longitude, pos.longitude.FormatText());
}

TEST(SheetFrame, DegenerateFrameKeepsTheWholeSpan) {
  SheetFrame f;
  f.Setup(kNorth, kWest, kSouth, kEast, 500, 400, 500, 100, 0.0, 1.0, Datum::Tokyo);
  EXPECT_NEAR(secs(f.longitudeStep(Datum::Tokyo)), 450.02, 1e-9);  // x1 == x0, sx == 0
  EXPECT_NEAR(secs(f.latitudeStep(Datum::Tokyo)), 300.02, 1e-9);   // y1 < y0
  // Ratio then gives the fraction of the span: a quarter across lands a quarter of a pixel in.
  const DmsAngle quarter = DmsAngle::Add(f.northWest(Datum::Tokyo).longitude, DmsAngle(0, 0, 450.02 * 0.25));
  const SFramePixel p = *f.GeoToPixel(kNorth, quarter, Datum::Tokyo);
  EXPECT_EQ(p.x, 0);  // trunc(0.25 + 500 x 0)
  EXPECT_TRUE(p.onFrame);
}

TEST(SheetFrame, UnknownDatumGivesNoResult) {
  SheetFrame f = tokyoSheet(1.0);
  const Datum bad = static_cast<Datum>(2);
  EXPECT_FALSE(f.PixelToGeo(10, 10, bad).has_value());
  EXPECT_FALSE(f.PixelToGeoText(10, 10, bad).has_value());
  EXPECT_FALSE(f.GeoToPixel(kNorth, kWest, bad).has_value());
  EXPECT_FALSE(f.GeoToImagePixel(kNorth, kWest, bad).has_value());
  EXPECT_FALSE(f.Contains(DmsAngle(35, 37, 0.0), DmsAngle(139, 40, 0.0), bad));
  f.Setup(DmsAngle(), DmsAngle(), DmsAngle(), DmsAngle(), 0, 0, 0, 0, 1.0, 1.0, bad);
  EXPECT_EQ(f.x1(), kX1);  // untouched
  EXPECT_TRUE(f.Contains(DmsAngle(35, 37, 0.0), DmsAngle(139, 40, 0.0), Datum::Tokyo));
}

TEST(SheetFrame, FarAwayPositionsSaturateThePixel) {
  const SheetFrame f = tokyoSheet(1.0);
  const SFramePixel p = *f.GeoToPixel(DmsAngle(-90000000, 0, 0.0), DmsAngle(90000000, 0, 0.0), Datum::Tokyo);
  EXPECT_EQ(p.y, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(p.x, std::numeric_limits<std::int32_t>::max());
  EXPECT_FALSE(p.onFrame);
}

}  // namespace
