#include "decode/codec/JpegRestartPoint.h"

#include "platform/files/PictureFile.h"

#include <cstring>
#include <vector>

namespace orlix {

namespace {

using Found = JpegRestartPoint::Found;

constexpr std::size_t kChunkSize = 64 * 1024;
// A header of more segments than this is not walked: a file of tiny comments must not cost a
// read for each.
constexpr int kMaxHeaderSegments = 1024;

enum Marker : unsigned char {
    kSof0 = 0xC0, // baseline
    kSof1 = 0xC1, // extended sequential, Huffman
    kDht = 0xC4,
    kSoi = 0xD8,
    kSos = 0xDA,
    kDqt = 0xDB,
    kDri = 0xDD,
    kApp0 = 0xE0,
    kApp15 = 0xEF,
    kCom = 0xFE,
    kFill = 0xFF,
};

// The segments a plain single-scan Huffman header holds besides its frame and scan headers.
bool plainSegment(unsigned char code) {
    return code == kDht || code == kDqt || code == kDri || code == kCom ||
           (code >= kApp0 && code <= kApp15);
}

// The frame header's height bytes, walking the header segment by segment; -1 when the header
// holds anything libjpeg might read otherwise than this walk (stray bytes, an unusual marker,
// two frames) or does not end where the decoder found the data to start.
std::int64_t heightOffset(const platform::PictureFile& file, std::int64_t dataStart,
                          bool& readFailed) {
    unsigned char bytes[4];
    const auto read = [&](std::int64_t at, std::int64_t count) {
        const std::int64_t got = file.readAt(at, reinterpret_cast<char*>(bytes), count);
        readFailed = got < 0;
        return got == count;
    };
    if (!read(0, 2) || bytes[0] != kFill || bytes[1] != kSoi)
        return -1;
    std::int64_t offset = -1;
    std::int64_t at = 2;
    for (int segment = 0; segment < kMaxHeaderSegments; ++segment) {
        if (!read(at, 4) || bytes[0] != kFill)
            return -1;
        if (bytes[1] == kFill) { // fill before a marker
            ++at;
            continue;
        }
        const unsigned char code = bytes[1];
        const int length = bytes[2] << 8 | bytes[3];
        if (length < 2)
            return -1;
        if (code == kSos)
            return at + 2 + length == dataStart ? offset : -1;
        if (code == kSof0 || code == kSof1) {
            if (offset >= 0)
                return -1;
            offset = at + 5; // after the marker, the length and the sample precision
        } else if (!plainSegment(code)) {
            return -1;
        }
        at += 2 + length;
        if (at >= dataStart)
            return -1;
    }
    return -1;
}

} // namespace

bool JpegRestartPoint::startsRow(const JpegGeometry& geometry, unsigned iMcuRow) {
    if (geometry.restartInterval == 0)
        return false;
    return std::uint64_t(iMcuRow) * geometry.mcusPerIMcuRow % geometry.restartInterval == 0;
}

JpegRestartPoint::Found JpegRestartPoint::locate(const platform::PictureFile& file,
                                                 const JpegGeometry& geometry, unsigned iMcuRow,
                                                 const std::function<bool()>& stop,
                                                 JpegSplice& splice) {
    if (iMcuRow == 0 || iMcuRow >= geometry.iMcuRows() || !startsRow(geometry, iMcuRow) ||
        geometry.multipleScans || geometry.arithmetic)
        return Found::No;
    if (stop())
        return Found::Stopped;
    bool readFailed = false;
    const std::int64_t height = heightOffset(file, geometry.dataStart, readFailed);
    if (readFailed)
        return Found::ReadFailed;
    if (height < 0)
        return Found::No;

    // Marker `wanted` (counted from 0) ends the MCUs above the row.
    const std::uint64_t wanted =
        std::uint64_t(iMcuRow) * geometry.mcusPerIMcuRow / geometry.restartInterval - 1;
    std::vector<char> chunk(kChunkSize);
    const auto* const bytes = reinterpret_cast<const unsigned char*>(chunk.data());
    std::uint64_t seen = 0;
    bool afterFf = false; // the chunk before ended with an FF
    for (std::int64_t at = geometry.dataStart;;) {
        if (stop())
            return Found::Stopped;
        const std::int64_t count = file.readAt(at, chunk.data(), kChunkSize);
        if (count < 0)
            return Found::ReadFailed;
        if (count == 0)
            return Found::No; // the data ends before the marker
        const auto size = static_cast<std::size_t>(count);
        std::size_t next = 0;
        std::int64_t markerAt = at - 1;
        bool pending = afterFf;
        afterFf = false;
        for (;;) {
            if (!pending) {
                const void* ff = std::memchr(bytes + next, kFill, size - next);
                if (!ff)
                    break;
                const std::size_t found =
                    std::size_t(static_cast<const unsigned char*>(ff) - bytes);
                if (found + 1 == size) {
                    afterFf = true;
                    break;
                }
                markerAt = at + std::int64_t(found);
                next = found + 1;
            }
            pending = false;
            const unsigned char code = bytes[next];
            if (code == kFill)
                continue; // fill: this FF may start the marker
            ++next;
            if (code == 0)
                continue; // a stuffed FF in the data
            if (code != JPEG_RST0 + (seen & 7))
                return Found::No; // out of order, or the scan ends, or a DNL
            if (seen == wanted) {
                splice.headerEnd = geometry.dataStart;
                splice.heightOffset = height;
                splice.storedHeight = geometry.height;
                splice.height = geometry.height - iMcuRow * geometry.iMcuHeight;
                splice.markerOffset = markerAt;
                splice.markerNumber = code - JPEG_RST0;
                return Found::Yes;
            }
            ++seen;
        }
        at += count;
    }
}

} // namespace orlix
