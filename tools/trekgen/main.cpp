// vantoria-trekgen: writes the sample trek files that go with the sample map data.
//
//   treks/peaks.pmd   waypoints: peaks, huts and passes on the 1:25,000 sample sheets
//   treks/tracks.ptd  two track logs that cross sheet borders (one the border between the areas
//                     5438 and 5439 at 139E), with a time and an altitude at every point
//
// Positions are chosen in the Tokyo datum, on which the sheets are drawn, and stored in WGS-84.
// Usage: vantoria-trekgen --out DIR [--maps SAMPLE_DIR]
#include <QCoreApplication>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "trek/CTrekData.h"
#include "trek/TrekFile.h"

namespace {

std::string sjis(const char* utf8) { return platform::cp932::fromUtf8(utf8).text; }

DmsAngle dms(int d, int m, double s) { return DmsAngle(d, m, s); }

// 1:25,000 sheets of the sample data: 5' x 7'30" each, named by their mesh code.
struct SSheetName {
  const char* mesh;
  const char* name25000;
  const char* name50000;  // the 1:50,000 sheet holding it
};
const SSheetName kSheets[] = {
    {"543836", "柚ノ木", "河原田"}, {"543837", "下河原", "河原田"}, {"543930", "松葉台", "松葉"},
    {"543846", "大日向", "湖城"},   {"543847", "湖北", "湖城"},     {"543940", "霞野", "霞野"},
    {"543856", "鷹ノ巣山", "湖城"}, {"543857", "黒沢", "湖城"},     {"543950", "東小野", "霞野"},
};

// Secondary mesh code of a Tokyo-datum position (rows of 5', columns of 7'30").
std::string meshOf(double latSec, double lonSec) {
  const int latMin = static_cast<int>(latSec / 60);
  const int lonMin = static_cast<int>(lonSec / 60);
  const int p = latMin / 40;             // primary row: 40' bands
  const int u = lonMin / 60 - 100;       // primary column: whole degrees from 100E
  const int row = (latMin % 40) / 5;
  const int col = static_cast<int>((lonSec - (u + 100) * 3600.0) / 450.0);
  return std::to_string(p) + std::to_string(u) + std::to_string(row) + std::to_string(col);
}

struct SWaypointSpec {
  const char* name;
  const char* gpsName;
  int latD, latM;
  double latS;
  int lonD, lonM;
  double lonS;
  double altitude;
  std::int32_t symbol;
  const char* description1;
  const char* description2;
  const char* comment;
};

// Receiver symbol numbers, stored negated.
constexpr std::int32_t kSummit = -150;
constexpr std::int32_t kLodge = -173;
constexpr std::int32_t kPass = -18;

const SWaypointSpec kWaypoints[] = {
    {"鷹ノ巣山", "TAKANOSU", 36, 27, 40.0, 138, 48, 20.0, 1736.4, kSummit, "山頂", "二等三角点",
     "山頂は広く、北側の展望が良い。\r\n三角点は東の端にある。"},
    {"黒沢岳", "KUROSAWA", 36, 28, 10.0, 138, 55, 50.0, 1820.0, kSummit, "山頂", "",
     "岩場の先が頂上。\r\n積雪期は東尾根から。"},
    {"東小野山", "HIGASHIONO", 36, 26, 30.0, 139, 3, 10.0, 1412.8, kSummit, "山頂", "展望台あり", "白鷺側の最高点。"},
    {"下河原の頭", "SHIMOGAWARA", 36, 16, 45.0, 138, 58, 20.0, 1105.5, kSummit, "", "", "樹林の中の小さな頂。"},
    {"大日向峠", "OHINATA P", 36, 24, 58.0, 138, 49, 0.0, 1322.0, kPass, "峠", "",
     "二枚の図葉の境のすぐ南。\r\n道標あり。"},
    {"霞野峠", "KASUMINO P", 36, 21, 5.0, 139, 0, 40.0, 1188.0, kPass, "峠", "県境", "朝霧と白鷺の境を越える峠。"},
    {"湖北小屋", "KOHOKU HUT", 36, 22, 30.0, 138, 56, 10.0, 1040.0, kLodge, "山小屋", "営業 7月-10月",
     "水場は小屋の裏。\r\n予約制。"},
    {"柚ノ木避難小屋", "YUNOKI HUT", 36, 17, 20.0, 138, 47, 30.0, 980.0, kLodge, "避難小屋", "無人", "十人ほど泊まれる。"},
    {"松葉台山荘", "MATSUBA HUT", 36, 18, 10.0, 139, 4, 0.0, 1150.0, kLodge, "山小屋", "", "登山口から一時間。"},
};

void locate(CMarkerPoint& p, double latSec, double lonSec, const std::string& mapDir) {
  const std::string mesh = meshOf(latSec, lonSec);
  for (const SSheetName& s : kSheets) {
    if (mesh == s.mesh) {
      p.meshCode = std::stoi(mesh);
      p.sheetName25000 = sjis(s.name25000);
      p.sheetName50000 = sjis(s.name50000);
      p.areaName = sjis(mesh.compare(0, 4, "5438") == 0 ? "朝霧" : "白鷺");
      p.indexDirectory = platform::cp932::fromUtf8(mapDir).text;
    }
  }
}

std::unique_ptr<CTrekData> waypointGroup(const std::string& mapDir) {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kWaypointGroup);
  g->SetGroupName(sjis("山と小屋と峠"));
  for (const SWaypointSpec& w : kWaypoints) {
    auto p = std::make_unique<CMarkerPoint>();
    p->name = sjis(w.name);
    p->gpsName = w.gpsName;
    p->SetPosition(dms(w.latD, w.latM, w.latS), dms(w.lonD, w.lonM, w.lonS), Datum::Tokyo);
    p->altitude = w.altitude;
    p->symbol = w.symbol;
    p->description1 = sjis(w.description1);
    p->description2 = sjis(w.description2);
    p->comment = sjis(w.comment);
    locate(*p, w.latD * 3600.0 + w.latM * 60 + w.latS, w.lonD * 3600.0 + w.lonM * 60 + w.lonS, mapDir);
    g->AppendWaypoint(std::move(p));
  }
  return g;
}

