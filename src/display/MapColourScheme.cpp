#include "display/MapColourScheme.h"

namespace {
// Slot of layer bits 0..7; the series differ only in bits 0 to 2.
constexpr std::array<int, 8> kSlots25 = {8, 5, 6, 3, 4, 7, 1, 2};
constexpr std::array<int, 8> kSlots50 = {6, 8, 5, 3, 4, 7, 1, 2};
}  // namespace

int LayerSlotOfBit(int series, int bit) {
  if (bit < 0 || bit > 7) return 0;
  return (series == 2 ? kSlots50 : kSlots25)[static_cast<std::size_t>(bit)];
}

void BuildLayerPalette(const MapColourScheme& scheme, int series, std::span<std::uint8_t> colourTable) {
  if (colourTable.size() < 256 * 4) return;
  auto put = [&](std::size_t entry, std::uint32_t colour) {
    std::uint8_t* e = colourTable.data() + entry * 4;
    e[0] = static_cast<std::uint8_t>(colour >> 16);  // blue
    e[1] = static_cast<std::uint8_t>(colour >> 8);   // green
    e[2] = static_cast<std::uint8_t>(colour);        // red
  };
  put(0, scheme.colours[0]);
  for (int b = 0; b < 8; ++b) {
    const auto slot = static_cast<std::size_t>(LayerSlotOfBit(series, b));
    for (std::size_t e = std::size_t{1} << b; e < (std::size_t{2} << b); ++e) put(e, scheme.colours[slot]);
  }
  // Hiding runs from the lowest bit up, so each block copies already final lower entries.
  for (int b = 0; b < 8; ++b) {
    const auto slot = static_cast<std::size_t>(LayerSlotOfBit(series, b));
    if (!scheme.hidden[slot - 1]) continue;
    const std::size_t base = std::size_t{1} << b;
    for (std::size_t i = 0; i < base; ++i)
      for (std::size_t k = 0; k < 3; ++k) colourTable[(base + i) * 4 + k] = colourTable[i * 4 + k];
  }
}
