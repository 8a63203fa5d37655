#include "app/ui/CDlgSearch.h"

#include <QKeyEvent>
#include <algorithm>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/CVantoriaDoc.h"

namespace {

QString kindText(search::EResultKind kind) {
  switch (kind) {
    case search::EResultKind::Waypoint: return QStringLiteral("ウェイポイント");
    case search::EResultKind::TrackLog: return QStringLiteral("トラックログ");
    case search::EResultKind::Route: return QStringLiteral("ルート");
    case search::EResultKind::Sheet: return QStringLiteral("地形図");
  }
  return {};
}

}  // namespace

CDlgSearch::CDlgSearch(CVantoriaDoc& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
  setObjectName(QStringLiteral("dlgSearch"));
  setWindowTitle(QStringLiteral("検索"));
  auto* label = new QLabel(QStringLiteral("ポイント名、トラックログ名、地形図名の一部を入力してください(&N)"), this);
  m_edit = new QLineEdit(this);
  m_edit->setObjectName(QStringLiteral("searchEdit"));
  m_edit->setClearButtonEnabled(true);
  label->setBuddy(m_edit);
  m_list = new QListWidget(this);
  m_list->setObjectName(QStringLiteral("resultList"));
  m_count = new QLabel(this);
  m_count->setObjectName(QStringLiteral("resultCount"));
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(label);
  lay->addWidget(m_edit);
  lay->addWidget(m_list, 1);
  lay->addWidget(m_count);
  connect(m_edit, &QLineEdit::textChanged, this, &CDlgSearch::refresh);
  connect(m_edit, &QLineEdit::returnPressed, this, [this] { goTo(std::max(0, m_list->currentRow())); });
  connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { goTo(m_list->row(item)); });
  connect(&doc, &CVantoriaDoc::trekDataChanged, this, [this] {
    if (isVisible()) refresh();
  });
  connect(&doc, &CVantoriaDoc::collectionChanged, this, [this] {
    if (isVisible()) refresh();
  });
  resize(420, 360);
}

void CDlgSearch::refresh() {
  m_results = m_doc.Search(m_edit->text().toStdString());
  m_list->clear();
  for (const search::SResult& r : m_results) {
    QString text = QStringLiteral("[%1] %2").arg(kindText(r.kind), QString::fromStdString(r.name));
    if (!r.where.empty()) text += QStringLiteral("  (%1)").arg(QString::fromStdString(r.where));
    if (r.kind == search::EResultKind::Sheet) text += QStringLiteral("  %1").arg(QString::fromStdString(r.mesh));
    m_list->addItem(text);
  }
  if (m_edit->text().trimmed().isEmpty()) m_count->clear();
  else if (m_results.size() >= search::kMaxResults) m_count->setText(QStringLiteral("%1件以上").arg(m_results.size()));
  else m_count->setText(QStringLiteral("%1件").arg(m_results.size()));
}

bool CDlgSearch::goTo(int row) {
  if (row < 0 || row >= static_cast<int>(m_results.size())) return false;
  m_list->setCurrentRow(row);
  // Going to a result changes the trek data's selection, which runs the search again; the
  // result is copied first.
  const search::SResult chosen = m_results[std::size_t(row)];
  return m_doc.GotoSearchResult(chosen);
}

void CDlgSearch::keyPressEvent(QKeyEvent* event) {
  // Up and down in the box move through the results.
  if (m_edit->hasFocus() && (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) && m_list->count() > 0) {
    const int step = event->key() == Qt::Key_Down ? 1 : -1;
    m_list->setCurrentRow(std::clamp(m_list->currentRow() + step, 0, m_list->count() - 1));
    return;
  }
  // Enter belongs to the box; Escape closes.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
  QDialog::keyPressEvent(event);
}
