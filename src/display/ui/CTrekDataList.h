#pragma once
// The trek data list: a tree of every open trek data group with its waypoints, track logs and
// track points. Filled from the document's group list, it follows the document's selection and
// hands the user's choices back to it; while an editing window holds the trek data it only lets
// through what that window allows.
#include <QIcon>
#include <QWidget>
#include <functional>

class AppSettings;
class CVantoriaDoc;
class QAction;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

class CTrekDataList : public QWidget {
  Q_OBJECT
 public:
  /// Item data roles of the tree nodes.
  enum ERole : int {
    kRoleKind = Qt::UserRole,  ///< ETrekItemKind of the node (1 or 3 for a group node)
    kRoleGroup,                ///< group index
    kRoleItem,                 ///< waypoint or track log address (quintptr), 0 for a group node
    kRolePoint,                ///< track point index, -1 otherwise
    kRoleGroupAddress,         ///< the group's address (quintptr), to know it again after a refill
  };
  /// Indexes of the item images.
  enum EImage : int { kImageGroup = 0, kImageWaypoint = 1, kImageTrackLog = 2, kImageTrackPoint = 3 };

  explicit CTrekDataList(CVantoriaDoc& doc, QWidget* parent = nullptr);

  /// Sort modes "Sort_Wp" / "Sort_Tk" (not owned; null: file order).
  void setSettings(const AppSettings* settings) { m_settings = settings; }
  /// Where the context menus find the commands (the main window's actions).
  void setCommandLookup(std::function<QAction*(int id)> lookup) { m_lookup = std::move(lookup); }

  /// Rebuilds the tree from the document's groups, in the sort orders of the settings. Nodes of
  /// groups and track logs that were shown before keep their expanded state, and the tree keeps
  /// its scroll position; new groups come expanded.
  void Fill();
  /// Selects the node of an item chosen elsewhere (`item`: the waypoint or track log, null for
  /// the group node); kind 4, or kind 2 with `expand`, expands the node found. Does not report
  /// the change back to the document. False when a node is missing.
  bool Select(int groupIndex, const void* item, int pointIndex, int kind, bool expand);

  [[nodiscard]] QTreeWidget* tree() const { return m_tree; }
  /// The menu shown last by a right click, null before the first.
  [[nodiscard]] QMenu* contextMenu() const { return m_menu; }
  /// One of the four 16 x 16 item images.
  [[nodiscard]] static QIcon ItemImage(int index);

 signals:
  /// Emitted before a context menu shows, so its commands can be enabled first.
  void contextMenuAboutToShow();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void onCurrentItemChanged(QTreeWidgetItem* current);
  void followDocument();
  bool clickAllowed(const QTreeWidgetItem* item) const;
  void showContextMenu(const QPoint& globalPos);
  /// A double click on a waypoint or track point goes to it on the map.
  void goTo(const QTreeWidgetItem* item);

  CVantoriaDoc& m_doc;
  const AppSettings* m_settings = nullptr;
  std::function<QAction*(int)> m_lookup;
  QTreeWidget* m_tree = nullptr;
  QMenu* m_menu = nullptr;
  bool m_filling = false;
  int m_selectedGroupNode = -1;  ///< group whose node the user selected, -1 for an item below it
};
