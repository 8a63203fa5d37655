// Undo and redo of every trek edit: each takes the groups back to the exact bytes they had (and
// forward again), keeps them modified and restores the selection; a run of edits of every kind
// undoes and redoes as a whole; closing a group drops its entries only; the track log window's
// session gives back its points; data changed behind the stack's back drops the history.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"
#include "trek/ui/CDlgTrackLog.h"

using platform::EPromptAnswer;

namespace {

std::unique_ptr<CMarkerPoint> waypoint(const std::string& name, double latSeconds) {
  auto p = std::make_unique<CMarkerPoint>();
  p->name = name;
  p->comment = "line\r\nnext";
  p->SetPosition(DmsAngle(35, 40, latSeconds), DmsAngle(139, 45, 0.5), Datum::Wgs84);
  return p;
}

std::unique_ptr<CTrackLog> trackLog(const std::string& name, int points, std::int32_t firstNumber = 0) {
  auto log = std::make_unique<CTrackLog>();
  log->name = name;
  for (int i = 0; i < points; ++i) {
    CTrackPoint p;
    p.number = firstNumber + i;
    p.altitude = 100.0 + i;
    p.time = TrekTime(1000000 + i * 10);
    p.SetPosition(DmsAngle(35, 41, i * 1.5), DmsAngle(139, 46, i * 0.25), Datum::Wgs84);
    log->AppendPoint(p);
  }
  return log;
}

trek::SWaypointInput inputOf(const CMarkerPoint& p) {
  trek::SWaypointInput in = trek::WaypointInputFrom(p, Datum::Wgs84);
  in.exact = trek::SPositionWgs84{p.latitude, p.longitude};
  return in;
}

// Public: the table's edits reach into it.
class TrekUndo : public ::testing::Test {
 public:
  void SetUp() override {
    platform::setPrompt(&prompt);
    platform::setProfile(&profile);
    auto w = group(CTrekData::kWaypointGroup, "Walk");
    for (int i = 0; i < 4; ++i) w->AppendWaypoint(waypoint("P" + std::to_string(i), i * 7.0));
    wpIndex = list->AppendGroup(std::move(w));
    otherIndex = list->AppendGroup(group(CTrekData::kWaypointGroup, "Other"));
    auto t = group(CTrekData::kTrackLogGroup, "Tracks");
    t->AppendTrackLog(trackLog("Ridge", 6));
    // Numbers at the low end: deleting a point cannot number the ones after it lower.
    auto valley = trackLog("Valley", 4, std::numeric_limits<std::int32_t>::min());
    valley->Points()[1].number = std::numeric_limits<std::int32_t>::min();
    t->AppendTrackLog(std::move(valley));
    t->AppendTrackLog(trackLog("Lake", 3));
    t->AppendTrackLog(trackLog("Pass", 3));
    tkIndex = list->AppendGroup(std::move(t));
    auto r = group(CTrekData::kRouteGroup, "Plans");
    for (int k = 0; k < 2; ++k) {
      auto route = std::make_unique<CRoute>();
      route->name = "Plan" + std::to_string(k);
      for (int i = 0; i < 3; ++i) route->points.push_back(*waypoint("R" + std::to_string(i), i * 11.0));
      r->AppendRoute(std::move(route));
    }
    rtIndex = list->AppendGroup(std::move(r));
    for (const auto& g : list->Groups()) g->SetModified(0);
  }
  void TearDown() override {
    platform::setProfile(nullptr);
    platform::setPrompt(nullptr);
  }
  /// A fresh list, as SetUp made it.
  void reset() {
    TearDown();
    list = std::make_unique<CTrekGroupList>();
    prompt.clear();
    SetUp();
  }

  static std::unique_ptr<CTrekData> group(std::int32_t kind, const std::string& name) {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(kind);
    g->SetGroupName(name);
    return g;
  }
  /// The file bytes of every open group.
  std::vector<std::string> bytes() const {
    std::vector<std::string> out;
    for (const auto& g : list->Groups()) out.push_back(WriteTrekBytes(*g));
    return out;
  }
  void select(int groupIndex, std::int32_t kind, int item = -1, int point = -1) {
    STrekSelection s;
    s.groupIndex = groupIndex;
    s.kind = kind;
    CTrekData* g = list->Group(groupIndex);
    if (kind == kTrekWaypoint) s.waypoint = g->Waypoints()[std::size_t(item)].get();
    if (kind == kTrekTrackLog || kind == kTrekTrackPoint) s.trackLog = g->TrackLogs()[std::size_t(item)].get();
    s.pointIndex = point;
    ASSERT_TRUE(list->Select(s));
  }

