#pragma once

#include <QByteArray>
#include <QImage>

namespace orlix::demo {

// Qt reads GIF files but cannot write them, so the demo pictures bring their own encoder:
// one frame, GIF89a, a fixed 256-colour palette (a 6 x 6 x 6 colour cube and 40 greys) with
// ordered dithering, LZW-compressed.
QByteArray encodeGif(const QImage& image);

// The palette index each pixel gets; the encoder writes exactly these.
QByteArray paletteIndices(const QImage& image);

// The palette's colour for an index.
QRgb paletteColour(int index);

} // namespace orlix::demo
