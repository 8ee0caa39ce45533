#pragma once

#include "platform/ipc/UniqueFd.h"

#include <cstddef>
#include <initializer_list>
#include <vector>

namespace orlix::platform {

// One end of a local message channel between two processes of the program. Messages keep their
// bounds (one send, one receive) and may carry open descriptors, which arrive as new
// descriptors of the receiving process. Either end sees the other end go: a receive then reports
// Closed.
class MessageChannel {
public:
    enum class Status { Received, TimedOut, Closed, Failed };

    // The most descriptors one message carries.
    static constexpr int kMaxDescriptors = 4;
    // The longest message; longer ones are cut and count as Failed.
    static constexpr std::size_t kMaxMessage = 4096;

    MessageChannel() = default;
    // Takes over `socket`, one end of a pair made by makePair().
    explicit MessageChannel(UniqueFd socket) : socket_(std::move(socket)) {}

    // Two connected ends; both invalid when the system refuses.
    static bool makePair(MessageChannel& first, MessageChannel& second);

    bool valid() const { return socket_.valid(); }
    int descriptor() const { return socket_.get(); }
    UniqueFd release() { return UniqueFd(socket_.release()); }

    // Sends `size` bytes of `data` with copies of `descriptors` (which stay open here). False when
    // the other end is gone or the system refuses.
    bool send(const void* data, std::size_t size, std::initializer_list<int> descriptors = {});

    // Waits up to `timeoutMs` (-1: as long as it takes) for a message to be readable.
    Status wait(int timeoutMs) const;

    // Receives one message: at most `capacity` bytes into `data`, the count in `size`, and the
    // descriptors it carried in `descriptors`. Waits as wait() does first.
    Status receive(void* data, std::size_t capacity, std::size_t& size,
                   std::vector<UniqueFd>& descriptors, int timeoutMs = -1);

private:
    UniqueFd socket_;
};

} // namespace orlix::platform
