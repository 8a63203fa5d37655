// vantoria-mapgen: writes the sample map data the build embeds as the default map.
//
// Output (below the directory given with --out):
//   map25000/  1:25,000 series: index.csv, kanri.csv (59 columns), 5438/*.tif, 5439/*.tif
//   map50000/  1:50,000 series: index.csv, kanri.csv (58 columns), 5438/*.tif, 5439/*.tif
// Areas (primary meshes, 40' x 1 degree, Tokyo datum): 5438 "朝霧" (36N-36N40', 138E-139E) and
// its eastern neighbour 5439 "白鷺" (139E-140E). Both series hold a 3 x 3 block of sheets across
// the border at 139E; every other slot of the two areas is empty.
//   1:25,000 (5' x 7'30", 2.5 m per pixel, about 4,580 x 3,750 pixels):
//     row 5: 543856 鷹ノ巣山, 543857 黒沢,   543950 東小野
//     row 4: 543846 大日向,   543847 湖北,   543940 霞野
//     row 3: 543836 柚ノ木,   543837 下河原, 543930 松葉台
//   1:50,000 (10' x 15', 5 m per pixel, named by the code of their south-west quarter):
//     row 6: 543864 白峰,   543866 鷹ノ巣, 543960 東原
//     row 4: 543844 大日向, 543846 湖城,   543940 霞野
//     row 2: 543824 柚木,   543826 河原田, 543920 松葉
// The ground is made up: terrain, a river with a lake on the area border, two smaller lakes,
// two national roads, a grid of local roads and paths, settlements among trees and made-up
// lettering, all computed from the geographic position so that they continue across sheets.
//
// Usage: vantoria-mapgen --out DIR [--stamp FILE]   write DIR/map25000 and DIR/map50000
//        vantoria-mapgen --check DIR                re-read and verify what was written
//        vantoria-mapgen --collection COLSxROWS --folders K --out DIR [--series 25000|50000]
//          [--south-west MESH] [--pixel-metres M] [--duplicate] [--stamp FILE]
//          (a grid of sheets of one series split into bands of columns over DIR/cd1 .. DIR/cdK, each
//          a whole map data folder, the last one in upper-case names; frame pixel corners vary by a
//          few pixels per sheet; --duplicate puts a sheet of cd1 next to cd2's block into cd2 too)
//        vantoria-mapgen --check-collection DIR     re-read and verify a collection
//        vantoria-mapgen --selftest-collection DIR SCRATCH  spoil copies of a collection and
//          expect --check-collection to object
//        vantoria-mapgen --selftest DIR SCRATCH     spoil copies of DIR and expect --check to object
//        vantoria-mapgen --preview SHEET.tif 25000|50000 SHRINK OUT.png [X Y W H]
//          (a PNG in the default colours, shrunk by SHRINK, optionally of a part of the sheet)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Collection.h"
#include "SampleFiles.h"
#include "SampleSheets.h"
#include "SelfTest.h"

namespace {

using namespace mapgen;

struct SJob {
  SSheet sheet;
  std::filesystem::path path;
};

/// Draws and writes every job's sheet, one sheet per thread at a time; each thread reuses its own
/// pixel buffer. Returns the number of threads, 0 when a sheet could not be written.
unsigned renderAll(const std::vector<SJob>& jobs) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex errorLock;
  std::string firstError;
  auto worker = [&] {
    std::vector<std::uint8_t> pixels;
    for (std::size_t i = next++; i < jobs.size() && !failed; i = next++) {
      renderSheet(jobs[i].sheet, pixels);
      std::string error;
      if (!writeSheetTiff(jobs[i].path, jobs[i].sheet, pixels, error)) {
        std::lock_guard lock(errorLock);
        if (!failed.exchange(true)) firstError = error;
      }
    }
  };
  const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), 4u));
  std::vector<std::thread> threads;
  for (unsigned k = 0; k < cores; ++k) threads.emplace_back(worker);
  for (auto& t : threads) t.join();
  if (failed) {
    std::fprintf(stderr, "vantoria-mapgen: %s\n", firstError.c_str());
    return 0;
  }
  return cores;
}

