#include <gtest/gtest.h>
#include <png.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "display/ScaledSheetBitmap.h"
#include "display/TrekOverlay.h"
#include "trek/CMarkerPoint.h"
#include "output/CBgrImage.h"
#include "output/MapImageExport.h"
#include "output/PrintableSheet.h"
#include "output/WorldFile.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace fs = std::filesystem;

namespace {

QRgb patternAt(int x, int y) { return qRgb((x * 7) & 0xFF, (y * 5) & 0xFF, (x + y) & 0xFF); }

QImage patternSheet(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) row[x] = patternAt(x, y);
  }
  return image;
}

QRgb pictureAt(const CBgrImage& picture, int x, int y) {
  const std::uint8_t* p = picture.scanLine(y) + 3 * x;
  return qRgb(p[2], p[1], p[0]);
}

// The picture's pixels against `area` of `expected`; stops at the first difference.
::testing::AssertionResult samePixels(const CBgrImage& picture, const QImage& expected, const QRect& area) {
  if (picture.width() != area.width() || picture.height() != area.height())
    return ::testing::AssertionFailure() << "size " << picture.width() << "x" << picture.height();
  for (int y = 0; y < area.height(); ++y)
    for (int x = 0; x < area.width(); ++x) {
      const QRgb want = expected.pixel(area.left() + x, area.top() + y) | 0xFF000000u;
      if (pictureAt(picture, x, y) != want)
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << " of the area differs";
    }
  return ::testing::AssertionSuccess();
}

class CProfileScope {
 public:
  CProfileScope() { platform::setProfile(&m_profile); }
  ~CProfileScope() { platform::setProfile(nullptr); }
  platform::CMemoryProfile& profile() { return m_profile; }

 private:
  platform::CMemoryProfile m_profile;
};

class CDialogScope {
 public:
  CDialogScope() {
    platform::setFileDialog(&dialog);
    platform::setPrompt(&prompt);
  }
  ~CDialogScope() {
    platform::setFileDialog(nullptr);
    platform::setPrompt(nullptr);
  }
  platform::CScriptedFileDialog dialog;
  platform::CScriptedPrompt prompt;
};

fs::path tempPath(const QTemporaryDir& dir, const char* name) { return fs::path(dir.path().toStdString()) / name; }

