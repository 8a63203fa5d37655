#pragma once
// The trek overlay: every waypoint and every track log that touches the open sheet, converted
// once to map pixels at one ratio, drawn over the map and asked what lies under the mouse.
// Painting and hit testing never convert positions again; the owner rebuilds the cache when the
// trek data, the sheet or the ratio change.
//
// Use from the map view (all positions in logical map pixels, the canvas's coordinates):
//   - Rebuild(doc.TrekGroups().Groups(), frame) after a sheet opened, the ratio or the trek data
//     changed, or waypoints or track logs were switched on; the indices the view holds (selected
//     and hovered waypoint, track log, track point) are invalid afterwards: clear them and look
//     the document's selection up again with Locate().
//   - from the canvas's overlay callback: Paint(painter, which, clip, state), with the shown flags,
//     the selection indices and the map size in `state`; it draws nothing for the overlays that
//     are not trek data (range selection, zoom band).
//   - on a mouse move: HitTest(point, options) gives the one hovered item, a track point of the
//     selected track log before a waypoint before a track log; its names for the pop-up text
//     come from Waypoint(), Track() and the track log's points.
//   - while dragging: MoveWaypoint() / MoveTrackPoint(), invalidating WaypointRect() and
//     NeighbourBounds() before and after.
// Printing and image export rebuild the cache at the output ratio and use the variants taking a
// band or a region; they also draw the name labels.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "display/CMapCanvas.h"
#include "display/TrekHitArea.h"
#include "trek/CTrekData.h"
#include "trek/CTrekGroupList.h"

class QFont;
class QPainter;
class SheetFrame;

/// A waypoint on the sheet.
struct WaypointMark {
  std::int32_t x = 0;  ///< map pixels; the foot of the flag's pole
  std::int32_t y = 0;
  std::string name;    ///< CP932
  QRect hit;           ///< (x - 4, y - 20) to (x + 24, y + 4): the icon's box widened by 4
  std::int32_t groupIndex = -1;
  const CMarkerPoint* waypoint = nullptr;  ///< identity in its group; valid until the data change
};

/// A track log with at least one point on the sheet; every one of its points is cached.
struct TrackPolyline {
  std::vector<TrackMark> points;
  std::string name;  ///< CP932
  std::int32_t groupIndex = -1;
  const CTrackLog* trackLog = nullptr;  ///< identity in its group; valid until the data change
  /// Whether the line can be hit: a track log needs two points for that.
  bool regionValid = false;
  trek_overlay::CTrackHitIndex index;
};

/// What lies under a point, by priority.
enum class ETrekHitKind : std::int32_t {
  None = 0,
  TrackLog = kTrekTrackLog,      ///< 2
  TrackPoint = kTrekTrackPoint,  ///< 4: a point of the selected track log
  Waypoint = kTrekWaypoint,      ///< 5
};

struct STrekHit {
  ETrekHitKind kind = ETrekHitKind::None;
  int group = -1;  ///< index of the item's group in the document's list
  int index = -1;  ///< waypoint or track log index in the overlay
  int point = -1;  ///< track point index (kind TrackPoint); also its index in the track log
  bool operator==(const STrekHit&) const = default;
};

struct STrekHitOptions {
  bool waypointsShown = true;
  bool trackLogsShown = true;
  int selectedTrack = -1;  ///< overlay index of the selected track log, whose points can be hit
};

/// Overlay indices of the selection (-1: none).
struct STrekOverlaySelection {
  int waypoint = -1;
  int track = -1;
  int point = -1;
  bool operator==(const STrekOverlaySelection&) const = default;
};

/// What Paint() needs from the view.
struct STrekPaintState {
  bool waypointsShown = true;
  bool trackLogsShown = true;
  STrekOverlaySelection selection;
  QSize mapSize;  ///< track lines are clipped to (0, 0, map size)
};

/// A name label placed for export or print: its box (outline included) on the drawing surface.
struct STrekLabel {
  QRect box;
  std::string text;  ///< CP932
  bool operator==(const STrekLabel&) const = default;
};
/// Size of a label's text on the surface it will be drawn on.
using TrekLabelMeasure = std::function<QSize(const std::string& text)>;

