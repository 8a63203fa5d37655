#pragma once
// The graduated distance bar drawn in the scale tool bar and in printed page headers.
#include <QFont>
#include <QRect>
#include <QString>
#include <cstdint>

class QPainter;

class ScaleBar {
 public:
  /// The bar chosen for an area width: its length in ground metres, its labels and the width of one
  /// tenth of it in display pixels. `visible` is false when no bar fits or the ratio is unset.
  struct SLayout {
    bool visible = false;
    int lengthM = 0;
    const char* middleLabel = "";
    const char* endLabel = "";
    int tenth = 0;  ///< display pixels; the bar is 10 tenths wide
    int x0 = 0;     ///< left edge of the bar
  };

  /// `area` as left, top, right, bottom with right and bottom exclusive; colours are 0x00BBGGRR.
  void Configure(const QRect& area, int barHeight, double ratioX, double ratioY, bool centred,
                 std::uint32_t gapColour, std::uint32_t barColour, int fontHeight, const QString& faceName);
  /// The scale tool bar's bar: the window's client area, 4 pixels high, centred, blue.
  void ConfigureForWindow(const QRect& clientArea);
  /// A printed page header's bar for a printer factor `s` (printer pixels per screen pixel):
  /// 400 s x 24 s, left-aligned, grey.
  void ConfigureForPrint(double s, double ratioX, double ratioY);
  void SetRatio(double ratioX, double ratioY) { m_ratioX = ratioX; m_ratioY = ratioY; }
  void SetSeries(int series) { m_series = series; }
  void SetArea(const QRect& area) { m_area = area; }
  int Series() const { return m_series; }
  double RatioX() const { return m_ratioX; }

  [[nodiscard]] SLayout Layout(int series) const;
  /// Draws the bar and its labels; returns the rectangle drawn (empty when nothing was drawn).
  QRect Draw(QPainter& painter, int series) const;

 private:
  QRect m_area;
  int m_barHeight = 4;
  double m_ratioX = -1.0;
  double m_ratioY = -1.0;
  bool m_centred = true;
  std::uint32_t m_gapColour = 0xFFFFFF;
  std::uint32_t m_barColour = 0xDD5500;
  QFont m_font;
  int m_series = 0;
};
