// vantoria-cli print and export on the seamless map: boxes across sheet borders, several map
// folders, track logs, boxes outside every sheet, and the GeoTIFF read back with libgeotiff.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <filesystem>

#include "common/TestUtil.h"
#include "geodesy/DatumConverter.h"
#include "mosaic/MapCollection.h"
#include "output/GeoTiff.h"

namespace fs = std::filesystem;

namespace {

/// prefix + n + suffix, appended (GCC 12 at -O3 warns falsely about "lit" + std::string).
std::string numbered(const char* prefix, int n, const char* suffix) {
  std::string s = prefix;
  s += std::to_string(n);
  s += suffix;
  return s;
}

QJsonObject json(const testutil::SRunResult& r) { return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object(); }

QStringList strings(const QJsonValue& v) {
  QStringList out;
  for (const QJsonValue& e : v.toArray()) out << e.toString();
  out.sort();
  return out;
}

std::string dms(double seconds) {
  const int d = static_cast<int>(seconds / 3600);
  const int m = static_cast<int>((seconds - d * 3600) / 60);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d:%05.2f", d, m, seconds - d * 3600 - m * 60);
  return buf;
}

/// Metres of one second of longitude on the Bessel ellipsoid at a latitude (seconds).
double parallelMetresPerSecond(double latitudeSeconds) {
  const double a = geodesy::kBesselSemiMajorM, f = geodesy::kBesselFlattening;
  const double e2 = f * (2 - f);
  const double phi = latitudeSeconds / 3600 * M_PI / 180;
  const double n = a / std::sqrt(1 - e2 * std::sin(phi) * std::sin(phi));
  return n * std::cos(phi) * M_PI / 180 / 3600;
}

class PlaneCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(testutil::sampleDir() / "map25000" / "index.csv")) GTEST_SKIP() << "sample data not built";
    ASSERT_TRUE(m_tmp.isValid());
    m_dir = m_tmp.path().toStdString();
  }
  [[nodiscard]] std::vector<std::string> withProfile(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--profile", (m_dir / "profile.ini").string()});
    return args;
  }
  [[nodiscard]] std::string out(const std::string& name) const { return (m_dir / name).string(); }
  [[nodiscard]] static std::string sample() { return (testutil::sampleDir() / "map25000").string(); }

  QTemporaryDir m_tmp;
  fs::path m_dir;
};

}  // namespace

TEST_F(PlaneCliTest, PrintBoxesAndTracks) {
  const std::string tracks = (testutil::sampleDir() / "treks" / "tracks.ptd").string();
  const struct {
    const char* name;
    std::vector<std::string> args;
    QStringList sheets;
    bool exact;  // else the print shows at least these
  } kRows[] = {
      {"four sheets meet", {sample(), "--bbox", "36:24:00,138:51:30,36:26:00,138:53:30"},
       {"543846", "543847", "543856", "543857"}, true},
      {"wgs84 box on one sheet", {sample(), "--bbox", "36:21:11,138:53:00,36:22:11,138:55:00", "--datum", "wgs84"},
       {"543847"}, true},
      {"track across four sheets", {sample(), "--track", tracks + ":2"}, {"543847", "543857", "543940", "543950"}, false},
      {"first track, no header", {sample(), "--track", tracks, "--options", "0"}, {"543836", "543846", "543856"}, false},
  };
  int n = 0;
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = {"print"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    args.insert(args.end(), {"-o", out(numbered("p", n++, ".pdf"))});
    const testutil::SRunResult run = testutil::runCli(withProfile(args));
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject o = json(run);
    const QStringList got = strings(o["sheets"]);
    if (r.exact) {
      EXPECT_EQ(got, r.sheets) << run.out;
    }
    for (const QString& code : r.sheets) EXPECT_TRUE(got.contains(code)) << code.toStdString() << " in " << run.out;
    EXPECT_EQ(o["printedPages"].toInt(), o["pageCount"].toInt());
    if (o["magnification"].toInt() == -25000) {
      // 1 km on the ground is 40 mm on paper at the printed area's middle.
      EXPECT_NEAR(o["kmAcrossMm"].toDouble(), 40.0, 0.08);
      EXPECT_NEAR(o["kmDownMm"].toDouble(), 40.0, 0.08);
    }
  }
}

