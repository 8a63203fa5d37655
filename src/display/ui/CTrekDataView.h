#pragma once
// The trek data view: the properties of the selected waypoint, track log or track point as a
// two-column table of six rows (positions in the display datum), with the waypoint's comment
// in a read-only box below. It follows the document's trek selection.
#include <QWidget>
#include <utility>
#include <vector>

#include "trek/TrackStatsCache.h"

class AppSettings;
class CMarkerPoint;
class CRoute;
class CTrackLog;
class CTrackPoint;
class CVantoriaDoc;
class QTableWidget;
class QTextEdit;
struct STrekSelection;

class CTrekDataView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kRows = 6;

  explicit CTrekDataView(CVantoriaDoc& doc, QWidget* parent = nullptr);

  /// "DispDatum" (not owned; null: Tokyo).
  void setSettings(const AppSettings* settings) { m_settings = settings; }

  void ShowWaypoint(const CMarkerPoint& point);
  void ShowTrackLog(const CTrackLog& log);
  void ShowTrackPoint(const CTrackPoint& point);
  /// A route: length, climb and the walking-time estimate with its rule.
  void ShowRoute(const CRoute& route);
  /// `to` as a waypoint, followed by the distance and the bearing from `from`.
  void ShowWaypointPair(const CMarkerPoint& from, const CMarkerPoint& to);
  /// The item of a selection (kinds 5, 2, 4); Clear without a group or an item; other kinds
  /// leave the view as it is.
  void Show(const STrekSelection& selection);
  /// Six empty rows, everything disabled.
  void Clear();

  /// Rows shown: the six of the item, then any figures below them (track log statistics,
  /// the distance and bearing of a waypoint pair).
  [[nodiscard]] int rowCount() const;
  [[nodiscard]] QString label(int row) const;
  [[nodiscard]] QString value(int row) const;
  [[nodiscard]] QTableWidget* table() const { return m_table; }
  [[nodiscard]] QTextEdit* commentBox() const { return m_comment; }
  /// The track log figures, kept until the trek data change.
  [[nodiscard]] const trek::CTrackStatsCache& statsCache() const { return m_stats; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void setRows(const QString (&labels)[kRows], const QString (&values)[kRows]);
  void appendRows(const std::vector<std::pair<QString, QString>>& rows);
  [[nodiscard]] int displayDatum() const;
  void layoutChildren();

  CVantoriaDoc& m_doc;
  const AppSettings* m_settings = nullptr;
  QTableWidget* m_table = nullptr;
  QTextEdit* m_comment = nullptr;
  trek::CTrackStatsCache m_stats;
  const CMarkerPoint* m_lastWaypoint = nullptr;  ///< the waypoint shown before, for a pair with Ctrl
};
