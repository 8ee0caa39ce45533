#pragma once

#include "decode/codec/JpegReader.h"

#include <QtGlobal>

#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE
#include <functional>
#include <optional>
#include <vector>

#include <jpeglib.h>

namespace orlix {

// What one reading of a JPEG's header says, and what decoding it at a scale gives: a second
// decoder over the same file must see all of it alike before it may write a row.
struct JpegGeometry {
    unsigned width = 0, height = 0; // as stored
    int components = 0;
    J_COLOR_SPACE space = JCS_UNKNOWN;
    bool multipleScans = false;                 // progressive, or one scan per component
    unsigned outputWidth = 0, outputHeight = 0; // at the scale, once started
    // Where a band's decoder may start other than at the top: after a restart marker that
    // begins an iMCU row. Meaningful for a single Huffman-coded scan only.
    unsigned restartInterval = 0; // MCUs between two restart markers; 0: no markers
    bool arithmetic = false;
    unsigned iMcuHeight = 0;     // stored rows in one iMCU row
    unsigned mcusPerIMcuRow = 0; // MCUs of the scan in one iMCU row
    std::int64_t dataStart = 0;  // file offset of the first scan's entropy-coded data

    unsigned iMcuRows() const { return iMcuHeight ? (height + iMcuHeight - 1) / iMcuHeight : 0; }

    bool operator==(const JpegGeometry& other) const {
        return width == other.width && height == other.height && components == other.components &&
               space == other.space && multipleScans == other.multipleScans &&
               outputWidth == other.outputWidth && outputHeight == other.outputHeight &&
               restartInterval == other.restartInterval && arithmetic == other.arithmetic &&
               iMcuHeight == other.iMcuHeight && mcusPerIMcuRow == other.mcusPerIMcuRow &&
               dataStart == other.dataStart;
    }
};

// A decoder's input made of two pieces of one file: its header up to the entropy-coded data,
// with the frame height lowered, then the data after one restart marker, the markers that
// follow renumbered so that the first of them is RST0. libjpeg then decodes the picture's rows
// below that marker as a picture of their own, without reading the data above.
struct JpegSplice {
    std::int64_t headerEnd = 0;    // the header is the file's first headerEnd bytes
    std::int64_t heightOffset = 0; // of the frame header's two height bytes
    unsigned storedHeight = 0;     // what they must say
    unsigned height = 0;           // what they are made to say
    std::int64_t markerOffset = 0; // of the restart marker the data resumes after
    int markerNumber = 0;          // its number, 0 to 7
};

// What stops a band early, shared by both bands of a picture.
struct JpegBandStops {
    const std::function<bool()>* stopRequested = nullptr; // JpegReader::Options'; may be empty
    std::atomic<bool>* stopSeen = nullptr;                // set once a check was told to stop
    const std::atomic<bool>* otherBandFailed = nullptr;
    int maxScans = 0;

    // Whether the decode is asked to stop; asks every time.
    bool stopNow() const {
        if (!*stopRequested || !(*stopRequested)())
            return false;
        stopSeen->store(true, std::memory_order_relaxed);
        return true;
    }
    bool otherBandGaveUp() const { return otherBandFailed->load(std::memory_order_relaxed); }
};

// One libjpeg decoder over a file, decoding a band of rows into RGB32. It reads by offset, so
// that two of them can read one file at once, and stops at its next check (every buffer,
// every few rows, every scan) once the picture is cancelled or the other band gave up.
// Each step arms its own setjmp, so a longjmp from libjpeg lands in the step under way; between
// setjmp and libjpeg's calls there is nothing with a destructor.
class JpegBand {
public:
    using Outcome = JpegReader::Outcome;

    JpegBand(const platform::PictureFile& file, JpegBandStops stops);
    ~JpegBand();
    JpegBand(const JpegBand&) = delete;
    JpegBand& operator=(const JpegBand&) = delete;

    // Reads the header; Decoded when it is a JPEG this reader decodes and within the pixel cap.
    Outcome readHeader();
    // Makes this band decode only the rows below a restart marker; before readHeader().
    void resumeAt(const JpegSplice& splice) { splice_ = splice; }
    // CMYK rows are left as stored (four bytes a pixel, 255 for no ink, as Adobe writes them)
    // instead of being turned into RGB32: for a colour transform that knows the inks.
    void keepCmykAsStored() { cmykAsStored_ = true; }
    // Starts decoding at `eighths`/8 of the stored size; geometry() then holds the output size
    // too.
    Outcome start(int eighths);
    const JpegGeometry& geometry() const { return geometry_; }

    // Decodes rows [from, to) into the image at `pixels` (`stride` bytes a row) whose size is
    // that of `expected`. Rows above `from` are passed over, which still reads their data but
    // skips most of the work; nothing after row `to` is read, so a file padded after its last
    // row costs nothing. Fails (Invalid) without writing a row unless this decoder's header
    // and output match `expected` exactly.
    Outcome readRows(uchar* pixels, qsizetype stride, unsigned from, unsigned to,
                     const JpegGeometry& expected);
    // The same rows, each handed to `take` as soon as it is decoded, in a buffer the band
    // writes the next row into: the picture is never held whole.
    using RowTaker = std::function<void(uchar* row)>;
    Outcome readRows(const RowTaker& take, unsigned from, unsigned to,
                     const JpegGeometry& expected);

    // The cancellation check, as libjpeg's callbacks reach it: leaves by longjmp.
    void check();
    // libjpeg's own failure, and a failure of ours, leaving by longjmp.
    [[noreturn]] void leave(Outcome why);

private:
    static void progress(j_common_ptr info);
    static boolean fill(j_decompress_ptr info);
    static void skip(j_decompress_ptr info, long count);
    static void errorExit(j_common_ptr info);

    Outcome skipRows(unsigned count);
    // Rows [from, to) into the image at `pixels`, or, with `take`, one at a time into row_.
    Outcome decodeRows(uchar* pixels, qsizetype stride, const RowTaker* take, unsigned from,
                       unsigned to, const JpegGeometry& expected);
    void readLayout();
    std::int64_t fileOffset(std::int64_t position) const;
    void spliceBuffer(JOCTET* bytes, std::int64_t position, std::size_t count);

    const platform::PictureFile& file_;
    const JpegBandStops stops_;
    std::vector<JOCTET> buffer_;
    std::vector<uchar> row_;
    // Where the next read starts, in the bytes the decoder is given: the file's, or a splice's.
    std::int64_t position_ = 0;
    std::optional<JpegSplice> splice_;
    bool afterFf_ = false; // the last byte given was an FF: a marker may straddle two reads
    std::jmp_buf jump_{};
    Outcome failure_ = Outcome::Invalid;
    JpegGeometry geometry_;
    bool created_ = false;
    bool cmykAsStored_ = false;
    jpeg_source_mgr source_{};
    jpeg_error_mgr errors_{};
    jpeg_progress_mgr progress_{};
    jpeg_decompress_struct info_{};
};

} // namespace orlix
