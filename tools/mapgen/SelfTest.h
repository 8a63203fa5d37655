#pragma once
#include <filesystem>

namespace mapgen {

/// Copies the 1:25,000 half of a generated sample directory into `scratch`, spoils it in one
/// way per case and makes sure the check finds each fault (and none in the untouched copy).
/// Returns the number of cases that went wrong.
int runCheckSelfTest(const std::filesystem::path& sample, const std::filesystem::path& scratch);

}  // namespace mapgen
