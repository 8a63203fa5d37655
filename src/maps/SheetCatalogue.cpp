#include "maps/SheetCatalogue.h"

#include <unordered_map>
#include <utility>

#include "maps/CatalogueText.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"

namespace {

struct SGridRow {
  std::string_view meshCode;
  std::string_view sheetName;
};

// The catalogue rows the grid builder looks at: every line after the header up to the first
// one without two ",".
template <class Fn>
void forEachGridRow(std::string_view kanriText, Fn&& fn) {
  maps::text::CLineReader lines(kanriText);
  std::string_view line;
  if (!lines.next(line)) return;  // header
  while (lines.next(line)) {
    std::string_view cols[3];
    if (maps::text::splitColumns(line, cols, 3) < 3) return;
    fn(SGridRow{cols[0], cols[1]});
  }
}

bool sameArea(std::string_view meshCode, std::string_view areaCode) { return meshCode.substr(0, 4) == areaCode; }

// Places an area's rows (already limited to that area, in file order) in the 8 x 8 grid. The
// expected code w walks the grid in row-column order (digits 0..7); every position passed over
// stays empty. A row that is not ahead of w leaves the rest of the grid empty.
std::array<SheetSlot, kSlotsPerArea> fillSlots(std::string_view areaCode, const std::vector<SGridRow>& rows) {
  std::array<SheetSlot, kSlotsPerArea> grid{};
  std::string start(areaCode);
  start += "00";
  std::int64_t w = std::int64_t{maps::text::atoi32(start)} - 1;
  int i = 0;
  bool first = true;
  for (const SGridRow& row : rows) {
    const std::int64_t t = maps::text::atoi32(row.meshCode);
    std::int64_t d = t - w;
    const auto placeable = [&] {
      return (d == 1 && t % 10 != 0) || (d == 3 && t % 10 == 0) || (first && d == 1);
    };
    while (i < kSlotsPerArea && !placeable()) {
      ++i;
      first = false;
      const std::int64_t step = (w % 10 == 7) ? 3 : 1;
      w += step;
      d -= step;
    }
    if (i >= kSlotsPerArea) break;
    grid[static_cast<std::size_t>(i)] = SheetSlot{std::string(row.sheetName), std::string(row.meshCode)};
    ++i;
    first = false;
    w = t;
  }
  return grid;
}

bool plainName(const std::string& s) {
  return !s.empty() && s != "." && s != ".." && s.find_first_of("/\\:") == std::string::npos &&
         s.find('\0') == std::string::npos;
}

// Rows by first column (the first such row wins), for answering many record look-ups from one
// reading of the catalogue.
std::unordered_map<std::string_view, std::string_view> indexRows(std::string_view text) {
  std::unordered_map<std::string_view, std::string_view> rows;
  maps::text::CLineReader lines(text);
  std::string_view line;
  while (lines.next(line)) {
    const std::size_t comma = maps::text::findChar(line, ',');
    if (comma == std::string_view::npos || comma == 0) continue;
    rows.emplace(line.substr(0, comma), line);
  }
  return rows;
}

}  // namespace

std::array<SheetSlot, kSlotsPerArea> FillAreaSlots(std::string_view areaCode, std::string_view kanriText) {
  std::vector<SGridRow> rows;
  forEachGridRow(maps::text::clipAtNul(kanriText), [&](const SGridRow& r) {
    if (sameArea(r.meshCode, areaCode)) rows.push_back(r);
  });
  return fillSlots(areaCode, rows);
}

void SheetCatalogue::Clear() {
  m_areas.clear();
  m_series = MapSeries::Unknown;
  m_directory.clear();
  m_error.clear();
}

bool SheetCatalogue::OpenCatalogue(const std::filesystem::path& directory) {
  Clear();
  const auto kanriPath = platform::findNoCase(directory, "kanri.csv");
  const auto indexPath = platform::findNoCase(directory, "index.csv");
  if (!kanriPath || !indexPath) {
    m_error = "index.csv or kanri.csv is missing";
    return false;
  }
  // A file that cannot be read (or is absurdly large) counts as empty.
  const std::string kanri = platform::readWholeFile(*kanriPath, kMaxFileBytes).value_or(std::string());
  const std::string index = platform::readWholeFile(*indexPath, kMaxFileBytes).value_or(std::string());
  Build(directory, index, kanri);
  return true;
}

void SheetCatalogue::Build(const std::filesystem::path& directory, std::string_view indexText,
                           std::string_view kanriText) {
  Clear();
  m_directory = directory;
  kanriText = maps::text::clipAtNul(kanriText);
  indexText = maps::text::clipAtNul(indexText);

  // Group the grid rows by their first four characters once, so each area looks only at its
  // own rows (in file order), whatever the number of areas.
  std::unordered_map<std::string_view, std::vector<SGridRow>> byArea;
  forEachGridRow(kanriText, [&](const SGridRow& r) { byArea[r.meshCode.substr(0, 4)].push_back(r); });
  const std::vector<SGridRow> none;

  maps::text::CLineReader lines(indexText);
  std::string_view line;
  while (lines.next(line)) {
    const std::size_t comma = maps::text::findChar(line, ',');
    if (comma == std::string_view::npos) break;
    if (m_areas.size() >= kMaxAreas) {
      m_error = "index.csv lists more than " + std::to_string(kMaxAreas) + " areas; the rest are left out";
      break;
    }
    CatalogueArea area;
    area.directory = directory;
    area.areaCode.assign(line.substr(0, comma));
    area.areaName.assign(line.substr(comma + 1));
    const auto it = byArea.find(std::string_view(area.areaCode));
    area.sheetSlots = fillSlots(area.areaCode, it == byArea.end() ? none : it->second);
    m_areas.push_back(std::move(area));
  }
  m_series = DetectSeries(kanriText);
}

