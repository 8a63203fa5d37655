// Editing through the group list: adding with the duplicate questions, deleting, the two
// clipboards, renaming, track point removal and the selection rules.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"

using platform::EPromptAnswer;
using platform::EPromptButtons;
using platform::EPromptIcon;

namespace {

std::unique_ptr<CMarkerPoint> waypoint(const std::string& name, double latSeconds) {
  auto p = std::make_unique<CMarkerPoint>();
  p->name = name;
  p->SetPosition(DmsAngle(35, 40, latSeconds), DmsAngle(139, 45, 0.0), Datum::Wgs84);
  return p;
}

std::unique_ptr<CTrackLog> trackLog(const std::string& name, int points) {
  auto log = std::make_unique<CTrackLog>();
  log->name = name;
  for (int i = 0; i < points; ++i) {
    CTrackPoint p;
    p.number = i;
    p.SetPosition(DmsAngle(35, 40, i), DmsAngle(139, 45, i), Datum::Wgs84);
    log->AppendPoint(p);
  }
  return log;
}

class CRecorder : public ITrekGroupListener {
 public:
  void trekDataChanged() override { events.push_back("data"); }
  void trekSelectionChanged(const STrekSelection& s) override { events.push_back("select " + std::to_string(s.kind)); }
  std::vector<std::string> events;
};

class TrekEditGroup : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setPrompt(&prompt);
    wpIndex = list.AppendGroup(group(CTrekData::kWaypointGroup, "W"));
    otherWpIndex = list.AppendGroup(group(CTrekData::kWaypointGroup, "W2"));
    tkIndex = list.AppendGroup(group(CTrekData::kTrackLogGroup, "T"));
    list.setListener(&recorder);
  }
  void TearDown() override { platform::setPrompt(nullptr); }

  static std::unique_ptr<CTrekData> group(std::int32_t kind, const std::string& name) {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(kind);
    g->SetGroupName(name);
    return g;
  }
  CTrekData& wp() { return *list.Group(wpIndex); }
  CTrekData& tk() { return *list.Group(tkIndex); }

  platform::CScriptedPrompt prompt;
  CRecorder recorder;
  CTrekGroupList list;
  int wpIndex = -1;
  int otherWpIndex = -1;
  int tkIndex = -1;
};

TEST_F(TrekEditGroup, DuplicateWaypointAnsweredNoThenYes) {
  ASSERT_NE(list.AddWaypoint(wpIndex, waypoint("\x96\x6b", 1.0), true, false), nullptr);  // 北
  EXPECT_TRUE(prompt.texts().empty());
  EXPECT_EQ(wp().IsModified(), 1);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"data", "select 5"}));
  wp().SetModified(0);

  auto twin = waypoint("\x93\xec", 1.0);  // 南, same place
  CMarkerPoint* raw = twin.get();
  prompt.push(EPromptAnswer::No);
  EXPECT_EQ(list.AddWaypoint(wpIndex, std::move(twin), true, false), nullptr);
  ASSERT_TRUE(twin);  // still the caller's
  EXPECT_EQ(twin.get(), raw);
  EXPECT_EQ(wp().Waypoints().size(), 1u);
  EXPECT_EQ(wp().IsModified(), 0);
  ASSERT_EQ(prompt.requests().size(), 1u);
  const auto& q = prompt.requests()[0];
  EXPECT_EQ(q.text,
            "このポイントグループには、同じ経緯度のポイント [北] が既に存在します。\r\n"
            "ここにポイント [南] を追加しますか?");
  EXPECT_EQ(q.icon, EPromptIcon::Question);
  EXPECT_EQ(q.buttons, EPromptButtons::YesNo);

  prompt.push(EPromptAnswer::Yes);
  EXPECT_EQ(list.AddWaypoint(wpIndex, std::move(twin), false, true), raw);
  EXPECT_FALSE(twin);
  EXPECT_EQ(wp().Waypoints().size(), 2u);
  EXPECT_EQ(wp().IsModified(), 1);
  // keepSelection: the first point stays selected.
  EXPECT_EQ(list.SelectedWaypoint(), wp().Waypoints()[0].get());

  // The same place in another group is no duplicate; a track log group takes no waypoint.
  prompt.clear();
  EXPECT_NE(list.AddWaypoint(otherWpIndex, waypoint("x", 1.0), true, false), nullptr);
  auto p = waypoint("y", 9.0);
  EXPECT_EQ(list.AddWaypoint(tkIndex, std::move(p), true, false), nullptr);
  EXPECT_TRUE(p);
  EXPECT_EQ(list.AddWaypoint(99, std::move(p), true, false), nullptr);
  EXPECT_TRUE(prompt.texts().empty());
}

