#pragma once
// The map canvas of the view: the scaled sheet copy, the client-sized back buffer and the paint
// of map and overlays. A paint writes straight onto a raster target where it can and composes on
// the back buffer otherwise (then one copy to the target). No widgets: the view calls PaintMap()
// from its paintEvent, and printing and export paint through the same object.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>
#include <memory>

#include "display/ScaledSheetBitmap.h"
#include "platform/LargeBuffer.h"

class QPainter;

/// The client-sized offscreen picture every paint is composed in (RGB32), in device pixels: a
/// client area of w x h logical pixels on a screen with `devicePixelRatio` d is
/// ceil(w x d) x ceil(h x d) pixels, tagged with d. Its memory is kept when the size shrinks and
/// reused when it grows back.
class MapBackBuffer {
 public:
  /// Resizes to the client area; false (and no buffer) when memory runs out or the size is absurd.
  bool Recreate(int clientWidth, int clientHeight, double devicePixelRatio = 1.0);
  [[nodiscard]] QImage& image() { return m_image; }
  [[nodiscard]] const QImage& image() const { return m_image; }
  [[nodiscard]] bool isNull() const { return m_image.isNull(); }
  void release();

 private:
  platform::CLargeBuffer m_memory;
  QImage m_image;
};

/// The overlays drawn over the map, in the order they are painted.
enum class EMapOverlay {
  RangeSelection,       ///< rubber band, selection frame, handles or moved frame of the range tool
  TrackLogLines,        ///< when track logs are shown
  WaypointIcons,        ///< when waypoints are shown
  SelectedWaypoint,     ///< frame of the selected waypoint
  SelectedTrackLog,     ///< points of the selected track log
  SelectedTrackPoint,   ///< frame of the selected track point
  ZoomBand,             ///< rubber band of the zoom-to-selection tool
};
inline constexpr EMapOverlay kOverlayOrder[] = {
    EMapOverlay::RangeSelection,   EMapOverlay::TrackLogLines,    EMapOverlay::WaypointIcons,
    EMapOverlay::SelectedWaypoint, EMapOverlay::SelectedTrackLog, EMapOverlay::SelectedTrackPoint,
    EMapOverlay::ZoomBand};

/// Draws one overlay on the back buffer. The painter works in map (logical) coordinates and is
/// clipped to `clip`; the callback itself decides whether the overlay's condition holds.
using MapOverlayPainter = std::function<void(QPainter& painter, EMapOverlay which, const QRect& clip)>;
/// Writes pixels straight into the composed map, under the overlays:
/// `picture` pixel = logical pixel + `offset`, nothing written outside `clip` (picture pixels).
using MapPixelPainter = std::function<void(QImage& picture, const QPoint& offset, const QRect& clip)>;

/// Composes the map pixels of `deviceBox` (device pixels of the map at `deviceRatio`) onto `to`,
/// whose pixel (0, 0) shows map pixel `toOrigin`: a map made of something other than one sheet.
using MapComposer =
    std::function<void(QImage& to, const QRect& deviceBox, const QPoint& toOrigin, double deviceRatio)>;

class CMapCanvas {
 public:
  CMapCanvas();

  /// Paints the map through `composer` instead of the sheet copy, at display ratio `ratio`, with
  /// a map of `mapSize` logical pixels. An empty composer goes back to the sheet copy.
  void setComposer(MapComposer composer, double ratio, const QSize& mapSize);
  [[nodiscard]] bool hasComposer() const { return static_cast<bool>(m_composer); }

  /// Colours and quality of the following renders; RefreshColours() shows a change.
  void setRenderSettings(const SMapRenderSettings& settings) { m_bitmap.setRenderSettings(settings); }
  /// The open sheet (not owned; null when none) and its series. Does not render.
  void setSheet(SheetImage* image, int series);
  [[nodiscard]] int series() const { return m_series; }

  /// Renders the scaled copy for the display ratio (at min(ratio x device pixel ratio, 1)) and
  /// keeps the ratio for painting. Returns the size of the copy; (0, 0) without an image.
  QSize render(double ratio);
  [[nodiscard]] double ratio() const { return m_ratio; }
  /// Device pixels per logical pixel of the screen painted on (1 until set). The map is composed
  /// in device pixels, one sheet pixel per device pixel at a device ratio of 1, so a 2x screen
  /// never shows it blurred by an up-scale. A change resizes the back buffer and, unless
  /// painting is suspended, renders the copy again.
  void setDevicePixelRatio(double ratio);
  [[nodiscard]] double devicePixelRatio() const { return m_dpr; }
  /// Device pixels per sheet pixel: ratio() x devicePixelRatio().
  [[nodiscard]] double deviceRatio() const { return m_ratio * m_dpr; }
  /// Renders again after a colour or quality change when `series` is -1 or the open sheet's series.
  /// True when it rendered.
  bool RefreshColours(int series);

