#pragma once
// A 24-bit picture laid out as a Windows bitmap file holds it: rows bottom-up (the first row in
// memory is the bottom row), blue, green, red per pixel, every row padded to a multiple of 4
// bytes. The map image export gathers its bands here; WriteBmp and WritePng store it.
#include <QRect>
#include <cstdint>
#include <memory>
#include <span>

class QImage;

class CBgrImage {
 public:
  /// Bytes per row of a picture `width` pixels wide: 3 per pixel, padded to a multiple of 4.
  [[nodiscard]] static std::int64_t Stride(int width);
  /// Most pixel bytes a picture may hold: a bitmap file gives its whole size in 32 bits.
  static constexpr std::int64_t kMaxBytes = std::int64_t{0xFFFFFFFF} - 54;

  /// A zero-filled picture of the size. False, leaving an empty picture, when a side is not
  /// positive, the rows would exceed kMaxBytes or memory runs out.
  [[nodiscard]] bool Allocate(int width, int height);
  void release();

  [[nodiscard]] bool isNull() const { return !m_bits; }
  [[nodiscard]] int width() const { return m_width; }
  [[nodiscard]] int height() const { return m_height; }
  [[nodiscard]] int stride() const { return m_stride; }

  /// Row `y` counted from the top of the picture (0 = top row); nullptr when out of range.
  [[nodiscard]] std::uint8_t* scanLine(int y);
  [[nodiscard]] const std::uint8_t* scanLine(int y) const;
  /// The rows as they lie in memory, bottom row first: stride() x height() bytes.
  [[nodiscard]] std::span<const std::uint8_t> bits() const;

  /// Copies the pixels of `area` of `source` into this picture, the area's top-left pixel going
  /// to column 0 of row `top` (counted from the top). What lies outside either picture is left.
  void CopyFrom(const QImage& source, const QRect& area, int top = 0);

 private:
  std::unique_ptr<std::uint8_t[]> m_bits;
  int m_width = 0;
  int m_height = 0;
  int m_stride = 0;
};
