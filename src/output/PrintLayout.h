#pragma once
// The arithmetic of printing: magnification texts, print scale factors, fitting to the paper,
// the page grid, page positions and the part of the sheet each page shows. Pure functions; every
// floating-point to integer conversion truncates toward zero.
#include <QRect>
#include <QSize>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/Magnification.h"

namespace print {

/// Items printed on every page (the print dialog's check boxes).
enum EPrintOption : std::uint32_t {
  kOptScaleBar = 1,
  kOptSheetName = 2,
  kOptPageNumber = 4,
  kOptTrackLines = 8,
  kOptTrackNames = 16,
  kOptWaypointIcons = 32,
  kOptWaypointNames = 64,
  kOptUtmGrid = 128,
  kOptGraticule = 256,
  kOptMagneticNorth = 512,  ///< also writes the declination in the header
  kOptGridMask = kOptUtmGrid | kOptGraticule | kOptMagneticNorth,
  kOptHeaderMask = kOptScaleBar | kOptSheetName | kOptPageNumber | kOptMagneticNorth,
  kOptAll = 127,        ///< the seven items of the map and its trek data
  kOptStoredMask = 1023,  ///< every item the dialog offers
};
using PrintOptionFlags = std::uint32_t;

/// How the print magnification is obtained.
enum class EMagnificationMode : std::int32_t { Specified = 0, FitToPaper = 1, CurrentView = 2 };

/// Page bound standing for an open-ended page count.
inline constexpr std::uint32_t kOpenEndedPage = 0xFFFF;

/// Printer and screen dots per inch.
struct SDpi {
  int printerX = 0;
  int printerY = 0;
  int screenX = 0;
  int screenY = 0;
  [[nodiscard]] bool valid() const { return printerX > 0 && printerY > 0 && screenX > 0 && screenY > 0; }
  [[nodiscard]] double ratioX() const { return double(printerX) / screenX; }
  [[nodiscard]] double ratioY() const { return double(printerY) / screenY; }
};

/// The magnification typed or picked in the print dialog: a percentage ("150%", "150") or a map
/// scale ("1:25,000", "1:25000"). 0 when the text is malformed or outside 5..500 % and
/// 1:1,000 .. 1:500,000.
[[nodiscard]] MagnificationCode ParsePrintMagnification(std::string_view text);
/// "150%" or "1:25,000" (a comma before the last three digits from 1:1,000 on).
[[nodiscard]] std::string PrintMagnificationText(MagnificationCode code);
/// "150%" or "1:25000": the form written when the dialog opens and after a mode change.
[[nodiscard]] std::string PlainMagnificationText(MagnificationCode code);
/// The list of the magnification combo box.
[[nodiscard]] const std::vector<std::string>& MagnificationChoices();

/// Printer pixels per sheet-image pixel at display ratio `ratio`, so that the print has the size
/// the map has on the screen at that ratio. None when any resolution is 0.
struct SScale {
  double scaleX = 1.0;
  double scaleY = 1.0;
};
[[nodiscard]] std::optional<SScale> ComputeScaleFactors(const SDpi& dpi, double ratio);

/// Height of the band above the map on every page, in printer pixels: the header (scale bar and
/// texts, 24 screen pixels, with a 4-pixel gap) when any header item is printed, else the gap.
[[nodiscard]] int PageMapTop(PrintOptionFlags options, double dpiRatioY);

/// The largest scale at which `area` (sheet-image pixels) fits on one page of `page` printer
/// pixels below its header band. `ratio` is the same scale in display terms.
struct SFit {
  double ratio = 0.0;
  SScale scale;
};
[[nodiscard]] std::optional<SFit> FitToPaper(const SDpi& dpi, QSize page, QSize area, PrintOptionFlags options);

/// Pages of extent `page` needed for `total`: 1 when it fits, else one more for a remainder.
[[nodiscard]] int PageCount(std::int64_t total, std::int64_t page);

/// The page grid of a print.
struct SPageLayout {
  int pageWidth = 0;    ///< printable page, printer pixels
  int pageHeight = 0;
  int mapTop = 0;       ///< header band of every page
  int totalWidth = 0;   ///< the whole print: map width
  int totalHeight = 0;  ///< map height plus one header band per row of pages
  int pagesAcross = 1;
  int pagesDown = 1;
  [[nodiscard]] int pageCount() const { return pagesAcross * pagesDown; }
};
/// None when the page has no room below its header band or a size is not positive.
[[nodiscard]] std::optional<SPageLayout> ComputePageLayout(QSize page, QSize area, const SScale& scale,
                                                           PrintOptionFlags options, double dpiRatioY);

/// Row and column (1-based) of page `page` (1-based, numbered row by row).
struct SPagePosition {
  int row = 1;
  int column = 1;
  bool operator==(const SPagePosition&) const = default;
};
[[nodiscard]] SPagePosition PagePosition(int page, int pagesAcross);

/// The part of `sourceRect` (sheet-image pixels) shown by the page at `pos`, whose map area is
/// `mapArea` printer pixels. Pages neither overlap nor reach past the print area.
[[nodiscard]] QRect PageSourceRect(const QRect& sourceRect, const SScale& scale, QSize mapArea, SPagePosition pos);

/// The page range of the dialog's "ページ指定": both texts digits only, from > 0, from >= min,
/// to <= max and to >= from.
struct SPageRange {
  std::uint32_t from = 1;
  std::uint32_t to = 1;
};
[[nodiscard]] std::optional<SPageRange> CheckPageRange(std::string_view fromText, std::string_view toText,
                                                      std::uint32_t minPage, std::uint32_t maxPage);

/// The printer's state as the status field shows it: a spooler status value (0x8 paper jam,
/// 0x10 paper out, 0x80 offline, 0x200 busy, 0x400 printing, 0x4000 processing; 0x2, 0x40 ... not
/// available); anything else is ready. UTF-8.
[[nodiscard]] std::string PrinterStatusText(std::uint32_t status);
/// The spooler status value of a CUPS printer from its state (3 idle, 4 processing, 5 stopped)
/// and state reasons ("media-jam", "media-empty", "offline-report", ...).
[[nodiscard]] std::uint32_t PrinterStatusFromCups(int state, const std::vector<std::string>& reasons);

/// Thumbnails of the pages in the dialog's paper view.
struct SPaperThumbs {
  QSize page;     ///< one thumbnail
  int margin = 0;
  int usedLastColumn = 0;  ///< width of the printed part in the last column
  int usedLastRow = 0;
  QPoint origin;           ///< top-left of the first thumbnail; pages step by size + 3
};
[[nodiscard]] std::optional<SPaperThumbs> PaperViewGeometry(QSize client, const SPageLayout& layout, const SDpi& dpi);

}  // namespace print
