#include "tiles/TileWriters.h"

#include <sqlite3.h>
#include <zlib.h>

#include <QCryptographicHash>
#include <QByteArray>
#include <cstdio>
#include <random>

#include "platform/AtomicFile.h"
#include "platform/FileLookup.h"

namespace tiles {

std::filesystem::path TemporaryBeside(const std::filesystem::path& target) {
  std::random_device rd;
  char tag[16];
  std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(rd()));
  std::filesystem::path p = target;
  p += std::string(".") + tag + ".part";
  return p;
}

bool PublishFile(const std::filesystem::path& temporary, const std::filesystem::path& target, bool replace,
                 std::string& reason) {
  const platform::SFileWriteResult r =
      platform::publishFile(temporary, target, replace ? platform::EReplace::Replace : platform::EReplace::NoReplace);
  reason = r.reason;
  return r.ok;
}

// ---- one SQLite file ----

bool CSqliteFile::Fail() {
  if (m_error.empty()) m_error = m_db ? sqlite3_errmsg(m_db) : "cannot open the database";
  return false;
}

bool CSqliteFile::Exec(const char* sql) {
  if (!m_db) return Fail();
  char* message = nullptr;
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (m_error.empty()) m_error = message ? message : "SQLite error";
  sqlite3_free(message);
  return false;
}

sqlite3_stmt* CSqliteFile::Prepare(const char* sql) {
  sqlite3_stmt* st = nullptr;
  if (!m_db || sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
    (void)Fail();
    return nullptr;
  }
  return st;
}

