#include "decode/codec/PictureDecoder.h"

#include "decode/codec/AreaShrinker.h"
#include "decode/codec/ColourProfile.h"
#include "decode/codec/ColourTransform.h"
#include "decode/codec/JpegReader.h"
#include "decode/codec/PictureFileDevice.h"

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

DecodeResult jpegFailure(JpegReader::Outcome outcome, const platform::PictureFile& file) {
    switch (outcome) {
    case JpegReader::Outcome::Cancelled:
        return abandoned();
    case JpegReader::Outcome::ReadFailed:
        return failed(readErrorOf(file));
    case JpegReader::Outcome::TooLarge:
        return failed(LoadError::TooLarge);
    case JpegReader::Outcome::Failed:
        return failed(LoadError::DecodeFailed);
    case JpegReader::Outcome::Decoded:
    case JpegReader::Outcome::Unsupported:
    case JpegReader::Outcome::Invalid:
        break;
    }
    return failed(LoadError::InvalidPicture);
}

// The turn a JPEG's Exif orientation asks for. Qt's reader reads only the header's markers
// for it, never a pixel.
Turn exifTurn(const platform::PictureFile& file, const std::atomic<bool>& cancelled) {
    PictureFileDevice device(file, cancelled);
    QImageReader reader(&device, "jpeg");
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    return reader.transformation();
}

} // namespace

