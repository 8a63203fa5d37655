#include "display/CMapCanvas.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "display/SheetKernels.h"
#include "maps/SheetImage.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

void fillImageRect(QImage& image, const QRect& rect, std::uint32_t value) {
  const QRect r = rect & image.rect();
  if (r.isEmpty()) return;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y)) + r.left();
    std::fill(line, line + r.width(), value);
  }
}


// Copies a row of pixels; with `stream`, four at a time without reading the destination in first.
void copyRow(std::uint32_t* d, const std::uint32_t* s, int count, bool stream) {
  if (stream && sheetkernels::StreamCopy(d, s, count)) return;
#if defined(__SSE2__)
  if (stream) {
    int x = 0;
    for (; x < count && (reinterpret_cast<std::uintptr_t>(d + x) & 15) != 0; ++x) d[x] = s[x];
    for (; x + 4 <= count; x += 4)
      _mm_stream_si128(reinterpret_cast<__m128i*>(d + x), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x)));
    for (; x < count; ++x) d[x] = s[x];
    return;
  }
#endif
  (void)stream;
  std::memcpy(d, s, static_cast<std::size_t>(count) * 4);
}

void endStreaming(bool stream) {
#if defined(__SSE2__)
  if (stream) _mm_sfence();
#endif
  (void)stream;
}

}  // namespace

// ---- MapBackBuffer ----

bool MapBackBuffer::Recreate(int clientWidth, int clientHeight, double devicePixelRatio) {
  m_image = QImage();
  if (clientWidth <= 0 || clientHeight <= 0) return true;
  if (clientWidth > 32768 || clientHeight > 32768) return false;
  if (!(devicePixelRatio > 0.0) || devicePixelRatio > 16.0) devicePixelRatio = 1.0;
  const int width = static_cast<int>(std::ceil(clientWidth * devicePixelRatio));
  const int height = static_cast<int>(std::ceil(clientHeight * devicePixelRatio));
  if (width > 32768 || height > 32768) return false;
  const std::int64_t pixels = std::int64_t{width} * height;
  if (!m_memory.reserve(static_cast<std::size_t>(pixels) * 4)) return false;
  m_image = QImage(static_cast<uchar*>(m_memory.data()), width, height, width * 4, QImage::Format_RGB32);
  m_image.setDevicePixelRatio(devicePixelRatio);
  return true;
}

void MapBackBuffer::release() {
  m_image = QImage();
  m_memory.reset();
}

// ---- CMapCanvas ----

CMapCanvas::CMapCanvas() = default;

void CMapCanvas::setSheet(SheetImage* image, int series) {
  m_bitmap.setSource(image);
  m_series = series;
}

void CMapCanvas::setComposer(MapComposer composer, double ratio, const QSize& mapSize) {
  m_composer = std::move(composer);
  m_composedSize = m_composer ? mapSize : QSize();
  if (m_composer) m_ratio = ratio;
}

QSize CMapCanvas::render(double ratio) {
  m_ratio = ratio;
  return m_bitmap.Render(std::min(ratio * m_dpr, 1.0), m_series);
}

void CMapCanvas::setDevicePixelRatio(double ratio) {
  if (!(ratio > 0.0) || ratio > 16.0) ratio = 1.0;
  if (ratio == m_dpr) return;
  m_dpr = ratio;
  if (!m_client.isEmpty()) (void)Recreate(m_client.width(), m_client.height());
  if (!m_composer && m_bitmap.isReady() && !m_suspended) render(m_ratio);
}

bool CMapCanvas::Recreate(int clientWidth, int clientHeight) {
  m_client = QSize(clientWidth, clientHeight);
  return m_back.Recreate(clientWidth, clientHeight, m_dpr);
}

bool CMapCanvas::RefreshColours(int series) {
  if (series != -1 && series != m_series) return false;
  render(m_ratio);
  return true;
}

QSize CMapCanvas::mapSize() const {
  if (m_composer) return m_composedSize;
  if (!m_bitmap.isReady()) return {0, 0};
  if (m_ratio <= 1.0 && m_dpr == 1.0) return m_bitmap.Size();
  const QSize source = m_bitmap.sourceSize();
  return ScaledSheetBitmap::ScaledSize(source.width(), source.height(), m_ratio);
}

QRect CMapCanvas::PaintBox(const QRect& clip, double ratio) {
  return ratio > 1.0 ? clip.adjusted(-2, -2, 2, 2) : clip;
}

int CMapCanvas::SheetPixelAt(int logical, double ratio) {
  return static_cast<int>(std::floor(logical / ratio));
}

