// GPX exchange: hand-written GPX 1.0 and 1.1 files read into trek groups, what is reported,
// what is refused, the structure of written files and round trips through trek files.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <vector>

#include "common/ScopedZone.h"
#include "common/TestUtil.h"
#include "platform/Codepage.h"
#include "trek/CTrekData.h"
#include "trek/GpxFile.h"
#include "trek/TrackStatistics.h"
#include "trek/TrekFile.h"

namespace {

std::string cp932(const char* utf8) { return platform::cp932::fromUtf8(utf8).text; }

std::string gpx11(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<gpx version=\"1.1\" creator=\"phone\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n" +
         body + "</gpx>\n";
}

std::string gpx10(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n"
         "<gpx version=\"1.0\" creator=\"old\" xmlns=\"http://www.topografix.com/GPX/1/0\">\n" +
         body + "</gpx>\n";
}

double degrees(const DmsAngle& a) { return a.ToDegrees(); }

using ScopedZone = testutil::CScopedZone;

// Receiver seconds of a UTC time given as seconds since 1970.
std::int32_t receiverSeconds(long long unix) { return static_cast<std::int32_t>(unix - gpx::kReceiverEpochUnix); }

}  // namespace

TEST(GpxRead, FilesOfBothVersions) {
  struct SCase {
    const char* what;
    std::string file;
    std::function<void(const SGpxReadResult&)> check;
  };
  const std::vector<SCase> cases = {
      {"1.1 waypoints and a track of two segments",
       gpx11("<metadata><name>北アルプス</name><time>2024-01-01T00:00:00Z</time></metadata>\n"
             "<wpt lat=\"36.2893\" lon=\"137.6479\"><ele>3190.5</ele><time>2024-08-01T01:00:00Z</time>"
             "<name>奥穂高岳</name><cmt>山頂</cmt><desc>日本第三の高峰</desc><sym>Summit</sym></wpt>\n"
             "<wpt lat=\"33.5\" lon=\"70.25\"><name>PEAK-1</name></wpt>\n"
             "<trk><name>Day 1</name><desc>walk</desc><cmt>sunny</cmt>"
             "<trkseg><trkpt lat=\"36.1\" lon=\"137.1\"><ele>1500</ele><time>2024-08-01T00:00:00Z</time></trkpt>"
             "<trkpt lat=\"36.2\" lon=\"137.2\"><time>2024-08-01T09:30:15+09:00</time></trkpt></trkseg>"
             "<trkseg><trkpt lat=\"36.3\" lon=\"137.3\"/><trkpt lat=\"36.4\" lon=\"137.4\">"
             "<time>2024-08-01T00:10:00.750Z</time></trkpt></trkseg></trk>\n"),
       [](const SGpxReadResult& r) {
         ASSERT_TRUE(r.waypoints && r.tracks);
         EXPECT_EQ(r.notice, "");
         EXPECT_EQ(r.waypoints->GroupName(), cp932("北アルプス"));
         EXPECT_EQ(r.tracks->GroupName(), cp932("北アルプス"));
         EXPECT_EQ(r.waypoints->Kind(), CTrekData::kWaypointGroup);
         EXPECT_EQ(r.tracks->Kind(), CTrekData::kTrackLogGroup);
         EXPECT_EQ(r.tracks->IsModified(), 1);
         EXPECT_EQ(r.tracks->FilePath(), "");
         ASSERT_EQ(r.waypoints->Waypoints().size(), 2u);
         const CMarkerPoint& w = *r.waypoints->Waypoints()[0];
         EXPECT_EQ(w.name, cp932("奥穂高岳"));
         EXPECT_EQ(w.comment, cp932("山頂"));
         EXPECT_EQ(w.description1, cp932("日本第三の高峰"));
         EXPECT_EQ(w.gpsName, "");
         EXPECT_DOUBLE_EQ(w.altitude, 3190.5);
         EXPECT_NEAR(degrees(w.latitude), 36.2893, 1e-9);
         EXPECT_NEAR(degrees(w.longitude), 137.6479, 1e-9);
         const CMarkerPoint& peak = *r.waypoints->Waypoints()[1];
         EXPECT_NEAR(degrees(peak.latitude), 33.5, 1e-9);
         EXPECT_NEAR(degrees(peak.longitude), 70.25, 1e-9);
         EXPECT_EQ(peak.gpsName, "PEAK-1");
         EXPECT_EQ(peak.altitude, trek::kNoAltitude);
         ASSERT_EQ(r.tracks->TrackLogs().size(), 2u);
         const CTrackLog& a = *r.tracks->TrackLogs()[0];
         const CTrackLog& b = *r.tracks->TrackLogs()[1];
         EXPECT_EQ(a.name, "Day 1");
         EXPECT_EQ(b.name, "Day 1 2");
         EXPECT_EQ(a.description1, "walk");
         EXPECT_EQ(a.description2, "sunny");
         ASSERT_EQ(a.Points().size(), 2u);
         ASSERT_EQ(b.Points().size(), 2u);
         EXPECT_EQ(a.Points()[0].time.ToReceiverSeconds(), receiverSeconds(1722470400));
         EXPECT_EQ(a.Points()[1].time.ToReceiverSeconds(), receiverSeconds(1722470400 + 30 * 60 + 15));
         EXPECT_DOUBLE_EQ(a.Points()[0].altitude, 1500.0);
         EXPECT_EQ(a.Points()[1].altitude, trek::kNoAltitude);
         EXPECT_EQ(a.Points()[1].number, 1);
         EXPECT_FALSE(b.Points()[0].time.HasTime());
         EXPECT_EQ(b.Points()[0].number, 0);
         EXPECT_EQ(b.Points()[1].time.ToReceiverSeconds(), receiverSeconds(1722470400 + 600));
       }},
      {"1.0 with the name on the root and a track without name",
       gpx10("<name>Old file</name><wpt lat=\"35\" lon=\"139\"><name>A</name><ele>10</ele></wpt>"
             "<trk><trkseg><trkpt lat=\"35.5\" lon=\"139.5\"><time>1990-01-01T00:00:00Z</time></trkpt>"
             "</trkseg><trkseg></trkseg></trk>"),
       [](const SGpxReadResult& r) {
         ASSERT_TRUE(r.waypoints && r.tracks);
         EXPECT_EQ(r.waypoints->GroupName(), "Old file");
         ASSERT_EQ(r.tracks->TrackLogs().size(), 1u);  // the empty segment makes no log
         EXPECT_EQ(r.tracks->TrackLogs()[0]->name, cp932("トラック1"));
         EXPECT_EQ(r.tracks->TrackLogs()[0]->Points()[0].time.ToReceiverSeconds(), 86400);
       }},
      {"routes only, no name anywhere",
       gpx11("<rte><name>Ridge</name><rtept lat=\"35\" lon=\"138\"/><rtept lat=\"35.1\" lon=\"138.1\">"
             "<name>Hut</name></rtept></rte><rte><rtept lat=\"1\" lon=\"2\"/></rte>"),
       [](const SGpxReadResult& r) {
         // Routes are routes now, not loose waypoints.
         ASSERT_TRUE(r.routes);
         EXPECT_FALSE(r.waypoints);
         EXPECT_FALSE(r.tracks);
         EXPECT_EQ(r.routes->Kind(), CTrekData::kRouteGroup);
         EXPECT_EQ(r.routes->GroupName(), "walk");  // the file's stem
         ASSERT_EQ(r.routes->Routes().size(), 2u);
         const CRoute& ridge = *r.routes->Routes()[0];
         EXPECT_EQ(ridge.name, "Ridge");
         EXPECT_EQ(ridge.number, 0);
         ASSERT_EQ(ridge.points.size(), 2u);
         EXPECT_EQ(ridge.points[0].name, "Ridge 1");
         EXPECT_EQ(ridge.points[1].name, "Hut");
         EXPECT_EQ(r.routes->Routes()[1]->name, cp932("ルート2"));
         EXPECT_EQ(r.routes->Routes()[1]->points[0].name, cp932("ルート 1"));
       }},
      {"no namespace, unknown elements and extensions skipped",
       "<gpx version=\"1.1\"><wpt lat=\"35\" lon=\"138\"><extensions><x:a xmlns:x=\"urn:x\"><name>no</name>"
       "</x:a></extensions><name>yes</name></wpt><x:wpt xmlns:x=\"urn:x\" lat=\"1\" lon=\"1\"/></gpx>",
       [](const SGpxReadResult& r) {
         ASSERT_TRUE(r.waypoints);
         ASSERT_EQ(r.waypoints->Waypoints().size(), 1u);
         EXPECT_EQ(r.waypoints->Waypoints()[0]->name, "yes");
       }},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.what);
    const SGpxReadResult r = ReadGpxBytes(c.file, "/tmp/walk.gpx");
    ASSERT_TRUE(r.ok()) << r.error;
    c.check(r);
  }
}

