#pragma once

#include "platform/sandbox/DecoderProcess.h"

#include <linux/filter.h>
#include <set>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace orlix::platform {

// What the program and the forking process say to each other.
struct ZygoteRequest {
    enum class Kind : std::uint32_t { Start = 1, End = 2 };
    Kind kind = Kind::Start;
    std::int64_t process = 0; // End: the decoder process to end
};
// The answer to Start, with the program's end of the new process's channel.
struct ZygoteReply {
    std::int64_t process = 0;
};

// The forking process, after the fork: it prepares, confines itself, then makes a decoder
// process on every Start and ends one on every End, until the program's end of its channel
// closes; then it ends every decoder process and itself. Never returns.
class DecoderZygote {
public:
    DecoderZygote(const DecoderProgram& program, MessageChannel channel, pid_t programId);
    [[noreturn]] void run();

private:
    bool confine();
    void keepOomScore();
    void setOomScore(std::string_view score);
    void serveRequests();
    void startDecoder();
    void reapEnded();
    [[noreturn]] void becomeDecoder(MessageChannel channel);

    DecoderProgram program_;
    MessageChannel channel_;
    pid_t programId_;
    pid_t selfId_ = 0;
    std::int64_t addressSpaceLimit_ = 0;
    std::string oomScore_; // this process's own, as the system gave it
    std::vector<sock_filter> decoderFilter_;
    std::set<pid_t> decoders_;
};

} // namespace orlix::platform
