// The print system's state reasons of a printer as the print dialog reads them.
#include <gtest/gtest.h>

#include "platform/PrinterState.h"

namespace {

TEST(PrinterState, StateReasonsAreSplitWithoutNone) {
  const struct {
    const char* value;
    std::vector<std::string> reasons;
  } kCases[] = {
      {"", {}},
      {"none", {}},
      {"media-jam-error", {"media-jam-error"}},
      {"media-empty-warning,offline-report", {"media-empty-warning", "offline-report"}},
      {" paused , none,,toner-low-report ", {"paused", "toner-low-report"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(platform::SplitStateReasons(c.value), c.reasons);
  }
}

TEST(PrinterState, UnknownPrinterHasNoState) {
  EXPECT_FALSE(platform::QueryPrinterState("").has_value());
  EXPECT_FALSE(platform::QueryPrinterState("no such printer here").has_value());
}

}  // namespace
