// Map folders as one collection: finding the trees, duplicates, which sheet owns a position.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>

#include "common/TestUtil.h"
#include "geodesy/DatumConverter.h"
#include "mosaic/MapCollection.h"
#include "mosaic/SheetCache.h"

using namespace mosaic;
namespace fs = std::filesystem;

namespace {

fs::path sample25() { return testutil::sampleDir() / "map25000"; }

// A copy of a sample series under `to`, its catalogue names turned to upper case when asked.
void copyTree(const fs::path& from, const fs::path& to, bool upperCase = false) {
  fs::create_directories(to.parent_path());
  fs::copy(from, to, fs::copy_options::recursive);
  if (!upperCase) return;
  fs::rename(to / "index.csv", to / "INDEX.CSV");
  fs::rename(to / "kanri.csv", to / "KANRI.CSV");
}

}  // namespace

TEST(MapCollection, FindsEveryMapTreeBelowAFolderOnce) {
  QTemporaryDir tmp;
  const fs::path root = tmp.path().toStdString();
  copyTree(sample25(), root / "cd1");
  copyTree(testutil::sampleDir() / "map50000", root / "disks" / "deep" / "cd2", true);
  fs::create_directories(root / "empty" / "nothing");
  testutil::writeFile(root / "only-index" / "index.csv", "5438,x\r\n");  // no kanri.csv: not a map tree
  // A link back up the tree is not followed.
  std::error_code ec;
  fs::create_directory_symlink(root, root / "disks" / "loop", ec);

  const std::vector<fs::path> found = CMapCollection::FindMapFolders(root);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], root / "cd1");
  EXPECT_EQ(found[1], root / "disks" / "deep" / "cd2");
  // The folder itself when it is a map tree.
  EXPECT_EQ(CMapCollection::FindMapFolders(root / "cd1"), std::vector<fs::path>{root / "cd1"});
  EXPECT_TRUE(CMapCollection::FindMapFolders(root / "missing").empty());

  CMapCollection collection;
  EXPECT_EQ(collection.AddTree(root), 2);
  EXPECT_EQ(collection.folders().size(), 2u);
  EXPECT_EQ(collection.sheets(MapSeries::Scale25000).size(), 9u);
  EXPECT_EQ(collection.sheets(MapSeries::Scale50000).size(), 9u);
  EXPECT_EQ(collection.seriesPresent(), (std::vector<MapSeries>{MapSeries::Scale25000, MapSeries::Scale50000}));
  // Opening the same folder again adds nothing.
  std::string error;
  EXPECT_FALSE(collection.AddFolder(root / "cd1", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(collection.AddTree(root / "empty", &error), 0);
  EXPECT_FALSE(error.empty());
}

TEST(MapCollection, ASheetFoundTwiceIsUsedOnceAndItsCopyIsNamed) {
  QTemporaryDir tmp;
  const fs::path root = tmp.path().toStdString();
  copyTree(sample25(), root / "a");
  copyTree(sample25(), root / "b");
  CMapCollection collection;
  ASSERT_EQ(collection.AddTree(root), 2);
  const auto& sheets = collection.sheets(MapSeries::Scale25000);
  ASSERT_EQ(sheets.size(), 9u);
  for (const SCollectionSheet& s : sheets) {
    EXPECT_EQ(s.folder, 0) << s.record.meshCode;
    ASSERT_EQ(s.duplicates.size(), 1u);
    EXPECT_EQ(s.duplicates[0], root / "b");
    EXPECT_TRUE(fs::exists(s.image)) << s.image;
  }
  // A slot of the second folder leads to the copy in use.
  const SCollectionSheet& first = sheets[0];
  EXPECT_EQ(collection.FindSlot(1, first.area, first.slot), 0);
  EXPECT_EQ(collection.FindSlot(5, 0, 0), -1);
}

TEST(MapCollection, EachPositionBelongsToExactlyOneSheet) {
  CMapCollection collection;
  ASSERT_TRUE(collection.AddFolder(sample25()));
  const auto& sheets = collection.sheets(MapSeries::Scale25000);
  ASSERT_EQ(sheets.size(), 9u);
  struct SCase {
    const char* what;
    int sheet;           // -1: none
    double dLat, dLon;   // seconds from that sheet's south-west corner
  };
  for (const SCollectionSheet& s : sheets) {
    const int self = collection.FindMesh(MapSeries::Scale25000, s.record.meshCode);
    // Corners and edges: the south and west edges belong to the sheet, the north and east ones
    // to its neighbours.
    EXPECT_EQ(collection.SheetAt(MapSeries::Scale25000, s.frame.south, s.frame.west), self);
    EXPECT_EQ(collection.SheetAt(MapSeries::Scale25000, s.frame.north - 1e-6, s.frame.east - 1e-6), self);
    const int north = collection.SheetAt(MapSeries::Scale25000, s.frame.north, s.frame.west);
    const int east = collection.SheetAt(MapSeries::Scale25000, s.frame.south, s.frame.east);
    EXPECT_NE(north, self);
    EXPECT_NE(east, self);
  }
  // Outside every frame.
  EXPECT_EQ(collection.SheetAt(MapSeries::Scale25000, 30 * 3600.0, 130 * 3600.0), -1);
  EXPECT_EQ(collection.SheetAt(MapSeries::Scale50000, sheets[0].frame.south, sheets[0].frame.west), -1);
  // The plane holds them all.
  const SMapPlane& plane = collection.plane(MapSeries::Scale25000);
  ASSERT_FALSE(plane.empty());
  for (const SCollectionSheet& s : sheets) {
    EXPECT_GE(plane.ColumnOf(s.frame.west, 1.0), 0);
    EXPECT_LE(plane.ColumnOf(s.frame.east, 1.0), plane.width);
    EXPECT_GE(plane.RowOf(s.frame.north, 1.0), 0);
    EXPECT_LE(plane.RowOf(s.frame.south, 1.0), plane.height);
  }
  EXPECT_EQ(collection.SheetsIn(MapSeries::Scale25000, {sheets[0].frame.north, sheets[0].frame.south, sheets[0].frame.west,
                                                          sheets[0].frame.east})
                .size(),
            1u);
}

TEST(MapCollection, AWaypointLandsOnTheSameGroundInBothViews) {
  // The one-sheet view places a WGS-84 position through its sheet's two converted corners, the
  // plane through the exact shift of each position; both must show the same sheet pixel under it
  // within half a pixel.
  CMapCollection collection;
  ASSERT_TRUE(collection.AddFolder(sample25()));
  for (const SCollectionSheet& s : collection.sheets(MapSeries::Scale25000)) {
    const SSheetPlacement p = PlacementOf(s.record);
    SheetFrame own;
    const SCornerAngle& nw = s.record.corners[kCornerNorthWest];
    const SCornerAngle& se = s.record.corners[kCornerSouthEast];
    own.Setup(nw.latitude, nw.longitude, se.latitude, se.longitude, p.x0, p.y0, p.x1, p.y1, 1.0, 1.0, Datum::Tokyo);
    for (const double fy : {0.02, 0.5, 0.97}) {
      for (const double fx : {0.03, 0.5, 0.98}) {
        const double lat = s.frame.south + fy * (s.frame.north - s.frame.south);
        const double lon = s.frame.west + fx * (s.frame.east - s.frame.west);
        const GeoPosition wgs = DatumConverter::Convert(
            GeoPosition{DmsAngle::FromTotalSeconds(lat), DmsAngle::FromTotalSeconds(lon), Datum::Tokyo}, Datum::Wgs84);
        // One-sheet view: continuous image pixel through the WGS-84 corner set.
        const double ox = (wgs.longitude.TotalSeconds() - own.northWest(Datum::Wgs84).longitude.TotalSeconds()) /
                              own.longitudeStep(Datum::Wgs84).TotalSeconds() + p.x0;
        const double oy = (own.northWest(Datum::Wgs84).latitude.TotalSeconds() - wgs.latitude.TotalSeconds()) /
                              own.latitudeStep(Datum::Wgs84).TotalSeconds() + p.y0;
        // The plane: the exact Tokyo position, mapped into the sheet through its frame.
        const GeoPosition tokyo = DatumConverter::Convert(wgs, Datum::Tokyo);
        EXPECT_NEAR(p.ImageX(tokyo.longitude.TotalSeconds()), ox, 0.5) << s.record.meshCode;
        EXPECT_NEAR(p.ImageY(tokyo.latitude.TotalSeconds()), oy, 0.5) << s.record.meshCode;
      }
    }
  }
}

TEST(SheetCache, NeverHoldsMoreThanItsBudgetAndDropsTheLeastRecentlyUsed) {
  CSheetCache cache(1000);
  auto v = [] { return std::make_shared<int>(1); };
  EXPECT_TRUE(cache.Insert("a", v(), 400));
  EXPECT_TRUE(cache.Insert("b", v(), 400));
  ASSERT_TRUE(cache.Find("a"));  // "b" is now the oldest
  EXPECT_TRUE(cache.Insert("c", v(), 400));
  EXPECT_TRUE(cache.Find("a"));
  EXPECT_FALSE(cache.Find("b"));
  EXPECT_TRUE(cache.Find("c"));
  EXPECT_FALSE(cache.Insert("huge", v(), 1001));
  EXPECT_EQ(cache.bytes(), 800u);
  // Replacing an entry counts its new size only.
  EXPECT_TRUE(cache.Insert("a", v(), 100));
  EXPECT_EQ(cache.bytes(), 500u);
  cache.Insert("t:1", v(), 10);
  cache.Insert("t:2", v(), 10);
  cache.RemovePrefix("t:");
  EXPECT_EQ(cache.count(), 2u);
  // A run of inserts of all sizes.
  std::uint32_t seed = 7;
  for (int i = 0; i < 5000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    cache.Insert(std::to_string(seed % 97), v(), seed % 700);
    ASSERT_LE(cache.bytes(), 1000u);
  }
  EXPECT_LE(cache.peakBytes(), 1000u);
  cache.setBudget(300);
  EXPECT_LE(cache.bytes(), 300u);
}

TEST(SheetCache, BudgetFollowsTheMachineAndTheProfile) {
  const std::uint64_t gib = std::uint64_t{1} << 30;
  struct {
    std::int64_t profile;
    std::uint64_t physical;
    int expected;
  } cases[] = {
      {0, 24 * gib, 1024}, {0, 2 * gib, 512}, {0, gib / 4, 128}, {0, 0, 1024},
      {512, 24 * gib, 512}, {127, 24 * gib, 1024}, {-5, 2 * gib, 512}, {70000, 24 * gib, 1024}, {65536, gib, 65536},
  };
  for (const auto& c : cases) EXPECT_EQ(UsableCacheMiB(c.profile, c.physical), c.expected) << c.profile << " " << c.physical;
}
