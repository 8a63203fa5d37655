#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/AppSettings.h"
#include "platform/IProfileStore.h"
#include "common/TestUtil.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setProfile(&m_profile); }
  void TearDown() override { platform::setProfile(nullptr); }
  platform::CMemoryProfile m_profile;
};

TEST_F(SettingsTest, FreshProfileGivesDefaults) {
  AppSettings s;
  s.setSaveOnDestroy(false);
  s.Load();
  const std::array<std::int32_t, 9> colours = {0xFFFFFF, 0xFFFFFF, 0x000000, 0x5684B9, 0xE99747,
                                               0xF4C9A0, 0x7FA485, 0x484848, 0x97B3D4};
  EXPECT_EQ(s.colours25, colours);
  EXPECT_EQ(s.colours50, colours);
  EXPECT_EQ(s.hidden25, (std::array<std::int32_t, 8>{}));
  EXPECT_EQ(s.hidden50, (std::array<std::int32_t, 8>{}));
  EXPECT_EQ(s.dispQuality, 0);
  EXPECT_EQ(s.dispDatum, 1);
  EXPECT_EQ(s.markerDatum, 1);
  EXPECT_EQ(s.commPort, -1);
  EXPECT_EQ(s.gpsCommDatum, 1);
  EXPECT_EQ(s.sortWaypoints, -1);
  EXPECT_EQ(s.sortTracks, -1);
  EXPECT_FALSE(m_profile.contains("Vantoria", "Version")) << "loading writes nothing";
}

TEST_F(SettingsTest, HideFlagsRoundTrip) {
  m_profile.writeInt("ViewSettings", "25000Trans", 5);
  m_profile.writeInt("ViewSettings", "50000Trans", 0x80);
  {
    AppSettings s;
    s.Load();
    EXPECT_EQ(s.hidden25, (std::array<std::int32_t, 8>{1, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s.hidden50, (std::array<std::int32_t, 8>{0, 0, 0, 0, 0, 0, 0, 1}));
  }  // destroyed: saves
  EXPECT_EQ(m_profile.readInt("ViewSettings", "25000Trans", -9), 5);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "50000Trans", -9), 0x80);
  EXPECT_EQ(m_profile.readInt("Vantoria", "Version", 100), 200);
}

