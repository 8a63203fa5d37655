#include "display/ui/CTrekDataList.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTreeWidget>

#include "app/AppSettings.h"
#include "app/CVantoriaDoc.h"
#include "platform/Codepage.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekSort.h"

namespace {

QString text(const std::string& cp932) { return QString::fromStdString(platform::cp932::toUtf8Lossy(cp932)); }

QPixmap drawImage(int index) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  switch (index) {
    case CTrekDataList::kImageGroup:  // a folder
      p.setPen(QColor(128, 96, 0));
      p.setBrush(QColor(240, 200, 80));
      p.drawRect(1, 4, 13, 10);
      p.drawRect(1, 2, 5, 2);
      break;
    case CTrekDataList::kImageWaypoint:  // a flag on a pole
      p.setPen(QColor(0, 0, 0));
      p.drawLine(4, 1, 4, 14);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(220, 0, 0));
      p.drawPolygon(QPolygon({QPoint(5, 1), QPoint(13, 4), QPoint(5, 8)}));
      break;
    case CTrekDataList::kImageTrackLog: {  // a winding line
      QPen pen(QColor(0, 64, 200));
      pen.setWidth(2);
      p.setPen(pen);
      p.drawPolyline(QPolygon({QPoint(1, 13), QPoint(5, 6), QPoint(9, 10), QPoint(14, 2)}));
      break;
    }
    default:  // a track point: a small square
      p.setPen(QColor(0, 64, 200));
      p.setBrush(QColor(255, 255, 255));
      p.drawRect(5, 5, 5, 5);
      break;
  }
  return pm;
}

constexpr int kWaypointMenu[] = {cmd::EditWaypoint, 0, cmd::CopyWaypoint, cmd::CutWaypoint, cmd::PasteWaypoint,
                                 cmd::DeleteWaypoint, 0, cmd::GotoWaypoint, 0, cmd::RenameGroup, cmd::SaveTrek,
                                 cmd::SaveTrekAs, cmd::CloseTrek};
constexpr int kRouteMenu[] = {cmd::DrawRoute, cmd::DeleteRoute, cmd::DeleteRoutePoint, 0, cmd::UploadRoutes, 0,
                              cmd::RenameGroup, cmd::SaveTrek, cmd::SaveTrekAs, cmd::CloseTrek};
constexpr int kTrackMenu[] = {cmd::EditTrack, 0, cmd::CopyTrack, cmd::CutTrack, cmd::PasteTrack, cmd::DeleteTrack, 0,
                              cmd::GotoTrackPoint, cmd::FitTrack, 0, cmd::SplitTrack, cmd::JoinTracks,
                              cmd::DeleteTrackRange, cmd::ReverseTrack, cmd::ThinTrack, 0, cmd::RenameGroup,
                              cmd::SaveTrek, cmd::SaveTrekAs, cmd::CloseTrek};

}  // namespace

QIcon CTrekDataList::ItemImage(int index) { return QIcon(drawImage(index)); }

CTrekDataList::CTrekDataList(CVantoriaDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
  setObjectName(QStringLiteral("trekList"));
  m_tree = new QTreeWidget(this);
  m_tree->setObjectName(QStringLiteral("trekTree"));
  m_tree->setHeaderHidden(true);
  m_tree->setColumnCount(1);
  m_tree->setRootIsDecorated(true);
  m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
  m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_tree->setDragDropMode(QAbstractItemView::NoDragDrop);
  m_tree->setIconSize(QSize(16, 16));
  m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
  m_tree->installEventFilter(this);
  m_tree->viewport()->installEventFilter(this);
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 1, 0);
  lay->addWidget(m_tree);

  connect(m_tree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { onCurrentItemChanged(current); });
  connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) { goTo(item); });
  connect(m_tree, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { showContextMenu(m_tree->viewport()->mapToGlobal(pos)); });
  connect(&m_doc, &CVantoriaDoc::trekDataChanged, this, [this] {
    Fill();
    followDocument();
  });
  connect(&m_doc, &CVantoriaDoc::selectionChanged, this, &CTrekDataList::followDocument);
  Fill();
}

