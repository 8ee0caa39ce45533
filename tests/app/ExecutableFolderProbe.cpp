#include "platform/desktop/Desktop.h"
#include "platform/files/NativePath.h"

#include <QCoreApplication>

#include <cstdio>

// Writes the folder of this executable to standard output as hex bytes, so that the caller
// can compare them with the folder it started the program from, byte for byte.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray folder = orlix::platform::toNative(orlix::platform::executableFolder());
    std::fputs(folder.toHex().constData(), stdout);
    return 0;
}
