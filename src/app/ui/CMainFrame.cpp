#include "app/ui/CMainFrame.h"

#include <QLineEdit>
#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "app/Resources.h"
#include "app/TrekCommands.h"
#include "display/ui/CTrekDataList.h"
#include "display/ui/CTrekDataView.h"
#include "display/ui/CElevationProfileWnd.h"
#include "trek/ui/CDlgGroupName.h"
#include "trek/ui/CDlgTrackEdits.h"
#include "app/ui/CDlgSearch.h"
#include "display/ui/CScaleBarWnd.h"
#include "display/ui/CPopTextWnd.h"
#include "display/ui/CVantoriaView.h"
#include "display/ui/GpsWindowHost.h"
#include "maps/ui/IndexPanel.h"
#include "output/ui/CMapImageSaver.h"
#include "display/ui/CZoomBar.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

// The window layout and settings could not be stored: they stay as they were last stored.
constexpr const char* kProfileFailedText =
    "設定を保存できませんでした。ディスクの空き容量を確認して下さい。\r\n前回保存された設定は変更されていません。";

QByteArray toBytes(const std::vector<std::uint8_t>& v) { return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size())); }
std::vector<std::uint8_t> fromBytes(const QByteArray& b) { return std::vector<std::uint8_t>(b.begin(), b.end()); }

const char* const kBarSection = "BarState";
const char* const kBarKey = "Layout";

}  // namespace

CMainFrame::CMainFrame(CVantoriaDoc& doc, QWidget* parent) : QMainWindow(parent), m_doc(doc) {
  setObjectName(QStringLiteral("mainFrame"));
  setWindowTitle(QStringLiteral("Vantoria"));
  setWindowIcon(VantoriaAppIcon());
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);
  createActions();
  createView();
  createToolBars();
  createDocks();
  createStatusBar();
  createMenus();
  connectView();

  if (platform::profile().readInt("Vantoria", "Version", 100) == 200) {
    if (const auto state = platform::profile().readBinary(kBarSection, kBarKey)) restoreState(toBytes(*state));
  }

  connect(&m_doc, &CVantoriaDoc::titleChanged, this, [this](const QString& title) {
    setWindowTitle(title.isEmpty() ? QStringLiteral("Vantoria") : title + QStringLiteral(" - Vantoria"));
  });
  connect(&m_doc, &CVantoriaDoc::recentListChanged, this, &CMainFrame::rebuildRecentEntries);
  connect(&m_doc, &CVantoriaDoc::progressBegin, this, &CMainFrame::onProgressBegin);
  connect(&m_doc, &CVantoriaDoc::progressStep, this, &CMainFrame::onProgressStep);
  connect(&m_doc, &CVantoriaDoc::progressEnd, this, &CMainFrame::onProgressEnd);
  // Without a sheet there is no position under the mouse to show.
  connect(&m_doc, &CVantoriaDoc::sheetOpened, this, [this] {
    if (m_doc.HasSheet()) return;
    SetPaneText(2, QString());
    SetPaneText(3, QString());
  });
  connect(&m_doc.TrekGroups().UndoStack(), &QUndoStack::indexChanged, this, &CMainFrame::UpdateCommandUI);
  for (auto sig : {&CVantoriaDoc::sheetOpened, &CVantoriaDoc::catalogueOpened, &CVantoriaDoc::trekDataChanged,
                   &CVantoriaDoc::selectionChanged})
    connect(&m_doc, sig, this, &CMainFrame::UpdateCommandUI);

  // Tool bar buttons follow the state of their commands while the program idles.
  m_idle = new QTimer(this);
  m_idle->setInterval(250);
  connect(m_idle, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
  m_idle->start();
  UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
  // The trek commands take their entries off the document's undo stack as they go; the stack's
  // signals must not reach this half-destroyed window.
  disconnect(&m_doc.TrekGroups().UndoStack(), nullptr, this, nullptr);
}

QAction* CMainFrame::addCommand(int id, const QString& text, const QString& tip, bool checkable) {
  auto* a = new QAction(text, this);
  a->setObjectName(QStringLiteral("cmd_%1").arg(id));
  a->setData(id);
  a->setIcon(VantoriaIcon(id));
  a->setCheckable(checkable);
  // Status text, then the tool tip after a line break.
  const qsizetype nl = tip.indexOf(QLatin1Char('\n'));
  a->setStatusTip(nl < 0 ? tip : tip.left(nl));
  if (nl >= 0) a->setToolTip(tip.mid(nl + 1));
  connect(a, &QAction::triggered, this, [this, id] {
    RouteCommand(id);
    UpdateCommandUI();
  });
  m_actions.insert(id, a);
  return a;
}

