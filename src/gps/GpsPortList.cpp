#include "gps/GpsPortList.h"

#include "gps/GpsLink.h"
#include "platform/CSerialPort.h"

std::vector<SGpsPortItem> ScanGpsPorts() {
  GpsLink link;
  (void)link.ScanPorts();
  std::vector<SGpsPortItem> items;
  for (int n = 1; n <= 4; ++n) {
    if (!link.IsPortAvailable(n)) continue;
    items.push_back({n, "COM" + std::to_string(n) + " (" + platform::serialDevicePath(n) + ")"});
  }
  return items;
}

int GpsPortRow(const std::vector<SGpsPortItem>& items, int number) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].number == number) return static_cast<int>(i);
  return -1;
}
