#pragma once
// How much memory the machine has, for sizing caches, and how much of it the processor caches.
#include <cstddef>
#include <cstdint>

namespace platform {

/// Bytes of physical memory; 0 where the system does not say.
[[nodiscard]] std::uint64_t physicalMemoryBytes();

/// Bytes of the processor's last-level cache (the largest cache holding data); 0 where the system
/// does not say.
[[nodiscard]] std::uint64_t lastLevelCacheBytes();

/// Asks the allocator to give blocks of `bytes` and more back to the system when they are freed,
/// rather than keep them for later (which it otherwise learns to do for large blocks): a cache
/// that drops decoded sheets then frees their memory. Process-wide; does nothing where the
/// allocator has no such setting.
void returnLargeBlocks(std::size_t bytes);

}  // namespace platform
