#pragma once
// Draws the pages of a print: the sheet rendered once at the print scale, cut page by page, with
// the header band (scale bar, "[ sheet name ]", " (n/m)") and the trek overlays in printer
// pixels. Paints on any QPainter: a printer, a PDF writer, the preview window or an image.
#include <QFont>
#include <QImage>
#include <QRect>
#include <optional>
#include <string>

#include "display/GridOverlay.h"
#include "display/MapColourScheme.h"
#include "display/ScaleBar.h"
#include "display/ScaledSheetBitmap.h"
#include "display/TrekOverlay.h"
#include "geodesy/SheetFrame.h"
#include "output/PlanePrint.h"
#include "output/PrintInfo.h"
#include "trek/CTrekGroupList.h"

class QPainter;
class SheetImage;

/// The open sheet as a print needs it (nothing owned).
struct SPrintSheet {
  SheetImage* image = nullptr;  ///< its colour table is rewritten by the render
  int series = 1;               ///< 1 = 1:25,000, 2 = 1:50,000
  SMapRenderSettings render;    ///< colours, hidden layers, quality
  std::string sheetName;        ///< CP932
  const SheetFrame* frame = nullptr;                      ///< georeference; null: no trek overlays
  const CTrekGroupList::GroupList* groups = nullptr;      ///< trek data; null: none
  QRect selection;              ///< sheet-image pixels; empty: none
  /// The seamless map instead of one sheet (then `image` is unused): areas and the selection are
  /// plane pixels at ratio 1, and `frame` is the plane's frame at ratio 1.
  const print::SPlaneSource* plane = nullptr;
  QRect planeArea;              ///< printed without a selection: the window's area
  /// The area printed: the selection or, without one, the whole sheet or the window's area.
  [[nodiscard]] QRect PrintArea(bool printSelection) const;
  SGridOverlayOptions grid;     ///< colours and datum of grid lines (spacings follow the print's scale)
};

class CPrintPageRenderer {
 public:
  /// Renders the sheet at min(scaleX, 1), sets `sourceScale` and `sourceRect` (the selection
  /// when `printSelection`, else the whole sheet), rebuilds the overlays in printer pixels and
  /// prepares the header. False when the sheet cannot be rendered: pages then print without map.
  bool BeginPrinting(PrintInfo& info, const SPrintSheet& sheet);
  /// The header's declination text ("磁針方位 西偏 7°20′ (2026年)"); empty without the
  /// magnetic-north lines.
  [[nodiscard]] const QString& declinationText() const { return m_declinationText; }
  /// Draws page `info.currentPage` into `info.drawRect` (printer pixels) of `painter`.
  void PrintPage(QPainter& painter, const PrintInfo& info) const;
  /// Gives the rendered copy and the overlay cache back.
  void EndPrinting();

  [[nodiscard]] bool hasMap() const;
  [[nodiscard]] const QImage& surface() const { return m_bitmap.Surface(); }
  [[nodiscard]] const TrekOverlay& overlay() const { return m_overlay; }
  /// Bytes held for the run (the rendered copy, or the seamless print's band).
  [[nodiscard]] std::int64_t memoryBytes() const;
  /// Seamless print: the pixels at `sourceScale` a page's map shows (its part of the print area
  /// scaled with edges shared by neighbouring pages); empty for a one-sheet print.
  [[nodiscard]] QRect PageMapBox(const PrintInfo& info, std::uint32_t page) const;
  /// Seamless print: the header's sheet names of a page: "[ first ]" and " ほか n 面" for more.
  [[nodiscard]] QString PageSheetNames(const PrintInfo& info, std::uint32_t page) const;

  /// The page header's text: "[ name ]" (UTF-8 from CP932) and " (n/m)", empty for one page.
  [[nodiscard]] static QString SheetNameText(const std::string& sheetName);
  [[nodiscard]] static QString PageNumberText(std::uint32_t page, std::uint32_t maxPage);
  /// "[ name ]", and " ほか n 面" when `others` more sheets are shown.
  [[nodiscard]] static QString SheetNamesText(const std::string& firstName, int others);

 private:
  /// The rendered copy reduced by `factor` with area averaging, for painters that draw the page
  /// much smaller than printed (the preview): thin lines keep their weight instead of breaking up.
  const QImage& reducedSurface(double factor) const;
  /// The page's source rectangle (print-area pixels) and map part of the page.
  [[nodiscard]] QRect pageSource(const PrintInfo& info, std::uint32_t page) const;
  /// Draws the seamless map's part `src` of the print into `dest`, band by band.
  void drawPlane(QPainter& painter, const PrintInfo& info, const QRect& src, const QRect& dest) const;
  /// Draws the one sheet's part `src` from the rendered copy into `dest`.
  void drawSheet(QPainter& painter, const PrintInfo& info, const QRect& src, const QRect& dest) const;

  ScaledSheetBitmap m_bitmap;
  mutable QImage m_reduced;
  mutable double m_reducedFactor = 0.0;
  TrekOverlay m_overlay;
  ScaleBar m_scaleBar;
  QFont m_headerFont;
  std::string m_sheetName;
  int m_series = 1;
  bool m_hasOverlay = false;
  const print::SPlaneSource* m_plane = nullptr;
  SheetFrame m_planeFrame;
  mutable QImage m_band;
  std::optional<SheetFrame> m_gridFrame;  ///< the sheet's frame in printer pixels, for grid lines
  SGridOverlayOptions m_gridOptions;
  QString m_declinationText;               ///< for the header with the magnetic-north lines
};