void CTrekDataList::Fill() {
  m_tree->setUpdatesEnabled(false);
  m_filling = true;
  // What the user opened or closed, by the address of the group or track log; addresses stay
  // while the items exist, whatever their place in the lists.
  QHash<quintptr, bool> groupsExpanded;
  QHash<quintptr, bool> logsExpanded;
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* node = m_tree->topLevelItem(i);
    groupsExpanded.insert(node->data(0, kRoleGroupAddress).value<quintptr>(), node->isExpanded());
    for (int k = 0; k < node->childCount(); ++k) {
      const QTreeWidgetItem* child = node->child(k);
      if (child->childCount() > 0 && child->isExpanded()) logsExpanded.insert(child->data(0, kRoleItem).value<quintptr>(), true);
    }
  }
  const int scrollX = m_tree->horizontalScrollBar()->value();
  const int scrollY = m_tree->verticalScrollBar()->value();
  m_tree->clear();
  m_selectedGroupNode = -1;
  const std::int32_t sortWp = m_settings ? m_settings->sortWaypoints : kSortNone;
  const std::int32_t sortTk = m_settings ? m_settings->sortTracks : kSortNone;
  const QIcon images[4] = {ItemImage(0), ItemImage(1), ItemImage(2), ItemImage(3)};
  const auto& groups = m_doc.TrekGroups().Groups();
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const CTrekData& group = *groups[g];
    const bool waypoints = group.Kind() == kTrekWaypointGroup;
    const bool routes = group.Kind() == kTrekRouteGroup;
    const std::size_t count = waypoints ? group.Waypoints().size() : routes ? group.Routes().size() : group.TrackLogs().size();
    auto* node = new QTreeWidgetItem(m_tree);
    node->setText(0, QStringLiteral("%1 (%2%3)")
                         .arg(text(group.GroupName()))
                         .arg(count)
                         .arg(waypoints ? "points" : routes ? "routes" : "tracks"));
    node->setIcon(0, images[kImageGroup]);
    // Two groups may share a name; their files tell them apart.
    node->setToolTip(0, group.FilePath().empty() ? QStringLiteral("（未保存）") : QString::fromStdString(group.FilePath()));
    node->setData(0, kRoleGroupAddress, quintptr(&group));
    node->setData(0, kRoleKind, int(group.Kind()));
    node->setData(0, kRoleGroup, int(g));
    node->setData(0, kRoleItem, quintptr(0));
    node->setData(0, kRolePoint, -1);
    if (routes) {
      for (const auto& route : group.Routes()) {
        auto* child = new QTreeWidgetItem(node);
        child->setText(0, QStringLiteral("%1 (%2points)").arg(text(route->name)).arg(route->points.size()));
        child->setToolTip(0, child->text(0));
        child->setIcon(0, images[kImageTrackLog]);
        child->setData(0, kRoleGroup, int(g));
        child->setData(0, kRoleKind, int(kTrekRoute));
        child->setData(0, kRoleItem, quintptr(route.get()));
        child->setData(0, kRolePoint, -1);
        for (std::size_t k = 0; k < route->points.size(); ++k) {
          auto* pt = new QTreeWidgetItem(child);
          pt->setText(0, QStringLiteral("%1. %2").arg(k + 1).arg(text(route->points[k].name)));
          pt->setIcon(0, images[kImageWaypoint]);
          pt->setData(0, kRoleKind, int(kTrekRoutePoint));
          pt->setData(0, kRoleGroup, int(g));
          pt->setData(0, kRoleItem, quintptr(route.get()));
          pt->setData(0, kRolePoint, int(k));
        }
        if (logsExpanded.contains(quintptr(route.get()))) child->setExpanded(true);
      }
      node->setExpanded(groupsExpanded.value(quintptr(&group), true));
      continue;
    }
    for (const std::size_t i : SortedOrder(group, sortWp, sortTk)) {
      auto* child = new QTreeWidgetItem(node);
      child->setData(0, kRoleGroup, int(g));
      child->setData(0, kRolePoint, -1);
      if (waypoints) {
        const CMarkerPoint& wp = *group.Waypoints()[i];
        child->setText(0, text(wp.name));
        child->setToolTip(0, child->text(0));
        child->setIcon(0, images[kImageWaypoint]);
        child->setData(0, kRoleKind, int(kTrekWaypoint));
        child->setData(0, kRoleItem, quintptr(&wp));
        continue;
      }
      const CTrackLog& log = *group.TrackLogs()[i];
      child->setText(0, QStringLiteral("%1 (%2points)").arg(text(log.name)).arg(log.Points().size()));
      child->setIcon(0, images[kImageTrackLog]);
      child->setToolTip(0, child->text(0));
      child->setData(0, kRoleKind, int(kTrekTrackLog));
      child->setData(0, kRoleItem, quintptr(&log));
      QList<QTreeWidgetItem*> points;
      points.reserve(qsizetype(log.Points().size()));
      for (std::size_t k = 0; k < log.Points().size(); ++k) {
        auto* pt = new QTreeWidgetItem;
        pt->setText(0, QString::fromStdString(log.Points()[k].Label()));
        pt->setIcon(0, images[kImageTrackPoint]);
        pt->setData(0, kRoleKind, int(kTrekTrackPoint));
        pt->setData(0, kRoleGroup, int(g));
        pt->setData(0, kRoleItem, quintptr(&log));
        pt->setData(0, kRolePoint, int(k));
        points.push_back(pt);
      }
      child->addChildren(points);
      if (logsExpanded.contains(quintptr(&log))) child->setExpanded(true);
    }
    node->setExpanded(groupsExpanded.value(quintptr(&group), true));
  }
  // Lay the items out now, so that the scroll range is there to take the old position.
  m_tree->doItemsLayout();
  m_tree->horizontalScrollBar()->setValue(scrollX);
  m_tree->verticalScrollBar()->setValue(scrollY);
  m_filling = false;
  m_tree->setUpdatesEnabled(true);
  // Nothing to browse without trek data.
  setEnabled(!groups.empty());
}

