#pragma once

#include <cstddef>

namespace orlix::platform {

// Asks the C library to keep memory the program frees for its next use, as it comes to do
// anyway once a few large pictures have been freed, rather than hand it back at once. Each
// Start lists and sorts a folder anew, and each slide step makes new frames: memory handed back
// and asked for again costs a page fault per page, which in a fresh process more than doubled
// the time from Start to the first picture of a large folder. All threads share one heap, so
// that memory freed or warmed on one thread serves the large blocks of every other. Call
// before any thread starts.
void keepFreedMemoryForReuse();

// Hands back to the system all the memory the heap keeps free, however large: for when the
// program waits for the user, and holds only what it uses.
void giveBackFreedMemory();

} // namespace orlix::platform