bool CSqliteFile::Open(const std::filesystem::path& path, const char* schema) {
  const std::string utf8 = platform::pathToUtf8(path);
  if (sqlite3_open_v2(utf8.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) return Fail();
  return Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=4096;") && Exec(schema) && Exec("BEGIN;");
}

bool CSqliteFile::Finish(std::initializer_list<sqlite3_stmt**> statements) {
  if (!m_db) return Fail();
  for (sqlite3_stmt** st : statements) {
    sqlite3_finalize(*st);
    *st = nullptr;
  }
  const bool ok = m_error.empty() && Exec("COMMIT;");
  const bool closed = sqlite3_close(m_db) == SQLITE_OK;
  m_db = nullptr;
  if (ok && !closed) m_error = "cannot close the database";
  return ok && closed;
}

void CSqliteFile::Abort(std::initializer_list<sqlite3_stmt**> statements) {
  for (sqlite3_stmt** st : statements) {
    sqlite3_finalize(*st);
    *st = nullptr;
  }
  if (!m_db) return;
  sqlite3_close(m_db);
  m_db = nullptr;
}

// ---- MBTiles ----

CMbtilesWriter::~CMbtilesWriter() { Abort(); }

bool CMbtilesWriter::Open(const std::filesystem::path& path) {
  if (!m_file.Open(path,
                   "CREATE TABLE metadata (name TEXT, value TEXT);"
                   "CREATE UNIQUE INDEX name ON metadata (name);"
                   "CREATE TABLE map (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_id TEXT);"
                   "CREATE UNIQUE INDEX map_index ON map (zoom_level, tile_column, tile_row);"
                   "CREATE TABLE images (tile_data BLOB, tile_id TEXT);"
                   "CREATE UNIQUE INDEX images_id ON images (tile_id);"
                   "CREATE VIEW tiles AS SELECT map.zoom_level AS zoom_level, map.tile_column AS tile_column,"
                   " map.tile_row AS tile_row, images.tile_data AS tile_data FROM map JOIN images ON images.tile_id = map.tile_id;"))
    return false;
  m_map = m_file.Prepare("INSERT INTO map VALUES (?, ?, ?, ?)");
  m_image = m_file.Prepare("INSERT INTO images VALUES (?, ?)");
  return m_map && m_image;
}

void CMbtilesWriter::SetMetadata(const std::string& name, const std::string& value) {
  sqlite3_stmt* st = m_file.Prepare("INSERT OR REPLACE INTO metadata VALUES (?, ?)");
  if (!st) return;
  sqlite3_bind_text(st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(st) != SQLITE_DONE) (void)m_file.Fail();
  sqlite3_finalize(st);
}

bool CMbtilesWriter::AddTile(int zoom, int x, int y, const std::string& bytes) {
  if (!m_map || !m_image) return m_file.Fail();
  const QByteArray digest =
      QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Sha1)
          .toHex();
  const std::string id = digest.toStdString();
  if (m_ids.emplace(id, id).second) {
    sqlite3_reset(m_image);
    sqlite3_bind_blob(m_image, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_image, 2, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
    if (sqlite3_step(m_image) != SQLITE_DONE) return m_file.Fail();
  }
  const int tmsRow = (1 << zoom) - 1 - y;
  sqlite3_reset(m_map);
  sqlite3_bind_int(m_map, 1, zoom);
  sqlite3_bind_int(m_map, 2, x);
  sqlite3_bind_int(m_map, 3, tmsRow);
  sqlite3_bind_text(m_map, 4, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
  return sqlite3_step(m_map) == SQLITE_DONE || m_file.Fail();
}

bool CMbtilesWriter::Finish() { return m_file.Finish({&m_map, &m_image}); }

void CMbtilesWriter::Abort() { m_file.Abort({&m_map, &m_image}); }

// ---- GeoPackage ----

CGeoPackageWriter::~CGeoPackageWriter() { Abort(); }

bool CGeoPackageWriter::Open(const std::filesystem::path& path) {
  // 0x47504B47 is "GPKG"; 10300 is version 1.3.0.
  if (!m_file.Open(path,
                   "PRAGMA application_id = 1196444487; PRAGMA user_version = 10300;"
                   "CREATE TABLE gpkg_spatial_ref_sys (srs_name TEXT NOT NULL, srs_id INTEGER NOT NULL PRIMARY KEY,"
                   " organization TEXT NOT NULL, organization_coordsys_id INTEGER NOT NULL, definition TEXT NOT NULL,"
                   " description TEXT);"
                   "CREATE TABLE gpkg_contents (table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT NULL,"
                   " identifier TEXT UNIQUE, description TEXT DEFAULT '',"
                   " last_change DATETIME NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')),"
                   " min_x DOUBLE, min_y DOUBLE, max_x DOUBLE, max_y DOUBLE, srs_id INTEGER,"
                   " CONSTRAINT fk_gc_r_srs_id FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys(srs_id));"
                   "CREATE TABLE gpkg_tile_matrix_set (table_name TEXT NOT NULL PRIMARY KEY, srs_id INTEGER NOT NULL,"
                   " min_x DOUBLE NOT NULL, min_y DOUBLE NOT NULL, max_x DOUBLE NOT NULL, max_y DOUBLE NOT NULL,"
                   " CONSTRAINT fk_gtms_table_name FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name),"
                   " CONSTRAINT fk_gtms_srs FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys (srs_id));"
                   "CREATE TABLE gpkg_tile_matrix (table_name TEXT NOT NULL, zoom_level INTEGER NOT NULL,"
                   " matrix_width INTEGER NOT NULL, matrix_height INTEGER NOT NULL, tile_width INTEGER NOT NULL,"
                   " tile_height INTEGER NOT NULL, pixel_x_size DOUBLE NOT NULL, pixel_y_size DOUBLE NOT NULL,"
                   " CONSTRAINT pk_ttm PRIMARY KEY (table_name, zoom_level),"
                   " CONSTRAINT fk_tmm_table_name FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name));"
                   "CREATE TABLE map (id INTEGER PRIMARY KEY AUTOINCREMENT, zoom_level INTEGER NOT NULL,"
                   " tile_column INTEGER NOT NULL, tile_row INTEGER NOT NULL, tile_data BLOB NOT NULL,"
                   " UNIQUE (zoom_level, tile_column, tile_row));"
                   "INSERT INTO gpkg_spatial_ref_sys VALUES ('Undefined cartesian SRS', -1, 'NONE', -1, 'undefined',"
                   " 'undefined cartesian coordinate reference system');"
                   "INSERT INTO gpkg_spatial_ref_sys VALUES ('Undefined geographic SRS', 0, 'NONE', 0, 'undefined',"
                   " 'undefined geographic coordinate reference system');"
                   "INSERT INTO gpkg_spatial_ref_sys VALUES ('WGS 84 geodetic', 4326, 'EPSG', 4326,"
                   " 'GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
                   "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433],AUTHORITY[\"EPSG\",\"4326\"]]',"
                   " 'longitude/latitude coordinates in decimal degrees on the WGS 84 spheroid');"))
    return false;
  m_tile = m_file.Prepare("INSERT INTO map (zoom_level, tile_column, tile_row, tile_data) VALUES (?, ?, ?, ?)");
  return m_tile != nullptr;
}

bool CGeoPackageWriter::Describe(const SGpkgSystem& system, const std::string& identifier,
                                 const std::string& description, const double (&bounds)[4],
                                 const double (&matrixSet)[4]) {
  sqlite3_stmt* srs = m_file.Prepare("INSERT OR REPLACE INTO gpkg_spatial_ref_sys VALUES (?, ?, 'EPSG', ?, ?, ?)");
  sqlite3_stmt* contents = m_file.Prepare(
      "INSERT INTO gpkg_contents (table_name, data_type, identifier, description, min_x, min_y, max_x, max_y, srs_id)"
      " VALUES ('map', 'tiles', ?, ?, ?, ?, ?, ?, ?)");
  sqlite3_stmt* set = m_file.Prepare("INSERT INTO gpkg_tile_matrix_set VALUES ('map', ?, ?, ?, ?, ?)");
  bool ok = srs && contents && set;
  if (ok) {
    sqlite3_bind_text(srs, 1, system.name.data(), static_cast<int>(system.name.size()), SQLITE_STATIC);
    sqlite3_bind_int(srs, 2, system.id);
    sqlite3_bind_int(srs, 3, system.id);
    sqlite3_bind_text(srs, 4, system.definition.data(), static_cast<int>(system.definition.size()), SQLITE_STATIC);
    sqlite3_bind_text(srs, 5, system.description.data(), static_cast<int>(system.description.size()), SQLITE_STATIC);
    sqlite3_bind_text(contents, 1, identifier.data(), static_cast<int>(identifier.size()), SQLITE_STATIC);
    sqlite3_bind_text(contents, 2, description.data(), static_cast<int>(description.size()), SQLITE_STATIC);
    sqlite3_bind_int(set, 1, system.id);
    for (int i = 0; i < 4; ++i) {
      sqlite3_bind_double(contents, 3 + i, bounds[i]);
      sqlite3_bind_double(set, 2 + i, matrixSet[i]);
    }
    sqlite3_bind_int(contents, 7, system.id);
    ok = sqlite3_step(srs) == SQLITE_DONE && sqlite3_step(contents) == SQLITE_DONE && sqlite3_step(set) == SQLITE_DONE;
  }
  sqlite3_finalize(srs);
  sqlite3_finalize(contents);
  sqlite3_finalize(set);
  return ok || m_file.Fail();
}

bool CGeoPackageWriter::AddLevel(const SGpkgLevel& level) {
  sqlite3_stmt* st = m_file.Prepare("INSERT INTO gpkg_tile_matrix VALUES ('map', ?, ?, ?, 256, 256, ?, ?)");
  if (!st) return false;
  sqlite3_bind_int(st, 1, level.zoom);
  sqlite3_bind_int64(st, 2, level.width);
  sqlite3_bind_int64(st, 3, level.height);
  sqlite3_bind_double(st, 4, level.pixelX);
  sqlite3_bind_double(st, 5, level.pixelY);
  const bool ok = sqlite3_step(st) == SQLITE_DONE;
  sqlite3_finalize(st);
  return ok || m_file.Fail();
}

bool CGeoPackageWriter::AddTile(int zoom, long long column, long long row, const std::string& bytes) {
  if (!m_tile) return m_file.Fail();
  sqlite3_reset(m_tile);
  sqlite3_bind_int(m_tile, 1, zoom);
  sqlite3_bind_int64(m_tile, 2, column);
  sqlite3_bind_int64(m_tile, 3, row);
  sqlite3_bind_blob(m_tile, 4, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
  return sqlite3_step(m_tile) == SQLITE_DONE || m_file.Fail();
}

bool CGeoPackageWriter::Finish() { return m_file.Finish({&m_tile}); }

void CGeoPackageWriter::Abort() { m_file.Abort({&m_tile}); }

namespace {
void put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& s, std::uint32_t v) {
  put16(s, v & 0xffff);
  put16(s, v >> 16);
}
}  // namespace

CZipWriter::~CZipWriter() {
  if (m_file) std::fclose(m_file);
}

bool CZipWriter::Open(const std::filesystem::path& path) {
  m_file = std::fopen(path.string().c_str(), "wb");
  if (!m_file) m_error = "cannot create " + platform::pathToUtf8(path);
  return m_file != nullptr;
}

bool CZipWriter::write(const std::string& bytes) {
  if (!m_file || std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
    if (m_error.empty()) m_error = "cannot write the archive (the disk may be full)";
    return false;
  }
  m_offset += bytes.size();
  return true;
}

bool CZipWriter::Add(const std::string& name, const std::string& bytes) {
  // Plain zip (no zip64): entries and the archive stay below 4 GiB.
  if (m_offset + bytes.size() + name.size() + 64 > 0xFFFFFFF0ull || m_entries.size() >= 0xFFFF) {
    m_error = "the archive would exceed 4 GiB or 65535 entries";
    return false;
  }
  SEntry e;
  e.name = name;
  e.crc = static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
  e.size = static_cast<std::uint32_t>(bytes.size());
  e.offset = static_cast<std::uint32_t>(m_offset);
  std::string h;
  put32(h, 0x04034b50u);
  put16(h, 20), put16(h, 0x0800), put16(h, 0);  // version, UTF-8 names, stored
  put16(h, 0), put16(h, 0x21);                  // 1980-01-01 00:00
  put32(h, e.crc), put32(h, e.size), put32(h, e.size);
  put16(h, static_cast<std::uint32_t>(name.size())), put16(h, 0);
  h += name;
  if (!write(h) || !write(bytes)) return false;
  m_entries.push_back(std::move(e));
  return true;
}

bool CZipWriter::Finish() {
  std::string cd;
  for (const SEntry& e : m_entries) {
    put32(cd, 0x02014b50u);
    put16(cd, 20), put16(cd, 20), put16(cd, 0x0800), put16(cd, 0);
    put16(cd, 0), put16(cd, 0x21);
    put32(cd, e.crc), put32(cd, e.size), put32(cd, e.size);
    put16(cd, static_cast<std::uint32_t>(e.name.size())), put16(cd, 0), put16(cd, 0);
    put16(cd, 0), put16(cd, 0), put32(cd, 0), put32(cd, e.offset);
    cd += e.name;
  }
  const auto cdOffset = static_cast<std::uint32_t>(m_offset);
  std::string end;
  put32(end, 0x06054b50u);
  put16(end, 0), put16(end, 0);
  put16(end, static_cast<std::uint32_t>(m_entries.size())), put16(end, static_cast<std::uint32_t>(m_entries.size()));
  put32(end, static_cast<std::uint32_t>(cd.size())), put32(end, cdOffset), put16(end, 0);
  const bool ok = write(cd) && write(end);
  const bool closed = m_file && std::fclose(m_file) == 0;
  m_file = nullptr;
  if (ok && !closed && m_error.empty()) m_error = "cannot close the archive (the disk may be full)";
  return ok && closed;
}

}  // namespace tiles
