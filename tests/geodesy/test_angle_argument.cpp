#include "geodesy/AngleArgument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/TestUtil.h"

namespace {

TEST(AngleArgument, AcceptsDecimalDegreesAndDms) {
  const struct {
    const char* text;
    std::int32_t d, m;
    double s;
  } kCases[] = {
      {"35.5", 35, 30, 0.0},       {"139.75", 139, 45, 0.0},   {"35", 35, 0, 0.0},
      {"35:40:0", 35, 40, 0.0},    {"35:40:11.65", 35, 40, 11.65}, {"139:5:0.5", 139, 5, 0.5},
      {"180", 180, 0, 0.0},        {"0:59:59.99", 0, 59, 59.99},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const std::optional<DmsAngle> a = ParseAngleArgument(c.text);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->degrees, c.d);
    EXPECT_EQ(a->minutes, c.m);
    EXPECT_NEAR(a->seconds, c.s, 1e-9);
  }
}

TEST(AngleArgument, RefusesEverythingElse) {
  for (const char* text : {"", ".", "-35.5", "+35", "35.5.1", "35,5", " 35", "35 ", "1e2", "nan", "inf",
                           "180.5", "181:0:0", "35:60:0", "35:40:60", "35:40", "35:40:0:0", "35::0",
                           ":40:0", "35:40:", "35:4.5:0", "35:40:-1", "99999999999999999999:0:0"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(ParseAngleArgument(text).has_value());
  }
  EXPECT_FALSE(ParseAngleArgument(std::string_view("35\0", 3)).has_value());
}

TEST(AngleArgument, DatumCommand) {
  const testutil::SRunResult r = testutil::runCli({"datum", "--from", "tokyo", "35:40:0", "139.75"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"to\": \"wgs84\""), std::string::npos);
  EXPECT_NE(r.out.find("\"text\": \"35度40分11.65秒\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"text\": \"139度44分48.40秒\""), std::string::npos) << r.out;

  const testutil::SRunResult back = testutil::runCli({"datum", "--from", "wgs84", "35:40:11.65", "139:44:48.40"});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_NE(back.out.find("\"text\": \"35度40分0.00秒\""), std::string::npos) << back.out;

  const struct {
    const char* name;
    std::vector<std::string> args;
  } kBad[] = {
      {"no datum", {"datum", "35", "139"}},
      {"unknown datum", {"datum", "--from", "jgd", "35", "139"}},
      {"one angle", {"datum", "--from", "tokyo", "35"}},
      {"bad angle", {"datum", "--from", "tokyo", "35:61:0", "139"}},
      {"latitude 91", {"datum", "--from", "tokyo", "91", "139"}},
      {"latitude just past the pole", {"datum", "--from", "wgs84", "90:0:0.01", "139"}},
      {"latitude 180", {"datum", "--from", "tokyo", "180", "139"}},
      {"longitude 200", {"datum", "--from", "tokyo", "35", "200"}},
      {"longitude just past 180", {"datum", "--from", "tokyo", "35", "180:0:0.5"}},
  };
  for (const auto& c : kBad) {
    SCOPED_TRACE(c.name);
    const testutil::SRunResult e = testutil::runCli(c.args);
    EXPECT_EQ(e.status, 1);
    EXPECT_TRUE(e.out.empty());
    EXPECT_NE(e.err.find("vantoria-cli: datum:"), std::string::npos);
    EXPECT_EQ(std::count(e.err.begin(), e.err.end(), '\n'), 1) << "one line: " << e.err;
  }
  // At the ends of the range: a report, marked not valid for the program's maps.
  const struct {
    const char* name;
    const char* lat;
    const char* lon;
  } kEdges[] = {{"north pole", "90", "139"}, {"equator", "0", "139"}, {"date line", "35", "180"}};
  for (const auto& c : kEdges) {
    SCOPED_TRACE(c.name);
    const testutil::SRunResult e = testutil::runCli({"datum", "--from", "wgs84", c.lat, c.lon});
    EXPECT_EQ(e.status, 0) << e.err;
    EXPECT_NE(e.out.find("\"valid\": false"), std::string::npos) << e.out;
  }
}

}  // namespace
