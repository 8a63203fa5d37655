#pragma once
// The trek overlay as the map view's layer: the document's groups drawn at the view's ratio, the
// document's selection highlighted, and the item under the mouse with its pop-up lines.
#include <QSize>
#include <QStringList>
#include <functional>

#include "display/TrekOverlay.h"
#include "display/ui/CVantoriaView.h"

class CVantoriaDoc;

class CTrekOverlayLayer : public IMapTrekOverlay {
 public:
  /// `mapSize` gives the view's map size (track lines are clipped to it).
  CTrekOverlayLayer(CVantoriaDoc& doc, std::function<QSize()> mapSize);

  void rebuild(const SheetFrame& frame, double ratio) override;
  void paint(QPainter& painter, EMapOverlay which, const QRect& clip) override;
  [[nodiscard]] STrekHover hover(const QPoint& logical, bool waypointsShown, bool tracksShown) const override;
  void select(const STrekHit& hit) override;
  [[nodiscard]] QRect itemRect(const STrekHit& hit) const override;

  [[nodiscard]] const TrekOverlay& overlay() const { return m_overlay; }
  /// The cache itself, for the view's dragging (moves items until the next rebuild).
  [[nodiscard]] TrekOverlay& overlay() { return m_overlay; }

 private:
  CVantoriaDoc& m_doc;
  std::function<QSize()> m_mapSize;
  TrekOverlay m_overlay;
};
