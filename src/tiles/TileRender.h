#pragma once
// Pictures of the ground in WGS-84 from the seamless map (which lies in the Tokyo datum): Web
// Mercator tiles for MBTiles and latitude/longitude boxes for custom maps. Each output pixel's
// centre goes through the program's own datum shift to the plane, so a waypoint lands on the same
// ground as in the map view. The shift is smooth: it is computed exactly on a grid of 9 x 9 points
// per picture and interpolated between them (far below a pixel).
#include <QImage>
#include <cstdint>
#include <vector>

#include "mosaic/MapCollection.h"

namespace mosaic {
class CMosaicRenderer;
}

namespace tiles {

/// A box in WGS-84 degrees.
struct SGeoBox {
  double south = 0;
  double west = 0;
  double north = 0;
  double east = 0;
  [[nodiscard]] bool valid() const { return south < north && west < east; }
};

/// Web Mercator (EPSG:3857) tile arithmetic; rows counted from the north (XYZ), as the tiles of
/// web maps are named.
inline constexpr int kTileSize = 256;
inline constexpr int kMaxZoom = 20;
[[nodiscard]] double TileLongitude(int x, int zoom);  ///< west edge of column x
[[nodiscard]] double TileLatitude(int y, int zoom);   ///< north edge of row y
[[nodiscard]] SGeoBox TileBox(int zoom, int x, int y);
/// Columns [x0, x1] and rows [y0, y1] of the tiles meeting `box` (clamped to the world).
struct STileRange {
  int zoom = 0;
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
  [[nodiscard]] long long count() const {
    return x1 < x0 || y1 < y0 ? 0 : static_cast<long long>(x1 - x0 + 1) * (y1 - y0 + 1);
  }
};
[[nodiscard]] STileRange TilesMeeting(const SGeoBox& box, int zoom);
/// Metres on the ground per tile pixel at `latitude` degrees.
[[nodiscard]] double TilePixelMetres(int zoom, double latitude);
/// The finest zoom level whose pixels are no smaller than the series' own (15 for 1:25,000 and
/// 14 for 1:50,000 at Japan's latitudes): the nearest level that does not magnify the map.
[[nodiscard]] int NativeZoom(MapSeries series, double latitude);

/// The Tokyo-datum box (seconds) of a WGS-84 box, widened to hold the shifted corners and edges.
[[nodiscard]] mosaic::SFrameSeconds TokyoBoxOf(const SGeoBox& box);

/// What a ground picture is made from: the renderer (already given the series, its plane and
/// the colours) and the plane.
struct SGroundSource {
  mosaic::CMosaicRenderer* renderer = nullptr;
  mosaic::SMapPlane plane;
};

/// A picture of `width` x `height` pixels of the ground: in Web Mercator over `box` when
/// `mercator`, else in plain degrees (equal steps of latitude and longitude). Pixels without map
/// data are `noData`; `hasData` tells whether any pixel has map data. A `recycled` picture of the
/// same size that nothing else shares is drawn over instead of a new one.
struct SGroundPicture {
  QImage image;  ///< RGB32 (ARGB32 when noData is transparent and the picture is not complete)
  bool hasData = false;
  bool complete = false;  ///< every pixel has map data
};
[[nodiscard]] SGroundPicture RenderGround(const SGroundSource& source, const SGeoBox& box, int width, int height,
                                          bool mercator, std::uint32_t noData, QImage recycled = {});

/// Plane pixels `box` at `ratio` as they are, without resampling (the GeoPackage's tiles in the
/// Tokyo datum): pixels without map data become `noData`. `recycled` as above.
[[nodiscard]] SGroundPicture RenderPlanePicture(const SGroundSource& source, const QRect& box, double ratio,
                                                std::uint32_t noData, QImage recycled = {});

}  // namespace tiles
