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

CMbtilesWriter::~CMbtilesWriter() { Abort(); }

bool CMbtilesWriter::fail() {
  if (m_error.empty()) m_error = m_db ? sqlite3_errmsg(m_db) : "cannot open the database";
  return false;
}

bool CMbtilesWriter::exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  m_error = message ? message : "SQLite error";
  sqlite3_free(message);
  return false;
}

bool CMbtilesWriter::Open(const std::filesystem::path& path) {
  const std::string utf8 = platform::pathToUtf8(path);
  if (sqlite3_open_v2(utf8.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) return fail();
  // One transaction for the whole file, which is renamed into place only afterwards: no journal
  // is needed for safety.
  return exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=4096;"
              "CREATE TABLE metadata (name TEXT, value TEXT);"
              "CREATE UNIQUE INDEX name ON metadata (name);"
              "CREATE TABLE map (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_id TEXT);"
              "CREATE UNIQUE INDEX map_index ON map (zoom_level, tile_column, tile_row);"
              "CREATE TABLE images (tile_data BLOB, tile_id TEXT);"
              "CREATE UNIQUE INDEX images_id ON images (tile_id);"
              "CREATE VIEW tiles AS SELECT map.zoom_level AS zoom_level, map.tile_column AS tile_column,"
              " map.tile_row AS tile_row, images.tile_data AS tile_data FROM map JOIN images ON images.tile_id = map.tile_id;"
              "BEGIN;") &&
         (sqlite3_prepare_v2(m_db, "INSERT INTO map VALUES (?, ?, ?, ?)", -1, &m_map, nullptr) == SQLITE_OK || fail()) &&
         (sqlite3_prepare_v2(m_db, "INSERT INTO images VALUES (?, ?)", -1, &m_image, nullptr) == SQLITE_OK || fail());
}

void CMbtilesWriter::SetMetadata(const std::string& name, const std::string& value) {
  if (!m_db) return;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(m_db, "INSERT OR REPLACE INTO metadata VALUES (?, ?)", -1, &st, nullptr) != SQLITE_OK) return;
  sqlite3_bind_text(st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(st) != SQLITE_DONE) (void)fail();
  sqlite3_finalize(st);
}

bool CMbtilesWriter::AddTile(int zoom, int x, int y, const std::string& bytes) {
  if (!m_db || !m_map || !m_image) return fail();
  const QByteArray digest =
      QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Sha1)
          .toHex();
  const std::string id = digest.toStdString();
  if (m_ids.emplace(id, id).second) {
    sqlite3_reset(m_image);
    sqlite3_bind_blob(m_image, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_image, 2, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
    if (sqlite3_step(m_image) != SQLITE_DONE) return fail();
  }
  const int tmsRow = (1 << zoom) - 1 - y;
  sqlite3_reset(m_map);
  sqlite3_bind_int(m_map, 1, zoom);
  sqlite3_bind_int(m_map, 2, x);
  sqlite3_bind_int(m_map, 3, tmsRow);
  sqlite3_bind_text(m_map, 4, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
  return sqlite3_step(m_map) == SQLITE_DONE || fail();
}

bool CMbtilesWriter::Finish() {
  if (!m_db) return fail();
  sqlite3_finalize(m_map);
  sqlite3_finalize(m_image);
  m_map = m_image = nullptr;
  const bool ok = m_error.empty() && exec("COMMIT;");
  if (sqlite3_close(m_db) != SQLITE_OK && ok) {
    m_error = "cannot close the database";
    m_db = nullptr;
    return false;
  }
  m_db = nullptr;
  return ok;
}

void CMbtilesWriter::Abort() {
  if (!m_db) return;
  sqlite3_finalize(m_map);
  sqlite3_finalize(m_image);
  m_map = m_image = nullptr;
  sqlite3_close(m_db);
  m_db = nullptr;
}

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
