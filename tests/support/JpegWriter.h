#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace orlix::test {

// The colour spaces a JPEG can store its pixels in.
enum class JpegSpace { Grey, YCbCr, Rgb, Cmyk, Ycck };

// The first component's sampling factors (4:2:0 and so on), or libjpeg's own for the space.
enum class Subsampling { Libjpeg, S444, S422, S420, S440, S411 };

enum class Coding { Huffman, OptimisedHuffman, Arithmetic };

// How a four-channel picture holds the colours: as Adobe writes CMYK, inverted, with the
// picture's red, green and blue as the stored C, M and Y and no black, so that a plain decode
// gives the picture back; or as the complement of red, green and blue with the black taken out.
enum class Inks { AdobeInverted, BlackTakenOut };

// How a JPEG is written.
struct JpegRecipe {
    JpegSpace space = JpegSpace::YCbCr;
    Subsampling subsampling = Subsampling::Libjpeg;
    Coding coding = Coding::Huffman;
    bool progressive = false;
    int restartRows = 0; // a restart marker every this many MCU rows; 0: see restartMcus
    int restartMcus = 0; // a restart marker every this many MCUs; 0 for both: none
    int orientation = 0; // the Exif orientation, 1-8; 0: no Exif data
    int quality = 75;    // QImageWriter's default
    Inks inks = Inks::AdobeInverted;
};

// Photos as cameras write them: a restart marker at every MCU row.
inline constexpr JpegRecipe kCameraJpeg{JpegSpace::YCbCr, Subsampling::Libjpeg, Coding::Huffman,
                                        false, 1};

// `image` written by libjpeg's compressor as `recipe` says, in colour spaces and shapes Qt's
// writer does not make.
QByteArray writeJpeg(const QImage& image, const JpegRecipe& recipe);
// The same in `space`, at quality 90, as the decoding tests write their files.
QByteArray writeJpeg(const QImage& image, JpegSpace space, bool progressive = false,
                     int restartRows = 0, int restartMcus = 0);

// `jpeg` with a frame header that claims `size`, its data left as it is; empty without one.
QByteArray withFrameSize(QByteArray jpeg, QSize size);

// A grey progressive picture of `size` made of `scans` empty DC scans: little to read, much to
// decode.
QByteArray scanBomb(QSize size, int scans);

} // namespace orlix::test
