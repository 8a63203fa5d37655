#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <vector>

#include "display/TrekOverlay.h"
#include "platform/Codepage.h"
#include "test_overlay_fixture.h"

namespace {

using overlay_test::CPixelSheet;

constexpr QRgb kBackground = 0xFF3C5A78;

QImage blankImage(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(kBackground);
  return image;
}

QRgb rgb(std::uint32_t colorref) { return TrekOverlay::Colour(colorref).rgb(); }

// Eight pixels per character, twelve high: label sizes that do not depend on installed fonts.
QSize fixedMeasure(const std::string& text) { return QSize(8 * static_cast<int>(text.size()), 12); }

TEST(TrekLabels, WaypointLabelMovesInsideTheRegion) {
  const QSize text(40, 12);
  const struct {
    const char* name;
    QPoint at;
    QRect want;
    QSize region = {200, 100};
  } kCases[] = {
      {"inside", {10, 10}, QRect(10, 10, 40, 12)},
      {"ends exactly at the right edge", {160, 10}, QRect(160, 10, 40, 12)},
      {"crosses the right edge", {180, 10}, QRect(160, 10, 40, 12)},
      {"ends exactly at the bottom edge", {10, 88}, QRect(10, 88, 40, 12)},
      {"crosses the bottom edge: above the icon", {10, 95}, QRect(10, 67, 40, 12)},
      {"crosses both", {190, 95}, QRect(160, 67, 40, 12)},
      {"low region: above the icon would cross the top, so below", {10, 20}, QRect(10, 20, 40, 12), {200, 30}},
      {"narrow region: moved left would cross the left edge, so right", {5, 10}, QRect(5, 10, 40, 12), {30, 100}},
      {"narrow and low: right of and below the point", {5, 20}, QRect(5, 20, 40, 12), {30, 30}},
      {"low region, left of the right edge: only the row changes back", {170, 20}, QRect(160, 20, 40, 12), {200, 30}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrekOverlay::PlaceWaypointLabel(c.at, text, c.region, 16), c.want);
  }
}

TEST(TrekLabels, TrackLabelSideFollowsTheLine) {
  const QSize text(40, 12);
  const struct {
    const char* name;
    QPoint at;
    QPoint direction;
    QRect want;
    QSize region = {200, 100};
  } kCases[] = {
      {"falling to the right: above", {10, 50}, {5, 3}, QRect(10, 38, 40, 12)},
      {"rising to the left: above", {10, 50}, {-5, -3}, QRect(10, 38, 40, 12)},
      {"rising to the right: below", {10, 50}, {5, -3}, QRect(10, 50, 40, 12)},
      {"falling to the left: below", {10, 50}, {-5, 3}, QRect(10, 50, 40, 12)},
      {"horizontal: below", {10, 50}, {5, 0}, QRect(10, 50, 40, 12)},
      {"vertical: below", {10, 50}, {0, 5}, QRect(10, 50, 40, 12)},
      {"no direction: below", {10, 50}, {0, 0}, QRect(10, 50, 40, 12)},
      {"right edge, above becomes below", {180, 50}, {1, 1}, QRect(140, 50, 40, 12)},
      {"right edge, below becomes above", {180, 50}, {1, -1}, QRect(140, 38, 40, 12)},
      {"bottom edge: above", {10, 95}, {1, 0}, QRect(10, 83, 40, 12)},
      {"right then bottom edge", {180, 95}, {1, 1}, QRect(140, 83, 40, 12)},
      {"top edge, above becomes below", {10, 5}, {5, 3}, QRect(10, 5, 40, 12)},
      {"top edge, rising to the left: below", {10, 11}, {-5, -3}, QRect(10, 11, 40, 12)},
      {"above ends exactly at the top edge", {10, 12}, {5, 3}, QRect(10, 0, 40, 12)},
      {"right edge flipped up past the top: below", {180, 5}, {1, -1}, QRect(140, 5, 40, 12)},
      {"left edge after the right edge move: right of the point", {20, 50}, {1, 0}, QRect(20, 38, 40, 12), {50, 100}},
      {"top and left edges at once", {20, 5}, {1, 0}, QRect(20, 5, 40, 12), {50, 100}},
      {"low region: below wins over the bottom edge", {10, 8}, {1, 1}, QRect(10, 8, 40, 12), {200, 15}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrekOverlay::PlaceTrackLabel(c.at, c.direction, text, c.region), c.want);
  }
}

class OverlayOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    CTrekData& wps = m_sheet.addGroup(CTrekData::kWaypointGroup);
    m_sheet.addWaypoint(wps, "peak", {100, 100});
    m_sheet.addWaypoint(wps, "east", {200, 120});
    m_sheet.addWaypoint(wps, "south", {60, 165});
    m_sheet.addWaypoint(wps, "far", {100, 300});
    CTrekData& tracks = m_sheet.addGroup(CTrekData::kTrackLogGroup);
    m_sheet.addTrack(tracks, "ridge", {{50, 95}, {110, 95}, {200, 95}});
    m_sheet.addTrack(tracks, "descent", {{20, 60}, {80, 120}, {210, 169}});
    m_sheet.addTrack(tracks, "last", {{300, 300}, {205, 160}});
    m_sheet.addTrack(tracks, "away", {{400, 400}, {500, 400}});
    m_overlay.Rebuild(m_sheet.groups(), m_sheet.frame());
  }
  CPixelSheet m_sheet;
  TrekOverlay m_overlay;
  const QRect m_region{50, 50, 160, 120};  // x 50..209, y 50..169
};

