#include "display/GridOverlay.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "display/SegmentClip.h"
#include "geodesy/DatumConverter.h"
#include "geodesy/GridReference.h"
#include "geodesy/MagneticDeclination.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthRadiusM = 6371000.0;
constexpr int kMaxLinesPerAxis = 400;
constexpr double kSegmentPixels = 160.0;  // polyline pieces of curved lines

QColor fromColorRef(std::uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

struct SGeo {
  double lat = 0.0;  // degrees
  double lon = 0.0;
};

std::optional<SGeo> geoAt(const SheetFrame& frame, double x, double y, Datum datum) {
  const std::optional<GeoPosition> g = frame.PixelToGeo(geodesy::truncToInt32(x), geodesy::truncToInt32(y), datum);
  if (!g) return std::nullopt;
  return SGeo{g->latitude.ToDegrees(), g->longitude.ToDegrees()};
}

// Where a polyline crosses y = `level` (horizontal) or x = `level` (vertical): the point and
// the fraction of the way along the line, from its first point.
struct SCrossing {
  QPointF at;
  double along = 0.0;
};
std::optional<SCrossing> crossing(const std::vector<QPointF>& pts, double level, bool horizontal) {
  for (std::size_t i = 1; i < pts.size(); ++i) {
    const double a = horizontal ? pts[i - 1].y() : pts[i - 1].x();
    const double b = horizontal ? pts[i].y() : pts[i].x();
    if ((a - level) * (b - level) > 0.0 || a == b) continue;
    const double t = (level - a) / (b - a);
    const QPointF at = pts[i - 1] + (pts[i] - pts[i - 1]) * t;
    return SCrossing{at, (static_cast<double>(i - 1) + t) / static_cast<double>(pts.size() - 1)};
  }
  return std::nullopt;
}

// Dashes of `on` then gaps of `off` (frame pixels) along a polyline, from its first point.
std::vector<QLineF> dashesOf(const std::vector<QPointF>& pts, double on, double off) {
  std::vector<QLineF> out;
  if (on <= 0.0 || off < 0.0) return out;
  double phase = 0.0;  // distance into the current on+off period
  for (std::size_t i = 1; i < pts.size(); ++i) {
    const QPointF a = pts[i - 1];
    const QPointF d = pts[i] - a;
    const double len = std::hypot(d.x(), d.y());
    if (len <= 0.0) continue;
    double t = 0.0;
    while (t < len) {
      const bool inDash = phase < on;
      const double left = inDash ? on - phase : on + off - phase;
      const double step = std::min(left, len - t);
      if (inDash) out.emplace_back(a + d * (t / len), a + d * ((t + step) / len));
      t += step;
      phase += step;
      if (phase >= on + off) phase = 0.0;
    }
    if (out.size() > 20000) break;  // far more than any window or page shows
  }
  return out;
}

QString graticuleText(double seconds, double step) {
  const long total = std::lround(seconds);
  const long d = total / 3600;
  const long m = (total / 60) % 60;
  const long s = total % 60;
  char buf[48];
  if (step < 60.0 || s != 0)
    std::snprintf(buf, sizeof buf, "%ld°%02ld′%02ld″", d, m, s);
  else
    std::snprintf(buf, sizeof buf, "%ld°%02ld′", d, m);
  return QString::fromUtf8(buf);
}

// Writes 1- or 2-pixel lines into a 32-bit picture: a pixel is lit where the line crosses the
// middle of its column (or row, for a steep line), as an aliased cosmetic pen lights it, and
// each segment lights its first pixel and not its last, so that joins are not blended twice.
class CLineRaster {
 public:
  CLineRaster(QImage& picture, const QRect& clip)
      : m_bits(picture.bits()), m_stride(picture.bytesPerLine()), m_clip(clip), m_left(clip.left()),
        m_right(clip.right()), m_top(clip.top()), m_bottom(clip.bottom()) {}

  void setColour(QRgb colour) {
    m_colour = colour | 0xFF000000u;
    m_alpha = qAlpha(colour);
  }

  void polyline(const std::vector<QPointF>& points, const QPointF& offset, bool thick) {
    for (std::size_t i = 1; i < points.size(); ++i) segment(points[i - 1] + offset, points[i] + offset, thick);
  }
  void segment(QPointF a, QPointF b, bool thick) {
    // Cut to the clip widened by two pixels, so that far ends (lines run well past the area)
    // cost nothing and the lit pixels stay those of the whole line.
    const QRectF wide = QRectF(m_clip).adjusted(-2.0, -2.0, 2.0, 2.0);
    if ((a.y() < wide.top() && b.y() < wide.top()) || (a.y() > wide.bottom() && b.y() > wide.bottom()) ||
        (a.x() < wide.left() && b.x() < wide.left()) || (a.x() > wide.right() && b.x() > wide.right()))
      return;
    if (!ClipSegment(a, b, wide) || !std::isfinite(a.x()) || !std::isfinite(a.y()) || !std::isfinite(b.x()) ||
        !std::isfinite(b.y()))
      return;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const bool flat = std::fabs(dx) >= std::fabs(dy);
    if (flat ? dx == 0.0 : dy == 0.0) return;
    if (flat ? dx < 0.0 : dy < 0.0) std::swap(a, b);
    const double from = flat ? a.x() : a.y();
    const double to = flat ? b.x() : b.y();
    const double slope = flat ? dy / dx : dx / dy;
    const double base = flat ? a.y() : a.x();
    // Along the major axis only the clip's pixels are visited; across it one compare a pixel.
    const int lo = std::max(static_cast<int>(std::ceil(from - 0.5)), flat ? m_left : m_top);
    const int hi = std::min(static_cast<int>(std::ceil(to - 0.5)), (flat ? m_right : m_bottom) + 1);
    if (lo >= hi) return;
    double across = base + (lo + 0.5 - from) * slope - (thick ? 0.5 : 0.0);
    const int minorLo = flat ? m_top : m_left;
    const auto minorSpan = static_cast<unsigned>((flat ? m_bottom : m_right) - minorLo);
    const qsizetype majorStep = flat ? 4 : m_stride;
    const qsizetype minorStep = flat ? m_stride : 4;
    uchar* lane = m_bits + static_cast<qsizetype>(lo) * majorStep;
    for (int i = lo; i < hi; ++i, across += slope, lane += majorStep) {
      // floor() without a library call: `across` lies within a few pixels of the clip.
      int j = static_cast<int>(across);
      j -= across < j ? 1 : 0;
      const auto k = static_cast<unsigned>(j - minorLo);
      if (k <= minorSpan) put(lane + static_cast<qsizetype>(j) * minorStep);
      // k + 1 wraps to 0 for the row (column) just before the clip, whose neighbour is inside.
      if (thick && k + 1 <= minorSpan) put(lane + static_cast<qsizetype>(j + 1) * minorStep);
    }
  }

 private:
  void put(uchar* at) const {
    auto* px = reinterpret_cast<QRgb*>(at);
    if (m_alpha >= 255) {
      *px = m_colour;
      return;
    }
    const QRgb d = *px;
    const int a = m_alpha, b = 255 - m_alpha;
    const auto mix = [a, b](int s, int t) { return (s * a + t * b + 127) / 255; };
    *px = qRgb(mix(qRed(m_colour), qRed(d)), mix(qGreen(m_colour), qGreen(d)), mix(qBlue(m_colour), qBlue(d)));
  }

  uchar* m_bits;
  qsizetype m_stride;
  QRect m_clip;
  int m_left, m_right, m_top, m_bottom;
  QRgb m_colour = 0xFF000000u;
  int m_alpha = 255;
};

}  // namespace

