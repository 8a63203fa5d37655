// Maps for phones, GPS units and GIS programs: the Web Mercator arithmetic against formulas
// written again here, MBTiles read back with SQLite (metadata, TMS rows, identical tiles stored
// once, empty tiles left out, a waypoint's ground on the right pixel), KMZ read back (doc.kml,
// baseline JPEGs within the limits, boxes meeting without gaps, the image limit), the GeoPackage
// read back (its tables, levels spanning the matrix set, ground on the plane's own pixels, and
// another make's reader), cancel and failure leaving nothing, and the CLI.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "common/TestUtil.h"
#include "display/MapColourScheme.h"
#include "geodesy/DatumConverter.h"
#include "mosaic/MapCollection.h"
#include "mosaic/MosaicRenderer.h"
#include "tiles/TileExport.h"
#include "tiles/TileRender.h"
#include "tiles/TileWriters.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;

/// The tile of a position, from the usual slippy-map formulas.
std::pair<int, int> tileOf(double lat, double lon, int z) {
  const double n = std::pow(2.0, z);
  const double latRad = lat * kPi / 180.0;
  return {static_cast<int>(std::floor((lon + 180.0) / 360.0 * n)),
          static_cast<int>(std::floor((1.0 - std::asinh(std::tan(latRad)) / kPi) / 2.0 * n))};
}

mosaic::CMapCollection& sampleCollection() {
  static mosaic::CMapCollection c = [] {
    mosaic::CMapCollection col;
    col.AddTree(testutil::sampleCollectionDir());
    return col;
  }();
  return c;
}

struct SDb {
  sqlite3* db = nullptr;
  explicit SDb(const fs::path& p) { EXPECT_EQ(sqlite3_open_v2(p.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK); }
  ~SDb() { sqlite3_close(db); }
  std::vector<std::vector<std::string>> rows(const std::string& sql) const {
    std::vector<std::vector<std::string>> out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const void* b = sqlite3_column_blob(st, i);
        row.emplace_back(static_cast<const char*>(b), static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
      }
      out.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return out;
  }
};

/// The entries of a stored zip (the writer's own layout), by name.
std::map<std::string, std::string> unzip(const std::string& zip) {
  std::map<std::string, std::string> out;
  std::size_t pos = 0;
  const auto u16 = [&](std::size_t p) { return static_cast<unsigned char>(zip[p]) | static_cast<unsigned char>(zip[p + 1]) << 8; };
  const auto u32 = [&](std::size_t p) { return static_cast<std::uint32_t>(u16(p)) | static_cast<std::uint32_t>(u16(p + 2)) << 16; };
  while (pos + 30 <= zip.size() && u32(pos) == 0x04034b50u) {
    const std::uint32_t size = u32(pos + 18);
    const std::size_t nameLen = u16(pos + 26), extra = u16(pos + 28);
    const std::string name = zip.substr(pos + 30, nameLen);
    out[name] = zip.substr(pos + 30 + nameLen + extra, size);
    pos += 30 + nameLen + extra + size;
  }
  return out;
}

tiles::SGeoBox sampleBox() { return tiles::CollectionBox(sampleCollection(), MapSeries::Scale25000); }

}  // namespace

TEST(WebMercator, TilesAgreeWithTheUsualFormulas) {
  const struct {
    double lat, lon;
    int z;
  } points[] = {{35.3606, 138.7274, 15}, {35.0, 139.0, 10}, {45.5, 141.9, 14}, {24.3, 123.8, 12}, {-33.86, 151.2, 8},
                {0.1, 0.1, 1}};
  for (const auto& p : points) {
    const auto [x, y] = tileOf(p.lat, p.lon, p.z);
    const tiles::SGeoBox b = tiles::TileBox(p.z, x, y);
    EXPECT_TRUE(b.south <= p.lat && p.lat < b.north && b.west <= p.lon && p.lon < b.east) << p.lat << "," << p.lon;
    const tiles::STileRange r = tiles::TilesMeeting({p.lat - 1e-9, p.lon - 1e-9, p.lat + 1e-9, p.lon + 1e-9}, p.z);
    EXPECT_EQ(r.count(), 1);
    EXPECT_EQ(r.x0, x);
    EXPECT_EQ(r.y0, y);
  }
  // Tiles share their edges exactly, and a box ending on an edge stays inside.
  EXPECT_DOUBLE_EQ(tiles::TileBox(15, 29000, 12900).east, tiles::TileBox(15, 29001, 12900).west);
  EXPECT_DOUBLE_EQ(tiles::TileBox(15, 29000, 12900).south, tiles::TileBox(15, 29000, 12901).north);
  const tiles::SGeoBox one = tiles::TileBox(12, 3640, 1612);
  EXPECT_EQ(tiles::TilesMeeting(one, 12).count(), 1);
  EXPECT_EQ(tiles::NativeZoom(MapSeries::Scale25000, 35.5), 15);
  EXPECT_EQ(tiles::NativeZoom(MapSeries::Scale50000, 35.5), 14);
  EXPECT_NEAR(tiles::TilePixelMetres(0, 0.0), 156543.03392, 1e-3);
}

