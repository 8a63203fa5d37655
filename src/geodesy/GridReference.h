#pragma once
// Grid references on the WGS-84 (JGD2000) ellipsoid: UTM zone, easting and northing, and MGRS
// ("54S UE 12345 67890"); the texts positions are shown in; and reading a typed reference.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "geodesy/GeoPosition.h"

/// How positions read out: the profile's "ViewSettings" / "PosFormat".
enum class EPosFormat : std::int32_t {
  Dms = 0,      ///< degrees, minutes, seconds in the display datum
  Decimal = 1,  ///< decimal degrees in the display datum
  Utm = 2,      ///< UTM zone, easting, northing (WGS-84/JGD2000)
  Mgrs = 3,     ///< MGRS reference to 1 m (WGS-84/JGD2000)
};

/// A UTM position in metres.
struct SUtmPosition {
  std::int32_t zone = 0;  ///< 1..60
  bool north = true;
  char band = 0;          ///< latitude band letter C..X, 0 where there is none
  double easting = 0.0;
  double northing = 0.0;
  double convergenceDeg = 0.0;  ///< grid north's bearing from true north, clockwise
};

namespace geodesy {

/// The standard UTM zone of a WGS-84 position; none outside 80 S..84 N or for a bad angle.
[[nodiscard]] std::optional<SUtmPosition> ToUtm(double latitudeDeg, double longitudeDeg);
/// The position in the given zone (1..60), also beyond its edges, as grid lines of a zone run
/// on into the next; none for a zone out of range or where the projection gives nothing.
[[nodiscard]] std::optional<SUtmPosition> ToUtmInZone(double latitudeDeg, double longitudeDeg, std::int32_t zone);
/// WGS-84 latitude and longitude (degrees) of a UTM position; none where there is none.
struct SLatLon {
  double latitude = 0.0;
  double longitude = 0.0;
};
[[nodiscard]] std::optional<SLatLon> FromUtm(std::int32_t zone, bool north, double easting, double northing);
/// The standard zone of a longitude (degrees), ignoring the Norway and Svalbard exceptions.
[[nodiscard]] std::int32_t UtmZoneOfLongitude(double longitudeDeg);
/// West edge of a zone in degrees of longitude (zone 54: 138).
[[nodiscard]] double UtmZoneWestDeg(std::int32_t zone);

/// "54S 385123 3945678": zone and band, easting and northing in whole metres (truncated, so a
/// reference always names the metre square the point lies in).
[[nodiscard]] std::string FormatUtm(const SUtmPosition& utm);
/// "54S UE 12345 67890" with `digits` (0..5) digits per axis; empty where there is none.
[[nodiscard]] std::string FormatMgrs(double latitudeDeg, double longitudeDeg, int digits = 5);
/// Decimal degrees with six decimals ("35.681236").
[[nodiscard]] std::string FormatDecimalDegrees(double degrees);

enum class EGridError {
  None,
  Empty,       ///< nothing typed
  Syntax,      ///< not a form of UTM or MGRS reference
  Zone,        ///< zone not 1..60
  Band,        ///< not a latitude band letter
  Square,      ///< 100 km square letters that do not exist in the zone
  Digits,      ///< an odd number of digits, or more than ten
  Range,       ///< easting or northing outside the zone, or not in the band given
  NotNorthEast ///< south of the equator or west of Greenwich: not a position here
};

struct SGridParse {
  std::optional<SLatLon> position;  ///< WGS-84 degrees: the middle of the square an MGRS reference names
  EGridError error = EGridError::None;
  int digits = 0;                   ///< MGRS digits per axis; 0 for UTM
};

/// Reads "54S UE 12345 67890", "54sue1234567890", "54SUE123678" (any even count of digits up to
/// ten, blanks anywhere), or UTM "54S 385123 3945678" / "54N 385123 3945678" / "54 385123
/// 3945678" (the letter is a latitude band; N for north is read as band N, as positions are
/// north of the equator here anyway).
[[nodiscard]] SGridParse ParseGridReference(std::string_view text);
/// The status bar's position texts for a WGS-84 position in the UTM or MGRS format (ASCII):
/// the grid reference split in two ("UTM 54S 385123E", "3945678N") or whole ("MGRS 54S UE
/// 12345 67890", ""). None outside the grid or for another format.
struct SGridTexts {
  std::string first;
  std::string second;
};
[[nodiscard]] std::optional<SGridTexts> GridPositionTexts(double latitudeDeg, double longitudeDeg, EPosFormat format);

}  // namespace geodesy