TEST_F(OverlayOutput, ExportLabelsArePlacedInTheRegionAndShiftedToTheBand) {
  const QRect firstBand(50, 50, 160, 60);
  const QRect secondBand(50, 110, 160, 60);
  using Labels = std::vector<STrekLabel>;
  EXPECT_EQ(m_overlay.ExportWaypointLabels(firstBand, m_region, fixedMeasure),
            (Labels{{QRect(49, 49, 34, 14), "peak"}, {QRect(127, 69, 34, 14), "east"}}));
  EXPECT_EQ(m_overlay.ExportWaypointLabels(secondBand, m_region, fixedMeasure),
            (Labels{{QRect(49, -11, 34, 14), "peak"},      // near the band's top: still drawn
                    {QRect(127, 9, 34, 14), "east"},       // moved left at the right edge
                    {QRect(9, 26, 42, 14), "south"}}));    // above its icon at the bottom edge
  EXPECT_EQ(m_overlay.ExportTrackLabels(secondBand, m_region, fixedMeasure),
            (Labels{{QRect(-1, -16, 42, 14), "ridge"},     // horizontal: below its first point
                    {QRect(29, -3, 58, 14), "descent"},    // first point inside, line falling: above
                    {QRect(122, 37, 34, 14), "last"}}));   // last point: right edge, then bottom edge
}

TEST(TrekLabels, PrintLabelsUseTheScaledRegionAndTheHeaderOffset) {
  // The same items as the export case, cached at the print ratio 2.
  CPixelSheet sheet(2.0);
  CTrekData& wps = sheet.addGroup(CTrekData::kWaypointGroup);
  sheet.addWaypoint(wps, "peak", {201, 201});
  sheet.addWaypoint(wps, "east", {401, 241});
  sheet.addWaypoint(wps, "south", {121, 331});
  sheet.addWaypoint(wps, "far", {201, 601});
  CTrekData& tracks = sheet.addGroup(CTrekData::kTrackLogGroup);
  sheet.addTrack(tracks, "ridge", {{101, 191}, {221, 191}, {401, 191}});
  sheet.addTrack(tracks, "pass", {{121, 105}, {161, 125}});  // falling to the right just below the top
  sheet.addTrack(tracks, "west", {{415, 300}, {418, 280}});  // rising, at the right edge of a narrow page
  TrekOverlay scaled;
  scaled.Rebuild(sheet.groups(), sheet.frame());

  const QRect region(50, 50, 160, 120);
  EXPECT_EQ(TrekOverlay::ScaleRegion(region, 2.0), QRect(100, 100, 320, 240));
  EXPECT_EQ(TrekOverlay::ScaleRegion(QRect(3, 3, 5, 5), 0.5), QRect(1, 1, 3, 3));
  using Labels = std::vector<STrekLabel>;
  EXPECT_EQ(scaled.PrintLabels(region, 2.0, 30, kTrekWaypoint, fixedMeasure),
            (Labels{{QRect(100, 130, 34, 14), "peak"},
                    {QRect(287, 170, 34, 14), "east"},      // moved left at the right edge
                    {QRect(20, 216, 42, 14), "south"}}));   // 32 (16 x r) above its position
  EXPECT_EQ(scaled.PrintLabels(region, 2.0, 30, kTrekTrackLog, fixedMeasure),
            (Labels{{QRect(0, 120, 42, 14), "ridge"},
                    {QRect(20, 34, 34, 14), "pass"},      // below its point: above would be cut at the top
                    {QRect(282, 217, 34, 14), "west"}}));  // moved left and flipped above at the right edge
  // A page only 20 sheet pixels wide: the names start right of their points.
  const QRect narrow(200, 50, 10, 120);  // scaled: x 400..419
  EXPECT_EQ(scaled.PrintLabels(narrow, 2.0, 0, kTrekTrackLog, fixedMeasure),
            (Labels{{QRect(0, 78, 42, 14), "ridge"}, {QRect(14, 187, 34, 14), "west"}}));
  EXPECT_TRUE(scaled.PrintLabels(region, 2.0, 30, kTrekWaypointGroup, fixedMeasure).empty());
}

