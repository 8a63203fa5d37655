#pragma once
// Builds trek file bytes by hand, field by field, for the reading tests.
#include <cstdint>
#include <cstring>
#include <string>

namespace trektest {

class CBytes {
 public:
  CBytes& byte(std::uint8_t v) { m_s.push_back(static_cast<char>(v)); return *this; }
  CBytes& word(std::uint16_t v) { return byte(v & 0xFF).byte(v >> 8); }
  CBytes& dword(std::uint32_t v) { return word(v & 0xFFFF).word(v >> 16); }
  CBytes& i32(std::int32_t v) { return dword(static_cast<std::uint32_t>(v)); }
  CBytes& f64(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    return dword(static_cast<std::uint32_t>(v)).dword(static_cast<std::uint32_t>(v >> 32));
  }
  CBytes& f32(float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    return dword(v);
  }
  CBytes& raw(const std::string& s) { m_s += s; return *this; }
  /// A string with the shortest prefix the writer uses.
  CBytes& str(const std::string& s) {
    if (s.size() < 0xFF) {
      byte(static_cast<std::uint8_t>(s.size()));
    } else if (s.size() < 0xFFFE) {
      byte(0xFF).word(static_cast<std::uint16_t>(s.size()));
    } else {
      byte(0xFF).word(0xFFFF).dword(static_cast<std::uint32_t>(s.size()));
    }
    return raw(s);
  }
  CBytes& newClass(const std::string& name, std::uint16_t schema) {
    return word(0xFFFF).word(schema).word(static_cast<std::uint16_t>(name.size())).raw(name);
  }
  /// Signature and version.
  CBytes& header(std::int32_t version) { return str("Vantoria25000 PointDataFile").i32(version); }
  /// A track point's data with distinct values.
  CBytes& pointData(std::int32_t n) {
    return i32(139).i32(45).f64(1.5 + n).i32(35).i32(40).f64(2.25).i32(n).i32(0).f64(100.0 + n).i32(1000 + n);
  }
  /// A track log's data up to its point count.
  CBytes& logHead(const std::string& name) {
    return i32(1).byte(255).i32(0).str(name).str("").i32(1).str("").str("");
  }
  const std::string& str() const { return m_s; }
  std::size_t size() const { return m_s.size(); }

 private:
  std::string m_s;
};

}  // namespace trektest