bool writeStamp(const std::filesystem::path& stamp) {
  std::string error;
  if (stamp.empty() || writeBytes(stamp, "done\n", error)) return true;
  std::fprintf(stderr, "vantoria-mapgen: %s\n", error.c_str());
  return false;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int generate(const std::filesystem::path& root, const std::filesystem::path& stamp) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<SJob> jobs;
  for (ESeries series : {ESeries::Map25000, ESeries::Map50000}) {
    const std::filesystem::path dir = root / (series == ESeries::Map25000 ? "map25000" : "map50000");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (const SArea& a : sampleAreas()) std::filesystem::create_directories(dir / a.code, ec);
    const std::vector<SSheet> sheets = sampleSheets(series);
    const SCatalogueTexts texts = catalogueTexts(series, sheets);
    std::string error;
    if (!writeBytes(dir / "index.csv", texts.index, error) || !writeBytes(dir / "kanri.csv", texts.kanri, error)) {
      std::fprintf(stderr, "vantoria-mapgen: %s\n", error.c_str());
      return 1;
    }
    for (const SSheet& s : sheets) jobs.push_back({s, dir / s.area / (s.mesh + ".tif")});
  }
  const unsigned cores = renderAll(jobs);
  if (cores == 0 || !writeStamp(stamp)) return 1;
  std::printf("vantoria-mapgen: %zu sheets in %.1f s (%u threads)\n", jobs.size(), secondsSince(start), cores);
  return 0;
}

int generateCollection(const SCollectionOptions& options, const std::filesystem::path& root,
                       const std::filesystem::path& stamp) {
  namespace fs = std::filesystem;
  const auto start = std::chrono::steady_clock::now();
  SCollectionPlan plan;
  std::string error;
  if (!planCollection(options, plan, error)) {
    std::fprintf(stderr, "vantoria-mapgen: %s\n", error.c_str());
    return 2;
  }
  std::vector<SJob> jobs;
  std::vector<std::pair<fs::path, fs::path>> copies;  // the duplicate: drawn once, copied after
  std::size_t files = 0;
  for (const SCollectionFolder& f : plan.folders) {
    const fs::path dir = root / f.name;
    std::error_code ec;
    fs::remove_all(dir, ec);  // no sheets of an earlier, larger collection stay behind
    for (const SArea& a : f.areas) fs::create_directories(dir / a.code, ec);
    if (ec) {
      std::fprintf(stderr, "vantoria-mapgen: cannot create %s: %s\n", dir.string().c_str(), ec.message().c_str());
      return 1;
    }
    const SCatalogueTexts texts = catalogueTexts(options.series, f.sheets, f.areas);
    if (!writeBytes(dir / f.fileName("index.csv"), texts.index, error) ||
        !writeBytes(dir / f.fileName("kanri.csv"), texts.kanri, error)) {
      std::fprintf(stderr, "vantoria-mapgen: %s\n", error.c_str());
      return 1;
    }
    for (const SSheet& s : f.sheets) {
      const fs::path path = dir / s.area / f.fileName(s.mesh + ".tif");
      if (&f != &plan.folders.front() && s.mesh == plan.duplicateMesh)
        copies.emplace_back(root / plan.folders.front().name / s.area / plan.folders.front().fileName(s.mesh + ".tif"),
                            path);
      else
        jobs.push_back({s, path});
      ++files;
    }
  }
  const unsigned cores = renderAll(jobs);
  if (cores == 0) return 1;
  for (const auto& [from, to] : copies) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      std::fprintf(stderr, "vantoria-mapgen: cannot copy %s: %s\n", from.string().c_str(), ec.message().c_str());
      return 1;
    }
  }
  if (!writeStamp(stamp)) return 1;
  std::printf("vantoria-mapgen: %zu sheets (%zu files) in %zu folders in %.1f s (%u threads)\n", plan.distinctSheets,
              files, plan.folders.size(), secondsSince(start), cores);
  return 0;
}

