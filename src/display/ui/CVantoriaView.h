#pragma once
// The map view: a scrolling window over the open sheet at the current magnification. It owns the
// map canvas, the sheet frame and the range selection, and handles zooming, panning by dragging,
// the zoom and selection tools, the position read-out and the view's commands.
#include <QAbstractScrollArea>
#include <QCursor>
#include <QHash>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/Commands.h"
#include "display/CMapCanvas.h"
#include "display/GridOverlay.h"
#include "display/Magnification.h"
#include "display/RouteOverlay.h"
#include "display/SelectionFrame.h"
#include "display/TrekOverlay.h"
#include "geodesy/SheetFrame.h"
#include "maps/SheetRecord.h"
#include "mosaic/MapCollection.h"

namespace mosaic {
class CMosaicRenderer;
}

class AppSettings;
class CGpsWindowHost;
class CPopTextWnd;
class CTrekEditController;
class CTrackLog;
class CTrekOverlayLayer;
class TrekOverlay;
class CVantoriaDoc;
class QMenu;

/// The trek item under the mouse and its pop-up text lines.
struct STrekHover {
  STrekHit hit;
  QStringList lines;
};

/// What the trek overlay gives the view: a rebuild of its cache for the current sheet and ratio,
/// and the drawing of its layers. The view owns the decision whether a layer is shown.
class IMapTrekOverlay {
 public:
  virtual ~IMapTrekOverlay() = default;
  virtual void rebuild(const SheetFrame& frame, double ratio) = 0;
  /// Draws one of the trek layers (track log lines to the selected track point) in view pixels.
  virtual void paint(QPainter& painter, EMapOverlay which, const QRect& clip) = 0;
  /// The item under a logical point: a point of the selected track log, a waypoint, a track log.
  [[nodiscard]] virtual STrekHover hover(const QPoint& logical, bool waypointsShown, bool tracksShown) const {
    (void)logical, (void)waypointsShown, (void)tracksShown;
    return {};
  }
  /// Makes a hovered item the document's trek selection (nothing when it already is).
  virtual void select(const STrekHit& hit) { (void)hit; }
  /// Logical rectangle covering an item, to repaint it.
  [[nodiscard]] virtual QRect itemRect(const STrekHit& hit) const {
    (void)hit;
    return {};
  }
};

class CVantoriaView : public QAbstractScrollArea, public ICommandTarget {
  Q_OBJECT
 public:
  enum class ETool { None, RangeSelect, ZoomIn, ZoomOut, ZoomRect };

  explicit CVantoriaView(CVantoriaDoc& doc, QWidget* parent = nullptr);
  /// Writes "DispMagni".
  ~CVantoriaView() override;

  /// Colours, quality and display datum (not owned); null uses the defaults.
  void setSettings(const AppSettings* settings);
  /// The trek overlay (not owned; null for none). The view starts with its own, drawing the
  /// document's trek data.
  void setTrekOverlay(IMapTrekOverlay* overlay) { m_trekOverlay = overlay; }
  /// The remembered datum of the waypoint windows (not owned; null for none).
  void setMarkerDatumSetting(std::int32_t* setting);

  /// Reads "DispMagni" and hands the ratio to everyone; runs once, on the first show or the
  /// first call that needs it.
  void InitialUpdate();

  /// Changes the magnification, keeping `centre` (sheet pixels; the visible centre when none) in
  /// the middle. Renders the scaled copy once.
  void SetMagnification(MagnificationCode code, std::optional<QPoint> centre = std::nullopt);
  /// The right-click zoom: the next step of the list in or out; nothing beyond its ends.
  void ZoomStep(bool zoomIn, std::optional<QPoint> centre = std::nullopt);
  /// Fits a rectangle (sheet pixels) into the window, at most 500 %.
  void ZoomToRectangle(const QRect& sheetRect);
  /// The document loaded a sheet: set up the frame, render and redraw.
  void SheetOpened();
  /// Scrolls so that the position is in the middle; nothing when it is not on the sheet.
  /// `datum`: 0 WGS-84, 1 Tokyo.
  bool CentreOn(const DmsAngle& latitude, const DmsAngle& longitude, int datum);
  /// Rebuilds the trek overlay for the current sheet and ratio.
  void RebuildOverlay(bool invalidate);
  /// Colour or quality settings changed: renders again when they concern the open series (-1: any).
  void RefreshColours(int series);
  /// While suspended, paints show the last composed picture.
  void setPaintingSuspended(bool suspended);
  /// Renders the scaled copy at `ratio` for image export or printing and holds the picture on
  /// screen until EndOutputRender(). Returns the copy's size; (0, 0) without a sheet.
  QSize RenderForOutput(double ratio);
  /// Renders the copy at the view's magnification again and shows it.
  void EndOutputRender();

