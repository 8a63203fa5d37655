// libFuzzer target: the GPX reader on arbitrary bytes. Every group read (waypoints, routes,
// tracks) is written as GPX again, and what the writer produced must read back to the same
// number of items.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "trek/GpxFile.h"

namespace {

void checkWritten(const CTrekData& group) {
  const SGpxReadResult again = ReadGpxBytes(WriteGpxBytes(group), "again.gpx");
  const auto count = [](const CTrekData& g) {
    switch (g.Kind()) {
      case CTrekData::kWaypointGroup: return g.Waypoints().size();
      case CTrekData::kRouteGroup: return g.Routes().size();
      default: return g.TrackLogs().size();
    }
  };
  const std::size_t items = count(group);
  if (items == 0) return;
  if (!again.ok()) std::abort();
  const CTrekData* back = group.Kind() == CTrekData::kWaypointGroup ? again.waypoints.get()
                          : group.Kind() == CTrekData::kRouteGroup  ? again.routes.get()
                                                                     : again.tracks.get();
  if (!back) std::abort();
  if (count(*back) != items) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const SGpxReadResult r = ReadGpxBytes(bytes, "fuzz.gpx");
  if (!r.ok()) {
    if (r.waypoints || r.tracks || r.routes || r.error.empty()) std::abort();
    return 0;
  }
  if (!r.waypoints && !r.tracks && !r.routes) std::abort();
  if (r.waypoints) checkWritten(*r.waypoints);
  if (r.tracks) checkWritten(*r.tracks);
  if (r.routes) checkWritten(*r.routes);
  return 0;
}
