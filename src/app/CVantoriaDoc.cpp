#include "app/CVantoriaDoc.h"

#include <QCursor>
#include <algorithm>
#include <QGuiApplication>
#include <fstream>
#include <utility>

#include "maps/CatalogueText.h"
#include "platform/Codepage.h"
#include "trek/SheetAssignment.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace {

/// Wait cursor for the length of a scope.
class CWaitCursor {
 public:
  CWaitCursor() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
      m_set = true;
    }
  }
  ~CWaitCursor() {
    if (m_set) QGuiApplication::restoreOverrideCursor();
  }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  bool m_set = false;
};

constexpr std::size_t kMaxIndexBytes = std::size_t{4} << 20;
/// Milliseconds a changed trek file is left to settle before it is looked at, and between looks
/// while a dialog is open or an editing window works on its group.
constexpr int kSettleMs = 150;
constexpr int kRetryMs = 500;

std::string u8(std::string_view cp932) { return platform::cp932::toUtf8Lossy(cp932); }

const char* seriesWord(MapSeries s) {
  switch (s) {
    case MapSeries::Scale25000: return "数値地図25000 ";
    case MapSeries::Scale50000: return "数値地図50000 ";
    default: return "";
  }
}

}  // namespace

SIndexPreview PreviewIndexFile(const std::filesystem::path& indexCsv) {
  SIndexPreview out;
  if (const auto text = platform::readWholeFile(indexCsv, kMaxIndexBytes)) {
    maps::text::CLineReader lines(maps::text::clipAtNul(*text));
    std::string_view line;
    while (lines.next(line)) {
      const std::size_t comma = platform::cp932::find(line, ",");
      if (comma == std::string_view::npos) break;
      out.areaNames += "[ " + u8(line.substr(comma + 1)) + " ] ";
    }
  }
  const std::filesystem::path dir = indexCsv.parent_path();
  if (const auto kanri = platform::findNoCase(dir, "kanri.csv")) {
    if (const auto text = platform::readWholeFile(*kanri, SheetCatalogue::kMaxFileBytes)) {
      out.series = DetectSeries(*text);
      if (out.series == MapSeries::Scale25000) out.seriesText = "数値地図 25000 (地図画像)";
      else if (out.series == MapSeries::Scale50000) out.seriesText = "数値地図 50000 (地図画像)";
    }
  }
  return out;
}

std::vector<SSheetPropertyRow> SheetPropertyRows(const SheetRecord& r, MapSeries series) {
  const bool s50 = series == MapSeries::Scale50000;
  // Appended, not `" " + u8(...)`: GCC 12 at -O3 takes that for an overlapping copy (-Wrestrict).
  auto blank = [](std::string_view cp932) {
    std::string text = " ";
    text += u8(cp932);
    return text;
  };
  std::vector<SSheetPropertyRow> rows;
  rows.push_back({"種類", s50 ? " 数値地図50000(地図画像)" : " 数値地図25000(地図画像)"});
  rows.push_back({"図名", blank(r.sheetName).append(" ( ").append(u8(r.secondName)).append(" )")});
  rows.push_back({"２次メッシュコード", blank(r.meshCode)});
  rows.push_back({"地形図コード", blank(r.sheetCode)});
  rows.push_back({"号数", blank(r.number)});
  static const char* const k25[] = {"基本測量", "改測", "修正", "部分修正", "空中写真", "現地測量"};
  static const char* const k50[] = {"測量", "編集", "修正", "要部修正"};
  const int histories = s50 ? 4 : 6;
  for (int i = 0; i < histories; ++i) rows.push_back({s50 ? k50[i] : k25[i], blank(r.history[std::size_t(i)])});
  rows.push_back({"発行年月日", blank(r.published)});
  static const std::pair<const char*, int> kCorners[] = {
      {"図郭左上", kCornerNorthWest}, {"図郭左下", kCornerSouthWest},
      {"図郭右上", kCornerNorthEast}, {"図郭右下", kCornerSouthEast}};
  for (const auto& [label, corner] : kCorners) {
    const SCornerAngle& c = r.corners[std::size_t(corner)];
    rows.push_back({label, " 東経" + u8(c.longitude.FormatText()) + " 北緯" + u8(c.latitude.FormatText())});
  }
  return rows;
}

