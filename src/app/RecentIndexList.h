#pragma once
// The recently opened map indexes, newest first, kept in the profile under "Recent File List" as
// "File1".."File10". Each entry is the "index.csv" path, " | ", the series word and the area names.
#include <string>
#include <vector>

class CRecentIndexList {
 public:
  static constexpr int kMaxEntries = 10;

  /// Reads the entries from the profile (empty values are skipped).
  void Load();
  /// Writes all entries back, removing values past the last one.
  void Save() const;

  /// Puts `entry` first, dropping an older entry for the same path and any beyond the tenth.
  void Add(const std::string& entry);
  void Remove(int index);
  [[nodiscard]] const std::vector<std::string>& entries() const { return m_entries; }
  [[nodiscard]] int size() const { return int(m_entries.size()); }

  /// The part of an entry before its first "|", without surrounding blanks: the path to open.
  [[nodiscard]] static std::string PathOf(const std::string& entry);

 private:
  std::vector<std::string> m_entries;  ///< UTF-8
};
