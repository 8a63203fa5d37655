#include "trek/CMarkerPoint.h"

#include "trek/CTrekArchive.h"
#include "trek/TrekPosition.h"

namespace {
std::unique_ptr<CTrekObject> createMarkerPoint() { return std::make_unique<CMarkerPoint>(); }

bool sameAngle(const DmsAngle& a, const DmsAngle& b) {
  return a.degrees == b.degrees && a.minutes == b.minutes && a.seconds == b.seconds;
}

// Altitude given to a waypoint converted from an older file.
constexpr double kUnknownAltitude = 100000.0;
}  // namespace

const STrekClass CMarkerPoint::kRuntimeClass = {"CMarkerPoint", 3, &createMarkerPoint, &CTrekObject::kRuntimeClass};

void CMarkerPoint::SetPosition(const DmsAngle& lat, const DmsAngle& lon, Datum datum) {
  trek::storePosition(latitude, longitude, lat, lon, datum);
}

void CMarkerPoint::GetPosition(DmsAngle& lat, DmsAngle& lon, Datum datum) const {
  trek::loadPosition(latitude, longitude, lat, lon, datum);
}

bool CMarkerPoint::operator==(const CMarkerPoint& o) const {
  return meshCode == o.meshCode && sheetName25000 == o.sheetName25000 && sheetName50000 == o.sheetName50000 &&
         areaName == o.areaName && name == o.name && indexDirectory == o.indexDirectory &&
         description1 == o.description1 && description2 == o.description2 && comment == o.comment &&
         symbol == o.symbol && reserved == o.reserved && altitude == o.altitude && gpsName == o.gpsName &&
         sameAngle(longitude, o.longitude) && sameAngle(latitude, o.latitude);
}

void CMarkerPoint::Serialize(CTrekArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteAngle(longitude);
    ar.WriteAngle(latitude);
    ar.WriteInt(meshCode);
    ar.WriteString(sheetName25000);
    ar.WriteString(sheetName50000);
    ar.WriteString(areaName);
    ar.WriteString(name);
    ar.WriteString(indexDirectory);
    ar.WriteString(comment);
    ar.WriteString(description1);
    ar.WriteString(description2);
    ar.WriteInt(symbol);
    ar.WriteInt(reserved);
    ar.WriteDouble(altitude);
    ar.WriteString(gpsName);
    return;
  }

  const std::uint16_t schema = ar.ObjectSchema();
  if (schema == 3) {
    longitude = ar.ReadAngle();
    latitude = ar.ReadAngle();
    meshCode = ar.ReadInt();
    sheetName25000 = ar.ReadString();
    sheetName50000 = ar.ReadString();
    areaName = ar.ReadString();
    name = ar.ReadString();
    indexDirectory = ar.ReadString();
    comment = ar.ReadString();
    description1 = ar.ReadString();
    description2 = ar.ReadString();
    symbol = ar.ReadInt();
    reserved = ar.ReadInt();
    altitude = ar.ReadDouble();
    gpsName = ar.ReadString();
    return;
  }
  if (schema != 1 && schema != 2) {
    ar.Fail(CTrekArchive::EError::UnexpectedObject);
    return;
  }
  // Older records: float seconds in the Tokyo datum, no altitude, no receiver name.
  DmsAngle lon;
  DmsAngle lat;
  lon.degrees = ar.ReadInt();
  lon.minutes = ar.ReadInt();
  lon.seconds = static_cast<double>(ar.ReadFloat());
  lat.degrees = ar.ReadInt();
  lat.minutes = ar.ReadInt();
  lat.seconds = static_cast<double>(ar.ReadFloat());
  meshCode = ar.ReadInt();
  sheetName25000 = ar.ReadString();
  sheetName50000 = schema == 2 ? ar.ReadString() : std::string();
  areaName = ar.ReadString();
  name = ar.ReadString();
  indexDirectory = ar.ReadString();
  comment = ar.ReadString();
  description1 = ar.ReadString();
  description2 = ar.ReadString();
  symbol = ar.ReadInt();
  if (ar.Failed()) return;
  SetPosition(lat, lon, Datum::Tokyo);
  reserved = 0;
  altitude = kUnknownAltitude;
  gpsName.clear();
}
