#pragma once
// How much memory the machine has, for sizing caches.
#include <cstdint>

namespace platform {

/// Bytes of physical memory; 0 where the system does not say.
[[nodiscard]] std::uint64_t physicalMemoryBytes();

}  // namespace platform
