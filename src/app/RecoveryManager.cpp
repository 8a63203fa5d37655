#include "app/RecoveryManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include "platform/FileLookup.h"
#include "trek/CRoute.h"
#include "trek/CTrekGroupList.h"
#include "trek/RecoveryFile.h"
#include "trek/TrekFile.h"
#include "trek/TrekFileIdentity.h"
#include "trek/TrekUndo.h"

namespace fs = std::filesystem;

namespace {

/// Logs this small are copied on the user-interface thread without memory made ready first.
constexpr std::size_t kSmallLog = 4096;
/// After a failed write the next try waits this long (the disk may be full).
constexpr std::int64_t kRetryMs = 30000;
/// Points a piece of a large log's copy; the turn ends after the piece that used up its time.
constexpr std::size_t kSlicePoints = 16384;

std::string makeOwnerId() {
  std::random_device rd;
  std::mt19937 gen(rd() ^ static_cast<unsigned>(QDateTime::currentMSecsSinceEpoch()));
  static constexpr char kHex[] = "0123456789abcdef";
  // Appended, not "p" + string: GCC 12 at -O3 warns falsely about that (-Wrestrict).
  std::string id = "p";
  id += std::to_string(platform::currentProcessId());
  id += '-';
  for (int i = 0; i < 8; ++i) id += kHex[gen() % 16];
  return id;
}

bool knownKind(const CTrekData& g) {
  return g.Kind() == CTrekData::kWaypointGroup || g.Kind() == CTrekData::kTrackLogGroup ||
         g.Kind() == CTrekData::kRouteGroup;
}

bool hasItems(const CTrekData& g) { return !g.Waypoints().empty() || !g.TrackLogs().empty() || !g.Routes().empty(); }

/// Whether `snap` can take a copy of `g` without new memory for large logs.
bool fits(const CTrekData& snap, const CTrekData& g) {
  for (std::size_t i = 0; i < g.TrackLogs().size(); ++i) {
    const std::size_t n = g.TrackLogs()[i]->Points().size();
    if (n < kSmallLog) continue;
    if (i >= snap.TrackLogs().size() || snap.TrackLogs()[i]->Points().capacity() < n) return false;
  }
  return true;
}

/// Copies every stored field of a waypoint, track log or route group into `snap`, reusing its
/// memory, except the points of large logs: those get their size here and their values in turns.
/// Routes are planned by hand and small: copied whole.
void copyStart(CTrekData& snap, const CTrekData& g) {
  snap.SetFilePath(g.FilePath());
  snap.SetGroupName(g.GroupName());
  snap.SetKind(g.Kind());
  snap.SetModified(g.IsModified());
  snap.SetLoadSucceeded(g.LoadSucceeded());
  auto& wps = snap.Waypoints();
  const auto& from = g.Waypoints();
  wps.resize(std::min(wps.size(), from.size()));
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (i < wps.size()) *wps[i] = *from[i];
    else wps.push_back(std::make_unique<CMarkerPoint>(*from[i]));
  }
  auto& routes = snap.Routes();
  const auto& fromRoutes = g.Routes();
  routes.resize(std::min(routes.size(), fromRoutes.size()));
  for (std::size_t i = 0; i < fromRoutes.size(); ++i) {
    if (i < routes.size()) *routes[i] = *fromRoutes[i];
    else routes.push_back(std::make_unique<CRoute>(*fromRoutes[i]));
  }
  auto& logs = snap.TrackLogs();
  const auto& fromLogs = g.TrackLogs();
  logs.resize(std::min(logs.size(), fromLogs.size()));
  for (std::size_t i = 0; i < fromLogs.size(); ++i) {
    const CTrackLog& log = *fromLogs[i];
    if (i >= logs.size()) logs.push_back(std::make_unique<CTrackLog>());
    CTrackLog& to = *logs[i];
    if (log.Points().size() < kSmallLog) {
      to = log;
      continue;
    }
    trek::STrackLogHeader::Of(log).ApplyTo(to);
    // Within the capacity the worker made ready: no new memory is touched here.
    to.Points().resize(log.Points().size());
  }
}

