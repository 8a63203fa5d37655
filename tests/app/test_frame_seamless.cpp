// The seamless map in the main window: the toggle and its profile value, map folders, the
// current sheet following the view's middle, tracks across borders, fitting a track, and sheets
// that cannot be read.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/CVantoriaDoc.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "display/ui/CPopTextWnd.h"
#include "display/ui/CVantoriaView.h"
#include "display/ui/TrekEditController.h"
#include "trek/ui/CDlgWaypoint.h"
#include <QDialogButtonBox>
#include <QPushButton>
#include "maps/ui/IndexPanel.h"
#include "platform/Codepage.h"
#include "mosaic/MosaicRenderer.h"
#include "FrameFixture.h"
#include "common/QtTestUtil.h"
#include "output/PlanePrint.h"
#include "output/ui/PrintJob.h"
#include <QComboBox>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QRadioButton>
#include <QStandardPaths>

namespace fs = std::filesystem;

namespace {

class SeamlessTest : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    if (!fs::exists(testutil::sampleDir() / "map25000" / "index.csv")) GTEST_SKIP() << "sample data not built";
  }
  void TearDown() override {
    // The program writes its profile values as it closes, before the test's profile goes.
    m_app.reset();
    FrameFixture::TearDown();
  }
  void start(const QStringList& args = {QStringLiteral("vantoria")}) {
    m_app = std::make_unique<CVantoriaApp>();
    ASSERT_TRUE(m_app->InitInstance(args, false));
    m_app->Frame()->resize(1000, 760);
    m_app->Frame()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_app->Frame()));
  }
  CMainFrame& frame() { return *m_app->Frame(); }
  CVantoriaDoc& doc() { return *m_app->Doc(); }
  CVantoriaView& view() { return *m_app->Frame()->MapView(); }
  void trigger(int id) {
    QAction* a = m_app->Frame()->Action(id);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->isEnabled()) << id;
    a->trigger();
  }
  // Paints until the renderer has nothing left to do.
  void settle() {
    QElapsedTimer t;
    t.start();
    do {
      view().viewport()->repaint();
      if (view().mosaicRenderer()) view().mosaicRenderer()->WaitForIdle();
      QApplication::processEvents();
    } while (view().mosaicRenderer() && view().mosaicRenderer()->pendingTiles() > 0 && t.elapsed() < 60000);
  }
  QImage grab() {
    settle();
    return view().viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  // The Tokyo position at the middle of the window, seconds.
  std::pair<double, double> middle() {
    const QSize c = view().viewport()->size();
    const QPoint v = QPoint(c.width() / 2, c.height() / 2) + view().scrollPosition();
    const GeoPosition g = *view().frame().PixelToGeo(v.x(), v.y(), Datum::Tokyo);
    return {g.latitude.TotalSeconds(), g.longitude.TotalSeconds()};
  }

  std::unique_ptr<CVantoriaApp> m_app;
};

TEST_F(SeamlessTest, ToggleIsOffOnANewProfileAndRemembered) {
  start();
  ASSERT_TRUE(doc().OpenMapFolder(testutil::sampleDir()));
  QAction* toggle = frame().Action(cmd::Seamless);
  ASSERT_NE(toggle, nullptr);
  EXPECT_EQ(toggle->text(), QStringLiteral("シームレス表示(&M)"));
  EXPECT_FALSE(view().seamless());
  frame().UpdateCommandUI();
  EXPECT_FALSE(toggle->isChecked());
  trigger(cmd::Seamless);
  frame().UpdateCommandUI();
  EXPECT_TRUE(view().seamless());
  EXPECT_TRUE(toggle->isChecked());
  EXPECT_TRUE(view().hasMap());
  // Both series are open: one at a time, the other one command away.
  EXPECT_EQ(view().seamlessSeries(), MapSeries::Scale25000);
  trigger(cmd::SwitchSeries);
  EXPECT_EQ(view().seamlessSeries(), MapSeries::Scale50000);
  // The value is written when the view goes.
  m_app.reset();
  EXPECT_EQ(m_profile.readInt("ViewSettings", "Seamless", 0), 1);
}

