// The reduced copy reader on arbitrary bytes, with the key the seeds were written for.
#include <cstddef>
#include <cstdint>
#include <span>

#include "mosaic/ReducedCopy.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const mosaic::SReducedKey key{"/maps/sheet.tif", 123456, 1700000000000000000, 0x0123456789abcdefull};
  mosaic::SReducedCopies copies;
  if (mosaic::decodeReducedCopies(std::span<const std::uint8_t>(data, size), key, copies) == mosaic::EReducedRead::Ok) {
    // Touch the last pixel of each copy so a wrong size shows under the sanitizers.
    const QImage* images[] = {&copies.eighth, &copies.sixtyFourth};
    for (const QImage* image : images) {
      volatile std::uint32_t sink = image->pixel(image->width() - 1, image->height() - 1);
      (void)sink;
    }
  }
  return 0;
}
