#pragma once
// Putting open groups on a Garmin unit: each group becomes a new GPX file of its own; track logs
// longer than the unit takes are thinned or split as the user answers; the user is told where
// the files went and to eject the unit. Questions and messages go through platform::prompt().
#include <filesystem>
#include <string>
#include <vector>

#include "gps/UnitFiles.h"

namespace gps {

struct SUnitUploadOutcome {
  std::vector<std::filesystem::path> written;
  bool cancelled = false;  ///< the user chose not to write (nothing was written)
  std::string error;       ///< UTF-8; shown already; files written before it stay
  [[nodiscard]] bool ok() const { return !cancelled && error.empty(); }
};

/// The question about long track logs (UTF-8): `names` are the long logs' names (UTF-8).
[[nodiscard]] std::string LongTrackLogQuestion(const SGarminUnit& unit, const std::vector<std::string>& names);

/// Writes the groups in order. Asks once about long track logs (はい thins, いいえ splits,
/// キャンセル writes nothing), then reports success or the first failure in a message box.
SUnitUploadOutcome UploadGroupsToUnit(const SGarminUnit& unit, const std::vector<const CTrekData*>& groups);

}  // namespace gps
