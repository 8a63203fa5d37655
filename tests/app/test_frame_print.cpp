// The print command of the main window: enabled with a sheet open, the settings dialog, the
// pages printed to the PDF output under the file name the user gives.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QPushButton>

#include "app/CVantoriaDoc.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "output/ui/PrintJob.h"
#include "FrameFixture.h"

namespace {

using testutil::whenModal;

class FramePrintTest : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(index())) GTEST_SKIP() << "sample data not built";
    FrameFixture::SetUp();
  }
  static std::filesystem::path index() { return testutil::sampleDir() / "map25000" / "index.csv"; }
};

TEST_F(FramePrintTest, PrintCommandPrintsTheOpenSheetToThePdfOutput) {
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index().string())}, false));
  CMainFrame& frame = *app.Frame();
  QAction* print = frame.Action(cmd::Print);
  frame.UpdateCommandUI();
  EXPECT_FALSE(print->isEnabled());  // no sheet yet
  app.Doc()->LoadSheet(0, 30);
  frame.UpdateCommandUI();
  ASSERT_TRUE(print->isEnabled());

  ASSERT_TRUE(app.SelectPrinter(CPrintJob::PdfPrinterName()));
  m_profile.writeInt("PrintSettings", "MagniSetting", 1);  // fit to paper: one page
  const std::filesystem::path out = path("map.pdf");
  m_dialog.pushPath(out);
  bool dialogShown = false;
  whenModal("printDialog", [&dialogShown](QWidget& dlg) {
    dialogShown = true;
    dlg.findChild<QPushButton*>(QStringLiteral("printButton"))->click();
  });
  print->trigger();

  EXPECT_TRUE(dialogShown);
  EXPECT_TRUE(m_prompt.requests().empty());
  ASSERT_EQ(m_dialog.requests().size(), 1u);
  EXPECT_TRUE(m_dialog.requests()[0].save);
  QFile pdf(QString::fromStdString(out.string()));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
  EXPECT_GT(pdf.size(), 10000);
  EXPECT_FALSE(std::filesystem::exists(out.string() + ".part"));
  EXPECT_TRUE(frame.isEnabled());
  EXPECT_EQ(app.PrinterName(), CPrintJob::PdfPrinterName());
}

TEST_F(FramePrintTest, CancelledDialogPrintsNothingAndKeepsThePrinter) {
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index().string())}, false));
  app.Doc()->LoadSheet(0, 30);
  ASSERT_TRUE(app.SelectPrinter(CPrintJob::PdfPrinterName()));
  whenModal("printDialog", [](QWidget& dlg) { dlg.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click(); });
  app.Frame()->Action(cmd::Print)->trigger();
  EXPECT_TRUE(m_dialog.requests().empty());
  EXPECT_TRUE(m_prompt.requests().empty());
  EXPECT_EQ(app.PrinterName(), CPrintJob::PdfPrinterName());
  EXPECT_TRUE(m_profile.contains("PrintSettings", "OptionSettings"));
}

}  // namespace