TEST_F(PlaneCliTest, PrintRefusals) {
  const std::string tracks = (testutil::sampleDir() / "treks" / "tracks.ptd").string();
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* error;
  } kRows[] = {
      {"outside every sheet", {sample(), "--bbox", "35:10:00,136:10:00,35:11:00,136:11:00"}, "no sheet"},
      {"inverted box", {sample(), "--bbox", "36:26:00,138:51:30,36:24:00,138:53:30"}, "S < N"},
      {"bad datum", {sample(), "--bbox", "36:24:00,138:51:30,36:26:00,138:53:30", "--datum", "jgd"}, "--datum"},
      {"no such log", {sample(), "--track", tracks + ":9"}, "holds 2 track log(s)"},
      {"track and box", {sample(), "--track", tracks, "--bbox", "36:24:00,138:51:30,36:26:00,138:53:30"}, "exclude"},
      {"track with a scale", {sample(), "--track", tracks, "--magnification", "1:50,000"}, "chooses the scale"},
      {"not map data", {m_dir.string(), "--bbox", "36:24:00,138:51:30,36:26:00,138:53:30"}, "no map data"},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = {"print"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    args.insert(args.end(), {"-o", out("refused.pdf")});
    const testutil::SRunResult run = testutil::runCli(withProfile(args));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(r.error), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out("refused.pdf")));
  }
}

TEST_F(PlaneCliTest, SeveralFoldersMakeOneMap) {
  mosaic::CMapCollection collection;
  ASSERT_GT(collection.AddTree(testutil::sampleCollectionDir()), 0);
  const auto& sheets = collection.sheets(MapSeries::Scale25000);
  ASSERT_EQ(sheets.size(), 12u);
  mosaic::SFrameSeconds all = sheets.front().frame;
  for (const auto& s : sheets) {
    all.north = std::max(all.north, s.frame.north);
    all.south = std::min(all.south, s.frame.south);
    all.west = std::min(all.west, s.frame.west);
    all.east = std::max(all.east, s.frame.east);
  }
  // A strip along the border between the two southern rows, across all four columns.
  const double border = all.south + 300;
  const std::string box = dms(border - 10) + "," + dms(all.west + 20) + "," + dms(border + 10) + "," + dms(all.east - 20);
  const fs::path root = testutil::sampleCollectionDir();
  const struct {
    const char* name;
    std::vector<std::string> folders;
    int sheets;
  } kRows[] = {
      {"the three folders", {(root / "cd1").string(), (root / "cd2").string(), (root / "cd3").string()}, 8},
      {"their parent", {root.string()}, 8},
  };
  int n = 0;
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = {"export"};
    args.insert(args.end(), r.folders.begin(), r.folders.end());
    args.insert(args.end(), {"--bbox", box, "-o", out(numbered("c", n, ".png"))});
    const testutil::SRunResult run = testutil::runCli(withProfile(args));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(json(run)["sheets"].toArray().size(), r.sheets);
    EXPECT_TRUE(fs::exists(m_dir / numbered("c", n, ".pgw")));
    EXPECT_TRUE(fs::exists(m_dir / numbered("c", n, ".prj")));
    ++n;
  }
  // One folder alone holds only some of the sheets.
  const testutil::SRunResult one =
      testutil::runCli(withProfile({"export", (root / "cd1").string(), "--bbox", box, "-o", out("one.png")}));
  const int alone = one.status == 0 ? static_cast<int>(json(one)["sheets"].toArray().size()) : 0;
  EXPECT_LT(alone, 8) << one.out << one.err;
}

