// Geodesy subcommands: datum shift of one position.
#include <cstdio>

#include "CliCommand.h"
#include "Json.h"
#include "geodesy/AngleArgument.h"
#include "geodesy/DatumConverter.h"
#include "platform/Codepage.h"

namespace {

void writeAngle(cli::CJsonWriter& json, const char* name, const DmsAngle& angle, std::int32_t kind) {
  const SDmsFields fields = angle.FormatFields();
  json.key(name).beginObject();
  json.field("degrees", angle.degrees);
  json.field("minutes", angle.minutes);
  json.field("seconds", angle.seconds);
  json.key("fields").beginArray().string(fields.degrees).string(fields.minutes).string(fields.seconds).endArray();
  json.field("text", platform::cp932::toUtf8Lossy(angle.FormatText()));
  json.field("valid", angle.IsValid(kind));
  json.endObject();
}

const char* datumName(Datum d) { return d == Datum::Tokyo ? "tokyo" : "wgs84"; }

int runDatum(cli::SCliContext& ctx) {
  std::string from;
  if (!cli::takeOption(ctx.args, "--from", from)) return cli::fail("datum: --from tokyo|wgs84 is required");
  Datum source;
  if (from == "tokyo") {
    source = Datum::Tokyo;
  } else if (from == "wgs84") {
    source = Datum::Wgs84;
  } else {
    return cli::fail("datum: unknown datum '" + from + "' (use tokyo or wgs84)");
  }
  if (ctx.args.size() != 2) return cli::fail("datum: expected LAT and LON");
  const std::optional<DmsAngle> latitude = ParseAngleArgument(ctx.args[0]);
  if (!latitude) return cli::fail("datum: latitude '" + ctx.args[0] + "' is not decimal degrees or D:M:S");
  const std::optional<DmsAngle> longitude = ParseAngleArgument(ctx.args[1]);
  if (!longitude) return cli::fail("datum: longitude '" + ctx.args[1] + "' is not decimal degrees or D:M:S");
  // Positions are north and east: a latitude beyond the pole is no position at all (unlike one
  // merely outside the program's range, which the report marks "valid": false).
  if (latitude->TotalSeconds() > 90.0 * 3600.0)
    return cli::fail("datum: latitude '" + ctx.args[0] + "' is out of range (0 to 90 degrees)");
  if (longitude->TotalSeconds() > 180.0 * 3600.0)
    return cli::fail("datum: longitude '" + ctx.args[1] + "' is out of range (0 to 180 degrees)");

  const Datum target = source == Datum::Tokyo ? Datum::Wgs84 : Datum::Tokyo;
  const SDatumShiftResult out = source == Datum::Tokyo ? DatumConverter::TokyoToWgs84(*latitude, *longitude, 0.0)
                                                       : DatumConverter::Wgs84ToTokyo(*latitude, *longitude, 0.0);
  cli::CJsonWriter json;
  json.beginObject();
  json.field("from", datumName(source));
  json.field("to", datumName(target));
  json.key("input").beginObject();
  writeAngle(json, "latitude", *latitude, kAngleLatitude);
  writeAngle(json, "longitude", *longitude, kAngleLongitude);
  json.endObject();
  writeAngle(json, "latitude", out.latitude, kAngleLatitude);
  writeAngle(json, "longitude", out.longitude, kAngleLongitude);
  json.field("height", out.height);
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

const cli::CCliRegistration kDatum("datum", "datum --from tokyo|wgs84 LAT LON   (LAT/LON decimal degrees or D:M:S)",
                                   runDatum);

}  // namespace
