#pragma once
// Datum handling shared by waypoints and track points: positions are stored in WGS-84.
#include "geodesy/DatumConverter.h"
#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"

namespace trek {

inline void storePosition(DmsAngle& storedLat, DmsAngle& storedLon, const DmsAngle& lat, const DmsAngle& lon,
                          Datum datum) {
  if (datum == Datum::Wgs84) {
    storedLat = lat;
    storedLon = lon;
  } else if (datum == Datum::Tokyo) {
    const SDatumShiftResult r = DatumConverter::TokyoToWgs84(lat, lon, 0.0);
    storedLat = r.latitude;
    storedLon = r.longitude;
  }
}

inline void loadPosition(const DmsAngle& storedLat, const DmsAngle& storedLon, DmsAngle& lat, DmsAngle& lon,
                         Datum datum) {
  if (datum == Datum::Wgs84) {
    lat = storedLat;
    lon = storedLon;
  } else if (datum == Datum::Tokyo) {
    const SDatumShiftResult r = DatumConverter::Wgs84ToTokyo(storedLat, storedLon, 0.0);
    lat = r.latitude;
    lon = r.longitude;
  }
}

}  // namespace trek
