// The recovery copy's format: what is written reads back field for field, and the body is
// exactly the bytes a save of the group writes, for each kind of group.
#include <gtest/gtest.h>

#include "trek/RecoveryFile.h"
#include "trek/TrekFile.h"

TEST(RecoveryFile, WrittenCopiesReadBackExactly) {
  const auto waypoints = [] {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(CTrekData::kWaypointGroup);
    g->SetGroupName("\x8e\x52");  // 山 in CP932
    g->SetFilePath("/home/u/山.pmd");
    auto p = std::make_unique<CMarkerPoint>();
    p->name = "Top";
    p->altitude = 1234.5;
    g->AppendWaypoint(std::move(p));
    return g;
  };
  const auto tracks = [] {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(CTrekData::kTrackLogGroup);
    g->SetGroupName("T");
    auto log = std::make_unique<CTrackLog>();
    for (int i = 0; i < 70000; ++i) {
      CTrackPoint p;
      p.number = i;
      log->AppendPoint(p);
    }
    g->AppendTrackLog(std::move(log));
    g->AppendTrackLog(std::make_unique<CTrackLog>());
    return g;
  };
  const struct {
    const char* name;
    std::unique_ptr<CTrekData> group;
    std::string owner;
    std::int64_t pid;
  } kCases[] = {
      {"waypoints with a CP932 name and a path", waypoints(), "p42-0123abcd", 42},
      {"two track logs, one above the short count", tracks(), "p7-ffffffff", 7},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    trek::SRecoveryHeader h;
    h.owner = c.owner;
    h.processId = c.pid;
    h.savedAtMs = 1'765'000'123'456;
    trek::DescribeGroup(*c.group, h);
    const std::string body = WriteTrekBytes(*c.group);
    const trek::SRecoveryRead r = trek::ReadRecoveryBytes(trek::RecoveryBytes(h, body));
    ASSERT_TRUE(r.ok()) << r.reason;
    EXPECT_EQ(r.header, h);
    EXPECT_EQ(r.body, body);
    ASSERT_TRUE(r.group);
    EXPECT_EQ(WriteTrekBytes(*r.group), body);
    EXPECT_EQ(r.header.filePath, c.group->FilePath());
  }
}
