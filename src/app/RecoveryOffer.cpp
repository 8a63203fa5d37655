#include "app/RecoveryOffer.h"

#include <QDateTime>
#include <QString>
#include <algorithm>
#include <map>
#include <system_error>

#include "app/RecoveryManager.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "trek/CTrekGroupList.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockExtension = ".lock";
constexpr const char* kDamagedFolder = "damaged";
/// Copies named one by one in the question; the rest are counted.
constexpr std::size_t kListedCopies = 10;

bool isCopy(const fs::directory_entry& e) {
  std::error_code ec;
  return e.is_regular_file(ec) && e.path().extension() == trek::kRecoveryExtension;
}

/// A free name in `folder` for `name`: the name itself, else with "-1", "-2"... before its extension.
fs::path freeName(const fs::path& folder, const fs::path& name) {
  std::error_code ec;
  fs::path target = folder / name;
  for (int i = 1; fs::exists(target, ec) && i < 1000; ++i)
    target = folder / (name.stem().string() + "-" + std::to_string(i) + name.extension().string());
  return target;
}

std::string timeText(std::int64_t ms) {
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toStdString();
}

std::string countText(const trek::SRecoveryHeader& h) {
  if (h.kind == 1) return "ウェイポイント " + std::to_string(h.waypoints) + " 個";
  if (h.kind == 3)
    return "トラックログ " + std::to_string(h.trackLogs) + " 本 (トラックポイント " + std::to_string(h.trackPoints) + " 個)";
  return std::to_string(std::uint64_t{h.waypoints} + h.trackLogs) + " 項目";
}

SRecoveryCandidate readCandidate(const fs::path& file) {
  SRecoveryCandidate c;
  c.file = file;
  c.id = file.stem().string();
  c.read = trek::ReadRecoveryFile(file);
  return c;
}

}  // namespace

std::string RecoveryOwnerOf(const fs::path& file) {
  const std::string stem = file.stem().string();
  if (file.extension() == kLockExtension) return stem;
  const std::size_t dash = stem.rfind('-');
  return dash == std::string::npos ? stem : stem.substr(0, dash);
}

SRecoveryScan ScanRecoveryFolder(const fs::path& folder, const std::string& ownOwner, bool keepDamagedAside) {
  SRecoveryScan scan;
  std::error_code ec;
  std::map<std::string, std::vector<fs::path>> byOwner;
  std::map<std::string, std::vector<fs::path>> leftovers;  // temporary files of unfinished writes
  std::vector<std::string> lockOwners;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (isCopy(e)) {
      byOwner[RecoveryOwnerOf(e.path())].push_back(e.path());
    } else if (e.path().extension() == kLockExtension) {
      lockOwners.push_back(e.path().stem().string());
    } else if (const std::size_t at = name.find(std::string(trek::kRecoveryExtension) + ".tmp-"); at != std::string::npos) {
      leftovers[RecoveryOwnerOf(fs::path(name.substr(0, at + 4)))].push_back(e.path());
    }
  }
  for (const std::string& owner : lockOwners) byOwner.try_emplace(owner);
  for (auto& [owner, files] : byOwner) {
    if (owner == ownOwner) continue;
    platform::CFileLock lock;
    // Held by a running instance: its copies are its own.
    if (!lock.tryLock(folder / (owner + kLockExtension))) continue;
    for (const fs::path& tmp : leftovers[owner]) fs::remove(tmp, ec);
    if (files.empty()) {
      // A lock file left by an instance that ended with nothing to recover.
      lock.release(true);
      continue;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      SRecoveryCandidate c = readCandidate(file);
      if (c.read.ok()) {
        scan.copies.push_back(std::move(c));
        continue;
      }
      if (keepDamagedAside) {
        const fs::path aside = folder / kDamagedFolder;
        fs::create_directories(aside, ec);
        const fs::path target = freeName(aside, file.filename());
        fs::rename(file, target, ec);
        if (!ec) c.file = target;
      }
      scan.damaged.push_back(std::move(c));
    }
    scan.owners.push_back(std::move(lock));
  }
  std::stable_sort(scan.copies.begin(), scan.copies.end(), [](const auto& a, const auto& b) {
    return a.read.header.savedAtMs < b.read.header.savedAtMs;
  });
  return scan;
}

