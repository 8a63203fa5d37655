#pragma once
// What the tests of the document and the main window start from: a temporary folder, and a
// memory profile, scripted prompts and scripted file dialogs answering for the user while a
// test runs.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <string>

#include "common/TestUtil.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"

namespace apptest {

class FrameFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    platform::setProfile(&m_profile);
    platform::setPrompt(&m_prompt);
    platform::setFileDialog(&m_dialog);
  }
  void TearDown() override {
    platform::setFileDialog(nullptr);
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }

  /// The temporary folder, and a name inside it.
  std::filesystem::path root() const { return std::filesystem::path(m_dir.path().toStdString()); }
  std::filesystem::path path(const char* name) const { return root() / name; }
  /// Writes a file of the temporary folder.
  std::filesystem::path put(const char* name, const std::string& bytes) const {
    const std::filesystem::path p = path(name);
    testutil::writeFile(p, bytes);
    EXPECT_TRUE(std::filesystem::exists(p)) << p;
    return p;
  }

  QTemporaryDir m_dir;
  platform::CMemoryProfile m_profile;
  platform::CScriptedPrompt m_prompt;
  platform::CScriptedFileDialog m_dialog;
};

}  // namespace apptest
