#include "platform/LargeBuffer.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace platform {

bool CLargeBuffer::reserve(std::size_t bytes) {
  if (bytes <= m_capacity && m_data != nullptr) return true;
  reset();
  if (bytes == 0) return true;
  m_data = ::operator new(bytes, std::align_val_t{kAlignment}, std::nothrow);
  if (m_data == nullptr) return false;
  m_capacity = bytes;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only advice: memory without huge pages behind it works the same.
  if (bytes >= kAlignment) ::madvise(m_data, bytes / kAlignment * kAlignment, MADV_HUGEPAGE);
#endif
  return true;
}

void CLargeBuffer::reset() {
  if (m_data != nullptr) ::operator delete(m_data, std::align_val_t{kAlignment});
  m_data = nullptr;
  m_capacity = 0;
}

}  // namespace platform
