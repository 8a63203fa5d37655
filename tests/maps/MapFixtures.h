#pragma once
// Catalogue rows and TIFF files for the map library tests, made by code.
#include <tiffio.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace mapfix {

/// Fields of one catalogue row; the corners are whole seconds in the Tokyo datum.
struct SRowFields {
  std::string mesh;
  std::string name = "name";
  std::string sheetCode = "NI-54-25-8-1";
  int north = 0, west = 0, south = 0, east = 0;  ///< total seconds
};

inline std::string dmsColumns(int totalSeconds) {
  return std::to_string(totalSeconds / 3600) + "," + std::to_string(totalSeconds / 60 % 60) + "," +
         std::to_string(totalSeconds % 60);
}

/// A 1:25,000 row (59 columns) with corner pixels (100,120) and (4700,3820).
inline std::string row25000(const SRowFields& r) {
  std::string s = r.mesh + "," + r.name + ",second," + r.sheetCode + ",no1,h1,h2,h3,h4,h5,h6,pub";
  const int lat[4] = {r.north, r.south, r.south, r.north};
  const int lon[4] = {r.west, r.west, r.east, r.east};
  for (int c = 0; c < 4; ++c) s.append(",").append(dmsColumns(lat[c])).append(",").append(dmsColumns(lon[c]));
  for (int i = 0; i < 8; ++i) s.append(",").append(std::to_string(i + 1));
  s += ",100,120,100,3820,4700,3820,4700,120";
  for (int i = 0; i < 7; ++i) s.append(",").append(std::to_string(-(i + 1)));
  return s;
}

/// A mesh code's frame in total seconds of the Tokyo datum: 5' x 7'30" per 1:25,000 sheet.
inline SRowFields meshRow(const std::string& mesh) {
  const int a = std::stoi(mesh.substr(0, 2)), b = std::stoi(mesh.substr(2, 2));
  const int row = mesh[4] - '0', col = mesh[5] - '0';
  SRowFields r;
  r.mesh = mesh;
  r.south = a * 2400 + row * 300;  // a x 40' + row x 5'
  r.north = r.south + 300;
  r.west = (b + 100) * 3600 + col * 450;
  r.east = r.west + 450;
  return r;
}

inline const char* const kHeader25000 = "mesh,name,second,code,no,a,b,c,d,e,f,pub";

/// A libtiff-written strip image. `pixel(x, y, sample)` gives each byte.
struct STiffLayout {
  std::uint32_t width = 8, height = 8;
  std::uint16_t samples = 1, bits = 8, photometric = PHOTOMETRIC_PALETTE;
  std::uint32_t rowsPerStrip = 3;
  std::uint16_t compression = COMPRESSION_NONE;
  std::vector<std::uint16_t> red, green, blue;  ///< colour map when palette (256 entries each)
};

inline std::uint8_t patternByte(std::uint32_t x, std::uint32_t y, std::uint32_t s) {
  return static_cast<std::uint8_t>(x * 7 + y * 13 + s * 101);
}

/// `predictor` is PREDICTOR_HORIZONTAL for LZW or Deflate with horizontal differencing.
inline bool writeTiff(const std::filesystem::path& path, const STiffLayout& t,
                      const std::function<std::uint8_t(std::uint32_t, std::uint32_t, std::uint32_t)>& pixel = patternByte,
                      std::uint16_t predictor = PREDICTOR_NONE) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, t.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, t.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, t.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, t.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, t.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, t.compression);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, t.rowsPerStrip);
  if (predictor != PREDICTOR_NONE) TIFFSetField(tif, TIFFTAG_PREDICTOR, predictor);
  if (t.photometric == PHOTOMETRIC_PALETTE) {
    std::vector<std::uint16_t> r = t.red, g = t.green, b = t.blue;
    const std::size_t n = std::size_t{1} << t.bits;
    r.resize(n);
    g.resize(n);
    b.resize(n);
    TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  }
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
  bool ok = true;
  for (std::uint32_t y = 0; y < t.height && ok; ++y) {
    if (t.bits == 8) {
      for (std::uint32_t x = 0; x < t.width; ++x)
        for (std::uint32_t s = 0; s < t.samples; ++s) line[x * t.samples + s] = pixel(x, y, s);
    } else {
      for (std::size_t i = 0; i < line.size(); ++i) line[i] = patternByte(static_cast<std::uint32_t>(i), y, 0);
    }
    ok = TIFFWriteScanline(tif, line.data(), y, 0) >= 0;
  }
  TIFFClose(tif);
  return ok;
}

/// One IFD entry of a hand-made TIFF: SHORT (3) or LONG (4) values.
struct SIfdEntry {
  std::uint16_t tag;
  std::uint16_t type;
  std::vector<std::uint32_t> values;
};

/// A little-endian TIFF with `data` at offset 8 and the given entries; the values of tag 273
/// (strip offsets) count from the start of `data`.
inline std::string handTiff(std::vector<SIfdEntry> entries, const std::string& data) {
  std::string out = "II*";
  out.push_back('\0');
  const auto u16 = [&](std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xff));
    s.push_back(static_cast<char>((v >> 8) & 0xff));
  };
  const auto u32 = [&](std::string& s, std::uint32_t v) {
    u16(s, v & 0xffff);
    u16(s, v >> 16);
  };
  std::string extra;  // arrays that do not fit an entry
  const std::uint32_t dataStart = 8;
  std::uint32_t extraStart = dataStart + static_cast<std::uint32_t>(data.size());
  if (extraStart % 2) ++extraStart;
  std::string ifd;
  u16(ifd, static_cast<std::uint32_t>(entries.size()));
  for (SIfdEntry& e : entries) {
    if (e.tag == 273)
      for (auto& v : e.values) v += dataStart;
    const std::uint32_t size = (e.type == 3 ? 2u : 4u) * static_cast<std::uint32_t>(e.values.size());
    u16(ifd, e.tag);
    u16(ifd, e.type);
    u32(ifd, static_cast<std::uint32_t>(e.values.size()));
    std::string bytes;
    for (std::uint32_t v : e.values) (e.type == 3) ? u16(bytes, v) : u32(bytes, v);
    if (size <= 4) {
      bytes.resize(4, '\0');
      ifd += bytes;
    } else {
      u32(ifd, extraStart + static_cast<std::uint32_t>(extra.size()));
      extra += bytes;
    }
  }
  u32(ifd, 0);
  std::uint32_t ifdStart = extraStart + static_cast<std::uint32_t>(extra.size());
  u32(out, ifdStart);
  out += data;
  if (out.size() < extraStart) out.push_back('\0');
  out += extra;
  out += ifd;
  return out;
}

}  // namespace mapfix
