#include "SelfTest.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Collection.h"
#include "SampleFiles.h"
#include "platform/FileLookup.h"

namespace mapgen {
namespace {

std::string slurp(const std::filesystem::path& p) {
  return platform::readWholeFile(p, std::size_t{64} << 20).value_or(std::string());
}

void spit(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size()))
    s.replace(pos, from.size(), to);
  return s;
}

/// The line of kanri.csv that starts with `mesh`, without its line end.
std::pair<std::size_t, std::size_t> rowOf(const std::string& text, const std::string& mesh) {
  const std::size_t found = text.find("\r\n" + mesh + ",");
  if (found == std::string::npos) return {0, 0};
  const std::size_t start = found + 2;
  return {start, text.find("\r\n", start) - start};
}

/// Catalogue rows as columns, written back with CR LF line ends.
struct SKanri {
  std::filesystem::path path;
  std::vector<std::vector<std::string>> rows;  // header first
  explicit SKanri(std::filesystem::path p) : path(std::move(p)) {
    for (const std::string& line : catalogueLines(slurp(path))) rows.push_back(catalogueColumns(line));
  }
  /// Column of the first frame corner's pixel x (the corner pixels follow in file order).
  [[nodiscard]] std::size_t pixelColumn() const { return rows.empty() || rows[0].size() == 59 ? 44 : 43; }
  void save() const {
    std::string text;
    for (const auto& cols : rows) {
      for (std::size_t c = 0; c < cols.size(); ++c) text.append(c ? "," : "").append(cols[c]);
      text += "\r\n";
    }
    spit(path, text);
  }
};

std::vector<std::filesystem::path> sortedFolders(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(root, ec))
    if (e.is_directory(ec)) out.push_back(e.path());
  std::sort(out.begin(), out.end());  // cd1 .. cd9 are enough here
  return out;
}

}  // namespace

