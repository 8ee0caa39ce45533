#pragma once

#include "decode/codec/ColourProfile.h"

#include <QByteArray>
#include <QImage>

#include <atomic>
#include <memory>

namespace orlix {

// How a transform's pixels are worked out.
enum class ColourPath {
    LittleCms,        // Little CMS's own transform, a pixel at a time
    MatrixShaperRows, // two matrix-shaper RGB profiles: Little CMS's tables, run over whole rows
};

// The conversion of a decoded picture from the colours its profile describes into those of the
// display, made by Little CMS: matrix and table profiles, ICC v2 and v4, RGB, grey and CMYK.
// Objects come from between(), which keeps them per pair of profiles; one object may be applied
// from several threads at once. Little CMS prints nothing through the program.
class ColourTransform {
public:
    // The conversion for a picture described by `source` shown on a display whose profile is
    // `display` (empty: sRGB). Null when the pixels are to stay as decoded: both sides are
    // sRGB, or one profile serves both. A profile Little CMS cannot use, or one of another
    // colour model than the picture's, counts as sRGB (for a CMYK picture: its plain RGB
    // decode is taken as sRGB).
    static std::shared_ptr<const ColourTransform> between(const ColourProfile& source,
                                                          const QByteArray& display);

    // Whether `icc` is sRGB as far as 8-bit pixels can tell (Little CMS maps colours through
    // it to its own sRGB unchanged).
    static bool isSrgb(const QByteArray& icc);

    ~ColourTransform();
    ColourTransform(const ColourTransform&) = delete;
    ColourTransform& operator=(const ColourTransform&) = delete;

    // What apply() expects in each four-byte pixel of an RGB32 image: RGB32 itself for Rgb and
    // Grey, the stored CMYK bytes (inverted, as Adobe writes them) for Cmyk.
    ColourModel input() const { return input_; }

    ColourPath path() const { return path_; }

    // Converts `image`, an RGB32 image holding pixels as input() says, in place to RGB32 in the
    // display's colours (an ARGB32 one keeps its alpha). Large pictures are converted on two
    // threads, which share the rows out as they go.
    void apply(QImage& image) const;
    // The same for one row of `width` pixels, in place: for rows taken one at a time as they
    // are decoded.
    void applyToRow(QRgb* row, int width) const;

private:
    ColourTransform(void* transform, ColourModel input);
    static std::shared_ptr<const ColourTransform> make(const ColourProfile& source,
                                                       const QByteArray& display);
    void convertRows(QImage& image, int from, int to) const;
    void convertRuns(QImage& image, std::atomic<int>& nextRow) const;

    void* const transform_; // cmsHTRANSFORM; lcms2.h stays out of this header
    const ColourModel input_;
    const ColourPath path_;
};

} // namespace orlix
