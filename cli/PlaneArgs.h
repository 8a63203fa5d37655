#pragma once
// What the seamless forms of print and export share: the map folders of several arguments as one
// collection, a box given as S,W,N,E in either datum, and the look of the grid lines.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "display/GridOverlay.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"
#include "output/PlanePrint.h"

namespace cli {

/// The collection of every INDEX_CSV_OR_FOLDER argument and its renderer for one series (the
/// first present, or `seriesText` "1" / "2").
struct SPlaneInput {
  mosaic::CMapCollection collection;
  std::unique_ptr<mosaic::CMosaicRenderer> renderer;
  print::SPlaneSource source;
  MapSeries series = MapSeries::Unknown;
};
/// False with the reason in `error` (prefixed with `command`).
bool OpenPlaneInput(const std::string& command, const std::vector<std::string>& inputs, const std::string& seriesText,
                    const SMapRenderSettings& render, SPlaneInput& out, std::string& error);

/// "S,W,N,E" (angles as the geodesy commands take them) in `datum` ("tokyo" or "wgs84") as a
/// Tokyo box in seconds. None with the reason in `error`.
std::optional<mosaic::SFrameSeconds> ParseBox(const std::string& command, const std::string& text,
                                              const std::string& datum, std::string& error);

/// The look of exported grid lines from the settings: their colours, the graticule's datum
/// (the display datum) and today's date for the declination.
[[nodiscard]] SGridOverlayOptions GridLook(const AppSettings& settings);

}  // namespace cli