int runCollectionCheckSelfTest(const std::filesystem::path& collection, const std::filesystem::path& scratch) {
  namespace fs = std::filesystem;
  const fs::path dst = scratch / "collection";
  // What the spoilers work on, found in the untouched copy: the first folder's first sheet and
  // its image, the sheet found twice and the upper-case folder.
  fs::path first, firstKanri, firstIndex, firstTif, twiceTif, upperTif;
  std::string firstMesh;
  ESeries series = ESeries::Map25000;
  auto locate = [&] {
    const auto folders = sortedFolders(dst);
    if (folders.size() < 2) return false;
    first = folders.front();
    firstKanri = first / "kanri.csv";
    firstIndex = first / "index.csv";
    const SKanri k(firstKanri);
    if (k.rows.size() < 3) return false;
    firstMesh = k.rows[1][0];
    firstTif = first / firstMesh.substr(0, 4) / (firstMesh + ".tif");
    series = k.rows[0].size() == 59 ? ESeries::Map25000 : ESeries::Map50000;
    const SKanri second(platform::findNoCase(folders[1], "kanri.csv").value_or(fs::path()));
    for (std::size_t n = 1; n < second.rows.size(); ++n)
      for (std::size_t m = 1; m < k.rows.size(); ++m)
        if (second.rows[n][0] == k.rows[m][0])
          twiceTif = platform::resolveNoCase(folders[1], second.rows[n][0].substr(0, 4) + "/" + second.rows[n][0] + ".tif")
                         .value_or(fs::path());
    const SKanri upper(folders.back() / "KANRI.CSV");
    if (upper.rows.size() < 2 || twiceTif.empty()) return false;
    upperTif = folders.back() / upper.rows[1][0].substr(0, 4) / (upper.rows[1][0] + ".TIF");
    return true;
  };
  const struct {
    const char* name;
    std::function<void()> spoil;
    bool faulty;
  } kCases[] = {
      {"untouched copy", [] {}, false},
      {"frame one pixel east of its lines",
       [&] {
         SKanri k(firstKanri);
         auto& row = k.rows[1];
         const std::size_t px = k.pixelColumn();
         for (std::size_t c : {px, px + 2}) row[c] = std::to_string(std::stoi(row[c]) + 1);
         row[px - 4] = std::to_string(std::stoi(row[px - 4]) - 1);  // frame width in pixels
         k.save();
       },
       true},
      {"image size not the catalogue's",
       [&] {
         SKanri k(firstKanri);
         auto& width = k.rows[1][k.pixelColumn() + 8];
         width = std::to_string(std::stoi(width) + 1);
         k.save();
       },
       true},
      {"image missing", [&] { fs::remove(firstTif); }, true},
      {"rows out of order",
       [&] {
         SKanri k(firstKanri);
         std::swap(k.rows[1], k.rows[2]);
         k.save();
       },
       true},
      {"area of the sheets missing from index.csv",
       [&] { spit(firstIndex, replaceAll(slurp(firstIndex), firstMesh.substr(0, 4) + ",", "9999,")); }, true},
      {"sheet found twice with one pixel changed",
       [&] {
         SRaster r;
         std::string error;
         if (!readSheetTiff(twiceTif, r, error)) return;
         std::uint8_t& middle = r.pixels[r.pixels.size() / 2 + static_cast<std::size_t>(r.width) / 2];
         middle = static_cast<std::uint8_t>(middle ^ 0x40);
         SSheet sheet = makeSheet(series, twiceTif.stem().string(), "", "");
         sheet.width = r.width;
         sheet.height = r.height;
         if (!writeSheetTiff(twiceTif, sheet, r.pixels, error)) std::fprintf(stderr, "%s\n", error.c_str());
       },
       true},
      {"content drawn 40 pixels east of its place",
       [&] {
         const SKanri k(firstKanri);
         const auto& row = k.rows[1];
         const std::size_t px = k.pixelColumn();
         const int x0 = std::stoi(row[px]), y0 = std::stoi(row[px + 1]), x1 = std::stoi(row[px + 4]),
                   y1 = std::stoi(row[px + 5]);
         SRaster r;
         std::string error;
         if (!readSheetTiff(firstTif, r, error)) return;
         for (int y = y0; y < y1; ++y) {
           std::uint8_t* line = r.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(r.width);
           std::copy_backward(line + x0, line + x1 - 40, line + x1);
         }
         SSheet sheet = makeSheet(series, firstMesh, "", "");
         sheet.width = r.width;
         sheet.height = r.height;
         if (!writeSheetTiff(firstTif, sheet, r.pixels, error)) std::fprintf(stderr, "%s\n", error.c_str());
       },
       true},
      {"lower-case image in the upper-case folder",
       [&] {
         fs::path lower = upperTif;
         lower.replace_extension(".tif");
         fs::rename(upperTif, lower);
       },
       true},
  };
  int failures = 0;
  for (const auto& c : kCases) {
    std::error_code ec;
    fs::remove_all(dst, ec);
    fs::create_directories(scratch, ec);
    fs::copy(collection, dst, fs::copy_options::recursive, ec);
    if (ec || !locate()) {
      std::fprintf(stderr, "selftest: %s is no collection with a sheet found twice and an upper-case folder\n",
                   collection.string().c_str());
      return 1;
    }
    c.spoil();
    std::vector<std::string> faults;
    SCollectionSummary summary;
    const bool ok = checkCollection(dst, faults, summary);
    const bool pass = ok != c.faulty;
    std::printf("%s: %s (%zu faults%s%s)\n", pass ? "ok  " : "FAIL", c.name, faults.size(),
                faults.empty() ? "" : ", first: ", faults.empty() ? "" : faults.front().c_str());
    failures += pass ? 0 : 1;
  }
  std::error_code ec;
  fs::remove_all(dst, ec);
  return failures;
}