TEST_F(TrekEditGroup, DuplicateTrackLogQuestion) {
  ASSERT_NE(list.AddTrackLog(tkIndex, trackLog("A", 3), true, false), nullptr);
  prompt.push(EPromptAnswer::No);
  auto again = trackLog("B", 3);
  EXPECT_EQ(list.AddTrackLog(tkIndex, std::move(again), true, false), nullptr);
  EXPECT_TRUE(again);
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{
                                "このトレックデータグループには、同じトラックデータ [A] が既に存在します。\r\n"
                                "ここにトラックデータ [B] を追加しますか?"});
  EXPECT_EQ(list.AddTrackLog(wpIndex, std::move(again), true, false), nullptr);
  EXPECT_EQ(tk().TrackLogs().size(), 1u);
  EXPECT_EQ(list.SelectedTrackLog(), tk().TrackLogs()[0].get());
}

TEST_F(TrekEditGroup, DeleteAsksWithCancelAsDefault) {
  list.AddWaypoint(wpIndex, waypoint("P", 1.0), true, false);
  list.AddTrackLog(tkIndex, trackLog("L", 2), true, false);
  const struct {
    const char* name;
    bool waypoint;
    std::string question;
  } kCases[] = {
      {"waypoint", true, "ポイント [P] を削除しますか?  "},
      {"track log", false, "トラックログ[L] を削除しますか?  "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CTrekData& g = c.waypoint ? wp() : tk();
    const int index = c.waypoint ? wpIndex : tkIndex;
    STrekSelection s{c.waypoint ? kTrekWaypoint : kTrekTrackLog, index};
    if (c.waypoint) {
      s.waypoint = g.Waypoints()[0].get();
    } else {
      s.trackLog = g.TrackLogs()[0].get();
    }
    ASSERT_TRUE(list.Select(s));
    g.SetModified(0);
    auto remove = [&] { return c.waypoint ? list.DeleteWaypoint() : list.DeleteTrackLog(); };
    auto count = [&] { return c.waypoint ? g.Waypoints().size() : g.TrackLogs().size(); };

    prompt.clear();
    prompt.push(EPromptAnswer::Cancel);
    EXPECT_FALSE(remove());
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(g.IsModified(), 0);
    ASSERT_EQ(prompt.requests().size(), 1u);
    EXPECT_EQ(prompt.requests()[0].text, c.question);
    EXPECT_EQ(prompt.requests()[0].buttons, EPromptButtons::OkCancel);
    EXPECT_EQ(prompt.requests()[0].defaultButton, EPromptAnswer::Cancel);
    EXPECT_EQ(prompt.requests()[0].icon, EPromptIcon::Question);

    prompt.push(EPromptAnswer::Ok);
    EXPECT_TRUE(remove());
    EXPECT_EQ(count(), 0u);
    EXPECT_EQ(g.IsModified(), 1);
    EXPECT_EQ(list.Selection().kind, g.Kind());
    EXPECT_EQ(list.Selection().groupIndex, index);
    // Nothing selected below the group any more: nothing to delete, no question.
    prompt.clear();
    EXPECT_FALSE(remove());
    EXPECT_TRUE(prompt.texts().empty());
  }
}

TEST_F(TrekEditGroup, CutThenPasteTwice) {
  CMarkerPoint* p = list.AddWaypoint(wpIndex, waypoint("P", 1.0), true, false);
  p->comment = "note";
  list.CutWaypoint();
  EXPECT_TRUE(wp().Waypoints().empty());
  EXPECT_TRUE(prompt.texts().empty());  // cut asks nothing
  ASSERT_NE(list.WaypointClipboard(), nullptr);
  EXPECT_EQ(list.WaypointClipboard()->comment, "note");

  EXPECT_TRUE(list.PasteWaypoint());
  ASSERT_EQ(wp().Waypoints().size(), 1u);
  EXPECT_EQ(*wp().Waypoints()[0], *list.WaypointClipboard());
  EXPECT_NE(wp().Waypoints()[0].get(), list.WaypointClipboard());

  prompt.push(EPromptAnswer::No);
  EXPECT_FALSE(list.PasteWaypoint());
  EXPECT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(wp().Waypoints().size(), 1u);
  EXPECT_NE(list.WaypointClipboard(), nullptr);
}

TEST_F(TrekEditGroup, PasteIntoAnotherGroup) {
  EXPECT_FALSE(list.PasteWaypoint());  // empty clipboard
  list.AddWaypoint(wpIndex, waypoint("P", 1.0), true, false);
  list.CopyWaypoint();
  EXPECT_EQ(wp().Waypoints().size(), 1u);

  ASSERT_TRUE(list.Select({kTrekNone, otherWpIndex}));
  list.Group(otherWpIndex)->SetModified(0);
  EXPECT_TRUE(list.PasteWaypoint());
  EXPECT_EQ(list.Group(otherWpIndex)->Waypoints().size(), 1u);
  EXPECT_EQ(list.Group(otherWpIndex)->IsModified(), 1);
  EXPECT_EQ(list.Selection().groupIndex, otherWpIndex);
  EXPECT_EQ(list.SelectedWaypoint(), list.Group(otherWpIndex)->Waypoints()[0].get());

  // Into a group of the other kind, or with no group selected: nothing.
  ASSERT_TRUE(list.Select({kTrekNone, tkIndex}));
  EXPECT_FALSE(list.PasteWaypoint());
  list.ClearSelection();
  EXPECT_FALSE(list.PasteWaypoint());
  EXPECT_TRUE(prompt.texts().empty());

  // Track logs are copied deeply: changing the source afterwards leaves the clipboard alone.
  CTrackLog* src = list.AddTrackLog(tkIndex, trackLog("L", 2), true, false);
  list.CopyTrackLog();
  src->Points()[0].altitude = 999.0;
  prompt.push(EPromptAnswer::Yes);  // same points as L
  EXPECT_TRUE(list.PasteTrackLog());
  EXPECT_EQ(prompt.requests().size(), 1u);
  ASSERT_EQ(tk().TrackLogs().size(), 2u);
  EXPECT_EQ(tk().TrackLogs()[1]->Points().size(), 2u);
  EXPECT_EQ(tk().TrackLogs()[1]->Points()[0].altitude, 0.0);
  EXPECT_EQ(list.SelectedTrackLog(), tk().TrackLogs()[1].get());
}

TEST_F(TrekEditGroup, TrackPointDeletionRenumbers) {
  CTrackLog* log = list.AddTrackLog(tkIndex, trackLog("L", 5), true, false);
  EXPECT_FALSE(list.DeleteSelectedTrackPoint());  // the log, not a point, is selected

  ASSERT_TRUE(list.Select({kTrekTrackPoint, tkIndex, nullptr, log, 2}));
  ASSERT_NE(list.SelectedTrackPoint(), nullptr);
  tk().SetModified(0);
  recorder.events.clear();
  EXPECT_TRUE(list.DeleteSelectedTrackPoint());
  std::vector<std::int32_t> numbers;
  std::vector<double> seconds;
  for (const auto& p : log->Points()) {
    numbers.push_back(p.number);
    seconds.push_back(p.latitude.seconds);
  }
  EXPECT_EQ(numbers, (std::vector<std::int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(seconds, (std::vector<double>{0, 1, 3, 4}));
  EXPECT_EQ(list.Selection().kind, kTrekTrackLog);
  EXPECT_EQ(list.SelectedTrackLog(), log);
  EXPECT_EQ(list.SelectedTrackPoint(), nullptr);
  EXPECT_EQ(tk().IsModified(), 1);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"data", "select 2"}));

  // The last point of a log.
  ASSERT_TRUE(list.Select({kTrekTrackPoint, tkIndex, nullptr, log, 3}));
  EXPECT_TRUE(list.DeleteSelectedTrackPoint());
  EXPECT_EQ(log->Points().size(), 3u);
  EXPECT_EQ(log->Points().back().number, 2);
}

