#pragma once
// A small streaming JSON writer that keeps member order (reports read top to bottom).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

class CJsonWriter {
 public:
  CJsonWriter& beginObject() { value(); m_out += '{'; m_first.push_back(true); return *this; }
  CJsonWriter& endObject() { m_first.pop_back(); newline(); m_out += '}'; return *this; }
  CJsonWriter& beginArray() { value(); m_out += '['; m_first.push_back(true); return *this; }
  CJsonWriter& endArray() { m_first.pop_back(); newline(); m_out += ']'; return *this; }
  CJsonWriter& key(std::string_view k) {
    separator();
    quote(k);
    m_out += ": ";
    m_afterKey = true;
    return *this;
  }
  CJsonWriter& string(std::string_view s) { value(); quote(s); return *this; }
  CJsonWriter& number(std::int64_t n) { value(); m_out += std::to_string(n); return *this; }
  CJsonWriter& number(double d) {
    value();
    if (!std::isfinite(d)) { m_out += "null"; return *this; }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    m_out += buf;
    return *this;
  }
  CJsonWriter& number(int n) { return number(static_cast<std::int64_t>(n)); }
  CJsonWriter& number(unsigned n) { return number(static_cast<std::int64_t>(n)); }
  CJsonWriter& boolean(bool b) { value(); m_out += b ? "true" : "false"; return *this; }
  CJsonWriter& null() { value(); m_out += "null"; return *this; }
  template <class T> CJsonWriter& field(std::string_view k, const T& v) { key(k); return put(v); }

  const std::string& str() const { return m_out; }

 private:
  CJsonWriter& put(std::string_view s) { return string(s); }
  CJsonWriter& put(const std::string& s) { return string(s); }
  CJsonWriter& put(const char* s) { return string(s); }
  CJsonWriter& put(bool b) { return boolean(b); }
  CJsonWriter& put(double d) { return number(d); }
  CJsonWriter& put(int n) { return number(n); }
  CJsonWriter& put(unsigned n) { return number(n); }
  CJsonWriter& put(long n) { return number(static_cast<std::int64_t>(n)); }
  CJsonWriter& put(long long n) { return number(static_cast<std::int64_t>(n)); }
  CJsonWriter& put(unsigned long n) { return number(static_cast<std::int64_t>(n)); }

  void newline() {
    m_out += '\n';
    m_out.append(m_first.size() * 2, ' ');
  }
  void separator() {
    if (!m_first.empty()) {
      if (!m_first.back()) m_out += ',';
      m_first.back() = false;
      newline();
    }
  }
  void value() {
    if (m_afterKey) { m_afterKey = false; return; }
    separator();
  }
  void quote(std::string_view s) {
    m_out += '"';
    for (unsigned char c : s) {
      switch (c) {
        case '"': m_out += "\\\""; break;
        case '\\': m_out += "\\\\"; break;
        case '\n': m_out += "\\n"; break;
        case '\r': m_out += "\\r"; break;
        case '\t': m_out += "\\t"; break;
        default:
          if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            m_out += buf;
          } else {
            m_out += static_cast<char>(c);
          }
      }
    }
    m_out += '"';
  }

  std::string m_out;
  std::vector<bool> m_first;
  bool m_afterKey = false;
};

}  // namespace cli
