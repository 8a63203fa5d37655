#include "mosaic/MosaicRenderer.h"

#include <QMetaObject>
#include <QPainter>
#include <QRunnable>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <memory>

#include "display/SheetKernels.h"
#include "maps/SheetImage.h"
#include "mosaic/ReducedCopy.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/SystemMemory.h"

namespace mosaic {

namespace {

constexpr const char* kTilePrefix = "t:";

std::string sheetCacheKey(const std::filesystem::path& image) { return "s:" + platform::pathToUtf8(image); }
std::string reducedCacheKey(const std::filesystem::path& image, std::uint64_t paletteHash) {
  return "r:" + std::to_string(paletteHash) + ":" + platform::pathToUtf8(image);
}

std::size_t imageBytes(const QImage& image) { return image.isNull() ? 0 : static_cast<std::size_t>(image.sizeInBytes()); }

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }


// Copies `from`'s pixels `rect` to `to` at plane pixel `at` (the rect's own place by default),
// `to`'s pixel (0, 0) showing plane pixel `toOrigin`; with `stream` past the caches where the
// processor can (the caller fences).
void copyInto(QImage& to, const QPoint& toOrigin, const QImage& from, const QRect& rect, std::optional<QPoint> at = {},
              bool stream = false) {
  if (rect.isEmpty()) return;
  const QPoint place = at.value_or(rect.topLeft());
  // The first rows once (the picture is detached there), the rest by their strides.
  const uchar* fromRow = from.constScanLine(rect.top());
  uchar* toRow = to.scanLine(place.y() - toOrigin.y());
  const qsizetype fromStride = from.bytesPerLine(), toStride = to.bytesPerLine();
  for (int y = 0; y < rect.height(); ++y, fromRow += fromStride, toRow += toStride) {
    const auto* s = reinterpret_cast<const std::uint32_t*>(fromRow) + rect.left();
    auto* d = reinterpret_cast<std::uint32_t*>(toRow) + (place.x() - toOrigin.x());
    if (!stream || !sheetkernels::StreamCopy(d, s, rect.width()))
      std::memcpy(d, s, static_cast<std::size_t>(rect.width()) * 4);
  }
}

// Whether a sheet's reduced copies start at its frame: when the catalogue's corners make one
// (copies of the whole image otherwise).
bool fromFrame(const SSheetPlacement& p) { return p.x0 >= 0 && p.y0 >= 0 && p.x1 > p.x0 && p.y1 > p.y0; }

QRect frameArea(const SSheetPlacement& p) {
  return fromFrame(p) ? QRect(p.x0, p.y0, p.x1 - p.x0, p.y1 - p.y0) : QRect();
}

std::uint64_t frameHash(std::uint64_t hash, const SSheetPlacement& p) {
  for (const std::int32_t v : {p.x0, p.y0, p.x1, p.y1}) hash = (hash ^ static_cast<std::uint32_t>(v)) * 1099511628211ull;
  return hash;
}

}  // namespace

// ---- a tile's work on the pool

class CMosaicRenderer::CTileTask : public QRunnable {
 public:
  CTileTask(CMosaicRenderer& owner, StatePtr state, STileId id, std::string key)
      : m_owner(owner), m_state(std::move(state)), m_id(id), m_key(std::move(key)) {
    setAutoDelete(true);
  }
  void run() override {
    {
      std::lock_guard lock(m_owner.m_lock);
      m_owner.m_pending.erase(m_key);
      m_owner.m_running.insert(m_key);
    }
    m_owner.runTile(m_state, m_id);
    {
      std::lock_guard lock(m_owner.m_lock);
      m_owner.m_running.erase(m_key);
    }
    m_owner.announceTiles();
  }

 private:
  CMosaicRenderer& m_owner;
  StatePtr m_state;
  STileId m_id;
  std::string m_key;
};

