// The print settings dialog on the sample sheet with the PDF output: remembered settings, the
// magnification and page range messages, the enable rules and the settings written on close.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "app/CVantoriaDoc.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "output/ui/CPrintDialogTrek.h"
#include "output/ui/PrintJob.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

class PrintDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    const auto index = testutil::sampleDir() / "map25000" / "index.csv";
    if (!std::filesystem::exists(index)) GTEST_SKIP() << "sample data not built";
    m_view = std::make_unique<CVantoriaView>(m_doc);
    m_view->resize(400, 300);
    ASSERT_TRUE(m_doc.OpenIndexFile(index));
    m_doc.LoadSheet(0, 30);
    ASSERT_TRUE(m_view->hasMap());
    m_host.doc = &m_doc;
    m_host.view = m_view.get();
    m_host.printerName = &m_printerName;
    m_printerName = CPrintJob::PdfPrinterName();
  }
  void TearDown() override {
    m_view.reset();
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }
  template <class T>
  T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }

  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
  CVantoriaDoc m_doc;
  std::unique_ptr<CVantoriaView> m_view;
  SPrintHost m_host;
  QString m_printerName;
};

TEST_F(PrintDialogTest, OpensWithTheRememberedSettingsAndWritesThemOnClose) {
  m_profile.writeInt("PrintSettings", "Magni", -25000);
  m_profile.writeInt("PrintSettings", "MagniSetting", 0);
  m_profile.writeInt("PrintSettings", "OptionSettings", 3);
  CPrintJob job(m_host);
  ASSERT_TRUE(job.SelectPrinter(CPrintJob::PdfPrinterName()));
  {
    CPrintDialogTrek dlg(job);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("地形図の印刷"));
    EXPECT_EQ(child<QComboBox>(dlg, "magnificationCombo")->currentText(), QStringLiteral("1:25000"));
    EXPECT_TRUE(child<QRadioButton>(dlg, "modeSpecified")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(dlg, "rangeSelection")->isEnabled());  // no selection in the view
    EXPECT_TRUE(child<QCheckBox>(dlg, "optSheetName")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(dlg, "optPageNumber")->isChecked());
    EXPECT_GT(job.info().maxPage, 1u);
    EXPECT_EQ(child<QLabel>(dlg, "sheetsText")->text(), QStringLiteral("%1枚").arg(job.info().maxPage));
    EXPECT_EQ(child<QLabel>(dlg, "orientationText")->text(), QStringLiteral("縦向き"));

    // Fit to paper: one page, the magnification becomes a percentage.
    QTest::mouseClick(child<QRadioButton>(dlg, "modeFit"), Qt::LeftButton);
    EXPECT_EQ(job.info().maxPage, 1u);
    EXPECT_EQ(child<QLabel>(dlg, "sheetsText")->text(), QStringLiteral("1枚"));
    EXPECT_FALSE(child<QComboBox>(dlg, "magnificationCombo")->isEnabled());
    QTest::mouseClick(child<QCheckBox>(dlg, "optPageNumber"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(dlg, "cancelButton"), Qt::LeftButton);
  }
  EXPECT_EQ(m_profile.readInt("PrintSettings", "MagniSetting", -1), 1);
  EXPECT_EQ(m_profile.readInt("PrintSettings", "OptionSettings", -1), 7);
  EXPECT_GT(m_profile.readInt("PrintSettings", "Magni", -1), 0);
}

