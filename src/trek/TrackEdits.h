#pragma once
// Track log edits that need no group list: split, join, delete a range, reverse and thin. The
// group list wraps each in one undo entry; vantoria-cli runs them on files. Every function
// checks its arguments and leaves the logs untouched when it refuses.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "trek/CTrackLog.h"

namespace trek {

enum class ETrackEditError {
  None,
  NoSuchPoint,     ///< an index beyond the log
  SplitAtEnd,      ///< splitting at the first or last point leaves nothing to split off
  TooFewLogs,      ///< joining needs two logs or more
  SameLogTwice,    ///< a log named twice in a join
  EmptyRange,      ///< FROM after TO
  WholeLog,        ///< deleting every point: delete the log instead
  BadThinTarget,   ///< a count below 2, or a tolerance that is negative or not a number
};

/// The message shown for a refusal (UTF-8); empty for None.
[[nodiscard]] std::string TrackEditErrorText(ETrackEditError error);

/// Undo texts of the edits (UTF-8).
inline constexpr const char* kSplitUndoText = "トラックログの分割";
inline constexpr const char* kJoinUndoText = "トラックログの結合";
inline constexpr const char* kDeleteRangeUndoText = "トラックポイントの範囲削除";
inline constexpr const char* kReverseUndoText = "トラックログの反転";
inline constexpr const char* kThinUndoText = "トラックログの間引き";

/// Splits `log` at point `at`: the point ends `log` and starts the returned log, which carries
/// the same attributes, the name with " (2)" added, and the points numbered from 0.
struct SSplitResult {
  std::unique_ptr<CTrackLog> second;
  ETrackEditError error = ETrackEditError::None;
};
[[nodiscard]] SSplitResult SplitTrackLog(CTrackLog& log, std::size_t at);

/// The order in which logs are joined: by the time of their first point (logs without any
/// time keep their given order after the timed ones), or as given.
enum class EJoinOrder { ByTime, AsGiven };
/// Positions in `logs` in the order they are joined.
[[nodiscard]] std::vector<std::size_t> JoinOrder(std::span<const CTrackLog* const> logs, EJoinOrder order);
/// One log holding the points of `logs` in `order` (from JoinOrder), numbered from 0, with the
/// attributes of the first of them.
[[nodiscard]] CTrackLog JoinTrackLogs(std::span<const CTrackLog* const> logs, std::span<const std::size_t> order);
/// Checks a join request: at least two logs, none twice.
[[nodiscard]] ETrackEditError CheckJoin(std::span<const CTrackLog* const> logs);

/// Deletes points `from` to `to` (both included); the points after them are numbered that many
/// lower, as deleting one point does.
[[nodiscard]] ETrackEditError DeleteTrackPoints(CTrackLog& log, std::size_t from, std::size_t to);

/// Reverses the order of the points, numbering them from 0.
void ReverseTrackLog(CTrackLog& log);

/// What thinning keeps: the indexes of the kept points (first and last always among them) and
/// the largest distance in metres of a dropped point from the kept line.
struct SThinPlan {
  std::vector<std::size_t> kept;
  double maxErrorMetres = 0.0;
  ETrackEditError error = ETrackEditError::None;
};
/// Douglas-Peucker on the ground (distances in metres on a plane tangent at the log's middle
/// latitude): at most `count` points (a log with fewer keeps them all).
[[nodiscard]] SThinPlan PlanThinToCount(std::span<const CTrackPoint> points, std::size_t count);
/// The fewest points whose line stays within `toleranceMetres` of every dropped point.
[[nodiscard]] SThinPlan PlanThinToTolerance(std::span<const CTrackPoint> points, double toleranceMetres);
/// Keeps the planned points (renumbered as DeleteTrackPoints does).
void ApplyThin(CTrackLog& log, const SThinPlan& plan);

}  // namespace trek
