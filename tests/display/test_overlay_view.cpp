#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <filesystem>
#include <memory>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "common/TestUtil.h"
#include "display/ui/CPopTextWnd.h"
#include "display/ui/CVantoriaView.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSlot543836 = 30;

void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent ev(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

class OverlayInView : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    m_settings.setSaveOnDestroy(false);
    const fs::path index = testutil::sampleDir() / "map25000" / "index.csv";
    if (!fs::exists(index)) GTEST_SKIP() << "sample data not built";
    m_doc = std::make_unique<CVantoriaDoc>();
    m_view = std::make_unique<CVantoriaView>(*m_doc);
    m_view->setSettings(&m_settings);
    m_view->resize(800, 600);
    m_view->show();
    ASSERT_TRUE(m_doc->OpenIndexFile(index));
    m_doc->LoadSheet(0, kSlot543836);
    ASSERT_TRUE(m_view->hasMap());
    m_view->horizontalScrollBar()->setValue(0);
    m_view->verticalScrollBar()->setValue(0);
  }
  void TearDown() override {
    m_view.reset();
    m_doc.reset();
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }

  // A WGS-84 position inside the view's logical pixel `p` (the middle of the pixel).
  GeoPosition at(QPoint p) const {
    const SheetFrame& f = m_view->frame();
    GeoPosition g = *f.PixelToGeo(p.x(), p.y(), Datum::Wgs84);
    g.latitude = DmsAngle::Subtract(g.latitude, DmsAngle::DivideBy(f.latitudeStep(Datum::Wgs84), 2.0));
    g.longitude = DmsAngle::Add(g.longitude, DmsAngle::DivideBy(f.longitudeStep(Datum::Wgs84), 2.0));
    return g;
  }
  void addTrekData() {
    auto wps = std::make_unique<CTrekData>();
    wps->SetKind(CTrekData::kWaypointGroup);
    auto wp = std::make_unique<CMarkerPoint>();
    wp->name = "peak";
    const GeoPosition g = at(m_peak);
    wp->SetPosition(g.latitude, g.longitude, Datum::Wgs84);
    wps->AppendWaypoint(std::move(wp));
    m_doc->TrekGroups().AppendGroup(std::move(wps));
    auto tracks = std::make_unique<CTrekData>();
    tracks->SetKind(CTrekData::kTrackLogGroup);
    auto log = std::make_unique<CTrackLog>();
    log->name = "ridge";
    for (const QPoint p : {QPoint(200, 400), QPoint(500, 400)}) {
      CTrackPoint tp;
      const GeoPosition t = at(p);
      tp.SetPosition(t.latitude, t.longitude, Datum::Wgs84);
      tp.number = static_cast<std::int32_t>(log->Points().size());
      log->AppendPoint(tp);
    }
    tracks->AppendTrackLog(std::move(log));
    m_doc->TrekGroups().AppendGroup(std::move(tracks));
  }
  QPoint client(QPoint logical) const { return logical - m_view->scrollPosition(); }
  void moveTo(QPoint logical) {
    sendMouse(m_view->viewport(), QEvent::MouseMove, client(logical), Qt::NoButton, Qt::NoButton);
  }
  void clickAt(QPoint logical) {
    moveTo(logical);
    sendMouse(m_view->viewport(), QEvent::MouseButtonPress, client(logical), Qt::LeftButton, Qt::LeftButton);
    sendMouse(m_view->viewport(), QEvent::MouseButtonRelease, client(logical), Qt::LeftButton, Qt::NoButton);
  }

  const QPoint m_peak{300, 200};
  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
  AppSettings m_settings;
  std::unique_ptr<CVantoriaDoc> m_doc;
  std::unique_ptr<CVantoriaView> m_view;
};

TEST_F(OverlayInView, TrekDataIsDrawnHoveredAndPicked) {
  addTrekData();  // the document tells the view, which rebuilds its overlay

  const QImage shown = m_view->viewport()->grab().toImage();
  EXPECT_EQ(shown.pixel(client(m_peak) - QPoint(0, 1)), qRgb(128, 0, 0));  // the pole's foot
  EXPECT_EQ(shown.pixel(client({350, 400})), qRgb(198, 0, 79));           // the track line

  const struct {
    const char* name;
    QPoint logical;
    ETrekHitKind kind;
    QStringList lines;
  } kHovers[] = {
      {"flag", m_peak + QPoint(5, -5), ETrekHitKind::Waypoint, {"peak"}},
      {"line", {350, 404}, ETrekHitKind::TrackLog, {"ridge"}},
      {"nothing", {700, 100}, ETrekHitKind::None, {}},
  };
  for (const auto& c : kHovers) {
    SCOPED_TRACE(c.name);
    moveTo(c.logical);
    EXPECT_EQ(m_view->hoveredTrekItem().kind, c.kind);
    if (!c.lines.isEmpty()) {
      EXPECT_EQ(m_view->popText()->lines(), c.lines);
    }
  }

  clickAt(m_peak + QPoint(5, -5));
  EXPECT_EQ(m_doc->TrekGroups().Selection().kind, kTrekWaypoint);
  EXPECT_EQ(m_doc->TrekGroups().Selection().waypoint, m_doc->TrekGroups().Group(0)->Waypoints()[0].get());

  clickAt({350, 404});
  EXPECT_EQ(m_doc->TrekGroups().Selection().kind, kTrekTrackLog);
  // Once the track log is selected its points come first.
  moveTo({500, 400});
  EXPECT_EQ(m_view->hoveredTrekItem().kind, ETrekHitKind::TrackPoint);
  EXPECT_EQ(m_view->popText()->lines(), (QStringList{"ridge", "No.1"}));
  clickAt({500, 400});
  EXPECT_EQ(m_doc->TrekGroups().Selection().kind, kTrekTrackPoint);
  EXPECT_EQ(m_doc->TrekGroups().Selection().pointIndex, 1);

  // Hidden waypoints are neither drawn nor hovered.
  ASSERT_TRUE(m_view->onCommand(32789));
  moveTo(m_peak + QPoint(5, -5));
  EXPECT_EQ(m_view->hoveredTrekItem().kind, ETrekHitKind::None);
  EXPECT_NE(m_view->viewport()->grab().toImage().pixel(client(m_peak) - QPoint(0, 1)), qRgb(128, 0, 0));
}

}  // namespace
