#pragma once
// A file written beside its target and moved into place only when every byte is on the disk.
//
// Every write reaches the operating system through this device, unbuffered by Qt, so a full
// disk, a file-size limit or an I/O error is seen at the write that meets it, not lost in a
// buffer flushed while closing. Committing writes the rest, syncs the file, closes it (and checks
// that too), renames it over the target and syncs the folder. Until then, and whenever anything
// failed, the target stays as it was, byte for byte.
#include <QIODevice>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace platform {

enum class EReplace {
  Replace,    ///< an existing target is replaced
  NoReplace,  ///< the commit fails when the target exists at the moment of the rename
};

/// Makes a write past the process's file-size limit fail (EFBIG) instead of ending the program;
/// done by every file writer before its first write.
void PrepareFileWrites();

/// What a writer of files reports.
struct SFileWriteResult {
  bool ok = false;
  bool targetExists = false;  ///< a target that must not be replaced exists
  std::string path;           ///< the file that failed (UTF-8)
  std::string reason;         ///< why, in the system's words
  explicit operator bool() const { return ok; }
};

/// Moves a file that a library wrote itself (a database, say) into place as CAtomicFile::commit
/// does: syncs it, renames it over `target` (NoReplace: only where no file of that name is, even
/// one that appears meanwhile) and syncs the folder. The temporary file is gone afterwards either way.
[[nodiscard]] SFileWriteResult publishFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                                           EReplace mode);

class CAtomicFile final : public QIODevice {
 public:
  explicit CAtomicFile(std::filesystem::path target);
  /// Discards the temporary file unless it was committed.
  ~CAtomicFile() override;
  CAtomicFile(const CAtomicFile&) = delete;
  CAtomicFile& operator=(const CAtomicFile&) = delete;

  /// Creates the temporary file in the target's folder. False with a reason when it cannot.
  [[nodiscard]] bool open() { return open(QIODevice::WriteOnly); }
  /// The same; only writing is possible (other modes are refused).
  bool open(OpenMode mode) override;
  /// Writes out what is buffered and syncs it to the disk: false with a reason when the disk
  /// refused it (commit then refuses too). Tells a failed write from a failed rename.
  [[nodiscard]] bool sync();
  /// Moves the written file into place; false with a reason when anything failed (the target is
  /// then untouched and the temporary file gone).
  [[nodiscard]] bool commit(EReplace mode = EReplace::Replace);
  /// Drops what was written; the target is untouched.
  void discard();

  /// True once any write, sync or close failed.
  [[nodiscard]] bool failed() const;
  /// The reason of the first failure (the system's words, UTF-8); empty while nothing failed.
  [[nodiscard]] std::string failure() const;
  /// True when a NoReplace commit failed because the target exists.
  [[nodiscard]] bool targetExists() const;
  [[nodiscard]] const std::filesystem::path& target() const;

  /// Marks the file as failed with a reason from the content's writer (a refused encoding, say),
  /// so that commit refuses it.
  void fail(const std::string& reason);

  bool isSequential() const override { return false; }
  /// Only the current position: the content is written in one pass.
  bool seek(qint64 pos) override;

  /// Commits several files together: either every target gets its new content or none changes
  /// (a target replaced before a later one failed gets its old content back). False with the
  /// reason in the failing file's `failure()`.
  [[nodiscard]] static bool commitAll(std::span<CAtomicFile* const> files, EReplace mode = EReplace::Replace);

  /// The outcome of this file: ok when nothing failed.
  [[nodiscard]] SFileWriteResult result() const;

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 size) override;

 private:
  struct SState;
  std::unique_ptr<SState> m;
};

}  // namespace platform