double UtmSpacingForRatio(double ratio) {
  if (ratio > 2.0) return 100.0;
  if (ratio < 0.1) return 10000.0;
  return 1000.0;
}

double GraticuleSpacingFor(double latStepSec, double ratio, double minPixels) {
  if (ratio < 0.1) return 600.0;
  static constexpr double kSteps[] = {10.0, 30.0, 60.0, 120.0, 300.0, 600.0};
  for (const double step : kSteps)
    if (latStepSec > 0.0 && step / latStepSec >= minPixels) return step;
  return 600.0;
}

QPointF FramePixelF(const SheetFrame& frame, double latitudeSec, double longitudeSec, Datum datum) {
  if (datum == Datum::Wgs84 && frame.exactShift()) {
    // A plane is Tokyo throughout: shift the point itself, as the frame does.
    const SDatumShiftResult t = DatumConverter::Wgs84ToTokyo(DmsAngle::FromTotalSeconds(latitudeSec),
                                                             DmsAngle::FromTotalSeconds(longitudeSec), 0.0);
    latitudeSec = t.latitude.TotalSeconds();
    longitudeSec = t.longitude.TotalSeconds();
    datum = Datum::Tokyo;
  }
  const GeoPosition& nw = frame.northWest(datum);
  const double lonStep = frame.longitudeStep(datum).TotalSeconds();
  const double latStep = frame.latitudeStep(datum).TotalSeconds();
  if (lonStep <= 0.0 || latStep <= 0.0) return {};
  return {(longitudeSec - nw.longitude.TotalSeconds()) / lonStep + frame.x0() * frame.scaleX(),
          (nw.latitude.TotalSeconds() - latitudeSec) / latStep + frame.y0() * frame.scaleY()};
}

