#include "trek/CTrekData.h"

#include <cstring>

#include "platform/IPrompt.h"
#include "trek/CTrekArchive.h"

namespace {

// The least bytes a list element takes in a file: its tag and its shortest data.
constexpr std::uint64_t kMinWaypointBytes = 2 + 12 + 12 + 4 + 7 + 4;
constexpr std::uint64_t kMinTrackLogBytes = 2 + 4 + 1 + 4 + 1 + 1 + 4 + 1 + 1 + 2;
constexpr std::uint64_t kMinRouteBytes = 2 + 4 + 1 + 1 + 1 + 1 + 4 + 2;

constexpr const char* kAskConvert =
    "このポイントファイルは、古いバージョンのVantoriaで作成されているため、読み込むことができません。\r\n"
    "ポイントファイルを新しいバージョンに変換して読み込みますか?\r\n"
    "ファイルを変換すると、古いバージョンのVantoriaでは読み込む事が出来なくなります。";
constexpr const char* kAskTokyoDatum =
    "このポイントファイルの経緯度データには、測地系の情報が含まれていません。\r\n"
    "すべてTkokyo測地系の経緯度として解釈します。\r\n"
    "よろしいですか?";

bool askYesNo(const char* text) {
  platform::SPromptRequest r;
  r.text = text;
  r.icon = platform::EPromptIcon::Question;
  r.buttons = platform::EPromptButtons::YesNo;
  return platform::prompt().ask(r) == platform::EPromptAnswer::Yes;
}

template <class T>
void readList(CTrekArchive& ar, std::vector<std::unique_ptr<T>>& list, std::uint64_t minBytes) {
  const std::uint32_t count = ar.ReadCount(minBytes);
  if (ar.Failed()) return;
  list.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint16_t schema = 0;
    if (!ar.ReadElementTag(T::kRuntimeClass, schema)) return;
    auto item = std::make_unique<T>();
    item->Serialize(ar);
    if (ar.Failed()) return;
    list.push_back(std::move(item));
  }
}

template <class T>
void writeList(CTrekArchive& ar, const std::vector<std::unique_ptr<T>>& list) {
  ar.WriteCount(list.size());
  for (const auto& item : list) {
    ar.WriteElementTag(T::kRuntimeClass);
    item->Serialize(ar);
    if (ar.Failed()) return;
  }
}

template <class T>
bool sameList(const std::vector<std::unique_ptr<T>>& a, const std::vector<std::unique_ptr<T>>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!(*a[i] == *b[i])) return false;
  }
  return true;
}

}  // namespace

const STrekClass CTrekData::kRuntimeClass = {"CTrekData", 3, nullptr, &CTrekObject::kRuntimeClass};

void CTrekData::Clear() {
  m_filePath.clear();
  m_groupName.clear();
  m_waypoints.clear();
  m_trackLogs.clear();
  m_routes.clear();
  m_loadSucceeded = 0;
  m_modified = 0;
}

bool CTrekData::SameContent(const CTrekData& o) const {
  return m_filePath == o.m_filePath && m_groupName == o.m_groupName && m_kind == o.m_kind &&
         m_loadSucceeded == o.m_loadSucceeded && m_modified == o.m_modified && sameList(m_waypoints, o.m_waypoints) &&
         sameList(m_trackLogs, o.m_trackLogs) && sameList(m_routes, o.m_routes);
}

void CTrekData::Serialize(CTrekArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteString(kSignature);
    ar.WriteInt(kFileVersion);
    ar.WriteString(m_groupName);
    ar.WriteString(m_filePath);
    // The items are written through const pointers in effect: Serialize only reads them here.
    writeList(ar, m_waypoints);
    writeList(ar, m_trackLogs);
    ar.WriteInt(m_kind);
    // Waypoint and track log files stay exactly as they always were.
    if (m_kind == kRouteGroup) writeList(ar, m_routes);
    return;
  }

  m_loadSucceeded = 0;
  m_readOutcome = EReadOutcome::None;
  m_readVersion = 0;
  const std::string signature = ar.ReadString();
  if (ar.Failed()) return;
  if (signature != kSignature) {
    m_readOutcome = EReadOutcome::NotTrekFile;
    return;
  }
  const std::int32_t version = ar.ReadInt();
  if (ar.Failed()) return;
  m_readVersion = version;
  if (version > kFileVersion) {
    m_readOutcome = EReadOutcome::NewerVersion;
    return;
  }
  if (version < 1) {
    m_readOutcome = EReadOutcome::NotTrekFile;
    return;
  }
  if (version == kFileVersion) {
    m_groupName = ar.ReadString();
    m_filePath = ar.ReadString();
    readList(ar, m_waypoints, kMinWaypointBytes);
    readList(ar, m_trackLogs, kMinTrackLogBytes);
    m_kind = ar.ReadInt();
    if (ar.Failed()) return;
    if (m_kind == kRouteGroup) {
      readList(ar, m_routes, kMinRouteBytes);
      if (ar.Failed()) return;
    }
    const bool fits = (m_kind == kWaypointGroup && m_trackLogs.empty()) ||
                      (m_kind == kTrackLogGroup && m_waypoints.empty()) ||
                      (m_kind == kRouteGroup && m_waypoints.empty() && m_trackLogs.empty());
    if (!fits) {
      m_readOutcome = EReadOutcome::BadContent;
      return;
    }
    m_loadSucceeded = 1;
    return;
  }
  if (!askYesNo(kAskConvert) || !askYesNo(kAskTokyoDatum)) {
    m_readOutcome = EReadOutcome::ConversionRefused;
    return;
  }
  m_groupName = ar.ReadString();
  m_filePath = ar.ReadString();
  readList(ar, m_waypoints, kMinWaypointBytes);
  if (ar.Failed()) return;
  m_trackLogs.clear();
  m_kind = kWaypointGroup;
  m_modified = 1;
  m_loadSucceeded = 1;
}
