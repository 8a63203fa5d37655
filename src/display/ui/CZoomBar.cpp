#include "display/ui/CZoomBar.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>

#include "display/Magnification.h"

const std::pair<const char*, int> CZoomBar::kEntries[16] = {
    {"10%", 10},   {"25%", 25},   {"50%", 50},         {"75%", 75},          {"100%", 100},       {"125%", 125},
    {"150%", 150}, {"200%", 200}, {"300%", 300},       {"500%", 500},        {"1:2500", -2500},   {"1:5000", -5000},
    {"1:10000", -10000},          {"1:25000", -25000}, {"1:50000", -50000},  {"1:100000", -100000},
};

CZoomBar::CZoomBar(const QString& title, QWidget* parent) : QToolBar(title, parent), m_combo(new QComboBox(this)) {
  m_combo->setObjectName(QStringLiteral("zoomCombo"));
  // The combo box turns finished editing into an activation when the text names an entry;
  // the typed text is handled once, after the combo box's own handler (the flag is set before
  // that handler runs and cleared after it), so activations are ignored while it is set.
  auto* edit = new QLineEdit(m_combo);
  connect(edit, &QLineEdit::editingFinished, this, [this] { m_finishingEdit = true; });
  m_combo->setEditable(true);
  m_combo->setLineEdit(edit);
  connect(edit, &QLineEdit::editingFinished, this, [this] {
    m_finishingEdit = false;
    finishEdit();
  });
  m_combo->setInsertPolicy(QComboBox::NoInsert);
  m_combo->setCompleter(nullptr);
  // As wide as the longest entry needs in whatever face stands in for the one asked for.
  m_combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  m_combo->setMaxVisibleItems(16);
  QFont f(QStringLiteral("ＭＳ Ｐ ゴシック"));
  f.setPixelSize(13);
  m_combo->setFont(f);
  m_combo->setToolTip(QStringLiteral("表示倍率"));
  m_combo->setStatusTip(QStringLiteral("地形図の表示倍率を変更します"));
  for (const auto& [text, code] : kEntries) m_combo->addItem(QString::fromLatin1(text), code);
  m_combo->setCurrentIndex(-1);
  addWidget(m_combo);

  connect(m_combo, qOverload<int>(&QComboBox::activated), this, [this](int index) {
    if (index < 0 || m_finishingEdit) return;
    const QVariant data = m_combo->itemData(index);
    if (!data.isValid()) return;
    m_current = data.toInt();
    emit magnificationChosen(m_current);
  });
}

std::optional<int> CZoomBar::ParseText(const QString& typed) {
  // Full-width digits and signs as a Japanese input method types them count as their ASCII forms.
  QString text = typed.normalized(QString::NormalizationForm_KC).trimmed();
  text.remove(QLatin1Char(' '));
  static const QRegularExpression percent(QStringLiteral("^([0-9]{1,7})%?$"));
  static const QRegularExpression scale(QStringLiteral("^1[:/]([0-9]{1,3}(?:,[0-9]{3})+|[0-9]{1,9})$"));
  std::optional<int> code;
  if (const QRegularExpressionMatch m = percent.match(text); m.hasMatch()) {
    code = m.captured(1).toInt();
  } else if (const QRegularExpressionMatch s = scale.match(text); s.hasMatch()) {
    QString n = s.captured(1);
    n.remove(QLatin1Char(','));
    code = -n.toInt();
  }
  // 0 % is no magnification; the rest is what the view accepts.
  if (!code || *code == 0 || !IsUsableMagnification(*code)) return std::nullopt;
  return code;
}

void CZoomBar::finishEdit() {
  const std::optional<int> code = ParseText(m_combo->currentText());
  if (!code) {
    // What the box shows is always the zoom on screen.
    m_combo->setEditText(FormatCode(m_current));
    return;
  }
  m_combo->setEditText(FormatCode(*code));
  if (*code == m_current) return;
  m_current = *code;
  emit magnificationChosen(*code);
}

QString CZoomBar::FormatCode(int code) {
  if (code > 0) return QStringLiteral("%1%").arg(code);
  if (code < 0) return QStringLiteral("1:%1").arg(-qint64(code));
  return QString();
}

void CZoomBar::SetText(int code) {
  if (code == 0) return;
  m_current = code;
  m_combo->setEditText(FormatCode(code));
}