void CGridOverlay::Build(const SheetFrame& frame, const QRect& area, const SGridOverlayOptions& options) {
  ++m_builds;
  m_area = area;
  m_options = options;
  m_lines.clear();
  m_labels.clear();
  m_zoneClips.clear();
  m_declination = std::numeric_limits<double>::quiet_NaN();
  if (area.isEmpty() || frame.latitudeStep(Datum::Tokyo).TotalSeconds() <= 0.0) return;
  m_font = QFont();
  m_font.setPixelSize(std::max(6, options.labelPixelSize));
  if (options.magneticNorth) buildMagnetic(frame, options);
  if (options.graticule) buildGraticule(frame, options);
  if (options.utm) buildUtm(frame, options);
  if (options.labelPictures) {
    // A scrolled window shows mostly the labels it showed: each is drawn once and kept.
    if (m_labelCache.size() > 512) m_labelCache.clear();
    for (SGridLabel& l : m_labels) {
      // Whole pixels, so that the copy lands where the text would.
      const QRect box = l.box.toAlignedRect();
      l.box = QRectF(box);
      const SLabelKey key{l.text, l.colour.rgba(), m_font.pixelSize(), box.width(), box.height()};
      if (const auto kept = m_labelCache.find(key); kept != m_labelCache.end()) {
        l.picture = kept->second;
        continue;
      }
      l.picture = QImage(box.size(), QImage::Format_RGB32);
      l.picture.fill(Qt::white);
      QPainter p(&l.picture);
      p.setFont(m_font);
      p.setPen(l.colour);
      p.drawText(QRectF(QPointF(0, 0), QSizeF(box.size())), Qt::AlignCenter, l.text);
      p.end();
      m_labelCache.emplace(key, l.picture);
    }
  }
  const double unit = options.lineWidth > 0.0 ? options.lineWidth : 1.0;
  // Only the zone edge is dashed: the other kinds differ by colour (and the 100 m lines by a
  // lighter one), which also keeps a paint cheap.
  for (SGridLine& line : m_lines)
    if (line.kind == SGridLine::ZoneEdge) line.dashes = dashesOf(line.points, 12.0 * unit, 6.0 * unit);
}

void CGridOverlay::addLabel(SGridLine::EKind kind, const QString& text, const QPointF& at, int edge,
                            const QColor& colour) {
  const QFontMetricsF fm(m_font);
  const double w = fm.horizontalAdvance(text) + 4.0;
  const double h = fm.height();
  const QRectF a(m_area);
  QRectF box;
  switch (edge) {
    case 0: box = QRectF(at.x() - w / 2.0, a.top() + 1.0, w, h); break;
    case 1: box = QRectF(at.x() - w / 2.0, a.bottom() - h - 1.0, w, h); break;
    case 2: box = QRectF(a.left() + 2.0, at.y() - h / 2.0, w, h); break;
    default: box = QRectF(a.right() - w - 2.0, at.y() - h / 2.0, w, h); break;
  }
  // Inside the area whole, or not at all: a label is never cut by the area's edge.
  if (!a.contains(box)) return;
  for (const SGridLabel& l : m_labels)
    if (l.box.intersects(box)) return;
  m_labels.push_back({kind, text, box, colour, {}});
}

