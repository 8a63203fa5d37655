#include "platform/FileLock.h"

#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace platform {

CFileLock::~CFileLock() { release(); }

CFileLock::CFileLock(CFileLock&& other) noexcept { *this = std::move(other); }

CFileLock& CFileLock::operator=(CFileLock&& other) noexcept {
  if (this == &other) return *this;
  release();
  m_path = std::exchange(other.m_path, {});
#ifdef _WIN32
  m_handle = std::exchange(other.m_handle, nullptr);
#else
  m_fd = std::exchange(other.m_fd, -1);
#endif
  return *this;
}

#ifdef _WIN32

bool CFileLock::tryLock(const std::filesystem::path& path) {
  release();
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED at{};
  if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    ::CloseHandle(h);
    return false;
  }
  m_handle = h;
  m_path = path;
  return true;
}

bool CFileLock::locked() const { return m_handle != nullptr; }

void CFileLock::release(bool removeFile) {
  if (!m_handle) return;
  if (removeFile) {
    std::error_code ec;
    std::filesystem::remove(m_path, ec);
  }
  ::CloseHandle(static_cast<HANDLE>(m_handle));
  m_handle = nullptr;
  m_path.clear();
}

std::int64_t currentProcessId() { return static_cast<std::int64_t>(::GetCurrentProcessId()); }

#else

bool CFileLock::tryLock(const std::filesystem::path& path) {
  release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  // flock belongs to the open file: a second open of the same file, even in this process, is
  // refused, and the system drops it with the last descriptor when the process ends.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  m_fd = fd;
  m_path = path;
  return true;
}

bool CFileLock::locked() const { return m_fd >= 0; }

void CFileLock::release(bool removeFile) {
  if (m_fd < 0) return;
  if (removeFile) ::unlink(m_path.c_str());
  ::close(m_fd);
  m_fd = -1;
  m_path.clear();
}

std::int64_t currentProcessId() { return static_cast<std::int64_t>(::getpid()); }

#endif

}  // namespace platform
