#include "SampleFiles.h"

#include "platform/FileLookup.h"

#include <tiffio.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "platform/Codepage.h"

namespace mapgen {
namespace {

constexpr int kRowsPerStrip = 16;

std::string dmsColumns(int sec) {
  return std::to_string(sec / 3600) + "," + std::to_string(sec / 60 % 60) + "," + std::to_string(sec % 60);
}

/// Sheet code: 1:1,000,000 sheet, then the primary mesh within it, the 1:50,000 sheet within
/// that and, for 1:25,000, the quarter.
std::string sheetCode(const SSheet& s) {
  const int pq = std::stoi(s.mesh.substr(0, 2)), rs = std::stoi(s.mesh.substr(2, 2));
  const int latBand = pq * 40 / 60 / 4;  // 4-degree bands from the equator
  const char band = static_cast<char>('A' + latBand);
  const int zone = (100 + rs + 180) / 6 + 1;
  const int rowInMillion = 5 - (pq - latBand * 6);  // six 40' rows, counted from the north
  const int colInMillion = (100 + rs + 180) % 6;
  const int n200 = rowInMillion * 6 + colInMillion + 1;
  const int n50 = (3 - s.row / 2) * 4 + s.col / 2 + 1;
  std::string code = std::string("N") + band + "-" + std::to_string(zone) + "-" + std::to_string(n200) + "-" +
                     std::to_string(n50);
  if (s.series == ESeries::Map25000) code += "-" + std::to_string((1 - s.row % 2) * 2 + s.col % 2 + 1);
  return code;
}

/// Scan resolution: a pixel of the sheet on paper at its scale (254 for the series' own sizes).
double dotsPerInch(const SSheet& s) {
  const double denominator = s.series == ESeries::Map25000 ? 25000 : 50000;
  return 25.4 * denominator / (s.pixelMetres * 1000.0);
}

std::uint64_t sheetHash(const SSheet& s) { return static_cast<std::uint64_t>(std::stoll(s.mesh)) * 2654435761u; }

std::string era(int year) {  // Japanese era text of a Gregorian year
  if (year >= 1989) return "平成" + std::to_string(year - 1988) + "年";
  return "昭和" + std::to_string(year - 1925) + "年";
}

std::string kanriHeader(ESeries series) {
  std::string h = "２次メッシュコード,図名,図名よみ,地形図コード,号数,";
  if (series == ESeries::Map25000)
    h += "基本測量,改測,修正,部分修正,空中写真,現地測量,発行年月日";
  else
    h += "整理番号,測量,編集,修正,要部修正,発行年月日";
  for (const char* corner : {"左上", "左下", "右下", "右上"})
    for (const char* part : {"緯度度", "緯度分", "緯度秒", "経度度", "経度分", "経度秒"})
      h += std::string(",") + corner + part;
  for (const char* a : {"図郭北辺長", "図郭南辺長", "図郭東西辺長", "図郭南北辺長", "図郭幅画素", "図郭高画素",
                        "縮尺", "解像度"})
    h += std::string(",") + a;
  for (const char* corner : {"左上", "左下", "右下", "右上"}) h += std::string(",") + corner + "X," + corner + "Y";
  for (const char* b : {"画像幅", "画像高", "ビット数", "色数", "圧縮", "ストリップ行数", "予備"})
    h += std::string(",") + b;
  return h;
}

// Appends "," and each column. (GCC 12 at -O3 takes `"," + std::string` for an overlapping
// copy and warns with -Wrestrict.)
template <typename... Columns>
void addColumns(std::string& row, const Columns&... columns) {
  (row.append(",").append(columns), ...);
}

std::string kanriRow(const SSheet& s) {
  const std::uint64_t h = sheetHash(s);
  const int survey = 1968 + static_cast<int>(h % 9), revised = 1981 + static_cast<int>((h >> 8) % 6);
  const int updated = 1993 + static_cast<int>((h >> 16) % 3);
  std::string r = s.mesh + "," + s.nameUtf8 + "," + s.readingUtf8 + "," + sheetCode(s) + ",";
  const int n50 = (3 - s.row / 2) * 4 + s.col / 2 + 1;
  if (s.series == ESeries::Map25000) {
    r += std::to_string(n50) + "号-" + std::to_string((1 - s.row % 2) * 2 + s.col % 2 + 1) + ",";
    r += era(survey) + "," + era(revised) + "," + era(updated) + "," + era(updated + 2) + ",";
    r += era(updated - 1) + "撮影," + era(updated) + "調査,";
  } else {
    r += std::to_string(n50) + "号," + std::to_string(100 + n50 + static_cast<int>(h % 50)) + ",";
    r += era(survey) + "," + era(revised) + "," + era(updated) + "," + era(updated + 1) + ",";
  }
  r += era(updated + 3) + std::to_string(1 + (h >> 24) % 12) + "月1日";
  const std::pair<int, int> corners[4] = {
      {s.northSec, s.westSec}, {s.southSec, s.westSec}, {s.southSec, s.eastSec}, {s.northSec, s.eastSec}};
  for (auto [lat, lon] : corners) addColumns(r, dmsColumns(lat), dmsColumns(lon));
  const int denominator = s.series == ESeries::Map25000 ? 25000 : 50000;
  for (long a : {std::lround(s.groundNorthM), std::lround(s.groundSouthM),
                 std::lround((s.groundNorthM + s.groundSouthM) / 2), std::lround(s.groundHeightM),
                 static_cast<long>(s.x1 - s.x0), static_cast<long>(s.y1 - s.y0), static_cast<long>(denominator),
                 std::lround(dotsPerInch(s))})
    addColumns(r, std::to_string(a));
  const std::pair<int, int> pixels[4] = {{s.x0, s.y0}, {s.x0, s.y1}, {s.x1, s.y1}, {s.x1, s.y0}};
  for (auto [x, y] : pixels) addColumns(r, std::to_string(x), std::to_string(y));
  for (int b : {s.width, s.height, 8, 256, 5, kRowsPerStrip, 0}) addColumns(r, std::to_string(b));
  return r;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

/// Columns of a CP932 line; the second byte of a double-byte character is never a separator.
std::vector<std::string> splitColumns(const std::string& line) {
  std::vector<std::string> cols(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(line[i]);
    if (platform::cp932::isLeadByte(b) && i + 1 < line.size()) {
      cols.back() += line.substr(i, 2);
      ++i;
    } else if (line[i] == ',') {
      cols.emplace_back();
    } else {
      cols.back() += line[i];
    }
  }
  return cols;
}

std::string readAll(const std::filesystem::path& path) {
  return platform::readWholeFile(path, std::size_t{64} << 20).value_or(std::string());
}

struct STiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, STiffCloser>;

}  // namespace

int kanriColumns(ESeries series) { return series == ESeries::Map25000 ? 59 : 58; }

std::vector<std::string> catalogueLines(const std::string& text) { return splitLines(text); }
std::vector<std::string> catalogueColumns(const std::string& line) { return splitColumns(line); }
std::string readFileBytes(const std::filesystem::path& path) { return readAll(path); }

void checkCatalogueBytes(const std::string& where, const std::string& text, std::vector<std::string>& faults) {
  auto fault = [&](const std::string& what) { faults.push_back(where + ": " + what); };
  if (text.empty() || text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) fault("does not end with CR LF");
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool bareLf = text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
    const bool bareCr = text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n');
    if (text[i] == '\0' || bareLf || bareCr) {
      fault("NUL or line end other than CR LF at byte " + std::to_string(i));
      break;
    }
  }
  if (!platform::cp932::toUtf8(text).ok()) fault("not valid CP932");
}

SCatalogueTexts catalogueTexts(ESeries series, const std::vector<SSheet>& sheets) {
  return catalogueTexts(series, sheets, sampleAreas());
}

SCatalogueTexts catalogueTexts(ESeries series, const std::vector<SSheet>& sheets, const std::vector<SArea>& areas) {
  std::string index, kanri = kanriHeader(series) + "\r\n";
  for (const SArea& a : areas) index += a.code + "," + a.nameUtf8 + "\r\n";
  for (const SSheet& s : sheets) kanri += kanriRow(s) + "\r\n";
  return {platform::cp932::fromUtf8(index).text, platform::cp932::fromUtf8(kanri).text};
}

bool writeBytes(const std::filesystem::path& path, const std::string& bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) error = "cannot write " + path.string();
  return static_cast<bool>(out);
}

