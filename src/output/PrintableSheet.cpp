#include "output/PrintableSheet.h"

#include "maps/SheetCatalogue.h"
#include "platform/FileLookup.h"

bool CPrintableSheet::Open(const std::filesystem::path& indexCsv, const std::string& mesh, std::string& error) {
  std::filesystem::path dir = indexCsv;
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) dir = dir.parent_path();
  if (dir.empty()) dir = ".";
  SheetCatalogue catalogue;
  if (!catalogue.OpenCatalogue(dir)) {
    error = "cannot open the catalogue in " + platform::pathToUtf8(dir) + ": " + catalogue.lastError();
    return false;
  }
  if (catalogue.series() != MapSeries::Scale25000 && catalogue.series() != MapSeries::Scale50000) {
    error = "the map series of kanri.csv cannot be detected";
    return false;
  }
  for (int a = 0; a < catalogue.areaCount(); ++a) {
    for (int s = 0; s < kSlotsPerArea; ++s) {
      const SheetSlot* slot = catalogue.slot(a, s);
      if (!slot || slot->empty() || slot->meshCode != mesh) continue;
      const std::filesystem::path path = catalogue.SheetImagePath(a, s);
      const SSheetImageStatus st = path.empty() ? SSheetImageStatus{ESheetImageError::Open, {}} : ReadSheetImage(path, m_image);
      if (!st.ok()) {
        error = "cannot read the sheet image of " + mesh + ": " + st.detail;
        return false;
      }
      if (!catalogue.ReadSheetRecord(a, s, m_record)) {
        error = "no complete row for mesh code " + mesh + " in kanri.csv";
        return false;
      }
      m_series = static_cast<int>(catalogue.series());
      const SCornerAngle& nw = m_record.corners[kCornerNorthWest];
      const SCornerAngle& se = m_record.corners[kCornerSouthEast];
      const SCornerPixel& pnw = m_record.cornerPixels[kCornerNorthWest];
      const SCornerPixel& pse = m_record.cornerPixels[kCornerSouthEast];
      m_frame.Setup(nw.latitude, nw.longitude, se.latitude, se.longitude, pnw.x, pnw.y, pse.x, pse.y, 1.0, 1.0,
                    Datum::Tokyo);
      return true;
    }
  }
  error = "no sheet with mesh code " + mesh + " in the map index";
  return false;
}

bool CPrintableSheet::AddTrekFile(const std::filesystem::path& path) { return m_treks.OpenTrekFile(path) > 0; }

SPrintSheet CPrintableSheet::PrintSheet(const SMapRenderSettings& render, const QRect& selection) {
  SPrintSheet s;
  s.image = &m_image;
  s.series = m_series;
  s.render = render;
  s.sheetName = m_record.sheetName;
  s.frame = &m_frame;
  s.groups = &m_treks.Groups();
  s.selection = selection;
  return s;
}
