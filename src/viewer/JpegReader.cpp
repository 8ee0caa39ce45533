#include "viewer/JpegReader.h"

#include "platform/PictureFile.h"

#include <QtEndian>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <vector>

#include <jpeglib.h>

namespace orlix {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// Everything the libjpeg callbacks reach. The decoder leaves by longjmp on errors and
// cancels, so nothing here may need a destructor to run at that point.
struct Context {
    jpeg_source_mgr source{};
    jpeg_error_mgr errors{};
    std::jmp_buf jump{};
    const platform::PictureFile* file = nullptr;
    const std::atomic<bool>* cancelled = nullptr;
    std::int64_t offset = 0; // where the next read starts
    JOCTET* buffer = nullptr;
    JpegReader::Outcome failure = JpegReader::Outcome::Invalid;
};

Context& contextOf(j_decompress_ptr info) {
    return *reinterpret_cast<Context*>(info->client_data);
}

[[noreturn]] void leave(j_common_ptr info, JpegReader::Outcome why) {
    Context& context = *reinterpret_cast<Context*>(info->client_data);
    context.failure = why;
    std::longjmp(context.jump, 1);
}

void errorExit(j_common_ptr info) {
    leave(info, JpegReader::Outcome::Invalid);
}

// Damaged data yields warnings; the program logs nothing.
void outputMessage(j_common_ptr) {}
void emitMessage(j_common_ptr, int) {}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr info) {
    Context& context = contextOf(info);
    if (context.cancelled->load(std::memory_order_relaxed))
        leave(reinterpret_cast<j_common_ptr>(info), JpegReader::Outcome::Cancelled);
    const std::int64_t count =
        context.file->readAt(context.offset, reinterpret_cast<char*>(context.buffer), kBufferSize);
    if (count < 0)
        leave(reinterpret_cast<j_common_ptr>(info), JpegReader::Outcome::ReadFailed);
    context.source.next_input_byte = context.buffer;
    if (count == 0) {
        // A file cut short ends with an inserted end marker, as libjpeg recommends: the part
        // that arrived is shown.
        context.buffer[0] = 0xFF;
        context.buffer[1] = JPEG_EOI;
        context.source.bytes_in_buffer = 2;
    } else {
        context.offset += count;
        context.source.bytes_in_buffer = static_cast<std::size_t>(count);
    }
    return TRUE;
}

void skipInputData(j_decompress_ptr info, long count) {
    if (count <= 0)
        return;
    Context& context = contextOf(info);
    const auto inBuffer = static_cast<long>(context.source.bytes_in_buffer);
    if (count <= inBuffer) {
        context.source.next_input_byte += count;
        context.source.bytes_in_buffer -= static_cast<std::size_t>(count);
        return;
    }
    context.offset += count - inBuffer;
    context.source.bytes_in_buffer = 0;
    context.source.next_input_byte = nullptr;
}

bool decodable(J_COLOR_SPACE space) {
    return space == JCS_GRAYSCALE || space == JCS_YCbCr || space == JCS_RGB;
}

// Runs the decoder; on a longjmp out of it returns the reason. Kept free of objects with
// destructors between setjmp and the decoder's calls.
JpegReader::Outcome decode(jpeg_decompress_struct& info, Context& context, int reduction,
                           QImage* image) {
    if (setjmp(context.jump))
        return context.failure;
    jpeg_read_header(&info, TRUE);
    if (!decodable(info.jpeg_color_space))
        return JpegReader::Outcome::Unsupported;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned int>(reduction);
    // The byte order of QImage::Format_RGB32, with the unused byte 0xFF as that format wants.
    info.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;
    jpeg_start_decompress(&info);
    *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                    QImage::Format_RGB32);
    if (image->isNull())
        return JpegReader::Outcome::Invalid; // no memory for it
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return JpegReader::Outcome::Decoded;
}

} // namespace

JpegReader::JpegReader(const platform::PictureFile& file, const std::atomic<bool>& cancelled)
    : file_(file), cancelled_(cancelled) {}

QSize JpegReader::reducedSize(QSize storedSize, int reduction) {
    const auto up = [reduction](int length) { return (length + reduction - 1) / reduction; };
    return QSize(up(storedSize.width()), up(storedSize.height()));
}

int JpegReader::reductionFor(QSize storedSize, bool quarterTurn, QSize needed) {
    if (quarterTurn)
        needed.transpose();
    for (const int reduction : {8, 4, 2}) {
        const QSize reduced = reducedSize(storedSize, reduction);
        if (reduced.width() >= needed.width() && reduced.height() >= needed.height())
            return reduction;
    }
    return 1;
}

JpegReader::Outcome JpegReader::read(int reduction, QImage& image) {
    std::vector<JOCTET> buffer(kBufferSize);
    Context context;
    context.file = &file_;
    context.cancelled = &cancelled_;
    context.buffer = buffer.data();

    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&context.errors);
    context.errors.error_exit = errorExit;
    context.errors.output_message = outputMessage;
    context.errors.emit_message = emitMessage;
    info.client_data = &context;
    jpeg_create_decompress(&info);
    context.source.init_source = initSource;
    context.source.fill_input_buffer = fillInputBuffer;
    context.source.skip_input_data = skipInputData;
    context.source.resync_to_restart = jpeg_resync_to_restart;
    context.source.term_source = termSource;
    info.src = &context.source;

    QImage decoded;
    const Outcome outcome = decode(info, context, reduction, &decoded);
    jpeg_destroy_decompress(&info);
    if (outcome == Outcome::Decoded)
        image = std::move(decoded);
    return outcome;
}

} // namespace orlix
