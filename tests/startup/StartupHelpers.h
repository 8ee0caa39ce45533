#pragma once

#include <QByteArray>
#include <QList>

#include "support/OtherUser.h"

#include <map>
#include <ostream>
#include <string>

// Paths in failure messages as text rather than byte by byte.
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toStdString() << '"';
}

namespace orlix::test {

// What another local user can put at a path.
enum class Planted { File, Link, Fifo, Folder };
inline constexpr Planted kAllPlanted[] = {Planted::File, Planted::Link, Planted::Fifo,
                                          Planted::Folder};
inline const char* nameOf(Planted kind) {
    constexpr const char* kNames[] = {"file", "link", "FIFO", "folder"}; // in Planted's order
    return kNames[static_cast<int>(kind)];
}

// Makes `kind` at `path` (a link points at `linkTarget`); false when the system refuses.
bool plant(Planted kind, const QByteArray& path, const QByteArray& linkTarget);

// What is at `path`, links not followed: type and mode, owner and, for a file, its contents;
// "missing" when there is nothing.
std::string describe(const QByteArray& path);

// describe() for every entry below `root`, by relative path.
std::map<std::string, std::string> snapshot(const QByteArray& root);

// Removes whatever is at `path` (file, link, FIFO or empty folder).
void removeAt(const QByteArray& path);

// The processes holding an flock on the file at `path`, from /proc/locks. Reading that table
// takes no lock, so watching a running copy never competes with the copies under test.
QList<qint64> flockHolders(const QByteArray& path);

} // namespace orlix::test
