#pragma once

#include <cstddef>

namespace orlix::platform {

// Fixes how the C library's heap keeps memory, for the whole run; call before any thread
// starts. Blocks of up to a few megabytes (a folder's listing, its sort keys) come from the
// heap, which keeps what is freed for their next use: each Start lists and sorts a folder anew,
// and memory handed back and asked for again costs a page fault per page. Larger blocks (a
// frame, a picture) are mapped on their own and go back to the system as soon as they are
// freed: kept in the heap, a show's frames stayed resident between slides wherever a block
// still in use sat above them, and after the show. glibc would move there on its own as large
// blocks are freed. All threads share one heap.
void keepSmallBlocksForReuse();

// Hands back to the system all the memory the heap keeps free: for when the program waits for
// the user, and holds only what it uses.
void giveBackFreedMemory();

} // namespace orlix::platform
