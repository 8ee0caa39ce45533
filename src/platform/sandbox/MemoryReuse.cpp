#include "platform/sandbox/MemoryReuse.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib> // tells whether the C library is glibc (__GLIBC__)
#include <sys/mman.h>
#include <unistd.h>

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

// Prepared in blocks the heap keeps once freed.
constexpr std::size_t kPreparedBlock = 16 * kMiB;
constexpr std::size_t kMostPreparedBlocks = kKeptFreeSpace / kPreparedBlock - 1;
// Blocks this close lie end to end in the heap.
constexpr std::ptrdiff_t kSmallGap = 4096;
// The size of the processor's huge pages (x86-64 and arm64 with 4 KiB pages).
constexpr std::uintptr_t kHugePage = 2 * kMiB;

// Asks for the whole huge pages inside `block` to be backed by huge pages where the system
// lets a program ask (transparent huge pages set to "madvise"): a huge page faults in at once,
// where its small pages would each cost a fault of their own. What the system refuses faults
// in page by page as it would anyway.
void askForLargePages(void* block, std::size_t length) {
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t end = (start + length) / kHugePage * kHugePage;
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

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

void prepareHeapForLargeBlocks(std::size_t bytes) {
    std::array<char*, kMostPreparedBlocks> blocks{};
    std::size_t made = 0;
    for (std::size_t grown = 0; grown < bytes && made < blocks.size(); grown += kPreparedBlock) {
        auto* block = static_cast<char*>(std::malloc(kPreparedBlock));
        if (!block)
            break;
        blocks[made++] = block;
    }
    // Blocks made one after the other at the top of the heap lie end to end (but for the
    // heap's few bytes of bookkeeping): asked for as one span, the huge pages across their
    // borders are huge too.
    std::sort(blocks.begin(), blocks.begin() + made);
    for (std::size_t first = 0, last = 0; first < made; first = ++last) {
        while (last + 1 < made && blocks[last + 1] - (blocks[last] + kPreparedBlock) < kSmallGap)
            ++last;
        askForLargePages(blocks[first], std::size_t(blocks[last] - blocks[first]) + kPreparedBlock);
    }
    for (std::size_t i = 0; i < made; ++i)
        std::free(blocks[i]);
}

void giveBackFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace orlix::platform
