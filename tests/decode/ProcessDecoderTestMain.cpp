// The decoder-process tests start the forking process as the program does, first thing in
// main, before any thread. Its decoder processes serve the program's decoder, except for probes
// of their confinement and test pictures whose content tells them to fail or lie as a flawed or
// taken-over decoder would.
#include "decode/codec/JpegReader.h"
#include "decode/process/DecoderProtocol.h"
#include "decode/process/DecoderService.h"
#include "decode/process/PixelGiver.h"
#include "decode/process/PixelLender.h"
#include "platform/ipc/SharedFlag.h"
#include "support/DecoderProbe.h"
#include "support/MisbehavingPictures.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace orlix::test {
namespace {

using platform::MessageChannel;
using platform::UniqueFd;

// A reply and the memory its pixels are in.
struct Reply {
    DecodeReplyMessage message;
    UniqueFd given; // owned here, when not the lender's
    int pixels = -1;
};

// The memory a decoder process lends from, for as long as it lives.
PixelLender& lender() {
    static PixelLender lender;
    return lender;
}

// Lends a picture of `size` in `colour` for `picture`; the memory's descriptor.
int lend(QSize size, QRgb colour, ReplyPicture& picture) {
    return lender().lend(filledImage(size, colour), picture.layout);
}

FitBox frameBoxOf(const DecodeRequestMessage& request) {
    return FitBox{request.frameScaleWidth, request.frameViewHeight, request.frameDevicePixelRatio};
}

// Gives `image` for `picture`; the memory's descriptor, owned by `reply`.
int give(const QImage& image, ReplyPicture& picture, UniqueFd& given) {
    given = PixelGiver::giveCopy(image, picture.layout);
    return given.get();
}

// The reply the program's decoder sends for a picture of `whole` pixels in `colour`: its frame
// when the request's view asks for one, else the picture at its scale, lent when whole.
Reply trueReply(const DecodeRequestMessage& request, QSize whole, QRgb colour) {
    Reply reply;
    reply.message.head.sequence = request.head.sequence;
    reply.message.kind = ReplyKind::Picture;
    ReplyPicture& picture = reply.message.picture;
    picture.pixelWidth = whole.width();
    picture.pixelHeight = whole.height();
    const QSize fitInto(request.fitWidth, request.fitHeight);
    picture.eighths = StandardPictureDecoder::jpegEighthsFor(whole, fitInto);
    const QSize frame = StandardPictureDecoder::frameFor(whole, frameBoxOf(request));
    if (!frame.isEmpty()) {
        picture.framed = 1;
        QImage pixels(frame, kFrameFormat);
        pixels.fill(colour);
        reply.pixels = give(pixels, picture, reply.given);
        return reply;
    }
    picture.lent = fitInto.isEmpty() ? 1 : 0;
    const QImage pixels = filledImage(JpegReader::scaledSize(whole, picture.eighths), colour);
    reply.pixels =
        picture.lent ? lender().lend(pixels, picture.layout) : give(pixels, picture, reply.given);
    return reply;
}

// A true answer sent again ahead of the next request's (Lie::TwoAnswers).
std::optional<Reply> heldAnswer;

void send(MessageChannel& channel, const Reply& reply, std::size_t size, bool extraDescriptor) {
    if (reply.pixels < 0)
        channel.send(&reply.message, size);
    else if (extraDescriptor)
        channel.send(&reply.message, size, {reply.pixels, reply.pixels});
    else
        channel.send(&reply.message, size, {reply.pixels});
}

void sendHeldAnswer(MessageChannel& channel) {
    if (heldAnswer)
        send(channel, *heldAnswer, sizeof heldAnswer->message, false);
    heldAnswer.reset();
}

void answerWith(MessageChannel& channel, const DecodeRequestMessage& request, Lie lie) {
    const QRgb red = qRgb(255, 0, 0);
    const QSize whole = lie == Lie::BeyondPixelLimit ? QSize(16385, 16385)
                        : isFrameLie(lie)            ? QSize(64, 48)
                                                     : QSize(4, 4);
    Reply reply = trueReply(request, whole, red);
    DecodeReplyMessage& message = reply.message;
    ReplyPicture& picture = message.picture;
    std::size_t size = sizeof message;
    const auto failure = [&](std::int32_t error) {
        message.kind = ReplyKind::Failure;
        message.error = error;
    };
    switch (lie) {
    case Lie::None:
    case Lie::TwoDescriptors:
    case Lie::BeyondPixelLimit:
        break;
    case Lie::TwoAnswers:
        heldAnswer = Reply{message, UniqueFd(), reply.pixels};
        break;
    case Lie::ShortMessage:
        size -= 4;
        break;
    case Lie::WrongTag:
        message.head.tag = MessageTag::ScreenSize;
        break;
    case Lie::WrongSequence:
        ++message.head.sequence;
        break;
    case Lie::UnknownError:
        failure(99);
        picture = ReplyPicture();
        reply.pixels = -1;
        break;
    case Lie::FailureWithSize:
        failure(static_cast<std::int32_t>(LoadError::InvalidPicture));
        reply.pixels = -1;
        break;
    case Lie::FailureWithPixels:
        failure(static_cast<std::int32_t>(LoadError::InvalidPicture));
        picture = ReplyPicture();
        break;
    case Lie::StoppedUnasked:
        message.kind = ReplyKind::Stopped;
        picture = ReplyPicture();
        reply.pixels = -1;
        break;
    case Lie::ScaleNotAsked:
        picture.eighths = 4;
        reply.pixels = lend({2, 2}, red, picture);
        break;
    case Lie::Wider:
        reply.pixels = lend({8, 4}, red, picture);
        break;
    case Lie::Taller:
        reply.pixels = lend({4, 8}, red, picture);
        break;
    case Lie::Indexed: // rows as long as the true ones: only the format is a lie
        picture.layout.format = QImage::Format_Indexed8;
        break;
    case Lie::LongRows:
        reply.pixels = lend({8, 4}, red, picture);
        picture.layout.width = 4;
        break;
    case Lie::GivenThoughSmall:
        picture.lent = 0;
        reply.pixels = give(filledImage({4, 4}, red), picture, reply.given);
        break;
    case Lie::Unsealed:
        reply.given = sealedMemory(picture.layout.bytes(), 0);
        reply.pixels = reply.given.get();
        break;
    case Lie::SparseHugeLent:
        reply.given = sealedMemory(std::int64_t(256) << 20, kLentSeals);
        reply.pixels = reply.given.get();
        break;
    case Lie::FrameUnasked: {
        picture.framed = 1;
        picture.lent = 0;
        QImage frame(whole, kFrameFormat);
        frame.fill(red);
        reply.pixels = give(frame, picture, reply.given);
        break;
    }
    case Lie::Unframed:
        picture.framed = 0;
        reply.pixels = give(filledImage(JpegReader::scaledSize(whole, picture.eighths), red),
                            picture, reply.given);
        break;
    case Lie::FrameWrongSize: {
        QImage frame(picture.layout.width - 1, picture.layout.height, kFrameFormat);
        frame.fill(red);
        reply.pixels = give(frame, picture, reply.given);
        break;
    }
    case Lie::FrameAt32Bits:
        reply.pixels = give(filledImage({picture.layout.width, picture.layout.height}, red),
                            picture, reply.given);
        break;
    case Lie::FrameLent: {
        QImage frame(picture.layout.width, picture.layout.height, kFrameFormat);
        frame.fill(red);
        picture.lent = 1;
        reply.pixels = lender().lend(frame, picture.layout);
        break;
    }
    }
    send(channel, reply, size, lie == Lie::TwoDescriptors);
}

// Answers a request for one of the misbehaving pictures as told; false for any other message.
bool misbehave(MessageChannel& channel, DecoderService::Message& message) {
    DecodeRequestMessage request;
    if (message.size != sizeof request || message.descriptors.empty())
        return false;
    std::memcpy(&request, message.bytes.data(), sizeof request);
    if (request.head.tag != MessageTag::DecodeRequest)
        return false;
    UniqueFd& picture = message.descriptors.front();
    picture = platform::placeReceivedDescriptor(std::move(picture), kPictureSlot);
    char head[32] = {};
    if (::pread(picture.get(), head, sizeof head - 1, 0) <= 0)
        return false;
    const std::string content(head);
    const std::string lying(kLyingPicture);
    if (content.compare(0, lying.size(), lying) == 0) {
        answerWith(channel, request, static_cast<Lie>(std::stoi(content.substr(lying.size()))));
        return true;
    }
    if (content == kProcessPicture) {
        const Reply reply = trueReply(request, {1, 1}, qRgb(0, 0, 0) | QRgb(::getpid()));
        send(channel, reply, sizeof reply.message, false);
        return true;
    }
    if (content == kFalseWhenStoppedPicture) {
        const auto stop = platform::SharedFlag::open(std::move(message.descriptors[1]));
        while (stop && !stop->flag().load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Reply reply = trueReply(request, {4, 4}, qRgb(255, 0, 0));
        ++reply.message.head.sequence;
        send(channel, reply, sizeof reply.message, false);
        return true;
    }
    if (content == kCrashingPicture)
        __builtin_trap();
    if (content == kHangingPicture) {
        for (;;)
            ::pause();
    }
    if (content == kGreedyPicture) {
        // More than the memory ceiling: refused (and the process ends on the exception) unless
        // there is no ceiling.
        const std::unique_ptr<volatile char[]> hoard(
            new volatile char[static_cast<std::size_t>(kBeyondCeiling)]);
        hoard[0] = 1;
        return hoard[0] == 0;
    }
    return false;
}

// What the test program's decoder processes run: the program's decoder service, composed
// with the probes and the misbehaving pictures.
void serve(MessageChannel& channel) {
    DecoderService service(channel);
    DecoderService::Message message;
    while (service.receive(message)) {
        sendHeldAnswer(channel);
        if (answerProbe(channel, message.bytes.data(), message.size, message.descriptors) ||
            misbehave(channel, message))
            continue;
        if (!service.answer(message))
            return;
    }
}

} // namespace
} // namespace orlix::test

int main(int argc, char** argv) {
    // A pipe standing for the display connection a decoder process must not inherit: its
    // writing end stays open across the fork at kDisplayStandIn, as a display connection would.
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0 &&
        ::dup2(ends[1], orlix::test::kDisplayStandIn) == orlix::test::kDisplayStandIn)
        orlix::test::displayStandInReader = ends[0];
    orlix::platform::DecoderProgram program = orlix::decoderProgram();
    program.serve = orlix::test::serve;
    // The sandbox's refusals are tried once more with the filters alone (DecoderSandboxTest).
    if (const char* cap = std::getenv("ORLIX_TEST_LANDLOCK_CAP"))
        program.landlockCap = std::atoi(cap);
    orlix::platform::startDecoderZygote(program);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
