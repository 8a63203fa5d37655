// The lock that tells a running program instance from one that has ended: held once, whatever
// asks for it a second time (another object in this process included), and free again when
// given up or when its holder goes.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>

#include "platform/FileLock.h"

namespace fs = std::filesystem;

TEST(FileLock, HeldOnceUntilGivenUp) {
  QTemporaryDir tmp;
  const fs::path path = fs::path(tmp.path().toStdString()) / "owner.lock";
  const struct {
    const char* name;
    bool removeFile;
    bool fileLeft;
  } kCases[] = {
      {"given up, file kept (an ended instance's lock)", false, true},
      {"given up with its file (a clean exit)", true, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform::CFileLock first, second;
    ASSERT_TRUE(first.tryLock(path));
    EXPECT_TRUE(first.locked());
    EXPECT_FALSE(second.tryLock(path));
    EXPECT_FALSE(second.locked());
    // Moved, it is still held.
    platform::CFileLock moved = std::move(first);
    EXPECT_FALSE(first.locked());
    EXPECT_FALSE(second.tryLock(path));
    moved.release(c.removeFile);
    EXPECT_EQ(fs::exists(path), c.fileLeft);
    EXPECT_TRUE(second.tryLock(path));
    second.release(true);
  }
  // Destroyed, it is given up.
  { platform::CFileLock scoped;
    ASSERT_TRUE(scoped.tryLock(path)); }
  platform::CFileLock after;
  EXPECT_TRUE(after.tryLock(path));
  // Where no file can be made there is no lock.
  platform::CFileLock nowhere;
  EXPECT_FALSE(nowhere.tryLock(fs::path(tmp.path().toStdString()) / "missing" / "x.lock"));
}
