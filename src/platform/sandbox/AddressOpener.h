#pragma once

#include <QByteArray>

namespace orlix::platform {

// The helper process that opens addresses in the desktop's default handler for the program,
// which may no longer start programs once it has locked itself down. Forked before the lockdown
// and outside it, it runs the desktop's opener (xdg-open) for each address it is sent, so the
// browser starts with none of the program's restrictions. It takes web addresses only: whoever
// could send it anything else could have it open a file that starts a program.
class AddressOpener {
public:
    // Forks the helper; call before any thread exists. False when it cannot be started.
    static bool start();
    // Whether the helper runs (it was started and has not gone).
    static bool running();
    // Sends `address` (an http or https URL) to the helper; false when it cannot be sent.
    static bool open(const QByteArray& address);

    // Whether the helper takes `address`.
    static bool accepts(const QByteArray& address);
};

} // namespace orlix::platform
