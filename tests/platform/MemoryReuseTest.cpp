#include "platform/sandbox/MemoryReuse.h"
#include "platform/sandbox/SanitizerBuild.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace orlix::platform {
namespace {

long pageFaultsOfThisThread() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

// Writes a byte on every page of `block`; returns the page faults that took.
long touch(void* block, std::size_t bytes) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const long before = pageFaultsOfThisThread();
    auto* bytesOf = static_cast<volatile unsigned char*>(block);
    for (std::size_t at = 0; at < bytes; at += page)
        bytesOf[at] = 1;
    return pageFaultsOfThisThread() - before;
}

// The first picture's copy and frame, made in the warmed heap, fault in next to no page; made
// without the warm-up, or once the warmed memory has been given back, every page of theirs
// faults in (which shows the count is the one that matters, and that neither the warm-up nor
// the giving back was optimised away).
TEST(MemoryReuseTest, WarmedHeapHoldsTheFirstLargeBlocksInPlaceUntilGivenBack) {
    if (kSanitizerBuild)
        GTEST_SKIP() << "a sanitizer's allocator keeps freed blocks away from the next ones";
    keepFreedMemoryForReuse();
    constexpr std::size_t kPicture = std::size_t(24) << 20, kFrame = std::size_t(8) << 20;
    const long pages = long((kPicture + kFrame) / std::size_t(::sysconf(_SC_PAGESIZE)));
    const struct {
        bool warmed;
        bool givenBack;
    } cases[] = {{true, false}, {true, true}, {false, false}};
    for (const auto& before : cases) {
        // Whatever an earlier case left free goes back first.
        malloc_trim(0);
        if (before.warmed)
            warmHeap(kPicture + kFrame);
        if (before.givenBack)
            giveBackFreedMemory();
        void* picture = std::malloc(kPicture);
        void* frame = std::malloc(kFrame);
        ASSERT_TRUE(picture && frame);
        const long faults = touch(picture, kPicture) + touch(frame, kFrame);
        std::free(frame);
        std::free(picture);
        if (before.warmed && !before.givenBack)
            EXPECT_LT(faults, pages / 20) << "of " << pages << " pages";
        else
            EXPECT_GT(faults, pages / 2)
                << "of " << pages << " pages, given back " << before.givenBack;
    }
}

} // namespace
} // namespace orlix::platform
