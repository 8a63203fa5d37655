#pragma once
// What the seamless map keeps in memory: decoded sheets, reduced copies and rendered tiles, under
// one budget of bytes, the least recently used out first. Thread-safe; values are shared, so an
// entry dropped from the cache lives on while a render still holds it (its bytes no longer count).
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace mosaic {

/// Default budget in MiB: the smaller of 1,024 and a quarter of the physical memory, 128 at
/// least. `physicalBytes` 0 (unknown) gives 1,024.
[[nodiscard]] int DefaultCacheMiB(std::uint64_t physicalBytes);
/// The budget the profile asks for, bounded to 128 .. 65,536 MiB; out-of-range or unreadable
/// values give the default.
[[nodiscard]] int UsableCacheMiB(std::int64_t profileValue, std::uint64_t physicalBytes);

class CSheetCache {
 public:
  explicit CSheetCache(std::size_t budgetBytes) : m_budget(budgetBytes) {}

  /// The value under `key` (made the most recently used), or null.
  [[nodiscard]] std::shared_ptr<const void> Find(const std::string& key);
  template <class T>
  [[nodiscard]] std::shared_ptr<const T> FindAs(const std::string& key) {
    return std::static_pointer_cast<const T>(Find(key));
  }
  /// Puts a value of `bytes` under `key` (replacing one there), then drops the least recently used
  /// entries until the cache is within its budget. A value larger than the whole budget is not
  /// kept. True when it was kept.
  bool Insert(const std::string& key, std::shared_ptr<const void> value, std::size_t bytes);
  void Remove(const std::string& key);
  /// Drops every entry whose key starts with `prefix`.
  void RemovePrefix(const std::string& prefix);
  void Clear();

  void setBudget(std::size_t bytes);
  [[nodiscard]] std::size_t budget() const;
  /// Bytes of the entries held.
  [[nodiscard]] std::size_t bytes() const;
  [[nodiscard]] std::size_t count() const;
  /// The most bytes held at any time since the cache was made (for tests and measurements).
  [[nodiscard]] std::size_t peakBytes() const;

 private:
  struct SEntry {
    std::shared_ptr<const void> value;
    std::size_t bytes = 0;
    std::list<std::string>::iterator order;
  };
  void trimLocked();

  mutable std::mutex m_lock;
  std::size_t m_budget;
  std::size_t m_bytes = 0;
  std::size_t m_peak = 0;
  std::list<std::string> m_order;  // most recently used first
  std::unordered_map<std::string, SEntry> m_entries;
};

}  // namespace mosaic
