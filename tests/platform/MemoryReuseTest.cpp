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

// A block of a folder's listing's size faults in next to no page in memory one before it freed
// (the heap keeps it), unless that was given back; a frame-sized block always faults in all
// its pages, since the one freed before it went back to the system at once. (Which shows the
// count is the one that matters.)
TEST(MemoryReuseTest, SmallBlocksAreReusedAndFramesGoBackAtOnce) {
    if (kSanitizerBuild)
        GTEST_SKIP() << "a sanitizer's allocator keeps freed blocks away from the next ones";
    keepSmallBlocksForReuse();
    constexpr std::size_t kListing = std::size_t(2) << 20, kFrame = std::size_t(8) << 20;
    // A block made, written and freed: the page faults that took.
    const auto block = [](std::size_t bytes) {
        void* made = std::malloc(bytes);
        const long faults = touch(made, bytes);
        std::free(made);
        return faults;
    };
    const struct {
        const char* what;
        std::size_t bytes;
        bool givenBack; // what the block before it freed
        bool faultsIn;
    } cases[] = {
        {"a listing", kListing, false, false},
        {"a listing after memory given back", kListing, true, true},
        {"a frame", kFrame, false, true},
    };
    for (const auto& each : cases) {
        // Whatever an earlier case left free goes back first.
        malloc_trim(0);
        block(each.bytes);
        if (each.givenBack)
            giveBackFreedMemory();
        const long faults = block(each.bytes);
        const long pages = long(each.bytes / std::size_t(::sysconf(_SC_PAGESIZE)));
        if (each.faultsIn)
            EXPECT_GT(faults, pages / 2) << each.what << ": of " << pages << " pages";
        else
            EXPECT_LT(faults, pages / 20) << each.what << ": of " << pages << " pages";
    }
}

} // namespace
} // namespace orlix::platform
