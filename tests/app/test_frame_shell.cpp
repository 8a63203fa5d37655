// The shell as a new user meets it: start-up with a stale command line, sheets that cannot be
// read, Japanese dialogs, help inside the program, the first window layout and the empty map.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

#include "app/CVantoriaDoc.h"
#include "app/ui/CHelpWindow.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CVantoriaApp.h"
#include "common/TestUtil.h"
#include "display/ui/CVantoriaView.h"
#include "display/ui/CZoomBar.h"
#include "FrameFixture.h"
#include "test_doc_fixture.h"

namespace {

const char* const kPickSheetHint = "「地形図インデックス」ウィンドウで地域を選び、表示する地形図をクリックして下さい。";
const char* const kOpenIndexHint = "「ファイル」メニューの「地形図インデックスを開く」で、地形図の index.csv を開いて下さい。";

using ShellTest = apptest::FrameFixture;

TEST_F(ShellTest, CommandLineIndexThatDoesNotOpenIsReportedAndTheProgramRuns) {
  const auto tree = apptest::writeMapTree(root() / "tree");
  const struct {
    const char* name;
    std::filesystem::path index;
    const char* missing;  // removed from the tree first
    const char* reason;
  } kCases[] = {
      {"stale path", root() / "gone" / "index.csv", nullptr, "ファイルが見つかりません。"},
      {"catalogue lost", tree, "kanri.csv", "同じフォルダに kanri.csv がありません。"},
      {"some other file", tree.parent_path() / "5339" / "533900.tif", nullptr, "同じフォルダに index.csv がありません。"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.missing) std::filesystem::remove(tree.parent_path() / c.missing);
    m_prompt.clear();
    CVantoriaApp app;
    ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria"), QString::fromStdString(c.index.string())}, false));
    ASSERT_EQ(m_prompt.requests().size(), 1u);
    const platform::SPromptRequest& r = m_prompt.requests()[0];
    EXPECT_EQ(r.text, "地形図インデックスファイル [ " + c.index.string() + " ] を開く事ができませんでした。\r\n" + c.reason);
    EXPECT_EQ(r.icon, platform::EPromptIcon::Error);
    EXPECT_EQ(r.caption, "Vantoria");
    EXPECT_TRUE(app.Doc()->Catalogue().empty());
    EXPECT_EQ(app.Doc()->RecentList().size(), 0);
    EXPECT_TRUE(app.Frame()->Action(cmd::OpenIndex)->isEnabled()) << "the program runs on without an index";
  }
}

TEST_F(ShellTest, SheetThatCannotBeReadIsReportedAndNotShown) {
  const auto index = apptest::writeMapTree(root());
  const std::filesystem::path tif = root() / "5339" / "533900.tif";
  const std::string good = testutil::readFile(tif);
  ASSERT_GT(good.size(), 200u);
  std::string noise(4096, '\0');
  std::uint32_t x = 12345;
  for (char& ch : noise) ch = char((x = x * 1103515245u + 12345u) >> 24);
  noise[0] = 'Z';
  const std::string head = "地形図ファイル [ " + tif.string() + " ] を読み込む事ができませんでした。\r\n";
  const std::string broken = "画像データが壊れているか、ファイルが途中で切れています。";
  const struct {
    const char* name;
    std::optional<std::string> bytes;  // none: the file is removed
    std::string reason;                // the second line
    bool detail;                       // a third line with libtiff's words
  } kCases[] = {
      {"missing", std::nullopt, "ファイルが見つかりません。", false},
      {"empty", std::string(), "ファイルが空です。", false},
      {"random bytes", noise, "TIFF形式の画像ファイルではありません。", true},
      {"truncated", good.substr(0, good.size() / 3), broken, true},
      {"header only", good.substr(0, 8), broken, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CVantoriaDoc doc;
    CMainFrame frame(doc);
    ASSERT_TRUE(doc.OpenIndexFile(index));
    testutil::writeFile(tif, good);
    doc.LoadSheet(0, 0);
    ASSERT_TRUE(doc.HasSheet());
    ASSERT_NE(frame.windowTitle(), QStringLiteral("Vantoria"));
    frame.SetPaneText(2, QStringLiteral("北緯 35度20分00.00秒"));
    frame.SetPaneText(3, QStringLiteral("東経 139度00分00.00秒"));

    if (c.bytes) testutil::writeFile(tif, *c.bytes);
    else std::filesystem::remove(tif);
    m_prompt.clear();
    doc.LoadSheet(0, 0);
    ASSERT_EQ(m_prompt.requests().size(), 1u);
    const platform::SPromptRequest& r = m_prompt.requests()[0];
    EXPECT_EQ(r.icon, platform::EPromptIcon::Error);
    if (c.detail) {
      const std::string lead = head + c.reason + "\r\n(";
      EXPECT_EQ(r.text.substr(0, lead.size()), lead);
      EXPECT_EQ(r.text.back(), ')');
      EXPECT_EQ(r.text.find("\n", lead.size()), std::string::npos) << "the detail is one line";
    } else {
      EXPECT_EQ(r.text, head + c.reason);
    }
    // Nothing claims the sheet is on screen.
    EXPECT_FALSE(doc.HasSheet());
    EXPECT_FALSE(doc.CurrentArea().has_value());
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Vantoria"));
    EXPECT_EQ(frame.PaneText(0), QStringLiteral("レディ"));
    EXPECT_EQ(frame.PaneText(2), QString());
    EXPECT_EQ(frame.PaneText(3), QString());
    EXPECT_EQ(frame.Progress(), nullptr);
    EXPECT_FALSE(frame.MapView()->hasMap());
    EXPECT_EQ(frame.MapView()->EmptyMapHint(), QString::fromUtf8(kPickSheetHint));
    EXPECT_FALSE(frame.Action(cmd::SheetProperties)->isEnabled());
  }
}

QString withoutMnemonic(QString text) {
  text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
  return text.remove(QLatin1Char('&'));
}

TEST(QtTranslationTest, MessageBoxesAndFileDialogsSpeakJapanese) {
  CVantoriaApp app;
  QTemporaryDir empty;
  EXPECT_FALSE(app.InstallQtTranslation(empty.path())) << "no translation there: English, and no failure";
  {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(withoutMnemonic(box.button(QMessageBox::Yes)->text()), QStringLiteral("Yes"));
  }
  if (!app.InstallQtTranslation(QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    GTEST_SKIP() << "qtbase_ja is not installed (qt6-translations-l10n)";
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  const struct {
    QMessageBox::StandardButton button;
    const char* text;
  } kButtons[] = {{QMessageBox::Yes, "はい"}, {QMessageBox::No, "いいえ"}, {QMessageBox::Cancel, "キャンセル"}};
  for (const auto& b : kButtons) {
    SCOPED_TRACE(b.text);
    EXPECT_EQ(withoutMnemonic(box.button(b.button)->text()), QString::fromUtf8(b.text));
  }
  QFileDialog dlg;
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  const auto* lookIn = dlg.findChild<QLabel*>(QStringLiteral("lookInLabel"));
  ASSERT_NE(lookIn, nullptr);
  EXPECT_FALSE(lookIn->text().contains(QStringLiteral("Look in")));
}

// Clicks the link whose target is `href` in a text browser.
void clickLink(QTextBrowser* browser, const QString& href) {
  for (QTextBlock b = browser->document()->begin(); b.isValid(); b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      if (f.charFormat().anchorHref() != href) continue;
      QTextCursor cursor(browser->document());
      cursor.setPosition(f.position() + 1);
      const QPoint at = browser->cursorRect(cursor).center();
      QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
      return;
    }
  }
  ADD_FAILURE() << "no link to " << href.toStdString();
}

TEST_F(ShellTest, HelpAndReadMeShowInsideTheProgram) {
  CVantoriaApp app;
  ASSERT_TRUE(app.InitInstance({QStringLiteral("vantoria")}, false));
  app.SetHelpDir(QStringLiteral(VANTORIA_SOURCE_DIR "/src/resources/help"));
  app.Frame()->Action(cmd::Help)->trigger();
  CHelpWindow* help = app.HelpWindow();
  ASSERT_NE(help, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
  QTextBrowser* browser = help->Browser();
  EXPECT_EQ(browser->source().fileName(), QStringLiteral("Vantoria.html"));
  EXPECT_EQ(help->windowTitle(), QStringLiteral("Vantoria ヘルプ"));
  EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("地形図を開く")));
  EXPECT_TRUE(help->BrowserLink()->text().contains(QStringLiteral("ブラウザで開く")));
  EXPECT_TRUE(help->BrowserLink()->text().contains(browser->source().toString()));

  // Links are followed in the window: an anchor of the page, then the ReadMe it names.
  clickLink(browser, QStringLiteral("#view"));
  EXPECT_EQ(browser->source().fragment(), QStringLiteral("view"));
  clickLink(browser, QStringLiteral("ReadMe.txt"));
  EXPECT_EQ(browser->source().fileName(), QStringLiteral("ReadMe.txt"));
  EXPECT_TRUE(browser->isBackwardAvailable());

  // The ReadMe command shows the text with its lines as written.
  browser->clear();
  app.Frame()->Action(cmd::ReadMe)->trigger();
  EXPECT_EQ(browser->source().fileName(), QStringLiteral("ReadMe.txt"));
  EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("\n■ 起動のしかた\n")));
  EXPECT_EQ(help->windowTitle(), QStringLiteral("ReadMe.txt - Vantoria"));

