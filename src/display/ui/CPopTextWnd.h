#pragma once
// A small borderless pop-up beside the mouse showing the name of the trek item under it, drawn as
// a translucent white sheet over whatever lies beneath.
#include <QFont>
#include <QImage>
#include <QStringList>
#include <QWidget>
#include <vector>

class CPopTextWnd : public QWidget {
  Q_OBJECT
 public:
  /// `owner` is the map view; points given to Show() are in its client coordinates.
  explicit CPopTextWnd(QWidget* owner);

  /// Shows the lines beside the point; does nothing while already visible. kind: 0 waypoint,
  /// 1 track log, 2 track point (chooses the border colour).
  void Show(const QPoint& point, const QStringList& lines, int kind);
  void Hide();

  struct SPlacement {
    QRect window;              ///< screen coordinates
    std::vector<QRect> lines;  ///< client coordinates
  };
  /// Where the window goes for a mouse point (screen coordinates) and the measured line sizes.
  static SPlacement Place(const QPoint& screenPoint, const std::vector<QSize>& lineSizes, const QRect& screen);
  /// One channel of the background faded towards white.
  static int FadeChannel(int v) { return int(0.3 * v + 178); }
  static QImage FadeToWhite(const QImage& source);
  /// Border and rule colour (0x00BBGGRR) for a kind.
  static std::uint32_t BorderColour(int kind);

  const QStringList& lines() const { return m_lines; }
  int kind() const { return m_kind; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage grabBeneath(const QRect& screenRect) const;

  QWidget* m_owner;
  QFont m_font;
  QStringList m_lines;
  std::vector<QRect> m_lineRects;
  int m_kind = 0;
  QImage m_background;  ///< what lay beneath the window, already faded
};