int runCheckSelfTest(const std::filesystem::path& sample, const std::filesystem::path& scratch) {
  namespace fs = std::filesystem;
  const fs::path src = sample / "map25000";
  const fs::path dst = scratch / "map25000";
  const fs::path kanri = dst / "kanri.csv";
  const struct {
    const char* name;
    std::function<void()> spoil;
    bool faulty;
  } kCases[] = {
      {"untouched copy", [] {}, false},
      {"LF line ends", [&] { spit(kanri, replaceAll(slurp(kanri), "\r\n", "\n")); }, true},
      {"last line without line end",
       [&] {
         std::string t = slurp(kanri);
         spit(kanri, t.substr(0, t.size() - 2));
       },
       true},
      {"a column missing",
       [&] {
         std::string t = slurp(kanri);
         const auto [at, len] = rowOf(t, "543846");
         spit(kanri, t.erase(t.rfind(',', at + len), at + len - t.rfind(',', at + len)));
       },
       true},
      {"byte that is not CP932",
       [&] {
         std::string t = slurp(dst / "index.csv");
         spit(dst / "index.csv", t.insert(5, "\x85\x20"));
       },
       true},
      {"rows out of order",
       [&] {
         std::string t = slurp(kanri);
         const auto a = rowOf(t, "543846"), b = rowOf(t, "543847");
         const std::string rowA = t.substr(a.first, a.second), rowB = t.substr(b.first, b.second);
         t.replace(b.first, b.second, rowA);
         t.replace(a.first, a.second, rowB);
         spit(kanri, t);
       },
       true},
      {"corner one second off",
       [&] { spit(kanri, replaceAll(slurp(kanri), ",36,20,0,138,45,0,", ",36,20,1,138,45,0,")); },
       true},
      {"corner pixels off the ground resolution",
       [&] { spit(kanri, replaceAll(slurp(kanri), ",48,24,48,3722,", ",48,24,48,3000,")); },
       true},
      {"truncated image",
       [&] {
         const std::string t = slurp(dst / "5438" / "543846.tif");
         spit(dst / "5438" / "543846.tif", t.substr(0, t.size() / 2));
       },
       true},
      {"content drawn 40 pixels east of its place",
       [&] {
         const fs::path tif = dst / "5438" / "543846.tif";
         const SSheet sheet = makeSheet(ESeries::Map25000, "543846", "", "");
         SRaster r;
         std::string error;
         if (!readSheetTiff(tif, r, error) || r.width != sheet.width) return;
         for (int y = sheet.y0; y < sheet.y1; ++y) {
           std::uint8_t* row = r.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(r.width);
           std::copy_backward(row + sheet.x0, row + sheet.x1 - 40, row + sheet.x1);
         }
         if (!writeSheetTiff(tif, sheet, r.pixels, error)) std::fprintf(stderr, "%s\n", error.c_str());
       },
       true},
      {"image of another sheet",
       [&] { fs::copy_file(dst / "5438" / "543857.tif", dst / "5438" / "543846.tif", fs::copy_options::overwrite_existing); },
       true},
  };
  int failures = 0;
  for (const auto& c : kCases) {
    std::error_code ec;
    fs::remove_all(dst, ec);
    fs::create_directories(scratch, ec);
    fs::copy(src, dst, fs::copy_options::recursive, ec);
    if (ec) {
      std::fprintf(stderr, "selftest: cannot copy %s: %s\n", src.string().c_str(), ec.message().c_str());
      return 1;
    }
    c.spoil();
    std::vector<std::string> faults;
    const bool ok = checkSampleData(scratch, faults, static_cast<int>(ESeries::Map25000));
    const bool pass = ok != c.faulty;
    std::printf("%s: %s (%zu faults%s%s)\n", pass ? "ok  " : "FAIL", c.name, faults.size(),
                faults.empty() ? "" : ", first: ", faults.empty() ? "" : faults.front().c_str());
    failures += pass ? 0 : 1;
  }
  std::error_code ec;
  fs::remove_all(dst, ec);
  return failures;
}

}  // namespace mapgen
