#include "platform/desktop/Desktop.h"

#include "platform/files/NativePath.h"
#include "platform/sandbox/AddressOpener.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QUrl>

#include <climits>
#include <unistd.h>

namespace orlix::platform {

bool platformLetsProgramsMovePointer(const QString& platformName) {
    // Wayland compositors keep the pointer to themselves; "wayland", "wayland-egl" and the
    // like all start the same way.
    return !platformName.startsWith(QLatin1String("wayland"), Qt::CaseInsensitive);
}

bool movePointer(const QPoint& screenPixel) {
    if (!platformLetsProgramsMovePointer(QGuiApplication::platformName()))
        return false;
    QCursor::setPos(screenPixel);
    return true;
}

void openAddress(const QString& address) {
    // fromUserInput takes what a desktop's "open" takes: full addresses, "www." addresses
    // without a scheme and local paths. An empty address gives an empty QUrl, which the
    // desktop services turn down without a message.
    const QUrl url = QUrl::fromUserInput(address, QDir::currentPath());
    if (AddressOpener::running()) {
        AddressOpener::open(url.toEncoded());
        return;
    }
    QDesktopServices::openUrl(url);
}

bool startAddressOpener() {
    return AddressOpener::start();
}

QString executableFolder() {
    // The kernel's link keeps the folder's bytes as they are, also where they are not valid
    // UTF-8; applicationDirPath() would lose such bytes.
    QByteArray target(PATH_MAX, '\0');
    for (int attempt = 0; attempt < 4; ++attempt, target.resize(target.size() * 2)) {
        const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
        if (length <= 0)
            break;
        if (length == target.size())
            continue; // cut short: try a larger buffer
        target.truncate(length);
        const qsizetype slash = target.lastIndexOf('/');
        if (!target.startsWith('/') || slash < 0)
            break;
        return fromNative(slash == 0 ? QByteArray("/") : target.left(slash));
    }
    return QCoreApplication::applicationDirPath();
}

} // namespace orlix::platform