void CMainFrame::createActions() {
  using namespace cmd;
  auto add = [this](int id, const char* text, const char* tip, bool checkable = false) {
    return addCommand(id, QString::fromUtf8(text), QString::fromUtf8(tip), checkable);
  };
  // The key name after the tab is shown by the menu; the shortcut itself is set separately.
  add(OpenIndex, "地形図インデックスを開く(&O)...", "地形図インデックスファイルを開きます\n地形図インデックスを開く")
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
  add(OpenMapFolder, "地図フォルダを開く(&F)...", "フォルダとその下にある地形図をすべて開きます\n地図フォルダを開く");
  add(SheetProperties, "地形図のプロパティ(&D)...", "表示中の地形図の情報を表示します\n地形図のプロパティ");
  add(OpenTrek, "トレックデータファイルを開く(&P)...", "トレックデータファイルを開きます\nトレックデータファイルを開く");
  add(NewWaypointFile, "ウェイポイント(&W)...", "新しいウェイポイントファイルを作成します");
  add(NewTrackFile, "トラックログ(&T)...", "新しいトラックログファイルを作成します");
  add(SaveTrek, "トレックデータファイルの上書き保存(&S)...", "選択中のトレックデータファイルを上書き保存します");
  add(SaveTrekAs, "トレックデータファイルの名前を付けて保存(&A)...", "選択中のトレックデータファイルに名前を付けて保存します");
  add(CloseTrek, "トレックデータファイルを閉じる(&C)", "選択中のトレックデータファイルを閉じます");
  add(SaveMapImage, "選択範囲を保存(&S)...", "選択した範囲の地形図画像を保存\n選択範囲を保存");
  add(ExportTiles, "地図を書き出す(&M)...", "地図をスマートフォンやGPS機器で使える形式 (MBTiles、Garmin カスタムマップ) で書き出します");
  add(Print, "印刷(&P)...", "地形図を印刷します\n印刷")->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
  add(PrintSetup, "プリンタの設定(&R)...", "プリンタと印刷オプションを変更します");
  add(Exit, "アプリケーションの終了(&X)", "アプリケーションを終了します");

  // Their texts name the edit they act on (UpdateCommandUI).
  add(Undo, "元に戻す(&U)", "直前のトレックデータの編集を元に戻します\n元に戻す")
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
  add(Redo, "やり直し(&R)", "元に戻した編集をやり直します\nやり直し")
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+Y")));

  add(Search, "検索(&F)...", "ウェイポイント、トラックログ、地形図を名前で探します\n検索")
      ->setShortcut(QKeySequence(QKeySequence::Find));
  add(RangeSelect, "範囲選択(&S)", "地形図上の範囲を選択します\n範囲選択", true);
  add(ClearSelection, "選択範囲のクリア(&C)", "選択範囲を解除します\n選択範囲のクリア");
  add(ZoomIn, "ズームイン(&I)", "右クリックで地形図を拡大表示します\nズームイン", true);
  add(ZoomOut, "ズームアウト(&O)", "右クリックで地形図を縮小表示します\nズームアウト", true);
  add(ZoomRect, "選択範囲をズームイン(&U)", "ドラッグした範囲を拡大表示します\n選択範囲をズームイン", true);
  add(ShowWaypoints, "ウェイポイントの表示(&F)", "ウェイポイントの表示を切り替えます\nウェイポイントの表示", true)
      ->setShortcut(QKeySequence(Qt::Key_F5));
  add(ShowTracks, "トラックログの表示(&K)", "トラックログの表示を切り替えます\nトラックログの表示", true)
      ->setShortcut(QKeySequence(Qt::Key_F6));

  add(AddWaypoint, "ウェイポイントの追加(&M)...", "ウェイポイントを追加します\nウェイポイントの追加");
  add(EditWaypoint, "ウェイポイントの編集(&E)...", "選択中のウェイポイントを編集します\nウェイポイントの編集");
  add(CopyWaypoint, "ウェイポイントのコピー(&C)", "選択中のウェイポイントをコピーします");
  add(CutWaypoint, "ウェイポイントの切り取り(&T)", "選択中のウェイポイントを切り取ります");
  add(PasteWaypoint, "ウェイポイントの貼り付け(&P)", "ウェイポイントを貼り付けます");
  add(DeleteWaypoint, "ウェイポイントの削除(&D)", "選択中のウェイポイントを削除します\nウェイポイントの削除");
  add(GotoWaypoint, "選択ポイントへ移動(&J)", "選択中のウェイポイントを含む地形図を表示します");
  add(EditTrack, "トラックログの編集(&E)...", "選択中のトラックログを編集します\nトラックログの編集");
  add(CopyTrack, "トラックログのコピー(&C)", "選択中のトラックログをコピーします");
  add(CutTrack, "トラックログの切り取り(&T)", "選択中のトラックログを切り取ります");
  add(PasteTrack, "トラックログの貼り付け(&P)", "トラックログを貼り付けます");
  add(DeleteTrack, "トラックログの削除(&D)", "選択中のトラックログを削除します\nトラックログの削除");
  add(GotoTrackPoint, "選択トラックへ移動(&J)", "選択中のトラックポイントを含む地形図を表示します");
  add(SplitTrack, "トラックログの分割(&L)", "選択中のトラックポイントでトラックログを2つに分けます\nトラックログの分割");
  add(JoinTracks, "トラックログの結合(&J)...", "グループのトラックログをつないで1つにします\nトラックログの結合");
  add(DeleteTrackRange, "トラックポイントの範囲削除(&G)...", "選択中のトラックログから範囲を指定してポイントを削除します");
  add(ReverseTrack, "トラックログの反転(&V)", "選択中のトラックログのポイントの順序を逆にします");
  add(ThinTrack, "トラックログの間引き(&H)...", "形を保ったまま選択中のトラックログのポイントを減らします");
  add(NewRouteFile, "ルート(&R)...", "新しいルートのグループを作ります");
  add(DrawRoute, "ルートの作成(&R)", "地形図をクリックしてルートを描きます (BackSpaceで1点戻す、Enterかダブルクリックで終了)\nルートの作成", true);
  add(DeleteRoute, "ルートの削除", "選択中のルートを削除します");
  add(DeleteRoutePoint, "ルートポイントの削除", "選択中のルートポイントをルートから外します");
  add(UploadRoutes, "ルート(&R)...", "選択中のグループのルートをGPSへアップロードします");
  add(DownloadRoutes, "ルート(&R)...", "GPSからルートをダウンロードします");
  add(RenameGroup, "トラックデータグループ名の変更(&N)...", "選択中のグループの名前を変更します");
  add(SortWaypointsNone, "ソートしない(&R)", "ウェイポイントをファイルの順に並べます", true);
  add(SortWaypointsByName, "ポイント名順(&N)", "ウェイポイントを名前の順に並べます", true);
  add(SortTracksNone, "ソートしない(&R)", "トラックログをファイルの順に並べます", true);
  add(SortTracksByName, "名前順(&N)", "トラックログを名前の順に並べます", true);
  add(SortTracksByTime, "時刻順(&T)", "トラックログを開始時刻の順に並べます", true);
  add(DownloadWaypoints, "ウェイポイント(&W)...", "GPSからウェイポイントをダウンロードします");
  add(DownloadTracks, "トラックログ(&T)...", "GPSからトラックログをダウンロードします");
  add(UploadWaypoints, "ウェイポイント(&W)...", "GPSへウェイポイントをアップロードします");
  add(UploadTracks, "トラックログ(&T)...", "GPSへトラックログをアップロードします");
  add(DownloadUnit, "USB機器から読み込む(&U)...", "USBで接続したGarmin機器のウェイポイントとトラックログを読み込みます");
  add(UploadUnit, "USB機器へ書き込む(&U)...", "グループをUSBで接続したGarmin機器へGPXファイルとして書き込みます");
  add(ImportGpx, "GPXファイルを読み込む...", "GPXファイルのウェイポイントとトラックを新しいグループとして読み込みます");
  add(ExportGpx, "GPXファイルに書き出す...", "選択中のグループをGPXファイルに書き出します");

  add(BarMain, "メイン(&M)", "メインツールバーの表示を切り替えます", true);
  add(BarTrek, "ポイント(&T)", "トレックデータツールバーの表示を切り替えます", true);
  add(BarZoom, "ズーム(&Z)", "ズームバーの表示を切り替えます", true);
  add(BarScale, "スケール(&L)", "スケールバーの表示を切り替えます", true);
  add(BarIndex, "地形図インデックス(&M)", "地形図インデックスの表示を切り替えます", true);
  add(BarTrekList, "トレックデータリスト(&P)", "トレックデータリストの表示を切り替えます", true);
  add(BarTrekView, "トレックデータビュー(&V)", "トレックデータビューの表示を切り替えます", true);
  add(BarElevation, "標高グラフ(&E)", "選択中のトラックログの標高グラフの表示を切り替えます", true);
  add(BarStatus, "ステータスバー(&S)", "ステータスバーの表示を切り替えます", true);
  add(Seamless, "シームレス表示(&M)", "開いている地形図をつなげて一枚の地図として表示します\nシームレス表示", true);
  add(SwitchSeries, "縮尺の切り替え(&Y)", "シームレス表示で 1:25,000 と 1:50,000 の地形図を切り替えます");
  add(UtmGrid, "UTMグリッド(&U)", "UTM座標の1kmグリッドを表示します\nUTMグリッド", true);
  add(Graticule, "緯度経度線(&L)", "緯度線と経度線を表示します\n緯度経度線", true);
  add(MagneticNorth, "磁北線(&N)", "磁北方向の線を4cm間隔で表示します\n磁北線", true);
  add(FitTrack, "トラック全体を表示(&W)", "選択中のトラックログ全体が収まるように表示します\nトラック全体を表示");
  add(PrintTrack, "トラックを印刷...", "選択中のトラックログを 1:25,000 でできるだけ少ない枚数に印刷します\nトラックを印刷");
  add(WideView, "ワイドビューモード(&W)", "ツールウィンドウを隠して地形図を広く表示します\nワイドビューモード", true);

  add(Settings, "設定(&I)...", "表示色や表示方法を設定します");
  add(Help, "Vantoriaヘルプ(&H)...", "ヘルプを表示します")->setShortcut(QKeySequence(Qt::Key_F1));
  add(ReadMe, "ReadMeファイルを読む(&R)", "ReadMeファイルを表示します");
  add(About, "ﾊﾞｰｼﾞｮﾝ情報(&A)...", "プログラムのバージョンを表示します");

  // Delete and the clipboard keys act on the selected waypoint or track log. Of each pair only
  // the one that fits the selection is ever enabled, so a key never means two commands.
  const struct { int waypoint, track; QKeySequence key; } kTrekKeys[] = {
      {DeleteWaypoint, DeleteTrack, QKeySequence(Qt::Key_Delete)},
      {CopyWaypoint, CopyTrack, QKeySequence(QKeySequence::Copy)},
      {CutWaypoint, CutTrack, QKeySequence(QKeySequence::Cut)},
      {PasteWaypoint, PasteTrack, QKeySequence(QKeySequence::Paste)},
  };
  for (const auto& k : kTrekKeys) {
    m_actions.value(k.waypoint)->setShortcut(k.key);
    m_actions.value(k.track)->setShortcut(k.key);
  }
}