TEST_F(TrekEditGroup, RenameAndNewGroup) {
  EXPECT_FALSE(list.RenameGroup(wpIndex, ""));
  ASSERT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(prompt.requests()[0].text, "グループ名を入力して下さい。　");
  EXPECT_EQ(prompt.requests()[0].icon, EPromptIcon::Information);
  EXPECT_EQ(wp().GroupName(), "W");
  EXPECT_EQ(wp().IsModified(), 0);

  EXPECT_TRUE(list.RenameGroup(wpIndex, "山行"));
  EXPECT_EQ(wp().GroupName(), "\x8e\x52\x8d\x73");
  EXPECT_EQ(wp().IsModified(), 1);
  EXPECT_FALSE(list.RenameGroup(wpIndex, "\xF0\x9F\x97\xBB"));
  EXPECT_EQ(wp().GroupName(), "\x8e\x52\x8d\x73");

  prompt.clear();
  const int n = list.NewGroup(CTrekData::kTrackLogGroup, " 新規");
  ASSERT_EQ(n, 3);
  EXPECT_EQ(list.Group(n)->Kind(), CTrekData::kTrackLogGroup);
  EXPECT_EQ(list.Group(n)->GroupName(), " \x90\x56\x8b\x4b");
  EXPECT_EQ(list.Group(n)->IsModified(), 1);
  EXPECT_EQ(list.Group(n)->FilePath(), "");
  EXPECT_EQ(list.NewGroup(2, "x"), -1);
  EXPECT_EQ(list.NewGroup(CTrekData::kWaypointGroup, "   "), -1);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(prompt.requests().size(), 1u);
}

