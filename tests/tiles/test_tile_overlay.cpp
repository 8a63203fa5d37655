// Overlays on tiles: a track point, a UTM line, graticule lines of either datum and a magnetic-
// north line land where Web Mercator arithmetic written again here puts them; lines leaving a
// tile go on at the same place in the neighbouring tile; the export writes them into MBTiles
// (identical tiles still stored once), the CLI takes trek files and option bits, and the dialog
// remembers its check boxes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QCheckBox>
#include <QImage>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <algorithm>
#include <functional>

#include "common/TestUtil.h"
#include "geodesy/DatumConverter.h"
#include "geodesy/GridReference.h"
#include "mosaic/MapCollection.h"
#include "output/MapImageExport.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "tiles/TileExport.h"
#include "tiles/TileOverlay.h"
#include "tiles/ui/CDlgExportTiles.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekData.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr QRgb kUtm = qRgb(0, 0, 255);          // COLORREF 0x00FF0000
constexpr QRgb kGraticule = qRgb(0, 255, 0);    // COLORREF 0x0000FF00
constexpr QRgb kMagnetic = qRgb(255, 0, 0);     // COLORREF 0x000000FF
constexpr QRgb kTrack = qRgb(0xC6, 0x00, 0x4F);  // the export's track colour

/// World pixel of a WGS-84 position at `z`, from the usual slippy-map formulas.
QPointF mercator(double lat, double lon, int z) {
  const double n = std::ldexp(256.0, z);
  return {(lon + 180.0) / 360.0 * n, (1.0 - std::asinh(std::tan(lat * kPi / 180.0)) / kPi) / 2.0 * n};
}

mosaic::CMapCollection& sampleCollection() {
  static mosaic::CMapCollection c = [] {
    mosaic::CMapCollection col;
    col.AddTree(testutil::sampleCollectionDir());
    return col;
  }();
  return c;
}

tiles::SGeoBox sampleBox() { return tiles::CollectionBox(sampleCollection(), MapSeries::Scale25000); }

/// A track log group: one log through `points` (WGS-84 degrees), and a waypoint group.
CTrekGroupList::GroupList treksThrough(const std::vector<std::pair<double, double>>& points) {
  CTrekGroupList::GroupList groups;
  auto tracks = std::make_unique<CTrekData>();
  tracks->SetKind(CTrekData::kTrackLogGroup);
  auto log = std::make_unique<CTrackLog>();
  log->name = "walk";
  for (const auto& [lat, lon] : points) {
    CTrackPoint p;
    p.SetPosition(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), Datum::Wgs84);
    log->AppendPoint(p);
  }
  tracks->AppendTrackLog(std::move(log));
  groups.push_back(std::move(tracks));
  return groups;
}

tiles::STileOverlays overlaysOf(std::int32_t bits, const CTrekGroupList::GroupList* treks, Datum graticule) {
  tiles::STileOverlays o;
  o.options = bits;
  o.treks = treks;
  o.look = tiles::TileGridLook(0x00FF0000, 0x0000FF00, 0x000000FF, graticule == Datum::Wgs84, MapSeries::Scale25000);
  o.look.declinationDeg = -7.5;  // fixed, so the test does not follow the magnetic model
  return o;
}

/// A white tile with the overlay drawn on it.
QImage paintedTile(const tiles::CTileOverlay& overlay, int x, int y) {
  QImage img(256, 256, QImage::Format_RGB32);
  img.fill(Qt::white);
  overlay.Paint(img, QPoint(x * 256, y * 256));
  return img;
}

/// Whether a pixel within `reach` of (px, py) has `colour`.
bool colourNear(const QImage& img, double px, double py, QRgb colour, int reach = 2) {
  for (int dy = -reach; dy <= reach; ++dy)
    for (int dx = -reach; dx <= reach; ++dx) {
      const int x = static_cast<int>(std::floor(px)) + dx, y = static_cast<int>(std::floor(py)) + dy;
      if (img.rect().contains(x, y) && (img.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu)) return true;
    }
  return false;
}

/// A place on the ground an overlay must draw through, as the test works it out.
struct SPlace {
  double lat = 0;
  double lon = 0;
};

}  // namespace

