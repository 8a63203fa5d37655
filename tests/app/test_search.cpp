// Search: the folding rules, what is found over trek groups and map folders and in what order,
// vantoria-cli search, and going to a result through the main window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <filesystem>
#include <memory>

#include "FrameFixture.h"
#include "app/CVantoriaDoc.h"
#include "app/MapSearch.h"
#include "app/ui/CDlgSearch.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "mosaic/MapCollection.h"
#include "platform/Codepage.h"
#include "trek/TrekFile.h"

namespace fs = std::filesystem;

namespace {

std::string cp932(const char* utf8) { return platform::cp932::fromUtf8(utf8).text; }

TEST(SearchFold, WidthsAndCaseFoldTogether) {
  const struct {
    const char* name;
    const char* a;
    const char* b;
    bool same;
  } kRows[] = {
      {"half-width katakana", "ｶﾀｶﾅ", "カタカナ", true},
      {"full-width letters", "ＡＢＣ", "ABC", true},
      {"letter case", "Abc", "aBC", true},
      {"full-width digits and signs", "１２３－＋", "123-+", true},
      {"voiced marks", "ｶﾞｲﾄﾞﾌﾞｯｸ", "ガイドブック", true},
      {"semi-voiced marks", "ﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ", "パピプペポ", true},
      {"vu", "ｳﾞ", "ヴ", true},
      {"ideographic space", "槍　ヶ岳", "槍 ヶ岳", true},
      {"small kana and long mark", "ｧｨｩｪｫｯｬｭｮｰ", "ァィゥェォッャュョー", true},
      {"hiragana is not katakana", "かたかな", "カタカナ", false},
      {"a voiced mark does not fall off", "ｶﾞ", "カ", false},
      {"kanji as typed", "岳", "嶽", false},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(search::Fold(r.a) == search::Fold(r.b), r.same);
  }
  // A byte that is no UTF-8 stands for itself and ends nothing.
  EXPECT_EQ(search::Fold("a\xff" "b").size(), 3u);
}

std::unique_ptr<CTrekData> waypoints() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kWaypointGroup);
  g->SetGroupName(cp932("山"));
  const struct {
    const char* name;
    const char* comment;
  } kPoints[] = {{"北岳山荘", ""}, {"北岳", "日本第二の高峰"}, {"ｶﾀｸﾘ小屋", ""}, {"ABC Hut", "near the 北岳 trail"}};
  int k = 0;
  for (const auto& p : kPoints) {
    auto w = std::make_unique<CMarkerPoint>();
    w->name = cp932(p.name);
    w->comment = cp932(p.comment);
    w->SetPosition(DmsAngle(35, 40, k * 10.0), DmsAngle(138, 14, 0.0), Datum::Wgs84);
    g->AppendWaypoint(std::move(w));
    ++k;
  }
  return g;
}

std::unique_ptr<CTrekData> tracks() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kTrackLogGroup);
  g->SetGroupName(cp932("記録"));
  auto l = std::make_unique<CTrackLog>();
  l->name = cp932("北岳縦走");
  CTrackPoint p;
  p.SetPosition(DmsAngle(35, 41, 0.0), DmsAngle(138, 15, 0.0), Datum::Wgs84);
  l->AppendPoint(p);
  g->AppendTrackLog(std::move(l));
  auto empty = std::make_unique<CTrackLog>();
  empty->name = cp932("カタクリ");
  g->AppendTrackLog(std::move(empty));
  return g;
}

std::vector<std::string> names(const std::vector<search::SResult>& results) {
  std::vector<std::string> out;
  for (const auto& r : results) out.push_back(r.name);
  return out;
}

