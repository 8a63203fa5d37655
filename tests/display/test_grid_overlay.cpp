#include "display/GridOverlay.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "display/SampleViewFixture.h"
#include "geodesy/GridReference.h"
#include "geodesy/MagneticDeclination.h"

namespace {

using geodesy::FromUtm;

// A 1:25,000 sheet of 5' x 7'30" in the Tokyo datum with 2.5 m pixels, at `ratio`.
SheetFrame sheetFrame(double ratio, int lonDeg = 139, int lonMin = 37, double lonSec = 30.0) {
  SheetFrame f;
  const DmsAngle west(lonDeg, lonMin, lonSec);
  const DmsAngle east = DmsAngle::Add(west, DmsAngle(0, 7, 30.0));
  f.Setup(DmsAngle(35, 40, 0.0), west, DmsAngle(35, 35, 0.0), east, 0, 0, 4520, 3700, ratio, ratio, Datum::Tokyo);
  return f;
}

QRgb rgbOf(std::uint32_t colorRef) {
  return qRgb(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

// Pixels of `colour` within one pixel of (x, y) in the row or column given.
bool lineNear(const QImage& img, double x, double y, QRgb colour, bool alongRow) {
  for (int d = -1; d <= 1; ++d) {
    const int px = alongRow ? int(std::floor(x)) + d : int(std::floor(x));
    const int py = alongRow ? int(std::floor(y)) : int(std::floor(y)) + d;
    if (img.rect().contains(px, py) && (img.pixel(px, py) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
  }
  return false;
}

TEST(GridOverlay, UtmLinesLandWhereTheConversionPutsThem) {
  const struct {
    const char* name;
    double ratio;
    double spacing;
  } kZooms[] = {{"25 %", 0.25, 1000.0}, {"100 %", 1.0, 1000.0}, {"300 %", 3.0, 100.0}};
  for (const auto& z : kZooms) {
    SCOPED_TRACE(z.name);
    EXPECT_DOUBLE_EQ(UtmSpacingForRatio(z.ratio), z.spacing);
    const SheetFrame frame = sheetFrame(z.ratio);
    const QRect area(int(400 * z.ratio), int(300 * z.ratio), 1920, 1280);
    SGridOverlayOptions o;
    o.utm = true;
    o.utmSpacingM = z.spacing;
    CGridOverlay grid;
    grid.Build(frame, area, o);
    ASSERT_FALSE(grid.empty());
    QImage img(area.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    {
      QPainter p(&img);
      grid.Paint(p, -QPointF(area.topLeft()));
    }
    int checked = 0;
    for (const SGridLine& line : grid.lines()) {
      if (line.kind != SGridLine::UtmEasting && line.kind != SGridLine::UtmNorthing) continue;
      EXPECT_EQ(line.zone, 54);
      EXPECT_EQ(std::fmod(line.value, z.spacing), 0.0);
      if (!line.major) continue;
      // The line's own spot at the middle of the window, from the grid reference alone.
      const bool easting = line.kind == SGridLine::UtmEasting;
      const std::optional<SUtmPosition> mid =
          geodesy::ToUtm(frame.PixelToGeo(area.center().x(), area.center().y(), Datum::Wgs84)->latitude.ToDegrees(),
                         frame.PixelToGeo(area.center().x(), area.center().y(), Datum::Wgs84)->longitude.ToDegrees());
      ASSERT_TRUE(mid);
      const std::optional<geodesy::SLatLon> g =
          easting ? FromUtm(54, true, line.value, mid->northing) : FromUtm(54, true, mid->easting, line.value);
      ASSERT_TRUE(g);
      const std::optional<SFramePixel> px =
          frame.GeoToPixel(DmsAngle::FromDegrees(g->latitude), DmsAngle::FromDegrees(g->longitude), Datum::Wgs84);
      ASSERT_TRUE(px);
      if (!area.adjusted(2, 2, -2, -2).contains(px->x, px->y)) continue;
      EXPECT_TRUE(lineNear(img, px->x - area.left() + 0.5, px->y - area.top() + 0.5, rgbOf(o.utmColour), easting))
          << line.value << " at " << px->x << "," << px->y;
      ++checked;
    }
    EXPECT_GE(checked, 1);
    // Two-digit kilometre labels, whole inside the window.
    ASSERT_FALSE(grid.labels().empty());
    for (const SGridLabel& l : grid.labels()) {
      EXPECT_EQ(l.text.size(), 2) << l.text.toStdString();
      EXPECT_TRUE(QRectF(area).contains(l.box));
    }
  }
}

TEST(GridOverlay, ZoneEdgeSplitsTheGrid) {
  // A sheet across 138 E: zone 53's lines west of the edge, zone 54's east of it.
  const SheetFrame frame = sheetFrame(0.25, 137, 56, 15.0);
  const QRect area(0, 0, 1130, 925);
  SGridOverlayOptions o;
  o.utm = true;
  CGridOverlay grid;
  grid.Build(frame, area, o);
  bool edge = false, west = false, east = false;
  for (const SGridLine& line : grid.lines()) {
    if (line.kind == SGridLine::ZoneEdge) {
      edge = true;
      EXPECT_EQ(line.zone, 54);
      EXPECT_DOUBLE_EQ(line.value, 138.0);
    }
    west = west || (line.kind == SGridLine::UtmEasting && line.zone == 53);
    east = east || (line.kind == SGridLine::UtmEasting && line.zone == 54);
  }
  EXPECT_TRUE(edge);
  EXPECT_TRUE(west);
  EXPECT_TRUE(east);
  // A label names its own zone's kilometre: zone 53's eastings near the edge read 7x, zone 54's 2x.
  QImage img(area.size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  grid.Paint(p);
  p.end();
  const std::optional<SFramePixel> edgeTop = frame.GeoToPixel(DmsAngle(35, 40, 0.0), DmsAngle(138, 0, 0.0), Datum::Wgs84);
  ASSERT_TRUE(edgeTop);
  for (const SGridLabel& l : grid.labels()) {
    if (l.kind != SGridLine::UtmEasting || l.box.top() > 5) continue;
    const int km = l.text.toInt();
    if (l.box.center().x() < edgeTop->x - 4) {
      EXPECT_GE(km, 60) << l.text.toStdString();
    }
    if (l.box.center().x() > edgeTop->x + 4) {
      EXPECT_LE(km, 40) << l.text.toStdString();
    }
  }
}

TEST(GridOverlay, GraticuleSpacingAndPlaces) {
  const struct {
    const char* name;
    double latStepSec, ratio, want;
  } kSpacings[] = {
      {"300 %", 0.081 / 3, 3.0, 10.0}, {"100 %", 0.081, 1.0, 10.0}, {"25 %", 0.324, 0.25, 30.0},
      {"12.5 %", 0.648, 0.125, 60.0},  {"below 10 %", 0.9, 0.09, 600.0},
  };
  for (const auto& s : kSpacings) {
    SCOPED_TRACE(s.name);
    EXPECT_DOUBLE_EQ(GraticuleSpacingFor(s.latStepSec, s.ratio), s.want);
  }
  const SheetFrame frame = sheetFrame(0.25);
  const QRect area(0, 0, 1130, 925);
  SGridOverlayOptions o;
  o.graticule = true;
  o.graticuleSpacingSec = 60.0;
  CGridOverlay grid;
  grid.Build(frame, area, o);
  int meridians = 0;
  for (const SGridLine& line : grid.lines()) {
    if (line.kind != SGridLine::Longitude) continue;
    ++meridians;
    const std::optional<SFramePixel> px =
        frame.GeoToPixel(DmsAngle(35, 37, 0.0), DmsAngle::FromTotalSeconds(line.value), Datum::Tokyo);
    ASSERT_TRUE(px);
    EXPECT_NEAR(line.points.front().x(), px->x + 0.5, 1.0);
  }
  EXPECT_EQ(meridians, 8);  // 139 37'30" .. 139 45' holds 38' .. 45'
  bool labelled = false;
  for (const SGridLabel& l : grid.labels()) labelled = labelled || l.text == QStringLiteral("139°40′");
  EXPECT_TRUE(labelled);
}

TEST(GridOverlay, MagneticNorthTurnedByTheDeclination) {
  const SheetFrame frame = sheetFrame(1.0);
  const QRect area(1000, 1000, 1920, 1080);
  SGridOverlayOptions o;
  o.magneticNorth = true;
  o.decimalYear = 2026.0;
  o.magneticSpacingM = 1000.0;
  CGridOverlay grid;
  grid.Build(frame, area, o);
  const GeoPosition c = *frame.PixelToGeo(area.center().x(), area.center().y(), Datum::Wgs84);
  const double want = std::round(
      geodesy::Wmm2025().Declination(c.latitude.ToDegrees(), c.longitude.ToDegrees(), 2026.0) * 60.0) / 60.0;
  EXPECT_DOUBLE_EQ(grid.declinationDeg(), want);
  EXPECT_LT(want, -6.0);
  const double secToM = 6371000.0 * 3.14159265358979323846 / 648000.0;
  const double my = frame.latitudeStep(Datum::Wgs84).TotalSeconds() * secToM;
  const double mx = frame.longitudeStep(Datum::Wgs84).TotalSeconds() * secToM * std::cos(c.latitude.ToDegrees() * 3.14159265358979323846 / 180.0);
  std::vector<double> offsets;
  for (const SGridLine& line : grid.lines()) {
    ASSERT_EQ(line.kind, SGridLine::Magnetic);
    const QPointF d = line.points.back() - line.points.front();
    const double bearing = std::atan2(d.x() * mx, -d.y() * my) * 180.0 / 3.14159265358979323846;
    EXPECT_NEAR(std::fmod(bearing + 360.0, 180.0), std::fmod(want + 360.0, 180.0), 0.01);
    offsets.push_back(line.value);
  }
  // 1 km apart on the ground, about 400 pixels at 2.5 m: four or five across the window.
  ASSERT_GE(offsets.size(), 4u);
  for (std::size_t i = 1; i < offsets.size(); ++i) EXPECT_NEAR(offsets[i] - offsets[i - 1], 1000.0, 1e-6);
  // The declination given is used as it is, rounded to the minute.
  o.declinationDeg = -7.3333;
  grid.Build(frame, area, o);
  EXPECT_DOUBLE_EQ(grid.declinationDeg(), -440.0 / 60.0);
}

// The window's lines written straight into its picture light the pixels a painter lights, give
// or take one, and the labels come out pixel for pixel.
TEST(GridOverlay, DirectPaintMatchesThePainter) {
  const auto near = [](const QImage& img, int x, int y, QRgb colour) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        if (!img.rect().contains(x + dx, y + dy)) continue;
        const QRgb c = img.pixel(x + dx, y + dy);
        if (std::abs(qRed(c) - qRed(colour)) <= 2 && std::abs(qGreen(c) - qGreen(colour)) <= 2 &&
            std::abs(qBlue(c) - qBlue(colour)) <= 2)
          return true;
      }
    return false;
  };
  const struct {
    double ratio;
    double graticuleSec;
    double utmM;
  } kRows[] = {{0.25, 60.0, 1000.0}, {1.0, 10.0, 1000.0}, {3.0, 10.0, 100.0}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.ratio);
    const SheetFrame frame = sheetFrame(r.ratio);
    const QRect area(QPoint(int(300 * r.ratio), int(200 * r.ratio)), QSize(900, 640));
    SGridOverlayOptions o;
    o.utm = o.graticule = o.magneticNorth = true;
    o.graticuleSpacingSec = r.graticuleSec;
    o.utmSpacingM = r.utmM;
    o.labelPictures = true;
    CGridOverlay grid;
    grid.Build(frame, area, o);
    ASSERT_FALSE(grid.labels().empty());
    const QRgb paper = qRgb(235, 225, 200);
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
      QImage painted(area.size(), format), direct(area.size(), format);
      painted.fill(paper);
      direct.fill(paper);
      {
        QPainter p(&painted);
        grid.Paint(p, -QPointF(area.topLeft()));
      }
      ASSERT_TRUE(grid.PaintDirect(direct, -area.topLeft(), direct.rect()));
      int lit = 0, astray = 0, missed = 0;
      for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
          const QRgb d = direct.pixel(x, y), q = painted.pixel(x, y);
          lit += d != paper;
          astray += d != paper && !near(painted, x, y, d);
          missed += q != paper && !near(direct, x, y, q);
        }
      EXPECT_GT(lit, 2000);
      EXPECT_EQ(astray, 0);
      EXPECT_EQ(missed, 0);
      for (const SGridLabel& l : grid.labels()) {
        const QRect box = l.box.toAlignedRect().translated(-area.topLeft());
        EXPECT_EQ(direct.copy(box), painted.copy(box)) << l.text.toStdString();
      }
    }
  }
}

TEST(GridOverlay, DirectPaintRefusesWhatOnlyThePainterDraws) {
  const QRect area(0, 0, 900, 640);
  const auto options = [] {
    SGridOverlayOptions o;
    o.utm = o.graticule = true;
    o.labelPictures = true;
    return o;
  };
  const struct {
    const char* name;
    SheetFrame frame;
    SGridOverlayOptions options;
    QImage::Format format;
  } kRows[] = {
      {"wide pen (paper)", sheetFrame(1.0), [&] { auto o = options(); o.lineWidth = 3.0; return o; }(), QImage::Format_RGB32},
      {"labels as text", sheetFrame(1.0), [&] { auto o = options(); o.labelPictures = false; return o; }(), QImage::Format_RGB32},
      {"zone edge in sight", sheetFrame(0.25, 137, 56, 15.0), options(), QImage::Format_RGB32},
      {"picture with alpha", sheetFrame(1.0), options(), QImage::Format_ARGB32},
      {"16-bit picture", sheetFrame(1.0), options(), QImage::Format_RGB16},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    CGridOverlay grid;
    grid.Build(r.frame, area, r.options);
    ASSERT_FALSE(grid.empty());
    QImage picture(area.size(), r.format);
    picture.fill(Qt::white);
    const QImage before = picture.copy();
    EXPECT_FALSE(grid.PaintDirect(picture, QPoint(0, 0), picture.rect()));
    EXPECT_EQ(picture, before);
  }
}

// ---- on the map view

class GridView : public CSampleViewTest {};

TEST_F(GridView, CommandsDrawAndRememberTheLines) {
  m_view->SetGridShown(CVantoriaView::EGrid::Utm, true);
  m_view->SetGridShown(CVantoriaView::EGrid::Graticule, true);
  m_view->SetGridShown(CVantoriaView::EGrid::MagneticNorth, true);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "UtmGrid", 0), 1);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "Graticule", 0), 1);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "MagNorth", 0), 1);
  const QImage shot = vp()->grab().toImage();
  ASSERT_FALSE(m_view->gridOverlay().empty());
  bool utm = false, latitude = false, magnetic = false;
  for (const SGridLine& l : m_view->gridOverlay().lines()) {
    utm = utm || l.kind == SGridLine::UtmEasting;
    latitude = latitude || l.kind == SGridLine::Latitude;
    magnetic = magnetic || l.kind == SGridLine::Magnetic;
  }
  EXPECT_TRUE(utm && latitude && magnetic);
  EXPECT_EQ(m_view->gridOverlay().area(), QRect(m_view->scrollPosition(), vp()->size()));
  // Another paint of the same window draws the lines it has.
  const int builds = m_view->gridOverlay().builds();
  vp()->repaint();
  vp()->repaint();
  EXPECT_EQ(m_view->gridOverlay().builds(), builds);
  SCommandState state;
  ASSERT_TRUE(m_view->onUpdateCommand(cmd::UtmGrid, state));
  EXPECT_TRUE(state.checked);
  ASSERT_TRUE(m_view->onCommand(cmd::UtmGrid));
  ASSERT_TRUE(m_view->onUpdateCommand(cmd::UtmGrid, state));
  EXPECT_FALSE(state.checked);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "UtmGrid", 1), 0);
  // A new view starts with what was chosen last.
  CVantoriaView again(*m_doc);
  EXPECT_FALSE(again.gridShown(CVantoriaView::EGrid::Utm));
  EXPECT_TRUE(again.gridShown(CVantoriaView::EGrid::Graticule));
}

