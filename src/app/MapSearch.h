#pragma once
// Finding things by name: waypoints (name, GPS name, comment, descriptions), track logs and
// routes (name, GPS name, descriptions) of the open groups, and the sheets of the open map folders (sheet and
// area names). Text is compared after folding full-width letters, digits and signs to their
// ASCII forms, half-width katakana to full-width (with their voiced marks), and Latin letters to
// lower case; kana and kanji otherwise match as typed.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/DmsAngle.h"
#include "maps/SheetRecord.h"

class CTrekData;
namespace mosaic {
class CMapCollection;
}

namespace search {

/// The text as compared: code points after folding (UTF-8 in; a stray byte stands for itself).
[[nodiscard]] std::u32string Fold(std::string_view utf8);

enum class EResultKind { Waypoint, TrackLog, Route, Sheet };
/// "waypoint", "trackLog", "route", "sheet".
[[nodiscard]] const char* KindName(EResultKind kind);

struct SResult {
  EResultKind kind = EResultKind::Waypoint;
  std::string name;     ///< UTF-8
  std::string where;    ///< UTF-8: the group's name, or the sheet's area name
  std::string matched;  ///< the field that matched: "name", "gpsName", "comment", "description1",
                        ///< "description2", "sheetName", "areaName"
  int group = -1;       ///< trek items: index of the group in the list searched
  int item = -1;        ///< index of the waypoint / track log / route in its group
  MapSeries series = MapSeries::Unknown;  ///< sheets: series and index in the collection's sheets
  int sheet = -1;
  std::string mesh;     ///< sheets: mesh code
  bool hasPosition = false;
  DmsAngle latitude, longitude;  ///< WGS-84: the waypoint, a log's or route's first point, a sheet's centre
  int rank = 0;  ///< 0 the whole name, 1 the name's start, 2 inside the name, 3 another field
};

/// Results are at most this many.
inline constexpr std::size_t kMaxResults = 500;

/// Everything matching `queryUtf8` (leading and trailing blanks ignored; nothing for an empty
/// query): trek items of `groups` (in their order), then sheets of `collection` (may be null),
/// the best matches of each kind first, at most `limit` in all.
[[nodiscard]] std::vector<SResult> Find(std::string_view queryUtf8, std::span<const CTrekData* const> groups,
                                        const mosaic::CMapCollection* collection, std::size_t limit = kMaxResults);

}  // namespace search
