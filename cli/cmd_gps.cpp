// GPS subcommands: identify a receiver, download and upload waypoints and track logs.
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "CliCommand.h"
#include "Json.h"
#include "gps/GpsTransfer.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "trek/CTrekData.h"
#include "trek/TrekFile.h"

namespace {

/// The transfer's messages go to stderr, one line per line of text.
class CStderrPrompt : public platform::IPrompt {
 public:
  platform::EPromptAnswer ask(const platform::SPromptRequest& request) override {
    // "\r\n" becomes "\n". Copied, not replaced in place: GCC 12 at -O3 takes the in-place
    // replace for an overlapping copy (-Wrestrict).
    const std::string& in = request.text;
    std::string text;
    for (std::size_t i = 0; i < in.size(); ++i)
      if (in[i] != '\r' || i + 1 == in.size() || in[i + 1] != '\n') text += in[i];
    std::fprintf(stderr, "%s\n", text.c_str());
    if (request.defaultButton) return *request.defaultButton;
    switch (request.buttons) {
      case platform::EPromptButtons::YesNo:
      case platform::EPromptButtons::YesNoCancel: return platform::EPromptAnswer::Yes;
      default: return platform::EPromptAnswer::Ok;
    }
  }
};

/// Progress as lines on stderr, one whenever the whole percentage changes.
class CStderrProgress : public IGpsProgress {
 public:
  void Show(const std::string& activity) override { std::fprintf(stderr, "%s\n", activity.c_str()); }
  bool Update(double fraction) override {
    double percent = fraction * 100.0;
    if (!(percent >= 0.0)) percent = 0.0;
    if (percent > 100.0) percent = 100.0;
    const int value = static_cast<int>(percent);
    if (value != m_last) std::fprintf(stderr, "%d %%\n", value);
    m_last = value;
    return true;
  }
  void Hide() override {}

 private:
  int m_last = -1;
};

/// Installs the stderr prompt for one command.
struct SPromptScope {
  CStderrPrompt prompt;
  SPromptScope() { platform::setPrompt(&prompt); }
  ~SPromptScope() { platform::setPrompt(nullptr); }
};

/// --port COMn or --device PATH (exactly one); an error text when neither or both fit.
std::optional<SGpsPort> takePort(std::vector<std::string>& args, std::string& error) {
  std::string port;
  std::string device;
  const bool hasPort = cli::takeOption(args, "--port", port);
  const bool hasDevice = cli::takeOption(args, "--device", device);
  if (hasPort == hasDevice) {
    error = "give either --port COM1..COM4 or --device PATH";
    return std::nullopt;
  }
  if (hasDevice) {
    if (device.empty()) {
      error = "--device needs a path";
      return std::nullopt;
    }
    return SGpsPort(device);
  }
  std::string upper = port;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.size() == 4 && upper.rfind("COM", 0) == 0 && upper[3] >= '1' && upper[3] <= '4') {
    return SGpsPort(upper[3] - '0');
  }
  error = "unknown port '" + port + "' (use COM1..COM4)";
  return std::nullopt;
}

