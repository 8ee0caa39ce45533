#include "LibjpegWriter.h"

#include <cstdlib>
#include <vector>

namespace orlix::test {

namespace {

// The offset of the first marker `wanted` (or of any frame header, for 0) in `jpeg`,
// walking the markers from the start; -1 when none.
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

int componentsOf(J_COLOR_SPACE space) {
    return space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK || space == JCS_YCCK ? 4 : 3;
}

} // namespace

QByteArray LibjpegWriter::write(const QImage& image, J_COLOR_SPACE space, bool progressive,
                                Restarts restarts) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(image.width());
    info.image_height = static_cast<JDIMENSION>(image.height());
    info.input_components = componentsOf(space);
    info.in_color_space = info.input_components == 4   ? JCS_CMYK
                          : info.input_components == 1 ? JCS_GRAYSCALE
                                                       : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, space);
    jpeg_set_quality(&info, 90, TRUE);
    info.restart_in_rows = restarts.rows;
    info.restart_interval = static_cast<unsigned>(restarts.mcus);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(image.width() * info.input_components));
    for (int y = 0; y < image.height(); ++y) {
        JSAMPLE* sample = row.data();
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (info.input_components == 1) {
                *sample++ = static_cast<JSAMPLE>(qGray(pixel));
                continue;
            }
            for (const int channel : {qRed(pixel), qGreen(pixel), qBlue(pixel)})
                *sample++ = static_cast<JSAMPLE>(channel);
            if (info.input_components == 4)
                *sample++ = 255; // inverted: no black ink
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    std::free(out);
    return bytes;
}

QByteArray LibjpegWriter::withFrameSize(QByteArray jpeg, QSize size) {
    const int frame = markerOffset(jpeg, 0);
    if (frame < 0)
        return QByteArray();
    jpeg[frame + 5] = static_cast<char>(size.height() >> 8);
    jpeg[frame + 6] = static_cast<char>(size.height());
    jpeg[frame + 7] = static_cast<char>(size.width() >> 8);
    jpeg[frame + 8] = static_cast<char>(size.width());
    return jpeg;
}

QByteArray LibjpegWriter::scanBomb(QSize size, int scans) {
    QImage grey(8, 8, QImage::Format_RGB32);
    grey.fill(Qt::gray);
    const QByteArray small = write(grey, JCS_GRAYSCALE, true);
    // Its tables and frame header, without any of its scans.
    QByteArray bomb = withFrameSize(small.left(markerOffset(small, 0xDA)), size);
    // A DC scan of component 1 with Huffman table 0, and no data after it.
    const QByteArray emptyScan = QByteArray::fromHex("ffda000801010000"
                                                     "0000");
    for (int i = 0; i < scans; ++i)
        bomb += emptyScan;
    return bomb + QByteArray::fromHex("ffd9");
}

} // namespace orlix::test
