// Catalogue readers on arbitrary bytes: the first byte picks how the rest is split into an
// "index.csv" and a "kanri.csv" text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "maps/SheetCatalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t cut = all.empty() ? 0 : data[0] % (all.size() + 1);
  const std::string_view index = all.substr(0, cut);
  const std::string_view kanri = all.substr(cut);

  (void)DetectSeries(kanri);
  (void)FillAreaSlots(index.substr(0, 4), kanri);
  SheetCatalogue catalogue;
  catalogue.Build("/fuzz", index, kanri);
  for (MapSeries series : {MapSeries::Scale25000, MapSeries::Scale50000}) {
    for (const CatalogueArea& area : catalogue.areas()) {
      for (const SheetSlot& slot : area.sheetSlots) {
        if (slot.meshCode.empty()) continue;
        SheetRecord record;
        if (ParseSheetRecord(kanri, slot.meshCode, series, record))
          (void)SheetContains(record, DmsAngle(35, 0, 0), DmsAngle(139, 0, 0), Datum::Wgs84);
      }
    }
  }
  (void)catalogue.FindSheetContaining(kanri, DmsAngle(35, 40, 0), DmsAngle(139, 45, 0), Datum::Tokyo);
  (void)catalogue.SheetImagePath(0, 0);
  return 0;
}