void CMainFrame::createView() {
  m_view = new CVantoriaView(m_doc, this);
  m_view->setObjectName(QStringLiteral("mapView"));
  setCentralWidget(m_view);
}

void CMainFrame::connectView() {
  connect(m_view, &CVantoriaView::paneTextChanged, this, &CMainFrame::SetPaneText);
  connect(m_view, &CVantoriaView::magnificationShown, m_zoomBar, &CZoomBar::SetText);
  connect(m_view, &CVantoriaView::scaleChanged, m_scaleWnd, [this](int series, double ratio) {
    m_scaleWnd->SetSeries(series);
    m_scaleWnd->SetRatio(ratio, ratio);
  });
  connect(m_zoomBar, &CZoomBar::magnificationChosen, m_view, [this](int code) {
    m_view->SetMagnification(code);
    UpdateCommandUI();
  });
  auto saver = std::make_shared<CMapImageSaver>(*m_view, m_doc, this);
  connect(m_view, &CVantoriaView::saveMapImageRequested, this,
          [saver](const QRect& selection) { (void)saver->SaveSelectionCommand(selection); });
}

void CMainFrame::createToolBars() {
  using namespace cmd;
  auto bar = [this](const QString& title, const QString& name) {
    auto* tb = new QToolBar(title, this);
    tb->setObjectName(name);
    tb->setIconSize(QSize(16, 16));
    addToolBar(Qt::TopToolBarArea, tb);
    return tb;
  };
  m_mainBar = bar(QStringLiteral("メイン"), QStringLiteral("mainBar"));
  m_mainBar->addAction(Action(OpenIndex));
  m_mainBar->addAction(Action(OpenMapFolder));
  m_mainBar->addSeparator();
  m_mainBar->addAction(Action(Print));
  m_mainBar->addSeparator();
  m_mainBar->addAction(Action(RangeSelect));
  m_mainBar->addAction(Action(ClearSelection));

  m_trekBar = bar(QStringLiteral("トレックデータ"), QStringLiteral("trekBar"));
  m_trekBar->addAction(Action(OpenTrek));
  m_trekBar->addSeparator();
  m_trekBar->addAction(Action(AddWaypoint));
  m_trekBar->addAction(Action(EditWaypoint));
  m_trekBar->addAction(Action(DeleteWaypoint));
  m_trekBar->addSeparator();
  m_trekBar->addAction(Action(EditTrack));
  m_trekBar->addAction(Action(DeleteTrack));
  m_trekBar->addSeparator();
  m_trekBar->addAction(Action(Undo));
  m_trekBar->addAction(Action(Redo));

  m_zoomBar = new CZoomBar(QStringLiteral("ズーム"), this);
  m_zoomBar->setObjectName(QStringLiteral("zoomBar"));
  m_zoomBar->setIconSize(QSize(16, 16));
  addToolBar(Qt::TopToolBarArea, m_zoomBar);
  m_zoomBar->addSeparator();
  m_zoomBar->addAction(Action(ZoomIn));
  m_zoomBar->addAction(Action(ZoomOut));
  m_zoomBar->addAction(Action(ZoomRect));
  m_zoomBar->addSeparator();
  m_zoomBar->addAction(Action(ShowWaypoints));
  m_zoomBar->addAction(Action(ShowTracks));
  m_zoomBar->addSeparator();
  m_zoomBar->addAction(Action(WideView));
  m_zoomBar->addAction(Action(Seamless));

  m_scaleBar = bar(QStringLiteral("スケール"), QStringLiteral("scaleToolBar"));
  m_scaleBar->addSeparator();
  m_scaleWnd = new CScaleBarWnd(m_scaleBar);
  m_scaleBar->addWidget(m_scaleWnd);
}

