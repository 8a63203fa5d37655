#pragma once
// "地形図のプロパティ": the catalogue row of the sheet on screen, for either series.
#include <QDialog>
#include <vector>

#include "app/CVantoriaDoc.h"

#include "maps/SheetRecord.h"

class QTableWidget;

class CDlgSheetProp : public QDialog {
  Q_OBJECT
 public:
  /// `extraRows` follow the catalogue row's (copies found in other folders, why it cannot be read).
  CDlgSheetProp(const SheetRecord& record, MapSeries series, QWidget* parent = nullptr,
                const std::vector<SSheetPropertyRow>& extraRows = {});
  QTableWidget* Table() const { return m_table; }

 private:
  QTableWidget* m_table;
};
