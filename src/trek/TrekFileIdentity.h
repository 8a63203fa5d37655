#pragma once
// What a trek file held when the program last read or wrote it, to tell whether another
// program has written it since: its size and a hash of its bytes.
#include <QByteArray>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

class QIODevice;

namespace trek {

struct SFileIdentity {
  std::uint64_t size = 0;
  /// SHA-256 of the bytes; for a file beyond kMaxHashedBytes its modification time instead.
  QByteArray digest;
  bool operator==(const SFileIdentity&) const = default;
};

/// Files above this are told apart by size and modification time, not read through.
inline constexpr std::uint64_t kMaxHashedBytes = std::uint64_t{256} << 20;

[[nodiscard]] SFileIdentity IdentityOfBytes(std::string_view bytes);
/// The bytes of an open file from its start; none when reading fails.
[[nodiscard]] std::optional<SFileIdentity> IdentityOfDevice(QIODevice& device);
/// Of the regular file at `path` (anything else, a FIFO say, is never opened); none when there
/// is no such file or it cannot be read.
[[nodiscard]] std::optional<SFileIdentity> IdentityOfFile(const std::filesystem::path& path);

}  // namespace trek