class CMosaicRenderer::CSheetTask : public QRunnable {
 public:
  CSheetTask(CMosaicRenderer& owner, StatePtr state, int sheet, double ratio, int threads, std::string key)
      : m_owner(owner), m_state(std::move(state)), m_sheet(sheet), m_ratio(ratio), m_threads(threads),
        m_key(std::move(key)) {
    setAutoDelete(true);
  }
  void run() override {
    {
      std::lock_guard lock(m_owner.m_lock);
      m_owner.m_pendingSheets.erase(m_key);
      m_owner.m_runningSheets.insert(m_key);
    }
    (void)m_owner.pixelsFor(*m_state, m_sheet, m_ratio, true, m_threads);
    {
      std::lock_guard lock(m_owner.m_lock);
      m_owner.m_runningSheets.erase(m_key);
    }
    m_owner.announceTiles();
  }

 private:
  CMosaicRenderer& m_owner;
  StatePtr m_state;
  int m_sheet;
  double m_ratio;
  int m_threads;
  std::string m_key;
};

// ---- state

bool CMosaicRenderer::SState::areaAverage(double ratio) const {
  return dispQuality == 1 && ratio > 0.15 && ratio < 1.0;
}

std::string CMosaicRenderer::STileId::key(std::uint64_t generation) const {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &ratio, sizeof bits);
  return std::string(kTilePrefix) + std::to_string(generation) + ":" + std::to_string(bits) + ":" + std::to_string(tx) +
         ":" + std::to_string(ty);
}

CMosaicRenderer::CMosaicRenderer(QObject* parent) : QObject(parent) {
  // Decoded sheets the cache drops give their memory back at once, so that the process stays
  // near the cache's budget (their size is far above this).
  platform::returnLargeBlocks(std::size_t{4} << 20);
  m_state = std::make_shared<SState>();
  m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
  m_labelFont.setPixelSize(14);
  m_labelFont.setBold(true);
}

CMosaicRenderer::~CMosaicRenderer() {
  {
    std::lock_guard lock(m_lock);
    for (auto& [key, task] : m_pending)
      if (m_pool.tryTake(task)) delete task;
    m_pending.clear();
    for (auto& [key, task] : m_pendingSheets)
      if (m_pool.tryTake(task)) delete task;
    m_pendingSheets.clear();
  }
  m_pool.waitForDone();
  // The images the cache holds go now, while the pool they would return to is still there.
  {
    std::lock_guard lock(m_lock);
    m_closing = true;
  }
  m_cache.Clear();
  m_spareImages.clear();
}

CMosaicRenderer::StatePtr CMosaicRenderer::state() const {
  std::lock_guard lock(m_lock);
  return m_state;
}

void CMosaicRenderer::replaceState(const std::function<void(SState&)>& change, bool keepTiles) {
  replaceStateLocked(change, keepTiles);
  // Outside the lock: the cache never waits for it (images it drops take it on their way back).
  if (!keepTiles) m_cache.RemovePrefix(kTilePrefix);
}

void CMosaicRenderer::replaceStateLocked(const std::function<void(SState&)>& change, bool keepTiles) {
  std::lock_guard lock(m_lock);
  auto next = std::make_shared<SState>(*m_state);
  change(*next);
  if (!keepTiles) {
    next->generation = m_state->generation + 1;
    // Work for the old picture is of no use any more.
    for (auto& [key, task] : m_pending)
      if (m_pool.tryTake(task)) delete task;
    m_pending.clear();
    for (auto& [key, task] : m_pendingSheets)
      if (m_pool.tryTake(task)) delete task;
    m_pendingSheets.clear();
  }
  m_state = std::move(next);
}

void CMosaicRenderer::setSeries(std::vector<SCollectionSheet> sheets, const SMapPlane& plane) {
  replaceState(
      [&](SState& s) {
        s.placements.clear();
        for (const SCollectionSheet& sheet : sheets) s.placements.push_back(PlacementOf(sheet.record));
        s.sheets = std::move(sheets);
        s.plane = plane;
        std::array<std::uint8_t, 1024> table{};
        BuildLayerPalette(m_settings.scheme(int(plane.series)), int(plane.series), table);
        s.palette = PaletteColours(table);
        s.paletteHash = ColourTableHash(table);
      },
      false);
}

