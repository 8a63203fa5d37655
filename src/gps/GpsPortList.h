#pragma once
// The port list of the transfer dialogs: the ports COM1..COM4 that open now.
#include <string>
#include <vector>

struct SGpsPortItem {
  int number = 0;    ///< 1..4
  std::string text;  ///< "COM<n> (<device path>)", UTF-8
};

/// Tries COM1..COM4 (ScanPorts) and lists those that opened, in increasing order. The device
/// path each name stands for is shown beside it so that the user sees which adapter is meant.
[[nodiscard]] std::vector<SGpsPortItem> ScanGpsPorts();
/// Row of `items` holding port `number`, -1 when none does.
[[nodiscard]] int GpsPortRow(const std::vector<SGpsPortItem>& items, int number);
