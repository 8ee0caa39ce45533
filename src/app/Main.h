#pragma once

namespace orlix {

// The program's entry: the process that forks the picture decoders, the single-instance rule,
// the lockdown, the splash window (modal), then the settings window (modeless), then the event
// loop. Returns the process's exit status.
int Main(int argc, char** argv);

} // namespace orlix
