#include "geodesy/SheetFrame.h"

#include "geodesy/DatumConverter.h"

namespace {
// The frame is widened by this on every side so that positions on the catalogue's frame
// lines count as on the sheet.
const DmsAngle kWidening(0, 0, 0.01);
}  // namespace

void SheetFrame::Setup(const DmsAngle& north, const DmsAngle& west, const DmsAngle& south, const DmsAngle& east,
                       std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, double sx, double sy,
                       Datum datum) {
  if (!IsKnownDatum(datum)) return;
  const GeoPosition northWest{DmsAngle::Add(north, kWidening), DmsAngle::Subtract(west, kWidening), datum};
  const GeoPosition southEast{DmsAngle::Subtract(south, kWidening), DmsAngle::Add(east, kWidening), datum};
  const Datum other = datum == Datum::Tokyo ? Datum::Wgs84 : Datum::Tokyo;
  SCornerSet& given = datum == Datum::Tokyo ? m_tokyo : m_wgs84;
  SCornerSet& converted = datum == Datum::Tokyo ? m_wgs84 : m_tokyo;
  given.northWest = northWest;
  given.southEast = southEast;
  // Only the two corners are converted; the result is again taken as a lat/lon rectangle.
  converted.northWest = DatumConverter::Convert(northWest, other);
  converted.southEast = DatumConverter::Convert(southEast, other);
  m_x0 = x0;
  m_y0 = y0;
  m_x1 = x1;
  m_y1 = y1;
  m_exactShift = false;
  SetScale(sx, sy);
}

void SheetFrame::SetupPlane(const DmsAngle& north, const DmsAngle& west, const DmsAngle& south, const DmsAngle& east,
                            std::int32_t width, std::int32_t height, double scale) {
  m_tokyo.northWest = GeoPosition{north, west, Datum::Tokyo};
  m_tokyo.southEast = GeoPosition{south, east, Datum::Tokyo};
  m_wgs84.northWest = DatumConverter::Convert(m_tokyo.northWest, Datum::Wgs84);
  m_wgs84.southEast = DatumConverter::Convert(m_tokyo.southEast, Datum::Wgs84);
  m_x0 = 0;
  m_y0 = 0;
  m_x1 = width;
  m_y1 = height;
  m_exactShift = true;
  SetScale(scale, scale);
}

std::optional<GeoPosition> SheetFrame::toTokyo(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum) const {
  if (!m_exactShift || datum != Datum::Wgs84) return std::nullopt;
  return DatumConverter::Convert(GeoPosition{latitude, longitude, Datum::Wgs84}, Datum::Tokyo);
}

void SheetFrame::SetScale(double sx, double sy) {
  m_sx = sx;
  m_sy = sy;
  // DivideBy keeps the angle for a divisor <= 0: a degenerate frame keeps its whole span.
  const double columns = static_cast<double>(m_x1) - static_cast<double>(m_x0);
  const double rows = static_cast<double>(m_y1) - static_cast<double>(m_y0);
  for (SCornerSet* s : {&m_tokyo, &m_wgs84}) {
    const DmsAngle lonSpan = DmsAngle::Subtract(s->southEast.longitude, s->northWest.longitude);
    const DmsAngle latSpan = DmsAngle::Subtract(s->northWest.latitude, s->southEast.latitude);
    s->longitudeStep = DmsAngle::DivideBy(DmsAngle::DivideBy(lonSpan, columns), sx);
    s->latitudeStep = DmsAngle::DivideBy(DmsAngle::DivideBy(latSpan, rows), sy);
  }
}

std::optional<GeoPosition> SheetFrame::PixelToGeo(std::int32_t x, std::int32_t y, Datum datum) const {
  if (!IsKnownDatum(datum)) return std::nullopt;
  if (m_exactShift && datum == Datum::Wgs84) {
    const std::optional<GeoPosition> tokyo = PixelToGeo(x, y, Datum::Tokyo);
    return DatumConverter::Convert(*tokyo, Datum::Wgs84);
  }
  const SCornerSet& s = set(datum);
  const double dx = static_cast<double>(x) - static_cast<double>(m_x0) * m_sx;
  const double dy = static_cast<double>(y) - static_cast<double>(m_y0) * m_sy;
  GeoPosition p;
  p.longitude = DmsAngle::Add(s.northWest.longitude, DmsAngle::MultiplyBy(s.longitudeStep, dx));
  p.latitude = DmsAngle::Subtract(s.northWest.latitude, DmsAngle::MultiplyBy(s.latitudeStep, dy));
  p.datum = datum;
  return p;
}

std::optional<SGeoText> SheetFrame::PixelToGeoText(std::int32_t x, std::int32_t y, Datum datum) const {
  const std::optional<GeoPosition> p = PixelToGeo(x, y, datum);
  if (!p) return std::nullopt;
  return SGeoText{p->latitude.FormatText(), p->longitude.FormatText()};
}

std::optional<SFramePixel> SheetFrame::GeoToPixel(const DmsAngle& latitude, const DmsAngle& longitude,
                                                  Datum datum) const {
  if (!IsKnownDatum(datum)) return std::nullopt;
  if (const std::optional<GeoPosition> t = toTokyo(latitude, longitude, datum))
    return GeoToPixel(t->latitude, t->longitude, Datum::Tokyo);
  const SCornerSet& s = set(datum);
  SFramePixel px;
  px.y = geodesy::truncToInt32(DmsAngle::Ratio(DmsAngle::Subtract(s.northWest.latitude, latitude), s.latitudeStep) +
                               static_cast<double>(m_y0) * m_sy);
  px.x = geodesy::truncToInt32(DmsAngle::Ratio(DmsAngle::Subtract(longitude, s.northWest.longitude), s.longitudeStep) +
                               static_cast<double>(m_x0) * m_sx);
  px.onFrame = s.southEast.latitude <= latitude && latitude <= s.northWest.latitude &&
               s.northWest.longitude <= longitude && longitude <= s.southEast.longitude;
  return px;
}

std::optional<SFramePixel> SheetFrame::GeoToImagePixel(const DmsAngle& latitude, const DmsAngle& longitude,
                                                       Datum datum) const {
  if (!IsKnownDatum(datum)) return std::nullopt;
  if (const std::optional<GeoPosition> t = toTokyo(latitude, longitude, datum))
    return GeoToImagePixel(t->latitude, t->longitude, Datum::Tokyo);
  const SCornerSet& s = set(datum);
  SFramePixel px;
  px.y = geodesy::truncToInt32(DmsAngle::Ratio(DmsAngle::Subtract(s.northWest.latitude, latitude),
                                               DmsAngle::MultiplyBy(s.latitudeStep, m_sy)) +
                               static_cast<double>(m_y0));
  px.x = geodesy::truncToInt32(DmsAngle::Ratio(DmsAngle::Subtract(longitude, s.northWest.longitude),
                                               DmsAngle::MultiplyBy(s.longitudeStep, m_sx)) +
                               static_cast<double>(m_x0));
  px.onFrame = Contains(latitude, longitude, datum);
  return px;
}

bool SheetFrame::Contains(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum) const {
  if (!IsKnownDatum(datum)) return false;
  if (const std::optional<GeoPosition> t = toTokyo(latitude, longitude, datum))
    return Contains(t->latitude, t->longitude, Datum::Tokyo);
  const SCornerSet& s = set(datum);
  return s.southEast.latitude <= latitude && latitude < s.northWest.latitude &&
         s.northWest.longitude <= longitude && longitude < s.southEast.longitude;
}
