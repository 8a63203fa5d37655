// Real print output: the sample sheet printed to PDF, read back with poppler's tools. Page count,
// the scale on paper, the header texts and where the trek overlays land.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <string>

#include "common/TestUtil.h"
#include "output/PrintRun.h"
#include "output/PrintableSheet.h"
#include "platform/Codepage.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/CTrackPoint.h"
#include "trek/CTrekData.h"

namespace {

constexpr const char* kMesh = "543836";

std::filesystem::path sampleIndex() { return testutil::sampleDir() / "map25000" / "index.csv"; }

bool havePoppler() {
  return !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty() &&
         !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

/// Output of a poppler tool; empty when it fails.
std::string run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(120000) || p.exitCode() != 0) return {};
  return p.readAllStandardOutput().toStdString();
}

/// Page `page` of a PDF as an image at `dpi`.
QImage rasterPage(const QString& pdf, int page, int dpi, const QString& dir) {
  const QString prefix = dir + QStringLiteral("/page");
  run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QString::number(page),
                                   QStringLiteral("-l"), QString::number(page), QStringLiteral("-singlefile"),
                                   QStringLiteral("-png"), pdf, prefix});
  return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

/// Bounding box of the pixels for which `pick` holds.
template <class Pick>
QRect boxOf(const QImage& image, Pick pick) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (pick(row[x])) box |= QRect(x, y, 1, 1);
  }
  return box;
}

bool isGreen(QRgb c) { return qGreen(c) > 150 && qRed(c) < 60 && qBlue(c) < 60; }

class PrintPdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(sampleIndex())) GTEST_SKIP() << "sample data not built";
    if (!havePoppler()) GTEST_SKIP() << "poppler-utils (pdftoppm, pdftotext) not installed";
    ASSERT_TRUE(m_dir.isValid());
    std::string why;
    ASSERT_TRUE(m_sheet.Open(sampleIndex(), kMesh, why)) << why;
    print::InstallPrintFontSubstitutes();
  }
  QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir m_dir;
  CPrintableSheet m_sheet;
};

TEST_F(PrintPdfTest, SampleSheetAt25000OnA4) {
  const QString pdf = path("sheet.pdf");
  const auto r = testutil::runCli({"print", sampleIndex().string(), kMesh, "-o", pdf.toStdString(), "--magnification",
                                   "1:25,000", "--trek", (testutil::sampleDir() / "treks" / "peaks.pmd").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"pagesAcross\": 3"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"pagesDown\": 2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"printedPages\": 6"), std::string::npos) << r.out;
  EXPECT_NE(run(QStringLiteral("pdfinfo"), {pdf}).find("Pages:           6"), std::string::npos);

  // Every page carries the sheet name and its number.
  for (int page = 1; page <= 6; ++page) {
    SCOPED_TRACE(page);
    const std::string text = run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                                               QString::number(page), pdf, QStringLiteral("-")});
    EXPECT_NE(text.find("柚ノ木"), std::string::npos) << text;
    EXPECT_NE(text.find("(" + std::to_string(page) + "/6)"), std::string::npos) << text;
    EXPECT_NE(text.find("2.0km"), std::string::npos) << text;
  }

  // Pages 2..3 only, and a failed print leaves the previous file whole.
  const auto part = testutil::runCli({"print", sampleIndex().string(), kMesh, "-o", pdf.toStdString(), "--pages", "2-3", "--force"});
  ASSERT_EQ(part.status, 0) << part.err;
  EXPECT_NE(run(QStringLiteral("pdfinfo"), {pdf}).find("Pages:           2"), std::string::npos);
  const auto bad = testutil::runCli({"print", sampleIndex().string(), kMesh, "-o", pdf.toStdString(), "--magnification", "4%", "--force"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(run(QStringLiteral("pdfinfo"), {pdf}).find("Pages:           2"), std::string::npos);
}

TEST_F(PrintPdfTest, MapImagesAreStoredLosslessly) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty()) GTEST_SKIP() << "pdfimages not installed";
  const QString pdf = path("lossless.pdf");
  const auto r = testutil::runCli({"print", sampleIndex().string(), kMesh, "-o", pdf.toStdString(), "--magnification",
                                   "1:25,000", "--options", "7"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.out.find("\"printedPages\": 6"), std::string::npos) << r.out;

  // One map picture per page, none of them JPEG (pdfimages calls Flate and plain data "image").
  const std::string list = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
  int pictures = 0;
  for (std::size_t at = list.find('\n', list.find("-----")); at != std::string::npos && at + 1 < list.size();
       at = list.find('\n', at + 1)) {
    const std::string row = list.substr(at + 1, list.find('\n', at + 1) - at - 1);
    if (row.find("image") == std::string::npos) continue;
    ++pictures;
    EXPECT_EQ(row.find("jpeg"), std::string::npos) << row;
    EXPECT_NE(row.find(" rgb "), std::string::npos) << row;
  }
  EXPECT_EQ(pictures, 6) << list;

  // Page 1's picture is the top-left part of the sheet, pixel for pixel as the export saves it.
  run(QStringLiteral("pdfimages"), {QStringLiteral("-png"), QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                   QStringLiteral("1"), pdf, path("img")});
  const QImage printed = QImage(path("img-000.png")).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(printed.isNull());
  ASSERT_GT(printed.width(), 500);
  const QString png = path("export.png");
  const auto e = testutil::runCli({"export", sampleIndex().string(), kMesh, "--rect",
                                   "0,0," + std::to_string(printed.width()) + "," + std::to_string(printed.height()), "-o",
                                   png.toStdString()});
  ASSERT_EQ(e.status, 0) << e.err;
  const QImage exported = QImage(png).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(exported.size(), printed.size());
  std::int64_t differing = 0;
  for (int y = 0; y < printed.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(printed.constScanLine(y));
    const auto* b = reinterpret_cast<const QRgb*>(exported.constScanLine(y));
    for (int x = 0; x < printed.width(); ++x) differing += (a[x] & 0xFFFFFF) != (b[x] & 0xFFFFFF);
  }
  EXPECT_EQ(differing, 0);

  // Flate of the few-colour rows: a small part of the raw 24-bit pictures.
  const std::int64_t raw = std::int64_t{3} * printed.width() * printed.height() * 6;
  EXPECT_LT(QFileInfo(pdf).size(), raw / 4);
}

