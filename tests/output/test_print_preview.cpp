// The print preview: the pages it shows are the printed pages, page navigation, the zoom
// states, the page texts, the remembered page count, and the map view held while it is open.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <functional>
#include <memory>

#include "app/CVantoriaDoc.h"
#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "output/PrintRun.h"
#include "output/PrintableSheet.h"
#include "output/ui/CDlgPrintPreview.h"
#include "output/ui/CPrintDialogTrek.h"
#include "output/ui/CPrintPreviewWnd.h"
#include "output/ui/PrintJob.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

using testutil::whenModal;

constexpr const char* kMesh = "543836";
std::filesystem::path sampleIndex() { return testutil::sampleDir() / "map25000" / "index.csv"; }

TEST(PreviewGeometry, RatiosOfTheZoomStates) {
  const struct {
    SPreviewRatio zoomOut;
    SPreviewRatio middle, in;
  } kCases[] = {
      {{300, 800}, {550, 800}, {1, 1}},     // smaller than the paper: zoomed in is its real size
      {{800, 800}, {800, 800}, {800, 800}},  // exactly the real size
      {{900, 800}, {950, 800}, {1000, 800}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.zoomOut.num);
    EXPECT_EQ(preview::ZoomRatio(c.zoomOut, 0), c.zoomOut);
    EXPECT_EQ(preview::ZoomRatio(c.zoomOut, 1), c.middle);
    EXPECT_EQ(preview::ZoomRatio(c.zoomOut, 2), c.in);
  }
  // A portrait page in a wide box fits its height, in a tall box its width.
  EXPECT_EQ(preview::FitRatio({794, 1123}, {1000, 500}), (SPreviewRatio{500, 1123}));
  EXPECT_EQ(preview::FitRatio({794, 1123}, {300, 900}), (SPreviewRatio{300, 794}));
  EXPECT_EQ(preview::MulDiv(7, 3, 2), 11);  // 10.5 rounds away from zero
  EXPECT_EQ(preview::MulDiv(-7, 3, 2), -11);
  EXPECT_EQ(preview::MulDiv(1, 1, 0), -1);
}

/// The sample sheet laid out for a 96-dpi printer on A4 with 5 mm margins, so that the zoomed-in
/// preview (the paper's real size) draws one printer pixel per screen pixel.
class PreviewPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(sampleIndex())) GTEST_SKIP() << "sample data not built";
    std::string why;
    ASSERT_TRUE(m_sheet.Open(sampleIndex(), kMesh, why)) << why;
    print::InstallPrintFontSubstitutes();
    m_paper.paper = QSize(794, 1123);
    m_paper.printable = QPoint(19, 19);
    m_paper.printerDpiX = m_paper.printerDpiY = m_paper.screenDpiX = m_paper.screenDpiY = 96;
  }
  /// Scale and page grid at `code`; the renderer holds the sheet at that scale.
  void layOut(MagnificationCode code) {
    m_info = PrintInfo{};
    m_info.magnificationMode = print::EMagnificationMode::Specified;
    m_info.magnification = code;
    m_info.options = print::kOptAll;
    print::SPrintContext c;
    c.dpi = {96, 96, 96, 96};
    c.page = QSize(756, 1085);
    c.area = QSize(m_sheet.image().width(), m_sheet.image().height());
    ASSERT_TRUE(print::RecomputeScale(m_info, c));
    ASSERT_TRUE(print::RecomputePageLayout(m_info, c));
    m_renderer = std::make_shared<CPrintPageRenderer>();
    ASSERT_TRUE(m_renderer->BeginPrinting(m_info, m_sheet.PrintSheet({})));
  }

  CPrintableSheet m_sheet;
  SPreviewPaper m_paper;
  PrintInfo m_info;
  std::shared_ptr<CPrintPageRenderer> m_renderer;
};

