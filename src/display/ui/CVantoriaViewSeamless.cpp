// The map view's seamless map: the plane of every open sheet of a series, rendered by the
// mosaic renderer's workers, with the sheet in the middle as the current sheet.
#include <QScrollBar>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "display/ui/CPopTextWnd.h"
#include "display/ui/CVantoriaView.h"
#include "mosaic/MosaicRenderer.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IProfileStore.h"
#include "platform/SystemMemory.h"

namespace {

constexpr const char* kSection = "ViewSettings";
constexpr const char* kSeamlessKey = "Seamless";
constexpr const char* kCacheKey = "CacheMiB";

QString fromCp932(const std::string& text) { return QString::fromStdString(platform::cp932::toUtf8Lossy(text)); }

}  // namespace

bool CVantoriaView::SeamlessRemembered() { return platform::profile().readInt(kSection, kSeamlessKey, 0) == 1; }

double CVantoriaView::localScaleFactor() const {
  if (!m_seamless || m_plane.empty()) return 1.0;
  const std::optional<std::pair<double, double>> centre = centrePosition();
  const double latitude = centre ? centre->first : m_plane.north - m_plane.latStep * m_plane.height / 2;
  const double metres = m_plane.MetresAcross(latitude);
  const double nominal = mosaic::NominalPixelMetres(m_seamlessSeries);
  return metres > 0 && nominal > 0 ? metres / nominal : 1.0;
}

std::optional<std::pair<double, double>> CVantoriaView::centrePosition() const {
  if (!m_frameReady) return std::nullopt;
  const QSize client = viewport()->size();
  const QPoint v = logical(QPoint(client.width() / 2, client.height() / 2));
  // A map smaller than the window: the map's own middle.
  const int x = m_mapSize.width() <= client.width() ? m_mapSize.width() / 2 : v.x();
  const int y = m_mapSize.height() <= client.height() ? m_mapSize.height() / 2 : v.y();
  const std::optional<GeoPosition> g = m_frame.PixelToGeo(x, y, Datum::Tokyo);
  if (!g) return std::nullopt;
  return std::make_pair(g->latitude.TotalSeconds(), g->longitude.TotalSeconds());
}

void CVantoriaView::centreOnSeconds(double latitude, double longitude) {
  (void)CentreOn(DmsAngle::FromTotalSeconds(latitude), DmsAngle::FromTotalSeconds(longitude), int(Datum::Tokyo));
}

void CVantoriaView::composePlane() {
  m_canvas.setComposer(
      [this](QImage& to, const QRect& box, const QPoint& toOrigin, double deviceRatio) {
        if (m_mosaic) m_mosaic->Compose(to, box, toOrigin, deviceRatio);
      },
      m_ratio, QSize(m_plane.WidthAt(m_ratio), m_plane.HeightAt(m_ratio)));
}

void CVantoriaView::clearMap() {
  m_canvas.setComposer({}, m_ratio, {});
  m_mapSize = QSize();
  m_frameReady = false;
  updateScrollBars();
  viewport()->update();
}

void CVantoriaView::SetSeamless(bool on) {
  InitialUpdate();
  if (on == m_seamless) {
    m_doc.setSeamless(on);
    return;
  }
  const std::optional<std::pair<double, double>> centre = centrePosition();
  if (on) {
    const mosaic::CMapCollection& collection = m_doc.Collection();
    const std::vector<MapSeries> present = collection.seriesPresent();
    m_seamless = true;
    m_doc.setSeamless(true);
    if (present.empty()) {
      // Nothing to show yet: the view turns seamless when map data opens.
      m_seamlessSeries = MapSeries::Unknown;
      clearMap();
      return;
    }
    const MapSeries series =
        m_doc.HasCurrentSheet() && std::find(present.begin(), present.end(), m_doc.SheetSeries()) != present.end()
            ? m_doc.SheetSeries()
            : present.front();
    setupSeamless(series, centre);
    return;
  }
  // Back to one sheet: the sheet in the middle, loaded, with the same place in the middle.
  const MapSeries series = m_seamlessSeries;
  const int sheet = centre ? m_doc.Collection().SheetAt(series, centre->first, centre->second) : -1;
  m_seamless = false;
  m_doc.setSeamless(false);
  m_canvas.setComposer({}, m_ratio, {});
  m_mapSize = QSize();
  m_frameReady = false;
  m_doc.SetCentreSheet(series, -1);
  if (m_mosaic) m_mosaic->cache().Clear();
  if (sheet >= 0) {
    const mosaic::SCollectionSheet& s = m_doc.Collection().sheets(series)[static_cast<std::size_t>(sheet)];
    m_doc.SetCurrentFolder(s.folder);
    m_doc.SelectAndLoadSheet(s.area, s.slot);
    if (centre) centreOnSeconds(centre->first, centre->second);
  } else if (m_doc.HasSheet()) {
    SheetOpened();
  }
  updateScrollBars();
  viewport()->update();
}

