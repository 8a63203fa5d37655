// Map data subcommands: the catalogue of a map data folder, one sheet's record, the sheet under
// a position, and a sheet image written out as a bitmap file.
#include <cstdio>

#include "CliCommand.h"
#include "Json.h"
#include "geodesy/AngleArgument.h"
#include "maps/SheetCatalogue.h"
#include "maps/SheetImage.h"
#include "output/ImageWriter.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"

namespace {

std::string utf8(std::string_view cp932) { return platform::cp932::toUtf8Lossy(cp932); }

const char* seriesName(MapSeries s) {
  switch (s) {
    case MapSeries::Scale25000: return "1:25000";
    case MapSeries::Scale50000: return "1:50000";
    default: return "unknown";
  }
}

// The folder of INDEX_CSV (or the folder itself when one is given).
std::filesystem::path catalogueDir(const std::string& arg) {
  const std::filesystem::path p = platform::pathFromUtf8(arg);
  std::error_code ec;
  if (std::filesystem::is_directory(p, ec)) return p;
  return p.has_parent_path() ? p.parent_path() : std::filesystem::path(".");
}

bool openCatalogue(const std::string& arg, SheetCatalogue& catalogue, std::string& why) {
  const std::filesystem::path dir = catalogueDir(arg);
  if (!catalogue.OpenCatalogue(dir)) {
    why = "cannot open the catalogue in " + platform::pathToUtf8(dir) + ": " + catalogue.lastError();
    return false;
  }
  return true;
}

void writeAngle(cli::CJsonWriter& j, std::string_view key, const DmsAngle& a) {
  j.key(key).beginObject();
  j.field("degrees", a.degrees).field("minutes", a.minutes).field("seconds", a.seconds);
  j.field("text", utf8(a.FormatText()));
  j.endObject();
}

int cmdCatalogue(cli::SCliContext& ctx) {
  if (ctx.args.size() != 1) return cli::fail("usage: catalogue INDEX_CSV");
  SheetCatalogue catalogue;
  std::string why;
  if (!openCatalogue(ctx.args[0], catalogue, why)) return cli::fail(why);
  cli::CJsonWriter j;
  j.beginObject();
  j.field("series", static_cast<int>(catalogue.series())).field("seriesName", seriesName(catalogue.series()));
  j.field("directory", platform::pathToUtf8(catalogue.directory()));
  if (!catalogue.lastError().empty()) j.field("warning", catalogue.lastError());
  j.key("areas").beginArray();
  for (const CatalogueArea& area : catalogue.areas()) {
    j.beginObject();
    j.field("code", utf8(area.areaCode)).field("name", utf8(area.areaName));
    j.key("slots").beginArray();
    for (int s = 0; s < kSlotsPerArea; ++s) {
      const SheetSlot& slot = area.sheetSlots[static_cast<std::size_t>(s)];
      if (slot.empty()) continue;
      j.beginObject().field("slot", s).field("mesh", utf8(slot.meshCode)).field("name", utf8(slot.sheetName)).endObject();
    }
    j.endArray();
    j.endObject();
  }
  j.endArray();
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

int cmdRecord(cli::SCliContext& ctx) {
  if (ctx.args.size() != 2) return cli::fail("usage: record INDEX_CSV MESH");
  SheetCatalogue catalogue;
  std::string why;
  if (!openCatalogue(ctx.args[0], catalogue, why)) return cli::fail(why);
  if (catalogue.series() == MapSeries::Unknown) return cli::fail("the map series of kanri.csv cannot be detected");
  SheetSlot slot;
  slot.meshCode = ctx.args[1];
  SheetRecord r;
  if (!ReadSheetRecord(slot, catalogue.directory(), catalogue.series(), r))
    return cli::fail("no complete row for mesh code " + ctx.args[1] + " in kanri.csv");
  static const char* const kCornerNames[] = {"northWest", "southWest", "southEast", "northEast"};
  cli::CJsonWriter j;
  j.beginObject();
  j.field("series", static_cast<int>(catalogue.series()));
  j.field("meshCode", utf8(r.meshCode)).field("sheetName", utf8(r.sheetName)).field("secondName", utf8(r.secondName));
  j.field("sheetCode", utf8(r.sheetCode)).field("number", utf8(r.number)).field("extraNumber", r.extraNumber);
  j.key("history").beginArray();
  for (const std::string& h : r.history) j.string(utf8(h));
  j.endArray();
  j.field("published", utf8(r.published));
  j.key("corners").beginArray();
  for (int c = 0; c < 4; ++c) {
    j.beginObject().field("corner", kCornerNames[c]);
    writeAngle(j, "latitude", r.corners[static_cast<std::size_t>(c)].latitude);
    writeAngle(j, "longitude", r.corners[static_cast<std::size_t>(c)].longitude);
    j.endObject();
  }
  j.endArray();
  j.key("valuesA").beginArray();
  for (std::int32_t v : r.valuesA) j.number(v);
  j.endArray();
  j.key("cornerPixels").beginArray();
  for (int c = 0; c < 4; ++c) {
    const SCornerPixel& px = r.cornerPixels[static_cast<std::size_t>(c)];
    j.beginObject().field("corner", kCornerNames[c]).field("x", px.x).field("y", px.y).endObject();
  }
  j.endArray();
  j.key("valuesB").beginArray();
  for (std::int32_t v : r.valuesB) j.number(v);
  j.endArray();
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

int cmdFind(cli::SCliContext& ctx) {
  std::string datumArg = "tokyo";
  (void)cli::takeOption(ctx.args, "--datum", datumArg);
  if (ctx.args.size() != 3) return cli::fail("usage: find INDEX_CSV LAT LON [--datum tokyo|wgs84]");
  Datum datum;
  if (datumArg == "tokyo") datum = Datum::Tokyo;
  else if (datumArg == "wgs84") datum = Datum::Wgs84;
  else return cli::fail("--datum must be tokyo or wgs84, not " + datumArg);
  const auto lat = ParseAngleArgument(ctx.args[1]);
  const auto lon = ParseAngleArgument(ctx.args[2]);
  if (!lat) return cli::fail("latitude is not decimal degrees or D:M:S: " + ctx.args[1]);
  if (!lon) return cli::fail("longitude is not decimal degrees or D:M:S: " + ctx.args[2]);
  SheetCatalogue catalogue;
  std::string why;
  if (!openCatalogue(ctx.args[0], catalogue, why)) return cli::fail(why);
  const SSheetLocation at = catalogue.FindSheetContaining(*lat, *lon, datum);
  cli::CJsonWriter j;
  j.beginObject();
  j.field("found", at.found);
  if (at.found) {
    const SheetSlot* slot = catalogue.slot(at.areaIndex, at.slotIndex);
    j.field("areaIndex", at.areaIndex).field("areaCode", utf8(catalogue.area(at.areaIndex)->areaCode));
    j.field("slot", at.slotIndex).field("meshCode", utf8(slot->meshCode)).field("sheetName", utf8(slot->sheetName));
  }
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

int cmdSheetBmp(cli::SCliContext& ctx) {
  if (ctx.args.size() != 2) return cli::fail("usage: sheet-bmp SHEET_TIF OUT_BMP");
  SheetImage image;
  const SSheetImageStatus st = ReadSheetImage(platform::pathFromUtf8(ctx.args[0]), image);
  if (!st.ok()) return cli::fail("cannot read " + ctx.args[0] + ": " + st.detail);
  if (!WritePackedBitmap(platform::pathFromUtf8(ctx.args[1]), {image.data(), image.size()}, image.pixelOffset()))
    return cli::fail("cannot write " + ctx.args[1]);
  const std::uint64_t fileSize = 14 + image.size();
  cli::CJsonWriter j;
  j.beginObject();
  j.field("width", image.width()).field("height", image.height()).field("bitCount", image.bitCount());
  j.field("stride", image.stride()).field("colours", image.colourCount());
  j.field("bytes", static_cast<std::int64_t>(fileSize));
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

const cli::CCliRegistration kCatalogue("catalogue", "catalogue INDEX_CSV", cmdCatalogue);
const cli::CCliRegistration kRecord("record", "record INDEX_CSV MESH", cmdRecord);
const cli::CCliRegistration kFind("find", "find INDEX_CSV LAT LON [--datum tokyo|wgs84]", cmdFind);
const cli::CCliRegistration kSheetBmp("sheet-bmp", "sheet-bmp SHEET_TIF OUT_BMP", cmdSheetBmp);

}  // namespace
