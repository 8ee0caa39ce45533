#pragma once

namespace orlix::platform {

// Gives the calling thread a name that system tools (and the tests) see; at most 15 bytes
// are kept on Linux.
void nameCurrentThread(const char* name);

// Lets the calling thread give way to the program's GUI thread whenever both want a core:
// decoding in the background must not delay the window's events.
void lowerCurrentThreadPriority();

// Lets the calling thread run only when no other thread wants a core: for housekeeping that
// may wait, such as giving memory back, which would otherwise take a core from decoding.
void idleCurrentThread();

} // namespace orlix::platform