TEST_F(TrekEditGroup, EditingWindowsApplyCheckedInput) {
  CMarkerPoint* p = list.AddWaypoint(wpIndex, waypoint("P", 1.0), true, false);
  p->symbol = -18;
  wp().SetModified(0);
  trek::SWaypointInput in = trek::WaypointInputFrom(*p, Datum::Wgs84);
  in.latDegrees = "22";
  EXPECT_FALSE(list.EditSelectedWaypoint(in));
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{"正しい経緯度を入力してください。"});
  EXPECT_EQ(p->latitude.degrees, 35);
  EXPECT_EQ(wp().IsModified(), 0);

  in.latDegrees = "36";
  in.name = "頂";
  EXPECT_TRUE(list.EditSelectedWaypoint(in));
  EXPECT_EQ(p->latitude.degrees, 36);
  EXPECT_EQ(p->name, "\x92\xb8");
  EXPECT_EQ(p->symbol, -18);  // the window does not touch the receiver's symbol
  EXPECT_EQ(wp().IsModified(), 1);

  CTrackLog* log = list.AddTrackLog(tkIndex, trackLog("L", 1), true, false);
  EXPECT_TRUE(list.EditSelectedTrackLog({"新", "NEW", "d1", "d2"}));
  EXPECT_EQ(log->name, "\x90\x56");
  EXPECT_EQ(log->gpsName, "NEW");
  EXPECT_EQ(tk().IsModified(), 1);

  tk().SetModified(0);
  EXPECT_TRUE(list.SetTrackLogGpsName(tkIndex, *log, "TRACK 1"));
  EXPECT_EQ(log->gpsName, "TRACK 1");
  EXPECT_EQ(tk().IsModified(), 1);
  EXPECT_FALSE(list.SetWaypointGpsName(tkIndex, *p, "X"));  // not an item of that group
  EXPECT_FALSE(list.SetWaypointGpsName(wpIndex, *p, "ABCDEFGHIJK"));
  EXPECT_EQ(p->gpsName, "");
}

