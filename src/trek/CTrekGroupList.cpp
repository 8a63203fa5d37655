#include "trek/CTrekGroupList.h"

#include <QFile>
#include <algorithm>
#include <system_error>

#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/TrekFile.h"

using platform::EPromptAnswer;
using platform::EPromptButtons;
using platform::EPromptIcon;

namespace {

bool fileExists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

/// At most `maxBytes` bytes of CP932 text, never cutting a two-byte character.
std::string truncateCp932(const std::string& text, std::size_t maxBytes) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t len =
        platform::cp932::isLeadByte(static_cast<std::uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (i + len > maxBytes) break;
    i += len;
  }
  return text.substr(0, i);
}

/// Reads the group from the regular file at `path` and notes what the file held, from the same
/// open file: a program replacing it meanwhile does not slip in between.
STrekReadResult readWithIdentity(const std::filesystem::path& path, trek::SFileIdentity& identity) {
  STrekReadResult failed;
  std::error_code ec;
  // A FIFO would block the opening; the status is read without opening anything.
  if (!std::filesystem::is_regular_file(path, ec)) return failed;
  const std::string displayName = platform::pathToUtf8(path);
  QFile file(QString::fromStdString(displayName));
  if (!file.open(QIODevice::ReadOnly)) return failed;
  STrekReadResult r = ReadTrekDevice(file, displayName);
  if (!r.ok()) return r;
  const auto id = trek::IdentityOfDevice(file);
  if (!id) return failed;
  identity = *id;
  return r;
}

std::string saveFailedText(const std::filesystem::path& path, const STrekWriteResult& r, bool existed) {
  std::string text = "トレックデータファイル [ " + platform::pathToUtf8(path) + " ] を保存できませんでした。\r\n";
  switch (r.status) {
    case ETrekWriteStatus::CreateFailed:
      text += "保存先に書き込むことができません。フォルダと書き込みの権限を確認して下さい。";
      break;
    case ETrekWriteStatus::WriteFailed:
      text += "書き込みの途中でエラーが発生しました。ディスクの空き容量を確認して下さい。";
      break;
    case ETrekWriteStatus::CommitFailed:
    case ETrekWriteStatus::Exists:
    case ETrekWriteStatus::Ok:
      text += "新しいファイルで置き換えることができませんでした。";
      break;
  }
  if (existed) text += "\r\n元のファイルは変更されていません。";
  return text;
}

}  // namespace

// --- groups

CTrekData* CTrekGroupList::Group(int index) {
  return index >= 0 && index < Count() ? m_groups[static_cast<std::size_t>(index)].get() : nullptr;
}

const CTrekData* CTrekGroupList::Group(int index) const {
  return index >= 0 && index < Count() ? m_groups[static_cast<std::size_t>(index)].get() : nullptr;
}

int CTrekGroupList::IndexOf(const CTrekData* group) const {
  for (int i = 0; i < Count(); ++i) {
    if (m_groups[static_cast<std::size_t>(i)].get() == group) return i;
  }
  return -1;
}

int CTrekGroupList::AppendGroup(std::unique_ptr<CTrekData> group) {
  if (!group) return -1;
  m_groups.push_back(std::move(group));
  NotifyDataChanged();
  return Count() - 1;
}

void CTrekGroupList::NotifyDataChanged() {
  if (m_listener) m_listener->trekDataChanged();
}

// --- selection

CMarkerPoint* CTrekGroupList::SelectedWaypoint() const {
  return m_selection.kind == kTrekWaypoint ? m_selection.waypoint : nullptr;
}

CTrackLog* CTrekGroupList::SelectedTrackLog() const {
  return m_selection.kind == kTrekTrackLog || m_selection.kind == kTrekTrackPoint ? m_selection.trackLog : nullptr;
}