void CVantoriaView::setupSeamless(MapSeries series, std::optional<std::pair<double, double>> centre) {
  const mosaic::CMapCollection& collection = m_doc.Collection();
  m_seamlessSeries = series;
  m_plane = collection.plane(series);
  if (!m_mosaic) {
    m_mosaic = std::make_unique<mosaic::CMosaicRenderer>();
    const std::int64_t mib =
        mosaic::UsableCacheMiB(platform::profile().readInt(kSection, kCacheKey, 0), platform::physicalMemoryBytes());
    m_mosaic->setCacheBudget(static_cast<std::size_t>(mib) << 20);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty()) m_mosaic->setReducedFolder(platform::pathFromUtf8(cache.toStdString()));
    // Each sheet's strips on the workers the pool has.
    m_mosaic->setDecodeThreads(std::max(1, QThread::idealThreadCount()));
    connect(m_mosaic.get(), &mosaic::CMosaicRenderer::tilesReady, viewport(), qOverload<>(&QWidget::update));
    connect(m_mosaic.get(), &mosaic::CMosaicRenderer::reducedProgress, this, [this](int done, int total) {
      emit paneTextChanged(0, total > 0 ? QStringLiteral("縮小地図を作成しています (%1 / %2)").arg(done).arg(total)
                                        : QStringLiteral("レディ"));
    });
  }
  m_mosaic->setRenderSettings(m_settings ? m_settings->mapRenderSettings() : SMapRenderSettings{});
  m_mosaic->setSeries(collection.sheets(series), m_plane);
  if (m_plane.empty()) return;
  if (!centre) {
    // The current sheet's middle, else the collection's.
    const SheetRecord& r = m_doc.CurrentSheet();
    if (m_doc.HasCurrentSheet() && m_doc.SheetSeries() == series) {
      const mosaic::SFrameSeconds f = mosaic::PlacementOf(r).frame;
      centre = std::make_pair((f.north + f.south) / 2, (f.west + f.east) / 2);
    } else {
      centre = std::make_pair(m_plane.north - m_plane.latStep * m_plane.height / 2,
                              m_plane.west + m_plane.lonStep * m_plane.width / 2);
    }
  }
  m_frame = m_plane.Frame(m_ratio);
  m_frameReady = true;
  // A map scale 1:N is true at the middle of the window: with the new plane, the ratio again.
  m_ratio = ratioFor(m_code);
  composePlane();
  m_mapSize = m_canvas.mapSize();
  m_frame.SetScale(m_ratio, m_ratio);
  m_selection.SetMap(m_mapSize, m_ratio);
  updateScrollBars();
  centreOnSeconds(centre->first, centre->second);
  // The scale bar counts nominal pixels: the ground of one at the window's middle.
  emit scaleChanged(int(series), m_ratio / localScaleFactor());
  RebuildOverlay(false);
  updateCentreSheet();
  viewport()->update();
}

void CVantoriaView::collectionChanged() {
  if (!m_seamless) return;
  m_doc.SetCentreSheet(m_seamlessSeries, -1);
  const std::vector<MapSeries> present = m_doc.Collection().seriesPresent();
  if (present.empty()) {
    clearMap();
    return;
  }
  const bool keep = std::find(present.begin(), present.end(), m_seamlessSeries) != present.end();
  setupSeamless(keep ? m_seamlessSeries : present.front(), std::nullopt);
}

void CVantoriaView::updateCentreSheet() {
  if (!m_seamless || !m_frameReady) return;
  const std::optional<std::pair<double, double>> centre = centrePosition();
  const int sheet = centre ? m_doc.Collection().SheetAt(m_seamlessSeries, centre->first, centre->second) : -1;
  m_doc.SetCentreSheet(m_seamlessSeries, sheet);
}

