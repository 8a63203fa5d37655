#include "gps/GarminUnit.h"

#include <QByteArray>
#include <QDir>
#include <QtGlobal>
#include <QStorageInfo>
#include <QString>
#include <QXmlStreamReader>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <system_error>

#include "platform/FileLookup.h"

namespace fs = std::filesystem;

namespace gps {
namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string trimmed(const QString& s) { return s.trimmed().toStdString(); }

std::optional<std::size_t> count(const QString& text) {
  const std::string s = trimmed(text);
  std::size_t value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || value == 0) return std::nullopt;
  return value;
}

/// One <File> of a <DataType>: its <Location> and <TransferDirection>.
SUnitLocation readFile(QXmlStreamReader& xml) {
  SUnitLocation loc;
  int depth = 1;
  QString element;
  while (depth > 0 && !xml.atEnd()) {
    switch (xml.readNext()) {
      case QXmlStreamReader::StartElement: {
        ++depth;
        element = xml.name().toString();
        if (element == u"Path") loc.path = trimmed(xml.readElementText()), --depth;
        else if (element == u"BaseName") loc.baseName = trimmed(xml.readElementText()), --depth;
        else if (element == u"FileExtension") loc.extension = upper(trimmed(xml.readElementText())), --depth;
        else if (element == u"TransferDirection") {
          const QString d = xml.readElementText().trimmed();
          --depth;
          loc.fromUnit = d == u"OutputFromUnit" || d == u"InputOutput";
          loc.toUnit = d == u"InputToUnit" || d == u"InputOutput";
        }
        break;
      }
      case QXmlStreamReader::EndElement: --depth; break;
      default: break;
    }
  }
  // The description writes folders with either separator and sometimes a leading one.
  std::replace(loc.path.begin(), loc.path.end(), '\\', '/');
  while (!loc.path.empty() && loc.path.front() == '/') loc.path.erase(0, 1);
  while (!loc.path.empty() && loc.path.back() == '/') loc.path.pop_back();
  return loc;
}

/// A relative '/'-path that stays inside the volume (no "..", no drive, no empty).
bool insideVolume(const std::string& path) {
  if (path.empty() || path.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part(path.data() + start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

bool isDirectory(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

std::optional<fs::path> existingFolder(const fs::path& root, const std::string& relative) {
  if (!insideVolume(relative)) return std::nullopt;
  auto p = platform::resolveNoCase(root, relative);
  if (p && isDirectory(*p)) return p;
  return std::nullopt;
}

std::int64_t freeBytesOf(const fs::path& root) {
  std::error_code ec;
  const fs::space_info s = fs::space(root, ec);
  if (ec || s.available == static_cast<std::uintmax_t>(-1)) return -1;
  return static_cast<std::int64_t>(std::min<std::uintmax_t>(s.available, INT64_MAX));
}

bool sameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) || a.lexically_normal() == b.lexically_normal();
}

}  // namespace

const char* UnitKindName(EUnitKind kind) { return kind == EUnitKind::Mtp ? "mtp" : "storage"; }

SDeviceXmlResult ParseGarminDeviceXml(std::string_view bytes) {
  SDeviceXmlResult r;
  if (bytes.size() > kMaxDeviceXmlBytes) {
    r.error = "機器の説明ファイル (GarminDevice.xml) が大きすぎます。";
    return r;
  }
  QXmlStreamReader xml(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  bool root = false;
  QString dataType;
  QString parent;
  std::vector<QString> path;
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::StartElement) {
      const QString name = xml.name().toString();
      if (!root) {
        if (name != u"Device") break;
        root = true;
        path.push_back(name);
        continue;
      }
      const QString up = path.back();
      if (name == u"File" && !dataType.isEmpty()) {
        SUnitLocation loc = readFile(xml);
        if (dataType == u"GPSData" && (loc.extension.empty() || loc.extension == "GPX")) {
          if (loc.extension.empty()) loc.extension = "GPX";
          r.info.gpx.push_back(std::move(loc));
        } else if (dataType == u"CustomMaps") {
          if (loc.extension.empty()) loc.extension = "KMZ";
          r.info.customMaps.push_back(std::move(loc));
        }
        continue;
      }
      if (name == u"Name" && up == u"DataType") {
        dataType = xml.readElementText().trimmed();
        continue;
      }
      if (name == u"Description" && up == u"Model") r.info.model = trimmed(xml.readElementText());
      else if (name == u"PartNumber" && up == u"Model") r.info.partNumber = trimmed(xml.readElementText());
      else if (name == u"DisplayName" && up == u"Device") r.info.displayName = trimmed(xml.readElementText());
      else if (name == u"Id" && up == u"Device") r.info.unitId = trimmed(xml.readElementText());
      else if (name == u"MaxTrackPoints") r.info.maxTrackPoints = count(xml.readElementText());
      else if (name == u"MaxCustomMapImages") r.info.maxCustomMapImages = count(xml.readElementText());
      else {
        if (name == u"DataType") dataType.clear();
        path.push_back(name);
      }
    } else if (token == QXmlStreamReader::EndElement) {
      if (!path.empty()) path.pop_back();
      if (xml.name() == u"DataType") dataType.clear();
    }
  }
  if (!root) {
    r.error = "機器の説明ファイル (GarminDevice.xml) の形式が正しくありません。";
  } else if (xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
    r.error = "機器の説明ファイル (GarminDevice.xml) が読めません: " + xml.errorString().toStdString();
  }
  if (!r.ok()) r.info = {};
  return r;
}

