#pragma once
// One sheet's row of the catalogue file "kanri.csv", and the tests of a position against its frame.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"

/// The map series of a data tree: 1:25,000 rows have 59 columns, 1:50,000 rows 58.
enum class MapSeries : std::int32_t {
  Unknown = -1,
  Scale25000 = 1,  ///< "数値地図25000 "
  Scale50000 = 2,  ///< "数値地図50000 "
};

/// One position of an area's 8 x 8 sheet grid; both strings empty when no sheet is there.
struct SheetSlot {
  std::string sheetName;  ///< second column of the sheet's catalogue row (CP932)
  std::string meshCode;   ///< first column: the 6-digit secondary mesh code
  [[nodiscard]] bool empty() const { return meshCode.empty() && sheetName.empty(); }
  bool operator==(const SheetSlot&) const = default;
};

/// A frame corner in the Tokyo datum as the catalogue gives it (whole seconds).
struct SCornerAngle {
  DmsAngle latitude;
  DmsAngle longitude;
};

struct SCornerPixel {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

/// Corner order in `corners` and `cornerPixels`.
enum ECorner : int { kCornerNorthWest = 0, kCornerSouthWest = 1, kCornerSouthEast = 2, kCornerNorthEast = 3 };

/// All fields of one catalogue row, in file order. Strings are CP932 bytes.
struct SheetRecord {
  std::string meshCode;
  std::string sheetName;
  std::string secondName;  ///< shown in parentheses after the sheet name
  std::string sheetCode;   ///< four "-" in a 1:25,000 code, three in a 1:50,000 one
  std::string number;
  std::int32_t extraNumber = 0;          ///< only 1:50,000 rows have it; 0 for 1:25,000
  std::array<std::string, 6> history{};  ///< 1:50,000 has four; 5 and 6 stay empty there
  std::string published;
  std::array<SCornerAngle, 4> corners{};  ///< north-west, south-west, south-east, north-east
  std::array<std::int32_t, 8> valuesA{};
  std::array<SCornerPixel, 4> cornerPixels{};  ///< image column and row of each corner
  std::array<std::int32_t, 7> valuesB{};
};

/// Columns a row of the series must have (59, 58), or 0 for an unknown series.
[[nodiscard]] int CatalogueColumnCount(MapSeries series);

/// The series from the sheet code (fourth column) of the first row after the header:
/// four "-" give 1:25,000, three 1:50,000, anything else Unknown. A "･" cuts the code first.
[[nodiscard]] MapSeries DetectSeries(std::string_view kanriText);

/// Fills `record` from the row of `kanriText` whose first column is `meshCode`. False when no
/// row starts with that code (an empty code finds nothing), when the series is unknown, or when
/// the row has too few columns (fields read before the shortfall keep their new values).
[[nodiscard]] bool ParseSheetRecord(std::string_view kanriText, std::string_view meshCode, MapSeries series,
                                    SheetRecord& record);

/// Reads "kanri.csv" (any letter case) from `directory` and parses the slot's row.
[[nodiscard]] bool ReadSheetRecord(const SheetSlot& slot, const std::filesystem::path& directory, MapSeries series,
                                   SheetRecord& record);

/// North-west and south-east frame corners in `datum` (converted from Tokyo for WGS-84).
struct SSheetCorners {
  GeoPosition northWest;
  GeoPosition southEast;
};
[[nodiscard]] SSheetCorners SheetCorners(const SheetRecord& record, Datum datum);

/// south <= latitude < north and west <= longitude < east on the unwidened catalogue frame.
[[nodiscard]] bool SheetContains(const SheetRecord& record, const DmsAngle& latitude, const DmsAngle& longitude,
                                 Datum datum);
