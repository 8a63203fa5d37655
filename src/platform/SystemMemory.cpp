#include "platform/SystemMemory.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <fstream>
#include <string>
#include <vector>

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

std::uint64_t lastLevelCacheBytes() {
#if defined(_WIN32)
  DWORD bytes = 0;
  GetLogicalProcessorInformation(nullptr, &bytes);
  if (bytes == 0) return 0;
  std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> info(bytes / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION) + 1);
  if (!GetLogicalProcessorInformation(info.data(), &bytes)) return 0;
  int level = 0;
  std::uint64_t size = 0;
  for (std::size_t i = 0; i < bytes / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION); ++i) {
    const auto& r = info[i];
    if (r.Relationship != RelationCache || r.Cache.Type == CacheInstruction) continue;
    if (r.Cache.Level > level || (r.Cache.Level == level && r.Cache.Size > size)) {
      level = r.Cache.Level;
      size = r.Cache.Size;
    }
  }
  return size;
#else
  // Linux describes the first processor's caches in sysfs: level, type and size ("32768K").
  int level = 0;
  std::uint64_t size = 0;
  for (int index = 0; index < 16; ++index) {
    const std::string dir = "/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(index) + "/";
    std::ifstream levelFile(dir + "level"), typeFile(dir + "type"), sizeFile(dir + "size");
    int l = 0;
    std::string type, text;
    if (!(levelFile >> l) || !(typeFile >> type) || !(sizeFile >> text)) break;
    if (type == "Instruction" || text.empty()) continue;
    std::uint64_t n = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && n < (std::uint64_t{1} << 40); ++i)
      n = n * 10 + static_cast<std::uint64_t>(text[i] - '0');
    const char unit = i < text.size() ? text[i] : '\0';
    if (unit == 'K') n <<= 10;
    else if (unit == 'M') n <<= 20;
    else if (unit == 'G') n <<= 30;
    if (l > level || (l == level && n > size)) {
      level = l;
      size = n;
    }
  }
  return size;
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
