// vantoria-cli mosaic: boxes across borders and outside the sheets, missing sheets, bad arguments.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "common/TestUtil.h"
#include "mosaic/MapCollection.h"

namespace fs = std::filesystem;

namespace {

QJsonObject json(const testutil::SRunResult& r) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
}

QStringList strings(const QJsonValue& v) {
  QStringList out;
  for (const QJsonValue& e : v.toArray()) out << e.toString();
  out.sort();
  return out;
}

std::vector<std::string> withProfile(const fs::path& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {"--profile", (dir / "profile.ini").string()});
  return args;
}

}  // namespace

TEST(MosaicCli, RendersBoxesAcrossBordersAndNamesWhatIsMissing) {
  QTemporaryDir tmp;
  const fs::path dir = tmp.path().toStdString();
  const std::string sample = (testutil::sampleDir() / "map25000").string();
  struct SCase {
    const char* what;
    std::string bbox;
    QStringList sheets;
    QStringList missing;
  };
  const SCase cases[] = {
      {"four sheets meet", "36:24:00,138:51:30,36:26:00,138:53:30",
       {"543846", "543847", "543856", "543857"}, {}},
      {"one sheet", "36:21:00,138:53:00,36:22:00,138:55:00", {"543847"}, {}},
      {"beyond the north edge", "36:29:00,138:46:00,36:31:00,138:47:00", {"543856"}, {"543866"}},
      {"outside every sheet", "35:10:00,136:10:00,35:11:00,136:11:00", {}, {"523661"}},
  };
  int n = 0;
  for (const SCase& c : cases) {
    fs::path out = dir / "m";
    out += std::to_string(n++) + ".png";
    const testutil::SRunResult r =
        testutil::runCli(withProfile(dir, {"mosaic", sample, "--bbox", c.bbox, "--ratio", "0.5", "-o", out.string()}));
    ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
    const QJsonObject o = json(r);
    EXPECT_EQ(strings(o["sheets"]), c.sheets) << c.what;
    EXPECT_EQ(strings(o["missing"]), c.missing) << c.what;
    const QImage image(QString::fromStdString(out.string()));
    ASSERT_FALSE(image.isNull()) << c.what;
    EXPECT_EQ(image.width(), o["width"].toInt());
    EXPECT_EQ(image.height(), o["height"].toInt());
    EXPECT_TRUE(fs::exists(fs::path(out).replace_extension(".pgw"))) << c.what;
    EXPECT_TRUE(fs::exists(fs::path(out).replace_extension(".prj"))) << c.what;
    // The world file's corner is the image's top-left pixel edge of the JSON.
    EXPECT_GT(o["lonStep"].toDouble(), 0);
    EXPECT_GT(o["latStep"].toDouble(), 0);
  }
  // A wider box at half the ratio has half the pixels a side (within one).
  const testutil::SRunResult a = testutil::runCli(withProfile(
      dir, {"mosaic", sample, "--bbox", "36:20:00,138:50:00,36:30:00,139:00:00", "--ratio", "0.1", "-o", (dir / "a.bmp").string()}));
  const testutil::SRunResult b = testutil::runCli(withProfile(
      dir, {"mosaic", sample, "--bbox", "36:20:00,138:50:00,36:30:00,139:00:00", "--ratio", "0.05", "-o", (dir / "b.bmp").string()}));
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_NEAR(json(a)["width"].toInt(), 2 * json(b)["width"].toInt(), 1);
  EXPECT_EQ(strings(json(a)["sheets"]).size(), 4);
}

