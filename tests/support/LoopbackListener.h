#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orlix::test {

// A TCP port on the loopback interface with a listener behind it that accepts nobody: a
// connection to it waits in its queue, so that only a lockdown can make one fail.
struct LoopbackListener {
    LoopbackListener() : socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(socket, 16) == 0 &&
            ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~LoopbackListener() { ::close(socket); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // Whether a connection reached the queue (it is taken off it).
    bool connectionWaiting() const {
        const int accepted = ::accept4(socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted >= 0)
            ::close(accepted);
        return accepted >= 0;
    }

    const int socket;
    int port = 0;
};

// Connects to `port` on the loopback interface, as a confined process tries to: 0, or -1 with
// errno set to the refusal.
inline long connectLoopback(int port) {
    const int made = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (made < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const long result = ::connect(made, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(made);
    errno = error;
    return result;
}

} // namespace orlix::test
