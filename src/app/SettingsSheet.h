#pragma once
// The settings property sheet without its widgets: the two colour pages (working colours and hide
// flags of one series, the colour chooser's custom colours, the default and reset questions), the
// view page (display quality and datum), and the sheet's Apply, OK and Cancel with the backup
// taken when it opened. The pages edit AppSettings; the open windows are told through
// ISettingsRefresh.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/AppSettings.h"
#include "platform/IColourDialog.h"

/// What the open windows do after the sheet changed the live settings.
class ISettingsRefresh {
 public:
  virtual ~ISettingsRefresh() = default;
  /// Colours, hidden layers or quality changed: 1 the 1:25,000 series, 2 the 1:50,000 series,
  /// -1 either (the open sheet is rendered again when it belongs to the series).
  virtual void RefreshColours(int series) = 0;
  /// The display datum or the position format changed: trek data positions are shown again.
  virtual void RefreshTrekDisplay() = 0;
  /// A colour of the grid lines changed: the map view draws them again.
  virtual void RefreshGrid() {}
};

/// Row label of colour slot 0..8 on the page of a series (UTF-8).
[[nodiscard]] const char* ColourSlotName(int series, int slot);
/// A sample field shows its name in white on a colour whose red + green + blue is below 384.
[[nodiscard]] bool SampleTextIsWhite(std::uint32_t colour);

/// The custom colours of the colour chooser as stored in "CustumColors" ("COLOR_0".."COLOR_15");
/// missing or unusable values are white.
[[nodiscard]] platform::CustomColours LoadCustomColours();
void SaveCustomColours(const platform::CustomColours& colours);

/// One colour page: the colours and hide flags of a series as the user edits them.
class CColourPageModel {
 public:
  using Colours = std::array<std::int32_t, AppSettings::kColourSlots>;
  using Flags = std::array<std::int32_t, AppSettings::kLayerFlags>;

  static constexpr const char* kDefaultQuestion = "表示色の設定をデフォルトの配色に戻しますか?";
  static constexpr const char* kResetQuestion = "表示色と表示項目の設定を変更前の状態に戻しますか?";

  /// Takes the series' values from `settings` and the custom colours from the profile.
  CColourPageModel(const AppSettings& settings, int series);

  [[nodiscard]] int series() const { return m_series; }
  [[nodiscard]] const Colours& colours() const { return m_colours; }
  [[nodiscard]] const Flags& hidden() const { return m_hidden; }
  [[nodiscard]] const platform::CustomColours& customColours() const { return m_custom; }
  [[nodiscard]] bool modified() const { return m_modified; }

  /// "色 ..." of a slot: the colour chooser on the slot's colour; true when a colour was chosen.
  bool ChooseColour(int slot);
  /// "非表示" of slot 1..8.
  void SetHidden(int slot, bool hidden);
  /// "デフォルト色": asks, then the built-in colours (hide flags stay); true when done.
  bool DefaultColours();
  /// "リセット": asks, then colours and hide flags as the page got them; true when done.
  bool Reset();
  /// The apply step: when modified, the series' values go into `settings` and the series is
  /// rendered again.
  void Apply(AppSettings& settings, ISettingsRefresh& refresh);
  /// Writes the custom colours when the user changed them here.
  void SaveCustomColours() const;

 private:
  int m_series;
  Colours m_colours{};
  Colours m_initialColours{};
  Flags m_hidden{};
  Flags m_initialHidden{};
  platform::CustomColours m_custom{};
  platform::CustomColours m_initialCustom{};
  bool m_modified = false;
};

/// The view page: display quality, display datum, the position format and the colours of the
/// grid lines.
class CViewPageModel {
 public:
  /// The three grid colours: UTM grid, graticule, magnetic north.
  static constexpr int kGridColours = 3;

  explicit CViewPageModel(const AppSettings& settings);

  /// 0 speed, 1 quality.
  [[nodiscard]] int quality() const { return m_quality; }
  /// 0 WGS-84, 1 Tokyo, -1 neither (the stored value was something else).
  [[nodiscard]] int datum() const { return m_datum; }
  [[nodiscard]] bool modified() const { return m_modified; }

  /// 0 DMS, 1 decimal degrees, 2 UTM, 3 MGRS.
  [[nodiscard]] int posFormat() const { return m_posFormat; }
  /// Colour (COLORREF) of grid line kind 0..2.
  [[nodiscard]] std::uint32_t gridColour(int which) const;

  void SetQuality(int quality);
  void SetDatum(int datum);
  void SetPosFormat(int format);
  /// "色 ..." of a grid line kind: the colour chooser on its colour; true when one was chosen.
  bool ChooseGridColour(int which);
  /// The apply step: when modified, the page's values go into `settings`; a changed quality
  /// renders the map again, a changed datum or format shows the trek data again, changed
  /// grid colours draw the grid again.
  void Apply(AppSettings& settings, ISettingsRefresh& refresh);
  /// The page's values into `settings` (OK).
  void Store(AppSettings& settings) const;

 private:
  int m_quality = 0;
  int m_datum = 1;
  int m_posFormat = 0;
  std::array<std::uint32_t, kGridColours> m_gridColours{};
  bool m_modified = false;
};

/// The whole sheet: its pages, and the live settings with their backup.
class CSettingsSheet {
 public:
  enum class EPage { Colours25, Colours50, View };

  /// Takes the backup of `live` and builds the pages from it.
  CSettingsSheet(AppSettings& live, ISettingsRefresh& refresh);

  [[nodiscard]] CColourPageModel& colours25() { return m_colours25; }
  [[nodiscard]] CColourPageModel& colours50() { return m_colours50; }
  [[nodiscard]] CColourPageModel& colourPage(int series) { return series == 2 ? m_colours50 : m_colours25; }
  [[nodiscard]] CViewPageModel& view() { return m_view; }
  [[nodiscard]] bool anyModified() const;

  /// A page was shown: only shown pages apply and keep custom colours.
  void PageShown(EPage page);
  [[nodiscard]] bool pageShown(EPage page) const { return m_shown[static_cast<int>(page)]; }

  /// The Apply button: the apply step of every shown page.
  void Apply();
  /// OK: apply, then the values of every page go into the live settings, which are saved.
  void Ok();
  /// Cancel: the live settings return to the backup; what Apply had shown is shown again.
  void Cancel();
  /// The sheet closes (after OK or Cancel): shown colour pages write their custom colours.
  void Close();

 private:
  AppSettings& m_live;
  AppSettings m_backup;
  ISettingsRefresh& m_refresh;
  CColourPageModel m_colours25;
  CColourPageModel m_colours50;
  CViewPageModel m_view;
  std::array<bool, 3> m_shown{};
};

/// A profile value the settings sheet edits, by its key name ("25000Color_3", "50000Trans",
/// "DispQuality", "DispDatum", "COLOR_7", ...), with its allowed range.
struct SSheetSetting {
  std::string section;
  std::string key;
  std::int32_t lo = 0;
  std::int32_t hi = 0;
};
/// The setting of a key name (case does not matter); none when the sheet has no such value.
[[nodiscard]] std::optional<SSheetSetting> FindSheetSetting(const std::string& name);

struct SSheetSettingValue {
  SSheetSetting setting;
  std::int32_t value = 0;
  std::string error;  ///< empty when the value may be stored
};
/// Checks a key name and a value text (decimal or 0x-hex) the way the sheet limits them.
[[nodiscard]] SSheetSettingValue ParseSheetSetting(const std::string& name, const std::string& valueText);
