#include "app/ui/CVantoriaApp.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <utility>

#include "app/CVantoriaDoc.h"
#include "app/ProgramFiles.h"
#include "app/RecoveryManager.h"
#include "app/RecoveryOffer.h"
#include "app/Resources.h"
#include "app/ui/CDlgOpenIndex.h"
#include "app/ui/CDlgSheetProp.h"
#include "display/ui/CVantoriaView.h"
#include "mosaic/MosaicRenderer.h"
#include "platform/FileLookup.h"
#include "app/ui/CHelpWindow.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CPrpIni.h"
#include "display/ui/CPopTextWnd.h"
#include "display/ui/CVantoriaView.h"
#include "output/ui/PrintJob.h"
#include "platform/FileLookup.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "platform/ui/CQtFileDialog.h"
#include "platform/ui/CQtPrompt.h"

CVantoriaApp* CVantoriaApp::s_instance = nullptr;

CVantoriaApp::CVantoriaApp() { s_instance = this; }

CVantoriaApp::~CVantoriaApp() {
  // The frame goes before the document it shows; prompts last, as windows may still ask.
  m_help.reset();
  // A clean exit (every modified group saved or given up) leaves no copies; any other end keeps
  // them for the next start.
  if (m_recovery && m_doc && m_doc->CloseConfirmed()) m_recovery->Shutdown();
  m_recovery.reset();
  m_frame.reset();
  m_doc.reset();
  if (m_prompt) platform::setPrompt(nullptr);
  if (m_fileDialog) platform::setFileDialog(nullptr);
  if (s_instance == this) s_instance = nullptr;
}

void CVantoriaApp::InstallFontSubstitutes() {
  const QStringList japanese = {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("IPAGothic"), QStringLiteral("VL PGothic")};
  const QStringList mono = {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                            QStringLiteral("IPAPGothic")};
  for (const char* face : {"ＭＳ Ｐゴシック", "ＭＳ Ｐ ゴシック", "ＭＳ　Ｐゴシック", "MS PGothic", "MS UI Gothic", "Meiryo", "メイリオ"})
    QFont::insertSubstitutions(QString::fromUtf8(face), japanese);
  for (const char* face : {"ＭＳ ゴシック", "ＭＳ　ゴシック", "MS Gothic"}) QFont::insertSubstitutions(QString::fromUtf8(face), mono);
}

QString CVantoriaApp::ProgramDir() { return QCoreApplication::applicationDirPath(); }

bool CVantoriaApp::InstallQtTranslation(const QString& folder) {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"), folder))
    return false;
  m_qtTranslator = std::move(translator);  // the previous one leaves the application with it
  QCoreApplication::installTranslator(m_qtTranslator.get());
  return true;
}

bool CVantoriaApp::InitInstance(const QStringList& arguments, bool show) {
  QCoreApplication::setOrganizationName(QStringLiteral("Kestrelsoft"));
  QCoreApplication::setApplicationName(QStringLiteral("Vantoria"));
  InstallFontSubstitutes();
  // Before any window: the program speaks Japanese whatever the system's language.
  (void)InstallQtTranslation(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  // Japanese text needs a Japanese face; the widgets' default face may lack the glyphs.
  if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
    QFont f = QApplication::font();
    f.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    QApplication::setFont(f);
  }
  QApplication::setWindowIcon(VantoriaAppIcon());

  m_settings.Load();

  m_doc = std::make_unique<CVantoriaDoc>();
  m_frame = std::make_unique<CMainFrame>(*m_doc);
  m_frame->SetAppTarget(this);
  m_frame->MapView()->setSettings(&m_settings);
  m_frame->InstallTrekCommands(&m_settings);
  // Message boxes and file dialogs on screen, unless a test has installed its scripted ones.
  if (!platform::promptInstalled()) {
    m_prompt = std::make_unique<platform::CQtPrompt>(m_frame.get());
    platform::setPrompt(m_prompt.get());
  }
  if (!platform::fileDialogInstalled()) {
    m_fileDialog = std::make_unique<platform::CQtFileDialog>(m_frame.get());
    platform::setFileDialog(m_fileDialog.get());
  }
  m_doc->setIndexDialog([this](const std::string& initialDir) -> std::optional<std::filesystem::path> {
    QString dir = QString::fromStdString(initialDir);
    if (!QFileInfo(dir).isDir()) dir = QDir::homePath();
    CDlgOpenIndex dlg(m_frame.get(), dir);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return platform::pathFromUtf8(dlg.selectedFiles().front().toStdString());
  });
  // A file changed by another program is asked about once no dialog or menu is open.
  m_doc->setCanAsk([] { return !QApplication::activeModalWidget() && !QApplication::activePopupWidget(); });
  connect(m_doc.get(), &CVantoriaDoc::sheetPropertiesRequested, this, &CVantoriaApp::showSheetProperties);
  connect(m_frame->MapView(), &CVantoriaView::printRequested, this, &CVantoriaApp::Print);

  // Without a stored placement (first run) the frame opens at a useful size, not maximised.
  const std::string showCmd = platform::profile().readString("Wnd_Pos", "showCmd", "");
  m_frame->RestorePlacement();

  // The window first, so that a message about the command line has it as its owner.
  if (show) {
    if (showCmd == "Max" || showCmd == "Min") m_frame->showMaximized();
    else m_frame->show();
  }

  startRecovery();
  OpenFiles(arguments.mid(1));
  return true;
}

