#include "mosaic/MapCollection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <system_error>

#include "geodesy/DatumConverter.h"
#include "platform/FileLookup.h"

namespace mosaic {

namespace {

// Positions on the catalogue's frame lines count as on the sheet: its one-sheet view widens the
// frame by this (seconds) on every side, and so does its mapping into the plane.
constexpr double kWideningSeconds = 0.01;

bool equalsNoCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// Metres per second of arc on the Tokyo datum's ellipsoid at a latitude (seconds): along the
// meridian and along the parallel.
struct SArcMetres {
  double meridian = 0;
  double parallel = 0;
};
SArcMetres arcMetres(double latitudeSeconds) {
  const double a = geodesy::kBesselSemiMajorM;
  const double f = geodesy::kBesselFlattening;
  const double e2 = f * (2 - f);
  const double phi = latitudeSeconds / 3600.0 * std::numbers::pi / 180.0;
  const double s = std::sin(phi);
  const double w = std::sqrt(1 - e2 * s * s);
  const double m = a * (1 - e2) / (w * w * w);  // meridian radius of curvature
  const double n = a / w;                       // prime vertical radius
  const double perSecond = std::numbers::pi / (180.0 * 3600.0);
  return {m * perSecond, n * std::cos(phi) * perSecond};
}

std::int32_t truncSize(double v) {
  if (!(v > 0)) return 0;
  if (v >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(v);
}

}  // namespace

// ---- placement

double SSheetPlacement::ImageX(double longitude) const {
  const double span = widened.east - widened.west;
  const double columns = static_cast<double>(x1) - static_cast<double>(x0);
  return (longitude - widened.west) * (columns > 0 ? columns : 1.0) / span + x0;
}

double SSheetPlacement::ImageY(double latitude) const {
  const double span = widened.north - widened.south;
  const double rows = static_cast<double>(y1) - static_cast<double>(y0);
  return (widened.north - latitude) * (rows > 0 ? rows : 1.0) / span + y0;
}

SSheetPlacement PlacementOf(const SheetRecord& record) {
  SSheetPlacement p;
  const SCornerAngle& nw = record.corners[kCornerNorthWest];
  const SCornerAngle& se = record.corners[kCornerSouthEast];
  p.frame = {nw.latitude.TotalSeconds(), se.latitude.TotalSeconds(), nw.longitude.TotalSeconds(),
             se.longitude.TotalSeconds()};
  p.widened = {p.frame.north + kWideningSeconds, p.frame.south - kWideningSeconds, p.frame.west - kWideningSeconds,
               p.frame.east + kWideningSeconds};
  p.x0 = record.cornerPixels[kCornerNorthWest].x;
  p.y0 = record.cornerPixels[kCornerNorthWest].y;
  p.x1 = record.cornerPixels[kCornerSouthEast].x;
  p.y1 = record.cornerPixels[kCornerSouthEast].y;
  return p;
}

// ---- plane

double NominalPixelMetres(MapSeries series) { return series == MapSeries::Scale50000 ? 5.0 : 2.5; }

SheetFrame SMapPlane::Frame(double ratio) const {
  SheetFrame frame;
  const DmsAngle n = DmsAngle::FromTotalSeconds(north);
  const DmsAngle w = DmsAngle::FromTotalSeconds(west);
  const DmsAngle s = DmsAngle::FromTotalSeconds(north - latStep * height);
  const DmsAngle e = DmsAngle::FromTotalSeconds(west + lonStep * width);
  frame.SetupPlane(n, w, s, e, width, height, ratio);
  return frame;
}

std::int32_t SMapPlane::WidthAt(double ratio) const { return truncSize(width * ratio); }
std::int32_t SMapPlane::HeightAt(double ratio) const { return truncSize(height * ratio); }
double SMapPlane::MetresAcross(double latitude) const { return arcMetres(latitude).parallel * lonStep; }
double SMapPlane::MetresDown(double latitude) const { return arcMetres(latitude).meridian * latStep; }

SMapPlane PlaneFor(const std::vector<SCollectionSheet>& sheets, MapSeries series) {
  SMapPlane plane;
  plane.series = series;
  bool any = false;
  SFrameSeconds box;
  double sheetWidth = 0, sheetHeight = 0;
  for (const SCollectionSheet& s : sheets) {
    const SFrameSeconds& f = s.frame;
    if (!(f.north > f.south) || !(f.east > f.west)) continue;
    if (!any) {
      box = f;
      any = true;
    } else {
      box.north = std::max(box.north, f.north);
      box.south = std::min(box.south, f.south);
      box.west = std::min(box.west, f.west);
      box.east = std::max(box.east, f.east);
    }
    sheetWidth = std::max(sheetWidth, f.east - f.west);
    sheetHeight = std::max(sheetHeight, f.north - f.south);
  }
  if (!any) return plane;
  const double middle = (box.north + box.south) / 2;
  const SArcMetres arc = arcMetres(middle);
  const double metres = NominalPixelMetres(series);
  plane.latStep = metres / arc.meridian;
  plane.lonStep = metres / arc.parallel;
  // Half a sheet of margin, so that the collection's edge sheets can be scrolled to the middle.
  plane.north = box.north + sheetHeight / 2;
  plane.west = box.west - sheetWidth / 2;
  const double south = box.south - sheetHeight / 2;
  const double east = box.east + sheetWidth / 2;
  plane.height = truncSize(std::ceil((plane.north - south) / plane.latStep));
  plane.width = truncSize(std::ceil((east - plane.west) / plane.lonStep));
  return plane;
}

std::vector<SMeshCell> MeshCellsIn(MapSeries series, const SFrameSeconds& box, std::size_t limit) {
  std::vector<SMeshCell> out;
  const int cells = series == MapSeries::Scale50000 ? 2 : 1;  // secondary meshes a side of a cell
  const double latCell = 300.0 * cells, lonCell = 450.0 * cells;
  if (!(box.north > box.south) || !(box.east > box.west) || !std::isfinite(box.north - box.south) ||
      !std::isfinite(box.east - box.west))
    return out;
  // Whole cells of the grid, counted from the equator and 100 degrees east.
  const double first = std::floor(box.south / latCell), last = std::ceil(box.north / latCell);
  const double west = std::floor((box.west - 100 * 3600.0) / lonCell), east = std::ceil((box.east - 100 * 3600.0) / lonCell);
  if (last - first > 4096 || east - west > 4096 || first < 0 || west < 0) return out;
  const int perPrimaryLat = 8 / cells;  // cells a primary mesh (40' x 1 degree) holds a side
  for (double r = first; r < last; ++r) {
    for (double c = west; c < east; ++c) {
      if (out.size() >= limit) return out;
      const int row = static_cast<int>(r), col = static_cast<int>(c);
      const int p1 = row / perPrimaryLat, p2 = col / perPrimaryLat;
      if (p1 < 0 || p1 > 99 || p2 < 0 || p2 > 99) continue;
      const int d5 = (row % perPrimaryLat) * cells, d6 = (col % perPrimaryLat) * cells;
      const char code[7] = {static_cast<char>('0' + p1 / 10), static_cast<char>('0' + p1 % 10),
                            static_cast<char>('0' + p2 / 10), static_cast<char>('0' + p2 % 10),
                            static_cast<char>('0' + d5),      static_cast<char>('0' + d6), '\0'};
      out.push_back({code, {(r + 1) * latCell, r * latCell, 100 * 3600.0 + c * lonCell, 100 * 3600.0 + (c + 1) * lonCell}});
    }
  }
  return out;
}

// ---- collection

std::vector<std::filesystem::path> CMapCollection::FindMapFolders(const std::filesystem::path& root,
                                                                 std::string* note) {
  std::vector<std::filesystem::path> found;
  auto isMapFolder = [](const std::filesystem::path& dir) {
    return platform::findNoCase(dir, "index.csv").has_value() && platform::findNoCase(dir, "kanri.csv").has_value();
  };
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) return found;
  if (isMapFolder(root)) found.push_back(root);
  std::filesystem::recursive_directory_iterator it(root, std::filesystem::directory_options::skip_permission_denied,
                                                   ec);
  std::int64_t scanned = 0;
  bool cut = false;
  for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (++scanned > kMaxEntriesScanned || static_cast<int>(found.size()) >= kMaxFolders) {
      cut = true;
      break;
    }
    std::error_code typeError;
    if (it->is_symlink(typeError)) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_directory(typeError)) {
      if (it.depth() >= kMaxDepth) {
        it.disable_recursion_pending();
        cut = true;
      }
      continue;
    }
    // A map data tree is recognised by its index file; its own sub-folders (one per area) hold
    // only images, so the walk goes on below it all the same (copies may nest).
    if (!equalsNoCase(it->path().filename().string(), "index.csv")) continue;
    const std::filesystem::path dir = it->path().parent_path();
    if (dir != root && isMapFolder(dir)) found.push_back(dir);
  }
  if (cut && note) *note = "the folder tree is larger than can be searched; only part of it was opened";
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  if (static_cast<int>(found.size()) > kMaxFolders) found.resize(static_cast<std::size_t>(kMaxFolders));
  return found;
}

