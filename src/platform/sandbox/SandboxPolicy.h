#pragma once

#include "platform/sandbox/LandlockRuleset.h"

#include <cstdint>
#include <sys/types.h>

namespace orlix::platform {

class SeccompFilter;
struct DecoderProgram;

// The descriptor a decoder process holds its channel to the program at.
inline constexpr int kDecoderChannelDescriptor = 3;
// The descriptor the forking process holds its own OOM score at, to hand a raised one to each
// decoder process it forks.
inline constexpr int kZygoteOomScoreDescriptor = 4;

// What a decoder process may do: the system calls decoding needs, on the descriptors it was
// given, and nothing else. For a filter whose default fails calls.
bool addDecoderRules(SeccompFilter& filter, const DecoderProgram& program);

// What the process that forks decoder processes may do: what they do, and make, start and end
// them. For a filter whose default fails calls.
bool addZygoteRules(SeccompFilter& filter, const DecoderProgram& program);

// What the program must keep after its lockdown.
struct ProgramNeeds {
    LandlockLevel landlock = LandlockLevel::None; // the level of the program's ruleset
    pid_t self = 0;                               // the program's process id
    bool tcpDisplay = false;                      // the X server is reached over TCP
};

// What the program gives up after start-up that its Landlock level does not already refuse:
// for a filter whose default allows calls.
bool addProgramRules(SeccompFilter& filter, const ProgramNeeds& needs);

// What the program gives up once every connection it needs is open: new sockets. For a filter
// whose default allows calls.
bool addConnectionRules(SeccompFilter& filter);

} // namespace orlix::platform
