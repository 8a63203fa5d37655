#include "output/ui/PrintJob.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/CVantoriaDoc.h"
#include "display/ui/CVantoriaView.h"
#include "mosaic/MosaicRenderer.h"
#include "output/ui/CDlgPrintPreview.h"
#include "output/ui/CDlgPrintStatus.h"
#include "output/ui/CPrintDialogTrek.h"
#include "platform/AtomicFile.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IPrompt.h"
#include "trek/CTrekData.h"

namespace {

bool groupOfKindExists(const CVantoriaDoc& doc, std::int32_t kind) {
  for (const auto& g : doc.TrekGroups().Groups())
    if (g && g->Kind() == kind) return true;
  return false;
}

}  // namespace

CPrintJob::CPrintJob(SPrintHost host) : m_host(std::move(host)) {}

CPrintJob::~CPrintJob() = default;

QStringList CPrintJob::PrinterNames() {
  QStringList names = QPrinterInfo::availablePrinterNames();
  names << PdfPrinterName();
  return names;
}

bool CPrintJob::SelectPrinter(const QString& name) {
  std::unique_ptr<QPrinter> printer;
  if (name == PdfPrinterName()) {
    printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageSize(QPageSize(QPageSize::A4));
  } else {
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    if (info.isNull()) return false;
    printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  }
  if (!printer->isValid() || printer->resolution() <= 0) return false;
  m_printer = std::move(printer);
  m_printerName = name;
  return true;
}

print::SPrintContext CPrintJob::Context() const {
  print::SPrintContext c;
  if (m_printer) {
    const int dpi = m_printer->resolution();
    c.dpi.printerX = c.dpi.printerY = dpi;
    c.page = m_printer->pageLayout().paintRectPixels(dpi).size();
  }
  c.dpi.screenX = m_host.view ? m_host.view->logicalDpiX() : 96;
  c.dpi.screenY = m_host.view ? m_host.view->logicalDpiY() : 96;
  if (Seamless()) {
    c.series = static_cast<int>(m_host.view->seamlessSeries());
    const QRect area = m_info.printSelection && HasSelection() ? selectionArea() : WindowArea();
    c.area = area.size();
    const print::SLocalMetres local = print::LocalMetres(m_host.view->mosaicRenderer()->plane(), area);
    c.groundAcross = local.factorAcross();
    c.groundDown = local.factorDown();
  } else if (m_host.doc) {
    c.series = static_cast<int>(m_host.doc->SheetSeries());
    const QSize whole(m_host.doc->Image().width(), m_host.doc->Image().height());
    c.area = whole;
    if (m_info.printSelection && HasSelection()) c.area = (selectionArea() & QRect(QPoint(), whole)).size();
  }
  if (m_host.view) c.viewMagnification = m_host.view->magnification();
  return c;
}

bool CPrintJob::Seamless() const {
  return m_host.view && m_host.view->seamless() && m_host.view->mosaicRenderer() && m_host.view->hasMap();
}

QRect CPrintJob::WindowArea() const {
  if (!m_host.view || !(m_host.view->ratio() > 0)) return {};
  // The visible part of the map in map pixels at ratio 1 (plane pixels on the seamless map).
  const double r = m_host.view->ratio();
  const QRect visible = QRect(m_host.view->scrollPosition(), m_host.view->viewport()->size()) &
                        QRect(QPoint(0, 0), m_host.view->mapSize());
  if (visible.isEmpty()) return {};
  const int left = static_cast<int>(std::floor(visible.left() / r));
  const int top = static_cast<int>(std::floor(visible.top() / r));
  const int right = static_cast<int>(std::ceil((visible.left() + visible.width()) / r));
  const int bottom = static_cast<int>(std::ceil((visible.top() + visible.height()) / r));
  return QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
}

bool CPrintJob::HasSelection() const {
  return m_trackArea.has_value() || (m_host.view && m_host.view->rangeSelection().exists());
}

QRect CPrintJob::selectionArea() const {
  if (m_trackArea) return *m_trackArea;
  return m_host.view ? m_host.view->rangeSelection().selection() : QRect();
}

