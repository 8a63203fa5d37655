// Opening, saving and closing trek files through the group list, with scripted answers.
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekFile.h"

namespace fs = std::filesystem;
using platform::EPromptAnswer;
using platform::EPromptButtons;
using platform::EPromptIcon;

namespace {

std::unique_ptr<CTrekData> makeGroup(std::int32_t kind, const std::string& name, int items) {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(kind);
  g->SetGroupName(name);
  for (int i = 0; i < items; ++i) {
    if (kind == CTrekData::kWaypointGroup) {
      auto p = std::make_unique<CMarkerPoint>();
      p->name = std::string("P").append(std::to_string(i));
      p->SetPosition(DmsAngle(35, 40, i), DmsAngle(139, 45, 0.0), Datum::Wgs84);
      g->AppendWaypoint(std::move(p));
    } else {
      auto log = std::make_unique<CTrackLog>();
      log->name = std::string("L").append(std::to_string(i));
      CTrackPoint pt;
      pt.SetPosition(DmsAngle(35, 40, i), DmsAngle(139, 45, 0.0), Datum::Wgs84);
      log->AppendPoint(pt);
      g->AppendTrackLog(std::move(log));
    }
  }
  return g;
}

void writeGroup(const fs::path& path, std::int32_t kind, const std::string& name, int items) {
  const auto g = makeGroup(kind, name, items);
  testutil::writeFile(path, WriteTrekBytes(*g));
}

// Little-endian bytes of an old (version 2) waypoint file with one point at Tokyo
// 35°40'0" N, 139°45'0" E.
std::string oldVersionFile() {
  std::string b;
  auto i32 = [&](std::int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF));
  };
  auto word = [&](std::uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
  };
  auto f32 = [&](float f) {
    std::int32_t v;
    std::memcpy(&v, &f, 4);
    i32(v);
  };
  auto str = [&](const std::string& s) {
    b.push_back(static_cast<char>(s.size()));
    b += s;
  };
  str("Vantoria25000 PointDataFile");
  i32(2);
  str("old");
  str("");
  word(1);
  word(0xFFFF);
  word(2);
  word(12);
  b += "CMarkerPoint";
  i32(139), i32(45), f32(0.0f), i32(35), i32(40), f32(0.0f), i32(533946);
  for (const char* s : {"s25", "s50", "area", "peak", "dir", "comment", "d1", "d2"}) str(s);
  i32(0);
  return b;
}

class CRecorder : public ITrekGroupListener {
 public:
  void trekDataChanged() override { ++dataChanges; }
  void trekSelectionChanged(const STrekSelection&) override { ++selectionChanges; }
  int dataChanges = 0;
  int selectionChanges = 0;
};

class GroupListFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_tmp.isValid());
    platform::setPrompt(&prompt);
    platform::setFileDialog(&dialog);
    platform::setProfile(&profile);
    list.setListener(&recorder);
  }
  void TearDown() override {
    platform::setPrompt(nullptr);
    platform::setFileDialog(nullptr);
    platform::setProfile(nullptr);
  }
  fs::path dir() const { return fs::path(m_tmp.path().toStdString()); }
  static std::string text(const fs::path& p) { return platform::pathToUtf8(p); }

  platform::CScriptedPrompt prompt;
  platform::CScriptedFileDialog dialog;
  platform::CMemoryProfile profile;
  CRecorder recorder;
  CTrekGroupList list;

 private:
  QTemporaryDir m_tmp;
};

TEST_F(GroupListFiles, OpeningTheSamePathTwiceKeepsOneGroup) {
  const fs::path path = dir() / "walk.pmd";
  writeGroup(path, CTrekData::kWaypointGroup, "walk", 2);
  ASSERT_EQ(list.OpenTrekFile(path), 1);
  EXPECT_EQ(list.Group(0)->FilePath(), text(path));
  EXPECT_TRUE(prompt.texts().empty());

  EXPECT_EQ(list.OpenTrekFile(path), 1);
  EXPECT_EQ(list.Count(), 1);
  ASSERT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(prompt.requests()[0].text, "トレックデータファイル [" + text(path) + "は既に開かれています。");
  EXPECT_EQ(prompt.requests()[0].icon, EPromptIcon::Information);

  // Another letter case names another file here; it is opened as a group of its own.
  const fs::path upper = dir() / "WALK.pmd";
  fs::copy_file(path, upper);
  EXPECT_EQ(list.OpenTrekFile(upper), 1);
  EXPECT_EQ(list.Count(), 2);
}

