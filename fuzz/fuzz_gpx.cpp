// libFuzzer target: the GPX reader on arbitrary bytes. Every group read is written as GPX again,
// and what the writer produced must read back to the same number of items.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "trek/GpxFile.h"

namespace {

void checkWritten(const CTrekData& group) {
  const SGpxReadResult again = ReadGpxBytes(WriteGpxBytes(group), "again.gpx");
  const bool waypoints = group.Kind() == CTrekData::kWaypointGroup;
  const std::size_t items = waypoints ? group.Waypoints().size() : group.TrackLogs().size();
  if (items == 0) return;
  if (!again.ok()) std::abort();
  const CTrekData* back = waypoints ? again.waypoints.get() : again.tracks.get();
  if (!back) std::abort();
  const std::size_t itemsBack = waypoints ? back->Waypoints().size() : back->TrackLogs().size();
  if (itemsBack != items) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const SGpxReadResult r = ReadGpxBytes(bytes, "fuzz.gpx");
  if (!r.ok()) {
    if (r.waypoints || r.tracks || r.error.empty()) std::abort();
    return 0;
  }
  if (!r.waypoints && !r.tracks) std::abort();
  if (r.waypoints) checkWritten(*r.waypoints);
  if (r.tracks) checkWritten(*r.tracks);
  return 0;
}
