#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>

#include "common/TestUtil.h"
#include "geodesy/SheetFrame.h"
#include "maps/MapFixtures.h"
#include "maps/SheetCatalogue.h"

namespace {

using mapfix::meshRow;
using mapfix::SRowFields;
using mapfix::row25000;

std::map<int, std::string> filled(const std::array<SheetSlot, kSlotsPerArea>& grid) {
  std::map<int, std::string> m;
  for (int i = 0; i < kSlotsPerArea; ++i)
    if (!grid[static_cast<std::size_t>(i)].empty()) m[i] = grid[static_cast<std::size_t>(i)].meshCode;
  return m;
}

std::string rows(std::initializer_list<const char*> lines, bool finalBreak = true) {
  std::string s = mapfix::kHeader25000;
  for (const char* l : lines) s += std::string("\r\n") + l;
  if (finalBreak) s += "\r\n";
  return s;
}

TEST(SheetCatalogue, FillsSlotsByGridPosition) {
  const struct {
    const char* name;
    std::string kanri;
    std::map<int, std::string> want;
  } kCases[] = {
      {"ascending with gaps", rows({"533900,a,x", "533901,b,x", "533910,c,x"}),
       {{0, "533900"}, {1, "533901"}, {8, "533910"}}},
      {"other areas ignored", rows({"533800,o,x", "533900,a,x", "534000,o,x", "533977,z,x"}),
       {{0, "533900"}, {63, "533977"}}},
      {"header never placed", std::string("533900,h,x\r\n533901,b,x\r\n"), {{1, "533901"}}},
      {"first row not at 00", rows({"533902,a,x", "533907,b,x"}), {{2, "533902"}, {7, "533907"}}},
      {"next row digit", rows({"533907,a,x", "533910,b,x", "533921,c,x"}), {{7, "533907"}, {8, "533910"}, {17, "533921"}}},
      {"out of order ends the grid", rows({"533901,a,x", "533900,b,x", "533902,c,x"}), {{1, "533901"}}},
      {"repeated code ends the grid", rows({"533900,a,x", "533900,b,x", "533901,c,x"}), {{0, "533900"}}},
      // The numbered steps place a column digit 8 in the next slot; the row after it cannot be reached.
      {"digit 8 follows the steps", rows({"533907,a,x", "533908,b,x", "533910,c,x"}), {{7, "533907"}, {8, "533908"}}},
      {"non-numeric code ends the grid", rows({"533900,a,x", "5339ab,b,x", "533902,c,x"}), {{0, "533900"}}},
      {"line with one comma ends the scan", rows({"533900,a,x", "533901,b", "533902,c,x"}), {{0, "533900"}}},
      {"last line without break", rows({"533900,a,x", "533901,b,x"}, false), {{0, "533900"}, {1, "533901"}}},
      {"NUL ends the text", rows({"533900,a,x"}) + std::string(1, '\0') + "533901,b,x\r\n", {{0, "533900"}}},
      {"empty text", std::string(), {}},
      {"garbage", std::string("\x81\r\n\x81,,\r\n,,,\r\n\xff\xfe,", 16), {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(filled(FillAreaSlots("5339", c.kanri)), c.want);
  }
}

TEST(SheetCatalogue, FillAreaSlotsKeepsSheetNames) {
  const auto grid = FillAreaSlots("5339", rows({"533900,\x8f\x7b\x95\x94,x", "533911,b,x"}));
  EXPECT_EQ(grid[0].sheetName, "\x8f\x7b\x95\x94");
  EXPECT_EQ(grid[9].sheetName, "b");
  EXPECT_TRUE(grid[1].empty());
}

TEST(SheetCatalogue, DetectsSeries) {
  const struct {
    const char* name;
    std::string text;
    MapSeries want;
  } kCases[] = {
      {"four hyphens", "h\r\n533900,n,s,NI-54-25-8-1,1\r\n", MapSeries::Scale25000},
      {"three hyphens", "h\r\n523900,n,s,NI-54-25-8,1\r\n", MapSeries::Scale50000},
      {"five hyphens", "h\r\n533900,n,s,NI-54-25-8-1-2,1\r\n", MapSeries::Unknown},
      {"cut at middle dot", "h\r\n533900,n,s,NI-54-25-8\xA5-1-3,1\r\n", MapSeries::Scale50000},
      {"dot inside a double-byte char does not cut", "h\r\n533900,n,s,\x83\xA5NI-54-25-8-1,1\r\n",
       MapSeries::Scale25000},
      {"hyphens in other columns", "h\r\n533900,n-n-n,s,NI-54-25,1-2-3\r\n", MapSeries::Unknown},
      {"one row without final break", "h\r\n533900,n,s,NI-54-25-8-1,1", MapSeries::Scale25000},
      {"header only", "h\r\n", MapSeries::Unknown},
      {"no line break", "h,a,b,NI-54-25-8-1", MapSeries::Unknown},
      {"too few columns", "h\r\n533900,n,NI-54-25-8-1\r\n", MapSeries::Unknown},
      {"empty", "", MapSeries::Unknown},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DetectSeries(c.text), c.want);
  }
}

TEST(SheetCatalogue, ParsesFullRows) {
  const std::string r25 = row25000({"533946", "\x93\x8c\x8b\x9e", "NI-54-25-8-1", 128700, 503550, 128400, 504000});
  SheetRecord rec;
  ASSERT_TRUE(ParseSheetRecord("h\r\n" + r25 + "\r\n", "533946", MapSeries::Scale25000, rec));
  EXPECT_EQ(rec.meshCode, "533946");
  EXPECT_EQ(rec.sheetName, "\x93\x8c\x8b\x9e");
  EXPECT_EQ(rec.secondName, "second");
  EXPECT_EQ(rec.number, "no1");
  EXPECT_EQ(rec.extraNumber, 0);
  EXPECT_EQ(rec.history[5], "h6");
  EXPECT_EQ(rec.published, "pub");
  EXPECT_EQ(rec.corners[kCornerNorthWest].latitude.degrees, 35);
  EXPECT_EQ(rec.corners[kCornerNorthWest].latitude.minutes, 45);
  EXPECT_EQ(rec.corners[kCornerSouthEast].longitude.TotalSeconds(), 504000.0);
  EXPECT_EQ(rec.valuesA[7], 8);
  EXPECT_EQ(rec.cornerPixels[kCornerSouthEast].x, 4700);
  EXPECT_EQ(rec.cornerPixels[kCornerNorthEast].y, 120);
  EXPECT_EQ(rec.valuesB[6], -7);

  // A 1:50,000 row has the extra integer after the number and four histories.
  std::string r50 = "523900,n,s,NI-54-25-8,no,77,a,b,c,d,pub";
  for (int i = 0; i < 24 + 8 + 8 + 7; ++i) r50.append(",").append(std::to_string(i));
  SheetRecord rec50;
  rec50.history[4] = "stale";
  ASSERT_TRUE(ParseSheetRecord("h\r\n" + r50, "523900", MapSeries::Scale50000, rec50));
  EXPECT_EQ(rec50.extraNumber, 77);
  EXPECT_EQ(rec50.history[3], "d");
  EXPECT_EQ(rec50.history[4], "");
  EXPECT_EQ(rec50.published, "pub");
  EXPECT_EQ(rec50.corners[0].latitude.degrees, 0);
  EXPECT_EQ(rec50.valuesB[6], 46);
}

TEST(SheetCatalogue, FindsRowsByFirstColumn) {
  const std::string row = row25000({"533946", "real"});
  const struct {
    const char* name;
    std::string text;
    std::string mesh;
    bool ok;
    std::string sheetName;
  } kCases[] = {
      {"code inside the header", "mesh 533946,x\r\n" + row, "533946", true, "real"},
      {"code inside an earlier row", "h\r\n" + row25000({"533945", "533946"}) + "\r\n" + row, "533946", true, "real"},
      {"longer code sharing the prefix", "h\r\n" + row25000({"5339460", "long"}) + "\r\n" + row, "533946", true, "real"},
      {"first of two rows wins", "h\r\n" + row + "\r\n" + row25000({"533946", "second"}), "533946", true, "real"},
      {"empty code finds nothing", "h\r\n," + row, "", false, ""},
      {"missing code", "h\r\n" + row, "533947", false, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SheetRecord rec;
    EXPECT_EQ(ParseSheetRecord(c.text, c.mesh, MapSeries::Scale25000, rec), c.ok);
    EXPECT_EQ(rec.sheetName, c.sheetName);
  }
}

TEST(SheetCatalogue, BadRowsFailWithoutHarm) {
  const std::string full = row25000({"533946", "n"});
  std::string nonNumeric = "533946,n,s,c,no,h,h,h,h,h,h,p";
  for (int i = 0; i < 47; ++i) nonNumeric += ",x";
  const struct {
    const char* name;
    std::string row;
    MapSeries series;
    bool ok;
  } kCases[] = {
      {"one column short", full.substr(0, full.rfind(',')), MapSeries::Scale25000, false},
      {"only the code", "533946,", MapSeries::Scale25000, false},
      {"1:25,000 row read as 1:50,000", full, MapSeries::Scale50000, true},
      {"unknown series", full, MapSeries::Unknown, false},
      {"numbers that are not numbers", nonNumeric, MapSeries::Scale25000, true},
      {"huge numbers saturate", full + "," + std::string(400, '9'), MapSeries::Scale25000, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SheetRecord rec;
    EXPECT_EQ(ParseSheetRecord("h\r\n" + c.row, "533946", c.series, rec), c.ok);
  }
  // What was read before the row ran out is kept.
  SheetRecord partial;
  EXPECT_FALSE(ParseSheetRecord("h\r\n533946,n,s,c,no,h1,h2,35,x", "533946", MapSeries::Scale25000, partial));
  EXPECT_EQ(partial.history[1], "h2");
  EXPECT_EQ(partial.history[2], "35");
  // atoi-style integers: leading digits count, other text is 0, overflow saturates.
  std::string odd = "533946,n,s,c,no,h,h,h,h,h,h,p,12abc,-7,x";
  for (int i = 0; i < 21; ++i) odd += ",0";
  odd += ", 42";
  for (int i = 0; i < 22; ++i) odd += ",99999999999";
  SheetRecord rec;
  ASSERT_TRUE(ParseSheetRecord("h\r\n" + odd, "533946", MapSeries::Scale25000, rec));
  EXPECT_EQ(rec.corners[0].latitude.degrees, 12);
  EXPECT_EQ(rec.corners[0].latitude.minutes, -7);
  EXPECT_EQ(rec.corners[0].latitude.seconds, 0.0);
  EXPECT_EQ(rec.valuesA[0], 42);
  EXPECT_EQ(rec.valuesB[6], 2147483647);
}

TEST(SheetCatalogue, ContainsUsesTheUnwidenedFrame) {
  SheetRecord rec;
  ASSERT_TRUE(ParseSheetRecord("h\r\n" + row25000(meshRow("533946")), "533946", MapSeries::Scale25000, rec));
  const SRowFields r = meshRow("533946");  // north 128700" (35°45'), west 503550" (139°52'30")
  const auto s = [](double total) { return DmsAngle::FromTotalSeconds(total); };
  SheetFrame frame;
  frame.Setup(rec.corners[kCornerNorthWest].latitude, rec.corners[kCornerNorthWest].longitude,
              rec.corners[kCornerSouthEast].latitude, rec.corners[kCornerSouthEast].longitude, 100, 120, 4700, 3820, 1.0,
              1.0, Datum::Tokyo);
  const struct {
    const char* name;
    double lat, lon;
    bool sheet, frame;
  } kCases[] = {
      {"inside", r.south + 10.0, r.west + 10.0, true, true},
      {"south-west corner", double(r.south), double(r.west), true, true},
      {"north line", double(r.north), r.west + 10.0, false, true},
      {"east line", r.south + 10.0, double(r.east), false, true},
      {"just south", r.south - 0.005, r.west + 10.0, false, true},
      {"outside the widening", r.south - 0.02, r.west + 10.0, false, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SheetContains(rec, s(c.lat), s(c.lon), Datum::Tokyo), c.sheet);
    EXPECT_EQ(frame.Contains(s(c.lat), s(c.lon), Datum::Tokyo), c.frame);
  }
  EXPECT_FALSE(SheetContains(rec, s(r.south + 10.0), s(r.west + 10.0), static_cast<Datum>(7)));

  // In WGS-84 both corners move by the datum shift and are tagged with the datum.
  const SSheetCorners w = SheetCorners(rec, Datum::Wgs84);
  EXPECT_EQ(w.northWest.datum, Datum::Wgs84);
  EXPECT_NEAR(w.northWest.latitude.TotalSeconds() - r.north, 11.6, 0.5);
  EXPECT_NEAR(w.southEast.longitude.TotalSeconds() - r.east, -11.6, 0.5);
  const SSheetCorners t = SheetCorners(rec, Datum::Tokyo);
  EXPECT_EQ(t.southEast.latitude.TotalSeconds(), double(r.south));
}

// A catalogue of several areas with every fifth slot missing and one area listed twice.
struct SBuiltCatalogue {
  std::string index, kanri;
};
SBuiltCatalogue makeCatalogue(const std::vector<std::string>& areas) {
  SBuiltCatalogue c;
  c.kanri = mapfix::kHeader25000;
  for (const std::string& a : areas) {
    c.index += a + ",area " + a + "\r\n";
    for (int row = 0; row < 8; ++row)
      for (int col = 0; col < 8; ++col)
        if ((row * 8 + col) % 5 != 4) c.kanri += "\r\n" + row25000(meshRow(a + char('0' + row) + char('0' + col)));
  }
  return c;
}

TEST(SheetCatalogue, SearchAnswersAsProbingEachSlot) {
  const SBuiltCatalogue built = makeCatalogue({"5339", "5340", "5439", "5339"});
  SheetCatalogue cat;
  cat.Build("/nowhere", built.index, built.kanri);
  ASSERT_EQ(cat.areaCount(), 4);
  ASSERT_EQ(cat.series(), MapSeries::Scale25000);
  // Reference: every slot's row read on its own, probed in order as a search without a cache would.
  std::vector<std::pair<bool, SheetRecord>> records;
  for (int a = 0; a < cat.areaCount(); ++a)
    for (int s = 0; s < kSlotsPerArea; ++s) {
      SheetRecord rec;
      const bool ok = ParseSheetRecord(built.kanri, cat.slot(a, s)->meshCode, cat.series(), rec);
      records.emplace_back(ok, rec);
    }
  const auto reference = [&](const DmsAngle& lat, const DmsAngle& lon, Datum d) {
    for (std::size_t i = 0; i < records.size(); ++i)
      if (records[i].first && SheetContains(records[i].second, lat, lon, d))
        return SSheetLocation{true, int(i) / kSlotsPerArea, int(i) % kSlotsPerArea};
    return SSheetLocation{};
  };
  int found = 0;
  for (Datum d : {Datum::Tokyo, Datum::Wgs84})
    for (int lat = 127000; lat < 132000; lat += 197)
      for (int lon = 502000; lon < 507500; lon += 263) {
        const DmsAngle la = DmsAngle::FromTotalSeconds(lat), lo = DmsAngle::FromTotalSeconds(lon);
        const SSheetLocation want = reference(la, lo, d);
        const SSheetLocation got = cat.FindSheetContaining(built.kanri, la, lo, d);
        ASSERT_EQ(got.found, want.found) << lat << " " << lon;
        ASSERT_EQ(got.areaIndex, want.areaIndex);
        ASSERT_EQ(got.slotIndex, want.slotIndex);
        found += got.found;
        ASSERT_NE(got.areaIndex, 3);  // the repeated area is never reached
      }
  EXPECT_GT(found, 200);
}

TEST(SheetCatalogue, OpensFoldersWhateverTheLetterCase) {
  QTemporaryDir tmp;
  const std::filesystem::path dir = tmp.path().toStdString();
  const SBuiltCatalogue built = makeCatalogue({"5339"});
  testutil::writeFile(dir / "INDEX.CSV", built.index + "5340,name, with, commas\r\nno comma stops here\r\n6000,x\r\n");
  testutil::writeFile(dir / "Kanri.CSV", built.kanri);
  testutil::writeFile(dir / "5339" / "533946.TIF", "x");

  SheetCatalogue cat;
  ASSERT_TRUE(cat.OpenCatalogue(dir));
  ASSERT_EQ(cat.areaCount(), 2);
  EXPECT_EQ(cat.area(1)->areaName, "name, with, commas");
  EXPECT_EQ(cat.area(0)->directory, dir);
  EXPECT_EQ(cat.SheetImagePath(0, 8 * 4 + 6), dir / "5339" / "533946.TIF");
  EXPECT_EQ(cat.SheetImagePath(0, 8 * 4 + 5), dir / "5339" / "533945.tif");  // absent: the plain name
  EXPECT_TRUE(cat.SheetImagePath(0, 4).empty());                             // empty slot
  EXPECT_TRUE(cat.SheetImagePath(0, 64).empty());
  EXPECT_TRUE(cat.SheetImagePath(2, 0).empty());
  SheetRecord rec;
  EXPECT_TRUE(cat.ReadSheetRecord(0, 8 * 4 + 6, rec));
  EXPECT_EQ(rec.meshCode, "533946");
  EXPECT_FALSE(cat.ReadSheetRecord(0, 4, rec));
  const SRowFields r = meshRow("533946");
  const SSheetLocation at =
      cat.FindSheetContaining(DmsAngle::FromTotalSeconds(r.south + 1), DmsAngle::FromTotalSeconds(r.west + 1), Datum::Tokyo);
  EXPECT_TRUE(at.found);
  EXPECT_EQ(at.slotIndex, 8 * 4 + 6);

  // Either file missing: false and an empty catalogue, even after a good open.
  std::filesystem::remove(dir / "Kanri.CSV");
  EXPECT_FALSE(cat.OpenCatalogue(dir));
  EXPECT_TRUE(cat.empty());
  EXPECT_EQ(cat.series(), MapSeries::Unknown);
  EXPECT_FALSE(cat.FindSheetContaining(DmsAngle(35, 0, 0), DmsAngle(139, 0, 0), Datum::Tokyo).found);
}

TEST(SheetCatalogue, CodesThatAreNotPlainNamesGiveNoImagePath) {
  SheetCatalogue cat;
  cat.Build("/data", "..,up\r\n5339,ok\r\n", "h\r\n..00,a,b\r\n533900,n,x\r\n533901,../../x,x\r\n");
  EXPECT_TRUE(cat.SheetImagePath(0, 0).empty());
  EXPECT_EQ(cat.SheetImagePath(1, 0), std::filesystem::path("/data/5339/533900.tif"));
  EXPECT_EQ(cat.slot(1, 1)->sheetName, "../../x");
}

TEST(SheetCatalogue, IndexWithTooManyAreasIsCut) {
  std::string index;
  for (std::size_t i = 0; i < SheetCatalogue::kMaxAreas + 10; ++i) index += std::to_string(1000 + i) + ",a\r\n";
  SheetCatalogue cat;
  cat.Build("/d", index, "");
  EXPECT_EQ(cat.areas().size(), SheetCatalogue::kMaxAreas);
  EXPECT_FALSE(cat.lastError().empty());
}

// Copies through tools that convert line ends: every area, sheet and record reads as from the
// published CRLF files, whatever mix of CRLF and lone LF the files hold.
TEST(SheetCatalogue, LineEndsCrlfLfOrMixedReadAlike) {
  const SBuiltCatalogue crlf = makeCatalogue({"5339", "5340"});
  const auto lf = [](std::string s) {
    for (std::size_t at; (at = s.find("\r\n")) != std::string::npos;) s.erase(at, 1);
    return s;
  };
  const auto mixed = [](std::string s) {  // every second line end loses its CR
    bool drop = false;
    for (std::size_t at = 0; (at = s.find("\r\n", at)) != std::string::npos; drop = !drop)
      if (drop) s.erase(at, 1);
      else at += 2;
    return s;
  };
  SheetCatalogue want;
  want.Build("/d", crlf.index, crlf.kanri);
  ASSERT_EQ(want.areaCount(), 2);
  ASSERT_EQ(want.series(), MapSeries::Scale25000);

  const struct {
    const char* name;
    std::string index, kanri;
  } kCases[] = {
      {"CRLF", crlf.index, crlf.kanri},
      {"LF", lf(crlf.index), lf(crlf.kanri)},
      {"mixed", mixed(crlf.index), mixed(crlf.kanri)},
      {"LF index, CRLF catalogue", lf(crlf.index), crlf.kanri},
      {"LF without a last line end", lf(crlf.index).substr(0, lf(crlf.index).size() - 1), lf(crlf.kanri)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SheetCatalogue cat;
    cat.Build("/d", c.index, c.kanri);
    ASSERT_EQ(cat.areaCount(), want.areaCount());
    EXPECT_EQ(cat.series(), want.series());
    for (int a = 0; a < cat.areaCount(); ++a) {
      EXPECT_EQ(cat.area(a)->areaName, want.area(a)->areaName);
      EXPECT_EQ(filled(cat.area(a)->sheetSlots), filled(want.area(a)->sheetSlots));
    }
    SheetRecord got, expected;
    ASSERT_TRUE(ParseSheetRecord(crlf.kanri, "534046", MapSeries::Scale25000, expected));
    ASSERT_TRUE(ParseSheetRecord(c.kanri, "534046", MapSeries::Scale25000, got));
    EXPECT_EQ(got.valuesB, expected.valuesB);
    EXPECT_EQ(got.cornerPixels[3].y, expected.cornerPixels[3].y);
    EXPECT_EQ(got.sheetName, expected.sheetName);
  }
  // A lone CR is no line end: the published format never had one.
  SheetCatalogue cr;
  cr.Build("/d", "5339,a\r5340,b\r\n", "");
  ASSERT_EQ(cr.areaCount(), 1);
  EXPECT_EQ(cr.area(0)->areaName, "a\r5340,b");
}

}  // namespace