int CMapCollection::FolderIndex(const std::filesystem::path& directory) const {
  std::error_code ec;
  const std::filesystem::path want = std::filesystem::weakly_canonical(directory, ec);
  for (std::size_t i = 0; i < m_folders.size(); ++i) {
    std::error_code e2;
    if (std::filesystem::weakly_canonical(m_folders[i]->directory, e2) == want) return static_cast<int>(i);
  }
  return -1;
}

bool CMapCollection::AddFolder(const std::filesystem::path& directory, std::string* error) {
  if (FolderIndex(directory) >= 0) {
    if (error) *error = "the folder is open already";
    return false;
  }
  if (static_cast<int>(m_folders.size()) >= kMaxFolders) {
    if (error) *error = "too many map folders are open";
    return false;
  }
  auto folder = std::make_unique<SFolder>();
  folder->directory = directory;
  if (!folder->catalogue.OpenCatalogue(directory)) {
    if (error) *error = folder->catalogue.lastError();
    return false;
  }
  m_folders.push_back(std::move(folder));
  addSheets(static_cast<int>(m_folders.size()) - 1);
  return true;
}

int CMapCollection::AddTree(const std::filesystem::path& root, std::string* error) {
  std::string note;
  int added = 0;
  for (const std::filesystem::path& dir : FindMapFolders(root, &note)) added += AddFolder(dir) ? 1 : 0;
  if (error) *error = added == 0 && note.empty() ? std::string("no map data (index.csv and kanri.csv) was found") : note;
  if (!note.empty()) m_error = note;
  return added;
}