struct SLeg {
  double latSec, lonSec, altitude;  // where the leg ends (Tokyo datum)
  int points;                       // points recorded on the way
};

// A log walked from `start` through the legs, one point every `stepSeconds`, with a little
// deterministic wander so that it looks recorded.
std::unique_ptr<CTrackLog> trackLog(const char* name, const char* gpsName, std::uint8_t color, double startLat,
                                    double startLon, double startAlt, const std::vector<SLeg>& legs,
                                    std::int32_t startTime, int stepSeconds) {
  auto log = std::make_unique<CTrackLog>();
  log->name = sjis(name);
  log->gpsName = gpsName;
  log->color = color;
  log->description1 = sjis("晴れ");
  log->description2 = sjis("サンプル");
  double lat = startLat, lon = startLon, alt = startAlt;
  int n = 0;
  auto add = [&](double la, double lo, double al) {
    CTrackPoint p;
    p.number = n;
    const double wobble = std::sin(n * 0.37) * 0.6 + std::sin(n * 0.11) * 1.1;  // arc seconds
    const double laS = la + wobble, loS = lo + std::cos(n * 0.23) * 0.8;
    p.SetPosition(DmsAngle::FromTotalSeconds(laS), DmsAngle::FromTotalSeconds(loS), Datum::Tokyo);
    p.altitude = std::round((al + std::sin(n * 0.5) * 1.5) * 10.0) / 10.0;
    p.time = TrekTime(startTime + n * stepSeconds + (n % 7 == 3 ? 1 : 0));
    log->AppendPoint(p);
    ++n;
  };
  add(lat, lon, alt);
  for (const SLeg& leg : legs) {
    for (int i = 1; i <= leg.points; ++i) {
      const double t = static_cast<double>(i) / leg.points;
      add(lat + (leg.latSec - lat) * t, lon + (leg.lonSec - lon) * t, alt + (leg.altitude - alt) * t);
    }
    lat = leg.latSec;
    lon = leg.lonSec;
    alt = leg.altitude;
  }
  return log;
}

double sec(int d, int m, double s) { return d * 3600.0 + m * 60.0 + s; }

std::unique_ptr<CTrekData> trackGroup() {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kTrackLogGroup);
  g->SetGroupName(sjis("縦走記録"));
  // 2003-07-05 06:00:00 +09:00: from the hut below 柚ノ木 north over two sheet borders
  // (36N20', 36N25') to the summit of 鷹ノ巣山.
  g->AppendTrackLog(trackLog("鷹ノ巣山 縦走", "TAKANOSU 0705", 1, sec(36, 17, 20), sec(138, 47, 30), 980.0,
                             {{sec(36, 19, 40), sec(138, 48, 10), 1120.0, 120},
                              {sec(36, 22, 30), sec(138, 47, 50), 1290.0, 150},
                              {sec(36, 24, 58), sec(138, 49, 0), 1322.0, 110},
                              {sec(36, 27, 40), sec(138, 48, 20), 1736.4, 220}},
                             1057352400, 30));
  // 2003-08-10 07:30:00 +09:00: from 湖北小屋 east over 霞野峠, across the area border at
  // 139E, to 東小野山.
  g->AppendTrackLog(trackLog("霞野峠越え", "KASUMINO 0810", 4, sec(36, 22, 30), sec(138, 56, 10), 1040.0,
                             {{sec(36, 21, 5), sec(139, 0, 40), 1188.0, 160},
                              {sec(36, 23, 50), sec(139, 2, 0), 1260.0, 120},
                              {sec(36, 26, 30), sec(139, 3, 10), 1412.8, 140}},
                             1060468200, 20));
  return g;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::filesystem::path out;
  std::filesystem::path maps;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--out") out = argv[i + 1];
    else if (key == "--maps") maps = argv[i + 1];
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: vantoria-trekgen --out DIR [--maps SAMPLE_DIR]\n");
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (ec) {
    std::fprintf(stderr, "vantoria-trekgen: cannot create %s\n", out.string().c_str());
    return 1;
  }
  const std::string mapDir = maps.empty() ? std::string() : platform::pathToUtf8(maps / "map25000");
  const auto waypoints = waypointGroup(mapDir);
  const auto tracks = trackGroup();
  for (const auto& [name, group] : {std::pair{"peaks.pmd", waypoints.get()}, std::pair{"tracks.ptd", tracks.get()}}) {
    const STrekWriteResult r = WriteTrekFileAtomic(out / name, *group);
    if (!r.ok()) {
      std::fprintf(stderr, "vantoria-trekgen: %s\n", r.message.c_str());
      return 1;
    }
  }
  return 0;
}