TEST(GpxRead, WhatCannotBeKeptIsNamedInOneNotice) {
  std::string longName;
  for (int i = 0; i < 300; ++i) longName += "あ";
  const std::string file = gpx11(
      "<metadata><name>とても長いグループの名前をここに書いてみると三十文字を超えてしまいます</name></metadata>"
      "<wpt lat=\"35\" lon=\"139\"><name>Café 😀</name></wpt>"
      "<wpt lat=\"35\" lon=\"139\"><name>" + longName + "</name></wpt>"
      "<wpt lat=\"95\" lon=\"139\"><name>north of the pole</name></wpt>"
      "<wpt lon=\"139\"><name>no latitude</name></wpt>"
      "<trk><name>Łódź</name><trkseg><trkpt lat=\"35\" lon=\"139\"><time>1980-01-01T00:00:00Z</time></trkpt>"
      "</trkseg></trk>");
  const SGpxReadResult r = ReadGpxBytes(file, "trip.gpx");
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_TRUE(r.waypoints && r.tracks);
  ASSERT_EQ(r.waypoints->Waypoints().size(), 2u);
  EXPECT_EQ(r.waypoints->Waypoints()[0]->name, "Caf? ?");
  EXPECT_EQ(r.waypoints->Waypoints()[1]->name.size(), 2 * gpx::kMaxNameChars);
  EXPECT_EQ(platform::cp932::toUtf8(r.waypoints->GroupName()).text, "とても長いグループの名前をここに書いてみると三十文字を超えて");
  EXPECT_EQ(r.tracks->TrackLogs()[0]->name, "??d?");
  EXPECT_FALSE(r.tracks->TrackLogs()[0]->Points()[0].time.HasTime());
  std::string shown;  // what the notice shows of the long name
  for (std::size_t i = 0; i < gpx::kNoticeNameChars; ++i) shown += "あ";
  std::string kept;  // what the details show of it
  for (std::size_t i = 0; i < gpx::kMaxNameChars; ++i) kept += "あ";
  const std::string head = "trip.gpx を読み込みました。次の点を確認してください。";
  const std::string positions = "\n\n緯度・経度がないか正しくない、または北緯・東経でないため読み飛ばしたポイント: 2 個";
  const std::string times = "\n\nGPSの扱える範囲外のため時刻なしにしたポイント: 1 個";
  const struct {
    const char* name;
    bool waypoints;
    bool tracks;
    std::string text;
    std::string details;
  } kCases[] = {
      {"both kinds", true, true,
       head +
           "\n\nShift-JISで表せない文字を「?」に置き換えた項目:\n"
           "  ウェイポイント「Café 😀」\n"
           "  トラック「Łódź」\n\n"
           "長すぎるため切り詰めた項目:\n"
           "  ウェイポイント「" + shown + "…」\n"
           "  グループ名" + positions + times,
       "Shift-JISで表せない文字を「?」に置き換えた項目:\n"
       "  ウェイポイント「Café 😀」\n"
       "  トラック「Łódź」\n\n"
       "長すぎるため切り詰めた項目:\n"
       "  ウェイポイント「" + kept + "…」\n"
       "  グループ名"},
      {"the tracks only: the group name is theirs too", false, true,
       head +
           "\n\nShift-JISで表せない文字を「?」に置き換えた項目:\n"
           "  トラック「Łódź」\n\n"
           "長すぎるため切り詰めた項目:\n"
           "  グループ名" + times,
       ""},
      {"the waypoints only", true, false,
       head +
           "\n\nShift-JISで表せない文字を「?」に置き換えた項目:\n"
           "  ウェイポイント「Café 😀」\n\n"
           "長すぎるため切り詰めた項目:\n"
           "  ウェイポイント「" + shown + "…」\n"
           "  グループ名" + positions,
       "Shift-JISで表せない文字を「?」に置き換えた項目:\n"
       "  ウェイポイント「Café 😀」\n\n"
       "長すぎるため切り詰めた項目:\n"
       "  ウェイポイント「" + kept + "…」\n"
       "  グループ名"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const SGpxNotice n = GpxNotice(r.notes, c.waypoints, c.tracks);
    EXPECT_EQ(n.text, c.text);
    EXPECT_EQ(n.details, c.details);
  }
  EXPECT_EQ(r.notice, kCases[0].text);
  EXPECT_EQ(r.noticeDetails, kCases[0].details);
}

TEST(GpxRead, ManyItemsAreCountedInTheNoticeAndListedInTheDetails) {
  std::string body;
  for (int i = 0; i < 1500; ++i) body += "<wpt lat=\"35\" lon=\"139\"><name>é" + std::to_string(i) + "</name></wpt>";
  const SGpxReadResult r = ReadGpxBytes(gpx11(body), "many.gpx");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.waypoints->Waypoints().size(), 1500u);
  std::string text = "many.gpx を読み込みました。次の点を確認してください。\n\nShift-JISで表せない文字を「?」に置き換えた項目:";
  for (std::size_t i = 0; i < gpx::kNoticeItems; ++i) text += "\n  ウェイポイント「é" + std::to_string(i) + "」";
  EXPECT_EQ(r.notice, text + "\n  ほか 1480 件");
  std::string details = "Shift-JISで表せない文字を「?」に置き換えた項目:";
  for (std::size_t i = 0; i < gpx::kDetailItems; ++i) details += "\n  ウェイポイント「é" + std::to_string(i) + "」";
  EXPECT_EQ(r.noticeDetails, details + "\n  ほか 500 件");
}

