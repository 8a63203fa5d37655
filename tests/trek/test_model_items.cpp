// Waypoints, track logs and groups: datum handling, copies, sort orders, sheet assignment.
#include <gtest/gtest.h>
#include <vector>

#include "trek/CTrekData.h"
#include "trek/SheetAssignment.h"
#include "trek/TrekSort.h"

namespace {

const DmsAngle kTokyoLat(35, 40, 0.0);
const DmsAngle kTokyoLon(139, 45, 0.0);

std::string rounded(const DmsAngle& a) { return a.FormatFields().degrees + ":" + a.FormatFields().minutes + ":" + a.FormatFields().seconds; }

template <class T>
void checkPositions(const char* what) {
  SCOPED_TRACE(what);
  T p;
  p.SetPosition(kTokyoLat, kTokyoLon, Datum::Wgs84);
  EXPECT_EQ(p.latitude, kTokyoLat);
  EXPECT_EQ(p.longitude, kTokyoLon);

  p.SetPosition(kTokyoLat, kTokyoLon, Datum::Tokyo);
  EXPECT_EQ(rounded(p.latitude), "35:40:11.65");
  EXPECT_EQ(rounded(p.longitude), "139:44:48.40");

  DmsAngle lat, lon;
  p.GetPosition(lat, lon, Datum::Wgs84);
  EXPECT_EQ(lat, p.latitude);
  p.GetPosition(lat, lon, Datum::Tokyo);
  // There and back is close, but not exact.
  EXPECT_NEAR(lat.TotalSeconds(), kTokyoLat.TotalSeconds(), 0.001);
  EXPECT_NEAR(lon.TotalSeconds(), kTokyoLon.TotalSeconds(), 0.001);
  EXPECT_FALSE(lat == kTokyoLat && lon == kTokyoLon);

  // An unknown datum changes nothing, neither the point nor the caller's variables.
  const DmsAngle before = p.latitude;
  p.SetPosition(DmsAngle(1, 2, 3.0), DmsAngle(4, 5, 6.0), static_cast<Datum>(2));
  EXPECT_EQ(p.latitude, before);
  DmsAngle keepLat(7, 7, 7.0), keepLon(8, 8, 8.0);
  p.GetPosition(keepLat, keepLon, static_cast<Datum>(-1));
  EXPECT_EQ(keepLat, DmsAngle(7, 7, 7.0));
  EXPECT_EQ(keepLon, DmsAngle(8, 8, 8.0));
}

CTrackPoint point(int number, std::int32_t time) {
  CTrackPoint p;
  p.number = number;
  p.time = TrekTime(time);
  return p;
}

}  // namespace

TEST(TrekItems, PositionsAreStoredInWgs84) {
  checkPositions<CMarkerPoint>("waypoint");
  checkPositions<CTrackPoint>("track point");
}

TEST(TrekItems, TrackPointLabel) {
  const struct {
    int number;
    const char* label;
  } kCases[] = {{0, "No.0"}, {12, "No.12"}, {-3, "No.-3"}, {2147483647, "No.2147483647"}};
  for (const auto& c : kCases) {
    CTrackPoint p;
    p.number = c.number;
    EXPECT_EQ(p.Label(), c.label);
  }
}

TEST(TrekItems, TrackLogCopiesAreDeep) {
  CTrackLog a;
  a.name = "a";
  a.reserved2 = 9;
  a.SetSendAsActiveLog(1);
  a.AppendPoint(point(0, 100));
  a.AppendPoint(point(1, 200));
  CTrackLog b;
  b.AppendPoint(point(5, 5));
  b = a;
  EXPECT_EQ(b, a);
  EXPECT_EQ(b.SendAsActiveLog(), 1);
  b.Points()[0].number = 99;
  EXPECT_EQ(a.Points()[0].number, 0);
  const CTrackLog c(a);
  EXPECT_EQ(c.Points().size(), 2u);
}

TEST(TrekItems, ClearKeepsKind) {
  CTrekData g;
  g.SetKind(CTrekData::kTrackLogGroup);
  g.SetGroupName("g");
  g.SetFilePath("/x.ptd");
  g.AppendTrackLog(std::make_unique<CTrackLog>());
  g.SetModified(1);
  g.SetLoadSucceeded(1);
  g.Clear();
  EXPECT_EQ(g.Kind(), CTrekData::kTrackLogGroup);
  EXPECT_TRUE(g.GroupName().empty() && g.FilePath().empty() && g.TrackLogs().empty());
  EXPECT_EQ(g.IsModified(), 0);
  EXPECT_EQ(g.LoadSucceeded(), 0);
}

TEST(TrekSort, NamesCompareByteWise) {
  const struct {
    std::string a, b;
    int want;
  } kCases[] = {
      {"A10", "A2", -1},
      {"A", "AB", -1},
      {"", "A", -1},
      {"abc", "abc", 0},
      {"a", "B", 1},                 // no case folding
      {"z", "\x82\xa0", -1},         // half-width before any two-byte character
      {"\xb1", "\x82\xa0", 1},       // half-width katakana is a single high byte
      {"\x82\xa0", "\x82\xa2", -1},  // あ before い
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.a + " vs " + c.b);
    EXPECT_EQ(CompareTrekNames(c.a, c.b), c.want);
    EXPECT_EQ(CompareTrekNames(c.b, c.a), -c.want);
  }
}