CTrackPoint* CTrekGroupList::SelectedTrackPoint() const {
  if (m_selection.kind != kTrekTrackPoint || !m_selection.trackLog) return nullptr;
  auto& points = m_selection.trackLog->Points();
  if (m_selection.pointIndex < 0 || static_cast<std::size_t>(m_selection.pointIndex) >= points.size()) return nullptr;
  return &points[static_cast<std::size_t>(m_selection.pointIndex)];
}

bool CTrekGroupList::contains(int groupIndex, const CMarkerPoint* point) const {
  const CTrekData* g = Group(groupIndex);
  if (!g || !point) return false;
  const auto& list = g->Waypoints();
  return std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.get() == point; });
}

bool CTrekGroupList::contains(int groupIndex, const CTrackLog* log) const {
  const CTrekData* g = Group(groupIndex);
  if (!g || !log) return false;
  const auto& list = g->TrackLogs();
  return std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.get() == log; });
}

CRoute* CTrekGroupList::SelectedRoute() const {
  return m_selection.kind == kTrekRoute || m_selection.kind == kTrekRoutePoint ? m_selection.route : nullptr;
}

bool CTrekGroupList::contains(int groupIndex, const CRoute* route) const {
  const CTrekData* g = Group(groupIndex);
  if (!g || !route) return false;
  const auto& list = g->Routes();
  return std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.get() == route; });
}

bool CTrekGroupList::Select(const STrekSelection& request) {
  if (m_locked) return false;
  if (m_trackLogEditing &&
      !(request.groupIndex == m_selection.groupIndex && request.trackLog && request.trackLog == m_selection.trackLog &&
        (request.kind == kTrekTrackLog || request.kind == kTrekTrackPoint))) {
    return false;
  }
  if (request.groupIndex == -1) {
    setSelection({});
    return true;
  }
  const CTrekData* g = Group(request.groupIndex);
  if (!g) return false;
  STrekSelection s;
  s.groupIndex = request.groupIndex;
  s.kind = request.kind == kTrekNone ? g->Kind() : request.kind;
  switch (s.kind) {
    case kTrekWaypointGroup:
    case kTrekTrackLogGroup:
    case kTrekRouteGroup:
      if (g->Kind() != s.kind) return false;
      break;
    case kTrekRoute:
      if (!contains(s.groupIndex, request.route)) return false;
      s.route = request.route;
      break;
    case kTrekRoutePoint:
      if (!contains(s.groupIndex, request.route) || request.pointIndex < 0 ||
          static_cast<std::size_t>(request.pointIndex) >= request.route->points.size()) {
        return false;
      }
      s.route = request.route;
      s.pointIndex = request.pointIndex;
      break;
    case kTrekWaypoint:
      if (!contains(s.groupIndex, request.waypoint)) return false;
      s.waypoint = request.waypoint;
      break;
    case kTrekTrackLog:
      if (!contains(s.groupIndex, request.trackLog)) return false;
      s.trackLog = request.trackLog;
      break;
    case kTrekTrackPoint:
      if (!contains(s.groupIndex, request.trackLog) || request.pointIndex < 0 ||
          static_cast<std::size_t>(request.pointIndex) >= request.trackLog->Points().size()) {
        return false;
      }
      s.trackLog = request.trackLog;
      s.pointIndex = request.pointIndex;
      break;
    default:
      return false;
  }
  setSelection(s);
  return true;
}

void CTrekGroupList::ClearSelection() { setSelection({}); }

void CTrekGroupList::HoldSelection(bool item) {
  m_hold = {};
  m_hold.group = Group(m_selection.groupIndex);
  if (!item) return;
  m_hold.waypoint = SelectedWaypoint();
  m_hold.trackLog = SelectedTrackLog();
}

bool CTrekGroupList::CanCloseSelectedGroup() const {
  const CTrekData* group = Group(m_selection.groupIndex);
  return group && group != m_hold.group;
}

bool CTrekGroupList::CanRemoveSelectedWaypoint() const {
  const CMarkerPoint* point = SelectedWaypoint();
  return point && point != m_hold.waypoint;
}

