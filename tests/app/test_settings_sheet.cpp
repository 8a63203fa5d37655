// The settings sheet as a user drives it: colours chosen, layers hidden, defaults and reset with
// their questions, quality and datum, Apply / OK / Cancel against a map view showing a sheet, the
// custom colours across a restart, and `vantoria-cli settings set`.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "app/SettingsSheet.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CPrpIni.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "display/ui/CTrekDataView.h"
#include "display/ui/CVantoriaView.h"
#include "platform/IColourDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "test_doc_fixture.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrekData.h"

namespace fs = std::filesystem;
using platform::EPromptAnswer;

namespace {

constexpr std::uint32_t kRed = 0x0000FF;
constexpr std::uint32_t kGreen = 0x00FF00;

// Records what the sheet asks of the windows.
struct SRecordingRefresh : ISettingsRefresh {
  std::vector<int> colours;
  int trek = 0;
  void RefreshColours(int series) override { colours.push_back(series); }
  void RefreshTrekDisplay() override { ++trek; }
};

// Forwards to the real windows and records the calls.
struct SForwardingRefresh : ISettingsRefresh {
  CMapSettingsRefresh& to;
  SRecordingRefresh seen;
  explicit SForwardingRefresh(CMapSettingsRefresh& target) : to(target) {}
  void RefreshColours(int series) override {
    seen.RefreshColours(series);
    to.RefreshColours(series);
  }
  void RefreshTrekDisplay() override {
    seen.RefreshTrekDisplay();
    to.RefreshTrekDisplay();
  }
};

// Map layer of each column x % 4 of the test sheet: background, roads, contours, lettering.
constexpr std::uint8_t kColumnValue[4] = {0, 32, 8, 128};

// A 120 x 90 palette TIFF whose columns cycle through kColumnValue.
void writeStripedTiff(const fs::path& path) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 120);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 90);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 30);
  std::vector<uint16_t> map(256, 0);
  TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
  std::vector<uint8_t> row(120);
  for (std::size_t x = 0; x < row.size(); ++x) row[x] = kColumnValue[x % 4];
  for (uint32_t y = 0; y < 90; ++y) TIFFWriteScanline(t, row.data(), y, 0);
  TIFFClose(t);
}

// A click on a radio button or check box lands on its box, not on the empty width beside its text.
void clickBox(QAbstractButton* button) {
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// COLORREF of a rendered pixel.
std::uint32_t colourRefAt(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return std::uint32_t(qRed(p)) | (std::uint32_t(qGreen(p)) << 8) | (std::uint32_t(qBlue(p)) << 16);
}

class SettingsSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    platform::setColourDialog(&m_chooser);
    m_live.setSaveOnDestroy(false);
  }
  void TearDown() override {
    platform::setColourDialog(nullptr);
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }

  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
  platform::CScriptedColourDialog m_chooser;
  AppSettings m_live;
  SRecordingRefresh m_refresh;
};

TEST_F(SettingsSheetTest, ResetAfterDefaultReturnsToThePageAsCreated) {
  m_live.colours25[7] = 0x123456;
  m_live.hidden25[2] = 1;  // contours hidden
  CColourPageModel page(m_live, 1);
  m_chooser.pushColour(kRed);
  ASSERT_TRUE(page.ChooseColour(7));
  page.SetHidden(5, true);
  EXPECT_EQ(m_chooser.requests().front().initial, 0x123456u) << "the chooser opens on the slot's colour";

  const auto question = [this](const char* text) {
    ASSERT_EQ(m_prompt.requests().size(), 1u);
    const platform::SPromptRequest& r = m_prompt.requests().front();
    EXPECT_EQ(r.text, text);
    EXPECT_EQ(r.icon, platform::EPromptIcon::Question);
    EXPECT_EQ(r.buttons, platform::EPromptButtons::OkCancel);
    EXPECT_EQ(r.caption, "Vantoria");
    m_prompt.clear();
  };
  // Each question answered Cancel first (nothing changes), then OK.
  m_prompt.push(EPromptAnswer::Cancel);
  EXPECT_FALSE(page.DefaultColours());
  question("表示色の設定をデフォルトの配色に戻しますか?");
  EXPECT_EQ(page.colours()[7], std::int32_t(kRed));
  m_prompt.push(EPromptAnswer::Ok);
  EXPECT_TRUE(page.DefaultColours());
  question("表示色の設定をデフォルトの配色に戻しますか?");
  EXPECT_EQ(page.colours(), AppSettings::kDefaultColours);
  EXPECT_EQ(page.hidden(), (CColourPageModel::Flags{0, 0, 1, 0, 1, 0, 0, 0})) << "the defaults leave the hide flags";

  m_prompt.push(EPromptAnswer::Cancel);
  EXPECT_FALSE(page.Reset());
  question("表示色と表示項目の設定を変更前の状態に戻しますか?");
  m_prompt.push(EPromptAnswer::Ok);
  EXPECT_TRUE(page.Reset());
  question("表示色と表示項目の設定を変更前の状態に戻しますか?");
  EXPECT_EQ(page.colours(), m_live.colours25);
  EXPECT_EQ(page.hidden(), m_live.hidden25);
  EXPECT_TRUE(page.modified());
}