bool writeSheetTiff(const std::filesystem::path& path, const SSheet& sheet, const std::vector<std::uint8_t>& pixels,
                    std::string& error) {
  TiffPtr tif(TIFFOpen(path.string().c_str(), "w"));
  if (!tif) {
    error = "cannot create " + path.string();
    return false;
  }
  std::vector<std::uint16_t> red(256), green(256), blue(256);
  for (int v = 0; v < 256; ++v) {
    const std::uint32_t c = defaultColour(sheet.series, static_cast<std::uint8_t>(v));
    red[static_cast<std::size_t>(v)] = static_cast<std::uint16_t>(((c >> 16) & 0xFF) * 257);
    green[static_cast<std::size_t>(v)] = static_cast<std::uint16_t>(((c >> 8) & 0xFF) * 257);
    blue[static_cast<std::size_t>(v)] = static_cast<std::uint16_t>((c & 0xFF) * 257);
  }
  TIFF* t = tif.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(sheet.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(sheet.height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(dotsPerInch(sheet)));
  TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(dotsPerInch(sheet)));
  TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  const auto w = static_cast<std::size_t>(sheet.width);
  for (int r = 0; r < sheet.height; r += kRowsPerStrip) {
    const int n = std::min(kRowsPerStrip, sheet.height - r);
    auto* src = const_cast<std::uint8_t*>(pixels.data() + static_cast<std::size_t>(r) * w);
    if (TIFFWriteEncodedStrip(t, static_cast<std::uint32_t>(r / kRowsPerStrip), src,
                              static_cast<tmsize_t>(static_cast<std::size_t>(n) * w)) < 0) {
      error = "cannot write " + path.string();
      return false;
    }
  }
  return true;
}

