#pragma once
// The seamless map's renderer: tiles of the plane rendered on a pool of worker threads from the
// sheets decoded there, kept in the sheet cache, and composed into the view's picture on the
// user-interface thread, which never waits for a decode. A tile not rendered yet shows what is at
// hand (a reduced copy, or light grey with the sheet's name) and is asked for; tiles the user has
// panned away from before a worker took them are dropped.
#include <QFont>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QThreadPool>
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "display/MapColourScheme.h"
#include "mosaic/MapCollection.h"
#include "mosaic/PlaneRender.h"
#include "mosaic/SheetCache.h"

class SheetImage;

namespace mosaic {

struct SReducedCopies;

/// Zoomed-out views draw from reduced copies below this ratio (the 1/64 copy below 1/64).
inline constexpr double kReducedBelow = 1.0 / 8.0;

class CMosaicRenderer : public QObject {
  Q_OBJECT
 public:
  /// Display pixels a side of one tile.
  static constexpr int kTileSize = 512;

  explicit CMosaicRenderer(QObject* parent = nullptr);
  /// Drops the work not started and waits for the tiles being rendered.
  ~CMosaicRenderer() override;

  /// The sheets of the series shown and its plane; drops every tile of the previous ones.
  void setSeries(std::vector<SCollectionSheet> sheets, const SMapPlane& plane);
  [[nodiscard]] SMapPlane plane() const { return state()->plane; }
  [[nodiscard]] int sheetCount() const { return static_cast<int>(state()->sheets.size()); }
  /// Colours and quality; a change drops the rendered tiles (the decoded sheets stay).
  void setRenderSettings(const SMapRenderSettings& settings);
  /// Bytes the cache may hold.
  void setCacheBudget(std::size_t bytes) { m_cache.setBudget(bytes); }
  [[nodiscard]] std::size_t cacheBudget() const { return m_cache.budget(); }
  /// Where reduced copies are kept on disk; empty keeps them in memory only.
  void setReducedFolder(const std::filesystem::path& folder);
  /// Worker threads (1 or more); the default is the processor's count.
  void setThreadCount(int threads);
  /// Threads each decode of one sheet uses for its strips.
  void setDecodeThreads(int threads);

  /// Paints `box` (display pixels of the plane at `ratio`) onto `to`, whose pixel (0, 0) shows
  /// plane pixel `toOrigin`. Tiles not rendered yet are asked for, and the work for tiles outside
  /// the box that no worker has begun is dropped. Never waits for a worker.
  void Compose(QImage& to, const QRect& box, const QPoint& toOrigin, double ratio);
  /// The same, waiting for every sheet the box needs (batch renders and tests). True when sheets
  /// drew every pixel of the box (none is kEmptyColour for want of map data).
  bool RenderNow(QImage& to, const QRect& box, const QPoint& toOrigin, double ratio);

  /// Why a sheet (index in sheets()) cannot be shown; none while it reads well or was not tried.
  [[nodiscard]] std::optional<std::string> FailureOf(int sheet) const;
  /// Tiles asked for and not rendered or dropped yet.
  [[nodiscard]] int pendingTiles() const;
  /// Waits until no work is queued or running (tests).
  void WaitForIdle();
  [[nodiscard]] CSheetCache& cache() { return m_cache; }
  /// Sheet decodes done since the series was set (tests and measurements).
  [[nodiscard]] int decodeCount() const { return m_decodes.load(); }


 signals:
  /// Rendered tiles arrived: repaint (several arrivals come as one signal).
  void tilesReady();
  /// Reduced copies being built: `done` of `total` (both 0 when the batch is over).
  void reducedProgress(int done, int total);
  /// A sheet turned out unreadable (index in sheets()).
  void sheetFailed(int sheet);

 private:
  // What a render reads, fixed when a task is made: a change makes a new state, and the tasks
  // already made finish with theirs.
  struct SState {
    std::uint64_t generation = 0;
    std::vector<SCollectionSheet> sheets;
    std::vector<SSheetPlacement> placements;
    SMapPlane plane;
    int dispQuality = 0;
    std::array<std::uint32_t, 256> palette{};
    std::uint64_t paletteHash = 0;
    std::filesystem::path reducedFolder;
    int decodeThreads = 1;
    [[nodiscard]] bool areaAverage(double ratio) const;
  };
  using StatePtr = std::shared_ptr<const SState>;
  struct STileId {
    double ratio = 1.0;
    int tx = 0;
    int ty = 0;
    [[nodiscard]] std::string key(std::uint64_t generation) const;
  };
  struct SPixels {
    std::shared_ptr<const SheetImage> sheet;
    std::shared_ptr<const SReducedCopies> reduced;
    bool failed = false;
  };
  class CTileTask;
  friend class CTileTask;
  class CSheetTask;
  friend class CSheetTask;

