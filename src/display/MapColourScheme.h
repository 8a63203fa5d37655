#pragma once
// The colours of a sheet's map layers and the 256-entry colour table built from them.
#include <array>
#include <cstdint>
#include <span>

class AppSettings;

/// Nine colour slots (COLORREF 0x00BBGGRR; slot 0 the background) and hide flags for slots 1..8.
struct MapColourScheme {
  std::array<std::uint32_t, 9> colours{};
  std::array<bool, 8> hidden{};  ///< index k - 1 hides slot k

  /// The scheme of a series from the settings: 2 is 1:50,000, any other value 1:25,000.
  [[nodiscard]] static MapColourScheme fromSettings(const AppSettings& settings, int series);
};

/// Slot (1..8) drawn by layer bit `bit` (0..7) of a pixel value in the given series.
[[nodiscard]] int LayerSlotOfBit(int series, int bit);

/// Fills entries 0..255 of a bitmap colour table (blue, green, red, reserved per entry; the reserved
/// byte is left as it is): a pixel value shows the colour of its highest set bit whose layer is not
/// hidden, or the background when there is none. Needs at least 1024 bytes; does nothing otherwise.
void BuildLayerPalette(const MapColourScheme& scheme, int series, std::span<std::uint8_t> colourTable);
