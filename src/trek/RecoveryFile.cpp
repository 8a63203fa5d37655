#include "trek/RecoveryFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <cstring>

#include "platform/FileLookup.h"
#include "trek/TrekFile.h"

namespace trek {

namespace {

constexpr char kMagic[8] = {'V', 'N', 'T', 'R', 'R', 'C', 'V', 'R'};
constexpr std::size_t kDigestBytes = 32;
constexpr std::uint32_t kMaxOwnerBytes = 256;
constexpr std::uint32_t kMaxTextBytes = 1u << 20;

template <class T>
void put(std::string& out, T value) {
  using U = std::make_unsigned_t<T>;
  auto u = static_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out.push_back(static_cast<char>(u & 0xFF));
    u = static_cast<U>(u >> 8);
  }
}

void putString(std::string& out, std::string_view s) {
  put(out, static_cast<std::uint32_t>(s.size()));
  out.append(s);
}

QByteArray digestOf(std::string_view body) {
  return QCryptographicHash::hash(QByteArrayView(body.data(), static_cast<qsizetype>(body.size())),
                                  QCryptographicHash::Sha256);
}

std::string headerBytes(const SRecoveryHeader& h, std::string_view body) {
  std::string out(kMagic, sizeof kMagic);
  put(out, kRecoveryVersion);
  putString(out, h.owner);
  put(out, h.processId);
  put(out, h.savedAtMs);
  put(out, h.kind);
  put(out, h.waypoints);
  put(out, h.trackLogs);
  put(out, h.trackPoints);
  putString(out, h.filePath);
  putString(out, h.groupName);
  put(out, static_cast<std::uint64_t>(body.size()));
  const QByteArray digest = digestOf(body);
  out.append(digest.constData(), static_cast<std::size_t>(digest.size()));
  return out;
}

/// Reads little-endian fields; past the end it notes so and gives zeros.
class CReader {
 public:
  explicit CReader(std::string_view bytes) : m_bytes(bytes) {}
  template <class T>
  T get() {
    if (!has(sizeof(T))) return T{};
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
      u = static_cast<U>(u | static_cast<U>(static_cast<std::uint8_t>(m_bytes[m_at + i])) << (8 * i));
    m_at += sizeof(T);
    return static_cast<T>(u);
  }
  std::string_view take(std::size_t n) {
    if (!has(n)) return {};
    const std::string_view s = m_bytes.substr(m_at, n);
    m_at += n;
    return s;
  }
  /// A string of at most `max` bytes; a longer length marks the header bad.
  std::string string(std::uint32_t max) {
    const auto n = get<std::uint32_t>();
    if (n > max) {
      m_tooLong = true;
      return {};
    }
    return std::string(take(n));
  }
  [[nodiscard]] bool short_() const { return m_short; }
  [[nodiscard]] bool tooLong() const { return m_tooLong; }
  [[nodiscard]] std::size_t left() const { return m_bytes.size() - m_at; }

 private:
  bool has(std::size_t n) {
    if (m_short || n > m_bytes.size() - m_at) {
      m_short = true;
      return false;
    }
    return true;
  }
  std::string_view m_bytes;
  std::size_t m_at = 0;
  bool m_short = false;
  bool m_tooLong = false;
};

SRecoveryRead failed(ERecoveryStatus status, SRecoveryHeader header = {}, std::string detail = {}) {
  SRecoveryRead r;
  r.status = status;
  r.header = std::move(header);
  r.reason = RecoveryStatusText(status);
  if (!detail.empty()) r.reason += " (" + detail + ")";
  return r;
}

/// The start every body of the current trek version has: the signature string and version 3.
std::string bodyStart() {
  std::string s(1, static_cast<char>(std::strlen(CTrekData::kSignature)));
  s += CTrekData::kSignature;
  put(s, CTrekData::kFileVersion);
  return s;
}

}  // namespace

void DescribeGroup(const CTrekData& group, SRecoveryHeader& h) {
  h.kind = group.Kind();
  h.waypoints = static_cast<std::uint32_t>(group.Waypoints().size());
  h.trackLogs = static_cast<std::uint32_t>(group.TrackLogs().size());
  h.trackPoints = 0;
  for (const auto& log : group.TrackLogs()) h.trackPoints += log->Points().size();
  h.filePath = group.FilePath();
  h.groupName = group.GroupName();
}

