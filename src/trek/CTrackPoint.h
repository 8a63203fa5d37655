#pragma once
// One recorded position of a track log. Positions are held in WGS-84.
#include <cstdint>
#include <string>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"
#include "trek/CTrekObject.h"
#include "trek/TrekTime.h"

class CTrackPoint : public CTrekObject {
 public:
  static const STrekClass kRuntimeClass;  ///< "CTrackPoint", schema 1

  CTrackPoint() = default;
  CTrackPoint(const CTrackPoint&) = default;
  CTrackPoint& operator=(const CTrackPoint&) = default;
  ~CTrackPoint() override = default;

  const STrekClass& GetRuntimeClass() const override { return kRuntimeClass; }
  void Serialize(CTrekArchive& ar) override;

  /// As CMarkerPoint::SetPosition.
  void SetPosition(const DmsAngle& lat, const DmsAngle& lon, Datum datum);
  /// As CMarkerPoint::GetPosition.
  void GetPosition(DmsAngle& lat, DmsAngle& lon, Datum datum) const;

  void SetTime(const TrekTime& t) { time = t; }
  [[nodiscard]] TrekTime GetTime() const { return time; }

  /// "No." followed by the number, e.g. "No.12".
  [[nodiscard]] std::string Label() const;

  bool operator==(const CTrackPoint& o) const;

  std::int32_t number = 0;    ///< 0-based position in the log as received from the receiver
  std::int32_t reserved = 0;  ///< kept and stored, no behaviour
  double altitude = 0.0;      ///< metres
  DmsAngle longitude;         ///< WGS-84
  DmsAngle latitude;          ///< WGS-84
  TrekTime time;              ///< when recorded; count 0 in a new point
};
