#pragma once
// A waypoint. Positions are held in WGS-84; SetPosition/GetPosition convert from and to the
// Tokyo datum on the way.
#include <cstdint>
#include <string>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"
#include "trek/CTrekObject.h"

class CMarkerPoint : public CTrekObject {
 public:
  static const STrekClass kRuntimeClass;  ///< "CMarkerPoint", schema 3

  CMarkerPoint() = default;
  CMarkerPoint(const CMarkerPoint&) = default;
  CMarkerPoint& operator=(const CMarkerPoint&) = default;
  ~CMarkerPoint() override = default;

  const STrekClass& GetRuntimeClass() const override { return kRuntimeClass; }
  /// Writes schema 3; reads schema 3, or 1 and 2 (Tokyo-datum float seconds, converted).
  void Serialize(CTrekArchive& ar) override;

  /// Datum WGS-84 stores the pair unchanged, Tokyo converts it to WGS-84 first; any other
  /// datum value leaves the position as it was.
  void SetPosition(const DmsAngle& lat, const DmsAngle& lon, Datum datum);
  /// The position in `datum`; for an unknown datum `lat` and `lon` are left untouched.
  void GetPosition(DmsAngle& lat, DmsAngle& lon, Datum datum) const;

  /// Every field compared exactly (doubles by value).
  bool operator==(const CMarkerPoint& o) const;

  // Fields in their declared order. Strings are CP932 bytes.
  std::int32_t meshCode = 0;     ///< secondary mesh code of the sheet it was last located on
  std::string sheetName25000;
  std::string sheetName50000;
  std::string areaName;
  std::string name;              ///< never empty for a point the user created
  std::string indexDirectory;    ///< folder of the map index that held the sheet
  std::string description1;
  std::string description2;
  std::string comment;           ///< multi-line
  std::int32_t symbol = 0;       ///< negative: the receiver's symbol number negated
  std::int32_t reserved = 0;     ///< kept and stored, no behaviour
  double altitude = 0.0;         ///< metres
  std::string gpsName;           ///< the name on the receiver
  DmsAngle longitude;            ///< WGS-84
  DmsAngle latitude;             ///< WGS-84
};