TEST_F(PlaneCliTest, GridLinesOnAPictureAcrossSheetsNeedNoTrekData) {
  // Colours (RGB) of the default UTM grid, graticule and magnetic-north lines.
  const QRgb utm = qRgb(0x00, 0x70, 0xD0), graticule = qRgb(0xA0, 0x00, 0xA0), magnetic = qRgb(0xC8, 0x00, 0x00);
  const struct {
    int options;
    QRgb colour;
  } kRows[] = {{16, utm}, {32, graticule}, {64, magnetic}, {0, utm}, {0, graticule}, {0, magnetic}};
  int n = 0;
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.options);
    const std::string png = out(numbered("g", n++, ".png"));
    const testutil::SRunResult run = testutil::runCli(withProfile(
        {"export", sample(), "--bbox", "36:24:00,138:51:30,36:26:00,138:53:30", "--options", std::to_string(r.options), "-o", png}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(json(run)["options"].toInt(), r.options);
    EXPECT_EQ(json(run)["sheets"].toArray().size(), 4);
    const QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull());
    int lit = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) lit += (img.pixel(x, y) & 0xFFFFFF) == (r.colour & 0xFFFFFF);
    // A line across the picture is at least as long as its narrower side.
    if (r.options) EXPECT_GT(lit, std::min(img.width(), img.height())) << r.colour;
    else EXPECT_EQ(lit, 0) << r.colour;
  }
}

TEST_F(PlaneCliTest, GeoTiffReadsBackWithItsCornersAndDatum) {
  // Across the four sheets meeting at 36N25', 138E52'30" (Tokyo).
  const double s = 36 * 3600 + 24 * 60, w = 138 * 3600 + 51 * 60 + 30, nn = 36 * 3600 + 26 * 60, e = 138 * 3600 + 53 * 60 + 30;
  const testutil::SRunResult run = testutil::runCli(
      withProfile({"export", sample(), "--bbox", dms(s) + "," + dms(w) + "," + dms(nn) + "," + dms(e), "-o", out("m.tif")}));
  ASSERT_EQ(run.status, 0) << run.err;
  const QJsonObject o = json(run);
  EXPECT_EQ(o["format"].toString(), QStringLiteral("tif"));
  EXPECT_EQ(o["sheets"].toArray().size(), 4);
  EXPECT_FALSE(fs::exists(m_dir / "m.tfw"));

  const geotiff_export::SGeoTiffInfo info = geotiff_export::ReadGeoTiffInfo(m_dir / "m.tif");
  ASSERT_TRUE(info.ok) << info.error;
  EXPECT_EQ(info.width, o["width"].toInt());
  EXPECT_EQ(info.height, o["height"].toInt());
  EXPECT_EQ(info.modelType, 2);
  EXPECT_EQ(info.rasterType, 1);
  EXPECT_EQ(info.geographicType, 4301);
  EXPECT_NE(info.citation.find("TOWGS84[-147.54,507.26,680.47,0,0,0,0]"), std::string::npos) << info.citation;
  // Corners: the box's edges within one pixel of the plane (2.5 m, about 0.1" across).
  const struct {
    const char* name;
    double got, want;
  } kCorners[] = {{"west", info.west, w}, {"east", info.east, e}, {"north", info.north, nn}, {"south", info.south, s}};
  for (const auto& c : kCorners) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(c.got * 3600, c.want, 0.12);
  }
  const QJsonObject g = o["geoTiff"].toObject();
  EXPECT_NEAR(g["west"].toDouble(), info.west, 1e-9);
  EXPECT_NEAR(g["south"].toDouble(), info.south, 1e-9);
  // The picture's width on the ground: its degrees of longitude at the middle latitude.
  const double metres = (info.east - info.west) * 3600 * parallelMetresPerSecond((s + nn) / 2);
  EXPECT_NEAR(metres / info.width, 2.5, 0.01);

  // An independent reader, when installed.
  const QString gdalinfo = QStandardPaths::findExecutable(QStringLiteral("gdalinfo"));
  if (!gdalinfo.isEmpty()) {
    QProcess p;
    p.start(gdalinfo, {QString::fromStdString(out("m.tif"))});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QStringLiteral("Tokyo"))) << text.toStdString();
  }

  // Outside every sheet: refused, nothing written.
  const testutil::SRunResult outside =
      testutil::runCli(withProfile({"export", sample(), "--bbox", "35:10:00,136:10:00,35:11:00,136:11:00", "-o", out("x.tif")}));
  EXPECT_EQ(outside.status, 1);
  EXPECT_NE(outside.err.find("no sheet"), std::string::npos) << outside.err;
  EXPECT_FALSE(fs::exists(m_dir / "x.tif"));
}

