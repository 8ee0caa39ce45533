#pragma once

#include "platform/sandbox/DecoderProcess.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace orlix::test {

// The descriptor a test program holds open across forks in place of a display connection,
// and the reading end of the pipe behind it.
inline constexpr int kDisplayStandIn = 40;
extern int displayStandInReader;

// Test-only requests that a decoder process of a test program answers besides its usual ones:
// each tries one thing from inside the confined process and reports the outcome.
enum class ProbeAction : std::uint32_t {
    OpenFile = 1,    // open `path` for reading
    CreateFile,      // create `path`
    ConnectTcp,      // connect to 127.0.0.1:`number`
    NewLocalSocket,  // make a UNIX socket
    WriteDescriptor, // write a byte to descriptor `number`
    Fork,            // start a process
    Exec,            // replace the process with the program at `path`
    Signal,          // send SIGURG (ignored by default) to process `number`
    StartThread,     // start a thread and wait for it
    ReadPicture,     // read the descriptor handed over with the request
    Reserve,         // reserve `number` bytes of address space
    SizeMemory,      // make shared memory (a memfd) of `number` bytes, sparse
    FillMemory,      // make shared memory and allocate `number` bytes of it (fallocate)
    HoldMemories,    // hold up to `number` memfds at once
    Renice,          // lower the priority of process `number` (0: the calling thread)
    RaisePriority,   // raise the calling thread's priority above normal
    ReadEnvironment, // tell whether the environment holds anything (E2BIG: it does)
    Identify,        // answer with its process id instead of an errno
};

struct ProbeRequest {
    // Tells a probe from the decoder's own requests, whatever their first bytes hold.
    static constexpr std::uint64_t kMagic = 0x6f726c6978707262ULL;
    std::uint64_t magic = kMagic;
    ProbeAction action = ProbeAction::OpenFile;
    std::int64_t number = 0;
    char path[256] = {};
};

// Handles `request` (of `size` bytes) if it is a probe, answering on `channel` with the errno
// that refused it (0: done); false when it is not one. The received descriptors are those
// that came with it.
bool answerProbe(platform::MessageChannel& channel, const void* request, std::size_t size,
                 std::vector<platform::UniqueFd>& descriptors);

// Memory of `bytes` with `seals`, none of it written; none when it cannot be made.
platform::UniqueFd sealedMemory(std::int64_t bytes, int seals);

// Sends `request` with `descriptor` (when valid) to `process` and waits up to five seconds for
// the answer: the errno, or nothing when the process did not answer (it ended, or the time ran
// out).
std::optional<std::int32_t> probe(platform::DecoderProcess& process, const ProbeRequest& request,
                                  int descriptor = -1);

} // namespace orlix::test
