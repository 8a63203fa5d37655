#pragma once
// Sheet geometry and names of the generated sample map data, and the drawing of one sheet.
#include <cstdint>
#include <string>
#include <vector>

namespace mapgen {

enum class ESeries { Map25000 = 1, Map50000 = 2 };

/// One sheet of the sample data. Angles are whole seconds of arc in the Tokyo datum.
struct SSheet {
  ESeries series = ESeries::Map25000;
  std::string area;        // primary mesh code, e.g. "5438"
  std::string mesh;        // secondary mesh code, e.g. "543846"
  int row = 0, col = 0;    // digits 5 and 6 of the mesh code
  int northSec = 0, southSec = 0, westSec = 0, eastSec = 0;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // frame corners in image pixels (north-west, south-east)
  int width = 0, height = 0;
  double pixelMetres = 2.5;
  double groundNorthM = 0, groundSouthM = 0, groundHeightM = 0;  // frame edge lengths
  std::string nameUtf8, readingUtf8;
};

/// Layer bits of a pixel value, which differ between the series in the three lowest bits.
struct SLayerBits {
  std::uint8_t national, water, trees, contour, shore, road, halo, text;
};
[[nodiscard]] SLayerBits layerBits(ESeries series);
/// The default colour (0xRRGGBB) a pixel value shows in: the highest set bit wins.
[[nodiscard]] std::uint32_t defaultColour(ESeries series, std::uint8_t value);

/// Frame corners and pixel size of a sheet from its mesh code (the margin is fixed). A positive
/// `pixelMetres` replaces the series' own ground size of a pixel (2.5 m or 5 m).
[[nodiscard]] SSheet makeSheet(ESeries series, const std::string& mesh, const char* nameUtf8,
                               const char* readingUtf8, double pixelMetres = 0);
/// Moves the frame's north-west and south-east pixel corners by -3..+3 pixels each, as scans
/// differ, deterministically from the mesh code; the image grows or shrinks with the far corner.
void varyFrameCorners(SSheet& sheet);
/// Seconds of arc (Tokyo datum) of the middle of the ground that roads, settlements and
/// lettering cover; the terrain itself goes on everywhere.
struct SGroundCentre {
  int latSec = 0, lonSec = 0;
};
[[nodiscard]] SGroundCentre groundCentre();
/// Made-up place name and reading (UTF-8) of two or three characters, fixed by `seed`.
struct SPlaceName {
  std::string nameUtf8, readingUtf8;
};
[[nodiscard]] SPlaceName placeName(std::uint64_t seed, bool shortName);
/// Every sheet of one series, in ascending mesh code order.
[[nodiscard]] std::vector<SSheet> sampleSheets(ESeries series);
/// Area codes and names (UTF-8) of the sample data, in index order.
struct SArea {
  std::string code, nameUtf8;
};
[[nodiscard]] std::vector<SArea> sampleAreas();

/// Draws the sheet into `pixels` (resized to width x height, top row first).
void renderSheet(const SSheet& sheet, std::vector<std::uint8_t>& pixels);

}  // namespace mapgen