  [[nodiscard]] MagnificationCode magnification() const { return m_code; }
  [[nodiscard]] double ratio() const { return m_ratio; }
  /// Pixels per inch that map scales 1:N are shown with: the screen's real density where it is
  /// known (MapScaleDpi).
  [[nodiscard]] double mapScaleDpi() const;
  [[nodiscard]] QSize mapSize() const { return m_mapSize; }
  [[nodiscard]] QPoint scrollPosition() const;
  [[nodiscard]] ETool tool() const { return m_tool; }
  [[nodiscard]] bool waypointsShown() const { return m_showWaypoints; }
  [[nodiscard]] bool tracksShown() const { return m_showTracks; }
  [[nodiscard]] const SelectionFrame& rangeSelection() const { return m_selection; }
  [[nodiscard]] const SheetFrame& frame() const { return m_frame; }
  [[nodiscard]] bool hasMap() const { return !m_mapSize.isEmpty(); }
  [[nodiscard]] CMapCanvas& canvas() { return m_canvas; }
  [[nodiscard]] CPopTextWnd* popText() const { return m_pop; }
  /// The trek item under the mouse (none while panning or outside the view).
  [[nodiscard]] const STrekHit& hoveredTrekItem() const { return m_hover; }
  /// The view's own overlay cache (null while another overlay draws).
  [[nodiscard]] const TrekOverlay* trekOverlayCache() const { return editableOverlay(); }
  /// The add, edit and track log windows.
  [[nodiscard]] CTrekEditController& trekEditing() const { return *m_editing; }
  /// The GPS download and upload windows.
  [[nodiscard]] CGpsWindowHost& gpsWindows() const { return *m_gps; }
  /// Sheet pixel under a point of the client area.
  [[nodiscard]] QPoint SheetPixelAt(const QPoint& client) const;
  /// Status bar texts for a point of the client area: datum, latitude, longitude (empty when no
  /// frame is set up or the datum setting is unknown).
  [[nodiscard]] QStringList PositionTexts(const QPoint& client) const;
  /// Reads out the last shown point again (after the display datum changed).
  void RefreshPositionPanes();
  /// The line the empty map area shows to tell how to begin; empty while a sheet is shown.
  [[nodiscard]] QString EmptyMapHint() const;
  /// Marks a WGS-84 position on the map (the point under the mouse on the elevation profile);
  /// drawn while it lies on the sheet.
  void SetProfileMarker(const DmsAngle& latitude, const DmsAngle& longitude);
  void ClearProfileMarker();
  /// Logical map pixel of the profile marker; none without one or when it is off the sheet.
  [[nodiscard]] std::optional<QPoint> profileMarkerPixel() const;

  // --- grids and bearings
  enum class EGrid { Utm, Graticule, MagneticNorth };
  /// Draws or hides a kind of grid line; remembered in the profile ("ViewSettings" / "UtmGrid",
  /// "Graticule", "MagNorth").
  void SetGridShown(EGrid grid, bool shown);
  [[nodiscard]] bool gridShown(EGrid grid) const;
  /// The grid colours changed: the lines are drawn again.
  void RefreshGrid();
  /// The lines and labels of the last paint, in logical map pixels (empty while none is shown).
  [[nodiscard]] const CGridOverlay& gridOverlay() const { return m_grid; }
  /// The options the grid of the current window is drawn with.
  [[nodiscard]] SGridOverlayOptions gridOptions() const;

