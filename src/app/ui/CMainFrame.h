#pragma once
// The main window: tool bars, the three tool windows, the status bar and the menus around the map
// view. Commands go to the view, the document, the frame and the application, in that order.
#include <QProgressBar>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

#include "app/Commands.h"

class AppSettings;
class CTrekCommands;
class CTrekDataList;
class CTrekDataView;
class CDlgSearch;
class CElevationProfileWnd;
class CVantoriaDoc;
class CVantoriaView;
class IndexPanel;
class CZoomBar;
class CScaleBarWnd;
class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class QToolBar;

class CMainFrame : public QMainWindow, public ICommandTarget {
  Q_OBJECT
 public:
  /// Builds the bars and menus and restores the docking layout when "Version" is 200.
  explicit CMainFrame(CVantoriaDoc& doc, QWidget* parent = nullptr);
  ~CMainFrame() override;

  /// Places the window from "Wnd_Pos" when it was last shown normally.
  void RestorePlacement();
  /// Writes "Wnd_Pos" and the docking layout.
  void SavePlacement();
  void SaveBarState();
  /// A remembered top-left corner that would leave the window out of reach becomes (0, 0).
  static QPoint ReachablePosition(const QPoint& topLeft, const QSize& size, const QRect& desktop);
  /// Placement without a stored one: about 80 % of the screen's available area, centred.
  static QRect FirstRunGeometry(const QRect& available);
  /// Width the tool windows start with: room for their content at `font`, at least 240.
  static int FirstDockWidth(const QFont& font);

  CVantoriaDoc& Doc() const { return m_doc; }
  CVantoriaView* MapView() const { return m_view; }
  IndexPanel* IndexWindow() const { return m_index; }
  CTrekDataList* TrekList() const { return m_trekList; }
  CTrekDataView* TrekView() const { return m_trekView; }
  CTrekCommands* TrekCommands() const { return m_trekCommands.get(); }
  /// Gives the trek windows their settings (sort modes, display datum; not owned) and adds the
  /// trek file and editing commands to the command chain (once).
  void InstallTrekCommands(AppSettings* settings);
  QAction* Action(int id) const { return m_actions.value(id); }
  CZoomBar* ZoomBar() const { return m_zoomBar; }
  CScaleBarWnd* ScaleBarWnd() const { return m_scaleWnd; }
  QDockWidget* IndexDock() const { return m_docks[0]; }
  QDockWidget* TrekListDock() const { return m_docks[1]; }
  QDockWidget* TrekViewDock() const { return m_docks[2]; }
  /// The elevation profile ("標高グラフ"), docked below the map at first.
  QDockWidget* ProfileDock() const { return m_profileDock; }
  CElevationProfileWnd* ProfileWindow() const { return m_profile; }
  QToolBar* ToolBar(int id) const;
  QMenu* RecentMenu() const { return m_fileMenu; }
  bool IsWideView() const { return m_wideView; }
  /// The search window ("検索(&F)...", Ctrl+F), made on first use; shown with its box focused.
  CDlgSearch* ShowSearch();
  CDlgSearch* SearchWindow() const { return m_search; }

  /// Status bar panes: 0 message, 1 datum, 2 latitude, 3 longitude.
  void SetPaneText(int pane, const QString& text);
  QString PaneText(int pane) const;
  /// The loading progress bar while a sheet loads; null otherwise.
  QProgressBar* Progress() const { return m_progress && !m_progress->isHidden() ? m_progress : nullptr; }

  /// Further handlers (the trek data commands), asked after the document, in the order added.
  void AddCommandTarget(ICommandTarget* target) { m_extraTargets.push_back(target); }
  /// The application's own commands come last in the chain.
  void SetAppTarget(ICommandTarget* target) { m_appTarget = target; }
  /// Runs a command through the chain; false when nobody handled it.
  bool RouteCommand(int id);
  /// Enable and check every command as its owner says (done after each command and on idle).
  void UpdateCommandUI();

  bool onCommand(int id) override;
  bool onUpdateCommand(int id, SCommandState& state) const override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  /// Opens the window of a track log edit (join, range deletion, thinning) without blocking;
  /// it applies its edit on OK and goes away when closed.
  void runTrackEditDialog(int id);
  QAction* addCommand(int id, const QString& text, const QString& tip, bool checkable = false);
  void createActions();
  void createToolBars();
  void createDocks();
  void createStatusBar();
  void createMenus();
  void createView();
  void connectView();
  void rebuildRecentEntries();
  void toggleWideView();
  void onProgressBegin(const QString& text);
  void onProgressStep(int percent);
  void onProgressEnd();
  QWidget* barOf(int id) const;

  CVantoriaDoc& m_doc;
  ICommandTarget* m_appTarget = nullptr;
  QList<ICommandTarget*> m_extraTargets;
  CVantoriaView* m_view = nullptr;
  IndexPanel* m_index = nullptr;
  CTrekDataList* m_trekList = nullptr;
  CTrekDataView* m_trekView = nullptr;
  std::unique_ptr<CTrekCommands> m_trekCommands;
  QHash<int, QAction*> m_actions;
  QToolBar* m_mainBar = nullptr;
  QToolBar* m_trekBar = nullptr;
  CZoomBar* m_zoomBar = nullptr;
  QToolBar* m_scaleBar = nullptr;
  CScaleBarWnd* m_scaleWnd = nullptr;
  std::array<QDockWidget*, 3> m_docks{};
  QDockWidget* m_profileDock = nullptr;
  CElevationProfileWnd* m_profile = nullptr;
  CDlgSearch* m_search = nullptr;
  bool m_wideProfileVisible = false;  ///< the profile before wide view
  std::array<QLabel*, 4> m_panes{};
  QProgressBar* m_progress = nullptr;
  QMenu* m_fileMenu = nullptr;
  QAction* m_recentAnchor = nullptr;
  QList<QAction*> m_recentActions;
  QTimer* m_idle = nullptr;
  bool m_wideView = false;
  std::array<bool, 3> m_wideVisible{};  ///< index, trek list, trek view before wide view
  std::array<int, 3> m_wideHeights{};
  int m_wideWidth = 0;
  bool m_closing = false;
};