/// Makes memory ready for logs of `sizes` points, on the worker: first touches of new memory
/// are slow, and must not fall on the user-interface thread.
void grow(CTrekData& snap, const std::vector<std::size_t>& sizes) {
  auto& logs = snap.TrackLogs();
  while (logs.size() < sizes.size()) logs.push_back(std::make_unique<CTrackLog>());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    auto& points = logs[i]->Points();
    if (points.capacity() >= sizes[i]) continue;
    const std::size_t want = sizes[i] + sizes[i] / 8 + 64;
    points.reserve(want);
    points.resize(want);  // touches every page
    // Left at the size wanted, so that the copy does not make the points itself.
    points.resize(sizes[i]);
  }
}

class CSteadyClock : public IRecoveryClock {
 public:
  explicit CSteadyClock(QTimer& timer) : m_timer(timer) { m_elapsed.start(); }
  std::int64_t nowMs() override { return m_elapsed.elapsed(); }
  std::int64_t wallMs() override { return QDateTime::currentMSecsSinceEpoch(); }
  void wakeIn(std::int64_t delayMs, std::function<void()> wake) override {
    m_wake = std::move(wake);
    if (delayMs < 0) {
      m_timer.stop();
      return;
    }
    m_timer.start(static_cast<int>(std::min<std::int64_t>(delayMs, 24LL * 3600 * 1000)));
  }
  void fire() {
    if (m_wake) m_wake();
  }

 private:
  QTimer& m_timer;
  QElapsedTimer m_elapsed;
  std::function<void()> m_wake;
};

}  // namespace

fs::path DefaultRecoveryFolder() {
  const QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  return platform::pathFromUtf8(base.toStdString()) / "recovery";
}

// --- schedule

void CRecoverySchedule::noteEdit(std::int64_t nowMs) {
  m_lastEdit = nowMs;
  if (!m_pendingSince) m_pendingSince = nowMs;
}

std::optional<std::int64_t> CRecoverySchedule::due() const {
  if (!m_pendingSince) return std::nullopt;
  return std::min(m_lastEdit + m_timing.quietMs, *m_pendingSince + m_timing.maxDelayMs);
}

// --- worker

/// One thread running tasks one at a time in the order posted.
class CRecoveryManager::CWorker {
 public:
  CWorker() : m_thread([this] { run(); }) {}
  ~CWorker() {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
  }
  void post(std::function<void()> task) {
    {
      std::lock_guard lock(m_mutex);
      m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
  }

 private:
  void run() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
        // What was asked is done before the thread ends: a removal must not be lost.
        if (m_tasks.empty()) return;
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
      }
      task();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_tasks;
  bool m_stop = false;
  std::thread m_thread;
};

/// A group's copy as the manager knows it.
struct CRecoveryManager::SCopy {
  int serial = 0;
  const CTrekData* group = nullptr;
  fs::path file;
  bool onDisk = false;  ///< as the worker last reported
  bool dirty = true;    ///< changed since its last snapshot
  bool busy = false;    ///< the snapshot is with the worker
  std::shared_ptr<CTrekData> snapshot;
  QByteArray digest;   ///< of the body on the disk
  fs::path adoptedFrom;  ///< another instance's copy this group was restored from
  /// A copy into the snapshot in progress on the user-interface thread.
  struct SSlice {
    std::uint64_t generation = 0;  ///< of the trek data when it began; any change ends it
    std::vector<std::size_t> sizes;
    std::size_t log = 0;
    std::size_t point = 0;
    trek::SRecoveryHeader header;
    std::optional<trek::SFileIdentity> saved;
    bool whole = false;  ///< in one turn: editing kept breaking the turns off
  };
  std::unique_ptr<SSlice> slice;
  int restarts = 0;  ///< copies into the snapshot broken off by edits since the last one done
};

CRecoveryManager::CRecoveryManager(CTrekGroupList& groups, fs::path folder, QObject* parent)
    : QObject(parent), m_groups(groups), m_folder(std::move(folder)), m_owner(makeOwnerId()) {
  m_timer.setSingleShot(true);
  connect(&m_groups.UndoStack(), &QUndoStack::indexChanged, this, [this] { NoteChange(); });
}

CRecoveryManager::~CRecoveryManager() {
  m_timer.stop();
  m_worker.reset();
}

std::int64_t CRecoveryManager::now() {
  if (m_clock) return m_clock->nowMs();
  static QElapsedTimer steady;
  if (!steady.isValid()) steady.start();
  return steady.elapsed();
}

