#include "output/CBgrImage.h"

#include <QImage>
#include <new>

std::int64_t CBgrImage::Stride(int width) { return (std::int64_t{width} * 3 + 3) / 4 * 4; }

bool CBgrImage::Allocate(int width, int height) {
  release();
  if (width <= 0 || height <= 0) return false;
  const std::int64_t stride = Stride(width);
  if (stride * height > kMaxBytes) return false;
  m_bits.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(stride * height)]());
  if (!m_bits) return false;
  m_width = width;
  m_height = height;
  m_stride = static_cast<int>(stride);
  return true;
}

void CBgrImage::release() {
  m_bits.reset();
  m_width = m_height = m_stride = 0;
}

std::uint8_t* CBgrImage::scanLine(int y) {
  if (!m_bits || y < 0 || y >= m_height) return nullptr;
  return m_bits.get() + static_cast<std::size_t>(m_height - 1 - y) * static_cast<std::size_t>(m_stride);
}

const std::uint8_t* CBgrImage::scanLine(int y) const { return const_cast<CBgrImage*>(this)->scanLine(y); }

std::span<const std::uint8_t> CBgrImage::bits() const {
  if (!m_bits) return {};
  return {m_bits.get(), static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(m_height)};
}

void CBgrImage::CopyFrom(const QImage& source, const QRect& area, int top) {
  if (!m_bits || source.isNull()) return;
  // Source pixels that exist, then the part of them that lands inside this picture.
  QRect from = area.normalized() & source.rect();
  const QPoint shift(-area.normalized().left(), top - area.normalized().top());
  from &= QRect(0, 0, m_width, m_height).translated(-shift);
  if (from.isEmpty()) return;
  const bool direct = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32;
  const QImage converted = direct ? QImage() : source.copy(from).convertToFormat(QImage::Format_RGB32);
  const QImage& pixels = direct ? source : converted;
  const QPoint origin = direct ? QPoint(0, 0) : from.topLeft();
  for (int y = from.top(); y <= from.bottom(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(pixels.constScanLine(y - origin.y())) + (from.left() - origin.x());
    std::uint8_t* out = scanLine(y + shift.y()) + static_cast<std::ptrdiff_t>(from.left() + shift.x()) * 3;
    for (int x = 0; x < from.width(); ++x) {
      *out++ = static_cast<std::uint8_t>(qBlue(in[x]));
      *out++ = static_cast<std::uint8_t>(qGreen(in[x]));
      *out++ = static_cast<std::uint8_t>(qRed(in[x]));
    }
  }
}
