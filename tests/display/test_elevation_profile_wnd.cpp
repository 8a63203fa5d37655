// The elevation profile window beside a map view on the sample sheet: it follows the selected
// track log, the mouse on the plot marks the point on the map, a click selects it, a drag
// selects a stretch, and a huge log is drawn thinned.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "display/ui/CElevationProfileWnd.h"
#include "display/ui/CTrekDataView.h"
#include "SampleViewFixture.h"

namespace {

constexpr double kNone = 1.0e25;  // receiver's "no altitude"
constexpr std::int32_t kT0 = 1'200'000'000;

void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent ev(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

struct STrackSpec {
  QPoint pixel;  ///< logical map pixel of the point
  double altitude;
  std::int32_t time;
};

class ProfileWindow : public CSampleViewTest {
 protected:
  void SetUp() override {
    CSampleViewTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    m_wnd = std::make_unique<CElevationProfileWnd>(*m_doc);
    m_wnd->setSettings(&m_settings);
    QObject::connect(m_wnd.get(), &CElevationProfileWnd::markerMoved, m_view.get(), &CVantoriaView::SetProfileMarker);
    QObject::connect(m_wnd.get(), &CElevationProfileWnd::markerCleared, m_view.get(), &CVantoriaView::ClearProfileMarker);
    m_wnd->resize(640, 260);
    m_wnd->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_wnd.get()));
  }
  void TearDown() override {
    m_wnd.reset();
    CSampleViewTest::TearDown();
  }

  /// A track log group holding one log through `points`; returns the log.
  CTrackLog* addTrack(const std::vector<STrackSpec>& points) {
    auto group = std::make_unique<CTrekData>();
    group->SetKind(CTrekData::kTrackLogGroup);
    auto log = std::make_unique<CTrackLog>();
    log->name = "ridge";
    for (const STrackSpec& s : points) {
      CTrackPoint tp;
      const GeoPosition g = inside(s.pixel);
      tp.SetPosition(g.latitude, g.longitude, Datum::Wgs84);
      tp.altitude = s.altitude;
      tp.time = TrekTime(s.time);
      tp.number = static_cast<std::int32_t>(log->Points().size());
      log->AppendPoint(tp);
    }
    CTrackLog* raw = log.get();
    group->AppendTrackLog(std::move(log));
    m_group = m_doc->TrekGroups().AppendGroup(std::move(group));
    return raw;
  }
  /// 20 points left to right along row 300, climbing 10 m and 30 s apart each.
  CTrackLog* addRidge() {
    std::vector<STrackSpec> spec;
    for (int i = 0; i < 20; ++i) spec.push_back({QPoint(100 + 20 * i, 300), 500.0 + 10.0 * i, kT0 + 30 * i});
    return addTrack(spec);
  }
  void selectLog(CTrackLog* log) {
    STrekSelection s;
    s.kind = kTrekTrackLog;
    s.groupIndex = m_group;
    s.trackLog = log;
    ASSERT_TRUE(m_doc->TrekGroups().Select(s));
    QApplication::processEvents();  // the plot lays out
  }
  QWidget* plot() const { return m_wnd->plotViewport(); }
  /// Where track point `index` is drawn on the plot.
  QPoint plotPointOf(std::size_t index) const {
    const auto& pts = m_wnd->profile().points;
    for (std::size_t k = 0; k < pts.size(); ++k)
      if (pts[k].index == index) return m_wnd->viewportPointOf(k);
    ADD_FAILURE() << "point " << index << " is not plotted";
    return {};
  }
  void hover(QPoint at, Qt::MouseButtons buttons = Qt::NoButton) {
    sendMouse(plot(), QEvent::MouseMove, at, Qt::NoButton, buttons);
  }

  std::unique_ptr<CElevationProfileWnd> m_wnd;
  int m_group = -1;
};

