#include "trek/CRoute.h"

#include "trek/CTrekArchive.h"

namespace {
std::unique_ptr<CTrekObject> createRoute() { return std::make_unique<CRoute>(); }

// The least bytes one point takes in a file: its tag and the shortest waypoint record (the
// oldest schema, empty strings).
constexpr std::uint64_t kMinPointBytes = 2 + 12 + 12 + 4 + 7 + 4;
}  // namespace

const STrekClass CRoute::kRuntimeClass = {"CRoute", 1, &createRoute, &CTrekObject::kRuntimeClass};

bool CRoute::operator==(const CRoute& o) const {
  return points == o.points && number == o.number && name == o.name && gpsName == o.gpsName &&
         description1 == o.description1 && description2 == o.description2 && reserved == o.reserved;
}

void CRoute::Serialize(CTrekArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteInt(number);
    ar.WriteString(name);
    ar.WriteString(gpsName);
    ar.WriteString(description1);
    ar.WriteString(description2);
    ar.WriteInt(reserved);
    ar.WriteCount(points.size());
    for (CMarkerPoint& p : points) {
      ar.WriteElementTag(CMarkerPoint::kRuntimeClass);
      p.Serialize(ar);
      if (ar.Failed()) return;
    }
    return;
  }
  if (ar.ObjectSchema() != 1) {
    ar.Fail(CTrekArchive::EError::UnexpectedObject);
    return;
  }
  number = ar.ReadInt();
  name = ar.ReadString();
  gpsName = ar.ReadString();
  description1 = ar.ReadString();
  description2 = ar.ReadString();
  reserved = ar.ReadInt();
  points.clear();
  const std::uint32_t count = ar.ReadCount(kMinPointBytes);
  if (ar.Failed()) return;
  points.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint16_t schema = 0;
    if (!ar.ReadElementTag(CMarkerPoint::kRuntimeClass, schema)) return;
    points.emplace_back().Serialize(ar);
    if (ar.Failed()) return;
  }
}
