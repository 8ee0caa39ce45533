#include "decode/process/ProcessDecoder.h"

#include "decode/process/ReplyCheck.h"
#include "platform/ipc/SharedFlag.h"
#include "platform/sandbox/DecoderProcess.h"

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

// Receives one message on `channel`, which has one waiting, and checks it as the reply to
// `request`; nothing when it is not one.
std::optional<CheckedReply> receiveReply(MessageChannel& channel,
                                         const DecodeRequestMessage& request, bool stopAsked) {
    // One byte more than a reply: a longer message is received cut, and refused for its size.
    char bytes[sizeof(DecodeReplyMessage) + 1];
    std::size_t size = 0;
    std::vector<platform::UniqueFd> descriptors;
    if (channel.receive(bytes, sizeof bytes, size, descriptors, 0) !=
        MessageChannel::Status::Received)
        return std::nullopt;
    return checkReply(request, stopAsked, bytes, size, descriptors);
}

} // namespace

ProcessDecoder::ProcessDecoder(std::chrono::milliseconds patience) : patience_(patience) {}

ProcessDecoder::~ProcessDecoder() = default;

DecodeResult ProcessDecoder::decode(const DecodeRequest& request,
                                    const std::atomic<bool>& cancelled) {
    if (!request.file)
        return failed(LoadError::PathInvalid);
    const std::lock_guard<std::mutex> lock(mutex_);
    DecodeResult result = exchange(request, cancelled);
    if (result.error == LoadError::DecodeFailed)
        endProcess(); // dead or untrustworthy: the next picture gets another
    return result;
}

DecodeResult ProcessDecoder::exchange(const DecodeRequest& request,
                                      const std::atomic<bool>& cancelled) {
    if (cancelledRequest_ && !drainCancelled())
        endProcess(); // still busy with what was cancelled, or answering what it was not asked
    if (!startProcess())
        return failed(LoadError::DecodeFailed);
    stop_->set(false);
    DecodeRequestMessage message;
    message.head.sequence = ++sequence_;
    message.identity = request.file->identity();
    message.fitWidth = request.fitInto.width();
    message.fitHeight = request.fitInto.height();
    message.hurried = request.hurried ? 1 : 0;
    message.frameScaleWidth = request.frameBox.scaleWidth;
    message.frameViewHeight = request.frameBox.viewHeight;
    message.frameDevicePixelRatio = request.frameBox.devicePixelRatio;
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
            cancelledRequest_ = message;
            DecodeResult result;
            result.cancelled = true;
            return result;
        }
        if (Clock::now() >= deadline)
            return failed(LoadError::DecodeFailed);
        const MessageChannel::Status status = channel.wait(kCancelCheckMs);
        if (status == MessageChannel::Status::TimedOut)
            continue;
        std::optional<CheckedReply> reply = receiveReply(channel, message, false);
        if (!reply)
            return failed(LoadError::DecodeFailed);
        return resultOf(std::move(*reply), receiver_, request.mayBorrow);
    }
}

void ProcessDecoder::prepare(QSize screenPixels) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!startProcess() || screenPixels.isEmpty())
        return;
    ScreenSizeMessage message;
    message.head.sequence = ++sequence_;
    message.width = screenPixels.width();
    message.height = screenPixels.height();
    // Should it not arrive, the first picture faults its memory in as it is decoded.
    process_->channel().send(&message, sizeof message);
}

void ProcessDecoder::release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    endProcess();
    startProcess();
}

bool ProcessDecoder::startProcess() {
    // A decoder answers each request once and sends nothing else: a message waiting now is one
    // the program did not ask for (or the process has gone), and could be taken for the answer
    // to the next request.
    if (process_ && process_->channel().wait(0) != MessageChannel::Status::TimedOut)
        endProcess();
    if (process_)
        return true;
    process_ = platform::DecoderProcess::start();
    stop_ = platform::SharedFlag::create();
    if (!process_ || !stop_) {
        endProcess();
        return false;
    }
    return true;
}

int ProcessDecoder::sharedProfile(const QByteArray& profile) {
    if (profile.isEmpty())
        return -1;
    if (profile != profile_ || !profileMemory_) {
        profileMemory_ = platform::shareBytes(profile);
        profile_ = profileMemory_ ? profile : QByteArray();
    }
    return profileMemory_.get();
}

bool ProcessDecoder::drainCancelled() {
    const DecodeRequestMessage request = *cancelledRequest_;
    cancelledRequest_.reset();
    if (!process_)
        return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(kStopPatience).count();
    MessageChannel& channel = process_->channel();
    if (channel.wait(static_cast<int>(left)) != MessageChannel::Status::Received)
        return false;
    // Whatever it answered is dropped unread, its memory unmapped; anything after the answer
    // is caught before the next request goes out (startProcess).
    return receiveReply(channel, request, true).has_value();
}

void ProcessDecoder::endProcess() {
    process_.reset();
    receiver_.forget();
    stop_.reset();
    cancelledRequest_.reset();
}

} // namespace orlix
