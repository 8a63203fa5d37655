#pragma once
// A small map data tree written by code: "index.csv", "kanri.csv" and sheet images.
#include <tiffio.h>

#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "platform/Codepage.h"

namespace apptest {

inline std::string sjis(const char* utf8) { return platform::cp932::fromUtf8(utf8).text; }

struct SSheetRow {
  std::string mesh;
  const char* name;
  const char* second;
  int latS, lonW;  // south edge and west edge in whole seconds of arc (Tokyo)
};

/// A 1:25,000 catalogue row with 59 columns (1:50,000: 58, with the extra number column).
inline std::string kanriRow(const SSheetRow& r, int series) {
  auto dms = [](int s) {
    return std::to_string(s / 3600) + "," + std::to_string(s / 60 % 60) + "," + std::to_string(s % 60);
  };
  const int dLat = series == 1 ? 300 : 600, dLon = series == 1 ? 450 : 900;
  std::string row = r.mesh + "," + sjis(r.name) + "," + sjis(r.second) + "," +
                    (series == 1 ? "NI-54-25-1-1" : "NI-54-25-1") + ",1,";
  if (series == 2) row += "7,";
  const int histories = series == 1 ? 6 : 4;
  for (int i = 0; i < histories; ++i) row.append("H").append(std::to_string(i)).append(",");
  row += "2001/01/01,";
  const int n = r.latS + dLat, s = r.latS, w = r.lonW, e = r.lonW + dLon;
  row += dms(n) + "," + dms(w) + "," + dms(s) + "," + dms(w) + "," + dms(s) + "," + dms(e) + "," + dms(n) + "," +
         dms(e) + ",";
  for (int i = 0; i < 8; ++i) row += "0,";
  row += "0,0,0,29,39,29,39,0,";
  for (int i = 0; i < 7; ++i) row += i == 6 ? "0" : "0,";
  return row + "\r\n";
}

/// A 40 x 30 palette TIFF.
inline void writeTiff(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 40);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 30);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 10);
  std::vector<uint16_t> map(256, 0);
  TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
  std::vector<uint8_t> row(40, 1);
  for (uint32_t y = 0; y < 30; ++y) TIFFWriteScanline(t, row.data(), y, 0);
  TIFFClose(t);
}

/// Area 5339 "東京" with sheets 533900, 533901 and 533910 (each with an image); a second area 5340
/// without sheets. Returns the path of "index.csv".
inline std::filesystem::path writeMapTree(const std::filesystem::path& dir, int series = 1) {
  const int s0 = 35 * 3600 + 20 * 60, w0 = 139 * 3600;
  const int dLat = series == 1 ? 300 : 600, dLon = series == 1 ? 450 : 900;
  std::string kanri = "header\r\n";
  kanri += kanriRow({"533900", "東京西部", "とうきょうせいぶ", s0, w0}, series);
  kanri += kanriRow({"533901", "東京東部", "とうきょうとうぶ", s0, w0 + dLon}, series);
  kanri += kanriRow({"533910", "大宮", "おおみや", s0 + dLat, w0}, series);
  testutil::writeFile(dir / "kanri.csv", kanri);
  testutil::writeFile(dir / "index.csv", "5339," + sjis("東京") + "\r\n5340," + sjis("宇都宮") + "\r\n");
  for (const char* mesh : {"533900", "533901", "533910"}) writeTiff(dir / "5339" / (std::string(mesh) + ".tif"));
  return dir / "index.csv";
}

}  // namespace apptest
