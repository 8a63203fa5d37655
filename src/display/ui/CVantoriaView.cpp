#include "display/ui/CVantoriaView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "app/Resources.h"
#include "display/ui/CPopTextWnd.h"
#include "display/ui/GpsWindowHost.h"
#include "display/ui/TrekEditController.h"
#include "display/ui/TrekOverlayLayer.h"
#include "geodesy/GridReference.h"
#include "mosaic/MosaicRenderer.h"
#include "platform/Codepage.h"
#include "platform/IProfileStore.h"
#include "trek/CTrackLog.h"
#include "trek/ui/CDlgWaypoint.h"

namespace {

constexpr const char* kSection = "ViewSettings";
constexpr const char* kMagnificationKey = "DispMagni";

QString fromCp932(const std::string& text) { return QString::fromStdString(platform::cp932::toUtf8Lossy(text)); }

constexpr int kProfileMarkerRadius = 7;
// What the marker covers, its white outline and antialiased edge included.
QRect profileMarkerBox(const QPoint& centre) {
  const int r = kProfileMarkerRadius + 4;
  return QRect(centre.x() - r, centre.y() - r, 2 * r + 1, 2 * r + 1);
}

}  // namespace

CVantoriaView::CVantoriaView(CVantoriaDoc& doc, QWidget* parent) : QAbstractScrollArea(parent), m_doc(doc) {
  setObjectName(QStringLiteral("mapView"));
  // The editing windows come first: the cursor and command rules ask about them.
  m_editing = new CTrekEditController(m_doc, this);
  connect(m_editing, &CTrekEditController::rebuildRequested, this, [this] { RebuildOverlay(true); });
  // An open upload window holds the trek data like an editing window.
  m_gps = new CGpsWindowHost(m_doc, *m_editing, this);
  m_editing->setBusyProbe([this] { return m_gps->openUploadWindow() != nullptr; });
  viewport()->setObjectName(QStringLiteral("mapViewport"));
  // Every paint covers its whole clip box: no background erase.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_NoSystemBackground);
  viewport()->setMouseTracking(true);
  updateCursor({});
  setFocusPolicy(Qt::StrongFocus);
  m_canvas.setWindowColour(palette().color(QPalette::Base));
  m_canvas.setSheet(&m_doc.Image(), series());

  m_ownTrekOverlay = std::make_unique<CTrekOverlayLayer>(m_doc, [this] { return m_mapSize; });
  m_trekOverlay = m_ownTrekOverlay.get();

  connect(&m_doc, &CVantoriaDoc::sheetOpened, this, &CVantoriaView::SheetOpened);
  // The empty map's hint changes with the map index.
  connect(&m_doc, &CVantoriaDoc::catalogueOpened, viewport(), qOverload<>(&QWidget::update));
  connect(&m_doc, &CVantoriaDoc::catalogueCleared, viewport(), qOverload<>(&QWidget::update));
  connect(&m_doc, &CVantoriaDoc::trekDataChanged, this, [this] { RebuildOverlay(true); });
  connect(&m_doc, &CVantoriaDoc::selectionChanged, this, [this] { viewport()->update(); });
  connect(&m_doc, &CVantoriaDoc::centreRequested, this,
          [this](const DmsAngle& lat, const DmsAngle& lon, int datum) { CentreOn(lat, lon, datum); });
  connect(&m_doc, &CVantoriaDoc::seamlessSheetRequested, this, &CVantoriaView::showSeamlessSheet);
  connect(&m_doc, &CVantoriaDoc::collectionChanged, this, &CVantoriaView::collectionChanged);

  // Ctrl++ / Ctrl+- zoom one step about the middle, anywhere in the window. "Ctrl+=" and
  // "Ctrl+;" are the same key without Shift on US and Japanese keyboards.
  const auto zoomKeys = [this](std::initializer_list<QKeySequence> keys, bool zoomIn) {
    for (const QKeySequence& key : keys) {
      auto* shortcut = new QShortcut(key, this, nullptr, nullptr, Qt::WindowShortcut);
      connect(shortcut, &QShortcut::activated, this, [this, zoomIn] {
        if (hasMap()) ZoomStep(zoomIn);
      });
    }
  };
  zoomKeys({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
            QKeySequence(Qt::CTRL | Qt::Key_Semicolon)},
           true);
  zoomKeys({QKeySequence(Qt::CTRL | Qt::Key_Minus)}, false);

  auto& profile = platform::profile();
  m_showUtmGrid = profile.readInt(kSection, "UtmGrid", 0) == 1;
  m_showGraticule = profile.readInt(kSection, "Graticule", 0) == 1;
  m_showMagNorth = profile.readInt(kSection, "MagNorth", 0) == 1;
}

CVantoriaView::~CVantoriaView() {
  // Only a view that took its magnification from the profile gives one back.
  if (m_initialised) {
    platform::profile().writeInt(kSection, kMagnificationKey, m_code);
    platform::profile().writeInt(kSection, "Seamless", m_seamless ? 1 : 0);
  }
  // The grid toggles are written when chosen (SetGridShown).
  // The workers stop before the canvas and the document they draw for go.
  m_canvas.setComposer({}, m_ratio, {});
  m_mosaic.reset();
  m_canvas.backBuffer().release();
  m_canvas.bitmap().Release();
}

void CVantoriaView::setMarkerDatumSetting(std::int32_t* setting) { m_editing->setMarkerDatumSetting(setting); }

TrekOverlay* CVantoriaView::editableOverlay() const {
  if (!m_ownTrekOverlay || m_trekOverlay != m_ownTrekOverlay.get()) return nullptr;
  return &m_ownTrekOverlay->overlay();
}

