#include "app/RecentIndexList.h"

#include <algorithm>

#include "platform/IProfileStore.h"

namespace {
const std::string kSection = "Recent File List";
std::string keyOf(int i) { return "File" + std::to_string(i + 1); }
}  // namespace

void CRecentIndexList::Load() {
  m_entries.clear();
  for (int i = 0; i < kMaxEntries; ++i) {
    std::string v = platform::profile().readString(kSection, keyOf(i), "");
    if (!v.empty()) m_entries.push_back(std::move(v));
  }
}

void CRecentIndexList::Save() const {
  for (int i = 0; i < kMaxEntries; ++i) {
    if (i < size()) platform::profile().writeString(kSection, keyOf(i), m_entries[std::size_t(i)]);
    else platform::profile().remove(kSection, keyOf(i));
  }
}

std::string CRecentIndexList::PathOf(const std::string& entry) {
  std::string path = entry.substr(0, entry.find('|'));
  const auto last = path.find_last_not_of(" \t");
  path.erase(last == std::string::npos ? 0 : last + 1);
  const auto first = path.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : path.substr(first);
}

void CRecentIndexList::Add(const std::string& entry) {
  const std::string path = PathOf(entry);
  std::erase_if(m_entries, [&](const std::string& e) { return PathOf(e) == path; });
  m_entries.insert(m_entries.begin(), entry);
  if (size() > kMaxEntries) m_entries.resize(kMaxEntries);
}

void CRecentIndexList::Remove(int index) {
  if (index >= 0 && index < size()) m_entries.erase(m_entries.begin() + index);
}
