#pragma once
// The catalogue of an opened map data tree: the areas of "index.csv" in file order, each with
// its 8 x 8 sheet grid filled from "kanri.csv", and the series of the tree.
#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"
#include "maps/SheetRecord.h"

inline constexpr int kSlotsPerArea = 64;

/// One line of "index.csv" with its sheets.
struct CatalogueArea {
  std::filesystem::path directory;  ///< the folder holding "index.csv" (same for every area)
  std::string areaName;             ///< the rest of the line after the first comma (CP932)
  std::string areaCode;             ///< primary mesh code, also the sub-folder of the images
  std::array<SheetSlot, kSlotsPerArea> sheetSlots{};  ///< slot = 8 x row digit + column digit ("slots" is a Qt keyword)
};

/// Fills an area's grid from the catalogue text: rows of the area in ascending code order land
/// in slot 8 x row digit + column digit; a row out of order ends the area's grid.
[[nodiscard]] std::array<SheetSlot, kSlotsPerArea> FillAreaSlots(std::string_view areaCode, std::string_view kanriText);

/// A sheet of the catalogue with its catalogue row.
struct SCatalogueSheet {
  int areaIndex = -1;
  int slotIndex = -1;
  SheetRecord record;
};

/// Result of a position search.
struct SSheetLocation {
  bool found = false;
  int areaIndex = -1;
  int slotIndex = -1;
};

class SheetCatalogue {
 public:
  /// Largest number of areas kept from one "index.csv"; further lines are refused.
  static constexpr std::size_t kMaxAreas = 4096;
  /// Largest catalogue file read; a larger one counts as unreadable.
  static constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;

  /// Empties the catalogue, then builds it from "index.csv" and "kanri.csv" in `directory`
  /// (names in any letter case). False, leaving it empty, when either file is missing.
  [[nodiscard]] bool OpenCatalogue(const std::filesystem::path& directory);
  /// Builds from texts already read (what OpenCatalogue does after reading the files).
  void Build(const std::filesystem::path& directory, std::string_view indexText, std::string_view kanriText);
  void Clear();

  [[nodiscard]] bool empty() const { return m_areas.empty(); }
  [[nodiscard]] int areaCount() const { return static_cast<int>(m_areas.size()); }
  [[nodiscard]] const std::vector<CatalogueArea>& areas() const { return m_areas; }
  /// The area at `index`; nullptr when out of range.
  [[nodiscard]] const CatalogueArea* area(int index) const;
  /// The slot; nullptr when either index is out of range.
  [[nodiscard]] const SheetSlot* slot(int areaIndex, int slotIndex) const;
  [[nodiscard]] MapSeries series() const { return m_series; }
  [[nodiscard]] const std::filesystem::path& directory() const { return m_directory; }
  /// Why the last OpenCatalogue failed or stopped short (empty when it went well).
  [[nodiscard]] const std::string& lastError() const { return m_error; }

  /// directory / area code / mesh code + ".tif", each name matched ignoring letter case when it
  /// exists. Empty for an empty slot, an index out of range, or a code that is not a plain name.
  [[nodiscard]] std::filesystem::path SheetImagePath(int areaIndex, int slotIndex) const;

  /// The slot's catalogue row, read from "kanri.csv" with this catalogue's series.
  [[nodiscard]] bool ReadSheetRecord(int areaIndex, int slotIndex, SheetRecord& record) const;

  /// Every sheet whose catalogue row reads in full (areas in order, slots 0..63), from one reading
  /// of "kanri.csv". Empty when the series is unknown or the file cannot be read.
  [[nodiscard]] std::vector<SCatalogueSheet> ReadSheetRecords() const;
  [[nodiscard]] std::vector<SCatalogueSheet> ReadSheetRecords(std::string_view kanriText) const;

  /// The first sheet (areas in order, slots 0..63) whose frame contains the position.
  /// "kanri.csv" is read once per search.
  [[nodiscard]] SSheetLocation FindSheetContaining(const DmsAngle& latitude, const DmsAngle& longitude,
                                                   Datum datum) const;
  /// The same against catalogue text already in memory.
  [[nodiscard]] SSheetLocation FindSheetContaining(std::string_view kanriText, const DmsAngle& latitude,
                                                   const DmsAngle& longitude, Datum datum) const;

 private:
  std::vector<CatalogueArea> m_areas;
  MapSeries m_series = MapSeries::Unknown;
  std::filesystem::path m_directory;
  std::string m_error;
};
