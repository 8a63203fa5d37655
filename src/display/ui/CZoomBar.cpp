#include "display/ui/CZoomBar.h"

#include <QComboBox>
#include <QLineEdit>

const std::pair<const char*, int> CZoomBar::kEntries[16] = {
    {"10%", 10},   {"25%", 25},   {"50%", 50},         {"75%", 75},          {"100%", 100},       {"125%", 125},
    {"150%", 150}, {"200%", 200}, {"300%", 300},       {"500%", 500},        {"1:2500", -2500},   {"1:5000", -5000},
    {"1:10000", -10000},          {"1:25000", -25000}, {"1:50000", -50000},  {"1:100000", -100000},
};

CZoomBar::CZoomBar(const QString& title, QWidget* parent) : QToolBar(title, parent), m_combo(new QComboBox(this)) {
  m_combo->setObjectName(QStringLiteral("zoomCombo"));
  // The combo box turns finished editing into an activation when the text names an entry;
  // typed text must not act, so activations are ignored while an edit is being finished
  // (the flag is set before the combo box's own handler runs and cleared after it).
  auto* edit = new QLineEdit(m_combo);
  connect(edit, &QLineEdit::editingFinished, this, [this] { m_finishingEdit = true; });
  m_combo->setEditable(true);
  m_combo->setLineEdit(edit);
  connect(edit, &QLineEdit::editingFinished, this, [this] { m_finishingEdit = false; });
  m_combo->setInsertPolicy(QComboBox::NoInsert);
  m_combo->setCompleter(nullptr);
  m_combo->setFixedWidth(75);
  m_combo->setMaxVisibleItems(16);
  QFont f(QStringLiteral("ＭＳ Ｐ ゴシック"));
  f.setPixelSize(13);
  m_combo->setFont(f);
  m_combo->setToolTip(QStringLiteral("表示倍率"));
  m_combo->setStatusTip(QStringLiteral("地形図の表示倍率を変更します"));
  for (const auto& [text, code] : kEntries) m_combo->addItem(QString::fromLatin1(text), code);
  m_combo->setCurrentIndex(-1);
  addWidget(m_combo);

  // Only a choice from the list counts; pressing Enter in the edit field does nothing.
  connect(m_combo, qOverload<int>(&QComboBox::activated), this, [this](int index) {
    if (index < 0 || m_finishingEdit) return;
    const QVariant data = m_combo->itemData(index);
    if (data.isValid()) emit magnificationChosen(data.toInt());
  });
}

QString CZoomBar::FormatCode(int code) {
  if (code > 0) return QStringLiteral("%1%").arg(code);
  if (code < 0) return QStringLiteral("1:%1").arg(-qint64(code));
  return QString();
}

void CZoomBar::SetText(int code) {
  if (code == 0) return;
  m_combo->setEditText(FormatCode(code));
}