bool CVantoriaView::hoverIsEditedWaypoint() const {
  if (m_hover.kind != ETrekHitKind::Waypoint) return false;
  if (m_editing->openWindow() != CTrekEditController::EWindow::EditWaypoint) return false;
  const TrekOverlay* overlay = editableOverlay();
  const WaypointMark* mark = overlay ? overlay->Waypoint(m_hover.index) : nullptr;
  const STrekSelection& sel = m_doc.TrekGroups().Selection();
  return mark && sel.kind == kTrekWaypoint && mark->waypoint == sel.waypoint;
}

void CVantoriaView::setSettings(const AppSettings* settings) {
  m_settings = settings;
  takeRenderSettings();
}

void CVantoriaView::takeRenderSettings() {
  m_canvas.setRenderSettings(m_settings ? m_settings->mapRenderSettings() : SMapRenderSettings{});
  m_canvas.setDevicePixelRatio(viewport()->devicePixelRatioF());
}

int CVantoriaView::series() const {
  if (m_seamless) return int(m_seamlessSeries);
  return m_doc.HasSheet() ? int(m_doc.SheetSeries()) : -1;
}

double CVantoriaView::mapScaleDpi() const {
  const QScreen* s = screen();
  return MapScaleDpi(s ? s->physicalDotsPerInchX() : 0.0, logicalDpiX());
}

double CVantoriaView::ratioFor(MagnificationCode code) const {
  // Percentages count device pixels: 100 % is one sheet pixel per pixel of the screen, also on a
  // high-density one. Map scales are measured in logical pixels.
  const double ratio = MagnificationToRatio(code, series(), mapScaleDpi());
  // On the seamless map a plane pixel covers a little more or less ground away from the middle
  // latitude: a map scale holds at the window's middle, a pixel covering more ground drawn larger.
  return code > 0 ? ratio / viewport()->devicePixelRatioF() : ratio * localScaleFactor();
}

