#include "geodesy/GeoPosition.h"

std::string DatumDisplayText(Datum d) {
  switch (d) {
    case Datum::Wgs84: return "\x91\xAA\x92\x6E\x8C\x6E WGS-84/JGD2000";  // 測地系
    case Datum::Tokyo: return "\x91\xAA\x92\x6E\x8C\x6E Tokyo";
  }
  return {};
}