TEST_F(PrintDialogTest, RefusesBadMagnificationsAndPageRanges) {
  m_profile.writeInt("PrintSettings", "Magni", -25000);
  m_profile.writeInt("PrintSettings", "MagniSetting", 0);
  CPrintJob job(m_host);
  ASSERT_TRUE(job.SelectPrinter(CPrintJob::PdfPrinterName()));
  CPrintDialogTrek dlg(job);
  dlg.show();
  auto* combo = child<QComboBox>(dlg, "magnificationCombo");
  const std::uint32_t pages = job.info().maxPage;

  // Typing a valid text recomputes at once; an invalid one keeps the last valid value.
  combo->setEditText(QStringLiteral("1:50000"));
  EXPECT_EQ(job.info().magnification, -50000);
  EXPECT_LT(job.info().maxPage, pages);
  combo->setEditText(QStringLiteral("4%"));
  EXPECT_EQ(job.info().magnification, -50000);
  QTest::mouseClick(child<QPushButton>(dlg, "printButton"), Qt::LeftButton);
  ASSERT_EQ(m_prompt.requests().size(), 1u);
  EXPECT_EQ(m_prompt.requests()[0].text, CPrintDialogTrek::kBadMagnificationText);
  EXPECT_EQ(m_prompt.requests()[0].icon, platform::EPromptIcon::Warning);
  EXPECT_TRUE(dlg.isVisible());

  combo->setEditText(QStringLiteral("1:25,000"));
  const std::uint32_t max = job.info().maxPage;
  QTest::mouseClick(child<QRadioButton>(dlg, "pagesRange"), Qt::LeftButton);
  EXPECT_TRUE(child<QLineEdit>(dlg, "fromEdit")->isEnabled());
  const struct {
    const char* from;
    const char* to;
  } kBad[] = {{"2", "1"}, {"0", "1"}, {"1", "99"}, {"", "1"}};
  for (const auto& c : kBad) {
    SCOPED_TRACE(std::string(c.from) + "-" + c.to);
    m_prompt.clear();
    child<QLineEdit>(dlg, "fromEdit")->setText(QString::fromLatin1(c.from));
    child<QLineEdit>(dlg, "toEdit")->setText(QString::fromLatin1(c.to));
    QTest::mouseClick(child<QPushButton>(dlg, "printButton"), Qt::LeftButton);
    ASSERT_EQ(m_prompt.requests().size(), 1u);
    EXPECT_EQ(m_prompt.requests()[0].text, CPrintDialogTrek::kBadPageRangeText);
    EXPECT_EQ(child<QLineEdit>(dlg, "fromEdit")->text(), QStringLiteral("1"));
    EXPECT_EQ(child<QLineEdit>(dlg, "toEdit")->text(), QString::number(max));
  }
  m_prompt.clear();
  child<QLineEdit>(dlg, "fromEdit")->setText(QStringLiteral("2"));
  child<QLineEdit>(dlg, "toEdit")->setText(QStringLiteral("3"));
  QTest::mouseClick(child<QPushButton>(dlg, "printButton"), Qt::LeftButton);
  EXPECT_TRUE(m_prompt.requests().empty());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(job.info().fromPage, 2u);
  EXPECT_EQ(job.info().toPage, 3u);
}

