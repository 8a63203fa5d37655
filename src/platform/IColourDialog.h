#pragma once
// The colour chooser behind an interface, so logic that asks for a colour can be scripted. Colours
// are COLORREF values (0x00BBGGRR).
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace platform {

/// The chooser's sixteen custom colours.
using CustomColours = std::array<std::uint32_t, 16>;

struct SColourRequest {
  std::uint32_t initial = 0;  ///< colour selected when the chooser opens
  CustomColours custom{};     ///< custom colours offered
};

struct SColourResult {
  bool accepted = false;
  std::uint32_t colour = 0;  ///< the chosen colour (the initial one when cancelled)
  CustomColours custom{};    ///< the custom colours as the user left them (also when cancelled)
};

class IColourDialog {
 public:
  virtual ~IColourDialog() = default;
  virtual SColourResult run(const SColourRequest& request) = 0;
};

/// Test double: records requests and answers from a queue; with the queue empty it cancels.
/// Custom colours come back as requested unless the queued answer changes one.
class CScriptedColourDialog : public IColourDialog {
 public:
  SColourResult run(const SColourRequest& request) override;
  /// The user picks `colour` and presses OK.
  void pushColour(std::uint32_t colour) { m_answers.push_back({true, colour, -1, 0}); }
  /// The user sets custom colour `index` to `custom`, then picks `colour` (OK) or cancels.
  void pushCustom(int index, std::uint32_t custom, bool accept, std::uint32_t colour = 0) {
    m_answers.push_back({accept, colour, index, custom});
  }
  void pushCancel() { m_answers.push_back({false, 0, -1, 0}); }
  const std::vector<SColourRequest>& requests() const { return m_requests; }

 private:
  struct SAnswer {
    bool accept;
    std::uint32_t colour;
    int customIndex;  ///< -1: custom colours unchanged
    std::uint32_t custom;
  };
  std::deque<SAnswer> m_answers;
  std::vector<SColourRequest> m_requests;
};

/// The chooser the program uses; never null (without one installed every choice is cancelled).
IColourDialog& colourDialog();
void setColourDialog(IColourDialog* dialog);
/// Whether a chooser has been installed (tests install theirs before the application starts).
[[nodiscard]] bool colourDialogInstalled();

}  // namespace platform
