// vantoria-cli render: a sheet recoloured and scaled as the map view shows it, written as PNG or BMP.
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "CliCommand.h"
#include "app/AppSettings.h"
#include "display/CMapCanvas.h"
#include "maps/SheetImage.h"
#include "output/CBgrImage.h"
#include "output/ImageWriter.h"
#include "output/MapImageExport.h"
#include "platform/FileLookup.h"

namespace {

constexpr std::int64_t kMaxOutputPixels = std::int64_t{1} << 26;

/// Writes `area` of an RGB32 image as `format`; the previous file stays whole on failure.
platform::SFileWriteResult writeImage(const QImage& image, const QRect& area, const std::filesystem::path& out,
                                      ImageFormat format, platform::EReplace mode) {
  CBgrImage picture;
  if (!picture.Allocate(area.width(), area.height())) return {false, false, out.string(), "out of memory"};
  picture.CopyFrom(image, area);
  return map_export::WriteMapImageFiles(out, format, picture, std::nullopt, {}, mode);
}

bool parseRect(const std::string& text, QRect& rect) {
  int l = 0, t = 0, r = 0, b = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &l, &t, &r, &b, &tail) != 4) return false;
  if (r <= l || b <= t) return false;
  rect = QRect(QPoint(l, t), QPoint(r - 1, b - 1));
  return true;
}

int runRender(cli::SCliContext& ctx) {
  std::string seriesText = "1", ratioText, rectText, outPath;
  cli::takeOption(ctx.args, "--series", seriesText);
  if (!cli::takeOption(ctx.args, "--ratio", ratioText)) return cli::fail("render: --ratio R is required");
  const bool quality = cli::takeFlag(ctx.args, "--quality");
  const bool haveRect = cli::takeOption(ctx.args, "--rect", rectText);
  if (!cli::takeOption(ctx.args, "-o", outPath)) return cli::fail("render: -o OUT.png|OUT.bmp is required");
  const bool force = cli::takeFlag(ctx.args, "--force");
  const std::filesystem::path out = platform::pathFromUtf8(outPath);
  const std::optional<ImageFormat> format = map_export::FormatOfPath(out);
  if (!format) return cli::fail("render: the output must end in .png or .bmp");
  std::error_code ec;
  if (!force && std::filesystem::exists(out, ec)) return cli::failWrite("render", outPath, true, {});
  const platform::EReplace mode = force ? platform::EReplace::Replace : platform::EReplace::NoReplace;
  if (ctx.args.size() != 1) return cli::fail("render: expected one sheet TIFF");
  if (seriesText != "1" && seriesText != "2") return cli::fail("render: --series must be 1 or 2");
  const int series = seriesText == "2" ? 2 : 1;
  char* end = nullptr;
  const double ratio = std::strtod(ratioText.c_str(), &end);
  if (end == ratioText.c_str() || *end != '\0' || !std::isfinite(ratio) || ratio <= 0.0 || ratio > 64.0)
    return cli::fail("render: --ratio must be a number above 0 and at most 64");

  SheetImage image;
  const SSheetImageStatus status = ReadSheetImage(platform::pathFromUtf8(ctx.args.front()), image);
  if (!status.ok()) return cli::fail("render: cannot read " + ctx.args.front() + ": " + status.detail);

  AppSettings settings;
  settings.setSaveOnDestroy(false);
  settings.Load();
  settings.dispQuality = quality ? 1 : 0;

  CMapCanvas canvas;
  canvas.setRenderSettings(settings.mapRenderSettings());
  canvas.setSheet(&image, series);
  if (canvas.render(ratio).isEmpty()) return cli::fail("render: the sheet cannot be shown at this ratio");
  const QRect whole(QPoint(0, 0), canvas.mapSize());
  QRect area = whole;
  if (haveRect) {
    if (!parseRect(rectText, area)) return cli::fail("render: --rect must be L,T,R,B with L < R and T < B");
    area &= whole;
    if (area.isEmpty()) return cli::fail("render: --rect lies outside the rendered map");
  }
  if (std::int64_t{area.width()} * area.height() > kMaxOutputPixels)
    return cli::fail("render: output too large; choose a part with --rect");

  platform::SFileWriteResult written;
  if (ratio <= 1.0) {
    written = writeImage(canvas.bitmap().Surface(), area, out, *format, mode);
  } else {
    if (!canvas.Recreate(area.width(), area.height())) return cli::fail("render: out of memory");
    QImage target(area.size(), QImage::Format_RGB32);
    {
      QPainter painter(&target);
      canvas.PaintMap(painter, area, area.topLeft());
    }
    written = writeImage(target, target.rect(), out, *format, mode);
  }
  if (!written) return cli::failWrite("render", outPath, written.targetExists, written.reason);
  // The area written, in pixels of the rendered map: a --rect reaching past the map is cut to it.
  std::printf("{\"width\": %d, \"height\": %d, \"scaledWidth\": %d, \"scaledHeight\": %d, \"area\": [%d, %d, %d, %d]}\n",
              area.width(), area.height(), canvas.bitmap().Size().width(), canvas.bitmap().Size().height(),
              area.left(), area.top(), area.left() + area.width(), area.top() + area.height());
  return 0;
}

const cli::CCliRegistration kRender(
    "render", "render SHEET_TIF --series 1|2 --ratio R [--quality] [--rect L,T,R,B] -o OUT.png|OUT.bmp [--force]", runRender);

}  // namespace
