#include "app/SettingsSheet.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

constexpr const char* kCustomSection = "CustumColors";
constexpr std::uint32_t kWhite = 0xFFFFFF;

std::string customKey(int index) { return "COLOR_" + std::to_string(index); }

bool ask(const char* question) {
  return platform::prompt().ask({question, platform::EPromptIcon::Question, platform::EPromptButtons::OkCancel, {},
                                 "Vantoria"}) == platform::EPromptAnswer::Ok;
}

CColourPageModel::Colours& coloursOf(AppSettings& s, int series) { return series == 2 ? s.colours50 : s.colours25; }
CColourPageModel::Flags& hiddenOf(AppSettings& s, int series) { return series == 2 ? s.hidden50 : s.hidden25; }

}  // namespace

const char* ColourSlotName(int series, int slot) {
  static constexpr const char* kNames[9] = {"背景",
                                            "文字の背景",
                                            "文字",
                                            "等高線、崖、土堤など",
                                            "水涯線、水田",
                                            "水面",
                                            "樹木に囲まれた居住地",
                                            "道路、鉄道、建物、境界等",
                                            "国道"};
  if (slot < 0 || slot > 8) return "";
  if (series == 2 && slot == 3) return "等高線、崖、土堤、温室、畜舎、タンクなど";
  if (series == 2 && slot == 6) return "植生界、植生記号、樹木に囲まれた居住地、地下鉄";
  return kNames[slot];
}

bool SampleTextIsWhite(std::uint32_t colour) {
  return (colour & 0xFF) + ((colour >> 8) & 0xFF) + ((colour >> 16) & 0xFF) < 384;
}

platform::CustomColours LoadCustomColours() {
  platform::CustomColours colours{};
  for (int i = 0; i < static_cast<int>(colours.size()); ++i) {
    const std::int32_t v = platform::profile().readInt(kCustomSection, customKey(i), static_cast<std::int32_t>(kWhite));
    colours[static_cast<std::size_t>(i)] = v < 0 || v > 0xFFFFFF ? kWhite : static_cast<std::uint32_t>(v);
  }
  return colours;
}

void SaveCustomColours(const platform::CustomColours& colours) {
  auto& store = platform::profile();
  for (int i = 0; i < static_cast<int>(colours.size()); ++i)
    store.writeInt(kCustomSection, customKey(i), static_cast<std::int32_t>(colours[static_cast<std::size_t>(i)] & 0xFFFFFF));
  store.flush();
}

// ---- CColourPageModel

CColourPageModel::CColourPageModel(const AppSettings& settings, int series)
    : m_series(series == 2 ? 2 : 1),
      m_colours(settings.colours(m_series)),
      m_initialColours(m_colours),
      m_hidden(settings.hidden(m_series)),
      m_initialHidden(m_hidden),
      m_custom(LoadCustomColours()),
      m_initialCustom(m_custom) {}

bool CColourPageModel::ChooseColour(int slot) {
  if (slot < 0 || slot >= AppSettings::kColourSlots) return false;
  std::int32_t& colour = m_colours[static_cast<std::size_t>(slot)];
  const platform::SColourResult r = platform::colourDialog().run({static_cast<std::uint32_t>(colour), m_custom});
  // The custom colours the user defined stay, whichever button closed the chooser.
  for (std::size_t i = 0; i < m_custom.size(); ++i) m_custom[i] = r.custom[i] & 0xFFFFFF;
  if (!r.accepted) return false;
  colour = static_cast<std::int32_t>(r.colour & 0xFFFFFF);
  m_modified = true;
  return true;
}

void CColourPageModel::SetHidden(int slot, bool hidden) {
  if (slot < 1 || slot > AppSettings::kLayerFlags) return;
  m_hidden[static_cast<std::size_t>(slot - 1)] = hidden ? 1 : 0;
  m_modified = true;
}

bool CColourPageModel::DefaultColours() {
  if (!ask(kDefaultQuestion)) return false;
  m_colours = AppSettings::kDefaultColours;
  m_modified = true;
  return true;
}

bool CColourPageModel::Reset() {
  if (!ask(kResetQuestion)) return false;
  m_colours = m_initialColours;
  m_hidden = m_initialHidden;
  m_modified = true;
  return true;
}

