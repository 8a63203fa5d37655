#include "platform/IProfileStore.h"

#include <QByteArray>
#include <QSettings>
#include <filesystem>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/FileLookup.h"
#include <QString>
#include <charconv>

namespace platform {

std::optional<std::int32_t> parseProfileInt(const std::string& text) {
  std::string_view s(text);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  if (s.empty()) return std::nullopt;
  bool negative = false;
  if (s.front() == '-' || s.front() == '+') {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  std::uint64_t v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  if (negative) {
    if (v > 0x80000000ull) return std::nullopt;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(v));
  }
  if (v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

// ---- memory ----
std::int32_t CMemoryProfile::readInt(const std::string& section, const std::string& key, std::int32_t def) const {
  const auto it = m_values.find({section, key});
  if (it == m_values.end()) return def;
  return parseProfileInt(it->second).value_or(def);
}
std::string CMemoryProfile::readString(const std::string& section, const std::string& key, const std::string& def) const {
  const auto it = m_values.find({section, key});
  return it == m_values.end() ? def : it->second;
}
std::optional<std::vector<std::uint8_t>> CMemoryProfile::readBinary(const std::string& section, const std::string& key) const {
  const auto it = m_values.find({section, key});
  if (it == m_values.end()) return std::nullopt;
  return std::vector<std::uint8_t>(it->second.begin(), it->second.end());
}
void CMemoryProfile::writeInt(const std::string& section, const std::string& key, std::int32_t value) {
  m_values[{section, key}] = std::to_string(value);
}
void CMemoryProfile::writeString(const std::string& section, const std::string& key, const std::string& value) {
  m_values[{section, key}] = value;
}
void CMemoryProfile::writeBinary(const std::string& section, const std::string& key, const std::vector<std::uint8_t>& value) {
  m_values[{section, key}] = std::string(value.begin(), value.end());
}
void CMemoryProfile::remove(const std::string& section, const std::string& key) { m_values.erase({section, key}); }
bool CMemoryProfile::contains(const std::string& section, const std::string& key) const {
  return m_values.count({section, key}) != 0;
}

// ---- QSettings ----
namespace {
QString qkey(const std::string& section, const std::string& key) {
  return QString::fromUtf8(section) + QLatin1Char('/') + QString::fromUtf8(key);
}
}  // namespace

CSettingsProfile::CSettingsProfile()
    : m_settings(std::make_unique<QSettings>(QStringLiteral("Kestrelsoft"), QStringLiteral("Vantoria"))) {
  PrepareFileWrites();
}

CSettingsProfile::CSettingsProfile(const std::string& iniPath)
    : m_settings(std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {
  PrepareFileWrites();
}

CSettingsProfile::~CSettingsProfile() = default;

std::int32_t CSettingsProfile::readInt(const std::string& section, const std::string& key, std::int32_t def) const {
  const QVariant v = m_settings->value(qkey(section, key));
  if (!v.isValid()) return def;
  if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::UInt || v.typeId() == QMetaType::LongLong ||
      v.typeId() == QMetaType::ULongLong) {
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < -2147483648LL || n > 0xFFFFFFFFLL) return def;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
  }
  if (v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QByteArray) return def;
  return parseProfileInt(v.toString().toStdString()).value_or(def);
}

std::string CSettingsProfile::readString(const std::string& section, const std::string& key, const std::string& def) const {
  const QVariant v = m_settings->value(qkey(section, key));
  if (!v.isValid() || v.typeId() == QMetaType::QStringList) return def;
  return v.toString().toStdString();
}

std::optional<std::vector<std::uint8_t>> CSettingsProfile::readBinary(const std::string& section, const std::string& key) const {
  const QVariant v = m_settings->value(qkey(section, key));
  if (!v.isValid() || v.typeId() != QMetaType::QByteArray) return std::nullopt;
  const QByteArray b = v.toByteArray();
  return std::vector<std::uint8_t>(b.begin(), b.end());
}

void CSettingsProfile::writeInt(const std::string& section, const std::string& key, std::int32_t value) {
  m_settings->setValue(qkey(section, key), value);
}
void CSettingsProfile::writeString(const std::string& section, const std::string& key, const std::string& value) {
  m_settings->setValue(qkey(section, key), QString::fromStdString(value));
}
void CSettingsProfile::writeBinary(const std::string& section, const std::string& key, const std::vector<std::uint8_t>& value) {
  m_settings->setValue(qkey(section, key),
                       QByteArray(reinterpret_cast<const char*>(value.data()), static_cast<qsizetype>(value.size())));
}
void CSettingsProfile::remove(const std::string& section, const std::string& key) { m_settings->remove(qkey(section, key)); }
namespace {

bool sameSettings(const QSettings& held, const QSettings& stored) {
  QStringList keys = held.allKeys(), storedKeys = stored.allKeys();
  keys.sort();
  storedKeys.sort();
  if (keys != storedKeys) return false;
  for (const QString& k : keys) {
    const QVariant a = held.value(k), b = stored.value(k);
    if (a.typeId() == QMetaType::QByteArray ? a.toByteArray() != b.toByteArray() : a.toString() != b.toString())
      return false;
  }
  return true;
}

}  // namespace

bool CSettingsProfile::flush() {
#ifdef Q_OS_WIN
  if (m_settings->format() == QSettings::NativeFormat) {
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
  }
#endif
  // Qt's INI writer renames its new file into place even when writing it failed (a full disk
  // leaves an empty profile and no error). The old profile therefore keeps a second name while
  // Qt writes, and comes back unless the new file reads back as what the store holds.
  const std::filesystem::path file = pathFromUtf8(m_settings->fileName().toStdString());
  std::filesystem::path kept;
  std::error_code ec;
  if (std::filesystem::is_regular_file(file, ec)) {
    for (int attempt = 0; attempt < 100 && kept.empty(); ++attempt) {
      std::filesystem::path name = file;
      name += ".old-" + std::to_string(attempt);
      std::filesystem::create_hard_link(file, name, ec);
      if (!ec) kept = name;
      else if (ec != std::errc::file_exists) break;
    }
  }
  m_settings->sync();
  bool ok = m_settings->status() == QSettings::NoError;
  if (ok) {
    // Read back under another name: Qt shares what it holds of a file between its settings
    // objects by name, and would only compare the store with itself.
    std::filesystem::path check = file;
    check += ".check";
    std::filesystem::remove(check, ec);
    std::filesystem::create_hard_link(file, check, ec);
    if (!ec) {
      {
        const QSettings stored(QString::fromStdString(pathToUtf8(check)), QSettings::IniFormat);
        ok = stored.status() == QSettings::NoError && sameSettings(*m_settings, stored);
      }
      std::filesystem::remove(check, ec);
    }
  }
  if (!kept.empty()) {
    // Renaming a second name over the same file does nothing: it goes like a kept copy not needed.
    if (!ok && !std::filesystem::equivalent(kept, file, ec)) std::filesystem::rename(kept, file, ec);
    std::filesystem::remove(kept, ec);
  }
  return ok;
}

namespace {
IProfileStore* g_profile = nullptr;
}

IProfileStore& profile() {
  if (g_profile) return *g_profile;
  static CSettingsProfile user;
  return user;
}

void setProfile(IProfileStore* store) { g_profile = store; }

}  // namespace platform
