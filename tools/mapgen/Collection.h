#pragma once
// Map collections: a grid of sheets of one series split over several map data folders, as if
// copied from several CD-ROMs, and the check that re-reads one.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "SampleSheets.h"

namespace mapgen {

struct SCollectionOptions {
  int cols = 0, rows = 0;  // sheets west to east, south to north
  int folders = 1;
  ESeries series = ESeries::Map25000;
  std::string southWest;   // mesh code of the south-west sheet; empty: centred on the drawn ground
  double pixelMetres = 0;  // 0: the series' own
  bool duplicate = false;  // one sheet of folder 1 also in folder 2
};

/// One map data folder of a collection.
struct SCollectionFolder {
  std::string name;        // "cd1", "cd2", ...
  bool upperCase = false;  // "INDEX.CSV", "KANRI.CSV", "<MESH>.TIF"
  std::vector<SArea> areas;
  std::vector<SSheet> sheets;  // ascending mesh code order
  [[nodiscard]] std::string fileName(const std::string& lowerCaseName) const;
};

struct SCollectionPlan {
  std::vector<SCollectionFolder> folders;
  std::size_t distinctSheets = 0;
  std::string duplicateMesh;  // empty without --duplicate
};

/// The mesh code `cols` sheets east and `rows` sheets north of `mesh` in the series' grid
/// (a 1:50,000 sheet spans two mesh rows and columns); empty when that leaves the codes' range.
[[nodiscard]] std::string offsetMesh(ESeries series, const std::string& mesh, int cols, int rows);

/// Sheets, names and folders of a collection; false with `error` set for options that make none.
[[nodiscard]] bool planCollection(const SCollectionOptions& options, SCollectionPlan& plan, std::string& error);

/// What a check found in a collection.
struct SCollectionSummary {
  std::size_t folders = 0, sheets = 0, sheetsTwice = 0, sharedAreas = 0, borders = 0, crossFolderBorders = 0;
  std::vector<std::string> upperCaseFolders;
  double borderAgreement = 1.0;  // lowest share of inked pixels continued across a border
};

/// Re-reads every map data folder below `root` and checks the catalogues, the images and that
/// neighbouring sheets meet exactly, also across folders. Faults are appended; true when none.
bool checkCollection(const std::filesystem::path& root, std::vector<std::string>& faults, SCollectionSummary& summary);

}  // namespace mapgen