void CColourPageModel::Apply(AppSettings& settings, ISettingsRefresh& refresh) {
  if (!m_modified) return;
  coloursOf(settings, m_series) = m_colours;
  hiddenOf(settings, m_series) = m_hidden;
  // Only this series' sheets change: a sheet of the other series is not rendered again.
  refresh.RefreshColours(m_series);
  m_modified = false;
}

void CColourPageModel::SaveCustomColours() const {
  // A page that was only looked at leaves what another page stored.
  if (m_custom != m_initialCustom) ::SaveCustomColours(m_custom);
}

// ---- CViewPageModel

CViewPageModel::CViewPageModel(const AppSettings& settings)
    : m_quality(settings.dispQuality),
      m_datum(settings.dispDatum == 0 || settings.dispDatum == 1 ? settings.dispDatum : -1),
      m_posFormat(settings.posFormat >= 0 && settings.posFormat <= 3 ? settings.posFormat : 0),
      m_gridColours{static_cast<std::uint32_t>(settings.gridColour) & 0xFFFFFF,
                    static_cast<std::uint32_t>(settings.graticuleColour) & 0xFFFFFF,
                    static_cast<std::uint32_t>(settings.magNorthColour) & 0xFFFFFF} {}

std::uint32_t CViewPageModel::gridColour(int which) const {
  return which >= 0 && which < kGridColours ? m_gridColours[static_cast<std::size_t>(which)] : 0;
}

void CViewPageModel::SetPosFormat(int format) {
  m_posFormat = format >= 0 && format <= 3 ? format : 0;
  m_modified = true;
}

bool CViewPageModel::ChooseGridColour(int which) {
  if (which < 0 || which >= kGridColours) return false;
  std::uint32_t& colour = m_gridColours[static_cast<std::size_t>(which)];
  const platform::SColourResult r = platform::colourDialog().run({colour, LoadCustomColours()});
  if (!r.accepted) return false;
  colour = r.colour & 0xFFFFFF;
  m_modified = true;
  return true;
}

void CViewPageModel::Store(AppSettings& settings) const {
  settings.dispQuality = m_quality;
  settings.dispDatum = m_datum != 0 ? 1 : 0;
  settings.posFormat = m_posFormat;
  settings.gridColour = static_cast<std::int32_t>(m_gridColours[0]);
  settings.graticuleColour = static_cast<std::int32_t>(m_gridColours[1]);
  settings.magNorthColour = static_cast<std::int32_t>(m_gridColours[2]);
}

void CViewPageModel::SetQuality(int quality) {
  m_quality = quality == 1 ? 1 : 0;
  m_modified = true;
}

void CViewPageModel::SetDatum(int datum) {
  m_datum = datum == 0 ? 0 : 1;
  m_modified = true;
}

void CViewPageModel::Apply(AppSettings& settings, ISettingsRefresh& refresh) {
  if (!m_modified) return;
  // With neither datum chosen the page stands for Tokyo, as OK stores it: the live settings
  // never hold a datum the program cannot show.
  const int datum = m_datum != 0 ? 1 : 0;
  const bool qualityChanged = settings.dispQuality != m_quality;
  const bool datumChanged = settings.dispDatum != datum || settings.posFormat != m_posFormat;
  const bool gridChanged = static_cast<std::uint32_t>(settings.gridColour) != m_gridColours[0] ||
                           static_cast<std::uint32_t>(settings.graticuleColour) != m_gridColours[1] ||
                           static_cast<std::uint32_t>(settings.magNorthColour) != m_gridColours[2];
  Store(settings);
  if (qualityChanged) refresh.RefreshColours(-1);
  if (datumChanged) refresh.RefreshTrekDisplay();
  if (gridChanged) refresh.RefreshGrid();
  m_modified = false;
}

// ---- CSettingsSheet

CSettingsSheet::CSettingsSheet(AppSettings& live, ISettingsRefresh& refresh)
    : m_live(live), m_backup(live), m_refresh(refresh), m_colours25(live, 1), m_colours50(live, 2), m_view(live) {
  // The backup only answers Cancel; the profile gets the accepted values, not these.
  m_backup.setSaveOnDestroy(false);
}

bool CSettingsSheet::anyModified() const {
  return m_colours25.modified() || m_colours50.modified() || m_view.modified();
}

void CSettingsSheet::PageShown(EPage page) { m_shown[static_cast<std::size_t>(page)] = true; }