namespace {

// One point of a table row put into a file beside a plain waypoint (so that the file is never empty).
std::string filePointing(bool track, const std::string& point) {
  const std::string anchor = "<wpt lat=\"35\" lon=\"139\"><name>anchor</name><ele>1</ele></wpt>";
  return gpx11(anchor + (track ? "<trk><trkseg>" + point + "</trkseg></trk>" : point));
}

}  // namespace

TEST(GpxRead, PointsTheModelCannotHoldAreLeftOutAndCounted) {
  const double kNone = trek::kNoAltitude;
  const std::int32_t kNoTime = TrekTime::kNoTime;
  struct SCase {
    const char* name;
    bool track;
    std::string attrs;  // of the point
    std::string children;
    bool kept;
    double altitude = 0.0;
    std::int32_t count = -1;  // track points: the time count
    std::size_t badPositions = 0, badElevations = 0, badTimes = 0, outOfRange = 0;
  };
  const std::vector<SCase> cases = {
      // Elevations: missing and non-numbers are "no altitude"; numbers off the Earth leave the point out.
      {"no ele", true, "lat=\"35\" lon=\"139\"", "", true, kNone},
      {"empty ele", true, "lat=\"35\" lon=\"139\"", "<ele> </ele>", true, kNone},
      {"NaN", true, "lat=\"35\" lon=\"139\"", "<ele>NaN</ele>", true, kNone},
      {"infinity", true, "lat=\"35\" lon=\"139\"", "<ele>-INF</ele>", true, kNone},
      {"not a number", true, "lat=\"35\" lon=\"139\"", "<ele>high</ele>", true, kNone},
      {"spaces around", true, "lat=\"35\" lon=\"139\"", "<ele> 12.5 </ele>", true, 12.5},
      {"minus zero", true, "lat=\"35\" lon=\"139\"", "<ele>-0</ele>", true, 0.0},
      {"lowest kept", true, "lat=\"35\" lon=\"139\"", "<ele>-500</ele>", true, -500.0},
      {"highest kept", true, "lat=\"35\" lon=\"139\"", "<ele>9000</ele>", true, 9000.0},
      {"below -500", true, "lat=\"35\" lon=\"139\"", "<ele>-500.01</ele>", false, 0, -1, 0, 1},
      {"1e308", true, "lat=\"35\" lon=\"139\"", "<ele>1e308</ele>", false, 0, -1, 0, 1},
      {"past the double range", true, "lat=\"35\" lon=\"139\"", "<ele>1e400</ele>", false, 0, -1, 0, 1},
      {"a waypoint without ele", false, "lat=\"35\" lon=\"139\"", "", true, kNone},
      {"a waypoint too high", false, "lat=\"35\" lon=\"139\"", "<ele>12000</ele>", false, 0, -1, 0, 1},
      // Positions: north latitudes and east longitudes below 180 only.
      {"south", true, "lat=\"-33.9\" lon=\"151.2\"", "<ele>5</ele>", false, 0, -1, 1},
      {"west", false, "lat=\"40.7\" lon=\"-74\"", "", false, 0, -1, 1},
      {"longitude -180", true, "lat=\"35\" lon=\"-180\"", "", false, 0, -1, 1},
      {"longitude 180", true, "lat=\"35\" lon=\"180\"", "", false, 0, -1, 1},
      {"north of the pole", true, "lat=\"90.5\" lon=\"139\"", "", false, 0, -1, 1},
      {"the pole and Greenwich", true, "lat=\"90\" lon=\"0\"", "", true, kNone},
      {"minus zero on the equator", true, "lat=\"-0\" lon=\"-0.0\"", "", true, kNone},
      {"a bad position and a bad ele count once", true, "lat=\"-1\" lon=\"139\"", "<ele>1e308</ele>", false, 0,
       -1, 1},
      // Times: UTC, or with their offset; dates that do not exist are counted.
      {"UTC", true, "lat=\"35\" lon=\"139\"", "<time>2024-08-01T00:00:00Z</time>", true, kNone, 1722470400},
      {"offset", true, "lat=\"35\" lon=\"139\"", "<time>2024-08-01T09:30:15+09:00</time>", true, kNone,
       1722472215},
      {"offset without colon", true, "lat=\"35\" lon=\"139\"", "<time>2024-08-01T09:30:15+0900</time>", true,
       kNone, 1722472215},
      {"west of Greenwich", true, "lat=\"35\" lon=\"139\"", "<time>2024-07-31T20:00:00-04:00</time>", true,
       kNone, 1722470400},
      {"no zone is UTC", true, "lat=\"35\" lon=\"139\"", "<time>2024-08-01T00:00:00</time>", true, kNone,
       1722470400},
      {"fractions dropped", true, "lat=\"35\" lon=\"139\"", "<time>2024-08-01T00:00:00.999Z</time>", true, kNone,
       1722470400},
      {"leap day", true, "lat=\"35\" lon=\"139\"", "<time>2024-02-29T23:59:59Z</time>", true, kNone, 1709251199},
      {"end of day", true, "lat=\"35\" lon=\"139\"", "<time>2024-07-31T24:00:00Z</time>", true, kNone,
       1722384000 + 86400},
      {"month 13", true, "lat=\"35\" lon=\"139\"", "<time>2024-13-45T00:00:00Z</time>", true, kNone, kNoTime, 0,
       0, 1},
      {"30 February", true, "lat=\"35\" lon=\"139\"", "<time>2024-02-30T12:00:00Z</time>", true, kNone, kNoTime,
       0, 0, 1},
      {"29 February of 2023", true, "lat=\"35\" lon=\"139\"", "<time>2023-02-29T12:00:00Z</time>", true, kNone,
       kNoTime, 0, 0, 1},
      {"minute 60", true, "lat=\"35\" lon=\"139\"", "<time>2024-08-01T10:60:00Z</time>", true, kNone, kNoTime, 0,
       0, 1},
      {"no time of day", true, "lat=\"35\" lon=\"139\"", "<time>2024-08-01</time>", true, kNone, kNoTime, 0, 0,
       1},
      {"words", true, "lat=\"35\" lon=\"139\"", "<time>yesterday</time>", true, kNone, kNoTime, 0, 0, 1},
      {"empty time", true, "lat=\"35\" lon=\"139\"", "<time></time>", true, kNone, kNoTime},
      {"before the receiver epoch", true, "lat=\"35\" lon=\"139\"", "<time>1989-12-30T23:59:59Z</time>", true,
       kNone, kNoTime, 0, 0, 0, 1},
      {"the receiver epoch", true, "lat=\"35\" lon=\"139\"", "<time>1989-12-31T00:00:00Z</time>", true, kNone,
       631065600},
      {"past 2038", true, "lat=\"35\" lon=\"139\"", "<time>2038-01-19T03:14:08Z</time>", true, kNone, kNoTime, 0,
       0, 0, 1},
      {"a waypoint's time is not kept, so not counted", false, "lat=\"35\" lon=\"139\"",
       "<time>2024-13-45T00:00:00Z</time>", true, kNone},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string point = std::string(c.track ? "<trkpt " : "<wpt ") + c.attrs + ">" + c.children +
                              (c.track ? "</trkpt>" : "</wpt>");
    const SGpxReadResult r = ReadGpxBytes(filePointing(c.track, point), "row.gpx");
    ASSERT_TRUE(r.ok()) << r.error;
    const std::size_t wanted = c.kept ? 1 : 0;
    const CTrackPoint* tp = nullptr;
    const CMarkerPoint* wp = nullptr;
    if (c.track) {
      ASSERT_EQ(r.tracks ? r.tracks->TrackLogs().size() : 0u, wanted);
      if (c.kept) tp = &r.tracks->TrackLogs()[0]->Points().at(0);
    } else {
      ASSERT_EQ(r.waypoints->Waypoints().size(), 1 + wanted);
      if (c.kept) wp = r.waypoints->Waypoints()[1].get();
    }
    if (tp || wp) {
      const double altitude = tp ? tp->altitude : wp->altitude;
      EXPECT_EQ(altitude, c.altitude);
      EXPECT_FALSE(altitude == 0.0 && std::signbit(altitude));
      const DmsAngle& lat = tp ? tp->latitude : wp->latitude;
      const DmsAngle& lon = tp ? tp->longitude : wp->longitude;
      EXPECT_FALSE(std::signbit(lat.seconds) || std::signbit(lon.seconds) || lat.degrees < 0 || lon.degrees < 0);
      EXPECT_EQ(lat.FormatText().find('-'), std::string::npos) << lat.FormatText();
    }
    if (tp) {
      EXPECT_EQ(tp->time.Count(), c.count);
    }
    EXPECT_EQ(r.notes.badPositions[c.track ? 1 : 0], c.badPositions);
    EXPECT_EQ(r.notes.badElevations[c.track ? 1 : 0], c.badElevations);
    EXPECT_EQ(r.notes.badTimes, c.badTimes);
    EXPECT_EQ(r.notes.timesOutOfRange, c.outOfRange);
    EXPECT_EQ(r.notice.empty(), c.badPositions + c.badElevations + c.badTimes + c.outOfRange == 0) << r.notice;
  }
  // The lines of the notice for what was left out.
  const SGpxReadResult r = ReadGpxBytes(
      filePointing(true, "<trkpt lat=\"35\" lon=\"139\"><ele>99999</ele></trkpt>"
                         "<trkpt lat=\"35\" lon=\"139\"><time>2024-13-45T00:00:00Z</time></trkpt>"),
      "row.gpx");
  EXPECT_EQ(r.notice,
            "row.gpx を読み込みました。次の点を確認してください。\n\n"
            "高度が -500 m から 9000 m の範囲にないため読み飛ばしたポイント: 1 個\n\n"
            "日時が正しくないため時刻なしにしたポイント: 1 個");
}

