#pragma once
// Lines over the map that belong to no sheet: the UTM kilometre grid of the zones in sight (each
// zone's lines on its own side of the zone edge, the edge drawn), the graticule of the display
// datum, and magnetic-north lines turned by the declination at the middle. Built for one area
// of a frame's pixels (a window, a printed page's map area) and labelled just inside that area's
// edges, so that a label is never cut by the edge of what it is drawn for.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QLineF>
#include <QPointF>
#include <QRect>
#include <QString>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

#include "geodesy/GeoPosition.h"
#include "geodesy/SheetFrame.h"

class QPainter;

/// Which lines to draw and how.
struct SGridOverlayOptions {
  bool utm = false;
  bool graticule = false;
  bool magneticNorth = false;
  std::uint32_t utmColour = 0x00D07000;        ///< COLORREF
  std::uint32_t graticuleColour = 0x00A000A0;  ///< COLORREF
  std::uint32_t magneticColour = 0x000000C8;   ///< COLORREF
  double utmSpacingM = 1000.0;                 ///< 100, 1,000 or 10,000
  double graticuleSpacingSec = 60.0;
  Datum graticuleDatum = Datum::Tokyo;
  double magneticSpacingM = 1000.0;            ///< ground metres between magnetic-north lines
  double decimalYear = 2026.0;                 ///< date of the declination
  /// The declination to draw with; NaN asks the magnetic model at the area's middle.
  double declinationDeg = std::numeric_limits<double>::quiet_NaN();
  double lineWidth = 0.0;                      ///< pen width in frame pixels; 0 a cosmetic 1-pixel pen
  int labelPixelSize = 12;                     ///< label font height in frame pixels
  /// Labels drawn once into small pictures and copied at every paint (the screen); off, they
  /// are drawn as text (paper and vector output).
  bool labelPictures = false;
};

/// Spacing of the UTM grid at a display ratio (1.0 = 100 %): 100 m above 200 %, 10 km below 10 %,
/// 1 km between.
[[nodiscard]] double UtmSpacingForRatio(double ratio);
/// Graticule spacing in seconds: the finest of 10", 30", 1', 2', 5', 10' whose lines lie at least
/// `minPixels` apart on a frame whose latitude step is `latStepSec` seconds per pixel; 10' below
/// 10 %.
[[nodiscard]] double GraticuleSpacingFor(double latStepSec, double ratio, double minPixels = 60.0);

/// One drawn line in frame pixels.
struct SGridLine {
  enum EKind { UtmEasting, UtmNorthing, ZoneEdge, Latitude, Longitude, Magnetic };
  EKind kind = UtmEasting;
  int zone = 0;          ///< UTM lines and zone edges
  double value = 0.0;    ///< metres for UTM lines, seconds for graticule lines, longitude for edges
  bool major = true;     ///< a UTM line on a whole kilometre (labelled)
  std::vector<QPointF> points;
  /// The dashes of a dashed line (the zone edge), laid out along the whole
  /// line, so that they fall alike however the line is cut into bands or pages.
  std::vector<QLineF> dashes;
};

/// A label at an edge of the area, in frame pixels.
struct SGridLabel {
  SGridLine::EKind kind = SGridLine::UtmEasting;
  QString text;
  QRectF box;
  QColor colour;
  QImage picture;  ///< the label drawn, when the options ask for pictures
};

class CGridOverlay {
 public:
  /// Computes lines and labels for `area` (frame pixels); lines outside it are dropped.
  void Build(const SheetFrame& frame, const QRect& area, const SGridOverlayOptions& options);
  /// Draws what Build computed, `offset` added to frame pixels (the view's scroll origin
  /// subtracted, a page's origin...). Lines are clipped to the area, labels lie inside it.
  void Paint(QPainter& painter, const QPointF& offset = {}) const;
  /// The same written straight into a 32-bit opaque picture (RGB32 or premultiplied ARGB32),
  /// `offset` added to frame pixels to give the picture's, nothing written outside `clip`
  /// (picture pixels). For the screen's look only: cosmetic lines, labels as pictures, and no
  /// zone edge in the area (each zone's lines would need cutting at it). False, writing
  /// nothing, when any of that does not hold: Paint() then draws.
  bool PaintDirect(QImage& picture, const QPoint& offset, const QRect& clip) const;
  /// True when PaintDirect draws what was built (on a picture of either format).
  [[nodiscard]] bool PaintsDirect() const;

  [[nodiscard]] const std::vector<SGridLine>& lines() const { return m_lines; }
  [[nodiscard]] const std::vector<SGridLabel>& labels() const { return m_labels; }
  [[nodiscard]] const QRect& area() const { return m_area; }
  /// The declination the magnetic-north lines were turned by (degrees, east positive); NaN
  /// when they were not built.
  [[nodiscard]] double declinationDeg() const { return m_declination; }
  [[nodiscard]] bool empty() const { return m_lines.empty(); }
  /// How many times Build ran on this object.
  [[nodiscard]] int builds() const { return m_builds; }

 private:
  struct SZoneClip {
    int zone = 0;
    std::vector<QPointF> polygon;  ///< empty: the zone covers the whole area
  };
  void buildUtm(const SheetFrame& frame, const SGridOverlayOptions& options);
  void buildGraticule(const SheetFrame& frame, const SGridOverlayOptions& options);
  void buildMagnetic(const SheetFrame& frame, const SGridOverlayOptions& options);
  void addLabel(SGridLine::EKind kind, const QString& text, const QPointF& at, int edge, const QColor& colour);

  struct SLabelKey {
    QString text;
    QRgb colour = 0;
    int pixelSize = 0;
    int width = 0;
    int height = 0;
    bool operator<(const SLabelKey& o) const {
      return std::tie(text, colour, pixelSize, width, height) < std::tie(o.text, o.colour, o.pixelSize, o.width, o.height);
    }
  };

  QRect m_area;
  std::vector<SGridLine> m_lines;
  std::vector<SGridLabel> m_labels;
  std::vector<SZoneClip> m_zoneClips;  ///< parallel to the zones of the UTM lines
  SGridOverlayOptions m_options;
  QFont m_font;
  double m_declination = std::numeric_limits<double>::quiet_NaN();
  int m_builds = 0;
  std::map<SLabelKey, QImage> m_labelCache;  ///< label pictures drawn by earlier builds
};

/// Frame pixels (not truncated) of a position in `datum` (latitude, longitude in seconds).
[[nodiscard]] QPointF FramePixelF(const SheetFrame& frame, double latitudeSec, double longitudeSec, Datum datum);