TEST(WebMercator, TokyoBoxHoldsTheShiftedCornersTightly) {
  const tiles::SGeoBox kBoxes[] = {{36.3, 138.7, 36.4, 138.9}, {35.0, 139.0, 35.001, 139.002}, {43.0, 141.0, 44.0, 143.5}};
  for (const tiles::SGeoBox& b : kBoxes) {
    const mosaic::SFrameSeconds f = tiles::TokyoBoxOf(b);
    double s = 1e9, n = -1e9, w = 1e9, e = -1e9;
    for (const double lat : {b.south, b.north})
      for (const double lon : {b.west, b.east}) {
        const SDatumShiftResult t = DatumConverter::Wgs84ToTokyo(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), 0);
        s = std::min(s, t.latitude.TotalSeconds()), n = std::max(n, t.latitude.TotalSeconds());
        w = std::min(w, t.longitude.TotalSeconds()), e = std::max(e, t.longitude.TotalSeconds());
      }
    EXPECT_LE(f.south, s);
    EXPECT_GE(f.north, n);
    EXPECT_LE(f.west, w);
    EXPECT_GE(f.east, e);
    // No wider than the shifted corners, give or take the bend of the edges.
    EXPECT_NEAR(f.west, w, 0.5) << b.west;
    EXPECT_NEAR(f.east, e, 0.5) << b.east;
    EXPECT_NEAR(f.south, s, 0.5) << b.south;
    EXPECT_NEAR(f.north, n, 0.5) << b.north;
  }
}

TEST(MbtilesExport, WritesReadableTilesWithTmsRowsOnce) {
  QTemporaryDir dir;
  const fs::path out = fs::path(dir.path().toStdString()) / "sample.mbtiles";
  tiles::SExportArea area;
  area.box = sampleBox();
  // A margin beyond the sheets gives tiles without map data, which are left out.
  area.box.west -= 0.05;
  tiles::SExportOptions options;
  options.minZoom = 11;
  options.maxZoom = 13;
  options.name = "sample";
  const tiles::SExportPlan plan = tiles::PlanExport(area, sampleCollection(), MapSeries::Scale25000, options);
  ASSERT_TRUE(plan.error.empty()) << plan.error;
  ASSERT_EQ(plan.perZoom.size(), 3u);
  const tiles::SExportResult r =
      tiles::RunExport(plan, sampleCollection(), MapSeries::Scale25000, SMapRenderSettings{}, options, out, false);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_GT(r.written, 0);
  EXPECT_FALSE(fs::exists(out.string() + ".part"));

  SDb db(out);
  std::map<std::string, std::string> meta;
  for (const auto& row : db.rows("SELECT name, value FROM metadata")) meta[row[0]] = row[1];
  EXPECT_EQ(meta["format"], "png");
  EXPECT_EQ(meta["type"], "baselayer");
  EXPECT_EQ(meta["minzoom"], "11");
  EXPECT_EQ(meta["maxzoom"], "13");
  EXPECT_EQ(meta["name"], "sample");
  EXPECT_NE(meta["attribution"].find("25000"), std::string::npos);
  double w = 0, s = 0, e = 0, n = 0;
  ASSERT_EQ(std::sscanf(meta["bounds"].c_str(), "%lf,%lf,%lf,%lf", &w, &s, &e, &n), 4);
  EXPECT_TRUE(w < e && s < n);

  const auto tilesRows = db.rows("SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles");
  EXPECT_EQ(static_cast<long long>(tilesRows.size()), r.written);
  std::set<std::string> distinct;
  std::size_t transparentSeen = 0;
  for (const auto& row : tilesRows) {
    const int z = std::stoi(row[0]), x = std::stoi(row[1]), tms = std::stoi(row[2]);
    const int y = (1 << z) - 1 - tms;  // the file holds TMS rows
    const tiles::SGeoBox b = tiles::TileBox(z, x, y);
    EXPECT_TRUE(b.north > area.box.south && b.south < area.box.north && b.east > area.box.west && b.west < area.box.east);
    const QImage img = QImage::fromData(reinterpret_cast<const uchar*>(row[3].data()), static_cast<int>(row[3].size()), "PNG");
    ASSERT_EQ(img.size(), QSize(256, 256));
    if (img.hasAlphaChannel() && qAlpha(img.pixel(0, 0)) == 0) ++transparentSeen;
    distinct.insert(row[3]);
  }
  EXPECT_GT(transparentSeen, 0u) << "pixels without map data are transparent";
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM images")[0][0], std::to_string(distinct.size()));
  EXPECT_EQ(r.skipped + r.written, static_cast<long long>(plan.tiles.size()));
}

