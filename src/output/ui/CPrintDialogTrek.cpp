#include "output/ui/CPrintDialogTrek.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "output/PrintLayout.h"
#include "output/ui/CPrintPaperView.h"
#include "output/ui/PrintJob.h"
#include "platform/IPrompt.h"
#include "platform/PrinterState.h"

using namespace print;

namespace {

constexpr int kOptionCount = 10;
constexpr const char* kOptionTexts[kOptionCount] = {
    "縮尺スケール(&S)",   "地形図の図名(&A)",     "ページ番号(&N)",  "トラックログライン(&T)", "トラックログ名(&K)",
    "ウェイポイントアイコン(&W)", "ウェイポイント名(&Y)", "UTMグリッド(&U)", "緯度経度線(&L)",         "磁北線(&M)"};
constexpr const char* kOptionNames[kOptionCount] = {"optScaleBar",      "optSheetName",     "optPageNumber",
                                                    "optTrackLines",    "optTrackNames",    "optWaypointIcons",
                                                    "optWaypointNames", "optUtmGrid",       "optGraticule",
                                                    "optMagneticNorth"};

QString u(const std::string& s) { return QString::fromStdString(s); }

QLabel* infoLabel(const char* name, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return l;
}

}  // namespace

CPrintDialogTrek::CPrintDialogTrek(CPrintJob& job, QWidget* parent) : QDialog(parent), m_job(job) {
  setObjectName(QStringLiteral("printDialog"));
  setWindowTitle(QStringLiteral("地形図の印刷"));

  // Printer.
  auto* printerBox = new QGroupBox(QStringLiteral("プリンタ"), this);
  m_printer = new QComboBox(printerBox);
  m_printer->setObjectName(QStringLiteral("printerCombo"));
  m_printer->addItems(CPrintJob::PrinterNames());
  m_printer->setCurrentText(m_job.printerName());
  m_status = infoLabel("statusText", printerBox);
  m_location = infoLabel("locationText", printerBox);
  m_comment = infoLabel("commentText", printerBox);
  m_paper = infoLabel("paperText", printerBox);
  m_orientation = infoLabel("orientationText", printerBox);
  auto* setup = new QPushButton(QStringLiteral("プリンタの設定(&P)..."), printerBox);
  setup->setObjectName(QStringLiteral("setupButton"));
  auto* printerForm = new QFormLayout(printerBox);
  printerForm->addRow(QStringLiteral("プリンタ名:"), m_printer);
  printerForm->addRow(QStringLiteral("状態:"), m_status);
  printerForm->addRow(QStringLiteral("場所:"), m_location);
  printerForm->addRow(QStringLiteral("コメント:"), m_comment);
  printerForm->addRow(QStringLiteral("用紙サイズ:"), m_paper);
  printerForm->addRow(QStringLiteral("印刷の向き:"), m_orientation);
  printerForm->addRow(QString(), setup);

  // Magnification.
  auto* magBox = new QGroupBox(QStringLiteral("印刷倍率"), this);
  const char* modeTexts[3] = {"倍率を指定(&M)", "用紙サイズに合わせる(&F)", "現在の表示倍率(&R)"};
  const char* modeNames[3] = {"modeSpecified", "modeFit", "modeView"};
  auto* modes = new QButtonGroup(this);
  auto* magLay = new QGridLayout(magBox);
  for (int i = 0; i < 3; ++i) {
    m_modes[i] = new QRadioButton(QString::fromUtf8(modeTexts[i]), magBox);
    m_modes[i]->setObjectName(QString::fromLatin1(modeNames[i]));
    modes->addButton(m_modes[i], i);
    magLay->addWidget(m_modes[i], i, 0);
  }
  m_magnification = new QComboBox(magBox);
  m_magnification->setObjectName(QStringLiteral("magnificationCombo"));
  m_magnification->setEditable(true);
  m_magnification->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& choice : MagnificationChoices()) m_magnification->addItem(u(choice));
  m_magnification->installEventFilter(this);
  if (m_magnification->lineEdit()) m_magnification->lineEdit()->installEventFilter(this);
  magLay->addWidget(m_magnification, 0, 1);

  // Print range and pages.
  auto* rangeBox = new QGroupBox(QStringLiteral("印刷範囲"), this);
  m_rangeAll = new QRadioButton(QStringLiteral("すべての範囲(&A)"), rangeBox);
  m_rangeAll->setObjectName(QStringLiteral("rangeAll"));
  m_rangeSelection = new QRadioButton(QStringLiteral("指定した範囲(&D)"), rangeBox);
  m_rangeSelection->setObjectName(QStringLiteral("rangeSelection"));
  auto* rangeLay = new QVBoxLayout(rangeBox);
  rangeLay->addWidget(m_rangeAll);
  rangeLay->addWidget(m_rangeSelection);
  auto* pagesBox = new QGroupBox(QStringLiteral("印刷ページ"), this);
  m_pagesAll = new QRadioButton(QStringLiteral("すべてのページ(&E)"), pagesBox);
  m_pagesAll->setObjectName(QStringLiteral("pagesAll"));
  m_pagesSome = new QRadioButton(QStringLiteral("ページ指定(&G)"), pagesBox);
  m_pagesSome->setObjectName(QStringLiteral("pagesRange"));
  m_from = new QLineEdit(pagesBox);
  m_from->setObjectName(QStringLiteral("fromEdit"));
  m_to = new QLineEdit(pagesBox);
  m_to->setObjectName(QStringLiteral("toEdit"));
  m_fromLabel = new QLabel(QStringLiteral("ページから"), pagesBox);
  m_toLabel = new QLabel(QStringLiteral("ページまで"), pagesBox);
  m_sheets = infoLabel("sheetsText", pagesBox);
  auto* pagesLay = new QGridLayout(pagesBox);
  pagesLay->addWidget(m_pagesAll, 0, 0, 1, 4);
  pagesLay->addWidget(m_pagesSome, 1, 0);
  pagesLay->addWidget(m_from, 1, 1);
  pagesLay->addWidget(m_fromLabel, 1, 2);
  pagesLay->addWidget(m_to, 1, 3);
  pagesLay->addWidget(m_toLabel, 1, 4);
  pagesLay->addWidget(new QLabel(QStringLiteral("用紙枚数:"), pagesBox), 2, 0);
  pagesLay->addWidget(m_sheets, 2, 1);

  // Items printed.
  auto* optBox = new QGroupBox(QStringLiteral("印刷する項目"), this);
  auto* optLay = new QVBoxLayout(optBox);
  for (int i = 0; i < kOptionCount; ++i) {
    m_options[i] = new QCheckBox(QString::fromUtf8(kOptionTexts[i]), optBox);
    m_options[i]->setObjectName(QString::fromLatin1(kOptionNames[i]));
    optLay->addWidget(m_options[i]);
  }

  m_paperView = new CPrintPaperView(this);
  m_paperView->setMinimumSize(220, 220);

  auto* previewButton = new QPushButton(QStringLiteral("印刷プレビュー(&V)..."), this);
  previewButton->setObjectName(QStringLiteral("previewButton"));
  auto* printButton = new QPushButton(QStringLiteral("印刷"), this);
  printButton->setObjectName(QStringLiteral("printButton"));
  printButton->setDefault(true);
  auto* cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));

  auto* left = new QVBoxLayout;
  left->addWidget(printerBox);
  left->addWidget(magBox);
  auto* ranges = new QHBoxLayout;
  ranges->addWidget(rangeBox);
  ranges->addWidget(pagesBox, 1);
  left->addLayout(ranges);
  auto* right = new QVBoxLayout;
  right->addWidget(m_paperView, 1);
  right->addWidget(optBox);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 1);
  columns->addLayout(right);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(previewButton);
  buttons->addStretch(1);
  buttons->addWidget(printButton);
  buttons->addWidget(cancelButton);
  auto* lay = new QVBoxLayout(this);
  lay->addLayout(columns);
  lay->addLayout(buttons);

  // Opening: remembered settings, selection, pages, then everything computed once.
  const SPrintSettings saved = LoadPrintSettings();
  PrintInfo& info = m_job.info();
  info.options = saved.options;
  info.magnificationMode = saved.mode;
  info.magnification = saved.magnification;
  if (m_job.TrackArea()) {
    // "トラックを印刷": the log's box at 1:25,000.
    info.magnificationMode = EMagnificationMode::Specified;
    info.magnification = kTrackMagnification;
  }
  if (m_job.HasSelection()) {
    info.printSelection = true;
  } else {
    info.printSelection = false;
    m_rangeSelection->setEnabled(false);
  }
  m_pagesAll->setChecked(true);
  writeControls();
  recompute();
  m_magnification->setEditText(u(PlainMagnificationText(info.magnification)));
  m_setUp = true;
  UpdateEnabling();

  connect(m_printer, qOverload<int>(&QComboBox::activated), this, &CPrintDialogTrek::printerChosen);
  connect(setup, &QPushButton::clicked, this, &CPrintDialogTrek::printerSetup);
  connect(previewButton, &QPushButton::clicked, this, &CPrintDialogTrek::preview);
  connect(printButton, &QPushButton::clicked, this, &CPrintDialogTrek::accept);
  connect(cancelButton, &QPushButton::clicked, this, &CPrintDialogTrek::reject);
  connect(m_magnification, qOverload<int>(&QComboBox::activated), this, [this](int index) {
    const MagnificationCode code = ParsePrintMagnification(m_magnification->itemText(index).toStdString());
    if (code == 0) return;
    m_job.info().magnification = code;
    recompute();
  });
  connect(m_magnification, &QComboBox::editTextChanged, this, &CPrintDialogTrek::magnificationEdited);
  for (int i = 0; i < 3; ++i) {
    connect(m_modes[i], &QRadioButton::clicked, this, [this, i] {
      readControls();
      if (i != 0) {
        recompute();
        m_magnification->setEditText(u(PlainMagnificationText(m_job.info().magnification)));
      }
      UpdateEnabling();
    });
  }
  const auto rangeClicked = [this](bool selection) {
    m_job.info().printSelection = selection;
    recompute();
  };
  connect(m_rangeAll, &QRadioButton::clicked, this, [rangeClicked] { rangeClicked(false); });
  connect(m_rangeSelection, &QRadioButton::clicked, this, [rangeClicked] { rangeClicked(true); });
  for (QRadioButton* pages : {m_pagesAll, m_pagesSome}) {
    connect(pages, &QRadioButton::clicked, this, [this] {
      UpdateEnabling();
      showSheetCount();
    });
  }
  for (QLineEdit* edit : {m_from, m_to}) connect(edit, &QLineEdit::textChanged, this, &CPrintDialogTrek::showSheetCount);
  for (int i = 0; i < kOptionCount; ++i) {
    connect(m_options[i], &QCheckBox::clicked, this, [this, i] {
      readControls();
      // The header band changes the fit and the page grid (the declination is written there).
      if (i < 3 || i == 9) recompute();
      UpdateEnabling();
    });
  }
}