void CGridOverlay::buildUtm(const SheetFrame& frame, const SGridOverlayOptions& options) {
  const double spacing = options.utmSpacingM > 0.0 ? options.utmSpacingM : 1000.0;
  const QRectF a(m_area);
  // The area's outline and inside, sampled, in WGS-84.
  std::vector<SGeo> samples;
  for (int i = 0; i <= 4; ++i)
    for (int j = 0; j <= 4; ++j)
      if (const std::optional<SGeo> g = geoAt(frame, a.left() + a.width() * i / 4.0, a.top() + a.height() * j / 4.0,
                                              Datum::Wgs84))
        samples.push_back(*g);
  if (samples.empty()) return;
  double lonMin = 1e9, lonMax = -1e9, latMin = 1e9, latMax = -1e9;
  for (const SGeo& g : samples) {
    lonMin = std::min(lonMin, g.lon);
    lonMax = std::max(lonMax, g.lon);
    latMin = std::min(latMin, g.lat);
    latMax = std::max(latMax, g.lat);
  }
  if (latMax < -80.0 || latMin > 84.0) return;
  const double metresPerPixel =
      frame.latitudeStep(Datum::Wgs84).TotalSeconds() * kEarthRadiusM * kPi / (180.0 * 3600.0);
  const double segmentM = std::max(1.0, kSegmentPixels * metresPerPixel);
  int zoneW = geodesy::UtmZoneOfLongitude(lonMin);
  int zoneE = geodesy::UtmZoneOfLongitude(lonMax);
  if (zoneE < zoneW || zoneE - zoneW > 3) zoneW = zoneE = geodesy::UtmZoneOfLongitude((lonMin + lonMax) / 2.0);
  const QColor colour = fromColorRef(options.utmColour);
  const double latPad = (latMax - latMin) * 0.05 + 1e-4;

  for (int zone = zoneW; zone <= zoneE; ++zone) {
    const double west = geodesy::UtmZoneWestDeg(zone);
    const double east = west + 6.0;
    // The part of the area in this zone, as grid bounds.
    double eMin = 1e12, eMax = -1e12, nMin = 1e12, nMax = -1e12;
    for (const SGeo& g : samples) {
      const std::optional<SUtmPosition> u = geodesy::ToUtmInZone(g.lat, std::clamp(g.lon, west, east), zone);
      if (!u) continue;
      eMin = std::min(eMin, u->easting);
      eMax = std::max(eMax, u->easting);
      nMin = std::min(nMin, u->northing);
      nMax = std::max(nMax, u->northing);
    }
    if (eMin > eMax) continue;
    eMin -= spacing;
    eMax += spacing;
    nMin = std::max(0.0, nMin - spacing);
    nMax += spacing;

    // Where the zone stops inside the area: the edge meridians bound its lines.
    SZoneClip clip;
    clip.zone = zone;
    const bool clipWest = west > lonMin;
    const bool clipEast = east < lonMax;
    const auto meridian = [&](double lon) {
      std::vector<QPointF> pts;
      for (int k = 0; k <= 4; ++k) {
        const double lat = latMax + latPad - (latMax - latMin + 2.0 * latPad) * k / 4.0;
        pts.push_back(FramePixelF(frame, lat * 3600.0, lon * 3600.0, Datum::Wgs84));
      }
      return pts;
    };
    if (clipWest || clipEast) {
      const double far = std::max(a.width(), a.height()) * 4.0;
      std::vector<QPointF> westSide = clipWest ? meridian(west) : std::vector<QPointF>{{a.left() - far, a.top() - far},
                                                                                      {a.left() - far, a.bottom() + far}};
      std::vector<QPointF> eastSide = clipEast ? meridian(east) : std::vector<QPointF>{{a.right() + far, a.top() - far},
                                                                                      {a.right() + far, a.bottom() + far}};
      clip.polygon = westSide;
      clip.polygon.insert(clip.polygon.end(), eastSide.rbegin(), eastSide.rend());
    }
    if (clipWest) {
      SGridLine edge;
      edge.kind = SGridLine::ZoneEdge;
      edge.zone = zone;
      edge.value = west;
      edge.points = meridian(west);
      m_lines.push_back(std::move(edge));
    }
    const std::size_t clipIndex = m_zoneClips.size();
    m_zoneClips.push_back(std::move(clip));
    const auto inZone = [&](double easting, double northing) {
      const std::optional<geodesy::SLatLon> g = geodesy::FromUtm(zone, true, easting, northing);
      return g && g->longitude >= west && g->longitude < east;
    };

    for (int axis = 0; axis < 2; ++axis) {
      const bool eastings = axis == 0;
      const double lo = eastings ? eMin : nMin;
      const double hi = eastings ? eMax : nMax;
      const double from = eastings ? nMin : eMin;
      const double to = eastings ? nMax : eMax;
      const double first = std::ceil(lo / spacing) * spacing;
      if ((hi - first) / spacing > kMaxLinesPerAxis) continue;
      const int pieces = std::clamp(static_cast<int>(std::ceil((to - from) / segmentM)), 1, 64);
      for (double v = first; v <= hi; v += spacing) {
        SGridLine line;
        line.kind = eastings ? SGridLine::UtmEasting : SGridLine::UtmNorthing;
        line.zone = zone;
        line.value = v;
        line.major = std::fmod(std::fabs(v) + 0.5, 1000.0) < 1.0;
        for (int k = 0; k <= pieces; ++k) {
          const double w = from + (to - from) * k / pieces;
          const std::optional<geodesy::SLatLon> g = eastings ? geodesy::FromUtm(zone, true, v, w) : geodesy::FromUtm(zone, true, w, v);
          if (g) line.points.push_back(FramePixelF(frame, g->latitude * 3600.0, g->longitude * 3600.0, Datum::Wgs84));
        }
        if (line.points.size() < 2) continue;
        // Kilometres as the two digits printed maps carry at their edges.
        if (line.major) {
          const long km = std::lround(v / 1000.0);
          const QString text = QStringLiteral("%1").arg(km % 100, 2, 10, QLatin1Char('0'));
          for (int edge = 0; edge < 2; ++edge) {
            const double level = eastings ? (edge == 0 ? a.top() : a.bottom()) : (edge == 0 ? a.left() : a.right());
            const std::optional<SCrossing> c = crossing(line.points, level, eastings);
            if (!c) continue;
            const double w = from + (to - from) * c->along;
            if (!(eastings ? inZone(v, w) : inZone(w, v))) continue;
            addLabel(line.kind, text, c->at, eastings ? edge : edge + 2, colour);
          }
        }
        m_lines.push_back(std::move(line));
      }
    }
    (void)clipIndex;
  }
}

