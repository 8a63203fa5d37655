// vantoria-cli settings: the effective application settings of the profile, as JSON; and
// `settings set KEY VALUE`, which stores one value of the settings sheet within the sheet's limits.
// vantoria-cli about: the version and the help files the program finds.
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "CliCommand.h"
#include "Json.h"
#include "app/AppSettings.h"
#include "app/ProgramFiles.h"
#include "app/SettingsSheet.h"
#include "platform/IProfileStore.h"

namespace {

void putScheme(cli::CJsonWriter& json, const char* name, const std::array<std::int32_t, 9>& colours,
               const std::array<std::int32_t, 8>& hidden) {
  json.key(name).beginObject();
  json.key("colours").beginArray();
  for (const std::int32_t c : colours) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%06X", static_cast<unsigned>(c));
    json.string(hex);
  }
  json.endArray();
  json.key("hidden").beginArray();
  for (const std::int32_t h : hidden) json.number(h);
  json.endArray();
  json.field("trans", packHiddenFlags(hidden));
  json.endObject();
}

// Writes only the one value: everything else in the profile stays as it is.
int runSet(const std::vector<std::string>& args) {
  if (args.size() != 3) return cli::fail("settings set: expected KEY VALUE");
  const SSheetSettingValue v = ParseSheetSetting(args[1], args[2]);
  if (!v.error.empty()) return cli::fail("settings set: " + v.error);
  platform::profile().writeInt(v.setting.section, v.setting.key, v.value);
  if (!platform::profile().flush()) return cli::fail("settings set: the profile cannot be written (is the disk full?)");
  return 0;
}

int runSettings(cli::SCliContext& ctx) {
  if (!ctx.args.empty() && ctx.args.front() == "set") return runSet(ctx.args);
  if (!ctx.args.empty()) return cli::fail("settings: unexpected argument " + ctx.args.front());
  AppSettings settings;
  settings.setSaveOnDestroy(false);  // looking must not write the profile
  settings.Load();
  cli::CJsonWriter json;
  json.beginObject();
  putScheme(json, "map25000", settings.colours25, settings.hidden25);
  putScheme(json, "map50000", settings.colours50, settings.hidden50);
  json.field("dispQuality", settings.dispQuality);
  json.field("dispDatum", settings.dispDatum);
  json.field("markerDatum", settings.markerDatum);
  json.field("commPort", settings.commPort);
  json.field("gpsCommDatum", settings.gpsCommDatum);
  json.field("sortWaypoints", settings.sortWaypoints);
  json.field("sortTracks", settings.sortTracks);
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

const cli::CCliRegistration kSettings("settings",
                                      "settings [set KEY VALUE]",
                                      runSettings);

// Where the program's manual and ReadMe are found from this program's folder (the program and
// vantoria-cli are installed side by side), as the help commands find them.
int runAbout(cli::SCliContext& ctx) {
  if (!ctx.args.empty()) return cli::fail("about: unexpected argument " + ctx.args.front());
  const QString dir = FindHelpDir(QCoreApplication::applicationDirPath());
  cli::CJsonWriter json;
  json.beginObject();
  json.key("version").string(VANTORIA_VERSION);
  for (const auto& [name, file] : {std::pair{"manual", kManualFile}, std::pair{"readme", kReadMeFile}}) {
    const QString path = dir + QLatin1Char('/') + QLatin1String(file);
    json.key(name);
    if (QFileInfo(path).isFile()) json.string(path.toStdString());
    else json.null();
  }
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

const cli::CCliRegistration kAbout("about", "about                    version, and where the manual and the ReadMe are", runAbout);

}  // namespace
