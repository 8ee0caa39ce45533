#pragma once

#include <climits>

namespace orlix::platform {

// After start-up, the program gives up what it never needs again, so that a flaw anywhere in it
// or in the libraries it uses cannot be turned against the user: it reads what it likes but
// writes, makes, truncates, renames and removes no file (the graphics devices excepted), starts
// no program, opens no network connection (but to an X server named by a TCP address), sends no
// signal to another process, makes no namespace, and changes no owner, mode or attribute of a
// file. The system's own access control (Landlock) does what the running kernel offers, from
// nothing on kernels without it; a system-call filter covers the rest.
//
// Call once the one-copy lock is held and every helper process is started, before the program
// starts any thread (the restriction holds for the calling thread and what it starts from then
// on). `landlockCap` caps the Landlock level (the kernel's ABI version) used: below the
// kernel's, the program is locked down as on an older kernel. Returns the level in force.
int lockDownProgram(int landlockCap = INT_MAX);

// Once every connection the program needs is open (the display, the session bus, and what Qt
// opens while it starts: an input method's bus, accessibility's bus), the program opens no new
// one, so that it cannot reach the display, the bus or another local service afresh: no thread
// makes a new socket (a filter on every thread at once), nor a pair of datagram sockets, which
// could send to any address. Where the kernel offers Landlock's scopes, the calling thread and
// the threads it starts from then on also send no datagram to an abstract socket and no signal
// (not even signal 0) to a process outside. Call after lockDownProgram(), on the GUI thread.
// `landlockCap` as there. True when the filter is in force on every thread.
bool lockDownConnections(int landlockCap = INT_MAX);

} // namespace orlix::platform
