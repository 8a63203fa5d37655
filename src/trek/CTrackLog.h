#pragma once
// A track log: its points in recording order plus the receiver's attributes of the track.
#include <cstdint>
#include <string>
#include <vector>

#include "trek/CTrackPoint.h"
#include "trek/CTrekObject.h"

class CTrackLog : public CTrekObject {
  std::vector<CTrackPoint> m_points;  // first field: the track

 public:
  static const STrekClass kRuntimeClass;  ///< "CTrackLog", schema 1

  CTrackLog() = default;
  /// Copies every field, sendAsActiveLog included, and each point.
  CTrackLog(const CTrackLog&) = default;
  CTrackLog& operator=(const CTrackLog&) = default;
  CTrackLog(CTrackLog&&) noexcept = default;
  CTrackLog& operator=(CTrackLog&&) noexcept = default;
  ~CTrackLog() override = default;

  const STrekClass& GetRuntimeClass() const override { return kRuntimeClass; }
  void Serialize(CTrekArchive& ar) override;

  /// The points in recording order. Held by value: a log may hold a million points.
  [[nodiscard]] const std::vector<CTrackPoint>& Points() const { return m_points; }
  [[nodiscard]] std::vector<CTrackPoint>& Points() { return m_points; }
  void AppendPoint(CTrackPoint point) { m_points.push_back(std::move(point)); }

  /// Upload mode chosen for the receiver: 1 = part of its active log, 0 = a saved track.
  /// Lives in memory only; 0 in every new or read log.
  [[nodiscard]] std::int32_t SendAsActiveLog() const { return m_sendAsActiveLog; }
  void SetSendAsActiveLog(std::int32_t flag) { m_sendAsActiveLog = flag; }

  /// Every field compared exactly, points included.
  bool operator==(const CTrackLog& o) const;

  // Fields in their declared order (the points come first, above). Strings are CP932 bytes.
  std::string name;
  std::string gpsName;          ///< the name on the receiver
  std::uint8_t color = 255;     ///< receiver colour number; 255 = the receiver's default
  std::int32_t reserved = 0;    ///< kept and stored, no behaviour
  std::int32_t display = 1;     ///< receiver display flag
  std::int32_t reserved2 = 1;   ///< kept and stored, no behaviour
  std::string description1;
  std::string description2;

 private:
  std::int32_t m_sendAsActiveLog = 0;
};