bool CPrintJob::prepareTrack(const CTrackLog& log) {
  if (!m_printer || !m_host.view || !m_host.view->hasMap()) return false;
  const int dpi = m_printer->resolution();
  QPageLayout layout = m_printer->pageLayout();
  layout.setOrientation(QPageLayout::Portrait);
  const QSize portrait = layout.paintRectPixels(dpi).size();
  layout.setOrientation(QPageLayout::Landscape);
  const QSize landscape = layout.paintRectPixels(dpi).size();
  const print::SPrintContext c = Context();
  const mosaic::SMapPlane plane = Seamless() ? m_host.view->mosaicRenderer()->plane() : mosaic::SMapPlane{};
  const auto planned = print::PlanTrackLogPrint(log, m_host.view->frame(), Seamless() ? &plane : nullptr,
                                                {dpi, dpi, c.dpi.screenX, c.dpi.screenY}, portrait, landscape,
                                                print::LoadPrintSettings().options, c.series);
  if (!planned) return false;
  m_trackArea = planned->plan.area;
  m_printer->setPageOrientation(planned->plan.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  return true;
}

bool CPrintJob::Recompute() {
  const print::SPrintContext c = Context();
  if (!m_printer || !c.dpi.valid()) return false;
  return print::RecomputeScale(m_info, c) && print::RecomputePageLayout(m_info, c);
}

bool CPrintJob::RecomputeKeepingPages() {
  const std::uint32_t from = m_info.fromPage;
  const std::uint32_t to = m_info.toPage;
  if (!Recompute()) return false;
  m_info.fromPage = from;
  m_info.toPage = to;
  return true;
}

SPrintSheet CPrintJob::Sheet() const {
  SPrintSheet s;
  if (!m_host.doc) return s;
  if (Seamless()) {
    const MapSeries series = m_host.view->seamlessSeries();
    m_planeSource.renderer = m_host.view->mosaicRenderer();
    m_planeSource.plane = m_planeSource.renderer->plane();
    m_planeSource.sheets = &m_host.doc->Collection().sheets(series);
    s.plane = &m_planeSource;
    s.series = static_cast<int>(series);
    s.render = m_host.render;
    s.groups = &m_host.doc->TrekGroups().Groups();
    s.frame = &m_host.view->frame();
    s.selection = selectionArea();
    s.planeArea = WindowArea();
    return s;
  }
  s.image = &m_host.doc->Image();
  s.series = static_cast<int>(m_host.doc->SheetSeries());
  s.render = m_host.render;
  s.sheetName = m_host.doc->CurrentSheet().sheetName;
  s.groups = &m_host.doc->TrekGroups().Groups();
  if (m_host.view) {
    s.frame = &m_host.view->frame();
    s.selection = selectionArea();
    s.grid = m_host.view->gridOptions();
  }
  return s;
}

QString CPrintJob::DocumentTitle() const {
  if (m_host.doc && !m_host.doc->Title().isEmpty()) return m_host.doc->Title().trimmed();
  return m_host.mainWindow ? m_host.mainWindow->windowTitle() : QString();
}

bool CPrintJob::Print(bool direct, const CTrackLog* track) {
  m_info = PrintInfo{};
  m_trackArea.reset();
  if (direct) return false;
  // The application's printer, else the system's default, else the first one, else the PDF
  // output, which every installation has.
  const QString wanted = m_host.printerName ? *m_host.printerName : QString();
  if (!wanted.isEmpty() && SelectPrinter(wanted)) {
    if (m_host.pageLayout && m_host.pageLayout->isValid()) m_printer->setPageLayout(*m_host.pageLayout);
  } else {
    const QString def = QPrinterInfo::defaultPrinterName();
    bool chosen = !def.isEmpty() && SelectPrinter(def);
    for (const QString& name : PrinterNames()) {
      if (chosen) break;
      chosen = SelectPrinter(name);
    }
    if (!chosen) {
      platform::prompt().warn(kNoPrinterText);
      return false;
    }
  }
  if (track && !prepareTrack(*track)) {
    platform::prompt().warn(kTrackOffMapText);
    return false;
  }
  if (m_host.previewPages) m_info.previewPages = static_cast<std::uint32_t>(std::clamp(m_host.previewPages(), 1, 2));
  bool ok = false;
  {
    CPrintDialogTrek dialog(*this);
    if (m_host.doc) {
      dialog.SetTrekKinds(groupOfKindExists(*m_host.doc, CTrekData::kTrackLogGroup),
                          groupOfKindExists(*m_host.doc, CTrekData::kWaypointGroup));
    }
    ok = dialog.exec() == QDialog::Accepted;
  }
  // The printer chosen in the dialog stays the application's, whatever the answer.
  if (m_host.printerName) *m_host.printerName = m_printerName;
  // A track log print turns the paper for that log only.
  if (m_host.pageLayout && m_printer && !track) *m_host.pageLayout = m_printer->pageLayout();
  if (!ok || !m_printer) return true;
  if (!ConfirmPageCount()) return true;
  return PrintPages();
}

bool CPrintJob::ConfirmPageCount() const {
  const print::SPageSpan span = print::PrintedPages(m_info);
  const std::uint32_t pages = (span.last < span.first ? span.first - span.last : span.last - span.first) + 1;
  if (pages <= kQuietPageCount) return true;
  return platform::prompt().ask({PageCountQuestion(pages), platform::EPromptIcon::Question,
                                 platform::EPromptButtons::YesNo, platform::EPromptAnswer::No, "Vantoria"}) ==
         platform::EPromptAnswer::Yes;
}

std::string CPrintJob::PageCountQuestion(std::uint32_t pages) {
  return "印刷するページは " + std::to_string(pages) + " ページあります。\r\n印刷しますか?";
}

bool CPrintJob::PrintPages() {
  if (!m_printer || !m_host.doc) return false;
  const QString title = DocumentTitle();
  // The PDF output writes beside the chosen file and takes its place only when every byte of it
  // is on the disk; the PDF engine itself ignores failed writes, the file does not.
  std::unique_ptr<platform::CAtomicFile> pdfFile;
  std::unique_ptr<QPdfWriter> pdf;
  if (m_printerName == PdfPrinterName()) {
    platform::SFileDialogRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.title = "PDFファイルに印刷";
    request.filter = "PDFファイル (*.pdf)|*.pdf||";
    request.defaultExt = "pdf";
    const platform::SFileDialogResult answer = platform::fileDialog().run(request);
    if (!answer.accepted || answer.paths.empty()) return true;
    pdfFile = std::make_unique<platform::CAtomicFile>(answer.paths.front());
    if (!pdfFile->open()) {
      platform::prompt().error(PdfFailedText(*pdfFile));
      return false;
    }
    pdf = std::make_unique<QPdfWriter>(pdfFile.get());
    pdf->setResolution(m_printer->resolution());
    pdf->setPageLayout(m_printer->pageLayout());
    pdf->setTitle(title);
    pdf->setCreator(QStringLiteral("Vantoria"));
  }
  QPagedPaintDevice& device = pdf ? static_cast<QPagedPaintDevice&>(*pdf) : *m_printer;
  m_printer->setDocName(title);
  if (!RecomputeKeepingPages()) return false;
  CPrintPageRenderer renderer;
  (void)renderer.BeginPrinting(m_info, Sheet());
  m_info.drawRect = QRect(0, 0, m_info.pageWidth, m_info.pageHeight);

  if (m_host.mainWindow) m_host.mainWindow->setEnabled(false);
  auto status = std::make_unique<CDlgPrintStatus>(m_host.view);
  status->SetTexts(m_printerName, QString(), title);
  status->setEnabled(true);
  status->show();
  const auto finish = [&] {
    status.reset();
    renderer.EndPrinting();
    if (m_host.mainWindow) m_host.mainWindow->setEnabled(true);
  };

  QPainter painter;
  if (!painter.begin(&device)) {
    finish();
    if (pdfFile) pdfFile->discard();
    platform::prompt().warn(kStartFailedText);
    return false;
  }
  CDlgPrintStatus* shown = status.get();
  const print::SRunResult run = print::RunPages(painter, device, m_info, renderer, [shown](int n, int count) {
    QCoreApplication::processEvents();
    return shown->Update(n, count);
  });
  if (run.status == print::ERunStatus::Cancelled) {
    if (!pdf) m_printer->abort();
    painter.end();
    if (pdfFile) pdfFile->discard();
    finish();
    platform::prompt().inform("地図画像" + title.toStdString() + "の印刷はキャンセルされました。");
    return true;
  }
  const bool ended = painter.end() && run.status == print::ERunStatus::Done;
  if (pdfFile) {
    pdf.reset();
    if (!ended) {
      pdfFile->discard();
    } else if (!pdfFile->commit()) {
      finish();
      platform::prompt().error(PdfFailedText(*pdfFile));
      return false;
    }
  }
  finish();
  return ended;
}

std::string CPrintJob::PdfFailedText(const platform::CAtomicFile& file) {
  return "ファイル [ " + platform::pathToUtf8(file.target()) + " ] を保存できませんでした。\r\n" + file.failure();
}

SPreviewPaper CPrintJob::PreviewPaper() const {
  SPreviewPaper paper;
  const print::SPrintContext c = Context();
  paper.screenDpiX = c.dpi.screenX;
  paper.screenDpiY = c.dpi.screenY;
  if (m_printer) {
    const int dpi = m_printer->resolution();
    paper.printerDpiX = paper.printerDpiY = dpi;
    const QPageLayout layout = m_printer->pageLayout();
    paper.paper = layout.fullRectPixels(dpi).size();
    paper.printable = layout.paintRectPixels(dpi).topLeft();
  }
  return paper;
}

bool CPrintJob::ShowPreview() {
  if (!m_printer) {
    platform::prompt().warn(kNoPrinterText);
    return false;
  }
  if (!m_host.doc || m_info.maxPage == print::kOpenEndedPage) return false;
  // The preview's own record: the dialog's scale, options and pages, all pages in range.
  PrintInfo info = m_info;
  info.fromPage = info.minPage;
  info.toPage = info.maxPage;
  info.skipDialog = true;
  auto renderer = std::make_shared<CPrintPageRenderer>();
  (void)renderer->BeginPrinting(info, Sheet());
  const int pages = m_host.previewPages ? m_host.previewPages() : static_cast<int>(m_info.previewPages);
  if (m_host.view) m_host.view->setPaintingSuspended(true);
  int result = QDialog::Rejected;
  {
    CDlgPrintPreview dlg(info, renderer, PreviewPaper(), pages == 0 ? 1 : pages, [this](int shown) {
      m_info.previewPages = static_cast<std::uint32_t>(shown);
      if (m_host.setPreviewPages) m_host.setPreviewPages(shown);
    });
    result = dlg.exec();
  }
  renderer->EndPrinting();
  if (m_host.view) m_host.view->setPaintingSuspended(false);
  return result == CDlgPrintPreview::kPrintResult;
}