  platform::CScriptedPrompt prompt;
  platform::CMemoryProfile profile;
  std::unique_ptr<CTrekGroupList> list = std::make_unique<CTrekGroupList>();
  int wpIndex = -1, otherIndex = -1, tkIndex = -1, rtIndex = -1;
};

struct SEditCase {
  const char* name;
  const char* undoName;
  std::function<void(TrekUndo&)> prepare;  ///< selection and clipboards; not an edit
  std::function<bool(TrekUndo&)> edit;
};

const SEditCase kEdits[] = {
    {"add waypoint", "ウェイポイントの追加", [](TrekUndo& t) { t.select(t.wpIndex, kTrekWaypointGroup); },
     [](TrekUndo& t) { return t.list->AddWaypoint(t.wpIndex, waypoint("New", 50.0), true, false) != nullptr; }},
    {"add duplicate after the question", "ウェイポイントの追加", [](TrekUndo& t) { t.prompt.push(EPromptAnswer::Yes); },
     [](TrekUndo& t) { return t.list->AddWaypoint(t.wpIndex, waypoint("Twin", 7.0), true, true) != nullptr; }},
    {"edit waypoint texts", "ウェイポイントの編集", [](TrekUndo& t) { t.select(t.wpIndex, kTrekWaypoint, 1); },
     [](TrekUndo& t) {
       trek::SWaypointInput in = inputOf(*t.list->SelectedWaypoint());
       in.name = "Renamed";
       in.comment = "a\nb";
       return t.list->EditSelectedWaypoint(in);
     }},
    {"move waypoint", "ウェイポイントの移動", [](TrekUndo& t) { t.select(t.wpIndex, kTrekWaypoint, 2); },
     [](TrekUndo& t) {
       trek::SWaypointInput in = inputOf(*t.list->SelectedWaypoint());
       in.exact->latitude = DmsAngle(35, 42, 1.25);
       return t.list->EditSelectedWaypoint(in, [](CMarkerPoint& p) { p.sheetName25000 = "sheet"; });
     }},
    {"delete waypoint", "ウェイポイントの削除",
     [](TrekUndo& t) {
       t.select(t.wpIndex, kTrekWaypoint, 0);
       t.prompt.push(EPromptAnswer::Ok);
     },
     [](TrekUndo& t) { return t.list->DeleteWaypoint(); }},
    {"cut waypoint", "ウェイポイントの切り取り", [](TrekUndo& t) { t.select(t.wpIndex, kTrekWaypoint, 3); },
     [](TrekUndo& t) {
       t.list->CutWaypoint();
       return t.list->WaypointClipboard() != nullptr;
     }},
    {"paste waypoint", "ウェイポイントの貼り付け",
     [](TrekUndo& t) {
       t.select(t.wpIndex, kTrekWaypoint, 1);
       t.list->CopyWaypoint();
       t.select(t.otherIndex, kTrekWaypointGroup);
     },
     [](TrekUndo& t) { return t.list->PasteWaypoint(); }},
    {"rename group", "グループ名の変更", nullptr, [](TrekUndo& t) { return t.list->RenameGroup(t.tkIndex, "尾根道"); }},
    {"waypoint GPS name", "GPS表示名の変更", nullptr,
     [](TrekUndo& t) {
       return t.list->SetWaypointGpsName(t.wpIndex, *t.list->Group(t.wpIndex)->Waypoints()[0], "PEAK 1");
     }},
    {"track log GPS name", "GPS表示名の変更", nullptr,
     [](TrekUndo& t) {
       return t.list->SetTrackLogGpsName(t.tkIndex, *t.list->Group(t.tkIndex)->TrackLogs()[1], "VALLEY");
     }},
    {"edit track log", "トラックログの編集", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackLog, 0); },
     [](TrekUndo& t) { return t.list->EditSelectedTrackLog({"Ridge walk", "RIDGE", "one", "two"}); }},
    {"delete track log", "トラックログの削除",
     [](TrekUndo& t) {
       t.select(t.tkIndex, kTrekTrackLog, 0);
       t.prompt.push(EPromptAnswer::Ok);
     },
     [](TrekUndo& t) { return t.list->DeleteTrackLog(); }},
    {"cut track log", "トラックログの切り取り", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackLog, 1); },
     [](TrekUndo& t) {
       t.list->CutTrackLog();
       return t.list->TrackLogClipboard() != nullptr;
     }},
    {"paste track log", "トラックログの貼り付け",
     [](TrekUndo& t) {
       t.select(t.tkIndex, kTrekTrackLog, 0);
       t.list->CopyTrackLog();
       t.prompt.push(EPromptAnswer::Yes);  // the same points: the duplicate question
     },
     [](TrekUndo& t) { return t.list->PasteTrackLog(); }},
    {"delete track point", "トラックポイントの削除", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackPoint, 0, 2); },
     [](TrekUndo& t) { return t.list->DeleteSelectedTrackPoint(); }},
    {"delete first point, numbers at the low end", "トラックポイントの削除",
     [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackPoint, 1, 0); },
     [](TrekUndo& t) { return t.list->DeleteSelectedTrackPoint(); }},
    {"move track point", "トラックポイントの移動", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackPoint, 0, 1); },
     [](TrekUndo& t) { return t.list->MoveSelectedTrackPoint(DmsAngle(35, 50, 0.5), DmsAngle(139, 50, 0.0), Datum::Tokyo); }},
    // Routes.
    {"draw a route", "ルートの作成", nullptr,
     [](TrekUndo& t) {
       auto route = std::make_unique<CRoute>();
       route->points.push_back(*waypoint("new", 3.0));
       return t.list->AddRoute(t.rtIndex, std::move(route)) != nullptr;
     }},
    {"move a route point", "ルートポイントの移動", nullptr,
     [](TrekUndo& t) {
       return t.list->MoveRoutePoint(t.rtIndex, *t.list->Group(t.rtIndex)->Routes()[0], 1, DmsAngle(35, 45, 0.0),
                                     DmsAngle(139, 40, 0.0), Datum::Wgs84);
     }},
    {"insert a route point", "ルートポイントの挿入", nullptr,
     [](TrekUndo& t) {
       return t.list->InsertRoutePoint(t.rtIndex, *t.list->Group(t.rtIndex)->Routes()[1], 1, *waypoint("mid", 5.0));
     }},
    {"delete a route point", "ルートポイントの削除", nullptr,
     [](TrekUndo& t) { return t.list->DeleteRoutePoint(t.rtIndex, *t.list->Group(t.rtIndex)->Routes()[0], 0); }},
    {"delete a route", "ルートの削除",
     [](TrekUndo& t) {
       STrekSelection s;
       s.groupIndex = t.rtIndex;
       s.kind = kTrekRoute;
       s.route = t.list->Group(t.rtIndex)->Routes()[1].get();
       ASSERT_TRUE(t.list->Select(s));
       t.prompt.push(EPromptAnswer::Ok);
     },
     [](TrekUndo& t) { return t.list->DeleteRoute(); }},
    // The track log edits; in a run they follow the edits above, so they pick logs that remain.
    {"split track log", "トラックログの分割", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackPoint, 2, 1); },
     [](TrekUndo& t) { return t.list->SplitSelectedTrackLog(); }},
    {"reverse track log", "トラックログの反転", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackPoint, 0, 0); },
     [](TrekUndo& t) { return t.list->ReverseSelectedTrackLog(); }},
    {"delete a range of points", "トラックポイントの範囲削除", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackLog, 3); },
     [](TrekUndo& t) { return t.list->DeleteSelectedTrackPoints(0, 0); }},
    {"thin track log", "トラックログの間引き", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackLog, 0); },
     [](TrekUndo& t) {
       return t.list->ThinSelectedTrackLog(trek::PlanThinToCount(t.list->SelectedTrackLog()->Points(), 2));
     }},
    {"join track logs", "トラックログの結合", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackLog, 1); },
     [](TrekUndo& t) {
       auto& logs = t.list->Group(t.tkIndex)->TrackLogs();
       return t.list->JoinTrackLogs(t.tkIndex, {logs[1].get(), logs[0].get()}, trek::EJoinOrder::ByTime);
     }},
};

