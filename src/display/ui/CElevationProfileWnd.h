#pragma once
// The elevation profile window ("標高グラフ"): the altitude of the selected track log over the
// distance walked or over the time of day. The mouse over the profile marks the matching point
// on the map, a click selects that track point, and a drag along the profile selects a stretch
// whose figures are shown below the plot.
#include <QPoint>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <vector>

#include "trek/ElevationProfile.h"

class AppSettings;
class CTrackLog;
class CVantoriaDoc;
class DmsAngle;
class QAbstractSeries;
class QAreaSeries;
class QButtonGroup;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QStackedWidget;
class QToolButton;

class CElevationProfileWnd : public QWidget {
  Q_OBJECT
 public:
  explicit CElevationProfileWnd(CVantoriaDoc& doc, QWidget* parent = nullptr);
  ~CElevationProfileWnd() override;

  /// The pause threshold of the figures of a stretch (not owned; null: the default).
  void setSettings(const AppSettings* settings) { m_settings = settings; }

  /// Altitude over distance or over time (the two buttons above the plot).
  void setAxis(trek::EProfileAxis axis);
  [[nodiscard]] trek::EProfileAxis axis() const { return m_axis; }

  /// The track log shown; null when none is selected.
  [[nodiscard]] const CTrackLog* trackLog() const { return m_log; }
  /// The profile shown (all its points; the plot draws a thinned copy).
  [[nodiscard]] const trek::SElevationProfile& profile() const { return m_profile; }
  /// Points handed to the plot and the pixel columns they were thinned for.
  [[nodiscard]] std::size_t drawnPointCount() const { return m_drawnPoints; }
  [[nodiscard]] int drawnColumns() const { return m_columns; }
  /// The text shown instead of the plot; empty while the plot is shown.
  [[nodiscard]] QString emptyText() const;
  /// Where a profile point (an index into profile().points) is drawn, in the plot's viewport.
  [[nodiscard]] QPoint viewportPointOf(std::size_t profileIndex) const;
  /// The track point under the mouse; none when the mouse is not over the plot.
  [[nodiscard]] std::optional<std::size_t> hoveredPoint() const { return m_hovered; }
  /// The line above the plot naming the hovered point.
  [[nodiscard]] QString readoutText() const;
  /// The stretch chosen by dragging and its figures; none / empty without one.
  [[nodiscard]] std::optional<trek::SProfileRange> range() const { return m_range; }
  [[nodiscard]] QString rangeText() const { return m_rangeText; }
  void clearRange();
  /// The plot's drawing area, which takes the mouse.
  [[nodiscard]] QWidget* plotViewport() const;

 signals:
  /// The map should mark this WGS-84 position / no position.
  void markerMoved(const DmsAngle& latitude, const DmsAngle& longitude);
  void markerCleared();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class CChartView;
  friend class CChartView;

  /// Takes the selected track log from the document.
  void follow();
  /// Profile of the shown log over the current axis; the distances are computed once per log.
  void rebuild();
  /// Axes and plot for the current profile.
  void setUpChart();
  /// Thins the profile to the plot's width and hands it to the line series.
  void fillSeries();
  void showEmpty(const QString& text);
  void updateSelectedPoint();
  void updateRangeShade();
  [[nodiscard]] QString rangeFigures() const;

  // Mouse on the plot, in the chart view's viewport.
  void mouseMoved(const QPoint& pos, bool leftDown);
  void mousePressed(const QPoint& pos);
  void mouseReleased(const QPoint& pos);
  void mouseLeft();
  void plotAreaChanged();
  void fitAltitudeTicks();
  /// Profile x of a viewport point (clamped to the plot); none without a plot.
  [[nodiscard]] std::optional<double> profileXAt(const QPoint& pos, bool clamp) const;
  [[nodiscard]] double plotX(double profileX) const;
  [[nodiscard]] double profileX(double plotX) const;
  void setHovered(std::optional<std::size_t> profileIndex);

  CVantoriaDoc& m_doc;
  const AppSettings* m_settings = nullptr;
  trek::EProfileAxis m_axis = trek::EProfileAxis::Distance;

  // The shown log and what is computed from it.
  const CTrackLog* m_log = nullptr;
  int m_groupIndex = -1;
  bool m_dirty = true;  ///< the log or its points changed since the last rebuild
  std::vector<double> m_distances;
  trek::SElevationProfile m_profile;
  bool m_kilometres = false;  ///< distance axis in km (else m)

  // Plot state.
  std::size_t m_drawnPoints = 0;
  int m_niceTicks = 5;  // the altitude axis's tick count before a low window thins it
  int m_columns = 0;
  std::optional<std::size_t> m_hovered;  ///< index into m_profile.points
  std::optional<trek::SProfileRange> m_range;
  QString m_rangeText;
  double m_rangeX0 = 0.0;
  double m_rangeX1 = 0.0;
  std::optional<QPoint> m_pressAt;
  double m_pressX = 0.0;
  bool m_dragging = false;

  QButtonGroup* m_axisButtons = nullptr;
  QToolButton* m_byDistance = nullptr;
  QToolButton* m_byTime = nullptr;
  QLabel* m_title = nullptr;
  QLabel* m_readout = nullptr;
  QStackedWidget* m_stack = nullptr;
  QLabel* m_empty = nullptr;
  QChartView* m_chartView = nullptr;
  QChart* m_chart = nullptr;  ///< owned by the chart view
  std::vector<QAbstractSeries*> m_lineSeries;
  QScatterSeries* m_hoverDot = nullptr;
  QLineSeries* m_hoverLine = nullptr;
  QScatterSeries* m_selectedDot = nullptr;
  QAreaSeries* m_rangeShade = nullptr;
  QLabel* m_rangeLabel = nullptr;
};
