#include "decode/codec/JpegBand.h"

#include "decode/codec/PictureDecoder.h"
#include "platform/files/PictureFile.h"

#include <QRgb>
#include <QtEndian>

#include <algorithm>
#include <cstring>

#include <jerror.h>

namespace orlix {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// libjpeg's own allocations for one decoder: a progressive picture keeps every coefficient
// (2 bytes each, up to 4 components at full resolution), so this admits the largest picture
// the pixel cap lets through, with room for row buffers and tables, and nothing beyond.
constexpr long kMaxDecoderMemory =
    static_cast<long>(StandardPictureDecoder::kMaxPixels * 4 * 2 + (std::int64_t(256) << 20));

// iMCU rows skipped between two cancellation checks: passing over rows still entropy-decodes
// them, which for a wide picture is too long to go without a check.
constexpr unsigned kIMcuRowsPerSkip = 4;

JpegBand& bandOf(j_common_ptr info) {
    return *static_cast<JpegBand*>(info->client_data);
}
JpegBand& bandOf(j_decompress_ptr info) {
    return *static_cast<JpegBand*>(info->client_data);
}

// Damaged data yields warnings; the program logs nothing.
void outputMessage(j_common_ptr) {}
void emitMessage(j_common_ptr, int) {}
void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

// The colour spaces decoded, each with the only component count it may have.
bool decodable(J_COLOR_SPACE space, int components) {
    switch (space) {
    case JCS_GRAYSCALE:
        return components == 1;
    case JCS_YCbCr:
    case JCS_RGB:
        return components == 3;
    case JCS_CMYK:
    case JCS_YCCK:
        return components == 4;
    default:
        return false;
    }
}

bool fourComponents(J_COLOR_SPACE space) {
    return space == JCS_CMYK || space == JCS_YCCK;
}

// CMYK as Adobe writes it (inverted: 255 is no ink) to RGB32, in place, as Qt's own JPEG
// reader converts it, so a picture looks the same whichever reader showed it before.
void cmykToRgb32(uchar* row, unsigned width) {
    auto* pixel = reinterpret_cast<QRgb*>(row);
    for (unsigned x = 0; x < width; ++x, row += 4) {
        const int k = row[3];
        pixel[x] = qRgb(k * row[0] / 255, k * row[1] / 255, k * row[2] / 255);
    }
}

} // namespace

JpegBand::JpegBand(const platform::PictureFile& file, JpegBandStops stops)
    : file_(file), stops_(stops), buffer_(kBufferSize) {
    info_.err = jpeg_std_error(&errors_);
    errors_.error_exit = errorExit;
    errors_.output_message = outputMessage;
    errors_.emit_message = emitMessage;
    info_.client_data = this;
    source_.init_source = initSource;
    source_.fill_input_buffer = fill;
    source_.skip_input_data = skip;
    source_.resync_to_restart = jpeg_resync_to_restart;
    source_.term_source = termSource;
    progress_.progress_monitor = progress;
}

JpegBand::~JpegBand() {
    if (created_)
        jpeg_destroy_decompress(&info_);
}

void JpegBand::check() {
    if (stops_.stopNow() || stops_.otherBandGaveUp())
        leave(Outcome::Cancelled);
}

void JpegBand::leave(Outcome why) {
    failure_ = why;
    std::longjmp(jump_, 1);
}

void JpegBand::errorExit(j_common_ptr info) {
    switch (info->err->msg_code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
    case JERR_TFILE_CREATE:
        bandOf(info).leave(Outcome::Failed); // over the memory limit or out of memory
    default:
        bandOf(info).leave(Outcome::Invalid);
    }
}

// Called by libjpeg every few rows and for every step of every scan: where a small file with
// much work in it is cancelled, and where a scan bomb is caught.
void JpegBand::progress(j_common_ptr info) {
    JpegBand& band = bandOf(info);
    band.check();
    if (band.info_.input_scan_number > band.stops_.maxScans)
        band.leave(Outcome::Failed);
}

std::int64_t JpegBand::fileOffset(std::int64_t position) const {
    if (!splice_ || position < splice_->headerEnd)
        return position;
    return splice_->markerOffset + 2 + (position - splice_->headerEnd);
}

