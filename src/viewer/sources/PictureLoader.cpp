#include "viewer/sources/PictureLoader.h"

#include "viewer/steps/FrameRenderer.h"

#include <new>
#include <system_error>
#include <utility>

namespace orlix {

namespace {

// A file that keeps changing under every read is given up after this many.
constexpr int kReadAttempts = 3;

bool stopped(const std::atomic<bool>& cancelled) {
    return cancelled.load(std::memory_order_relaxed);
}

PicturePtr abandonedPicture(const QString& path, const SizeRequest& request) {
    auto picture = std::make_shared<DecodedPicture>();
    picture->path = path;
    picture->request = request;
    picture->cancelled = true;
    return picture;
}

} // namespace

PictureLoader::PictureLoader(std::shared_ptr<PictureDecoder> decoder)
    : PictureLoader(std::move(decoder), false) {}

PictureLoader::PictureLoader(std::shared_ptr<PictureDecoder> decoder, bool hurried)
    : decoder_(std::move(decoder)), hurried_(hurried) {}

PictureLoader PictureLoader::hurried(bool hurried) const {
    return PictureLoader(decoder_, hurried);
}

PicturePtr PictureLoader::failure(const QString& path, const SizeRequest& request,
                                  LoadError error) {
    auto picture = std::make_shared<DecodedPicture>();
    picture->path = path;
    picture->request = request;
    picture->error = error;
    return picture;
}

PicturePtr PictureLoader::load(const QString& path, const SizeRequest& request, bool whole,
                               const PicturePtr& kept, const std::atomic<bool>& cancelled) const {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (stopped(cancelled))
            return abandonedPicture(path, request);
        platform::FileError error = platform::FileError::None;
        std::shared_ptr<const platform::PictureFile> file =
            platform::PictureFile::open(path, error);
        if (!file)
            return failure(path, request, loadErrorFrom(error));
        if (kept && kept->file && kept->path == path && kept->identity() == file->identity() &&
            kept->file->unchanged())
            return kept;
        if (PicturePtr picture = decodeFile(path, std::move(file), request, whole, cancelled))
            return picture;
    }
    return failure(path, request, LoadError::DeviceIO);
}

PicturePtr PictureLoader::reload(const PicturePtr& shown, const SizeRequest& request, bool whole,
                                 bool reopen, const std::atomic<bool>& cancelled) const {
    if (shown->file && shown->file->unchanged()) {
        if (PicturePtr picture =
                decodeFile(shown->path, shown->file, request, whole, cancelled, shown.get()))
            return picture;
    }
    if (!reopen)
        return abandonedPicture(shown->path, request);
    return load(shown->path, request, whole, nullptr, cancelled);
}

PicturePtr PictureLoader::decodeFile(const QString& path,
                                     std::shared_ptr<const platform::PictureFile> file,
                                     const SizeRequest& request, bool whole,
                                     const std::atomic<bool>& cancelled,
                                     const DecodedPicture* shown) const {
    auto picture = std::make_shared<DecodedPicture>();
    picture->path = path;
    picture->request = request;
    try {
        // Borrowed pixels are copied below as far as they are kept: a reduced decode is not.
        DecodeResult result = decoder_->decode(
            DecodeRequest{file, whole ? QSize() : request.fitInto, request.displayProfile, true,
                          hurried_, whole ? FitBox() : request.frameBox},
            cancelled);
        if (result.cancelled || stopped(cancelled))
            return abandonedPicture(path, request);
        // Rewritten in place while it was read: the pixels may mix two contents.
        if (!file->unchanged())
            return nullptr;
        picture->file = std::move(file);
        picture->error = result.error;
        picture->pixelSize = result.pixelSize;
        const uchar* borrowed = result.borrowed ? result.image.constBits() : nullptr;
        picture->image = std::move(result.image);
        picture->eighths = result.eighths;
        // A frame made by the decoder is the frame: the picture itself never came.
        if (result.framed)
            std::swap(picture->frame, picture->image);
        if (picture->ok()) {
            picture->frameParams = request.frames.frameFor(picture->pixelSize);
            if (result.framed) {
                if (picture->frame.size() != picture->frameParams.deviceSize)
                    picture->frame = FrameRenderer().render(picture->frame, picture->frameParams);
            } else if (shown && !shown->frame.isNull() &&
                       shown->frameParams == picture->frameParams) {
                // The full resolution of a picture on screen keeps the frame already shown
                // where it is the same: scaling a whole photo down again would cost more than
                // its decode, and show the same.
                picture->frame = shown->frame;
            } else {
                FrameRenderer renderer;
                picture->frame = renderer.render(picture->image, picture->frameParams);
            }
            // A reduced decode serves nothing its frame does not: real size and panning want
            // the whole picture, decoded when asked for. Held beside its frame, it would be
            // paid for on every slide, ahead and on screen.
            if (picture->eighths != DecodeResult::kWhole && !picture->frame.isNull())
                picture->image = QImage();
            if (stopped(cancelled))
                return abandonedPicture(path, request);
        }
        if (borrowed) {
            // What is kept of borrowed pixels is copied: the decoder fills their memory again.
            if (!picture->image.isNull())
                picture->image = picture->image.copy();
            if (picture->frame.constBits() == borrowed) // the frame is the whole picture
                picture->frame = picture->image.isNull() ? picture->frame.copy() : picture->image;
        }
    } catch (const std::bad_alloc&) {
        return failure(path, request, LoadError::DecodeFailed);
    } catch (const std::system_error&) {
        return failure(path, request, LoadError::DecodeFailed);
    }
    return picture;
}

} // namespace orlix