CVantoriaDoc::CVantoriaDoc(QObject* parent) : QObject(parent) {
  m_recent.Load();
  m_trek.setListener(&m_trekListener);
  m_checkTimer.setSingleShot(true);
  connect(&m_checkTimer, &QTimer::timeout, this, &CVantoriaDoc::CheckChangedTrekFiles);
  connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CVantoriaDoc::onTrekFileChanged);
}

void CVantoriaDoc::watchTrekFiles() {
  QStringList wanted;
  for (const auto& g : m_trek.Groups()) {
    if (g->FilePath().empty()) continue;
    const QString path = QString::fromStdString(g->FilePath());
    std::error_code ec;
    if (std::filesystem::is_regular_file(platform::pathFromUtf8(g->FilePath()), ec) && !wanted.contains(path))
      wanted.append(path);
  }
  const QStringList watched = m_watcher.files();
  QStringList gone;
  for (const QString& path : watched)
    if (!wanted.contains(path)) gone.append(path);
  if (!gone.isEmpty()) (void)m_watcher.removePaths(gone);
  QStringList added;
  for (const QString& path : wanted)
    if (!watched.contains(path)) added.append(path);
  if (!added.isEmpty()) (void)m_watcher.addPaths(added);
}

void CVantoriaDoc::onTrekFileChanged(const QString& path) {
  m_changedFiles.insert(path);
  m_checkTimer.start(kSettleMs);
}

void CVantoriaDoc::CheckChangedTrekFiles() {
  if (m_checking) return;  // a question of this look is open; what changes meanwhile is looked at after it
  if (m_canAsk && !m_canAsk()) {
    m_checkTimer.start(kRetryMs);
    return;
  }
  m_checking = true;
  const QSet<QString> changed = std::exchange(m_changedFiles, {});
  // A file replaced by a rename has left the watcher; it is watched again before the look, so
  // that a change during the question is not missed.
  watchTrekFiles();
  bool busy = false;
  for (const QString& path : changed) {
    const std::string name = path.toStdString();
    // By index, looked up again after every question: answers change the list.
    for (int i = 0; i < m_trek.Count(); ++i) {
      if (m_trek.Group(i)->FilePath() != name) continue;
      if (m_trek.CheckFileOnDisk(i) == CTrekGroupList::EDiskCheck::Busy) {
        m_changedFiles.insert(path);
        busy = true;
      }
    }
  }
  watchTrekFiles();
  m_checking = false;
  if (!m_changedFiles.isEmpty()) m_checkTimer.start(busy ? kRetryMs : kSettleMs);
}

CVantoriaDoc::~CVantoriaDoc() { m_trek.setListener(nullptr); }

bool CVantoriaDoc::OpenIndexFile(const std::filesystem::path& path) {
  m_catalogue.Clear();
  m_series = MapSeries::Unknown;
  // A sheet still on screen belongs to the previous catalogue: its area index means nothing now.
  m_currentArea = -1;
  m_collection.Clear();
  m_currentFolder = -1;
  m_centreSheet = -1;
  emit catalogueCleared();
  if (!m_catalogue.OpenCatalogue(path.parent_path())) {
    emit collectionChanged();
    return false;
  }
  m_series = m_catalogue.series();
  // The collection is this one folder.
  if (m_collection.AddFolder(path.parent_path())) m_currentFolder = 0;
  emit catalogueOpened();
  emit collectionChanged();
  return true;
}

bool CVantoriaDoc::OpenMapFolder(const std::filesystem::path& root) {
  // Built aside: a folder without map data leaves what is open.
  mosaic::CMapCollection opened;
  if (opened.AddTree(root) == 0) return false;
  m_collection = std::move(opened);
  m_centreSheet = -1;
  m_currentFolder = -1;
  showFolder(0);
  emit collectionChanged();
  return true;
}

void CVantoriaDoc::showFolder(int folder) {
  if (folder < 0 || folder >= static_cast<int>(m_collection.folders().size())) return;
  m_currentFolder = folder;
  m_catalogue = m_collection.folders()[static_cast<std::size_t>(folder)]->catalogue;
  m_series = m_catalogue.series();
  m_currentArea = -1;
  emit catalogueCleared();
  emit catalogueOpened();
}

void CVantoriaDoc::SetCurrentFolder(int folder) {
  if (folder == m_currentFolder) return;
  showFolder(folder);
}