TEST(TrekSort, GroupOrders) {
  CTrekData wp;
  wp.SetKind(CTrekData::kWaypointGroup);
  for (const char* n : {"B", "A2", "A10", "\x82\xa0"}) {
    auto p = std::make_unique<CMarkerPoint>();
    p->name = n;
    wp.AppendWaypoint(std::move(p));
  }
  CTrekData tk;
  tk.SetKind(CTrekData::kTrackLogGroup);
  const std::vector<std::pair<std::string, std::vector<std::int32_t>>> logs = {
      {"c", {500}}, {"a", {}}, {"b", {-1, 5}}, {"d", {100, 50}}};
  for (const auto& [name, times] : logs) {
    auto l = std::make_unique<CTrackLog>();
    l->name = name;
    for (std::int32_t t : times) l->AppendPoint(point(0, t));
    tk.AppendTrackLog(std::move(l));
  }
  using Order = std::vector<std::size_t>;
  const struct {
    const char* name;
    const CTrekData* group;
    std::int32_t sortWp, sortTk;
    Order want;
  } kCases[] = {
      {"waypoints unsorted", &wp, kSortNone, kSortByName, {0, 1, 2, 3}},
      {"waypoints by name", &wp, kSortByName, kSortNone, {2, 1, 0, 3}},
      {"waypoints by an unknown value", &wp, kSortByTime, kSortNone, {0, 1, 2, 3}},
      {"logs unsorted", &tk, kSortByName, kSortNone, {0, 1, 2, 3}},
      {"logs by name", &tk, kSortNone, kSortByName, {1, 2, 0, 3}},
      // The empty log and the log starting without a time both count as no time (-1).
      {"logs by time", &tk, kSortNone, kSortByTime, {1, 2, 3, 0}},
      {"logs by an unknown value", &tk, kSortNone, 2, {0, 1, 2, 3}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SortedOrder(*c.group, c.sortWp, c.sortTk), c.want);
  }
  EXPECT_EQ(FirstPointTime(*tk.TrackLogs()[1]).Count(), -1);
}

TEST(TrekSheets, AssignSheetOnlyInsideTheFrame) {
  SheetRecord sheet;
  sheet.meshCode = "533946";
  sheet.sheetName = "\x93\x8c\x8b\x9e";  // 東京
  sheet.corners[kCornerNorthWest] = {DmsAngle(35, 45, 0.0), DmsAngle(139, 45, 0.0)};
  sheet.corners[kCornerSouthEast] = {DmsAngle(35, 40, 0.0), DmsAngle(139, 52, 30.0)};
  CatalogueArea area;
  area.directory = "/maps/cd1";
  area.areaName = "\x93\x8c\x8b\x9e\x93\x73";  // 東京都
  area.areaCode = "5339";

  const struct {
    const char* name;
    DmsAngle lat, lon;  // Tokyo datum
    MapSeries series;
    bool inside;
  } kCases[] = {
      {"inside, 1:25,000", DmsAngle(35, 42, 0.0), DmsAngle(139, 47, 0.0), MapSeries::Scale25000, true},
      {"inside, 1:50,000", DmsAngle(35, 42, 0.0), DmsAngle(139, 47, 0.0), MapSeries::Scale50000, true},
      {"inside, unknown series", DmsAngle(35, 42, 0.0), DmsAngle(139, 47, 0.0), MapSeries::Unknown, true},
      {"north of the frame", DmsAngle(35, 45, 1.0), DmsAngle(139, 47, 0.0), MapSeries::Scale25000, false},
      {"east of the frame", DmsAngle(35, 42, 0.0), DmsAngle(139, 53, 0.0), MapSeries::Scale25000, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CMarkerPoint p;
    p.meshCode = 1;
    p.sheetName25000 = "old25";
    p.sheetName50000 = "old50";
    p.areaName = "oldArea";
    p.indexDirectory = "oldDir";
    p.SetPosition(c.lat, c.lon, Datum::Tokyo);
    EXPECT_EQ(AssignSheet(p, sheet, area, c.series), c.inside);
    EXPECT_EQ(p.meshCode, c.inside ? 533946 : 1);
    EXPECT_EQ(p.sheetName25000, c.inside && c.series == MapSeries::Scale25000 ? sheet.sheetName : "old25");
    EXPECT_EQ(p.sheetName50000, c.inside && c.series == MapSeries::Scale50000 ? sheet.sheetName : "old50");
    EXPECT_EQ(p.areaName, c.inside ? area.areaName : "oldArea");
    EXPECT_EQ(p.indexDirectory, c.inside ? "/maps/cd1" : "oldDir");
  }

  // Every waypoint of every group; groups are not marked modified.
  std::vector<std::unique_ptr<CTrekData>> groups;
  for (int i = 0; i < 2; ++i) {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(CTrekData::kWaypointGroup);
    auto p = std::make_unique<CMarkerPoint>();
    p->SetPosition(DmsAngle(35, 43, 0.0), DmsAngle(139, 48 + i, 0.0), Datum::Tokyo);
    g->AppendWaypoint(std::move(p));
    groups.push_back(std::move(g));
  }
  AssignSheetToAll(groups, sheet, area, MapSeries::Scale25000);
  for (const auto& g : groups) {
    EXPECT_EQ(g->Waypoints()[0]->meshCode, 533946);
    EXPECT_EQ(g->IsModified(), 0);
  }
}