void CMainFrame::createDocks() {
  auto dock = [this](int i, const QString& title, const QString& name, QWidget* content) {
    auto* d = new QDockWidget(title, this);
    d->setObjectName(name);
    d->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    d->setWidget(content);
    addDockWidget(Qt::LeftDockWidgetArea, d, Qt::Vertical);
    m_docks[std::size_t(i)] = d;
  };
  m_index = new IndexPanel(m_doc, this);
  m_index->setObjectName(QStringLiteral("indexPanel"));
  dock(0, QStringLiteral("地形図インデックス"), QStringLiteral("indexDock"), m_index);

  // The trek data windows; their commands come with InstallTrekCommands.
  m_trekList = new CTrekDataList(m_doc, this);
  m_trekList->setCommandLookup([this](int id) { return Action(id); });
  connect(m_trekList, &CTrekDataList::contextMenuAboutToShow, this, &CMainFrame::UpdateCommandUI);
  dock(1, QStringLiteral("トレックデータリスト"), QStringLiteral("trekListDock"), m_trekList);
  m_trekView = new CTrekDataView(m_doc, this);
  dock(2, QStringLiteral("トレックデータビュー"), QStringLiteral("trekViewDock"), m_trekView);

  // The profile wants width more than height: below the map, at the bottom.
  m_profile = new CElevationProfileWnd(m_doc, this);
  m_profileDock = new QDockWidget(QStringLiteral("標高グラフ"), this);
  m_profileDock->setObjectName(QStringLiteral("profileDock"));
  m_profileDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
  m_profileDock->setWidget(m_profile);
  addDockWidget(Qt::BottomDockWidgetArea, m_profileDock);
  connect(m_profile, &CElevationProfileWnd::markerMoved, m_view, &CVantoriaView::SetProfileMarker);
  connect(m_profile, &CElevationProfileWnd::markerCleared, m_view, &CVantoriaView::ClearProfileMarker);

  resizeDocks({m_docks[0], m_docks[1], m_docks[2]}, {300, 300, 300}, Qt::Vertical);
  resizeDocks({m_profileDock}, {250}, Qt::Vertical);
  // Wide enough at first for tree labels, property values and the index grid at the font in
  // use; the user's own layout, once stored, replaces this.
  resizeDocks({m_docks[0]}, {FirstDockWidth(font())}, Qt::Horizontal);
  for (QDockWidget* d : m_docks) d->widget()->setMinimumWidth(150);
}