TEST(GpxRead, BadFilesAreRefusedWithTheirMessage) {
  const std::string tooBig(gpx::kMaxFileBytes + 1, ' ');
  struct SCase {
    const char* what;
    std::string bytes;
    std::string error;
  };
  const std::vector<SCase> cases = {
      {"unclosed element", gpx11("<wpt lat=\"1\" lon=\"2\"><name>x</wpt>"),
       "bad.gpx はGPXファイルとして読み込めません。\n3行 34桁: Opening and ending tag mismatch."},
      {"not XML at all", std::string("\x1bVantoria25000 PointDataFile", 28),
       "bad.gpx はGPXファイルとして読み込めません。\n1行 1桁: Start tag expected."},
      {"empty", "", "bad.gpx はGPXファイルとして読み込めません。\n1行 0桁: Premature end of document."},
      {"another root", "<kml xmlns=\"http://www.opengis.net/kml/2.2\"/>", "bad.gpx はGPXファイルではありません。"},
      {"gpx of another namespace", "<gpx xmlns=\"urn:other\"/>", "bad.gpx はGPXファイルではありません。"},
      {"entity declarations",
       "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
       "<gpx><wpt lat=\"1\" lon=\"1\"><name>&b;</name></wpt></gpx>",
       "bad.gpx はエンティティ宣言を含むため読み込めません。"},
      {"nothing to read", gpx11("<metadata><name>x</name></metadata>"),
       "bad.gpx にはウェイポイントもトラックもルートもありません。"},
      {"garbage after the root", gpx11("<wpt lat=\"1\" lon=\"2\"/>") + "<more/>",
       "bad.gpx はGPXファイルとして読み込めません。\n4行 7桁: Extra content at end of document."},
      {"too big", tooBig, "bad.gpx は大きすぎるため読み込めません。"},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.what);
    const SGpxReadResult r = ReadGpxBytes(c.bytes, "bad.gpx");
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.waypoints);
    EXPECT_FALSE(r.tracks);
    EXPECT_EQ(r.error, c.error);
  }
}

