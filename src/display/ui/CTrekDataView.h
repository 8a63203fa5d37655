#pragma once
// The trek data view: the properties of the selected waypoint, track log or track point as a
// two-column table of six rows (positions in the display datum), with the waypoint's comment
// in a read-only box below. It follows the document's trek selection.
#include <QWidget>

class AppSettings;
class CMarkerPoint;
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
  /// The item of a selection (kinds 5, 2, 4); Clear without a group or an item; other kinds
  /// leave the view as it is.
  void Show(const STrekSelection& selection);
  /// Six empty rows, everything disabled.
  void Clear();

  [[nodiscard]] QString label(int row) const;
  [[nodiscard]] QString value(int row) const;
  [[nodiscard]] QTableWidget* table() const { return m_table; }
  [[nodiscard]] QTextEdit* commentBox() const { return m_comment; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void setRows(const QString (&labels)[kRows], const QString (&values)[kRows]);
  [[nodiscard]] int displayDatum() const;
  void layoutChildren();

  CVantoriaDoc& m_doc;
  const AppSettings* m_settings = nullptr;
  QTableWidget* m_table = nullptr;
  QTextEdit* m_comment = nullptr;
};
