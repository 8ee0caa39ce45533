#include "startup/StartupHelpers.h"

#include <QFile>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix::test {

bool plant(Planted kind, const QByteArray& path, const QByteArray& linkTarget) {
    switch (kind) {
    case Planted::File: {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        const bool written = ::write(fd, "planted", 7) == 7;
        ::close(fd);
        return written;
    }
    case Planted::Link:
        return ::symlink(linkTarget.constData(), path.constData()) == 0;
    case Planted::Fifo:
        return ::mkfifo(path.constData(), 0666) == 0;
    case Planted::Folder:
        return ::mkdir(path.constData(), 0777) == 0;
    }
    return false;
}

std::string describe(const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return "missing";
    std::string text = std::to_string(info.st_mode) + " " + std::to_string(info.st_uid);
    if (S_ISREG(info.st_mode)) {
        std::ifstream in(path.toStdString(), std::ios::binary);
        text += " " + std::string(std::istreambuf_iterator<char>(in), {});
    }
    return text;
}

std::map<std::string, std::string> snapshot(const QByteArray& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root.toStdString()))
        entries[fs::relative(entry.path(), root.toStdString())] =
            describe(QByteArray::fromStdString(entry.path()));
    return entries;
}

void removeAt(const QByteArray& path) {
    if (::unlink(path.constData()) != 0)
        ::rmdir(path.constData());
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