namespace {

// Children allowed in each element of GPX 1.1 as far as the writer uses them, in schema order.
const std::map<QString, std::vector<QString>> kChildOrder = {
    {"gpx", {"metadata", "wpt", "rte", "trk", "extensions"}},
    {"metadata", {"name", "desc", "author", "copyright", "link", "time", "keywords", "bounds", "extensions"}},
    {"wpt", {"ele", "time", "magvar", "geoidheight", "name", "cmt", "desc", "src", "link", "sym", "type"}},
    {"trkpt", {"ele", "time", "magvar", "geoidheight", "name", "cmt", "desc", "src", "link", "sym", "type"}},
    {"trk", {"name", "cmt", "desc", "src", "link", "number", "type", "extensions", "trkseg"}},
    {"trkseg", {"trkpt", "extensions"}},
};
const std::vector<QString> kRepeatable = {"wpt", "trk", "trkseg", "trkpt", "link"};

// Checks the GPX 1.1 structure of `xml`; returns the first fault, empty when none.
QString structureFault(const std::string& xml) {
  QXmlStreamReader r(QByteArray::fromStdString(xml));
  const QString ns = "http://www.topografix.com/GPX/1/1";
  struct SLevel {
    QString name;
    std::size_t lastIndex = 0;
    QString lastChild;
  };
  std::vector<SLevel> stack;
  while (!r.atEnd()) {
    r.readNext();
    if (r.isStartDocument() && r.documentEncoding().compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0) {
      return "encoding " + r.documentEncoding().toString();
    }
    if (r.isStartElement()) {
      const QString name = r.name().toString();
      if (r.namespaceUri() != ns) return "namespace of " + name;
      if (stack.empty()) {
        if (name != "gpx") return "root " + name;
        if (r.attributes().value("version") != QLatin1String("1.1")) return "version";
        if (r.attributes().value("creator") != QLatin1String("Vantoria")) return "creator";
      } else {
        SLevel& parent = stack.back();
        const auto it = kChildOrder.find(parent.name);
        if (it == kChildOrder.end()) return name + " inside the simple element " + parent.name;
        const auto& order = it->second;
        const auto at = std::find(order.begin(), order.end(), name);
        if (at == order.end()) return name + " not allowed in " + parent.name;
        const std::size_t index = static_cast<std::size_t>(at - order.begin());
        if (index < parent.lastIndex) return name + " out of order in " + parent.name;
        const bool repeatable = std::find(kRepeatable.begin(), kRepeatable.end(), name) != kRepeatable.end();
        if (name == parent.lastChild && !repeatable) return name + " twice in " + parent.name;
        parent.lastIndex = index;
        parent.lastChild = name;
      }
      if (name == "wpt" || name == "trkpt") {
        bool okLat = false;
        bool okLon = false;
        const double lat = r.attributes().value("lat").toDouble(&okLat);
        const double lon = r.attributes().value("lon").toDouble(&okLon);
        if (!okLat || !okLon || lat < -90 || lat > 90 || lon < -180 || lon >= 180) return "position of " + name;
      }
      stack.push_back({name, 0, {}});
    } else if (r.isEndElement()) {
      stack.pop_back();
    } else if (r.isCharacters() && !r.isWhitespace()) {
      const QString parent = stack.back().name;
      const QString text = r.text().toString();
      if (parent == "time" && !QDateTime::fromString(text, Qt::ISODate).isValid()) return "time " + text;
      if (parent == "ele" && (text.contains('e') || text.contains('E'))) return "ele not a decimal: " + text;
    }
  }
  if (r.hasError()) return r.errorString();
  return {};
}

std::unique_ptr<CTrekData> sampleTracks() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kTrackLogGroup);
  g->SetGroupName(cp932("槍ヶ岳 2024"));
  const char* names[] = {"槍沢ルート", "Descent <&> \"quoted\"", ""};
  for (int l = 0; l < 3; ++l) {
    auto log = std::make_unique<CTrackLog>();
    log->name = cp932(names[l]);
    log->description1 = l == 0 ? cp932("一日目") : "";
    log->description2 = l == 1 ? "line one\r\nline two" : "";
    for (int i = 0; i < 50; ++i) {
      CTrackPoint p;
      p.number = i;
      p.altitude = 1500.25 + i * 3.5 - l * 700.0;
      p.latitude = DmsAngle::FromDegrees(36.3421987654 + i * 0.0001234567 - l * 10.0);
      p.longitude = DmsAngle::FromDegrees(137.6478123456 - i * 0.0000987654 + l * 20.0);
      p.time = (i % 7 == 3) ? TrekTime(TrekTime::kNoTime) : TrekTime::FromReceiverSeconds(1000000000 + i * 5 + l);
      log->AppendPoint(p);
    }
    g->AppendTrackLog(std::move(log));
  }
  return g;
}

