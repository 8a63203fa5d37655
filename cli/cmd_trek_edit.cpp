// Track log edits on a file: trek split, join, trim, reverse and thin. Each reads a track log
// file (LOG is a log's index from 0, POINT a point's), applies the same rules as the program's
// menus and writes the result to OUT, reporting the logs written.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "CliCommand.h"
#include "Json.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "trek/CTrekData.h"
#include "trek/TrackEdits.h"
#include "trek/TrekFile.h"

namespace cli {

namespace {

std::optional<std::size_t> index(const std::string& s) {
  if (s.empty() || s.size() > 18) return std::nullopt;
  for (char c : s)
    if (c < '0' || c > '9') return std::nullopt;
  return static_cast<std::size_t>(std::strtoull(s.c_str(), nullptr, 10));
}

struct SEditRun {
  std::string command;
  std::string in, out;
  std::unique_ptr<CTrekData> group;
  platform::EReplace mode = platform::EReplace::NoReplace;
  std::optional<double> maxError;
  // Options of join and thin.
  bool asGiven = false;
  std::optional<std::string> points, tolerance;
};

int failEdit(const SEditRun& run, const std::string& message) { return fail("trek " + run.command + ": " + message); }

// Reads IN (answering the conversion questions Yes) after taking -o OUT and --force.
int openInput(SEditRun& run, SCliContext& ctx) {
  const bool force = takeFlag(ctx.args, "--force");
  if (!takeOption(ctx.args, "-o", run.out)) return failEdit(run, "expected -o OUT");
  run.mode = force ? platform::EReplace::Replace : platform::EReplace::NoReplace;
  if (ctx.args.empty()) return failEdit(run, "expected FILE");
  run.in = ctx.args[0];
  ctx.args.erase(ctx.args.begin());
  std::error_code ec;
  if (!force && std::filesystem::exists(platform::pathFromUtf8(run.out), ec))
    return failEdit(run, run.out + " exists (use --force to overwrite)");
  platform::CScriptedPrompt yes;
  platform::setPrompt(&yes);
  STrekReadResult r = ReadTrekFile(platform::pathFromUtf8(run.in));
  platform::setPrompt(nullptr);
  if (!r.ok()) return fail(r.message.empty() ? "cannot read " + run.in : r.message);
  if (r.group->Kind() != CTrekData::kTrackLogGroup) return failEdit(run, run.in + " holds no track logs");
  run.group = std::move(r.group);
  return 0;
}

CTrackLog* logAt(SEditRun& run, const std::string& arg, int& status) {
  const auto i = index(arg);
  auto& logs = run.group->TrackLogs();
  if (!i || *i >= logs.size()) {
    status = failEdit(run, "no track log " + arg + " (the file holds " + std::to_string(logs.size()) + ")");
    return nullptr;
  }
  return logs[*i].get();
}

int refusal(const SEditRun& run, trek::ETrackEditError e) { return failEdit(run, trek::TrackEditErrorText(e)); }

int write(const SEditRun& run) {
  const STrekWriteResult w = WriteTrekFileAtomic(platform::pathFromUtf8(run.out), *run.group, run.mode);
  if (!w.ok()) return failWrite("trek " + run.command, run.out, w.status == ETrekWriteStatus::Exists, w.reason);
  CJsonWriter json;
  json.beginObject();
  json.field("in", run.in);
  json.field("out", run.out);
  json.key("trackLogs").beginArray();
  for (const auto& l : run.group->TrackLogs()) {
    json.beginObject();
    json.field("name", platform::cp932::toUtf8Lossy(l->name));
    json.field("pointCount", static_cast<long long>(l->Points().size()));
    json.endObject();
  }
  json.endArray();
  if (run.maxError) json.field("maxErrorMetres", *run.maxError);
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runSplit(SEditRun& run, SCliContext& ctx) {
  if (ctx.args.size() != 2) return failEdit(run, "expected FILE LOG POINT -o OUT");
  int status = 0;
  CTrackLog* log = logAt(run, ctx.args[0], status);
  if (!log) return status;
  const auto at = index(ctx.args[1]);
  if (!at) return failEdit(run, "POINT must be a point's index");
  trek::SSplitResult r = trek::SplitTrackLog(*log, *at);
  if (r.error != trek::ETrackEditError::None) return refusal(run, r.error);
  auto& logs = run.group->TrackLogs();
  const auto it = std::find_if(logs.begin(), logs.end(), [&](const auto& p) { return p.get() == log; });
  logs.insert(it + 1, std::move(r.second));
  return write(run);
}

int runJoin(SEditRun& run, SCliContext& ctx) {
  const bool asGiven = run.asGiven;
  if (ctx.args.size() != 1) return failEdit(run, "expected FILE LOG,LOG[,...] [--as-given] -o OUT");
  std::vector<CTrackLog*> logs;
  std::string list = ctx.args[0];
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    int status = 0;
    CTrackLog* log = logAt(run, list.substr(start, comma - start), status);
    if (!log) return status;
    logs.push_back(log);
    start = comma + 1;
  }
  const std::vector<const CTrackLog*> given(logs.begin(), logs.end());
  if (const auto e = trek::CheckJoin(given); e != trek::ETrackEditError::None) return refusal(run, e);
  const auto order = trek::JoinOrder(given, asGiven ? trek::EJoinOrder::AsGiven : trek::EJoinOrder::ByTime);
  CTrackLog* target = logs[order.front()];
  *target = trek::JoinTrackLogs(given, order);
  auto& all = run.group->TrackLogs();
  std::erase_if(all, [&](const auto& p) {
    return p.get() != target && std::find(logs.begin(), logs.end(), p.get()) != logs.end();
  });
  return write(run);
}

int runTrim(SEditRun& run, SCliContext& ctx) {
  if (ctx.args.size() != 2) return failEdit(run, "expected FILE LOG FROM-TO -o OUT");
  int status = 0;
  CTrackLog* log = logAt(run, ctx.args[0], status);
  if (!log) return status;
  const std::string& range = ctx.args[1];
  const std::size_t dash = range.find('-');
  const auto from = dash == std::string::npos ? index(range) : index(range.substr(0, dash));
  const auto to = dash == std::string::npos ? from : index(range.substr(dash + 1));
  if (!from || !to) return failEdit(run, "FROM-TO must be two point indexes, as 3-10");
  if (const auto e = trek::DeleteTrackPoints(*log, *from, *to); e != trek::ETrackEditError::None) return refusal(run, e);
  return write(run);
}

int runReverse(SEditRun& run, SCliContext& ctx) {
  if (ctx.args.size() != 1) return failEdit(run, "expected FILE LOG -o OUT");
  int status = 0;
  CTrackLog* log = logAt(run, ctx.args[0], status);
  if (!log) return status;
  trek::ReverseTrackLog(*log);
  return write(run);
}

int runThin(SEditRun& run, SCliContext& ctx) {
  const bool byCount = run.points.has_value();
  const bool byTolerance = run.tolerance.has_value();
  const std::string points = run.points.value_or(std::string());
  const std::string tolerance = run.tolerance.value_or(std::string());
  if (ctx.args.size() != 1 || byCount == byTolerance)
    return failEdit(run, "expected FILE LOG (--points N | --tolerance METRES) -o OUT");
  int status = 0;
  CTrackLog* log = logAt(run, ctx.args[0], status);
  if (!log) return status;
  trek::SThinPlan plan;
  if (byCount) {
    const auto n = index(points);
    if (!n) return failEdit(run, "--points takes a whole number");
    plan = trek::PlanThinToCount(log->Points(), *n);
  } else {
    char* end = nullptr;
    errno = 0;
    const double metres = std::strtod(tolerance.c_str(), &end);
    if (tolerance.empty() || *end != '\0' || errno != 0) return failEdit(run, "--tolerance takes metres");
    plan = trek::PlanThinToTolerance(log->Points(), metres);
  }
  if (plan.error != trek::ETrackEditError::None) return refusal(run, plan.error);
  trek::ApplyThin(*log, plan);
  run.maxError = plan.maxErrorMetres;
  return write(run);
}

}  // namespace

bool isTrekEdit(const std::string& sub) {
  return sub == "split" || sub == "join" || sub == "trim" || sub == "reverse" || sub == "thin";
}

int runTrekEdit(const std::string& sub, SCliContext& ctx) {
  SEditRun run;
  run.command = sub;
  std::string value;
  run.asGiven = takeFlag(ctx.args, "--as-given");
  if (takeOption(ctx.args, "--points", value)) run.points = value;
  if (takeOption(ctx.args, "--tolerance", value)) run.tolerance = value;
  if (run.asGiven && sub != "join") return failEdit(run, "--as-given is for join");
  if ((run.points || run.tolerance) && sub != "thin") return failEdit(run, "--points and --tolerance are for thin");
  if (const int status = openInput(run, ctx)) return status;
  if (sub == "split") return runSplit(run, ctx);
  if (sub == "join") return runJoin(run, ctx);
  if (sub == "trim") return runTrim(run, ctx);
  if (sub == "reverse") return runReverse(run, ctx);
  return runThin(run, ctx);
}

}  // namespace cli
