#pragma once
// A rectangle of the map chosen by dragging: the range selection of the map view (kept in
// sheet-image pixels, so it survives magnification changes), and the transient rubber band of
// the zoom-to-rectangle tool. Mouse positions come in view pixels; outlines are drawn by
// inverting the pixels beneath them.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <array>

class QPainter;

class SelectionFrame {
 public:
  static constexpr int kNoHit = -1;
  static constexpr int kInside = 8;  ///< hit inside the selection: moves it
  static constexpr int kHandleSize = 8;
  /// Fill of the handles: COLORREF 0x6648BC.
  static constexpr unsigned kHandleColour = 0x6648BC;

  /// Map size in view pixels and the display ratio; the handles follow the new ratio.
  void SetMap(const QSize& mapSize, double ratio);
  [[nodiscard]] QSize mapSize() const { return m_mapSize; }
  [[nodiscard]] double ratio() const { return m_ratio; }

  /// The selection in sheet pixels (normalised); empty when there is none.
  [[nodiscard]] QRect selection() const { return m_exists ? m_rect : QRect(); }
  [[nodiscard]] bool exists() const { return m_exists; }
  /// Sets the selection directly (sheet pixels), normalised; an empty rectangle clears it.
  void SetSelection(const QRect& sheetRect, bool showHandles);
  /// Removes selection and handles.
  void Clear();
  [[nodiscard]] bool handlesShown() const { return m_handlesShown; }
  /// Handle 0 top-left, then clockwise: 1 top, 2 top-right, 3 right, 4 bottom-right, 5 bottom,
  /// 6 bottom-left, 7 left; view pixels.
  [[nodiscard]] const std::array<QRect, 8>& handles() const { return m_handles; }

  /// Handle (0-7) under a view point, kInside within the selection, else kNoHit.
  [[nodiscard]] int HitTest(const QPoint& view) const;

  /// Starts a rubber band at a view point; false (nothing started) outside the map.
  bool BeginBand(const QPoint& view);
  void MoveBand(const QPoint& view);
  /// The band becomes the selection (none when it is empty, with no handles). Returns it.
  QRect EndBand();
  [[nodiscard]] bool banding() const { return m_banding; }
  /// Band rectangle in sheet pixels, normalised.
  [[nodiscard]] QRect band() const;

  /// Starts moving (kInside) or resizing (0-7) the selection from a view point.
  bool BeginDrag(int hit, const QPoint& view);
  /// Applies the mouse movement since the last call, in sheet pixels, to the dragged rectangle.
  void Drag(const QPoint& view);
  /// The dragged rectangle becomes the selection, with handles.
  void EndDrag();
  [[nodiscard]] bool dragging() const { return m_moving || m_resizing; }
  /// The rectangle being moved or resized, sheet pixels.
  [[nodiscard]] QRect dragged() const { return m_work; }
  [[nodiscard]] int dragHandle() const { return m_handle; }

  /// View-pixel rectangle of a sheet rectangle at the current ratio.
  [[nodiscard]] QRect ToView(const QRect& sheet) const;
  /// Everything Paint() may touch, in view pixels (for invalidation).
  [[nodiscard]] QRect Bounds() const;

  /// Draws, in view pixels: the band (1 pixel), the selection (2 pixels), the handles and the
  /// dragged rectangle (1 pixel). The painter must draw on an RGB32 image.
  void Paint(QPainter& painter) const;
  /// Draws only the rubber band (the zoom-to-rectangle tool).
  void PaintBand(QPainter& painter) const;

  /// Inverts a hollow frame of the given thickness along the inside of `rect`.
  static void InvertFrame(QPainter& painter, const QRect& rect, int thickness);

 private:
  [[nodiscard]] QPoint toSheet(const QPoint& view) const;
  [[nodiscard]] QRect mapRect() const;
  void computeHandles();

  QRect m_rect;  // sheet pixels
  bool m_exists = false;
  QPoint m_bandStart, m_bandEnd;  // sheet pixels
  bool m_banding = false;
  QRect m_work;  // sheet pixels
  bool m_moving = false;
  bool m_resizing = false;
  int m_handle = kNoHit;
  QPoint m_last;  // sheet pixels
  std::array<QRect, 8> m_handles{};
  bool m_handlesShown = false;
  QSize m_mapSize;
  double m_ratio = 1.0;
};
