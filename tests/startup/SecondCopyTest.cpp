#include "platform/SingleInstance.h"

#include "startup/StartupHelpers.h"
#include "support/ProgramRun.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orlix::platform {
namespace {

using namespace std::chrono_literals;
using test::flockHolders;
using test::TempTree;

// The real program, started as a user would start it, with a private home folder (mode 0700)
// so that the tests never meet a copy the developer is running.
class SecondCopy : public ::testing::Test {
protected:
    SecondCopy() {
        tree_.mkdir("home");
        ::chmod(tree_.path("home").constData(), 0700);
    }

    QByteArray lock() const { return tree_.path("home/.cache/" + SingleInstance::lockFileName()); }

    std::unique_ptr<test::ProgramRun> start() const {
        auto copy = std::make_unique<test::ProgramRun>(QStringLiteral(ORLIX_BIN_DIR "/orlix"));
        copy->environment.insert("HOME", QString::fromLocal8Bit(tree_.path("home")));
        copy->environment.insert("QT_QPA_PLATFORM", "offscreen");
        copy->start();
        return copy;
    }

    // True once `copy` holds the lock, and it alone.
    bool holdsTheLock(const test::ProgramRun& copy) const {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (copy.running() && std::chrono::steady_clock::now() < end) {
            if (flockHolders(lock()) == QList<qint64>{copy.process.processId()})
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    TempTree tree_;
};

// The copies that end must leave the lock with the one that runs; kill -9 leaves that one no
// chance to clean up, and the lock must not outlive it.
TEST_F(SecondCopy, OfTenStartedAtOnceOneRunsAndItsLockDiesWithIt) {
    std::vector<std::unique_ptr<test::ProgramRun>> copies;
    for (int i = 0; i < 10; ++i)
        copies.push_back(start());
    const auto end = std::chrono::steady_clock::now() + 20s;
    std::vector<test::ProgramRun*> running;
    do {
        running.clear();
        for (const auto& copy : copies)
            if (copy->running() && !copy->process.waitForFinished(10))
                running.push_back(copy.get());
    } while (running.size() > 1 && std::chrono::steady_clock::now() < end);
    ASSERT_EQ(running.size(), 1u);
    EXPECT_TRUE(holdsTheLock(*running.front()));
    for (const auto& copy : copies)
        if (copy.get() != running.front())
            copy->expectEnded();
    EXPECT_TRUE(holdsTheLock(*running.front())) << "a copy took the lock with it as it went";

    running.front()->process.kill();
    ASSERT_TRUE(running.front()->process.waitForFinished(10000));
    EXPECT_EQ(flockHolders(lock()), QList<qint64>());
    copies.clear();
    EXPECT_TRUE(holdsTheLock(*start())) << "the restarted copy never took the lock";
}

} // namespace
} // namespace orlix::platform
