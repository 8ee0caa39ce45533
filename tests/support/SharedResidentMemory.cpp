#include "support/SharedResidentMemory.h"

#include <QByteArray>
#include <QFile>

namespace orlix::test {

std::int64_t sharedResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("RssShmem:"))
            return line.mid(9).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace orlix::test
