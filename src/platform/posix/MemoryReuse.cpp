#include "platform/MemoryReuse.h"

#include <cstdlib> // tells whether the C library is glibc (__GLIBC__)

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orlix::platform {

void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // Blocks of up to 4 MiB (folder lists, sort keys, small pictures) come from the heap, whose
    // free space is kept up to 16 MiB; anything larger is mapped and unmapped on its own.
    // Fixed values also stop glibc from raising the first threshold to 32 MiB after a large
    // block is freed, which would keep reduced photos in the heap.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
#endif
}

} // namespace orlix::platform