bool CTrekDataList::Select(int groupIndex, const void* item, int pointIndex, int kind, bool expand) {
  if (groupIndex < 0) return false;
  QTreeWidgetItem* node = nullptr;
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    if (m_tree->topLevelItem(i)->data(0, kRoleGroup).toInt() == groupIndex) {
      node = m_tree->topLevelItem(i);
      break;
    }
  }
  if (!node) return false;
  QTreeWidgetItem* found = node;
  if (item && kind != kTrekWaypointGroup && kind != kTrekTrackLogGroup && kind != kTrekRouteGroup) {
    found = nullptr;
    for (int i = 0; i < node->childCount() && !found; ++i)
      if (node->child(i)->data(0, kRoleItem).value<quintptr>() == quintptr(item)) found = node->child(i);
    if (found && (kind == kTrekTrackPoint || kind == kTrekRoutePoint)) {
      QTreeWidgetItem* log = found;
      found = pointIndex >= 0 && pointIndex < log->childCount() ? log->child(pointIndex) : nullptr;
      log->setExpanded(true);
    }
    if (!found) return false;
    if (kind == kTrekTrackLog && expand) found->setExpanded(true);
  }
  const bool was = m_filling;
  m_filling = true;
  m_tree->setCurrentItem(found);
  m_tree->scrollToItem(found);
  m_filling = was;
  return true;
}

void CTrekDataList::followDocument() {
  const STrekSelection& sel = m_doc.TrekGroups().Selection();
  if (sel.groupIndex < 0) {
    const bool was = m_filling;
    m_filling = true;
    m_tree->setCurrentItem(nullptr);
    m_tree->clearSelection();
    m_filling = was;
    return;
  }
  const void* item = sel.kind == kTrekWaypoint ? static_cast<const void*>(sel.waypoint)
                     : sel.kind == kTrekTrackLog || sel.kind == kTrekTrackPoint ? static_cast<const void*>(sel.trackLog)
                     : sel.kind == kTrekRoute || sel.kind == kTrekRoutePoint     ? static_cast<const void*>(sel.route)
                                                                                 : nullptr;
  (void)Select(sel.groupIndex, item, sel.pointIndex, sel.kind, false);
}