CPrintDialogTrek::~CPrintDialogTrek() { saveSettings(); }

void CPrintDialogTrek::saveSettings() {
  if (m_saved) return;
  readControls();
  const PrintInfo& info = m_job.info();
  SPrintSettings keep{info.magnification, info.magnificationMode, info.options};
  // A track log print's scale is its own: the remembered one stays.
  if (m_job.TrackArea()) {
    const SPrintSettings saved = LoadPrintSettings();
    keep.magnification = saved.magnification;
    keep.mode = saved.mode;
  }
  SavePrintSettings(keep);
  m_saved = true;
}

void CPrintDialogTrek::SetTrekKinds(bool trackLogs, bool waypoints) {
  m_trackLogs = trackLogs;
  m_waypoints = waypoints;
  UpdateEnabling();
}

void CPrintDialogTrek::UpdateEnabling() {
  if (!m_setUp) return;
  readControls();
  m_magnification->setEnabled(m_job.info().magnificationMode == EMagnificationMode::Specified);
  m_options[3]->setEnabled(m_trackLogs);
  m_options[4]->setEnabled(m_trackLogs && m_options[3]->isChecked());
  m_options[5]->setEnabled(m_waypoints);
  m_options[6]->setEnabled(m_waypoints && m_options[5]->isChecked());
  const bool some = m_pagesSome->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(m_from), static_cast<QWidget*>(m_to), static_cast<QWidget*>(m_fromLabel),
                     static_cast<QWidget*>(m_toLabel)})
    w->setEnabled(some);
}