  [[nodiscard]] StatePtr state() const;
  void replaceState(const std::function<void(SState&)>& change, bool keepTiles);
  void replaceStateLocked(const std::function<void(SState&)>& change, bool keepTiles);
  // Renders a tile on the calling thread (a worker), getting its sheets.
  void runTile(const StatePtr& state, const STileId& id);
  // The pixels of one sheet for a render at `ratio`. `decode`: read the sheet when it is not
  // cached (workers); otherwise only look in the cache.
  // `threads`: strips decoded at once (0: the state's decode threads).
  SPixels pixelsFor(const SState& state, int sheet, double ratio, bool decode, int threads = 0);
  // `keep`: the decoded sheet stays in the cache.
  std::shared_ptr<const SheetImage> decodedSheet(const SState& state, int sheet, bool decode, bool& failed,
                                                 int threads = 0, bool keep = true);
  std::shared_ptr<const SReducedCopies> reducedCopies(const SState& state, int sheet, bool decode, bool& failed,
                                                      int threads = 0);
  // Reads a sheet's reduced copies from disk into the cache when they are there and not yet in
  // memory; true when it did.
  bool preloadReduced(const SState& state, int sheet);
  // Puts reduced copies into the cache; true when they were kept.
  bool keepReduced(const std::string& key, const std::shared_ptr<const SReducedCopies>& copies);
  void noteFailure(const SState& state, int sheet, const std::string& reason);
  [[nodiscard]] bool failedBefore(const SState& state, int sheet) const;
  // The sheets meeting `box` as a render takes them. With `loading` (a placeholder), only what is
  // quick to draw: reduced copies at hand, else the sheet is listed there as loading.
  std::vector<SRenderSheet> renderSheets(const SState& state, const QRect& box, double ratio, bool decode,
                                         std::vector<SPixels>& held, std::vector<int>* loading);
  void drawNames(const SState& state, QImage& to, const QRect& box, const QPoint& toOrigin, double ratio,
                 const std::vector<int>& sheets);
  void announceTiles();
  void request(const StatePtr& state, const STileId& id);
  // Reads the sheets that the tiles `missing` need and that are not at hand yet, one task per
  // sheet ahead of the tiles, so that the workers read different sheets at once.
  void requestSheets(const StatePtr& state, const std::vector<STileId>& missing, double ratio,
                     std::set<std::string>& wanted);
  std::shared_ptr<std::mutex> sheetLock(const std::string& key);
  // A sheet image to decode into: one the cache dropped, when there is one (its memory is
  // mapped already), else a new one. Images the cache drops come back here, a few at most.
  std::shared_ptr<SheetImage> takeImage();

  // The picture shown for tiles not rendered yet, kept between paints (user-interface thread only).
  struct SPlaceholder {
    QImage image;
    QRect bounds;
    std::uint64_t generation = 0;
    double ratio = 0;
    int atHand = -1;
  };
  SPlaceholder m_placeholder;
  // Counts the reduced copies that came into the cache: a placeholder drawn before is stale.
  std::atomic<int> m_atHand{0};

  CSheetCache m_cache{std::size_t{1} << 30};
  QThreadPool m_pool;
  SMapRenderSettings m_settings;
  QFont m_labelFont;

  // Guards everything below. Never held while calling into the cache: images the cache drops
  // take it on their way back to the spares.
  mutable std::mutex m_lock;
  StatePtr m_state;
  std::map<std::string, CTileTask*> m_pending;  // asked for, not started
  std::map<std::string, CSheetTask*> m_pendingSheets;
  std::set<std::string> m_runningSheets;
  std::set<std::string> m_running;
  std::map<std::string, std::string> m_failures;  // by sheet file
  std::map<std::string, std::weak_ptr<std::mutex>> m_sheetLocks;  // one decode of a sheet at a time
  int m_reducedTotal = 0;
  int m_reducedDone = 0;
  std::vector<std::unique_ptr<SheetImage>> m_spareImages;
  bool m_closing = false;
  std::atomic<bool> m_announced{false};
  std::atomic<int> m_decodes{0};
};

}  // namespace mosaic
