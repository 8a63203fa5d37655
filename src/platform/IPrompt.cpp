#include "platform/IPrompt.h"

namespace platform {
namespace {

EPromptAnswer defaultAnswer(const SPromptRequest& r) {
  if (r.defaultButton) return *r.defaultButton;
  switch (r.buttons) {
    case EPromptButtons::Ok:
    case EPromptButtons::OkCancel: return EPromptAnswer::Ok;
    case EPromptButtons::YesNo:
    case EPromptButtons::YesNoCancel: return EPromptAnswer::Yes;
  }
  return EPromptAnswer::Ok;
}

class CSilentPrompt : public IPrompt {
 public:
  EPromptAnswer ask(const SPromptRequest& r) override { return defaultAnswer(r); }
};

IPrompt* g_prompt = nullptr;

}  // namespace

EPromptAnswer CScriptedPrompt::ask(const SPromptRequest& request) {
  m_requests.push_back(request);
  if (m_answers.empty()) return defaultAnswer(request);
  const EPromptAnswer a = m_answers.front();
  m_answers.pop_front();
  return a;
}

std::vector<std::string> CScriptedPrompt::texts() const {
  std::vector<std::string> out;
  out.reserve(m_requests.size());
  for (const auto& r : m_requests) out.push_back(r.text);
  return out;
}

IPrompt& prompt() {
  static CSilentPrompt silent;
  return g_prompt ? *g_prompt : silent;
}

void setPrompt(IPrompt* p) { g_prompt = p; }

bool promptInstalled() { return g_prompt != nullptr; }

}  // namespace platform
