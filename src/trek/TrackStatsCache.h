#pragma once
// Statistics of track logs kept between uses: a million-point log takes a tenth of a second to
// add up, and the windows ask for the same log's figures on every selection. The owner drops
// everything when the trek data change (an edit may change a log in place).
#include <cstddef>
#include <unordered_map>

#include "trek/TrackStatistics.h"

namespace trek {

class CTrackStatsCache {
 public:
  /// The statistics of `log` with `options`, computed on the first request after a change.
  /// The reference stays valid until the next call or Invalidate().
  [[nodiscard]] const STrackStatistics& Get(const CTrackLog& log, const STrackStatsOptions& options);
  /// Forgets every log (call after any change of the trek data).
  void Invalidate() { m_entries.clear(); }
  /// How often statistics were computed (not taken from the cache).
  [[nodiscard]] std::size_t computations() const { return m_computations; }

 private:
  struct SEntry {
    // A log replaced at the same address, or its points reallocated, is recognised here even
    // without an Invalidate().
    bool valid = false;
    const CTrackPoint* data = nullptr;
    std::size_t size = 0;
    std::int32_t pauseSeconds = 0;
    STrackStatistics stats;
  };
  std::unordered_map<const CTrackLog*, SEntry> m_entries;
  std::size_t m_computations = 0;
};

}  // namespace trek
