// Grid lines on exported pictures and printed pages: drawn band by band or page by page exactly
// as in one piece, labels inside each page's map part, the declination in the header.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>

#include "display/GridOverlay.h"
#include "geodesy/MagneticDeclination.h"
#include "output/CBgrImage.h"
#include "output/MapImageExport.h"
#include "output/PrintGrid.h"
#include "output/PrintLayout.h"

namespace {

SheetFrame sheetFrame() {
  SheetFrame f;
  f.Setup(DmsAngle(35, 40, 0.0), DmsAngle(139, 37, 30.0), DmsAngle(35, 35, 0.0), DmsAngle(139, 45, 0.0), 0, 0, 4520,
          3700, 1.0, 1.0, Datum::Tokyo);
  return f;
}

QRgb bgrAt(const CBgrImage& img, int x, int y) {
  const std::uint8_t* p = img.scanLine(y) + 3 * x;
  return qRgb(p[2], p[1], p[0]);
}

TEST(GridOutput, ExportedLinesAreTheSameAcrossBandSeams) {
  QImage sheet(1400, 1700, QImage::Format_RGB32);
  sheet.fill(qRgb(250, 250, 240));
  const SheetFrame frame = sheetFrame();
  const map_export::SExportGrid grid{frame, map_export::ExportGridOptions(SGridOverlayOptions{}, frame, 1)};
  const struct {
    const char* name;
    std::int32_t bits;
  } kOptions[] = {{"UTM grid", kExportUtmGrid},
                  {"graticule", kExportGraticule},
                  {"magnetic north", kExportMagneticNorth},
                  {"all three", kExportGridMask}};
  // Three bands of 500 rows and a short one; labels of northing lines sit across seams.
  const QRect area(130, 40, 1210, 1620);
  for (const auto& c : kOptions) {
    SCOPED_TRACE(c.name);
    CBgrImage banded;
    ASSERT_TRUE(map_export::RenderMapImage(sheet, area, nullptr, c.bits, banded, &grid));
    // The same lines drawn on the whole picture at once.
    QImage whole = sheet.copy(area);
    SGridOverlayOptions o = grid.options;
    o.utm = c.bits & kExportUtmGrid;
    o.graticule = c.bits & kExportGraticule;
    o.magneticNorth = c.bits & kExportMagneticNorth;
    CGridOverlay lines;
    lines.Build(frame, area, o);
    ASSERT_FALSE(lines.empty());
    {
      QPainter p(&whole);
      lines.Paint(p, -QPointF(area.topLeft()));
    }
    // Labels come out whole, pixel for pixel, wherever the seams fall.
    EXPECT_EQ(lines.labels().empty(), c.bits == kExportMagneticNorth);
    for (const SGridLabel& l : lines.labels()) {
      EXPECT_TRUE(QRectF(area).contains(l.box));
      const QRect box = l.box.toAlignedRect().adjusted(1, 1, -1, -1).translated(-area.topLeft()) & QRect(QPoint(0, 0), area.size());
      int cut = 0;
      for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
          cut += (bgrAt(banded, x, y) & 0xFFFFFF) != (whole.pixel(x, y) & 0xFFFFFF);
      EXPECT_EQ(cut, 0) << l.text.toStdString() << " at " << box.top();
    }
    // Lines: a line cut at a seam is drawn on from there, so it may step by a pixel, and a dash
    // pattern starts anew within a dash's length of the seam; it never stops.
    int drawn = 0, astray = 0;
    const auto near = [&](int x, int y, QRgb colour) {
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if (whole.rect().contains(x + dx, y + dy) && (whole.pixel(x + dx, y + dy) & 0xFFFFFF) == colour) return true;
      return false;
    };
    const QRgb paper = qRgb(250, 250, 240) & 0xFFFFFF;
    for (int y = 0; y < area.height(); ++y)
      for (int x = 0; x < area.width(); ++x) {
        const QRgb got = bgrAt(banded, x, y) & 0xFFFFFF;
        drawn += got != paper;
        const int fromSeam = std::min(y % map_export::kBandRows, map_export::kBandRows - y % map_export::kBandRows);
        if (got != paper && got != (whole.pixel(x, y) & 0xFFFFFF) && !near(x, y, got) && fromSeam > 6) ++astray;
      }
    EXPECT_GT(drawn, 1000);
    EXPECT_EQ(astray, 0);
  }
  // Without the grid's georeference the bits draw nothing.
  CBgrImage plain;
  ASSERT_TRUE(map_export::RenderMapImage(sheet, area, nullptr, kExportGridMask, plain));
  EXPECT_EQ(bgrAt(plain, 600, 600) & 0xFFFFFF, qRgb(250, 250, 240) & 0xFFFFFF);
}

TEST(GridOutput, PrintedPagesLabelInsideTheirOwnMapPart) {
  PrintInfo info;
  info.scaleX = info.scaleY = 600.0 / 96.0;
  info.dpiRatioX = info.dpiRatioY = 600.0 / 96.0;
  info.printerDpiX = 600.0;
  SheetFrame printer = sheetFrame();
  printer.SetScale(info.scaleX, info.scaleX);
  const SGridOverlayOptions o = print::PrintGridOptions(SGridOverlayOptions{}, printer, info);
  // 4 cm of paper at this scale: 600 dpi and 2.5 m sheet pixels at 6.25 printer pixels each.
  EXPECT_NEAR(o.magneticSpacingM, 0.04 / 0.0254 * 600.0 * 2.5 / 6.25, 2.5);
  EXPECT_DOUBLE_EQ(o.utmSpacingM, 1000.0);
  EXPECT_GT(o.lineWidth, 2.0);

  // Two pages side by side; each page's picture holds every label of its part whole.
  const QSize pageSize(1800, 1400);
  for (int page = 0; page < 2; ++page) {
    SCOPED_TRACE(page);
    const QRect src(page * 288, 0, 288, 224);  // sheet pixels of the page's map part
    const QRect dest(0, 0, pageSize.width(), pageSize.height());
    QImage img(pageSize, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    print::DrawPageGrid(p, printer, o, print::kOptGridMask, info, src, dest);
    p.end();
    const QRect area(int(src.left() * info.scaleX), int(src.top() * info.scaleX), dest.width(), dest.height());
    SGridOverlayOptions all = o;
    all.utm = all.graticule = all.magneticNorth = true;
    CGridOverlay lines;
    lines.Build(printer, area, all);
    EXPECT_FALSE(lines.labels().empty());
    for (const SGridLabel& l : lines.labels()) EXPECT_TRUE(QRectF(area).contains(l.box)) << l.text.toStdString();
    int coloured = 0;
    for (int y = 0; y < img.height(); y += 3)
      for (int x = 0; x < img.width(); x += 3) coloured += (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_GT(coloured, 500);
  }

  const print::SPrintDeclination d = print::PrintDeclination(sheetFrame(), QRect(0, 0, 4520, 3700), 2026.5);
  EXPECT_LT(d.degrees, -7.0);
  EXPECT_EQ(d.text, "磁針方位 " + geodesy::DeclinationText(d.degrees) + " (2026年)");
  EXPECT_EQ(d.text.rfind("磁針方位 西偏 7°", 0), 0u);
  // The header band is there for the declination alone.
  EXPECT_EQ(print::PageMapTop(print::kOptMagneticNorth, 1.0), print::PageMapTop(print::kOptScaleBar, 1.0));
  EXPECT_LT(print::PageMapTop(print::kOptUtmGrid, 1.0), print::PageMapTop(print::kOptMagneticNorth, 1.0));
}

}  // namespace
