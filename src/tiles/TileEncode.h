#pragma once
// The stored image of one tile or custom-map picture.
#include <QImage>
#include <string>

#include "tiles/TileExport.h"

namespace tiles {

/// PNG: 8-bit RGB, or RGBA when the picture has an alpha channel, not interlaced, unfiltered,
/// at zlib's level 3.
/// JPEG: baseline at `quality` (1..100) with libjpeg's defaults (4:2:0, standard Huffman tables),
/// as the GPS units read it.
/// Empty when the picture is empty or cannot be encoded.
[[nodiscard]] std::string EncodeTile(const QImage& picture, EImageFormat format, int quality);

}  // namespace tiles
