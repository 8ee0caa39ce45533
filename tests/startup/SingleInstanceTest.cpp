#include "platform/SingleInstance.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace orlix::platform {
namespace {

// Points the lock at a private folder for the duration of a test.
class PrivateRuntimeDir {
public:
    PrivateRuntimeDir() : previous_(qgetenv("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
    }
    ~PrivateRuntimeDir() { qputenv("XDG_RUNTIME_DIR", previous_); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
};

TEST(SingleInstance, SecondHolderSeesTheFirstUntilItEnds) {
    PrivateRuntimeDir runtime;
    EXPECT_TRUE(SingleInstance::lockPath().startsWith(runtime.path().toLocal8Bit()));
    auto first = std::make_unique<SingleInstance>();
    EXPECT_FALSE(first->anotherIsRunning());
    {
        SingleInstance second;
        EXPECT_TRUE(second.anotherIsRunning());
    }
    // A copy that saw another running must not have taken the lock from it.
    EXPECT_TRUE(SingleInstance().anotherIsRunning());
    first.reset();
    EXPECT_FALSE(SingleInstance().anotherIsRunning());
}

TEST(SingleInstance, FallsBackToTmpWithoutAUsableRuntimeDir) {
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/nonexistent-orlix-runtime");
    const QByteArray path = SingleInstance::lockPath();
    qputenv("XDG_RUNTIME_DIR", previous);
    EXPECT_TRUE(path.startsWith("/tmp/orlix-")) << path.constData();
}

// The real program, started as a user would start it twice.
class SecondCopy : public ::testing::Test {
protected:
    static QString program() { return QStringLiteral(ORLIX_BIN_DIR "/orlix"); }

    std::unique_ptr<QProcess> start() {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime_.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(env);
        process->start(program(), {});
        process->waitForStarted(10000);
        return process;
    }

    // True once some process holds the lock (probing takes and drops it when it is free).
    bool lockHeldWithin(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (SingleInstance().anotherIsRunning())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    void expectSecondCopyEndsSilently() {
        auto second = start();
        ASSERT_TRUE(second->waitForFinished(10000)) << "the second copy kept running";
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
        EXPECT_TRUE(second->readAllStandardOutput().isEmpty());
        EXPECT_TRUE(second->readAllStandardError().isEmpty());
    }

    PrivateRuntimeDir runtime_;
};

TEST_F(SecondCopy, EndsAtOnceWhileTheFirstRunsAndAfterTheFirstWasKilled) {
    auto first = start();
    ASSERT_TRUE(lockHeldWithin(std::chrono::seconds(10))) << "the first copy never started";
    expectSecondCopyEndsSilently();
    EXPECT_EQ(first->state(), QProcess::Running);

    // kill -9 leaves no chance to clean up; the lock must not outlive the process.
    first->kill();
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_FALSE(SingleInstance().anotherIsRunning());

    auto restarted = start();
    ASSERT_TRUE(lockHeldWithin(std::chrono::seconds(10))) << "the restarted copy never started";
    expectSecondCopyEndsSilently();
    restarted->kill();
    restarted->waitForFinished(10000);
}

} // namespace
} // namespace orlix::platform