void CMosaicRenderer::setRenderSettings(const SMapRenderSettings& settings) {
  m_settings = settings;
  replaceState(
      [&](SState& s) {
        std::array<std::uint8_t, 1024> table{};
        BuildLayerPalette(settings.scheme(int(s.plane.series)), int(s.plane.series), table);
        s.palette = PaletteColours(table);
        s.paletteHash = ColourTableHash(table);
        s.dispQuality = settings.dispQuality;
      },
      false);
}

void CMosaicRenderer::setReducedFolder(const std::filesystem::path& folder) {
  replaceState([&](SState& s) { s.reducedFolder = folder; }, true);
}

void CMosaicRenderer::setThreadCount(int threads) { m_pool.setMaxThreadCount(std::max(1, threads)); }

void CMosaicRenderer::setDecodeThreads(int threads) {
  replaceState([&](SState& s) { s.decodeThreads = std::max(1, threads); }, true);
}

// ---- sheets

std::shared_ptr<std::mutex> CMosaicRenderer::sheetLock(const std::string& key) {
  std::lock_guard lock(m_lock);
  std::weak_ptr<std::mutex>& slot = m_sheetLocks[key];
  std::shared_ptr<std::mutex> m = slot.lock();
  if (!m) {
    m = std::make_shared<std::mutex>();
    slot = m;
  }
  // Forget the locks nobody holds, now and then.
  if (m_sheetLocks.size() > 256) {
    for (auto it = m_sheetLocks.begin(); it != m_sheetLocks.end();)
      it = it->second.expired() ? m_sheetLocks.erase(it) : std::next(it);
  }
  return m;
}

void CMosaicRenderer::noteFailure(const SState& state, int sheet, const std::string& reason) {
  bool first = false;
  {
    std::lock_guard lock(m_lock);
    first = m_failures.emplace(platform::pathToUtf8(state.sheets[static_cast<std::size_t>(sheet)].image), reason).second;
  }
  if (first) {
    ++m_atHand;  // a placeholder showing it as loading is out of date
    QMetaObject::invokeMethod(this, [this, sheet] { emit sheetFailed(sheet); }, Qt::QueuedConnection);
  }
}

bool CMosaicRenderer::failedBefore(const SState& state, int sheet) const {
  std::lock_guard lock(m_lock);
  return m_failures.count(platform::pathToUtf8(state.sheets[static_cast<std::size_t>(sheet)].image)) > 0;
}

std::optional<std::string> CMosaicRenderer::FailureOf(int sheet) const {
  const StatePtr s = state();
  if (sheet < 0 || sheet >= static_cast<int>(s->sheets.size())) return std::nullopt;
  std::lock_guard lock(m_lock);
  const auto it = m_failures.find(platform::pathToUtf8(s->sheets[static_cast<std::size_t>(sheet)].image));
  if (it == m_failures.end()) return std::nullopt;
  return it->second;
}

std::shared_ptr<SheetImage> CMosaicRenderer::takeImage() {
  std::unique_ptr<SheetImage> image;
  {
    std::lock_guard lock(m_lock);
    if (!m_spareImages.empty()) {
      image = std::move(m_spareImages.back());
      m_spareImages.pop_back();
    }
  }
  if (!image) image = std::make_unique<SheetImage>();
  return std::shared_ptr<SheetImage>(image.release(), [this](SheetImage* dropped) {
    std::unique_ptr<SheetImage> owned(dropped);
    std::lock_guard lock(m_lock);
    // One spare a worker is enough to decode without fresh memory.
    if (!m_closing && static_cast<int>(m_spareImages.size()) < std::max(1, m_pool.maxThreadCount()))
      m_spareImages.push_back(std::move(owned));
  });
}