bool readSheetTiff(const std::filesystem::path& path, SRaster& out, std::string& error) {
  TiffPtr tif(TIFFOpen(path.string().c_str(), "rm"));
  if (!tif) {
    error = "cannot open " + path.string();
    return false;
  }
  TIFF* t = tif.get();
  std::uint32_t w = 0, h = 0;
  std::uint16_t spp = 1;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &out.bits);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &out.compression);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &out.photometric);
  if (out.bits != 8 || spp != 1 || w == 0 || h == 0 || w > 20000 || h > 20000) {
    error = path.string() + ": not an 8-bit single-sample image of sane size";
    return false;
  }
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.pixels.assign(static_cast<std::size_t>(w) * h, 0);
  for (std::uint32_t row = 0; row < h; ++row) {
    if (TIFFReadScanline(t, out.pixels.data() + static_cast<std::size_t>(row) * w, row, 0) < 0) {
      error = path.string() + ": cannot decode row " + std::to_string(row);
      return false;
    }
  }
  return true;
}

bool checkSampleData(const std::filesystem::path& root, std::vector<std::string>& faults, int onlySeries,
                     double* borderAgreement) {
  const std::size_t faultsBefore = faults.size();
  double lowestAgreement = 1.0;
  auto fault = [&](const std::string& where, const std::string& what) { faults.push_back(where + ": " + what); };
  for (ESeries series : {ESeries::Map25000, ESeries::Map50000}) {
    if (onlySeries != 0 && onlySeries != static_cast<int>(series)) continue;
    const std::filesystem::path dir = root / (series == ESeries::Map25000 ? "map25000" : "map50000");
    const SLayerBits bits = layerBits(series);
    std::set<std::string> areas;
    std::map<std::string, SRaster> rasters;
    std::map<std::string, SSheet> sheets;
    for (const char* name : {"index.csv", "kanri.csv"}) {
      const std::filesystem::path path = dir / name;
      const std::string where = path.string();
      if (!std::filesystem::exists(path)) {
        fault(where, "missing");
        continue;
      }
      const std::string text = readAll(path);
      checkCatalogueBytes(where, text, faults);
      const auto lines = splitLines(text);
      if (std::string(name) == "index.csv") {
        for (const std::string& line : lines) {
          const auto cols = splitColumns(line);
          if (cols.size() != 2 || cols[0].size() != 4 || cols[1].empty()) fault(where, "bad area line " + line);
          areas.insert(cols[0]);
        }
        continue;
      }
      std::string previous;
      for (std::size_t n = 0; n < lines.size(); ++n) {
        const auto cols = splitColumns(lines[n]);
        const std::string at = where + " line " + std::to_string(n + 1);
        if (static_cast<int>(cols.size()) != kanriColumns(series)) {
          fault(at, std::to_string(cols.size()) + " columns");
          continue;
        }
        if (n == 0) continue;
        const std::string& mesh = cols[0];
        if (mesh.size() != 6 || !std::all_of(mesh.begin(), mesh.end(), [](char ch) { return ch >= '0' && ch <= '9'; }) ||
            mesh <= previous || !areas.count(mesh.substr(0, 4)) || mesh[4] > '7' ||
            mesh[5] > '7' || (series == ESeries::Map50000 && ((mesh[4] - '0') % 2 || (mesh[5] - '0') % 2))) {
          fault(at, "mesh code " + mesh + " out of order, of an unknown area or off the grid");
          continue;
        }
        previous = mesh;
        const auto hyphens = std::count(cols[3].begin(), cols[3].end(), '-');
        if (hyphens != (series == ESeries::Map25000 ? 4 : 3)) fault(at, "sheet code " + cols[3]);
        const SSheet want = makeSheet(series, mesh, "", "");
        const int first = series == ESeries::Map25000 ? 12 : 11;
        const std::pair<int, int> corners[4] = {{want.northSec, want.westSec}, {want.southSec, want.westSec},
                                                {want.southSec, want.eastSec}, {want.northSec, want.eastSec}};
        for (int k = 0; k < 4; ++k) {
          auto sec = [&](int c) {
            const int b = first + k * 6 + c;
            return std::atoi(cols[static_cast<std::size_t>(b)].c_str()) * 3600 +
                   std::atoi(cols[static_cast<std::size_t>(b + 1)].c_str()) * 60 +
                   std::atoi(cols[static_cast<std::size_t>(b + 2)].c_str());
          };
          if (sec(0) != corners[k].first || sec(3) != corners[k].second) fault(at, "corner " + std::to_string(k + 1));
        }
        const int px = first + 24 + 8;
        auto col = [&](int c) { return std::atoi(cols[static_cast<std::size_t>(px + c)].c_str()); };
        SSheet got = want;
        got.x0 = col(0);
        got.y0 = col(1);
        got.x1 = col(4);
        got.y1 = col(5);
        if (col(2) != got.x0 || col(3) != got.y1 || col(6) != got.x1 || col(7) != got.y0)
          fault(at, "corner pixels do not form a rectangle");
        const double metresX = (want.groundNorthM + want.groundSouthM) / 2 / (got.x1 - got.x0);
        const double metresY = want.groundHeightM / (got.y1 - got.y0);
        if (std::abs(metresX / want.pixelMetres - 1) > 0.01 || std::abs(metresY / want.pixelMetres - 1) > 0.01)
          fault(at, "corner pixels do not match the ground resolution");
        const std::filesystem::path tif = dir / mesh.substr(0, 4) / (mesh + ".tif");
        SRaster raster;
        std::string error;
        if (!readSheetTiff(tif, raster, error)) {
          fault(at, error);
          continue;
        }
        if (raster.photometric != PHOTOMETRIC_PALETTE || raster.compression != COMPRESSION_LZW)
          fault(tif.string(), "not an LZW palette image");
        if (got.x1 >= raster.width || got.y1 >= raster.height || got.x0 < 0 || got.y0 < 0) {
          fault(tif.string(), "frame outside the image");
          continue;
        }
        // Every sheet shows relief, roads and lettering; the margin stays blank.
        std::array<std::size_t, 8> seen{};
        std::size_t marginInk = 0;
        for (int y = 0; y < raster.height; ++y)
          for (int x = 0; x < raster.width; ++x) {
            const std::uint8_t v = raster.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(raster.width) +
                                                 static_cast<std::size_t>(x)];
            const bool inside = x >= got.x0 && x < got.x1 && y >= got.y0 && y < got.y1;
            const bool frameLine = x >= got.x0 - 2 && x <= got.x1 + 1 && y >= got.y0 - 2 && y <= got.y1 + 1;
            if (!inside && !frameLine && v != 0) ++marginInk;
            if (inside)
              for (int b = 0; v >> b; ++b) seen[static_cast<std::size_t>(b)] += (v >> b) & 1;
          }
        if (marginInk) fault(tif.string(), std::to_string(marginInk) + " inked pixels in the margin");
        for (std::uint8_t need : {bits.contour, bits.road, bits.text, bits.halo}) {
          const int b = static_cast<int>(std::log2(need));
          if (seen[static_cast<std::size_t>(b)] < 1000) fault(tif.string(), "hardly any pixels of layer bit " + std::to_string(b));
        }
        rasters[mesh] = std::move(raster);
        sheets[mesh] = got;
      }
    }
    if (sheets.size() < 9) fault(dir.string(), "fewer than 9 sheets");
    // Across every shared border the last row or column of one sheet and the first of the
    // next show neighbouring ground, so they agree almost everywhere.
    const int step = series == ESeries::Map25000 ? 1 : 2;
    for (const auto& [mesh, a] : sheets) {
      const SRaster& ra = rasters[mesh];
      for (int dir2 = 0; dir2 < 2; ++dir2) {
        int row = a.row, col = a.col, area = std::atoi(a.area.c_str());
        if (dir2 == 0) {
          col += step;
          if (col > 7) {
            col -= 8;
            area += 1;
          }
        } else {
          row -= step;
          if (row < 0) {
            row += 8;
            area -= 100;
          }
        }
        const std::string other = std::to_string(area) + std::to_string(row) + std::to_string(col);
        if (!sheets.count(other)) continue;
        const SSheet& b = sheets[other];
        const SRaster& rb = rasters[other];
        std::size_t same = 0, total = 0;
        auto at = [](const SRaster& r, int x, int y) {
          return r.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(r.width) + static_cast<std::size_t>(x)];
        };
        // A pixel counts as continued when the other side shows its value within one pixel
        // along the border (lines crossing it obliquely step sideways).
        if (dir2 == 0) {
          for (int y = a.y0; y < a.y1; ++y, ++total) {
            const int yb = y - a.y0 + b.y0;
            const std::uint8_t v = at(ra, a.x1 - 1, y);
            same += v == at(rb, b.x0, yb) || v == at(rb, b.x0, std::max(yb - 1, b.y0)) ||
                    v == at(rb, b.x0, std::min(yb + 1, b.y1 - 1));
          }
        } else {
          for (int x = a.x0; x < a.x1; ++x, ++total) {
            const int xb = b.x0 + static_cast<int>(static_cast<long>(x - a.x0) * (b.x1 - b.x0) / (a.x1 - a.x0));
            const std::uint8_t v = at(ra, x, a.y1 - 1);
            same += v == at(rb, xb, b.y0) || v == at(rb, std::max(xb - 1, b.x0), b.y0) ||
                    v == at(rb, std::min(xb + 1, b.x1 - 1), b.y0);
          }
        }
        if (total > 0) lowestAgreement = std::min(lowestAgreement, static_cast<double>(same) / static_cast<double>(total));
        if (total == 0 || same * 100 < total * 90)
          fault(mesh + "/" + other, "border agreement " + std::to_string(same) + " of " + std::to_string(total));
      }
    }
  }
  if (borderAgreement) *borderAgreement = lowestAgreement;
  return faults.size() == faultsBefore;
}

