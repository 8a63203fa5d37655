#include "trek/TrekTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>

namespace {

// Weekday names 日..土, CP932.
const char* const kWeekdays[7] = {"\x93\xfa", "\x8c\x8e", "\x89\xce", "\x90\x85", "\x96\xd8", "\x8b\xe0", "\x93\x79"};
// 年 月 日 時 分 秒, CP932.
constexpr const char* kYear = "\x94\x4e";
constexpr const char* kMonth = "\x8c\x8e";
constexpr const char* kDay = "\x93\xfa";
constexpr const char* kHour = "\x8e\x9e";
constexpr const char* kMinute = "\x95\xaa";
constexpr const char* kSecond = "\x95\x62";

}  // namespace

std::optional<std::int64_t> TrekTime::UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
  using namespace std::chrono;
  if (year < -32767 || year > 32767 || month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  const year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                            std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  const bool endOfDay = hour == 24 && minute == 0 && second == 0;
  if (!endOfDay && (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)) {
    return std::nullopt;
  }
  const std::int64_t days = sys_days(date).time_since_epoch().count();
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

TrekTime TrekTime::FromReceiverSeconds(std::int32_t s) {
  if (s < 0) return TrekTime(kNoTime);
  const std::int64_t v = static_cast<std::int64_t>(s) + ReceiverEpoch();
  // Past 2038 the 32-bit count cannot hold the time.
  if (v < 0 || v > std::numeric_limits<std::int32_t>::max()) return TrekTime(kNoTime);
  return TrekTime(static_cast<std::int32_t>(v));
}

std::int32_t TrekTime::ToReceiverSeconds() const {
  if (m_count < 0) return -1;
  const std::int64_t v = static_cast<std::int64_t>(m_count) - ReceiverEpoch();
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(v);
}

bool TrekTime::Breakdown(STrekTimeParts& parts) const {
  if (m_count < 0) return false;
  const std::time_t t = static_cast<std::time_t>(m_count);
  const std::tm* lt = std::localtime(&t);  // single UI thread; copied at once
  if (lt == nullptr) return false;
  parts.year = lt->tm_year + 1900;
  parts.month = lt->tm_mon + 1;
  parts.day = lt->tm_mday;
  parts.weekday = lt->tm_wday;
  parts.hour = lt->tm_hour;
  parts.minute = lt->tm_min;
  parts.second = lt->tm_sec;
  return true;
}

void TrekTime::FormatDateAndTime(std::string& dateText, std::string& timeText) const {
  STrekTimeParts p;
  if (!Breakdown(p) || p.weekday < 0 || p.weekday > 6) {
    dateText.clear();
    timeText.clear();
    return;
  }
  char buf[96];
  std::snprintf(buf, sizeof buf, "%d%s%d%s%d%s(%s)", p.year, kYear, p.month, kMonth, p.day, kDay, kWeekdays[p.weekday]);
  dateText = buf;
  std::snprintf(buf, sizeof buf, "%d%s%d%s%d%s", p.hour, kHour, p.minute, kMinute, p.second, kSecond);
  timeText = buf;
}

std::string TrekTime::FormatShort() const {
  STrekTimeParts p;
  if (!Breakdown(p) || p.weekday < 0 || p.weekday > 6) return {};
  char buf[96];
  std::snprintf(buf, sizeof buf, "%d%s%d%s(%s) %d%s%d%s%d%s", p.month, kMonth, p.day, kDay, kWeekdays[p.weekday], p.hour,
                kHour, p.minute, kMinute, p.second, kSecond);
  return buf;
}