void CGridOverlay::buildGraticule(const SheetFrame& frame, const SGridOverlayOptions& options) {
  const Datum datum = options.graticuleDatum == Datum::Wgs84 ? Datum::Wgs84 : Datum::Tokyo;
  const double step = options.graticuleSpacingSec > 0.0 ? options.graticuleSpacingSec : 60.0;
  const QRectF a(m_area);
  double lonMin = 1e12, lonMax = -1e12, latMin = 1e12, latMax = -1e12;
  for (const QPointF& p : {a.topLeft(), a.topRight(), a.bottomLeft(), a.bottomRight()}) {
    const std::optional<SGeo> g = geoAt(frame, p.x(), p.y(), datum);
    if (!g) return;
    lonMin = std::min(lonMin, g->lon * 3600.0);
    lonMax = std::max(lonMax, g->lon * 3600.0);
    latMin = std::min(latMin, g->lat * 3600.0);
    latMax = std::max(latMax, g->lat * 3600.0);
  }
  // Straight on the frame unless a WGS-84 graticule lies over a Tokyo plane.
  const int pieces = datum == Datum::Wgs84 && frame.exactShift() ? 6 : 1;
  const double latPad = (latMax - latMin) * 0.05 + step;
  const double lonPad = (lonMax - lonMin) * 0.05 + step;
  const QColor colour = fromColorRef(options.graticuleColour);
  for (int axis = 0; axis < 2; ++axis) {
    const bool meridians = axis == 0;
    const double lo = meridians ? lonMin : latMin;
    const double hi = meridians ? lonMax : latMax;
    const double first = std::ceil(lo / step) * step;
    if ((hi - first) / step > kMaxLinesPerAxis) continue;
    for (double v = first; v <= hi; v += step) {
      SGridLine line;
      line.kind = meridians ? SGridLine::Longitude : SGridLine::Latitude;
      line.value = v;
      for (int k = 0; k <= pieces; ++k) {
        const double w = meridians ? latMax + latPad - (latMax - latMin + 2 * latPad) * k / pieces
                                   : lonMin - lonPad + (lonMax - lonMin + 2 * lonPad) * k / pieces;
        line.points.push_back(meridians ? FramePixelF(frame, w, v, datum) : FramePixelF(frame, v, w, datum));
      }
      const QString text = graticuleText(v, step);
      // At the top and left edges only: the UTM figures have the other two to themselves.
      for (int edge = 0; edge < 1; ++edge) {
        const double level = meridians ? (edge == 0 ? a.top() : a.bottom()) : (edge == 0 ? a.left() : a.right());
        if (const std::optional<SCrossing> c = crossing(line.points, level, meridians))
          addLabel(line.kind, text, c->at, meridians ? edge : edge + 2, colour);
      }
      m_lines.push_back(std::move(line));
    }
  }
}

