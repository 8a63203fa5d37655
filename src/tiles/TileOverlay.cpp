#include "tiles/TileOverlay.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "display/SegmentClip.h"
#include "display/TrekOverlay.h"
#include "geodesy/DatumConverter.h"
#include "geodesy/GridReference.h"
#include "geodesy/MagneticDeclination.h"
#include "output/MapImageExport.h"
#include "platform/Codepage.h"
#include "platform/IProfileStore.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekData.h"

namespace tiles {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEquatorMetres = 40075016.685578488;
constexpr double kMaxMercatorLatitude = 85.05112877980659;
constexpr double kMetresPerSecond = 30.87;  // of latitude, near enough for choosing a step
constexpr int kMaxLinesPerAxis = 400;
constexpr int kPiece = 64;          // grid pixels between the vertices of a curved line
constexpr int kTrackPiece = 64;     // track segments per culled piece
constexpr int kReach = 32;          // a flag or name drawn from a point this far outside
constexpr int kSafe = 256;          // segments are cut back to this far outside a picture
constexpr const char* kOptionSection = "Settings";
constexpr const char* kOptionKey = "ExportTilesOption";

double metresPerDegreeLat(double lat) { return 111132.954 - 559.822 * std::cos(2 * lat * kPi / 180.0); }
double metresPerDegreeLon(double lat) {
  return 111412.84 * std::cos(lat * kPi / 180.0) - 93.5 * std::cos(3 * lat * kPi / 180.0);
}

QColor colourOf(std::uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

QRectF boundsOf(const std::vector<QPointF>& pts) {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const QPointF& p : pts) {
    x0 = std::min(x0, p.x()), y0 = std::min(y0, p.y());
    x1 = std::max(x1, p.x()), y1 = std::max(y1, p.y());
  }
  return pts.empty() ? QRectF() : QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

// A grid pixel as a whole pixel; positions far off the world stay far off without overflowing.
QPoint wholePixel(const QPointF& p) {
  const auto whole = [](double v) { return static_cast<int>(std::clamp(std::floor(v), -1e9, 1e9)); };
  return {whole(p.x()), whole(p.y())};
}

QPointF shifted(double latSec, double lonSec, bool fromTokyo) {
  if (!fromTokyo) return {lonSec, latSec};
  const SDatumShiftResult w = DatumConverter::TokyoToWgs84(DmsAngle::FromTotalSeconds(latSec), DmsAngle::FromTotalSeconds(lonSec), 0);
  return {w.longitude.TotalSeconds(), w.latitude.TotalSeconds()};
}

}  // namespace

std::int32_t STileOverlays::effective() const {
  std::int32_t bits = map_export::EffectiveOptions(options);
  const bool trekData = treks && std::any_of(treks->begin(), treks->end(), [](const auto& g) { return g != nullptr; });
  return trekData ? bits : bits & kExportGridMask;
}

QPointF SPixelGrid::PixelOf(double latitude, double longitude) const {
  if (!mercator && tokyo) {
    const SDatumShiftResult t =
        DatumConverter::Wgs84ToTokyo(DmsAngle::FromDegrees(latitude), DmsAngle::FromDegrees(longitude), 0);
    return {(t.longitude.TotalSeconds() / 3600.0 - west) / lonStep, (north - t.latitude.TotalSeconds() / 3600.0) / latStep};
  }
  if (!mercator) return {(longitude - west) / lonStep, (north - latitude) / latStep};
  const double n = std::ldexp(static_cast<double>(kTileSize), zoom);
  const double phi = std::clamp(latitude, -kMaxMercatorLatitude, kMaxMercatorLatitude) * kPi / 180.0;
  return {(longitude + 180.0) / 360.0 * n, (1 - std::log(std::tan(kPi / 4 + phi / 2)) / kPi) / 2 * n};
}

double SPixelGrid::MetresAcross(double latitude) const {
  if (!mercator) return lonStep * metresPerDegreeLon(latitude);
  return kEquatorMetres * std::cos(latitude * kPi / 180.0) / std::ldexp(static_cast<double>(kTileSize), zoom);
}

double SPixelGrid::MetresDown(double latitude) const {
  return mercator ? MetresAcross(latitude) : latStep * metresPerDegreeLat(latitude);
}

SPixelGrid MercatorGrid(int zoom) {
  SPixelGrid g;
  g.zoom = zoom;
  return g;
}

SGridOverlayOptions TileGridLook(std::int32_t utmColour, std::int32_t graticuleColour, std::int32_t magneticColour,
                                 bool wgs84Graticule, MapSeries series) {
  SGridOverlayOptions o;
  o.utmColour = static_cast<std::uint32_t>(utmColour);
  o.graticuleColour = static_cast<std::uint32_t>(graticuleColour);
  o.magneticColour = static_cast<std::uint32_t>(magneticColour);
  o.graticuleDatum = wgs84Graticule ? Datum::Wgs84 : Datum::Tokyo;
  o.magneticSpacingM = 0.04 * (series == MapSeries::Scale50000 ? 50000.0 : 25000.0);
  o.decimalYear = geodesy::DecimalYearToday();
  return o;
}

std::int32_t ReadTileOverlayOptions() {
  return map_export::EffectiveOptions(platform::profile().readInt(kOptionSection, kOptionKey, kDefaultExportOptions));
}

void WriteTileOverlayOptions(std::int32_t bits) {
  platform::profile().writeInt(kOptionSection, kOptionKey, map_export::EffectiveOptions(bits));
}

bool CTileOverlay::empty() const {
  return m_flags.empty() && m_waypointLabels.empty() && m_tracks.empty() && m_trackLabels.empty() && m_lines.empty();
}

void CTileOverlay::Build(const STileOverlays& overlays, const SGeoBox& box, const SPixelGrid& grid) {
  *this = CTileOverlay();
  m_grid = grid;
  m_look = overlays.look;
  m_bits = overlays.effective();
  if (!m_bits || !box.valid() || !grid.valid()) return;
  if (overlays.treks && (m_bits & ~kExportGridMask)) buildTreks(*overlays.treks, m_bits, box);
  if (m_bits & kExportMagneticNorth) buildMagnetic(box);
  if (m_bits & kExportGraticule) buildGraticule(box);
  if (m_bits & kExportUtmGrid) buildUtm(box);
}

void CTileOverlay::buildTreks(const CTrekGroupList::GroupList& groups, std::int32_t bits, const SGeoBox& box) {
  const QRectF outline = QRectF(m_grid.PixelOf(box.north, box.west), m_grid.PixelOf(box.south, box.east)).normalized();
  const QRect area = outline.toAlignedRect();
  const QRect near = area.adjusted(-kReach, -kReach, kReach, kReach);
  const QFont font = TrekOverlay::LabelFont(TrekOverlay::kExportLabelHeight);
  const QFontMetrics metrics(font);
  const auto measure = [&metrics](const std::string& text) {
    const QString s = QString::fromStdString(platform::cp932::toUtf8Lossy(text));
    return QSize(metrics.horizontalAdvance(s), metrics.height());
  };
  // Names go where the map view puts them: no picture edge moves them.
  const QSize anywhere(1 << 30, 1 << 30);
  const auto pixel = [&](const DmsAngle& lat, const DmsAngle& lon) -> std::optional<QPoint> {
    const double y = lat.ToDegrees(), x = lon.ToDegrees();
    if (!std::isfinite(y) || !std::isfinite(x) || std::abs(y) > 90 || std::abs(x) > 360) return std::nullopt;
    return wholePixel(m_grid.PixelOf(y, x));
  };
  for (const auto& group : groups) {
    if (!group) continue;
    if (group->Kind() == CTrekData::kWaypointGroup && (bits & kExportWaypointIcons)) {
      for (const auto& wp : group->Waypoints()) {
        if (!wp) continue;
        const std::optional<QPoint> p = pixel(wp->latitude, wp->longitude);
        if (!p || !near.contains(*p)) continue;
        m_flags.push_back(*p);
        if (bits & kExportWaypointNames)
          m_waypointLabels.push_back(
              {TrekOverlay::PlaceWaypointLabel(*p, measure(wp->name), anywhere, TrekOverlay::kIconHeight).adjusted(-1, -1, 1, 1),
               wp->name});
      }
    }
    if (group->Kind() != CTrekData::kTrackLogGroup || !(bits & kExportTrackLines)) continue;
    for (const auto& log : group->TrackLogs()) {
      if (!log) continue;
      std::vector<QPoint> points;
      points.reserve(log->Points().size());
      int firstInside = -1;
      for (const CTrackPoint& tp : log->Points()) {
        const std::optional<QPoint> p = pixel(tp.latitude, tp.longitude);
        if (!p) continue;
        if (firstInside < 0 && area.contains(*p)) firstInside = static_cast<int>(points.size());
        points.push_back(*p);
      }
      if (firstInside < 0 && !std::any_of(points.begin(), points.end(), [&](const QPoint& p) { return near.contains(p); }))
        continue;
      // Pieces of a few dozen segments, each culled by its own box; neighbours share a point.
      for (std::size_t from = 0; from + 1 < points.size() || (from == 0 && points.size() == 1); from += kTrackPiece) {
        STrackPiece piece;
        const std::size_t to = std::min(points.size(), from + kTrackPiece + 1);
        piece.points.assign(points.begin() + static_cast<std::ptrdiff_t>(from), points.begin() + static_cast<std::ptrdiff_t>(to));
        QRect b(piece.points.front(), QSize(1, 1));
        for (const QPoint& p : piece.points) b |= QRect(p, QSize(1, 1));
        piece.bounds = b;
        m_tracks.push_back(std::move(piece));
        if (points.size() == 1) break;
      }
      if ((bits & kExportTrackNames) && firstInside >= 0) {
        const std::size_t i = static_cast<std::size_t>(firstInside);
        QPoint direction;
        if (i + 1 < points.size()) direction = points[i + 1] - points[i];
        else if (i > 0) direction = points[i] - points[i - 1];
        m_trackLabels.push_back(
            {TrekOverlay::PlaceTrackLabel(points[i], direction, measure(log->name), anywhere).adjusted(-1, -1, 1, 1), log->name});
      }
    }
  }
}

void CTileOverlay::buildUtm(const SGeoBox& box) {
  const double midLat = (box.north + box.south) / 2;
  const double metres = m_grid.MetresAcross(midLat);
  // Kilometre lines while they lie 32 pixels apart or more, then 10 km lines down to 24 pixels.
  m_utmSpacing = 1000.0 / metres >= 32 ? 1000.0 : 10000.0;
  if (m_utmSpacing / metres < 24 || box.north < -80 || box.south > 84) return;
  const double s = m_utmSpacing;
  int zoneW = geodesy::UtmZoneOfLongitude(box.west);
  int zoneE = geodesy::UtmZoneOfLongitude(box.east);
  if (zoneE < zoneW || zoneE - zoneW > 3) zoneW = zoneE = geodesy::UtmZoneOfLongitude((box.west + box.east) / 2);
  const double latPad = (box.north - box.south) * 0.05 + 1e-4;
  for (int zone = zoneW; zone <= zoneE; ++zone) {
    const double west = geodesy::UtmZoneWestDeg(zone);
    const double east = west + 6.0;
    const double lonA = std::max(box.west, west), lonB = std::min(box.east, east);
    if (!(lonA < lonB)) continue;
    double eMin = 1e12, eMax = -1e12, nMin = 1e12, nMax = -1e12;
    for (int i = 0; i <= 8; ++i)
      for (int j = 0; j <= 8; ++j) {
        const double lat = box.south + (box.north - box.south) * i / 8.0;
        const double lon = lonA + (lonB - lonA) * j / 8.0;
        const std::optional<SUtmPosition> u = geodesy::ToUtmInZone(lat, lon, zone);
        if (!u) continue;
        eMin = std::min(eMin, u->easting), eMax = std::max(eMax, u->easting);
        nMin = std::min(nMin, u->northing), nMax = std::max(nMax, u->northing);
      }
    if (eMin > eMax) continue;
    eMin -= s, eMax += s, nMin = std::max(0.0, nMin - s), nMax += s;
    // Meridians are upright on both grids: a zone's columns are between its edge meridians.
    const double clipLeft = m_grid.PixelOf(midLat, west).x();
    const double clipRight = m_grid.PixelOf(midLat, east).x();
    if (west > box.west) {
      SLine edge;
      edge.kind = SLine::ZoneEdge;
      edge.value = west;
      edge.points = {m_grid.PixelOf(box.north + latPad, west), m_grid.PixelOf(box.south - latPad, west)};
      edge.bounds = boundsOf(edge.points);
      m_lines.push_back(std::move(edge));
    }
    for (int axis = 0; axis < 2; ++axis) {
      const bool eastings = axis == 0;
      const double lo = eastings ? eMin : nMin, hi = eastings ? eMax : nMax;
      const double from = eastings ? nMin : eMin, to = eastings ? nMax : eMax;
      const double first = std::ceil(lo / s) * s;
      if ((hi - first) / s > kMaxLinesPerAxis) continue;
      const int pieces = std::clamp(static_cast<int>(std::ceil((to - from) / metres / kPiece)), 1, 1024);
      for (double v = first; v <= hi; v += s) {
        SLine line;
        line.kind = eastings ? SLine::UtmEasting : SLine::UtmNorthing;
        line.value = v;
        line.clipLeft = clipLeft;
        line.clipRight = clipRight;
        for (int k = 0; k <= pieces; ++k) {
          const double w = from + (to - from) * k / pieces;
          const std::optional<geodesy::SLatLon> g = eastings ? geodesy::FromUtm(zone, true, v, w) : geodesy::FromUtm(zone, true, w, v);
          if (g) line.points.push_back(m_grid.PixelOf(g->latitude, g->longitude));
        }
        if (line.points.size() < 2) continue;
        line.bounds = boundsOf(line.points);
        m_lines.push_back(std::move(line));
      }
    }
  }
}

void CTileOverlay::buildGraticule(const SGeoBox& box) {
  const bool tokyo = m_look.graticuleDatum != Datum::Wgs84;
  const double midLat = (box.north + box.south) / 2;
  m_graticuleStep = GraticuleSpacingFor(m_grid.MetresDown(midLat) / kMetresPerSecond, 1.0);
  const double step = m_graticuleStep;
  double lonMin = 1e12, lonMax = -1e12, latMin = 1e12, latMax = -1e12;
  for (int i = 0; i <= 4; ++i)
    for (int j = 0; j <= 4; ++j) {
      double lat = (box.south + (box.north - box.south) * i / 4.0) * 3600.0;
      double lon = (box.west + (box.east - box.west) * j / 4.0) * 3600.0;
      if (tokyo) {
        const SDatumShiftResult t = DatumConverter::Wgs84ToTokyo(DmsAngle::FromTotalSeconds(lat), DmsAngle::FromTotalSeconds(lon), 0);
        lat = t.latitude.TotalSeconds(), lon = t.longitude.TotalSeconds();
      }
      lonMin = std::min(lonMin, lon), lonMax = std::max(lonMax, lon);
      latMin = std::min(latMin, lat), latMax = std::max(latMax, lat);
    }
  latMin -= step, latMax += step, lonMin -= step, lonMax += step;
  for (int axis = 0; axis < 2; ++axis) {
    const bool meridians = axis == 0;
    const double lo = meridians ? lonMin : latMin, hi = meridians ? lonMax : latMax;
    const double from = meridians ? latMax : lonMin, to = meridians ? latMin : lonMax;
    const double first = std::ceil(lo / step) * step;
    if ((hi - first) / step > kMaxLinesPerAxis) continue;
    // A WGS-84 graticule is upright on both grids; a Tokyo one bends a little through the shift.
    const double lengthPx = std::abs(to - from) * kMetresPerSecond / m_grid.MetresAcross(midLat);
    const int pieces = tokyo ? std::clamp(static_cast<int>(std::ceil(lengthPx / kPiece)), 2, 1024) : 1;
    for (double v = first; v <= hi; v += step) {
      SLine line;
      line.kind = meridians ? SLine::Longitude : SLine::Latitude;
      line.value = v;
      for (int k = 0; k <= pieces; ++k) {
        const double w = from + (to - from) * k / pieces;
        const QPointF g = meridians ? shifted(w, v, tokyo) : shifted(v, w, tokyo);  // (lon, lat) seconds
        line.points.push_back(m_grid.PixelOf(g.y() / 3600.0, g.x() / 3600.0));
      }
      line.bounds = boundsOf(line.points);
      m_lines.push_back(std::move(line));
    }
  }
}

void CTileOverlay::buildMagnetic(const SGeoBox& box) {
  const double lat = (box.north + box.south) / 2, lon = (box.west + box.east) / 2;
  double d = m_look.declinationDeg;
  if (!std::isfinite(d)) d = geodesy::Wmm2025().Declination(lat, lon, m_look.decimalYear);
  // Whole minutes, as the declination is printed.
  d = std::round(d * 60.0) / 60.0;
  m_declination = d;
  const double mx = m_grid.MetresAcross(lat), my = m_grid.MetresDown(lat);
  double spacing = m_look.magneticSpacingM > 0 ? m_look.magneticSpacingM : 1000.0;
  if (!(mx > 0) || !(my > 0)) return;
  while (spacing / mx < 48) spacing *= 2;
  // The lines are anchored to a fixed ground point, so every zoom level draws the same lines.
  const QPointF anchor = m_grid.PixelOf(std::round(lat * 10) / 10, std::round(lon * 10) / 10);
  const double rad = d * kPi / 180.0;
  const double dirU = std::sin(rad), dirV = std::cos(rad);  // along a line (east, north)
  const double nU = std::cos(rad), nV = -std::sin(rad);     // across the lines
  double sMin = 1e300, sMax = -1e300, tMin = 1e300, tMax = -1e300;
  for (const QPointF& p : {m_grid.PixelOf(box.north, box.west), m_grid.PixelOf(box.north, box.east),
                           m_grid.PixelOf(box.south, box.west), m_grid.PixelOf(box.south, box.east)}) {
    const double u = (p.x() - anchor.x()) * mx, v = -(p.y() - anchor.y()) * my;
    sMin = std::min(sMin, u * nU + v * nV), sMax = std::max(sMax, u * nU + v * nV);
    tMin = std::min(tMin, u * dirU + v * dirV), tMax = std::max(tMax, u * dirU + v * dirV);
  }
  const double first = std::floor(sMin / spacing);
  if (sMax / spacing - first > kMaxLinesPerAxis * 2) return;
  for (double k = first; k * spacing <= sMax + spacing; k += 1.0) {
    SLine line;
    line.kind = SLine::Magnetic;
    line.value = k * spacing;
    for (const double t : {tMin - spacing, tMax + spacing}) {
      const double u = k * spacing * nU + t * dirU, v = k * spacing * nV + t * dirV;
      line.points.emplace_back(anchor.x() + u / mx, anchor.y() - v / my);
    }
    line.bounds = boundsOf(line.points);
    m_lines.push_back(std::move(line));
  }
}

void CTileOverlay::Paint(QImage& picture, QPoint origin) const {
  if (empty() || picture.isNull()) return;
  const QRect shown(origin, picture.size());
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing, false);

