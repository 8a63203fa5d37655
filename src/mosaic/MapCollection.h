#pragma once
// The open map folders as one collection: every map data tree (index.csv + kanri.csv) found at or
// below the folders the user opened, their sheets by series with their frames, and the plane the
// sheets of one series lie on side by side.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "geodesy/SheetFrame.h"
#include "maps/SheetCatalogue.h"
#include "maps/SheetRecord.h"

namespace mosaic {

/// A frame in the Tokyo datum, in total seconds of arc (the catalogue's whole seconds stay exact).
struct SFrameSeconds {
  double north = 0, south = 0, west = 0, east = 0;
  /// south <= latitude < north and west <= longitude < east, as a sheet owns its positions.
  [[nodiscard]] bool Contains(double latitude, double longitude) const {
    return south <= latitude && latitude < north && west <= longitude && longitude < east;
  }
  [[nodiscard]] bool Intersects(const SFrameSeconds& o) const {
    return o.south < north && south < o.north && o.west < east && west < o.east;
  }
};

/// One sheet of the collection.
struct SCollectionSheet {
  int folder = -1;  ///< index in CMapCollection::folders()
  int area = -1;    ///< area and slot in that folder's catalogue
  int slot = -1;
  SheetRecord record;
  MapSeries series = MapSeries::Unknown;
  SFrameSeconds frame;          ///< the catalogue frame (not widened)
  std::filesystem::path image;  ///< the sheet's TIFF as the catalogue names it
  /// Folders (index.csv directories) where the same mesh code was found again; those copies are
  /// not used.
  std::vector<std::filesystem::path> duplicates;
};

/// Where a sheet of the collection lies on the plane of its series and how it maps into its
/// image: the sheet's own frame corners, widened as its one-sheet view widens them.
struct SSheetPlacement {
  SFrameSeconds frame;    ///< positions the sheet owns
  SFrameSeconds widened;  ///< the image mapping's frame (0.01 second wider on every side)
  std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  ///< image pixels of the frame corners
  /// Image column / row (fractional) of a longitude / latitude in seconds.
  [[nodiscard]] double ImageX(double longitude) const;
  [[nodiscard]] double ImageY(double latitude) const;
};
[[nodiscard]] SSheetPlacement PlacementOf(const SheetRecord& record);

/// Ground size of one plane pixel: the nominal sheet pixel of the series (2.5 m for 1:25,000,
/// 5 m for 1:50,000).
[[nodiscard]] double NominalPixelMetres(MapSeries series);

/// The plane of one series: linear in Tokyo latitude and longitude, pixel (0, 0)'s top-left edge
/// at (north, west), one plane pixel at ratio 1 the series' nominal sheet pixel, the longitude
/// step fixed from the middle latitude of the collection so that pixels are square there.
struct SMapPlane {
  MapSeries series = MapSeries::Unknown;
  double north = 0;    ///< seconds
  double west = 0;     ///< seconds
  double latStep = 1;  ///< seconds of latitude per plane pixel at ratio 1
  double lonStep = 1;  ///< seconds of longitude per plane pixel at ratio 1
  std::int32_t width = 0;
  std::int32_t height = 0;

