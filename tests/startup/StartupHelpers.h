#pragma once

#include <QByteArray>
#include <QList>

#include <map>
#include <ostream>
#include <string>

// Paths in failure messages as text rather than byte by byte.
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toStdString() << '"';
}

namespace orlix::test {

// What is below `root`, by relative path, links not followed: type and mode, owner and, for a
// file, its contents.
std::map<std::string, std::string> snapshot(const QByteArray& root);

// The processes holding an flock on the file at `path`, from /proc/locks. Reading that table
// takes no lock, so watching a running copy never competes with the copies under test.
QList<qint64> flockHolders(const QByteArray& path);

} // namespace orlix::test