bool WriteRecoveryDevice(QIODevice& device, const SRecoveryHeader& header, std::string_view body) {
  const std::string head = headerBytes(header, body);
  if (device.write(head.data(), static_cast<qint64>(head.size())) != static_cast<qint64>(head.size())) return false;
  // In slices: a device may take less than it was given only by failing.
  constexpr std::size_t kSlice = std::size_t{1} << 20;
  for (std::size_t at = 0; at < body.size(); at += kSlice) {
    const std::size_t n = std::min(kSlice, body.size() - at);
    if (device.write(body.data() + at, static_cast<qint64>(n)) != static_cast<qint64>(n)) return false;
  }
  return true;
}

std::string RecoveryBytes(const SRecoveryHeader& header, std::string_view body) {
  std::string out = headerBytes(header, body);
  out.append(body);
  return out;
}

SRecoveryRead ReadRecoveryBytes(std::string_view bytes) {
  CReader in(bytes);
  if (in.take(sizeof kMagic) != std::string_view(kMagic, sizeof kMagic)) return failed(ERecoveryStatus::NotRecoveryCopy);
  const auto version = in.get<std::uint32_t>();
  if (in.short_()) return failed(ERecoveryStatus::Truncated);
  if (version > kRecoveryVersion) return failed(ERecoveryStatus::NewerVersion);
  if (version < 1) return failed(ERecoveryStatus::BadHeader, {}, "version 0");
  SRecoveryHeader h;
  h.owner = in.string(kMaxOwnerBytes);
  h.processId = in.get<std::int64_t>();
  h.savedAtMs = in.get<std::int64_t>();
  h.kind = in.get<std::int32_t>();
  h.waypoints = in.get<std::uint32_t>();
  h.trackLogs = in.get<std::uint32_t>();
  h.trackPoints = in.get<std::uint64_t>();
  h.filePath = in.string(kMaxTextBytes);
  h.groupName = in.string(kMaxTextBytes);
  const auto bodyBytes = in.get<std::uint64_t>();
  const std::string_view digest = in.take(kDigestBytes);
  if (in.tooLong()) return failed(ERecoveryStatus::BadHeader, std::move(h), "a text field is too long");
  if (in.short_()) return failed(ERecoveryStatus::Truncated, std::move(h));
  if (bodyBytes > in.left()) return failed(ERecoveryStatus::Truncated, std::move(h));
  if (bodyBytes < in.left()) return failed(ERecoveryStatus::BadHeader, std::move(h), "bytes after the body");
  const std::string_view body = in.take(static_cast<std::size_t>(bodyBytes));
  const QByteArray want = digestOf(body);
  if (digest != std::string_view(want.constData(), static_cast<std::size_t>(want.size())))
    return failed(ERecoveryStatus::BadChecksum, std::move(h));
  // Only the current trek version: an older one would ask the conversion questions.
  if (body.substr(0, bodyStart().size()) != bodyStart())
    return failed(ERecoveryStatus::BadContent, std::move(h), "not a trek group of the current version");
  STrekReadResult group = ReadTrekBytes(body, "recovery copy");
  if (!group.ok() || !group.group) return failed(ERecoveryStatus::BadContent, std::move(h), group.message);
  SRecoveryRead r;
  r.status = ERecoveryStatus::Ok;
  r.header = std::move(h);
  r.body = std::string(body);
  r.group = std::move(group.group);
  return r;
}

SRecoveryRead ReadRecoveryFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return failed(ERecoveryStatus::OpenFailed);
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return failed(ERecoveryStatus::OpenFailed, {}, ec.message());
  if (size > maxBytes) return failed(ERecoveryStatus::BadHeader, {}, "the file is too large");
  QFile file(QString::fromStdString(platform::pathToUtf8(path)));
  if (!file.open(QIODevice::ReadOnly)) return failed(ERecoveryStatus::OpenFailed, {}, file.errorString().toStdString());
  // Bounded by the size found above: a file growing meanwhile is read only that far.
  const QByteArray data = file.read(static_cast<qint64>(size));
  if (data.size() != static_cast<qsizetype>(size)) return failed(ERecoveryStatus::Truncated);
  return ReadRecoveryBytes(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
}

std::string RecoveryStatusText(ERecoveryStatus status) {
  switch (status) {
    case ERecoveryStatus::Ok: return {};
    case ERecoveryStatus::OpenFailed: return "the file cannot be read";
    case ERecoveryStatus::NotRecoveryCopy: return "not a recovery copy";
    case ERecoveryStatus::NewerVersion: return "written by a newer version";
    case ERecoveryStatus::Truncated: return "the file is cut short";
    case ERecoveryStatus::BadHeader: return "the header is damaged";
    case ERecoveryStatus::BadChecksum: return "the data do not match their checksum";
    case ERecoveryStatus::BadContent: return "the trek data cannot be read";
  }
  return {};
}

}  // namespace trek
