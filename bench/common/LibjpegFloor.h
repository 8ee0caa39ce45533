#pragma once

#include <QImage>
#include <QString>

#include <chrono>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>

#include <jpeglib.h>

namespace orlix::bench {

// libjpeg alone on one thread at `eighths`/8, as djpeg decodes (read_scanlines into a buffer),
// in milliseconds; with `passOver`, every row but the last is passed over instead of decoded
// (which still entropy-decodes it).
inline double libjpegDecodeMs(const QString& path, int eighths, bool passOver = false) {
    const auto start = std::chrono::steady_clock::now();
    FILE* file = std::fopen(path.toLocal8Bit().constData(), "rb");
    if (!file)
        qFatal("cannot open %s", qPrintable(path));
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.scale_num = unsigned(eighths);
    info.scale_denom = 8;
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    // A whole picture's memory, as the program needs, left untouched until written.
    QImage pixels(int(info.output_width), int(info.output_height), QImage::Format_RGB32);
    if (passOver)
        jpeg_skip_scanlines(&info, info.output_height - 1);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace orlix::bench