TEST(MapExport, BandsOf500RowsFromTheTop) {
  const struct {
    QRect area;
    std::vector<int> heights;
  } kCases[] = {
      {QRect(0, 0, 10, 1200), {500, 500, 200}},
      {QRect(3, 37, 10, 1000), {500, 500}},
      {QRect(0, 5, 10, 300), {300}},
      {QRect(0, 0, 10, 1), {1}},
      {QRect(0, 0, 10, 501), {500, 1}},
      {QRect(0, 0, 10, 0), {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.area.height());
    const std::vector<QRect> bands = map_export::Bands(c.area);
    ASSERT_EQ(bands.size(), c.heights.size());
    int top = c.area.top();
    for (std::size_t i = 0; i < bands.size(); ++i) {
      EXPECT_EQ(bands[i], QRect(c.area.left(), top, c.area.width(), c.heights[i]));
      top += c.heights[i];
    }
  }
}

TEST(MapExport, NameBitsCountOnlyWithTheirLineOrIcon) {
  const struct {
    std::int32_t stored, effective;
  } kStored[] = {{15, 15}, {0, 0}, {2, 0}, {8, 0}, {10, 0}, {3, 3}, {12, 12}, {6, 4}, {9, 1}, {0x7F, 0x7F},
                 {0x10, 0x10}, {0x62, 0x60}, {0xFF, 0x7F}, {0x180, 0}};
  for (const auto& c : kStored) EXPECT_EQ(map_export::EffectiveOptions(c.stored), c.effective) << c.stored;

  const struct {
    bool lines, trackNames, icons, waypointNames;
    std::int32_t bits;
  } kChecks[] = {
      {true, true, true, true, 15}, {false, true, false, true, 0}, {true, false, true, true, 13},
      {false, false, true, false, 4}, {true, true, false, true, 3},
  };
  for (const auto& c : kChecks)
    EXPECT_EQ(map_export::OptionsFromChecks(c.lines, c.trackNames, c.icons, c.waypointNames), c.bits);

  CProfileScope scope;
  EXPECT_EQ(map_export::ReadOptions(), kDefaultExportOptions);
  scope.profile().writeInt("Settings", "SaveMapimgOption", 10);
  EXPECT_EQ(map_export::ReadOptions(), 0);
  map_export::WriteOptions(14);
  EXPECT_EQ(scope.profile().readInt("Settings", "SaveMapimgOption", -1), 12);
}

TEST(MapExport, ExtensionRules) {
  const struct {
    const char* typed;
    int filter;  // 0 bitmap, 1 PNG
    const char* saved;
    ImageFormat format;
  } kCases[] = {
      {"/d/map", 1, "/d/map.png", ImageFormat::Png},
      {"/d/map", 0, "/d/map.bmp", ImageFormat::Bmp},
      {"/d/map.PNG", 1, "/d/map.PNG.png", ImageFormat::Png},
      {"/d/map.bmp", 1, "/d/map.bmp", ImageFormat::Bmp},
      {"/d/map.png", 0, "/d/map.png", ImageFormat::Png},
      {"/d/map.Bmp", 0, "/d/map.Bmp.bmp", ImageFormat::Bmp},
      {"/d/map.jpg", 1, "/d/map.jpg.png", ImageFormat::Png},
      {"/d.png/map", 0, "/d.png/map.bmp", ImageFormat::Bmp},
      {"/d/map.", 1, "/d/map..png", ImageFormat::Png},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    const fs::path saved = map_export::WithImageExtension(c.typed, c.filter);
    EXPECT_EQ(saved, fs::path(c.saved));
    EXPECT_EQ(map_export::FormatOfPath(saved), c.format);
  }
  EXPECT_EQ(map_export::FormatOfPath("/d/map.PnG"), ImageFormat::Png);
  EXPECT_EQ(map_export::FormatOfPath("/d/map"), std::nullopt);
}

TEST(MapExport, ChooseImageFileAsksBeforeReplacing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path existing = tempPath(dir, "old.png");
  testutil::writeFile(existing, "old");
  const std::string question = "ファイル [ " + existing.string() + " ] は、既に存在します。\r\n上書きしますか？";
  using A = platform::EPromptAnswer;
  const struct {
    const char* name;
    std::vector<A> answers;
    std::vector<std::pair<fs::path, int>> typed;  // what the dialog returns, in turn (then cancel)
    std::optional<fs::path> chosen;
    std::size_t dialogs;
  } kCases[] = {
      {"new file", {}, {{tempPath(dir, "map"), 1}}, tempPath(dir, "map.png"), 1},
      {"replace", {A::Yes}, {{tempPath(dir, "old"), 1}}, existing, 1},
      {"No asks again", {A::No}, {{existing, 0}, {tempPath(dir, "other"), 0}}, tempPath(dir, "other.bmp"), 2},
      {"Cancel at the question", {A::Cancel}, {{existing, 1}, {tempPath(dir, "x"), 1}}, std::nullopt, 1},
      {"dialog cancelled", {}, {}, std::nullopt, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CProfileScope profile;
    CDialogScope ui;
    for (const A a : c.answers) ui.prompt.push(a);
    for (const auto& [path, filter] : c.typed) ui.dialog.pushPath(path, filter);
    const std::optional<map_export::SImageFileChoice> choice = map_export::ChooseImageFile();
    ASSERT_EQ(choice.has_value(), c.chosen.has_value());
    EXPECT_EQ(ui.dialog.requests().size(), c.dialogs);
    EXPECT_EQ(ui.prompt.requests().size(), c.answers.size());
    for (const auto& r : ui.prompt.requests()) {
      EXPECT_EQ(r.text, question);
      EXPECT_EQ(r.icon, platform::EPromptIcon::Question);
      EXPECT_EQ(r.buttons, platform::EPromptButtons::YesNoCancel);
      EXPECT_EQ(r.caption, "Vantoria");
    }
    const platform::SFileDialogRequest& first = ui.dialog.requests().front();
    EXPECT_TRUE(first.save);
    EXPECT_FALSE(first.overwritePrompt);
    EXPECT_EQ(first.title, "地形図の保存");
    EXPECT_EQ(first.filter, "Windowsビットマップ形式(*.bmp)|*.bmp|PNG形式(*.png)|*.png||");
    if (choice) {
      EXPECT_EQ(choice->path, *c.chosen);
      EXPECT_EQ(profile.profile().readString("FileDlgSettings", "SaveMapImg", ""), dir.path().toStdString());
    } else {
      EXPECT_FALSE(profile.profile().contains("FileDlgSettings", "SaveMapImg"));
    }
  }
  // The remembered folder is where the next dialog opens.
  CProfileScope profile;
  CDialogScope ui;
  profile.profile().writeString("FileDlgSettings", "SaveMapImg", "/some/folder");
  (void)map_export::ChooseImageFile();
  EXPECT_EQ(ui.dialog.requests().front().initialDir, fs::path("/some/folder"));
}

TEST(MapExport, PicturesAreTheSheetsPixelsInEveryBand) {
  // Widths give row strides 4, 12, 16, 24 and 12012 bytes; heights cross band seams. With an
  // overlay holding nothing, the band path must still give the sheet's pixels.
  const QImage sheet = patternSheet(4100, 1300);
  const TrekOverlay empty;
  const struct {
    QRect area;
    int stride;
  } kCases[] = {
      {QRect(0, 0, 1, 1), 4},        {QRect(10, 20, 4, 3), 12},      {QRect(99, 0, 5, 1200), 16},
      {QRect(7, 290, 8, 1001), 24},  {QRect(0, 0, 4003, 2), 12012},  {QRect(50, 100, 300, 1200), 900},
  };
  for (const auto& c : kCases) {
    for (const TrekOverlay* overlay : {static_cast<const TrekOverlay*>(nullptr), &empty}) {
      SCOPED_TRACE(testing::Message() << c.area.width() << "x" << c.area.height() << (overlay ? " bands" : " direct"));
      CBgrImage picture;
      ASSERT_TRUE(map_export::RenderMapImage(sheet, c.area, overlay, 15, picture));
      EXPECT_EQ(picture.stride(), c.stride);
      EXPECT_TRUE(samePixels(picture, sheet, c.area));
      // Row padding stays zero.
      const int used = 3 * c.area.width();
      for (int y = 0; y < picture.height(); ++y)
        for (int i = used; i < c.stride; ++i) ASSERT_EQ(picture.scanLine(y)[i], 0);
    }
  }
  CBgrImage picture;
  EXPECT_FALSE(map_export::RenderMapImage(sheet, QRect(4000, 0, 101, 1), nullptr, 0, picture));
  EXPECT_FALSE(map_export::RenderMapImage(sheet, QRect(), nullptr, 0, picture));
  EXPECT_FALSE(map_export::RenderMapImage(QImage(), QRect(0, 0, 1, 1), nullptr, 0, picture));
  EXPECT_TRUE(picture.isNull());
}

TEST(MapExport, ExportAreaIsTheSelectionInsideTheSheet) {
  const QSize sheet(800, 600);
  EXPECT_EQ(map_export::ExportArea(QRect(), sheet), QRect(0, 0, 800, 600));
  EXPECT_EQ(map_export::ExportArea(QRect(10, 20, 30, 40), sheet), QRect(10, 20, 30, 40));
  EXPECT_EQ(map_export::ExportArea(QRect(700, 500, 300, 300), sheet), QRect(700, 500, 100, 100));
  EXPECT_TRUE(map_export::ExportArea(QRect(900, 0, 10, 10), sheet).isEmpty());
}

TEST(MapExport, WrittenFilesReadBack) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QImage sheet = patternSheet(700, 1100);
  const QRect area(33, 44, 555, 1020);
  CBgrImage picture;
  ASSERT_TRUE(map_export::RenderMapImage(sheet, area, nullptr, 0, picture));
  const SWorldFile world{0.25, 0, 0, -0.5, 139.0, 36.0};
  for (const ImageFormat format : {ImageFormat::Png, ImageFormat::Bmp}) {
    const bool png = format == ImageFormat::Png;
    SCOPED_TRACE(png ? "png" : "bmp");
    const fs::path path = tempPath(dir, png ? "map.png" : "map.bmp");
    std::vector<double> progress;
    ASSERT_TRUE(map_export::WriteMapImage(path, format, picture, world, [&](double f) { progress.push_back(f); }));
    ASSERT_EQ(progress.size(), static_cast<std::size_t>(area.height()));
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    if (!png) {
      EXPECT_EQ(fs::file_size(path), 54u + static_cast<std::uintmax_t>(picture.stride()) * area.height());
    }
    // libpng and Qt's bitmap reader give the area back.
    QImage back;
    if (png) {
      png_image read{};
      read.version = PNG_IMAGE_VERSION;
      ASSERT_TRUE(png_image_begin_read_from_file(&read, path.c_str())) << read.message;
      read.format = PNG_FORMAT_BGRA;
      back = QImage(static_cast<int>(read.width), static_cast<int>(read.height), QImage::Format_ARGB32);
      ASSERT_TRUE(png_image_finish_read(&read, nullptr, back.bits(), static_cast<png_int_32>(back.bytesPerLine()), nullptr));
    } else {
      back = QImage(QString::fromStdString(path.string()));
    }
    ASSERT_EQ(back.size(), area.size());
    EXPECT_TRUE(samePixels(picture, back, back.rect()));
    EXPECT_EQ(testutil::readFile(WorldFilePath(path)), "0.25\n0\n0\n-0.5\n139\n36\n");
    EXPECT_EQ(testutil::readFile(ProjectionFilePath(path)), TokyoDatumWkt());
  }
}

TEST(MapExport, FailedWriteKeepsTheOldFiles) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  CBgrImage picture;
  ASSERT_TRUE(map_export::RenderMapImage(patternSheet(64, 64), QRect(0, 0, 64, 64), nullptr, 0, picture));
  const SWorldFile world{1, 0, 0, -1, 0, 0};
  const fs::path image = tempPath(dir, "map.bmp");
  auto prepare = [&] {
    testutil::writeFile(image, "old picture");
    testutil::writeFile(WorldFilePath(image), "old world");
  };
  auto unchanged = [&] {
    EXPECT_EQ(testutil::readFile(image), "old picture");
    EXPECT_EQ(testutil::readFile(WorldFilePath(image)), "old world");
    EXPECT_FALSE(fs::exists(ProjectionFilePath(image)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "no temporary file left behind";
  };

  // A folder nobody may write to (root may: then there is nothing to see).
  prepare();
  fs::permissions(dir.path().toStdString(), fs::perms::owner_read | fs::perms::owner_exec);
  const bool blocked = !QFile(QString::fromStdString(tempPath(dir, "probe").string())).open(QIODevice::WriteOnly);
  if (blocked) {
    EXPECT_FALSE(map_export::WriteMapImage(image, ImageFormat::Bmp, picture, world));
    EXPECT_FALSE(map_export::WriteMapImage(image, ImageFormat::Png, picture, world));
  }
  fs::permissions(dir.path().toStdString(), fs::perms::owner_all);
  fs::remove(tempPath(dir, "probe"));
  unchanged();

  // A full disk: the file size limit of a child process stops the writes part way.
  prepare();
  const fs::path cli = testutil::cliPath();
  const QString script = QStringLiteral("trap '' XFSZ; ulimit -f 1; exec \"$0\" export \"$1\" 543940 -o \"$2\" --force");
  QProcess child;
  child.start(QStringLiteral("/bin/sh"),
              {QStringLiteral("-c"), script, QString::fromStdString(cli.string()),
               QString::fromStdString((testutil::sampleDir() / "map25000" / "index.csv").string()),
               QString::fromStdString(image.string())});
  ASSERT_TRUE(child.waitForFinished(120000));
  EXPECT_EQ(child.exitCode(), 1);
  EXPECT_NE(child.readAllStandardError().indexOf("cannot write"), -1);
  unchanged();
}

// ---- the sample sheet with the sample trek files

class CSampleSheetExport : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(m_sheet.Open(testutil::sampleDir() / "map25000" / "index.csv", "543940", why)) << why;
    ASSERT_TRUE(m_sheet.AddTrekFile(testutil::sampleDir() / "treks" / "peaks.pmd"));
    ASSERT_TRUE(m_sheet.AddTrekFile(testutil::sampleDir() / "treks" / "tracks.ptd"));
    m_bitmap.setSource(&m_sheet.image());
    ASSERT_FALSE(m_bitmap.Render(1.0, m_sheet.series(), ScaledSheetBitmap::EResample::Nearest).isEmpty());
    m_overlay.Rebuild(m_sheet.treks().Groups(), m_sheet.frame(), 1.0);
    ASSERT_GT(m_overlay.WaypointCount(), 0);
    ASSERT_GT(m_overlay.TrackCount(), 0);
  }

  CPrintableSheet m_sheet;
  ScaledSheetBitmap m_bitmap;
  TrekOverlay m_overlay;
};

