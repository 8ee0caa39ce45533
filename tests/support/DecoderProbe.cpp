#include "support/DecoderProbe.h"

#include "decode/process/DecoderProtocol.h"
#include "support/LoopbackListener.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orlix::test {

int displayStandInReader = -1;

namespace {

using platform::MessageChannel;
using platform::UniqueFd;

// 0 when `result` says the call went through, else the errno that refused it.
int outcome(long result) {
    return result >= 0 ? 0 : errno;
}

void* nothing(void*) {
    return nullptr;
}

int tryAction(const ProbeRequest& request, std::vector<UniqueFd>& descriptors) {
    switch (request.action) {
    case ProbeAction::OpenFile: {
        const UniqueFd file(::open(request.path, O_RDONLY | O_CLOEXEC));
        return outcome(file.get());
    }
    case ProbeAction::CreateFile: {
        const UniqueFd file(::open(request.path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        return outcome(file.get());
    }
    case ProbeAction::ConnectTcp:
        return outcome(connectLoopback(static_cast<int>(request.number)));
    case ProbeAction::NewLocalSocket: {
        const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        return outcome(socket.get());
    }
    case ProbeAction::WriteDescriptor:
        return outcome(::write(static_cast<int>(request.number), "x", 1));
    case ProbeAction::Fork: {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        if (child > 0)
            ::waitpid(child, nullptr, 0);
        return outcome(child);
    }
    case ProbeAction::Exec: {
        char* const arguments[] = {const_cast<char*>(request.path), nullptr};
        return outcome(::execve(request.path, arguments, nullptr));
    }
    case ProbeAction::Signal:
        return outcome(::kill(static_cast<pid_t>(request.number), SIGURG));
    case ProbeAction::StartThread: {
        pthread_t thread{};
        const int error = ::pthread_create(&thread, nullptr, nothing, nullptr);
        if (error == 0)
            ::pthread_join(thread, nullptr);
        return error;
    }
    case ProbeAction::ReadPicture: {
        if (descriptors.size() != 1)
            return EINVAL;
        const UniqueFd picture =
            platform::placeReceivedDescriptor(std::move(descriptors.front()), kPictureSlot);
        char byte = 0;
        return outcome(::pread(picture.get(), &byte, 1, 0));
    }
    case ProbeAction::SizeMemory: {
        const UniqueFd memory(::memfd_create("probe", MFD_CLOEXEC));
        return memory ? outcome(::ftruncate(memory.get(), request.number)) : errno;
    }
    case ProbeAction::FillMemory: {
        const UniqueFd memory(::memfd_create("probe", MFD_CLOEXEC));
        return memory ? outcome(::fallocate(memory.get(), 0, 0, request.number)) : errno;
    }
    case ProbeAction::HoldMemories: {
        std::vector<UniqueFd> held;
        while (static_cast<std::int64_t>(held.size()) < request.number) {
            held.emplace_back(::memfd_create("probe", MFD_CLOEXEC));
            if (!held.back())
                return errno;
        }
        return 0;
    }
    case ProbeAction::Renice:
        return outcome(::setpriority(PRIO_PROCESS, static_cast<id_t>(request.number), 19));
    case ProbeAction::RaisePriority:
        return outcome(::setpriority(PRIO_PROCESS, 0, -1));
    case ProbeAction::ReadEnvironment:
        return environ && *environ ? E2BIG : 0;
    case ProbeAction::Identify:
        return static_cast<std::int32_t>(::getpid());
    case ProbeAction::Reserve: {
        const auto length = static_cast<std::size_t>(request.number);
        void* address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (address == MAP_FAILED)
            return errno;
        ::munmap(address, length);
        return 0;
    }
    }
    return EINVAL;
}

} // namespace

bool answerProbe(MessageChannel& channel, const void* data, std::size_t size,
                 std::vector<UniqueFd>& descriptors) {
    ProbeRequest request;
    if (size != sizeof request)
        return false;
    std::memcpy(&request, data, sizeof request);
    if (request.magic != ProbeRequest::kMagic)
        return false;
    const std::int32_t error = tryAction(request, descriptors);
    channel.send(&error, sizeof error);
    return true;
}

UniqueFd sealedMemory(std::int64_t bytes, int seals) {
    UniqueFd memory(::memfd_create("test", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (::ftruncate(memory.get(), bytes) != 0 ||
        (seals != 0 && ::fcntl(memory.get(), F_ADD_SEALS, seals) != 0))
        return UniqueFd();
    return memory;
}

std::optional<std::int32_t> probe(platform::DecoderProcess& process, const ProbeRequest& request,
                                  int descriptor) {
    const bool sent = descriptor >= 0
                          ? process.channel().send(&request, sizeof request, {descriptor})
                          : process.channel().send(&request, sizeof request);
    std::int32_t error = 0;
    std::size_t size = 0;
    std::vector<UniqueFd> descriptors;
    if (!sent ||
        process.channel().receive(&error, sizeof error, size, descriptors, 5000) !=
            MessageChannel::Status::Received ||
        size != sizeof error)
        return std::nullopt;
    return error;
}

} // namespace orlix::test
