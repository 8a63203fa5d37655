// Grid references and bearings of one position: UTM, MGRS, both datums and the magnetic
// declination, from angles or back from a typed grid reference.
#include <QDate>
#include <cstdio>

#include "CliCommand.h"
#include "Json.h"
#include "geodesy/AngleArgument.h"
#include "geodesy/DatumConverter.h"
#include "geodesy/GridReference.h"
#include "geodesy/MagneticDeclination.h"
#include "platform/Codepage.h"

namespace {

const char* gridErrorText(geodesy::EGridError e) {
  switch (e) {
    case geodesy::EGridError::Empty: return "nothing to read";
    case geodesy::EGridError::Syntax: return "not a UTM or MGRS reference (e.g. \"54S UE 12345 67890\", \"54S 388435 3949293\")";
    case geodesy::EGridError::Zone: return "the zone is not 1 to 60";
    case geodesy::EGridError::Band: return "not a latitude band letter (C to X without I and O)";
    case geodesy::EGridError::Square: return "the 100 km square letters do not exist in that zone";
    case geodesy::EGridError::Digits: return "MGRS takes as many easting as northing digits (2, 4, 6, 8 or 10 in all)";
    case geodesy::EGridError::Range: return "outside the zone or the latitude band";
    case geodesy::EGridError::NotNorthEast: return "not north of the equator and east of Greenwich";
    case geodesy::EGridError::None: break;
  }
  return "unreadable";
}

void writePosition(cli::CJsonWriter& json, const char* name, const DmsAngle& lat, const DmsAngle& lon) {
  json.key(name).beginObject();
  json.field("latitude", lat.ToDegrees());
  json.field("longitude", lon.ToDegrees());
  json.field("latitudeText", platform::cp932::toUtf8Lossy(lat.FormatText()));
  json.field("longitudeText", platform::cp932::toUtf8Lossy(lon.FormatText()));
  json.endObject();
}

int report(const DmsAngle& wgsLat, const DmsAngle& wgsLon, const QDate& date, int gridDigits) {
  const SDatumShiftResult tokyo = DatumConverter::Wgs84ToTokyo(wgsLat, wgsLon, 0.0);
  const double lat = wgsLat.ToDegrees();
  const double lon = wgsLon.ToDegrees();
  cli::CJsonWriter json;
  json.beginObject();
  if (gridDigits >= 0) json.field("digits", gridDigits);
  writePosition(json, "wgs84", wgsLat, wgsLon);
  writePosition(json, "tokyo", tokyo.latitude, tokyo.longitude);
  const std::optional<SUtmPosition> utm = geodesy::ToUtm(lat, lon);
  if (utm) {
    json.key("utm").beginObject();
    json.field("zone", utm->zone);
    json.field("band", std::string(1, utm->band));
    json.field("hemisphere", utm->north ? "N" : "S");
    json.field("easting", utm->easting);
    json.field("northing", utm->northing);
    json.field("text", geodesy::FormatUtm(*utm));
    json.field("convergence", utm->convergenceDeg);
    json.endObject();
    json.field("mgrs", geodesy::FormatMgrs(lat, lon));
  } else {
    json.key("utm").null();
    json.key("mgrs").null();
  }
  const geodesy::CMagneticModel& wmm = geodesy::Wmm2025();
  const double year = geodesy::DecimalYear(date.year(), date.month(), date.day());
  const double d = wmm.Declination(lat, lon, year);
  json.key("declination").beginObject();
  json.field("degrees", d);
  json.field("text", geodesy::DeclinationText(d));
  json.field("model", wmm.name());
  json.field("date", date.toString(Qt::ISODate).toStdString());
  json.field("withinModel", wmm.covers(year));
  json.endObject();
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

int runCoords(cli::SCliContext& ctx) {
  std::string datumName = "wgs84";
  std::string dateText;
  std::string grid;
  const bool hasDatum = cli::takeOption(ctx.args, "--datum", datumName);
  const bool hasGrid = cli::takeOption(ctx.args, "--grid", grid);
  QDate date = QDate::currentDate();
  if (cli::takeOption(ctx.args, "--date", dateText)) {
    date = QDate::fromString(QString::fromStdString(dateText), Qt::ISODate);
    if (!date.isValid()) return cli::fail("coords: --date '" + dateText + "' is not YYYY-MM-DD");
  }
  if (hasGrid) {
    if (hasDatum) return cli::fail("coords: --grid references are on WGS-84; --datum does not apply");
    if (!ctx.args.empty()) return cli::fail("coords: --grid takes no LAT LON");
    const geodesy::SGridParse r = geodesy::ParseGridReference(grid);
    if (!r.position) return cli::fail("coords: '" + grid + "': " + gridErrorText(r.error));
    return report(DmsAngle::FromDegrees(r.position->latitude), DmsAngle::FromDegrees(r.position->longitude), date,
                  r.digits);
  }
  Datum datum;
  if (datumName == "wgs84") {
    datum = Datum::Wgs84;
  } else if (datumName == "tokyo") {
    datum = Datum::Tokyo;
  } else {
    return cli::fail("coords: unknown datum '" + datumName + "' (use tokyo or wgs84)");
  }
  if (ctx.args.size() != 2) return cli::fail("coords: expected LAT and LON, or --grid REFERENCE");
  const std::optional<DmsAngle> latitude = ParseAngleArgument(ctx.args[0]);
  if (!latitude || latitude->TotalSeconds() > 90.0 * 3600.0)
    return cli::fail("coords: latitude '" + ctx.args[0] + "' is not decimal degrees or D:M:S from 0 to 90");
  const std::optional<DmsAngle> longitude = ParseAngleArgument(ctx.args[1]);
  if (!longitude || longitude->TotalSeconds() > 180.0 * 3600.0)
    return cli::fail("coords: longitude '" + ctx.args[1] + "' is not decimal degrees or D:M:S from 0 to 180");
  if (datum == Datum::Wgs84) return report(*latitude, *longitude, date, -1);
  const SDatumShiftResult w = DatumConverter::TokyoToWgs84(*latitude, *longitude, 0.0);
  return report(w.latitude, w.longitude, date, -1);
}

const cli::CCliRegistration kCoords(
    "coords",
    "coords LAT LON [--datum tokyo|wgs84] [--date YYYY-MM-DD] | coords --grid \"54S UE 12345 67890\"   "
    "(UTM, MGRS, both datums, magnetic declination)",
    runCoords);

}  // namespace
