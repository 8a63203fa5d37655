// tiles: the seamless map of map folders as MBTiles (Web Mercator tiles for phone apps and GIS
// programs) or as a KMZ custom map for GPS units, over a box, a track's corridor or every sheet.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "CliCommand.h"
#include "Json.h"
#include "app/AppSettings.h"
#include "geodesy/AngleArgument.h"
#include "geodesy/DatumConverter.h"
#include "geodesy/MagneticDeclination.h"
#include "output/MapImageExport.h"
#include "mosaic/MapCollection.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "tiles/TileExport.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekData.h"
#include "trek/CTrekGroupList.h"
#include "trek/GpxFile.h"
#include "trek/TrekFile.h"

namespace {

constexpr const char* kUsage =
    "tiles INDEX_CSV_OR_FOLDER... (--bbox S,W,N,E [--datum tokyo|wgs84] | --track FILE[:N] --corridor KM | --all) "
    "--format mbtiles|kmz|gpkg [--zoom MIN-MAX] [--jpeg Q | --png] [--max-tiles N] [--pixel-metres M] [--series 1|2] "
    "[--trek FILE]... [--options N] -o OUT [--force]";

bool parseNumber(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(out);
}

std::unique_ptr<CTrackLog> readTrack(const std::string& spec, std::string& error) {
  std::string file = spec;
  long index = 0;
  const std::size_t colon = spec.rfind(':');
  if (colon != std::string::npos && colon + 1 < spec.size() &&
      spec.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    file = spec.substr(0, colon);
    index = std::strtol(spec.c_str() + colon + 1, nullptr, 10);
  }
  const std::filesystem::path path = platform::pathFromUtf8(file);
  std::unique_ptr<CTrekData> group;
  std::string ext = platform::pathToUtf8(path.extension());
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".gpx") {
    SGpxReadResult r = ReadGpxFile(path);
    if (!r.ok()) return error = r.error, nullptr;
    group = std::move(r.tracks);
  } else {
    platform::CScriptedPrompt yes;
    platform::setPrompt(&yes);
    STrekReadResult r = ReadTrekFile(path);
    platform::setPrompt(nullptr);
    if (!r.ok()) return error = r.message.empty() ? "cannot read " + file : r.message, nullptr;
    group = std::move(r.group);
  }
  if (!group || index < 0 || static_cast<std::size_t>(index) >= group->TrackLogs().size()) {
    error = file + " has no track log " + std::to_string(index);
    return nullptr;
  }
  return std::move(group->TrackLogs()[static_cast<std::size_t>(index)]);
}

void boxJson(cli::CJsonWriter& j, const char* key, const tiles::SGeoBox& b) {
  j.key(key).beginArray();
  for (double v : {b.west, b.south, b.east, b.north}) j.number(v);
  j.endArray();
}