QPoint CVantoriaView::scrollPosition() const {
  return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

QPoint CVantoriaView::SheetPixelAt(const QPoint& client) const {
  const QPoint v = logical(client);
  return {ViewToSheet(v.x(), m_ratio), ViewToSheet(v.y(), m_ratio)};
}

void CVantoriaView::InitialUpdate() {
  if (m_initialised) return;
  m_initialised = true;
  MagnificationCode code = platform::profile().readInt(kSection, kMagnificationKey, 100);
  if (!IsUsableMagnification(code)) code = 100;
  m_code = code;
  m_ratio = ratioFor(code);
  emit magnificationShown(code);
  m_frame.SetScale(m_ratio, m_ratio);
  m_selection.SetMap(m_mapSize, m_ratio);
  emit scaleChanged(series(), m_ratio);
  updateScrollBars();
  if (!m_pop) m_pop = new CPopTextWnd(this);
  // The seamless view as the user left it (off on a new profile).
  if (SeamlessRemembered()) SetSeamless(true);
}

void CVantoriaView::SetMagnification(MagnificationCode code, std::optional<QPoint> centre) {
  InitialUpdate();
  const QSize client = viewport()->size();
  const QPoint scroll = scrollPosition();
  const QPoint c = centre ? *centre
                          : QPoint(VisibleCentre(scroll.x(), client.width(), m_mapSize.width(), m_ratio),
                                   VisibleCentre(scroll.y(), client.height(), m_mapSize.height(), m_ratio));
  m_code = code;
  m_ratio = ratioFor(code);
  takeRenderSettings();
  if (m_seamless && m_frameReady) {
    composePlane();
  } else {
    m_canvas.render(m_ratio);
  }
  const QSize size = m_canvas.mapSize();
  if (size.isEmpty()) return;
  m_mapSize = size;
  m_selection.SetMap(m_mapSize, m_ratio);
  updateScrollBars();
  const QSize now = viewport()->size();
  scrollTo(CentredScroll(SheetToView(c.x(), m_ratio), now.width(), m_mapSize.width()),
           CentredScroll(SheetToView(c.y(), m_ratio), now.height(), m_mapSize.height()));
  m_frame.SetScale(m_ratio, m_ratio);
  emit scaleChanged(series(), m_ratio / localScaleFactor());
  RebuildOverlay(false);
  updateCentreSheet();
  viewport()->update();
}

void CVantoriaView::ZoomStep(bool zoomIn, std::optional<QPoint> centre) {
  const double ratio = m_ratio * viewport()->devicePixelRatioF();
  // The seamless map zooms out further, towards the whole collection.
  const std::optional<int> step = m_seamless ? NextSeamlessZoomStep(ratio, zoomIn) : NextZoomStep(ratio, zoomIn);
  if (!step) return;
  emit magnificationShown(*step);
  SetMagnification(*step, centre);
}

void CVantoriaView::ZoomToRectangle(const QRect& sheetRect) {
  const SRectangleZoom zoom = RectangleZoom(viewport()->size() * viewport()->devicePixelRatioF(), sheetRect);
  emit magnificationShown(zoom.percent);
  SetMagnification(zoom.percent, zoom.centre);
}

void CVantoriaView::SheetOpened() {
  InitialUpdate();
  if (m_seamless) return;
  m_canvas.setSheet(&m_doc.Image(), series());
  // A map scale gives another ratio in the other series.
  if (m_code <= 0) m_ratio = ratioFor(m_code);
  takeRenderSettings();
  m_canvas.render(m_ratio);
  const QSize size = m_canvas.mapSize();
  if (size.isEmpty()) {
    // No picture of this sheet: nothing to scroll, and no positions of the previous sheet.
    m_mapSize = QSize();
    m_frameReady = false;
    updateScrollBars();
    viewport()->update();
    return;
  }
  m_mapSize = size;
  m_selection.SetMap(m_mapSize, m_ratio);
  updateScrollBars();
  const SheetRecord& r = m_doc.CurrentSheet();
  const SCornerAngle& nw = r.corners[kCornerNorthWest];
  const SCornerAngle& se = r.corners[kCornerSouthEast];
  const SCornerPixel& pnw = r.cornerPixels[kCornerNorthWest];
  const SCornerPixel& pse = r.cornerPixels[kCornerSouthEast];
  m_frame.Setup(nw.latitude, nw.longitude, se.latitude, se.longitude, pnw.x, pnw.y, pse.x, pse.y, m_ratio, m_ratio,
                Datum::Tokyo);
  m_frameReady = true;
  RebuildOverlay(false);
  viewport()->update();
  emit scaleChanged(series(), m_ratio);
}

bool CVantoriaView::CentreOn(const DmsAngle& latitude, const DmsAngle& longitude, int datum) {
  if (!m_frameReady || (datum != 0 && datum != 1)) return false;
  const std::optional<SFramePixel> px = m_frame.GeoToImagePixel(latitude, longitude, static_cast<Datum>(datum));
  if (!px || !px->onFrame) return false;
  const QSize client = viewport()->size();
  scrollTo(CentredScroll(SheetToView(px->x, m_ratio), client.width(), m_mapSize.width()),
           CentredScroll(SheetToView(px->y, m_ratio), client.height(), m_mapSize.height()));
  return true;
}

void CVantoriaView::RebuildOverlay(bool invalidate) {
  rebuildRoutes();
  m_hover = {};  // indices into the old cache
  m_drag = EDrag::None;
  if (m_trekOverlay && m_frameReady && (m_showWaypoints || m_showTracks)) m_trekOverlay->rebuild(m_frame, m_ratio);
  if (invalidate) viewport()->update();
}

void CVantoriaView::RefreshColours(int seriesChanged) {
  takeRenderSettings();
  if (m_seamless) {
    if (m_mosaic) m_mosaic->setRenderSettings(m_settings ? m_settings->mapRenderSettings() : SMapRenderSettings{});
    viewport()->update();
    return;
  }
  if (m_canvas.RefreshColours(seriesChanged)) viewport()->update();
}

void CVantoriaView::setPaintingSuspended(bool suspended) {
  m_canvas.setPaintingSuspended(suspended);
  if (!suspended) viewport()->update();
}

QSize CVantoriaView::RenderForOutput(double ratio) {
  m_canvas.setPaintingSuspended(true);
  if (!m_doc.HasSheet()) return {};
  takeRenderSettings();
  return m_canvas.bitmap().Render(ratio, series());
}

void CVantoriaView::EndOutputRender() {
  takeRenderSettings();
  if (m_doc.HasSheet() && !m_seamless) m_canvas.render(m_ratio);
  setPaintingSuspended(false);
}

void CVantoriaView::updateScrollBars() {
  const QSize client = viewport()->size();
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  h->setRange(0, std::max(0, m_mapSize.width() - client.width()));
  v->setRange(0, std::max(0, m_mapSize.height() - client.height()));
  h->setPageStep(std::max(1, client.width()));
  v->setPageStep(std::max(1, client.height()));
  h->setSingleStep(std::max(1, m_mapSize.width() / 100));
  v->setSingleStep(std::max(1, m_mapSize.height() / 100));
}

void CVantoriaView::scrollTo(int x, int y) {
  horizontalScrollBar()->setValue(x);
  verticalScrollBar()->setValue(y);
}

void CVantoriaView::scrollContentsBy(int, int) {
  viewport()->update();
  updateCentreSheet();
}

// ---- painting

void CVantoriaView::paintEvent(QPaintEvent* event) {
  if (viewport()->devicePixelRatioF() != m_canvas.devicePixelRatio() && !m_canvas.paintingSuspended()) {
    // Moved to a screen of another density: the same magnification in its device pixels, once
    // this paint is done (it shows the old picture scaled meanwhile).
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (viewport()->devicePixelRatioF() == m_canvas.devicePixelRatio() || m_canvas.paintingSuspended()) return;
          if (hasMap())
            SetMagnification(m_code);
          else
            m_canvas.setDevicePixelRatio(viewport()->devicePixelRatioF());
        },
        Qt::QueuedConnection);
  }
  QPainter painter(viewport());
  const QPoint origin = scrollPosition();
  const bool grid = prepareGrid();
  const MapPixelPainter gridLines = grid ? gridPixels(painter) : MapPixelPainter{};
  m_canvas.PaintMap(
      painter, event->rect().translated(origin), origin,
      [this](QPainter& p, EMapOverlay which, const QRect& clip) { paintOverlay(p, which, clip); }, gridLines);
  if (grid && !gridLines) m_grid.Paint(painter, -QPointF(origin));
  if (const std::optional<QPoint> marker = profileMarkerPixel()) {
    // A ring with a dot, outlined in white so that it stands out on any map colour.
    const QPoint c = *marker - origin;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 5));
    painter.drawEllipse(c, kProfileMarkerRadius, kProfileMarkerRadius);
    painter.setPen(QPen(QColor(0x00, 0x60, 0xFF), 3));
    painter.drawEllipse(c, kProfileMarkerRadius, kProfileMarkerRadius);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x00, 0x60, 0xFF));
    painter.drawEllipse(c, 2, 2);
    painter.setRenderHint(QPainter::Antialiasing, false);
  }
  if (m_frameReady && hasMap()) m_routes.Paint(painter, origin, m_doc.TrekGroups().Selection());
  const QString hint = EmptyMapHint();
  if (!hint.isEmpty()) {
    painter.setPen(QColor(0x55, 0x55, 0x55));
    painter.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextSingleLine, hint);
  }
}

