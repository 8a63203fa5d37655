#include "Collection.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "SampleFiles.h"
#include "platform/FileLookup.h"

namespace mapgen {
namespace {

constexpr int kMaxGridSide = 200;
constexpr int kMaxImageSide = 20000;  // what readSheetTiff accepts
constexpr int kMinFrameSide = 64;

// Joins the parts. (GCC 12 at -O3 takes `"literal" + std::string` for an overlapping copy.)
template <typename... Parts>
std::string cat(const Parts&... parts) {
  std::string s;
  (s.append(parts), ...);
  return s;
}

int meshStep(ESeries series) { return series == ESeries::Map25000 ? 1 : 2; }

bool validMesh(ESeries series, const std::string& mesh) {
  if (mesh.size() != 6 || !std::all_of(mesh.begin(), mesh.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  if (mesh[4] > '7' || mesh[5] > '7') return false;
  return series == ESeries::Map25000 || ((mesh[4] - '0') % 2 == 0 && (mesh[5] - '0') % 2 == 0);
}

std::string twoDigits(int v) { return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10); }

/// Mesh code of a sheet from its row of 5' bands north of the equator and its column of 7'30"
/// bands east of 100 degrees.
std::string meshOf(int globalRow, int globalCol) {
  if (globalRow < 0 || globalCol < 0 || globalRow / 8 > 99 || globalCol / 8 > 99) return {};
  return twoDigits(globalRow / 8) + twoDigits(globalCol / 8) + static_cast<char>('0' + globalRow % 8) +
         static_cast<char>('0' + globalCol % 8);
}

std::string upperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

/// "cd2" sorts before "cd10".
bool folderOrder(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::string na = a.filename().string(), nb = b.filename().string();
  const auto digits = [](const std::string& s) { return s.size() - s.find_last_not_of("0123456789") - 1; };
  const std::size_t da = digits(na), db = digits(nb);
  const std::string pa = na.substr(0, na.size() - da), pb = nb.substr(0, nb.size() - db);
  if (pa != pb) return pa < pb;
  if (da != db) return da < db;
  return na < nb;
}

/// One sheet as a folder's catalogue and image give it, with the pixels along its frame.
struct SFoundSheet {
  std::size_t folder = 0;
  std::string mesh, row;
  std::filesystem::path tif;
  int corners[4][2] = {};  // north-west, south-west, south-east, north-east: latitude, longitude seconds
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double groundWidthM = 0, groundHeightM = 0;
  std::vector<std::uint8_t> west, east, north, south;  // first and last column and row inside the frame
  std::vector<std::uint8_t> eastInner, southInner;    // the column and row before the last
};

/// Share of the inked pixels of `a` found within one pixel in `b`, the two strips scaled to each
/// other's length.
double stripAgreement(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.empty() || b.empty()) return 0;
  std::size_t same = 0, total = 0;
  const auto n = static_cast<std::ptrdiff_t>(b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::ptrdiff_t j = static_cast<std::ptrdiff_t>(i * b.size() / a.size());
    if (j < 0 || j >= n || a[i] == 0) continue;  // blank ground agrees anywhere
    const auto at = [&](std::ptrdiff_t k) { return b[static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(k, 0, n - 1))]; };
    same += a[i] == at(j) || a[i] == at(j - 1) || a[i] == at(j + 1);
    ++total;
  }
  return total ? static_cast<double>(same) / static_cast<double>(total) : 0;
}

}  // namespace

std::string SCollectionFolder::fileName(const std::string& lowerCaseName) const {
  return upperCase ? upperAscii(lowerCaseName) : lowerCaseName;
}

std::string offsetMesh(ESeries series, const std::string& mesh, int cols, int rows) {
  if (!validMesh(series, mesh)) return {};
  const int step = meshStep(series);
  const int row = std::atoi(mesh.substr(0, 2).c_str()) * 8 + (mesh[4] - '0') + rows * step;
  const int col = std::atoi(mesh.substr(2, 2).c_str()) * 8 + (mesh[5] - '0') + cols * step;
  return meshOf(row, col);
}