TEST_F(SeamlessTest, AFolderOfSeveralMapFoldersOpensThemAll) {
  const fs::path copy = root() / "disks";
  for (const char* d : {"cd1", "cd2"}) fs::create_directories(copy / d);
  fs::copy(testutil::sampleDir() / "map25000", copy / "cd1" / "map25000", fs::copy_options::recursive);
  fs::copy(testutil::sampleDir() / "map25000", copy / "cd2" / "map25000", fs::copy_options::recursive);
  fs::copy(testutil::sampleDir() / "map50000", copy / "cd2" / "map50000", fs::copy_options::recursive);
  start();
  m_dialog.pushPath(copy);
  trigger(cmd::OpenMapFolder);
  ASSERT_EQ(doc().Collection().folders().size(), 3u);
  EXPECT_TRUE(m_dialog.requests().back().folder);
  EXPECT_EQ(doc().Collection().sheets(MapSeries::Scale25000).size(), 9u);
  for (const auto& s : doc().Collection().sheets(MapSeries::Scale25000)) EXPECT_EQ(s.duplicates.size(), 1u);
  // The index window lists the folders; another one shows its areas.
  auto* panel = frame().findChild<IndexPanel*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->folderList()->isVisibleTo(panel));
  EXPECT_EQ(panel->folderList()->count(), 3);
  doc().SetCurrentFolder(2);
  EXPECT_EQ(doc().Series(), MapSeries::Scale50000);
  // The recent list remembers the folder and opens it again.
  ASSERT_GE(doc().RecentList().size(), 1);
  EXPECT_EQ(CRecentIndexList::PathOf(doc().RecentList().entries()[0]), copy.string());
  ASSERT_TRUE(doc().OpenIndexFile(testutil::sampleDir() / "map25000" / "index.csv"));
  EXPECT_EQ(doc().Collection().folders().size(), 1u);
  EXPECT_TRUE(doc().OpenRecent(0));
  EXPECT_EQ(doc().Collection().folders().size(), 3u);
  // A folder without map data says so and leaves what is open.
  fs::create_directories(root() / "empty");
  m_dialog.pushPath(root() / "empty");
  trigger(cmd::OpenMapFolder);
  ASSERT_EQ(m_prompt.texts().size(), 1u);
  EXPECT_NE(m_prompt.texts()[0].find("地形図のデータ"), std::string::npos);
  EXPECT_EQ(doc().Collection().folders().size(), 3u);
}

TEST_F(SeamlessTest, TheSheetInTheMiddleIsTheCurrentSheet) {
  start();
  ASSERT_TRUE(doc().OpenMapFolder(testutil::sampleDir() / "map25000"));
  trigger(cmd::Seamless);
  view().SetMagnification(25);
  const auto& sheets = doc().Collection().sheets(MapSeries::Scale25000);
  // Clicking a sheet in the index window centres the map on it.
  for (const int i : {0, 4, 8}) {
    const mosaic::SCollectionSheet& s = sheets[static_cast<std::size_t>(i)];
    doc().SelectAndLoadSheet(s.area, s.slot);
    const auto [lat, lon] = middle();
    EXPECT_TRUE(s.frame.Contains(lat, lon)) << i;
    EXPECT_EQ(doc().CurrentSheet().meshCode, s.record.meshCode);
    EXPECT_TRUE(frame().windowTitle().contains(
        QString::fromStdString(platform::cp932::toUtf8Lossy(s.record.sheetName))));
    EXPECT_FALSE(doc().HasSheet() && doc().Image().isNull());
  }
  // Panning by dragging across a border makes the neighbour current.
  const mosaic::SCollectionSheet& from = sheets[4];
  doc().SelectAndLoadSheet(from.area, from.slot);
  const std::string before = doc().CurrentSheet().meshCode;
  const int sheetWidth = static_cast<int>(view().mapSize().width() / 4);  // the plane is 4 sheets wide with its margin
  QWidget* vp = view().viewport();
  const QPoint start(700, 380);
  QTest::mousePress(vp, Qt::LeftButton, {}, start);
  for (int dx = 20; dx <= sheetWidth; dx += 20) QTest::mouseMove(vp, start - QPoint(dx, 0));
  QTest::mouseRelease(vp, Qt::LeftButton, {}, start - QPoint(sheetWidth, 0));
  EXPECT_NE(doc().CurrentSheet().meshCode, before);
  // The status bar reads positions anywhere, also where no sheet is.
  view().horizontalScrollBar()->setValue(0);
  view().verticalScrollBar()->setValue(0);
  EXPECT_EQ(view().PositionTexts(QPoint(2, 2)).size(), 3);
  EXPECT_TRUE(m_prompt.texts().empty());
}

