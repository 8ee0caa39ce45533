#include "platform/sandbox/DecoderProcess.h"

#include "platform/sandbox/DecoderZygote.h"

#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

// A fork takes milliseconds; a forking process that has not answered by then is stuck.
constexpr int kStartWaitMs = 10000;

// The program's end of its channel to the forking process. Requests may come from any thread;
// one at a time, so that every answer meets its request.
struct ZygoteLink {
    std::mutex mutex;
    MessageChannel channel;
    pid_t id = 0;

    // After a failure the channel can no longer be trusted to pair answers with requests.
    void lose() {
        channel = MessageChannel();
        if (id > 0)
            ::waitpid(id, nullptr, WNOHANG);
    }
};

// Never destroyed: decoder processes may be ended from static destructors, and the system
// closes the channel when the program ends.
ZygoteLink& zygote() {
    static auto* link = new ZygoteLink;
    return *link;
}

} // namespace

bool startDecoderZygote(const DecoderProgram& program) {
    MessageChannel programEnd;
    MessageChannel zygoteEnd;
    if (!program.serve || !MessageChannel::makePair(programEnd, zygoteEnd))
        return false;
    const pid_t programId = ::getpid();
    const pid_t id = ::fork();
    if (id == 0) {
        programEnd = MessageChannel();
        DecoderZygote(program, std::move(zygoteEnd), programId).run();
    }
    if (id < 0)
        return false;
    ZygoteLink& link = zygote();
    const std::lock_guard<std::mutex> lock(link.mutex);
    link.channel = std::move(programEnd);
    link.id = id;
    return true;
}

UniqueFd placeReceivedDescriptor(UniqueFd received, int number) {
    if (received.get() == number)
        return received;
    if (!received || ::dup3(received.get(), number, O_CLOEXEC) != number)
        return UniqueFd();
    return UniqueFd(number);
}

DecoderProcess::DecoderProcess(std::int64_t id, MessageChannel channel)
    : id_(id), channel_(std::move(channel)) {}

std::unique_ptr<DecoderProcess> DecoderProcess::start() {
    ZygoteLink& link = zygote();
    const std::lock_guard<std::mutex> lock(link.mutex);
    const ZygoteRequest request{ZygoteRequest::Kind::Start, 0};
    if (!link.channel.send(&request, sizeof request)) {
        link.lose();
        return nullptr;
    }
    ZygoteReply reply;
    std::size_t size = 0;
    std::vector<UniqueFd> descriptors;
    if (link.channel.receive(&reply, sizeof reply, size, descriptors, kStartWaitMs) !=
            MessageChannel::Status::Received ||
        size != sizeof reply) {
        link.lose();
        return nullptr;
    }
    if (reply.process <= 0 || descriptors.size() != 1)
        return nullptr; // the system refused this one; a later one may do
    return std::unique_ptr<DecoderProcess>(
        new DecoderProcess(reply.process, MessageChannel(std::move(descriptors.front()))));
}

DecoderProcess::~DecoderProcess() {
    ZygoteLink& link = zygote();
    const std::lock_guard<std::mutex> lock(link.mutex);
    const ZygoteRequest request{ZygoteRequest::Kind::End, id_};
    if (!link.channel.send(&request, sizeof request))
        link.lose();
}

} // namespace orlix::platform