QString CVantoriaView::EmptyMapHint() const {
  if ((m_doc.HasSheet() || m_seamless) && hasMap()) return {};
  if (m_doc.Catalogue().empty())
    return QStringLiteral("「ファイル」メニューの「地形図インデックスを開く」で、地形図の index.csv を開いて下さい。");
  return QStringLiteral("「地形図インデックス」ウィンドウで地域を選び、表示する地形図をクリックして下さい。");
}

void CVantoriaView::SetProfileMarker(const DmsAngle& latitude, const DmsAngle& longitude) {
  const std::optional<QPoint> before = profileMarkerPixel();
  m_profileMarker = GeoPosition{latitude, longitude, Datum::Wgs84};
  const std::optional<QPoint> now = profileMarkerPixel();
  if (before == now) return;
  if (before) invalidateLogical(profileMarkerBox(*before));
  if (now) invalidateLogical(profileMarkerBox(*now));
}

void CVantoriaView::ClearProfileMarker() {
  if (const std::optional<QPoint> before = profileMarkerPixel()) invalidateLogical(profileMarkerBox(*before));
  m_profileMarker.reset();
}

std::optional<QPoint> CVantoriaView::profileMarkerPixel() const {
  if (!m_profileMarker || !m_frameReady || !hasMap()) return std::nullopt;
  const std::optional<SFramePixel> px = m_frame.GeoToPixel(m_profileMarker->latitude, m_profileMarker->longitude, Datum::Wgs84);
  if (!px || !px->onFrame) return std::nullopt;
  return QPoint(px->x, px->y);
}

void CVantoriaView::paintOverlay(QPainter& painter, EMapOverlay which, const QRect& clip) {
  switch (which) {
    case EMapOverlay::RangeSelection:
      m_selection.Paint(painter);
      return;
    case EMapOverlay::ZoomBand:
      if (m_tool == ETool::ZoomRect && m_zoomBand) m_zoomBand->PaintBand(painter);
      return;
    case EMapOverlay::TrackLogLines:
    case EMapOverlay::SelectedTrackLog:
    case EMapOverlay::SelectedTrackPoint:
      if (m_trekOverlay && m_showTracks) m_trekOverlay->paint(painter, which, clip);
      return;
    case EMapOverlay::WaypointIcons:
    case EMapOverlay::SelectedWaypoint:
      if (m_trekOverlay && m_showWaypoints) m_trekOverlay->paint(painter, which, clip);
      return;
  }
}

void CVantoriaView::invalidateLogical(const QRect& logicalRect) {
  if (!logicalRect.isEmpty()) viewport()->update(logicalRect.translated(-scrollPosition()));
}

void CVantoriaView::resizeEvent(QResizeEvent*) {
  const QSize client = viewport()->size();
  m_canvas.setDevicePixelRatio(viewport()->devicePixelRatioF());
  (void)m_canvas.Recreate(client.width(), client.height());
  updateScrollBars();
}

void CVantoriaView::showEvent(QShowEvent* event) {
  InitialUpdate();
  QAbstractScrollArea::showEvent(event);
}

// ---- mouse