TEST_F(TrekUndo, EveryEditUndoesAndRedoesToTheExactBytes) {
  for (const SEditCase& c : kEdits) {
    SCOPED_TRACE(c.name);
    reset();
    if (c.prepare) c.prepare(*this);
    const std::vector<std::string> before = bytes();
    const STrekSelection selBefore = list->Selection();
    EXPECT_FALSE(list->CanUndo());
    ASSERT_TRUE(c.edit(*this));
    const std::vector<std::string> after = bytes();
    const STrekSelection selAfter = list->Selection();
    ASSERT_NE(before, after);
    ASSERT_TRUE(list->CanUndo());
    EXPECT_EQ(list->UndoName(), c.undoName);

    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(list->Undo());
      EXPECT_EQ(bytes(), before);
      EXPECT_EQ(list->Selection(), selBefore);
      EXPECT_EQ(list->RedoName(), c.undoName);
      EXPECT_FALSE(list->CanUndo());
      ASSERT_TRUE(list->Redo());
      EXPECT_EQ(bytes(), after);
      EXPECT_EQ(list->Selection(), selAfter);
    }
    int modified = 0;
    for (const auto& g : list->Groups()) modified += g->IsModified();
    EXPECT_GE(modified, 1);
  }
}

TEST_F(TrekUndo, ARunOfEveryKindUndoesAndRedoesAsAWhole) {
  const std::vector<std::string> initial = bytes();
  std::vector<std::vector<std::string>> states{initial};
  for (const SEditCase& c : kEdits) {
    SCOPED_TRACE(c.name);
    if (c.prepare) c.prepare(*this);
    ASSERT_TRUE(c.edit(*this));
    states.push_back(bytes());
  }
  EXPECT_EQ(list->UndoStack().count(), int(states.size()) - 1);
  for (std::size_t i = states.size() - 1; i > 0; --i) {
    ASSERT_TRUE(list->Undo()) << i;
    EXPECT_EQ(bytes(), states[i - 1]) << i;
  }
  EXPECT_FALSE(list->Undo());
  for (std::size_t i = 1; i < states.size(); ++i) {
    ASSERT_TRUE(list->Redo()) << i;
    EXPECT_EQ(bytes(), states[i]) << i;
  }
  // After undoing half, a new edit replaces what could have been redone.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(list->Undo());
  ASSERT_TRUE(list->RenameGroup(wpIndex, "Fresh"));
  EXPECT_FALSE(list->CanRedo());
  EXPECT_EQ(list->UndoStack().count(), int(states.size()) - 3);
}