TEST(MbtilesExport, GroundLandsOnTheSamePixelAsTheMapView) {
  // The sheet pixel under a WGS-84 position, against the tile pixel of the same position.
  mosaic::CMapCollection& col = sampleCollection();
  const mosaic::SMapPlane& plane = col.plane(MapSeries::Scale25000);
  mosaic::CMosaicRenderer renderer;
  SMapRenderSettings settings;
  settings.dispQuality = 1;
  renderer.setRenderSettings(settings);
  renderer.setSeries(col.sheets(MapSeries::Scale25000), plane);
  const tiles::SGeoBox all = sampleBox();
  const int z = 16;  // tile pixels about as large as the sample's 10 m pixels
  for (const double fy : {0.3, 0.55, 0.8}) {
    const double lat = all.south + (all.north - all.south) * fy;
    const double lon = all.west + (all.east - all.west) * (1 - fy);
    const auto [x, y] = tileOf(lat, lon, z);
    const tiles::SGeoBox b = tiles::TileBox(z, x, y);
    const tiles::SGroundPicture tile = tiles::RenderGround({&renderer, plane}, b, 256, 256, true, 0xFF000000u);
    ASSERT_TRUE(tile.hasData);
    // The tile pixel of the position, by Mercator arithmetic done here.
    const double n = std::pow(2.0, z) * 256;
    const double px = (lon + 180.0) / 360.0 * n - x * 256.0;
    const double py = (1.0 - std::asinh(std::tan(lat * kPi / 180.0)) / kPi) / 2.0 * n - y * 256.0;
    // The plane pixel of the same ground through the datum shift, rendered alone at ratio 1.
    const SDatumShiftResult t = DatumConverter::Wgs84ToTokyo(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), 0);
    const double ratio = plane.MetresAcross(lat * 3600) / tiles::TilePixelMetres(z, (b.north + b.south) / 2);
    const int col0 = static_cast<int>(std::floor(plane.ColumnOf(t.longitude.TotalSeconds(), ratio)));
    const int row0 = static_cast<int>(std::floor(plane.RowOf(t.latitude.TotalSeconds(), ratio)));
    QImage one(3, 3, QImage::Format_RGB32);
    renderer.RenderNow(one, QRect(col0 - 1, row0 - 1, 3, 3), QPoint(col0 - 1, row0 - 1), ratio);
    // Within one tile pixel: one of the 3 x 3 tile pixels around shows the plane pixel's colour.
    bool found = false;
    for (int dy = -1; dy <= 1 && !found; ++dy)
      for (int dx = -1; dx <= 1 && !found; ++dx) {
        const int tx = std::clamp(static_cast<int>(px) + dx, 0, 255), ty = std::clamp(static_cast<int>(py) + dy, 0, 255);
        found = (tile.image.pixel(tx, ty) & 0xFFFFFFu) == (one.pixel(1, 1) & 0xFFFFFFu);
      }
    EXPECT_TRUE(found) << lat << "," << lon;
  }
}

