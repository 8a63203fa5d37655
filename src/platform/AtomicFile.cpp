#include "platform/AtomicFile.h"

#include "platform/FileLookup.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <QFile>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace platform {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

std::string systemReason(int err) { return std::generic_category().message(err); }

std::string randomSuffix() {
  static std::atomic<unsigned> counter{0};
  static const auto seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::minstd_rand gen(seed ^ (counter.fetch_add(1) * 2654435761u));
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(6, 'x');
  for (char& c : s) c = kLetters[gen() % (sizeof kLetters - 1)];
  return s;
}

std::filesystem::path sibling(const std::filesystem::path& target, const char* tag) {
  std::filesystem::path p = target;
  p += std::string(tag) + randomSuffix();
  return p;
}

}  // namespace

struct CAtomicFile::SState {
  std::filesystem::path target;
  std::filesystem::path temporary;
  std::vector<char> buffer;
  bool failed = false;
  bool targetExists = false;
  bool synced = false;  ///< nothing written since the last sync
  std::string reason;
#ifdef _WIN32
  QFile file;
#else
  int fd = -1;
#endif

  void setFailure(const std::string& why) {
    if (failed) return;
    failed = true;
    reason = why.empty() ? std::string("write failed") : why;
  }
  bool writeOut(const char* data, std::size_t size);
  bool flushBuffer() {
    const bool ok = writeOut(buffer.data(), buffer.size());
    buffer.clear();
    return ok;
  }
  bool create();
  /// Writes the rest, syncs and closes: afterwards the temporary file holds everything or failed.
  bool finish();
  void removeTemporary();
  bool moveIntoPlace(EReplace mode);
};

#ifdef _WIN32

void PrepareFileWrites() {}

bool CAtomicFile::SState::create() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = sibling(target, ".tmp-");
    file.setFileName(QString::fromStdWString(temporary.wstring()));
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) return true;
    if (file.error() != QFileDevice::OpenError) break;
  }
  setFailure(file.errorString().toStdString());
  return false;
}

bool CAtomicFile::SState::writeOut(const char* data, std::size_t size) {
  if (failed) return false;
  if (size > 0) synced = false;
  while (size > 0) {
    const qint64 n = file.write(data, static_cast<qint64>(size));
    if (n <= 0) {
      setFailure(file.errorString().toStdString());
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool CAtomicFile::SState::finish() {
  if (!file.isOpen()) return !failed;
  flushBuffer();
  if (!file.flush()) setFailure(file.errorString().toStdString());
  file.close();
  if (file.error() != QFileDevice::NoError) setFailure(file.errorString().toStdString());
  return !failed;
}

void CAtomicFile::SState::removeTemporary() {
  if (file.isOpen()) file.close();
  if (!temporary.empty()) {
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    temporary.clear();
  }
}

bool CAtomicFile::SState::moveIntoPlace(EReplace mode) {
  std::error_code ec;
  if (mode == EReplace::NoReplace && std::filesystem::exists(target, ec)) {
    targetExists = true;
    setFailure(systemReason(EEXIST));
    return false;
  }
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    setFailure(ec.message());
    return false;
  }
  temporary.clear();
  return true;
}

#else

namespace {

void syncFolder(const std::filesystem::path& target) {
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  // The file's own data were synced before the rename; a folder that cannot be synced (some
  // file systems refuse) still holds the renamed entry.
  (void)::fsync(dir);
  ::close(dir);
}

}  // namespace

void PrepareFileWrites() {
  static std::once_flag ignoreFileSizeSignal;
  std::call_once(ignoreFileSizeSignal, [] { ::signal(SIGXFSZ, SIG_IGN); });
}

bool CAtomicFile::SState::create() {
  PrepareFileWrites();
  struct stat old {};
  const bool hadTarget = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  int err = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = sibling(target, ".tmp-");
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) break;
    err = errno;
    if (err != EEXIST && err != EINTR) break;
  }
  if (fd < 0) {
    temporary.clear();
    setFailure(systemReason(err));
    return false;
  }
  // A replaced file keeps its permissions.
  if (hadTarget) (void)::fchmod(fd, old.st_mode & 07777);
  return true;
}

