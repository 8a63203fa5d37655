#pragma once
// Writing and re-reading the files of the sample map data.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "SampleSheets.h"

namespace mapgen {

/// index.csv and kanri.csv of one series as CP932 bytes ("\r\n" line ends).
struct SCatalogueTexts {
  std::string index, kanri;
};
[[nodiscard]] SCatalogueTexts catalogueTexts(ESeries series, const std::vector<SSheet>& sheets);
/// The same with the areas of index.csv given.
[[nodiscard]] SCatalogueTexts catalogueTexts(ESeries series, const std::vector<SSheet>& sheets,
                                             const std::vector<SArea>& areas);

/// Lines of a catalogue text ending in CR LF, and the columns of one CP932 line (the second byte
/// of a double-byte character is never a separator).
[[nodiscard]] std::vector<std::string> catalogueLines(const std::string& text);
[[nodiscard]] std::vector<std::string> catalogueColumns(const std::string& line);
/// Appends a fault for a catalogue file that does not end with CR LF, holds a NUL or another line
/// end, or is not CP932.
void checkCatalogueBytes(const std::string& where, const std::string& text, std::vector<std::string>& faults);
/// Reads a whole file of at most 64 MiB; empty when it cannot.
[[nodiscard]] std::string readFileBytes(const std::filesystem::path& path);

/// Columns of a kanri.csv row of the series (59 or 58).
[[nodiscard]] int kanriColumns(ESeries series);

[[nodiscard]] bool writeBytes(const std::filesystem::path& path, const std::string& bytes, std::string& error);
[[nodiscard]] bool writeSheetTiff(const std::filesystem::path& path, const SSheet& sheet,
                                  const std::vector<std::uint8_t>& pixels, std::string& error);

/// 8-bit pixel values of a palette TIFF, top row first.
struct SRaster {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
  std::uint16_t compression = 0, photometric = 0, bits = 0;
};
[[nodiscard]] bool readSheetTiff(const std::filesystem::path& path, SRaster& out, std::string& error);

/// Re-reads a generated sample directory (holding map25000/ and map50000/) and checks it,
/// both series or only the one given. Every fault found is appended to `faults`; true when
/// there is none. `borderAgreement` receives the lowest share of equal pixels found across a
/// border between neighbouring sheets.
bool checkSampleData(const std::filesystem::path& root, std::vector<std::string>& faults, int onlySeries = 0,
                     double* borderAgreement = nullptr);

/// Writes a PNG of a sheet in the default colours, shrunk by `shrink` (area average); a crop
/// rectangle of the sheet (x, y, width, height) when `crop` holds a positive width.
struct SCrop {
  int x = 0, y = 0, width = 0, height = 0;
};
[[nodiscard]] bool writePreview(const std::filesystem::path& tif, ESeries series, int shrink, SCrop crop,
                                const std::filesystem::path& png, std::string& error);

}  // namespace mapgen
