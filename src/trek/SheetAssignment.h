#pragma once
// Records on waypoints which map sheet they lie on (mesh code, sheet name, area, index folder).
// Never marks a group as modified.
#include <memory>
#include <type_traits>

#include "maps/SheetCatalogue.h"
#include "maps/SheetRecord.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrekData.h"

/// When the point lies on the sheet's frame (Tokyo datum): meshCode, the sheet name of the
/// series (1:25,000 or 1:50,000), areaName and indexDirectory are set. Returns whether it did.
bool AssignSheet(CMarkerPoint& point, const SheetRecord& sheet, const CatalogueArea& area, MapSeries series);

/// AssignSheet for every waypoint of the group.
void AssignSheetToGroup(CTrekData& group, const SheetRecord& sheet, const CatalogueArea& area, MapSeries series);

/// AssignSheet for every waypoint of every group, in list order. `groups` holds CTrekData
/// objects or (smart) pointers to them.
template <class Groups>
void AssignSheetToAll(Groups& groups, const SheetRecord& sheet, const CatalogueArea& area, MapSeries series) {
  for (auto& g : groups) {
    if constexpr (std::is_base_of_v<CTrekData, std::remove_cvref_t<decltype(g)>>) {
      AssignSheetToGroup(g, sheet, area, series);
    } else {
      AssignSheetToGroup(*g, sheet, area, series);
    }
  }
}