TEST_F(PrintPdfTest, OneKilometreIsFortyMillimetresAndOverlaysLandOnTheirGround) {
  // A 1 km x 1 km selection (400 sheet pixels of 2.5 m) painted all green, with one waypoint
  // in it, at 1:25,000 without header items.
  SMapRenderSettings green;
  green.scheme25.colours.fill(0x00C000);
  const QRect selection(1000, 1000, 400, 400);
  const QPoint wpPixel(1200, 1300);
  CTrekGroupList::GroupList groups;
  auto group = std::make_unique<CTrekData>();
  group->SetKind(CTrekData::kWaypointGroup);
  auto wp = std::make_unique<CMarkerPoint>();
  wp->name = "A";
  // The middle of the pixel, so that truncation cannot move it to a neighbour.
  const SheetFrame& frame = m_sheet.frame();
  GeoPosition g = *frame.PixelToGeo(wpPixel.x(), wpPixel.y(), Datum::Wgs84);
  g.latitude = DmsAngle::Subtract(g.latitude, DmsAngle::DivideBy(frame.latitudeStep(Datum::Wgs84), 2.0));
  g.longitude = DmsAngle::Add(g.longitude, DmsAngle::DivideBy(frame.longitudeStep(Datum::Wgs84), 2.0));
  wp->SetPosition(g.latitude, g.longitude, Datum::Wgs84);
  group->AppendWaypoint(std::move(wp));
  groups.push_back(std::move(group));

  SPrintSheet sheet = m_sheet.PrintSheet(green, selection);
  sheet.groups = &groups;
  for (const int dpi : {300, 600}) {
    SCOPED_TRACE(dpi);
    PrintInfo info;
    info.magnificationMode = print::EMagnificationMode::Specified;
    info.magnification = -25000;
    info.printSelection = true;
    info.options = print::kOptWaypointIcons;
    print::SPdfTarget target;
    target.path = path("km.pdf").toStdString();
    target.dpi = dpi;
    const print::SPdfReport report = print::PrintToPdf(sheet, info, target);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(info.maxPage, 1u);

    const QImage page = rasterPage(path("km.pdf"), 1, 254, m_dir.path());  // 10 pixels per millimetre
    ASSERT_FALSE(page.isNull());
    const QRect map = boxOf(page, isGreen);
    EXPECT_NEAR(map.width(), 400, 5);   // 40 mm within 0.5 mm
    EXPECT_NEAR(map.height(), 400, 5);
    EXPECT_NEAR(map.left(), 50, 2);     // the 5 mm margin

    // The flag's pole foot: the lower-left corner of everything drawn over the green.
    const QRect flag = boxOf(page, [&map](QRgb c) { return !isGreen(c) && qGray(c) < 200; }) & map;
    ASSERT_FALSE(flag.isEmpty());
    const double wantX = map.left() + (wpPixel.x() - selection.left()) * 400.0 / 400;  // 1 sheet pixel = 1 raster pixel
    const double wantY = map.top() + (wpPixel.y() - selection.top()) * 400.0 / 400;
    EXPECT_NEAR(flag.left(), wantX, 5);
    EXPECT_NEAR(flag.bottom(), wantY, 5);
  }
}

