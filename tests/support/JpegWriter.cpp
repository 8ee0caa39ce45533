#include "support/JpegWriter.h"

#include <algorithm>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace orlix::test {

namespace {

// What each JpegSpace stores.
constexpr J_COLOR_SPACE kStored[] = {JCS_GRAYSCALE, JCS_YCbCr, JCS_RGB, JCS_CMYK, JCS_YCCK};
// The first component's factors across and down, for each Subsampling after Libjpeg.
constexpr int kFirstFactors[][2] = {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {4, 1}};

// An Exif block holding only the orientation tag: "Exif\0\0", a little-endian TIFF header and
// one directory with one entry.
QByteArray exifOrientation(int orientation) {
    QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x01\0", 16);
    const char entry[12] = {
        0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, static_cast<char>(orientation),
        0x00, 0x00, 0x00};
    exif.append(entry, sizeof entry);
    return exif + QByteArray(4, '\0'); // no further directory
}

// One row of `image` as the compressor is given it: grey, red green and blue, or four inks.
std::vector<JSAMPLE> rowOf(const QImage& image, int y, int channels, Inks inks) {
    std::vector<JSAMPLE> row;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        if (channels == 1) {
            row.push_back(static_cast<JSAMPLE>(qGray(pixel)));
            continue;
        }
        const bool takeOut = channels == 4 && inks == Inks::BlackTakenOut;
        const int black = takeOut ? 255 - std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) : 0;
        for (const int channel : {qRed(pixel), qGreen(pixel), qBlue(pixel)})
            row.push_back(static_cast<JSAMPLE>(takeOut ? 255 - channel - black : channel));
        if (channels == 4)
            row.push_back(static_cast<JSAMPLE>(takeOut ? black : 255)); // inverted: no black
    }
    return row;
}

// The offset of the first marker `wanted` (or of any frame header, for 0) in `jpeg`, walking
// the markers from the start; -1 when none.
int markerOffset(const QByteArray& jpeg, int wanted) {
    const auto byte = [&](int i) { return static_cast<unsigned char>(jpeg.at(i)); };
    for (int i = 2; i + 4 <= jpeg.size() && byte(i) == 0xFF;) {
        const int marker = byte(i + 1);
        if (marker == wanted || (wanted == 0 && marker >= 0xC0 && marker <= 0xC2))
            return i;
        i += 2 + (byte(i + 2) << 8 | byte(i + 3));
    }
    return -1;
}

} // namespace

QByteArray writeJpeg(const QImage& image, const JpegRecipe& recipe) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors); // the recipes are fixed: an error is a bug, and exits
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long outputSize = 0;
    jpeg_mem_dest(&info, &output, &outputSize);

    info.image_width = static_cast<JDIMENSION>(image.width());
    info.image_height = static_cast<JDIMENSION>(image.height());
    const bool fourInks = recipe.space == JpegSpace::Cmyk || recipe.space == JpegSpace::Ycck;
    info.input_components = recipe.space == JpegSpace::Grey ? 1 : fourInks ? 4 : 3;
    info.in_color_space = recipe.space == JpegSpace::Grey ? JCS_GRAYSCALE
                          : fourInks                      ? JCS_CMYK
                                                          : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, kStored[static_cast<int>(recipe.space)]);
    jpeg_set_quality(&info, recipe.quality, TRUE);
    if (recipe.subsampling != Subsampling::Libjpeg) {
        const int* factors = kFirstFactors[static_cast<int>(recipe.subsampling) - 1];
        info.comp_info[0].h_samp_factor = factors[0];
        info.comp_info[0].v_samp_factor = factors[1];
    }
    info.arith_code = recipe.coding == Coding::Arithmetic;
    info.optimize_coding = recipe.coding == Coding::OptimisedHuffman;
    info.restart_in_rows = recipe.restartRows;
    info.restart_interval = static_cast<unsigned>(recipe.restartMcus);
    if (recipe.progressive)
        jpeg_simple_progression(&info);

    jpeg_start_compress(&info, TRUE);
    if (recipe.orientation > 0) {
        const QByteArray exif = exifOrientation(recipe.orientation);
        jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.constData()),
                          static_cast<unsigned int>(exif.size()));
    }
    while (info.next_scanline < info.image_height) {
        std::vector<JSAMPLE> row =
            rowOf(image, static_cast<int>(info.next_scanline), info.input_components, recipe.inks);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(outputSize));
    std::free(output);
    return bytes;
}

QByteArray writeJpeg(const QImage& image, JpegSpace space, bool progressive, int restartRows,
                     int restartMcus) {
    JpegRecipe recipe;
    recipe.space = space;
    recipe.progressive = progressive;
    recipe.restartRows = restartRows;
    recipe.restartMcus = restartMcus;
    recipe.quality = 90;
    return writeJpeg(image, recipe);
}

QByteArray withFrameSize(QByteArray jpeg, QSize size) {
    const int frame = markerOffset(jpeg, 0);
    if (frame < 0)
        return QByteArray();
    jpeg[frame + 5] = static_cast<char>(size.height() >> 8);
    jpeg[frame + 6] = static_cast<char>(size.height());
    jpeg[frame + 7] = static_cast<char>(size.width() >> 8);
    jpeg[frame + 8] = static_cast<char>(size.width());
    return jpeg;
}

QByteArray scanBomb(QSize size, int scans) {
    QImage grey(8, 8, QImage::Format_RGB32);
    grey.fill(Qt::gray);
    const QByteArray small = writeJpeg(grey, JpegSpace::Grey, true);
    // Its tables and frame header, without any of its scans.
    QByteArray bomb = withFrameSize(small.left(markerOffset(small, 0xDA)), size);
    // A DC scan of component 1 with Huffman table 0, and no data after it.
    const QByteArray emptyScan = QByteArray::fromHex("ffda0008010100000000");
    for (int i = 0; i < scans; ++i)
        bomb += emptyScan;
    return bomb + QByteArray::fromHex("ffd9");
}

} // namespace orlix::test
