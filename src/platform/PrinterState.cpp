#include "platform/PrinterState.h"

#include <cstdlib>

#if defined(VANTORIA_HAVE_CUPS)
#include <cups/cups.h>
#endif

namespace platform {

std::vector<std::string> SplitStateReasons(const std::string& value) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(',', start);
    if (end == std::string::npos) end = value.size();
    std::string item = value.substr(start, end - start);
    const std::size_t first = item.find_first_not_of(' ');
    const std::size_t last = item.find_last_not_of(' ');
    item = first == std::string::npos ? std::string() : item.substr(first, last - first + 1);
    if (!item.empty() && item != "none") out.push_back(std::move(item));
    start = end + 1;
  }
  return out;
}

std::optional<SPrinterState> QueryPrinterState(const std::string& name) {
#if defined(VANTORIA_HAVE_CUPS)
  if (name.empty()) return std::nullopt;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  cups_dest_t* dest = cupsGetDest(name.c_str(), nullptr, count, dests);
  std::optional<SPrinterState> result;
  if (dest) {
    SPrinterState s;
    const auto option = [dest](const char* key) -> std::string {
      const char* v = cupsGetOption(key, dest->num_options, dest->options);
      return v ? std::string(v) : std::string();
    };
    const std::string state = option("printer-state");
    if (!state.empty()) s.state = std::atoi(state.c_str());
    s.reasons = SplitStateReasons(option("printer-state-reasons"));
    s.comment = option("printer-info");
    s.location = option("printer-location");
    result = std::move(s);
  }
  cupsFreeDests(count, dests);
  return result;
#else
  (void)name;
  return std::nullopt;
#endif
}

}  // namespace platform
