// vantoria-cli mosaic: a box of the seamless map of the open map folders, in the view's colours
// and quality, with the trek overlays of the export options, and its world file and .prj.
#include <QImage>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "CliCommand.h"
#include "Json.h"
#include "PlaneArgs.h"
#include "app/AppSettings.h"
#include "display/Magnification.h"
#include "display/TrekOverlay.h"
#include "geodesy/AngleArgument.h"
#include "geodesy/DatumConverter.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"
#include "output/CBgrImage.h"
#include "output/MapImageExport.h"
#include "output/WorldFile.h"
#include "platform/FileLookup.h"
#include "trek/CTrekGroupList.h"

namespace {

constexpr const char* kUsage =
    "mosaic INDEX_CSV_OR_FOLDER... --bbox S,W,N,E [--datum tokyo|wgs84] (--ratio R | --scale 1:N) [--series 1|2] "
    "[--quality] [--trek FILE]... [--options N] -o OUT.png|OUT.bmp [--force]";
// Most pixels a picture may have (the export's own limit for a 24-bit picture).
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;

std::vector<std::string> splitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

void meshArray(cli::CJsonWriter& j, const char* key, const std::vector<std::string>& codes) {
  j.key(key).beginArray();
  for (const std::string& c : codes) j.string(c);
  j.endArray();
}

int runMosaic(cli::SCliContext& ctx) {
  std::string outPath, bboxText, datumText = "tokyo", ratioText, scaleText, seriesText, optionsText;
  if (!cli::takeOption(ctx.args, "-o", outPath)) return cli::fail("mosaic: -o OUT.png|OUT.bmp is required");
  if (!cli::takeOption(ctx.args, "--bbox", bboxText)) return cli::fail("mosaic: --bbox S,W,N,E is required");
  (void)cli::takeOption(ctx.args, "--datum", datumText);
  const bool haveRatio = cli::takeOption(ctx.args, "--ratio", ratioText);
  const bool haveScale = cli::takeOption(ctx.args, "--scale", scaleText);
  const bool haveSeries = cli::takeOption(ctx.args, "--series", seriesText);
  const bool haveOptions = cli::takeOption(ctx.args, "--options", optionsText);
  std::vector<std::string> treks;
  for (std::string t; cli::takeOption(ctx.args, "--trek", t);) treks.push_back(t);
  const bool quality = cli::takeFlag(ctx.args, "--quality");
  const bool force = cli::takeFlag(ctx.args, "--force");
  if (ctx.args.empty()) return cli::fail(std::string("usage: ") + kUsage);
  for (const std::string& a : ctx.args)
    if (a.size() > 1 && a[0] == '-') return cli::fail("mosaic: unknown option " + a);
  if (haveRatio == haveScale) return cli::fail("mosaic: give one of --ratio R and --scale 1:N");
  if (datumText != "tokyo" && datumText != "wgs84") return cli::fail("mosaic: --datum must be tokyo or wgs84");
  const std::filesystem::path out = platform::pathFromUtf8(outPath);
  const std::optional<ImageFormat> format = map_export::FormatOfPath(out);
  if (!format) return cli::fail("mosaic: the output must end in .png or .bmp");

  const std::vector<std::string> corners = splitCommas(bboxText);
  if (corners.size() != 4) return cli::fail("mosaic: --bbox must be S,W,N,E");
  std::optional<DmsAngle> angle[4];
  for (int i = 0; i < 4; ++i) {
    angle[i] = ParseAngleArgument(corners[static_cast<std::size_t>(i)]);
    if (!angle[i]) return cli::fail("mosaic: --bbox: " + corners[static_cast<std::size_t>(i)] + " is not an angle");
  }
  // The box's corners in the Tokyo datum (the plane's own), each shifted on its own.
  GeoPosition sw{*angle[0], *angle[1], datumText == "wgs84" ? Datum::Wgs84 : Datum::Tokyo};
  GeoPosition ne{*angle[2], *angle[3], sw.datum};
  sw = DatumConverter::Convert(sw, Datum::Tokyo);
  ne = DatumConverter::Convert(ne, Datum::Tokyo);
  const mosaic::SFrameSeconds box{ne.latitude.TotalSeconds(), sw.latitude.TotalSeconds(), sw.longitude.TotalSeconds(),
                                  ne.longitude.TotalSeconds()};
  if (!(box.north > box.south) || !(box.east > box.west))
    return cli::fail("mosaic: --bbox must have S < N and W < E");

  std::int32_t options = 0;
  if (haveOptions) {
    char* end = nullptr;
    const long v = std::strtol(optionsText.c_str(), &end, 10);
    if (optionsText.empty() || *end != '\0' || v < 0 || v > 127) return cli::fail("mosaic: --options must be 0..127");
    options = static_cast<std::int32_t>(v);
  }
  if (!force) {
    for (const std::filesystem::path& p : {out, WorldFilePath(out), ProjectionFilePath(out)}) {
      std::error_code ec;
      if (std::filesystem::exists(p, ec)) return cli::failWrite("mosaic", platform::pathToUtf8(p), true, {});
    }
  }

  mosaic::CMapCollection collection;
  for (const std::string& input : ctx.args) {
    const std::filesystem::path p = platform::pathFromUtf8(input);
    std::error_code ec;
    const int added = std::filesystem::is_directory(p, ec) ? collection.AddTree(p) : collection.AddFolder(p.parent_path()) ? 1 : 0;
    if (added == 0) return cli::fail("mosaic: no map data (index.csv and kanri.csv) in " + input);
  }
  const std::vector<MapSeries> present = collection.seriesPresent();
  if (present.empty()) return cli::fail("mosaic: the map folders hold no sheets");
  MapSeries series = present.front();
  if (haveSeries) {
    if (seriesText != "1" && seriesText != "2") return cli::fail("mosaic: --series must be 1 or 2");
    series = seriesText == "2" ? MapSeries::Scale50000 : MapSeries::Scale25000;
    if (collection.sheets(series).empty()) return cli::fail("mosaic: the map folders hold no sheet of series " + seriesText);
  }
  const mosaic::SMapPlane& plane = collection.plane(series);

  double ratio = 0;
  if (haveRatio) {
    char* end = nullptr;
    ratio = std::strtod(ratioText.c_str(), &end);
    if (end == ratioText.c_str() || *end != '\0' || !std::isfinite(ratio) || ratio <= 0.0 || ratio > 64.0)
      return cli::fail("mosaic: --ratio must be a number above 0 and at most 64");
  } else {
    long n = 0;
    char tail = 0;
    if (std::sscanf(scaleText.c_str(), "1:%ld%c", &n, &tail) != 1 || n < 100 || n > 100000000)
      return cli::fail("mosaic: --scale must be 1:N with N from 100 to 100000000");
    // A map scale on a screen of 96 pixels per inch, true at the box's middle.
    const double nominal = MagnificationToRatio(-static_cast<MagnificationCode>(n), int(series), 96.0);
    const double local = plane.MetresAcross((box.north + box.south) / 2) / mosaic::NominalPixelMetres(series);
    // A plane pixel covering more ground than the nominal one is drawn larger.
    ratio = nominal * local;
  }

  // Display pixels at the ratio: those whose centres lie in the box.
  const double left = std::ceil(plane.ColumnOf(box.west, ratio) - 0.5);
  const double right = std::ceil(plane.ColumnOf(box.east, ratio) - 0.5);
  const double top = std::floor(plane.RowOf(box.north, ratio) - 0.5) + 1;
  const double bottom = std::floor(plane.RowOf(box.south, ratio) - 0.5) + 1;
  const double width = right - left, height = bottom - top;
  if (!(width >= 1) || !(height >= 1)) return cli::fail("mosaic: the box is smaller than a pixel at this ratio");
  if (width * height > static_cast<double>(kMaxPixels) || width > 65535 || height > 65535)
    return cli::fail("mosaic: the picture would be too large (at most 65535 pixels a side and 268435456 in all)");
  if (std::abs(left) > 1e9 || std::abs(top) > 1e9) return cli::fail("mosaic: the box lies too far from the map folders");
  const QRect area(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width), static_cast<int>(height));

