#pragma once
// The containers: MBTiles 1.3 (SQLite; the map/images layout, so identical tiles are stored
// once, with the tiles view readers expect), GeoPackage 1.3 tiles (SQLite) and KMZ (a zip of
// doc.kml and the JPEG overlays). All are written under a temporary name beside the target and renamed into place only when
// complete: a cancelled or failed export leaves no file and an older file of the name whole.
#include <cstdint>
#include <filesystem>
#include <initializer_list>
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

/// One SQLite file written in one transaction (the file is renamed into place only afterwards,
/// so it needs no journal).
class CSqliteFile {
 public:
  CSqliteFile() = default;
  ~CSqliteFile() { Abort(); }
  CSqliteFile(const CSqliteFile&) = delete;
  CSqliteFile& operator=(const CSqliteFile&) = delete;
  /// Creates the file, runs `schema` and begins the transaction.
  [[nodiscard]] bool Open(const std::filesystem::path& path, const char* schema);
  [[nodiscard]] bool Exec(const char* sql);
  [[nodiscard]] sqlite3_stmt* Prepare(const char* sql);
  /// Records SQLite's message (unless one is recorded already); always false.
  bool Fail();
  /// Finalizes `statements`, commits and closes; false when anything failed.
  [[nodiscard]] bool Finish(std::initializer_list<sqlite3_stmt**> statements);
  void Abort(std::initializer_list<sqlite3_stmt**> statements = {});
  [[nodiscard]] sqlite3* db() const { return m_db; }
  [[nodiscard]] const std::string& error() const { return m_error; }

 private:
  sqlite3* m_db = nullptr;
  std::string m_error;
};

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
  [[nodiscard]] const std::string& error() const { return m_file.error(); }
  [[nodiscard]] std::size_t images() const { return m_ids.size(); }

 private:
  CSqliteFile m_file;
  sqlite3_stmt* m_map = nullptr;
  sqlite3_stmt* m_image = nullptr;
  std::map<std::string, std::string> m_ids;  // digest -> tile_id
};

/// A GeoPackage 1.3 holding one tile pyramid (table "map") in a geographic coordinate system:
/// the required tables, the system's definition, the contents row, the tile matrix set and a
/// matrix for each level. Tiles are numbered from the top-left, row 0 at the north.
struct SGpkgSystem {
  int id = 0;                ///< srs_id (the EPSG code)
  std::string name;          ///< srs_name
  std::string definition;    ///< OGC WKT
  std::string description;
};
struct SGpkgLevel {
  int zoom = 0;
  long long width = 0;   ///< tiles across
  long long height = 0;  ///< tiles down
  double pixelX = 0;     ///< degrees a pixel
  double pixelY = 0;
};
class CGeoPackageWriter {
 public:
  CGeoPackageWriter() = default;
  ~CGeoPackageWriter();
  CGeoPackageWriter(const CGeoPackageWriter&) = delete;
  CGeoPackageWriter& operator=(const CGeoPackageWriter&) = delete;

  [[nodiscard]] bool Open(const std::filesystem::path& path);
  /// The system, the contents row (`bounds` of the data: min x, min y, max x, max y) and the
  /// tile matrix set (`matrixSet`, whose top-left corner every level's column 0, row 0 starts at).
  [[nodiscard]] bool Describe(const SGpkgSystem& system, const std::string& identifier, const std::string& description,
                              const double (&bounds)[4], const double (&matrixSet)[4]);
  [[nodiscard]] bool AddLevel(const SGpkgLevel& level);
  [[nodiscard]] bool AddTile(int zoom, long long column, long long row, const std::string& bytes);
  [[nodiscard]] bool Finish();
  void Abort();
  [[nodiscard]] const std::string& error() const { return m_file.error(); }

 private:
  CSqliteFile m_file;
  sqlite3_stmt* m_tile = nullptr;
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
