#pragma once

namespace orlix {

// The program's entry: the single-instance rule, the splash window (modal), then the settings
// window (modeless), then the event loop. Returns the process's exit status.
int Main(int argc, char** argv);

} // namespace orlix
