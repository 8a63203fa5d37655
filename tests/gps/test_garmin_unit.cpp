// Garmin units mounted as folders: the device description, finding units among volumes (and
// GVFS MTP mounts), reading what they hold, writing new files that never replace one, long
// track logs thinned or split, custom maps, units that are read-only, full or gone, and the CLI.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtGlobal>
#include <cmath>
#include <filesystem>

#include "FakeUnit.h"
#include "common/SmallDisk.h"
#include "common/TestUtil.h"
#include "gps/GarminUnit.h"
#include "gps/UnitFiles.h"
#include "gps/UnitUpload.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/GpxFile.h"
#include "trek/TrekFile.h"

namespace fs = std::filesystem;
using gps::EUnitKind;
using gps::SGarminUnit;

namespace {

/// JSON as one line without the blanks between tokens (names keep theirs).
std::string compact(const std::string& json) {
  std::string out;
  bool lineStart = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == '\n') {
      lineStart = true;
      continue;
    }
    if (lineStart && c == ' ') continue;
    lineStart = false;
    if (c == ' ' && i > 0 && (json[i - 1] == ':' || json[i - 1] == ',')) continue;
    out += c;
  }
  return out;
}

fs::path tmpPath(const QTemporaryDir& d) { return fs::path(d.path().toStdString()); }

SGarminUnit probe(const fs::path& root, EUnitKind kind = EUnitKind::Storage, bool readOnly = false) {
  auto u = gps::ProbeGarminUnit({root, "VOLUME", kind, readOnly});
  EXPECT_TRUE(u.has_value()) << root;
  return u.value_or(SGarminUnit{});
}

