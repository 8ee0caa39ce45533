#include "platform/sandbox/MemoryReuse.h"

#include <cstdlib> // tells whether the C library is glibc (__GLIBC__)

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orlix::platform {

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
// Blocks up to this size come from the heap and go back to it (see below).
constexpr std::size_t kLargestHeapBlock = 32 * kMiB;
// Free space at the top of the heap is kept up to this size.
constexpr std::size_t kKeptFreeSpace = 64 * kMiB;

} // namespace

void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // The highest values glibc moves to on its own as large blocks are freed (blocks of up to
    // 32 MiB from the heap, whose free space is kept up to 64 MiB), set from the start, so the
    // first Start and the first frames do not page-fault their way in. Decoded photos, larger
    // still, are mapped and unmapped on their own.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargestHeapBlock));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeSpace));
    // One heap rather than one per thread: a picture is copied and its frame made on the
    // decoding thread, into memory that the GUI thread or an earlier show freed. The program's
    // threads make few blocks, and large ones: they do not queue on its lock.
    mallopt(M_ARENA_MAX, 1);
#endif
}

void giveBackFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace orlix::platform
