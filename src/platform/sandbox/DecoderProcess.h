#pragma once

#include "platform/ipc/MessageChannel.h"
#include "platform/ipc/UniqueFd.h"

#include <climits>
#include <cstdint>
#include <memory>

namespace orlix::platform {

// Pictures are decoded in processes of their own, so that a flaw in a decoder reaches neither
// the user's files, nor the network, nor the display, and a decoder's crash ends only its own
// process. A small single-threaded process, forked first thing in main, loads what decoding
// needs from disk, gives up every right it can, and then forks one decoder process whenever the
// program asks for one. A decoder process:
// - can open no file and make no connection: it holds its channel to the program and nothing
//   else, reads pictures only through the descriptors it is handed, and answers with pixels in
//   sealed shared memory;
// - runs under a filter that allows the system calls decoding needs and no others: no new
//   process, no program started, no socket;
// - has a memory ceiling, no core dumps and is not traceable;
// - ends with the program.

// What the decoder processes run. Plain functions: they run in processes forked before the
// program has any thread, with nothing of the program's state but what they set up themselves.
struct DecoderProgram {
    // Runs once, in the forking process, while it can still read files: loads what decoding
    // needs from disk (picture readers kept in plugins, for one). May be null.
    void (*prepare)() = nullptr;
    // Runs in each decoder process, confined, with its channel to the program: answers requests
    // until the channel closes. Returning ends the process.
    void (*serve)(MessageChannel& channel) = nullptr;
    // The memory a decoder may take on top of what it has when it starts; 0 for no ceiling.
    std::int64_t memoryAllowance = 0;
    // The largest shared memory (memfd) a decoder makes, in bytes: its filter refuses to size
    // any larger, since such memory counts in no address-space ceiling.
    std::int64_t largestSharedMemory = 0;
    // How many descriptors a decoder may hold (every number it uses is below this, the slots
    // below included); 0: the system's limit.
    int descriptorLimit = 0;
    // The descriptor numbers the serve function moves what it is handed onto: a file it may
    // read, and memory it may only map. Its filter allows reading and asking the size of these
    // two numbers alone; -1: none.
    int readSlot = -1;
    int mapSlot = -1;
    // The highest Landlock level (the kernel's ABI version) the forking process and its decoder
    // processes are confined with; below the kernel's, they are confined as on an older kernel,
    // 0 as on one without Landlock, where the filters alone must refuse.
    int landlockCap = INT_MAX;
};

// Starts the process that forks decoder processes. Call first thing in main, before any thread
// exists: it forks. Returns in the program's process; false when it could not be started,
// and then no decoder process can be had.
bool startDecoderZygote(const DecoderProgram& program);

// Moves `received` onto `number` (closing whatever was there); the descriptor at its new number,
// or an invalid one on failure.
UniqueFd placeReceivedDescriptor(UniqueFd received, int number);

// One decoder process, as the program sees it. Its channel carries the requests and answers.
class DecoderProcess {
public:
    // A new decoder process; null when none can be had (the forking process is gone).
    static std::unique_ptr<DecoderProcess> start();
    // Ends the process at once, whatever it is doing.
    ~DecoderProcess();
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    MessageChannel& channel() { return channel_; }

private:
    DecoderProcess(std::int64_t id, MessageChannel channel);

    std::int64_t id_;
    MessageChannel channel_;
};

} // namespace orlix::platform