  AppSettings settings;
  settings.setSaveOnDestroy(false);
  settings.Load();
  SMapRenderSettings render = settings.mapRenderSettings();
  if (quality) render.dispQuality = 1;

  CTrekGroupList trekData;
  for (const std::string& t : treks)
    if (trekData.OpenTrekFile(platform::pathFromUtf8(t)) <= 0) return cli::fail("mosaic: cannot read the trek file " + t);
  if (!haveOptions) options = map_export::ReadOptions();
  options = map_export::EffectiveOptions(options);
  if (!map_export::TrekKinds(trekData).any()) options &= kExportGridMask;

  QImage picture(area.size(), QImage::Format_RGB32);
  if (picture.isNull()) return cli::fail("mosaic: out of memory");
  mosaic::CMosaicRenderer renderer;
  renderer.setRenderSettings(render);
  renderer.setSeries(collection.sheets(series), plane);
  renderer.setDecodeThreads(1);
  renderer.RenderNow(picture, area, area.topLeft(), ratio);

  // The overlays through a plane whose pixel (0, 0) is the picture's top-left pixel.
  mosaic::SMapPlane local = plane;
  local.north = plane.LatitudeAt(area.top(), ratio);
  local.west = plane.LongitudeAt(area.left(), ratio);
  local.latStep = plane.latStep / ratio;
  local.lonStep = plane.lonStep / ratio;
  local.width = area.width();
  local.height = area.height();
  TrekOverlay overlay;
  const bool trek = (options & ~kExportGridMask) != 0;
  if (trek) overlay.Rebuild(trekData.Groups(), local.Frame(1.0), 1.0);
  const SGridOverlayOptions look = cli::GridLook(settings);
  const SheetFrame gridFrame = local.Frame(1.0);
  map_export::SExportGrid grid{gridFrame, map_export::ExportGridOptions(look, gridFrame, int(series))};
  // The picture's own scale: lines of the spacing a view at this ratio would show.
  grid.options.utmSpacingM = UtmSpacingForRatio(ratio);
  CBgrImage bgr;
  if (!map_export::RenderMapImage(picture, QRect(QPoint(0, 0), area.size()), trek ? &overlay : nullptr, options, bgr,
                                  &grid))
    return cli::fail("mosaic: out of memory");
  picture = QImage();

