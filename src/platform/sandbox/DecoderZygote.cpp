#include "platform/sandbox/DecoderZygote.h"

#include "platform/sandbox/LandlockRuleset.h"
#include "platform/sandbox/ProcessSetup.h"
#include "platform/sandbox/SandboxPolicy.h"
#include "platform/sandbox/SanitizerBuild.h"
#include "platform/sandbox/SeccompFilter.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

// The forking process keeps its channel to the program here; in a decoder process the
// decoder's own channel takes the number over, which closes the first.
constexpr int kZygoteChannelDescriptor = kDecoderChannelDescriptor;
// Decoding gives way to the program's windows whenever both want a core.
constexpr int kBackgroundNice = 10;
// The highest OOM score adjustment: the process the kernel ends first.
constexpr std::string_view kFirstToEnd = "1000";

void wakeUp(int) {}

// The address space this process has mapped, in bytes; 0 when it cannot be read.
std::int64_t addressSpaceInUse() {
    std::FILE* statm = std::fopen("/proc/self/statm", "re");
    if (!statm)
        return 0;
    unsigned long pages = 0;
    const bool read = std::fscanf(statm, "%lu", &pages) == 1;
    std::fclose(statm);
    return read ? static_cast<std::int64_t>(pages) * ::sysconf(_SC_PAGESIZE) : 0;
}

} // namespace

DecoderZygote::DecoderZygote(const DecoderProgram& program, MessageChannel channel, pid_t programId)
    : program_(program), channel_(std::move(channel)), programId_(programId) {}

void DecoderZygote::run() {
    selfId_ = ::getpid();
    if (confine())
        serveRequests();
    for (const pid_t decoder : decoders_)
        ::kill(decoder, SIGKILL);
    ::_exit(0);
}

