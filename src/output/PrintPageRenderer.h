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

  [[nodiscard]] bool hasMap() const { return m_bitmap.isReady(); }
  [[nodiscard]] const QImage& surface() const { return m_bitmap.Surface(); }
  [[nodiscard]] const TrekOverlay& overlay() const { return m_overlay; }
  /// Bytes held for the run (the rendered copy).
  [[nodiscard]] std::int64_t memoryBytes() const;

  /// The page header's text: "[ name ]" (UTF-8 from CP932) and " (n/m)", empty for one page.
  [[nodiscard]] static QString SheetNameText(const std::string& sheetName);
  [[nodiscard]] static QString PageNumberText(std::uint32_t page, std::uint32_t maxPage);

 private:
  /// The rendered copy reduced by `factor` with area averaging, for painters that draw the page
  /// much smaller than printed (the preview): thin lines keep their weight instead of breaking up.
  const QImage& reducedSurface(double factor) const;

  ScaledSheetBitmap m_bitmap;
  mutable QImage m_reduced;
  mutable double m_reducedFactor = 0.0;
  TrekOverlay m_overlay;
  ScaleBar m_scaleBar;
  QFont m_headerFont;
  std::string m_sheetName;
  int m_series = 1;
  bool m_hasOverlay = false;
  std::optional<SheetFrame> m_gridFrame;  ///< the sheet's frame in printer pixels, for grid lines
  SGridOverlayOptions m_gridOptions;
  QString m_declinationText;               ///< for the header with the magnetic-north lines
};