std::optional<SGarminUnit> ProbeGarminUnit(const SVolumeCandidate& candidate) {
  const auto garmin = platform::findNoCase(candidate.root, "Garmin");
  if (!garmin || !isDirectory(*garmin)) return std::nullopt;
  SGarminUnit unit;
  unit.root = candidate.root;
  unit.kind = candidate.kind;
  unit.readOnly = candidate.readOnly;
  std::optional<SGarminDeviceInfo> info;
  if (const auto xmlPath = platform::findNoCase(*garmin, "GarminDevice.xml")) {
    if (const auto bytes = platform::readWholeFile(*xmlPath, kMaxDeviceXmlBytes)) {
      SDeviceXmlResult parsed = ParseGarminDeviceXml(*bytes);
      if (parsed.ok()) info = std::move(parsed.info);
    }
  }
  if (!info && candidate.kind == EUnitKind::Storage) return std::nullopt;
  if (info) {
    unit.hasDescription = true;
    unit.model = info->model;
    unit.name = !info->displayName.empty() ? info->displayName : info->model;
    if (info->maxTrackPoints) unit.maxTrackPoints = *info->maxTrackPoints;
    if (info->maxCustomMapImages) unit.maxCustomMapImages = *info->maxCustomMapImages;
    for (const SUnitLocation& loc : info->gpx) {
      const auto folder = existingFolder(candidate.root, loc.path);
      if (!folder) continue;
      if (loc.fromUnit && std::none_of(unit.gpxFolders.begin(), unit.gpxFolders.end(),
                                       [&](const fs::path& f) { return sameFolder(f, *folder); }))
        unit.gpxFolders.push_back(*folder);
      // The folder the unit reads any GPX file from (no fixed base name) takes new files.
      if (loc.toUnit && loc.baseName.empty() && unit.uploadFolder.empty()) unit.uploadFolder = *folder;
    }
    for (const SUnitLocation& loc : info->customMaps)
      if (loc.toUnit && unit.customMapsFolder.empty() && insideVolume(loc.path))
        unit.customMapsFolder = platform::resolveNoCase(candidate.root, loc.path).value_or(candidate.root / loc.path);
  }
  // Units without a description (MTP) and descriptions without folders use the usual layout.
  const fs::path gpx = platform::findNoCase(*garmin, "GPX").value_or(*garmin / "GPX");
  if (unit.gpxFolders.empty()) {
    for (const fs::path& f : {gpx, gpx / "Current", gpx / "Archive"}) {
      const auto found = existingFolder(f.parent_path(), f.filename().string());
      if (found) unit.gpxFolders.push_back(*found);
    }
  }
  // Current and Archive lie below the GPX folder; descriptions name them, but read them always.
  for (const char* sub : {"Current", "Archive"}) {
    const auto found = existingFolder(gpx, sub);
    if (found && std::none_of(unit.gpxFolders.begin(), unit.gpxFolders.end(),
                              [&](const fs::path& f) { return sameFolder(f, *found); }))
      unit.gpxFolders.push_back(*found);
  }
  if (unit.uploadFolder.empty()) unit.uploadFolder = gpx;
  if (unit.customMapsFolder.empty())
    unit.customMapsFolder = platform::findNoCase(*garmin, "CustomMaps").value_or(*garmin / "CustomMaps");
  if (unit.name.empty()) unit.name = candidate.name;
  if (unit.name.empty()) unit.name = platform::pathToUtf8(candidate.root.filename());
  unit.freeBytes = freeBytesOf(candidate.root);
  return unit;
}

