#include "platform/sandbox/AddressOpener.h"

#include "platform/ipc/MessageChannel.h"
#include "platform/sandbox/ProcessSetup.h"

#include <mutex>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orlix::platform {

namespace {

constexpr int kHelperChannelDescriptor = 3;
constexpr const char* kOpener = "xdg-open";
constexpr int kOpenerMissing = 127;

struct HelperLink {
    std::mutex mutex;
    MessageChannel channel;
};

// Never destroyed, like the program's other links to its helpers: the system closes the channel
// when the program ends.
HelperLink& helper() {
    static auto* link = new HelperLink;
    return *link;
}

// Runs the opener for `address` in a grandchild, which the system adopts: the helper waits only
// for the short-lived child between them, and no browser stays its child.
void runOpener(const QByteArray& address) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::setsid();
            ::execlp(kOpener, kOpener, address.constData(), static_cast<char*>(nullptr));
            ::_exit(kOpenerMissing);
        }
        ::_exit(0);
    }
    if (child > 0)
        ::waitpid(child, nullptr, 0);
}

[[noreturn]] void serve(MessageChannel channel, pid_t program) {
    if (!dieWithParent(program) ||
        !keepOnlyDescriptor(channel.descriptor(), kHelperChannelDescriptor))
        ::_exit(1);
    channel.release();
    MessageChannel requests{UniqueFd(kHelperChannelDescriptor)};
    std::vector<char> buffer(MessageChannel::kMaxMessage);
    for (;;) {
        std::size_t size = 0;
        std::vector<UniqueFd> ignored;
        if (requests.receive(buffer.data(), buffer.size(), size, ignored) !=
            MessageChannel::Status::Received)
            ::_exit(0); // the program has ended
        const QByteArray address(buffer.data(), static_cast<qsizetype>(size));
        if (AddressOpener::accepts(address))
            runOpener(address);
    }
}

} // namespace

bool AddressOpener::start() {
    MessageChannel programEnd;
    MessageChannel helperEnd;
    if (!MessageChannel::makePair(programEnd, helperEnd))
        return false;
    const pid_t program = ::getpid();
    const pid_t id = ::fork();
    if (id == 0) {
        programEnd = MessageChannel();
        serve(std::move(helperEnd), program);
    }
    if (id < 0)
        return false;
    HelperLink& link = helper();
    const std::lock_guard<std::mutex> lock(link.mutex);
    link.channel = std::move(programEnd);
    return true;
}

bool AddressOpener::running() {
    HelperLink& link = helper();
    const std::lock_guard<std::mutex> lock(link.mutex);
    return link.channel.valid();
}

bool AddressOpener::open(const QByteArray& address) {
    if (!accepts(address))
        return false;
    HelperLink& link = helper();
    const std::lock_guard<std::mutex> lock(link.mutex);
    return link.channel.send(address.constData(), static_cast<std::size_t>(address.size()));
}

bool AddressOpener::accepts(const QByteArray& address) {
    const QByteArray lower = address.left(8).toLower();
    // Nothing the opener could take for an option, and a message the helper receives whole.
    return (lower.startsWith("http://") || lower.startsWith("https://")) &&
           address.size() < static_cast<qsizetype>(MessageChannel::kMaxMessage) &&
           !address.contains('\0');
}

} // namespace orlix::platform
