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

// What the desktop's opener and the browser it starts need of the session: where the display,
// the bus and the user's files are, which desktop runs, the language and the input method.
// Nothing else of the program's environment goes with them.
// clang-format off
constexpr const char* kOpenerEnvironment[] = {
    "PATH", "HOME", "USER", "LOGNAME", "SHELL", "DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY",
    "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS", "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP",
    "XDG_SESSION_TYPE", "DESKTOP_SESSION", "KDE_FULL_SESSION", "KDE_SESSION_VERSION",
    "GNOME_DESKTOP_SESSION_ID", "BROWSER", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME",
    "XDG_DATA_DIRS", "XDG_CACHE_HOME", "XDG_STATE_HOME", "LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE",
    "LC_MESSAGES", "LC_COLLATE", "LC_NUMERIC", "LC_TIME", "LC_MONETARY", "LC_PAPER", "LC_NAME",
    "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION", "TZ", "GTK_IM_MODULE",
    "QT_IM_MODULE", "XMODIFIERS", "SDL_IM_MODULE", nullptr
};
// clang-format on

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

// Not ended with the program, as the other helpers are: an address the program sent just before
// it ended is still in the channel and still opened. The helper ends when the channel closes,
// which the program's end does, after what it holds has been read.
[[noreturn]] void serve(MessageChannel channel) {
    if (!keepOnlyDescriptor(channel.descriptor(), kHelperChannelDescriptor))
        ::_exit(1);
    channel.release();
    keepOnlyEnvironment(kOpenerEnvironment);
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
    const pid_t id = ::fork();
    if (id == 0) {
        programEnd = MessageChannel();
        serve(std::move(helperEnd));
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
