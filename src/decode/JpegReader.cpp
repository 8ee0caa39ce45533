#include "decode/JpegReader.h"

#include "platform/CurrentThread.h"
#include "platform/PictureFile.h"

#include <QtEndian>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <thread>
#include <vector>

#include <jpeglib.h>

namespace orlix {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
// Below this many rows a picture is decoded in one piece: a second band would not pay for its
// thread.
constexpr unsigned int kRowsToSplit = 512;

using Outcome = JpegReader::Outcome;

// Everything the libjpeg callbacks reach. The decoder leaves by longjmp on errors and
// cancels, so nothing here may need a destructor to run at that point.
struct Context {
    jpeg_source_mgr source{};
    jpeg_error_mgr errors{};
    std::jmp_buf jump{};
    const platform::PictureFile* file = nullptr;
    const std::atomic<bool>* cancelled = nullptr;
    const std::atomic<bool>* otherBandFailed = nullptr;
    std::int64_t offset = 0; // where the next read starts
    JOCTET* buffer = nullptr;
    Outcome failure = Outcome::Invalid;
};

Context& contextOf(j_decompress_ptr info) {
    return *reinterpret_cast<Context*>(info->client_data);
}

[[noreturn]] void leave(j_common_ptr info, Outcome why) {
    Context& context = *reinterpret_cast<Context*>(info->client_data);
    context.failure = why;
    std::longjmp(context.jump, 1);
}

void errorExit(j_common_ptr info) {
    leave(info, Outcome::Invalid);
}

// Damaged data yields warnings; the program logs nothing.
void outputMessage(j_common_ptr) {}
void emitMessage(j_common_ptr, int) {}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr info) {
    Context& context = contextOf(info);
    if (context.cancelled->load(std::memory_order_relaxed) ||
        context.otherBandFailed->load(std::memory_order_relaxed))
        leave(reinterpret_cast<j_common_ptr>(info), Outcome::Cancelled);
    const std::int64_t count =
        context.file->readAt(context.offset, reinterpret_cast<char*>(context.buffer), kBufferSize);
    if (count < 0)
        leave(reinterpret_cast<j_common_ptr>(info), Outcome::ReadFailed);
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

// One libjpeg decoder over the file. Each step below arms its own setjmp, so a longjmp lands
// in the step under way; between setjmp and the decoder's calls there is nothing with a
// destructor.
class Decoder {
public:
    Decoder(const platform::PictureFile& file, const std::atomic<bool>& cancelled,
            const std::atomic<bool>& otherBandFailed)
        : buffer_(kBufferSize) {
        context_.file = &file;
        context_.cancelled = &cancelled;
        context_.otherBandFailed = &otherBandFailed;
        context_.buffer = buffer_.data();
        info_.err = jpeg_std_error(&context_.errors);
        context_.errors.error_exit = errorExit;
        context_.errors.output_message = outputMessage;
        context_.errors.emit_message = emitMessage;
        info_.client_data = &context_;
        jpeg_create_decompress(&info_);
        context_.source.init_source = initSource;
        context_.source.fill_input_buffer = fillInputBuffer;
        context_.source.skip_input_data = skipInputData;
        context_.source.resync_to_restart = jpeg_resync_to_restart;
        context_.source.term_source = termSource;
        info_.src = &context_.source;
    }
    ~Decoder() { jpeg_destroy_decompress(&info_); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Reads the header and starts decoding at 1/`reduction`.
    Outcome start(int reduction) {
        if (setjmp(context_.jump))
            return context_.failure;
        jpeg_read_header(&info_, TRUE);
        if (!decodable(info_.jpeg_color_space))
            return Outcome::Unsupported;
        info_.scale_num = 1;
        info_.scale_denom = static_cast<unsigned int>(reduction);
        // The byte order of QImage::Format_RGB32, the unused byte 0xFF as that format wants.
        info_.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;
        jpeg_start_decompress(&info_);
        return Outcome::Decoded;
    }

    // Decodes rows [from, to) into `image`; the rows above `from` are passed over, which
    // still reads their data but skips most of the work. Nothing after row `to` is read: a
    // file padded after its last row (or damaged there) costs nothing.
    // `pixels` is the first row of the picture, `stride` the bytes from one row to the next.
    Outcome readRows(uchar* pixels, qsizetype stride, unsigned int from, unsigned int to) {
        if (setjmp(context_.jump))
            return context_.failure;
        if (from > 0)
            jpeg_skip_scanlines(&info_, from);
        while (info_.output_scanline < to) {
            JSAMPROW row = pixels + stride * static_cast<qsizetype>(info_.output_scanline);
            jpeg_read_scanlines(&info_, &row, 1);
        }
        return Outcome::Decoded;
    }

    QSize outputSize() const {
        return QSize(static_cast<int>(info_.output_width), static_cast<int>(info_.output_height));
    }
    // A progressive picture keeps its whole coefficient data in memory; it is not decoded
    // twice over.
    bool oneScan() { return !jpeg_has_multiple_scans(&info_); }

private:
    std::vector<JOCTET> buffer_;
    Context context_;
    jpeg_decompress_struct info_{};
};

// Of two bands' outcomes, the one that stands for the whole picture.
Outcome combined(Outcome first, Outcome second) {
    for (const Outcome worst :
         {Outcome::Cancelled, Outcome::ReadFailed, Outcome::Invalid, Outcome::Unsupported}) {
        if (first == worst || second == worst)
            return worst;
    }
    return Outcome::Decoded;
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
    std::atomic<bool> failed{false}; // one band gave up: the other stops too
    Decoder top(file_, cancelled_, failed);
    Outcome outcome = top.start(reduction);
    if (outcome != Outcome::Decoded)
        return outcome;
    const QSize size = top.outputSize();
    QImage decoded(size, QImage::Format_RGB32);
    if (decoded.isNull())
        return Outcome::Invalid; // no memory for it
    const auto height = static_cast<unsigned int>(size.height());
    // Taken once, here: both bands write rows of the one image, and a QImage may not be
    // touched from two threads, not even to ask for a row.
    uchar* const pixels = decoded.bits();
    const qsizetype stride = decoded.bytesPerLine();

    if (height < kRowsToSplit || !top.oneScan()) {
        outcome = top.readRows(pixels, stride, 0, height);
    } else {
        // Two bands on two cores: the lower one passes over the upper rows, which costs
        // their entropy decoding only, and decodes its own while this thread does the upper.
        const unsigned int split = height / 2;
        Outcome lowerOutcome = Outcome::Decoded;
        std::thread lower([&] {
            platform::lowerCurrentThreadPriority();
            Decoder bottom(file_, cancelled_, failed);
            lowerOutcome = bottom.start(reduction);
            if (lowerOutcome == Outcome::Decoded)
                lowerOutcome = bottom.readRows(pixels, stride, split, height);
            if (lowerOutcome != Outcome::Decoded)
                failed = true;
        });
        outcome = top.readRows(pixels, stride, 0, split);
        if (outcome != Outcome::Decoded)
            failed = true;
        lower.join();
        outcome = combined(outcome, lowerOutcome);
        if (outcome == Outcome::Cancelled && !cancelled_.load())
            outcome = Outcome::Invalid; // stopped only because the other band gave up
    }
    if (outcome == Outcome::Decoded)
        image = std::move(decoded);
    return outcome;
}

} // namespace orlix
