#pragma once
// The settings the application keeps for its whole run: map colours and hidden layers of both
// series, display options, GPS port and datum choices, and the sort modes of the trek list.
// Stored in the user's profile (platform::profile()); the object writes itself back when it dies.
#include <array>
#include <cstdint>

#include "display/MapColourScheme.h"

class AppSettings {
 public:
  static constexpr int kColourSlots = 9;  ///< slot 0 background, slots 1..8 map layers
  static constexpr int kLayerFlags = 8;   ///< hide flags of slots 1..8

  /// Holds the defaults; call load() to read the profile.
  AppSettings();
  AppSettings(const AppSettings& other);
  AppSettings& operator=(const AppSettings& other);
  /// Writes every value back to the profile (unless auto-save was turned off).
  virtual ~AppSettings();

  /// Reads every field from the profile; missing, unreadable or out-of-range values give the default.
  void Load();
  /// Writes every field, then "Version" = 200 in section "Vantoria". Write failures are ignored.
  void Save() const;

  /// The built-in value of every field.
  void resetToDefaults();
  /// Off for objects that only look at the profile (the command-line tools): nothing is written at
  /// destruction. Not copied by assignment.
  void setSaveOnDestroy(bool save) { m_saveOnDestroy = save; }

  /// Colours (COLORREF 0x00BBGGRR) and hide flags (0/1, index 0 = slot 1) of a series:
  /// 2 is 1:50,000, any other value 1:25,000.
  [[nodiscard]] const std::array<std::int32_t, kColourSlots>& colours(int series) const;
  [[nodiscard]] const std::array<std::int32_t, kLayerFlags>& hidden(int series) const;
  /// Colours, hidden layers of both series and the display quality, as the map renders take them.
  [[nodiscard]] SMapRenderSettings mapRenderSettings() const;

  /// The default colour of each slot, the same for both series.
  static constexpr std::array<std::int32_t, kColourSlots> kDefaultColours = [] {
    std::array<std::int32_t, kColourSlots> colours{};
    for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = static_cast<std::int32_t>(kDefaultMapColours[i]);
    return colours;
  }();

  std::array<std::int32_t, kColourSlots> colours25{};
  std::array<std::int32_t, kLayerFlags> hidden25{};
  std::array<std::int32_t, kColourSlots> colours50{};
  std::array<std::int32_t, kLayerFlags> hidden50{};
  std::int32_t dispQuality = 0;    ///< 0 speed, 1 quality
  std::int32_t dispDatum = 1;      ///< datum positions are shown in: 0 WGS-84, 1 Tokyo
  std::int32_t markerDatum = 1;    ///< datum waypoint positions are entered in
  std::int32_t commPort = -1;      ///< GPS serial port 1..4, -1 none chosen
  std::int32_t gpsCommDatum = 1;   ///< datum option of the GPS transfer dialogs
  std::int32_t sortWaypoints = -1; ///< -1 none, 0 by name
  std::int32_t sortTracks = -1;    ///< -1 none, 0 by name, 1 by time
  std::int32_t pauseSeconds = 60;  ///< track statistics: a longer gap between two points is a pause
  /// Route walking time: metres walked per hour on the flat, and metres climbed per hour on top.
  std::int32_t routeFlatMetresPerHour = 4000;
  std::int32_t routeClimbMetresPerHour = 600;

 private:
  bool m_saveOnDestroy = true;
};

/// Packs hide flags into the profile's integer: bit i set when flag i is not 0.
[[nodiscard]] std::int32_t packHiddenFlags(const std::array<std::int32_t, AppSettings::kLayerFlags>& flags);
/// Unpacks the profile's integer: flag i is 1 exactly when bit i is set.
[[nodiscard]] std::array<std::int32_t, AppSettings::kLayerFlags> unpackHiddenFlags(std::int32_t bits);
