// Track point times: the fixed receiver epoch, UTC calendar times, and the texts in the local zone.
#include <QByteArray>
#include <QtGlobal>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <optional>

#include "common/ScopedZone.h"
#include "trek/TrekTime.h"

namespace {

using ScopedZone = testutil::CScopedZone;

// CP932 bytes of the texts below.
const std::string kNen = "\x94\x4e", kGatsu = "\x8c\x8e", kNichi = "\x93\xfa", kJi = "\x8e\x9e", kFun = "\x95\xaa",
                  kByou = "\x95\x62";
const std::string kWeekday[7] = {"\x93\xfa", "\x8c\x8e", "\x89\xce", "\x90\x85", "\x96\xd8", "\x8b\xe0", "\x93\x79"};

std::string date(int y, int m, int d, int wd) {
  return std::to_string(y) + kNen + std::to_string(m) + kGatsu + std::to_string(d) + kNichi + "(" + kWeekday[wd] + ")";
}
std::string clock(int h, int m, int s) {
  return std::to_string(h) + kJi + std::to_string(m) + kFun + std::to_string(s) + kByou;
}

}  // namespace

TEST(TrekTime, ReceiverEpochIsTheSameInEveryZone) {
  // What mktime gave on the machines at UTC+9 where trek files were first made.
  const char* const kZones[] = {"Asia/Tokyo", "UTC", "America/New_York", "Europe/London", "Pacific/Kiritimati"};
  for (const char* zone : kZones) {
    SCOPED_TRACE(zone);
    ScopedZone z(zone);
    EXPECT_EQ(TrekTime::ReceiverEpoch(), 631065600);  // 1989-12-31 00:00:00 UTC
    EXPECT_EQ(TrekTime::FromReceiverSeconds(0).Count(), 631065600);
    EXPECT_EQ(TrekTime::FromReceiverSeconds(86400).ToReceiverSeconds(), 86400);
  }
}

TEST(TrekTime, TextsFollowTheLocalZone) {
  const struct {
    const char* zone;
    std::string dateText, timeText;
  } kCases[] = {
      {"Asia/Tokyo", date(1989, 12, 31, 0), clock(9, 0, 0)},
      {"UTC", date(1989, 12, 31, 0), clock(0, 0, 0)},
      {"America/Los_Angeles", date(1989, 12, 30, 6), clock(16, 0, 0)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.zone);
    ScopedZone z(c.zone);
    std::string d, t;
    TrekTime::FromReceiverSeconds(0).FormatDateAndTime(d, t);
    EXPECT_EQ(d, c.dateText);
    EXPECT_EQ(t, c.timeText);
  }
}

TEST(TrekTime, UtcSecondsOfCalendarTimes) {
  const struct {
    const char* name;
    int y, mo, d, h, mi, s;
    std::optional<std::int64_t> want;
  } kCases[] = {
      {"unix epoch", 1970, 1, 1, 0, 0, 0, 0},
      {"receiver epoch", 1989, 12, 31, 0, 0, 0, 631065600},
      {"a summer morning", 2024, 8, 1, 9, 30, 15, 1722504615},
      {"leap day", 2024, 2, 29, 0, 0, 0, 1709164800},
      {"end of a day", 2024, 7, 31, 24, 0, 0, 1722470400},
      {"before 1970", 1969, 12, 31, 23, 59, 59, -1},
      {"year 0", 0, 1, 1, 0, 0, 0, -62167219200},
      {"month 13", 2024, 13, 1, 0, 0, 0, std::nullopt},
      {"month 0", 2024, 0, 1, 0, 0, 0, std::nullopt},
      {"day 45", 2024, 12, 45, 0, 0, 0, std::nullopt},
      {"30 February", 2024, 2, 30, 0, 0, 0, std::nullopt},
      {"29 February of 1900", 1900, 2, 29, 0, 0, 0, std::nullopt},
      {"31 April", 2024, 4, 31, 0, 0, 0, std::nullopt},
      {"hour 24 past midnight", 2024, 7, 31, 24, 0, 1, std::nullopt},
      {"hour 25", 2024, 7, 31, 25, 0, 0, std::nullopt},
      {"minute 60", 2024, 7, 31, 10, 60, 0, std::nullopt},
      {"second 60", 2024, 7, 31, 10, 0, 60, std::nullopt},
      {"negative second", 2024, 7, 31, 10, 0, -1, std::nullopt},
      {"year out of the calendar", 40000, 1, 1, 0, 0, 0, std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrekTime::UtcSeconds(c.y, c.mo, c.d, c.h, c.mi, c.s), c.want);
  }
}

