#pragma once

namespace orlix::platform {

// Gives the calling thread a name that system tools (and the tests) see; at most 15 bytes
// are kept on Linux.
void nameCurrentThread(const char* name);

} // namespace orlix::platform