void CMainFrame::InstallTrekCommands(AppSettings* settings) {
  m_trekList->setSettings(settings);
  m_trekView->setSettings(settings);
  m_profile->setSettings(settings);
  if (m_view) m_view->setMarkerDatumSetting(settings ? &settings->markerDatum : nullptr);
  if (m_view)
    m_view->gpsWindows().setSettings(settings ? &settings->commPort : nullptr, settings ? &settings->gpsCommDatum : nullptr);
  if (!m_trekCommands) {
    m_trekCommands = std::make_unique<CTrekCommands>(m_doc, settings);
    m_trekCommands->setNewGroupDialog([this](std::int32_t kind) {
      std::unique_ptr<CDlgGroupName> dlg(CDlgGroupName::NewGroup(m_doc.TrekGroups(), kind, this));
      dlg->exec();
    });
    m_trekCommands->setRenameDialog([this](int group) {
      std::unique_ptr<CDlgGroupName> dlg(CDlgGroupName::Rename(m_doc.TrekGroups(), group, this));
      dlg->exec();
    });
    m_trekCommands->setTrackEditDialog([this](int id) { runTrackEditDialog(id); });
    AddCommandTarget(m_trekCommands.get());
  }
  m_trekCommands->setSettings(settings);
  m_trekList->Fill();
}

CDlgSearch* CMainFrame::ShowSearch() {
  if (!m_search) m_search = new CDlgSearch(m_doc, this);
  m_search->show();
  m_search->raise();
  m_search->activateWindow();
  m_search->searchEdit()->setFocus();
  m_search->searchEdit()->selectAll();
  m_search->refresh();
  return m_search;
}

void CMainFrame::runTrackEditDialog(int id) {
  CTrekGroupList& list = m_doc.TrekGroups();
  QDialog* dlg = nullptr;
  if (id == cmd::JoinTracks) {
    dlg = new CDlgJoinTracks(list, list.SelectedGroupIndex(), this);
  } else if (id == cmd::DeleteTrackRange) {
    // The stretch dragged on the elevation profile, else the selected point.
    std::size_t from = 0, to = 0;
    if (const auto range = m_profile->range(); range && m_profile->trackLog() == list.SelectedTrackLog()) {
      from = range->first;
      to = range->last;
    } else if (list.Selection().kind == kTrekTrackPoint) {
      from = to = static_cast<std::size_t>(list.Selection().pointIndex);
    }
    dlg = new CDlgPointRange(list, from, to, this);
  } else if (id == cmd::ThinTrack) {
    dlg = new CDlgThinTrack(list, this);
  }
  if (!dlg) return;
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  dlg->open();
}

void CMainFrame::createStatusBar() {
  QStatusBar* sb = statusBar();
  sb->setObjectName(QStringLiteral("statusBar"));
  m_panes[0] = new QLabel(QStringLiteral("レディ"), sb);
  m_panes[0]->setObjectName(QStringLiteral("pane0"));
  sb->addWidget(m_panes[0], 1);
  // Widths of the three view panes follow runs of 33, 33 and 37 blanks, and are never narrower
  // than the longest text the view writes there (blanks are narrow in a proportional face).
  const int blanks[] = {33, 33, 37};
  const char* const longest[] = {"測地系 WGS-84/JGD2000", "北緯 00度00分00.00秒", "東経 000度00分00.00秒"};
  for (int i = 1; i <= 3; ++i) {
    m_panes[std::size_t(i)] = new QLabel(sb);
    m_panes[std::size_t(i)]->setObjectName(QStringLiteral("pane%1").arg(i));
    m_panes[std::size_t(i)]->setFrameShape(QFrame::Panel);
    m_panes[std::size_t(i)]->setFrameShadow(QFrame::Sunken);
    const QFontMetrics fm(m_panes[std::size_t(i)]->font());
    const int width = std::max(fm.horizontalAdvance(QString(blanks[i - 1], QLatin1Char(' '))),
                               fm.horizontalAdvance(QString::fromUtf8(longest[i - 1])));
    m_panes[std::size_t(i)]->setMinimumWidth(width + 12);
    sb->addPermanentWidget(m_panes[std::size_t(i)]);
  }
}