TEST(MosaicCli, AnUnreadableSheetIsMissingAndTheRestIsDrawn) {
  QTemporaryDir tmp;
  const fs::path dir = tmp.path().toStdString();
  fs::copy(testutil::sampleDir() / "map25000", dir / "cd", fs::copy_options::recursive);
  fs::remove(dir / "cd" / "5438" / "543847.tif");
  testutil::writeFile(dir / "cd" / "5438" / "543846.tif", "II*\0broken");
  const testutil::SRunResult r = testutil::runCli(withProfile(
      dir, {"mosaic", dir.string(), "--bbox", "36:24:00,138:51:30,36:26:00,138:53:30", "--scale", "1:25000", "-o",
            (dir / "m.png").string()}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(strings(json(r)["sheets"]), (QStringList{"543856", "543857"}));
  EXPECT_EQ(strings(json(r)["missing"]), (QStringList{"543846", "543847"}));
}

TEST(MosaicCli, TheDatumOfTheBoxShiftsThePicture) {
  QTemporaryDir tmp;
  const fs::path dir = tmp.path().toStdString();
  const std::string sample = (testutil::sampleDir() / "map25000").string();
  const std::string bbox = "36:21:00,138:53:00,36:22:00,138:55:00";
  const testutil::SRunResult tokyo =
      testutil::runCli(withProfile(dir, {"mosaic", sample, "--bbox", bbox, "--ratio", "1", "-o", (dir / "t.png").string()}));
  const testutil::SRunResult wgs = testutil::runCli(withProfile(
      dir, {"mosaic", sample, "--bbox", bbox, "--datum", "wgs84", "--ratio", "1", "-o", (dir / "w.png").string()}));
  ASSERT_EQ(tokyo.status, 0) << tokyo.err;
  ASSERT_EQ(wgs.status, 0) << wgs.err;
  // Here a WGS-84 latitude is about 11.6 seconds above and a longitude 11.6 seconds below the
  // Tokyo figures of the same ground, so the same figures in WGS-84 name ground further east and
  // south.
  const double dWest = (json(tokyo)["west"].toDouble() - json(wgs)["west"].toDouble()) * 3600;
  const double dNorth = (json(tokyo)["north"].toDouble() - json(wgs)["north"].toDouble()) * 3600;
  EXPECT_NEAR(dWest, -11.6, 2.0);
  EXPECT_NEAR(dNorth, 11.6, 2.0);
}

TEST(MosaicCli, RefusesBadArguments) {
  QTemporaryDir tmp;
  const fs::path dir = tmp.path().toStdString();
  const std::string sample = (testutil::sampleDir() / "map25000").string();
  const std::string out = (dir / "m.png").string();
  const std::string bbox = "36:21:00,138:53:00,36:22:00,138:55:00";
  testutil::writeFile(dir / "exists.png", "x");
  struct SCase {
    std::vector<std::string> args;
    const char* message;
  };
  const SCase cases[] = {
      {{"mosaic", sample, "--ratio", "1", "-o", out}, "--bbox"},
      {{"mosaic", sample, "--bbox", bbox, "-o", out}, "--ratio"},
      {{"mosaic", sample, "--bbox", bbox, "--ratio", "1", "--scale", "1:25000", "-o", out}, "--ratio"},
      {{"mosaic", sample, "--bbox", "36,138,37", "--ratio", "1", "-o", out}, "S,W,N,E"},
      {{"mosaic", sample, "--bbox", "36:22:00,138:53:00,36:21:00,138:55:00", "--ratio", "1", "-o", out}, "S < N"},
      {{"mosaic", sample, "--bbox", "north,138,37,139", "--ratio", "1", "-o", out}, "not an angle"},
      {{"mosaic", sample, "--bbox", bbox, "--ratio", "0", "-o", out}, "--ratio"},
      {{"mosaic", sample, "--bbox", bbox, "--scale", "25000", "-o", out}, "--scale"},
      {{"mosaic", sample, "--bbox", bbox, "--ratio", "1", "--datum", "jgd", "-o", out}, "--datum"},
      {{"mosaic", sample, "--bbox", bbox, "--ratio", "1", "-o", (dir / "m.tif").string()}, ".png or .bmp"},
      {{"mosaic", sample, "--bbox", bbox, "--ratio", "1", "-o", (dir / "exists.png").string()}, "exists"},
      {{"mosaic", sample, "--bbox", "30,130,40,145", "--ratio", "2", "-o", out}, "too large"},
      {{"mosaic", (dir / "nothing").string(), "--bbox", bbox, "--ratio", "1", "-o", out}, "no map data"},
      {{"mosaic", sample, "--bbox", bbox, "--ratio", "1", "--series", "2", "-o", out}, "series"},
      {{"mosaic", "--bbox", bbox, "--ratio", "1", "-o", out}, "usage"},
  };
  for (const SCase& c : cases) {
    const testutil::SRunResult r = testutil::runCli(withProfile(dir, c.args));
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  EXPECT_FALSE(fs::exists(out));
}

TEST(MosaicCli, AMapScaleHoldsOnTheGroundAwayFromThePlanesMiddle) {
  // Boxes along the north and the south edge of the sample sheets: a plane pixel covers a little
  // less or more ground across there than at the middle latitude, and 1:25,000 follows the
  // ground (1 km is 3779 / 25 screen pixels at 96 dpi), not the pixel.
  mosaic::CMapCollection collection;
  ASSERT_TRUE(collection.AddFolder(testutil::sampleDir() / "map25000"));
  const auto& sheets = collection.sheets(MapSeries::Scale25000);
  ASSERT_FALSE(sheets.empty());
  mosaic::SFrameSeconds all = sheets.front().frame;
  for (const auto& s : sheets) {
    all.north = std::max(all.north, s.frame.north);
    all.south = std::min(all.south, s.frame.south);
    all.west = std::min(all.west, s.frame.west);
    all.east = std::max(all.east, s.frame.east);
  }
  const auto dms = [](double seconds) {
    const int d = static_cast<int>(seconds / 3600), m = static_cast<int>((seconds - d * 3600) / 60);
    return std::to_string(d) + ":" + std::to_string(m) + ":" + std::to_string(seconds - d * 3600 - m * 60);
  };
  QTemporaryDir tmp;
  const fs::path dir = tmp.path().toStdString();
  const struct {
    const char* name;
    double south, north;
  } kRows[] = {{"north edge", all.north - 60, all.north - 30}, {"south edge", all.south + 30, all.south + 60}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    const std::string bbox = dms(r.south) + "," + dms(all.west + 10) + "," + dms(r.north) + "," + dms(all.east - 10);
    const testutil::SRunResult run = testutil::runCli(withProfile(
        dir, {"mosaic", (testutil::sampleDir() / "map25000").string(), "--bbox", bbox, "--scale", "1:25000", "-o",
              (dir / "s.png").string(), "--force"}));
    ASSERT_EQ(run.status, 0) << run.err;
    // Bessel parallel at the box's latitude: metres of the box across.
    const double a = 6377397.155, f = 0.00334277318, e2 = f * (2 - f);
    const double phi = (r.south + r.north) / 2 / 3600 * M_PI / 180;
    const double metres = a / std::sqrt(1 - e2 * std::sin(phi) * std::sin(phi)) * std::cos(phi) * M_PI / 180 / 3600 *
                          (all.east - all.west - 20);
    const double want = metres * 9447.0 / 2.5 / 25000;
    EXPECT_NEAR(json(run)["width"].toInt() / want, 1.0, 0.0008) << run.out;
  }
}
