// The process decoder's tests start the forking process as the program does, first thing in
// main. Its decoder processes serve the program's decoder, except for test pictures whose
// content tells them to fail as a flawed decoder would.
#include "decode/DecoderService.h"
#include "support/MisbehavingPictures.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <unistd.h>

namespace orlix::test {
namespace {

using platform::MessageChannel;
using platform::UniqueFd;

bool misbehave(MessageChannel&, const void*, std::size_t, std::vector<UniqueFd>& descriptors) {
    if (descriptors.size() != 1)
        return false;
    descriptors.front() = platform::placePictureDescriptor(std::move(descriptors.front()));
    char head[32] = {};
    if (::pread(descriptors.front().get(), head, sizeof head - 1, 0) <= 0)
        return false;
    const std::string content(head);
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
    orlix::platform::DecoderProgram program = orlix::decoderProgram();
    program.serve = [](orlix::platform::MessageChannel& channel) {
        orlix::serveDecodeRequests(channel, orlix::test::misbehave);
    };
    orlix::platform::startDecoderZygote(program);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