TEST_F(SeamlessTest, TracksCrossBordersInOneLineAndFitInTheWindow) {
  start();
  ASSERT_TRUE(doc().OpenMapFolder(testutil::sampleDir() / "map25000"));
  ASSERT_GT(doc().TrekGroups().OpenTrekFile(testutil::sampleDir() / "treks" / "tracks.ptd"), 0);
  trigger(cmd::Seamless);
  view().SetMagnification(50);
  CTrekData* group = doc().TrekGroups().Group(0);
  ASSERT_NE(group, nullptr);
  ASSERT_FALSE(group->TrackLogs().empty());
  const CTrackLog* log = group->TrackLogs()[0].get();
  // Every point of the log is in the one polyline, with no jump between neighbours.
  const TrekOverlay* overlay = view().trekOverlayCache();
  ASSERT_NE(overlay, nullptr);
  const TrackPolyline* line = overlay->Track(0);
  ASSERT_NE(line, nullptr);
  ASSERT_EQ(line->points.size(), log->Points().size());
  for (std::size_t k = 1; k < line->points.size(); ++k) {
    const int dx = line->points[k].x - line->points[k - 1].x, dy = line->points[k].y - line->points[k - 1].y;
    ASSERT_LT(dx * dx + dy * dy, 200 * 200) << k;
  }
  // Fit the log: every point lands in the window.
  STrekSelection pick;
  pick.kind = kTrekTrackLog;
  pick.groupIndex = 0;
  pick.trackLog = group->TrackLogs()[0].get();
  ASSERT_TRUE(doc().TrekGroups().Select(pick));
  ASSERT_EQ(doc().SelectionKind(), kTrekTrackLog);
  trigger(cmd::FitTrack);
  const QRect client(view().scrollPosition(), view().viewport()->size());
  for (const CTrackPoint& p : log->Points()) {
    const std::optional<SFramePixel> px = view().frame().GeoToPixel(p.latitude, p.longitude, Datum::Wgs84);
    ASSERT_TRUE(px);
    EXPECT_TRUE(client.contains(px->x, px->y)) << px->x << "," << px->y;
  }
}