TEST_F(OverlayOutput, FlagDrawsLikeMaskAndImage) {
  // The two-bitmap form: OR a mask that is white on the flag, then AND an image that is white
  // around it. The single transparent icon must leave exactly the same pixels.
  const QImage& icon = TrekOverlay::FlagIcon();
  ASSERT_EQ(icon.size(), QSize(20, 16));
  QImage mask(icon.size(), QImage::Format_RGB32);
  QImage image(icon.size(), QImage::Format_RGB32);
  for (int y = 0; y < icon.height(); ++y) {
    for (int x = 0; x < icon.width(); ++x) {
      const QRgb p = icon.pixel(x, y);
      ASSERT_TRUE(qAlpha(p) == 0 || qAlpha(p) == 255);
      mask.setPixel(x, y, qAlpha(p) ? 0xFFFFFFFF : 0xFF000000);
      image.setPixel(x, y, qAlpha(p) ? p : 0xFFFFFFFF);
    }
  }
  QImage want = blankImage(300, 300);
  {
    QPainter painter(&want);
    for (const WaypointMark& m : m_overlay.Waypoints()) {
      painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
      painter.drawImage(QPoint(m.x, m.y - 16), mask);
      painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
      painter.drawImage(QPoint(m.x, m.y - 16), image);
    }
  }
  QImage got = blankImage(300, 300);
  {
    QPainter painter(&got);
    m_overlay.Paint(painter, EMapOverlay::WaypointIcons, got.rect(), STrekPaintState{});
  }
  EXPECT_EQ(got, want);
  EXPECT_NE(got.pixel(100, 99), kBackground);  // the pole's foot is just above the position
  EXPECT_EQ(got.pixel(100, 100), kBackground);
  EXPECT_EQ(got.pixel(99, 99), kBackground);
}

TEST_F(OverlayOutput, ScreenOverlaysDrawTheirPixels) {
  STrekPaintState state;
  state.mapSize = QSize(150, 250);
  state.selection = {0, 0, 1};
  const QRect waypointBox = m_overlay.WaypointRect(0);
  const QRect pointBox = m_overlay.TrackPointRect(0, 1);
  const struct {
    const char* name;
    EMapOverlay which;
    bool shown;
    std::function<bool(QPoint)> drawn;  // which pixels must change
    QRgb colour;
  } kCases[] = {
      {"highlight frame around the waypoint's hit box", EMapOverlay::SelectedWaypoint, true,
       [&](QPoint p) {
         return waypointBox.contains(p) && (p.x() == waypointBox.left() || p.x() == waypointBox.right() ||
                                            p.y() == waypointBox.top() || p.y() == waypointBox.bottom());
       },
       rgb(TrekOverlay::kHighlightColour)},
      {"frame of the selected track point", EMapOverlay::SelectedTrackPoint, true,
       [&](QPoint p) {
         return pointBox.contains(p) && (p.x() == pointBox.left() || p.x() == pointBox.right() ||
                                         p.y() == pointBox.top() || p.y() == pointBox.bottom());
       },
       rgb(TrekOverlay::kHighlightColour)},
      {"4 x 4 squares on the selected track's points", EMapOverlay::SelectedTrackLog, true,
       [&](QPoint p) {
         for (const TrackMark& m : m_overlay.Track(0)->points)
           if (QRect(m.x - 2, m.y - 2, 4, 4).contains(p)) return true;
         return false;
       },
       rgb(TrekOverlay::kTrackPointColour)},
      {"hidden track logs", EMapOverlay::TrackLogLines, false, [](QPoint) { return false; }, 0},
      {"hidden waypoints", EMapOverlay::WaypointIcons, false, [](QPoint) { return false; }, 0},
      {"not trek data", EMapOverlay::RangeSelection, true, [](QPoint) { return false; }, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    state.waypointsShown = c.shown;
    state.trackLogsShown = c.shown;
    QImage image = blankImage(300, 300);
    {
      QPainter painter(&image);
      m_overlay.Paint(painter, c.which, image.rect(), state);
    }
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const bool want = c.drawn(QPoint(x, y));
        ASSERT_EQ(image.pixel(x, y), want ? c.colour : kBackground) << x << "," << y;
      }
    }
  }
}