TEST_F(SettingsTest, UnreadableValuesFallBackToDefaults) {
  const struct {
    const char* section;
    const char* key;
    const char* stored;
    std::int32_t (*get)(const AppSettings&);
    std::int32_t want;
  } kCases[] = {
      {"ViewSettings", "25000Color_3", "blue", [](const AppSettings& s) { return s.colours25[3]; }, 0x5684B9},
      {"ViewSettings", "25000Color_3", "0x1000000", [](const AppSettings& s) { return s.colours25[3]; }, 0x5684B9},
      {"ViewSettings", "50000Color_0", "-1", [](const AppSettings& s) { return s.colours50[0]; }, 0xFFFFFF},
      {"ViewSettings", "50000Color_8", "0x00123456", [](const AppSettings& s) { return s.colours50[8]; }, 0x123456},
      {"ViewSettings", "25000Trans", "256", [](const AppSettings& s) { return packHiddenFlags(s.hidden25); }, 0},
      {"ViewSettings", "25000Trans", "-1", [](const AppSettings& s) { return packHiddenFlags(s.hidden25); }, 0},
      {"ViewSettings", "50000Trans", "12abc", [](const AppSettings& s) { return packHiddenFlags(s.hidden50); }, 0},
      {"ViewSettings", "DispQuality", "2", [](const AppSettings& s) { return s.dispQuality; }, 0},
      {"ViewSettings", "DispQuality", "1", [](const AppSettings& s) { return s.dispQuality; }, 1},
      {"ViewSettings", "DispDatum", "7", [](const AppSettings& s) { return s.dispDatum; }, 1},
      {"ViewSettings", "DispDatum", "0", [](const AppSettings& s) { return s.dispDatum; }, 0},
      {"Settings", "MarkerDatum", "", [](const AppSettings& s) { return s.markerDatum; }, 1},
      {"Settings", "CommPort", "0", [](const AppSettings& s) { return s.commPort; }, -1},
      {"Settings", "CommPort", "5", [](const AppSettings& s) { return s.commPort; }, -1},
      {"Settings", "CommPort", "3", [](const AppSettings& s) { return s.commPort; }, 3},
      {"Settings", "GPSCommDatum", "99999999999", [](const AppSettings& s) { return s.gpsCommDatum; }, 1},
      {"Settings", "Sort_Wp", "1", [](const AppSettings& s) { return s.sortWaypoints; }, -1},
      {"Settings", "Sort_Tk", "1", [](const AppSettings& s) { return s.sortTracks; }, 1},
      {"Settings", "Sort_Tk", "-2", [](const AppSettings& s) { return s.sortTracks; }, -1},
      {"Settings", "PauseSeconds", "300", [](const AppSettings& s) { return s.pauseSeconds; }, 300},
      {"Settings", "PauseSeconds", "0", [](const AppSettings& s) { return s.pauseSeconds; }, 60},
      {"Settings", "RouteFlatPace", "3000", [](const AppSettings& s) { return s.routeFlatMetresPerHour; }, 3000},
      {"Settings", "RouteFlatPace", "0", [](const AppSettings& s) { return s.routeFlatMetresPerHour; }, 4000},
      {"Settings", "RouteClimbPace", "450", [](const AppSettings& s) { return s.routeClimbMetresPerHour; }, 450},
      {"Settings", "RouteClimbPace", "x", [](const AppSettings& s) { return s.routeClimbMetresPerHour; }, 600},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.key) + " = " + c.stored);
    platform::CMemoryProfile profile;
    profile.writeString(c.section, c.key, c.stored);
    platform::setProfile(&profile);
    AppSettings s;
    s.setSaveOnDestroy(false);
    s.Load();
    EXPECT_EQ(c.get(s), c.want);
    platform::setProfile(&m_profile);
  }
}

TEST_F(SettingsTest, CopiesSaveTheirOwnValues) {
  AppSettings app;
  app.Load();
  app.commPort = 2;
  app.colours50[4] = 0x010203;
  {
    AppSettings backup(app);
    EXPECT_EQ(backup.commPort, 2);
    app.commPort = 4;
    app = backup;  // cancel
    EXPECT_EQ(app.commPort, 2);
    EXPECT_EQ(app.colours50[4], 0x010203);
  }
  EXPECT_EQ(m_profile.readInt("Settings", "CommPort", 0), 2);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "50000Color_4", 0), 0x010203);
  app.sortTracks = 1;
  app.Save();
  EXPECT_EQ(m_profile.readInt("Settings", "Sort_Tk", 0), 1);
}

TEST(SettingsProfile, UnchangedCopyRewritesTheSameIniValues) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string ini = dir.filePath("profile.ini").toStdString();
  testutil::writeFile(ini, "[ViewSettings]\n25000Trans=5\n25000Color_2=255\nDispQuality=garbage\n[Settings]\nCommPort=3\n");
  {
    platform::CSettingsProfile store(ini);
    platform::setProfile(&store);
    {
      AppSettings s;
      s.Load();
      EXPECT_EQ(s.colours25[2], 255);
      EXPECT_EQ(s.dispQuality, 0);
    }
    platform::setProfile(nullptr);
  }
  platform::CSettingsProfile reread(ini);
  EXPECT_EQ(reread.readInt("ViewSettings", "25000Trans", -1), 5);
  EXPECT_EQ(reread.readInt("ViewSettings", "25000Color_2", -1), 255);
  EXPECT_EQ(reread.readInt("ViewSettings", "DispQuality", -1), 0);
  EXPECT_EQ(reread.readInt("Settings", "CommPort", -1), 3);
  EXPECT_EQ(reread.readInt("Vantoria", "Version", -1), 200);

  const auto run = testutil::runCli({"--profile", ini, "settings"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"trans\": 5"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"commPort\": 3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"0x5684B9\""), std::string::npos) << run.out;
}

}  // namespace