TEST_F(ProfileWindow, HoverMarksTheMapPointAndAClickSelectsIt) {
  CTrackLog* log = addRidge();
  selectLog(log);
  ASSERT_EQ(m_wnd->emptyText(), QString());
  ASSERT_EQ(m_wnd->profile().points.size(), 20u);

  for (const std::size_t k : {0u, 7u, 19u}) {
    SCOPED_TRACE(k);
    hover(plotPointOf(k));
    EXPECT_EQ(m_wnd->hoveredPoint(), k);
    EXPECT_EQ(m_view->profileMarkerPixel(), QPoint(100 + 20 * static_cast<int>(k), 300));
    EXPECT_TRUE(m_wnd->readoutText().startsWith(QStringLiteral("No.%1  ").arg(k))) << m_wnd->readoutText().toStdString();
  }
  // Halfway between two points the nearer one is marked.
  hover((plotPointOf(4) * 3 + plotPointOf(5)) / 4);
  EXPECT_EQ(m_view->profileMarkerPixel(), QPoint(180, 300));

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(plot(), &leave);
  EXPECT_EQ(m_view->profileMarkerPixel(), std::nullopt);

  // A click makes that track point the document's selection; the profile stays on its log.
  const QPoint at = plotPointOf(12);
  hover(at);
  sendMouse(plot(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  sendMouse(plot(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  const STrekSelection& sel = m_doc->TrekGroups().Selection();
  EXPECT_EQ(sel.kind, kTrekTrackPoint);
  EXPECT_EQ(sel.trackLog, log);
  EXPECT_EQ(sel.pointIndex, 12);
  EXPECT_EQ(m_wnd->trackLog(), log);
  EXPECT_FALSE(m_wnd->range());

  // An edit of the log is drawn at once.
  log->Points()[3].altitude = 2000.0;
  m_doc->TrekGroups().NotifyDataChanged();
  EXPECT_EQ(m_wnd->profile().altitudeMax, 2000.0);
}

TEST_F(ProfileWindow, DistanceAndTimeAxes) {
  CTrackLog* log = addRidge();
  selectLog(log);
  EXPECT_EQ(m_wnd->axis(), trek::EProfileAxis::Distance);
  const double length = m_wnd->profile().xMax;
  EXPECT_NEAR(m_wnd->profile().points.back().x, length, 1e-9);

  auto* byTime = m_wnd->findChild<QToolButton*>(QStringLiteral("profileByTime"));
  ASSERT_NE(byTime, nullptr);
  QTest::mouseClick(byTime, Qt::LeftButton);
  EXPECT_EQ(m_wnd->axis(), trek::EProfileAxis::Time);
  EXPECT_EQ(m_wnd->profile().xMin, kT0);
  EXPECT_EQ(m_wnd->profile().xMax, kT0 + 19 * 30);
  QApplication::processEvents();
  hover(plotPointOf(9));
  EXPECT_EQ(m_view->profileMarkerPixel(), QPoint(280, 300));

  // A log without times cannot be drawn over time; over distance it can.
  std::vector<STrackSpec> untimed = {{QPoint(100, 100), 700, -1}, {QPoint(150, 100), 720, -1}};
  CTrackLog* other = addTrack(untimed);
  selectLog(other);
  EXPECT_EQ(m_wnd->emptyText(), QStringLiteral("このトラックログには時刻の記録がありません。「距離」に切り替えると表示できます。"));
  QTest::mouseClick(m_wnd->findChild<QToolButton*>(QStringLiteral("profileByDistance")), Qt::LeftButton);
  EXPECT_EQ(m_wnd->emptyText(), QString());
  EXPECT_EQ(m_wnd->profile().points.size(), 2u);
}

TEST_F(ProfileWindow, EmptyStates) {
  const struct {
    const char* name;
    std::function<void()> arrange;
    QString text;
  } cases[] = {
      {"nothing selected", [] {}, QStringLiteral("トラックログを選択すると、その標高グラフを表示します。")},
      {"a log without points", [&] { selectLog(addTrack({})); }, QStringLiteral("このトラックログにはポイントがありません。")},
      {"a log without altitudes",
       [&] { selectLog(addTrack({{QPoint(100, 100), kNone, kT0}, {QPoint(120, 100), NAN, kT0 + 5}})); },
       QStringLiteral("このトラックログには高度の記録がありません。")},
      {"the log's group selected",
       [&] {
         selectLog(addRidge());
         STrekSelection s;
         s.kind = kTrekTrackLogGroup;
         s.groupIndex = m_group;
         ASSERT_TRUE(m_doc->TrekGroups().Select(s));
       },
       QStringLiteral("トラックログを選択すると、その標高グラフを表示します。")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    EXPECT_EQ(m_wnd->emptyText(), c.text);
    hover(QPoint(300, 120));
    EXPECT_EQ(m_view->profileMarkerPixel(), std::nullopt);
  }
}

TEST_F(ProfileWindow, DragSelectsAStretchAndShowsItsFigures) {
  selectLog(addRidge());
  const QPoint from = plotPointOf(3);
  const QPoint to = plotPointOf(12);
  hover(from);
  sendMouse(plot(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  hover((from + to) / 2, Qt::LeftButton);
  hover(to, Qt::LeftButton);
  sendMouse(plot(), QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);

  ASSERT_TRUE(m_wnd->range());
  EXPECT_EQ(*m_wnd->range(), (trek::SProfileRange{3, 12}));
  const QString text = m_wnd->rangeText();
  EXPECT_TRUE(text.startsWith(QStringLiteral("区間 No.3 - No.12  距離 "))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("所要時間 4分30秒"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("累積標高(登り) 90m  累積標高(下り) 0m"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("最高点 620.0m  最低点 530.0m"))) << text.toStdString();
  // The drag selected nothing in the document.
  EXPECT_EQ(m_doc->TrekGroups().Selection().kind, kTrekTrackLog);

  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(m_wnd.get(), &esc);
  EXPECT_FALSE(m_wnd->range());
  EXPECT_EQ(m_wnd->rangeText(), QString());
}

TEST_F(ProfileWindow, HundredThousandPointsAreDrawnThinned) {
  std::vector<STrackSpec> spec;
  spec.reserve(100'000);
  for (int i = 0; i < 100'000; ++i)
    spec.push_back({QPoint(100 + i / 200, 300 + (i / 500) % 40), 800.0 + 300.0 * std::sin(i / 9000.0) + (i % 13),
                    kT0 + i});
  spec[54'321].altitude = 3000.0;  // one spike, which must stay visible
  selectLog(addTrack(spec));
  EXPECT_EQ(m_wnd->profile().points.size(), 100'000u);
  EXPECT_EQ(m_wnd->profile().altitudeMax, 3000.0);
  EXPECT_GT(m_wnd->drawnColumns(), 100);
  EXPECT_LE(m_wnd->drawnColumns(), plot()->width());
  EXPECT_LE(m_wnd->drawnPointCount(), 4u * static_cast<std::size_t>(m_wnd->drawnColumns()));
  hover(plotPointOf(54'321));
  ASSERT_TRUE(m_wnd->hoveredPoint());
  EXPECT_NEAR(static_cast<double>(m_wnd->profile().points[*m_wnd->hoveredPoint()].index), 54'321.0, 300.0);
}

TEST(TrekDataViewStats, ComputedOncePerLogUntilTheDataChange) {
  platform::CMemoryProfile profile;
  platform::setProfile(&profile);
  {
    CVantoriaDoc doc;
    CTrekDataView view(doc);
    auto group = std::make_unique<CTrekData>();
    group->SetKind(CTrekData::kTrackLogGroup);
    auto log = std::make_unique<CTrackLog>();
    for (int i = 0; i < 3; ++i) {
      CTrackPoint p;
      p.latitude = DmsAngle::FromDegrees(36.0 + i * 0.01);
      p.longitude = DmsAngle::FromDegrees(139.0);
      log->AppendPoint(p);
    }
    CTrackLog* raw = log.get();
    group->AppendTrackLog(std::move(log));
    const int g = doc.TrekGroups().AppendGroup(std::move(group));
    const auto select = [&](std::int32_t kind, int point) {
      STrekSelection s;
      s.kind = kind;
      s.groupIndex = g;
      s.trackLog = raw;
      s.pointIndex = point;
      ASSERT_TRUE(doc.TrekGroups().Select(s));
    };
    select(kTrekTrackLog, -1);
    select(kTrekTrackPoint, 1);
    select(kTrekTrackLog, -1);
    view.repaint();
    EXPECT_EQ(view.statsCache().computations(), 1u);
    ASSERT_EQ(view.label(6), QStringLiteral("距離"));
    const QString before = view.value(6);
    // An edit in place: the figures are computed again from the moved point.
    raw->Points()[2].latitude = DmsAngle::FromDegrees(37.0);
    doc.TrekGroups().NotifyDataChanged();
    EXPECT_EQ(view.statsCache().computations(), 2u);
    EXPECT_NE(view.value(6), before);
  }
  platform::setProfile(nullptr);
}

}  // namespace