void CTrekDataList::onCurrentItemChanged(QTreeWidgetItem* current) {
  if (m_filling || !current) return;
  STrekSelection request;
  request.groupIndex = current->data(0, kRoleGroup).toInt();
  const int kind = current->data(0, kRoleKind).toInt();
  const quintptr item = current->data(0, kRoleItem).value<quintptr>();
  CTrekData* group = m_doc.TrekGroups().Group(request.groupIndex);
  if (!group) return;
  if (!current->parent()) {
    request.kind = kTrekNone;
    m_selectedGroupNode = request.groupIndex;
  } else {
    m_selectedGroupNode = -1;
    request.kind = kind;
    // The node's address is only ever compared with the group's own items before use.
    if (kind == kTrekWaypoint) {
      for (const auto& wp : group->Waypoints())
        if (quintptr(wp.get()) == item) request.waypoint = wp.get();
    } else if (kind == kTrekRoute || kind == kTrekRoutePoint) {
      for (const auto& r : group->Routes())
        if (quintptr(r.get()) == item) request.route = r.get();
      if (kind == kTrekRoutePoint) request.pointIndex = current->data(0, kRolePoint).toInt();
    } else {
      for (const auto& log : group->TrackLogs())
        if (quintptr(log.get()) == item) request.trackLog = log.get();
      if (kind == kTrekTrackPoint) request.pointIndex = current->data(0, kRolePoint).toInt();
    }
  }
  // A refused choice (the trek data is held by an editing window) puts the tree back.
  if (!m_doc.TrekGroups().Select(request)) followDocument();
}

bool CTrekDataList::clickAllowed(const QTreeWidgetItem* item) const {
  const CTrekGroupList& list = m_doc.TrekGroups();
  if (list.IsLocked()) return false;
  if (!list.IsTrackLogEditing() || !item) return true;
  // Only the edited track log and its points may be chosen.
  if (!item->parent()) return false;
  const int kind = item->data(0, kRoleKind).toInt();
  if (kind != kTrekTrackLog && kind != kTrekTrackPoint) return true;
  const STrekSelection& sel = list.Selection();
  return item->data(0, kRoleGroup).toInt() == sel.groupIndex &&
         item->data(0, kRoleItem).value<quintptr>() == quintptr(sel.trackLog);
}

bool CTrekDataList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_tree && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enterOrEscape = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape;
    if (event->type() == QEvent::KeyPress && (enterOrEscape || m_doc.TrekGroups().IsLocked())) return true;
    if (event->type() == QEvent::ShortcutOverride && enterOrEscape) {
      event->accept();  // kept from the dock and the window
      return true;
    }
  }
  if (watched == m_tree->viewport()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseButtonRelease: {
        const auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton) return event->type() != QEvent::MouseButtonRelease;
        if (me->button() == Qt::LeftButton && !clickAllowed(m_tree->itemAt(me->position().toPoint()))) return true;
        break;
      }
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CTrekDataList::goTo(const QTreeWidgetItem* item) {
  if (!item || !m_lookup) return;
  const int kind = item->data(0, kRoleKind).toInt();
  // The first click of the two made the item the document's selection.
  const int id = kind == kTrekWaypoint ? cmd::GotoWaypoint : kind == kTrekTrackPoint ? cmd::GotoTrackPoint : 0;
  QAction* action = id ? m_lookup(id) : nullptr;
  if (action && action->isEnabled()) action->trigger();
}

void CTrekDataList::showContextMenu(const QPoint& globalPos) {
  const int kind = m_doc.SelectionKind();
  const bool waypoint = kind == kTrekWaypointGroup || kind == kTrekWaypoint;
  const bool track = kind >= kTrekTrackLog && kind <= kTrekTrackPoint;
  const bool route = kind >= kTrekRouteGroup && kind <= kTrekRoutePoint;
  if (!waypoint && !track && !route) return;
  emit contextMenuAboutToShow();
  if (m_menu) m_menu->deleteLater();
  m_menu = new QMenu(this);
  m_menu->setObjectName(waypoint ? QStringLiteral("trekMenu153") : QStringLiteral("trekMenu191"));
  m_menu->setAttribute(Qt::WA_DeleteOnClose, false);
  const auto add = [this](int id) {
    if (id == 0) {
      m_menu->addSeparator();
    } else if (QAction* a = m_lookup ? m_lookup(id) : nullptr) {
      m_menu->addAction(a);
    }
  };
  if (waypoint) {
    for (int id : kWaypointMenu) add(id);
  } else if (route) {
    for (int id : kRouteMenu) add(id);
  } else {
    for (int id : kTrackMenu) add(id);
  }
  m_menu->popup(globalPos);
}