void CMapCollection::Clear() {
  m_folders.clear();
  m_25000 = {};
  m_50000 = {};
  m_error.clear();
}

CMapCollection::SSeries& CMapCollection::seriesSlot(MapSeries series) {
  return series == MapSeries::Scale50000 ? m_50000 : m_25000;
}

const CMapCollection::SSeries* CMapCollection::findSeries(MapSeries series) const {
  if (series == MapSeries::Scale25000) return &m_25000;
  if (series == MapSeries::Scale50000) return &m_50000;
  return nullptr;
}

void CMapCollection::addSheets(int folderIndex) {
  const SFolder& folder = *m_folders[static_cast<std::size_t>(folderIndex)];
  const MapSeries series = folder.catalogue.series();
  if (series != MapSeries::Scale25000 && series != MapSeries::Scale50000) return;
  SSeries& slot = seriesSlot(series);
  for (SCatalogueSheet& found : folder.catalogue.ReadSheetRecords()) {
    const int existing = FindMesh(series, found.record.meshCode);
    if (existing >= 0) {
      // The first copy found is the one shown; the others are named in its properties.
      slot.sheets[static_cast<std::size_t>(existing)].duplicates.push_back(folder.directory);
      continue;
    }
    SCollectionSheet sheet;
    sheet.folder = folderIndex;
    sheet.area = found.areaIndex;
    sheet.slot = found.slotIndex;
    sheet.series = series;
    sheet.frame = PlacementOf(found.record).frame;
    sheet.image = folder.catalogue.SheetImagePath(found.areaIndex, found.slotIndex);
    sheet.record = std::move(found.record);
    slot.sheets.push_back(std::move(sheet));
  }
  slot.plane = PlaneFor(slot.sheets, series);
}

const std::vector<SCollectionSheet>& CMapCollection::sheets(MapSeries series) const {
  static const std::vector<SCollectionSheet> none;
  const SSeries* s = findSeries(series);
  return s ? s->sheets : none;
}

int CMapCollection::FindMesh(MapSeries series, const std::string& meshCode) const {
  const std::vector<SCollectionSheet>& list = sheets(series);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].record.meshCode == meshCode) return static_cast<int>(i);
  return -1;
}

int CMapCollection::FindSlot(int folder, int area, int slot) const {
  if (folder < 0 || folder >= static_cast<int>(m_folders.size())) return -1;
  const SheetCatalogue& catalogue = m_folders[static_cast<std::size_t>(folder)]->catalogue;
  const SheetSlot* s = catalogue.slot(area, slot);
  if (!s || s->meshCode.empty()) return -1;
  return FindMesh(catalogue.series(), s->meshCode);
}

int CMapCollection::SheetAt(MapSeries series, double latitude, double longitude) const {
  const std::vector<SCollectionSheet>& list = sheets(series);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].frame.Contains(latitude, longitude)) return static_cast<int>(i);
  return -1;
}

std::vector<int> CMapCollection::SheetsIn(MapSeries series, const SFrameSeconds& box) const {
  std::vector<int> out;
  const std::vector<SCollectionSheet>& list = sheets(series);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].frame.Intersects(box)) out.push_back(static_cast<int>(i));
  return out;
}

const SMapPlane& CMapCollection::plane(MapSeries series) const {
  static const SMapPlane none;
  const SSeries* s = findSeries(series);
  return s ? s->plane : none;
}

std::vector<MapSeries> CMapCollection::seriesPresent() const {
  std::vector<MapSeries> out;
  if (!m_25000.sheets.empty()) out.push_back(MapSeries::Scale25000);
  if (!m_50000.sheets.empty()) out.push_back(MapSeries::Scale50000);
  return out;
}

}  // namespace mosaic
