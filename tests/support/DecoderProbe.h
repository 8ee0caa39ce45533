#pragma once

#include "platform/DecoderProcess.h"
#include "platform/SharedPixels.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace orlix::test {

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
    SharePattern,    // answer with `number` x `number` pixels of a known pattern
    Crash,           // crash at once
    Hang,            // never answer
};

struct ProbeRequest {
    // Tells a probe from the decoder's own requests, whatever their first bytes hold.
    static constexpr std::uint64_t kMagic = 0x6f726c6978707262ULL;
    std::uint64_t magic = kMagic;
    ProbeAction action = ProbeAction::OpenFile;
    std::int64_t number = 0;
    char path[256] = {};
};

struct ProbeReply {
    std::int32_t error = 0;       // 0: done; otherwise the errno that refused it
    platform::PixelLayout layout; // SharePattern: the pixels sent with the reply
};

// Handles `request` (of `size` bytes) if it is a probe, answering on `channel`; false when it is
// not one. The received descriptors are those that came with it.
bool answerProbe(platform::MessageChannel& channel, const void* request, std::size_t size,
                 std::vector<platform::UniqueFd>& descriptors);

// A decoder process that answers probes only.
void serveProbes(platform::MessageChannel& channel);

// The colour of pixel (x, y) of the pattern SharePattern answers with.
std::uint32_t patternPixel(int x, int y);

// Sends `request` with `descriptor` (when valid) to `process` and waits up to `waitMs` for the
// answer. The reply, with the shared memory it carried in `memory`; nothing when the process did
// not answer (it ended, or the time ran out).
std::optional<ProbeReply> probe(platform::DecoderProcess& process, const ProbeRequest& request,
                                int waitMs = 5000, int descriptor = -1,
                                platform::UniqueFd* memory = nullptr);

} // namespace orlix::test