std::string CVantoriaDoc::MapFolderFailedText(const std::filesystem::path& root) {
  std::string text = "フォルダ [ " + platform::pathToUtf8(root) + " ] を開く事ができませんでした。\r\n";
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) text += "フォルダが見つかりません。";
  else text += "このフォルダとその下に、地形図のデータ (index.csv と kanri.csv) が見つかりません。";
  return text;
}

void CVantoriaDoc::OnOpenMapFolder() {
  const std::string initial = platform::profile().readString("FileDlgSettings", "open", "C:\\");
  platform::SFileDialogRequest req;
  req.title = kFolderDialogTitle;
  req.folder = true;
  req.initialDir = platform::pathFromUtf8(initial);
  const platform::SFileDialogResult res = platform::fileDialog().run(req);
  if (res.accepted && !res.paths.empty()) OpenMapFolderFromDialog(res.paths.front());
}

bool CVantoriaDoc::OpenMapFolderFromDialog(const std::filesystem::path& root) {
  if (!OpenMapFolder(root)) {
    platform::prompt().error(MapFolderFailedText(root));
    return false;
  }
  rememberOpenedFolder(root);
  return true;
}

void CVantoriaDoc::rememberOpenedFolder(const std::filesystem::path& root) {
  platform::profile().writeString("FileDlgSettings", "open", platform::pathToUtf8(root));
  std::string entry = platform::pathToUtf8(root) + " | " + std::to_string(m_collection.folders().size()) + " フォルダ ";
  for (const MapSeries s : m_collection.seriesPresent()) entry += seriesWord(s);
  m_recent.Add(entry);
  m_recent.Save();
  emit recentListChanged();
}

bool CVantoriaDoc::AssignSheetOf(CMarkerPoint& point) const {
  if (m_seamless) {
    DmsAngle lat, lon;
    point.GetPosition(lat, lon, Datum::Tokyo);
    const int sheet = m_collection.SheetAt(m_sheetSeries, lat.TotalSeconds(), lon.TotalSeconds());
    if (sheet < 0) return false;
    const mosaic::SCollectionSheet& s = m_collection.sheets(m_sheetSeries)[static_cast<std::size_t>(sheet)];
    const CatalogueArea* area = m_collection.folders()[static_cast<std::size_t>(s.folder)]->catalogue.area(s.area);
    return area && AssignSheet(point, s.record, *area, m_sheetSeries);
  }
  if (!m_hasSheet) return false;
  const std::optional<int> area = CurrentArea();
  if (!area) return false;
  return AssignSheet(point, m_sheet, m_catalogue.areas()[static_cast<std::size_t>(*area)], m_sheetSeries);
}

void CVantoriaDoc::SetCentreSheet(MapSeries series, int sheet) {
  const std::vector<mosaic::SCollectionSheet>& sheets = m_collection.sheets(series);
  if (sheet < 0 || sheet >= static_cast<int>(sheets.size())) {
    if (m_centreSheet < 0) return;
    m_centreSheet = -1;
    m_sheet = SheetRecord{};
    m_duplicates.clear();
    m_currentArea = -1;
    m_title.clear();
    emit titleChanged(m_title);
    return;
  }
  if (sheet == m_centreSheet && series == m_sheetSeries) return;
  const mosaic::SCollectionSheet& s = sheets[static_cast<std::size_t>(sheet)];
  m_centreSheet = sheet;
  m_sheet = s.record;
  m_sheetSeries = series;
  m_duplicates = s.duplicates;
  if (s.folder != m_currentFolder) showFolder(s.folder);
  m_currentArea = s.area;
  const CatalogueArea* a = m_catalogue.area(s.area);
  m_title = QString::fromStdString("  [ " + (a ? u8(a->areaName) : std::string()) + " ]   " + u8(m_sheet.sheetName) +
                                   " ( " + u8(m_sheet.secondName) + " )");
  emit selectSheetRequested(s.area, s.slot);
  emit titleChanged(m_title);
}

bool CVantoriaDoc::OpenIndexKeepingOpen(const std::filesystem::path& path) {
  // Built aside first; only a catalogue that opened replaces the one on screen.
  SheetCatalogue opened;
  if (!opened.OpenCatalogue(path.parent_path())) {
    platform::prompt().error(IndexOpenFailedText(path));
    return false;
  }
  m_catalogue = std::move(opened);
  m_currentArea = -1;
  m_collection.Clear();
  m_currentFolder = m_collection.AddFolder(path.parent_path()) ? 0 : -1;
  m_centreSheet = -1;
  emit catalogueCleared();
  m_series = m_catalogue.series();
  emit catalogueOpened();
  emit collectionChanged();
  rememberOpenedIndex(path);
  return true;
}

