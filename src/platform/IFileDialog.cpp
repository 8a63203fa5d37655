#include "platform/IFileDialog.h"

namespace platform {
namespace {
class CCancelledDialog : public IFileDialog {
 public:
  SFileDialogResult run(const SFileDialogRequest&) override { return {}; }
};
IFileDialog* g_dialog = nullptr;
}  // namespace

IFileDialog& fileDialog() {
  static CCancelledDialog cancelled;
  return g_dialog ? *g_dialog : cancelled;
}

void setFileDialog(IFileDialog* dialog) { g_dialog = dialog; }

bool fileDialogInstalled() { return g_dialog != nullptr; }

std::vector<std::pair<std::string, std::string>> splitFilter(const std::string& filter) {
  std::vector<std::pair<std::string, std::string>> out;
  std::vector<std::string> parts;
  std::string cur;
  for (char c : filter) {
    if (c == '|') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) break;
    out.emplace_back(parts[i], parts[i + 1]);
  }
  return out;
}

}  // namespace platform
