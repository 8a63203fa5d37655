#pragma once
// "地形図のプロパティ": the catalogue row of the sheet on screen, for either series.
#include <QDialog>

#include "maps/SheetRecord.h"

class QTableWidget;

class CDlgSheetProp : public QDialog {
  Q_OBJECT
 public:
  CDlgSheetProp(const SheetRecord& record, MapSeries series, QWidget* parent = nullptr);
  QTableWidget* Table() const { return m_table; }

 private:
  QTableWidget* m_table;
};
