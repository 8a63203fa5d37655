#pragma once
// Routes over the map: each route a line through its points with the points numbered, the
// selected one with handles halfway along each leg (dragging one puts a point there), and the
// route being drawn. Positions are map pixels of the frame the cache was built for.
#include <QPoint>
#include <QRect>
#include <vector>

#include "geodesy/GeoPosition.h"
#include "trek/CTrekGroupList.h"

class QPainter;
class SheetFrame;

class CRouteOverlay {
 public:
  /// Radius of a numbered point (map pixels); a click within it hits the point.
  static constexpr int kPointRadius = 8;

  struct SRouteLine {
    int group = -1;
    CRoute* route = nullptr;  ///< identity in its group; valid until the data change
    std::vector<QPoint> points;
  };
  struct SHit {
    int group = -1;
    CRoute* route = nullptr;
    int point = -1;         ///< the point hit, or with `midpoint` the leg after that point
    bool midpoint = false;  ///< the handle halfway from `point` to the next
    [[nodiscard]] bool valid() const { return route != nullptr; }
  };

  void Rebuild(const CTrekGroupList::GroupList& groups, const SheetFrame& frame);
  void Clear() { m_lines.clear(); }
  [[nodiscard]] const std::vector<SRouteLine>& lines() const { return m_lines; }

  /// Draws the routes and the draft; `origin` is the map pixel at the painter's (0, 0).
  void Paint(QPainter& painter, const QPoint& origin, const STrekSelection& selection) const;
  /// A point of any route (those of the selected route first), else a handle of the selected route.
  [[nodiscard]] SHit HitTest(const QPoint& map, const STrekSelection& selection) const;
  /// Shows a point (or a new point at a handle) at `map` until the next Rebuild.
  void MovePreview(const SHit& hit, const QPoint& map);

  // The route being drawn: map pixels and WGS-84 positions, point by point.
  [[nodiscard]] bool drafting() const { return m_drafting; }
  void BeginDraft();
  void AddDraftPoint(const QPoint& map, const GeoPosition& wgs84);
  /// False when there was none.
  bool RemoveLastDraftPoint();
  void EndDraft();
  [[nodiscard]] const std::vector<GeoPosition>& draftPositions() const { return m_draftGeo; }
  [[nodiscard]] const std::vector<QPoint>& draftPoints() const { return m_draft; }
  /// Where the mouse is while drawing: the leg from the last point follows it.
  void SetDraftCursor(const QPoint& map) { m_cursor = map; }
  /// Map pixels that a change of the draft repaints.
  [[nodiscard]] QRect DraftBounds() const;

 private:
  [[nodiscard]] bool isSelected(const SRouteLine& l, const STrekSelection& s) const;

  std::vector<SRouteLine> m_lines;
  bool m_drafting = false;
  std::vector<QPoint> m_draft;
  std::vector<GeoPosition> m_draftGeo;
  QPoint m_cursor;
};