void CMapCanvas::StretchMap(const QImage& sheet, double ratio, const QRect& box, QImage& to, const QPoint& origin,
                            bool mayStream) {
  const QRect target = box & QRect(origin, to.size());
  if (target.isEmpty() || sheet.isNull() || !(ratio > 0.0)) return;
  // Columns and rows of the box that show a sheet pixel.
  const int x0 = std::max(target.left(), 0);
  const int y0 = std::max(target.top(), 0);
  const int x1 = target.right() + 1;
  const int y1 = target.bottom() + 1;
  if (x0 >= x1 || y0 >= y1) return;
  std::vector<std::int32_t> xmap(static_cast<std::size_t>(x1 - x0));
  int last = x1;
  for (int x = x0; x < x1; ++x) {
    const int sx = SheetPixelAt(x, ratio);
    if (sx >= sheet.width()) {
      last = x;
      break;
    }
    xmap[static_cast<std::size_t>(x - x0)] = sx;
  }
  const int count = last - x0;
  if (count <= 0) return;
  const std::int32_t* xs = xmap.data();
  const bool stream = mayStream && std::int64_t{count} * (y1 - y0) * 4 >= sheetkernels::StreamBytes();
  // Each stretched sheet row is made once (in a row kept in the cache when streaming) and copied
  // to the rows that show it.
  std::vector<std::uint32_t> row(stream ? static_cast<std::size_t>(count) : 0);
  int previousSource = -1;
  const std::uint32_t* previousRow = nullptr;
  for (int y = y0; y < y1; ++y) {
    const int sy = SheetPixelAt(y, ratio);
    if (sy >= sheet.height()) break;
    auto* d = reinterpret_cast<std::uint32_t*>(to.scanLine(y - origin.y())) + (x0 - origin.x());
    if (sy != previousSource) {
      const auto* s = reinterpret_cast<const std::uint32_t*>(sheet.constScanLine(sy));
      std::uint32_t* r = stream ? row.data() : d;
      if (!sheetkernels::StretchRow(r, s, sheet.width(), xs, count))
        for (int i = 0; i < count; ++i) r[i] = s[xs[i]];
      previousSource = sy;
      previousRow = r;
      if (!stream) continue;
    }
    copyRow(d, previousRow, count, stream);
  }
  endStreaming(stream);
}

QPoint CMapCanvas::deviceOrigin(const QPoint& origin) const {
  if (m_dpr == 1.0) return origin;
  return {static_cast<int>(std::lround(origin.x() * m_dpr)), static_cast<int>(std::lround(origin.y() * m_dpr))};
}

QRect CMapCanvas::toDevice(const QRect& r) const {
  if (m_dpr == 1.0) return r;
  const int left = static_cast<int>(std::floor(r.left() * m_dpr));
  const int top = static_cast<int>(std::floor(r.top() * m_dpr));
  const int right = static_cast<int>(std::ceil((r.right() + 1) * m_dpr));
  const int bottom = static_cast<int>(std::ceil((r.bottom() + 1) * m_dpr));
  return QRect(left, top, right - left, bottom - top);
}

void CMapCanvas::composeMap(QImage& to, const QRect& box, const QPoint& toOrigin, bool mayStream) const {
  const double ratio = deviceRatio();
  if (m_composer) {
    m_composer(to, box, toOrigin, ratio);
    return;
  }
  const QImage& surface = m_bitmap.Surface();
  if (ratio <= 1.0) {
    const QRect have = box & QRect(QPoint(0, 0), m_bitmap.Size());
    if (have.isEmpty()) {
      fillImageRect(to, box.translated(-toOrigin), kWhite);
      return;
    }
    // White only where the copy does not reach (right of and below the map).
    fillImageRect(to, QRect(box.left(), box.top(), box.width(), have.top() - box.top()).translated(-toOrigin), kWhite);
    fillImageRect(to, QRect(box.left(), have.bottom() + 1, box.width(), box.bottom() - have.bottom()).translated(-toOrigin),
                  kWhite);
    fillImageRect(to, QRect(box.left(), have.top(), have.left() - box.left(), have.height()).translated(-toOrigin), kWhite);
    fillImageRect(to, QRect(have.right() + 1, have.top(), box.right() - have.right(), have.height()).translated(-toOrigin),
                  kWhite);
    const bool stream = mayStream && std::int64_t{have.width()} * have.height() * 4 >= sheetkernels::StreamBytes();
    for (int y = have.top(); y <= have.bottom(); ++y) {
      const auto* s = reinterpret_cast<const std::uint32_t*>(surface.constScanLine(y)) + have.left();
      auto* d = reinterpret_cast<std::uint32_t*>(to.scanLine(y - toOrigin.y())) + (have.left() - toOrigin.x());
      copyRow(d, s, have.width(), stream);
    }
    endStreaming(stream);
  } else {
    const QSize source = m_bitmap.sourceSize();
    const QSize deviceMap = ScaledSheetBitmap::ScaledSize(source.width(), source.height(), ratio);
    if (!QRect(QPoint(0, 0), deviceMap).contains(box)) fillImageRect(to, box.translated(-toOrigin), kWhite);
    StretchMap(surface, ratio, box, to, toOrigin, mayStream);
  }
}

bool CMapCanvas::PaintsPixels(QPainter& target) const {
  QPoint offset;
  return m_dpr == 1.0 && !m_suspended && hasPicture() && !m_back.image().isNull() && DirectTarget(target, 1.0, offset);
}