std::shared_ptr<const SheetImage> CMosaicRenderer::decodedSheet(const SState& state, int sheet, bool decode,
                                                                bool& failed, int threads, bool keep) {
  const SCollectionSheet& s = state.sheets[static_cast<std::size_t>(sheet)];
  const std::string key = sheetCacheKey(s.image);
  if (auto found = m_cache.FindAs<SheetImage>(key)) return found;
  if (failedBefore(state, sheet)) {
    failed = true;
    return nullptr;
  }
  if (!decode) return nullptr;
  const std::shared_ptr<std::mutex> lock = sheetLock(key);
  std::lock_guard hold(*lock);
  // Another worker may have read it meanwhile.
  if (auto found = m_cache.FindAs<SheetImage>(key)) return found;
  if (failedBefore(state, sheet)) {
    failed = true;
    return nullptr;
  }
  // A reduced copy on disk stands in for the sheet while it is decoded.
  if (preloadReduced(state, sheet)) announceTiles();
  const std::shared_ptr<SheetImage> image = takeImage();
  const SSheetImageStatus status = ReadSheetImage(s.image, *image, {}, threads > 0 ? threads : state.decodeThreads);
  ++m_decodes;
  if (!status.ok()) {
    noteFailure(state, sheet, status.detail.empty() ? std::string("the sheet image cannot be read") : status.detail);
    failed = true;
    return nullptr;
  }
  if (image->bitCount() != 8 && image->bitCount() != 24) {
    noteFailure(state, sheet, "the sheet image has an unsupported pixel format");
    failed = true;
    return nullptr;
  }
  if (keep) m_cache.Insert(key, image, image->capacity());
  return image;
}

bool CMosaicRenderer::preloadReduced(const SState& state, int sheet) {
  if (state.reducedFolder.empty()) return false;
  const SCollectionSheet& s = state.sheets[static_cast<std::size_t>(sheet)];
  const std::string key = reducedCacheKey(s.image, state.paletteHash);
  if (m_cache.Find(key)) return false;
  const std::optional<SReducedKey> fileKey =
      ReducedKeyFor(s.image, frameHash(state.paletteHash, state.placements[static_cast<std::size_t>(sheet)]));
  if (!fileKey) return false;
  auto copies = std::make_shared<SReducedCopies>();
  if (ReadReducedCopies(ReducedCopyPath(state.reducedFolder, *fileKey), *fileKey, *copies) != EReducedRead::Ok)
    return false;
  return keepReduced(key, copies);
}

bool CMosaicRenderer::keepReduced(const std::string& key, const std::shared_ptr<const SReducedCopies>& copies) {
  const bool kept = m_cache.Insert(key, copies, imageBytes(copies->eighth) + imageBytes(copies->sixtyFourth));
  // A placeholder drawn without them is out of date.
  if (kept) ++m_atHand;
  return kept;
}