class TrekOverlay {
 public:
  static constexpr std::uint32_t kHighlightColour = 0x4E3EB3;   ///< COLORREF
  static constexpr std::uint32_t kTrackColour = 0x4F00C6;       ///< COLORREF
  static constexpr std::uint32_t kTrackPointColour = 0x90DD20;  ///< COLORREF
  static constexpr std::uint32_t kLabelOutlineColour = 0x888888;
  static constexpr int kIconWidth = 20;
  static constexpr int kIconHeight = 16;
  static constexpr int kExportLabelHeight = 12;  ///< character height in pixels

  TrekOverlay();
  ~TrekOverlay();
  TrekOverlay(const TrekOverlay&) = delete;
  TrekOverlay& operator=(const TrekOverlay&) = delete;

  // --- cache

  /// Converts the groups at the frame's current scale. Waypoints off the frame are left out; a
  /// track log is kept whole when any of its points lies on the sheet, and left out otherwise.
  void Rebuild(const CTrekGroupList::GroupList& groups, const SheetFrame& frame);
  /// As above at `ratio` (a copy of the frame scaled to it); for printing and export.
  void Rebuild(const CTrekGroupList::GroupList& groups, const SheetFrame& frame, double ratio);
  void Clear();

  [[nodiscard]] const std::vector<WaypointMark>& Waypoints() const { return m_waypoints; }
  [[nodiscard]] const std::vector<std::unique_ptr<TrackPolyline>>& Tracks() const { return m_tracks; }
  [[nodiscard]] int WaypointCount() const { return static_cast<int>(m_waypoints.size()); }
  [[nodiscard]] int TrackCount() const { return static_cast<int>(m_tracks.size()); }
  /// Null for an invalid index.
  [[nodiscard]] const WaypointMark* Waypoint(int index) const;
  [[nodiscard]] const TrackPolyline* Track(int index) const;

  // --- hit tests, in map pixels

  /// First waypoint whose hit rectangle holds `p`, or -1.
  [[nodiscard]] int HitWaypoint(QPoint p) const;
  /// First track log whose line area holds `p`, or -1.
  [[nodiscard]] int HitTrack(QPoint p) const;
  /// First point of track `trackIndex` whose hit rectangle holds `p`, or -1.
  [[nodiscard]] int HitTrackPoint(int trackIndex, QPoint p) const;
  /// The hovered item: a point of the selected track log, else a waypoint, else a track log.
  /// Hidden kinds are never hovered.
  [[nodiscard]] STrekHit HitTest(QPoint p, const STrekHitOptions& options) const;

  // --- lookups for the selection

  [[nodiscard]] int FindWaypoint(int groupIndex, const CMarkerPoint* waypoint) const;
  [[nodiscard]] int FindTrack(int groupIndex, const CTrackLog* trackLog) const;
  [[nodiscard]] int FindTrackPoint(int trackIndex, int pointIndex) const;
  /// Overlay indices of a document selection (kinds 5, 2 and 4); all -1 when it is not cached.
  [[nodiscard]] STrekOverlaySelection Locate(const STrekSelection& selection) const;

  // --- editing support

  void MoveWaypoint(int index, int x, int y);
  /// Moves a point; its hit rectangle and the line area of its two segments follow it.
  void MoveTrackPoint(int trackIndex, int pointIndex, int x, int y);
  /// Bounding rectangle of the given points (indexes clamped to the track) widened by 5;
  /// empty for an invalid track.
  [[nodiscard]] QRect NeighbourBounds(int trackIndex, std::span<const int> pointIndexes) const;
  /// Hit rectangle of a waypoint; empty for an invalid index.
  [[nodiscard]] QRect WaypointRect(int index) const;
  /// Hit rectangle of a track point; empty for invalid indexes.
  [[nodiscard]] QRect TrackPointRect(int trackIndex, int pointIndex) const;
  /// Rectangle holding the whole line area of a track log (to invalidate it); empty for an
  /// invalid index or a track that cannot be hit.
  [[nodiscard]] QRect TrackRegion(int index) const;

  // --- screen drawing, painter in map pixels

