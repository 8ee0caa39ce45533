#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include "support/TempTree.h"

#include <utility>
#include <vector>

namespace orlix::test {

// Generous: the splash alone takes five seconds, and a loaded machine runs other tests beside.
inline constexpr int kSessionWaitMs = 30000;
inline constexpr QSize kSettingsWindowSize(378, 136);
// Keys for the settings window: 60 seconds in the interval box, the seventh control, so that
// only the keys step through the pictures.
inline const QStringList kSixtySecondKeys = {"Tab", "Tab",       "Tab",       "Tab", "Tab", "Tab",
                                             "End", "BackSpace", "BackSpace", "6",   "0"};

// A program (the build's bin/orlix, or a test's helper) copied into a folder of its own, which
// the settings window opens at, with `pictures` (name, contents) beside it. It runs with a home
// and a runtime folder of its own and none of the caller's display or bus settings; tests add
// theirs to `environment`. It is killed with the test should that crash.
class ProgramRun {
public:
    explicit ProgramRun(const QString& program,
                        const std::vector<std::pair<QByteArray, QByteArray>>& pictures = {});
    ~ProgramRun();

    void start();
    bool running() const { return process.state() == QProcess::Running; }
    // Waits for the end and expects a normal exit with `code`, having printed `printed`; then
    // everything the program printed is in `printed`.
    void expectEnded(int code = 0, const char* printed = "");

    TempTree folder;
    QTemporaryDir home;
    QTemporaryDir runtime;
    QProcessEnvironment environment;
    QProcess process;
    QByteArray printed;

private:
    QString copy_;
};

} // namespace orlix::test