  // As the map export: flags, their names, track lines, their names, then the grid.
  const QImage& flag = TrekOverlay::FlagIcon();
  for (const QPoint& f : m_flags) {
    const QRect icon(f.x(), f.y() - TrekOverlay::kIconHeight, TrekOverlay::kIconWidth, TrekOverlay::kIconHeight);
    if (icon.intersects(shown)) painter.drawImage(icon.topLeft() - origin, flag);
  }
  const auto labels = [&](const std::vector<STrekLabel>& all) {
    std::vector<STrekLabel> here;
    for (const STrekLabel& l : all)
      if (l.box.intersects(shown)) here.push_back({l.box.translated(-origin), l.text});
    if (here.empty()) return;
    painter.save();
    painter.setFont(TrekOverlay::LabelFont(TrekOverlay::kExportLabelHeight));
    TrekOverlay::DrawLabelBoxes(painter, here, false);
    painter.restore();
  };
  labels(m_waypointLabels);

  if (!m_tracks.empty()) {
    // Two pixels wide: a one-pixel line stamped at each pixel of a 2 x 2 square, as exported.
    static constexpr QPoint kStamps[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    QPen pen(TrekOverlay::Colour(TrekOverlay::kTrackColour));
    pen.setWidth(1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QRect safe = shown.adjusted(-kSafe, -kSafe, kSafe, kSafe);
    const QRect cull = shown.adjusted(-3, -3, 3, 3);
    QPolygon run;
    const auto flush = [&] {
      if (run.size() >= 2)
        for (const QPoint& s : kStamps) painter.drawPolyline(run.translated(s));
      run.clear();
    };
    for (const STrackPiece& piece : m_tracks) {
      if (!piece.bounds.intersects(cull)) continue;
      if (piece.points.size() == 1) {
        for (const QPoint& s : kStamps) painter.drawPoint(piece.points.front() - origin + s);
        continue;
      }
      for (std::size_t k = 0; k + 1 < piece.points.size(); ++k) {
        const QPoint a = piece.points[k], b = piece.points[k + 1];
        if (!QRect(a, b).normalized().adjusted(0, 0, 1, 1).intersects(cull)) {
          flush();
          continue;
        }
        if (safe.contains(a) && safe.contains(b)) {
          if (run.isEmpty()) run.append(a - origin);
          if (run.last() != b - origin) run.append(b - origin);
          continue;
        }
        flush();
        QPointF from(a), to(b);
        if (!ClipSegment(from, to, QRectF(safe))) continue;
        for (const QPoint& s : kStamps) painter.drawLine(QLineF(from - QPointF(origin - s), to - QPointF(origin - s)));
      }
      flush();
    }
  }
  labels(m_trackLabels);

  if (m_lines.empty()) return;
  const QRectF safe = QRectF(shown).adjusted(-64, -64, 64, 64);
  const QColor utm = colourOf(m_look.utmColour);
  const QColor graticule = colourOf(m_look.graticuleColour);
  const QColor magnetic = colourOf(m_look.magneticColour);
  const QPointF o(origin);
  for (const SLine& line : m_lines) {
    if (!line.bounds.adjusted(-2, -2, 2, 2).intersects(QRectF(shown))) continue;
    if (line.clipRight < shown.left() || line.clipLeft > shown.right() + 1) continue;
    QPen pen(line.kind == SLine::Latitude || line.kind == SLine::Longitude ? graticule
             : line.kind == SLine::Magnetic                                ? magnetic
                                                                           : utm);
    pen.setCosmetic(true);
    pen.setWidth(line.kind == SLine::ZoneEdge ? 2 : 1);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    const bool zoneClip = line.clipLeft > -1e299 || line.clipRight < 1e299;
    if (zoneClip) {
      painter.save();
      const double left = std::max(line.clipLeft, safe.left()) - o.x();
      const double right = std::min(line.clipRight, safe.right()) - o.x();
      painter.setClipRect(QRectF(left, -64, right - left, picture.height() + 128));
    }
    if (line.kind == SLine::ZoneEdge) {
      // Dashes of 12 on 6 off counted from the grid's row 0, so that they fall alike on every tile.
      const double x = line.points.front().x() - o.x();
      const double top = std::max(line.bounds.top(), safe.top()), bottom = std::min(line.bounds.bottom(), safe.bottom());
      for (double y = std::floor(top / 18.0) * 18.0; y < bottom; y += 18.0) {
        const double y0 = std::max(y, top), y1 = std::min(y + 12.0, bottom);
        if (y1 > y0) painter.drawLine(QLineF(x, y0 - o.y(), x, y1 - o.y()));
      }
    } else {
      for (std::size_t k = 0; k + 1 < line.points.size(); ++k) {
        QPointF a = line.points[k], b = line.points[k + 1];
        if (!ClipSegment(a, b, safe)) continue;
        painter.drawLine(QLineF(a - o, b - o));
      }
    }
    if (zoneClip) painter.restore();
  }
}

}  // namespace tiles
