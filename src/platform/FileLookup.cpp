#include "platform/FileLookup.h"

#include <cstdio>
#include <fstream>
#include <new>
#include <system_error>

namespace platform {
namespace {
bool equalNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}
}  // namespace

std::optional<std::filesystem::path> findNoCase(const std::filesystem::path& dir, const std::string& name) {
  std::error_code ec;
  if (name.empty()) return std::nullopt;
  const std::filesystem::path exact = dir / name;
  if (std::filesystem::exists(exact, ec)) return exact;
  std::filesystem::directory_iterator it(dir, ec);
  if (ec) return std::nullopt;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const std::string entry = it->path().filename().string();
    if (equalNoCase(entry, name)) return it->path();
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> resolveNoCase(const std::filesystem::path& base, const std::string& relative) {
  std::filesystem::path cur = base;
  std::string part;
  auto step = [&]() -> bool {
    if (part.empty() || part == ".") return true;
    auto next = findNoCase(cur, part);
    if (!next) return false;
    cur = *next;
    return true;
  };
  for (char c : relative) {
    if (c == '/' || c == '\\') {
      if (!step()) return std::nullopt;
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!step()) return std::nullopt;
  return cur;
}

namespace {
template <class Bytes>
bool readInto(const std::filesystem::path& path, std::size_t maxBytes, Bytes& data) {
  data.clear();
  // Opening a FIFO blocks until a writer comes; the status is read without opening.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > maxBytes) return false;
  in.seekg(0, std::ios::beg);
  try {
    data.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size)) {
    data.clear();
    return false;
  }
  return true;
}
}  // namespace

std::optional<std::string> readWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
  std::string data;
  if (!readInto(path, maxBytes, data)) return std::nullopt;
  return data;
}

bool readWholeFile(const std::filesystem::path& path, std::size_t maxBytes, std::vector<std::uint8_t>& into) {
  return readInto(path, maxBytes, into);
}

std::filesystem::path pathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string pathToUtf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace platform