void CVantoriaApp::startRecovery() {
  std::filesystem::path folder;
  if (!m_recoveryFolder.isEmpty()) folder = platform::pathFromUtf8(m_recoveryFolder.toStdString());
  else if (!QStandardPaths::isTestModeEnabled()) folder = DefaultRecoveryFolder();
  if (folder.empty()) return;
  m_recovery = std::make_unique<CRecoveryManager>(m_doc->TrekGroups(), folder);
  if (!m_recovery->Start()) {
    // Without a folder to write in the program runs on, as it did before copies were kept.
    m_recovery.reset();
  } else {
    CRecoveryManager* r = m_recovery.get();
    connect(m_doc.get(), &CVantoriaDoc::trekDataChanged, r, &CRecoveryManager::NoteChange);
    connect(m_doc.get(), &CVantoriaDoc::trekGroupSaved, r, &CRecoveryManager::NoteSaved);
    connect(r, &CRecoveryManager::copyFailed, m_frame.get(), [this](const QString& reason) {
      if (m_frame) m_frame->statusBar()->showMessage(QStringLiteral("復元用のコピーを保存できませんでした: ") + reason, 10000);
    });
  }
  SRecoveryScan scan = ScanRecoveryFolder(folder, m_recovery ? m_recovery->OwnerId() : std::string(), true);
  if (OfferRecovery(m_doc->TrekGroups(), m_recovery.get(), std::move(scan)) > 0) m_frame->UpdateCommandUI();
}

void CVantoriaApp::OpenFiles(const QStringList& files, int dropped) {
  if (!m_doc || !m_frame) return;
  (void)OpenProgramFiles(*m_doc, files, dropped);
  m_frame->UpdateCommandUI();
}

void CVantoriaApp::OpenHandedOverFiles(const QStringList& files) {
  m_handedOver.Add(files);
  if (m_handOverQueued) return;
  m_handOverQueued = true;
  // A dialog or menu of this program has the user's attention (or a transfer letting messages
  // through): the files wait until it is closed.
  const auto tryOpen = [this](const auto& self) -> void {
    if (!m_frame || QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
      QTimer::singleShot(300, this, [self] { self(self); });
      return;
    }
    m_handOverQueued = false;
    const CHandOverQueue::STaken pending = m_handedOver.Take();
    BringToFront();
    OpenFiles(pending.files, pending.dropped);
  };
  QTimer::singleShot(0, this, [tryOpen] { tryOpen(tryOpen); });
}

void CVantoriaApp::BringToFront() {
  if (!m_frame) return;
  if (m_frame->isMinimized()) m_frame->setWindowState(m_frame->windowState() & ~Qt::WindowMinimized);
  m_frame->show();
  m_frame->raise();
  m_frame->activateWindow();
}

bool CVantoriaApp::onCommand(int id) {
  switch (id) {
    case cmd::Help:
      showHelpFile(QLatin1String(kManualFile));
      return true;
    case cmd::ReadMe:
      showHelpFile(QLatin1String(kReadMeFile));
      return true;
    case cmd::About:
      showAbout();
      return true;
    case cmd::Settings: {
      CMapSettingsRefresh refresh(m_frame ? m_frame->MapView() : nullptr, m_doc.get());
      RunSettingsSheet(m_frame.get(), m_settings, refresh);
      return true;
    }
    case cmd::PrintSetup:
      printSetup();
      return true;
    default:
      return false;
  }
}

bool CVantoriaApp::GetPrinterDeviceDefaults() {
  CPrintJob probe(printHost());
  if (!m_printerName.isEmpty() && probe.SelectPrinter(m_printerName)) return true;
  QStringList names = CPrintJob::PrinterNames();
  const QString def = QPrinterInfo::defaultPrinterName();
  if (!def.isEmpty()) names.prepend(def);
  for (const QString& name : names) {
    if (!probe.SelectPrinter(name)) continue;
    m_printerName = name;
    m_pageLayout = QPageLayout();
    return true;
  }
  return false;
}

bool CVantoriaApp::SelectPrinter(const QString& printerName) {
  CPrintJob probe(printHost());
  if (!probe.SelectPrinter(printerName)) return false;
  m_printerName = printerName;
  m_pageLayout = QPageLayout();
  return true;
}

