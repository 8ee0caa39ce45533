#include "platform/sandbox/MemoryReuse.h"

#include <cstdlib> // tells whether the C library is glibc (__GLIBC__)

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orlix::platform {

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
// Blocks up to this size come from the heap and go back to it; larger ones, a photo's frame on
// any but the smallest screens among them, are mapped.
constexpr std::size_t kLargestHeapBlock = 4 * kMiB;
// Free space at the top of the heap is kept up to this size.
constexpr std::size_t kKeptFreeSpace = 64 * kMiB;

} // namespace

void keepSmallBlocksForReuse() {
#if defined(__GLIBC__)
    // Set, the thresholds stay where they are: glibc would otherwise raise the first after the
    // first large block freed, up to 32 MiB, and keep frames in the heap from then on.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargestHeapBlock));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeSpace));
    // One heap rather than one per thread: the program's threads make few blocks, and the
    // listing's, made on a thread of its own, serve the next listing's.
    mallopt(M_ARENA_MAX, 1);
#endif
}

void giveBackFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace orlix::platform