const CatalogueArea* SheetCatalogue::area(int index) const {
  if (index < 0 || index >= areaCount()) return nullptr;
  return &m_areas[static_cast<std::size_t>(index)];
}

const SheetSlot* SheetCatalogue::slot(int areaIndex, int slotIndex) const {
  const CatalogueArea* a = area(areaIndex);
  if (!a || slotIndex < 0 || slotIndex >= kSlotsPerArea) return nullptr;
  return &a->sheetSlots[static_cast<std::size_t>(slotIndex)];
}

std::filesystem::path SheetCatalogue::SheetImagePath(int areaIndex, int slotIndex) const {
  const CatalogueArea* a = area(areaIndex);
  const SheetSlot* s = slot(areaIndex, slotIndex);
  if (!a || !s || !plainName(a->areaCode) || !plainName(s->meshCode)) return {};
  const std::string areaName = platform::cp932::toUtf8Lossy(a->areaCode);
  const std::string fileName = platform::cp932::toUtf8Lossy(s->meshCode) + ".tif";
  const std::filesystem::path areaDir =
      platform::findNoCase(a->directory, areaName).value_or(a->directory / platform::pathFromUtf8(areaName));
  return platform::findNoCase(areaDir, fileName).value_or(areaDir / platform::pathFromUtf8(fileName));
}

bool SheetCatalogue::ReadSheetRecord(int areaIndex, int slotIndex, SheetRecord& record) const {
  const CatalogueArea* a = area(areaIndex);
  const SheetSlot* s = slot(areaIndex, slotIndex);
  if (!a || !s) return false;
  return ::ReadSheetRecord(*s, a->directory, m_series, record);
}

std::vector<SCatalogueSheet> SheetCatalogue::ReadSheetRecords() const {
  if (m_areas.empty()) return {};
  const auto path = platform::findNoCase(m_directory, "kanri.csv");
  if (!path) return {};
  const auto text = platform::readWholeFile(*path, kMaxFileBytes);
  if (!text) return {};
  return ReadSheetRecords(*text);
}

std::vector<SCatalogueSheet> SheetCatalogue::ReadSheetRecords(std::string_view kanriText) const {
  std::vector<SCatalogueSheet> out;
  if (CatalogueColumnCount(m_series) == 0) return out;
  const auto rows = indexRows(maps::text::clipAtNul(kanriText));
  for (int a = 0; a < areaCount(); ++a) {
    const CatalogueArea& area = m_areas[static_cast<std::size_t>(a)];
    for (int s = 0; s < kSlotsPerArea; ++s) {
      const SheetSlot& slot = area.sheetSlots[static_cast<std::size_t>(s)];
      if (slot.meshCode.empty()) continue;
      const auto it = rows.find(std::string_view(slot.meshCode));
      if (it == rows.end()) continue;
      SCatalogueSheet sheet{a, s, {}};
      if (maps::parseSheetRow(it->second, m_series, sheet.record)) out.push_back(std::move(sheet));
    }
  }
  return out;
}

SSheetLocation SheetCatalogue::FindSheetContaining(const DmsAngle& latitude, const DmsAngle& longitude,
                                                   Datum datum) const {
  if (m_areas.empty()) return {};
  const auto path = platform::findNoCase(m_directory, "Kanri.csv");
  if (!path) return {};
  const auto text = platform::readWholeFile(*path, kMaxFileBytes);
  if (!text) return {};
  return FindSheetContaining(*text, latitude, longitude, datum);
}

SSheetLocation SheetCatalogue::FindSheetContaining(std::string_view kanriText, const DmsAngle& latitude,
                                                   const DmsAngle& longitude, Datum datum) const {
  if (CatalogueColumnCount(m_series) == 0 || !IsKnownDatum(datum)) return {};
  const auto rows = indexRows(maps::text::clipAtNul(kanriText));
  SheetRecord record;
  for (int a = 0; a < areaCount(); ++a) {
    const CatalogueArea& area = m_areas[static_cast<std::size_t>(a)];
    for (int s = 0; s < kSlotsPerArea; ++s) {
      const SheetSlot& slot = area.sheetSlots[static_cast<std::size_t>(s)];
      if (slot.meshCode.empty()) continue;
      const auto it = rows.find(std::string_view(slot.meshCode));
      if (it == rows.end()) continue;
      // A row read in full overwrites every field, so the record is reused between probes.
      if (!maps::parseSheetRow(it->second, m_series, record)) continue;
      if (SheetContains(record, latitude, longitude, datum)) return {true, a, s};
    }
  }
  return {};
}
