#include "geodesy/DatumConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/Codepage.h"

namespace {

TEST(DatumConverter, TokyoExampleAndItsReturnTrip) {
  const SDatumShiftResult w = DatumConverter::TokyoToWgs84(DmsAngle(35, 40, 0.0), DmsAngle(139, 45, 0.0), 0.0);
  EXPECT_EQ(w.latitude.degrees, 35);
  EXPECT_EQ(w.latitude.minutes, 40);
  EXPECT_NEAR(w.latitude.seconds, 11.65, 0.005);
  EXPECT_EQ(w.longitude.degrees, 139);
  EXPECT_EQ(w.longitude.minutes, 44);
  EXPECT_NEAR(w.longitude.seconds, 48.40, 0.005);
  EXPECT_NEAR(w.height, 37.2, 0.05);
  EXPECT_EQ(platform::cp932::toUtf8Lossy(w.latitude.FormatText()), "35度40分11.65秒");
  EXPECT_EQ(platform::cp932::toUtf8Lossy(w.longitude.FormatText()), "139度44分48.40秒");

  // The height is dropped on the way back, so the start is missed by about 0.0001".
  const SDatumShiftResult t = DatumConverter::Wgs84ToTokyo(w.latitude, w.longitude, 0.0);
  EXPECT_EQ(t.latitude.degrees, 35);
  EXPECT_EQ(t.latitude.minutes, 39);
  EXPECT_NEAR(t.latitude.seconds, 59.9999, 0.00005);
  EXPECT_EQ(t.longitude.degrees, 139);
  EXPECT_EQ(t.longitude.minutes, 45);
  EXPECT_NEAR(t.longitude.seconds, 0.0001, 0.00005);
  EXPECT_FALSE(t.latitude == DmsAngle(35, 40, 0.0));
}

TEST(DatumConverter, RoundTripAcrossTheAcceptedArea) {
  for (int lat = 23; lat <= 50; lat += 3) {
    for (int lon = 120; lon <= 154; lon += 4) {
      SCOPED_TRACE(testing::Message() << lat << "N " << lon << "E");
      const DmsAngle la(lat, 17, 31.25);
      const DmsAngle lo(lon, 42, 5.5);
      const SDatumShiftResult w = DatumConverter::TokyoToWgs84(la, lo, 0.0);
      // Normalised output, degrees carry no sign here.
      EXPECT_TRUE(w.latitude.minutes >= 0 && w.latitude.minutes < 60);
      EXPECT_TRUE(w.latitude.seconds >= 0.0 && w.latitude.seconds < 60.0);
      // The shift is a few to some twenty seconds of arc: northwards and westwards.
      const double dLat = w.latitude.TotalSeconds() - la.TotalSeconds();
      const double dLon = w.longitude.TotalSeconds() - lo.TotalSeconds();
      EXPECT_GT(dLat, 2.0);
      EXPECT_LT(dLat, 20.0);
      EXPECT_LT(dLon, -2.0);
      EXPECT_GT(dLon, -20.0);
      const SDatumShiftResult back = DatumConverter::Wgs84ToTokyo(w.latitude, w.longitude, 0.0);
      EXPECT_NEAR(back.latitude.TotalSeconds(), la.TotalSeconds(), 0.001);
      EXPECT_NEAR(back.longitude.TotalSeconds(), lo.TotalSeconds(), 0.001);
      // Carrying the height along closes the loop far more tightly.
      const SDatumShiftResult exact = DatumConverter::Wgs84ToTokyo(w.latitude, w.longitude, w.height);
      EXPECT_NEAR(exact.latitude.TotalSeconds(), la.TotalSeconds(), 1e-5);
      EXPECT_NEAR(exact.longitude.TotalSeconds(), lo.TotalSeconds(), 1e-5);
      EXPECT_NEAR(exact.height, 0.0, 0.01);
    }
  }
}

TEST(DatumConverter, ConvertFollowsTheTargetDatum) {
  const GeoPosition tokyo{DmsAngle(35, 40, 0.0), DmsAngle(139, 45, 0.0), Datum::Tokyo};
  const GeoPosition same = DatumConverter::Convert(tokyo, Datum::Tokyo);
  EXPECT_EQ(same.latitude.seconds, 0.0);
  EXPECT_EQ(same.datum, Datum::Tokyo);
  const GeoPosition w = DatumConverter::Convert(tokyo, Datum::Wgs84);
  EXPECT_EQ(w.datum, Datum::Wgs84);
  EXPECT_NEAR(w.latitude.TotalSeconds(),
              DatumConverter::TokyoToWgs84(tokyo.latitude, tokyo.longitude, 0.0).latitude.TotalSeconds(), 0.0);
  const GeoPosition t = DatumConverter::Convert(w, Datum::Tokyo);
  EXPECT_EQ(t.datum, Datum::Tokyo);
  EXPECT_NEAR(t.longitude.TotalSeconds(), tokyo.longitude.TotalSeconds(), 0.001);
  const GeoPosition unknown = DatumConverter::Convert(tokyo, static_cast<Datum>(5));
  EXPECT_EQ(unknown.datum, Datum::Tokyo);
  EXPECT_TRUE(unknown.latitude == tokyo.latitude);
  EXPECT_EQ(platform::cp932::toUtf8Lossy(DatumDisplayText(Datum::Wgs84)), "測地系 WGS-84/JGD2000");
  EXPECT_EQ(platform::cp932::toUtf8Lossy(DatumDisplayText(Datum::Tokyo)), "測地系 Tokyo");
  EXPECT_EQ(DatumDisplayText(static_cast<Datum>(2)), "");
}

TEST(DatumConverter, Semicircles) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const struct {
    const char* name;
    std::int32_t units;
    double degrees;
  } kCases[] = {
      {"zero", 0, 0.0},
      {"90 degrees", 1 << 30, 90.0},
      {"-180 degrees", kMin, -180.0},
      {"35 40 N", 425519908, 35.66666666418314},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(DatumConverter::SemicirclesToAngle(c.units).ToDegrees(), c.degrees, 1e-7);
    // Back again within one unit (the split and the truncation each lose a little).
    EXPECT_LE(std::abs(static_cast<std::int64_t>(DatumConverter::AngleToSemicircles(
                           DatumConverter::SemicirclesToAngle(c.units))) - c.units), 1);
  }
  // Truncation toward zero, on both sides of zero.
  const DmsAngle tiny = DmsAngle::FromDegrees(180.0 / 2147483648.0 * 2.5);
  EXPECT_EQ(DatumConverter::AngleToSemicircles(tiny), 2);
  EXPECT_EQ(DatumConverter::AngleToSemicircles(DmsAngle::FromDegrees(-180.0 / 2147483648.0 * 2.5)), -2);
  // 180 degrees and beyond do not fit: saturate rather than overflow.
  EXPECT_EQ(DatumConverter::AngleToSemicircles(DmsAngle(180, 0, 0.0)), kMax);
  EXPECT_EQ(DatumConverter::AngleToSemicircles(DmsAngle(400, 0, 0.0)), kMax);
}

}  // namespace
