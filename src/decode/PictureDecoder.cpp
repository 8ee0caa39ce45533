#include "decode/PictureDecoder.h"

#include "decode/JpegReader.h"
#include "decode/PictureFileDevice.h"

#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orlix {

namespace {

using Turn = QImageIOHandler::Transformations;

// The picture as it is meant to be seen, for the orientation its Exif data gives.
QImage upright(QImage image, Turn turn) {
    if (turn == QImageIOHandler::TransformationNone)
        return image;
    if (turn == QImageIOHandler::TransformationRotate270)
        return image.transformed(QTransform().rotate(270));
    image = std::move(image).mirrored(turn & QImageIOHandler::TransformationMirror,
                                      turn & QImageIOHandler::TransformationFlip);
    if (turn & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

DecodeResult failed(LoadError error) {
    DecodeResult result;
    result.error = error;
    return result;
}

DecodeResult abandoned() {
    DecodeResult result;
    result.cancelled = true;
    return result;
}

const char* qtFormatOf(PictureKind kind) {
    switch (kind) {
    case PictureKind::Bmp:
        return "bmp";
    case PictureKind::Jpeg:
        return "jpeg";
    case PictureKind::Gif:
        return "gif";
    case PictureKind::Unknown:
        break;
    }
    return "";
}

// A GIF's logical screen: the reader composes every frame onto an image of this size, so it
// is what the pixel limit must hold for, whatever size the first frame claims.
QSize gifScreen(const unsigned char* head) {
    return QSize(head[6] | (head[7] << 8), head[8] | (head[9] << 8));
}

constexpr std::int64_t kHeadLength = 32;

LoadError readErrorOf(const platform::PictureFile& file) {
    const LoadError error = loadErrorFrom(file.error());
    return error == LoadError::None ? LoadError::DeviceIO : error;
}

} // namespace

PictureKind pictureKindOf(const char* head, std::int64_t length) {
    const auto starts = [&](const char* magic, std::int64_t count) {
        return length >= count && std::memcmp(head, magic, static_cast<std::size_t>(count)) == 0;
    };
    if (starts("\xFF\xD8\xFF", 3))
        return PictureKind::Jpeg;
    if (starts("GIF87a", 6) || starts("GIF89a", 6))
        return PictureKind::Gif;
    // "BM" and a header long enough for the file header and the size of the info header.
    if (starts("BM", 2) && length >= 14 + 4)
        return PictureKind::Bmp;
    return PictureKind::Unknown;
}

StandardPictureDecoder::StandardPictureDecoder() {
    // Set here, before any decoding thread reads it.
    QImageReader::setAllocationLimit(kAllocationLimitMb);
}

bool StandardPictureDecoder::withinPixelLimit(const QSize& size) {
    if (size.width() < 0 || size.height() < 0)
        return false;
    return std::int64_t(size.width()) * size.height() <= kMaxPixels;
}

QSize StandardPictureDecoder::neededFor(QSize whole, QSize fitInto) {
    if (fitInto.isEmpty() || whole.isEmpty() ||
        (whole.width() <= fitInto.width() && whole.height() <= fitInto.height()))
        return whole;
    const double scale = std::min(double(fitInto.width()) / whole.width(),
                                  double(fitInto.height()) / whole.height());
    const auto needed = [scale](int length) {
        return std::min(length, static_cast<int>(std::ceil(length * scale - 1e-9)));
    };
    return QSize(needed(whole.width()), needed(whole.height()));
}

DecodeResult StandardPictureDecoder::decode(const DecodeRequest& request,
                                            const std::atomic<bool>& cancelled) const {
    if (!request.file)
        return failed(LoadError::PathInvalid);
    const platform::PictureFile& file = *request.file;
    const auto stopped = [&cancelled] { return cancelled.load(std::memory_order_relaxed); };

    unsigned char head[kHeadLength] = {};
    const std::int64_t headLength = file.readAt(0, reinterpret_cast<char*>(head), kHeadLength);
    if (headLength < 0)
        return failed(readErrorOf(file));
    const PictureKind kind = pictureKindOf(reinterpret_cast<const char*>(head), headLength);
    if (kind == PictureKind::Unknown)
        return failed(LoadError::InvalidPicture);
    if (kind == PictureKind::Gif && headLength >= 10 && !withinPixelLimit(gifScreen(head)))
        return failed(LoadError::TooLarge);

    PictureFileDevice device(file, cancelled);
    QImageReader reader;
    reader.setDevice(&device);
    // Only the reader of the kind the content shows: none of Qt's other readers is reachable.
    reader.setFormat(qtFormatOf(kind));
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stopped())
        return abandoned();
    if (stored.isValid() && !withinPixelLimit(stored))
        return failed(LoadError::TooLarge);
    const Turn turn = reader.transformation();
    const bool quarterTurn = turn & QImageIOHandler::TransformationRotate90;

    DecodeResult result;
    QImage image;
    bool decoded = false;
    if (kind == PictureKind::Jpeg && stored.isValid()) {
        const QSize whole = quarterTurn ? stored.transposed() : stored;
        const QSize needed = neededFor(whole, request.fitInto);
        const int reduction =
            needed == whole ? 1 : JpegReader::reductionFor(stored, quarterTurn, needed);
        switch (JpegReader(file, cancelled).read(reduction, image)) {
        case JpegReader::Outcome::Decoded:
            image = upright(std::move(image), turn);
            result.pixelSize = whole;
            result.reduction = reduction;
            decoded = true;
            break;
        case JpegReader::Outcome::Unsupported:
            break; // Qt's reader below knows the rarer kinds
        case JpegReader::Outcome::Invalid:
            return failed(LoadError::InvalidPicture);
        case JpegReader::Outcome::ReadFailed:
            return failed(LoadError::DeviceIO);
        case JpegReader::Outcome::Cancelled:
            return abandoned();
        }
    }
    if (!decoded) {
        const bool read = reader.read(&image);
        if (stopped())
            return abandoned();
        // Qt's readers take a failed read for the end of the data: a read error is one even
        // where the reader made a picture of what came before it.
        if (device.readFailed())
            return failed(readErrorOf(file));
        // A bitmap cut short would show rows the reader never filled.
        if (!read || (kind == PictureKind::Bmp && device.shortRead()))
            return failed(LoadError::InvalidPicture);
        if (!withinPixelLimit(image.size()))
            return failed(LoadError::TooLarge);
        result.pixelSize = image.size();
    }
    if (stopped())
        return abandoned();
    result.image = std::move(image);
    return result;
}

} // namespace orlix
