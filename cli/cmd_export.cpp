// vantoria-cli export: a rectangle of a sheet saved as the map view's save command saves it
// (sheet resolution, the profile's colours, trek overlays), with its world file.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "CliCommand.h"
#include "geodesy/MagneticDeclination.h"
#include "Json.h"
#include "app/AppSettings.h"
#include "display/ScaledSheetBitmap.h"
#include "display/TrekOverlay.h"
#include "output/CBgrImage.h"
#include "output/MapImageExport.h"
#include "output/PrintableSheet.h"
#include "output/WorldFile.h"
#include "platform/FileLookup.h"

namespace {

int runExport(cli::SCliContext& ctx) {
  std::string outPath, rectText, optionsText;
  if (!cli::takeOption(ctx.args, "-o", outPath)) return cli::fail("export: -o OUT.png|OUT.bmp is required");
  const bool haveRect = cli::takeOption(ctx.args, "--rect", rectText);
  const bool haveOptions = cli::takeOption(ctx.args, "--options", optionsText);
  std::vector<std::string> treks;
  for (std::string t; cli::takeOption(ctx.args, "--trek", t);) treks.push_back(t);
  const bool force = cli::takeFlag(ctx.args, "--force");
  if (ctx.args.size() != 2) return cli::fail("usage: export INDEX_CSV MESH [--rect L,T,R,B] [--trek FILE]... [--options N] -o OUT");
  const std::filesystem::path out = platform::pathFromUtf8(outPath);
  const std::optional<ImageFormat> format = map_export::FormatOfPath(out);
  if (!format) return cli::fail("export: the output must end in .png or .bmp");
  // The picture, its world file and its .prj are written together: none of them is replaced
  // without --force.
  if (!force) {
    for (const std::filesystem::path& p : {out, WorldFilePath(out), ProjectionFilePath(out)}) {
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
  SGridOverlayOptions look;
  look.utmColour = static_cast<std::uint32_t>(settings.gridColour);
  look.graticuleColour = static_cast<std::uint32_t>(settings.graticuleColour);
  look.magneticColour = static_cast<std::uint32_t>(settings.magNorthColour);
  look.graticuleDatum = settings.dispDatum == 0 ? Datum::Wgs84 : Datum::Tokyo;
  look.decimalYear = geodesy::DecimalYearToday();
  const map_export::SExportGrid grid{unit, map_export::ExportGridOptions(look, unit, sheet.series())};
  CBgrImage picture;
  if (!map_export::RenderMapImage(bitmap.Surface(), area, trek ? &overlay : nullptr, options, picture, &grid))
    return cli::fail("export: out of memory");
  bitmap.Release();
  const std::optional<SWorldFile> world = SheetWorldFile(sheet.record(), area.topLeft());
  const platform::SFileWriteResult written = map_export::WriteMapImageFiles(
      out, *format, picture, world, {}, force ? platform::EReplace::Replace : platform::EReplace::NoReplace);
  if (!written) return cli::failWrite("export", written.path, written.targetExists, written.reason);

  std::error_code ec;
  const auto bytes = std::filesystem::file_size(out, ec);
  cli::CJsonWriter j;
  j.beginObject().field("path", outPath).field("format", *format == ImageFormat::Png ? "png" : "bmp");
  j.field("width", area.width()).field("height", area.height()).field("bytes", ec ? 0LL : static_cast<long long>(bytes));
  j.key("area").beginArray().number(area.left()).number(area.top()).number(area.left() + area.width())
      .number(area.top() + area.height()).endArray();
  j.field("options", options);
  if (world) {
    j.key("worldFile").beginObject().field("path", platform::pathToUtf8(WorldFilePath(out)));
    j.field("a", world->pixelWidth).field("d", world->rotationRow).field("b", world->rotationCol);
    j.field("e", world->pixelHeight).field("c", world->centreX).field("f", world->centreY);
    j.endObject();
    j.field("projectionFile", platform::pathToUtf8(ProjectionFilePath(out)));
  } else {
    j.key("worldFile").null();
  }
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

const cli::CCliRegistration kExport(
    "export", "export INDEX_CSV MESH [--rect L,T,R,B] [--trek FILE]... [--options N] -o OUT.png|OUT.bmp [--force]", runExport,
    true);

}  // namespace
