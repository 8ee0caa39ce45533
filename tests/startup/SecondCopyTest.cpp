#include "platform/desktop/SingleInstance.h"

#include "startup/StartupHelpers.h"
#include "support/ProgramRun.h"
#include "support/TempTree.h"

#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orlix::platform {
namespace {

using test::flockHolders;
using test::TempTree;

// The real program, started as a user would start it, with a private home folder (mode 0700)
// so that the tests never meet a copy the developer is running. The copies that end must leave
// the lock with the one that runs; kill -9 leaves that one no chance to clean up, and the lock
// must not outlive it.
TEST(SecondCopy, OfTenStartedAtOnceOneRunsAndItsLockDiesWithIt) {
    TempTree tree;
    tree.mkdir("home");
    ASSERT_EQ(::chmod(tree.path("home").constData(), 0700), 0);
    const QByteArray lock = tree.path("home/.cache/" + SingleInstance::lockFileName());
    const auto start = [&tree] {
        auto copy = std::make_unique<test::ProgramRun>(QStringLiteral(ORLIX_BIN_DIR "/orlix"));
        copy->environment.insert("HOME", QString::fromLocal8Bit(tree.path("home")));
        copy->environment.insert("QT_QPA_PLATFORM", "offscreen");
        copy->start();
        return copy;
    };
    // True once `copy` holds the lock, and it alone.
    const auto holdsTheLock = [&lock](const test::ProgramRun& copy) {
        return QTest::qWaitFor(
            [&] {
                return copy.running() &&
                       flockHolders(lock) == QList<qint64>{copy.process.processId()};
            },
            10000);
    };

    std::vector<std::unique_ptr<test::ProgramRun>> copies;
    for (int i = 0; i < 10; ++i)
        copies.push_back(start());
    std::vector<test::ProgramRun*> running;
    // The ASSERT below says what the wait did not reach.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            running.clear();
            for (const auto& copy : copies)
                if (copy->running() && !copy->process.waitForFinished(10))
                    running.push_back(copy.get());
            return running.size() <= 1;
        },
        20000));
    ASSERT_EQ(running.size(), 1u);
    EXPECT_TRUE(holdsTheLock(*running.front()));
    for (const auto& copy : copies)
        if (copy.get() != running.front())
            copy->expectEnded();
    EXPECT_TRUE(holdsTheLock(*running.front())) << "a copy took the lock with it as it went";

    running.front()->process.kill();
    ASSERT_TRUE(running.front()->process.waitForFinished(10000));
    EXPECT_EQ(flockHolders(lock), QList<qint64>());
    copies.clear();
    EXPECT_TRUE(holdsTheLock(*start())) << "the restarted copy never took the lock";
}

} // namespace
} // namespace orlix::platform
