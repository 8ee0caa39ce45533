#include "platform/sandbox/XDisplayAddress.h"

#include <QByteArrayList>

namespace orlix::platform {

namespace {

constexpr int kFirstXPort = 6000;
constexpr int kHighestPort = 65535;

} // namespace

std::optional<std::uint16_t> xDisplayTcpPort(const QByteArray& display) {
    const qsizetype colon = display.lastIndexOf(':');
    // A leading '/' names a socket's path.
    if (colon < 0 || display.startsWith('/'))
        return std::nullopt;
    QByteArray head = display.left(colon);
    const QByteArray number = display.mid(colon + 1).split('.').value(0);
    bool numeric = false;
    const int which = number.toInt(&numeric);
    // A head ending in ':' is DECnet ("host::0"), which libxcb does not speak.
    if (!numeric || which < 0 || head.endsWith(':'))
        return std::nullopt;
    QByteArray protocol;
    const qsizetype slash = head.indexOf('/');
    if (slash >= 0) {
        protocol = head.left(slash);
        head = head.mid(slash + 1);
    }
    if (!protocol.isEmpty() && protocol != "tcp" && protocol != "inet" && protocol != "inet6")
        return std::nullopt; // "unix/..." or a protocol libxcb does not know
    if (protocol.isEmpty() && (head.isEmpty() || head == "unix"))
        return std::nullopt;
    if (kFirstXPort + which > kHighestPort)
        return std::nullopt;
    return static_cast<std::uint16_t>(kFirstXPort + which);
}

} // namespace orlix::platform
