#include "trek/SheetAssignment.h"

#include <cstdlib>

#include "platform/Codepage.h"
#include "platform/FileLookup.h"

namespace {

// Leading decimal digits, as atoi reads them; 0 when there are none.
std::int32_t leadingNumber(const std::string& text) {
  std::int64_t v = 0;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > 0x7FFFFFFF) break;
  }
  if (v > 0x7FFFFFFF) v = 0x7FFFFFFF;
  return static_cast<std::int32_t>(negative ? -v : v);
}

}  // namespace

bool AssignSheet(CMarkerPoint& point, const SheetRecord& sheet, const CatalogueArea& area, MapSeries series) {
  DmsAngle lat;
  DmsAngle lon;
  point.GetPosition(lat, lon, Datum::Tokyo);
  if (!SheetContains(sheet, lat, lon, Datum::Tokyo)) return false;
  point.meshCode = leadingNumber(sheet.meshCode);
  if (series == MapSeries::Scale25000) {
    point.sheetName25000 = sheet.sheetName;
  } else if (series == MapSeries::Scale50000) {
    point.sheetName50000 = sheet.sheetName;
  }
  point.areaName = area.areaName;
  // Model strings are CP932; a folder name without a CP932 form keeps a visible marker.
  point.indexDirectory = platform::cp932::fromUtf8(platform::pathToUtf8(area.directory)).text;
  return true;
}

void AssignSheetToGroup(CTrekData& group, const SheetRecord& sheet, const CatalogueArea& area, MapSeries series) {
  for (auto& p : group.Waypoints()) AssignSheet(*p, sheet, area, series);
}
