#include "decode/JpegReader.h"

#include "decode/JpegBand.h"
#include "platform/CurrentThread.h"

#include <system_error>
#include <thread>

namespace orlix {

namespace {

using Outcome = JpegReader::Outcome;

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

JpegReader::JpegReader(const platform::PictureFile& file, const std::atomic<bool>& cancelled)
    : JpegReader(file, cancelled, Tuning()) {}

JpegReader::JpegReader(const platform::PictureFile& file, const std::atomic<bool>& cancelled,
                       Tuning tuning)
    : file_(file), cancelled_(cancelled), tuning_(std::move(tuning)) {}

JpegReader::~JpegReader() = default;

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

JpegReader::Outcome JpegReader::readHeader() {
    if (headerRead_)
        return header_;
    headerRead_ = true;
    try {
        top_ = std::make_unique<JpegBand>(
            file_, JpegBand::Stops{&cancelled_, &bandFailed_, &tuning_.onCheck, tuning_.maxScans});
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

JpegReader::Outcome JpegReader::read(int reduction, QImage& image) {
    const Outcome header = readHeader();
    if (header != Outcome::Decoded)
        return header;
    // Nothing thrown may leave the decoding thread: a failed allocation is a failed picture.
    try {
        return decode(reduction, image);
    } catch (const std::exception&) {
        return Outcome::Failed;
    }
}

JpegReader::Outcome JpegReader::decode(int reduction, QImage& image) {
    JpegBand& top = *top_;
    if (cmykAsStored_)
        top.keepCmykAsStored();
    Outcome outcome = top.start(reduction);
    if (outcome != Outcome::Decoded)
        return outcome;
    const JpegGeometry geometry = top.geometry();
    const QSize size(static_cast<int>(geometry.outputWidth),
                     static_cast<int>(geometry.outputHeight));
    const bool given =
        image.size() == size && image.format() == QImage::Format_RGB32 && image.isDetached();
    QImage decoded = given ? std::move(image) : QImage(size, QImage::Format_RGB32);
    if (decoded.isNull())
        return Outcome::Failed; // no memory for it
    const unsigned height = geometry.outputHeight;
    // Taken once, here: both bands write rows of the one image, and a QImage may not be
    // touched from two threads, not even to ask for a row.
    uchar* const pixels = decoded.bits();
    const qsizetype stride = decoded.bytesPerLine();

    // Two bands on two cores: the lower one passes over the upper rows, which costs their
    // entropy decoding only, and decodes its own while this thread does the upper. A picture
    // of several scans keeps its whole coefficient data in memory; it is not decoded twice.
    const unsigned split = height / 2;
    Outcome lowerOutcome = Outcome::Decoded;
    std::thread lower;
    if (height >= tuning_.rowsToSplit && !geometry.multipleScans &&
        (!tuning_.startSecondBand || tuning_.startSecondBand())) {
        try {
            lower = std::thread([&] {
                platform::lowerCurrentThreadPriority();
                try {
                    JpegBand bottom(file_, JpegBand::Stops{&cancelled_, &bandFailed_,
                                                           &tuning_.onCheck, tuning_.maxScans});
                    if (cmykAsStored_)
                        bottom.keepCmykAsStored();
                    lowerOutcome = asSecondReading(bottom.readHeader());
                    if (lowerOutcome == Outcome::Decoded)
                        lowerOutcome = bottom.start(reduction);
                    if (lowerOutcome == Outcome::Decoded)
                        lowerOutcome = bottom.readRows(pixels, stride, split, height, geometry);
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
        outcome = top.readRows(pixels, stride, 0, split, geometry);
        if (outcome != Outcome::Decoded)
            bandFailed_ = true;
        lower.join();
        outcome = combined(outcome, lowerOutcome, cancelled_.load());
    } else {
        outcome = top.readRows(pixels, stride, 0, height, geometry);
    }
    if (outcome == Outcome::Decoded)
        image = std::move(decoded);
    return outcome;
}

} // namespace orlix
