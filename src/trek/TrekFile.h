#pragma once
// Reading and writing a whole trek group. Questions (converting an old file) go through
// platform::prompt(); failures come back as a status and a message for the caller to show.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/AtomicFile.h"
#include "trek/CTrekData.h"

class QIODevice;

enum class ETrekReadStatus {
  Ok,                 ///< `group` is usable (check `converted` for an old file)
  OpenFailed,         ///< the file could not be opened; message empty
  NotTrekFile,        ///< wrong signature or a version below 1; message given
  NewerVersion,       ///< written by a newer version; message given
  ConversionRefused,  ///< the user answered No to a conversion question; message empty
  EndOfData,          ///< the data ends early; message given
  UnexpectedObject,   ///< an unknown class, tag, schema or content; message given
};

struct STrekReadResult {
  std::unique_ptr<CTrekData> group;  ///< set only for Ok; loadSucceeded 1
  ETrekReadStatus status = ETrekReadStatus::OpenFailed;
  std::string message;               ///< UTF-8, for an error message box; empty when none
  std::int32_t version = 0;          ///< the version number found in the file
  bool converted = false;            ///< an old version was converted (the group is modified)
  [[nodiscard]] bool ok() const { return status == ETrekReadStatus::Ok; }
};

/// Reads a group from a file. `filePath` is left as the file held it (the caller sets its own).
[[nodiscard]] STrekReadResult ReadTrekFile(const std::filesystem::path& path);
/// Reads a group from bytes; `displayName` stands for the file name in messages.
[[nodiscard]] STrekReadResult ReadTrekBytes(std::string_view bytes, const std::string& displayName);
/// Reads a group from an open device whose size is known.
[[nodiscard]] STrekReadResult ReadTrekDevice(QIODevice& device, const std::string& displayName);

enum class ETrekWriteStatus { Ok, CreateFailed, WriteFailed, CommitFailed, Exists };

struct STrekWriteResult {
  ETrekWriteStatus status = ETrekWriteStatus::Ok;
  std::string message;  ///< UTF-8, for an error message box; empty when Ok
  std::string reason;   ///< the system's words for the failure (UTF-8), one line
  [[nodiscard]] bool ok() const { return status == ETrekWriteStatus::Ok; }
};

/// Writes the group (version 3) to a temporary file beside `path` and renames it into place
/// only after every byte was written, synced and closed; on any failure (a full disk included)
/// the previous file is left whole. With NoReplace, a file that exists at the moment of the
/// rename is never replaced (status Exists). Does not touch the group's flags.
[[nodiscard]] STrekWriteResult WriteTrekFileAtomic(const std::filesystem::path& path, const CTrekData& group,
                                                   platform::EReplace mode = platform::EReplace::Replace);
/// The same for any content: `write` fills the device and returns false when it refused bytes.
[[nodiscard]] STrekWriteResult WriteFileAtomic(const std::filesystem::path& path,
                                               const std::function<bool(QIODevice&)>& write,
                                               platform::EReplace mode = platform::EReplace::Replace);
/// The bytes of the group in the version 3 layout.
[[nodiscard]] std::string WriteTrekBytes(const CTrekData& group);
/// Writes the group to an open device; false when the device refused bytes.
[[nodiscard]] bool WriteTrekDevice(QIODevice& device, const CTrekData& group);

/// The message texts (UTF-8) of a read failure, with the file name in place.
[[nodiscard]] std::string TrekReadMessage(ETrekReadStatus status, const std::string& fileName);
