#include "support/ProgramRun.h"

#include "support/ChildProcess.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <string>

namespace orlix::test {

ProgramRun::ProgramRun(const QString& program,
                       const std::vector<std::pair<QByteArray, QByteArray>>& pictures)
    : environment(QProcessEnvironment::systemEnvironment()),
      copy_(folder.rootText() + QLatin1Char('/') + QFileInfo(program).fileName()) {
    EXPECT_TRUE(QFile::copy(program, copy_)) << program.toStdString();
    QFile::setPermissions(copy_, QFile::ReadOwner | QFile::ExeOwner);
    // It must not outlive a crashed test holding a display, a bus or the test's output pipes.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    for (const auto& [name, bytes] : pictures)
        folder.write(name, bytes);
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(variable));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    // No session bus: without an address, D-Bus would try to start one for the X display.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + runtime.filePath(QStringLiteral("no-bus")));
    // The single-instance lock lives in the home folder: a home of its own keeps this copy
    // from taking another test's running copy for itself.
    environment.insert(QStringLiteral("HOME"), home.path());
}

ProgramRun::~ProgramRun() {
    endProcess(process);
}

void ProgramRun::start() {
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.rootText());
    process.start(copy_, {});
    ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
}

void ProgramRun::expectEnded(int code, const char* printedText) {
    ASSERT_TRUE(process.state() == QProcess::NotRunning || process.waitForFinished(kSessionWaitMs))
        << "the program did not end";
    printed = process.readAllStandardOutput() + process.readAllStandardError();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), code);
    EXPECT_EQ(printed.toStdString(), std::string(printedText));
}

} // namespace orlix::test
