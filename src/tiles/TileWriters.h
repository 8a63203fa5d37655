#pragma once
// The two containers: MBTiles 1.3 (SQLite; the map/images layout, so identical tiles are stored
// once, with the tiles view readers expect) and KMZ (a zip of doc.kml and the JPEG overlays).
// Both are written under a temporary name beside the target and renamed into place only when
// complete: a cancelled or failed export leaves no file and an older file of the name whole.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace tiles {

/// The temporary file beside `target` that a writer fills.
[[nodiscard]] std::filesystem::path TemporaryBeside(const std::filesystem::path& target);
/// Syncs `temporary` and renames it over `target` (or, without `replace`, only where no file of
/// that name is). The reason in the system's words on failure (the temporary file removed).
[[nodiscard]] bool PublishFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                               bool replace, std::string& reason);

class CMbtilesWriter {
 public:
  CMbtilesWriter() = default;
  ~CMbtilesWriter();
  CMbtilesWriter(const CMbtilesWriter&) = delete;
  CMbtilesWriter& operator=(const CMbtilesWriter&) = delete;

  /// Creates the database at `path` (a new file) and begins the one transaction.
  [[nodiscard]] bool Open(const std::filesystem::path& path);
  void SetMetadata(const std::string& name, const std::string& value);
  /// One tile in XYZ numbering (stored with the TMS row). Identical bytes share one image.
  [[nodiscard]] bool AddTile(int zoom, int x, int y, const std::string& bytes);
  /// Commits and closes; false when anything failed (error() says what).
  [[nodiscard]] bool Finish();
  /// Drops everything (the file stays for the caller to remove).
  void Abort();
  [[nodiscard]] const std::string& error() const { return m_error; }
  [[nodiscard]] std::size_t images() const { return m_ids.size(); }

 private:
  bool exec(const char* sql);
  bool fail();
  sqlite3* m_db = nullptr;
  sqlite3_stmt* m_map = nullptr;
  sqlite3_stmt* m_image = nullptr;
  std::map<std::string, std::string> m_ids;  // digest -> tile_id
  std::string m_error;
};

/// A zip archive written entry by entry (stored, not compressed: JPEG does not shrink).
class CZipWriter {
 public:
  [[nodiscard]] bool Open(const std::filesystem::path& path);
  [[nodiscard]] bool Add(const std::string& name, const std::string& bytes);
  [[nodiscard]] bool Finish();
  [[nodiscard]] const std::string& error() const { return m_error; }
  ~CZipWriter();

 private:
  struct SEntry {
    std::string name;
    std::uint32_t crc = 0;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
  };
  bool write(const std::string& bytes);
  std::FILE* m_file = nullptr;
  std::uint64_t m_offset = 0;
  std::vector<SEntry> m_entries;
  std::string m_error;
};

}  // namespace tiles