TEST_F(GroupListFiles, ExtensionGatesTheAttemptAndTheStoredKindDecides) {
  fs::create_directories(dir() / "trip.pmd");
  const struct {
    const char* name;
    std::int32_t storedKind;
    int want;
  } kCases[] = {
      {"x.PMD", CTrekData::kWaypointGroup, 1}, {"x.Ptd", CTrekData::kTrackLogGroup, 1},
      {"x.pm", CTrekData::kWaypointGroup, 0},  {"x.txt", CTrekData::kWaypointGroup, 0},
      {"noext", CTrekData::kWaypointGroup, 0}, {"trip.pmd/inside", CTrekData::kWaypointGroup, 0},
      // A track log group in a file named like a waypoint file opens as a track log group.
      {"logs.pmd", CTrekData::kTrackLogGroup, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir() / c.name;
    writeGroup(path, c.storedKind, c.name, 1);
    const int before = list.Count();
    EXPECT_EQ(list.OpenTrekFile(path), c.want);
    EXPECT_EQ(list.Count(), before + c.want);
    if (c.want == 1) {
      EXPECT_EQ(list.Group(list.Count() - 1)->Kind(), c.storedKind);
    }
  }
  EXPECT_TRUE(prompt.texts().empty());

  // The save dialog offers the extension of the stored kind.
  const CTrekData* logs = list.Group(list.Count() - 1);
  dialog.pushPath(dir() / "copy");
  EXPECT_EQ(list.AskSavePath(*logs), dir() / "copy.ptd");
  EXPECT_EQ(dialog.requests()[0].filter, "トラックログファイル(*.ptd)|*.ptd||");
}

TEST_F(GroupListFiles, CorruptFilesAreReportedAndNothingIsAdded) {
  const auto good = makeGroup(CTrekData::kWaypointGroup, "g", 2);
  const std::string bytes = WriteTrekBytes(*good);
  std::string badSignature = bytes;
  badSignature[1] = 'v';
  std::string newer = bytes;
  newer[28] = 4;  // version
  const struct {
    const char* name;
    std::string content;
    std::string message;  // "%1" stands for the path
  } kCases[] = {
      {"cut.pmd", bytes.substr(0, bytes.size() - 3), "%1 の末尾以降にアクセスしようとしました。"},
      {"empty.pmd", "", "%1 の末尾以降にアクセスしようとしました。"},
      {"sig.pmd", badSignature,
       "このファイルは、Vantoriaのポイントファイルではないか壊れているため、読み込むことができません。"},
      {"newer.pmd", newer,
       "このポイントファイルは、新しいバージョンのVantoriaで作成されているため、読み込むことができません。"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    prompt.clear();
    const fs::path path = dir() / c.name;
    testutil::writeFile(path, c.content);
    EXPECT_EQ(list.OpenTrekFile(path), 0);
    EXPECT_EQ(list.Count(), 0);
    std::string want = c.message;
    if (const auto at = want.find("%1"); at != std::string::npos) want.replace(at, 2, text(path));
    ASSERT_EQ(prompt.requests().size(), 1u);
    EXPECT_EQ(prompt.requests()[0].text, want);
    EXPECT_EQ(prompt.requests()[0].icon, EPromptIcon::Error);
    EXPECT_EQ(testutil::readFile(path), c.content);
  }
  // A file that is not there: nothing to report here, the caller says it could not be opened.
  prompt.clear();
  EXPECT_EQ(list.OpenTrekFile(dir() / "missing.pmd"), 0);
  EXPECT_TRUE(prompt.texts().empty());
  EXPECT_EQ(CTrekGroupList::OpenFailedText(dir() / "missing.pmd"),
            "ファイル [ " + text(dir() / "missing.pmd") + " ] を開く事ができませんでした。");
}

TEST_F(GroupListFiles, ConvertedOldFileIsRewrittenInTheCurrentVersion) {
  const fs::path path = dir() / "old.pmd";
  const std::string old = oldVersionFile();
  testutil::writeFile(path, old);

  // Declining either question leaves the file as it was and opens nothing.
  for (const auto& answers : std::vector<std::vector<EPromptAnswer>>{{EPromptAnswer::No},
                                                                     {EPromptAnswer::Yes, EPromptAnswer::No}}) {
    prompt.clear();
    for (auto a : answers) prompt.push(a);
    EXPECT_EQ(list.OpenTrekFile(path), 0);
    EXPECT_EQ(prompt.requests().size(), answers.size());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(testutil::readFile(path), old);
  }

  prompt.clear();
  prompt.push(EPromptAnswer::Yes);
  prompt.push(EPromptAnswer::Yes);
  ASSERT_EQ(list.OpenTrekFile(path), 1);
  EXPECT_EQ(prompt.requests().size(), 2u);
  const CTrekData& g = *list.Group(0);
  EXPECT_EQ(g.IsModified(), 0);
  EXPECT_EQ(g.FilePath(), text(path));

  prompt.clear();
  const STrekReadResult again = ReadTrekFile(path);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.version, 3);
  EXPECT_TRUE(prompt.texts().empty());  // no conversion questions any more
  ASSERT_EQ(again.group->Waypoints().size(), 1u);
  const CMarkerPoint& p = *again.group->Waypoints()[0];
  EXPECT_EQ(p.altitude, 100000.0);
  EXPECT_EQ(p.gpsName, "");
  EXPECT_EQ(p.latitude.FormatText(), DmsAngle(35, 40, 11.65).FormatText());
  EXPECT_EQ(p.longitude.FormatText(), DmsAngle(139, 44, 48.40).FormatText());
  // The path stored in the file is the one it was opened from.
  EXPECT_EQ(again.group->FilePath(), text(path));
}

// A file name of the longest length the file system takes: the file exists, but no temporary
// file beside it can take a longer name, so every save to it fails, even for the superuser.
fs::path unsavablePath(const fs::path& dir, const char* ext) {
  return dir / (std::string(255 - std::strlen(ext), 'n') + ext);
}

TEST_F(GroupListFiles, FailedSaveKeepsModifiedAndTheOldFileWhole) {
  const fs::path path = unsavablePath(dir(), ".pmd");
  writeGroup(path, CTrekData::kWaypointGroup, "kept", 3);
  const std::string before = testutil::readFile(path);
  ASSERT_FALSE(before.empty());

  ASSERT_EQ(list.OpenTrekFile(path), 1);
  CTrekData& g = *list.Group(0);
  g.Waypoints().pop_back();
  g.SetModified(1);

  EXPECT_FALSE(list.SaveGroup(g));
  EXPECT_EQ(g.IsModified(), 1);
  EXPECT_EQ(testutil::readFile(path), before);
  ASSERT_EQ(prompt.requests().size(), 1u);
  const auto& r = prompt.requests()[0];
  EXPECT_EQ(r.icon, EPromptIcon::Error);
  EXPECT_EQ(r.caption, "Vantoria");
  EXPECT_EQ(r.text.rfind("トレックデータファイル [ " + text(path) + " ] を保存できませんでした。\r\n", 0), 0u);
  EXPECT_NE(r.text.find("元のファイルは変更されていません。"), std::string::npos);

  // Closing it and answering Yes must not drop the changes when the save fails.
  prompt.clear();
  prompt.push(EPromptAnswer::Yes);
  list.Select({kTrekNone, 0});
  EXPECT_FALSE(list.CloseSelectedGroup());
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(testutil::readFile(path), before);
}

TEST_F(GroupListFiles, FailedSaveIntoReadOnlyFolder) {
  const fs::path sub = dir() / "ro";
  fs::create_directories(sub);
  const fs::path path = sub / "keep.ptd";
  writeGroup(path, CTrekData::kTrackLogGroup, "keep", 2);
  const std::string before = testutil::readFile(path);
  fs::permissions(sub, fs::perms::owner_read | fs::perms::owner_exec);
  {
    QFile probe(QString::fromStdString(text(sub / "probe")));
    if (probe.open(QIODevice::WriteOnly)) {
      probe.close();
      probe.remove();
      fs::permissions(sub, fs::perms::owner_all);
      GTEST_SKIP() << "the folder stays writable for this user";
    }
  }
  auto g = makeGroup(CTrekData::kTrackLogGroup, "keep", 1);
  g->SetModified(1);
  EXPECT_FALSE(list.SaveTrekFile(path, *g));
  fs::permissions(sub, fs::perms::owner_all);
  EXPECT_EQ(g->IsModified(), 1);
  EXPECT_EQ(testutil::readFile(path), before);
  EXPECT_EQ(prompt.requests().size(), 1u);
}

TEST_F(GroupListFiles, ConvertedFileThatCannotBeRewrittenStaysOpenAndModified) {
  const fs::path path = unsavablePath(dir(), ".pmd");
  const std::string old = oldVersionFile();
  testutil::writeFile(path, old);
  prompt.push(EPromptAnswer::Yes);
  prompt.push(EPromptAnswer::Yes);
  ASSERT_EQ(list.OpenTrekFile(path), 1);
  EXPECT_EQ(list.Group(0)->IsModified(), 1);
  EXPECT_EQ(testutil::readFile(path), old);
  ASSERT_EQ(prompt.requests().size(), 3u);
  EXPECT_EQ(prompt.requests()[2].icon, EPromptIcon::Error);
}

TEST_F(GroupListFiles, SaveDialogRequestAndForcedExtension) {
  profile.writeString("FileDlgSettings", "LoadPoint", text(dir()));
  auto g = makeGroup(CTrekData::kWaypointGroup, "\x8e\x52", 0);  // 山
  fs::create_directories(dir() / "v1.2");
  const struct {
    const char* name;
    fs::path chosen;
    fs::path want;
  } kCases[] = {
      {"no extension", dir() / "walk", dir() / "walk.pmd"},
      {"other extension", dir() / "walk.txt", dir() / "walk.pmd"},
      {"last dot of the name", dir() / "walk.2024.ptd", dir() / "walk.2024.pmd"},
      {"dot in the folder", dir() / "v1.2" / "walk", dir() / "v1.2" / "walk.pmd"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    dialog.pushPath(c.chosen);
    EXPECT_EQ(list.AskSavePath(*g), c.want);
  }
  EXPECT_TRUE(prompt.texts().empty());
  const platform::SFileDialogRequest& r = dialog.requests().at(0);
  EXPECT_TRUE(r.save);
  EXPECT_FALSE(r.overwritePrompt);
  EXPECT_EQ(r.filter, "ウェイポイントファイル(*.pmd)|*.pmd||");
  EXPECT_EQ(r.initialDir, dir());
  EXPECT_EQ(r.initialName, "山");
  EXPECT_EQ(r.defaultExt, "");

  // A group of no known kind has no file type: no dialog at all.
  auto none = makeGroup(0, "x", 0);
  EXPECT_TRUE(list.AskSavePath(*none).empty());
  EXPECT_EQ(dialog.requests().size(), std::size(kCases));
}

TEST_F(GroupListFiles, OverwriteQuestionLoops) {
  const fs::path taken = dir() / "taken.pmd";
  const fs::path other = dir() / "other";
  testutil::writeFile(taken, "x");
  const std::string question = "トレックデータファイル [ taken.pmd ] は、すでに存在します。\r\n上書きしますか？";
  const struct {
    const char* name;
    std::vector<EPromptAnswer> answers;
    bool secondDialog;  // a second dialog choosing `other`; false: it is cancelled
    fs::path want;
    std::size_t dialogs;
  } kCases[] = {
      {"yes", {EPromptAnswer::Yes}, false, taken, 1},
      {"cancel", {EPromptAnswer::Cancel}, false, {}, 1},
      {"no, then another name", {EPromptAnswer::No}, true, dir() / "other.pmd", 2},
      {"no, then cancel", {EPromptAnswer::No}, false, {}, 2},
      {"no, the same name, yes", {EPromptAnswer::No, EPromptAnswer::Yes}, false, taken, 2},
  };
  auto g = makeGroup(CTrekData::kWaypointGroup, "g", 0);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    prompt.clear();
    platform::CScriptedFileDialog d;
    platform::setFileDialog(&d);
    d.pushPath(taken);
    if (c.answers.size() == 2) {
      d.pushPath(taken);
    } else if (c.secondDialog) {
      d.pushPath(other);
    } else {
      d.pushCancel();
    }
    for (auto a : c.answers) prompt.push(a);
    EXPECT_EQ(list.AskSavePath(*g), c.want);
    EXPECT_EQ(d.requests().size(), c.dialogs);
    ASSERT_EQ(prompt.requests().size(), c.answers.size());
    for (const auto& r : prompt.requests()) {
      EXPECT_EQ(r.text, question);
      EXPECT_EQ(r.icon, EPromptIcon::Question);
      EXPECT_EQ(r.buttons, EPromptButtons::YesNoCancel);
    }
  }
  platform::setFileDialog(&dialog);
  EXPECT_EQ(testutil::readFile(taken), "x");
}

TEST_F(GroupListFiles, ConfirmCloseAnswers) {
  const fs::path own = dir() / "own.pmd";
  const fs::path chosen = dir() / "chosen.pmd";
  const struct {
    const char* name;
    bool modified;
    bool hasPath;
    std::vector<EPromptAnswer> answers;
    bool dialogChooses;
    bool want;
    bool wantSavedTo;  // own (hasPath) or chosen file written
  } kCases[] = {
      {"unmodified", false, true, {}, false, true, false},
      {"cancel", true, true, {EPromptAnswer::Cancel}, false, false, false},
      {"no", true, true, {EPromptAnswer::No}, false, true, false},
      {"yes, own file", true, true, {EPromptAnswer::Yes}, false, true, true},
      {"yes, new group, path chosen", true, false, {EPromptAnswer::Yes}, true, true, true},
      {"yes, new group, dialog cancelled", true, false, {EPromptAnswer::Yes}, false, false, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove(own);
    fs::remove(chosen);
    prompt.clear();
    platform::CScriptedFileDialog d;
    platform::setFileDialog(&d);
    if (c.dialogChooses) d.pushPath(chosen);
    for (auto a : c.answers) prompt.push(a);
    auto g = makeGroup(CTrekData::kWaypointGroup, "\x8e\x52", 1);
    if (c.hasPath) g->SetFilePath(text(own));
    g->SetModified(c.modified ? 1 : 0);

    EXPECT_EQ(list.ConfirmClose(*g), c.want);
    if (c.modified) {
      ASSERT_EQ(prompt.requests().size(), 1u);
      EXPECT_EQ(prompt.requests()[0].text, "トレックデータファイル[山]は変更されています。\r\n保存しますか?");
      EXPECT_EQ(prompt.requests()[0].buttons, EPromptButtons::YesNoCancel);
      EXPECT_EQ(prompt.requests()[0].icon, EPromptIcon::Question);
    } else {
      EXPECT_TRUE(prompt.requests().empty());
    }
    const fs::path target = c.hasPath ? own : chosen;
    EXPECT_EQ(fs::exists(target), c.wantSavedTo);
    EXPECT_EQ(g->IsModified(), c.modified && !c.wantSavedTo ? 1 : 0);
    // A group without a file takes the one it was saved to.
    EXPECT_EQ(g->FilePath(), c.hasPath ? text(own) : c.wantSavedTo ? text(chosen) : "");
  }
  platform::setFileDialog(&dialog);
}

TEST_F(GroupListFiles, ConfirmCloseAllStopsAtTheFirstCancel) {
  for (const char* name : {"a", "b", "c"}) {
    auto g = makeGroup(CTrekData::kWaypointGroup, name, 0);
    g->SetModified(1);
    list.AppendGroup(std::move(g));
  }
  prompt.push(EPromptAnswer::No);
  prompt.push(EPromptAnswer::Cancel);
  EXPECT_FALSE(list.ConfirmCloseAll());
  const std::vector<std::string> asked = prompt.texts();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_NE(asked[1].find("[b]"), std::string::npos);

  prompt.clear();
  for (int i = 0; i < 3; ++i) prompt.push(EPromptAnswer::No);
  EXPECT_TRUE(list.ConfirmCloseAll());
  EXPECT_EQ(prompt.requests().size(), 3u);
  EXPECT_EQ(list.Count(), 3);  // asking closes nothing
}

TEST_F(GroupListFiles, CloseSelectedGroup) {
  list.AppendGroup(makeGroup(CTrekData::kWaypointGroup, "a", 1));
  list.AppendGroup(makeGroup(CTrekData::kTrackLogGroup, "b", 1));
  list.Group(1)->SetModified(1);
  EXPECT_FALSE(list.CloseSelectedGroup());  // nothing selected

  ASSERT_TRUE(list.Select({kTrekNone, 1}));
  EXPECT_EQ(list.Selection().kind, kTrekTrackLogGroup);
  prompt.push(EPromptAnswer::Cancel);
  EXPECT_FALSE(list.CloseSelectedGroup());
  EXPECT_EQ(list.Count(), 2);

  const int changes = recorder.dataChanges;
  prompt.push(EPromptAnswer::No);
  EXPECT_TRUE(list.CloseSelectedGroup());
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Group(0)->GroupName(), "a");
  EXPECT_EQ(list.Selection(), STrekSelection{});
  EXPECT_EQ(recorder.dataChanges, changes + 1);
}

TEST_F(GroupListFiles, SaveGroupUsesItsOwnFileOnlyWhileItExists) {
  const fs::path own = dir() / "own.ptd";
  auto g = makeGroup(CTrekData::kTrackLogGroup, "t", 2);
  g->SetFilePath(text(own));
  g->SetModified(1);

  testutil::writeFile(own, "old bytes");
  EXPECT_TRUE(list.SaveGroup(*g));
  EXPECT_TRUE(dialog.requests().empty());
  EXPECT_EQ(testutil::readFile(own), WriteTrekBytes(*g));
  EXPECT_EQ(g->IsModified(), 0);

  // The file is gone: save as, with the dialog; the new file is the group's from then on.
  fs::remove(own);
  g->SetModified(1);
  dialog.pushPath(dir() / "elsewhere");
  EXPECT_TRUE(list.SaveGroup(*g));
  EXPECT_EQ(dialog.requests().size(), 1u);
  EXPECT_TRUE(fs::exists(dir() / "elsewhere.ptd"));
  EXPECT_EQ(g->FilePath(), text(dir() / "elsewhere.ptd"));
  EXPECT_EQ(g->IsModified(), 0);
}

TEST_F(GroupListFiles, SavedAsFileBecomesTheGroupsOwn) {
  const fs::path peaks = dir() / "peaks.pmd";
  const fs::path copy = dir() / "copy.pmd";
  writeGroup(peaks, CTrekData::kWaypointGroup, "peaks", 2);
  const std::string original = testutil::readFile(peaks);
  ASSERT_EQ(list.OpenTrekFile(peaks), 1);
  CTrekData& g = *list.Group(0);
  const int changes = recorder.dataChanges;
  dialog.pushPath(dir() / "copy");
  ASSERT_TRUE(list.SaveGroupAs(g));
  EXPECT_EQ(g.FilePath(), text(copy));
  EXPECT_EQ(recorder.dataChanges, changes + 1);  // the list shows the new file
  EXPECT_EQ(ReadTrekFile(copy).group->FilePath(), text(copy));  // and the file records it

  // "上書き保存" and the save question on closing write the new file, never peaks.pmd.
  const struct {
    const char* name;
    bool closing;
  } kSaves[] = {{"save", false}, {"close, yes", true}};
  for (const auto& c : kSaves) {
    SCOPED_TRACE(c.name);
    g.Waypoints()[0]->name = c.name;
    g.SetModified(1);
    if (c.closing) prompt.push(EPromptAnswer::Yes);
    EXPECT_TRUE(c.closing ? list.ConfirmClose(g) : list.SaveGroup(g));
    EXPECT_EQ(ReadTrekFile(copy).group->Waypoints()[0]->name, c.name);
    EXPECT_EQ(testutil::readFile(peaks), original);
  }
  EXPECT_EQ(dialog.requests().size(), 1u);
  // The new path is now the open one; the old file opens as a group of its own.
  EXPECT_EQ(list.OpenTrekFile(copy), 1);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.OpenTrekFile(peaks), 1);
  EXPECT_EQ(list.Count(), 2);

  // A save that fails keeps the group on its file.
  prompt.clear();
  dialog.pushPath(dir() / "missing" / "x");
  EXPECT_FALSE(list.SaveGroupAs(g));
  EXPECT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(g.FilePath(), text(copy));
  EXPECT_FALSE(fs::exists(dir() / "missing"));

  // A new group, saved once from the closing question, is not asked for a path again.
  const int index = list.NewGroup(CTrekData::kTrackLogGroup, "new");
  CTrekData& fresh = *list.Group(index);
  prompt.push(EPromptAnswer::Yes);
  dialog.pushPath(dir() / "fresh");
  EXPECT_TRUE(list.ConfirmClose(fresh));
  EXPECT_EQ(fresh.FilePath(), text(dir() / "fresh.ptd"));
  fresh.SetModified(1);
  const std::size_t dialogs = dialog.requests().size();
  EXPECT_TRUE(list.SaveGroup(fresh));
  EXPECT_EQ(dialog.requests().size(), dialogs);
  EXPECT_EQ(fresh.IsModified(), 0);
}

}  // namespace
