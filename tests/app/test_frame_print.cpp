// The print command of the main window: enabled with a sheet open, the settings dialog, the
// pages printed to the PDF output under the file name the user gives.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>
#include <vector>

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

bool havePoppler() {
  return !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty() &&
         !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

/// Output of a poppler tool; empty when it fails.
std::string poppler(const char* program, QStringList args) {
  QProcess p;
  p.start(QString::fromLatin1(program), args);
  if (!p.waitForFinished(120000) || p.exitCode() != 0) return {};
  return p.readAllStandardOutput().toStdString();
}

int pdfPageCount(const std::filesystem::path& pdf) {
  const std::string info = poppler("pdfinfo", {QString::fromStdString(pdf.string())});
  const auto at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

std::string pdfPageText(const std::filesystem::path& pdf, int page) {
  const QString n = QString::number(page);
  return poppler("pdftotext", {QStringLiteral("-f"), n, QStringLiteral("-l"), n, QString::fromStdString(pdf.string()),
                               QStringLiteral("-")});
}

/// Types into a line edit as the user does: everything selected, then the keys.
void retype(QLineEdit* edit, const char* text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, QString::fromLatin1(text));
}

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

TEST_F(FramePrintTest, PrintsExactlyThePagesOfTheRange) {
  if (!havePoppler()) GTEST_SKIP() << "poppler-utils (pdfinfo, pdftotext) not installed";
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index().string())}, false));
  app.Doc()->LoadSheet(0, 30);
  ASSERT_TRUE(app.SelectPrinter(CPrintJob::PdfPrinterName()));
  // 1:25,000 on A4 with the page header: 3 x 2 pages, each numbered " (n/6)".
  m_profile.writeInt("PrintSettings", "MagniSetting", 0);
  m_profile.writeInt("PrintSettings", "Magni", -25000);
  m_profile.writeInt("PrintSettings", "OptionSettings", 7);
  const struct {
    const char* name;
    const char* from;  // null: all pages
    const char* to;
    const char* sheets;
    std::vector<int> pages;
  } kCases[] = {
      {"third page only", "3", "3", "1枚", {3}},
      {"second to fourth", "2", "4", "3枚", {2, 3, 4}},
      {"last page", "6", "6", "1枚", {6}},
      {"all pages", nullptr, nullptr, "6枚", {1, 2, 3, 4, 5, 6}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path out = path((std::string(c.name) + ".pdf").c_str());
    m_dialog.pushPath(out);
    QString sheetsShown;
    whenModal("printDialog", [&c, &sheetsShown](QWidget& dlg) {
      if (c.from) {
        dlg.findChild<QRadioButton*>(QStringLiteral("pagesRange"))->click();
        retype(dlg.findChild<QLineEdit*>(QStringLiteral("fromEdit")), c.from);
        retype(dlg.findChild<QLineEdit*>(QStringLiteral("toEdit")), c.to);
      }
      sheetsShown = dlg.findChild<QLabel*>(QStringLiteral("sheetsText"))->text();
      QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("printButton")), Qt::LeftButton);
    });
    app.Frame()->Action(cmd::Print)->trigger();

    EXPECT_EQ(sheetsShown, QString::fromUtf8(c.sheets));  // follows the range as it is typed
    EXPECT_TRUE(m_prompt.requests().empty());
    ASSERT_EQ(pdfPageCount(out), static_cast<int>(c.pages.size()));
    for (std::size_t i = 0; i < c.pages.size(); ++i) {
      SCOPED_TRACE(c.pages[i]);
      const std::string text = pdfPageText(out, static_cast<int>(i) + 1);
      std::string mark = std::to_string(c.pages[i]);
      mark.insert(0, 1, '(');
      mark += "/6)";
      EXPECT_NE(text.find(mark), std::string::npos) << text;
    }
  }
}

TEST_F(FramePrintTest, AsksBeforeAPrintOfMoreThanAHundredPages) {
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(index().string())}, false));
  app.Doc()->LoadSheet(0, 30);
  ASSERT_TRUE(app.SelectPrinter(CPrintJob::PdfPrinterName()));
  m_profile.writeInt("PrintSettings", "MagniSetting", 0);
  m_profile.writeInt("PrintSettings", "Magni", -1000);
  QString sheetsShown;
  whenModal("printDialog", [&sheetsShown](QWidget& dlg) {
    sheetsShown = dlg.findChild<QLabel*>(QStringLiteral("sheetsText"))->text();
    dlg.findChild<QPushButton*>(QStringLiteral("printButton"))->click();
  });
  m_prompt.push(platform::EPromptAnswer::No);
  app.Frame()->Action(cmd::Print)->trigger();

  ASSERT_EQ(m_prompt.requests().size(), 1u);
  const platform::SPromptRequest& q = m_prompt.requests()[0];
  const int pages = sheetsShown.chopped(1).toInt();  // "1938枚"
  EXPECT_GT(pages, 1000);
  EXPECT_EQ(q.text, CPrintJob::PageCountQuestion(static_cast<std::uint32_t>(pages)));
  EXPECT_EQ(q.icon, platform::EPromptIcon::Question);
  EXPECT_EQ(q.buttons, platform::EPromptButtons::YesNo);
  EXPECT_EQ(q.defaultButton, platform::EPromptAnswer::No);
  EXPECT_TRUE(m_dialog.requests().empty());  // No: not even the file is asked for
  EXPECT_TRUE(app.Frame()->isEnabled());
}

}  // namespace
