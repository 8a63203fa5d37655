// Recovery copies of unsaved trek edits, for users without a display: list them, and write one
// out as a trek file.
#include <QDateTime>
#include <cstdio>
#include <filesystem>

#include "CliCommand.h"
#include "Json.h"
#include "app/RecoveryManager.h"
#include "app/RecoveryOffer.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "trek/TrekFile.h"

namespace {

namespace fs = std::filesystem;

fs::path folderOf(cli::SCliContext& ctx) {
  std::string dir;
  if (cli::takeOption(ctx.args, "--dir", dir)) return platform::pathFromUtf8(dir);
  return DefaultRecoveryFolder();
}

std::string isoTime(std::int64_t ms) {
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
  return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs).toStdString();
}

int cmdList(cli::SCliContext& ctx) {
  const fs::path folder = folderOf(ctx);
  cli::CJsonWriter json;
  json.beginObject();
  json.field("folder", platform::pathToUtf8(folder));
  json.key("copies").beginArray();
  for (const SRecoveryEntry& e : ListRecoveryFolder(folder)) {
    const trek::SRecoveryRead& r = e.copy.read;
    json.beginObject();
    json.field("id", e.copy.id);
    json.field("file", platform::pathToUtf8(e.copy.file));
    json.field("owner", RecoveryOwnerOf(e.copy.file));
    json.field("ownerRunning", e.ownerRunning);
    json.field("damaged", !r.ok());
    json.field("keptAside", e.keptAside);
    if (!r.ok()) json.field("reason", r.reason);
    if (r.ok() || !r.header.owner.empty()) {
      json.field("processId", static_cast<long long>(r.header.processId));
      json.field("savedAt", isoTime(r.header.savedAtMs));
      json.field("groupName", platform::cp932::toUtf8Lossy(r.header.groupName));
      json.field("filePath", r.header.filePath);
      json.field("kind", r.header.kind);
      json.field("waypoints", static_cast<long long>(r.header.waypoints));
      json.field("trackLogs", static_cast<long long>(r.header.trackLogs));
      json.field("trackPoints", static_cast<long long>(r.header.trackPoints));
    }
    json.endObject();
  }
  json.endArray();
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int cmdRestore(cli::SCliContext& ctx) {
  const fs::path folder = folderOf(ctx);
  std::string out;
  const bool hasOut = cli::takeOption(ctx.args, "-o", out);
  const bool force = cli::takeFlag(ctx.args, "--force");
  if (ctx.args.size() != 1 || !hasOut) return cli::fail("usage: recovery restore ID -o FILE [--force] [--dir DIR]");
  const std::string& id = ctx.args[0];
  if (id.empty() || id.find('/') != std::string::npos || id.find('\\') != std::string::npos || id.find("..") != std::string::npos)
    return cli::fail("recovery restore: not a copy's id: " + id);
  fs::path file = folder / (id + trek::kRecoveryExtension);
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) file = folder / "damaged" / (id + trek::kRecoveryExtension);
  if (!fs::is_regular_file(file, ec)) return cli::fail("recovery restore: no copy " + id + " in " + platform::pathToUtf8(folder));
  const trek::SRecoveryRead r = trek::ReadRecoveryFile(file);
  if (!r.ok()) return cli::fail("recovery restore: " + id + ": " + r.reason);
  const std::string body = r.body;
  // The body is what saving the group writes; it is written out unchanged.
  const STrekWriteResult w = WriteFileAtomic(
      platform::pathFromUtf8(out),
      [&body](QIODevice& device) {
        return device.write(body.data(), static_cast<qint64>(body.size())) == static_cast<qint64>(body.size());
      },
      force ? platform::EReplace::Replace : platform::EReplace::NoReplace);
  if (!w.ok()) return cli::failWrite("recovery restore", out, w.status == ETrekWriteStatus::Exists, w.reason);
  cli::CJsonWriter json;
  json.beginObject();
  json.field("id", id);
  json.field("output", out);
  json.field("groupName", platform::cp932::toUtf8Lossy(r.group->GroupName()));
  json.field("filePath", r.group->FilePath());
  json.field("bytes", static_cast<long long>(body.size()));
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int cmdRecovery(cli::SCliContext& ctx) {
  if (ctx.args.empty()) return cli::fail("usage: recovery list|restore ...");
  const std::string sub = ctx.args.front();
  ctx.args.erase(ctx.args.begin());
  if (sub == "list") return cmdList(ctx);
  if (sub == "restore") return cmdRestore(ctx);
  return cli::fail("recovery: unknown subcommand " + sub);
}

const cli::CCliRegistration kRecovery("recovery",
                                      "recovery list [--dir DIR] | recovery restore ID -o FILE [--force] [--dir DIR]",
                                      cmdRecovery);

}  // namespace
