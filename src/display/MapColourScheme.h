#pragma once
// The colours of a sheet's map layers and the 256-entry colour table built from them.
#include <array>
#include <cstdint>
#include <span>

/// The built-in colour of each slot (COLORREF), the same for both series.
inline constexpr std::array<std::uint32_t, 9> kDefaultMapColours = {
    0xFFFFFF, 0xFFFFFF, 0x000000, 0x5684B9, 0xE99747, 0xF4C9A0, 0x7FA485, 0x484848, 0x97B3D4};

/// Nine colour slots (COLORREF 0x00BBGGRR; slot 0 the background) and hide flags for slots 1..8.
/// A default scheme holds the built-in colours with nothing hidden.
struct MapColourScheme {
  std::array<std::uint32_t, 9> colours = kDefaultMapColours;
  std::array<bool, 8> hidden{};  ///< index k - 1 hides slot k
};

/// What a render of the map takes from the user's settings: the scheme of each series and the
/// display quality. The owner of the settings builds it and hands it down.
struct SMapRenderSettings {
  MapColourScheme scheme25;  ///< 1:25,000 (and any series other than 2)
  MapColourScheme scheme50;  ///< 1:50,000
  int dispQuality = 0;       ///< 0 speed, 1 quality (area averaging for 0.15 < ratio < 1)

  /// The scheme of a series: 2 is 1:50,000, any other value 1:25,000.
  [[nodiscard]] const MapColourScheme& scheme(int series) const { return series == 2 ? scheme50 : scheme25; }
};

/// Slot (1..8) drawn by layer bit `bit` (0..7) of a pixel value in the given series.
[[nodiscard]] int LayerSlotOfBit(int series, int bit);

/// Fills entries 0..255 of a bitmap colour table (blue, green, red, reserved per entry; the reserved
/// byte is left as it is): a pixel value shows the colour of its highest set bit whose layer is not
/// hidden, or the background when there is none. Needs at least 1024 bytes; does nothing otherwise.
void BuildLayerPalette(const MapColourScheme& scheme, int series, std::span<std::uint8_t> colourTable);
