#pragma once
// Helpers shared by the test programs.
#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <vector>

namespace testutil {

/// Folder of the generated sample map data (built by the vantoria_sample_data target).
inline std::filesystem::path sampleDir() { return std::filesystem::path(VANTORIA_BINARY_DIR) / "sample"; }
/// A generated collection of 4 x 3 sheets of 1:25,000 with 10 m pixels over the map folders
/// cd1 .. cd3 (cd3 in upper-case names, one sheet of cd1 also in cd2).
inline std::filesystem::path sampleCollectionDir() { return sampleDir() / "collection"; }
/// The vantoria-cli executable of this build.
inline std::filesystem::path cliPath() { return std::filesystem::path(VANTORIA_BINARY_DIR) / "cli" / "vantoria-cli"; }

struct SRunResult {
  int status = -1;
  std::string out;
  std::string err;
};
/// Runs vantoria-cli with the given arguments (no shell), capturing both streams.
SRunResult runCli(const std::vector<std::string>& args);

/// Writes bytes to a file, creating the folders on the way.
void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);

}  // namespace testutil
