#include "output/ui/PrintJob.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>
#include <algorithm>
#include <filesystem>

#include "app/CVantoriaDoc.h"
#include "display/ui/CVantoriaView.h"
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
  if (m_host.doc) {
    c.series = static_cast<int>(m_host.doc->SheetSeries());
    const QSize whole(m_host.doc->Image().width(), m_host.doc->Image().height());
    c.area = whole;
    if (m_info.printSelection && HasSelection())
      c.area = (m_host.view->rangeSelection().selection() & QRect(QPoint(), whole)).size();
  }
  if (m_host.view) c.viewMagnification = m_host.view->magnification();
  return c;
}

bool CPrintJob::HasSelection() const { return m_host.view && m_host.view->rangeSelection().exists(); }

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
  s.image = &m_host.doc->Image();
  s.series = static_cast<int>(m_host.doc->SheetSeries());
  s.render = m_host.render;
  s.sheetName = m_host.doc->CurrentSheet().sheetName;
  s.groups = &m_host.doc->TrekGroups().Groups();
  if (m_host.view) {
    s.frame = &m_host.view->frame();
    s.selection = m_host.view->rangeSelection().selection();
    s.grid = m_host.view->gridOptions();
  }
  return s;
}

QString CPrintJob::DocumentTitle() const {
  if (m_host.doc && !m_host.doc->Title().isEmpty()) return m_host.doc->Title().trimmed();
  return m_host.mainWindow ? m_host.mainWindow->windowTitle() : QString();
}

bool CPrintJob::Print(bool direct) {
  m_info = PrintInfo{};
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
  if (m_host.pageLayout && m_printer) *m_host.pageLayout = m_printer->pageLayout();
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
