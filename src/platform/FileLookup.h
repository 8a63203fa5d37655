#pragma once
// Map data copied from CD-ROM arrives with names in upper or lower case; lookups inside a folder
// therefore ignore ASCII case.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// The entry of `dir` whose name equals `name` ignoring ASCII case (an exact match first).
[[nodiscard]] std::optional<std::filesystem::path> findNoCase(const std::filesystem::path& dir, const std::string& name);

/// Follows `relative` (components separated by '/' or '\\') from `base`, each component matched
/// ignoring case.
[[nodiscard]] std::optional<std::filesystem::path> resolveNoCase(const std::filesystem::path& base, const std::string& relative);

/// Reads a whole file; nullopt when it is not a regular file (a FIFO is never opened), cannot be
/// opened or read, or exceeds `maxBytes`.
[[nodiscard]] std::optional<std::string> readWholeFile(const std::filesystem::path& path, std::size_t maxBytes);
/// The same into `into`, whose memory is reused when it is large enough; false (and `into`
/// empty) in the same cases.
[[nodiscard]] bool readWholeFile(const std::filesystem::path& path, std::size_t maxBytes, std::vector<std::uint8_t>& into);

/// Path from/to the 8-bit form kept in models and profiles (UTF-8 on Linux).
[[nodiscard]] std::filesystem::path pathFromUtf8(const std::string& utf8);
[[nodiscard]] std::string pathToUtf8(const std::filesystem::path& path);

}  // namespace platform
