#include "geodesy/GridReference.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace geodesy;

// Eastings and northings worked out apart from the program (Krüger's series to the fourth
// power of n on WGS-84, k0 0.9996), letters by the MGRS lettering rules: the eight-letter
// column sets by zone, rows A..V shifted by F in even zones. Points at both sides of the
// 53/54 and 54/55 zone edges and the band edges across Japan (Q/R at 24 N, R/S at 32 N, S/T at
// 40 N).
const struct {
  const char* name;
  double lat, lon;
  const char* mgrs;
  double easting, northing;
} kPoints[] = {
    {"Tokyo Station", 35.681236, 139.767125, "54S UE 88435 49293", 388435.6871, 3949293.9781},
    {"Naha", 26.212400, 127.680900, "52R CP 68218 99876", 368218.6985, 2899876.2687},
    {"Sapporo", 43.062100, 141.354400, "54T WN 28857 67771", 528857.4645, 4767771.8712},
    {"Fukuoka", 33.590400, 130.401700, "52S FC 30067 17622", 630067.0086, 3717622.1820},
    {"Osaka", 34.693700, 135.502300, "53S NU 46006 39191", 546006.0611, 3839191.2024},
    {"zone 53 east edge", 36.000000, 137.999900, "53S QV 70412 88111", 770412.3534, 3988111.6846},
    {"zone 54 west edge", 36.000000, 138.000100, "54S TE 29587 88111", 229587.6466, 3988111.6846},
    {"zone 54 east edge", 43.500000, 143.999900, "54T YP 42530 20713", 742530.8604, 4820713.9668},
    {"zone 55 west edge", 43.500000, 144.000100, "55T BJ 57469 20713", 257469.1396, 4820713.9668},
    {"band R top", 31.999900, 131.000000, "52R FA 88927 42172", 688927.8432, 3542172.4039},
    {"band S bottom", 32.000100, 131.000000, "52S FA 88927 42194", 688927.4329, 3542194.5783},
    {"band S top", 39.999900, 140.000000, "54S VK 14639 28224", 414639.4136, 4428224.9653},
    {"band T bottom", 40.000100, 140.000000, "54T VK 14639 28247", 414639.6627, 4428247.1640},
    {"band Q", 24.300000, 124.150000, "51R XG 16700 87923", 616700.2035, 2687923.3582},
    {"Wakkanai", 45.415400, 141.673100, "54T WR 52665 29318", 552665.8299, 5029318.0920},
    {"Mt Fuji", 35.360600, 138.727400, "54S TE 93517 15404", 293517.3470, 3915404.0169},
};

TEST(GridReference, UtmAndMgrsOfPointsAcrossJapan) {
  for (const auto& p : kPoints) {
    SCOPED_TRACE(p.name);
    const std::optional<SUtmPosition> utm = ToUtm(p.lat, p.lon);
    ASSERT_TRUE(utm);
    EXPECT_EQ(utm->zone, std::atoi(p.mgrs));
    EXPECT_TRUE(utm->north);
    EXPECT_NEAR(utm->easting, p.easting, 0.005);
    EXPECT_NEAR(utm->northing, p.northing, 0.005);
    EXPECT_EQ(FormatMgrs(p.lat, p.lon), p.mgrs);
    // Read back: the middle of the metre square named, so within a metre of the point.
    const SGridParse back = ParseGridReference(p.mgrs);
    ASSERT_EQ(back.error, EGridError::None);
    ASSERT_TRUE(back.position);
    EXPECT_EQ(back.digits, 5);
    const std::optional<SUtmPosition> again = ToUtm(back.position->latitude, back.position->longitude);
    ASSERT_TRUE(again);
    EXPECT_NEAR(again->easting, std::floor(p.easting) + 0.5, 0.01);
    EXPECT_NEAR(again->northing, std::floor(p.northing) + 0.5, 0.01);
    // The UTM text reads back too, to the metre.
    const SGridParse utmBack = ParseGridReference(FormatUtm(*utm));
    ASSERT_EQ(utmBack.error, EGridError::None) << FormatUtm(*utm);
    EXPECT_NEAR(utmBack.position->latitude, p.lat, 2e-5);
    EXPECT_NEAR(utmBack.position->longitude, p.lon, 2e-5);
  }
}

TEST(GridReference, ZoneOfLongitudeAndGridLinesBeyondTheEdge) {
  const struct {
    double lon;
    int zone;
  } kZones[] = {{122.9, 51}, {123.0, 51}, {129.0, 52}, {137.999, 53}, {138.0, 54}, {144.0, 55}, {153.98, 56},
                {-180.0, 1}, {179.99, 60}, {180.0, 1}};
  for (const auto& z : kZones) {
    SCOPED_TRACE(z.lon);
    EXPECT_EQ(UtmZoneOfLongitude(z.lon), z.zone);
  }
  EXPECT_DOUBLE_EQ(UtmZoneWestDeg(54), 138.0);
  // Zone 54's lines carried a degree into zone 53, as the grid draws them up to the edge.
  const std::optional<SUtmPosition> carried = ToUtmInZone(36.0, 137.0, 54);
  ASSERT_TRUE(carried);
  EXPECT_EQ(carried->zone, 54);
  EXPECT_LT(carried->easting, 200000.0);
  const std::optional<SLatLon> back = FromUtm(54, true, carried->easting, carried->northing);
  ASSERT_TRUE(back);
  EXPECT_NEAR(back->latitude, 36.0, 1e-9);
  EXPECT_NEAR(back->longitude, 137.0, 1e-9);
  EXPECT_FALSE(ToUtmInZone(36.0, 137.0, 0));
  EXPECT_FALSE(ToUtmInZone(36.0, 137.0, 61));
  EXPECT_FALSE(ToUtm(85.0, 140.0));
  EXPECT_FALSE(ToUtm(std::nan(""), 140.0));
}