TEST_F(SettingsSheetTest, EachChangeRefreshesOnlyWhatItConcerns) {
  const struct {
    const char* name;
    std::function<void(CSettingsSheet&)> edit;
    std::vector<int> applyRenders;  // series passed by Apply
    int applyTrek;
    std::vector<int> cancelRenders;  // series passed by Cancel after the Apply
  } kCases[] = {
      {"nothing", [](CSettingsSheet&) {}, {}, 0, {}},
      {"1:50,000 colour", [](CSettingsSheet& s) { s.colours50().SetHidden(3, true); }, {2}, 0, {2}},
      {"1:25,000 colour", [](CSettingsSheet& s) { s.colours25().SetHidden(8, true); }, {1}, 0, {1}},
      {"both series",
       [](CSettingsSheet& s) {
         s.colours25().SetHidden(8, true);
         s.colours50().SetHidden(8, true);
       },
       {1, 2}, 0, {-1}},
      {"quality", [](CSettingsSheet& s) { s.view().SetQuality(1); }, {-1}, 0, {-1}},
      {"datum", [](CSettingsSheet& s) { s.view().SetDatum(0); }, {}, 1, {}},
      {"datum clicked unchanged", [](CSettingsSheet& s) { s.view().SetDatum(1); }, {}, 0, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    AppSettings live;
    live.setSaveOnDestroy(false);
    SRecordingRefresh refresh;
    CSettingsSheet sheet(live, refresh);
    for (const auto page : {CSettingsSheet::EPage::Colours25, CSettingsSheet::EPage::Colours50, CSettingsSheet::EPage::View})
      sheet.PageShown(page);
    c.edit(sheet);
    sheet.Apply();
    EXPECT_EQ(refresh.colours, c.applyRenders);
    EXPECT_EQ(refresh.trek, c.applyTrek);
    EXPECT_FALSE(sheet.anyModified());
    refresh = {};
    sheet.Cancel();
    EXPECT_EQ(refresh.colours, c.cancelRenders);
    EXPECT_EQ(refresh.trek, c.applyTrek) << "the datum shown again after Cancel";
    EXPECT_EQ(live.hidden25, AppSettings().hidden25);
    EXPECT_EQ(live.hidden50, AppSettings().hidden50);
    EXPECT_EQ(live.dispQuality, 0);
    EXPECT_EQ(live.dispDatum, 1);
  }
}

TEST_F(SettingsSheetTest, OkStoresTheSheetAndTheProfileKeepsIt) {
  {
    CSettingsSheet sheet(m_live, m_refresh);
    sheet.PageShown(CSettingsSheet::EPage::View);
    sheet.view().SetQuality(1);
    sheet.view().SetDatum(0);
    sheet.Apply();
    sheet.view().SetDatum(1);
    sheet.Ok();
  }  // the backup goes here and must not write the values from before the sheet
  EXPECT_EQ(m_live.dispQuality, 1);
  EXPECT_EQ(m_live.dispDatum, 1);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "DispQuality", -9), 1);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "DispDatum", -9), 1);
  EXPECT_EQ(m_refresh.colours, (std::vector<int>{-1}));
  EXPECT_EQ(m_refresh.trek, 2);
}

