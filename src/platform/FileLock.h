#pragma once
// An exclusive lock on a file that a process holds for as long as it runs. The system drops the
// lock when the process ends in any way (a crash or SIGKILL included), so whoever can take it
// knows the process that held it is gone.
#include <cstdint>
#include <filesystem>

namespace platform {

class CFileLock {
 public:
  CFileLock() = default;
  ~CFileLock();
  CFileLock(CFileLock&& other) noexcept;
  CFileLock& operator=(CFileLock&& other) noexcept;
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

  /// Creates the file when missing and locks it without waiting. False when another process,
  /// or another lock object of this one, holds it, or the file cannot be made.
  [[nodiscard]] bool tryLock(const std::filesystem::path& path);
  [[nodiscard]] bool locked() const;
  [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
  /// Gives the lock up; with `removeFile` the file goes first, while it is still held.
  void release(bool removeFile = false);

 private:
  std::filesystem::path m_path;
#ifdef _WIN32
  void* m_handle = nullptr;
#else
  int m_fd = -1;
#endif
};

/// The id the system gives this process.
[[nodiscard]] std::int64_t currentProcessId();

}  // namespace platform
