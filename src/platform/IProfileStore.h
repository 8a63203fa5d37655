#pragma once
// The per-user settings profile: sections holding integer and string values. On Windows the
// QSettings store is the registry key Software\Kestrelsoft\Vantoria; on Linux an INI file.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSettings;

namespace platform {

class IProfileStore {
 public:
  virtual ~IProfileStore() = default;
  /// The stored integer; `def` when missing or not a number in the 32-bit range.
  virtual std::int32_t readInt(const std::string& section, const std::string& key, std::int32_t def) const = 0;
  /// The stored string (UTF-8); `def` when missing.
  virtual std::string readString(const std::string& section, const std::string& key, const std::string& def) const = 0;
  virtual std::optional<std::vector<std::uint8_t>> readBinary(const std::string& section, const std::string& key) const = 0;
  virtual void writeInt(const std::string& section, const std::string& key, std::int32_t value) = 0;
  virtual void writeString(const std::string& section, const std::string& key, const std::string& value) = 0;
  virtual void writeBinary(const std::string& section, const std::string& key, const std::vector<std::uint8_t>& value) = 0;
  virtual void remove(const std::string& section, const std::string& key) = 0;
  /// Writes what is pending to the store; false when the store refused it (the stored profile
  /// then stays as it was).
  virtual bool flush() { return true; }
};

/// In-memory store for tests. Values keep their written type; a string read as integer is parsed.
class CMemoryProfile : public IProfileStore {
 public:
  std::int32_t readInt(const std::string& section, const std::string& key, std::int32_t def) const override;
  std::string readString(const std::string& section, const std::string& key, const std::string& def) const override;
  std::optional<std::vector<std::uint8_t>> readBinary(const std::string& section, const std::string& key) const override;
  void writeInt(const std::string& section, const std::string& key, std::int32_t value) override;
  void writeString(const std::string& section, const std::string& key, const std::string& value) override;
  void writeBinary(const std::string& section, const std::string& key, const std::vector<std::uint8_t>& value) override;
  void remove(const std::string& section, const std::string& key) override;
  bool contains(const std::string& section, const std::string& key) const;

 private:
  std::map<std::pair<std::string, std::string>, std::string> m_values;
};

/// QSettings-backed store. The default constructor uses ("Kestrelsoft", "Vantoria") in the native
/// format; the path form opens an INI file (the CLI's --profile and the tests).
class CSettingsProfile : public IProfileStore {
 public:
  CSettingsProfile();
  explicit CSettingsProfile(const std::string& iniPath);
  ~CSettingsProfile() override;
  std::int32_t readInt(const std::string& section, const std::string& key, std::int32_t def) const override;
  std::string readString(const std::string& section, const std::string& key, const std::string& def) const override;
  std::optional<std::vector<std::uint8_t>> readBinary(const std::string& section, const std::string& key) const override;
  void writeInt(const std::string& section, const std::string& key, std::int32_t value) override;
  void writeString(const std::string& section, const std::string& key, const std::string& value) override;
  void writeBinary(const std::string& section, const std::string& key, const std::vector<std::uint8_t>& value) override;
  void remove(const std::string& section, const std::string& key) override;
  bool flush() override;

 private:
  std::unique_ptr<QSettings> m_settings;
};

/// Parses a profile integer the way the store does: decimal (optionally signed) or 0x-hex,
/// within the signed 32-bit range (DWORD values above 0x7FFFFFFF wrap as the registry does).
std::optional<std::int32_t> parseProfileInt(const std::string& text);

/// The store the program uses; never null (defaults to the user's CSettingsProfile).
IProfileStore& profile();
void setProfile(IProfileStore* store);

}  // namespace platform