std::unique_ptr<CTrekData> sampleWaypoints() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kWaypointGroup);
  g->SetGroupName(cp932("小屋"));
  for (int i = 0; i < 4; ++i) {
    auto w = std::make_unique<CMarkerPoint>();
    w->name = cp932(i % 2 ? "殺生ヒュッテ" : "HUT-2");
    w->comment = i == 1 ? cp932("水場あり\r\n営業 7月〜10月") : "";
    w->description1 = i == 2 ? "tel" : "";
    w->altitude = 2850.0 + i;
    w->SetPosition(DmsAngle(36, 20, 12.345678 + i), DmsAngle(137, 38, 55.5 - i), Datum::Wgs84);
    g->AppendWaypoint(std::move(w));
  }
  return g;
}

}  // namespace

TEST(GpxWrite, WrittenFilesFollowTheGpx11Structure) {
  auto tracks = sampleTracks();
  auto waypoints = sampleWaypoints();
  auto empty = std::make_unique<CTrekData>();
  empty->SetKind(CTrekData::kTrackLogGroup);
  for (const CTrekData* g : {tracks.get(), waypoints.get(), empty.get()}) {
    const std::string xml = WriteGpxBytes(*g);
    EXPECT_EQ(structureFault(xml), QString()) << xml.substr(0, 2000);
    EXPECT_NE(xml.find("xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
                       "http://www.topografix.com/GPX/1/1/gpx.xsd\""),
              std::string::npos);
  }
  const std::string xml = WriteGpxBytes(*tracks);
  EXPECT_NE(xml.find("<time>2021-09-08T01:46:40Z</time>"), std::string::npos);  // 1e9 receiver seconds
}