TEST_F(GridView, StatusBarReadsTheChosenFormat) {
  const QPoint at(400, 300);
  const GeoPosition wgs = *m_view->frame().PixelToGeo(at.x(), at.y(), Datum::Wgs84);
  const double lat = wgs.latitude.ToDegrees();
  const double lon = wgs.longitude.ToDegrees();
  const std::optional<SUtmPosition> utm = geodesy::ToUtm(lat, lon);
  ASSERT_TRUE(utm);
  const struct {
    const char* name;
    int format;
    int datum;
    QStringList want;
  } kFormats[] = {
      {"MGRS", 3, 1,
       {QStringLiteral("測地系 WGS-84/JGD2000"), QString::fromStdString("MGRS " + geodesy::FormatMgrs(lat, lon)),
        QString()}},
      {"UTM", 2, 1,
       {QStringLiteral("測地系 WGS-84/JGD2000"),
        QStringLiteral("UTM %1%2 %3E").arg(utm->zone).arg(QChar(utm->band)).arg(long(std::floor(utm->easting))),
        QStringLiteral("%1N").arg(long(std::floor(utm->northing)))}},
      {"decimal WGS-84", 1, 0,
       {QStringLiteral("測地系 WGS-84/JGD2000"), QStringLiteral("北緯 %1°").arg(lat, 0, 'f', 6),
        QStringLiteral("東経 %1°").arg(lon, 0, 'f', 6)}},
  };
  for (const auto& f : kFormats) {
    SCOPED_TRACE(f.name);
    m_settings.posFormat = f.format;
    m_settings.dispDatum = f.datum;
    EXPECT_EQ(m_view->PositionTexts(client(at)), f.want);
  }
  m_settings.posFormat = 0;
  m_settings.dispDatum = 1;
  EXPECT_TRUE(m_view->PositionTexts(client(at)).at(1).contains(QStringLiteral("度")));
}

}  // namespace
