#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "common/TestUtil.h"
#include "display/ScaledSheetBitmap.h"
#include "display/ui/CVantoriaView.h"
#include "output/MapImageExport.h"
#include "output/WorldFile.h"
#include "output/ui/CDlgSavemapOption.h"
#include "output/ui/CMapImageSaver.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace fs = std::filesystem;

namespace {

TEST(DlgSavemapOption, EnablingFollowsTheTrekDataAndTheChecks) {
  const struct {
    const char* name;
    std::int32_t stored;
    bool tracks, waypoints;
    std::vector<const char*> clicks;     // check boxes clicked, in turn
    std::array<bool, 4> enabled;         // lines, track names, icons, waypoint names
    std::array<bool, 4> checked;
    std::int32_t options;
  } kCases[] = {
      {"both kinds, all on", 15, true, true, {}, {true, true, true, true}, {true, true, true, true}, 15},
      {"no track logs", 15, false, true, {}, {false, false, true, true}, {true, true, true, true}, 15},
      {"no waypoints", 15, true, false, {}, {true, true, false, false}, {true, true, true, true}, 15},
      {"name bit without its line", 10, true, true, {}, {true, false, true, false}, {false, false, false, false}, 0},
      {"line off disables its name", 15, true, true, {"trackLines"}, {true, false, true, true},
       {false, true, true, true}, 12},
      {"icon on enables its name", 1, true, true, {"waypointIcons"}, {true, true, true, true},
       {true, false, true, false}, 5},
      {"names toggled", 5, true, true, {"trackNames", "waypointNames"}, {true, true, true, true},
       {true, true, true, true}, 15},
  };
  const char* const kNames[] = {"trackLines", "trackNames", "waypointIcons", "waypointNames"};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CDlgSavemapOption dlg(c.stored, c.tracks, c.waypoints);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("地形図の保存オプション"));
    for (const char* click : c.clicks) QTest::mouseClick(dlg.findChild<QCheckBox*>(click), Qt::LeftButton);
    for (int i = 0; i < 4; ++i) {
      auto* box = dlg.findChild<QCheckBox*>(kNames[i]);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->isEnabled(), c.enabled[std::size_t(i)]) << kNames[i];
      EXPECT_EQ(box->isChecked(), c.checked[std::size_t(i)]) << kNames[i];
    }
    EXPECT_EQ(dlg.options(), c.options);
  }
  CDlgSavemapOption dlg(15, true, true);
  const QStringList texts = {dlg.findChild<QCheckBox*>("trackLines")->text(), dlg.findChild<QCheckBox*>("trackNames")->text(),
                             dlg.findChild<QCheckBox*>("waypointIcons")->text(),
                             dlg.findChild<QCheckBox*>("waypointNames")->text()};
  EXPECT_EQ(texts, (QStringList{"トラックログラインを出力(&T)", "トラックログ名を出力(&K)", "ウェイポイントアイコンを出力(&W)",
                                "ウェイポイント名を出力(&Y)"}));
  EXPECT_EQ(dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

// A shown map view at 50 % on the sample sheet 543940, scripted dialogs and prompt.
class CSaverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    platform::setFileDialog(&m_dialog);
    m_settings.setSaveOnDestroy(false);
    ASSERT_TRUE(m_dir.isValid());
    const fs::path index = testutil::sampleDir() / "map25000" / "index.csv";
    m_doc = std::make_unique<CVantoriaDoc>();
    m_view = std::make_unique<CVantoriaView>(*m_doc);
    m_view->setSettings(&m_settings);
    m_view->resize(640, 480);
    m_view->show();
    ASSERT_TRUE(m_doc->OpenIndexFile(index));
    const SheetCatalogue& cat = m_doc->Catalogue();
    for (int a = 0; a < cat.areaCount(); ++a)
      for (int s = 0; s < kSlotsPerArea; ++s)
        if (const SheetSlot* slot = cat.slot(a, s); slot && slot->meshCode == "543940") m_doc->LoadSheet(a, s);
    ASSERT_TRUE(m_view->hasMap());
    m_view->SetMagnification(50);
    m_displaySize = m_view->canvas().bitmap().Size();
    m_saver = std::make_unique<CMapImageSaver>(*m_view, *m_doc);
    m_saver->setOptionsDialog([this](std::int32_t options, const map_export::STrekKinds& kinds) {
      m_asked.push_back({options, kinds.trackLogs, kinds.waypoints});
      return m_answer;
    });
    QObject::connect(m_doc.get(), &CVantoriaDoc::progressBegin, [this](const QString& t) { m_progress.push_back(-1), m_progressText = t; });
    QObject::connect(m_doc.get(), &CVantoriaDoc::progressStep, [this](int p) { m_progress.push_back(p); });
    QObject::connect(m_doc.get(), &CVantoriaDoc::progressEnd, [this] { m_progress.push_back(-2); });
  }
  void TearDown() override {
    m_saver.reset();
    m_view.reset();
    m_doc.reset();
    platform::setFileDialog(nullptr);
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }
  void openSampleTreks() {
    ASSERT_GT(m_doc->TrekGroups().OpenTrekFile(testutil::sampleDir() / "treks" / "peaks.pmd"), 0);
    ASSERT_GT(m_doc->TrekGroups().OpenTrekFile(testutil::sampleDir() / "treks" / "tracks.ptd"), 0);
  }
  // The view shows its own magnification again, painting as usual.
  void expectViewRestored() {
    EXPECT_EQ(m_view->canvas().bitmap().Size(), m_displaySize);
    EXPECT_FALSE(m_view->canvas().paintingSuspended());
    EXPECT_EQ(m_view->magnification(), 50);
  }
  fs::path path(const char* name) const { return fs::path(m_dir.path().toStdString()) / name; }
  // The sheet at 100 % in the view's colours.
  QImage fullSheet() {
    ScaledSheetBitmap b;
    b.setSource(&m_doc->Image());
    b.setRenderSettings(m_settings.mapRenderSettings());
    b.Render(1.0, 1, ScaledSheetBitmap::EResample::Nearest);
    return b.Surface().copy();
  }

  struct SAsked {
    std::int32_t options;
    bool tracks, waypoints;
  };
  QTemporaryDir m_dir;
  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
  platform::CScriptedFileDialog m_dialog;
  AppSettings m_settings;
  std::unique_ptr<CVantoriaDoc> m_doc;
  std::unique_ptr<CVantoriaView> m_view;
  std::unique_ptr<CMapImageSaver> m_saver;
  QSize m_displaySize;
  std::vector<SAsked> m_asked;
  std::optional<std::int32_t> m_answer;
  std::vector<int> m_progress;
  QString m_progressText;
};