TEST(KmzExport, ImagesMeetAndStayWithinTheUnitsLimits) {
  QTemporaryDir dir;
  const fs::path out = fs::path(dir.path().toStdString()) / "walk.kmz";
  tiles::SExportArea area;
  const tiles::SGeoBox all = sampleBox();
  area.box = {all.south + 0.01, all.west + 0.01, all.south + 0.09, all.west + 0.13};
  tiles::SExportOptions options;
  options.format = tiles::EFormat::Kmz;
  options.image = tiles::EImageFormat::Jpeg;
  options.name = "walk";
  options.kmzPixelMetres = 10;
  options.maxImages = 100;
  const tiles::SExportPlan plan = tiles::PlanExport(area, sampleCollection(), MapSeries::Scale25000, options);
  ASSERT_TRUE(plan.error.empty()) << plan.error;
  ASSERT_FALSE(plan.tooManyImages);
  ASSERT_GT(plan.tiles.size(), 1u);
  const tiles::SExportResult r =
      tiles::RunExport(plan, sampleCollection(), MapSeries::Scale25000, SMapRenderSettings{}, options, out, false);
  ASSERT_TRUE(r.ok) << r.error;

  const std::map<std::string, std::string> entries = unzip(testutil::readFile(out));
  ASSERT_TRUE(entries.count("doc.kml"));
  const std::string& kml = entries.at("doc.kml");
  EXPECT_NE(kml.find("<kml xmlns=\"http://www.opengis.net/kml/2.2\">"), std::string::npos);
  EXPECT_EQ(entries.size(), static_cast<std::size_t>(r.written) + 1);
  for (const auto& [name, bytes] : entries) {
    if (name == "doc.kml") continue;
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 3), std::string("\xFF\xD8\xFF", 3)) << name;
    EXPECT_LT(bytes.size(), tiles::kKmzImageBytesMax);
    // Baseline: a SOF0 marker and no progressive SOF2.
    EXPECT_NE(bytes.find(std::string("\xFF\xC0", 2)), std::string::npos) << name;
    EXPECT_EQ(bytes.find(std::string("\xFF\xC2", 2)), std::string::npos) << name;
    const QImage img = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "JPG");
    EXPECT_LE(img.width(), tiles::kKmzImageMax);
    EXPECT_LE(img.height(), tiles::kKmzImageMax);
  }
  // Neighbouring boxes share edges: every inner east edge is some image's west edge.
  std::set<double> wests, easts;
  for (const auto& t : plan.tiles) wests.insert(t.box.west), easts.insert(t.box.east);
  for (double e : easts)
    if (e < area.box.east) {
      EXPECT_TRUE(wests.count(e)) << e;
    }

  // Too many images for the unit: refused with the resolution that fits.
  options.kmzPixelMetres = 2;
  options.maxImages = 4;
  const tiles::SExportPlan big = tiles::PlanExport(area, sampleCollection(), MapSeries::Scale25000, options);
  ASSERT_TRUE(big.tooManyImages);
  EXPECT_GT(big.fittingPixelMetres, 2.0);
  EXPECT_NE(tiles::TooManyImagesMessage(big, 4).find("4 枚を超えます"), std::string::npos);
  options.kmzPixelMetres = big.fittingPixelMetres;
  const tiles::SExportPlan fits = tiles::PlanExport(area, sampleCollection(), MapSeries::Scale25000, options);
  EXPECT_FALSE(fits.tooManyImages);
}

