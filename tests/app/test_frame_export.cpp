#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <filesystem>

#include "app/CVantoriaDoc.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "output/ui/CDlgSavemapOption.h"
#include "FrameFixture.h"

namespace fs = std::filesystem;

namespace {

void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent ev(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

// Saves pictures of the windows for a look by eye when VANTORIA_SHOT_DIR names a folder.
void shot(QWidget* w, const char* name) {
  const QString dir = qEnvironmentVariable("VANTORIA_SHOT_DIR");
  if (!dir.isEmpty()) w->grab().save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

using FrameExportTest = apptest::FrameFixture;

TEST_F(FrameExportTest, SaveSelectionFromTheMenu) {
  const fs::path sample = testutil::sampleDir();
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString((sample / "map25000" / "index.csv").string())}));
  CMainFrame& frame = *app.Frame();
  CVantoriaDoc& doc = *app.Doc();
  frame.resize(1200, 800);
  const SheetCatalogue& cat = doc.Catalogue();
  for (int a = 0; a < cat.areaCount(); ++a)
    for (int s = 0; s < kSlotsPerArea; ++s)
      if (const SheetSlot* slot = cat.slot(a, s); slot && slot->meshCode == "543940") doc.SelectAndLoadSheet(a, s);
  ASSERT_GT(doc.TrekGroups().OpenTrekFile(sample / "treks" / "peaks.pmd"), 0);
  ASSERT_GT(doc.TrekGroups().OpenTrekFile(sample / "treks" / "tracks.ptd"), 0);
  CVantoriaView& view = *frame.MapView();
  view.SetMagnification(100, QPoint(400, 2800));
  QAction* save = frame.Action(cmd::SaveMapImage);
  ASSERT_NE(save, nullptr);
  frame.UpdateCommandUI();
  EXPECT_FALSE(save->isEnabled()) << "no selection yet";

  // A range around the lake's pass with its track logs.
  ASSERT_TRUE(view.onCommand(cmd::RangeSelect));
  QWidget* port = view.viewport();
  const QPoint from = QPoint(100, 2650) - view.scrollPosition();
  const QPoint to = QPoint(700, 3000) - view.scrollPosition();
  sendMouse(port, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  sendMouse(port, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  sendMouse(port, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  const QRect selection = view.rangeSelection().selection();
  ASSERT_EQ(selection, QRect(100, 2650, 600, 350));
  frame.UpdateCommandUI();
  ASSERT_TRUE(save->isEnabled());
  shot(&frame, "frame_selection");

  // The options dialog comes up with the stored options; OK keeps them.
  m_profile.writeInt("Settings", "SaveMapimgOption", 15);
  m_dialog.pushPath(path("pass"), 1);
  bool sawDialog = false;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<CDlgSavemapOption*>(QApplication::activeModalWidget());
    if (!dlg) return;
    sawDialog = true;
    shot(dlg, "options_dialog");
    dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  save->trigger();
  EXPECT_TRUE(sawDialog);
  EXPECT_TRUE(m_prompt.requests().empty());
  const QImage written(QString::fromStdString(path("pass.png").string()));
  if (const QString dir = qEnvironmentVariable("VANTORIA_SHOT_DIR"); !dir.isEmpty()) written.save(dir + QStringLiteral("/exported.png"));
  ASSERT_EQ(written.size(), selection.size());
  EXPECT_TRUE(fs::exists(path("pass.pgw")));
  EXPECT_EQ(frame.PaneText(0), QStringLiteral("レディ"));
  EXPECT_EQ(frame.Progress(), nullptr);
  EXPECT_FALSE(view.canvas().paintingSuspended());
  shot(&frame, "frame_after");
}

}  // namespace
