#include "StartupHelpers.h"
#include "platform/sandbox/LandlockRuleset.h"
#include "support/ChildProcess.h"
#include "support/FakeScreenSaverBus.h"
#include "support/LoopbackListener.h"
#include "support/TempTree.h"
#include "support/XvfbServer.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include <cerrno>
#include <map>

namespace orlix::test {
namespace {

using platform::LandlockLevel;

constexpr auto kNever = static_cast<LandlockLevel>(1000);
constexpr char kAddress[] = "https://orlix.example.org/?from=splash";

// What the program may still do after its lockdown, by Landlock level. From `coveredFrom` on
// Landlock refuses (EACCES, or EPERM for a signal or an abstract socket). The filter refuses
// (EPERM unless told) at every level (Always), below that level (BelowLandlock), or at every
// level but only while the X server is local (UnlessTcpDisplay: sockets of the Internet
// families); what neither refuses goes through. The rows from unix-socket on are tried once
// new connections are given up.
enum class Filter { None, BelowLandlock, UnlessTcpDisplay, Always };
struct Expected {
    const char* what;
    LandlockLevel coveredFrom;
    Filter filter;
    int landlockError = EACCES;
    int filterError = EPERM;
};
const Expected kExpected[] = {
    {"read", kNever, Filter::None},
    {"create", LandlockLevel::Files, Filter::BelowLandlock},
    {"write", LandlockLevel::Files, Filter::None},
    {"truncate", LandlockLevel::Truncate, Filter::BelowLandlock},
    {"open-truncating", LandlockLevel::Truncate, Filter::BelowLandlock},
    {"rename", LandlockLevel::Files, Filter::BelowLandlock},
    {"remove", LandlockLevel::Files, Filter::BelowLandlock},
    {"make-folder", LandlockLevel::Files, Filter::BelowLandlock},
    {"change-mode", kNever, Filter::BelowLandlock},
    {"start-program", kNever, Filter::Always},
    {"start-from-memory", kNever, Filter::Always},
    {"namespaces", kNever, Filter::Always},
    {"clone3", kNever, Filter::Always, EACCES, ENOSYS},
    {"renice-other", kNever, Filter::Always},
    {"connect-tcp", LandlockLevel::Tcp, Filter::UnlessTcpDisplay},
    {"signal", kNever, Filter::Always},
    {"connections-closed", kNever, Filter::None},
    {"unix-socket", kNever, Filter::Always},
    {"tcp-socket", kNever, Filter::Always},
    {"datagram-pair", kNever, Filter::Always},
    {"abstract-datagram", LandlockLevel::Scopes, Filter::None, EPERM},
    {"signal-zero", LandlockLevel::Scopes, Filter::None, EPERM},
    {"display", kNever, Filter::None},
    {"session-bus", kNever, Filter::None},
};

int expectedError(const Expected& row, LandlockLevel level, bool tcpDisplay) {
    if (row.filter == Filter::Always)
        return row.filterError;
    if (row.filter == Filter::UnlessTcpDisplay && !tcpDisplay)
        return EPERM;
    if (level >= row.coveredFrom)
        return row.landlockError;
    return row.filter == Filter::BelowLandlock ? row.filterError : 0;
}

// Runs the probe at `cap` and gives what it printed, by what it tried.
std::map<std::string, int> runProbe(int cap, const QProcessEnvironment& environment,
                                    const TempTree& scratch, int port) {
    auto probe = childProcess();
    probe->setProcessEnvironment(environment);
    probe->start(QStringLiteral(LOCKDOWN_PROBE_PATH),
                 {QString::number(cap), QLatin1String(kAddress), scratch.rootText(),
                  scratch.rootText() + QStringLiteral("/picture.bmp"), QString::number(port)});
    std::map<std::string, int> results;
    if (!probe->waitForFinished(30000))
        return results;
    for (const QByteArray& line : probe->readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            results[parts[0].toStdString()] = parts[1].toInt();
    }
    return results;
}

TEST(Lockdown, RefusesWritingStartingAndConnectingAtEveryLevelWhileTheDesktopStillWorks) {
    FakeScreenSaverBus bus;
    ASSERT_TRUE(bus.start()) << bus.error().toStdString();
    const LoopbackListener listener;
    ASSERT_NE(listener.port, 0);
    // A stand-in for the desktop's opener, first on PATH: it notes the address, and whether the
    // program's own environment reached it, in a file, which only a process outside the
    // lockdown can make.
    TempTree tools;
    const TempTree markers;
    const QString marker = markers.rootText() + QStringLiteral("/opened");
    tools.write("xdg-open", "#!/bin/sh\nprintf '%s %s' \"$1\" \"${ORLIX_TEST_LEAK-none}\" > \"" +
                                marker.toLocal8Bit() + ".tmp\"\nmv \"" + marker.toLocal8Bit() +
                                ".tmp\" \"" + marker.toLocal8Bit() + "\"\n");
    QFile::setPermissions(tools.rootText() + QStringLiteral("/xdg-open"),
                          QFile::ReadOwner | QFile::ExeOwner);
    const LandlockLevel newest = platform::kernelLandlockLevel();

    for (const bool tcpDisplay : {false, true}) {
        XvfbServer server;
        ASSERT_TRUE(server.start({320, 240},
                                 tcpDisplay ? QStringList{"-listen", "tcp", "-ac"} : QStringList{}))
            << server.error().toStdString();
        QProcessEnvironment environment = server.environment();
        if (tcpDisplay)
            environment.insert(QStringLiteral("DISPLAY"),
                               QStringLiteral("127.0.0.1") + server.display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        environment.insert(QStringLiteral("PATH"), tools.rootText() + QStringLiteral(":") +
                                                       environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("ORLIX_TEST_LEAK"), QStringLiteral("leaked"));
        for (int cap = 0; cap <= static_cast<int>(newest); ++cap) {
            const std::string run =
                (tcpDisplay ? "TCP display, level " : "level ") + std::to_string(cap);
            TempTree scratch;
            scratch.write("existing", "kept as it is");
            scratch.write("picture.bmp", pictureFile({4, 4}, qRgb(1, 2, 3)));
            const auto before = snapshot(scratch.root());
            QFile::remove(marker);

            auto results = runProbe(cap, environment, scratch, listener.port);
            EXPECT_EQ(results.count("level") ? results["level"] : -1, cap) << run;
            for (const Expected& row : kExpected) {
                ASSERT_TRUE(results.count(row.what)) << run << ": " << row.what << " not tried";
                EXPECT_EQ(results[row.what],
                          expectedError(row, static_cast<LandlockLevel>(cap), tcpDisplay))
                    << run << ": " << row.what;
            }
            EXPECT_EQ(snapshot(scratch.root()), before) << run << ": the files changed";
            ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker); }, 10000))
                << run << ": the address was not opened";
            QFile opened(marker);
            ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
            EXPECT_EQ(opened.readAll(), QByteArray(kAddress) + " none") << run;
        }
    }
}

} // namespace
} // namespace orlix::test
