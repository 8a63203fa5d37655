#include "trek/TrekFileIdentity.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <system_error>

#include "platform/FileLookup.h"

namespace trek {

SFileIdentity IdentityOfBytes(std::string_view bytes) {
  return {bytes.size(), QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                                 QCryptographicHash::Sha256)};
}

std::optional<SFileIdentity> IdentityOfDevice(QIODevice& device) {
  if (!device.seek(0)) return std::nullopt;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  std::uint64_t size = 0;
  char buffer[65536];
  for (;;) {
    const qint64 n = device.read(buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    hash.addData(QByteArrayView(buffer, static_cast<qsizetype>(n)));
    size += static_cast<std::uint64_t>(n);
  }
  return SFileIdentity{size, hash.result()};
}

std::optional<SFileIdentity> IdentityOfFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  const QString name = QString::fromStdString(platform::pathToUtf8(path));
  if (size > kMaxHashedBytes) {
    const QFileInfo info(name);
    return SFileIdentity{size, QByteArray::number(info.lastModified().toMSecsSinceEpoch())};
  }
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return IdentityOfDevice(file);
}

}  // namespace trek
