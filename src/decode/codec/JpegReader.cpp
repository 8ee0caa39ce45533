#include "decode/codec/JpegReader.h"

#include "decode/codec/JpegBand.h"
#include "decode/codec/JpegBandPlan.h"
#include "decode/codec/JpegRestartPoint.h"
#include "platform/sandbox/CurrentThread.h"

#include <sched.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <system_error>
#include <thread>

namespace orlix {

namespace {

using Outcome = JpegReader::Outcome;

// The scales decoded at, in eighths, smallest first. At 1/8, 1/4 and 1/2 libjpeg-turbo's
// reduced transforms skip most of the work. 3/8 costs a little more than 1/2, but a photo fitted
// from it takes little more than half the memory and shrinks in less time. 5/8 costs more
// processor time than a whole decode (its transform has no SIMD form), but where a fitted
// photo needs more than half its size, as on a large screen, it takes well under half the
// memory of the whole picture, and that memory has to be shrunk again for the frame. 6/8 and
// 7/8 cost more than the whole decode plus its shrink.
constexpr int kScales[] = {1, 2, 3, 4, 5, JpegReader::kWhole};

// Of two bands' outcomes, the one that stands for the whole picture. A band that stopped only
// because the other gave up says Cancelled; the other's reason stands then.
Outcome combined(Outcome top, Outcome bottom, bool cancelled) {
    if (top == Outcome::Decoded && bottom == Outcome::Decoded)
        return Outcome::Decoded;
    if (cancelled)
        return Outcome::Cancelled;
    for (const Outcome stated : {top, bottom}) {
        if (stated != Outcome::Decoded && stated != Outcome::Cancelled)
            return stated;
    }
    return Outcome::Invalid;
}

// What the lower band's own reading of the header says, for the picture: anything but the
// picture the upper band read is a file changed in between.
Outcome asSecondReading(Outcome header) {
    return header == Outcome::TooLarge || header == Outcome::Unsupported ? Outcome::Invalid
                                                                         : header;
}

} // namespace

bool JpegReader::moreThanOneCpu() {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    return sched_getaffinity(0, sizeof cpus, &cpus) != 0 || CPU_COUNT(&cpus) > 1;
}

JpegReader::JpegReader(const platform::PictureFile& file) : JpegReader(file, Options()) {}

JpegReader::JpegReader(const platform::PictureFile& file, Options options)
    : file_(file), options_(std::move(options)) {}

JpegBandStops JpegReader::stops() {
    return JpegBandStops{&options_.stopRequested, &stopSeen_, &bandFailed_, options_.maxScans};
}

JpegReader::~JpegReader() = default;

QSize JpegReader::scaledSize(QSize storedSize, int eighths) {
    const auto scaled = [eighths](int length) {
        return static_cast<int>((std::int64_t(length) * eighths + 7) / 8);
    };
    return QSize(scaled(storedSize.width()), scaled(storedSize.height()));
}

bool JpegReader::decodesAt(int eighths) {
    return std::find(std::begin(kScales), std::end(kScales), eighths) != std::end(kScales);
}

int JpegReader::scaleFor(QSize storedSize, bool quarterTurn, QSize needed) {
    if (quarterTurn)
        needed.transpose();
    for (const int eighths : kScales) {
        const QSize scaled = scaledSize(storedSize, eighths);
        if (scaled.width() >= needed.width() && scaled.height() >= needed.height())
            return eighths;
    }
    return kWhole;
}

JpegReader::Outcome JpegReader::readHeader() {
    if (headerRead_)
        return header_;
    headerRead_ = true;
    try {
        top_ = std::make_unique<JpegBand>(file_, stops());
        header_ = top_->readHeader();
    } catch (const std::exception&) {
        header_ = Outcome::Failed; // no memory for the decoder
    }
    if (header_ == Outcome::Decoded)
        storedSize_ = QSize(static_cast<int>(top_->geometry().width),
                            static_cast<int>(top_->geometry().height));
    return header_;
}

int JpegReader::components() const {
    return headerRead_ && header_ == Outcome::Decoded ? top_->geometry().components : 0;
}

JpegReader::Outcome JpegReader::read(int eighths, QImage& image) {
    return readGuarded([&] { return decode(eighths, image); });
}

JpegReader::Outcome JpegReader::read(int eighths, const Shrunk& shrunk, QImage& frame) {
    return readGuarded([&] { return decodeShrunk(eighths, shrunk, frame); });
}

JpegReader::Outcome JpegReader::readGuarded(const std::function<Outcome()>& decodeNow) {
    const Outcome header = readHeader();
    if (header != Outcome::Decoded)
        return header;
    // Nothing thrown may leave the decoding thread: a failed allocation is a failed picture.
    try {
        return decodeNow();
    } catch (const std::exception&) {
        return Outcome::Failed;
    }
}

JpegReader::Outcome JpegReader::startTop(int eighths, QSize& size) {
    JpegBand& top = *top_;
    if (cmykAsStored_)
        top.keepCmykAsStored();
    const Outcome outcome = top.start(eighths);
    if (outcome == Outcome::Decoded)
        size = QSize(static_cast<int>(top.geometry().outputWidth),
                     static_cast<int>(top.geometry().outputHeight));
    return outcome;
}

JpegReader::Outcome JpegReader::decode(int eighths, QImage& image) {
    QSize size;
    const Outcome outcome = startTop(eighths, size);
    if (outcome != Outcome::Decoded)
        return outcome;
    const bool given =
        image.size() == size && image.format() == QImage::Format_RGB32 && image.isDetached();
    QImage decoded = given ? std::move(image) : QImage(size, QImage::Format_RGB32);
    if (decoded.isNull())
        return Outcome::Failed; // no memory for it
    // Taken once, here: both bands write rows of the one image, and a QImage may not be
    // touched from two threads, not even to ask for a row.
    uchar* const pixels = decoded.bits();
    const qsizetype stride = decoded.bytesPerLine();
    const auto rows = [pixels, stride](JpegBand& band, unsigned from, unsigned to, unsigned above,
                                       const JpegGeometry& expected, bool) {
        return band.readRows(pixels + stride * static_cast<qsizetype>(above), stride, from - above,
                             to - above, expected);
    };
    const Outcome decodedOutcome = decodeBands(eighths, rows);
    if (decodedOutcome == Outcome::Decoded)
        image = std::move(decoded);
    return decodedOutcome;
}

JpegReader::Outcome JpegReader::decodeShrunk(int eighths, const Shrunk& shrunk, QImage& frame) {
    QSize size;
    const Outcome outcome = startTop(eighths, size);
    if (outcome != Outcome::Decoded)
        return outcome;
    const QSize turned = AreaShrinker::turnedSize(shrunk.target, shrunk.turn);
    if (shrunk.target.isEmpty() || frame.size() != turned ||
        frame.format() != QImage::Format_RGB888 || !frame.isDetached())
        frame = QImage(turned, QImage::Format_RGB888);
    if (frame.isNull())
        return Outcome::Failed; // no memory for it
    uchar* const pixels = frame.bits();
    const qsizetype stride = frame.bytesPerLine();
    // One shrinker a band, made on the band's own thread before its first row.
    std::unique_ptr<AreaShrinker> bands[2];
    const auto rows = [&](JpegBand& band, unsigned from, unsigned to, unsigned above,
                          const JpegGeometry& expected, bool lower) {
        auto& shrinker = bands[lower ? 1 : 0];
        shrinker = std::make_unique<AreaShrinker>(size, shrunk.target, int(from), int(to), pixels,
                                                  stride, shrunk.turn);
        const int width = int(expected.outputWidth);
        const JpegBand::RowTaker take = [&shrinker, &shrunk, width](uchar* row) {
            auto* pixel = reinterpret_cast<QRgb*>(row);
            if (shrunk.convertRow)
                shrunk.convertRow(pixel, width);
            shrinker->addRow(pixel);
        };
        return band.readRows(take, from - above, to - above, expected);
    };
    const Outcome decoded = decodeBands(eighths, rows);
    if (decoded == Outcome::Decoded && bands[0] && bands[1])
        AreaShrinker::join(*bands[0], *bands[1]);
    return decoded;
}

JpegReader::Outcome JpegReader::decodeBands(int eighths, const BandRows& rows) {
    JpegBand& top = *top_;
    const JpegGeometry geometry = top.geometry();
    const unsigned height = geometry.outputHeight;
    Outcome outcome = Outcome::Decoded;

    // Two bands on two cores, split where both should finish together; the lower band's
    // decoder starts at a restart marker above the split when the file has one there, else at
    // the top. A picture of several scans keeps its whole coefficient data in memory; it is
    // not decoded twice.
    const JpegBandPlan plan = options_.planBands(geometry, eighths);
    // An iMCU row is a multiple of 8 stored rows: at every scale a whole number of output rows.
    const unsigned split = plan.split * geometry.iMcuHeight * static_cast<unsigned>(eighths) / 8;
    Outcome lowerOutcome = Outcome::Decoded;
    std::thread lower;
    if (height >= options_.rowsToSplit && plan.split > 0 && !geometry.multipleScans &&
        options_.startSecondBand()) {
        try {
            lower = std::thread([&] {
                platform::lowerCurrentThreadPriority();
                try {
                    lowerOutcome = decodeLowerBand(eighths, plan.resume, split, geometry, rows);
                } catch (const std::exception&) {
                    lowerOutcome = Outcome::Failed;
                }
                if (lowerOutcome != Outcome::Decoded)
                    bandFailed_ = true;
            });
        } catch (const std::system_error&) {
            // No thread to be had: this one does all the rows.
        }
    }
    if (lower.joinable()) {
        try {
            outcome = rows(top, 0, split, 0, geometry, false);
        } catch (const std::exception&) {
            outcome = Outcome::Failed;
        }
        if (outcome != Outcome::Decoded)
            bandFailed_ = true;
        lower.join();
        outcome = combined(outcome, lowerOutcome, stopSeen_.load() || stops().stopNow());
    } else {
        outcome = rows(top, 0, height, 0, geometry, false);
    }
    return outcome;
}

JpegReader::Outcome JpegReader::decodeLowerBand(int eighths, unsigned resume, unsigned from,
                                                const JpegGeometry& geometry,
                                                const BandRows& rows) {
    JpegBand band(file_, stops());
    if (cmykAsStored_)
        band.keepCmykAsStored();
    // The rows above the resumed marker are not this decoder's: its output row 0 is the
    // picture's row `above`, and its header says so, with the height lowered by as much.
    JpegGeometry expected = geometry;
    unsigned above = 0;
    if (resume > 0) {
        const auto stop = [stops = stops()] { return stops.stopNow() || stops.otherBandGaveUp(); };
        JpegSplice splice;
        switch (JpegRestartPoint::locate(file_, geometry, resume, stop, splice)) {
        case JpegRestartPoint::Found::Yes:
            band.resumeAt(splice);
            above = resume * geometry.iMcuHeight * static_cast<unsigned>(eighths) / 8;
            expected.height = splice.height;
            expected.outputHeight -= above;
            break;
        case JpegRestartPoint::Found::No:
            resume = 0; // markers missing, out of order or not where expected: pass over
            break;
        case JpegRestartPoint::Found::Stopped:
            return Outcome::Cancelled;
        case JpegRestartPoint::Found::ReadFailed:
            return Outcome::ReadFailed;
        }
    }
    Outcome outcome = asSecondReading(band.readHeader());
    if (outcome == Outcome::Decoded)
        outcome = band.start(eighths);
    if (outcome == Outcome::Decoded)
        outcome = rows(band, from, geometry.outputHeight, above, expected, true);
    return outcome;
}

} // namespace orlix