TEST_F(CSaverTest, WithoutTrekDataNoOptionsAndNoOverlays) {
  m_profile.writeInt("Settings", "SaveMapimgOption", 15);
  m_dialog.pushPath(path("plain"), 1);
  const QRect selection(100, 150, 640, 520);
  ASSERT_TRUE(m_saver->SaveSelectionCommand(selection));
  EXPECT_TRUE(m_asked.empty());
  EXPECT_TRUE(m_prompt.requests().empty());
  const QImage saved(QString::fromStdString(path("plain.png").string()));
  ASSERT_EQ(saved.size(), selection.size());
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), fullSheet().copy(selection));
  EXPECT_TRUE(fs::exists(path("plain.pgw")));
  EXPECT_TRUE(fs::exists(path("plain.prj")));
  EXPECT_EQ(m_profile.readString("FileDlgSettings", "SaveMapImg", ""), m_dir.path().toStdString());
  // Progress: begun with the text, whole percents rising to 100, ended.
  EXPECT_EQ(m_progressText, QStringLiteral("地形図をファイルに保存しています..."));
  ASSERT_GE(m_progress.size(), 3u);
  EXPECT_EQ(m_progress.front(), -1);
  EXPECT_EQ(m_progress.back(), -2);
  EXPECT_EQ(m_progress[m_progress.size() - 2], 100);
  EXPECT_TRUE(std::is_sorted(m_progress.begin() + 1, m_progress.end() - 1));
  EXPECT_LE(m_progress.size(), 104u) << "one step per percent at most";
  expectViewRestored();
}

TEST_F(CSaverTest, OptionsDialogWithTrekData) {
  openSampleTreks();
  m_profile.writeInt("Settings", "SaveMapimgOption", 6);
  m_answer = std::nullopt;  // Cancel: nothing else happens
  EXPECT_FALSE(m_saver->SaveSelectionCommand(QRect(0, 0, 300, 300)));
  ASSERT_EQ(m_asked.size(), 1u);
  EXPECT_EQ(m_asked[0].options, 4) << "the name bit without its line does not count";
  EXPECT_TRUE(m_asked[0].tracks);
  EXPECT_TRUE(m_asked[0].waypoints);
  EXPECT_TRUE(m_dialog.requests().empty());
  EXPECT_EQ(m_profile.readInt("Settings", "SaveMapimgOption", -1), 6);

  // OK stores the choice; the file dialog cancelled ends without a message.
  m_answer = 13;
  EXPECT_FALSE(m_saver->SaveSelectionCommand(QRect(0, 0, 300, 300)));
  EXPECT_EQ(m_profile.readInt("Settings", "SaveMapimgOption", -1), 13);
  EXPECT_EQ(m_dialog.requests().size(), 1u);
  EXPECT_TRUE(m_prompt.requests().empty());
  expectViewRestored();

  // Saved with overlays: the picture differs from the bare sheet.
  m_dialog.pushPath(path("treks.bmp"), 1);
  const QRect whole(QPoint(0, 0), fullSheet().size());
  ASSERT_TRUE(m_saver->SaveSelectionCommand(whole));
  const QImage saved(QString::fromStdString(path("treks.bmp").string()));
  ASSERT_EQ(saved.size(), whole.size());
  EXPECT_NE(saved.convertToFormat(QImage::Format_RGB32), fullSheet());
  EXPECT_TRUE(fs::exists(path("treks.bpw")));
  expectViewRestored();
}

TEST_F(CSaverTest, FailedSaveIsReported) {
  m_dialog.pushPath(path("missing/map.png"), 1);
  EXPECT_FALSE(m_saver->SaveSelectionCommand(QRect(0, 0, 50, 50)));
  EXPECT_EQ(m_prompt.texts(), std::vector<std::string>{"地形図の保存に失敗しました。"});
  EXPECT_EQ(m_prompt.requests().front().icon, platform::EPromptIcon::Error);
  EXPECT_FALSE(fs::exists(path("missing")));
  expectViewRestored();
}

}  // namespace
