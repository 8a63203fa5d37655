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
#include "SampleViewFixture.h"

namespace {

void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent ev(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

class OverlayInView : public CSampleViewTest {
 protected:
  void addTrekData() { CSampleViewTest::addTrekData({QPoint(200, 400), QPoint(500, 400)}); }
  void clickAt(QPoint logical) {
    moveTo(logical);
    sendMouse(m_view->viewport(), QEvent::MouseButtonPress, client(logical), Qt::LeftButton, Qt::LeftButton);
    sendMouse(m_view->viewport(), QEvent::MouseButtonRelease, client(logical), Qt::LeftButton, Qt::NoButton);
  }
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
