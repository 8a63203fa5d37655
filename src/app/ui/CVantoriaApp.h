#pragma once
// The process-wide root: settings, document and main window, and the application's own commands
// (settings sheet, help, ReadMe, version dialog).
#include <QObject>
#include <QPageLayout>
#include <QStringList>
#include <memory>

#include "app/AppSettings.h"
#include "app/Commands.h"
#include "app/SingleInstance.h"

class CHelpWindow;
class CRecoveryManager;
class CMainFrame;
struct SPrintHost;
class QTranslator;
class CVantoriaDoc;
namespace platform {
class IPrompt;
class IFileDialog;
class IProfileStore;
}  // namespace platform

class CVantoriaApp : public QObject, public ICommandTarget {
  Q_OBJECT
 public:
  CVantoriaApp();
  ~CVantoriaApp() override;

  /// Start-up: settings, prompts and dialogs, document and frame, then the command line
  /// (`vantoria [index.csv [trek files...]]`); files on it that do not open are reported and
  /// left out. `show` is off for tests, which look at the frame without showing it.
  bool InitInstance(const QStringList& arguments, bool show = true);

  /// Opens files as the command line names them (OpenProgramFiles): the first file that is not
  /// trek data (".pmd", ".ptd", ".gpx") is the map index, the rest trek data files. Also what a
  /// second start of the program hands over to this one; `dropped` names did not fit its queue.
  void OpenFiles(const QStringList& files, int dropped = 0);
  /// Shows the main window above the others (restored when minimised).
  void BringToFront();
  /// Files a second start of the program handed over: opened as `OpenFiles` does and the
  /// window brought to the front, once no dialog or menu of this program is open. Meanwhile
  /// they wait in a bounded queue.
  void OpenHandedOverFiles(const QStringList& files);

  static CVantoriaApp* instance() { return s_instance; }
  AppSettings& Settings() { return m_settings; }
  CVantoriaDoc* Doc() const { return m_doc.get(); }
  CMainFrame* Frame() const { return m_frame.get(); }

  /// Maps the Windows face names the program asks for to the Japanese fonts installed here.
  static void InstallFontSubstitutes();
  /// The program's folder; the help files lie there or in the installed data folder.
  static QString ProgramDir();
  /// Loads Qt's own Japanese texts (file and colour dialogs, message box buttons, print
  /// dialogs) from `folder`; false, and English texts there, when the translation is absent.
  bool InstallQtTranslation(const QString& folder);
  /// The window the help and ReadMe commands show their files in; null until first used.
  CHelpWindow* HelpWindow() const { return m_help.get(); }
  /// Where the help commands find their files; found from the program's folder unless set (tests).
  void SetHelpDir(const QString& dir) { m_helpDir = dir; }
  /// Where recovery copies of modified trek groups are kept; DefaultRecoveryFolder() unless
  /// set before InitInstance. Under QStandardPaths' test mode none are kept unless set.
  void SetRecoveryFolder(const QString& folder) { m_recoveryFolder = folder; }
  /// The recovery copies of this instance; null when none are kept.
  CRecoveryManager* Recovery() const { return m_recovery.get(); }

  /// The printer shared by every print command (a system printer or the PDF output); empty
  /// until a print command or the print set-up needs one.
  QString PrinterName() const { return m_printerName; }
  /// Paper and orientation chosen for that printer; invalid until chosen.
  QPageLayout PrinterPageLayout() const { return m_pageLayout; }
  /// Fills in the system's default printer when none is selected (else the first one, else the
  /// PDF output); false when not even that can be used.
  bool GetPrinterDeviceDefaults();
  /// Replaces the printer selection by the named printer; false when it does not exist.
  bool SelectPrinter(const QString& printerName);
  /// The print command of the map view: settings dialog, then the pages.
  void Print();
  /// Pages the print preview shows at once ("Settings"/"PreviewPages").
  int PreviewPages() const;
  void SetPreviewPages(int pages);

  bool onCommand(int id) override;
  bool onUpdateCommand(int id, SCommandState& state) const override;

 private:
  void showAbout();
  void showHelpFile(const QString& fileName);
  void showSheetProperties();
  /// What a print command takes from the application: document, view, colours, printer.
  SPrintHost printHost();
  void printSetup();
  /// Starts the recovery copies and offers those of ended instances.
  void startRecovery();

  static CVantoriaApp* s_instance;
  AppSettings m_settings;
  std::unique_ptr<platform::IPrompt> m_prompt;
  std::unique_ptr<platform::IFileDialog> m_fileDialog;
  std::unique_ptr<CVantoriaDoc> m_doc;
  std::unique_ptr<CMainFrame> m_frame;
  QString m_printerName;
  QPageLayout m_pageLayout;
  std::unique_ptr<QTranslator> m_qtTranslator;
  std::unique_ptr<CHelpWindow> m_help;
  QString m_helpDir;
  QString m_recoveryFolder;
  std::unique_ptr<CRecoveryManager> m_recovery;
  CHandOverQueue m_handedOver;
  bool m_handOverQueued = false;
};
