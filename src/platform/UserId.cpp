#include "platform/UserId.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace platform {

std::uint32_t currentUserId() {
#if defined(__unix__) || defined(__APPLE__)
  return static_cast<std::uint32_t>(::getuid());
#else
  return 0;
#endif
}

}  // namespace platform
