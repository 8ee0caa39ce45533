#include "platform/sandbox/MemoryReuse.h"
#include "platform/sandbox/SanitizerBuild.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
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

// A picture's copy and frame fault in next to no page in memory a picture before them freed
// (the heap keeps it); every page of theirs faults in when nothing came before them, or once
// the freed memory has been given back. (Which shows the count is the one that matters.)
TEST(MemoryReuseTest, LargeBlocksFaultInOnlyWhereTheHeapHoldsNothingForThem) {
    if (kSanitizerBuild)
        GTEST_SKIP() << "a sanitizer's allocator keeps freed blocks away from the next ones";
    keepFreedMemoryForReuse();
    constexpr std::size_t kPicture = std::size_t(24) << 20, kFrame = std::size_t(8) << 20;
    const long pages = long((kPicture + kFrame) / std::size_t(::sysconf(_SC_PAGESIZE)));
    // A picture's copy and its frame made, written and freed: the page faults that took.
    const auto picture = [] {
        void* copy = std::malloc(kPicture);
        void* frame = std::malloc(kFrame);
        const long faults = touch(copy, kPicture) + touch(frame, kFrame);
        std::free(frame);
        std::free(copy);
        return faults;
    };
    const struct {
        const char* what;
        std::function<void()> before;
        bool faultsIn;
    } cases[] = {
        {"nothing", [] {}, true},
        {"a picture", [&] { picture(); }, false},
        {"a picture, its memory given back",
         [&] {
             picture();
             giveBackFreedMemory();
         },
         true},
    };
    for (const auto& each : cases) {
        // Whatever an earlier case left free goes back first.
        malloc_trim(0);
        each.before();
        const long faults = picture();
        if (each.faultsIn)
            EXPECT_GT(faults, pages / 2) << each.what << ": of " << pages << " pages";
        else
            EXPECT_LT(faults, pages / 20) << each.what << ": of " << pages << " pages";
    }
}

} // namespace
} // namespace orlix::platform
