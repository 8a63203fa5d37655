#pragma once
// The "数値地図を開く" dialog: a file dialog with a panel below the file list telling the area
// names and the map series of the chosen "index.csv".
#include <QFileDialog>

class QLabel;

class CDlgOpenIndex : public QFileDialog {
  Q_OBJECT
 public:
  CDlgOpenIndex(QWidget* parent, const QString& initialDir);
  QLabel* AreaNames() const { return m_areas; }
  QLabel* SeriesText() const { return m_series; }

 private:
  void preview(const QString& path);
  QLabel* m_areas;
  QLabel* m_series;
};
