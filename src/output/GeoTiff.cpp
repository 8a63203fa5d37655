#include "output/GeoTiff.h"

#include <geo_normalize.h>
#include <geotiff.h>
#include <geotiffio.h>
#include <geovalues.h>
#include <tiffio.h>
#include <xtiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

#include "geodesy/DatumConverter.h"
#include "output/CBgrImage.h"
#include "platform/FileLookup.h"

namespace geotiff_export {

namespace {

std::string number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

struct STiffCloser {
  void operator()(TIFF* t) const { XTIFFClose(t); }
};
struct SGtifCloser {
  void operator()(GTIF* g) const { GTIFFree(g); }
};

platform::SFileWriteResult failure(const std::filesystem::path& path, std::string reason) {
  platform::SFileWriteResult r;
  r.path = platform::pathToUtf8(path);
  r.reason = std::move(reason);
  return r;
}

std::filesystem::path temporaryBeside(const std::filesystem::path& target) {
  std::random_device rd;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", rd());
  std::filesystem::path p = target;
  p += ".part-";
  p += suffix;
  return p;
}

// libtiff reports through global handlers: the writer keeps the first message of its run.
thread_local std::string* t_messages = nullptr;
void collect(const char* module, const char* fmt, va_list ap) {
  if (!t_messages || !t_messages->empty()) return;
  char buf[512];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  *t_messages = std::string(module ? module : "tiff") + ": " + buf;
}
struct SMessageScope {
  explicit SMessageScope(std::string& into) : previous(TIFFSetErrorHandler(collect)), warnings(TIFFSetWarningHandler(nullptr)) {
    t_messages = &into;
  }
  ~SMessageScope() {
    t_messages = nullptr;
    TIFFSetErrorHandler(previous);
    TIFFSetWarningHandler(warnings);
  }
  SMessageScope(const SMessageScope&) = delete;
  SMessageScope& operator=(const SMessageScope&) = delete;
  TIFFErrorHandler previous;
  TIFFErrorHandler warnings;
};

bool writeFile(const std::filesystem::path& path, const CBgrImage& image, const SWorldFile& world, std::string& why) {
  std::unique_ptr<TIFF, STiffCloser> tif(XTIFFOpen(path.string().c_str(), "w"));
  if (!tif) return false;
  TIFF* t = tif.get();
  const std::uint32_t width = static_cast<std::uint32_t>(image.width());
  const std::uint32_t height = static_cast<std::uint32_t>(image.height());
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  // Strips of about 256 KiB: few enough for a quick directory, small enough to read in parts.
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::max<std::uint32_t>(1, (std::uint32_t{1} << 18) / (width * 3)));
  TIFFSetField(t, TIFFTAG_SOFTWARE, "Vantoria");

