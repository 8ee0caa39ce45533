#pragma once

#include <QProcess>

#include <csignal>
#include <memory>
#include <sys/prctl.h>

namespace orlix::test {

// A process for a test to start (a server, a service, the program under test), killed with the
// test should that crash: it must not outlive it holding a display, a bus or the output pipes
// of whoever ran the test.
inline std::unique_ptr<QProcess> childProcess() {
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    return process;
}

// Ends `process` (terminate, then kill) and waits for it.
inline void endProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace orlix::test
