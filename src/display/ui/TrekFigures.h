#pragma once
// How the trek windows write the figures of a walk: lengths, durations, speeds, climbs and
// altitudes, with "―" for a figure the points cannot give.
#include <QString>
#include <cstdint>
#include <optional>

namespace trek_figures {

/// Shown for a figure the points cannot give (no times, no altitudes).
inline const QString kAbsent = QStringLiteral("\u2015");

/// "850m" below a kilometre, "12.34km" from there.
[[nodiscard]] QString lengthText(double metres);
/// "45秒", "12分5秒", "3時間20分"; kAbsent for none.
[[nodiscard]] QString durationText(const std::optional<std::int64_t>& seconds);
/// "3.2km/h"; kAbsent for none.
[[nodiscard]] QString speedText(const std::optional<double>& metresPerSecond);
/// "230m"; kAbsent for none.
[[nodiscard]] QString climbText(const std::optional<double>& metres);

}  // namespace trek_figures