TEST(GpxWrite, AltitudesThatAreNoHeightAreLeftOut) {
  struct Case {
    const char* what;
    double waypoint;
    double trackPoint;
    bool written;
  };
  const Case cases[] = {
      {"a height", 1234.5, 1234.5, true},
      {"sea level", 0.0, 0.0, true},
      {"below sea level", -3.25, -3.25, true},
      {"the highest the reader takes", 9000.0, 9000.0, true},
      {"the lowest the reader takes", -500.0, -500.0, true},
      {"above what the reader takes", 9000.5, 12000.0, false},
      {"below what the reader takes", -500.5, -1.0e6, false},
      {"the receiver's no-altitude value", 1.0e25, 1.0e25, false},
      {"not a number", std::nan(""), std::nan(""), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto waypoints = sampleWaypoints();
    for (auto& w : waypoints->Waypoints()) w->altitude = c.waypoint;
    auto tracks = sampleTracks();
    for (auto& log : tracks->TrackLogs())
      for (CTrackPoint& p : log->Points()) p.altitude = c.trackPoint;
    for (const CTrekData* g : {waypoints.get(), tracks.get()}) {
      const std::string xml = WriteGpxBytes(*g);
      EXPECT_EQ(xml.find("<ele>") != std::string::npos, c.written);
      EXPECT_EQ(structureFault(xml), QString());
    }
  }
  // Waypoints converted from older trek files hold 100000 for "unknown".
  auto waypoints = sampleWaypoints();
  for (auto& w : waypoints->Waypoints()) w->altitude = 100000.0;
  EXPECT_EQ(WriteGpxBytes(*waypoints).find("<ele>"), std::string::npos);
}

TEST(GpxWrite, PositionsAtTheEdgesReadBack) {
  const struct {
    const char* name;
    double lat, lon;
    const char* attrs;
  } kCases[] = {
      {"just below 180 east", 35.0, 179.99999999999, "lat=\"35\" lon=\"179.9999999999\""},
      {"the pole", 90.0, 0.0, "lat=\"90\" lon=\"0\""},
      {"the equator just east of Greenwich", 0.000000000001, 0.00000000004, "lat=\"0\" lon=\"0\""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CTrekData g;
    g.SetKind(CTrekData::kWaypointGroup);
    auto w = std::make_unique<CMarkerPoint>();
    w->name = "P";
    w->SetPosition(DmsAngle::FromDegrees(c.lat), DmsAngle::FromDegrees(c.lon), Datum::Wgs84);
    g.AppendWaypoint(std::move(w));
    const std::string xml = WriteGpxBytes(g);
    EXPECT_NE(xml.find(std::string("<wpt ") + c.attrs), std::string::npos) << xml;
    EXPECT_EQ(structureFault(xml), QString());
    const SGpxReadResult back = ReadGpxBytes(xml, "edge.gpx");
    ASSERT_TRUE(back.ok() && back.waypoints) << back.error;
    EXPECT_EQ(back.waypoints->Waypoints().size(), 1u);
    EXPECT_EQ(back.notice, "");
  }
}

TEST(GpxWrite, RoundTripsThroughTrekFilesKeepPositionsTimesAndNames) {
  for (auto make : {sampleTracks, sampleWaypoints}) {
    const std::unique_ptr<CTrekData> original = make();
    // .ptd/.pmd bytes -> group -> .gpx -> group -> .ptd/.pmd bytes
    const STrekReadResult stored = ReadTrekBytes(WriteTrekBytes(*original), "in");
    ASSERT_TRUE(stored.ok());
    const SGpxReadResult back = ReadGpxBytes(WriteGpxBytes(*stored.group), "x.gpx");
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_EQ(back.notice, "");
    const CTrekData& g = original->Kind() == CTrekData::kWaypointGroup ? *back.waypoints : *back.tracks;
    const STrekReadResult again = ReadTrekBytes(WriteTrekBytes(g), "out");
    ASSERT_TRUE(again.ok());
    const CTrekData& a = *stored.group;
    const CTrekData& b = *again.group;
    EXPECT_EQ(b.GroupName(), a.GroupName());
    ASSERT_EQ(b.Waypoints().size(), a.Waypoints().size());
    for (std::size_t i = 0; i < a.Waypoints().size(); ++i) {
      const CMarkerPoint& x = *a.Waypoints()[i];
      const CMarkerPoint& y = *b.Waypoints()[i];
      EXPECT_EQ(y.name, x.name);
      EXPECT_EQ(y.comment, x.comment);
      EXPECT_EQ(y.description1, x.description1);
      EXPECT_NEAR(y.altitude, x.altitude, 1e-6);
      EXPECT_NEAR(degrees(y.latitude), degrees(x.latitude), 1e-7);
      EXPECT_NEAR(degrees(y.longitude), degrees(x.longitude), 1e-7);
    }
    ASSERT_EQ(b.TrackLogs().size(), a.TrackLogs().size());
    for (std::size_t l = 0; l < a.TrackLogs().size(); ++l) {
      const CTrackLog& x = *a.TrackLogs()[l];
      const CTrackLog& y = *b.TrackLogs()[l];
      if (!x.name.empty()) {
        EXPECT_EQ(y.name, x.name);
      }
      EXPECT_EQ(y.description1, x.description1);
      EXPECT_EQ(y.description2, x.description2);
      ASSERT_EQ(y.Points().size(), x.Points().size());
      for (std::size_t i = 0; i < x.Points().size(); ++i) {
        const CTrackPoint& p = x.Points()[i];
        const CTrackPoint& q = y.Points()[i];
        EXPECT_EQ(q.time.Count(), p.time.Count()) << l << " " << i;
        EXPECT_EQ(q.number, p.number);
        EXPECT_NEAR(q.altitude, p.altitude, 1e-6);
        EXPECT_NEAR(degrees(q.latitude), degrees(p.latitude), 1e-7);
        EXPECT_NEAR(degrees(q.longitude), degrees(p.longitude), 1e-7);
      }
    }
  }
}

TEST(GpxWrite, SavingOverAFileReplacesItWhole) {
  const QTemporaryDir dir;
  const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "a.gpx";
  ASSERT_TRUE(WriteGpxFileAtomic(file, *sampleWaypoints()).ok());
  ASSERT_TRUE(WriteGpxFileAtomic(file, *sampleTracks()).ok());
  const SGpxReadResult r = ReadGpxFile(file);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_FALSE(r.waypoints);
  ASSERT_TRUE(r.tracks);
  EXPECT_EQ(r.tracks->TrackLogs().size(), 3u);
  const STrekWriteResult bad = WriteGpxFileAtomic(file / "nowhere.gpx", *sampleTracks());
  EXPECT_FALSE(bad.ok());
  EXPECT_TRUE(ReadGpxFile(file).ok());
}

TEST(GpxCli, ConvertBetweenTrekFilesAndGpx) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  auto put = [&](const char* name, const std::string& bytes) {
    QFile f(QString::fromStdString((root / name).string()));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return (root / name).string();
  };
  const std::string both = put("both.gpx", gpx11("<wpt lat=\"35\" lon=\"139\"><name>A</name></wpt>"
                                                 "<trk><trkseg><trkpt lat=\"35\" lon=\"139\"/></trkseg></trk>"));
  const std::string onlyTracks = put("tracks.gpx", gpx11("<trk><name>Łódź</name><trkseg><trkpt lat=\"35\" "
                                                         "lon=\"139\"/></trkseg></trk>"));
  ASSERT_TRUE(WriteTrekFileAtomic(root / "in.ptd", *sampleTracks()).ok());
  const std::string ptd = (root / "in.ptd").string();
  auto out = [&](const char* name) { return (root / name).string(); };
  struct SCase {
    std::vector<std::string> args;
    int status;
    std::string errPart;  // in stderr; for success the kind and counts are checked instead
    int kind = 0;
    int waypoints = 0;
    int trackLogs = 0;
  };
  const std::vector<SCase> cases = {
      {{both, out("a.pmd")}, 1, "holds both waypoints and tracks; use --waypoints or --tracks"},
      {{both, out("a.pmd"), "--waypoints"}, 0, "", 1, 1, 0},
      {{both, out("a.ptd"), "--tracks"}, 0, "", 3, 0, 1},
      {{both, out("b.ptd"), "--waypoints"}, 1, "waypoints go into a .pmd file"},
      {{onlyTracks, out("c.pmd")}, 1, "tracks go into a .ptd file"},
      {{onlyTracks, out("c.ptd")}, 0, "トラック「Łódź」", 3, 0, 1},
      {{onlyTracks, out("c.ptd")}, 1, "exists (use --force to overwrite)"},
      {{ptd, out("d.gpx")}, 0, "", 3, 0, 3},
      {{out("d.gpx"), out("e.ptd")}, 0, "", 3, 0, 3},
      {{out("d.gpx"), out("e.gpx")}, 1, "one of IN and OUT must be a .pmd or .ptd file"},
      {{put("bad.gpx", "<gpx"), out("f.ptd")}, 1, "bad.gpx はGPXファイルとして読み込めません。"},
  };
  for (const SCase& c : cases) {
    std::vector<std::string> args = {"trek", "convert"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const testutil::SRunResult r = testutil::runCli(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.errPart.empty()) {
      EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
    if (c.status != 0) continue;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(o["kind"].toInt(), c.kind) << r.out;
    EXPECT_EQ(o["waypoints"].toInt(), c.waypoints);
    EXPECT_EQ(o["trackLogs"].toInt(), c.trackLogs);
  }
  // The track logs came back whole from the .ptd -> .gpx -> .ptd trip.
  const STrekReadResult e = ReadTrekFile(root / "e.ptd");
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e.group->TrackLogs()[0]->Points().size(), 50u);
  EXPECT_EQ(e.group->TrackLogs()[0]->Points()[49].time, sampleTracks()->TrackLogs()[0]->Points()[49].time);
}

namespace {

// A track of one point at 2024-08-01 00:00:00 UTC and one without time.
const std::string kZoneTrack = gpx11(
    "<trk><name>T</name><trkseg><trkpt lat=\"35.5\" lon=\"139.5\"><ele>12</ele>"
    "<time>2024-08-01T09:00:00+09:00</time></trkpt><trkpt lat=\"35.6\" lon=\"139.6\"/></trkseg></trk>");

// The trek file a machine at UTC+9 has always made of kZoneTrack.
std::string madeInJapan() {
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("zone");
  auto log = std::make_unique<CTrackLog>();
  log->name = "T";
  log->gpsName = "T";
  const double lats[] = {35.5, 35.6};
  const double lons[] = {139.5, 139.6};
  for (int i = 0; i < 2; ++i) {
    CTrackPoint p;
    p.number = i;
    p.altitude = i == 0 ? 12.0 : trek::kNoAltitude;
    p.SetPosition(DmsAngle::FromDegrees(lats[i]), DmsAngle::FromDegrees(lons[i]), Datum::Wgs84);
    p.time = i == 0 ? TrekTime(1722470400) : TrekTime(TrekTime::kNoTime);
    log->AppendPoint(p);
  }
  g.AppendTrackLog(std::move(log));
  return WriteTrekBytes(g);
}

}  // namespace

TEST(GpxZones, TheSameFileMakesTheSameTrekFileInEveryZone) {
  const std::string japan = madeInJapan();
  const struct {
    const char* zone;
    const char* gpxTime;  // written back: always UTC
  } kCases[] = {
      {"Asia/Tokyo", "2024-08-01T00:00:00Z"},
      {"UTC", "2024-08-01T00:00:00Z"},
      {"America/New_York", "2024-08-01T00:00:00Z"},
      {"Pacific/Chatham", "2024-08-01T00:00:00Z"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.zone);
    ScopedZone z(c.zone);
    const SGpxReadResult r = ReadGpxBytes(kZoneTrack, "zone.gpx");
    ASSERT_TRUE(r.ok() && r.tracks) << r.error;
    EXPECT_EQ(r.notice, "");
    EXPECT_EQ(r.tracks->TrackLogs()[0]->Points()[0].time.Count(), 1722470400);
    EXPECT_EQ(WriteTrekBytes(*r.tracks), japan);
    const std::string back = WriteGpxBytes(*r.tracks);
    EXPECT_NE(back.find(std::string("<time>") + c.gpxTime + "</time>"), std::string::npos) << back;
  }
}

TEST(GpxZones, TheCliConvertsAlikeAndLabelsTrueUtcWithZ) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  testutil::writeFile(root / "zone.gpx", kZoneTrack);
  const std::string japan = madeInJapan();
  const struct {
    const char* zone;
    const char* iso;  // the local time with its offset
  } kCases[] = {
      {"Asia/Tokyo", "2024-08-01T09:00:00+09:00"},
      {"UTC", "2024-08-01T00:00:00Z"},
      {"America/New_York", "2024-07-31T20:00:00-04:00"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.zone);
    ScopedZone z(c.zone);
    const std::filesystem::path out = root / ("zone" + std::to_string(&c - kCases) + ".ptd");
    const testutil::SRunResult conv = testutil::runCli({"trek", "convert", (root / "zone.gpx").string(), out.string()});
    ASSERT_EQ(conv.status, 0) << conv.err;
    EXPECT_EQ(testutil::readFile(out), japan);
    const testutil::SRunResult show = testutil::runCli({"trek", "show", out.string()});
    ASSERT_EQ(show.status, 0) << show.err;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(show.out)).object();
    const QJsonObject time = o["trackLogs"].toArray()[0].toObject()["points"].toArray()[0].toObject()["time"].toObject();
    EXPECT_EQ(time["count"].toInt(), 1722470400);
    EXPECT_EQ(time["iso8601"].toString().toStdString(), c.iso);
    EXPECT_EQ(time["receiverSeconds"].toInt(), 1722470400 - 631065600);
  }
}