std::vector<SGarminUnit> FindGarminUnits(const std::vector<SVolumeCandidate>& candidates) {
  std::vector<SGarminUnit> units;
  for (const SVolumeCandidate& c : candidates) {
    if (std::any_of(units.begin(), units.end(), [&](const SGarminUnit& u) { return sameFolder(u.root, c.root); }))
      continue;
    if (auto unit = ProbeGarminUnit(c)) units.push_back(std::move(*unit));
  }
  return units;
}

std::vector<SVolumeCandidate> MountedVolumeCandidates(const fs::path& gvfsFolder) {
  std::vector<SVolumeCandidate> out;
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
    if (!v.isValid() || !v.isReady()) continue;
    const QByteArray type = v.fileSystemType();
    // Pseudo file systems never hold a unit; GVFS mounts are looked at below, one storage each.
    if (type == "proc" || type == "sysfs" || type == "tmpfs" || type == "devtmpfs" || type == "cgroup2" ||
        type.startsWith("fuse.gvfs"))
      continue;
    out.push_back({platform::pathFromUtf8(v.rootPath().toStdString()), v.displayName().toStdString(),
                   EUnitKind::Storage, v.isReadOnly()});
  }
  fs::path gvfs = gvfsFolder;
  if (gvfs.empty()) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) gvfs = platform::pathFromUtf8(runtime.toStdString()) / "gvfs";
  }
  std::error_code ec;
  if (gvfs.empty() || !fs::is_directory(gvfs, ec)) return out;
  for (fs::directory_iterator it(gvfs, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string mount = platform::pathToUtf8(it->path().filename());
    if (mount.rfind("mtp:", 0) != 0 || !isDirectory(it->path())) continue;
    // An MTP device shows one folder per storage ("Internal Storage", "SD Card").
    std::error_code ec2;
    for (fs::directory_iterator s(it->path(), ec2), send; !ec2 && s != send; s.increment(ec2)) {
      if (!isDirectory(s->path())) continue;
      out.push_back({s->path(), platform::pathToUtf8(s->path().filename()), EUnitKind::Mtp, false});
    }
  }
  return out;
}

std::vector<SGarminUnit> FindMountedGarminUnits() { return FindGarminUnits(MountedVolumeCandidates()); }

SUnitLookup LookUpGarminUnit(const std::string& spec, const std::vector<SGarminUnit>& listed) {
  SUnitLookup r;
  if (spec.empty()) {
    r.error = "no device given";
    return r;
  }
  const auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (const SGarminUnit& u : listed)
    if (lower(u.name) == lower(spec)) {
      r.unit = u;
      return r;
    }
  fs::path p = platform::pathFromUtf8(spec);
  if (!isDirectory(p)) {
    r.error = "no Garmin unit named or mounted at " + spec;
    return r;
  }
  // The Garmin folder itself stands for its volume.
  if (lower(platform::pathToUtf8(p.lexically_normal().filename())) == "garmin") p = p.lexically_normal().parent_path();
  for (const SGarminUnit& u : listed)
    if (sameFolder(u.root, p)) {
      r.unit = u;
      return r;
    }
  const bool mtp = platform::pathToUtf8(p).find("/gvfs/mtp:") != std::string::npos;
  r.unit = ProbeGarminUnit({p, {}, mtp ? EUnitKind::Mtp : EUnitKind::Storage, false});
  if (!r.unit) r.error = spec + " holds no Garmin unit (no Garmin/GarminDevice.xml)";
  return r;
}

}  // namespace gps
