#include "platform/IProfileStore.h"

#include <QByteArray>
#include <QSettings>
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
    : m_settings(std::make_unique<QSettings>(QStringLiteral("Kestrelsoft"), QStringLiteral("Vantoria"))) {}

CSettingsProfile::CSettingsProfile(const std::string& iniPath)
    : m_settings(std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

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
bool CSettingsProfile::flush() {
  m_settings->sync();
  return m_settings->status() == QSettings::NoError;
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
