#pragma once
// File open/save dialogs behind an interface, so logic that asks for a path can be scripted.
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

struct SFileDialogRequest {
  bool save = false;            ///< save dialog (else open)
  bool multiSelect = false;     ///< open dialog allowing several files
  bool folder = false;          ///< choose a folder (open dialogs only)
  bool overwritePrompt = false; ///< let the dialog itself ask before overwriting (off: the caller asks)
  std::string title;            ///< UTF-8; empty = the platform's default title
  /// Filters in the program's form "name|pattern;pattern|name|pattern||" (UTF-8).
  std::string filter;
  int filterIndex = 0;          ///< 0-based initial filter
  std::filesystem::path initialDir;
  std::string initialName;      ///< UTF-8 file name proposed in the name field
  std::string defaultExt;       ///< without the dot; appended when the typed name has none
};

struct SFileDialogResult {
  bool accepted = false;
  std::vector<std::filesystem::path> paths;  ///< one unless multiSelect
  int filterIndex = 0;                       ///< 0-based filter chosen
  /// The file name as typed in the dialog (UTF-8), for messages that quote it.
  std::string typedName;
};

class IFileDialog {
 public:
  virtual ~IFileDialog() = default;
  virtual SFileDialogResult run(const SFileDialogRequest& request) = 0;
};

/// Test double: records requests, returns queued results (cancelled when the queue is empty).
class CScriptedFileDialog : public IFileDialog {
 public:
  SFileDialogResult run(const SFileDialogRequest& request) override {
    m_requests.push_back(request);
    if (m_results.empty()) return {};
    SFileDialogResult r = m_results.front();
    m_results.pop_front();
    return r;
  }
  void push(SFileDialogResult r) { m_results.push_back(std::move(r)); }
  void pushPath(const std::filesystem::path& p, int filterIndex = 0) {
    m_results.push_back({true, {p}, filterIndex, p.filename().string()});
  }
  void pushCancel() { m_results.push_back({}); }
  const std::vector<SFileDialogRequest>& requests() const { return m_requests; }

 private:
  std::deque<SFileDialogResult> m_results;
  std::vector<SFileDialogRequest> m_requests;
};

/// The dialog the program uses; never null (without one installed every dialog is cancelled).
IFileDialog& fileDialog();
void setFileDialog(IFileDialog* dialog);
/// Whether a dialog has been installed (tests install theirs before the application starts).
[[nodiscard]] bool fileDialogInstalled();

/// Splits "name|pattern||" filters into (name, pattern) pairs.
std::vector<std::pair<std::string, std::string>> splitFilter(const std::string& filter);

}  // namespace platform