std::shared_ptr<const SReducedCopies> CMosaicRenderer::reducedCopies(const SState& state, int sheet, bool decode,
                                                                     bool& failed, int threads) {
  const SCollectionSheet& s = state.sheets[static_cast<std::size_t>(sheet)];
  const std::string key = reducedCacheKey(s.image, state.paletteHash);
  if (auto found = m_cache.FindAs<SReducedCopies>(key)) return found;
  if (failedBefore(state, sheet)) {
    failed = true;
    return nullptr;
  }
  if (!decode) return nullptr;
  const std::shared_ptr<std::mutex> lock = sheetLock(key);
  std::lock_guard hold(*lock);
  if (auto found = m_cache.FindAs<SReducedCopies>(key)) return found;
  auto copies = std::make_shared<SReducedCopies>();
  // The copies hold the frame's pixels in the scheme's colours: both are part of the key.
  const std::optional<SReducedKey> fileKey =
      ReducedKeyFor(s.image, frameHash(state.paletteHash, state.placements[static_cast<std::size_t>(sheet)]));
  std::filesystem::path file;
  if (fileKey && !state.reducedFolder.empty()) {
    file = ReducedCopyPath(state.reducedFolder, *fileKey);
    // A copy on disk is used only when it reads back whole and belongs to this very file.
    if (ReadReducedCopies(file, *fileKey, *copies) == EReducedRead::Ok) {
      (void)keepReduced(key, copies);
      return copies;
    }
  }
  {
    std::lock_guard l(m_lock);
    ++m_reducedTotal;
  }
  QMetaObject::invokeMethod(this, [this] {
    int done = 0, total = 0;
    {
      std::lock_guard l(m_lock);
      done = m_reducedDone;
      total = m_reducedTotal;
    }
    emit reducedProgress(done, total);
  }, Qt::QueuedConnection);
  bool sheetFailed = false;
  // A zoomed-out view needs the copies, not the sheet: its memory goes straight back to the
  // spares for the next sheet.
  const std::shared_ptr<const SheetImage> image = decodedSheet(state, sheet, true, sheetFailed, threads, false);
  if (image) {
    std::array<std::uint8_t, 1024> table{};
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint32_t c = state.palette[i];
      table[4 * i] = static_cast<std::uint8_t>(c & 0xFF);
      table[4 * i + 1] = static_cast<std::uint8_t>((c >> 8) & 0xFF);
      table[4 * i + 2] = static_cast<std::uint8_t>((c >> 16) & 0xFF);
    }
    const SSheetPlacement& p = state.placements[static_cast<std::size_t>(sheet)];
    *copies = BuildReducedCopies(*image, table, frameArea(p));
    if (!file.empty() && !copies->eighth.isNull()) (void)WriteReducedCopies(file, *fileKey, *copies);
  }
  {
    std::lock_guard l(m_lock);
    ++m_reducedDone;
  }
  QMetaObject::invokeMethod(this, [this] {
    int done = 0, total = 0;
    {
      std::lock_guard l(m_lock);
      done = m_reducedDone;
      total = m_reducedTotal;
      if (done >= total) m_reducedDone = m_reducedTotal = 0;
    }
    emit reducedProgress(done >= total ? 0 : done, done >= total ? 0 : total);
  }, Qt::QueuedConnection);
  if (!image || copies->eighth.isNull()) {
    failed = true;
    return nullptr;
  }
  (void)keepReduced(key, copies);
  return copies;
}

CMosaicRenderer::SPixels CMosaicRenderer::pixelsFor(const SState& state, int sheet, double ratio, bool decode,
                                                    int threads) {
  SPixels p;
  if (ratio < kReducedBelow) {
    p.reduced = reducedCopies(state, sheet, decode, p.failed, threads);
  } else {
    p.sheet = decodedSheet(state, sheet, decode, p.failed, threads);
  }
  return p;
}

void CMosaicRenderer::requestSheets(const StatePtr& statePtr, const std::vector<STileId>& missing, double ratio,
                                    std::set<std::string>& wanted) {
  if (missing.empty()) return;
  const SState& state = *statePtr;
  QRect area;
  for (const STileId& id : missing) area |= QRect(id.tx * kTileSize, id.ty * kTileSize, kTileSize, kTileSize);
  const SFrameSeconds seconds = BoxSeconds(state.plane, ratio, area);
  // The middle of the area first: what the user looks at comes first.
  const double midLat = (seconds.north + seconds.south) / 2, midLon = (seconds.west + seconds.east) / 2;
  std::vector<std::pair<double, int>> needed;
  for (std::size_t i = 0; i < state.sheets.size(); ++i) {
    const SFrameSeconds& f = state.sheets[i].frame;
    if (!f.Intersects(seconds)) continue;
    const SPixels at = pixelsFor(state, static_cast<int>(i), ratio, false);
    if (at.sheet || at.reduced || at.failed) continue;
    const double dLat = (f.north + f.south) / 2 - midLat, dLon = (f.west + f.east) / 2 - midLon;
    needed.emplace_back(dLat * dLat + dLon * dLon, static_cast<int>(i));
  }
  std::sort(needed.begin(), needed.end());
  // Several sheets at once share the cores among them; one alone spreads its strips over them.
  const int threads = needed.size() > 1 ? 1 : state.decodeThreads;
  std::lock_guard lock(m_lock);
  for (const auto& [distance, index] : needed) {
    std::string key = ratio < kReducedBelow ? "R:" : "S:";
    key += platform::pathToUtf8(state.sheets[static_cast<std::size_t>(index)].image);
    wanted.insert(key);
    if (m_pendingSheets.count(key) || m_runningSheets.count(key)) continue;
    auto* task = new CSheetTask(*this, statePtr, index, ratio, threads, key);
    m_pendingSheets.emplace(key, task);
    // Ahead of the tiles waiting for them.
    m_pool.start(task, 1);
  }
}

