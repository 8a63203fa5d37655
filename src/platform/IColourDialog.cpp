#include "platform/IColourDialog.h"

namespace platform {
namespace {
class CCancelledColourDialog : public IColourDialog {
 public:
  SColourResult run(const SColourRequest& request) override { return {false, request.initial, request.custom}; }
};
IColourDialog* g_dialog = nullptr;
}  // namespace

SColourResult CScriptedColourDialog::run(const SColourRequest& request) {
  m_requests.push_back(request);
  SColourResult result{false, request.initial, request.custom};
  if (m_answers.empty()) return result;
  const SAnswer a = m_answers.front();
  m_answers.pop_front();
  if (a.customIndex >= 0 && a.customIndex < static_cast<int>(result.custom.size()))
    result.custom[static_cast<std::size_t>(a.customIndex)] = a.custom;
  if (a.accept) {
    result.accepted = true;
    result.colour = a.colour;
  }
  return result;
}

IColourDialog& colourDialog() {
  static CCancelledColourDialog cancelled;
  return g_dialog ? *g_dialog : cancelled;
}

void setColourDialog(IColourDialog* dialog) { g_dialog = dialog; }

bool colourDialogInstalled() { return g_dialog != nullptr; }

}  // namespace platform