  // --- the seamless map
  /// Shows every sheet of the open map folders' series side by side (or the one sheet again).
  /// Remembered in the profile ("ViewSettings" / "Seamless"); on without map data it waits for
  /// the first map folder. The same position stays in the middle.
  void SetSeamless(bool on);
  [[nodiscard]] bool seamless() const { return m_seamless; }
  /// The series the seamless view shows.
  [[nodiscard]] MapSeries seamlessSeries() const { return m_seamlessSeries; }
  /// The renderer of the seamless view (null before it was first turned on).
  [[nodiscard]] mosaic::CMosaicRenderer* mosaicRenderer() const { return m_mosaic.get(); }
  /// Seamless view: the sheet (index in the collection's sheets of the series shown) under a
  /// point of the client area; -1 where there is none.
  [[nodiscard]] int SheetUnder(const QPoint& client) const;
  /// Fits the selected track log (or the selected group's logs) into the window; in the
  /// one-sheet view the sheet of the log's first point is loaded first when the log is not on
  /// the sheet shown. False when there is nothing to fit.
  bool FitTrack();
  /// The profile's wish for the seamless view, read once at the first show.
  [[nodiscard]] static bool SeamlessRemembered();

  bool onCommand(int id) override;
  bool onUpdateCommand(int id, SCommandState& state) const override;

 signals:
  /// Status bar pane text (1 datum, 2 latitude, 3 longitude).
  void paneTextChanged(int pane, const QString& text);
  /// The zoom bar should show this code.
  void magnificationShown(int code);
  /// The scale bar should show this series and ratio.
  void scaleChanged(int series, double ratio);
  /// Commands carried out elsewhere (map image export, printing); enabled once connected.
  void saveMapImageRequested(const QRect& sheetRect);
  void printRequested();
  /// "トラックを印刷": the print of one track log on the fewest pages.
  void printTrackRequested(const CTrackLog* log);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 public:
  /// The routes drawn over the map, and the one being drawn ("ルートの作成").
  [[nodiscard]] const CRouteOverlay& routeOverlay() const { return m_routes; }
  [[nodiscard]] bool DrawingRoute() const { return m_routes.drafting(); }
  /// Starts drawing a route: clicks add points, Backspace takes the last back, Enter or a
  /// double click ends it (into the selected route group, else the first, else a new one).
  void BeginRoute();
  /// Ends the route being drawn; one of fewer than two points is dropped.
  void FinishRoute();
  void CancelRoute();

 private:
  [[nodiscard]] QPoint logical(const QPoint& client) const { return client + scrollPosition(); }
  // Routes: mouse and keys; true when the event was theirs.
  bool routePress(const QPoint& logicalPoint);
  bool routeMove(const QPoint& logicalPoint);
  bool routeRelease(const QPoint& logicalPoint);
  bool routeKey(int key);
  void rebuildRoutes();
  [[nodiscard]] double ratioFor(MagnificationCode code) const;
  // Hands the current colours and quality of the settings to the canvas before it renders.
  void takeRenderSettings();
  [[nodiscard]] int series() const;
  void updateScrollBars();
  void scrollTo(int x, int y);
  void setTool(ETool tool);
  void updateCursor(const QPoint& client);
  /// Finds the trek item under the mouse; on a change shows its pop-up text.
  void updateHover(const QPoint& client);
  void showPosition(const QPoint& client);
  void invalidateLogical(const QRect& logicalRect);
  void paintOverlay(QPainter& painter, EMapOverlay which, const QRect& clip);
  void clearRangeSelection();
  [[nodiscard]] QMenu* buildContextMenu() const;
  /// The cache of the view's own overlay, to move marks while dragging; null for another one.
  [[nodiscard]] TrekOverlay* editableOverlay() const;
  /// The hovered waypoint is the selected one and its edit window is open.
  [[nodiscard]] bool hoverIsEditedWaypoint() const;
  void rightClick(const QPoint& logicalPoint);
  void dragTo(const QPoint& logicalPoint);
  void endTrackPointDrag(const QPoint& logicalPoint);
  void toggleShown(bool waypoints);
  // Seamless view: the plane of `series` at the current magnification, with `centre` (Tokyo,
  // seconds) in the middle when given.
  void setupSeamless(MapSeries series, std::optional<std::pair<double, double>> centre);
  /// "地図を書き出す": the tile export dialog over the open map folders.
  void exportTiles();
  // The Tokyo position (seconds) in the middle of the window; none without a frame.
  [[nodiscard]] std::optional<std::pair<double, double>> centrePosition() const;
  void centreOnSeconds(double latitude, double longitude);
  // Seamless view: tells the document which sheet is in the middle now.
  void updateCentreSheet();
  void showSeamlessSheet(int series, int sheet);
  // The collection changed: the seamless view shows the new one (or waits for one).
  void collectionChanged();
  // The pop-up text over an unreadable sheet in the seamless view; true when one is shown.
  bool showSheetFailure(const QPoint& client);
  // Seamless view: paints the plane at the current ratio through the mosaic renderer.
  void composePlane();
  // No map to show: nothing to scroll and no positions.
  void clearMap();
  // Builds the grid for the window when what it shows changed, then draws it.
  /// Builds the grid lines of the window when they are shown and stale; false when none show.
  bool prepareGrid();
  /// What draws the lines into the map as it is composed on `painter`'s target; empty when the
  /// painter must draw them over the map.
  [[nodiscard]] MapPixelPainter gridPixels(QPainter& painter) const;
  // Ground metres per plane pixel at the window's middle against the series' nominal pixel.
  [[nodiscard]] double localScaleFactor() const;

