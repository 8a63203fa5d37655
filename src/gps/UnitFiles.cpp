#include "gps/UnitFiles.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <system_error>

#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "trek/CMarkerPoint.h"
#include "trek/CRoute.h"
#include "trek/CTrackLog.h"
#include "trek/GpxFile.h"
#include "trek/TrackEdits.h"
#include "trek/TrekFile.h"

namespace fs = std::filesystem;

namespace gps {
namespace {

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool isGpxName(const fs::path& p) { return lowerAscii(platform::pathToUtf8(p.extension())) == ".gpx"; }

std::int64_t modifiedUnix(const fs::path& p) {
  std::error_code ec;
  const auto t = fs::last_write_time(p, ec);
  if (ec) return 0;
  const auto sys = std::chrono::file_clock::to_sys(t);
  return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

std::string relativeTo(const fs::path& p, const fs::path& root) {
  std::error_code ec;
  fs::path rel = fs::relative(p, root, ec);
  if (ec || rel.empty()) rel = p.filename();
  return platform::pathToUtf8(rel.generic_string());
}

SUnitWriteResult failed(const std::string& message) {
  SUnitWriteResult r;
  r.message = message;
  return r;
}

std::string spaceMessage(const SGarminUnit& unit) {
  return "機器「" + unit.name + "」の空き容量が足りません。";
}

std::string goneMessage(const SGarminUnit& unit) {
  return "機器「" + unit.name + "」が見つかりません。取り外されたか、接続が切れた可能性があります。";
}

/// `stem` + ext, then stem_2 + ext... : the first name no entry of `folder` has (ignoring case).
fs::path freeName(const fs::path& folder, const std::string& stem, const std::string& ext, int attempt) {
  const std::string name = attempt <= 1 ? stem + ext : stem + "_" + std::to_string(attempt) + ext;
  return folder / platform::pathFromUtf8(name);
}

bool readBackEquals(const fs::path& p, const std::string& bytes) {
  const auto back = platform::readWholeFile(p, bytes.size() + 1);
  return back && *back == bytes;
}

/// Writes `bytes` as a new file in `folder` named stem(+number)+ext. `mtpFallback`: when the
/// write beside and rename fails, write the file directly and verify it by reading it back.
SUnitWriteResult writeNewFile(const SGarminUnit& unit, const fs::path& folder, const std::string& stem,
                              const std::string& ext, const std::string& bytes) {
  if (unit.readOnly) return failed("機器「" + unit.name + "」は読み取り専用です。書き込めません。");
  std::error_code ec;
  // Only the last folder is made: when more is missing the unit has gone, and its empty mount
  // point must not fill up with folders on the computer's own disk.
  if (!fs::is_directory(folder, ec)) {
    if (!fs::is_directory(folder.parent_path(), ec)) return failed(goneMessage(unit));
    fs::create_directory(folder, ec);
    if (ec || !fs::is_directory(folder, ec))
      return failed("機器「" + unit.name + "」のフォルダ " + platform::pathToUtf8(folder) + " を作成できません。");
  }
  if (unit.freeBytes >= 0 && static_cast<std::uint64_t>(unit.freeBytes) < bytes.size()) return failed(spaceMessage(unit));
  constexpr int kMaxAttempts = 999;
  for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    const fs::path target = freeName(folder, stem, ext, attempt);
    // A name taken in any case is taken: the units' FAT volumes ignore case.
    if (platform::findNoCase(folder, platform::pathToUtf8(target.filename()))) continue;
    const STrekWriteResult w = WriteFileAtomic(
        target,
        [&](QIODevice& d) { return d.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()); },
        platform::EReplace::NoReplace);
    if (w.status == ETrekWriteStatus::Exists) continue;
    if (w.ok()) {
      SUnitWriteResult r;
      r.ok = true;
      r.path = target;
      return r;
    }
    if (unit.kind == EUnitKind::Mtp && !fs::exists(target, ec)) {
      // MTP folders may refuse the rename: write the file itself, then check every byte.
      {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (out && readBackEquals(target, bytes)) {
          SUnitWriteResult r;
          r.ok = true;
          r.path = target;
          return r;
        }
      }
      fs::remove(target, ec);
    }
    if (!fs::is_directory(folder, ec)) return failed(goneMessage(unit));
    const std::string reason = w.reason.empty() ? std::string() : "\r\n(" + w.reason + ")";
    return failed("機器「" + unit.name + "」へ書き込めませんでした。機器が取り外されたか、空き容量が足りない可能性があります。" + reason);
  }
  return failed("機器「" + unit.name + "」のフォルダに同じ名前のファイルが多すぎます。");
}

std::uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::vector<fs::path> ListUnitGpxFiles(const SGarminUnit& unit) {
  std::vector<fs::path> out;
  for (const fs::path& folder : unit.gpxFolders) {
    std::vector<fs::path> here;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code e2;
      if (!isGpxName(it->path()) || !it->is_regular_file(e2)) continue;
      here.push_back(it->path());
    }
    std::sort(here.begin(), here.end());
    if (here.size() > kMaxUnitFilesPerFolder) here.resize(kMaxUnitFilesPerFolder);
    for (fs::path& p : here) {
      if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(std::move(p));
    }
  }
  // Current.gpx, the unit's day so far, comes first.
  std::stable_partition(out.begin(), out.end(),
                        [](const fs::path& p) { return lowerAscii(platform::pathToUtf8(p.filename())) == "current.gpx"; });
  return out;
}

