#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "common/TestUtil.h"
#include "maps/MapFixtures.h"

namespace {

TEST(MapsCli, AnswersInJsonAndFailsInOneLine) {
  QTemporaryDir tmp;
  const std::filesystem::path dir = tmp.path().toStdString();
  std::string kanri = mapfix::kHeader25000;
  for (const char* mesh : {"533945", "533946"}) kanri += "\r\n" + mapfix::row25000(mapfix::meshRow(mesh));
  testutil::writeFile(dir / "index.csv", "5339,\x93\x8c\x8b\x9e\r\n");  // 東京
  testutil::writeFile(dir / "KANRI.CSV", kanri + "\r\n533947,short row\r\n");
  std::filesystem::create_directories(dir / "5339");
  ASSERT_TRUE(mapfix::writeTiff(dir / "5339" / "533946.tif", {6, 4, 3, 8, PHOTOMETRIC_RGB, 4, COMPRESSION_NONE, {}, {}, {}}));
  testutil::writeFile(dir / "broken.tif", "MM\0*broken");
  const std::string index = (dir / "index.csv").string();
  const std::string bmp = (dir / "out.bmp").string();

  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> want;  ///< pieces of stdout (status 0) or stderr (status 1)
  } kCases[] = {
      {"catalogue", {"catalogue", index}, 0, {"\"series\": 1", "\"name\": \"東京\"", "\"slot\": 37", "\"mesh\": \"533946\""}},
      {"record", {"record", index, "533946"}, 0, {"\"meshCode\": \"533946\"", "\"valuesB\"", "\"x\": 4700"}},
      {"record with a short row", {"record", index, "533947"}, 1, {"533947"}},
      {"find in Tokyo datum", {"find", index, "35:42:00", "139:50:00"}, 0, {"\"found\": true", "\"slot\": 38"}},
      {"find on the north line", {"find", index, "35:45:00", "139:50:00"}, 0, {"\"found\": false"}},
      {"find in WGS-84", {"find", index, "35.7032", "139.8301", "--datum", "wgs84"}, 0, {"\"slot\": 38"}},
      {"bad datum", {"find", index, "35", "139", "--datum", "jgd"}, 1, {"--datum"}},
      {"bad angle", {"find", index, "north", "139"}, 1, {"latitude"}},
      {"missing catalogue", {"catalogue", (dir / "nowhere" / "index.csv").string()}, 1, {"catalogue"}},
      {"sheet-bmp", {"sheet-bmp", (dir / "5339" / "533946.tif").string(), bmp}, 0, {"\"bitCount\": 24", "\"stride\": 20"}},
      {"sheet-bmp of a broken file", {"sheet-bmp", (dir / "broken.tif").string(), bmp + "2"}, 1, {"broken.tif"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const testutil::SRunResult r = testutil::runCli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    const std::string& text = c.status == 0 ? r.out : r.err;
    for (const std::string& piece : c.want) EXPECT_NE(text.find(piece), std::string::npos) << piece << "\n" << text;
    if (c.status != 0) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
      EXPECT_EQ(r.out, "");
    }
  }
  // The bitmap file is the in-memory block behind a 14-byte file header.
  const std::string file = testutil::readFile(bmp);
  ASSERT_EQ(file.size(), 14u + 40u + 20u * 4u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<unsigned char>(file[10]), 54);
  EXPECT_EQ(static_cast<unsigned char>(file[14]), 40);
}

}  // namespace