std::int64_t CRecoveryManager::wallNow() { return m_clock ? m_clock->wallMs() : QDateTime::currentMSecsSinceEpoch(); }

bool CRecoveryManager::Start() {
  if (active()) return true;
  std::error_code ec;
  fs::create_directories(m_folder, ec);
  if (!m_lock.tryLock(m_folder / (m_owner + ".lock"))) return false;
  m_worker = std::make_unique<CWorker>();
  if (!m_clock) {
    auto steady = std::make_unique<CSteadyClock>(m_timer);
    connect(&m_timer, &QTimer::timeout, this, [clock = steady.get()] { clock->fire(); });
    m_clock = steady.get();
    m_ownClock = std::move(steady);
  }
  reconcile();
  return true;
}

void CRecoveryManager::NoteChange() {
  if (!active()) return;
  ++m_generation;
  m_schedule.noteEdit(now());
  reconcile();
  for (auto& [serial, copy] : m_copies)
    if (copy->group->IsModified()) copy->dirty = true;
  arm();
}

void CRecoveryManager::NoteSaved() {
  if (active()) reconcile();
}

void CRecoveryManager::arm() {
  const std::optional<std::int64_t> due = m_schedule.due();
  if (!due) return;
  m_clock->wakeIn(std::max<std::int64_t>(0, *due - now()), [this] { RunDue(); });
}