bool CTrekGroupList::CanRemoveSelectedTrackLog() const {
  const CTrackLog* log = SelectedTrackLog();
  return log && log != m_hold.trackLog;
}

void CTrekGroupList::setSelection(const STrekSelection& selection) {
  m_selection = selection;
  notifySelection();
}

void CTrekGroupList::notifySelection() {
  if (m_listener) m_listener->trekSelectionChanged(m_selection);
}

void CTrekGroupList::markModified(CTrekData& group) { group.SetModified(1); }

// --- files

std::string CTrekGroupList::OpenFailedText(const std::filesystem::path& path) {
  return "ファイル [ " + platform::pathToUtf8(path) + " ] を開く事ができませんでした。";
}

int CTrekGroupList::OpenTrekFile(const std::filesystem::path& path) {
  const std::string pathText = platform::pathToUtf8(path);
  for (const auto& g : m_groups) {
    if (g->FilePath() == pathText) {
      platform::prompt().inform("トレックデータファイル [" + pathText + "は既に開かれています。");
      return 1;
    }
  }
  if (!trek::HasTrekExtension(path)) return 0;

  trek::SFileIdentity identity;
  STrekReadResult r = readWithIdentity(path, identity);
  if (!r.ok() || !r.group) {
    if (!r.message.empty()) platform::prompt().error(r.message);
    return 0;
  }
  CTrekData& group = *r.group;
  group.SetFilePath(pathText);
  m_disk[&group] = {pathText, identity, std::nullopt};
  m_groups.push_back(std::move(r.group));
  NotifyDataChanged();
  if (group.IsModified()) {
    // An old file was converted: rewrite it now in the current version. The writer replaces
    // the old file only once the new one is complete; if that fails the group stays modified.
    (void)SaveTrekFile(path, group);
  }
  return 1;
}

bool CTrekGroupList::SaveTrekFile(const std::filesystem::path& path, CTrekData& group) {
  if (!confirmOverwrite(path, group)) return false;
  const bool existed = fileExists(path);
  const STrekWriteResult r = WriteTrekFileAtomic(path, group);
  if (!r.ok()) {
    platform::prompt().error(saveFailedText(path, r, existed));
    return false;
  }
  group.SetModified(0);
  // What the file now holds are exactly these bytes (the writer writes them in one go).
  m_disk[&group] = {platform::pathToUtf8(path), trek::IdentityOfBytes(WriteTrekBytes(group)), std::nullopt};
  if (m_listener) m_listener->trekGroupSaved(group);
  return true;
}

std::optional<trek::SFileIdentity> CTrekGroupList::SavedIdentity(const CTrekData& group) const {
  const auto rec = m_disk.find(&group);
  if (rec == m_disk.end() || rec->second.path != group.FilePath()) return std::nullopt;
  return rec->second.known;
}

bool CTrekGroupList::confirmOverwrite(const std::filesystem::path& path, const CTrekData& group) {
  const auto rec = m_disk.find(&group);
  if (rec == m_disk.end() || rec->second.path != platform::pathToUtf8(path)) return true;
  const std::optional<trek::SFileIdentity> now = trek::IdentityOfFile(path);
  if (!now || *now == rec->second.known || now == rec->second.asked) return true;
  return platform::prompt().ask({OverwriteChangedText(path), EPromptIcon::Question, EPromptButtons::YesNo,
                                 EPromptAnswer::No, "Vantoria"}) == EPromptAnswer::Yes;
}