bool CAtomicFile::SState::writeOut(const char* data, std::size_t size) {
  if (failed) return false;
  if (size > 0) synced = false;
  if (fd < 0) {
    setFailure(systemReason(EBADF));
    return false;
  }
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      setFailure(systemReason(errno));
      return false;
    }
    if (n == 0) {
      setFailure(systemReason(EIO));
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool CAtomicFile::SState::finish() {
  if (fd < 0) return !failed;
  flushBuffer();
  if (!failed && !synced && ::fsync(fd) != 0 && errno != EINVAL) setFailure(systemReason(errno));
  if (::close(fd) != 0 && errno != EINTR) setFailure(systemReason(errno));
  fd = -1;
  return !failed;
}

void CAtomicFile::SState::removeTemporary() {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
  if (!temporary.empty()) {
    ::unlink(temporary.c_str());
    temporary.clear();
  }
}

bool CAtomicFile::SState::moveIntoPlace(EReplace mode) {
  if (mode == EReplace::Replace) {
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
      setFailure(systemReason(errno));
      return false;
    }
  } else {
    // Atomic against a file that appears meanwhile; file systems without RENAME_NOREPLACE get
    // a hard link, which refuses an existing name just as well.
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
      int err = errno;
      if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
        if (::link(temporary.c_str(), target.c_str()) == 0) {
          ::unlink(temporary.c_str());
          err = 0;
        } else {
          err = errno;
        }
      }
      if (err != 0) {
        targetExists = err == EEXIST;
        setFailure(systemReason(err));
        return false;
      }
    }
  }
  temporary.clear();
  syncFolder(target);
  return true;
}

#endif

CAtomicFile::CAtomicFile(std::filesystem::path target) : m(std::make_unique<SState>()) {
  m->target = std::move(target);
}

CAtomicFile::~CAtomicFile() { m->removeTemporary(); }