TEST(GridReference, TypedReferences) {
  // The square's middle: 10 digits name a metre, 2 digits 10 km, none the 100 km square.
  const struct {
    const char* name;
    const char* text;
    int digits;
    double easting, northing;  // in zone 54
  } kGood[] = {
      {"spaced", "54S UE 88435 49293", 5, 388435.5, 3949293.5},
      {"packed lower case", "54sue8843549293", 5, 388435.5, 3949293.5},
      {"blanks around", "  54S  UE 8843549293 ", 5, 388435.5, 3949293.5},
      {"8 digits", "54SUE 8843 4929", 4, 388435.0, 3949295.0},
      {"6 digits", "54S UE 884 492", 3, 388450.0, 3949250.0},
      {"4 digits", "54SUE8849", 2, 388500.0, 3949500.0},
      {"2 digits", "54S UE 8 4", 1, 385000.0, 3945000.0},
      {"square only", "54SUE", 0, 350000.0, 3950000.0},
      {"utm with band", "54S 388435 3949293", 0, 388435.0, 3949293.0},
      {"utm with N for north", "54N 388435 3949293", 0, 388435.0, 3949293.0},
      {"utm zone only", "54 388435.5 3949293.5", 0, 388435.5, 3949293.5},
      {"utm band apart", "54 s 388435 3949293", 0, 388435.0, 3949293.0},
  };
  for (const auto& c : kGood) {
    SCOPED_TRACE(c.name);
    const SGridParse r = ParseGridReference(c.text);
    ASSERT_EQ(r.error, EGridError::None);
    ASSERT_TRUE(r.position);
    EXPECT_EQ(r.digits, c.digits);
    const std::optional<SUtmPosition> utm = ToUtmInZone(r.position->latitude, r.position->longitude, 54);
    ASSERT_TRUE(utm);
    EXPECT_NEAR(utm->easting, c.easting, 0.01);
    EXPECT_NEAR(utm->northing, c.northing, 0.01);
  }

  const struct {
    const char* name;
    const char* text;
    EGridError want;
  } kBad[] = {
      {"empty", "", EGridError::Empty},
      {"blanks", "   ", EGridError::Empty},
      {"words", "Mt Fuji", EGridError::Syntax},
      {"no zone", "SUE 12345 67890", EGridError::Syntax},
      {"zone 0", "0SUE1234567890", EGridError::Zone},
      {"zone 61", "61SUE1234567890", EGridError::Zone},
      {"band I", "54IUE1234567890", EGridError::Band},
      {"band O", "54OUE1234567890", EGridError::Band},
      {"band Y", "54YUE1234567890", EGridError::Band},
      {"column of another zone", "54SAE1234567890", EGridError::Square},
      {"row W", "54SUW1234567890", EGridError::Square},
      {"letter O in the square", "54SUO1234567890", EGridError::Square},
      {"odd digits", "54SUE123456789", EGridError::Digits},
      {"twelve digits", "54SUE123456789012", EGridError::Digits},
      {"letters after digits", "54SUE12345X7890", EGridError::Syntax},
      {"square outside its band", "54SUP1234567890", EGridError::Range},
      {"southern band", "54HUE1234567890", EGridError::NotNorthEast},
      {"utm easting too small", "54S 38843 3949293", EGridError::Range},
      {"utm band that disagrees", "54T 388435 3949293", EGridError::Range},
      {"utm zone 99", "99S 388435 3949293", EGridError::Zone},
      {"utm bad letter", "54I 388435 3949293", EGridError::Band},
      {"western hemisphere", "10S EG 12345 67890", EGridError::NotNorthEast},
  };
  for (const auto& c : kBad) {
    SCOPED_TRACE(c.name);
    const SGridParse r = ParseGridReference(c.text);
    EXPECT_EQ(r.error, c.want);
    EXPECT_FALSE(r.position);
  }
  // Any bytes: a refusal, never a crash.
  const std::string junk("\xff\x00\x80 54S \x01", 10);
  EXPECT_NE(ParseGridReference(junk).error, EGridError::None);
  EXPECT_EQ(ParseGridReference(std::string(10000, '5')).error, EGridError::Syntax);
}

TEST(GridReference, StatusBarTexts) {
  const std::optional<SGridTexts> utm = GridPositionTexts(35.681236, 139.767125, EPosFormat::Utm);
  ASSERT_TRUE(utm);
  EXPECT_EQ(utm->first, "UTM 54S 388435E");
  EXPECT_EQ(utm->second, "3949293N");
  const std::optional<SGridTexts> mgrs = GridPositionTexts(35.681236, 139.767125, EPosFormat::Mgrs);
  ASSERT_TRUE(mgrs);
  EXPECT_EQ(mgrs->first, "MGRS 54S UE 88435 49293");
  EXPECT_EQ(mgrs->second, "");
  EXPECT_FALSE(GridPositionTexts(35.0, 139.0, EPosFormat::Dms));
  EXPECT_EQ(FormatDecimalDegrees(35.6812364), "35.681236");
  EXPECT_EQ(FormatMgrs(35.681236, 139.767125, 2), "54S UE 88 49");
  EXPECT_EQ(FormatMgrs(35.681236, 139.767125, 0), "54S UE");
}

}  // namespace
