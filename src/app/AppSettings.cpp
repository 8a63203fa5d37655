#include "app/AppSettings.h"

#include <string>

#include "platform/IProfileStore.h"

namespace {

const std::string kViewSection = "ViewSettings";
const std::string kSettingsSection = "Settings";

// Reads an integer and keeps it only inside [lo, hi]; anything else is the default.
std::int32_t readRanged(const std::string& section, const std::string& key, std::int32_t def, std::int32_t lo,
                        std::int32_t hi) {
  const std::int32_t v = platform::profile().readInt(section, key, def);
  return v < lo || v > hi ? def : v;
}

std::int32_t readDatum(const std::string& section, const std::string& key) {
  return readRanged(section, key, 1, 0, 1);
}

void loadScheme(const char* prefix, std::array<std::int32_t, AppSettings::kColourSlots>& colours,
                std::array<std::int32_t, AppSettings::kLayerFlags>& hidden) {
  for (int i = 0; i < AppSettings::kColourSlots; ++i) {
    const std::size_t slot = static_cast<std::size_t>(i);
    colours[slot] = readRanged(kViewSection, prefix + std::string("Color_") + std::to_string(i),
                               AppSettings::kDefaultColours[slot], 0, 0xFFFFFF);
  }
  hidden = unpackHiddenFlags(readRanged(kViewSection, prefix + std::string("Trans"), 0, 0, 0xFF));
}

void saveScheme(const char* prefix, const std::array<std::int32_t, AppSettings::kColourSlots>& colours,
                const std::array<std::int32_t, AppSettings::kLayerFlags>& hidden) {
  auto& store = platform::profile();
  for (int i = 0; i < AppSettings::kColourSlots; ++i)
    store.writeInt(kViewSection, prefix + std::string("Color_") + std::to_string(i), colours[static_cast<std::size_t>(i)]);
  store.writeInt(kViewSection, prefix + std::string("Trans"), packHiddenFlags(hidden));
}

}  // namespace

std::int32_t packHiddenFlags(const std::array<std::int32_t, AppSettings::kLayerFlags>& flags) {
  std::int32_t bits = 0;
  for (std::size_t i = 0; i < flags.size(); ++i)
    if (flags[i] != 0) bits |= 1 << i;
  return bits;
}

std::array<std::int32_t, AppSettings::kLayerFlags> unpackHiddenFlags(std::int32_t bits) {
  std::array<std::int32_t, AppSettings::kLayerFlags> flags{};
  for (std::size_t i = 0; i < flags.size(); ++i) flags[i] = (bits >> i) & 1;
  return flags;
}

AppSettings::AppSettings() { resetToDefaults(); }

AppSettings::AppSettings(const AppSettings& other) { *this = other; }

AppSettings& AppSettings::operator=(const AppSettings& other) {
  if (this == &other) return *this;
  colours25 = other.colours25;
  hidden25 = other.hidden25;
  colours50 = other.colours50;
  hidden50 = other.hidden50;
  dispQuality = other.dispQuality;
  dispDatum = other.dispDatum;
  markerDatum = other.markerDatum;
  commPort = other.commPort;
  gpsCommDatum = other.gpsCommDatum;
  sortWaypoints = other.sortWaypoints;
  sortTracks = other.sortTracks;
  pauseSeconds = other.pauseSeconds;
  routeFlatMetresPerHour = other.routeFlatMetresPerHour;
  routeClimbMetresPerHour = other.routeClimbMetresPerHour;
  return *this;
}

AppSettings::~AppSettings() {
  if (m_saveOnDestroy) Save();
}

void AppSettings::resetToDefaults() {
  colours25 = kDefaultColours;
  colours50 = kDefaultColours;
  hidden25.fill(0);
  hidden50.fill(0);
  dispQuality = 0;
  dispDatum = 1;
  markerDatum = 1;
  commPort = -1;
  gpsCommDatum = 1;
  sortWaypoints = -1;
  sortTracks = -1;
  pauseSeconds = 60;
  routeFlatMetresPerHour = 4000;
  routeClimbMetresPerHour = 600;
}

void AppSettings::Load() {
  loadScheme("25000", colours25, hidden25);
  loadScheme("50000", colours50, hidden50);
  dispQuality = readRanged(kViewSection, "DispQuality", 0, 0, 1);
  dispDatum = readDatum(kViewSection, "DispDatum");
  markerDatum = readDatum(kSettingsSection, "MarkerDatum");
  // A port outside COM1..COM4 counts as none chosen.
  commPort = readRanged(kSettingsSection, "CommPort", -1, -1, 4);
  if (commPort == 0) commPort = -1;
  gpsCommDatum = readDatum(kSettingsSection, "GPSCommDatum");
  sortWaypoints = readRanged(kSettingsSection, "Sort_Wp", -1, -1, 0);
  sortTracks = readRanged(kSettingsSection, "Sort_Tk", -1, -1, 1);
  pauseSeconds = readRanged(kSettingsSection, "PauseSeconds", 60, 1, 86400);
  routeFlatMetresPerHour = readRanged(kSettingsSection, "RouteFlatPace", 4000, 100, 100000);
  routeClimbMetresPerHour = readRanged(kSettingsSection, "RouteClimbPace", 600, 10, 10000);
}

void AppSettings::Save() const {
  saveScheme("25000", colours25, hidden25);
  saveScheme("50000", colours50, hidden50);
  auto& store = platform::profile();
  store.writeInt(kViewSection, "DispQuality", dispQuality);
  store.writeInt(kViewSection, "DispDatum", dispDatum);
  store.writeInt(kSettingsSection, "MarkerDatum", markerDatum);
  store.writeInt(kSettingsSection, "CommPort", commPort);
  store.writeInt(kSettingsSection, "GPSCommDatum", gpsCommDatum);
  store.writeInt(kSettingsSection, "Sort_Wp", sortWaypoints);
  store.writeInt(kSettingsSection, "Sort_Tk", sortTracks);
  store.writeInt(kSettingsSection, "PauseSeconds", pauseSeconds);
  store.writeInt(kSettingsSection, "RouteFlatPace", routeFlatMetresPerHour);
  store.writeInt(kSettingsSection, "RouteClimbPace", routeClimbMetresPerHour);
  store.writeInt("Vantoria", "Version", 200);
  store.flush();
}

const std::array<std::int32_t, AppSettings::kColourSlots>& AppSettings::colours(int series) const {
  return series == 2 ? colours50 : colours25;
}

const std::array<std::int32_t, AppSettings::kLayerFlags>& AppSettings::hidden(int series) const {
  return series == 2 ? hidden50 : hidden25;
}

SMapRenderSettings AppSettings::mapRenderSettings() const {
  SMapRenderSettings settings;
  for (const int series : {1, 2}) {
    MapColourScheme& scheme = series == 2 ? settings.scheme50 : settings.scheme25;
    for (std::size_t i = 0; i < scheme.colours.size(); ++i)
      scheme.colours[i] = static_cast<std::uint32_t>(colours(series)[i]);
    for (std::size_t i = 0; i < scheme.hidden.size(); ++i) scheme.hidden[i] = hidden(series)[i] != 0;
  }
  settings.dispQuality = dispQuality;
  return settings;
}
