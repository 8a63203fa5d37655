#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/CVantoriaDoc.h"
#include "FrameFixture.h"
#include "test_doc_fixture.h"

namespace {

using apptest::writeMapTree;

class DocTest : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(FrameFixture::SetUp());
    m_index = writeMapTree(root());
  }
  std::filesystem::path m_index;
};

DmsAngle secs(int s) { return DmsAngle::FromTotalSeconds(s); }
constexpr int kSouth = 35 * 3600 + 20 * 60, kWest = 139 * 3600;

TEST_F(DocTest, OpenIndexCommandRemembersFolderAndAddsRecentEntry) {
  CVantoriaDoc doc;
  m_dialog.pushPath(m_index);
  QSignalSpy opened(&doc, &CVantoriaDoc::catalogueOpened);
  doc.onCommand(cmd::OpenIndex);

  ASSERT_EQ(m_dialog.requests().size(), 1u);
  EXPECT_EQ(m_dialog.requests()[0].title, "数値地図を開く");
  EXPECT_EQ(m_dialog.requests()[0].filter, "数値地図インデックスファイル(index.csv)|index.csv||");
  EXPECT_EQ(m_dialog.requests()[0].initialDir, std::filesystem::path("C:\\"));
  EXPECT_EQ(opened.count(), 1);
  EXPECT_EQ(doc.Catalogue().areaCount(), 2);
  EXPECT_EQ(doc.Series(), MapSeries::Scale25000);
  EXPECT_EQ(m_profile.readString("FileDlgSettings", "open", ""), root().string());
  ASSERT_EQ(doc.RecentList().size(), 1);
  EXPECT_EQ(doc.RecentList().entries()[0], m_index.string() + " | 数値地図25000 [ 東京 ] [ 宇都宮 ] ");
  EXPECT_EQ(m_profile.readString("Recent File List", "File1", ""), doc.RecentList().entries()[0]);

  // A second run starts in the remembered folder.
  m_dialog.pushCancel();
  doc.onCommand(cmd::OpenIndex);
  EXPECT_EQ(m_dialog.requests()[1].initialDir, root());
}

TEST_F(DocTest, FolderWithoutBothFilesOpensNothingAndSaysWhy) {
  for (const char* missing : {"kanri.csv", "index.csv"}) {
    SCOPED_TRACE(missing);
    QTemporaryDir other;
    const auto dir = std::filesystem::path(other.path().toStdString());
    writeMapTree(dir);
    std::filesystem::remove(dir / missing);
    CVantoriaDoc doc;
    m_dialog.pushPath(dir / "index.csv");
    doc.onCommand(cmd::OpenIndex);
    EXPECT_TRUE(doc.Catalogue().empty());
    EXPECT_EQ(doc.RecentList().size(), 0);
    EXPECT_FALSE(m_profile.contains("FileDlgSettings", "open"));
    ASSERT_EQ(m_prompt.requests().size(), 1u);
    const std::string reason = missing == std::string("kanri.csv") ? "同じフォルダに kanri.csv がありません。"
                                                                   : "ファイルが見つかりません。";
    EXPECT_EQ(m_prompt.requests()[0].text,
              "地形図インデックスファイル [ " + (dir / "index.csv").string() + " ] を開く事ができませんでした。\r\n" + reason);
    EXPECT_EQ(m_prompt.requests()[0].icon, platform::EPromptIcon::Error);
    m_prompt.clear();
  }
}