bool DecoderZygote::confine() {
    if (!dieWithParent(programId_) ||
        !keepOnlyDescriptor(channel_.descriptor(), kZygoteChannelDescriptor))
        return false;
    channel_.release(); // closed by the move above
    channel_ = MessageChannel(UniqueFd(kZygoteChannelDescriptor));
    forbidDumps();
    keepOomScore();
    // A session of its own: the signals a terminal sends the program's group do not reach it
    // (it ends with the program), and a kill of group 0 names only it and its decoders.
    ::setsid();
    if (program_.prepare)
        program_.prepare();
    if (program_.memoryAllowance > 0 && !kSanitizerBuild) {
        const std::int64_t inUse = addressSpaceInUse();
        if (inUse > 0)
            addressSpaceLimit_ = inUse + program_.memoryAllowance;
    }
    // Made once here; each decoder process only installs it.
    SeccompFilter filter(SyscallAction::fail(EPERM));
    if (addDecoderRules(filter, program_))
        decoderFilter_ = filter.compiled();
    SeccompFilter own(SyscallAction::fail(EPERM));
    if (decoderFilter_.empty() || !addZygoteRules(own, program_))
        return false; // no decoder process runs unconfined
    // Nothing of the user's session (the addresses of the display and the bus, whatever tokens
    // the environment holds) stays for a decoder to read; decoding needs none of it.
    keepOnlyEnvironment(nullptr);
    if (!dropCapabilities() || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    // No file, no network, no signal or abstract socket outside: every right the kernel knows,
    // handled without a rule. Decoder processes inherit it. Kernels without Landlock skip it.
    const LandlockLevel level =
        std::min(kernelLandlockLevel(),
                 static_cast<LandlockLevel>(
                     std::clamp(program_.landlockCap, 0, static_cast<int>(kNewestLandlockLevel))));
    LandlockRuleset(level, landlockRightsOf(level)).enforce();
    return own.install();
}

void DecoderZygote::keepOomScore() {
    // Opened while files can still be opened; written through the descriptor afterwards.
    UniqueFd score =
        placeReceivedDescriptor(UniqueFd(::open("/proc/self/oom_score_adj", O_RDWR | O_CLOEXEC)),
                                kZygoteOomScoreDescriptor);
    char text[16] = {};
    const ssize_t length = score ? ::pread(score.get(), text, sizeof text - 1, 0) : -1;
    if (length <= 0)
        return;
    score.release(); // kept at its number for good
    oomScore_.assign(text, static_cast<std::size_t>(length));
}

void DecoderZygote::setOomScore(std::string_view score) {
    if (!oomScore_.empty())
        ::write(kZygoteOomScoreDescriptor, score.data(), score.size());
}

void DecoderZygote::serveRequests() {
    // A decoder that ends wakes the wait below (SIGCHLD is let through only there) so that it
    // is reaped at once; its id stays taken until then, so an End never hits another process.
    struct sigaction onChild {};
    onChild.sa_handler = wakeUp;
    ::sigaction(SIGCHLD, &onChild, nullptr);
    sigset_t childEnded;
    sigemptyset(&childEnded);
    sigaddset(&childEnded, SIGCHLD);
    sigset_t waiting;
    ::sigprocmask(SIG_BLOCK, &childEnded, &waiting);
    sigdelset(&waiting, SIGCHLD);
    for (;;) {
        reapEnded();
        pollfd watch{channel_.descriptor(), POLLIN, 0};
        if (::ppoll(&watch, 1, nullptr, &waiting) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        ZygoteRequest request;
        std::size_t size = 0;
        std::vector<UniqueFd> descriptors;
        const MessageChannel::Status status =
            channel_.receive(&request, sizeof request, size, descriptors, 0);
        if (status == MessageChannel::Status::Closed || status == MessageChannel::Status::Failed)
            return;
        if (status != MessageChannel::Status::Received || size != sizeof request)
            continue;
        if (request.kind == ZygoteRequest::Kind::Start)
            startDecoder();
        else if (request.kind == ZygoteRequest::Kind::End &&
                 decoders_.count(static_cast<pid_t>(request.process)) > 0)
            ::kill(static_cast<pid_t>(request.process), SIGKILL);
    }
}

void DecoderZygote::reapEnded() {
    int status = 0;
    for (pid_t ended; (ended = ::waitpid(-1, &status, WNOHANG)) > 0;)
        decoders_.erase(ended);
}

void DecoderZygote::startDecoder() {
    ZygoteReply reply;
    MessageChannel programEnd;
    MessageChannel decoderEnd;
    if (!MessageChannel::makePair(programEnd, decoderEnd)) {
        channel_.send(&reply, sizeof reply);
        return;
    }
    // A decoder process is the first the kernel ends when memory runs out, wherever its memory
    // is: shared memory that no mapping holds counts in no process's size. Any process may
    // raise its score and lower it again to where it was; the forking process keeps its own.
    setOomScore(kFirstToEnd);
    const pid_t decoder = ::fork();
    if (decoder == 0) {
        programEnd = MessageChannel();
        becomeDecoder(std::move(decoderEnd));
    }
    setOomScore(oomScore_);
    decoderEnd = MessageChannel();
    if (decoder < 0) {
        channel_.send(&reply, sizeof reply);
        return;
    }
    decoders_.insert(decoder);
    reply.process = decoder;
    channel_.send(&reply, sizeof reply, {programEnd.descriptor()});
}

void DecoderZygote::becomeDecoder(MessageChannel channel) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGCHLD, SIG_DFL);
    channel_.release(); // its number is about to be the decoder's channel
    if (!dieWithParent(selfId_) ||
        !keepOnlyDescriptor(channel.descriptor(), kDecoderChannelDescriptor))
        ::_exit(1);
    channel.release();
    MessageChannel decoderChannel{UniqueFd(kDecoderChannelDescriptor)};
    ::setpriority(PRIO_PROCESS, 0, kBackgroundNice);
    if (addressSpaceLimit_ > 0) {
        const rlimit ceiling{static_cast<rlim_t>(addressSpaceLimit_),
                             static_cast<rlim_t>(addressSpaceLimit_)};
        if (::setrlimit(RLIMIT_AS, &ceiling) != 0)
            ::_exit(1);
    }
    // A few descriptors: each could hold shared memory of the largest size its filter allows.
    if (program_.descriptorLimit > 0) {
        const rlimit descriptors{static_cast<rlim_t>(program_.descriptorLimit),
                                 static_cast<rlim_t>(program_.descriptorLimit)};
        if (::setrlimit(RLIMIT_NOFILE, &descriptors) != 0)
            ::_exit(1);
    }
    if (!installFilter(decoderFilter_))
        ::_exit(1);
    program_.serve(decoderChannel);
    ::_exit(0);
}

} // namespace orlix::platform
