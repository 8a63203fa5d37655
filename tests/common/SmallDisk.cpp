#include "common/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <vector>

namespace testutil {

namespace {

constexpr const char* kFiller = ".filler";

bool run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

CSmallDisk::CSmallDisk(std::int64_t bytes) {
  if (!m_dir.isValid()) return;
  m_mounted = run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                            QStringLiteral("size=%1").arg(bytes), QStringLiteral("tmpfs"), m_dir.path()});
}

CSmallDisk::~CSmallDisk() {
  if (m_mounted) run(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
}

std::filesystem::path CSmallDisk::root() const { return std::filesystem::path(m_dir.path().toStdString()); }

void CSmallDisk::leaveFree(std::int64_t pages) {
  QFile filler(QString::fromStdString((root() / kFiller).string()));
  if (!filler.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) return;
  const std::vector<char> block(static_cast<std::size_t>(kPage), 'f');
  while (filler.write(block.data(), kPage) == kPage) {
  }
  filler.close();
  // Shrinking the filler gives its pages back to the disk.
  const qint64 size = QFile(filler.fileName()).size();
  (void)QFile::resize(filler.fileName(), std::max<qint64>(0, (size / kPage - pages) * kPage));
}

void CSmallDisk::unfill() { QFile::remove(QString::fromStdString((root() / kFiller).string())); }

std::string CSmallDisk::listing() const {
  std::string names;
  QStringList entries = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  entries.removeAll(QString::fromLatin1(kFiller));
  for (const QString& e : entries) {
    if (!names.empty()) names += ' ';
    names += e.toStdString();
  }
  return names;
}

}  // namespace testutil
