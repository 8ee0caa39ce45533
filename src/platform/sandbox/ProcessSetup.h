#pragma once

#include <sys/types.h>

namespace orlix::platform {

// The first steps of a helper process forked before the program has threads.

// Ends this process when `parent` ends; false when `parent` has already gone.
bool dieWithParent(pid_t parent);

// Keeps `keep` as descriptor number `at` (inherited by programs it starts only when
// `inheritable`) and closes every other descriptor. Standard input, output and error become the
// reading end of an empty pipe, so that nothing written to them goes anywhere and nothing
// opened later takes their numbers; a sanitizer build keeps standard error for its reports.
// False on failure.
bool keepOnlyDescriptor(int keep, int at, bool inheritable = false);

// No core dumps, and no other process of the user may trace this one or read its memory.
void forbidDumps();

// Keeps only the environment variables named in `kept` (a null-terminated list; null keeps
// none), and wipes the text of the others from memory.
void keepOnlyEnvironment(const char* const* kept);

// Gives up every capability, for good: the bounding set (where this process may change it), the
// effective, permitted, inheritable and ambient sets. False when one of the last four is still
// held afterwards (a process of a user other than root has none to give up).
bool dropCapabilities();

} // namespace orlix::platform
