#include "mosaic/SheetCache.h"

#include <algorithm>

namespace mosaic {

int DefaultCacheMiB(std::uint64_t physicalBytes) {
  if (physicalBytes == 0) return 1024;
  const std::uint64_t quarter = physicalBytes / 4 / (std::uint64_t{1} << 20);
  return static_cast<int>(std::clamp<std::uint64_t>(quarter, 128, 1024));
}

int UsableCacheMiB(std::int64_t profileValue, std::uint64_t physicalBytes) {
  if (profileValue < 128 || profileValue > 65536) return DefaultCacheMiB(physicalBytes);
  return static_cast<int>(profileValue);
}

std::shared_ptr<const void> CSheetCache::Find(const std::string& key) {
  std::lock_guard lock(m_lock);
  const auto it = m_entries.find(key);
  if (it == m_entries.end()) return nullptr;
  m_order.splice(m_order.begin(), m_order, it->second.order);
  return it->second.value;
}

bool CSheetCache::Insert(const std::string& key, std::shared_ptr<const void> value, std::size_t bytes) {
  std::lock_guard lock(m_lock);
  if (const auto it = m_entries.find(key); it != m_entries.end()) {
    m_bytes -= it->second.bytes;
    m_order.erase(it->second.order);
    m_entries.erase(it);
  }
  if (!value || bytes > m_budget) return false;
  // Room first, so the cache never holds more than its budget, not even for a moment.
  while (!m_order.empty() && m_bytes + bytes > m_budget) {
    const auto victim = m_entries.find(m_order.back());
    m_bytes -= victim->second.bytes;
    m_entries.erase(victim);
    m_order.pop_back();
  }
  m_order.push_front(key);
  m_entries.emplace(key, SEntry{std::move(value), bytes, m_order.begin()});
  m_bytes += bytes;
  m_peak = std::max(m_peak, m_bytes);
  return true;
}

void CSheetCache::Remove(const std::string& key) {
  std::lock_guard lock(m_lock);
  const auto it = m_entries.find(key);
  if (it == m_entries.end()) return;
  m_bytes -= it->second.bytes;
  m_order.erase(it->second.order);
  m_entries.erase(it);
}

void CSheetCache::RemovePrefix(const std::string& prefix) {
  std::lock_guard lock(m_lock);
  for (auto it = m_entries.begin(); it != m_entries.end();) {
    if (it->first.compare(0, prefix.size(), prefix) == 0) {
      m_bytes -= it->second.bytes;
      m_order.erase(it->second.order);
      it = m_entries.erase(it);
    } else {
      ++it;
    }
  }
}

void CSheetCache::Clear() {
  std::lock_guard lock(m_lock);
  m_entries.clear();
  m_order.clear();
  m_bytes = 0;
}

void CSheetCache::setBudget(std::size_t bytes) {
  std::lock_guard lock(m_lock);
  m_budget = bytes;
  trimLocked();
}

void CSheetCache::trimLocked() {
  while (!m_order.empty() && m_bytes > m_budget) {
    const auto victim = m_entries.find(m_order.back());
    m_bytes -= victim->second.bytes;
    m_entries.erase(victim);
    m_order.pop_back();
  }
}

std::size_t CSheetCache::budget() const {
  std::lock_guard lock(m_lock);
  return m_budget;
}

std::size_t CSheetCache::bytes() const {
  std::lock_guard lock(m_lock);
  return m_bytes;
}

std::size_t CSheetCache::count() const {
  std::lock_guard lock(m_lock);
  return m_entries.size();
}

std::size_t CSheetCache::peakBytes() const {
  std::lock_guard lock(m_lock);
  return m_peak;
}

}  // namespace mosaic
