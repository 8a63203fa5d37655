#pragma once
// Calendar time of a track point: one signed 32-bit count of seconds since 1970-01-01 00:00:00
// UTC (what localtime accepts); -1 means no time. Shown in the machine's local zone.
#include <cstdint>
#include <optional>
#include <string>

/// Broken-down local time.
struct STrekTimeParts {
  int year = 0;     ///< e.g. 2003
  int month = 0;    ///< 1..12
  int day = 0;      ///< 1..31
  int weekday = 0;  ///< 0..6, 0 = Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class TrekTime {
 public:
  static constexpr std::int32_t kNoTime = -1;

  TrekTime() = default;
  explicit TrekTime(std::int32_t count) : m_count(count) {}
  virtual ~TrekTime() = default;
  TrekTime(const TrekTime&) = default;
  TrekTime& operator=(const TrekTime&) = default;

  /// The stored count (-1 = no time).
  [[nodiscard]] std::int32_t Count() const { return m_count; }
  void SetCount(std::int32_t count) { m_count = count; }
  /// True when a time is held (the count is not negative).
  [[nodiscard]] bool HasTime() const { return m_count >= 0; }

  /// The receiver epoch, 1989-12-31 00:00:00 UTC. Trek files were first made on machines at
  /// UTC+9, where mktime of local 1989-12-31 09:00:00 gave this count; it is fixed here so that
  /// every machine writes the same files.
  static constexpr std::int64_t kReceiverEpoch = 631065600;
  [[nodiscard]] static std::int64_t ReceiverEpoch() { return kReceiverEpoch; }
  /// Seconds since 1970-01-01 00:00:00 UTC of a UTC calendar time, whatever the machine's zone;
  /// nothing for a date or time that does not exist (month 13, 30 February, minute 60).
  /// Hour 24 is taken only as 24:00:00, the end of the day.
  [[nodiscard]] static std::optional<std::int64_t> UtcSeconds(int year, int month, int day, int hour, int minute,
                                                              int second);
  /// Seconds since the receiver epoch to a time; negative input gives no time, and so does a
  /// sum that does not fit the 32-bit count.
  [[nodiscard]] static TrekTime FromReceiverSeconds(std::int32_t s);
  /// Seconds since the receiver epoch; -1 when there is no time.
  [[nodiscard]] std::int32_t ToReceiverSeconds() const;

  /// Local broken-down time; false (parts untouched) when there is no time.
  [[nodiscard]] bool Breakdown(STrekTimeParts& parts) const;

  /// "2003年7月5日(土)" and "9時5分0秒" in CP932 bytes, nothing zero-padded; both empty
  /// when there is no time.
  void FormatDateAndTime(std::string& dateText, std::string& timeText) const;
  /// "7月5日(土) 9時5分0秒" in CP932 bytes; empty when there is no time.
  [[nodiscard]] std::string FormatShort() const;

  bool operator==(const TrekTime& o) const { return m_count == o.m_count; }
  bool operator!=(const TrekTime& o) const { return m_count != o.m_count; }
  bool operator<(const TrekTime& o) const { return m_count < o.m_count; }
  bool operator<=(const TrekTime& o) const { return m_count <= o.m_count; }
  bool operator>(const TrekTime& o) const { return m_count > o.m_count; }
  bool operator>=(const TrekTime& o) const { return m_count >= o.m_count; }

 private:
  std::int32_t m_count = 0;
};
