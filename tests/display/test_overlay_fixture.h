#pragma once
// Trek data placed by map pixel on a 4000 x 3000 pixel sheet, for the overlay tests.
#include <gtest/gtest.h>

#include <QPoint>
#include <memory>
#include <string>
#include <vector>

#include "display/TrekOverlay.h"
#include "geodesy/SheetFrame.h"
#include "trek/CTrekData.h"

namespace overlay_test {

class CPixelSheet {
 public:
  /// `ratio`: map pixels per sheet pixel; positions are given in map pixels.
  explicit CPixelSheet(double ratio = 1.0) {
    m_frame.Setup(DmsAngle(35, 40, 0), DmsAngle(139, 0, 0), DmsAngle(35, 35, 0), DmsAngle(139, 7, 30), 0, 0, 4000,
                  3000, ratio, ratio, Datum::Wgs84);
  }
  [[nodiscard]] const SheetFrame& frame() const { return m_frame; }

  /// A WGS-84 position inside pixel (x, y): half a pixel away from its corner, away from zero
  /// (pixels truncate toward zero), so rounding cannot move it to a neighbour.
  [[nodiscard]] GeoPosition at(QPoint p) const {
    const GeoPosition corner = *m_frame.PixelToGeo(p.x(), p.y(), Datum::Wgs84);
    const DmsAngle halfRow = DmsAngle::DivideBy(m_frame.latitudeStep(Datum::Wgs84), 2.0);
    const DmsAngle halfColumn = DmsAngle::DivideBy(m_frame.longitudeStep(Datum::Wgs84), 2.0);
    GeoPosition g = corner;
    g.latitude = p.y() >= 0 ? DmsAngle::Subtract(corner.latitude, halfRow) : DmsAngle::Add(corner.latitude, halfRow);
    g.longitude =
        p.x() >= 0 ? DmsAngle::Add(corner.longitude, halfColumn) : DmsAngle::Subtract(corner.longitude, halfColumn);
    const auto back = m_frame.GeoToPixel(g.latitude, g.longitude, Datum::Wgs84);
    EXPECT_TRUE(back && back->x == p.x() && back->y == p.y()) << p.x() << "," << p.y();
    return g;
  }

  CTrekData& addGroup(std::int32_t kind) {
    auto group = std::make_unique<CTrekData>();
    group->SetKind(kind);
    m_groups.push_back(std::move(group));
    return *m_groups.back();
  }
  CMarkerPoint& addWaypoint(CTrekData& group, const std::string& name, QPoint p) {
    auto wp = std::make_unique<CMarkerPoint>();
    wp->name = name;
    const GeoPosition g = at(p);
    wp->SetPosition(g.latitude, g.longitude, Datum::Wgs84);
    group.AppendWaypoint(std::move(wp));
    return *group.Waypoints().back();
  }
  CTrackLog& addTrack(CTrekData& group, const std::string& name, const std::vector<QPoint>& points) {
    auto log = std::make_unique<CTrackLog>();
    log->name = name;
    for (const QPoint& p : points) {
      CTrackPoint tp;
      const GeoPosition g = at(p);
      tp.SetPosition(g.latitude, g.longitude, Datum::Wgs84);
      tp.number = static_cast<std::int32_t>(log->Points().size());
      log->AppendPoint(tp);
    }
    group.AppendTrackLog(std::move(log));
    return *group.TrackLogs().back();
  }
  [[nodiscard]] const CTrekGroupList::GroupList& groups() const { return m_groups; }

 private:
  SheetFrame m_frame;
  CTrekGroupList::GroupList m_groups;
};

}  // namespace overlay_test
