#include "startup/StartupHelpers.h"

#include <QFile>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix::test {

std::map<std::string, std::string> snapshot(const QByteArray& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root.toStdString())) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        std::string& text = entries[fs::relative(entry.path(), root.toStdString())];
        text = std::to_string(info.st_mode) + " " + std::to_string(info.st_uid);
        if (S_ISREG(info.st_mode)) {
            std::ifstream in(entry.path(), std::ios::binary);
            text += " " + std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return entries;
}

QList<qint64> flockHolders(const QByteArray& path) {
    struct stat info {};
    QList<qint64> holders;
    QFile table(QStringLiteral("/proc/locks"));
    if (::stat(path.constData(), &info) != 0 || !table.open(QIODevice::ReadOnly))
        return holders;
    // "1: FLOCK  ADVISORY  WRITE 4711 fd:01:123456 0 EOF"; waiters carry "->" after the number.
    const QByteArray inode = ':' + QByteArray::number(quint64(info.st_ino));
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 6 && fields[1] == "FLOCK" && fields[5].endsWith(inode))
            holders.append(fields[4].toLongLong());
    }
    return holders;
}

} // namespace orlix::test