TEST(TileExport, CancelAndFailureLeaveNothingAndKeepTheOldFile) {
  QTemporaryDir dir;
  const fs::path base(dir.path().toStdString());
  tiles::SExportArea area;
  area.box = sampleBox();
  tiles::SExportOptions options;
  options.minZoom = options.maxZoom = 13;
  const tiles::SExportPlan plan = tiles::PlanExport(area, sampleCollection(), MapSeries::Scale25000, options);
  ASSERT_GT(plan.tiles.size(), 2u);
  const fs::path out = base / "old.mbtiles";
  testutil::writeFile(out, "an older file");
  int calls = 0;
  const tiles::SExportResult cancelled = tiles::RunExport(plan, sampleCollection(), MapSeries::Scale25000, SMapRenderSettings{},
                                                          options, out, true, [&](double) { return ++calls < 2; });
  EXPECT_FALSE(cancelled.ok);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_EQ(testutil::readFile(out), "an older file");
  // Only the old file is there: no temporary file stays.
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(base)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"old.mbtiles"});
  // Without replace an existing file is kept, and a folder that cannot be written fails cleanly.
  EXPECT_FALSE(tiles::RunExport(plan, sampleCollection(), MapSeries::Scale25000, SMapRenderSettings{}, options, out, false).ok);
  const tiles::SExportResult nowhere = tiles::RunExport(plan, sampleCollection(), MapSeries::Scale25000, SMapRenderSettings{},
                                                        options, base / "missing" / "x.mbtiles", false);
  EXPECT_FALSE(nowhere.ok);
  EXPECT_FALSE(nowhere.error.empty());
}

TEST(TileExport, CorridorKeepsTilesNearTheTrack) {
  const tiles::SGeoBox all = sampleBox();
  tiles::SExportArea box;
  box.box = all;
  tiles::SExportArea corridor;
  corridor.track = {{all.south + 0.01, all.west + 0.01}, {all.north - 0.01, all.east - 0.01}};
  corridor.corridorKm = 0.5;
  corridor.box = all;
  tiles::SExportOptions options;
  options.minZoom = options.maxZoom = 15;
  const auto whole = tiles::PlanExport(box, sampleCollection(), MapSeries::Scale25000, options);
  const auto near = tiles::PlanExport(corridor, sampleCollection(), MapSeries::Scale25000, options);
  ASSERT_GT(near.tiles.size(), 0u);
  EXPECT_LT(near.tiles.size() * 3, whole.tiles.size()) << "a diagonal corridor holds far fewer tiles";
}

TEST(TilesCli, ExportsBoxesTracksAndRefusesBadArguments) {
  QTemporaryDir dir;
  const fs::path base(dir.path().toStdString());
  const std::string maps = testutil::sampleCollectionDir().string();
  const tiles::SGeoBox all = sampleBox();
  char box[128];
  std::snprintf(box, sizeof box, "%.5f,%.5f,%.5f,%.5f", all.south + 0.02, all.west + 0.02, all.south + 0.06, all.west + 0.08);
  const struct {
    std::vector<std::string> args;
    int status;
    const char* expect;
  } rows[] = {
      {{"tiles", maps, "--bbox", box, "--datum", "wgs84", "--format", "mbtiles", "--zoom", "12-14", "-o",
        (base / "a.mbtiles").string()},
       0, "\"zoom\""},
      {{"tiles", maps, "--all", "--format", "kmz", "--pixel-metres", "40", "-o", (base / "all.kmz").string()}, 0, "\"pixelMetres\""},
      {{"tiles", maps, "--all", "--format", "kmz", "--pixel-metres", "5", "--max-tiles", "3", "-o", (base / "b.kmz").string()},
       1, "枚を超えます"},
      {{"tiles", maps, "--bbox", box, "--all", "--format", "kmz", "-o", (base / "c.kmz").string()}, 1, "one of"},
      {{"tiles", maps, "--bbox", "1,2,3", "--format", "kmz", "-o", (base / "d.kmz").string()}, 1, "S,W,N,E"},
      {{"tiles", maps, "--all", "--format", "tiff", "-o", (base / "e").string()}, 1, "mbtiles, kmz or gpkg"},
      {{"tiles", maps, "--bbox", box, "--datum", "wgs84", "--format", "gpkg", "--zoom", "13-14", "--jpeg", "80", "-o",
        (base / "a.gpkg").string()},
       0, "\"13\""},
      {{"tiles", maps, "--all", "--format", "mbtiles", "--zoom", "15-3", "-o", (base / "f.mbtiles").string()}, 1, "MIN <= MAX"},
      {{"tiles", maps, "--bbox", "10,10,11,11", "--datum", "wgs84", "--format", "mbtiles", "-o", (base / "g.mbtiles").string()},
       1, "地形図がありません"},
      {{"tiles", (base / "nomaps").string(), "--all", "--format", "mbtiles", "-o", (base / "h.mbtiles").string()}, 1, "no map data"},
  };
  for (const auto& r : rows) {
    const testutil::SRunResult run = testutil::runCli(r.args);
    EXPECT_EQ(run.status, r.status) << r.args[2] << " " << run.err << run.out;
    EXPECT_NE((r.status == 0 ? run.out : run.err).find(r.expect), std::string::npos) << run.out << run.err;
  }
  EXPECT_TRUE(fs::exists(base / "a.mbtiles"));
  EXPECT_TRUE(fs::exists(base / "a.gpkg"));
  EXPECT_FALSE(fs::exists(base / "b.kmz"));
}

