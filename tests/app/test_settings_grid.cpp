// The settings sheet's position format and grid colours: what each change refreshes, what OK
// stores and Cancel gives back, the page's buttons, and the profile's ranges.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <functional>

#include "app/AppSettings.h"
#include "app/SettingsSheet.h"
#include "app/ui/CPrpIni.h"
#include "platform/IColourDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

struct SCountingRefresh : ISettingsRefresh {
  int colours = 0;
  int trek = 0;
  int grid = 0;
  void RefreshColours(int) override { ++colours; }
  void RefreshTrekDisplay() override { ++trek; }
  void RefreshGrid() override { ++grid; }
};

class SettingsGrid : public ::testing::Test {
 public:
  platform::CScriptedColourDialog m_chooser;

 protected:
  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    platform::setColourDialog(&m_chooser);
  }
  void TearDown() override {
    platform::setColourDialog(nullptr);
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }
  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
};

TEST_F(SettingsGrid, EachChangeRefreshesWhatItConcernsAndCancelGivesItBack) {
  const struct {
    const char* name;
    std::function<void(SettingsGrid&, CViewPageModel&)> edit;
    int trek, grid;
    int posFormat;
    std::int32_t gridColour, magNorthColour;
  } kCases[] = {
      {"MGRS", [](SettingsGrid&, CViewPageModel& v) { v.SetPosFormat(3); }, 1, 0, 3, 0x00D07000, 0x000000C8},
      {"UTM", [](SettingsGrid&, CViewPageModel& v) { v.SetPosFormat(2); }, 1, 0, 2, 0x00D07000, 0x000000C8},
      {"format out of range", [](SettingsGrid&, CViewPageModel& v) { v.SetPosFormat(9); }, 0, 0, 0, 0x00D07000,
       0x000000C8},
      {"grid colour",
       [](SettingsGrid& t, CViewPageModel& v) {
         t.m_chooser.pushColour(0x00123456);
         EXPECT_TRUE(v.ChooseGridColour(0));
       },
       0, 1, 0, 0x00123456, 0x000000C8},
      {"magnetic north colour",
       [](SettingsGrid& t, CViewPageModel& v) {
         t.m_chooser.pushColour(0x01FF00FF);  // the byte above the colour is dropped
         EXPECT_TRUE(v.ChooseGridColour(2));
       },
       0, 1, 0, 0x00D07000, 0x00FF00FF},
      {"chooser cancelled", [](SettingsGrid&, CViewPageModel& v) { EXPECT_FALSE(v.ChooseGridColour(1)); }, 0, 0, 0,
       0x00D07000, 0x000000C8},
      {"no such line", [](SettingsGrid&, CViewPageModel& v) { EXPECT_FALSE(v.ChooseGridColour(3)); }, 0, 0, 0,
       0x00D07000, 0x000000C8},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    AppSettings live;
    live.setSaveOnDestroy(false);
    SCountingRefresh refresh;
    CSettingsSheet sheet(live, refresh);
    sheet.PageShown(CSettingsSheet::EPage::View);
    c.edit(*this, sheet.view());
    sheet.Apply();
    EXPECT_EQ(refresh.trek, c.trek);
    EXPECT_EQ(refresh.grid, c.grid);
    EXPECT_EQ(live.posFormat, c.posFormat);
    EXPECT_EQ(live.gridColour, c.gridColour);
    EXPECT_EQ(live.magNorthColour, c.magNorthColour);
    refresh = {};
    sheet.Cancel();
    EXPECT_EQ(refresh.trek, c.trek) << "the positions shown again after Cancel";
    EXPECT_EQ(refresh.grid, c.grid);
    EXPECT_EQ(live.posFormat, 0);
    EXPECT_EQ(live.gridColour, 0x00D07000);
  }
}

TEST_F(SettingsGrid, TheProfileKeepsTheValuesInRange) {
  const struct {
    const char* key;
    std::int32_t stored;
    std::int32_t AppSettings::*field;
    std::int32_t loaded;
  } kValues[] = {
      {"PosFormat", 3, &AppSettings::posFormat, 3},
      {"PosFormat", 4, &AppSettings::posFormat, 0},
      {"PosFormat", -1, &AppSettings::posFormat, 0},
      {"GridColor", 0x00FF0000, &AppSettings::gridColour, 0x00FF0000},
      {"GridColor", 0x01000000, &AppSettings::gridColour, 0x00D07000},
      {"GraticuleColor", 0, &AppSettings::graticuleColour, 0},
      {"MagNorthColor", -5, &AppSettings::magNorthColour, 0x000000C8},
  };
  for (const auto& v : kValues) {
    SCOPED_TRACE(testing::Message() << v.key << " " << v.stored);
    m_profile.writeInt("ViewSettings", v.key, v.stored);
    AppSettings s;
    s.setSaveOnDestroy(false);
    s.Load();
    EXPECT_EQ(s.*(v.field), v.loaded);
    m_profile.writeInt("ViewSettings", v.key, 0);
  }
  // The command line's "settings set" knows the keys and their ranges.
  EXPECT_TRUE(FindSheetSetting("posformat"));
  EXPECT_EQ(ParseSheetSetting("PosFormat", "3").value, 3);
  EXPECT_FALSE(ParseSheetSetting("PosFormat", "4").error.empty());
  EXPECT_EQ(ParseSheetSetting("MagNorthColor", "0x0000FF").value, 0xFF);
}

TEST_F(SettingsGrid, ThePageChoosesTheFormatAndOkStoresIt) {
  AppSettings live;
  live.setSaveOnDestroy(false);
  SCountingRefresh refresh;
  CPrpIni dlg(live, refresh);
  dlg.show();
  auto* tabs = dlg.findChild<QTabWidget*>(QStringLiteral("settingsPages"));
  ASSERT_NE(tabs, nullptr);
  tabs->setCurrentIndex(2);
  auto* mgrs = dlg.findChild<QRadioButton*>(QStringLiteral("posFormatMgrs"));
  ASSERT_NE(mgrs, nullptr);
  EXPECT_TRUE(dlg.findChild<QRadioButton*>(QStringLiteral("posFormatDms"))->isChecked());
  mgrs->click();
  m_chooser.pushColour(0x00008000);
  auto* colour = dlg.findChild<QPushButton*>(QStringLiteral("gridColour1"));
  ASSERT_NE(colour, nullptr);
  colour->click();
  dlg.findChild<QDialogButtonBox*>(QStringLiteral("settingsButtons"))->button(QDialogButtonBox::Ok)->click();
  EXPECT_EQ(live.posFormat, 3);
  EXPECT_EQ(live.graticuleColour, 0x00008000);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "PosFormat", -1), 3);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "GraticuleColor", -1), 0x00008000);
  EXPECT_EQ(refresh.trek, 1);
  EXPECT_EQ(refresh.grid, 1);
}

}  // namespace