const char* readerFormatOf(PictureKind kind) {
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

StandardPictureDecoder::StandardPictureDecoder() : StandardPictureDecoder(PictureMemory()) {}

StandardPictureDecoder::StandardPictureDecoder(PictureMemory memory) : memory_(std::move(memory)) {
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

int StandardPictureDecoder::jpegEighthsFor(QSize whole, QSize fitInto) {
    const QSize needed = neededFor(whole, fitInto);
    // Scaling commutes with a quarter turn, so the upright size serves as well as the stored.
    return needed == whole ? JpegReader::kWhole : JpegReader::scaleFor(whole, false, needed);
}

QSize StandardPictureDecoder::frameFor(QSize whole, const FitBox& frameBox) {
    if (frameBox.isEmpty() || whole.isEmpty() || frameBox.fitsUnscaled(whole))
        return QSize();
    const QSize frame = frameBox.frameSize(whole);
    // Never larger than the box, nor than a pixel more than the picture: a frame is shrunk.
    const QSize box = frameBox.deviceBox();
    if (frame.isEmpty() || frame.width() > box.width() || frame.height() > box.height() ||
        frame.width() > whole.width() + 1 || frame.height() > whole.height() + 1)
        return QSize();
    return frame;
}

QImage StandardPictureDecoder::framed(const QImage& image, QSize target,
                                      const std::atomic<bool>& cancelled) const {
    QImage frame = memory_ ? memory_(target, QImage::Format_RGB888) : QImage();
    if (frame.size() != target || frame.format() != QImage::Format_RGB888)
        frame = QImage(target, QImage::Format_RGB888);
    if (frame.isNull())
        return frame;
    const bool alpha = image.hasAlphaChannel();
    const QImage rows =
        image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (rows.isNull())
        return QImage();
    AreaShrinker shrinker(rows.size(), target, 0, rows.height(), frame.bits(),
                          frame.bytesPerLine());
    const auto kind = alpha ? AreaShrinker::Alpha::OverBlack : AreaShrinker::Alpha::Ignored;
    // A picture near the pixel limit takes a while to shrink: a cancel is seen every few rows.
    constexpr int kRowsPerCheck = 64;
    for (int y = 0; y < rows.height(); ++y) {
        if (y % kRowsPerCheck == 0 && cancelled.load(std::memory_order_relaxed))
            return QImage();
        shrinker.addRow(reinterpret_cast<const QRgb*>(rows.constScanLine(y)), kind);
    }
    return frame;
}

DecodeResult StandardPictureDecoder::decode(const DecodeRequest& request,
                                            const std::atomic<bool>& cancelled) {
    // Nothing thrown may leave the decoding thread: whatever a decode cannot allocate or
    // start is a picture that failed.
    try {
        return decodeGuarded(request, cancelled);
    } catch (const std::exception&) {
        return failed(LoadError::DecodeFailed);
    }
}

DecodeResult StandardPictureDecoder::decodeGuarded(const DecodeRequest& request,
                                                   const std::atomic<bool>& cancelled) const {
    if (!request.file)
        return failed(LoadError::PathInvalid);
    const platform::PictureFile& file = *request.file;

    unsigned char head[kHeadLength] = {};
    const std::int64_t headLength = file.readAt(0, reinterpret_cast<char*>(head), kHeadLength);
    if (headLength < 0)
        return failed(readErrorOf(file));
    const PictureKind kind = pictureKindOf(reinterpret_cast<const char*>(head), headLength);
    if (kind == PictureKind::Unknown)
        return failed(LoadError::InvalidPicture);
    if (kind == PictureKind::Jpeg)
        return decodeJpeg(request, cancelled);
    if (kind == PictureKind::Gif && headLength >= 10 && !withinPixelLimit(gifScreen(head)))
        return failed(LoadError::TooLarge);

    PictureFileDevice device(file, cancelled);
    QImageReader reader;
    reader.setDevice(&device);
    // Only the reader of the kind the content shows: none of Qt's other readers is reachable.
    reader.setFormat(readerFormatOf(kind));
    reader.setAutoDetectImageFormat(false);
    const QSize stored = reader.size();
    if (cancelled.load())
        return abandoned();
    if (stored.isValid() && !withinPixelLimit(stored))
        return failed(LoadError::TooLarge);
    QImage image;
    const bool read = reader.read(&image);
    if (cancelled.load())
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
    if (const auto colour =
            ColourTransform::between(ColourProfile::readFrom(file, kind), request.displayProfile)) {
        if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
            image = std::move(image).convertToFormat(
                image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        colour->apply(image);
    }
    if (cancelled.load())
        return abandoned();
    DecodeResult result;
    result.pixelSize = image.size();
    const QSize frame = frameFor(image.size(), request.frameBox);
    if (frame.isEmpty()) {
        result.image = std::move(image);
        return result;
    }
    result.image = framed(image, frame, cancelled);
    result.framed = true;
    if (cancelled.load())
        return abandoned();
    if (result.image.isNull())
        return failed(LoadError::DecodeFailed);
    return result;
}

DecodeResult StandardPictureDecoder::decodeJpeg(const DecodeRequest& request,
                                                const std::atomic<bool>& cancelled) const {
    const platform::PictureFile& file = *request.file;
    // Every size below comes from this one reading of the header, however the file changes.
    JpegReader::Options options;
    options.stopRequested = [&cancelled] { return cancelled.load(std::memory_order_relaxed); };
    if (!request.hurried)
        options.startSecondBand = [] { return false; };
    JpegReader jpeg(file, std::move(options));
    JpegReader::Outcome outcome = jpeg.readHeader();
    if (outcome != JpegReader::Outcome::Decoded)
        return jpegFailure(outcome, file);
    const QSize stored = jpeg.storedSize();
    const Turn turn = exifTurn(file, cancelled);
    if (cancelled.load())
        return abandoned();
    const bool quarterTurn = turn & QImageIOHandler::TransformationRotate90;
    const QSize whole = quarterTurn ? stored.transposed() : stored;
    const int eighths = jpegEighthsFor(whole, request.fitInto);
    // The colour model is the header's, as the decoder read it; the profile is the file's.
    ColourProfile profile = ColourProfile::readFrom(file, PictureKind::Jpeg);
    profile.model = jpeg.components() == 4   ? ColourModel::Cmyk
                    : jpeg.components() == 1 ? ColourModel::Grey
                                             : ColourModel::Rgb;
    const auto colour = ColourTransform::between(profile, request.displayProfile);
    if (colour && colour->input() == ColourModel::Cmyk)
        jpeg.keepCmykAsStored();
    DecodeResult result;
    result.pixelSize = whole;
    result.eighths = eighths;
    if (const QSize frame = frameFor(whole, request.frameBox); !frame.isEmpty()) {
        // Shrunk row by row as it is decoded, turned upright on the way.
        JpegReader::Shrunk shrunk;
        shrunk.target = quarterTurn ? frame.transposed() : frame;
        shrunk.turn = turn;
        if (colour)
            shrunk.convertRow = [&colour](QRgb* row, int width) { colour->applyToRow(row, width); };
        QImage image = memory_ ? memory_(frame, QImage::Format_RGB888) : QImage();
        outcome = jpeg.read(eighths, shrunk, image);
        if (outcome != JpegReader::Outcome::Decoded)
            return jpegFailure(outcome, file);
        result.image = std::move(image);
        result.framed = true;
    } else {
        QImage image = memory_
                           ? memory_(JpegReader::scaledSize(stored, eighths), QImage::Format_RGB32)
                           : QImage();
        outcome = jpeg.read(eighths, image);
        if (outcome != JpegReader::Outcome::Decoded)
            return jpegFailure(outcome, file);
        if (colour && !cancelled.load())
            colour->apply(image);
        result.image = upright(std::move(image), turn);
    }
    if (cancelled.load())
        return abandoned();
    return result;
}

} // namespace orlix
