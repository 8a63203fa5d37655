#include "app/ui/CPrpIni.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/CVantoriaDoc.h"
#include "display/ui/CVantoriaView.h"
#include "platform/ui/CQtColourDialog.h"

namespace {

QColor fromColourRef(std::int32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace

// ---- CMapSettingsRefresh

void CMapSettingsRefresh::RefreshColours(int series) {
  if (m_view) m_view->RefreshColours(series);
}

void CMapSettingsRefresh::RefreshGrid() {
  if (m_view) m_view->RefreshGrid();
}

void CMapSettingsRefresh::RefreshTrekDisplay() {
  // The trek windows show the selected item again, and the status panes the last point, now in
  // the new datum.
  if (m_doc) emit m_doc->selectionChanged();
  if (m_view) m_view->RefreshPositionPanes();
}

// ---- colour pages

CPrpIniColor::CPrpIniColor(CColourPageModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  const int series = model.series();
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  for (int slot = 0; slot < 9; ++slot) {
    auto* sample = new QLabel(QString::fromUtf8(ColourSlotName(series, slot)), this);
    sample->setObjectName(QStringLiteral("sample%1").arg(slot));
    sample->setAutoFillBackground(true);
    sample->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sample->setIndent(6);
    sample->setMinimumWidth(320);
    sample->setMinimumHeight(fontMetrics().height() + 8);
    m_samples[std::size_t(slot)] = sample;
    auto* choose = new QPushButton(QStringLiteral("色 ..."), this);
    choose->setObjectName(QStringLiteral("colour%1").arg(slot));
    connect(choose, &QPushButton::clicked, this, [this, slot] {
      if (!m_model.ChooseColour(slot)) return;
      updateSamples();
      emit changed();
    });
    grid->addWidget(sample, slot, 0);
    grid->addWidget(choose, slot, 1);
    if (slot == 0) continue;  // the background cannot be hidden
    auto* hide = new QCheckBox(QStringLiteral("非表示"), this);
    hide->setObjectName(QStringLiteral("hide%1").arg(slot));
    connect(hide, &QCheckBox::clicked, this, [this, slot](bool checked) {
      m_model.SetHidden(slot, checked);
      emit changed();
    });
    m_hide[std::size_t(slot - 1)] = hide;
    grid->addWidget(hide, slot, 2);
  }
  grid->setColumnStretch(0, 1);

  auto* defaults = new QPushButton(QStringLiteral("デフォルト色(&D)"), this);
  defaults->setObjectName(QStringLiteral("defaultColours"));
  connect(defaults, &QPushButton::clicked, this, [this] {
    if (!m_model.DefaultColours()) return;
    updateSamples();
    emit changed();
  });
  auto* reset = new QPushButton(QStringLiteral("リセット(&R)"), this);
  reset->setObjectName(QStringLiteral("resetColours"));
  connect(reset, &QPushButton::clicked, this, [this] {
    if (!m_model.Reset()) return;
    updateSamples();
    updateChecks();
    emit changed();
  });
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(defaults);
  row->addWidget(reset);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(grid);
  lay->addSpacing(6);
  lay->addLayout(row);
  lay->addStretch(1);
  updateSamples();
  updateChecks();
}

void CPrpIniColor::updateSamples() {
  const QColor normalText = palette().color(QPalette::WindowText);
  for (int slot = 0; slot < 9; ++slot) {
    const std::int32_t colour = m_model.colours()[std::size_t(slot)];
    QLabel* sample = m_samples[std::size_t(slot)];
    QPalette p = sample->palette();
    p.setColor(QPalette::Window, fromColourRef(colour));
    p.setColor(QPalette::WindowText, SampleTextIsWhite(std::uint32_t(colour)) ? QColor(Qt::white) : normalText);
    sample->setPalette(p);
  }
}

void CPrpIniColor::updateChecks() {
  for (int i = 0; i < 8; ++i) m_hide[std::size_t(i)]->setChecked(m_model.hidden()[std::size_t(i)] != 0);
}

CPrpIniColor25::CPrpIniColor25(CColourPageModel& model, QWidget* parent) : CPrpIniColor(model, parent) {
  setObjectName(QStringLiteral("prpIniColor25"));
}

CPrpIniColor50::CPrpIniColor50(CColourPageModel& model, QWidget* parent) : CPrpIniColor(model, parent) {
  setObjectName(QStringLiteral("prpIniColor50"));
}

// ---- view page

CPrpIniView::CPrpIniView(CViewPageModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  setObjectName(QStringLiteral("prpIniView"));
  const auto radioGroup = [this](const QString& title, const QString& first, const char* firstName,
                                 const QString& second, const char* secondName, int value, bool quality) {
    auto* box = new QGroupBox(title, this);
    auto* buttons = new QButtonGroup(box);
    auto* lay = new QVBoxLayout(box);
    int id = 0;
    for (const auto& [text, name] : {std::pair{first, firstName}, std::pair{second, secondName}}) {
      auto* radio = new QRadioButton(text, box);
      radio->setObjectName(QString::fromLatin1(name));
      radio->setChecked(value == id);  // any other value: neither
      buttons->addButton(radio, id++);
      lay->addWidget(radio);
    }
    connect(buttons, &QButtonGroup::idClicked, this, [this, quality](int clicked) {
      if (quality)
        m_model.SetQuality(clicked);
      else
        m_model.SetDatum(clicked);
      emit changed();
    });
    return box;
  };
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(radioGroup(QStringLiteral("地形図画像の表示品質"), QStringLiteral("表示速度優先(&P)"), "qualitySpeed",
                            QStringLiteral("画質優先(&Q)"), "qualityQuality", model.quality(), true));
  lay->addWidget(radioGroup(QStringLiteral("経緯度表示"), QStringLiteral("&WGS-84/JGD2000 測地系で表示"), "datumWgs84",
                            QStringLiteral("&Tokyo 測地系で表示"), "datumTokyo", model.datum(), false));

  // How the status bar reads positions out; UTM and MGRS are always on WGS-84/JGD2000.
  auto* formats = new QGroupBox(QStringLiteral("位置の表示形式"), this);
  formats->setObjectName(QStringLiteral("posFormatGroup"));
  auto* formatButtons = new QButtonGroup(formats);
  auto* formatLay = new QGridLayout(formats);
  const struct {
    const char* text;
    const char* name;
  } kFormats[] = {{"度分秒(&D)", "posFormatDms"},
                  {"度(10進)(&E)", "posFormatDecimal"},
                  {"UTM(&U)", "posFormatUtm"},
                  {"MGRS(&M)", "posFormatMgrs"}};
  for (int i = 0; i < 4; ++i) {
    auto* radio = new QRadioButton(QString::fromUtf8(kFormats[i].text), formats);
    radio->setObjectName(QString::fromLatin1(kFormats[i].name));
    radio->setChecked(model.posFormat() == i);
    formatButtons->addButton(radio, i);
    formatLay->addWidget(radio, i / 2, i % 2);
  }
  connect(formatButtons, &QButtonGroup::idClicked, this, [this](int id) {
    m_model.SetPosFormat(id);
    emit changed();
  });
  lay->addWidget(formats);

  auto* colours = new QGroupBox(QStringLiteral("グリッドの色"), this);
  colours->setObjectName(QStringLiteral("gridColourGroup"));
  auto* colourLay = new QGridLayout(colours);
  const struct {
    const char* text;
    const char* name;
  } kLines[] = {{"UTMグリッド", "gridColour0"}, {"緯度経度線", "gridColour1"}, {"磁北線", "gridColour2"}};
  for (int i = 0; i < CViewPageModel::kGridColours; ++i) {
    auto* sample = new QLabel(QString::fromUtf8(kLines[i].text), colours);
    sample->setObjectName(QStringLiteral("gridSample%1").arg(i));
    sample->setAutoFillBackground(true);
    sample->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sample->setIndent(6);
    sample->setMinimumWidth(200);
    m_gridSamples[std::size_t(i)] = sample;
    auto* button = new QPushButton(QStringLiteral("色 ..."), colours);
    button->setObjectName(QString::fromLatin1(kLines[i].name));
    connect(button, &QPushButton::clicked, this, [this, i] {
      if (!m_model.ChooseGridColour(i)) return;
      updateGridSamples();
      emit changed();
    });
    colourLay->addWidget(sample, i, 0);
    colourLay->addWidget(button, i, 1);
  }
  updateGridSamples();
  lay->addWidget(colours);
  lay->addStretch(1);
}

void CPrpIniView::updateGridSamples() {
  for (int i = 0; i < CViewPageModel::kGridColours; ++i) {
    const std::uint32_t c = m_model.gridColour(i);
    QPalette pal = m_gridSamples[std::size_t(i)]->palette();
    pal.setColor(QPalette::Window, fromColourRef(static_cast<std::int32_t>(c)));
    pal.setColor(QPalette::WindowText, SampleTextIsWhite(c) ? Qt::white : Qt::black);
    m_gridSamples[std::size_t(i)]->setPalette(pal);
  }
}

// ---- the sheet

CPrpIni::CPrpIni(AppSettings& live, ISettingsRefresh& refresh, QWidget* parent)
    : QDialog(parent), m_sheet(std::make_unique<CSettingsSheet>(live, refresh)) {
  setObjectName(QStringLiteral("prpIni"));
  setWindowTitle(QStringLiteral("Vantoriaの設定"));
  m_tabs = new QTabWidget(this);
  m_tabs->setObjectName(QStringLiteral("settingsPages"));
  auto* colours25 = new CPrpIniColor25(m_sheet->colours25());
  auto* colours50 = new CPrpIniColor50(m_sheet->colours50());
  auto* view = new CPrpIniView(m_sheet->view());
  m_tabs->addTab(colours25, QStringLiteral("数値地図25000の色"));
  m_tabs->addTab(colours50, QStringLiteral("数値地図50000の色"));
  m_tabs->addTab(view, QStringLiteral("表示"));
  connect(colours25, &CPrpIniColor::changed, this, &CPrpIni::updateApply);
  connect(colours50, &CPrpIniColor::changed, this, &CPrpIni::updateApply);
  connect(view, &CPrpIniView::changed, this, &CPrpIni::updateApply);
  m_sheet->PageShown(CSettingsSheet::EPage::Colours25);
  connect(m_tabs, &QTabWidget::currentChanged, this,
          [this](int index) { m_sheet->PageShown(static_cast<CSettingsSheet::EPage>(index)); });

  m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  m_buttons->setObjectName(QStringLiteral("settingsButtons"));
  m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  m_buttons->button(QDialogButtonBox::Apply)->setText(QStringLiteral("適用(&A)"));
  connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] {
    m_sheet->Apply();
    updateApply();
  });
  updateApply();

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(m_tabs);
  lay->addWidget(m_buttons);
}

CPrpIni::~CPrpIni() {
  // Destroyed without OK or Cancel (its owner went away, and perhaps the windows the refresh
  // would reach): what was applied stays, the custom colours are kept.
  if (!m_closed) m_sheet->Close();
}

void CPrpIni::done(int result) {
  if (!m_closed) finish(result == QDialog::Accepted);
  QDialog::done(result);
}

void CPrpIni::finish(bool accepted) {
  m_closed = true;
  if (accepted) m_sheet->Ok();
  else m_sheet->Cancel();
  m_sheet->Close();
}

void CPrpIni::updateApply() { m_buttons->button(QDialogButtonBox::Apply)->setEnabled(m_sheet->anyModified()); }

void RunSettingsSheet(QWidget* parent, AppSettings& settings, ISettingsRefresh& refresh) {
  CPrpIni sheet(settings, refresh, parent);
  std::unique_ptr<platform::CQtColourDialog> chooser;
  if (!platform::colourDialogInstalled()) {
    chooser = std::make_unique<platform::CQtColourDialog>(&sheet);
    platform::setColourDialog(chooser.get());
  }
  sheet.exec();
  if (chooser) platform::setColourDialog(nullptr);
}