TEST(SearchFind, TrekItemsByKindThenBestMatch) {
  const auto w = waypoints();
  const auto t = tracks();
  const std::vector<const CTrekData*> groups{w.get(), t.get()};
  const struct {
    const char* name;
    const char* query;
    std::vector<std::string> want;
  } kRows[] = {
      {"whole name first, then its start, then inside, then other fields", "北岳",
       {"北岳", "北岳山荘", "ABC Hut", "北岳縦走"}},
      {"half-width in the data, full-width typed", "カタクリ", {"ｶﾀｸﾘ小屋", "カタクリ"}},
      {"full-width typed, ASCII in the data", "ａｂｃ", {"ABC Hut"}},
      {"comment text", "第二", {"北岳"}},
      {"blanks around the query", "  hut ", {"ABC Hut"}},
      {"nothing typed", "   ", {}},
      {"nothing found", "槍", {}},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(names(search::Find(r.query, groups, nullptr)), r.want);
  }
  const auto found = search::Find("カタクリ", groups, nullptr);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].kind, search::EResultKind::Waypoint);
  EXPECT_EQ(found[0].item, 2);
  EXPECT_EQ(found[0].where, "山");
  EXPECT_TRUE(found[0].hasPosition);
  EXPECT_EQ(found[1].kind, search::EResultKind::TrackLog);
  EXPECT_EQ(found[1].group, 1);
  EXPECT_FALSE(found[1].hasPosition);  // a log without points has no place to go to
  EXPECT_EQ(search::Find("北岳", groups, nullptr, 2).size(), 2u);

  // Routes come after track logs, found by their names too.
  CTrekData plans;
  plans.SetKind(CTrekData::kRouteGroup);
  auto route = std::make_unique<CRoute>();
  route->name = cp932("北岳周回");
  route->points.push_back(*w->Waypoints()[0]);
  plans.AppendRoute(std::move(route));
  const std::vector<const CTrekData*> all{w.get(), t.get(), &plans};
  const auto withRoutes = search::Find("北岳周", all, nullptr);
  ASSERT_EQ(withRoutes.size(), 1u);
  EXPECT_EQ(withRoutes[0].kind, search::EResultKind::Route);
  EXPECT_EQ(withRoutes[0].group, 2);
  EXPECT_TRUE(withRoutes[0].hasPosition);
  EXPECT_EQ(std::string(search::KindName(withRoutes[0].kind)), "route");
}

TEST(SearchFind, SheetsByNameAndAreaOfEveryFolder) {
  if (!fs::exists(testutil::sampleCollectionDir())) GTEST_SKIP() << "sample data not built";
  mosaic::CMapCollection c;
  ASSERT_GT(c.AddTree(testutil::sampleCollectionDir()), 1);
  const auto kuro = search::Find("黒", {}, &c);
  ASSERT_EQ(kuro.size(), 2u);
  for (const auto& r : kuro) {
    EXPECT_EQ(r.kind, search::EResultKind::Sheet);
    EXPECT_EQ(r.matched, "sheetName");
    EXPECT_TRUE(r.mesh == "543857" || r.mesh == "543835") << r.mesh;
    EXPECT_NEAR(r.latitude.ToDegrees(), r.mesh == "543857" ? 36.4583 + 0.0032 : 36.2917 + 0.0032, 0.01);
  }
  // cd3 holds the sheets of another folder (upper-case file names).
  const auto far = search::Find("松葉台", {}, &c);
  ASSERT_EQ(far.size(), 1u);
  EXPECT_EQ(far[0].mesh, "543930");
  const auto area = search::Find("朝霧", {}, &c);
  ASSERT_FALSE(area.empty());
  for (const auto& r : area) EXPECT_EQ(r.matched, "areaName");
}

TEST(SearchCli, FindsInFoldersAndTrekFiles) {
  if (!fs::exists(testutil::sampleCollectionDir())) GTEST_SKIP() << "sample data not built";
  const QTemporaryDir dir;
  const fs::path file = fs::path(dir.path().toStdString()) / "peaks.pmd";
  ASSERT_TRUE(WriteTrekFileAtomic(file, *waypoints()).ok());
  const testutil::SRunResult r = testutil::runCli(
      {"search", testutil::sampleCollectionDir().string(), "--trek", file.string(), "ｶﾀｸﾘ"});
  ASSERT_EQ(r.status, 0) << r.err;
  const QJsonArray results = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object()["results"].toArray();
  ASSERT_EQ(results.size(), 1);
  const QJsonObject w = results[0].toObject();
  EXPECT_EQ(w["kind"].toString(), "waypoint");
  EXPECT_EQ(w["name"].toString(), QStringLiteral("ｶﾀｸﾘ小屋"));
  EXPECT_EQ(w["file"].toString().toStdString(), file.string());
  EXPECT_NEAR(w["latitude"].toDouble(), 35.0 + 40.0 / 60 + 20.0 / 3600, 1e-9);

  const testutil::SRunResult s = testutil::runCli({"search", (testutil::sampleCollectionDir() / "cd2" / "index.csv").string(), "湖北"});
  ASSERT_EQ(s.status, 0) << s.err;
  const QJsonArray sheets = QJsonDocument::fromJson(QByteArray::fromStdString(s.out)).object()["results"].toArray();
  ASSERT_EQ(sheets.size(), 1);
  EXPECT_EQ(sheets[0].toObject()["kind"].toString(), "sheet");
  EXPECT_EQ(sheets[0].toObject()["mesh"].toString(), "543847");

  EXPECT_EQ(testutil::runCli({"search"}).status, 1);
  EXPECT_EQ(testutil::runCli({"search", "--trek", (fs::path(dir.path().toStdString()) / "none.pmd").string(), "x"}).status, 1);
}