  SWorldFile world;
  world.pixelWidth = local.lonStep / 3600.0;
  world.pixelHeight = -local.latStep / 3600.0;
  world.centreX = (local.west + local.lonStep / 2) / 3600.0;
  world.centreY = (local.north - local.latStep / 2) / 3600.0;
  const platform::SFileWriteResult written = map_export::WriteMapImageFiles(
      out, *format, bgr, world, {}, force ? platform::EReplace::Replace : platform::EReplace::NoReplace);
  if (!written) return cli::failWrite("mosaic", written.path, written.targetExists, written.reason);

  // Which sheets the picture shows (those owning the centre of one of its pixels), and the
  // grid's sheets there that it lacks.
  auto shows = [&](const mosaic::SFrameSeconds& f) {
    const mosaic::SOwnedRange c = mosaic::OwnedColumns(plane, ratio, f.west, f.east, area.left(), area.right() + 1);
    const mosaic::SOwnedRange r = mosaic::OwnedRows(plane, ratio, f.north, f.south, area.top(), area.bottom() + 1);
    return c.first < c.last && r.first < r.last;
  };
  std::vector<std::string> used, missing;
  for (const int i : collection.SheetsIn(series, box)) {
    const mosaic::SCollectionSheet& s = collection.sheets(series)[static_cast<std::size_t>(i)];
    if (!renderer.FailureOf(i) && shows(s.frame)) used.push_back(s.record.meshCode);
  }
  for (const mosaic::SMeshCell& cell : mosaic::MeshCellsIn(series, box, 100000)) {
    if (!shows(cell.frame)) continue;
    const int i = collection.FindMesh(series, cell.code);
    if (i < 0 || renderer.FailureOf(i)) missing.push_back(cell.code);
  }

  cli::CJsonWriter j;
  j.beginObject().field("path", outPath).field("format", *format == ImageFormat::Png ? "png" : "bmp");
  j.field("width", area.width()).field("height", area.height()).field("series", int(series)).field("ratio", ratio);
  meshArray(j, "sheets", used);
  meshArray(j, "missing", missing);
  j.field("lonStep", world.pixelWidth).field("latStep", local.latStep / 3600.0);
  j.field("west", local.west / 3600.0).field("north", local.north / 3600.0);
  j.field("options", options);
  j.field("worldFile", platform::pathToUtf8(WorldFilePath(out)));
  j.field("projectionFile", platform::pathToUtf8(ProjectionFilePath(out)));
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

const cli::CCliRegistration kMosaic("mosaic", kUsage, runMosaic, true);

}  // namespace