SUnitContents ReadUnitContents(const SGarminUnit& unit, const std::function<bool(double)>& progress) {
  SUnitContents c;
  c.waypoints->SetKind(CTrekData::kWaypointGroup);
  c.tracks->SetKind(CTrekData::kTrackLogGroup);
  const std::vector<fs::path> files = ListUnitGpxFiles(unit);
  for (std::size_t i = 0; i < files.size(); ++i) {
    SUnitGpxFile f;
    f.path = files[i];
    f.relative = relativeTo(files[i], unit.root);
    f.modified = modifiedUnix(files[i]);
    SGpxReadResult r = ReadGpxFile(files[i]);
    if (!r.ok()) {
      f.error = r.error;
    } else {
      if (r.waypoints) {
        f.waypoints = r.waypoints->Waypoints().size();
        for (auto& w : r.waypoints->Waypoints()) c.waypoints->Waypoints().push_back(std::move(w));
      }
      if (r.tracks) {
        f.trackLogs = r.tracks->TrackLogs().size();
        for (auto& t : r.tracks->TrackLogs()) {
          f.trackPoints += t->Points().size();
          c.tracks->TrackLogs().push_back(std::move(t));
        }
      }
    }
    c.files.push_back(std::move(f));
    if (progress && !progress(static_cast<double>(i + 1) / static_cast<double>(files.size()))) break;
  }
  return c;
}

std::vector<std::size_t> LongTrackLogs(const CTrekData& group, std::size_t limit) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < group.TrackLogs().size(); ++i)
    if (group.TrackLogs()[i]->Points().size() > limit) out.push_back(i);
  return out;
}

std::vector<CTrackLog> SplitTrackLog(const CTrackLog& log, std::size_t limit) {
  limit = std::max<std::size_t>(limit, 2);
  const auto& pts = log.Points();
  std::vector<CTrackLog> parts;
  if (pts.size() <= limit) {
    parts.push_back(log);
    return parts;
  }
  std::size_t start = 0;
  int n = 1;
  while (start + 1 < pts.size()) {
    const std::size_t end = std::min(start + limit, pts.size());  // one past the last point of the part
    CTrackLog part(log);
    part.Points().assign(pts.begin() + static_cast<std::ptrdiff_t>(start), pts.begin() + static_cast<std::ptrdiff_t>(end));
    part.name = log.name + "-" + std::to_string(n++);
    parts.push_back(std::move(part));
    if (end == pts.size()) break;
    start = end - 1;
  }
  return parts;
}

std::unique_ptr<CTrekData> PrepareForUnit(const CTrekData& group, std::size_t limit, ELongLog how) {
  auto out = std::make_unique<CTrekData>();
  out->SetKind(group.Kind());
  out->SetGroupName(group.GroupName());
  for (const auto& w : group.Waypoints()) out->Waypoints().push_back(std::make_unique<CMarkerPoint>(*w));
  for (const auto& r : group.Routes()) out->Routes().push_back(std::make_unique<CRoute>(*r));
  for (const auto& t : group.TrackLogs()) {
    if (t->Points().size() <= limit || how == ELongLog::Keep) {
      out->TrackLogs().push_back(std::make_unique<CTrackLog>(*t));
    } else if (how == ELongLog::Split) {
      for (CTrackLog& part : SplitTrackLog(*t, limit)) out->TrackLogs().push_back(std::make_unique<CTrackLog>(std::move(part)));
    } else {
      auto thin = std::make_unique<CTrackLog>(*t);
      trek::ApplyThin(*thin, trek::PlanThinToCount(t->Points(), limit));
      out->TrackLogs().push_back(std::move(thin));
    }
  }
  return out;
}

