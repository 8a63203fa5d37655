#pragma once
#include <cstdint>

namespace platform {

/// a * b / c in 64-bit, rounded half away from zero; -1 when c is 0 (as the Windows helper).
[[nodiscard]] constexpr std::int32_t mulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  const std::int64_t p = static_cast<std::int64_t>(a) * b;
  const bool negative = (p < 0) != (c < 0);
  const std::uint64_t ap = p < 0 ? static_cast<std::uint64_t>(-p) : static_cast<std::uint64_t>(p);
  const std::uint64_t ac = c < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(c))
                                 : static_cast<std::uint64_t>(c);
  const std::uint64_t q = (ap + ac / 2) / ac;
  if (q > 0x7FFFFFFFull) return -1;
  return negative ? -static_cast<std::int32_t>(q) : static_cast<std::int32_t>(q);
}

}  // namespace platform