TEST_F(TrekUndo, SavingLeavesAGroupCleanUntilTheNextChangeAndUndoKeepsItModified) {
  ASSERT_TRUE(list->RenameGroup(wpIndex, "Saved"));
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto path = std::filesystem::path(dir.path().toStdString()) / "saved.pmd";
  ASSERT_TRUE(list->SaveTrekFile(path, *list->Group(wpIndex)));
  EXPECT_EQ(list->Group(wpIndex)->IsModified(), 0);
  EXPECT_TRUE(list->CanUndo());  // saving is not an entry, and keeps the history
  ASSERT_TRUE(list->Undo());
  EXPECT_EQ(list->Group(wpIndex)->IsModified(), 1);
  EXPECT_EQ(list->Group(wpIndex)->GroupName(), "Walk");
}

TEST_F(TrekUndo, ClosingAGroupDropsItsEntriesOnly) {
  ASSERT_TRUE(list->RenameGroup(tkIndex, "T1"));
  ASSERT_TRUE(list->RenameGroup(wpIndex, "W1"));
  ASSERT_TRUE(list->RenameGroup(tkIndex, "T2"));
  ASSERT_TRUE(list->RenameGroup(wpIndex, "W2"));
  ASSERT_TRUE(list->Undo());  // W2 -> W1, redoable
  select(wpIndex, kTrekWaypointGroup);
  prompt.push(EPromptAnswer::No);  // do not save
  ASSERT_TRUE(list->CloseSelectedGroup());
  const int tracks = tkIndex - 1;
  ASSERT_EQ(list->Group(tracks)->GroupName(), "T2");
  EXPECT_EQ(list->UndoStack().count(), 2);
  EXPECT_FALSE(list->CanRedo());
  EXPECT_EQ(list->UndoName(), "グループ名の変更");
  ASSERT_TRUE(list->Undo());
  EXPECT_EQ(list->Group(tracks)->GroupName(), "T1");
  ASSERT_TRUE(list->Undo());
  EXPECT_EQ(list->Group(tracks)->GroupName(), "Tracks");
  EXPECT_FALSE(list->CanUndo());
}

