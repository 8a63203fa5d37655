#pragma once
// A real full disk for tests: a small tmpfs mounted in a temporary folder (root only), whose
// free space a filler file sets to any number of pages. Writes past it fail with ENOSPC at the
// chosen point, which a file-size limit alone does not reproduce.
#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <string>

namespace testutil {

class CSmallDisk {
 public:
  static constexpr std::int64_t kPage = 4096;
  /// Mounts `bytes` of tmpfs; mounted() is false where that is not allowed.
  explicit CSmallDisk(std::int64_t bytes);
  ~CSmallDisk();
  CSmallDisk(const CSmallDisk&) = delete;
  CSmallDisk& operator=(const CSmallDisk&) = delete;

  [[nodiscard]] bool mounted() const { return m_mounted; }
  [[nodiscard]] std::filesystem::path root() const;
  /// Fills the disk, then frees `pages` pages of it again.
  void leaveFree(std::int64_t pages);
  /// Removes the filler.
  void unfill();
  /// The names in the root besides the filler, sorted.
  [[nodiscard]] std::string listing() const;

 private:
  QTemporaryDir m_dir;
  bool m_mounted = false;
};

}  // namespace testutil
