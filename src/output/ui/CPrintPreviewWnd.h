#pragma once
// The pages of a print on the screen: one or two pages side by side, or one page at two larger
// zoom steps with scrolling, drawn by the page painter of the print itself, scaled from printer
// pixels to screen pixels.
#include <QAbstractScrollArea>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <memory>

#include "output/PrintInfo.h"
#include "output/PrintPageRenderer.h"

/// A ratio held as numerator and denominator, as the page geometry computes it.
struct SPreviewRatio {
  int num = 1;
  int den = 1;
  bool operator==(const SPreviewRatio&) const = default;
};

/// The paper of the printer as the preview needs it.
struct SPreviewPaper {
  QSize paper;        ///< the whole sheet of paper, printer pixels
  QPoint printable;   ///< top-left of the printable area on it, printer pixels
  int printerDpiX = 600;
  int printerDpiY = 600;
  int screenDpiX = 96;
  int screenDpiY = 96;
};

namespace preview {

/// Multiply, then divide, rounded to the nearest (halves away from zero); -1 for a zero divisor.
[[nodiscard]] int MulDiv(int a, int b, int c);
/// The ratio of a zoom state (0 whole page, 1 middle, 2 zoomed in) from the whole-page ratio.
[[nodiscard]] SPreviewRatio ZoomRatio(SPreviewRatio zoomOut, int state);
/// The whole-page ratio that fits `page` (screen pixels) into `box`.
[[nodiscard]] SPreviewRatio FitRatio(QSize page, QSize box);

/// Draws page `info.currentPage` as printed: `paperRect` is where the paper lies on the screen,
/// `scale` screen pixels per printer pixel on each axis; the painter is clipped to the paper.
void DrawPage(QPainter& painter, const QRect& paperRect, QPointF scale, const SPreviewPaper& paper,
              const CPrintPageRenderer& renderer, PrintInfo& info);

}  // namespace preview

class CPrintPreviewWnd : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit CPrintPreviewWnd(QWidget* parent = nullptr);
  ~CPrintPreviewWnd() override;

  /// Takes the print's record (scale, pages, options), the rendered sheet and the paper;
  /// `pagesShown` is the remembered page count (0 meaning 1, at most 2). False when the record
  /// has no pages.
  bool Start(const PrintInfo& info, std::shared_ptr<const CPrintPageRenderer> renderer, const SPreviewPaper& paper,
             int pagesShown);
  void SetCurrentPage(int page, bool clearCache);
  void SetZoomState(int state);
  void TogglePages();

  [[nodiscard]] int currentPage() const { return m_currentPage; }
  [[nodiscard]] int pagesShown() const { return m_pagesShown; }
  [[nodiscard]] int pagesShownSaved() const { return m_pagesShownSaved; }
  [[nodiscard]] int zoomState() const { return m_zoomState; }
  [[nodiscard]] int minPage() const { return static_cast<int>(m_info.minPage); }
  [[nodiscard]] int maxPage() const { return static_cast<int>(m_info.maxPage); }
  /// Where page `index` (0 or 1 of those shown) lies in the viewport, and its ratio.
  [[nodiscard]] QRect pageRect(int index) const;
  [[nodiscard]] SPreviewRatio ratio(int index) const;
  /// Screen pixels per printer pixel of page `index` as drawn.
  [[nodiscard]] QPointF drawScale(int index) const;

 signals:
  /// The pages shown changed: the last page, the first and second shown (-1: none), how many.
  void pageChanged(int maxPage, int first, int second, int pagesShown);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  struct SPageEntry {
    QRect rect;
    QSize paperScreen;
    SPreviewRatio ratio;
    SPreviewRatio zoomOut;
    bool computed = false;
  };
  void computePage(int index);
  void computePageIfNeeded(int index);
  void updateScrollRanges();
  void pageScrolled(int action);
  [[nodiscard]] bool pageBarShown() const;

  PrintInfo m_info;
  std::shared_ptr<const CPrintPageRenderer> m_renderer;
  SPreviewPaper m_paper;
  int m_currentPage = 1;
  int m_pagesShown = 1;
  int m_pagesShownSaved = 1;
  int m_zoomState = 0;
  int m_gap = 0;
  SPageEntry m_pages[2];
  bool m_started = false;
  bool m_settingBars = false;
};
