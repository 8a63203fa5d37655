#pragma once
// A map picture as a georeferenced TIFF: 8-bit RGB rows with the model tie point and pixel scale
// of its world file, and GeoKeys naming geographic coordinates on the Tokyo datum (EPSG 4301)
// with this program's three-parameter shift to WGS-84 in the citation, so that a GIS program
// places it without a side file.
#include <filesystem>
#include <string>

#include "output/WorldFile.h"
#include "platform/AtomicFile.h"

class CBgrImage;

namespace geotiff_export {

/// The EPSG code of geographic coordinates on the Tokyo datum.
inline constexpr int kTokyoGeographic = 4301;

/// The citation of the geographic system: the datum, the ellipsoid and the shift to WGS-84.
[[nodiscard]] std::string GeographicCitation();

/// Writes `image` to `path` with its georeference: beside the target first, moved into place
/// when every byte is written (an earlier file stays whole on a failure). With NoReplace,
/// nothing is written over an existing file.
[[nodiscard]] platform::SFileWriteResult WriteGeoTiff(const std::filesystem::path& path, const CBgrImage& image,
                                                      const SWorldFile& world, platform::EReplace mode);

/// What a georeferenced TIFF says about itself (read back with libgeotiff).
struct SGeoTiffInfo {
  bool ok = false;
  std::string error;
  int width = 0;
  int height = 0;
  int modelType = 0;       ///< 2: geographic
  int rasterType = 0;      ///< 1: pixel is area
  int geographicType = 0;  ///< EPSG code
  std::string citation;    ///< GeogCitationGeoKey
  double west = 0, north = 0, east = 0, south = 0;  ///< outer edges in degrees
};
[[nodiscard]] SGeoTiffInfo ReadGeoTiffInfo(const std::filesystem::path& path);

}  // namespace geotiff_export
