#include "maps/SheetRecord.h"

#include "geodesy/DatumConverter.h"
#include "maps/CatalogueText.h"
#include "maps/SheetCatalogue.h"
#include "platform/FileLookup.h"

namespace {

constexpr std::size_t kMaxColumns = 59;

// The row whose first column is `meshCode`: a line starting with the code and a ",".
bool findRow(std::string_view text, std::string_view meshCode, std::string_view& row) {
  if (meshCode.empty()) return false;
  maps::text::CLineReader lines(text);
  std::string_view line;
  while (lines.next(line)) {
    const std::size_t comma = maps::text::findChar(line, ',');
    if (comma != std::string_view::npos && line.substr(0, comma) == meshCode) {
      row = line;
      return true;
    }
  }
  return false;
}

}  // namespace

namespace maps {

// Fills the record from one row; shared by ParseSheetRecord and the position search.
bool parseSheetRow(std::string_view row, MapSeries series, SheetRecord& record) {
  using maps::text::atoi32;
  const int wanted = CatalogueColumnCount(series);
  if (wanted == 0) return false;
  std::string_view cols[kMaxColumns];
  const std::size_t have = maps::text::splitColumns(row, cols, static_cast<std::size_t>(wanted));
  std::size_t c = 0;
  // Each field takes the next column; when the row runs out, what was read stays.
  const auto str = [&](std::string& out) {
    if (c >= have) return false;
    out.assign(cols[c++]);
    return true;
  };
  const auto num = [&](std::int32_t& out) {
    if (c >= have) return false;
    out = atoi32(cols[c++]);
    return true;
  };
  if (!str(record.meshCode) || !str(record.sheetName) || !str(record.secondName) || !str(record.sheetCode) ||
      !str(record.number))
    return false;
  if (series == MapSeries::Scale50000 && !num(record.extraNumber)) return false;
  const int histories = series == MapSeries::Scale25000 ? 6 : 4;
  for (int i = 0; i < histories; ++i)
    if (!str(record.history[static_cast<std::size_t>(i)])) return false;
  if (!str(record.published)) return false;
  for (SCornerAngle& corner : record.corners) {
    for (DmsAngle* angle : {&corner.latitude, &corner.longitude}) {
      std::int32_t d = 0, m = 0, s = 0;
      if (!num(d)) return false;
      angle->degrees = d;
      if (!num(m)) return false;
      angle->minutes = m;
      if (!num(s)) return false;
      angle->seconds = static_cast<double>(s);
    }
  }
  for (std::int32_t& v : record.valuesA)
    if (!num(v)) return false;
  for (SCornerPixel& px : record.cornerPixels)
    if (!num(px.x) || !num(px.y)) return false;
  for (std::int32_t& v : record.valuesB)
    if (!num(v)) return false;
  if (series == MapSeries::Scale25000) {
    record.extraNumber = 0;
  } else {
    record.history[4].clear();
    record.history[5].clear();
  }
  return true;
}

}  // namespace maps

int CatalogueColumnCount(MapSeries series) {
  switch (series) {
    case MapSeries::Scale25000: return 59;
    case MapSeries::Scale50000: return 58;
    default: return 0;
  }
}

MapSeries DetectSeries(std::string_view kanriText) {
  maps::text::CLineReader lines(maps::text::clipAtNul(kanriText));
  std::string_view line;
  if (!lines.next(line) || !lines.next(line)) return MapSeries::Unknown;
  std::string_view cols[4];
  if (maps::text::splitColumns(line, cols, 4) < 4) return MapSeries::Unknown;
  std::string_view code = cols[3];
  const std::size_t dot = maps::text::findChar(code, '\xA5');  // "･" (half-width middle dot)
  if (dot != std::string_view::npos) code = code.substr(0, dot);
  int hyphens = 0;
  for (std::size_t i = 0; i < code.size(); i += maps::text::charWidth(code, i))
    if (code[i] == '-') ++hyphens;
  if (hyphens == 4) return MapSeries::Scale25000;
  if (hyphens == 3) return MapSeries::Scale50000;
  return MapSeries::Unknown;
}

bool ParseSheetRecord(std::string_view kanriText, std::string_view meshCode, MapSeries series, SheetRecord& record) {
  if (CatalogueColumnCount(series) == 0) return false;
  std::string_view row;
  if (!findRow(maps::text::clipAtNul(kanriText), meshCode, row)) return false;
  return maps::parseSheetRow(row, series, record);
}

bool ReadSheetRecord(const SheetSlot& slot, const std::filesystem::path& directory, MapSeries series,
                     SheetRecord& record) {
  if (slot.meshCode.empty() || CatalogueColumnCount(series) == 0) return false;
  const auto path = platform::findNoCase(directory, "Kanri.csv");
  if (!path) return false;
  const auto text = platform::readWholeFile(*path, SheetCatalogue::kMaxFileBytes);
  if (!text) return false;
  return ParseSheetRecord(*text, slot.meshCode, series, record);
}

SSheetCorners SheetCorners(const SheetRecord& record, Datum datum) {
  SSheetCorners out;
  const SCornerAngle& nw = record.corners[kCornerNorthWest];
  const SCornerAngle& se = record.corners[kCornerSouthEast];
  if (datum == Datum::Wgs84) {
    const SDatumShiftResult a = DatumConverter::TokyoToWgs84(nw.latitude, nw.longitude, 0.0);
    const SDatumShiftResult b = DatumConverter::TokyoToWgs84(se.latitude, se.longitude, 0.0);
    out.northWest = GeoPosition{a.latitude, a.longitude, datum};
    out.southEast = GeoPosition{b.latitude, b.longitude, datum};
  } else {
    out.northWest = GeoPosition{nw.latitude, nw.longitude, datum};
    out.southEast = GeoPosition{se.latitude, se.longitude, datum};
  }
  return out;
}

bool SheetContains(const SheetRecord& record, const DmsAngle& latitude, const DmsAngle& longitude, Datum datum) {
  if (!IsKnownDatum(datum)) return false;
  const SSheetCorners c = SheetCorners(record, datum);
  return c.southEast.latitude <= latitude && latitude < c.northWest.latitude && c.northWest.longitude <= longitude &&
         longitude < c.southEast.longitude;
}