void CPrintDialogTrek::readControls() {
  PrintInfo& info = m_job.info();
  for (int i = 0; i < 3; ++i)
    if (m_modes[i]->isChecked()) info.magnificationMode = static_cast<EMagnificationMode>(i);
  info.printSelection = m_rangeSelection->isEnabled() && m_rangeSelection->isChecked();
  PrintOptionFlags options = 0;
  for (int i = 0; i < kOptionCount; ++i)
    if (m_options[i]->isChecked()) options |= 1u << i;
  info.options = options;
}

void CPrintDialogTrek::writeControls() {
  const PrintInfo& info = m_job.info();
  m_modes[static_cast<int>(info.magnificationMode)]->setChecked(true);
  (info.printSelection ? m_rangeSelection : m_rangeAll)->setChecked(true);
  for (int i = 0; i < kOptionCount; ++i) m_options[i]->setChecked(info.options & (1u << i));
  m_from->setText(QString::number(info.fromPage));
  m_to->setText(QString::number(info.toPage));
  showSheetCount();
}

void CPrintDialogTrek::showSheetCount() {
  const PrintInfo& info = m_job.info();
  std::int64_t count = std::int64_t{info.toPage} - info.fromPage + 1;
  if (m_pagesSome->isChecked()) {
    const auto range = CheckPageRange(m_from->text().toStdString(), m_to->text().toStdString(), info.minPage, info.maxPage);
    if (range) count = std::int64_t{range->to} - range->from + 1;
  }
  m_sheets->setText(QStringLiteral("%1枚").arg(count));
}

