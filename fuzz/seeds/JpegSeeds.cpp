#include "JpegSeeds.h"

#include <algorithm>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace orlix::fuzz {

namespace {

struct SamplingFactors {
    int horizontal;
    int vertical;
};

SamplingFactors lumaFactors(Subsampling subsampling) {
    switch (subsampling) {
    case Subsampling::S444:
        return {1, 1};
    case Subsampling::S422:
        return {2, 1};
    case Subsampling::S420:
        return {2, 2};
    case Subsampling::S440:
        return {1, 2};
    case Subsampling::S411:
        return {4, 1};
    }
    return {1, 1};
}

J_COLOR_SPACE storedSpace(JpegSpace space) {
    switch (space) {
    case JpegSpace::Grey:
        return JCS_GRAYSCALE;
    case JpegSpace::YCbCr:
        return JCS_YCbCr;
    case JpegSpace::Rgb:
        return JCS_RGB;
    case JpegSpace::Cmyk:
        return JCS_CMYK;
    case JpegSpace::Ycck:
        return JCS_YCCK;
    }
    return JCS_YCbCr;
}

// An Exif block holding only the orientation tag: "Exif\0\0", a little-endian TIFF header and
// one directory with one entry.
QByteArray exifOrientation(int orientation) {
    QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x01\0", 16);
    const char entry[12] = {
        0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, static_cast<char>(orientation),
        0x00, 0x00, 0x00};
    exif.append(entry, sizeof entry);
    exif.append(QByteArray(4, '\0')); // no further directory
    return exif;
}

// One row of `image` in the layout the compressor is given: grey, RGB, or CMYK (the
// complement of RGB, with the black taken out).
std::vector<JSAMPLE> rowOf(const QImage& image, int y, JpegSpace space) {
    std::vector<JSAMPLE> row;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        if (space == JpegSpace::Grey) {
            row.push_back(static_cast<JSAMPLE>(qGray(pixel)));
        } else if (space == JpegSpace::Cmyk || space == JpegSpace::Ycck) {
            const int k = 255 - std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
            for (const int channel : {qRed(pixel), qGreen(pixel), qBlue(pixel)})
                row.push_back(static_cast<JSAMPLE>(255 - channel - k));
            row.push_back(static_cast<JSAMPLE>(k));
        } else {
            for (const int channel : {qRed(pixel), qGreen(pixel), qBlue(pixel)})
                row.push_back(static_cast<JSAMPLE>(channel));
        }
    }
    return row;
}

} // namespace

QByteArray encodeJpeg(const QImage& image, const JpegRecipe& recipe) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors); // the recipes are fixed: an error is a bug, and exits
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long outputSize = 0;
    jpeg_mem_dest(&info, &output, &outputSize);

    info.image_width = static_cast<JDIMENSION>(image.width());
    info.image_height = static_cast<JDIMENSION>(image.height());
    const bool grey = recipe.space == JpegSpace::Grey;
    const bool fourChannels = recipe.space == JpegSpace::Cmyk || recipe.space == JpegSpace::Ycck;
    info.input_components = grey ? 1 : fourChannels ? 4 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : fourChannels ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, storedSpace(recipe.space));
    jpeg_set_quality(&info, recipe.quality, TRUE);
    const SamplingFactors luma = lumaFactors(recipe.subsampling);
    info.comp_info[0].h_samp_factor = luma.horizontal;
    info.comp_info[0].v_samp_factor = luma.vertical;
    info.arith_code = recipe.coding == Coding::Arithmetic;
    info.optimize_coding = recipe.coding == Coding::OptimisedHuffman;
    info.restart_in_rows = recipe.restartRows;
    if (recipe.progressive)
        jpeg_simple_progression(&info);

    jpeg_start_compress(&info, TRUE);
    if (recipe.orientation > 0) {
        const QByteArray exif = exifOrientation(recipe.orientation);
        jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.constData()),
                          static_cast<unsigned int>(exif.size()));
    }
    while (info.next_scanline < info.image_height) {
        std::vector<JSAMPLE> row = rowOf(image, static_cast<int>(info.next_scanline), recipe.space);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(outputSize));
    std::free(output);
    return bytes;
}

} // namespace orlix::fuzz