void CMainFrame::createMenus() {
  using namespace cmd;
  QMenuBar* mb = menuBar();
  m_fileMenu = mb->addMenu(QStringLiteral("ファイル(&F)"));
  m_fileMenu->setObjectName(QStringLiteral("fileMenu"));
  m_fileMenu->addAction(Action(OpenIndex));
  m_fileMenu->addAction(Action(OpenMapFolder));
  m_fileMenu->addAction(Action(SheetProperties));
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(Action(OpenTrek));
  QMenu* newMenu = m_fileMenu->addMenu(QStringLiteral("トレックデータファイルの新規作成"));
  newMenu->addAction(Action(NewWaypointFile));
  newMenu->addAction(Action(NewTrackFile));
  newMenu->addAction(Action(NewRouteFile));
  m_fileMenu->addAction(Action(SaveTrek));
  m_fileMenu->addAction(Action(SaveTrekAs));
  m_fileMenu->addAction(Action(CloseTrek));
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(Action(SaveMapImage));
  m_fileMenu->addAction(Action(ExportTiles));
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(Action(Print));
  m_fileMenu->addAction(Action(PrintSetup));
  // The recent entries go between these two separators.
  m_recentAnchor = m_fileMenu->addSeparator();
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(Action(Exit));
  rebuildRecentEntries();

  QMenu* editMenu = mb->addMenu(QStringLiteral("編集(&E)"));
  editMenu->setObjectName(QStringLiteral("editMenu"));
  editMenu->addAction(Action(Undo));
  editMenu->addAction(Action(Redo));
  editMenu->addSeparator();
  editMenu->addAction(Action(Search));

  QMenu* view = mb->addMenu(QStringLiteral("表示(&V)"));
  QMenu* bars = view->addMenu(QStringLiteral("ツールバー(&T)"));
  for (int id : {BarMain, BarTrek, BarZoom, BarScale}) bars->addAction(Action(id));
  for (int id : {BarIndex, BarTrekList, BarTrekView, BarElevation, BarStatus}) view->addAction(Action(id));
  view->addSeparator();
  view->addAction(Action(WideView));
  view->addAction(Action(Seamless));
  view->addAction(Action(SwitchSeries));
  view->addSeparator();
  for (int id : {UtmGrid, Graticule, MagneticNorth}) view->addAction(Action(id));
  view->addSeparator();
  for (int id : {ZoomIn, ZoomOut, ZoomRect}) view->addAction(Action(id));
  view->addSeparator();
  for (int id : {RangeSelect, ClearSelection}) view->addAction(Action(id));
  view->addSeparator();
  for (int id : {ShowWaypoints, ShowTracks}) view->addAction(Action(id));

  QMenu* trek = mb->addMenu(QStringLiteral("トレックデータ(&G)"));
  for (int id : {AddWaypoint, EditWaypoint, CopyWaypoint, CutWaypoint, PasteWaypoint, DeleteWaypoint, GotoWaypoint})
    trek->addAction(Action(id));
  QMenu* sortWp = trek->addMenu(QStringLiteral("ウェイポイントの並べ替え(&S)"));
  sortWp->addAction(Action(SortWaypointsNone));
  sortWp->addAction(Action(SortWaypointsByName));
  trek->addSeparator();
  for (int id : {EditTrack, CopyTrack, CutTrack, PasteTrack, DeleteTrack, GotoTrackPoint, FitTrack, PrintTrack})
    trek->addAction(Action(id));
  QMenu* sortTk = trek->addMenu(QStringLiteral("トラックログの並べ替え(&O)"));
  for (int id : {SortTracksNone, SortTracksByName, SortTracksByTime}) sortTk->addAction(Action(id));
  QMenu* trackEdits = trek->addMenu(QStringLiteral("トラックログの加工(&K)"));
  trackEdits->setObjectName(QStringLiteral("trackEditMenu"));
  for (int id : {SplitTrack, JoinTracks, DeleteTrackRange, ReverseTrack, ThinTrack}) trackEdits->addAction(Action(id));
  trek->addSeparator();
  for (int id : {DrawRoute, DeleteRoute, DeleteRoutePoint}) trek->addAction(Action(id));
  trek->addSeparator();
  trek->addAction(Action(RenameGroup));
  trek->addSeparator();
  QMenu* down = trek->addMenu(QStringLiteral("GPSからダウンロード(&D)"));
  down->addAction(Action(DownloadWaypoints));
  down->addAction(Action(DownloadTracks));
  down->addAction(Action(DownloadRoutes));
  down->addSeparator();
  down->addAction(Action(DownloadUnit));
  QMenu* up = trek->addMenu(QStringLiteral("GPSへアップロード(&U)"));
  up->addAction(Action(UploadWaypoints));
  up->addAction(Action(UploadTracks));
  up->addAction(Action(UploadRoutes));
  up->addSeparator();
  up->addAction(Action(UploadUnit));
  trek->addSeparator();
  trek->addAction(Action(ImportGpx));
  trek->addAction(Action(ExportGpx));

  QMenu* tools = mb->addMenu(QStringLiteral("ツール(&T)"));
  tools->addAction(Action(Settings));

  QMenu* help = mb->addMenu(QStringLiteral("ヘルプ(&H)"));
  help->addAction(Action(Help));
  help->addAction(Action(ReadMe));
  help->addSeparator();
  help->addAction(Action(About));

  for (QMenu* m : mb->findChildren<QMenu*>()) connect(m, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::rebuildRecentEntries() {
  if (!m_fileMenu) return;
  for (QAction* a : m_recentActions) {
    m_fileMenu->removeAction(a);
    m_actions.remove(a->data().toInt());
    a->deleteLater();
  }
  m_recentActions.clear();
  const auto& entries = m_doc.RecentList().entries();
  QList<QAction*> fresh;
  if (entries.empty()) {
    auto* a = new QAction(QStringLiteral("最近開いた地形図"), this);
    a->setEnabled(false);
    a->setData(-1);
    fresh.push_back(a);
  }
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const int id = cmd::RecentFirst + int(k);
    QString text = QString::fromStdString(entries[k]);
    const QFontMetrics fm(m_fileMenu->font());
    text = fm.elidedText(text, Qt::ElideRight, 600);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    auto* a = new QAction(QStringLiteral("&%1 %2").arg((k + 1) % 10).arg(text), this);
    a->setObjectName(QStringLiteral("cmd_%1").arg(id));
    a->setData(id);
    a->setStatusTip(QStringLiteral("この地形図インデックスを開きます"));
    connect(a, &QAction::triggered, this, [this, id] {
      RouteCommand(id);
      UpdateCommandUI();
    });
    m_actions.insert(id, a);
    fresh.push_back(a);
  }
  QAction* before = m_fileMenu->actions().value(m_fileMenu->actions().indexOf(m_recentAnchor) + 1);
  m_fileMenu->insertActions(before, fresh);
  m_recentActions = fresh;
}

QToolBar* CMainFrame::ToolBar(int id) const {
  switch (id) {
    case cmd::BarMain: return m_mainBar;
    case cmd::BarTrek: return m_trekBar;
    case cmd::BarZoom: return m_zoomBar;
    case cmd::BarScale: return m_scaleBar;
    default: return nullptr;
  }
}

QWidget* CMainFrame::barOf(int id) const {
  switch (id) {
    case cmd::BarIndex: return m_docks[0];
    case cmd::BarTrekList: return m_docks[1];
    case cmd::BarTrekView: return m_docks[2];
    case cmd::BarElevation: return m_profileDock;
    case cmd::BarStatus: return statusBar();
    default: return ToolBar(id);
  }
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
  if (pane >= 0 && pane < 4) m_panes[std::size_t(pane)]->setText(text);
}

QString CMainFrame::PaneText(int pane) const {
  return pane >= 0 && pane < 4 ? m_panes[std::size_t(pane)]->text() : QString();
}

bool CMainFrame::RouteCommand(int id) {
  if (m_view && m_view->onCommand(id)) return true;
  if (m_doc.onCommand(id)) return true;
  for (ICommandTarget* t : m_extraTargets)
    if (t->onCommand(id)) return true;
  if (onCommand(id)) return true;
  return m_appTarget && m_appTarget->onCommand(id);
}

void CMainFrame::UpdateCommandUI() {
  const ICommandTarget* view = m_view;
  for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
    SCommandState st;
    const int id = it.key();
    bool known = (view && view->onUpdateCommand(id, st)) || m_doc.onUpdateCommand(id, st);
    for (const ICommandTarget* t : m_extraTargets) known = known || t->onUpdateCommand(id, st);
    known = known || onUpdateCommand(id, st) || (m_appTarget && m_appTarget->onUpdateCommand(id, st));
    QAction* a = it.value();
    // A command nobody handles yet is shown disabled.
    a->setEnabled(known && st.enabled);
    if (a->isCheckable()) a->setChecked(known && st.checked);
  }
  const auto name = [](QAction* a, const QString& text) {
    if (!a || a->text() == text) return;
    a->setText(text);
    // The tip without the access key: "ウェイポイントの移動を元に戻す".
    a->setToolTip(QString(text).remove(QRegularExpression(QStringLiteral("\\(&.\\)$"))));
  };
  name(m_actions.value(cmd::Undo), m_doc.UndoCommandText());
  name(m_actions.value(cmd::Redo), m_doc.RedoCommandText());
}