QRect CMapCanvas::composeBack(const QRect& clip, const QPoint& origin, const MapOverlayPainter& overlays) {
  QImage& back = m_back.image();
  if (back.isNull()) return {};
  const QRect logicalBox = PaintBox(clip, deviceRatio()) & QRect(origin, m_client);
  if (logicalBox.isEmpty()) return {};
  const QRect local = toDevice(logicalBox.translated(-origin)) & back.rect();
  if (local.isEmpty()) return {};
  const QPoint devOrigin = deviceOrigin(origin);
  composeMap(back, local.translated(devOrigin), devOrigin);
  if (overlays) {
    QPainter painter(&back);
    if (m_dpr == 1.0)
      painter.translate(-origin);
    else
      painter.translate(-devOrigin.x() / m_dpr, -devOrigin.y() / m_dpr);
    painter.setClipRect(logicalBox);
    for (const EMapOverlay which : kOverlayOrder) overlays(painter, which, logicalBox);
  }
  return local;
}

void CMapCanvas::setPaintingSuspended(bool suspended) {
  if (suspended && !m_suspended && m_backStale && hasPicture()) {
    // The picture on screen, whole, for the paints while suspended.
    (void)composeBack(QRect(m_lastOrigin, m_client), m_lastOrigin, m_lastOverlays);
    m_backStale = false;
  }
  m_suspended = suspended;
}

QImage* CMapCanvas::DirectTarget(QPainter& painter, double dpr, QPoint& offset) {
  QPaintEngine* engine = painter.paintEngine();
  if (!engine || engine->type() != QPaintEngine::Raster || painter.hasClipping()) return nullptr;
  QPaintDevice* device = engine->paintDevice();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied) return nullptr;
  if (!image->isDetached() || painter.opacity() != 1.0 ||
      painter.compositionMode() != QPainter::CompositionMode_SourceOver)
    return nullptr;
  const QTransform t = painter.deviceTransform();
  if (t.type() > QTransform::TxScale || t.m11() != dpr || t.m22() != dpr) return nullptr;
  const double dx = t.dx(), dy = t.dy();
  if (dx != std::round(dx) || dy != std::round(dy) || std::abs(dx) > 1e6 || std::abs(dy) > 1e6) return nullptr;
  offset = QPoint(static_cast<int>(dx), static_cast<int>(dy));
  return image;
}

void CMapCanvas::PaintMap(QPainter& target, const QRect& clip, const QPoint& origin,
                          const MapOverlayPainter& overlays, const MapPixelPainter& pixels) {
  QImage& back = m_back.image();
  const double dpr = m_dpr;
  auto copyToTarget = [&](const QRect& device) {
    if (dpr == 1.0)
      target.drawImage(device.topLeft(), back, device);
    else
      target.drawImage(QPointF(device.left() / dpr, device.top() / dpr), back, QRectF(device));
  };
  if (m_suspended) {
    if (!back.isNull()) {
      const QRect device = toDevice(clip.translated(-origin)) & back.rect();
      if (!device.isEmpty()) copyToTarget(device);
    }
    return;
  }
  if (!hasPicture()) {
    target.fillRect(clip.translated(-origin), m_windowColour);
    return;
  }
  if (back.isNull()) return;

  QPoint offset;
  if (QImage* image = DirectTarget(target, dpr, offset)) {
    // Straight onto the target: the map, then the overlays through its painter.
    const QRect logicalBox = PaintBox(clip, deviceRatio()) & QRect(origin, m_client);
    if (logicalBox.isEmpty()) return;
    QRect local = toDevice(logicalBox.translated(-origin)) & back.rect();
    const QPoint toOrigin = deviceOrigin(origin) - offset;
    const QRegion system = target.paintEngine()->systemClip();
    const QRect writable = system.isEmpty() ? image->rect() : system.boundingRect() & image->rect();
    local &= writable.translated(-offset);
    if (local.isEmpty()) return;
    // Target pixel = logical pixel - origin + offset (at a device pixel ratio of 1).
    const MapPixelPainter* drawn = pixels && dpr == 1.0 ? &pixels : nullptr;
    const auto compose = [&](const QRect& part) {
      // Lines drawn over a copy made past the caches would each fetch their rows back from
      // memory, and the next paint's stores would wait on them.
      composeMap(*image, part.translated(offset + toOrigin), toOrigin, drawn == nullptr);
      if (drawn) (*drawn)(*image, offset - origin, part.translated(offset));
    };
    if (system.isEmpty() || system.rectCount() == 1) {
      compose(local);
    } else {
      for (const QRect& r : system) {
        const QRect part = local & (r & image->rect()).translated(-offset);
        if (!part.isEmpty()) compose(part);
      }
    }
    if (overlays) {
      target.save();
      if (dpr == 1.0)
        target.translate(-origin);
      else
        target.translate(-deviceOrigin(origin).x() / dpr, -deviceOrigin(origin).y() / dpr);
      target.setClipRect(logicalBox);
      for (const EMapOverlay which : kOverlayOrder) overlays(target, which, logicalBox);
      target.restore();
    }
    m_backStale = true;
    m_lastOrigin = origin;
    m_lastOverlays = overlays;
    return;
  }

  const QRect local = composeBack(clip, origin, overlays);
  if (!local.isEmpty()) copyToTarget(local);
}
