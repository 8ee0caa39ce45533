#include "viewer/PictureDecoder.h"

#include "viewer/JpegReader.h"
#include "viewer/PictureFileDevice.h"

#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>

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

DecodedPicture failed(DecodedPicture picture, LoadError error) {
    picture.error = error;
    picture.image = QImage();
    return picture;
}

DecodedPicture abandoned(DecodedPicture picture) {
    picture.cancelled = true;
    picture.image = QImage();
    return picture;
}

} // namespace

bool DecodedPicture::serves(const ViewParams& view) const {
    if (!ok())
        return false;
    if (reduction == 1)
        return true;
    if (view.realSize || fitsUnscaled(view, pixelSize))
        return false;
    const FrameParams params = frameParamsFor(view, placementFor(view, pixelSize), pixelSize, 0, 0);
    return image.width() >= params.deviceSize.width() &&
           image.height() >= params.deviceSize.height();
}

platform::FileIdentity DecodedPicture::identity() const {
    return file ? file->identity() : platform::FileIdentity();
}

StandardPictureDecoder::StandardPictureDecoder() {
    // Qt's default ceiling (128 MB) refuses ordinary 48-megapixel photos; the pixel limit is
    // what keeps absurd headers out. Set here, before any decoding thread reads it.
    QImageReader::setAllocationLimit(kAllocationLimitMb);
}

bool StandardPictureDecoder::withinPixelLimit(const QSize& size) {
    if (size.width() < 0 || size.height() < 0)
        return false;
    return std::int64_t(size.width()) * size.height() <= kMaxPixels;
}

DecodedPicture StandardPictureDecoder::decode(const DecodeRequest& request,
                                              const std::atomic<bool>& cancelled) const {
    DecodedPicture picture;
    picture.path = request.path;
    picture.view = request.view;
    picture.file = request.file;
    if (!picture.file) {
        platform::FileError error = platform::FileError::None;
        picture.file = platform::PictureFile::open(request.path, error);
        if (!picture.file)
            return failed(std::move(picture), loadErrorFrom(error));
    }
    const auto stopped = [&cancelled] { return cancelled.load(std::memory_order_relaxed); };

    PictureFileDevice device(*picture.file, cancelled);
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stopped())
        return abandoned(std::move(picture));
    if (stored.isValid() && !withinPixelLimit(stored))
        return failed(std::move(picture), LoadError::TooLarge);
    const Turn turn = reader.transformation();
    const bool quarterTurn = turn & QImageIOHandler::TransformationRotate90;

    QImage image;
    int reduction = 1;
    bool decoded = false;
    if (reader.format() == "jpeg" && stored.isValid()) {
        const QSize whole = quarterTurn ? stored.transposed() : stored;
        if (!request.fullResolution && !request.view.realSize &&
            !fitsUnscaled(request.view, whole)) {
            const FrameParams params =
                frameParamsFor(request.view, placementFor(request.view, whole), whole, 0, 0);
            reduction = JpegReader::reductionFor(stored, quarterTurn, params.deviceSize);
        }
        switch (JpegReader(*picture.file, cancelled).read(reduction, image)) {
        case JpegReader::Outcome::Decoded:
            image = upright(std::move(image), turn);
            picture.pixelSize = whole;
            decoded = true;
            break;
        case JpegReader::Outcome::Unsupported:
            reduction = 1; // Qt's reader below knows the rarer kinds
            break;
        case JpegReader::Outcome::Invalid:
            return failed(std::move(picture), LoadError::InvalidPicture);
        case JpegReader::Outcome::ReadFailed:
            return failed(std::move(picture), LoadError::DeviceIO);
        case JpegReader::Outcome::Cancelled:
            return abandoned(std::move(picture));
        }
    }
    if (!decoded) {
        if (!reader.read(&image)) {
            if (stopped())
                return abandoned(std::move(picture));
            return failed(std::move(picture),
                          device.readFailed() ? LoadError::DeviceIO : LoadError::InvalidPicture);
        }
        picture.pixelSize = image.size();
    }
    if (stopped())
        return abandoned(std::move(picture));

    picture.image = std::move(image);
    picture.reduction = reduction;
    picture.frameParams = frameParamsFor(
        request.view, placementFor(request.view, picture.pixelSize), picture.pixelSize, 0, 0);
    FrameRenderer renderer;
    picture.frame = renderer.render(picture.image, picture.frameParams);
    return picture;
}

} // namespace orlix