void CRecoveryManager::reconcile() {
  // Groups that left the list: their copies go.
  for (auto it = m_copies.begin(); it != m_copies.end();) {
    if (m_groups.IndexOf(it->second->group) < 0) {
      removeCopy(*it->second);
      it = m_copies.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& g : m_groups.Groups()) {
    const auto found = std::find_if(m_copies.begin(), m_copies.end(),
                                    [&](const auto& c) { return c.second->group == g.get(); });
    SCopy* copy = found == m_copies.end() ? nullptr : found->second.get();
    if (!copy) {
      auto made = std::make_unique<SCopy>();
      made->serial = m_nextSerial++;
      made->group = g.get();
      made->file = m_folder / (m_owner + "-" + std::to_string(made->serial) + trek::kRecoveryExtension);
      made->dirty = g->IsModified() != 0;
      copy = made.get();
      m_copies.emplace(made->serial, std::move(made));
      continue;
    }
    if (!g->IsModified()) {
      copy->dirty = false;
      stopSlices(*copy);
      removeCopy(*copy);
      if (!copy->busy) copy->snapshot.reset();
    }
  }
}

void CRecoveryManager::removeCopy(SCopy& copy) {
  if (!copy.onDisk && !copy.busy && copy.adoptedFrom.empty()) return;
  const fs::path file = copy.file;
  const fs::path adopted = std::exchange(copy.adoptedFrom, {});
  post(copy.serial, [file, adopted] {
    std::error_code ec;
    fs::remove(file, ec);
    if (!adopted.empty()) fs::remove(adopted, ec);
    return SResult{EOutcome::Removed, {}, {}};
  });
  // Until the worker has done it the copy counts as there: a second removal is asked again.
  copy.digest.clear();
}

void CRecoveryManager::RunDue() {
  if (!active()) return;
  const std::optional<std::int64_t> due = m_schedule.due();
  if (!due) return;
  if (*due > now()) {
    arm();
    return;
  }
  m_schedule.taken();
  for (auto& [serial, copy] : m_copies)
    if (copy->dirty && !copy->busy) startCopy(*copy);
}

void CRecoveryManager::startCopy(SCopy& copy) {
  const CTrekData& g = *copy.group;
  if (!g.IsModified()) {
    copy.dirty = false;
    return;
  }
  if (g.FilePath().empty() && !hasItems(g)) {
    // A new empty group: nothing to lose.
    copy.dirty = false;
    removeCopy(copy);
    return;
  }
  trek::SRecoveryHeader header;
  header.owner = m_owner;
  header.processId = platform::currentProcessId();
  header.savedAtMs = wallNow();
  trek::DescribeGroup(g, header);
  const std::optional<trek::SFileIdentity> saved = m_groups.SavedIdentity(g);
  std::string bytes;
  if (knownKind(g)) {
    if (!copy.snapshot) copy.snapshot = std::make_shared<CTrekData>();
    if (!fits(*copy.snapshot, g)) {
      std::vector<std::size_t> sizes;
      for (const auto& log : g.TrackLogs()) sizes.push_back(log->Points().size());
      std::shared_ptr<CTrekData> snap = copy.snapshot;
      copy.busy = true;
      post(copy.serial, [snap, sizes] {
        grow(*snap, sizes);
        return SResult{EOutcome::Grown, {}, {}};
      });
      return;
    }
    copy.dirty = false;
    copy.busy = true;
    auto slice = std::make_unique<SCopy::SSlice>();
    slice->generation = m_generation;
    for (const auto& log : g.TrackLogs()) slice->sizes.push_back(log->Points().size());
    slice->header = std::move(header);
    slice->saved = saved;
    slice->whole = copy.restarts >= 2;
    copyStart(*copy.snapshot, g);
    copy.slice = std::move(slice);
    continueCopy(copy);
    return;
  } else {
    // Kinds this copier does not know are copied through their serialisation.
    bytes = WriteTrekBytes(g);
  }
  copy.dirty = false;
  copy.busy = true;
  postWrite(copy, nullptr, std::move(bytes), header, saved);
}

void CRecoveryManager::stopSlices(SCopy& copy) {
  if (!copy.slice) return;
  copy.slice.reset();
  copy.busy = false;
}

void CRecoveryManager::restartCopy(SCopy& copy) {
  // Edited between two turns: begun again at once with what is there now. After two such
  // restarts the copy is made in one turn, so that editing on and on still gets its copies.
  stopSlices(copy);
  ++copy.restarts;
  copy.dirty = true;
  startCopy(copy);
}

void CRecoveryManager::continueCopy(SCopy& copy) {
  SCopy::SSlice& s = *copy.slice;
  const CTrekData& g = *copy.group;
  const auto changed = [&] {
    return s.generation != m_generation || m_groups.IndexOf(&g) < 0 || g.TrackLogs().size() != s.sizes.size();
  };
  if (changed()) {
    restartCopy(copy);
    return;
  }
  QElapsedTimer turn;
  turn.start();
  CTrekData& snap = *copy.snapshot;
  while (s.log < s.sizes.size()) {
    const auto& from = g.TrackLogs()[s.log]->Points();
    auto& to = snap.TrackLogs()[s.log]->Points();
    if (from.size() != s.sizes[s.log] || to.size() != from.size()) {
      restartCopy(copy);
      return;
    }
    if (from.size() < kSmallLog) {
      ++s.log;
      s.point = 0;
      continue;
    }
    const std::size_t n = std::min(kSlicePoints, from.size() - s.point);
    std::copy(from.begin() + static_cast<std::ptrdiff_t>(s.point), from.begin() + static_cast<std::ptrdiff_t>(s.point + n),
              to.begin() + static_cast<std::ptrdiff_t>(s.point));
    s.point += n;
    if (s.point == from.size()) {
      ++s.log;
      s.point = 0;
    }
    if (!s.whole && s.log < s.sizes.size() && turn.elapsed() >= m_schedule.timing().sliceMs) {
      ++m_outstanding;
      QTimer::singleShot(0, this, [this, serial = copy.serial] {
        --m_outstanding;
        const auto it = m_copies.find(serial);
        if (it != m_copies.end() && it->second->slice) continueCopy(*it->second);
      });
      return;
    }
  }
  std::unique_ptr<SCopy::SSlice> done = std::move(copy.slice);
  copy.restarts = 0;
  postWrite(copy, copy.snapshot, {}, done->header, done->saved);
}

void CRecoveryManager::postWrite(SCopy& copy, std::shared_ptr<CTrekData> snapshot, std::string bytes,
                                 const trek::SRecoveryHeader& header, const std::optional<trek::SFileIdentity>& saved) {
  const fs::path file = copy.file;
  const fs::path adopted = copy.adoptedFrom;
  const QByteArray last = copy.onDisk ? copy.digest : QByteArray();
  post(copy.serial, [snapshot, bytes = std::move(bytes), header, saved, file, adopted, last]() mutable {
    std::string body = snapshot ? WriteTrekBytes(*snapshot) : std::move(bytes);
    if (body.empty()) return SResult{EOutcome::Failed, {}, "the group could not be serialised"};
    const trek::SFileIdentity id = trek::IdentityOfBytes(body);
    if (saved && id == *saved) {
      // Undone back to what its file holds: nothing to recover.
      std::error_code ec;
      fs::remove(file, ec);
      return SResult{EOutcome::Removed, {}, {}};
    }
    if (!last.isEmpty() && id.digest == last) return SResult{EOutcome::Unchanged, last, {}};
    const STrekWriteResult r = WriteFileAtomic(
        file, [&](QIODevice& device) { return trek::WriteRecoveryDevice(device, header, body); });
    if (!r.ok()) return SResult{EOutcome::Failed, {}, r.reason};
    if (!adopted.empty()) {
      std::error_code ec;
      fs::remove(adopted, ec);
    }
    return SResult{EOutcome::Written, id.digest, {}};
  });
  if (!adopted.empty()) copy.adoptedFrom.clear();
}

void CRecoveryManager::post(int serial, std::function<SResult()> task) {
  if (!m_worker) return;
  ++m_outstanding;
  m_worker->post([this, serial, task = std::move(task)] {
    const SResult result = task();
    QMetaObject::invokeMethod(this, [this, serial, result] { finished(serial, result); }, Qt::QueuedConnection);
  });
}

void CRecoveryManager::finished(int serial, const SResult& result) {
  --m_outstanding;
  const auto it = m_copies.find(serial);
  if (result.outcome == EOutcome::Written) {
    ++m_written;
    if (it != m_copies.end()) emit copyWritten(QString::fromStdString(platform::pathToUtf8(it->second->file)));
  }
  if (result.outcome == EOutcome::Failed) emit copyFailed(QString::fromStdString(result.reason));
  if (it == m_copies.end()) return;  // the group has gone; its removal was asked after this
  SCopy& copy = *it->second;
  copy.busy = false;
  switch (result.outcome) {
    case EOutcome::Written:
      copy.onDisk = true;
      copy.digest = result.digest;
      break;
    case EOutcome::Unchanged:
      break;
    case EOutcome::Removed:
      copy.onDisk = false;
      copy.digest.clear();
      break;
    case EOutcome::Failed:
      // The earlier copy, if any, is still whole on the disk. Tried again later.
      copy.dirty = true;
      m_schedule.noteEdit(now() + kRetryMs - m_schedule.timing().quietMs);
      arm();
      return;
    case EOutcome::Grown:
      // The memory is ready: copy now, the edits are overdue.
      startCopy(copy);
      return;
  }
  if (!copy.group->IsModified() && !copy.busy) copy.snapshot.reset();
  // Changed while it was written, and the pass that would take it has run already.
  if (copy.dirty && !m_schedule.pending()) startCopy(copy);
}

void CRecoveryManager::Adopt(const CTrekData& group, fs::path file) {
  if (!active()) return;
  reconcile();
  for (auto& [serial, copy] : m_copies) {
    if (copy->group != &group) continue;
    copy->adoptedFrom = std::move(file);
    copy->dirty = true;
    if (!copy->busy) startCopy(*copy);
    return;
  }
}

void CRecoveryManager::KeepOwnerLocks(std::vector<platform::CFileLock> locks) {
  for (auto& l : locks) m_ownerLocks.push_back(std::move(l));
}

void CRecoveryManager::Shutdown() {
  if (!active()) return;
  m_timer.stop();
  for (auto& [serial, copy] : m_copies) {
    copy->onDisk = copy->onDisk || copy->busy;
    stopSlices(*copy);
    removeCopy(*copy);
  }
  WaitIdle();
  m_copies.clear();
  m_worker.reset();
  for (auto& l : m_ownerLocks) l.release(true);
  m_ownerLocks.clear();
  m_lock.release(true);
}

void CRecoveryManager::WaitIdle() {
  while (m_outstanding > 0) {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    // The turns of a copy on this thread run from zero timers.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (m_outstanding > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool CRecoveryManager::CopyInProgress() const {
  return std::any_of(m_copies.begin(), m_copies.end(), [](const auto& c) { return c.second->slice != nullptr; });
}

fs::path CRecoveryManager::CopyPath(const CTrekData& group) const {
  for (const auto& [serial, copy] : m_copies)
    if (copy->group == &group && copy->onDisk) return copy->file;
  return {};
}