TEST_F(PrintPdfTest, TrackNameAtThePageTopIsPrintedBelowItsPoint) {
  // A track log entering page 4 (row 2, column 1 of 3 x 2 at 1:25,000) just below its top edge,
  // falling to the right: its name would go above the point, into the page header.
  const SheetFrame& frame = m_sheet.frame();
  const auto geoAt = [&frame](QPoint p) { return *frame.PixelToGeo(p.x(), p.y(), Datum::Wgs84); };
  CTrekGroupList::GroupList groups;
  auto group = std::make_unique<CTrekData>();
  group->SetKind(CTrekData::kTrackLogGroup);
  auto log = std::make_unique<CTrackLog>();
  log->name = platform::cp932::fromUtf8("霞野峠越え").text;
  for (const QPoint p : {QPoint(300, 2801), QPoint(400, 2850), QPoint(500, 2900)}) {
    CTrackPoint tp;
    const GeoPosition g = geoAt(p);
    tp.SetPosition(g.latitude, g.longitude, Datum::Wgs84);
    log->AppendPoint(tp);
  }
  group->AppendTrackLog(std::move(log));
  groups.push_back(std::move(group));
  SPrintSheet sheet = m_sheet.PrintSheet({});
  sheet.groups = &groups;

  PrintInfo info;
  info.magnificationMode = print::EMagnificationMode::Specified;
  info.magnification = -25000;
  info.options = print::kOptHeaderMask | print::kOptTrackLines | print::kOptTrackNames;
  info.fromPage = info.toPage = 4;
  print::SPdfTarget target;
  target.path = path("top.pdf").toStdString();
  const print::SPdfReport report = print::PrintToPdf(sheet, info, target);
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(info.pagesAcross, 3);
  const int pageTop = print::PageSourceRect(info.sourceRect, info.scale(),
                                            QSize(info.pageWidth, info.pageHeight - info.mapTop), {2, 1}).top();
  ASSERT_LT(pageTop, 2801);
  ASSERT_GT(pageTop, 2801 - 10);

  // Where the name's text lies on the page, in points from the top: below the map's top edge.
  const std::string boxes = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path("top.pdf"), QStringLiteral("-")});
  const auto word = boxes.find("霞");
  ASSERT_NE(word, std::string::npos) << boxes;
  const auto tag = boxes.rfind("<word", word);
  const auto yMinAt = boxes.find("yMin=\"", tag);
  ASSERT_LT(yMinAt, word);
  const double yMin = std::atof(boxes.c_str() + yMinAt + 6);
  const double mapTopPt = (target.marginMm / 25.4 + double(info.mapTop) / target.dpi) * 72;
  EXPECT_GT(yMin, mapTopPt);
  EXPECT_LT(yMin, mapTopPt + 20);  // still beside its point
}

TEST(PrintCli, MagnificationAndScaleBarReports) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> want;
  } kCases[] = {
      {{"magnification", "1:25000"}, {"\"code\": -25000", "\"text\": \"1:25,000\"", "\"ratio\": 0.37787"}},
      {{"magnification", "1:50000", "--series", "2"}, {"\"code\": -50000", "\"ratio\": 0.3779"}},
      {{"magnification", "150"}, {"\"code\": 150", "\"text\": \"150%\"", "\"ratio\": 1.5"}},
      {{"magnification", "1:500"}, {"\"code\": 0", "\"text\": null"}},
      {{"scalebar", "--width", "397", "--ratio", "0.37788", "--series", "1"},
       {"\"lengthM\": 2000", "\"tenth\": 30", "\"barWidth\": 300", "\"x0\": 48"}},
      {{"scalebar", "--width", "10", "--ratio", "1", "--series", "1"}, {"\"visible\": false"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args[1]);
    const auto r = testutil::runCli(c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& w : c.want) EXPECT_NE(r.out.find(w), std::string::npos) << w << " in " << r.out;
  }
}

}  // namespace