/// Options of --collection; false for anything it does not know.
bool parseCollection(const std::vector<std::string>& args, SCollectionOptions& o, std::filesystem::path& out,
                     std::filesystem::path& stamp) {
  bool haveFolders = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--duplicate") {
      o.duplicate = true;
      continue;
    }
    if (i + 1 >= args.size()) return false;
    const std::string& v = args[++i];
    char* end = nullptr;
    if (a == "--collection") {
      o.cols = static_cast<int>(std::strtol(v.c_str(), &end, 10));
      if (end == v.c_str() || (*end != 'x' && *end != 'X')) return false;
      const char* rows = end + 1;
      o.rows = static_cast<int>(std::strtol(rows, &end, 10));
      if (end == rows || *end != '\0') return false;
    } else if (a == "--folders") {
      o.folders = static_cast<int>(std::strtol(v.c_str(), &end, 10));
      if (end == v.c_str() || *end != '\0') return false;
      haveFolders = true;
    } else if (a == "--series") {
      if (v != "25000" && v != "50000") return false;
      o.series = v == "25000" ? ESeries::Map25000 : ESeries::Map50000;
    } else if (a == "--south-west") {
      o.southWest = v;
    } else if (a == "--pixel-metres") {
      o.pixelMetres = std::strtod(v.c_str(), &end);
      if (end == v.c_str() || *end != '\0' || !(o.pixelMetres > 0)) return false;
    } else if (a == "--out") {
      out = v;
    } else if (a == "--stamp") {
      stamp = v;
    } else {
      return false;
    }
  }
  return haveFolders && o.cols > 0 && !out.empty();
}

int usage() {
  std::fprintf(stderr,
               "usage: vantoria-mapgen --out DIR [--stamp FILE]\n"
               "       vantoria-mapgen --check DIR\n"
               "       vantoria-mapgen --collection COLSxROWS --folders K --out DIR [--series 25000|50000]\n"
               "         [--south-west MESH] [--pixel-metres M] [--duplicate] [--stamp FILE]\n"
               "       vantoria-mapgen --check-collection DIR\n"
               "       vantoria-mapgen --selftest-collection DIR SCRATCH\n"
               "       vantoria-mapgen --selftest DIR SCRATCH\n"
               "       vantoria-mapgen --preview SHEET.tif 25000|50000 SHRINK OUT.png [X Y W H]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--out") {
    std::filesystem::path stamp;
    if (args.size() == 4 && args[2] == "--stamp") stamp = args[3];
    else if (args.size() != 2) return usage();
    return generate(args[1], stamp);
  }
  if (args.size() == 2 && args[0] == "--check") {
    std::vector<std::string> faults;
    double agreement = 0;
    const bool ok = checkSampleData(args[1], faults, 0, &agreement);
    for (const std::string& f : faults) std::fprintf(stderr, "%s\n", f.c_str());
    std::printf("vantoria-mapgen: %s (pixels equal across sheet borders: at least %.1f %%)\n",
                ok ? "sample data verified" : "sample data faulty", agreement * 100);
    return ok ? 0 : 1;
  }
  if (!args.empty() && args[0] == "--collection") {
    SCollectionOptions options;
    std::filesystem::path out, stamp;
    if (!parseCollection(args, options, out, stamp)) return usage();
    return generateCollection(options, out, stamp);
  }
  if (args.size() == 2 && args[0] == "--check-collection") {
    std::vector<std::string> faults;
    SCollectionSummary sum;
    const bool ok = checkCollection(args[1], faults, sum);
    for (const std::string& f : faults) std::fprintf(stderr, "%s\n", f.c_str());
    std::string upper;
    for (const std::string& name : sum.upperCaseFolders) upper.append(upper.empty() ? "" : " ").append(name);
    std::printf("vantoria-mapgen: collection %s: %zu sheets (%zu found twice) in %zu folders, %zu areas in more than "
                "one folder, %zu borders (%zu across folders, inked pixels continued: at least %.1f %%), upper case: %s\n",
                ok ? "verified" : "faulty", sum.sheets, sum.sheetsTwice, sum.folders, sum.sharedAreas, sum.borders,
                sum.crossFolderBorders, sum.borderAgreement * 100, upper.empty() ? "none" : upper.c_str());
    return ok ? 0 : 1;
  }
  if (args.size() == 3 && args[0] == "--selftest-collection")
    return runCollectionCheckSelfTest(args[1], args[2]) == 0 ? 0 : 1;
  if (args.size() == 3 && args[0] == "--selftest") return runCheckSelfTest(args[1], args[2]) == 0 ? 0 : 1;
  if ((args.size() == 5 || args.size() == 9) && args[0] == "--preview") {
    const ESeries series = args[2] == "50000" ? ESeries::Map50000 : ESeries::Map25000;
    SCrop crop;
    if (args.size() == 9)
      crop = {std::atoi(args[5].c_str()), std::atoi(args[6].c_str()), std::atoi(args[7].c_str()),
              std::atoi(args[8].c_str())};
    std::string error;
    if (!writePreview(args[1], series, std::atoi(args[3].c_str()), crop, args[4], error)) {
      std::fprintf(stderr, "vantoria-mapgen: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  return usage();
}