bool CMainFrame::onCommand(int id) {
  if (id == cmd::Exit) {
    close();
    return true;
  }
  if (id == cmd::WideView) {
    toggleWideView();
    return true;
  }
  if (id == cmd::Search) {
    ShowSearch();
    return true;
  }
  if (QWidget* bar = barOf(id)) {
    bar->setVisible(!bar->isVisible());
    return true;
  }
  return false;
}

bool CMainFrame::onUpdateCommand(int id, SCommandState& state) const {
  if (id == cmd::Exit || id == cmd::Search) return true;
  if (id == cmd::WideView) {
    state.checked = m_wideView;
    return true;
  }
  if (const QWidget* bar = barOf(id)) {
    state.checked = bar->isVisible();
    return true;
  }
  return false;
}

void CMainFrame::toggleWideView() {
  if (!m_docks[0] || !m_docks[1] || !m_docks[2]) return;
  if (!m_wideView) {
    for (std::size_t i = 0; i < 3; ++i) {
      m_wideVisible[i] = m_docks[i]->isVisible();
      m_wideHeights[i] = m_docks[i]->height();
    }
    m_wideWidth = m_docks[0]->width();
    for (QDockWidget* d : m_docks) d->hide();
    m_wideProfileVisible = m_profileDock && m_profileDock->isVisible();
    if (m_profileDock) m_profileDock->hide();
    m_wideView = true;
  } else {
    QList<QDockWidget*> shown;
    QList<int> heights;
    for (std::size_t i = 0; i < 3; ++i) {
      m_docks[i]->setVisible(m_wideVisible[i]);
      if (m_wideVisible[i] && !m_docks[i]->isFloating()) {
        shown.push_back(m_docks[i]);
        heights.push_back(m_wideHeights[i]);
      }
    }
    if (!shown.isEmpty()) {
      resizeDocks(shown, heights, Qt::Vertical);
      resizeDocks({shown.front()}, {m_wideWidth}, Qt::Horizontal);
    }
    if (m_profileDock) m_profileDock->setVisible(m_wideProfileVisible);
    m_wideView = false;
  }
}