TEST(TileOverlay, EachKindLandsWhereTheConversionSays) {
  const tiles::SGeoBox box = sampleBox();
  const double midLat = (box.north + box.south) / 2, midLon = (box.west + box.east) / 2;
  const int z = 15;
  const std::vector<std::pair<double, double>> walk = {
      {midLat - 0.01, midLon - 0.013}, {midLat + 0.002, midLon + 0.004}, {midLat + 0.011, midLon + 0.017}};
  const CTrekGroupList::GroupList treks = treksThrough(walk);
  // The 1 km UTM line nearest the middle, and a point on it half a kilometre north.
  const std::optional<SUtmPosition> mid = geodesy::ToUtmInZone(midLat, midLon, geodesy::UtmZoneOfLongitude(midLon));
  ASSERT_TRUE(mid);
  const double easting = std::round(mid->easting / 1000.0) * 1000.0;
  const std::optional<geodesy::SLatLon> onUtm = geodesy::FromUtm(mid->zone, true, easting, mid->northing + 500.0);
  ASSERT_TRUE(onUtm);
  // Graticule meridians every 10" at zoom 15: a WGS-84 one, and a Tokyo one shifted to WGS-84.
  const double meridianSec = std::round(midLon * 360.0) * 10.0;
  const SDatumShiftResult tokyoMeridian = DatumConverter::TokyoToWgs84(
      DmsAngle::FromDegrees(midLat), DmsAngle::FromTotalSeconds(meridianSec), 0);
  // The magnetic lines run through a ground point fixed to 0.1 degrees, turned by the declination.
  const double anchorLat = std::round(midLat * 10) / 10, anchorLon = std::round(midLon * 10) / 10;
  const double d = -7.5 * kPi / 180.0;
  const double metresAlong = 300.0;
  const double alongLat = anchorLat + metresAlong * std::cos(d) / 111000.0;
  const double alongLon = anchorLon + metresAlong * std::sin(d) / (111000.0 * std::cos(anchorLat * kPi / 180.0));

  const struct {
    const char* name;
    std::int32_t bits;
    Datum graticule;
    QRgb colour;
    std::vector<SPlace> places;
  } kCases[] = {
      {"track points", kExportTrackLines, Datum::Wgs84, kTrack,
       {{walk[0].first, walk[0].second}, {walk[1].first, walk[1].second}, {walk[2].first, walk[2].second}}},
      {"UTM easting line", kExportUtmGrid, Datum::Wgs84, kUtm, {{onUtm->latitude, onUtm->longitude}}},
      {"WGS-84 meridian", kExportGraticule, Datum::Wgs84, kGraticule, {{midLat, meridianSec / 3600.0}}},
      {"Tokyo meridian", kExportGraticule, Datum::Tokyo, kGraticule,
       {{tokyoMeridian.latitude.ToDegrees(), tokyoMeridian.longitude.ToDegrees()}}},
      {"magnetic north", kExportMagneticNorth, Datum::Wgs84, kMagnetic, {{anchorLat, anchorLon}, {alongLat, alongLon}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    tiles::CTileOverlay overlay;
    tiles::SGeoBox around = box;
    // The magnetic anchor may lie outside the sample: the laid-out area reaches it.
    around.south = std::min(around.south, anchorLat - 0.01), around.north = std::max(around.north, alongLat + 0.01);
    around.west = std::min(around.west, std::min(anchorLon, alongLon) - 0.01);
    around.east = std::max(around.east, std::max(anchorLon, alongLon) + 0.01);
    overlay.Build(overlaysOf(c.bits, &treks, c.graticule), around, tiles::MercatorGrid(z));
    ASSERT_FALSE(overlay.empty());
    for (const SPlace& p : c.places) {
      const QPointF w = mercator(p.lat, p.lon, z);
      const int tx = static_cast<int>(std::floor(w.x() / 256)), ty = static_cast<int>(std::floor(w.y() / 256));
      const QImage tile = paintedTile(overlay, tx, ty);
      EXPECT_TRUE(colourNear(tile, w.x() - tx * 256, w.y() - ty * 256, c.colour)) << p.lat << "," << p.lon;
    }
  }
  // Without trek data the trek bits draw nothing; the grid bits still do.
  tiles::CTileOverlay none;
  none.Build(overlaysOf(kExportTrackLines | kExportWaypointIcons, nullptr, Datum::Wgs84), box, tiles::MercatorGrid(z));
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(overlaysOf(127, nullptr, Datum::Wgs84).effective(), kExportGridMask);
}

TEST(TileOverlay, LinesGoOnAcrossTheSharedEdgeOfNeighbours) {
  const tiles::SGeoBox box = sampleBox();
  const double midLat = (box.north + box.south) / 2, midLon = (box.west + box.east) / 2;
  const CTrekGroupList::GroupList treks =
      treksThrough({{midLat - 0.02, midLon - 0.03}, {midLat + 0.01, midLon + 0.005}, {midLat + 0.02, midLon + 0.03}});
  const struct {
    const char* name;
    std::int32_t bits;
    Datum graticule;
    QRgb colour;
    int zoom;
  } kCases[] = {
      {"track line", kExportTrackLines, Datum::Wgs84, kTrack, 15},
      {"UTM grid", kExportUtmGrid, Datum::Wgs84, kUtm, 14},
      {"Tokyo graticule", kExportGraticule, Datum::Tokyo, kGraticule, 15},
      {"magnetic north", kExportMagneticNorth, Datum::Wgs84, kMagnetic, 13},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    tiles::CTileOverlay overlay;
    overlay.Build(overlaysOf(c.bits, &treks, c.graticule), box, tiles::MercatorGrid(c.zoom));
    const QPointF centre = mercator(midLat, midLon, c.zoom);
    const int cx = static_cast<int>(centre.x() / 256), cy = static_cast<int>(centre.y() / 256);
    // A 4 x 4 block of tiles around the middle, against one picture of the whole block: along
    // every tile edge, the tile shows the lines the whole picture shows there (within a pixel),
    // so a line leaving one tile goes on in its neighbour.
    const int x0 = cx - 2, y0 = cy - 2;
    QImage whole(4 * 256, 4 * 256, QImage::Format_RGB32);
    whole.fill(Qt::white);
    overlay.Paint(whole, QPoint(x0 * 256, y0 * 256));
    const auto is = [&](const QImage& img, int x, int y) {
      return img.rect().contains(x, y) && (img.pixel(x, y) & 0xFFFFFFu) == (c.colour & 0xFFFFFFu);
    };
    const auto near = [&](const QImage& img, int x, int y) {
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if (is(img, x + dx, y + dy)) return true;
      return false;
    };
    int crossings = 0, mismatches = 0;
    std::string first;
    const auto expect = [&](bool ok, int tx, int ty, int x, int y) {
      if (ok) return;
      if (mismatches++ == 0) first = std::to_string(tx) + "," + std::to_string(ty) + " pixel " + std::to_string(x) + "," + std::to_string(y);
    };
    for (int ty = 0; ty < 4; ++ty)
      for (int tx = 0; tx < 4; ++tx) {
        const QImage tile = paintedTile(overlay, x0 + tx, y0 + ty);
        for (int y = 0; y < 256; ++y)
          for (int x = 0; x < 256; ++x) {
            const bool edge = x < 2 || y < 2 || x > 253 || y > 253;
            if (!edge) continue;
            const int wx = tx * 256 + x, wy = ty * 256 + y;
            const bool inner = wx > 2 && wy > 2 && wx < 1021 && wy < 1021;  // the block's own edge has no neighbour
            if (!inner) continue;
            if (is(tile, x, y)) {
              ++crossings;
              expect(near(whole, wx, wy), tx, ty, x, y);
            }
            if (is(whole, wx, wy)) {
              expect(near(tile, x, y), tx, ty, x, y);
            }
          }
      }
    EXPECT_EQ(mismatches, 0) << "first at tile " << first;
    EXPECT_GT(crossings, 0) << "some line crosses a shared edge of the block";
  }
}

TEST(TileOverlay, ExportWritesTheTrackIntoMbtilesAndKeepsIdenticalTilesOnce) {
  const tiles::SGeoBox all = sampleBox();
  const double midLat = (all.north + all.south) / 2, midLon = (all.west + all.east) / 2;
  const CTrekGroupList::GroupList treks = treksThrough({{midLat, midLon - 0.004}, {midLat + 0.001, midLon + 0.004}});
  QTemporaryDir dir;
  const fs::path out = fs::path(dir.path().toStdString()) / "walk.mbtiles";
  tiles::SExportArea area;
  area.box = {midLat - 0.01, midLon - 0.01, midLat + 0.01, midLon + 0.01};
  tiles::SExportOptions options;
  options.minZoom = 12;
  options.maxZoom = 15;
  options.overlays = overlaysOf(kExportTrackLines | kExportUtmGrid, &treks, Datum::Wgs84);
  const tiles::SExportPlan plan = tiles::PlanExport(area, sampleCollection(), MapSeries::Scale25000, options);
  ASSERT_TRUE(plan.error.empty()) << plan.error;
  const tiles::SExportResult r =
      tiles::RunExport(plan, sampleCollection(), MapSeries::Scale25000, SMapRenderSettings{}, options, out, false);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_LE(r.storedImages, static_cast<std::size_t>(r.written));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(out.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  const QPointF w = mercator(midLat, midLon - 0.004, 15);
  const int tx = static_cast<int>(w.x() / 256), ty = static_cast<int>(w.y() / 256);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT tile_data FROM tiles WHERE zoom_level=15 AND tile_column=? AND tile_row=?", -1, &st, nullptr),
            SQLITE_OK);
  sqlite3_bind_int(st, 1, tx);
  sqlite3_bind_int(st, 2, (1 << 15) - 1 - ty);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  const QImage tile = QImage::fromData(static_cast<const uchar*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0), "PNG");
  sqlite3_finalize(st);
  sqlite3_close(db);
  ASSERT_EQ(tile.size(), QSize(256, 256));
  EXPECT_TRUE(colourNear(tile, w.x() - tx * 256, w.y() - ty * 256, kTrack));
}

TEST(TileOverlay, CliTakesTrekFilesAndOptionBits) {
  QTemporaryDir dir;
  const fs::path base(dir.path().toStdString());
  const std::string maps = testutil::sampleCollectionDir().string();
  const std::string tracks = (testutil::sampleDir() / "treks" / "tracks.ptd").string();
  const tiles::SGeoBox all = sampleBox();
  char box[128];
  std::snprintf(box, sizeof box, "%.5f,%.5f,%.5f,%.5f", all.south + 0.02, all.west + 0.02, all.south + 0.04, all.west + 0.05);
  const struct {
    const char* name;
    std::vector<std::string> extra;
    int status;
    const char* expect;
  } kRows[] = {
      {"trek lines and the grid", {"--trek", tracks, "--options", "17"}, 0, "\"options\": 17"},
      {"trek bits need trek data", {"--options", "127"}, 0, "\"options\": 112"},
      {"bits out of range", {"--options", "128"}, 1, "0..127"},
      {"unreadable trek file", {"--trek", (base / "none.ptd").string(), "--options", "1"}, 1, "cannot read the trek file"},
  };
  int n = 0;
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = {"tiles", maps, "--bbox", box, "--datum", "wgs84", "--format", "mbtiles", "--zoom", "14",
                                     "-o", (base / (std::to_string(n++) + ".mbtiles")).string()};
    args.insert(args.end(), r.extra.begin(), r.extra.end());
    const testutil::SRunResult run = testutil::runCli(args);
    EXPECT_EQ(run.status, r.status) << run.err << run.out;
    EXPECT_NE((r.status == 0 ? run.out : run.err).find(r.expect), std::string::npos) << run.out << run.err;
  }
}