TEST_F(PlaneCliTest, OneKilometreMeasuredOnThePrintedPageIsFortyMillimetres) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty()) GTEST_SKIP() << "pdftoppm not installed";
  // A track log over the empty margin north of the sample sheets (only the track is coloured
  // there): north 300 m, back, east 1 km, north 300 m. The two north-going legs lie 1 km apart.
  const double lat0 = 36 + 31.0 / 60, lon0 = 138 + 46.0 / 60;  // WGS-84 degrees
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double phi = lat0 * M_PI / 180;
  const double parallel = a / std::sqrt(1 - e2 * std::sin(phi) * std::sin(phi)) * std::cos(phi) * M_PI / 180;
  const double meridian = a * (1 - e2) / std::pow(1 - e2 * std::sin(phi) * std::sin(phi), 1.5) * M_PI / 180;
  const double dLon = 1000 / parallel, dLat = 300 / meridian;
  const double pts[][2] = {{lat0, lon0}, {lat0 + dLat, lon0}, {lat0, lon0}, {lat0, lon0 + dLon}, {lat0 + dLat, lon0 + dLon}};
  std::string gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\"><trk><name>km</name><trkseg>";
  for (const auto& p : pts) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "<trkpt lat=\"%.9f\" lon=\"%.9f\"/>", p[0], p[1]);
    gpx += buf;
  }
  gpx += "</trkseg></trk></gpx>\n";
  testutil::writeFile(m_dir / "km.gpx", gpx);
  ASSERT_EQ(testutil::runCli(withProfile({"trek", "convert", out("km.gpx"), out("km.ptd")})).status, 0);
  // The box reaches onto a sheet (a print needs one) and holds the track in the margin.
  const testutil::SRunResult run = testutil::runCli(withProfile(
      {"print", sample(), "--bbox", "36:29:50,138:45:30,36:31:50,138:47:40", "--datum", "wgs84", "--magnification",
       "1:25,000", "--trek", out("km.ptd"), "--options", "8", "-o", out("km.pdf")}));
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(json(run)["pageCount"].toInt(), 1) << run.out;
  QProcess p;
  p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("254"), QStringLiteral("-singlefile"),
                                       QStringLiteral("-png"), QString::fromStdString(out("km.pdf")),
                                       QString::fromStdString(out("km"))});
  ASSERT_TRUE(p.waitForFinished(120000));
  const QImage page = QImage(QString::fromStdString(out("km.png"))).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(page.isNull());
  // Coloured pixels: the track (the margin is grey, the paper white).
  const auto coloured = [](QRgb c) {
    return std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)}) > 60;
  };
  // The track from its first coloured row down to the gap of grey above the sheet (60 mm).
  int top = -1, bottom = -1, left = page.width(), right = -1;
  for (int y = 0; y < page.height() && (bottom < 0 || y - bottom < 100); ++y) {
    for (int x = 0; x < page.width(); ++x) {
      if (!coloured(page.pixel(x, y))) continue;
      if (top < 0) top = y;
      bottom = y;
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  ASSERT_GT(bottom - top, 60) << top << " " << bottom;  // 300 m: 12 mm, 120 pixels
  // Between the top and the east-going leg: only the two north-going legs; their centres.
  double sum[2] = {0, 0};
  int count[2] = {0, 0};
  const int split = (left + right) / 2;
  for (int y = top + 20; y < bottom - 20; ++y)
    for (int x = 0; x < page.width(); ++x)
      if (coloured(page.pixel(x, y))) {
        sum[x >= split] += x;
        ++count[x >= split];
      }
  ASSERT_GT(count[0], 0);
  ASSERT_GT(count[1], 0);
  const double mm = (sum[1] / count[1] - sum[0] / count[0]) / 10.0;  // 10 pixels per millimetre
  EXPECT_NEAR(mm, 40.0, 0.08);
}