QPoint CMainFrame::ReachablePosition(const QPoint& topLeft, const QSize& size, const QRect& desktop) {
  const QRect reachable(QPoint(desktop.left() - size.width() + 50, desktop.top()),
                        QPoint(desktop.left() + desktop.width() - 50, desktop.top() + desktop.height() - 50));
  // The far edges are outside, as for a Windows rectangle.
  if (topLeft.x() >= reachable.left() && topLeft.x() < reachable.right() && topLeft.y() >= reachable.top() &&
      topLeft.y() < reachable.bottom())
    return topLeft;
  return {0, 0};
}

QRect CMainFrame::FirstRunGeometry(const QRect& available) {
  const QSize size =
      QSize(available.width() * 4 / 5, available.height() * 4 / 5).expandedTo(QSize(800, 560)).boundedTo(available.size());
  return QRect(available.topLeft() + QPoint((available.width() - size.width()) / 2, (available.height() - size.height()) / 2),
               size);
}

int CMainFrame::FirstDockWidth(const QFont& font) {
  // Some seventeen ideographs: a sheet name with its reading, a property value, the 8 x 8 grid.
  const QFontMetrics fm(font);
  return std::max(240, fm.horizontalAdvance(QString(17, QChar(0x6F22))));
}

void CMainFrame::RestorePlacement() {
  auto& p = platform::profile();
  if (p.readString("Wnd_Pos", "showCmd", "") != "Normal") {
    // No placement of the user's (or a maximised one, which returns to this size): most of the
    // screen, centred.
    const QScreen* screen = QGuiApplication::primaryScreen();
    setGeometry(FirstRunGeometry(screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768)));
    return;
  }
  const QSize size(std::max(100, p.readInt("Wnd_Pos", "xw", 500)), std::max(100, p.readInt("Wnd_Pos", "yw", 800)));
  const QPoint pos(p.readInt("Wnd_Pos", "left_p", 0), p.readInt("Wnd_Pos", "top_p", 0));
  QRect desktop;
  for (const QScreen* s : QGuiApplication::screens()) desktop |= s->geometry();
  if (desktop.isEmpty()) desktop = QRect(0, 0, 1024, 768);
  resize(size);
  move(ReachablePosition(pos, size, desktop));
}

void CMainFrame::SaveBarState() { platform::profile().writeBinary(kBarSection, kBarKey, fromBytes(saveState())); }

void CMainFrame::SavePlacement() {
  auto& p = platform::profile();
  const char* show = isMaximized() ? "Max" : isMinimized() ? "Min" : "Normal";
  p.writeString("Wnd_Pos", "showCmd", show);
  const QRect g = isMaximized() || isMinimized() ? normalGeometry() : QRect(pos(), size());
  p.writeInt("Wnd_Pos", "left_p", g.x());
  p.writeInt("Wnd_Pos", "top_p", g.y());
  p.writeInt("Wnd_Pos", "xw", g.width());
  p.writeInt("Wnd_Pos", "yw", g.height());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!m_doc.CanCloseFrame()) {
    event->ignore();
    return;
  }
  if (m_wideView) toggleWideView();
  SaveBarState();
  SavePlacement();
  if (!platform::profile().flush()) platform::prompt().error(kProfileFailedText);
  m_idle->stop();
  event->accept();
}

void CMainFrame::onProgressBegin(const QString& text) {
  if (!m_progress) {
    m_progress = new QProgressBar(statusBar());
    m_progress->setObjectName(QStringLiteral("loadProgress"));
    m_progress->setRange(0, 100);
    m_progress->setFixedWidth(200);
    m_progress->setTextVisible(false);
    statusBar()->insertPermanentWidget(1, m_progress);  // index 0 is the message pane
  }
  m_progress->setValue(0);
  m_progress->show();
  m_panes[0]->setText(text);
  statusBar()->repaint();
}

void CMainFrame::onProgressStep(int percent) {
  if (!m_progress) return;
  m_progress->setValue(std::clamp(percent, 0, 100));
  m_progress->repaint();
}

void CMainFrame::onProgressEnd() {
  m_panes[0]->setText(QStringLiteral("レディ"));
  // The bar stays in the status bar, hidden between loads: Qt 6.4's QStatusBar::removeWidget
  // hides the widget after the removed one (here the datum pane) instead of the removed one.
  if (m_progress) m_progress->hide();
}