  /// Size of the map in logical (display) pixels: trunc(source size x ratio).
  [[nodiscard]] QSize mapSize() const;

  /// Resizes the back buffer to the client area (logical pixels).
  bool Recreate(int clientWidth, int clientHeight);

  /// Paints the clip box `clip` (logical coordinates) on `target`, whose origin is the client
  /// area's top-left corner; `origin` is the logical point shown there (the scroll position).
  /// The map is composed in device pixels and copied unscaled to a target of the same device
  /// pixel ratio; the overlays draw in logical coordinates.
  /// `pixels`, when given, draws over the map and under the overlays (on targets PaintsPixels()
  /// accepts; ignored otherwise, and the caller draws).
  void PaintMap(QPainter& target, const QRect& clip, const QPoint& origin, const MapOverlayPainter& overlays = {},
                const MapPixelPainter& pixels = {});
  /// True when PaintMap draws with `pixels` on this target.
  [[nodiscard]] bool PaintsPixels(QPainter& target) const;
  /// The image a painter draws on when pixels can be written there directly: a 32-bit opaque
  /// raster image of its own, reached by a device-pixel-ratio scale and a whole-pixel shift,
  /// with no clipping of the painter's own. `offset` is the target pixel of the painter's (0, 0).
  [[nodiscard]] static QImage* DirectTarget(QPainter& painter, double dpr, QPoint& offset);

  /// While suspended a paint only copies the last composed picture to the target (composed in
  /// full on the back buffer when suspending, if paints went straight to the target).
  void setPaintingSuspended(bool suspended);
  [[nodiscard]] bool paintingSuspended() const { return m_suspended; }
  /// Colour of a view that has not shown a sheet yet (the system window colour).
  void setWindowColour(const QColor& colour) { m_windowColour = colour; }

  /// The clip box a paint at `ratio` composes: widened by 2 pixels on every side above 1.
  [[nodiscard]] static QRect PaintBox(const QRect& clip, double ratio);
  /// Sheet pixel shown at logical coordinate `logical` at `ratio`: trunc(logical / ratio).
  [[nodiscard]] static int SheetPixelAt(int logical, double ratio);
  /// Stretches the 100 % copy `sheet` at `ratio` into `box` (logical coordinates) of `to`, whose
  /// pixel (0, 0) is the logical point `origin`; each pixel shows SheetPixelAt() of its logical
  /// position, so adjoining boxes painted apart meet without seams. Pixels beyond the sheet are
  /// left untouched.
  static void StretchMap(const QImage& sheet, double ratio, const QRect& box, QImage& to, const QPoint& origin,
                         bool mayStream = true);

  [[nodiscard]] ScaledSheetBitmap& bitmap() { return m_bitmap; }
  [[nodiscard]] const ScaledSheetBitmap& bitmap() const { return m_bitmap; }
  [[nodiscard]] MapBackBuffer& backBuffer() { return m_back; }

 private:
  // The map pixels of `box` (device pixels of the map) on `to`, whose pixel (0, 0) shows the map
  // point `toOrigin`: the copy or its stretch, white beyond the map.
  /// `mayStream` false keeps large copies in the caches (pixels are drawn over them next).
  void composeMap(QImage& to, const QRect& box, const QPoint& toOrigin, bool mayStream = true) const;
  // Composes `clip` (logical) with its overlays on the back buffer; the device rectangle of the
  // client area it covered (empty for nothing).
  QRect composeBack(const QRect& clip, const QPoint& origin, const MapOverlayPainter& overlays);
  // The map point shown at the client area's top-left corner, in device pixels.
  [[nodiscard]] QPoint deviceOrigin(const QPoint& origin) const;
  [[nodiscard]] QRect toDevice(const QRect& logical) const;

  // Whether there is a map to paint: the sheet copy or a composer.
  [[nodiscard]] bool hasPicture() const { return m_composer || m_bitmap.isReady(); }

  ScaledSheetBitmap m_bitmap;
  MapComposer m_composer;
  QSize m_composedSize;
  MapBackBuffer m_back;
  int m_series = 1;
  double m_ratio = 1.0;
  double m_dpr = 1.0;
  QSize m_client;
  // A paint went straight to the target: the back buffer is not the picture on screen.
  bool m_backStale = false;
  QPoint m_lastOrigin;
  MapOverlayPainter m_lastOverlays;
  bool m_suspended = false;
  QColor m_windowColour = Qt::white;
};