std::vector<std::string> fileNames(const fs::path& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) out.push_back(it->path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(GarminDeviceXml, ParsesBothLayoutsAndRefusesOtherBytes) {
  const auto etrex = gps::ParseGarminDeviceXml(unittest::etrexDeviceXml());
  ASSERT_TRUE(etrex.ok()) << etrex.error;
  EXPECT_EQ(etrex.info.model, "eTrex 30");
  ASSERT_EQ(etrex.info.gpx.size(), 3u);  // the FIT folder is no GPS data
  EXPECT_EQ(etrex.info.gpx[0].path, "Garmin/GPX");
  EXPECT_TRUE(etrex.info.gpx[0].toUnit && etrex.info.gpx[0].fromUnit);
  EXPECT_EQ(etrex.info.gpx[1].baseName, "Current");
  EXPECT_FALSE(etrex.info.gpx[1].toUnit);
  EXPECT_FALSE(etrex.info.maxTrackPoints.has_value());

  const auto gpsmap = gps::ParseGarminDeviceXml(unittest::gpsmapDeviceXml(3000));
  ASSERT_TRUE(gpsmap.ok()) << gpsmap.error;
  EXPECT_EQ(gpsmap.info.displayName, "Yamada's GPSMAP");
  EXPECT_EQ(gpsmap.info.gpx[0].path, "GARMIN/GPX");  // separators and ends normalised
  ASSERT_EQ(gpsmap.info.customMaps.size(), 1u);
  EXPECT_EQ(gpsmap.info.maxTrackPoints, 3000u);
  EXPECT_EQ(gpsmap.info.maxCustomMapImages, 500u);

  const struct {
    const char* what;
    std::string bytes;
  } bad[] = {
      {"empty", ""},
      {"other root", "<?xml version=\"1.0\"?><gpx><wpt/></gpx>"},
      {"binary", std::string("\x00\xff\xfe<Device", 9)},
      {"text in the wrong place", "<Device><Model><Description><b>x</b></Description></Model></Device>"},
      {"too large", "<Device>" + std::string(gps::kMaxDeviceXmlBytes, ' ') + "</Device>"},
  };
  for (const auto& c : bad) EXPECT_FALSE(gps::ParseGarminDeviceXml(c.bytes).ok()) << c.what;
  // A limit that is no positive count is left unsaid.
  const auto zero = gps::ParseGarminDeviceXml("<Device><Extensions><MaxTrackPoints>-5</MaxTrackPoints></Extensions></Device>");
  ASSERT_TRUE(zero.ok());
  EXPECT_FALSE(zero.info.maxTrackPoints.has_value());
}

TEST(GarminUnitFind, FindsUnitsAmongVolumesAndGvfsMounts) {
  QTemporaryDir dir;
  const fs::path base = tmpPath(dir);
  unittest::makeEtrex(base / "etrex");
  unittest::makeGpsmap(base / "gpsmap", 3000);
  fs::create_directories(base / "usbstick" / "photos");
  fs::create_directories(base / "nodescription" / "Garmin" / "GPX");  // storage without a description
  testutil::writeFile(base / "broken" / "Garmin" / "GarminDevice.xml", "<html>not a device</html>");
  // GVFS: one mount per device, one folder per storage; the description may be hidden.
  const fs::path gvfs = base / "run" / "gvfs";
  fs::create_directories(gvfs / "mtp:host=091e_4e6a_0000c0ffee" / "Internal Storage" / "Garmin" / "GPX" / "Current");
  fs::create_directories(gvfs / "mtp:host=091e_4e6a_0000c0ffee" / "SD Card" / "DCIM");
  fs::create_directories(gvfs / "smb-share:server=nas" / "Garmin");

  std::vector<gps::SVolumeCandidate> volumes{
      {base / "etrex", "GARMIN", EUnitKind::Storage, false},
      {base / "gpsmap", "", EUnitKind::Storage, true},
      {base / "usbstick", "STICK", EUnitKind::Storage, false},
      {base / "nodescription", "", EUnitKind::Storage, false},
      {base / "broken", "", EUnitKind::Storage, false},
      {base / "etrex", "again", EUnitKind::Storage, false},
  };
  for (const auto& v : gps::MountedVolumeCandidates(gvfs))
    if (v.kind == EUnitKind::Mtp) volumes.push_back(v);

  const std::vector<SGarminUnit> units = gps::FindGarminUnits(volumes);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].name, "eTrex 30");
  EXPECT_EQ(units[0].maxTrackPoints, gps::kDefaultTrackPointLimit);
  EXPECT_EQ(units[0].uploadFolder, base / "etrex" / "Garmin" / "GPX");
  EXPECT_EQ(units[0].gpxFolders.size(), 3u);
  EXPECT_EQ(units[1].name, "Yamada's GPSMAP");
  EXPECT_EQ(units[1].model, "GPSMAP 66s");
  EXPECT_TRUE(units[1].readOnly);
  EXPECT_EQ(units[1].maxTrackPoints, 3000u);
  // The folder that leaves the volume is not followed.
  for (const fs::path& f : units[1].gpxFolders) EXPECT_EQ(f.string().find(".."), std::string::npos) << f;
  EXPECT_EQ(units[1].customMapsFolder, base / "gpsmap" / "GARMIN" / "CustomMaps");
  EXPECT_EQ(units[2].kind, EUnitKind::Mtp);
  EXPECT_EQ(units[2].name, "Internal Storage");
  EXPECT_FALSE(units[2].hasDescription);
  EXPECT_EQ(units[2].uploadFolder, volumes.back().root / "Garmin" / "GPX");

  // Names and paths both find a unit; anything else is refused with a reason.
  EXPECT_EQ(gps::LookUpGarminUnit("etrex 30", units).unit->root, base / "etrex");
  EXPECT_EQ(gps::LookUpGarminUnit((base / "gpsmap" / "GARMIN").string(), units).unit->name, "Yamada's GPSMAP");
  EXPECT_EQ(gps::LookUpGarminUnit((base / "etrex").string(), {}).unit->name, "eTrex 30");
  EXPECT_FALSE(gps::LookUpGarminUnit((base / "usbstick").string(), units).unit);
  EXPECT_FALSE(gps::LookUpGarminUnit("Forerunner", units).error.empty());
}

TEST(GarminUnitRead, ReadsEveryGpxFileCurrentFirst) {
  QTemporaryDir dir;
  const fs::path root = tmpPath(dir);
  unittest::makeEtrex(root);
  testutil::writeFile(root / "Garmin" / "GPX" / "Archive" / "broken.gpx", "<gpx><trk><trkseg><trkpt lat=");
  const gps::SUnitContents c = gps::ReadUnitContents(probe(root));
  ASSERT_EQ(c.files.size(), 4u);
  EXPECT_EQ(c.files[0].relative, "Garmin/GPX/Current/Current.gpx");
  EXPECT_EQ(c.files[0].trackLogs, 1u);
  EXPECT_EQ(c.files[0].trackPoints, 30u);
  EXPECT_EQ(c.files[0].waypoints, 2u);
  EXPECT_GT(c.files[0].modified, 0);
  std::size_t failed = 0;
  for (const auto& f : c.files) failed += f.error.empty() ? 0 : 1;
  EXPECT_EQ(failed, 1u);
  EXPECT_EQ(c.waypoints->Waypoints().size(), 5u);
  EXPECT_EQ(c.tracks->TrackLogs().size(), 2u);

  // A stop asked for after the first file keeps what was read.
  const gps::SUnitContents first = gps::ReadUnitContents(probe(root), [](double) { return false; });
  EXPECT_EQ(first.files.size(), 1u);
}

