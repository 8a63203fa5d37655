#include "trek/TrackStatsCache.h"

#include "trek/CTrackLog.h"

namespace trek {

const STrackStatistics& CTrackStatsCache::Get(const CTrackLog& log, const STrackStatsOptions& options) {
  SEntry& e = m_entries[&log];
  const auto& points = log.Points();
  const bool fresh =
      e.valid && e.data == points.data() && e.size == points.size() && e.pauseSeconds == options.pauseSeconds;
  if (!fresh) {
    e.stats = computeTrackStatistics(log, options);
    e.data = points.data();
    e.size = points.size();
    e.pauseSeconds = options.pauseSeconds;
    e.valid = true;
    ++m_computations;
  }
  return e.stats;
}

}  // namespace trek