TEST_F(CSampleSheetExport, OverlaysLandOnTheScreensPixels) {
  // The map view at 100 % draws each kind over the whole sheet; the export's bands must give the
  // same pixels in any area, across band seams and at the area's edges.
  const QImage& sheet = m_bitmap.Surface();
  const QSize size = m_bitmap.Size();
  for (const std::int32_t options : {kExportTrackLines, kExportWaypointIcons}) {
    QImage screen = sheet.copy();
    {
      QPainter painter(&screen);
      STrekPaintState state;
      state.mapSize = size;
      const EMapOverlay which = options == kExportTrackLines ? EMapOverlay::TrackLogLines : EMapOverlay::WaypointIcons;
      painter.setClipRect(screen.rect());
      m_overlay.Paint(painter, which, screen.rect(), state);
    }
    ASSERT_NE(screen, sheet) << "something is drawn";
    for (const QRect& area : {QRect(QPoint(0, 0), size), QRect(777, 333, 2100, 1777)}) {
      SCOPED_TRACE(testing::Message() << "options " << options << " area " << area.x() << "," << area.y());
      CBgrImage picture;
      ASSERT_TRUE(map_export::RenderMapImage(sheet, area, &m_overlay, options, picture));
      EXPECT_TRUE(samePixels(picture, screen, area));
    }
  }
}

