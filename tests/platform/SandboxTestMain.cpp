// The decoder-process tests need the forking process started as the program starts it: first
// thing in main, before any thread. Its decoder processes answer probes only.
#include "support/SandboxTestMain.h"
#include "support/DecoderProbe.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace orlix::test {

int displayStandInReader = -1;

} // namespace orlix::test

int main(int argc, char** argv) {
    // A pipe standing for the display connection a decoder process must not inherit: its
    // writing end stays open across the fork at kDisplayStandIn, as a display connection would.
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0 &&
        ::dup2(ends[1], orlix::test::kDisplayStandIn) == orlix::test::kDisplayStandIn)
        orlix::test::displayStandInReader = ends[0];
    orlix::platform::DecoderProgram program;
    program.serve = orlix::test::serveProbes;
    program.memoryAllowance = orlix::test::kTestMemoryAllowance;
    orlix::platform::startDecoderZygote(program);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
