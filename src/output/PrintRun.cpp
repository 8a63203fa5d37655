#include "output/PrintRun.h"

#include <QFont>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

#include "maps/SheetImage.h"
#include "platform/AtomicFile.h"
#include "platform/FileLookup.h"

namespace print {

SPageSpan PrintedPages(const PrintInfo& info) {
  const auto clampPage = [&info](std::uint32_t p) { return std::min(std::max(p, info.minPage), info.maxPage); };
  return {clampPage(info.fromPage), clampPage(info.toPage)};
}

SRunResult RunPages(QPainter& painter, QPagedPaintDevice& device, PrintInfo& info, const CPrintPageRenderer& renderer,
                    const PageProgress& progress) {
  SRunResult result;
  const SPageSpan span = PrintedPages(info);
  const int step = span.last < span.first ? -1 : 1;
  const int count = static_cast<int>(step > 0 ? span.last - span.first : span.first - span.last) + 1;
  info.continuePrinting = true;
  info.currentPage = span.first;
  for (int n = 1; n <= count; ++n) {
    if (n > 1 && !device.newPage()) {
      result.status = ERunStatus::Failed;
      return result;
    }
    if (progress && !progress(n, count)) {
      info.continuePrinting = false;
      result.status = ERunStatus::Cancelled;
      return result;
    }
    renderer.PrintPage(painter, info);
    ++result.pagesPrinted;
    info.currentPage = static_cast<std::uint32_t>(static_cast<int>(info.currentPage) + step);
  }
  return result;
}

SPdfReport PrintToPdf(const SPrintSheet& sheet, PrintInfo& info, const SPdfTarget& target,
                      MagnificationCode viewMagnification) {
  SPdfReport report;
  if (!sheet.image && !(sheet.plane && sheet.plane->valid())) {
    report.error = "no sheet";
    return report;
  }
  const std::string name = platform::pathToUtf8(target.path);
  platform::CAtomicFile file(target.path);
  if (!file.open()) {
    report.error = "cannot write " + name + ": " + file.failure();
    return report;
  }
  QPdfWriter pdf(&file);
  pdf.setResolution(target.dpi);
  pdf.setTitle(QString::fromStdString(target.title));
  pdf.setCreator(QStringLiteral("Vantoria"));
  pdf.setPageLayout(QPageLayout(target.pageSize, target.orientation,
                                QMarginsF(target.marginMm, target.marginMm, target.marginMm, target.marginMm),
                                QPageLayout::Millimeter));
  const QRect pageRect = pdf.pageLayout().paintRectPixels(target.dpi);

  SPrintContext context;
  context.dpi = {target.dpi, target.dpi, target.screenDpi, target.screenDpi};
  context.page = pageRect.size();
  context.series = sheet.series;
  context.viewMagnification = viewMagnification;
  context.area = sheet.PrintArea(info.printSelection).size();
  if (sheet.plane) {
    const SLocalMetres local = LocalMetres(sheet.plane->plane, sheet.PrintArea(info.printSelection));
    context.groundAcross = local.factorAcross();
    context.groundDown = local.factorDown();
  }
  const std::uint32_t from = info.fromPage;
  const std::uint32_t to = info.toPage;
  if (!RecomputeScale(info, context) || !RecomputePageLayout(info, context)) {
    file.discard();
    report.error = "the print area cannot be laid out on this paper";
    return report;
  }
  if (to != kOpenEndedPage && (from > info.maxPage || to > info.maxPage)) {
    file.discard();
    report.error = "the pages " + std::to_string(from) + "-" + std::to_string(to) + " lie outside the print's 1-" +
                   std::to_string(info.maxPage);
    return report;
  }
  info.fromPage = std::max<std::uint32_t>(from, 1);
  info.toPage = to;
  info.drawRect = QRect(QPoint(0, 0), pageRect.size());

  CPrintPageRenderer renderer;
  (void)renderer.BeginPrinting(info, sheet);
  if (sheet.plane) report.sheets = MeshCodesShown(sheet.plane->plane, *sheet.plane->sheets, info.sourceRect);
  QPainter painter;
  if (!painter.begin(&pdf)) {
    file.discard();
    report.error = "cannot start the PDF";
    return report;
  }
  report.run = RunPages(painter, pdf, info, renderer);
  report.renderedBytes = renderer.memoryBytes();
  painter.end();
  renderer.EndPrinting();
  if (report.run.status != ERunStatus::Done) {
    file.discard();
    report.error = "the print stopped";
    return report;
  }
  // The PDF engine does not look at what its writes return: the file knows whether one failed.
  if (!file.commit(target.replace)) {
    report.targetExists = file.targetExists();
    report.error = file.targetExists() ? name + " exists (use --force to overwrite)"
                                       : "cannot write " + name + ": " + file.failure();
    return report;
  }
  report.ok = true;
  return report;
}

void InstallPrintFontSubstitutes() {
  const QStringList japanese = {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("IPAGothic"), QStringLiteral("VL PGothic")};
  for (const char* face : {"ＭＳ Ｐゴシック", "ＭＳ　Ｐゴシック"}) {
    if (QFont::substitutes(QString::fromUtf8(face)).isEmpty()) QFont::insertSubstitutions(QString::fromUtf8(face), japanese);
  }
}

}  // namespace print
