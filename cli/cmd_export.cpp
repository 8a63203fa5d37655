// vantoria-cli export: a rectangle of a sheet saved as the map view's save command saves it
// (sheet resolution, the profile's colours, trek overlays), with its world file.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "CliCommand.h"
#include "Json.h"
#include "app/AppSettings.h"
#include "display/ScaledSheetBitmap.h"
#include "display/TrekOverlay.h"
#include "output/CBgrImage.h"
#include "output/MapImageExport.h"
#include "output/PrintableSheet.h"
#include "output/WorldFile.h"
#include "output/GeoTiff.h"
#include "platform/FileLookup.h"
#include "PlaneArgs.h"
#include "trek/CTrekGroupList.h"

namespace {

int report(const std::string& outPath, const std::filesystem::path& out, bool tiff, ImageFormat format, const QRect& area,
           std::int32_t options, const std::optional<SWorldFile>& world, const std::vector<std::string>& sheets);

constexpr std::int64_t kMaxPlanePixels = std::int64_t{1} << 28;

int exportPlane(const std::vector<std::string>& inputs, const std::string& bboxText, const std::string& datumText,
                const std::string& seriesText, const std::vector<std::string>& trekFiles, bool haveOptions,
                std::int32_t options, const std::filesystem::path& out, const std::string& outPath, bool tiff,
                ImageFormat format, bool force) {
  std::string why;
  const std::optional<mosaic::SFrameSeconds> box = cli::ParseBox("export", bboxText, datumText, why);
  if (!box) return cli::fail(why);
  AppSettings settings;
  settings.setSaveOnDestroy(false);
  settings.Load();
  cli::SPlaneInput in;
  if (!cli::OpenPlaneInput("export", inputs, seriesText, settings.mapRenderSettings(), in, why)) return cli::fail(why);
  const mosaic::SMapPlane& plane = in.source.plane;
  const QRect area = print::PlaneAreaOf(plane, *box);
  const std::vector<std::string> sheets = print::MeshCodesShown(plane, *in.source.sheets, area);
  if (area.isEmpty() || sheets.empty()) return cli::fail("export: no sheet of the map folders lies in the box");
  if (std::int64_t{area.width()} * area.height() > kMaxPlanePixels || area.width() > 65535 || area.height() > 65535)
    return cli::fail("export: the picture would be too large (at most 65535 pixels a side and 268435456 in all)");
  CTrekGroupList treks;
  for (const std::string& t : trekFiles)
    if (treks.OpenTrekFile(platform::pathFromUtf8(t)) <= 0) return cli::fail("export: cannot read the trek file " + t);
  // As for one sheet: no trek overlay without trek data, the grid lines need none.
  if (!haveOptions) options = map_export::ReadOptions();
  options = map_export::EffectiveOptions(options);
  if (!map_export::TrekKinds(treks).any()) options &= kExportGridMask;
  const SheetFrame frame = plane.Frame(1.0);
  TrekOverlay overlay;
  const bool trek = (options & ~kExportGridMask) != 0;
  if (trek) overlay.Rebuild(treks.Groups(), frame, 1.0);
  const map_export::SExportGrid grid{frame, map_export::ExportGridOptions(cli::GridLook(settings), frame, int(in.series))};
  CBgrImage picture;
  if (!map_export::RenderPlaneImage(in.source, area, trek ? &overlay : nullptr, options, picture, &grid))
    return cli::fail("export: out of memory");
  const SWorldFile world = map_export::PlaneWorldFile(plane, area.topLeft());
  const platform::EReplace mode = force ? platform::EReplace::Replace : platform::EReplace::NoReplace;
  const platform::SFileWriteResult written = tiff ? geotiff_export::WriteGeoTiff(out, picture, world, mode)
                                                  : map_export::WriteMapImageFiles(out, format, picture, world, {}, mode);
  if (!written) return cli::failWrite("export", written.path, written.targetExists, written.reason);
  return report(outPath, out, tiff, format, area, options, world, sheets);
}

int runExport(cli::SCliContext& ctx) {
  std::string outPath, rectText, optionsText;
  if (!cli::takeOption(ctx.args, "-o", outPath)) return cli::fail("export: -o OUT.png|OUT.bmp is required");
  const bool haveRect = cli::takeOption(ctx.args, "--rect", rectText);
  const bool haveOptions = cli::takeOption(ctx.args, "--options", optionsText);
  std::vector<std::string> treks;
  for (std::string t; cli::takeOption(ctx.args, "--trek", t);) treks.push_back(t);
  const bool force = cli::takeFlag(ctx.args, "--force");
  std::string bboxText, datumText = "tokyo", seriesText;
  const bool haveBox = cli::takeOption(ctx.args, "--bbox", bboxText);
  const bool haveDatum = cli::takeOption(ctx.args, "--datum", datumText);
  const bool haveSeries = cli::takeOption(ctx.args, "--series", seriesText);
  for (const std::string& a : ctx.args)
    if (a.size() > 1 && a[0] == '-') return cli::fail("export: unknown option " + a);
  if (!haveBox && (haveDatum || haveSeries)) return cli::fail("export: --datum and --series go with --bbox");
  if (haveBox && haveRect) return cli::fail("export: --rect goes with INDEX_CSV MESH, not with --bbox");
  if (haveBox ? ctx.args.empty() : ctx.args.size() != 2)
    return cli::fail("usage: export INDEX_CSV MESH [--rect L,T,R,B] | INDEX_CSV_OR_FOLDER... --bbox S,W,N,E [--trek FILE]... "
                     "[--options N] -o OUT");
  const std::filesystem::path out = platform::pathFromUtf8(outPath);
  std::string ext = out.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool tiff = ext == ".tif" || ext == ".tiff";
  const std::optional<ImageFormat> format = tiff ? std::optional<ImageFormat>(ImageFormat::Bmp) : map_export::FormatOfPath(out);
  if (!format) return cli::fail("export: the output must end in .png or .bmp, or .tif for a GeoTIFF");
  // The picture, its world file and its .prj are written together: none of them is replaced
  // without --force. A GeoTIFF carries its georeference inside.
  if (!force) {
    std::vector<std::filesystem::path> files{out};
    if (!tiff) files.insert(files.end(), {WorldFilePath(out), ProjectionFilePath(out)});
    for (const std::filesystem::path& p : files) {
      std::error_code ec;
      if (std::filesystem::exists(p, ec)) return cli::failWrite("export", platform::pathToUtf8(p), true, {});
    }
  }

  std::int32_t options = 0;
  if (haveOptions) {
    char* end = nullptr;
    const long v = std::strtol(optionsText.c_str(), &end, 10);
    if (optionsText.empty() || *end != '\0' || v < 0 || v > 127) return cli::fail("export: --options must be 0..127");
    options = static_cast<std::int32_t>(v);
  }
  QRect selection;
  if (haveRect) {
    int l = 0, t = 0, r = 0, b = 0;
    char tail = 0;
    if (std::sscanf(rectText.c_str(), "%d,%d,%d,%d%c", &l, &t, &r, &b, &tail) != 4 || r <= l || b <= t)
      return cli::fail("export: --rect must be L,T,R,B with L < R and T < B");
    selection = QRect(QPoint(l, t), QPoint(r - 1, b - 1));
  }

  if (haveBox) return exportPlane(ctx.args, bboxText, datumText, seriesText, treks, haveOptions, options, out, outPath, tiff,
                                  *format, force);

  CPrintableSheet sheet;
  std::string why;
  if (!sheet.Open(platform::pathFromUtf8(ctx.args[0]), ctx.args[1], why)) return cli::fail("export: " + why);
  for (const std::string& t : treks) {
    if (!sheet.AddTrekFile(platform::pathFromUtf8(t))) return cli::fail("export: cannot read the trek file " + t);
  }
  // As in the program: the remembered options, and no trek overlay without trek data (the grid
  // lines need none).
  if (!haveOptions) options = map_export::ReadOptions();
  options = map_export::EffectiveOptions(options);
  if (!map_export::TrekKinds(sheet.treks()).any()) options &= kExportGridMask;

  AppSettings settings;
  settings.setSaveOnDestroy(false);
  settings.Load();
  ScaledSheetBitmap bitmap;
  bitmap.setSource(&sheet.image());
  bitmap.setRenderSettings(settings.mapRenderSettings());
  if (bitmap.Render(1.0, sheet.series(), ScaledSheetBitmap::EResample::Nearest).isEmpty())
    return cli::fail("export: the sheet image cannot be shown");
  const QRect area = map_export::ExportArea(selection, bitmap.Size());
  if (area.isEmpty()) return cli::fail("export: --rect lies outside the sheet");

  TrekOverlay overlay;
  const bool trek = (options & ~kExportGridMask) != 0;
  if (trek) overlay.Rebuild(sheet.treks().Groups(), sheet.frame(), 1.0);
  SheetFrame unit = sheet.frame();
  unit.SetScale(1.0, 1.0);
  const SGridOverlayOptions look = cli::GridLook(settings);
  const map_export::SExportGrid grid{unit, map_export::ExportGridOptions(look, unit, sheet.series())};
  CBgrImage picture;
  if (!map_export::RenderMapImage(bitmap.Surface(), area, trek ? &overlay : nullptr, options, picture, &grid))
    return cli::fail("export: out of memory");
  bitmap.Release();
  const std::optional<SWorldFile> world = SheetWorldFile(sheet.record(), area.topLeft());
  if (tiff && !world) return cli::fail("export: the sheet's frame gives no georeference for a GeoTIFF");
  const platform::SFileWriteResult written =
      tiff ? geotiff_export::WriteGeoTiff(out, picture, *world, force ? platform::EReplace::Replace : platform::EReplace::NoReplace)
           : map_export::WriteMapImageFiles(out, *format, picture, world, {},
                                            force ? platform::EReplace::Replace : platform::EReplace::NoReplace);
  if (!written) return cli::failWrite("export", written.path, written.targetExists, written.reason);
  return report(outPath, out, tiff, *format, area, options, world, {ctx.args[1]});
}

int report(const std::string& outPath, const std::filesystem::path& out, bool tiff, ImageFormat format, const QRect& area,
           std::int32_t options, const std::optional<SWorldFile>& world, const std::vector<std::string>& sheets) {
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(out, ec);
  cli::CJsonWriter j;
  j.beginObject().field("path", outPath).field("format", tiff ? "tif" : format == ImageFormat::Png ? "png" : "bmp");
  j.field("width", area.width()).field("height", area.height()).field("bytes", ec ? 0LL : static_cast<long long>(bytes));
  j.key("area").beginArray().number(area.left()).number(area.top()).number(area.left() + area.width())
      .number(area.top() + area.height()).endArray();
  j.field("options", options);
  if (world && tiff) {
    j.key("worldFile").null();
    j.key("geoTiff").beginObject().field("epsg", geotiff_export::kTokyoGeographic);
    j.field("west", world->centreX - world->pixelWidth / 2).field("north", world->centreY - world->pixelHeight / 2);
    j.field("east", world->centreX + world->pixelWidth * (area.width() - 0.5));
    j.field("south", world->centreY + world->pixelHeight * (area.height() - 0.5));
    j.endObject();
  } else if (world) {
    j.key("worldFile").beginObject().field("path", platform::pathToUtf8(WorldFilePath(out)));
    j.field("a", world->pixelWidth).field("d", world->rotationRow).field("b", world->rotationCol);
    j.field("e", world->pixelHeight).field("c", world->centreX).field("f", world->centreY);
    j.endObject();
    j.field("projectionFile", platform::pathToUtf8(ProjectionFilePath(out)));
  } else {
    j.key("worldFile").null();
  }
  j.key("sheets").beginArray();
  for (const std::string& code : sheets) j.string(code);
  j.endArray();
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

const cli::CCliRegistration kExport(
    "export",
    "export (INDEX_CSV MESH [--rect L,T,R,B] | INDEX_CSV_OR_FOLDER... --bbox S,W,N,E [--datum tokyo|wgs84] [--series 1|2]) "
    "[--trek FILE]... [--options N] -o OUT.png|OUT.bmp|OUT.tif [--force]",
    runExport,
    true);

}  // namespace
