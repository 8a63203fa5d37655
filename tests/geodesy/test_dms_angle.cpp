#include "geodesy/DmsAngle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/Codepage.h"

namespace {

std::string utf8(const std::string& cp932) { return platform::cp932::toUtf8Lossy(cp932); }

TEST(DmsAngle, FromTotalSecondsSplitsTowardZero) {
  const struct {
    const char* name;
    double total;
    std::int32_t d, m;
    double s;
  } kCases[] = {
      {"zero", 0.0, 0, 0, 0.0},
      {"35 40 5.5", 35 * 3600 + 40 * 60 + 5.5, 35, 40, 5.5},
      {"just under a degree", 3599.75, 0, 59, 59.75},
      {"negative", -(35 * 3600 + 30 * 60 + 1.5), -35, -30, -1.5},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const DmsAngle a = DmsAngle::FromTotalSeconds(c.total);
    EXPECT_EQ(a.degrees, c.d);
    EXPECT_EQ(a.minutes, c.m);
    EXPECT_NEAR(a.seconds, c.s, 1e-9);
  }
  // Whole degrees come out exact, not as (k - 1) degrees 59 minutes 60 seconds.
  for (std::int32_t k = -180; k <= 360; ++k) {
    SCOPED_TRACE(k);
    const DmsAngle a = DmsAngle::FromTotalSeconds(3600.0 * k);
    EXPECT_EQ(a.degrees, k);
    EXPECT_EQ(a.minutes, 0);
    EXPECT_EQ(a.seconds, 0.0);
  }
}

TEST(DmsAngle, FromDegreesTruncatesEveryFieldTowardZero) {
  const struct {
    const char* name;
    double deg;
    std::int32_t d, m;
    double s;
  } kCases[] = {
      {"35.5", 35.5, 35, 30, 0.0},
      {"139.75", 139.75, 139, 45, 0.0},
      {"negative -35.5", -35.5, -35, -30, 0.0},
      {"negative below one degree", -0.2575, 0, -15, -27.0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const DmsAngle a = DmsAngle::FromDegrees(c.deg);
    EXPECT_EQ(a.degrees, c.d);
    EXPECT_EQ(a.minutes, c.m);
    EXPECT_NEAR(a.seconds, c.s, 1e-9);
    EXPECT_NEAR(a.ToDegrees(), c.deg, 1e-12);
  }
}

TEST(DmsAngle, OutOfRangeValuesSaturateInsteadOfOverflowing) {
  const DmsAngle huge = DmsAngle::FromTotalSeconds(1e300);
  EXPECT_EQ(huge.degrees, std::numeric_limits<std::int32_t>::max());
  const DmsAngle nan = DmsAngle::FromDegrees(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(nan.degrees, 0);
  EXPECT_EQ(geodesy::truncToInt32(-1e20), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(geodesy::truncToInt32(-2.9), -2);
}

TEST(DmsAngle, ArithmeticAndComparisonWorkOnTotalSeconds) {
  const DmsAngle unnormalised(0, 90, 0.0);  // as a dialog may set it
  const DmsAngle same(1, 30, 0.0);
  EXPECT_TRUE(unnormalised == same);
  EXPECT_FALSE(unnormalised < same);
  EXPECT_TRUE(unnormalised <= same && unnormalised >= same);
  EXPECT_TRUE(DmsAngle(1, 29, 59.99) < same);
  EXPECT_TRUE(DmsAngle(1, 30, 0.01) > same);

  const DmsAngle sum = DmsAngle::Add(DmsAngle(35, 59, 59.995), DmsAngle(0, 0, 0.01));
  EXPECT_EQ(sum.degrees, 36);
  EXPECT_EQ(sum.minutes, 0);
  EXPECT_NEAR(sum.seconds, 0.005, 1e-9);
  const DmsAngle diff = DmsAngle::Subtract(DmsAngle(36, 0, 0.0), DmsAngle(0, 0, 0.01));
  EXPECT_EQ(diff.degrees, 35);
  EXPECT_EQ(diff.minutes, 59);
  EXPECT_NEAR(diff.seconds, 59.99, 1e-9);

  EXPECT_DOUBLE_EQ(DmsAngle::Ratio(DmsAngle(0, 5, 0), DmsAngle(0, 2, 30)), 2.0);
  EXPECT_EQ(DmsAngle::Ratio(DmsAngle(0, 5, 0), DmsAngle()), 0.0);
  EXPECT_EQ(DmsAngle::Ratio(DmsAngle(0, 5, 0), DmsAngle(0, -1, 0)), 0.0);

  // A divisor <= 0 returns the angle as it was, fields untouched.
  for (const double k : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
    SCOPED_TRACE(k);
    const DmsAngle kept = DmsAngle::DivideBy(unnormalised, k);
    EXPECT_EQ(kept.minutes, 90);
  }
  const DmsAngle third = DmsAngle::DivideBy(DmsAngle(0, 7, 30), 3.0);
  EXPECT_EQ(third.minutes, 2);
  EXPECT_NEAR(third.seconds, 30.0, 1e-9);
  EXPECT_NEAR(DmsAngle::MultiplyBy(DmsAngle(0, 0, 0.75), 4000.0).TotalSeconds(), 3000.0, 1e-9);
}

TEST(DmsAngle, IsValidChecksFieldsThenRange) {
  const struct {
    const char* name;
    DmsAngle a;
    std::int32_t kind;
    bool valid;
  } kCases[] = {
      {"lat 23", DmsAngle(23, 0, 0.0), kAngleLatitude, true},
      {"lat 50", DmsAngle(50, 0, 0.0), kAngleLatitude, true},
      {"lat 22 59 59.99", DmsAngle(22, 59, 59.99), kAngleLatitude, false},
      {"lat 50 0 0.01", DmsAngle(50, 0, 0.01), kAngleLatitude, false},
      {"lon 120", DmsAngle(120, 0, 0.0), kAngleLongitude, true},
      {"lon 154", DmsAngle(154, 0, 0.0), kAngleLongitude, true},
      {"lon 154 0 0.01", DmsAngle(154, 0, 0.01), kAngleLongitude, false},
      {"lon 119 59 59.99", DmsAngle(119, 59, 59.99), kAngleLongitude, false},
      {"60 minutes, total in range", DmsAngle(34, 60, 0.0), kAngleLatitude, false},
      {"60.0 seconds, total in range", DmsAngle(34, 0, 60.0), kAngleLatitude, false},
      {"negative minutes", DmsAngle(35, -1, 0.0), kAngleLatitude, false},
      {"negative seconds", DmsAngle(35, 0, -0.5), kAngleLatitude, false},
      {"degrees above 180", DmsAngle(181, 0, 0.0), 7, false},
      {"negative degrees", DmsAngle(-1, 0, 0.0), 7, false},
      {"other kind: fields only", DmsAngle(5, 0, 0.0), 7, true},
      {"latitude is no longitude", DmsAngle(35, 0, 0.0), kAngleLongitude, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a.IsValid(c.kind), c.valid);
  }
}

TEST(DmsAngle, FormattingRoundsTheTotalSoSecondsNeverRead60) {
  const struct {
    const char* name;
    DmsAngle a;
    const char *d, *m, *s, *text;
  } kCases[] = {
      {"carries into degrees", DmsAngle(35, 59, 59.996), "36", "0", "0.00", "36度0分0.00秒"},
      {"carries into minutes", DmsAngle(139, 44, 59.995), "139", "45", "0.00", "139度45分0.00秒"},
      {"rounds down", DmsAngle(35, 59, 59.994), "35", "59", "59.99", "35度59分59.99秒"},
      {"rounds half up", DmsAngle(35, 40, 11.645), "35", "40", "11.65", "35度40分11.65秒"},
      {"unnormalised fields", DmsAngle(0, 90, 75.0), "1", "31", "15.00", "1度31分15.00秒"},
      {"zero", DmsAngle(), "0", "0", "0.00", "0度0分0.00秒"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const SDmsFields f = c.a.FormatFields();
    EXPECT_EQ(f.degrees, c.d);
    EXPECT_EQ(f.minutes, c.m);
    EXPECT_EQ(f.seconds, c.s);
    EXPECT_EQ(utf8(c.a.FormatText()), c.text);
  }
  // No hundredth below a whole minute, anywhere in the accepted range, prints as 60.00.
  for (std::int32_t minute = 23 * 60; minute <= 154 * 60; minute += 7) {
    const DmsAngle a = DmsAngle::FromTotalSeconds(minute * 60.0 - 0.004);
    ASSERT_NE(a.FormatFields().seconds, "60.00") << minute;
    ASSERT_EQ(a.FormatFields().seconds, "0.00") << minute;
  }
}

}  // namespace
