#pragma once
// The recovery copies left by program instances that have ended (a crash, a power cut, a
// logout), the question at start-up, and restoring them.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileLock.h"
#include "platform/IPrompt.h"
#include "trek/RecoveryFile.h"

class CTrekGroupList;
class CRecoveryManager;

/// The instance a copy or lock file belongs to, from its name "<owner>-<n>.vrc" / "<owner>.lock".
[[nodiscard]] std::string RecoveryOwnerOf(const std::filesystem::path& file);

struct SRecoveryCandidate {
  std::filesystem::path file;  ///< where it lies now (for a damaged one: where it was kept aside)
  std::string id;              ///< the file name without its extension
  trek::SRecoveryRead read;
};

struct SRecoveryScan {
  std::vector<SRecoveryCandidate> copies;   ///< readable, owner gone; sorted by time
  std::vector<SRecoveryCandidate> damaged;  ///< unreadable, owner gone
  /// The ended owners' locks, held while their copies are dealt with, so that another
  /// instance starting meanwhile does not offer them too.
  std::vector<platform::CFileLock> owners;
};

/// The copies in `folder` whose instance has ended (its lock can be taken); the copies of
/// `ownOwner` and of running instances are left alone. With `keepDamagedAside`, damaged copies
/// are moved into the folder's "damaged" folder (never deleted).
[[nodiscard]] SRecoveryScan ScanRecoveryFolder(const std::filesystem::path& folder, const std::string& ownOwner,
                                               bool keepDamagedAside);

/// Every copy in `folder` and its "damaged" folder, for the command line: whether its owner runs
/// (looked at without keeping its lock) and whether it was kept aside.
struct SRecoveryEntry {
  SRecoveryCandidate copy;
  bool ownerRunning = false;
  bool keptAside = false;
};
[[nodiscard]] std::vector<SRecoveryEntry> ListRecoveryFolder(const std::filesystem::path& folder);

/// "変更が保存されていないトレックデータがあります..." with one line per copy (UTF-8).
[[nodiscard]] std::string RecoveryOfferText(const std::vector<SRecoveryCandidate>& copies);
/// The warning about damaged copies, naming each and where it was kept (UTF-8).
[[nodiscard]] std::string RecoveryDamagedText(const std::vector<SRecoveryCandidate>& damaged,
                                              const std::filesystem::path& keptIn);
/// The three buttons: "復元" (Yes), "破棄" (No), "後で" (Cancel).
[[nodiscard]] platform::SPromptRequest RecoveryOfferRequest(const std::vector<SRecoveryCandidate>& copies);

/// The start-up offer: tells of damaged copies, asks about the others and does as answered.
/// "復元" appends each as a modified group tied to its original file (`manager`, when given,
/// writes its own copy and then removes the old one); "破棄" removes them; "後で" keeps them for
/// the next start. Returns the groups restored.
int OfferRecovery(CTrekGroupList& groups, CRecoveryManager* manager, SRecoveryScan scan);
