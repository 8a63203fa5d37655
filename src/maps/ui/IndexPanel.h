#pragma once
// Content of the "地形図インデックス" tool window: the open map folders (when more than one is
// open), the list of the chosen folder's areas and the sheet grid of the chosen area. Follows the document: filled when a catalogue opens, cleared
// when it closes, told of sheets found by a search; a clicked sheet is loaded through it.
#include <QWidget>

class CVantoriaDoc;
class IndexGrid;
class QComboBox;

class IndexPanel : public QWidget {
  Q_OBJECT
 public:
  explicit IndexPanel(CVantoriaDoc& doc, QWidget* parent = nullptr);

  /// The document's catalogue in the layout of its series, first area shown.
  void Fill();
  void Clear();
  /// Shows the area (also in the list) and marks the slot.
  void SelectSheet(int area, int slot);

  [[nodiscard]] IndexGrid* grid() const { return m_grid; }
  [[nodiscard]] QComboBox* areaList() const { return m_areas; }
  /// The open map folders, shown when there is more than one.
  [[nodiscard]] QComboBox* folderList() const { return m_folders; }

 private:
  void fillFolders();

  CVantoriaDoc& m_doc;
  QComboBox* m_folders;
  QComboBox* m_areas;
  IndexGrid* m_grid;
};