TEST_F(DocTest, PreviewShowsAreaNamesAndSeries) {
  const struct {
    const char* name;
    int series;
    const char* text;
  } kCases[] = {{"1:25,000", 1, "数値地図 25000 (地図画像)"}, {"1:50,000", 2, "数値地図 50000 (地図画像)"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir d;
    const auto index = writeMapTree(std::filesystem::path(d.path().toStdString()), c.series);
    const SIndexPreview p = PreviewIndexFile(index);
    EXPECT_EQ(p.areaNames, "[ 東京 ] [ 宇都宮 ] ");
    EXPECT_EQ(p.seriesText, c.text);
  }
  QTemporaryDir d;
  const auto dir = std::filesystem::path(d.path().toStdString());
  testutil::writeFile(dir / "index.csv", "5339,A,B\r\nno comma\r\n5340,C");
  const SIndexPreview p = PreviewIndexFile(dir / "index.csv");
  EXPECT_EQ(p.areaNames, "[ A,B ] ") << "a line without a comma ends the list";
  EXPECT_EQ(p.seriesText, "");
}

TEST_F(DocTest, RecentListKeepsTenNewestWithoutDuplicates) {
  CRecentIndexList list;
  for (int i = 0; i < 12; ++i) list.Add("/maps/" + std::to_string(i) + "/index.csv | x");
  list.Add("/maps/5/index.csv | again");
  ASSERT_EQ(list.size(), 10);
  EXPECT_EQ(list.entries()[0], "/maps/5/index.csv | again");
  EXPECT_EQ(list.entries()[1], "/maps/11/index.csv | x");
  EXPECT_EQ(std::count_if(list.entries().begin(), list.entries().end(),
                          [](const std::string& e) { return CRecentIndexList::PathOf(e) == "/maps/5/index.csv"; }),
            1);
  list.Save();
  CRecentIndexList loaded;
  loaded.Load();
  EXPECT_EQ(loaded.entries(), list.entries());
  loaded.Remove(0);
  loaded.Save();
  EXPECT_FALSE(m_profile.contains("Recent File List", "File10"));
}

TEST_F(DocTest, RecentEntryWhoseFolderLostKanriIsRemoved) {
  QTemporaryDir other;
  const auto otherIndex = writeMapTree(std::filesystem::path(other.path().toStdString()));
  {
    CVantoriaDoc doc;
    ASSERT_TRUE(doc.OpenIndexFromDialog(m_index));
    ASSERT_TRUE(doc.OpenIndexFromDialog(otherIndex));
  }
  std::filesystem::remove(root() / "kanri.csv");
  CVantoriaDoc doc;  // a new run reads the list from the profile
  ASSERT_EQ(doc.RecentList().size(), 2);
  QSignalSpy changed(&doc, &CVantoriaDoc::recentListChanged);
  EXPECT_TRUE(doc.OpenRecent(0)) << "the other tree is still whole";
  EXPECT_EQ(doc.RecentList().size(), 2);
  EXPECT_FALSE(doc.OpenRecent(1));
  EXPECT_EQ(changed.count(), 1);
  ASSERT_EQ(doc.RecentList().size(), 1);
  EXPECT_EQ(CRecentIndexList::PathOf(doc.RecentList().entries()[0]), otherIndex.string());
  EXPECT_FALSE(m_profile.contains("Recent File List", "File2"));
  EXPECT_TRUE(m_prompt.requests().empty());
}

TEST_F(DocTest, LoadSheetIgnoresIndexesOutOfRangeAndEmptySlots) {
  CVantoriaDoc doc;
  ASSERT_TRUE(doc.OpenIndexFile(m_index));
  QSignalSpy opened(&doc, &CVantoriaDoc::sheetOpened);
  const struct {
    const char* name;
    int area, slot;
  } kCases[] = {{"slot 64", 0, 64},           {"negative slot", 0, -1}, {"area = count", 2, 0},
                {"negative area", -1, 0},     {"empty slot", 0, 2},     {"area without sheets", 1, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    doc.LoadSheet(c.area, c.slot);
    EXPECT_EQ(opened.count(), 0);
    EXPECT_FALSE(doc.HasSheet());
    EXPECT_FALSE(doc.CurrentArea().has_value());
    EXPECT_TRUE(doc.Title().isEmpty());
  }
}

TEST_F(DocTest, LoadSheetSetsRecordImageTitleAndReportsProgress) {
  CVantoriaDoc doc;
  ASSERT_TRUE(doc.OpenIndexFile(m_index));
  QSignalSpy opened(&doc, &CVantoriaDoc::sheetOpened);
  QSignalSpy begin(&doc, &CVantoriaDoc::progressBegin);
  QSignalSpy step(&doc, &CVantoriaDoc::progressStep);
  QSignalSpy end(&doc, &CVantoriaDoc::progressEnd);
  QSignalSpy title(&doc, &CVantoriaDoc::titleChanged);
  doc.LoadSheet(0, 0);
  EXPECT_EQ(opened.count(), 1);
  ASSERT_EQ(begin.count(), 1);
  EXPECT_EQ(begin[0][0].toString(), QStringLiteral("地形図を読み込んでいます..."));
  ASSERT_GE(step.count(), 1);
  EXPECT_EQ(step.back()[0].toInt(), 100);
  EXPECT_EQ(end.count(), 1);
  EXPECT_EQ(doc.Title(), QStringLiteral("  [ 東京 ]   東京西部 ( とうきょうせいぶ )"));
  EXPECT_EQ(title.count(), 1);
  EXPECT_EQ(doc.CurrentArea(), 0);
  EXPECT_FALSE(doc.Image().isNull());
  EXPECT_EQ(doc.Image().width(), 40);
  EXPECT_EQ(doc.CurrentSheet().meshCode, "533900");

  // A sheet without an image is reported and not shown: no record, no title, no area.
  std::filesystem::remove(root() / "5339" / "533901.tif");
  doc.LoadSheet(0, 1);
  EXPECT_TRUE(doc.Image().isNull());
  EXPECT_FALSE(doc.HasSheet());
  EXPECT_TRUE(doc.CurrentSheet().meshCode.empty());
  EXPECT_TRUE(doc.Title().isEmpty());
  EXPECT_FALSE(doc.CurrentArea().has_value());
  EXPECT_EQ(opened.count(), 2);
  EXPECT_EQ(end.count(), 2);
  ASSERT_EQ(m_prompt.requests().size(), 1u);
  EXPECT_EQ(m_prompt.requests()[0].text, "地形図ファイル [ " + (root() / "5339" / "533901.tif").string() +
                                             " ] を読み込む事ができませんでした。\r\nファイルが見つかりません。");
}

TEST_F(DocTest, CurrentAreaIsNoneAfterAnotherIndexIsOpened) {
  QTemporaryDir other;
  const auto dir = std::filesystem::path(other.path().toStdString());
  testutil::writeFile(dir / "kanri.csv", "header\r\n");
  testutil::writeFile(dir / "index.csv", "6000,X\r\n");
  CVantoriaDoc doc;
  ASSERT_TRUE(doc.OpenIndexFile(m_index));
  doc.LoadSheet(0, 8);
  ASSERT_EQ(doc.CurrentArea(), 0);
  ASSERT_TRUE(doc.OpenIndexFile(dir / "index.csv"));
  EXPECT_FALSE(doc.CurrentArea().has_value());
  EXPECT_TRUE(doc.HasSheet()) << "the sheet on screen stays";
  EXPECT_EQ(doc.CurrentSheet().meshCode, "533910");
}

TEST_F(DocTest, GotoPositionCentresLoadsOrReports) {
  CVantoriaDoc doc;
  ASSERT_TRUE(doc.OpenIndexFile(m_index));
  doc.LoadSheet(0, 0);
  QSignalSpy opened(&doc, &CVantoriaDoc::sheetOpened);
  QSignalSpy select(&doc, &CVantoriaDoc::selectSheetRequested);
  QSignalSpy centre(&doc, &CVantoriaDoc::centreRequested);

  // On the sheet shown: centred, not reloaded.
  EXPECT_TRUE(doc.GotoPosition(secs(kSouth + 100), secs(kWest + 100), false));
  EXPECT_EQ(opened.count(), 0);
  EXPECT_EQ(centre.count(), 1);
  EXPECT_EQ(centre[0][2].toInt(), 1);

  // On the east neighbour: marked in the index window, loaded and centred.
  EXPECT_TRUE(doc.GotoPosition(secs(kSouth + 100), secs(kWest + 500), true));
  ASSERT_EQ(select.count(), 1);
  EXPECT_EQ(select[0][0].toInt(), 0);
  EXPECT_EQ(select[0][1].toInt(), 1);
  EXPECT_EQ(opened.count(), 1);
  EXPECT_EQ(doc.CurrentSheet().meshCode, "533901");
  EXPECT_EQ(centre.count(), 2);

  const struct {
    const char* name;
    bool trackPoint;
    const char* text;
  } kCases[] = {
      {"waypoint", false,
       "このポイントを含む地形図が見つかりませんでした。\r\n別の地形図インデックスファイルを開いて再度検索して見て下さい。"},
      {"track point", true,
       "このトラックポイントを含む地形図が見つかりませんでした。\r\n別の地形図インデックスファイルを開いて再度検索して見て下さい。"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    m_prompt.clear();
    EXPECT_FALSE(doc.GotoPosition(secs(40 * 3600), secs(kWest), c.trackPoint));
    ASSERT_EQ(m_prompt.requests().size(), 1u);
    EXPECT_EQ(m_prompt.requests()[0].text, c.text);
    EXPECT_EQ(m_prompt.requests()[0].icon, platform::EPromptIcon::Information);
    EXPECT_EQ(doc.CurrentSheet().meshCode, "533901") << "the current sheet stays";
  }
}

TEST_F(DocTest, SheetPropertyRowsForBothSeries) {
  const struct {
    const char* name;
    int series;
    std::size_t rows;
    const char* kind;
    const char* firstHistory;
  } kCases[] = {{"1:25,000", 1, 16, " 数値地図25000(地図画像)", "基本測量"},
                {"1:50,000", 2, 14, " 数値地図50000(地図画像)", "測量"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir d;
    const auto index = writeMapTree(std::filesystem::path(d.path().toStdString()), c.series);
    CVantoriaDoc doc;
    ASSERT_TRUE(doc.OpenIndexFile(index));
    doc.LoadSheet(0, 0);
    const auto rows = SheetPropertyRows(doc.CurrentSheet(), doc.SheetSeries());
    ASSERT_EQ(rows.size(), c.rows);
    EXPECT_EQ(rows[0].value, c.kind);
    EXPECT_EQ(rows[1].value, " 東京西部 ( とうきょうせいぶ )");
    EXPECT_EQ(rows[2].value, " 533900");
    EXPECT_EQ(rows[5].label, c.firstHistory);
    EXPECT_EQ(rows[5].value, " H0");
    EXPECT_EQ(rows[c.rows - 4].label, "図郭左上");
    EXPECT_EQ(rows[c.rows - 1].label, "図郭右下");
    EXPECT_EQ(rows[c.rows - 4].value.rfind(" 東経139度0分", 0), 0u) << rows[c.rows - 4].value;
    EXPECT_NE(rows[c.rows - 4].value.find(" 北緯35度"), std::string::npos);
  }
}

TEST_F(DocTest, SheetPropertiesCommandNeedsASheet) {
  CVantoriaDoc doc;
  ASSERT_TRUE(doc.OpenIndexFile(m_index));
  SCommandState st;
  ASSERT_TRUE(doc.onUpdateCommand(cmd::SheetProperties, st));
  EXPECT_FALSE(st.enabled);
  doc.LoadSheet(0, 0);
  ASSERT_TRUE(doc.onUpdateCommand(cmd::SheetProperties, st));
  EXPECT_TRUE(st.enabled);
  QSignalSpy shown(&doc, &CVantoriaDoc::sheetPropertiesRequested);
  EXPECT_TRUE(doc.onCommand(cmd::SheetProperties));
  EXPECT_EQ(shown.count(), 1);
}

}  // namespace
