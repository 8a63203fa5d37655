#include "PlaneArgs.h"

#include <system_error>

#include "geodesy/AngleArgument.h"
#include "geodesy/DatumConverter.h"
#include "geodesy/MagneticDeclination.h"
#include "platform/FileLookup.h"

namespace cli {

bool OpenPlaneInput(const std::string& command, const std::vector<std::string>& inputs, const std::string& seriesText,
                    const SMapRenderSettings& render, SPlaneInput& out, std::string& error) {
  if (inputs.empty()) {
    error = command + ": no INDEX_CSV_OR_FOLDER given";
    return false;
  }
  for (const std::string& input : inputs) {
    const std::filesystem::path p = platform::pathFromUtf8(input);
    std::error_code ec;
    const int added = std::filesystem::is_directory(p, ec) ? out.collection.AddTree(p)
                                                           : out.collection.AddFolder(p.parent_path()) ? 1 : 0;
    if (added == 0) {
      error = command + ": no map data (index.csv and kanri.csv) in " + input;
      return false;
    }
  }
  const std::vector<MapSeries> present = out.collection.seriesPresent();
  if (present.empty()) {
    error = command + ": the map folders hold no sheets";
    return false;
  }
  out.series = present.front();
  if (!seriesText.empty()) {
    if (seriesText != "1" && seriesText != "2") {
      error = command + ": --series must be 1 or 2";
      return false;
    }
    out.series = seriesText == "2" ? MapSeries::Scale50000 : MapSeries::Scale25000;
    if (out.collection.sheets(out.series).empty()) {
      error = command + ": the map folders hold no sheet of series " + seriesText;
      return false;
    }
  }
  out.renderer = std::make_unique<mosaic::CMosaicRenderer>();
  out.renderer->setRenderSettings(render);
  out.renderer->setSeries(out.collection.sheets(out.series), out.collection.plane(out.series));
  out.source.renderer = out.renderer.get();
  out.source.plane = out.collection.plane(out.series);
  out.source.sheets = &out.collection.sheets(out.series);
  return true;
}

std::optional<mosaic::SFrameSeconds> ParseBox(const std::string& command, const std::string& text,
                                              const std::string& datum, std::string& error) {
  if (datum != "tokyo" && datum != "wgs84") {
    error = command + ": --datum must be tokyo or wgs84";
    return std::nullopt;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (parts.size() != 4) {
    error = command + ": --bbox must be S,W,N,E";
    return std::nullopt;
  }
  std::optional<DmsAngle> angle[4];
  for (std::size_t i = 0; i < 4; ++i) {
    angle[i] = ParseAngleArgument(parts[i]);
    if (!angle[i]) {
      error = command + ": --bbox: " + parts[i] + " is not an angle";
      return std::nullopt;
    }
  }
  GeoPosition sw{*angle[0], *angle[1], datum == "wgs84" ? Datum::Wgs84 : Datum::Tokyo};
  GeoPosition ne{*angle[2], *angle[3], sw.datum};
  sw = DatumConverter::Convert(sw, Datum::Tokyo);
  ne = DatumConverter::Convert(ne, Datum::Tokyo);
  const mosaic::SFrameSeconds box{ne.latitude.TotalSeconds(), sw.latitude.TotalSeconds(), sw.longitude.TotalSeconds(),
                                  ne.longitude.TotalSeconds()};
  if (!(box.north > box.south) || !(box.east > box.west)) {
    error = command + ": --bbox must have S < N and W < E";
    return std::nullopt;
  }
  return box;
}

SGridOverlayOptions GridLook(const AppSettings& settings) {
  SGridOverlayOptions look;
  look.utmColour = static_cast<std::uint32_t>(settings.gridColour);
  look.graticuleColour = static_cast<std::uint32_t>(settings.graticuleColour);
  look.magneticColour = static_cast<std::uint32_t>(settings.magNorthColour);
  look.graticuleDatum = settings.dispDatum == 0 ? Datum::Wgs84 : Datum::Tokyo;
  look.decimalYear = geodesy::DecimalYearToday();
  return look;
}

}  // namespace cli