void CGridOverlay::buildMagnetic(const SheetFrame& frame, const SGridOverlayOptions& options) {
  const QRectF a(m_area);
  const std::optional<SGeo> centre = geoAt(frame, a.center().x(), a.center().y(), Datum::Wgs84);
  if (!centre) return;
  double d = options.declinationDeg;
  if (!std::isfinite(d)) d = geodesy::Wmm2025().Declination(centre->lat, centre->lon, options.decimalYear);
  // Whole minutes, as the declination is printed: the lines keep still while the view scrolls
  // unless the minute changes.
  d = std::round(d * 60.0) / 60.0;
  m_declination = d;
  const double secToM = kEarthRadiusM * kPi / (180.0 * 3600.0);
  const double my = frame.latitudeStep(Datum::Wgs84).TotalSeconds() * secToM;
  const double mx = frame.longitudeStep(Datum::Wgs84).TotalSeconds() * secToM * std::cos(centre->lat * kPi / 180.0);
  const double spacing = options.magneticSpacingM;
  if (mx <= 0.0 || my <= 0.0 || !(spacing > 0.0)) return;
  // Ground metres (east, north) from the frame's origin, which anchors the lines to the map.
  const double rad = d * kPi / 180.0;
  const double dirU = std::sin(rad), dirV = std::cos(rad);  // along a line
  const double nU = std::cos(rad), nV = -std::sin(rad);     // across the lines
  double sMin = 1e18, sMax = -1e18, tMin = 1e18, tMax = -1e18;
  for (const QPointF& p : {a.topLeft(), a.topRight(), a.bottomLeft(), a.bottomRight()}) {
    const double u = p.x() * mx;
    const double v = -p.y() * my;
    sMin = std::min(sMin, u * nU + v * nV);
    sMax = std::max(sMax, u * nU + v * nV);
    tMin = std::min(tMin, u * dirU + v * dirV);
    tMax = std::max(tMax, u * dirU + v * dirV);
  }
  const double first = std::ceil(sMin / spacing);
  if ((sMax / spacing - first) > kMaxLinesPerAxis * 2) return;
  for (double k = first; k * spacing <= sMax; k += 1.0) {
    SGridLine line;
    line.kind = SGridLine::Magnetic;
    line.value = k * spacing;
    for (const double t : {tMin - spacing, tMax + spacing}) {
      const double u = k * spacing * nU + t * dirU;
      const double v = k * spacing * nV + t * dirV;
      line.points.emplace_back(u / mx, -v / my);
    }
    m_lines.push_back(std::move(line));
  }
}