TEST_F(SettingsSheetTest, CustomColoursSurviveARestart) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string ini = dir.filePath("profile.ini").toStdString();
  {
    platform::CSettingsProfile store(ini);
    platform::setProfile(&store);
    CSettingsSheet sheet(m_live, m_refresh);
    for (const std::uint32_t c : sheet.colours25().customColours()) EXPECT_EQ(c, 0xFFFFFFu);
    // 1:25,000 page: a custom colour defined, the chooser then cancelled; the 1:50,000 page is
    // only looked at and must not overwrite it.
    m_chooser.pushCustom(5, 0x336699, false);
    EXPECT_FALSE(sheet.colours25().ChooseColour(2));
    sheet.PageShown(CSettingsSheet::EPage::Colours25);
    sheet.PageShown(CSettingsSheet::EPage::Colours50);
    sheet.Cancel();
    sheet.Close();
    platform::setProfile(&m_profile);
  }
  platform::CSettingsProfile restarted(ini);
  platform::setProfile(&restarted);
  CSettingsSheet sheet(m_live, m_refresh);
  m_chooser.pushColour(kGreen);
  ASSERT_TRUE(sheet.colours50().ChooseColour(4));
  const platform::CustomColours offered = m_chooser.requests().back().custom;
  EXPECT_EQ(offered[5], 0x336699u);
  EXPECT_EQ(offered[0], 0xFFFFFFu);
  EXPECT_EQ(restarted.readInt("CustumColors", "COLOR_5", -1), 0x336699);
  platform::setProfile(&m_profile);
}

// ---- the sheet on screen, over a map view showing a striped 1:25,000 sheet at 100 %

class SettingsSheetOnMap : public SettingsSheetTest {
 protected:
  void SetUp() override {
    SettingsSheetTest::SetUp();
    ASSERT_TRUE(m_dir.isValid());
    const fs::path index = apptest::writeMapTree(fs::path(m_dir.path().toStdString()) / "map");
    writeStripedTiff(index.parent_path() / "5339" / "533900.tif");
    m_view = std::make_unique<CVantoriaView>(m_doc);
    m_view->setSettings(&m_live);
    m_view->resize(300, 200);
    m_view->show();
    ASSERT_TRUE(m_doc.OpenIndexFile(index));
    m_doc.LoadSheet(0, 0);
    ASSERT_TRUE(m_view->hasMap());
    m_view->SetMagnification(100);
  }
  void TearDown() override {
    m_view.reset();
    SettingsSheetTest::TearDown();
  }
  const QImage& map() const { return m_view->canvas().bitmap().Surface(); }
  QPushButton* button(CPrpIni& sheet, QDialogButtonBox::StandardButton which) {
    return sheet.findChild<QDialogButtonBox*>(QStringLiteral("settingsButtons"))->button(which);
  }
  template <typename T>
  T* child(QWidget& parent, const char* name) {
    T* w = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void showPage(CPrpIni& sheet, int index) {
    sheet.findChild<QTabWidget*>(QStringLiteral("settingsPages"))->setCurrentIndex(index);
  }

  QTemporaryDir m_dir;
  CVantoriaDoc m_doc;
  std::unique_ptr<CVantoriaView> m_view;
};

TEST_F(SettingsSheetOnMap, ApplyThenCancelReturnsTheMapToItsColours) {
  const std::uint32_t roads = colourRefAt(map(), 1, 0);
  const std::uint32_t contours = colourRefAt(map(), 2, 0);
  ASSERT_EQ(roads, 0x484848u);
  ASSERT_EQ(contours, 0x5684B9u);
  CMapSettingsRefresh target(m_view.get(), &m_doc);
  CPrpIni sheet(m_live, target);
  sheet.show();
  QWidget* page = child<QWidget>(sheet, "prpIniColor25");
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(button(sheet, QDialogButtonBox::Apply)->isEnabled());
  m_chooser.pushColour(kRed);
  QTest::mouseClick(child<QPushButton>(*page, "colour7"), Qt::LeftButton);
  clickBox(child<QCheckBox>(*page, "hide3"));
  EXPECT_EQ(colourRefAt(map(), 1, 0), roads) << "nothing reaches the map before Apply";
  ASSERT_TRUE(button(sheet, QDialogButtonBox::Apply)->isEnabled());
  QTest::mouseClick(button(sheet, QDialogButtonBox::Apply), Qt::LeftButton);
  EXPECT_EQ(colourRefAt(map(), 1, 0), kRed);
  EXPECT_EQ(colourRefAt(map(), 2, 0), 0xFFFFFFu) << "hidden contours show the background";
  EXPECT_FALSE(button(sheet, QDialogButtonBox::Apply)->isEnabled());
  QTest::mouseClick(button(sheet, QDialogButtonBox::Cancel), Qt::LeftButton);
  EXPECT_FALSE(sheet.isVisible());
  EXPECT_EQ(colourRefAt(map(), 1, 0), roads);
  EXPECT_EQ(colourRefAt(map(), 2, 0), contours);
  EXPECT_EQ(m_live.colours25[7], 0x484848);
  EXPECT_EQ(m_live.hidden25[2], 0);
}

TEST_F(SettingsSheetOnMap, SampleFieldsShowTheirColoursAndResetRestoresTheBoxes) {
  m_live.colours25[1] = 0x0080FF;  // red 255 + green 128 = 383
  m_live.colours25[2] = 0x0081FF;  // 384
  m_live.hidden25[4] = 1;
  SRecordingRefresh refresh;
  CPrpIni sheet(m_live, refresh);
  sheet.show();
  QWidget* page = child<QWidget>(sheet, "prpIniColor25");
  ASSERT_NE(page, nullptr);
  const QColor normalText = page->palette().color(QPalette::WindowText);
  ASSERT_NE(normalText, QColor(Qt::white));
  const struct {
    const char* sample;
    QColor background;
    QColor text;
  } kCases[] = {
      {"sample0", QColor(255, 255, 255), normalText},
      {"sample1", QColor(255, 128, 0), QColor(Qt::white)},
      {"sample2", QColor(255, 129, 0), normalText},
      {"sample7", QColor(0x48, 0x48, 0x48), QColor(Qt::white)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sample);
    const QLabel* sample = child<QLabel>(*page, c.sample);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->palette().color(QPalette::Window), c.background);
    EXPECT_EQ(sample->palette().color(QPalette::WindowText), c.text);
  }
  EXPECT_EQ(child<QLabel>(*child<QWidget>(sheet, "prpIniColor50"), "sample3")->text(),
            QStringLiteral("等高線、崖、土堤、温室、畜舎、タンクなど"));
  EXPECT_EQ(child<QLabel>(*page, "sample3")->text(), QStringLiteral("等高線、崖、土堤など"));

