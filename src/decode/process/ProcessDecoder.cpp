#include "decode/process/ProcessDecoder.h"

#include "decode/codec/JpegReader.h"
#include "decode/process/DecoderProtocol.h"
#include "platform/ipc/SharedFlag.h"
#include "platform/sandbox/DecoderProcess.h"

#include <algorithm>
#include <iterator>

namespace orlix {

namespace {

using platform::MessageChannel;
using Clock = std::chrono::steady_clock;

// How often a wait for the decoder looks at the cancel flag, which nothing signals.
constexpr int kCancelCheckMs = 5;

DecodeResult failed(LoadError error) {
    DecodeResult result;
    result.error = error;
    return result;
}

// What a decoder process may answer with. A failure missing here reaches the user as a failed
// decode, not as itself.
constexpr LoadError kAnswers[] = {
    LoadError::None,         LoadError::TooLarge,       LoadError::DecodeFailed,
    LoadError::FileNotFound, LoadError::DeviceIO,       LoadError::PermissionDenied,
    LoadError::PathInvalid,  LoadError::InvalidPicture,
};

bool knownError(std::int32_t error) {
    return std::any_of(std::begin(kAnswers), std::end(kAnswers), [error](LoadError known) {
        return static_cast<std::int32_t>(known) == error;
    });
}

// The result a reply stands for. A decoder process may have been taken over by a crafted
// picture, so nothing in the reply is trusted: a reply that does not hold together is a failed
// decode.
DecodeResult resultOf(const DecodeReplyMessage& reply, platform::UniqueFd pixels,
                      PixelReceiver& receiver) {
    if (!knownError(reply.error))
        return failed(LoadError::DecodeFailed);
    const auto error = static_cast<LoadError>(reply.error);
    if (error != LoadError::None)
        return failed(error);
    const bool scaled = JpegReader::decodesAt(reply.eighths);
    // The pixels are mapped and read in whole: their layout must be that of a picture the decoder
    // can have made, no larger than the largest it decodes (QImage pads rows to 32 bits only).
    const QSize whole(reply.pixelWidth, reply.pixelHeight);
    const bool sized = !whole.isEmpty() && StandardPictureDecoder::withinPixelLimit(whole) &&
                       reply.layout.width <= whole.width() &&
                       reply.layout.height <= whole.height() &&
                       reply.layout.bytesPerLine <= std::int64_t(reply.layout.width) * 8 + 4;
    if (!scaled || !sized || reply.colourCount < 0 ||
        reply.colourCount > DecodeReplyMessage::kMaxColours)
        return failed(LoadError::DecodeFailed);
    DecodeResult result;
    result.pixelSize = whole;
    result.eighths = reply.eighths;
    result.image = reply.lent ? receiver.copyLent(pixels.get(), reply.layout)
                              : PixelReceiver::mapGiven(std::move(pixels), reply.layout);
    if (result.image.isNull())
        return failed(LoadError::DecodeFailed);
    if (reply.colourCount > 0)
        result.image.setColorTable(QVector<QRgb>(reply.colours, reply.colours + reply.colourCount));
    return result;
}

} // namespace

ProcessDecoder::ProcessDecoder(std::chrono::milliseconds patience) : patience_(patience) {}

ProcessDecoder::~ProcessDecoder() = default;

DecodeResult ProcessDecoder::decode(const DecodeRequest& request,
                                    const std::atomic<bool>& cancelled) const {
    if (!request.file)
        return failed(LoadError::PathInvalid);
    const std::lock_guard<std::mutex> lock(mutex_);
    DecodeResult result = exchange(request, cancelled);
    if (result.error == LoadError::DecodeFailed)
        endProcess(); // dead or untrustworthy: the next picture gets another
    return result;
}

DecodeResult ProcessDecoder::exchange(const DecodeRequest& request,
                                      const std::atomic<bool>& cancelled) const {
    if (process_ && cancelledUnanswered_ && !drainCancelled())
        endProcess(); // still busy with what was cancelled
    if (!startProcess())
        return failed(LoadError::DecodeFailed);
    stop_->set(false);
    DecodeRequestMessage message;
    message.identity = request.file->identity();
    message.fitWidth = request.fitInto.width();
    message.fitHeight = request.fitInto.height();
    MessageChannel& channel = process_->channel();
    const int profile = sharedProfile(request.displayProfile);
    message.displayProfileBytes = profile >= 0 ? request.displayProfile.size() : 0;
    const int picture = request.file->descriptor();
    const bool sent =
        profile >= 0
            ? channel.send(&message, sizeof message, {picture, stop_->descriptor(), profile})
            : channel.send(&message, sizeof message, {picture, stop_->descriptor()});
    if (!sent)
        return failed(LoadError::DecodeFailed);

    const Clock::time_point deadline = Clock::now() + patience_;
    for (;;) {
        if (cancelled.load(std::memory_order_relaxed)) {
            stop_->set(true);
            cancelledUnanswered_ = true;
            DecodeResult result;
            result.cancelled = true;
            return result;
        }
        if (Clock::now() >= deadline)
            return failed(LoadError::DecodeFailed);
        const MessageChannel::Status status = channel.wait(kCancelCheckMs);
        if (status == MessageChannel::Status::TimedOut)
            continue;
        if (status != MessageChannel::Status::Received)
            return failed(LoadError::DecodeFailed);
        DecodeReplyMessage reply;
        std::size_t size = 0;
        std::vector<platform::UniqueFd> descriptors;
        if (channel.receive(&reply, sizeof reply, size, descriptors, 0) !=
                MessageChannel::Status::Received ||
            size != sizeof reply || descriptors.size() > 1)
            return failed(LoadError::DecodeFailed);
        return resultOf(reply,
                        descriptors.empty() ? platform::UniqueFd() : std::move(descriptors.front()),
                        receiver_);
    }
}

void ProcessDecoder::prepare(QSize screenPixels) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!startProcess() || screenPixels.isEmpty())
        return;
    ScreenSizeMessage message;
    message.width = screenPixels.width();
    message.height = screenPixels.height();
    // Should it not arrive, the first picture faults its memory in as it is decoded.
    process_->channel().send(&message, sizeof message);
}

