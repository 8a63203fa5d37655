#pragma once
// The page loop of a print run, and a whole run into a PDF file (the command line, the
// benchmark, tests). Printers, the status window and the messages are the widget layer's.
#include <QPageLayout>
#include <QPageSize>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "output/PrintInfo.h"
#include "output/PrintPageRenderer.h"
#include "platform/AtomicFile.h"

class QPainter;
class QPagedPaintDevice;

namespace print {

/// Told before each page with its number in this run and the run's page count; false cancels.
using PageProgress = std::function<bool(int pageNumber, int pageCount)>;

enum class ERunStatus { Done, Cancelled, Failed };
struct SRunResult {
  ERunStatus status = ERunStatus::Done;
  int pagesPrinted = 0;
};

/// The first and last page to print: `fromPage` and `toPage` clamped into minPage..maxPage.
struct SPageSpan {
  std::uint32_t first = 1;
  std::uint32_t last = 1;
};
[[nodiscard]] SPageSpan PrintedPages(const PrintInfo& info);

/// Prints pages first..last of `info` on an active painter of `device` (the first page is the
/// device's current page). `info.drawRect` must hold the printable page.
SRunResult RunPages(QPainter& painter, QPagedPaintDevice& device, PrintInfo& info, const CPrintPageRenderer& renderer,
                    const PageProgress& progress = {});

/// A print to a PDF file.
struct SPdfTarget {
  std::filesystem::path path;
  QPageSize pageSize = QPageSize(QPageSize::A4);
  QPageLayout::Orientation orientation = QPageLayout::Portrait;
  int dpi = 600;
  double marginMm = 5.0;   ///< on every side: the printable area of a common printer
  int screenDpi = 96;      ///< the screen a magnification is measured on
  std::string title;       ///< document title (UTF-8)
  platform::EReplace replace = platform::EReplace::Replace;  ///< whether an existing file may be replaced
};
struct SPdfReport {
  bool ok = false;
  std::string error;       ///< why not (UTF-8)
  bool targetExists = false;  ///< the file existed and was not to be replaced
  SRunResult run;
  std::int64_t renderedBytes = 0;  ///< the rendered copy of the sheet (seamless: the band)
  std::vector<std::string> sheets;  ///< seamless print: mesh codes of the sheets in the area
};
/// Computes scale and layout for `info` (mode, magnification, options, selection and page range
/// as set by the caller; a page range of 1..kOpenEndedPage prints everything), renders and
/// prints. The previous file stays whole when the run fails.
[[nodiscard]] SPdfReport PrintToPdf(const SPrintSheet& sheet, PrintInfo& info, const SPdfTarget& target,
                                    MagnificationCode viewMagnification = 100);

/// Maps the face names the page header and labels ask for to Japanese fonts found here.
void InstallPrintFontSubstitutes();

}  // namespace print