  QCheckBox* hide5 = child<QCheckBox>(*page, "hide5");
  EXPECT_TRUE(hide5->isChecked());
  clickBox(hide5);
  m_prompt.push(EPromptAnswer::Ok);
  QTest::mouseClick(child<QPushButton>(*page, "defaultColours"), Qt::LeftButton);
  EXPECT_EQ(child<QLabel>(*page, "sample2")->palette().color(QPalette::WindowText), QColor(Qt::white))
      << "default lettering is black";
  m_prompt.push(EPromptAnswer::Ok);
  QTest::mouseClick(child<QPushButton>(*page, "resetColours"), Qt::LeftButton);
  EXPECT_TRUE(hide5->isChecked());
  EXPECT_EQ(child<QLabel>(*page, "sample1")->palette().color(QPalette::Window), QColor(255, 128, 0));
  EXPECT_EQ(child<QLabel>(*page, "sample2")->palette().color(QPalette::WindowText), normalText);
  EXPECT_EQ(m_prompt.requests().size(), 2u);
}

TEST_F(SettingsSheetOnMap, OtherSeriesPageDoesNotRenderTheSheetAgain) {
  CMapSettingsRefresh target(m_view.get(), &m_doc);
  SForwardingRefresh refresh(target);
  CPrpIni sheet(m_live, refresh);
  sheet.show();
  showPage(sheet, 1);
  QWidget* page = child<QWidget>(sheet, "prpIniColor50");
  ASSERT_NE(page, nullptr);
  m_chooser.pushColour(kRed);
  QTest::mouseClick(child<QPushButton>(*page, "colour7"), Qt::LeftButton);
  // The sheet's own pixels change behind the canvas: only a new render would show them.
  m_doc.Image().scanLine(0)[0] = 32;
  const std::uint32_t before = colourRefAt(map(), 0, 0);
  QTest::mouseClick(button(sheet, QDialogButtonBox::Ok), Qt::LeftButton);
  EXPECT_EQ(refresh.seen.colours, (std::vector<int>{2}));
  EXPECT_EQ(colourRefAt(map(), 0, 0), before) << "a 1:25,000 sheet is not rendered for 1:50,000 colours";
  EXPECT_EQ(m_live.colours50[7], std::int32_t(kRed));
  EXPECT_EQ(m_live.colours25[7], 0x484848);
}