TEST(GeoPackageExport, LevelsHoldThePlanesOwnPixels) {
  mosaic::CMapCollection& col = sampleCollection();
  const mosaic::SMapPlane& plane = col.plane(MapSeries::Scale25000);
  QTemporaryDir dir;
  const fs::path out = fs::path(dir.path().toStdString()) / "plane.gpkg";
  tiles::SExportArea area;
  area.box = sampleBox();
  tiles::SExportOptions options;
  options.format = tiles::EFormat::GeoPackage;
  options.minZoom = 13;
  options.maxZoom = 15;
  options.name = "plane";
  const tiles::SExportPlan plan = tiles::PlanExport(area, col, MapSeries::Scale25000, options);
  ASSERT_TRUE(plan.error.empty()) << plan.error;
  const tiles::SExportResult r = tiles::RunExport(plan, col, MapSeries::Scale25000, SMapRenderSettings{}, options, out, false);
  ASSERT_TRUE(r.ok) << r.error;
  SDb db(out);
  EXPECT_EQ(db.rows("PRAGMA application_id")[0][0], "1196444487");
  EXPECT_EQ(db.rows("PRAGMA user_version")[0][0], "10300");
  const auto srs = db.rows("SELECT definition FROM gpkg_spatial_ref_sys WHERE srs_id = 4301");
  ASSERT_EQ(srs.size(), 1u);
  EXPECT_NE(srs[0][0].find("TOWGS84[-147.54,507.26,680.47,0,0,0,0]"), std::string::npos) << srs[0][0];
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM gpkg_spatial_ref_sys WHERE srs_id IN (-1, 0, 4326)")[0][0], "3");
  const auto contents = db.rows("SELECT data_type, srs_id, identifier FROM gpkg_contents WHERE table_name = 'map'");
  ASSERT_EQ(contents.size(), 1u);
  EXPECT_EQ(contents[0], (std::vector<std::string>{"tiles", "4301", "plane"}));
  const auto set = db.rows("SELECT min_x, min_y, max_x, max_y FROM gpkg_tile_matrix_set WHERE srs_id = 4301");
  ASSERT_EQ(set.size(), 1u);
  const double minX = std::stod(set[0][0]), minY = std::stod(set[0][1]), maxX = std::stod(set[0][2]), maxY = std::stod(set[0][3]);
  EXPECT_NEAR(minX, plane.west / 3600.0, 1e-12);
  EXPECT_NEAR(maxY, plane.north / 3600.0, 1e-12);
  // Every level spans the matrix set exactly and doubles the one before; its tiles lie inside it
  // and hold the plane's pixels at 2^(z - 15), as many as the export reports.
  const auto levels = db.rows("SELECT zoom_level, matrix_width, matrix_height, pixel_x_size, pixel_y_size, tile_width, "
                              "tile_height FROM gpkg_tile_matrix ORDER BY zoom_level");
  ASSERT_EQ(levels.size(), 3u);
  long long previousWidth = 0;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const auto& l = levels[i];
    SCOPED_TRACE(l[0]);
    const int z = std::stoi(l[0]);
    const long long w = std::stoll(l[1]), h = std::stoll(l[2]);
    const double px = std::stod(l[3]), py = std::stod(l[4]);
    EXPECT_EQ(z, 13 + static_cast<int>(i));
    EXPECT_EQ(l[5], "256");
    EXPECT_EQ(l[6], "256");
    EXPECT_NEAR(static_cast<double>(w) * 256 * px, maxX - minX, 1e-9);
    EXPECT_NEAR(static_cast<double>(h) * 256 * py, maxY - minY, 1e-9);
    EXPECT_NEAR(px, plane.lonStep / std::ldexp(1.0, z - 15) / 3600.0, 1e-15);
    if (previousWidth > 0) {
      EXPECT_EQ(w, 2 * previousWidth);
    }
    previousWidth = w;
    const auto count = db.rows("SELECT COUNT(*), MIN(tile_column), MAX(tile_column), MIN(tile_row), MAX(tile_row) FROM map "
                               "WHERE zoom_level = " + l[0]);
    EXPECT_EQ(std::stoll(count[0][0]), r.perZoom[i]);
    EXPECT_GE(std::stoll(count[0][1]), 0);
    EXPECT_LT(std::stoll(count[0][2]), w);
    EXPECT_GE(std::stoll(count[0][3]), 0);
    EXPECT_LT(std::stoll(count[0][4]), h);
  }
  // Ground positions: their Tokyo-datum pixel by the file's own matrix at level 15 shows the
  // plane's pixel there (within one pixel), as the view draws it at 100 %.
  mosaic::CMosaicRenderer renderer;
  SMapRenderSettings settings;
  settings.dispQuality = 1;
  renderer.setRenderSettings(settings);
  renderer.setSeries(col.sheets(MapSeries::Scale25000), plane);
  const tiles::SGeoBox all = sampleBox();
  const double px = std::stod(levels[2][3]), py = std::stod(levels[2][4]);
  for (const double f : {0.25, 0.5, 0.8}) {
    const double lat = all.south + (all.north - all.south) * f, lon = all.west + (all.east - all.west) * (1 - f);
    const SDatumShiftResult t = DatumConverter::Wgs84ToTokyo(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), 0);
    const double x = (t.longitude.TotalSeconds() / 3600.0 - minX) / px, y = (maxY - t.latitude.TotalSeconds() / 3600.0) / py;
    const long long column = static_cast<long long>(x) / 256, row = static_cast<long long>(y) / 256;
    const auto tile = db.rows("SELECT tile_data FROM map WHERE zoom_level = 15 AND tile_column = " + std::to_string(column) +
                              " AND tile_row = " + std::to_string(row));
    ASSERT_EQ(tile.size(), 1u) << lat << "," << lon;
    const QImage img = QImage::fromData(reinterpret_cast<const uchar*>(tile[0][0].data()), static_cast<int>(tile[0][0].size()));
    ASSERT_EQ(img.size(), QSize(256, 256));
    const int c0 = static_cast<int>(std::floor(plane.ColumnOf(t.longitude.TotalSeconds(), 1.0)));
    const int r0 = static_cast<int>(std::floor(plane.RowOf(t.latitude.TotalSeconds(), 1.0)));
    QImage one(1, 1, QImage::Format_RGB32);
    renderer.RenderNow(one, QRect(c0, r0, 1, 1), QPoint(c0, r0), 1.0);
    bool found = false;
    for (int dy = -1; dy <= 1 && !found; ++dy)
      for (int dx = -1; dx <= 1 && !found; ++dx) {
        const int tx = std::clamp(static_cast<int>(x) % 256 + dx, 0, 255), ty = std::clamp(static_cast<int>(y) % 256 + dy, 0, 255);
        found = (img.pixel(tx, ty) & 0xFFFFFFu) == (one.pixel(0, 0) & 0xFFFFFFu);
      }
    EXPECT_TRUE(found) << lat << "," << lon;
  }
  // A reader of another make, where installed, opens it as a raster in the Tokyo datum.
  QProcess gdal;
  gdal.start(QStringLiteral("gdalinfo"), {QString::fromStdString(out.string())});
  if (gdal.waitForStarted(5000) && gdal.waitForFinished(60000)) {
    const QString info = QString::fromUtf8(gdal.readAllStandardOutput());
    EXPECT_EQ(gdal.exitCode(), 0) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Driver: GPKG"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("ID[\"EPSG\",4301]"))) << info.toStdString();
  }
}