std::vector<SRecoveryEntry> ListRecoveryFolder(const fs::path& folder) {
  std::vector<SRecoveryEntry> out;
  std::error_code ec;
  std::vector<fs::path> files;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
    if (isCopy(e)) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::map<std::string, bool> running;
  for (const fs::path& file : files) {
    const std::string owner = RecoveryOwnerOf(file);
    if (!running.count(owner)) {
      platform::CFileLock probe;
      running[owner] = !probe.tryLock(folder / (owner + kLockExtension));
      // Only looked at: a lock file made here for the look goes again.
      probe.release(false);
    }
    out.push_back({readCandidate(file), running[owner], false});
  }
  std::vector<fs::path> aside;
  for (const fs::directory_entry& e : fs::directory_iterator(folder / kDamagedFolder, ec))
    if (isCopy(e)) aside.push_back(e.path());
  std::sort(aside.begin(), aside.end());
  for (const fs::path& file : aside) out.push_back({readCandidate(file), false, true});
  return out;
}

std::string RecoveryOfferText(const std::vector<SRecoveryCandidate>& copies) {
  std::string text = "前回Vantoriaが正しく終了しなかったため、保存されていない変更が残っています。\r\n\r\n";
  for (std::size_t i = 0; i < copies.size() && i < kListedCopies; ++i) {
    const trek::SRecoveryHeader& h = copies[i].read.header;
    text += "[ " + platform::cp932::toUtf8Lossy(h.groupName) + " ]  ";
    text += h.filePath.empty() ? std::string("(ファイルに保存されていません)") : h.filePath;
    text += "\r\n    " + timeText(h.savedAtMs) + "  " + countText(h) + "\r\n";
  }
  if (copies.size() > kListedCopies) text += "ほか " + std::to_string(copies.size() - kListedCopies) + " 件\r\n";
  text += "\r\n「復元」: 変更された状態で開きます。「破棄」: 変更を捨てます。「後で」: 次回の起動時にもう一度確認します。";
  return text;
}

std::string RecoveryDamagedText(const std::vector<SRecoveryCandidate>& damaged, const fs::path& keptIn) {
  std::string text = "次の復元用のコピーは壊れているため、復元できません。\r\n";
  for (const SRecoveryCandidate& c : damaged) {
    text += c.file.filename().string();
    if (!c.read.header.groupName.empty()) text += " [ " + platform::cp932::toUtf8Lossy(c.read.header.groupName) + " ]";
    text += " : " + c.read.reason + "\r\n";
  }
  text += "ファイルは [ " + platform::pathToUtf8(keptIn) + " ] に残してあります。";
  return text;
}

platform::SPromptRequest RecoveryOfferRequest(const std::vector<SRecoveryCandidate>& copies) {
  platform::SPromptRequest r;
  r.text = RecoveryOfferText(copies);
  r.icon = platform::EPromptIcon::Question;
  r.buttons = platform::EPromptButtons::YesNoCancel;
  r.defaultButton = platform::EPromptAnswer::Yes;
  r.buttonTexts = {"復元", "破棄", "後で"};
  return r;
}

int OfferRecovery(CTrekGroupList& groups, CRecoveryManager* manager, SRecoveryScan scan) {
  if (!scan.damaged.empty()) {
    fs::path keptIn = scan.damaged.front().file.parent_path();
    platform::prompt().warn(RecoveryDamagedText(scan.damaged, keptIn));
  }
  if (scan.copies.empty()) {
    // Only damaged ones: kept aside, and their owners are done with.
    for (auto& l : scan.owners) l.release(true);
    return 0;
  }
  const platform::EPromptAnswer a = platform::prompt().ask(RecoveryOfferRequest(scan.copies));
  std::error_code ec;
  if (a == platform::EPromptAnswer::No) {
    for (const SRecoveryCandidate& c : scan.copies) fs::remove(c.file, ec);
    for (auto& l : scan.owners) l.release(true);
    return 0;
  }
  if (a != platform::EPromptAnswer::Yes) {
    for (auto& l : scan.owners) l.release(false);
    return 0;
  }
  int restored = 0;
  for (SRecoveryCandidate& c : scan.copies) {
    std::unique_ptr<CTrekData> group = std::move(c.read.group);
    // Tied to its file: "上書き保存" writes where the user meant, and closing asks to save.
    group->SetFilePath(c.read.header.filePath);
    group->SetModified(1);
    group->SetLoadSucceeded(1);
    const CTrekData* added = group.get();
    groups.AppendGroup(std::move(group));
    ++restored;
    if (manager && manager->active()) manager->Adopt(*added, c.file);
  }
  // Without copies of this instance the old files stay, to be offered again.
  if (manager && manager->active()) manager->KeepOwnerLocks(std::move(scan.owners));
  else for (auto& l : scan.owners) l.release(false);
  return restored;
}
