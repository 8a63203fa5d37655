// Reading trek files: old versions converted after two questions, corrupt files refused with
// the right message before anything large is allocated.
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "platform/IPrompt.h"
#include "test_file_bytes.h"
#include "trek/CTrekData.h"
#include "trek/TrekFile.h"

using platform::EPromptAnswer;
using trektest::CBytes;

namespace {

const char* const kAskConvert =
    "このポイントファイルは、古いバージョンのVantoriaで作成されているため、読み込むことができません。\r\n"
    "ポイントファイルを新しいバージョンに変換して読み込みますか?\r\n"
    "ファイルを変換すると、古いバージョンのVantoriaでは読み込む事が出来なくなります。";
const char* const kAskTokyo =
    "このポイントファイルの経緯度データには、測地系の情報が含まれていません。\r\n"
    "すべてTkokyo測地系の経緯度として解釈します。\r\n"
    "よろしいですか?";
const char* const kNotTrek = "このファイルは、Vantoriaのポイントファイルではないか壊れているため、読み込むことができません。";
const char* const kNewer = "このポイントファイルは、新しいバージョンのVantoriaで作成されているため、読み込むことができません。";
const char* const kEnds = "f.pmd の末尾以降にアクセスしようとしました。";
const char* const kUnexpected = "f.pmd は予期しないオブジェクトを含んでいます。";
// Enough bytes after a broken element that counts alone do not end the read.
const std::string kPadding(200, '\0');

class ScopedPrompt {
 public:
  ScopedPrompt() { platform::setPrompt(&prompt); }
  ~ScopedPrompt() { platform::setPrompt(nullptr); }
  platform::CScriptedPrompt prompt;
};

// An old waypoint record (schema 1 or 2) at Tokyo 35°40'0" N, 139°45'0" E.
CBytes& oldWaypoint(CBytes& b, int schema, const std::string& name) {
  b.i32(139).i32(45).f32(0.0f).i32(35).i32(40).f32(0.0f).i32(533946);
  b.str("sheet25");
  if (schema == 2) b.str("sheet50");
  b.str("area").str(name).str("dir").str("comment").str("d1").str("d2").i32(-7);
  return b;
}

std::string oldFile(int version, int schema) {
  CBytes b;
  b.header(version).str("old").str("C:\\old.pmd").word(2).newClass("CMarkerPoint", static_cast<std::uint16_t>(schema));
  oldWaypoint(b, schema, "a");
  b.word(0x8001);
  oldWaypoint(b, schema, "b");
  return b.str();
}

// A small valid track log file: one log, two points.
std::string validTrackFile() {
  return CBytes()
      .header(3)
      .str("g")
      .str("")
      .word(0)
      .word(1)
      .newClass("CTrackLog", 1)
      .logHead("log")
      .word(2)
      .newClass("CTrackPoint", 1)
      .pointData(0)
      .word(0x8003)
      .pointData(1)
      .i32(3)
      .str();
}

std::string trackFileWithPointTag(const std::string& secondTag) {
  return CBytes()
      .header(3).str("g").str("").word(0).word(1)
      .newClass("CTrackLog", 1).logHead("log").word(2)
      .newClass("CTrackPoint", 1).pointData(0)
      .raw(secondTag).pointData(1)
      .i32(3)
      .str();
}

}  // namespace