TEST_F(PrintDialogTest, OverlayItemsFollowTheTrekData) {
  CPrintJob job(m_host);
  ASSERT_TRUE(job.SelectPrinter(CPrintJob::PdfPrinterName()));
  CPrintDialogTrek dlg(job);
  const struct {
    bool tracks, waypoints;
    bool lines, icons;
  } kCases[] = {{false, false, false, false}, {true, false, true, false}, {false, true, false, true}, {true, true, true, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(int(c.tracks) * 2 + int(c.waypoints));
    dlg.SetTrekKinds(c.tracks, c.waypoints);
    EXPECT_EQ(child<QCheckBox>(dlg, "optTrackLines")->isEnabled(), c.lines);
    EXPECT_EQ(child<QCheckBox>(dlg, "optWaypointIcons")->isEnabled(), c.icons);
  }
  // Names only together with their lines or icons.
  auto* lines = child<QCheckBox>(dlg, "optTrackLines");
  lines->setChecked(false);
  dlg.UpdateEnabling();
  EXPECT_FALSE(child<QCheckBox>(dlg, "optTrackNames")->isEnabled());
  lines->setChecked(true);
  dlg.UpdateEnabling();
  EXPECT_TRUE(child<QCheckBox>(dlg, "optTrackNames")->isEnabled());
}

TEST_F(PrintDialogTest, SheetCountFollowsTheTypedRange) {
  m_profile.writeInt("PrintSettings", "Magni", -25000);
  m_profile.writeInt("PrintSettings", "MagniSetting", 0);
  CPrintJob job(m_host);
  ASSERT_TRUE(job.SelectPrinter(CPrintJob::PdfPrinterName()));
  CPrintDialogTrek dlg(job);
  dlg.show();
  const std::uint32_t max = job.info().maxPage;
  ASSERT_GE(max, 4u);
  auto* sheets = child<QLabel>(dlg, "sheetsText");
  QTest::mouseClick(child<QRadioButton>(dlg, "pagesRange"), Qt::LeftButton);
  const QString all = QStringLiteral("%1枚").arg(max);
  const struct {
    const char* from;
    const char* to;
    QString want;
  } kCases[] = {
      {"3", "3", QStringLiteral("1枚")},
      {"2", "4", QStringLiteral("3枚")},
      {"1", "", all},     // half typed: the whole range
      {"4", "2", all},    // backwards
      {"1", "999", all},  // beyond the last page
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.from) + "-" + c.to);
    child<QLineEdit>(dlg, "fromEdit")->setText(QString::fromLatin1(c.from));
    child<QLineEdit>(dlg, "toEdit")->setText(QString::fromLatin1(c.to));
    EXPECT_EQ(sheets->text(), c.want);
  }
  child<QLineEdit>(dlg, "fromEdit")->setText(QStringLiteral("2"));
  child<QLineEdit>(dlg, "toEdit")->setText(QStringLiteral("2"));
  EXPECT_EQ(sheets->text(), QStringLiteral("1枚"));
  QTest::mouseClick(child<QRadioButton>(dlg, "pagesAll"), Qt::LeftButton);
  EXPECT_EQ(sheets->text(), all);

  // Leaving the magnification box unchanged keeps a typed range.
  QTest::mouseClick(child<QRadioButton>(dlg, "pagesRange"), Qt::LeftButton);
  child<QComboBox>(dlg, "magnificationCombo")->setFocus();
  child<QLineEdit>(dlg, "toEdit")->setFocus();
  EXPECT_EQ(child<QLineEdit>(dlg, "fromEdit")->text(), QStringLiteral("2"));
  QTest::mouseClick(child<QPushButton>(dlg, "printButton"), Qt::LeftButton);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(job.info().fromPage, 2u);
  EXPECT_EQ(job.info().toPage, 2u);
}

TEST_F(PrintDialogTest, AsksOnlyAboveAHundredPages) {
  CPrintJob job(m_host);
  const struct {
    const char* name;
    std::uint32_t from, to, max;
    std::vector<platform::EPromptAnswer> answers;
    bool asked;
    bool goOn;
  } kCases[] = {
      {"one page", 1, 1, 1, {}, false, true},
      {"a hundred", 1, 100, 1938, {}, false, true},
      {"a hundred and one, yes", 1, 101, 1938, {platform::EPromptAnswer::Yes}, true, true},
      {"all, no", 1, 1938, 1938, {platform::EPromptAnswer::No}, true, false},
      {"all, no answer given: the default is no", 1, 1938, 1938, {}, true, false},
      {"range above the last page is cut", 1900, 2500, 1938, {}, false, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    m_prompt.clear();
    for (const auto a : c.answers) m_prompt.push(a);
    job.info().minPage = 1;
    job.info().maxPage = c.max;
    job.info().fromPage = c.from;
    job.info().toPage = c.to;
    EXPECT_EQ(job.ConfirmPageCount(), c.goOn);
    ASSERT_EQ(m_prompt.requests().size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(m_prompt.requests()[0].text, CPrintJob::PageCountQuestion(c.to - c.from + 1));
      EXPECT_EQ(m_prompt.requests()[0].icon, platform::EPromptIcon::Question);
    }
  }
  EXPECT_EQ(CPrintJob::PageCountQuestion(1938), "印刷するページは 1938 ページあります。\r\n印刷しますか?");
}

}  // namespace