TEST_F(PreviewPagesTest, ZoomedInPreviewShowsThePrintedPixels) {
  layOut(-25000);
  ASSERT_GT(m_info.maxPage, 2u);
  CPrintPreviewWnd wnd;
  wnd.resize(700, 900);  // smaller than the paper: zoomed in is the paper's real size
  ASSERT_TRUE(wnd.Start(m_info, m_renderer, m_paper, 1));
  wnd.SetZoomState(2);
  for (const int page : {1, 2, int(m_info.maxPage)}) {
    SCOPED_TRACE(page);
    wnd.SetCurrentPage(page, true);
    ASSERT_EQ(wnd.drawScale(0), QPointF(1.0, 1.0));
    // The page as the printer gets it.
    QImage printed(m_info.pageWidth, m_info.pageHeight, QImage::Format_RGB32);
    printed.fill(Qt::white);
    {
      QPainter p(&printed);
      PrintInfo info = m_info;
      info.currentPage = static_cast<std::uint32_t>(page);
      info.drawRect = QRect(0, 0, m_info.pageWidth, m_info.pageHeight);
      m_renderer->PrintPage(p, info);
    }
    // The same page on the screen, inside the paper's frame.
    const QImage shown = wnd.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint origin = wnd.pageRect(0).topLeft() + QPoint(1, 1) + m_paper.printable;
    const QRect visible = QRect(origin, printed.size()) & shown.rect().adjusted(0, 0, -20, -20);
    ASSERT_GT(visible.width(), 400);
    ASSERT_GT(visible.height(), 600);
    int differing = 0;
    for (int y = visible.top(); y <= visible.bottom(); ++y)
      for (int x = visible.left(); x <= visible.right(); ++x)
        if (shown.pixel(x, y) != printed.pixel(x - origin.x(), y - origin.y())) ++differing;
    EXPECT_EQ(differing, 0);

  }
}

TEST_F(PreviewPagesTest, PagingZoomingAndThePageTexts) {
  layOut(-25000);
  const int pages = static_cast<int>(m_info.maxPage);
  ASSERT_GE(pages, 4);
  std::vector<int> chosen;
  CDlgPrintPreview dlg(m_info, m_renderer, m_paper, 2, [&chosen](int n) { chosen.push_back(n); });
  dlg.resize(1000, 800);
  ASSERT_TRUE(dlg.started());
  CPrintPreviewWnd& wnd = dlg.window();
  const auto button = [&dlg](const char* name) { return dlg.findChild<QPushButton*>(QString::fromLatin1(name)); };
  const auto text = [&dlg](const char* name) { return dlg.findChild<QLabel*>(QString::fromLatin1(name))->text(); };
  const QString total = QStringLiteral("全ページ数 %1").arg(pages);

  struct SStep {
    const char* name;
    std::function<void()> act;
    const char* current;  // "%1", "%2": the last page and the one before
    int zoom, shown;
    bool prev, next, toggle, zoomIn, zoomOut;
    const char* toggleText;
  };
  const SStep kSteps[] = {
      {"opens on two pages", [] {}, "現在ページ 1-2", 0, 2, false, true, true, true, false, "1ページ(&O)"},
      {"next", [&] { button("nextButton")->click(); }, "現在ページ 2-3", 0, 2, true, true, true, true, false, "1ページ(&O)"},
      {"last page alone", [&] { wnd.SetCurrentPage(pages, false); }, "現在ページ %1", 0, 2, true, false, true, true, false,
       "1ページ(&O)"},
      {"zoom in: one page", [&] { button("zoomInButton")->click(); }, "現在ページ %1", 1, 1, true, false, false, true, true,
       "1ページ(&O)"},
      {"zoom in again", [&] { button("zoomInButton")->click(); }, "現在ページ %1", 2, 1, true, false, false, false, true,
       "1ページ(&O)"},
      {"back out: two pages again", [&] { button("zoomOutButton")->click(); button("zoomOutButton")->click(); },
       "現在ページ %1", 0, 2, true, false, true, true, false, "1ページ(&O)"},
      {"one page", [&] { button("pagesButton")->click(); }, "現在ページ %1", 0, 1, true, false, true, true, false,
       "2ページ(&T)"},
      {"previous", [&] { button("prevButton")->click(); }, "現在ページ %2", 0, 1, true, true, true, true, false,
       "2ページ(&T)"},
      {"scroll bar to the top", [&] { wnd.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum); },
       "現在ページ 1", 0, 1, false, true, true, true, false, "2ページ(&T)"},
      {"no page before the first", [&] { wnd.SetCurrentPage(0, false); }, "現在ページ 1", 0, 1, false, true, true, true,
       false, "2ページ(&T)"},
  };
  for (const SStep& s : kSteps) {
    SCOPED_TRACE(s.name);
    s.act();
    EXPECT_EQ(text("currentPageText"), QString::fromUtf8(s.current).replace(QStringLiteral("%1"), QString::number(pages))
                                           .replace(QStringLiteral("%2"), QString::number(pages - 1)));
    EXPECT_EQ(text("totalPagesText"), total);
    EXPECT_EQ(wnd.zoomState(), s.zoom);
    EXPECT_EQ(wnd.pagesShown(), s.shown);
    EXPECT_EQ(button("prevButton")->isEnabled(), s.prev);
    EXPECT_EQ(button("nextButton")->isEnabled(), s.next);
    EXPECT_EQ(button("pagesButton")->isEnabled(), s.toggle);
    EXPECT_EQ(button("zoomInButton")->isEnabled(), s.zoomIn);
    EXPECT_EQ(button("zoomOutButton")->isEnabled(), s.zoomOut);
    EXPECT_EQ(button("pagesButton")->text(), QString::fromUtf8(s.toggleText));
  }
  EXPECT_EQ(chosen, std::vector<int>{1});
  // Page down jumps a tenth of the pages, at least one.
  wnd.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(wnd.currentPage(), 1 + (pages - 1 + 9) / 10);

  // Two pages side by side fit the window and do not overlap.
  button("pagesButton")->click();
  const QRect a = wnd.pageRect(0);
  const QRect b = wnd.pageRect(1);
  EXPECT_FALSE(a.intersects(b));
  EXPECT_TRUE(wnd.viewport()->rect().contains(a));
  EXPECT_TRUE(wnd.viewport()->rect().contains(b));
}