std::vector<SRenderSheet> CMosaicRenderer::renderSheets(const SState& state, const QRect& box, double ratio,
                                                        bool decode, std::vector<SPixels>& held,
                                                        std::vector<int>* loading) {
  std::vector<SRenderSheet> out;
  const SFrameSeconds seconds = BoxSeconds(state.plane, ratio, box);
  for (std::size_t i = 0; i < state.sheets.size(); ++i) {
    if (!state.sheets[i].frame.Intersects(seconds)) continue;
    const int index = static_cast<int>(i);
    SPixels pixels = pixelsFor(state, index, ratio, decode);
    // A placeholder draws from reduced copies only: a decoded sheet's tiles are on their way,
    // and drawing the whole window from it would hold up the user-interface thread.
    if (loading && pixels.sheet) pixels.sheet.reset();
    SRenderSheet r;
    r.placement = state.placements[i];
    if (pixels.failed) {
      r.state = ESheetState::Failed;
    } else if (pixels.sheet) {
      r.state = ESheetState::Ready;
      r.sheet = pixels.sheet.get();
    } else if (pixels.reduced) {
      r.state = ESheetState::Ready;
      const bool fine = ratio >= 1.0 / 64.0 || pixels.reduced->sixtyFourth.isNull();
      r.reduced = fine ? &pixels.reduced->eighth : &pixels.reduced->sixtyFourth;
      r.reduction = fine ? 8 : 64;
      r.reducedFromFrame = fromFrame(r.placement);
    } else {
      // Still loading: a reduced copy at hand stands in for it.
      const auto copies = m_cache.FindAs<SReducedCopies>(reducedCacheKey(state.sheets[i].image, state.paletteHash));
      if (copies && !copies->eighth.isNull()) {
        pixels.reduced = copies;
        r.state = ESheetState::Ready;
        r.reduced = &copies->eighth;
        r.reduction = 8;
        r.reducedFromFrame = fromFrame(r.placement);
      } else {
        r.state = ESheetState::Loading;
        if (loading) loading->push_back(index);
      }
    }
    held.push_back(std::move(pixels));
    out.push_back(r);
  }
  return out;
}

void CMosaicRenderer::drawNames(const SState& state, QImage& to, const QRect& box, const QPoint& toOrigin,
                                double ratio, const std::vector<int>& sheets) {
  if (sheets.empty()) return;
  QPainter painter(&to);
  painter.setClipRect(box.translated(-toOrigin));
  painter.setFont(m_labelFont);
  painter.setPen(QColor(0x50, 0x50, 0x50));
  for (const int i : sheets) {
    const SCollectionSheet& s = state.sheets[static_cast<std::size_t>(i)];
    const SFrameSeconds& f = s.frame;
    const QPointF centre(state.plane.ColumnOf((f.west + f.east) / 2, ratio) - toOrigin.x(),
                         state.plane.RowOf((f.north + f.south) / 2, ratio) - toOrigin.y());
    const QString name = QString::fromStdString(platform::cp932::toUtf8Lossy(s.record.sheetName));
    const QRectF text(centre.x() - 200, centre.y() - 12, 400, 24);
    if (!text.toAlignedRect().intersects(box.translated(-toOrigin))) continue;
    painter.drawText(text, Qt::AlignCenter, name);
  }
}

// ---- tiles