void CVantoriaView::mousePressEvent(QMouseEvent* event) {
  const QPoint client = event->position().toPoint();
  const QPoint v = logical(client);
  if (event->button() == Qt::RightButton) {
    if (m_tool == ETool::ZoomIn || m_tool == ETool::ZoomOut) ZoomStep(m_tool == ETool::ZoomIn, SheetPixelAt(client));
    else rightClick(v);
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  if (m_pop) m_pop->Hide();
  if (m_tool == ETool::None && routePress(v)) return;
  switch (m_tool) {
    case ETool::RangeSelect: {
      const QRect before = m_selection.Bounds();
      const int hit = m_selection.handlesShown() ? m_selection.HitTest(v) : SelectionFrame::kNoHit;
      if (hit == SelectionFrame::kNoHit) (void)m_selection.BeginBand(v);
      else (void)m_selection.BeginDrag(hit, v);
      invalidateLogical(before | m_selection.Bounds());
      break;
    }
    case ETool::ZoomRect:
      m_zoomBand.emplace();
      m_zoomBand->SetMap(m_mapSize, m_ratio);
      if (!m_zoomBand->BeginBand(v)) {
        m_zoomBand.reset();
        setTool(ETool::None);
      }
      break;
    default: {
      TrekOverlay* overlay = editableOverlay();
      const bool trackPoint = m_hover.kind == ETrekHitKind::TrackPoint &&
                              m_editing->openWindow() == CTrekEditController::EWindow::TrackLog;
      if (overlay && hoverIsEditedWaypoint()) {
        const WaypointMark* mark = overlay->Waypoint(m_hover.index);
        m_drag = EDrag::Waypoint;
        m_dragStart = QPoint(mark->x, mark->y);
      } else if (overlay && trackPoint) {
        const STrekHit hit = m_hover;
        m_trekOverlay->select(hit);
        const TrackPolyline* line = overlay->Track(hit.index);
        if (line && hit.point >= 0 && hit.point < static_cast<int>(line->points.size())) {
          const TrackMark& mark = line->points[static_cast<std::size_t>(hit.point)];
          m_drag = EDrag::TrackPoint;
          m_dragStart = QPoint(mark.x, mark.y);
        }
      }
      if (m_drag != EDrag::None) {
        m_dragItem = m_hover;
        m_dragGrab = v;
        break;
      }
      m_panning = true;
      m_panLast = client;
      break;
    }
  }
  updateCursor(client);
}

void CVantoriaView::rightClick(const QPoint& v) {
  if (!m_frameReady || m_drag != EDrag::None) return;
  const CTrekEditController::EWindow open = m_editing->openWindow();
  if (open != CTrekEditController::EWindow::AddWaypoint && open != CTrekEditController::EWindow::EditWaypoint) return;
  const std::optional<GeoPosition> g = m_frame.PixelToGeo(v.x(), v.y(), Datum::Tokyo);
  if (!g) return;
  (void)m_editing->setWaypointPosition(g->latitude, g->longitude, Datum::Tokyo);
  if (open != CTrekEditController::EWindow::EditWaypoint) return;
  // The edited waypoint's icon follows to the clicked point until the window closes.
  TrekOverlay* overlay = editableOverlay();
  if (!overlay) return;
  const int index = overlay->Locate(m_doc.TrekGroups().Selection()).waypoint;
  if (index < 0) return;
  invalidateLogical(overlay->WaypointRect(index));
  overlay->MoveWaypoint(index, v.x(), v.y());
  invalidateLogical(overlay->WaypointRect(index));
  m_hover = {};
}

void CVantoriaView::dragTo(const QPoint& v) {
  TrekOverlay* overlay = editableOverlay();
  if (!overlay) return;
  const QPoint to = m_dragStart + (v - m_dragGrab);
  if (m_drag == EDrag::Waypoint) {
    const int index = m_dragItem.index;
    invalidateLogical(overlay->WaypointRect(index));
    overlay->MoveWaypoint(index, to.x(), to.y());
    invalidateLogical(overlay->WaypointRect(index));
    if (const std::optional<GeoPosition> g = m_frame.PixelToGeo(to.x(), to.y(), Datum::Tokyo))
      (void)m_editing->setWaypointPosition(g->latitude, g->longitude, Datum::Tokyo);
    return;
  }
  const int neighbours[3] = {m_dragItem.point - 1, m_dragItem.point, m_dragItem.point + 1};
  const bool small = m_ratio <= 1.0;
  if (small) invalidateLogical(overlay->NeighbourBounds(m_dragItem.index, neighbours));
  overlay->MoveTrackPoint(m_dragItem.index, m_dragItem.point, to.x(), to.y());
  if (small) invalidateLogical(overlay->NeighbourBounds(m_dragItem.index, neighbours));
  else viewport()->update();
}

void CVantoriaView::endTrackPointDrag(const QPoint& v) {
  const QPoint to = m_dragStart + (v - m_dragGrab);
  m_drag = EDrag::None;
  if (to == m_dragStart) return;  // a click on the point only selects it
  const std::optional<GeoPosition> g = m_frame.PixelToGeo(to.x(), to.y(), Datum::Wgs84);
  // The document's change rebuilds the overlay from the moved point; otherwise put it back.
  if (!g || !m_editing->moveSelectedTrackPoint(g->latitude, g->longitude, Datum::Wgs84)) RebuildOverlay(true);
}

void CVantoriaView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint client = event->position().toPoint();
  const QPoint v = logical(client);
  if (routeMove(v)) {
    showPosition(client);
    return;
  }
  if (m_tool == ETool::RangeSelect && (m_selection.banding() || m_selection.dragging())) {
    const QRect before = m_selection.Bounds();
    if (m_selection.banding()) m_selection.MoveBand(v);
    else m_selection.Drag(v);
    invalidateLogical(before | m_selection.Bounds());
  } else if (m_tool == ETool::ZoomRect && m_zoomBand && m_zoomBand->banding()) {
    const QRect before = m_zoomBand->Bounds();
    m_zoomBand->MoveBand(v);
    invalidateLogical(before | m_zoomBand->Bounds());
  } else if (m_drag != EDrag::None) {
    dragTo(v);
  } else if (m_panning) {
    const QPoint delta = m_panLast - client;
    const QSize size = viewport()->size();
    if (m_mapSize.width() > size.width()) horizontalScrollBar()->setValue(horizontalScrollBar()->value() + delta.x());
    if (m_mapSize.height() > size.height()) verticalScrollBar()->setValue(verticalScrollBar()->value() + delta.y());
    m_panLast = client;
  }
  if (!m_panning) {
    updateHover(client);
    showPosition(client);
  } else if (m_pop) {
    m_pop->Hide();
  }
  updateCursor(client);
}

void CVantoriaView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint client = event->position().toPoint();
  if (routeRelease(logical(client))) return;
  if (m_tool == ETool::RangeSelect && (m_selection.banding() || m_selection.dragging())) {
    const QRect before = m_selection.Bounds();
    if (m_selection.banding()) m_selection.EndBand();
    else m_selection.EndDrag();
    invalidateLogical(before | m_selection.Bounds());
  } else if (m_tool == ETool::ZoomRect && m_zoomBand && m_zoomBand->banding()) {
    m_zoomBand->MoveBand(logical(client));
    const QRect rect = m_zoomBand->band();
    invalidateLogical(m_zoomBand->Bounds());
    m_zoomBand.reset();
    setTool(ETool::None);
    ZoomToRectangle(rect);
  } else if (m_drag == EDrag::Waypoint) {
    m_drag = EDrag::None;  // the window has the position already
  } else if (m_drag == EDrag::TrackPoint) {
    endTrackPointDrag(logical(client));
  } else if (m_panning) {
    m_panning = false;
    if (m_trekOverlay && m_hover.kind != ETrekHitKind::None && !m_editing->waypointWindowOpen())
      m_trekOverlay->select(m_hover);
  }
  updateCursor(client);
}

