// Trek file subcommands: show a waypoint or track log file as JSON, convert one (an old version
// included) to the current version, and convert between trek files and GPX files.
#include <QDateTime>
#include <QString>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "CliCommand.h"
#include "Json.h"
#include "app/AppSettings.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "trek/CTrekData.h"
#include "trek/GpxFile.h"
#include "trek/RouteFigures.h"
#include "trek/TrackStatistics.h"
#include "trek/TrekFile.h"

namespace cli {
bool isTrekEdit(const std::string& sub);
int runTrekEdit(const std::string& sub, SCliContext& ctx);
}  // namespace cli

namespace {

std::string text(const std::string& cp932) { return platform::cp932::toUtf8Lossy(cp932); }

// Paths are kept in the platform's 8-bit form once a file was opened here, but a file written on
// another system holds its path in CP932.
std::string pathText(const std::string& bytes) {
  const QString utf8 = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  if (utf8.toUtf8().toStdString() == bytes) return bytes;
  return text(bytes);
}

void writeAngle(cli::CJsonWriter& json, const char* name, const DmsAngle& a) {
  json.key(name).beginObject();
  json.field("degrees", a.degrees);
  json.field("minutes", a.minutes);
  json.field("seconds", a.seconds);
  json.field("decimal", a.ToDegrees());
  json.field("text", text(a.FormatText()));
  json.endObject();
}

void writeTime(cli::CJsonWriter& json, const TrekTime& t) {
  json.key("time").beginObject();
  json.field("count", t.Count());
  if (t.HasTime()) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(t.Count());
    const QDateTime withOffset = local.toOffsetFromUtc(local.offsetFromUtc());
    json.field("iso8601", withOffset.toString(Qt::ISODate).toStdString());
    json.field("receiverSeconds", t.ToReceiverSeconds());
    json.field("text", text(t.FormatShort()));
  } else {
    json.key("iso8601").null();
  }
  json.endObject();
}

void optionalField(cli::CJsonWriter& json, const char* name, const std::optional<double>& v) {
  if (v) json.field(name, *v);
  else json.key(name).null();
}

void optionalField(cli::CJsonWriter& json, const char* name, const std::optional<std::int64_t>& v) {
  if (v) json.field(name, static_cast<long long>(*v));
  else json.key(name).null();
}

void writeWaypoint(cli::CJsonWriter& json, const CMarkerPoint& w) {
  json.beginObject();
  json.field("name", text(w.name));
  writeAngle(json, "latitude", w.latitude);
  writeAngle(json, "longitude", w.longitude);
  json.field("altitude", w.altitude);
  json.field("gpsName", text(w.gpsName));
  json.field("symbol", w.symbol);
  json.field("reserved", w.reserved);
  json.field("meshCode", w.meshCode);
  json.field("sheetName25000", text(w.sheetName25000));
  json.field("sheetName50000", text(w.sheetName50000));
  json.field("areaName", text(w.areaName));
  json.field("indexDirectory", text(w.indexDirectory));
  json.field("description1", text(w.description1));
  json.field("description2", text(w.description2));
  json.field("comment", text(w.comment));
  json.endObject();
}

void writeGroup(cli::CJsonWriter& json, const CTrekData& g) {
  json.field("groupName", text(g.GroupName()));
  json.field("filePath", pathText(g.FilePath()));
  json.field("kind", g.Kind());
  json.field("kindName", g.Kind() == CTrekData::kWaypointGroup ? "waypoints"
                         : g.Kind() == CTrekData::kRouteGroup  ? "routes"
                                                               : "trackLogs");
  json.key("waypoints").beginArray();
  for (const auto& w : g.Waypoints()) writeWaypoint(json, *w);
  json.endArray();
  json.key("routes").beginArray();
  for (const auto& r : g.Routes()) {
    json.beginObject();
    json.field("name", text(r->name));
    json.field("gpsName", text(r->gpsName));
    json.field("number", r->number);
    json.field("description1", text(r->description1));
    json.field("description2", text(r->description2));
    json.field("reserved", r->reserved);
    json.field("pointCount", static_cast<long long>(r->points.size()));
    const trek::SRouteFigures f = trek::RouteFigures(*r, trek::SWalkingPace{});
    json.field("lengthMetres", f.lengthMetres);
    optionalField(json, "ascentMetres", f.ascentMetres);
    optionalField(json, "descentMetres", f.descentMetres);
    json.field("walkingMinutes", f.walkingMinutes);
    json.key("points").beginArray();
    for (const CMarkerPoint& p : r->points) writeWaypoint(json, p);
    json.endArray();
    json.endObject();
  }
  json.endArray();
  json.key("trackLogs").beginArray();
  for (const auto& l : g.TrackLogs()) {
    json.beginObject();
    json.field("name", text(l->name));
    json.field("gpsName", text(l->gpsName));
    json.field("color", static_cast<int>(l->color));
    json.field("reserved", l->reserved);
    json.field("display", l->display);
    json.field("reserved2", l->reserved2);
    json.field("description1", text(l->description1));
    json.field("description2", text(l->description2));
    json.field("pointCount", static_cast<long long>(l->Points().size()));
    json.key("points").beginArray();
    for (const CTrackPoint& p : l->Points()) {
      json.beginObject();
      json.field("number", p.number);
      json.field("label", p.Label());
      writeAngle(json, "latitude", p.latitude);
      writeAngle(json, "longitude", p.longitude);
      json.field("altitude", p.altitude);
      json.field("reserved", p.reserved);
      writeTime(json, p.time);
      json.endObject();
    }
    json.endArray();
    json.endObject();
  }
  json.endArray();
}

