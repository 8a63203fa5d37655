#pragma once
// The picture of one catalogue area's 64 sheet slots in the map index window: a cell per slot,
// labelled with its sheet name, in the layout of the catalogue's series. Hovering raises a cell
// that holds a sheet, clicking it asks for that sheet.
#include <QAbstractScrollArea>
#include <QFont>
#include <QImage>
#include <QStringList>
#include <array>

class SheetCatalogue;

class IndexGrid : public QAbstractScrollArea {
  Q_OBJECT
 public:
  static constexpr int kCellWidth = 67;
  static constexpr int kCellHeight = 31;
  static constexpr int kSlots = 64;

  // Colours of the picture (COLORREF 0x00BBGGRR).
  static constexpr unsigned kBackground = 0xE2E2E2;   // RGB(226, 226, 226)
  static constexpr unsigned kSheetCell = 0xD2AC89;    // RGB(137, 172, 210)
  static constexpr unsigned kLight = 0xFFE4BF;        // RGB(191, 228, 255)
  static constexpr unsigned kShadow = 0x715E44;       // RGB(68, 94, 113)
  static constexpr unsigned kSunkenFill = 0xF7E9D2;   // RGB(210, 233, 247)

  explicit IndexGrid(QWidget* parent = nullptr);

  /// Shows `catalogue` (not owned; it must outlive the grid or be cleared first) in the layout
  /// of `series` (2 = 1:50,000, else 1:25,000) at area 0, all cell states reset.
  void Fill(const SheetCatalogue* catalogue, int series);
  /// No catalogue: an empty grey canvas.
  void Clear();
  /// Shows another area; hover, pressed, selected and last sent cells are reset.
  void ShowArea(int index);
  /// Shows the area and marks the slot pressed, selected and last sent.
  void SelectSheet(int area, int slot);

  /// Canvas size of a series' layout: 544 x 256, or 307 x 145 for 1:50,000.
  [[nodiscard]] static QSize CanvasSize(int series);
  /// Rectangle of a slot in canvas coordinates.
  [[nodiscard]] static QRect CellRect(int series, int slot);
  /// The label of a cell: one line when the name is narrower than the cell, otherwise two, the
  /// first holding as many characters as fit the cell width.
  [[nodiscard]] static QStringList SplitLabel(const QString& name, const QFontMetrics& metrics);

  /// The first slot holding a sheet whose cell contains the canvas point; -1 for none.
  [[nodiscard]] int SlotAt(const QPoint& canvasPoint) const;

  [[nodiscard]] int series() const { return m_series; }
  [[nodiscard]] int area() const { return m_area; }
  [[nodiscard]] int hoverCell() const { return m_hover; }
  [[nodiscard]] int pressedCell() const { return m_pressed; }
  [[nodiscard]] int selectedCell() const { return m_selected; }
  [[nodiscard]] int lastSentCell() const { return m_lastSent; }
  /// The composed picture of the whole canvas.
  [[nodiscard]] const QImage& picture() const { return m_picture; }
  [[nodiscard]] const QFont& labelFont() const { return m_font; }

 signals:
  /// A cell was clicked: load that sheet.
  void sheetChosen(int area, int slot);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  [[nodiscard]] bool holdsSheet(int slot) const;
  [[nodiscard]] QString sheetName(int slot) const;
  [[nodiscard]] QPoint toCanvas(const QPoint& client) const;
  void resetCells();
  void setHover(int slot);
  void updateScrollBars();
  void compose();
  /// Scrolls so that `canvasRect` is in view, centred where the window allows.
  void reveal(const QRect& canvasRect);
  /// The cells holding sheets, in view: the area's sheets may lie anywhere on the canvas.
  void revealSheets();

  const SheetCatalogue* m_catalogue = nullptr;
  int m_series = -1;
  int m_area = -1;
  QSize m_canvasSize{544, 256};
  int m_hover = -1;
  int m_pressed = -1;
  int m_selected = -1;
  int m_lastSent = -1;
  QImage m_picture;
  QFont m_font;
  bool m_revealPending = false;  ///< until the user scrolls, resizing keeps the sheets in view
};