TEST_F(CSampleSheetExport, NamesAboveTheirFlagsAreWholeAtBandSeams) {
  // Areas of 1,030 rows: the last band holds 30. A waypoint 20 rows below the seam has its name
  // put above the flag (the area's bottom edge is near), reaching into the band above.
  const QSize size = m_bitmap.Size();
  int checked = 0;
  for (const WaypointMark& m : m_overlay.Waypoints()) {
    const QRect area(m.x - 200, m.y - 1020, 400, 1030);
    if (!QRect(QPoint(0, 0), size).contains(area)) continue;
    SCOPED_TRACE(m.name);
    // Drawn in one piece: the whole area as one surface.
    QImage whole = m_bitmap.Surface().copy(area);
    {
      QPainter painter(&whole);
      const QRect one(area.topLeft(), QSize(area.width(), 2000));
      m_overlay.DrawWaypointIcons(painter, one);
      m_overlay.DrawWaypointLabels(painter, one, area);
    }
    CBgrImage picture;
    ASSERT_TRUE(map_export::RenderMapImage(m_bitmap.Surface(), area, &m_overlay, kExportWaypointIcons | kExportWaypointNames,
                                           picture));
    EXPECT_TRUE(samePixels(picture, whole, whole.rect()));
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST_F(CSampleSheetExport, NamesAreDrawnOnlyWithTrekOptions) {
  const QRect area(QPoint(0, 0), m_bitmap.Size());
  CBgrImage bare, names, noNames;
  ASSERT_TRUE(map_export::RenderMapImage(m_bitmap.Surface(), area, &m_overlay, 0, bare));
  ASSERT_TRUE(map_export::RenderMapImage(m_bitmap.Surface(), area, &m_overlay, 15, names));
  ASSERT_TRUE(map_export::RenderMapImage(m_bitmap.Surface(), area, &m_overlay, 5, noNames));
  EXPECT_TRUE(samePixels(bare, m_bitmap.Surface(), area));
  const auto differing = [&](const CBgrImage& a, const CBgrImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y) n += std::memcmp(a.scanLine(y), b.scanLine(y), std::size_t(3 * a.width())) != 0;
    return n;
  };
  EXPECT_GT(differing(names, noNames), 0) << "labels add pixels";
  EXPECT_GT(differing(noNames, bare), 0);
}

TEST_F(CSampleSheetExport, WorldFileMatchesTheFrame) {
  const SheetRecord& r = m_sheet.record();
  const SCornerPixel nwPx = r.cornerPixels[kCornerNorthWest];
  const SCornerPixel sePx = r.cornerPixels[kCornerSouthEast];
  // Longitude and latitude of the continuous pixel coordinate (x, y) as a GIS reads the file.
  for (const QPoint topLeft : {QPoint(0, 0), QPoint(1234, 567)}) {
    SCOPED_TRACE(topLeft.x());
    const std::optional<SWorldFile> w = SheetWorldFile(r, topLeft);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->rotationRow, 0.0);
    EXPECT_EQ(w->rotationCol, 0.0);
    const auto lonAt = [&](double x) { return w->centreX + w->pixelWidth * (x - topLeft.x() - 0.5); };
    const auto latAt = [&](double y) { return w->centreY + w->pixelHeight * (y - topLeft.y() - 0.5); };
    const double pixelDeg = w->pixelWidth;
    for (const int corner : {kCornerNorthWest, kCornerSouthWest, kCornerSouthEast, kCornerNorthEast}) {
      SCOPED_TRACE(corner);
      const SCornerPixel& px = r.cornerPixels[std::size_t(corner)];
      // The two corners the mapping is built from are exact; the other two as the catalogue gives them.
      const double tolerance = corner == kCornerNorthWest || corner == kCornerSouthEast ? 1e-9 : pixelDeg;
      EXPECT_NEAR(lonAt(px.x), r.corners[std::size_t(corner)].longitude.ToDegrees(), tolerance);
      EXPECT_NEAR(latAt(px.y), r.corners[std::size_t(corner)].latitude.ToDegrees(), tolerance);
    }
    EXPECT_GT(w->pixelWidth, 0.0);
    EXPECT_LT(w->pixelHeight, 0.0);
    EXPECT_NEAR(w->pixelWidth * (sePx.x - nwPx.x),
                r.corners[kCornerSouthEast].longitude.ToDegrees() - r.corners[kCornerNorthWest].longitude.ToDegrees(), 1e-12);
  }
  // Every waypoint the overlay places lies, by the world file, in the pixel it is drawn at or
  // next to it (the view's frame is widened by 0.01 second for its on-sheet test).
  const std::optional<SWorldFile> w = SheetWorldFile(r, QPoint(0, 0));
  ASSERT_TRUE(w);
  for (const WaypointMark& m : m_overlay.Waypoints()) {
    DmsAngle lat, lon;
    m.waypoint->GetPosition(lat, lon, Datum::Tokyo);
    const double x = (lon.ToDegrees() - w->centreX) / w->pixelWidth + 0.5;
    const double y = (lat.ToDegrees() - w->centreY) / w->pixelHeight + 0.5;
    EXPECT_LE(std::abs(std::floor(x) - m.x), 1) << m.name;
    EXPECT_LE(std::abs(std::floor(y) - m.y), 1) << m.name;
  }
}

