#include "platform/MemoryReuse.h"

#include <cstdlib> // tells whether the C library is glibc (__GLIBC__)

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orlix::platform {

void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // The highest values glibc moves to on its own as large blocks are freed (blocks of up to
    // 32 MiB from the heap, whose free space is kept up to 64 MiB), set from the start, so the
    // first Start and the first frames do not page-fault their way in. Decoded photos, larger
    // still, are mapped and unmapped on their own.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}

} // namespace orlix::platform
