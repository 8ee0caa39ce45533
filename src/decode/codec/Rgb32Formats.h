#pragma once

#include <QtGlobal>

#include <lcms2.h>

namespace orlix {

// Little CMS's names for the layouts a decoded picture has in a QImage of Format_RGB32.

// RGB32 itself: in memory the unused byte last or first.
inline constexpr cmsUInt32Number kRgb32 =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;
// A grey picture decoded into RGB32: the one channel, three copies of it passed over.
inline constexpr cmsUInt32Number kGreyInRgb32 =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3) |
    (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 0 : SWAPFIRST_SH(1));
// A CMYK picture kept as stored, four bytes a pixel: Adobe's CMYK JPEGs store 255 for no ink.
inline constexpr cmsUInt32Number kAdobeCmyk = TYPE_CMYK_8_REV;

} // namespace orlix