TEST_F(CSampleSheetExport, CommandLineWritesTheSameFiles) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path sample = testutil::sampleDir();
  const QRect area(1000, 800, 1500, 1200);
  const fs::path out = tempPath(dir, "part.bmp");
  const testutil::SRunResult run = testutil::runCli(
      {"--profile", tempPath(dir, "profile.ini").string(), "export", (sample / "map25000" / "index.csv").string(),
       "543940", "--rect", "1000,800,2500,2000", "--trek", (sample / "treks" / "peaks.pmd").string(), "--trek",
       (sample / "treks" / "tracks.ptd").string(), "-o", out.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  // The same picture as the engine gives with the default options, the same world file.
  CBgrImage picture;
  ASSERT_TRUE(map_export::RenderMapImage(m_bitmap.Surface(), area, &m_overlay, 15, picture));
  const QImage written(QString::fromStdString(out.string()));
  ASSERT_FALSE(written.isNull());
  EXPECT_TRUE(samePixels(picture, written.convertToFormat(QImage::Format_RGB32), written.rect()));
  const std::optional<SWorldFile> world = SheetWorldFile(m_sheet.record(), area.topLeft());
  ASSERT_TRUE(world);
  EXPECT_EQ(testutil::readFile(WorldFilePath(out)), WorldFileText(*world));
  EXPECT_EQ(testutil::readFile(ProjectionFilePath(out)), TokyoDatumWkt());
  for (const std::string& field :
       {std::string("\"width\": 1500"), std::string("\"height\": 1200"), std::string("\"format\": \"bmp\""),
        "\"bytes\": " + std::to_string(fs::file_size(out)), std::string("\"options\": 15"),
        "\"path\": \"" + WorldFilePath(out).string() + "\""})
    EXPECT_NE(run.out.find(field), std::string::npos) << field << " in " << run.out;

  // Refusals: no file is written.
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* error;
  } kRefused[] = {
      {"other extension", {"-o", tempPath(dir, "x.jpg").string()}, "must end in .png or .bmp"},
      {"rect outside", {"--rect", "9000,9000,9100,9100", "-o", tempPath(dir, "x.png").string()}, "outside the sheet"},
      {"options", {"--options", "128", "-o", tempPath(dir, "x.png").string()}, "--options must be 0..127"},
  };
  for (const auto& c : kRefused) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"export", (sample / "map25000" / "index.csv").string(), "543940"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testutil::SRunResult r = testutil::runCli(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(tempPath(dir, "x.png")));
  EXPECT_FALSE(fs::exists(tempPath(dir, "x.jpg")));
}