TEST_F(TrekEditGroup, HeldGroupAndItemCannotBeRemoved) {
  CMarkerPoint* p = list.AddWaypoint(wpIndex, waypoint("P", 1.0), true, false);
  CMarkerPoint* q = list.AddWaypoint(wpIndex, waypoint("Q", 2.0), true, false);
  CTrackLog* a = list.AddTrackLog(tkIndex, trackLog("A", 2), true, false);
  CTrackLog* b = list.AddTrackLog(tkIndex, trackLog("B", 3), true, false);
  const struct {
    const char* name;
    STrekSelection opened;  // selected when the window opened
    bool item;              // the window works on that item (editing), not only its group (adding)
    STrekSelection now;     // selected while it is open
    bool canClose, canRemoveWaypoint, canRemoveTrackLog;
  } kCases[] = {
      {"waypoint edited", {kTrekWaypoint, wpIndex, p}, true, {kTrekWaypoint, wpIndex, p}, false, false, false},
      {"adding, another waypoint", {kTrekWaypoint, wpIndex, p}, false, {kTrekWaypoint, wpIndex, q}, false, true, false},
      {"adding, the same waypoint", {kTrekNone, wpIndex}, false, {kTrekWaypoint, wpIndex, p}, false, true, false},
      {"track log edited", {kTrekTrackLog, tkIndex, nullptr, a}, true, {kTrekTrackLog, tkIndex, nullptr, a}, false, false, false},
      {"its point selected", {kTrekTrackLog, tkIndex, nullptr, a}, true, {kTrekTrackPoint, tkIndex, nullptr, a, 1}, false, false, false},
      {"another track log", {kTrekTrackLog, tkIndex, nullptr, a}, true, {kTrekTrackLog, tkIndex, nullptr, b}, false, false, true},
      {"another group", {kTrekWaypoint, wpIndex, p}, true, {kTrekNone, otherWpIndex}, true, false, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(list.Select(c.opened));
    list.HoldSelection(c.item);
    ASSERT_TRUE(list.Select(c.now));
    EXPECT_EQ(list.CanCloseSelectedGroup(), c.canClose);
    EXPECT_EQ(list.CanRemoveSelectedWaypoint(), c.canRemoveWaypoint);
    EXPECT_EQ(list.CanRemoveSelectedTrackLog(), c.canRemoveTrackLog);
    // What may not be removed is neither asked about nor touched, by any path.
    prompt.clear();
    const std::size_t waypoints = wp().Waypoints().size(), logs = tk().TrackLogs().size();
    if (!c.canRemoveWaypoint) {
      EXPECT_FALSE(list.DeleteWaypoint());
      list.CutWaypoint();
    }
    if (!c.canRemoveTrackLog) {
      EXPECT_FALSE(list.DeleteTrackLog());
      list.CutTrackLog();
    }
    if (!c.canClose) {
      EXPECT_FALSE(list.CloseSelectedGroup());
    }
    EXPECT_TRUE(prompt.requests().empty());
    EXPECT_EQ(wp().Waypoints().size(), waypoints);
    EXPECT_EQ(tk().TrackLogs().size(), logs);
    EXPECT_EQ(list.Count(), 3);
    list.ReleaseHold();
  }

  // A paste while a waypoint is edited leaves the selection on it.
  ASSERT_TRUE(list.Select({kTrekWaypoint, wpIndex, q}));
  list.CopyWaypoint();
  ASSERT_TRUE(list.Select({kTrekWaypoint, wpIndex, p}));
  list.HoldSelection(true);
  prompt.push(EPromptAnswer::Yes);  // Q is there already
  EXPECT_TRUE(list.PasteWaypoint());
  EXPECT_EQ(wp().Waypoints().size(), 3u);
  EXPECT_EQ(list.SelectedWaypoint(), p);
  // Released, everything may go again.
  list.ReleaseHold();
  prompt.push(EPromptAnswer::Ok);
  EXPECT_TRUE(list.DeleteWaypoint());
  EXPECT_EQ(wp().Waypoints().size(), 2u);
}

TEST_F(TrekEditGroup, SelectionRules) {
  CMarkerPoint* p = list.AddWaypoint(wpIndex, waypoint("P", 1.0), true, false);
  CTrackLog* a = list.AddTrackLog(tkIndex, trackLog("A", 2), true, false);
  CTrackLog* b = list.AddTrackLog(tkIndex, trackLog("B", 3), true, false);
  const struct {
    const char* name;
    STrekSelection request;
    bool want;
  } kCases[] = {
      {"group node", {kTrekNone, wpIndex}, true},
      {"waypoint", {kTrekWaypoint, wpIndex, p}, true},
      {"waypoint of another group", {kTrekWaypoint, otherWpIndex, p}, false},
      {"track log as a waypoint group", {kTrekWaypointGroup, tkIndex}, false},
      {"point", {kTrekTrackPoint, tkIndex, nullptr, a, 1}, true},
      {"point beyond the log", {kTrekTrackPoint, tkIndex, nullptr, a, 2}, false},
      {"group out of range", {kTrekNone, 7}, false},
      {"unknown kind", {9, wpIndex}, false},
      {"none", {kTrekNone, -1}, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    list.ClearSelection();
    EXPECT_EQ(list.Select(c.request), c.want);
  }
  ASSERT_TRUE(list.Select({kTrekNone, tkIndex}));
  EXPECT_EQ(list.Selection().kind, kTrekTrackLogGroup);

  // A waypoint window locks the selection.
  list.SetLocked(true);
  EXPECT_FALSE(list.Select({kTrekWaypoint, wpIndex, p}));
  list.SetLocked(false);

  // While track log B is edited, only B and its points may be chosen.
  ASSERT_TRUE(list.Select({kTrekTrackLog, tkIndex, nullptr, b}));
  list.SetTrackLogEditing(true);
  EXPECT_FALSE(list.Select({kTrekTrackLog, tkIndex, nullptr, a}));
  EXPECT_FALSE(list.Select({kTrekNone, tkIndex}));
  EXPECT_TRUE(list.Select({kTrekTrackPoint, tkIndex, nullptr, b, 2}));
  EXPECT_TRUE(list.Select({kTrekTrackLog, tkIndex, nullptr, b}));
  list.SetTrackLogEditing(false);
}

}  // namespace