void CVantoriaDoc::OnOpenIndex() {
  std::string initial = platform::profile().readString("FileDlgSettings", "open", "C:\\");
  std::optional<std::filesystem::path> chosen;
  if (m_indexDialog) {
    chosen = m_indexDialog(initial);
  } else {
    platform::SFileDialogRequest req;
    req.title = kIndexDialogTitle;
    req.filter = kIndexDialogFilter;
    req.initialDir = platform::pathFromUtf8(initial);
    const platform::SFileDialogResult res = platform::fileDialog().run(req);
    if (res.accepted && !res.paths.empty()) chosen = res.paths.front();
  }
  if (chosen) OpenIndexFromDialog(*chosen);
}

std::string CVantoriaDoc::IndexOpenFailedText(const std::filesystem::path& path) {
  std::string text = "地形図インデックスファイル [ " + platform::pathToUtf8(path) + " ] を開く事ができませんでした。\r\n";
  std::error_code ec;
  const std::filesystem::path dir = path.parent_path();
  if (!std::filesystem::exists(path, ec)) text += "ファイルが見つかりません。";
  else if (!platform::findNoCase(dir, "index.csv")) text += "同じフォルダに index.csv がありません。";
  else if (!platform::findNoCase(dir, "kanri.csv")) text += "同じフォルダに kanri.csv がありません。";
  else text += "ファイルを読み込めません。";
  return text;
}

std::string CVantoriaDoc::SheetImageFailedText(const std::filesystem::path& path, const SSheetImageStatus& status) {
  std::string text = "地形図ファイル [ " + platform::pathToUtf8(path) + " ] を読み込む事ができませんでした。\r\n";
  std::error_code ec;
  const bool exists = std::filesystem::is_regular_file(path, ec);
  const std::uintmax_t bytes = exists ? std::filesystem::file_size(path, ec) : 0;
  const bool readable = exists && std::ifstream(path, std::ios::binary).is_open();
  constexpr const char* kBroken = "画像データが壊れているか、ファイルが途中で切れています。";
  bool detail = true;
  if (!exists) {
    // A file that is not there: nothing more to say.
    detail = false;
    text += "ファイルが見つかりません。";
  } else if (bytes == 0 && (status.error == ESheetImageError::Open || status.error == ESheetImageError::NotTiff)) {
    detail = false;
    text += "ファイルが空です。";
  } else {
    switch (status.error) {
      case ESheetImageError::None:
      case ESheetImageError::Open:
        // The file opens but libtiff finds no image in it: its directory is damaged or cut off.
        text += readable ? kBroken : "ファイルを開けません。読み取りの権限を確認して下さい。";
        break;
      case ESheetImageError::NotTiff: text += "TIFF形式の画像ファイルではありません。"; break;
      case ESheetImageError::Unsupported: text += "この形式の画像には対応していません。"; break;
      case ESheetImageError::TooLarge: text += "画像が大きすぎます。"; break;
      case ESheetImageError::NoMemory: text += "メモリが不足しています。"; break;
      case ESheetImageError::Decode: text += kBroken; break;
    }
  }
  if (detail && !status.detail.empty()) text += "\r\n(" + status.detail + ")";
  return text;
}

bool CVantoriaDoc::OpenIndexFromDialog(const std::filesystem::path& path) {
  if (!OpenIndexFile(path)) {
    platform::prompt().error(IndexOpenFailedText(path));
    return false;
  }
  rememberOpenedIndex(path);
  return true;
}

void CVantoriaDoc::rememberOpenedIndex(const std::filesystem::path& path) {
  platform::profile().writeString("FileDlgSettings", "open", platform::pathToUtf8(path.parent_path()));
  const SIndexPreview preview = PreviewIndexFile(path);
  m_recent.Add(platform::pathToUtf8(path) + " | " + seriesWord(preview.series) + preview.areaNames);
  m_recent.Save();
  emit recentListChanged();
}

bool CVantoriaDoc::OpenRecent(int index) {
  if (index < 0 || index >= m_recent.size()) return false;
  const std::string path = CRecentIndexList::PathOf(m_recent.entries()[std::size_t(index)]);
  std::error_code ec;
  // An entry is an index.csv or a map folder.
  if (std::filesystem::is_directory(platform::pathFromUtf8(path), ec)) {
    if (OpenMapFolder(platform::pathFromUtf8(path))) return true;
  } else if (OpenIndexFile(platform::pathFromUtf8(path))) {
    return true;
  }
  m_recent.Remove(index);
  m_recent.Save();
  emit recentListChanged();
  return false;
}