TEST_F(OverlayOutput, TrackLinesStopAtTheMapEdgeAndFollowTheBand) {
  const QRgb track = rgb(TrekOverlay::kTrackColour);
  QImage screen = blankImage(300, 300);
  {
    QPainter painter(&screen);
    m_overlay.DrawTrackLines(painter, QSize(150, 250), screen.rect());
  }
  EXPECT_EQ(screen.pixel(120, 95), track);
  EXPECT_EQ(screen.pixel(149, 95), track);
  EXPECT_EQ(screen.pixel(150, 95), kBackground);  // beyond the map's width
  EXPECT_EQ(screen.pixel(120, 80), kBackground);

  // Export: the band's corner is the surface's origin.
  QImage band = blankImage(100, 50);
  {
    QPainter painter(&band);
    m_overlay.DrawTrackLines(painter, QRect(60, 70, 100, 50));
  }
  EXPECT_EQ(band.pixel(120 - 60, 95 - 70), track);
  EXPECT_EQ(band.pixel(120 - 60, 80 - 70), kBackground);

  // Print: positions relative to the scaled region, the header height below, a wider pen.
  QImage page = blankImage(300, 300);
  {
    QPainter painter(&page);
    m_overlay.DrawTrackLines(painter, QRect(40, 40, 200, 200), 3.0, 1.0, 20);
  }
  EXPECT_EQ(page.pixel(80, 95 - 40 + 20), track);
  EXPECT_EQ(page.pixel(80, 95 - 40 + 20 + 2), track);
  EXPECT_EQ(page.pixel(80, 95 - 40 + 20 + 6), kBackground);
}

TEST_F(OverlayOutput, PrintedFlagIsStretchedWithItsFootAtThePosition) {
  QImage page = blankImage(300, 300);
  {
    QPainter painter(&page);
    m_overlay.DrawWaypointIcons(painter, QRect(50, 50, 100, 100), 2.0, 1.0, 10);
  }
  // peak at (100, 100): relative (50, 50), 10 lower; 40 x 32 pixels above it.
  const QImage& icon = TrekOverlay::FlagIcon();
  const int left = 50;
  const int bottom = 60;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 40; ++x) {
      const QRgb source = icon.pixel(x / 2, y / 2);
      const QRgb want = qAlpha(source) ? (source | 0xFF000000) : kBackground;
      ASSERT_EQ(page.pixel(left + x, bottom - 32 + y), want) << x << "," << y;
    }
  }
  EXPECT_EQ(page.pixel(left, bottom), kBackground);
}

TEST_F(OverlayOutput, ExportLabelsAreBoxedOnTheSurface) {
  QImage band = blankImage(200, 160);
  {
    QPainter painter(&band);
    m_overlay.DrawWaypointLabels(painter, m_region, m_region);
  }
  const QFontMetrics metrics(TrekOverlay::LabelFont(TrekOverlay::kExportLabelHeight), &band);
  const auto labels = m_overlay.ExportWaypointLabels(m_region, m_region, [&](const std::string& text) {
    const QString s = QString::fromStdString(platform::cp932::toUtf8Lossy(text));
    return QSize(metrics.horizontalAdvance(s), metrics.height());
  });
  ASSERT_EQ(labels.size(), 3u);
  const QRgb grey = rgb(TrekOverlay::kLabelOutlineColour);
  for (const STrekLabel& label : labels) {
    SCOPED_TRACE(label.text);
    const QRect& b = label.box;
    ASSERT_TRUE(band.rect().contains(b));
    EXPECT_EQ(band.pixel(b.right(), b.bottom()), grey);
    EXPECT_EQ(band.pixel(b.left(), b.top()), grey);
    EXPECT_EQ(band.pixel(b.right() - 1, b.top() + 1), 0xFFFFFFFFu);
  }
}

}  // namespace
