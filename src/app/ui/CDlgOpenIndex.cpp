#include "app/ui/CDlgOpenIndex.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "app/CVantoriaDoc.h"
#include "platform/FileLookup.h"

CDlgOpenIndex::CDlgOpenIndex(QWidget* parent, const QString& initialDir)
    : QFileDialog(parent, QString::fromUtf8(CVantoriaDoc::kIndexDialogTitle), initialDir),
      m_areas(new QLabel(this)),
      m_series(new QLabel(this)) {
  setObjectName(QStringLiteral("openIndexDialog"));
  setOption(QFileDialog::DontUseNativeDialog, true);
  setFileMode(QFileDialog::ExistingFile);
  setAcceptMode(QFileDialog::AcceptOpen);
  setNameFilter(QStringLiteral("数値地図インデックスファイル(index.csv)"));
  m_areas->setObjectName(QStringLiteral("areaNames"));
  m_series->setObjectName(QStringLiteral("seriesText"));
  m_areas->setWordWrap(true);
  m_areas->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_areas->setMinimumHeight(m_areas->fontMetrics().lineSpacing() * 2);

  auto* panel = new QWidget(this);
  auto* form = new QFormLayout(panel);
  form->setContentsMargins(0, 4, 0, 0);
  form->addRow(QStringLiteral("地域ブロック名 :"), m_areas);
  form->addRow(QStringLiteral("数値地図の種類 :"), m_series);
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) grid->addWidget(panel, grid->rowCount(), 0, 1, -1);
  else if (layout()) layout()->addWidget(panel);

  connect(this, &QFileDialog::currentChanged, this, &CDlgOpenIndex::preview);
  // A name typed (or filled in) without touching the list counts as well.
  if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    connect(name, &QLineEdit::textChanged, this, [this](const QString& text) {
      if (!text.isEmpty()) preview(directory().filePath(text));
    });
  }
}

void CDlgOpenIndex::preview(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) {
    m_areas->clear();
    m_series->clear();
    return;
  }
  const SIndexPreview p = PreviewIndexFile(platform::pathFromUtf8(path.toStdString()));
  m_areas->setText(QString::fromStdString(p.areaNames));
  m_series->setText(QString::fromStdString(p.seriesText));
}