// Reads with every question answered Yes; the questions are listed on stderr when `tell`.
STrekReadResult readAnswering(const std::string& path, bool tell) {
  platform::CScriptedPrompt yes;  // an empty script answers the default button: Yes
  platform::setPrompt(&yes);
  STrekReadResult r = ReadTrekFile(platform::pathFromUtf8(path));
  platform::setPrompt(nullptr);
  if (tell) {
    for (const std::string& q : yes.texts()) {
      std::string oneLine;
      for (char c : q) {
        if (c == '\n') oneLine += ' ';
        else if (c != '\r') oneLine += c;
      }
      std::fprintf(stderr, "vantoria-cli: answered Yes: %s\n", oneLine.c_str());
    }
  }
  return r;
}

int failRead(const std::string& path, const STrekReadResult& r) {
  if (!r.message.empty()) return cli::fail(r.message);
  if (r.status == ETrekReadStatus::OpenFailed) return cli::fail("cannot open " + path);
  return cli::fail("cannot read " + path);
}

int runShow(cli::SCliContext& ctx) {
  if (ctx.args.size() != 1) return cli::fail("trek show: expected FILE");
  const std::string& path = ctx.args[0];
  const STrekReadResult r = readAnswering(path, false);
  if (!r.ok()) return failRead(path, r);
  cli::CJsonWriter json;
  json.beginObject();
  json.field("file", path);
  json.field("version", r.version);
  json.field("old", r.converted);
  if (r.converted) {
    json.field("note", "old version: shown converted in memory (Tokyo datum read as WGS-84 after conversion); "
                       "the file is unchanged");
  }
  writeGroup(json, *r.group);
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

std::string lowerExtension(const std::string& path) {
  std::string ext = platform::pathFromUtf8(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

void printConverted(const std::string& in, const std::string& out, const CTrekData& g, const char* from,
                    const char* to, const std::string& notice) {
  cli::CJsonWriter json;
  json.beginObject();
  json.field("in", in);
  json.field("out", out);
  json.field("from", from);
  json.field("to", to);
  json.field("kind", g.Kind());
  json.field("waypoints", static_cast<long long>(g.Waypoints().size()));
  json.field("trackLogs", static_cast<long long>(g.TrackLogs().size()));
  json.field("routes", static_cast<long long>(g.Routes().size()));
  if (!notice.empty()) json.field("notice", notice);
  else json.key("notice").null();
  json.endObject();
  std::printf("%s\n", json.str().c_str());
}

// A .gpx into one trek file: the kind is the output's (.pmd waypoints, .ptd track logs); a file
// holding both kinds must be told which one is meant.
int failWrite(const std::string& out, const STrekWriteResult& w) {
  return cli::failWrite("trek convert", out, w.status == ETrekWriteStatus::Exists, w.reason);
}

int convertFromGpx(const std::string& in, const std::string& out, bool wantWaypoints, bool wantTracks,
                   platform::EReplace mode) {
  const std::string outExt = lowerExtension(out);
  if (outExt == ".prd") {
    // A route file takes the routes; waypoints and tracks are for the other kinds.
    if (wantWaypoints || wantTracks) return cli::fail("trek convert: --waypoints and --tracks are for .pmd and .ptd files");
    const SGpxReadResult r = ReadGpxFile(platform::pathFromUtf8(in));
    if (!r.ok()) return cli::fail(r.error);
    if (!r.routes) return cli::fail("trek convert: " + in + " holds no routes");
    const STrekWriteResult w = WriteTrekFileAtomic(platform::pathFromUtf8(out), *r.routes, mode);
    if (!w.ok()) return failWrite(out, w);
    printConverted(in, out, *r.routes, "gpx", "prd", {});
    return 0;
  }
  if (outExt != ".pmd" && outExt != ".ptd") return cli::fail("trek convert: OUT must be a .pmd, .ptd or .prd file");
  if (wantWaypoints && wantTracks) return cli::fail("trek convert: --waypoints and --tracks exclude each other");
  const SGpxReadResult r = ReadGpxFile(platform::pathFromUtf8(in));
  if (!r.ok()) return cli::fail(r.error);
  if (r.waypoints && r.tracks && !wantWaypoints && !wantTracks) {
    return cli::fail("trek convert: " + in + " holds both waypoints and tracks; use --waypoints or --tracks");
  }
  const bool waypoints = wantWaypoints || (!wantTracks && r.waypoints);
  if (waypoints != (outExt == ".pmd")) {
    return cli::fail(std::string("trek convert: ") + (waypoints ? "waypoints go into a .pmd file" : "tracks go into a .ptd file"));
  }
  const std::unique_ptr<CTrekData>& group = waypoints ? r.waypoints : r.tracks;
  if (!group) return cli::fail("trek convert: " + in + (waypoints ? " holds no waypoints" : " holds no tracks"));
  // Only what this conversion keeps is reported, with long names cut.
  const std::string notice = GpxNotice(r.notes, waypoints, !waypoints).text;
  if (!notice.empty()) std::fprintf(stderr, "vantoria-cli: %s\n", notice.c_str());
  const STrekWriteResult w = WriteTrekFileAtomic(platform::pathFromUtf8(out), *group, mode);
  if (!w.ok()) return failWrite(out, w);
  printConverted(in, out, *group, "gpx", waypoints ? "pmd" : "ptd", notice);
  return 0;
}

int runConvert(cli::SCliContext& ctx) {
  const bool force = cli::takeFlag(ctx.args, "--force");
  const bool wantWaypoints = cli::takeFlag(ctx.args, "--waypoints");
  const bool wantTracks = cli::takeFlag(ctx.args, "--tracks");
  if (ctx.args.size() != 2) return cli::fail("trek convert: expected IN OUT");
  const std::string& in = ctx.args[0];
  const std::string& out = ctx.args[1];
  std::error_code ec;
  if (!force && std::filesystem::exists(platform::pathFromUtf8(out), ec)) {
    return cli::fail("trek convert: " + out + " exists (use --force to overwrite)");
  }
  const bool gpxIn = lowerExtension(in) == ".gpx";
  const bool gpxOut = lowerExtension(out) == ".gpx";
  if (gpxIn && gpxOut) return cli::fail("trek convert: one of IN and OUT must be a .pmd or .ptd file");
  // Without --force a file that appears while converting is not replaced either.
  const platform::EReplace mode = force ? platform::EReplace::Replace : platform::EReplace::NoReplace;
  if (gpxIn) return convertFromGpx(in, out, wantWaypoints, wantTracks, mode);
  if (wantWaypoints || wantTracks) return cli::fail("trek convert: --waypoints and --tracks are for a .gpx IN");
  const STrekReadResult r = readAnswering(in, true);
  if (!r.ok()) return failRead(in, r);
  if (gpxOut) {
    const STrekWriteResult w = WriteGpxFileAtomic(platform::pathFromUtf8(out), *r.group, mode);
    if (!w.ok()) return failWrite(out, w);
    const std::int32_t k = r.group->Kind();
    printConverted(in, out, *r.group, k == CTrekData::kWaypointGroup ? "pmd" : k == CTrekData::kRouteGroup ? "prd" : "ptd",
                   "gpx", {});
    return 0;
  }
  const STrekWriteResult w = WriteTrekFileAtomic(platform::pathFromUtf8(out), *r.group, mode);
  if (!w.ok()) return failWrite(out, w);
  cli::CJsonWriter json;
  json.beginObject();
  json.field("in", in);
  json.field("out", out);
  json.field("inVersion", r.version);
  json.field("outVersion", CTrekData::kFileVersion);
  json.field("converted", r.converted);
  json.field("kind", r.group->Kind());
  json.field("waypoints", static_cast<long long>(r.group->Waypoints().size()));
  json.field("trackLogs", static_cast<long long>(r.group->TrackLogs().size()));
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

void extremeField(cli::CJsonWriter& json, const char* name, const std::optional<trek::SAltitudeExtreme>& e,
                  const CTrackLog& log) {
  if (!e) {
    json.key(name).null();
    return;
  }
  json.key(name).beginObject();
  json.field("altitude", e->altitude);
  json.field("index", static_cast<long long>(e->index));
  json.field("label", log.Points()[e->index].Label());
  json.endObject();
}

// Statistics of every track log of a file; figures the points cannot give (no times, no
// altitudes) are null.
int runStats(cli::SCliContext& ctx) {
  std::string pause;
  const bool havePause = cli::takeOption(ctx.args, "--pause", pause);
  if (ctx.args.size() != 1) return cli::fail("trek stats: expected FILE [--pause SECONDS]");
  trek::STrackStatsOptions options;
  if (havePause) {
    char* end = nullptr;
    const long v = std::strtol(pause.c_str(), &end, 10);
    if (pause.empty() || *end != '\0' || v < 1 || v > 86400) return cli::fail("trek stats: --pause takes 1 to 86400 seconds");
    options.pauseSeconds = static_cast<std::int32_t>(v);
  } else {
    AppSettings settings;
    settings.setSaveOnDestroy(false);
    settings.Load();
    options.pauseSeconds = settings.pauseSeconds;
  }
  const std::string& path = ctx.args[0];
  const STrekReadResult r = readAnswering(path, false);
  if (!r.ok()) return failRead(path, r);
  cli::CJsonWriter json;
  json.beginObject();
  json.field("file", path);
  json.field("pauseSeconds", options.pauseSeconds);
  json.field("climbHysteresisMetres", trek::kClimbHysteresisMetres);
  json.key("trackLogs").beginArray();
  for (const auto& l : r.group->TrackLogs()) {
    const trek::STrackStatistics st = trek::computeTrackStatistics(*l, options);
    json.beginObject();
    json.field("name", text(l->name));
    json.field("pointCount", static_cast<long long>(st.pointCount));
    json.field("lengthMetres", st.lengthMetres);
    optionalField(json, "totalSeconds", st.totalSeconds);
    optionalField(json, "movingSeconds", st.movingSeconds);
    optionalField(json, "averageSpeedKmh", st.averageSpeed ? std::optional<double>(*st.averageSpeed * 3.6) : std::nullopt);
    optionalField(json, "movingSpeedKmh", st.movingSpeed ? std::optional<double>(*st.movingSpeed * 3.6) : std::nullopt);
    optionalField(json, "ascentMetres", st.ascentMetres);
    optionalField(json, "descentMetres", st.descentMetres);
    extremeField(json, "highest", st.highest, *l);
    extremeField(json, "lowest", st.lowest, *l);
    json.endObject();
  }
  json.endArray();
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runTrek(cli::SCliContext& ctx) {
  if (ctx.args.empty()) return cli::fail("trek: expected show, convert, stats, split, join, trim, reverse or thin");
  const std::string sub = ctx.args[0];
  ctx.args.erase(ctx.args.begin());
  if (sub == "show") return runShow(ctx);
  if (sub == "convert") return runConvert(ctx);
  if (sub == "stats") return runStats(ctx);
  if (cli::isTrekEdit(sub)) return cli::runTrekEdit(sub, ctx);
  return cli::fail("trek: unknown subcommand '" + sub + "' (use show, convert, stats, split, join, trim, reverse or thin)");
}

const cli::CCliRegistration kTrek(
    "trek",
    "trek show FILE | trek convert IN OUT [--force] [--waypoints|--tracks] | trek stats FILE [--pause S] | "
    "trek split FILE LOG POINT -o OUT | trek join FILE LOG,LOG[,...] [--as-given] -o OUT | "
    "trek trim FILE LOG FROM-TO -o OUT | trek reverse FILE LOG -o OUT | "
    "trek thin FILE LOG (--points N | --tolerance METRES) -o OUT [--force]   "
    "(.pmd/.ptd files; convert also to and from .gpx)",
    runTrek);

}  // namespace
