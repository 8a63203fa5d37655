#pragma once
// Printing and exporting a rectangle of the seamless map: the plane of one series as a print
// source (rendered band by band through the mosaic renderer, never the whole area at once), the
// true ground scale at the printed area's middle, the sheets a box shows, and the page grid that
// prints a track log on the fewest pages.
#include <QRect>
#include <QSize>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mosaic/MapCollection.h"
#include "output/PrintLayout.h"

class CTrackLog;
class SheetFrame;

namespace mosaic {
class CMosaicRenderer;
}

namespace print {

/// The seamless map as a print or an export reads it (nothing owned). Areas are plane pixels at
/// ratio 1.
struct SPlaneSource {
  mosaic::CMosaicRenderer* renderer = nullptr;  ///< renders bands, waiting for their sheets
  mosaic::SMapPlane plane;
  const std::vector<mosaic::SCollectionSheet>* sheets = nullptr;
  [[nodiscard]] bool valid() const { return renderer && sheets && !plane.empty(); }
};

/// Rows of one band of a seamless print or export.
inline constexpr int kPlaneBandRows = 256;

/// Ground metres of one plane pixel (ratio 1) across and down at the middle of `area`, and the
/// same against the series' nominal pixel. Zero for an empty plane or area.
struct SLocalMetres {
  double across = 0.0;
  double down = 0.0;
  double nominal = 0.0;
  [[nodiscard]] bool valid() const { return across > 0 && down > 0 && nominal > 0; }
  [[nodiscard]] double factorAcross() const { return valid() ? across / nominal : 1.0; }
  [[nodiscard]] double factorDown() const { return valid() ? down / nominal : 1.0; }
};
[[nodiscard]] SLocalMetres LocalMetres(const mosaic::SMapPlane& plane, const QRect& area);

/// Indices in `sheets` of the sheets whose frames meet `area` (plane pixels at ratio 1), north
/// to south, then west to east: the first is the north-west one.
[[nodiscard]] std::vector<int> SheetsShown(const mosaic::SMapPlane& plane,
                                           const std::vector<mosaic::SCollectionSheet>& sheets, const QRect& area);
/// Their mesh codes, in the same order.
[[nodiscard]] std::vector<std::string> MeshCodesShown(const mosaic::SMapPlane& plane,
                                                      const std::vector<mosaic::SCollectionSheet>& sheets,
                                                      const QRect& area);

/// The plane pixels (ratio 1) a Tokyo box in seconds covers: the pixels whose centres lie in it.
/// Empty when the box holds no pixel centre.
[[nodiscard]] QRect PlaneAreaOf(const mosaic::SMapPlane& plane, const mosaic::SFrameSeconds& box);

/// The pixel box at `ratio` that shows `area` (pixels at ratio 1): edges at trunc(ratio x edge),
/// so that boxes of adjoining areas adjoin as well.
[[nodiscard]] QRect ScaledBox(const QRect& area, double ratio);

/// A track log's print: the map area (pixels of `frame`, the frame at ratio 1) that the log's
/// bounding box with a margin of `marginPrinter` printer pixels needs, laid on the page grid of
/// the orientation needing the fewest pages, the grid centred on the log.
struct STrackPrintPlan {
  bool landscape = false;
  int pagesAcross = 1;
  int pagesDown = 1;
  QRect bounds;  ///< the log's points with the margin
  QRect area;    ///< the whole page grid, centred on `bounds`
  [[nodiscard]] int pageCount() const { return pagesAcross * pagesDown; }
};
/// `portrait`: the map part of one page (printer pixels below the header band) upright; the
/// landscape page is the paper turned, with its own header band (`landscapeMap`). `scaleX`,
/// `scaleY`: printer pixels per map pixel. None when no point of the log lies on the frame or a
/// size is not positive.
[[nodiscard]] std::optional<STrackPrintPlan> PlanTrackPrint(const QRect& bounds, QSize portraitMap,
                                                           QSize landscapeMap, double scaleX, double scaleY);
/// The log's points as pixels of `frame` (at ratio 1), with a margin of `margin` pixels across and
/// `marginDown` down; empty when no point maps onto the frame.
[[nodiscard]] QRect TrackBounds(const CTrackLog& log, const SheetFrame& frame, double marginAcross,
                                double marginDown);

/// "トラックを印刷": the log's box with 5 mm of paper around it at 1:25,000 (true at the box's
/// middle on the seamless map, `plane` given), on the orientation and page grid needing the
/// fewest pages. `portraitPage` and `landscapePage` are the printable pages in printer pixels.
struct STrackPrint {
  STrackPrintPlan plan;
  SScale scale;
};
inline constexpr double kTrackMarginMm = 5.0;
inline constexpr MagnificationCode kTrackMagnification = -25000;
[[nodiscard]] std::optional<STrackPrint> PlanTrackLogPrint(const CTrackLog& log, const SheetFrame& frame,
                                                          const mosaic::SMapPlane* plane, const SDpi& dpi,
                                                          QSize portraitPage, QSize landscapePage,
                                                          PrintOptionFlags options, int series);

}  // namespace print
