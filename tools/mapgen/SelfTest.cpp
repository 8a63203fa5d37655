#include "SelfTest.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

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

}  // namespace

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
