#pragma once
// Pixel memory of megabytes (a rendered sheet, the map's back buffer), kept and reused. Where the
// system offers it the memory is asked to be backed by huge pages: first touches of fresh memory
// cost far less, and a picture read row by row needs far fewer address translations.
#include <cstddef>

namespace platform {

class CLargeBuffer {
 public:
  CLargeBuffer() = default;
  ~CLargeBuffer() { reset(); }
  CLargeBuffer(const CLargeBuffer&) = delete;
  CLargeBuffer& operator=(const CLargeBuffer&) = delete;

  /// Makes room for at least `bytes` (keeping the memory when it is large enough already; the
  /// contents are not kept either way). False, holding nothing, when the memory cannot be had.
  bool reserve(std::size_t bytes);
  /// Gives the memory back.
  void reset();
  [[nodiscard]] void* data() const { return m_data; }
  [[nodiscard]] std::size_t capacity() const { return m_capacity; }

  /// Boundary of the memory (the size of a huge page on the systems that have them).
  static constexpr std::size_t kAlignment = std::size_t{2} << 20;

 private:
  void* m_data = nullptr;
  std::size_t m_capacity = 0;
};

}  // namespace platform
