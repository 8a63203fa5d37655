// Writing trek files: exact bytes, round trips, prefixes and counts, atomic saving.
#include <QBuffer>
#include <QTemporaryDir>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "test_file_bytes.h"
#include "trek/CTrekArchive.h"
#include "trek/CTrekData.h"
#include "trek/TrekFile.h"

using trektest::CBytes;

namespace {

const std::string kSignature = "Vantoria25000 PointDataFile";

std::unique_ptr<CMarkerPoint> sampleWaypoint(int i) {
  auto p = std::make_unique<CMarkerPoint>();
  p->longitude = DmsAngle(139, 44, 48.4012345678901 + i);
  p->latitude = DmsAngle(35, 40, 0.1 + 0.2);  // not exactly 0.3: every bit must survive
  p->meshCode = 533946 + i;
  p->sheetName25000 = "\x93\x8c\x8b\x9e";  // 東京
  p->sheetName50000 = "sheet50";
  p->areaName = "area";
  p->name = std::string("\x8e\x52").append(std::to_string(i));  // 山<i>
  p->indexDirectory = "C:\\MAP";
  p->description1 = "d1";
  p->description2 = "d2";
  p->comment = "line1\r\nline2";
  p->symbol = -18 - i;
  p->reserved = 0x12345678;
  p->altitude = 1234.5678901234567;
  p->gpsName = std::string("PEAK").append(std::to_string(i));
  return p;
}

std::unique_ptr<CTrackLog> sampleLog(const std::string& name, int points) {
  auto log = std::make_unique<CTrackLog>();
  log->name = name;
  log->gpsName = "GPS" + name;
  log->color = 7;
  log->reserved = -5;
  log->display = 0;
  log->reserved2 = 42;
  log->description1 = "a";
  log->description2 = "b";
  log->SetSendAsActiveLog(1);
  for (int i = 0; i < points; ++i) {
    CTrackPoint p;
    p.number = i;
    p.reserved = 3 * i;
    p.altitude = -0.5 + i / 3.0;
    p.longitude = DmsAngle(139, 1, i / 7.0);
    p.latitude = DmsAngle(35, 2, 59.99999999 - i / 11.0);
    p.time = TrekTime(i == 1 ? -1 : 1057363500 + i);
    log->AppendPoint(p);
  }
  return log;
}

std::string readBack(const std::string& bytes, std::unique_ptr<CTrekData>& out) {
  STrekReadResult r = ReadTrekBytes(bytes, "mem.ptd");
  EXPECT_TRUE(r.ok()) << r.message;
  out = std::move(r.group);
  return r.message;
}

}  // namespace

TEST(TrekFileFormat, EmptyTrackLogGroupIsExactly43Bytes) {
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("A");
  const std::string bytes = WriteTrekBytes(g);
  const std::string want = CBytes().byte(0x1B).raw(kSignature).i32(3).byte(1).raw("A").byte(0).word(0).word(0).i32(3).str();
  ASSERT_EQ(bytes.size(), 43u);
  EXPECT_EQ(bytes, want);
}

TEST(TrekFileFormat, WaypointFileStartsWithClassRecord) {
  CTrekData g;
  g.SetKind(CTrekData::kWaypointGroup);
  g.SetGroupName("\x8e\x52");  // 山
  g.AppendWaypoint(sampleWaypoint(0));
  g.AppendWaypoint(sampleWaypoint(1));
  const std::string bytes = WriteTrekBytes(g);
  const std::string head = CBytes()
                               .byte(0x1B)
                               .raw(kSignature)
                               .i32(3)
                               .byte(2)
                               .raw("\x8e\x52")
                               .byte(0)
                               .word(2)
                               .word(0xFFFF)
                               .word(3)
                               .word(12)
                               .raw("CMarkerPoint")
                               .str();
  ASSERT_GT(bytes.size(), head.size());
  EXPECT_EQ(bytes.substr(0, head.size()), head);

  // The first waypoint's fields, in file order (comment before the descriptions).
  const CMarkerPoint& p = *g.Waypoints()[0];
  const std::string first = CBytes()
                                .i32(139).i32(44).f64(p.longitude.seconds)
                                .i32(35).i32(40).f64(p.latitude.seconds)
                                .i32(p.meshCode)
                                .str(p.sheetName25000).str(p.sheetName50000).str(p.areaName).str(p.name)
                                .str(p.indexDirectory).str(p.comment).str(p.description1).str(p.description2)
                                .i32(p.symbol).i32(p.reserved).f64(p.altitude).str(p.gpsName)
                                .word(0x8001)  // the second waypoint names class index 1
                                .str();
  EXPECT_EQ(bytes.substr(head.size(), first.size()), first);
}

