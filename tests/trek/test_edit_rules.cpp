// Rules of the editing windows: GPS names, coordinate and text checks, duplicates, extensions.
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "trek/TrekEditing.h"

namespace fs = std::filesystem;
using platform::EPromptIcon;

namespace {

const std::string kBad = trek::kBadPositionText;
const std::string kNoName = trek::kNoPointNameText;

std::string problemText(const std::optional<trek::SInputProblem>& p) { return p ? p->text : ""; }

trek::SWaypointInput input(const char* latD, const char* latM, const char* latS, const char* lonD, const char* lonM,
                           const char* lonS, const char* name = "peak") {
  trek::SWaypointInput in;
  in.datum = Datum::Wgs84;
  in.latDegrees = latD, in.latMinutes = latM, in.latSeconds = latS;
  in.lonDegrees = lonD, in.lonMinutes = lonM, in.lonSeconds = lonS;
  in.name = name;
  return in;
}

TEST(TrekEditRules, GpsNameCharacters) {
  const struct {
    const char* text;
    bool want;
  } kCases[] = {
      {"Mt FUJI+1", true}, {"mt-1", true},        {"0123456789", true}, {" ", true},
      {"", false},         {"\x95\x78\x8e\x6d", false},  // 富士 in CP932
      {"A_B", false},      {"A.B", false},        {"\xB1", false},  // half-width katakana
      {"A\tB", false},     {"-+ ", true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsValidGpsName(c.text), c.want);
  }
  EXPECT_FALSE(IsValidGpsName(std::string_view("A\0B", 3)));
}

TEST(TrekEditRules, CoordinateChecksAtTheBounds) {
  const struct {
    const char* name;
    trek::SWaypointInput in;
    std::string want;
  } kCases[] = {
      {"inside", input("35", "40", "0", "139", "45", "0"), ""},
      {"latitude 23", input("23", "0", "0", "139", "0", "0"), ""},
      {"latitude 50", input("50", "0", "0", "139", "0", "0"), ""},
      {"latitude just below 23", input("22", "59", "59", "139", "0", "0"), kBad},
      {"latitude 22 59 59.99", input("22", "59", "59.99", "139", "0", "0"), kBad},
      {"latitude just above 50", input("50", "0", "0.01", "139", "0", "0"), kBad},
      {"longitude 120", input("35", "0", "0", "120", "0", "0"), ""},
      {"longitude 154", input("35", "0", "0", "154", "0", "0"), ""},
      {"longitude 154 0 1", input("35", "0", "0", "154", "0", "1"), kBad},
      {"longitude 119 59 59.99", input("35", "0", "0", "119", "59", "59.99"), kBad},
      {"minutes 59", input("35", "59", "0", "139", "59", "0"), ""},
      {"minutes 60", input("35", "60", "0", "139", "0", "0"), kBad},
      {"seconds just under 60", input("35", "0", "59.999999", "139", "0", "59.999999"), ""},
      {"seconds 60", input("35", "0", "60", "139", "0", "0"), kBad},
      {"negative seconds", input("35", "0", "-1", "139", "0", "0"), kBad},
      {"empty fields", input("", "", "", "", "", ""), kBad},
      {"text in degrees", input("abc", "0", "0", "139", "0", "0"), kBad},
      {"leading digits count", input("35deg", "40'", "1.5\"", " 139", "+45", "0"), ""},
      {"huge degrees", input("99999999999999", "0", "0", "139", "0", "0"), kBad},
      {"seconds as nan", input("35", "0", "nan", "139", "0", "0"), ""},  // no number: 0
      {"position fine, name empty", input("35", "40", "0", "139", "45", "0", ""), kNoName},
      {"both wrong: position first", input("10", "0", "0", "139", "45", "0", ""), kBad},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto p = trek::CheckWaypointInput(c.in);
    EXPECT_EQ(problemText(p), c.want);
    if (p) {
      EXPECT_EQ(p->icon, EPromptIcon::Warning);
    }
  }
}

TEST(TrekEditRules, FieldParsing) {
  const struct {
    const char* text;
    std::int32_t asInt;
    double asSeconds;
  } kCases[] = {
      {"12", 12, 12.0},          {"  7x", 7, 7.0},      {"", 0, 0.0},
      {"x1", 0, 0.0},            {"-3", -3, -3.0},      {"12.75", 12, 12.75},
      {".5", 0, 0.5},            {"1e1", 1, 10.0},      {"inf", 0, 0.0},
      {"99999999999", 2147483647, 99999999999.0},      {"-99999999999", -2147483647 - 1, -99999999999.0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(trek::ParseIntField(c.text), c.asInt);
    EXPECT_EQ(trek::ParseSecondsField(c.text), c.asSeconds);
  }
}

TEST(TrekEditRules, TextWithoutCp932FormIsRefused) {
  auto in = input("35", "40", "0", "139", "45", "0", "富士山");
  EXPECT_FALSE(trek::CheckWaypointInput(in));
  in.comment = "山頂 \xF0\x9F\x97\xBB";  // a pictograph Shift-JIS cannot hold
  const auto p = trek::CheckWaypointInput(in);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->text, "「コメント」に、保存できない文字が含まれています。\r\nシフトJISで表せない文字は使用できません。");

  trek::STrackLogInput log{"ok", "\xE2\x82\xA9", "", ""};  // ₩ has no CP932 form
  EXPECT_NE(problemText(trek::CheckTrackLogInput(log)).find("「GPS表示名」"), std::string::npos);
  EXPECT_NE(problemText(trek::CheckTrackLogInput({"bad \xFF utf-8", "", "", ""})).find("「トラックログの名前」"),
            std::string::npos);
}

TEST(TrekEditRules, GroupNameAndGpsNameLimits) {
  const std::string thirty(30, 'a');
  const struct {
    const char* name;
    std::optional<trek::SInputProblem> got;
    std::string want;
  } kCases[] = {
      {"new: thirty characters", trek::CheckNewGroupName(thirty), ""},
      {"new: thirty-one", trek::CheckNewGroupName(thirty + "a"), "グループ名は30文字以内で入力して下さい。"},
      {"new: thirty with a kanji", trek::CheckNewGroupName("山" + std::string(29, 'x')), ""},
      {"new: only spaces", trek::CheckNewGroupName(" \t\xE3\x80\x80"), trek::kNoGroupNameText},
      {"new: leading space", trek::CheckNewGroupName("  a"), ""},
      {"rename: empty", trek::CheckGroupRename(""), "グループ名を入力して下さい。　"},
      {"rename: a space", trek::CheckGroupRename(" "), ""},
      {"gps: ten", trek::CheckGpsNameEdit("ABCDEFGHIJ", trek::kMaxWaypointGpsName), ""},
      {"gps: eleven", trek::CheckGpsNameEdit("ABCDEFGHIJK", trek::kMaxWaypointGpsName),
       "GPS上で使用する名前は10文字以内で入力して下さい。"},
      {"gps: thirteen", trek::CheckGpsNameEdit("ABCDEFGHIJKLM", trek::kMaxTrackLogGpsName), ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(problemText(c.got), c.want);
  }
  EXPECT_EQ(trek::CheckGroupRename("")->icon, EPromptIcon::Information);
  EXPECT_EQ(trek::GpsNameMaxText(13), "最大文字数 : 半角13文字");
  EXPECT_EQ(trek::CheckNewGroupName(std::string(5000, 'c') + "a")->text, "グループ名は30文字以内で入力して下さい。");
  EXPECT_FALSE(trek::CheckWaypointInput([] {
    auto in = input("35", "40", "0", "139", "45", "0");
    in.comment = std::string(4999, 'c') + "山";
    return in;
  }()));
  EXPECT_EQ(problemText(trek::CheckWaypointInput([] {
              auto in = input("35", "40", "0", "139", "45", "0");
              in.comment = std::string(5001, 'c');
              return in;
            }())),
            "コメントは5000文字以内で入力して下さい。");
}

TEST(TrekEditRules, NewWaypointFromInput) {
  auto in = input("35", "40", "0", "139", "45", "0", "山頂");
  in.datum = Datum::Tokyo;
  in.gpsName = "SUMMIT";
  in.comment = "一行目\r\n二行目";
  const auto p = trek::MakeWaypoint(in);
  EXPECT_EQ(p->name, "\x8e\x52\x92\xb8");
  EXPECT_EQ(p->gpsName, "SUMMIT");
  EXPECT_EQ(p->symbol, 0);
  EXPECT_EQ(p->reserved, 0);
  // Stored in WGS-84: the Tokyo position moved.
  EXPECT_EQ(p->latitude.FormatText(), DmsAngle(35, 40, 11.65).FormatText());
  EXPECT_EQ(p->longitude.FormatText(), DmsAngle(139, 44, 48.40).FormatText());

  // Shown again in the Tokyo datum, the fields come back rounded to the hundredth.
  const trek::SWaypointInput back = trek::WaypointInputFrom(*p, Datum::Tokyo);
  EXPECT_EQ(back.latDegrees + " " + back.latMinutes + " " + back.latSeconds, "35 40 0.00");
  EXPECT_EQ(back.lonDegrees + " " + back.lonMinutes + " " + back.lonSeconds, "139 45 0.00");
  EXPECT_EQ(back.name, "山頂");
  EXPECT_EQ(p->comment, "\x88\xea\x8d\x73\x96\xda\r\n\x93\xf1\x8d\x73\x96\xda");
  EXPECT_EQ(back.comment, "一行目\n二行目");  // a text box breaks lines with LF

  EXPECT_EQ(trek::MarkerDatumFromSetting(0), Datum::Wgs84);
  for (int v : {1, 2, -1}) EXPECT_EQ(trek::MarkerDatumFromSetting(v), Datum::Tokyo);
}

TEST(TrekEditRules, CommentsAreStoredWithCrlfAndShownWithLf) {
  const struct {
    const char* name;
    const char* typed;
    const char* stored;
    const char* shown;
  } kCases[] = {
      {"one line", "cairn", "cairn", "cairn"},
      {"typed breaks", "a\nb\n", "a\r\nb\r\n", "a\nb\n"},
      {"breaks already CRLF", "a\r\nb", "a\r\nb", "a\nb"},
      {"leading and blank lines", "\n\nx", "\r\n\r\nx", "\n\nx"},
      {"mixed", "a\r\nb\nc", "a\r\nb\r\nc", "a\nb\nc"},
      {"a lone CR is no line break", "a\rb", "a\rb", "a\rb"},
      {"empty", "", "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(trek::CommentToStored(c.typed), c.stored);
    EXPECT_EQ(trek::CommentToShown(c.stored), c.shown);
    auto in = input("35", "40", "0", "139", "45", "0");
    in.comment = c.typed;
    const auto p = trek::MakeWaypoint(in);
    EXPECT_EQ(p->comment, c.stored);
    EXPECT_EQ(trek::WaypointInputFrom(*p, Datum::Wgs84).comment, c.shown);
    // Stored again unchanged, the comment keeps its bytes.
    trek::ApplyWaypointInput(*p, trek::WaypointInputFrom(*p, Datum::Wgs84));
    EXPECT_EQ(p->comment, c.stored);
  }
}

TEST(TrekEditRules, UnroundedPositionWinsOverTheRoundedFields) {
  const DmsAngle lat(35, 21, 12.345678), lon(138, 43, 38.765432);
  CMarkerPoint p;
  p.SetPosition(lat, lon, Datum::Wgs84);
  trek::SWaypointInput in = trek::WaypointInputFrom(p, Datum::Tokyo);
  // Read back from the rounded Tokyo texts the point moves by the rounding and the shift.
  CMarkerPoint typed;
  trek::ApplyWaypointInput(typed, in);
  EXPECT_NE(typed.latitude.TotalSeconds(), lat.TotalSeconds());
  in.exact = trek::SPositionWgs84{lat, lon};
  trek::ApplyWaypointInput(typed, in);
  EXPECT_EQ(typed.latitude.TotalSeconds(), lat.TotalSeconds());
  EXPECT_EQ(typed.longitude.TotalSeconds(), lon.TotalSeconds());
}

TEST(TrekEditRules, DuplicateWaypoints) {
  CTrekData g;
  g.SetKind(CTrekData::kWaypointGroup);
  for (double s : {1.0, 2.0, 2.0}) {
    auto p = std::make_unique<CMarkerPoint>();
    p->SetPosition(DmsAngle(35, 0, s), DmsAngle(139, 0, 0.0), Datum::Wgs84);
    g.AppendWaypoint(std::move(p));
  }
  CMarkerPoint probe;
  probe.SetPosition(DmsAngle(35, 0, 2.0), DmsAngle(139, 0, 0.0), Datum::Wgs84);
  EXPECT_EQ(FindDuplicateWaypoint(probe, g), g.Waypoints()[1].get());
  // Same total seconds written differently is the same position.
  probe.SetPosition(DmsAngle(34, 60, 1.0), DmsAngle(138, 59, 60.0), Datum::Wgs84);
  EXPECT_EQ(FindDuplicateWaypoint(probe, g), g.Waypoints()[0].get());
  // A point is not its own duplicate, but the next at its place is.
  EXPECT_EQ(FindDuplicateWaypoint(*g.Waypoints()[0], g), nullptr);
  EXPECT_EQ(FindDuplicateWaypoint(*g.Waypoints()[1], g), g.Waypoints()[2].get());
  probe.SetPosition(DmsAngle(35, 0, 2.0), DmsAngle(139, 0, 0.001), Datum::Wgs84);
  EXPECT_EQ(FindDuplicateWaypoint(probe, g), nullptr);
}

std::unique_ptr<CTrackLog> logOf(std::vector<double> seconds) {
  auto log = std::make_unique<CTrackLog>();
  for (double s : seconds) {
    CTrackPoint p;
    p.SetPosition(DmsAngle(35, 0, s), DmsAngle(139, 0, s), Datum::Wgs84);
    log->AppendPoint(p);
  }
  return log;
}

TEST(TrekEditRules, DuplicateTrackLogs) {
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.AppendTrackLog(logOf({1, 2, 3}));
  g.AppendTrackLog(logOf({}));
  const struct {
    const char* name;
    std::vector<double> points;
    int wantIndex;  // -1: none
  } kCases[] = {
      {"same points", {1, 2, 3}, 0},
      {"other order", {3, 2, 1}, -1},
      {"a prefix", {1, 2}, -1},
      {"longer", {1, 2, 3, 4}, -1},
      {"no points", {}, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto log = logOf(c.points);
    const CTrackLog* want = c.wantIndex < 0 ? nullptr : g.TrackLogs()[static_cast<std::size_t>(c.wantIndex)].get();
    EXPECT_EQ(FindDuplicateTrackLog(*log, g), want);
  }
  EXPECT_EQ(FindDuplicateTrackLog(*g.TrackLogs()[1], g), nullptr);
}

TEST(TrekEditRules, ForcedAndGatedExtensions) {
  const struct {
    fs::path in;
    const char* ext;
    fs::path forced;
    bool gate;
  } kCases[] = {
      {"/d/walk", ".pmd", "/d/walk.pmd", false},
      {"/d/walk.PMD", ".pmd", "/d/walk.pmd", true},
      {"/d/walk.ptd", ".pmd", "/d/walk.pmd", true},
      {"/d/walk.pm", ".ptd", "/d/walk.ptd", false},
      {"/d/a.b.txt", ".ptd", "/d/a.b.ptd", false},
      {"/d.x/walk", ".pmd", "/d.x/walk.pmd", false},
      {"/d.pmd/walk", ".pmd", "/d.pmd/walk.pmd", false},
      {"/d/\xE5\xB1\xB1.pTd", ".ptd", "/d/\xE5\xB1\xB1.ptd", true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in.string());
    EXPECT_EQ(trek::ForceExtension(c.in, c.ext), c.forced);
    EXPECT_EQ(trek::HasTrekExtension(c.in), c.gate);
  }
}

}  // namespace