// Types text as key presses carrying it, as an input method hands over what was composed.
void typeText(QWidget* w, const QString& text) {
  for (const QChar c : text) {
    QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

class SearchFrameTest : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    if (!fs::exists(testutil::sampleCollectionDir())) GTEST_SKIP() << "sample data not built";
    m_app = std::make_unique<CVantoriaApp>();
    ASSERT_TRUE(m_app->InitInstance({QStringLiteral("vantoria")}, false));
    m_app->Frame()->resize(1000, 760);
    m_app->Frame()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_app->Frame()));
  }
  void TearDown() override {
    m_app.reset();
    FrameFixture::TearDown();
  }
  CDlgSearch* openSearch() {
    QTest::keyClick(m_app->Frame(), Qt::Key_F, Qt::ControlModifier);
    return m_app->Frame()->SearchWindow();
  }
  std::unique_ptr<CVantoriaApp> m_app;
};

TEST_F(SearchFrameTest, CtrlFFindsAsTypedAndGoesToASheetOfAnotherFolder) {
  CVantoriaDoc& doc = *m_app->Doc();
  ASSERT_TRUE(doc.OpenMapFolder(testutil::sampleCollectionDir()));
  CDlgSearch* dlg = openSearch();
  ASSERT_NE(dlg, nullptr);
  ASSERT_TRUE(dlg->isVisible());
  typeText(dlg->searchEdit(), QStringLiteral("黒"));
  EXPECT_EQ(dlg->resultList()->count(), 2);
  typeText(dlg->searchEdit(), QStringLiteral("沢"));
  ASSERT_EQ(dlg->resultList()->count(), 1);
  QTest::keyClick(dlg->searchEdit(), Qt::Key_Return);
  EXPECT_TRUE(doc.HasSheet());
  EXPECT_EQ(doc.CurrentSheet().meshCode, "543857");
  // And one of the third folder.
  dlg->searchEdit()->clear();
  typeText(dlg->searchEdit(), QStringLiteral("松葉台"));
  ASSERT_EQ(dlg->resultList()->count(), 1);
  // Chosen in the list this time.
  dlg->resultList()->setCurrentRow(0);
  QTest::keyClick(dlg->resultList(), Qt::Key_Return);
  EXPECT_EQ(doc.CurrentSheet().meshCode, "543930");
}

TEST_F(SearchFrameTest, AWaypointFoundByPartOfItsNameIsSelectedAndShown) {
  CVantoriaDoc& doc = *m_app->Doc();
  ASSERT_TRUE(doc.OpenMapFolder(testutil::sampleCollectionDir()));
  // A peak on 黒沢 (543857: 36°25'-36°30' N, 138°52'30"-139°00' E, Tokyo).
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kWaypointGroup);
  g->SetGroupName("peaks");
  auto w = std::make_unique<CMarkerPoint>();
  w->name = cp932("ｸﾛｻﾜ岳");
  w->SetPosition(DmsAngle(36, 27, 30.0), DmsAngle(138, 56, 0.0), Datum::Tokyo);
  g->AppendWaypoint(std::move(w));
  doc.TrekGroups().AppendGroup(std::move(g));
  CDlgSearch* dlg = openSearch();
  ASSERT_NE(dlg, nullptr);
  typeText(dlg->searchEdit(), QStringLiteral("クロサワ"));
  ASSERT_GE(dlg->resultList()->count(), 1);
  EXPECT_EQ(dlg->results().front().kind, search::EResultKind::Waypoint);
  QTest::keyClick(dlg->searchEdit(), Qt::Key_Return);
  EXPECT_EQ(doc.SelectionKind(), kTrekWaypoint);
  EXPECT_EQ(doc.TrekGroups().SelectedWaypoint()->name, cp932("ｸﾛｻﾜ岳"));
  EXPECT_TRUE(doc.HasSheet());
  EXPECT_EQ(doc.CurrentSheet().meshCode, "543857");
  EXPECT_TRUE(m_prompt.texts().empty());
}

}  // namespace
