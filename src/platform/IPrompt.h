#pragma once
// Message boxes. Logic asks its questions through this interface; the application installs the
// QMessageBox implementation, tests install CScriptedPrompt and check the exact texts.
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class EPromptIcon { None, Information, Question, Warning, Error };
enum class EPromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class EPromptAnswer { Ok, Cancel, Yes, No };

struct SPromptRequest {
  std::string text;  ///< UTF-8; "\r\n" line breaks as the program writes them
  EPromptIcon icon = EPromptIcon::Information;
  EPromptButtons buttons = EPromptButtons::Ok;
  /// The default button; when unset, the first button of the set.
  std::optional<EPromptAnswer> defaultButton;
  std::string caption = "Vantoria";
  /// UTF-8; when not empty, a "詳細" button shows it below the text.
  std::string details = {};
  /// UTF-8; when not empty, the texts of the buttons in their order (for YesNoCancel: the Yes,
  /// No and Cancel buttons), which keep their answers.
  std::vector<std::string> buttonTexts = {};
};

class IPrompt {
 public:
  virtual ~IPrompt() = default;
  virtual EPromptAnswer ask(const SPromptRequest& request) = 0;

  // Shorthands for the common forms.
  void inform(const std::string& text) { ask({text, EPromptIcon::Information, EPromptButtons::Ok, {}, "Vantoria"}); }
  void warn(const std::string& text) { ask({text, EPromptIcon::Warning, EPromptButtons::Ok, {}, "Vantoria"}); }
  void warn(const std::string& text, const std::string& details) {
    ask({text, EPromptIcon::Warning, EPromptButtons::Ok, {}, "Vantoria", details});
  }
  void error(const std::string& text) { ask({text, EPromptIcon::Error, EPromptButtons::Ok, {}, "Vantoria"}); }
};

/// Test double: records every request and answers from a queue. With the queue empty it gives
/// the default button's answer (Ok for a bare message).
class CScriptedPrompt : public IPrompt {
 public:
  EPromptAnswer ask(const SPromptRequest& request) override;
  void push(EPromptAnswer answer) { m_answers.push_back(answer); }
  const std::vector<SPromptRequest>& requests() const { return m_requests; }
  std::vector<std::string> texts() const;
  void clear() { m_requests.clear(); m_answers.clear(); }

 private:
  std::deque<EPromptAnswer> m_answers;
  std::vector<SPromptRequest> m_requests;
};

/// The prompt the program uses; the application sets it at start-up, tests set a scripted one.
/// Never null: without an installed prompt, a silent one answering the default button is used.
IPrompt& prompt();
void setPrompt(IPrompt* prompt);
/// Whether a prompt has been installed (tests install theirs before the application starts).
[[nodiscard]] bool promptInstalled();

}  // namespace platform
