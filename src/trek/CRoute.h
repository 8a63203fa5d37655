#pragma once
// A route: a planned way through points, in the order they are walked. Kept in route groups
// (kind 6, ".prd" files); each point is a full waypoint record, as receivers exchange them.
#include <cstdint>
#include <string>
#include <vector>

#include "trek/CMarkerPoint.h"
#include "trek/CTrekObject.h"

class CRoute : public CTrekObject {
 public:
  static const STrekClass kRuntimeClass;  ///< "CRoute", schema 1

  CRoute() = default;
  CRoute(const CRoute&) = default;
  CRoute& operator=(const CRoute&) = default;
  ~CRoute() override = default;

  const STrekClass& GetRuntimeClass() const override { return kRuntimeClass; }
  void Serialize(CTrekArchive& ar) override;

  /// Every field compared exactly, points included.
  bool operator==(const CRoute& o) const;

  /// The points in walking order.
  std::vector<CMarkerPoint> points;
  std::int32_t number = 0;   ///< the receiver's route number
  std::string name;          ///< CP932
  std::string gpsName;       ///< the route's comment on the receiver
  std::string description1;
  std::string description2;
  std::int32_t reserved = 0;  ///< kept and stored, no behaviour
};