void CVantoriaView::showSeamlessSheet(int seriesCode, int sheet) {
  if (!m_seamless) return;
  const auto series = static_cast<MapSeries>(seriesCode);
  const std::vector<mosaic::SCollectionSheet>& sheets = m_doc.Collection().sheets(series);
  if (sheet < 0 || sheet >= static_cast<int>(sheets.size())) return;
  const mosaic::SFrameSeconds& f = sheets[static_cast<std::size_t>(sheet)].frame;
  const std::pair<double, double> middle((f.north + f.south) / 2, (f.west + f.east) / 2);
  if (series != m_seamlessSeries) {
    setupSeamless(series, middle);
    return;
  }
  centreOnSeconds(middle.first, middle.second);
  updateCentreSheet();
}

int CVantoriaView::SheetUnder(const QPoint& client) const {
  if (!m_seamless || !m_frameReady) return -1;
  const QPoint v = logical(client);
  const std::optional<GeoPosition> g = m_frame.PixelToGeo(v.x(), v.y(), Datum::Tokyo);
  if (!g) return -1;
  return m_doc.Collection().SheetAt(m_seamlessSeries, g->latitude.TotalSeconds(), g->longitude.TotalSeconds());
}

bool CVantoriaView::showSheetFailure(const QPoint& client) {
  const int sheet = m_mosaic ? SheetUnder(client) : -1;
  const std::optional<std::string> reason = sheet >= 0 ? m_mosaic->FailureOf(sheet) : std::nullopt;
  if (!reason) {
    if (m_failureShown >= 0 && m_pop) m_pop->Hide();
    m_failureShown = -1;
    return false;
  }
  if (sheet == m_failureShown) return true;
  m_failureShown = sheet;
  const mosaic::SCollectionSheet& s = m_doc.Collection().sheets(m_seamlessSeries)[static_cast<std::size_t>(sheet)];
  if (m_pop)
    m_pop->Show(client,
                {fromCp932(s.record.sheetName) + QStringLiteral(" は読み込めません"), QString::fromStdString(*reason)}, 1);
  return true;
}

bool CVantoriaView::FitTrack() {
  InitialUpdate();
  const STrekSelection& sel = m_doc.TrekGroups().Selection();
  std::vector<const CTrackLog*> logs;
  if ((sel.kind == kTrekTrackLog || sel.kind == kTrekTrackPoint) && sel.trackLog) {
    logs.push_back(sel.trackLog);
  } else if (sel.kind == kTrekTrackLogGroup) {
    if (const CTrekData* group = m_doc.TrekGroups().Group(sel.groupIndex))
      for (const auto& log : group->TrackLogs())
        if (log) logs.push_back(log.get());
  }
  const CTrackPoint* first = nullptr;
  for (const CTrackLog* log : logs)
    if (!log->Points().empty()) {
      first = &log->Points().front();
      break;
    }
  if (!first) return false;
  if (!m_seamless) {
    // One sheet: the sheet of the first point, unless the log already crosses the one shown.
    bool onSheet = false;
    if (m_frameReady)
      for (const CTrackLog* log : logs)
        for (const CTrackPoint& p : log->Points()) onSheet = onSheet || m_frame.Contains(p.latitude, p.longitude, Datum::Wgs84);
    if (!onSheet) {
      DmsAngle lat, lon;
      first->GetPosition(lat, lon, Datum::Tokyo);
      if (!m_doc.GotoPosition(lat, lon, true) || !m_frameReady) return false;
    }
  }
  // The logs' box in unscaled map pixels (sheet pixels, or plane pixels at ratio 1).
  double x0 = std::numeric_limits<double>::max(), y0 = x0, x1 = -x0, y1 = -x0;
  for (const CTrackLog* log : logs) {
    for (const CTrackPoint& p : log->Points()) {
      const std::optional<SFramePixel> px = m_frame.GeoToImagePixel(p.latitude, p.longitude, Datum::Wgs84);
      if (!px) continue;
      x0 = std::min<double>(x0, px->x);
      y0 = std::min<double>(y0, px->y);
      x1 = std::max<double>(x1, px->x);
      y1 = std::max<double>(y1, px->y);
    }
  }
  if (x1 < x0) return false;
  const QSize unscaled(static_cast<int>(m_mapSize.width() / m_ratio), static_cast<int>(m_mapSize.height() / m_ratio));
  // A margin of a twentieth on every side, within the map.
  const double mx = std::max(20.0, (x1 - x0) / 20), my = std::max(20.0, (y1 - y0) / 20);
  const QRect box = QRect(QPoint(static_cast<int>(x0 - mx), static_cast<int>(y0 - my)),
                          QPoint(static_cast<int>(x1 + mx), static_cast<int>(y1 + my))) &
                    QRect(QPoint(0, 0), unscaled);
  if (box.isEmpty()) return false;
  ZoomToRectangle(box);
  return true;
}