void CMosaicRenderer::runTile(const StatePtr& statePtr, const STileId& id) {
  const SState& state = *statePtr;
  const QRect box(id.tx * kTileSize, id.ty * kTileSize, kTileSize, kTileSize);
  std::vector<SPixels> held;
  std::vector<int> failed;
  const std::vector<SRenderSheet> sheets = renderSheets(state, box, id.ratio, true, held, nullptr);
  auto tile = std::make_shared<QImage>(kTileSize, kTileSize, QImage::Format_RGB32);
  if (tile->isNull()) return;
  SPlaneRenderJob job;
  job.plane = &state.plane;
  job.ratio = id.ratio;
  job.box = box;
  job.palette = &state.palette;
  job.areaAverage = state.areaAverage(id.ratio);
  RenderPlaneBox(job, sheets, *tile, box.topLeft());
  for (std::size_t i = 0, k = 0; i < state.sheets.size() && k < sheets.size(); ++i) {
    if (!state.sheets[i].frame.Intersects(BoxSeconds(state.plane, id.ratio, box))) continue;
    if (sheets[k].state == ESheetState::Failed) failed.push_back(static_cast<int>(i));
    ++k;
  }
  drawNames(state, *tile, box, box.topLeft(), id.ratio, failed);
  {
    std::lock_guard lock(m_lock);
    // A tile of a picture replaced meanwhile is not kept.
    if (m_state->generation != state.generation) return;
  }
  m_cache.Insert(id.key(state.generation), tile, imageBytes(*tile));
}

void CMosaicRenderer::announceTiles() {
  if (m_announced.exchange(true)) return;
  QMetaObject::invokeMethod(this, [this] {
    m_announced = false;
    emit tilesReady();
  }, Qt::QueuedConnection);
}

void CMosaicRenderer::request(const StatePtr& state, const STileId& id) {
  const std::string key = id.key(state->generation);
  std::lock_guard lock(m_lock);
  if (m_pending.count(key) || m_running.count(key)) return;
  auto* task = new CTileTask(*this, state, id, key);
  m_pending.emplace(key, task);
  m_pool.start(task);
}