bool planCollection(const SCollectionOptions& o, SCollectionPlan& plan, std::string& error) {
  plan = {};
  if (o.cols < 1 || o.rows < 1 || o.cols > kMaxGridSide || o.rows > kMaxGridSide) {
    error = cat("the grid needs 1 to ", std::to_string(kMaxGridSide), " columns and rows");
    return false;
  }
  if (o.folders < 1 || o.folders > o.cols) {
    error = cat("--folders must be 1 to the number of columns (", std::to_string(o.cols), ")");
    return false;
  }
  if (o.duplicate && o.folders < 2) {
    error = "--duplicate needs at least 2 folders";
    return false;
  }
  if (!(o.pixelMetres >= 0) || o.pixelMetres > 10000) {
    error = "--pixel-metres must be a positive number of metres";
    return false;
  }
  const int step = meshStep(o.series);
  std::string southWest = o.southWest;
  if (southWest.empty()) {
    // The grid's middle on the middle of the drawn ground, snapped to the nearest sheet corner.
    const SGroundCentre centre = groundCentre();
    const double latSec = centre.latSec - o.rows * 300.0 * step / 2;
    const double lonSec = centre.lonSec - 100 * 3600.0 - o.cols * 450.0 * step / 2;
    southWest = meshOf(static_cast<int>(std::lround(latSec / (300.0 * step))) * step,
                       static_cast<int>(std::lround(lonSec / (450.0 * step))) * step);
  }
  if (!validMesh(o.series, southWest)) {
    error = cat("the south-west sheet ", southWest, " is no mesh code of a sheet of this series");
    return false;
  }
  std::map<std::string, std::string> sampleNames, sampleReadings, areaNames;
  for (const SSheet& s : sampleSheets(o.series)) {
    sampleNames[s.mesh] = s.nameUtf8;
    sampleReadings[s.mesh] = s.readingUtf8;
  }
  for (const SArea& a : sampleAreas()) areaNames[a.code] = a.nameUtf8;

  // Bands of columns, the first ones a column wider when they do not divide evenly.
  plan.folders.resize(static_cast<std::size_t>(o.folders));
  std::vector<int> folderOfCol(static_cast<std::size_t>(o.cols));
  for (int f = 0, col = 0; f < o.folders; ++f) {
    const int width = o.cols / o.folders + (f < o.cols % o.folders ? 1 : 0);
    for (int k = 0; k < width; ++k) folderOfCol[static_cast<std::size_t>(col++)] = f;
    plan.folders[static_cast<std::size_t>(f)].name = cat("cd", std::to_string(f + 1));
  }
  if (o.folders >= 2) plan.folders.back().upperCase = true;

  for (int c = 0; c < o.cols; ++c) {
    for (int r = 0; r < o.rows; ++r) {
      const std::string mesh = offsetMesh(o.series, southWest, c, r);
      if (mesh.empty()) {
        error = cat("a grid of ", std::to_string(o.cols), " x ", std::to_string(o.rows), " sheets from ", southWest,
                    " leaves the range of mesh codes");
        return false;
      }
      const auto named = sampleNames.find(mesh);
      const SPlaceName made = placeName(std::stoull(mesh) * 2 + static_cast<std::uint64_t>(o.series), false);
      SSheet s = makeSheet(o.series, mesh, named != sampleNames.end() ? named->second.c_str() : made.nameUtf8.c_str(),
                           named != sampleNames.end() ? sampleReadings[mesh].c_str() : made.readingUtf8.c_str(),
                           o.pixelMetres);
      varyFrameCorners(s);
      if (s.width > kMaxImageSide || s.height > kMaxImageSide || s.x1 - s.x0 < kMinFrameSide ||
          s.y1 - s.y0 < kMinFrameSide) {
        error = cat("pixels of ", std::to_string(s.pixelMetres), " m make sheets of ", std::to_string(s.width), " x ",
                    std::to_string(s.height), " pixels");
        return false;
      }
      plan.folders[static_cast<std::size_t>(folderOfCol[static_cast<std::size_t>(c)])].sheets.push_back(std::move(s));
      ++plan.distinctSheets;
    }
  }
  if (o.duplicate) {
    // The sheet of folder 1's easternmost column in the middle row, next to folder 2's block.
    const auto& first = plan.folders[0].sheets;
    const SSheet copy = first[first.size() - static_cast<std::size_t>(o.rows) + static_cast<std::size_t>(o.rows / 2)];
    plan.duplicateMesh = copy.mesh;
    plan.folders[1].sheets.push_back(copy);
  }
  for (SCollectionFolder& f : plan.folders) {
    std::sort(f.sheets.begin(), f.sheets.end(), [](const SSheet& a, const SSheet& b) { return a.mesh < b.mesh; });
    std::set<std::string> codes;
    for (const SSheet& s : f.sheets) codes.insert(s.area);
    for (const std::string& code : codes) {
      const auto named = areaNames.find(code);
      f.areas.push_back({code, named != areaNames.end() ? named->second : placeName(std::stoull(code), true).nameUtf8});
    }
  }
  return true;
}

