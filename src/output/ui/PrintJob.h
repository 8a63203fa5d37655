#pragma once
// The print command: the printer, the settings dialog, the page loop on a QPrinter with its
// progress window, and the messages. One job per command.
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "output/PrintInfo.h"
#include "output/PrintPageRenderer.h"
#include "output/PrintRun.h"
#include "output/ui/CPrintPreviewWnd.h"

namespace platform {
class CAtomicFile;
}
class CTrackLog;
class CVantoriaDoc;
class CVantoriaView;
class QPrinter;
class QWidget;

/// What a print takes from the application.
struct SPrintHost {
  CVantoriaDoc* doc = nullptr;
  CVantoriaView* view = nullptr;
  QWidget* mainWindow = nullptr;       ///< disabled while pages are printed
  SMapRenderSettings render;           ///< the user's colours
  QString* printerName = nullptr;      ///< the application's printer selection; empty: the default
  QPageLayout* pageLayout = nullptr;   ///< its paper and orientation; invalid: the printer's own
  std::function<int()> previewPages;   ///< pages the preview shows at once
  std::function<void(int)> setPreviewPages;
};

class CPrintJob {
 public:
  /// The name of Qt's PDF output in the printer list; printing to it asks for a file.
  static QString PdfPrinterName() { return QStringLiteral("PDF"); }
  static constexpr const char* kNoPrinterText =
      "このコンピュータには、プリンタがインストールされていないようです。\r\nプリンタをインストールしてからこの操作を行って下さい。";
  static constexpr const char* kPrinterUnusableText = "選択されたプリンタは、利用できません。";
  static constexpr const char* kStartFailedText = "印刷ジョブを開始できませんでした。";

  explicit CPrintJob(SPrintHost host);
  ~CPrintJob();
  CPrintJob(const CPrintJob&) = delete;
  CPrintJob& operator=(const CPrintJob&) = delete;

  /// The print command: dialog, then the pages. `direct` (printing without the dialog) does
  /// nothing. With `track` ("トラックを印刷") the dialog opens on the log's box with a margin at
  /// 1:25,000, the paper turned the way that needs fewer pages. False when the run failed.
  bool Print(bool direct = false, const CTrackLog* track = nullptr);
  static constexpr const char* kTrackOffMapText = "選択したトラックログは、表示中の地図の上にありません。";
  /// The track log print's area (map pixels at ratio 1), while the job prints one.
  [[nodiscard]] const std::optional<QRect>& TrackArea() const { return m_trackArea; }

  /// Every printer the system offers, then the PDF output.
  [[nodiscard]] static QStringList PrinterNames();
  /// Makes `name` the chosen printer; false when it cannot be used.
  bool SelectPrinter(const QString& name);
  [[nodiscard]] QPrinter* printer() const { return m_printer.get(); }
  [[nodiscard]] QString printerName() const { return m_printerName; }

  [[nodiscard]] PrintInfo& info() { return m_info; }
  /// Printer, page, area, series and view magnification for the arithmetic; an invalid
  /// resolution without a printer.
  [[nodiscard]] print::SPrintContext Context() const;
  [[nodiscard]] bool HasSelection() const;
  /// The view shows the seamless map: the print is a rectangle of its plane.
  [[nodiscard]] bool Seamless() const;
  /// The map area the window shows, in map pixels at ratio 1 (plane pixels when seamless).
  [[nodiscard]] QRect WindowArea() const;
  /// The selected rectangle: the track log print's area, else the view's range selection.
  [[nodiscard]] QRect selectionArea() const;
  /// Scale by mode, then the page grid, which resets the page range to all pages. False
  /// without a printer.
  bool Recompute();
  /// As Recompute(), keeping the page range the user chose.
  bool RecomputeKeepingPages();
  /// Prints above this many pages only after the user said yes.
  static constexpr std::uint32_t kQuietPageCount = 100;
  [[nodiscard]] static std::string PageCountQuestion(std::uint32_t pages);
  /// Asks before a print of more than kQuietPageCount pages; false when the user says no.
  [[nodiscard]] bool ConfirmPageCount() const;
  [[nodiscard]] SPrintSheet Sheet() const;
  [[nodiscard]] QString DocumentTitle() const;
  [[nodiscard]] const SPrintHost& host() const { return m_host; }

  /// The preview of the dialog's settings, the map view's painting held meanwhile. True when
  /// the user chose to print from it.
  bool ShowPreview();
  /// The paper of the chosen printer as the preview draws it.
  [[nodiscard]] SPreviewPaper PreviewPaper() const;
  /// Runs the pages on the chosen printer (after the dialog ended with OK).
  bool PrintPages();
  /// The message of a PDF file that could not be written, with the system's reason.
  [[nodiscard]] static std::string PdfFailedText(const platform::CAtomicFile& file);

 private:
  SPrintHost m_host;
  PrintInfo m_info;
  std::unique_ptr<QPrinter> m_printer;
  QString m_printerName;
  mutable print::SPlaneSource m_planeSource;
  std::optional<QRect> m_trackArea;
  /// Sets up a track log print on the chosen printer; false when the log is off the map.
  bool prepareTrack(const CTrackLog& log);  ///< what Sheet() hands out for the seamless map
};