bool writePreview(const std::filesystem::path& tif, ESeries series, int shrink, SCrop crop,
                  const std::filesystem::path& png, std::string& error) {
  SRaster r;
  if (!readSheetTiff(tif, r, error)) return false;
  shrink = std::max(shrink, 1);
  if (crop.width <= 0) crop = {0, 0, r.width, r.height};
  crop.x = std::clamp(crop.x, 0, r.width - 1);
  crop.y = std::clamp(crop.y, 0, r.height - 1);
  crop.width = std::clamp(crop.width, 1, r.width - crop.x);
  crop.height = std::clamp(crop.height, 1, r.height - crop.y);
  const int w = std::max(crop.width / shrink, 1), h = std::max(crop.height / shrink, 1);
  QImage img(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < w; ++x) {
      int sr = 0, sg = 0, sb = 0;
      for (int dy = 0; dy < shrink; ++dy)
        for (int dx = 0; dx < shrink; ++dx) {
          const std::uint32_t c = defaultColour(
              series, r.pixels[static_cast<std::size_t>(crop.y + std::min(y * shrink + dy, crop.height - 1)) *
                                   static_cast<std::size_t>(r.width) +
                               static_cast<std::size_t>(crop.x + std::min(x * shrink + dx, crop.width - 1))]);
          sr += static_cast<int>((c >> 16) & 0xFF);
          sg += static_cast<int>((c >> 8) & 0xFF);
          sb += static_cast<int>(c & 0xFF);
        }
      const int n = shrink * shrink;
      line[x] = qRgb(sr / n, sg / n, sb / n);
    }
  }
  if (!img.save(QString::fromStdString(png.string()), "PNG")) {
    error = "cannot write " + png.string();
    return false;
  }
  return true;
}

}  // namespace mapgen
