#pragma once
// What the map export draws over the map, drawn over tiles and custom-map images: waypoint
// flags and names, track log lines and names (the trek data, held in WGS-84), the UTM kilometre
// grid, the graticule and magnetic-north lines, chosen by the map export's option bits and in its
// look. Everything is laid out once per picture grid (one zoom level of Web Mercator tiles, or the
// degree grid of a custom map) in whole pixels of that grid, every vertex projected from WGS-84
// as the ground of the pictures is; each picture draws the part it shows through its own offset,
// so a line leaving one tile goes on at the same pixel in the next, and a flag or name on a tile
// edge is drawn in both halves. The grid's figures stay off: the map export puts them inside the
// edges of its picture, and a tile's edges run everywhere.
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <cstdint>
#include <string>
#include <vector>

#include "display/GridOverlay.h"
#include "display/TrekOverlay.h"
#include "tiles/TileRender.h"
#include "trek/CTrekGroupList.h"

namespace tiles {

/// What to draw: the option bits of the map export (kExportTrackLines .. kExportMagneticNorth)
/// over the trek data (null for none) with the grid colours, graticule datum and date of `look`.
struct STileOverlays {
  std::int32_t options = 0;
  const CTrekGroupList::GroupList* treks = nullptr;
  SGridOverlayOptions look;
  /// The bits that draw something: the trek bits only with trek data.
  [[nodiscard]] std::int32_t effective() const;
};

/// The pixels the pictures of one export share: Web Mercator at a zoom level (256 x 2^zoom
/// across the world, rows from the north), or equal degree steps from a north-west corner.
struct SPixelGrid {
  bool mercator = true;
  int zoom = 0;
  double west = 0;     ///< degree grid: longitude of pixel column 0's west edge
  double north = 0;    ///< degree grid: latitude of pixel row 0's north edge
  double lonStep = 0;  ///< degrees per pixel
  double latStep = 0;
  /// Degree grid in the Tokyo datum (the plane's own): positions go through the datum shift.
  bool tokyo = false;
  /// The pixel position (not truncated) of a WGS-84 position.
  [[nodiscard]] QPointF PixelOf(double latitude, double longitude) const;
  /// Ground metres of one pixel across and down at `latitude`.
  [[nodiscard]] double MetresAcross(double latitude) const;
  [[nodiscard]] double MetresDown(double latitude) const;
  [[nodiscard]] bool valid() const { return mercator ? zoom >= 0 && zoom <= kMaxZoom : lonStep > 0 && latStep > 0; }
};
[[nodiscard]] SPixelGrid MercatorGrid(int zoom);

/// The look of grid lines on tiles: the view's colours (COLORREF) and graticule datum, magnetic-
/// north lines 4 cm apart at the series' scale, turned by today's declination.
[[nodiscard]] SGridOverlayOptions TileGridLook(std::int32_t utmColour, std::int32_t graticuleColour,
                                               std::int32_t magneticColour, bool wgs84Graticule, MapSeries series);

/// The stored tile overlay options ("Settings"/"ExportTilesOption"), as they count.
[[nodiscard]] std::int32_t ReadTileOverlayOptions();
void WriteTileOverlayOptions(std::int32_t bits);

class CTileOverlay {
 public:
  /// One drawn grid line in grid pixels.
  struct SLine {
    enum EKind { UtmEasting, UtmNorthing, ZoneEdge, Latitude, Longitude, Magnetic };
    EKind kind = UtmEasting;
    double value = 0;  ///< metres (UTM), seconds (graticule), longitude (zone edge)
    std::vector<QPointF> points;
    QRectF bounds;
    double clipLeft = -1e300;  ///< UTM lines keep to their zone's columns
    double clipRight = 1e300;
  };

  /// Lays out what `overlays` asks for over `box` (WGS-84) on `grid`; empty when nothing.
  void Build(const STileOverlays& overlays, const SGeoBox& box, const SPixelGrid& grid);
  /// Draws onto `picture`, whose pixel (0, 0) is grid pixel `origin`.
  void Paint(QImage& picture, QPoint origin) const;
  [[nodiscard]] bool empty() const;

  [[nodiscard]] const std::vector<SLine>& lines() const { return m_lines; }
  /// The UTM spacing and graticule step laid out (metres, seconds), and the declination (degrees).
  [[nodiscard]] double utmSpacing() const { return m_utmSpacing; }
  [[nodiscard]] double graticuleStep() const { return m_graticuleStep; }
  [[nodiscard]] double declination() const { return m_declination; }

 private:
  struct STrackPiece {
    std::vector<QPoint> points;
    QRect bounds;
  };
  void buildTreks(const CTrekGroupList::GroupList& groups, std::int32_t bits, const SGeoBox& box);
  void buildUtm(const SGeoBox& box);
  void buildGraticule(const SGeoBox& box);
  void buildMagnetic(const SGeoBox& box);

  SPixelGrid m_grid;
  SGridOverlayOptions m_look;
  std::int32_t m_bits = 0;
  std::vector<QPoint> m_flags;  ///< waypoints: the foot of the flag's pole
  std::vector<STrekLabel> m_waypointLabels;
  std::vector<STrackPiece> m_tracks;
  std::vector<STrekLabel> m_trackLabels;
  std::vector<SLine> m_lines;
  double m_utmSpacing = 0;
  double m_graticuleStep = 0;
  double m_declination = 0;
};

}  // namespace tiles
