#include "output/WorldFile.h"

#include <QString>
#include <cstdio>

#include "geodesy/DatumConverter.h"
#include "maps/SheetRecord.h"
#include "platform/AtomicFile.h"
#include "platform/FileLookup.h"

namespace {

bool writeText(platform::CAtomicFile& file, const std::string& text) {
  return file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

std::string number(double v, const char* format = "%.15g") {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

}  // namespace

std::optional<SWorldFile> SheetWorldFile(const SheetRecord& record, QPoint topLeft) {
  const SCornerAngle& nw = record.corners[kCornerNorthWest];
  const SCornerAngle& se = record.corners[kCornerSouthEast];
  const SCornerPixel& pnw = record.cornerPixels[kCornerNorthWest];
  const SCornerPixel& pse = record.cornerPixels[kCornerSouthEast];
  const double columns = static_cast<double>(pse.x) - pnw.x;
  const double rows = static_cast<double>(pse.y) - pnw.y;
  if (columns <= 0.0 || rows <= 0.0) return std::nullopt;
  SWorldFile w;
  w.pixelWidth = (se.longitude.ToDegrees() - nw.longitude.ToDegrees()) / columns;
  w.pixelHeight = -(nw.latitude.ToDegrees() - se.latitude.ToDegrees()) / rows;
  w.centreX = nw.longitude.ToDegrees() + w.pixelWidth * (topLeft.x() - pnw.x + 0.5);
  w.centreY = nw.latitude.ToDegrees() + w.pixelHeight * (topLeft.y() - pnw.y + 0.5);
  return w;
}

std::filesystem::path WorldFilePath(const std::filesystem::path& image) {
  std::string ext = image.extension().string();
  std::filesystem::path out = image;
  if (ext.size() < 2) return out.replace_extension(".wld");
  return out.replace_extension(std::string{'.', ext[1], ext.back(), 'w'});
}

std::filesystem::path ProjectionFilePath(const std::filesystem::path& image) {
  std::filesystem::path out = image;
  return out.replace_extension(".prj");
}

std::string WorldFileText(const SWorldFile& w) {
  std::string text;
  for (const double v : {w.pixelWidth, w.rotationRow, w.rotationCol, w.pixelHeight, w.centreX, w.centreY})
    text += number(v) + "\n";
  return text;
}

std::string TokyoDatumWkt() {
  // No authority code: readers would take the registry's own shift for it instead of ours.
  const double* t = geodesy::kTokyoToWgs84ShiftM;
  return "GEOGCS[\"Tokyo\",DATUM[\"Tokyo\",SPHEROID[\"Bessel 1841\"," + number(geodesy::kBesselSemiMajorM) + "," +
         number(1.0 / geodesy::kBesselFlattening, "%.9g") + "],TOWGS84[" + number(t[0]) + "," + number(t[1]) + "," +
         number(t[2]) + ",0,0,0,0]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]";
}

bool WriteWorldFileTexts(platform::CAtomicFile& worldFile, platform::CAtomicFile& projection, const SWorldFile& world) {
  return writeText(worldFile, WorldFileText(world)) && writeText(projection, TokyoDatumWkt());
}
