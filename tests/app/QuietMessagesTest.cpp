#include "app/QuietMessages.h"

#include <QLoggingCategory>
#include <QTemporaryFile>
#include <QThread>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>

namespace orlix {
namespace {

Q_LOGGING_CATEGORY(lcDecoder, "orlix.test.decoder")

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

// Everything written to standard error, by any thread, while `speak` runs.
std::string standardErrorDuring(const std::function<void()>& speak) {
    QTemporaryFile file;
    if (!file.open())
        return "(no scratch file)";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    speak();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    file.seek(0);
    return file.readAll().toStdString();
}

void everyRoutineKind(const char* where) {
    qDebug("debug from %s", where);
    qInfo("info from %s", where);
    qWarning("warning from %s", where);
    qCritical("critical from %s", where);
    qCWarning(lcDecoder) << "Corrupt JPEG data from" << where;
}

TEST(QuietMessages, RoutineMessagesFromAnyThreadAreDropped) {
    // Qt's own handler prints them: the capture sees what reaches the terminal.
    ASSERT_THAT(standardErrorDuring([] { everyRoutineKind("the default handler"); }),
                HasSubstr("warning from the default handler"));

    installQuietMessageHandler();
    const std::string printed = standardErrorDuring([] {
        everyRoutineKind("the main thread");
        std::thread([] { everyRoutineKind("a plain thread"); }).join();
        QThread* worker = QThread::create([] { everyRoutineKind("a Qt thread"); });
        worker->start();
        worker->wait();
        delete worker;
    });
    qInstallMessageHandler(nullptr);
    EXPECT_EQ(printed, "");
}

// The fatal cases end the process; each runs in a child of its own.
class QuietMessagesDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(QuietMessagesDeathTest, FatalMessageWhileOpeningTheDisplayBecomesTheOneSentence) {
    EXPECT_EXIT(
        {
            installQuietMessageHandler();
            qWarning("qt.qpa.xcb: could not connect to display :7");
            const OpeningDisplay opening;
            qFatal("This application failed to start because no Qt platform plugin could be "
                   "initialized.");
        },
        ::testing::ExitedWithCode(1),
        AllOf(HasSubstr(kNoDisplaySentence), Not(HasSubstr("could not connect")),
              Not(HasSubstr("platform plugin"))));
}

TEST_F(QuietMessagesDeathTest, OtherFatalMessagesArePrintedBeforeQtEndsTheProgram) {
    EXPECT_EXIT(
        {
            installQuietMessageHandler();
            {
                const OpeningDisplay opened; // the display is open once this has gone
            }
            qFatal("the decoder's state is broken");
        },
        ::testing::KilledBySignal(SIGABRT),
        AllOf(HasSubstr("the decoder's state is broken"), Not(HasSubstr(kNoDisplaySentence))));
}

TEST_F(QuietMessagesDeathTest, WarningsMadeFatalByQtSettingArePrinted) {
    // Whether Qt itself then aborts depends on when it first read the setting in this
    // process; the program ends either way, and the warning must be on the terminal.
    EXPECT_EXIT(
        {
            qputenv("QT_FATAL_WARNINGS", "1");
            installQuietMessageHandler();
            qDebug("not fatal, not printed");
            qWarning("a warning turned fatal");
            std::abort();
        },
        ::testing::KilledBySignal(SIGABRT),
        AllOf(HasSubstr("a warning turned fatal"), Not(HasSubstr("not printed"))));
}

} // namespace
} // namespace orlix
