// Printing the sample sheet to a CUPS queue through the print command's own path (printer list,
// settings dialog, page loop on the queue's QPrinter). Run by scripts/test-cups-print.sh, which
// starts a private cupsd and names its queue in VANTORIA_CUPS_QUEUE; skipped otherwise.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "app/CVantoriaDoc.h"
#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "output/ui/CPrintDialogTrek.h"
#include "output/ui/PrintJob.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "platform/PrinterState.h"

namespace {

TEST(CupsQueue, PrintsTheSampleSheetThroughTheQueue) {
  const QString queue = qEnvironmentVariable("VANTORIA_CUPS_QUEUE");
  if (queue.isEmpty()) GTEST_SKIP() << "needs a CUPS queue: run scripts/test-cups-print.sh";
  const auto index = testutil::sampleDir() / "map25000" / "index.csv";
  ASSERT_TRUE(std::filesystem::exists(index)) << "sample data not built";
  platform::CMemoryProfile profile;
  platform::CScriptedPrompt prompt;
  platform::CScriptedFileDialog files;
  platform::setProfile(&profile);
  platform::setPrompt(&prompt);
  platform::setFileDialog(&files);
  {
    CVantoriaDoc doc;
    CVantoriaView view(doc);
    ASSERT_TRUE(doc.OpenIndexFile(index));
    doc.LoadSheet(0, 30);
    ASSERT_TRUE(view.hasMap());
    ASSERT_TRUE(CPrintJob::PrinterNames().contains(queue));
    profile.writeInt("PrintSettings", "MagniSetting", 1);  // fitted to one page
    profile.writeInt("PrintSettings", "OptionSettings", 127);
    QString printerName = queue;
    SPrintHost host;
    host.doc = &doc;
    host.view = &view;
    host.printerName = &printerName;
    // The queue's state as the dialog shows it: ready, then stopped by the administrator.
    const auto statusShown = [&host, &queue] {
      CPrintJob probe(host);
      EXPECT_TRUE(probe.SelectPrinter(queue));
      CPrintDialogTrek dlg(probe);
      return dlg.findChild<QLabel*>(QStringLiteral("statusText"))->text();
    };
    const auto state = platform::QueryPrinterState(queue.toStdString());
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->state, 3);
    EXPECT_EQ(statusShown(), QStringLiteral("準備完了"));
    const auto admin = [&queue](const char* program) {
      QProcess p;
      p.start(QString::fromLatin1(program), {queue});
      return p.waitForFinished(30000) && p.exitCode() == 0;
    };
    if (admin("cupsdisable")) {
      EXPECT_EQ(platform::QueryPrinterState(queue.toStdString())->state, 5);
      EXPECT_EQ(statusShown(), QStringLiteral("印刷不可能"));
      ASSERT_TRUE(admin("cupsenable"));
    }

    CPrintJob job(host);
    testutil::whenModal("printDialog",
                        [](QWidget& w) { w.findChild<QPushButton*>(QStringLiteral("printButton"))->click(); });
    EXPECT_TRUE(job.Print());
    EXPECT_EQ(job.printerName(), queue);
    EXPECT_EQ(job.info().maxPage, 1u);
    EXPECT_TRUE(prompt.requests().empty());
    EXPECT_TRUE(files.requests().empty());  // a real queue asks for no file
  }
  platform::setFileDialog(nullptr);
  platform::setPrompt(nullptr);
  platform::setProfile(nullptr);
}

}  // namespace