void ProcessDecoder::release() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    endProcess();
    startProcess();
}

bool ProcessDecoder::startProcess() const {
    if (process_)
        return true;
    process_ = platform::DecoderProcess::start();
    stop_ = platform::SharedFlag::create();
    if (!process_ || !stop_) {
        endProcess();
        return false;
    }
    processId_ = process_->id();
    return true;
}

int ProcessDecoder::sharedProfile(const QByteArray& profile) const {
    if (profile.isEmpty())
        return -1;
    if (profile != profile_ || !profileMemory_) {
        profileMemory_ = platform::shareBytes(profile);
        profile_ = profileMemory_ ? profile : QByteArray();
    }
    return profileMemory_.get();
}

bool ProcessDecoder::drainCancelled() const {
    const Clock::time_point deadline = Clock::now() + kStopPatience;
    MessageChannel& channel = process_->channel();
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 ||
            channel.wait(static_cast<int>(left.count())) != MessageChannel::Status::Received)
            return false;
        DecodeReplyMessage reply;
        std::size_t size = 0;
        std::vector<platform::UniqueFd> descriptors; // closed unread
        if (channel.receive(&reply, sizeof reply, size, descriptors, 0) ==
            MessageChannel::Status::Received) {
            cancelledUnanswered_ = false;
            return true;
        }
    }
}

void ProcessDecoder::endProcess() const {
    process_.reset();
    receiver_.forget();
    stop_.reset();
    processId_ = 0;
    cancelledUnanswered_ = false;
}

} // namespace orlix