std::optional<int> CVantoriaDoc::CurrentArea() const {
  if (m_currentArea < 0 || m_currentArea >= m_catalogue.areaCount()) return std::nullopt;
  return m_currentArea;
}

void CVantoriaDoc::LoadSheet(int area, int slot) {
  if (area < 0 || area >= m_catalogue.areaCount() || slot < 0 || slot >= kSlotsPerArea) return;
  const SheetSlot* s = m_catalogue.slot(area, slot);
  if (!s || s->empty()) return;
  if (m_seamless) {
    // The seamless view reads its sheets itself: it only has to show this one.
    const int sheet = m_collection.FindSlot(m_currentFolder, area, slot);
    if (sheet >= 0) emit seamlessSheetRequested(int(m_catalogue.series()), sheet);
    return;
  }

  std::optional<CWaitCursor> wait(std::in_place);
  emit progressBegin(QStringLiteral("地形図を読み込んでいます..."));
  m_image.clear();
  const std::filesystem::path imagePath = m_catalogue.SheetImagePath(area, slot);
  SSheetImageStatus st{ESheetImageError::Open, {}};
  if (!imagePath.empty()) {
    st = ReadSheetImage(imagePath, m_image, [this](float f) { emit progressStep(int(std::min(f, 1.0f) * 100)); });
    if (!st.ok()) m_image.clear();
  }
  if (!st.ok()) {
    // Nothing of the sheet is shown, so nothing claims it is: no title, no frame, no record.
    const CatalogueArea* a = m_catalogue.area(area);
    const std::filesystem::path shown =
        imagePath.empty() ? a->directory / platform::pathFromUtf8(u8(a->areaCode)) / platform::pathFromUtf8(u8(s->meshCode) + ".tif")
                          : imagePath;
    m_sheet = SheetRecord{};
    m_hasSheet = false;
    m_currentArea = -1;
    m_title.clear();
    emit sheetOpened();
    emit titleChanged(m_title);
    emit progressStep(100);
    emit progressEnd();
    wait.reset();
    platform::prompt().error(SheetImageFailedText(shown, st));
    return;
  }
  m_sheet = SheetRecord{};
  (void)m_catalogue.ReadSheetRecord(area, slot, m_sheet);
  m_sheetSeries = m_catalogue.series();
  m_hasSheet = true;
  emit sheetOpened();

  const CatalogueArea* a = m_catalogue.area(area);
  m_title = QString::fromStdString("  [ " + u8(a->areaName) + " ]   " + u8(m_sheet.sheetName) + " ( " +
                                   u8(m_sheet.secondName) + " )");
  m_currentArea = area;
  emit titleChanged(m_title);
  // Waypoints lying on the new sheet learn its name (track points are left alone).
  AssignSheetToAll(m_trek.Groups(), m_sheet, *a, m_sheetSeries);
  emit trekDataChanged();
  emit progressStep(100);
  emit progressEnd();
}

bool CVantoriaDoc::SaveMapImage(const ImageSave& save) {
  CWaitCursor wait;
  emit progressBegin(QStringLiteral("地形図をファイルに保存しています..."));
  int shown = 0;
  // The bar moves per whole percent, not per row.
  const bool ok = save([this, &shown](double fraction) {
    const int percent = int(std::clamp(fraction, 0.0, 1.0) * 100);
    if (percent == shown) return;
    shown = percent;
    emit progressStep(percent);
  });
  emit progressStep(100);
  emit progressEnd();
  return ok;
}

void CVantoriaDoc::SelectAndLoadSheet(int area, int slot) {
  emit selectSheetRequested(area, slot);
  LoadSheet(area, slot);
}