  // Pixel is area: the tie point is the outer north-west corner of the top-left pixel.
  const double scale[3] = {world.pixelWidth, -world.pixelHeight, 0.0};
  const double tie[6] = {0.0, 0.0, 0.0, world.centreX - world.pixelWidth / 2, world.centreY - world.pixelHeight / 2, 0.0};
  TIFFSetField(t, TIFFTAG_GEOPIXELSCALE, 3, scale);
  TIFFSetField(t, TIFFTAG_GEOTIEPOINTS, 6, tie);
  {
    std::unique_ptr<GTIF, SGtifCloser> gtif(GTIFNew(t));
    if (!gtif) {
      why = "the GeoTIFF keys cannot be set up";
      return false;
    }
    GTIF* g = gtif.get();
    GTIFKeySet(g, GTModelTypeGeoKey, TYPE_SHORT, 1, ModelTypeGeographic);
    GTIFKeySet(g, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
    GTIFKeySet(g, GTCitationGeoKey, TYPE_ASCII, 0, "Vantoria map image, Tokyo datum geographic");
    GTIFKeySet(g, GeographicTypeGeoKey, TYPE_SHORT, 1, kTokyoGeographic);
    GTIFKeySet(g, GeogCitationGeoKey, TYPE_ASCII, 0, GeographicCitation().c_str());
    GTIFKeySet(g, GeogAngularUnitsGeoKey, TYPE_SHORT, 1, Angular_Degree);
    if (!GTIFWriteKeys(g)) {
      why = "the GeoTIFF keys cannot be written";
      return false;
    }
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* bgr = image.scanLine(static_cast<int>(y));
    for (std::uint32_t x = 0; x < width; ++x) {
      row[3 * x] = bgr[3 * x + 2];
      row[3 * x + 1] = bgr[3 * x + 1];
      row[3 * x + 2] = bgr[3 * x];
    }
    if (TIFFWriteScanline(t, row.data(), y, 0) < 0) return false;
  }
  // The directory is written here: a full disk shows now rather than in the close.
  if (!TIFFWriteDirectory(t)) return false;
  return true;
}

}  // namespace

std::string GeographicCitation() {
  const double* s = geodesy::kTokyoToWgs84ShiftM;
  return "Tokyo datum, Bessel 1841 (a = " + number(geodesy::kBesselSemiMajorM) +
         " m, 1/f = " + number(1.0 / geodesy::kBesselFlattening) + "), TOWGS84[" + number(s[0]) + "," + number(s[1]) +
         "," + number(s[2]) + ",0,0,0,0]";
}

platform::SFileWriteResult WriteGeoTiff(const std::filesystem::path& path, const CBgrImage& image,
                                        const SWorldFile& world, platform::EReplace mode) {
  if (image.isNull()) return failure(path, "no picture");
  std::error_code ec;
  if (mode == platform::EReplace::NoReplace && std::filesystem::exists(path, ec)) {
    platform::SFileWriteResult r = failure(path, "the file exists");
    r.targetExists = true;
    return r;
  }
  platform::PrepareFileWrites();
  const std::filesystem::path part = temporaryBeside(path);
  std::string why;
  bool written = false;
  {
    SMessageScope scope(why);
    written = writeFile(part, image, world, why);
  }
  // Closed now: the size on the disk tells whether every strip reached it.
  if (written && std::filesystem::file_size(part, ec) == 0) written = false;
  if (!written) {
    std::filesystem::remove(part, ec);
    return failure(path, why.empty() ? "the TIFF could not be written" : why);
  }
  if (mode == platform::EReplace::NoReplace && std::filesystem::exists(path, ec)) {
    std::filesystem::remove(part, ec);
    platform::SFileWriteResult r = failure(path, "the file exists");
    r.targetExists = true;
    return r;
  }
  std::filesystem::rename(part, path, ec);
  if (ec) {
    std::filesystem::remove(part, ec);
    return failure(path, ec.message());
  }
  platform::SFileWriteResult ok;
  ok.ok = true;
  ok.path = platform::pathToUtf8(path);
  return ok;
}

SGeoTiffInfo ReadGeoTiffInfo(const std::filesystem::path& path) {
  SGeoTiffInfo info;
  std::string why;
  SMessageScope scope(why);
  std::unique_ptr<TIFF, STiffCloser> tif(XTIFFOpen(path.string().c_str(), "r"));
  if (!tif) {
    info.error = why.empty() ? "cannot open" : why;
    return info;
  }
  std::uint32_t w = 0, h = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
  info.width = static_cast<int>(w);
  info.height = static_cast<int>(h);
  std::unique_ptr<GTIF, SGtifCloser> gtif(GTIFNew(tif.get()));
  if (!gtif) {
    info.error = "no GeoTIFF keys";
    return info;
  }
  unsigned short v = 0;
  if (GTIFKeyGetSHORT(gtif.get(), GTModelTypeGeoKey, &v, 0, 1) == 1) info.modelType = v;
  if (GTIFKeyGetSHORT(gtif.get(), GTRasterTypeGeoKey, &v, 0, 1) == 1) info.rasterType = v;
  if (GTIFKeyGetSHORT(gtif.get(), GeographicTypeGeoKey, &v, 0, 1) == 1) info.geographicType = v;
  char citation[1024] = {};
  if (GTIFKeyGetASCII(gtif.get(), GeogCitationGeoKey, citation, sizeof citation) > 0) info.citation = citation;
  double x0 = 0, y0 = 0, x1 = w, y1 = h;
  if (!GTIFImageToPCS(gtif.get(), &x0, &y0) || !GTIFImageToPCS(gtif.get(), &x1, &y1)) {
    info.error = "no georeference";
    return info;
  }
  info.west = x0;
  info.north = y0;
  info.east = x1;
  info.south = y1;
  info.ok = true;
  return info;
}

}  // namespace geotiff_export