TEST(WorldFile, NamesAndTexts) {
  const struct {
    const char* image;
    const char* world;
    const char* prj;
  } kCases[] = {
      {"/d/map.png", "/d/map.pgw", "/d/map.prj"},
      {"/d/map.bmp", "/d/map.bpw", "/d/map.prj"},
      {"/d/map.PNG.png", "/d/map.PNG.pgw", "/d/map.PNG.prj"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(WorldFilePath(c.image), fs::path(c.world));
    EXPECT_EQ(ProjectionFilePath(c.image), fs::path(c.prj));
  }
  EXPECT_EQ(WorldFileText({1.0 / 3, 0, 0, -0.125, 138.75, 36.5}),
            "0.333333333333333\n0\n0\n-0.125\n138.75\n36.5\n");
  const std::string wkt = TokyoDatumWkt();
  EXPECT_NE(wkt.find("SPHEROID[\"Bessel 1841\",6377397.155,299.152813]"), std::string::npos) << wkt;
  EXPECT_NE(wkt.find("TOWGS84[-147.54,507.26,680.47,0,0,0,0]"), std::string::npos) << wkt;
  EXPECT_EQ(wkt.find("AUTHORITY"), std::string::npos);

  SheetRecord flat;
  flat.cornerPixels[kCornerNorthWest] = {100, 100};
  flat.cornerPixels[kCornerSouthEast] = {100, 900};
  EXPECT_FALSE(SheetWorldFile(flat, QPoint(0, 0)));
}

}  // namespace
