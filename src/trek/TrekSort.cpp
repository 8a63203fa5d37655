#include "trek/TrekSort.h"

#include <algorithm>
#include <numeric>

#include "trek/CTrekData.h"

int CompareTrekNames(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

TrekTime FirstPointTime(const CTrackLog& log) {
  if (log.Points().empty()) return TrekTime(TrekTime::kNoTime);
  return log.Points().front().time;
}

int CompareTrackLogTimes(const CTrackLog& a, const CTrackLog& b) {
  const std::int32_t x = FirstPointTime(a).Count();
  const std::int32_t y = FirstPointTime(b).Count();
  if (x < y) return -1;
  return x > y ? 1 : 0;
}

std::vector<std::size_t> SortedOrder(const CTrekData& group, std::int32_t sortWaypoints, std::int32_t sortTrackLogs) {
  std::vector<std::size_t> order;
  if (group.Kind() == CTrekData::kWaypointGroup) {
    const auto& list = group.Waypoints();
    order.resize(list.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (sortWaypoints == kSortByName) {
      std::stable_sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
        return CompareTrekNames(list[i]->name, list[j]->name) < 0;
      });
    }
  } else if (group.Kind() == CTrekData::kTrackLogGroup) {
    const auto& list = group.TrackLogs();
    order.resize(list.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (sortTrackLogs == kSortByName) {
      std::stable_sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
        return CompareTrekNames(list[i]->name, list[j]->name) < 0;
      });
    } else if (sortTrackLogs == kSortByTime) {
      std::stable_sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
        return CompareTrackLogTimes(*list[i], *list[j]) < 0;
      });
    }
  }
  return order;
}
