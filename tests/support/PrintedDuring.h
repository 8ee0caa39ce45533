#pragma once

#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>

namespace orlix::test {

// Everything written to standard output and standard error while `work` runs, by any thread and
// by Qt's own message handler, which writes to standard error when that is not a terminal.
inline std::string printedDuring(const std::function<void()>& work) {
    QTemporaryFile file;
    if (!file.open())
        return "(no scratch file)";
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(STDOUT_FILENO), savedErr = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDOUT_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    work();
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, STDOUT_FILENO);
    ::dup2(savedErr, STDERR_FILENO);
    ::close(savedOut);
    ::close(savedErr);
    file.seek(0);
    return file.readAll().toStdString();
}

} // namespace orlix::test
