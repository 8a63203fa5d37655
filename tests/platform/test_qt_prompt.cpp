// The message box behind the prompt interface: the "詳細" button and what it shows.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <functional>

#include "platform/ui/CQtPrompt.h"

namespace {

// Runs `check` on the message box once it is shown, then presses its OK button.
platform::EPromptAnswer askAndCheck(const platform::SPromptRequest& request, std::function<void(QMessageBox&)> check) {
  bool checked = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      ADD_FAILURE() << "no message box";
      return;
    }
    check(*box);
    checked = true;
    box->button(QMessageBox::Ok)->click();
  });
  platform::CQtPrompt prompt;
  const platform::EPromptAnswer a = prompt.ask(request);
  EXPECT_TRUE(checked);
  return a;
}

TEST(QtPrompt, DetailsAreShownThroughTheirButton) {
  const struct {
    const char* name;
    std::string details;
    bool button;
  } kCases[] = {
      {"no details", "", false},
      {"details with CR LF", "一行目\r\n二行目", true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    platform::SPromptRequest r{"本文", platform::EPromptIcon::Warning, platform::EPromptButtons::Ok, {}, "Vantoria",
                               c.details};
    const auto answer = askAndCheck(r, [&](QMessageBox& box) {
      EXPECT_EQ(box.text(), "本文");
      EXPECT_EQ(box.windowTitle(), "Vantoria");
      auto* details = box.findChild<QAbstractButton*>("detailsButton");
      ASSERT_EQ(details != nullptr, c.button);
      if (!details) return;
      EXPECT_EQ(details->text(), "詳細");
      EXPECT_EQ(box.detailedText(), "一行目\n二行目");
      auto* edit = box.findChild<QTextEdit*>();
      ASSERT_TRUE(edit);
      EXPECT_FALSE(edit->isVisible());
      details->click();
      EXPECT_TRUE(edit->isVisible());
      EXPECT_EQ(edit->toPlainText(), "一行目\n二行目");
      EXPECT_EQ(details->text(), "詳細") << "the box renames the button on a click";
      details->click();
      EXPECT_FALSE(edit->isVisible());
      EXPECT_EQ(details->text(), "詳細");
    });
    EXPECT_EQ(answer, platform::EPromptAnswer::Ok);
  }
}

}  // namespace