std::filesystem::path CTrekGroupList::AskSavePath(const CTrekData& group) {
  platform::SFileDialogRequest request;
  const char* ext = nullptr;
  if (group.Kind() == CTrekData::kWaypointGroup) {
    request.filter = "ウェイポイントファイル(*.pmd)|*.pmd||";
    ext = ".pmd";
  } else if (group.Kind() == CTrekData::kTrackLogGroup) {
    request.filter = "トラックログファイル(*.ptd)|*.ptd||";
    ext = ".ptd";
  } else if (group.Kind() == CTrekData::kRouteGroup) {
    request.filter = "ルートファイル(*.prd)|*.prd||";
    ext = ".prd";
  } else {
    return {};
  }
  request.save = true;
  request.overwritePrompt = false;  // asked below, after the extension is forced
  request.defaultExt.clear();       // the extension is forced below; the dialog must not add one
  request.initialDir = platform::pathFromUtf8(platform::profile().readString("FileDlgSettings", "LoadPoint", "C:\\"));
  request.initialName = platform::cp932::toUtf8Lossy(truncateCp932(group.GroupName(), 259));

  for (;;) {
    const platform::SFileDialogResult result = platform::fileDialog().run(request);
    if (!result.accepted || result.paths.empty()) return {};
    const std::filesystem::path chosen = trek::ForceExtension(result.paths.front(), ext);
    if (!fileExists(chosen)) return chosen;
    const std::string typed =
        result.typedName.empty() ? platform::pathToUtf8(result.paths.front().filename()) : result.typedName;
    const EPromptAnswer a = platform::prompt().ask(
        {"トレックデータファイル [ " + typed + " ] は、すでに存在します。\r\n上書きしますか？", EPromptIcon::Question,
         EPromptButtons::YesNoCancel, {}, "Vantoria"});
    if (a == EPromptAnswer::Yes) return chosen;
    if (a != EPromptAnswer::No) return {};
  }
}

bool CTrekGroupList::saveAsOwnFile(const std::filesystem::path& path, CTrekData& group) {
  const std::string previous = group.FilePath();
  const std::string chosen = platform::pathToUtf8(path);
  // Set first: the file records the path it was saved under.
  group.SetFilePath(chosen);
  if (!SaveTrekFile(path, group)) {
    group.SetFilePath(previous);
    return false;
  }
  if (chosen != previous) NotifyDataChanged();
  return true;
}

bool CTrekGroupList::SaveGroupAs(CTrekData& group) {
  const std::filesystem::path path = AskSavePath(group);
  if (path.empty()) return false;
  return saveAsOwnFile(path, group);
}

bool CTrekGroupList::SaveGroup(CTrekData& group) {
  if (!group.FilePath().empty()) {
    const std::filesystem::path path = platform::pathFromUtf8(group.FilePath());
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) return SaveTrekFile(path, group);
  }
  return SaveGroupAs(group);
}

bool CTrekGroupList::ConfirmClose(CTrekData& group) {
  if (!group.IsModified()) return true;
  const EPromptAnswer a = platform::prompt().ask(
      {"トレックデータファイル[" + platform::cp932::toUtf8Lossy(group.GroupName()) +
           "]は変更されています。\r\n保存しますか?",
       EPromptIcon::Question, EPromptButtons::YesNoCancel, {}, "Vantoria"});
  if (a == EPromptAnswer::No) return true;
  if (a != EPromptAnswer::Yes) return false;
  // A group whose save failed must stay open, or its changes would be lost.
  if (!group.FilePath().empty()) return SaveTrekFile(platform::pathFromUtf8(group.FilePath()), group);
  const std::filesystem::path path = AskSavePath(group);
  return !path.empty() && saveAsOwnFile(path, group);
}

bool CTrekGroupList::CloseSelectedGroup() {
  const int index = m_selection.groupIndex;
  CTrekData* group = Group(index);
  if (!group || !CanCloseSelectedGroup() || !ConfirmClose(*group)) return false;
  // The other groups' entries stay: no entry changes more than one group.
  removeEntries([group](const CTrekUndoEntry& e) { return e.group() == group; });
  for (int i = 0; i < m_undo.count(); ++i) entryAt(i)->forgetGroup(group);
  m_disk.erase(group);
  m_groups.erase(m_groups.begin() + index);
  m_selection = {};
  NotifyDataChanged();
  notifySelection();
  return true;
}

