// Garmin units mounted as folders (USB storage, MTP through the desktop): list them, take their
// waypoints and track logs, put a trek file or a custom map on them.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "CliCommand.h"
#include "Json.h"
#include "gps/GarminUnit.h"
#include "gps/UnitFiles.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/GpxFile.h"
#include "trek/TrekFile.h"

namespace {

namespace fs = std::filesystem;

std::string lowerExt(const fs::path& p) {
  std::string e = platform::pathToUtf8(p.extension());
  for (char& c : e)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return e;
}

void unitJson(cli::CJsonWriter& json, const gps::SGarminUnit& u) {
  json.beginObject();
  json.field("name", u.name);
  json.field("model", u.model);
  json.field("path", platform::pathToUtf8(u.root));
  json.field("kind", gps::UnitKindName(u.kind));
  json.field("freeBytes", static_cast<long long>(u.freeBytes));
  json.field("readOnly", u.readOnly);
  json.field("maxTrackPoints", static_cast<long long>(u.maxTrackPoints));
  json.endObject();
}

std::optional<gps::SGarminUnit> unitOf(const std::string& spec, const char* command, int& rc) {
  gps::SUnitLookup found = gps::LookUpGarminUnit(spec, gps::FindMountedGarminUnits());
  if (!found.unit) rc = cli::fail(std::string(command) + ": " + found.error);
  return found.unit;
}

int runList(cli::SCliContext& ctx) {
  if (!ctx.args.empty()) return cli::fail("device list: unexpected argument '" + ctx.args[0] + "'");
  cli::CJsonWriter json;
  json.beginObject();
  json.key("devices").beginArray();
  for (const gps::SGarminUnit& u : gps::FindMountedGarminUnits()) unitJson(json, u);
  json.endArray();
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runDownload(cli::SCliContext& ctx) {
  const bool force = cli::takeFlag(ctx.args, "--force");
  bool waypoints = cli::takeFlag(ctx.args, "--waypoints");
  bool tracks = cli::takeFlag(ctx.args, "--tracks");
  std::string out;
  if (!cli::takeOption(ctx.args, "-o", out) && !cli::takeOption(ctx.args, "--output", out))
    return cli::fail("device download: -o FILE is required");
  if (ctx.args.size() != 1) return cli::fail("device download: expected DEVICE");
  const fs::path path = platform::pathFromUtf8(out);
  const std::string ext = lowerExt(path);
  // A trek file holds one kind; a GPX file may hold both.
  if (ext == ".pmd" || ext == ".ptd") {
    if (waypoints && tracks) return cli::fail("device download: a " + ext + " file holds one kind");
    if (!waypoints && !tracks) waypoints = ext == ".pmd", tracks = ext == ".ptd";
    if ((ext == ".pmd") != waypoints) return cli::fail("device download: " + ext + " does not hold that kind");
  } else if (ext != ".gpx") {
    return cli::fail("device download: FILE must end in .gpx, .pmd or .ptd");
  } else if (!waypoints && !tracks) {
    waypoints = tracks = true;
  }
  std::error_code ec;
  if (!force && fs::exists(path, ec)) return cli::fail("device download: " + out + " exists (use --force to overwrite)");
  int rc = 0;
  const auto unit = unitOf(ctx.args[0], "device download", rc);
  if (!unit) return rc;

  gps::SUnitContents contents = gps::ReadUnitContents(*unit);
  CTrekData group;
  group.SetKind(waypoints && !tracks ? CTrekData::kWaypointGroup : CTrekData::kTrackLogGroup);
  if (ext == ".gpx" && waypoints && tracks) group.SetKind(CTrekData::kWaypointGroup);
  const auto name = platform::cp932::fromUtf8(platform::pathToUtf8(path.stem()));
  group.SetGroupName(name.ok() ? name.text : std::string("Garmin"));
  if (waypoints)
    for (auto& w : contents.waypoints->Waypoints()) group.Waypoints().push_back(std::move(w));
  if (tracks)
    for (auto& t : contents.tracks->TrackLogs()) group.TrackLogs().push_back(std::move(t));
  const platform::EReplace mode = force ? platform::EReplace::Replace : platform::EReplace::NoReplace;
  const STrekWriteResult w = ext == ".gpx" ? WriteGpxFileAtomic(path, group, mode) : WriteTrekFileAtomic(path, group, mode);
  if (!w.ok()) return cli::failWrite("device download", out, w.status == ETrekWriteStatus::Exists, w.reason);

  cli::CJsonWriter json;
  json.beginObject();
  json.field("file", out);
  json.field("device", unit->name);
  json.key("files").beginArray();
  for (const gps::SUnitGpxFile& f : contents.files) {
    json.beginObject();
    json.field("path", f.relative);
    json.field("waypoints", static_cast<long long>(f.waypoints));
    json.field("trackLogs", static_cast<long long>(f.trackLogs));
    json.field("trackPoints", static_cast<long long>(f.trackPoints));
    if (!f.error.empty()) json.field("error", f.error);
    json.endObject();
  }
  json.endArray();
  json.field("waypoints", static_cast<long long>(group.Waypoints().size()));
  json.field("trackLogs", static_cast<long long>(group.TrackLogs().size()));
  long long points = 0;
  for (const auto& log : group.TrackLogs()) points += static_cast<long long>(log->Points().size());
  json.field("trackPoints", points);
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runUpload(cli::SCliContext& ctx) {
  const bool thin = cli::takeFlag(ctx.args, "--thin");
  const bool split = cli::takeFlag(ctx.args, "--split");
  if (thin && split) return cli::fail("device upload: give --thin or --split, not both");
  if (ctx.args.size() != 2) return cli::fail("device upload: expected FILE DEVICE");
  const std::string& in = ctx.args[0];
  const fs::path inPath = platform::pathFromUtf8(in);
  int rc = 0;
  const auto unit = unitOf(ctx.args[1], "device upload", rc);
  if (!unit) return rc;

  cli::CJsonWriter json;
  json.beginObject();
  json.field("device", unit->name);
  if (lowerExt(inPath) == ".kmz") {
    const gps::SUnitWriteResult w = gps::CopyCustomMapToUnit(*unit, inPath);
    if (!w.ok) return cli::fail("device upload: " + w.message);
    json.field("file", platform::pathToUtf8(w.path));
    json.field("kind", "customMap");
    json.endObject();
    std::printf("%s\n", json.str().c_str());
    return 0;
  }

  std::unique_ptr<CTrekData> group;
  if (lowerExt(inPath) == ".gpx") {
    SGpxReadResult r = ReadGpxFile(inPath);
    if (!r.ok()) return cli::fail("device upload: " + r.error);
    group = std::move(r.waypoints);
    if (!group) group = std::move(r.tracks);
    else if (r.tracks)
      for (auto& t : r.tracks->TrackLogs()) group->TrackLogs().push_back(std::move(t));
    if (!group) return cli::fail("device upload: " + in + " holds no waypoints or track logs");
  } else {
    platform::CScriptedPrompt yes;  // an old file is converted in memory, as on opening
    platform::setPrompt(&yes);
    STrekReadResult r = ReadTrekFile(inPath);
    platform::setPrompt(nullptr);
    if (!r.ok()) return cli::fail(r.message.empty() ? "device upload: cannot read " + in : r.message);
    group = std::move(r.group);
  }
  const std::vector<std::size_t> longLogs = gps::LongTrackLogs(*group, unit->maxTrackPoints);
  if (!longLogs.empty() && !thin && !split)
    return cli::fail("device upload: " + std::to_string(longLogs.size()) + " track log(s) have more than " +
                     std::to_string(unit->maxTrackPoints) + " points; give --thin or --split");
  const auto ready = gps::PrepareForUnit(*group, unit->maxTrackPoints,
                                         thin ? gps::ELongLog::Thin : split ? gps::ELongLog::Split : gps::ELongLog::Keep);
  const gps::SUnitWriteResult w = gps::WriteGroupToUnit(*unit, *ready);
  if (!w.ok) return cli::fail("device upload: " + w.message);
  json.field("file", platform::pathToUtf8(w.path));
  json.field("waypoints", static_cast<long long>(ready->Waypoints().size()));
  json.field("trackLogs", static_cast<long long>(ready->TrackLogs().size()));
  json.field("longTrackLogs", static_cast<long long>(longLogs.size()));
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runDevice(cli::SCliContext& ctx) {
  if (ctx.args.empty()) return cli::fail("device: expected list, download or upload");
  const std::string sub = ctx.args[0];
  ctx.args.erase(ctx.args.begin());
  if (sub == "list") return runList(ctx);
  if (sub == "download") return runDownload(ctx);
  if (sub == "upload") return runUpload(ctx);
  return cli::fail("device: unknown subcommand '" + sub + "' (use list, download or upload)");
}

const cli::CCliRegistration kDevice(
    "device",
    "device list | download DEVICE [--waypoints|--tracks] -o FILE [--force] | upload FILE DEVICE [--thin|--split]",
    runDevice);

}  // namespace