SPrintHost CVantoriaApp::printHost() {
  SPrintHost host;
  host.doc = m_doc.get();
  host.view = m_frame ? m_frame->MapView() : nullptr;
  host.mainWindow = m_frame.get();
  host.render = m_settings.mapRenderSettings();
  host.printerName = &m_printerName;
  host.pageLayout = &m_pageLayout;
  host.previewPages = [this] { return PreviewPages(); };
  host.setPreviewPages = [this](int pages) { SetPreviewPages(pages); };
  return host;
}

void CVantoriaApp::Print() {
  if (!m_doc || !m_doc->HasSheet()) return;
  CPrintJob job(printHost());
  (void)job.Print();
  if (m_frame) m_frame->UpdateCommandUI();
}

void CVantoriaApp::printSetup() {
  if (!GetPrinterDeviceDefaults()) {
    platform::prompt().warn(CPrintJob::kNoPrinterText);
    return;
  }
  CPrintJob job(printHost());
  if (!job.SelectPrinter(m_printerName)) return;
  QPrinter* printer = job.printer();
  if (m_pageLayout.isValid()) printer->setPageLayout(m_pageLayout);
  if (m_printerName == CPrintJob::PdfPrinterName()) {
    // The PDF output has no printer of its own to set up: paper and orientation only.
    QPageSetupDialog dlg(printer, m_frame.get());
    if (dlg.exec() == QDialog::Accepted) m_pageLayout = printer->pageLayout();
    return;
  }
  QPrintDialog dlg(printer, m_frame.get());
  dlg.setOptions({});
  if (dlg.exec() != QDialog::Accepted) return;
  m_printerName = printer->outputFormat() == QPrinter::PdfFormat ? CPrintJob::PdfPrinterName() : printer->printerName();
  m_pageLayout = printer->pageLayout();
}

int CVantoriaApp::PreviewPages() const { return platform::profile().readInt("Settings", "PreviewPages", 1); }

void CVantoriaApp::SetPreviewPages(int pages) { platform::profile().writeInt("Settings", "PreviewPages", pages); }

bool CVantoriaApp::onUpdateCommand(int id, SCommandState& state) const {
  switch (id) {
    case cmd::Help: case cmd::ReadMe: case cmd::About: case cmd::PrintSetup: case cmd::Settings:
      state.enabled = true;
      return true;
    default:
      return false;
  }
}

void CVantoriaApp::showAbout() {
  QDialog dlg(m_frame.get());
  dlg.setObjectName(QStringLiteral("aboutDialog"));
  dlg.setWindowTitle(QStringLiteral("バージョン情報"));
  auto* icon = new QLabel(&dlg);
  icon->setPixmap(VantoriaAppIcon().pixmap(48, 48));
  auto* text = new QLabel(QStringLiteral("<b>Vantoria Version %1</b><br>数値地図 (地図画像) ビューア<br>"
                                         "Copyright (C) Kestrelsoft")
                              .arg(QStringLiteral(VANTORIA_VERSION)),
                          &dlg);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dlg);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(text, 1);
  auto* lay = new QVBoxLayout(&dlg);
  lay->addLayout(row);
  lay->addWidget(buttons);
  dlg.exec();
}

void CVantoriaApp::showHelpFile(const QString& fileName) {
  if (!m_help) m_help = std::make_unique<CHelpWindow>(m_frame.get());
  m_help->ShowFile((m_helpDir.isEmpty() ? FindHelpDir(ProgramDir()) : m_helpDir) + QLatin1Char('/') + fileName);
  m_help->show();
  m_help->raise();
  m_help->activateWindow();
}

void CVantoriaApp::showSheetProperties() {
  if (!m_doc || !m_doc->HasCurrentSheet()) return;
  std::vector<SSheetPropertyRow> extra;
  // Appended, not summed: GCC 12 at -O3 warns falsely (-Wrestrict) on a sum with a string in front.
  auto indented = [](const std::string& text) {
    std::string s(" ");
    s += text;
    return s;
  };
  for (const std::filesystem::path& copy : m_doc->CurrentSheetDuplicates())
    extra.push_back({"重複 (使用しない)", indented(platform::pathToUtf8(copy))});
  // A sheet of the seamless map that cannot be read says why.
  if (m_frame && m_frame->MapView() && m_frame->MapView()->mosaicRenderer() && m_doc->Seamless())
    if (const auto reason = m_frame->MapView()->mosaicRenderer()->FailureOf(m_doc->CentreSheet()))
      extra.push_back({"読み込めません", indented(*reason)});
  CDlgSheetProp dlg(m_doc->CurrentSheet(), m_doc->SheetSeries(), m_frame.get(), extra);
  dlg.exec();
}