bool CTrekGroupList::ConfirmCloseAll() {
  for (const auto& g : m_groups) {
    if (!ConfirmClose(*g)) return false;
  }
  return true;
}

// --- files written by other programs

std::string CTrekGroupList::ChangedOnDiskText(const std::filesystem::path& path) {
  return platform::pathToUtf8(path) + "は他のプログラムによって変更されました。読み込み直しますか?";
}

std::string CTrekGroupList::OverwriteChangedText(const std::filesystem::path& path) {
  return platform::pathToUtf8(path) + "は他のプログラムによって変更されています。上書きしますか?";
}

bool CTrekGroupList::inUse(const CTrekData& group) const {
  return m_hold.group == &group || m_session.group == &group || scopeFor(group) != nullptr;
}

CTrekGroupList::EDiskCheck CTrekGroupList::CheckFileOnDisk(int groupIndex) {
  CTrekData* group = Group(groupIndex);
  if (!group) return EDiskCheck::Unchanged;
  const auto rec = m_disk.find(group);
  if (rec == m_disk.end() || rec->second.path != group->FilePath()) return EDiskCheck::Unchanged;
  const std::filesystem::path path = platform::pathFromUtf8(rec->second.path);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    // Only this program has the group now.
    group->SetModified(1);
    return EDiskCheck::Missing;
  }
  const std::optional<trek::SFileIdentity> now = trek::IdentityOfFile(path);
  if (!now || *now == rec->second.known || now == rec->second.asked) return EDiskCheck::Unchanged;
  if (inUse(*group)) return EDiskCheck::Busy;
  // Noted before asking: the same change is not asked about again, whatever the answer.
  rec->second.asked = now;
  const EPromptAnswer a = platform::prompt().ask(
      {ChangedOnDiskText(path), EPromptIcon::Question, EPromptButtons::YesNo, {}, "Vantoria"});
  if (a == EPromptAnswer::Yes) {
    (void)ReloadGroup(groupIndex);
  } else {
    // This version differs from the file now: closing offers to save it.
    group->SetModified(1);
  }
  return EDiskCheck::Changed;
}

bool CTrekGroupList::ReloadGroup(int groupIndex) {
  CTrekData* group = Group(groupIndex);
  if (!group || group->FilePath().empty() || inUse(*group)) return false;
  const std::filesystem::path path = platform::pathFromUtf8(group->FilePath());
  trek::SFileIdentity identity;
  STrekReadResult r = readWithIdentity(path, identity);
  if (!r.ok() || !r.group) {
    if (!r.message.empty()) platform::prompt().error(r.message);
    platform::prompt().error(OpenFailedText(path));
    group->SetModified(1);
    return false;
  }
  // The entries of the group name items that are about to go.
  removeEntries([group](const CTrekUndoEntry& e) { return e.group() == group; });
  for (int i = 0; i < m_undo.count(); ++i) entryAt(i)->forgetGroup(group);
  // Filled in place: the group keeps its address and its place in the list.
  const std::string filePath = group->FilePath();
  group->Clear();
  group->SetFilePath(filePath);
  group->SetGroupName(r.group->GroupName());
  group->SetKind(r.group->Kind());
  group->Waypoints() = std::move(r.group->Waypoints());
  group->TrackLogs() = std::move(r.group->TrackLogs());
  group->Routes() = std::move(r.group->Routes());
  group->SetLoadSucceeded(1);
  group->SetModified(r.converted ? 1 : 0);
  m_disk[group] = {filePath, identity, std::nullopt};
  const bool selected = m_selection.groupIndex == groupIndex;
  if (selected) {
    m_selection = {};
    m_selection.kind = group->Kind();
    m_selection.groupIndex = groupIndex;
  }
  NotifyDataChanged();
  if (selected) notifySelection();
  return true;
}