void CMosaicRenderer::Compose(QImage& to, const QRect& box, const QPoint& toOrigin, double ratio) {
  const StatePtr statePtr = state();
  const SState& state = *statePtr;
  const QRect area = box & QRect(toOrigin, to.size());
  if (area.isEmpty() || !(ratio > 0)) return;
  const int tx0 = floorDiv(area.left(), kTileSize), tx1 = floorDiv(area.right(), kTileSize);
  const int ty0 = floorDiv(area.top(), kTileSize), ty1 = floorDiv(area.bottom(), kTileSize);
  const bool stream = std::int64_t{area.width()} * area.height() * 4 >= sheetkernels::StreamBytes();
  std::set<std::string> wanted;
  std::vector<STileId> missing;
  std::vector<QRect> missingParts;
  const QRect planeBox(0, 0, state.plane.WidthAt(ratio), state.plane.HeightAt(ratio));
  for (int ty = ty0; ty <= ty1; ++ty) {
    for (int tx = tx0; tx <= tx1; ++tx) {
      const STileId id{ratio, tx, ty};
      const std::string key = id.key(state.generation);
      const QRect tileBox(tx * kTileSize, ty * kTileSize, kTileSize, kTileSize);
      const QRect part = tileBox & area;
      if (!tileBox.intersects(planeBox)) {
        // Beyond the plane: nothing to render.
        for (int y = part.top(); y <= part.bottom(); ++y) {
          auto* d = reinterpret_cast<std::uint32_t*>(to.scanLine(y - toOrigin.y())) + (part.left() - toOrigin.x());
          std::fill(d, d + part.width(), kEmptyColour);
        }
        continue;
      }
      wanted.insert(key);
      if (const auto tile = m_cache.FindAs<QImage>(key)) {
        copyInto(to, toOrigin, *tile, part.translated(-tileBox.topLeft()), part.topLeft(), stream);
        continue;
      }
      missing.push_back(id);
      missingParts.push_back(part);
    }
  }
  if (!missingParts.empty()) {
    // What is at hand meanwhile (reduced copies, else grey and names), in one picture for all
    // the tiles still missing, kept while nothing new is at hand: the next paints only copy it.
    QRect bounds;
    for (const QRect& part : missingParts) bounds |= part;
    SPlaceholder& ph = m_placeholder;
    const int atHand = m_atHand.load();
    if (ph.image.isNull() || ph.generation != state.generation || ph.ratio != ratio || ph.atHand != atHand ||
        !ph.bounds.contains(bounds)) {
      std::vector<SPixels> held;
      std::vector<int> loading;
      const std::vector<SRenderSheet> sheets = renderSheets(state, bounds, ratio, false, held, &loading);
      SPlaneRenderJob job;
      job.plane = &state.plane;
      job.ratio = ratio;
      job.box = bounds;
      job.palette = &state.palette;
      // The nearest pixel is quick enough for the user-interface thread.
      job.areaAverage = false;
      // On a picture of its own: `to` may be the target of a painter already.
      ph.image = QImage(bounds.size(), QImage::Format_RGB32);
      ph.bounds = bounds;
      ph.generation = state.generation;
      ph.ratio = ratio;
      ph.atHand = atHand;
      if (!ph.image.isNull()) {
        RenderPlaneBox(job, sheets, ph.image, bounds.topLeft());
        drawNames(state, ph.image, bounds, bounds.topLeft(), ratio, loading);
      }
    }
    if (!ph.image.isNull())
      for (const QRect& part : missingParts)
        copyInto(to, toOrigin, ph.image, part.translated(-ph.bounds.topLeft()), part.topLeft(), stream);
  } else {
    m_placeholder.image = QImage();
  }
  if (stream) sheetkernels::StreamFence();
  requestSheets(statePtr, missing, ratio, wanted);
  {
    std::lock_guard lock(m_lock);
    // Work for tiles and sheets out of sight that no worker has begun is dropped.
    for (auto it = m_pending.begin(); it != m_pending.end();) {
      if (!wanted.count(it->first) && m_pool.tryTake(it->second)) {
        delete it->second;
        it = m_pending.erase(it);
      } else {
        ++it;
      }
    }
    for (auto it = m_pendingSheets.begin(); it != m_pendingSheets.end();) {
      if (!wanted.count(it->first) && m_pool.tryTake(it->second)) {
        delete it->second;
        it = m_pendingSheets.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const STileId& id : missing) request(statePtr, id);
}

bool CMosaicRenderer::RenderNow(QImage& to, const QRect& box, const QPoint& toOrigin, double ratio) {
  const StatePtr statePtr = state();
  const SState& state = *statePtr;
  const QRect area = box & QRect(toOrigin, to.size());
  if (area.isEmpty() || !(ratio > 0)) return false;
  // The sheets not in memory yet are read first: one here, several at once on the pool. This
  // thread waits for just those (the pool's waitForDone would wait for every task of the pool,
  // also other callers', and end its threads, to be made again on the next call).
  const SFrameSeconds seconds = BoxSeconds(state.plane, ratio, area);
  std::vector<int> missing;
  for (std::size_t i = 0; i < state.sheets.size(); ++i) {
    if (!state.sheets[i].frame.Intersects(seconds)) continue;
    const SPixels at = pixelsFor(state, static_cast<int>(i), ratio, false);
    if (!at.sheet && !at.reduced && !at.failed) missing.push_back(static_cast<int>(i));
  }
  if (missing.size() == 1) {
    (void)pixelsFor(state, missing.front(), ratio, true);
  } else if (!missing.empty()) {
    std::vector<std::future<void>> reads;
    for (const int index : missing) {
      auto read = std::make_shared<std::packaged_task<void()>>(
          [this, statePtr, index, ratio] { (void)pixelsFor(*statePtr, index, ratio, true); });
      reads.push_back(read->get_future());
      m_pool.start([read] { (*read)(); });
    }
    for (std::future<void>& r : reads) r.wait();
  }
  std::vector<SPixels> held;
  const std::vector<SRenderSheet> sheets = renderSheets(state, area, ratio, true, held, nullptr);
  SPlaneRenderJob job;
  job.plane = &state.plane;
  job.ratio = ratio;
  job.box = area;
  job.palette = &state.palette;
  job.areaAverage = state.areaAverage(ratio);
  return RenderPlaneBox(job, sheets, to, toOrigin) && area == box;
}

int CMosaicRenderer::pendingTiles() const {
  std::lock_guard lock(m_lock);
  return static_cast<int>(m_pending.size() + m_running.size() + m_pendingSheets.size() + m_runningSheets.size());
}

void CMosaicRenderer::WaitForIdle() { m_pool.waitForDone(); }

}  // namespace mosaic