TEST_F(PreviewPagesTest, OnePagePrintKeepsNextAndTheToggleDisabled) {
  layOut(10);
  ASSERT_EQ(m_info.maxPage, 1u);
  CDlgPrintPreview dlg(m_info, m_renderer, m_paper, 1, {});
  const auto button = [&dlg](const char* name) { return dlg.findChild<QPushButton*>(QString::fromLatin1(name)); };
  EXPECT_FALSE(button("nextButton")->isEnabled());
  EXPECT_FALSE(button("prevButton")->isEnabled());
  EXPECT_FALSE(button("pagesButton")->isEnabled());
  EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("currentPageText"))->text(), QStringLiteral("現在ページ 1"));
}

TEST(PreviewFromDialog, PageCountIsRememberedAndTheViewIsHeld) {
  if (!std::filesystem::exists(sampleIndex())) GTEST_SKIP() << "sample data not built";
  platform::CMemoryProfile profile;
  platform::CScriptedPrompt prompt;
  platform::setProfile(&profile);
  platform::setPrompt(&prompt);
  {
    CVantoriaDoc doc;
    CVantoriaView view(doc);
    view.resize(400, 300);
    ASSERT_TRUE(doc.OpenIndexFile(sampleIndex()));
    doc.LoadSheet(0, 30);
    ASSERT_TRUE(view.hasMap());
    profile.writeInt("PrintSettings", "MagniSetting", 0);
    profile.writeInt("PrintSettings", "Magni", -25000);
    QString printerName = CPrintJob::PdfPrinterName();
    SPrintHost host;
    host.doc = &doc;
    host.view = &view;
    host.printerName = &printerName;
    host.previewPages = [&profile] { return profile.readInt("Settings", "PreviewPages", 1); };
    host.setPreviewPages = [&profile](int n) { profile.writeInt("Settings", "PreviewPages", n); };
    CPrintJob job(host);
    ASSERT_TRUE(job.SelectPrinter(CPrintJob::PdfPrinterName()));
    CPrintDialogTrek dlg(job);

    // First preview: one page; switched to two, closed with Esc.
    bool held = false;
    whenModal("printPreviewDialog", [&held, &view](QWidget& w) {
      held = view.canvas().paintingSuspended();
      w.findChild<QPushButton*>(QStringLiteral("pagesButton"))->click();
      static_cast<QDialog&>(w).reject();
    });
    dlg.findChild<QPushButton*>(QStringLiteral("previewButton"))->click();
    EXPECT_TRUE(held);
    EXPECT_FALSE(view.canvas().paintingSuspended());
    EXPECT_EQ(profile.readInt("Settings", "PreviewPages", 0), 2);

    // The next preview opens on two pages; printing from it ends the print dialog with OK.
    int shown = 0;
    whenModal("printPreviewDialog", [&shown](QWidget& w) {
      shown = static_cast<CDlgPrintPreview&>(w).window().pagesShown();
      w.findChild<QPushButton*>(QStringLiteral("printButton"))->click();
    });
    dlg.findChild<QPushButton*>(QStringLiteral("previewButton"))->click();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(prompt.requests().empty());
  }
  platform::setPrompt(nullptr);
  platform::setProfile(nullptr);
}

}  // namespace