TEST(GarminUnitWrite, NewFilesNeverReplaceOldOnes) {
  QTemporaryDir dir;
  const fs::path root = tmpPath(dir);
  unittest::makeEtrex(root);
  const SGarminUnit unit = probe(root);
  testutil::writeFile(unit.uploadFolder / "day 1_3.GPX", "someone else's");
  const auto group = unittest::trackGroup("Day 1", 2, 20);
  const char* expected[] = {"Day 1.gpx", "Day 1_2.gpx", "Day 1_4.gpx"};
  for (const char* name : expected) {
    const gps::SUnitWriteResult w = gps::WriteGroupToUnit(unit, *group);
    ASSERT_TRUE(w.ok) << w.message;
    EXPECT_EQ(w.path.filename().string(), name);
  }
  EXPECT_EQ(testutil::readFile(unit.uploadFolder / "day 1_3.GPX"), "someone else's");
  const SGpxReadResult back = ReadGpxFile(unit.uploadFolder / "Day 1_2.gpx");
  ASSERT_TRUE(back.ok() && back.tracks);
  ASSERT_EQ(back.tracks->TrackLogs().size(), 2u);
  EXPECT_EQ(back.tracks->TrackLogs()[1]->Points().size(), 20u);

  const struct {
    const char* in;
    const char* stem;
  } stems[] = {{"Day 1", "Day 1"},          {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
               {"  trailing dots..", "trailing dots"}, {"...", "Vantoria"},
               {"", "Vantoria"},            {"富士山 2026", "富士山 2026"}};
  for (const auto& s : stems) EXPECT_EQ(gps::UnitFileStem(s.in), s.stem) << s.in;
  EXPECT_EQ(gps::UnitFileStem(std::string(100, 'x')).size(), 64u);
}

TEST(GarminUnitWrite, ReadOnlyFullOrGoneUnitsFailCleanly) {
  QTemporaryDir dir;
  const fs::path root = tmpPath(dir);
  unittest::makeEtrex(root);
  const auto group = unittest::trackGroup("Walk", 1, 2000);

  const gps::SUnitWriteResult ro = gps::WriteGroupToUnit(probe(root, EUnitKind::Storage, true), *group);
  EXPECT_FALSE(ro.ok);
  EXPECT_NE(ro.message.find("読み取り専用"), std::string::npos) << ro.message;

  SGarminUnit gone = probe(root);
  fs::remove_all(root / "Garmin");
  const gps::SUnitWriteResult g = gps::WriteGroupToUnit(gone, *group);
  EXPECT_FALSE(g.ok);
  EXPECT_NE(g.message.find("取り外された"), std::string::npos) << g.message;
  EXPECT_FALSE(fs::exists(root / "Garmin")) << "nothing is made on the empty mount point";

  testutil::CSmallDisk disk(256 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "a small disk needs root";
  unittest::makeEtrex(disk.root());
  SGarminUnit full = probe(disk.root());
  const std::vector<std::string> before = fileNames(full.uploadFolder);
  disk.leaveFree(2);
  full.freeBytes = -1;  // as a unit that does not say: the write itself meets the full disk
  const gps::SUnitWriteResult f = gps::WriteGroupToUnit(full, *group);
  EXPECT_FALSE(f.ok);
  EXPECT_FALSE(f.message.empty());
  EXPECT_EQ(fileNames(full.uploadFolder), before) << "no half-written file stays";
  full.freeBytes = 100;  // a unit that says it is full is refused before writing
  EXPECT_NE(gps::WriteGroupToUnit(full, *group).message.find("空き容量"), std::string::npos);
}

TEST(GarminUnitTracks, SplittingKeepsEveryLegAndTheUserChoosesHow) {
  const struct {
    std::size_t points, limit;
    std::vector<std::size_t> sizes;
  } splits[] = {{10, 10, {10}}, {11, 10, {10, 2}}, {25, 10, {10, 10, 7}}, {5, 1, {2, 2, 2, 2}}};
  for (const auto& c : splits) {
    const auto g = unittest::trackGroup("S", 1, static_cast<int>(c.points));
    const std::vector<CTrackLog> parts = gps::SplitTrackLog(*g->TrackLogs()[0], c.limit);
    std::vector<std::size_t> sizes;
    for (const CTrackLog& p : parts) sizes.push_back(p.Points().size());
    EXPECT_EQ(sizes, c.sizes) << c.points << "/" << c.limit;
    for (std::size_t i = 1; i < parts.size(); ++i)
      EXPECT_EQ(parts[i].Points().front(), parts[i - 1].Points().back()) << "legs meet";
    if (parts.size() > 1) {
      EXPECT_EQ(parts[1].name, "S 1-2");
    }
  }

  // Asked through the prompt: はい thins, いいえ splits, キャンセル writes nothing.
  QTemporaryDir dir;
  const fs::path root = tmpPath(dir);
  unittest::makeGpsmap(root, 300);
  const SGarminUnit unit = probe(root);
  const auto walk = unittest::trackGroup("Walk", 2, 700);
  const struct {
    platform::EPromptAnswer answer;
    std::size_t logs;
    std::size_t firstPoints;
  } answers[] = {{platform::EPromptAnswer::Cancel, 0, 0},
                 {platform::EPromptAnswer::Yes, 2, 300},
                 {platform::EPromptAnswer::No, 6, 300}};
  for (const auto& a : answers) {
    platform::CScriptedPrompt prompt;
    prompt.push(a.answer);
    prompt.push(platform::EPromptAnswer::Ok);
    platform::setPrompt(&prompt);
    const gps::SUnitUploadOutcome out = gps::UploadGroupsToUnit(unit, {walk.get()});
    platform::setPrompt(nullptr);
    ASSERT_FALSE(prompt.requests().empty());
    EXPECT_NE(prompt.requests()[0].text.find("トラックログ「Walk 1」ほか 1 件は 300 ポイントを超えています"), std::string::npos)
        << prompt.requests()[0].text;
    if (a.logs == 0) {
      EXPECT_TRUE(out.cancelled);
      EXPECT_TRUE(out.written.empty());
      continue;
    }
    ASSERT_TRUE(out.ok()) << out.error;
    ASSERT_EQ(out.written.size(), 1u);
    EXPECT_NE(prompt.requests().back().text.find("取り出し"), std::string::npos);
    const SGpxReadResult back = ReadGpxFile(out.written[0]);
    ASSERT_TRUE(back.tracks);
    EXPECT_EQ(back.tracks->TrackLogs().size(), a.logs);
    EXPECT_EQ(back.tracks->TrackLogs()[0]->Points().size(), a.firstPoints);
    EXPECT_DOUBLE_EQ(back.tracks->TrackLogs()[0]->Points().back().altitude,
                     a.answer == platform::EPromptAnswer::Yes ? 1699.0 : 1299.0);
  }
}

TEST(GarminUnitMaps, CustomMapsAreCountedAndCopiedWithinLimits) {
  QTemporaryDir dir;
  const fs::path base = tmpPath(dir);
  unittest::makeEtrex(base / "etrex");
  unittest::makeGpsmap(base / "gpsmap", 3000);
  testutil::writeFile(base / "small.kmz", unittest::kmzBytes(3));
  testutil::writeFile(base / "large.kmz", unittest::kmzBytes(150));
  testutil::writeFile(base / "fake.kmz", "PK not really");
  EXPECT_EQ(gps::CountKmzImages(base / "small.kmz"), 3);
  EXPECT_EQ(gps::CountKmzImages(base / "large.kmz"), 150);
  EXPECT_EQ(gps::CountKmzImages(base / "fake.kmz"), -1);
  std::string cut = unittest::kmzBytes(3);
  cut.resize(cut.size() - 30);
  testutil::writeFile(base / "cut.kmz", cut);
  EXPECT_EQ(gps::CountKmzImages(base / "cut.kmz"), -1);

  const SGarminUnit etrex = probe(base / "etrex");
  const SGarminUnit gpsmap = probe(base / "gpsmap");
  const gps::SUnitWriteResult refused = gps::CopyCustomMapToUnit(etrex, base / "large.kmz");
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.message.find("150 枚"), std::string::npos) << refused.message;
  EXPECT_NE(refused.message.find("100 枚まで"), std::string::npos) << refused.message;
  const gps::SUnitWriteResult onGpsmap = gps::CopyCustomMapToUnit(gpsmap, base / "large.kmz");
  ASSERT_TRUE(onGpsmap.ok) << onGpsmap.message;
  EXPECT_EQ(onGpsmap.path, base / "gpsmap" / "GARMIN" / "CustomMaps" / "large.kmz");
  EXPECT_EQ(testutil::readFile(onGpsmap.path), unittest::kmzBytes(150));
  const gps::SUnitWriteResult made = gps::CopyCustomMapToUnit(etrex, base / "small.kmz");
  ASSERT_TRUE(made.ok) << made.message;  // the folder is made below Garmin
  EXPECT_FALSE(gps::CopyCustomMapToUnit(etrex, base / "fake.kmz").ok);
}

TEST(GarminUnitCli, ListsDownloadsAndUploads) {
  QTemporaryDir dir;
  const fs::path base = tmpPath(dir);
  unittest::makeEtrex(base / "etrex");
  fs::create_directories(base / "run" / "gvfs" / "mtp:host=Garmin_GPSMAP" / "Internal Storage" / "Garmin" / "GPX");
  const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString((base / "run").string()));
  const testutil::SRunResult list = testutil::runCli({"device", "list"});
  qputenv("XDG_RUNTIME_DIR", oldRuntime);
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(compact(list.out).find("\"name\":\"Internal Storage\""), std::string::npos) << list.out;
  EXPECT_NE(compact(list.out).find("\"kind\":\"mtp\""), std::string::npos) << list.out;

  const std::string etrex = (base / "etrex").string();
  const std::string gpx = (base / "all.gpx").string();
  const struct {
    std::vector<std::string> args;
    int status;
    const char* expect;  // in stdout when it succeeds, in stderr when not
  } rows[] = {
      {{"device", "download", etrex, "-o", gpx}, 0, "\"waypoints\":5,\"trackLogs\":2,\"trackPoints\":80"},
      {{"device", "download", etrex, "-o", gpx}, 1, "exists"},
      {{"device", "download", etrex, "--tracks", "-o", (base / "t.ptd").string()}, 0, "\"waypoints\":0,\"trackLogs\":2"},
      {{"device", "download", etrex, "-o", (base / "w.pmd").string()}, 0, "\"waypoints\":5,\"trackLogs\":0"},
      {{"device", "download", etrex, "--tracks", "-o", (base / "w2.pmd").string()}, 1, "does not hold that kind"},
      {{"device", "download", (base / "nowhere").string(), "-o", (base / "x.gpx").string()}, 1, "no Garmin unit"},
      {{"device", "upload", (base / "t.ptd").string(), etrex}, 0, "Garmin/GPX/t.gpx"},
      {{"device", "upload", (base / "t.ptd").string(), etrex}, 0, "Garmin/GPX/t_2.gpx"},
      {{"device", "upload", gpx, etrex}, 0, "\"waypoints\":5,\"trackLogs\":2"},
      {{"device", "upload", (base / "t.ptd").string(), etrex, "--thin", "--split"}, 1, "not both"},
      {{"device", "frobnicate"}, 1, "unknown subcommand"},
  };
  for (const auto& r : rows) {
    const testutil::SRunResult run = testutil::runCli(r.args);
    EXPECT_EQ(run.status, r.status) << r.args[1] << " " << run.err;
    EXPECT_NE((r.status == 0 ? compact(run.out) : run.err).find(r.expect), std::string::npos) << run.out << run.err;
  }

  // A log above the unit's limit needs --thin or --split.
  testutil::writeFile(base / "gpsmap" / "GARMIN" / "GarminDevice.xml", unittest::gpsmapDeviceXml(25));
  fs::create_directories(base / "gpsmap" / "GARMIN" / "GPX");
  const std::string gpsmap = (base / "gpsmap").string();
  const testutil::SRunResult refused = testutil::runCli({"device", "upload", (base / "t.ptd").string(), gpsmap});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("more than 25 points"), std::string::npos) << refused.err;
  const testutil::SRunResult split = testutil::runCli({"device", "upload", (base / "t.ptd").string(), gpsmap, "--split"});
  ASSERT_EQ(split.status, 0) << split.err;
  EXPECT_NE(compact(split.out).find("\"trackLogs\":5"), std::string::npos) << split.out;  // 30: 25+6, 50: 25+25+2
}
