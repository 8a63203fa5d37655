// Route edits of CTrekGroupList: adding a drawn route, deleting one, and moving, inserting and
// deleting its points, each one undo entry.
#include <algorithm>

#include "platform/Codepage.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"

namespace {

bool editable(const CTrekGroupList& list, int groupIndex) {
  const CTrekData* g = list.Group(groupIndex);
  return g && g->Kind() == CTrekData::kRouteGroup && g != list.Held().group && !list.IsLocked();
}

}  // namespace

CRoute* CTrekGroupList::AddRoute(int groupIndex, std::unique_ptr<CRoute> route) {
  CTrekData* group = Group(groupIndex);
  if (!route || !editable(*this, groupIndex)) return nullptr;
  CTrekEditScope edit(*this, *group, "ルートの作成");
  CRoute* added = route.get();
  group->AppendRoute(std::move(route));
  markModified(*group);
  STrekSelection s;
  s.kind = kTrekRoute;
  s.groupIndex = groupIndex;
  s.route = added;
  m_selection = s;
  NotifyDataChanged();
  notifySelection();
  return added;
}

bool CTrekGroupList::DeleteRoute() {
  CTrekData* group = SelectedGroup();
  CRoute* route = SelectedRoute();
  if (!group || !route || !editable(*this, m_selection.groupIndex)) return false;
  const std::string text = "ルート [" + platform::cp932::toUtf8Lossy(route->name) + "] を削除しますか?  ";
  if (platform::prompt().ask({text, platform::EPromptIcon::Question, platform::EPromptButtons::OkCancel,
                              platform::EPromptAnswer::Cancel, "Vantoria"}) != platform::EPromptAnswer::Ok)
    return false;
  CTrekEditScope edit(*this, *group, "ルートの削除");
  auto& list = group->Routes();
  const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == route; });
  std::unique_ptr<CRoute> taken = std::move(*it);
  list.erase(it);
  Discard(*group, std::move(taken));
  afterItemRemoved(*group);
  return true;
}

bool CTrekGroupList::MoveRoutePoint(int groupIndex, CRoute& route, std::size_t index, const DmsAngle& latitude,
                                    const DmsAngle& longitude, Datum datum) {
  CTrekData* group = Group(groupIndex);
  if (!editable(*this, groupIndex) || !contains(groupIndex, &route) || index >= route.points.size()) return false;
  CTrekEditScope edit(*this, *group, "ルートポイントの移動");
  edit.Touch(&route);
  route.points[index].SetPosition(latitude, longitude, datum);
  markModified(*group);
  NotifyDataChanged();
  return true;
}

bool CTrekGroupList::InsertRoutePoint(int groupIndex, CRoute& route, std::size_t index, const CMarkerPoint& point) {
  CTrekData* group = Group(groupIndex);
  if (!editable(*this, groupIndex) || !contains(groupIndex, &route) || index > route.points.size()) return false;
  CTrekEditScope edit(*this, *group, "ルートポイントの挿入");
  edit.Touch(&route);
  route.points.insert(route.points.begin() + std::ptrdiff_t(index), point);
  markModified(*group);
  STrekSelection s;
  s.kind = kTrekRoutePoint;
  s.groupIndex = groupIndex;
  s.route = &route;
  s.pointIndex = static_cast<int>(index);
  m_selection = s;
  NotifyDataChanged();
  notifySelection();
  return true;
}

bool CTrekGroupList::DeleteRoutePoint(int groupIndex, CRoute& route, std::size_t index) {
  CTrekData* group = Group(groupIndex);
  if (!editable(*this, groupIndex) || !contains(groupIndex, &route) || index >= route.points.size() ||
      route.points.size() < 2)
    return false;
  CTrekEditScope edit(*this, *group, "ルートポイントの削除");
  edit.Touch(&route);
  route.points.erase(route.points.begin() + std::ptrdiff_t(index));
  markModified(*group);
  STrekSelection s;
  s.kind = kTrekRoute;
  s.groupIndex = groupIndex;
  s.route = &route;
  m_selection = s;
  NotifyDataChanged();
  notifySelection();
  return true;
}
