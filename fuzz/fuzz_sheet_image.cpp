// The sheet image reader on arbitrary bytes, fed through libtiff's client I/O on memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "maps/SheetImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static SheetImage image;  // reused as the document reuses it
  std::size_t strips = 0;
  const SSheetImageStatus st =
      ReadSheetImage(std::span<const std::uint8_t>(data, size), image, [&](float) { ++strips; });
  if (st.ok() && !image.isNull()) {
    // Touch the first and last row so a wrong size shows under the sanitizers.
    const int h = image.height();
    if (h > 0) {
      volatile std::uint8_t sink = image.scanLine(0)[0];
      sink = image.scanLine(h - 1)[image.stride() - 1];
      (void)sink;
    }
  }
  // The same bytes on three threads: the same status and the same block, or the decode is wrong.
  static SheetImage threaded;
  const SSheetImageStatus again = ReadSheetImage(std::span<const std::uint8_t>(data, size), threaded, {}, 3);
  if (again.error != st.error || threaded.size() != image.size() ||
      (st.ok() && std::memcmp(threaded.data(), image.data(), image.size()) != 0))
    std::abort();
  return 0;
}