TEST_F(TrekUndo, EditingWindowsHoldTheHistory) {
  ASSERT_TRUE(list->RenameGroup(wpIndex, "W1"));
  list->SetLocked(true);
  EXPECT_FALSE(list->CanUndo());
  EXPECT_FALSE(list->Undo());
  list->SetLocked(false);
  select(tkIndex, kTrekTrackLog, 0);
  list->HoldSelection(true);
  EXPECT_FALSE(list->CanUndo());
  list->ReleaseHold();
  EXPECT_TRUE(list->Undo());
}

TEST_F(TrekUndo, DataChangedBehindTheStacksBackDropsTheHistory) {
  select(wpIndex, kTrekWaypoint, 0);
  prompt.push(EPromptAnswer::Ok);
  ASSERT_TRUE(list->DeleteWaypoint());
  list->Group(wpIndex)->Waypoints().clear();
  EXPECT_FALSE(list->Undo());
  EXPECT_EQ(list->UndoStack().count(), 0);
  EXPECT_TRUE(list->Group(wpIndex)->Waypoints().empty());
}

TEST_F(TrekUndo, StackKeepsAtMostItsLimit) {
  for (int i = 0; i < CTrekGroupList::kUndoLimit + 20; ++i) {
    std::string name = "N";  // appended, not "N" + ...: GCC 12 -O3 warns wrongly about the latter
    name += std::to_string(i);
    ASSERT_TRUE(list->RenameGroup(wpIndex, name));
  }
  EXPECT_EQ(list->UndoStack().count(), CTrekGroupList::kUndoLimit);
  while (list->Undo()) {
  }
  EXPECT_EQ(list->Group(wpIndex)->GroupName(), "N19");
}

TEST_F(TrekUndo, ActionsWithoutAGroupRunTheirCallbacks) {
  int mode = 1;
  list->PushUndoAction("ウェイポイントの並べ替え", [&] { mode = 0; }, [&] { mode = 1; }, &mode);
  EXPECT_EQ(mode, 1);  // pushing does not run it again
  ASSERT_TRUE(list->Undo());
  EXPECT_EQ(mode, 0);
  ASSERT_TRUE(list->Redo());
  EXPECT_EQ(mode, 1);
  list->DropUndoEntries(&mode);
  EXPECT_EQ(list->UndoStack().count(), 0);
}