  /// Draws the overlay `which` when its condition in `state` holds; `clip` is the painted box.
  void Paint(QPainter& painter, EMapOverlay which, const QRect& clip, const STrekPaintState& state) const;
  void DrawTrackLines(QPainter& painter, const QSize& mapSize, const QRect& clip) const;
  /// Every flag, later ones on top; marks outside the painter's clip are skipped.
  void DrawWaypointIcons(QPainter& painter) const;
  void DrawWaypointHighlight(QPainter& painter, int index) const;
  void DrawTrackPoints(QPainter& painter, int trackIndex, const QRect& clip) const;
  void DrawTrackPointHighlight(QPainter& painter, int trackIndex, int pointIndex) const;

  // --- image export, cache at ratio 1.0; the painter's origin is the band's top-left corner

  void DrawWaypointIcons(QPainter& painter, const QRect& band) const;
  void DrawTrackLines(QPainter& painter, const QRect& band) const;
  void DrawWaypointLabels(QPainter& painter, const QRect& band, const QRect& region) const;
  void DrawTrackLabels(QPainter& painter, const QRect& band, const QRect& region) const;
  [[nodiscard]] std::vector<STrekLabel> ExportWaypointLabels(const QRect& band, const QRect& region,
                                                             const TrekLabelMeasure& measure) const;
  /// Draws placed labels in the painter's font: a white box with a one-pixel outline and the text
  /// in black, left-aligned or centred.
  static void DrawLabelBoxes(QPainter& painter, const std::vector<STrekLabel>& labels, bool centred);
  [[nodiscard]] std::vector<STrekLabel> ExportTrackLabels(const QRect& band, const QRect& region,
                                                          const TrekLabelMeasure& measure) const;

  // --- printing, cache at the print ratio r; `region` in sheet pixels, `dy` the header height,
  //     sx and sy printer pixels per screen pixel

  void DrawWaypointIcons(QPainter& painter, const QRect& region, double sx, double r, int dy) const;
  void DrawTrackLines(QPainter& painter, const QRect& region, double sx, double r, int dy) const;
  /// kind 5: waypoint names, 2: track log names.
  void DrawLabels(QPainter& painter, const QRect& region, double sx, double sy, double r, int dy, int kind) const;
  [[nodiscard]] std::vector<STrekLabel> PrintLabels(const QRect& region, double r, int dy, int kind,
                                                    const TrekLabelMeasure& measure) const;

  // --- placement and resources

  /// Label box of a waypoint at `pos` (relative to the output region of size `region`): the text
  /// box with its top-left corner at the position, moved left to end at the region's right edge,
  /// or above the icon (its bottom `iconHeight` above the position) at the bottom edge; a box
  /// that would then cross the top or left edge starts at the position's row or column instead.
  [[nodiscard]] static QRect PlaceWaypointLabel(QPoint pos, QSize text, QSize region, int iconHeight);
  /// Label box of a track log at `pos` whose line runs along `direction`: above the point for a
  /// line falling to the right on screen, below it otherwise; flipped to the other side and moved
  /// left by its width at the right edge, put above the point at the bottom edge, below it at
  /// the top edge and right of it at the left edge.
  [[nodiscard]] static QRect PlaceTrackLabel(QPoint pos, QPoint direction, QSize text, QSize region);
  /// The region scaled by r, each edge truncated.
  [[nodiscard]] static QRect ScaleRegion(const QRect& region, double r);
  /// The 20 x 16 flag drawn for a waypoint: opaque where the flag is, transparent elsewhere;
  /// the pole's foot is the bottom-left pixel.
  [[nodiscard]] static const QImage& FlagIcon();
  /// The label font with a character height of `pixels`.
  [[nodiscard]] static QFont LabelFont(int pixels);
  [[nodiscard]] static QColor Colour(std::uint32_t colorref);

 private:
  void appendGroup(const CTrekData& group, int groupIndex, const SheetFrame& frame);
  /// Draws every track line meeting `visible` (map pixels) at position - `offset`.
  void drawLines(QPainter& painter, const QRect& visible, QPoint offset, int penWidth) const;
  void drawOutline(QPainter& painter, const QRect& rect) const;
  [[nodiscard]] std::vector<STrekLabel> waypointLabels(const QRect& area, const QRect& out, int above, QPoint shift,
                                                       const TrekLabelMeasure& measure) const;
  [[nodiscard]] std::vector<STrekLabel> trackLabels(const QRect& out, QPoint shift,
                                                    const TrekLabelMeasure& measure) const;

  std::vector<WaypointMark> m_waypoints;
  std::vector<std::unique_ptr<TrackPolyline>> m_tracks;
};
