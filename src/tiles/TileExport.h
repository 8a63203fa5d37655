#pragma once
// Exporting the seamless map for phones, GPS units and GIS programs: what to export (a box, a
// track's corridor or every sheet), the plan (tiles per zoom level, or custom-map images and
// whether they fit the unit), and the run on all cores with progress and cancel. The file appears
// whole or not at all.
#include <QImage>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "mosaic/MapCollection.h"
#include "tiles/TileOverlay.h"
#include "tiles/TileRender.h"
#include "tiles/TileWriters.h"

class CTrackLog;
struct SMapRenderSettings;

namespace tiles {

enum class EFormat { Mbtiles, Kmz, GeoPackage };
enum class EImageFormat { Png, Jpeg };

/// Pixels a side of a custom-map image at most, and bytes each may have.
inline constexpr int kKmzImageMax = 1024;
inline constexpr std::size_t kKmzImageBytesMax = 3u * 1024u * 1024u;
/// Tiles one export may hold at most (about 40 GB of map at zoom 15).
inline constexpr long long kMaxTiles = 4'000'000;

/// What to export: a WGS-84 box, or a corridor of `corridorKm` around track points.
struct SExportArea {
  SGeoBox box;
  std::vector<std::pair<double, double>> track;  ///< WGS-84 (lat, lon) degrees; empty for a box
  double corridorKm = 0;
};
/// The box of the whole corridor.
[[nodiscard]] SExportArea CorridorArea(const CTrackLog& log, double corridorKm);
/// The box of every sheet of the series in the collection (WGS-84).
[[nodiscard]] SGeoBox CollectionBox(const mosaic::CMapCollection& collection, MapSeries series);
/// A Tokyo-datum box (seconds) as the WGS-84 box holding it.
[[nodiscard]] SGeoBox WgsBoxOf(const mosaic::SFrameSeconds& tokyo);

struct SExportOptions {
  EFormat format = EFormat::Mbtiles;
  EImageFormat image = EImageFormat::Png;
  int jpegQuality = 85;
  int minZoom = 10;  ///< MBTiles: Web Mercator levels; GeoPackage: levels of the plane (see the plan)
  int maxZoom = 15;
  /// Custom maps: ground metres per image pixel (0: the sheets' own), and the unit's image limit.
  double kmzPixelMetres = 0;
  std::size_t maxImages = 100;
  std::string name;  ///< UTF-8; the map's name in the file
  int threads = 0;   ///< 0: the processor's count
  STileOverlays overlays;  ///< drawn over every picture (none by default)
};

/// One picture to make: a Web Mercator tile, or a custom-map image of a degree box.
struct SPlannedTile {
  int zoom = 0;
  int x = 0;
  int y = 0;
  SGeoBox box;
  int width = kTileSize;
  int height = kTileSize;
  /// The picture's top-left pixel on the export's pixel grid (for the overlays).
  int left = 0;
  int top = 0;
};

struct SExportPlan {
  std::vector<SPlannedTile> tiles;
  std::vector<long long> perZoom;  ///< tiles planned per zoom level from minZoom (MBTiles)
  double kmzPixelMetres = 0;       ///< the resolution the images have (KMZ)
  /// KMZ: more images than the unit shows; `fittingPixelMetres` is the resolution that fits.
  bool tooManyImages = false;
  double fittingPixelMetres = 0;
  std::string error;  ///< UTF-8; the plan cannot be made
  SGeoBox box;           ///< the area planned
  SPixelGrid imageGrid;  ///< KMZ: the degree grid the images are cut from
  /// GeoPackage: the plane's own pixels in the Tokyo datum, without resampling. Level z is the
  /// plane at ratio 2^(z - n), n the series' native zoom level (its ratio 1); every level's tile
  /// column 0, row 0 starts at the plane's north-west corner, the matrix set's (Tokyo degrees:
  /// west, south, east, north, as `gpkgBounds`, the planned area's box).
  std::vector<SGpkgLevel> gpkgLevels;
  std::vector<double> gpkgRatios;
  double gpkgMatrixSet[4] = {};
  double gpkgBounds[4] = {};
};
[[nodiscard]] SExportPlan PlanExport(const SExportArea& area, const mosaic::CMapCollection& collection,
                                     MapSeries series, const SExportOptions& options);

/// The message when a custom map needs more images than the unit shows (UTF-8).
[[nodiscard]] std::string TooManyImagesMessage(const SExportPlan& plan, std::size_t maxImages);

struct SExportResult {
  bool ok = false;
  bool cancelled = false;
  std::string error;  ///< UTF-8
  long long written = 0;   ///< tiles or images in the file
  long long skipped = 0;   ///< planned ones without map data, left out
  std::vector<long long> perZoom;  ///< written per zoom level from minZoom
  std::uint64_t bytes = 0;
  std::size_t storedImages = 0;  ///< MBTiles: distinct images
  SGeoBox bounds;  ///< of what was written
};

/// Renders and writes the plan to `out` (replaced only with `replace`). `progress` gets the
/// fraction done and stops the export by returning false (nothing is left behind).
[[nodiscard]] SExportResult RunExport(const SExportPlan& plan, const mosaic::CMapCollection& collection,
                                      MapSeries series, const SMapRenderSettings& render,
                                      const SExportOptions& options, const std::filesystem::path& out, bool replace,
                                      const std::function<bool(double)>& progress = {});

/// The doc.kml of a custom map (KML 2.2): one GroundOverlay per image, drawn in order.
[[nodiscard]] std::string KmlDocument(const std::string& name, const std::vector<SPlannedTile>& images);

}  // namespace tiles
