// vantoria-cli render: a sheet recoloured and scaled as the map view shows it, written as PNG.
#include <png.h>

#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "app/AppSettings.h"
#include "display/CMapCanvas.h"
#include "maps/SheetImage.h"
#include "platform/FileLookup.h"

namespace {

constexpr std::int64_t kMaxOutputPixels = std::int64_t{1} << 26;

struct SPngSink {
  QSaveFile* file = nullptr;
  bool failed = false;
};

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<SPngSink*>(png_get_io_ptr(png));
  if (sink->file->write(reinterpret_cast<const char*>(data), static_cast<qint64>(length)) != static_cast<qint64>(length)) {
    sink->failed = true;
    png_error(png, "write failed");
  }
}
void pngFlush(png_structp) {}
void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}

// Only plain data lives in this frame: libpng leaves it with longjmp on errors.
bool writePngRows(SPngSink* sink, int width, int height, png_bytep* rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, pngWrite, pngFlush);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

/// Writes `area` of an RGB32 image as an 8-bit RGB PNG; the previous file stays whole on failure.
bool writePng(const QImage& image, const QRect& area, const std::string& path) {
  const int w = area.width();
  const int h = area.height();
  std::vector<png_byte> pixels(static_cast<std::size_t>(w) * 3 * static_cast<std::size_t>(h));
  std::vector<png_bytep> rows(static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    png_bytep out = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 3;
    rows[static_cast<std::size_t>(y)] = out;
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(area.top() + y)) + area.left();
    for (int x = 0; x < w; ++x) {
      *out++ = static_cast<png_byte>(qRed(in[x]));
      *out++ = static_cast<png_byte>(qGreen(in[x]));
      *out++ = static_cast<png_byte>(qBlue(in[x]));
    }
  }
  QSaveFile file(QString::fromUtf8(path.c_str()));
  if (!file.open(QIODevice::WriteOnly)) return false;
  SPngSink sink{&file, false};
  if (!writePngRows(&sink, w, h, rows.data()) || sink.failed) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
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
  if (!cli::takeOption(ctx.args, "-o", outPath)) return cli::fail("render: -o OUT.png is required");
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
  canvas.setSettings(&settings);
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

  bool written = false;
  if (ratio <= 1.0) {
    written = writePng(canvas.bitmap().Surface(), area, outPath);
  } else {
    if (!canvas.Recreate(area.width(), area.height())) return cli::fail("render: out of memory");
    QImage target(area.size(), QImage::Format_RGB32);
    {
      QPainter painter(&target);
      canvas.PaintMap(painter, area, area.topLeft());
    }
    written = writePng(target, target.rect(), outPath);
  }
  if (!written) return cli::fail("render: cannot write " + outPath);
  std::printf("{\"width\": %d, \"height\": %d, \"scaledWidth\": %d, \"scaledHeight\": %d}\n", area.width(),
              area.height(), canvas.bitmap().Size().width(), canvas.bitmap().Size().height());
  return 0;
}

const cli::CCliRegistration kRender(
    "render", "render SHEET_TIF --series 1|2 --ratio R [--quality] [--rect L,T,R,B] -o OUT.png", runRender);

}  // namespace
