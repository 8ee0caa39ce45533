#include "platform/ipc/MessageChannel.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace orlix::platform {

namespace {

constexpr std::size_t kControlSize = CMSG_SPACE(sizeof(int) * MessageChannel::kMaxDescriptors);

} // namespace

bool MessageChannel::makePair(MessageChannel& first, MessageChannel& second) {
    // Sequenced packets keep each message whole; a stream would need framing.
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    first = MessageChannel(UniqueFd(ends[0]));
    second = MessageChannel(UniqueFd(ends[1]));
    return true;
}

bool MessageChannel::send(const void* data, std::size_t size,
                          std::initializer_list<int> descriptors) {
    if (!valid() || descriptors.size() > kMaxDescriptors)
        return false;
    iovec part{const_cast<void*>(data), size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[kControlSize] = {};
    if (descriptors.size() > 0) {
        const std::size_t bytes = sizeof(int) * descriptors.size();
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(bytes);
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(bytes);
        std::memcpy(CMSG_DATA(header), descriptors.begin(), bytes);
    }
    for (;;) {
        // MSG_NOSIGNAL: a peer that is gone is an answer, not a reason to end this process.
        const ssize_t sent = ::sendmsg(socket_.get(), &message, MSG_NOSIGNAL);
        if (sent >= 0)
            return static_cast<std::size_t>(sent) == size;
        if (errno != EINTR)
            return false;
    }
}

MessageChannel::Status MessageChannel::wait(int timeoutMs) const {
    if (!valid())
        return Status::Failed;
    pollfd watch{socket_.get(), POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&watch, 1, timeoutMs);
        if (ready > 0)
            return Status::Received;
        if (ready == 0)
            return Status::TimedOut;
        if (errno != EINTR)
            return Status::Failed;
    }
}

MessageChannel::Status MessageChannel::receive(void* data, std::size_t capacity, std::size_t& size,
                                               std::vector<UniqueFd>& descriptors, int timeoutMs) {
    size = 0;
    descriptors.clear();
    // Waiting as long as it takes is left to recvmsg itself: a decoder process may not poll.
    const Status ready =
        timeoutMs < 0 ? (valid() ? Status::Received : Status::Failed) : wait(timeoutMs);
    if (ready != Status::Received)
        return ready;
    iovec part{data, capacity};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[kControlSize] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t received = -1;
    do {
        received = ::recvmsg(socket_.get(), &message, MSG_CMSG_CLOEXEC);
    } while (received < 0 && errno == EINTR);
    if (received < 0)
        return errno == ECONNRESET ? Status::Closed : Status::Failed;
    // Whatever arrived is owned here from now on, also when the message is refused below.
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
            descriptors.emplace_back(fd);
        }
    }
    if (received == 0)
        return Status::Closed;
    if ((message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0)
        return Status::Failed;
    size = static_cast<std::size_t>(received);
    return Status::Received;
}

} // namespace orlix::platform
