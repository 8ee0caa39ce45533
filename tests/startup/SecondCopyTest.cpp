#include "platform/SingleInstance.h"

#include "startup/StartupHelpers.h"
#include "support/ProgramRun.h"
#include "support/ScopedEnv.h"
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
using test::Planted;
using test::snapshot;
using test::TempTree;

// The real program, started as a user would start it, with a private home folder (mode 0700)
// so that the tests never meet a copy the developer is running.
class SecondCopy : public ::testing::Test {
protected:
    SecondCopy() {
        tree_.mkdir("home");
        tree_.mkdir("runtime");
        ::chmod(tree_.path("home").constData(), 0700);
        ::chmod(tree_.path("runtime").constData(), 0700);
        runtime_ = tree_.path("runtime");
    }

    QByteArray lock() const { return tree_.path("home/.cache/" + SingleInstance::lockFileName()); }

    std::unique_ptr<test::ProgramRun> start() const {
        auto copy = std::make_unique<test::ProgramRun>(QStringLiteral(ORLIX_BIN_DIR "/orlix"));
        copy->environment.insert("HOME", QString::fromLocal8Bit(tree_.path("home")));
        copy->environment.insert("XDG_RUNTIME_DIR", QString::fromLocal8Bit(runtime_));
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
    QByteArray runtime_;
};

TEST_F(SecondCopy, EndsAtOnceWhileTheFirstRunsAndAfterTheFirstWasKilled) {
    auto first = start();
    ASSERT_TRUE(holdsTheLock(*first)) << "the first copy never took the lock";
    auto second = start();
    second->expectEnded();
    EXPECT_TRUE(holdsTheLock(*first)) << "the second copy took the lock with it as it went";

    // kill -9 leaves no chance to clean up; the lock must not outlive the process.
    first->process.kill();
    ASSERT_TRUE(first->process.waitForFinished(10000));
    EXPECT_EQ(flockHolders(lock()), QList<qint64>());

    auto restarted = start();
    ASSERT_TRUE(holdsTheLock(*restarted)) << "the restarted copy never took the lock";
    second = start();
    second->expectEnded();
    restarted.reset();
}

TEST_F(SecondCopy, OfTenStartedAtOnceExactlyOneKeepsRunning) {
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
    copies.clear();
}

// The lock paths of earlier versions, /tmp/orlix-<uid>.lock and orlix.lock in the runtime folder
// the environment names, were open to other users. Whatever another user (nobody) leaves there
// must change nothing: the rule holds, and what was planted, and what a planted link points at,
// stays as it was. One case, because /tmp is shared by every test running at the same time. The
// program takes its lock as SingleInstance() does here (EndsAtOnceWhileTheFirstRuns...).
TEST_F(SecondCopy, ObjectsAnotherUserLeftAtTheOldLockPathsChangeNothing) {
    const QByteArray oldTmp = "/tmp/orlix-" + QByteArray::number(::geteuid()) + ".lock";
    const QByteArray oldRuntime = tree_.path("open/orlix.lock");
    tree_.write("victim", "precious");
    tree_.mkdir("open");
    // An open runtime folder (the earlier versions asked only that it be the user's), in a tree
    // that others can enter.
    ASSERT_EQ(::chmod(tree_.path("open").constData(), 01777) |
                  ::chmod(tree_.root().constData(), 0755),
              0);
    runtime_ = tree_.path("open");
    const QByteArray victim = tree_.path("victim");
    const auto plantAtBoth = [&](Planted kind) {
        test::removeAt(oldTmp); // left by an earlier version or an earlier run
        return test::asNobody([&] {
            return QByteArray(test::plant(kind, oldTmp, victim) ? "" : "not planted in /tmp ") +
                   (test::plant(kind, oldRuntime, victim) ? "" : "not planted in runtime");
        });
    };
    // Everything the test can see but the lock's own place.
    const auto allButTheLock = [this, &oldTmp] {
        auto entries = snapshot(tree_.root());
        for (auto it = entries.begin(); it != entries.end();)
            it = it->first.rfind("home/", 0) == 0 ? entries.erase(it) : std::next(it);
        entries[oldTmp.toStdString()] = test::describe(oldTmp);
        return entries;
    };

    for (const Planted kind : test::kAllPlanted) {
        SCOPED_TRACE(test::nameOf(kind));
        const auto planted = plantAtBoth(kind);
        if (!planted)
            GTEST_SKIP() << "cannot become user nobody (65534): run as root";
        ASSERT_EQ(*planted, "");
        const auto before = allButTheLock();
        {
            const test::ScopedEnv home("HOME", tree_.path("home"));
            const test::ScopedEnv runtime("XDG_RUNTIME_DIR", runtime_);
            const SingleInstance first;
            EXPECT_FALSE(first.anotherIsRunning());
            EXPECT_EQ(first.lockPath(), lock());
            EXPECT_TRUE(SingleInstance().anotherIsRunning());
        }
        EXPECT_EQ(allButTheLock(), before);
        test::removeAt(oldRuntime);
    }
    test::removeAt(oldTmp);
}

} // namespace
} // namespace orlix::platform
