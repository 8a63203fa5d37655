#pragma once
// What the print system tells about one printer beyond Qt's queue state: its state, the reasons
// behind it ("media-jam", "media-empty", "offline-report", ...), its comment and location.
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct SPrinterState {
  int state = 3;                     ///< 3 idle, 4 processing, 5 stopped
  std::vector<std::string> reasons;  ///< "none" left out
  std::string comment;               ///< UTF-8
  std::string location;              ///< UTF-8
};

/// The state of the named printer; none when the print system is not available here or does
/// not know the printer.
[[nodiscard]] std::optional<SPrinterState> QueryPrinterState(const std::string& name);

/// Splits a comma-separated "printer-state-reasons" value, dropping "none" and empty items.
[[nodiscard]] std::vector<std::string> SplitStateReasons(const std::string& value);

}  // namespace platform