TEST_F(SettingsSheetOnMap, QualityChangesThePixelsAtThirtySevenPercent) {
  m_view->SetMagnification(37);
  const QImage speed = map().copy();
  CMapSettingsRefresh target(m_view.get(), &m_doc);
  CPrpIni sheet(m_live, target);
  sheet.show();
  showPage(sheet, 2);
  QWidget* page = child<QWidget>(sheet, "prpIniView");
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(child<QRadioButton>(*page, "qualitySpeed")->isChecked());
  clickBox(child<QRadioButton>(*page, "qualityQuality"));
  QTest::mouseClick(button(sheet, QDialogButtonBox::Ok), Qt::LeftButton);
  EXPECT_EQ(m_live.dispQuality, 1);
  ASSERT_EQ(map().size(), speed.size());
  EXPECT_EQ(map().size(), QSize(44, 33));
  // Nearest pixel shows pure layer colours; area averaging mixes the striped columns.
  const QList<std::uint32_t> pure = {0xFFFFFF, 0x484848, 0x5684B9, 0x000000};
  int mixed = 0;
  for (int x = 0; x < map().width(); ++x) {
    EXPECT_TRUE(pure.contains(colourRefAt(speed, x, 10))) << x;
    if (!pure.contains(colourRefAt(map(), x, 10))) ++mixed;
  }
  EXPECT_GT(mixed, map().width() / 2);
}

