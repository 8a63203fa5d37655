#pragma once
// The id of the user running the program, for names that must differ between users on one
// machine (the local server through which a second start reaches the running program).
#include <cstdint>

namespace platform {

/// The real user id (POSIX `getuid`); 0 where the system has none.
[[nodiscard]] std::uint32_t currentUserId();

}  // namespace platform