// The splice's changes to the `count` bytes just read for `position`: the frame height in the
// header, the restart marker numbers in the data.
void JpegBand::spliceBuffer(JOCTET* bytes, std::int64_t position, std::size_t count) {
    if (position < splice_->headerEnd) {
        const JOCTET stored[] = {JOCTET(splice_->storedHeight >> 8), JOCTET(splice_->storedHeight)};
        const JOCTET made[] = {JOCTET(splice_->height >> 8), JOCTET(splice_->height)};
        for (int i = 0; i < 2; ++i) {
            const std::int64_t at = splice_->heightOffset + i - position;
            if (at < 0 || at >= static_cast<std::int64_t>(count))
                continue;
            if (bytes[at] != stored[i])
                leave(Outcome::Invalid); // not the header the upper band read
            bytes[at] = made[i];
        }
        return;
    }
    // The first marker after the resumed one must read RST0 to the decoder: all numbers move
    // down alike, so a marker out of order stays out of order by as much as in the file.
    const int shift = (splice_->markerNumber + 1) & 7;
    const auto renumber = [shift](JOCTET& code) {
        if (code >= JPEG_RST0 && code < JPEG_RST0 + 8)
            code = static_cast<JOCTET>(JPEG_RST0 + ((code - JPEG_RST0 - shift) & 7));
    };
    JOCTET* next = bytes;
    JOCTET* const end = bytes + count;
    if (afterFf_)
        renumber(*next);
    afterFf_ = false;
    while ((next = static_cast<JOCTET*>(std::memchr(next, 0xFF, std::size_t(end - next))))) {
        if (++next == end) {
            afterFf_ = true;
            break;
        }
        renumber(*next); // an FF after an FF is looked at again as the next one's start
    }
}

boolean JpegBand::fill(j_decompress_ptr info) {
    JpegBand& band = bandOf(info);
    band.check();
    const std::optional<JpegSplice>& splice = band.splice_;
    std::size_t wanted = kBufferSize;
    if (splice && band.position_ < splice->headerEnd)
        wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(splice->headerEnd - band.position_, kBufferSize));
    // The resumed marker is read again at the first read after the header: the file must not
    // have changed since the marker was found.
    const bool atMarker = splice && band.position_ == splice->headerEnd;
    const int markerBytes = atMarker ? 2 : 0;
    std::int64_t count = band.file_.readAt(band.fileOffset(band.position_) - markerBytes,
                                           reinterpret_cast<char*>(band.buffer_.data()), wanted);
    if (count < 0)
        band.leave(Outcome::ReadFailed);
    if (atMarker) {
        if (count < 2 || band.buffer_[0] != 0xFF ||
            band.buffer_[1] != JPEG_RST0 + splice->markerNumber)
            band.leave(Outcome::Invalid);
        count -= 2;
    }
    band.source_.next_input_byte = band.buffer_.data() + markerBytes;
    if (count == 0) {
        // A file cut short ends with an inserted end marker, as libjpeg recommends: the part
        // that arrived is shown.
        band.buffer_[0] = 0xFF;
        band.buffer_[1] = JPEG_EOI;
        band.source_.next_input_byte = band.buffer_.data();
        band.source_.bytes_in_buffer = 2;
    } else {
        if (splice)
            band.spliceBuffer(band.buffer_.data() + markerBytes, band.position_,
                              static_cast<std::size_t>(count));
        band.position_ += count;
        band.source_.bytes_in_buffer = static_cast<std::size_t>(count);
    }
    return TRUE;
}

void JpegBand::skip(j_decompress_ptr info, long count) {
    if (count <= 0)
        return;
    JpegBand& band = bandOf(info);
    const auto inBuffer = static_cast<long>(band.source_.bytes_in_buffer);
    if (count <= inBuffer) {
        band.source_.next_input_byte += count;
        band.source_.bytes_in_buffer -= static_cast<std::size_t>(count);
        return;
    }
    band.position_ += count - inBuffer;
    band.afterFf_ = false;
    band.source_.bytes_in_buffer = 0;
    band.source_.next_input_byte = nullptr;
}

JpegBand::Outcome JpegBand::readHeader() {
    if (setjmp(jump_))
        return failure_;
    // Here, where a failure to allocate lands: the decoder's creation allocates.
    jpeg_create_decompress(&info_);
    created_ = true;
    info_.mem->max_memory_to_use = kMaxDecoderMemory;
    info_.src = &source_;
    info_.progress = &progress_;
    if (jpeg_read_header(&info_, TRUE) != JPEG_HEADER_OK)
        return Outcome::Invalid; // tables only, no picture
    geometry_.width = info_.image_width;
    geometry_.height = info_.image_height;
    geometry_.components = info_.num_components;
    geometry_.space = info_.jpeg_color_space;
    geometry_.multipleScans = jpeg_has_multiple_scans(&info_);
    readLayout();
    // A splice's header must end where the upper band's did, or the data would be misread.
    if (splice_ && geometry_.dataStart != splice_->headerEnd)
        return Outcome::Invalid;
    if (!decodable(geometry_.space, geometry_.components))
        return Outcome::Unsupported;
    if (!StandardPictureDecoder::withinPixelLimit(
            QSize(static_cast<int>(geometry_.width), static_cast<int>(geometry_.height))))
        return Outcome::TooLarge;
    return Outcome::Decoded;
}