TEST(TrekFileFormat, TrackLogIndexesInterleave) {
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("T");
  g.AppendTrackLog(sampleLog("one", 3));
  g.AppendTrackLog(sampleLog("two", 2));
  const std::string bytes = WriteTrekBytes(g);

  auto logData = [](CBytes& b, const CTrackLog& l) {
    b.i32(l.display).byte(l.color).i32(l.reserved).str(l.name).str(l.gpsName).i32(l.reserved2).str(l.description1).str(l.description2);
  };
  auto pointData = [](CBytes& b, const CTrackPoint& p) {
    b.i32(p.longitude.degrees).i32(p.longitude.minutes).f64(p.longitude.seconds)
        .i32(p.latitude.degrees).i32(p.latitude.minutes).f64(p.latitude.seconds)
        .i32(p.number).i32(p.reserved).f64(p.altitude).i32(p.time.Count());
  };
  CBytes want;
  want.byte(0x1B).raw(kSignature).i32(3).str("T").str("").word(0).word(2);
  const CTrackLog& a = *g.TrackLogs()[0];
  want.newClass("CTrackLog", 1);  // class 1, log 2
  logData(want, a);
  want.word(3).newClass("CTrackPoint", 1);  // class 3, point 4
  pointData(want, a.Points()[0]);
  want.word(0x8003);
  pointData(want, a.Points()[1]);
  want.word(0x8003);
  pointData(want, a.Points()[2]);
  const CTrackLog& b = *g.TrackLogs()[1];
  want.word(0x8001);
  logData(want, b);
  want.word(2).word(0x8003);
  pointData(want, b.Points()[0]);
  want.word(0x8003);
  pointData(want, b.Points()[1]);
  want.i32(3);
  EXPECT_EQ(bytes, want.str());
}

TEST(TrekFileFormat, RoundTripsAreExact) {
  struct SCase {
    const char* name;
    std::unique_ptr<CTrekData> group;
  };
  std::vector<SCase> cases;
  {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(CTrekData::kWaypointGroup);
    g->SetGroupName("\x83\x4f\x83\x8b\x81\x5b\x83\x76");  // グループ
    g->SetFilePath("/home/u/\xe5\xb1\xb1.pmd");
    for (int i = 0; i < 12; ++i) g->AppendWaypoint(sampleWaypoint(i));
    g->Waypoints()[3]->altitude = std::numeric_limits<double>::quiet_NaN();
    g->Waypoints()[4]->altitude = -0.0;
    g->Waypoints()[5]->latitude.seconds = std::numeric_limits<double>::denorm_min();
    cases.push_back({"waypoints", std::move(g)});
  }
  {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(CTrekData::kTrackLogGroup);
    g->SetGroupName("logs");
    g->AppendTrackLog(sampleLog("x", 0));
    g->AppendTrackLog(sampleLog("y", 25));
    g->AppendTrackLog(sampleLog(std::string(300, 'z'), 1));
    cases.push_back({"track logs", std::move(g)});
  }
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = WriteTrekBytes(*c.group);
    std::unique_ptr<CTrekData> back;
    readBack(bytes, back);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->LoadSucceeded(), 1);
    EXPECT_EQ(back->IsModified(), 0);
    EXPECT_EQ(back->Kind(), c.group->Kind());
    EXPECT_EQ(back->FilePath(), c.group->FilePath());
    // Same bytes again, so every double (NaN and -0.0 included) survived bit for bit.
    EXPECT_EQ(WriteTrekBytes(*back), bytes);
    for (const auto& l : back->TrackLogs()) EXPECT_EQ(l->SendAsActiveLog(), 0);
    // Apart from the memory-only upload flag, the items are equal field by field.
    for (auto& l : c.group->TrackLogs()) l->SetSendAsActiveLog(0);
    back->SetLoadSucceeded(c.group->LoadSucceeded());
    // (The waypoints hold a NaN, which never compares equal.)
    if (c.group->Kind() == CTrekData::kTrackLogGroup) {
      EXPECT_TRUE(back->SameContent(*c.group));
    }
  }
}

TEST(TrekFileFormat, StringPrefixes) {
  const struct {
    std::size_t length;
    std::string prefix;
  } kCases[] = {
      {0, CBytes().byte(0).str()},
      {254, CBytes().byte(0xFE).str()},
      {255, CBytes().byte(0xFF).word(255).str()},
      {65533, CBytes().byte(0xFF).word(65533).str()},
      {65534, CBytes().byte(0xFF).word(0xFFFF).dword(65534).str()},
      {70000, CBytes().byte(0xFF).word(0xFFFF).dword(70000).str()},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.length);
    CTrekData g;
    g.SetKind(CTrekData::kWaypointGroup);
    std::string name(c.length, 'n');
    if (c.length > 0) name[c.length - 1] = '\x82';  // a CP932 lead byte as the last byte stays a byte
    g.SetGroupName(name);
    const std::string bytes = WriteTrekBytes(g);
    ASSERT_EQ(bytes.substr(32, c.prefix.size()), c.prefix);
    EXPECT_EQ(bytes.substr(32 + c.prefix.size(), c.length), name);
    std::unique_ptr<CTrekData> back;
    readBack(bytes, back);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GroupName(), name);
  }
}