int runInfo(cli::SCliContext& ctx) {
  std::string error;
  const auto port = takePort(ctx.args, error);
  if (!port) return cli::fail("gps info: " + error);
  if (!ctx.args.empty()) return cli::fail("gps info: unexpected argument '" + ctx.args[0] + "'");
  GpsLink link;
  link.SetLineParameters(9600, 8, 0, 0);
  const bool opened = port->device.empty() ? link.Open(port->number) : link.OpenDevice(port->device);
  if (!opened) return cli::fail("gps info: cannot open the port");
  const auto product = RequestProduct(link);
  link.Close();
  if (!product) return cli::fail("gps info: no product data from the receiver");

  cli::CJsonWriter json;
  json.beginObject();
  json.field("productId", static_cast<int>(product->productId));
  json.field("softwareVersion", static_cast<int>(product->softwareVersion));
  json.key("descriptions").beginArray();
  for (const auto& d : product->descriptions) json.string(platform::cp932::toUtf8Lossy(d));
  json.endArray();
  json.key("capabilities").beginArray();
  for (const auto& c : product->capabilities) {
    const char tag = std::isprint(static_cast<unsigned char>(c.tag)) ? c.tag : '?';
    std::string item(1, tag);
    item += std::to_string(c.number);
    json.string(item);
  }
  json.endArray();
  const auto& caps = product->capabilities;
  const bool base = Supports(caps, 'L', 1, 0) && Supports(caps, 'A', 10, 0);
  json.key("supports").beginObject();
  json.field("waypoints", base && Supports(caps, 'A', 100, 108));
  json.field("trackLogs", base && Supports(caps, 'A', 301, 310));
  json.endObject();
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runDownload(cli::SCliContext& ctx) {
  const bool force = cli::takeFlag(ctx.args, "--force");
  std::string out;
  if (!cli::takeOption(ctx.args, "-o", out) && !cli::takeOption(ctx.args, "--output", out)) {
    return cli::fail("gps download: -o FILE is required");
  }
  std::string error;
  const auto port = takePort(ctx.args, error);
  if (!port) return cli::fail("gps download: " + error);
  if (ctx.args.size() != 1 || (ctx.args[0] != "waypoints" && ctx.args[0] != "tracks" && ctx.args[0] != "routes")) {
    return cli::fail("gps download: expected waypoints, tracks or routes");
  }
  const bool waypoints = ctx.args[0] == "waypoints";
  const bool routes = ctx.args[0] == "routes";
  const std::filesystem::path path = platform::pathFromUtf8(out);
  std::error_code ec;
  if (!force && std::filesystem::exists(path, ec)) {
    return cli::fail("gps download: " + out + " exists (use --force to overwrite)");
  }

  CTrekData group;
  group.SetKind(waypoints ? CTrekData::kWaypointGroup : routes ? CTrekData::kRouteGroup : CTrekData::kTrackLogGroup);
  const auto name = platform::cp932::fromUtf8(platform::pathToUtf8(path.stem()));
  group.SetGroupName(name.ok() ? name.text : std::string(waypoints ? "Waypoints" : routes ? "Routes" : "Track logs"));
  SPromptScope scope;
  CStderrProgress progress;
  const bool done = waypoints ? DownloadWaypoints(group, *port, progress)
                    : routes  ? DownloadRoutes(group, *port, progress)
                              : DownloadTrackLogs(group, *port, progress);
  if (!done) return 1;  // the transfer has said why on stderr

  const STrekWriteResult w =
      WriteTrekFileAtomic(path, group, force ? platform::EReplace::Replace : platform::EReplace::NoReplace);
  if (!w.ok()) return cli::failWrite("gps download", out, w.status == ETrekWriteStatus::Exists, w.reason);
  cli::CJsonWriter json;
  json.beginObject();
  json.field("file", out);
  json.field("kind", group.Kind());
  json.field("waypoints", static_cast<long long>(group.Waypoints().size()));
  json.field("trackLogs", static_cast<long long>(group.TrackLogs().size()));
  json.field("routes", static_cast<long long>(group.Routes().size()));
  long long points = 0;
  for (const auto& log : group.TrackLogs()) points += static_cast<long long>(log->Points().size());
  json.field("trackPoints", points);
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runUpload(cli::SCliContext& ctx) {
  const bool activeLog = cli::takeFlag(ctx.args, "--active-log");
  std::string error;
  const auto port = takePort(ctx.args, error);
  if (!port) return cli::fail("gps upload: " + error);
  if (ctx.args.size() != 1) return cli::fail("gps upload: expected FILE");
  const std::string& in = ctx.args[0];

  STrekReadResult r;
  {
    platform::CScriptedPrompt yes;  // an old file is converted in memory, as on opening
    platform::setPrompt(&yes);
    r = ReadTrekFile(platform::pathFromUtf8(in));
    platform::setPrompt(nullptr);
  }
  if (!r.ok()) return cli::fail(r.message.empty() ? "gps upload: cannot read " + in : r.message);
  CTrekData& group = *r.group;
  const bool waypoints = group.Kind() == CTrekData::kWaypointGroup;
  const bool routes = group.Kind() == CTrekData::kRouteGroup;
  if (activeLog && group.Kind() != CTrekData::kTrackLogGroup)
    return cli::fail("gps upload: --active-log applies to track log files");
  if (activeLog) {
    for (auto& log : group.TrackLogs()) log->SetSendAsActiveLog(1);
  }
  SPromptScope scope;
  CStderrProgress progress;
  const bool done = waypoints ? UploadWaypoints(group, *port, progress)
                    : routes  ? UploadRoutes(group, *port, progress)
                              : UploadTrackLogs(group, *port, progress);
  if (!done) return 1;
  cli::CJsonWriter json;
  json.beginObject();
  json.field("file", in);
  json.field("kind", group.Kind());
  json.field("sent", static_cast<long long>(waypoints ? group.Waypoints().size()
                                            : routes  ? group.Routes().size()
                                                      : group.TrackLogs().size()));
  json.field("activeLog", activeLog);
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runGps(cli::SCliContext& ctx) {
  if (ctx.args.empty()) return cli::fail("gps: expected info, download or upload");
  const std::string sub = ctx.args[0];
  ctx.args.erase(ctx.args.begin());
  if (sub == "info") return runInfo(ctx);
  if (sub == "download") return runDownload(ctx);
  if (sub == "upload") return runUpload(ctx);
  return cli::fail("gps: unknown subcommand '" + sub + "' (use info, download or upload)");
}

const cli::CCliRegistration kGps(
    "gps",
    "gps info|download waypoints|tracks|routes -o FILE [--force]|upload FILE [--active-log]  --port COM1..4|--device PATH",
    runGps);

}  // namespace
