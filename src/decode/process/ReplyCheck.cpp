#include "decode/process/ReplyCheck.h"

#include "decode/codec/JpegReader.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace orlix {

namespace {

// The failures a decoder process may answer with. A failure missing here reaches the user as
// a failed decode, not as itself.
constexpr LoadError kFailures[] = {
    LoadError::TooLarge,       LoadError::DecodeFailed,     LoadError::FileNotFound,
    LoadError::DeviceIO,       LoadError::PermissionDenied, LoadError::PathInvalid,
    LoadError::InvalidPicture,
};

bool isFailure(std::int32_t error) {
    return std::any_of(std::begin(kFailures), std::end(kFailures), [error](LoadError known) {
        return static_cast<std::int32_t>(known) == error;
    });
}

FitBox frameBoxOf(const DecodeRequestMessage& request) {
    return FitBox{request.frameScaleWidth, request.frameViewHeight, request.frameDevicePixelRatio};
}

// Whether `picture` is one the program's decoder makes for `request`: within the pixel limit,
// at the scale it chooses (whole, or for a JPEG the one the fit box asks for), its frame
// exactly when the frame box asks for one, in exactly the rows it writes, lent exactly when it
// lends.
bool isDecodedFor(const ReplyPicture& picture, const DecodeRequestMessage& request) {
    const QSize whole(picture.pixelWidth, picture.pixelHeight);
    if (!StandardPictureDecoder::withinPixelLimit(whole))
        return false;
    const QSize fitInto(request.fitWidth, request.fitHeight);
    if (picture.eighths != JpegReader::kWhole &&
        picture.eighths != StandardPictureDecoder::jpegEighthsFor(whole, fitInto))
        return false;
    const QSize frame = StandardPictureDecoder::frameFor(whole, frameBoxOf(request));
    if (picture.framed != (frame.isEmpty() ? 0 : 1))
        return false;
    const PixelLayout& layout = picture.layout;
    if (picture.framed) {
        const std::int64_t rowBytes = (std::int64_t(frame.width()) * 3 + 3) / 4 * 4;
        return layout.width == frame.width() && layout.height == frame.height() &&
               layout.format == kFrameFormat && layout.bytesPerLine == rowBytes &&
               picture.lent == 0;
    }
    const QSize decoded = JpegReader::scaledSize(whole, picture.eighths);
    if (layout.width != decoded.width())
        return false;
    if (layout.height != decoded.height())
        return false;
    if (!isHandedOverFormat(layout.format))
        return false;
    if (layout.bytesPerLine != std::int64_t(layout.width) * 4)
        return false;
    return picture.lent == (fitInto.isEmpty() && layout.bytes() <= kLentBytesLimit ? 1 : 0);
}

} // namespace

std::optional<CheckedReply> checkReply(const DecodeRequestMessage& request, bool stopAsked,
                                       const void* bytes, std::size_t size,
                                       std::vector<platform::UniqueFd>& descriptors) {
    CheckedReply reply;
    if (size != sizeof reply.message)
        return std::nullopt;
    std::memcpy(&reply.message, bytes, sizeof reply.message);
    const DecodeReplyMessage& message = reply.message;
    if (message.head.tag != MessageTag::DecodeReply)
        return std::nullopt;
    if (message.head.sequence != request.head.sequence)
        return std::nullopt;
    const bool failure = message.kind == ReplyKind::Failure;
    if (failure ? !isFailure(message.error) : message.error != 0)
        return std::nullopt;
    switch (message.kind) {
    case ReplyKind::Stopped:
        if (!stopAsked)
            return std::nullopt;
        [[fallthrough]];
    case ReplyKind::Failure:
        if (!(message.picture == ReplyPicture()))
            return std::nullopt;
        if (!descriptors.empty())
            return std::nullopt;
        return reply;
    case ReplyKind::Picture:
        if (descriptors.size() != 1)
            return std::nullopt;
        if (!isDecodedFor(message.picture, request))
            return std::nullopt;
        reply.pixels = std::move(descriptors.front());
        return reply;
    }
    return std::nullopt;
}

DecodeResult resultOf(CheckedReply reply, PixelReceiver& receiver, bool mayBorrow) {
    DecodeResult result;
    const DecodeReplyMessage& message = reply.message;
    if (message.kind == ReplyKind::Stopped) {
        result.cancelled = true;
        return result;
    }
    if (message.kind == ReplyKind::Failure) {
        result.error = static_cast<LoadError>(message.error);
        return result;
    }
    const ReplyPicture& picture = message.picture;
    result.pixelSize = QSize(picture.pixelWidth, picture.pixelHeight);
    result.eighths = picture.eighths;
    result.framed = picture.framed != 0;
    if (!picture.lent) {
        result.image = PixelReceiver::mapGiven(std::move(reply.pixels), picture.layout);
    } else if (mayBorrow) {
        result.image = receiver.borrowLent(reply.pixels.get(), picture.layout);
        result.borrowed = !result.image.isNull();
    } else {
        result.image = receiver.copyLent(reply.pixels.get(), picture.layout);
    }
    if (result.image.isNull())
        result.error = LoadError::DecodeFailed;
    return result;
}

} // namespace orlix
