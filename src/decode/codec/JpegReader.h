#pragma once

#include "decode/codec/AreaShrinker.h"
#include "decode/codec/JpegBandPlan.h"
#include "decode/codec/PictureDecoder.h"

#include <QImage>
#include <QSize>

#include <atomic>
#include <functional>
#include <memory>

namespace orlix {

namespace platform {
class PictureFile;
}

class JpegBand;
struct JpegBandStops;
struct JpegGeometry;

// Decodes a JPEG file with the reduction done inside the decoder: at 1/2, 1/4 or 1/8 the
// decoder skips most of the work, which is what makes a fitted photo appear quickly. Scales are
// given in eighths of the stored size (8: whole). Every size, scale and check comes from one
// reading of the header; the second band of a large picture reads it again and gives up unless
// it sees the same. A decode stops within a few rows or one scan step once it is asked to
// (Options::stopRequested), and prints nothing about damaged data.
class JpegReader {
public:
    enum class Outcome {
        Decoded,     // `image` holds the picture (a file cut short is shown as far as it goes)
        Unsupported, // a JPEG of a colour space no reader here decodes
        Invalid,     // not a JPEG, or damaged beyond decoding, or changed while being read
        ReadFailed,  // the file could not be read
        Cancelled,
        TooLarge, // more pixels than StandardPictureDecoder::kMaxPixels
        Failed,   // out of memory, over the decoder's memory or scan limit, or no thread
    };

    // Whether this thread may run on more than one CPU.
    static bool moreThanOneCpu();

    // How a reader decodes and when it stops; the defaults are the program's.
    struct Options {
        // Asked at every check (every buffer read, every few rows, every scan step) from either
        // band's thread: true stops the decode there. None: it runs to its end.
        std::function<bool()> stopRequested;
        unsigned rowsToSplit = 512; // pictures with fewer output rows: one band
        int maxScans = 100;         // progressive scans accepted; more is a scan bomb
        // Asked before a second band starts, on the reader's thread: false leaves the picture
        // to one band. On one CPU a second band would add the entropy decoding it passes over
        // and take nothing off the first.
        std::function<bool()> startSecondBand = moreThanOneCpu;
        // Where a picture decoded in two bands is split, and where the lower band resumes.
        JpegBandPlan (*planBands)(const JpegGeometry& geometry, int eighths) = JpegBandPlan::choose;
    };

    // Two constructors rather than a default argument: GCC cannot take `Options{}` as a default
    // inside the class that declares Options.
    explicit JpegReader(const platform::PictureFile& file);
    JpegReader(const platform::PictureFile& file, Options options);
    ~JpegReader();
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    static constexpr int kWhole = DecodeResult::kWhole;

    // The smallest scale, in eighths, of those that pay (1/8, 1/4, 1/2, 5/8, whole), whose
    // decoded picture still covers `needed` pixels for a picture of `storedSize` (as the file
    // stores it, before any Exif turn; `quarterTurn` when the picture is shown turned by a
    // quarter, so that width and height trade places).
    static int scaleFor(QSize storedSize, bool quarterTurn, QSize needed);
    // Whether `eighths` is one of those scales.
    static bool decodesAt(int eighths);

    // The size a picture of `storedSize` decodes to at `eighths`/8, as libjpeg rounds it.
    static QSize scaledSize(QSize storedSize, int eighths);

    // Reads the header, once: Decoded when the picture can be decoded, TooLarge over the
    // pixel cap. storedSize() then holds its size.
    Outcome readHeader();
    QSize storedSize() const { return storedSize_; }
    // The number of colour components the header gives: 1 grey, 3 colour, 4 CMYK or YCCK.
    int components() const;

    // A CMYK picture is read() with its stored ink values in each four-byte pixel (255 for no
    // ink, as Adobe writes them) instead of as RGB32: for a colour transform to convert.
    void keepCmykAsStored() { cmykAsStored_ = true; }

    // Decodes the whole picture, as stored (not turned), at `eighths`/8 of its size, into an
    // RGB32 image; reads the header first when readHeader() was not called. Once per reader.
    // An `image` handed in that already is RGB32 of the decoded size (and not shared with
    // another copy) is decoded into, in its own memory; any other is replaced.
    Outcome read(int eighths, QImage& image);

    // Where read() puts a picture shrunk as it is decoded: `frame`, an RGB888 image of
    // AreaShrinker::turnedSize(target, turn), receives the picture shrunk to `target` and turned
    // by `turn`. `convertRow`, when set, converts each decoded row in place first (its colours),
    // from either band's thread.
    struct Shrunk {
        QSize target;
        AreaShrinker::Turn turn = QImageIOHandler::TransformationNone;
        std::function<void(QRgb* row, int width)> convertRow;
    };
    // Decodes at `eighths`/8 as read() does, but shrinks every row into `frame` as it comes
    // instead of keeping it: the decoded picture is never held whole. Once per reader.
    Outcome read(int eighths, const Shrunk& shrunk, QImage& frame);

private:
    // Reads one band's rows [from, to) of the picture (its decoder's own rows start at picture
    // row `above`) in the band's thread; `lower` for the second band.
    using BandRows =
        std::function<Outcome(JpegBand& band, unsigned from, unsigned to, unsigned above,
                              const JpegGeometry& expected, bool lower)>;

    JpegBandStops stops();
    // Reads the header first when readHeader() was not called, then runs `decodeNow`; whatever
    // it throws is a failed picture.
    Outcome readGuarded(const std::function<Outcome()>& decodeNow);
    // Starts the top band at `eighths`; `size` is then the size it decodes the picture to.
    Outcome startTop(int eighths, QSize& size);
    Outcome decode(int eighths, QImage& image);
    Outcome decodeShrunk(int eighths, const Shrunk& shrunk, QImage& frame);
    // Decodes in one or two bands, split where planned; the geometry is the started top band's.
    Outcome decodeBands(int eighths, const BandRows& rows);
    // The lower band, on its own thread: output rows [from, height) of the picture, its decoder
    // started at iMCU row `resume` if a restart marker allows.
    Outcome decodeLowerBand(int eighths, unsigned resume, unsigned from,
                            const JpegGeometry& geometry, const BandRows& rows);

    const platform::PictureFile& file_;
    const Options options_;
    std::atomic<bool> stopSeen_{false};   // a check was told to stop
    std::atomic<bool> bandFailed_{false}; // one band gave up: the other stops too
    std::unique_ptr<JpegBand> top_;
    Outcome header_ = Outcome::Invalid;
    bool headerRead_ = false;
    QSize storedSize_;
    bool cmykAsStored_ = false;
};

} // namespace orlix
