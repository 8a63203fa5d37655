#pragma once
// Orders offered for the children of a group in the trek data list: names byte-wise on the
// CP932 bytes, track logs also by the time of their first point.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "trek/TrekTime.h"

class CTrekData;
class CMarkerPoint;
class CTrackLog;

/// "Sort_Wp" / "Sort_Tk" values.
constexpr std::int32_t kSortNone = -1;
constexpr std::int32_t kSortByName = 0;
constexpr std::int32_t kSortByTime = 1;  ///< track logs only

/// <0, 0, >0: each byte unsigned, a prefix before the longer string, no folding or collation.
[[nodiscard]] int CompareTrekNames(std::string_view a, std::string_view b);
/// Time of the log's first point; no time (-1) for a log without points.
[[nodiscard]] TrekTime FirstPointTime(const CTrackLog& log);
/// <0, 0, >0 by the first-point time counts.
[[nodiscard]] int CompareTrackLogTimes(const CTrackLog& a, const CTrackLog& b);

/// Indexes into the group's list in display order: waypoint groups sorted only for
/// sortWaypoints 0, track log groups only for sortTrackLogs 0 or 1; list order otherwise.
[[nodiscard]] std::vector<std::size_t> SortedOrder(const CTrekData& group, std::int32_t sortWaypoints,
                                                   std::int32_t sortTrackLogs);
