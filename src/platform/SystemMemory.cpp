#include "platform/SystemMemory.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

std::uint64_t physicalMemoryBytes() {
#if defined(_WIN32)
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? static_cast<std::uint64_t>(status.ullTotalPhys) : 0;
#elif defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long size = ::sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) : 0;
#else
  return 0;
#endif
}

void returnLargeBlocks(std::size_t bytes) {
#if defined(__GLIBC__)
  // A fixed threshold also stops glibc from raising it each time such a block is freed.
  (void)mallopt(M_MMAP_THRESHOLD, static_cast<int>(bytes > (std::size_t{1} << 30) ? std::size_t{1} << 30 : bytes));
#else
  (void)bytes;
#endif
}

}  // namespace platform