void JpegBand::readLayout() {
    // The decoder has taken the header and nothing more: the data starts at its next byte.
    geometry_.dataStart = position_ - static_cast<std::int64_t>(source_.bytes_in_buffer);
    geometry_.restartInterval = info_.restart_interval;
    geometry_.arithmetic = info_.arith_code;
    const auto up = [](unsigned length, unsigned unit) { return (length + unit - 1) / unit; };
    const auto maxH = static_cast<unsigned>(info_.max_h_samp_factor);
    const auto maxV = static_cast<unsigned>(info_.max_v_samp_factor);
    geometry_.iMcuHeight = DCTSIZE * maxV;
    if (info_.comps_in_scan == 1) {
        // One component alone: an MCU is one block, and an iMCU row is its vertical sampling
        // factor's number of block rows.
        const jpeg_component_info& component = *info_.cur_comp_info[0];
        const unsigned width = up(geometry_.width * unsigned(component.h_samp_factor), maxH);
        geometry_.mcusPerIMcuRow = up(width, DCTSIZE) * unsigned(component.v_samp_factor);
    } else {
        geometry_.mcusPerIMcuRow = up(geometry_.width, DCTSIZE * maxH);
    }
}

JpegBand::Outcome JpegBand::start(int eighths) {
    if (setjmp(jump_))
        return failure_;
    info_.scale_num = static_cast<unsigned>(eighths);
    info_.scale_denom = 8;
    // Four bytes a pixel either way: CMYK is turned into RGB32 in place, row by row. The byte
    // order is that of QImage::Format_RGB32, the unused byte 0xFF as that format wants.
    info_.out_color_space = fourComponents(info_.jpeg_color_space) ? JCS_CMYK
                            : Q_BYTE_ORDER == Q_LITTLE_ENDIAN      ? JCS_EXT_BGRA
                                                                   : JCS_EXT_ARGB;
    jpeg_start_decompress(&info_);
    geometry_.outputWidth = info_.output_width;
    geometry_.outputHeight = info_.output_height;
    return Outcome::Decoded;
}

JpegBand::Outcome JpegBand::skipRows(unsigned count) {
    const unsigned step = kIMcuRowsPerSkip * static_cast<unsigned>(info_.max_v_samp_factor) *
                          static_cast<unsigned>(info_.min_DCT_scaled_size);
    while (count > 0) {
        check();
        const JDIMENSION skipped = jpeg_skip_scanlines(&info_, std::min(count, step));
        if (skipped == 0)
            return Outcome::Invalid;
        count -= std::min<unsigned>(count, skipped);
    }
    return Outcome::Decoded;
}

JpegBand::Outcome JpegBand::readRows(uchar* pixels, qsizetype stride, unsigned from, unsigned to,
                                     const JpegGeometry& expected) {
    if (stride < static_cast<qsizetype>(geometry_.outputWidth) * 4)
        return Outcome::Invalid;
    return decodeRows(pixels, stride, nullptr, from, to, expected);
}

JpegBand::Outcome JpegBand::readRows(const RowTaker& take, unsigned from, unsigned to,
                                     const JpegGeometry& expected) {
    // Sized before setjmp: nothing between it and libjpeg's calls may allocate.
    row_.resize(std::size_t(expected.outputWidth) * 4);
    return decodeRows(nullptr, 0, &take, from, to, expected);
}

JpegBand::Outcome JpegBand::decodeRows(uchar* pixels, qsizetype stride, const RowTaker* take,
                                       unsigned from, unsigned to, const JpegGeometry& expected) {
    // A file rewritten between two readings of its header: its rows would not fit the image.
    if (!(geometry_ == expected) || info_.output_components != 4 || to > geometry_.outputHeight ||
        (take && row_.size() != std::size_t(geometry_.outputWidth) * 4))
        return Outcome::Invalid;
    if (setjmp(jump_))
        return failure_;
    if (from > 0 && skipRows(from) != Outcome::Decoded)
        return Outcome::Invalid;
    const bool cmyk = info_.out_color_space == JCS_CMYK && !cmykAsStored_;
    while (info_.output_scanline < to) {
        check();
        JSAMPROW row =
            take ? row_.data() : pixels + stride * static_cast<qsizetype>(info_.output_scanline);
        // Never 0 for a source that does not suspend, unless the decoder is done: then the
        // band cannot go on, and must not spin.
        if (jpeg_read_scanlines(&info_, &row, 1) != 1)
            return Outcome::Invalid;
        if (cmyk)
            cmykToRgb32(row, geometry_.outputWidth);
        if (take)
            (*take)(row);
    }
    return Outcome::Decoded;
}

} // namespace orlix