bool CAtomicFile::open(OpenMode mode) {
  if ((mode & QIODevice::ReadOnly) || isOpen() || !m->temporary.empty()) return false;
  m->failed = false;
  m->reason.clear();
  m->targetExists = false;
  if (!m->create()) return false;
  m->buffer.reserve(kBufferBytes);
  return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool CAtomicFile::commit(EReplace mode) {
  CAtomicFile* self = this;
  return commitAll(std::span<CAtomicFile* const>(&self, 1), mode);
}

bool CAtomicFile::sync() {
  if (m->failed) return false;
  if (!m->flushBuffer()) return false;
#ifdef _WIN32
  if (!m->file.flush()) m->setFailure(m->file.errorString().toStdString());
#else
  if (m->fd >= 0 && ::fsync(m->fd) != 0 && errno != EINVAL) m->setFailure(systemReason(errno));
#endif
  m->synced = !m->failed;
  return !m->failed;
}

void CAtomicFile::discard() {
  m->buffer.clear();
  m->removeTemporary();
  if (isOpen()) QIODevice::close();
}

bool CAtomicFile::failed() const { return m->failed; }
std::string CAtomicFile::failure() const { return m->reason; }
bool CAtomicFile::targetExists() const { return m->targetExists; }
const std::filesystem::path& CAtomicFile::target() const { return m->target; }
void CAtomicFile::fail(const std::string& reason) { m->setFailure(reason); }

SFileWriteResult CAtomicFile::result() const {
  SFileWriteResult r;
  r.ok = !m->failed;
  r.targetExists = m->targetExists;
  r.path = m->target.string();
  r.reason = m->reason;
  return r;
}

bool CAtomicFile::seek(qint64 pos) { return pos == QIODevice::pos() && QIODevice::seek(pos); }

qint64 CAtomicFile::readData(char*, qint64) { return -1; }

qint64 CAtomicFile::writeData(const char* data, qint64 size) {
  if (m->failed || size < 0 || m->temporary.empty()) return -1;
  const auto bytes = static_cast<std::size_t>(size);
  if (m->buffer.size() + bytes > kBufferBytes) {
    if (!m->flushBuffer()) return -1;
    if (bytes >= kBufferBytes) return m->writeOut(data, bytes) ? size : -1;
  }
  m->buffer.insert(m->buffer.end(), data, data + bytes);
  return size;
}

bool CAtomicFile::commitAll(std::span<CAtomicFile* const> files, EReplace mode) {
  const auto dropAll = [&files] {
    for (CAtomicFile* f : files) f->discard();
  };
  for (CAtomicFile* f : files) {
    if (f->m->temporary.empty() && !f->m->failed) f->m->setFailure("not open");
    if (!f->m->finish()) {
      dropAll();
      return false;
    }
  }
  // With several targets, each replaced one keeps its old content under a second name until
  // every rename succeeded, so that a failure part way can put it back.
  std::vector<std::filesystem::path> backups(files.size());
  std::vector<bool> placed(files.size(), false);
  std::vector<bool> hadTarget(files.size(), false);
  if (mode == EReplace::Replace && files.size() > 1) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      std::error_code ec;
      hadTarget[i] = std::filesystem::exists(files[i]->m->target, ec);
      if (!std::filesystem::is_regular_file(files[i]->m->target, ec)) continue;
      for (int attempt = 0; attempt < 100 && backups[i].empty(); ++attempt) {
        const std::filesystem::path name = sibling(files[i]->m->target, ".old-");
        std::filesystem::create_hard_link(files[i]->m->target, name, ec);
        if (!ec) backups[i] = name;
        else if (ec != std::errc::file_exists) break;
      }
    }
  }
  bool ok = true;
  for (std::size_t i = 0; i < files.size() && ok; ++i) {
    ok = files[i]->m->moveIntoPlace(mode);
    placed[i] = ok;
  }
  std::error_code ec;
  if (!ok) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (!placed[i]) continue;
      // A new name goes again; a replaced file gets its old content back where a second name
      // could be kept for it.
      if (!backups[i].empty()) {
        std::filesystem::rename(backups[i], files[i]->m->target, ec);
        if (!ec) backups[i].clear();
      } else if (mode == EReplace::NoReplace || !hadTarget[i]) {
        std::filesystem::remove(files[i]->m->target, ec);
      }
    }
  }
  for (const std::filesystem::path& b : backups)
    if (!b.empty()) std::filesystem::remove(b, ec);
  for (CAtomicFile* f : files) {
    f->m->removeTemporary();
    if (f->isOpen()) f->QIODevice::close();
  }
  return ok;
}

SFileWriteResult publishFile(const std::filesystem::path& temporary, const std::filesystem::path& target, EReplace mode) {
  SFileWriteResult r;
  r.path = pathToUtf8(target);
  std::error_code ec;
#ifdef _WIN32
  if (mode == EReplace::NoReplace && std::filesystem::exists(target, ec)) {
    r.targetExists = true;
    r.reason = systemReason(EEXIST);
  } else {
    std::filesystem::rename(temporary, target, ec);
    if (ec) r.reason = ec.message();
    else r.ok = true;
  }
#else
  const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    r.reason = systemReason(errno);
  } else {
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int err = errno;
    ::close(fd);
    if (!synced) r.reason = systemReason(err);
  }
  if (r.reason.empty()) {
    int err = 0;
    if (mode == EReplace::Replace) {
      if (::rename(temporary.c_str(), target.c_str()) != 0) err = errno;
    } else if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
      err = errno;
      if (err == EINVAL || err == ENOSYS || err == ENOTSUP) err = ::link(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
    }
    if (err != 0) {
      r.targetExists = err == EEXIST;
      r.reason = systemReason(err);
    } else {
      r.ok = true;
      syncFolder(target);
    }
  }
#endif
  std::filesystem::remove(temporary, ec);  // gone after a rename; after a link or a failure removed here
  return r;
}

}  // namespace platform
