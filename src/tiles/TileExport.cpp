#include "tiles/TileExport.h"

#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <future>
#include <map>
#include <optional>
#include <mutex>
#include <thread>

#include "display/MapColourScheme.h"
#include "geodesy/DatumConverter.h"
#include "mosaic/MosaicRenderer.h"
#include "mosaic/PlaneRender.h"
#include "tiles/TileEncode.h"
#include "tiles/TileWriters.h"
#include "trek/CTrackLog.h"

namespace tiles {
namespace {

constexpr double kPi = 3.14159265358979323846;

double metresPerDegreeLat(double lat) { return 111132.954 - 559.822 * std::cos(2 * lat * kPi / 180.0); }
double metresPerDegreeLon(double lat) {
  return 111412.84 * std::cos(lat * kPi / 180.0) - 93.5 * std::cos(3 * lat * kPi / 180.0);
}

/// Metres from (lat, lon) to the nearest point of the track, on a plane tangent at (lat, lon).
double distanceToTrack(double lat, double lon, const std::vector<std::pair<double, double>>& track) {
  const double kx = metresPerDegreeLon(lat);
  const double ky = metresPerDegreeLat(lat);
  double best = 1e300;
  for (std::size_t i = 0; i < track.size(); ++i) {
    const double ax = (track[i].second - lon) * kx, ay = (track[i].first - lat) * ky;
    if (i + 1 == track.size()) {
      best = std::min(best, std::hypot(ax, ay));
      break;
    }
    const double bx = (track[i + 1].second - lon) * kx, by = (track[i + 1].first - lat) * ky;
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(-(ax * dx + ay * dy) / len2, 0.0, 1.0) : 0.0;
    best = std::min(best, std::hypot(ax + t * dx, ay + t * dy));
  }
  return best;
}

bool inArea(const SGeoBox& tile, const SExportArea& area) {
  if (area.track.empty()) return true;
  const double lat = (tile.north + tile.south) / 2;
  const double lon = (tile.east + tile.west) / 2;
  const double halfDiagonal = std::hypot((tile.east - tile.west) * metresPerDegreeLon(lat),
                                         (tile.north - tile.south) * metresPerDegreeLat(lat)) / 2;
  return distanceToTrack(lat, lon, area.track) <= area.corridorKm * 500.0 + halfDiagonal;
}

bool hasSheets(const mosaic::CMapCollection& collection, MapSeries series, const SGeoBox& box) {
  return !collection.SheetsIn(series, TokyoBoxOf(box)).empty();
}

std::string number(double v, int decimals = 7) {
  char s[64];
  std::snprintf(s, sizeof s, "%.*f", decimals, v);
  return s;
}

std::string xmlEscaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string attribution(MapSeries series) {
  return series == MapSeries::Scale50000 ? "数値地図 50000 (地図画像)" : "数値地図 25000 (地図画像)";
}

// The Tokyo datum as this program shifts it to WGS-84: Bessel 1841 moved by a geocentric
// translation.
SGpkgSystem TokyoSystem() {
  char towgs[160];
  std::snprintf(towgs, sizeof towgs, "SPHEROID[\"Bessel 1841\",%.10g,%.10g],TOWGS84[%.10g,%.10g,%.10g,0,0,0,0]",
                geodesy::kBesselSemiMajorM, 1.0 / geodesy::kBesselFlattening, geodesy::kTokyoToWgs84ShiftM[0],
                geodesy::kTokyoToWgs84ShiftM[1], geodesy::kTokyoToWgs84ShiftM[2]);
  SGpkgSystem system;
  system.id = 4301;
  system.name = "Tokyo";
  system.definition = std::string("GEOGCS[\"Tokyo\",DATUM[\"Tokyo\",") + towgs +
                      ",AUTHORITY[\"EPSG\",\"6301\"]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433],"
                      "AUTHORITY[\"EPSG\",\"4301\"]]";
  char shift[160];
  std::snprintf(shift, sizeof shift, "%.2f, %.2f, %.2f m", geodesy::kTokyoToWgs84ShiftM[0], geodesy::kTokyoToWgs84ShiftM[1],
                geodesy::kTokyoToWgs84ShiftM[2]);
  system.description = std::string("Japanese geodetic datum (Tokyo) in degrees; to WGS 84 by the geocentric translation ") +
                       shift + " on the Bessel 1841 ellipsoid, as Vantoria shifts its positions";
  return system;
}

}  // namespace

SExportArea CorridorArea(const CTrackLog& log, double corridorKm) {
  SExportArea a;
  a.corridorKm = corridorKm;
  bool first = true;
  for (const CTrackPoint& p : log.Points()) {
    const double lat = p.latitude.ToDegrees();
    const double lon = p.longitude.ToDegrees();
    if (!std::isfinite(lat) || !std::isfinite(lon)) continue;
    a.track.emplace_back(lat, lon);
    if (first) a.box = {lat, lon, lat, lon}, first = false;
    a.box.south = std::min(a.box.south, lat), a.box.north = std::max(a.box.north, lat);
    a.box.west = std::min(a.box.west, lon), a.box.east = std::max(a.box.east, lon);
  }
  if (first) return a;
  const double lat = (a.box.north + a.box.south) / 2;
  const double m = corridorKm * 500.0;
  a.box.south -= m / metresPerDegreeLat(lat), a.box.north += m / metresPerDegreeLat(lat);
  a.box.west -= m / metresPerDegreeLon(lat), a.box.east += m / metresPerDegreeLon(lat);
  return a;
}

SGeoBox WgsBoxOf(const mosaic::SFrameSeconds& tokyo) {
  SGeoBox b;
  bool first = true;
  for (double lat : {tokyo.south, tokyo.north})
    for (double lon : {tokyo.west, tokyo.east}) {
      const SDatumShiftResult w =
          DatumConverter::TokyoToWgs84(DmsAngle::FromTotalSeconds(lat), DmsAngle::FromTotalSeconds(lon), 0);
      const double y = w.latitude.ToDegrees(), x = w.longitude.ToDegrees();
      if (first) b = {y, x, y, x}, first = false;
      b.south = std::min(b.south, y), b.north = std::max(b.north, y);
      b.west = std::min(b.west, x), b.east = std::max(b.east, x);
    }
  return b;
}

SGeoBox CollectionBox(const mosaic::CMapCollection& collection, MapSeries series) {
  const auto& sheets = collection.sheets(series);
  if (sheets.empty()) return {};
  mosaic::SFrameSeconds all = sheets.front().frame;
  for (const auto& s : sheets) {
    all.north = std::max(all.north, s.frame.north), all.south = std::min(all.south, s.frame.south);
    all.west = std::min(all.west, s.frame.west), all.east = std::max(all.east, s.frame.east);
  }
  return WgsBoxOf(all);
}

namespace {

// The plane's own tiles over the area, level by level (see SExportPlan).
SExportPlan planGeoPackage(SExportPlan plan, const SExportArea& area, const mosaic::CMapCollection& collection,
                           MapSeries series, const SExportOptions& options) {
  const mosaic::SMapPlane& plane = collection.plane(series);
  const int native = NativeZoom(series, (area.box.north + area.box.south) / 2);
  const auto ratioOf = [&](int zoom) { return std::ldexp(1.0, zoom - native); };
  const double coarsest = ratioOf(options.minZoom);
  const long long across = std::max<long long>(1, (plane.WidthAt(coarsest) + kTileSize - 1) / kTileSize);
  const long long down = std::max<long long>(1, (plane.HeightAt(coarsest) + kTileSize - 1) / kTileSize);
  const double west = plane.west / 3600.0, north = plane.north / 3600.0;
  plan.gpkgMatrixSet[0] = west;
  plan.gpkgMatrixSet[1] = north - static_cast<double>(down * kTileSize) * plane.latStep / coarsest / 3600.0;
  plan.gpkgMatrixSet[2] = west + static_cast<double>(across * kTileSize) * plane.lonStep / coarsest / 3600.0;
  plan.gpkgMatrixSet[3] = north;
  const mosaic::SFrameSeconds tokyo = TokyoBoxOf(area.box);
  plan.gpkgBounds[0] = std::max(tokyo.west / 3600.0, plan.gpkgMatrixSet[0]);
  plan.gpkgBounds[1] = std::max(tokyo.south / 3600.0, plan.gpkgMatrixSet[1]);
  plan.gpkgBounds[2] = std::min(tokyo.east / 3600.0, plan.gpkgMatrixSet[2]);
  plan.gpkgBounds[3] = std::min(tokyo.north / 3600.0, plan.gpkgMatrixSet[3]);
  // The columns and rows of each level meeting the area, counted before any is listed.
  struct SRange {
    long long c0, c1, r0, r1;
  };
  std::vector<SRange> ranges;
  long long total = 0;
  for (int z = options.minZoom; z <= options.maxZoom; ++z) {
    const double ratio = ratioOf(z);
    const long long width = across << (z - options.minZoom), height = down << (z - options.minZoom);
    plan.gpkgRatios.push_back(ratio);
    plan.gpkgLevels.push_back({z, width, height, plane.lonStep / ratio / 3600.0, plane.latStep / ratio / 3600.0});
    const auto cell = [](double pixel, long long cells) {
      return std::clamp<long long>(static_cast<long long>(std::floor(pixel / kTileSize)), 0, cells - 1);
    };
    const SRange r{cell(plane.ColumnOf(tokyo.west, ratio), width), cell(plane.ColumnOf(tokyo.east, ratio), width),
                   cell(plane.RowOf(tokyo.north, ratio), height), cell(plane.RowOf(tokyo.south, ratio), height)};
    ranges.push_back(r);
    total += (r.c1 - r.c0 + 1) * (r.r1 - r.r0 + 1);
    if (total > kMaxTiles) {
      plan.error = "タイルが多すぎます (" + std::to_string(total) + " 枚以上)。範囲かズームレベルを狭めて下さい。";
      return plan;
    }
  }
  for (std::size_t level = 0; level < ranges.size(); ++level) {
    const SRange& r = ranges[level];
    const int z = options.minZoom + static_cast<int>(level);
    const double ratio = plan.gpkgRatios[level];
    long long n = 0;
    for (long long row = r.r0; row <= r.r1; ++row)
      for (long long col = r.c0; col <= r.c1; ++col) {
        const double left = static_cast<double>(col * kTileSize), top = static_cast<double>(row * kTileSize);
        const mosaic::SFrameSeconds cellBox{plane.LatitudeAt(top, ratio), plane.LatitudeAt(top + kTileSize, ratio),
                                            plane.LongitudeAt(left, ratio), plane.LongitudeAt(left + kTileSize, ratio)};
        const SGeoBox b = WgsBoxOf(cellBox);
        if (!inArea(b, area) || collection.SheetsIn(series, cellBox).empty()) continue;
        plan.tiles.push_back({z, static_cast<int>(col), static_cast<int>(row), b, kTileSize, kTileSize,
                              static_cast<int>(col * kTileSize), static_cast<int>(row * kTileSize)});
        ++n;
      }
    plan.perZoom.push_back(n);
  }
  if (plan.tiles.empty()) plan.error = "書き出す範囲に地形図がありません。";
  return plan;
}

}  // namespace

SExportPlan PlanExport(const SExportArea& area, const mosaic::CMapCollection& collection, MapSeries series,
                       const SExportOptions& options) {
  SExportPlan plan;
  plan.box = area.box;
  if (!area.box.valid()) {
    plan.error = "書き出す範囲がありません。";
    return plan;
  }
  if (collection.sheets(series).empty()) {
    plan.error = "書き出す地形図がありません。";
    return plan;
  }
  if (options.format != EFormat::Kmz &&
      (options.minZoom < 0 || options.maxZoom > kMaxZoom || options.minZoom > options.maxZoom)) {
    plan.error = "ズームレベルは 0 から 20 の範囲で指定して下さい。";
    return plan;
  }
  if (options.format == EFormat::GeoPackage) return planGeoPackage(std::move(plan), area, collection, series, options);
  if (options.format == EFormat::Mbtiles) {
    long long total = 0;
    for (int z = options.minZoom; z <= options.maxZoom; ++z) total += TilesMeeting(area.box, z).count();
    if (total > kMaxTiles) {
      plan.error = "タイルが多すぎます (" + std::to_string(total) + " 枚)。範囲かズームレベルを狭めて下さい。";
      return plan;
    }
    for (int z = options.minZoom; z <= options.maxZoom; ++z) {
      const STileRange r = TilesMeeting(area.box, z);
      long long n = 0;
      for (int y = r.y0; y <= r.y1; ++y)
        for (int x = r.x0; x <= r.x1; ++x) {
          const SGeoBox b = TileBox(z, x, y);
          if (!inArea(b, area) || !hasSheets(collection, series, b)) continue;
          plan.tiles.push_back({z, x, y, b, kTileSize, kTileSize, x * kTileSize, y * kTileSize});
          ++n;
        }
      plan.perZoom.push_back(n);
    }
    if (plan.tiles.empty()) plan.error = "書き出す範囲に地形図がありません。";
    return plan;
  }

  // Custom map: images of at most 1,024 pixels a side on a grid of equal degree steps.
  const double lat = (area.box.north + area.box.south) / 2;
  double metres = options.kmzPixelMetres > 0 ? options.kmzPixelMetres : mosaic::NominalPixelMetres(series);
  const auto grid = [&](double m, long long& across, long long& down, long long& w, long long& h) {
    w = std::max(1LL, static_cast<long long>(std::ceil((area.box.east - area.box.west) * metresPerDegreeLon(lat) / m)));
    h = std::max(1LL, static_cast<long long>(std::ceil((area.box.north - area.box.south) * metresPerDegreeLat(lat) / m)));
    across = (w + kKmzImageMax - 1) / kKmzImageMax;
    down = (h + kKmzImageMax - 1) / kKmzImageMax;
  };
  long long across = 0, down = 0, w = 0, h = 0;
  grid(metres, across, down, w, h);
  if (across * down > static_cast<long long>(std::max<std::size_t>(options.maxImages, 1))) {
    plan.tooManyImages = true;
    double fit = metres;
    long long a = across, d = down, fw = 0, fh = 0;
    for (int i = 0; i < 200 && a * d > static_cast<long long>(options.maxImages); ++i) {
      fit *= 1.05;
      grid(fit, a, d, fw, fh);
    }
    plan.fittingPixelMetres = std::ceil(fit * 10) / 10;
  }
  if (across * down > kMaxTiles) {
    plan.error = "画像が多すぎます。範囲を狭めるか解像度を下げて下さい。";
    return plan;
  }
  plan.kmzPixelMetres = metres;
  const double lonStep = (area.box.east - area.box.west) / static_cast<double>(w);
  const double latStep = (area.box.north - area.box.south) / static_cast<double>(h);
  plan.imageGrid.mercator = false;
  plan.imageGrid.west = area.box.west;
  plan.imageGrid.north = area.box.north;
  plan.imageGrid.lonStep = lonStep;
  plan.imageGrid.latStep = latStep;
  for (long long j = 0; j < down; ++j)
    for (long long i = 0; i < across; ++i) {
      SPlannedTile t;
      t.x = static_cast<int>(i);
      t.y = static_cast<int>(j);
      const long long c0 = i * kKmzImageMax, c1 = std::min(w, c0 + kKmzImageMax);
      const long long r0 = j * kKmzImageMax, r1 = std::min(h, r0 + kKmzImageMax);
      t.width = static_cast<int>(c1 - c0);
      t.height = static_cast<int>(r1 - r0);
      t.left = static_cast<int>(c0);
      t.top = static_cast<int>(r0);
      // Neighbours share their edges exactly: each edge is computed from the same integer.
      t.box = {area.box.north - r1 * latStep, area.box.west + c0 * lonStep, area.box.north - r0 * latStep,
               area.box.west + c1 * lonStep};
      if (j == down - 1) t.box.south = area.box.south;
      if (i == across - 1) t.box.east = area.box.east;
      if (!inArea(t.box, area) || !hasSheets(collection, series, t.box)) continue;
      plan.tiles.push_back(t);
    }
  if (plan.tiles.empty()) plan.error = "書き出す範囲に地形図がありません。";
  return plan;
}

std::string TooManyImagesMessage(const SExportPlan& plan, std::size_t maxImages) {
  long long n = 0;
  if (!plan.tiles.empty()) n = static_cast<long long>(plan.tiles.size());
  return "この範囲は " + std::to_string(n) + " 枚の画像になり、機器が表示できる " + std::to_string(maxImages) +
         " 枚を超えます。解像度を 1 ピクセル " + number(plan.fittingPixelMetres, 1) + " m 以上にすると収まります。";
}

std::string KmlDocument(const std::string& name, const std::vector<SPlannedTile>& images) {
  std::string k = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n";
  k += "  <name>" + xmlEscaped(name) + "</name>\n";
  for (std::size_t i = 0; i < images.size(); ++i) {
    const SPlannedTile& t = images[i];
    const std::string n = std::to_string(i + 1);
    k += "  <GroundOverlay>\n    <name>" + n + "</name>\n    <drawOrder>50</drawOrder>\n    <Icon><href>files/" + n +
         ".jpg</href></Icon>\n    <LatLonBox><north>" + number(t.box.north, 9) + "</north><south>" + number(t.box.south, 9) +
         "</south><east>" + number(t.box.east, 9) + "</east><west>" + number(t.box.west, 9) +
         "</west></LatLonBox>\n  </GroundOverlay>\n";
  }
  k += "</Document>\n</kml>\n";
  return k;
}

SExportResult RunExport(const SExportPlan& plan, const mosaic::CMapCollection& collection, MapSeries series,
                        const SMapRenderSettings& render, const SExportOptions& options,
                        const std::filesystem::path& out, bool replace, const std::function<bool(double)>& progress) {
  SExportResult result;
  if (!plan.error.empty()) {
    result.error = plan.error;
    return result;
  }
  std::error_code ec;
  if (!replace && std::filesystem::exists(out, ec)) {
    result.error = "exists";
    return result;
  }
  const bool kmz = options.format == EFormat::Kmz;
  const bool gpkg = options.format == EFormat::GeoPackage;
  if (gpkg && plan.gpkgRatios.size() != static_cast<std::size_t>(options.maxZoom - options.minZoom + 1)) {
    result.error = "書き出しの計画がズームレベルと合いません。";
    return result;
  }
  const EImageFormat imageFormat = kmz ? EImageFormat::Jpeg : options.image;
  const std::uint32_t noData = imageFormat == EImageFormat::Png ? 0x00000000u : mosaic::kEmptyColour;

  mosaic::CMosaicRenderer renderer;
  SMapRenderSettings settings = render;
  settings.dispQuality = 1;
  renderer.setRenderSettings(settings);
  renderer.setSeries(collection.sheets(series), collection.plane(series));
  const SGroundSource source{&renderer, collection.plane(series)};

  const std::filesystem::path temporary = TemporaryBeside(out);
  CMbtilesWriter db;
  CZipWriter zip;
  CGeoPackageWriter geo;
  bool opened = kmz ? zip.Open(temporary) : gpkg ? geo.Open(temporary) : db.Open(temporary);
  if (opened && gpkg) {
    opened = geo.Describe(TokyoSystem(), options.name, attribution(series), plan.gpkgBounds, plan.gpkgMatrixSet);
    for (const SGpkgLevel& level : plan.gpkgLevels) opened = opened && geo.AddLevel(level);
  }
  const auto writerError = [&]() -> const std::string& { return kmz ? zip.error() : gpkg ? geo.error() : db.error(); };
  auto cleanUp = [&] {
    db.Abort();
    geo.Abort();
    std::filesystem::remove(temporary, ec);
  };
  if (!opened) {
    result.error = writerError();
    cleanUp();
    return result;
  }
  result.perZoom.assign(plan.perZoom.size(), 0);

  // Each tile is rendered, overlaid and encoded on the pool: neighbours share the decoded sheets
  // through the renderer's cache, which reads each sheet once. The file takes them in plan order.
  const int threads = options.threads > 0 ? options.threads : std::max(1, QThread::idealThreadCount());
  QThreadPool pool;
  pool.setMaxThreadCount(threads);
  struct SEncoded {
    std::promise<std::optional<std::string>> promise;  ///< none: no map data on the picture
    std::future<std::optional<std::string>> future;
    const SPlannedTile* tile = nullptr;
  };
  std::deque<std::unique_ptr<SEncoded>> inFlight;
  std::vector<SPlannedTile> writtenImages;
  bool failed = false;
  bool cancelled = false;
  std::size_t done = 0;
  bool first = true;
  auto drainOne = [&]() {
    std::unique_ptr<SEncoded> e = std::move(inFlight.front());
    inFlight.pop_front();
    std::optional<std::string> encoded = e->future.get();
    ++done;
    if (failed) return;
    const SPlannedTile& t = *e->tile;
    if (!encoded) {
      ++result.skipped;
      return;
    }
    const std::string& bytes = *encoded;
    if (bytes.empty()) {
      result.error = "画像を作れませんでした。";
      failed = true;
      return;
    }
    bool ok = false;
    if (kmz) {
      writtenImages.push_back(t);
      ok = zip.Add("files/" + std::to_string(writtenImages.size()) + ".jpg", bytes);
    } else {
      ok = gpkg ? geo.AddTile(t.zoom, t.x, t.y, bytes) : db.AddTile(t.zoom, t.x, t.y, bytes);
      if (ok) ++result.perZoom[static_cast<std::size_t>(t.zoom - options.minZoom)];
    }
    if (!ok) {
      result.error = writerError();
      failed = true;
      return;
    }
    result.bytes += bytes.size();
    ++result.written;
    if (first) result.bounds = t.box, first = false;
    result.bounds.south = std::min(result.bounds.south, t.box.south);
    result.bounds.north = std::max(result.bounds.north, t.box.north);
    result.bounds.west = std::min(result.bounds.west, t.box.west);
    result.bounds.east = std::max(result.bounds.east, t.box.east);
  };

  // The overlays of each pixel grid (a zoom level, or the custom map's degrees), laid out once.
  const bool overlaid = options.overlays.effective() != 0;
  std::map<int, std::unique_ptr<CTileOverlay>> overlays;
  const auto overlayFor = [&](int zoom) -> const CTileOverlay* {
    if (!overlaid) return nullptr;
    auto& o = overlays[kmz ? 0 : zoom];
    if (!o) {
      o = std::make_unique<CTileOverlay>();
      SPixelGrid grid = kmz ? plan.imageGrid : MercatorGrid(zoom);
      if (gpkg) {
        const mosaic::SMapPlane& plane = collection.plane(series);
        const SGpkgLevel& level = plan.gpkgLevels[static_cast<std::size_t>(zoom - options.minZoom)];
        grid = SPixelGrid{};
        grid.mercator = false;
        grid.tokyo = true;
        grid.west = plane.west / 3600.0;
        grid.north = plane.north / 3600.0;
        grid.lonStep = level.pixelX;
        grid.latStep = level.pixelY;
      }
      o->Build(options.overlays, plan.box, grid);
    }
    return o->empty() ? nullptr : o.get();
  };
  const auto report = [&] {
    return !progress ||
           progress(static_cast<double>(done) / static_cast<double>(std::max<std::size_t>(plan.tiles.size(), 1)));
  };

  const int quality = options.jpegQuality;
  for (const SPlannedTile& t : plan.tiles) {
    if (failed) break;
    auto e = std::make_unique<SEncoded>();
    e->future = e->promise.get_future();
    e->tile = &t;
    SEncoded* raw = e.get();
    const CTileOverlay* overlay = overlayFor(t.zoom);
    const double planeRatio = gpkg ? plan.gpkgRatios[static_cast<std::size_t>(t.zoom - options.minZoom)] : 0.0;
    pool.start([raw, &t, &source, overlay, noData, imageFormat, quality, kmz, gpkg, planeRatio]() {
      // Each thread draws every picture into the one it drew before.
      thread_local QImage spare;
      SGroundPicture picture =
          gpkg ? RenderPlanePicture(source, QRect(t.left, t.top, t.width, t.height), planeRatio, noData, std::move(spare))
               : RenderGround(source, t.box, t.width, t.height, !kmz, noData, std::move(spare));
      if (!picture.hasData) {
        spare = std::move(picture.image);
        raw->promise.set_value(std::nullopt);
        return;
      }
      // A tile without empty pixels is written opaque: a smaller and quicker PNG.
      if (picture.complete && picture.image.hasAlphaChannel()) (void)picture.image.reinterpretAsFormat(QImage::Format_RGB32);
      if (overlay) overlay->Paint(picture.image, QPoint(t.left, t.top));
      std::string bytes = EncodeTile(picture.image, imageFormat, quality);
      // A custom-map image stays under the units' size limit.
      for (int q = quality - 10; kmz && bytes.size() > kKmzImageBytesMax && q >= 30; q -= 10)
        bytes = EncodeTile(picture.image, imageFormat, q);
      spare = std::move(picture.image);
      raw->promise.set_value(std::move(bytes));
    });
    inFlight.push_back(std::move(e));
    while (static_cast<int>(inFlight.size()) > threads * 4) {
      drainOne();
      if (!report()) cancelled = true;
    }
    if (cancelled) break;
  }
  while (!inFlight.empty()) drainOne();
  pool.waitForDone();
  if (!cancelled && !failed && !report()) cancelled = true;

  if (cancelled || failed) {
    result.cancelled = cancelled;
    cleanUp();
    return result;
  }
  bool finished = false;
  if (kmz) {
    finished = zip.Add("doc.kml", KmlDocument(options.name, writtenImages)) && zip.Finish();
    if (!finished) result.error = zip.error();
  } else if (gpkg) {
    finished = geo.Finish();
    if (!finished) result.error = geo.error();
  } else {
    const bool png = imageFormat == EImageFormat::Png;
    db.SetMetadata("name", options.name);
    db.SetMetadata("format", png ? "png" : "jpg");
    db.SetMetadata("type", "baselayer");
    db.SetMetadata("version", "1");
    db.SetMetadata("description", options.name);
    db.SetMetadata("attribution", attribution(series));
    db.SetMetadata("minzoom", std::to_string(options.minZoom));
    db.SetMetadata("maxzoom", std::to_string(options.maxZoom));
    const SGeoBox& b = first ? plan.tiles.empty() ? SGeoBox{} : plan.tiles.front().box : result.bounds;
    db.SetMetadata("bounds", number(b.west) + "," + number(b.south) + "," + number(b.east) + "," + number(b.north));
    db.SetMetadata("center", number((b.west + b.east) / 2) + "," + number((b.south + b.north) / 2) + "," +
                                 std::to_string(options.maxZoom));
    result.storedImages = db.images();
    finished = db.Finish();
    if (!finished) result.error = db.error();
  }
  if (!finished) {
    cleanUp();
    return result;
  }
  std::string reason;
  if (!PublishFile(temporary, out, replace, reason)) {
    result.error = reason;
    std::filesystem::remove(temporary, ec);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace tiles