void CSettingsSheet::Apply() {
  if (pageShown(EPage::Colours25)) m_colours25.Apply(m_live, m_refresh);
  if (pageShown(EPage::Colours50)) m_colours50.Apply(m_live, m_refresh);
  if (pageShown(EPage::View)) m_view.Apply(m_live, m_refresh);
}

void CSettingsSheet::Ok() {
  Apply();
  m_live.colours25 = m_colours25.colours();
  m_live.hidden25 = m_colours25.hidden();
  m_live.colours50 = m_colours50.colours();
  m_live.hidden50 = m_colours50.hidden();
  m_view.Store(m_live);
  // Written now, so that accepted settings survive whatever happens before the program ends.
  m_live.Save();
}

void CSettingsSheet::Cancel() {
  const bool changed25 = m_live.colours25 != m_backup.colours25 || m_live.hidden25 != m_backup.hidden25;
  const bool changed50 = m_live.colours50 != m_backup.colours50 || m_live.hidden50 != m_backup.hidden50;
  const bool qualityChanged = m_live.dispQuality != m_backup.dispQuality;
  const bool datumChanged = m_live.dispDatum != m_backup.dispDatum || m_live.posFormat != m_backup.posFormat;
  const bool gridChanged = m_live.gridColour != m_backup.gridColour ||
                           m_live.graticuleColour != m_backup.graticuleColour ||
                           m_live.magNorthColour != m_backup.magNorthColour;
  m_live = m_backup;
  if (qualityChanged || (changed25 && changed50)) m_refresh.RefreshColours(-1);
  else if (changed25) m_refresh.RefreshColours(1);
  else if (changed50) m_refresh.RefreshColours(2);
  if (datumChanged) m_refresh.RefreshTrekDisplay();
  if (gridChanged) m_refresh.RefreshGrid();
}

void CSettingsSheet::Close() {
  // Each page keeps its own copy; when both changed theirs, the 1:50,000 page's is kept.
  if (pageShown(EPage::Colours25)) m_colours25.SaveCustomColours();
  if (pageShown(EPage::Colours50)) m_colours50.SaveCustomColours();
}

// ---- vantoria-cli settings set

std::optional<SSheetSetting> FindSheetSetting(const std::string& name) {
  std::vector<SSheetSetting> all;
  for (const char* series : {"25000", "50000"}) {
    for (int i = 0; i < AppSettings::kColourSlots; ++i)
      all.push_back({"ViewSettings", std::string(series) + "Color_" + std::to_string(i), 0, 0xFFFFFF});
    all.push_back({"ViewSettings", std::string(series) + "Trans", 0, 0xFF});
  }
  all.push_back({"ViewSettings", "DispQuality", 0, 1});
  all.push_back({"ViewSettings", "DispDatum", 0, 1});
  all.push_back({"ViewSettings", "PosFormat", 0, 3});
  all.push_back({"ViewSettings", "GridColor", 0, 0xFFFFFF});
  all.push_back({"ViewSettings", "GraticuleColor", 0, 0xFFFFFF});
  all.push_back({"ViewSettings", "MagNorthColor", 0, 0xFFFFFF});
  for (int i = 0; i < 16; ++i) all.push_back({kCustomSection, customKey(i), 0, 0xFFFFFF});
  const auto same = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
  };
  for (const SSheetSetting& s : all)
    if (same(s.key, name)) return s;
  return std::nullopt;
}

SSheetSettingValue ParseSheetSetting(const std::string& name, const std::string& valueText) {
  SSheetSettingValue out;
  const std::optional<SSheetSetting> setting = FindSheetSetting(name);
  if (!setting) {
    out.error = "unknown setting " + name +
                " (settings: 25000Color_0..8, 50000Color_0..8, 25000Trans, 50000Trans, DispQuality, DispDatum, "
                "PosFormat, GridColor, GraticuleColor, MagNorthColor, COLOR_0..15)";
    return out;
  }
  out.setting = *setting;
  const std::optional<std::int32_t> v = platform::parseProfileInt(valueText);
  const bool colour = setting->hi == 0xFFFFFF;
  const std::string range = colour ? "a colour 0x00BBGGRR from 0x000000 to 0xFFFFFF"
                                   : std::to_string(setting->lo) + " to " + std::to_string(setting->hi);
  if (!v || *v < setting->lo || *v > setting->hi) {
    out.error = setting->key + " takes " + range + ", not \"" + valueText + "\"";
    return out;
  }
  out.value = *v;
  return out;
}
