#include "trek/ElevationProfile.h"

#include <algorithm>
#include <cmath>

#include "trek/TrackStatistics.h"

namespace trek {

SElevationProfile buildElevationProfile(std::span<const CTrackPoint> points, std::span<const double> distances,
                                        EProfileAxis axis) {
  SElevationProfile profile;
  profile.axis = axis;
  if (points.empty()) return profile;
  const bool haveDistances = distances.size() == points.size();
  profile.lengthMetres = haveDistances ? distances.back() : 0.0;

  bool anyAltitude = false;
  bool skipped = false;
  profile.points.reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const CTrackPoint& p = points[i];
    const bool altitude = hasAltitude(p);
    anyAltitude = anyAltitude || altitude;
    double x = 0.0;
    bool placed = altitude;
    if (axis == EProfileAxis::Distance) {
      x = haveDistances ? distances[i] : 0.0;
    } else {
      x = static_cast<double>(p.time.Count());
      // A point without a time has no place on the time axis, nor has one whose clock ran back.
      placed = placed && p.time.HasTime() && (profile.points.empty() || x >= profile.points.back().x);
    }
    if (!placed) {
      skipped = true;
      continue;
    }
    profile.points.push_back(SProfilePoint{x, p.altitude, i, skipped && !profile.points.empty()});
    skipped = false;
  }

  if (!anyAltitude) {
    profile.empty = EProfileEmpty::NoAltitude;
    profile.points.clear();
    return profile;
  }
  if (profile.points.empty()) {
    profile.empty = EProfileEmpty::NoTime;
    return profile;
  }
  profile.empty = EProfileEmpty::None;
  const auto [lo, hi] = std::minmax_element(profile.points.begin(), profile.points.end(),
                                            [](const SProfilePoint& a, const SProfilePoint& b) { return a.altitude < b.altitude; });
  profile.altitudeMin = lo->altitude;
  profile.altitudeMax = hi->altitude;
  // Along the way the axis covers the whole walk, so stretches without altitudes at either end
  // show as such; over time it covers the plotted points.
  if (axis == EProfileAxis::Distance) {
    profile.xMin = 0.0;
    profile.xMax = std::max(profile.lengthMetres, profile.points.back().x);
  } else {
    profile.xMin = profile.points.front().x;
    profile.xMax = profile.points.back().x;
  }
  return profile;
}

std::vector<SProfilePoint> decimateProfile(std::span<const SProfilePoint> points, double xMin, double xMax,
                                           int columns) {
  std::vector<SProfilePoint> out;
  if (points.empty()) return out;
  columns = std::max(columns, 1);
  const double width = xMax - xMin;
  const bool spread = std::isfinite(width) && width > 0.0;
  const double columnWidth = spread ? width / columns : 0.0;
  const auto columnOf = [&](double x) {
    if (!spread) return 0;
    const double c = std::floor((x - xMin) / width * columns);
    return c <= 0.0 ? 0 : c >= columns - 1 ? columns - 1 : static_cast<int>(c);
  };
  out.reserve(std::min(points.size(), static_cast<std::size_t>(columns) * 4));

  std::size_t begin = 0;
  while (begin < points.size()) {
    const int column = columnOf(points[begin].x);
    std::size_t end = begin + 1;
    std::size_t lowest = begin;
    std::size_t highest = begin;
    while (end < points.size() && columnOf(points[end].x) == column) {
      if (points[end].altitude < points[lowest].altitude) lowest = end;
      if (points[end].altitude > points[highest].altitude) highest = end;
      ++end;
    }
    std::size_t keep[4] = {begin, lowest, highest, end - 1};
    std::sort(std::begin(keep), std::end(keep));
    for (std::size_t k = 0; k < 4; ++k) {
      if (k > 0 && keep[k] == keep[k - 1]) continue;
      SProfilePoint p = points[keep[k]];
      // Breaks inside a column are narrower than a pixel; one before the column's first point
      // stays when it is at least a column wide.
      p.gapBefore = k == 0 && !out.empty() && p.gapBefore && p.x - out.back().x >= columnWidth;
      out.push_back(p);
    }
    begin = end;
  }
  return out;
}

std::optional<std::size_t> nearestProfilePoint(std::span<const SProfilePoint> points, double x) {
  if (points.empty()) return std::nullopt;
  const auto it = std::lower_bound(points.begin(), points.end(), x,
                                   [](const SProfilePoint& p, double v) { return p.x < v; });
  if (it == points.begin()) return 0;
  if (it == points.end()) return points.size() - 1;
  const auto before = std::prev(it);
  // Among points sharing one x the first is taken.
  const auto firstOfBefore = std::lower_bound(points.begin(), before, before->x,
                                              [](const SProfilePoint& p, double v) { return p.x < v; });
  const bool earlier = x - before->x <= it->x - x;
  return static_cast<std::size_t>((earlier ? firstOfBefore : it) - points.begin());
}

std::optional<SProfileRange> profileRange(std::span<const SProfilePoint> points, double x0, double x1) {
  const std::optional<std::size_t> first = nearestProfilePoint(points, std::min(x0, x1));
  const std::optional<std::size_t> last = nearestProfilePoint(points, std::max(x0, x1));
  if (!first || !last) return std::nullopt;
  return SProfileRange{points[*first].index, points[*last].index};
}

}  // namespace trek