TEST(GpxCli, TheNoticeNamesWhatWasConvertedWithLongNamesCut) {
  const QTemporaryDir dir;
  const std::filesystem::path root(dir.path().toStdString());
  std::string huge;
  huge.reserve(9000000);
  for (int i = 0; i < 3000000; ++i) huge += "あ";
  testutil::writeFile(root / "both.gpx",
                      gpx11("<wpt lat=\"35\" lon=\"139\"><name>" + huge + "</name></wpt>"
                            "<wpt lat=\"-35\" lon=\"139\"/>"
                            "<trk><name>Łódź</name><trkseg><trkpt lat=\"35\" lon=\"139\"/></trkseg></trk>"));
  std::string shown;
  for (std::size_t i = 0; i < gpx::kNoticeNameChars; ++i) shown += "あ";
  const struct {
    const char* flag;
    const char* out;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  } kCases[] = {
      {"--tracks", "t.ptd", {"トラック「Łódź」"}, {"ウェイポイント", "読み飛ばした"}},
      {"--waypoints", "w.pmd", {"ウェイポイント「" + shown + "…」", "読み飛ばしたポイント: 1 個"}, {"トラック"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.flag);
    const testutil::SRunResult r =
        testutil::runCli({"trek", "convert", (root / "both.gpx").string(), (root / c.out).string(), c.flag});
    ASSERT_EQ(r.status, 0) << r.err.substr(0, 500);
    EXPECT_LT(r.err.size(), 2000u);
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const std::string notice = o["notice"].toString().toStdString();
    EXPECT_EQ(r.err, "vantoria-cli: " + notice + "\n");
    for (const std::string& p : c.present) EXPECT_NE(notice.find(p), std::string::npos) << p << "\n" << notice;
    for (const std::string& a : c.absent) EXPECT_EQ(notice.find(a), std::string::npos) << a << "\n" << notice;
  }
}