bool CVantoriaView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Leave) {
    if (m_pop) m_pop->Hide();
    m_hover = {};
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void CVantoriaView::updateCursor(const QPoint& client) {
  // Negative ids are Qt's own shapes, positive ones the program's cursor resources.
  int id = 140;
  switch (m_tool) {
    case ETool::RangeSelect: {
      const int hit = m_selection.dragging()      ? m_selection.dragHandle()
                      : m_selection.handlesShown() ? m_selection.HitTest(logical(client))
                                                   : SelectionFrame::kNoHit;
      static constexpr Qt::CursorShape kShapes[9] = {
          Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor, Qt::SizeFDiagCursor,
          Qt::SizeVerCursor,   Qt::SizeBDiagCursor, Qt::SizeHorCursor, Qt::SizeAllCursor};
      id = -int(hit >= 0 && hit <= 8 ? kShapes[hit] : Qt::ArrowCursor) - 1;
      break;
    }
    case ETool::ZoomRect: id = 180; break;
    case ETool::ZoomIn: id = 178; break;
    case ETool::ZoomOut: id = 179; break;
    case ETool::None:
    {
      const bool waypointWindow = m_editing->waypointWindowOpen();
      const bool trackWindow = m_editing->openWindow() == CTrekEditController::EWindow::TrackLog;
      if (m_drag == EDrag::Waypoint || (m_drag == EDrag::None && !m_panning && hoverIsEditedWaypoint()))
        id = -int(Qt::SizeAllCursor) - 1;
      else if (m_drag == EDrag::TrackPoint) id = 149;
      else if (m_panning) id = 139;
      else if (waypointWindow) id = 140;
      else if (m_hover.kind == ETrekHitKind::Waypoint) id = 190;
      else if (m_hover.kind == ETrekHitKind::TrackPoint) id = 149;
      else if (m_hover.kind == ETrekHitKind::TrackLog && !trackWindow) id = 189;
      break;
    }
  }
  if (id == m_cursorId) return;
  m_cursorId = id;
  if (id < 0) {
    viewport()->setCursor(QCursor(static_cast<Qt::CursorShape>(-id - 1)));
    return;
  }
  // The program's cursors are drawn from vector pictures: make each once.
  auto it = m_cursors.find(id);
  if (it == m_cursors.end()) it = m_cursors.insert(id, VantoriaCursor(id));
  viewport()->setCursor(*it);
}

void CVantoriaView::updateHover(const QPoint& client) {
  const STrekHover now = m_trekOverlay && m_frameReady
                             ? m_trekOverlay->hover(logical(client), m_showWaypoints, m_showTracks)
                             : STrekHover{};
  if (now.hit == m_hover) {
    if (m_hover.kind == ETrekHitKind::None && m_seamless) (void)showSheetFailure(client);
    return;
  }
  m_hover = now.hit;
  if (!m_pop) return;
  m_failureShown = -1;
  m_pop->Hide();
  // No pop-up while the range-selection or zoom-to-rectangle tool is on.
  const CTrekEditController::EWindow open = m_editing->openWindow();
  if (m_hover.kind == ETrekHitKind::None && m_seamless && showSheetFailure(client)) return;
  if (m_hover.kind == ETrekHitKind::None || now.lines.isEmpty() || m_tool == ETool::RangeSelect ||
      m_tool == ETool::ZoomRect || open == CTrekEditController::EWindow::EditWaypoint ||
      open == CTrekEditController::EWindow::TrackLog)
    return;
  const int kind = m_hover.kind == ETrekHitKind::Waypoint ? 0 : m_hover.kind == ETrekHitKind::TrackLog ? 1 : 2;
  m_pop->Show(client, now.lines, kind);
}

QStringList CVantoriaView::PositionTexts(const QPoint& client) const {
  const int datum = m_settings ? m_settings->dispDatum : 1;
  if (!m_frameReady || (datum != 0 && datum != 1)) return {};
  const QPoint v = logical(client);
  const int format = m_settings ? m_settings->posFormat : 0;
  if (format == static_cast<int>(EPosFormat::Utm) || format == static_cast<int>(EPosFormat::Mgrs)) {
    // Grid references are on WGS-84/JGD2000 whatever the display datum.
    const std::optional<GeoPosition> g = m_frame.PixelToGeo(v.x(), v.y(), Datum::Wgs84);
    if (!g) return {};
    const std::optional<geodesy::SGridTexts> t = geodesy::GridPositionTexts(
        g->latitude.ToDegrees(), g->longitude.ToDegrees(), static_cast<EPosFormat>(format));
    if (!t) return {fromCp932(DatumDisplayText(Datum::Wgs84)), QString(), QString()};
    return {fromCp932(DatumDisplayText(Datum::Wgs84)), QString::fromStdString(t->first),
            QString::fromStdString(t->second)};
  }
  if (format == static_cast<int>(EPosFormat::Decimal)) {
    const std::optional<GeoPosition> g = m_frame.PixelToGeo(v.x(), v.y(), static_cast<Datum>(datum));
    if (!g) return {};
    return {fromCp932(DatumDisplayText(static_cast<Datum>(datum))),
            QStringLiteral("北緯 ") + QString::fromStdString(geodesy::FormatDecimalDegrees(g->latitude.ToDegrees())) +
                QStringLiteral("°"),
            QStringLiteral("東経 ") + QString::fromStdString(geodesy::FormatDecimalDegrees(g->longitude.ToDegrees())) +
                QStringLiteral("°")};
  }
  const std::optional<SGeoText> text = m_frame.PixelToGeoText(v.x(), v.y(), static_cast<Datum>(datum));
  if (!text) return {};
  return {fromCp932(DatumDisplayText(static_cast<Datum>(datum))), QStringLiteral("北緯 ") + fromCp932(text->latitude),
          QStringLiteral("東経 ") + fromCp932(text->longitude)};
}

void CVantoriaView::showPosition(const QPoint& client) {
  const QStringList texts = PositionTexts(client);
  if (!texts.isEmpty()) m_shownPosition = client;
  for (int i = 0; i < texts.size(); ++i) emit paneTextChanged(i + 1, texts.at(i));
}

void CVantoriaView::RefreshPositionPanes() {
  // The panes keep the last point read out; after a change of datum they read it again, so they
  // never name one datum beside figures of the other.
  if (m_shownPosition) showPosition(*m_shownPosition);
}

// ---- commands

void CVantoriaView::setTool(ETool tool) {
  if (m_tool == ETool::ZoomRect && tool != ETool::ZoomRect && m_zoomBand) {
    invalidateLogical(m_zoomBand->Bounds());
    m_zoomBand.reset();
  }
  m_tool = tool;
  updateCursor(viewport()->mapFromGlobal(QCursor::pos()));
}

void CVantoriaView::clearRangeSelection() {
  invalidateLogical(m_selection.Bounds());
  m_selection.Clear();
}

bool CVantoriaView::onCommand(int id) {
  if (m_gps->onCommand(id)) return true;
  if (id == cmd::DrawRoute) {
    if (m_routes.drafting()) FinishRoute();
    else BeginRoute();
    return true;
  }
  auto toggle = [this](ETool t) { setTool(m_tool == t ? ETool::None : t); };
  switch (id) {
    case cmd::RangeSelect: toggle(ETool::RangeSelect); return true;
    case cmd::ZoomIn: toggle(ETool::ZoomIn); return true;
    case cmd::ZoomOut: toggle(ETool::ZoomOut); return true;
    case cmd::ZoomRect: toggle(ETool::ZoomRect); return true;
    case cmd::ClearSelection: clearRangeSelection(); return true;
    case cmd::ShowWaypoints:
    case cmd::ShowTracks: toggleShown(id == cmd::ShowWaypoints); return true;
    case cmd::AddWaypoint:
      if (m_editing->open(CTrekEditController::EWindow::AddWaypoint) && m_contextPoint && m_frameReady) {
        // Chosen from the map's own menu: the clicked position is the natural start.
        if (const std::optional<GeoPosition> g = m_frame.PixelToGeo(m_contextPoint->x(), m_contextPoint->y(), Datum::Tokyo))
          (void)m_editing->setWaypointPosition(g->latitude, g->longitude, Datum::Tokyo);
      }
      return true;
    case cmd::EditWaypoint: (void)m_editing->open(CTrekEditController::EWindow::EditWaypoint); return true;
    case cmd::EditTrack: (void)m_editing->open(CTrekEditController::EWindow::TrackLog); return true;
    case cmd::SaveMapImage:
      if (!isSignalConnected(QMetaMethod::fromSignal(&CVantoriaView::saveMapImageRequested))) return false;
      if (m_selection.exists()) emit saveMapImageRequested(m_selection.selection());
      return true;
    case cmd::Print:
      if (!isSignalConnected(QMetaMethod::fromSignal(&CVantoriaView::printRequested))) return false;
      if (hasMap()) emit printRequested();
      return true;
    case cmd::Seamless: SetSeamless(!m_seamless); return true;
    case cmd::UtmGrid: SetGridShown(EGrid::Utm, !m_showUtmGrid); return true;
    case cmd::Graticule: SetGridShown(EGrid::Graticule, !m_showGraticule); return true;
    case cmd::MagneticNorth: SetGridShown(EGrid::MagneticNorth, !m_showMagNorth); return true;
    case cmd::ExportTiles: exportTiles(); return true;
    case cmd::FitTrack: (void)FitTrack(); return true;
    case cmd::PrintTrack: {
      if (!isSignalConnected(QMetaMethod::fromSignal(&CVantoriaView::printTrackRequested))) return false;
      const STrekSelection& sel = m_doc.TrekGroups().Selection();
      if (hasMap() && sel.trackLog && (sel.kind == kTrekTrackLog || sel.kind == kTrekTrackPoint))
        emit printTrackRequested(sel.trackLog);
      return true;
    }
    case cmd::SwitchSeries: {
      const std::vector<MapSeries> present = m_doc.Collection().seriesPresent();
      if (!m_seamless || present.size() < 2) return true;
      setupSeamless(m_seamlessSeries == present[0] ? present[1] : present[0], centrePosition());
      return true;
    }
    default: return false;
  }
}

bool CVantoriaView::onUpdateCommand(int id, SCommandState& state) const {
  if (m_gps->onUpdateCommand(id, state)) return true;
  if (id == cmd::DrawRoute) {
    state.checked = m_routes.drafting();
    state.enabled = m_routes.drafting() || (hasMap() && m_frameReady && !m_doc.TrekGroups().IsLocked());
    return true;
  }
  auto tool = [&](ETool t) {
    state.enabled = hasMap();
    state.checked = m_tool == t;
    return true;
  };
  switch (id) {
    case cmd::RangeSelect: return tool(ETool::RangeSelect);
    case cmd::ZoomIn: return tool(ETool::ZoomIn);
    case cmd::ZoomOut: return tool(ETool::ZoomOut);
    case cmd::ZoomRect: return tool(ETool::ZoomRect);
    case cmd::ClearSelection: state.enabled = m_selection.exists(); return true;
    case cmd::ShowWaypoints: state.checked = m_showWaypoints; return true;
    case cmd::ShowTracks: state.checked = m_showTracks; return true;
    case cmd::AddWaypoint: state.enabled = m_editing->canOpen(CTrekEditController::EWindow::AddWaypoint); return true;
    case cmd::EditWaypoint: state.enabled = m_editing->canOpen(CTrekEditController::EWindow::EditWaypoint); return true;
    case cmd::EditTrack: state.enabled = m_editing->canOpen(CTrekEditController::EWindow::TrackLog); return true;
    case cmd::SaveMapImage:
      if (!isSignalConnected(QMetaMethod::fromSignal(&CVantoriaView::saveMapImageRequested))) return false;
      state.enabled = m_selection.exists();
      return true;
    case cmd::Print:
      if (!isSignalConnected(QMetaMethod::fromSignal(&CVantoriaView::printRequested))) return false;
      state.enabled = hasMap();
      return true;
    case cmd::ExportTiles: state.enabled = !m_doc.Collection().seriesPresent().empty(); return true;
    case cmd::Seamless:
      state.checked = m_seamless;
      state.enabled = m_seamless || !m_doc.Collection().seriesPresent().empty();
      return true;
    case cmd::FitTrack: {
      const int kind = m_doc.SelectionKind();
      state.enabled = (kind == kTrekTrackLog || kind == kTrekTrackPoint || kind == kTrekTrackLogGroup) &&
                      (m_seamless ? hasMap() : !m_doc.Catalogue().empty());
      return true;
    }
    case cmd::SwitchSeries:
      state.enabled = m_seamless && m_doc.Collection().seriesPresent().size() > 1;
      return true;
    case cmd::PrintTrack: {
      if (!isSignalConnected(QMetaMethod::fromSignal(&CVantoriaView::printTrackRequested))) return false;
      const STrekSelection& sel = m_doc.TrekGroups().Selection();
      state.enabled = hasMap() && sel.trackLog && (sel.kind == kTrekTrackLog || sel.kind == kTrekTrackPoint) &&
                      !sel.trackLog->Points().empty();
      return true;
    }
    case cmd::UtmGrid:
    case cmd::Graticule:
    case cmd::MagneticNorth:
      state.checked = gridShown(id == cmd::UtmGrid      ? EGrid::Utm
                                : id == cmd::Graticule ? EGrid::Graticule
                                                       : EGrid::MagneticNorth);
      state.enabled = true;
      return true;
    default: return false;
  }
}

// ---- context menu

QMenu* CVantoriaView::buildContextMenu() const {
  // The entries are the main window's own commands, so they act and update as in its menus.
  QWidget* top = window();
  auto* menu = new QMenu;
  menu->setObjectName(QStringLiteral("mapViewMenu"));
  auto add = [&](std::initializer_list<int> ids) {
    if (!menu->isEmpty()) menu->addSeparator();
    for (const int id : ids)
      if (QAction* a = top->findChild<QAction*>(QStringLiteral("cmd_%1").arg(id))) menu->addAction(a);
  };
  const int kind = m_doc.SelectionKind();
  if (kind == 1 || kind == 5) {
    add({cmd::AddWaypoint, cmd::EditWaypoint, cmd::CopyWaypoint, cmd::CutWaypoint, cmd::PasteWaypoint,
         cmd::DeleteWaypoint, cmd::GotoWaypoint});
  } else if (kind >= kTrekRouteGroup && kind <= kTrekRoutePoint) {
    add({cmd::DrawRoute, cmd::DeleteRoute, cmd::DeleteRoutePoint, cmd::UploadRoutes});
  } else if (kind >= 2 && kind <= 4) {
    add({cmd::EditTrack, cmd::CopyTrack, cmd::CutTrack, cmd::PasteTrack, cmd::DeleteTrack, cmd::GotoTrackPoint,
         cmd::FitTrack, cmd::PrintTrack});
    add({cmd::SplitTrack, cmd::JoinTracks, cmd::DeleteTrackRange, cmd::ReverseTrack, cmd::ThinTrack});
  }
  add({cmd::ZoomIn, cmd::ZoomOut, cmd::ZoomRect});
  add({cmd::RangeSelect, cmd::ClearSelection, cmd::SaveMapImage});
  add({cmd::ShowWaypoints, cmd::ShowTracks, cmd::Seamless});
  add({cmd::UtmGrid, cmd::Graticule, cmd::MagneticNorth});
  add({cmd::SheetProperties, cmd::Print});
  return menu;
}

void CVantoriaView::toggleShown(bool waypoints) {
  bool& shown = waypoints ? m_showWaypoints : m_showTracks;
  shown = !shown;
  if (shown) {
    RebuildOverlay(false);
  } else {
    // Nothing hidden stays hovered or is being dragged.
    const bool hidden = waypoints ? m_hover.kind == ETrekHitKind::Waypoint
                                  : m_hover.kind == ETrekHitKind::TrackLog || m_hover.kind == ETrekHitKind::TrackPoint;
    if (hidden) {
      m_hover = {};
      if (m_pop) m_pop->Hide();
    }
    if ((m_drag == EDrag::Waypoint) == waypoints && m_drag != EDrag::None) RebuildOverlay(false);
  }
  updateCursor(viewport()->mapFromGlobal(QCursor::pos()));
  viewport()->update();
}

void CVantoriaView::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier && routeKey(event->key())) return;
  // The main window's menu shortcuts take these keys first; alone, the view answers them.
  if (event->modifiers() == Qt::NoModifier && (event->key() == Qt::Key_F5 || event->key() == Qt::Key_F6)) {
    toggleShown(event->key() == Qt::Key_F5);
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void CVantoriaView::contextMenuEvent(QContextMenuEvent* event) {
  if (m_tool == ETool::ZoomIn || m_tool == ETool::ZoomOut || m_editing->waypointWindowOpen()) return;
  QMenu* menu = buildContextMenu();
  // The commands run while the menu is up; the add command takes the clicked position.
  if (event->reason() == QContextMenuEvent::Mouse && hasMap()) m_contextPoint = logical(event->pos());
  if (!menu->isEmpty()) menu->exec(event->globalPos());
  m_contextPoint.reset();
  delete menu;
}