TEST(TrekFileRead, OldVersionsConvertToWgs84) {
  for (const int version : {1, 2}) {
    for (const int schema : {1, 2}) {
      SCOPED_TRACE(testing::Message() << "version " << version << " schema " << schema);
      ScopedPrompt p;
      p.prompt.push(EPromptAnswer::Yes);
      p.prompt.push(EPromptAnswer::Yes);
      STrekReadResult r = ReadTrekBytes(oldFile(version, schema), "old.pmd");
      ASSERT_TRUE(r.ok()) << r.message;
      ASSERT_EQ(p.prompt.requests().size(), 2u);
      EXPECT_EQ(p.prompt.texts()[0], kAskConvert);
      EXPECT_EQ(p.prompt.texts()[1], kAskTokyo);
      for (const auto& q : p.prompt.requests()) {
        EXPECT_EQ(q.icon, platform::EPromptIcon::Question);
        EXPECT_EQ(q.buttons, platform::EPromptButtons::YesNo);
      }
      EXPECT_TRUE(r.converted);
      const CTrekData& g = *r.group;
      EXPECT_EQ(g.Kind(), CTrekData::kWaypointGroup);
      EXPECT_EQ(g.IsModified(), 1);
      EXPECT_EQ(g.LoadSucceeded(), 1);
      EXPECT_EQ(g.GroupName(), "old");
      EXPECT_EQ(g.FilePath(), "C:\\old.pmd");
      ASSERT_EQ(g.Waypoints().size(), 2u);
      const CMarkerPoint& w = *g.Waypoints()[0];
      // Tokyo 35°40'0" 139°45'0" is WGS-84 35°40'11.65" 139°44'48.40".
      EXPECT_EQ(w.latitude.FormatText(), "35\x93\x78" "40\x95\xaa" "11.65\x95\x62");
      EXPECT_EQ(w.longitude.FormatText(), "139\x93\x78" "44\x95\xaa" "48.40\x95\x62");
      EXPECT_EQ(w.altitude, 100000.0);
      EXPECT_EQ(w.gpsName, "");
      EXPECT_EQ(w.reserved, 0);
      EXPECT_EQ(w.symbol, -7);
      EXPECT_EQ(w.meshCode, 533946);
      EXPECT_EQ(w.sheetName50000, schema == 2 ? "sheet50" : "");
      EXPECT_EQ(w.comment, "comment");
      EXPECT_EQ(g.Waypoints()[1]->name, "b");

      // Written again it is a version 3 file that reads without questions and keeps the values.
      ScopedPrompt again;
      STrekReadResult v3 = ReadTrekBytes(WriteTrekBytes(g), "old.pmd");
      ASSERT_TRUE(v3.ok());
      EXPECT_TRUE(again.prompt.requests().empty());
      EXPECT_FALSE(v3.converted);
      EXPECT_EQ(*v3.group->Waypoints()[0], w);
    }
  }
}

