#pragma once
// Angles typed on a command line: decimal degrees ("35.6667") or D:M:S ("35:40:0.5").
#include <optional>
#include <string_view>

#include "geodesy/DmsAngle.h"

/// The angle, or none when the text is not one of the two forms. Degrees must lie in 0..180,
/// minutes in 0..59 and seconds in 0 to under 60; no sign, no blanks, no trailing text.
[[nodiscard]] std::optional<DmsAngle> ParseAngleArgument(std::string_view text);