TEST(TrekTime, TextsInTokyo) {
  ScopedZone z("Asia/Tokyo");
  const struct {
    const char* name;
    TrekTime time;
    std::string dateText, timeText, shortText;
  } kCases[] = {
      {"receiver epoch", TrekTime::FromReceiverSeconds(0), date(1989, 12, 31, 0), clock(9, 0, 0),
       "12" + kGatsu + "31" + kNichi + "(" + kWeekday[0] + ") " + clock(9, 0, 0)},
      // 2003-07-05 09:05:00 JST, no zero padding anywhere.
      {"no padding", TrekTime(1057363500), date(2003, 7, 5, 6), clock(9, 5, 0),
       "7" + kGatsu + "5" + kNichi + "(" + kWeekday[6] + ") " + clock(9, 5, 0)},
      {"monday", TrekTime(1057363500 + 2 * 86400 + 14 * 3600 + 54 * 60 + 59), date(2003, 7, 7, 1), clock(23, 59, 59),
       "7" + kGatsu + "7" + kNichi + "(" + kWeekday[1] + ") " + clock(23, 59, 59)},
      {"all bits set", TrekTime::FromReceiverSeconds(static_cast<std::int32_t>(0xFFFFFFFFu)), "", "", ""},
      {"most negative", TrekTime::FromReceiverSeconds(std::numeric_limits<std::int32_t>::min()), "", "", ""},
      {"count -1", TrekTime(-1), "", "", ""},
      {"past 2038", TrekTime::FromReceiverSeconds(std::numeric_limits<std::int32_t>::max()), "", "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string d = "x", t = "x";
    c.time.FormatDateAndTime(d, t);
    EXPECT_EQ(d, c.dateText);
    EXPECT_EQ(t, c.timeText);
    EXPECT_EQ(c.time.FormatShort(), c.shortText);
  }
}

TEST(TrekTime, WeekdaysOverAWeek) {
  ScopedZone z("Asia/Tokyo");
  // 2003-07-06 was a Sunday.
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    STrekTimeParts parts;
    ASSERT_TRUE(TrekTime(1057363500 + (i + 1) * 86400).Breakdown(parts));
    EXPECT_EQ(parts.weekday, i);
    EXPECT_EQ(parts.day, 6 + i);
  }
}

TEST(TrekTime, ReceiverSecondsBothWays) {
  ScopedZone z("Asia/Tokyo");
  const struct {
    std::int32_t in;
    std::int32_t count;
    std::int32_t back;
  } kCases[] = {
      {-1, -1, -1},
      {-100, -1, -1},
      {0, 631065600, 0},
      {426298000, 1057363600, 426298000},
      {2147483647 - 631065600, 2147483647, 2147483647 - 631065600},
      {2147483647 - 631065599, -1, -1},  // does not fit the 32-bit count
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in);
    const TrekTime t = TrekTime::FromReceiverSeconds(c.in);
    EXPECT_EQ(t.Count(), c.count);
    EXPECT_EQ(t.ToReceiverSeconds(), c.back);
  }
  // Times before the epoch come back negative rather than as "no time".
  EXPECT_EQ(TrekTime(631065600 - 10).ToReceiverSeconds(), -10);
}