TEST(TrekFileRead, RefusedConversionAsksNoFurther) {
  const struct {
    const char* name;
    std::vector<EPromptAnswer> answers;
    std::size_t asked;
  } kCases[] = {
      {"no to converting", {EPromptAnswer::No}, 1},
      {"no to the datum", {EPromptAnswer::Yes, EPromptAnswer::No}, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ScopedPrompt p;
    for (auto a : c.answers) p.prompt.push(a);
    STrekReadResult r = ReadTrekBytes(oldFile(2, 2), "old.pmd");
    EXPECT_EQ(r.status, ETrekReadStatus::ConversionRefused);
    EXPECT_FALSE(r.group);
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(p.prompt.requests().size(), c.asked);
  }
}

TEST(TrekFileRead, BadFilesAreRefusedWithTheirMessage) {
  const std::string good = validTrackFile();
  const struct {
    const char* name;
    std::string bytes;
    ETrekReadStatus status;
    const char* message;
  } kCases[] = {
      {"empty", "", ETrekReadStatus::EndOfData, kEnds},
      {"signature one byte short", CBytes().str("Vantoria25000 PointDataFil").i32(3).str(), ETrekReadStatus::NotTrekFile, kNotTrek},
      {"signature prefix one too long", CBytes().byte(28).raw("Vantoria25000 PointDataFile").i32(3).str(),
       ETrekReadStatus::NotTrekFile, kNotTrek},
      {"other text", CBytes().str("Vantoria25000 PointDataFilf").i32(3).str(), ETrekReadStatus::NotTrekFile, kNotTrek},
      {"version 4", CBytes().header(4).str(), ETrekReadStatus::NewerVersion, kNewer},
      {"version 0", CBytes().header(0).str(), ETrekReadStatus::NotTrekFile, kNotTrek},
      {"version -1", CBytes().header(-1).str(), ETrekReadStatus::NotTrekFile, kNotTrek},
      {"no version", CBytes().str("Vantoria25000 PointDataFile").word(3).str(), ETrekReadStatus::EndOfData, kEnds},
      {"huge string", CBytes().header(3).byte(0xFF).word(0xFFFF).dword(0xFFFFFFF0u).str(), ETrekReadStatus::EndOfData, kEnds},
      {"huge wide string", CBytes().header(3).byte(0xFF).word(0xFFFE).byte(0xFF).word(0xFFFF).dword(0x7FFFFFFF).str(),
       ETrekReadStatus::EndOfData, kEnds},
      {"huge count", CBytes().header(3).str("g").str("").word(0xFFFF).dword(0xFFFFFFFFu).str(), ETrekReadStatus::EndOfData, kEnds},
      {"count past the data", CBytes().header(3).str("g").str("").word(3).newClass("CMarkerPoint", 3).str(),
       ETrekReadStatus::EndOfData, kEnds},
      {"huge point count",
       CBytes().header(3).str("g").str("").word(0).word(1).newClass("CTrackLog", 1).logHead("l").word(0xFFFF).dword(1000000).str(),
       ETrekReadStatus::EndOfData, kEnds},
      {"unknown class", CBytes().header(3).str("g").str("").word(1).newClass("CMarkerPoinT", 3).raw(kPadding).str(),
       ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"class name of 64 bytes", CBytes().header(3).str("g").str("").word(1).newClass(std::string(64, 'C'), 3).raw(kPadding).str(),
       ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"track log among waypoints", CBytes().header(3).str("g").str("").word(1).newClass("CTrackLog", 1).logHead("l").word(0).raw(kPadding).str(),
       ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"null in a list", CBytes().header(3).str("g").str("").word(1).word(0).raw(kPadding).str(), ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"back reference", trackFileWithPointTag(CBytes().word(0x0004).str()), ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"large back reference", trackFileWithPointTag(CBytes().word(0x7FFF).dword(4).str()), ETrekReadStatus::UnexpectedObject,
       kUnexpected},
      {"class tag naming an object", trackFileWithPointTag(CBytes().word(0x8004).str()), ETrekReadStatus::UnexpectedObject,
       kUnexpected},
      {"class tag naming the log class", trackFileWithPointTag(CBytes().word(0x8001).str()),
       ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"waypoint schema 4", CBytes().header(3).str("g").str("").word(1).newClass("CMarkerPoint", 4).raw(kPadding).str(),
       ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"track point schema 2",
       CBytes().header(3).str("g").str("").word(0).word(1).newClass("CTrackLog", 1).logHead("l").word(1)
           .newClass("CTrackPoint", 2).pointData(0).i32(3).str(),
       ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"kind 2", CBytes().header(3).str("g").str("").word(0).word(0).i32(2).str(), ETrekReadStatus::UnexpectedObject, kUnexpected},
      {"track logs in a waypoint group", good.substr(0, good.size() - 4) + CBytes().i32(1).str(),
       ETrekReadStatus::UnexpectedObject, kUnexpected},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ScopedPrompt p;
    STrekReadResult r = ReadTrekBytes(c.bytes, "f.pmd");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.message, c.message);
    EXPECT_FALSE(r.group);
    EXPECT_TRUE(p.prompt.requests().empty());  // no question for a file that is refused
  }

  // Every truncation of a valid file ends early.
  ASSERT_TRUE(ReadTrekBytes(good, "f.pmd").ok());
  ASSERT_TRUE(ReadTrekBytes(trackFileWithPointTag(CBytes().word(0x8003).str()), "f.pmd").ok());
  for (std::size_t n = 0; n < good.size(); ++n) {
    SCOPED_TRACE(n);
    STrekReadResult r = ReadTrekBytes(good.substr(0, n), "f.pmd");
    EXPECT_EQ(r.status, ETrekReadStatus::EndOfData);
    EXPECT_EQ(r.message, kEnds);
  }
}

TEST(TrekFileRead, OldFileWithTruncatedBodyEndsEarlyAfterQuestions) {
  ScopedPrompt p;
  const std::string bytes = oldFile(2, 2);
  STrekReadResult r = ReadTrekBytes(bytes.substr(0, bytes.size() - 3), "f.pmd");
  EXPECT_EQ(r.status, ETrekReadStatus::EndOfData);
  EXPECT_EQ(r.message, kEnds);
  EXPECT_EQ(p.prompt.requests().size(), 2u);
}

TEST(TrekFileRead, FilesOnDisk) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  STrekReadResult missing = ReadTrekFile(root / "none.ptd");
  EXPECT_EQ(missing.status, ETrekReadStatus::OpenFailed);

  const std::filesystem::path cut = root / "cut.ptd";
  const std::string good = validTrackFile();
  testutil::writeFile(cut, good.substr(0, good.size() - 1));
  STrekReadResult r = ReadTrekFile(cut);
  EXPECT_EQ(r.status, ETrekReadStatus::EndOfData);
  EXPECT_EQ(r.message, cut.string() + " の末尾以降にアクセスしようとしました。");

  // Reading never changes the file, an old one included.
  const std::filesystem::path old = root / "old.pmd";
  testutil::writeFile(old, oldFile(1, 1));
  ScopedPrompt p;
  STrekReadResult o = ReadTrekFile(old);
  ASSERT_TRUE(o.ok());
  EXPECT_EQ(testutil::readFile(old), oldFile(1, 1));
}
