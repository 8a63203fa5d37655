#include "geodesy/MagneticDeclination.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace geodesy;

TEST(MagneticDeclination, Wmm2025AgainstItsPublishedTestValues) {
  const CMagneticModel& wmm = Wmm2025();
  EXPECT_EQ(wmm.name(), "WMM-2025");
  EXPECT_EQ(wmm.releaseDate(), "11/13/2024");
  EXPECT_DOUBLE_EQ(wmm.epoch(), 2025.0);
  EXPECT_EQ(wmm.degree(), 12);
  // The model report's test table: declination to 0.01 degree at two dates and two heights.
  const struct {
    double year, heightKm, lat, lon, declination;
  } kValues[] = {
      {2025.0, 0, 80, 0, 1.28},      {2025.0, 0, 0, 120, -0.16},     {2025.0, 0, -80, 240, 68.78},
      {2025.0, 100, 80, 0, 0.85},    {2025.0, 100, 0, 120, -0.15},   {2025.0, 100, -80, 240, 68.21},
      {2027.5, 0, 80, 0, 2.59},      {2027.5, 0, 0, 120, -0.24},     {2027.5, 0, -80, 240, 68.49},
      {2027.5, 100, 80, 0, 2.16},    {2027.5, 100, 0, 120, -0.23},   {2027.5, 100, -80, 240, 67.93},
  };
  for (const auto& v : kValues) {
    SCOPED_TRACE(testing::Message() << v.year << " " << v.heightKm << " km " << v.lat << " " << v.lon);
    const SMagneticField f = wmm.Field(v.lat, v.lon, v.heightKm * 1000.0, v.year);
    EXPECT_NEAR(f.declinationDeg, v.declination, 0.0051);
  }
  // Japan: west of true north by 5 to 10 degrees from Kyushu to Hokkaido.
  EXPECT_LT(wmm.Declination(35.68, 139.77, 2026.0), -7.0);
  EXPECT_GT(wmm.Declination(35.68, 139.77, 2026.0), -8.0);
  EXPECT_GT(wmm.Declination(26.2, 127.7, 2026.0), -6.0);
  EXPECT_LT(wmm.Declination(45.4, 141.7, 2026.0), -9.0);
  EXPECT_TRUE(wmm.covers(2026.9));
  EXPECT_FALSE(wmm.covers(2030.0));
}

TEST(MagneticDeclination, CoefficientFiles) {
  const std::string head = "    2025.0            WMM-2025     11/13/2024\n";
  const std::string row10 = "  1  0  -29351.8       0.0       12.0        0.0\n";
  const std::string row11 = "  1  1   -1410.8    4545.4        9.7      -21.5\n";
  const std::string end = "999999999999999999999999999999999999999999999999\n";
  const struct {
    const char* name;
    std::string text;
    ECofError want;
  } kFiles[] = {
      {"degree one", head + row10 + row11 + end, ECofError::None},
      {"without the end rows", head + row10 + row11, ECofError::None},
      {"CRLF lines", "2025.0 WMM-2025 11/13/2024\r\n1 0 -29351.8 0 12 0\r\n1 1 -1410.8 4545.4 9.7 -21.5\r\n",
       ECofError::None},
      {"empty", "", ECofError::Header},
      {"header without a date", "2025.0 WMM-2025\n" + row10, ECofError::Header},
      {"epoch not a year", "soon WMM-2025 11/13/2024\n" + row10, ECofError::Header},
      {"no rows", head + end, ECofError::Missing},
      {"a gap", head + row10 + "  2  0   -2556.6 0 -11.6 0\n" + end, ECofError::Missing},
      {"short row", head + "  1  0  -29351.8  0.0  12.0\n", ECofError::Row},
      {"text in a row", head + "  1  0  -29351.8  x  12.0 0\n", ECofError::Row},
      {"order above degree", head + "  1  2  1 2 3 4\n", ECofError::Degree},
      {"degree 31", head + " 31  0  1 2 3 4\n", ECofError::Degree},
      {"twice the same term", head + row10 + row10 + row11, ECofError::Degree},
      {"fractional degree", head + "  1.5  0  1 2 3 4\n", ECofError::Degree},
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.name);
    ECofError error = ECofError::Missing;
    const std::optional<CMagneticModel> m = CMagneticModel::FromCof(f.text, &error);
    EXPECT_EQ(error, f.want);
    EXPECT_EQ(m.has_value(), f.want == ECofError::None);
  }
  // A dipole alone points magnetic north along its axis: east of north where the axis leans east.
  const std::optional<CMagneticModel> dipole = CMagneticModel::FromCof(head + row10 + row11);
  ASSERT_TRUE(dipole);
  EXPECT_EQ(dipole->degree(), 1);
  EXPECT_NE(dipole->Declination(35.0, 139.0, 2025.0), 0.0);
  // Bytes of any kind give an answer without a crash.
  std::string junk(4096, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 37 + 11);
  EXPECT_FALSE(CMagneticModel::FromCof(junk));
}

TEST(MagneticDeclination, TextsAndDates) {
  const struct {
    double deg;
    const char* text;
  } kTexts[] = {{-7.3333, "西偏 7°20′"}, {-7.3249, "西偏 7°19′"}, {0.0833, "東偏 0°05′"}, {0.004, "偏差 0°00′"},
                {-9.9999, "西偏 10°00′"}, {12.5, "東偏 12°30′"}};
  for (const auto& t : kTexts) {
    SCOPED_TRACE(t.deg);
    EXPECT_EQ(DeclinationText(t.deg), t.text);
  }
  EXPECT_EQ(DeclinationHeaderText(-7.3333, 2026), "磁針方位 西偏 7°20′ (2026年)");
  EXPECT_DOUBLE_EQ(DecimalYear(2026, 1, 1), 2026.0);
  EXPECT_NEAR(DecimalYear(2026, 7, 2), 2026.5, 0.002);
  EXPECT_NEAR(DecimalYear(2028, 12, 31), 2028.0 + 365.0 / 366.0, 1e-12);
  EXPECT_DOUBLE_EQ(DecimalYear(2026, 2, 30), 2026.0);
}

}  // namespace
