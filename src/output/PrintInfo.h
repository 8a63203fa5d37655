#pragma once
// The state of one print or preview run and the print dialog's remembered settings.
#include <QRect>
#include <QSize>
#include <cstdint>

#include "display/Magnification.h"
#include "output/PrintLayout.h"

struct PrintInfo {
  bool skipDialog = false;        ///< printer preparation skips the dialog (the preview's record)
  bool continuePrinting = true;   ///< the page loop goes on while set
  std::uint32_t currentPage = 1;  ///< 1-based
  std::uint32_t previewPages = 1;
  QRect drawRect;                 ///< printable page in printer pixels, set per page
  std::int32_t jobId = -1;
  double scaleX = 1.0;            ///< printer pixels per sheet-image pixel
  double scaleY = 1.0;
  double sourceScale = 1.0;       ///< scale of the rendered copy: 1.0, or scaleX when that is below 1
  double dpiRatioX = 1.0;         ///< printer dots per inch / screen dots per inch
  double dpiRatioY = 1.0;
  double printerDpiX = 0.0;       ///< printer dots per inch across; 0 when not known
  QRect sourceRect;               ///< print area in sheet-image pixels
  std::int32_t pagesAcross = 1;
  std::int32_t pagesDown = 1;
  print::PrintOptionFlags options = 0;
  print::EMagnificationMode magnificationMode = print::EMagnificationMode::CurrentView;
  bool printSelection = false;
  std::uint32_t minPage = 1;
  std::uint32_t maxPage = print::kOpenEndedPage;
  std::uint32_t fromPage = 1;
  std::uint32_t toPage = print::kOpenEndedPage;
  MagnificationCode magnification = 100;
  std::int32_t totalWidth = 0;    ///< the whole print in printer pixels, header bands included
  std::int32_t totalHeight = 0;
  std::int32_t pageWidth = 0;     ///< printable page in printer pixels
  std::int32_t pageHeight = 0;
  std::int32_t mapTop = 0;        ///< header band of every page

  [[nodiscard]] print::SScale scale() const { return {scaleX, scaleY}; }
  /// The page grid as the paper view and the page painter see it.
  [[nodiscard]] print::SPageLayout layout() const {
    return {pageWidth, pageHeight, mapTop, totalWidth, totalHeight, pagesAcross, pagesDown};
  }
};

namespace print {

/// What the scale computation needs besides the record: the printer, the printable page, the
/// print area (sheet-image pixels), the series and the map view's magnification.
struct SPrintContext {
  SDpi dpi;
  QSize page;          ///< printable page in printer pixels
  QSize area;          ///< whole sheet or selection, sheet-image pixels
  int series = 1;      ///< 1 = 1:25,000, 2 = 1:50,000
  MagnificationCode viewMagnification = 100;
  /// Ground metres of an area pixel against the series' nominal pixel, across and down, where a
  /// map scale 1:N is to hold (the seamless map's pixels stretch away from its middle latitude).
  double groundAcross = 1.0;
  double groundDown = 1.0;
};

/// Sets the scale factors by the record's mode (and `magnification` in the fit and view modes).
/// False, changing nothing, without a usable printer or area.
bool RecomputeScale(PrintInfo& info, const SPrintContext& context);
/// Fills the page sizes, totals, page grid and the page range (1..pages). False, changing
/// nothing, without a usable printer or area.
bool RecomputePageLayout(PrintInfo& info, const SPrintContext& context);

/// The dialog's remembered choices (profile section "PrintSettings").
struct SPrintSettings {
  MagnificationCode magnification = 100;                    ///< "Magni"
  EMagnificationMode mode = EMagnificationMode::CurrentView;  ///< "MagniSetting"
  PrintOptionFlags options = 7;                             ///< "OptionSettings"
};
/// Reads the settings; values outside their ranges give the defaults.
[[nodiscard]] SPrintSettings LoadPrintSettings();
void SavePrintSettings(const SPrintSettings& settings);

}  // namespace print
