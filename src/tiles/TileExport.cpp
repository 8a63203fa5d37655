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
  if (options.format == EFormat::Mbtiles) {
    if (options.minZoom < 0 || options.maxZoom > kMaxZoom || options.minZoom > options.maxZoom) {
      plan.error = "ズームレベルは 0 から 20 の範囲で指定して下さい。";
      return plan;
    }
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
  bool opened = kmz ? zip.Open(temporary) : db.Open(temporary);
  auto cleanUp = [&] {
    db.Abort();
    std::filesystem::remove(temporary, ec);
  };
  if (!opened) {
    result.error = kmz ? zip.error() : db.error();
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
      ok = db.AddTile(t.zoom, t.x, t.y, bytes);
      if (ok) ++result.perZoom[static_cast<std::size_t>(t.zoom - options.minZoom)];
    }
    if (!ok) {
      result.error = kmz ? zip.error() : db.error();
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
      o->Build(options.overlays, plan.box, kmz ? plan.imageGrid : MercatorGrid(zoom));
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
    pool.start([raw, &t, &source, overlay, noData, imageFormat, quality, kmz]() {
      // Each thread draws every picture into the one it drew before.
      thread_local QImage spare;
      SGroundPicture picture = RenderGround(source, t.box, t.width, t.height, !kmz, noData, std::move(spare));
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