void CPrintDialogTrek::recompute() {
  if (m_job.Recompute()) {
    const PrintInfo& info = m_job.info();
    m_paperView->SetLayout(info.layout(), m_job.Context().dpi);
  }
  showPrinterInfo();
  writeControls();
}

void CPrintDialogTrek::showPrinterInfo() {
  QPrinter* printer = m_job.printer();
  if (!printer) {
    for (QLabel* l : {m_status, m_location, m_comment, m_paper, m_orientation}) l->clear();
    return;
  }
  if (m_job.printerName() == CPrintJob::PdfPrinterName()) {
    m_status->setText(u(PrinterStatusText(0)));
    m_location->setText(QStringLiteral("PDFファイル"));
    m_comment->clear();
  } else {
    const QPrinterInfo pi = QPrinterInfo::printerInfo(m_job.printerName());
    if (pi.isNull()) {
      for (QLabel* l : {m_status, m_location, m_comment}) l->clear();
    } else if (const auto cups = platform::QueryPrinterState(m_job.printerName().toStdString())) {
      // The print system's reasons tell a jam or an empty tray from a plain stop.
      m_status->setText(u(PrinterStatusText(PrinterStatusFromCups(cups->state, cups->reasons))));
      m_location->setText(u(cups->location));
      m_comment->setText(u(cups->comment));
    } else {
      const int state = pi.state() == QPrinter::Idle ? 3 : pi.state() == QPrinter::Active ? 4 : 5;
      m_status->setText(u(PrinterStatusText(PrinterStatusFromCups(state, {}))));
      m_location->setText(pi.location());
      m_comment->setText(pi.description());
    }
  }
  m_paper->setText(printer->pageLayout().pageSize().name());
  const auto o = printer->pageLayout().orientation();
  m_orientation->setText(o == QPageLayout::Portrait ? QStringLiteral("縦向き") : QStringLiteral("横向き"));
}

void CPrintDialogTrek::magnificationEdited(const QString& text) {
  if (!m_setUp || !m_magnification->isEnabled()) return;
  const MagnificationCode code = ParsePrintMagnification(text.toStdString());
  if (code == 0 || code == m_job.info().magnification) return;
  m_job.info().magnification = code;
  recompute();
}

void CPrintDialogTrek::magnificationFocusLost() {
  const MagnificationCode code = ParsePrintMagnification(m_magnification->currentText().toStdString());
  if (code == 0) return;
  m_magnification->setEditText(u(PrintMagnificationText(code)));
  // The same scale again would only reset the page range the user may have typed meanwhile.
  if (code == m_job.info().magnification) return;
  m_job.info().magnification = code;
  recompute();
}

bool CPrintDialogTrek::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && m_setUp && !m_saved && m_magnification->isEnabled()) magnificationFocusLost();
  return QDialog::eventFilter(watched, event);
}

void CPrintDialogTrek::printerChosen(int index) {
  const QString name = m_printer->itemText(index);
  if (!m_job.SelectPrinter(name)) {
    platform::prompt().warn(CPrintJob::kPrinterUnusableText);
    m_printer->setCurrentText(m_job.printerName());
    return;
  }
  recompute();
}

void CPrintDialogTrek::printerSetup() {
  QPrinter* printer = m_job.printer();
  if (!printer) return;
  QPageSetupDialog dlg(printer, this);
  if (dlg.exec() == QDialog::Accepted) recompute();
}

bool CPrintDialogTrek::validateMagnification() {
  readControls();
  if (m_job.info().magnificationMode != EMagnificationMode::Specified) return true;
  const MagnificationCode code = ParsePrintMagnification(m_magnification->currentText().toStdString());
  if (code == 0) {
    platform::prompt().warn(kBadMagnificationText);
    m_magnification->setFocus();
    return false;
  }
  return true;
}

void CPrintDialogTrek::preview() {
  if (!validateMagnification()) return;
  if (m_job.ShowPreview()) accept();
}

void CPrintDialogTrek::accept() {
  if (!validateMagnification()) return;
  PrintInfo& info = m_job.info();
  if (m_pagesSome->isChecked()) {
    const auto range = CheckPageRange(m_from->text().toStdString(), m_to->text().toStdString(), info.minPage, info.maxPage);
    if (!range) {
      platform::prompt().warn(kBadPageRangeText);
      writeControls();
      return;
    }
    info.fromPage = range->from;
    info.toPage = range->to;
  } else {
    info.fromPage = info.minPage;
    info.toPage = info.maxPage;
  }
  QDialog::accept();
}

void CPrintDialogTrek::done(int result) {
  saveSettings();
  QDialog::done(result);
}
