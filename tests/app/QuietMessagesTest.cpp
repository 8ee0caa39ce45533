#include "app/QuietMessages.h"

#include "support/PrintedDuring.h"

#include <QLoggingCategory>
#include <QThread>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

namespace orlix {
namespace {

Q_LOGGING_CATEGORY(lcDecoder, "orlix.test.decoder")

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

void everyRoutineKind(const char* where) {
    qDebug("debug from %s", where);
    qInfo("info from %s", where);
    qWarning("warning from %s", where);
    qCritical("critical from %s", where);
    qCWarning(lcDecoder) << "Corrupt JPEG data from" << where;
}

TEST(QuietMessages, RoutineMessagesFromAnyThreadAreDropped) {
    // Qt's own handler prints them: the capture sees what reaches the terminal.
    ASSERT_THAT(test::printedDuring([] { everyRoutineKind("the default handler"); }),
                HasSubstr("warning from the default handler"));

    installQuietMessageHandler();
    const std::string printed = test::printedDuring([] {
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
TEST(QuietMessagesDeathTest, FatalMessagesEndTheProgramSayingWhatItMust) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Any other fatal message, printed before Qt ends the program.
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
    // A warning made fatal by Qt's setting. Whether Qt itself then aborts depends on when it
    // first read the setting in this process; the program ends either way, and the warning must
    // be on the terminal.
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