  [[nodiscard]] bool empty() const { return width <= 0 || height <= 0; }
  /// The plane at display ratio `ratio` as a frame the view, the overlay and the status bar ask.
  [[nodiscard]] SheetFrame Frame(double ratio) const;
  /// Latitude / longitude (seconds) of a display pixel's centre at `ratio`.
  [[nodiscard]] double LatitudeAt(double row, double ratio) const { return north - row * latStep / ratio; }
  [[nodiscard]] double LongitudeAt(double column, double ratio) const { return west + column * lonStep / ratio; }
  /// Display pixel (fractional) of a position in seconds at `ratio`.
  [[nodiscard]] double RowOf(double latitude, double ratio) const { return (north - latitude) * ratio / latStep; }
  [[nodiscard]] double ColumnOf(double longitude, double ratio) const { return (longitude - west) * ratio / lonStep; }
  /// Plane size at `ratio`: trunc(width x ratio), trunc(height x ratio).
  [[nodiscard]] std::int32_t WidthAt(double ratio) const;
  [[nodiscard]] std::int32_t HeightAt(double ratio) const;
  /// Metres on the ground per plane pixel at ratio 1, across (at `latitude` seconds) and down.
  [[nodiscard]] double MetresAcross(double latitude) const;
  [[nodiscard]] double MetresDown(double latitude) const;
};

/// The cells of the series' sheet grid (secondary meshes of 5' x 7'30" for 1:25,000; for
/// 1:50,000 cells of 10' x 15' named by their south-west secondary mesh) that meet a Tokyo box
/// (seconds), south to north and west to east; at most `limit` of them.
struct SMeshCell {
  std::string code;
  SFrameSeconds frame;
};
[[nodiscard]] std::vector<SMeshCell> MeshCellsIn(MapSeries series, const SFrameSeconds& box, std::size_t limit);

/// The plane holding every frame of `sheets` with a margin of half a sheet around them.
[[nodiscard]] SMapPlane PlaneFor(const std::vector<SCollectionSheet>& sheets, MapSeries series);

class CMapCollection {
 public:
  /// Most map data trees one collection takes, and how deep below an opened folder they are
  /// looked for; a folder tree beyond either is cut there (with a note in lastError()).
  static constexpr int kMaxFolders = 1024;
  static constexpr int kMaxDepth = 12;
  static constexpr std::int64_t kMaxEntriesScanned = 500000;

  struct SFolder {
    std::filesystem::path directory;  ///< the folder holding index.csv
    SheetCatalogue catalogue;
  };

  /// Map data trees at or below `root`: `root` itself when it holds index.csv and kanri.csv, and
  /// every folder below it that does (names in any letter case, symbolic links not followed),
  /// sorted by path. Bounded by the limits above.
  [[nodiscard]] static std::vector<std::filesystem::path> FindMapFolders(const std::filesystem::path& root,
                                                                        std::string* note = nullptr);

  /// Adds one map data tree (the folder holding index.csv). False when it does not open or is
  /// already in the collection (`error` says which).
  bool AddFolder(const std::filesystem::path& directory, std::string* error = nullptr);
  /// Adds every map data tree at or below `root`; the number added.
  int AddTree(const std::filesystem::path& root, std::string* error = nullptr);
  void Clear();

  [[nodiscard]] bool empty() const { return m_folders.empty(); }
  [[nodiscard]] const std::vector<std::unique_ptr<SFolder>>& folders() const { return m_folders; }
  /// Sheets of a series in the order found (folders in order, areas, slots), each mesh code once.
  [[nodiscard]] const std::vector<SCollectionSheet>& sheets(MapSeries series) const;
  /// Index in sheets(series) of the sheet with that mesh code; -1 when none.
  [[nodiscard]] int FindMesh(MapSeries series, const std::string& meshCode) const;
  /// Index in sheets(series) of the sheet at a folder's area and slot (a duplicate gives the copy
  /// in use); -1 when none.
  [[nodiscard]] int FindSlot(int folder, int area, int slot) const;
  /// Index of the sheet that owns a Tokyo position (seconds); -1 where no sheet is.
  [[nodiscard]] int SheetAt(MapSeries series, double latitude, double longitude) const;
  /// Indices of the sheets whose frames meet a box (seconds).
  [[nodiscard]] std::vector<int> SheetsIn(MapSeries series, const SFrameSeconds& box) const;
  /// The plane of a series (empty without its sheets).
  [[nodiscard]] const SMapPlane& plane(MapSeries series) const;
  /// Series that have sheets, 1:25,000 first.
  [[nodiscard]] std::vector<MapSeries> seriesPresent() const;
  /// Index of a folder by its directory; -1 when not open.
  [[nodiscard]] int FolderIndex(const std::filesystem::path& directory) const;
  [[nodiscard]] const std::string& lastError() const { return m_error; }

 private:
  struct SSeries {
    std::vector<SCollectionSheet> sheets;
    SMapPlane plane;
  };
  SSeries& seriesSlot(MapSeries series);
  [[nodiscard]] const SSeries* findSeries(MapSeries series) const;
  void addSheets(int folder);

  std::vector<std::unique_ptr<SFolder>> m_folders;
  SSeries m_25000;
  SSeries m_50000;
  std::string m_error;
};

}  // namespace mosaic
