#pragma once

#include "decode/codec/PictureDecoder.h"

#include <QByteArray>

namespace orlix {

namespace platform {
class PictureFile;
}

// How a picture's decoded numbers are laid out before any colour conversion: what a profile
// must describe to apply to them.
enum class ColourModel { Rgb, Grey, Cmyk };

// What a picture file says its colours mean: the ICC profile it embeds (empty: none, the
// picture is sRGB) and the colour model of its stored pixels. Only what the file holds itself
// is read: a profile a bitmap links to by name is never opened.
struct ColourProfile {
    // A profile larger than this is refused: real ones are a few hundred kB at most, and a
    // file claiming more would make every decode read and hash it.
    static constexpr qsizetype kMaxBytes = 4 * 1024 * 1024;

    QByteArray icc;
    ColourModel model = ColourModel::Rgb;

    // The profile `file` (a picture of `kind`) carries. A JPEG without one whose Exif says
    // Adobe RGB (the interoperability index "R03") is given adobeRgb(). Damaged or oversized
    // profile data gives an empty profile: the picture is then shown as sRGB.
    static ColourProfile readFrom(const platform::PictureFile& file, PictureKind kind);

    // Adobe RGB (1998), made by Little CMS from its published primaries, white and gamma.
    static const QByteArray& adobeRgb();
};

} // namespace orlix