bool checkCollection(const std::filesystem::path& root, std::vector<std::string>& faults, SCollectionSummary& summary) {
  namespace fs = std::filesystem;
  const std::size_t faultsBefore = faults.size();
  summary = {};
  auto fault = [&](const std::string& where, const std::string& what) { faults.push_back(where + ": " + what); };
  std::vector<fs::path> folders;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(root, ec))
    if (e.is_directory(ec)) folders.push_back(e.path());
  if (ec || folders.empty()) {
    fault(root.string(), "no map data folders");
    return false;
  }
  std::sort(folders.begin(), folders.end(), folderOrder);
  summary.folders = folders.size();

  int seriesColumns = 0;
  ESeries series = ESeries::Map25000;
  std::vector<SFoundSheet> found;
  std::map<std::string, int> areaFolders;  // area code: folders listing it
  for (std::size_t f = 0; f < folders.size(); ++f) {
    const fs::path& dir = folders[f];
    const auto kanriPath = platform::findNoCase(dir, "kanri.csv");
    const auto indexPath = platform::findNoCase(dir, "index.csv");
    if (!kanriPath || !indexPath) {
      fault(dir.string(), "no index.csv or kanri.csv");
      continue;
    }
    // A folder copied from one disc has its names all in one case.
    const std::string kanriName = kanriPath->filename().string();
    const bool upper = kanriName == "KANRI.CSV";
    if (!upper && kanriName != "kanri.csv") fault(kanriPath->string(), "name in mixed case");
    if (upper) summary.upperCaseFolders.push_back(dir.filename().string());
    const auto caseName = [&](const std::string& lower) { return upper ? upperAscii(lower) : lower; };
    if (indexPath->filename().string() != caseName("index.csv"))
      fault(indexPath->string(), "name not in the case of " + kanriName);

    const std::string indexText = readFileBytes(*indexPath);
    checkCatalogueBytes(indexPath->string(), indexText, faults);
    std::set<std::string> areas, areasWithSheets;
    for (const std::string& line : catalogueLines(indexText)) {
      const auto cols = catalogueColumns(line);
      if (cols.size() != 2 || cols[0].size() != 4 || cols[1].empty() || !areas.insert(cols[0]).second)
        fault(indexPath->string(), "bad or repeated area line " + line);
    }
    for (const std::string& a : areas) ++areaFolders[a];

    const std::string kanriText = readFileBytes(*kanriPath);
    checkCatalogueBytes(kanriPath->string(), kanriText, faults);
    const auto lines = catalogueLines(kanriText);
    if (lines.empty()) {
      fault(kanriPath->string(), "empty");
      continue;
    }
    const int columns = static_cast<int>(catalogueColumns(lines[0]).size());
    if (columns != kanriColumns(ESeries::Map25000) && columns != kanriColumns(ESeries::Map50000)) {
      fault(kanriPath->string(), cat("header of ", std::to_string(columns), " columns"));
      continue;
    }
    if (seriesColumns == 0) {
      seriesColumns = columns;
      series = columns == kanriColumns(ESeries::Map25000) ? ESeries::Map25000 : ESeries::Map50000;
    } else if (columns != seriesColumns) {
      fault(kanriPath->string(), "of another series than the first folder");
      continue;
    }
    const SLayerBits bits = layerBits(series);
    const int first = series == ESeries::Map25000 ? 12 : 11;  // first corner column
    std::string previous;
    for (std::size_t n = 1; n < lines.size(); ++n) {
      const std::string at = kanriPath->string() + " line " + std::to_string(n + 1);
      const auto cols = catalogueColumns(lines[n]);
      if (static_cast<int>(cols.size()) != columns) {
        fault(at, std::to_string(cols.size()) + " columns");
        continue;
      }
      const std::string& mesh = cols[0];
      if (!validMesh(series, mesh) || mesh <= previous || !areas.count(mesh.substr(0, 4))) {
        fault(at, "mesh code " + mesh + " out of order, of an area not in index.csv or off the grid");
        continue;
      }
      previous = mesh;
      areasWithSheets.insert(mesh.substr(0, 4));
      if (std::count(cols[3].begin(), cols[3].end(), '-') != (series == ESeries::Map25000 ? 4 : 3))
        fault(at, "sheet code " + cols[3]);
      auto num = [&](int c) { return std::atoi(cols[static_cast<std::size_t>(c)].c_str()); };
      SFoundSheet s;
      s.folder = f;
      s.mesh = mesh;
      s.row = lines[n];
      const SSheet want = makeSheet(series, mesh, "", "");
      s.groundWidthM = (want.groundNorthM + want.groundSouthM) / 2;
      s.groundHeightM = want.groundHeightM;
      const int wantCorners[4][2] = {{want.northSec, want.westSec}, {want.southSec, want.westSec},
                                     {want.southSec, want.eastSec}, {want.northSec, want.eastSec}};
      for (int k = 0; k < 4; ++k) {
        const int b = first + k * 6;
        s.corners[k][0] = num(b) * 3600 + num(b + 1) * 60 + num(b + 2);
        s.corners[k][1] = num(b + 3) * 3600 + num(b + 4) * 60 + num(b + 5);
        if (s.corners[k][0] != wantCorners[k][0] || s.corners[k][1] != wantCorners[k][1])
          fault(at, cat("corner ", std::to_string(k + 1), " is not the mesh code's"));
      }
      const int px = first + 24 + 8;
      s.x0 = num(px);
      s.y0 = num(px + 1);
      s.x1 = num(px + 4);
      s.y1 = num(px + 5);
      if (num(px + 2) != s.x0 || num(px + 3) != s.y1 || num(px + 6) != s.x1 || num(px + 7) != s.y0)
        fault(at, "corner pixels do not form a rectangle");
      if (num(first + 24 + 4) != s.x1 - s.x0 || num(first + 24 + 5) != s.y1 - s.y0)
        fault(at, "frame size in pixels does not match the corner pixels");
      const int width = num(px + 8), height = num(px + 9);

      const std::string tifName = caseName(mesh + ".tif");
      const auto tif = platform::resolveNoCase(dir, mesh.substr(0, 4) + "/" + tifName);
      if (!tif) {
        fault(at, cat("no image ", mesh.substr(0, 4), "/", tifName));
        continue;
      }
      s.tif = *tif;
      if (tif->filename().string() != tifName) fault(tif->string(), "name not in the case of " + kanriName);
      SRaster raster;
      std::string error;
      if (!readSheetTiff(*tif, raster, error)) {
        fault(at, error);
        continue;
      }
      if (raster.photometric != PHOTOMETRIC_PALETTE || raster.compression != COMPRESSION_LZW)
        fault(tif->string(), "not an LZW palette image");
      if (raster.width != width || raster.height != height) {
        fault(tif->string(), std::to_string(raster.width) + " x " + std::to_string(raster.height) +
                                 " pixels where kanri.csv says " + std::to_string(width) + " x " + std::to_string(height));
        continue;
      }
      if (s.x0 < 2 || s.y0 < 2 || s.x1 + 2 > raster.width || s.y1 + 2 > raster.height || s.x1 - s.x0 < 2 ||
          s.y1 - s.y0 < 2) {
        fault(tif->string(), "frame outside the image");
        continue;
      }
      auto at2 = [&](int x, int y) {
        return raster.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(raster.width) +
                             static_cast<std::size_t>(x)];
      };
      // The frame lines lie just outside the catalogue's frame, two pixels wide, and nothing
      // else is drawn outside them.
      std::size_t marginInk = 0;
      for (int y = 0; y < raster.height; ++y)
        for (int x = 0; x < raster.width; ++x)
          if ((x < s.x0 - 2 || x > s.x1 + 1 || y < s.y0 - 2 || y > s.y1 + 1) && at2(x, y) != 0) ++marginInk;
      if (marginInk) fault(tif->string(), std::to_string(marginInk) + " inked pixels in the margin");
      bool lines2 = true, innerAllLine[4] = {true, true, true, true};
      for (int y = s.y0; y < s.y1; ++y) {
        lines2 = lines2 && at2(s.x0 - 1, y) == bits.text && at2(s.x0 - 2, y) == bits.text &&
                 at2(s.x1, y) == bits.text && at2(s.x1 + 1, y) == bits.text;
        innerAllLine[0] = innerAllLine[0] && at2(s.x0, y) == bits.text;
        innerAllLine[1] = innerAllLine[1] && at2(s.x1 - 1, y) == bits.text;
      }
      for (int x = s.x0; x < s.x1; ++x) {
        lines2 = lines2 && at2(x, s.y0 - 1) == bits.text && at2(x, s.y0 - 2) == bits.text &&
                 at2(x, s.y1) == bits.text && at2(x, s.y1 + 1) == bits.text;
        innerAllLine[2] = innerAllLine[2] && at2(x, s.y0) == bits.text;
        innerAllLine[3] = innerAllLine[3] && at2(x, s.y1 - 1) == bits.text;
      }
      if (!lines2 || innerAllLine[0] || innerAllLine[1] || innerAllLine[2] || innerAllLine[3])
        fault(tif->string(), "frame lines not at the corner pixels of kanri.csv");
      for (int y = s.y0; y < s.y1; ++y) {
        s.west.push_back(at2(s.x0, y));
        s.east.push_back(at2(s.x1 - 1, y));
        s.eastInner.push_back(at2(s.x1 - 2, y));
      }
      for (int x = s.x0; x < s.x1; ++x) {
        s.north.push_back(at2(x, s.y0));
        s.south.push_back(at2(x, s.y1 - 1));
        s.southInner.push_back(at2(x, s.y1 - 2));
      }
      found.push_back(std::move(s));
    }
    for (const std::string& a : areas)
      if (!areasWithSheets.count(a)) fault(indexPath->string(), "area " + a + " without sheets");
  }
  for (const auto& [area, count] : areaFolders) summary.sharedAreas += count > 1 ? 1 : 0;

  // A sheet found in more than one folder is the same sheet: the same row and the same image.
  std::map<std::string, std::size_t> firstOf;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const auto [it, fresh] = firstOf.emplace(found[i].mesh, i);
    if (fresh) continue;
    ++summary.sheetsTwice;
    const SFoundSheet& a = found[it->second];
    const SFoundSheet& b = found[i];
    if (a.row != b.row) fault(b.tif.string(), cat("catalogue row differs from the one in ", folders[a.folder].string()));
    if (readFileBytes(a.tif) != readFileBytes(b.tif)) fault(b.tif.string(), cat("image differs from ", a.tif.string()));
  }
  summary.sheets = firstOf.size();

  // All sheets share one pixel size: the median one, give or take the frames' few pixels.
  std::vector<double> metres;
  for (const SFoundSheet& s : found) metres.push_back(s.groundWidthM / (s.x1 - s.x0));
  if (!metres.empty()) {
    std::nth_element(metres.begin(), metres.begin() + static_cast<std::ptrdiff_t>(metres.size() / 2), metres.end());
    const double p = metres[metres.size() / 2];
    for (const SFoundSheet& s : found)
      if (std::abs((s.x1 - s.x0) - s.groundWidthM / p) > 7 || std::abs((s.y1 - s.y0) - s.groundHeightM / p) > 7)
        fault(s.tif.string(), cat("frame of ", std::to_string(s.x1 - s.x0), " x ", std::to_string(s.y1 - s.y0),
                                      " pixels does not match the pixel size of the others"));
  }

  // Neighbours meet exactly: the east edge of a sheet is the west edge of the next, the south
  // edge the north edge of the one below, whichever folders they are in; and the ground goes
  // on across the border.
  for (const auto& [mesh, i] : firstOf) {
    const SFoundSheet& a = found[i];
    for (int east = 0; east < 2; ++east) {
      const auto other = firstOf.find(offsetMesh(series, mesh, east ? 1 : 0, east ? 0 : -1));
      if (other == firstOf.end()) continue;
      const SFoundSheet& b = found[other->second];
      ++summary.borders;
      summary.crossFolderBorders += a.folder != b.folder ? 1 : 0;
      const int(*ca)[2] = a.corners;
      const int(*cb)[2] = b.corners;
      const bool meet = east ? ca[3][0] == cb[0][0] && ca[3][1] == cb[0][1] && ca[2][0] == cb[1][0] && ca[2][1] == cb[1][1]
                             : ca[1][0] == cb[0][0] && ca[1][1] == cb[0][1] && ca[2][0] == cb[3][0] && ca[2][1] == cb[3][1];
      const std::string where = a.tif.string() + " / " + b.tif.string();
      if (!meet) fault(where, east ? "east edge is not the west edge of the next" : "south edge is not the next's north edge");
      // The last pixels of a sheet and the first of the next lie as far apart as two pixels
      // next to each other inside a sheet, so they agree about as well; lines running along the
      // border and coarse pixels make it less, misplaced ground far less.
      const auto& from = east ? a.east : a.south;
      const double across = stripAgreement(from, east ? b.west : b.north);
      const double inside = stripAgreement(from, east ? a.eastInner : a.southInner);
      summary.borderAgreement = std::min(summary.borderAgreement, across);
      if (across < 0.5 * inside)
        fault(where, cat("ground does not go on across the border (", std::to_string(across),
                         " of its inked pixels agree, ", std::to_string(inside), " next to them)"));
    }
  }
  if (found.empty()) fault(root.string(), "no sheets");
  return faults.size() == faultsBefore;
}

}  // namespace mapgen
