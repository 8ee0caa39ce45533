// The decoder-process tests start the forking process as the program does, first thing in
// main, before any thread. Its decoder processes serve the program's decoder, except for probes
// of their confinement and test pictures whose content tells them to fail as a flawed decoder
// would.
#include "decode/process/DecoderProtocol.h"
#include "decode/process/DecoderService.h"
#include "decode/process/PixelGiver.h"
#include "support/DecoderProbe.h"
#include "support/MisbehavingPictures.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace orlix::test {
namespace {

using platform::MessageChannel;
using platform::UniqueFd;

// Answers as a decoder taken over by a crafted picture could: `lie` about a 4 x 4 picture.
void answerWith(MessageChannel& channel, Lie lie) {
    QImage image(lie == Lie::LargerThanWhole ? 8 : 4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    DecodeReplyMessage reply;
    reply.pixelWidth = lie == Lie::BeyondPixelLimit ? 70000 : 4;
    reply.pixelHeight = lie == Lie::BeyondPixelLimit ? 70000 : 4;
    reply.error = lie == Lie::UnknownError ? 99 : 0;
    reply.eighths = lie == Lie::OddScale ? 3 : 8;
    reply.colourCount = lie == Lie::TooManyColours ? 300 : 0;
    UniqueFd pixels = PixelGiver::giveCopy(image, reply.layout);
    if (lie == Lie::Unsealed) {
        pixels.reset(::memfd_create("unsealed", MFD_CLOEXEC));
        ::ftruncate(pixels.get(), reply.layout.bytes());
    }
    channel.send(&reply, sizeof reply, {pixels.get()});
}

bool misbehave(MessageChannel& channel, const void*, std::size_t,
               std::vector<UniqueFd>& descriptors) {
    if (descriptors.empty())
        return false;
    descriptors.front() =
        platform::placeReceivedDescriptor(std::move(descriptors.front()), kPictureSlot);
    char head[32] = {};
    if (::pread(descriptors.front().get(), head, sizeof head - 1, 0) <= 0)
        return false;
    const std::string content(head);
    const std::string lying(kLyingPicture);
    if (content.compare(0, lying.size(), lying) == 0 && content.size() == lying.size() + 1) {
        answerWith(channel, static_cast<Lie>(content.back() - '0'));
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
    program.serve = [](orlix::platform::MessageChannel& channel) {
        orlix::serveDecodeRequests(channel, [](orlix::platform::MessageChannel& replies,
                                               const void* message, std::size_t size,
                                               std::vector<orlix::platform::UniqueFd>& fds) {
            return orlix::test::answerProbe(replies, message, size, fds) ||
                   orlix::test::misbehave(replies, message, size, fds);
        });
    };
    // The sandbox's refusals are tried once more with the filters alone (DecoderSandboxTest).
    if (const char* cap = std::getenv("ORLIX_TEST_LANDLOCK_CAP"))
        program.landlockCap = std::atoi(cap);
    orlix::platform::startDecoderZygote(program);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