TEST_F(SeamlessTest, AWaypointDraggedOverABorderLandsOnTheNextSheet) {
  start();
  ASSERT_TRUE(doc().OpenMapFolder(testutil::sampleDir() / "map25000"));
  trigger(cmd::Seamless);
  view().SetMagnification(50);
  const auto& sheets = doc().Collection().sheets(MapSeries::Scale25000);
  const int west = doc().Collection().FindMesh(MapSeries::Scale25000, "543846");
  const int east = doc().Collection().FindMesh(MapSeries::Scale25000, "543847");
  ASSERT_GE(west, 0);
  ASSERT_GE(east, 0);
  // The middle of the window on the border between the two, a waypoint 60 pixels west of it.
  const mosaic::SFrameSeconds& f = sheets[static_cast<std::size_t>(west)].frame;
  const double borderLat = (f.north + f.south) / 2;
  view().CentreOn(DmsAngle::FromTotalSeconds(borderLat), DmsAngle::FromTotalSeconds(f.east), 1);
  const std::optional<SFramePixel> border =
      view().frame().GeoToPixel(DmsAngle::FromTotalSeconds(borderLat), DmsAngle::FromTotalSeconds(f.east), Datum::Tokyo);
  ASSERT_TRUE(border);
  const QPoint at(border->x - 60, border->y);
  auto group = std::make_unique<CTrekData>();
  group->SetKind(CTrekData::kWaypointGroup);
  auto wp = std::make_unique<CMarkerPoint>();
  wp->name = "pass";
  const GeoPosition g = *view().frame().PixelToGeo(at.x(), at.y(), Datum::Wgs84);
  wp->SetPosition(g.latitude, g.longitude, Datum::Wgs84);
  group->AppendWaypoint(std::move(wp));
  doc().TrekGroups().AppendGroup(std::move(group));
  QWidget* vp = view().viewport();
  const QPoint flag = at + QPoint(5, -5) - view().scrollPosition();
  QTest::mouseMove(vp, flag);
  QTest::mouseClick(vp, Qt::LeftButton, {}, flag);
  ASSERT_EQ(doc().SelectionKind(), kTrekWaypoint);
  ASSERT_TRUE(view().onCommand(cmd::EditWaypoint));
  CDlgWaypoint* dlg = view().trekEditing().editWindow();
  ASSERT_NE(dlg, nullptr);
  // Dragged 120 pixels east: over the border.
  QTest::mouseMove(vp, flag);
  QTest::mousePress(vp, Qt::LeftButton, {}, flag);
  for (int dx = 20; dx <= 120; dx += 20) QTest::mouseMove(vp, flag + QPoint(dx, 0));
  QTest::mouseRelease(vp, Qt::LeftButton, {}, flag + QPoint(120, 0));
  auto* box = dlg->findChild<QDialogButtonBox*>(QStringLiteral("buttons"));
  ASSERT_NE(box, nullptr);
  QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
  const CMarkerPoint& moved = *doc().TrekGroups().Group(0)->Waypoints()[0];
  DmsAngle lat, lon;
  moved.GetPosition(lat, lon, Datum::Tokyo);
  const GeoPosition expected = *view().frame().PixelToGeo(at.x() + 120, at.y(), Datum::Tokyo);
  EXPECT_NEAR(lon.TotalSeconds(), expected.longitude.TotalSeconds(), 0.02);
  EXPECT_NEAR(lat.TotalSeconds(), expected.latitude.TotalSeconds(), 0.02);
  EXPECT_GT(lon.TotalSeconds(), f.east);
  // The sheet it now lies on is recorded on it.
  EXPECT_EQ(moved.meshCode, 543847);
  EXPECT_TRUE(m_prompt.texts().empty());
}

TEST_F(SeamlessTest, AnUnreadableSheetIsHatchedWithoutAMessageBox) {
  const fs::path copy = root() / "map25000";
  fs::copy(testutil::sampleDir() / "map25000", copy, fs::copy_options::recursive);
  start();
  ASSERT_TRUE(doc().OpenMapFolder(copy));
  const auto& sheets = doc().Collection().sheets(MapSeries::Scale25000);
  testutil::writeFile(sheets[4].image, "II*\0broken");
  trigger(cmd::Seamless);
  view().SetMagnification(10);
  doc().SelectAndLoadSheet(sheets[4].area, sheets[4].slot);
  const QImage picture = grab();
  EXPECT_TRUE(view().mosaicRenderer()->FailureOf(4));
  EXPECT_TRUE(m_prompt.texts().empty());
  int hatched = 0;
  for (int y = 0; y < picture.height(); y += 3)
    for (int x = 0; x < picture.width(); x += 3) hatched += picture.pixel(x, y) == mosaic::kHatchDark;
  EXPECT_GT(hatched, 50);
  // The pop-up text over it names the sheet.
  const QPoint centre(view().viewport()->width() / 2, view().viewport()->height() / 2);
  QTest::mouseMove(view().viewport(), centre);
  QTest::mouseMove(view().viewport(), centre + QPoint(3, 3));
  ASSERT_NE(view().popText(), nullptr);
  EXPECT_TRUE(view().popText()->isVisible());
}

}  // namespace

