// The document's search: what search::Find gives over the open groups and map folders, and
// going to a result.
#include "app/CVantoriaDoc.h"
#include "trek/TrekPosition.h"

std::vector<search::SResult> CVantoriaDoc::Search(std::string_view queryUtf8) const {
  std::vector<const CTrekData*> groups;
  for (const auto& g : m_trek.Groups()) groups.push_back(g.get());
  return search::Find(queryUtf8, groups, &m_collection);
}

bool CVantoriaDoc::GotoSearchResult(const search::SResult& r) {
  if (r.kind == search::EResultKind::Sheet) {
    const auto& sheets = m_collection.sheets(r.series);
    if (r.sheet < 0 || std::size_t(r.sheet) >= sheets.size()) return false;
    const mosaic::SCollectionSheet& s = sheets[std::size_t(r.sheet)];
    if (m_seamless) {
      emit seamlessSheetRequested(int(r.series), r.sheet);
      emit centreRequested(DmsAngle::FromDegrees((s.frame.north + s.frame.south) / 7200.0),
                           DmsAngle::FromDegrees((s.frame.west + s.frame.east) / 7200.0), int(Datum::Tokyo));
      return true;
    }
    SetCurrentFolder(s.folder);
    SelectAndLoadSheet(s.area, s.slot);
    return HasSheet();
  }
  CTrekData* group = m_trek.Group(r.group);
  if (!group || r.item < 0) return false;
  STrekSelection sel;
  sel.groupIndex = r.group;
  if (r.kind == search::EResultKind::Waypoint) {
    if (std::size_t(r.item) >= group->Waypoints().size()) return false;
    sel.kind = kTrekWaypoint;
    sel.waypoint = group->Waypoints()[std::size_t(r.item)].get();
  } else if (r.kind == search::EResultKind::TrackLog) {
    if (std::size_t(r.item) >= group->TrackLogs().size()) return false;
    sel.trackLog = group->TrackLogs()[std::size_t(r.item)].get();
    sel.kind = sel.trackLog->Points().empty() ? kTrekTrackLog : kTrekTrackPoint;
    sel.pointIndex = sel.trackLog->Points().empty() ? -1 : 0;
  } else if (r.kind == search::EResultKind::Route) {
    if (std::size_t(r.item) >= group->Routes().size()) return false;
    sel.kind = kTrekRoute;
    sel.route = group->Routes()[std::size_t(r.item)].get();
  } else {
    return false;
  }
  // An editing window may keep the selection where it is; the map still goes there.
  m_trek.Select(sel);
  if (!r.hasPosition) return false;
  DmsAngle lat, lon;
  trek::loadPosition(r.latitude, r.longitude, lat, lon, Datum::Tokyo);
  // A sheet of another open folder: that folder's areas are shown first.
  if (!m_seamless && !(m_hasSheet && SheetContains(m_sheet, lat, lon, Datum::Tokyo)) &&
      !m_catalogue.FindSheetContaining(lat, lon, Datum::Tokyo).found) {
    for (const MapSeries s : m_collection.seriesPresent()) {
      const int sheet = m_collection.SheetAt(s, lat.TotalSeconds(), lon.TotalSeconds());
      if (sheet < 0) continue;
      SetCurrentFolder(m_collection.sheets(s)[std::size_t(sheet)].folder);
      break;
    }
  }
  return GotoPosition(lat, lon, r.kind != search::EResultKind::Waypoint);
}