  CVantoriaDoc& m_doc;
  const AppSettings* m_settings = nullptr;
  IMapTrekOverlay* m_trekOverlay = nullptr;
  std::unique_ptr<CTrekOverlayLayer> m_ownTrekOverlay;
  CTrekEditController* m_editing = nullptr;  ///< child of the view
  CGpsWindowHost* m_gps = nullptr;           ///< child of the view
  enum class EDrag { None, Waypoint, TrackPoint };
  EDrag m_drag = EDrag::None;
  STrekHit m_dragItem;  ///< the dragged mark
  QPoint m_dragGrab;    ///< mouse at the press (logical)
  QPoint m_dragStart;   ///< the mark's position at the press
  STrekHit m_hover;
  CRouteOverlay m_routes;
  CRouteOverlay::SHit m_routeDrag;  ///< the route point (or leg handle) pressed
  QPoint m_routeDragAt;
  bool m_routeDragMoved = false;
  bool m_routeInserting = false;  ///< the drag took a handle: its point is not in the route yet
  std::optional<QPoint> m_shownPosition;  ///< the last point the status panes read out
  CMapCanvas m_canvas;
  SheetFrame m_frame;
  bool m_frameReady = false;
  MagnificationCode m_code = 100;
  double m_ratio = 1.0;
  QSize m_mapSize;
  ETool m_tool = ETool::None;
  SelectionFrame m_selection;
  std::optional<SelectionFrame> m_zoomBand;
  bool m_showWaypoints = true;
  bool m_showTracks = true;
  bool m_panning = false;
  QPoint m_panLast;
  std::optional<QPoint> m_contextPoint;  ///< logical point of the open context menu's click
  bool m_initialised = false;
  QHash<int, QCursor> m_cursors;  ///< by resource number, made on first use
  int m_cursorId = 0;             ///< cursor shown: resource number, or -(Qt shape) - 1
  CPopTextWnd* m_pop = nullptr;  ///< child of the view
  std::optional<GeoPosition> m_profileMarker;  ///< WGS-84
  bool m_seamless = false;
  MapSeries m_seamlessSeries = MapSeries::Unknown;
  mosaic::SMapPlane m_plane;
  std::unique_ptr<mosaic::CMosaicRenderer> m_mosaic;
  int m_failureShown = -1;  ///< sheet whose failure the pop-up text shows
  bool m_showUtmGrid = false;
  bool m_showGraticule = false;
  bool m_showMagNorth = false;
  CGridOverlay m_grid;
  QRect m_gridArea;         ///< logical area the grid was built for
  double m_gridRatio = 0.0;  ///< ... at this ratio
  bool m_gridDirty = true;
};
