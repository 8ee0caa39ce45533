#include "platform/sandbox/MemoryReuse.h"

#include "platform/sandbox/CurrentThread.h"

#include <array>
#include <cstdlib> // tells whether the C library is glibc (__GLIBC__)
#include <system_error>
#include <thread>
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

// Warmed in blocks the heap keeps once freed.
constexpr std::size_t kWarmBlock = 16 * kMiB;
constexpr std::size_t kMostWarmBlocks = kKeptFreeSpace / kWarmBlock - 1;

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

void warmHeap(std::size_t bytes) {
    std::array<void*, kMostWarmBlocks> blocks{};
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::size_t made = 0;
    for (std::size_t warmed = 0; warmed < bytes && made < blocks.size(); warmed += kWarmBlock) {
        void* block = std::malloc(kWarmBlock);
        if (!block)
            break;
        // Written through a volatile pointer: a plain memset of memory freed right after is
        // left out by the compiler, and the pages with it.
        auto* bytesOf = static_cast<volatile unsigned char*>(block);
        for (std::size_t at = 0; at < kWarmBlock; at += page)
            bytesOf[at] = 0;
        blocks[made++] = block;
    }
    for (std::size_t i = 0; i < made; ++i)
        std::free(blocks[i]);
}

void warmHeapInBackground(std::size_t bytes) {
    try {
        std::thread([bytes] {
            nameCurrentThread("OrlixWarmHeap");
            // Lowered, not idle: it takes the heap's lock, which no thread should wait on until
            // a core is free.
            lowerCurrentThreadPriority();
            warmHeap(bytes);
        }).detach();
    } catch (const std::system_error&) {
        // no thread to be had: the first pictures fault their pages in, as they would anyway
    }
}

void giveBackFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace orlix::platform
