#pragma once

#include <QByteArray>
#include <QImage>

namespace orlix::fuzz {

// The colour spaces a JPEG can store its pixels in.
enum class JpegSpace { Grey, YCbCr, Rgb, Cmyk, Ycck };

// Chroma subsampling of a YCbCr picture: the luma's sampling factors.
enum class Subsampling { S444, S422, S420, S440, S411 };

enum class Coding { Huffman, OptimisedHuffman, Arithmetic };

// How one seed JPEG is written.
struct JpegRecipe {
    JpegSpace space = JpegSpace::YCbCr;
    Subsampling subsampling = Subsampling::S420;
    Coding coding = Coding::Huffman;
    bool progressive = false;
    int restartRows = 0; // 0: no restart markers
    int orientation = 0; // the Exif orientation, 1-8; 0: no Exif data
    int quality = 75;
};

// `image` written by libjpeg's compressor as `recipe` says.
QByteArray encodeJpeg(const QImage& image, const JpegRecipe& recipe);

} // namespace orlix::fuzz
