#pragma once
#include <filesystem>

namespace mapgen {

/// Copies the 1:25,000 half of a generated sample directory into `scratch`, spoils it in one
/// way per case and makes sure the check finds each fault (and none in the untouched copy).
/// Returns the number of cases that went wrong.
int runCheckSelfTest(const std::filesystem::path& sample, const std::filesystem::path& scratch);

/// Copies a generated collection (with a sheet found twice and an upper-case last folder) into
/// `scratch`, spoils it in one way per case and makes sure the collection check finds each fault.
/// Returns the number of cases that went wrong.
int runCollectionCheckSelfTest(const std::filesystem::path& collection, const std::filesystem::path& scratch);

}  // namespace mapgen