void CGridOverlay::Paint(QPainter& painter, const QPointF& offset) const {
  if (m_lines.empty() && m_labels.empty()) return;
  painter.save();
  const QRectF area = QRectF(m_area).translated(offset);
  painter.setClipRect(area, Qt::IntersectClip);
  painter.setRenderHint(QPainter::Antialiasing, m_options.lineWidth > 1.5);
  const double width = m_options.lineWidth;
  const auto pen = [width](const QColor& c, double factor) {
    QPen p(c, width * factor, Qt::SolidLine, Qt::FlatCap);
    if (width <= 0.0) {
      p.setCosmetic(true);
      p.setWidthF(factor > 1.0 ? 2.0 : 1.0);
    }
    return p;
  };
  const QColor utm = fromColorRef(m_options.utmColour);
  QColor utmMinor = utm;
  utmMinor.setAlpha(130);
  const QColor graticule = fromColorRef(m_options.graticuleColour);
  const QColor magnetic = fromColorRef(m_options.magneticColour);
  QPolygonF poly;
  std::vector<QLineF> dashes;
  const auto draw = [&](const SGridLine& line) {
    switch (line.kind) {
      case SGridLine::UtmEasting:
      case SGridLine::UtmNorthing: painter.setPen(pen(line.major ? utm : utmMinor, 1.0)); break;
      case SGridLine::ZoneEdge: painter.setPen(pen(utm, 2.0)); break;
      case SGridLine::Latitude:
      case SGridLine::Longitude: painter.setPen(pen(graticule, 1.0)); break;
      case SGridLine::Magnetic: painter.setPen(pen(magnetic, 1.0)); break;
    }
    if (!line.dashes.empty()) {
      dashes.clear();
      for (const QLineF& d : line.dashes) dashes.push_back(d.translated(offset));
      painter.drawLines(dashes.data(), static_cast<int>(dashes.size()));
      return;
    }
    poly.clear();
    for (const QPointF& p : line.points) poly << p + offset;
    painter.drawPolyline(poly);
  };
  const auto isUtm = [](const SGridLine& l) { return l.kind == SGridLine::UtmEasting || l.kind == SGridLine::UtmNorthing; };
  for (const SGridLine& line : m_lines)
    if (!isUtm(line)) draw(line);
  // Each zone's lines stay on its own side of the zone edge.
  for (const SZoneClip& zone : m_zoneClips) {
    painter.save();
    if (!zone.polygon.empty()) {
      QPolygonF zonePoly;
      for (const QPointF& p : zone.polygon) zonePoly << p + offset;
      QPainterPath path;
      path.addPolygon(zonePoly);
      path.closeSubpath();
      painter.setClipPath(path, Qt::IntersectClip);
    }
    for (const SGridLine& line : m_lines)
      if (isUtm(line) && line.zone == zone.zone) draw(line);
    painter.restore();
  }
  painter.setFont(m_font);
  for (const SGridLabel& l : m_labels) {
    const QRectF box = l.box.translated(offset);
    if (!l.picture.isNull()) {
      painter.drawImage(box.topLeft(), l.picture);
      continue;
    }
    painter.fillRect(box, Qt::white);  // the line stops under its label, as on printed maps
    painter.setPen(l.colour);
    painter.drawText(box, Qt::AlignCenter, l.text);
  }
  painter.restore();
}

bool CGridOverlay::PaintsDirect() const {
  if (m_options.lineWidth > 0.0) return false;
  for (const SZoneClip& zone : m_zoneClips)
    if (!zone.polygon.empty()) return false;
  for (const SGridLabel& l : m_labels)
    if (l.picture.isNull() || l.picture.format() != QImage::Format_RGB32) return false;
  return true;
}

bool CGridOverlay::PaintDirect(QImage& picture, const QPoint& offset, const QRect& clip) const {
  if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32_Premultiplied) return false;
  if (!PaintsDirect()) return false;
  const QRect box = clip & m_area.translated(offset) & picture.rect();
  if (box.isEmpty() || (m_lines.empty() && m_labels.empty())) return true;
  CLineRaster raster(picture, box);
  const QColor utm = fromColorRef(m_options.utmColour);
  QColor utmMinor = utm;
  utmMinor.setAlpha(130);
  const QPointF shift(offset);
  // The order of Paint(): the other kinds, then the UTM lines, then the labels over them.
  const auto isUtm = [](const SGridLine& l) { return l.kind == SGridLine::UtmEasting || l.kind == SGridLine::UtmNorthing; };
  for (int pass = 0; pass < 2; ++pass)
    for (const SGridLine& line : m_lines) {
      if (isUtm(line) != (pass == 1)) continue;
      switch (line.kind) {
        case SGridLine::UtmEasting:
        case SGridLine::UtmNorthing: raster.setColour((line.major ? utm : utmMinor).rgba()); break;
        case SGridLine::ZoneEdge: raster.setColour(utm.rgba()); break;
        case SGridLine::Latitude:
        case SGridLine::Longitude: raster.setColour(fromColorRef(m_options.graticuleColour).rgba()); break;
        case SGridLine::Magnetic: raster.setColour(fromColorRef(m_options.magneticColour).rgba()); break;
      }
      const bool thick = line.kind == SGridLine::ZoneEdge;
      if (line.dashes.empty()) {
        raster.polyline(line.points, shift, thick);
        continue;
      }
      for (const QLineF& d : line.dashes) raster.segment(d.p1() + shift, d.p2() + shift, thick);
    }
  for (const SGridLabel& l : m_labels) {
    const QRect at(l.box.topLeft().toPoint() + offset, l.picture.size());
    const QRect part = at & box;
    if (part.isEmpty()) continue;
    const int bytes = part.width() * 4;
    for (int y = part.top(); y <= part.bottom(); ++y)
      std::memcpy(picture.scanLine(y) + part.left() * 4, l.picture.constScanLine(y - at.top()) + (part.left() - at.left()) * 4,
                  static_cast<std::size_t>(bytes));
  }
  return true;
}
