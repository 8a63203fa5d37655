#pragma once
// A shown 800 x 600 map view on the sample sheet 543836 (1:25,000), scrolled to its corner, with an
// in-memory profile and a scripted prompt; helpers place trek data at given view pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <filesystem>
#include <initializer_list>
#include <memory>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

class CSampleViewTest : public ::testing::Test {
 protected:
  static constexpr int kSlot543836 = 30;

  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    m_settings.setSaveOnDestroy(false);
    const std::filesystem::path index = testutil::sampleDir() / "map25000" / "index.csv";
    if (!std::filesystem::exists(index)) GTEST_SKIP() << "sample data not built";
    m_doc = std::make_unique<CVantoriaDoc>();
    m_view = std::make_unique<CVantoriaView>(*m_doc);
    m_view->setSettings(&m_settings);
    configureView(*m_view);
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
  /// Set-up of the view before it is shown.
  virtual void configureView(CVantoriaView&) {}

  /// A WGS-84 position inside logical pixel `p` (the middle of the pixel).
  GeoPosition inside(QPoint p) const {
    const SheetFrame& f = m_view->frame();
    GeoPosition g = *f.PixelToGeo(p.x(), p.y(), Datum::Wgs84);
    g.latitude = DmsAngle::Subtract(g.latitude, DmsAngle::DivideBy(f.latitudeStep(Datum::Wgs84), 2.0));
    g.longitude = DmsAngle::Add(g.longitude, DmsAngle::DivideBy(f.longitudeStep(Datum::Wgs84), 2.0));
    return g;
  }
  /// A waypoint group with "peak" at m_peak and a track log group with "ridge" through `track`.
  void addTrekData(std::initializer_list<QPoint> track) {
    auto wps = std::make_unique<CTrekData>();
    wps->SetKind(CTrekData::kWaypointGroup);
    auto wp = std::make_unique<CMarkerPoint>();
    wp->name = "peak";
    const GeoPosition g = inside(m_peak);
    wp->SetPosition(g.latitude, g.longitude, Datum::Wgs84);
    wps->AppendWaypoint(std::move(wp));
    m_doc->TrekGroups().AppendGroup(std::move(wps));
    auto tracks = std::make_unique<CTrekData>();
    tracks->SetKind(CTrekData::kTrackLogGroup);
    auto log = std::make_unique<CTrackLog>();
    log->name = "ridge";
    for (const QPoint p : track) {
      CTrackPoint tp;
      const GeoPosition t = inside(p);
      tp.SetPosition(t.latitude, t.longitude, Datum::Wgs84);
      tp.number = static_cast<std::int32_t>(log->Points().size());
      log->AppendPoint(tp);
    }
    tracks->AppendTrackLog(std::move(log));
    m_doc->TrekGroups().AppendGroup(std::move(tracks));
  }

  QWidget* vp() const { return m_view->viewport(); }
  QPoint client(QPoint logical) const { return logical - m_view->scrollPosition(); }
  /// A plain move, sent even when the mouse is already there (the test library drops those).
  void moveTo(QPoint logical) {
    QMouseEvent ev(QEvent::MouseMove, QPointF(client(logical)), vp()->mapToGlobal(QPointF(client(logical))),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vp(), &ev);
  }

  const QPoint m_peak{300, 200};
  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
  AppSettings m_settings;
  std::unique_ptr<CVantoriaDoc> m_doc;
  std::unique_ptr<CVantoriaView> m_view;
};