  // Files that are not there are said so in the window, and nothing is offered to a browser.
  QTemporaryDir empty;
  app.SetHelpDir(empty.path());
  app.Frame()->Action(cmd::Help)->trigger();
  EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Vantoria.html ] が見つかりませんでした。")));
  EXPECT_TRUE(help->BrowserLink()->text().isEmpty());
  EXPECT_TRUE(m_prompt.requests().empty());
}

TEST(FrameGeometryTest, FirstRunTakesMostOfTheScreenCentred) {
  const struct {
    const char* name;
    QRect available;
    QRect want;
  } kCases[] = {
      {"full HD", {0, 0, 1920, 1040}, {192, 104, 1536, 832}},
      {"panel on the left", {64, 0, 1856, 1080}, {64 + 186, 108, 1484, 864}},
      {"small screen: at least 800 x 560", {0, 0, 1024, 600}, {102, 20, 819, 560}},
      {"tiny screen: never beyond it", {0, 0, 640, 480}, {0, 0, 640, 480}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const QRect g = CMainFrame::FirstRunGeometry(c.available);
    EXPECT_EQ(g.size(), c.want.size());
    EXPECT_LE(std::abs(g.center().x() - c.available.center().x()), 1);
    EXPECT_LE(std::abs(g.center().y() - c.available.center().y()), 1);
    EXPECT_TRUE(c.available.contains(g));
  }
  for (const int px : {10, 13, 16, 24}) {
    SCOPED_TRACE(px);
    QFont f;
    f.setPixelSize(px);
    const int w = CMainFrame::FirstDockWidth(f);
    EXPECT_GE(w, 240);
    EXPECT_GE(w, QFontMetrics(f).horizontalAdvance(QStringLiteral("トレックデータビュー")) + 40);
  }
}

TEST_F(ShellTest, FirstRunOpensLargeWithWideToolWindowsAndTheUsersLayoutWins) {
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  int narrowed = 0;
  {
    CVantoriaDoc doc;
    CMainFrame frame(doc);
    frame.RestorePlacement();
    EXPECT_EQ(frame.size(), CMainFrame::FirstRunGeometry(available).size());
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    for (QDockWidget* d : {frame.IndexDock(), frame.TrekListDock(), frame.TrekViewDock()}) {
      SCOPED_TRACE(d->windowTitle().toStdString());
      EXPECT_GE(d->width(), CMainFrame::FirstDockWidth(frame.font()) - 8);
    }
    // The user narrows the tool windows and quits.
    frame.resizeDocks({frame.IndexDock()}, {170}, Qt::Horizontal);
    QApplication::processEvents();
    narrowed = frame.IndexDock()->width();
    frame.close();
  }
  ASSERT_LT(narrowed, 200);
  m_profile.writeInt("Vantoria", "Version", 200);
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.RestorePlacement();
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  EXPECT_EQ(frame.IndexDock()->width(), narrowed);
}

TEST_F(ShellTest, RecentEntriesSitBetweenSeparatorsAboveExit) {
  std::vector<std::filesystem::path> trees;
  for (const char* name : {"a", "b"}) trees.push_back(apptest::writeMapTree(root() / name));
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  for (std::size_t entries = 0; entries <= trees.size(); ++entries) {
    SCOPED_TRACE(entries);
    if (entries > 0) {
      ASSERT_TRUE(doc.OpenIndexFromDialog(trees[entries - 1]));
    }
    const QList<QAction*> items = frame.RecentMenu()->actions();
    const qsizetype exit = items.indexOf(frame.Action(cmd::Exit));
    ASSERT_GE(exit, 0);
    const qsizetype first = exit - 1 - qsizetype(std::max<std::size_t>(entries, 1));
    ASSERT_GE(first, 1);
    EXPECT_TRUE(items[exit - 1]->isSeparator()) << "after the list";
    EXPECT_TRUE(items[first - 1]->isSeparator()) << "before the list";
    for (qsizetype i = first; i < exit - 1; ++i) EXPECT_FALSE(items[i]->isSeparator());
    if (entries == 0) {
      EXPECT_EQ(items[first]->text(), QStringLiteral("最近開いた地形図"));
    } else {
      EXPECT_EQ(items[first], frame.Action(cmd::RecentFirst));
    }
    EXPECT_EQ(items[first - 2], frame.Action(cmd::PrintSetup));
  }
}

TEST_F(ShellTest, EmptyMapSaysInOneCentredLineHowToBegin) {
  const auto index = apptest::writeMapTree(root());
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.resize(1200, 800);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  CVantoriaView* view = frame.MapView();
  EXPECT_EQ(view->EmptyMapHint(), QString::fromUtf8(kOpenIndexHint));
  ASSERT_TRUE(doc.OpenIndexFile(index));
  EXPECT_EQ(view->EmptyMapHint(), QString::fromUtf8(kPickSheetHint));

  // Dark text in one band across the middle of the map area, nothing elsewhere.
  const QImage shot = view->viewport()->grab().toImage();
  int top = shot.height(), bottom = -1, left = shot.width(), right = -1;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (qGray(shot.pixel(x, y)) < 140) {
        top = std::min(top, y), bottom = std::max(bottom, y);
        left = std::min(left, x), right = std::max(right, x);
      }
  ASSERT_GE(bottom, 0) << "the hint is drawn";
  EXPECT_LE(bottom - top, 2 * view->fontMetrics().height()) << "one line";
  EXPECT_LE(std::abs((top + bottom) / 2 - shot.height() / 2), view->fontMetrics().height());
  EXPECT_LE(std::abs((left + right) / 2 - shot.width() / 2), 4);

  doc.LoadSheet(0, 0);
  EXPECT_TRUE(view->EmptyMapHint().isEmpty());
  frame.hide();
}

TEST_F(ShellTest, TypedZoomIsAppliedToTheMapOrPutBack) {
  const auto index = apptest::writeMapTree(root());
  CVantoriaDoc doc;
  CMainFrame frame(doc);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  ASSERT_TRUE(doc.OpenIndexFile(index));
  doc.LoadSheet(0, 0);
  QLineEdit* edit = frame.ZoomBar()->combo()->lineEdit();
  const struct {
    const char* typed;
    MagnificationCode want;  // 0: unchanged
    const char* shown;
  } kCases[] = {
      {"37%", 37, "37%"},         {"hello", 0, "37%"},          {"1:25,000", -25000, "1:25000"},
      {"1700%", 0, "1:25000"},    {"150", 150, "150%"},         {"0%", 0, "150%"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    const MagnificationCode was = frame.MapView()->magnification();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromUtf8(c.typed));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(frame.MapView()->magnification(), c.want != 0 ? c.want : was);
    EXPECT_EQ(frame.ZoomBar()->combo()->currentText(), QString::fromUtf8(c.shown));
  }
  frame.hide();
}

}  // namespace