std::string UnitFileStem(const std::string& groupNameUtf8) {
  std::string out;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < groupNameUtf8.size() && chars < 64;) {
    const unsigned char c = static_cast<unsigned char>(groupNameUtf8[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + len > groupNameUtf8.size()) len = 1;
    if (len == 1 && (c < 0x20 || c >= 0x80 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos))
      out += '_';
    else
      out.append(groupNameUtf8, i, len);
    i += len;
    ++chars;
  }
  // Names that end in a dot or a space, or are dots only, are refused by FAT volumes.
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(0, 1);
  if (out.empty()) out = "Vantoria";
  return out;
}

SUnitWriteResult WriteGroupToUnit(const SGarminUnit& unit, const CTrekData& group) {
  const std::string bytes = WriteGpxBytes(group);
  return writeNewFile(unit, unit.uploadFolder, UnitFileStem(platform::cp932::toUtf8Lossy(group.GroupName())), ".gpx",
                      bytes);
}

long long CountKmzImages(const fs::path& kmz) {
  std::ifstream in(kmz, std::ios::binary);
  if (!in) return -1;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 22) return -1;
  // The end record lies within the last 64 KiB + 22 bytes (its comment is at most 64 KiB).
  const std::streamoff tail = std::min<std::streamoff>(size, 65535 + 22);
  std::vector<unsigned char> buf(static_cast<std::size_t>(tail));
  in.seekg(size - tail);
  in.read(reinterpret_cast<char*>(buf.data()), tail);
  if (!in) return -1;
  std::ptrdiff_t eocd = -1;
  for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(buf.size()) - 22; i >= 0; --i)
    if (le32(&buf[static_cast<std::size_t>(i)]) == 0x06054b50u) {
      eocd = i;
      break;
    }
  if (eocd < 0) return -1;
  const unsigned char* e = &buf[static_cast<std::size_t>(eocd)];
  const std::uint32_t entries = le16(e + 10);
  const std::uint32_t cdSize = le32(e + 12);
  const std::uint32_t cdOffset = le32(e + 16);
  if (static_cast<std::streamoff>(cdOffset) + cdSize > size || cdSize > 64u * 1024u * 1024u) return -1;
  std::vector<unsigned char> cd(cdSize);
  in.seekg(cdOffset);
  in.read(reinterpret_cast<char*>(cd.data()), cdSize);
  if (!in) return -1;
  long long images = 0;
  std::size_t pos = 0;
  for (std::uint32_t n = 0; n < entries; ++n) {
    if (pos + 46 > cd.size() || le32(&cd[pos]) != 0x02014b50u) return -1;
    const std::size_t nameLen = le16(&cd[pos + 28]);
    const std::size_t extra = le16(&cd[pos + 30]);
    const std::size_t comment = le16(&cd[pos + 32]);
    if (pos + 46 + nameLen > cd.size()) return -1;
    const std::string name = lowerAscii(std::string(reinterpret_cast<const char*>(&cd[pos + 46]), nameLen));
    const auto endsWith = [&](std::string_view s) {
      return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
    };
    if (endsWith(".jpg") || endsWith(".jpeg")) ++images;
    pos += 46 + nameLen + extra + comment;
  }
  return images;
}

SUnitWriteResult CopyCustomMapToUnit(const SGarminUnit& unit, const fs::path& kmz) {
  const long long images = CountKmzImages(kmz);
  if (images < 0) return failed(platform::pathToUtf8(kmz.filename()) + " はカスタムマップ (KMZ) ではありません。");
  if (static_cast<unsigned long long>(images) > unit.maxCustomMapImages)
    return failed("カスタムマップの画像が " + std::to_string(images) + " 枚あります。機器「" + unit.name + "」に表示できるのは " +
                  std::to_string(unit.maxCustomMapImages) + " 枚までです。");
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(kmz, ec);
  if (ec || size > 4ull * 1024 * 1024 * 1024) return failed(platform::pathToUtf8(kmz) + " を読めません。");
  if (unit.freeBytes >= 0 && static_cast<std::uintmax_t>(unit.freeBytes) < size) return failed(spaceMessage(unit));
  const auto bytes = platform::readWholeFile(kmz, static_cast<std::size_t>(size));
  if (!bytes) return failed(platform::pathToUtf8(kmz) + " を読めません。");
  std::string stem = platform::pathToUtf8(kmz.stem());
  return writeNewFile(unit, unit.customMapsFolder, UnitFileStem(stem), ".kmz", *bytes);
}

std::string UnitWrittenMessage(const SGarminUnit& unit, const std::vector<fs::path>& files) {
  std::string text = "機器「" + unit.name + "」へ書き込みました:";
  for (const fs::path& f : files) text += "\r\n  " + relativeTo(f, unit.root);
  text += "\r\n\r\nケーブルを抜く前に、機器の取り出し（アンマウント）を行って下さい。";
  return text;
}

}  // namespace gps