int runTiles(cli::SCliContext& ctx) {
  std::string outPath, bboxText, datumText = "tokyo", trackText, corridorText, formatText, zoomText, jpegText,
      maxText, metresText, seriesText, optionsText;
  if (!cli::takeOption(ctx.args, "-o", outPath)) return cli::fail("tiles: -o OUT is required");
  const bool haveBox = cli::takeOption(ctx.args, "--bbox", bboxText);
  (void)cli::takeOption(ctx.args, "--datum", datumText);
  const bool haveTrack = cli::takeOption(ctx.args, "--track", trackText);
  const bool haveCorridor = cli::takeOption(ctx.args, "--corridor", corridorText);
  const bool all = cli::takeFlag(ctx.args, "--all");
  if (!cli::takeOption(ctx.args, "--format", formatText)) return cli::fail("tiles: --format mbtiles|kmz|gpkg is required");
  const bool haveZoom = cli::takeOption(ctx.args, "--zoom", zoomText);
  const bool haveJpeg = cli::takeOption(ctx.args, "--jpeg", jpegText);
  const bool png = cli::takeFlag(ctx.args, "--png");
  const bool haveMax = cli::takeOption(ctx.args, "--max-tiles", maxText);
  const bool haveMetres = cli::takeOption(ctx.args, "--pixel-metres", metresText);
  const bool haveSeries = cli::takeOption(ctx.args, "--series", seriesText);
  const bool force = cli::takeFlag(ctx.args, "--force");
  const bool haveOptions = cli::takeOption(ctx.args, "--options", optionsText);
  std::vector<std::string> trekFiles;
  for (std::string t; cli::takeOption(ctx.args, "--trek", t);) trekFiles.push_back(t);
  if (ctx.args.empty()) return cli::fail(std::string("usage: ") + kUsage);
  for (const std::string& a : ctx.args)
    if (a.size() > 1 && a[0] == '-') return cli::fail("tiles: unknown option " + a);
  if (static_cast<int>(haveBox) + static_cast<int>(haveTrack) + static_cast<int>(all) != 1)
    return cli::fail("tiles: give one of --bbox, --track and --all");
  if (haveTrack != haveCorridor) return cli::fail("tiles: --track needs --corridor KM");
  if (formatText != "mbtiles" && formatText != "kmz" && formatText != "gpkg")
    return cli::fail("tiles: --format must be mbtiles, kmz or gpkg");
  if (haveJpeg && png) return cli::fail("tiles: give --jpeg Q or --png, not both");

  tiles::SExportOptions options;
  options.format = formatText == "kmz"    ? tiles::EFormat::Kmz
                   : formatText == "gpkg" ? tiles::EFormat::GeoPackage
                                          : tiles::EFormat::Mbtiles;
  options.image = haveJpeg || options.format == tiles::EFormat::Kmz ? tiles::EImageFormat::Jpeg : tiles::EImageFormat::Png;
  if (png && options.format == tiles::EFormat::Kmz) return cli::fail("tiles: custom maps are JPEG");
  if (haveJpeg) {
    double q = 0;
    if (!parseNumber(jpegText, q) || q < 10 || q > 100) return cli::fail("tiles: --jpeg must be 10..100");
    options.jpegQuality = static_cast<int>(q);
  }
  if (haveMax) {
    double m = 0;
    if (!parseNumber(maxText, m) || m < 1 || m > 100000) return cli::fail("tiles: --max-tiles must be 1..100000");
    options.maxImages = static_cast<std::size_t>(m);
  }
  if (haveMetres && (!parseNumber(metresText, options.kmzPixelMetres) || options.kmzPixelMetres < 0.5 ||
                     options.kmzPixelMetres > 10000))
    return cli::fail("tiles: --pixel-metres must be 0.5..10000");

  // What the map export draws over the map: the remembered bits unless given; the trek bits only
  // with trek data.
  std::int32_t overlayBits = 0;
  if (haveOptions) {
    char* end = nullptr;
    const long v = std::strtol(optionsText.c_str(), &end, 10);
    if (optionsText.empty() || *end != '\0' || v < 0 || v > 127) return cli::fail("tiles: --options must be 0..127");
    overlayBits = static_cast<std::int32_t>(v);
  } else {
    overlayBits = tiles::ReadTileOverlayOptions();
  }
  CTrekGroupList treks;
  for (const std::string& t : trekFiles)
    if (treks.OpenTrekFile(platform::pathFromUtf8(t)) <= 0) return cli::fail(std::string("tiles: cannot read the trek file ") += t);

  mosaic::CMapCollection collection;
  for (const std::string& input : ctx.args) {
    const std::filesystem::path p = platform::pathFromUtf8(input);
    std::error_code ec;
    const int added = std::filesystem::is_directory(p, ec) ? collection.AddTree(p) : collection.AddFolder(p.parent_path()) ? 1 : 0;
    if (added == 0) return cli::fail("tiles: no map data (index.csv and kanri.csv) in " + input);
  }
  const std::vector<MapSeries> present = collection.seriesPresent();
  if (present.empty()) return cli::fail("tiles: the map folders hold no sheets");
  MapSeries series = present.front();
  if (haveSeries) {
    if (seriesText != "1" && seriesText != "2") return cli::fail("tiles: --series must be 1 or 2");
    series = seriesText == "2" ? MapSeries::Scale50000 : MapSeries::Scale25000;
    if (collection.sheets(series).empty()) return cli::fail("tiles: the map folders hold no sheet of series " + seriesText);
  }

  tiles::SExportArea area;
  if (haveBox) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
      const std::size_t comma = bboxText.find(',', start);
      parts.push_back(bboxText.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (parts.size() != 4) return cli::fail("tiles: --bbox must be S,W,N,E");
    std::optional<DmsAngle> a[4];
    for (int i = 0; i < 4; ++i)
      if (!(a[i] = ParseAngleArgument(parts[static_cast<std::size_t>(i)])))
        return cli::fail("tiles: --bbox: " + parts[static_cast<std::size_t>(i)] + " is not an angle");
    if (datumText != "tokyo" && datumText != "wgs84") return cli::fail("tiles: --datum must be tokyo or wgs84");
    if (datumText == "wgs84") {
      area.box = {a[0]->ToDegrees(), a[1]->ToDegrees(), a[2]->ToDegrees(), a[3]->ToDegrees()};
    } else {
      area.box = tiles::WgsBoxOf({a[2]->TotalSeconds(), a[0]->TotalSeconds(), a[1]->TotalSeconds(), a[3]->TotalSeconds()});
    }
    if (!area.box.valid()) return cli::fail("tiles: --bbox must have S < N and W < E");
  } else if (haveTrack) {
    double km = 0;
    if (!parseNumber(corridorText, km) || km <= 0 || km > 100) return cli::fail("tiles: --corridor must be above 0 and at most 100 km");
    std::string error;
    const auto log = readTrack(trackText, error);
    if (!log) return cli::fail("tiles: " + error);
    if (log->Points().empty()) return cli::fail("tiles: the track log has no points");
    area = tiles::CorridorArea(*log, km);
  } else {
    area.box = tiles::CollectionBox(collection, series);
  }

  const double midLat = (area.box.north + area.box.south) / 2;
  options.maxZoom = tiles::NativeZoom(series, midLat);
  options.minZoom = std::min(10, options.maxZoom);
  if (haveZoom) {
    int lo = 0, hi = 0;
    char tail = 0;
    if (std::sscanf(zoomText.c_str(), "%d-%d%c", &lo, &hi, &tail) == 2) {
    } else if (std::sscanf(zoomText.c_str(), "%d%c", &lo, &tail) == 1) {
      hi = lo;
    } else {
      return cli::fail("tiles: --zoom must be MIN-MAX or one level");
    }
    if (lo < 0 || hi > tiles::kMaxZoom || lo > hi) return cli::fail("tiles: --zoom levels must be 0..20, MIN <= MAX");
    options.minZoom = lo, options.maxZoom = hi;
  }
  const std::filesystem::path out = platform::pathFromUtf8(outPath);
  options.name = platform::pathToUtf8(out.stem());

  const tiles::SExportPlan plan = tiles::PlanExport(area, collection, series, options);
  if (!plan.error.empty()) return cli::fail("tiles: " + plan.error);
  if (options.format == tiles::EFormat::Kmz && plan.tooManyImages)
    return cli::fail("tiles: " + tiles::TooManyImagesMessage(plan, options.maxImages));
  std::error_code ec;
  if (!force && std::filesystem::exists(out, ec)) return cli::failWrite("tiles", outPath, true, {});

  AppSettings settings;
  settings.setSaveOnDestroy(false);
  settings.Load();
  options.overlays.options = overlayBits;
  options.overlays.treks = treks.Groups().empty() ? nullptr : &treks.Groups();
  options.overlays.look = tiles::TileGridLook(settings.gridColour, settings.graticuleColour, settings.magNorthColour,
                                              settings.dispDatum == 0, series);
  const tiles::SExportResult r =
      tiles::RunExport(plan, collection, series, settings.mapRenderSettings(), options, out, force);
  if (!r.ok) return cli::failWrite("tiles", outPath, r.error == "exists", r.error);

  cli::CJsonWriter json;
  json.beginObject();
  json.field("file", outPath);
  json.field("format", formatText);
  json.field("tiles", r.written);
  json.field("skipped", r.skipped);
  json.field("options", static_cast<long long>(options.overlays.effective()));
  json.field("bytes", static_cast<long long>(r.bytes));
  if (options.format != tiles::EFormat::Kmz) {
    if (options.format == tiles::EFormat::Mbtiles) json.field("storedImages", static_cast<long long>(r.storedImages));
    json.key("zoom").beginObject();
    for (std::size_t i = 0; i < r.perZoom.size(); ++i) json.field(std::to_string(options.minZoom + static_cast<int>(i)), r.perZoom[i]);
    json.endObject();
  } else {
    json.field("pixelMetres", plan.kmzPixelMetres);
  }
  boxJson(json, "bounds", r.bounds);
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

const cli::CCliRegistration kTiles("tiles", kUsage, runTiles, true);

}  // namespace
