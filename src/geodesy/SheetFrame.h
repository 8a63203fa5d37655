#pragma once
// A sheet's georeference: its frame corners in both datums, the image pixels of the frame's
// corners and the display scale. Latitude is linear in the image row, longitude in the column.
#include <cstdint>
#include <optional>
#include <string>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"

/// A pixel and whether the position lies on the frame; the pixel is given either way.
struct SFramePixel {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool onFrame = false;
};

/// Latitude and longitude texts (DmsAngle::FormatText, CP932).
struct SGeoText {
  std::string latitude;
  std::string longitude;
};

class SheetFrame {
 public:
  /// Stores the frame (given in `datum`) widened by 0.01 second on every side, its
  /// conversion to the other datum, the pixel corners, then SetScale(sx, sy).
  /// An unknown datum leaves the frame untouched.
  void Setup(const DmsAngle& north, const DmsAngle& west, const DmsAngle& south, const DmsAngle& east,
             std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, double sx, double sy,
             Datum datum);
  /// Display pixels per image pixel; recomputes the steps of both datums.
  void SetScale(double sx, double sy);
  /// A plane of many sheets rather than one sheet: the Tokyo rectangle given (not widened) spans
  /// pixels (0, 0) to (width, height) at scale 1, and positions in WGS-84 are shifted point by
  /// point (DatumConverter) instead of through the two converted corners, which is exact only
  /// across one sheet. The WGS-84 corners still give the rectangle's converted corners.
  void SetupPlane(const DmsAngle& north, const DmsAngle& west, const DmsAngle& south, const DmsAngle& east,
                  std::int32_t width, std::int32_t height, double scale);
  /// Whether positions are shifted point by point (a plane set up with SetupPlane).
  [[nodiscard]] bool exactShift() const { return m_exactShift; }

  /// Position under display pixel (x, y); none for an unknown datum.
  [[nodiscard]] std::optional<GeoPosition> PixelToGeo(std::int32_t x, std::int32_t y, Datum datum) const;
  [[nodiscard]] std::optional<SGeoText> PixelToGeoText(std::int32_t x, std::int32_t y, Datum datum) const;
  /// Display pixel of a position; onFrame includes all four edges. None for an unknown datum.
  [[nodiscard]] std::optional<SFramePixel> GeoToPixel(const DmsAngle& latitude, const DmsAngle& longitude,
                                                      Datum datum) const;
  /// Unscaled image pixel of a position; onFrame excludes the north and east edges.
  [[nodiscard]] std::optional<SFramePixel> GeoToImagePixel(const DmsAngle& latitude, const DmsAngle& longitude,
                                                           Datum datum) const;
  /// South <= latitude < north and west <= longitude < east; false for an unknown datum.
  [[nodiscard]] bool Contains(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum) const;

  /// Widened frame corners in `datum` (north latitude/west longitude, south/east); an unknown
  /// datum gives the Tokyo set.
  [[nodiscard]] const GeoPosition& northWest(Datum datum) const { return set(datum).northWest; }
  [[nodiscard]] const GeoPosition& southEast(Datum datum) const { return set(datum).southEast; }
  /// Angle covered by one display pixel row / column in `datum`.
  [[nodiscard]] const DmsAngle& latitudeStep(Datum datum) const { return set(datum).latitudeStep; }
  [[nodiscard]] const DmsAngle& longitudeStep(Datum datum) const { return set(datum).longitudeStep; }
  [[nodiscard]] std::int32_t x0() const { return m_x0; }
  [[nodiscard]] std::int32_t y0() const { return m_y0; }
  [[nodiscard]] std::int32_t x1() const { return m_x1; }
  [[nodiscard]] std::int32_t y1() const { return m_y1; }
  [[nodiscard]] double scaleX() const { return m_sx; }
  [[nodiscard]] double scaleY() const { return m_sy; }

 private:
  struct SCornerSet {
    GeoPosition northWest;
    GeoPosition southEast;
    DmsAngle latitudeStep;
    DmsAngle longitudeStep;
  };
  // The Tokyo position of a WGS-84 one on a plane; none otherwise (the datum's own set applies).
  [[nodiscard]] std::optional<GeoPosition> toTokyo(const DmsAngle& latitude, const DmsAngle& longitude,
                                                   Datum datum) const;
  [[nodiscard]] const SCornerSet& set(Datum datum) const { return datum == Datum::Wgs84 ? m_wgs84 : m_tokyo; }

  SCornerSet m_tokyo{{{}, {}, Datum::Tokyo}, {{}, {}, Datum::Tokyo}, {}, {}};
  SCornerSet m_wgs84{{{}, {}, Datum::Wgs84}, {{}, {}, Datum::Wgs84}, {}, {}};
  std::int32_t m_x0 = 0;
  std::int32_t m_y0 = 0;
  std::int32_t m_x1 = 0;
  std::int32_t m_y1 = 0;
  double m_sx = 1.0;
  double m_sy = 1.0;
  bool m_exactShift = false;
};