// The track log window: Cancel gives back the points moved and deleted while it was open,
// and their entries go; OK keeps each as its own entry.
TEST_F(TrekUndo, TrackLogWindowCancelTakesBackPointEdits) {
  for (const bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    reset();
    ASSERT_TRUE(list->RenameGroup(wpIndex, "Before"));  // an entry from before the window
    select(tkIndex, kTrekTrackLog, 0);
    const std::string before = bytes()[std::size_t(tkIndex)];
    CDlgTrackLog dlg(*list);
    dlg.show();
    select(tkIndex, kTrekTrackPoint, 0, 1);
    ASSERT_TRUE(list->MoveSelectedTrackPoint(DmsAngle(35, 44, 0.0), DmsAngle(139, 44, 0.0), Datum::Wgs84));
    // Another group renamed meanwhile is no part of the window's work.
    ASSERT_TRUE(list->RenameGroup(otherIndex, "Meanwhile"));
    select(tkIndex, kTrekTrackPoint, 0, 3);
    QTest::mouseClick(dlg.findChild<QPushButton*>("deletePointButton"), Qt::LeftButton);
    ASSERT_EQ(list->Group(tkIndex)->TrackLogs()[0]->Points().size(), 5u);
    EXPECT_FALSE(list->CanUndo());  // not while the window is open
    auto* buttons = dlg.findChild<QDialogButtonBox*>("buttons");
    QTest::mouseClick(buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(list->Group(otherIndex)->GroupName(), "Meanwhile");
    if (ok) {
      EXPECT_NE(bytes()[std::size_t(tkIndex)], before);
      EXPECT_EQ(list->UndoStack().count(), 4);
      EXPECT_EQ(list->UndoName(), "トラックポイントの削除");
      ASSERT_TRUE(list->Undo());
      ASSERT_TRUE(list->Undo());  // the rename of the other group
      ASSERT_TRUE(list->Undo());
      EXPECT_EQ(bytes()[std::size_t(tkIndex)], before);
    } else {
      EXPECT_EQ(bytes()[std::size_t(tkIndex)], before);
      EXPECT_EQ(list->UndoStack().count(), 2);
      EXPECT_EQ(list->UndoName(), "グループ名の変更");
      EXPECT_EQ(list->Selection().kind, kTrekTrackLog);
      ASSERT_TRUE(list->Undo());
      EXPECT_EQ(list->Group(otherIndex)->GroupName(), "Other");
    }
  }
}

}  // namespace

TEST_F(TrekUndo, RefusedTrackLogEditsSayWhyAndLeaveNoEntry) {
  const struct {
    const char* name;
    std::function<void(TrekUndo&)> prepare;
    std::function<bool(TrekUndo&)> edit;
    const char* text;  ///< the warning shown; null for a silent refusal
  } kCases[] = {
      {"split at the last point", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackPoint, 0, 5); },
       [](TrekUndo& t) { return t.list->SplitSelectedTrackLog(); },
       "トラックログの最初と最後のポイントでは分割できません。"},
      {"split without a point", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackLog, 0); },
       [](TrekUndo& t) { return t.list->SplitSelectedTrackLog(); }, nullptr},
      {"join one log", nullptr,
       [](TrekUndo& t) {
         return t.list->JoinTrackLogs(t.tkIndex, {t.list->Group(t.tkIndex)->TrackLogs()[0].get()},
                                      trek::EJoinOrder::ByTime);
       },
       "結合するトラックログを2つ以上選んでください。"},
      {"join logs of a waypoint group", nullptr,
       [](TrekUndo& t) { return t.list->JoinTrackLogs(t.wpIndex, {}, trek::EJoinOrder::ByTime); }, nullptr},
      {"delete every point", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackLog, 2); },
       [](TrekUndo& t) { return t.list->DeleteSelectedTrackPoints(0, 2); },
       "すべてのポイントは削除できません。トラックログを削除してください。"},
      {"thin with a plan for another log", [](TrekUndo& t) { t.select(t.tkIndex, kTrekTrackLog, 2); },
       [](TrekUndo& t) {
         return t.list->ThinSelectedTrackLog(
             trek::PlanThinToCount(t.list->Group(t.tkIndex)->TrackLogs()[0]->Points(), 2));
       },
       nullptr},
      {"reverse while the track log window is open",
       [](TrekUndo& t) {
         t.select(t.tkIndex, kTrekTrackLog, 0);
         t.list->SetTrackLogEditing(true);
       },
       [](TrekUndo& t) { return t.list->ReverseSelectedTrackLog(); }, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    reset();
    if (c.prepare) c.prepare(*this);
    const std::vector<std::string> before = bytes();
    EXPECT_FALSE(c.edit(*this));
    EXPECT_EQ(bytes(), before);
    EXPECT_FALSE(list->CanUndo());
    if (c.text) {
      EXPECT_EQ(prompt.texts(), std::vector<std::string>{c.text});
    } else {
      EXPECT_TRUE(prompt.texts().empty());
    }
    list->SetTrackLogEditing(false);
  }
}