TEST_F(SeamlessTest, TrackPrintPutsTheLogAcrossFourSheetsOnTheFewestPages) {
  start();
  ASSERT_TRUE(doc().OpenMapFolder(testutil::sampleDir() / "map25000"));
  ASSERT_GT(doc().TrekGroups().OpenTrekFile(testutil::sampleDir() / "treks" / "tracks.ptd"), 0);
  trigger(cmd::Seamless);
  ASSERT_TRUE(m_app->SelectPrinter(CPrintJob::PdfPrinterName()));
  m_profile.writeInt("PrintSettings", "OptionSettings", 7);
  m_profile.writeInt("PrintSettings", "MagniSetting", 2);
  m_profile.writeInt("PrintSettings", "Magni", 100);
  CTrekData* group = doc().TrekGroups().Group(0);
  ASSERT_NE(group, nullptr);
  ASSERT_GE(group->TrackLogs().size(), 2u);
  const CTrackLog* log = group->TrackLogs()[1].get();  // 霞野峠越え: across 36N25' and 139E
  STrekSelection pick;
  pick.kind = kTrekTrackLog;
  pick.groupIndex = 0;
  pick.trackLog = group->TrackLogs()[1].get();
  ASSERT_TRUE(doc().TrekGroups().Select(pick));
  frame().UpdateCommandUI();
  EXPECT_TRUE(frame().Action(cmd::Print)->isEnabled());  // printing works on the seamless map

  const fs::path out = path("walk.pdf");
  m_dialog.pushPath(out);
  QString magnification, sheetsText;
  bool selectionChecked = false;
  testutil::whenModal("printDialog", [&](QWidget& dlg) {
    magnification = dlg.findChild<QComboBox*>(QStringLiteral("magnificationCombo"))->currentText();
    selectionChecked = dlg.findChild<QRadioButton*>(QStringLiteral("rangeSelection"))->isChecked();
    sheetsText = dlg.findChild<QLabel*>(QStringLiteral("sheetsText"))->text();
    dlg.findChild<QPushButton*>(QStringLiteral("printButton"))->click();
  });
  trigger(cmd::PrintTrack);
  EXPECT_TRUE(m_prompt.texts().empty());
  EXPECT_EQ(magnification, QStringLiteral("1:25000"));
  EXPECT_TRUE(selectionChecked);

  // The fewest pages of A4 for the log's box with 5 mm of paper around it.
  CPrintJob probe(SPrintHost{});
  ASSERT_TRUE(probe.SelectPrinter(CPrintJob::PdfPrinterName()));
  QPageLayout layout = probe.printer()->pageLayout();
  layout.setOrientation(QPageLayout::Portrait);
  const QSize portrait = layout.paintRectPixels(probe.printer()->resolution()).size();
  layout.setOrientation(QPageLayout::Landscape);
  const QSize landscape = layout.paintRectPixels(probe.printer()->resolution()).size();
  const int res = probe.printer()->resolution();
  const mosaic::SMapPlane plane = view().mosaicRenderer()->plane();
  const auto want = print::PlanTrackLogPrint(*log, plane.Frame(1.0), &plane, {res, res, view().logicalDpiX(), view().logicalDpiY()},
                                            portrait, landscape, 7, 1);
  ASSERT_TRUE(want);
  EXPECT_EQ(sheetsText, QStringLiteral("%1枚").arg(want->plan.pageCount()));
  if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()) return;
  QProcess p;
  p.start(QStringLiteral("pdfinfo"), {QString::fromStdString(out.string())});
  ASSERT_TRUE(p.waitForFinished(120000));
  const QString info = QString::fromUtf8(p.readAllStandardOutput());
  const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
  ASSERT_TRUE(pages.hasMatch()) << info.toStdString();
  EXPECT_EQ(pages.captured(1).toInt(), want->plan.pageCount());
}