TEST(TrekFileFormat, LargeCountUsesEscapeAndRewritesIdentically) {
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("big");
  g.AppendTrackLog(sampleLog("long", 70000));
  const std::string bytes = WriteTrekBytes(g);
  const std::string logStart = CBytes().newClass("CTrackLog", 1).str();
  const std::size_t at = bytes.find(logStart);
  ASSERT_NE(at, std::string::npos);
  // log data: display, color, reserved, name "long", gpsName "GPSlong", reserved2, "a", "b"
  const std::size_t countAt = at + logStart.size() + 4 + 1 + 4 + 5 + 8 + 4 + 2 + 2;
  EXPECT_EQ(bytes.substr(countAt, 6), CBytes().word(0xFFFF).dword(70000).str());

  // A file written elsewhere is read and written back byte for byte.
  const QTemporaryDir dir;
  const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / "big.ptd";
  testutil::writeFile(path, bytes);
  STrekReadResult r = ReadTrekFile(path);
  ASSERT_TRUE(r.ok()) << r.message;
  ASSERT_EQ(r.group->TrackLogs()[0]->Points().size(), 70000u);
  const std::filesystem::path again = path.parent_path() / "again.ptd";
  ASSERT_TRUE(WriteTrekFileAtomic(again, *r.group).ok());
  EXPECT_EQ(testutil::readFile(again), bytes);
}

TEST(TrekFileFormat, ReaderAcceptsBothCountForms) {
  for (const bool escaped : {false, true}) {
    SCOPED_TRACE(escaped);
    CBytes b;
    b.header(3).str("g").str("");
    if (escaped) {
      b.word(0xFFFF).dword(2);
    } else {
      b.word(2);
    }
    b.newClass("CMarkerPoint", 3);
    for (int i = 0; i < 2; ++i) {
      if (i > 0) b.word(0x8001);
      b.i32(139).i32(0).f64(0.5).i32(35).i32(0).f64(0.25).i32(0);
      for (int s = 0; s < 8; ++s) b.str(s == 3 ? "wp" + std::to_string(i) : "");
      b.i32(0).i32(0).f64(0.0).str("");
    }
    // The (empty) track log list takes the other form.
    if (escaped) {
      b.word(0);
    } else {
      b.word(0xFFFF).dword(0);
    }
    b.i32(1);
    STrekReadResult r = ReadTrekBytes(b.str(), "c.pmd");
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_EQ(r.group->Waypoints().size(), 2u);
    EXPECT_EQ(r.group->Waypoints()[1]->name, "wp1");
  }
}

TEST(TrekFileFormat, SixteenBitStringsBecomeCp932) {
  // 山A as UTF-16LE: group name with the short and the long second prefix.
  const std::string chars = CBytes().word(0x5C71).word(0x0041).str();
  const struct {
    const char* name;
    std::string prefix;
  } kCases[] = {
      {"short", CBytes().byte(0xFF).word(0xFFFE).byte(2).str()},
      {"word", CBytes().byte(0xFF).word(0xFFFE).byte(0xFF).word(2).str()},
      {"dword", CBytes().byte(0xFF).word(0xFFFE).byte(0xFF).word(0xFFFF).dword(2).str()},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = CBytes().header(3).raw(c.prefix).raw(chars).str("").word(0).word(0).i32(3).str();
    STrekReadResult r = ReadTrekBytes(bytes, "w.ptd");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.group->GroupName(), "\x8e\x52" "A");
  }
}

TEST(TrekFileFormat, SavingNeverLeavesAHalfFile) {
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("keep");
  g.AppendTrackLog(sampleLog("l", 5000));

  testutil::CFullDevice full(100000);
  EXPECT_FALSE(WriteTrekDevice(full, g));

  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  const std::filesystem::path target = root / "keep.ptd";
  testutil::writeFile(target, "old contents");

  const STrekWriteResult missing = WriteTrekFileAtomic(root / "no" / "such" / "x.ptd", g);
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.message.find("x.ptd"), std::string::npos);

  const STrekWriteResult onDir = WriteTrekFileAtomic(root, g);
  EXPECT_FALSE(onDir.ok());
  EXPECT_EQ(testutil::readFile(target), "old contents");

  ASSERT_TRUE(WriteTrekFileAtomic(target, g).ok());
  EXPECT_EQ(testutil::readFile(target), WriteTrekBytes(g));
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(root)) ++entries;
  EXPECT_EQ(entries, 1u);  // no temporary file left beside it
}