TEST(TileOverlay, DialogRemembersItsCheckBoxes) {
  platform::CMemoryProfile profile;
  platform::setProfile(&profile);
  profile.writeInt("Settings", "ExportTilesOption", kExportUtmGrid | kExportTrackLines);
  const CTrekGroupList::GroupList treks = treksThrough({{35.5, 138.5}, {35.51, 138.51}});
  STileExportInput in;
  in.collection = &sampleCollection();
  in.series = MapSeries::Scale25000;
  in.treks = &treks;
  {
    CDlgExportTiles dlg(in);
    auto* utm = dlg.findChild<QCheckBox*>(QStringLiteral("utmGrid"));
    auto* lines = dlg.findChild<QCheckBox*>(QStringLiteral("trackLines"));
    auto* icons = dlg.findChild<QCheckBox*>(QStringLiteral("waypointIcons"));
    auto* magnetic = dlg.findChild<QCheckBox*>(QStringLiteral("magneticNorth"));
    ASSERT_TRUE(utm && lines && icons && magnetic);
    EXPECT_TRUE(utm->isChecked());
    EXPECT_TRUE(lines->isChecked() && lines->isEnabled());
    EXPECT_FALSE(icons->isEnabled()) << "no waypoints open";
    magnetic->setChecked(true);
    EXPECT_EQ(dlg.options().overlays.options, kExportUtmGrid | kExportTrackLines | kExportMagneticNorth);
    dlg.findChild<QSpinBox*>(QStringLiteral("minZoom"))->setValue(12);
    dlg.findChild<QSpinBox*>(QStringLiteral("maxZoom"))->setValue(12);
    QTemporaryDir dir;
    platform::CScriptedFileDialog files;
    files.pushPath(fs::path(dir.path().toStdString()) / "a.mbtiles");
    platform::setFileDialog(&files);
    platform::CScriptedPrompt prompt;
    platform::setPrompt(&prompt);
    dlg.exportNow();
    platform::setPrompt(nullptr);
    platform::setFileDialog(nullptr);
    ASSERT_TRUE(dlg.lastResult() && dlg.lastResult()->ok);
  }
  EXPECT_EQ(profile.readInt("Settings", "ExportTilesOption", 0), kExportUtmGrid | kExportTrackLines | kExportMagneticNorth);
  platform::setProfile(nullptr);
}
