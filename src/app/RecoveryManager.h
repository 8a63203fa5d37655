#pragma once
// Recovery copies of the modified trek groups, so that a crash, a power cut or a logout loses at
// most the last few seconds of edits.
//
// A copy is due a quiet time after the last edit and, while editing goes on, never later than
// the longest delay after the first edit it does not hold yet. The user-interface thread only
// copies the group into a snapshot whose memory the worker made ready, large logs in turns of a
// few milliseconds with the window's events in between (an edit meanwhile begins the copy
// again). A worker thread serialises it in the trek format, writes it beside the copy's name,
// syncs and renames it into place, one task at a time in the order asked, so a removal asked after a write always wins. A saved, closed or
// unmodified group, and a group undone back to what its file holds, has no copy; a clean exit
// leaves none. Each program instance holds a lock named after it while it runs: copies whose
// owner's lock can be taken belong to an instance that has ended.
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileLock.h"
#include "trek/RecoveryFile.h"
#include "trek/TrekFileIdentity.h"

class CTrekData;
class CTrekGroupList;

/// The folder of the copies: QStandardPaths::AppDataLocation + "/recovery".
[[nodiscard]] std::filesystem::path DefaultRecoveryFolder();

struct SRecoveryTiming {
  std::int64_t quietMs = 3000;     ///< after the last edit
  std::int64_t maxDelayMs = 30000;  ///< after the first edit not yet in a copy
  /// Work per turn of copying a large log on the user-interface thread (0: one piece a turn).
  std::int64_t sliceMs = 4;
};

/// When the next copy pass is due, from the edits noted.
class CRecoverySchedule {
 public:
  explicit CRecoverySchedule(SRecoveryTiming timing = {}) : m_timing(timing) {}
  void noteEdit(std::int64_t nowMs);
  /// A pass took the edits noted so far.
  void taken() { m_pendingSince.reset(); }
  [[nodiscard]] bool pending() const { return m_pendingSince.has_value(); }
  /// The time of the next pass; none while nothing is pending.
  [[nodiscard]] std::optional<std::int64_t> due() const;
  [[nodiscard]] const SRecoveryTiming& timing() const { return m_timing; }

 private:
  SRecoveryTiming m_timing;
  std::optional<std::int64_t> m_pendingSince;
  std::int64_t m_lastEdit = 0;
};

/// The manager's clock and timer; tests drive both by hand.
class IRecoveryClock {
 public:
  virtual ~IRecoveryClock() = default;
  /// Steady milliseconds.
  virtual std::int64_t nowMs() = 0;
  /// Milliseconds since 1970 UTC, for the copy's time.
  virtual std::int64_t wallMs() = 0;
  /// Calls `wake` once after `delayMs` (replacing an earlier request); a negative delay cancels.
  virtual void wakeIn(std::int64_t delayMs, std::function<void()> wake) = 0;
};

class CRecoveryManager : public QObject {
  Q_OBJECT
 public:
  /// `folder` is made when missing. Nothing is written before Start.
  CRecoveryManager(CTrekGroupList& groups, std::filesystem::path folder, QObject* parent = nullptr);
  /// Finishes what the worker was asked, then keeps the copies (as after a crash: the next start
  /// offers them) unless Shutdown ran.
  ~CRecoveryManager() override;
  CRecoveryManager(const CRecoveryManager&) = delete;
  CRecoveryManager& operator=(const CRecoveryManager&) = delete;

  /// Not owned; null for the real clock. Set before Start.
  void setClock(IRecoveryClock* clock) { m_clock = clock; }
  void setTiming(SRecoveryTiming timing) { m_schedule = CRecoverySchedule(timing); }

  /// Makes the folder and takes this instance's lock; false (and no copies) when it cannot.
  bool Start();
  [[nodiscard]] bool active() const { return m_lock.locked(); }
  /// This instance's name in the folder ("p<process>-<random>").
  [[nodiscard]] const std::string& OwnerId() const { return m_owner; }
  [[nodiscard]] const std::filesystem::path& Folder() const { return m_folder; }

  /// Trek data or the list of groups changed (an edit, an undo, a group opened or closed).
  void NoteChange();
  /// A group was saved: its copy goes.
  void NoteSaved();
  /// What the timer calls: a copy of every group changed since its last copy.
  void RunDue();
  /// A group of the list restored from another instance's copy `file`: it gets its own copy at
  /// once, and `file` goes when that is on the disk (or when the group is saved or closed).
  void Adopt(const CTrekData& group, std::filesystem::path file);
  /// Keeps the locks of ended instances whose copies were restored here; their lock files go
  /// at the clean exit.
  void KeepOwnerLocks(std::vector<platform::CFileLock> locks);
  /// The clean exit: every copy and the lock file removed.
  void Shutdown();
  /// Waits until the worker has done everything asked so far and its outcomes are applied.
  void WaitIdle();

  /// The copy of `group` on the disk now, empty when none.
  [[nodiscard]] std::filesystem::path CopyPath(const CTrekData& group) const;
  /// A group is being copied on this thread, in turns.
  [[nodiscard]] bool CopyInProgress() const;
  /// Copies written since Start.
  [[nodiscard]] int CopiesWritten() const { return m_written; }

 signals:
  void copyWritten(const QString& path);
  /// A copy could not be written; the previous one, if any, is left whole.
  void copyFailed(const QString& reason);

 private:
  struct SCopy;
  class CWorker;
  enum class EOutcome { Written, Unchanged, Removed, Failed, Grown };
  struct SResult {
    EOutcome outcome = EOutcome::Failed;
    QByteArray digest;
    std::string reason;
  };

  void reconcile();
  void arm();
  void startCopy(SCopy& copy);
  /// One turn of copying a group into its snapshot; the last turn hands it to the worker.
  void continueCopy(SCopy& copy);
  void stopSlices(SCopy& copy);
  void restartCopy(SCopy& copy);
  void postWrite(SCopy& copy, std::shared_ptr<CTrekData> snapshot, std::string bytes,
                 const trek::SRecoveryHeader& header, const std::optional<trek::SFileIdentity>& saved);
  void removeCopy(SCopy& copy);
  void post(int serial, std::function<SResult()> task);
  void finished(int serial, const SResult& result);
  [[nodiscard]] std::int64_t now();
  [[nodiscard]] std::int64_t wallNow();

  CTrekGroupList& m_groups;
  std::filesystem::path m_folder;
  std::string m_owner;
  platform::CFileLock m_lock;
  std::vector<platform::CFileLock> m_ownerLocks;
  IRecoveryClock* m_clock = nullptr;
  std::unique_ptr<IRecoveryClock> m_ownClock;
  QTimer m_timer;
  CRecoverySchedule m_schedule;
  std::map<int, std::unique_ptr<SCopy>> m_copies;
  int m_nextSerial = 1;
  std::uint64_t m_generation = 0;  ///< counts the changes noted
  int m_outstanding = 0;
  int m_written = 0;
  std::unique_ptr<CWorker> m_worker;
};
