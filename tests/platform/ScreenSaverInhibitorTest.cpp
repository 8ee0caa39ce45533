#include "platform/ScreenSaverInhibitor.h"

#include "ScreenSaverInhibitorXServer.h"
#include "app/AppInfo.h"
#include "platform/posix/ScreenSaverInhibitorDBus.h"
#include "platform/posix/ScreenSaverInhibitorXcb.h"
#include "support/FakeScreenSaverBus.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

namespace orlix::platform {
namespace {

// Sets an environment variable (or removes it, for a null value) for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), previous_(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, previous_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray previous_;
};

// Everything the process writes to standard output and error, and every Qt message, while
// it lives.
class OutputCapture {
public:
    OutputCapture() {
        file_.open();
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = ::dup(STDOUT_FILENO);
        savedErr_ = ::dup(STDERR_FILENO);
        ::dup2(file_.handle(), STDOUT_FILENO);
        ::dup2(file_.handle(), STDERR_FILENO);
        messages_ = &qtMessages_;
        previousHandler_ =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                *messages_ += text + QLatin1Char('\n');
            });
    }
    ~OutputCapture() { restore(); }

    // Everything written and logged, once the capture has ended.
    QString finish() {
        restore();
        QFile written(file_.fileName());
        written.open(QIODevice::ReadOnly);
        return QString::fromLocal8Bit(written.readAll()) + qtMessages_;
    }

private:
    void restore() {
        if (savedOut_ < 0)
            return;
        qInstallMessageHandler(previousHandler_);
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(savedOut_, STDOUT_FILENO);
        ::dup2(savedErr_, STDERR_FILENO);
        ::close(savedOut_);
        ::close(savedErr_);
        savedOut_ = savedErr_ = -1;
    }

    static inline QString* messages_ = nullptr;
    QTemporaryFile file_;
    QString qtMessages_;
    QtMessageHandler previousHandler_ = nullptr;
    int savedOut_ = -1;
    int savedErr_ = -1;
};

TEST(ScreenSaverInhibitor, WithoutBusOrXNothingHappensAndNothingIsPrinted) {
    // The tests run on Qt's offscreen platform, which has no X connection.
    QTemporaryDir emptyRuntimeDir;
    const struct {
        const char* what;
        QByteArray busAddress; // null: none in the environment
    } rows[] = {
        {"no session bus", QByteArray()},
        {"a bus address nobody listens on",
         "unix:path=" + emptyRuntimeDir.filePath(QStringLiteral("nobody")).toLocal8Bit()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", row.busAddress);
        const ScopedEnv runtime("XDG_RUNTIME_DIR", emptyRuntimeDir.path().toLocal8Bit());
        OutputCapture capture;
        {
            const auto inhibitor = makeDesktopScreenSaverInhibitor();
            EXPECT_FALSE(dynamic_cast<ScreenSaverInhibitorDBus*>(inhibitor.get()));
            EXPECT_FALSE(dynamic_cast<ScreenSaverInhibitorXcb*>(inhibitor.get()));
            for (const bool wish : {true, true, false, true}) {
                inhibitor->setInhibited(wish);
                EXPECT_EQ(inhibitor->isInhibited(), wish);
            }
            QTest::qWait(50); // room for anything that would be reported later
        }
        EXPECT_EQ(capture.finish().toStdString(), "");
    }
}

// The program's side in a process of its own (ScreenSaverInhibitorProbe.cpp), so that its Qt
// platform, session bus and exit are real.
class Probe {
public:
    explicit Probe(const QProcessEnvironment& environment) {
        process_.setProcessEnvironment(environment);
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(QStringLiteral(SCREENSAVER_PROBE_PATH), {});
    }
    ~Probe() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    QByteArray nextLine() {
        while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
        }
        return process_.readLine().trimmed();
    }
    QByteArray command(const QByteArray& line) {
        process_.write(line + '\n');
        return line == "on" || line == "off" ? nextLine() : QByteArray();
    }
    // Waits for the program to end; its standard error.
    QByteArray ended() {
        process_.waitForFinished(10000);
        EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process_.exitCode(), 0);
        return process_.readAllStandardError() + process_.readAllStandardOutput();
    }

private:
    QProcess process_;
};

QProcessEnvironment probeEnvironment(const QString& runtimeDir) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

TEST(ScreenSaverInhibitor, ProgramWithTheServiceReleasesWhenItEnds) {
    test::FakeScreenSaverBus bus;
    ASSERT_TRUE(bus.start() && bus.startService()) << bus.error().toStdString();
    QTemporaryDir runtimeDir;
    QProcessEnvironment environment = probeEnvironment(runtimeDir.path());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    Probe probe(environment);
    ASSERT_EQ(probe.nextLine(), "ready dbus");

    EXPECT_EQ(probe.command("on"), "ok");
    ASSERT_TRUE(bus.waitForCalls(1));
    EXPECT_EQ(bus.calls()[0].method, QLatin1String("Inhibit"));
    EXPECT_EQ(bus.calls()[0].application, QString::fromUtf8(app::kTitle));

    probe.command("exit");
    EXPECT_EQ(probe.ended(), QByteArray());
    ASSERT_TRUE(bus.waitForCalls(2));
    EXPECT_EQ(bus.calls()[1].method, QLatin1String("UnInhibit"));
    EXPECT_EQ(bus.calls()[1].cookie, bus.calls()[0].cookie);
}

TEST(ScreenSaverInhibitor, ProgramOnX11WithoutTheServiceSuspendsUntilItEnds) {
    if (!ScreenSaverInhibitorXServer::xvfbInstalled())
        GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
    // Without a bus the program goes to X at once; with a bus but no service there, only
    // once the bus has said so. Either way the suspension ends with the program, even when
    // it ends without cleaning up.
    const struct {
        const char* what;
        bool withBus;
        QByteArray expectedKind;
        QByteArray ending;
    } rows[] = {
        {"no session bus, crash", false, "ready xcb", "crash"},
        {"a bus without the service, exit", true, "ready dbus", "exit"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScreenSaverInhibitorXServer server;
        ASSERT_TRUE(server.start()) << server.error().toStdString();
        test::FakeScreenSaverBus bus;
        QTemporaryDir runtimeDir;
        QProcessEnvironment environment = probeEnvironment(runtimeDir.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), server.display());
        if (row.withBus) {
            ASSERT_TRUE(bus.start()) << bus.error().toStdString();
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        }
        Probe probe(environment);
        ASSERT_EQ(probe.nextLine(), row.expectedKind);

        server.setOneSecondTimeout();
        EXPECT_EQ(probe.command("on"), "ok");
        EXPECT_TRUE(server.saverHeldPastItsTime());
        probe.command(row.ending);
        EXPECT_EQ(probe.ended(), QByteArray());
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.saverOn(); }, 3000));
    }
}

} // namespace
} // namespace orlix::platform
