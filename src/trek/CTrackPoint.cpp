#include "trek/CTrackPoint.h"

#include "trek/CTrekArchive.h"
#include "trek/TrekPosition.h"

namespace {
std::unique_ptr<CTrekObject> createTrackPoint() { return std::make_unique<CTrackPoint>(); }

bool sameAngle(const DmsAngle& a, const DmsAngle& b) {
  return a.degrees == b.degrees && a.minutes == b.minutes && a.seconds == b.seconds;
}
}  // namespace

const STrekClass CTrackPoint::kRuntimeClass = {"CTrackPoint", 1, &createTrackPoint, &CTrekObject::kRuntimeClass};

void CTrackPoint::SetPosition(const DmsAngle& lat, const DmsAngle& lon, Datum datum) {
  trek::storePosition(latitude, longitude, lat, lon, datum);
}

void CTrackPoint::GetPosition(DmsAngle& lat, DmsAngle& lon, Datum datum) const {
  trek::loadPosition(latitude, longitude, lat, lon, datum);
}

std::string CTrackPoint::Label() const { return "No." + std::to_string(number); }

bool CTrackPoint::operator==(const CTrackPoint& o) const {
  return number == o.number && reserved == o.reserved && altitude == o.altitude &&
         sameAngle(longitude, o.longitude) && sameAngle(latitude, o.latitude) && time == o.time;
}

void CTrackPoint::Serialize(CTrekArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteAngle(longitude);
    ar.WriteAngle(latitude);
    ar.WriteInt(number);
    ar.WriteInt(reserved);
    ar.WriteDouble(altitude);
    ar.WriteInt(time.Count());
    return;
  }
  if (ar.ObjectSchema() != 1) {
    ar.Fail(CTrekArchive::EError::UnexpectedObject);
    return;
  }
  longitude = ar.ReadAngle();
  latitude = ar.ReadAngle();
  number = ar.ReadInt();
  reserved = ar.ReadInt();
  altitude = ar.ReadDouble();
  time.SetCount(ar.ReadInt());
}