TEST_F(SettingsSheetOnMap, UnknownDatumShowsNeitherRadioAndOkStoresTokyo) {
  const struct {
    const char* name;
    int stored;
    bool wgs84, tokyo;
  } kCases[] = {{"WGS-84", 0, true, false}, {"Tokyo", 1, false, true}, {"other", 7, false, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    m_live.dispDatum = c.stored;
    SRecordingRefresh refresh;
    CPrpIni sheet(m_live, refresh);
    sheet.show();
    showPage(sheet, 2);
    QWidget* page = child<QWidget>(sheet, "prpIniView");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(child<QRadioButton>(*page, "datumWgs84")->isChecked(), c.wgs84);
    EXPECT_EQ(child<QRadioButton>(*page, "datumTokyo")->isChecked(), c.tokyo);
    EXPECT_EQ(child<QRadioButton>(*page, "datumWgs84")->text(), QStringLiteral("&WGS-84/JGD2000 測地系で表示"));
    EXPECT_EQ(child<QRadioButton>(*page, "qualitySpeed")->text(), QStringLiteral("表示速度優先(&P)"));
    QTest::mouseClick(button(sheet, QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_EQ(m_live.dispDatum, c.stored == 0 ? 0 : 1);
  }
}

// The whole command: the user opens the sheet from the frame, recolours roads, hides contours,
// switches to quality and WGS-84, and sees the map and the trek view follow.
TEST_F(SettingsSheetTest, SettingsCommandChangesMapAndTrekView) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path index = apptest::writeMapTree(fs::path(dir.path().toStdString()) / "map");
  writeStripedTiff(index.parent_path() / "5339" / "533900.tif");
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index.string())}, false));
  app.Settings().setSaveOnDestroy(false);
  app.Frame()->resize(900, 700);
  app.Frame()->show();
  app.Doc()->LoadSheet(0, 0);
  CVantoriaView& view = *app.Frame()->MapView();
  view.SetMagnification(100);
  auto group = std::make_unique<CTrekData>();
  group->SetKind(kTrekWaypointGroup);
  group->SetGroupName("g");
  auto point = std::make_unique<CMarkerPoint>();
  point->name = "Peak";
  point->SetPosition(DmsAngle(35, 22, 0.0), DmsAngle(139, 3, 0.0), Datum::Wgs84);
  CMarkerPoint* peak = point.get();
  group->AppendWaypoint(std::move(point));
  ASSERT_EQ(app.Doc()->TrekGroups().AppendGroup(std::move(group)), 0);
  ASSERT_TRUE(app.Doc()->TrekGroups().Select({kTrekWaypoint, 0, peak, nullptr, -1}));
  const CTrekDataView* trekView = app.Frame()->findChild<CTrekDataView*>(QStringLiteral("trekView"));
  ASSERT_NE(trekView, nullptr);
  EXPECT_EQ(trekView->label(1), QStringLiteral("北緯(Tokyo)"));

  bool ran = false;
  m_chooser.pushColour(kRed);
  QTimer::singleShot(0, [&] {
    auto* sheet = app.Frame()->findChild<CPrpIni*>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isModal());
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Vantoriaの設定"));
    auto* tabs = sheet->findChild<QTabWidget*>(QStringLiteral("settingsPages"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("数値地図25000の色"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("表示"));
    QWidget* colours = sheet->findChild<QWidget*>(QStringLiteral("prpIniColor25"));
    QTest::mouseClick(colours->findChild<QPushButton*>(QStringLiteral("colour7")), Qt::LeftButton);
    clickBox(colours->findChild<QCheckBox*>(QStringLiteral("hide3")));
    tabs->setCurrentIndex(2);
    QWidget* viewPage = sheet->findChild<QWidget*>(QStringLiteral("prpIniView"));
    clickBox(viewPage->findChild<QRadioButton*>(QStringLiteral("qualityQuality")));
    clickBox(viewPage->findChild<QRadioButton*>(QStringLiteral("datumWgs84")));
    QTest::mouseClick(sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    ran = true;
  });
  app.Frame()->Action(cmd::Settings)->trigger();
  ASSERT_TRUE(ran);
  const QImage& map = view.canvas().bitmap().Surface();
  EXPECT_EQ(colourRefAt(map, 1, 0), kRed);
  EXPECT_EQ(colourRefAt(map, 2, 0), 0xFFFFFFu);
  EXPECT_EQ(trekView->label(1), QStringLiteral("北緯(WGS-84)"));
  EXPECT_EQ(trekView->value(1), QStringLiteral("35度22分0.00秒"));
  EXPECT_EQ(app.Settings().dispQuality, 1);
  EXPECT_EQ(m_profile.readInt("ViewSettings", "25000Color_7", -1), std::int32_t(kRed));
  EXPECT_EQ(m_profile.readInt("ViewSettings", "25000Trans", -1), 4);
}

// ---- vantoria-cli settings set

TEST(SettingsSetCommand, StoresOneValueOrRefusesAndChangesNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string ini = dir.filePath("profile.ini").toStdString();
  const std::string original = "[ViewSettings]\n25000Color_7=1234\nDispDatum=1\n";
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* section;
    const char* key;
    std::int32_t want;  // stored value; -1: refused
    const char* error;  // part of the message
  } kCases[] = {
      {"road colour hex", {"25000Color_7", "0x0000FF"}, "ViewSettings", "25000Color_7", 0xFF, nullptr},
      {"key in any case", {"dispdatum", "0"}, "ViewSettings", "DispDatum", 0, nullptr},
      {"hidden layers", {"50000Trans", "255"}, "ViewSettings", "50000Trans", 255, nullptr},
      {"custom colour", {"COLOR_15", "16777215"}, "CustumColors", "COLOR_15", 0xFFFFFF, nullptr},
      {"quality", {"DispQuality", "1"}, "ViewSettings", "DispQuality", 1, nullptr},
      {"datum 2", {"DispDatum", "2"}, nullptr, nullptr, -1, "DispDatum takes 0 to 1, not \"2\""},
      {"colour too large", {"25000Color_7", "0x1000000"}, nullptr, nullptr, -1, "0x000000 to 0xFFFFFF"},
      {"negative colour", {"50000Color_0", "-1"}, nullptr, nullptr, -1, "50000Color_0 takes"},
      {"trans 256", {"25000Trans", "256"}, nullptr, nullptr, -1, "0 to 255"},
      {"not a number", {"DispQuality", "fast"}, nullptr, nullptr, -1, "not \"fast\""},
      {"slot 9", {"25000Color_9", "0"}, nullptr, nullptr, -1, "unknown setting 25000Color_9"},
      {"a key the sheet does not edit", {"CommPort", "2"}, nullptr, nullptr, -1, "unknown setting CommPort"},
      {"value missing", {"DispDatum"}, nullptr, nullptr, -1, "expected KEY VALUE"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    testutil::writeFile(ini, original);
    std::vector<std::string> args = {"--profile", ini, "settings", "set"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = testutil::runCli(args);
    if (c.want < 0) {
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      EXPECT_EQ(testutil::readFile(ini), original);
      continue;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    platform::CSettingsProfile store(ini);
    EXPECT_EQ(store.readInt(c.section, c.key, -1), c.want);
    if (std::string(c.key) != "25000Color_7") {
      EXPECT_EQ(store.readInt("ViewSettings", "25000Color_7", -1), 1234) << "other values stay";
    }
  }
  // What was set is what the program then uses.
  testutil::writeFile(ini, original);
  ASSERT_EQ(testutil::runCli({"--profile", ini, "settings", "set", "DispDatum", "0"}).status, 0);
  const auto shown = testutil::runCli({"--profile", ini, "settings"});
  EXPECT_NE(shown.out.find("\"dispDatum\": 0"), std::string::npos) << shown.out;
}

}  // namespace
