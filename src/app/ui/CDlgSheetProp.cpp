#include "app/ui/CDlgSheetProp.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/CVantoriaDoc.h"

CDlgSheetProp::CDlgSheetProp(const SheetRecord& record, MapSeries series, QWidget* parent,
                             const std::vector<SSheetPropertyRow>& extraRows)
    : QDialog(parent), m_table(new QTableWidget(this)) {
  setObjectName(QStringLiteral("sheetPropDialog"));
  setWindowTitle(QStringLiteral("地形図のプロパティ"));
  auto rows = SheetPropertyRows(record, series);
  rows.insert(rows.end(), extraRows.begin(), extraRows.end());
  m_table->setObjectName(QStringLiteral("sheetPropTable"));
  m_table->setColumnCount(2);
  m_table->setRowCount(int(rows.size()));
  m_table->horizontalHeader()->setVisible(false);
  m_table->verticalHeader()->setVisible(false);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionMode(QAbstractItemView::NoSelection);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    m_table->setItem(int(i), 0, new QTableWidgetItem(QString::fromStdString(rows[i].label)));
    m_table->setItem(int(i), 1, new QTableWidgetItem(QString::fromStdString(rows[i].value)));
  }
  const int rowHeight = fontMetrics().height() + 6;
  m_table->verticalHeader()->setDefaultSectionSize(rowHeight);
  m_table->resizeColumnsToContents();
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(m_table);
  lay->addWidget(buttons);
  resize(std::max(460, m_table->columnWidth(0) + 340), rowHeight * int(rows.size()) + 70);
}