bool CVantoriaDoc::GotoPosition(const DmsAngle& latitude, const DmsAngle& longitude, bool trackPoint) {
  if (m_seamless) {
    // Wherever it lies on the open map folders: the series on screen first, then the other.
    std::vector<MapSeries> order = m_collection.seriesPresent();
    std::stable_partition(order.begin(), order.end(), [this](MapSeries s) { return s == m_sheetSeries; });
    for (const MapSeries s : order) {
      const int sheet = m_collection.SheetAt(s, latitude.TotalSeconds(), longitude.TotalSeconds());
      if (sheet < 0) continue;
      if (s != m_sheetSeries) emit seamlessSheetRequested(int(s), sheet);
      emit centreRequested(latitude, longitude, int(Datum::Tokyo));
      return true;
    }
  } else if (m_hasSheet && SheetContains(m_sheet, latitude, longitude, Datum::Tokyo)) {
    emit centreRequested(latitude, longitude, int(Datum::Tokyo));
    return true;
  }
  const SSheetLocation loc =
      m_seamless ? SSheetLocation{} : m_catalogue.FindSheetContaining(latitude, longitude, Datum::Tokyo);
  if (loc.found) {
    SelectAndLoadSheet(loc.areaIndex, loc.slotIndex);
    emit centreRequested(latitude, longitude, int(Datum::Tokyo));
    return true;
  }
  platform::prompt().inform(trackPoint
      ? "このトラックポイントを含む地形図が見つかりませんでした。\r\n別の地形図インデックスファイルを開いて再度検索して見て下さい。"
      : "このポイントを含む地形図が見つかりませんでした。\r\n別の地形図インデックスファイルを開いて再度検索して見て下さい。");
  return false;
}

bool CVantoriaDoc::GotoSelectedWaypoint() {
  const CMarkerPoint* p = m_trek.SelectedWaypoint();
  if (!p || m_trek.Selection().kind != kTrekWaypoint) return false;
  DmsAngle lat, lon;
  p->GetPosition(lat, lon, Datum::Tokyo);
  return GotoPosition(lat, lon, false);
}

bool CVantoriaDoc::GotoSelectedTrackPoint() {
  const CTrackPoint* p = m_trek.SelectedTrackPoint();
  if (!p || m_trek.Selection().kind != kTrekTrackPoint) return false;
  DmsAngle lat, lon;
  p->GetPosition(lat, lon, Datum::Tokyo);
  return GotoPosition(lat, lon, true);
}

bool CVantoriaDoc::onCommand(int id) {
  if (id == cmd::OpenIndex) {
    OnOpenIndex();
    return true;
  }
  if (id == cmd::OpenMapFolder) {
    OnOpenMapFolder();
    return true;
  }
  if (id >= cmd::RecentFirst && id <= cmd::RecentLast) {
    OpenRecent(id - cmd::RecentFirst);
    return true;
  }
  switch (id) {
    case cmd::SheetProperties:
      if (HasCurrentSheet()) emit sheetPropertiesRequested();
      return true;
    case cmd::GotoWaypoint:
      GotoSelectedWaypoint();
      return true;
    case cmd::GotoTrackPoint:
      GotoSelectedTrackPoint();
      return true;
    case cmd::Undo:
      m_trek.Undo();
      return true;
    case cmd::Redo:
      m_trek.Redo();
      return true;
    default:
      return false;
  }
}

bool CVantoriaDoc::onUpdateCommand(int id, SCommandState& state) const {
  switch (id) {
    case cmd::OpenIndex:
    case cmd::OpenMapFolder:
      state.enabled = true;
      return true;
    case cmd::SheetProperties:
      state.enabled = HasCurrentSheet();
      return true;
    case cmd::GotoWaypoint:
      state.enabled = m_trek.Selection().kind == kTrekWaypoint && m_trek.SelectedWaypoint();
      return true;
    case cmd::GotoTrackPoint:
      state.enabled = m_trek.Selection().kind == kTrekTrackPoint && m_trek.SelectedTrackPoint();
      return true;
    case cmd::Undo:
      state.enabled = m_trek.CanUndo();
      return true;
    case cmd::Redo:
      state.enabled = m_trek.CanRedo();
      return true;
    default:
      break;
  }
  if (id >= cmd::RecentFirst && id <= cmd::RecentLast) {
    state.enabled = id - cmd::RecentFirst < m_recent.size();
    return true;
  }
  return false;
}

QString CVantoriaDoc::UndoCommandText() const {
  const std::string name = m_trek.UndoName();
  return name.empty() ? QStringLiteral("元に戻す(&U)") : QString::fromStdString(name) + QStringLiteral("を元に戻す(&U)");
}

QString CVantoriaDoc::RedoCommandText() const {
  const std::string name = m_trek.RedoName();
  return name.empty() ? QStringLiteral("やり直し(&R)") : QString::fromStdString(name) + QStringLiteral("をやり直す(&R)");
}
