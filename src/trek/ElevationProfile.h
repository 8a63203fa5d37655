#pragma once
// The elevation profile of a track log: altitude over the distance walked or over the time of
// day, as points to plot, thinned to what a given number of pixel columns can show, and looked
// up again from a position on the plot. No widgets; the profile window draws what this gives.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "trek/CTrackPoint.h"

namespace trek {

enum class EProfileAxis { Distance, Time };

/// Why a profile has nothing to plot.
enum class EProfileEmpty {
  None,        ///< there are points to plot
  NoPoints,    ///< the log holds no points
  NoAltitude,  ///< no point holds an altitude
  NoTime,      ///< over time: no point with an altitude holds a time
};

/// One plotted point.
struct SProfilePoint {
  double x = 0.0;         ///< metres from the first point, or the time count (seconds)
  double altitude = 0.0;  ///< metres
  std::size_t index = 0;  ///< of the track point in its log
  /// Points that cannot be plotted (no altitude; over time also no time, or a clock running
  /// backwards) lie between this point and the one before: the line is broken here.
  bool gapBefore = false;
  bool operator==(const SProfilePoint&) const = default;
};

struct SElevationProfile {
  EProfileAxis axis = EProfileAxis::Distance;
  EProfileEmpty empty = EProfileEmpty::NoPoints;
  std::vector<SProfilePoint> points;  ///< x never decreases
  double xMin = 0.0;
  double xMax = 0.0;
  double altitudeMin = 0.0;
  double altitudeMax = 0.0;
  double lengthMetres = 0.0;  ///< distance to the last point of the log
};

/// The profile of `points` over `axis`; `distances` holds the distance from the first point to
/// each point (cumulativeDistances), the same size as `points`.
[[nodiscard]] SElevationProfile buildElevationProfile(std::span<const CTrackPoint> points,
                                                      std::span<const double> distances, EProfileAxis axis);

/// The points to draw across `columns` pixel columns spanning xMin..xMax: of the points in each
/// column the first, the lowest, the highest and the last, in their order, so every peak and
/// trough stays and neighbouring columns join as in the full line. At most 4 x columns points.
/// A break in the line is kept where it spans at least one column; a narrower one cannot be
/// seen and is drawn joined.
[[nodiscard]] std::vector<SProfilePoint> decimateProfile(std::span<const SProfilePoint> points, double xMin,
                                                         double xMax, int columns);

/// Position in `points` of the point nearest to `x` along the axis (the earlier on a tie);
/// none when there are no points.
[[nodiscard]] std::optional<std::size_t> nearestProfilePoint(std::span<const SProfilePoint> points, double x);

/// Track point indices of the plotted points nearest to x0 and to x1 (either order), the ends of a
/// stretch dragged along the plot; none when nothing is plotted.
struct SProfileRange {
  std::size_t first = 0;
  std::size_t last = 0;
  bool operator==(const SProfileRange&) const = default;
};
[[nodiscard]] std::optional<SProfileRange> profileRange(std::span<const SProfilePoint> points, double x0, double x1);

}  // namespace trek
